// The draw-test window in a real (offscreen) window: touch colours, nodes,
// clearing, the mouse, the grid, the menu, closing, the verdict stamp,
// screenshots, the set-up dialog and the stored widths.

#include "customersettings.h"
#include "filesizelimit.h"
#include "localclock.h"
#include "modalboxanswerer.h"
#include "runlogcapture.h"
#include "screenshot.h"
#include "setupformultidialog.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "touchpaintview.h"
#include "waitfor.h"

#include <QCheckBox>
#include <QGraphicsEllipseItem>
#include <QGraphicsLineItem>
#include <QGraphicsRectItem>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsOpacityEffect>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QScreen>
#include <QSpinBox>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <memory>

namespace {

QTouchDevice* TouchScreen()
{
    static QTouchDevice* pDevice = QTest::createTouchDevice();
    return pDevice;
}

// QTest's touch sequence with the points given in the widget's pixels.
class CTouch
{
public:
    explicit CTouch(QWidget* pWidget)
        : m_pWidget(pWidget),
          m_sequence(QTest::touchEvent(pWidget, TouchScreen()))
    {
    }
    CTouch& press(int nId, QPoint pos)
    {
        m_sequence.press(nId, pos, m_pWidget);
        return *this;
    }
    CTouch& move(int nId, QPoint pos)
    {
        m_sequence.move(nId, pos, m_pWidget);
        return *this;
    }
    CTouch& release(int nId, QPoint pos)
    {
        m_sequence.release(nId, pos, m_pWidget);
        return *this;
    }
    CTouch& stationary(int nId)
    {
        m_sequence.stationary(nId);
        return *this;
    }

private:
    QWidget* m_pWidget;
    QTest::QTouchEventSequence m_sequence;
};

CCustomerSettings* Settings()
{
    return CCustomerSettings::GetInstance();
}

// The window as the test view builds it: a child of the view with a window
// of its own.
struct SDraw
{
    QWidget host;
    CTouchPaintView* pView;

    explicit SDraw(QSize size = QSize(800, 600))
        : pView(new CTouchPaintView(&host))
    {
        pView->setWindowFlags(Qt::Window);
        pView->resize(size);
    }
    bool Show()
    {
        pView->show();
        pView->activateWindow();
        if (!QTest::qWaitForWindowActive(pView))
            return false;
        // Shortcuts act in the window the application holds active. The
        // offscreen platform keeps the focus on a window it hid, so shown
        // again the window is not made active by it.
        if (QApplication::activeWindow() != pView)
            QApplication::setActiveWindow(pView);
        return QApplication::activeWindow() == pView;
    }
    QGraphicsScene* Scene() const { return pView->scene(); }
    // Items of one kind, ordered by where they start (left to right, then
    // top to bottom): the scene keeps no order of drawing among equals.
    template <typename T>
    QList<T*> Items() const
    {
        QList<T*> items;
        for (QGraphicsItem* pItem : Scene()->items()) {
            if (auto* p = qgraphicsitem_cast<T*>(pItem))
                items << p;
        }
        std::sort(items.begin(), items.end(), [](T* a, T* b) {
            const QPointF pa = Anchor(a);
            const QPointF pb = Anchor(b);
            return pa.x() < pb.x() || (pa.x() == pb.x() && pa.y() < pb.y());
        });
        return items;
    }
    // A line starts at its first end, a dot or a node at its centre.
    static QPointF Anchor(QGraphicsItem* pItem)
    {
        if (auto* pLine = qgraphicsitem_cast<QGraphicsLineItem*>(pItem))
            return pLine->mapToScene(pLine->line().p1());
        return pItem->sceneBoundingRect().center();
    }
    QStringList DotColours() const
    {
        QStringList names;
        for (QGraphicsEllipseItem* pDot : Items<QGraphicsEllipseItem>())
            names << pDot->brush().color().name();
        return names;
    }
    QStringList LineColours() const
    {
        QStringList names;
        for (QGraphicsLineItem* pLine : Items<QGraphicsLineItem>())
            names << pLine->pen().color().name();
        return names;
    }
    int VisibleNodes() const
    {
        int n = 0;
        for (QGraphicsRectItem* pNode : Items<QGraphicsRectItem>())
            n += pNode->isVisible() ? 1 : 0;
        return n;
    }
    QPushButton* Button(const QString& strText) const
    {
        for (QPushButton* pButton : pView->findChildren<QPushButton*>()) {
            if (pButton->text() == strText)
                return pButton;
        }
        return nullptr;
    }
    // Only the node holder is left.
    bool IsEmpty() const
    {
        const QList<QGraphicsItem*> items = Scene()->items();
        return items.size() == 1 && items.first() == pView->NodeHolder();
    }
};

QString Name(const char* szColour)
{
    return QColor(QLatin1String(szColour)).name();
}

QStringList Names(std::initializer_list<const char*> colours)
{
    QStringList names;
    for (const char* sz : colours)
        names << Name(sz);
    return names;
}

QTouchEvent::TouchPoint Point(int nId, Qt::TouchPointState state, QPointF pos, QPointF lastPos = QPointF())
{
    QTouchEvent::TouchPoint point(nId);
    point.setState(state);
    point.setPos(pos);
    point.setLastPos(lastPos.isNull() ? pos : lastPos);
    return point;
}

// A touch event handed to the window as it is, so that a begin can follow a
// begin (which the platform's touch tracking never produces).
void SendTouch(QWidget* pView, QEvent::Type type, const QList<QTouchEvent::TouchPoint>& points)
{
    Qt::TouchPointStates states;
    for (const auto& point : points)
        states |= point.state();
    QTouchEvent event(type, TouchScreen(), Qt::NoModifier, states, points);
    QApplication::sendEvent(pView, &event);
}

void SendMouse(QWidget* pWidget, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, pWidget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(pWidget, &event);
}

} // namespace

class TestTouchPaintView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void builtAsTheTestViewKeepsIt();
    void touchColours_data();
    void touchColours();
    void beginInsideASequence();
    void manyPointsAndUnknownReleases();
    void nodesFollowTheToggle();
    void clearEmptiesTheScene_data();
    void clearEmptiesTheScene();
    void mouseAfterTouch();
    void gridBackground();
    void rightButtonMenu();
    void closing_data();
    void closing();
    void execRunsUntilExit();
    void wheelChangesNothing();
    void verdictStamp_data();
    void verdictStamp();
    void screenshotInPictures();
    void screenshotFailures();
    void setUpDialogAccepted();
    void setUpDialogCancelled();
    void storedWidthsAreBounded_data();
    void storedWidthsAreBounded();
    void hideButtons();
    void showRectMakesItsItemsOnce();
    void screenShowsTheDrawing_data();
    void screenShowsTheDrawing();
    void pictures();

