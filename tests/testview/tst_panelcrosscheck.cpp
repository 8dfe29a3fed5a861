// The panel diagram against what a real test finds: HardwareInterface tests
// an emulated frame with a fault (the layout builds the hardware record, the
// analysis the problem map), the diagram is built from that record and fed
// that map. Exactly the sensors, light paths, boards and connectors at fault
// change, every id of the map names an item of the diagram, and the open area
// lies inside the boards. The large frame with dead LEDs is saved as a
// screenshot.

#include "largeframe.h"
#include "panellooks.h"
#include "panelrig.h"
#include "stationmetatypes.h"
#include "stationresources.h"
#include "testenvironment.h"

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

    // The large frame, as the real layout draws it, with two dead LEDs.
    void largeFrameScreenshot()
    {
        CPanelRig rig;
        rig.panel.Edit([](CEmulatedPanel::Model &m) {
            LargeFrame(m);
            m.sensorAdc.insert(QStringLiteral("Bottom:300"), 0);
            m.sensorAdc.insert(QStringLiteral("Left:100"), 0);
        });
        QCOMPARE(CodeHex(rig.hw.StartTest(0)), CodeHex(0));
        ProblemMap problems;
        QCOMPARE(rig.hw.GetErrors(problems), 0);
        QCOMPARE(problems.value(QStringLiteral("SENSOR_ERROR")), (QList<QString>{"Bottom:300", "Left:100"}));

        SPage page(&rig.hw.GetHardwareInfo(), QSize(800, 480));
        CTouchPanelView &view = *page.view;
        QCOMPARE(view.LightItems().size(), 2816);
        QVERIFY(page.Show());
        QVERIFY(view.UpdateTouchPanel(problems));
        QVERIFY(BoardsRect(view).contains(view.OpenAreaItem()->sceneBoundingRect()));
        const QPixmap shot = page.page.grab();
        QVERIFY(SaveShot(shot, QStringLiteral("panelview_large_frame_dead_leds.png")));
        // The top and bottom edges around the dead bottom LED, four times larger.
        const int x = shot.width() / 2 - 60;
        QVERIFY(SaveShot(shot.copy(x, 0, 120, 40).scaled(480, 160), QStringLiteral("panelview_large_frame_top_detail.png")));
        QVERIFY(SaveShot(shot.copy(x, shot.height() - 40, 120, 40).scaled(480, 160),
                         QStringLiteral("panelview_large_frame_bottom_detail.png")));
    }
};

STATION_TEST_MAIN(TestPanelCrossCheck)
#include "tst_panelcrosscheck.moc"
