#include "uploadtestdata.h"

#include "databasesession.h"
#include "ftpclient.h"
#include "sqldatabase.h"
#include "testrecord.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QtDebug>

CUploadService *CUploadTestData::s_pServiceForTest = nullptr;
CUploadTestData *CUploadTestData::s_pInstance = nullptr;

namespace {

// A port key: a number from 1 to 65535. Anything else (missing, not a
// number, out of range) is named in the run log and handed on as it is (0
// when it is no number), never cut to 16 bits: the client counts the server
// as unreachable.
int ReadPort(const QSettings &settings, const QString &strKey)
{
    const QString strRaw = settings.value(strKey).toString();
    bool bOk = false;
    const uint nPort = strRaw.toUInt(&bOk);
    if (bOk && nPort >= 1 && nPort <= 65535)
        return int(nPort);
    qWarning().noquote() << QStringLiteral("%1: %2 \"%3\" is not a port (1 to 65535); the server counts as unreachable")
                                .arg(settings.fileName(), strKey, strRaw);
    return bOk && nPort <= uint(INT_MAX) ? int(nPort) : 0;
}

} // namespace

CUploadTestData *CUploadTestData::GetInstance()
{
    if (!s_pInstance && QFileInfo::exists(QString::fromLatin1(kFileName)))
        s_pInstance = new CUploadTestData(QString::fromLatin1(kFileName), QSettings::IniFormat, nullptr);
    return s_pInstance;
}

CUploadTestData::CUploadTestData(const QString &strFileName, QSettings::Format format, QObject *parent)
    : QSettings(strFileName, format, parent)
{
    const QString strFtpUrl = value(QStringLiteral("FtpServer/Url")).toString();
    const int nFtpPort = ReadPort(*this, QStringLiteral("FtpServer/PortNo"));
    const QString strFtpUser = value(QStringLiteral("FtpServer/User")).toString();
    const QString strFtpPassword = value(QStringLiteral("FtpServer/Password")).toString();
    m_pFtpClient = new CFtpClient(strFtpUrl, nFtpPort, strFtpUser, strFtpPassword, nullptr);

    const QString strServer = value(QStringLiteral("Database/Server")).toString();
    const int nDbPort = int(value(QStringLiteral("Database/PortNo")).toUInt());
    const QString strType = value(QStringLiteral("Database/Type")).toString();
    const QString strName = value(QStringLiteral("Database/Name")).toString();
    const QString strUser = value(QStringLiteral("Database/User")).toString();
    const QString strPassword = value(QStringLiteral("Database/Password")).toString();
    m_pDatabase = new CSqlDatabase(strServer, nDbPort, strType, strName, strUser, strPassword);
    m_pSession = std::make_unique<CDatabaseSession>();
    // The statements' thread ends with the program, its connection closed.
    if (QCoreApplication *pApp = QCoreApplication::instance())
        connect(pApp, &QCoreApplication::aboutToQuit, this, [this] { m_pSession->Close(); });
}

// The two clients live as long as the program (a test drops them itself).
CUploadTestData::~CUploadTestData() = default;

void CUploadTestData::SetServiceForTest(CUploadService *pService)
{
    s_pServiceForTest = pService;
    if (pService || !s_pInstance)
        return;
    s_pInstance->m_pSession.reset();
    delete s_pInstance->m_pFtpClient;
    delete s_pInstance->m_pDatabase;
    delete s_pInstance;
    s_pInstance = nullptr;
}

