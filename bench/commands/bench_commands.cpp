// 10 000 device commands through HardwareInterface, the real USB port and
// device layer (device object, readers, report queues) to an emulated frame
// that answers at once. Prints the host time per round trip.
//
//   bench_commands [rounds]

#include "comportusb.h"
#include "hardwareinterface.h"
#include "stationrig.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

namespace {
struct Figures
{
    double median, p90, p99, max, mean;
};

Figures Summarise(std::vector<double> us)
{
    std::sort(us.begin(), us.end());
    auto at = [&](double q) { return us[std::min(us.size() - 1, size_t(q * double(us.size() - 1) + 0.5))]; };
    double sum = 0;
    for (double v : us)
        sum += v;
    return {at(0.5), at(0.9), at(0.99), us.back(), sum / double(us.size())};
}

// Debug lines of the device layer would go to the console here (the station
// writes them to its run log); keep the figures readable.
void QuietHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

double ThreadCpuUs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

// Wall time of each round trip, and the station thread's own CPU time.
template <typename Fn>
std::vector<double> Time(int nRounds, Fn fn, int *pFailures, std::vector<double> *pCpu)
{
    std::vector<double> us;
    us.reserve(size_t(nRounds));
    pCpu->clear();
    pCpu->reserve(size_t(nRounds));
    for (int i = 0; i < nRounds; ++i) {
        const double c0 = ThreadCpuUs();
        const auto t0 = std::chrono::steady_clock::now();
        const int32_t r = fn();
        const auto t1 = std::chrono::steady_clock::now();
        pCpu->push_back(ThreadCpuUs() - c0);
        if (r != 0)
            ++*pFailures;
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    return us;
}

void Print(const char *name, const Figures &f)
{
    std::printf("  %-34s median %7.1f us   p90 %7.1f   p99 %7.1f   max %8.1f   mean %7.1f\n", name, f.median, f.p90,
                f.p99, f.max, f.mean);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(QuietHandler);
    const int nRounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;

    CStationRig rig;
    CStationRig::SFrameOptions options;
    options.bPanel = false;
    rig.AddFrame(options).usb->Plug();
    CComPortUsb* port = rig.OpenPort();
    if (!rig.WaitForDevices(1)) {
        std::fprintf(stderr, "the emulated frame did not arrive\n");
        return 1;
    }
    HardwareInterface hw(nullptr, port, QStringLiteral("bench"));

    // Warm up: first reads, allocations, caches.
    for (int i = 0; i < 200; ++i)
        hw.GetTouchEnable();

    int nFailures = 0;
    std::vector<double> cpuCommand, cpuStatus, cpuRaw;
    const std::vector<double> command = Time(nRounds, [&] { return hw.GetTouchEnable(); }, &nFailures, &cpuCommand);
    const std::vector<double> status = Time(nRounds, [&] { return hw.SetDrawing(1, 0); }, &nFailures, &cpuStatus);
    uint8_t request[64] = {0xFC, 0x30, 0x07, 0x02};
    uint8_t reply[64];
    const std::vector<double> raw = Time(nRounds, [&] {
        if (port->SendData(request, 64, 30, 0) < 0)
            return -1;
        return port->RecvData(reply, 64, 10000, 0) == 64 ? 0 : -1;
    }, &nFailures, &cpuRaw);

    const Figures fCommand = Summarise(command);
    std::printf("bench_commands: %d round trips each, HardwareInterface -> CComPortUsb -> device layer -> "
                "emulated frame (fake hidraw node); wall time per round trip:\n", nRounds);
    Print("GetTouchEnable (data reply)", fCommand);
    Print("SetDrawing (status reply)", Summarise(status));
    Print("port SendData+RecvData only", Summarise(raw));
    std::printf("station thread CPU time per round trip (median): GetTouchEnable %.1f us, SetDrawing %.1f us, "
                "port only %.1f us\n", Summarise(cpuCommand).median, Summarise(cpuStatus).median,
                Summarise(cpuRaw).median);
    std::printf("  failed round trips: %d\n", nFailures);
    std::printf("median host time per round trip: %.1f us (target < 50 us): %s\n", fCommand.median,
                fCommand.median < 50.0 ? "met" : "NOT met");

    return nFailures == 0 ? 0 : 2;
}
