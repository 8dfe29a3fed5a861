#pragma once

// Figures the benchmarks print: times on the monotonic clock and the median
// of a series.

#include <algorithm>
#include <chrono>
#include <vector>

namespace BenchFigures {

using Clock = std::chrono::steady_clock;

inline double Us(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::micro>(b - a).count();
}

inline double Ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// 0 for an empty series.
inline double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace BenchFigures
