// Cost of the settings stores: durable writes, write-backs of defaults and
// reads, and the construction of the serial port (six keys with defaults)
// on a fresh store. Settings live in a temporary folder (or the folder given
// with --dir, to measure another file system); the user's own are never touched.
//
//   bench_settings [--dir FOLDER] [repetitions]

#include "benchsettingsfolder.h"
#include "comportuart.h"
#include "customersettings.h"
#include "firmwarechecksettings.h"
#include "settingsbatch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSettings>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct SFigure
{
    double median;
    double p90;
};

// Runs prepare (untimed) and then body (timed) n times; milliseconds.
SFigure Measure(int n, const std::function<void()> &prepare, const std::function<void()> &body)
{
    std::vector<double> ms;
    ms.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        if (prepare)
            prepare();
        QElapsedTimer t;
        t.start();
        body();
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 9 / 10)]};
}

void Print(const char *what, const SFigure &f)
{
    std::printf("%-58s median %8.3f ms   p90 %8.3f ms\n", what, f.median, f.p90);
}

const char *const kPortKeys[][2] = {
    {"Parity", "0"},      {"StopBit", "1"}, {"FlowControl", "0"},
    {"BaudRate", "115200"}, {"DataBit", "8"}, {"PortName", ""},
};

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.info=false");
    QCoreApplication app(argc, argv);

    QString dir;
    int n = 50;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--dir") && i + 1 < args.size())
            dir = args.at(++i);
        else
            n = std::max(5, args.at(i).toInt());
    }
    QTemporaryDir tmp((dir.isEmpty() ? QDir::tempPath() : dir) + QStringLiteral("/bench-settings-XXXXXX"));
    if (!tmp.isValid()) {
        std::fprintf(stderr, "cannot make a folder for the settings\n");
        return 1;
    }
    UseSettingsFolder(tmp.path());

    CCustomerSettings *s = CCustomerSettings::GetInstance();
    const QStorageInfo where(tmp.path());
    std::printf("settings in %s (%s on %s), %d repetitions\n", qPrintable(tmp.path()),
                where.fileSystemType().constData(), where.device().constData(), n);
    // A store of realistic size: the keys the views leave behind.
    auto fill = [s] {
        s->clear();
        for (const char *key : {"DefaultInterface", "GridWidth", "LineWidth", "AutoUpgradeCount",
                                "EnableAutoUpgrade", "EnableContinuousUpgrade"})
            s->SetInt(QString::fromLatin1(key), 1);
        for (const char *key : {"SupportSNCheck", "SupportRealTimeTest", "DefaultTouchEnable",
                                "DefaultJumpToDraw", "ShowGrid", "TouchPannelChecked"})
            s->SetBool(QString::fromLatin1(key), true);
        s->SetString(QStringLiteral("UpgradeFilePath"), QStringLiteral("/home/operator/firmware/frame.bin"));
    };

    Print("serial port constructed, fresh store (six defaults)", Measure(n, fill, [] {
              CComPortUart port(QString{});
          }));
    Print("serial port constructed, keys present", Measure(n, nullptr, [] {
              CComPortUart port(QString{});
          }));
    Print("six GetString with defaults, fresh store", Measure(n, fill, [s] {
              for (const auto &k : kPortKeys)
                  s->GetString(QString::fromLatin1(k[0]), QString::fromLatin1(k[1]));
          }));
    Print("six GetString with defaults in one CSettingsBatch, fresh", Measure(n, fill, [s] {
              CSettingsBatch batch(s);
              for (const auto &k : kPortKeys)
                  s->GetString(QString::fromLatin1(k[0]), QString::fromLatin1(k[1]));
          }));
    Print("GetInt of a present key", Measure(n * 20, nullptr, [s] {
              s->GetInt(QStringLiteral("GridWidth"), 20);
          }));
    int value = 0;
    Print("SetInt of a new value (durable write)", Measure(n, nullptr, [s, &value] {
              s->SetInt(QStringLiteral("GridWidth"), ++value);
          }));
    Print("SetInt of the value already stored", Measure(n, nullptr, [s, &value] {
              s->SetInt(QStringLiteral("GridWidth"), value);
          }));
    QMap<QString, QString> table;
    for (int i = 0; i < 20; ++i)
        table.insert(QStringLiteral("KESTREL-%1").arg(i), QStringLiteral("0x%1").arg(i * 977, 4, 16, QLatin1Char('0')));
    CFirmwareCheckSettings *fw = CFirmwareCheckSettings::GetInstance();
    int round = 0;
    Print("WriteAll of a 20-row check table (changed)", Measure(n, [&] {
              table[QStringLiteral("KESTREL-0")] = QString::number(++round);
          }, [&] { fw->WriteAll(table); }));
    Print("WriteAll of the same 20-row check table", Measure(n, nullptr, [&] { fw->WriteAll(table); }));
    return 0;
}
