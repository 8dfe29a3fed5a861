// Cost of the test settings dialog with large check lists: 10 000 entries
// in each check store. Building the dialog loads and merges every tab;
// reopening merges the stores against the 20 000 rows shown; OK after one
// entry was added to each list rewrites both stores (and OK with nothing
// changed compares them). Settings live in a temporary folder; the user's
// own are never touched.
//
//   bench_checklists [runs]

#include "benchsettingsfolder.h"
#include "customersettings.h"
#include "firmwarechecksettings.h"
#include "setupdialog.h"
#include "snchecksumsettings.h"
#include "touchdevice.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kEntries = 10000;
constexpr double kTargetMs = 300.0;

// Runs prepare (untimed) and then body (timed) n times; the median in ms.
double Median(int n, const std::function<void()>& prepare, const std::function<void()>& body)
{
    std::vector<double> ms;
    for (int i = 0; i < n; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer t;
        t.start();
        body();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

bool Print(const char* what, double dMedian)
{
    const bool bMet = dMedian <= kTargetMs;
    std::printf("%-52s median %8.1f ms   target %6.0f ms   %s\n", what, dMedian, kTargetMs, bMet ? "met" : "MISSED");
    return bMet;
}

// Product names and serial numbers as a line would have them, in no order.
QMap<QString, QString> Entries(const char* szPrefix)
{
    QMap<QString, QString> map;
    for (int i = 0; i < kEntries; ++i) {
        const int n = (i * 7919) % kEntries;
        map.insert(QStringLiteral("%1-%2").arg(QLatin1String(szPrefix)).arg(n, 5, 10, QLatin1Char('0')),
                   QStringLiteral("0x%1-0x%2").arg(n % 0xFFFF, 4, 16, QLatin1Char('0')).arg(i % 0xFFFF, 4, 16,
                                                                                          QLatin1Char('0')).toUpper()
                       .replace(QLatin1String("0X"), QLatin1String("0x")));
    }
    return map;
}

template <typename T>
T* Child(QObject* pParent, const char* szName)
{
    return pParent->findChild<T*>(QLatin1String(szName));
}

void AddEntry(CSetUpDialog& dialog, const char* szKey, const char* szSum, const char* szAdd, const QString& key)
{
    Child<QLineEdit>(&dialog, szKey)->setText(key);
    Child<QLineEdit>(&dialog, szSum)->setText(QStringLiteral("0x0001"));
    Child<QPushButton>(&dialog, szAdd)->click();
}

// The figures only: the offscreen platform's notices would bury them.
void QuietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char* argv[])
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
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", tmp.path().toLocal8Bit());
    QApplication app(argc, argv);
    const int nRuns = argc > 1 ? std::max(3, QString::fromLocal8Bit(argv[1]).toInt()) : 7;

    CTouchDevice::InitSupportedVidPidList();
    const QMap<QString, QString> firmware = Entries("KT-T65WHSUR");
    const QMap<QString, QString> serials = Entries("B2024-11");
    auto resetStores = [&] {
        CFirmwareCheckSettings::GetInstance()->WriteAll(firmware);
        CSNChecksumSettings::GetInstance()->WriteAll(serials);
    };
    resetStores();
    std::printf("check lists: %d entries in each of the two stores, %d runs\n", kEntries, nRuns);

    bool bMet = true;
    std::unique_ptr<CSetUpDialog> pDialog;
    bMet &= Print("build the dialog (load and merge every tab)",
                  Median(nRuns, [&] { pDialog.reset(); }, [&] { pDialog = std::make_unique<CSetUpDialog>(nullptr); }));
    if (Child<QListWidget>(pDialog.get(), "firmwareCheckListWidget")->count() != kEntries) {
        std::fprintf(stderr, "the firmware list does not show every entry\n");
        return 1;
    }

    bMet &= Print("reopen (merge against the rows shown)", Median(nRuns, nullptr, [&] { pDialog->InitSetUpView(); }));

    int nAdded = 0;
    bMet &= Print("OK with one entry added to each list (rewrite)",
                  Median(
                      nRuns,
                      [&] {
                          resetStores();
                          pDialog = std::make_unique<CSetUpDialog>(nullptr);
                          pDialog->show();
                          const QString key = QStringLiteral("NEW-%1").arg(++nAdded);
                          AddEntry(*pDialog, "productLineEdit", "checkSumLineEdit", "addProductChecksumPushButton", key);
                          AddEntry(*pDialog, "snLineEdit", "snCheckSumLineEdit", "addSnChecksumPushButton", key);
                      },
                      [&] { Child<QDialogButtonBox>(pDialog.get(), "buttonBox")->button(QDialogButtonBox::Ok)->click(); }));
    if (CFirmwareCheckSettings::GetInstance()->ReadAll().size() != kEntries + 1) {
        std::fprintf(stderr, "OK did not store the added entry\n");
        return 1;
    }

    bMet &= Print("OK with nothing changed",
                  Median(
                      nRuns, [&] { pDialog->show(); },
                      [&] { Child<QDialogButtonBox>(pDialog.get(), "buttonBox")->button(QDialogButtonBox::Ok)->click(); }));
    pDialog.reset();
    return bMet ? 0 : 2;
}
