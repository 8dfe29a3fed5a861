// The whole station on a mocked kernel: kestrel-station itself (its real
// udev/hidraw backend, no fake) starts in a child process under the umockdev
// preload, finds the frame this test puts on the bus, reads its identity
// through the frame's hidraw node (served by the model in this process),
// and sees it go when the kernel says it was removed.

#include "emulatedframe.h"
#include "mockedhidframe.h"
#include "mockedkernel.h"
#include "stationprocess.h"
#include "testenvironment.h"
#include "waitfor.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestStationOnMockedKernel : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_runtimeDir{QDir::tempPath() + "/station-xdg-XXXXXX"};
    QTemporaryDir m_configDir{QDir::tempPath() + "/station-cfg-XXXXXX"};
    std::unique_ptr<CStationProcess> m_pStation;

private slots:
    // The run log stays for a reviewer in the test-output folder.
    void cleanup()
    {
        QFile copy(CTestEnvironment::OutputDir() + "/station-on-mocked-kernel.log");
        if (m_pStation && copy.open(QIODevice::WriteOnly))
            copy.write(m_pStation->Log().toUtf8());
        m_pStation.reset();
    }

    void frameIsFoundAndGoes()
    {
        CEmulatedFrame frame;
        CMockedHidFrame usb(CMockedKernel::Current(), &frame);
        usb.Plug();

        // The child inherits the preload and the testbed (UMOCKDEV_DIR).
        const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        QVERIFY(env.contains("UMOCKDEV_DIR"));
        QVERIFY(env.value("LD_PRELOAD").contains("libumockdev-preload"));
        m_pStation = std::make_unique<CStationProcess>(m_runtimeDir.path(), m_configDir.path());
        CStationProcess &station = *m_pStation;
        station.Start(QStringLiteral(STATION_EXECUTABLE));

        // Its identity, from sysfs, in the run log (items of a line are
        // joined by a blank, so a value after "= " has two before it).
        QVERIFY2(station.WaitForLog("InitDeviceInfo : DevName =  USB\\VID_2FE9&PID_0013&REV_7201"),
                 qPrintable(station.Log()));
        QVERIFY2(station.WaitForLog("HotplugCb : ProductString =  IR Touch Frame"), qPrintable(station.Log()));
        QVERIFY2(station.WaitForLog("InsertUsbDevice : APP"), qPrintable(station.Log()));
        // The frame tells the station who it is over the node, served by the
        // model in this process; the station says when it has read it all
        // (the frame is pulled only then: a reply still on its way would
        // fail the query that waits for it).
        QVERIFY2(station.WaitForLog("InitDeviceInfo : the frame's information is read"), qPrintable(station.Log()));
        QVERIFY(!frame.RequestsFor(0x30, 0x04).isEmpty()); // the touch format ends the information
        for (quint8 sub : {0x05, 0x00}) // batch, MCU id
            QVERIFY(!frame.RequestsFor(0xA9, sub).isEmpty());
        QVERIFY(!frame.RequestsFor(0xA3, 0x01).isEmpty()); // product
        QCOMPARE(usb.OpenCount(), 2);
        QVERIFY2(frame.Violations().isEmpty(), qPrintable(frame.Violations().join('\n')));

        // Removed by the kernel: announced gone once, descriptors closed.
        usb.Unplug();
        QVERIFY2(station.WaitForLog("HotplugCb : bAttached =  false  vid =  2fe9  pid =  13"),
                 qPrintable(station.Log()));
        QVERIFY2(station.WaitForLog("InsertUsbDevice : 设备移除"), qPrintable(station.Log()));
        QVERIFY(StationTest::WaitFor([&]() { return usb.OpenCount() == 0; }, CStationProcess::kStartMs));
        QCOMPARE(station.Log().count("HotplugCb : bAttached =  false"), 1);

        QVERIFY(station.Terminate());
        QVERIFY2(station.LogLines().last().endsWith("The App will exit, and the exit code is 0"),
                 qPrintable(station.Log()));
        QVERIFY2(!station.Log().contains(" failed: 0x"), qPrintable(station.Log())); // every query answered
    }
};

STATION_MOCKED_KERNEL_TEST_MAIN(TestStationOnMockedKernel)
#include "tst_stationonmockedkernel.moc"
