// The MCU-id comparison over the serial port: the request goes out as a
// 1F F7 frame through a real pseudo-terminal, the frame answers on the master
// side, and the id is compared with the one the device object holds.

#include "comportuart.h"
#include "deviceerror.h"
#include "hardwareinterface.h"
#include "serialframe.h"
#include "testenvironment.h"

#include <QElapsedTimer>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <thread>

namespace {
QByteArray Framed(uint32_t head, const QByteArray &src)
{
    QByteArray frame(300, '\0');
    const int n = PacketBuild(reinterpret_cast<uint8_t *>(frame.data()), frame.size(),
                              reinterpret_cast<const uint8_t *>(src.constData()), src.size(), head);
    return frame.left(n);
}

// The frame's end of a pseudo-terminal.
class CPtyLine
{
public:
    CPtyLine()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0)
            if (const char *name = ::ptsname(m_master))
                m_slave = QString::fromLocal8Bit(name);
    }
    ~CPtyLine()
    {
        if (m_master >= 0)
            ::close(m_master);
    }
    bool IsValid() const { return m_master >= 0 && !m_slave.isEmpty(); }
    QString SlaveName() const { return m_slave; }
    void Write(const QByteArray &bytes) { (void)!::write(m_master, bytes.constData(), size_t(bytes.size())); }

    // The next 1F F7 frame the station wrote (keep-alives, which are 2F E9, skipped).
    QByteArray Next1FF7(int nTimeoutMs)
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
                const QByteArray wire = m_current;
                m_current.clear();
                if (m_parser.head == PACKET_HEAD_1FF7)
                    return wire;
            }
            const qint64 left = nTimeoutMs - timer.elapsed();
            if (left <= 0)
                return QByteArray();
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
} // namespace

class TestSerialMcuId : public QObject
{
    Q_OBJECT

private slots:
    void compareOverTheSerialLine()
    {
        CPtyLine line;
        if (!line.IsValid())
            QSKIP("no pseudo-terminal");
        CComPortUart port(line.SlaveName(), nullptr);
        // The frame announces itself (a report starting FC sets the link up).
        QByteArray link(64, '\0');
        link[0] = char(0xFC);
        link[1] = char(0x08);
        line.Write(Framed(0x1FF7, link));
        QTRY_COMPARE(port.GetDeviceMode(), 1u);

        HardwareInterface hw(nullptr, &port, QStringLiteral("serial"));
        hw.SetProperty(QStringLiteral("McuID"), QStringLiteral("0A0B0C0D"));
        QByteArray request;
        std::thread frame([&] {
            request = line.Next1FF7(3000);
            QByteArray reply(64, '\0');
            reply[0] = char(0xFC);
            reply[1] = char(0xA9);
            reply[2] = char(0x80);
            reply[3] = char(4);
            reply[5] = 0x0A;
            reply[6] = 0x0B;
            reply[7] = 0x0C;
            reply[8] = 0x0D;
            line.Write(Framed(0x1FF7, reply));
        });
        QCOMPARE(hw.CompareMcuIDUpgrade(&port), 0);
        frame.join();
        const QByteArray body = QByteArray::fromHex("1ff7fca9000000");
        QByteArray expected = body;
        expected.append(char(CalcByteSum(reinterpret_cast<const uint8_t *>(body.constData()), uint32_t(body.size()))));
        QCOMPARE(request.toHex(' '), expected.toHex(' '));

        // A silent frame: the read ends with the port's time-out code.
        CTestEnvironment::FastClock();
        QCOMPARE(hw.CompareMcuIDUpgrade(&port), ERROR_CODE_TIMEOUT);
        CTestEnvironment::RealClock();
    }
};

STATION_TEST_MAIN_CORE(TestSerialMcuId)
#include "tst_serialmcuid.moc"
