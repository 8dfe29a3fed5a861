// LED-level analysis: zones, per-LED windows, weak-signal tolerances, dark and
// weak LEDs, fluctuation frames and the real-time windows.

#include "faketouch.h"
#include "testenvironment.h"
#include "testpanel.h"

#include <QtTest>

namespace {

using Values = QList<uint32_t>;
using Frames = QList<SignalFrame>;

const QString kX = QStringLiteral("X");
const QString kT0 = QStringLiteral("T0");
const QString kAdc = QStringLiteral("ADC");
const QString kAgc = QStringLiteral("AGC");

// Axis X of 30 LEDs in three zones (0-9, 10-19, 20-29) with ADC windows
// [10, 20], [30, 40], [50, 60]; labels "L<i>", relations "R<i>".
void BuildZonedAxis(CTouchBase &touch)
{
    CAxisSignalInfo &axis = touch.GetAxisSignalMap()[kX];
    axis.SetMaxSignal(30);
    axis.SetDivide({9, 19});
    axis.AddTestStandard(kT0, kAdc, 10, 20);
    axis.AddTestStandard(kT0, kAdc, 30, 40);
    axis.AddTestStandard(kT0, kAdc, 50, 60);
    for (int i = 0; i < 30; ++i) {
        axis.AddSignalLabel(kT0, QStringLiteral("L%1").arg(i));
        axis.AddSignalRelation(kT0, QStringLiteral("R%1").arg(i));
    }
}

SignalFrame ZonedFrame()
{
    SignalFrame frame;
    for (int i = 0; i < 30; ++i)
        frame.append(i < 10 ? 15 : i < 20 ? 35 : 55);
    return frame;
}

// Axis X of 4 LEDs, one zone: ADC window [50, 200], ADC problem range
// [15, 20], AGC window [10, 100]; relations "Bottom:<i>-Top:<i>".
void BuildLightAxis(CTouchBase &touch)
{
    CAxisSignalInfo &axis = touch.GetAxisSignalMap()[kX];
    axis.SetMaxSignal(4);
    axis.AddTestStandard(kT0, kAdc, 50, 200);
    axis.AddProblemStandard(kT0, kAdc, 15, 20);
    axis.AddTestStandard(kT0, kAgc, 10, 100);
    for (int i = 0; i < 4; ++i) {
        axis.AddSignalLabel(kT0, QStringLiteral("T0:%1-R0:%1").arg(i));
        axis.AddSignalRelation(kT0, QStringLiteral("Bottom:%1-Top:%1").arg(i));
    }
}

} // namespace

class TestAnalysisLed : public QObject
{
    Q_OBJECT

private slots:
    void zones_data();
    void zones();
    void zoneBoundaries_data();
    void zoneBoundaries();
    void errorTexts();
    void shortRecordsAreSkipped();
    void hugeLedCountStaysBounded();
    void analyseSignalUsesNewestFrame();
    void weakSignalLimit_data();
    void weakSignalLimit();
    void lightThreshold_data();
    void lightThreshold();
    void lightThresholdZonesAndRepeats();
    void lightThresholdShortRecords();
    void fluctuation_data();
    void fluctuation();
    void fluctuationCountIsCapped();
    void untFromAdc();
    void trimFrames_data();
    void trimFrames();
    void latestSignal();
    void realTimeWindows();
    void realTimeFromEmptyMaps();
    void realTimeFailure_data();
    void realTimeFailure();
    void realTimeFindsDarkLed();
};

void TestAnalysisLed::zones_data()
{
    QTest::addColumn<uint>("maxSignal");
    QTest::addColumn<Values>("divide");
    QTest::addColumn<QList<uint>>("zones"); // zone of each LED

    QList<uint> three;
    for (uint i = 0; i < 30; ++i)
        three.append(i / 10);
    QTest::newRow("9, 19 of 30: inclusive ends") << 30u << Values({9, 19}) << three;
    QTest::newRow("no divide: one zone") << 5u << Values() << QList<uint>({0, 0, 0, 0, 0});
    QTest::newRow("end at first LED") << 5u << Values{0} << QList<uint>({0, 1, 1, 1, 1});
    QTest::newRow("end at last LED") << 5u << Values{4} << QList<uint>({0, 0, 0, 0, 0});
    QTest::newRow("end past the axis") << 5u << Values{10} << QList<uint>({0, 0, 0, 0, 0});
    QTest::newRow("largest end") << 5u << Values{4294967295u} << QList<uint>({0, 0, 0, 0, 0});
    QTest::newRow("end below current LED: empty zone") << 6u << Values({3, 1, 4}) << QList<uint>({0, 0, 0, 0, 2, 3});
    QTest::newRow("repeated ends") << 4u << Values({1, 1, 1}) << QList<uint>({0, 0, 3, 3});
    QTest::newRow("no LEDs") << 0u << Values{1} << QList<uint>();
    QTest::newRow("one LED") << 1u << Values() << QList<uint>{0};
    QTest::newRow("more ends than LEDs") << 3u << Values({0, 1, 2, 3, 4, 5}) << QList<uint>({0, 1, 2});
}

