#include "eventtimer.h"
#include "testenvironment.h"
#include "timerthread.h"
#include "workthread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <memory>

namespace {

// Collects every message logged while it is alive.
class CLogCapture
{
public:
    CLogCapture() { s_self = this; m_previous = qInstallMessageHandler(&CLogCapture::Handler); }
    ~CLogCapture() { qInstallMessageHandler(m_previous); s_self = nullptr; }
    QStringList Lines() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }

private:
    static void Handler(QtMsgType, const QMessageLogContext &, const QString &msg)
    {
        QMutexLocker lock(&s_self->m_mutex);
        s_self->m_lines << msg;
    }
    static CLogCapture *s_self;
    QtMessageHandler m_previous = nullptr;
    mutable QMutex m_mutex;
    QStringList m_lines;
};
CLogCapture *CLogCapture::s_self = nullptr;

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

// Never returns and watches no flag: only terminate ends it.
void Endless(void *pArg)
{
    static_cast<std::atomic<bool> *>(pArg)->store(true);
    for (;;)
        QThread::msleep(1);
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
        CLogCapture log;
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
        CLogCapture log;
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
        QVERIFY(elapsed.elapsed() < 5000);
        const QStringList lines = log.Lines();
        const int term = lines.indexOf("Terminate Thread.");
        QVERIFY2(term >= 0, qPrintable(lines.join('|')));
        QCOMPARE(lines.indexOf("Release CWorkThread..."), term + 1);
    }

    void timerCallsBackOnItsThread()
    {
        SCallCount count;
        CTimerThread thread(&CountCall, &count);
        QSignalSpy ticks(&thread, &CTimerThread::timeout);
        QCOMPARE(thread.StartTimer(5, Qt::PreciseTimer), 1);
        QTRY_VERIFY(count.calls.load() >= 3);
        QVERIFY(count.thread.load() != QThread::currentThreadId());
        QTRY_VERIFY(ticks.count() >= 3);
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
        CTimerThread thread(nullptr, nullptr);
        QSignalSpy changes(&thread, &CTimerThread::ChangeInterval);
        thread.SetInterval(500);
        QCOMPARE(changes.count(), 0);
        QCOMPARE(thread.Interval(), 0);
        thread.StartTimer(3, Qt::PreciseTimer);
        QCOMPARE(thread.Interval(), 3);
        QSignalSpy ticks(&thread, &CTimerThread::timeout);
        QTRY_VERIFY(ticks.count() >= 3);
    }

    void setIntervalReachesRunningTimer()
    {
        CTimerThread thread(nullptr, nullptr);
        QSignalSpy ticks(&thread, &CTimerThread::timeout);
        thread.StartTimer(60000, Qt::CoarseTimer);
        QTRY_VERIFY(thread.isRunning());
        QSignalSpy changes(&thread, &CTimerThread::ChangeInterval);
        thread.SetInterval(2);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(changes.at(0).at(0).toInt(), 2);
        QCOMPARE(thread.Interval(), 2);
        QTRY_VERIFY(ticks.count() >= 3);
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
        CLogCapture log;
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
