#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>
#include <memory>
#include <sys/types.h>

// What the system tells about one hidraw node (one HID interface of a USB
// device): identity from sysfs, the report descriptor and the USB device it
// belongs to. Strings are UTF-8; a null QByteArray means "could not be read".
struct HidNodeInfo
{
    QString strDevNode;        // "/dev/hidraw3"
    QString strSysPath;        // sysfs path of the hidraw node (diagnostics only)
    bool bUsb = false;         // the node sits on a USB device
    int nBusNum = 0;           // USB bus number
    int nDevNum = 0;           // USB device number: new on every enumeration of the device
    uint16_t nVid = 0;
    uint16_t nPid = 0;
    uint16_t nVersion = 0;     // bcdDevice
    QByteArray baManufacturer;
    QByteArray baProduct;
    QByteArray baSerial;
    QByteArray baReportDescriptor;
};

// Every operating-system call of the touch-device layer goes through this
// interface: the udev/hidraw implementation in production, a fake in tests.
// Descriptors returned by OpenNode are real file descriptors that poll()
// understands; one read returns one report, as hidraw does.
class CHidBackend
{
public:
    virtual ~CHidBackend();

    // Lists the hidraw nodes present now. False when the list could not be
    // had at all (the caller must then not conclude that anything is gone).
    virtual bool EnumerateNodes(QList<HidNodeInfo> *pNodes) = 0;

    // Opens a node for reading and writing, non-blocking. Returns the
    // descriptor, or -errno.
    virtual int OpenNode(const QString &strDevNode) = 0;
    virtual void CloseNode(int fd) = 0;

    // One input report into buf (at most len bytes). Returns the byte count,
    // -EAGAIN when none is ready, -EIO or -ENODEV once the device is gone.
    virtual ssize_t ReadReport(int fd, uint8_t *buf, size_t len) = 0;
    // One output report (byte 0 = report id). Returns the byte count or
    // -errno (-ENODEV / -ESHUTDOWN once the device is gone).
    virtual ssize_t WriteReport(int fd, const uint8_t *buf, size_t len) = 0;

    // Hot-plug notification: a descriptor that becomes readable when the
    // system reports a change, or -1 when none can be had. Used on one thread.
    virtual int MonitorFd() = 0;
    // Consumes the pending notifications; returns how many there were.
    virtual int DrainMonitor() = 0;

    // The backend that the next device manager uses: the override when one
    // is set (tests), else a new udev/hidraw backend.
    static std::shared_ptr<CHidBackend> Create();
    static void SetOverride(std::shared_ptr<CHidBackend> backend);
};
