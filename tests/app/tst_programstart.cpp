// Program start: one station per user. Each case runs the real program (qMain
// over a fake device layer) in child processes with their own working folder,
// settings and runtime folder, and reads their run logs.

#include "stationprocess.h"
#include "testenvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {
const char* const kStartLine = "Start  KESTREL-CUSTOMER  0.0.0.6 .";
const char* const kReadyLine = "Init MainWindow successfully and Start event loop.";
const char* const kSecondLine = "The App has started and will be actived.";
const char* const kActivatedLine = "Another start of the station asked for this window.";

// One start of the station over a fake device layer with no frame.
class CStationRun : public CStationProcess
{
public:
    CStationRun(const QString& strRuntimeDir, const QString& strConfigDir, double dTimeoutScale = 1.0,
                const QString& strLang = QStringLiteral("C.UTF-8"), const QStringList& extraEnv = QStringList())
        : CStationProcess(strRuntimeDir, strConfigDir, dTimeoutScale, strLang, extraEnv)
    {
        Start(QStringLiteral(STATION_APP_CHILD));
    }
};

bool LineEnds(const QString& line, const QString& tail)
{
    return line.endsWith(tail);
}
} // namespace

class TestProgramStart : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void secondStartActivatesTheFirst();
    void hungFirstInstanceGivesExitCodeOne();
    void crashedFirstInstanceDoesNotBlockTheNext();
    void chineseSystemGetsTheCatalogue_data();
    void chineseSystemGetsTheCatalogue();
    void signalWhileATaskWaitsEndsInOrder_data();
    void signalWhileATaskWaitsEndsInOrder();
    void userSignalWithoutEmulatedFrameKeepsItsDefault();
    void oversizedSettingsFileIsNeitherReadNorWritten();

private:
    std::unique_ptr<QTemporaryDir> m_runtimeDir;
    std::unique_ptr<QTemporaryDir> m_configDir;
};

void TestProgramStart::init()
{
    // Every case is its own user session: lock, socket and settings apart.
    m_runtimeDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/station-xdg-XXXXXX");
    m_configDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/station-cfg-XXXXXX");
    QVERIFY(m_runtimeDir->isValid() && m_configDir->isValid());
}

void TestProgramStart::secondStartActivatesTheFirst()
{
    CStationRun first(m_runtimeDir->path(), m_configDir->path());
    QVERIFY2(first.WaitForLog(kReadyLine), qPrintable(first.Log()));

    CStationRun second(m_runtimeDir->path(), m_configDir->path());
    QVERIFY(second.Finish());
    QCOMPARE(second.Process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.Process().exitCode(), 0);

    const QStringList lines = second.LogLines();
    QVERIFY2(lines.size() >= 3, qPrintable(second.Log()));
    QVERIFY2(LineEnds(lines.first(), kStartLine), qPrintable(lines.first()));
    QVERIFY(second.Log().contains(kSecondLine));
    QVERIFY(!second.Log().contains(kReadyLine)); // no window of its own
    QVERIFY2(LineEnds(lines.last(), "The App will exit, and the exit code is 0"), qPrintable(lines.last()));

    // The first instance read the message and raised its window.
    QVERIFY2(first.WaitForLog(kActivatedLine), qPrintable(first.Log()));

    // A session end leaves through the event loop: the last line is written.
    ::kill(pid_t(first.Pid()), SIGTERM);
    QVERIFY(first.Finish());
    QCOMPARE(first.Process().exitCode(), 0);
    QVERIFY2(LineEnds(first.LogLines().last(), "The App will exit, and the exit code is 0"),
             qPrintable(first.Log()));
}

void TestProgramStart::hungFirstInstanceGivesExitCodeOne()
{
    CStationRun first(m_runtimeDir->path(), m_configDir->path());
    QVERIFY2(first.WaitForLog(kReadyLine), qPrintable(first.Log()));
    // Stopped: its socket still accepts the connection, but nobody answers.
    QCOMPARE(::kill(pid_t(first.Pid()), SIGSTOP), 0);

    // 5000 ms scaled to 250 ms.
    CStationRun second(m_runtimeDir->path(), m_configDir->path(), 0.05);
    QVERIFY(second.Finish());
    QCOMPARE(second.Process().exitCode(), 1);
    QVERIFY(second.Log().contains(kSecondLine));
    QVERIFY2(LineEnds(second.LogLines().last(), "The App will exit, and the exit code is 1"),
             qPrintable(second.Log()));

    ::kill(pid_t(first.Pid()), SIGCONT);
}

void TestProgramStart::crashedFirstInstanceDoesNotBlockTheNext()
{
    {
        CStationRun first(m_runtimeDir->path(), m_configDir->path());
        QVERIFY2(first.WaitForLog(kReadyLine), qPrintable(first.Log()));
        first.Process().kill(); // SIGKILL: lock file and socket stay behind
        QVERIFY(first.Finish());
    }
    QVERIFY(!QDir(m_runtimeDir->path()).entryList({"kestrel-*"}, QDir::Files | QDir::System).isEmpty());

    CStationRun next(m_runtimeDir->path(), m_configDir->path());
    QVERIFY2(next.WaitForLog(kReadyLine), qPrintable(next.Log()));
    QVERIFY(!next.Log().contains(kSecondLine));

    // And it is the running instance now: a further start activates it.
    CStationRun another(m_runtimeDir->path(), m_configDir->path());
    QVERIFY(another.Finish());
    QCOMPARE(another.Process().exitCode(), 0);
    QVERIFY(next.WaitForLog(kActivatedLine));
}

