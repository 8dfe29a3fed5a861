#include "eventtimer.h"
#include "runlog.h"
#include "runlogcapture.h"
#include "testenvironment.h"
#include "timerthread.h"
#include "workthread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <memory>
#include <sys/resource.h>

namespace {

struct SCallCount
{
    std::atomic<int> calls{0};
    std::atomic<void *> lastArg{nullptr};
    std::atomic<Qt::HANDLE> thread{nullptr};
};

void CountCall(void *pArg)
{
    auto *p = static_cast<SCallCount *>(pArg);
    p->lastArg.store(pArg);
    p->thread.store(QThread::currentThreadId());
    ++p->calls;
}

// Counts the timer's ticks. timeout() is emitted on the timer's own thread,
// where a QSignalSpy would append to a list the test thread reads; the count
// is declared before the thread, so it outlives the last tick.
void CountTicks(CTimerThread &thread, std::atomic<int> &ticks)
{
    QObject::connect(&thread, &CTimerThread::timeout, [&ticks] { ++ticks; });
}

// Never returns and watches no flag: only terminate ends it.
void Endless(void *pArg)
{
    static_cast<std::atomic<bool> *>(pArg)->store(true);
    for (;;)
        QThread::msleep(1);
}

const char kChildEnv[] = "STATION_WORKTHREAD_CHILD_DIR";

struct SBlocked
{
    QMutex *mutex;
    std::atomic<bool> entered{false};
};

// Waits for a mutex: not a point where a terminate can end the thread.
void WaitForMutex(void *pArg)
{
    auto *p = static_cast<SBlocked *>(pArg);
    p->entered = true;
    p->mutex->lock();
    p->mutex->unlock();
}

} // namespace