private:
    std::unique_ptr<CScopedWorkDir> m_pWorkDir;
};

void TestTouchPaintView::initTestCase()
{
    InitStationResources();
}

void TestTouchPaintView::init()
{
    Settings()->clear();
    m_pWorkDir = std::make_unique<CScopedWorkDir>();
}

void TestTouchPaintView::cleanup()
{
    CLocalClock::SetSource(nullptr);
    m_pWorkDir.reset();
}

void TestTouchPaintView::builtAsTheTestViewKeepsIt()
{
    SDraw draw;
    CTouchPaintView* pView = draw.pView;
    QCOMPARE(pView->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(pView->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(pView->testAttribute(Qt::WA_AcceptTouchEvents));
    QVERIFY(!pView->isVisible());
    QVERIFY(draw.IsEmpty());
    QCOMPARE(pView->NodeHolder()->zValue(), 10.0);
    QVERIFY(!pView->NodeHolder()->isVisible());

    // A fresh station: every key the window reads is stored with its default.
    QCOMPARE(Settings()->value(QStringLiteral("ShowGrid")).toBool(), true);
    QCOMPARE(Settings()->value(QStringLiteral("GridWidth")).toInt(), 20);
    QCOMPARE(Settings()->value(QStringLiteral("LineWidth")).toInt(), 3);
    QCOMPARE(Settings()->value(QStringLiteral("EnableRightButton")).toBool(), true);
    QCOMPARE(Settings()->value(QStringLiteral("ShowNode")).toBool(), false);
    QCOMPARE(Settings()->value(QStringLiteral("HideButton")).toBool(), false);
    QCOMPARE(pView->LineWidth(), 3);
    QVERIFY(pView->RightButtonEnabled());

    // Buttons in the middle, in this order; actions with their keys.
    QStringList buttons;
    auto* pLayout = qobject_cast<QHBoxLayout*>(pView->layout());
    QVERIFY(pLayout);
    for (int i = 0; i < pLayout->count(); ++i)
        buttons << (pLayout->itemAt(i)->widget() ? pLayout->itemAt(i)->widget()->property("text").toString()
                                                 : QStringLiteral("<stretch>"));
    QCOMPARE(buttons, (QStringList{"<stretch>", "SetUp", "Clear", "Exit", "<stretch>"}));
    for (const char* sz : {"SetUp", "Clear", "Exit"}) {
        QPushButton* pButton = draw.Button(QLatin1String(sz));
        QCOMPARE(pButton->maximumWidth(), 100);
        auto* pOpacity = qobject_cast<QGraphicsOpacityEffect*>(pButton->graphicsEffect());
        QVERIFY(pOpacity);
        QCOMPARE(pOpacity->opacity(), 0.7);
    }
    QMap<QString, QList<QKeySequence>> shortcuts;
    for (QAction* pAction : pView->actions())
        shortcuts.insert(pAction->text(), pAction->shortcuts());
    QCOMPARE(shortcuts.keys(), (QStringList{"Clear screen...", "Exit", "Print screen...", "Set..."}));
    QCOMPARE(shortcuts.value("Set..."), QList<QKeySequence>{QKeySequence(Qt::Key_N)});
    QCOMPARE(shortcuts.value("Exit"), QList<QKeySequence>{QKeySequence(Qt::Key_Escape)});
    QCOMPARE(shortcuts.value("Print screen..."), QKeySequence::keyBindings(QKeySequence::Print));
    QCOMPARE(shortcuts.value("Clear screen..."),
             (QList<QKeySequence>{QKeySequence(Qt::Key_Space), QKeySequence(Qt::Key_C)}));
}

void TestTouchPaintView::touchColours_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("dots");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("first finger is blue, and so is its stroke")
        << "first" << Names({"blue"}) << Names({"blue", "blue", "blue"});
    QTest::newRow("eleven fingers: the tenth red, the eleventh blue")
        << "eleven"
        << Names({"blue", "green", "yellow", "purple", "pink", "saddlebrown", "papayawhip", "grey", "black", "red",
                  "blue"})
        << QStringList();
    QTest::newRow("lifted and pressed again: pink; the next sequence starts blue")
        << "again" << Names({"blue", "green", "pink", "blue"}) << QStringList();
}

void TestTouchPaintView::touchColours()
{
    QFETCH(QString, script);
    QFETCH(QStringList, dots);
    QFETCH(QStringList, lines);

    SDraw draw;
    QVERIFY(draw.Show());
    CTouchPaintView* pView = draw.pView;
    if (script == QLatin1String("first")) {
        CTouch(pView).press(5, QPoint(100, 100));
        CTouch(pView).move(5, QPoint(140, 120));
        CTouch(pView).move(5, QPoint(180, 160));
        CTouch(pView).release(5, QPoint(200, 170));
        // A dark-grey node at every reported position.
        const QList<QGraphicsRectItem*> nodes = draw.Items<QGraphicsRectItem>();
        QCOMPARE(nodes.size(), 4);
        for (QGraphicsRectItem* pNode : nodes) {
            QCOMPARE(pNode->pen().color(), QColor(Qt::darkGray));
            QCOMPARE(pNode->rect().size(), QSizeF(6, 6));
            QCOMPARE(pNode->brush().style(), Qt::NoBrush);
        }
        QGraphicsEllipseItem* pDot = draw.Items<QGraphicsEllipseItem>().first();
        QCOMPARE(pView->mapFromScene(pDot->rect().center()), QPoint(100, 100));
        QCOMPARE(pDot->rect().size(), QSizeF(3, 3));
        QCOMPARE(pView->mapFromScene(nodes.first()->rect().center()), QPoint(100, 100));
        // The stroke follows the finger.
        const QList<QGraphicsLineItem*> strokes = draw.Items<QGraphicsLineItem>();
        QCOMPARE(pView->mapFromScene(strokes.at(0)->line().p1()), QPoint(100, 100));
        QCOMPARE(pView->mapFromScene(strokes.at(0)->line().p2()), QPoint(140, 120));
        QCOMPARE(pView->mapFromScene(strokes.at(2)->line().p2()), QPoint(200, 170));
        QCOMPARE(strokes.at(0)->pen().widthF(), 3.0);
        QCOMPARE(strokes.at(0)->pen().capStyle(), Qt::RoundCap);
    } else if (script == QLatin1String("eleven")) {
        {
            auto touch = CTouch(pView);
            for (int i = 0; i < 11; ++i)
                touch.press(100 + i, QPoint(40 + 60 * i, 100));
        }
        {
            auto touch = CTouch(pView);
            for (int i = 0; i < 11; ++i)
                touch.release(100 + i, QPoint(40 + 60 * i, 100));
        }
        // Each finger's dot lies where it went down.
        const QList<QGraphicsEllipseItem*> dotItems = draw.Items<QGraphicsEllipseItem>();
        for (int i = 0; i < dotItems.size(); ++i)
            QCOMPARE(pView->mapFromScene(dotItems.at(i)->rect().center()), QPoint(40 + 60 * i, 100));
    } else {
        CTouch(pView).press(1, QPoint(100, 100)).press(2, QPoint(300, 100));
        CTouch(pView).stationary(1).release(2, QPoint(300, 100));
        CTouch(pView).stationary(1).press(2, QPoint(300, 200));
        CTouch(pView).release(1, QPoint(100, 100)).release(2, QPoint(300, 200));
        CTouch(pView).press(2, QPoint(500, 300));
        CTouch(pView).release(2, QPoint(500, 300));
    }
    QCOMPARE(draw.DotColours(), dots);
    if (!lines.isEmpty())
        QCOMPARE(draw.LineColours(), lines);
}

void TestTouchPaintView::beginInsideASequence()
{
    SDraw draw;
    QVERIFY(draw.Show());
    CTouchPaintView* pView = draw.pView;
    SendTouch(pView, QEvent::TouchBegin, {Point(1, Qt::TouchPointPressed, QPointF(100, 100))});
    QCOMPARE(draw.DotColours(), Names({"blue"}));

    // A second begin before the sequence ended, with none of its fingers:
    // nothing is drawn.
    const int nItems = draw.Scene()->items().size();
    SendTouch(pView, QEvent::TouchBegin, {Point(7, Qt::TouchPointPressed, QPointF(300, 100))});
    QCOMPARE(draw.Scene()->items().size(), nItems);

    // A third begin that carries one of them draws all its points; the new
    // finger is the sequence's second.
    SendTouch(pView, QEvent::TouchBegin,
              {Point(1, Qt::TouchPointMoved, QPointF(120, 110), QPointF(100, 100)),
               Point(8, Qt::TouchPointPressed, QPointF(400, 100))});
    QCOMPARE(draw.DotColours(), Names({"blue", "green"}));
    QCOMPARE(draw.LineColours(), Names({"blue"}));
    SendTouch(pView, QEvent::TouchEnd,
              {Point(1, Qt::TouchPointReleased, QPointF(120, 110)), Point(8, Qt::TouchPointReleased, QPointF(400, 100))});

    // The end resets both the count and the colours.
    SendTouch(pView, QEvent::TouchBegin, {Point(7, Qt::TouchPointPressed, QPointF(500, 100))});
    SendTouch(pView, QEvent::TouchCancel, {Point(7, Qt::TouchPointReleased, QPointF(500, 100))});
    SendTouch(pView, QEvent::TouchBegin, {Point(9, Qt::TouchPointPressed, QPointF(600, 100))});
    SendTouch(pView, QEvent::TouchEnd, {Point(9, Qt::TouchPointReleased, QPointF(600, 100))});
    QCOMPARE(draw.DotColours(), Names({"blue", "green", "blue", "blue"}));
}

void TestTouchPaintView::manyPointsAndUnknownReleases()
{
    SDraw draw;
    QVERIFY(draw.Show());
    CTouchPaintView* pView = draw.pView;
    // Ids far apart and negative are fine: nothing is indexed by id.
    QList<QTouchEvent::TouchPoint> points;
    for (int i = 0; i < 40; ++i)
        points << Point(i * 100003 - 2000000, Qt::TouchPointPressed, QPointF(10 + 15 * i, 50));
    SendTouch(pView, QEvent::TouchBegin, points);
    QCOMPARE(draw.Items<QGraphicsEllipseItem>().size(), 40);
    // A release of an id never pressed is drawn as the next new finger.
    SendTouch(pView, QEvent::TouchUpdate, {Point(123456789, Qt::TouchPointReleased, QPointF(700, 500))});
    QCOMPARE(draw.LineColours(), Names({"blue"})); // colour number 41
    SendTouch(pView, QEvent::TouchEnd, {});
    // An empty end still ends the sequence.
    pView->ClearResponse();
    SendTouch(pView, QEvent::TouchBegin, {Point(5, Qt::TouchPointPressed, QPointF(50, 500))});
    SendTouch(pView, QEvent::TouchEnd, {Point(5, Qt::TouchPointReleased, QPointF(50, 500))});
    QCOMPARE(draw.DotColours(), Names({"blue"}));
}

void TestTouchPaintView::nodesFollowTheToggle()
{
    SDraw draw;
    QVERIFY(draw.Show());
    CTouchPaintView* pView = draw.pView;
    auto stroke = [pView](int y) {
        CTouch(pView).press(1, QPoint(100, y));
        CTouch(pView).move(1, QPoint(200, y));
        CTouch(pView).release(1, QPoint(300, y));
    };
    stroke(100);
    QCOMPARE(draw.Items<QGraphicsRectItem>().size(), 3);
    QCOMPARE(draw.VisibleNodes(), 0);

    QTest::keyClick(pView, Qt::Key_N);
    QCOMPARE(draw.VisibleNodes(), 3);
    stroke(200);
    QCOMPARE(draw.VisibleNodes(), 6);
    // The first stroke's nodes stay in the holder (stacked over the strokes),
    // the second's stand loose.
    for (QGraphicsRectItem* pNode : draw.Items<QGraphicsRectItem>()) {
        const bool bFirst = pNode->sceneBoundingRect().center().y() < pView->mapToScene(QPoint(0, 150)).y();
        QCOMPARE(pView->NodeHolder()->isAncestorOf(pNode), bFirst);
    }

    QTest::keyClick(pView, Qt::Key_N);
    QCOMPARE(draw.VisibleNodes(), 0);
    QCOMPARE(draw.Items<QGraphicsRectItem>().size(), 6);
    for (QGraphicsRectItem* pNode : draw.Items<QGraphicsRectItem>())
        QVERIFY(pView->NodeHolder()->isAncestorOf(pNode));
    QTest::keyClick(pView, Qt::Key_N);
    QCOMPARE(draw.VisibleNodes(), 6);
    // Toggling is not stored.
    QCOMPARE(Settings()->value(QStringLiteral("ShowNode")).toBool(), false);

    // "ShowNode" sets the toggle the window starts with.
    Settings()->SetBool(QStringLiteral("ShowNode"), true);
    SDraw shown;
    QVERIFY(shown.Show());
    CTouch(shown.pView).press(3, QPoint(50, 50));
    CTouch(shown.pView).release(3, QPoint(50, 50));
    QCOMPARE(shown.VisibleNodes(), 2);
}

void TestTouchPaintView::clearEmptiesTheScene_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Space") << int(Qt::Key_Space);
    QTest::newRow("C") << int(Qt::Key_C);
    QTest::newRow("Clear button") << 0;
}

