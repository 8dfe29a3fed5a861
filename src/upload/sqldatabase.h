#pragma once

#include <QSqlDatabase>
#include <QString>

class QSqlError;
class QSqlQuery;

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
// as they are. The open waits at most kLoginTimeoutS seconds, and so does
// every statement of the upload (StatementBoundMs()): a lock held by another
// session, say, ends it as an expiry. The password never reaches the run log.
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

    // The bound of each statement: the open's, through the station's
    // time-out scaling.
    static int StatementBoundMs();
    // Bounds the statement of a prepared query: QODBC takes it as the
    // statement's query time-out (whole seconds, rounded up); other drivers
    // are bounded by their session (BoundSession). False when nothing was set.
    static bool BoundStatement(QSqlQuery &query);
    // Gives a QPSQL connection's session the bound (statement_timeout and
    // lock_timeout in its connect options, in place of any bound set here
    // before). True when the options changed: an open connection takes them
    // when it is opened again. Other drivers are left as they are.
    static bool BoundSession(QSqlDatabase &db);
    // The SQLSTATE of the last failure of a query or of a connection's own
    // calls (transaction, commit), where the driver gives one (empty
    // otherwise).
    static QString SqlState(const QSqlQuery &query);
    static QString SqlState(const QSqlDatabase &db);
    // Whether a statement that failed with strSqlState after nElapsedMs ran
    // out of its bound: a time-out state (57014 cancelled, 55P03 lock not
    // granted, HYT00 / HYT01), or, where the driver named no precise state,
    // a failure that took the whole bound.
    static bool IsExpiry(const QString &strSqlState, qint64 nElapsedMs);
    // Whether strSqlState is the server's own refusal of a statement (its
    // transaction is rolled back): a state, and none of a lost or broken
    // connection (class 08, 57P), nor the driver's own (class HY).
    static bool IsServerRefusal(const QString &strSqlState);

    // Whether the open connection db reaches a PostgreSQL server: the Qt
    // PostgreSQL driver, or an ODBC driver whose DBMS name
    // (SQL_DBMS_NAME) says so. False for any other, and when unknown.
    static bool IsPostgres(const QSqlDatabase &db);

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
