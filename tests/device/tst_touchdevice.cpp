// One device object over a fake hidraw node: report queues per id, reply
// waits, reception switched off, the firmware-download mode, writes.

#include "devicetesthelpers.h"
#include "runlogcapture.h"
#include "stationclock.h"
#include "testenvironment.h"
#include "touchdevice.h"
#include "touchdeviceforos.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>

using namespace devicetest;

class TestTouchDevice : public QObject
{
    Q_OBJECT

private:
    std::shared_ptr<CFakeHidBackend> m_hid;
    std::unique_ptr<CLayerProbe> m_probe;
    std::shared_ptr<CFakeHidNode> m_node;
    TouchDeviceInfo m_handle{};

    TouchSDK *Sdk() { return m_probe->Sdk(); }
    CTouchDevice *Device() { return m_handle.hDevice; }

    // One frame with the given descriptor, open and announced.
    void Attach(const QByteArray &descriptor = CFakeHidBackend::AppDescriptor(), uint16_t pid = 0x0001)
    {
        HidNodeInfo info = m_hid->FrameInfo(0x2FE9, pid, 0x7300, CFakeHidBackend::AppMode);
        info.baReportDescriptor = descriptor;
        m_node = m_hid->AddNode(info, false); // found by the first pass; no further pass follows
        m_probe.reset(new CLayerProbe());
        QVERIFY(WaitFor([this]() { return m_probe->Arrivals() == 1; }));
        m_handle = m_probe->LastArrival();
        // Every role's descriptor is open (the raw one follows the announcement).
        const int nRoles = CTouchDeviceForOS::CheckIdentifiableDevice(info).size();
        QVERIFY(WaitFor([this, nRoles]() { return m_node->OpenCount() == nRoles; }));
    }

    void Input(const QByteArray &report, uint8_t nQueue, int nExpected)
    {
        m_node->SendInput(report);
        QVERIFY(WaitFor([&]() { return Device()->QueuedReportCount(nQueue) == nExpected; }));
    }

    int32_t Send(const QByteArray &report, int nLen = 64, int nTimeoutMs = 30)
    {
        return Sdk()->SendData(&m_handle, reinterpret_cast<const uint8_t *>(report.constData()), nLen, nTimeoutMs);
    }

    // An echoed command goes out and its reply comes back: the frame is usable.
    void CheckUsable(uint8_t nMark)
    {
        EchoFrame(m_node, 0xFC);
        QCOMPARE(Send(Report(0xFC, {nMark})), 64);
        uint8_t buf[64] = {};
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 5000), 64);
        QCOMPARE(buf[1], nMark);
        QCOMPARE(Device()->GetDeviceStatus(), 1);
    }

    // The frame was found gone while the system still lists it: the next
    // enumeration pass announces it gone and a new object arrives, usable.
    void CheckGoneAndBack()
    {
        DEV_TRY_COMPARE(Device()->GetDeviceStatus(), -1);
        QCOMPARE(m_probe->Removals(), 0); // not before the pass
        const int nBegun = PassesBegun();
        m_hid->InjectEvent();
        QVERIFY(WaitNextPass(nBegun));
        QCOMPARE(m_probe->Removals(), 1);
        QCOMPARE(m_probe->Arrivals(), 2);
        QCOMPARE(m_probe->Events().at(1).info.hDevice, m_handle.hDevice);
        m_handle = m_probe->LastArrival();
        QVERIFY(WaitFor([this]() { return m_node->OpenCount() == 2; }));
        CheckUsable(0x5A);
    }

    // Runs a call on another thread; the test thread goes on at once.
    template <typename Fn>
    QThread *Begin(Fn fn, std::atomic<int32_t> *pResult)
    {
        QThread *pThread = QThread::create([fn, pResult]() { *pResult = fn(); });
        pThread->start();
        return pThread;
    }