// Every LED is visited once, in order, and the walk ends at the LED count
// whatever the zone ends say.
void TestAnalysisLed::zones()
{
    QFETCH(uint, maxSignal);
    QFETCH(Values, divide);
    QFETCH(QList<uint>, zones);
    QList<uint> lstLeds;
    QList<uint> lstZones;
    CTouchBase::WalkSegments(maxSignal, divide, [&](uint32_t i, uint32_t s) {
        lstLeds.append(i);
        lstZones.append(s);
    });
    QCOMPARE(lstZones, zones);
    for (int i = 0; i < lstLeds.size(); ++i)
        QCOMPARE(lstLeds.at(i), uint(i));
}

void TestAnalysisLed::zoneBoundaries_data()
{
    QTest::addColumn<int>("led");
    QTest::addColumn<uint>("value");
    QTest::addColumn<bool>("out");
    QTest::newRow("0 at lo") << 0 << 10u << false;
    QTest::newRow("0 below lo") << 0 << 9u << true;
    QTest::newRow("9 at hi of zone 0") << 9 << 20u << false;
    QTest::newRow("9 above hi of zone 0") << 9 << 21u << true;
    QTest::newRow("9 with zone 1 reading") << 9 << 35u << true;
    QTest::newRow("10 with zone 1 reading") << 10 << 35u << false;
    QTest::newRow("10 with zone 0 reading") << 10 << 15u << true;
    QTest::newRow("19 at hi of zone 1") << 19 << 40u << false;
    QTest::newRow("19 with zone 2 reading") << 19 << 55u << true;
    QTest::newRow("20 at lo of zone 2") << 20 << 50u << false;
    QTest::newRow("20 with zone 1 reading") << 20 << 35u << true;
    QTest::newRow("29 at hi") << 29 << 60u << false;
    QTest::newRow("29 above hi") << 29 << 61u << true;
    QTest::newRow("29 largest") << 29 << 4294967295u << true;
    QTest::newRow("29 zero") << 29 << 0u << true;
}

void TestAnalysisLed::zoneBoundaries()
{
    QFETCH(int, led);
    QFETCH(uint, value);
    QFETCH(bool, out);
    CFakeTouch touch;
    BuildZonedAxis(touch);
    SignalFrame frame = ZonedFrame();
    frame[led] = value;
    SignalErrorMap mapErrors;
    QCOMPARE(touch.AnalyseFrame(kX, kT0, kAdc, frame, mapErrors), 0);
    SignalErrorMap expected;
    if (out)
        expected.insert(QStringLiteral("X-T0:[L%1]").arg(led), QStringLiteral("ADC:%1").arg(4ull * value));
    QCOMPARE(mapErrors, expected);
}

void TestAnalysisLed::errorTexts()
{
    CFakeTouch touch;
    BuildZonedAxis(touch);
    CAxisSignalInfo &axis = touch.GetAxisSignalMap()[kX];
    for (int z = 0; z < 3; ++z) {
        axis.AddTestStandard(kT0, QStringLiteral("REVERSE"), 10, 20);
        axis.AddTestStandard(kT0, kAgc, 0, 60);
    }
    SignalErrorMap mapErrors;
    SignalFrame frame = ZonedFrame();
    frame[3] = 100;
    touch.AnalyseFrame(kX, kT0, kAdc, frame, mapErrors);
    const QString strKey = QStringLiteral("X-T0:[L3]");
    QCOMPARE(mapErrors.value(strKey), QStringLiteral("ADC:400"));

    // A further kind adds its reading itself, not four times it.
    frame[3] = 70;
    touch.AnalyseFrame(kX, kT0, kAgc, frame, mapErrors);
    QCOMPARE(mapErrors.value(strKey), QStringLiteral("ADC:400/AGC:70"));
    // The first value of a kind stays.
    frame[3] = 300;
    touch.AnalyseFrame(kX, kT0, kAdc, frame, mapErrors);
    touch.AnalyseFrame(kX, kT0, kAgc, frame, mapErrors);
    QCOMPARE(mapErrors.value(strKey), QStringLiteral("ADC:400/AGC:70"));
    QCOMPARE(mapErrors.size(), 1);

    // Four times a large reading does not wrap.
    SignalErrorMap mapLarge;
    frame = ZonedFrame();
    frame[0] = 1u << 30;
    frame[1] = 4294967295u;
    touch.AnalyseFrame(kX, kT0, QStringLiteral("REVERSE"), frame, mapLarge);
    QCOMPARE(mapLarge.value(QStringLiteral("X-T0:[L0]")), QStringLiteral("REVERSE:4294967296"));
    QCOMPARE(mapLarge.value(QStringLiteral("X-T0:[L1]")), QStringLiteral("REVERSE:17179869180"));
}

