// Sensor, board and connector analysis and the result code, on hand-built
// panels and problem maps.

#include "faketouch.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "testpanel.h"

#include <QTranslator>
#include <QtTest>

namespace {

using Names = QList<QString>;
using Sick = QMap<QString, uint32_t>;
const QString kAbsent = QStringLiteral("<absent>");

QList<CPcbInfo> Boards(const QList<int> &lstCounts)
{
    QList<CPcbInfo> lstBoards;
    for (int n : lstCounts) {
        CPcbInfo pcb;
        QList<CSensorInfo> lstLeds;
        for (int k = 0; k < n; ++k)
            lstLeds.append(CSensorInfo());
        pcb.SetLeds(lstLeds);
        lstBoards.append(pcb);
    }
    return lstBoards;
}

Names Seq(const QString &strSide, int nFrom, int nTo)
{
    Names lst;
    for (int n = nFrom; n <= nTo; ++n)
        lst.append(QStringLiteral("%1:%2").arg(strSide).arg(n));
    return lst;
}

// The list under a key, or [<absent>] when the map lacks the key.
Names Entry(const ProblemMap &map, const QString &strKey)
{
    return map.contains(strKey) ? map.value(strKey) : Names{kAbsent};
}

// Panel of the end-to-end cases: Bottom 3+3 -> Top 3+3 (axis X, 6 LEDs),
// Right 2+2 -> Left 2+2 (axis Y, 4 LEDs), directions T0 (straight), T1 (+1)
// and T2 (-1); 20 sensors.
void BuildPanel(CFakeTouch &touch)
{
    TestPanelShape shape;
    shape.lstBottom = {3, 3};
    shape.lstTop = {3, 3};
    shape.lstLeft = {2, 2};
    shape.lstRight = {2, 2};
    shape.lstOffsets = {0, 1, -1};
    CTestPanel::Build(touch, shape);
}

// Newest ADC and AGC frames of every direction: healthy, except the LEDs
// whose emitter or receiver is listed ("X:e4" emitter 4 of X, "Y:r0"
// receiver 0 of Y) or which are named ("Y-T1:2" LED 2 of Y-T1), which get
// the ADC value given.
void SetFrames(CFakeTouch &touch, const Sick &mapSick)
{
    const int offsets[] = {0, 1, -1};
    for (auto itAxis = touch.GetAxisSignalMap().cbegin(); itAxis != touch.GetAxisSignalMap().cend(); ++itAxis) {
        const int nLeds = int(itAxis->GetMaxSignal());
        for (int d = 0; d < 3; ++d) {
            SignalFrame adc = CTestPanel::Uniform(uint32_t(nLeds), CTestPanel::kAdcOk);
            for (int i = 0; i < nLeds; ++i) {
                const int r = qBound(0, i + offsets[d], nLeds - 1);
                const QString strE = QStringLiteral("%1:e%2").arg(itAxis.key()).arg(i);
                const QString strR = QStringLiteral("%1:r%2").arg(itAxis.key()).arg(r);
                if (mapSick.contains(strE))
                    adc[i] = mapSick.value(strE);
                if (mapSick.contains(strR))
                    adc[i] = qMin(adc[i], mapSick.value(strR));
                const QString strLed = itAxis.key() + QStringLiteral("-T%1:%2").arg(d).arg(i);
                if (mapSick.contains(strLed))
                    adc[i] = mapSick.value(strLed);
            }
            const QString strKey = itAxis.key() + QStringLiteral("-T%1").arg(d);
            touch.Signals(QStringLiteral("ADC"))[strKey] = {adc};
            touch.Signals(QStringLiteral("AGC"))[strKey] = {CTestPanel::Uniform(uint32_t(nLeds), CTestPanel::kAgcOk)};
        }
    }
}

} // namespace

class TestAnalysisFault : public QObject
{
    Q_OBJECT

private slots:
    void sensors_data();
    void sensors();
    void boards_data();
    void boards();
    void connectors_data();
    void connectors();
    void resultCode_data();
    void resultCode();
    void resultMessagesInChinese_data();
    void resultMessagesInChinese();
    void endToEnd_data();
    void endToEnd();
    void givenMapSkipsLightCheck();
};

