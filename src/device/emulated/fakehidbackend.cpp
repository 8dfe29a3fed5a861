#include "fakehidbackend.h"

#include <cerrno>
#include <climits>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

CFakeHidBackend::CFakeHidBackend()
{
    m_nMonitorFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

CFakeHidBackend::~CFakeHidBackend()
{
    QList<std::shared_ptr<CFakeHidNode>> nodes;
    {
        QMutexLocker locker(&m_mutex);
        nodes = m_nodes;
        m_nodes.clear();
    }
    for (const auto &node : qAsConst(nodes))
        node->Unplug();
    if (m_nMonitorFd >= 0)
        ::close(m_nMonitorFd);
}

std::shared_ptr<CFakeHidBackend> CFakeHidBackend::Install()
{
    auto backend = std::make_shared<CFakeHidBackend>();
    CHidBackend::SetOverride(backend);
    return backend;
}

void CFakeHidBackend::Uninstall()
{
    CHidBackend::SetOverride(nullptr);
}

QByteArray CFakeHidBackend::AppDescriptor()
{
    static const unsigned char desc[] = {
        0x06, 0x00, 0xFF,       // Usage Page (vendor 0xFF00)
        0x09, 0x01,             // Usage (1)
        0xA1, 0x01,             // Collection (Application): commands
        0x85, 0xFC,             //   Report ID (0xFC)
        0x15, 0x00,             //   Logical Minimum (0)
        0x26, 0xFF, 0x00,       //   Logical Maximum (255)
        0x75, 0x08,             //   Report Size (8)
        0x95, 0x3F,             //   Report Count (63)
        0x09, 0x01, 0x81, 0x02, //   Usage, Input (Data, Var, Abs)
        0x09, 0x01, 0x91, 0x02, //   Usage, Output (Data, Var, Abs)
        0xC0,                   // End Collection
        0x06, 0x00, 0xFF,       // Usage Page (vendor 0xFF00)
        0x09, 0x02,             // Usage (2)
        0xA1, 0x01,             // Collection (Application): raw data
        0x85, 0xFB,             //   Report ID (0xFB)
        0x15, 0x00,             //   Logical Minimum (0)
        0x26, 0xFF, 0x00,       //   Logical Maximum (255)
        0x75, 0x08,             //   Report Size (8)
        0x95, 0x3F,             //   Report Count (63)
        0x09, 0x02, 0x81, 0x02, //   Usage, Input
        0x09, 0x02, 0x91, 0x02, //   Usage, Output
        0x85, 0x02,             //   Report ID (0x02): multi-touch records
        0x95, 0x3D,             //   Report Count (61)
        0x09, 0x03, 0x81, 0x02, //   Usage, Input
        0xC0,                   // End Collection
    };
    return QByteArray(reinterpret_cast<const char *>(desc), int(sizeof(desc)));
}

QByteArray CFakeHidBackend::BootDescriptor()
{
    static const unsigned char desc[] = {
        0x06, 0x00, 0xFF,       // Usage Page (vendor 0xFF00)
        0x09, 0x01,             // Usage (1)
        0xA1, 0x01,             // Collection (Application): bootloader
        0x85, 0xFD,             //   Report ID (0xFD)
        0x15, 0x00,             //   Logical Minimum (0)
        0x26, 0xFF, 0x00,       //   Logical Maximum (255)
        0x75, 0x08,             //   Report Size (8)
        0x95, 0x3F,             //   Report Count (63)
        0x09, 0x01, 0x81, 0x02, //   Usage, Input
        0x85, 0xFE,             //   Report ID (0xFE)
        0x09, 0x01, 0x91, 0x02, //   Usage, Output
        0xC0,                   // End Collection
    };
    return QByteArray(reinterpret_cast<const char *>(desc), int(sizeof(desc)));
}

HidNodeInfo CFakeHidBackend::FrameInfo(uint16_t nVid, uint16_t nPid, uint16_t nVersion, FrameMode mode,
                                       const QByteArray &baProduct, int nDevNum)
{
    HidNodeInfo info;
    info.bUsb = true;
    info.nBusNum = 1;
    info.nDevNum = nDevNum;
    info.nVid = nVid;
    info.nPid = nPid;
    info.nVersion = nVersion;
    info.baManufacturer = "Fake Touch Systems";
    info.baProduct = baProduct;
    info.baSerial = "FAKE0001";
    info.baReportDescriptor = mode == AppMode ? AppDescriptor() : BootDescriptor();
    return info;
}

std::shared_ptr<CFakeHidNode> CFakeHidBackend::AddNode(HidNodeInfo info, bool bAnnounce)
{
    std::shared_ptr<CFakeHidNode> node;
    {
        QMutexLocker locker(&m_mutex);
        const int nMinor = m_nNextMinor++;
        if (info.strDevNode.isEmpty())
            info.strDevNode = QString("/dev/hidraw%1").arg(nMinor);
        if (info.bUsb && info.nBusNum == 0)
            info.nBusNum = 1;
        if (info.bUsb && info.nDevNum == 0)
            info.nDevNum = m_nNextDevNum++;
        else if (info.nDevNum >= m_nNextDevNum)
            m_nNextDevNum = info.nDevNum + 1;
        if (info.strSysPath.isEmpty())
            info.strSysPath = QString("/sys/devices/fake/usb%1/%1-%2/hidraw/hidraw%3")
                                  .arg(info.nBusNum)
                                  .arg(info.nDevNum)
                                  .arg(nMinor);
        node = std::make_shared<CFakeHidNode>(info);
        m_nodes.append(node);
    }
    if (bAnnounce)
        InjectEvent();
    return node;
}

std::shared_ptr<CFakeHidNode> CFakeHidBackend::AddFrame(uint16_t nVid, uint16_t nPid, uint16_t nVersion,
                                                        FrameMode mode, const QByteArray &baProduct)
{
    return AddNode(FrameInfo(nVid, nPid, nVersion, mode, baProduct));
}

void CFakeHidBackend::RemoveNode(const std::shared_ptr<CFakeHidNode> &node, bool bAnnounce)
{
    if (!node)
        return;
    {
        QMutexLocker locker(&m_mutex);
        m_nodes.removeAll(node);
    }
    node->Unplug();
    if (bAnnounce)
        InjectEvent();
}

void CFakeHidBackend::HideNode(const std::shared_ptr<CFakeHidNode> &node, bool bAnnounce)
{
    {
        QMutexLocker locker(&m_mutex);
        m_nodes.removeAll(node);
    }
    if (bAnnounce)
        InjectEvent();
}

std::shared_ptr<CFakeHidNode> CFakeHidBackend::Reenumerate(const std::shared_ptr<CFakeHidNode> &node,
                                                           HidNodeInfo newInfo)
{
    RemoveNode(node, false);
    newInfo.bUsb = true;
    newInfo.nBusNum = node ? node->Info().nBusNum : 1;
    newInfo.strDevNode.clear();
    newInfo.strSysPath.clear();
    {
        QMutexLocker locker(&m_mutex);
        newInfo.nDevNum = m_nNextDevNum++;
    }
    auto fresh = AddNode(newInfo, false);
    InjectEvent();
    return fresh;
}

void CFakeHidBackend::InjectEvent()
{
    const uint64_t one = 1;
    if (m_nMonitorFd >= 0) {
        ssize_t n = ::write(m_nMonitorFd, &one, sizeof(one));
        Q_UNUSED(n);
    }
}

QList<std::shared_ptr<CFakeHidNode>> CFakeHidBackend::Nodes() const
{
    QMutexLocker locker(&m_mutex);
    return m_nodes;
}

bool CFakeHidBackend::EnumerateNodes(QList<HidNodeInfo> *pNodes)
{
    ++m_nEnumerations;
    pNodes->clear();
    if (m_bEnumerateFails.load())
        return false;
    QMutexLocker locker(&m_mutex);
    for (const auto &node : qAsConst(m_nodes))
        pNodes->append(node->Info());
    return true;
}

int CFakeHidBackend::OpenNode(const QString &strDevNode)
{
    if (const int nError = m_nOpenError.load())
        return -nError;
    std::shared_ptr<CFakeHidNode> node;
    {
        QMutexLocker locker(&m_mutex);
        for (const auto &candidate : qAsConst(m_nodes)) {
            if (candidate->DevNode() == strDevNode) {
                node = candidate;
                break;
            }
        }
    }
    if (!node)
        return -ENOENT;
    const int fd = node->Open();
    if (fd >= 0) {
        QMutexLocker locker(&m_mutex);
        m_fds.insert(fd, node);
    }
    return fd;
}

void CFakeHidBackend::CloseNode(int fd)
{
    std::shared_ptr<CFakeHidNode> node;
    {
        QMutexLocker locker(&m_mutex);
        node = m_fds.take(fd);
    }
    if (node)
        node->CloseStationEnd(fd);
    else if (fd >= 0)
        ::close(fd);
}

std::shared_ptr<CFakeHidNode> CFakeHidBackend::NodeOfFd(int fd) const
{
    QMutexLocker locker(&m_mutex);
    return m_fds.value(fd);
}

ssize_t CFakeHidBackend::ReadReport(int fd, uint8_t *buf, size_t len)
{
    const std::shared_ptr<CFakeHidNode> node = NodeOfFd(fd);
    // As hidraw: a node whose device has gone still hands over the reports
    // it received before, and fails with EIO once none is left.
    const bool bPresent = !node || node->PassRead();
    const ssize_t n = ::recv(fd, buf, len, MSG_DONTWAIT);
    if (!bPresent)
        return n > 0 ? n : -EIO;
    if (n > 0) {
        const int nError = node ? node->ReadError() : 0;
        if (nError != 0) {
            node->CountFailedRead();
            return -nError; // the report is lost with the failed read
        }
        return n;
    }
    if (n == 0)
        return -EIO; // far end closed: the device is gone, as hidraw reports it
    if (errno == ECONNRESET)
        return -EIO;
    return -errno;
}

ssize_t CFakeHidBackend::WriteReport(int fd, const uint8_t *buf, size_t len)
{
    const std::shared_ptr<CFakeHidNode> node = NodeOfFd(fd);
    if (node && !node->PassWrite())
        return -ENODEV;
    const int nError = node ? node->WriteError() : 0;
    if (nError != 0)
        return -nError;
    if (node)
        node->CountWrite(true); // before it can be taken
    const ssize_t n = ::send(fd, buf, len, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0)
        return n;
    if (node)
        node->CountWrite(false);
    if (errno == EPIPE || errno == ECONNRESET || errno == ENOTCONN)
        return -ENODEV;
    return -errno;
}

int CFakeHidBackend::MonitorFd()
{
    return m_bMonitorAvailable.load() ? m_nMonitorFd : -1;
}

int CFakeHidBackend::DrainMonitor()
{
    uint64_t value = 0;
    const ssize_t n = ::read(m_nMonitorFd, &value, sizeof(value));
    if (n != sizeof(value))
        return 0;
    return value > uint64_t(INT_MAX) ? INT_MAX : int(value);
}
