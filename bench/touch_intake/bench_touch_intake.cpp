// The signal-test view as the station builds it (the real main window and
// dispatcher over the station rig). Prints, beside their targets:
//   - the host time per raw report through the view's intake (its lock, the
//     parsing and the hand-over to the injector), with an injector that does
//     nothing: frames of ten contacts over two 62-byte reports, and reports
//     of 6-byte records (target under 5 µs: a frame reports every few ms);
//   - the GUI time of the panel feed (UpdatePanelView) and of the histogram
//     feed (UpdateHistogramView), each with the paint of its page, at
//     1920 x 1080 after a test of the large frame (600 x 340 LEDs, one dead
//     emitter); no target (the refresh budget of a run judges them).
//
//   bench_touch_intake [repetitions]

#include "benchfigures.h"
#include "customersettings.h"
#include "emulatedframe.h"
#include "handlework.h"
#include "touchbase.h"
#include "largeframe.h"
#include "mainwindow.h"
#include "simulatortouch.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "touchsdk.h"
#include "veloratestview.h"
#include "waitfor.h"

#include <QApplication>
#include <QLabel>
#include <QTabWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

using namespace BenchFigures;

class CNoInjector : public CSimulatorTouch
{
public:
    int InjectTouch(const TouchPoint*, int count, int, int) override
    {
        nPoints += count;
        return 0;
    }
    long nPoints = 0;
};

TouchData Data(const QByteArray& report)
{
    TouchData data;
    std::memset(&data, 0, sizeof(data));
    data.length = uint32_t(report.size());
    std::memcpy(data.report, report.constData(), size_t(report.size()));
    return data;
}

// Median time of one report over n rounds of the reports, in µs.
double PerReport(VeloraTestView* pView, const std::vector<TouchData>& reports, int nRounds)
{
    std::vector<double> rounds;
    for (int r = 0; r < nRounds; ++r) {
        const Clock::time_point t0 = Clock::now();
        for (const TouchData& data : reports)
            pView->ProcessTouchData(data);
        rounds.push_back(Us(t0, Clock::now()) / double(reports.size()));
    }
    return Median(rounds);
}

// Median time of fn over n runs, in ms.
double Ms(int n, const std::function<void()>& fn)
{
    std::vector<double> v;
    for (int i = 0; i < n; ++i) {
        const Clock::time_point t0 = Clock::now();
        fn();
        v.push_back(Us(t0, Clock::now()) / 1000.0);
    }
    return Median(v);
}

} // namespace

int main(int argc, char* argv[])
{
    CTestEnvironment::Isolate();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Opening the view starts a run: no prompt, no draw test.
    CCustomerSettings::GetInstance()->SetBool(QStringLiteral("SupportSNCheck"), false);
    CCustomerSettings::GetInstance()->SetBool(QStringLiteral("DefaultJumpToDraw"), false);
    const int nRepetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});

    CStationRig rig;
    CStationRig::SFrame& frame = rig.AddFrame();
    frame.panel.Edit([](CEmulatedPanel::Model& m) {
        LargeFrame(m);
        m.sensorAdc.insert(QStringLiteral("Bottom:300"), 0);
    });
    MainWindow* pWindow = nullptr;
    {
        frame.usb->Plug();
        pWindow = rig.StartMainWindow();
    }
    auto* pView = pWindow->findChild<VeloraTestView*>();
    if (!pView || !rig.WaitForDevices(1) || !StationTest::WaitFor([pView] { return pView->IsSourcePresent(); })) {
        std::printf("the station did not come up with its frame\n");
        return 1;
    }
    rig.Settle();

    // --- the intake
    auto pInjector = std::make_shared<CNoInjector>();
    TouchSDK::SetSimulatorTouchForTest(pInjector);
    QList<CEmulatedFrame::Contact> contacts;
    for (int i = 0; i < 10; ++i) {
        CEmulatedFrame::Contact c;
        c.nStatus = i % 3 ? 7 : 4;
        c.nId = quint8(i);
        c.nX = quint16(3000 * i);
        c.nY = quint16(2000 + 100 * i);
        c.nWidth = 300;
        c.nHeight = 400;
        contacts << c;
    }
    std::vector<TouchData> wide;
    std::vector<TouchData> narrow;
    for (int n = 0; n < 500; ++n) {
        for (const QByteArray& r : CEmulatedFrame::TouchReports(contacts, true))
            wide.push_back(Data(r));
        for (const QByteArray& r : CEmulatedFrame::TouchReports(contacts, false))
            narrow.push_back(Data(r));
    }
    const double dWide = PerReport(pView, wide, nRepetitions);
    const double dNarrow = PerReport(pView, narrow, nRepetitions);
    TouchSDK::SetSimulatorTouchForTest(nullptr);
    const long nExpected = 2L * nRepetitions * 500 * contacts.size();
    if (pInjector->nPoints != nExpected) {
        std::printf("the injector got %ld points instead of %ld\n", pInjector->nPoints, nExpected);
        return 1;
    }
    auto report = [](const char* szWhat, double dUs) {
        std::printf("%-58s %8.3f us (target < 5 us): %s\n", szWhat, dUs, dUs < 5.0 ? "met" : "NOT met");
    };
    report("host time per raw report, 10-byte records (62 bytes)", dWide);
    report("host time per raw report, 6-byte records (64 bytes)", dNarrow);

    // --- the feeds of the pages after a test of the large frame
    pWindow->ToggleFunction(SIGNALTESTWORK);
    pView->setWindowState(Qt::WindowNoState);
    pView->resize(1920, 1080);
    // The run the view opened has its first result; its refresh stops.
    StationTest::WaitFor([pView] { return !pView->IsTestRunning(); }, 120000);
    pView->on_startTestButton_clicked(false);
    rig.Settle();
    if (!rig.Run(QStringLiteral("StartTestOnce"), pView) || !pView->InitPanelView() || !pView->InitHistogramViews()) {
        std::printf("the large frame's test did not come about\n");
        return 1;
    }
    int nLeds = 0;
    {
        QMutexLocker lock(rig.Work()->GetDeviceMutex());
        const auto& axes = rig.Work()->GetTouchDevice()->GetAxisSignalMap();
        for (auto it = axes.cbegin(); it != axes.cend(); ++it)
            nLeds += int(it.value().GetMaxSignal());
    }
    if (nLeds != 600 + 340) {
        std::printf("the large frame's test read %d LEDs\n", nLeds);
        return 1;
    }
    pView->NoticeLabel()->hide();
    auto* pTabs = pView->findChild<QTabWidget*>(QStringLiteral("touchTabWidget"));
    QApplication::processEvents();

    pTabs->setCurrentIndex(0);
    QApplication::processEvents();
    const double dPanel = Ms(nRepetitions, [pView] {
        pView->UpdatePanelView();
        pView->repaint();
    });
    pTabs->setCurrentIndex(1);
    QApplication::processEvents();
    const double dHistograms = Ms(nRepetitions, [pView] {
        pView->UpdateHistogramView();
        QApplication::sendPostedEvents(); // the charts' "update", called by name
        pView->repaint();
    });
    std::printf("%-58s %8.3f ms (no target)\n", "GUI time of UpdatePanelView with the paint, 1920 x 1080", dPanel);
    std::printf("%-58s %8.3f ms (no target)\n", "GUI time of UpdateHistogramView with the paint, 1920 x 1080",
                dHistograms);
    std::printf("%-58s %8.3f ms (no target)\n", "both", dPanel + dHistograms);

    rig.CloseMainWindow();
    return 0;
}
