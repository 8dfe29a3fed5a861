#pragma once

#include "hidbackend.h"

struct udev;
struct udev_monitor;

// The production backend: hidraw nodes found with libudev, their identity
// and report descriptors read from sysfs (no node is opened to classify it),
// the nodes read and written with plain read()/write(), and a udev monitor
// for hot-plug events.
class CUdevHidBackend : public CHidBackend
{
public:
    CUdevHidBackend();
    ~CUdevHidBackend() override;

    bool EnumerateNodes(QList<HidNodeInfo> *pNodes) override;
    int OpenNode(const QString &strDevNode) override;
    void CloseNode(int fd) override;
    ssize_t ReadReport(int fd, uint8_t *buf, size_t len) override;
    ssize_t WriteReport(int fd, const uint8_t *buf, size_t len) override;
    int MonitorFd() override;
    int DrainMonitor() override;

    // Fills pInfo from the sysfs directory of a hidraw node (the directory
    // udev names as its syspath): the HID device above it, and the USB device
    // above that. False when the node is not a HID device at all.
    static bool ReadNodeFromSysfs(const QString &strHidrawSysPath, const QString &strDevNode,
                                  HidNodeInfo *pInfo);

private:
    struct udev *m_pMonitorUdev = nullptr;   // used only by the monitor's thread
    struct udev_monitor *m_pMonitor = nullptr;
    bool m_bMonitorTried = false;
};
