// The upload of one run: the row in a transaction, and only after the
// commit the log by FTP; the Retry/Cancel box while the database cannot be
// used; a server restarted behind an open connection; inserts and commits
// the server refuses. Real PostgreSQL and FTP servers on 127.0.0.1, the
// database reached through QODBC as the station does and through QPSQL.

#include "databasesession.h"
#include "ftpclient.h"
#include "modalboxanswerer.h"
#include "pendinglogs.h"
#include "postgresrelay.h"
#include "runlogcapture.h"
#include "sqldatabase.h"
#include "testenvironment.h"
#include "testrecord.h"
#include "uploadservers.h"
#include "uploadtestdata.h"
#include "waitfor.h"

#include <QDir>
#include <QSqlDriver>
#include <QSqlError>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QtTest>

#include <algorithm>
#include <memory>

using namespace UploadServers;
using StationTest::WaitFor;

namespace {

const char *const kDatabaseBoxText =
    "Connect to DataBase server error, please check the internet and retry or contact the IT department...";
// The box while whether the run is stored is not known.
const char *const kUnknownBoxText = "The database has not yet said whether this test was stored. Retry asks it again "
                                    "and stores nothing twice; Cancel keeps the test log for a later upload.";



// The station's connection through QPSQL, with a session that can be made
// stuck: the transaction start is refused (not a connection error) while
// "select 1" still answers, until the connection is opened again. Only a new
// connection mends such a session.
class CStuckSessionDriver : public QSqlDriver
{
public:
    // The QPSQL connection it works through, registered as strInner; the
    // test removes that name after the default connection (the driver is
    // dropped while the connection list is locked).
    explicit CStuckSessionDriver(const QString &strInner)
        : m_inner(QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), strInner))
    {
    }
    ~CStuckSessionDriver() override { m_inner.close(); }

    bool hasFeature(DriverFeature feature) const override { return m_inner.driver()->hasFeature(feature); }
    bool open(const QString &strDb, const QString &strUser, const QString &strPassword, const QString &strHost,
              int nPort, const QString &strOptions) override
    {
        ++opens;
        stuck = false;
        m_inner.setDatabaseName(strDb);
        m_inner.setUserName(strUser);
        m_inner.setPassword(strPassword);
        m_inner.setHostName(strHost);
        m_inner.setPort(nPort);
        m_inner.setConnectOptions(strOptions);
        const bool bOk = m_inner.open();
        setOpen(bOk);
        setOpenError(!bOk);
        if (!bOk)
            setLastError(m_inner.lastError());
        return bOk;
    }
    void close() override
    {
        m_inner.close();
        setOpen(false);
        setOpenError(false);
    }
    QSqlResult *createResult() const override { return m_inner.driver()->createResult(); }
    bool beginTransaction() override
    {
        if (stuck) {
            setLastError(QSqlError(QStringLiteral("the session is stuck"), QString(), QSqlError::TransactionError));
            return false;
        }
        return Passed(m_inner.transaction());
    }
    bool commitTransaction() override { return Passed(m_inner.commit()); }
    bool rollbackTransaction() override { return Passed(m_inner.rollback()); }

    int opens = 0;
    bool stuck = false;

private:
    bool Passed(bool bOk)
    {
        if (!bOk)
            setLastError(m_inner.lastError());
        return bOk;
    }
    QSqlDatabase m_inner;
};

} // namespace

class TestUploadSequence : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void committedRowThenUpload_data();
    void committedRowThenUpload();
    void databaseDownAsksUntilItIsBack_data();
    void databaseDownAsksUntilItIsBack();
    void serverRestartedBetweenTwoRecords_data();
    void serverRestartedBetweenTwoRecords();
    void refusedRowIsNotUploaded_data();
    void refusedRowIsNotUploaded();
    void unknownTypeAsksUntilCancel();
    void retryReopensAConnectionThatStillAnswers();
    void commitWithoutAnswerIsNeverGuessed_data();
    void commitWithoutAnswerIsNeverGuessed();
    void commitThatLandsLateIsSettledByTheServer_data();
    void commitThatLandsLateIsSettledByTheServer();
    void lockedTableEndsAtTheBoundAndRetryStoresOnce_data();
    void lockedTableEndsAtTheBoundAndRetryStoresOnce();
    void qpsqlSessionIsBounded();
    void silentServerAfterTheLoginEndsAtTheDeadline_data();
    void silentServerAfterTheLoginEndsAtTheDeadline();

