// Frames coming and going on a mocked kernel: udev events reach the
// station's listener, the real backend finds the change, and the USB port
// tells its owner, once, whatever was under way on the frame at that moment.

#include "comportusb.h"
#include "emulatedbootloader.h"
#include "mockedframetest.h"
#include "testenvironment.h"
#include "touchdevice.h"
#include "udevhidbackend.h"
#include "usblistenerforlinux.h"

#include <QSignalSpy>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <functional>

using namespace mockedtest;

namespace {

// Runs a call on a thread of its own (the station's worker) while the test
// changes the bus; a call that never ends fails the test instead of hanging
// it: the frame is then unplugged, which ends every wait of the device layer.
class CCallOnWorker
{
public:
    explicit CCallOnWorker(std::function<int32_t()> call)
    {
        m_pThread = QThread::create([this, call]() {
            m_nResult = call();
            m_bDone = true;
        });
        m_pThread->start();
    }
    ~CCallOnWorker()
    {
        m_pThread->wait();
        delete m_pThread;
    }
    // The result, once the call has ended (false when it did not end).
    bool Finish(CMockedHidFrame *pUsb, int32_t *pResult)
    {
        const bool bEnded = StationTest::WaitFor([this]() { return m_bDone.load(); }, 30000);
        if (!bEnded)
            pUsb->Unplug();
        m_pThread->wait();
        *pResult = m_nResult.load();
        return bEnded;
    }

private:
    QThread *m_pThread = nullptr;
    std::atomic<int32_t> m_nResult{0};
    std::atomic<bool> m_bDone{false};
};

} // namespace

class TestHidrawHotplug : public QObject
{
    Q_OBJECT

private:
    // A keyboard on the bus the whole time; its events make the station look.
    std::unique_ptr<CFrameOnBus> m_pKeyboard;
    std::unique_ptr<CComPortUsb> m_pPort;
    QMutex m_mutex;
    QList<bool> m_inserts;         // DeviceInsert, in order
    QList<QList<QString>> m_lists; // DeviceListChanged, in order

    QList<bool> Inserts()
    {
        QMutexLocker lock(&m_mutex);
        return m_inserts;
    }
    QList<QList<QString>> Lists()
    {
        QMutexLocker lock(&m_mutex);
        return m_lists;
    }
    // The port, with its first look at the bus done.
    void StartPort()
    {
        m_pPort = std::make_unique<CComPortUsb>();
        connect(m_pPort.get(), &CComPort::DeviceInsert, this,
                [this](bool bIn) {
                    QMutexLocker lock(&m_mutex);
                    m_inserts << bIn;
                },
                Qt::DirectConnection);
        connect(m_pPort.get(), &CComPortUsb::DeviceListChanged, this,
                [this](QList<QString> names) {
                    QMutexLocker lock(&m_mutex);
                    m_lists << names;
                },
                Qt::DirectConnection);
        QVERIFY(WaitForPass(*m_pKeyboard->usb));
    }
    int32_t SendAndRecv(const QByteArray &request, int nTimeoutMs, QByteArray *pReply = nullptr)
    {
        uint8_t reply[64] = {};
        const int32_t nResult = m_pPort->SendAndRecvData(reinterpret_cast<const uint8_t *>(request.constData()),
                                                         64, reply, sizeof(reply), nTimeoutMs, 0);
        if (pReply)
            *pReply = QByteArray(reinterpret_cast<const char *>(reply), 64);
        return nResult;
    }
    // Nothing more is said about the bus after a further look at it.
    void SettledAfterAnotherPass(const QList<bool> &inserts)
    {
        QVERIFY(WaitForPass(*m_pKeyboard->usb));
        QCOMPARE(Inserts(), inserts);
    }

private slots:
    void initTestCase()
    {
        m_pKeyboard = std::make_unique<CFrameOnBus>(0x046D, 0xC31C);
        m_pKeyboard->usb->Plug();
    }
    void cleanupTestCase() { m_pKeyboard.reset(); }

    void init()
    {
        CTestEnvironment::RealClock();
        m_inserts.clear();
        m_lists.clear();
    }
    void cleanup() { m_pPort.reset(); }

