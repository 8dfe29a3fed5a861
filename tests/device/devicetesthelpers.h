#pragma once

// Small helpers shared by the device tests (header only).

#include "fakehidbackend.h"
#include "touchsdk.h"
#include "touchmanage.h"
#include "touchmanageforos.h"
#include "usbhotplug.h"
#include "waitfor.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QTest>
#include <QVariant>
#include <initializer_list>
#include <memory>
#include <type_traits>

namespace devicetest {

using StationTest::WaitFor;

inline CTouchManageForOS *Manager()
{
    return static_cast<CTouchManageForOS *>(CTouchManage::PeekInstance());
}

// Enumeration passes completed by the current manager.
inline int PassCount()
{
    CTouchManageForOS *pManage = Manager();
    return pManage ? pManage->Hotplug()->PassCount() : 0;
}

// Enumeration passes begun by the current manager.
inline int PassesBegun()
{
    CTouchManageForOS *pManage = Manager();
    return pManage ? pManage->Hotplug()->PassesBegun() : 0;
}

// Runs the event loop until a pass that began after PassesBegun() returned
// nBegunBefore has ended (passes run one at a time, in order): a pass that
// was already running then, and may not see what the test changed since, is
// not taken for it.
inline bool WaitNextPass(int nBegunBefore, int nTimeoutMs = 5000)
{
    return WaitFor([nBegunBefore]() { return PassCount() > nBegunBefore; }, nTimeoutMs);
}

// A 64-byte report: id, then the given bytes, zero-padded.
inline QByteArray Report(uint8_t nId, std::initializer_list<uint8_t> bytes = {})
{
    QByteArray report(64, '\0');
    report[0] = char(nId);
    int i = 1;
    for (uint8_t b : bytes)
        report[i++] = char(b);
    return report;
}

// Answers every command report with the same report, id kept (an echo frame).
inline void EchoFrame(const std::shared_ptr<CFakeHidNode> &node, uint8_t nReplyId)
{
    node->SetOutputHandler([nReplyId](CFakeHidNode &n, const QByteArray &request) {
        QByteArray reply = request;
        reply[0] = char(nReplyId);
        n.SendInput(reply);
    });
}

// Records the emissions of one signal, as QSignalSpy does (count, at(i) with
// the arguments as variants, clear), but safely for a signal emitted on
// another thread: the hot-plug thread announces arrivals and removals, the
// readers hand over touch data. QSignalSpy appends to itself on the emitting
// thread without a lock, so a test reading it meanwhile can see a call
// counted before its arguments are stored.
class CSignalRecord
{
public:
    template <typename Sender, typename Owner, typename... Args>
    CSignalRecord(const Sender *pSender, void (Owner::*signal)(Args...))
        : m_state(std::make_shared<State>())
    {
        // The state outlives this record for an emission under way while it goes.
        const std::shared_ptr<State> state = m_state;
        m_connection = QObject::connect(pSender, signal, [state](Args... args) {
            const QList<QVariant> call{QVariant::fromValue(std::decay_t<Args>(args))...};
            QMutexLocker locker(&state->mutex);
            state->calls.append(call);
        });
    }
    ~CSignalRecord() { QObject::disconnect(m_connection); }
    CSignalRecord(const CSignalRecord &) = delete;
    CSignalRecord &operator=(const CSignalRecord &) = delete;

    int count() const
    {
        QMutexLocker locker(&m_state->mutex);
        return m_state->calls.size();
    }
    // The arguments of emission i (a copy).
    QList<QVariant> at(int i) const
    {
        QMutexLocker locker(&m_state->mutex);
        return m_state->calls.at(i);
    }
    QList<QList<QVariant>> all() const
    {
        QMutexLocker locker(&m_state->mutex);
        return m_state->calls;
    }
    void clear()
    {
        QMutexLocker locker(&m_state->mutex);
        m_state->calls.clear();
    }

private:
    struct State
    {
        QMutex mutex;
        QList<QList<QVariant>> calls;
    };
    std::shared_ptr<State> m_state;
    QMetaObject::Connection m_connection;
};

// Registers with the device layer like the USB port does and records what
// the layer reports: arrivals and removals (hot-plug thread) and raw reports
// (raw reader threads).
class CLayerProbe
{
public:
    struct Event
    {
        TouchDeviceInfo info;
        bool bPlug;
    };

    CLayerProbe()
        : m_pSdk(new TouchSDK())
    {
        TouchDeviceInfo table[16];
        const int n = m_pSdk->RegisterAppInterface(table, 16, &CLayerProbe::OnRaw, &CLayerProbe::OnHotplug, this);
        QMutexLocker locker(&m_mutex);
        for (int i = 0; i < n; ++i)
            m_listed.append(table[i]);
    }
    ~CLayerProbe() { delete m_pSdk; }

    TouchSDK *Sdk() { return m_pSdk; }
    QList<Event> Events()
    {
        QMutexLocker locker(&m_mutex);
        return m_events;
    }
    QList<TouchData> RawReports()
    {
        QMutexLocker locker(&m_mutex);
        return m_raw;
    }
    QList<TouchDeviceInfo> Listed()
    {
        QMutexLocker locker(&m_mutex);
        return m_listed;
    }
    int Arrivals()
    {
        int n = 0;
        for (const Event &e : Events())
            n += e.bPlug ? 1 : 0;
        return n;
    }
    int Removals() { return Events().size() - Arrivals(); }
    // The record of the last arrival (a handle for TouchSDK calls).
    TouchDeviceInfo LastArrival()
    {
        const QList<Event> events = Events();
        for (int i = events.size() - 1; i >= 0; --i) {
            if (events[i].bPlug)
                return events[i].info;
        }
        TouchDeviceInfo none{};
        return none;
    }

private:
    static void OnRaw(const TouchDeviceInfo *, TouchData data, void *context)
    {
        auto *pThis = static_cast<CLayerProbe *>(context);
        QMutexLocker locker(&pThis->m_mutex);
        pThis->m_raw.append(data);
    }
    static void OnHotplug(const TouchDeviceInfo *info, bool bPlug, void *context)
    {
        auto *pThis = static_cast<CLayerProbe *>(context);
        QMutexLocker locker(&pThis->m_mutex);
        pThis->m_events.append({*info, bPlug});
    }

    TouchSDK *m_pSdk;
    QMutex m_mutex;
    QList<Event> m_events;
    QList<TouchData> m_raw;
    QList<TouchDeviceInfo> m_listed;
};

} // namespace devicetest

// QTRY_VERIFY / QTRY_COMPARE with a step well under a millisecond instead of 50 ms.
#define DEV_TRY_VERIFY(expr) QVERIFY2(devicetest::WaitFor([&]() { return bool(expr); }), #expr)
#define DEV_TRY_COMPARE(actual, expected)                                               \
    do {                                                                                \
        devicetest::WaitFor([&]() { return (actual) == (expected); });                  \
        QCOMPARE(actual, expected);                                                     \
    } while (false)
