#pragma once

#include <QElapsedTimer>
#include <QMap>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// Forwards connections on 127.0.0.1 to a PostgreSQL server's port, on a
// thread of its own, reading the messages its clients send. Destroying it
// closes every connection.
//
// It can act on the COMMITs its clients send (counted from 1 over all
// connections, in the order they arrive):
//   HoldAnswer  the COMMIT goes on at once; the server's answer (and what
//               follows it on that connection) is held back until Release()
//               or nHoldMs;
//   Drop        the COMMIT goes on, and the client's side of the connection
//               is shut down at once: the client never learns the answer;
//   Swallow     the COMMIT never reaches the server: the server's side of
//               the connection is closed at once (its transaction ends
//               there), the client's stays open, unanswered, until
//               Release() or nHoldMs, then is closed;
//   Delay       the COMMIT (and whatever the client sends after it) reaches
//               the server only at Release() or after nHoldMs, as over a
//               stalled link: also when the client has gone meanwhile (its
//               bytes were on their way); the server's answers pass. A
//               server that closes its side meanwhile never gets it.
// Silence(nMs): from then on the connections it carries pass nothing more
// (they stay open, for nMs at most), while new ones are forwarded as before.
class CPostgresRelay
{
public:
    enum class ECommit { Pass, HoldAnswer, Swallow, Drop, Delay };

    explicit CPostgresRelay(int nTargetPort);
    ~CPostgresRelay();
    CPostgresRelay(const CPostgresRelay &) = delete;
    CPostgresRelay &operator=(const CPostgresRelay &) = delete;

    int Port() const { return m_nPort; }
    void Silence(int nMs);
    // What becomes of the nCommit-th COMMIT; the others pass.
    void OnCommit(int nCommit, ECommit action, int nHoldMs);
    // The COMMITs seen so far, and those whose hold lasts now.
    int CommitsSeen() const { return m_nCommits; }
    int Held() const { return m_nHeld; }
    // Ends every hold now.
    void Release();

private:
    struct SPair
    {
        int nClient = -1;
        int nServer = -1; // -1 once a swallowed COMMIT closed it
        bool bSilent = false;
        // The client's bytes not yet forwarded (an incomplete message).
        std::vector<char> pending;
        bool bStartup = true;      // the untyped start-up messages come first
        bool bAwaitingSsl = false; // the server's answer to an SSL request
        bool bOpaque = false;      // encrypted: passed as it is
        bool bHeld = false;        // the server's side is not read
        bool bSwallowed = false;   // the client's side waits, unanswered
        bool bDelayed = false;     // the client's bytes wait in delayed
        std::vector<char> delayed;
        QElapsedTimer heldFor;
        int nHoldMs = 0;
    };
    struct SAction
    {
        ECommit action = ECommit::Pass;
        int nHoldMs = 0;
    };

    void Wake();
    int ConnectTarget() const;
    void Loop();
    // Forwards what the client sent; false when the pair is done.
    bool FromClient(SPair &pair);
    bool FromServer(SPair &pair);
    // The client's complete messages in pair.pending, forwarded or acted on.
    bool PassMessages(SPair &pair);
    void EndHold(SPair &pair);
    static void Close(SPair &pair);

    int m_nTargetPort;
    int m_nListen = -1;
    int m_nPort = 0;
    int m_wake[2] = {-1, -1};
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nCommits{0};
    std::atomic<int> m_nHeld{0};
    std::mutex m_mutex;
    bool m_bSilenceAsked = false;
    int m_nSilenceMs = 0;
    bool m_bReleaseAsked = false;
    QMap<int, SAction> m_actions;
    std::vector<SPair> m_pairs; // the relay thread's own
    std::thread m_thread;
};