private:
    // The working folder with "ServerInfo.ini" for the driver and the
    // instance made from it (for QPSQL the default connection first).
    CUploadTestData *Start(const QString &strDriver);
    // The same with the database reached through a relay on nPort, as the
    // plain role or (bOperator) as the operator role.
    CUploadTestData *StartThrough(const QString &strDriver, int nPort, bool bOperator);
    void WaitForFtp(CUploadTestData *pUpload);

    std::unique_ptr<CScopedWorkDir> m_workDir;
};

void TestUploadSequence::initTestCase()
{
    QString strError;
    QVERIFY2(LoadPostgres(&strError), qPrintable(strError));
    QVERIFY2(LoadFtp(&strError), qPrintable(strError));
}

void TestUploadSequence::init()
{
    m_workDir = std::make_unique<CScopedWorkDir>();
    ClearFtpRoot();
    ClearFtpCommands();
}

void TestUploadSequence::cleanup()
{
    // psqlODBC takes its port from PGPORT, which a relay may have changed.
    qputenv("PGPORT", Value("PGPORT").toUtf8());
    CTestEnvironment::RealClock();
    CUploadTestData::SetServiceForTest(nullptr);
    RemoveDefault();
    QVERIFY(ResumePostgres());
    m_workDir.reset();
}

CUploadTestData *TestUploadSequence::Start(const QString &strDriver)
{
    SServerInfo info = SServerInfo::Default();
    if (strDriver == QLatin1String("QPSQL")) {
        QString strError;
        if (!OpenQpsqlDefault(&strError))
            qWarning() << "QPSQL:" << strError;
        info.dbType = QLatin1String(kTestRegisteredType);
    }
    WriteServerInfo(info, QDir::currentPath());
    return CUploadTestData::GetInstance();
}

CUploadTestData *TestUploadSequence::StartThrough(const QString &strDriver, int nPort, bool bOperator)
{
    return StartUpload(strDriver, nPort, bOperator);
}

void TestUploadSequence::WaitForFtp(CUploadTestData *pUpload)
{
    QVERIFY(WaitFor([pUpload] { return pUpload->FtpClient()->IsIdle(); }));
}

void TestUploadSequence::committedRowThenUpload_data()
{
    QTest::addColumn<QString>("driver");
    QTest::newRow("QODBC") << "QODBC";
    QTest::newRow("QPSQL") << "QPSQL";
}

void TestUploadSequence::committedRowThenUpload()
{
    QFETCH(QString, driver);
    CModalBoxAnswerer answerer;
    CUploadTestData *pUpload = Start(driver);
    QVERIFY(pUpload);
    CTestRecord record = RunRecord();
    const QString strLog = record.GetLogUrl();

    pUpload->UploadTestData(record);

    // The row holds the path below the working folder, the record the URL.
    QCOMPARE(record.GetLogUrl(), QStringLiteral("ftp://127.0.0.1") + strLog);
    const QList<QVariantList> rows = Rows(record.GetSN());
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().at(11).toString(), strLog);
    WaitForFtp(pUpload);
    QCOMPARE(FtpFile(strLog), record.GetSN().toUtf8());
    QVERIFY(pUpload->FtpClient()->PendingUploads().isEmpty());
    QVERIFY(answerer.boxes.isEmpty());
}

void TestUploadSequence::databaseDownAsksUntilItIsBack_data()
{
    committedRowThenUpload_data();
}

