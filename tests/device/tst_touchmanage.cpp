// Enumeration and hot-plug: how hidraw nodes become device objects, how the
// collections of a frame are grouped, and what the registered applications
// are told.

#include "devicetesthelpers.h"
#include "testenvironment.h"
#include "touchdevice.h"

#include <QtTest>
#include <cerrno>
#include <cstring>
#include <memory>

using namespace devicetest;

namespace {
QByteArray CmdOnly()
{
    const QByteArray app = CFakeHidBackend::AppDescriptor();
    return app.left(app.indexOf(char(0xC0)) + 1);
}
QByteArray RawOnly()
{
    const QByteArray app = CFakeHidBackend::AppDescriptor();
    return app.mid(app.indexOf(char(0xC0)) + 1);
}
} // namespace

class TestTouchManage : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<CFakeHidBackend> m_hid;
    std::unique_ptr<CLayerProbe> m_probe;

    CLayerProbe *Probe()
    {
        m_probe.reset(new CLayerProbe());
        if (!WaitNextPass(0))
            qWarning("no first pass");
        return m_probe.get();
    }
    // Injects an event and waits for a pass that began afterwards.
    void Pass()
    {
        const int nBefore = PassesBegun();
        m_hid->InjectEvent();
        QVERIFY(WaitNextPass(nBefore));
    }

