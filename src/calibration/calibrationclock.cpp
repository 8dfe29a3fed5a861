#include "calibrationclock.h"

#include <mutex>

namespace {
std::mutex s_mutex;
std::function<QDateTime()> s_source;
} // namespace

QDateTime CCalibrationClock::Now()
{
    std::function<QDateTime()> source;
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        source = s_source;
    }
    return source ? source() : QDateTime::currentDateTime();
}

void CCalibrationClock::SetSource(std::function<QDateTime()> source)
{
    std::lock_guard<std::mutex> lock(s_mutex);
    s_source = std::move(source);
}
