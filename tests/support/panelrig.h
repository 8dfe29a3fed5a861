#pragma once

// A HardwareInterface before an emulated frame with a panel, through a port
// with virtual time: every wait of the protocol returns at once, so the real
// time-outs can stay as they are, and every fixed pause is recorded instead
// of slept.

#include "emulatedcomport.h"
#include "emulatedframe.h"
#include "emulatedpanel.h"
#include "hardwareinterface.h"
#include "stationclock.h"

#include <QByteArray>
#include <QTest>
#include <QList>
#include <QStringList>

// Exposes what the tests look at.
class CPanelProbe : public HardwareInterface
{
public:
    using HardwareInterface::HardwareInterface;
    using HardwareInterface::ShiftFrame;
    using HardwareInterface::SignalSelector;
    SignalMap &AdcMap() { return m_mapAdcSignal; }
    SignalMap &AgcMap() { return m_mapAgcSignal; }
    SignalMap &UntMap() { return m_mapUntSignal; }
    SignalMap &ReverseMap() { return m_mapReverseSignal; }
    void SetRecording(bool b) { m_bRecording = b; }
    void SetFrameNumber(uint32_t n) { m_nFrameNumber = n; }
    void SetReverseFlag(bool b) { m_bReverseMode = b; }
    void SetTestTimes(int n) { TEST_TIMES_FOR_UNT = n; }
};

struct CPanelRig
{
    CEmulatedFrame frame;
    CEmulatedComPort port{&frame};
    CEmulatedPanel panel{&frame};
    CPanelProbe hw{nullptr, &port, QStringLiteral("emulated")};
    QList<int> sleeps;

    explicit CPanelRig(quint16 nVersion = 0x7201)
    {
        CStationClock::SetTimeoutScale(1.0);
        CStationClock::SetSleepHook([this](int ms) { sleeps.append(ms); });
        frame.Edit([nVersion](CEmulatedFrame::State &s) { s.id.nVersion = nVersion; });
        panel.Install();
    }
    // A test fails when the frame saw a protocol violation (a request with a
    // wrong byte, an unknown command), unless it says it provokes one.
    ~CPanelRig()
    {
        CStationClock::SetSleepHook(nullptr);
        const QStringList violations = frame.Violations();
        if (!bViolationsExpected && !violations.isEmpty() && !QTest::currentTestFailed())
            QTest::qFail(qPrintable(QStringLiteral("the frame saw protocol violations: ") + violations.join(QStringLiteral("; "))),
                         __FILE__, __LINE__);
    }
    bool bViolationsExpected = false;

    int Count(quint8 cmd, quint8 sub) const { return frame.RequestsFor(cmd, sub).size(); }
    // The requests for cmd/sub as hex of their first n bytes.
    QStringList Hex(quint8 cmd, quint8 sub, int n) const
    {
        QStringList out;
        const QList<QByteArray> requests = frame.RequestsFor(cmd, sub);
        for (const QByteArray &r : requests)
            out << QString::fromLatin1(r.left(n).toHex(' '));
        return out;
    }
};

inline QString CodeHex(int32_t n)
{
    return QStringLiteral("0x%1").arg(uint32_t(n), 8, 16, QLatin1Char('0'));
}