private slots:
    void init()
    {
        m_hid = CFakeHidBackend::Install();
    }
    void cleanup()
    {
        m_probe.reset();
        QCOMPARE(CTouchManage::PeekInstance(), nullptr);
        CFakeHidBackend::Uninstall();
        m_hid.reset();
    }

    void arrivalFillsTheRecord()
    {
        HidNodeInfo info = m_hid->FrameInfo(0x0B8C, 0x5002, 0x7412, CFakeHidBackend::AppMode, "IR Frame 55\"");
        info.baManufacturer = QByteArray(); // a string the device does not give
        info.baSerial = "SN-42";
        auto node = m_hid->AddNode(info);
        CLayerProbe *pProbe = Probe();
        DEV_TRY_COMPARE(pProbe->Arrivals(), 1);
        const TouchDeviceInfo rec = pProbe->LastArrival();
        QVERIFY(rec.hDevice);
        QCOMPARE(rec.nVid, uint16_t(0x0B8C));
        QCOMPARE(rec.nPid, uint16_t(0x5002));
        QCOMPARE(rec.nVersion, uint16_t(0x7412));
        QCOMPARE(rec.nMode, 1u);
        QCOMPARE(QByteArray(rec.szProduct), QByteArray("IR Frame 55\""));
        QCOMPARE(QByteArray(rec.szSerialNumber), QByteArray("SN-42"));
        QCOMPARE(QByteArray(rec.szManufacturer), QByteArray());
        QCOMPARE(QByteArray(rec.szDevName), QByteArray("USB\\VID_0B8C&PID_5002&REV_7412"));
        QCOMPARE(rec.hDevice->GetDeviceStatus(), 1);
        QCOMPARE(pProbe->Sdk()->GetDeviceCount(), 1);
        DEV_TRY_COMPARE(node->OpenCount(), 2); // one descriptor per role
        // Later passes neither reopen nor announce again.
        Pass();
        Pass();
        QCOMPARE(node->OpenCount(), 2);
        QCOMPARE(pProbe->Events().size(), 1);
    }

    void longStringsAreCutOnACharacter()
    {
        HidNodeInfo info = m_hid->FrameInfo(0x1FF7, 0x0001, 0x7300, CFakeHidBackend::AppMode);
        QByteArray product = QByteArray(258, 'a') + QString::fromUtf8("\xe8\xa7\xa6\xe6\x91\xb8").toUtf8();
        info.baProduct = product;
        m_hid->AddNode(info);
        CLayerProbe *pProbe = Probe();
        DEV_TRY_COMPARE(pProbe->Arrivals(), 1);
        const TouchDeviceInfo rec = pProbe->LastArrival();
        QCOMPARE(QByteArray(rec.szProduct), QByteArray(258, 'a'));
    }

    // A frame with its command and raw collections on two interfaces of one
    // USB device: one object; the raw side reads at once, the frame is
    // announced only when its command collection opens.
    void collectionsOnTwoInterfacesMakeOneFrame()
    {
        CLayerProbe *pProbe = Probe();
        HidNodeInfo raw = m_hid->FrameInfo(0x1FF7, 0x0001, 0x7300, CFakeHidBackend::AppMode, "Frame", 7);
        raw.baReportDescriptor = RawOnly();
        auto rawNode = m_hid->AddNode(raw, false);
        Pass();
        QCOMPARE(Manager()->GetDeviceMap().size(), 1);
        QCOMPARE(pProbe->Events().size(), 0);
        QCOMPARE(pProbe->Sdk()->GetDeviceCount(), 0);
        QCOMPARE(rawNode->OpenCount(), 1);
        rawNode->SendInput(Report(0xFB, {0x01}));
        DEV_TRY_COMPARE(pProbe->RawReports().size(), 1);

        HidNodeInfo cmd = m_hid->FrameInfo(0x1FF7, 0x0001, 0x7300, CFakeHidBackend::AppMode, "Frame", 7);
        cmd.baReportDescriptor = CmdOnly();
        auto cmdNode = m_hid->AddNode(cmd, false);
        Pass();
        QCOMPARE(Manager()->GetDeviceMap().size(), 1);
        QCOMPARE(pProbe->Arrivals(), 1);
        QCOMPARE(cmdNode->OpenCount(), 1);
        QCOMPARE(rawNode->OpenCount(), 1);
        // Commands go to the command node, raw reports still come from the other.
        EchoFrame(cmdNode, 0xFC);
        const TouchDeviceInfo handle = pProbe->LastArrival();
        const QByteArray request = Report(0xFC, {0xA3});
        uint8_t reply[64];
        QCOMPARE(pProbe->Sdk()->SendAndRecvData(&handle, reinterpret_cast<const uint8_t *>(request.constData()),
                                                64, reply, 64, 2000),
                 64);
        rawNode->SendInput(Report(0xFB, {0x02}));
        DEV_TRY_COMPARE(pProbe->RawReports().size(), 2);
    }

    void twoIdenticalFramesAreTwoDevices()
    {
        m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        CLayerProbe *pProbe = Probe();
        DEV_TRY_COMPARE(pProbe->Arrivals(), 2);
        QCOMPARE(Manager()->GetDeviceMap().size(), 2);
        const QList<CLayerProbe::Event> events = pProbe->Events();
        QVERIFY(events[0].info.hDevice != events[1].info.hDevice);
    }

    void passesThatChangeNothing()
    {
        auto frame = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        auto other = m_hid->AddNode(m_hid->FrameInfo(0x1234, 0x0001, 0x0100, CFakeHidBackend::AppMode));
        HidNodeInfo bluetooth = m_hid->FrameInfo(0x1FF7, 0x0001, 0x7300, CFakeHidBackend::AppMode);
        bluetooth.bUsb = false;
        auto notUsb = m_hid->AddNode(bluetooth);
        CLayerProbe *pProbe = Probe();
        DEV_TRY_COMPARE(pProbe->Arrivals(), 1);
        Pass();
        Pass();
        QCOMPARE(pProbe->Events().size(), 1);
        QCOMPARE(other->OpenCount(), 0);  // unsupported devices are never opened
        QCOMPARE(notUsb->OpenCount(), 0);
        QCOMPARE(Manager()->GetDeviceMap().size(), 1);
    }

    // A pass that cannot list the devices reports nothing removed.
    void failedEnumerationRemovesNothing()
    {
        auto frame = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        CLayerProbe *pProbe = Probe();
        DEV_TRY_COMPARE(pProbe->Arrivals(), 1);
        m_hid->SetEnumerateFails(true);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("enumeration failed"));
        Pass();
        QCOMPARE(pProbe->Removals(), 0);
        QCOMPARE(pProbe->Sdk()->GetDeviceCount(), 1);
        m_hid->SetEnumerateFails(false);
        m_hid->RemoveNode(frame);
        DEV_TRY_COMPARE(pProbe->Removals(), 1);
    }

    // A frame is present while any node of its USB device is, even one that
    // cannot be classified in this pass.
    void presentFrameWithUnclassifiableNodeStays()
    {
        HidNodeInfo info = m_hid->FrameInfo(0x1FF7, 0x0001, 0x7300, CFakeHidBackend::AppMode, "Frame", 9);
        auto frame = m_hid->AddNode(info);
        CLayerProbe *pProbe = Probe();
        DEV_TRY_COMPARE(pProbe->Arrivals(), 1);
        // The same USB device shows a second node whose descriptor is unusable,
        // and the first node drops out of one listing (a transient sysfs error).
        HidNodeInfo broken = info;
        broken.strDevNode.clear();
        broken.baReportDescriptor = QByteArray("\x06\x00", 2);
        auto brokenNode = m_hid->AddNode(broken, false);
        m_hid->HideNode(frame, false);
        Pass();
        QCOMPARE(pProbe->Removals(), 0);
        m_hid->RemoveNode(frame, false);
        m_hid->RemoveNode(brokenNode);
        DEV_TRY_COMPARE(pProbe->Removals(), 1);
    }

    void openFailureAnnouncesNothingUntilItOpens()
    {
        m_hid->SetOpenError(EACCES);
        auto frame = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ColAppCmd Handle Create Faild"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Permission denied"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ColAppRaw open of .* failed"));
        CLayerProbe *pProbe = Probe();
        Pass(); // warned once only
        QCOMPARE(pProbe->Events().size(), 0);
        QCOMPARE(Manager()->GetDeviceMap().size(), 1);
        QCOMPARE(pProbe->Sdk()->GetDeviceCount(), 0);
        m_hid->SetOpenError(0);
        Pass();
        QCOMPARE(pProbe->Arrivals(), 1);
        QCOMPARE(frame->OpenCount(), 2);
    }

    // A frame that cannot be opened does not hide the frames after it from a
    // later registration.
    void unopenedFrameDoesNotHideOthers()
    {
        m_hid->AddNode(m_hid->FrameInfo(0x2FE9, 0xFF10, 0x7300, CFakeHidBackend::AppMode, "Frame", 2));
        m_hid->AddNode(m_hid->FrameInfo(0x1FF7, 0x0001, 0x7300, CFakeHidBackend::AppMode, "Frame", 3));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ColAppCmd Handle Attributes Error"));
        CLayerProbe *pFirst = Probe();
        DEV_TRY_COMPARE(pFirst->Arrivals(), 1);
        QCOMPARE(Manager()->GetDeviceMap().size(), 2);
        QCOMPARE(Manager()->GetDeviceMap().firstKey(), QString("1002")); // the refused one comes first
        CLayerProbe second;
        QCOMPARE(second.Listed().size(), 1);
        QCOMPARE(second.Listed().first().nVid, uint16_t(0x1FF7));
        QCOMPARE(second.Sdk()->GetDeviceCount(), 1);
    }

    void secondCommandCollectionIsRefused()
    {
        HidNodeInfo a = m_hid->FrameInfo(0x1FF7, 0x0001, 0x7300, CFakeHidBackend::AppMode, "Frame", 5);
        a.baReportDescriptor = CmdOnly();
        HidNodeInfo b = a;
        auto first = m_hid->AddNode(a, false);
        auto second = m_hid->AddNode(b, false);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ColAppCmd Handle has Got!"));
        CLayerProbe *pProbe = Probe();
        DEV_TRY_COMPARE(pProbe->Arrivals(), 1);
        Pass();
        QCOMPARE(first->OpenCount() + second->OpenCount(), 1);
        QCOMPARE(pProbe->Events().size(), 1);
    }

    // Application -> bootloader: the new USB device number makes a new object
    // in bootloader mode, and the old one is removed (first, when its readers
    // saw it go before the pass; else after the new one is announced).
    void bootloaderIsANewDevice()
    {
        auto app = m_hid->AddFrame(0x2FE9, 0x0001, 0x7300);
        CLayerProbe *pProbe = Probe();
        DEV_TRY_COMPARE(pProbe->Arrivals(), 1);
        const TouchDeviceInfo before = pProbe->LastArrival();
        m_hid->Reenumerate(app, m_hid->FrameInfo(0x2FE9, 0xFF01, 0x0100, CFakeHidBackend::BootMode));
        DEV_TRY_COMPARE(pProbe->Events().size(), 3);
        const QList<CLayerProbe::Event> events = pProbe->Events();
        const CLayerProbe::Event &arrival = events[1].bPlug ? events[1] : events[2];
        const CLayerProbe::Event &removal = events[1].bPlug ? events[2] : events[1];
        QCOMPARE(arrival.bPlug, true);
        QCOMPARE(arrival.info.nMode, 0u);
        QCOMPARE(arrival.info.nPid, uint16_t(0xFF01));
        QCOMPARE(removal.bPlug, false);
        QCOMPARE(removal.info.hDevice, before.hDevice);
        QCOMPARE(Manager()->GetDeviceMap().size(), 1);
    }

    // A bootloader collection seen beside an open application command
    // collection does not switch the frame's command id.
    void bootCollectionBesideAnOpenApplicationFrame()
    {
        HidNodeInfo info = m_hid->FrameInfo(0x2FE9, 0x0001, 0x7300, CFakeHidBackend::AppMode, "Frame", 4);
        info.baReportDescriptor = CFakeHidBackend::AppDescriptor() + CFakeHidBackend::BootDescriptor();
        auto node = m_hid->AddNode(info);
        CLayerProbe *pProbe = Probe();
        DEV_TRY_COMPARE(pProbe->Arrivals(), 1);
        const TouchDeviceInfo handle = pProbe->LastArrival();
        QCOMPARE(handle.nMode, 1u);
        EchoFrame(node, 0xFC);
        const QByteArray request = Report(0xFC, {0xA3});
        uint8_t reply[64];
        QCOMPARE(pProbe->Sdk()->SendAndRecvData(&handle, reinterpret_cast<const uint8_t *>(request.constData()),
                                                64, reply, 64, 2000),
                 64);
    }

    void releasingTheLayerReportsNoRemoval()
    {
        auto frame = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        CLayerProbe *pProbe = Probe();
        DEV_TRY_COMPARE(pProbe->Arrivals(), 1);
        DEV_TRY_COMPARE(frame->OpenCount(), 2);
        m_probe.reset(); // last registration: the manager and its devices go
        QCOMPARE(CTouchManage::PeekInstance(), nullptr);
        DEV_TRY_COMPARE(frame->OpenCount(), 0);
    }

    // In the station nothing but the manager holds the OS backend: the device
    // objects released last of all still close their descriptors through it.
    void devicesReleasedAfterTheManagerStillHaveTheirBackend()
    {
        auto frame = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        CLayerProbe *pProbe = Probe();
        DEV_TRY_COMPARE(pProbe->Arrivals(), 1);
        DEV_TRY_COMPARE(frame->OpenCount(), 2);
        // Only the manager keeps it now (the weak reference keeps the memory, so
        // a call into a destroyed backend would abort, not go unnoticed).
        const std::weak_ptr<CFakeHidBackend> backend = m_hid;
        CFakeHidBackend::Uninstall();
        m_hid.reset();
        QVERIFY(!backend.expired());
        m_probe.reset(); // the manager goes, and its devices with it
        QCOMPARE(CTouchManage::PeekInstance(), nullptr);
        QVERIFY(backend.expired());
        QCOMPARE(frame->OpenCount(), 0);
        m_hid = CFakeHidBackend::Install(); // for cleanup()
    }

    // A registration racing an announcement sees the frame exactly once:
    // in its table or through its callback.
    void registrationRacingAnAnnouncement()
    {
        CLayerProbe *pFirst = Probe();
        for (int i = 0; i < 40; ++i) {
            auto frame = m_hid->AddNode(m_hid->FrameInfo(0x1FF7, 0x0001, uint16_t(i), CFakeHidBackend::AppMode),
                                        false);
            // Queue a pass on the hot-plug thread and register meanwhile.
            QMetaObject::invokeMethod(Manager()->Hotplug(), "DeviceChangeCbk", Qt::QueuedConnection);
            CLayerProbe late;
            auto seen = [&late, i]() {
                int n = 0;
                for (const TouchDeviceInfo &rec : late.Listed())
                    n += rec.nVersion == uint16_t(i) ? 1 : 0;
                for (const CLayerProbe::Event &e : late.Events())
                    n += e.info.nVersion == uint16_t(i) ? 1 : 0;
                return n;
            };
            DEV_TRY_COMPARE(pFirst->Arrivals(), i + 1);
            DEV_TRY_VERIFY(seen() >= 1);
            QTest::qWait(2);
            QCOMPARE(seen(), 1);
            m_hid->RemoveNode(frame); // keep the tables far from full
            DEV_TRY_COMPARE(pFirst->Removals(), i + 1);
        }
    }

    void firstPassRunsWithoutAMonitor()
    {
        m_hid->SetMonitorAvailable(false);
        m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        CLayerProbe *pProbe = Probe();
        DEV_TRY_COMPARE(pProbe->Arrivals(), 1);
    }
};

STATION_TEST_MAIN_CORE(TestTouchManage)
#include "tst_touchmanage.moc"
