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
#include "stationclock.h"
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
const char *const kChildDriver = "STATION_CHILD_DRIVER";

QString ListFile()
{
    return QDir::current().absoluteFilePath(QLatin1String(CPendingLogs::kFileName));
}

// The list as the file holds it: path -> state text (the path is the last
// field; a "row unknown" entry may carry its transaction's witness before it).
QMap<QString, QString> ListedStates()
{
    QMap<QString, QString> states;
    const QList<QByteArray> lines = ReadFile(ListFile()).split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        if ((fields.size() == 3 || fields.size() == 4) && !line.startsWith('#'))
            states.insert(QString::fromUtf8(fields.last()), QString::fromUtf8(fields.at(0)));
    }
    return states;
}

// The witnesses the file holds: path -> witness field.
QMap<QString, QByteArray> ListedWitnesses()
{
    QMap<QString, QByteArray> witnesses;
    const QList<QByteArray> lines = ReadFile(ListFile()).split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 4 && !line.startsWith('#'))
            witnesses.insert(QString::fromUtf8(fields.at(3)), fields.at(2));
    }
    return witnesses;
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
    void witnessIsReadWhereItStands_data();
    void witnessIsReadWhereItStands();
    void killedStationSettlesAtTheNextStart();
    void killedDuringALateCommitSettlesByTheServer_data();
    void killedDuringALateCommitSettlesByTheServer();
    void plantedEntriesAreNeverSent();
    // Run only as children of the kill tests.
    void childUploadsUntilKilled();
    void childCommitsUntilKilled();

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
    // Only test logs: a planted entry never names another file of the
    // working folder (the server description with its passwords, say).
    for (const char *szPath : {"/ServerInfo.ini", "/TouchTestInfo-V0001.csv", "/Data/X1/notes.txt", "/Data/.xml",
                               "/Data/X1", "/Database/a.xml", "/a.xml"}) {
        QTest::addRow("planted %s", szPath)
            << QByteArray("owed\t\t") + szPath + "\nowed\t\t/Data/X1/a.xml\n" << QStringList{"owed /Data/X1/a.xml"}
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
    for (const char *szPlanted : {"/ServerInfo.ini", "/TouchTestInfo-V0001.csv", "/Data/X1/notes.txt", "/Data/.xml",
                                  "/Database/a.xml", "/a.xml"})
        QVERIFY(WriteFile(QDir::currentPath(), QLatin1String(szPlanted), "planted"));
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

void TestPendingLogs::witnessIsReadWhereItStands_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<qint64>("txid"); // of the witness read, 0 for none
    QTest::addColumn<QString>("warning");

    const QByteArray witness = "pg:sysid=7718041131866905605;host=127.0.0.1;port=5432;db=lines;txid=740;pid=24264;"
                               "start=1796996495548883";
    const QByteArray head = "row unknown\t00%3A1A\t";
    QTest::newRow("as earlier versions wrote it") << head + "/Data/X1/a.xml" << true << qint64(0) << QString();
    QTest::newRow("a witness before the path") << head + witness + "\t/Data/X1/a.xml" << true << qint64(740)
                                               << QString();
    QTest::newRow("a negative cluster id") << head + QByteArray(witness).replace("sysid=7", "sysid=-7")
                                                  + "\t/Data/X1/a.xml"
                                           << true << qint64(740) << QString();
    QTest::newRow("no cluster id") << head + QByteArray(witness).replace("sysid=7718041131866905605", "sysid=")
                                          + "\t/Data/X1/a.xml"
                                   << true << qint64(740) << QString();
    // The path runs to the end of the line: nothing after it is a field.
    QTest::newRow("a witness after the path") << head + "/Data/X1/a.xml\t" + witness << false << qint64(0)
                                              << "is not a log below the working folder";
    QTest::newRow("a witness and no path") << head + witness << false << qint64(0) << "not an entry";
    const QList<QPair<const char *, QByteArray>> broken{
        {"txid no number", QByteArray(witness).replace("txid=740", "txid=abc")},
        {"txid negative", QByteArray(witness).replace("txid=740", "txid=-740")},
        {"txid zero", QByteArray(witness).replace("txid=740", "txid=0")},
        {"txid past 64 bits", QByteArray(witness).replace("txid=740", "txid=99999999999999999999")},
        {"txid with a blank", QByteArray(witness).replace("txid=740", "txid=%20740")},
        {"pid past 32 bits", QByteArray(witness).replace("pid=24264", "pid=4294967296")},
        {"port out of range", QByteArray(witness).replace("port=5432", "port=65536")},
        {"no database", QByteArray(witness).replace("db=lines", "db=")},
        {"a key twice", witness + ";txid=741"},
        {"a key missing", QByteArray(witness).replace(";pid=24264", "")},
        {"an unknown key", witness + ";user=x"},
        {"a pair without a value", witness + ";x"},
        {"longer than its bound", witness + ";host=" + QByteArray(CCommitWitness::kMaxFieldBytes, 'h')},
    };
    for (const auto &item : broken) {
        QTest::addRow("%s", item.first) << head + item.second + "\t/Data/X1/a.xml" << false << qint64(0)
                                        << "not an entry";
    }
}