// Frames, labels or windows shorter than the axis leave the LEDs they do not
// cover unjudged; absent directions and kinds judge nothing and are not created.
void TestAnalysisLed::shortRecordsAreSkipped()
{
    CFakeTouch touch;
    BuildZonedAxis(touch);
    SignalErrorMap mapErrors;
    touch.AnalyseFrame(kX, kT0, kAdc, SignalFrame{0, 0, 0}, mapErrors);
    QCOMPARE(mapErrors.keys(), QStringList({QStringLiteral("X-T0:[L0]"), QStringLiteral("X-T0:[L1]"), QStringLiteral("X-T0:[L2]")}));

    CAxisSignalInfo &axis = touch.GetAxisSignalMap()[kX];
    axis.GetDirMap()[kT0].GetSignalLabels() = {QStringLiteral("A"), QStringLiteral("B")};
    mapErrors.clear();
    touch.AnalyseFrame(kX, kT0, kAdc, CTestPanel::Uniform(30, 0), mapErrors);
    QCOMPARE(mapErrors.keys(), QStringList({QStringLiteral("X-T0:[A]"), QStringLiteral("X-T0:[B]")}));

    // One window for three zones: only zone 0 is judged.
    BuildZonedAxis(touch); // labels again (appended after A, B)
    axis.GetDirMap()[kT0].GetSignalLabels() = axis.GetDirMap()[kT0].GetSignalLabels().mid(2);
    axis.GetDirMap()[kT0].GetTypeMap()[kAdc].GetTestStandards() = {SignalRange{10, 20}};
    mapErrors.clear();
    touch.AnalyseFrame(kX, kT0, kAdc, CTestPanel::Uniform(30, 0), mapErrors);
    QCOMPARE(mapErrors.size(), 10);
    QVERIFY(mapErrors.contains(QStringLiteral("X-T0:[L9]")));

    // Zone ends far past the axis stay within it.
    axis.SetDivide({4294967295u, 4294967295u});
    mapErrors.clear();
    touch.AnalyseFrame(kX, kT0, kAdc, CTestPanel::Uniform(30, 0), mapErrors);
    QCOMPARE(mapErrors.size(), 30);

    mapErrors.clear();
    touch.AnalyseFrame(kX, QStringLiteral("T7"), kAdc, CTestPanel::Uniform(30, 0), mapErrors);
    touch.AnalyseFrame(kX, kT0, QStringLiteral("UNT"), CTestPanel::Uniform(30, 0), mapErrors);
    touch.AnalyseFrame(QStringLiteral("Z"), kT0, kAdc, CTestPanel::Uniform(30, 0), mapErrors);
    QVERIFY(mapErrors.isEmpty());
    QCOMPARE(axis.GetDirMap().keys(), QStringList{kT0});
    QVERIFY(!axis.GetDirMap()[kT0].GetTypeMap().contains(QStringLiteral("UNT")));
    QCOMPARE(touch.GetAxisSignalMap().keys(), QStringList{kX});
}

// An LED count far beyond the data (only possible from a damaged log) costs
// no more than the data: the walks end with the frames and texts. (A walk
// over the whole count would read past the four-value frame, which the
// sanitizer build reports, and would take seconds.)
void TestAnalysisLed::hugeLedCountStaysBounded()
{
    CFakeTouch touch;
    BuildLightAxis(touch);
    touch.GetAxisSignalMap()[kX].SetMaxSignal(4294967295u);
    touch.GetAxisSignalMap()[kX].SetDivide({4294967294u});
    touch.Signals(kAdc)[QStringLiteral("X-T0")] = Frames{SignalFrame{0, 100, 0, 100}};
    touch.Signals(kAgc)[QStringLiteral("X-T0")] = Frames{CTestPanel::Uniform(4, 50)};
    SignalErrorMap mapErrors;
    touch.AnalyseSignal(kAdc, touch.Signals(kAdc), mapErrors);
    ProblemMap mapProblems;
    touch.CheckAllLightThresholds(mapProblems);
    QCOMPARE(mapErrors.keys(), QStringList({QStringLiteral("X-T0:[T0:0-R0:0]"), QStringLiteral("X-T0:[T0:2-R0:2]")}));
    QCOMPARE(mapProblems.value(QStringLiteral("LIGHT_ERROR")),
             QList<QString>({QStringLiteral("Bottom:0-Top:0"), QStringLiteral("Bottom:2-Top:2")}));
}

