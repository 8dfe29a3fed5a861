// One finished run from the record to the server: a working folder with
// "ServerInfo.ini" and the run's test log below Data/, a record filled the
// way the test view fills it (frame properties, station environment, result,
// log path without the working folder), handed to the upload service. The
// database is reached through ODBC as on a station, by a role whose
// password needs quoting; the log goes to the FTP server.

#include "ftpclient.h"
#include "modalboxanswerer.h"
#include "operateenvironment.h"
#include "runlogcapture.h"
#include "testenvironment.h"
#include "testrecord.h"
#include "uploadservers.h"
#include "uploadservice.h"
#include "uploadtestdata.h"
#include "waitfor.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace UploadServers;
using StationTest::WaitFor;

namespace {

using NameValueList = QList<QPair<QString, QString>>;

// The record of a run as the test view makes it.
CTestRecord RecordOfRun(const NameValueList &properties, const NameValueList &environment, const QString &strLogPath,
                        const QString &strResult)
{
    return CTestRecord::OfRun(properties, environment, strLogPath, strResult, QDir::currentPath(),
                              QDateTime::currentDateTime());
}

QString Entry(const NameValueList &list, const char *szName)
{
    QString strValue;
    for (const auto &item : list) {
        if (item.first == QLatin1String(szName))
            strValue = item.second;
    }
    return strValue;
}

} // namespace

class TestUploadEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void finishedRunBecomesRowAndFile();
    void logOutsideTheWorkingFolderIsStoredButNotSent();

private:
    std::unique_ptr<CScopedWorkDir> m_workDir;
    NameValueList m_environment;
};

void TestUploadEndToEnd::initTestCase()
{
    QString strError;
    QVERIFY2(LoadPostgres(&strError), qPrintable(strError));
    QVERIFY2(LoadFtp(&strError), qPrintable(strError));
    COperateEnvironment environment;
    environment.CollectEnvironment();
    m_environment = *environment.GetEnvironmentList();
}

void TestUploadEndToEnd::init()
{
    m_workDir = std::make_unique<CScopedWorkDir>();
    PrepareOperatorUpload();
}

void TestUploadEndToEnd::cleanup()
{
    CUploadTestData::SetServiceForTest(nullptr);
    m_workDir.reset();
}

void TestUploadEndToEnd::finishedRunBecomesRowAndFile()
{
    const QString strSN = QStringLiteral("SN-") + QString::number(QDateTime::currentMSecsSinceEpoch());
    const NameValueList properties{{"Product", "X1"},      {"Vid", "2FE9"},    {"Pid", "0001"},
                                   {"CheckSum", "1A2B"},   {"McuID", "0xC0FFEE"}, {"BatchInfo", strSN},
                                   {"Version", "0x7201"}};
    const QString strRelative = QStringLiteral("/Data/X1/1A2B/20261205_14-03-07_250_M7_S9_PASS.xml");
    const QByteArray log = "<?xml version=\"1.0\"?>\n<touch_test result=\"PASS\"/>\n";
    QVERIFY(WriteFile(QDir::currentPath(), strRelative, log));
    CModalBoxAnswerer answerer;

    const CTestRecord record =
        RecordOfRun(properties, m_environment, QDir::currentPath() + strRelative, QStringLiteral("PASS"));
    QVERIFY(CUploadService::Instance()->UploadTestData(record));

    const QList<QVariantList> rows = Rows(strSN);
    QCOMPARE(rows.size(), 1);
    const QVariantList row = rows.first();
    QCOMPARE(row.at(0).toString(), record.GetDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    QCOMPARE(row.at(1).toString(), QStringLiteral("0xC0FFEE"));
    QCOMPARE(row.at(2).toString(), QStringLiteral("X1"));
    QCOMPARE(row.at(3).toString(), QStringLiteral("1A2B"));
    QCOMPARE(row.at(4).toString(), QString());
    QCOMPARE(row.at(6).toString(), QStringLiteral("0.0.0.6"));
    QCOMPARE(row.at(7).toString(), Entry(m_environment, "Environment"));
    QCOMPARE(row.at(8).toString(), Entry(m_environment, "IPAddr"));
    QCOMPARE(row.at(9).toString(), Entry(m_environment, "MacAddr"));
    QCOMPARE(row.at(10).toString(), QStringLiteral("PASS"));
    QCOMPARE(row.at(11).toString(), strRelative);

    CUploadTestData *pUpload = CUploadTestData::GetInstance();
    QVERIFY(WaitFor([pUpload] { return pUpload->FtpClient()->IsIdle(); }));
    QVERIFY(pUpload->FtpClient()->PendingUploads().isEmpty());
    QCOMPARE(FtpFile(strRelative), log);
    QVERIFY(answerer.boxes.isEmpty());
}

void TestUploadEndToEnd::logOutsideTheWorkingFolderIsStoredButNotSent()
{
    QTemporaryDir elsewhere;
    const QString strLogPath = elsewhere.path() + QStringLiteral("/20261205_PASS.xml");
    QVERIFY(WriteFile(elsewhere.path(), QStringLiteral("/20261205_PASS.xml"), "log"));
    const QString strSN = QStringLiteral("SN-outside-") + QString::number(QDateTime::currentMSecsSinceEpoch());
    CRunLogCapture capture;
    CModalBoxAnswerer answerer;

    const CTestRecord record = RecordOfRun({{"Product", "X1"}, {"BatchInfo", strSN}}, m_environment, strLogPath,
                                           QStringLiteral("NG2"));
    QVERIFY(CUploadService::Instance()->UploadTestData(record));

    const QList<QVariantList> rows = Rows(strSN);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().at(11).toString(), strLogPath);
    CUploadTestData *pUpload = CUploadTestData::GetInstance();
    QVERIFY(pUpload->FtpClient()->IsIdle());
    QVERIFY(pUpload->FtpClient()->PendingUploads().isEmpty());
    QCOMPARE(capture.Lines(QtWarningMsg).filter(QStringLiteral("FTP upload")).size(), 1);
    QVERIFY(FtpCommands().isEmpty());
    QVERIFY(answerer.boxes.isEmpty());
}

STATION_TEST_MAIN(TestUploadEndToEnd)
#include "tst_uploadendtoend.moc"
