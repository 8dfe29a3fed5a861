#include "testrecord.h"

#include "deviceinfokey.h"
#include "sqldatabase.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

CTestRecord CTestRecord::OfRun(const NameValueList &lstDevice, const NameValueList &lstEnvironment,
                               const QString &strLogPath, const QString &strResult, const QString &strWorkDir,
                               const QDateTime &dateTime)
{
    CTestRecord record;
    record.SetDateTime(dateTime);
    for (const auto &item : lstDevice) {
        if (item.first == DeviceInfoKey::kMcuID)
            record.SetMcuId(item.second);
        else if (item.first == DeviceInfoKey::kProduct)
            record.SetProduct(item.second);
        else if (item.first == DeviceInfoKey::kCheckSum)
            record.SetCheckSum(item.second);
        else if (item.first == DeviceInfoKey::kBatchInfo)
            record.SetSN(item.second);
    }
    for (const auto &item : lstEnvironment) {
        if (item.first == QLatin1String("App Version"))
            record.SetAppInfo(item.second);
        else if (item.first == QLatin1String("Environment"))
            record.SetHostOS(item.second);
        else if (item.first == QLatin1String("IPAddr"))
            record.SetHostIp(item.second);
        else if (item.first == QLatin1String("MacAddr"))
            record.SetHostMac(item.second);
    }
    record.SetResult(strResult);
    // Only as the leading folder: a folder of that name further on stays,
    // and a working folder "/" leaves "/Data/..." too.
    QString strUrl = strLogPath;
    if (!strWorkDir.isEmpty() && strUrl.startsWith(strWorkDir + QLatin1Char('/')))
        strUrl.remove(0, strWorkDir.size());
    record.SetLogUrl(strUrl);
    return record;
}

namespace {
// A null QString binds as NULL; the row keeps an empty text as ''.
QVariant Text(const QString &str)
{
    return str.isNull() ? QVariant(QString::fromLatin1("")) : QVariant(str);
}
} // namespace

bool CTestRecord::IsPlainIdentifier(const QString &strName)
{
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return re.match(strName).hasMatch();
}

QString CTestRecord::InsertStatement(const QString &strTable)
{
    return QStringLiteral("insert into ") + strTable
        + QStringLiteral(" (Test_DateTime, Device_McuId, Device_Product, Device_CheckSum, Device_Batch, "
                         "Device_SN, Test_AppInfo, Test_HostOS, Test_HostIp, Test_HostMac, Test_Result, "
                         "Test_LogUrl) values (to_date(? , 'yyyy-mm-dd hh24:mi:ss'), ?, ?, ?, ?, ?, ?, ?, "
                         "?, ?, ?, ?)");
}

bool CTestRecord::InsertIntoTable(const QString &strTable, QSqlError *pError, QString *pSqlState) const
{
    return InsertIntoTable(QSqlDatabase::database(QLatin1String(QSqlDatabase::defaultConnection), false), strTable,
                           pError, pSqlState);
}

bool CTestRecord::InsertIntoTable(const QSqlDatabase &db, const QString &strTable, QSqlError *pError,
                                  QString *pSqlState) const
{
    if (!IsPlainIdentifier(strTable)) {
        if (pError)
            *pError = QSqlError(QString(), QStringLiteral("the table name is not a plain identifier"),
                                QSqlError::StatementError);
        return false;
    }
    QSqlQuery query(db);
    bool bOk = query.prepare(InsertStatement(strTable));
    if (bOk) {
        CSqlDatabase::BoundStatement(query);
        query.addBindValue(m_dateTime.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        for (const QString *pField : {&m_strMcuId, &m_strProduct, &m_strCheckSum, &m_strBatch, &m_strSN,
                                      &m_strAppInfo, &m_strHostOS, &m_strHostIp, &m_strHostMac, &m_strResult,
                                      &m_strLogUrl})
            query.addBindValue(Text(*pField));
        bOk = query.exec();
    }
    if (!bOk && pError)
        *pError = query.lastError();
    if (!bOk && pSqlState)
        *pSqlState = CSqlDatabase::SqlState(query);
    return bOk;
}
