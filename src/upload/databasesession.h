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
    struct SWorker;

public:
    struct SOutcome
    {
        bool bOk = false;
        // The deadline passed: the statement's thread was abandoned.
        bool bOverran = false;
        QSqlError error;
        QString strSqlState;
        qint64 nElapsedMs = 0;
        // The statement ran under its server-side bound (BoundStatement).
        bool bBounded = false;
        // What a count gave (FindRow), -1 when it gave nothing.
        qint64 nCount = -1;
        // The statement ran out of its bound: overran here, or ended so by
        // the server (CSqlDatabase::IsExpiry).
        bool Expired() const;
    };

    // A commit whose outcome its answer did not give: one that overran its
    // deadline (its abandoned worker goes on waiting for the server's
    // answer, and keeps it), or one that failed without the server refusing
    // it (the connection was lost with the commit under way).
    class CLateCommit
    {
    public:
        enum class EAnswer {
            Committed,
            Refused, // by the server: rolled back
            Lost,    // ended without the server's verdict
            Waiting  // no answer yet
        };
        // The answer, waiting for it at most nMs; pOutcome, when given,
        // receives the commit's outcome once it has one.
        EAnswer Await(int nMs, SOutcome *pOutcome = nullptr) const;
        // Whether the commit can no longer take effect on the server: it
        // has returned or was never sent, or the server's own bound on it
        // (a QPSQL session's statement_timeout; on QODBC the bounded
        // deferred checks, after which the commit has nothing to wait for)
        // has run out since it was sent.
        bool Over() const;

    private:
        friend class CDatabaseSession;
        std::shared_ptr<SWorker> m_worker; // null: it returned, m_outcome
        SOutcome m_outcome;
        qint64 m_nServerBoundMs = 0; // 0: none known
    };

    // The row of a look-up (FindRow).
    enum class ERow { Found, Absent, Unknown };

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
    // bOk: committed. An outcome it cannot tell (LateCommit() is then set)
    // has bOk false and no server refusal in strSqlState.
    SOutcome Commit();
    // The last Commit()'s when its outcome is not known (null otherwise,
    // and after the next Begin()).
    std::shared_ptr<CLateCommit> LateCommit() const { return m_lateCommit; }
    // Looks, bounded, on a new connection (the session's is closed first:
    // it may be the lost or abandoned one the commit went out on), for a
    // row of strTable with these Test_LogUrl and Test_HostMac. Unknown when
    // the look-up failed or got no answer (pOutcome says why).
    ERow FindRow(const QString &strTable, const QString &strLogUrl, const QString &strHostMac,
                 SOutcome *pOutcome);
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
    using Step = std::function<void(QSqlDatabase &, SOutcome &)>;
    SOutcome Run(const Step &step, int nDeadlineMs, bool bStartsWorker = true);
    static std::vector<std::shared_ptr<SWorker>> &Abandoned();

    std::shared_ptr<SWorker> m_worker;
    // The worker the last overrun left behind.
    std::shared_ptr<SWorker> m_lastAbandoned;
    // This transaction's deferred checks ran under their bound.
    bool m_bChecksBounded = false;
    std::shared_ptr<CLateCommit> m_lateCommit;
};
