#include "timerthread.h"

#include "eventtimer.h"

#include <QDeadlineTimer>
#include <QMetaType>
#include <QtDebug>

namespace {
// How long StartTimer waits for a thread that was asked to stop.
constexpr int kRestartWaitMs = 1000;
} // namespace

CTimerThread::CTimerThread(WorkThreadCallback callback, void *pArg, QObject *parent)
    : CWorkThread(callback, pArg, parent, false),
      m_nInterval(0),
      m_timerType(Qt::CoarseTimer),
      m_pTimer(nullptr),
      m_bTimerMade(false),
      m_bStopping(false)
{
    qRegisterMetaType<QList<uint32_t>>("QList<uint32_t>");
}

CTimerThread::~CTimerThread()
{
    qInfo() << "Release CTimerThread...";
    StopThread();
    // Normally the run deletes its timer on its own thread; this only covers a
    // thread that had to be terminated.
    delete m_pTimer.exchange(nullptr);
}

int CTimerThread::StartTimer(int interval, Qt::TimerType type)
{
    if (isRunning() && m_bStopping.load())
        wait(QDeadlineTimer(kRestartWaitMs));
    if (isRunning())
        return 1;
    m_bStopping.store(false);
    m_nInterval.store(interval);
    m_timerType.store(type);
    start(QThread::InheritPriority);
    return 1;
}

void CTimerThread::SetInterval(int interval)
{
    // A timer exists from the first run on (a stopped run's timer counts: the
    // next start takes its own interval anyway). It includes a run that has
    // started but not yet made its timer: run() connects before it reads the
    // interval, so the value either reaches the new timer through the signal
    // or is read by run() itself.
    if (!m_bTimerMade.load() && !isRunning())
        return;
    m_nInterval.store(interval);
    emit ChangeInterval(interval);
}

int CTimerThread::StopTimer()
{
    if (isRunning()) {
        m_bStopping.store(true);
        quit();
    }
    return 1;
}

void CTimerThread::run()
{
    m_bTimerMade.store(true);
    auto *timer = new CEventTimer(m_callback, m_pArg);
    timer->setTimerType(m_timerType.load());
    connect(this, &CTimerThread::ChangeInterval, timer, &CEventTimer::ChangeInterval,
            Qt::AutoConnection);
    connect(timer, &CEventTimer::timeOut, this, &CTimerThread::timeout, Qt::DirectConnection);
    m_pTimer.store(timer);
    timer->start(CEventTimer::SaneInterval(m_nInterval.load()));
    exec();
    // The timer belongs to this thread: stop and delete it here.
    m_pTimer.store(nullptr);
    delete timer;
}
