// A frame tested from end to end without a window: the emulated frame sits on
// the fake OS backend as a hidraw node, the real device layer and USB port
// carry its reports, and the station runs the first test (preparation, panel,
// limits, REVERSE, AGC and ADC reads, analysis), files the log as the test
// view does, and a replay of the saved log gives the same verdict.
//
// The expected results are worked out here from the analysis rules: every
// light path joins emitter e = i and receiver r = max(0, min(O + i, M - 1));
// a path is as bright as the darker of its two sensors; a level at or below
// the ADC problem limit is dark, one below the ADC test range is weak, and
// each out-of-range path is named in the signal-error map by its board and
// position text with four times its level. Sensors, boards and connectors
// follow by hand below.

#include "comportusb.h"
#include "hardwareinterface.h"
#include "stationclock.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "touchlogfilexml.h"

#include <QDir>
#include <QFile>
#include <QtTest>
#include <memory>

namespace {

QString Hex(int32_t n)
{
    return QStringLiteral("0x%1").arg(uint32_t(n), 8, 16, QLatin1Char('0'));
}

// The panel of these tests: X 12 LEDs on boards of 6, Y 8 LEDs on boards of 4,
// offsets X (-2, 0, 2) and Y (-1, 0, 1); limits ADC 100..255, problem 0..30,
// AGC 10..250, UNT 0..40; every path at ADC 200 and AGC 128 when healthy.
constexpr int kAdcLo = 100;
constexpr int kAdcHi = 255;
constexpr int kProblemHi = 30;

struct SAxis
{
    const char *name, *emitters, *receivers;
    int M, board;
    int offsets[3];
};
const SAxis kAxes[2] = {{"X", "Bottom", "Top", 12, 6, {-2, 0, 2}}, {"Y", "Right", "Left", 8, 4, {-1, 0, 1}}};

void SetUpPanel(CEmulatedPanel::Model &m)
{
    m.nX = 12;
    m.nY = 8;
    m.boards[0] = m.boards[1] = {6, 6};
    m.boards[2] = m.boards[3] = {4, 4};
    for (int a = 0; a < 2; ++a)
        for (int d = 0; d < 3; ++d) {
            m.offsets[a][d] = kAxes[a].offsets[d];
            CEmulatedPanel::Limits &l = m.limits[a][d];
            l.adcHi = kAdcHi;
            l.adcLo = kAdcLo;
            l.adcProblemHi = kProblemHi;
            l.adcProblemLo = 0;
            l.agcHi = 250;
            l.agcLo = 10;
            l.untHi = 40;
            l.untLo = 0;
        }
    m.nAdc = 200;
    m.nAgc = 128;
}

// What the analysis must find on the light paths for the given sensor levels.
struct SExpected
{
    SignalErrorMap errors;
    QList<QString> lightError;
    QList<QString> lightWeak;
};

SExpected ExpectedPaths(const QMap<QString, quint8> &levels, int nTightLo = kAdcLo)
{
    SExpected x;
    for (const SAxis &axis : kAxes) {
        for (int d = 0; d < 3; ++d) {
            for (int i = 0; i < axis.M; ++i) {
                const int e = i;
                const int r = qMax(0, qMin(axis.offsets[d] + i, axis.M - 1));
                const QString strE = QStringLiteral("%1:%2").arg(QLatin1String(axis.emitters)).arg(e);
                const QString strR = QStringLiteral("%1:%2").arg(QLatin1String(axis.receivers)).arg(r);
                const int level = qMin(levels.value(strE, 200), levels.value(strR, 200));
                const QString relation = strE + QLatin1Char('-') + strR;
                const QString label = QStringLiteral("T%1:%2-R%3:%4")
                                          .arg(e / axis.board + 1)
                                          .arg(e % axis.board + 1)
                                          .arg(r / axis.board + 1)
                                          .arg(r % axis.board + 1);
                const int lo = (QLatin1String(axis.name) == QLatin1String("X") && d == 1) ? nTightLo : kAdcLo;
                if (level < lo || level > kAdcHi)
                    x.errors.insert(QStringLiteral("%1-T%2:[%3]").arg(QLatin1String(axis.name)).arg(d).arg(label),
                                    QStringLiteral("ADC:%1").arg(4 * level));
                if (level <= kProblemHi)
                    x.lightError << relation;
                else if (level < lo)
                    x.lightWeak << relation;
            }
        }
    }
    return x;
}

// The fault keys of a problem map that hold entries.
ProblemMap Faults(const ProblemMap &map)
{
    ProblemMap out;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it)
        if (!it.value().isEmpty())
            out.insert(it.key(), it.value());
    return out;
}

