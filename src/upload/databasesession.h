#pragma once

#include "commitwitness.h"

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
        // What the server answered of a transaction (AskTransaction).
        QString strText;
        // The statement ran out of its bound: overran here, or ended so by
        // the server (CSqlDatabase::IsExpiry).
        bool Expired() const;
    };

    // A commit whose outcome its answer did not give: one that overran its
    // deadline (its abandoned worker goes on waiting for the server's
    // answer, and keeps it), or one that failed without the server refusing
    // it (the connection was lost with the commit under way). Neither an
    // overrun nor a lost connection ends the COMMIT on the server: no bound
    // of the server ends a commit that is taken up (a wait for a
    // synchronous standby, say), and a COMMIT still on its way reaches it
    // late. Only the server's word on the transaction (its Witness(),
    // AskTransaction) says it can no longer take effect.
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
        // Whether the abandoned worker has ended: the commit call returned
        // (with whatever answer), or it was never taken up. On a server that
        // gives no word on its transactions this is the last thing the
        // station can know: the row looked for after it is final.
        bool Ended() const;
        // What the server said of the transaction before the COMMIT (empty
        // when it gives no such word).
        const CCommitWitness &Witness() const { return m_witness; }

    private:
        friend class CDatabaseSession;
        std::shared_ptr<SWorker> m_worker; // null: it returned, m_outcome
        SOutcome m_outcome;
        CCommitWitness m_witness;
    };

    // What the server says of a transaction (AskTransaction).
    enum class ETransaction {
        Committed,
        Aborted,    // rolled back: it can never commit
        InProgress, // its COMMIT has not been taken up, and its session still runs
        Forgotten,  // older than the server's commit log keeps: long ended
        Unknown     // no answer, another server, or no witness
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
    // Reads, within the transaction, what lets another connection ask about
    // it later (Witness()): on a PostgreSQL server its id, the session and
    // the server's names. bOk with an empty witness on any other server.
    SOutcome NoteTransaction();
    // The witness of this transaction (empty before NoteTransaction(), and
    // after the next Begin()).
    const CCommitWitness &Witness() const { return m_witness; }
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
    // Asks the server, bounded, on a new connection (the session's is closed
    // first), what became of the witness's transaction: only a server that
    // names itself as the witness does is asked (another one: Unknown).
    // With bEndSession a transaction still in progress has its own session
    // ended, once matched by its process id and start (never another
    // session), waited for until it is gone, and is asked again: a COMMIT
    // that had not reached the server then never takes effect, one the
    // server had taken up stays committed. pOutcome says why when Unknown.
    ETransaction AskTransaction(const CCommitWitness &witness, bool bEndSession, SOutcome *pOutcome);
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
    CCommitWitness m_witness;
    std::shared_ptr<CLateCommit> m_lateCommit;
};
