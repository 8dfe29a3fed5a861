// The FTP client against a real FTP server on 127.0.0.1 (ftpserver.sh): the
// path below the server's root, folders made on demand, the log sent under a
// temporary name and renamed into place, the URL, the pending uploads, the
// Retry/Cancel box when the server cannot be reached, refusals, a slow link,
// a station killed during a transfer, and paths that must never leave the
// working folder.

#include "filemodesenforced.h"
#include "ftpclient.h"
#include "modalboxanswerer.h"
#include "runlogcapture.h"
#include "testenvironment.h"
#include "uploadservers.h"
#include "waitfor.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace UploadServers;
using StationTest::WaitFor;

namespace {

const char *const kFtpBoxText =
    "Connect to the FTP server error, please check the internet and retry or contact the IT department...";

// The child process of killedDuringTransferLeavesNoCutLog: its working
// folder, and the server it sends to ("port user password").
const char *const kChildDirEnv = "FTP_TEST_CHILD_DIR";
const char *const kChildServerEnv = "FTP_TEST_CHILD_SERVER";

bool IsChild()
{
    return qEnvironmentVariableIsSet(kChildDirEnv);
}

// Deterministic bytes, different for every tag.
QByteArray Content(const QString &strTag, int nSize)
{
    QByteArray bytes;
    bytes.reserve(nSize);
    QRandomGenerator generator(qHash(strTag));
    while (bytes.size() < nSize)
        bytes.append(char(generator.bounded(256)));
    return bytes;
}

std::unique_ptr<CFtpClient> MakeClient(const QString &strHost = QStringLiteral("127.0.0.1"))
{
    return std::make_unique<CFtpClient>(strHost, Value("FTP_PORT").toInt(), Value("FTP_USER"),
                                        Value("FTP_PASSWORD"));
}

// Whether expected occurs in commands in this order (other commands between).
bool InOrder(const QStringList &commands, const QStringList &expected)
{
    int nAt = 0;
    for (const QString &strCommand : commands) {
        if (nAt < expected.size() && strCommand == expected.at(nAt))
            ++nAt;
    }
    return nAt == expected.size();
}

QStringList Matching(const QStringList &commands, const QString &strPrefix)
{
    QStringList found;
    for (const QString &strCommand : commands) {
        if (strCommand.startsWith(strPrefix))
            found << strCommand;
    }
    return found;
}

// The client's own warnings (the offscreen platform adds some of its own).
QStringList FtpWarnings(const CRunLogCapture &log)
{
    return log.Lines(QtWarningMsg).filter(QRegularExpression(QStringLiteral("^FTP ")));
}

int OpenDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

// Lowers this process's limit of open files while it lives.
class COpenFileLimit
{
public:
    explicit COpenFileLimit(rlim_t nFiles)
    {
        getrlimit(RLIMIT_NOFILE, &m_old);
        rlimit lim = m_old;
        lim.rlim_cur = nFiles;
        m_bActive = setrlimit(RLIMIT_NOFILE, &lim) == 0;
    }
    ~COpenFileLimit() { setrlimit(RLIMIT_NOFILE, &m_old); }
    COpenFileLimit(const COpenFileLimit &) = delete;
    COpenFileLimit &operator=(const COpenFileLimit &) = delete;
    bool IsActive() const { return m_bActive; }

private:
    rlimit m_old{};
    bool m_bActive = false;
};

// Makes a file unreadable for the calling thread while it lives: mode 000,
// held to file modes although the tests run as root.
class CUnreadableFile
{
public:
    explicit CUnreadableFile(const QString &strPath)
        : m_path(QFile::encodeName(strPath))
    {
        struct stat st{};
        if (::stat(m_path.constData(), &st) != 0 || ::chmod(m_path.constData(), 0) != 0)
            return;
        m_mode = st.st_mode & 07777;
        m_modes = std::make_unique<CFileModesEnforced>();
        QFile probe(strPath);
        m_bActive = m_modes->IsActive() && !probe.open(QIODevice::ReadOnly);
    }
    ~CUnreadableFile() { Restore(); }
    CUnreadableFile(const CUnreadableFile &) = delete;
    CUnreadableFile &operator=(const CUnreadableFile &) = delete;

    bool IsActive() const { return m_bActive; }
    void Restore()
    {
        m_modes.reset();
        if (m_mode)
            ::chmod(m_path.constData(), m_mode);
        m_mode = 0;
        m_bActive = false;
    }

private:
    QByteArray m_path;
    mode_t m_mode = 0;
    std::unique_ptr<CFileModesEnforced> m_modes;
    bool m_bActive = false;
};

} // namespace

class TestFtpClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void uploadGoesBelowTheRoot_data();
    void uploadGoesBelowTheRoot();
    void resentLogReplacesTheOneOnTheServer_data();
    void resentLogReplacesTheOneOnTheServer();
    void owedLogIsLookedForBeforeItIsSent_data();
    void owedLogIsLookedForBeforeItIsSent();
    void severalUploadsGoOneAfterTheOther();
    void missingFileGivesTheUrlAndNoTransfer();
    void hostilePathsAreRefused_data();
    void hostilePathsAreRefused();
    void noLinkBelowTheWorkingFolderIsFollowed_data();
    void noLinkBelowTheWorkingFolderIsFollowed();
    void emptyHostAsksRetryOrCancel();
    void stoppedServerAsksOnceAndRetrySendsEveryPendingFile();
    void silentServerAsksRetryOrCancel_data();
    void silentServerAsksRetryOrCancel();
    void refusalsKeepTheUploadForTheNextSuccess_data();
    void refusalsKeepTheUploadForTheNextSuccess();
    void largeLogArrivesByteForByte();
    void slowLinkDeliversTheWholeLog_data();
    void slowLinkDeliversTheWholeLog();
    void killedDuringTransferLeavesNoCutLog();
    void uploadUntilKilledChild();
    void endDuringTheFinalReplyIsBounded();
    void manyPendingLogsArriveUnderALowFileLimit();
    void unopenableLogStaysPendingForTheNextUpload_data();
    void unopenableLogStaysPendingForTheNextUpload();
    void pendingUploadsAreNamedWhenTheClientEnds();

