// The scripted fake port that unit tests of port users rely on: scripted
// replies, instant time-outs, and the USB port's reception rules.

#include "fakecomport.h"
#include "testenvironment.h"

#include <QElapsedTimer>
#include <QThread>
#include <QtTest>
#include <atomic>

namespace {
QByteArray Req(uint8_t cmd, uint8_t sub)
{
    QByteArray r(64, '\0');
    r[0] = char(0xFC);
    r[1] = char(cmd);
    r[2] = char(sub);
    return r;
}
const uint8_t *U8(const QByteArray &a)
{
    return reinterpret_cast<const uint8_t *>(a.constData());
}
} // namespace

class TestFakeComPort : public QObject
{
    Q_OBJECT

private slots:
    void scriptedReplies()
    {
        CFakeComPort port;
        port.AddReply(0xA3, 0x00, {Req(0xA3, 0x80), Req(0xA3, 0x81)});
        port.SetResponder([](const QByteArray &req) { return QList<QByteArray>{Req(uint8_t(req[1]), 0xEE)}; });
        uint8_t buf[64];
        QCOMPARE(port.SendData(U8(Req(0xA3, 0x00)), 64, 30, 0), 64);
        QCOMPARE(port.RecvData(buf, 64, 10000, 0), 64);
        QCOMPARE(buf[2], uint8_t(0x80));
        QCOMPARE(port.RecvData(buf, 64, 10000, 0), 64);
        QCOMPARE(buf[2], uint8_t(0x81));
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(port.RecvData(buf, 64, 10000, 0), ERROR_CODE_TIMEOUT); // at once
        QVERIFY(timer.elapsed() < 100);
        QCOMPARE(port.SendAndRecvData(U8(Req(0x08, 0x00)), 64, buf, 64, 100, 0), 64);
        QCOMPARE(buf[2], uint8_t(0xEE));
        QCOMPARE(port.Requests().size(), 2);
        port.QueueRecvResult(ERROR_CODE_LOST_DEVICE);
        QCOMPARE(port.RecvData(buf, 64, 100, 0), ERROR_CODE_LOST_DEVICE);
        port.SetSendResult(ERROR_CODE_TIMEOUT);
        QCOMPARE(port.SendAndRecvData(U8(Req(0xA3, 0x00)), 64, buf, 64, 100, 0), ERROR_CODE_TIMEOUT);
        QCOMPARE(port.PendingReplies(), 0);
    }

    void receptionRules()
    {
        CFakeComPort port;
        uint8_t buf[64];
        port.SetRecvEnable(0, 0);
        QCOMPARE(port.RecvData(buf, 64, 100, 0), ERROR_CODE_TIMEOUT);
        port.QueueReply(Req(0x01, 0x02));
        QCOMPARE(port.RecvData(buf, 64, 100, 0), ERROR_CODE_INTERRUPT);
        QCOMPARE(port.PendingReplies(), 1);
        QCOMPARE(port.SendData(U8(Req(0x05, 0x00)), 64, 30, 0), 64); // switches reception on
        QVERIFY(port.RecvEnabled());
        QCOMPARE(port.RecvData(buf, 64, 100, 0), 64);

        // A waiting receive is broken from another thread.
        port.SetRecvWaits(true);
        QThread *pThread = QThread::create([&port]() { port.SetRecvEnable(0, 0); });
        QElapsedTimer timer;
        timer.start();
        QTimer::singleShot(20, [pThread]() { pThread->start(); });
        QTest::qWait(1); // start the single-shot timer
        std::atomic<int32_t> result{0};
        QThread *pWaiter = QThread::create([&]() {
            uint8_t b[64];
            result = port.RecvData(b, 64, 10000, 0);
        });
        pWaiter->start();
        QTRY_VERIFY(pWaiter->isFinished());
        QCOMPARE(result.load(), ERROR_CODE_TIMEOUT);
        QVERIFY(timer.elapsed() < 5000);
        pThread->wait();
        delete pThread;
        delete pWaiter;

        port.SetConnected(false);
        QCOMPARE(port.GetDeviceMode(), uint32_t(ERROR_CODE_LOST_DEVICE));
        QCOMPARE(port.SendData(U8(Req(0x05, 0x00)), 64, 30, 0), ERROR_CODE_LOST_DEVICE);
    }
};

STATION_TEST_MAIN_CORE(TestFakeComPort)
#include "tst_fakecomport.moc"