void TestTouchPaintView::clearEmptiesTheScene()
{
    QFETCH(int, key);

    SDraw draw;
    QVERIFY(draw.Show());
    CTouchPaintView* pView = draw.pView;
    QTest::keyClick(pView, Qt::Key_N); // nodes on
    CTouch(pView).press(1, QPoint(100, 100));
    CTouch(pView).release(1, QPoint(150, 100));
    pView->ShowTouchTestResult(true);
    QVERIFY(!draw.IsEmpty());

    if (key)
        QTest::keyClick(pView, Qt::Key(key));
    else
        QTest::mouseClick(draw.Button(QStringLiteral("Clear")), Qt::LeftButton);
    QVERIFY(draw.IsEmpty());
    // The new holder stands with the strokes, and follows the toggle.
    QCOMPARE(pView->NodeHolder()->zValue(), 0.0);
    QVERIFY(pView->NodeHolder()->isVisible());

    // Colours carry on within a sequence that spans the clear.
    CTouch(pView).press(1, QPoint(100, 100)).press(2, QPoint(200, 100));
    pView->ClearResponse();
    CTouch(pView).stationary(1).press(3, QPoint(300, 100));
    CTouch(pView).release(1, QPoint(100, 100)).release(2, QPoint(200, 100)).release(3, QPoint(300, 100));
    QCOMPARE(draw.DotColours(), Names({"yellow"}));
    QTest::keyClick(pView, Qt::Key_N); // nodes off: all into the new holder
    QCOMPARE(draw.VisibleNodes(), 0);
    QVERIFY(!draw.Items<QGraphicsRectItem>().isEmpty());
}

