// The list of logs whose upload is not settled ("FtpPending.txt"): read
// bounded at the start, whatever it holds; a list that cannot be written
// leaves the run going; and a station killed with logs in every state,
// started again in the same folder, ends with the right rows and files on
// the real servers and an empty list. The killed station is this test run
// as a child process, its database reached through a relay that holds or
// loses COMMITs; the second start is the station program itself.

#include "databasesession.h"
#include "ftpclient.h"
#include "modalboxanswerer.h"
#include "pendinglogs.h"
#include "postgresrelay.h"
#include "readfile.h"
#include "runlogcapture.h"
#include "testenvironment.h"
#include "testrecord.h"
#include "uploadservers.h"
#include "uploadtestdata.h"
#include "waitfor.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <csignal>
#include <sys/stat.h>

using namespace UploadServers;
using StationTest::ReadFile;
using StationTest::WaitFor;

namespace {

const char *const kMac = "00:1A:2B:3C:4D:5E";

// The child's part: the serial numbers of its runs, in order, and the port
// its database connections go to.
const char *const kChildRuns = "STATION_CHILD_RUNS";
const char *const kChildPort = "STATION_CHILD_PGPORT";
const char *const kChildFolder = "STATION_CHILD_FOLDER";

QString ListFile()
{
    return QDir::current().absoluteFilePath(QLatin1String(CPendingLogs::kFileName));
}

// The list as the file holds it: path -> state text.
QMap<QString, QString> ListedStates()
{
    QMap<QString, QString> states;
    const QList<QByteArray> lines = ReadFile(ListFile()).split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 3 && !line.startsWith('#'))
            states.insert(QString::fromUtf8(fields.at(2)), QString::fromUtf8(fields.at(0)));
    }
    return states;
}

CTestRecord RecordOf(const QString &strSN)
{
    CTestRecord record = RunRecordOf(strSN);
    record.SetHostMac(QLatin1String(kMac));
    return record;
}

} // namespace

class TestPendingLogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void hostileListIsReadBounded_data();
    void hostileListIsReadBounded();
    void listThatCannotBeWrittenLeavesTheRunGoing();
    void killedStationSettlesAtTheNextStart();
    // Runs only as the child of killedStationSettlesAtTheNextStart.
    void childUploadsUntilKilled();

private:
    std::unique_ptr<CScopedWorkDir> m_workDir;
    bool m_bServers = false;
};

void TestPendingLogs::initTestCase()
{
    QString strError;
    m_bServers = LoadPostgres(&strError) && LoadFtp(&strError);
    QVERIFY2(m_bServers, qPrintable(strError));
}

void TestPendingLogs::init()
{
    m_workDir = std::make_unique<CScopedWorkDir>();
}

void TestPendingLogs::cleanup()
{
    qputenv("PGPORT", Value("PGPORT").toUtf8());
    CTestEnvironment::RealClock();
    CUploadTestData::SetServiceForTest(nullptr);
    SetFtpSwitch(QString());
    m_workDir.reset();
}

