// The log replay: a log saved by the driver gives the same verdict when it is
// replayed (and replayed again), stepping wraps at both ends, and single reads
// keep the windows the views rely on.

#include "fakehardware.h"
#include "operateenvironment.h"
#include "testenvironment.h"
#include "testlogerror.h"
#include "touchlogfilexml.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

Q_DECLARE_METATYPE(SFakeHardwareConfig)

namespace {

void WriteFile(const QString &strPath, const QByteArray &data)
{
    QFile f(strPath);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), qint64(data.size()));
}

// One axis "X" of three LEDs in direction "T1"; recorded frames given as
// (kind, frame number, values).
struct SFrame
{
    const char *pKind;
    int nFrame;
    QList<uint32_t> values;
};

QByteArray SmallLog(const QList<SFrame> &lstFrames, const QByteArray &testAttributes = QByteArray())
{
    QByteArray data = "<touch_device><device_info><info name=\"Product\">P</info></device_info>"
                      "<test " + testAttributes + "><axis name=\"X\" maxSignal=\"3\" maxValue=\"255\"><dir name=\"T1\">";
    for (const char *pKind : {"ADC", "AGC", "REVERSE", "UNT"}) {
        data += "<type name=\"" + QByteArray(pKind) + "\" standardType=\""
            + (QByteArray(pKind) == "UNT" ? "Absolute" : "") + "\"><test_data>";
        for (const SFrame &frame : lstFrames) {
            if (QByteArray(frame.pKind) != pKind)
                continue;
            QByteArray values;
            for (uint32_t v : frame.values)
                values += (values.isEmpty() ? "" : " ") + QByteArray::number(v);
            data += "<data ID=\"" + QByteArray::number(frame.nFrame) + "\">" + values + "</data>";
        }
        data += "</test_data></type>";
    }
    return data + "</dir></axis></test></touch_device>";
}

using DirFrames = QMap<QByteArray, QList<SFrame>>;

// One axis "X" of three labelled LEDs with an ADC window (10 to 200) in the
// directions "T0" and "T1"; recorded frames given as (kind, frame number,
// values) per direction.
QByteArray TwoDirectionLog(const DirFrames &mapFrames, int nTimes)
{
    QByteArray data = "<touch_device><test TEST_TIMES_FOR_UNT=\"" + QByteArray::number(nTimes)
        + "\" eInitAgcWhileRetest=\"-1\"><axis name=\"X\" maxSignal=\"3\" maxValue=\"255\">";
    for (const QByteArray &dir : {QByteArray("T0"), QByteArray("T1")}) {
        data += "<dir name=\"" + dir + "\">";
        for (const char *pKind : {"ADC", "AGC", "REVERSE"}) {
            data += "<type name=\"" + QByteArray(pKind) + "\">";
            if (QByteArray(pKind) == "ADC")
                data += "<test_standard><standard>0010-0200</standard></test_standard>";
            data += "<test_data>";
            for (const SFrame &frame : mapFrames.value(dir)) {
                if (QByteArray(frame.pKind) != pKind)
                    continue;
                QByteArray values;
                for (uint32_t v : frame.values)
                    values += (values.isEmpty() ? "" : " ") + QByteArray::number(v);
                data += "<data ID=\"" + QByteArray::number(frame.nFrame) + "\">" + values + "</data>";
            }
            data += "</test_data></type>";
        }
        data += "<signal_labels><label relation=\"a\">0</label><label relation=\"b\">1</label>"
                "<label relation=\"c\">2</label></signal_labels></dir>";
    }
    return data + "</axis></test></touch_device>";
}

// Everything a view reads after a run, for comparing two objects.
struct SVerdict
{
    SignalErrorMap mapErrors;
    ProblemMap mapProblems;
    QString strCode;
    QString strMessage;
    QMap<QString, SignalMap> mapSignals;

    static SVerdict Of(CTouchBase &touch)
    {
        SVerdict v;
        v.mapErrors = touch.GetSignalErrors();
        for (const char *pKind : {"REVERSE", "ADC", "AGC", "UNT"})
            v.mapSignals.insert(pKind, *touch.GetSignalMap(pKind));
        touch.GetErrors(v.mapProblems);
        v.strCode = QStringLiteral("none");
        touch.GetTestResultCode(v.strCode, v.strMessage);
        return v;
    }
};

} // namespace

Q_DECLARE_METATYPE(DirFrames)

