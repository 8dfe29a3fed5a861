#pragma once

#include "stationclock.h"

#include <QString>
#include <QtGlobal>

// A station run as a test's child process scales its time-outs by
// STATION_CHILD_TIMEOUT_SCALE where the test sets it (a positive number).
// Header only.
inline void ApplyChildTimeoutScale()
{
    bool bOk = false;
    const double dScale = qEnvironmentVariable("STATION_CHILD_TIMEOUT_SCALE").toDouble(&bOk);
    if (bOk && dScale > 0)
        CStationClock::SetTimeoutScale(dScale);
}
