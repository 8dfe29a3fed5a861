#pragma once

#include <QMutex>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

// Holds a mutex on a thread of its own (the dispatcher's device mutex, say,
// so that a task that needs it stays running) until Release(), until the
// holder goes, or until releaseWhen() holds (asked on the holder's thread).
// The constructor returns once the mutex is held.
class CMutexHolder
{
public:
    explicit CMutexHolder(QMutex* pMutex, std::function<bool()> releaseWhen = nullptr)
        : m_thread([this, pMutex, releaseWhen] {
              pMutex->lock();
              m_bLocked = true;
              while (!m_bRelease && !(releaseWhen && releaseWhen()))
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              pMutex->unlock();
          })
    {
        while (!m_bLocked)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~CMutexHolder()
    {
        Release();
        m_thread.join();
    }
    CMutexHolder(const CMutexHolder&) = delete;
    CMutexHolder& operator=(const CMutexHolder&) = delete;

    void Release() { m_bRelease = true; }

private:
    std::atomic<bool> m_bLocked{false};
    std::atomic<bool> m_bRelease{false};
    std::thread m_thread;
};