void TestAnalysisFault::sensors_data()
{
    QTest::addColumn<Names>("relations");
    QTest::addColumn<Names>("dark");
    QTest::addColumn<Names>("weak");
    QTest::addColumn<QString>("key"); // "" for no finding

    const Names abc{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")};
    QTest::newRow("all three dark") << abc << abc << Names() << "SENSOR_ERROR";
    QTest::newRow("two of three dark") << abc << Names({"a", "c"}) << Names() << "SENSOR_WEEK";
    QTest::newRow("one weak") << abc << Names() << Names{"b"} << "SENSOR_WEEK";
    QTest::newRow("all weak") << abc << Names() << abc << "SENSOR_WEEK";
    QTest::newRow("two dark one weak") << abc << Names({"a", "b"}) << Names{"c"} << "SENSOR_WEEK";
    QTest::newRow("none") << abc << Names{"x"} << Names{"y"} << "";
    QTest::newRow("dark and weak at once") << Names{"a"} << Names{"a"} << Names{"a"} << "SENSOR_ERROR";
    QTest::newRow("repeated relation, dark") << Names({"a", "a"}) << Names{"a"} << Names() << "SENSOR_ERROR";
    QTest::newRow("repeated relation, one dark") << Names({"a", "a", "b"}) << Names{"a"} << Names() << "SENSOR_WEEK";
    QTest::newRow("repeated problem entry counts once") << Names({"a", "b"}) << Names({"a", "a"}) << Names() << "SENSOR_WEEK";
    QTest::newRow("no relations") << Names() << Names{"a"} << Names{"a"} << "";
}

// The sensor under test is the second of the second Left board (Left:3);
// the other sensors have no relations and are never reported.
void TestAnalysisFault::sensors()
{
    QFETCH(Names, relations);
    QFETCH(Names, dark);
    QFETCH(Names, weak);
    QFETCH(QString, key);
    CFakeTouch touch;
    CHardwareInfo &hw = touch.GetHardwareInfo();
    hw.SetAxis(2, QStringLiteral("Left"), Boards({2, 3}));
    hw.SetAxis(0, QStringLiteral("Bottom"), Boards({2}));
    hw.GetAxisMap()[QStringLiteral("Left")][1].GetLeds()[1].GetRelations() = relations;
    ProblemMap mapProblems{{QStringLiteral("LIGHT_ERROR"), dark}, {QStringLiteral("LIGHT_WEAK"), weak}};
    QCOMPARE(touch.AnalyseSensorError(mapProblems), 0);

    ProblemMap expected{{QStringLiteral("LIGHT_ERROR"), dark}, {QStringLiteral("LIGHT_WEAK"), weak}};
    if (!key.isEmpty())
        expected.insert(key, {QStringLiteral("Left:3")});
    QCOMPARE(mapProblems, expected);

    // Looking the light lists up creates them.
    ProblemMap mapEmpty;
    touch.AnalyseSensorError(mapEmpty);
    QCOMPARE(mapEmpty, (ProblemMap{{QStringLiteral("LIGHT_ERROR"), {}}, {QStringLiteral("LIGHT_WEAK"), {}}}));
}

void TestAnalysisFault::boards_data()
{
    QTest::addColumn<QList<int>>("bottom"); // sensors per board
    QTest::addColumn<Names>("sensorErrors");
    QTest::addColumn<Names>("pcbErrors");

    const QList<int> shape{3, 0, 2, 2};
    QTest::newRow("first board dead, empty board counts dead")
        << shape << Names({"Bottom:0", "Bottom:1", "Bottom:2"}) << Names({"Bottom:0", "Bottom:1"});
    QTest::newRow("one good sensor keeps a board") << shape << Names({"Bottom:0", "Bottom:1"}) << Names{"Bottom:1"};
    QTest::newRow("empty list") << shape << Names() << Names{"Bottom:1"};
    QTest::newRow("last board") << shape << Names({"Bottom:6", "Bottom:5"}) << Names({"Bottom:1", "Bottom:3"});
    QTest::newRow("repeated sensor is one") << shape << Names({"Bottom:5", "Bottom:5"}) << Names{"Bottom:1"};
    QTest::newRow("leading zero is another text") << shape << Names({"Bottom:05", "Bottom:6"}) << Names{"Bottom:1"};
    QTest::newRow("other side") << shape << Names({"Top:5", "Top:6", "Bottomx:5", "Bottom:6x"}) << Names{"Bottom:1"};
    QTest::newRow("trailing empty board is not visited") << QList<int>({2, 0}) << Names({"Bottom:0", "Bottom:1"})
                                                         << Names{"Bottom:0"};
    QTest::newRow("two dead boards") << QList<int>({2, 2}) << Names({"Bottom:3", "Bottom:0", "Bottom:2", "Bottom:1"})
                                     << Names({"Bottom:0", "Bottom:1"});
}

void TestAnalysisFault::boards()
{
    QFETCH(QList<int>, bottom);
    QFETCH(Names, sensorErrors);
    QFETCH(Names, pcbErrors);
    CFakeTouch touch;
    touch.GetHardwareInfo().SetAxis(0, QStringLiteral("Bottom"), Boards(bottom));
    ProblemMap mapProblems{{QStringLiteral("SENSOR_ERROR"), sensorErrors}};
    QCOMPARE(touch.AnalysePcbError(mapProblems), 0);
    QCOMPARE(mapProblems.value(QStringLiteral("PCB_ERROR")), pcbErrors);
    QCOMPARE(mapProblems.value(QStringLiteral("SENSOR_ERROR")), sensorErrors);
}

void TestAnalysisFault::connectors_data()
{
    QTest::addColumn<QList<int>>("boards"); // boards of Bottom (ID 0), Top (1), Left (2), Right (3); -1: ID absent
    QTest::addColumn<Names>("pcb");         // [<absent>]: no PCB_ERROR key
    QTest::addColumn<Names>("pcbAfter");
    QTest::addColumn<Names>("connector");   // [] : key absent
    QTest::addColumn<Names>("pro1");
    QTest::addColumn<Names>("pro2");

    const QList<int> four{4, 4, 3, 3};
    QTest::newRow("no board error") << four << Names{kAbsent} << Names{kAbsent} << Names() << Names() << Names();
    QTest::newRow("empty board list") << four << Names() << Names() << Names() << Names() << Names();
    QTest::newRow("Top: far two boards dead") << four << Names({"Top:2", "Top:3"}) << Names() << Names{"Top:1-Top:2"}
                                              << Names() << Names();
    QTest::newRow("Top: only a middle board dead") << four << Names{"Top:1"} << Names{"Top:1"} << Names() << Names()
                                                   << Names();
    QTest::newRow("Top dead, last Left board alive")
        << four << (Seq("Top", 0, 3) << "Bottom:1" << "Bottom:2" << "Bottom:9") << Names{"Bottom:9"}
        << Names{"Left:2-Top:0"} << Names() << Names();
    QTest::newRow("Top dead, far Left board dead") << four << (Seq("Top", 0, 3) << "Left:2") << Names()
                                                   << Names{"Left:1-Left:2"} << Names() << Names();
    QTest::newRow("whole first chain dead") << four << (Seq("Top", 0, 3) + Seq("Left", 0, 2) << "Right:1") << Names{kAbsent}
                                            << Names{"Bottom:0-Left:0"} << Names({"Left:2-Top:0", "Left:1-Left:2", "Left:0-Left:1"})
                                            << Names({"Bottom:3-Right:0", "Bottom:2-Bottom:3", "Bottom:1-Bottom:2", "Bottom:0-Bottom:1"});
    QTest::newRow("Right: far board dead") << four << Names{"Right:2"} << Names() << Names{"Right:1-Right:2"} << Names()
                                           << Names();
    QTest::newRow("Right dead, last Bottom board alive") << four << (Seq("Right", 0, 2) << "Left:0" << "Top:1")
                                                         << Names{"Top:1"} << Names{"Bottom:3-Right:0"} << Names() << Names();
    QTest::newRow("Right dead, far Bottom boards dead") << four << (Seq("Right", 0, 2) << "Bottom:3" << "Bottom:2")
                                                        << Names() << Names{"Bottom:1-Bottom:2"} << Names() << Names();
    QTest::newRow("whole second chain dead") << four << (Seq("Right", 0, 2) + Seq("Bottom", 0, 3)) << Names{kAbsent}
                                             << Names{"Bottom:0-Left:0"} << Names({"Left:2-Top:0", "Left:1-Left:2", "Left:0-Left:1"})
                                             << Names({"Bottom:3-Right:0", "Bottom:2-Bottom:3", "Bottom:1-Bottom:2", "Bottom:0-Bottom:1"});
    QTest::newRow("both chains broken at their ends") << four << Names({"Top:3", "Right:2"}) << Names()
                                                      << Names({"Top:2-Top:3", "Right:1-Right:2"}) << Names() << Names();
    QTest::newRow("IDs 0 and 1 only, both dead") << QList<int>({2, 2, -1, -1}) << (Seq("Top", 0, 1) + Seq("Bottom", 0, 1))
                                                 << Names{kAbsent} << Names{"Bottom:0-Top:0"} << Names() << Names();
    QTest::newRow("IDs 0 and 1 only, Top dead") << QList<int>({2, 2, -1, -1}) << Seq("Top", 0, 1) << Names{kAbsent}
                                                << Names{"Bottom:0-Top:0"} << Names() << Names();
    QTest::newRow("IDs 2 and 3 only, Right dead") << QList<int>({-1, -1, 3, 3}) << (Seq("Right", 0, 2) << "Left:1")
                                                  << Names{kAbsent} << Names{"Left:0-Right:0"} << Names() << Names();
    QTest::newRow("repeated dead boards all leave") << four << Names({"Top:3", "Top:3", "Top:2"}) << Names()
                                                    << Names{"Top:1-Top:2"} << Names() << Names();
    QTest::newRow("a side without boards is dead") << QList<int>({4, 4, 0, 3}) << Seq("Top", 0, 3) << Names{kAbsent}
                                                   << Names{"Bottom:0-Left:0"} << Names{"Left:-1-Top:0"}
                                                   << Names({"Bottom:3-Right:0", "Bottom:2-Bottom:3", "Bottom:1-Bottom:2", "Bottom:0-Bottom:1"});
}

void TestAnalysisFault::connectors()
{
    QFETCH(QList<int>, boards);
    QFETCH(Names, pcb);
    QFETCH(Names, pcbAfter);
    QFETCH(Names, connector);
    QFETCH(Names, pro1);
    QFETCH(Names, pro2);

    CFakeTouch touch;
    const char *names[] = {"Bottom", "Top", "Left", "Right"};
    for (int id = 0; id < 4; ++id) {
        if (boards[id] < 0)
            continue;
        QList<int> lstCounts;
        for (int b = 0; b < boards[id]; ++b)
            lstCounts.append(2);
        touch.GetHardwareInfo().SetAxis(uint32_t(id), QString::fromLatin1(names[id]), Boards(lstCounts));
    }
    ProblemMap mapProblems{{QStringLiteral("SENSOR_ERROR"), {QStringLiteral("Top:0")}}};
    if (pcb != Names{kAbsent})
        mapProblems.insert(QStringLiteral("PCB_ERROR"), pcb);

    QCOMPARE(touch.AnalyseConnectorError(mapProblems), 0);
    QCOMPARE(Entry(mapProblems, QStringLiteral("PCB_ERROR")), pcbAfter);
    QCOMPARE(Entry(mapProblems, QStringLiteral("CONNECTOR_ERROR")), connector.isEmpty() ? Names{kAbsent} : connector);
    QCOMPARE(Entry(mapProblems, QStringLiteral("CONNECTOR_ERROR_PRO1")), pro1.isEmpty() ? Names{kAbsent} : pro1);
    QCOMPARE(Entry(mapProblems, QStringLiteral("CONNECTOR_ERROR_PRO2")), pro2.isEmpty() ? Names{kAbsent} : pro2);
    QCOMPARE(mapProblems.value(QStringLiteral("SENSOR_ERROR")), Names{QStringLiteral("Top:0")});
}

void TestAnalysisFault::resultCode_data()
{
    QTest::addColumn<ProblemMap>("problems");
    QTest::addColumn<int>("sensors"); // sensors of the hardware description
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("message");

    const QString ng1 = QStringLiteral("Some connectors are damaged or not connected properly!");
    const QString ng5 = QStringLiteral("Some PCBAs are damaged!");
    const QString ng2 = QStringLiteral("Some emitters or detectors are damaged!");
    const QString ng4 = QStringLiteral("Some emitters or detectors weak, but The possible cause is the deformation of the machine!");
    const QString ng3 = QStringLiteral("Some emitters or detectors are weak!");
    auto weak = [](int n) { return Seq(QStringLiteral("Top"), 0, n - 1); };

    QTest::newRow("no faults: unchanged") << ProblemMap() << 100 << "keep" << "keep message";
    QTest::newRow("light only: unchanged") << ProblemMap{{"LIGHT_ERROR", {"Bottom:0-Top:0"}}, {"LIGHT_WEAK", {"x"}}} << 100
                                           << "keep" << "keep message";
    QTest::newRow("connector beats everything")
        << ProblemMap{{"CONNECTOR_ERROR", {"Top:0-Top:1"}}, {"PCB_ERROR", {"Top:1"}}, {"SENSOR_ERROR", {"Top:3"}},
                      {"SENSOR_WEEK", weak(50)}}
        << 100 << "NG1" << ng1;
    QTest::newRow("PRO lists alone are no connector fault")
        << ProblemMap{{"CONNECTOR_ERROR_PRO1", {"Left:1-Top:0"}}, {"SENSOR_WEEK", weak(1)}} << 100 << "NG3" << ng3;
    QTest::newRow("board beats sensors")
        << ProblemMap{{"CONNECTOR_ERROR", {}}, {"PCB_ERROR", {"Top:1"}}, {"SENSOR_ERROR", {"Top:3"}}, {"SENSOR_WEEK", weak(50)}}
        << 100 << "NG5" << ng5;
    QTest::newRow("dead sensor beats weak ones")
        << ProblemMap{{"PCB_ERROR", {}}, {"SENSOR_ERROR", {"Top:3"}}, {"SENSOR_WEEK", weak(50)}} << 100 << "NG2" << ng2;
    QTest::newRow("11 weak of 100") << ProblemMap{{"SENSOR_ERROR", {}}, {"SENSOR_WEEK", weak(11)}} << 100 << "NG4" << ng4;
    QTest::newRow("10 weak of 100") << ProblemMap{{"SENSOR_WEEK", weak(10)}} << 100 << "NG3" << ng3;
    QTest::newRow("1 weak of 100") << ProblemMap{{"SENSOR_WEEK", weak(1)}} << 100 << "NG3" << ng3;
    QTest::newRow("3 weak of 20") << ProblemMap{{"SENSOR_WEEK", weak(3)}} << 20 << "NG4" << ng4;
    QTest::newRow("2 weak of 20") << ProblemMap{{"SENSOR_WEEK", weak(2)}} << 20 << "NG3" << ng3;
    QTest::newRow("1 weak of 9") << ProblemMap{{"SENSOR_WEEK", weak(1)}} << 9 << "NG4" << ng4;
    QTest::newRow("1 weak of 10") << ProblemMap{{"SENSOR_WEEK", weak(1)}} << 10 << "NG3" << ng3;
    QTest::newRow("1 weak, no sensors") << ProblemMap{{"SENSOR_WEEK", weak(1)}} << 0 << "NG4" << ng4;
    QTest::newRow("empty weak list: unchanged") << ProblemMap{{"SENSOR_WEEK", {}}, {"PCB_ERROR", {}}} << 100 << "keep"
                                                << "keep message";
}

// The first rule that holds, in the order NG1, NG5, NG2, NG4, NG3.
void TestAnalysisFault::resultCode()
{
    QFETCH(ProblemMap, problems);
    QFETCH(int, sensors);
    QFETCH(QString, code);
    QFETCH(QString, message);
    CFakeTouch touch;
    QList<int> lstCounts;
    for (int n = sensors; n > 0; n -= 7)
        lstCounts.append(qMin(n, 7));
    touch.GetHardwareInfo().SetAxis(1, QStringLiteral("Top"), Boards(lstCounts));
    QCOMPARE(touch.GetHardwareInfo().GetTotalSensorCount(), uint32_t(sensors));
    touch.SetCannedProblems(problems);
    QString strCode = QStringLiteral("keep");
    QString strMessage = QStringLiteral("keep message");
    QCOMPARE(touch.GetTestResultCode(strCode, strMessage), 0);
    QCOMPARE(strCode, code);
    QCOMPARE(strMessage, message);
}

// With the station's Chinese catalogue the five verdicts read exactly so.
void TestAnalysisFault::resultMessagesInChinese_data()
{
    QTest::addColumn<ProblemMap>("problems");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("NG1") << ProblemMap{{"CONNECTOR_ERROR", {"Top:0-Top:1"}}} << "NG1"
                         << QString::fromUtf8("连接器失效或连接异常！");
    QTest::newRow("NG5") << ProblemMap{{"PCB_ERROR", {"Top:1"}}} << "NG5" << QString::fromUtf8("PCB损坏！");
    QTest::newRow("NG2") << ProblemMap{{"SENSOR_ERROR", {"Top:3"}}} << "NG2" << QString::fromUtf8("接收或发射灯损坏！");
    QTest::newRow("NG4") << ProblemMap{{"SENSOR_WEEK", Seq(QStringLiteral("Top"), 0, 2)}} << "NG4"
                         << QString::fromUtf8("接收或发射灯信号弱，可能原因为整机形变！");
    QTest::newRow("NG3") << ProblemMap{{"SENSOR_WEEK", {"Top:0"}}} << "NG3"
                         << QString::fromUtf8("接收或发射灯信号弱！");
}

void TestAnalysisFault::resultMessagesInChinese()
{
    QFETCH(ProblemMap, problems);
    QFETCH(QString, code);
    QFETCH(QString, message);
    InitStationResources();
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(":/Language/CorvaneFactoryApp_zh.qm")));
    QCoreApplication::installTranslator(&translator);
    CFakeTouch touch;
    touch.GetHardwareInfo().SetAxis(1, QStringLiteral("Top"), Boards({7, 7, 7}));
    touch.SetCannedProblems(problems);
    QString strCode;
    QString strMessage;
    const int32_t r = touch.GetTestResultCode(strCode, strMessage);
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(r, 0);
    QCOMPARE(strCode, code);
    QCOMPARE(strMessage, message);
}