QList<QString> Names(const char *side, int from, int to)
{
    QList<QString> l;
    for (int n = from; n <= to; ++n)
        l << QStringLiteral("%1:%2").arg(QLatin1String(side)).arg(n);
    return l;
}

} // namespace

Q_DECLARE_METATYPE(ProblemMap)

class TestEndToEnd : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CStationRig> m_pRig;
    CEmulatedFrame *m_frame = nullptr;    // the rig's
    CEmulatedPanel *m_panel = nullptr;    // the rig's
    CEmulatedUsbFrame *m_usb = nullptr;   // the rig's
    CComPortUsb *m_port = nullptr;        // the rig's
    std::unique_ptr<HardwareInterface> m_hw;
    QList<int> m_sleeps;

    bool Start()
    {
        m_usb->Plug();
        m_port = m_pRig->OpenPort();
        if (!m_pRig->WaitForDevices(1))
            return false;
        m_hw.reset(new HardwareInterface(nullptr, m_port, QStringLiteral("emulated")));
        return true;
    }

    // What the test view does after a run: the verdict, and the log filed
    // under "Data" only when the run itself succeeded.
    QString FileLog(int32_t nRun)
    {
        if (nRun < 0)
            return QString();
        const QString strDir = QStringLiteral("Data/") + m_hw->GetLogDir();
        if (!QDir().mkpath(strDir))
            return QString();
        const QString strPath = strDir + QLatin1Char('/') + m_hw->GetLogFileName()
            + (m_hw->GetSignalErrors().isEmpty() ? QStringLiteral("_PASS") : QStringLiteral("_NG"))
            + QStringLiteral(".xml");
        return m_hw->SaveXml(strPath) == 0 ? strPath : QString();
    }

    // A replay of the saved log gives the live verdict.
    void CheckReplay(const QString &strPath, const SignalErrorMap &errors, const ProblemMap &problems,
                     const QString &strCode)
    {
        QVERIFY(QFile::exists(strPath));
        CTouchLogfileXML replay(nullptr, strPath);
        QCOMPARE(Hex(replay.StartTest(0)), Hex(0));
        QCOMPARE(replay.GetSignalErrors(), errors);
        ProblemMap replayProblems;
        QCOMPARE(replay.GetErrors(replayProblems), 0);
        QCOMPARE(Faults(replayProblems), Faults(problems));
        QString strReplayCode = QStringLiteral("PASS"), strMessage;
        replay.GetTestResultCode(strReplayCode, strMessage);
        QCOMPARE(strReplayCode, strCode);
        QCOMPARE(replay.GetHardwareInfo().GetTotalSensorCount(), m_hw->GetHardwareInfo().GetTotalSensorCount());
    }