class TestLogReplay : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_dir.reset(new CScopedWorkDir); }
    void cleanup() { m_dir.reset(); }

    void replayGivesLiveVerdict_data();
    void replayGivesLiveVerdict();
    void runCoverage();
    void coverageByKindAndDirection_data();
    void coverageByKindAndDirection();
    void readingAgainStartsClean();
    void missingFile();
    void appInfoReplacesStationList();
    void stepping_data();
    void stepping();
    void readAxisSignalWindows();
    void readAxisSignalReverseAndUnt();
    void replayPerformsNoDeviceWork();

private:
    std::unique_ptr<CScopedWorkDir> m_dir;
};

void TestLogReplay::replayGivesLiveVerdict_data()
{
    QTest::addColumn<SFakeHardwareConfig>("config");
    QTest::addColumn<bool>("errors");
    QTest::addColumn<QString>("code");

    SFakeHardwareConfig clean;
    QTest::newRow("clean frame") << clean << false << QString("none");

    SFakeHardwareConfig dark = clean;
    dark.mapDark["X-T1"] = {3, 4, 5};
    dark.eInitAgcWhileRetest = -1;
    QTest::newRow("dark LEDs, no second pass") << dark << true << QString("NG3");

    SFakeHardwareConfig second = dark;
    second.eInitAgcWhileRetest = 0;
    QTest::newRow("dark LEDs, second pass") << second << true << QString("NG3");

    SFakeHardwareConfig always = dark;
    always.eInitAgcWhileRetest = 1;
    QTest::newRow("AGC re-initialised first") << always << true << QString("NG3");

    SFakeHardwareConfig weak = clean;
    weak.mapWeak["Y-T0"] = {2};
    weak.mapWeak["X-T2"] = {0, 23};
    weak.eInitAgcWhileRetest = -1;
    QTest::newRow("weak LEDs") << weak << true << QString("NG3");

    SFakeHardwareConfig tolerated = weak;
    tolerated.nTolerantTotal = 5;
    tolerated.nTolerantEachLed = 3;
    QTest::newRow("weak LEDs tolerated") << tolerated << false << QString("NG3");

    SFakeHardwareConfig three = dark;
    three.nTestTimesForUnt = 3;
    QTest::newRow("three ADC frames") << three << true << QString("NG3");

    SFakeHardwareConfig board = clean;
    for (uint32_t i = 0; i < 12; ++i) {
        for (const char *pDir : {"X-T0", "X-T1", "X-T2"})
            board.mapDark[pDir].insert(i);
    }
    board.eInitAgcWhileRetest = -1;
    QTest::newRow("dead board") << board << true << QString("NG5");

    SFakeHardwareConfig none = clean;
    none.nTestTimesForUnt = 0;
    QTest::newRow("no ADC frame") << none << false << QString("none");
}

void TestLogReplay::replayGivesLiveVerdict()
{
    QFETCH(SFakeHardwareConfig, config);
    QFETCH(bool, errors);
    QFETCH(QString, code);

    COperateEnvironment env;
    CFakeHardware hw(&env, config);
    QCOMPARE(hw.StartTest(1), 0);
    if (!config.mapDark.isEmpty() && config.eInitAgcWhileRetest == 0)
        QCOMPARE(hw.Log().nInitAgc, 1);
    const SVerdict live = SVerdict::Of(hw);
    QCOMPARE(!live.mapErrors.isEmpty(), errors);
    QCOMPARE(live.strCode, code);
    QCOMPARE(hw.SaveXml("run.xml"), 0);

    std::unique_ptr<CTouchLogfileXML> log(CTouchLogfileXML::Create(&env, QStringLiteral("run.xml")));
    QCOMPARE(log->GetName(), QString("run.xml"));
    QCOMPARE(log->StartTest(1), 0);
    SVerdict replay = SVerdict::Of(*log);
    QCOMPARE(replay.mapErrors, live.mapErrors);
    QCOMPARE(replay.mapProblems, live.mapProblems);
    QCOMPARE(replay.strCode, live.strCode);
    QCOMPARE(replay.strMessage, live.strMessage);
    QCOMPARE(replay.mapSignals, live.mapSignals);
    QCOMPARE(log->GetLastRecordNumber(), hw.GetRecordBase());
    // The replay's test found every frame it asked for and judged what the
    // live test judged (nothing without ADC frames).
    const CTouchBase::SRunCoverage liveCoverage = hw.GetRunCoverage();
    QCOMPARE(log->GetRunCoverage().mapFramesNotFound, (QMap<QString, uint32_t>()));
    QCOMPARE(log->GetRunCoverage().nLedsJudged, liveCoverage.nLedsJudged);
    QCOMPARE(liveCoverage.nLedsJudged > 0, config.nTestTimesForUnt > 0);

    // A retest of the replay (task "ReTest") reads the log again from scratch.
    const int nProps = log->GetPropertyList().size();
    const uint32_t nSensors = log->GetHardwareInfo().GetTotalSensorCount();
    QCOMPARE(log->ReTest(1), 0);
    QCOMPARE(log->GetPropertyList().size(), nProps);
    QCOMPARE(log->GetHardwareInfo().GetTotalSensorCount(), nSensors);
    replay = SVerdict::Of(*log);
    QCOMPARE(replay.mapErrors, live.mapErrors);
    QCOMPARE(replay.mapProblems, live.mapProblems);
    QCOMPARE(replay.strCode, live.strCode);
    QCOMPARE(replay.mapSignals, live.mapSignals);
    QCOMPARE(log->GetRunCoverage().nLedsJudged, liveCoverage.nLedsJudged);
}

