#include "databasesession.h"

#include "sqldatabase.h"
#include "stationclock.h"
#include "testrecord.h"
#include "workthread.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QtDebug>

#include <algorithm>
#include <climits>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {

QSqlDatabase DefaultConnection()
{
    return QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
}

// Whether the statements can go to a connection of their own: one of a
// driver that can be made again by its name.
bool TakesWorker(const QSqlDatabase &db)
{
    return db.isValid() && !db.driverName().isEmpty() && QSqlDatabase::isDriverAvailable(db.driverName());
}

struct SSettings
{
    QString strDriver;
    QString strHost;
    int nPort = -1;
    QString strDatabase;
    QString strUser;
    QString strPassword;
    QString strOptions;
};

SSettings SettingsOf(const QSqlDatabase &db)
{
    SSettings settings;
    settings.strDriver = db.driverName();
    settings.strHost = db.hostName();
    settings.nPort = db.port();
    settings.strDatabase = db.databaseName();
    settings.strUser = db.userName();
    settings.strPassword = db.password();
    settings.strOptions = db.connectOptions();
    return settings;
}

// Runs strStatement, bounded; false with the failure in out.
bool Exec(QSqlQuery &query, const QString &strStatement, CDatabaseSession::SOutcome &out)
{
    bool bOk = query.prepare(strStatement);
    if (bOk) {
        out.bBounded = CSqlDatabase::BoundStatement(query);
        bOk = query.exec();
    }
    if (!bOk) {
        out.bOk = false;
        out.error = query.lastError();
        out.strSqlState = CSqlDatabase::SqlState(query);
    }
    return bOk;
}

// The first row's first value of strStatement as a whole number.
bool ReadNumber(QSqlDatabase &db, const QString &strStatement, qint64 *pValue, CDatabaseSession::SOutcome &out)
{
    QSqlQuery query(db);
    if (!Exec(query, strStatement, out))
        return false;
    bool bNumber = false;
    if (query.next())
        *pValue = query.value(0).toLongLong(&bNumber);
    if (!bNumber) {
        out.bOk = false;
        out.error = QSqlError(QStringLiteral("\"%1\" gave no number").arg(strStatement), QString(),
                              QSqlError::StatementError);
    }
    return bNumber;
}

// The server's names and this session's, as a PostgreSQL server gives them.
// False when they were not read: out.bOk false for a statement that failed
// (its transaction is then aborted), true for names the server did not give
// (no row of this session, a value out of range).
bool ReadServerNames(QSqlDatabase &db, CCommitWitness *pWitness, CDatabaseSession::SOutcome &out)
{
    QSqlQuery query(db);
    if (!Exec(query,
              QStringLiteral("select host(inet_server_addr()), inet_server_port(), current_database(), pid, "
                             "(extract(epoch from backend_start) * 1000000)::bigint from pg_stat_activity where "
                             "pid = pg_backend_pid()"),
              out))
        return false;
    bool bPort = true;
    bool bPid = false;
    bool bStart = false;
    if (query.next()) {
        pWitness->strHost = query.value(0).toString();
        pWitness->nPort = query.value(1).isNull() ? 0 : query.value(1).toInt(&bPort);
        pWitness->strDatabase = query.value(2).toString();
        pWitness->nPid = query.value(3).toLongLong(&bPid);
        pWitness->nSessionStartUs = query.value(4).toLongLong(&bStart);
    }
    if (!bPort || !bPid || !bStart || pWitness->nPort < 0 || pWitness->nPort > 65535 || pWitness->nPid <= 0
        || pWitness->nPid > INT_MAX || pWitness->nSessionStartUs <= 0 || pWitness->strDatabase.isEmpty()
        || pWitness->strDatabase.size() > 63 || pWitness->strHost.size() > 255) {
        out.bOk = true;
        out.error = QSqlError(QStringLiteral("the server did not name itself and this session"), QString(),
                              QSqlError::StatementError);
        return false;
    }
    // The cluster's own name, where the role may read it (the check keeps
    // a refusal from failing the transaction).
    qint64 nMay = 0;
    if (!ReadNumber(db,
                    QStringLiteral("select case when has_function_privilege('pg_control_system()', 'execute') "
                                   "then 1 else 0 end"),
                    &nMay, out))
        return false;
    if (nMay == 1) {
        qint64 nSystemId = 0;
        if (!ReadNumber(db, QStringLiteral("select system_identifier from pg_control_system()"), &nSystemId, out))
            return false;
        pWitness->strSystemId = QString::number(nSystemId);
    }
    out.bOk = true;
    return true;
}

