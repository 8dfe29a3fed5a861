#pragma once

// A HardwareInterface talking to an emulated frame through a port with virtual
// time: every wait of the protocol returns at once, so the protocol's real
// time-outs (10 s for a reply, 80 s for a calibration step) can be used and
// checked as they are.

#include "emulatedcomport.h"
#include "emulatedframe.h"
#include "hardwareinterface.h"
#include "stationclock.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>

using HwOp = std::function<int32_t(HardwareInterface &)>;
Q_DECLARE_METATYPE(HwOp)

// Exposes the protected helpers for the tests.
class CProbedHardware : public HardwareInterface
{
public:
    using HardwareInterface::HardwareInterface;
    using HardwareInterface::FamilyCode;
    using HardwareInterface::FlushStaleReplies;
    void SetDriverRunningFlag(bool b) { m_bDriverRunning = b; }
};

struct CCommandRig
{
    CEmulatedFrame frame;
    CEmulatedComPort port{&frame};
    CProbedHardware hw{nullptr, &port, QStringLiteral("emulated")};
    QList<int> sleeps;

    CCommandRig()
    {
        CStationClock::SetTimeoutScale(1.0);
        CStationClock::SetSleepHook([this](int ms) { sleeps.append(ms); });
    }
    ~CCommandRig() { CStationClock::SetSleepHook(nullptr); }

    static QByteArray Report(const char *pszHex) { return CEmulatedFrame::Pad64(QByteArray::fromHex(pszHex)); }
    static QString Hex(const QByteArray &bytes, int n = 64) { return QString::fromLatin1(bytes.left(n).toHex(' ')); }

    // The requests the frame received, as hex, optionally only their first n bytes.
    QStringList RequestHex(int n = 64) const
    {
        QStringList out;
        const QList<QByteArray> requests = frame.Requests();
        for (const QByteArray &r : requests)
            out << Hex(r, n);
        return out;
    }
    int CountRequests(quint8 cmd, quint8 sub, quint8 id = 0xFC) const { return frame.RequestsFor(cmd, sub, id).size(); }
};

inline QString CodeHex(int32_t n)
{
    return QStringLiteral("0x%1").arg(uint32_t(n), 8, 16, QLatin1Char('0'));
}
