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
    m_bChecksBounded = false;
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
    const SOutcome outcome = Run(
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
    m_bChecksBounded = outcome.bOk && outcome.bBounded;
    return outcome;
}

CDatabaseSession::SOutcome CDatabaseSession::Commit()
{
    m_lateCommit.reset();
    m_lastAbandoned.reset();
    QSqlDatabase db = DefaultConnection();
    // The server's own bound on the commit, as the connection that sends it
    // has it.
    qint64 nServerBoundMs = 0;
    if (db.driverName().startsWith(QLatin1String("QPSQL")))
        nServerBoundMs = CSqlDatabase::SessionBoundMs(m_worker ? m_worker->settings.strOptions : db.connectOptions());
    else if (m_bChecksBounded)
        nServerBoundMs = CSqlDatabase::StatementBoundMs();
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
    late->m_nServerBoundMs = nServerBoundMs;
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

bool CDatabaseSession::CLateCommit::Over() const
{
    if (!m_worker)
        return true;
    SWorker &worker = *m_worker;
    std::lock_guard<std::mutex> lock(worker.mutex);
    if (worker.bDone || (worker.bStop && !worker.bTaken))
        return true;
    if (m_nServerBoundMs <= 0)
        return false;
    // The server counts its bound from when the statement reached it: a
    // little later than it was taken up here.
    const qint64 nMargin = std::min<qint64>(m_nServerBoundMs, 1000);
    return CStationClock::NowMs() - worker.nStepStartMs >= m_nServerBoundMs + nMargin;
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
