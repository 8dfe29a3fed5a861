#include "workthread.h"

#include <QDeadlineTimer>
#include <QtDebug>

namespace {
std::atomic<int> g_stopRounds{100};
constexpr int kStopRoundMs = 10;
// After a terminate the thread ends at its next cancellation point, which a
// busy machine may reach late: up to 2 s, whatever the stop rounds (the wait
// ends as soon as the thread does).
constexpr int kAfterTerminateMs = 2000;
} // namespace

CWorkThread::CWorkThread(WorkThreadCallback callback, void *pArg, QObject *parent, bool bExec)
    : QThread(parent), m_callback(callback), m_pArg(pArg), m_bExec(bExec)
{
}

CWorkThread::~CWorkThread()
{
    StopThread();
    qInfo() << "Release CWorkThread...";
}

void CWorkThread::SetStopRounds(int nRounds)
{
    g_stopRounds.store(nRounds < 0 ? 0 : nRounds);
}

int CWorkThread::StopRounds()
{
    return g_stopRounds.load();
}

void CWorkThread::Start(bool bExec)
{
    m_bExec.store(bExec);
    start(QThread::InheritPriority);
}

void CWorkThread::run()
{
    if (m_callback)
        m_callback(m_pArg);
    if (m_bExec.load())
        exec();
}

void CWorkThread::StopThread()
{
    quit();
    if (QThread::currentThread() == this) {
        // Deleted from its own callback or event loop: it cannot wait for
        // itself; the thread ends as soon as that call returns.
        qWarning() << "CWorkThread released from its own thread.";
        return;
    }
    // wait() returns as soon as the thread has ended, so a thread that leaves
    // at once costs no round at all; the bound is on the monotonic clock.
    const int rounds = g_stopRounds.load();
    for (int i = 0; i < rounds; ++i) {
        if (wait(QDeadlineTimer(kStopRoundMs, Qt::PreciseTimer)))
            break;
    }
    if (!isRunning())
        return;

    qInfo() << "Terminate Thread.";
    terminate();
    // QThread aborts the process when it is destroyed while its thread still
    // runs, so the object must not go before the thread has really ended.
    if (wait(QDeadlineTimer(kAfterTerminateMs)))
        return;
    // A thread blocked where it cannot be cancelled (waiting for a mutex, say
    // one that this very thread holds) never ends: waiting on would hang the
    // program for ever, at exit typically, with the single-instance lock held.
    // Stop with the reason in the run log instead.
    qFatal("Thread does not end after Terminate Thread. (blocked where it cannot be cancelled); "
           "the program stops.");
}
