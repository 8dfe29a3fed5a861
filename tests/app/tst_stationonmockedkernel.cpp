// The whole station on a mocked kernel: kestrel-station itself (its real
// udev/hidraw backend, no fake) starts in a child process under the umockdev
// preload, finds the frame this test puts on the bus, reads its identity
// through the frame's hidraw node (served by the model in this process),
// and sees it go when the kernel says it was removed.

#include "emulatedframe.h"
#include "mockedhidframe.h"
#include "mockedkernel.h"
#include "testenvironment.h"
#include "waitfor.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {
constexpr int kWaitMs = 60000; // generous: sanitizer builds start slowly
}

class TestStationOnMockedKernel : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_workDir{QDir::tempPath() + "/station-run-XXXXXX"};
    QTemporaryDir m_runtimeDir{QDir::tempPath() + "/station-xdg-XXXXXX"};
    QTemporaryDir m_configDir{QDir::tempPath() + "/station-cfg-XXXXXX"};

    // The run log of the station (one file in Log/ of its working folder).
    QString Log() const
    {
        const QDir dir(m_workDir.filePath("Log"));
        const QStringList files = dir.entryList({"*.txt"}, QDir::Files, QDir::Name);
        if (files.isEmpty())
            return QString();
        QFile file(dir.filePath(files.last()));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    bool WaitForLog(const QString &text) const
    {
        return StationTest::WaitFor([&]() { return Log().contains(text); }, kWaitMs);
    }

private slots:
    // The run log stays for a reviewer in the test-output folder.
    void cleanup()
    {
        QFile copy(CTestEnvironment::OutputDir() + "/station-on-mocked-kernel.log");
        if (copy.open(QIODevice::WriteOnly))
            copy.write(Log().toUtf8());
    }

    void frameIsFoundAndGoes()
    {
        CEmulatedFrame frame;
        CMockedHidFrame usb(CMockedKernel::Current(), &frame);
        usb.Plug();

        // The child inherits the preload and the testbed (UMOCKDEV_DIR).
        QProcess station;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        QVERIFY(env.contains("UMOCKDEV_DIR"));
        QVERIFY(env.value("LD_PRELOAD").contains("libumockdev-preload"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("LANG", "C.UTF-8");
        env.remove("LC_ALL");
        env.insert("XDG_RUNTIME_DIR", m_runtimeDir.path());
        env.insert("XDG_CONFIG_HOME", m_configDir.path());
        station.setProcessEnvironment(env);
        station.setWorkingDirectory(m_workDir.path());
        station.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        station.setStandardOutputFile(QProcess::nullDevice());
        station.start(QStringLiteral(STATION_PROGRAM), QStringList());
        QVERIFY(station.waitForStarted(kWaitMs));

        // Its identity, from sysfs, in the run log (items of a line are
        // joined by a blank, so a value after "= " has two before it).
        QVERIFY2(WaitForLog("InitDeviceInfo : DevName =  USB\\VID_2FE9&PID_0013&REV_7201"), qPrintable(Log()));
        QVERIFY2(WaitForLog("HotplugCb : ProductString =  IR Touch Frame"), qPrintable(Log()));
        QVERIFY2(WaitForLog("InsertUsbDevice : APP"), qPrintable(Log()));
        // The station asked the frame for its information over the node,
        // and got answers: the model in this process served the child.
        // The device information ends with the touch format (30 04); once its
        // reply has been read, the frame has told the station who it is.
        QVERIFY2(WaitForLog("ProcessTask :task = InitDeviceInfo"), qPrintable(Log()));
        QVERIFY(StationTest::WaitFor(
            [&]() { return !frame.RequestsFor(0x30, 0x04).isEmpty() && usb.UnreadReports() == 0; }, kWaitMs));
        for (quint8 sub : {0x05, 0x00}) // batch, MCU id
            QVERIFY(!frame.RequestsFor(0xA9, sub).isEmpty());
        QVERIFY(!frame.RequestsFor(0xA3, 0x01).isEmpty()); // product
        QCOMPARE(usb.OpenCount(), 2);
        QVERIFY2(frame.Violations().isEmpty(), qPrintable(frame.Violations().join('\n')));

        // Removed by the kernel: announced gone, descriptors closed.
        usb.Unplug();
        QVERIFY2(WaitForLog("HotplugCb : bAttached =  false  vid =  2fe9  pid =  13"), qPrintable(Log()));
        QVERIFY2(WaitForLog("InsertUsbDevice : 设备移除"), qPrintable(Log()));
        QVERIFY(StationTest::WaitFor([&]() { return usb.OpenCount() == 0; }, kWaitMs));
        QCOMPARE(Log().count("HotplugCb : bAttached =  false"), 1);

        ::kill(pid_t(station.processId()), SIGTERM);
        QVERIFY(station.waitForFinished(kWaitMs));
        QCOMPARE(station.exitStatus(), QProcess::NormalExit);
        QCOMPARE(station.exitCode(), 0);
        QVERIFY2(Log().trimmed().endsWith("The App will exit, and the exit code is 0"), qPrintable(Log()));
        QVERIFY2(!Log().contains(" failed: 0x"), qPrintable(Log())); // every query of the frame was answered
    }
};

STATION_MOCKED_KERNEL_TEST_MAIN(TestStationOnMockedKernel)
#include "tst_stationonmockedkernel.moc"
