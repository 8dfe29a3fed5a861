#include "udevhidbackend.h"

#include "hidreportdescriptor.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libudev.h>
#include <unistd.h>

namespace {

// One byte more than the kernel ever gives: a longer file is refused by
// whoever reads the descriptor, never silently cut to a descriptor that parses.
constexpr qint64 MAX_DESCRIPTOR_READ = CHidReportDescriptor::MAX_SIZE + 1;
// Upper bound of a sysfs text attribute we read.
constexpr qint64 MAX_ATTRIBUTE_SIZE = 4096;

// The content of a sysfs file, or a null array when it cannot be read.
QByteArray ReadSysfsFile(const QString &strPath, qint64 nMax)
{
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray data = file.read(nMax);
    if (data.isNull())
        data = QByteArray("");
    return data;
}

// A text attribute without its trailing line feed; null when absent.
QByteArray ReadSysfsText(const QString &strPath)
{
    QByteArray data = ReadSysfsFile(strPath, MAX_ATTRIBUTE_SIZE);
    if (data.isNull())
        return data;
    while (!data.isEmpty() && (data.endsWith('\n') || data.endsWith('\r')))
        data.chop(1);
    return data;
}

bool ParseNumber(const QByteArray &text, int nBase, uint32_t nMax, uint32_t *pValue)
{
    bool bOk = false;
    const qulonglong value = text.trimmed().toULongLong(&bOk, nBase);
    if (!bOk || value > nMax)
        return false;
    *pValue = static_cast<uint32_t>(value);
    return true;
}

// HID_ID=0003:00001FF7:00000001 from the HID device's uevent.
bool ParseHidId(const QByteArray &uevent, uint32_t *pBus, uint32_t *pVid, uint32_t *pPid)
{
    const QList<QByteArray> lines = uevent.split('\n');
    for (const QByteArray &line : lines) {
        if (!line.startsWith("HID_ID="))
            continue;
        const QList<QByteArray> parts = line.mid(7).split(':');
        if (parts.size() != 3)
            return false;
        return ParseNumber(parts[0], 16, 0xFFFF, pBus) && ParseNumber(parts[1], 16, 0xFFFF, pVid)
            && ParseNumber(parts[2], 16, 0xFFFF, pPid);
    }
    return false;
}

bool IsUsbDeviceDir(const QString &strDir)
{
    return QFileInfo::exists(strDir + "/busnum") && QFileInfo::exists(strDir + "/devnum")
        && QFileInfo::exists(strDir + "/idVendor");
}

} // namespace

CUdevHidBackend::CUdevHidBackend() = default;

CUdevHidBackend::~CUdevHidBackend()
{
    if (m_pMonitor)
        udev_monitor_unref(m_pMonitor);
    if (m_pMonitorUdev)
        udev_unref(m_pMonitorUdev);
}

bool CUdevHidBackend::ReadNodeFromSysfs(const QString &strHidrawSysPath, const QString &strDevNode,
                                        HidNodeInfo *pInfo)
{
    HidNodeInfo info;
    info.strDevNode = strDevNode;
    info.strSysPath = strHidrawSysPath;

    // The HID device is what the node's "device" link points to.
    QString strHidDir = QFileInfo(strHidrawSysPath + "/device").canonicalFilePath();
    if (strHidDir.isEmpty())
        strHidDir = QDir::cleanPath(strHidrawSysPath + "/../..");
    const QByteArray uevent = ReadSysfsFile(strHidDir + "/uevent", MAX_ATTRIBUTE_SIZE);
    uint32_t nBus = 0, nVid = 0, nPid = 0;
    if (uevent.isNull() || !ParseHidId(uevent, &nBus, &nVid, &nPid))
        return false;
    info.nVid = static_cast<uint16_t>(nVid);
    info.nPid = static_cast<uint16_t>(nPid);
    info.baReportDescriptor = ReadSysfsFile(strHidDir + "/report_descriptor", MAX_DESCRIPTOR_READ);

    // USB: hid device -> usb interface -> usb device (a few levels at most).
    constexpr uint32_t BUS_USB_ID = 0x0003;
    if (nBus == BUS_USB_ID) {
        QString strDir = QFileInfo(strHidDir).canonicalFilePath();
        if (strDir.isEmpty())
            strDir = strHidDir;
        for (int nLevel = 0; nLevel < 4; ++nLevel) {
            strDir = QDir::cleanPath(strDir + "/..");
            if (strDir.isEmpty() || strDir == "/" || strDir.endsWith("/devices"))
                break;
            if (!IsUsbDeviceDir(strDir))
                continue;
            uint32_t nBusNum = 0, nDevNum = 0, nVersion = 0;
            if (ParseNumber(ReadSysfsText(strDir + "/busnum"), 10, 0xFFFF, &nBusNum)
                && ParseNumber(ReadSysfsText(strDir + "/devnum"), 10, 0xFFFF, &nDevNum)) {
                info.bUsb = true;
                info.nBusNum = int(nBusNum);
                info.nDevNum = int(nDevNum);
                if (ParseNumber(ReadSysfsText(strDir + "/bcdDevice"), 16, 0xFFFF, &nVersion))
                    info.nVersion = static_cast<uint16_t>(nVersion);
                info.baManufacturer = ReadSysfsText(strDir + "/manufacturer");
                info.baProduct = ReadSysfsText(strDir + "/product");
                info.baSerial = ReadSysfsText(strDir + "/serial");
            }
            break;
        }
    }
    *pInfo = info;
    return true;
}

