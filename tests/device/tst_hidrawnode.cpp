// Finding frames on a mocked kernel: the real udev/hidraw backend enumerates
// hidraw nodes in the kernel's sysfs layout, reads their identity and report
// descriptors, and the device layer opens the collections of the frames it
// supports, and nothing else.

#include "mockedframetest.h"
#include "runlogcapture.h"
#include "testenvironment.h"
#include "touchdevice.h"

#include <QtTest>
#include <cstring>

using namespace mockedtest;

namespace {

enum Mode { App, Boot };

QByteArray Hex(const char *szHex)
{
    return QByteArray::fromHex(szHex);
}

// The collections a frame declares, and one of a keyboard.
QByteArray CommandCollection()
{
    return Hex("0600FF0901A10185FC150026FF007508953F0901810209019102C0");
}
QByteArray RawCollection()
{
    return Hex("0600FF0902A10185FB150026FF007508953F0902810209029102"
               "8502953D09038102C0");
}
QByteArray KeyboardCollection()
{
    return Hex("05010906A1018501050719E029E715002501750195088102C0");
}

QString Text(const char *szField)
{
    return QString::fromUtf8(szField, int(strnlen(szField, TOUCH_DEVICE_STRING_SIZE)));
}

} // namespace

class TestHidrawNode : public QObject
{
    Q_OBJECT

private:
    // A keyboard on the bus the whole time: enumerated on every pass, never
    // opened; its events make the station look at the bus.
    std::unique_ptr<CFrameOnBus> m_pKeyboard;

private slots:
    void initTestCase()
    {
        CTestEnvironment::RealClock();
        QVERIFY(CommandCollection().size() > 20 && KeyboardCollection().size() > 20);
        m_pKeyboard = std::make_unique<CFrameOnBus>(0x046D, 0xC31C);
        m_pKeyboard->usb->SetDescriptor(CEmulatedFrame::Mode::Application, KeyboardCollection());
        m_pKeyboard->usb->Plug();
    }

    void cleanupTestCase()
    {
        QCOMPARE(m_pKeyboard->usb->OpensSoFar(), 0);
        m_pKeyboard.reset();
    }

    void init()
    {
        CTouchDevice::SetSettingsVidPidList({});
        CTestEnvironment::ClearSettings();
    }