    // The kernel's add and remove events reach the listener through its
    // socket notifier.
    void listenerHearsTheKernel()
    {
        auto backend = std::make_shared<CUdevHidBackend>();
        CUsbListenerForLinux listener(backend);
        QVERIFY(listener.IsMonitoring());
        QSignalSpy changes(&listener, &CUsbListenerForLinux::DeviceChangeCbk);
        CFrameOnBus bus;
        bus.usb->Plug();
        QVERIFY(changes.wait(10000));
        const int nAfterPlug = changes.count();
        bus.usb->Unplug();
        QVERIFY(StationTest::WaitFor([&]() { return changes.count() > nAfterPlug; }));
    }

    void frameArrivesAfterStart()
    {
        StartPort();
        QVERIFY(Inserts().isEmpty());
        CFrameOnBus bus;
        bus.usb->Plug();
        QVERIFY(StationTest::WaitFor([this]() { return Inserts().size() == 1; }));
        QCOMPARE(Inserts(), QList<bool>{true});
        QCOMPARE(m_pPort->GetDevCount(), 1);
        QCOMPARE(m_pPort->GetVid(), 0x2FE9);
        QCOMPARE(m_pPort->GetPid(), 0x0013);
        QCOMPARE(m_pPort->GetVersion(), 0x7201);
        QCOMPARE(m_pPort->GetDeviceMode(), 1u);
        QCOMPARE(m_pPort->GetDeviceNameList(), QList<QString>{NameOf(0x2FE9, 0x0013, 0x7201)});
        SettledAfterAnotherPass({true});
    }

    // The frame leaves while a command waits for its reply: the wait ends
    // with "device lost", the departure is told once, the device object and
    // its descriptors are gone.
    void frameLeavesDuringAWait()
    {
        CFrameOnBus bus;
        bus.usb->Plug();
        StartPort();
        QVERIFY(StationTest::WaitFor([&]() { return bus.usb->OpenCount() == 2; }));
        bus.frame.SetFault(0xA3, 0x01, CEmulatedFrame::Silent());
        CCallOnWorker wait([this]() { return SendAndRecv(Command(0xA3, 0x01), 600000); });
        QVERIFY(StationTest::WaitFor([&]() { return bus.frame.RequestsFor(0xA3, 0x01).size() == 1; }));
        bus.usb->Unplug();
        int32_t nResult = 0;
        QVERIFY(wait.Finish(bus.usb.get(), &nResult));
        QCOMPARE(nResult, ERROR_CODE_LOST_DEVICE);
        // The table changes before the signal goes out: wait for the signal.
        QVERIFY(StationTest::WaitFor([this]() { return Inserts().size() == 2; }));
        QCOMPARE(Inserts(), (QList<bool>{true, false}));
        QCOMPARE(m_pPort->GetDevCount(), 0);
        QVERIFY(devicetest::Manager()->GetDeviceMap().isEmpty());
        QCOMPARE(SendAndRecv(Command(0xA3, 0x01), 100), ERROR_CODE_LOST_DEVICE);
        SettledAfterAnotherPass({true, false});
    }

    // The first frame stays the current one; when it leaves, the second
    // takes its place.
    void secondFrame()
    {
        CFrameOnBus first;
        CFrameOnBus second(0x1FF7, 0x0001, 0x7300);
        first.usb->Plug();
        StartPort();
        QVERIFY(StationTest::WaitFor([this]() { return Inserts().size() == 1; }));
        second.usb->Plug();
        QVERIFY(StationTest::WaitFor([this]() { return Lists().size() == 2; }));
        QCOMPARE(m_pPort->GetDevCount(), 2);
        QCOMPARE(Inserts(), QList<bool>{true});
        QCOMPARE(Lists().last(), (QList<QString>{NameOf(0x2FE9, 0x0013, 0x7201), NameOf(0x1FF7, 0x0001, 0x7300)}));
        QCOMPARE(devicetest::Manager()->GetDeviceMap().size(), 2);
        QCOMPARE(m_pPort->GetVid(), 0x2FE9);

        first.usb->Unplug();
        QVERIFY(StationTest::WaitFor([this]() { return Inserts().size() == 3; }));
        QCOMPARE(Inserts(), (QList<bool>{true, false, true}));
        QCOMPARE(m_pPort->GetDevCount(), 1);
        QCOMPARE(m_pPort->GetVid(), 0x1FF7);
        QByteArray reply;
        QCOMPARE(SendAndRecv(Command(0xA3, 0x01), 2000, &reply), 64);
        QCOMPARE(reply.left(3), QByteArray::fromHex("FCA381"));
        SettledAfterAnotherPass({true, false, true});
    }