// txid_status of nTxid into out.strText: "committed", "aborted",
// "in progress", or a null text when the server no longer knows the id.
bool ReadStatus(QSqlDatabase &db, qint64 nTxid, CDatabaseSession::SOutcome &out)
{
    QSqlQuery query(db);
    if (!Exec(query, QStringLiteral("select txid_status(%1)").arg(nTxid), out))
        return false;
    if (!query.next()) {
        out.bOk = false;
        out.error = QSqlError(QStringLiteral("txid_status gave no row"), QString(), QSqlError::StatementError);
        return false;
    }
    const QVariant value = query.value(0);
    out.strText = value.isNull() ? QString() : value.toString();
    out.bOk = true;
    return true;
}

} // namespace

// One thread with its own connection, running one statement at a time.
struct CDatabaseSession::SWorker
{
    explicit SWorker(const SSettings &settingsIn)
        : settings(settingsIn)
    {
        static int s_nWorkers = 0;
        strName = QStringLiteral("upload-statements-%1").arg(++s_nWorkers);
        thread = std::make_unique<CWorkThread>(&SWorker::Loop, this);
        thread->Start(false);
    }

    ~SWorker()
    {
        Stop();
        thread.reset();
    }

    void Stop()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            bStop = true;
        }
        cv.notify_all();
    }

    // False when the step did not end within nDeadlineMs.
    bool Run(const Step &stepIn, int nDeadlineMs, SOutcome *pOutcome)
    {
        std::unique_lock<std::mutex> lock(mutex);
        step = stepIn;
        bHasStep = true;
        bDone = false;
        bTaken = false;
        cv.notify_all();
        if (!cv.wait_for(lock, std::chrono::milliseconds(nDeadlineMs), [this] { return bDone; }))
            return false;
        *pOutcome = outcome;
        return true;
    }

    static void Loop(void *pArg) { static_cast<SWorker *>(pArg)->Serve(); }

    void Serve()
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(settings.strDriver, strName);
            db.setHostName(settings.strHost);
            db.setPort(settings.nPort);
            db.setDatabaseName(settings.strDatabase);
            db.setUserName(settings.strUser);
            db.setPassword(settings.strPassword);
            db.setConnectOptions(settings.strOptions);
            for (;;) {
                Step next;
                {
                    std::unique_lock<std::mutex> lock(mutex);
                    cv.wait(lock, [this] { return bStop || bHasStep; });
                    if (bStop)
                        break;
                    next = std::move(step);
                    bHasStep = false;
                    bTaken = true;
                    nStepStartMs = CStationClock::NowMs();
                }
                const qint64 nStart = nStepStartMs;
                SOutcome result;
                next(db, result);
                result.nElapsedMs = CStationClock::NowMs() - nStart;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    outcome = result;
                    bDone = true;
                }
                cv.notify_all();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(strName);
    }

    const SSettings settings;
    QString strName;
    std::mutex mutex;
    std::condition_variable cv;
    Step step;
    bool bHasStep = false;
    bool bDone = false;
    bool bStop = false;
    // The last step was taken up (at nStepStartMs); a step still waiting
    // when the worker is stopped is never run.
    bool bTaken = false;
    qint64 nStepStartMs = 0;
    SOutcome outcome;
    std::unique_ptr<CWorkThread> thread;
};

// Workers whose statement overran, kept until their thread has ended. Never
// destroyed: one still waiting for its server when the program ends goes
// with the process.
std::vector<std::shared_ptr<CDatabaseSession::SWorker>> &CDatabaseSession::Abandoned()
{
    static auto *s_pAbandoned = new std::vector<std::shared_ptr<SWorker>>();
    return *s_pAbandoned;
}

bool CDatabaseSession::SOutcome::Expired() const
{
    return bOverran || CSqlDatabase::IsExpiry(strSqlState, nElapsedMs);
}

CDatabaseSession::CDatabaseSession() = default;

CDatabaseSession::~CDatabaseSession()
{
    Close();
}

int CDatabaseSession::StatementDeadlineMs()
{
    // The server's bound (ODBC counts it in whole seconds) and a little more
    // for its answer to come.
    const int nBound = CSqlDatabase::StatementBoundMs();
    return (nBound + 999) / 1000 * 1000 + std::min(nBound, 1000);
}

int CDatabaseSession::OpenDeadlineMs()
{
    return CSqlDatabase::kLoginTimeoutS * 1000 + std::min(CSqlDatabase::StatementBoundMs(), 1000);
}