void TestTouchPaintView::mouseAfterTouch()
{
    SDraw draw;
    QVERIFY(draw.Show());
    CTouchPaintView* pView = draw.pView;
    QWidget* pViewport = pView->viewport();

    // Before any touch the mouse draws: a dot, then strokes with nodes.
    SendMouse(pViewport, QEvent::MouseButtonPress, QPoint(50, 50), Qt::LeftButton, Qt::LeftButton);
    SendMouse(pViewport, QEvent::MouseMove, QPoint(80, 60), Qt::NoButton, Qt::LeftButton);
    SendMouse(pViewport, QEvent::MouseButtonRelease, QPoint(90, 70), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(draw.DotColours(), Names({"red"}));
    QCOMPARE(draw.LineColours(), Names({"red", "red"}));
    QCOMPARE(draw.Items<QGraphicsRectItem>().size(), 2);
    pView->ClearResponse();

    CTouch(pView).press(1, QPoint(300, 300));
    CTouch(pView).release(1, QPoint(300, 300));
    const int nItems = draw.Scene()->items().size();
    // The mouse events that follow a touch draw nothing, the release included.
    SendMouse(pViewport, QEvent::MouseButtonPress, QPoint(300, 300), Qt::LeftButton, Qt::LeftButton);
    SendMouse(pViewport, QEvent::MouseMove, QPoint(320, 310), Qt::NoButton, Qt::LeftButton);
    SendMouse(pViewport, QEvent::MouseButtonRelease, QPoint(320, 310), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(draw.Scene()->items().size(), nItems);

    // The next click draws again, with any button.
    SendMouse(pViewport, QEvent::MouseButtonPress, QPoint(400, 200), Qt::MiddleButton, Qt::MiddleButton);
    QCOMPARE(draw.DotColours(), Names({"blue", "red"}));
    SendMouse(pViewport, QEvent::MouseMove, QPoint(450, 220), Qt::NoButton, Qt::MiddleButton);
    SendMouse(pViewport, QEvent::MouseMove, QPoint(500, 240), Qt::NoButton, Qt::MiddleButton);
    SendMouse(pViewport, QEvent::MouseButtonRelease, QPoint(520, 250), Qt::MiddleButton, Qt::NoButton);
    const QList<QGraphicsLineItem*> lines = draw.Items<QGraphicsLineItem>();
    QCOMPARE(draw.LineColours(), Names({"blue", "red", "red", "red"}));
    QCOMPARE(pView->mapFromScene(lines.at(1)->line().p1()), QPoint(400, 200));
    QCOMPARE(pView->mapFromScene(lines.at(3)->line().p2()), QPoint(520, 250));

    // A drag that comes in after a release starts with a dot.
    SendMouse(pViewport, QEvent::MouseMove, QPoint(600, 300), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(draw.DotColours(), Names({"blue", "red", "red"}));
    SendMouse(pViewport, QEvent::MouseMove, QPoint(610, 300), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(draw.LineColours().size(), 5);
}

void TestTouchPaintView::gridBackground()
{
    const QColor grey(Qt::lightGray);
    {
        Settings()->SetInt(QStringLiteral("GridWidth"), 1);
        SDraw draw;
        QVERIFY(draw.Show());
        const QImage image = draw.pView->viewport()->grab().toImage();
        for (QPoint at : {QPoint(10, 10), QPoint(400, 300), QPoint(700, 500)})
            QCOMPARE(image.pixelColor(at), grey);
    }
    {
        Settings()->SetBool(QStringLiteral("ShowGrid"), false);
        SDraw draw;
        QVERIFY(draw.Show());
        QWidget* pViewport = draw.pView->viewport();
        const QImage image = pViewport->grab().toImage();
        for (QPoint at : {QPoint(10, 10), QPoint(400, 300), QPoint(700, 500)})
            QCOMPARE(image.pixelColor(at), pViewport->palette().color(pViewport->backgroundRole()));
    }
    {
        // Cells of 20 pixels.
        Settings()->SetInt(QStringLiteral("GridWidth"), 20);
        Settings()->SetBool(QStringLiteral("ShowGrid"), true);
        SDraw draw;
        QVERIFY(draw.Show());
        const QImage image = draw.pView->viewport()->grab().toImage();
        // In a row off the horizontal lines, the grey pixels are the columns.
        QList<int> columns;
        for (int y = 100; y < 121; ++y) {
            QList<int> row;
            for (int x = 0; x < 400; ++x) {
                if (image.pixelColor(x, y) == grey)
                    row << x;
            }
            if (columns.isEmpty() || row.size() < columns.size())
                columns = row;
        }
        QVERIFY(columns.size() >= 19);
        for (int i = 1; i < columns.size(); ++i)
            QCOMPARE(columns.at(i) - columns.at(i - 1), 20);
    }
}

void TestTouchPaintView::rightButtonMenu()
{
    for (bool bEnabled : {false, true}) {
        Settings()->SetBool(QStringLiteral("EnableRightButton"), bEnabled);
        SDraw draw;
        QVERIFY(draw.Show());
        QWidget* pViewport = draw.pView->viewport();
        const QPoint at(230, 170);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, pViewport->mapToGlobal(at));
        QApplication::sendEvent(pViewport, &event);
        auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!bEnabled) {
            QVERIFY(!pMenu);
            continue;
        }
        QVERIFY(pMenu);
        // At the click (the menu may nudge itself off the pointer).
        QVERIFY2((pMenu->pos() - pViewport->mapToGlobal(at)).manhattanLength() <= 4,
                 qPrintable(QStringLiteral("%1,%2").arg(pMenu->pos().x()).arg(pMenu->pos().y())));
        QStringList entries;
        for (QAction* pAction : pMenu->actions())
            entries << (pAction->isSeparator() ? QStringLiteral("-") : pAction->text());
        QCOMPARE(entries, (QStringList{"Clear screen...", "Print screen...", "Hide buttons...", "-", "Exit"}));
        pMenu->hide();
    }
}

void TestTouchPaintView::closing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Escape") << "escape";
    QTest::newRow("Exit button") << "button";
    QTest::newRow("menu's Exit") << "menu";
}

void TestTouchPaintView::closing()
{
    QFETCH(QString, how);

    SDraw draw;
    QVERIFY(draw.Show());
    CTouchPaintView* pView = draw.pView;
    QSignalSpy exits(pView, &CTouchPaintView::exit);
    for (int round = 0; round < 2; ++round) {
        CTouch(pView).press(1, QPoint(100, 100));
        CTouch(pView).release(1, QPoint(200, 100));
        QVERIFY(!draw.IsEmpty());
        if (how == QLatin1String("escape")) {
            QTest::keyClick(pView, Qt::Key_Escape);
        } else if (how == QLatin1String("button")) {
            QTest::mouseClick(draw.Button(QStringLiteral("Exit")), Qt::LeftButton);
        } else {
            const QPoint at(300, 300);
            QContextMenuEvent event(QContextMenuEvent::Mouse, at, pView->viewport()->mapToGlobal(at));
            QApplication::sendEvent(pView->viewport(), &event);
            auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(pMenu);
            QVERIFY(QTest::qWaitForWindowExposed(pMenu));
            QAction* pExit = pMenu->actions().last();
            QCOMPARE(pExit->text(), QStringLiteral("Exit"));
            QTest::mouseClick(pMenu, Qt::LeftButton, Qt::NoModifier, pMenu->actionGeometry(pExit).center());
        }
        QVERIFY(!pView->isVisible());
        QVERIFY(draw.IsEmpty());
        QCOMPARE(exits.count(), round + 1);
        // Opened again, it starts on an empty grid.
        QVERIFY(draw.Show());
    }
    // The key handler alone (the shortcut did not take the key) closes once too.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(pView, &escape);
    QCOMPARE(exits.count(), 3);
    QVERIFY(!pView->isVisible());
}

void TestTouchPaintView::execRunsUntilExit()
{
    SDraw draw;
    QSignalSpy exits(draw.pView, &CTouchPaintView::exit);
    bool bModal = false;
    QTimer::singleShot(0, draw.pView, [&] {
        bModal = draw.pView->isVisible() && draw.pView->isModal();
        draw.pView->ExitResponse();
    });
    QCOMPARE(draw.pView->exec(), 0);
    QVERIFY(bModal);
    QVERIFY(!draw.pView->isVisible());
    QVERIFY(!draw.pView->testAttribute(Qt::WA_ShowModal));
    QCOMPARE(exits.count(), 1);
}

void TestTouchPaintView::wheelChangesNothing()
{
    SDraw draw;
    QVERIFY(draw.Show());
    CTouchPaintView* pView = draw.pView;
    pView->setSceneRect(-5000, -5000, 10000, 10000); // room to scroll
    pView->centerOn(0, 0);
    const QPointF origin = pView->mapToScene(QPoint(0, 0));
    const QTransform transform = pView->transform();
    const int nItems = draw.Scene()->items().size();
    QWidget* pViewport = pView->viewport();
    for (Qt::KeyboardModifiers modifiers : {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::ControlModifier),
                                            Qt::KeyboardModifiers(Qt::ShiftModifier)}) {
        for (QPoint delta : {QPoint(0, 120), QPoint(0, -360), QPoint(240, 0)}) {
            QWheelEvent wheel(QPointF(200, 200), pViewport->mapToGlobal(QPoint(200, 200)), QPoint(), delta,
                              Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
            QApplication::sendEvent(pViewport, &wheel);
        }
    }
    QCOMPARE(pView->mapToScene(QPoint(0, 0)), origin);
    QCOMPARE(pView->transform(), transform);
    QCOMPARE(draw.Scene()->items().size(), nItems);
}

void TestTouchPaintView::verdictStamp_data()
{
    QTest::addColumn<bool>("pass");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<QList<QPoint>>("ends"); // two strokes, two ends each

    QTest::newRow("pass: tick") << true << QColor(Qt::darkGreen).name()
                                << QList<QPoint>{{768, 522}, {896, 702}, {896, 702}, {1408, 432}};
    QTest::newRow("fail: cross") << false << QColor(Qt::red).name()
                                 << QList<QPoint>{{768, 432}, {1152, 648}, {768, 648}, {1152, 432}};
}

void TestTouchPaintView::verdictStamp()
{
    QFETCH(bool, pass);
    QFETCH(QString, colour);
    QFETCH(QList<QPoint>, ends);

    SDraw draw(QSize(1920, 1080));
    QVERIFY(draw.Show());
    CTouchPaintView* pView = draw.pView;
    QCOMPARE(pView->size(), QSize(1920, 1080));
    CTouch(pView).press(1, QPoint(100, 100));
    CTouch(pView).release(1, QPoint(100, 100));
    const int nBefore = draw.Scene()->items().size();

    pView->ShowTouchTestResult(pass);
    // Drawn over what is there.
    QCOMPARE(draw.Scene()->items().size(), nBefore + 2);
    const QList<QGraphicsLineItem*> lines = draw.Items<QGraphicsLineItem>();
    QList<QPoint> drawn;
    for (QGraphicsLineItem* pLine : lines.mid(lines.size() - 2)) {
        drawn << pView->mapFromScene(pLine->line().p1()) << pView->mapFromScene(pLine->line().p2());
        QCOMPARE(pLine->pen().color().name(), colour);
        QCOMPARE(pLine->pen().widthF(), 6.0);
    }
    QCOMPARE(drawn, ends);
}

void TestTouchPaintView::screenshotInPictures()
{
    CModalBoxAnswerer boxes;
    const QDateTime when(QDate(2024, 3, 5), QTime(14, 7, 9, 42));
    CLocalClock::SetSource([when] { return when; });
    SDraw draw;
    QVERIFY(draw.Show());
    CTouch(draw.pView).press(1, QPoint(100, 100));
    CTouch(draw.pView).release(1, QPoint(300, 200));
    QVERIFY(!QFileInfo::exists(QStringLiteral("Pictures")));
    CRunLogCapture log;

    QTest::keySequence(draw.pView, QKeySequence::keyBindings(QKeySequence::Print).value(0));
    const QString strFile = QDir::current().absoluteFilePath(QStringLiteral("Pictures/20240305_14-07-09_042.jpg"));
    QVERIFY(QFileInfo(strFile).isFile());
    QImageReader reader(strFile);
    QCOMPARE(reader.format(), QByteArray("jpeg"));
    QCOMPARE(reader.size(), draw.pView->size());
    QCOMPARE(QDir(QStringLiteral("Pictures")).entryList(QDir::Files | QDir::Hidden), QStringList{"20240305_14-07-09_042.jpg"});
    QCOMPARE(log.Lines(QtWarningMsg), QStringList());
    QVERIFY(boxes.boxes.isEmpty());

    // The helper returns the path it wrote.
    CLocalClock::SetSource([when] { return when.addMSecs(1); });
    QCOMPARE(CScreenshot::Save(draw.pView->grab()),
             QDir::current().absoluteFilePath(QStringLiteral("Pictures/20240305_14-07-09_043.jpg")));
}

void TestTouchPaintView::screenshotFailures()
{
    CModalBoxAnswerer boxes;
    CLocalClock::SetSource([] { return QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 42)); });
    SDraw draw;
    QVERIFY(draw.Show());
    CRunLogCapture log;

    // "Pictures" is a file: nothing is written, the file stays, a Warning.
    {
        QFile blocker(QStringLiteral("Pictures"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("not a folder");
    }
    draw.pView->PrtSrcResponse();
    QVERIFY(QFileInfo(QStringLiteral("Pictures")).isFile());
    QCOMPARE(QFileInfo(QStringLiteral("Pictures")).size(), qint64(12));
    QCOMPARE(QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{"Pictures"});
    const QStringList warnings = log.Lines(QtWarningMsg);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(QDir::current().absoluteFilePath(QStringLiteral("Pictures"))),
             qPrintable(warnings.first()));
    QVERIFY(boxes.boxes.isEmpty());

    // An empty picture: no file, a Warning with the path.
    QFile::remove(QStringLiteral("Pictures"));
    log.Clear();
    QCOMPARE(CScreenshot::Save(QPixmap()), QString());
    QCOMPARE(log.Lines(QtWarningMsg).size(), 1);
    QVERIFY(log.Lines(QtWarningMsg).first().contains(QStringLiteral("20240305_14-07-09_042.jpg")));
    QCOMPARE(QDir(QStringLiteral("Pictures")).entryList(QDir::Files | QDir::Hidden), QStringList());

    // A disk that takes only the first 100 bytes: no file, a Warning with the
    // path and the system's reason. A small picture (held in the file's write
    // buffer until it is flushed) and the window's.
    QPixmap small(16, 16);
    small.fill(Qt::darkCyan);
    for (const QPixmap& picture : {small, draw.pView->grab()}) {
        log.Clear();
        QString strSaved = QStringLiteral("not run");
        {
            CFileSizeLimit limit(100);
            if (!limit.IsActive())
                QSKIP("cannot limit the file size here");
            strSaved = CScreenshot::Save(picture);
        }
        QCOMPARE(strSaved, QString());
        QCOMPARE(log.Lines(QtWarningMsg).size(), 1);
        QVERIFY2(log.Lines(QtWarningMsg).first().contains(QStringLiteral("20240305_14-07-09_042.jpg"))
                     && log.Lines(QtWarningMsg).first().endsWith(QStringLiteral("File too large")),
                 qPrintable(log.Lines(QtWarningMsg).first()));
        QCOMPARE(QDir(QStringLiteral("Pictures")).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
    QVERIFY(boxes.boxes.isEmpty());
}

void TestTouchPaintView::setUpDialogAccepted()
{
    SDraw draw;
    QVERIFY(draw.Show());
    CTouchPaintView* pView = draw.pView;
    CTouch(pView).press(1, QPoint(100, 100));
    CTouch(pView).release(1, QPoint(200, 100));
    QStringList shown;
    CModalBoxAnswerer answer;
    answer.AnswerDialog(true, {QStringLiteral("OK")}, [&shown](QDialog* pDialog) {
        auto* pGrid = pDialog->findChild<QGroupBox*>(QStringLiteral("gridWidthGroupBox"));
        auto* pGridWidth = pDialog->findChild<QSpinBox*>(QStringLiteral("gridWidthSpinBox"));
        auto* pLineWidth = pDialog->findChild<QSpinBox*>(QStringLiteral("lineWidthSpinBox"));
        auto* pRight = pDialog->findChild<QCheckBox*>(QStringLiteral("enableRightButtonCheckBox"));
        shown << QStringLiteral("%1 %2 %3 %4")
                     .arg(int(pGrid->isChecked()))
                     .arg(pGridWidth->value())
                     .arg(pLineWidth->value())
                     .arg(int(pRight->isChecked()));
        pGrid->setChecked(false);
        pGridWidth->setValue(7);
        pLineWidth->setValue(9);
        pRight->setChecked(false);
    });
    QTest::mouseClick(draw.Button(QStringLiteral("SetUp")), Qt::LeftButton);
    QCOMPARE(answer.boxes.size(), 1);
    QCOMPARE(answer.boxes[0].className, QStringLiteral("CSetUpForMultiDialog"));
    QVERIFY(answer.problems.isEmpty());
    // The dialog showed what the window stored.
    QCOMPARE(shown, QStringList{"1 20 3 1"});
    QCOMPARE(Settings()->value(QStringLiteral("ShowGrid")).toBool(), false);
    QCOMPARE(Settings()->value(QStringLiteral("GridWidth")).toInt(), 7);
    QCOMPARE(Settings()->value(QStringLiteral("LineWidth")).toInt(), 9);
    QCOMPARE(Settings()->value(QStringLiteral("EnableRightButton")).toBool(), false);

    // The window took them: new strokes are 9 wide, old ones keep 3, no grid
    // in a 7-pixel tile, no menu.
    QCOMPARE(pView->LineWidth(), 9);
    QVERIFY(!pView->RightButtonEnabled());
    QCOMPARE(pView->backgroundBrush().texture().size(), QSize(7, 7));
    const QImage tile = pView->backgroundBrush().texture().toImage();
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x)
            QCOMPARE(qAlpha(tile.pixel(x, y)), 0);
    CTouch(pView).press(1, QPoint(100, 300));
    CTouch(pView).release(1, QPoint(200, 300));
    const QList<QGraphicsLineItem*> lines = draw.Items<QGraphicsLineItem>();
    QCOMPARE(lines.first()->pen().widthF(), 3.0);
    QCOMPARE(lines.last()->pen().widthF(), 9.0);
}

void TestTouchPaintView::setUpDialogCancelled()
{
    SDraw draw;
    QVERIFY(draw.Show());
    CTouchPaintView* pView = draw.pView;
    const QImage tileBefore = pView->backgroundBrush().texture().toImage();
    CModalBoxAnswerer answer;
    answer.AnswerDialog(false, {QStringLiteral("Cancel")}, [](QDialog* pDialog) {
        pDialog->findChild<QGroupBox*>(QStringLiteral("gridWidthGroupBox"))->setChecked(false);
        pDialog->findChild<QSpinBox*>(QStringLiteral("gridWidthSpinBox"))->setValue(50);
        pDialog->findChild<QSpinBox*>(QStringLiteral("lineWidthSpinBox"))->setValue(12);
        pDialog->findChild<QCheckBox*>(QStringLiteral("enableRightButtonCheckBox"))->setChecked(false);
    });
    pView->SetUpResponse();
    QCOMPARE(answer.boxes.size(), 1);
    QVERIFY(answer.problems.isEmpty());
    QCOMPARE(Settings()->value(QStringLiteral("ShowGrid")).toBool(), true);
    QCOMPARE(Settings()->value(QStringLiteral("GridWidth")).toInt(), 20);
    QCOMPARE(Settings()->value(QStringLiteral("LineWidth")).toInt(), 3);
    QCOMPARE(Settings()->value(QStringLiteral("EnableRightButton")).toBool(), true);
    QCOMPARE(pView->LineWidth(), 3);
    QVERIFY(pView->RightButtonEnabled());
    QCOMPARE(pView->backgroundBrush().texture().toImage(), tileBefore);

    // Keys changed behind the window's back are taken only after an accepted
    // dialog.
    Settings()->SetInt(QStringLiteral("LineWidth"), 5);
    answer.AnswerDialog(false);
    pView->SetUpResponse();
    QCOMPARE(answer.boxes.size(), 2);
    QCOMPARE(pView->LineWidth(), 3);
}

void TestTouchPaintView::storedWidthsAreBounded_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("used");

    QTest::newRow("0") << QVariant(0) << 1;
    QTest::newRow("-5") << QVariant(-5) << 1;
    QTest::newRow("abc") << QVariant(QStringLiteral("abc")) << 1;
    QTest::newRow("50000") << QVariant(50000) << 99;
    QTest::newRow("99") << QVariant(99) << 99;
    QTest::newRow("1") << QVariant(1) << 1;
    QTest::newRow("\"12\"") << QVariant(QStringLiteral("12")) << 12;
}

