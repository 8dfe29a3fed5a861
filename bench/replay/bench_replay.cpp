// Replay of a recorded large frame in the signal-test view. A LargeFrame
// (600 x 340 LEDs, 2,820 readings a frame) is tested by the dispatcher over
// the emulated frame, 100 real-time frames of it are recorded (every other
// one with a dark emitter, so that each step changes what the pages show),
// saved, and opened again through "Open log file...". The replay then runs at
// 10 ms for a while on the panel page and on the histogram page. Prints,
// beside their targets:
//   - the ticks per second (target: the 100 a 10 ms interval asks for, at
//     least 90);
//   - the GUI thread's CPU time per tick, as a share of the 10 ms interval
//     (under half: the operator's clicks stay answered);
//   - a Right arrow on the paused replay until the page has been painted
//     with the next frame (median, under 50 ms).
// Last, the two worst logs the test-log bounds admit for what the GUI thread
// builds: the largest frame, as near as a frame's parameter block comes
// (2,040 + 2,040 LEDs, three directions an axis: 12,240 LEDs a frame of the
// bound's 12,288, 8,160 sensors of 8,192, 12,240 light paths of 12,288, every
// LED failing), and the most charts (a frame of 512 + 512 LEDs, every LED
// failing, its log's axes copied four times over: 8 axes, 24 directions, a
// chart each, 12,288 LEDs a frame). Each is tested live, saved, opened again
// on each page (panel, histogram, signal) and then shown on each page in
// turn: the GUI thread's longest stall of each (goal: under 0.5 s), its CPU
// time in its longest slice of work (goal for the live result: under 100 ms)
// and its CPU time.
//
//   bench_replay [seconds per page]

#include "benchfigures.h"
#include "handlework.h"
#include "irsensor.h"
#include "largeframe.h"
#include "modalboxanswerer.h"
#include "shelltestwindow.h"
#include "signalhistogramview.h"
#include "stationresources.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "timerthread.h"
#include "touchbase.h"
#include "touchhardware.h"
#include "touchlogfile.h"
#include "touchpanelview.h"
#include "wholefile.h"
#include "veloratestview.h"
#include "waitfor.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMutexLocker>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

using namespace BenchFigures;

constexpr int kFrames = 100;
constexpr double kTickTargetPerS = 90.0;
constexpr double kGuiShareTarget = 0.5;
constexpr double kStepTargetMs = 50.0;
constexpr int kSteps = 30;
constexpr double kShowGoalMs = 500.0;
// The GUI thread's CPU time in one slice of building the live result.
constexpr double kSliceCpuGoalMs = 100.0;

void QuietHandler(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type >= QtCriticalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

QAction* ViewAction(VeloraTestView& view, const QString& text)
{
    const QList<QAction*> actions = view.ActionMenu()->actions() + view.actions();
    for (QAction* pAction : actions) {
        if (pAction->text() == text)
            return pAction;
    }
    return nullptr;
}

// CPU time of the calling thread, in ns.
qint64 ThreadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Paint events of the widgets under one page.
class CPaintWatch : public QObject
{
public:
    QWidget* pPage = nullptr;
    bool bPainted = false;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Paint && pPage) {
            auto* pWidget = qobject_cast<QWidget*>(pWatched);
            if (pWidget && (pWidget == pPage || pPage->isAncestorOf(pWidget)))
                bPainted = true;
        }
        return false;
    }
};

uint32_t FrameNumber(HandleWork* pWork)
{
    QMutexLocker lock(pWork->GetDeviceMutex());
    CTouchBase* pDevice = pWork->GetTouchDevice();
    return pDevice ? pDevice->GetFrameNumber() : 0;
}

struct SRun
{
    double dTicksPerS = 0;
    double dGuiShare = 0;
};

