// The task dispatcher without a frame: posting, refusal of a running task,
// queued and blocking posts, the error rule, and tasks whose argument is
// missing or of the wrong kind.

#include "customersettings.h"
#include "fakehidbackend.h"
#include "handlework.h"
#include "mutexholder.h"
#include "shelltestwindow.h"
#include "testenvironment.h"

#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

namespace {
// A view as the dispatcher sees it: counts the calls of its slots.
class CRecordingView : public QObject
{
    Q_OBJECT
public:
    int nRefreshes = 0;
    QThread* pRefreshThread = nullptr;

public slots:
    void UpdateRealTimeData()
    {
        ++nRefreshes;
        pRefreshThread = QThread::currentThread();
    }
};

// The test view as the dispatcher sees it for a first test: success or failure.
class CTestRunView : public QObject
{
    Q_OBJECT
public:
    int nInitTestUi = 0;
    QStringList failures; // "task 0x<code>"

public slots:
    void InitTestUi(QMap<QString, QString>) { ++nInitTestUi; }
    void TaskFailed(QString task, int32_t errorCode)
    {
        failures << task + QStringLiteral(" 0x%1").arg(uint32_t(errorCode), 0, 16);
    }
};

// An object that has none of the slots a task calls.
class CStranger : public QObject
{
    Q_OBJECT
};
} // namespace

// A post's argument is the posting object or the flag of "SetCheckLedError":
// a pointer to anything else (a caller's bool) is refused at compile time
// instead of arriving as the flag "true".
template <typename T, typename = void>
struct CanPost : std::false_type
{
};
template <typename T>
struct CanPost<T, std::void_t<decltype(std::declval<HandleWork&>().PostTask(QString(), Qt::AutoConnection,
                                                                             std::declval<T>()))>>
    : std::true_type
{
};
static_assert(CanPost<QObject*>::value && CanPost<CStranger*>::value && CanPost<std::nullptr_t>::value
                  && CanPost<bool>::value,
              "objects, null and the flag can be posted");
static_assert(!CanPost<bool*>::value && !CanPost<int*>::value && !CanPost<void*>::value,
              "other pointers cannot be posted");

class TestHandleWork : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void runningTaskIsRefused();
    void queuedTwiceRunsTwice();
    void blockingPostReturnsAfterTheRun();
    void blockingPostOfARunningTaskIsRefused();
    void errorRule_data();
    void errorRule();
    void batchSaveWithoutFrameIsNotSilent();
    void unknownTaskOnlyLogs();
    void missingOrWrongArgumentDoesNothing_data();
    void missingOrWrongArgumentDoesNothing();
    void refreshRunsOnTheViewsThread();
    void firstTestWithoutDeviceFailsToItsView();
    void deviceKindWithoutDevice();

private:
    std::shared_ptr<CFakeHidBackend> m_backend;
    std::unique_ptr<CShellTestWindow> m_pWindow;
    std::unique_ptr<HandleWork> m_pWork;
};

void TestHandleWork::initTestCase()
{
    CCustomerSettings::GetInstance()->clear();
    m_backend = CFakeHidBackend::Install();
    // One dispatcher for every case: none of them leaves a frame or a device
    // object behind.
    m_pWindow = std::make_unique<CShellTestWindow>();
    m_pWork = std::make_unique<HandleWork>(m_pWindow.get());
}

void TestHandleWork::cleanupTestCase()
{
    m_pWork.reset();
    m_pWindow.reset();
    m_backend.reset();
    CFakeHidBackend::Uninstall();
}

void TestHandleWork::init()
{
    // Whatever the last case queued has run.
    QVERIFY(m_pWork->PostTask("Sync", Qt::BlockingQueuedConnection));
    m_pWindow->Clear();
}

void TestHandleWork::cleanup()
{
}

