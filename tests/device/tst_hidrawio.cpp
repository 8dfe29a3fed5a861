// Reports through the real hidraw backend on a mocked kernel: the USB port
// writes commands to the node, the emulated frame behind it answers, the
// command reader queues the replies and the raw reader hands raw data and
// touch records to SendTouchData.

#include "comportusb.h"
#include "mockedframetest.h"
#include "testenvironment.h"
#include "touchdevice.h"

#include <QScopeGuard>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <cerrno>
#include <thread>

using namespace mockedtest;

namespace {

// The product text of an A3 81 reply.
QByteArray ProductOf(const QByteArray &reply)
{
    return reply.mid(5, quint8(reply[3]));
}

// A report of the frame with a sequence number in bytes 1 and 2.
QByteArray Numbered(quint8 nId, int n)
{
    QByteArray report(64, '\0');
    report[0] = char(nId);
    report[1] = char(n >> 8);
    report[2] = char(n);
    return report;
}

int NumberOf(const QByteArray &report)
{
    return (quint8(report[1]) << 8) | quint8(report[2]);
}

} // namespace

class TestHidrawIo : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CFrameOnBus> m_pBus;
    std::unique_ptr<CComPortUsb> m_pPort;
    QMutex m_rawMutex;
    QList<QByteArray> m_raw; // SendTouchData, in order

    QList<QByteArray> Raw()
    {
        QMutexLocker lock(&m_rawMutex);
        return m_raw;
    }

    int32_t SendAndRecv(const QByteArray &request, int nTimeoutMs, QByteArray *pReply, int nLen = 64)
    {
        uint8_t reply[64] = {};
        const int32_t nResult =
            m_pPort->SendAndRecvData(reinterpret_cast<const uint8_t *>(request.constData()), nLen, reply,
                                     sizeof(reply), nTimeoutMs, 0);
        if (pReply)
            *pReply = nResult > 0 ? QByteArray(reinterpret_cast<const char *>(reply), nResult) : QByteArray();
        return nResult;
    }

    int32_t Recv(int nTimeoutMs, QByteArray *pReply)
    {
        uint8_t reply[64] = {};
        const int32_t nResult = m_pPort->RecvData(reply, sizeof(reply), nTimeoutMs, 0);
        *pReply = nResult > 0 ? QByteArray(reinterpret_cast<const char *>(reply), nResult) : QByteArray();
        return nResult;
    }

    CTouchDevice *Device()
    {
        const QMap<QString, CTouchDevice *> map = devicetest::Manager()->GetDeviceMap();
        return map.isEmpty() ? nullptr : map.first();
    }