void TestTouchPaintView::storedWidthsAreBounded()
{
    QFETCH(QVariant, stored);
    QFETCH(int, used);

    Settings()->setValue(QStringLiteral("GridWidth"), stored);
    Settings()->setValue(QStringLiteral("LineWidth"), stored);
    SDraw draw;
    QCOMPARE(draw.pView->LineWidth(), used);
    QCOMPARE(draw.pView->backgroundBrush().texture().size(), QSize(used, used));
    // Nothing is written back.
    QCOMPARE(Settings()->value(QStringLiteral("GridWidth")), stored);
    QCOMPARE(Settings()->value(QStringLiteral("LineWidth")), stored);

    // The set-up dialog shows the value within its range and writes what it
    // shows when confirmed; the window reads it with the same bounds.
    CModalBoxAnswerer answer;
    answer.AnswerDialog(true, {QStringLiteral("OK")});
    draw.pView->SetUpResponse();
    QCOMPARE(answer.boxes.size(), 1);
    QCOMPARE(Settings()->value(QStringLiteral("LineWidth")).toInt(), used);
    QCOMPARE(draw.pView->LineWidth(), used);
    QCOMPARE(draw.pView->backgroundBrush().texture().size(), QSize(used, used));
}

void TestTouchPaintView::hideButtons()
{
    SDraw draw;
    QVERIFY(draw.Show());
    QPushButton* pExit = draw.Button(QStringLiteral("Exit"));
    QVERIFY(pExit->isVisible());
    const QPoint at(300, 300);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, draw.pView->viewport()->mapToGlobal(at));
    QApplication::sendEvent(draw.pView->viewport(), &event);
    auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(pMenu);
    QAction* pHide = pMenu->actions().at(2);
    QVERIFY(pHide->isCheckable());
    pHide->trigger();
    pMenu->hide();
    for (const char* sz : {"SetUp", "Clear", "Exit"})
        QVERIFY(!draw.Button(QLatin1String(sz))->isVisible());
    QCOMPARE(Settings()->value(QStringLiteral("HideButton")).toBool(), false);
    pHide->trigger();
    QVERIFY(pExit->isVisible());

    Settings()->SetBool(QStringLiteral("HideButton"), true);
    SDraw hidden;
    QVERIFY(hidden.Show());
    QVERIFY(!hidden.Button(QStringLiteral("Exit"))->isVisible());
}

