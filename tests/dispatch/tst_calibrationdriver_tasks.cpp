// The calibration tasks of the dispatcher against an emulated frame behind
// the real USB port: every answer the calibration screens get (the
// calibration message compared as exact JSON, the step and data signals) in
// the order they get them, and the commands the frame receives.

#include "handlework.h"
#include "hardwareinterface.h"
#include "mutexholder.h"
#include "runlogcapture.h"
#include "shelltestwindow.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "waitfor.h"

#include <QMutexLocker>
#include <QSignalSpy>
#include <QtTest>
#include <climits>

namespace {
const QString kDeviceForm =
    R"(msg:{"device":{"Product":"KT-T65WHSUR-10P","calData":{"LX":"%1","LY":"%2","RX":"%3","RY":"%4"}},"usb":true})";

QString DeviceForm(quint16 lx = 0x100, quint16 ly = 0x200, quint16 rx = 0x7E00, quint16 ry = 0x7D00)
{
    return kDeviceForm.arg(lx, 0, 16).arg(ly, 0, 16).arg(rx, 0, 16).arg(ry, 0, 16);
}

QString Result(quint32 nCode)
{
    return QStringLiteral("msg:{\"funcResult\":\"%1\"}").arg(nCode, 0, 16);
}

QString Step(int n)
{
    return QStringLiteral("msg:{\"step\":%1}").arg(n);
}

// The calibration screens as the dispatcher sees them: they post with
// themselves as the argument and get these answers.
class CCalScreenDouble : public QObject
{
    Q_OBJECT
public:
    QStringList answers;
public slots:
    void CalDataSent(int result) { answers << QStringLiteral("CalDataSent %1").arg(uint32_t(result), 0, 16); }
    void CalValuesRead(int lx, int ly, int rx, int ry)
    {
        answers << QStringLiteral("CalValuesRead %1 %2 %3 %4").arg(lx).arg(ly).arg(rx).arg(ry);
    }
    void FineTuningExited(int result, bool bFormatsRead)
    {
        answers << QStringLiteral("FineTuningExited %1").arg(uint32_t(result), 0, 16)
                       + (bFormatsRead ? QString() : QStringLiteral(" (formats not read)"));
    }
};

const QByteArray kFrameA = QByteArray::fromHex("A1A2A3A4");
const QByteArray kFrameB = QByteArray::fromHex("B1B2B3B4");

// The frame leaves fine tuning: every calibration command waiting for its
// answer ends at once with 0x80NN0005, a failure that costs no time-out.
CEmulatedFrame::Fault FineTuneEnd(int nTimes = -1)
{
    return CEmulatedFrame::CustomReplies(
        {QByteArray::fromHex("FCFE830000A212")}, nTimes);
}
} // namespace

class TestCalibrationDriver : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void arrivalSendsTheDeviceForm();
    void steps_data();
    void steps();
    void stepTimeoutSetting_data();
    void stepTimeoutSetting();
    void stepTimeoutReachesTheStep();
    void failingStep_data();
    void failingStep();
    void stepAnsweredWithoutTarget();
    void exitCurrentWorkEndsAWaitingStep();
    void exitCurrentWorkBeforeTheStepReachesTheFrame();
    void stopEndsTheRestOfItsFourPointRun_data();
    void stopEndsTheRestOfItsFourPointRun();
    void edgeMoves_data();
    void edgeMoves();
    void failedEdgeMoveKeepsTheMovedValue();
    void saves_data();
    void saves();
    void endOk_data();
    void endOk();
    void endFailAndReset_data();
    void endFailAndReset();
    void getCalData();
    void calFormat_data();
    void calFormat();
    void fineTuning();
    void fineTuningWhenTheFormatsCannotBeRead_data();
    void fineTuningWhenTheFormatsCannotBeRead();
    void fileParametersToDevice_data();
    void fileParametersToDevice();
    void sendCalDataToDev();
    void answersToTheScreens_data();
    void answersToTheScreens();
    void gettersWithoutFrame();
    void tasksWithoutFrameDoNothing();

private:
    bool PlugFrame();
    // The main window was told that the frame left.
    bool WaitForRemoval()
    {
        return StationTest::WaitFor([this] {
            const QList<bool>& statuses = m_pRig->ShellWindow()->statuses;
            return !statuses.isEmpty() && !statuses.last();
        });
    }
    // Fine tuning left while its frame (McuID kFrameA, formats 3/2) is out:
    // its formats are owed to it.
    bool OweFormatsToFrameA();
    HardwareInterface* Device() { return dynamic_cast<HardwareInterface*>(m_pRig->Work()->GetTouchDevice()); }

    std::unique_ptr<CStationRig> m_pRig;
};

void TestCalibrationDriver::init()
{
    // 10 s waits become 200 ms, 80 s 1.6 s, the 30 s step wait 600 ms.
    CTestEnvironment::FastClock(0.02);
    m_pRig = std::make_unique<CStationRig>();
    m_pRig->AddFrame(CStationRig::SFrameOptions::Upgradable());
    m_pRig->StartDispatcher(CALIBRATEWORK);
    // The port's first enumeration finds the empty bus.
    m_pRig->Settle();
}

void TestCalibrationDriver::cleanup()
{
    m_pRig.reset();
    CTestEnvironment::RealClock();
}

bool TestCalibrationDriver::PlugFrame()
{
    m_pRig->Frame().usb->Plug();
    // With the calibration view open the arrival reads the calibration data.
    if (!StationTest::WaitFor([this] { return m_pRig->Record().events.contains("deviceinfo"); }))
        return false;
    m_pRig->Settle();
    m_pRig->ClearRecord();
    return true;
}

