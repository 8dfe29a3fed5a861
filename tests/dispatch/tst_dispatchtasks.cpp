// The rows of the task table against an emulated frame plugged through the
// fake OS backend and the real USB port: first test and re-test, touch
// output, the LED check flag, logs opened for replay, and the error rule.

#include "comportusb.h"
#include "customersettings.h"
#include "fakehidnode.h"
#include "handlework.h"
#include "hardwareinterface.h"
#include "runlogcapture.h"
#include "shelltestwindow.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "touchlogfile.h"
#include "testviewdouble.h"
#include "waitfor.h"

#include <QMutex>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {
// What a row left in the frame, by name.
QString FrameField(const CEmulatedFrame& frame, const QString& field)
{
    const CEmulatedFrame::State s = frame.Snapshot();
    if (field == "drawing")
        return QStringLiteral("%1,%2").arg(s.settings.drawing[0]).arg(s.settings.drawing[1]);
    if (field == "pen")
        return QStringLiteral("%1,%2").arg(s.settings.pen[0]).arg(s.settings.pen[1]);
    if (field == "split")
        return QString::number(s.settings.split);
    if (field == "reverse")
        return QString::number(int(s.settings.bReverse));
    if (field == "agc")
        return QStringLiteral("%1:%2:%3").arg(s.settings.nAgcMode).arg(s.settings.nTAgc).arg(s.settings.nRAgc);
    if (field == "agcInits")
        return QString::number(s.settings.nAgcInits);
    if (field == "agcRangeReads")
        return QString::number(frame.RequestsFor(0xA8, 0x15).size());
    if (field == "requests")
        return QString::number(frame.RequestCount());
    return QStringLiteral("?");
}
} // namespace

class TestDispatchTasks : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstTestThenRetestOfTheSameFrame();
    void failedFirstTestStillCountsAsTested();
    void retestOfAnUnpreparedFrameFails();
    void rowsReachTheFrame_data();
    void rowsReachTheFrame();
    void touchOutputStatus_data();
    void touchOutputStatus();
    void ledCheckFlagTravelsByValue();
    void errorRuleOnDeviceResults_data();
    void errorRuleOnDeviceResults();
    void batchSaveIsNeverSilent_data();
    void batchSaveIsNeverSilent();
    void openedLogReplacesTheFrame();
    void unreadableLogKeepsTheFrame_data();
    void unreadableLogKeepsTheFrame();
    void closingEndsARunningTask();
    void framesStepOnlyInAReplay();

private:
    void PlugFrame();
    // Waits until the frame has taken every report the station wrote: a
    // request sent without waiting for its reply (the last window of a block
    // transfer) reaches it a moment after the task has ended.
    bool FrameTookEverything()
    {
        return StationTest::WaitFor([this] { return m_pFrame->usb->Node()->UntakenOutputs() == 0; });
    }
    int Transfers() { return m_pFrame->panel.Snapshot().nTransfers; }

    std::unique_ptr<CStationRig> m_pRig;
    CStationRig::SFrame* m_pFrame = nullptr;
    CShellTestWindow* m_pWindow = nullptr;  // the rig's
    HandleWork* m_pWork = nullptr;          // the rig's
    std::unique_ptr<CScopedWorkDir> m_pWorkDir;
};

void TestDispatchTasks::init()
{
    CTestEnvironment::RealClock();
    CCustomerSettings::GetInstance()->clear();
    m_pWorkDir = std::make_unique<CScopedWorkDir>();
    m_pRig = std::make_unique<CStationRig>();
    m_pFrame = &m_pRig->AddFrame();
    m_pWork = m_pRig->StartDispatcher(SIGNALTESTWORK);
    m_pWindow = m_pRig->ShellWindow();
    PlugFrame();
}

void TestDispatchTasks::cleanup()
{
    m_pWork = nullptr;
    m_pWindow = nullptr;
    m_pFrame = nullptr;
    m_pRig.reset();
    m_pWorkDir.reset();
    CTestEnvironment::RealClock();
}

void TestDispatchTasks::PlugFrame()
{
    const int nInfos = m_pWindow->deviceInfos.size();
    m_pFrame->usb->Plug();
    QTRY_COMPARE(m_pWindow->deviceInfos.size(), nInfos + 1);
}

