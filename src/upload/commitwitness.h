#pragma once

#include <QByteArray>
#include <QString>

// What a PostgreSQL server said of a transaction before its COMMIT was sent:
// the server as it names itself (cluster, address, port, database), the
// transaction's id and the session that sends the COMMIT. With it a fresh
// connection, also one of a later start, can ask that server whether the
// COMMIT took effect, or end the session that still holds it
// (CDatabaseSession::AskTransaction). A server that gives no such word
// leaves it empty (IsKnown() false).
class CCommitWitness
{
public:
    // The cluster's system identifier (empty where the role may not read it).
    QString strSystemId;
    // inet_server_addr(), inet_server_port(), current_database().
    QString strHost;
    int nPort = 0;
    QString strDatabase;
    // txid_current(): the id with its epoch, never reused by the cluster.
    qint64 nTxid = 0;
    // pg_backend_pid() and that session's backend_start, in microseconds
    // since the epoch: a process id is reused, the pair is not.
    qint64 nPid = 0;
    qint64 nSessionStartUs = 0;

    bool IsKnown() const { return nTxid > 0; }
    // Whether other names the same server and database (the transaction and
    // session are not compared).
    bool SameServer(const CCommitWitness &other) const;
    // The server as a run-log text ("cluster 7718..., 127.0.0.1:5432/lines").
    QString ServerText() const;

    // One field of a line of FtpPending.txt: "pg:" and key=value pairs
    // separated by ';', each value percent-encoded, so that it never holds a
    // tab, never begins with '/' and stays within kMaxFieldBytes.
    QByteArray ToField() const;
    // Reads a field ToField() wrote, each value checked for its type and
    // range; false, with the reason, for anything else.
    static bool FromField(const QByteArray &field, CCommitWitness *pWitness, QString *pWhy);
    // Whether a field of a line is a witness (and not a log path).
    static bool IsField(const QByteArray &field);

    static constexpr int kMaxFieldBytes = 1024;
};
