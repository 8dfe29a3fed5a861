// The panel diagram and the signal histograms of a large frame (600 x 340
// LEDs, three directions), laid out by the real layout: HardwareInterface
// runs its first test against the emulated frame, with one dead LED
// ("Bottom:300"), and the diagram is built from the hardware record that test
// made. Prints, beside their targets:
//   - the build time of the diagram, and that of a record at the test-log
//     limits' maxima (65,536 sensors, 262,144 light paths; no target);
//   - the median recolouring (UpdateTouchPanel) with an empty map, with the
//     test's problem map, and with a map listing every item, both repeated and
//     alternating with the empty map so that every item changes on every call
//     (target under 1 ms: the refresh runs every 10 ms);
//   - the median full repaint of the diagram at 1920 x 1080, sound and with
//     the test's faults (under 20 ms), and with every item at fault (every
//     light path drawn across the frame; for information);
//   - the median update of one chart with 600 readings (under 1 ms);
//   - the median repaint of one axis view of three such charts (under 10 ms).
//
//   bench_panel_histograms [repetitions]

#include "benchfigures.h"
#include "largeframe.h"
#include "panelrig.h"
#include "signalhistogramview.h"
#include "stationmetatypes.h"
#include "stationresources.h"
#include "testhardwareinfo.h"
#include "touchpanelview.h"
#include "touchsignalqwtchartview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGraphicsLineItem>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

using namespace BenchFigures;

// Median time of fn over n runs, in ms.
double Time(int n, const std::function<void(int)> &fn)
{
    std::vector<double> v;
    for (int i = 0; i < n; ++i) {
        const Clock::time_point t0 = Clock::now();
        fn(i);
        v.push_back(Ms(t0, Clock::now()));
    }
    return Median(v);
}

void Report(const char *what, double dMs, double dTarget)
{
    std::printf("%-52s %8.3f ms (target < %g ms): %s\n", what, dMs, dTarget, dMs < dTarget ? "met" : "NOT met");
}

QMap<QString, QList<QString>> EveryItem(const CTouchPanelView &view)
{
    QMap<QString, QList<QString>> map;
    map[QStringLiteral("CONNECTOR_ERROR")] = view.ConnectorItems().keys();
    for (auto it = view.PcbItems().cbegin(); it != view.PcbItems().cend(); ++it)
        for (int i = 0; i < it->size(); ++i)
            map[QStringLiteral("PCB_ERROR")] << QStringLiteral("%1:%2").arg(it.key()).arg(i);
    for (auto it = view.SensorItems().cbegin(); it != view.SensorItems().cend(); ++it)
        for (int i = 0; i < it->size(); ++i)
            map[QStringLiteral("SENSOR_ERROR")] << QStringLiteral("%1:%2").arg(it.key()).arg(i);
    map[QStringLiteral("LIGHT_ERROR")] = view.LightItems().keys();
    return map;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::max(3, std::atoi(argv[1])) : 31;
    InitStationResources();
    RegisterStationMetaTypes();

    CPanelRig rig;
    rig.panel.Edit([](CEmulatedPanel::Model &m) {
        LargeFrame(m);
        m.sensorAdc.insert(QStringLiteral("Bottom:300"), 0);
    });
    QMap<QString, QList<QString>> faults;
    if (rig.hw.StartTest(0) != 0 || rig.hw.GetErrors(faults) != 0 || faults.isEmpty()) {
        std::fprintf(stderr, "the first test of the large frame failed\n");
        return 1;
    }
    CHardwareInfo &info = rig.hw.GetHardwareInfo();
    std::printf("bench_panel_histograms: large frame 600 x 340 LEDs, three directions, laid out by the real layout,\n"
                "  %u sensors, %d relation texts, %d connectors; medians of %d runs\n",
                info.GetTotalSensorCount(), info.GetSensorRelations().size(), info.GetConnectorMap().size(), n);

    // ---- panel diagram
    const double dBuild = Time(5, [&](int) { CTouchPanelView view(&info); });
    std::unique_ptr<CTouchPanelView> view(new CTouchPanelView(&info));
    std::printf("%-52s %8.3f ms (%d light paths)\n", "diagram build", dBuild, view->LightItems().size());

    const QMap<QString, QList<QString>> empty;
    const QMap<QString, QList<QString>> every = EveryItem(*view);
    // The labels of every sensor made once, as the first faulty map would.
    view->UpdateTouchPanel(every);
    Report("UpdateTouchPanel, empty map", Time(n, [&](int) { view->UpdateTouchPanel(empty); }), 1.0);
    Report("UpdateTouchPanel, the test's faults", Time(n, [&](int) { view->UpdateTouchPanel(faults); }), 1.0);
    Report("UpdateTouchPanel, every item listed", Time(n, [&](int) { view->UpdateTouchPanel(every); }), 1.0);
    Report("UpdateTouchPanel, every item, every call a change",
           Time(n, [&](int i) { view->UpdateTouchPanel(i % 2 ? every : empty); }), 1.0);

    view->resize(1920, 1080);
    view->show();
    QApplication::processEvents();
    auto repaint = [&](const QMap<QString, QList<QString>> &map) {
        view->UpdateTouchPanel(map);
        view->viewport()->repaint();
        return Time(n, [&](int) { view->viewport()->repaint(); });
    };
    Report("diagram repaint at 1920 x 1080, sound frame", repaint(empty), 20.0);
    Report("diagram repaint at 1920 x 1080, the test's faults", repaint(faults), 20.0);
    std::printf("%-52s %8.3f ms (for information)\n", "diagram repaint at 1920 x 1080, every item at fault",
                repaint(every));
    view.reset();

    {
        CHardwareInfo limits = CTestHardwareInfo::AtTheLimits();
        const Clock::time_point t0 = Clock::now();
        CTouchPanelView hostile(&limits);
        std::printf("%-52s %8.3f ms (no target)\n", "build of a record at the limits' maxima", Ms(t0, Clock::now()));
    }

    // ---- histograms of axis X
    CAxisSignalInfo &axis = rig.hw.GetAxisSignalMap()[QStringLiteral("X")];
    SignalHistogramView histogram(nullptr, &axis, QStringLiteral("X"));
    histogram.resize(1600, 900);
    histogram.show();
    QApplication::processEvents();
    QList<QList<uint32_t>> frames;
    for (int k = 0; k < 4; ++k) {
        QList<uint32_t> frame;
        for (int i = 0; i < 600; ++i)
            frame.append(uint32_t((i * 7 + k * 31) % 260));
        frames.append(frame);
    }
    CTouchSignalQwtChartView *pChart = histogram.Charts().first();
    Report("SetChartData, 600 readings", Time(n, [&](int i) { pChart->SetChartData(frames[i % 4]); }), 1.0);
    const QStringList keys = histogram.Charts().keys();
    std::vector<double> repaints;
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < keys.size(); ++k)
            histogram.UpdateHistogramData(keys[k], frames[(i + k) % 4]);
        const Clock::time_point t0 = Clock::now();
        histogram.repaint();
        repaints.push_back(Ms(t0, Clock::now()));
    }
    Report("axis view repaint, 3 charts of 600 bars", Median(repaints), 10.0);
    return 0;
}