void TestDispatchTasks::firstTestThenRetestOfTheSameFrame()
{
    CTestViewDouble view;
    QCOMPARE(m_pWork->GetDeviceKind(), HandleWork::DeviceKind::Live);
    QVERIFY(m_pWork->PostTask("StartTestOnce", Qt::BlockingQueuedConnection, &view));
    QTRY_COMPARE(view.nInitTestUi, 1);
    QCOMPARE(Transfers(), 1); // prepared: the frame's parameter block was read

    // The same frame again: the next first test is a re-test of it.
    m_pFrame->usb->Unplug();
    QTRY_COMPARE(m_pWindow->statuses.last(), false);
    PlugFrame();
    QVERIFY(m_pWork->PostTask("StartTestOnce", Qt::BlockingQueuedConnection, &view));
    QTRY_COMPARE(view.nInitTestUi, 2);
    QCOMPARE(Transfers(), 1);

    QVERIFY(m_pWork->PostTask("ReTest", Qt::BlockingQueuedConnection, &view));
    QTRY_COMPARE(view.nShowTestResult, 1);
    QCOMPARE(view.nInitTestUi, 2);
    QVERIFY(m_pWindow->errors.isEmpty());
}

void TestDispatchTasks::failedFirstTestStillCountsAsTested()
{
    // The frame leaves the bus in the middle of the signal reading.
    m_pFrame->panel.Edit([](CEmulatedPanel::Model& m) { m.nUnplugAfterChunks = 3; });
    CTestViewDouble view;
    QVERIFY(m_pWork->PostTask("StartTestOnce", Qt::BlockingQueuedConnection, &view));
    // The view learns that its test failed (and is not shown a result); a
    // lost device is no error box.
    QTRY_COMPARE(view.failures.size(), 1);
    QVERIFY2(view.failures[0].startsWith("StartTestOnce 0x8"), qPrintable(view.failures[0]));
    QCOMPARE(view.failures[0].right(4), QStringLiteral("0002"));
    QCOMPARE(view.nInitTestUi, 0);
    QVERIFY(m_pWindow->errors.isEmpty());
    QCOMPARE(Transfers(), 1);

    m_pFrame->panel.Edit([](CEmulatedPanel::Model& m) { m.nUnplugAfterChunks = -1; });
    QTRY_COMPARE(m_pWork->GetUsbPort()->GetDevCount(), 0);
    PlugFrame();
    QVERIFY(m_pWork->PostTask("StartTestOnce", Qt::BlockingQueuedConnection, &view));
    // Tested once already and the same frame: a re-test, no new preparation.
    QCOMPARE(Transfers(), 1);
}

// A frame whose preparation failed is never passed untested: a retest of it
// tests nothing, sends the frame nothing and tells the view that the test
// failed, with the code that says why (no box of its own).
void TestDispatchTasks::retestOfAnUnpreparedFrameFails()
{
    m_pFrame->panel.Edit([](CEmulatedPanel::Model& m) {
        m.nX = m.nY = 0; // no LEDs: the preparation fails
        for (QVector<int>& boards : m.boards)
            boards.clear();
    });
    CTestViewDouble view;
    QVERIFY(m_pWork->PostTask("StartTestOnce", Qt::BlockingQueuedConnection, &view));
    QTRY_COMPARE(view.failures.size(), 1);
    QVERIFY2(view.failures[0].startsWith("StartTestOnce 0x8005"), qPrintable(view.failures[0]));
    const int nErrors = m_pWindow->errors.size();
    // The first test's last requests are not the retest's.
    QVERIFY(FrameTookEverything());
    const int nRequests = m_pFrame->frame.RequestCount();

    QVERIFY(m_pWork->PostTask("ReTest", Qt::BlockingQueuedConnection, &view));
    QTRY_COMPARE(view.failures.size(), 2);
    QCOMPARE(view.failures[1], QStringLiteral("ReTest 0x%1").arg(uint32_t(ERROR_TEST_NOT_PREPARED), 0, 16));
    QCOMPARE(view.nShowTestResult, 0);
    // Compared as the requests' first bytes, so that a failure names them;
    // a request of the retest is seen once the frame has taken it.
    QVERIFY(FrameTookEverything());
    QStringList lstSent;
    const QList<QByteArray> lstAfter = m_pFrame->frame.Requests();
    for (int i = nRequests; i < lstAfter.size(); ++i)
        lstSent << QString::fromLatin1(lstAfter[i].left(8).toHex(' '));
    QVERIFY2(lstSent.isEmpty(), qPrintable(lstSent.join(QStringLiteral(" | "))));
    QCOMPARE(m_pWindow->errors.size(), nErrors);
}

