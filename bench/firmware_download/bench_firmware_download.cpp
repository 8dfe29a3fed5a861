// Firmware download speed: a 256 KiB image (4096 records of 64 bytes) sent by
// the station's download loop through the real USB port and device layer to
// an emulated bootloader that answers every record at once.
//
// Prints the records per second and the median (and 90th percentile) host
// time per record: from one record's progress report to the next, which
// covers the write, the bootloader's answer and its direct read.
// Target: under 100 us per record (the wire takes one record per ms).

#include "comportusb.h"
#include "firmwaredownloader.h"
#include "stationrig.h"
#include "waitfor.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {
constexpr int kImageSize = 256 * 1024;
constexpr int kRuns = 3;
constexpr double kTargetUs = 100.0;

void QuietHandler(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

QByteArray MakeImage()
{
    QByteArray image(kImageSize, '\0');
    for (int i = 0; i < kImageSize; ++i)
        image[i] = char((i * 31 + i / 64) & 0xFF);
    for (int r = 0; r < kImageSize / 64; ++r) {
        image[r * 64] = char(0xFE);
        image[r * 64 + 1] = char(r == 0 ? 0x06 : 0x01);  // erase, then program
        image[r * 64 + 2] = 0;
    }
    return image;
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}
} // namespace

int main(int argc, char* argv[])
{
    qInstallMessageHandler(QuietHandler);
    QCoreApplication app(argc, argv);

    QTemporaryDir dir;
    const QByteArray image = MakeImage();
    const QString path = dir.filePath(QStringLiteral("bench.bin"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size()) {
            std::fprintf(stderr, "cannot write the image\n");
            return 1;
        }
    }

    int nExit = 0;
    {
        CStationRig rig;
        CStationRig::SFrameOptions options;
        options.mode = CEmulatedFrame::Mode::Bootloader;
        options.bPanel = false;
        options.bBootloader = true;
        CStationRig::SFrame& frame = rig.AddFrame(options);
        CEmulatedBootloader& boot = *frame.boot;
        boot.SetReturnsToApplication(false);
        frame.usb->Plug();
        CComPortUsb& port = *rig.OpenPort();
        if (!StationTest::WaitFor([&port] { return port.GetDevCount() == 1 && port.GetDeviceMode() == 0; }, 5000)) {
            std::fprintf(stderr, "the emulated bootloader did not arrive\n");
            return 1;
        }
        port.SetRecvEnable(1, 0);
        std::atomic<bool> bRecvEnabled{true};

        std::printf("firmware download: %d KiB image, %d records, %d runs\n", kImageSize / 1024,
                    kImageSize / 64, kRuns);
        for (int run = 0; run < kRuns; ++run) {
            boot.ExpectImage(image, 0x21);
            std::vector<std::chrono::steady_clock::time_point> stamps;
            stamps.reserve(size_t(kImageSize / 64) + 1);
            QString finalStatus, finalLog;
            CFirmwareDownloader downloader(
                &port, &bRecvEnabled, [&](const QString& status, const QString& log, double) {
                    if (status == QLatin1String("ProgressUpdate") || status == QLatin1String("UpgradeReady"))
                        stamps.push_back(std::chrono::steady_clock::now());
                    else if (status == QLatin1String("UpgradeFinished") || status == QLatin1String("UpdateError")) {
                        stamps.push_back(std::chrono::steady_clock::now());
                        finalStatus = status;
                        finalLog = log;
                    }
                });
            const auto t0 = std::chrono::steady_clock::now();
            downloader.Download(path);
            const auto t1 = std::chrono::steady_clock::now();

            std::vector<double> perRecord;
            for (size_t i = 2; i < stamps.size(); ++i)
                perRecord.push_back(std::chrono::duration<double, std::micro>(stamps[i] - stamps[i - 1]).count());
            const int nRecords = boot.Received().size();
            const double dSeconds = std::chrono::duration<double>(t1 - t0).count();
            const double dMedian = Percentile(perRecord, 0.5);
            std::printf("run %d: %s \"%s\", %d records in %.3f s: %.0f records/s, median %.1f us/record, "
                        "p90 %.1f us/record\n",
                        run + 1, qPrintable(finalStatus), qPrintable(finalLog), nRecords, dSeconds,
                        nRecords / dSeconds, dMedian, Percentile(perRecord, 0.9));
            if (nRecords != kImageSize / 64 || finalLog != QLatin1String("Firmware sent")) {
                std::fprintf(stderr, "the download did not complete\n");
                nExit = 1;
            }
            std::printf("target: median under %.0f us per record: %s\n", kTargetUs,
                        dMedian < kTargetUs ? "met" : "MISSED");
        }
    }
    return nExit;
}
