#pragma once

// What the panel-diagram tests look at: the view in a page of its own, how
// every item looks, maps naming every item, the window's pixels, screenshots.

#include "connector.h"
#include "irsensor.h"
#include "pcbboard.h"
#include "testenvironment.h"
#include "touchpanelview.h"

#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QWindow>
#include <QGraphicsLineItem>
#include <QMap>
#include <QPixmap>
#include <QString>
#include <QVBoxLayout>
#include <QWidget>
#include <QtTest>
#include <algorithm>

using ProblemMap = QMap<QString, QList<QString>>;
using Looks = QMap<QString, QString>;
Q_DECLARE_METATYPE(Looks)

namespace PanelLooks {

// The view in a page of its own, as the test view holds it.
struct SPage
{
    explicit SPage(CHardwareInfo *pInfo, QSize size = QSize(640, 400))
    {
        page.resize(size);
        auto *pLayout = new QVBoxLayout(&page);
        pLayout->setContentsMargins(0, 0, 0, 0);
        view = new CTouchPanelView(pInfo, &page);
        pLayout->addWidget(view);
    }
    bool Show()
    {
        page.show();
        return QTest::qWaitForWindowExposed(&page);
    }
    QWidget page;
    CTouchPanelView *view = nullptr;
};

inline QString Name(const QColor &color)
{
    return color.name(QColor::HexArgb);
}

// How every item looks now, by "<kind> <id>": fills ("none" before the first
// state), "+label" for a label asked for (whether the view has room to show
// it is the label layout's matter), path colours or "hidden".
inline Looks LooksOf(const CTouchPanelView &view)
{
    Looks looks;
    for (auto it = view.ConnectorItems().cbegin(); it != view.ConnectorItems().cend(); ++it)
        looks.insert(QStringLiteral("connector ") + it.key(), Name(it.value()->brush().color()));
    for (auto it = view.PcbItems().cbegin(); it != view.PcbItems().cend(); ++it)
        for (int i = 0; i < it->size(); ++i)
            looks.insert(QStringLiteral("board %1:%2").arg(it.key()).arg(i), Name(it->at(i)->brush().color()));
    for (auto it = view.SensorItems().cbegin(); it != view.SensorItems().cend(); ++it)
        for (int i = 0; i < it->size(); ++i) {
            const CIRSensor *pSensor = it->at(i);
            const QString strFill = pSensor->brush().style() == Qt::NoBrush ? QStringLiteral("none")
                                                                             : Name(pSensor->brush().color());
            looks.insert(QStringLiteral("sensor %1:%2").arg(it.key()).arg(i),
                         strFill + (pSensor->LabelWanted() ? QStringLiteral("+label") : QString()));
        }
    for (auto it = view.LightItems().cbegin(); it != view.LightItems().cend(); ++it)
        looks.insert(QStringLiteral("light ") + it.key(),
                     it.value()->isVisible() ? Name(it.value()->pen().color()) : QStringLiteral("hidden"));
    return looks;
}

// The sound look of every item (after a first map).
inline Looks SoundLooks(const CTouchPanelView &view)
{
    Looks looks = LooksOf(view);
    for (auto it = looks.begin(); it != looks.end(); ++it) {
        if (it.key().startsWith(QLatin1String("connector")))
            *it = Name(Qt::black);
        else if (it.key().startsWith(QLatin1String("board")))
            *it = Name(QColor(34, 139, 34));
        else if (it.key().startsWith(QLatin1String("sensor")))
            *it = Name(Qt::transparent);
        else
            *it = QStringLiteral("hidden");
    }
    return looks;
}

// The entries of b that differ from a.
inline Looks Changes(const Looks &a, const Looks &b)
{
    Looks changes;
    for (auto it = b.cbegin(); it != b.cend(); ++it)
        if (a.value(it.key()) != it.value())
            changes.insert(it.key(), it.value());
    return changes;
}

// A map naming every item of the view under one fault of its kind.
inline ProblemMap EveryItem(const CTouchPanelView &view)
{
    ProblemMap map;
    map[QStringLiteral("CONNECTOR_ERROR_PRO1")] = view.ConnectorItems().keys();
    for (auto it = view.PcbItems().cbegin(); it != view.PcbItems().cend(); ++it)
        for (int i = 0; i < it->size(); ++i)
            map[QStringLiteral("PCB_ERROR")] << QStringLiteral("%1:%2").arg(it.key()).arg(i);
    for (auto it = view.SensorItems().cbegin(); it != view.SensorItems().cend(); ++it)
        for (int i = 0; i < it->size(); ++i)
            map[QStringLiteral("SENSOR_WEEK")] << QStringLiteral("%1:%2").arg(it.key()).arg(i);
    map[QStringLiteral("LIGHT_UNSTABLE")] = view.LightItems().keys();
    return map;
}

// The union of the boards' rectangles in the scene.
inline QRectF BoardsRect(const CTouchPanelView &view)
{
    QRectF rc;
    for (const QList<CPcbBoard *> &lst : view.PcbItems())
        for (const CPcbBoard *pBoard : lst)
            rc |= pBoard->sceneBoundingRect();
    return rc;
}

// Counts the paint events a widget gets.
class CPaintCount : public QObject
{
public:
    explicit CPaintCount(QWidget *pWidget) : m_pWidget(pWidget) { pWidget->installEventFilter(this); }
    int Count() const { return m_nPaints; }

protected:
    bool eventFilter(QObject *pWatched, QEvent *pEvent) override
    {
        if (pWatched == m_pWidget && pEvent->type() == QEvent::Paint)
            ++m_nPaints;
        return false;
    }

private:
    QWidget *m_pWidget;
    int m_nPaints = 0;
};

// What the window shows now: its backing store as the last repaints left it
// (a grab would paint the widget afresh and hide what a repaint missed).
inline QImage WindowPixels(QWidget &window)
{
    QScreen *pScreen = window.windowHandle() ? window.windowHandle()->screen() : QGuiApplication::primaryScreen();
    return pScreen->grabWindow(window.winId()).toImage().convertToFormat(QImage::Format_RGB32);
}

// Pixels that differ between two pictures (all of them when the sizes differ).
inline int Differing(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return std::max(a.width() * a.height(), b.width() * b.height());
    int n = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            n += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
    return n;
}

// Pixels of exactly that colour within rc.
inline int CountColour(const QImage &image, const QRect &rc, const QColor &colour)
{
    int n = 0;
    const QRect rcIn = rc & image.rect();
    for (int y = rcIn.top(); y <= rcIn.bottom(); ++y)
        for (int x = rcIn.left(); x <= rcIn.right(); ++x)
            n += image.pixel(x, y) == colour.rgb() ? 1 : 0;
    return n;
}

// Saves a screenshot into the test-output folder.
inline bool SaveShot(const QPixmap &pixmap, const QString &strName)
{
    QDir().mkpath(CTestEnvironment::OutputDir());
    return pixmap.save(CTestEnvironment::OutputDir() + QLatin1Char('/') + strName);
}

} // namespace PanelLooks