// A "row unknown" entry keeps what lets its server be asked about its
// transaction after a restart, in a field between the MAC address and the
// path; today's lines load as they did, and a field that is not sound drops
// its entry with a Warning (never a guess of the transaction).
void TestPendingLogs::witnessIsReadWhereItStands()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, kept);
    QFETCH(qint64, txid);
    QFETCH(QString, warning);
    QVERIFY(WriteFile(QDir::currentPath(), QStringLiteral("/Data/X1/a.xml"), "a"));
    QVERIFY(WriteFile(QDir::currentPath(), QLatin1Char('/') + QLatin1String(CPendingLogs::kFileName), line + '\n'));

    CRunLogCapture log;
    CPendingLogs pending(ListFile());
    pending.Load();

    const QStringList warnings = log.Lines(QtWarningMsg);
    if (warning.isEmpty())
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join('\n')));
    else
        QVERIFY2(!warnings.filter(warning).isEmpty(), qPrintable(warnings.join('\n')));
    const CPendingLogs::SEntry *pEntry = pending.Find(QStringLiteral("/Data/X1/a.xml"));
    QCOMPARE(pEntry != nullptr, kept);
    QCOMPARE(pending.Entries().size(), kept ? 1 : 0);
    if (!pEntry)
        return;
    QCOMPARE(pEntry->strHostMac, QStringLiteral("00:1A"));
    QCOMPARE(pEntry->witness.nTxid, txid);
    if (txid == 0)
        return;
    QCOMPARE(pEntry->witness.nPid, qint64(24264));
    QCOMPARE(pEntry->witness.nSessionStartUs, qint64(1796996495548883));
    QCOMPARE(pEntry->witness.strHost, QStringLiteral("127.0.0.1"));
    QCOMPARE(pEntry->witness.nPort, 5432);
    QCOMPARE(pEntry->witness.strDatabase, QStringLiteral("lines"));

    // Written again as it was read; owed, it goes.
    CCommitWitness next = pEntry->witness;
    next.nTxid = 741;
    pending.AddRowUnknown(QStringLiteral("/Data/X1/a.xml"), QStringLiteral("00:1A"), next);
    CPendingLogs again(ListFile());
    again.Load();
    QCOMPARE(again.Entries().size(), 1);
    QVERIFY(again.Entries().first().witness.SameServer(pEntry->witness));
    QCOMPARE(again.Entries().first().witness.nTxid, qint64(741));
    again.MarkOwed(QStringLiteral("/Data/X1/a.xml"));
    QVERIFY(!ReadFile(ListFile()).contains("pg:"));
}