void TestCalibrationDriver::arrivalSendsTheDeviceForm()
{
    m_pRig->Frame().usb->Plug();
    QVERIFY(StationTest::WaitFor([this] { return m_pRig->Record().events.contains("deviceinfo"); }));
    m_pRig->Settle();
    QCOMPARE(m_pRig->Record().events, (QStringList{DeviceForm(), "deviceinfo"}));
    // Calibration values, format, then the device information.
    const QStringList cmds = m_pRig->Frame().AppCommands();
    QVERIFY(cmds.size() > 2);
    QCOMPARE(cmds.mid(0, 2), (QStringList{"A1 04", "30 11"}));
}

void TestCalibrationDriver::steps_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<int>("step");       // step number sent to the frame
    QTest::addColumn<int>("check");      // the frame's check result byte
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("log"); // a line of the run log, or empty

    QTest::newRow("STEP_BEGIN") << "STEP_BEGIN" << 0 << 3 << QStringList{"step:1", Step(1)} << "";
    QTest::newRow("STEP_1") << "STEP_1" << 1 << 3 << QStringList{"step:2", Step(2)} << "";
    QTest::newRow("STEP_2") << "STEP_2" << 2 << 3 << QStringList{"step:3", Step(3)} << "";
    QTest::newRow("STEP_3") << "STEP_3" << 3 << 3 << QStringList{"step:4", Step(4)} << "";
    QTest::newRow("STEP_4: check next") << "STEP_4" << 4 << 3 << QStringList{"step:5", Step(5)} << "";
    QTest::newRow("STEP_CHECK accepted") << "STEP_CHECK" << 5 << 2 << QStringList{Step(6)}
                                         << "ProcessTask :STEP_CHECK the frame accepts the calibration";
    QTest::newRow("STEP_CHECK deviation too large")
        << "STEP_CHECK" << 5 << 3 << QStringList{Step(7)}
        << "ProcessTask :STEP_CHECK the frame reports the deviation as too large";
}

void TestCalibrationDriver::steps()
{
    QFETCH(QString, task);
    QFETCH(int, step);
    QFETCH(int, check);
    QFETCH(QStringList, events);
    QFETCH(QString, log);

    QVERIFY(PlugFrame());
    m_pRig->Frame().frame.Edit([check](CEmulatedFrame::State& s) { s.cal.nCheckResult = quint8(check); });
    CRunLogCapture runLog;
    QVERIFY(m_pRig->Run(task));
    QCOMPARE(m_pRig->Record().events, events);
    if (!log.isEmpty())
        QVERIFY2(runLog.Lines().contains(log), qPrintable(runLog.Lines().join('\n')));
    const QStringList expectedCmds = QStringList{QStringLiteral("01 %1").arg(step, 2, 10, QLatin1Char('0'))};
    QCOMPARE(m_pRig->Frame().AppCommands(expectedCmds.size()), expectedCmds);
    QVERIFY(m_pRig->ShellWindow()->errors.isEmpty());
}

void TestCalibrationDriver::stepTimeoutSetting_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("ms");
    QTest::newRow("30") << 30 << 30000;
    QTest::newRow("10") << 10 << 10000;
    QTest::newRow("9") << 9 << 10000;
    QTest::newRow("0") << 0 << 10000;
    QTest::newRow("-5") << -5 << 10000;
    QTest::newRow("huge") << INT_MAX << INT_MAX;
}

void TestCalibrationDriver::stepTimeoutSetting()
{
    QFETCH(int, seconds);
    QFETCH(int, ms);
    QCOMPARE(m_pRig->Work()->GetCalStepTimeout(), 30000);
    m_pRig->Work()->ChangeCalStepTimeout(seconds);
    QCOMPARE(m_pRig->Work()->GetCalStepTimeout(), ms);
}

void TestCalibrationDriver::stepTimeoutReachesTheStep()
{
    // The operator touches 15 s after the target appears. With the 30 s
    // count-down one wait covers it; with 10 s the first wait runs out and
    // the step is asked again before the answer comes.
    QVERIFY(PlugFrame());
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) { s.cal.nTouchDelayMs = 15000; });
    m_pRig->Work()->ChangeCalStepTimeout(30);
    QVERIFY(m_pRig->Run("STEP_1"));
    QCOMPARE(m_pRig->Record().events, (QStringList{"step:2", Step(2)}));
    QCOMPARE(m_pRig->Frame().frame.RequestsFor(0x01, 0x01).size(), 1);

    m_pRig->Settle();
    m_pRig->ClearRecord();
    m_pRig->Work()->ChangeCalStepTimeout(5);
    QVERIFY(m_pRig->Run("STEP_2"));
    QCOMPARE(m_pRig->Frame().frame.RequestsFor(0x01, 0x02).size(), 2);
    QCOMPARE(m_pRig->Record().events.last(), Step(3));
}

void TestCalibrationDriver::failingStep_data()
{
    QTest::addColumn<bool>("resetFails");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("commands");  // after the ten step requests

    // Ten unanswered step requests: the frame's calibration is reset, its
    // calibration mode ended, and then the failure is reported.
    QTest::newRow("reset succeeds") << false
                                    << QStringList{"reset:true", "caldata", DeviceForm(), Result(0x802A0001)}
                                    << QStringList{"A1 06", "A1 04", "01 FF"};
    QTest::newRow("reset fails") << true
                                 << QStringList{"reset:false", Result(0x80280005), DeviceForm(), Result(0x802A0001)}
                                 << QStringList{"A1 06", "01 FF"};
}

void TestCalibrationDriver::failingStep()
{
    QFETCH(bool, resetFails);
    QFETCH(QStringList, events);
    QFETCH(QStringList, commands);

    QVERIFY(PlugFrame());
    // Ten waits of 10 s (200 ms here); the reset and the reads after them
    // keep the margin of every other command.
    m_pRig->Work()->ChangeCalStepTimeout(0);
    m_pRig->Frame().frame.SetFault(0x01, 0x03, CEmulatedFrame::Silent());
    if (resetFails)
        m_pRig->Frame().frame.SetFault(0xA1, 0x06, FineTuneEnd());
    QVERIFY(m_pRig->Run("STEP_3"));
    QCOMPARE(m_pRig->Record().events, events);
    const QStringList cmds = m_pRig->Frame().AppCommands(10 + commands.size());
    QCOMPARE(cmds.mid(0, 10), QStringList(QVector<QString>(10, "01 03").toList()));
    QCOMPARE(cmds.mid(10), commands);
    // Step tasks answer through the message only; no error box.
    QVERIFY(m_pRig->ShellWindow()->errors.isEmpty());
}