private slots:
    void initTestCase()
    {
        // The parameter table of the process: one frame's checksum tightens
        // the lower ADC limit of X/T1 above the healthy level.
        QFile file(QStringLiteral("TouchTestInfo-V0100.csv"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("CheckSum:0x5A5A,X-T1-ADC:230-255\n");
    }

    void init()
    {
        CStationClock::SetTimeoutScale(1.0);
        CStationClock::SetSleepHook([this](int ms) { m_sleeps << ms; });
        m_sleeps.clear();
        m_pRig = std::make_unique<CStationRig>();
        CStationRig::SFrame &frame = m_pRig->AddFrame();
        m_frame = &frame.frame;
        m_panel = &frame.panel;
        m_panel->Edit(SetUpPanel);
        m_usb = frame.usb.get();
        QDir(QStringLiteral("Data")).removeRecursively();
    }

    void cleanup()
    {
        // Every request of the run was one the protocol has, well formed.
        const QStringList violations = m_frame->Violations();
        m_hw.reset();
        m_port = nullptr;
        m_usb = nullptr;
        m_panel = nullptr;
        m_frame = nullptr;
        m_pRig.reset();
        CTestEnvironment::RealClock();
        QVERIFY2(violations.isEmpty(), qPrintable(violations.join('\n')));
    }

    void healthyFramePasses()
    {
        QVERIFY(Start());
        QCOMPARE(Hex(m_hw->StartTest(0)), Hex(0));
        QVERIFY(m_hw->GetSignalErrors().isEmpty());
        ProblemMap problems;
        QCOMPARE(m_hw->GetErrors(problems), 0);
        QVERIFY(Faults(problems).isEmpty());
        QString strCode = QStringLiteral("PASS"), strMessage;
        m_hw->GetTestResultCode(strCode, strMessage);
        QCOMPARE(strCode, QStringLiteral("PASS"));
        QVERIFY(m_sleeps.isEmpty());

        // The run read one REVERSE and one AGC frame and the ten ADC frames;
        // UNT came from the ADC frames.
        const CAxisSignalInfo x = m_hw->GetAxisSignalMap().value(QStringLiteral("X"));
        QCOMPARE(x.GetRecordCount(), 11u);
        QCOMPARE(m_hw->GetSignalMap(QStringLiteral("ADC"))->value(QStringLiteral("Y-T2")).size(), 10);
        QCOMPARE(m_hw->GetSignalMap(QStringLiteral("UNT"))->value(QStringLiteral("X-T0")).first(),
                 SignalFrame::fromVector(QVector<uint32_t>(12, 0)));

        const QString strPath = FileLog(0);
        QVERIFY(strPath.endsWith(QLatin1String("_PASS.xml")));
        QVERIFY(strPath.startsWith(QLatin1String("Data/KT-T65WHSUR-10P/0x1A2B-0x3C4D/")));
        CheckReplay(strPath, {}, problems, QStringLiteral("PASS"));

        // A retest reads again without preparing: no geometry, limits or
        // device information are asked for.
        m_frame->ClearRequests();
        QCOMPARE(Hex(m_hw->ReTest(0)), Hex(0));
        QVERIFY(m_hw->GetSignalErrors().isEmpty());
        for (const QByteArray &r : m_frame->Requests()) {
            const quint8 cmd = quint8(r[1]);
            QVERIFY2(cmd == 0xA5 || cmd == 0xA8, qPrintable(QString::fromLatin1(r.left(3).toHex(' '))));
            QVERIFY(quint8(r[2]) == 0x01 || quint8(r[2]) == 0x08);
        }
        QCOMPARE(m_frame->RequestsFor(0xA8, 0x08).size(), 2);
    }

    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("code");
        QTest::addColumn<ProblemMap>("sensors"); // SENSOR_*, PCB_ERROR and CONNECTOR_* as they must come out

        // Emitter 5 of the bottom side dark: its three paths (to Top:3, 5, 7)
        // are dark, it is a damaged sensor, the three receivers see one dark
        // path out of three each.
        QTest::newRow("dead LED") << "Bottom:5" << "NG2"
                                  << ProblemMap{{"SENSOR_ERROR", {"Bottom:5"}},
                                                {"SENSOR_WEEK", {"Top:3", "Top:5", "Top:7"}}};
        // Receiver 6 of the top side dark: paths from Bottom:8 (T0), 6 (T1), 4 (T2).
        QTest::newRow("dead receiver") << "Top:6" << "NG2"
                                       << ProblemMap{{"SENSOR_ERROR", {"Top:6"}},
                                                     {"SENSOR_WEEK", {"Bottom:4", "Bottom:6", "Bottom:8"}}};
        // Emitter 2 of the right side weak (above the problem limit, below the
        // test range): its paths to Left:1, 2, 3 are weak; four weak sensors
        // of forty is not more than a tenth.
        QTest::newRow("weak sensor") << "Right:2=60" << "NG3"
                                     << ProblemMap{{"SENSOR_WEEK", {"Left:1", "Left:2", "Left:3", "Right:2"}}};
        // The first top board dead: its six receivers and the emitters that
        // only reach them (Bottom:0..3) are damaged; Bottom:4..7 reach it with
        // some paths. The board stays a board fault: the scan from the end of
        // the top side stops at the live last board.
        QTest::newRow("broken board") << "board Top 0" << "NG5"
                                      << ProblemMap{{"SENSOR_ERROR", Names("Bottom", 0, 3) + Names("Top", 0, 5)},
                                                    {"SENSOR_WEEK", Names("Bottom", 4, 7)},
                                                    {"PCB_ERROR", {"Top:0"}}};
        // The connector from the last left board to the top side broken: the
        // whole top side is dark, so every X path is; both X sides are board
        // faults, explained by the connector Left:1-Top:0 (the left side
        // still lives), and the bottom boards are taken off as well.
        QTest::newRow("broken connector") << "connector Left:1-Top:0" << "NG1"
                                          << ProblemMap{{"SENSOR_ERROR", Names("Bottom", 0, 11) + Names("Top", 0, 11)},
                                                        {"CONNECTOR_ERROR", {"Left:1-Top:0"}}};
    }

    void faults()
    {
        QFETCH(QString, fault);
        QFETCH(QString, code);
        QFETCH(ProblemMap, sensors);

        QMap<QString, quint8> levels;
        if (fault.startsWith(QLatin1String("board Top 0"))) {
            for (const QString &s : Names("Top", 0, 5))
                levels[s] = 0;
        } else if (fault.startsWith(QLatin1String("connector"))) {
            for (const QString &s : Names("Top", 0, 11))
                levels[s] = 0;
        } else if (fault.contains(QLatin1Char('='))) {
            levels[fault.section(QLatin1Char('='), 0, 0)] = quint8(fault.section(QLatin1Char('='), 1).toInt());
        } else {
            levels[fault] = 0;
        }
        m_panel->Edit([&](CEmulatedPanel::Model &m) { m.sensorAdc = levels; });

        QVERIFY(Start());
        QCOMPARE(Hex(m_hw->StartTest(0)), Hex(0));
        const SExpected expected = ExpectedPaths(levels);
        QCOMPARE(m_hw->GetSignalErrors(), expected.errors);
        // Errors after the first pass: the AGC was initialised again and a
        // second pass found the same.
        QCOMPARE(m_frame->RequestsFor(0xA2, 0x09).size(), 1);

        ProblemMap problems;
        QCOMPARE(m_hw->GetErrors(problems), 0);
        ProblemMap want = sensors;
        if (!expected.lightError.isEmpty())
            want.insert(QStringLiteral("LIGHT_ERROR"), expected.lightError);
        if (!expected.lightWeak.isEmpty())
            want.insert(QStringLiteral("LIGHT_WEAK"), expected.lightWeak);
        QCOMPARE(Faults(problems), want);
        QString strCode = QStringLiteral("PASS"), strMessage;
        m_hw->GetTestResultCode(strCode, strMessage);
        QCOMPARE(strCode, code);
        QVERIFY(!strMessage.isEmpty());

        const QString strPath = FileLog(0);
        QVERIFY(strPath.endsWith(QLatin1String("_NG.xml")));
        CheckReplay(strPath, expected.errors, problems, code);
    }

    // The parameter-table entry of a frame raises the lower ADC limit of X/T1
    // above the frame's healthy level: the same frame that passes under
    // another checksum fails with every X/T1 path weak.
    void tighterTableEntryFailsAHealthyFrame()
    {
        m_frame->Edit([](CEmulatedFrame::State &s) {
            s.info.first.nAppChecksum = 0x5A5A;
            s.info.second.nAppChecksum = 0x5A5A;
        });
        QVERIFY(Start());
        QCOMPARE(Hex(m_hw->StartTest(0)), Hex(0));
        QCOMPARE(m_hw->GetAxisSignalMap()[QStringLiteral("X")].GetTestStandards("T1", "ADC"),
                 (QList<SignalRange>{{230, 255}}));
        const SExpected expected = ExpectedPaths({}, 230);
        QCOMPARE(expected.errors.size(), 12);
        QCOMPARE(m_hw->GetSignalErrors(), expected.errors);
        ProblemMap problems;
        QCOMPARE(m_hw->GetErrors(problems), 0);
        // Every X sensor has one weak path of its three: 24 weak sensors of 40.
        QCOMPARE(Faults(problems), (ProblemMap{{"LIGHT_WEAK", expected.lightWeak},
                                               {"SENSOR_WEEK", Names("Bottom", 0, 11) + Names("Top", 0, 11)}}));
        QString strCode = QStringLiteral("PASS"), strMessage;
        m_hw->GetTestResultCode(strCode, strMessage);
        QCOMPARE(strCode, QStringLiteral("NG4"));
        const QString strPath = FileLog(0);
        QVERIFY(strPath.contains(QLatin1String("/0x5A5A-0x5A5A/")));
        CheckReplay(strPath, expected.errors, problems, QStringLiteral("NG4"));
    }

    // The frame leaves in the middle of the AGC reads (after the two REVERSE
    // chunks and three AGC chunks): the run ends with the device-lost code of
    // the signal read and no log is filed.
    void unplugDuringTheReads()
    {
        m_panel->Edit([](CEmulatedPanel::Model &m) { m.nUnplugAfterChunks = 5; });
        QVERIFY(Start());
        const int32_t r = m_hw->StartTest(0);
        QCOMPARE(Hex(r), Hex(0x80100002));
        QVERIFY(FileLog(r).isEmpty());
        QVERIFY(!QDir(QStringLiteral("Data")).exists());
        QVERIFY(m_pRig->WaitForDevices(0));
        // A retest of the lost frame fails at once the same way.
        QVERIFY(m_hw->ReTest(0) < 0);
    }
};

STATION_TEST_MAIN_CORE(TestEndToEnd)
#include "tst_endtoend.moc"
