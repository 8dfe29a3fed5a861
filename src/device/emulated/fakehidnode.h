#pragma once

#include "hidbackend.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QWaitCondition>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// One hidraw node of the fake backend, seen from the frame's side.
//
// Every time the station opens the node it gets one end of a
// socketpair(AF_UNIX, SOCK_SEQPACKET): one read is one report, as with
// hidraw. The node keeps the far ends: a report the frame sends with
// SendInput() reaches every open descriptor (each hidraw reader gets its own
// copy), and every report the station writes on any descriptor of the node
// reaches the frame, either through the output handler (called on the node's
// own thread) or through WaitOutput() when no handler is set.
// Unplugging (CFakeHidBackend::RemoveNode) closes the far ends: the station's
// reads see a hang-up and its writes fail with ENODEV, as on a real removal.
class CFakeHidNode
{
public:
    using OutputHandler = std::function<void(CFakeHidNode &node, const QByteArray &report)>;

    explicit CFakeHidNode(const HidNodeInfo &info);
    ~CFakeHidNode();

    CFakeHidNode(const CFakeHidNode &) = delete;
    CFakeHidNode &operator=(const CFakeHidNode &) = delete;

    HidNodeInfo Info() const { return m_info; }
    QString DevNode() const { return m_info.strDevNode; }
    bool IsPresent() const { return m_bPresent.load(); }

    // Frame side. The handler runs on the node's thread for every report the
    // station writes; it may call SendInput() to answer.
    void SetOutputHandler(OutputHandler handler);
    // Without a handler: the next report the station wrote (false on time-out).
    bool WaitOutput(QByteArray *pReport, int nTimeoutMs);
    // The reports the station has written (handler or not), the last 4096.
    QList<QByteArray> Outputs() const;
    void ClearOutputs();
    // Delivers one input report (byte 0 = report id, 1..4096 bytes) to every
    // open descriptor; a descriptor whose queue is full drops it, as hidraw
    // does. Returns how many descriptors got it.
    int SendInput(const QByteArray &report);

    // Number of station descriptors currently open on this node.
    int OpenCount() const;
    // Station writes fail with -nErrno (e.g. ETIMEDOUT) until set back to 0.
    void SetWriteError(int nErrno);
    int WriteError() const { return m_nWriteError.load(); }

    // --- used by CFakeHidBackend ---
    int Open();                 // station end, or -errno
    void CloseStationEnd(int fd);
    void Unplug();              // closes every far end, stops accepting opens

private:
    void Run();
    void Wake();

    HidNodeInfo m_info;
    std::atomic<bool> m_bPresent{true};
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nWriteError{0};
    int m_nWakeFd = -1;

    mutable QMutex m_mutex;     // guards the lists below and the handler
    QWaitCondition m_outputCond;
    struct End { int nStationFd; int nFarFd; };
    QList<End> m_ends;
    QList<int> m_closedFarFds;  // closed by the node thread once it has dropped them
    OutputHandler m_handler;
    QList<QByteArray> m_pending; // written by the station, not yet taken by WaitOutput
    QList<QByteArray> m_outputs; // every report written
    std::thread m_thread;
};