void TestCalibrationDriver::stepAnsweredWithoutTarget()
{
    // An answer naming no target: the screens could only wait; the step is
    // ended as a failure of the step command.
    QVERIFY(PlugFrame());
    m_pRig->Frame().frame.SetFault(0x01, 0x01, CEmulatedFrame::CustomReplies({QByteArray::fromHex("FC0109")}));
    QVERIFY(m_pRig->Run("STEP_1"));
    QCOMPARE(m_pRig->Record().events, (QStringList{"reset:true", "caldata", DeviceForm(), Result(0x802A0003)}));
    const QStringList expectedCmds{"01 01", "A1 06", "A1 04", "01 FF"};
    QCOMPARE(m_pRig->Frame().AppCommands(expectedCmds.size()), expectedCmds);
}

void TestCalibrationDriver::exitCurrentWorkEndsAWaitingStep()
{
    QVERIFY(PlugFrame());
    // The operator never touches; the 1000 s wait (20 s here) is cut short.
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) { s.cal.nTouchDelayMs = -1; });
    m_pRig->Work()->ChangeCalStepTimeout(1000);
    QVERIFY(m_pRig->Work()->PostTask("STEP_2"));
    QVERIFY(StationTest::WaitFor([this] { return m_pRig->Frame().frame.RequestsFor(0x01, 0x02).size() == 1; }));
    m_pRig->Work()->ExitCurrentWork();
    // Interrupted, not timed out: one step request and the interruption's
    // code (a time-out would try again and end with 0x802A0001).
    QVERIFY(StationTest::WaitFor([this] { return m_pRig->Record().events.size() >= 4; }, 60000));
    m_pRig->Settle();
    QCOMPARE(m_pRig->Record().events, (QStringList{"reset:true", "caldata", DeviceForm(), Result(0x802A0004)}));
    // No second try of the interrupted step.
    const QStringList expectedCmds{"01 02", "A1 06", "A1 04", "01 FF"};
    QCOMPARE(m_pRig->Frame().AppCommands(expectedCmds.size()), expectedCmds);
}

// The screen's stop comes once the step task runs but before the step has
// reached the frame (the task still waits for the device): it is the same
// stop. The step is not sent and ends as interrupted at once, instead of
// waiting for a touch that the closed screen no longer asks for.
void TestCalibrationDriver::exitCurrentWorkBeforeTheStepReachesTheFrame()
{
    QVERIFY(PlugFrame());
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) { s.cal.nTouchDelayMs = -1; });
    m_pRig->Work()->ChangeCalStepTimeout(1000);
    CRunLogCapture runLog;
    {
        const CMutexHolder holder(m_pRig->Work()->GetDeviceMutex());
        QVERIFY(m_pRig->Work()->PostTask("STEP_2"));
        QVERIFY(StationTest::WaitFor([this] { return m_pRig->Work()->IsTaskRunning("STEP_2"); }));
        m_pRig->Work()->ExitCurrentWork();
    }
    QVERIFY(StationTest::WaitFor([this] { return m_pRig->Record().events.size() >= 4; }, 60000));
    m_pRig->Settle();
    QCOMPARE(m_pRig->Record().events, (QStringList{"reset:true", "caldata", DeviceForm(), Result(0x802A0004)}));
    const QStringList expectedCmds{"A1 06", "A1 04", "01 FF"};
    QCOMPARE(m_pRig->Frame().AppCommands(expectedCmds.size()), expectedCmds);
    QVERIFY(m_pRig->Frame().frame.RequestsFor(0x01, 0x02).isEmpty());
    QCOMPARE(runLog.Lines(QtInfoMsg).filter("stopped before it reached the frame").size(), 1);

    // The stop is spent: the steps of the next run wait for the frame as before.
    m_pRig->ClearRecord();
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) { s.cal.nTouchDelayMs = 0; });
    QVERIFY(m_pRig->Run("STEP_BEGIN"));
    QVERIFY(m_pRig->Run("STEP_2"));
    QCOMPARE(m_pRig->Frame().frame.RequestsFor(0x01, 0x02).size(), 1);
    QVERIFY(m_pRig->Record().events.filter("funcResult").isEmpty());
}

void TestCalibrationDriver::stopEndsTheRestOfItsFourPointRun_data()
{
    QTest::addColumn<QString>("when");
    // The step is posted, but the worker still runs an earlier task.
    QTest::newRow("step queued") << "queued";
    // The step before was answered; the view posts the next one after the
    // stop, for the message that step sent.
    QTest::newRow("between two steps") << "between";
}

