#pragma once

#include "fakehidnode.h"
#include "hidbackend.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <atomic>
#include <memory>

// The fake operating system under the touch-device layer: a list of hidraw
// nodes with their sysfs identity and report descriptors, a hot-plug monitor
// whose events the test injects, and a socket pair per opened node.
//
// Install() before the USB port (or anything else that creates the device
// manager) is constructed; the manager then enumerates these nodes and the
// real CTouchManageForOS / CTouchDeviceForOS / readers / queues / CComPortUsb
// run over them. Plugging and unplugging inject a hot-plug event, as udev does.
class CFakeHidBackend : public CHidBackend
{
public:
    enum FrameMode { AppMode = 1, BootMode = 0 };

    CFakeHidBackend();
    ~CFakeHidBackend() override;

    // Creates a fake backend and makes it the one the next device manager uses.
    static std::shared_ptr<CFakeHidBackend> Install();
    // Back to the real udev/hidraw backend for later managers.
    static void Uninstall();

    // --- building nodes ---
    // The report descriptor of a frame running its application firmware: a
    // vendor collection with input and output report 0xFC (command), and a
    // vendor collection with input and output report 0xFB plus input report
    // 0x02 (raw data and multi-touch records). 64-byte reports (id included).
    static QByteArray AppDescriptor();
    // Bootloader: one vendor collection, input report 0xFD, output 0xFE.
    static QByteArray BootDescriptor();
    // A typical node description of a frame; nDevNum 0 picks a fresh number.
    HidNodeInfo FrameInfo(uint16_t nVid, uint16_t nPid, uint16_t nVersion, FrameMode mode,
                          const QByteArray &baProduct = "Touch Frame", int nDevNum = 0);

    // --- plugging ---
    // Adds a node (sysfs identity as given; strDevNode chosen when empty) and,
    // with bAnnounce, injects a hot-plug event.
    std::shared_ptr<CFakeHidNode> AddNode(HidNodeInfo info, bool bAnnounce = true);
    // Convenience: FrameInfo + AddNode.
    std::shared_ptr<CFakeHidNode> AddFrame(uint16_t nVid, uint16_t nPid, uint16_t nVersion,
                                           FrameMode mode = AppMode,
                                           const QByteArray &baProduct = "Touch Frame");
    // Unplug: the node leaves the enumeration, its far ends are closed (the
    // station's readers see the hang-up at once) and a hot-plug event follows.
    void RemoveNode(const std::shared_ptr<CFakeHidNode> &node, bool bAnnounce = true);
    // The node drops out of the listing while the station's descriptors on
    // it stay connected (its sysfs entry could not be read, say): only the
    // next enumeration pass can tell that it is gone. With bAnnounce a
    // hot-plug event follows.
    void HideNode(const std::shared_ptr<CFakeHidNode> &node, bool bAnnounce = true);
    // The frame re-enumerates (e.g. jumps to its bootloader): the old node is
    // unplugged and a new one with newInfo appears on a NEW USB device number
    // (newInfo.nDevNum is replaced), with one hot-plug event for both.
    std::shared_ptr<CFakeHidNode> Reenumerate(const std::shared_ptr<CFakeHidNode> &node,
                                              HidNodeInfo newInfo);
    // An event for some other device (a pass that must change nothing).
    void InjectEvent();

    QList<std::shared_ptr<CFakeHidNode>> Nodes() const;
    // Enumeration passes so far, and forcing the next ones to fail.
    int EnumerationCount() const { return m_nEnumerations.load(); }
    void SetEnumerateFails(bool bFail) { m_bEnumerateFails = bFail; }
    // Opens fail with -nErrno (e.g. EACCES) until set back to 0.
    void SetOpenError(int nErrno) { m_nOpenError = nErrno; }
    // Without a monitor the manager relies on its periodic pass.
    void SetMonitorAvailable(bool bAvailable) { m_bMonitorAvailable = bAvailable; }

    // --- CHidBackend ---
    bool EnumerateNodes(QList<HidNodeInfo> *pNodes) override;
    int OpenNode(const QString &strDevNode) override;
    void CloseNode(int fd) override;
    ssize_t ReadReport(int fd, uint8_t *buf, size_t len) override;
    ssize_t WriteReport(int fd, const uint8_t *buf, size_t len) override;
    int MonitorFd() override;
    int DrainMonitor() override;

private:
    std::shared_ptr<CFakeHidNode> NodeOfFd(int fd) const;

    mutable QMutex m_mutex;
    QList<std::shared_ptr<CFakeHidNode>> m_nodes;      // present, in plug order
    QHash<int, std::shared_ptr<CFakeHidNode>> m_fds;   // open station descriptors
    int m_nNextDevNum = 2;
    int m_nNextMinor = 0;
    int m_nMonitorFd = -1;
    std::atomic<int> m_nEnumerations{0};
    std::atomic<bool> m_bEnumerateFails{false};
    std::atomic<int> m_nOpenError{0};
    std::atomic<bool> m_bMonitorAvailable{true};
};