void TestDispatchTasks::rowsReachTheFrame_data()
{
    QTest::addColumn<QStringList>("tasks"); // posted one after the other
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");  // the field after the last task
    QTest::addColumn<QStringList>("calls"); // the view's answers, in order

    // Drawing mode: the frame takes the second byte inverted.
    QTest::newRow("OpenDrawing") << QStringList{"OpenDrawing"} << "drawing" << "1,1" << QStringList();
    QTest::newRow("CloseDrawing") << QStringList{"CloseDrawing"} << "drawing" << "0,0" << QStringList();
    QTest::newRow("DisablePen") << QStringList{"DisablePen"} << "pen" << "0,0" << QStringList();
    QTest::newRow("EnablePen") << QStringList{"DisablePen", "EnablePen"} << "pen" << "1,1" << QStringList();
    QTest::newRow("DisSplitScreen") << QStringList{"DisSplitScreen"} << "split" << "0" << QStringList();
    QTest::newRow("EnSplitScreen") << QStringList{"DisSplitScreen", "EnSplitScreen"} << "split" << "1"
                                   << QStringList();
    QTest::newRow("OpenReverse") << QStringList{"OpenReverse"} << "reverse" << "1"
                                 << QStringList{"ShowReverseData(true)"};
    QTest::newRow("CloseReverse") << QStringList{"OpenReverse", "CloseReverse"} << "reverse" << "0"
                                  << QStringList{"ShowReverseData(true)", "ShowReverseData(true)"};
    // The view's spin boxes: T 700, R 40.
    QTest::newRow("SetR&TAgc") << QStringList{"SetR&TAgc"} << "agc" << "3:700:40" << QStringList();
    QTest::newRow("SetTAgc") << QStringList{"SetTAgc"} << "agc" << "1:700:0" << QStringList();
    QTest::newRow("SetRAgc") << QStringList{"SetRAgc"} << "agc" << "2:0:40" << QStringList();
    QTest::newRow("ResetAgc") << QStringList{"ResetAgc"} << "agc" << "0:0:0" << QStringList();
    QTest::newRow("InitAgc") << QStringList{"InitAgc"} << "agcInits" << "1" << QStringList();
    QTest::newRow("InitAgcRange") << QStringList{"InitAgcRange"} << "agcRangeReads" << "1"
                                  << QStringList{"InitAgcRangeFinished(true)"};
    // The last run's errors, without asking the frame.
    // The table again: nothing is filed a second time.
    QTest::newRow("UpdateTestResult") << QStringList{"UpdateTestResult"} << "requests" << "0"
                                      << QStringList{"ShowTestResult(false)"};
}

void TestDispatchTasks::rowsReachTheFrame()
{
    QFETCH(QStringList, tasks);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    QFETCH(QStringList, calls);

    // Values no row writes, so that a row that did nothing shows.
    m_pFrame->frame.Edit([](CEmulatedFrame::State& s) {
        s.settings.drawing[0] = s.settings.drawing[1] = 7;
        s.settings.nAgcMode = 9;
        s.settings.nTAgc = s.settings.nRAgc = 1;
    });
    m_pFrame->frame.ClearRequests();
    CTestViewDouble view;
    for (const QString& task : tasks)
        QVERIFY(m_pWork->PostTask(task, Qt::BlockingQueuedConnection, &view));
    QTRY_COMPARE(view.calls.size(), calls.size());
    QTest::qWait(20);
    QCOMPARE(view.calls, calls);
    QCOMPARE(FrameField(m_pFrame->frame, field), expected);
    QVERIFY(m_pWindow->errors.isEmpty());
}

void TestDispatchTasks::touchOutputStatus_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<bool>("off");

    QTest::newRow("disable succeeds") << "DisableTouch" << false << true;
    QTest::newRow("enable succeeds") << "EnableTouch" << false << false;
    QTest::newRow("disable fails") << "DisableTouch" << true << false;
    QTest::newRow("enable fails") << "EnableTouch" << true << true;
}

void TestDispatchTasks::touchOutputStatus()
{
    QFETCH(QString, task);
    QFETCH(bool, fails);
    QFETCH(bool, off);

    if (fails) {
        CTestEnvironment::FastClock(0.001);
        m_pFrame->frame.SetFault(0x30, 0x08, CEmulatedFrame::Silent());
    }
    QSignalSpy status(m_pWork, &HandleWork::EmitTouchEnButtonStatus);
    QVERIFY(m_pWork->PostTask(task, Qt::BlockingQueuedConnection));
    QTRY_COMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toBool(), off);
    if (fails) {
        QTRY_COMPARE(m_pWindow->errors.size(), 1);
        QCOMPARE(uint32_t(m_pWindow->errors[0].nCode), 0x80020001u);
        QCOMPARE(m_pWindow->errors[0].task, task);
    }
}