// The four-point screen's stop (Escape, or its count-down at zero) ends its
// run: a step of that run that had not started yet ends as interrupted
// without reaching the frame, instead of waiting its time-out for a touch
// that the closed screen no longer asks for. A new run is not stopped.
void TestCalibrationDriver::stopEndsTheRestOfItsFourPointRun()
{
    QFETCH(QString, when);

    QVERIFY(PlugFrame());
    m_pRig->Work()->ChangeCalStepTimeout(1000);
    QVERIFY(m_pRig->Run("STEP_BEGIN"));
    QCOMPARE(m_pRig->Record().events.filter("\"step\""), (QStringList{Step(1)}));
    m_pRig->ClearRecord();
    m_pRig->Frame().frame.ClearRequests();
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) { s.cal.nTouchDelayMs = -1; });

    CRunLogCapture runLog;
    if (when == QLatin1String("queued")) {
        // The worker waits for the device in a task before the step.
        const CMutexHolder holder(m_pRig->Work()->GetDeviceMutex());
        QVERIFY(m_pRig->Work()->PostTask("GET_CAL_DATA"));
        QVERIFY(StationTest::WaitFor([this] { return m_pRig->Work()->IsTaskRunning("GET_CAL_DATA"); }));
        QVERIFY(m_pRig->Work()->PostTask("STEP_1"));
        QVERIFY(!m_pRig->Work()->IsTaskRunning("STEP_1"));
        m_pRig->Work()->ExitCurrentWork();
    } else {
        m_pRig->Work()->ExitCurrentWork();
        QVERIFY(m_pRig->Work()->PostTask("STEP_1"));
    }
    // Far below one step time-out (20 s here).
    QVERIFY(StationTest::WaitFor([this] { return m_pRig->Record().events.filter("funcResult").size() == 1; },
                                 10000));
    m_pRig->Settle();
    QCOMPARE(m_pRig->Record().events.filter("funcResult"), QStringList{Result(0x802A0004)});
    QVERIFY(m_pRig->Frame().frame.RequestsFor(0x01, 0x01).isEmpty());
    QCOMPARE(runLog.Lines(QtInfoMsg).filter("STEP_1 stopped before it reached the frame").size(), 1);
    // The frame left its calibration mode.
    QCOMPARE(m_pRig->Frame().frame.RequestsFor(0x01, 0xFF).size(), 1);

    // The next run is not stopped.
    m_pRig->ClearRecord();
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) { s.cal.nTouchDelayMs = 0; });
    QVERIFY(m_pRig->Run("STEP_BEGIN"));
    QVERIFY(m_pRig->Run("STEP_1"));
    QCOMPARE(m_pRig->Frame().frame.RequestsFor(0x01, 0x01).size(), 1);
    QVERIFY(m_pRig->Record().events.filter("funcResult").isEmpty());
    QCOMPARE(m_pRig->Record().events.filter("\"step\""), (QStringList{Step(1), Step(2)}));
}

void TestCalibrationDriver::edgeMoves_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<int>("value");  // 0 LX, 1 LY, 2 RX, 3 RY
    QTest::addColumn<int>("delta");
    QTest::newRow("CAL_LTL") << "CAL_LTL" << 0 << +1;
    QTest::newRow("CAL_LTR") << "CAL_LTR" << 0 << -1;
    QTest::newRow("CAL_RTL") << "CAL_RTL" << 2 << +1;
    QTest::newRow("CAL_RTR") << "CAL_RTR" << 2 << -1;
    QTest::newRow("CAL_TTT") << "CAL_TTT" << 1 << +1;
    QTest::newRow("CAL_TTB") << "CAL_TTB" << 1 << -1;
    QTest::newRow("CAL_BTB") << "CAL_BTB" << 3 << -1;
    QTest::newRow("CAL_BTT") << "CAL_BTT" << 3 << +1;
}

void TestCalibrationDriver::edgeMoves()
{
    QFETCH(QString, task);
    QFETCH(int, value);
    QFETCH(int, delta);

    QVERIFY(PlugFrame());
    QVERIFY(m_pRig->Run(task));
    QCOMPARE(m_pRig->Record().events, QStringList{"caldata"});
    const QStringList expectedCmds{"A1 01", "A1 02"};
    QCOMPARE(m_pRig->Frame().AppCommands(expectedCmds.size()), expectedCmds);

    quint16 expected[4] = {0x100, 0x200, 0x7E00, 0x7D00};
    expected[value] = quint16(expected[value] + delta);
    const CEmulatedFrame::State s = m_pRig->Frame().frame.Snapshot();
    for (int i = 0; i < 4; ++i)
        QCOMPARE(s.cal.value[i], expected[i]);
    // What the manual screen reads back.
    QCOMPARE(m_pRig->Work()->GetCalLX(), int(expected[0]));
    QCOMPARE(m_pRig->Work()->GetCalLY(), int(expected[1]));
    QCOMPARE(m_pRig->Work()->GetCalRX(), int(expected[2]));
    QCOMPARE(m_pRig->Work()->GetCalRY(), int(expected[3]));
}

void TestCalibrationDriver::failedEdgeMoveKeepsTheMovedValue()
{
    QVERIFY(PlugFrame());
    m_pRig->Frame().frame.SetFault(0xA1, 0x02, FineTuneEnd());
    QVERIFY(m_pRig->Run("CAL_LTL"));
    // The real code, then the values the station now holds.
    QCOMPARE(m_pRig->Record().events, (QStringList{Result(0x80250005), "caldata"}));
    QCOMPARE(m_pRig->Work()->GetCalLX(), 0x101);
    QCOMPARE(m_pRig->Frame().frame.Snapshot().cal.value[0], quint16(0x100));
    // Edge moves do not go to the error rule.
    QVERIFY(m_pRig->ShellWindow()->errors.isEmpty());
}

void TestCalibrationDriver::saves_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("SAVE_TO_FLASH") << "SAVE_TO_FLASH" << "A1 03" << false << QStringList{"caldata"};
    QTest::newRow("SAVE_TO_FLASH fails") << "SAVE_TO_FLASH" << "A1 03" << true << QStringList{Result(0x80290005)};
    QTest::newRow("SAVE_AS_DEFAULT") << "SAVE_AS_DEFAULT" << "A1 05" << false << QStringList{"caldata"};
    QTest::newRow("SAVE_AS_DEFAULT fails") << "SAVE_AS_DEFAULT" << "A1 05" << true << QStringList{Result(0x80270005)};
}