void TestUploadSequence::databaseDownAsksUntilItIsBack()
{
    QFETCH(QString, driver);
    CModalBoxAnswerer answerer;
    CUploadTestData *pUpload = Start(driver);
    QVERIFY(pUpload);
    QVERIFY(PausePostgres());

    // Retry while the server is down asks again; Cancel gives up.
    answerer.Answer(QStringLiteral("Retry"));
    answerer.OnShown([&](const CModalBoxAnswerer::SBox &) {
        answerer.Answer(QStringLiteral("Cancel"));
        QApplication::activeModalWidget()->grab().save(CTestEnvironment::OutputDir() + "/upload-database-box.png");
    });
    CTestRecord first = RunRecord();
    QCOMPARE(pUpload->InsertToDatabase(first), 0);
    QCOMPARE(answerer.boxes.size(), 2);
    const CModalBoxAnswerer::SBox box = answerer.boxes.first();
    QCOMPARE(box.title, QStringLiteral("Error!"));
    QCOMPARE(box.text, QLatin1String(kDatabaseBoxText));
    QCOMPARE(box.buttons, (QStringList{"Retry", "Cancel"}));
    QCOMPARE(box.icon, QStringLiteral("Warning"));

    // Cancel: no row, no upload, a warning that names the log.
    CRunLogCapture log;
    CTestRecord second = RunRecord();
    const QString strSecondLog = second.GetLogUrl();
    pUpload->UploadTestData(second);
    QCOMPARE(answerer.boxes.size(), 3);
    QCOMPARE(second.GetLogUrl(), strSecondLog);
    QVERIFY(pUpload->FtpClient()->PendingUploads().isEmpty());
    QVERIFY(pUpload->FtpClient()->IsIdle());
    QVERIFY(FtpCommands().isEmpty());
    QVERIFY(log.Lines(QtWarningMsg).filter(QStringLiteral("cancelled")).join(QString()).contains(strSecondLog));

    // The server comes back while the box is open: Retry stores the run.
    bool bResumed = false;
    answerer.Answer(QStringLiteral("Retry"));
    answerer.OnShown([&](const CModalBoxAnswerer::SBox &) { bResumed = ResumePostgres(); });
    CTestRecord third = RunRecord();
    pUpload->UploadTestData(third);
    QVERIFY(bResumed);
    QCOMPARE(answerer.boxes.size(), 4);
    QCOMPARE(Rows(third.GetSN()).size(), 1);
    WaitForFtp(pUpload);
    QCOMPARE(FtpFile(third.GetLogUrl().mid(QStringLiteral("ftp://127.0.0.1").size())), third.GetSN().toUtf8());
    QVERIFY(Rows(first.GetSN()).isEmpty());
    QVERIFY(Rows(second.GetSN()).isEmpty());
}

void TestUploadSequence::serverRestartedBetweenTwoRecords_data()
{
    committedRowThenUpload_data();
}

void TestUploadSequence::serverRestartedBetweenTwoRecords()
{
    QFETCH(QString, driver);
    CModalBoxAnswerer answerer;
    CUploadTestData *pUpload = Start(driver);
    QVERIFY(pUpload);
    CTestRecord first = RunRecord();
    QCOMPARE(pUpload->InsertToDatabase(first), 1);

    // The connection the station holds still says open after the restart.
    QVERIFY(PausePostgres());
    QVERIFY(ResumePostgres());
    CRunLogCapture log;
    CTestRecord second = RunRecord();
    pUpload->UploadTestData(second);

    QCOMPARE(Rows(second.GetSN()).size(), 1);
    QVERIFY(answerer.boxes.isEmpty());
    QVERIFY(log.Contains(QStringLiteral("connecting again")));
    WaitForFtp(pUpload);
    QCOMPARE(FtpFile(second.GetLogUrl().mid(QStringLiteral("ftp://127.0.0.1").size())), second.GetSN().toUtf8());
}

void TestUploadSequence::refusedRowIsNotUploaded_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("reason");
    for (const char *szDriver : {"QODBC", "QPSQL"}) {
        QTest::addRow("%s insert refused", szDriver) << szDriver << "CHECK-REFUSED" << "refused_result";
        QTest::addRow("%s commit refused", szDriver) << szDriver << "COMMIT-REFUSED" << "row refused at commit";
    }
}

void TestUploadSequence::refusedRowIsNotUploaded()
{
    QFETCH(QString, driver);
    QFETCH(QString, result);
    QFETCH(QString, reason);
    CModalBoxAnswerer answerer;
    CUploadTestData *pUpload = Start(driver);
    QVERIFY(pUpload);
    const int nBefore = RowCount();

    CTestRecord refused = RunRecord(result);
    QCOMPARE(pUpload->InsertToDatabase(refused), -1);

    CRunLogCapture log;
    CTestRecord again = RunRecord(result);
    const QString strLog = again.GetLogUrl();
    pUpload->UploadTestData(again);
    QCOMPARE(again.GetLogUrl(), strLog);
    QCOMPARE(RowCount(), nBefore);
    QVERIFY(pUpload->FtpClient()->PendingUploads().isEmpty());
    QVERIFY(FtpCommands().isEmpty());
    const QStringList warnings = log.Lines(QtWarningMsg).filter(strLog);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(reason), qPrintable(warnings.first()));
    QVERIFY(answerer.boxes.isEmpty());

    // The connection is usable for the next run.
    CTestRecord next = RunRecord();
    QCOMPARE(pUpload->InsertToDatabase(next), 1);
    QCOMPARE(RowCount(), nBefore + 1);
}

