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
                }
                SOutcome result;
                const qint64 nStart = CStationClock::NowMs();
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
    m_worker.reset();
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
                CSqlDatabase::BoundStatement(query);
                bOk = query.exec();
            }
            if (bOk)
                return;
            out.error = query.lastError();
            out.strSqlState = CSqlDatabase::SqlState(query);
            // A server without the statement: the commit does the checks.
            out.bOk = out.strSqlState.startsWith(QLatin1String("42"));
        },
        StatementDeadlineMs());
}

CDatabaseSession::SOutcome CDatabaseSession::Commit()
{
    return Run(
        [](QSqlDatabase &db, SOutcome &out) {
            out.bOk = db.commit();
            if (!out.bOk) {
                out.error = db.lastError();
                out.strSqlState = CSqlDatabase::SqlState(db);
            }
        },
        StatementDeadlineMs());
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
