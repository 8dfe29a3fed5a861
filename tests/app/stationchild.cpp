// The station program as the program-start tests run it: the real qMain in a
// child process, over a fake device layer with no frame (these machines have
// no hidraw), with its time-outs scaled by STATION_CHILD_TIMEOUT_SCALE.

#include "fakehidbackend.h"
#include "qmain.h"
#include "stationclock.h"

#include <QtGlobal>

int main(int argc, char* argv[])
{
    bool bOk = false;
    const double dScale = qEnvironmentVariable("STATION_CHILD_TIMEOUT_SCALE").toDouble(&bOk);
    if (bOk && dScale > 0)
        CStationClock::SetTimeoutScale(dScale);
    const auto backend = CFakeHidBackend::Install();
    const int nExitCode = qMain(argc, argv);
    CFakeHidBackend::Uninstall();
    return nExitCode;
}
