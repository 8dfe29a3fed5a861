#pragma once

#include <QObject>
#include <QSettings>
#include <QString>

#include <memory>

class CDatabaseSession;
class CFtpClient;
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
class CUploadTestData : public QSettings
{
    Q_OBJECT

public:
    // The instance; null while there is none and "ServerInfo.ini" is absent.
    static CUploadTestData *GetInstance();

    CUploadTestData(const QString &strFileName, QSettings::Format format, QObject *parent = nullptr);
    ~CUploadTestData() override;

    // 1 committed, 0 cancelled (or unusable for a reason a reconnect does not
    // mend), -1 the insert or the commit failed and was rolled back.
    int InsertToDatabase(CTestRecord &record);
    void UploadTestData(CTestRecord &record);

    CFtpClient *FtpClient() const { return m_pFtpClient; }
    CSqlDatabase *Database() const { return m_pDatabase; }

    // Tests only: pService takes the place of the process-wide upload
    // service; null restores the real one and drops the instance, so that
    // the next GetInstance() looks for the file again.
    static void SetServiceForTest(CUploadService *pService);

    static constexpr const char *kFileName = "ServerInfo.ini";
    static constexpr const char *kTableName = "TouchTestRecord";

private:
    friend class CUploadService;
    static CUploadService *s_pServiceForTest;
    static CUploadTestData *s_pInstance;

    CFtpClient *m_pFtpClient = nullptr;
    CSqlDatabase *m_pDatabase = nullptr;
    // The statements of the database step, bounded on this side too.
    std::unique_ptr<CDatabaseSession> m_pSession;
};
