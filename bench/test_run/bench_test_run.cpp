// A full first test and a retest of a large frame (version 0x7201 with a
// parameter block, 600 LEDs on X and 340 on Y) through HardwareInterface, the
// real USB port and device layer, to an emulated frame on the fake OS backend
// that answers at once. Prints the reports exchanged, the wall time of each
// run, the median host time per report, the analysis time and the log save
// time.
//
//   bench_test_run [repetitions]

#include "benchfigures.h"
#include "comportusb.h"
#include "hardwareinterface.h"
#include "largeframe.h"
#include "stationrig.h"
#include "touchdevice.h"
#include "touchmanage.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using namespace BenchFigures;

// The USB port, counted: every report that crosses it, by kind. A send is
// the host time of SendData; a reply that was already queued when RecvData
// began costs the host time of that call; any other reply is a round trip,
// from the start of the request it answers to the end of the read (the
// frame's work and the device layer's transfer included). Everything is
// passed on to the real port unchanged.
class CCountedPort : public CComPort
{
public:
    explicit CCountedPort(CComPort *pPort) : m_pPort(pPort) {}

    void StartRun()
    {
        m_nSent = m_nRead = 0;
    }
    int Sent() const { return m_nSent; }
    int Read() const { return m_nRead; }
    std::vector<double> &Sends() { return m_sends; }
    std::vector<double> &QueuedReplies() { return m_queued; }
    std::vector<double> &RoundTrips() { return m_roundTrips; }

    bool IsConnected() override { return m_pPort->IsConnected(); }
    int32_t SetRecvEnable(uint8_t enable, int devIndex) override { return m_pPort->SetRecvEnable(enable, devIndex); }
    int32_t ClaimDeviceInterface(int devIndex) override { return m_pPort->ClaimDeviceInterface(devIndex); }
    int32_t ReleaseDeviceInterface(int devIndex) override { return m_pPort->ReleaseDeviceInterface(devIndex); }
    uint32_t GetDeviceMode() override { return m_pPort->GetDeviceMode(); }
    int32_t GetVid() override { return m_pPort->GetVid(); }
    int32_t GetPid() override { return m_pPort->GetPid(); }
    int32_t GetVersion() override { return m_pPort->GetVersion(); }
    int32_t SetUpgradeStatus(uint8_t bUpgrade) override { return m_pPort->SetUpgradeStatus(bUpgrade); }
    int32_t SendData(const uint8_t *buf, int len, int timeout, int devIndex) override
    {
        const Clock::time_point t0 = Clock::now();
        const int32_t r = m_pPort->SendData(buf, len, timeout, devIndex);
        if (r >= 0) {
            ++m_nSent;
            m_sends.push_back(Us(t0, Clock::now()));
            m_lastSend = t0;
        }
        return r;
    }
    int32_t RecvData(uint8_t *buf, int len, int timeout, int devIndex) override
    {
        const bool bQueued = QueuedReplies(devIndex) > 0;
        const Clock::time_point t0 = Clock::now();
        const int32_t r = m_pPort->RecvData(buf, len, timeout, devIndex);
        if (r > 0) {
            ++m_nRead;
            const Clock::time_point t1 = Clock::now();
            (bQueued ? m_queued : m_roundTrips).push_back(Us(bQueued ? t0 : m_lastSend, t1));
        }
        return r;
    }
    int32_t SendAndRecvData(const uint8_t *wbuf, int wlen, uint8_t *rbuf, int rlen, int timeout,
                            int devIndex) override
    {
        return m_pPort->SendAndRecvData(wbuf, wlen, rbuf, rlen, timeout, devIndex);
    }

private:
    // Replies waiting in the command queue of the (only) frame.
    static int QueuedReplies(int devIndex)
    {
        CTouchManage *pManage = CTouchManage::PeekInstance();
        if (!pManage || devIndex != 0)
            return 0;
        const QMap<QString, CTouchDevice *> map = pManage->GetDeviceMap();
        return map.isEmpty() ? 0 : map.first()->QueuedReportCount(0xFC);
    }

    CComPort *m_pPort;
    int m_nSent = 0;
    int m_nRead = 0;
    Clock::time_point m_lastSend;
    std::vector<double> m_sends;
    std::vector<double> m_queued;
    std::vector<double> m_roundTrips;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int nRepetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    CStationRig rig;
    CStationRig::SFrame& frame = rig.AddFrame();
    frame.panel.Edit(LargeFrame);
    frame.usb->Plug();
    CComPortUsb* usbPort = rig.OpenPort();
    if (!rig.WaitForDevices(1)) {
        std::fprintf(stderr, "the emulated frame did not arrive\n");
        return 1;
    }
    QTemporaryDir dir;
    CCountedPort port(usbPort);

