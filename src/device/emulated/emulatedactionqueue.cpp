#include "emulatedactionqueue.h"

#include "stationclock.h"

CEmulatedActionQueue::CEmulatedActionQueue(Handler handler)
    : m_handler(std::move(handler))
{
    m_thread = std::thread([this] { Run(); });
}

CEmulatedActionQueue::~CEmulatedActionQueue()
{
    Stop();
}

void CEmulatedActionQueue::Stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_cond.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void CEmulatedActionQueue::Schedule(const QList<CEmulatedFrame::Action> &actions, int nGeneration)
{
    for (const CEmulatedFrame::Action &a : actions) {
        Task t;
        t.action = a;
        t.nGeneration = nGeneration;
        Post(t, a.delayMs);
        if (a.kind == CEmulatedFrame::Action::Replug) {
            Task back = t;
            back.bAttach = true;
            Post(back, a.delayMs + qMax(1, a.backAfterMs));
        }
    }
}

void CEmulatedActionQueue::Post(const Task &task, int nDelayMs)
{
    const auto due = std::chrono::steady_clock::now()
        + std::chrono::milliseconds(nDelayMs > 0 ? CStationClock::Timeout(nDelayMs) : 0);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_tasks.emplace(due, task);
    }
    m_cond.notify_all();
}

void CEmulatedActionQueue::Run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_bStop) {
        if (m_tasks.empty()) {
            m_cond.wait(lock);
            continue;
        }
        const auto due = m_tasks.begin()->first;
        if (std::chrono::steady_clock::now() < due) {
            m_cond.wait_until(lock, due);
            continue;
        }
        const Task task = m_tasks.begin()->second;
        m_tasks.erase(m_tasks.begin());
        ++m_nRunning;
        lock.unlock();
        m_handler(task);
        lock.lock();
        --m_nRunning;
        m_cond.notify_all();
    }
}

bool CEmulatedActionQueue::WaitIdle(int nTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cond.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                           [this] { return m_tasks.empty() && m_nRunning == 0; });
}