void TestUploadSequence::unknownTypeAsksUntilCancel()
{
    SServerInfo info = SServerInfo::Default();
    info.dbType = QStringLiteral("sql server");
    WriteServerInfo(info, QDir::currentPath());
    CUploadTestData *pUpload = CUploadTestData::GetInstance();
    QVERIFY(pUpload);
    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Retry"));
    answerer.OnShown([&](const CModalBoxAnswerer::SBox &) {
        if (answerer.boxes.size() == 2)
            answerer.Answer(QStringLiteral("Cancel"));
    });
    const int nBefore = RowCount();

    CTestRecord record = RunRecord();
    pUpload->UploadTestData(record);

    QCOMPARE(answerer.boxes.size(), 3);
    QCOMPARE(RowCount(), nBefore);
    QVERIFY(pUpload->FtpClient()->PendingUploads().isEmpty());
    QVERIFY(FtpCommands().isEmpty());
}

void TestUploadSequence::retryReopensAConnectionThatStillAnswers()
{
    const QString strInner = QStringLiteral("stuck-session-inner");
    auto *pDriver = new CStuckSessionDriver(strInner);
    QSqlDatabase db = QSqlDatabase::addDatabase(pDriver);
    const auto removeConnections = qScopeGuard([&] {
        db = QSqlDatabase();
        RemoveDefault();
        QSqlDatabase::removeDatabase(strInner);
    });
    SetUpQpsql(db);
    QVERIFY2(db.open(), qPrintable(db.lastError().text()));
    SServerInfo info = SServerInfo::Default();
    info.dbType = QLatin1String(kTestRegisteredType);
    WriteServerInfo(info, QDir::currentPath());
    CUploadTestData *pUpload = CUploadTestData::GetInstance();
    QVERIFY(pUpload);

    // The handle is open and "select 1" answers, yet the step fails: no
    // reconnection by itself, the box; Retry opens the connection again.
    pDriver->stuck = true;
    QVERIFY(QSqlQuery(db).exec(QStringLiteral("select 1")));
    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Retry"));
    answerer.OnShown([&](const CModalBoxAnswerer::SBox &) { answerer.Answer(QStringLiteral("Cancel")); });
    CTestRecord record = RunRecord();
    QCOMPARE(pUpload->InsertToDatabase(record), 1);

    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes.first().text, QLatin1String(kDatabaseBoxText));
    QCOMPARE(pDriver->opens, 2);
    QCOMPARE(Rows(record.GetSN()).size(), 1);
}

void TestUploadSequence::commitWithoutAnswerIsNeverGuessed_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<int>("commit");      // what the relay does with the run's COMMIT
    QTest::addColumn<bool>("select");     // the station's role may read the table
    QTest::addColumn<bool>("word");       // the server says what became of a transaction
    QTest::addColumn<QString>("answer");  // to the box, if one comes
    QTest::addColumn<QString>("outcome"); // as the station learns it before the box
    const int nHold = int(CPostgresRelay::ECommit::HoldAnswer);
    const int nSwallow = int(CPostgresRelay::ECommit::Swallow);
    for (const char *szDriver : {"QODBC", "QPSQL"}) {
        QTest::addRow("%s answer held, the row is found", szDriver)
            << szDriver << nHold << true << false << "Retry" << "stored";
        QTest::addRow("%s answer held, no look-up, Retry", szDriver)
            << szDriver << nHold << false << false << "Retry" << "unknown";
        QTest::addRow("%s answer held, no look-up, Cancel", szDriver)
            << szDriver << nHold << false << false << "Cancel" << "unknown";
        QTest::addRow("%s answer held, the server's word", szDriver)
            << szDriver << nHold << false << true << "Retry" << "stored";
        QTest::addRow("%s commit never reaches the server, Retry", szDriver)
            << szDriver << nSwallow << true << true << "Retry" << "not stored";
        QTest::addRow("%s commit never reaches the server, the server's word alone", szDriver)
            << szDriver << nSwallow << false << true << "Retry" << "not stored";
        QTest::addRow("%s connection lost after the COMMIT, the row is found", szDriver)
            << szDriver << int(CPostgresRelay::ECommit::Drop) << true << false << "Retry" << "stored";
    }
}

