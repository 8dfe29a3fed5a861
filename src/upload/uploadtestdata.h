#pragma once

#include "databasesession.h"

#include <QHash>
#include <QObject>
#include <QSettings>
#include <QString>

#include <memory>

class CFtpClient;
class CPendingLogs;
class CSqlDatabase;
class CTestRecord;
class CUploadService;

// The test-record upload, switched on by the file "ServerInfo.ini" in the
// working folder alone. The one instance, made by the first GetInstance()
// that finds the file and kept until the program ends, reads the file's
// "FtpServer" and "Database" groups, builds the FTP client (which connects
// at its first transfer) and opens the database connection (at most
// CSqlDatabase::kLoginTimeoutS seconds).
//
// UploadTestData(record) stores the record as one row of "TouchTestRecord"
// in a transaction and, only once that is committed, queues the log for FTP
// under the record's log path (relative to the working folder); the record
// then holds the log's URL. A database it cannot use, or a statement that
// runs out of its bound, asks Retry or Cancel. Runs on the GUI thread; only
// the database step blocks it, each statement for at most its deadline
// (CDatabaseSession).
//
// A commit without an answer (past its deadline, or its connection lost)
// has an outcome the station does not know: it is never called rolled back.
// The station waits a little longer for the abandoned commit's answer, then
// asks the server on a new connection (a PostgreSQL server, through QPSQL
// or ODBC alike) what became of the transaction, by the witness read before
// the COMMIT: committed, the run is stored; still in progress, its own
// session is ended and the server asked again. Then it looks for the run's
// row (Test_LogUrl and Test_HostMac): found, the run is stored and its log
// goes; not found once the server says the transaction can no longer commit
// (or, on a server without such a word, once the abandoned commit has
// ended), it is not stored; else it stays unknown, which the run log and the
// box say. Retry learns the outcome first and inserts only a run that is
// not stored; while it is unknown Retry inserts nothing.
//
// The logs whose delivery is not settled are listed in "FtpPending.txt"
// (CPendingLogs): "row unknown" before the insert is sent, "owed" once the
// commit answered, off the list once the FTP server has the log, or once
// the run is known not to be stored. The list is read when the instance is
// made, and settled at every upload (and at the program's start,
// SettleAtStart()): owed logs are queued, unknown rows learnt.
class CUploadTestData : public QSettings
{
    Q_OBJECT

public:
    // The instance; null while there is none and "ServerInfo.ini" is absent
    // or cannot be read (larger than kMaxFileBytes, or not readable as
    // settings: a Warning names the file and why; no connection is tried,
    // and the next call reads the file again). Missing or empty keys are
    // not looked for.
    static CUploadTestData *GetInstance();
    // The same where an operator waits for a finished run whose log is
    // strLog: a description that cannot be read is also told in a box that
    // asks Retry (the file is read again) or Cancel (null: the run is not
    // stored and its log not uploaded, which the run log says).
    static CUploadTestData *GetInstanceAsking(const QString &strLog);

    CUploadTestData(const QString &strFileName, QSettings::Format format, QObject *parent = nullptr);
    ~CUploadTestData() override;

    // 1 committed (also a commit that answered late, or whose row was
    // found), 0 cancelled (or unusable for a reason a reconnect does not
    // mend; the run is not stored, or, when that is not known, listed as
    // "row unknown"), -1 the insert or the commit failed and was rolled back.
    int InsertToDatabase(CTestRecord &record);
    void UploadTestData(CTestRecord &record);

    // At the program's start: when the working folder holds "FtpPending.txt"
    // and "ServerInfo.ini", makes the instance and settles the list.
    static void SettleAtStart();

    CFtpClient *FtpClient() const { return m_pFtpClient; }
    CSqlDatabase *Database() const { return m_pDatabase; }
    const CPendingLogs &PendingLogs() const { return *m_pPending; }

    // Tests only: pService takes the place of the process-wide upload
    // service; null restores the real one and drops the instance, so that
    // the next GetInstance() looks for the file again.
    static void SetServiceForTest(CUploadService *pService);

    static constexpr const char *kFileName = "ServerInfo.ini";
    // The largest server description read (a few hundred bytes are usual).
    static constexpr qint64 kMaxFileBytes = 64 * 1024;
    static constexpr const char *kTableName = "TouchTestRecord";

private:
    // Makes the instance when the file is there and can be read; else null,
    // and *pWhy says why when the file is there.
    static CUploadTestData *MakeInstance(QString *pWhy);
    // Whether the server description can be read whole as settings; pWhy
    // says why not, naming the file.
    static bool DescriptionReadable(QString *pWhy);

    // What is known of a run's row whose commit gave no outcome.
    enum class ERowKnown { Stored, NotStored, Refused, Unknown };
    // Asks the late commit (waiting at most nWaitMs), then, with bLookUp,
    // asks the server what became of the witness's transaction (ending its
    // session when its COMMIT has not been taken up) and looks for the row:
    // an absent row is final only once the server says the transaction can
    // no longer commit, or, where it gives no word, once the commit's worker
    // has ended. pWhy says how it is known, or why not; pUnanswered, whether
    // the server did not answer.
    ERowKnown LearnRow(const QString &strLog, const QString &strHostMac, const CCommitWitness &witness,
                       const std::shared_ptr<CDatabaseSession::CLateCommit> &late, int nWaitMs, bool bLookUp,
                       QString *pWhy, bool *pUnanswered = nullptr);
    // Settles the listed logs but strSkip: an owed one goes to the FTP
    // client unless it has it; an unknown row is learnt (bLookUp: with
    // look-ups, until one fails).
    void SettlePending(const QString &strSkip, bool bLookUp);
    // Names in the run log what the list keeps at the exit.
    void ReportUnsettled() const;

    friend class CUploadService;
    static CUploadService *s_pServiceForTest;
    static CUploadTestData *s_pInstance;

    CFtpClient *m_pFtpClient = nullptr;
    CSqlDatabase *m_pDatabase = nullptr;
    // The statements of the database step, bounded on this side too.
    std::unique_ptr<CDatabaseSession> m_pSession;
    std::unique_ptr<CPendingLogs> m_pPending;
    // The commits without an outcome yet, by log.
    QHash<QString, std::shared_ptr<CDatabaseSession::CLateCommit>> m_lateCommits;
};