// What a run over a log asked for and did not find, by kind, and the LED
// readings it judged: counted by each run afresh, not by later analyses.
void TestLogReplay::runCoverage()
{
    const QByteArray judged = "<test_standard><standard>0010-0200</standard></test_standard>";
    QByteArray data = SmallLog({{"REVERSE", 0, {50, 50, 50}}, {"AGC", 1, {50, 50, 50}}, {"ADC", 2, {50, 50, 50}}},
                               "TEST_TIMES_FOR_UNT=\"3\" eInitAgcWhileRetest=\"-1\"");
    WriteFile("c.xml", data);
    CTouchLogfileXML log(nullptr, QStringLiteral("c.xml"));
    QCOMPARE(log.StartTest(1), 0);
    // ADC at 3 and 4 are not there; no labels, nothing judged.
    QCOMPARE(log.GetRunCoverage().mapFramesNotFound, (QMap<QString, uint32_t>{{"ADC", 2}}));
    QCOMPARE(log.GetRunCoverage().FramesNotFound(), 2u);
    QCOMPARE(log.GetRunCoverage().nLedsJudged, 0u);

    // Labels and an ADC window, and every frame: three LEDs in each of three
    // frames (one pass: no second one after the failing LED).
    data.replace("<type name=\"ADC\" standardType=\"\">", "<type name=\"ADC\" standardType=\"\">" + judged);
    data.replace("</dir>", "<signal_labels><label relation=\"a\">0-0</label><label relation=\"b\">1-1</label>"
                           "<label relation=\"c\">2-2</label></signal_labels></dir>");
    data.replace("<data ID=\"2\">50 50 50</data>",
                 "<data ID=\"2\">50 50 50</data><data ID=\"3\">50 50 50</data><data ID=\"4\">5 50 50</data>");
    WriteFile("c.xml", data);
    QCOMPARE(log.ReTest(1), 0);
    QCOMPARE(log.GetRunCoverage().FramesNotFound(), 0u);
    QCOMPARE(log.GetRunCoverage().nLedsJudged, 9u);
    QCOMPARE(log.GetSignalErrors().size(), 1);
    // An analysis after the run is no part of it.
    log.AnalyseAdc();
    QCOMPARE(log.GetRunCoverage().nLedsJudged, 9u);
}

using KindCounts = QMap<QString, uint32_t>;
using KindDirections = QMap<QString, QStringList>;
using Frames = QList<SignalFrame>;

