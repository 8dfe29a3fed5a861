#pragma once

#include <QDateTime>
#include <functional>

// The wall-clock time of the calibration view: the time column of its log
// rows and the name of every saved log file come from Now(), and only from
// there, so that one place decides what "now" is.
class CCalibrationClock
{
public:
    // The local date and time now.
    static QDateTime Now();
    // Tests only: the source of Now() (null: the system clock).
    static void SetSource(std::function<QDateTime()> source);
};
