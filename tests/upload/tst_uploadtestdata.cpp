// The server description "ServerInfo.ini" switches the upload on by its
// presence alone, is read as written, and its ports are checked; one that
// cannot be read is told and read again at Retry; the upload service that
// the test view calls can be replaced in tests; owed logs planted as links
// never send what they point at. Real PostgreSQL and FTP servers on
// 127.0.0.1.

#include "filemodesenforced.h"
#include "ftpclient.h"
#include "modalboxanswerer.h"
#include "pendinglogs.h"
#include "readfile.h"
#include "runlogcapture.h"
#include "testenvironment.h"
#include "testrecord.h"
#include "uploadservers.h"
#include "uploadservice.h"
#include "uploadtestdata.h"
#include "waitfor.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
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
    void unreadableDescriptionConnectsToNothing_data();
    void unreadableDescriptionConnectsToNothing();
    void plantedOwedLinksAreNotSent_data();
    void plantedOwedLinksAreNotSent();

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

namespace {

// ServerInfo.ini in the working folder, with these bytes.
bool WriteDescription(const QByteArray &content)
{
    QFile::remove(QStringLiteral("ServerInfo.ini"));
    return WriteFile(QDir::currentPath(), QStringLiteral("/ServerInfo.ini"), content);
}

} // namespace

void TestUploadTestData::unreadableDescriptionConnectsToNothing_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: a good description made unreadable
    QTest::addColumn<QString>("why");        // in the Warning
    QTest::addColumn<bool>("retry");         // else Cancel at the first box

    // QSettings reads it with a format error (status() FormatError).
    const QByteArray unclosed = "[FtpServer\nUrl=127.0.0.1\nPortNo=" + Value("FTP_PORT").toUtf8() + "\n";
    QTest::newRow("section without its ], Retry") << unclosed << "not in the INI format" << true;
    QTest::newRow("section without its ], Cancel") << unclosed << "not in the INI format" << false;
    // A description that reads well but for its size: never read at all.
    QByteArray padded = "[FtpServer]\nUrl=127.0.0.1\nPortNo=" + Value("FTP_PORT").toUtf8() + "\n";
    while (padded.size() <= CUploadTestData::kMaxFileBytes)
        padded.append("; padding of the description, a comment line\n");
    QTest::newRow("over its bound, Retry") << padded << QString::number(CUploadTestData::kMaxFileBytes) << true;
    QTest::newRow("over its bound, Cancel") << padded << QString::number(CUploadTestData::kMaxFileBytes) << false;
    QTest::newRow("not readable, Retry") << QByteArray() << "Permission denied" << true;
    // Random bytes mostly parse as settings without a format error (and with
    // no keys): they are told as no text, not as a network problem.
    QByteArray random(3000, '\0');
    QRandomGenerator generator(44);
    for (char &c : random)
        c = char(generator.bounded(256));
    QTest::newRow("3,000 random bytes, Cancel") << random << "it is not text" << false;
}

// A ServerInfo.ini that cannot be read is said so, naming the file, in the
// run log and in the box where the operator waits; no server is connected
// to; Retry reads the file again (unchanged, it is asked again; mended, the
// run is stored and its log uploaded), Cancel stores nothing.
void TestUploadTestData::unreadableDescriptionConnectsToNothing()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, why);
    QFETCH(bool, retry);

    std::unique_ptr<CFileModesEnforced> modes;
    if (content.isEmpty()) {
        WriteServerInfo(SServerInfo::Default(), QDir::currentPath());
        QVERIFY(QFile::setPermissions(QStringLiteral("ServerInfo.ini"), QFileDevice::Permissions()));
        modes = std::make_unique<CFileModesEnforced>();
        QVERIFY(modes->IsActive());
    } else {
        QVERIFY(WriteDescription(content));
    }
    const QString strFile = QDir::current().absoluteFilePath(QStringLiteral("ServerInfo.ini"));
    const int nRows = RowCount();
    CRunLogCapture log;
    CModalBoxAnswerer answerer;
    answerer.Answer(retry ? QStringLiteral("Retry") : QStringLiteral("Cancel"));
    // Nothing connects while the file cannot be read.
    QStringList connectedBefore;
    answerer.OnShown([&](const CModalBoxAnswerer::SBox &) {
        connectedBefore = log.Lines().filter(QRegularExpression(QStringLiteral("DataBase|FTP ")));
        // At the second box the file is mended: the next read takes it.
        // Any later box is cancelled.
        if (retry && answerer.boxes.size() == 2) {
            answerer.Answer(QStringLiteral("Cancel"));
            modes.reset();
            WriteServerInfo(SServerInfo::Default(), QDir::currentPath());
        }
    });

    const CTestRecord record = RunRecord();
    QCOMPARE(CUploadService::Instance()->UploadTestData(record), retry);

    QCOMPARE(answerer.boxes.size(), retry ? 2 : 1);
    const CModalBoxAnswerer::SBox box = answerer.boxes.first();
    QCOMPARE(box.title, QStringLiteral("Error!"));
    QVERIFY2(box.text.contains(QStringLiteral("server description ") + strFile + QStringLiteral(" cannot be read")),
             qPrintable(box.text));
    QCOMPARE(box.buttons, (QStringList{"Retry", "Cancel"}));
    QVERIFY2(connectedBefore.isEmpty(), qPrintable(connectedBefore.join(QLatin1Char('\n'))));
    const QStringList warnings = log.Lines(QtWarningMsg).filter(QStringLiteral("server description"));
    QVERIFY(warnings.size() >= (retry ? 2 : 1));
    QVERIFY2(warnings.first().contains(strFile) && warnings.first().contains(why),
             qPrintable(warnings.first()));
    if (!retry) {
        QVERIFY(!CUploadTestData::GetInstance());
        QCOMPARE(RowCount(), nRows);
        QVERIFY(FtpCommands().isEmpty());
        QVERIFY(log.Lines(QtWarningMsg).filter(QStringLiteral("Upload cancelled")).filter(record.GetLogUrl()).size()
                == 1);
        return;
    }
    CUploadTestData *pUpload = CUploadTestData::GetInstance();
    QVERIFY(pUpload);
    QCOMPARE(Rows(record.GetSN()).size(), 1);
    QVERIFY(WaitFor([pUpload] { return pUpload->FtpClient()->IsIdle(); }));
    QCOMPARE(FtpFile(record.GetLogUrl()), record.GetSN().toUtf8());
}