    // Told to jump to its bootloader, the frame leaves the bus and comes back
    // as a new USB device in bootloader mode.
    void frameReenumeratesInBootloaderMode()
    {
        CFrameOnBus bus;
        bus.usb->Plug();
        StartPort();
        QVERIFY(StationTest::WaitFor([this]() { return Inserts().size() == 1; }));
        const QString appKey = KeyOf(*bus.usb);
        QByteArray reply;
        QCOMPARE(SendAndRecv(Command(0xAA, 0x04), 2000, &reply), 64);
        QCOMPARE(reply.left(3), QByteArray::fromHex("FCFE84")); // "jumping"
        QVERIFY(StationTest::WaitFor([this]() { return Inserts().size() == 3; }));
        QCOMPARE(Inserts(), (QList<bool>{true, false, true}));
        QCOMPARE(bus.usb->Arrivals(), 2);
        QCOMPARE(m_pPort->GetDevCount(), 1);
        QCOMPARE(m_pPort->GetDeviceMode(), 0u);
        QCOMPARE(m_pPort->GetPid(), 0xFF00);
        QVERIFY(m_pPort->IsBootloaderPid());
        const QList<QString> keys = devicetest::Manager()->GetDeviceMap().keys();
        QCOMPARE(keys, QList<QString>{KeyOf(*bus.usb)});
        QVERIFY(keys.first() != appKey);
        // The bootloader answers on its own collection.
        uint8_t query[64] = {0xFE, 0x03};
        uint8_t answer[64] = {};
        QCOMPARE(m_pPort->SendAndRecvData(query, 64, answer, 64, 2000, 0), 64);
        QCOMPARE(answer[0], uint8_t(0xFD));
        QCOMPARE(answer[1], uint8_t(0x03));
        SettledAfterAnotherPass({true, false, true});
    }

    // The frame leaves on receiving a command: the command ends with
    // "device lost", not a time-out.
    void unplugInTheMiddleOfACommand()
    {
        CFrameOnBus bus;
        bus.usb->Plug();
        StartPort();
        QVERIFY(StationTest::WaitFor([this]() { return Inserts().size() == 1; }));
        bus.frame.SetFault(0xA3, 0x01, CEmulatedFrame::UnplugOnCommand());
        CCallOnWorker call([this]() { return SendAndRecv(Command(0xA3, 0x01), 600000); });
        int32_t nResult = 0;
        QVERIFY(call.Finish(bus.usb.get(), &nResult));
        QCOMPARE(nResult, ERROR_CODE_LOST_DEVICE);
        QVERIFY(StationTest::WaitFor([this]() { return m_pPort->GetDevCount() == 0; }));
        SettledAfterAnotherPass({true, false});
    }