void TestAnalysisLed::analyseSignalUsesNewestFrame()
{
    CFakeTouch touch;
    BuildZonedAxis(touch);
    SignalFrame bad = ZonedFrame();
    bad[5] = 0;
    SignalMap map;
    map[QStringLiteral("X-T0")] = Frames{bad, ZonedFrame()};
    map[QStringLiteral("X-T1")] = Frames{bad};
    SignalErrorMap mapErrors;
    QCOMPARE(touch.AnalyseSignal(kAdc, map, mapErrors), 0);
    QVERIFY(mapErrors.isEmpty());

    map[QStringLiteral("X-T0")].append(bad);
    touch.AnalyseSignal(kAdc, map, mapErrors);
    QCOMPARE(mapErrors.keys(), QStringList{QStringLiteral("X-T0:[L5]")});
    map[QStringLiteral("X-T0")].clear();
    mapErrors.clear();
    touch.AnalyseSignal(kAdc, map, mapErrors);
    QVERIFY(mapErrors.isEmpty());
}

void TestAnalysisLed::weakSignalLimit_data()
{
    QTest::addColumn<uint>("eachLed");
    QTest::addColumn<uint>("total");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<int>("result");

    const QStringList five{QStringLiteral("X-T0:[T0:1-R0:1]"), QStringLiteral("X-T0:[T0:2-R0:2]"),
                           QStringLiteral("X-T1:[T0:3-R0:4]"), QStringLiteral("Y-T0:[T1:0-R1:0]"),
                           QStringLiteral("Y-T1:[T1:1-R1:2]")};
    QTest::newRow("5 keys within everything") << 1u << 5u << five << 0;
    QTest::newRow("6 keys over a total of 5") << 9u << 5u << (QStringList(five) << QStringLiteral("Y-T1:[T1:5-R1:5]")) << -1;
    QTest::newRow("no keys") << 0u << 0u << QStringList() << 0;
    QTest::newRow("any key with 0 per LED") << 0u << 9u << QStringList{QStringLiteral("X-T0:[T0:1-R0:1]")} << -2;
    QTest::newRow("shared emitter") << 1u << 9u
                                    << QStringList{QStringLiteral("X-T0:[T2:7-R1:4]"), QStringLiteral("X-T1:[T2:7-R0:9]")} << -2;
    QTest::newRow("shared receiver") << 1u << 9u
                                     << QStringList{QStringLiteral("X-T0:[T0:1-R1:4]"), QStringLiteral("X-T1:[T0:2-R1:4]")} << -2;
    QTest::newRow("shared emitter within 2") << 2u << 9u
                                             << QStringList{QStringLiteral("X-T0:[T2:7-R1:4]"), QStringLiteral("X-T1:[T2:7-R0:9]")} << 0;
    QTest::newRow("same label on two axes") << 1u << 9u
                                            << QStringList{QStringLiteral("X-T0:[T2:7-R1:4]"), QStringLiteral("Y-T0:[T2:7-R1:4]")} << 0;
    QTest::newRow("over the direction count of 2") << 1u << 9u
                                                   << QStringList{QStringLiteral("X-T0:[T0:1-R0:1]"), QStringLiteral("X-T0:[T0:2-R0:2]"),
                                                                  QStringLiteral("X-T0:[T0:3-R0:3]")}
                                                   << -2;
    QTest::newRow("absent direction tolerates nothing") << 1u << 9u << QStringList{QStringLiteral("X-T5:[T0:1-R0:1]")} << -2;
    QTest::newRow("label without dash counts twice") << 1u << 9u << QStringList{QStringLiteral("X-T0:[T0:1]")} << -2;
}

// The out-of-limit LEDs are tolerated (map emptied, 0) or not (-1 total,
// -2 per LED or direction; map kept).
void TestAnalysisLed::weakSignalLimit()
{
    QFETCH(uint, eachLed);
    QFETCH(uint, total);
    QFETCH(QStringList, keys);
    QFETCH(int, result);
    CFakeTouch touch;
    touch.SetTolerances(eachLed, total);
    for (const QString &strAxis : {QStringLiteral("X"), QStringLiteral("Y")}) {
        touch.GetAxisSignalMap()[strAxis].SetMaxTolerantSignalCount(QStringLiteral("T0"), 2);
        touch.GetAxisSignalMap()[strAxis].SetMaxTolerantSignalCount(QStringLiteral("T1"), 2);
    }
    SignalErrorMap mapErrors;
    for (const QString &strKey : keys)
        mapErrors.insert(strKey, QStringLiteral("ADC:0"));
    const SignalErrorMap before = mapErrors;
    QCOMPARE(touch.CheckWeakSignalLimit(mapErrors), result);
    QCOMPARE(mapErrors, result == 0 ? SignalErrorMap() : before);
    QVERIFY(!touch.GetAxisSignalMap()[QStringLiteral("X")].GetDirMap().contains(QStringLiteral("T5")));
}

