// Command round trip through the whole USB road: CComPortUsb -> TouchSDK ->
// device object -> (fake) hidraw node -> frame -> command reader -> report
// queue -> RecvData. Prints the time per round trip.

#include "comportusb.h"
#include "fakehidbackend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.info=false");
    QCoreApplication app(argc, argv);
    auto hid = CFakeHidBackend::Install();
    auto node = hid->AddFrame(0x1FF7, 0x0001, 0x7300);
    node->SetOutputHandler([](CFakeHidNode &n, const QByteArray &request) { n.SendInput(request); });

    auto *pPort = new CComPortUsb();
    QElapsedTimer wait;
    wait.start();
    while (pPort->GetDevCount() == 0 && wait.elapsed() < 5000) {
        QCoreApplication::processEvents();
        QThread::usleep(200);
    }
    if (pPort->GetDevCount() == 0) {
        std::fprintf(stderr, "frame did not arrive\n");
        return 1;
    }

    const int nRounds = argc > 1 ? std::max(100, atoi(argv[1])) : 20000;
    uint8_t request[64] = {0xFC, 0xA3, 0x00};
    uint8_t reply[64];
    for (int i = 0; i < 500; ++i) { // warm-up
        pPort->SendData(request, 64, 30, 0);
        pPort->RecvData(reply, 64, 1000, 0);
    }

    std::vector<double> samples;
    samples.reserve(size_t(nRounds));
    int nFailures = 0;
    QElapsedTimer total;
    total.start();
    for (int i = 0; i < nRounds; ++i) {
        request[3] = uint8_t(i);
        QElapsedTimer one;
        one.start();
        const int32_t nSent = pPort->SendData(request, 64, 30, 0);
        const int32_t nRead = pPort->RecvData(reply, 64, 1000, 0);
        samples.push_back(double(one.nsecsElapsed()) / 1000.0);
        if (nSent != 64 || nRead != 64 || reply[3] != request[3])
            ++nFailures;
    }
    const double dTotalMs = double(total.nsecsElapsed()) / 1e6;
    std::sort(samples.begin(), samples.end());
    auto pct = [&](double p) { return samples[std::min(samples.size() - 1, size_t(p * double(samples.size())))]; };
    std::printf("device round trip (CComPortUsb SendData+RecvData over the fake hidraw node), %d rounds\n", nRounds);
    std::printf("  mean   %8.1f us\n", dTotalMs * 1000.0 / nRounds);
    std::printf("  median %8.1f us\n", pct(0.5));
    std::printf("  p99    %8.1f us\n", pct(0.99));
    std::printf("  max    %8.1f us\n", samples.back());
    std::printf("  failures %d\n", nFailures);

    delete pPort;
    CFakeHidBackend::Uninstall();
    return nFailures == 0 ? 0 : 1;
}
