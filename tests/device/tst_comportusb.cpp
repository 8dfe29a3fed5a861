// The USB port over the real device layer (manager, device objects, readers,
// queues) running on the fake hidraw/udev backend.

#include "comportusb.h"
#include "devicetesthelpers.h"
#include "runlogcapture.h"
#include "testenvironment.h"
#include "touchdevice.h"

#include <QThread>
#include <QSemaphore>
#include <QtTest>
#include <atomic>
#include <cerrno>
#include <functional>
#include <memory>

using namespace devicetest;

class TestComPortUsb : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<CFakeHidBackend> m_hid;
    std::unique_ptr<CComPortUsb> m_port;

    // A port whose first enumeration pass is over.
    CComPortUsb *MakePort()
    {
        m_port.reset(new CComPortUsb());
        const int nBefore = 0;
        if (!WaitNextPass(nBefore))
            qWarning("first enumeration pass did not run");
        return m_port.get();
    }

    static QString NameOf(uint16_t vid, uint16_t pid, uint16_t rev)
    {
        return QString::asprintf("USB\\VID_%04X&PID_%04X&REV_%04X", vid, pid, rev);
    }

    // A receive time-out far longer than any test runs: only the event under
    // test can end such a wait.
    static constexpr int LONG_WAIT_MS = 600000;

    // Runs fn (a receive with LONG_WAIT_MS) on another thread, runs
    // whileWaiting() here meanwhile, and returns fn's result and whether fn
    // ended by itself. Should it not, its wait is broken by switching
    // reception off once a bound far above what a loaded machine needs has
    // passed: the thread is always joined before its stack goes.
    template <typename Fn>
    static QPair<int32_t, bool> OnOtherThread(CComPortUsb *pPort, Fn fn, const std::function<void()> &whileWaiting)
    {
        std::atomic<int32_t> result{0};
        std::atomic<bool> bStarted{false};
        std::atomic<bool> bDone{false};
        QThread *pThread = QThread::create([&]() {
            bStarted = true;
            result = fn();
            bDone = true;
        });
        pThread->start();
        if (!WaitFor([&]() { return bStarted.load(); }))
            qWarning("worker did not start");
        // A chance to be in its wait; the outcome is the same if it is not yet.
        QTest::qWait(20);
        whileWaiting();
        const bool bEnded = WaitFor([&]() { return bDone.load(); }, 60000);
        if (!bEnded)
            pPort->SetRecvEnable(0, 0);
        pThread->wait();
        delete pThread;
        return qMakePair(result.load(), bEnded);
    }