private:
    std::unique_ptr<CScopedWorkDir> m_workDir;
    std::unique_ptr<COpenFileLimit> m_fileLimit;
};

void TestFtpClient::initTestCase()
{
    // A child leaves the server and its switch as its parent set them.
    if (IsChild())
        return;
    QString strError;
    QVERIFY2(LoadFtp(&strError), qPrintable(strError));
}

void TestFtpClient::init()
{
    m_workDir = std::make_unique<CScopedWorkDir>();
    if (IsChild())
        return;
    SetFtpSwitch(QString());
    ClearFtpRoot();
    ClearFtpCommands();
}

void TestFtpClient::cleanup()
{
    m_fileLimit.reset();
    if (!IsChild()) {
        SetFtpSwitch(QString());
        QVERIFY(ResumeFtp());
    }
    m_workDir.reset();
}

void TestFtpClient::uploadGoesBelowTheRoot_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("present");   // folder made on the server beforehand
    QTest::addColumn<QStringList>("folders"); // CWD, and MKD where one is missing, in order
    QTest::addColumn<bool>("makes");

    // The log goes under a temporary name beside its own, which it takes
    // only once the server has the whole file.
    auto stored = [](const QString &strName) {
        return QStringList{"STOR " + strName + ".part", "DELE " + strName, "RNFR " + strName + ".part",
                           "RNTO " + strName};
    };
    QTest::newRow("both folders present") << "/Data/A/log.xml" << "/Data/A"
                                          << QStringList{"CWD /", "CWD Data", "CWD A"} + stored("log.xml") << false;
    QTest::newRow("last folder missing")
        << "/Data/A/log.xml" << "/Data"
        << QStringList{"CWD /", "CWD Data", "CWD A", "MKD A", "CWD A"} + stored("log.xml") << true;
    QTest::newRow("two folders missing")
        << "/Data/B/log.xml" << ""
        << QStringList{"CWD /", "CWD Data", "MKD Data", "CWD Data", "CWD B", "MKD B", "CWD B"} + stored("log.xml")
        << true;
    QTest::newRow("file at the root") << "/log.xml" << "" << QStringList{"CWD /"} + stored("log.xml") << false;
    QTest::newRow("blank, hash, percent and semicolon")
        << "/Data/2026 03/SN#1 100%41;type=a.xml" << ""
        << QStringList{"CWD /", "CWD Data", "MKD Data", "CWD 2026 03", "MKD 2026 03"}
               + stored("SN#1 100%41;type=a.xml")
        << true;
    QTest::newRow("Chinese names") << "/数据/传感器/日志.xml" << ""
                                   << QStringList{"CWD /", "MKD 数据", "MKD 传感器"} + stored("日志.xml") << true;
}

void TestFtpClient::uploadGoesBelowTheRoot()
{
    QFETCH(QString, path);
    QFETCH(QString, present);
    QFETCH(QStringList, folders);
    QFETCH(bool, makes);

    if (!present.isEmpty())
        QVERIFY(MakeFtpFolder(present));
    const QByteArray content = Content(path, 3000);
    QVERIFY(WriteFile(QDir::currentPath(), path, content));
    auto client = MakeClient();
    CModalBoxAnswerer answerer;

    QCOMPARE(client->UploadFile(path), QStringLiteral("ftp://127.0.0.1") + path);
    QCOMPARE(client->PendingUploads().values(), QStringList{path});
    QVERIFY(WaitFor([&] { return client->IsIdle(); }));

    QVERIFY(client->PendingUploads().isEmpty());
    bool bExists = false;
    QCOMPARE(FtpFile(path, &bExists), content);
    QVERIFY(bExists);
    const QStringList commands = FtpCommands();
    QVERIFY2(InOrder(commands, folders), qPrintable(commands.join(QLatin1String(" | "))));
    QCOMPARE(Matching(commands, QStringLiteral("CWD ")).first(), QStringLiteral("CWD /"));
    QCOMPARE(!Matching(commands, QStringLiteral("MKD ")).isEmpty(), makes);
    QVERIFY(!commands.join(QLatin1Char('\n')).contains(Value("FTP_PASSWORD")));
    QCOMPARE(FtpPartFiles(), QStringList());
    QVERIFY(answerer.boxes.isEmpty());
}

void TestFtpClient::resentLogReplacesTheOneOnTheServer_data()
{
    QTest::addColumn<QString>("serverSwitch");
    QTest::newRow("server renames over a name") << "";
    QTest::newRow("server renames onto free names only") << "no-rename-over";
}

// A log sent again (its first delivery's answer was lost) takes the place of
// the one there, also on a server that refuses to rename onto a name in use.
void TestFtpClient::resentLogReplacesTheOneOnTheServer()
{
    QFETCH(QString, serverSwitch);
    const QString strPath = QStringLiteral("/Data/A/log.xml");
    QVERIFY(MakeFtpFolder(QStringLiteral("/Data/A")));
    QFile old(Value("FTP_ROOT") + strPath);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("an earlier copy") > 0);
    old.close();
    const QByteArray content = Content(strPath, 2000);
    QVERIFY(WriteFile(QDir::currentPath(), strPath, content));
    SetFtpSwitch(serverSwitch);
    CRunLogCapture log;
    auto client = MakeClient();

    client->UploadFile(strPath);
    QVERIFY(WaitFor([&] { return client->IsIdle(); }));
    QVERIFY2(FtpWarnings(log).isEmpty(), qPrintable(FtpWarnings(log).join(QLatin1Char('\n'))));
    QVERIFY(client->PendingUploads().isEmpty());
    QCOMPARE(FtpFile(strPath), content);
    QCOMPARE(FtpPartFiles(), QStringList());
}

