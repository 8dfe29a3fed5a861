// The upload of one run: the row in a transaction, and only after the
// commit the log by FTP; the Retry/Cancel box while the database cannot be
// used; a server restarted behind an open connection; inserts and commits
// the server refuses. Real PostgreSQL and FTP servers on 127.0.0.1, the
// database reached through QODBC as the station does and through QPSQL.

#include "databasesession.h"
#include "ftpclient.h"
#include "modalboxanswerer.h"
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
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace UploadServers;
using StationTest::WaitFor;

namespace {

const char *const kDatabaseBoxText =
    "Connect to DataBase server error, please check the internet and retry or contact the IT department...";

// Database/Type for the QPSQL runs: not one the station knows, so it
// registers nothing and the test's own QPSQL connection is the default one.
const char *const kTestRegisteredType = "POSTGRESQL (registered by the test)";

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

// Forwards connections on 127.0.0.1 to a server port, on a thread of its
// own, until Silence(): from then on the connections it carries pass nothing
// more (they stay open, for nMs at most), while new ones are forwarded as
// before. Destroying it closes every connection.
class CSilencingRelay
{
public:
    explicit CSilencingRelay(int nTargetPort)
        : m_nTargetPort(nTargetPort)
    {
        m_nListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t nLength = sizeof(address);
        if (m_nListen < 0 || ::bind(m_nListen, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0
            || ::listen(m_nListen, 8) != 0
            || ::getsockname(m_nListen, reinterpret_cast<sockaddr *>(&address), &nLength) != 0
            || ::pipe2(m_wake, O_CLOEXEC) != 0)
            return;
        m_nPort = ntohs(address.sin_port);
        m_thread = std::thread([this] { Loop(); });
    }
    ~CSilencingRelay()
    {
        m_bStop = true;
        Wake();
        if (m_thread.joinable())
            m_thread.join();
        for (const SPair &pair : m_pairs) {
            ::close(pair.nClient);
            ::close(pair.nServer);
        }
        for (int nFd : {m_nListen, m_wake[0], m_wake[1]}) {
            if (nFd >= 0)
                ::close(nFd);
        }
    }
    CSilencingRelay(const CSilencingRelay &) = delete;
    CSilencingRelay &operator=(const CSilencingRelay &) = delete;

    int Port() const { return m_nPort; }
    void Silence(int nMs)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_nSilenceMs = nMs;
            m_bSilenceAsked = true;
        }
        Wake();
    }

private:
    struct SPair
    {
        int nClient;
        int nServer;
        bool bSilent;
    };

    void Wake()
    {
        if (m_wake[1] >= 0)
            (void)!::write(m_wake[1], "x", 1);
    }