void TestProgramStart::chineseSystemGetsTheCatalogue_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<bool>("chinese");
    QTest::newRow("zh_CN") << "zh_CN.UTF-8" << true;
    QTest::newRow("en_US") << "en_US.UTF-8" << false;
}

void TestProgramStart::chineseSystemGetsTheCatalogue()
{
    QFETCH(QString, lang);
    QFETCH(bool, chinese);

    // The catalogue embedded in the program itself is found and loaded.
    CStationRun run(m_runtimeDir->path(), m_configDir->path(), 1.0, lang);
    QVERIFY2(run.WaitForLog(kReadyLine), qPrintable(run.Log()));
    QCOMPARE(run.Log().contains("The Chinese catalogue is installed."), chinese);
    QVERIFY(!run.Log().contains("The Chinese catalogue cannot be loaded"));
    ::kill(pid_t(run.Pid()), SIGTERM);
    QVERIFY(run.Finish());
    QCOMPARE(run.Process().exitCode(), 0);
}

void TestProgramStart::signalWhileATaskWaitsEndsInOrder_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestProgramStart::signalWhileATaskWaitsEndsInOrder()
{
    QFETCH(int, signal);

    // A frame that never answers the reverse-mode command, and the test view
    // waiting for it: the end must not wait for the frame nor crash on the
    // view, and the run log ends with its orderly line.
    CStationRun run(m_runtimeDir->path(), m_configDir->path(), 1.0, QStringLiteral("C.UTF-8"),
                    {QStringLiteral("STATION_CHILD_SILENT_TASK=1")});
    QVERIFY2(run.WaitForLog("ProcessTask :task = OpenReverse"), qPrintable(run.Log()));
    ::kill(pid_t(run.Pid()), signal);
    QVERIFY(run.Finish());
    QCOMPARE(run.Process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.Process().exitCode(), 0);
    const QStringList lines = run.LogLines();
    QVERIFY2(LineEnds(lines.last(), "The App will exit, and the exit code is 0"), qPrintable(run.Log()));
    QVERIFY(run.Log().contains("StopWorker : the worker thread has stopped."));
    QVERIFY(!run.Log().contains("Terminate Thread."));
}

// SIGUSR1 pulls an emulated frame only in a run with one; otherwise the
// station does not take it, and it ends the program as it ends any other.
void TestProgramStart::userSignalWithoutEmulatedFrameKeepsItsDefault()
{
    CStationRun run(m_runtimeDir->path(), m_configDir->path());
    QVERIFY2(run.WaitForLog(kReadyLine), qPrintable(run.Log()));
    ::kill(pid_t(run.Pid()), SIGUSR1);
    QVERIFY(run.Finish());
    QCOMPARE(run.Process().exitStatus(), QProcess::CrashExit);
    QCOMPARE(run.Process().exitCode(), int(SIGUSR1));
    QVERIFY(!run.Log().contains("The App will exit"));
    QVERIFY(!run.Log().contains("[emulated frame]"));
}

// A customer settings file of 100 MB (a sound [General] section padded with
// a million keys): the window comes without reading it, the run log says
// why, and neither the start nor the end writes it.
void TestProgramStart::oversizedSettingsFileIsNeitherReadNorWritten()
{
    const QString folder = m_configDir->path() + "/Velora";
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/KESTREL-CUSTOMER .conf";
    constexpr qint64 kSize = 100 * 1024 * 1024;
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray chunk = "[General]\nDefaultInterface=0\n";
        for (int i = 0; file.size() + chunk.size() < kSize; ++i) {
            chunk += "PaddingKey" + QByteArray::number(i) + "=" + QByteArray(80, 'x') + "\n";
            if (chunk.size() > (1 << 20)) {
                QCOMPARE(file.write(chunk), qint64(chunk.size()));
                chunk.clear();
            }
        }
        QCOMPARE(file.write(chunk), qint64(chunk.size()));
    }
    const QFileInfo before(path);
    QVERIFY(before.size() > 99 * 1024 * 1024);

    CStationRun run(m_runtimeDir->path(), m_configDir->path());
    QVERIFY2(run.WaitForLog(kReadyLine), qPrintable(run.Log().right(4000)));
    const QString log = run.Log();
    QVERIFY2(log.contains(path) && log.contains(QString::number(before.size())) && log.contains("1048576"),
             qPrintable(log.right(4000)));
    QVERIFY(run.Terminate());

    const QFileInfo after(path);
    QCOMPARE(after.size(), before.size());
    QCOMPARE(after.lastModified(), before.lastModified());
    QCOMPARE(after.fileTime(QFileDevice::FileMetadataChangeTime), before.fileTime(QFileDevice::FileMetadataChangeTime));
}

STATION_TEST_MAIN(TestProgramStart)
#include "tst_programstart.moc"