void TestFtpClient::owedLogIsLookedForBeforeItIsSent_data()
{
    QTest::addColumn<QString>("serverSwitch");
    QTest::addColumn<QString>("onServer"); // what the log's own name holds there: "same", "other" or "none"
    QTest::addColumn<bool>("sent");

    QTest::newRow("the same size there") << "" << "same" << false;
    // Nothing is deleted: the log's name keeps the whole log.
    QTest::newRow("the same size there, renames refused") << "refuse-rename" << "same" << false;
    QTest::newRow("another size there") << "" << "other" << true;
    QTest::newRow("only its temporary name there") << "" << "part" << true;
    QTest::newRow("not there") << "" << "none" << true;
    QTest::newRow("server without SIZE") << "no-size" << "same" << true;
}

// A log owed from an earlier run may be on the server already (the station
// was killed during its rename): its own name is asked for first, and the
// same size there settles it without a transfer, a delete or a rename.
void TestFtpClient::owedLogIsLookedForBeforeItIsSent()
{
    QFETCH(QString, serverSwitch);
    QFETCH(QString, onServer);
    QFETCH(bool, sent);

    const QString strPath = QStringLiteral("/Data/X1/1A2B/owed.xml");
    const QByteArray content = Content(strPath, 2500);
    QVERIFY(WriteFile(QDir::currentPath(), strPath, content));
    QVERIFY(MakeFtpFolder(QStringLiteral("/Data/X1/1A2B")));
    if (onServer == QLatin1String("same"))
        QVERIFY(WriteFile(Value("FTP_ROOT"), strPath, content));
    else if (onServer == QLatin1String("other"))
        QVERIFY(WriteFile(Value("FTP_ROOT"), strPath, content.left(1000)));
    else if (onServer == QLatin1String("part"))
        QVERIFY(WriteFile(Value("FTP_ROOT"), strPath + ".part", content.left(1000)));
    SetFtpSwitch(serverSwitch);
    CRunLogCapture log;
    CModalBoxAnswerer answerer;
    auto client = MakeClient();
    QSignalSpy delivered(client.get(), &CFtpClient::UploadDelivered);

    QCOMPARE(client->UploadOwedFile(strPath), QStringLiteral("ftp://127.0.0.1") + strPath);
    QVERIFY(WaitFor([&] { return client->IsIdle(); }));

    const QStringList commands = FtpCommands();
    const QString strCommands = commands.join(QLatin1String(" | "));
    QVERIFY2(commands.contains(QStringLiteral("SIZE owed.xml")), qPrintable(strCommands));
    QCOMPARE(Matching(commands, QStringLiteral("STOR ")).size(), sent ? 1 : 0);
    if (!sent) {
        QVERIFY2(Matching(commands, QStringLiteral("DELE ")).isEmpty(), qPrintable(strCommands));
        QVERIFY2(Matching(commands, QStringLiteral("RNFR ")).isEmpty(), qPrintable(strCommands));
        QVERIFY(log.Lines(QtInfoMsg).filter(QStringLiteral("is on the server already")).size() == 1);
    }
    QCOMPARE(FtpFile(strPath), content);
    QCOMPARE(delivered.size(), 1);
    QVERIFY(client->PendingUploads().isEmpty());
    QVERIFY2(FtpWarnings(log).isEmpty(), qPrintable(FtpWarnings(log).join(QLatin1Char('\n'))));
    QVERIFY(answerer.boxes.isEmpty());
}

void TestFtpClient::severalUploadsGoOneAfterTheOther()
{
    QStringList paths;
    for (int i = 0; i < 5; ++i) {
        paths << QStringLiteral("/Data/P%1/log%2.xml").arg(i % 2).arg(i);
        QVERIFY(WriteFile(QDir::currentPath(), paths.last(), Content(paths.last(), 1000 + i)));
    }
    auto client = MakeClient();
    for (const QString &strPath : qAsConst(paths))
        client->UploadFile(strPath);
    QCOMPARE(client->PendingUploads().keys(), (QList<int>{1, 2, 3, 4, 5}));
    QVERIFY(WaitFor([&] { return client->IsIdle(); }));

    QVERIFY(client->PendingUploads().isEmpty());
    for (const QString &strPath : qAsConst(paths))
        QCOMPARE(FtpFile(strPath), Content(strPath, 1000 + paths.indexOf(strPath)));
    QCOMPARE(Matching(FtpCommands(), QStringLiteral("RNTO ")),
             (QStringList{"RNTO log0.xml", "RNTO log1.xml", "RNTO log2.xml", "RNTO log3.xml", "RNTO log4.xml"}));
}

void TestFtpClient::missingFileGivesTheUrlAndNoTransfer()
{
    CRunLogCapture log;
    auto client = MakeClient();
    QCOMPARE(client->UploadFile(QStringLiteral("/Data/X1/none.xml")), QStringLiteral("ftp://127.0.0.1/Data/X1/none.xml"));
    QVERIFY(client->PendingUploads().isEmpty());
    QVERIFY(client->IsIdle());
    QVERIFY(log.Contains(QStringLiteral("/Data/X1/none.xml")));

    // The next upload is the first traffic of the client.
    QVERIFY(WriteFile(QDir::currentPath(), QStringLiteral("/next.xml"), "next"));
    client->UploadFile(QStringLiteral("/next.xml"));
    QVERIFY(WaitFor([&] { return client->IsIdle(); }));
    const QStringList commands = FtpCommands();
    QCOMPARE(commands.value(0), QStringLiteral("USER ") + Value("FTP_USER"));
    QCOMPARE(Matching(commands, QStringLiteral("STOR ")), QStringList{"STOR next.xml.part"});
    QVERIFY(!commands.join(QLatin1Char(' ')).contains(QLatin1String("none")));
}

