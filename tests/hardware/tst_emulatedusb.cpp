// HardwareInterface end to end below the port: the emulated frame sits on the
// fake OS backend as a hidraw node, and the real device layer (enumeration,
// device object, readers, report queues) and CComPortUsb carry its reports.

#include "comportusb.h"
#include "deviceerror.h"
#include "hardwareinterface.h"
#include "stationclock.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "touchdevice.h"
#include "touchmanage.h"
#include "waitfor.h"

#include <QElapsedTimer>
#include <QThread>
#include <QMutex>
#include <QtTest>
#include <atomic>
#include <memory>

using StationTest::WaitFor;

namespace {
QString Hex(int32_t n)
{
    return QStringLiteral("0x%1").arg(uint32_t(n), 8, 16, QLatin1Char('0'));
}

// Replies waiting in the command queue (report id 0xFC) of the one frame.
int QueuedCommandReplies()
{
    const QMap<QString, CTouchDevice *> devices = CTouchManage::GetInstance()->GetDeviceMap();
    return devices.isEmpty() ? -1 : devices.first()->QueuedReportCount(0xFC);
}

// Runs fn on a thread of its own (the station's worker) and returns its result.
template <typename Fn>
int32_t OnWorker(Fn fn, const std::function<void()> &whileRunning)
{
    std::atomic<int32_t> result{0};
    std::atomic<bool> bDone{false};
    QThread *pThread = QThread::create([&] {
        result = fn();
        bDone = true;
    });
    pThread->start();
    whileRunning();
    pThread->wait(20000);
    delete pThread;
    return result.load();
}
} // namespace

class TestEmulatedUsb : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CStationRig> m_pRig;
    CEmulatedFrame *m_frame = nullptr;    // the rig's
    CEmulatedUsbFrame *m_usb = nullptr;   // the rig's
    CComPortUsb *m_port = nullptr;        // the rig's
    std::unique_ptr<HardwareInterface> m_hw;

    // A frame on the bus and a station whose USB port has taken it in.
    bool Start()
    {
        m_usb->Plug();
        m_port = m_pRig->OpenPort();
        if (!m_pRig->WaitForDevices(1))
            return false;
        m_hw.reset(new HardwareInterface(nullptr, m_port, QStringLiteral("emulated")));
        return true;
    }

