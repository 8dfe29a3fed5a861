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
    // Reports the station has written that the frame has not taken in yet:
    // a write returns once its report is on the way, and the frame takes it
    // (its handler has run) a moment later on the node's thread. A request
    // the station sends without waiting for its reply is seen by the frame
    // once this is 0.
    int UntakenOutputs() const;
    // Delivers one input report (byte 0 = report id, 1..4096 bytes) to every
    // open descriptor; a descriptor whose queue is full drops it, as hidraw
    // does. Returns how many descriptors got it.
    int SendInput(const QByteArray &report);

    // Number of station descriptors currently open on this node.
    int OpenCount() const;
    // Station writes fail with -nErrno (e.g. ETIMEDOUT) until set back to 0.
    void SetWriteError(int nErrno);
    int WriteError() const { return m_nWriteError.load(); }
    // Station reads fail with -nErrno (e.g. EPROTO, or EIO as on a removal)
    // until set back to 0: each read consumes the report that made the
    // descriptor readable, which is lost.
    void SetReadError(int nErrno);
    int ReadError() const { return m_nReadError.load(); }
    // Station reads failed so far by the read-error mode.
    int FailedReads() const { return m_nFailedReads.load(); }
    void CountFailedRead() { ++m_nFailedReads; }
    // While set, a station write stays in the "kernel" (blocks in
    // WriteReport) until it is cleared or the node is unplugged, as a hidraw
    // write does on a stalled endpoint until the USB time-out. Reads likewise
    // with SetReadsBlock.
    void SetWritesBlock(bool bBlock);
    void SetReadsBlock(bool bBlock);
    // Station calls blocked in the node now.
    int BlockedWrites() const;
    int BlockedReads() const;

    // --- used by CFakeHidBackend ---
    int Open();                 // station end, or -errno
    void CloseStationEnd(int fd);
    void Unplug();              // closes every far end, stops accepting opens
    // Called by the backend around a station write or read: block while the
    // node says so; false when the node was unplugged meanwhile.
    bool PassWrite();
    bool PassRead();
    // Called by the backend around a station write: before the report goes
    // out, and again (bSent false) when it could not be sent.
    void CountWrite(bool bSent);

private:
    // Blocks (under m_mutex) while bBlock is set and the node present.
    bool Pass(const bool &bBlock, int &nBlocked);
    void Run();
    void Wake();

    HidNodeInfo m_info;
    std::atomic<bool> m_bPresent{true};
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nWriteError{0};
    std::atomic<int> m_nReadError{0};
    std::atomic<int> m_nFailedReads{0};
    std::atomic<int> m_nWritesStarted{0}; // counted before the report goes out
    std::atomic<int> m_nWritesTaken{0};   // counted once the frame has taken it
    bool m_bWritesBlock = false;  // under m_mutex
    bool m_bReadsBlock = false;
    int m_nBlockedWrites = 0;
    int m_nBlockedReads = 0;
    QWaitCondition m_passCond;
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