void TestFtpClient::hostilePathsAreRefused_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("no leading slash") << "Data/log.xml";
    QTest::newRow("parent folder") << "/Data/../outside.xml";
    QTest::newRow("parent at the start") << "/../outside.xml";
    QTest::newRow("current folder") << "/Data/./log.xml";
    QTest::newRow("empty part") << "/Data//log.xml";
    QTest::newRow("double slash at the start") << "//etc/passwd";
    QTest::newRow("trailing slash") << "/Data/";
    QTest::newRow("backslash") << "/Data\\..\\outside.xml";
    QTest::newRow("line break") << "/Data/log.xml\r\nDELE /important";
    QTest::newRow("NUL") << QStringLiteral("/Data/log.xml") + QChar(0) + QStringLiteral(".txt");
    QTest::newRow("link to a folder outside") << "/Data/outlink/outside.xml";
    QTest::newRow("link to a file outside") << "/Data/filelink.xml";
    QTest::newRow("empty") << "";
    QTest::newRow("folder") << "/Data";
    QTest::newRow("FIFO") << "/Data/fifo.xml";
}

void TestFtpClient::hostilePathsAreRefused()
{
    QFETCH(QString, path);
    // Files exist wherever a path could lead, so only the refusal stops it.
    QTemporaryDir outside;
    QVERIFY(WriteFile(outside.path(), QStringLiteral("/outside.xml"), "secret"));
    QVERIFY(WriteFile(QDir::currentPath(), QStringLiteral("/Data/log.xml"), "log"));
    QVERIFY(WriteFile(QDir::currentPath(), QStringLiteral("/outside.xml"), "log"));
    QVERIFY(QFile::link(outside.path(), QDir::currentPath() + QStringLiteral("/Data/outlink")));
    QVERIFY(QFile::link(outside.path() + QStringLiteral("/outside.xml"),
                        QDir::currentPath() + QStringLiteral("/Data/filelink.xml")));
    QVERIFY(::mkfifo(QFile::encodeName(QDir::currentPath() + QStringLiteral("/Data/fifo.xml")).constData(), 0600) == 0);
    CRunLogCapture log;
    auto client = MakeClient();

    QCOMPARE(client->UploadFile(path), QStringLiteral("ftp://127.0.0.1") + path);
    QVERIFY(client->PendingUploads().isEmpty());
    QVERIFY(client->IsIdle());
    QCOMPARE(FtpWarnings(log).size(), 1);
    QVERIFY(FtpWarnings(log).first().contains(QLatin1String("refused")));
}

void TestFtpClient::noLinkBelowTheWorkingFolderIsFollowed_data()
{
    QTest::addColumn<QString>("link");   // below the working folder
    QTest::addColumn<QString>("target"); // what it names, relative to the link
    QTest::addColumn<bool>("whileQueued"); // made once the upload waits behind another
    QTest::addColumn<bool>("trueLogSent");

    // The server description, with its passwords, is the prize.
    QTest::newRow("log linked to ServerInfo.ini") << "/Data/X1/1A2B/planted.xml" << "../../../ServerInfo.ini"
                                                  << false << true;
    QTest::newRow("log replaced by a link while it waits")
        << "/Data/X1/1A2B/planted.xml" << "../../../ServerInfo.ini" << true << true;
    QTest::newRow("folder linked inside the working folder") << "/Data/X1/9999" << "../../Private" << false << true;
    // Every log goes through it: none is sent.
    QTest::newRow("Data/ itself a link") << "/Data" << "Private" << false << false;
}

// What is sent is a plain file reached without following a link on any
// level below the working folder, read through the descriptor that was
// checked; a link that leads back into the working folder is refused too.
void TestFtpClient::noLinkBelowTheWorkingFolderIsFollowed()
{
    QFETCH(QString, link);
    QFETCH(QString, target);
    QFETCH(bool, whileQueued);
    QFETCH(bool, trueLogSent);

    const QString strHere = QDir::currentPath();
    const QByteArray secret = "[Database]\nPassword=secret\n";
    QVERIFY(WriteFile(strHere, QStringLiteral("/ServerInfo.ini"), secret));
    QVERIFY(WriteFile(strHere, QStringLiteral("/Private/X1/1A2B/planted.xml"), secret));
    QVERIFY(WriteFile(strHere, QStringLiteral("/Private/planted.xml"), secret));
    const QString strTrue = QStringLiteral("/Data/X1/1A2B/true.xml");
    const QString strPlanted = link == QLatin1String("/Data/X1/9999") ? QStringLiteral("/Data/X1/9999/planted.xml")
                               : link == QLatin1String("/Data") ? QStringLiteral("/Data/X1/1A2B/planted.xml")
                                                                 : link;
    if (link == QLatin1String("/Data")) {
        // The true log lies in the linked folder.
        QVERIFY(WriteFile(strHere, QStringLiteral("/Private/X1/1A2B/true.xml"), "true log"));
    } else {
        QVERIFY(WriteFile(strHere, strTrue, "true log"));
        QVERIFY(WriteFile(strHere, QStringLiteral("/Data/X1/1A2B/first.xml"), Content(QStringLiteral("first"), 3000)));
    }
    const auto plant = [&] {
        QDir().mkpath(QFileInfo(strHere + link).path());
        QFile::remove(strHere + link);
        return QFile::link(target, strHere + link);
    };
    if (whileQueued)
        QVERIFY(WriteFile(strHere, link, "a log while it is queued"));
    else
        QVERIFY(plant());
    CRunLogCapture log;
    auto client = MakeClient();
    QSignalSpy dropped(client.get(), &CFtpClient::UploadDropped);

    if (whileQueued) {
        // Queued behind a transfer that runs, the link comes before its own.
        client->UploadFile(QStringLiteral("/Data/X1/1A2B/first.xml"));
        client->UploadOwedFile(strPlanted);
        QVERIFY(plant());
    } else {
        client->UploadOwedFile(strPlanted);
    }
    client->UploadOwedFile(strTrue);
    QVERIFY(WaitFor([&] { return client->IsIdle(); }));

    QVERIFY(client->PendingUploads().isEmpty());
    bool bTrueThere = false;
    QCOMPARE(FtpFile(strTrue, &bTrueThere), trueLogSent ? QByteArray("true log") : QByteArray());
    QCOMPARE(bTrueThere, trueLogSent);
    bool bPlantedThere = true;
    FtpFile(strPlanted, &bPlantedThere);
    QVERIFY(!bPlantedThere);
    QVERIFY(!Matching(FtpCommands(), QStringLiteral("STOR planted")).size());
    QCOMPARE(dropped.size(), trueLogSent ? 1 : 2);
    QCOMPARE(dropped.first().first().toString(), strPlanted);
    const QStringList refusals = FtpWarnings(log).filter(QStringLiteral("is a link"));
    QCOMPARE(refusals.size(), dropped.size());
    QVERIFY2(refusals.first().contains(link + QStringLiteral(" is a link")), qPrintable(refusals.first()));
}