int CDatabaseSession::AbandonedRunning()
{
    auto &abandoned = Abandoned();
    abandoned.erase(std::remove_if(abandoned.begin(), abandoned.end(),
                                   [](const std::shared_ptr<SWorker> &worker) {
                                       return worker->thread->isFinished();
                                   }),
                    abandoned.end());
    return int(abandoned.size());
}

CDatabaseSession::SOutcome CDatabaseSession::Run(const Step &step, int nDeadlineMs, bool bStartsWorker)
{
    AbandonedRunning();
    SOutcome outcome;
    QSqlDatabase db = DefaultConnection();
    if (!TakesWorker(db)) {
        m_worker.reset();
        const qint64 nStart = CStationClock::NowMs();
        step(db, outcome);
        outcome.nElapsedMs = CStationClock::NowMs() - nStart;
        return outcome;
    }
    if (!m_worker) {
        if (!bStartsWorker)
            return outcome;
        m_worker = std::make_shared<SWorker>(SettingsOf(db));
    }
    if (m_worker->Run(step, nDeadlineMs, &outcome))
        return outcome;

    // Never used again: its thread ends when the statement returns.
    m_worker->Stop();
    Abandoned().push_back(m_worker);
    m_lastAbandoned = std::move(m_worker);
    outcome = SOutcome();
    outcome.bOverran = true;
    outcome.nElapsedMs = nDeadlineMs;
    outcome.error = QSqlError(QStringLiteral("the database server did not answer within %1 ms").arg(nDeadlineMs),
                              QString(), QSqlError::ConnectionError);
    return outcome;
}

CDatabaseSession::SOutcome CDatabaseSession::Open()
{
    return Run(
        [](QSqlDatabase &db, SOutcome &out) {
            if (db.isValid() && !db.isOpen())
                db.open();
            out.bOk = db.isOpen() && db.driver()->hasFeature(QSqlDriver::Transactions);
            if (!out.bOk)
                out.error = db.lastError();
        },
        OpenDeadlineMs());
}

CDatabaseSession::SOutcome CDatabaseSession::Begin()
{
    m_lateCommit.reset();
    m_witness = CCommitWitness();
    return Run(
        [](QSqlDatabase &db, SOutcome &out) {
            out.bOk = db.transaction();
            if (!out.bOk) {
                out.error = db.lastError();
                out.strSqlState = CSqlDatabase::SqlState(db);
            }
        },
        StatementDeadlineMs());
}

CDatabaseSession::SOutcome CDatabaseSession::Insert(const CTestRecord &record, const QString &strTable)
{
    return Run(
        [record, strTable](QSqlDatabase &db, SOutcome &out) {
            out.bOk = record.InsertIntoTable(db, strTable, &out.error, &out.strSqlState);
        },
        StatementDeadlineMs());
}

CDatabaseSession::SOutcome CDatabaseSession::RunDeferredChecks()
{
    return Run(
        [](QSqlDatabase &db, SOutcome &out) {
            out.bOk = true;
            if (!db.driverName().startsWith(QLatin1String("QODBC")))
                return;
            QSqlQuery query(db);
            bool bOk = query.prepare(QStringLiteral("set constraints all immediate"));
            if (bOk) {
                out.bBounded = CSqlDatabase::BoundStatement(query);
                bOk = query.exec();
            }
            if (bOk)
                return;
            out.bBounded = false;
            out.error = query.lastError();
            out.strSqlState = CSqlDatabase::SqlState(query);
            // A server without the statement: the commit does the checks.
            out.bOk = out.strSqlState.startsWith(QLatin1String("42"));
        },
        StatementDeadlineMs());
}

CDatabaseSession::SOutcome CDatabaseSession::NoteTransaction()
{
    m_witness = CCommitWitness();
    auto witness = std::make_shared<CCommitWitness>();
    const SOutcome outcome = Run(
        [witness](QSqlDatabase &db, SOutcome &out) {
            // Any other server gives no word on its transactions.
            out.bOk = true;
            if (!CSqlDatabase::IsPostgres(db))
                return;
            // A server that does not name itself gives no word: the run goes
            // on without one.
            CCommitWitness read;
            if (!ReadServerNames(db, &read, out))
                return;
            qint64 nTxid = 0;
            out.bOk = ReadNumber(db, QStringLiteral("select txid_current()"), &nTxid, out) && nTxid > 0;
            if (!out.bOk)
                return;
            read.nTxid = nTxid;
            *witness = read;
        },
        StatementDeadlineMs());
    if (outcome.bOk)
        m_witness = *witness;
    return outcome;
}