    // A firmware download over the bootloader collection, the command reader
    // stopped, replies read directly: the frame leaves at the sixth record.
    // The waiting direct read ends with "device lost", the next write too,
    // and the departure is told once.
    void unplugInTheMiddleOfADownload()
    {
        CFrameOnBus bus;
        CEmulatedBootloader loader(&bus.frame);
        QByteArray image;
        for (int i = 0; i < 12; ++i) {
            QByteArray record(64, char(i));
            record[0] = char(0xFE);
            record[1] = char(0x31);
            record[2] = char(i);
            image += record;
        }
        loader.ExpectImage(image);
        loader.FailAtRecord(6, CEmulatedBootloader::Failure::Unplug);
        bus.frame.SetMode(CEmulatedFrame::Mode::Bootloader);
        bus.usb->Plug();
        StartPort();
        QVERIFY(StationTest::WaitFor([this]() { return Inserts().size() == 1; }));
        QVERIFY(m_pPort->IsBootloaderPid());
        QCOMPARE(m_pPort->SetUpgradeStatus(1), 0);

        const QList<QByteArray> records = loader.ExpectedRecords();
        QCOMPARE(records.size(), 12);
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(m_pPort->SendUpgradeData(reinterpret_cast<const uint8_t *>(records[i].constData()), 64, 30, 0),
                     64);
            uint8_t answer[64] = {};
            QCOMPARE(m_pPort->RecvUpgradeData(answer, 64, 5000, 0), 64);
            QCOMPARE(QByteArray(reinterpret_cast<const char *>(answer), 3), QByteArray::fromHex("FD0400"));
        }
        QCOMPARE(m_pPort->SendUpgradeData(reinterpret_cast<const uint8_t *>(records[5].constData()), 64, 30, 0), 64);
        CCallOnWorker read([this]() {
            uint8_t answer[64] = {};
            return m_pPort->RecvUpgradeData(answer, 64, 600000, 0);
        });
        int32_t nResult = 0;
        QVERIFY(read.Finish(bus.usb.get(), &nResult));
        QCOMPARE(nResult, ERROR_CODE_LOST_DEVICE);
        QCOMPARE(loader.Received().size(), 5);
        QVERIFY(StationTest::WaitFor([this]() { return m_pPort->GetDevCount() == 0; }));
        QCOMPARE(m_pPort->SendUpgradeData(reinterpret_cast<const uint8_t *>(records[6].constData()), 64, 30, 0),
                 ERROR_CODE_LOST_DEVICE);
        SettledAfterAnotherPass({true, false});
    }

    // A bootloader that stays silent: the direct read of the download ends
    // at its time-out, even on a node that always looks readable.
    void silenceDuringADownload()
    {
        CFrameOnBus bus;
        bus.frame.SetMode(CEmulatedFrame::Mode::Bootloader);
        bus.frame.SetFault(0x31, 0x00, CEmulatedFrame::Silent(), 0xFE);
        bus.usb->Plug();
        StartPort();
        QVERIFY(StationTest::WaitFor([this]() { return Inserts().size() == 1; }));
        QCOMPARE(m_pPort->SetUpgradeStatus(1), 0);
        uint8_t record[64] = {0xFE, 0x31, 0x00};
        QCOMPARE(m_pPort->SendUpgradeData(record, 64, 30, 0), 64);
        CCallOnWorker read([this]() {
            uint8_t answer[64] = {};
            return m_pPort->RecvUpgradeData(answer, 64, 100, 0);
        });
        int32_t nResult = 0;
        QVERIFY2(read.Finish(bus.usb.get(), &nResult), "the direct read did not end at its time-out");
        QCOMPARE(nResult, ERROR_CODE_TIMEOUT);
        QCOMPARE(m_pPort->GetDevCount(), 1);
        QCOMPARE(m_pPort->SetUpgradeStatus(0), 0);
    }

    // Read and write failures of a node that is going: the device is lost at
    // once (a failed read on the readers, a failed write on the caller), and
    // the departure is told once, when the node leaves the listing.
    void failingNode_data()
    {
        QTest::addColumn<bool>("write");
        QTest::newRow("reads fail with EIO") << false;
        QTest::newRow("writes fail with ENODEV") << true;
    }
    void failingNode()
    {
        QFETCH(bool, write);
        CFrameOnBus bus;
        bus.usb->Plug();
        StartPort();
        QVERIFY(StationTest::WaitFor([this]() { return Inserts().size() == 1; }));
        CTouchDevice *pDevice = devicetest::Manager()->GetDeviceMap().first();
        if (write) {
            bus.usb->Vanish();
            QCOMPARE(SendAndRecv(Command(0xA3, 0x01), 2000), ERROR_CODE_LOST_DEVICE);
        } else {
            bus.frame.SetFault(0xA3, 0x01, CEmulatedFrame::Silent());
            CCallOnWorker wait([this]() { return SendAndRecv(Command(0xA3, 0x01), 600000); });
            QVERIFY(StationTest::WaitFor([&]() { return bus.frame.RequestsFor(0xA3, 0x01).size() == 1; }));
            bus.usb->Vanish();
            int32_t nResult = 0;
            QVERIFY(wait.Finish(bus.usb.get(), &nResult));
            QCOMPARE(nResult, ERROR_CODE_LOST_DEVICE);
        }
        QCOMPARE(pDevice->GetDeviceStatus(), int32_t(CTouchDevice::StatusLost));
        // Still listed: nothing is told yet.
        QCOMPARE(Inserts(), QList<bool>{true});
        bus.usb->Unplug();
        QVERIFY(StationTest::WaitFor([this]() { return m_pPort->GetDevCount() == 0; }));
        SettledAfterAnotherPass({true, false});
    }
};

STATION_MOCKED_KERNEL_TEST_MAIN(TestHidrawHotplug)
#include "tst_hidrawhotplug.moc"