void TestTouchPaintView::showRectMakesItsItemsOnce()
{
    SDraw draw;
    QVERIFY(draw.Show());
    CTouchPaintView* pView = draw.pView;
    const int nBefore = draw.Scene()->items().size();
    pView->ShowRect(7, Qt::TouchPointMoved, QRectF(10.7, 20.9, 30, 40.5));
    QCOMPARE(draw.Scene()->items().size(), nBefore + 2);
    pView->ShowRect(7, Qt::TouchPointPressed, QRectF(50.2, 60.8, 12, 8));
    QCOMPARE(draw.Scene()->items().size(), nBefore + 2);
    const QList<QGraphicsEllipseItem*> ellipses = draw.Items<QGraphicsEllipseItem>();
    QCOMPARE(ellipses.size(), 1);
    // The corner is cut to whole view pixels.
    QCOMPARE(ellipses.first()->rect(), QRectF(pView->mapToScene(QPoint(50, 60)), QSizeF(12, 8)));
    const QList<QGraphicsSimpleTextItem*> labels = draw.Items<QGraphicsSimpleTextItem>();
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.first()->text(), QStringLiteral("12*8"));
    // A clear takes them; the next call makes them again.
    pView->ClearResponse();
    pView->ShowRect(7, Qt::TouchPointMoved, QRectF(1, 2, 3.25, 4));
    QCOMPARE(draw.Items<QGraphicsSimpleTextItem>().first()->text(), QStringLiteral("3.25*4"));
    QCOMPARE(draw.Items<QGraphicsEllipseItem>().size(), 1);
}