// The run's COMMIT goes to the server (or is lost on the way) and no answer
// comes within the deadline, or its connection is lost before the answer. The station never calls it rolled back: it
// learns the outcome, from the late answer or from the run's row, before the
// box and again at Retry. A stored run is never inserted twice and its log
// goes (now, or at the next upload); one that is not stored is inserted once
// at Retry; Cancel says what is known.
void TestUploadSequence::commitWithoutAnswerIsNeverGuessed()
{
    QFETCH(QString, driver);
    QFETCH(int, commit);
    QFETCH(bool, select);
    QFETCH(bool, word);
    QFETCH(QString, answer);
    QFETCH(QString, outcome);
    CServerWithoutWord withoutWord(!word);
    QVERIFY(withoutWord.bOk);
    CTestEnvironment::FastClock(0.2); // a bound of 1 s, a deadline of 2 s
    CPostgresRelay relay(Value("PGPORT").toInt());
    QVERIFY(relay.Port() > 0);
    // Held far past the deadline unless the test lets it go.
    relay.OnCommit(1, CPostgresRelay::ECommit(commit), 60000);
    const QString strOperator = Value("PG_OP_USER");
    const auto regrant = qScopeGuard(
        [&] { RunAsOwner(QStringLiteral("grant select on touchtestrecord to \"%1\"").arg(strOperator)); });
    if (!select)
        QVERIFY(RunAsOwner(QStringLiteral("revoke select on touchtestrecord from \"%1\"").arg(strOperator)));
    CUploadTestData *pUpload = StartThrough(driver, relay.Port(), true);
    QVERIFY(pUpload);

    CModalBoxAnswerer answerer;
    answerer.Answer(answer);
    CTestRecord record = RunRecord();
    const QString strLog = record.GetLogUrl();
    bool bListedAtTheBox = false;
    answerer.OnShown([&](const CModalBoxAnswerer::SBox &) {
        const CPendingLogs::SEntry *pEntry = pUpload->PendingLogs().Find(strLog);
        bListedAtTheBox = pEntry && pEntry->state == CPendingLogs::EState::RowUnknown;
        if (outcome == QLatin1String("unknown"))
            QApplication::activeModalWidget()->grab().save(CTestEnvironment::OutputDir()
                                                           + "/upload-database-unknown-box.png");
        // The late answer comes while the box is up.
        if (answer == QLatin1String("Retry"))
            relay.Release();
        answerer.Answer(QStringLiteral("Cancel"));
    });
    CRunLogCapture log;
    pUpload->UploadTestData(record);

    const QStringList warnings = log.Lines(QtWarningMsg).filter(strLog);
    QCOMPARE(warnings.filter(QStringLiteral("whether the run is stored is not known yet")).size(), 1);
    QCOMPARE(warnings.filter(QStringLiteral("Database commit did not end within")).size(),
             commit == int(CPostgresRelay::ECommit::Drop) ? 0 : 1);
    for (const QString &strWarning : warnings)
        QVERIFY2(!strWarning.contains(QLatin1String("rolled back")), qPrintable(strWarning));
    if (outcome == QLatin1String("stored")) {
        QVERIFY(answerer.boxes.isEmpty());
    } else {
        QCOMPARE(answerer.boxes.size(), 1);
        // While it is unknown the box says so.
        QCOMPARE(answerer.boxes.first().text,
                 QLatin1String(outcome == QLatin1String("unknown") ? kUnknownBoxText : kDatabaseBoxText));
        QVERIFY(bListedAtTheBox);
    }
    if (outcome == QLatin1String("unknown"))
        QVERIFY2(!warnings.filter(QStringLiteral("outcome unknown")).isEmpty(), qPrintable(warnings.join('\n')));
    if (outcome == QLatin1String("not stored"))
        QCOMPARE(warnings
                     .filter(select ? QStringLiteral("the run is not stored (no row")
                                    : QStringLiteral("the run is not stored (the server says its transaction is aborted"))
                     .size(),
                 1);

    // The held answer goes now at the latest, and the abandoned commit ends.
    relay.Release();
    QVERIFY(WaitFor([] { return CDatabaseSession::AbandonedRunning() == 0; }, 30000));
    if (answer == QLatin1String("Cancel")) {
        // Cancel said what is known, and kept the log listed.
        QVERIFY2(warnings.filter(QStringLiteral("cancelled")).join(QString()).contains(QLatin1String("is unknown")),
                 qPrintable(warnings.join('\n')));
        QVERIFY2(warnings.filter(QStringLiteral("not stored")).isEmpty(), qPrintable(warnings.join('\n')));
        const CPendingLogs::SEntry *pEntry = pUpload->PendingLogs().Find(strLog);
        QVERIFY(pEntry && pEntry->state == CPendingLogs::EState::RowUnknown);
        QVERIFY(FtpCommands().isEmpty());
        // The next upload settles it: the run is stored, its log goes.
        CTestRecord next = RunRecord();
        pUpload->UploadTestData(next);
        QCOMPARE(Rows(next.GetSN()).size(), 1);
        WaitForFtp(pUpload);
        QCOMPARE(FtpFile(next.GetLogUrl().mid(QStringLiteral("ftp://127.0.0.1").size())), next.GetSN().toUtf8());
    }
    QCOMPARE(Rows(record.GetSN()).size(), 1);
    WaitForFtp(pUpload);
    QCOMPARE(FtpFile(strLog), record.GetSN().toUtf8());
    QVERIFY(pUpload->PendingLogs().IsEmpty());
    QVERIFY(!QFileInfo::exists(QLatin1String(CPendingLogs::kFileName)));
}