// The replay running for nSeconds on the page shown, the GUI thread in its
// event loop; ticks counted from the frame position, which moves one record
// a tick and wraps after nPeriod (sampled every 50 ms, well within a period).
SRun RunPage(HandleWork* pWork, VeloraTestView& view, int nSeconds, uint32_t nPeriod)
{
    view.StartRefresh();
    StationTest::WaitFor([&] { return view.TimerThread()->isRunning(); });
    uint32_t nLast = FrameNumber(pWork);
    qint64 nTicks = 0;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout, [&] {
        const uint32_t nNow = FrameNumber(pWork);
        nTicks += (nNow + nPeriod - nLast) % nPeriod;
        nLast = nNow;
    });
    QEventLoop loop;
    QTimer::singleShot(nSeconds * 1000, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    const qint64 nCpuStart = ThreadCpuNs();
    sample.start(50);
    loop.exec();
    sample.stop();
    const double dBusyMs = double(ThreadCpuNs() - nCpuStart) / 1e6;
    const double dSeconds = double(clock.elapsed()) / 1000.0;
    view.StopRefresh();
    StationTest::WaitFor([&] { return !view.TimerThread()->isRunning(); });
    SRun run;
    run.dTicksPerS = double(nTicks) / dSeconds;
    run.dGuiShare = nTicks > 0 ? dBusyMs / double(nTicks) / double(view.RefreshInterval()) : 1.0;
    return run;
}

// A Right arrow on the paused replay until the page has been painted with
// the next frame; ms of each, a negative value when it never came.
std::vector<double> StepTimes(HandleWork* pWork, VeloraTestView& view, QWidget* pPage, uint32_t nFirstRecorded,
                              uint32_t nPeriod)
{
    CPaintWatch watch;
    watch.pPage = pPage;
    qApp->installEventFilter(&watch);
    // Into the recorded frames (the first positions are the test's own,
    // all alike, and a step between equal frames paints nothing new).
    while (FrameNumber(pWork) < nFirstRecorded || FrameNumber(pWork) + kSteps >= nPeriod) {
        ViewAction(view, "Next Frame...")->trigger();
        StationTest::WaitFor([] { return false; }, 5);
    }
    std::vector<double> times;
    for (int i = 0; i < kSteps; ++i) {
        StationTest::WaitFor([] { return false; }, 20); // what the last step left is painted
        const uint32_t nBefore = FrameNumber(pWork);
        watch.bPainted = false;
        QElapsedTimer timer;
        timer.start();
        ViewAction(view, "Next Frame...")->trigger();
        const bool bDone = StationTest::WaitFor(
            [&] { return FrameNumber(pWork) != nBefore && watch.bPainted; }, 2000);
        times.push_back(bDone ? double(timer.nsecsElapsed()) / 1e6 : -1.0);
    }
    qApp->removeEventFilter(&watch);
    return times;
}

void Report(const char* szWhat, double dValue, const char* szUnit, const char* szTarget, bool bMet)
{
    std::printf("  %-62s %9.2f %-4s target %-12s %s\n", szWhat, dValue, szUnit, szTarget, bMet ? "ok" : "NOT met");
}

// The longest time the GUI thread's event loop went without turning, the
// GUI thread's CPU time within that longest slice of work (on a loaded
// machine the wall time of a slice grows, its CPU time does not), and the
// GUI thread's CPU time, from Start until Stop.
class CStallWatch
{
public:
    CStallWatch()
    {
        m_tick.setInterval(2);
        QObject::connect(&m_tick, &QTimer::timeout, [this] { EndSlice(); });
    }
    void Start()
    {
        m_dLongestMs = 0;
        m_dLongestSliceCpuMs = 0;
        m_nCpuStart = ThreadCpuNs();
        m_nSliceCpuStart = m_nCpuStart;
        m_sinceTick.start();
        m_tick.start();
    }
    void Stop()
    {
        m_tick.stop();
        EndSlice();
        m_dCpuMs = double(ThreadCpuNs() - m_nCpuStart) / 1e6;
    }
    double LongestMs() const { return m_dLongestMs; }
    double LongestSliceCpuMs() const { return m_dLongestSliceCpuMs; }
    double CpuMs() const { return m_dCpuMs; }

private:
    void EndSlice()
    {
        const qint64 nCpu = ThreadCpuNs();
        m_dLongestMs = std::max(m_dLongestMs, double(m_sinceTick.nsecsElapsed()) / 1e6);
        m_dLongestSliceCpuMs = std::max(m_dLongestSliceCpuMs, double(nCpu - m_nSliceCpuStart) / 1e6);
        m_sinceTick.restart();
        m_nSliceCpuStart = nCpu;
    }

