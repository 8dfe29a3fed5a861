// The dispatcher's end, without a frame: a stopped worker refuses and drops
// tasks, an answer whose poster is gone is dropped on the GUI thread, and the
// destructor never waits without bound for a device mutex that is not given
// back.

#include "customersettings.h"
#include "fakehidbackend.h"
#include "handlework.h"
#include "mutexholder.h"
#include "runlogcapture.h"
#include "shelltestwindow.h"
#include "testenvironment.h"
#include "waitfor.h"

#include <QtTest>

#include <memory>

namespace {
// A view as the dispatcher sees it: counts its refreshes.
class CRefreshView : public QObject
{
    Q_OBJECT
public:
    int nRefreshes = 0;

public slots:
    bool UpdateRealTimeData()
    {
        ++nRefreshes;
        return true;
    }
};
} // namespace

class TestDispatchShutdown : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void stoppedWorkerRefusesAndDropsTasks();
    void answerToAPosterThatIsGoneIsDropped();
    void destructorDoesNotWaitForAHeldDeviceMutex();

private:
    std::shared_ptr<CFakeHidBackend> m_backend;
    std::unique_ptr<CShellTestWindow> m_pWindow;
    std::unique_ptr<HandleWork> m_pWork;
};

void TestDispatchShutdown::initTestCase()
{
    CCustomerSettings::GetInstance()->clear();
    m_backend = CFakeHidBackend::Install();
}

void TestDispatchShutdown::cleanupTestCase()
{
    m_backend.reset();
    CFakeHidBackend::Uninstall();
}

void TestDispatchShutdown::init()
{
    CTestEnvironment::RealClock();
    m_pWindow = std::make_unique<CShellTestWindow>();
    m_pWork = std::make_unique<HandleWork>(m_pWindow.get());
}

void TestDispatchShutdown::cleanup()
{
    m_pWork.reset();
    m_pWindow.reset();
    CTestEnvironment::RealClock();
}

void TestDispatchShutdown::stoppedWorkerRefusesAndDropsTasks()
{
    CRunLogCapture log;
    CRefreshView view;
    {
        // A task waits for the device until the stop has begun; two more
        // wait behind it.
        CMutexHolder holder(m_pWork->GetDeviceMutex(),
                            [&log] { return log.Contains("StopWorker : stopping the worker thread."); });
        QVERIFY(m_pWork->PostTask("InitDeviceInfo"));
        QVERIFY(StationTest::WaitFor([this] { return m_pWork->IsTaskRunning("InitDeviceInfo"); }));
        QVERIFY(m_pWork->PostTask("RefreshUi", Qt::AutoConnection, &view));
        QVERIFY(m_pWork->PostTask("ReTest", Qt::AutoConnection, &view));
        QVERIFY(!m_pWork->IsWorkerStopped());
        m_pWork->StopWorker();
    }
    QVERIFY(m_pWork->IsWorkerStopped());
    m_pWork->StopWorker(); // once more: nothing happens

    // Refused from now on, with a debug line.
    QVERIFY(!m_pWork->PostTask("RefreshUi", Qt::AutoConnection, &view));
    QVERIFY(!m_pWork->PostTask("InitAgc", Qt::BlockingQueuedConnection));
    QVERIFY(log.Contains("PostTask :task = InitAgc refused, the station is closing"));
    QVERIFY(log.Contains("StopWorker : the worker thread has stopped."));
    QCoreApplication::processEvents();
    QCOMPARE(view.nRefreshes, 0);
    // The tasks queued behind the running one never ran.
    const QStringList lines = log.Lines();
    for (const QString& task : {QStringLiteral("RefreshUi"), QStringLiteral("ReTest")}) {
        const QString started = QStringLiteral("ProcessTask :task = ") + task;
        QCOMPARE(lines.count(started), lines.count(started + " dropped, the station is closing"));
    }
    QCOMPARE(log.Count("Terminate Thread."), 0);
}

void TestDispatchShutdown::answerToAPosterThatIsGoneIsDropped()
{
    CRunLogCapture log;
    auto pView = std::make_unique<CRefreshView>();
    QPointer<CRefreshView> watcher(pView.get());
    {
        CMutexHolder holder(m_pWork->GetDeviceMutex());
        QVERIFY(m_pWork->PostTask("InitDeviceInfo"));
        QVERIFY(StationTest::WaitFor([this] { return m_pWork->IsTaskRunning("InitDeviceInfo"); }));
        QVERIFY(m_pWork->PostTask("RefreshUi", Qt::AutoConnection, pView.get()));
        // The view goes while its task waits in the queue.
        pView.reset();
    }
    // The worker answers; the GUI thread finds the view gone.
    QVERIFY(StationTest::WaitFor([&log] { return log.Contains("the view is gone"); }));
    QVERIFY(log.Contains("ProcessTask :task = RefreshUi - the view is gone, its UpdateRealTimeData is dropped"));
    QVERIFY(log.Lines(QtWarningMsg).filter("RefreshUi").isEmpty());

    // A live view still gets its answer.
    CRefreshView view;
    QVERIFY(m_pWork->PostTask("RefreshUi", Qt::AutoConnection, &view));
    QVERIFY(StationTest::WaitFor([&view] { return view.nRefreshes == 1; }));
}

void TestDispatchShutdown::destructorDoesNotWaitForAHeldDeviceMutex()
{
    // Something still holds the device mutex at the end (a task whose thread
    // was given up): the destructor waits only its bound, then goes on and
    // leaves the mutex, which the holder can still give back.
    CTestEnvironment::FastClock(0.01); // 5 s become 50 ms
    CRunLogCapture log;
    QMutex* pDeviceMutex = m_pWork->GetDeviceMutex();
    {
        CMutexHolder holder(pDeviceMutex);
        m_pWork.reset();
        QVERIFY(log.Contains("~HandleWork : the device mutex is still held after 50 ms"));
    }
    // Given back after the end; nobody else uses it any more.
    delete pDeviceMutex;
}

STATION_TEST_MAIN(TestDispatchShutdown)
#include "tst_dispatchshutdown.moc"
