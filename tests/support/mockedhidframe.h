#pragma once

#include "emulatedactionqueue.h"
#include "emulatedframe.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <memory>
#include <mutex>

class CMockedKernel;

// An emulated frame plugged into the mocked kernel: a USB device in the
// kernel's own sysfs layout (USB device, interface, HID device with its
// report descriptor, hidraw node) and a /dev/hidrawN node whose reads and
// writes a hidraw model answers, so that the station's real udev/hidraw
// backend finds, opens, reads and writes it unchanged.
//
// The hidraw model: each open of the node is its own reader (the device
// layer opens one node twice, for commands and raw data) with its own queue
// of input reports; one read returns one report; a report the frame sends
// reaches every open; every report the station writes goes to the emulated
// frame (CEmulatedFrame::OnOutput), whose replies come back at once or after
// their delay, and whose departures (unplug, re-enumeration in the other
// mode) are carried out here.
//
// poll() is not emulated (the node is a regular file, always readable), so a
// read that finds nothing is held up to HOLD_MS before it answers EAGAIN:
// idle readers do not spin, and a report arriving meanwhile is delivered at
// once. The hold stays short because the preload serialises the calls on one
// descriptor: a write on the command descriptor waits behind its reader's
// held read.
//
// After an unplug a read still takes what was queued before (as hidraw does),
// then every read fails with EIO; every write fails with ENODEV.
class CMockedHidFrame
{
public:
    struct Node; // the hidraw model of one arrival

    static constexpr int HOLD_MS = 5;
    // Reports kept per open before new ones are dropped (as hidraw does).
    static constexpr int QUEUE_LIMIT = 64;

    CMockedHidFrame(CMockedKernel *pKernel, CEmulatedFrame *pFrame);
    ~CMockedHidFrame();
    CMockedHidFrame(const CMockedHidFrame &) = delete;
    CMockedHidFrame &operator=(const CMockedHidFrame &) = delete;

    CEmulatedFrame *Frame() const { return m_pFrame; }

    // The report descriptor of the arrivals in application mode (a null
    // array: the station's frames' own, commands on 0xFC, raw data on 0xFB
    // with multi-touch records 0x02) and in bootloader mode (commands in
    // 0xFD, out 0xFE).
    void SetDescriptor(CEmulatedFrame::Mode mode, const QByteArray &descriptor);
    static QByteArray DefaultDescriptor(CEmulatedFrame::Mode mode);
    // Opens of the node are refused by its file mode (000): EACCES unless
    // the opener may override file modes (see CFileModesEnforced).
    void SetOpensRefused(bool bRefused);
    // Writes fail with nErrno (EPIPE for a stalled endpoint, say) until set
    // back to 0; the frame never sees them.
    void SetWriteError(int nErrno) { m_nWriteError = nErrno; }

    // The frame arrives in its current mode: the tree is added (the "add"
    // event follows) with the hidraw model in place.
    void Plug();
    // The frame leaves: the model fails (reads EIO, writes ENODEV), the
    // "remove" event of the hidraw node goes out, then the tree is removed.
    void Unplug();
    // Only the first step of an unplug: the node fails while it is still
    // listed and no event has gone out.
    void Vanish();
    bool IsPlugged() const;
    // Arrivals so far (plugs and re-enumerations).
    int Arrivals() const { return m_nArrivals.load(); }

    // The current arrival (empty when unplugged).
    QString DevNode() const;
    QString HidrawSysPath() const;
    int UsbBusNum() const { return 1; }
    int UsbDevNum() const;
    // The station's descriptors open on the current node, and its opens so
    // far; a descriptor counts from its first read or write (the model cannot
    // tell a refused open from one not used yet).
    int OpenCount() const;
    int OpensSoFar() const;
    // Reports the station wrote to the current node.
    int WriteCount() const;
    // Reports the frame sent that an open descriptor has not taken yet (0:
    // the station has taken everything, e.g. the reply to its last command).
    // A report read counts as taken once that descriptor reads again.
    int UnreadReports() const;

    // Sends an input report (raw data, a touch record) from the frame to
    // every open of the node; 64 bytes, id first.
    void SendInput(const QByteArray &report);
    // Sends the frame's unsolicited reports (CEmulatedFrame::Inject).
    void DeliverInjected();
    // A "change" event for the node: a pass of the station that changes nothing.
    void Announce(const char *szAction = "change");
    // Waits (at most nTimeoutMs) until no delayed action is pending.
    bool WaitIdle(int nTimeoutMs);

private:
    void Attach(CEmulatedFrame::Mode mode);
    void Detach();
    void OnOutput(Node &node, const QByteArray &report);
    void Execute(const CEmulatedActionQueue::Task &task);
    std::shared_ptr<Node> CurrentNode() const;

    CMockedKernel *m_pKernel;
    CEmulatedFrame *m_pFrame;
    const int m_nPort;
    QByteArray m_appDescriptor;
    QByteArray m_bootDescriptor;
    std::atomic<bool> m_bOpensRefused{false};
    std::atomic<int> m_nWriteError{0};

    mutable std::mutex m_nodeMutex;
    std::shared_ptr<Node> m_node;               // the current arrival
    QList<std::shared_ptr<Node>> m_allNodes;    // every arrival, detached at the end
    std::mutex m_plugMutex;                     // one plug or unplug at a time
    std::atomic<int> m_nGeneration{0};
    std::atomic<int> m_nArrivals{0};

    // Last: its thread runs Execute(), which uses everything above.
    CEmulatedActionQueue m_queue;
};
