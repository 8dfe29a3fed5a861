// "kestrel-station --emulated-frame[=PROFILE]": the station executable itself,
// offscreen, in a fresh working folder with the sample parameter table, its
// own settings and runtime folder; the run log tells what happened.

#include "stationprocess.h"
#include "testenvironment.h"
#include "waitfor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {
const char* const kReadyLine = "Init MainWindow successfully and Start event loop.";
const char* const kKnownProfiles =
    "Known profiles: healthy, dead-emitter, broken-connector, weak, deformed, old-firmware, bootloader, no-batch, "
    "jump-fails.";

// The station executable with a copy of the sample table in its folder.
class CEmulatedRun : public CStationProcess
{
public:
    CEmulatedRun(const QString& strRuntimeDir, const QString& strConfigDir, const QStringList& arguments,
                 bool bCaptureErrors = false)
        : CStationProcess(strRuntimeDir, strConfigDir)
    {
        CopyIntoWorkDir(QStringLiteral(STATION_SAMPLE_TABLE));
        Start(QStringLiteral(STATION_EXECUTABLE), arguments, bCaptureErrors);
    }
};
} // namespace

class TestEmulatedStart : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void healthyFrameIsReadAndLogged();
    void unknownProfileIsRefused();
    void neverBesideARunningStation();
    void signalsPullAndPlug();

private:
    std::unique_ptr<QTemporaryDir> m_runtimeDir;
    std::unique_ptr<QTemporaryDir> m_configDir;
};

void TestEmulatedStart::init()
{
    // Every case is its own operator session: lock, socket and settings apart.
    m_runtimeDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/station-xdg-XXXXXX");
    m_configDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/station-cfg-XXXXXX");
    QVERIFY(m_runtimeDir->isValid() && m_configDir->isValid());
}

void TestEmulatedStart::healthyFrameIsReadAndLogged()
{
    CEmulatedRun run(m_runtimeDir->path(), m_configDir->path(), {"--emulated-frame"});
    // The station found the frame through its device layer and read it.
    QVERIFY2(run.WaitForLog("[emulated frame] The station read:"), qPrintable(run.Log()));

    const QStringList messages = run.Messages();
    QVERIFY2(messages.size() > 4, qPrintable(run.Log()));
    QCOMPARE(messages.at(0), QStringLiteral("Start  KESTREL-CUSTOMER  0.0.0.6 ."));
    QVERIFY2(messages.at(1).startsWith("[emulated frame] Started with --emulated-frame=healthy"),
             qPrintable(messages.at(1)));
    QCOMPARE(messages.at(2), QStringLiteral("[emulated frame] Profile \"healthy\": a healthy frame: the signal "
                                            "test passes."));
    QVERIFY2(messages.at(3).startsWith("[emulated frame] Plugged in: VID 0x2FE9, PID 0x0013, application mode, "
                                       "version 0x7201"),
             qPrintable(messages.at(3)));
    QVERIFY(messages.contains(kReadyLine));
    QVERIFY(messages.contains("InsertUsbDevice : APP 设备"));
    QString strRead;
    for (const QString& message : messages) {
        if (message.startsWith("[emulated frame] The station read:"))
            strRead = message;
    }
    QVERIFY2(strRead.contains("Product KT-T65WHSUR-10P") && strRead.contains("McuID 0123456789ABCDEF00112233")
                 && strRead.contains("BatchInfo B2024-11-05"),
             qPrintable(strRead));
    // The sample table was found in the working folder.
    QVERIFY(!run.Log().contains("no file TouchTestInfo-Vxxxx.csv"));

    QVERIFY(run.Terminate());
    QCOMPARE(run.Messages().last(), QStringLiteral("The App will exit, and the exit code is 0"));
    // The operator's settings store (here the session's) was used.
    QVERIFY(QFile::exists(m_configDir->filePath("Velora/KESTREL-CUSTOMER .conf")));
}

void TestEmulatedStart::unknownProfileIsRefused()
{
    CEmulatedRun run(m_runtimeDir->path(), m_configDir->path(), {"--emulated-frame=cracked"}, true);
    QVERIFY(run.Finish());
    QCOMPARE(run.Process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.Process().exitCode(), 2);
    const QString strError = run.StandardError();
    QVERIFY2(strError.contains("Unknown profile of an emulated frame: \"cracked\"") && strError.contains(kKnownProfiles),
             qPrintable(strError));

    const QStringList messages = run.Messages();
    QVERIFY2(messages.size() == 3, qPrintable(run.Log()));
    QVERIFY(messages.at(1).endsWith(kKnownProfiles));
    QCOMPARE(messages.at(2), QStringLiteral("The App will exit, and the exit code is 2"));
    // Nothing was started: no window, no lock taken.
    QVERIFY(QDir(m_runtimeDir->path()).entryList({"kestrel-*"}, QDir::Files | QDir::System).isEmpty());
}

void TestEmulatedStart::neverBesideARunningStation()
{
    CEmulatedRun first(m_runtimeDir->path(), m_configDir->path(), {"--emulated-frame=weak"});
    QVERIFY2(first.WaitForLog(kReadyLine), qPrintable(first.Log()));

    // A second start with an emulated frame raises the running station and
    // ends without plugging a frame of its own.
    CEmulatedRun second(m_runtimeDir->path(), m_configDir->path(), {"--emulated-frame"});
    QVERIFY(second.Finish());
    QCOMPARE(second.Process().exitCode(), 0);
    const QString strLog = second.Log();
    QVERIFY2(strLog.contains("The App has started and will be actived."), qPrintable(strLog));
    QVERIFY(!strLog.contains("[emulated frame] Plugged in"));
    QVERIFY(!strLog.contains(kReadyLine));
    QVERIFY(first.WaitForLog("Another start of the station asked for this window."));

    QVERIFY(first.Terminate());
}

// A script pulls the frame with SIGUSR1 and plugs it back with SIGUSR2; the
// station sees it leave and reads it again, and still ends in order.
void TestEmulatedStart::signalsPullAndPlug()
{
    CEmulatedRun run(m_runtimeDir->path(), m_configDir->path(), {"--emulated-frame"});
    QVERIFY2(run.WaitForLog("[emulated frame] The station read:"), qPrintable(run.Log()));

    ::kill(pid_t(run.Pid()), SIGUSR1);
    QVERIFY2(run.WaitForLog("[emulated frame] Pulled out (SIGUSR1)"), qPrintable(run.Log()));
    QVERIFY2(run.WaitForLog("InsertUsbDevice : 设备移除"), qPrintable(run.Log()));
    ::kill(pid_t(run.Pid()), SIGUSR1);
    QVERIFY2(run.WaitForLog("[emulated frame] Already pulled out (SIGUSR1)"), qPrintable(run.Log()));

    ::kill(pid_t(run.Pid()), SIGUSR2);
    QVERIFY2(run.WaitForLog("[emulated frame] Plugged in again (SIGUSR2)"), qPrintable(run.Log()));
    const auto reads = [&run] { return run.Messages().filter("[emulated frame] The station read:").size(); };
    QVERIFY2(StationTest::WaitFor([&] { return reads() == 2; }, CStationProcess::kStartMs), qPrintable(run.Log()));
    QCOMPARE(run.Messages().filter("InsertUsbDevice : APP 设备").size(), 2);

    QVERIFY(run.Terminate());
    QCOMPARE(run.Messages().last(), QStringLiteral("The App will exit, and the exit code is 0"));
}

STATION_TEST_MAIN(TestEmulatedStart)
#include "tst_emulatedstart.moc"
