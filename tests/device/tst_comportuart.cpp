// The serial port against a real pseudo-terminal: the test plays the frame on
// the master side, the port opens the slave by name. Link set-up, keep-alive,
// request and reply, the link lost and regained, hostile input, the line going
// away, and the settings keys. Waits are scaled through CStationClock.

#include "comportuart.h"
#include "customersettings.h"
#include "runlogcapture.h"
#include "serialframe.h"
#include "stationclock.h"
#include "workthread.h"
#include "testenvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSet>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace {

QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

QByteArray Framed(uint32_t head, const QByteArray &src)
{
    QByteArray frame(300, '\0');
    const int n = PacketBuild(reinterpret_cast<uint8_t *>(frame.data()), frame.size(),
                              reinterpret_cast<const uint8_t *>(src.constData()), src.size(), head);
    return frame.left(n);
}

// A 1D D8 frame, which only a frame sends.
QByteArray Frame1DD8(QByteArray body)
{
    const int word = body.size() + 1;
    body[1] = char(word & 0xFF);
    body[2] = char(word >> 8);
    QByteArray frame = Hex("1D D8") + body;
    frame.append(char(CalcByteSum(reinterpret_cast<const uint8_t *>(frame.constData()), uint32_t(frame.size()))));
    return frame;
}

// A 64-byte command report whose byte 3 announces `length` data bytes.
QByteArray Command(uint8_t id, uint8_t cmd, int length, uint8_t fill = 0x10)
{
    QByteArray report(64, '\0');
    report[0] = char(id);
    report[1] = char(cmd);
    report[3] = char(length);
    for (int i = 0; i < length; ++i)
        report[4 + i] = char(fill + i);
    return report;
}

const QByteArray kKeepAliveWire = Hex("2F E9 03 FE 08 00 06");

struct WireFrame
{
    uint16_t head;
    QByteArray body;
    QByteArray wire;
};

// The frame's end of the line: the master side of a pseudo-terminal.
class CPtyFrame
{
public:
    CPtyFrame()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            return;
        if (const char *name = ::ptsname(m_master))
            m_slave = QString::fromLocal8Bit(name);
    }
    ~CPtyFrame() { HangUp(); }

    bool IsValid() const { return m_master >= 0 && !m_slave.isEmpty(); }
    QString SlaveName() const { return m_slave; }

    void Write(const QByteArray &bytes)
    {
        qint64 done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                return;
            done += n;
        }
    }

    // Closes the master: for the station the line goes away.
    void HangUp()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    // The next frame the station wrote, keep-alives skipped unless asked for.
    std::optional<WireFrame> NextFrame(int timeoutMs, bool keepAlives = false)
    {
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            while (!m_pending.isEmpty()) {
                const int taken = PacketParse(&m_parser, reinterpret_cast<const uint8_t *>(m_pending.constData()),
                                              m_pending.size());
                m_current += m_pending.left(taken);
                m_pending.remove(0, taken);
                if (m_parser.state != PACKET_STATE_DONE)
                    continue;
                WireFrame frame{m_parser.head,
                                QByteArray(reinterpret_cast<const char *>(m_parser.body), m_parser.expectedLength),
                                m_current};
                m_current.clear();
                if (!keepAlives && frame.wire == kKeepAliveWire)
                    continue;
                return frame;
            }
            const qint64 left = timeoutMs - timer.elapsed();
            if (left <= 0 || m_master < 0)
                return std::nullopt;
            pollfd pfd{m_master, POLLIN, 0};
            if (::poll(&pfd, 1, int(left)) > 0 && (pfd.revents & POLLIN)) {
                char buffer[512];
                const ssize_t n = ::read(m_master, buffer, sizeof(buffer));
                if (n > 0)
                    m_pending.append(buffer, int(n));
            }
        }
    }

private:
    int m_master = -1;
    QString m_slave;
    QByteArray m_pending;
    QByteArray m_current;
    PacketContext m_parser{};
};

int ThreadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

} // namespace

class TestComPortUart : public QObject
{
    Q_OBJECT

private:
    QList<bool> m_events;
    std::unique_ptr<CRunLogCapture> m_pLog;

    QStringList LoggedMessages() const { return m_pLog->Lines(); }

