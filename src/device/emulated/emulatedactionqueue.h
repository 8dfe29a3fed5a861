#pragma once

#include "emulatedframe.h"

#include <QList>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

// The delayed half of an emulated frame's answers, for the adapters that put
// the frame behind a transport: every action runs on this queue's own thread
// after its delay, scaled by CStationClock::Timeout like the station's own
// waits. A re-plug runs as two tasks, the leave after its delay and the
// return backAfterMs later. Each task carries the arrival (generation) that
// caused it, so that the adapter can drop what belongs to an arrival that is
// over.
class CEmulatedActionQueue
{
public:
    struct Task
    {
        CEmulatedFrame::Action action;
        bool bAttach = false; // the second half of a re-plug
        int nGeneration = 0;
    };
    using Handler = std::function<void(const Task &task)>;

    // The handler runs on the queue's thread, one task at a time.
    explicit CEmulatedActionQueue(Handler handler);
    // Stops the thread; what is still pending is dropped.
    ~CEmulatedActionQueue();
    CEmulatedActionQueue(const CEmulatedActionQueue &) = delete;
    CEmulatedActionQueue &operator=(const CEmulatedActionQueue &) = delete;

    void Schedule(const QList<CEmulatedFrame::Action> &actions, int nGeneration);
    // Waits (real time, at most nTimeoutMs) until no task is pending or running.
    bool WaitIdle(int nTimeoutMs);
    // Ends the thread after the task that runs now; no task runs afterwards.
    void Stop();

private:
    void Post(const Task &task, int nDelayMs);
    void Run();

    Handler m_handler;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    std::multimap<std::chrono::steady_clock::time_point, Task> m_tasks;
    int m_nRunning = 0;
    bool m_bStop = false;
    std::thread m_thread;
};
