#pragma once

#include "workthread.h"

#include <QList>
#include <QString>
#include <atomic>
#include <cstdint>

class CEventTimer;

// A worker thread that owns a CEventTimer inside its own event loop: the
// callback (and the timeout() signal) run periodically on this thread.
// StartTimer/SetInterval/StopTimer are called from the owner's thread.
class CTimerThread : public CWorkThread
{
    Q_OBJECT
public:
    CTimerThread(WorkThreadCallback callback, void *pArg, QObject *parent = nullptr);
    ~CTimerThread() override;

    // Starts the thread and its timer; while the thread runs nothing changes.
    // A thread still ending after StopTimer is waited for (bounded) first, so
    // a stop followed by a start restarts the timer. Returns 1.
    int StartTimer(int interval, Qt::TimerType type);
    // Stores the interval and emits ChangeInterval, which the running timer
    // takes; no effect at all before the first start made a timer.
    void SetInterval(int interval);
    // Ends the thread's event loop (the timer stops ticking). Returns 1.
    int StopTimer();

    int Interval() const { return m_nInterval.load(); }

signals:
    void ChangeInterval(int interval);
    void timeout();
    // Never emitted by this class; the owner emits it on the object.
    void EmitTestData(QString dir, QList<uint32_t> testData);

protected:
    void run() override;

private:
    std::atomic<int> m_nInterval;
    std::atomic<Qt::TimerType> m_timerType;
    std::atomic<CEventTimer *> m_pTimer;
    // A run has made its timer (the object keeps the last run's timer alive
    // in meaning: only the first start changes this).
    std::atomic<bool> m_bTimerMade;
    std::atomic<bool> m_bStopping;
};