    // The port's DeviceInsert signals, delivered to the test thread in order.
    void Watch(CComPortUart *port)
    {
        connect(port, &CComPort::DeviceInsert, this, [this](bool state) { m_events << state; });
    }

    static int32_t Send(CComPortUart &port, const QByteArray &report)
    {
        return port.SendData(reinterpret_cast<const uint8_t *>(report.constData()), report.size(), 30, 0);
    }

    static QByteArray Receive(CComPortUart &port, int timeoutMs, int32_t *result = nullptr, int len = 64)
    {
        QByteArray reply(64, '\0');
        const int32_t n = port.RecvData(reinterpret_cast<uint8_t *>(reply.data()), len, timeoutMs, 0);
        if (result)
            *result = n;
        return n >= 0 ? reply.left(n) : QByteArray();
    }

private slots:
    void initTestCase()
    {
        m_pLog = std::make_unique<CRunLogCapture>();
        CWorkThread::SetStopRounds(100);
    }

    void cleanupTestCase()
    {
        m_pLog.reset();
    }

    void init()
    {
        CCustomerSettings::GetInstance()->clear();
        // Keep-alive after 2 s, link lost after 10 s: a test that is not about
        // them never sees them, however long a busy machine keeps it waiting.
        CTestEnvironment::FastClock(10.0);
        m_events.clear();
        m_pLog->Clear();
    }

    void cleanup()
    {
        CTestEnvironment::RealClock();
        QVERIFY(!LoggedMessages().contains(QStringLiteral("Terminate Thread.")));
    }

    void emptyNameOpensNothing()
    {
        const int threadsBefore = ThreadCount();
        {
            CComPortUart port(QString(), nullptr);
            QVERIFY(ThreadCount() <= threadsBefore);
            const QByteArray report = Command(0xFC, 0xA3, 2);
            QCOMPARE(Send(port, report), ERROR_CODE_LOST_DEVICE);
            int32_t result = 0;
            Receive(port, 10, &result);
            QCOMPARE(result, ERROR_CODE_LOST_DEVICE);
            QVERIFY(!port.IsConnected());
            QCOMPARE(port.GetDeviceMode(), uint32_t(ERROR_CODE_LOST_DEVICE));
            QCOMPARE(port.GetVid(), 0);
            QCOMPARE(port.GetPid(), 0);
            QCOMPARE(port.GetVersion(), 0);
        }
        CCustomerSettings *settings = CCustomerSettings::GetInstance();
        const QList<QPair<QString, QString>> defaults = {{"Parity", "0"},       {"StopBit", "1"},
                                                         {"FlowControl", "0"},  {"BaudRate", "115200"},
                                                         {"DataBit", "8"},      {"PortName", ""}};
        for (const auto &entry : defaults) {
            QVERIFY2(settings->contains(entry.first), qPrintable(entry.first));
            QCOMPARE(settings->value(entry.first).toString(), entry.second);
        }
    }

    void openFailureKeepsTheStore()
    {
        CComPortUart port(QStringLiteral("/nonexistent/ttyStation"), nullptr);
        QCOMPARE(Send(port, Command(0xFC, 0xA3, 2)), ERROR_CODE_LOST_DEVICE);
        int32_t result = 0;
        Receive(port, 10, &result);
        QCOMPARE(result, ERROR_CODE_LOST_DEVICE);
        QCOMPARE(CCustomerSettings::GetInstance()->value("StopBit").toString(), QStringLiteral("1"));
        QCOMPARE(CCustomerSettings::GetInstance()->value("PortName").toString(), QString());
    }