void TestFtpClient::emptyHostAsksRetryOrCancel()
{
    QVERIFY(WriteFile(QDir::currentPath(), QStringLiteral("/Data/A/log.xml"), "log"));
    auto client = MakeClient(QString());
    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Retry"));
    answerer.OnShown([&](const CModalBoxAnswerer::SBox &) {
        answerer.Answer(QStringLiteral("Cancel"));
        QApplication::activeModalWidget()->grab().save(CTestEnvironment::OutputDir() + "/upload-ftp-box.png");
    });

    QCOMPARE(client->UploadFile(QStringLiteral("/Data/A/log.xml")), QStringLiteral("ftp:///Data/A/log.xml"));
    QVERIFY(answerer.boxes.isEmpty()); // the box comes with the transfer, never inside UploadFile
    QVERIFY(WaitFor([&] { return answerer.boxes.size() == 2 && client->IsIdle(); }));

    const CModalBoxAnswerer::SBox box = answerer.boxes.first();
    QCOMPARE(box.title, QStringLiteral("Error!"));
    QCOMPARE(box.text, QLatin1String(kFtpBoxText));
    QCOMPARE(box.buttons, (QStringList{"Retry", "Cancel"}));
    QCOMPARE(box.icon, QStringLiteral("Warning"));
    // Retry sent it again under a new id; Cancel kept that one.
    QCOMPARE(client->PendingUploads(), (QMap<int, QString>{{2, QStringLiteral("/Data/A/log.xml")}}));
    QVERIFY(FtpCommands().isEmpty());
}

void TestFtpClient::stoppedServerAsksOnceAndRetrySendsEveryPendingFile()
{
    const QStringList paths{"/Data/A/a.xml", "/Data/B/b.xml", "/c.xml", "/Data/A/d.xml"};
    for (const QString &strPath : paths)
        QVERIFY(WriteFile(QDir::currentPath(), strPath, Content(strPath, 500)));
    QVERIFY(PauseFtp());
    auto client = MakeClient();
    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Cancel"));

    // Three uploads queued at once: the first failure brings one box, and
    // the two behind it are not tried.
    for (int i = 0; i < 3; ++i)
        client->UploadFile(paths.at(i));
    QVERIFY(WaitFor([&] { return answerer.boxes.size() == 1 && client->IsIdle(); }));
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes.first().text, QLatin1String(kFtpBoxText));
    QCOMPARE(client->PendingUploads().keys(), (QList<int>{1, 2, 3}));

    // The next upload asks again; the server is back before the answer.
    answerer.Answer(QStringLiteral("Retry"));
    bool bResumed = false;
    answerer.OnShown([&](const CModalBoxAnswerer::SBox &) { bResumed = ResumeFtp(); });
    client->UploadFile(paths.at(3));
    QVERIFY(WaitFor([&] { return answerer.boxes.size() == 2 && client->IsIdle(); }));
    QVERIFY(bResumed);

    QVERIFY(client->PendingUploads().isEmpty());
    for (const QString &strPath : paths)
        QCOMPARE(FtpFile(strPath), Content(strPath, 500));
    // In the order of their ids.
    QCOMPARE(Matching(FtpCommands(), QStringLiteral("RNTO ")),
             (QStringList{"RNTO a.xml", "RNTO b.xml", "RNTO c.xml", "RNTO d.xml"}));
    QCOMPARE(answerer.boxes.size(), 2);
}

void TestFtpClient::silentServerAsksRetryOrCancel_data()
{
    QTest::addColumn<bool>("greets");
    QTest::newRow("no greeting") << false;
    QTest::newRow("greets, then silent") << true;
}

// A server that takes the connection and then says nothing more: the
// transfer's time bounds (shortened here) end it as an unreachable server,
// the box and the file still pending, never a transfer that hangs.
void TestFtpClient::silentServerAsksRetryOrCancel()
{
    QFETCH(bool, greets);
    CTestEnvironment::FastClock(0.1);
    const auto realClock = qScopeGuard([] { CTestEnvironment::RealClock(); });
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    int nConnections = 0;
    QByteArray received;
    connect(&silent, &QTcpServer::newConnection, &silent, [&] {
        while (QTcpSocket *pSocket = silent.nextPendingConnection()) {
            ++nConnections;
            connect(pSocket, &QTcpSocket::readyRead, pSocket, [&received, pSocket] { received += pSocket->readAll(); });
            if (greets)
                pSocket->write("220 ready\r\n");
        }
    });
    const QString strPath = QStringLiteral("/Data/A/log.xml");
    QVERIFY(WriteFile(QDir::currentPath(), strPath, Content(strPath, 500)));
    CFtpClient client(QStringLiteral("127.0.0.1"), int(silent.serverPort()), Value("FTP_USER"), Value("FTP_PASSWORD"));
    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Cancel"));
    CRunLogCapture log;

    QCOMPARE(client.UploadFile(strPath), QStringLiteral("ftp://127.0.0.1") + strPath);
    QVERIFY(WaitFor([&] { return answerer.boxes.size() == 1 && client.IsIdle(); }));

    QCOMPARE(answerer.boxes.first().text, QLatin1String(kFtpBoxText));
    QCOMPARE(client.PendingUploads().keys(), (QList<int>{1}));
    QCOMPARE(nConnections, 1);
    QCOMPARE(FtpWarnings(log).filter(QStringLiteral("unreachable")).size(), 1);
    // Greeted, the client went on to log in and then waited for the reply.
    if (greets)
        QVERIFY(WaitFor([&] { return received.startsWith("USER "); }));
}