void TestUploadSequence::commitThatLandsLateIsSettledByTheServer_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<bool>("standby"); // else the relay delivers the COMMIT late
    for (const char *szDriver : {"QODBC", "QPSQL"}) {
        QTest::addRow("%s COMMIT delivered late", szDriver) << szDriver << false;
        QTest::addRow("%s synchronous standby away", szDriver) << szDriver << true;
    }
}

// The run's COMMIT gets no answer in time and can still land: it reaches
// the server late (a stalled link), or the server holds it for a
// synchronous standby that is away (no bound of the server ends either).
// The station takes the server's word: a commit waiting for the standby is
// committed (its log goes, though the row shows only once the wait ends);
// a COMMIT not taken up yet has its session ended, after which the run is
// not stored for sure and Retry stores it once. Another station's row with
// the same log path is never taken for this run's. One row, the log sent
// whole once, nothing left listed, and nothing that calls the run not
// stored while it could still land.
void TestUploadSequence::commitThatLandsLateIsSettledByTheServer()
{
    QFETCH(QString, driver);
    QFETCH(bool, standby);
    CTestEnvironment::FastClock(0.2); // a bound of 1 s, a deadline of 2 s
    CTestRecord record = RunRecord();
    record.SetHostMac(QStringLiteral("00:1A:2B:3C:4D:5E"));
    const QString strLog = record.GetLogUrl();
    // Another station's run, filed under the same path.
    CTestRecord other = RunRecordOf(QStringLiteral("other-") + record.GetSN());
    other.SetHostMac(QStringLiteral("66:77:88:99:AA:BB"));
    other.SetLogUrl(strLog);
    {
        QSqlDatabase owner = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("upload_other"));
        SetUpQpsql(owner);
        QVERIFY(owner.open());
        QVERIFY(other.InsertIntoTable(owner, QStringLiteral("TouchTestRecord")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("upload_other"));
    QCOMPARE(Rows(other.GetSN()).size(), 1);
    const auto standbyBack = qScopeGuard([] { SetStandbyAway(false); });
    if (standby)
        QVERIFY(SetStandbyAway(true));
    CPostgresRelay relay(Value("PGPORT").toInt());
    QVERIFY(relay.Port() > 0);
    if (!standby)
        relay.OnCommit(1, CPostgresRelay::ECommit::Delay, 60000);
    CUploadTestData *pUpload = StartThrough(driver, relay.Port(), true);
    QVERIFY(pUpload);

    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Retry"));
    answerer.OnShown([&](const CModalBoxAnswerer::SBox &) { answerer.Answer(QStringLiteral("Cancel")); });
    CRunLogCapture log;
    pUpload->UploadTestData(record);

    const QStringList warnings = log.Lines(QtWarningMsg).filter(strLog);
    QCOMPARE(warnings.filter(QStringLiteral("whether the run is stored is not known yet")).size(), 1);
    if (standby) {
        // Stored on the server's word while its row does not show yet.
        QVERIFY2(answerer.boxes.isEmpty(), qPrintable(warnings.join('\n')));
        QVERIFY2(log.Contains(QStringLiteral("the run is stored (the server says its transaction is committed)")),
                 qPrintable(log.Lines().join('\n')));
        QVERIFY2(warnings.filter(QStringLiteral("not stored")).isEmpty(), qPrintable(warnings.join('\n')));
        QVERIFY(Rows(record.GetSN()).isEmpty());
        QCOMPARE(CommitsWaitingForStandby(Value("PG_OP_USER")), 1);
        QVERIFY(SetStandbyAway(false));
    } else {
        // Its own session ended, the COMMIT can no longer land: not stored,
        // and Retry stored it once.
        QCOMPARE(answerer.boxes.size(), 1);
        QCOMPARE(answerer.boxes.first().text, QLatin1String(kDatabaseBoxText));
        QCOMPARE(warnings.filter(QStringLiteral("the run is not stored (no row of it is on the server)")).size(), 1);
        // The late COMMIT now reaches a session that is gone.
        relay.Release();
        QVERIFY(WaitFor([&relay] { return relay.Held() == 0; }, 30000));
    }
    QVERIFY(WaitFor([] { return CDatabaseSession::AbandonedRunning() == 0; }, 30000));
    QCOMPARE(Rows(record.GetSN()).size(), 1);
    QCOMPARE(Rows(record.GetSN()).first().at(9).toString(), record.GetHostMac());
    QCOMPARE(Rows(other.GetSN()).size(), 1);
    WaitForFtp(pUpload);
    QCOMPARE(FtpFile(strLog), record.GetSN().toUtf8());
    QCOMPARE(FtpTransfers().filter(strLog).size(), 1);
    QVERIFY(pUpload->PendingLogs().IsEmpty());
    QVERIFY(!QFileInfo::exists(QLatin1String(CPendingLogs::kFileName)));
}

void TestUploadSequence::lockedTableEndsAtTheBoundAndRetryStoresOnce_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("lock"); // taken by another session
    QTest::addColumn<QString>("step"); // the one that runs out of its bound
    for (const char *szDriver : {"QODBC", "QPSQL"}) {
        QTest::addRow("%s insert waits for a table lock", szDriver)
            << szDriver << "PASS" << "lock table touchtestrecord in exclusive mode" << "insert";
        // The row's deferred trigger takes the lock when it is committed;
        // through ODBC the bounded checks before the commit run it.
        QTest::addRow("%s commit waits for a lock", szDriver)
            << szDriver << "COMMIT-WAITS" << "select pg_advisory_xact_lock(4711)"
            << (qstrcmp(szDriver, "QODBC") == 0 ? "deferred checks" : "commit");
    }
}