void TestAnalysisLed::lightThreshold_data()
{
    QTest::addColumn<int>("adc"); // -1: no ADC frames
    QTest::addColumn<int>("agc"); // -1: no AGC frames
    QTest::addColumn<QString>("key"); // "" for nothing
    QTest::newRow("ADC at problem hi: dark") << 20 << 50 << "LIGHT_ERROR";
    QTest::newRow("ADC below problem lo: dark") << 0 << 50 << "LIGHT_ERROR";
    QTest::newRow("ADC above problem hi, below window: weak") << 21 << 50 << "LIGHT_WEAK";
    QTest::newRow("ADC above window: weak") << 201 << 50 << "LIGHT_WEAK";
    QTest::newRow("ADC at window ends") << 50 << 50 << "";
    QTest::newRow("ADC at window hi") << 200 << 10 << "";
    QTest::newRow("AGC above window: weak") << 100 << 101 << "LIGHT_WEAK";
    QTest::newRow("AGC below window: weak") << 100 << 9 << "LIGHT_WEAK";
    QTest::newRow("dark wins over AGC") << 10 << 500 << "LIGHT_ERROR";
    QTest::newRow("no AGC frames: not judged on AGC") << 100 << -1 << "";
    QTest::newRow("no AGC frames, dark") << 3 << -1 << "LIGHT_ERROR";
    QTest::newRow("no ADC frames, AGC out") << -1 << 200 << "LIGHT_WEAK";
    QTest::newRow("no ADC frames, AGC in") << -1 << 50 << "";
    QTest::newRow("no frames") << -1 << -1 << "";
}

void TestAnalysisLed::lightThreshold()
{
    QFETCH(int, adc);
    QFETCH(int, agc);
    QFETCH(QString, key);
    CFakeTouch touch;
    BuildLightAxis(touch);
    if (adc >= 0) {
        SignalFrame frame = CTestPanel::Uniform(4, 100);
        frame[2] = uint32_t(adc);
        // Only the newest frame counts.
        touch.Signals(kAdc)[QStringLiteral("X-T0")] = Frames{CTestPanel::Uniform(4, 0), frame};
    }
    if (agc >= 0) {
        SignalFrame frame = CTestPanel::Uniform(4, 50);
        frame[2] = uint32_t(agc);
        touch.Signals(kAgc)[QStringLiteral("X-T0")] = Frames{CTestPanel::Uniform(4, 0), frame};
    }
    ProblemMap mapProblems;
    QCOMPARE(touch.CheckLightThreshold(mapProblems, kX, kT0), 0);
    ProblemMap expected;
    if (!key.isEmpty())
        expected.insert(key, {QStringLiteral("Bottom:2-Top:2")});
    QCOMPARE(mapProblems, expected);
}

void TestAnalysisLed::lightThresholdZonesAndRepeats()
{
    CFakeTouch touch;
    BuildLightAxis(touch);
    CAxisSignalInfo &axis = touch.GetAxisSignalMap()[kX];
    axis.SetDivide({1});
    axis.AddProblemStandard(kT0, kAdc, 0, 60);
    axis.AddTestStandard(kT0, kAdc, 0, 300);
    axis.AddTestStandard(kT0, kAgc, 10, 100);
    touch.Signals(kAdc)[QStringLiteral("X-T0")] = Frames{SignalFrame{50, 50, 50, 61}};
    ProblemMap mapProblems;
    touch.CheckAllLightThresholds(mapProblems);
    touch.CheckAllLightThresholds(mapProblems);
    // LED 2 is in zone 1, where 50 is dark; duplicates are kept.
    QCOMPARE(mapProblems, (ProblemMap{{QStringLiteral("LIGHT_ERROR"), {QStringLiteral("Bottom:2-Top:2"), QStringLiteral("Bottom:2-Top:2")}}}));
}

void TestAnalysisLed::lightThresholdShortRecords()
{
    CFakeTouch touch;
    BuildLightAxis(touch);
    CDirSignalInfo &dir = touch.GetAxisSignalMap()[kX].GetDirMap()[kT0];
    dir.GetSignalRelations() = dir.GetSignalRelations().mid(0, 3);
    // A short ADC frame leaves the LEDs past it to the AGC check.
    touch.Signals(kAdc)[QStringLiteral("X-T0")] = Frames{SignalFrame{0}};
    touch.Signals(kAgc)[QStringLiteral("X-T0")] = Frames{SignalFrame{50, 500, 50, 500}};
    ProblemMap mapProblems;
    touch.CheckLightThreshold(mapProblems, kX, kT0);
    QCOMPARE(mapProblems, (ProblemMap{{QStringLiteral("LIGHT_ERROR"), {QStringLiteral("Bottom:0-Top:0")}},
                                      {QStringLiteral("LIGHT_WEAK"), {QStringLiteral("Bottom:1-Top:1")}}}));

    // Without windows nothing is judged; absent axis or direction: nothing, nothing created.
    dir.GetTypeMap().clear();
    mapProblems.clear();
    touch.CheckLightThreshold(mapProblems, kX, kT0);
    touch.CheckLightThreshold(mapProblems, kX, QStringLiteral("T9"));
    touch.CheckLightThreshold(mapProblems, QStringLiteral("Q"), kT0);
    QVERIFY(mapProblems.isEmpty());
    QVERIFY(dir.GetTypeMap().isEmpty());
    QCOMPARE(touch.GetAxisSignalMap()[kX].GetDirMap().size(), 1);
}

