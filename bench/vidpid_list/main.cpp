// The supported vendor/product list at its bound of 4,096 pairs: the start's
// load of the list, the settings dialog's opening, and its OK after one pair
// was added (the list then goes to the store in one write), against the 0.5 s
// the OK may take. Settings live in a temporary folder.
//
//   bench_vidpid_list [repetitions]

#include "benchsettingsfolder.h"
#include "setupdialog.h"
#include "touchdevice.h"
#include "touchsdk.h"
#include "vidpidsettings.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {
void QuietHandler(QtMsgType, const QMessageLogContext &, const QString &) {}

double Ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

void Print(const char *what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-58s median %8.1f ms   max %8.1f ms\n", what, ms[ms.size() / 2], ms.back());
}

QList<VidPid> Pairs(int n)
{
    QList<VidPid> list;
    for (int i = 0; i < n; ++i)
        list << VidPid{uint16_t(0x4000 + i / 256), uint16_t(i % 256)};
    return list;
}
} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietHandler);
    QTemporaryDir tmp;
    if (!tmp.isValid()) {
        std::fprintf(stderr, "cannot make a folder for the settings\n");
        return 1;
    }
    UseSettingsFolder(tmp.path());
    QApplication app(argc, argv);
    const int nRuns = argc > 1 ? std::max(3, QString::fromLocal8Bit(argv[1]).toInt()) : 7;
    const int nMax = CVidPidSettings::kMaxPairs;

    CTouchDevice::InitSupportedVidPidList();
    std::vector<double> load, open, ok;
    for (int run = 0; run < nRuns; ++run) {
        // The bound less one pair in the store, as the start finds it.
        if (TouchSDK::SetSettingsVidPidList(Pairs(nMax - 1)) != 0) {
            std::fprintf(stderr, "the list of %d pairs was not stored\n", nMax - 1);
            return 1;
        }
        QElapsedTimer t;
        t.start();
        CTouchDevice::InitSupportedVidPidList();
        load.push_back(Ms(t));

        t.start();
        CSetUpDialog dialog(nullptr);
        open.push_back(Ms(t));

        // The operator types the last pair, adds it, and presses OK.
        dialog.findChild<QLineEdit *>(QStringLiteral("vidPidLineEdit"))->setText(QStringLiteral("0x7FFF-0x0001"));
        dialog.findChild<QPushButton *>(QStringLiteral("addVidPidPushButton"))->click();
        t.start();
        dialog.findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        ok.push_back(Ms(t));
        if (TouchSDK::GetSettingsVidPidList().size() != nMax) {
            std::fprintf(stderr, "OK did not store the list of %d pairs\n", nMax);
            return 1;
        }
        TouchSDK::SetSettingsVidPidList({});
    }
    std::printf("supported list of %d pairs, %d runs\n", nMax, nRuns);
    Print("list loaded from the store (start)", load);
    Print("settings dialog opened", open);
    Print("OK after adding the last pair (stored in one write)", ok);
    std::sort(ok.begin(), ok.end());
    std::printf("OK within 500 ms at the bound: %s\n", ok.back() < 500.0 ? "met" : "NOT met");
    return 0;
}
