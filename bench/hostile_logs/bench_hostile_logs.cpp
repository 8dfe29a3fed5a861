// Opens test logs of the shapes a hostile or hand-edited file can take, at
// the sizes that were measured to exhaust a station, each in a process of its
// own, and prints for each the time and the peak memory of that process
// beside the goal: refused or read within 2 s and 512 MB. Last, for the
// record, the largest sane log the bounds admit (the goal binds the hostile
// shapes only).
//
//   bench_hostile_logs [shape ...]     (all shapes when none is named)
// The files are written in a temporary folder under the current directory
// (or under $STATION_BENCH_DIR); the largest is about 250 MB.

#include "hostilelogs.h"
#include "operateenvironment.h"
#include "testloglimits.h"
#include "touchlogfilexml.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <sys/resource.h>

namespace {

constexpr double kGoalMs = 2000;
constexpr double kGoalMb = 512;

struct SShape
{
    const char *pName;
    const char *pWhat;
    std::function<QByteArray()> build;
    bool bHostile;
};

// The largest log the bounds admit for reading: one axis of kMaxLeds LEDs in
// as many directions as kMaxLedsPerFrame allows, each with its labels and as
// many recorded frames as the bound on recorded values leaves. (What showing
// the largest admitted log costs the GUI thread, bench_replay prints.)
QByteArray LargestSaneLog()
{
    const int nLeds = int(CTestLogLimits::kMaxLeds);
    const int nDirs = int(CTestLogLimits::kMaxLedsPerFrame / nLeds);
    const int nFrames = int(CTestLogLimits::kMaxValues / nLeds / nDirs);
    const QByteArray values = HostileLog::Values(nLeds, 100);
    QByteArray data = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<touch_device><test TEST_TIMES_FOR_UNT=\"10\">"
                      "<axis ID=\"0\" name=\"X\" maxSignal=\""
        + QByteArray::number(nLeds) + "\" maxValue=\"255\" signalStart=\"0\" divide=\"\">\n";
    data.reserve(int(qint64(nDirs) * nFrames * (values.size() + 64) + qint64(nDirs) * nLeds * 64));
    for (int d = 0; d < nDirs; ++d) {
        data += "<dir ID=\"" + QByteArray::number(d) + "\" name=\"T" + QByteArray::number(d) + "\">\n"
            + "<type name=\"ADC\" ID=\"0\" base=\"ADC\" show=\"ADC\" standardType=\"Absolute\">"
              "<test_problem_standard><standard>0000-0030</standard></test_problem_standard>"
              "<test_standard><standard>0100-0255</standard></test_standard>\n<test_data>\n";
        for (int f = 1; f <= nFrames; ++f)
            data += "<data ID=\"" + QByteArray::number(f) + "\">" + values + "</data>\n";
        data += "</test_data></type>\n<signal_labels>\n";
        for (int i = 0; i < nLeds; ++i)
            data += "<label relation=\"Bottom:" + QByteArray::number(i) + "-Top:" + QByteArray::number(i) + "\">T0:"
                + QByteArray::number(i) + "-R0:" + QByteArray::number(i) + "</label>\n";
        data += "</signal_labels>\n</dir>\n";
    }
    return data + "</axis></test></touch_device>\n";
}

QList<SShape> Shapes()
{
    return {
        {"nested-frame-values", "values nested in elements inside one recorded frame",
         [] { return HostileLog::NestedFrameValues(8700, 8000); }, true},
        {"many-attributes", "one element of 100000 attributes", [] { return HostileLog::ManyAttributes(100000); },
         true},
        {"dead-sensors", "8192 dead sensors on 128 boards, read and analysed once",
         [] {
             return HostileLog::DeadSensorsOnManyBoards(int(CTestLogLimits::kMaxLeds), CTestLogLimits::kMaxBoards / 2);
         },
         true},
        {"long-divide", "a divide attribute of 100 MB", [] { return HostileLog::LongDivide(100 * 1024 * 1024); },
         true},
        {"empty-elements", "62 million empty elements", [] { return HostileLog::EmptyElements(62000000); }, true},
        {"largest-sane", "the largest sane log the bounds admit", LargestSaneLog, false},
    };
}

long PeakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Child: opens the log as a replay does, then one refresh of the analysis.
int OpenOne(const QString &strPath)
{
    COperateEnvironment env;
    QElapsedTimer timer;
    timer.start();
    CTouchLogfileXML log(&env, strPath);
    const int32_t r = log.StartTest(1);
    const double dReadMs = timer.nsecsElapsed() / 1e6;
    double dRefreshMs = 0;
    if (r >= 0) {
        QElapsedTimer refresh;
        refresh.start();
        ProblemMap problems;
        log.GetErrors(problems);
        dRefreshMs = refresh.nsecsElapsed() / 1e6;
    }
    std::printf("%d %.1f %.1f %ld\n", r >= 0 ? 1 : 0, dReadMs, dRefreshMs, PeakRssKb());
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Only the figures: the reasons of the refusals go nowhere.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const QStringList args = app.arguments();
    if (args.size() == 3 && args.at(1) == QLatin1String("--open"))
        return OpenOne(args.at(2));

    const QString strBase = qEnvironmentVariableIsSet("STATION_BENCH_DIR")
        ? qEnvironmentVariable("STATION_BENCH_DIR")
        : QDir::currentPath();
    QTemporaryDir dir(strBase + QStringLiteral("/bench-hostile-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a folder under %s\n", qPrintable(strBase));
        return 1;
    }
    const QStringList wanted = args.mid(1);

    std::printf("each log opened in a process of its own; goal for a hostile shape: refused or read "
                "within %.0f ms and %.0f MB\n",
                kGoalMs, kGoalMb);
    int nOver = 0;
    for (const SShape &shape : Shapes()) {
        if (!wanted.isEmpty() && !wanted.contains(QLatin1String(shape.pName)))
            continue;
        const QString strPath = dir.filePath(QLatin1String(shape.pName) + QStringLiteral(".xml"));
        qint64 nBytes = 0;
        {
            const QByteArray data = shape.build();
            nBytes = data.size();
            QFile file(strPath);
            if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(strPath));
                return 1;
            }
        }
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--open"), strPath});
        if (!child.waitForFinished(600000) || child.exitCode() != 0) {
            std::fprintf(stderr, "%s: the reading process failed\n", shape.pName);
            return 1;
        }
        const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
        QFile::remove(strPath);
        if (fields.size() != 4) {
            std::fprintf(stderr, "%s: no figures\n", shape.pName);
            return 1;
        }
        const bool bRead = fields[0] == "1";
        const double dReadMs = fields[1].toDouble();
        const double dRefreshMs = fields[2].toDouble();
        const double dMs = dReadMs + dRefreshMs;
        const double dMb = fields[3].toDouble() / 1024.0;
        const bool bOk = dMs < kGoalMs && dMb < kGoalMb;
        if (shape.bHostile && !bOk)
            ++nOver;
        std::printf("%-20s %-58s %8.1f MB  %-7s %8.1f ms (analysis %.1f ms)  peak %6.1f MB  %s\n", shape.pName,
                    shape.pWhat, nBytes / 1048576.0, bRead ? "read" : "refused", dMs, dRefreshMs, dMb,
                    shape.bHostile ? (bOk ? "ok" : "OVER THE GOAL") : "(for the record)");
    }
    return nOver == 0 ? 0 : 2;
}