    int ConnectTarget() const
    {
        const int nFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(quint16(m_nTargetPort));
        if (nFd >= 0 && ::connect(nFd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0)
            return nFd;
        if (nFd >= 0)
            ::close(nFd);
        return -1;
    }

    // Moves what nFrom has to nTo; false when either side is done.
    static bool Forward(int nFrom, int nTo)
    {
        char buffer[16384];
        const ssize_t nRead = ::read(nFrom, buffer, sizeof(buffer));
        if (nRead <= 0)
            return false;
        for (ssize_t nDone = 0; nDone < nRead;) {
            const ssize_t nWritten = ::write(nTo, buffer + nDone, size_t(nRead - nDone));
            if (nWritten <= 0)
                return false;
            nDone += nWritten;
        }
        return true;
    }

    void Loop()
    {
        QElapsedTimer silentFor;
        int nSilenceMs = 0;
        while (!m_bStop) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                nSilenceMs = m_nSilenceMs;
                if (m_bSilenceAsked) {
                    m_bSilenceAsked = false;
                    for (SPair &pair : m_pairs)
                        pair.bSilent = true;
                    silentFor.start();
                }
            }
            // The bound of the silence: the silent connections are closed.
            if (silentFor.isValid() && silentFor.elapsed() > nSilenceMs) {
                for (auto it = m_pairs.begin(); it != m_pairs.end();) {
                    if (it->bSilent) {
                        ::close(it->nClient);
                        ::close(it->nServer);
                        it = m_pairs.erase(it);
                    } else {
                        ++it;
                    }
                }
                silentFor.invalidate();
            }
            std::vector<pollfd> fds{{m_nListen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
            std::vector<size_t> owners{0, 0};
            for (size_t i = 0; i < m_pairs.size(); ++i) {
                if (m_pairs[i].bSilent)
                    continue;
                fds.push_back({m_pairs[i].nClient, POLLIN, 0});
                owners.push_back(i);
                fds.push_back({m_pairs[i].nServer, POLLIN, 0});
                owners.push_back(i);
            }
            if (::poll(fds.data(), fds.size(), 50) <= 0)
                continue;
            if (fds[1].revents) {
                char drain[64];
                (void)!::read(m_wake[0], drain, sizeof(drain));
            }
            std::vector<size_t> done;
            for (size_t i = 2; i < fds.size(); ++i) {
                if (!fds[i].revents)
                    continue;
                const SPair &pair = m_pairs[owners[i]];
                const bool bFromClient = fds[i].fd == pair.nClient;
                if (!Forward(fds[i].fd, bFromClient ? pair.nServer : pair.nClient))
                    done.push_back(owners[i]);
            }
            std::sort(done.begin(), done.end());
            done.erase(std::unique(done.begin(), done.end()), done.end());
            for (auto it = done.rbegin(); it != done.rend(); ++it) {
                ::close(m_pairs[*it].nClient);
                ::close(m_pairs[*it].nServer);
                m_pairs.erase(m_pairs.begin() + long(*it));
            }
            if (fds[0].revents & POLLIN) {
                const int nClient = ::accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
                const int nServer = nClient >= 0 ? ConnectTarget() : -1;
                if (nServer >= 0)
                    m_pairs.push_back({nClient, nServer, false});
                else if (nClient >= 0)
                    ::close(nClient);
            }
        }
    }

    int m_nTargetPort;
    int m_nListen = -1;
    int m_nPort = 0;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_bStop{false};
    std::mutex m_mutex;
    bool m_bSilenceAsked = false;
    int m_nSilenceMs = 0;
    std::vector<SPair> m_pairs; // the relay thread's own
    std::thread m_thread;
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
    void lockedTableEndsAtTheBoundAndRetryStoresOnce_data();
    void lockedTableEndsAtTheBoundAndRetryStoresOnce();
    void qpsqlSessionIsBounded();
    void silentServerAfterTheLoginEndsAtTheDeadline_data();
    void silentServerAfterTheLoginEndsAtTheDeadline();

private:
    // The working folder with "ServerInfo.ini" for the driver and the
    // instance made from it (for QPSQL the default connection first).
    CUploadTestData *Start(const QString &strDriver);
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

void TestUploadSequence::lockedTableEndsAtTheBoundAndRetryStoresOnce_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("lock"); // taken by another session
    QTest::addColumn<QString>("step"); // the one that runs out of its bound
    for (const char *szDriver : {"QODBC", "QPSQL"}) {
        QTest::addRow("%s insert waits for a table lock", szDriver)
            << szDriver << "PASS" << "lock table touchtestrecord in exclusive mode" << "insert";
        // The row's deferred trigger takes the lock when it is committed.
        QTest::addRow("%s commit waits for a lock", szDriver)
            << szDriver << "COMMIT-WAITS" << "select pg_advisory_xact_lock(4711)" << "commit";
    }
}

// Another session holds a lock the run's row needs: the step ends when its
// bound runs out (while the lock is still held), rolled back, with a
// warning and the Retry/Cancel box; Retry after the lock is gone stores the
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
    auto relay = std::make_unique<CSilencingRelay>(Value("PGPORT").toInt());
    QVERIFY(relay->Port() > 0);
    const QByteArray oldPort = qgetenv("PGPORT");
    const auto restorePort = qScopeGuard([&] { qputenv("PGPORT", oldPort); });
    // psqlODBC takes its port from PGPORT.
    qputenv("PGPORT", QByteArray::number(relay->Port()));
    SServerInfo info = SServerInfo::Default();
    info.dbPort = QString::number(relay->Port());
    if (driver == QLatin1String("QPSQL")) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"));
        SetUpQpsql(db);
        db.setPort(relay->Port());
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        info.dbType = QLatin1String(kTestRegisteredType);
    }
    WriteServerInfo(info, QDir::currentPath());
    CUploadTestData *pUpload = CUploadTestData::GetInstance();
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
