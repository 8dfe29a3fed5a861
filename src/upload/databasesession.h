#pragma once

#include <QSqlError>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QSqlDatabase;
class CTestRecord;

// The statements of the upload's database step on the default connection.
// Each is bounded by the server (CSqlDatabase::BoundStatement, BoundSession)
// and, against a server that stops answering altogether, on this side too:
// the statements run on a thread of their own with a connection of their
// own, made from the default connection's settings, and the caller waits
// for each at most its deadline (a little more than the server's bound). A
// thread whose statement overran is abandoned with its connection: it is
// never used again and ends by itself once the statement returns; the next
// statement starts a new one. A default connection whose driver cannot be
// made again by its name (one registered as a driver object) is used as it
// is, on the caller's thread, bounded by the server only.
//
// One session per caller thread; it keeps its connection open from one run
// to the next.
class CDatabaseSession
{
public:
    struct SOutcome
    {
        bool bOk = false;
        // The deadline passed: the statement's thread was abandoned.
        bool bOverran = false;
        QSqlError error;
        QString strSqlState;
        qint64 nElapsedMs = 0;
        // The statement ran out of its bound: overran here, or ended so by
        // the server (CSqlDatabase::IsExpiry).
        bool Expired() const;
    };

    CDatabaseSession();
    ~CDatabaseSession();
    CDatabaseSession(const CDatabaseSession &) = delete;
    CDatabaseSession &operator=(const CDatabaseSession &) = delete;

    // Opens the connection unless it is open; bOk: open, and its driver
    // takes transactions.
    SOutcome Open();
    SOutcome Begin();
    SOutcome Insert(const CTestRecord &record, const QString &strTable);
    // The checks a server defers to the commit, run as a bounded statement
    // of their own where the commit takes no bound (ODBC). bOk also when the
    // server does not know the statement (SQLSTATE class 42): the commit then
    // does them.
    SOutcome RunDeferredChecks();
    SOutcome Commit();
    // Nothing after an overrun: the abandoned connection's transaction ends
    // with that connection.
    void Rollback();
    // Whether the open connection still reaches its server ("select 1").
    bool Reaches();
    // Closes the connection: the next statement opens a new one.
    void Close();

    // The deadline of a statement and of the open, in milliseconds.
    static int StatementDeadlineMs();
    static int OpenDeadlineMs();
    // Threads of abandoned statements that still run.
    static int AbandonedRunning();

private:
    struct SWorker;
    using Step = std::function<void(QSqlDatabase &, SOutcome &)>;
    SOutcome Run(const Step &step, int nDeadlineMs, bool bStartsWorker = true);
    static std::vector<std::shared_ptr<SWorker>> &Abandoned();

    std::shared_ptr<SWorker> m_worker;
};