    // Which frames are opened and announced, with the identity the kernel
    // gives them.
    void framesOfTheSupportedList_data()
    {
        QTest::addColumn<int>("vid");
        QTest::addColumn<int>("pid");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("settingsKey");
        QTest::addColumn<bool>("announced");
        QTest::addColumn<int>("opens");
        QTest::addColumn<QString>("logLine");

        QTest::newRow("built-in 1FF7:0001") << 0x1FF7 << 0x0001 << int(App) << "" << true << 2 << "";
        QTest::newRow("built-in 0B8C:5002") << 0x0B8C << 0x5002 << int(App) << "" << true << 2 << "";
        QTest::newRow("built-in 04DD:9E91") << 0x04DD << 0x9E91 << int(App) << "" << true << 2 << "";
        QTest::newRow("vendor 2FE9, any product") << 0x2FE9 << 0x0013 << int(App) << "" << true << 2 << "";
        QTest::newRow("vendor 2757, any product") << 0x2757 << 0x4321 << int(App) << "" << true << 2 << "";
        QTest::newRow("pair added in the settings") << 0x0EEF << 0x0001 << int(App) << "0x0eef-0x0001"
                                                    << true << 2 << "";
        QTest::newRow("vendor added in the settings") << 0x0EEF << 0x7777 << int(App) << "0x0eef-0xffff"
                                                      << true << 2 << "";
        QTest::newRow("unsupported pair") << 0x046D << 0xC52B << int(App) << "" << false << 0 << "";
        QTest::newRow("other product of a listed vendor") << 0x1FF7 << 0x0002 << int(App) << "" << false
                                                          << 0 << "";
        QTest::newRow("bootloader 2FE9:FF00") << 0x2FE9 << 0xFF00 << int(Boot) << "" << true << 1 << "";
        QTest::newRow("bootloader 1FF7:F0FE") << 0x1FF7 << 0xF0FE << int(Boot) << "" << true << 1 << "";
        // A 2FE9 bootloader product declaring application commands is not
        // believed; its raw collection is still read (nothing is announced).
        QTest::newRow("application collections on a bootloader product")
            << 0x2FE9 << 0xFF01 << int(App) << "" << false << 1
            << "AppendDevicePath : ColAppCmd Handle Attributes Error, ";
    }
    void framesOfTheSupportedList()
    {
        QFETCH(int, vid);
        QFETCH(int, pid);
        QFETCH(int, mode);
        QFETCH(QString, settingsKey);
        QFETCH(bool, announced);
        QFETCH(int, opens);
        QFETCH(QString, logLine);

        if (!settingsKey.isEmpty()) {
            VidPid pair{};
            QVERIFY(CTouchDevice::ParseVidPidKey(settingsKey, &pair));
            CTouchDevice::SetSettingsVidPidList({pair});
        }
        CFrameOnBus bus(quint16(vid), quint16(pid), 0x7310, quint16(pid));
        bus.frame.SetMode(mode == Boot ? CEmulatedFrame::Mode::Bootloader : CEmulatedFrame::Mode::Application);
        bus.frame.Edit([](CEmulatedFrame::State &s) { s.id.nBootRelease = 0x7310; });

        CRunLogCapture log;
        devicetest::CLayerProbe layer;
        bus.usb->Plug();
        QVERIFY(WaitForPass(*bus.usb));

        StationTest::WaitFor([&]() { return bus.usb->OpenCount() == opens; });
        QCOMPARE(bus.usb->OpenCount(), opens);
        if (!logLine.isEmpty())
            QVERIFY2(log.Contains(logLine), qPrintable(log.Lines().join('\n')));
        if (!announced) {
            QCOMPARE(layer.Arrivals(), 0);
            QCOMPARE(bus.usb->OpensSoFar(), opens);
            return;
        }
        QCOMPARE(layer.Arrivals(), 1);
        QCOMPARE(layer.Removals(), 0);
        const TouchDeviceInfo info = layer.LastArrival();
        QCOMPARE(int(info.nVid), vid);
        QCOMPARE(int(info.nPid), pid);
        QCOMPARE(int(info.nVersion), 0x7310);
        QCOMPARE(info.nMode, mode == Boot ? 0u : 1u);
        QCOMPARE(Text(info.szManufacturer), QStringLiteral("Kestrel Touch"));
        QCOMPARE(Text(info.szProduct), QStringLiteral("IR Touch Frame"));
        QCOMPARE(Text(info.szSerialNumber), QStringLiteral("EMU000001"));
        QCOMPARE(Text(info.szDevName), NameOf(quint16(vid), quint16(pid), 0x7310));
        // One frame, keyed by its USB bus and device number.
        QCOMPARE(devicetest::Manager()->GetDeviceMap().keys(), QList<QString>{KeyOf(*bus.usb)});
        // Found again on every pass, opened once.
        QCOMPARE(bus.usb->OpensSoFar(), opens);
    }

    // One hidraw node carries every collection of the frame's interface; the
    // descriptor tells the device layer which to read for what.
    void collectionsOfOneNode_data()
    {
        QTest::addColumn<QByteArray>("descriptor");
        QTest::addColumn<bool>("announced");
        QTest::addColumn<int>("opens");

        QTest::newRow("commands, then raw data") << CommandCollection() + RawCollection() << true << 2;
        QTest::newRow("raw data, then commands") << RawCollection() + CommandCollection() << true << 2;
        QTest::newRow("beside a keyboard") << KeyboardCollection() + CommandCollection() + RawCollection()
                                           << true << 2;
        QTest::newRow("commands only") << CommandCollection() << true << 1;
        // Raw data alone is read, but announces nothing.
        QTest::newRow("raw data only") << RawCollection() << false << 1;
        QTest::newRow("keyboard only") << KeyboardCollection() << false << 0;
    }
    void collectionsOfOneNode()
    {
        QFETCH(QByteArray, descriptor);
        QFETCH(bool, announced);
        QFETCH(int, opens);

        CFrameOnBus bus;
        bus.usb->SetDescriptor(CEmulatedFrame::Mode::Application, descriptor);
        devicetest::CLayerProbe layer;
        bus.usb->Plug();
        QVERIFY(WaitForPass(*bus.usb));
        QCOMPARE(layer.Arrivals(), announced ? 1 : 0);
        StationTest::WaitFor([&]() { return bus.usb->OpenCount() == opens; });
        QCOMPARE(bus.usb->OpenCount(), opens);
        QCOMPARE(bus.usb->OpensSoFar(), opens);
    }

