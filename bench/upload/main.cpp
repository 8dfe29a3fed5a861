// What the upload costs the operator's screen: records handed to the upload
// on the GUI thread (the database row is stored inside the call), then their
// logs going out by FTP while the event loop runs, then one 1 MiB log into
// three new folders. The servers are the test fixtures' (a PostgreSQL
// cluster reached through ODBC as "SQL SERVER", and a pyftpdlib server), on
// 127.0.0.1, started here and stopped at the end.
//
//   bench_upload [records]          (default 200)

#include "ftpclient.h"
#include "testrecord.h"
#include "uploadservice.h"
#include "uploadtestdata.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

namespace {

constexpr double kHeldTargetMs = 20.0;
constexpr double kStallTargetMs = 20.0;

bool RunScript(const QString &strScript, const QString &strCommand, const QString &strState)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("bash"), {QStringLiteral(UPLOAD_FIXTURE_DIR "/") + strScript, strCommand, strState});
    if (!process.waitForFinished(90000)) {
        process.kill();
        process.waitForFinished(5000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QHash<QString, QString> ReadEnv(const QString &strFile)
{
    QHash<QString, QString> values;
    QFile file(strFile);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n')) {
            const int nEq = line.indexOf('=');
            if (nEq > 0)
                values.insert(QString::fromUtf8(line.left(nEq)), QString::fromUtf8(line.mid(nEq + 1)));
        }
    }
    return values;
}

// Starts both servers in strState; stops them when it goes.
class CServers
{
public:
    explicit CServers(const QString &strState) : m_strState(strState) {}
    ~CServers()
    {
        RunScript(QStringLiteral("ftpserver.sh"), QStringLiteral("stop"), m_strState + QStringLiteral("/ftp"));
        RunScript(QStringLiteral("pgserver.sh"), QStringLiteral("stop"), m_strState + QStringLiteral("/pg"));
    }
    bool Start()
    {
        return RunScript(QStringLiteral("pgserver.sh"), QStringLiteral("start"), m_strState + QStringLiteral("/pg"))
            && RunScript(QStringLiteral("ftpserver.sh"), QStringLiteral("start"), m_strState + QStringLiteral("/ftp"));
    }

private:
    QString m_strState;
};

double Ms(qint64 nNs)
{
    return double(nNs) / 1e6;
}