void TestFtpClient::refusalsKeepTheUploadForTheNextSuccess_data()
{
    QTest::addColumn<QString>("serverSwitch");
    QTest::addColumn<bool>("box");
    QTest::addColumn<QString>("warning");
    QTest::newRow("login refused") << "refuse-login" << false << "FTP login refused";
    QTest::newRow("upload refused") << "refuse-upload" << false << "failed";
    // The whole log is on the server, under its temporary name only.
    QTest::newRow("rename refused") << "refuse-rename" << false << "CURLE_QUOTE_ERROR";
    QTest::newRow("connection dropped") << "drop" << true << "unreachable";
}

void TestFtpClient::refusalsKeepTheUploadForTheNextSuccess()
{
    QFETCH(QString, serverSwitch);
    QFETCH(bool, box);
    QFETCH(QString, warning);

    QVERIFY(WriteFile(QDir::currentPath(), QStringLiteral("/Data/first.xml"), "first"));
    QVERIFY(WriteFile(QDir::currentPath(), QStringLiteral("/Data/second.xml"), "second"));
    SetFtpSwitch(serverSwitch);
    CRunLogCapture log;
    auto client = MakeClient();
    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Cancel"));

    client->UploadFile(QStringLiteral("/Data/first.xml"));
    QVERIFY(WaitFor([&] { return answerer.boxes.size() == (box ? 1 : 0) && client->IsIdle(); }));
    QCOMPARE(answerer.boxes.size(), box ? 1 : 0);
    QCOMPARE(client->PendingUploads().values(), QStringList{"/Data/first.xml"});
    bool bThere = true;
    FtpFile(QStringLiteral("/Data/first.xml"), &bThere);
    QVERIFY(!bThere);
    const QStringList warnings = FtpWarnings(log);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(warning), qPrintable(warnings.first()));
    QVERIFY(!log.Lines().join(QLatin1Char('\n')).contains(Value("FTP_PASSWORD")));

    // The server accepts again: the next upload takes the first one along.
    SetFtpSwitch(QString());
    client->UploadFile(QStringLiteral("/Data/second.xml"));
    QVERIFY(WaitFor([&] { return client->IsIdle() && client->PendingUploads().isEmpty(); }));
    QCOMPARE(FtpFile(QStringLiteral("/Data/first.xml")), QByteArray("first"));
    QCOMPARE(FtpFile(QStringLiteral("/Data/second.xml")), QByteArray("second"));
    QCOMPARE(FtpPartFiles(), QStringList());
    QCOMPARE(answerer.boxes.size(), box ? 1 : 0);
}

namespace {

// The size of the file the server writes under strRelativePath (-1: none).
qint64 FtpFileSize(const QString &strRelativePath)
{
    const QFileInfo info(Value("FTP_ROOT") + strRelativePath);
    return info.exists() ? info.size() : -1;
}

} // namespace

void TestFtpClient::slowLinkDeliversTheWholeLog_data()
{
    QTest::addColumn<double>("clockScale");
    QTest::addColumn<int>("bytesPerSecond");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("replyBoundMs"); // the bound of each server reply, as scaled

    // The station hands the whole log to the socket at once and then waits
    // for the server's final reply while the server is still reading; a
    // wait bounded like every other reply ends such a transfer every time.
    QTest::newRow("shortened bounds") << 0.1 << 16384 << 40 * 1024 << 1000;
    QTest::newRow("real bounds, 20 s of transfer") << 1.0 << 2048 << 40 * 1024 << 15000;
}

void TestFtpClient::slowLinkDeliversTheWholeLog()
{
    QFETCH(double, clockScale);
    QFETCH(int, bytesPerSecond);
    QFETCH(int, size);
    QFETCH(int, replyBoundMs);
    CTestEnvironment::FastClock(clockScale);
    const auto realClock = qScopeGuard([] { CTestEnvironment::RealClock(); });
    const QString strPath = QStringLiteral("/Data/X1/1A2B/slow.xml");
    const QByteArray content = Content(strPath, size);
    QVERIFY(WriteFile(QDir::currentPath(), strPath, content));
    SetFtpSwitch(QStringLiteral("throttle %1").arg(bytesPerSecond));
    CRunLogCapture log;
    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Cancel"));
    auto client = MakeClient();

    QElapsedTimer timer;
    timer.start();
    client->UploadFile(strPath);
    QVERIFY(WaitFor([&] { return client->IsIdle(); }, 120000));
    // The throttle held: the server took longer than one reply's bound.
    QVERIFY2(timer.elapsed() > replyBoundMs, qPrintable(QString::number(timer.elapsed())));

    QVERIFY2(FtpWarnings(log).isEmpty(), qPrintable(FtpWarnings(log).join(QLatin1Char('\n'))));
    QVERIFY(answerer.boxes.isEmpty());
    QVERIFY(client->PendingUploads().isEmpty());
    QVERIFY(FtpFile(strPath) == content);
    QCOMPARE(FtpPartFiles(), QStringList());
    QCOMPARE(FtpTransfers(), QStringList{"received " + strPath + ".part"});
}