void TestCalibrationDriver::saves()
{
    QFETCH(QString, task);
    QFETCH(QString, command);
    QFETCH(bool, fails);
    QFETCH(QStringList, events);

    QVERIFY(PlugFrame());
    const QByteArray cmd = QByteArray::fromHex(command.toLatin1());
    if (fails)
        m_pRig->Frame().frame.SetFault(quint8(cmd[0]), quint8(cmd[1]), FineTuneEnd());
    QVERIFY(m_pRig->Run(task));
    QCOMPARE(m_pRig->Record().events, events);
    const QStringList expectedCmds = QStringList{command};
    QCOMPARE(m_pRig->Frame().AppCommands(expectedCmds.size()), expectedCmds);
}

void TestCalibrationDriver::endOk_data()
{
    QTest::addColumn<QStringList>("failing");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("all saved") << QStringList{} << QStringList{DeviceForm()};
    // The first failed save is reported, even when the later steps succeed.
    QTest::newRow("flash fails") << QStringList{"A1 03"} << QStringList{Result(0x80290005), DeviceForm()};
    QTest::newRow("default fails") << QStringList{"A1 05"} << QStringList{Result(0x80270005), DeviceForm()};
    QTest::newRow("both fail") << QStringList{"A1 03", "A1 05"} << QStringList{Result(0x80290005), DeviceForm()};
    QTest::newRow("first read fails") << QStringList{"A1 04 once"} << QStringList{Result(0x80260005), DeviceForm()};
}

void TestCalibrationDriver::endOk()
{
    QFETCH(QStringList, failing);
    QFETCH(QStringList, events);

    QVERIFY(PlugFrame());
    for (const QString& f : failing) {
        const QByteArray cmd = QByteArray::fromHex(f.left(5).toLatin1());
        m_pRig->Frame().frame.SetFault(quint8(cmd[0]), quint8(cmd[1]), FineTuneEnd(f.endsWith("once") ? 1 : -1));
    }
    QVERIFY(m_pRig->Run("STEP_END_OK"));
    QCOMPARE(m_pRig->Record().events, events);
    const QStringList expectedCmds{"01 FF", "A1 03", "A1 05", "A1 04", "A1 04"};
    QCOMPARE(m_pRig->Frame().AppCommands(expectedCmds.size()), expectedCmds);
    QVERIFY(m_pRig->Frame().frame.Snapshot().cal.bEnded);
}

void TestCalibrationDriver::endFailAndReset_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<bool>("resetFails");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("commands");
    // The frame goes back to its factory values: 0x0100 0x0200 0x7E00 0x7D00.
    QTest::newRow("STEP_END_FAIL") << "STEP_END_FAIL" << false
                                   << QStringList{"reset:true", "caldata", DeviceForm()}
                                   << QStringList{"A1 06", "A1 04", "01 FF"};
    QTest::newRow("STEP_END_FAIL, reset fails")
        << "STEP_END_FAIL" << true
        << QStringList{"reset:false", Result(0x80280005), DeviceForm(0x111, 0x222, 0x7333, 0x7444)}
        << QStringList{"A1 06", "01 FF"};
    QTest::newRow("RESET_CAL_DATA") << "RESET_CAL_DATA" << false
                                    << QStringList{"reset:true", "caldata", DeviceForm()}
                                    << QStringList{"A1 06", "A1 04"};
    QTest::newRow("RESET_CAL_DATA, reset fails")
        << "RESET_CAL_DATA" << true
        << QStringList{"reset:false", Result(0x80280005), DeviceForm(0x111, 0x222, 0x7333, 0x7444)}
        << QStringList{"A1 06"};
}

void TestCalibrationDriver::endFailAndReset()
{
    QFETCH(QString, task);
    QFETCH(bool, resetFails);
    QFETCH(QStringList, events);
    QFETCH(QStringList, commands);

    // The station holds values other than the factory ones.
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) {
        const quint16 v[4] = {0x111, 0x222, 0x7333, 0x7444};
        std::copy(v, v + 4, s.cal.value);
    });
    QVERIFY(PlugFrame());
    if (resetFails)
        m_pRig->Frame().frame.SetFault(0xA1, 0x06, FineTuneEnd());
    QVERIFY(m_pRig->Run(task));
    QCOMPARE(m_pRig->Record().events, events);
    const QStringList expectedCmds = commands;
    QCOMPARE(m_pRig->Frame().AppCommands(expectedCmds.size()), expectedCmds);
}

void TestCalibrationDriver::getCalData()
{
    QVERIFY(PlugFrame());
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) { s.cal.value[2] = 0x00FF; });
    QVERIFY(m_pRig->Run("GET_CAL_DATA"));
    QCOMPARE(m_pRig->Record().events, QStringList{DeviceForm(0x100, 0x200, 0xFF, 0x7D00)});

    // A failed read gives no message (and this code is no time-out: no box).
    m_pRig->ClearRecord();
    m_pRig->Frame().frame.SetFault(0xA1, 0x04, FineTuneEnd());
    QVERIFY(m_pRig->Run("GET_CAL_DATA"));
    QVERIFY(m_pRig->Record().events.isEmpty());
    QVERIFY(m_pRig->ShellWindow()->errors.isEmpty());
}

void TestCalibrationDriver::calFormat_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("event");
    QTest::newRow("GET_CAL_FMT") << "GET_CAL_FMT" << false << "30 11" << Result(0);
    QTest::newRow("SET_CAL_FMT") << "SET_CAL_FMT" << false << "30 02" << Result(0);
    QTest::newRow("SET_CAL_FMT refused") << "SET_CAL_FMT" << true << "30 02" << Result(0x802C0005);
}

void TestCalibrationDriver::calFormat()
{
    QFETCH(QString, task);
    QFETCH(bool, refused);
    QFETCH(QString, command);
    QFETCH(QString, event);

    QVERIFY(PlugFrame());
    if (refused)
        m_pRig->Frame().frame.SetFault(0x30, 0x02, CEmulatedFrame::StatusReply(0x83));
    QVERIFY(m_pRig->Run(task));
    QCOMPARE(m_pRig->Record().events, QStringList{event});
    const QStringList expectedCmds = QStringList{command};
    QCOMPARE(m_pRig->Frame().AppCommands(expectedCmds.size()), expectedCmds);
}