    QTimer m_tick;
    QElapsedTimer m_sinceTick;
    double m_dLongestMs = 0;
    double m_dLongestSliceCpuMs = 0;
    qint64 m_nCpuStart = 0;
    qint64 m_nSliceCpuStart = 0;
    double m_dCpuMs = 0;
};

int RowsShown(VeloraTestView& view)
{
    auto* pTable = view.findChild<QTableWidget*>(QStringLiteral("testResult"));
    return pTable ? pTable->rowCount() : 0;
}

// Results shown ("ShowTestResult" in the run log), counted by the message
// handler.
std::atomic<int> g_nResultsShown{0};

void QuietCountingHandler(QtMsgType type, const QMessageLogContext& context, const QString& msg)
{
    if (msg.startsWith(QLatin1String("ShowTestResult")))
        ++g_nResultsShown;
    QuietHandler(type, context, msg);
}

// A frame at the bounds of what a log may show: 2,040 + 2,040 LEDs on eight
// boards of 255 a side (the most a parameter block describes), three
// directions an axis, every path below its lower ADC limit.
void LargestShownFrame(CEmulatedPanel::Model& m)
{
    LargeFrame(m);
    m.nX = 2040;
    m.nY = 2040;
    m.boards[0] = m.boards[1] = m.boards[2] = m.boards[3] = QVector<int>(8, 255);
    m.nAdc = 50;
}

// The frame whose log, its axes copied four times over, holds the most
// charts the bounds admit: 512 + 512 LEDs on four boards of 128 a side,
// three directions an axis, every path below its lower ADC limit.
void ChartsFrame(CEmulatedPanel::Model& m)
{
    LargeFrame(m);
    m.nX = 512;
    m.nY = 512;
    m.boards[0] = m.boards[1] = m.boards[2] = m.boards[3] = QVector<int>(4, 128);
    m.nAdc = 50;
}

// The log with every axis of its test section written nCopies times, the
// copies named after it with a number ("X1", "X2", ...).
QByteArray WithAxisCopies(const QByteArray& xml, int nCopies)
{
    const int nTest = xml.indexOf("<test ");
    const int nTestEnd = nTest < 0 ? -1 : xml.indexOf("</test>", nTest);
    if (nTestEnd < 0 || nCopies <= 1)
        return xml;
    QByteArray out = xml.left(nTest);
    int nPos = nTest;
    for (;;) {
        const int nAxis = xml.indexOf("<axis ", nPos);
        if (nAxis < 0 || nAxis > nTestEnd)
            break;
        const int nAxisEnd = xml.indexOf("</axis>", nAxis) + int(qstrlen("</axis>"));
        out += xml.mid(nPos, nAxisEnd - nPos);
        const QByteArray axis = xml.mid(nAxis, nAxisEnd - nAxis);
        const int nName = axis.indexOf(" name=\"") + int(qstrlen(" name=\""));
        const QByteArray name = axis.mid(nName, axis.indexOf('"', nName) - nName);
        for (int i = 1; i < nCopies; ++i) {
            QByteArray copy = axis;
            copy.replace(nName, name.size(), name + QByteArray::number(i));
            out += "\n        " + copy;
        }
        nPos = nAxisEnd;
    }
    return out + xml.mid(nPos);
}

struct SShownPage
{
    const char* szName;
    const char* szButton;
};
const SShownPage kShownPages[] = {
    {"panel", "rectButton"},
    {"histogram", "histogramButton"},
    {"signal", "signalButton"},
};

