#pragma once

#include "testrecord.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>

// The PostgreSQL and FTP servers that the fixture scripts of this folder
// started (pgserver.sh, ftpserver.sh), as the upload tests see them. The
// scripts' state folder comes from $UPLOAD_SERVERS.
class CUploadTestData;

namespace UploadServers {

// Reads the servers' descriptions; for the ODBC driver of the station it
// sets PGPORT (psqlODBC takes its port from there) and ODBCSYSINI (the
// private odbcinst.ini that registers psqlODBC as "SQL SERVER"). False, with
// the reason, when a server is missing. A server that an earlier test left
// stopped is started again.
bool LoadPostgres(QString *pError);
bool LoadFtp(QString *pError);

// A description value: PGPORT, PGDATABASE, PG_USER, PG_PASSWORD, PG_OP_USER,
// PG_OP_PASSWORD, FTP_PORT, FTP_USER, FTP_PASSWORD, FTP_ROOT...
QString Value(const char *szKey);

// Stops the server, or starts it again on the same port (bounded waits); a
// server started again here ends once this test process is gone.
bool PausePostgres();
bool ResumePostgres();
bool PauseFtp();
bool ResumeFtp();

// Sets db up for the test server's database as the station's role, through
// QPSQL, with the station's login time bound.
void SetUpQpsql(QSqlDatabase &db);

// Registers the default connection with QPSQL on the test server, as the
// station's role, and opens it.
bool OpenQpsqlDefault(QString *pError);
void RemoveDefault();

// Runs one statement as the role that owns the table (PG_USER), on a
// connection of its own.
bool RunAsOwner(const QString &strStatement);
// The same as the cluster's superuser (server settings, rights on the
// system's functions).
bool RunAsSuperuser(const QString &strStatement);

// Takes the server's word on its transactions from the roles while it
// lives (txid_status refused, as on a server that has no such word).
class CServerWithoutWord
{
public:
    CServerWithoutWord(bool bWithout = true);
    ~CServerWithoutWord();
    CServerWithoutWord(const CServerWithoutWord &) = delete;
    CServerWithoutWord &operator=(const CServerWithoutWord &) = delete;
    // Gives it back now.
    bool Restore();
    bool bOk = true;

private:
    bool m_bWithout;
};

// A synchronous standby that never comes: with bAway the server's commits
// (synchronous_commit on in the test database) wait for
// "nosuchstandby"; true once a probe's commit is seen waiting. Without, the
// setting is taken back and every waiting commit ends.
bool SetStandbyAway(bool bAway);
// Sessions of strRole whose COMMIT waits for a synchronous standby (-1
// when that cannot be read).
int CommitsWaitingForStandby(const QString &strRole);

// Database/Type of the runs through QPSQL: not one the station knows, so it
// registers nothing and the test's own QPSQL connection is the default one.
extern const char *const kTestRegisteredType;
// The upload instance for strDriver ("QODBC" or "QPSQL") with the database
// reached on nPort, as the plain role or (bOperator) as the operator role:
// "ServerInfo.ini" in the working folder, PGPORT for psqlODBC, and for QPSQL
// the default connection opened first.
CUploadTestData *StartUpload(const QString &strDriver, int nPort, bool bOperator);

// The server's sessions of strRole (-1 when that cannot be read).
int Sessions(const QString &strRole);
// The server's sessions with the process id nPid: 0 or 1 (-1 when that
// cannot be read).
int SessionsWithPid(qint64 nPid);

// Rows of TouchTestRecord whose Device_SN is strSN, each with the twelve
// columns in table order; the time as "yyyy-MM-dd hh:mm:ss" text (a NULL
// stays a null QVariant). Read on a connection of its own.
QList<QVariantList> Rows(const QString &strSN);
// The same for the rows whose Test_DateTime is dateTime (to the second).
QList<QVariantList> RowsAt(const QDateTime &dateTime);
int RowCount();

// FTP: the commands the server received since the last clear, the uploads
// that ended there since then ("received /Data/A/log.xml.part", "incomplete
// ..."), the switch ("refuse-login", "refuse-upload", "refuse-rename",
// "no-rename-over", "drop", "no-size", "throttle <bytes per second>" or empty) and the
// files below its root. ClearFtpCommands clears both lists.
QStringList FtpCommands();
QStringList FtpTransfers();
void ClearFtpCommands();
void SetFtpSwitch(const QString &strSwitch);
QByteArray FtpFile(const QString &strRelativePath, bool *pExists = nullptr);
// The files below the root whose names end in ".part" (uploads not renamed
// into place), as paths below the root.
QStringList FtpPartFiles();
// Every file below the root, as paths below the root, sorted.
QStringList FtpFiles();
bool MakeFtpFolder(const QString &strRelativePath);
void ClearFtpRoot();

// "ServerInfo.ini" in strFolder. Default(): the FTP server and, through
// ODBC ("SQL SERVER"), the database as the plain role.
struct SServerInfo
{
    QString ftpUrl;
    QString ftpPort;
    QString ftpUser;
    QString ftpPassword;
    QString dbServer;
    QString dbPort;
    QString dbType;
    QString dbName;
    QString dbUser;
    QString dbPassword;
    static SServerInfo Default();
};
void WriteServerInfo(const SServerInfo &info, const QString &strFolder);
// A fresh start of a case that uploads: the FTP root and command list
// emptied, and "ServerInfo.ini" in the working folder naming both servers,
// the database through the operator role.
void PrepareOperatorUpload();

// Writes strRelativePath below strFolder with content (folders made).
bool WriteFile(const QString &strFolder, const QString &strRelativePath, const QByteArray &content);

// The record of a run whose log, /Data/X1/1A2B/<serial>_<result>.xml, exists
// below the working folder and holds the serial number (a fresh UUID, also
// in Device_SN).
CTestRecord RunRecord(const QString &strResult = QStringLiteral("PASS"));
// The record RunRecord made for the serial number strSN (its log is not
// written again).
CTestRecord RunRecordOf(const QString &strSN, const QString &strResult = QStringLiteral("PASS"));

} // namespace UploadServers
