#include "uploadtestdata.h"

#include "ftpclient.h"
#include "sqldatabase.h"
#include "stationclock.h"
#include "testrecord.h"

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

// Whether an open connection still reaches its server, within the bound.
bool Reaches(const QSqlDatabase &db)
{
    if (!db.isOpen())
        return false;
    QSqlQuery query(db);
    if (!query.prepare(QStringLiteral("select 1")))
        return false;
    CSqlDatabase::BoundStatement(query);
    return query.exec();
}

bool IsOdbc(const QSqlDatabase &db)
{
    return db.driverName().startsWith(QLatin1String("QODBC"));
}

enum class EOutcome { Done, Refused, Expired };

// With ODBC the commit is no statement and takes no bound, so the checks a
// server defers to the commit (deferred constraints and their triggers) are
// run before it, as a bounded statement of their own. A server that does
// not know the statement (its SQLSTATE class 42) leaves them to the commit.
EOutcome RunDeferredChecks(QSqlDatabase &db, QSqlError *pError, QString *pSqlState)
{
    if (!IsOdbc(db))
        return EOutcome::Done;
    QSqlQuery query(db);
    const qint64 nStart = CStationClock::NowMs();
    bool bOk = query.prepare(QStringLiteral("set constraints all immediate"));
    if (bOk) {
        CSqlDatabase::BoundStatement(query);
        bOk = query.exec();
    }
    if (bOk)
        return EOutcome::Done;
    *pError = query.lastError();
    *pSqlState = CSqlDatabase::SqlState(query);
    if (CSqlDatabase::IsExpiry(*pSqlState, CStationClock::NowMs() - nStart))
        return EOutcome::Expired;
    return pSqlState->startsWith(QLatin1String("42")) ? EOutcome::Done : EOutcome::Refused;
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
}

// The two clients live as long as the program (a test drops them itself).
CUploadTestData::~CUploadTestData() = default;

void CUploadTestData::SetServiceForTest(CUploadService *pService)
{
    s_pServiceForTest = pService;
    if (pService || !s_pInstance)
        return;
    delete s_pInstance->m_pFtpClient;
    delete s_pInstance->m_pDatabase;
    delete s_pInstance;
    s_pInstance = nullptr;
}

int CUploadTestData::InsertToDatabase(CTestRecord &record)
{
    const QString strLog = record.GetLogUrl();
    // A connection that broke after it was opened still says open: the
    // first failure on it closes it and runs the step once more.
    bool bReconnected = false;
    auto reconnectOnce = [&bReconnected](QSqlDatabase &db, const QSqlError &error) {
        if (bReconnected || Reaches(db))
            return false;
        qWarning() << "Database connection lost, connecting again:" << error.text();
        bReconnected = true;
        db.close();
        return true;
    };
    // A statement that ran out of its bound: the database cannot be used
    // now (a lock held elsewhere, a server that no longer answers).
    auto expired = [&strLog](QSqlDatabase &db, const char *szWhat, const QSqlError &error,
                             const QString &strSqlState) {
        db.rollback();
        qWarning().noquote() << QStringLiteral("Database %1 did not end within %2 ms (SQLSTATE %3), rolled back; "
                                               "the database cannot be used now:")
                                    .arg(QLatin1String(szWhat))
                                    .arg(CSqlDatabase::StatementBoundMs())
                                    .arg(strSqlState.isEmpty() ? QStringLiteral("none") : strSqlState)
                             << strLog << ":" << error.text();
    };

    for (;;) {
        QSqlDatabase db = QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
        // A QPSQL session takes its bound when it is opened.
        if (CSqlDatabase::BoundSession(db) && db.isOpen())
            db.close();
        if (db.isValid() && !db.isOpen())
            db.open();
        const bool bTransactions = db.isOpen() && db.driver()->hasFeature(QSqlDriver::Transactions);
        const qint64 nBeginStart = CStationClock::NowMs();
        const bool bStarted = bTransactions && db.transaction();
        bool bUsable = bStarted;
        if (bTransactions && !bStarted) {
            const QSqlError error = db.lastError();
            const QString strSqlState = CSqlDatabase::SqlState(db);
            if (CSqlDatabase::IsExpiry(strSqlState, CStationClock::NowMs() - nBeginStart))
                expired(db, "transaction start", error, strSqlState);
            else if (reconnectOnce(db, error))
                continue;
            else
                qWarning() << "Database not usable:" << error.text();
        }

        if (bStarted) {
            QSqlError error;
            QString strSqlState;
            qint64 nStart = CStationClock::NowMs();
            if (!record.InsertIntoTable(QString::fromLatin1(kTableName), &error, &strSqlState)) {
                if (CSqlDatabase::IsExpiry(strSqlState, CStationClock::NowMs() - nStart)) {
                    expired(db, "insert", error, strSqlState);
                    bUsable = false;
                } else {
                    db.rollback();
                    if (reconnectOnce(db, error))
                        continue;
                    qWarning() << "Database insert refused, the run is not stored and its log not uploaded:"
                               << strLog << ":" << error.text();
                    return -1;
                }
            }
            if (bUsable) {
                nStart = CStationClock::NowMs();
                const EOutcome checks = RunDeferredChecks(db, &error, &strSqlState);
                if (checks == EOutcome::Expired) {
                    expired(db, "commit", error, strSqlState);
                    bUsable = false;
                } else if (checks == EOutcome::Refused) {
                    db.rollback();
                    qWarning() << "Database commit failed, the run is not stored and its log not uploaded:"
                               << strLog << ":" << error.text();
                    return -1;
                }
            }
            if (bUsable) {
                nStart = CStationClock::NowMs();
                if (db.commit())
                    return 1;
                error = db.lastError();
                strSqlState = CSqlDatabase::SqlState(db);
                if (CSqlDatabase::IsExpiry(strSqlState, CStationClock::NowMs() - nStart)) {
                    expired(db, "commit", error, strSqlState);
                } else {
                    db.rollback();
                    qWarning() << "Database commit failed, the run is not stored and its log not uploaded:"
                               << strLog << ":" << error.text();
                    return -1;
                }
            }
        } else if (!bTransactions) {
            qWarning() << "Database not usable:" << db.lastError().text();
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
        db.close();
    }
}

void CUploadTestData::UploadTestData(CTestRecord &record)
{
    if (InsertToDatabase(record) != 1)
        return;
    record.SetLogUrl(m_pFtpClient->UploadFile(record.GetLogUrl()));
}
