#include "sqldatabase.h"

#include <QSqlError>
#include <QtDebug>

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