void TestCalibrationDriver::fineTuning()
{
    // The frame reports two multi-touch interfaces and a first fine-tune
    // value of 1 (its parameters are written back at the exit).
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) {
        s.settings.usb[0] = 3;
        s.settings.usb[1] = 2;
        s.cal.fineTune[1] = 1;
    });
    QVERIFY(PlugFrame());

    m_pRig->Work()->StartFineTuningCalibrate();
    m_pRig->Settle();
    // The formats and the frame's id first, kept for the exit.
    const QStringList expectedCmds{"30 04", "A9 00", "30 00", "A2 01", "A2 00", "A2 12"};
    QCOMPARE(m_pRig->Frame().AppCommands(expectedCmds.size()), expectedCmds);
    QList<QByteArray> reqs = m_pRig->Frame().frame.Requests();
    QCOMPARE(quint8(reqs[2][5]), quint8(1));  // both interfaces as mice
    QCOMPARE(quint8(reqs[2][6]), quint8(1));
    QCOMPARE(quint8(reqs[4][5]), quint8(0xFF));  // no values
    QCOMPARE(quint8(reqs[4][6]), quint8(0x00));
    QCOMPARE(quint8(reqs[5][5]), quint8(0));
    QVERIFY(m_pRig->Record().events.isEmpty());

    m_pRig->ClearRecord();
    m_pRig->Work()->ExitFineTuningCalibrate(true);
    m_pRig->Settle();
    const QStringList expectedExit{"A2 00", "A2 12", "30 00"};
    QCOMPARE(m_pRig->Frame().AppCommands(expectedExit.size()), expectedExit);
    reqs = m_pRig->Frame().frame.Requests();
    QCOMPARE(quint8(reqs[0][6]), quint8(1));  // with the values read at the start
    QCOMPARE(quint8(reqs[0][5]), quint8(5));
    QCOMPARE(quint8(reqs[1][5]), quint8(1));
    // The interfaces get back the formats they had.
    const CEmulatedFrame::State s = m_pRig->Frame().frame.Snapshot();
    QCOMPARE(s.settings.usb[0], quint8(3));
    QCOMPARE(s.settings.usb[1], quint8(2));
    QVERIFY(m_pRig->Record().events.isEmpty());
}

bool TestCalibrationDriver::OweFormatsToFrameA()
{
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) {
        s.info.mcuId = kFrameA;
        s.settings.usb[0] = 3;
        s.settings.usb[1] = 2;
    });
    if (!PlugFrame())
        return false;
    m_pRig->Work()->StartFineTuningCalibrate();
    m_pRig->Settle();
    m_pRig->Frame().usb->Unplug();
    if (!WaitForRemoval())
        return false;
    QSignalSpy owed(m_pRig->Work(), &HandleWork::EmitTouchFormatsOwed);
    m_pRig->Work()->ExitFineTuningCalibrate(true);
    m_pRig->Settle();
    return owed.size() == 1 && m_pRig->Frame().frame.Snapshot().settings.usb[0] == 1;
}

void TestCalibrationDriver::fineTuningWhenTheFormatsCannotBeRead_data()
{
    QTest::addColumn<QString>("owed");  // formats owed before: "" none, "A" to this frame, "B" to another
    QTest::addColumn<QString>("given"); // formats the exit gives back ("" none)

    // The station's object still holds formats the frame never reported (a
    // refused save of the settings dialog left 2/2 there): nothing of them
    // reaches the frame.
    QTest::newRow("nothing owed") << "" << "";
    // Formats an earlier fine tuning read and could not give back were read:
    // they stay owed, to their frame.
    QTest::newRow("formats owed to another frame stay owed") << "B" << "";
    QTest::newRow("formats owed to this frame are given back") << "A" << "3,2";
}

