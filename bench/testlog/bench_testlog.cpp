// Saves and reloads the test log of a large frame: 600 LEDs on X, 340 on Y,
// three directions, a full test run followed by a recording of 100 frames.
// Prints the median save time (commit to disk included), the median time to
// load and analyse the log in a replay, the log size and the peak memory.
// Targets: save under 100 ms, load and analyse under 200 ms.
//
//   bench_testlog [rounds, default 15]
// The log is written in a temporary folder under the current directory (or
// under $STATION_BENCH_DIR), so that it lands on the local disk.

#include "benchfigures.h"
#include "fakehardware.h"
#include "operateenvironment.h"
#include "touchlogfilexml.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

using namespace BenchFigures;

long PeakRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int nRounds = argc > 1 ? qMax(1, atoi(argv[1])) : 15;
    const QString strBase = qEnvironmentVariableIsSet("STATION_BENCH_DIR")
        ? qEnvironmentVariable("STATION_BENCH_DIR")
        : QDir::currentPath();
    QTemporaryDir dir(strBase + QStringLiteral("/bench-testlog-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a folder under %s\n", qPrintable(strBase));
        return 1;
    }

    COperateEnvironment env;
    env.CollectEnvironment();

    SFakeHardwareConfig config;
    config.nLedsX = 600;
    config.nLedsY = 340;
    // Two weak LEDs within the tolerances: the run reads all its frames.
    config.mapWeak["X-T1"] = {300};
    config.mapWeak["Y-T0"] = {5};
    config.nTolerantTotal = 10;
    config.nTolerantEachLed = 3;
    CFakeHardware hw(&env, config, QStringLiteral("bench"));
    if (hw.StartTest(1) != 0) {
        std::fprintf(stderr, "the test run failed\n");
        return 1;
    }
    // The recording: 100 real-time cycles stored as test data.
    hw.StartRecord();
    for (int i = 0; i < 100; ++i) {
        ProblemMap mapProblems;
        hw.AnalyseRealTimeSignal(mapProblems);
        hw.NextFrame();
    }
    hw.StopRecord();

    const QString strPath = dir.filePath(QStringLiteral("bench_PASS.xml"));
    std::vector<double> lstSave;
    for (int i = 0; i < nRounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (hw.SaveXml(strPath) != 0) {
            std::fprintf(stderr, "saving failed\n");
            return 1;
        }
        lstSave.push_back(timer.nsecsElapsed() / 1e6);
    }

    std::vector<double> lstLoad;
    QString strCode;
    uint32_t nLast = 0;
    for (int i = 0; i < nRounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        CTouchLogfileXML log(&env, strPath);
        if (log.StartTest(1) != 0) {
            std::fprintf(stderr, "loading failed\n");
            return 1;
        }
        ProblemMap mapProblems;
        log.GetErrors(mapProblems);
        QString strMessage;
        strCode = QStringLiteral("PASS");
        log.GetTestResultCode(strCode, strMessage);
        nLast = log.GetLastRecordNumber();
        lstLoad.push_back(timer.nsecsElapsed() / 1e6);
    }

    const double dSave = Median(lstSave);
    const double dLoad = Median(lstLoad);
    std::printf("test log of 600+340 LEDs, 3 directions, frames 0..%u, %.2f MB on %s\n", nLast,
                QFileInfo(strPath).size() / 1048576.0, qPrintable(strBase));
    std::printf("save (commit to disk included): median %.1f ms over %d rounds  [target < 100 ms] %s\n", dSave,
                nRounds, dSave < 100 ? "ok" : "SLOW");
    std::printf("load and analyse:               median %.1f ms over %d rounds  [target < 200 ms] %s  (result %s)\n",
                dLoad, nRounds, dLoad < 200 ? "ok" : "SLOW", qPrintable(strCode));
    std::printf("peak memory: %.1f MB\n", PeakRssKb() / 1024.0);
    return 0;
}