private slots:
    void init()
    {
        m_hid = CFakeHidBackend::Install();
    }

    void cleanup()
    {
        m_port.reset();
        QCOMPARE(CTouchManage::PeekInstance(), nullptr); // the port's release took the layer down
        CFakeHidBackend::Uninstall();
        m_hid.reset();
    }

    void withoutFrameEveryOperationSaysLost()
    {
        CComPortUsb *pPort = MakePort();
        uint8_t buf[64] = {0xFC};
        QVERIFY(!pPort->IsConnected());
        QCOMPARE(pPort->GetDevCount(), 0);
        QCOMPARE(pPort->GetDeviceMode(), uint32_t(0x80000002u));
        QCOMPARE(pPort->GetVid(), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->GetPid(), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->GetVersion(), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->SendData(buf, 64, 30, 0), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->RecvData(buf, 64, 1000, 0), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->SendAndRecvData(buf, 64, buf, 64, 1000, 0), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->SendUpgradeData(buf, 64, 30, 0), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->RecvUpgradeData(buf, 64, 30, 0), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->SetRecvEnable(0, 0), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->ClaimDeviceInterface(0), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->ReleaseDeviceInterface(0), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->SetUpgradeStatus(1), 0);
        QCOMPARE(pPort->SelectDevice("USB\\VID_1FF7&PID_0001&REV_7300"), 0);
        QVERIFY(!pPort->IsBootloaderPid());
        QVERIFY(pPort->GetDeviceNameList().isEmpty());
    }

    void indexOutsideTheTable_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("negative") << -1;
        QTest::newRow("very negative") << -100000;
        QTest::newRow("count") << 1;
        QTest::newRow("table size") << 16;
        QTest::newRow("beyond") << 1000;
    }
    void indexOutsideTheTable()
    {
        QFETCH(int, index);
        m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        CComPortUsb *pPort = MakePort();
        DEV_TRY_COMPARE(pPort->GetDevCount(), 1);
        uint8_t buf[64] = {0xFC};
        QCOMPARE(pPort->SendData(buf, 64, 30, index), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->RecvData(buf, 64, 30, index), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->SendAndRecvData(buf, 64, buf, 64, 30, index), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->SendUpgradeData(buf, 64, 30, index), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->RecvUpgradeData(buf, 64, 30, index), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->SetRecvEnable(1, index), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->ClaimDeviceInterface(index), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(pPort->ReleaseDeviceInterface(index), ERROR_CODE_LOST_DEVICE);
    }

    // A frame attached before the station starts reaches whoever connects to
    // DeviceInsert right after building the port, even though the device
    // layer finds it on its own thread.
    void frameAttachedAtStartArrivesAfterTheOwnerConnects()
    {
        m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        m_port.reset(new CComPortUsb());
        QThread::msleep(50); // the hot-plug thread is running; the owner is still building
        CSignalRecord insert(m_port.get(), &CComPort::DeviceInsert);
        DEV_TRY_COMPARE(insert.count(), 1);
        QCOMPARE(insert.at(0).at(0).toBool(), true);
        QCOMPARE(m_port->GetVid(), 0x1FF7);
        QCOMPARE(m_port->GetVersion(), 0x7300);
        QCOMPARE(m_port->GetDeviceMode(), 1u);
        QTest::qWait(30);
        QCOMPARE(insert.count(), 1);
    }

    void firstFrameInsertsOthersOnlyChangeTheList()
    {
        CComPortUsb *pPort = MakePort();
        CSignalRecord insert(pPort, &CComPort::DeviceInsert);
        CSignalRecord list(pPort, &CComPortUsb::DeviceListChanged);
        m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        DEV_TRY_COMPARE(list.count(), 1);
        QCOMPARE(insert.count(), 1);
        m_hid->AddFrame(0x0B8C, 0x5002, 0x7410);
        DEV_TRY_COMPARE(list.count(), 2);
        QCOMPARE(insert.count(), 1);
        const QList<QString> names = list.at(1).at(0).value<QList<QString>>();
        QCOMPARE(names, (QList<QString>{NameOf(0x1FF7, 0x0001, 0x7300), NameOf(0x0B8C, 0x5002, 0x7410)}));
        QCOMPARE(pPort->GetDeviceNameList(), names);
        QCOMPARE(pPort->GetVid(), 0x1FF7); // the first stays current
    }

    void unplugging_data()
    {
        QTest::addColumn<int>("unplug");          // which of the two frames leaves
        QTest::addColumn<QList<bool>>("inserts"); // DeviceInsert values after the first arrival
        QTest::addColumn<int>("vidAfter");
        QTest::newRow("not the current frame") << 1 << QList<bool>{} << 0x1FF7;
        QTest::newRow("the current frame") << 0 << QList<bool>{false, true} << 0x0B8C;
    }
    void unplugging()
    {
        QFETCH(int, unplug);
        QFETCH(QList<bool>, inserts);
        QFETCH(int, vidAfter);
        CComPortUsb *pPort = MakePort();
        CSignalRecord insert(pPort, &CComPort::DeviceInsert);
        CSignalRecord list(pPort, &CComPortUsb::DeviceListChanged);
        auto first = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        DEV_TRY_COMPARE(list.count(), 1);
        auto second = m_hid->AddFrame(0x0B8C, 0x5002, 0x7410);
        DEV_TRY_COMPARE(list.count(), 2); // both arrivals delivered
        QCOMPARE(pPort->GetDevCount(), 2);
        insert.clear();
        list.clear();
        m_hid->RemoveNode(unplug == 0 ? first : second);
        DEV_TRY_COMPARE(list.count(), 1);
        QCOMPARE(pPort->GetDevCount(), 1);
        QList<bool> seen;
        for (const QList<QVariant> &args : insert.all())
            seen.append(args.at(0).toBool());
        QCOMPARE(seen, inserts);
        QCOMPARE(pPort->GetVid(), vidAfter);
        // The remaining frame still answers.
        auto remaining = unplug == 0 ? second : first;
        EchoFrame(remaining, 0xFC);
        const QByteArray request = Report(0xFC, {0xA3, 0x00});
        QCOMPARE(pPort->SendData(reinterpret_cast<const uint8_t *>(request.constData()), 64, 30, 0), 64);
        uint8_t reply[64] = {};
        QCOMPARE(pPort->RecvData(reply, 64, 2000, 0), 64);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(reply), 64), request);
    }

    void selectDevice_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("vidAfter");
        QTest::newRow("the current frame") << NameOf(0x1FF7, 0x0001, 0x7300) << 0x1FF7;
        QTest::newRow("unknown name") << QString("USB\\VID_0000&PID_0000&REV_0000") << 0x1FF7;
        QTest::newRow("the third frame") << NameOf(0x04DD, 0x9E90, 0x7500) << 0x04DD;
    }
    void selectDevice()
    {
        QFETCH(QString, name);
        QFETCH(int, vidAfter);
        CComPortUsb *pPort = MakePort();
        m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 1);
        m_hid->AddFrame(0x0B8C, 0x5002, 0x7410);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 2);
        m_hid->AddFrame(0x04DD, 0x9E90, 0x7500);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 3);
        QCOMPARE(pPort->SelectDevice(name), 0);
        QCOMPARE(pPort->GetVid(), vidAfter);
        QCOMPARE(pPort->GetDeviceNameList().size(), 3);
        QCOMPARE(pPort->GetDeviceNameList().first(), NameOf(uint16_t(vidAfter),
                                                             vidAfter == 0x04DD ? 0x9E90 : 0x0001,
                                                             vidAfter == 0x04DD ? 0x7500 : 0x7300));
    }

    void cortexA8NeverEntersTheTable()
    {
        CComPortUsb *pPort = MakePort();
        CSignalRecord insert(pPort, &CComPort::DeviceInsert);
        CSignalRecord list(pPort, &CComPortUsb::DeviceListChanged);
        auto node = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300, CFakeHidBackend::AppMode, "Cortex-A8");
        DEV_TRY_COMPARE(list.count(), 1);
        QCOMPARE(pPort->GetDevCount(), 0);
        m_hid->AddFrame(0x1FF7, 0x0001, 0x7300, CFakeHidBackend::AppMode, "Cortex-A8 rev B");
        DEV_TRY_COMPARE(list.count(), 2);
        QCOMPARE(pPort->GetDevCount(), 1); // only the exact name is excluded
        m_hid->RemoveNode(node);
        DEV_TRY_COMPARE(list.count(), 3);
        QCOMPARE(pPort->GetDevCount(), 1);
        QCOMPARE(insert.count(), 1);
    }

    // A port that registers while the layer already has frames takes them from
    // its registration table, without the "Cortex-A8" ones, and still tells its
    // owner once the owner listens.
    void registrationTableWithoutCortexA8()
    {
        auto probe = std::make_unique<CLayerProbe>(); // the layer exists before the port
        m_hid->AddFrame(0x1FF7, 0x0001, 0x7300, CFakeHidBackend::AppMode, "Cortex-A8");
        m_hid->AddFrame(0x0B8C, 0x5002, 0x7410);
        m_hid->AddFrame(0x1FF7, 0x0013, 0x7301, CFakeHidBackend::AppMode, "Cortex-A8");
        DEV_TRY_COMPARE(probe->Arrivals(), 3);
        m_port.reset(new CComPortUsb());
        QCOMPARE(m_port->GetDevCount(), 1);
        QCOMPARE(m_port->GetDeviceNameList(), QList<QString>{NameOf(0x0B8C, 0x5002, 0x7410)});
        CSignalRecord insert(m_port.get(), &CComPort::DeviceInsert);
        DEV_TRY_COMPARE(insert.count(), 1);
        QCOMPARE(insert.at(0).at(0).toBool(), true);
        m_port.reset();
        probe.reset();
    }

    // Frames beyond the sixteenth wait, in order, for a place instead of
    // overrunning the table: a waiting frame that leaves is forgotten, and
    // the first one still waiting takes the place a listed frame frees.
    void seventeenFrames()
    {
        CComPortUsb *pPort = MakePort();
        CSignalRecord list(pPort, &CComPortUsb::DeviceListChanged);
        CSignalRecord insert(pPort, &CComPortUsb::DeviceInsert);
        QList<std::shared_ptr<CFakeHidNode>> nodes;
        for (int i = 0; i < 18; ++i)
            nodes.append(m_hid->AddNode(m_hid->FrameInfo(0x1FF7, 0x0001, uint16_t(0x7300 + i),
                                                         CFakeHidBackend::AppMode),
                                        false));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("device table full .* waits for a free place"));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("device table full .* waits for a free place"));
        m_hid->InjectEvent();
        DEV_TRY_COMPARE(list.count(), 18);
        QCOMPARE(pPort->GetDevCount(), 16);
        const QList<QString> names = pPort->GetDeviceNameList();
        QCOMPARE(names.size(), 16);
        QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), 16);
        // Every frame of the table is reachable, the last one too.
        uint8_t buf[64] = {0xFC};
        for (int i = 0; i < 16; ++i)
            QVERIFY(pPort->SetRecvEnable(1, i) == 0);
        QCOMPARE(pPort->SendData(buf, 64, 30, 16), ERROR_CODE_LOST_DEVICE);
        // The two that wait, in the order they arrived.
        QList<std::shared_ptr<CFakeHidNode>> waiting;
        QList<std::shared_ptr<CFakeHidNode>> listed;
        for (const auto &node : qAsConst(nodes))
            (names.contains(NameOf(0x1FF7, 0x0001, node->Info().nVersion)) ? listed : waiting).append(node);
        QCOMPARE(waiting.size(), 2);
        const QList<QString> arrivalOrder = list.at(17).at(0).value<QList<QString>>();
        QCOMPARE(arrivalOrder, names); // the table did not change with the waiting ones
        const std::shared_ptr<CFakeHidNode> second = waiting.takeLast();

        // A waiting frame that leaves changes nothing.
        m_hid->RemoveNode(second);
        DEV_TRY_COMPARE(list.count(), 19);
        QCOMPARE(pPort->GetDeviceNameList(), names);
        // A listed frame that leaves gives its place to the one still waiting.
        const std::shared_ptr<CFakeHidNode> first = waiting.first();
        const QString strFirst = NameOf(0x1FF7, 0x0001, first->Info().nVersion);
        m_hid->RemoveNode(listed.last());
        DEV_TRY_COMPARE(list.count(), 20);
        QCOMPARE(pPort->GetDevCount(), 16);
        QVERIFY(pPort->GetDeviceNameList().contains(strFirst));
        QCOMPARE(pPort->GetDeviceNameList().indexOf(strFirst), 15);
        EchoFrame(first, 0xFC);
        uint8_t reply[64] = {};
        QCOMPARE(pPort->SendAndRecvData(buf, 64, reply, 64, 5000, 15), 64); // it is reachable
        QCOMPARE(insert.count(), 1); // the current frame never changed
        // No frame waits now: the next place stays free.
        m_hid->RemoveNode(listed.first());
        DEV_TRY_COMPARE(list.count(), 21);
        QCOMPARE(pPort->GetDevCount(), 15);
    }

    // The switch into the download mode waits for the command reader to
    // stop, under the I/O mutex (a removal waits for it, so the device object
    // stays), never under the table lock: the port answers everyone else
    // meanwhile.
    void downloadSwitchKeepsThePortAnswering()
    {
        CComPortUsb *pPort = MakePort();
        auto node = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 1);
        DEV_TRY_COMPARE(node->OpenCount(), 2);
        // Both readers take the next report and stay in the read.
        node->SetReadsBlock(true);
        node->SendInput(Report(0xFB, {0x01}));
        QVERIFY(WaitFor([&]() { return node->BlockedReads() == 2; }));
        CRunLogCapture log;
        QThread *pSwitch = QThread::create([pPort]() { pPort->SetUpgradeStatus(1); });
        pSwitch->start();
        const bool bWaiting = WaitFor([&]() { return log.Contains("ChangeUpgradeStatus : Terminate CMD Thread..."); });
        // Answered while the switch waits for the reader.
        const int32_t nVid = pPort->GetVid();
        const int nCount = pPort->GetDevCount();
        const int32_t nEnable = pPort->SetRecvEnable(1, 0);
        const QList<QString> names = pPort->GetDeviceNameList();
        const bool bStillWaiting = pSwitch->isRunning() && node->BlockedReads() == 2;
        node->SetReadsBlock(false);
        const bool bEnded = pSwitch->wait(30000);
        delete pSwitch;
        QVERIFY(bWaiting);
        QVERIFY(bStillWaiting);
        QVERIFY(bEnded);
        QCOMPARE(nVid, 0x1FF7);
        QCOMPARE(nCount, 1);
        QCOMPARE(nEnable, 0);
        QCOMPARE(names, QList<QString>{NameOf(0x1FF7, 0x0001, 0x7300)});
        // The download mode works: replies are read directly.
        node->SendInput(Report(0xFC, {0x42}));
        uint8_t reply[64] = {};
        QCOMPARE(pPort->RecvUpgradeData(reply, 64, 5000, 0), 64);
        QCOMPARE(reply[1], uint8_t(0x42));
        QCOMPARE(pPort->SetUpgradeStatus(0), 0);
    }

    // While the port goes, its device objects go with the device layer: a
    // call made then (here from the log line of a device object's release)
    // finds an empty table, not the records of freed objects.
    void lateCallsFindAnEmptyTable()
    {
        CComPortUsb *pPort = MakePort();
        auto a = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        auto b = m_hid->AddFrame(0x0B8C, 0x5002, 0x7410);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 2);
        static CComPortUsb *s_pPort = nullptr;
        static QList<int32_t> s_results;
        static QtMessageHandler s_previous = nullptr;
        s_pPort = pPort;
        s_results.clear();
        s_previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            if (s_pPort && message == QLatin1String("Release CTouchDeviceForOS...")) {
                s_results << s_pPort->GetDevCount() << s_pPort->GetVid() << s_pPort->SetRecvEnable(0, 0)
                          << s_pPort->SetRecvEnable(0, 1);
            }
            if (s_previous)
                s_previous(type, context, message);
        });
        m_port.reset();
        qInstallMessageHandler(s_previous);
        s_pPort = nullptr;
        const QList<int32_t> expected{0, ERROR_CODE_LOST_DEVICE, ERROR_CODE_LOST_DEVICE, ERROR_CODE_LOST_DEVICE};
        QCOMPARE(s_results, expected + expected); // once per device object
    }

    void commandRoundTrip()
    {
        CComPortUsb *pPort = MakePort();
        auto node = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 1);
        EchoFrame(node, 0xFC);
        for (int i = 0; i < 100; ++i) {
            const QByteArray request = Report(0xFC, {0xA3, uint8_t(i), 0x55});
            uint8_t reply[64] = {};
            QCOMPARE(pPort->SendAndRecvData(reinterpret_cast<const uint8_t *>(request.constData()), 64, reply,
                                            64, 2000, 0),
                     64);
            QCOMPARE(QByteArray(reinterpret_cast<char *>(reply), 64), request);
        }
        // A shorter buffer takes only its length; the rest of the report is gone with it.
        const QByteArray request = Report(0xFC, {1, 2, 3, 4, 5});
        QCOMPARE(pPort->SendData(reinterpret_cast<const uint8_t *>(request.constData()), 64, 30, 0), 64);
        uint8_t small[4] = {};
        QCOMPARE(pPort->RecvData(small, 4, 2000, 0), 4);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(small), 4), request.left(4));
        QCOMPARE(pPort->RecvData(small, 4, 0, 0), ERROR_CODE_TIMEOUT);
    }

    void sendSwitchesReceptionBackOn()
    {
        CComPortUsb *pPort = MakePort();
        auto node = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 1);
        EchoFrame(node, 0xFC);
        uint8_t buf[64] = {};
        QCOMPARE(pPort->SetRecvEnable(0, 0), 0);
        QCOMPARE(pPort->RecvData(buf, 64, LONG_WAIT_MS, 0), ERROR_CODE_TIMEOUT); // at once
        const QByteArray request = Report(0xFC, {0xA9});
        QCOMPARE(pPort->SendData(reinterpret_cast<const uint8_t *>(request.constData()), 64, 30, 0), 64);
        QCOMPARE(pPort->RecvData(buf, 64, 2000, 0), 64);
    }

    // SetRecvEnable(0) from another thread breaks a receive that holds the
    // port's I/O mutex at once.
    void disablingReceptionBreaksAWaitAtOnce()
    {
        CComPortUsb *pPort = MakePort();
        m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 1);
        const auto result = OnOtherThread(
            pPort,
            [pPort]() {
                uint8_t buf[64];
                return pPort->RecvData(buf, 64, LONG_WAIT_MS, 0);
            },
            [&]() { QCOMPARE(pPort->SetRecvEnable(0, 0), 0); });
        QVERIFY2(result.second, "the receive waited on");
        QCOMPARE(result.first, ERROR_CODE_TIMEOUT);
    }

    // A reply queued while reception is off is not taken: "interrupted", and
    // it is still there once reception is on again.
    void replyQueuedWhileReceptionIsOff()
    {
        CComPortUsb *pPort = MakePort();
        auto node = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 1);
        QCOMPARE(pPort->SetRecvEnable(0, 0), 0);
        node->SendInput(Report(0xFC, {0x42}));
        CTouchDevice *pDevice = Manager()->GetDeviceMap().first();
        DEV_TRY_COMPARE(pDevice->QueuedReportCount(0xFC), 1);
        uint8_t buf[64] = {};
        QCOMPARE(pPort->RecvData(buf, 64, LONG_WAIT_MS, 0), ERROR_CODE_INTERRUPT); // at once
        QCOMPARE(pDevice->QueuedReportCount(0xFC), 1);
        QCOMPARE(pPort->SetRecvEnable(1, 0), 0);
        QCOMPARE(pPort->RecvData(buf, 64, 0, 0), 64);
        QCOMPARE(buf[1], uint8_t(0x42));
    }

    // Unplugging the frame ends a waiting receive at once with "device lost"
    // and then removes the frame from the port.
    void unplugDuringAWait()
    {
        CComPortUsb *pPort = MakePort();
        CSignalRecord insert(pPort, &CComPort::DeviceInsert);
        auto node = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        DEV_TRY_COMPARE(insert.count(), 1);
        insert.clear();
        const auto result = OnOtherThread(
            pPort,
            [pPort]() {
                uint8_t buf[64];
                return pPort->RecvData(buf, 64, LONG_WAIT_MS, 0);
            },
            [&]() { m_hid->RemoveNode(node); });
        QVERIFY2(result.second, "the receive waited on");
        QCOMPARE(result.first, ERROR_CODE_LOST_DEVICE);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 0);
        DEV_TRY_COMPARE(insert.count(), 1); // emitted on the hot-plug thread after the table changed
        QCOMPARE(insert.at(0).at(0).toBool(), false);
    }

    // A frame that answers and leaves the bus before the station has read
    // the answer (a jump to the bootloader): the node still hands over what
    // it holds with its hang-up, and the answer is read, by the direct reads
    // of a download and by the command reader alike; then the frame is lost.
    void answerLeftBehindByALeavingFrame_data()
    {
        QTest::addColumn<bool>("direct");
        QTest::newRow("direct read") << true;
        QTest::newRow("command reader") << false;
    }
    void answerLeftBehindByALeavingFrame()
    {
        QFETCH(bool, direct);
        CComPortUsb *pPort = MakePort();
        auto node = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 1);
        DEV_TRY_COMPARE(node->OpenCount(), 2);
        CTouchDevice *pDevice = Manager()->GetDeviceMap().first();
        // No pass takes the frame out of the table meanwhile.
        m_hid->SetEnumerateFails(true);
        // The command reader stands still while the answer comes and the frame goes.
        QCOMPARE(pPort->SetUpgradeStatus(1), 0);
        node->SendInput(Report(0xFC, {0x84}));
        m_hid->RemoveNode(node, false);
        uint8_t reply[64] = {};
        if (direct) {
            QCOMPARE(pPort->RecvUpgradeData(reply, 64, 5000, 0), 64);
            QCOMPARE(reply[1], uint8_t(0x84));
            QCOMPARE(pPort->RecvUpgradeData(reply, 64, 5000, 0), ERROR_CODE_LOST_DEVICE);
        } else {
            QCOMPARE(pPort->SetUpgradeStatus(0), 0); // the command reader runs again
            QVERIFY(WaitFor([&]() { return pDevice->GetDeviceStatus() == CTouchDevice::StatusLost; }));
            // Lost once the answer is queued, not before.
            QCOMPARE(pDevice->QueuedReportCount(0xFC), 1);
            QCOMPARE(pPort->RecvData(reply, 64, 5000, 0), 64);
            QCOMPARE(reply[1], uint8_t(0x84));
            QCOMPARE(pPort->RecvData(reply, 64, 5000, 0), ERROR_CODE_LOST_DEVICE);
        }
        m_hid->SetEnumerateFails(false);
    }

    // A frame that only the enumeration finds gone (its descriptors never
    // hung up) ends a waiting receive at once with "device lost" too: the
    // removal does not wait for that receive to time out.
    void removalSeenOnlyByTheListingEndsAWait()
    {
        CComPortUsb *pPort = MakePort();
        CSignalRecord insert(pPort, &CComPort::DeviceInsert);
        auto node = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        DEV_TRY_COMPARE(insert.count(), 1);
        insert.clear();
        const auto result = OnOtherThread(
            pPort,
            [pPort]() {
                uint8_t buf[64];
                return pPort->RecvData(buf, 64, LONG_WAIT_MS, 0);
            },
            [&]() {
                m_hid->HideNode(node, false);
                // The pass runs on the hot-plug thread while this one waits.
                QMetaObject::invokeMethod(Manager()->Hotplug(), "DeviceChangeCbk", Qt::QueuedConnection);
            });
        QVERIFY2(result.second, "the receive waited on");
        QCOMPARE(result.first, ERROR_CODE_LOST_DEVICE);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 0);
        DEV_TRY_COMPARE(insert.count(), 1);
        QCOMPARE(insert.at(0).at(0).toBool(), false);
        DEV_TRY_COMPARE(node->OpenCount(), 0); // the device object closed its descriptors
    }

    void writeFailures_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("expected");
        QTest::addColumn<int>("statusAfter");
        QTest::newRow("timed out") << ETIMEDOUT << int(ERROR_CODE_TIMEOUT) << 1;
        QTest::newRow("protocol error") << EPROTO << int(ERROR_CODE_TIMEOUT) << 1;
        QTest::newRow("device gone") << ENODEV << int(ERROR_CODE_LOST_DEVICE) << -1;
        QTest::newRow("shut down") << ESHUTDOWN << int(ERROR_CODE_LOST_DEVICE) << -1;
    }
    // A write that fails at once is a failure, never "0 bytes written".
    void writeFailures()
    {
        QFETCH(int, error);
        QFETCH(int, expected);
        QFETCH(int, statusAfter);
        CComPortUsb *pPort = MakePort();
        auto node = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 1);
        node->SetWriteError(error);
        uint8_t buf[64] = {0xFC, 0xA3};
        QCOMPARE(pPort->SendData(buf, 64, 30, 0), expected);
        QCOMPARE(pPort->SendAndRecvData(buf, 64, buf, 64, 5000, 0), expected);
        const TouchDeviceInfo *pInfo = Manager()->GetDeviceMap().first()->GetDeviceInfo();
        QCOMPARE(pInfo->hDevice->GetDeviceStatus(), statusAfter);
        uint8_t rbuf[64];
        if (statusAfter < 0)
            QCOMPARE(pPort->RecvData(rbuf, 64, 5000, 0), ERROR_CODE_LOST_DEVICE);
    }

    void rawReportsReachSendTouchData()
    {
        CComPortUsb *pPort = MakePort();
        auto node = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 1);
        DEV_TRY_COMPARE(node->OpenCount(), 2); // the raw collection opens right after the announcement
        CSignalRecord touch(pPort, &CComPortUsb::SendTouchData);
        node->SendInput(Report(0xFB, {0xFC, 0x01, 0x00, 0x01}));
        node->SendInput(Report(0x02, {0x07, 0x01}).left(62));
        node->SendInput(Report(0xFC, {0x99}));       // a command reply: not raw data
        node->SendInput(Report(0x05, {0x01}));       // an id no collection declares
        node->SendInput(Report(0xFB, {0x11}).left(10));
        DEV_TRY_COMPARE(touch.count(), 3);
        QTest::qWait(30);
        QCOMPARE(touch.count(), 3);
        const TouchData first = touch.at(0).at(0).value<TouchData>();
        QCOMPARE(first.length, 64u);
        QCOMPARE(first.report[0], uint8_t(0xFB));
        QCOMPARE(first.report[1], uint8_t(0xFC));
        const TouchData second = touch.at(1).at(0).value<TouchData>();
        QCOMPARE(second.length, 62u);
        QCOMPARE(second.report[0], uint8_t(0x02));
        QCOMPARE(touch.at(2).at(0).value<TouchData>().length, 10u);
        // The command reply went to its queue, for the next RecvData.
        uint8_t buf[64] = {};
        QCOMPARE(pPort->RecvData(buf, 64, 5000, 0), 64);
        QCOMPARE(buf[1], uint8_t(0x99));
        QCOMPARE(pPort->RecvData(buf, 64, 0, 0), ERROR_CODE_TIMEOUT);
    }

    // Application frame -> bootloader: a removal and a new arrival (new USB
    // device number), after which the download road works on the new device.
    void bootloaderReenumeration()
    {
        CComPortUsb *pPort = MakePort();
        CSignalRecord insert(pPort, &CComPort::DeviceInsert);
        auto app = m_hid->AddFrame(0x2FE9, 0x0001, 0x7300);
        DEV_TRY_COMPARE(insert.count(), 1);
        insert.clear();
        auto boot = m_hid->Reenumerate(app, m_hid->FrameInfo(0x2FE9, 0xFF01, 0x0100, CFakeHidBackend::BootMode));
        DEV_TRY_COMPARE(insert.count(), 2);
        QCOMPARE(insert.at(0).at(0).toBool(), false);
        QCOMPARE(insert.at(1).at(0).toBool(), true);
        QCOMPARE(pPort->GetDevCount(), 1);
        QCOMPARE(pPort->GetDeviceMode(), 0u);
        QCOMPARE(pPort->GetPid(), 0xFF01);
        QVERIFY(pPort->IsBootloaderPid());
        QCOMPARE(pPort->GetDeviceNameList(), QList<QString>{NameOf(0x2FE9, 0xFF01, 0x0100)});

        // Normal commands of the bootloader: out 0xFE, replies 0xFD through the queue.
        EchoFrame(boot, 0xFD);
        QByteArray request = Report(0xFE, {0x03, 0x00});
        uint8_t reply[64] = {};
        QCOMPARE(pPort->SendAndRecvData(reinterpret_cast<const uint8_t *>(request.constData()), 64, reply, 64,
                                        2000, 0),
                 64);
        QCOMPARE(reply[0], uint8_t(0xFD));
        // Download: the command reader stops, replies are read directly.
        QCOMPARE(pPort->SetUpgradeStatus(1), 0);
        for (int i = 0; i < 20; ++i) {
            request = Report(0xFE, {0xAA, 0x04, uint8_t(i)});
            QCOMPARE(pPort->SendUpgradeData(reinterpret_cast<const uint8_t *>(request.constData()), 64, 30, 0), 64);
            QCOMPARE(pPort->RecvUpgradeData(reply, 64, 2000, 0), 64);
            QCOMPARE(reply[0], uint8_t(0xFD));
            QCOMPARE(reply[3], uint8_t(i));
        }
        QCOMPARE(pPort->RecvUpgradeData(reply, 64, 20, 0), ERROR_CODE_TIMEOUT);
        QCOMPARE(pPort->SetUpgradeStatus(0), 0);
        request = Report(0xFE, {0x03, 0x01});
        QCOMPARE(pPort->SendAndRecvData(reinterpret_cast<const uint8_t *>(request.constData()), 64, reply, 64,
                                        2000, 0),
                 64);
        QCOMPARE(reply[2], uint8_t(0x01));
    }

    // Calls that reach the current device from other threads while frames
    // come and go never use a deleted device object (run under ASan). The
    // calls go in rounds, one per look of this thread at the port, so that
    // they never keep the hot-plug callback from the port's mutexes.
    void callsDuringPlugAndUnplug()
    {
        CComPortUsb *pPort = MakePort();
        std::atomic<bool> bStop{false};
        QSemaphore rounds;
        QThread *pHammer = QThread::create([&]() {
            uint8_t buf[64] = {0xFC};
            while (!bStop.load()) {
                pPort->SetRecvEnable(1, 0);
                pPort->SetUpgradeStatus(0);
                pPort->GetVid();
                pPort->GetDeviceMode();
                pPort->IsBootloaderPid();
                pPort->SelectDevice("USB\\VID_0B8C&PID_5002&REV_7410");
                pPort->ClaimDeviceInterface(0);
                pPort->SendData(buf, 64, 30, 0);
                pPort->RecvData(buf, 64, 1, 0);
                rounds.acquire();
            }
        });
        pHammer->start();
        // Stopped also when a check below fails and returns.
        const std::unique_ptr<QThread, std::function<void(QThread *)>> stopper(pHammer, [&](QThread *pThread) {
            bStop = true;
            rounds.release();
            pThread->wait();
            delete pThread;
        });
        auto countIs = [&](int n) {
            return WaitFor([&]() {
                if (rounds.available() == 0)
                    rounds.release();
                return pPort->GetDevCount() == n;
            });
        };
        for (int i = 0; i < 10; ++i) {
            auto a = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
            auto b = m_hid->AddFrame(0x0B8C, 0x5002, 0x7410);
            QVERIFY(countIs(2));
            m_hid->RemoveNode(i % 2 ? a : b);
            QVERIFY(countIs(1));
            m_hid->RemoveNode(i % 2 ? b : a);
            QVERIFY(countIs(0));
        }
    }

    void claimAndRelease()
    {
        CComPortUsb *pPort = MakePort();
        auto node = m_hid->AddFrame(0x1FF7, 0x0001, 0x7300);
        DEV_TRY_COMPARE(pPort->GetDevCount(), 1);
        EchoFrame(node, 0xFC);
        uint8_t buf[64] = {0xFC, 0x01};
        QCOMPARE(pPort->ReleaseDeviceInterface(0), 0);
        QCOMPARE(pPort->SendData(buf, 64, 30, 0), 64);
        QCOMPARE(pPort->RecvData(buf, 64, LONG_WAIT_MS, 0), ERROR_CODE_LOST_DEVICE); // released: no waiting
        QCOMPARE(pPort->ClaimDeviceInterface(0), 0);
        QCOMPARE(pPort->RecvData(buf, 64, 2000, 0), 64); // the reply waited in its queue
    }
};

STATION_TEST_MAIN_CORE(TestComPortUsb)
#include "tst_comportusb.moc"
