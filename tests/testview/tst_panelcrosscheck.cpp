// The panel diagram against what a real test finds: HardwareInterface tests
// an emulated frame with a fault (the layout builds the hardware record, the
// analysis the problem map), the diagram is built from that record and fed
// that map. Exactly the sensors, light paths, boards and connectors at fault
// change, every id of the map names an item of the diagram, and the open area
// lies inside the boards. The large frame with dead LEDs is saved as a
// screenshot at two screen sizes, and with whole sides at fault.

#include "graphicstextitem.h"
#include "largeframe.h"
#include "panellooks.h"
#include "panelrig.h"
#include "stationmetatypes.h"
#include "stationresources.h"
#include "testenvironment.h"

#include <QFontMetrics>
#include <QGraphicsRectItem>
#include <QtTest>

using namespace PanelLooks;

namespace {

QList<QString> Names(const char *side, int first, int last)
{
    QList<QString> names;
    for (int i = first; i <= last; ++i)
        names << QStringLiteral("%1:%2").arg(QLatin1String(side)).arg(i);
    return names;
}

// The kind of item a fault key names.
QString KindOf(const QString &strKey)
{
    if (strKey.startsWith(QLatin1String("CONNECTOR")))
        return QStringLiteral("connector");
    if (strKey == QLatin1String("PCB_ERROR"))
        return QStringLiteral("board");
    if (strKey.startsWith(QLatin1String("SENSOR")))
        return QStringLiteral("sensor");
    return QStringLiteral("light");
}

// Every label shown, with its box on screen (viewport pixels).
QList<QPair<CIRSensor *, QRectF>> ShownLabels(const CTouchPanelView &view)
{
    QList<QPair<CIRSensor *, QRectF>> shown;
    for (const QList<CIRSensor *> &lst : view.SensorItems())
        for (CIRSensor *pSensor : lst) {
            if (!pSensor->LabelShown())
                continue;
            CGraphicsTextItem *pLabel = pSensor->Label();
            const QTransform t = pLabel->deviceTransform(view.viewportTransform());
            shown.append(qMakePair(pSensor, t.mapRect(pLabel->boundingRect())));
        }
    return shown;
}

// The first two shown labels that overlap (more than an edge), or an empty text.
QString OverlappingLabels(const QList<QPair<CIRSensor *, QRectF>> &shown)
{
    for (int i = 0; i < shown.size(); ++i)
        for (int j = i + 1; j < shown.size(); ++j) {
            const QRectF rcBoth = shown.at(i).second & shown.at(j).second;
            if (rcBoth.width() > 0.01 && rcBoth.height() > 0.01)
                return shown.at(i).first->Info().GetID() + QStringLiteral(" and ") + shown.at(j).first->Info().GetID();
        }
    return QString();
}

// Every sensor at fault: "<side>:<n>" by whether its label shows.
QMap<QString, bool> FaultyLabels(const CTouchPanelView &view, int nLevel)
{
    QMap<QString, bool> labels;
    for (auto it = view.SensorItems().cbegin(); it != view.SensorItems().cend(); ++it)
        for (int i = 0; i < it->size(); ++i)
            if (it->at(i)->FaultLevel() == nLevel)
                labels.insert(it.key() + QLatin1Char(':') + QString::number(i), it->at(i)->LabelShown());
    return labels;
}

} // namespace