// Runs the event loop until the FTP client is idle; the longest time the
// loop went without turning (a zero timer fires on every idle turn).
double RunUntilIdle(CFtpClient *pClient, double *pElapsedMs)
{
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    qint64 nLast = clock.nsecsElapsed();
    qint64 nLongest = 0;
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 nNow = clock.nsecsElapsed();
        nLongest = std::max(nLongest, nNow - nLast);
        nLast = nNow;
        if (pClient->IsIdle())
            loop.quit();
    });
    tick.start();
    loop.exec();
    *pElapsedMs = Ms(clock.nsecsElapsed());
    return Ms(nLongest);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.info=false");
    // Output piped into a reader that stops early must not end the run
    // before it has stopped its servers.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    const int nRecords = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 200;

    QTemporaryDir state(QDir::tempPath() + QStringLiteral("/bench-upload-XXXXXX"));
    QTemporaryDir work(QDir::tempPath() + QStringLiteral("/bench-upload-work-XXXXXX"));
    CServers servers(state.path());
    if (!state.isValid() || !work.isValid() || !servers.Start()) {
        std::fprintf(stderr, "cannot start the servers (PostgreSQL, pyftpdlib)\n");
        return 1;
    }
    const QHash<QString, QString> pg = ReadEnv(state.path() + QStringLiteral("/pg/pg.env"));
    const QHash<QString, QString> ftp = ReadEnv(state.path() + QStringLiteral("/ftp/ftp.env"));
    qputenv("PGPORT", pg.value(QStringLiteral("PGPORT")).toUtf8());
    qputenv("ODBCSYSINI", pg.value(QStringLiteral("ODBCSYSINI")).toUtf8());
    QDir::setCurrent(work.path());
    {
        QSettings info(QStringLiteral("ServerInfo.ini"), QSettings::IniFormat);
        info.setValue(QStringLiteral("FtpServer/Url"), QStringLiteral("127.0.0.1"));
        info.setValue(QStringLiteral("FtpServer/PortNo"), ftp.value(QStringLiteral("FTP_PORT")));
        info.setValue(QStringLiteral("FtpServer/User"), ftp.value(QStringLiteral("FTP_USER")));
        info.setValue(QStringLiteral("FtpServer/Password"), ftp.value(QStringLiteral("FTP_PASSWORD")));
        info.setValue(QStringLiteral("Database/Server"), QStringLiteral("127.0.0.1"));
        info.setValue(QStringLiteral("Database/PortNo"), pg.value(QStringLiteral("PGPORT")));
        info.setValue(QStringLiteral("Database/Type"), QStringLiteral("SQL SERVER"));
        info.setValue(QStringLiteral("Database/Name"), pg.value(QStringLiteral("PGDATABASE")));
        info.setValue(QStringLiteral("Database/User"), pg.value(QStringLiteral("PG_USER")));
        info.setValue(QStringLiteral("Database/Password"), pg.value(QStringLiteral("PG_PASSWORD")));
    }

    // Test logs of a typical size, one per record.
    const QByteArray log(40 * 1024, 'x');
    QDir().mkpath(QStringLiteral("Data/X1/1A2B"));
    for (int i = 0; i < nRecords; ++i) {
        QFile file(QStringLiteral("Data/X1/1A2B/run%1_PASS.xml").arg(i));
        if (!file.open(QIODevice::WriteOnly) || file.write(log) != log.size())
            return 1;
    }

    std::vector<double> held;
    double dFirstMs = 0;
    for (int i = 0; i < nRecords; ++i) {
        CTestRecord record;
        record.SetDateTime(QDateTime::currentDateTime());
        record.SetProduct(QStringLiteral("X1"));
        record.SetCheckSum(QStringLiteral("1A2B"));
        record.SetSN(QStringLiteral("SN%1").arg(i));
        record.SetResult(QStringLiteral("PASS"));
        record.SetLogUrl(QStringLiteral("/Data/X1/1A2B/run%1_PASS.xml").arg(i));
        QElapsedTimer timer;
        timer.start();
        CUploadService::Instance()->UploadTestData(record);
        const double dMs = Ms(timer.nsecsElapsed());
        if (i == 0)
            dFirstMs = dMs;
        else
            held.push_back(dMs);
    }
    CUploadTestData *pUpload = CUploadTestData::GetInstance();
    if (!pUpload)
        return 1;
    std::sort(held.begin(), held.end());
    const double dMedian = held.empty() ? dFirstMs : held[held.size() / 2];
    const double dP90 = held.empty() ? dFirstMs : held[std::min(held.size() - 1, held.size() * 9 / 10)];

    double dTransfersMs = 0;
    const double dStallMs = RunUntilIdle(pUpload->FtpClient(), &dTransfersMs);
    const int nPending = pUpload->FtpClient()->PendingUploads().size();

    // One 1 MiB log into three folders the server does not have yet.
    QDir().mkpath(QStringLiteral("Big/One/Two"));
    {
        QFile file(QStringLiteral("Big/One/Two/log.xml"));
        if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray(1024 * 1024, 'y')) != 1024 * 1024)
            return 1;
    }
    QElapsedTimer bigTimer;
    bigTimer.start();
    pUpload->FtpClient()->UploadFile(QStringLiteral("/Big/One/Two/log.xml"));
    double dBigMs = 0;
    const double dBigStallMs = RunUntilIdle(pUpload->FtpClient(), &dBigMs);
    dBigMs = Ms(bigTimer.nsecsElapsed());
    const bool bBigSent = pUpload->FtpClient()->PendingUploads().isEmpty();

    std::printf("records through UploadTestData (ODBC row + FTP queued), %d records, logs of %d KiB\n", nRecords,
                int(log.size() / 1024));
    std::printf("  first record (opens the database connection)   %8.3f ms\n", dFirstMs);
    std::printf("  GUI thread held per record: median %8.3f ms   p90 %8.3f ms   target < %.0f ms  %s\n", dMedian, dP90,
                kHeldTargetMs, dMedian < kHeldTargetMs ? "ok" : "MISSED");
    std::printf("  their transfers: %8.1f ms in all, %d left pending\n", dTransfersMs, nPending);
    std::printf("  longest event-loop stall during the transfers  %8.3f ms   target < %.0f ms  %s\n", dStallMs,
                kStallTargetMs, dStallMs < kStallTargetMs ? "ok" : "MISSED");
    std::printf("1 MiB log into three new folders                  %8.1f ms   %s (longest stall %.3f ms)\n", dBigMs,
                bBigSent ? "sent" : "NOT SENT", dBigStallMs);
    CUploadTestData::SetServiceForTest(nullptr);
    return nPending == 0 && bBigSent ? 0 : 1;
}