// The station is killed while a log is on its way: the server ends with a
// cut file under the temporary name at most, never under the log's own
// name, and the next upload replaces it with the whole log.
void TestFtpClient::killedDuringTransferLeavesNoCutLog()
{
    const QString strPath = QStringLiteral("/Data/X1/1A2B/killed.xml");
    const QByteArray content = Content(strPath, 64 * 1024);
    QVERIFY(WriteFile(QDir::currentPath(), strPath, content));
    SetFtpSwitch(QStringLiteral("throttle 4096"));

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kChildDirEnv), QDir::currentPath());
    env.insert(QLatin1String(kChildServerEnv),
               QStringList{Value("FTP_PORT"), Value("FTP_USER"), Value("FTP_PASSWORD")}.join(QLatin1Char(' ')));
    child.setProcessEnvironment(env);
    // Its test output would stop in the middle: only its errors are kept.
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.setStandardOutputFile(QProcess::nullDevice());
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("uploadUntilKilledChild")});
    QVERIFY(child.waitForStarted());
    const auto reap = qScopeGuard([&] {
        child.kill();
        child.waitForFinished(30000);
    });

    // Under way: the server has written a part of the log, under whichever
    // name the station gave it.
    QString strStored;
    QVERIFY(WaitFor(
        [&] {
            const QStringList stored = Matching(FtpCommands(), QStringLiteral("STOR "));
            if (stored.isEmpty() || child.state() == QProcess::NotRunning)
                return child.state() == QProcess::NotRunning;
            strStored = QFileInfo(strPath).path() + QLatin1Char('/') + stored.last().mid(5);
            return FtpFileSize(strStored) > 0;
        },
        60000));
    QVERIFY2(child.state() == QProcess::Running, "the child ended before it was killed");
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished(30000));
    // The server has given up the transfer.
    QVERIFY(WaitFor([] { return !FtpTransfers().isEmpty(); }, 30000));
    const qint64 nCut = FtpFileSize(strStored);
    QVERIFY2(nCut > 0 && nCut < content.size(), qPrintable(QString::number(nCut)));

    bool bThere = true;
    const QByteArray atFinal = FtpFile(strPath, &bThere);
    QVERIFY2(!bThere, qPrintable(QStringLiteral("%1 of %2 bytes under the log's name")
                                     .arg(atFinal.size())
                                     .arg(content.size())));
    QCOMPARE(FtpPartFiles(), QStringList{strPath + ".part"});

    // The next start sends it again: the whole log, and nothing beside it.
    SetFtpSwitch(QString());
    auto client = MakeClient();
    client->UploadFile(strPath);
    QVERIFY(WaitFor([&] { return client->IsIdle(); }));
    QVERIFY(client->PendingUploads().isEmpty());
    QVERIFY(FtpFile(strPath) == content);
    QCOMPARE(FtpPartFiles(), QStringList());
}

// Runs only as the child of killedDuringTransferLeavesNoCutLog, which kills it.
void TestFtpClient::uploadUntilKilledChild()
{
    if (!IsChild())
        QSKIP("runs as a child of killedDuringTransferLeavesNoCutLog");
    QDir::setCurrent(qEnvironmentVariable(kChildDirEnv));
    const QStringList server = qEnvironmentVariable(kChildServerEnv).split(QLatin1Char(' '));
    QCOMPARE(server.size(), 3);
    CFtpClient client(QStringLiteral("127.0.0.1"), server.at(0).toInt(), server.at(1), server.at(2));
    client.UploadFile(QStringLiteral("/Data/X1/1A2B/killed.xml"));
    QVERIFY(WaitFor([&] { return client.IsIdle(); }, 120000));
}

// The program ends while a throttled transfer waits for the server's final
// reply, whose bound is long: the transfer thread still stops at once, never
// through the last resort of terminating it.
void TestFtpClient::endDuringTheFinalReplyIsBounded()
{
    const QString strPath = QStringLiteral("/Data/X1/1A2B/ending.xml");
    const QByteArray content = Content(strPath, 40 * 1024);
    QVERIFY(WriteFile(QDir::currentPath(), strPath, content));
    SetFtpSwitch(QStringLiteral("throttle 2048"));
    CRunLogCapture log;
    auto client = MakeClient();
    client->UploadFile(strPath);
    QVERIFY(WaitFor([&] { return FtpFileSize(strPath + ".part") > 0 || FtpFileSize(strPath) > 0; }, 30000));

    client.reset();
    QVERIFY2(!log.Contains(QStringLiteral("Terminate Thread.")), qPrintable(log.Lines().join(QLatin1Char('\n'))));
    const QStringList notDone = FtpWarnings(log).filter(QStringLiteral("not done"));
    QVERIFY2(notDone.size() == 1 && notDone.first().contains(strPath), qPrintable(notDone.join(QLatin1Char('\n'))));
    bool bThere = true;
    FtpFile(strPath, &bThere);
    QVERIFY(!bThere);
}

void TestFtpClient::largeLogArrivesByteForByte()
{
    const QByteArray content = Content(QStringLiteral("large"), 5 * 1024 * 1024);
    QVERIFY(WriteFile(QDir::currentPath(), QStringLiteral("/Data/X1/1A2B/large.xml"), content));
    auto client = MakeClient();
    client->UploadFile(QStringLiteral("/Data/X1/1A2B/large.xml"));
    QVERIFY(WaitFor([&] { return client->IsIdle(); }, 60000));
    QVERIFY(client->PendingUploads().isEmpty());
    QVERIFY(FtpFile(QStringLiteral("/Data/X1/1A2B/large.xml")) == content);
}