    // A descriptor the kernel would never give is refused with a line in the
    // run log, and the frame is not opened.
    void unusableDescriptor_data()
    {
        QTest::addColumn<QByteArray>("descriptor");
        QByteArray longer = CommandCollection() + RawCollection();
        while (longer.size() <= 4096 + 64)
            longer += Hex("0901"); // a local item: harmless, only long
        QTest::newRow("garbage") << Hex("A10185");
        QTest::newRow("unbalanced collections") << Hex("0600FFA101A10185FC8102C0");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("longer than a page") << longer;
    }
    void unusableDescriptor()
    {
        QFETCH(QByteArray, descriptor);
        CFrameOnBus bus;
        bus.usb->SetDescriptor(CEmulatedFrame::Mode::Application, descriptor);
        CRunLogCapture log;
        devicetest::CLayerProbe layer;
        bus.usb->Plug();
        QVERIFY(WaitForPass(*bus.usb));
        QCOMPARE(layer.Arrivals(), 0);
        QCOMPARE(bus.usb->OpensSoFar(), 0);
        const QString line = "CheckIdentifiableDevice : report descriptor of " + bus.usb->DevNode() + " not usable";
        QVERIFY2(log.Contains(line), qPrintable(log.Lines().join('\n')));
    }

    // A node the station may not open (the udev rule did not apply): the
    // run log says so once, the frame never appears; once the node may be
    // opened, the next pass announces the frame.
    void nodeThatCannotBeOpened()
    {
        CFrameOnBus bus;
        bus.usb->Plug();
        bus.usb->SetOpensRefused(true); // before the station looks at the bus
        CRunLogCapture log;
        std::unique_ptr<devicetest::CLayerProbe> layer;
        {
            // Root opens whatever a file mode says; the station's threads
            // started here are held to it.
            CFileModesEnforced modes;
            if (!modes.IsActive())
                QSKIP("file modes cannot be enforced for this process (root without capability control)");
            layer = std::make_unique<devicetest::CLayerProbe>();
        }
        QVERIFY(WaitForPass(*bus.usb));
        QVERIFY(WaitForPass(*bus.usb));
        QCOMPARE(layer->Arrivals(), 0);
        QCOMPARE(bus.usb->OpensSoFar(), 0);
        const QString denied = "AppendDevicePath : " + bus.usb->DevNode() + " " + QString::fromLocal8Bit(strerror(EACCES));
        QCOMPARE(log.Count("AppendDevicePath : ColAppCmd Handle Create Faild"), 1);
        QVERIFY2(log.Count(denied) == 1, qPrintable(log.Lines().join('\n')));

        bus.usb->SetOpensRefused(false);
        QVERIFY(WaitForPass(*bus.usb));
        QCOMPARE(layer->Arrivals(), 1);
        QVERIFY(StationTest::WaitFor([&]() { return bus.usb->OpenCount() == 2; }));
        layer.reset();
        // The layer closed what it opened.
        QVERIFY(StationTest::WaitFor([&]() { return bus.usb->OpenCount() == 0; }));
    }
};

STATION_MOCKED_KERNEL_TEST_MAIN(TestHidrawNode)
#include "tst_hidrawnode.moc"