void ShowPage(VeloraTestView& view, const SShownPage& page)
{
    view.findChild<QToolButton*>(QLatin1String(page.szButton))->click();
}

// A frame tested live and its log, as saved or with its axes copied, opened
// again on each page and then shown on each page in turn: the GUI thread's
// longest stall of each (goal: under 0.5 s). False when a step failed.
bool ShowLog(const char* szTitle, void (*edit)(CEmulatedPanel::Model&), int nAxisCopies)
{
    CStationRig rig;
    CStationRig::SFrame& frame = rig.AddFrame();
    frame.panel.Edit(edit);
    frame.usb->Plug();
    HandleWork* pWork = rig.StartDispatcher(SIGNALTESTWORK);
    if (!rig.WaitForDevices(1)) {
        std::fprintf(stderr, "the frame did not arrive\n");
        return false;
    }
    rig.Settle();

    VeloraTestView view(nullptr, pWork);
    view.resize(1600, 900);
    view.show();
    ShowPage(view, kShownPages[0]);
    // The run starts as a plug event starts it: the serial number asked for
    // (answered at once), the test posted to the dispatcher, its first
    // result shown with every failing LED, the log saved.
    CModalBoxAnswerer answerer;
    answerer.AnswerInput(QStringLiteral("SN-BENCH"));
    CStallWatch watch;
    const int nLiveShown = g_nResultsShown.load();
    watch.Start();
    view.InsertUsbDeviceForTest(true);
    const bool bTested = StationTest::WaitFor(
        [&] { return g_nResultsShown.load() > nLiveShown && !view.IsTestRunning(); }, 120000);
    // The run's own refresh runs on: a second of it is part of the showing.
    StationTest::WaitFor([] { return false; }, 1000);
    watch.Stop();
    view.StopRefresh();
    rig.Settle();
    if (!bTested || RowsShown(view) <= 1) {
        std::fprintf(stderr, "the test of the frame did not show its result\n");
        return false;
    }
    const double dLiveStall = watch.LongestMs();
    const double dLiveSlice = watch.LongestSliceCpuMs();
    const double dLiveCpu = watch.CpuMs();
    const int nLiveRows = RowsShown(view);

    const QString path = QDir::current().absoluteFilePath(QStringLiteral("shown.xml"));
    {
        QMutexLocker lock(pWork->GetDeviceMutex());
        CTouchBase* pDevice = pWork->GetTouchDevice();
        if (!pDevice || pDevice->SaveXml(path) != 0) {
            std::fprintf(stderr, "the log was not saved\n");
            return false;
        }
    }
    if (nAxisCopies > 1) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray xml = WithAxisCopies(file.readAll(), nAxisCopies);
        file.close();
        QString strError;
        if (!WriteWholeFile(path, xml, &strError)) {
            std::fprintf(stderr, "the log with its axes copied was not written: %s\n", qPrintable(strError));
            return false;
        }
    }
    const double dMb = double(QFileInfo(path).size()) / 1048576.0;

    struct SFigure
    {
        QByteArray what;
        double dStallMs;
        double dSliceCpuMs;
        double dCpuMs;
    };
    std::vector<SFigure> figures;
    answerer.AnswerFile(path);
    for (const SShownPage& page : kShownPages) {
        ShowPage(view, page);
        rig.Settle();
        const int nShown = g_nResultsShown.load();
        watch.Start();
        ViewAction(view, QStringLiteral("Open log file..."))->trigger();
        const bool bOpened = StationTest::WaitFor(
            [&] {
                return pWork->GetDeviceKind() == HandleWork::DeviceKind::Replay && g_nResultsShown.load() > nShown;
            },
            120000);
        // The replay's own refresh runs on: a second of it is part of the showing.
        StationTest::WaitFor([] { return false; }, 1000);
        watch.Stop();
        if (!bOpened) {
            std::fprintf(stderr, "the log was not shown\n");
            return false;
        }
        figures.push_back({QByteArray("log opened on the ") + page.szName + " page", watch.LongestMs(),
                           watch.LongestSliceCpuMs(), watch.CpuMs()});
    }
    for (const SShownPage& page : kShownPages) {
        watch.Start();
        ShowPage(view, page);
        StationTest::WaitFor([] { return false; }, 1000);
        watch.Stop();
        figures.push_back({QByteArray("log shown, then the ") + page.szName + " page", watch.LongestMs(),
                           watch.LongestSliceCpuMs(), watch.CpuMs()});
    }
    view.StopRefresh();
    rig.Settle();
    QFile::remove(path);

    int nSensors = 0;
    if (auto* pPanel = view.findChild<CTouchPanelView*>()) {
        for (const QList<CIRSensor*>& lst : pPanel->SensorItems())
            nSensors += lst.size();
    }
    int nCharts = 0;
    for (const SignalHistogramView* pHistogram : view.findChildren<SignalHistogramView*>())
        nCharts += pHistogram->Charts().size();
    std::printf("\n%s:\n  %d result rows live, %d replayed, %d sensors, %d charts, %.1f MB\n", szTitle, nLiveRows,
                RowsShown(view), nSensors, nCharts, dMb);
    Report("GUI thread's longest stall, live test", dLiveStall, "ms", "< 500 ms", dLiveStall < kShowGoalMs);
    Report("  GUI thread's CPU in its longest slice", dLiveSlice, "ms", "< 100 ms", dLiveSlice < kSliceCpuGoalMs);
    Report("  its CPU, with 1 s shown", dLiveCpu, "ms", "(for the record)", true);
    for (const SFigure& figure : figures) {
        Report(("GUI thread's longest stall, " + figure.what).constData(), figure.dStallMs, "ms", "< 500 ms",
               figure.dStallMs < kShowGoalMs);
        Report("  GUI thread's CPU in its longest slice", figure.dSliceCpuMs, "ms", "(for the record)", true);
        Report("  its CPU, with 1 s shown", figure.dCpuMs, "ms", "(for the record)", true);
    }
    // The rig stops the dispatcher when it goes, after the view: the view
    // lets go of the dispatcher's port as it goes.
    return true;
}