// Planted entries that name other files of the working folder (the server
// description with its passwords, the parameter table) beside a true owed
// log: at the start only the log goes to the FTP server.
void TestPendingLogs::plantedEntriesAreNeverSent()
{
    PrepareOperatorUpload();
    const CTestRecord owed = RecordOf(RunRecord().GetSN());
    QVERIFY(WriteFile(QDir::currentPath(), QStringLiteral("/TouchTestInfo-V0001.csv"), "parameters"));
    QVERIFY(WriteFile(QDir::currentPath(), QLatin1Char('/') + QLatin1String(CPendingLogs::kFileName),
                      "owed\t\t/ServerInfo.ini\nowed\t\t/TouchTestInfo-V0001.csv\nowed\t\t" + owed.GetLogUrl().toUtf8()
                          + "\n"));
    CRunLogCapture log;
    CUploadTestData::SettleAtStart();
    CUploadTestData *pUpload = CUploadTestData::GetInstance();
    QVERIFY(pUpload);
    QVERIFY(WaitFor([pUpload] { return pUpload->FtpClient()->IsIdle(); }, 30000));

    QCOMPARE(FtpFile(owed.GetLogUrl()), owed.GetSN().toUtf8());
    QStringList sent = FtpTransfers();
    QCOMPARE(sent.size(), 1);
    QVERIFY2(sent.first().contains(owed.GetLogUrl()), qPrintable(sent.first()));
    for (const char *szPlanted : {"/ServerInfo.ini", "/TouchTestInfo-V0001.csv"}) {
        bool bThere = true;
        FtpFile(QLatin1String(szPlanted), &bThere);
        QVERIFY(!bThere);
        QVERIFY(!log.Lines(QtWarningMsg).filter(QLatin1String(szPlanted)).isEmpty());
    }
    QVERIFY(!QFileInfo::exists(ListFile()));
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
// read the table and the server gives no word on its transactions, so
// nothing settles them before the kill. Started again in the same folder (the
// role and the server's word mended, the servers well), the station sends
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
    CServerWithoutWord withoutWord;
    QVERIFY(withoutWord.bOk);
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
    QVERIFY(withoutWord.Restore());
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

void TestPendingLogs::killedDuringALateCommitSettlesByTheServer_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<bool>("standby"); // else the relay delivers the COMMIT late
    for (const char *szDriver : {"QODBC", "QPSQL"}) {
        QTest::addRow("%s COMMIT delivered late", szDriver) << szDriver << false;
        QTest::addRow("%s synchronous standby away", szDriver) << szDriver << true;
    }
}

