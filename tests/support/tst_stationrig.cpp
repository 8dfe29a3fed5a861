// The station rig's own bookkeeping: frames as asked, the port's view of
// them, the touch recorder and a clean teardown.

#include "recordingtouchinjector.h"
#include "simulatortouchforos.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "touchsdk.h"

#include <QtTest>

class TestStationRig : public QObject
{
    Q_OBJECT

private slots:
    void framesAsAsked()
    {
        CStationRig rig;
        CStationRig::SFrameOptions boot;
        boot.mode = CEmulatedFrame::Mode::Bootloader;
        boot.bBootloader = true;
        boot.bPanel = false;
        boot.serial = "BOOT1";
        CStationRig::SFrame& first = rig.AddFrame(0x7300, 0x0021);
        CStationRig::SFrame& second = rig.AddFrame(boot);
        QCOMPARE(rig.FrameCount(), 2);
        QCOMPARE(&rig.Frame(1), &second);
        QCOMPARE(first.frame.Snapshot().id.nVersion, quint16(0x7300));
        QCOMPARE(first.frame.Pid(), quint16(0x0021));
        QVERIFY(!first.boot);
        QVERIFY(second.boot);
        QCOMPARE(second.frame.CurrentMode(), CEmulatedFrame::Mode::Bootloader);
        QCOMPARE(second.frame.Snapshot().id.serial, QByteArray("BOOT1"));

        CComPortUsb* pPort = rig.OpenPort();
        QCOMPARE(rig.Port(), pPort);
        first.usb->Plug();
        second.usb->Plug();
        QVERIFY(rig.WaitForDevices(2));
        second.usb->Unplug();
        QVERIFY(rig.WaitForDevices(1));
        QCOMPARE(pPort->GetPid(), 0x0021);
    }

    void resetStartsAFreshBus()
    {
        CStationRig rig;
        rig.AddFrame().usb->Plug();
        const std::weak_ptr<CFakeHidBackend> first = rig.Backend();
        QCOMPARE(rig.Backend()->Nodes().size(), 1);
        rig.Reset();
        QVERIFY(first.expired());
        QVERIFY(rig.Backend());
        QCOMPARE(rig.FrameCount(), 0);
        QVERIFY(rig.Backend()->Nodes().isEmpty());
        QVERIFY(!rig.Port());
    }

    void touchRecorderGoesWithTheRig()
    {
        {
            CStationRig rig;
            const std::shared_ptr<CRecordingTouchInjector> pRecorder = rig.RecordTouches();
            QCOMPARE(rig.RecordTouches(), pRecorder);
            QCOMPARE(TouchSDK::GetSimulatorTouch(), pRecorder.get());
        }
        QCOMPARE(TouchSDK::GetSimulatorTouch(), static_cast<CSimulatorTouch*>(CSimulatorTouchForOS::GetInstance()));
    }

    // A fixture rebuilt in init() after a failed init() (which skips
    // cleanup()): the new rig and work folder are made before the old ones
    // go. The old ones going must not take the new ones' bus, recorder or
    // folder with them, or one failure fails every later case.
    void replacedFixtureKeepsTheNewOnes()
    {
        const QString outside = QDir::currentPath();
        auto pOldDir = std::make_unique<CScopedWorkDir>();
        auto pOld = std::make_unique<CStationRig>();
        pOld->RecordTouches();

        auto pNewDir = std::make_unique<CScopedWorkDir>();
        auto pNew = std::make_unique<CStationRig>();
        const std::shared_ptr<CRecordingTouchInjector> pRecorder = pNew->RecordTouches();
        pNew->AddFrame().usb->Plug();
        pOld.reset();
        pOldDir.reset();
        QCOMPARE(QDir::current(), QDir(pNewDir->Path()));
        QCOMPARE(TouchSDK::GetSimulatorTouch(), pRecorder.get());
        pNew->OpenPort();
        QVERIFY(pNew->WaitForDevices(1));

        pNew.reset();
        QCOMPARE(TouchSDK::GetSimulatorTouch(), static_cast<CSimulatorTouch*>(CSimulatorTouchForOS::GetInstance()));
        pNewDir.reset();
        QCOMPARE(QDir::currentPath(), outside);
    }
};

STATION_TEST_MAIN_CORE(TestStationRig)
#include "tst_stationrig.moc"
