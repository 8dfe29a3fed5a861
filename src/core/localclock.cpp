#include "localclock.h"

#include <atomic>
#include <memory>
#include <mutex>

namespace {

struct SSource
{
    std::mutex mutex;
    std::shared_ptr<const std::function<QDateTime()>> source;
    std::atomic<bool> bSet{false};
};

// Never destroyed: the run log asks for the time while the process exits.
SSource &Source()
{
    static SSource *pSource = new SSource;
    return *pSource;
}

} // namespace

QDateTime CLocalClock::Now()
{
    SSource &s = Source();
    if (s.bSet.load(std::memory_order_acquire)) {
        std::shared_ptr<const std::function<QDateTime()>> source;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            source = s.source;
        }
        if (source)
            return (*source)();
    }
    return QDateTime::currentDateTime();
}

void CLocalClock::SetSource(std::function<QDateTime()> source)
{
    SSource &s = Source();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (source)
        s.source = std::make_shared<const std::function<QDateTime()>>(std::move(source));
    else
        s.source.reset();
    s.bSet.store(bool(s.source), std::memory_order_release);
}

void CLocalClock::SetFixed(const QDateTime &time)
{
    SetSource([time] { return time; });
}