    std::printf("bench_test_run: first test and retest of a 0x7201 frame with a parameter block, 600 x 340 LEDs,\n"
                "  HardwareInterface -> CComPortUsb -> device layer -> emulated frame (fake hidraw node), %d times\n",
                nRepetitions);

    std::vector<double> first, retest, analysis, save, firstWithSave;
    int nFirstReports = 0, nRetestReports = 0, nFailures = 0;
    QString strVerdict;
    for (int k = 0; k < nRepetitions; ++k) {
        HardwareInterface hw(nullptr, &port, QStringLiteral("bench"));

        port.StartRun();
        const Clock::time_point t0 = Clock::now();
        const int32_t r1 = hw.StartTest(0);
        const Clock::time_point t1 = Clock::now();
        nFirstReports = port.Sent() + port.Read();

        // The analysis of the run's frames once more, on copies: the ADC
        // judgement with the weak-signal tolerances, UNT from the ADC frames,
        // then what the test view asks for (problem map and result code).
        SignalMap adc = *hw.GetSignalMap(QStringLiteral("ADC"));
        SignalMap unt;
        SignalErrorMap errors;
        ProblemMap problems;
        QString strCode = QStringLiteral("PASS"), strMessage;
        const Clock::time_point a0 = Clock::now();
        hw.AnalyseSignal(QStringLiteral("ADC"), adc, errors);
        hw.CheckWeakSignalLimit(errors);
        hw.CalcUntSignal(adc, unt);
        hw.GetErrors(problems);
        hw.GetTestResultCode(strCode, strMessage);
        const Clock::time_point a1 = Clock::now();

        const QString strPath = dir.filePath(QStringLiteral("run%1.xml").arg(k));
        const Clock::time_point s0 = Clock::now();
        const int32_t rSave = hw.SaveXml(strPath);
        const Clock::time_point s1 = Clock::now();

        port.StartRun();
        const Clock::time_point t2 = Clock::now();
        const int32_t r2 = hw.ReTest(0);
        const Clock::time_point t3 = Clock::now();
        nRetestReports = port.Sent() + port.Read();

        if (r1 != 0 || r2 != 0 || rSave != 0 || !hw.GetSignalErrors().isEmpty())
            ++nFailures;
        strVerdict = hw.GetSignalErrors().isEmpty() ? strCode : QStringLiteral("NG");
        first.push_back(Us(t0, t1) / 1000.0);
        retest.push_back(Us(t2, t3) / 1000.0);
        analysis.push_back(Us(a0, a1) / 1000.0);
        save.push_back(Us(s0, s1) / 1000.0);
        firstWithSave.push_back(Us(t0, t1) / 1000.0 + Us(s0, s1) / 1000.0);
    }

    // The first repetition warms the caches; it stays in the medians.
    const double dSend = Median(port.Sends());
    const double dQueued = Median(port.QueuedReplies());
    const double dRoundTrip = Median(port.RoundTrips());
    const double dFirstWithSave = Median(firstWithSave);
    std::printf("  reports exchanged:   first test %d, retest %d\n", nFirstReports, nRetestReports);
    std::printf("  wall time:           first test %.2f ms (median), retest %.2f ms (median)\n", Median(first),
                Median(retest));
    std::printf("  request sent:        median %.1f us over %zu requests\n", dSend, port.Sends().size());
    std::printf("  reply already queued: median %.1f us over %zu replies\n", dQueued, port.QueuedReplies().size());
    std::printf("  round trip:          median %.1f us over %zu replies (request out to reply read, frame included)\n",
                dRoundTrip, port.RoundTrips().size());
    std::printf("  analysis:            %.3f ms (ADC judgement, UNT, problem map, result code)\n", Median(analysis));
    std::printf("  log save:            %.2f ms\n", Median(save));
    std::printf("  verdict:             %s, failed runs: %d\n", qPrintable(strVerdict), nFailures);
    std::printf("host time per request sent %.1f us (target < 50 us): %s\n", dSend, dSend < 50.0 ? "met" : "NOT met");
    std::printf("host time per queued reply read %.1f us (target < 50 us): %s\n", dQueued,
                dQueued < 50.0 ? "met" : "NOT met");
    std::printf("first run with log save %.1f ms (target < 150 ms): %s\n", dFirstWithSave,
                dFirstWithSave < 150.0 ? "met" : "NOT met");

    return nFailures == 0 ? 0 : 2;
}