void TestDispatchTasks::ledCheckFlagTravelsByValue()
{
    auto ledRequests = [this] { return m_pFrame->frame.RequestsFor(0xA8, 0x17).size(); };
    const int nBefore = ledRequests();

    QVERIFY(m_pWork->PostTask("SetCheckLedError", Qt::AutoConnection, true));
    QVERIFY(m_pWork->PostTask("CheckLedErrorOn", Qt::BlockingQueuedConnection));
    QCOMPARE(ledRequests(), nBefore + 1);
    QVERIFY(m_pFrame->frame.Snapshot().settings.bLedCheck);

    // Posted queued and the caller's variable gone: the flag still arrives.
    {
        bool bFlag = false;
        QVERIFY(m_pWork->PostTask("SetCheckLedError", Qt::QueuedConnection, bFlag));
        bFlag = true;
    }
    QVERIFY(m_pWork->PostTask("CheckLedErrorOff", Qt::BlockingQueuedConnection));
    QCOMPARE(ledRequests(), nBefore + 1); // checking switched off: nothing sent
    QVERIFY(m_pWindow->errors.isEmpty());
}

void TestDispatchTasks::errorRuleOnDeviceResults_data()
{
    QTest::addColumn<int>("faultKind");
    QTest::addColumn<qint64>("reported");

    QTest::newRow("time-out") << int(CEmulatedFrame::Fault::Silent) << qint64(0x80040001);
    QTest::newRow("device lost") << int(CEmulatedFrame::Fault::Unplug) << qint64(0);
    QTest::newRow("success") << int(CEmulatedFrame::Fault::None) << qint64(0);
}

void TestDispatchTasks::errorRuleOnDeviceResults()
{
    QFETCH(int, faultKind);
    QFETCH(qint64, reported);

    CTestEnvironment::FastClock(0.001);
    CEmulatedFrame::Fault fault;
    fault.kind = CEmulatedFrame::Fault::Kind(faultKind);
    m_pFrame->frame.SetFault(0xA2, 0x09, fault);
    QVERIFY(m_pWork->PostTask("InitAgc", Qt::BlockingQueuedConnection));
    QTest::qWait(20);
    if (!reported) {
        QVERIFY(m_pWindow->errors.isEmpty());
        return;
    }
    QCOMPARE(m_pWindow->errors.size(), 1);
    QCOMPARE(uint32_t(m_pWindow->errors[0].nCode), uint32_t(reported));
    QCOMPARE(m_pWindow->errors[0].task, QStringLiteral("InitAgc"));
}

void TestDispatchTasks::batchSaveIsNeverSilent_data()
{
    QTest::addColumn<int>("faultKind");
    QTest::addColumn<qint64>("code");

    QTest::newRow("saved") << int(CEmulatedFrame::Fault::None) << qint64(0);
    QTest::newRow("status answer") << int(CEmulatedFrame::Fault::Status) << qint64(0x1003);
    QTest::newRow("time-out") << int(CEmulatedFrame::Fault::Silent) << qint64(0x801f0001);
    QTest::newRow("device lost") << int(CEmulatedFrame::Fault::Unplug) << qint64(-1);
}