class TestWorkThread : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { CWorkThread::SetStopRounds(100); }

    void startModes_data()
    {
        QTest::addColumn<bool>("withCallback");
        QTest::addColumn<bool>("exec");
        QTest::newRow("null callback, event loop") << false << true;
        QTest::newRow("null callback, no loop") << false << false;
        QTest::newRow("callback, event loop") << true << true;
        QTest::newRow("callback, no loop") << true << false;
    }
    void startModes()
    {
        QFETCH(bool, withCallback);
        QFETCH(bool, exec);
        SCallCount count;
        CRunLogCapture log;
        {
            CWorkThread thread(withCallback ? &CountCall : nullptr, &count);
            thread.Start(exec);
            if (exec) {
                // A pure event-loop thread keeps running and serves queued calls.
                QTRY_VERIFY(thread.isRunning() && thread.eventDispatcher());
                auto *probe = new QObject;
                probe->moveToThread(&thread);
                std::atomic<bool> ran{false};
                QMetaObject::invokeMethod(probe, [&] { ran = true; }, Qt::QueuedConnection);
                QTRY_VERIFY(ran.load());
                probe->deleteLater(); // on the thread, before it ends
                QVERIFY(thread.isRunning());
            } else {
                QVERIFY(thread.wait(5000));
            }
            QCOMPARE(count.calls.load(), withCallback ? 1 : 0);
            if (withCallback) {
                QCOMPARE(count.lastArg.load(), static_cast<void *>(&count));
                QVERIFY(count.thread.load() != QThread::currentThreadId());
            }
        }
        // Left within the bound: no terminate, no warning.
        QCOMPARE(log.Lines(), QStringList{"Release CWorkThread..."});
    }

    void restartAfterEnd()
    {
        SCallCount count;
        CWorkThread thread(&CountCall, &count);
        thread.Start(false);
        QVERIFY(thread.wait(5000));
        thread.Start(false);
        QVERIFY(thread.wait(5000));
        QCOMPARE(count.calls.load(), 2);
    }

    void stubbornThreadIsTerminated()
    {
        CWorkThread::SetStopRounds(5);
        CRunLogCapture log;
        std::atomic<bool> entered{false};
        QElapsedTimer elapsed;
        {
            CWorkThread thread(&Endless, &entered);
            thread.Start(false);
            QTRY_VERIFY(entered.load());
            elapsed.start();
        }
        // 5 rounds of 10 ms were given before the terminate, and the thread
        // was gone before its object (else Qt would have aborted).
        QVERIFY2(elapsed.elapsed() >= 45, qPrintable(QString::number(elapsed.elapsed())));
        const QStringList lines = log.Lines();
        const int term = lines.indexOf("Terminate Thread.");
        QVERIFY2(term >= 0, qPrintable(lines.join('|')));
        QCOMPARE(lines.indexOf("Release CWorkThread..."), term + 1);
    }

    // The owner holds the mutex its thread waits for: terminate cannot end
    // that thread. The program stops with the reason in the run log instead of
    // hanging for ever.
    void uncancellableThreadStopsTheProgram()
    {
        CScopedWorkDir dir;
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildEnv, dir.Path());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"uncancellableChild"});
        const bool ended = child.waitForFinished(20000);
        if (!ended) {
            child.kill();
            child.waitForFinished(5000);
        }
        QVERIFY2(ended, "the stop sequence hangs");
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        const QStringList files = QDir(dir.Path() + "/Log").entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QFile log(dir.Path() + "/Log/" + files.first());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString text = QString::fromLocal8Bit(log.readAll());
        const int term = text.indexOf("[Info]");
        QVERIFY2(text.indexOf(")-Terminate Thread.\n") > term, qPrintable(text));
        QVERIFY2(text.contains(QRegularExpression(R"(\[Fatal\]\([^)]*\)-Thread does not end after Terminate Thread\.)")),
                 qPrintable(text));
        QVERIFY2(!text.contains("Release CWorkThread..."), qPrintable(text));
    }

    // Runs only in the child process started above.
    void uncancellableChild()
    {
        const QString dir = QString::fromLocal8Bit(qgetenv(kChildEnv));
        if (dir.isEmpty())
            QSKIP("runs as a child of uncancellableThreadStopsTheProgram");
        // abort() skips destructors: leave no sandbox folders and no core file.
        QDir(CTestEnvironment::SettingsDir()).removeRecursively();
        QDir(CTestEnvironment::WorkDir()).removeRecursively();
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        QDir::setCurrent(dir);
        InstallLogHandler(QString());
        CWorkThread::SetStopRounds(2);
        QMutex mutex;
        SBlocked blocked{&mutex};
        mutex.lock();
        {
            CWorkThread thread(&WaitForMutex, &blocked);
            thread.Start(false);
            QTRY_VERIFY(blocked.entered.load());
        }
        mutex.unlock();
        QFAIL("the blocked thread was given up silently");
    }

    void timerCallsBackOnItsThread()
    {
        SCallCount count;
        std::atomic<int> ticks{0};
        CTimerThread thread(&CountCall, &count);
        CountTicks(thread, ticks);
        QCOMPARE(thread.StartTimer(5, Qt::PreciseTimer), 1);
        QTRY_VERIFY(count.calls.load() >= 3);
        QVERIFY(count.thread.load() != QThread::currentThreadId());
        QTRY_VERIFY(ticks.load() >= 3);
        QCOMPARE(thread.StopTimer(), 1);
        QVERIFY(thread.wait(5000));
        const int after = count.calls.load();
        QTest::qWait(30);
        QCOMPARE(count.calls.load(), after);
    }

    void startWhileRunningKeepsInterval()
    {
        CTimerThread thread(nullptr, nullptr);
        QCOMPARE(thread.StartTimer(40, Qt::CoarseTimer), 1);
        QCOMPARE(thread.StartTimer(7, Qt::PreciseTimer), 1);
        QCOMPARE(thread.Interval(), 40);
        thread.StopTimer();
    }

    void setIntervalBeforeFirstStartDoesNothing()
    {
        std::atomic<int> ticks{0};
        CTimerThread thread(nullptr, nullptr);
        QSignalSpy changes(&thread, &CTimerThread::ChangeInterval);
        thread.SetInterval(500);
        QCOMPARE(changes.count(), 0);
        QCOMPARE(thread.Interval(), 0);
        CountTicks(thread, ticks);
        thread.StartTimer(3, Qt::PreciseTimer);
        QCOMPARE(thread.Interval(), 3);
        QTRY_VERIFY(ticks.load() >= 3);
    }

    void setIntervalReachesRunningTimer()
    {
        std::atomic<int> ticks{0};
        CTimerThread thread(nullptr, nullptr);
        CountTicks(thread, ticks);
        thread.StartTimer(60000, Qt::CoarseTimer);
        QTRY_VERIFY(thread.isRunning());
        QSignalSpy changes(&thread, &CTimerThread::ChangeInterval);
        thread.SetInterval(2);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).toInt(), 2);
        QCOMPARE(thread.Interval(), 2);
        QTRY_VERIFY(ticks.load() >= 3);
    }

    // The timer of a stopped run still counts as the timer: the interval is
    // stored and announced; the next start takes its own argument.
    void setIntervalAfterStop()
    {
        std::atomic<int> ticks{0};
        CTimerThread thread(nullptr, nullptr);
        thread.StartTimer(40, Qt::CoarseTimer);
        QTRY_VERIFY(thread.isRunning());
        thread.StopTimer();
        QVERIFY(thread.wait(5000));
        QSignalSpy changes(&thread, &CTimerThread::ChangeInterval);
        thread.SetInterval(50);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(thread.Interval(), 50);
        CountTicks(thread, ticks);
        thread.StartTimer(7, Qt::PreciseTimer);
        QCOMPARE(thread.Interval(), 7);
        QTRY_VERIFY(ticks.load() >= 2);
    }

    void restartRightAfterStop()
    {
        SCallCount count;
        CTimerThread thread(&CountCall, &count);
        thread.StartTimer(2, Qt::PreciseTimer);
        QTRY_VERIFY(count.calls.load() >= 1);
        thread.StopTimer();
        // The stopping thread is waited for, so this really restarts.
        thread.StartTimer(3, Qt::PreciseTimer);
        QCOMPARE(thread.Interval(), 3);
        const int before = count.calls.load();
        QTRY_VERIFY(count.calls.load() >= before + 3);
        QCOMPARE(thread.StopTimer(), 1);
        QVERIFY(thread.wait(5000));
        QCOMPARE(thread.StopTimer(), 1); // not running: still 1
    }

    void timerReleaseOrder()
    {
        CRunLogCapture log;
        {
            CTimerThread thread(nullptr, nullptr);
            thread.StartTimer(1000, Qt::CoarseTimer);
            QTRY_VERIFY(thread.isRunning());
        }
        const QStringList lines = log.Lines();
        QCOMPARE(lines, QStringList({"Release CTimerThread...", "Release CEventTimer...",
                                     "Release CWorkThread..."}));
    }

    void eventTimerEmitsOnlyItsOwnSignal()
    {
        SCallCount count;
        CEventTimer timer(&CountCall, &count);
        QSignalSpy own(&timer, &CEventTimer::timeOut);
        QSignalSpy qt(&timer, &QTimer::timeout);
        timer.ChangeInterval(0); // raised to 1 ms, never a spinning timer
        QCOMPARE(timer.interval(), 1);
        timer.start();
        QTRY_VERIFY(own.count() >= 2);
        timer.stop();
        QCOMPARE(qt.count(), 0);
        QVERIFY(count.calls.load() >= own.count());
    }

    void testDataSignalCrossesThreads()
    {
        CTimerThread thread(nullptr, nullptr);
        QString dir;
        QList<uint32_t> data;
        QObject receiver;
        connect(&thread, &CTimerThread::EmitTestData, &receiver,
                [&](QString d, QList<uint32_t> v) { dir = d; data = v; }, Qt::QueuedConnection);
        QList<uint32_t> sent{1, 2, 0xFFFFFFFFu};
        emit thread.EmitTestData("X-T0", sent);
        sent.clear();
        QTRY_COMPARE(dir, QString("X-T0"));
        QCOMPARE(data, QList<uint32_t>({1, 2, 0xFFFFFFFFu}));
    }
};

STATION_TEST_MAIN_CORE(TestWorkThread)
#include "tst_workthread.moc"