CDatabaseSession::SOutcome CDatabaseSession::Commit()
{
    m_lateCommit.reset();
    m_lastAbandoned.reset();
    const SOutcome outcome = Run(
        [](QSqlDatabase &db, SOutcome &out) {
            out.bOk = db.commit();
            if (!out.bOk) {
                out.error = db.lastError();
                out.strSqlState = CSqlDatabase::SqlState(db);
            }
        },
        StatementDeadlineMs());
    if (outcome.bOk || (!outcome.bOverran && CSqlDatabase::IsServerRefusal(outcome.strSqlState)))
        return outcome;
    auto late = std::make_shared<CLateCommit>();
    late->m_outcome = outcome;
    late->m_witness = m_witness;
    if (outcome.bOverran)
        late->m_worker = std::move(m_lastAbandoned);
    m_lateCommit = std::move(late);
    return outcome;
}

namespace {

CDatabaseSession::CLateCommit::EAnswer AnswerOf(const CDatabaseSession::SOutcome &outcome)
{
    if (outcome.bOk)
        return CDatabaseSession::CLateCommit::EAnswer::Committed;
    if (!outcome.bOverran && CSqlDatabase::IsServerRefusal(outcome.strSqlState))
        return CDatabaseSession::CLateCommit::EAnswer::Refused;
    return CDatabaseSession::CLateCommit::EAnswer::Lost;
}

} // namespace

CDatabaseSession::CLateCommit::EAnswer CDatabaseSession::CLateCommit::Await(int nMs, SOutcome *pOutcome) const
{
    if (!m_worker) {
        if (pOutcome)
            *pOutcome = m_outcome;
        return AnswerOf(m_outcome);
    }
    SWorker &worker = *m_worker;
    std::unique_lock<std::mutex> lock(worker.mutex);
    // A step not taken up before the worker was stopped never runs.
    const auto answered = [&worker] { return worker.bDone || (worker.bStop && !worker.bTaken); };
    if (!worker.cv.wait_for(lock, std::chrono::milliseconds(std::max(0, nMs)), answered))
        return EAnswer::Waiting;
    if (!worker.bDone)
        return EAnswer::Lost;
    if (pOutcome)
        *pOutcome = worker.outcome;
    return AnswerOf(worker.outcome);
}

bool CDatabaseSession::CLateCommit::Ended() const
{
    if (!m_worker)
        return true;
    SWorker &worker = *m_worker;
    std::lock_guard<std::mutex> lock(worker.mutex);
    return worker.bDone || (worker.bStop && !worker.bTaken);
}

CDatabaseSession::ETransaction CDatabaseSession::AskTransaction(const CCommitWitness &witness, bool bEndSession,
                                                                SOutcome *pOutcome)
{
    SOutcome outcome;
    if (!witness.IsKnown()) {
        outcome.error = QSqlError(QStringLiteral("the server gave no word on the transaction"), QString(),
                                  QSqlError::UnknownError);
    } else {
        // Never the connection the commit went out on.
        Close();
        outcome = Open();
    }
    if (outcome.bOk) {
        const int nSessionBoundMs = CSqlDatabase::StatementBoundMs();
        outcome = Run(
            [witness, bEndSession, nSessionBoundMs](QSqlDatabase &db, SOutcome &out) {
                if (!CSqlDatabase::IsPostgres(db)) {
                    out.error = QSqlError(QStringLiteral("the server is no longer PostgreSQL"), QString(),
                                          QSqlError::UnknownError);
                    return;
                }
                CCommitWitness here;
                if (!ReadServerNames(db, &here, out)) {
                    out.bOk = false;
                    return;
                }
                // An id means nothing to another cluster.
                if (!here.SameServer(witness)) {
                    out.error = QSqlError(QStringLiteral("this is %1, the transaction ran on %2")
                                              .arg(here.ServerText(), witness.ServerText()),
                                          QString(), QSqlError::UnknownError);
                    return;
                }
                if (!ReadStatus(db, witness.nTxid, out) || out.strText != QLatin1String("in progress"))
                    return;
                const QString strSession = QStringLiteral("pid = %1 and (extract(epoch from backend_start) * "
                                                          "1000000)::bigint = %2")
                                               .arg(witness.nPid)
                                               .arg(witness.nSessionStartUs);
                // A COMMIT that waits for a synchronous standby is committed
                // here already (the server says "in progress" until the wait
                // ends, and keeps it committed whatever ends the wait).
                qint64 nWaiting = 0;
                if (!ReadNumber(db,
                                QStringLiteral("select count(*) from pg_stat_activity where %1 and wait_event = "
                                               "'SyncRep' and backend_xid::text::bigint = %2")
                                    .arg(strSession)
                                    .arg(witness.nTxid & 0xffffffffLL),
                                &nWaiting, out))
                    return;
                if (nWaiting > 0) {
                    out.strText = QStringLiteral("committed");
                    return;
                }
                if (!bEndSession)
                    return;
                // Its COMMIT has not been taken up: its own session ends, and
                // the transaction with it, unless the COMMIT gets in first.
                QSqlQuery terminate(db);
                if (!Exec(terminate,
                          QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where ") + strSession,
                          out))
                    return;
                const qint64 nUntil = CStationClock::NowMs() + nSessionBoundMs;
                for (;;) {
                    qint64 nLeft = -1;
                    if (!ReadNumber(db, QStringLiteral("select count(*) from pg_stat_activity where ") + strSession,
                                    &nLeft, out))
                        return;
                    if (nLeft == 0)
                        break;
                    if (CStationClock::NowMs() >= nUntil) {
                        out.bOk = false;
                        out.error = QSqlError(QStringLiteral("its session did not end within %1 ms").arg(nSessionBoundMs),
                                              QString(), QSqlError::UnknownError);
                        return;
                    }
                    CStationClock::Sleep(20);
                }
                ReadStatus(db, witness.nTxid, out);
            },
            3 * StatementDeadlineMs() + nSessionBoundMs);
    }
    if (pOutcome)
        *pOutcome = outcome;
    if (!outcome.bOk)
        return ETransaction::Unknown;
    if (outcome.strText == QLatin1String("committed"))
        return ETransaction::Committed;
    if (outcome.strText == QLatin1String("aborted"))
        return ETransaction::Aborted;
    if (outcome.strText == QLatin1String("in progress"))
        return ETransaction::InProgress;
    if (outcome.strText.isNull())
        return ETransaction::Forgotten;
    return ETransaction::Unknown;
}