void TestAnalysisLed::fluctuation_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<Frames>("frames");
    QTest::addColumn<uint>("count");
    QTest::addColumn<Values>("before");
    QTest::addColumn<Values>("after");

    const Frames two{SignalFrame{10, 20}, SignalFrame{30, 5}};
    QTest::newRow("absolute") << "Absolute" << two << 2u << Values() << Values({20, 15});
    QTest::newRow("percent") << "Percent" << two << 2u << Values() << Values({66, 75});
    QTest::newRow("empty type is percent") << "" << two << 2u << Values() << Values({66, 75});
    QTest::newRow("type is case-sensitive") << "absolute" << two << 2u << Values() << Values({66, 75});
    QTest::newRow("count 0") << "Absolute" << two << 0u << Values() << Values();
    QTest::newRow("no frames") << "Absolute" << Frames() << 3u << Values{7} << Values{7};
    QTest::newRow("appends to what is there") << "Absolute" << two << 2u << Values{9} << Values({9, 20, 15});
    QTest::newRow("past the first frame: 0") << "Absolute" << two << 4u << Values() << Values({20, 15, 0, 0});
    QTest::newRow("shorter later frame") << "Absolute" << Frames{SignalFrame{1, 2, 3}, SignalFrame{7}} << 3u << Values()
                                         << Values({6, 0, 0});
    QTest::newRow("shorter first frame") << "Absolute" << Frames{SignalFrame{5}, SignalFrame{1, 9}} << 2u << Values()
                                         << Values({4, 0});
    QTest::newRow("percent of max 0") << "Percent" << Frames{SignalFrame{0, 0}, SignalFrame{0, 4}} << 2u << Values()
                                      << Values({0, 100});
    QTest::newRow("percent of large readings") << "Percent" << Frames{SignalFrame{4000000000u}, SignalFrame{0}} << 1u
                                               << Values() << Values{100};
    QTest::newRow("absolute of large readings") << "Absolute" << Frames{SignalFrame{4294967295u}, SignalFrame{0}} << 1u
                                                << Values() << Values{4294967295u};
    QTest::newRow("one frame") << "Absolute" << Frames{SignalFrame{8, 9}} << 2u << Values() << Values({0, 0});
    QTest::newRow("empty first frame") << "Absolute" << Frames{SignalFrame{}, SignalFrame{1, 2}} << 2u << Values()
                                       << Values({0, 0});
}

void TestAnalysisLed::fluctuation()
{
    QFETCH(QString, type);
    QFETCH(Frames, frames);
    QFETCH(uint, count);
    QFETCH(Values, before);
    QFETCH(Values, after);
    CFakeTouch touch;
    Values lstOut = before;
    QCOMPARE(touch.CalcFluctuation(type, frames, lstOut, count), after.size());
    QCOMPARE(lstOut, after);
}

void TestAnalysisLed::fluctuationCountIsCapped()
{
    CFakeTouch touch;
    Values lstOut;
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("only the first")));
    QCOMPARE(touch.CalcFluctuation(QStringLiteral("Absolute"), Frames{SignalFrame{1}, SignalFrame{4}}, lstOut, 4000000000u),
             int(CTouchBase::kMaxSignalCount));
    QCOMPARE(lstOut.first(), 3u);
}