// The recorded large frame replayed on each page; false when a step failed.
bool ReplayLargeFrame(int nSeconds)
{
    CStationRig rig;
    CStationRig::SFrame& frame = rig.AddFrame();
    frame.panel.Edit(LargeFrame);
    frame.usb->Plug();
    HandleWork* pWork = rig.StartDispatcher(SIGNALTESTWORK);
    if (!rig.WaitForDevices(1)) {
        std::fprintf(stderr, "the emulated frame did not arrive\n");
        return false;
    }
    rig.Settle();

    {
        VeloraTestView view(nullptr, pWork);
        view.resize(1600, 900);
        view.show();
        if (!rig.Run(QStringLiteral("StartTestOnce"), &view)) {
            std::fprintf(stderr, "the first test did not run\n");
            return false;
        }
        view.StopRefresh();
        rig.Settle();

        // 100 real-time frames recorded, every other one with a dark emitter.
        const QString path = QDir::current().absoluteFilePath(QStringLiteral("recorded.xml"));
        QElapsedTimer recordTimer;
        recordTimer.start();
        {
            QMutexLocker lock(pWork->GetDeviceMutex());
            auto* pDevice = dynamic_cast<CTouchHardware*>(pWork->GetTouchDevice());
            if (!pDevice) {
                std::fprintf(stderr, "no live frame\n");
                return false;
            }
            pDevice->StartRecord();
            for (int i = 0; i < kFrames; ++i) {
                frame.panel.Edit([i](CEmulatedPanel::Model& m) {
                    if (i % 2)
                        m.sensorAdc.insert(QStringLiteral("Bottom:5"), 0);
                    else
                        m.sensorAdc.remove(QStringLiteral("Bottom:5"));
                });
                ProblemMap problems;
                pDevice->NextFrame();
                pDevice->AnalyseRealTimeSignal(problems);
            }
            pDevice->StopRecord();
            if (pDevice->SaveXml(path) != 0) {
                std::fprintf(stderr, "the recording was not saved\n");
                return false;
            }
        }
        const double dRecordMs = double(recordTimer.elapsed());

        CModalBoxAnswerer answerer;
        answerer.AnswerFile(path);
        QElapsedTimer openTimer;
        openTimer.start();
        ViewAction(view, QStringLiteral("Open log file..."))->trigger();
        if (!StationTest::WaitFor([&] { return pWork->GetDeviceKind() == HandleWork::DeviceKind::Replay; }, 60000)) {
            std::fprintf(stderr, "the recording was not opened\n");
            return false;
        }
        rig.Settle();
        QCoreApplication::processEvents();
        const double dOpenMs = double(openTimer.elapsed());
        uint32_t nPeriod = 1;
        {
            QMutexLocker lock(pWork->GetDeviceMutex());
            if (auto* pReplay = dynamic_cast<CTouchLogfile*>(pWork->GetTouchDevice()))
                nPeriod = pReplay->GetLastRecordNumber() + 1;
        }
        view.StopRefresh();
        for (int i = 0; i < 3; ++i)
            ViewAction(view, QStringLiteral("Speed Up..."))->trigger();

        std::printf("bench_replay: %d recorded frames of a 600 x 340 frame (2,820 readings each), recorded in %.0f ms,\n"
                    "  saved and opened again in %.0f ms; %d record positions; replay at %d ms for %d s a page\n",
                    kFrames, dRecordMs, dOpenMs, int(nPeriod), view.RefreshInterval(), nSeconds);

        struct SPage
        {
            const char* szName;
            const char* szButton;
            QWidget* pPage;
        };
        const QList<SPage> pages{
            {"panel", "rectButton", view.findChild<QWidget*>(QStringLiteral("pannelTab"))},
            {"histogram", "histogramButton", view.findChild<QWidget*>(QStringLiteral("HistogramTab"))},
        };
        for (const SPage& page : pages) {
            view.findChild<QToolButton*>(QLatin1String(page.szButton))->click();
            QCoreApplication::processEvents();
            const SRun run = RunPage(pWork, view, nSeconds, nPeriod);
            std::printf(" %s page\n", page.szName);
            Report("ticks per second", run.dTicksPerS, "/s", ">= 90", run.dTicksPerS >= kTickTargetPerS);
            Report("GUI thread's share of a 10 ms tick", run.dGuiShare * 100.0, "%", "< 50 %",
                   run.dGuiShare < kGuiShareTarget);
            const std::vector<double> steps = StepTimes(pWork, view, page.pPage, nPeriod - kFrames, nPeriod);
            const int nMissed = int(std::count_if(steps.begin(), steps.end(), [](double d) { return d < 0; }));
            std::vector<double> done;
            std::copy_if(steps.begin(), steps.end(), std::back_inserter(done), [](double d) { return d >= 0; });
            const double dStep = Median(done);
            Report("Right arrow, paused, to the page painted", dStep, "ms", "< 50 ms",
                   nMissed == 0 && dStep < kStepTargetMs);
            if (nMissed)
                std::printf("    %d of %d steps were never painted\n", nMissed, kSteps);
        }
    }
    rig.StopDispatcher();
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    CTestEnvironment::Isolate();
    qInstallMessageHandler(QuietHandler);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitStationResources();
    const int nSeconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    if (!ReplayLargeFrame(nSeconds))
        return 1;
    qInstallMessageHandler(QuietCountingHandler);
    if (!ShowLog("the largest frame the bounds admit (2,040 + 2,040 LEDs, 3 directions an axis, all failing)",
                 LargestShownFrame, 1))
        return 1;
    return ShowLog("the most charts the bounds admit (8 axes of 3 directions, 512 LEDs each, all failing)",
                   ChartsFrame, 4)
               ? 0
               : 1;
}