void TestAnalysisFault::endToEnd_data()
{
    QTest::addColumn<Sick>("sick"); // see SetFrames
    QTest::addColumn<ProblemMap>("problems");
    QTest::addColumn<QString>("code");

    QTest::newRow("healthy") << Sick() << ProblemMap() << "keep";
    QTest::newRow("dead emitter: sensor")
        << Sick{{"X:e1", 0}}
        << ProblemMap{{"LIGHT_ERROR", {"Bottom:1-Top:1", "Bottom:1-Top:2", "Bottom:1-Top:0"}},
                      {"LIGHT_WEAK", {}},
                      {"SENSOR_ERROR", {"Bottom:1"}},
                      {"SENSOR_WEEK", {"Top:0", "Top:1", "Top:2"}}}
        << "NG2";
    QTest::newRow("one weak light path: two weak sensors of 20")
        << Sick{{"Y-T0:3", 30}}
        << ProblemMap{{"LIGHT_ERROR", {}}, {"LIGHT_WEAK", {"Right:3-Left:3"}}, {"SENSOR_WEEK", {"Left:3", "Right:3"}}}
        << "NG3";
    QTest::newRow("two weak light paths: three weak sensors of 20")
        << Sick{{"Y-T0:3", 30}, {"Y-T1:2", 30}}
        << ProblemMap{{"LIGHT_ERROR", {}},
                      {"LIGHT_WEAK", {"Right:3-Left:3", "Right:2-Left:3"}},
                      {"SENSOR_WEEK", {"Left:3", "Right:2", "Right:3"}}}
        << "NG4";
    QTest::newRow("weak receiver")
        << Sick{{"Y:r3", 30}}
        << ProblemMap{{"LIGHT_ERROR", {}},
                      {"LIGHT_WEAK", {"Right:3-Left:3", "Right:2-Left:3", "Right:3-Left:3"}},
                      {"SENSOR_WEEK", {"Left:3", "Right:2", "Right:3"}}}
        << "NG4";
    QTest::newRow("dead emitter board")
        << Sick{{"X:e3", 0}, {"X:e4", 0}, {"X:e5", 0}}
        << ProblemMap{{"LIGHT_ERROR",
                       {"Bottom:3-Top:3", "Bottom:4-Top:4", "Bottom:5-Top:5", "Bottom:3-Top:4", "Bottom:4-Top:5",
                        "Bottom:5-Top:5", "Bottom:3-Top:2", "Bottom:4-Top:3", "Bottom:5-Top:4"}},
                      {"LIGHT_WEAK", {}},
                      {"SENSOR_ERROR", {"Bottom:3", "Bottom:4", "Bottom:5", "Top:4", "Top:5"}},
                      {"SENSOR_WEEK", {"Top:2", "Top:3"}},
                      {"PCB_ERROR", {"Bottom:1"}}}
        << "NG5";
    QTest::newRow("dead receiver board: connector before it")
        << Sick{{"X:r3", 0}, {"X:r4", 0}, {"X:r5", 0}}
        << ProblemMap{{"LIGHT_ERROR",
                       {"Bottom:3-Top:3", "Bottom:4-Top:4", "Bottom:5-Top:5", "Bottom:2-Top:3", "Bottom:3-Top:4",
                        "Bottom:4-Top:5", "Bottom:5-Top:5", "Bottom:4-Top:3", "Bottom:5-Top:4"}},
                      {"LIGHT_WEAK", {}},
                      {"SENSOR_ERROR", {"Bottom:4", "Bottom:5", "Top:3", "Top:4", "Top:5"}},
                      {"SENSOR_WEEK", {"Bottom:2", "Bottom:3"}},
                      {"PCB_ERROR", {}},
                      {"CONNECTOR_ERROR", {"Top:0-Top:1"}}}
        << "NG1";

    Sick allReceivers;
    for (int r = 0; r < 6; ++r)
        allReceivers.insert(QStringLiteral("X:r%1").arg(r), 0);
    for (int r = 0; r < 4; ++r)
        allReceivers.insert(QStringLiteral("Y:r%1").arg(r), 0);
    QStringList lstDarkX;
    for (int d : {0, 1, -1})
        for (int i = 0; i < 6; ++i)
            lstDarkX << QStringLiteral("Bottom:%1-Top:%2").arg(i).arg(qBound(0, i + d, 5));
    QStringList lstDarkY;
    for (int d : {0, 1, -1})
        for (int i = 0; i < 4; ++i)
            lstDarkY << QStringLiteral("Right:%1-Left:%2").arg(i).arg(qBound(0, i + d, 3));
    QTest::newRow("whole dead chain")
        << allReceivers
        << ProblemMap{{"LIGHT_ERROR", lstDarkX + lstDarkY},
                      {"LIGHT_WEAK", {}},
                      {"SENSOR_ERROR", Seq("Bottom", 0, 5) + Seq("Left", 0, 3) + Seq("Right", 0, 3) + Seq("Top", 0, 5)},
                      {"CONNECTOR_ERROR", {"Bottom:0-Left:0"}},
                      {"CONNECTOR_ERROR_PRO1", {"Left:1-Top:0", "Left:0-Left:1"}},
                      {"CONNECTOR_ERROR_PRO2", {"Bottom:1-Right:0", "Bottom:0-Bottom:1"}}}
        << "NG1";
}

