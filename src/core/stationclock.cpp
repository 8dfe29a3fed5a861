#include "stationclock.h"

#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <mutex>

namespace {
std::atomic<double> g_scale{1.0};
std::atomic<int> g_floorMs{0};
std::mutex g_hookMutex;
std::function<void(int)> g_sleepHook;
std::atomic<CStationClock::TimeSource> g_timeSource{nullptr};

const QElapsedTimer &Epoch()
{
    static const QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}
} // namespace

qint64 CStationClock::NowMs()
{
    if (const TimeSource source = g_timeSource.load(std::memory_order_acquire))
        return source();
    return Epoch().elapsed();
}

void CStationClock::SetTimeSourceHook(TimeSource source)
{
    g_timeSource.store(source, std::memory_order_release);
}

int CStationClock::Timeout(int nMs)
{
    if (nMs <= 0)
        return nMs;
    const double floor = std::min(nMs, g_floorMs.load());
    const double scaled = std::max(nMs * g_scale.load(), floor);
    if (scaled < 1.0)
        return 1;
    return scaled > 2147483647.0 ? 2147483647 : int(scaled);
}

void CStationClock::Sleep(int nMs)
{
    std::function<void(int)> hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_sleepHook;
    }
    if (hook) {
        hook(nMs);
        return;
    }
    if (nMs > 0)
        QThread::msleep(static_cast<unsigned long>(nMs));
}

void CStationClock::SetTimeoutScale(double dScale)
{
    g_scale.store(dScale < 0 ? 0 : dScale);
}

void CStationClock::SetTimeoutFloor(int nMs)
{
    g_floorMs.store(nMs < 0 ? 0 : nMs);
}

double CStationClock::TimeoutScale()
{
    return g_scale.load();
}

void CStationClock::SetSleepHook(std::function<void(int)> hook)
{
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_sleepHook = std::move(hook);
}