void TestDispatchTasks::batchSaveIsNeverSilent()
{
    QFETCH(int, faultKind);
    QFETCH(qint64, code);

    CTestEnvironment::FastClock(0.001);
    CEmulatedFrame::Fault fault;
    fault.kind = CEmulatedFrame::Fault::Kind(faultKind);
    m_pFrame->frame.SetFault(0xA9, 0x06, fault);
    // The number typed, as the test view leaves it for the write.
    auto property = [this] {
        QMutexLocker lock(m_pWork->GetDeviceMutex());
        CTouchBase* pDevice = m_pWork->GetTouchDevice();
        return pDevice ? pDevice->GetProperty(QStringLiteral("BatchInfo")) : QStringLiteral("(no device)");
    };
    {
        QMutexLocker lock(m_pWork->GetDeviceMutex());
        m_pWork->GetTouchDevice()->SetProperty(QStringLiteral("BatchInfo"), QStringLiteral("TYPED-7"));
    }
    QVERIFY(m_pWork->PostTask("SaveBatchInfo", Qt::BlockingQueuedConnection));
    // Exactly one report, whatever came back.
    QTRY_COMPARE(m_pWindow->errors.size(), 1);
    QTest::qWait(20);
    QCOMPARE(m_pWindow->errors.size(), 1);
    QCOMPARE(m_pWindow->errors[0].task, QStringLiteral("SaveBatchInfo"));
    QVERIFY(m_pWindow->batchesNotHeld.isEmpty());
    if (code >= 0) {
        QCOMPARE(uint32_t(m_pWindow->errors[0].nCode), uint32_t(code));
    } else {
        QCOMPARE(uint32_t(m_pWindow->errors[0].nCode) & 0x8000FFFFu, 0x80000002u);
    }
    // A write the frame did not take leaves no number the frame does not
    // hold for a retest to check and file the run under.
    if (code == 0) {
        QCOMPARE(property(), QStringLiteral("TYPED-7"));
        QCOMPARE(m_pFrame->frame.Snapshot().info.batch, QByteArray("TYPED-7"));
    } else if (code > 0) {
        QCOMPARE(property(), QString());
        QCOMPARE(m_pFrame->frame.Snapshot().info.batch, QByteArray("B2024-11-05"));
    }
}

void TestDispatchTasks::openedLogReplacesTheFrame()
{
    CTestViewDouble view;
    QVERIFY(m_pWork->PostTask("StartTestOnce", Qt::BlockingQueuedConnection, &view));
    QTRY_COMPARE(view.nInitTestUi, 1);
    view.strLogPath = QDir::current().absoluteFilePath("run_PASS.xml");
    {
        QMutexLocker lock(m_pWork->GetDeviceMutex());
        QCOMPARE(m_pWork->GetTouchDevice()->SaveXml(view.strLogPath), 0);
    }
    m_pWindow->Clear();

    QVERIFY(m_pWork->PostTask("OpenTestLog", Qt::BlockingQueuedConnection, &view));
    QTRY_COMPARE(view.nInitTestUi, 2);
    auto* pReplay = dynamic_cast<CTouchLogfile*>(m_pWork->GetTouchDevice());
    QVERIFY(pReplay);
    QCOMPARE(m_pWork->GetDeviceKind(), HandleWork::DeviceKind::Replay);
    QVERIFY(view.failures.isEmpty());
    QCOMPARE(pReplay->GetName(), view.strLogPath);
    QTRY_COMPARE(m_pWindow->deviceInfos.size(), 1);
    QVERIFY(!m_pWindow->deviceInfos[0].lstDevInfo.isEmpty());
    QCOMPARE(m_pWindow->deviceInfos[0].lstAppInfo.size(), 4);

    // Rows that need a live frame do nothing now.
    QSignalSpy status(m_pWork, &HandleWork::EmitTouchEnButtonStatus);
    const int nAgc = m_pFrame->frame.RequestsFor(0xA2, 0x09).size();
    QVERIFY(m_pWork->PostTask("DisableTouch", Qt::BlockingQueuedConnection));
    QVERIFY(m_pWork->PostTask("InitAgc", Qt::BlockingQueuedConnection));
    QTest::qWait(20);
    QCOMPARE(status.count(), 0);
    QCOMPARE(m_pFrame->frame.RequestsFor(0xA2, 0x09).size(), nAgc);
    // A replay has its reverse mode as a device has.
    QVERIFY(m_pWork->PostTask("OpenReverse", Qt::BlockingQueuedConnection, &view));
    QTRY_COMPARE(view.reverse, QList<bool>{true});
    QVERIFY(m_pWindow->errors.isEmpty());
}

void TestDispatchTasks::unreadableLogKeepsTheFrame_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<qint64>("code");

    QTest::newRow("missing") << QByteArray() << qint64(0x81140000);
    QTest::newRow("not XML") << QByteArray("<test_log><app_info></test") << qint64(0x81140001);
    // Well-formed, but no test log: nothing of a frame to replay.
    QTest::newRow("another root") << QByteArray("<?xml version=\"1.0\"?>\n<nothing/>\n") << qint64(0x81140001);
    QTest::newRow("touch_device empty") << QByteArray("<touch_device/>") << qint64(0x81140001);
}