void TestHandleWork::runningTaskIsRefused()
{
    std::unique_ptr<CMutexHolder> pHolder(new CMutexHolder(m_pWork->GetDeviceMutex()));
    QVERIFY(m_pWork->PostTask("ReTest"));
    QTRY_VERIFY(m_pWork->IsTaskRunning("ReTest"));
    // While it runs the same task is dropped, another task is queued.
    QVERIFY(!m_pWork->PostTask("ReTest"));
    QVERIFY(!m_pWork->PostTask("ReTest", Qt::QueuedConnection, m_pWindow.get()));
    QVERIFY(!m_pWork->IsTaskRunning("UpdateTestResult"));
    QVERIFY(m_pWork->PostTask("UpdateTestResult"));

    pHolder.reset();
    QTRY_VERIFY(!m_pWork->IsTaskRunning("ReTest"));
    // Idle again: accepted.
    QVERIFY(m_pWork->PostTask("ReTest"));
    QTRY_VERIFY(!m_pWork->IsTaskRunning("ReTest"));
}

void TestHandleWork::queuedTwiceRunsTwice()
{
    CRecordingView view;
    {
        CMutexHolder holder(m_pWork->GetDeviceMutex());
        QVERIFY(m_pWork->PostTask("InitDeviceInfo"));
        QTRY_VERIFY(m_pWork->IsTaskRunning("InitDeviceInfo"));
        // Queued behind the running task, not running: both accepted.
        QVERIFY(m_pWork->PostTask("RefreshUi", Qt::AutoConnection, &view));
        QVERIFY(m_pWork->PostTask("RefreshUi", Qt::AutoConnection, &view));
        QTest::qWait(20);
        QCOMPARE(view.nRefreshes, 0);
    }
    QTRY_COMPARE(view.nRefreshes, 2);
}

void TestHandleWork::blockingPostReturnsAfterTheRun()
{
    // The holder lets the task go only once it has seen it running; a post
    // that returned before the run would find the flag still clear.
    std::atomic<bool> bReleasedWhileRunning{false};
    HandleWork* pWork = m_pWork.get();
    QMutex* pDeviceMutex = pWork->GetDeviceMutex();
    std::thread holder([&] {
        QMutexLocker lock(pDeviceMutex);
        while (!pWork->IsTaskRunning("CheckLedErrorOff"))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        bReleasedWhileRunning = true;
    });
    while (pDeviceMutex->tryLock()) { // wait until the holder has it
        pDeviceMutex->unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    QVERIFY(m_pWork->PostTask("CheckLedErrorOff", Qt::BlockingQueuedConnection));
    QVERIFY(bReleasedWhileRunning);
    QVERIFY(!m_pWork->IsTaskRunning("CheckLedErrorOff"));
    holder.join();
}

void TestHandleWork::blockingPostOfARunningTaskIsRefused()
{
    CMutexHolder holder(m_pWork->GetDeviceMutex());
    QVERIFY(m_pWork->PostTask("CheckLedErrorOff"));
    QTRY_VERIFY(m_pWork->IsTaskRunning("CheckLedErrorOff"));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!m_pWork->PostTask("CheckLedErrorOff", Qt::BlockingQueuedConnection));
    QVERIFY(timer.elapsed() < 1000);
}

void TestHandleWork::errorRule_data()
{
    QTest::addColumn<qint64>("code");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<int>("errorClass"); // HandleWork::ErrorClass

    QTest::newRow("time-out") << qint64(0x80000001) << true << int(HandleWork::ErrorClass::Timeout);
    QTest::newRow("time-out of an operation") << qint64(0x80040001) << true << int(HandleWork::ErrorClass::Timeout);
    QTest::newRow("time-out, operation code in bit 30") << qint64(0xC0000001) << true << int(HandleWork::ErrorClass::Timeout);
    QTest::newRow("runtime error") << qint64(0x80000003) << true << int(HandleWork::ErrorClass::RuntimeError);
    QTest::newRow("runtime error of an operation") << qint64(0x802a0003) << true << int(HandleWork::ErrorClass::RuntimeError);
    QTest::newRow("device lost") << qint64(0x80000002) << false << int(HandleWork::ErrorClass::None);
    QTest::newRow("device lost of an operation") << qint64(0x80240002) << false << int(HandleWork::ErrorClass::None);
    QTest::newRow("reception disabled") << qint64(0x80000004) << false << int(HandleWork::ErrorClass::None);
    QTest::newRow("log cannot be opened") << qint64(0x81140000) << false << int(HandleWork::ErrorClass::None);
    QTest::newRow("other low bits") << qint64(0x80000005) << false << int(HandleWork::ErrorClass::None);
    QTest::newRow("success") << qint64(0) << false << int(HandleWork::ErrorClass::None);
    QTest::newRow("status answer") << qint64(0x1003) << false << int(HandleWork::ErrorClass::None);
    QTest::newRow("positive with time-out bits") << qint64(0x00000001) << false << int(HandleWork::ErrorClass::None);
}