// A long outage answered with Cancel leaves hundreds of logs pending; the
// re-send must not hold one open file per log, or the logs beyond the
// process's file limit are lost (and every other open of the station fails
// meanwhile).
void TestFtpClient::manyPendingLogsArriveUnderALowFileLimit()
{
    constexpr int kLogs = 300;
    QStringList paths;
    for (int i = 0; i < kLogs; ++i) {
        paths << QStringLiteral("/Data/P%1/log%2.xml").arg(i % 3).arg(i);
        QVERIFY(WriteFile(QDir::currentPath(), paths.last(), Content(paths.last(), 200)));
    }
    const QString strTrigger = QStringLiteral("/Data/trigger.xml");
    QVERIFY(WriteFile(QDir::currentPath(), strTrigger, "trigger"));
    QVERIFY(PauseFtp());
    auto client = MakeClient();
    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Cancel"));
    for (const QString &strPath : qAsConst(paths))
        client->UploadFile(strPath);
    QVERIFY(WaitFor([&] { return answerer.boxes.size() == 1 && client->IsIdle(); }));
    QCOMPARE(client->PendingUploads().size(), kLogs);
    QVERIFY(ResumeFtp());

    // Room for the client's sockets and a few files, far less than one per log.
    const int nLimit = OpenDescriptors() + 48;
    QVERIFY2(nLimit < kLogs, qPrintable(QStringLiteral("%1 descriptors open already").arg(nLimit - 48)));
    CRunLogCapture log;
    m_fileLimit = std::make_unique<COpenFileLimit>(rlim_t(nLimit));
    QVERIFY(m_fileLimit->IsActive());
    // The next upload's success sends every pending log again.
    client->UploadFile(strTrigger);
    QVERIFY(WaitFor([&] { return client->IsIdle(); }, 120000));
    m_fileLimit.reset();

    QVERIFY2(client->PendingUploads().isEmpty(),
             qPrintable(QStringLiteral("%1 still pending").arg(client->PendingUploads().size())));
    QStringList missing;
    for (const QString &strPath : qAsConst(paths)) {
        if (FtpFile(strPath) != Content(strPath, 200))
            missing << strPath;
    }
    QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("%1 logs never arrived, first %2")
                                               .arg(missing.size())
                                               .arg(missing.value(0))));
    QCOMPARE(FtpFile(strTrigger), QByteArray("trigger"));
    QCOMPARE(answerer.boxes.size(), 1);
    QVERIFY2(FtpWarnings(log).isEmpty(), qPrintable(FtpWarnings(log).join(QLatin1Char('\n'))));
}

void TestFtpClient::unopenableLogStaysPendingForTheNextUpload_data()
{
    QTest::addColumn<bool>("atResend"); // else when its own transfer starts
    QTest::addColumn<bool>("removed");  // else unreadable

    QTest::newRow("unreadable at the re-send") << true << false;
    QTest::newRow("unreadable when its transfer starts") << false << false;
    QTest::newRow("removed before the re-send") << true << true;
    QTest::newRow("removed before its transfer starts") << false << true;
}

// A log that cannot be opened when it is sent stays pending (it may be
// readable next time) and the uploads behind it go on; only a log whose
// file is gone leaves the list. Neither is an unreachable server.
void TestFtpClient::unopenableLogStaysPendingForTheNextUpload()
{
    QFETCH(bool, atResend);
    QFETCH(bool, removed);

    const QString strFirst = QStringLiteral("/Data/first.xml");
    const QString strLog = QStringLiteral("/Data/A/log.xml");
    const QString strBehind = QStringLiteral("/Data/behind.xml");
    const QString strLater = QStringLiteral("/Data/later.xml");
    for (const QString &strPath : {strFirst, strLog, strBehind, strLater})
        QVERIFY(WriteFile(QDir::currentPath(), strPath, Content(strPath, 700)));
    const QString strLocal = QDir::currentPath() + strLog;
    std::unique_ptr<CUnreadableFile> unreadable;
    auto spoil = [&] {
        if (removed)
            return QFile::remove(strLocal);
        unreadable = std::make_unique<CUnreadableFile>(strLocal);
        return unreadable->IsActive();
    };

    auto client = MakeClient();
    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Cancel"));
    CRunLogCapture log;
    if (atResend) {
        // Pending after an outage; the next success sends it again.
        QVERIFY(PauseFtp());
        client->UploadFile(strLog);
        QVERIFY(WaitFor([&] { return answerer.boxes.size() == 1 && client->IsIdle(); }));
        QVERIFY(ResumeFtp());
        log.Clear();
        QVERIFY(spoil());
        client->UploadFile(strFirst);
        client->UploadFile(strBehind);
    } else {
        // Queued (and readable then) behind a transfer that is running.
        client->UploadFile(strFirst);
        client->UploadFile(strLog);
        client->UploadFile(strBehind);
        QVERIFY(spoil());
    }
    QVERIFY(WaitFor([&] { return client->IsIdle(); }));

    QCOMPARE(FtpFile(strFirst), Content(strFirst, 700));
    QCOMPARE(FtpFile(strBehind), Content(strBehind, 700));
    bool bSent = true;
    FtpFile(strLog, &bSent);
    QVERIFY(!bSent);
    QCOMPARE(answerer.boxes.size(), atResend ? 1 : 0);
    const QStringList warnings = FtpWarnings(log);
    QVERIFY2(warnings.size() >= 1 && warnings.filter(strLog).size() == warnings.size(),
             qPrintable(warnings.join(QLatin1Char('\n'))));
    QVERIFY(warnings.filter(QStringLiteral("unreachable")).isEmpty());
    if (removed) {
        QVERIFY(client->PendingUploads().isEmpty());
        return;
    }
    QCOMPARE(client->PendingUploads().values(), QStringList{strLog});

    // Readable again: the next success takes it along.
    unreadable->Restore();
    client->UploadFile(strLater);
    QVERIFY(WaitFor([&] { return client->IsIdle() && client->PendingUploads().isEmpty(); }));
    QCOMPARE(FtpFile(strLog), Content(strLog, 700));
    QCOMPARE(FtpFile(strLater), Content(strLater, 700));
    QCOMPARE(answerer.boxes.size(), atResend ? 1 : 0);
}

void TestFtpClient::pendingUploadsAreNamedWhenTheClientEnds()
{
    QVERIFY(WriteFile(QDir::currentPath(), QStringLiteral("/Data/kept.xml"), "kept"));
    QVERIFY(PauseFtp());
    CRunLogCapture log;
    {
        auto client = MakeClient();
        CModalBoxAnswerer answerer;
        answerer.Answer(QStringLiteral("Cancel"));
        client->UploadFile(QStringLiteral("/Data/kept.xml"));
        QVERIFY(WaitFor([&] { return answerer.boxes.size() == 1 && client->IsIdle(); }));
        log.Clear();
    }
    QCOMPARE(FtpWarnings(log).size(), 1);
    QVERIFY(FtpWarnings(log).first().contains(QLatin1String("/Data/kept.xml")));
}

STATION_TEST_MAIN(TestFtpClient)
#include "tst_ftpclient.moc"
