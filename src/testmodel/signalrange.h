#pragma once

#include <cstdint>

// One window of signal values, both ends included: a reading v is within the
// window when lo <= v <= hi (unsigned comparison).
struct SignalRange
{
    uint32_t lo = 0;
    uint32_t hi = 0;
};

inline bool operator==(const SignalRange &a, const SignalRange &b)
{
    return a.lo == b.lo && a.hi == b.hi;
}

inline bool operator!=(const SignalRange &a, const SignalRange &b)
{
    return !(a == b);
}