private slots:
    void init()
    {
        CTestEnvironment::RealClock();
        m_pRig = std::make_unique<CStationRig>();
        // The frame's own model only: no panel, no bootloader.
        CStationRig::SFrameOptions options;
        options.bPanel = false;
        CStationRig::SFrame &frame = m_pRig->AddFrame(options);
        m_frame = &frame.frame;
        m_usb = frame.usb.get();
    }

    void cleanup()
    {
        // Every request of the test was one the protocol has, well formed.
        const QStringList violations = m_frame->Violations();
        CTestEnvironment::RealClock();
        m_hw.reset();
        m_port = nullptr;
        m_usb = nullptr;
        m_frame = nullptr;
        m_pRig.reset();
        QVERIFY2(violations.isEmpty(), qPrintable(violations.join('\n')));
    }

    void arrivalCarriesTheFramesIdentity()
    {
        QVERIFY(Start());
        QCOMPARE(m_port->GetVid(), 0x2FE9);
        QCOMPARE(m_port->GetPid(), 0x0013);
        QCOMPARE(m_port->GetVersion(), 0x7201);
        QCOMPARE(m_port->GetDeviceMode(), 1u);
        QVERIFY(!m_port->IsBootloaderPid());
        QCOMPARE(m_port->GetDeviceNameList(), QList<QString>{QStringLiteral("USB\\VID_2FE9&PID_0013&REV_7201")});
    }

    void deviceInformationEndToEnd()
    {
        QVERIFY(Start());
        QCOMPARE(m_hw->InitDeviceInfo(), 0);
        const QList<CPropertyItem> expected{{"BatchInfo", "B2024-11-05"},
                                            {"McuID", "0123456789ABCDEF00112233"},
                                            {"Product", "KT-T65WHSUR-10P"},
                                            {"Vid", "0x2FE9"},
                                            {"Pid", "0x0013"},
                                            {"Version", "0x0102-0x0103"},
                                            {"CheckSum", "0x1A2B-0x3C4D"},
                                            {"BootVersion", "0x020105"},
                                            {"BootCheckSum", "0x11223344"},
                                            {"MaxPoint", "10"}};
        QCOMPARE(m_hw->GetPropertyList(), expected);
        QVERIFY(m_frame->Violations().isEmpty());
    }

    void replyRulesEndToEnd_data()
    {
        QTest::addColumn<int>("fault");  // 0 status 82, 1 silent, 2 garbage then answer, 3 refusal, 4 status 83
        QTest::addColumn<int32_t>("result");
        QTest::addColumn<int>("requests");
        QTest::newRow("busy status") << 0 << int32_t(0x1002) << 1;
        QTest::newRow("silent") << 1 << int32_t(0x801D0001u) << 10;
        QTest::newRow("garbage first") << 2 << int32_t(0) << 1;
        QTest::newRow("refusal") << 3 << int32_t(0x1004) << 1;
        QTest::newRow("other status") << 4 << int32_t(0x1003) << 1;
    }

    void replyRulesEndToEnd()
    {
        QFETCH(int, fault);
        QFETCH(int32_t, result);
        QFETCH(int, requests);
        QVERIFY(Start());
        // Only the silent frame needs short waits; an answered command must
        // never run into a scaled-down time-out on a loaded machine.
        if (fault == 1)
            CTestEnvironment::FastClock();
        const CEmulatedFrame::Fault faults[] = {CEmulatedFrame::StatusReply(0x82), CEmulatedFrame::Silent(),
                                                CEmulatedFrame::GarbageReply(true), CEmulatedFrame::Refusal(),
                                                CEmulatedFrame::StatusReply(0x83)};
        m_frame->SetFault(0xB2, 0x08, faults[fault]);
        uint8_t a = 0, b = 4, c = 1;
        QCOMPARE(Hex(m_hw->GetDeviceState(&a, &c, &b)), Hex(result));
        // The node hands a written report to the frame on its own thread.
        WaitFor([&] { return m_frame->RequestsFor(0xB2, 0x08).size() >= requests; }, 2000);
        QCOMPARE(m_frame->RequestsFor(0xB2, 0x08).size(), requests);
    }

    void unplugInTheMiddleOfACommand()
    {
        QVERIFY(Start());
        m_frame->SetFault(0xA3, 0x05, CEmulatedFrame::UnplugOnCommand());
        QList<CPropertyItem> list;
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(Hex(m_hw->GetFirmwareInfo(list)), Hex(int32_t(0x800C0002u)));
        QVERIFY(timer.elapsed() < 5000);  // the loss ends the wait, not the 10 s time-out
        QVERIFY(list.isEmpty());
        QVERIFY(WaitFor([this] { return m_port->GetDevCount() == 0; }));
        QCOMPARE(Hex(m_hw->GetProduct()), Hex(int32_t(0x800B0002u)));
    }

    void lateReplyIsNotTakenByTheNextCommand()
    {
        QVERIFY(Start());
        CTestEnvironment::FastClock(0.01);  // 10 s reads become 100 ms
        // The first touch-enable request goes unanswered: the read times out
        // and the retry is answered.
        m_frame->SetFault(0x30, 0x07, CEmulatedFrame::Silent(1));
        QCOMPARE(Hex(m_hw->GetTouchEnable()), Hex(0));
        QVERIFY(m_frame->RequestsFor(0x30, 0x07).size() >= 2);
        QCOMPARE(int(m_hw->TouchEnableBytes()[0]), 1);
        // Now the answer to the first request comes in, late, with old bytes,
        // and sits in the command queue when the next command starts.
        QVERIFY(m_usb->Node()->SendInput(CEmulatedFrame::Pad64(QByteArray::fromHex("fc30870200 0707"))) > 0);
        QVERIFY(WaitFor([] { return QueuedCommandReplies() >= 1; }));
        m_frame->Edit([](CEmulatedFrame::State &s) {
            s.settings.touch[0] = 9;
            s.settings.touch[1] = 8;
        });
        QCOMPARE(m_hw->GetTouchEnable(), 0);
        QCOMPARE(int(m_hw->TouchEnableBytes()[0]), 9);
        QCOMPARE(int(m_hw->TouchEnableBytes()[1]), 8);
        QCOMPARE(QueuedCommandReplies(), 0);
    }

    void abortFromTheGuiThread()
    {
        QVERIFY(Start());
        m_frame->Edit([](CEmulatedFrame::State &s) { s.cal.nTouchDelayMs = -1; });
        int next = -1;
        QElapsedTimer timer;
        timer.start();
        const int32_t r = OnWorker([&] { return m_hw->DoCalStep(1, &next, 30000); },
                                   [&] {
                                       QVERIFY(WaitFor([&] { return m_frame->RequestsFor(0x01, 0x01).size() == 1; }));
                                       QTest::qWait(20);
                                       m_hw->SetRecvEnable(false);
                                   });
        QCOMPARE(Hex(r), Hex(int32_t(0x802A0004u)));
        QVERIFY(timer.elapsed() < 10000);
        QCOMPARE(next, -1);
        QCOMPARE(m_frame->RequestsFor(0x01, 0x01).size(), 1);
        // The station goes on with the next command.
        QCOMPARE(m_hw->ResetCalData(), 0);
    }

    void fineTuneEndWhileAStepWaits()
    {
        QVERIFY(Start());
        m_frame->Edit([](CEmulatedFrame::State &s) { s.cal.nTouchDelayMs = -1; });
        int next = -1;
        const int32_t r = OnWorker([&] { return m_hw->DoCalStep(2, &next, 30000); },
                                   [&] {
                                       QVERIFY(WaitFor([&] { return m_frame->RequestsFor(0x01, 0x02).size() == 1; }));
                                       m_frame->InjectFineTuneEnd();
                                       m_usb->DeliverInjected();
                                   });
        QCOMPARE(Hex(r), Hex(int32_t(0x802A0005u)));
    }

    void calibrationEndToEnd()
    {
        QVERIFY(Start());
        QCOMPARE(m_hw->InitDeviceCalData(), 0);
        QCOMPARE(m_hw->GetCalLX(), 0x0100);
        QCOMPARE(m_hw->GetCalRY(), 0x7D00);
        int next = 0;
        QCOMPARE(m_hw->DoCalStep(0, &next, 30000), 0);
        QCOMPARE(next, 1);
        QCOMPARE(m_hw->DoCalStep(5, &next, 30000), 0);
        QCOMPARE(next, HardwareInterface::CAL_CHECK_ACCEPTED);
        QCOMPARE(m_hw->MoveCalEdge(0, true), 0);
        QCOMPARE(m_hw->SendCmd01FF(), 0);
        QCOMPARE(m_hw->SaveCalToFlash(), 0);
        QCOMPARE(m_hw->SaveCalAsDefault(), 0);
        const CEmulatedFrame::State s = m_frame->Snapshot();
        QCOMPARE(s.cal.value[0], quint16(0x0101));
        QCOMPARE(s.cal.flash[0], quint16(0x0101));
        QVERIFY(s.cal.bEnded);
        QVERIFY2(m_frame->Violations().isEmpty(), qPrintable(m_frame->Violations().join('\n')));
    }

    void jumpToTheBootloaderAndBack()
    {
        QVERIFY(Start());
        // Each DeviceInsert with the mode of the current frame when it came
        // (the application frame's own arrival may still be on its way).
        QMutex eventsMutex;
        QStringList events;
        CComPortUsb *pPort = m_port;
        connect(pPort, &CComPort::DeviceInsert, this,
                [&, pPort](bool b) {
                    QMutexLocker lock(&eventsMutex);
                    events << (b ? QStringLiteral("in:%1").arg(pPort->GetDeviceMode()) : QStringLiteral("out"));
                },
                Qt::DirectConnection);
        auto seen = [&]() {
            QMutexLocker lock(&eventsMutex);
            return events;
        };
        QCOMPARE(m_hw->JumpToBoot(), 0);
        // The application frame leaves, then the bootloader arrives.
        QVERIFY(WaitFor([&] {
            const QStringList e = seen();
            const int nOut = e.indexOf(QStringLiteral("out"));
            return nOut >= 0 && e.indexOf(QStringLiteral("in:0"), nOut) > nOut;
        }));
        QCOMPARE(m_port->GetDeviceMode(), 0u);
        QVERIFY(m_port->IsBootloaderPid());

        // The station builds a device object for the bootloader and reads it.
        HardwareInterface boot(nullptr, m_port, QStringLiteral("boot"));
        QCOMPARE(boot.GetBootInfo(), 0);
        // The bootloader the application reported, as the bootloader itself
        // reports it.
        QCOMPARE(boot.GetProperty(QStringLiteral("BootVersion")), QStringLiteral("0x020105"));
        QCOMPARE(boot.GetProperty(QStringLiteral("BootCheckSum")), QStringLiteral("0x11223344"));
    }

    void bootloaderThatNeverComesBack()
    {
        QVERIFY(Start());
        m_frame->Edit([](CEmulatedFrame::State &s) { s.boot.bNeverReturns = true; });
        QCOMPARE(m_hw->JumpToBoot(), 0);
        QVERIFY(WaitFor([this] { return m_port->GetDevCount() == 0; }));
        QTest::qWait(200);
        QCOMPARE(m_port->GetDevCount(), 0);
        QCOMPARE(Hex(m_hw->GetProduct()), Hex(int32_t(0x800B0002u)));
    }
};

STATION_TEST_MAIN_CORE(TestEmulatedUsb)
#include "tst_emulatedusb.moc"