void TestPendingLogs::hostileListIsReadBounded_data()
{
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QStringList>("kept");    // the entries read, in order
    QTest::addColumn<QString>("warning");     // a warning that names the fault (empty: none)
    QTest::addColumn<bool>("rewritten");      // the file holds only what was kept

    const QByteArray good = "owed\t00%3A1A\t/Data/X1/a.xml\nrow unknown\t\t/Data/X1/b c.xml\n";
    QTest::newRow("two entries, a comment, CR LF")
        << QByteArray("# heading\r\n" + QByteArray(good).replace("\n", "\r\n")) << QStringList{"owed /Data/X1/a.xml", "row unknown /Data/X1/b c.xml"}
        << QString() << false;
    const QByteArray junk("\x01\x02\xff\xfe\0\0\t\x80\t\x7f\n\n\t\t\n", 15);
    QTest::newRow("binary junk between entries")
        << QByteArray("owed\t\t/Data/X1/a.xml\n") + junk + "row unknown\t\t/Data/X1/b c.xml\n"
        << QStringList{"owed /Data/X1/a.xml", "row unknown /Data/X1/b c.xml"} << "unknown state" << true;
    QTest::newRow("no tabs") << QByteArray("/Data/X1/a.xml\n") << QStringList() << "not an entry" << true;
    QTest::newRow("unknown state") << QByteArray("sent\t\t/Data/X1/a.xml\n") << QStringList() << "unknown state"
                                   << true;
    for (const char *szPath : {"/../outside.xml", "/Data/X1/../../outside.xml", "Data/X1/a.xml", "/Data//X1/a.xml",
                               "/Data\\X1\\a.xml"}) {
        QTest::addRow("path %s", szPath) << QByteArray("owed\t\t") + szPath + "\n" << QStringList()
                                         << "is not a log below the working folder" << true;
    }
    QTest::newRow("log gone") << QByteArray("owed\t\t/Data/X1/gone.xml\n" + good)
                              << QStringList{"owed /Data/X1/a.xml", "row unknown /Data/X1/b c.xml"}
                              << "no longer exists" << true;
    QTest::newRow("listed twice") << QByteArray(good + good)
                                  << QStringList{"owed /Data/X1/a.xml", "row unknown /Data/X1/b c.xml"} << QString()
                                  << true;
    // Past the size bound only the whole lines before it count.
    QByteArray huge = good;
    while (huge.size() <= CPendingLogs::kMaxBytes)
        huge += "# " + QByteArray(1000, 'x') + '\n';
    huge += "owed\t\t/Data/X1/a.xml\n";
    QTest::newRow("longer than the bound") << huge
                                           << QStringList{"owed /Data/X1/a.xml", "row unknown /Data/X1/b c.xml"}
                                           << "is longer than" << true;
    QByteArray many = good;
    for (int i = 0; i < CPendingLogs::kMaxEntries; ++i)
        many += "owed\t\t/Data/X1/gone-" + QByteArray::number(i) + ".xml\n";
    QTest::newRow("more entries than the bound")
        << many << QStringList{"owed /Data/X1/a.xml", "row unknown /Data/X1/b c.xml"} << "more than" << true;
}

// Whatever the list holds, reading it ends at once with what it can use and
// a warning for the rest; the file is then written again without the rest.
void TestPendingLogs::hostileListIsReadBounded()
{
    QFETCH(QByteArray, list);
    QFETCH(QStringList, kept);
    QFETCH(QString, warning);
    QFETCH(bool, rewritten);
    QVERIFY(WriteFile(QDir::currentPath(), QStringLiteral("/Data/X1/a.xml"), "a"));
    QVERIFY(WriteFile(QDir::currentPath(), QStringLiteral("/Data/X1/b c.xml"), "b"));
    QVERIFY(WriteFile(QDir::currentPath(), QStringLiteral("/outside.xml"), "o"));
    QVERIFY(WriteFile(QDir::currentPath(), QLatin1Char('/') + QLatin1String(CPendingLogs::kFileName), list));

    CRunLogCapture log;
    CPendingLogs pending(ListFile());
    pending.Load();

    QStringList entries;
    for (const CPendingLogs::SEntry &entry : pending.Entries())
        entries << CPendingLogs::StateText(entry.state) + QLatin1Char(' ') + entry.strPath;
    QCOMPARE(entries, kept);
    const QStringList warnings = log.Lines(QtWarningMsg);
    if (warning.isEmpty())
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
    else
        QVERIFY2(!warnings.filter(warning).isEmpty(), qPrintable(warnings.mid(0, 5).join('\n')));
    // A list of junk does not flood the run log.
    QVERIFY2(warnings.size() <= CPendingLogs::kMaxNamedDrops + 3, qPrintable(QString::number(warnings.size())));
    if (rewritten) {
        CPendingLogs again(ListFile());
        again.Load();
        QCOMPARE(again.Entries().size(), kept.size());
        QVERIFY(ReadFile(ListFile()).size() < 1000);
    }
    if (pending.Find(QStringLiteral("/Data/X1/a.xml")))
        QCOMPARE(pending.Find(QStringLiteral("/Data/X1/a.xml"))->strHostMac,
                 list.contains("00%3A1A") ? QStringLiteral("00:1A") : QString());
}