// The frame does not answer the read of its touch formats when fine tuning
// starts: the station keeps no formats to give back, says so (run log, the
// calibration view's log through EmitTouchFormatsUnread), and the exit leaves
// the frame as it is.
void TestCalibrationDriver::fineTuningWhenTheFormatsCannotBeRead()
{
    QFETCH(QString, owed);
    QFETCH(QString, given);

    if (!owed.isEmpty()) {
        QVERIFY(OweFormatsToFrameA());
        // The frame that returns refuses the formats given back at its
        // arrival (this frame), or is another one (it keeps its own).
        m_pRig->Frame().frame.Edit([&owed](CEmulatedFrame::State& s) {
            s.info.mcuId = owed == QLatin1String("A") ? kFrameA : kFrameB;
            s.settings.usb[0] = 1;
            s.settings.usb[1] = 1;
        });
        if (owed == QLatin1String("A"))
            m_pRig->Frame().frame.SetFault(0x30, 0x00, FineTuneEnd(1));
    } else {
        m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) {
            s.info.mcuId = kFrameA;
            s.settings.usb[0] = 3;
            s.settings.usb[1] = 2;
        });
    }
    QVERIFY(PlugFrame());
    {
        QMutexLocker lock(m_pRig->Work()->GetDeviceMutex());
        Device()->SetUsb1TouchFormat(2);
        Device()->SetUsb2TouchFormat(2);
    }
    m_pRig->Frame().frame.ClearRequests();
    m_pRig->Frame().frame.SetFault(0x30, 0x04, FineTuneEnd());

    QSignalSpy unread(m_pRig->Work(), &HandleWork::EmitTouchFormatsUnread);
    CRunLogCapture runLog;
    m_pRig->Work()->StartFineTuningCalibrate();
    m_pRig->Settle();
    // Fine tuning goes on all the same: the frame is made a mouse.
    const QStringList expectedCmds{"30 04", "A9 00", "30 00", "A2 01", "A2 00", "A2 12"};
    QCOMPARE(m_pRig->Frame().AppCommands(expectedCmds.size()), expectedCmds);
    QCOMPARE(m_pRig->Frame().frame.Snapshot().settings.usb[0], quint8(1));
    QCOMPARE(unread.size(), given.isEmpty() ? 1 : 0);
    QCOMPARE(runLog.Lines(QtWarningMsg).filter("touch formats could not be read").size(), given.isEmpty() ? 1 : 0);
    QCOMPARE(runLog.Lines(QtWarningMsg).filter("are not given back").size(), 0);

    m_pRig->Frame().frame.ClearRequests();
    CCalScreenDouble screen;
    QVERIFY(m_pRig->Run("ExitFineTuningCalibrate", &screen));
    const QStringList exitCmds = given.isEmpty() ? QStringList{"A2 00", "A2 12"}
                                                 : QStringList{"A2 00", "A2 12", "30 00"};
    QCOMPARE(m_pRig->Frame().AppCommands(exitCmds.size()), exitCmds);
    const CEmulatedFrame::State s = m_pRig->Frame().frame.Snapshot();
    QCOMPARE(QStringLiteral("%1,%2").arg(s.settings.usb[0]).arg(s.settings.usb[1]),
             given.isEmpty() ? QStringLiteral("1,1") : given);
    if (given.isEmpty()) {
        QVERIFY(m_pRig->Frame().frame.RequestsFor(0x30, 0x00).isEmpty());
        // The screen is told that nothing was given back: the read's failure.
        QCOMPARE(screen.answers, QStringList{"FineTuningExited 80250005 (formats not read)"});
        // Nothing was given back, so nothing was refused.
        QVERIFY(runLog.Lines(QtWarningMsg).filter("did not take back").isEmpty());
        QCOMPARE(runLog.Lines(QtWarningMsg).filter("no touch formats are given back").size(), 1);
    } else {
        QCOMPARE(screen.answers, QStringList{"FineTuningExited 0"});
    }
    QVERIFY(m_pRig->Record().events.filter("funcResult").isEmpty());

    // Formats owed to another frame are still owed: given back when it returns.
    if (owed == QLatin1String("B")) {
        QSignalSpy back(m_pRig->Work(), &HandleWork::EmitTouchFormatsGivenBack);
        m_pRig->Frame().usb->Unplug();
        QVERIFY(WaitForRemoval());
        m_pRig->Frame().frame.ClearFaults();
        m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& st) { st.info.mcuId = kFrameA; });
        m_pRig->ClearRecord();
        QVERIFY(PlugFrame());
        QVERIFY(StationTest::WaitFor([&back] { return back.size() == 1; }));
        QCOMPARE(m_pRig->Frame().frame.Snapshot().settings.usb[0], quint8(3));
        QCOMPARE(m_pRig->Frame().frame.Snapshot().settings.usb[1], quint8(2));
    }
}

void TestCalibrationDriver::fileParametersToDevice_data()
{
    QTest::addColumn<QString>("failing");  // command that fails
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("commands");
    const QString form = DeviceForm(0x123, 0x234, 0x7345, 0x7456);
    QTest::newRow("all steps") << QString() << QStringList{"caldata", "savefile:true", form, "deviceinfo"}
                               << QStringList{"A1 01", "A1 02", "30 02", "A1 03", "A1 05"};
    // The values are on the frame but not stored: no data refresh, and the
    // import is not reported as done.
    QTest::newRow("format fails") << "30 02" << QStringList{"savefile:false", form, "deviceinfo"}
                                  << QStringList{"A1 01", "A1 02", "30 02"};
    QTest::newRow("flash fails") << "A1 03" << QStringList{"savefile:false", form, "deviceinfo"}
                                 << QStringList{"A1 01", "A1 02", "30 02", "A1 03"};
    QTest::newRow("default fails") << "A1 05" << QStringList{"savefile:false", form, "deviceinfo"}
                                   << QStringList{"A1 01", "A1 02", "30 02", "A1 03", "A1 05"};
    QTest::newRow("send fails") << "A1 02" << QStringList{"savefile:false"} << QStringList{"A1 01", "A1 02"};
}

void TestCalibrationDriver::fileParametersToDevice()
{
    QFETCH(QString, failing);
    QFETCH(QStringList, events);
    QFETCH(QStringList, commands);

    QVERIFY(PlugFrame());
    if (failing == "30 02") {
        m_pRig->Frame().frame.SetFault(0x30, 0x02, CEmulatedFrame::StatusReply(0x83));
    } else if (!failing.isEmpty()) {
        const QByteArray cmd = QByteArray::fromHex(failing.toLatin1());
        m_pRig->Frame().frame.SetFault(quint8(cmd[0]), quint8(cmd[1]), FineTuneEnd());
    }
    {
        // The set-up dialog puts the imported values into the device object.
        QMutexLocker lock(m_pRig->Work()->GetDeviceMutex());
        HardwareInterface* pDevice = Device();
        QVERIFY(pDevice);
        pDevice->SetCalLX(0x123);
        pDevice->SetCalLY(0x234);
        pDevice->SetCalRX(0x7345);
        pDevice->SetCalRY(0x7456);
    }
    QVERIFY(m_pRig->Run("SendFileCalibrateParameterToDev"));
    QCOMPARE(m_pRig->Record().events, events);
    const QStringList expectedCmds = commands;
    QCOMPARE(m_pRig->Frame().AppCommands(expectedCmds.size()), expectedCmds);
    if (failing != "A1 02")
        QCOMPARE(m_pRig->Frame().frame.Snapshot().cal.value[3], quint16(0x7456));
    // 0x80NN0005 is no time-out: no error box.
    QVERIFY(m_pRig->ShellWindow()->errors.isEmpty());
}