bool CUdevHidBackend::EnumerateNodes(QList<HidNodeInfo> *pNodes)
{
    pNodes->clear();
    // A context of its own per pass: libudev objects are not shared between threads.
    struct udev *pUdev = udev_new();
    if (!pUdev)
        return false;
    struct udev_enumerate *pEnum = udev_enumerate_new(pUdev);
    if (!pEnum) {
        udev_unref(pUdev);
        return false;
    }
    bool bOk = udev_enumerate_add_match_subsystem(pEnum, "hidraw") >= 0
        && udev_enumerate_scan_devices(pEnum) >= 0;
    if (bOk) {
        struct udev_list_entry *pEntry = nullptr;
        udev_list_entry_foreach(pEntry, udev_enumerate_get_list_entry(pEnum))
        {
            const char *szSysPath = udev_list_entry_get_name(pEntry);
            if (!szSysPath)
                continue;
            struct udev_device *pDev = udev_device_new_from_syspath(pUdev, szSysPath);
            if (!pDev)
                continue;
            const char *szNode = udev_device_get_devnode(pDev);
            HidNodeInfo info;
            if (szNode && ReadNodeFromSysfs(QString::fromLocal8Bit(szSysPath),
                                            QString::fromLocal8Bit(szNode), &info))
                pNodes->append(info);
            udev_device_unref(pDev);
        }
    }
    udev_enumerate_unref(pEnum);
    udev_unref(pUdev);
    return bOk;
}

int CUdevHidBackend::OpenNode(const QString &strDevNode)
{
    const int fd = ::open(QFile::encodeName(strDevNode).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

void CUdevHidBackend::CloseNode(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

ssize_t CUdevHidBackend::ReadReport(int fd, uint8_t *buf, size_t len)
{
    for (;;) {
        const ssize_t n = ::read(fd, buf, len);
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        return -errno;
    }
}

ssize_t CUdevHidBackend::WriteReport(int fd, const uint8_t *buf, size_t len)
{
    for (;;) {
        const ssize_t n = ::write(fd, buf, len);
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        return -errno;
    }
}

int CUdevHidBackend::MonitorFd()
{
    if (m_pMonitor)
        return udev_monitor_get_fd(m_pMonitor);
    if (m_bMonitorTried)
        return -1;
    m_bMonitorTried = true;
    m_pMonitorUdev = udev_new();
    if (m_pMonitorUdev)
        m_pMonitor = udev_monitor_new_from_netlink(m_pMonitorUdev, "udev");
    if (m_pMonitor
        && (udev_monitor_filter_add_match_subsystem_devtype(m_pMonitor, "hidraw", nullptr) < 0
            || udev_monitor_enable_receiving(m_pMonitor) < 0)) {
        udev_monitor_unref(m_pMonitor);
        m_pMonitor = nullptr;
    }
    if (!m_pMonitor) {
        qWarning().noquote() << "MonitorFd" << ": udev monitor unavailable, frames are found by the periodic scan only";
        return -1;
    }
    return udev_monitor_get_fd(m_pMonitor);
}

int CUdevHidBackend::DrainMonitor()
{
    if (!m_pMonitor)
        return 0;
    int nCount = 0;
    while (struct udev_device *pDev = udev_monitor_receive_device(m_pMonitor)) {
        udev_device_unref(pDev);
        ++nCount;
    }
    return nCount;
}