CDatabaseSession::ERow CDatabaseSession::FindRow(const QString &strTable, const QString &strLogUrl,
                                                 const QString &strHostMac, SOutcome *pOutcome)
{
    SOutcome outcome;
    if (!CTestRecord::IsPlainIdentifier(strTable)) {
        outcome.error = QSqlError(QStringLiteral("\"%1\" is not a table name").arg(strTable), QString(),
                                  QSqlError::StatementError);
    } else {
        // Never the connection the commit went out on: it may be lost, or
        // still waiting.
        Close();
        outcome = Open();
        if (outcome.bOk) {
            const QString strStatement =
                QStringLiteral("select count(*) from %1 where Test_LogUrl = ? and Test_HostMac = ?").arg(strTable);
            outcome = Run(
                [strStatement, strLogUrl, strHostMac](QSqlDatabase &db, SOutcome &out) {
                    QSqlQuery query(db);
                    if (query.prepare(strStatement)) {
                        out.bBounded = CSqlDatabase::BoundStatement(query);
                        // As the insert binds them: an empty text is '', never NULL.
                        for (const QString &strValue : {strLogUrl, strHostMac})
                            query.addBindValue(strValue.isNull() ? QString::fromLatin1("") : strValue);
                        if (query.exec() && query.next()) {
                            bool bNumber = false;
                            out.nCount = query.value(0).toLongLong(&bNumber);
                            out.bOk = bNumber;
                        }
                    }
                    if (!out.bOk) {
                        out.error = query.lastError();
                        out.strSqlState = CSqlDatabase::SqlState(query);
                    }
                },
                StatementDeadlineMs());
        }
    }
    if (pOutcome)
        *pOutcome = outcome;
    if (!outcome.bOk)
        return ERow::Unknown;
    return outcome.nCount > 0 ? ERow::Found : ERow::Absent;
}

void CDatabaseSession::Rollback()
{
    Run([](QSqlDatabase &db, SOutcome &out) { out.bOk = db.rollback(); }, StatementDeadlineMs(), false);
}

bool CDatabaseSession::Reaches()
{
    return Run(
               [](QSqlDatabase &db, SOutcome &out) {
                   if (!db.isOpen())
                       return;
                   QSqlQuery query(db);
                   if (!query.prepare(QStringLiteral("select 1")))
                       return;
                   CSqlDatabase::BoundStatement(query);
                   out.bOk = query.exec();
               },
               StatementDeadlineMs(), false)
        .bOk;
}

void CDatabaseSession::Close()
{
    if (m_worker) {
        m_worker.reset();
        return;
    }
    QSqlDatabase db = DefaultConnection();
    if (db.isValid())
        db.close();
}
