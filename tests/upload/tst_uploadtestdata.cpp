// The server description "ServerInfo.ini" switches the upload on by its
// presence alone, is read as written, and its ports are checked; the upload
// service that the test view calls can be replaced in tests. Real PostgreSQL
// and FTP servers on 127.0.0.1.

#include "ftpclient.h"
#include "modalboxanswerer.h"
#include "runlogcapture.h"
#include "testenvironment.h"
#include "testrecord.h"
#include "uploadservers.h"
#include "uploadservice.h"
#include "uploadtestdata.h"
#include "waitfor.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <memory>

using namespace UploadServers;
using StationTest::WaitFor;

namespace {

// Keeps what it is given.
class CRecordingService : public CUploadService
{
public:
    bool UploadTestData(const CTestRecord &record) override
    {
        records.append(record);
        return true;
    }
    QList<CTestRecord> records;
};

} // namespace

class TestUploadTestData : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void withoutTheFileNothingIsSent();
    void fileIsTakenAtTheNextRecordAndKept();
    void serviceForTestTakesTheRecords();
    void handWrittenFileIsReadAsWritten();
    void ftpPortMustBeAPort_data();
    void ftpPortMustBeAPort();

private:
    std::unique_ptr<CScopedWorkDir> m_workDir;
};

void TestUploadTestData::initTestCase()
{
    QString strError;
    QVERIFY2(LoadPostgres(&strError), qPrintable(strError));
    QVERIFY2(LoadFtp(&strError), qPrintable(strError));
}

void TestUploadTestData::init()
{
    m_workDir = std::make_unique<CScopedWorkDir>();
    ClearFtpRoot();
    ClearFtpCommands();
}

void TestUploadTestData::cleanup()
{
    CUploadTestData::SetServiceForTest(nullptr);
    m_workDir.reset();
}

void TestUploadTestData::withoutTheFileNothingIsSent()
{
    CModalBoxAnswerer answerer;
    CRunLogCapture log;
    const int nBefore = RowCount();
    QVERIFY(!CUploadTestData::GetInstance());
    QVERIFY(!CUploadService::Instance()->UploadTestData(RunRecord()));
    QVERIFY(!CUploadService::Instance()->UploadTestData(RunRecord()));
    QVERIFY(!CUploadTestData::GetInstance());

    QCOMPARE(RowCount(), nBefore);
    QVERIFY(FtpCommands().isEmpty());
    QVERIFY(answerer.boxes.isEmpty());
    QVERIFY(log.Lines().isEmpty());
}

void TestUploadTestData::fileIsTakenAtTheNextRecordAndKept()
{
    CModalBoxAnswerer answerer;
    QVERIFY(!CUploadService::Instance()->UploadTestData(RunRecord()));

    // Written while the station runs: the next record finds it.
    WriteServerInfo(SServerInfo::Default(), QDir::currentPath());
    const CTestRecord first = RunRecord();
    QVERIFY(CUploadService::Instance()->UploadTestData(first));
    CUploadTestData *pUpload = CUploadTestData::GetInstance();
    QVERIFY(pUpload);
    QCOMPARE(Rows(first.GetSN()).size(), 1);

    // Removed afterwards: nothing changes.
    QVERIFY(QFile::remove(QStringLiteral("ServerInfo.ini")));
    const CTestRecord second = RunRecord();
    QVERIFY(CUploadService::Instance()->UploadTestData(second));
    QCOMPARE(CUploadTestData::GetInstance(), pUpload);
    QCOMPARE(Rows(second.GetSN()).size(), 1);

    QVERIFY(WaitFor([pUpload] { return pUpload->FtpClient()->IsIdle(); }));
    QCOMPARE(FtpFile(first.GetLogUrl()), first.GetSN().toUtf8());
    QCOMPARE(FtpFile(second.GetLogUrl()), second.GetSN().toUtf8());
    QVERIFY(answerer.boxes.isEmpty());
}