int CUploadTestData::InsertToDatabase(CTestRecord &record)
{
    const QString strLog = record.GetLogUrl();
    CDatabaseSession &session = *m_pSession;
    // A connection that broke after it was opened still says open: the
    // first failure on it closes it and runs the step once more.
    bool bReconnected = false;
    auto reconnectOnce = [&bReconnected, &session](const QSqlError &error) {
        if (bReconnected || session.Reaches())
            return false;
        qWarning() << "Database connection lost, connecting again:" << error.text();
        bReconnected = true;
        session.Close();
        return true;
    };
    // A statement that ran out of its bound: the database cannot be used
    // now (a lock held elsewhere, a server that no longer answers).
    auto expired = [&strLog, &session](const char *szWhat, const CDatabaseSession::SOutcome &outcome) {
        session.Rollback();
        qWarning().noquote() << QStringLiteral("Database %1 did not end within %2 ms (%3), rolled back; the "
                                               "database cannot be used now:")
                                    .arg(QLatin1String(szWhat))
                                    .arg(outcome.bOverran ? outcome.nElapsedMs : CSqlDatabase::StatementBoundMs())
                                    .arg(outcome.bOverran ? QStringLiteral("no answer")
                                         : outcome.strSqlState.isEmpty()
                                             ? QStringLiteral("SQLSTATE none")
                                             : QStringLiteral("SQLSTATE ") + outcome.strSqlState)
                             << strLog << ":" << outcome.error.text();
    };
    // The caller has rolled the transaction back.
    auto refused = [&strLog](const char *szWhat, const QSqlError &error) {
        qWarning() << "Database" << szWhat << "the run is not stored and its log not uploaded:" << strLog << ":"
                   << error.text();
        return -1;
    };

    for (;;) {
        QSqlDatabase db = QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
        // A QPSQL session takes its bound when it is opened.
        if (CSqlDatabase::BoundSession(db)) {
            session.Close();
            db.close();
        }
        bool bUsable = false;
        const CDatabaseSession::SOutcome open = session.Open();
        if (open.bOverran) {
            expired("open", open);
        } else if (!open.bOk) {
            qWarning() << "Database not usable:" << open.error.text();
        } else {
            const CDatabaseSession::SOutcome begin = session.Begin();
            if (begin.bOk)
                bUsable = true;
            else if (begin.Expired())
                expired("transaction start", begin);
            else if (reconnectOnce(begin.error))
                continue;
            else
                qWarning() << "Database not usable:" << begin.error.text();
        }

        if (bUsable) {
            const CDatabaseSession::SOutcome insert = session.Insert(record, QString::fromLatin1(kTableName));
            if (!insert.bOk) {
                if (insert.Expired()) {
                    expired("insert", insert);
                    bUsable = false;
                } else {
                    session.Rollback();
                    if (reconnectOnce(insert.error))
                        continue;
                    return refused("insert refused,", insert.error);
                }
            }
        }
        // The ODBC commit takes no bound of its own: the checks a server
        // defers to it go first, bounded.
        if (bUsable) {
            const CDatabaseSession::SOutcome checks = session.RunDeferredChecks();
            if (!checks.bOk && checks.Expired()) {
                expired("commit", checks);
                bUsable = false;
            } else if (!checks.bOk) {
                session.Rollback();
                return refused("commit failed,", checks.error);
            }
        }
        if (bUsable) {
            const CDatabaseSession::SOutcome commit = session.Commit();
            if (commit.bOk)
                return 1;
            if (!commit.Expired()) {
                session.Rollback();
                return refused("commit failed,", commit.error);
            }
            expired("commit", commit);
        }

        QMessageBox box(QMessageBox::Warning, QStringLiteral("Error!"),
                        tr("Connect to DataBase server error, please check the internet and retry or contact the IT "
                           "department..."),
                        QMessageBox::Retry | QMessageBox::Cancel, nullptr);
        if (box.exec() != QMessageBox::Retry) {
            qWarning() << "Database step cancelled, the run is not stored and its log not uploaded:" << strLog;
            return 0;
        }
        // Retry always connects again and reruns the step: a handle that
        // still answers "select 1" may hold a session that only a new
        // connection mends.
        session.Close();
    }
}

void CUploadTestData::UploadTestData(CTestRecord &record)
{
    if (InsertToDatabase(record) != 1)
        return;
    record.SetLogUrl(m_pFtpClient->UploadFile(record.GetLogUrl()));
}
