#pragma once

#include "hidbackend.h"
#include "touchcollection.h"
#include "touchdevice.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QWaitCondition>
#include <atomic>
#include <bitset>
#include <memory>

class CTouchManage;

// The Linux half of a device object: the frame's collections on its hidraw
// node(s), a command descriptor and a raw descriptor (each node opened once
// per role, so that each reader gets its own copy of every report, as the
// kernel gives every open file its own), two readers that block in poll() on
// their descriptor and on a wake-up descriptor, a writer, and the direct
// reads of the firmware download.
//
// Writes go through the writer thread: hidraw always reports a node
// writable, and write() then blocks in the kernel until the USB transfer
// ends (about 5 s on a stalled endpoint) whatever O_NONBLOCK says. The caller
// waits for its report with a time-out, and reception switched off or the
// interface released ends the wait at once; a report still in the kernel
// then stays there, and the next write waits for it.
//
// Only the frame's departure marks the device lost: EIO or ENODEV on a read,
// POLLHUP or POLLERR on a descriptor, ENODEV or ESHUTDOWN on a write. Any
// other read error is logged and the reader goes on; any other write error
// fails that write with a time-out and the frame stays usable.
class CTouchDeviceForOS : public CTouchDevice
{
public:
    // The device keeps the backend alive: it closes its descriptors through it
    // when it goes, which may be after the manager has let the backend go.
    CTouchDeviceForOS(std::shared_ptr<CHidBackend> backend, CTouchManage *pManage);
    ~CTouchDeviceForOS() override;

    // The collections of a node that this layer can use; empty when the
    // node's vendor/product pair is not supported or nothing matches.
    static QList<TouchCollection> CheckIdentifiableDevice(const HidNodeInfo &node);

    // Opens one collection of the frame for its role; returns 0.
    int32_t AppendDevicePath(const HidNodeInfo &node, const TouchCollection &collection);
    // Fills the identity record from the node's sysfs identity; -1 without a
    // command collection.
    int32_t InitDeviceInfo(const HidNodeInfo &node);

    int32_t SendUpgradeData(const uint8_t *buf, int len, int timeout) override;
    int32_t RecvUpgradeData(uint8_t *buf, int len, int timeout) override;
    int32_t SendData(const uint8_t *buf, int len, int timeout) override;
    int32_t ProcessCmdDataTransfer() override;
    int32_t ProcessRawDataTransfer() override;
    int32_t ChangeUpgradeStatus(bool bIsUpgrade) override;

    // Size of every report read and written.
    static constexpr int REPORT_SIZE = 64;
    // A write is given at least this long in the kernel: a healthy frame
    // takes a report within a millisecond or two, so a shorter wait would
    // only tell whether the writer thread was scheduled in time.
    static constexpr int MIN_WRITE_WAIT_MS = 20;
    // How long a report waits for the writer to take it up before it is
    // withdrawn (the writer is idle then; only a starved machine gets here).
    static constexpr int WRITER_PICKUP_GRACE_MS = 1000;

    // Body of the writer thread; the argument is the device.
    static void ProcessWriteThread(void *pDevice);

    // Times the two readers woke from their wait so far (diagnostics and
    // tests): an idle frame's readers sleep until something happens.
    int ReaderWakeups() const { return m_nReaderWakeups.load(); }

protected:
    void WakeWaiters() override;

private:
    int32_t WriteReport(const uint8_t *buf, int len, int timeout, const char *szCaller);
    void ProcessWrites();
    void MarkLost();
    // A read error of a reader: true when it says the frame is gone; any
    // other is logged (the first of a series) and *pnErrors counts it.
    bool ReadFailed(const char *szReader, ssize_t nError, int *pnErrors);
    // After a second read error in a row the reader pauses a slice (or until
    // woken) before it reads again, so a descriptor that keeps failing does
    // not spin it.
    void PauseAfterReadError(int nWakeFd);
    // Blocks until the descriptor or the wake-up descriptor is ready; with
    // no wake-up descriptor, at most one slice.
    static int PollFor(struct pollfd *pFds, int nWakeFd, int nTimeoutMs);
    static void Signal(int nEventFd);
    static void Drain(int nEventFd);
    // What poll() said of the node: it has gone (or was never valid), and
    // a report is there to read (also from a node that has gone).
    static bool IsHangUp(short nRevents);
    static bool HasPending(short nRevents);
    static bool IsLostOnRead(ssize_t nError);
    static bool IsLostOnWrite(ssize_t nError);
    static void CopyString(char *szField, const QByteArray &baValue);

    std::shared_ptr<CHidBackend> m_pBackend;
    CTouchManage *m_pManage;
    std::atomic<int> m_nCmdFd{-1};
    std::atomic<int> m_nRawFd{-1};
    // Wake-ups: the command reader's (signalled for a download or a stop),
    // the raw reader's (download mode changes and stop) and the direct read's
    // (every change of state or reception).
    int m_nCmdWakeFd = -1;
    int m_nRawWakeFd = -1;
    int m_nDirectWakeFd = -1;
    std::atomic<int> m_nReaderWakeups{0};
    // The command reader is in its loop: a hang-up is its to report, after
    // it has taken in what the node still holds (the raw reader sees the
    // same hang-up and would report the loss before the answer is queued).
    std::atomic<bool> m_bCmdReading{false};

    // The writer: one report at a time, handed over under m_writeMutex.
    CWorkThread *m_pWriteThread = nullptr;
    QMutex m_sendMutex;            // one caller of WriteReport at a time
    QMutex m_writeMutex;           // the fields below
    QWaitCondition m_writeCond;    // a report to write, a write done, a state change
    uint8_t m_writeReport[REPORT_SIZE] = {};
    bool m_bWriteQueued = false;   // m_writeReport waits for the writer
    bool m_bInKernel = false;      // the writer is in the backend's write
    qint64 m_nInKernelSince = 0;
    quint64 m_nWritePosted = 0;    // number of the last report handed over
    quint64 m_nWriteDone = 0;      // number of the last report written (or failed)
    quint64 m_nWriteAbandoned = 0; // number of a report its caller gave up as stuck
    ssize_t m_nWriteResult = 0;
    QString m_strCmdNode;
    int m_nCmdKind = ColUnknown;
    QString m_strRawNode;
    std::bitset<256> m_cmdIds;  // input ids of the command collection
    std::bitset<256> m_rawIds;  // input ids of the raw collection
    // Warnings that would otherwise repeat on every enumeration pass.
    bool m_bCmdOpenWarned = false;
    bool m_bRawOpenWarned = false;
    bool m_bAttributesWarned = false;
    bool m_bSecondCmdWarned = false;
};