void TestTouchPaintView::screenShowsTheDrawing_data()
{
    QTest::addColumn<bool>("nodesBefore"); // "Set..." while the first half is drawn
    QTest::addColumn<bool>("nodesAfter");  // and while the second half is

    QTest::newRow("nodes hidden") << false << false;
    QTest::newRow("nodes shown") << true << true;
    QTest::newRow("held nodes shown over new strokes") << false << true;
    QTest::newRow("nodes hidden halfway") << true << false;
}

void TestTouchPaintView::screenShowsTheDrawing()
{
    QFETCH(bool, nodesBefore);
    QFETCH(bool, nodesAfter);

    // What the window shows is kept from paint to paint; new strokes are
    // painted over it. It must equal the drawing painted afresh, also under
    // the translucent buttons and with nodes stacked over the strokes.
    SDraw draw(QSize(900, 600));
    QVERIFY(draw.Show());
    CTouchPaintView* pView = draw.pView;
    if (nodesBefore)
        QTest::keyClick(pView, Qt::Key_N);
    const int nSteps = 120;
    for (int step = 0; step <= nSteps; ++step) {
        if (step == nSteps / 2 && nodesAfter != nodesBefore)
            QTest::keyClick(pView, Qt::Key_N);
        CTouch touch(pView);
        for (int k = 0; k < 4; ++k) {
            // Across the window and back, through the buttons' row.
            const double t = double(step) / nSteps;
            const QPoint at(60 + int(780 * std::abs(std::sin(3.1 * t + k))), 120 + 100 * k + int(180 * std::sin(7 * t + k)));
            if (step == 0)
                touch.press(k, at);
            else if (step == nSteps)
                touch.release(k, at);
            else
                touch.move(k, at);
        }
    }
    pView->ShowTouchTestResult(true);
    // Let every paint happen, then compare the window with a fresh picture.
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    const QImage shown = pView->screen()->grabWindow(pView->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage fresh = pView->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(shown.size(), fresh.size());
    // Under the translucent buttons Qt blends a button over itself where a
    // partial repaint ends inside it, with or without this window's own
    // painting: those pixels are left out.
    QRegion buttons;
    for (QPushButton* pButton : pView->findChildren<QPushButton*>())
        buttons += pButton->geometry();
    int nDiffering = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            nDiffering += shown.pixel(x, y) != fresh.pixel(x, y) && !buttons.contains(QPoint(x, y)) ? 1 : 0;
    if (nDiffering) {
        // For the reviewer: the differing pixels in magenta over the fresh picture.
        QImage diff = fresh;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (shown.pixel(x, y) != fresh.pixel(x, y))
                    diff.setPixel(x, y, qRgb(255, 0, 255));
        diff.save(CTestEnvironment::OutputDir() + QStringLiteral("/testview_drawtest_mismatch_%1.png")
                                                      .arg(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_')));
    }
    QCOMPARE(nDiffering, 0);
}

void TestTouchPaintView::pictures()
{
    // For review: three fingers, nodes on, then the tick; and the cross.
    for (bool bPass : {true, false}) {
        SDraw draw(QSize(1920, 1080));
        QVERIFY(draw.Show());
        CTouchPaintView* pView = draw.pView;
        QTest::keyClick(pView, Qt::Key_N);
        CTouch(pView)
            .press(1, QPoint(200, 300))
            .press(2, QPoint(300, 500))
            .press(3, QPoint(400, 700));
        for (int step = 1; step <= 30; ++step) {
            const double t = step / 30.0;
            CTouch(pView)
                .move(1, QPoint(200 + int(1400 * t), 300 + int(120 * std::sin(t * 6.28))))
                .move(2, QPoint(300 + int(1300 * t), 500 + int(160 * std::sin(t * 9.42))))
                .move(3, QPoint(400 + int(1200 * t), 700 - int(200 * t)));
        }
        CTouch(pView)
            .release(1, QPoint(1600, 300))
            .release(2, QPoint(1600, 500))
            .release(3, QPoint(1600, 500));
        pView->ShowTouchTestResult(bPass);
        const QString strName = bPass ? QStringLiteral("/testview_drawtest_tick.png")
                                      : QStringLiteral("/testview_drawtest_cross.png");
        QVERIFY(pView->grab().save(CTestEnvironment::OutputDir() + strName));
    }
}

STATION_TEST_MAIN(TestTouchPaintView)
#include "tst_touchpaintview.moc"