class TestPanelCrossCheck : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitStationResources();
        RegisterStationMetaTypes();
    }

    void faults_data()
    {
        QTest::addColumn<QList<QString>>("dark");      // sensors at ADC 0
        QTest::addColumn<QList<QString>>("redSensors");
        QTest::addColumn<QList<QString>>("yellowSensors");
        QTest::addColumn<QList<QString>>("redConnectors");
        QTest::addColumn<int>("redPaths");

        // The small frame: X 12 LEDs (boards 6 + 6), Y 8 (4 + 4), slants
        // X (-2, 0, 2), Y (-1, 0, 1). Emitter 5 of the bottom side dark: its
        // three paths (to Top:3, 5, 7) are dark, the three receivers weak.
        QTest::newRow("dead LED") << QList<QString>{"Bottom:5"} << QList<QString>{"Bottom:5"}
                                  << QList<QString>{"Top:3", "Top:5", "Top:7"} << QList<QString>() << 3;
        // The whole top side dark: the connector from the last left board to
        // the top is the cause; every sensor of X is damaged and every X path
        // dark (36 relation texts, two of them named twice at the ends).
        QTest::newRow("broken connector") << Names("Top", 0, 11) << (Names("Bottom", 0, 11) + Names("Top", 0, 11))
                                          << QList<QString>() << QList<QString>{"Left:1-Top:0"} << 34;
    }

    void faults()
    {
        QFETCH(QList<QString>, dark);
        QFETCH(QList<QString>, redSensors);
        QFETCH(QList<QString>, yellowSensors);
        QFETCH(QList<QString>, redConnectors);
        QFETCH(int, redPaths);

        CPanelRig rig;
        rig.panel.Edit([&](CEmulatedPanel::Model &m) {
            for (const QString &s : dark)
                m.sensorAdc.insert(s, 0);
        });
        QCOMPARE(CodeHex(rig.hw.StartTest(0)), CodeHex(0));
        ProblemMap problems;
        QCOMPARE(rig.hw.GetErrors(problems), 0);
        QVERIFY(!problems.isEmpty());

        SPage page(&rig.hw.GetHardwareInfo());
        CTouchPanelView &view = *page.view;
        QVERIFY(page.Show());
        QVERIFY(view.UpdateTouchPanel(ProblemMap()));
        const Looks sound = LooksOf(view);
        QVERIFY(view.UpdateTouchPanel(problems));
        const Looks changes = Changes(sound, LooksOf(view));

        // Every id of the map names an item of its kind.
        for (auto it = problems.cbegin(); it != problems.cend(); ++it)
            for (const QString &strId : *it)
                QVERIFY2(sound.contains(KindOf(it.key()) + QLatin1Char(' ') + strId),
                         qPrintable(it.key() + QLatin1String(": ") + strId));

        // Exactly these items change.
        Looks expected;
        for (const QString &s : redSensors)
            expected.insert(QStringLiteral("sensor ") + s, Name(Qt::red) + QStringLiteral("+label"));
        for (const QString &s : yellowSensors)
            expected.insert(QStringLiteral("sensor ") + s, Name(Qt::yellow) + QStringLiteral("+label"));
        for (const QString &s : redConnectors)
            expected.insert(QStringLiteral("connector ") + s, Name(Qt::red));
        int nPaths = 0;
        for (const QString &strRelation : problems.value(QStringLiteral("LIGHT_ERROR"))) {
            expected.insert(QStringLiteral("light ") + strRelation, Name(Qt::red));
            // A dark path ends on a dark sensor.
            const QStringList ends = strRelation.split(QLatin1Char('-'));
            QVERIFY2(ends.size() == 2 && (dark.contains(ends[0]) || dark.contains(ends[1])), qPrintable(strRelation));
        }
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            nPaths += it.key().startsWith(QLatin1String("light ")) ? 1 : 0;
        QCOMPARE(nPaths, redPaths);
        QCOMPARE(changes, expected);

        // The open area, as the layout set it, inside the boards.
        const QRectF area = view.OpenAreaItem()->rect();
        QVERIFY(area.width() > 0 && area.height() > 0);
        QVERIFY(BoardsRect(view).contains(view.OpenAreaItem()->sceneBoundingRect()));
    }

    void largeFrame_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("otherWay"); // the other interface direction: the drawing turned, not mirrored
        QTest::newRow("800x480") << QSize(800, 480) << false;
        QTest::newRow("1920x1080") << QSize(1920, 1080) << false;
        QTest::newRow("800x480 turned") << QSize(800, 480) << true;
    }

    // The large frame, as the real layout draws it, with two dead LEDs, in
    // a page of a small and of a large screen: the faulty sensors' labels
    // can be read (upright, unmirrored, inside the view, red text on a white
    // box at least a line high), and once the faults clear the window holds
    // exactly what a fresh paint of the sound frame holds. The window's own
    // pixels are compared, so that what a repaint leaves behind shows.
    void largeFrame()
    {
        QFETCH(QSize, size);
        QFETCH(bool, otherWay);
        CPanelRig rig;
        rig.panel.Edit([](CEmulatedPanel::Model &m) {
            LargeFrame(m);
            m.sensorAdc.insert(QStringLiteral("Bottom:300"), 0);
            m.sensorAdc.insert(QStringLiteral("Left:100"), 0);
        });
        QCOMPARE(CodeHex(rig.hw.StartTest(0)), CodeHex(0));
        ProblemMap problems;
        QCOMPARE(rig.hw.GetErrors(problems), 0);
        const QList<QString> faulty = problems.value(QStringLiteral("SENSOR_ERROR"));
        QCOMPARE(faulty, (QList<QString>{"Bottom:300", "Left:100"}));

        CHardwareInfo info = rig.hw.GetHardwareInfo();
        if (otherWay)
            info.SetInterfaceDir(info.GetInterfaceDir() != 0 ? 0 : 1);
        const QString strName = QStringLiteral("panelview_large_frame_%1x%2%3")
                                    .arg(size.width())
                                    .arg(size.height())
                                    .arg(otherWay ? QStringLiteral("_turned") : QString());

        SPage page(&info, size);
        CTouchPanelView &view = *page.view;
        QCOMPARE(view.LightItems().size(), 2816);
        QVERIFY(view.UpdateTouchPanel(ProblemMap()));
        CPaintCount paints(view.viewport());
        QVERIFY(page.Show());
        QTRY_VERIFY(paints.Count() > 0);
        const QImage fresh = WindowPixels(page.page);
        QCOMPARE(fresh.size(), size);

        // The faults shown, then the whole view painted again, as when the
        // page comes back or the window is uncovered.
        const int nBefore = paints.Count();
        QVERIFY(view.UpdateTouchPanel(problems));
        QTRY_VERIFY(paints.Count() > nBefore);
        const int nShown = paints.Count();
        view.viewport()->update();
        QTRY_VERIFY(paints.Count() > nShown);
        QVERIFY(BoardsRect(view).contains(view.OpenAreaItem()->sceneBoundingRect()));
        const QImage shot = WindowPixels(page.page);
        QVERIFY(SaveShot(QPixmap::fromImage(shot), strName + QStringLiteral(".png")));

        const QRect rcViewport = view.viewport()->rect();
        // The dead sensors and their weak partners: each shows its label,
        // none covered by another.
        for (const QString &strId : faulty) {
            const QStringList parts = strId.split(QLatin1Char(':'));
            CIRSensor *pSensor = view.SensorItems().value(parts.at(0)).value(parts.at(1).toInt());
            QVERIFY2(pSensor && pSensor->LabelShown(), qPrintable(strId));
        }
        const QList<QPair<CIRSensor *, QRectF>> shown = ShownLabels(view);
        QCOMPARE(shown.size(), faulty.size() + problems.value(QStringLiteral("SENSOR_WEEK")).size());
        const QString strOverlap = OverlappingLabels(shown);
        QVERIFY2(strOverlap.isEmpty(), qPrintable(QStringLiteral("the labels of %1 overlap").arg(strOverlap)));
        for (const auto &label : shown) {
            const QString strId = label.first->Info().GetID();
            CGraphicsTextItem *pLabel = label.first->Label();
            const QTransform t = pLabel->deviceTransform(view.viewportTransform());
            QVERIFY2(qFuzzyIsNull(t.m12()) && qFuzzyIsNull(t.m21()) && t.m11() > 0 && t.m22() > 0 && t.determinant() > 0,
                     qPrintable(strId + QStringLiteral(": the label is turned or mirrored on screen")));
            const QRect rcBox = t.mapRect(pLabel->boundingRect()).toAlignedRect();
            QVERIFY2(rcViewport.contains(rcBox),
                     qPrintable(QStringLiteral("%1: label at (%2, %3) %4 x %5 outside the view")
                                    .arg(strId).arg(rcBox.x()).arg(rcBox.y()).arg(rcBox.width()).arg(rcBox.height())));
            QVERIFY2(rcBox.height() >= QFontMetrics(pLabel->TextFont()).height(), qPrintable(strId));
            // Drawn there: red text on white.
            const QRect rcInPage(view.viewport()->mapTo(&page.page, rcBox.topLeft()), rcBox.size());
            QVERIFY2(CountColour(shot, rcInPage, Qt::red) > 0, qPrintable(strId));
            QVERIFY2(CountColour(shot, rcInPage, Qt::white) > rcBox.width() * rcBox.height() / 4, qPrintable(strId));
        }

        const int nFaulty = paints.Count();
        QVERIFY(view.UpdateTouchPanel(ProblemMap()));
        QTRY_VERIFY(paints.Count() > nFaulty);
        const QImage cleared = WindowPixels(page.page);
        const int nLeft = Differing(cleared, fresh);
        if (nLeft != 0)
            SaveShot(QPixmap::fromImage(cleared), strName + QStringLiteral("_cleared.png"));
        QCOMPARE(nLeft, 0);
    }

    // Zoomed in with Ctrl and the wheel and moved to one dead LED, the view
    // shows that LED's label beside it, and none of the sensors out of
    // sight (moved into the view, such a label would stand beside sensors
    // it does not name).
    void zoomedIn()
    {
        CPanelRig rig;
        rig.panel.Edit([](CEmulatedPanel::Model &m) {
            LargeFrame(m);
            m.sensorAdc.insert(QStringLiteral("Bottom:3"), 0);
            m.sensorAdc.insert(QStringLiteral("Bottom:200"), 0);
        });
        QCOMPARE(CodeHex(rig.hw.StartTest(0)), CodeHex(0));
        ProblemMap problems;
        QCOMPARE(rig.hw.GetErrors(problems), 0);
        CHardwareInfo info = rig.hw.GetHardwareInfo();
        SPage page(&info, QSize(800, 480));
        CTouchPanelView &view = *page.view;
        QVERIFY(page.Show());
        QVERIFY(view.UpdateTouchPanel(problems));
        CIRSensor *pNear = view.SensorItems().value(QStringLiteral("Bottom")).value(200);
        CIRSensor *pFar = view.SensorItems().value(QStringLiteral("Bottom")).value(3);
        QVERIFY(pNear && pFar && pNear->LabelShown() && pFar->LabelShown());

        QTest::keyPress(&view, Qt::Key_Control);
        for (int i = 0; i < 20; ++i) {
            const QPointF pt = view.viewport()->rect().center();
            QWheelEvent wheel(pt, view.viewport()->mapToGlobal(pt.toPoint()), QPoint(), QPoint(0, 120), Qt::NoButton,
                              Qt::ControlModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(view.viewport(), &wheel);
        }
        QTest::keyRelease(&view, Qt::Key_Control);
        view.centerOn(pNear);
        const QRectF rcViewport(view.viewport()->rect());
        const auto inSight = [&](const CIRSensor *pSensor) {
            return rcViewport.contains(view.viewportTransform().map(pSensor->scenePos()));
        };
        QVERIFY(inSight(pNear));
        QVERIFY(!inSight(pFar));
        QVERIFY(pNear->LabelShown());
        const QList<QPair<CIRSensor *, QRectF>> shown = ShownLabels(view);
        for (const auto &label : shown) {
            QVERIFY2(inSight(label.first), qPrintable(label.first->Info().GetID()));
            QVERIFY2(rcViewport.contains(label.second), qPrintable(label.first->Info().GetID()));
        }
        const QString strOverlap = OverlappingLabels(shown);
        QVERIFY2(strOverlap.isEmpty(), qPrintable(QStringLiteral("the labels of %1 overlap").arg(strOverlap)));
    }

    // Whole sides at fault on a small screen: every other emitter of the
    // bottom side and every other receiver of the top side dark, so both
    // sides hold sensors in error beside weak ones, far more labels than fit;
    // and one emitter of the left side, whose weak partners have room.
    // The labels shown never overlap and stay inside the view; a weak sensor
    // never takes the room of one in error (the labels in error are the same
    // with the weak ones as without them); a sensor left without its label
    // still names itself in its tool tip. Every shown label can be read.
    void crowdedSides()
    {
        CPanelRig rig;
        rig.panel.Edit([](CEmulatedPanel::Model &m) {
            LargeFrame(m);
            for (int i = 0; i < m.nX; ++i)
                m.sensorAdc.insert(QStringLiteral("%1:%2").arg(i % 2 ? "Top" : "Bottom").arg(i), 0);
            m.sensorAdc.insert(QStringLiteral("Left:100"), 0);
        });
        QCOMPARE(CodeHex(rig.hw.StartTest(0)), CodeHex(0));
        ProblemMap problems;
        QCOMPARE(rig.hw.GetErrors(problems), 0);
        CHardwareInfo info = rig.hw.GetHardwareInfo();
        SPage page(&info, QSize(800, 480));
        CTouchPanelView &view = *page.view;
        CPaintCount paints(view.viewport());
        QVERIFY(page.Show());

        ProblemMap errorsOnly = problems;
        errorsOnly.remove(QStringLiteral("SENSOR_WEEK"));
        QVERIFY(view.UpdateTouchPanel(errorsOnly));
        const QMap<QString, bool> errorsAlone = FaultyLabels(view, 2);
        QVERIFY(view.UpdateTouchPanel(problems));
        const QMap<QString, bool> errors = FaultyLabels(view, 2);
        const QMap<QString, bool> weak = FaultyLabels(view, 1);
        QCOMPARE(errors.size(), problems.value(QStringLiteral("SENSOR_ERROR")).size());
        QCOMPARE(weak.size(), problems.value(QStringLiteral("SENSOR_WEEK")).size());
        QVERIFY2(errors.keys(false).size() > 0 && weak.keys(true).size() > 0,
                 qPrintable(QStringLiteral("%1 labels in error left out, %2 weak ones shown")
                                .arg(errors.keys(false).size()).arg(weak.keys(true).size())));
        QCOMPARE(errors, errorsAlone);

        const QList<QPair<CIRSensor *, QRectF>> shown = ShownLabels(view);
        const QString strOverlap = OverlappingLabels(shown);
        QVERIFY2(strOverlap.isEmpty(), qPrintable(QStringLiteral("the labels of %1 overlap").arg(strOverlap)));
        const QRectF rcViewport(view.viewport()->rect());
        for (const auto &label : shown)
            QVERIFY2(rcViewport.contains(label.second), qPrintable(label.first->Info().GetID()));
        for (const QList<CIRSensor *> &lst : view.SensorItems())
            for (CIRSensor *pSensor : lst)
                QCOMPARE(pSensor->toolTip(), pSensor->Info().GetID());

        // Each shown label can be read: red text on its white box, which the
        // paths at fault running over it leave free.
        const int nBefore = paints.Count();
        view.viewport()->update();
        QTRY_VERIFY(paints.Count() > nBefore);
        const QImage shot = WindowPixels(page.page);
        QVERIFY(SaveShot(QPixmap::fromImage(shot), QStringLiteral("panelview_crowded_800x480.png")));
        for (const auto &label : shown) {
            // The box within its outline.
            const QRect rcBox = label.second.toAlignedRect().adjusted(2, 2, -2, -2);
            const QRect rcInPage(view.viewport()->mapTo(&page.page, rcBox.topLeft()), rcBox.size());
            const QString strId = label.first->Info().GetID();
            QVERIFY2(CountColour(shot, rcInPage, Qt::red) > 0, qPrintable(strId));
            QVERIFY2(CountColour(shot, rcInPage, Qt::white) > rcBox.width() * rcBox.height() / 4, qPrintable(strId));
        }
    }
};

STATION_TEST_MAIN(TestPanelCrossCheck)
#include "tst_panelcrosscheck.moc"