void TestUploadTestData::serviceForTestTakesTheRecords()
{
    WriteServerInfo(SServerInfo::Default(), QDir::currentPath());
    const int nBefore = RowCount();
    CRecordingService recording;
    CUploadTestData::SetServiceForTest(&recording);
    QCOMPARE(CUploadService::Instance(), &recording);

    const CTestRecord record = RunRecord();
    QVERIFY(CUploadService::Instance()->UploadTestData(record));
    QCOMPARE(recording.records.size(), 1);
    QCOMPARE(recording.records.first().GetSN(), record.GetSN());
    QCOMPARE(recording.records.first().GetLogUrl(), record.GetLogUrl());
    QCOMPARE(recording.records.first().GetDateTime(), record.GetDateTime());
    QCOMPARE(RowCount(), nBefore);

    // Null brings the real service back, which finds the file.
    CUploadTestData::SetServiceForTest(nullptr);
    QVERIFY(CUploadService::Instance() != &recording);
    const CTestRecord stored = RunRecord();
    QVERIFY(CUploadService::Instance()->UploadTestData(stored));
    QCOMPARE(recording.records.size(), 1);
    QCOMPARE(Rows(stored.GetSN()).size(), 1);
    QVERIFY(WaitFor([] { return CUploadTestData::GetInstance()->FtpClient()->IsIdle(); }));
}

void TestUploadTestData::handWrittenFileIsReadAsWritten()
{
    // As a site writes it: a password with ';', '}', '=' and '{' in quotes
    // (';' would start a comment otherwise), the FTP user's key missing.
    QFile file(QStringLiteral("ServerInfo.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QTextStream out(&file);
    out << "[FtpServer]\nUrl=127.0.0.1\nPortNo=" << Value("FTP_PORT") << "\nPassword=" << Value("FTP_PASSWORD")
        << "\n\n[Database]\nServer=127.0.0.1\nPortNo=" << Value("PGPORT") << "\nType=SQL SERVER\nName="
        << Value("PGDATABASE") << "\nUser=" << Value("PG_OP_USER") << "\nPassword=\"" << Value("PG_OP_PASSWORD")
        << "\"\n";
    out.flush();
    file.close();

    CRunLogCapture log;
    CModalBoxAnswerer answerer;
    CUploadTestData *pUpload = CUploadTestData::GetInstance();
    QVERIFY(pUpload);
    QVERIFY2(log.Contains(QStringLiteral("DataBase Open Success")), qPrintable(log.Lines().join('\n')));
    QVERIFY(!log.Lines().join(QLatin1Char('\n')).contains(Value("PG_OP_PASSWORD")));
    QCOMPARE(pUpload->value(QStringLiteral("FtpServer/User")).toString(), QString());

    // The missing FTP user is an empty one: the server refuses the login.
    CTestRecord record = RunRecord();
    pUpload->UploadTestData(record);
    QCOMPARE(Rows(record.GetSN()).size(), 1);
    QVERIFY(WaitFor([pUpload] { return pUpload->FtpClient()->IsIdle(); }));
    QCOMPARE(pUpload->FtpClient()->PendingUploads().size(), 1);
    QVERIFY(log.Contains(QStringLiteral("FTP login refused")));
    QVERIFY(answerer.boxes.isEmpty());
}

void TestUploadTestData::ftpPortMustBeAPort_data()
{
    QTest::addColumn<QString>("port"); // null: no key
    QTest::addColumn<bool>("valid");
    QTest::newRow("the server's port") << Value("FTP_PORT") << true;
    QTest::newRow("70000 (4464 in 16 bits)") << "70000" << false;
    QTest::newRow("not a number") << "ftp" << false;
    QTest::newRow("negative") << "-21" << false;
    QTest::newRow("zero") << "0" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("missing") << QString() << false;
}

void TestUploadTestData::ftpPortMustBeAPort()
{
    QFETCH(QString, port);
    QFETCH(bool, valid);
    SServerInfo info = SServerInfo::Default();
    info.ftpPort = port;
    WriteServerInfo(info, QDir::currentPath());
    CRunLogCapture log;
    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Cancel"));

    CUploadTestData *pUpload = CUploadTestData::GetInstance();
    QVERIFY(pUpload);
    const QStringList portWarnings = log.Lines(QtWarningMsg).filter(QStringLiteral("FtpServer/PortNo"));
    QCOMPARE(portWarnings.size(), valid ? 0 : 1);
    if (!valid)
        QVERIFY(portWarnings.first().contains(QLatin1Char('"') + port + QLatin1Char('"')));

    CTestRecord record = RunRecord();
    pUpload->UploadTestData(record);
    QVERIFY(WaitFor([&] { return pUpload->FtpClient()->IsIdle(); }));
    QCOMPARE(answerer.boxes.size(), valid ? 0 : 1);
    QCOMPARE(pUpload->FtpClient()->PendingUploads().size(), valid ? 0 : 1);
    QCOMPARE(FtpCommands().isEmpty(), !valid);
}

STATION_TEST_MAIN(TestUploadTestData)
#include "tst_uploadtestdata.moc"