void TestLogReplay::coverageByKindAndDirection_data()
{
    // The frames of each direction; the kinds the run found nowhere (what
    // cannot be judged at all), the directions without a kind others have
    // (judged on what they hold), the ADC window of X-T0 and the
    // signal-error map the run leaves.
    QTest::addColumn<DirFrames>("frames");
    QTest::addColumn<KindCounts>("kindsNotFound");
    QTest::addColumn<KindDirections>("directionsWithout");
    QTest::addColumn<Frames>("window");
    QTest::addColumn<SignalErrorMap>("errors");

    const QList<uint32_t> lit{50, 60, 70};
    auto run = [&](int nLastAdc, QList<uint32_t> frame3 = {}) {
        QList<SFrame> frames{{"REVERSE", 0, lit}, {"AGC", 1, lit}};
        for (int n = 2; n <= nLastAdc; ++n)
            frames.append({"ADC", n, n == 3 && !frame3.isEmpty() ? frame3 : QList<uint32_t>{50, 60, uint32_t(70 + n)}});
        return frames;
    };
    // Ten ADC frames asked for (positions 2 to 11), 2 to 4 held: the run
    // reads 2, 3, 4, wraps to 0 (no ADC frame at 0 and 1) and reads 2, 3, 4
    // again: six held frames in the window, all lit, no error.
    const Frames again{{50, 60, 72}, {50, 60, 73}, {50, 60, 74}, {50, 60, 72}, {50, 60, 73}, {50, 60, 74}};
    QTest::newRow("ADC frames 2 to 4 of ten") << DirFrames{{"T0", run(4)}, {"T1", run(4)}}
                                              << KindCounts() << KindDirections() << again << SignalErrorMap();
    // A dark LED in frame 3: the run stops there, as the live run did.
    QTest::newRow("ADC frames 2 to 4, a dark LED in 3")
        << DirFrames{{"T0", run(4, {50, 0, 70})}, {"T1", run(4)}} << KindCounts()
        << KindDirections() << Frames{{50, 60, 72}, {50, 0, 70}} << SignalErrorMap{{"X-T0:[1]", "ADC:0"}};
    // T1 without its AGC frame: named, judged on its ADC frames.
    QList<SFrame> noAgc = run(11);
    noAgc.removeAt(1);
    QTest::newRow("no AGC frame in T1") << DirFrames{{"T0", run(11)}, {"T1", noAgc}}
                                        << KindCounts() << KindDirections{{"AGC", {"X-T1"}}} << Frames()
                                        << SignalErrorMap();
    // No AGC frame anywhere, or every frame past the positions the run
    // reaches: nothing of those kinds to judge.
    QTest::newRow("no AGC frame at all") << DirFrames{{"T0", noAgc}, {"T1", noAgc}}
                                         << KindCounts{{"AGC", 2}} << KindDirections() << Frames()
                                         << SignalErrorMap();
    QList<SFrame> past = run(11);
    for (SFrame &frame : past)
        frame.nFrame += 100;
    past.append({"REVERSE", 0, lit});
    QTest::newRow("AGC and ADC frames past every position")
        << DirFrames{{"T0", past}, {"T1", past}} << KindCounts{{"ADC", 20}, {"AGC", 2}}
        << KindDirections() << Frames() << SignalErrorMap();
}

// A run over a log short of some frames reads what the log holds and is
// judged on it; what it found nowhere, and the directions short of a kind
// the others hold, are told by kind.
void TestLogReplay::coverageByKindAndDirection()
{
    QFETCH(DirFrames, frames);
    QFETCH(KindCounts, kindsNotFound);
    QFETCH(KindDirections, directionsWithout);
    QFETCH(Frames, window);
    QFETCH(SignalErrorMap, errors);

    WriteFile("short.xml", TwoDirectionLog(frames, 10));
    CTouchLogfileXML log(nullptr, QStringLiteral("short.xml"));
    QCOMPARE(log.StartTest(1), 0);
    const CTouchBase::SRunCoverage &coverage = log.GetRunCoverage();
    QCOMPARE(coverage.KindsNotFound(), kindsNotFound);
    QCOMPARE(coverage.DirectionsWithoutKind(), directionsWithout);
    if (!window.isEmpty())
        QCOMPARE(log.GetSignalMap("ADC")->value("X-T0"), window);
    QCOMPARE(log.GetSignalErrors(), errors);
}

