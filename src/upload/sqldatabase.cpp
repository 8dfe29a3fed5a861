#include "sqldatabase.h"

#include "stationclock.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlResult>
#include <QtDebug>

#include <sql.h>
#include <sqlext.h>

namespace {

bool IsOdbcDriver(const QSqlDriver *pDriver)
{
    return pDriver && qstrcmp(pDriver->metaObject()->className(), "QODBCDriver") == 0;
}

// The ODBC handle that a result or a driver of the ODBC driver gives (a
// "SQLHANDLE", which Qt hands out as "void*" where that is its type).
SQLHANDLE OdbcHandle(const QSqlDriver *pDriver, const QVariant &handle)
{
    if (!IsOdbcDriver(pDriver) || !handle.isValid())
        return nullptr;
    if (qstrcmp(handle.typeName(), "SQLHANDLE") != 0 && qstrcmp(handle.typeName(), "void*") != 0)
        return nullptr;
    return *static_cast<const SQLHANDLE *>(handle.constData());
}

// Null for any other driver, or before the query is prepared.
SQLHANDLE OdbcStatement(const QSqlQuery &query)
{
    return query.result() ? OdbcHandle(query.driver(), query.result()->handle()) : nullptr;
}

bool LooksLikeSqlState(const QString &str)
{
    static const QRegularExpression re(QStringLiteral("^[0-9A-Z]{5}$"));
    return re.match(str).hasMatch();
}

// What BoundSession adds to the connect options.
const QRegularExpression &SessionBoundPattern()
{
    static const QRegularExpression re(
        QStringLiteral(";?options='-c statement_timeout=\\d+ -c lock_timeout=\\d+'"));
    return re;
}

// The state of the first diagnostic record of an ODBC handle (reading it
// leaves the records in place).
QString OdbcSqlState(SQLSMALLINT nType, SQLHANDLE handle)
{
    SQLCHAR szState[SQL_SQLSTATE_SIZE + 1] = {};
    SQLINTEGER nNative = 0;
    SQLSMALLINT nLength = 0;
    const SQLRETURN ret = SQLGetDiagRecA(nType, handle, 1, szState, &nNative, nullptr, 0, &nLength);
    if (!SQL_SUCCEEDED(ret))
        return QString();
    const QString strState = QString::fromLatin1(reinterpret_cast<const char *>(szState));
    return LooksLikeSqlState(strState) ? strState : QString();
}

// QPSQL gives the server's SQLSTATE as the native error code.
QString NativeSqlState(const QSqlError &error)
{
    const QString strCode = error.nativeErrorCode();
    return LooksLikeSqlState(strCode) ? strCode : QString();
}

} // namespace

CSqlDatabase::CSqlDatabase(const QString &strServer, int nPort, const QString &strType, const QString &strName,
                           const QString &strUser, const QString &strPassword)
    : m_strServer(strServer),
      m_nPort(nPort),
      m_strType(strType),
      m_strName(strName),
      m_strUser(strUser),
      m_strPassword(strPassword)
{
    const QString strDefault = QLatin1String(QSqlDatabase::defaultConnection);
    QString strDatabaseName;
    QString strUserName = strUser;
    QString strPasswordText = strPassword;
    if (strType == QLatin1String("SQL SERVER")) {
        strDatabaseName = OdbcConnectionText(strServer, strName, strUser, strPassword);
        // The ODBC driver appends the handle's user and password to the text
        // as it is: they go in the same form as in the text.
        strUserName = OdbcValue(strUser);
        strPasswordText = OdbcValue(strPassword);
        m_handle = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), strDefault);
        m_bRegistered = true;
    } else if (strType == QLatin1String("ORACLE")) {
        strDatabaseName = strName;
        if (QSqlDatabase::isDriverAvailable(QStringLiteral("QOCI"))) {
            m_handle = QSqlDatabase::addDatabase(QStringLiteral("QOCI"), strDefault);
            m_bRegistered = true;
        } else {
            qWarning() << "CSqlDatabase : the Oracle driver QOCI is not available on this station;"
                       << "database type \"ORACLE\" cannot connect";
        }
    }

    qInfo() << "CSqlDatabase" << ":server = " << strServer << " m_portNo = " << nPort << " name = " << strName
            << " user= " << strUser << " m_password = " << "***";

    m_handle.setHostName(strServer);
    m_handle.setPort(nPort);
    m_handle.setDatabaseName(strDatabaseName);
    m_handle.setUserName(strUserName);
    m_handle.setPassword(strPasswordText);
    if (m_bRegistered)
        m_handle.setConnectOptions(LoginTimeoutOption(m_handle.driverName()));
    if (m_handle.open())
        qInfo() << "DataBase Open Success";
    else
        qInfo() << "Open Failed" << m_handle.lastError().text();
}

CSqlDatabase::~CSqlDatabase()
{
    // Only a test drops the upload; the product keeps its one connection open
    // until the program ends.
    if (!m_bRegistered)
        return;
    m_handle.close();
    m_handle = QSqlDatabase();
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
}