// Another session holds a lock the run's row needs: the server ends the
// step when its bound runs out (while the lock is still held; the warning
// names the server's own time-out, not the station's deadline), rolled
// back, with the Retry/Cancel box; Retry after the lock is gone stores the
// row, once.
void TestUploadSequence::lockedTableEndsAtTheBoundAndRetryStoresOnce()
{
    QFETCH(QString, driver);
    QFETCH(QString, result);
    QFETCH(QString, lock);
    QFETCH(QString, step);
    CTestEnvironment::FastClock(0.2); // a bound of 1 s
    CUploadTestData *pUpload = Start(driver);
    QVERIFY(pUpload);

    const QString strLocker = QStringLiteral("upload-locker");
    const auto removeLocker = qScopeGuard([&] { QSqlDatabase::removeDatabase(strLocker); });
    {
        QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), strLocker);
        SetUpQpsql(locker);
        QVERIFY2(locker.open(), qPrintable(locker.lastError().text()));
        QSqlQuery query(locker);
        // Should the step not end by itself, the server ends the lock.
        QVERIFY(query.exec(QStringLiteral("set idle_in_transaction_session_timeout = '30s'")));
        QVERIFY(locker.transaction());
        QVERIFY2(query.exec(lock), qPrintable(query.lastError().text()));
    }

    CModalBoxAnswerer answerer;
    bool bHeldAtTheBox = false;
    answerer.Answer(QStringLiteral("Retry"));
    answerer.OnShown([&](const CModalBoxAnswerer::SBox &) {
        QSqlDatabase locker = QSqlDatabase::database(strLocker, false);
        bHeldAtTheBox = QSqlQuery(locker).exec(QStringLiteral("select 1"));
        locker.rollback();
        locker.close();
        answerer.Answer(QStringLiteral("Cancel"));
    });
    CRunLogCapture log;
    CTestRecord record = RunRecord(result);
    const QString strLog = record.GetLogUrl();
    pUpload->UploadTestData(record);

    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes.first().text, QLatin1String(kDatabaseBoxText));
    QVERIFY(bHeldAtTheBox);
    const QStringList expired = log.Lines(QtWarningMsg).filter(QStringLiteral("did not end within"));
    QCOMPARE(expired.size(), 1);
    QVERIFY2(expired.first().startsWith(QStringLiteral("Database %1 ").arg(step)), qPrintable(expired.first()));
    QVERIFY2(expired.first().contains(strLog), qPrintable(expired.first()));
    QVERIFY2(expired.first().contains(QLatin1String("rolled back")), qPrintable(expired.first()));
    // The server's bound ended it: psqlODBC's query time-out (the server's
    // cancel, or the driver's), QPSQL's session time-outs.
    const QStringList serverStates = driver == QLatin1String("QODBC")
                                         ? QStringList{QStringLiteral("SQLSTATE 57014"), QStringLiteral("HYT00")}
                                         : QStringList{QStringLiteral("SQLSTATE 57014"), QStringLiteral("SQLSTATE 55P03")};
    QVERIFY2(std::any_of(serverStates.begin(), serverStates.end(),
                         [&](const QString &strState) { return expired.first().contains(strState); }),
             qPrintable(expired.first()));
    QCOMPARE(Rows(record.GetSN()).size(), 1);
    WaitForFtp(pUpload);
    QCOMPARE(FtpFile(record.GetLogUrl().mid(QStringLiteral("ftp://127.0.0.1").size())), record.GetSN().toUtf8());
}