void TestLogReplay::readingAgainStartsClean()
{
    WriteFile("log.xml", "<touch_device><device_info><info name=\"Product\">A</info></device_info>"
                         "<interface_test><result name=\"UART\">PASS</result></interface_test>"
                         "<hardware_info><axis ID=\"0\" name=\"Bottom\"><pcb><led ID=\"0\"/></pcb></axis>"
                         "<logic_info><sensor_relation><relation>Bottom:0-Top:0</relation></sensor_relation>"
                         "</logic_info></hardware_info>"
                         "<test TEST_TIMES_FOR_UNT=\"3\" MaxTolerantWeakSignalTotal=\"4\"><axis name=\"A\" maxSignal=\"1\">"
                         "<dir name=\"T1\"><type name=\"ADC\"><test_standard><standard>1-2</standard></test_standard>"
                         "<test_data><data ID=\"4\">7</data></test_data></type>"
                         "<signal_labels><label relation=\"r\">l</label></signal_labels></dir></axis></test>"
                         "</touch_device>");
    CTouchLogfileXML log(nullptr, QStringLiteral("log.xml"));
    QCOMPARE(log.StartTest(1), 0);
    QCOMPARE(log.ReTest(1), 0);
    QCOMPARE(log.GetPropertyList().size(), 1);
    QCOMPARE(log.GetHardwareInfo().GetTotalSensorCount(), 1u);
    QCOMPARE(log.GetHardwareInfo().GetSensorRelations().size(), 1);
    QCOMPARE(log.GetAxisSignalMap()["A"].GetTestStandards("T1", "ADC").size(), 1);
    QCOMPARE(log.GetAxisSignalMap()["A"].GetSignalLabels("T1").size(), 1);
    QList<uint32_t> frame;
    QCOMPARE(log.GetAxisSignalMap()["A"].GetTestData("T1", "ADC", frame, 4), 1);

    // The same path now holds another log: nothing of the first survives.
    WriteFile("log.xml", "<touch_device><device_info><info name=\"Product\">B</info></device_info></touch_device>");
    QCOMPARE(log.ReTest(1), 0);
    QCOMPARE(log.GetPropertyList(), (QList<CPropertyItem>{{"Product", "B"}}));
    QCOMPARE(log.GetInterfaceTestResult(), qMakePair(QString(), QString()));
    QVERIFY(log.GetHardwareInfo().GetAxisMap().isEmpty());
    QVERIFY(log.GetHardwareInfo().GetSensorRelations().isEmpty());
    QVERIFY(log.GetAxisSignalMap().isEmpty());
    QCOMPARE(log.GetTestTimesForUnt(), 10);
    QCOMPARE(log.GetMaxTolerantWeakSignalTotal(), 0u);
    QCOMPARE(log.GetLastRecordNumber(), 0u);
}

