#include "uploadtestdata.h"

#include "ftpclient.h"
#include "sqldatabase.h"
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

// Whether an open connection still reaches its server.
bool Reaches(const QSqlDatabase &db)
{
    if (!db.isOpen())
        return false;
    QSqlQuery query(db);
    return query.exec(QStringLiteral("select 1"));
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

    for (;;) {
        QSqlDatabase db = QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false);
        if (db.isValid() && !db.isOpen())
            db.open();
        const bool bTransactions = db.isOpen() && db.driver()->hasFeature(QSqlDriver::Transactions);
        const bool bStarted = bTransactions && db.transaction();
        if (bTransactions && !bStarted && reconnectOnce(db, db.lastError()))
            continue;

        if (bStarted) {
            QSqlError error;
            if (!record.InsertIntoTable(QString::fromLatin1(kTableName), &error)) {
                db.rollback();
                if (reconnectOnce(db, error))
                    continue;
                qWarning() << "Database insert refused, the run is not stored and its log not uploaded:" << strLog
                           << ":" << error.text();
                return -1;
            }
            if (db.commit())
                return 1;
            const QString strError = db.lastError().text();
            db.rollback();
            qWarning() << "Database commit failed, the run is not stored and its log not uploaded:" << strLog << ":"
                       << strError;
            return -1;
        }

        const QSqlError error = db.lastError();
        qWarning() << "Database not usable:" << error.text();
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