// The station bounds whatever QPSQL connection it is given as the default
// one: its session takes the bound, given once, from the next open on.
void TestUploadSequence::qpsqlSessionIsBounded()
{
    CTestEnvironment::FastClock(0.2);
    CUploadTestData *pUpload = Start(QStringLiteral("QPSQL"));
    QVERIFY(pUpload);
    CTestRecord record = RunRecord();
    QCOMPARE(pUpload->InsertToDatabase(record), 1);

    QSqlDatabase db = QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
    const QString strOptions = db.connectOptions();
    QCOMPARE(strOptions, CSqlDatabase::LoginTimeoutOption(QStringLiteral("QPSQL"))
                             + QStringLiteral(";options='-c statement_timeout=1000 -c lock_timeout=1000'"));
    CTestRecord next = RunRecord();
    QCOMPARE(pUpload->InsertToDatabase(next), 1);
    QCOMPARE(db.connectOptions(), strOptions);
    QCOMPARE(Rows(next.GetSN()).size(), 1);

    // With the real bound the session says so itself.
    CTestEnvironment::RealClock();
    QVERIFY(CSqlDatabase::BoundSession(db));
    QVERIFY(db.open());
    for (const char *szSetting : {"statement_timeout", "lock_timeout"}) {
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("show ") + QLatin1String(szSetting)));
        QVERIFY(query.next());
        QCOMPARE(query.value(0).toString(), QStringLiteral("5s"));
    }
}

void TestUploadSequence::silentServerAfterTheLoginEndsAtTheDeadline_data()
{
    committedRowThenUpload_data();
}

// A server that stops answering once the session is up (no server-side
// bound can end a statement then): the station gives up on the statement at
// its deadline, with the box, and never uses that connection again; Retry
// stores the row through a new one, once.
void TestUploadSequence::silentServerAfterTheLoginEndsAtTheDeadline()
{
    QFETCH(QString, driver);
    CTestEnvironment::FastClock(0.2);
    auto relay = std::make_unique<CPostgresRelay>(Value("PGPORT").toInt());
    QVERIFY(relay->Port() > 0);
    CUploadTestData *pUpload = StartThrough(driver, relay->Port(), false);
    QVERIFY(pUpload);
    CTestRecord first = RunRecord();
    QCOMPARE(pUpload->InsertToDatabase(first), 1);

    // Every connection up now goes silent (for 30 s at most: should the
    // statement not end by itself, it fails then).
    relay->Silence(30000);
    CModalBoxAnswerer answerer;
    int nAbandonedAtTheBox = -1;
    answerer.Answer(QStringLiteral("Retry"));
    answerer.OnShown([&](const CModalBoxAnswerer::SBox &) {
        nAbandonedAtTheBox = CDatabaseSession::AbandonedRunning();
        answerer.Answer(QStringLiteral("Cancel"));
    });
    CRunLogCapture log;
    CTestRecord record = RunRecord();
    QCOMPARE(pUpload->InsertToDatabase(record), 1);

    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes.first().text, QLatin1String(kDatabaseBoxText));
    QCOMPARE(nAbandonedAtTheBox, 1); // still held by the silent server
    const QStringList expired = log.Lines(QtWarningMsg).filter(QStringLiteral("did not end within"));
    QCOMPARE(expired.size(), 1);
    QVERIFY2(expired.first().contains(QLatin1String("no answer")), qPrintable(expired.first()));
    QCOMPARE(Rows(record.GetSN()).size(), 1);

    // The silent connection goes: the abandoned statement ends, and its
    // transaction with it.
    relay.reset();
    QVERIFY(WaitFor([] { return CDatabaseSession::AbandonedRunning() == 0; }));
    QCOMPARE(Rows(record.GetSN()).size(), 1);
    QCOMPARE(Rows(first.GetSN()).size(), 1);
}

STATION_TEST_MAIN(TestUploadSequence)
#include "tst_uploadsequence.moc"