void TestCalibrationDriver::sendCalDataToDev()
{
    QVERIFY(PlugFrame());
    QVERIFY(m_pRig->Run("SendCalDataToDev"));
    QCOMPARE(m_pRig->Record().events, QStringList{"caldata"});
    const QStringList expectedCmds{"A1 01", "A1 02"};
    QCOMPARE(m_pRig->Frame().AppCommands(expectedCmds.size()), expectedCmds);

    m_pRig->ClearRecord();
    m_pRig->Frame().frame.SetFault(0xA1, 0x02, FineTuneEnd());
    QVERIFY(m_pRig->Run("SendCalDataToDev"));
    QCOMPARE(m_pRig->Record().events, QStringList{Result(0x80330005)});
}

void TestCalibrationDriver::answersToTheScreens_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<bool>("plugged");
    QTest::addColumn<QString>("failing");  // the command the frame refuses
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("answer");
    QTest::newRow("SendCalDataToDev") << "SendCalDataToDev" << true << "" << QStringList{"caldata"}
                                      << "CalDataSent 0";
    QTest::newRow("SendCalDataToDev fails") << "SendCalDataToDev" << true << "A1 02"
                                            << QStringList{Result(0x80330005)} << "CalDataSent 80330005";
    QTest::newRow("SendCalDataToDev without frame") << "SendCalDataToDev" << false << "" << QStringList{}
                                                    << "CalDataSent 80000003";
    QTest::newRow("READ_CAL_VALUES") << "READ_CAL_VALUES" << true << "" << QStringList{}
                                     << "CalValuesRead 291 564 29509 29782";
    QTest::newRow("READ_CAL_VALUES without frame") << "READ_CAL_VALUES" << false << "" << QStringList{}
                                                   << "CalValuesRead 0 0 0 0";
    QTest::newRow("ExitFineTuningCalibrate") << "ExitFineTuningCalibrate" << true << "" << QStringList{}
                                             << "FineTuningExited 0";
    // The frame stays a mouse.
    QTest::newRow("ExitFineTuningCalibrate, formats refused") << "ExitFineTuningCalibrate" << true << "30 00"
                                                              << QStringList{} << "FineTuningExited 80160005";
    QTest::newRow("ExitFineTuningCalibrate without frame") << "ExitFineTuningCalibrate" << false << ""
                                                           << QStringList{} << "FineTuningExited 80000003";
}

void TestCalibrationDriver::answersToTheScreens()
{
    QFETCH(QString, task);
    QFETCH(bool, plugged);
    QFETCH(QString, failing);
    QFETCH(QStringList, events);
    QFETCH(QString, answer);

    if (plugged) {
        QVERIFY(PlugFrame());
        QMutexLocker lock(m_pRig->Work()->GetDeviceMutex());
        Device()->SetCalLX(0x123);
        Device()->SetCalLY(0x234);
        Device()->SetCalRX(0x7345);
        Device()->SetCalRY(0x7456);
    }
    if (!failing.isEmpty()) {
        const QByteArray cmd = QByteArray::fromHex(failing.toLatin1());
        m_pRig->Frame().frame.SetFault(quint8(cmd[0]), quint8(cmd[1]), FineTuneEnd());
    }
    const QStringList commandsBefore = m_pRig->Frame().AppCommands();
    CCalScreenDouble screen;
    QVERIFY(m_pRig->Run(task, &screen));
    QCOMPARE(m_pRig->Record().events, events);
    QCOMPARE(screen.answers, QStringList{answer});
    // The values are read from the station's cache: the frame is not asked.
    if (task == "READ_CAL_VALUES")
        QCOMPARE(m_pRig->Frame().AppCommands(), commandsBefore);
    // Posted without a screen (the slots do), nobody is answered.
    CRunLogCapture runLog;
    QVERIFY(m_pRig->Run(task));
    QVERIFY(runLog.Lines(QtWarningMsg).filter("has no view to call").isEmpty() == (task != "READ_CAL_VALUES"));
    QCOMPARE(runLog.Lines(QtWarningMsg).filter("did not take back its touch formats, 0x80160005").size(),
             failing == "30 00" ? 1 : 0);
}

void TestCalibrationDriver::gettersWithoutFrame()
{
    QVERIFY(!m_pRig->Work()->GetTouchDevice());
    QCOMPARE(m_pRig->Work()->GetCalLX(), 0);
    QCOMPARE(m_pRig->Work()->GetCalLY(), 0);
    QCOMPARE(m_pRig->Work()->GetCalRX(), 0);
    QCOMPARE(m_pRig->Work()->GetCalRY(), 0);
    m_pRig->Work()->ExitCurrentWork();  // nothing to interrupt

    QVERIFY(PlugFrame());
    QCOMPARE(m_pRig->Work()->GetCalLX(), 0x100);
    QCOMPARE(m_pRig->Work()->GetCalRY(), 0x7D00);
}

void TestCalibrationDriver::tasksWithoutFrameDoNothing()
{
    const QStringList tasks{"InitDeviceCalData", "STEP_BEGIN", "STEP_1", "STEP_CHECK", "STEP_END_OK",
                            "STEP_END_FAIL", "SAVE_TO_FLASH", "SAVE_AS_DEFAULT", "RESET_CAL_DATA",
                            "GET_CAL_DATA", "CAL_LTL", "CAL_BTT", "GET_CAL_FMT", "SET_CAL_FMT",
                            "StartFineTuningCalibrate", "ExitFineTuningCalibrate", "SendCalDataToDev",
                            "SendFileCalibrateParameterToDev", "READ_CAL_VALUES"};
    for (const QString& task : tasks)
        QVERIFY(m_pRig->Run(task));
    QVERIFY(m_pRig->Record().events.isEmpty());
    QVERIFY(m_pRig->ShellWindow()->errors.isEmpty());
}

STATION_TEST_MAIN(TestCalibrationDriver)
#include "tst_calibrationdriver_tasks.moc"