// A list that cannot be replaced (here a folder stands in its place; a
// FIFO would make a careless reader wait) is a warning; the run goes on,
// and the list in memory stays right.
void TestPendingLogs::listThatCannotBeWrittenLeavesTheRunGoing()
{
    for (const bool bFifo : {false, true}) {
        QFile::remove(ListFile());
        QDir().rmdir(ListFile());
        if (bFifo)
            QVERIFY(::mkfifo(QFile::encodeName(ListFile()).constData(), 0600) == 0);
        else
            QVERIFY(QDir().mkdir(ListFile()));
        CRunLogCapture log;
        CPendingLogs pending(ListFile());
        pending.Load();
        QVERIFY(pending.IsEmpty());
        QVERIFY(!log.Lines(QtWarningMsg).filter(QStringLiteral("not a plain file")).isEmpty());
        QVERIFY(WriteFile(QDir::currentPath(), QStringLiteral("/Data/X1/a.xml"), "a"));
        pending.AddRowUnknown(QStringLiteral("/Data/X1/a.xml"), QLatin1String(kMac));
        if (!bFifo) {
            QVERIFY(!pending.IsWritten());
            QVERIFY(!log.Lines(QtWarningMsg).filter(QStringLiteral("cannot be written")).isEmpty());
        }
        QVERIFY(pending.Contains(QStringLiteral("/Data/X1/a.xml")));
        pending.MarkOwed(QStringLiteral("/Data/X1/a.xml"));
        QCOMPARE(pending.Find(QStringLiteral("/Data/X1/a.xml"))->state, CPendingLogs::EState::Owed);
        QVERIFY(pending.Remove(QStringLiteral("/Data/X1/a.xml")));
        QVERIFY(pending.IsEmpty());
        QFile::remove(ListFile());
        QDir().rmdir(ListFile());
    }
}

