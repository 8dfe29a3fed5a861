#pragma once

#include <QSqlDatabase>
#include <QString>

// The connection the test-record upload stores its rows through, registered
// and opened at construction under the SQL library's default connection name
// (the insert and the transaction calls reach it by that name).
//
//   "SQL SERVER"  QODBC with the text
//                 DRIVER={SQL SERVER};SERVER=<server>;DATABASE=<name>;uid=<user>;pwd=<password>;
//                 (the driver registered under that name; its port comes from
//                 the driver's own configuration, not from here)
//   "ORACLE"      QOCI with the database name as given, when the driver exists
//   anything else (compared case-sensitively): nothing is registered
//
// A value holding ';', '{' or '}' goes into the ODBC text in braces, any '}'
// doubled, so that it cannot end its attribute or add one; other values stand
// as they are. The open waits at most kLoginTimeoutS seconds. The password
// never reaches the run log.
class CSqlDatabase : public QSqlDatabase
{
public:
    CSqlDatabase(const QString &strServer, int nPort, const QString &strType, const QString &strName,
                 const QString &strUser, const QString &strPassword);
    ~CSqlDatabase();
    CSqlDatabase(const CSqlDatabase &) = delete;
    CSqlDatabase &operator=(const CSqlDatabase &) = delete;

    // The ODBC connection text for these values.
    static QString OdbcConnectionText(const QString &strServer, const QString &strName, const QString &strUser,
                                      const QString &strPassword);
    // One ODBC attribute value, braced when it must be.
    static QString OdbcValue(const QString &strValue);
    // The connect options that bound the open of a connection of this driver
    // ("QODBC", "QPSQL"; empty for others).
    static QString LoginTimeoutOption(const QString &strDriver);
    static constexpr int kLoginTimeoutS = 5;

    // The handle registered at construction (invalid when nothing was).
    QSqlDatabase Handle() const { return m_handle; }

private:
    QSqlDatabase m_handle;
    QString m_strServer;
    int m_nPort;
    QString m_strType;
    QString m_strName;
    QString m_strUser;
    QString m_strPassword;
    bool m_bRegistered = false;
};