void TestDispatchTasks::unreadableLogKeepsTheFrame()
{
    QFETCH(QByteArray, content);
    QFETCH(qint64, code);

    CTestViewDouble view;
    view.strLogPath = QDir::current().absoluteFilePath("broken_NG.xml");
    if (!content.isEmpty()) {
        QFile file(view.strLogPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    CTouchBase* pLive = m_pWork->GetTouchDevice();
    QVERIFY(dynamic_cast<HardwareInterface*>(pLive));
    m_pWindow->Clear();

    QVERIFY(m_pWork->PostTask("OpenTestLog", Qt::BlockingQueuedConnection, &view));
    QTRY_COMPARE(m_pWindow->errors.size(), 1);
    QTest::qWait(20);
    QCOMPARE(m_pWindow->errors.size(), 1);
    QCOMPARE(uint32_t(m_pWindow->errors[0].nCode), uint32_t(code));
    QCOMPARE(m_pWindow->errors[0].task, QStringLiteral("OpenTestLog"));
    QCOMPARE(view.nInitTestUi, 0);
    // The view is told, so that it does not stay "opening".
    QTRY_COMPARE(view.failures, QStringList{QStringLiteral("OpenTestLog 0x%1").arg(code, 0, 16)});
    QVERIFY(m_pWindow->deviceInfos.isEmpty());
    // The frame's object is still there and still works.
    QCOMPARE(m_pWork->GetTouchDevice(), pLive);
    QCOMPARE(m_pWork->GetDeviceKind(), HandleWork::DeviceKind::Live);
    QSignalSpy status(m_pWork, &HandleWork::EmitTouchEnButtonStatus);
    QVERIFY(m_pWork->PostTask("DisableTouch", Qt::BlockingQueuedConnection));
    QTRY_COMPARE(status.count(), 1);
}

void TestDispatchTasks::closingEndsARunningTask()
{
    // The frame never answers and the real time-outs apply (ten tries of
    // 10 s): closing the station must not wait for them, nor kill the thread.
    CRunLogCapture log;
    m_pFrame->frame.SetFault(0xA2, 0x09, CEmulatedFrame::Silent());
    QVERIFY(m_pWork->PostTask("InitAgc"));
    QTRY_VERIFY(m_pWork->IsTaskRunning("InitAgc"));
    QElapsedTimer timer;
    timer.start();
    m_pRig->StopDispatcher();
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(log.Count("Terminate Thread."), 0);
}

STATION_TEST_MAIN(TestDispatchTasks)
void TestDispatchTasks::framesStepOnlyInAReplay()
{
    CTestViewDouble view;
    view.pDeviceMutex = m_pWork->GetDeviceMutex();
    QVERIFY(m_pWork->PostTask("StartTestOnce", Qt::BlockingQueuedConnection, &view));
    QTRY_COMPARE(view.nInitTestUi, 1);

    // A live frame: the arrows of another window step nothing and ask the
    // frame nothing.
    QVERIFY(FrameTookEverything());
    m_pFrame->frame.ClearRequests();
    QVERIFY(m_pWork->PostTask("UpdateUINext", Qt::BlockingQueuedConnection, &view));
    QVERIFY(m_pWork->PostTask("UpdateUIPre", Qt::BlockingQueuedConnection, &view));
    QVERIFY(view.steps.isEmpty());
    QVERIFY(FrameTookEverything());
    QCOMPARE(m_pFrame->frame.RequestCount(), 0);

    view.strLogPath = QDir::current().absoluteFilePath("steps_PASS.xml");
    {
        QMutexLocker lock(m_pWork->GetDeviceMutex());
        QCOMPARE(m_pWork->GetTouchDevice()->SaveXml(view.strLogPath), 0);
    }
    QVERIFY(m_pWork->PostTask("OpenTestLog", Qt::BlockingQueuedConnection, &view));
    QTRY_COMPARE(view.nInitTestUi, 2);

    // A replay: the view steps on the worker thread, the device mutex free
    // for it to take.
    QVERIFY(m_pWork->PostTask("UpdateUINext", Qt::BlockingQueuedConnection, &view));
    QVERIFY(m_pWork->PostTask("UpdateUIPre", Qt::BlockingQueuedConnection, &view));
    QCOMPARE(view.steps, (QStringList{"1 worker free", "-1 worker free"}));
    // Without a view to ask, nothing happens.
    QVERIFY(m_pWork->PostTask("UpdateUINext", Qt::BlockingQueuedConnection, nullptr));
    QCOMPARE(view.steps.size(), 2);
    QVERIFY(m_pWindow->errors.isEmpty());
}

#include "tst_dispatchtasks.moc"
