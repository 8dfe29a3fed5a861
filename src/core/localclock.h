#pragma once

#include <QDateTime>
#include <functional>

// The local wall-clock time of the station, as the names of its files carry
// it (run logs, test logs, screenshots, exports). It may jump when the system
// clock is set: every wait and time-out measures with CStationClock instead.
//
// Tests fix it (or make it step) so that a file name can be predicted;
// production code never sets a source.
class CLocalClock
{
public:
    // The current local date and time, or what the test source gives.
    static QDateTime Now();

    // Now() returns what source gives (called on the calling thread, never
    // under a lock of this class), until SetSource(nullptr) brings the real
    // clock back.
    static void SetSource(std::function<QDateTime()> source);
    // Now() returns time until SetSource(nullptr).
    static void SetFixed(const QDateTime &time);
};
