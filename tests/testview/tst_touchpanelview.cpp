// The panel diagram built from the hand-made hardware record, in a real page
// offscreen: which items it makes (and which not), the USB picture, the open
// area, the recolouring from problem maps, the calls by name from another
// thread, the fitting and orientation, the keys and the mouse, and records a
// replayed log may bring (non-finite or huge values, nothing at all, the
// limits' maxima). Screenshots of the diagram go to the test-output folder.

#include "connector.h"
#include "graphicstextitem.h"
#include "irsensor.h"
#include "panellooks.h"
#include "pcbboard.h"
#include "stationmetatypes.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "testhardwareinfo.h"
#include "testloglimits.h"
#include "touchpanelview.h"
#include "waitfor.h"

#include <QGraphicsLineItem>
#include <QGraphicsPixmapItem>
#include <QGraphicsRectItem>
#include <QImage>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>
#include <QtTest>
#include <cmath>
#include <limits>
#include <memory>

using namespace PanelLooks;

namespace {

const char *kProblemMapType = "QMap<QString, QList<QString>>";

// Every fault key of the fixture, once or twice.
ProblemMap EveryFaultKey()
{
    return {{"CONNECTOR_ERROR", {"Bottom:0-Bottom:1"}},
            {"CONNECTOR_ERROR_PRO1", {"Top:0-Top:1"}},
            {"CONNECTOR_ERROR_PRO2", {"Bottom:2-Right:0"}},
            {"PCB_ERROR", {"Bottom:1"}},
            {"SENSOR_ERROR", {"Bottom:0", "Top:3", "Left:1"}},
            {"SENSOR_WEEK", {"Right:2", "Bottom:6"}},
            {"LIGHT_ERROR", {"Bottom:0-Top:0"}},
            {"LIGHT_WEAK", {"Bottom:4-Top:2", "Right:1-Left:1"}},
            {"LIGHT_UNSTABLE", {"Right:3-Left:3"}}};
}

bool FiniteTransform(const QTransform &t)
{
    const double m[9] = {t.m11(), t.m12(), t.m13(), t.m21(), t.m22(), t.m23(), t.m31(), t.m32(), t.m33()};
    for (double d : m)
        if (!std::isfinite(d))
            return false;
    return true;
}

void SendWheel(QWidget *pViewport, int nDelta)
{
    const QPointF pt(pViewport->width() / 2.0, pViewport->height() / 2.0);
    QWheelEvent event(pt, QPointF(pViewport->mapToGlobal(pt.toPoint())), QPoint(), QPoint(0, nDelta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(pViewport, &event);
}

// Records a replayed log could bring.
CHardwareInfo NonFinite()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double overflow = QStringLiteral("1e400").toDouble(); // as a log's text reads
    CHardwareInfo info = CTestHardwareInfo::Build();
    for (QList<CPcbInfo> &lst : info.GetAxisMap())
        for (CPcbInfo &pcb : lst) {
            pcb.SetSize(nan, inf, -inf);
            pcb.SetAngle(nan);
            pcb.SetPos(QPointF(inf, nan));
            for (CSensorInfo &led : pcb.GetLeds()) {
                led.SetSize(inf, nan, 1.0);
                led.SetVCenter(-inf);
                led.SetPos(QPointF(nan, overflow));
            }
        }
    for (CConnectorInfo &con : info.GetConnectorMap()) {
        con.SetSize(nan, inf, nan);
        con.SetDipLength(nan, inf, -inf, overflow);
        con.SetAngle(inf);
        con.SetPos(QPointF(-inf, nan));
    }
    info.SetOpenArea(nan, inf, -inf, nan);
    return info;
}

CHardwareInfo Huge()
{
    CHardwareInfo info = CTestHardwareInfo::Build(1);
    double dSign = 1.0;
    for (QList<CPcbInfo> &lst : info.GetAxisMap())
        for (CPcbInfo &pcb : lst) {
            dSign = -dSign;
            pcb.SetSize(1e300, 1e300, 1e300);
            pcb.SetAngle(1e300);
            pcb.SetPos(QPointF(dSign * 1e300, 1e300));
            for (CSensorInfo &led : pcb.GetLeds()) {
                led.SetSize(1e300, 1e300, 1e300);
                led.SetVCenter(-1e300);
                led.SetPos(QPointF(1e300, dSign * 1e300));
            }
        }
    for (CConnectorInfo &con : info.GetConnectorMap()) {
        con.SetSize(1e300, 1e300, 1e300);
        con.SetDipLength(1e300, -1e300, 1e300, 1e300);
        con.SetPos(QPointF(1e300, -1e300));
    }
    info.SetOpenArea(-1e300, 1e300, -1e300, 1e300);
    return info;
}

// The fixture with some of its numbers set to v: the first board's angle,
// its position's x, its first sensor's position and width, and the first
// connector's y and dip length. To be drawn as the same numbers at 0 (a
// non-finite v) or at the bound (a v beyond it).
CHardwareInfo FixtureWith(double v)
{
    CHardwareInfo info = CTestHardwareInfo::Build();
    CPcbInfo &pcb = info.GetAxisMap().first().first();
    pcb.SetAngle(v);
    pcb.SetPos(QPointF(v, pcb.GetPos().y()));
    CSensorInfo &led = pcb.GetLeds().first();
    led.SetPos(QPointF(v, v));
    led.SetSize(v, led.GetLength(), led.GetHeight());
    CConnectorInfo &con = info.GetConnectorMap().first();
    con.SetPos(QPointF(con.GetPos().x(), v));
    con.SetDipLength(v, v, v, v);
    return info;
}

// Where every item of the diagram lies (its bounds in the scene, in
// stacking order), and the view's transform, as texts.
QStringList Geometry(const CTouchPanelView &view)
{
    QStringList lst;
    auto num = [](double d) { return QString::number(d, 'g', 17); };
    for (const QGraphicsItem *pItem : view.scene()->items(Qt::AscendingOrder)) {
        const QRectF r = pItem->sceneBoundingRect();
        lst << QStringLiteral("%1 %2 %3 %4").arg(num(r.x()), num(r.y()), num(r.width()), num(r.height()));
    }
    const QTransform t = view.transform();
    lst << QStringLiteral("transform %1 %2 %3 %4 %5 %6")
               .arg(num(t.m11()), num(t.m12()), num(t.m21()), num(t.m22()), num(t.dx()), num(t.dy()));
    return lst;
}

} // namespace

class TestTouchPanelView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitStationResources();
        RegisterStationMetaTypes();
    }

    // Boards and sensors per side in record order (sensors counted across the
    // side's boards), connectors and light paths only where both ends exist.
    void itemsFromTheRecord()
    {
        CHardwareInfo info = CTestHardwareInfo::Build();
        SPage page(&info);
        CTouchPanelView &view = *page.view;

        QCOMPARE(view.PcbItems().keys(), (QList<QString>{"Bottom", "Left", "Right", "Top"}));
        QCOMPARE(view.SensorItems().keys(), view.PcbItems().keys());
        for (auto it = info.GetAxisMap().cbegin(); it != info.GetAxisMap().cend(); ++it) {
            const QList<CPcbBoard *> boards = view.PcbItems().value(it.key());
            QCOMPARE(boards.size(), it->size());
            QList<CIRSensor *> expected;
            for (int b = 0; b < boards.size(); ++b) {
                QCOMPARE(boards[b]->toolTip(), it->at(b).GetID());
                QCOMPARE(boards[b]->scene(), view.scene());
                QCOMPARE(boards[b]->zValue(), 0.0);
                QCOMPARE(boards[b]->GetSensors().size(), CTestHardwareInfo::SensorCounts(it.key()).at(b));
                expected << boards[b]->GetSensors();
            }
            QCOMPARE(view.SensorItems().value(it.key()), expected);
        }
        // The kind-9 sensor is there, with nothing to draw.
        const CIRSensor *pOdd = view.SensorItems().value("Bottom").at(5);
        QCOMPARE(pOdd->Info().GetType(), 9);
        QVERIFY(pOdd->polygon().isEmpty());

        QList<QString> connectors = info.GetConnectorMap().keys();
        connectors.removeOne(CTestHardwareInfo::MissingBoardConnector());
        QCOMPARE(view.ConnectorItems().keys(), connectors);
        for (const CConnector *pConnector : view.ConnectorItems())
            QCOMPARE(pConnector->zValue(), 1.0);

        QList<QString> relations = info.GetSensorRelations();
        relations.removeOne(CTestHardwareInfo::OutOfRangeRelation());
        std::sort(relations.begin(), relations.end());
        QCOMPARE(view.LightItems().keys(), relations);
        for (auto it = view.LightItems().cbegin(); it != view.LightItems().cend(); ++it) {
            QString strFirst, strLast, strSideA, strSideB;
            int a = 0, b = 0;
            CTouchPanelView::ParseRelation(it.key(), &strFirst, &strLast);
            CTouchPanelView::ParseRelationPart(strFirst, &strSideA, &a);
            CTouchPanelView::ParseRelationPart(strLast, &strSideB, &b);
            const QLineF line = it.value()->line();
            QCOMPARE(line.p1(), view.SensorItems().value(strSideA).at(a)->scenePos());
            QCOMPARE(line.p2(), view.SensorItems().value(strSideB).at(b)->scenePos());
            QVERIFY(!it.value()->isVisible());
            QCOMPARE(it.value()->pen().color(), QColor(Qt::black));
            QVERIFY(it.value()->pen().isCosmetic());
            QCOMPARE(it.value()->zValue(), 0.0);
        }
        // The paths are drawn by one item, their parent, above the boards.
        QGraphicsItem *pPaths = view.LightItems().first()->parentItem();
        QVERIFY(pPaths && !pPaths->parentItem());
        QCOMPARE(pPaths->zValue(), 0.0);
        QVERIFY(!(pPaths->flags() & QGraphicsItem::ItemHasNoContents));
        for (const QGraphicsLineItem *pLine : view.LightItems()) {
            QCOMPARE(pLine->parentItem(), pPaths);
            QVERIFY(pLine->flags() & QGraphicsItem::ItemHasNoContents);
        }
        QCOMPARE(pPaths->childItems().size(), relations.size());
        // Nothing else is in the scene: boards (with their children),
        // connectors, the paths' item, the open area.
        int nTop = 0;
        for (QGraphicsItem *pItem : view.scene()->items())
            nTop += pItem->parentItem() ? 0 : 1;
        QCOMPARE(nTop, 7 + connectors.size() + 1 + 1);
    }

    void relationTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("sideA");
        QTest::addColumn<int>("a");
        QTest::addColumn<QString>("sideB");
        QTest::addColumn<int>("b");
        QTest::newRow("plain") << "Bottom:12-Top:3" << "Bottom" << 12 << "Top" << 3;
        QTest::newRow("no dash") << "Left:4" << "Left" << 4 << "Left" << 4;
        QTest::newRow("no colon") << "Left-Top" << "Left" << 0 << "Top" << 0;
        QTest::newRow("not a number") << "Left:x-Top:2" << "Left" << 0 << "Top" << 2;
        QTest::newRow("three parts") << "Left:1-Right:9-Top:2" << "Left" << 1 << "Top" << 2;
        QTest::newRow("empty") << "" << "" << 0 << "" << 0;
    }

    void relationTexts()
    {
        QFETCH(QString, text);
        QString strFirst, strLast, strSide;
        int n = -1;
        CTouchPanelView::ParseRelation(text, &strFirst, &strLast);
        CTouchPanelView::ParseRelationPart(strFirst, &strSide, &n);
        QTEST(strSide, "sideA");
        QTEST(n, "a");
        CTouchPanelView::ParseRelationPart(strLast, &strSide, &n);
        QTEST(strSide, "sideB");
        QTEST(n, "b");
    }

    // The USB picture only on the first "Bottom" board; none without "Bottom".
    void usbPicture()
    {
        for (bool bBottom : {true, false}) {
            CHardwareInfo info = CTestHardwareInfo::Build();
            if (!bBottom)
                info.GetAxisMap().remove(QStringLiteral("Bottom"));
            CTouchPanelView view(&info);
            QList<QGraphicsPixmapItem *> pictures;
            for (QGraphicsItem *pItem : view.scene()->items())
                if (auto *pPixmap = qgraphicsitem_cast<QGraphicsPixmapItem *>(pItem))
                    pictures << pPixmap;
            if (!bBottom) {
                QVERIFY(pictures.isEmpty());
                continue;
            }
            QCOMPARE(pictures.size(), 1);
            QCOMPARE(pictures[0]->parentItem(), view.PcbItems().value("Bottom").first());
        }
    }

    // The open area drawn where the layout put it: from (x0, y0) to (x1, y1),
    // dark grey under everything, inside the boards.
    void openArea()
    {
        CHardwareInfo info = CTestHardwareInfo::Build();
        CTouchPanelView view(&info);
        const QGraphicsRectItem *pArea = view.OpenAreaItem();
        QVERIFY(pArea);
        QCOMPARE(pArea->rect(), QRectF(QPointF(CTestHardwareInfo::kOpenX0, CTestHardwareInfo::kOpenY0),
                                       QPointF(CTestHardwareInfo::kOpenX1, CTestHardwareInfo::kOpenY1)));
        QCOMPARE(pArea->zValue(), -1.0);
        QCOMPARE(pArea->brush(), QBrush(Qt::darkGray));
        QCOMPARE(pArea->pen(), QPen());
        QVERIFY(BoardsRect(view).contains(pArea->sceneBoundingRect()));
    }

    void update_data()
    {
        QTest::addColumn<ProblemMap>("map");
        QTest::addColumn<Looks>("changes"); // against the sound looks

        const QString red = Name(Qt::red), yellow = Name(Qt::yellow), blue = Name(Qt::blue), gray = Name(Qt::gray);
        QTest::newRow("empty map") << ProblemMap() << Looks();
        QTest::newRow("connectors, first kind wins")
            << ProblemMap{{"CONNECTOR_ERROR", {"Top:0-Top:1"}},
                          {"CONNECTOR_ERROR_PRO1", {"Top:0-Top:1", "Left:0-Top:0"}},
                          {"CONNECTOR_ERROR_PRO2", {"Left:0-Top:0", "Bottom:0-Left:0"}}}
            << Looks{{"connector Top:0-Top:1", red},
                     {"connector Left:0-Top:0", yellow},
                     {"connector Bottom:0-Left:0", blue}};
        QTest::newRow("boards") << ProblemMap{{"PCB_ERROR", {"Bottom:2", "Top:0"}}}
                                << Looks{{"board Bottom:2", Name(QColor("red"))}, {"board Top:0", red}};
        QTest::newRow("sensors, error over weak")
            << ProblemMap{{"SENSOR_ERROR", {"Bottom:1"}}, {"SENSOR_WEEK", {"Bottom:1", "Left:2"}}}
            << Looks{{"sensor Bottom:1", red + "+label"}, {"sensor Left:2", yellow + "+label"}};
        QTest::newRow("sensor counted across boards")
            << ProblemMap{{"SENSOR_ERROR", {"Top:3"}}} << Looks{{"sensor Top:3", red + "+label"}};
        QTest::newRow("paths, error over weak over unstable")
            << ProblemMap{{"LIGHT_ERROR", {"Bottom:0-Top:0"}},
                          {"LIGHT_WEAK", {"Bottom:0-Top:0", "Bottom:2-Top:1"}},
                          {"LIGHT_UNSTABLE", {"Bottom:2-Top:1", "Right:0-Left:0"}}}
            << Looks{{"light Bottom:0-Top:0", red}, {"light Bottom:2-Top:1", yellow}, {"light Right:0-Left:0", gray}};
        QTest::newRow("unstable alone") << ProblemMap{{"LIGHT_UNSTABLE", {"Right:3-Left:3"}}}
                                        << Looks{{"light Right:3-Left:3", gray}};
        QTest::newRow("ids past the end or of no item")
            << ProblemMap{{"SENSOR_ERROR", {"Top:5", "Bottom:9", "Front:0"}},
                          {"SENSOR_WEEK", {"Top:-1", "Top:x"}},
                          {"PCB_ERROR", {"Left:1", "Bottom:3"}},
                          {"CONNECTOR_ERROR", {CTestHardwareInfo::MissingBoardConnector(), "Top:1-Top:0"}},
                          {"LIGHT_ERROR", {CTestHardwareInfo::OutOfRangeRelation(), "Bottom:0-Top:1"}},
                          {"LIGHT_UNKNOWN", {"Bottom:0-Top:0"}},
                          {"sensor_error", {"Bottom:0"}}}
            << Looks();
    }

    // Every item is set on every call: from a map that faults every item,
    // the next map leaves exactly its own changes. The caller's map is not
    // touched (no key added).
    void update()
    {
        QFETCH(ProblemMap, map);
        QFETCH(Looks, changes);
        CHardwareInfo info = CTestHardwareInfo::Build();
        CTouchPanelView view(&info);

        QVERIFY(view.UpdateTouchPanel(EveryItem(view)));
        const ProblemMap before = map;
        QVERIFY(view.UpdateTouchPanel(map));
        QCOMPARE(map, before);

        Looks expected = SoundLooks(view);
        for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
            QVERIFY2(expected.contains(it.key()), qPrintable(it.key()));
            expected[it.key()] = it.value();
        }
        const Looks looks = LooksOf(view);
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(looks.value(it.key()) == it.value(),
                     qPrintable(QStringLiteral("%1: %2, not %3").arg(it.key(), looks.value(it.key()), it.value())));
        QCOMPARE(looks.size(), expected.size());
    }

    // What the window shows: a path at fault in its colour, each path in its
    // own, and nothing once a later map clears it, without a call to repaint.
    void pathsOnScreen()
    {
        CHardwareInfo info = CTestHardwareInfo::Build();
        SPage page(&info);
        CTouchPanelView *pView = page.view;
        QVERIFY(page.Show());
        const QString strRed = QStringLiteral("Bottom:0-Top:0");
        const QString strYellow = QStringLiteral("Right:3-Left:3");
        // A point a third of the way along each path, in the window.
        auto at = [&](const QString &strPath) {
            const QLineF line = pView->LightItems().value(strPath)->line();
            return pView->viewport()->mapTo(&page.page, pView->mapFromScene(line.pointAt(1.0 / 3.0)));
        };
        // Whether the window, as on screen, has the colour within a pixel.
        auto shows = [&](const QPoint &pt, const QColor &color) {
            const QImage image = page.page.screen()->grabWindow(page.page.winId()).toImage();
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    if (image.pixelColor(pt + QPoint(dx, dy)) == color)
                        return true;
            return false;
        };
        const QPoint ptRed = at(strRed), ptYellow = at(strYellow);
        QVERIFY(!shows(ptRed, Qt::red) && !shows(ptYellow, Qt::yellow));

        QVERIFY(pView->UpdateTouchPanel({{"LIGHT_ERROR", {strRed}}, {"LIGHT_WEAK", {strYellow}}}));
        QVERIFY(StationTest::WaitFor([&] { return shows(ptRed, Qt::red) && shows(ptYellow, Qt::yellow); }));
        QVERIFY(pView->UpdateTouchPanel({{"LIGHT_WEAK", {strRed}}}));
        QVERIFY(StationTest::WaitFor([&] { return shows(ptRed, Qt::yellow) && !shows(ptYellow, Qt::yellow); }));
        QVERIFY(!shows(ptRed, Qt::red));
        QVERIFY(pView->UpdateTouchPanel(ProblemMap()));
        QVERIFY(StationTest::WaitFor([&] { return !shows(ptRed, Qt::yellow); }));
    }

    // A level path that alone changes its looks shows it too: its rectangle
    // has no height. Left:0 and Right:3 stand at the same height.
    void levelPathOnScreen()
    {
        CHardwareInfo info = CTestHardwareInfo::Build();
        const QString strLevel = QStringLiteral("Left:0-Right:3");
        info.ParseRelation(strLevel);
        SPage page(&info);
        CTouchPanelView *pView = page.view;
        QVERIFY(page.Show());
        const QLineF line = pView->LightItems().value(strLevel)->line();
        QCOMPARE(line.dy(), 0.0);
        const QPoint pt = pView->viewport()->mapTo(&page.page, pView->mapFromScene(line.pointAt(1.0 / 3.0)));
        auto shows = [&](const QColor &color) {
            const QImage image = page.page.screen()->grabWindow(page.page.winId()).toImage();
            for (int dy = -1; dy <= 1; ++dy)
                if (image.pixelColor(pt + QPoint(0, dy)) == color)
                    return true;
            return false;
        };
        for (const QColor &color : {QColor(Qt::red), QColor(Qt::yellow)}) {
            const QString strKey = color == Qt::red ? QStringLiteral("LIGHT_ERROR") : QStringLiteral("LIGHT_WEAK");
            QVERIFY(pView->UpdateTouchPanel({{strKey, {strLevel}}}));
            QVERIFY(StationTest::WaitFor([&] { return shows(color); }));
        }
        QVERIFY(pView->UpdateTouchPanel(ProblemMap()));
        QVERIFY(StationTest::WaitFor([&] { return !shows(Qt::yellow); }));
    }

    // Before the first map: boards green, connectors black, sensors unfilled
    // with hidden labels, paths hidden.
    void looksBeforeTheFirstMap()
    {
        CHardwareInfo info = CTestHardwareInfo::Build();
        CTouchPanelView view(&info);
        const Looks looks = LooksOf(view);
        for (auto it = looks.cbegin(); it != looks.cend(); ++it) {
            if (it.key().startsWith(QLatin1String("connector")))
                QCOMPARE(it.value(), Name(Qt::black));
            else if (it.key().startsWith(QLatin1String("board")))
                QCOMPARE(it.value(), Name(QColor(34, 139, 34)));
            else if (it.key().startsWith(QLatin1String("sensor")))
                QCOMPARE(it.value(), QStringLiteral("none"));
            else
                QCOMPARE(it.value(), QStringLiteral("hidden"));
        }
    }

    // The refresh thread calls by name with one and with two arguments; both
    // arrive queued on the GUI thread. From the GUI thread the call is direct.
    void callsByName()
    {
        CHardwareInfo info = CTestHardwareInfo::Build();
        SPage page(&info);
        CTouchPanelView *pView = page.view;
        auto sensorLook = [pView](const QString &strSide, int n) {
            return Name(pView->SensorItems().value(strSide).at(n)->brush().color());
        };

        const ProblemMap first{{"SENSOR_ERROR", {"Bottom:0"}}};
        const ProblemMap second{{"SENSOR_ERROR", {"Left:1"}}};
        uint32_t nFrame = 17;
        for (int nArgs : {1, 2}) {
            const ProblemMap &map = nArgs == 1 ? first : second;
            bool bInvoked = false;
            QThread *pThread = QThread::create([&] {
                bInvoked = nArgs == 1
                    ? QMetaObject::invokeMethod(pView, "UpdateTouchPanel", Qt::AutoConnection,
                                                QGenericArgument(kProblemMapType, &map))
                    : QMetaObject::invokeMethod(pView, "UpdateTouchPanel", Qt::AutoConnection,
                                                QGenericArgument(kProblemMapType, &map), Q_ARG(uint32_t *, &nFrame));
            });
            pThread->start();
            QVERIFY(pThread->wait(10000));
            delete pThread;
            QVERIFY(bInvoked);
            const QString strSide = nArgs == 1 ? "Bottom" : "Left";
            const int n = nArgs == 1 ? 0 : 1;
            // Queued: nothing has changed while the GUI thread waited.
            QVERIFY(sensorLook(strSide, n) != Name(Qt::red));
            QVERIFY(StationTest::WaitFor([&] { return sensorLook(strSide, n) == Name(Qt::red); }));
        }
        QCOMPARE(sensorLook("Bottom", 0), Name(Qt::transparent));
        QCOMPARE(nFrame, 17u);

        bool bResult = false;
        QVERIFY(QMetaObject::invokeMethod(pView, "UpdateTouchPanel", Qt::AutoConnection, Q_RETURN_ARG(bool, bResult),
                                          QGenericArgument(kProblemMapType, &first)));
        QVERIFY(bResult);
        QCOMPARE(sensorLook("Bottom", 0), Name(Qt::red));
        // A misspelt type name is refused, not silently dropped.
        QVERIFY(!QMetaObject::invokeMethod(pView, "UpdateTouchPanel", Qt::QueuedConnection,
                                           QGenericArgument("ProblemMap", &first)));
    }

    void fitting_data()
    {
        QTest::addColumn<int>("dir");
        QTest::newRow("direction 0: mirrored") << 0;
        QTest::newRow("direction 1: turned") << 1;
        QTest::newRow("direction 3: turned") << 3;
    }

    // Embedded the drawing keeps its aspect, full screen it is stretched;
    // direction 0 mirrors it vertically, any other turns it by 180°.
    void fitting()
    {
        QFETCH(int, dir);
        CHardwareInfo info = CTestHardwareInfo::Build(dir);
        SPage page(&info);
        CTouchPanelView *pView = page.view;
        QCOMPARE(pView->InterfaceDir(), dir);
        QVERIFY(page.Show());

        auto check = [&](double sx, double sy) {
            const QTransform t = pView->transform();
            QVERIFY(std::abs(t.m12()) < 1e-12 && std::abs(t.m21()) < 1e-12);
            QVERIFY(std::abs(t.m13()) < 1e-12 && std::abs(t.m23()) < 1e-12);
            QVERIFY2(std::abs(std::abs(t.m11()) - sx) < 1e-9, qPrintable(QString::number(t.m11())));
            QVERIFY2(std::abs(std::abs(t.m22()) - sy) < 1e-9, qPrintable(QString::number(t.m22())));
            QVERIFY(t.m22() < 0);
            QCOMPARE(t.m11() < 0, dir != 0);
        };
        const QRectF rcScene = pView->sceneRect();
        QVERIFY(rcScene.width() > 0 && rcScene.height() > 0);
        const double s = std::min(pView->viewport()->width() / rcScene.width(),
                                  pView->viewport()->height() / rcScene.height());
        check(s, s);

        QTest::mouseDClick(pView->viewport(), Qt::LeftButton);
        QVERIFY(StationTest::WaitFor([&] { return pView->isFullScreen() && pView->width() == 800; }));
        QCOMPARE(pView->size(), QSize(800, 600));
        const QRectF rcFull = pView->scene()->sceneRect();
        check(800 / rcFull.width(), 600 / rcFull.height());
        QVERIFY(std::abs(800 / rcFull.width() - 600 / rcFull.height()) > 0.01); // stretched
    }

    // The wheel zooms only while Ctrl is held and the view is embedded; a
    // double click moves the view between its page and a full-screen window,
    // Escape puts it back.
    void input()
    {
        CHardwareInfo info = CTestHardwareInfo::Build();
        SPage page(&info);
        CTouchPanelView *pView = page.view;
        QVERIFY(page.Show());
        const QTransform fit = pView->transform();

        SendWheel(pView->viewport(), 120);
        QCOMPARE(pView->transform(), fit);
        QTest::keyPress(pView, Qt::Key_Control);
        QCOMPARE(pView->dragMode(), QGraphicsView::ScrollHandDrag);
        SendWheel(pView->viewport(), 120);
        QVERIFY(std::abs(pView->transform().m11() / fit.m11() - std::sqrt(1.2)) < 1e-9);
        SendWheel(pView->viewport(), -240);
        QVERIFY(std::abs(pView->transform().m22() / fit.m22() - 1.0 / std::sqrt(1.2)) < 1e-9);
        QTest::keyRelease(pView, Qt::Key_Control);
        QCOMPARE(pView->dragMode(), QGraphicsView::NoDrag);
        const QTransform zoomed = pView->transform();
        SendWheel(pView->viewport(), 120);
        QCOMPARE(pView->transform(), zoomed);

        // Escape while embedded: still embedded.
        QTest::keyClick(pView, Qt::Key_Escape);
        QVERIFY(!pView->isWindow());
        QVERIFY(pView->isVisible());

        // Full screen and back by a double click; a resize drops the zoom.
        QTest::mouseDClick(pView->viewport(), Qt::LeftButton);
        QVERIFY(StationTest::WaitFor([&] { return pView->isFullScreen() && pView->width() == 800; }));
        QVERIFY(pView->isWindow());
        QCOMPARE(pView->parentWidget(), &page.page);
        QTest::keyPress(pView, Qt::Key_Control); // no zoom in full screen
        QCOMPARE(pView->dragMode(), QGraphicsView::NoDrag);
        const QTransform full = pView->transform();
        SendWheel(pView->viewport(), 120);
        QCOMPARE(pView->transform(), full);
        QTest::keyRelease(pView, Qt::Key_Control);

        QTest::mouseDClick(pView->viewport(), Qt::LeftButton);
        QVERIFY(StationTest::WaitFor([&] { return !pView->isWindow() && pView->isVisible(); }));
        QVERIFY(StationTest::WaitFor([&] { return pView->size() == page.page.size(); }));
        QCOMPARE(pView->transform(), fit);

        // Full screen again, and Escape.
        QTest::mouseDClick(pView->viewport(), Qt::LeftButton);
        QVERIFY(StationTest::WaitFor([&] { return pView->isFullScreen(); }));
        QTest::keyClick(pView, Qt::Key_Escape);
        QVERIFY(StationTest::WaitFor([&] { return !pView->isWindow() && pView->isVisible(); }));
        QVERIFY(StationTest::WaitFor([&] { return pView->size() == page.page.size(); }));
        QCOMPARE(pView->transform(), fit);
    }

    void hostileRecords_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QSize>("viewSize"); // invalid: as the page lays it out
        // A record whose diagram this one's equals item for item (empty: none).
        QTest::addColumn<QString>("sameAs");
        QTest::newRow("non-finite values") << "nonfinite" << QSize() << "";
        QTest::newRow("1e300") << "huge" << QSize() << "";
        QTest::newRow("empty record") << "empty" << QSize() << "";
        QTest::newRow("null record") << "null" << QSize() << "";
        QTest::newRow("view of zero size") << "fixture" << QSize(0, 0) << "";
        QTest::newRow("view of zero height") << "fixture" << QSize(300, 0) << "";
        QTest::newRow("the limits' maxima") << "limits" << QSize() << "";
        // A non-finite value counts as 0; a finite one beyond 1e300 is held there.
        QTest::newRow("NaN lies at 0") << "at nan" << QSize() << "at 0";
        QTest::newRow("inf lies at 0") << "at inf" << QSize() << "at 0";
        QTest::newRow("1e305 lies at 1e300") << "at 1e305" << QSize() << "at 1e300";
    }

    // Building, fitting, recolouring and painting into an image all finish
    // and the transform stays finite; a record with a twin is drawn as its
    // twin is, item for item.
    void hostileRecords()
    {
        QFETCH(QString, record);
        QFETCH(QSize, viewSize);
        QFETCH(QString, sameAs);
        auto build = [](const QString &name) {
            if (name == QLatin1String("at nan"))
                return FixtureWith(std::numeric_limits<double>::quiet_NaN());
            if (name == QLatin1String("at inf"))
                return FixtureWith(std::numeric_limits<double>::infinity());
            if (name.startsWith(QLatin1String("at ")))
                return FixtureWith(name.mid(3).toDouble());
            return name == QLatin1String("nonfinite") ? NonFinite()
                : name == QLatin1String("huge")        ? Huge()
                : name == QLatin1String("limits")      ? CTestHardwareInfo::AtTheLimits()
                : name == QLatin1String("fixture")     ? CTestHardwareInfo::Build()
                                                       : CHardwareInfo();
        };
        CHardwareInfo info = build(record);
        SPage page(record == QLatin1String("null") ? nullptr : &info);
        CTouchPanelView *pView = page.view;
        if (viewSize.isValid())
            pView->setFixedSize(viewSize);
        QVERIFY(page.Show());
        if (!sameAs.isEmpty()) {
            CHardwareInfo twinInfo = build(sameAs);
            SPage twin(&twinInfo);
            QVERIFY(twin.Show());
            QCOMPARE(Geometry(*pView), Geometry(*twin.view));
        }
        if (viewSize.isValid()) {
            QCOMPARE(pView->size(), viewSize);
            QVERIFY(pView->viewport()->width() <= 0 || pView->viewport()->height() <= 0);
        }
        if (record == QLatin1String("limits")) {
            int nSensors = 0;
            for (const QList<CIRSensor *> &lst : pView->SensorItems())
                nSensors += lst.size();
            QCOMPARE(nSensors, CTestLogLimits::kMaxSensors);
            QCOMPARE(pView->LightItems().size(), CTestLogLimits::kMaxRelations);
        } else if (record == QLatin1String("empty") || record == QLatin1String("null")) {
            QCOMPARE(pView->scene()->items().size(), 1); // the open area alone
        }

        // Every item at fault, every sensor with its label; at the maxima one
        // sensor in 64 (a label is a text item of its own).
        ProblemMap faults = EveryItem(*pView);
        QList<QString> sensors = faults.take(QStringLiteral("SENSOR_WEEK"));
        if (record == QLatin1String("limits")) {
            QList<QString> some;
            for (int i = 0; i < sensors.size(); i += 64)
                some << sensors.at(i);
            sensors = some;
        }
        faults[QStringLiteral("SENSOR_ERROR")] = sensors;
        QVERIFY(pView->UpdateTouchPanel(faults));
        QVERIFY(FiniteTransform(pView->transform()));

        QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            pView->scene()->render(&painter);
        }
        QCOMPARE(page.page.grab().size(), page.page.size());
        QVERIFY(FiniteTransform(pView->transform()));
        for (const QList<CIRSensor *> &lst : pView->SensorItems())
            for (CIRSensor *pSensor : lst)
                QVERIFY(!pSensor->LabelShown() || std::isfinite(pSensor->Label()->pos().x()));

        QTest::mouseDClick(pView->viewport(), Qt::LeftButton);
        QVERIFY(StationTest::WaitFor([&] { return pView->isFullScreen(); }));
        pView->grab();
        QVERIFY(FiniteTransform(pView->transform()));
    }

    // The fixture with every fault key, embedded and full screen.
    void screenshots()
    {
        CHardwareInfo info = CTestHardwareInfo::Build();
        SPage page(&info);
        CTouchPanelView *pView = page.view;
        QVERIFY(page.Show());
        QVERIFY(pView->UpdateTouchPanel(EveryFaultKey()));
        QVERIFY(SaveShot(page.page.grab(), QStringLiteral("panelview_fixture_embedded.png")));
        QTest::mouseDClick(pView->viewport(), Qt::LeftButton);
        QVERIFY(StationTest::WaitFor([&] { return pView->isFullScreen() && pView->width() == 800; }));
        QVERIFY(SaveShot(pView->grab(), QStringLiteral("panelview_fixture_fullscreen.png")));
    }
};

STATION_TEST_MAIN(TestTouchPanelView)
#include "tst_touchpanelview.moc"