void TestHandleWork::errorRule()
{
    QFETCH(qint64, code);
    QFETCH(bool, shown);
    QFETCH(int, errorClass);
    QCOMPARE(HandleWork::IsReportedError(int32_t(code)), shown);
    QCOMPARE(int(HandleWork::ClassifyError(int32_t(code))), errorClass);
}

void TestHandleWork::batchSaveWithoutFrameIsNotSilent()
{
    QVERIFY(m_pWork->PostTask("SaveBatchInfo"));
    QTRY_COMPARE(m_pWindow->errors.size(), 1);
    QCOMPARE(m_pWindow->errors[0].task, QStringLiteral("SaveBatchInfo"));
    QCOMPARE(uint32_t(m_pWindow->errors[0].nCode), 0x80000002u);
}

void TestHandleWork::unknownTaskOnlyLogs()
{
    for (const char* szTask : {"ComTestEn", "D-UsbTestEn", "initdeviceinfo", ""})
        QVERIFY(m_pWork->PostTask(szTask));
    QVERIFY(m_pWork->PostTask("Start_Upgrade", Qt::BlockingQueuedConnection));
    QTest::qWait(20);
    QVERIFY(m_pWindow->errors.isEmpty());
    QVERIFY(m_pWindow->deviceInfos.isEmpty());
    QVERIFY(m_pWindow->statuses.isEmpty());
}

void TestHandleWork::missingOrWrongArgumentDoesNothing_data()
{
    QTest::addColumn<QString>("task");
    for (const char* szTask : {"RefreshUi", "OpenTestLog", "SetR&TAgc", "SetTAgc", "SetRAgc", "StartTestOnce",
                               "ReTest", "UpdateTestResult", "OpenReverse", "InitAgcRange", "SetCheckLedError"})
        QTest::newRow(szTask) << QString::fromLatin1(szTask);
}

void TestHandleWork::missingOrWrongArgumentDoesNothing()
{
    QFETCH(QString, task);
    CStranger stranger;
    QVERIFY(m_pWork->PostTask(task, Qt::BlockingQueuedConnection, nullptr));
    QVERIFY(m_pWork->PostTask(task, Qt::BlockingQueuedConnection, &stranger));
    QVERIFY(m_pWork->PostTask(task, Qt::BlockingQueuedConnection, true));
    QTest::qWait(10);
    QVERIFY(m_pWindow->errors.isEmpty());
    QVERIFY(m_pWork->GetTouchDevice() == nullptr);
}

void TestHandleWork::refreshRunsOnTheViewsThread()
{
    CRecordingView view;
    QVERIFY(m_pWork->PostTask("RefreshUi", Qt::AutoConnection, &view));
    QTRY_COMPARE(view.nRefreshes, 1);
    QCOMPARE(view.pRefreshThread, QThread::currentThread());
}

void TestHandleWork::firstTestWithoutDeviceFailsToItsView()
{
    // Nothing to test: the view must not stay "testing"; the operator sees no
    // error box (nothing failed on a frame).
    CTestRunView view;
    QVERIFY(m_pWork->PostTask("StartTestOnce", Qt::AutoConnection, &view));
    QTRY_COMPARE(view.failures, QStringList{"StartTestOnce 0x80000002"});
    QCOMPARE(view.nInitTestUi, 0);
    QVERIFY(m_pWindow->errors.isEmpty());
}

void TestHandleWork::deviceKindWithoutDevice()
{
    QCOMPARE(m_pWork->GetDeviceKind(), HandleWork::DeviceKind::None);
    // Read without the device mutex: a task holding it does not block it.
    CMutexHolder holder(m_pWork->GetDeviceMutex());
    QCOMPARE(m_pWork->GetDeviceKind(), HandleWork::DeviceKind::None);
}

STATION_TEST_MAIN(TestHandleWork)
#include "tst_handlework.moc"