void TestUploadTestData::plantedOwedLinksAreNotSent_data()
{
    QTest::addColumn<QString>("link");   // below the working folder
    QTest::addColumn<QString>("target"); // what it names, from the link's folder
    QTest::addColumn<bool>("trueLogSent");

    QTest::newRow("owed log linked to ServerInfo.ini") << "/Data/X1/1A2B/planted.xml" << "../../../ServerInfo.ini"
                                                       << true;
    QTest::newRow("Data/ itself a link") << "/Data" << "Private" << false;
}

// Owed entries of FtpPending.txt settled at the start: one that is a link
// to the server description (or reaches it through a linked Data/) is
// dropped with a Warning; only a true log goes up, and the list ends empty.
void TestUploadTestData::plantedOwedLinksAreNotSent()
{
    QFETCH(QString, link);
    QFETCH(QString, target);
    QFETCH(bool, trueLogSent);

    const QString strHere = QDir::currentPath();
    WriteServerInfo(SServerInfo::Default(), strHere);
    const QString strPlanted = QStringLiteral("/Data/X1/1A2B/planted.xml");
    const QString strTrue = QStringLiteral("/Data/X1/1A2B/true.xml");
    const QString strLogs = link == QLatin1String("/Data") ? QStringLiteral("/Private/X1/1A2B/")
                                                           : QStringLiteral("/Data/X1/1A2B/");
    QVERIFY(WriteFile(strHere, strLogs + QStringLiteral("true.xml"), "true log"));
    QVERIFY(WriteFile(strHere, QStringLiteral("/Private/X1/1A2B/planted.xml"), "planted"));
    QVERIFY(QFile::link(target, strHere + link));
    QVERIFY(WriteFile(strHere, QLatin1Char('/') + QLatin1String(CPendingLogs::kFileName),
                      "owed\t\t" + strPlanted.toUtf8() + "\nowed\t\t" + strTrue.toUtf8() + "\n"));
    CRunLogCapture log;
    CModalBoxAnswerer answerer;

    CUploadTestData::SettleAtStart();
    CUploadTestData *pUpload = CUploadTestData::GetInstance();
    QVERIFY(pUpload);
    QVERIFY(WaitFor([pUpload] { return pUpload->FtpClient()->IsIdle(); }));

    bool bThere = false;
    QCOMPARE(FtpFile(strTrue, &bThere), trueLogSent ? QByteArray("true log") : QByteArray());
    QCOMPARE(bThere, trueLogSent);
    const QByteArray description = StationTest::ReadFile(strHere + QStringLiteral("/ServerInfo.ini"));
    QVERIFY(!description.isEmpty());
    const QStringList onServer = FtpFiles();
    for (const QString &strFile : onServer)
        QVERIFY2(FtpFile(strFile) != description, qPrintable(strFile));
    QCOMPARE(onServer, trueLogSent ? QStringList{strTrue} : QStringList());
    QVERIFY(pUpload->PendingLogs().IsEmpty());
    QVERIFY(log.Lines(QtWarningMsg).filter(QStringLiteral("is a link")).size() >= 1);
    QVERIFY(answerer.boxes.isEmpty());
}

STATION_TEST_MAIN(TestUploadTestData)
#include "tst_uploadtestdata.moc"