// From the newest frames to the problem map and the result code.
void TestAnalysisFault::endToEnd()
{
    QFETCH(Sick, sick);
    QFETCH(ProblemMap, problems);
    QFETCH(QString, code);
    CFakeTouch touch;
    BuildPanel(touch);
    QCOMPARE(touch.GetHardwareInfo().GetTotalSensorCount(), 20u);
    SetFrames(touch, sick);
    touch.SetFrameNumber(12);

    ProblemMap mapProblems;
    uint32_t nFrame = 0;
    QCOMPARE(touch.GetErrors(mapProblems, &nFrame), 0);
    QCOMPARE(nFrame, 12u);
    QCOMPARE(mapProblems, problems);

    QString strCode = QStringLiteral("keep");
    QString strMessage;
    QCOMPARE(touch.GetTestResultCode(strCode, strMessage), 0);
    QCOMPARE(strCode, code);
}

void TestAnalysisFault::givenMapSkipsLightCheck()
{
    CFakeTouch touch;
    BuildPanel(touch);
    SetFrames(touch, {{QStringLiteral("X:e0"), 0}});
    ProblemMap mapProblems{{QStringLiteral("SENSOR_ERROR"), Seq(QStringLiteral("Bottom"), 3, 5)}};
    QCOMPARE(touch.GetErrors(mapProblems), 0);
    QCOMPARE(mapProblems, (ProblemMap{{QStringLiteral("LIGHT_ERROR"), {}},
                                      {QStringLiteral("LIGHT_WEAK"), {}},
                                      {QStringLiteral("SENSOR_ERROR"), Seq(QStringLiteral("Bottom"), 3, 5)},
                                      {QStringLiteral("PCB_ERROR"), {QStringLiteral("Bottom:1")}}}));
}

STATION_TEST_MAIN_CORE(TestAnalysisFault)
#include "tst_analysis_fault.moc"