// The station is killed with one log in each state: owed (its row stored,
// its transfer refused), row unknown with no row (its COMMIT lost on the way,
// Cancel), row unknown with its row stored (its COMMIT's answer held, the
// kill comes while the station waits for it); the station's role cannot
// read the table, so no look-up settles them before the kill. Started again
// in the same folder (the role mended, the servers well), the station sends
// the stored runs' logs, names the other run as not stored, and empties the
// list.
void TestPendingLogs::killedStationSettlesAtTheNextStart()
{
    CPostgresRelay relay(Value("PGPORT").toInt());
    QVERIFY(relay.Port() > 0);
    relay.OnCommit(2, CPostgresRelay::ECommit::Swallow, 60000);
    relay.OnCommit(3, CPostgresRelay::ECommit::HoldAnswer, 60000);
    const QString strOperator = Value("PG_OP_USER");
    const auto regrant = qScopeGuard(
        [&] { RunAsOwner(QStringLiteral("grant select on touchtestrecord to \"%1\"").arg(strOperator)); });
    QVERIFY(RunAsOwner(QStringLiteral("revoke select on touchtestrecord from \"%1\"").arg(strOperator)));
    PrepareOperatorUpload();
    // owed, stored but unknown, not stored but unknown
    QStringList serials;
    for (int i = 0; i < 3; ++i)
        serials << RunRecord().GetSN();
    const CTestRecord owed = RecordOf(serials.at(0));
    const CTestRecord lost = RecordOf(serials.at(1));
    const CTestRecord held = RecordOf(serials.at(2));

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kChildRuns), serials.join(QLatin1Char(',')));
    env.insert(QLatin1String(kChildPort), QString::number(relay.Port()));
    env.insert(QLatin1String(kChildFolder), QDir::currentPath());
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("childUploadsUntilKilled")});
    const auto killChild = qScopeGuard([&] {
        if (child.state() != QProcess::NotRunning) {
            child.kill();
            child.waitForFinished(10000);
        }
    });
    QVERIFY(child.waitForStarted(30000));
    const QMap<QString, QString> killedWith{{owed.GetLogUrl(), QStringLiteral("owed")},
                                            {lost.GetLogUrl(), QStringLiteral("row unknown")},
                                            {held.GetLogUrl(), QStringLiteral("row unknown")}};
    // The third run's COMMIT went to the server, and its answer waits; the
    // second's never reached it.
    const bool bReady = WaitFor(
        [&] {
            return child.state() == QProcess::Running && relay.Held() == 2 && relay.CommitsSeen() == 3
                   && ListedStates() == killedWith && FtpCommands().filter(QStringLiteral("STOR")).size() >= 1;
        },
        90000);
    QVERIFY2(bReady, qPrintable(QString::fromLocal8Bit(child.readAll()) + QLatin1Char('\n')
                                + QString::fromUtf8(ReadFile(ListFile()))));
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(ListedStates(), killedWith);
    relay.Release();

    // The role may read the table again; the servers are well.
    QVERIFY(RunAsOwner(QStringLiteral("grant select on touchtestrecord to \"%1\"").arg(strOperator)));
    SetFtpSwitch(QString());
    // The server has ended the killed station's sessions.
    QVERIFY(WaitFor([&] { return Sessions(strOperator) == 0; }, 30000));
    QCOMPARE(Rows(owed.GetSN()).size(), 1);
    QCOMPARE(Rows(held.GetSN()).size(), 1);
    QVERIFY(Rows(lost.GetSN()).isEmpty());

    // The station started again in the same folder.
    QTemporaryDir runtime(QDir::tempPath() + "/station-xdg-XXXXXX");
    QTemporaryDir config(QDir::tempPath() + "/station-cfg-XXXXXX");
    QProcess station;
    QProcessEnvironment stationEnv = QProcessEnvironment::systemEnvironment();
    stationEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    stationEnv.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    stationEnv.insert(QStringLiteral("HOME"), config.path());
    station.setProcessEnvironment(stationEnv);
    station.setWorkingDirectory(QDir::currentPath());
    station.setStandardOutputFile(QProcess::nullDevice());
    station.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    station.start(QStringLiteral(STATION_EXECUTABLE), {QStringLiteral("--emulated-frame")});
    const auto stopStation = qScopeGuard([&] {
        if (station.state() != QProcess::NotRunning) {
            station.kill();
            station.waitForFinished(10000);
        }
    });
    QVERIFY(station.waitForStarted(30000));
    auto stationLog = [] {
        const QDir dir(QDir::current().filePath(QStringLiteral("Log")));
        const QStringList files = dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
        return files.isEmpty() ? QString() : QString::fromUtf8(ReadFile(dir.filePath(files.last())));
    };
    const bool bSettled = WaitFor(
        [&] {
            bool bOwed = false;
            bool bHeld = false;
            FtpFile(owed.GetLogUrl(), &bOwed);
            FtpFile(held.GetLogUrl(), &bHeld);
            return bOwed && bHeld && !QFileInfo::exists(ListFile())
                   && stationLog().contains(QLatin1String("an earlier run is not stored"));
        },
        90000);
    QVERIFY2(bSettled, qPrintable(stationLog() + QString::fromUtf8(ReadFile(ListFile()))));
    ::kill(pid_t(station.processId()), SIGTERM);
    QVERIFY(station.waitForFinished(60000));

    // One whole file per stored run, none for the other; one row each.
    QCOMPARE(FtpFile(owed.GetLogUrl()), owed.GetSN().toUtf8());
    QCOMPARE(FtpFile(held.GetLogUrl()), held.GetSN().toUtf8());
    // Delivered under the final names only, no upload left half-named.
    QCOMPARE(FtpPartFiles(), QStringList());
    bool bLostSent = true;
    FtpFile(lost.GetLogUrl(), &bLostSent);
    QVERIFY(!bLostSent);
    QCOMPARE(Rows(owed.GetSN()).size(), 1);
    QCOMPARE(Rows(held.GetSN()).size(), 1);
    QVERIFY(Rows(lost.GetSN()).isEmpty());
    const QString strLog = stationLog();
    QVERIFY2(strLog.contains(QStringLiteral("an earlier run is not stored (no row of it is on the server), its log not "
                                            "uploaded: ")
                             + lost.GetLogUrl()),
             qPrintable(strLog));
    QVERIFY(!QFileInfo::exists(ListFile()));
}

void TestPendingLogs::childUploadsUntilKilled()
{
    if (qEnvironmentVariableIsEmpty(kChildRuns))
        QSKIP("the child of killedStationSettlesAtTheNextStart");
    QDir::setCurrent(qEnvironmentVariable(kChildFolder));
    qputenv("PGPORT", qgetenv(kChildPort));
    // The first run's transfer is refused (this process's start cleared the
    // switch).
    SetFtpSwitch(QStringLiteral("refuse-upload"));
    CTestEnvironment::FastClock(0.2);
    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Cancel"));
    CUploadTestData *pUpload = CUploadTestData::GetInstance();
    QVERIFY(pUpload);
    const QStringList serials = qEnvironmentVariable(kChildRuns).split(QLatin1Char(','));
    for (const QString &strSN : serials) {
        CTestRecord record = RecordOf(strSN);
        pUpload->UploadTestData(record);
        // The first one's transfer is refused before the next run.
        QVERIFY(WaitFor([pUpload] { return pUpload->FtpClient()->IsIdle(); }, 30000));
    }
    // The parent ends this process.
    QTest::qWait(120000);
    QFAIL("not killed");
}

STATION_TEST_MAIN(TestPendingLogs)
#include "tst_pendinglogs.moc"