void TestAnalysisLed::untFromAdc()
{
    CFakeTouch touch;
    TestPanelShape shape;
    shape.lstBottom = {3};
    shape.lstTop = {3};
    shape.lstLeft = {2};
    shape.lstRight = {2};
    shape.lstOffsets = {0, 1};
    CTestPanel::Build(touch, shape);
    // Y-T1 has no UNT kind: an empty standard type, a percentage.
    touch.GetAxisSignalMap()[QStringLiteral("Y")].GetDirMap()[QStringLiteral("T1")].GetTypeMap().remove(QStringLiteral("UNT"));
    touch.GetAxisSignalMap()[QStringLiteral("Y")].SetStandardType(kT0, QStringLiteral("UNT"), QStringLiteral("Percent"));

    SignalMap &adc = touch.Signals(kAdc);
    adc[QStringLiteral("X-T0")] = Frames{SignalFrame{100, 90, 80}, SignalFrame{110, 90, 60}, SignalFrame{105, 95, 70}};
    adc[QStringLiteral("Y-T0")] = Frames{SignalFrame{100, 50}, SignalFrame{80, 50}};
    adc[QStringLiteral("Y-T1")] = Frames{SignalFrame{0, 200}, SignalFrame{0, 150}};
    SignalMap unt;
    QCOMPARE(touch.CalcUntSignal(adc, unt), 3);
    QCOMPARE(unt.value(QStringLiteral("X-T0")), Frames{SignalFrame({10, 5, 20})});
    QCOMPARE(unt.value(QStringLiteral("Y-T0")), Frames{SignalFrame({20, 0})});
    QCOMPARE(unt.value(QStringLiteral("Y-T1")), Frames{SignalFrame({0, 25})});
    QVERIFY(!unt.contains(QStringLiteral("X-T1")));
    QVERIFY(adc.contains(QStringLiteral("X-T1"))); // looked up, so created
    QVERIFY(!touch.GetAxisSignalMap()[QStringLiteral("Y")].GetDirMap()[QStringLiteral("T1")].GetTypeMap().contains(QStringLiteral("UNT")));

    QCOMPARE(touch.CalcUntSignal(adc, unt), 3);
    QCOMPARE(unt.value(QStringLiteral("X-T0")).size(), 2);
}

void TestAnalysisLed::trimFrames_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("frames"); // -1: key absent
    QTest::addColumn<int>("left");
    QTest::newRow("1 of one") << 1 << 1 << 0;
    QTest::newRow("0 of none") << 0 << 0 << 0;
    QTest::newRow("negative of none") << -3 << 0 << 0;
    QTest::newRow("0 of absent key") << 0 << -1 << 0;
    QTest::newRow("0 of two") << 0 << 2 << 1;
    QTest::newRow("3 of two") << 3 << 2 << 2;
    QTest::newRow("2 of two") << 2 << 2 << 1;
    QTest::newRow("2 of five: once") << 2 << 5 << 4;
}

void TestAnalysisLed::trimFrames()
{
    QFETCH(int, n);
    QFETCH(int, frames);
    QFETCH(int, left);
    CFakeTouch touch;
    BuildLightAxis(touch);
    SignalMap map;
    if (frames >= 0) {
        for (int f = 0; f < frames; ++f)
            map[QStringLiteral("X-T0")].append(SignalFrame{uint32_t(f)});
    }
    QCOMPARE(touch.TrimFrames(map, n), 0);
    QVERIFY(map.contains(QStringLiteral("X-T0")));
    QCOMPARE(map.value(QStringLiteral("X-T0")).size(), left);
    if (left > 0) // the oldest goes
        QCOMPARE(map.value(QStringLiteral("X-T0")).last(), SignalFrame{uint32_t(frames - 1)});
}

void TestAnalysisLed::latestSignal()
{
    CFakeTouch touch;
    BuildLightAxis(touch);
    touch.Signals(kAdc)[QStringLiteral("X-T0")] = Frames{SignalFrame{1}, SignalFrame{2, 2}};
    touch.Signals(QStringLiteral("REVERSE"))[QStringLiteral("X-T0")] = Frames{SignalFrame{3, 3, 3}};
    touch.Signals(kAgc)[QStringLiteral("X-T0")] = Frames{SignalFrame{4}};
    touch.Signals(QStringLiteral("UNT"))[QStringLiteral("X-T0")] = Frames{SignalFrame{5, 5}};
    touch.SetFrameNumber(9);

    SignalFrame out;
    uint32_t nFrame = 0;
    QCOMPARE(touch.GetLatestSignal(kX, kT0, kAdc, out, &nFrame), 2);
    QCOMPARE(nFrame, 9u);
    QCOMPARE(touch.GetLatestSignal(kX, kT0, kAgc, out), 1);
    QCOMPARE(touch.GetLatestSignal(kX, kT0, QStringLiteral("UNT"), out), 2);
    QCOMPARE(out, SignalFrame({5, 5}));
    touch.SetReverseMode(true);
    QCOMPARE(touch.GetLatestSignal(kX, kT0, kAdc, out), 3);
    QCOMPARE(out, SignalFrame({3, 3, 3}));
    // "REVERSE" itself, another kind or an absent key read nothing: out stays.
    QCOMPARE(touch.GetLatestSignal(kX, kT0, QStringLiteral("REVERSE"), out), 3);
    QCOMPARE(touch.GetLatestSignal(kX, QStringLiteral("T1"), kAgc, out), 3);
    QCOMPARE(touch.GetLatestSignal(kX, kT0, QStringLiteral("adc"), out), 3);
}

