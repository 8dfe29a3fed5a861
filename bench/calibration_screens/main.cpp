// Cost of the calibration screens: one paint of each full-screen screen for
// a 1920 x 1080 screen (the manual screen repaints every 60 ms and on every
// touch point), and the fine-tuning screen's 10 ms tick while nothing
// touches it. No dispatcher: painting and the idle tick never reach it.
//
//   bench_calibration_screens [paints]

#include "caladvancedsettingview.h"
#include "finetuningcalibrateview.h"
#include "stationresources.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
const QSize kScreen(1920, 1080);
constexpr double kPaintTargetMs = 4.0;
constexpr double kIdleTickTargetUs = 1.0;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Median of n paints of the widget (and its form) into a screen-sized image.
double PaintMs(QWidget* pWidget, int n)
{
    QImage image(kScreen, QImage::Format_ARGB32_Premultiplied);
    std::vector<double> ms;
    ms.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        QElapsedTimer timer;
        timer.start();
        pWidget->render(&image);
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    return Median(ms);
}

void PrintPaint(const char* szWhat, double dMs)
{
    std::printf("%-40s median %6.3f ms  [target < %.0f ms] %s\n", szWhat, dMs, kPaintTargetMs,
                dMs < kPaintTargetMs ? "ok" : "SLOW");
}
} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.info=false");
    QApplication app(argc, argv);
    InitStationResources();
    const int nPaints = argc > 1 ? std::max(10, QString::fromLocal8Bit(argv[1]).toInt()) : 1000;

    CFineTuningCalibrateView fineTuning(nullptr, nullptr);
    fineTuning.SetScreenSize(kScreen);
    fineTuning.resize(kScreen);
    PrintPaint("fine-tuning screen, one paint:", PaintMs(&fineTuning, nPaints));

    CCalAdvancedSettingView manual(nullptr, nullptr);
    manual.SetScreenSize(kScreen);
    manual.resize(kScreen);
    manual.CalValuesRead(0x100, 0x200, 0x7E00, 0x7D00);
    PrintPaint("manual screen, one paint:", PaintMs(&manual, nPaints));

    // Idle: the last paint is processed once, then nothing is painted.
    fineTuning.CalWork();
    constexpr int kTicks = 100000;
    constexpr int kBatches = 20;
    std::vector<double> us;
    for (int b = 0; b < kBatches; ++b) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < kTicks / kBatches; ++i)
            fineTuning.CalWork();
        us.push_back(timer.nsecsElapsed() / 1e3 / (kTicks / kBatches));
    }
    const double dTickUs = Median(us);
    std::printf("%-40s median %6.4f us  [target < %.0f us] %s  (%d ticks)\n", "fine-tuning idle tick:", dTickUs,
                kIdleTickTargetUs, dTickUs < kIdleTickTargetUs ? "ok" : "SLOW", kTicks);
    return 0;
}