    // A text read from the store is written back after a successful open in
    // the form the port knows, or replaced by the default's text.
    void settingsTexts_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("afterOpen");
        QTest::newRow("two stop bits kept") << "StopBit" << "Two Stop(2)" << "Two Stop(2)";
        QTest::newRow("default stop bit named") << "StopBit" << "1" << "One Stop(1)";
        QTest::newRow("unknown stop bits") << "StopBit" << "two" << "One Stop(1)";
        QTest::newRow("even parity kept") << "Parity" << "Even Parity" << "Even Parity";
        QTest::newRow("odd parity kept") << "Parity" << "Odd Parity" << "Odd Parity";
        QTest::newRow("parity texts are case-sensitive") << "Parity" << "even parity" << "No Parity";
        QTest::newRow("software flow control kept") << "FlowControl" << "Software Control" << "Software Control";
        QTest::newRow("default flow control named") << "FlowControl" << "0" << "No Flow Control";
        QTest::newRow("baud rate kept") << "BaudRate" << "9600" << "9600";
        QTest::newRow("baud rate not a number") << "BaudRate" << "fast" << "115200";
        QTest::newRow("seven data bits") << "DataBit" << "7" << "7";
        QTest::newRow("data bits not a number") << "DataBit" << "eight" << "8";
    }
    void settingsTexts()
    {
        QFETCH(QString, key);
        QFETCH(QString, stored);
        QFETCH(QString, afterOpen);
        CPtyFrame frame;
        QVERIFY(frame.IsValid());
        CCustomerSettings::GetInstance()->SetString(key, stored);
        CComPortUart port(frame.SlaveName(), nullptr);
        QCOMPARE(CCustomerSettings::GetInstance()->value(key).toString(), afterOpen);
        QCOMPARE(CCustomerSettings::GetInstance()->value("PortName").toString(),
                 frame.SlaveName().mid(int(strlen("/dev/"))));
    }

    // The head of the frame that sets up the link is the framing of every
    // report sent afterwards; 1D D8 is never sent.
    void linkSetUp_data()
    {
        QTest::addColumn<QByteArray>("linkFrame");
        QTest::addColumn<uint>("outgoingHead");
        QTest::newRow("2F E9") << Framed(0x2FE9, Command(0xFC, 0xA3, 0)) << 0x2FE9u;
        QTest::newRow("1F F7") << Framed(0x1FF7, Command(0xFC, 0xA3, 2)) << 0x1FF7u;
        QTest::newRow("1D D8 keeps 1F F7") << Frame1DD8(Hex("FC 00 00 01 02 03")) << 0x1FF7u;
    }
    void linkSetUp()
    {
        QFETCH(QByteArray, linkFrame);
        QFETCH(uint, outgoingHead);
        CPtyFrame frame;
        QVERIFY(frame.IsValid());
        CComPortUart port(frame.SlaveName(), nullptr);
        Watch(&port);
        QVERIFY(!port.IsConnected());

        frame.Write(linkFrame);
        QTRY_COMPARE(m_events, QList<bool>{true});
        QVERIFY(port.IsConnected());
        QCOMPARE(port.GetDeviceMode(), 1u);

        const QByteArray report = Command(0xFC, 0xA4, 3);
        const int32_t sent = Send(port, report);
        const auto out = frame.NextFrame(2000);
        QVERIFY(out);
        QCOMPARE(sent, out->wire.size());
        QCOMPARE(uint(out->head), outgoingHead);
        QCOMPARE(out->body, outgoingHead == 0x2FE9u ? report : report.left(3 + 5));
    }

    void modeSwitchIsRemovalAndInsertion()
    {
        CPtyFrame frame;
        QVERIFY(frame.IsValid());
        CComPortUart port(frame.SlaveName(), nullptr);
        Watch(&port);
        frame.Write(Framed(0x2FE9, Hex("FC 01 80 00")));
        QTRY_COMPARE(m_events, QList<bool>{true});
        frame.Write(Framed(0x2FE9, Hex("FC 02 80 00"))); // same mode: nothing new
        frame.Write(Framed(0x2FE9, Hex("FB 01 00 00"))); // raw report: nothing new
        frame.Write(Framed(0x2FE9, Hex("FD 03 80 00")));
        QTRY_COMPARE(m_events, (QList<bool>{true, false, true}));
        QCOMPARE(port.GetDeviceMode(), 0u);
        // The bootloader's replies are the ones read now.
        frame.Write(Framed(0x2FE9, Hex("FD 04 80 00")));
        QCOMPARE(Receive(port, 2000), Hex("FD 03 80 00"));
        QCOMPARE(Receive(port, 2000), Hex("FD 04 80 00"));
    }

    void requestAndReply()
    {
        CPtyFrame frame;
        QVERIFY(frame.IsValid());
        CComPortUart port(frame.SlaveName(), nullptr);
        Watch(&port);
        // The link frame and a late reply are queued before the request goes
        // out; neither is an answer to it.
        frame.Write(Framed(0x1FF7, Command(0xFC, 0x08, 0)) + Framed(0x1FF7, Command(0xFC, 0x99, 0)));
        QTRY_COMPARE(m_events, QList<bool>{true});
        QTest::qWait(50);

        const QByteArray request = Command(0xFC, 0xA3, 2, 0x40);
        QVERIFY(Send(port, request) > 0);
        const auto out = frame.NextFrame(2000);
        QVERIFY(out);
        QCOMPARE(out->wire, Hex("1F F7 FC A3 00 02 40 41 00") + char(0x1F + 0xF7 + 0xFC + 0xA3 + 0x02 + 0x40 + 0x41));

        // The reply arrives in two pieces, with a raw touch report in between
        // that is no reply.
        const QByteArray reply = Framed(0x1FF7, Command(0xFC, 0xA3, 6, 0x70));
        frame.Write(reply.left(5));
        QTest::qWait(5);
        frame.Write(reply.mid(5) + Framed(0x2FE9, Hex("FB 01 02 03")));
        QCOMPARE(Receive(port, 2000), Command(0xFC, 0xA3, 6, 0x70).left(6 + 5));
        int32_t result = 0;
        Receive(port, 20, &result);
        QCOMPARE(result, ERROR_CODE_TIMEOUT);

        // A short buffer takes the start of the next reply; the rest is gone.
        frame.Write(Framed(0x1FF7, Command(0xFC, 0xA3, 6, 0x70)));
        QCOMPARE(Receive(port, 2000, &result, 4), Hex("FC A3 00 06"));
        Receive(port, 20, &result);
        QCOMPARE(result, ERROR_CODE_TIMEOUT);

        // Send and receive as one step.
        QByteArray answer(64, '\0');
        std::thread player([&frame] {
            if (frame.NextFrame(2000))
                frame.Write(Framed(0x1FF7, Command(0xFC, 0xA5, 1, 0x33)));
        });
        const int32_t n = port.SendAndRecvData(reinterpret_cast<const uint8_t *>(request.constData()), 64,
                                               reinterpret_cast<uint8_t *>(answer.data()), 64, 2000, 0);
        player.join();
        QCOMPARE(n, 6);
        QCOMPARE(answer.left(6), Hex("FC A5 00 01 33 00"));
    }

    void releasedInterfaceRefusesToRead()
    {
        CPtyFrame frame;
        QVERIFY(frame.IsValid());
        CComPortUart port(frame.SlaveName(), nullptr);
        QCOMPARE(port.ReleaseDeviceInterface(0), 0);
        int32_t result = 0;
        Receive(port, 1000, &result);
        QCOMPARE(result, ERROR_CODE_LOST_DEVICE);
        QCOMPARE(port.ClaimDeviceInterface(0), 0);
        Receive(port, 10, &result);
        QCOMPARE(result, ERROR_CODE_TIMEOUT);

        // A release ends a read that is waiting.
        std::thread releaser([&port] {
            QThread::msleep(20);
            port.ReleaseDeviceInterface(0);
        });
        QElapsedTimer timer;
        timer.start();
        Receive(port, 5000, &result);
        releaser.join();
        QCOMPARE(result, ERROR_CODE_LOST_DEVICE);
        QVERIFY(timer.elapsed() < 4000);
        const QStringList log = LoggedMessages();
        QVERIFY(log.contains(QStringLiteral("ClaimDeviceInterface.")));
        QVERIFY(log.contains(QStringLiteral("ReleaseDeviceInterface.")));
    }

    void keepAliveAfterSilence()
    {
        CTestEnvironment::FastClock(0.1); // keep-alive after 20 ms, link lost after 100 ms
        CPtyFrame frame;
        QVERIFY(frame.IsValid());
        CComPortUart port(frame.SlaveName(), nullptr);
        const auto first = frame.NextFrame(2000, true);
        QVERIFY(first);
        QCOMPARE(first->wire.toHex(' '), kKeepAliveWire.toHex(' '));
        // They keep coming while the frame is silent.
        const auto second = frame.NextFrame(2000, true);
        QVERIFY(second);
        QCOMPARE(second->wire, kKeepAliveWire);
    }

    // A keep-alive leaves a reply that came just before it in its queue.
    void keepAliveKeepsAWaitingReply()
    {
        CTestEnvironment::FastClock(0.1);
        CPtyFrame frame;
        QVERIFY(frame.IsValid());
        CComPortUart port(frame.SlaveName(), nullptr);
        frame.Write(Framed(0x2FE9, Hex("FC A3 80 01 02")));
        for (int i = 0; i < 3; ++i)
            QVERIFY(frame.NextFrame(2000, true));
        QCOMPARE(Receive(port, 0), Hex("FC A3 80 01 02"));
    }

    void linkLostAndRegained()
    {
        CTestEnvironment::FastClock(0.1);
        CPtyFrame frame;
        QVERIFY(frame.IsValid());
        CComPortUart port(frame.SlaveName(), nullptr);
        Watch(&port);
        frame.Write(Framed(0x2FE9, Hex("FD 01 80 00")));
        QTRY_VERIFY(!m_events.isEmpty());
        QCOMPARE(m_events.first(), true);
        QCOMPARE(port.GetDeviceMode(), 0u);

        // Silence: keep-alives, then the link is dropped and the framing
        // falls back to 1F F7.
        QTRY_COMPARE(m_events, (QList<bool>{true, false}));
        QVERIFY(!port.IsConnected());
        const QByteArray report = Command(0xFC, 0xA3, 1);
        QVERIFY(Send(port, report) > 0);
        const auto out = frame.NextFrame(2000);
        QVERIFY(out);
        QCOMPARE(uint(out->head), 0x1FF7u);

        CTestEnvironment::FastClock(10.0); // the regained link must not time out again meanwhile
        frame.Write(Framed(0x2FE9, Hex("FC 01 80 00")));
        QTRY_COMPARE(m_events, (QList<bool>{true, false, true}));
        QVERIFY(port.IsConnected());
        QCOMPARE(port.GetDeviceMode(), 1u);
    }

    // Refused input changes neither the link nor the queues; the next good
    // frame is taken.
    void badInputIsDropped()
    {
        CPtyFrame frame;
        QVERIFY(frame.IsValid());
        CComPortUart port(frame.SlaveName(), nullptr);
        Watch(&port);
        frame.Write(Framed(0x2FE9, Hex("FC 01 80 00")));
        QTRY_COMPARE(m_events, QList<bool>{true});
        QCOMPARE(Receive(port, 2000), Hex("FC 01 80 00"));

        QByteArray badChecksum = Framed(0x2FE9, Hex("FD 01 80 00"));
        badChecksum[badChecksum.size() - 1] = char(badChecksum.back() ^ 0x55);
        frame.Write(badChecksum + Hex("00 FD FD 13") + Hex("2F E9 00 00") + Hex("2F E9 FF FD")
                    + Hex("1D D8 FD 00 00") + Hex("1F F7 FD 00 80 FF")
                    + Framed(0x2FE9, Hex("FC 0A 80 00")));
        QCOMPARE(Receive(port, 2000), Hex("FC 0A 80 00"));
        QCOMPARE(port.GetDeviceMode(), 1u);
        QTest::qWait(20);
        QCOMPARE(m_events, QList<bool>{true});
        int32_t result = 0;
        Receive(port, 20, &result);
        QCOMPARE(result, ERROR_CODE_TIMEOUT);
    }

    // A frame that stops half-way and is followed, after a pause, by a good
    // one does not swallow it.
    void truncatedFrameBeforeAPause()
    {
        CTestEnvironment::FastClock(0.5); // a pause of 100 ms ends a frame
        CPtyFrame frame;
        QVERIFY(frame.IsValid());
        CComPortUart port(frame.SlaveName(), nullptr);
        Watch(&port);
        frame.Write(Framed(0x2FE9, Hex("FC 01 80 00 00 00 00 00 00 00")).left(6));
        QTest::qWait(400);
        frame.Write(Framed(0x2FE9, Hex("FC 02 80 00")));
        QCOMPARE(Receive(port, 2000), Hex("FC 02 80 00"));
        QTRY_VERIFY(!m_events.isEmpty());
        QCOMPARE(m_events.first(), true);
    }

    void unreadRepliesAreBounded()
    {
        CPtyFrame frame;
        QVERIFY(frame.IsValid());
        CComPortUart port(frame.SlaveName(), nullptr);
        QByteArray burst;
        for (int i = 0; i < 300; ++i)
            burst += Framed(0x2FE9, QByteArray(Hex("FC 55")) + char(i >> 8) + char(i & 0xFF));
        frame.Write(burst);
        QTRY_VERIFY(LoggedMessages().contains(
            QStringLiteral("Serial reports 0xFC are not read; the oldest are dropped.")));
        QTest::qWait(100); // the rest of the burst is parsed by now
        QByteArray first = Receive(port, 0);
        QByteArray last = first;
        int count = first.isEmpty() ? 0 : 1;
        for (QByteArray r = Receive(port, 50); !r.isEmpty(); r = Receive(port, 50)) {
            last = r;
            ++count;
        }
        QCOMPARE(count, 256);
        QCOMPARE(first, Hex("FC 55 00 2C"));
        QCOMPARE(last, Hex("FC 55 01 2B"));
        QCOMPARE(LoggedMessages().count(QStringLiteral("Serial reports 0xFC are not read; the oldest are dropped.")), 1);
    }

    // Reports sent from several threads at once leave whole and unmixed.
    void sendsFromManyThreads()
    {
        CPtyFrame frame;
        QVERIFY(frame.IsValid());
        CComPortUart port(frame.SlaveName(), nullptr);
        constexpr int kThreads = 4;
        constexpr int kEach = 40;
        std::atomic<int> failures{0};
        std::vector<std::thread> senders;
        for (int t = 0; t < kThreads; ++t) {
            senders.emplace_back([&, t] {
                for (int i = 0; i < kEach; ++i) {
                    if (Send(port, Command(0xFC, uint8_t(0x10 + t), 4, uint8_t(i))) <= 0)
                        ++failures;
                }
            });
        }
        QSet<QByteArray> seen;
        for (int i = 0; i < kThreads * kEach; ++i) {
            const auto out = frame.NextFrame(5000);
            QVERIFY(out);
            QCOMPARE(out->body.size(), 9);
            seen.insert(out->body);
        }
        for (std::thread &s : senders)
            s.join();
        QCOMPARE(failures.load(), 0);
        QCOMPARE(seen.size(), kThreads * kEach);
    }

    void lineGoesAway()
    {
        CPtyFrame frame;
        QVERIFY(frame.IsValid());
        CComPortUart port(frame.SlaveName(), nullptr);
        Watch(&port);
        frame.Write(Framed(0x2FE9, Hex("FC 01 80 00")));
        QTRY_COMPARE(m_events, QList<bool>{true});

        frame.HangUp();
        QTRY_COMPARE(m_events, (QList<bool>{true, false}));
        QVERIFY(!port.IsConnected());
        QCOMPARE(Send(port, Command(0xFC, 0xA3, 1)), ERROR_CODE_LOST_DEVICE);
        int32_t result = 0;
        Receive(port, 10, &result);
        QCOMPARE(result, ERROR_CODE_LOST_DEVICE);
        // The poll thread rests while the line is closed.
        const clock_t before = clock();
        QTest::qWait(300);
        QVERIFY2(double(clock() - before) / CLOCKS_PER_SEC < 0.15, "the port spins while the line is closed");
    }

    // Closing the port ends the poll thread at once; it is never terminated.
    void closesWithinASlice()
    {
        CPtyFrame frame;
        QVERIFY(frame.IsValid());
        auto *port = new CComPortUart(frame.SlaveName(), nullptr);
        QTest::qWait(30);
        QElapsedTimer timer;
        timer.start();
        delete port; // a thread still running would be terminated: see cleanup()
        QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));

        // Reopening hands the line over again.
        CComPortUart again(frame.SlaveName(), nullptr);
        QCOMPARE(again.Open(), 0);
        QVERIFY(Send(again, Command(0xFC, 0xA3, 1)) > 0);
        QVERIFY(frame.NextFrame(2000));
    }
};

STATION_TEST_MAIN_CORE(TestComPortUart)
#include "tst_comportuart.moc"