// From a finished run, each cycle keeps the ADC window at TEST_TIMES_FOR_UNT
// frames and one AGC and UNT frame; the frame number and the signal-error
// map stay.
void TestAnalysisLed::realTimeWindows()
{
    CFakeTouch touch;
    TestPanelShape shape;
    shape.lstBottom = {3};
    shape.lstTop = {3};
    shape.lstLeft = {2};
    shape.lstRight = {2};
    CTestPanel::Build(touch, shape);
    touch.SetTestTimesForUnt(3);
    QCOMPARE(touch.RunTest(), 0);
    touch.GetSignalErrors().insert(QStringLiteral("marker"), QStringLiteral("kept"));
    touch.SetRecording(true);
    touch.ClearCalls();

    for (int nCycle = 0; nCycle < 4; ++nCycle) {
        ProblemMap mapProblems;
        uint32_t nFrame = 0;
        QCOMPARE(touch.AnalyseRealTimeSignal(mapProblems, &nFrame), 0);
        QCOMPARE(nFrame, 4u);
        QVERIFY(mapProblems.isEmpty());
        for (const QString &strKey : {QStringLiteral("X-T0"), QStringLiteral("Y-T0")}) {
            QCOMPARE(touch.Signals(kAdc).value(strKey).size(), 3);
            QCOMPARE(touch.Signals(kAgc).value(strKey).size(), 1);
            QCOMPARE(touch.Signals(QStringLiteral("UNT")).value(strKey).size(), 1);
        }
    }
    QCOMPARE(touch.GetFrameNumber(), 4u);
    QCOMPARE(touch.GetSignalErrors().keys(), QStringList{QStringLiteral("marker")});
    QCOMPARE(touch.Calls().mid(0, 5), QStringList({kAdc, kAgc, QStringLiteral("CalcUntSignal"), QStringLiteral("Record:ADC:4"),
                                                   QStringLiteral("Record:AGC:4")}));
}

void TestAnalysisLed::realTimeFromEmptyMaps()
{
    CFakeTouch touch;
    BuildLightAxis(touch);
    touch.SetTestTimesForUnt(0); // a log may carry it: no frame is ever removed from an empty list
    ProblemMap mapProblems;
    QCOMPARE(touch.AnalyseRealTimeSignal(mapProblems), 0);
    QCOMPARE(touch.Signals(kAdc).value(QStringLiteral("X-T0")).size(), 0);
    QCOMPARE(touch.Signals(kAgc).value(QStringLiteral("X-T0")).size(), 0);
    QCOMPARE(touch.Signals(QStringLiteral("UNT")).value(QStringLiteral("X-T0")).size(), 0);

    touch.SetTestTimesForUnt(2);
    QCOMPARE(touch.AnalyseRealTimeSignal(mapProblems), 0);
    QCOMPARE(touch.AnalyseRealTimeSignal(mapProblems), 0);
    QCOMPARE(touch.AnalyseRealTimeSignal(mapProblems), 0);
    QCOMPARE(touch.Signals(kAdc).value(QStringLiteral("X-T0")).size(), 1);
    QCOMPARE(touch.Signals(kAgc).value(QStringLiteral("X-T0")).size(), 0);
    QVERIFY(touch.Calls().indexOf(QStringLiteral("Record:ADC:0")) < 0);
}

void TestAnalysisLed::realTimeFailure_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("ADC") << "ADC";
    QTest::newRow("AGC") << "AGC";
}

void TestAnalysisLed::realTimeFailure()
{
    QFETCH(QString, kind);
    CFakeTouch touch;
    BuildLightAxis(touch);
    touch.SetRecording(true);
    touch.FailRead(kind, 0, static_cast<int32_t>(0x80000002u));
    ProblemMap mapProblems{{QStringLiteral("LIGHT_ERROR"), {QStringLiteral("x")}}};
    const ProblemMap before = mapProblems;
    uint32_t nFrame = 77;
    QCOMPARE(touch.AnalyseRealTimeSignal(mapProblems, &nFrame), static_cast<int32_t>(0x80000002u));
    QCOMPARE(mapProblems, before);
    QCOMPARE(nFrame, 77u);
    QCOMPARE(touch.CallCount(QStringLiteral("CalcUntSignal")), 0);
    QCOMPARE(touch.Calls().last(), kind);
}

void TestAnalysisLed::realTimeFindsDarkLed()
{
    CFakeTouch touch;
    BuildLightAxis(touch);
    touch.SetFrameSource([](const QString &strKind, int, const QString &) {
        return strKind == QLatin1String("ADC") ? SignalFrame{100, 100, 100, 5} : SignalFrame{50, 50, 50, 50};
    });
    touch.Signals(kAgc)[QStringLiteral("X-T0")] = Frames{SignalFrame{50, 50, 50, 50}};
    ProblemMap mapProblems;
    QCOMPARE(touch.AnalyseRealTimeSignal(mapProblems), 0);
    QCOMPARE(mapProblems.value(QStringLiteral("LIGHT_ERROR")), QList<QString>{QStringLiteral("Bottom:3-Top:3")});
}

STATION_TEST_MAIN_CORE(TestAnalysisLed)
#include "tst_analysis_led.moc"