QString CSqlDatabase::OdbcValue(const QString &strValue)
{
    if (!strValue.contains(QLatin1Char(';')) && !strValue.contains(QLatin1Char('{'))
        && !strValue.contains(QLatin1Char('}')))
        return strValue;
    QString strBraced = strValue;
    strBraced.replace(QLatin1String("}"), QLatin1String("}}"));
    return QLatin1Char('{') + strBraced + QLatin1Char('}');
}

QString CSqlDatabase::OdbcConnectionText(const QString &strServer, const QString &strName, const QString &strUser,
                                         const QString &strPassword)
{
    // One substitution pass: a value holding "%2" stays as it is.
    return QStringLiteral("DRIVER={SQL SERVER};SERVER=%1;DATABASE=%2;uid=%3;pwd=%4;")
        .arg(OdbcValue(strServer), OdbcValue(strName), OdbcValue(strUser), OdbcValue(strPassword));
}

QString CSqlDatabase::LoginTimeoutOption(const QString &strDriver)
{
    if (strDriver == QLatin1String("QODBC") || strDriver == QLatin1String("QODBC3"))
        return QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(kLoginTimeoutS);
    if (strDriver == QLatin1String("QPSQL") || strDriver == QLatin1String("QPSQL7"))
        return QStringLiteral("connect_timeout=%1").arg(kLoginTimeoutS);
    return QString();
}

int CSqlDatabase::StatementBoundMs()
{
    return CStationClock::Timeout(kLoginTimeoutS * 1000);
}

bool CSqlDatabase::BoundStatement(QSqlQuery &query)
{
    SQLHANDLE hStatement = OdbcStatement(query);
    if (!hStatement)
        return false;
    const SQLULEN nSeconds = SQLULEN(qMax(1, (StatementBoundMs() + 999) / 1000));
    const SQLRETURN ret = SQLSetStmtAttr(hStatement, SQL_ATTR_QUERY_TIMEOUT,
                                         reinterpret_cast<SQLPOINTER>(nSeconds), SQL_IS_UINTEGER);
    if (!SQL_SUCCEEDED(ret)) {
        qWarning() << "CSqlDatabase : the ODBC driver takes no query time-out; the statement is not bounded";
        return false;
    }
    return true;
}

bool CSqlDatabase::BoundSession(QSqlDatabase &db)
{
    if (!db.isValid() || !db.driverName().startsWith(QLatin1String("QPSQL")))
        return false;
    const QString strOld = db.connectOptions();
    QString strNew = strOld;
    strNew.remove(SessionBoundPattern());
    const int nMs = StatementBoundMs();
    if (!strNew.isEmpty())
        strNew += QLatin1Char(';');
    strNew += QStringLiteral("options='-c statement_timeout=%1 -c lock_timeout=%1'").arg(nMs);
    if (strNew == strOld)
        return false;
    db.setConnectOptions(strNew);
    return true;
}

QString CSqlDatabase::SqlState(const QSqlQuery &query)
{
    if (SQLHANDLE hStatement = OdbcStatement(query))
        return OdbcSqlState(SQL_HANDLE_STMT, hStatement);
    return NativeSqlState(query.lastError());
}

QString CSqlDatabase::SqlState(const QSqlDatabase &db)
{
    if (SQLHANDLE hConnection = OdbcHandle(db.driver(), db.driver() ? db.driver()->handle() : QVariant()))
        return OdbcSqlState(SQL_HANDLE_DBC, hConnection);
    return NativeSqlState(db.lastError());
}

bool CSqlDatabase::IsExpiry(const QString &strSqlState, qint64 nElapsedMs)
{
    if (strSqlState == QLatin1String("57014") || strSqlState == QLatin1String("55P03")
        || strSqlState == QLatin1String("HYT00") || strSqlState == QLatin1String("HYT01"))
        return true;
    const bool bVague = strSqlState.isEmpty() || strSqlState == QLatin1String("HY000");
    return bVague && nElapsedMs >= StatementBoundMs();
}

bool CSqlDatabase::IsPostgres(const QSqlDatabase &db)
{
    if (!db.isOpen())
        return false;
    if (db.driverName().startsWith(QLatin1String("QPSQL")))
        return true;
    SQLHANDLE hConnection = OdbcHandle(db.driver(), db.driver() ? db.driver()->handle() : QVariant());
    if (!hConnection)
        return false;
    SQLCHAR szName[64] = {};
    SQLSMALLINT nLength = 0;
    const SQLRETURN ret = SQLGetInfoA(hConnection, SQL_DBMS_NAME, szName, SQLSMALLINT(sizeof(szName) - 1), &nLength);
    return SQL_SUCCEEDED(ret) && qstrcmp(reinterpret_cast<const char *>(szName), "PostgreSQL") == 0;
}

bool CSqlDatabase::IsServerRefusal(const QString &strSqlState)
{
    return LooksLikeSqlState(strSqlState) && !strSqlState.startsWith(QLatin1String("08"))
           && !strSqlState.startsWith(QLatin1String("57P")) && !strSqlState.startsWith(QLatin1String("HY"));
}