void TestLogReplay::missingFile()
{
    CTouchLogfileXML log(nullptr, QStringLiteral("no/such/log.xml"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Cannot open the test log no/such/log.xml"));
    QCOMPARE(log.StartTest(1), ERROR_LOG_OPEN);
    QVERIFY(log.GetAxisSignalMap().isEmpty());
    QVERIFY(log.GetSignalErrors().isEmpty());
    for (const char *pKind : {"REVERSE", "ADC", "AGC", "UNT"})
        QVERIFY(log.GetSignalMap(pKind)->isEmpty());
    QCOMPARE(log.GetLastRecordNumber(), 0u);
    QCOMPARE(log.NextFrame(), 0u);
}

void TestLogReplay::appInfoReplacesStationList()
{
    COperateEnvironment env;
    const COperateEnvironment::EnvironmentList station = {{"Environment", "here"}, {"App Version", "0.0.0.6"}};
    *env.GetEnvironmentList() = station;

    WriteFile("none.xml", "<touch_device/>");
    CTouchLogfileXML none(&env, QStringLiteral("none.xml"));
    QCOMPARE(none.StartTest(1), 0);
    QCOMPARE(*env.GetEnvironmentList(), station);

    WriteFile("empty.xml", "<touch_device><app_info/></touch_device>");
    CTouchLogfileXML empty(&env, QStringLiteral("empty.xml"));
    QCOMPARE(empty.StartTest(1), 0);
    QVERIFY(env.GetEnvironmentList()->isEmpty());

    // The whole text of an info counts, nested elements included.
    WriteFile("nested.xml", "<touch_device><app_info><group><info name=\"IPAddr\">10.<b>0</b>.0.1</info></group>"
                            "</app_info></touch_device>");
    CTouchLogfileXML nested(&env, QStringLiteral("nested.xml"));
    QCOMPARE(nested.StartTest(1), 0);
    QCOMPARE(*env.GetEnvironmentList(), (COperateEnvironment::EnvironmentList{{"IPAddr", "10.0.0.1"}}));
}

void TestLogReplay::stepping_data()
{
    QTest::addColumn<QList<int>>("frames");
    QTest::addColumn<uint>("last");
    QTest::addColumn<QList<uint>>("forward");
    QTest::addColumn<QList<uint>>("backward");

    QTest::newRow("no frame") << QList<int>() << 0u << QList<uint>{0, 0} << QList<uint>{0, 0};
    QTest::newRow("frames up to 5") << QList<int>{0, 1, 5} << 5u << QList<uint>{1, 2, 3, 4, 5, 0, 1}
                                    << QList<uint>{5, 4, 3, 2, 1, 0, 5};
    QTest::newRow("single frame 0") << QList<int>{0} << 0u << QList<uint>{0} << QList<uint>{0};
}

void TestLogReplay::stepping()
{
    QFETCH(QList<int>, frames);
    QFETCH(uint, last);
    QFETCH(QList<uint>, forward);
    QFETCH(QList<uint>, backward);

    QList<SFrame> lstFrames;
    for (int n : frames)
        lstFrames.append({"AGC", n, {1, 2, 3}});
    WriteFile("steps.xml", SmallLog(lstFrames, "TEST_TIMES_FOR_UNT=\"0\""));
    CTouchLogfileXML log(nullptr, QStringLiteral("steps.xml"));
    QCOMPARE(log.StartTest(1), 0);
    QCOMPARE(log.GetLastRecordNumber(), last);

    log.ClearSignalData();
    QCOMPARE(log.GetFrameNumber(), 0u);
    for (uint n : forward)
        QCOMPARE(log.NextFrame(), n);
    log.ClearSignalData();
    for (uint n : backward)
        QCOMPARE(log.PrevFrame(), n);
}

void TestLogReplay::readAxisSignalWindows()
{
    const QList<SFrame> lstFrames = {{"ADC", 0, {10, 11, 12}}, {"ADC", 1, {20, 21, 22}}, {"ADC", 2, {30, 31, 32}},
                                     {"ADC", 3, {40, 41, 42}}, {"AGC", 0, {1, 1, 1}},    {"AGC", 1, {2, 2, 2}}};
    WriteFile("w.xml", SmallLog(lstFrames, "TEST_TIMES_FOR_UNT=\"3\""));
    CTouchLogfileXML log(nullptr, QStringLiteral("w.xml"));
    QCOMPARE(log.StartTest(1), 0);
    log.ClearSignalData();

    SignalFrame frame = {99};
    uint32_t nFrame = 77;
    QCOMPARE(log.ReadAxisSignal("X", "T1", "ADC", frame, &nFrame), 3);
    QCOMPARE(frame, (SignalFrame{10, 11, 12}));
    QCOMPARE(nFrame, 0u);
    QCOMPARE(log.ReadAxisSignal("X", "T1", "AGC", frame), 3);
    for (int i = 1; i <= 3; ++i) {
        log.NextFrame();
        QVERIFY(log.ReadAxisSignal("X", "T1", "ADC", frame, &nFrame) == 3);
        QCOMPARE(nFrame, uint32_t(i));
        if (i == 1)
            QCOMPARE(log.ReadAxisSignal("X", "T1", "AGC", frame), 3);
    }
    // A window of TEST_TIMES_FOR_UNT frames; AGC keeps the newest one only.
    QCOMPARE(log.GetSignalMap("ADC")->value("X-T1"),
             (QList<SignalFrame>{{20, 21, 22}, {30, 31, 32}, {40, 41, 42}}));
    QCOMPARE(log.GetSignalMap("AGC")->value("X-T1"), (QList<SignalFrame>{{2, 2, 2}}));

    // No AGC frame at position 3: nothing read, nothing changed.
    frame = {99};
    QCOMPARE(log.ReadAxisSignal("X", "T1", "AGC", frame), 0);
    QVERIFY(frame.isEmpty());
    QCOMPARE(log.GetSignalMap("AGC")->value("X-T1").size(), 1);
    // Unknown axis, direction or kind: nothing.
    QCOMPARE(log.ReadAxisSignal("Q", "T1", "ADC", frame), 0);
    QCOMPARE(log.ReadAxisSignal("X", "T7", "ADC", frame), 0);
    QCOMPARE(log.ReadAxisSignal("X", "T1", "adc", frame), 0);
    // The position is reported whatever was read.
    nFrame = 77;
    QCOMPARE(log.ReadAxisSignal("X", "T1", "REVERSE", frame, &nFrame), 0);
    QCOMPARE(nFrame, 3u);
    nFrame = 77;
    QCOMPARE(log.ReadAxisSignal("Q", "T1", "AGC", frame, &nFrame), 0);
    QCOMPARE(nFrame, 3u);
    QVERIFY(!log.GetSignalMap("ADC")->contains("Q-T1"));
    QVERIFY(!log.GetAxisSignalMap().contains("Q"));
    QCOMPARE(log.GetAxisSignalMap()["X"].GetDirMap().keys(), QList<QString>{"T1"});

    // A log without a positive count keeps the newest ADC frame alone.
    WriteFile("w.xml", SmallLog(lstFrames, "TEST_TIMES_FOR_UNT=\"0\""));
    QCOMPARE(log.ReTest(1), 0);
    log.ClearSignalData();
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(log.ReadAxisSignal("X", "T1", "ADC", frame), 3);
        log.NextFrame();
    }
    QCOMPARE(log.GetSignalMap("ADC")->value("X-T1"), (QList<SignalFrame>{{40, 41, 42}}));
}

void TestLogReplay::readAxisSignalReverseAndUnt()
{
    const QList<SFrame> lstFrames = {{"ADC", 0, {10, 20, 30}}, {"ADC", 1, {30, 20, 10}}, {"REVERSE", 0, {5, 6, 7}},
                                     {"REVERSE", 1, {8, 9, 10}}};
    WriteFile("r.xml", SmallLog(lstFrames));
    CTouchLogfileXML log(nullptr, QStringLiteral("r.xml"));
    QCOMPARE(log.StartTest(1), 0);
    log.ClearSignalData();

    QCOMPARE(log.SetReverseMode(true), 0);
    QVERIFY(log.IsReverseMode());
    SignalFrame frame;
    QCOMPARE(log.ReadAxisSignal("X", "T1", "ADC", frame), 3);
    QCOMPARE(frame, (SignalFrame{5, 6, 7}));
    log.NextFrame();
    QCOMPARE(log.ReadAxisSignal("X", "T1", "ADC", frame), 3);
    QCOMPARE(log.GetSignalMap("REVERSE")->value("X-T1"), (QList<SignalFrame>{{8, 9, 10}}));
    QVERIFY(log.GetSignalMap("ADC")->isEmpty());

    QCOMPARE(log.SetReverseMode(false), 0);
    log.ClearSignalData();
    QCOMPARE(log.ReadAxisSignal("X", "T1", "ADC", frame), 3);
    log.NextFrame();
    QCOMPARE(log.ReadAxisSignal("X", "T1", "ADC", frame), 3);

    // UNT is computed from the ADC window (10 20 30 and 30 20 10) with the
    // direction's standard type (Absolute: the spread of each LED) and the
    // axis's LED count; the frame number out is left alone.
    QCOMPARE(log.GetSignalMap("ADC")->value("X-T1"), (QList<SignalFrame>{{10, 20, 30}, {30, 20, 10}}));
    uint32_t nFrame = 77;
    QCOMPARE(log.ReadAxisSignal("X", "T1", "UNT", frame, &nFrame), 3);
    QCOMPARE(frame, (SignalFrame{20, 0, 20}));
    QCOMPARE(nFrame, 77u);
}

void TestLogReplay::replayPerformsNoDeviceWork()
{
    WriteFile("p.xml", SmallLog({{"ADC", 0, {1, 2, 3}}}));
    CTouchLogfileXML log(nullptr, QStringLiteral("p.xml"));
    QCOMPARE(log.GetType(), 2);
    QCOMPARE(log.StartTest(1), 0);
    SignalMap map;
    map["X-T1"].append({4, 5, 6});
    QCOMPARE(log.RecordSignal("ADC", map, 7), 0);
    QList<uint32_t> frame;
    QCOMPARE(log.GetAxisSignalMap()["X"].GetTestData("T1", "ADC", frame, 7), 0);
    QCOMPARE(log.InitAgc(), 0);
    QCOMPARE(log.InitTestConfig(), 0);
    QCOMPARE(log.InitDeviceInfo(), 0);
    QVERIFY(!log.ReInitDeviceInfo());
    QCOMPARE(log.SaveXml("out.xml"), 0);
    QVERIFY(!QFile::exists("out.xml"));
    QCOMPARE(log.GetPropertyList(), (QList<CPropertyItem>{{"Product", "P"}}));
}

STATION_TEST_MAIN_CORE(TestLogReplay)
#include "tst_logreplay.moc"