private slots:
    void init()
    {
        m_hid = CFakeHidBackend::Install();
    }
    void cleanup()
    {
        m_node.reset();
        m_probe.reset();
        CFakeHidBackend::Uninstall();
        m_hid.reset();
    }

    void queuedReplyReturnsAtOnce_data()
    {
        QTest::addColumn<int>("len");
        QTest::addColumn<int>("copied");
        QTest::newRow("10") << 10 << 10;
        QTest::newRow("64") << 64 << 64;
        QTest::newRow("100") << 100 << 64;
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("negative") << -5 << 0;
    }
    void queuedReplyReturnsAtOnce()
    {
        QFETCH(int, len);
        QFETCH(int, copied);
        Attach();
        Input(Report(0xFC, {0x01, 0x02}), 0xFC, 1);
        uint8_t buf[128];
        std::memset(buf, 0xEE, sizeof(buf));
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, len, 0), copied);
        QCOMPARE(Device()->QueuedReportCount(0xFC), 0);
        if (copied > 1)
            QCOMPARE(buf[1], uint8_t(0x01));
        QCOMPARE(buf[copied], uint8_t(0xEE)); // nothing beyond what was asked
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 0), ERROR_CODE_TIMEOUT);
        QVERIFY(timer.elapsed() < 1000);
    }

    // Each collection's reader keeps only the report ids of its collection;
    // every id has its own queue, and a late reply waits for the next read.
    void queuesPerReportId()
    {
        // Command collection with input ids FC and 10; raw collection FB/02.
        const QByteArray cmd = QByteArray::fromHex("0600ff0901a10185fc7508953f0901810285100901810285fc09019102c0");
        const QByteArray app = CFakeHidBackend::AppDescriptor();
        Attach(cmd + app.mid(app.indexOf(char(0xC0)) + 1));
        m_node->SendInput(Report(0x10, {0x10}));
        m_node->SendInput(Report(0xFB, {0xFB}));
        m_node->SendInput(Report(0x02, {0x02}));
        m_node->SendInput(Report(0x33, {0x33})); // declared by no collection
        Input(Report(0xFC, {0x01}), 0xFC, 1);
        Input(Report(0xFC, {0x02}), 0xFC, 2);
        QCOMPARE(Device()->QueuedReportCount(0x10), 1);
        QCOMPARE(Device()->QueuedReportCount(0xFB), 0);
        QCOMPARE(Device()->QueuedReportCount(0x02), 0);
        QCOMPARE(Device()->QueuedReportCount(0x33), 0);
        DEV_TRY_COMPARE(m_probe->RawReports().size(), 2);
        uint8_t buf[64];
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 0), 64);
        QCOMPARE(buf[1], uint8_t(0x01));
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 0), 64);
        QCOMPARE(buf[1], uint8_t(0x02));
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 0), ERROR_CODE_TIMEOUT);
        QCOMPARE(Device()->QueuedReportCount(0x10), 1);
    }

    void queueIsBounded()
    {
        // Command collection with input ids FC and 10 (10 marks the end of the burst).
        const QByteArray cmd = QByteArray::fromHex("0600ff0901a10185fc7508953f0901810285100901810285fc09019102c0");
        Attach(cmd);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("queue of report id fc full"));
        for (int i = 0; i < CTouchDevice::MAX_QUEUED_REPORTS + 40; ++i) {
            QCOMPARE(m_node->SendInput(Report(0xFC, {uint8_t(i), uint8_t(i >> 8)})), 1);
            if (i % 32 == 31 && i < CTouchDevice::MAX_QUEUED_REPORTS) // stay below what one socket holds
                QVERIFY(WaitFor([&]() { return Device()->QueuedReportCount(0xFC) == i + 1; }));
        }
        // The reader takes reports in order: once the mark is queued, so is every report before it.
        Input(Report(0x10), 0x10, 1);
        QCOMPARE(Device()->QueuedReportCount(0xFC), CTouchDevice::MAX_QUEUED_REPORTS);
        uint8_t buf[64];
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 0), 64);
        QCOMPARE(buf[1] | (buf[2] << 8), 40); // the oldest were dropped
    }

    void reportIdFFHasNoQueue()
    {
        // A command collection that also declares input report 0xFF.
        const QByteArray cmd = QByteArray::fromHex("0600ff0901a10185fc7508953f0901810285ff0901810285fc09019102c0");
        Attach(cmd);
        m_node->SendInput(Report(0xFF, {0x01}));
        Input(Report(0xFC, {0x02}), 0xFC, 1);
        QCOMPARE(Device()->QueuedReportCount(0xFF), 0);
        uint8_t buf[64];
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 0), 64);
        QCOMPARE(buf[1], uint8_t(0x02));
    }

    void releasedDeviceAnswersLostWithoutWaiting()
    {
        Attach();
        Input(Report(0xFC, {0x01}), 0xFC, 1);
        QCOMPARE(Sdk()->ReleaseDeviceInterface(&m_handle), 0);
        QCOMPARE(Device()->GetDeviceStatus(), 0);
        uint8_t buf[64];
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 5000), ERROR_CODE_LOST_DEVICE);
        QVERIFY(timer.elapsed() < 1000);
        QCOMPARE(Sdk()->ClaimDeviceInterface(&m_handle), 0);
        QCOMPARE(Device()->GetDeviceStatus(), 1);
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 0), 64);
    }

    // A reply arriving during a wait ends it at once (no polling step).
    void waitEndsWhenTheReplyArrives()
    {
        Attach();
        m_node->SetOutputHandler([](CFakeHidNode &node, const QByteArray &request) {
            QThread::msleep(30);
            QByteArray reply = request;
            reply[1] = char(0x77);
            node.SendInput(reply);
        });
        QCOMPARE(Send(Report(0xFC, {0x01})), 64);
        uint8_t buf[64];
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 5000), 64);
        QVERIFY(timer.elapsed() < 1000);
        QCOMPARE(buf[1], uint8_t(0x77));
    }

    void writes_data()
    {
        QTest::addColumn<int>("len");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("sent");
        QTest::newRow("full report") << 64 << 64 << true;
        QTest::newRow("short buffer, padded") << 5 << 5 << true;
        QTest::newRow("empty") << 0 << int(ERROR_CODE_TIMEOUT) << false;
        QTest::newRow("negative") << -1 << int(ERROR_CODE_TIMEOUT) << false;
        QTest::newRow("too long") << 65 << int(ERROR_CODE_TIMEOUT) << false;
    }
    void writes()
    {
        QFETCH(int, len);
        QFETCH(int, result);
        QFETCH(bool, sent);
        Attach();
        QByteArray report(80, char(0xAB));
        report[0] = char(0xFC);
        if (!sent)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("SendData : refused a report"));
        QCOMPARE(Send(report, len), result);
        QByteArray out;
        QCOMPARE(m_node->WaitOutput(&out, sent ? 2000 : 20), sent);
        if (sent) {
            QCOMPARE(out.size(), 64);
            QCOMPARE(out.left(len), report.left(len));
            QCOMPARE(out.mid(len), QByteArray(64 - len, '\0'));
        }
        QCOMPARE(Device()->GetDeviceStatus(), 1);
    }

    // Only the frame's departure makes a write error a removal; any other
    // fails that write with a time-out and the frame stays usable.
    void writeErrors_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("result");
        QTest::newRow("EPIPE (stalled endpoint)") << EPIPE << int(ERROR_CODE_TIMEOUT);
        QTest::newRow("EIO") << EIO << int(ERROR_CODE_TIMEOUT);
        QTest::newRow("ETIMEDOUT") << ETIMEDOUT << int(ERROR_CODE_TIMEOUT);
        QTest::newRow("EPROTO") << EPROTO << int(ERROR_CODE_TIMEOUT);
        QTest::newRow("ECONNRESET") << ECONNRESET << int(ERROR_CODE_TIMEOUT);
        QTest::newRow("ENXIO") << ENXIO << int(ERROR_CODE_TIMEOUT);
        QTest::newRow("EBADF") << EBADF << int(ERROR_CODE_TIMEOUT);
        QTest::newRow("ENODEV (gone)") << ENODEV << int(ERROR_CODE_LOST_DEVICE);
        QTest::newRow("ESHUTDOWN (gone)") << ESHUTDOWN << int(ERROR_CODE_LOST_DEVICE);
    }
    void writeErrors()
    {
        QFETCH(int, error);
        QFETCH(int, result);
        Attach();
        CRunLogCapture log;
        m_node->SetWriteError(error);
        QCOMPARE(Send(Report(0xFC, {0x01})), result);
        m_node->SetWriteError(0);
        // The errno is in the run log.
        const QString strLine = QStringLiteral("SendData : write failed: ") + QString::fromLocal8Bit(strerror(error));
        QCOMPARE(log.Lines(result == ERROR_CODE_TIMEOUT ? QtWarningMsg : QtDebugMsg).count(strLine), 1);
        if (result == ERROR_CODE_TIMEOUT) {
            CheckUsable(0x02);
            QCOMPARE(m_probe->Events().size(), 1); // no removal, no new arrival
        } else {
            CheckGoneAndBack();
        }
    }

    // EIO and ENODEV on a read say the frame has gone; any other read error
    // is logged and the readers go on.
    void readErrors_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("gone");
        QTest::newRow("EIO (gone)") << EIO << true;
        QTest::newRow("ENODEV (gone)") << ENODEV << true;
        QTest::newRow("EPROTO") << EPROTO << false;
        QTest::newRow("EOVERFLOW") << EOVERFLOW << false;
        QTest::newRow("EPIPE") << EPIPE << false;
        QTest::newRow("EFAULT") << EFAULT << false;
    }
    void readErrors()
    {
        QFETCH(int, error);
        QFETCH(bool, gone);
        Attach();
        CRunLogCapture log;
        m_node->SetReadError(error);
        m_node->SendInput(Report(0xFC, {0x01})); // both readers fail on it
        const QString strError = QStringLiteral(" : read failed: ") + QString::fromLocal8Bit(strerror(error))
            + QStringLiteral(" - reading on");
        if (gone) {
            QVERIFY(WaitFor([this]() { return m_node->FailedReads() == 2; }));
            m_node->SetReadError(0);
            QVERIFY2(!log.Contains(strError), qPrintable(log.Lines(QtWarningMsg).join('\n')));
            CheckGoneAndBack();
        } else {
            // Logged by each reader, which then reads on.
            QVERIFY(WaitFor([&]() {
                const QStringList warnings = log.Lines(QtWarningMsg);
                return warnings.count("ProcessCmdDataTransfer" + strError) == 1
                    && warnings.count("ProcessRawDataTransfer" + strError) == 1;
            }));
            m_node->SetReadError(0);
            CheckUsable(0x02);
            m_node->SendInput(Report(0xFB, {0x03}));
            DEV_TRY_COMPARE(m_probe->RawReports().size(), 1);
            QCOMPARE(m_probe->Events().size(), 1);
        }
    }

    // A write that the kernel holds (hidraw on a stalled endpoint: up to the
    // USB time-out, whatever O_NONBLOCK says) does not hold its caller past
    // the time-out; the next write waits for it, and once it is out the
    // frame is usable again. The report that could not go is never written.
    void writeStuckInTheKernel()
    {
        Attach();
        EchoFrame(m_node, 0xFC);
        CRunLogCapture log;
        m_node->SetWritesBlock(true);
        QCOMPARE(Send(Report(0xFC, {0x01})), ERROR_CODE_TIMEOUT);
        QCOMPARE(m_node->BlockedWrites(), 1); // returned while its report is still in the kernel
        QCOMPARE(log.Count("SendData : the write is stuck in the kernel, given up after"), 1);
        QCOMPARE(Send(Report(0xFC, {0x02})), ERROR_CODE_TIMEOUT);
        QCOMPARE(m_node->BlockedWrites(), 1);
        QCOMPARE(log.Count("SendData : an earlier write is still in the kernel after"), 1);
        QCOMPARE(Device()->GetDeviceStatus(), 1);
        m_node->SetWritesBlock(false);
        uint8_t buf[64] = {};
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 5000), 64); // the stuck report did go out
        QCOMPARE(buf[1], uint8_t(0x01));
        QVERIFY(WaitFor([&log]() { return log.Contains("SendData : the write stuck in the kernel ended after"); }));
        CheckUsable(0x03);
        const QList<QByteArray> outputs = m_node->Outputs();
        QCOMPARE(outputs.size(), 2);
        QCOMPARE(quint8(outputs[0][1]), quint8(0x01));
        QCOMPARE(quint8(outputs[1][1]), quint8(0x03));
    }

    // A long wait for a stuck write ends at once when reception is switched
    // off, the interface released or the frame unplugged.
    void stuckWriteWaitEnds_data()
    {
        QTest::addColumn<int>("cause"); // 0 reception off, 1 released, 2 unplugged
        QTest::addColumn<int>("result");
        QTest::newRow("reception switched off") << 0 << int(ERROR_CODE_TIMEOUT);
        QTest::newRow("interface released") << 1 << int(ERROR_CODE_LOST_DEVICE);
        QTest::newRow("frame unplugged") << 2 << int(ERROR_CODE_LOST_DEVICE);
    }
    void stuckWriteWaitEnds()
    {
        QFETCH(int, cause);
        QFETCH(int, result);
        Attach();
        m_node->SetWritesBlock(true);
        std::atomic<int32_t> nResult{0};
        TouchDeviceInfo handle = m_handle;
        TouchSDK *pSdk = Sdk();
        QThread *pThread = Begin(
            [pSdk, handle]() {
                const QByteArray report = Report(0xFC, {0x01});
                return pSdk->SendData(&handle, reinterpret_cast<const uint8_t *>(report.constData()), 64, 600000);
            },
            &nResult);
        QVERIFY(WaitFor([this]() { return m_node->BlockedWrites() == 1; }));
        if (cause == 0)
            QCOMPARE(Sdk()->SetRecvEnable(&m_handle, 0), 0);
        else if (cause == 1)
            QCOMPARE(Sdk()->ReleaseDeviceInterface(&m_handle), 0);
        else
            m_hid->RemoveNode(m_node, false);
        const bool bEnded = pThread->wait(60000);
        m_node->SetWritesBlock(false); // frees the writer either way
        pThread->wait();
        delete pThread;
        QVERIFY2(bEnded, "the wait did not end");
        QCOMPARE(int(nResult.load()), result);
    }

    // An idle frame's readers sleep until something happens (every reason
    // to stop wakes them): a reply waited for in vain wakes neither of them,
    // and a report wakes each of them once (both read the node).
    void idleReadersSleep()
    {
        Attach();
        auto *pDevice = static_cast<CTouchDeviceForOS *>(Device());
        const int nBefore = pDevice->ReaderWakeups();
        uint8_t buf[64];
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 200), ERROR_CODE_TIMEOUT); // 200 ms of nothing
        QCOMPARE(pDevice->ReaderWakeups(), nBefore);
        Input(Report(0xFC, {0x01}), 0xFC, 1); // both descriptors of the node see it
        DEV_TRY_COMPARE(pDevice->ReaderWakeups(), nBefore + 2);
    }

    // Waits are measured on the station's clock: once its time has passed
    // the deadline, an hour's wait ends without real time passing.
    void waitsEndOnTheStationsTime()
    {
        Attach();
        static std::atomic<qint64> s_now{0};
        s_now = 1000;
        // Every reading of the clock is two hours later than the one before.
        CStationClock::SetTimeSourceHook([]() -> qint64 { return s_now.fetch_add(7200000); });
        uint8_t buf[64];
        const int32_t nRecv = Sdk()->RecvData(&m_handle, buf, 64, 3600000);
        const int32_t nDirect = Sdk()->RecvUpgradeData(&m_handle, buf, 64, 3600000);
        CStationClock::SetTimeSourceHook(nullptr);
        QCOMPARE(nRecv, ERROR_CODE_TIMEOUT);
        QCOMPARE(nDirect, ERROR_CODE_TIMEOUT);
    }

    void sendAndRecvReturnsAFailedSendAtOnce()
    {
        Attach();
        CRunLogCapture log;
        m_node->SetWriteError(ETIMEDOUT);
        uint8_t buf[64] = {0xFC};
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(Sdk()->SendAndRecvData(&m_handle, buf, 64, buf, 64, 10000), ERROR_CODE_TIMEOUT);
        QVERIFY(timer.elapsed() < 1000);
    }

    void nullHandle()
    {
        Attach();
        TouchDeviceInfo none{};
        uint8_t buf[64] = {0xFC};
        QCOMPARE(Sdk()->SendData(&none, buf, 64, 30), ERROR_CODE_NULL_DEVICE);
        QCOMPARE(Sdk()->SendUpgradeData(&none, buf, 64, 30), ERROR_CODE_NULL_DEVICE);
        QCOMPARE(Sdk()->RecvData(&none, buf, 64, 30), ERROR_CODE_NULL_DEVICE);
        QCOMPARE(Sdk()->RecvUpgradeData(&none, buf, 64, 30), ERROR_CODE_NULL_DEVICE);
        QCOMPARE(Sdk()->SendAndRecvData(&none, buf, 64, buf, 64, 30), ERROR_CODE_NULL_DEVICE);
        QCOMPARE(Sdk()->SetRecvEnable(&none, 0), ERROR_CODE_NULL_DEVICE);
        QCOMPARE(Sdk()->SetUpgradeStatus(&none, 1), 0);
        QCOMPARE(Sdk()->ClaimDeviceInterface(&none), 0);
        QCOMPARE(Sdk()->ReleaseDeviceInterface(&none), 0);
        QCOMPARE(Sdk()->SendData(nullptr, buf, 64, 30), ERROR_CODE_NULL_DEVICE);
        QCOMPARE(Sdk()->SetRecvEnable(nullptr, 1), ERROR_CODE_NULL_DEVICE);
        QCOMPARE(TouchSDK::GetVersion(), 0x3000601u);
        QByteArray out;
        QVERIFY(!m_node->WaitOutput(&out, 10)); // the real device was not touched
        QCOMPARE(Device()->GetDeviceStatus(), 1);
    }

    // Download mode: the command reader stops at once and replies are read
    // directly; reports of other collections on the node are skipped.
    void upgradeTransfer()
    {
        Attach(CFakeHidBackend::AppDescriptor(), 0x0001);
        QCOMPARE(Sdk()->SetUpgradeStatus(&m_handle, 0), 0); // running reader stays running
        Input(Report(0xFC, {0x41}), 0xFC, 1);
        uint8_t first[64];
        QCOMPARE(Sdk()->RecvData(&m_handle, first, 64, 0), 64);
        QCOMPARE(Sdk()->SetUpgradeStatus(&m_handle, 1), 0);
        m_node->SendInput(Report(0xFB, {0x01}));  // raw collection: not a reply
        m_node->SendInput(Report(0xFC, {0x42}));
        uint8_t buf[64];
        QCOMPARE(Sdk()->RecvUpgradeData(&m_handle, buf, 64, 2000), 64);
        QCOMPARE(buf[1], uint8_t(0x42));
        QCOMPARE(Device()->QueuedReportCount(0xFC), 0); // the reader did not take it
        QCOMPARE(Sdk()->RecvUpgradeData(&m_handle, buf, 64, 10), ERROR_CODE_TIMEOUT);
        QTest::qWait(20);
        QCOMPARE(m_probe->RawReports().size(), 0); // the raw reader pauses too
        QCOMPARE(Sdk()->SetUpgradeStatus(&m_handle, 0), 0);
        Input(Report(0xFC, {0x43}), 0xFC, 1);
        DEV_TRY_COMPARE(m_probe->RawReports().size(), 1);
    }

    // A direct read ends early when reception is switched off, the frame goes
    // or the interface is released, in the download mode and outside it.
    void upgradeReadEndsEarly_data()
    {
        QTest::addColumn<bool>("upgrade"); // download mode: the command reader is stopped
        QTest::addColumn<int>("cause");    // 0 reception off, 1 unplugged, 2 released
        QTest::addColumn<int>("expected");
        for (bool upgrade : {true, false}) {
            const char *mode = upgrade ? "download mode" : "normal mode";
            QTest::addRow("%s, reception switched off", mode) << upgrade << 0 << int(ERROR_CODE_INTERRUPT);
            QTest::addRow("%s, frame unplugged", mode) << upgrade << 1 << int(ERROR_CODE_LOST_DEVICE);
            QTest::addRow("%s, interface released", mode) << upgrade << 2 << int(ERROR_CODE_LOST_DEVICE);
        }
    }
    void upgradeReadEndsEarly()
    {
        QFETCH(bool, upgrade);
        QFETCH(int, cause);
        QFETCH(int, expected);
        Attach(CFakeHidBackend::BootDescriptor(), 0xFF01);
        QCOMPARE(Sdk()->SetUpgradeStatus(&m_handle, upgrade ? 1 : 0), 0);
        std::atomic<int32_t> result{0};
        std::atomic<bool> bStarted{false};
        QElapsedTimer timer;
        timer.start();
        TouchDeviceInfo handle = m_handle;
        TouchSDK *pSdk = Sdk();
        QThread *pThread = QThread::create([&result, &bStarted, handle, pSdk]() {
            uint8_t buf[64];
            bStarted = true;
            result = pSdk->RecvUpgradeData(&handle, buf, 64, 10000);
        });
        pThread->start();
        QVERIFY(QTest::qWaitFor([&]() { return bStarted.load(); }, 5000));
        QTest::qWait(30);
        if (cause == 1)
            m_hid->RemoveNode(m_node, false);
        else if (cause == 2)
            QCOMPARE(Sdk()->ReleaseDeviceInterface(&m_handle), 0);
        else
            QCOMPARE(Sdk()->SetRecvEnable(&m_handle, 0), 0);
        QVERIFY(pThread->wait(15000));
        delete pThread;
        QCOMPARE(int(result.load()), expected);
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        uint8_t buf[64];
        QCOMPARE(Sdk()->RecvUpgradeData(&m_handle, buf, 64, 10), expected);
    }

    // A reply queued before the frame left is delivered; then "device lost".
    void replyQueuedBeforeTheFrameLeftIsDelivered()
    {
        Attach();
        Input(Report(0xFC, {0x84}), 0xFC, 1);
        m_hid->RemoveNode(m_node, false);
        DEV_TRY_COMPARE(Device()->GetDeviceStatus(), -1);
        uint8_t buf[64] = {};
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 5000), 64);
        QCOMPARE(buf[1], uint8_t(0x84));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 5000), ERROR_CODE_LOST_DEVICE);
        QVERIFY(timer.elapsed() < 1000);
    }

    void lostDeviceAnswersLostEverywhere()
    {
        Attach();
        m_hid->RemoveNode(m_node, false);
        DEV_TRY_COMPARE(Device()->GetDeviceStatus(), -1);
        uint8_t buf[64] = {0xFC};
        QCOMPARE(Sdk()->RecvData(&m_handle, buf, 64, 5000), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(Sdk()->RecvUpgradeData(&m_handle, buf, 64, 5000), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(Sdk()->SendData(&m_handle, buf, 64, 30), ERROR_CODE_LOST_DEVICE);
        QCOMPARE(Sdk()->ClaimDeviceInterface(&m_handle), 0);
        QCOMPARE(Device()->GetDeviceStatus(), -1); // lost stays lost
    }
};

STATION_TEST_MAIN_CORE(TestTouchDevice)
#include "tst_touchdevice.moc"
