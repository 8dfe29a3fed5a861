#pragma once

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>

class QSqlDatabase;
class QSqlError;

// The record of one signal-test run: its time and eleven texts, in the column
// order of the table the upload writes it to. A plain value; a default record
// has an invalid time and empty texts.
class CTestRecord
{
public:
    using NameValueList = QList<QPair<QString, QString>>;

    // The record of a finished run: the device's fields from its property
    // list ("McuID", "Product", "CheckSum", "BatchInfo" as the serial number),
    // the station's from its environment list ("App Version", "Environment",
    // "IPAddr", "MacAddr"), names compared exactly and the last of a name
    // given twice winning; the batch stays empty. The log's location is
    // strLogPath without strWorkDir where that folder leads it, so a log
    // filed under the working folder reads "/Data/...".
    static CTestRecord OfRun(const NameValueList &lstDevice, const NameValueList &lstEnvironment,
                             const QString &strLogPath, const QString &strResult, const QString &strWorkDir,
                             const QDateTime &dateTime);

    void SetDateTime(const QDateTime &dateTime) { m_dateTime = dateTime; }
    void SetMcuId(const QString &str) { m_strMcuId = str; }
    void SetProduct(const QString &str) { m_strProduct = str; }
    void SetCheckSum(const QString &str) { m_strCheckSum = str; }
    void SetBatch(const QString &str) { m_strBatch = str; }
    void SetSN(const QString &str) { m_strSN = str; }
    void SetAppInfo(const QString &str) { m_strAppInfo = str; }
    void SetHostOS(const QString &str) { m_strHostOS = str; }
    void SetHostIp(const QString &str) { m_strHostIp = str; }
    void SetHostMac(const QString &str) { m_strHostMac = str; }
    void SetResult(const QString &str) { m_strResult = str; }
    void SetLogUrl(const QString &str) { m_strLogUrl = str; }

    QDateTime GetDateTime() const { return m_dateTime; }
    QString GetMcuId() const { return m_strMcuId; }
    QString GetProduct() const { return m_strProduct; }
    QString GetCheckSum() const { return m_strCheckSum; }
    QString GetBatch() const { return m_strBatch; }
    QString GetSN() const { return m_strSN; }
    QString GetAppInfo() const { return m_strAppInfo; }
    QString GetHostOS() const { return m_strHostOS; }
    QString GetHostIp() const { return m_strHostIp; }
    QString GetHostMac() const { return m_strHostMac; }
    QString GetResult() const { return m_strResult; }
    QString GetLogUrl() const { return m_strLogUrl; }

    // Inserts this record as one row of strTable on the default database
    // connection and returns whether the statement ran. The values are bound,
    // never spliced into the statement: quotes, percent signs and any other
    // text are stored as given (an empty text as '', not NULL). The time goes
    // as "yyyy-MM-dd hh:mm:ss" through the server's to_date(text, format).
    // strTable must be a plain identifier (letters, digits, '_'); anything
    // else runs nothing and returns false. pError, when given, receives the
    // driver's error, pSqlState its SQLSTATE where the driver gives one. The
    // statement is bounded (CSqlDatabase::BoundStatement).
    bool InsertIntoTable(const QString &strTable, QSqlError *pError = nullptr, QString *pSqlState = nullptr) const;
    // The same on the connection db.
    bool InsertIntoTable(const QSqlDatabase &db, const QString &strTable, QSqlError *pError = nullptr,
                         QString *pSqlState = nullptr) const;

    // The statement InsertIntoTable prepares for strTable, with one "?" per value.
    static QString InsertStatement(const QString &strTable);
    static bool IsPlainIdentifier(const QString &strName);

private:
    QDateTime m_dateTime;
    QString m_strMcuId;
    QString m_strProduct;
    QString m_strCheckSum;
    QString m_strBatch;
    QString m_strSN;
    QString m_strAppInfo;
    QString m_strHostOS;
    QString m_strHostIp;
    QString m_strHostMac;
    QString m_strResult;
    QString m_strLogUrl;
};