private slots:
    void init()
    {
        CTestEnvironment::RealClock();
        m_pBus = std::make_unique<CFrameOnBus>();
        m_pBus->usb->Plug();
        m_pPort = std::make_unique<CComPortUsb>();
        m_raw.clear();
        connect(m_pPort.get(), &CComPortUsb::SendTouchData, this,
                [this](TouchData data) {
                    QMutexLocker lock(&m_rawMutex);
                    m_raw.append(Bytes(data));
                },
                Qt::DirectConnection);
        QVERIFY(StationTest::WaitFor([this]() { return m_pPort->GetDevCount() == 1; }));
        QVERIFY(StationTest::WaitFor([this]() { return m_pBus->usb->OpenCount() == 2; }));
    }

    void cleanup()
    {
        m_pPort.reset();
        m_pBus.reset();
    }

    // Every command goes out whole and gets its own answer, one after the
    // other, with both readers of the node running.
    void commandsAndTheirAnswers()
    {
        for (int i = 0; i < 40; ++i) {
            const QByteArray product = "FRAME-" + QByteArray::number(i);
            m_pBus->frame.Edit([&](CEmulatedFrame::State &s) { s.info.product = product; });
            QByteArray reply;
            QCOMPARE(SendAndRecv(Command(0xA3, 0x01), 2000, &reply), 64);
            QCOMPARE(reply.left(3), QByteArray::fromHex("FCA381"));
            QCOMPARE(ProductOf(reply), product);
        }
        QCOMPARE(m_pBus->frame.RequestsFor(0xA3, 0x01).size(), 40);
        // A short buffer goes out padded to a whole report; the count is the caller's.
        QByteArray reply;
        QCOMPARE(SendAndRecv(Command(0xA3, 0x01), 2000, &reply, 3), 64);
        const QByteArray last = m_pBus->frame.Requests().last();
        QCOMPARE(last.size(), 64);
        QCOMPARE(last, Command(0xA3, 0x01));
        QVERIFY2(m_pBus->frame.Violations().isEmpty(), qPrintable(m_pBus->frame.Violations().join('\n')));
        // Replies never reach the raw data.
        QVERIFY(Raw().isEmpty());
    }

    // A frame that answers nothing: the wait ends with a time-out, and the
    // next command is answered normally.
    void silence()
    {
        m_pBus->frame.SetFault(0xA3, 0x01, CEmulatedFrame::Silent(1));
        QByteArray reply;
        QCOMPARE(SendAndRecv(Command(0xA3, 0x01), 150, &reply), ERROR_CODE_TIMEOUT);
        QCOMPARE(m_pBus->frame.RequestsFor(0xA3, 0x01).size(), 1); // it was written
        QCOMPARE(SendAndRecv(Command(0xA3, 0x01), 2000, &reply), 64);
        QCOMPARE(ProductOf(reply), QByteArray("KT-T65WHSUR-10P"));
    }

    // A reply that comes after its wait ended is the next one read.
    void lateReply()
    {
        // The frame answers once the wait is over, whatever the machine's load.
        m_pBus->frame.SetFault(0xA3, 0x01, CEmulatedFrame::Silent(1));
        QByteArray reply;
        QCOMPARE(SendAndRecv(Command(0xA3, 0x01), 50, &reply), ERROR_CODE_TIMEOUT);
        QCOMPARE(m_pBus->frame.RequestsFor(0xA3, 0x01).size(), 1);
        QByteArray late = Command(0xA3, 0x81);
        late[3] = 4;
        late.replace(5, 4, "LATE");
        m_pBus->usb->SendInput(late);
        QCOMPARE(Recv(5000, &reply), 64);
        QCOMPARE(reply.left(3), QByteArray::fromHex("FCA381"));
        QCOMPARE(ProductOf(reply), QByteArray("LATE"));
    }

    // One command answered by hundreds of reports: the node keeps what its
    // buffer holds, the station reads them in order, none twice, and the
    // next command still gets its own answer.
    void replyFlood()
    {
        QList<QByteArray> flood;
        for (int n = 1; n <= 300; ++n)
            flood << Numbered(0xFC, n);
        m_pBus->frame.SetFault(0xA3, 0x01, CEmulatedFrame::CustomReplies(flood, 1));
        QByteArray reply;
        QCOMPARE(SendAndRecv(Command(0xA3, 0x01), 2000, &reply), 64);
        QCOMPARE(NumberOf(reply), 1);
        // Read until nothing is left anywhere: neither with the node's opens
        // (taken by both readers) nor in the station's queue, checked in that
        // order, so a report in between is not missed.
        QList<int> numbers{1};
        CTouchDevice *pDevice = Device();
        QVERIFY(pDevice);
        const bool bDrained = StationTest::WaitFor([&]() {
            while (Recv(0, &reply) == 64)
                numbers << NumberOf(reply);
            return m_pBus->usb->UnreadReports() == 0 && pDevice->QueuedReportCount(0xFC) == 0;
        }, 30000);
        QVERIFY(bDrained);
        for (int i = 1; i < numbers.size(); ++i)
            QVERIFY2(numbers[i] > numbers[i - 1], qPrintable(QStringLiteral("%1 after %2").arg(numbers[i]).arg(numbers[i - 1])));
        QVERIFY(numbers.size() <= 300);
        QCOMPARE(SendAndRecv(Command(0xA3, 0x01), 2000, &reply), 64);
        QCOMPARE(ProductOf(reply), QByteArray("KT-T65WHSUR-10P"));
    }

    // A write error that is not the frame's departure (EPIPE of a stalled
    // endpoint, EPROTO) fails that command with a time-out while the frame
    // stays listed and answers the next one. ENODEV says it has gone: while
    // the system still lists it, the next pass announces it gone and it
    // arrives again, answering.
    void writeErrors_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("gone");
        QTest::newRow("EPIPE") << EPIPE << false;
        QTest::newRow("EPROTO") << EPROTO << false;
        QTest::newRow("ENODEV") << ENODEV << true;
    }
    void writeErrors()
    {
        QFETCH(int, error);
        QFETCH(bool, gone);
        devicetest::CSignalRecord insert(m_pPort.get(), &CComPortUsb::DeviceInsert);
        m_pBus->usb->SetWriteError(error);
        QByteArray reply;
        QCOMPARE(SendAndRecv(Command(0xA3, 0x01), 2000, &reply),
                 gone ? ERROR_CODE_LOST_DEVICE : ERROR_CODE_TIMEOUT);
        m_pBus->usb->SetWriteError(0);
        QVERIFY(WaitForPass(*m_pBus->usb));
        if (gone) {
            QVERIFY(StationTest::WaitFor([&]() { return insert.count() == 2; }));
            QCOMPARE(insert.at(0).at(0).toBool(), false);
            QCOMPARE(insert.at(1).at(0).toBool(), true);
        } else {
            QCOMPARE(insert.count(), 0);
        }
        QCOMPARE(m_pPort->GetDevCount(), 1);
        QVERIFY(StationTest::WaitFor([this]() { return m_pBus->usb->OpenCount() == 2; }));
        QCOMPARE(SendAndRecv(Command(0xA3, 0x01), 2000, &reply), 64);
        QCOMPARE(ProductOf(reply), QByteArray("KT-T65WHSUR-10P"));
        QCOMPARE(m_pBus->frame.RequestsFor(0xA3, 0x01).size(), 1); // the failed one never reached it
    }

    // Switching reception off from another thread ends a long wait at once.
    void receptionOffEndsTheWait()
    {
        m_pBus->frame.SetFault(0xA3, 0x01, CEmulatedFrame::Silent(1));
        std::atomic<int32_t> result{0};
        std::atomic<bool> bDone{false};
        QThread *pWorker = QThread::create([&]() {
            result = SendAndRecv(Command(0xA3, 0x01), 600000, nullptr);
            bDone = true;
        });
        pWorker->start();
        QVERIFY(StationTest::WaitFor([this]() { return m_pBus->frame.RequestsFor(0xA3, 0x01).size() == 1; }));
        QCOMPARE(m_pPort->SetRecvEnable(0, 0), 0);
        const bool bEnded = StationTest::WaitFor([&]() { return bDone.load(); }, 30000);
        if (!bEnded)
            m_pBus->usb->Unplug(); // frees the worker
        pWorker->wait();
        delete pWorker;
        QVERIFY(bEnded);
        QCOMPARE(result.load(), ERROR_CODE_TIMEOUT);
        // Sending switches reception on again.
        QByteArray reply;
        m_pBus->frame.ClearFaults();
        uint8_t request[64] = {0xFC, 0xA3, 0x01};
        QCOMPARE(m_pPort->SendData(request, 64, 30, 0), 64);
        QCOMPARE(Recv(2000, &reply), 64);
        QCOMPARE(reply.left(3), QByteArray::fromHex("FCA381"));
    }

    // Raw data (0xFB) and touch records (0x02) come from the raw reader to
    // SendTouchData, in order, and never into a command queue; commands go
    // on meanwhile.
    void rawReportsReachSendTouchData()
    {
        std::atomic<bool> bStop{false};
        std::thread frameSide([&]() {
            // Never more than half a buffer ahead of either reader: every
            // open of the node gets each report, and a full buffer drops
            // what comes next, a command's reply included.
            for (int n = 1; n <= 200 && !bStop; ++n) {
                while (!bStop && m_pBus->usb->UnreadReports() > CMockedHidFrame::QUEUE_LIMIT / 2)
                    QThread::usleep(200);
                m_pBus->usb->SendInput(Numbered(n % 10 == 0 ? 0xFB : 0x02, n));
            }
        });
        // A failed check returns at once: the frame side stops and is joined first.
        auto joinFrameSide = qScopeGuard([&]() {
            bStop = true;
            if (frameSide.joinable())
                frameSide.join();
        });
        for (int i = 0; i < 20; ++i) {
            QByteArray reply;
            QCOMPARE(SendAndRecv(Command(0xA3, 0x01), 2000, &reply), 64);
            QCOMPARE(ProductOf(reply), QByteArray("KT-T65WHSUR-10P"));
        }
        const bool bAll = StationTest::WaitFor([this]() { return Raw().size() == 200; }, 30000);
        bStop = true;
        frameSide.join();
        QVERIFY(bAll);
        const QList<QByteArray> raw = Raw();
        int nPrevious = 0;
        for (const QByteArray &report : raw) {
            QCOMPARE(report.size(), 64);
            const int n = NumberOf(report);
            QVERIFY(n > nPrevious);
            QCOMPARE(quint8(report[0]), quint8(n % 10 == 0 ? 0xFB : 0x02));
            nPrevious = n;
        }
        QCOMPARE(raw.size(), 200);
        CTouchDevice *pDevice = Device();
        QVERIFY(pDevice);
        QCOMPARE(pDevice->QueuedReportCount(0x02), 0);
        QCOMPARE(pDevice->QueuedReportCount(0xFB), 0);
        QByteArray reply;
        QCOMPARE(Recv(0, &reply), ERROR_CODE_TIMEOUT); // nothing left for the commands
    }
};

STATION_MOCKED_KERNEL_TEST_MAIN(TestHidrawIo)
#include "tst_hidrawio.moc"
