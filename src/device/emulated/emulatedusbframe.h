#pragma once

#include "emulatedactionqueue.h"
#include "emulatedframe.h"

#include <QByteArray>
#include <atomic>
#include <memory>
#include <mutex>

class CFakeHidBackend;
class CFakeHidNode;
struct HidNodeInfo;

// Puts an emulated frame on the fake OS backend as a hidraw node carrying the
// frame's report descriptor, so that the real device layer (enumeration,
// CTouchDeviceForOS, its readers and queues) and CComPortUsb carry its
// reports.
//
// Every report the station writes reaches CEmulatedFrame::OnOutput on the
// node's thread; replies without a delay are sent back at once from there,
// everything else (late replies, leaving the bus, coming back in the other
// mode) runs on the adapter's own scheduler thread, with the delays scaled by
// CStationClock::Timeout like the station's own waits.
class CEmulatedUsbFrame
{
public:
    CEmulatedUsbFrame(CEmulatedFrame *pFrame, std::shared_ptr<CFakeHidBackend> backend);
    ~CEmulatedUsbFrame();
    CEmulatedUsbFrame(const CEmulatedUsbFrame &) = delete;
    CEmulatedUsbFrame &operator=(const CEmulatedUsbFrame &) = delete;

    CEmulatedFrame *Frame() const { return m_pFrame; }

    // The frame arrives on the bus in its current mode (hot-plug event).
    void Plug();
    // The frame leaves the bus now (hot-plug event).
    void Unplug();
    bool IsPlugged() const;
    // Number of times the frame has arrived (Plug and re-enumerations).
    int Arrivals() const { return m_nArrivals.load(); }
    std::shared_ptr<CFakeHidNode> Node() const;

    // Sends the frame's unsolicited reports (CEmulatedFrame::Inject) now.
    void DeliverInjected();
    // Waits (real time, at most nTimeoutMs) until no delayed action is pending.
    bool WaitIdle(int nTimeoutMs);

private:
    struct Link;

    void OnOutput(CFakeHidNode &node, const QByteArray &report);
    void Execute(const CEmulatedActionQueue::Task &task);
    void Attach(CEmulatedFrame::Mode mode);
    void Detach();

    CEmulatedFrame *m_pFrame;
    std::shared_ptr<CFakeHidBackend> m_backend;
    std::shared_ptr<Link> m_link;

    mutable std::mutex m_nodeMutex;
    std::shared_ptr<CFakeHidNode> m_node;
    std::atomic<int> m_nGeneration{0};
    std::atomic<int> m_nArrivals{0};

    // Last: its thread runs Execute(), which uses everything above.
    CEmulatedActionQueue m_queue;
};
