// The upgrade view under the load of a download and of a long shift: the
// statuses of a 256 KiB image (4096 "ProgressUpdate", a record about every
// millisecond on the wire), then 10 000 rows, each through the view's real
// slot and the event processing it causes (the bar or the table repainted),
// with the view shown offscreen and its log file open.
//
// Prints the median time per status (the slot and the events it leaves
// behind), the median time per row around the 10 000th row (the slot: the
// table row and the file line) beside the same figure for the first rows,
// and the size of the log file, with the targets:
//   under 50 us per status  (the view keeps up with a record per ms);
//   under 200 us per row    (a shift-long run does not slow down).
// For scale it also prints the repaint that follows a row when nothing else
// is waiting: the whole visible table is drawn again, whatever its length,
// once per pass of the event loop however many rows came in it.

#include "benchfigures.h"
#include "fakehidbackend.h"
#include "handlework.h"
#include "imainwindow.h"
#include "stationresources.h"
#include "upgradelogfile.h"
#include "veloraupgradeview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace BenchFigures;
constexpr int kImageSize = 256 * 1024;
constexpr int kRecord = 64;
constexpr int kRows = 10000;
// Rows whose times make a median: the first ones, and those up to the
// 10 000th.
constexpr int kRowWindow = 1000;
constexpr double kStatusTargetUs = 50.0;
constexpr double kRowTargetUs = 200.0;

void QuietHandler(QtMsgType type, const QMessageLogContext&, const QString& msg)
{
    if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

// The main window as the dispatcher sees it: the upgrade view is open.
class CBenchWindow : public QWidget, public IMainWindow
{
    Q_OBJECT
public:
    eWorkType GetWorkType() const override { return UPGRADEWORK; }
    QWidget* GetWindowWidget() override { return this; }

public slots:
    void InsertUsbDeviceForMainwindow(bool) {}
    void InitDeviceInfoForUI(QList<QPair<QString, QString>>, QList<QPair<QString, QString>>) {}
    void ShowErrorMessage(int32_t, QString) {}
};

// Microseconds of one call and the events it leaves behind.
template <typename Fn>
double Timed(Fn fn)
{
    QElapsedTimer timer;
    timer.start();
    fn();
    QCoreApplication::processEvents();
    return double(timer.nsecsElapsed()) / 1000.0;
}
} // namespace

int main(int argc, char* argv[])
{
    qInstallMessageHandler(QuietHandler);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitStationResources();
    QTemporaryDir programDir;
    CUpgradeLogFile::SetProgramDir(programDir.path());

    int nResult = 0;
    {
        auto backend = CFakeHidBackend::Install();
        CBenchWindow window;
        HandleWork work(&window);
        VeloraUpgradeView view(&window, &work);
        view.InitUpgradeView();
        view.show();
        QCoreApplication::processEvents();

        // A download: ready, every record, finished.
        view.UpdateUpgradeStatus(QStringLiteral("UpgradeReady"), QStringLiteral("Start the upgrade"), kImageSize);
        std::vector<double> statusUs;
        statusUs.reserve(kImageSize / kRecord);
        for (int nSent = kRecord; nSent <= kImageSize; nSent += kRecord) {
            statusUs.push_back(Timed([&] {
                view.UpdateUpgradeStatus(QStringLiteral("ProgressUpdate"), QString(), nSent);
            }));
        }
        view.UpdateUpgradeStatus(QStringLiteral("UpgradeFinished"), QStringLiteral("Firmware sent"), kImageSize);

        // A shift of rows: each the slot alone, then the repaint it causes.
        std::vector<double> firstRowUs, rowUs, repaintUs;
        for (int i = 0; i < kRows; ++i) {
            const QString text = QStringLiteral("Product:KT-T65WHSUR-10P Vid:0x2FE9 Pid:0x0013 row %1").arg(i);
            QElapsedTimer timer;
            timer.start();
            view.UpdateUpgradeStatus(QStringLiteral("UpdateLog"), text, 0);
            const double dRowUs = double(timer.nsecsElapsed()) / 1000.0;
            timer.restart();
            QCoreApplication::processEvents();
            const double dRepaintUs = double(timer.nsecsElapsed()) / 1000.0;
            if (i < kRowWindow)
                firstRowUs.push_back(dRowUs);
            if (i >= kRows - kRowWindow) {
                rowUs.push_back(dRowUs);
                repaintUs.push_back(dRepaintUs);
            }
        }
        const QString path = view.LogFilePath();
        const double dStatus = Median(statusUs);
        const double dRow = Median(rowUs);
        std::printf("upgrade view, %d statuses of a %d KiB image, then %d rows, log file open\n",
                    int(statusUs.size()), kImageSize / 1024, kRows);
        std::printf("  per status (median): %8.1f us   target < %.0f us   %s\n", dStatus, kStatusTargetUs,
                    dStatus < kStatusTargetUs ? "ok" : "OVER");
        std::printf("  per row at %d rows (median of the last %d): %8.1f us   target < %.0f us   %s\n", kRows,
                    kRowWindow, dRow, kRowTargetUs, dRow < kRowTargetUs ? "ok" : "OVER");
        std::printf("  per row of the first %d (median): %8.1f us\n", kRowWindow, Median(firstRowUs));
        std::printf("  repaint of the table after a row at %d rows (median): %8.1f us\n", kRows,
                    Median(repaintUs));
        std::printf("  log file: %lld bytes (%s)\n", QFileInfo(path).size(), qPrintable(QFileInfo(path).fileName()));
        nResult = QFileInfo(path).size() > 0 ? 0 : 1;
        view.hide();
        work.StopWorker();
    }
    CFakeHidBackend::Uninstall();
    return nResult;
}

#include "bench_upgrade_view.moc"
