#pragma once

#include <QtGlobal>
#include <functional>

// Monotonic time and the waits of the station, in one place so that tests can
// shorten them: every time-out goes through Timeout() and every fixed pause
// through Sleep(). Production code never changes the scale or the hook.
class CStationClock
{
public:
    // Milliseconds on a monotonic clock (never jumps when the wall clock is set).
    static qint64 NowMs();
    // A wait of nMs as the product defines it, scaled for tests (at least 1 ms
    // when nMs > 0, and at least the floor or nMs where a test sets one).
    static int Timeout(int nMs);
    // A fixed pause; goes through the hook when one is set.
    static void Sleep(int nMs);

    static void SetTimeoutScale(double dScale);
    static double TimeoutScale();
    // Tests only: a scaled wait is never shorter than this (nor than the wait
    // itself), so that a test can shorten the long waits without making a
    // frame's quick answers miss theirs on a loaded machine. 0 (the default,
    // and what production keeps): no floor.
    static void SetTimeoutFloor(int nMs);
    static void SetSleepHook(std::function<void(int)> hook);

    // Tests only: the function NowMs() returns, so that a test can move the
    // station's time without real time passing. Null (the default, and what
    // production keeps) is the monotonic clock.
    using TimeSource = qint64 (*)();
    static void SetTimeSourceHook(TimeSource source);
};