// The station is killed while its run's COMMIT can still land: on its way
// to the server (a stalled link), or held by the server for a synchronous
// standby that is away. The next start asks the server by what the list
// kept of the transaction: a commit waiting for the standby is committed,
// so the log goes (the row shows once the wait ends), one row and one file;
// a COMMIT still on its way has the killed station's session ended first,
// so the run is not stored for sure, and the COMMIT that arrives after it
// stores nothing. Never "not stored" while it could still land; nothing
// left listed.
void TestPendingLogs::killedDuringALateCommitSettlesByTheServer()
{
    QFETCH(QString, driver);
    QFETCH(bool, standby);
    PrepareOperatorUpload();
    const CTestRecord run = RecordOf(RunRecord().GetSN());
    const QString strLog = run.GetLogUrl();
    const QString strOperator = Value("PG_OP_USER");
    const auto standbyBack = qScopeGuard([] { SetStandbyAway(false); });
    if (standby)
        QVERIFY(SetStandbyAway(true));
    CPostgresRelay relay(Value("PGPORT").toInt());
    QVERIFY(relay.Port() > 0);
    if (!standby)
        relay.OnCommit(1, CPostgresRelay::ECommit::Delay, 120000);

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kChildRuns), run.GetSN());
    env.insert(QLatin1String(kChildPort), QString::number(relay.Port()));
    env.insert(QLatin1String(kChildFolder), QDir::currentPath());
    env.insert(QLatin1String(kChildDriver), driver);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("childCommitsUntilKilled")});
    const auto killChild = qScopeGuard([&] {
        if (child.state() != QProcess::NotRunning) {
            child.kill();
            child.waitForFinished(10000);
        }
    });
    QVERIFY(child.waitForStarted(30000));
    // Listed with its witness, and its COMMIT waits.
    const bool bWaiting = WaitFor(
        [&] {
            return child.state() == QProcess::Running && ListedWitnesses().contains(strLog)
                   && (standby ? CommitsWaitingForStandby(strOperator) == 1
                               : relay.CommitsSeen() == 1 && relay.Held() == 1);
        },
        90000);
    QVERIFY2(bWaiting, qPrintable(QString::fromLocal8Bit(child.readAll()) + QLatin1Char('\n')
                                  + QString::fromUtf8(ReadFile(ListFile()))));
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(ListedStates(), (QMap<QString, QString>{{strLog, QStringLiteral("row unknown")}}));
    CCommitWitness witness;
    QString strWhy;
    QVERIFY2(CCommitWitness::FromField(ListedWitnesses().value(strLog), &witness, &strWhy), qPrintable(strWhy));
    // The killed station's session, as the server shows it to anyone.
    const auto sessionGone = [&witness] { return SessionsWithPid(witness.nPid) == 0; };

    // The next start, on the server directly.
    CRunLogCapture log;
    CUploadTestData *pUpload = StartUpload(driver, Value("PGPORT").toInt(), true);
    QVERIFY(pUpload);
    CUploadTestData::SettleAtStart();
    QVERIFY(WaitFor([pUpload] { return pUpload->FtpClient()->IsIdle(); }, 30000));
    QVERIFY(!QFileInfo::exists(ListFile()));
    if (standby) {
        QVERIFY2(log.Contains(QStringLiteral("an earlier run is stored (the server says its transaction is "
                                             "committed); its log is uploaded: ")
                              + strLog),
                 qPrintable(log.Lines().join('\n')));
        QVERIFY2(log.Lines().filter(QStringLiteral("not stored")).isEmpty(), qPrintable(log.Lines().join('\n')));
        QCOMPARE(FtpFile(strLog), run.GetSN().toUtf8());
        QCOMPARE(FtpTransfers().filter(strLog).size(), 1);
        // The row shows once the server's wait ends.
        QVERIFY(Rows(run.GetSN()).isEmpty());
        QVERIFY(SetStandbyAway(false));
        QVERIFY(WaitFor(sessionGone, 30000));
        QCOMPARE(Rows(run.GetSN()).size(), 1);
    } else {
        QVERIFY2(log.Contains(QStringLiteral("an earlier run is not stored (no row of it is on the server), its log "
                                             "not uploaded: ")
                              + strLog),
                 qPrintable(log.Lines().join('\n')));
        bool bSent = true;
        FtpFile(strLog, &bSent);
        QVERIFY(!bSent);
        // The COMMIT that was on its way finds its session gone.
        relay.Release();
        QVERIFY(WaitFor([&] { return relay.Held() == 0 && sessionGone(); }, 30000));
        QVERIFY(Rows(run.GetSN()).isEmpty());
    }
    QCOMPARE(FtpPartFiles(), QStringList());
}

// Uploads one run with slow waits, so that the parent kills it while the
// run's COMMIT waits, long before it would give up on that COMMIT.
void TestPendingLogs::childCommitsUntilKilled()
{
    if (qEnvironmentVariableIsEmpty(kChildDriver))
        QSKIP("the child of killedDuringALateCommitSettlesByTheServer");
    QDir::setCurrent(qEnvironmentVariable(kChildFolder));
    CStationClock::SetTimeoutScale(20);
    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Cancel"));
    CUploadTestData *pUpload =
        StartUpload(qEnvironmentVariable(kChildDriver), qEnvironmentVariableIntValue(kChildPort), true);
    QVERIFY(pUpload);
    CTestRecord record = RecordOf(qEnvironmentVariable(kChildRuns));
    pUpload->UploadTestData(record);
    // The parent ends this process.
    QTest::qWait(120000);
    QFAIL("not killed");
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
