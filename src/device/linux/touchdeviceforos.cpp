#include "touchdeviceforos.h"

#include "hidreportdescriptor.h"
#include "stationclock.h"
#include "touchmanage.h"
#include "workthread.h"

#include <QDebug>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// Readers look at their flags at least this often, even without a wake-up.
constexpr int READ_SLICE_MS = 20;

const char *KindName(int nKind)
{
    switch (nKind) {
    case ColAppCmd:
        return ": ColAppCmd";
    case ColAppRaw:
        return ": ColAppRaw";
    case ColBootCmd:
        return ": ColBootCmd";
    default:
        return ": Unknown";
    }
}

int KindOf(int nInputId, int nOutputId)
{
    if (nInputId == 0xFC && nOutputId == 0xFC)
        return ColAppCmd;
    if (nInputId == 0xFB && nOutputId == 0xFB)
        return ColAppRaw;
    if (nInputId == 0xFD && nOutputId == 0xFE)
        return ColBootCmd;
    return ColUnknown;
}

} // namespace

CTouchDeviceForOS::CTouchDeviceForOS(std::shared_ptr<CHidBackend> backend, CTouchManage *pManage)
    : CTouchDevice(QString()),
      m_pBackend(std::move(backend)),
      m_pManage(pManage)
{
    m_bUpgrade = false;
    m_nCmdWakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_nRawWakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_nCmdWakeFd < 0 || m_nRawWakeFd < 0)
        qWarning().noquote() << "CTouchDeviceForOS" << ": no wake-up descriptor, readers stop within"
                             << READ_SLICE_MS << "ms";
}

CTouchDeviceForOS::~CTouchDeviceForOS()
{
    qInfo().noquote() << "Release CTouchDeviceForOS...";
    m_bRun = false;
    Signal(m_nCmdWakeFd);
    Signal(m_nRawWakeFd);
    CTouchDevice::WakeWaiters();
    for (int i = 0; i < 100; ++i) {
        if (!m_pCmdThread->isRunning() && !m_pRawThread->isRunning())
            break;
        if (m_pCmdThread->isRunning())
            m_pCmdThread->wait(10);
        else
            m_pRawThread->wait(10);
    }
    if (m_pCmdThread->isRunning()) {
        qInfo().noquote() << "~CTouchDeviceForOS" << ": Terminate CMD Thread...";
        m_pCmdThread->terminate();
        m_pCmdThread->wait(2000);
    }
    if (m_pRawThread->isRunning()) {
        qInfo().noquote() << "~CTouchDeviceForOS" << ": Terminate RAW Thread...";
        m_pRawThread->terminate();
        m_pRawThread->wait(2000);
    }
    const int nCmdFd = m_nCmdFd.exchange(-1);
    if (nCmdFd >= 0)
        m_pBackend->CloseNode(nCmdFd);
    const int nRawFd = m_nRawFd.exchange(-1);
    if (nRawFd >= 0)
        m_pBackend->CloseNode(nRawFd);
    if (m_nCmdWakeFd >= 0)
        ::close(m_nCmdWakeFd);
    if (m_nRawWakeFd >= 0)
        ::close(m_nRawWakeFd);
}

QList<TouchCollection> CTouchDeviceForOS::CheckIdentifiableDevice(const HidNodeInfo &node)
{
    QList<TouchCollection> result;
    if (!IsSupportedVidPid(node.nVid, node.nPid))
        return result;
    CHidReportDescriptor descriptor;
    QString strProblem;
    if (node.baReportDescriptor.isEmpty())
        strProblem = QStringLiteral("empty");
    else if (node.baReportDescriptor.size() > CHidReportDescriptor::MAX_SIZE)
        strProblem = QStringLiteral("longer than %1 bytes").arg(CHidReportDescriptor::MAX_SIZE);
    else if (!descriptor.Parse(node.baReportDescriptor))
        strProblem = descriptor.Error();
    if (!strProblem.isEmpty()) {
        qDebug().noquote() << "CheckIdentifiableDevice" << ": report descriptor of" << node.strDevNode
                           << "not usable:" << strProblem;
        return result;
    }
    const QList<HidTopCollection> collections = descriptor.Collections();
    for (const HidTopCollection &col : collections) {
        const int nKind = KindOf(col.nFirstInputId, col.nFirstOutputId);
        if (nKind == ColUnknown)
            continue;
        qDebug().noquote() << "CheckIdentifiableDevice" << KindName(nKind);
        TouchCollection touchCol;
        touchCol.nKind = nKind;
        touchCol.inputIds = col.inputIds;
        touchCol.outputIds = col.outputIds;
        result.append(touchCol);
    }
    return result;
}

int32_t CTouchDeviceForOS::AppendDevicePath(const HidNodeInfo &node, const TouchCollection &collection)
{
    switch (collection.nKind) {
    case ColAppRaw: {
        qDebug().noquote() << "AppendDevicePath" << ": ColAppRaw";
        m_nRawReportId = 0xFB;
        if (m_nRawFd.load() >= 0)
            return 0; // met again: already read
        const int fd = m_pBackend->OpenNode(node.strDevNode);
        if (fd < 0) {
            if (!m_bRawOpenWarned) {
                m_bRawOpenWarned = true;
                qWarning().noquote() << "AppendDevicePath" << ": ColAppRaw open of" << node.strDevNode
                                     << "failed:" << strerror(-fd);
            }
            return 0;
        }
        m_rawIds.reset();
        for (uint8_t nId : collection.inputIds)
            m_rawIds.set(nId);
        m_strRawNode = node.strDevNode;
        m_nRawFd = fd;
        qDebug().noquote() << "AppendDevicePath" << ":ColAppRaw m_pRawThread start";
        m_pRawThread->Start(false);
        return 0;
    }
    case ColAppCmd: {
        qDebug().noquote() << "AppendDevicePath" << ": ColAppCmd";
        if (m_nCmdFd.load() >= 0 && m_strCmdNode == node.strDevNode && m_nCmdKind == ColAppCmd)
            return 0; // this very collection is open already
        if (node.nVid == 0x2FE9 && node.nPid >= 0xFF00) {
            if (!m_bAttributesWarned) {
                m_bAttributesWarned = true;
                qWarning().noquote() << "AppendDevicePath" << ": ColAppCmd Handle Attributes Error, "
                                     << " VID  = " << node.nVid << " PID = " << node.nPid;
            }
            return 0;
        }
        if (m_nCmdFd.load() >= 0) {
            if (!m_bSecondCmdWarned) {
                m_bSecondCmdWarned = true;
                qWarning().noquote() << "AppendDevicePath" << ": ColAppCmd Handle has Got!";
            }
            return 0;
        }
        const int fd = m_pBackend->OpenNode(node.strDevNode);
        if (fd < 0) {
            if (!m_bCmdOpenWarned) {
                m_bCmdOpenWarned = true;
                qWarning().noquote() << "AppendDevicePath" << ": ColAppCmd Handle Create Faild";
                qWarning().noquote() << "AppendDevicePath" << ":" << node.strDevNode << strerror(-fd);
            }
            return 0;
        }
        m_nCmdReportId = 0xFC;
        m_nMode = DEVICE_MODE_APPLICATION;
        m_cmdIds.reset();
        for (uint8_t nId : collection.inputIds)
            m_cmdIds.set(nId);
        m_strCmdNode = node.strDevNode;
        m_nCmdKind = ColAppCmd;
        m_nCmdFd = fd;
        break;
    }
    case ColBootCmd: {
        qDebug().noquote() << "AppendDevicePath" << ": ColBootCmd";
        // A frame open on its command collection keeps it: switching the
        // command report id here would leave every reply in the wrong queue.
        if (m_nCmdFd.load() >= 0)
            return 0;
        const int fd = m_pBackend->OpenNode(node.strDevNode);
        if (fd < 0) {
            if (!m_bCmdOpenWarned) {
                m_bCmdOpenWarned = true;
                qWarning().noquote() << "AppendDevicePath" << ": ColBootCmd open of" << node.strDevNode
                                     << "failed:" << strerror(-fd);
            }
            return 0;
        }
        m_nCmdReportId = 0xFD;
        m_nMode = DEVICE_MODE_BOOTLOADER;
        m_cmdIds.reset();
        for (uint8_t nId : collection.inputIds)
            m_cmdIds.set(nId);
        m_strCmdNode = node.strDevNode;
        m_nCmdKind = ColBootCmd;
        m_nCmdFd = fd;
        qDebug().noquote() << "AppendDevicePath" << ":ColBootCmd m_pCmdThread start";
        break;
    }
    default:
        return 0;
    }

    // Completing the opening of a command collection.
    InitDeviceInfo(node);
    m_pCmdThread->Start(false);
    m_pManage->AnnounceDevice(this);
    return 0;
}

void CTouchDeviceForOS::CopyString(char *szField, const QByteArray &baValue)
{
    std::memset(szField, 0, TOUCH_DEVICE_STRING_SIZE);
    int nLen = std::min<int>(baValue.size(), TOUCH_DEVICE_STRING_SIZE - 1);
    // Never cut a UTF-8 sequence: back up to the start of the cut character.
    if (nLen < baValue.size()) {
        while (nLen > 0 && (static_cast<uint8_t>(baValue[nLen]) & 0xC0) == 0x80)
            --nLen;
    }
    std::memcpy(szField, baValue.constData(), static_cast<size_t>(nLen));
}

int32_t CTouchDeviceForOS::InitDeviceInfo(const HidNodeInfo &node)
{
    if (m_nCmdFd.load() < 0)
        return -1;
    m_devInfo.nVid = node.nVid;
    m_devInfo.nPid = node.nPid;
    m_devInfo.nVersion = node.nVersion;
    std::memset(m_devInfo.szDevName, 0, sizeof(m_devInfo.szDevName));
    const QByteArray name = QString::asprintf("USB\\VID_%04X&PID_%04X&REV_%04X", node.nVid, node.nPid,
                                              node.nVersion)
                                .toLatin1();
    CopyString(m_devInfo.szDevName, name);
    qDebug().noquote() << "InitDeviceInfo" << ": DevName = " << QString::fromLatin1(name);
    if (!node.baManufacturer.isNull())
        CopyString(m_devInfo.szManufacturer, node.baManufacturer);
    if (!node.baProduct.isNull())
        CopyString(m_devInfo.szProduct, node.baProduct);
    if (!node.baSerial.isNull())
        CopyString(m_devInfo.szSerialNumber, node.baSerial);
    m_devInfo.nMode = m_nMode.load();
    return 0;
}

void CTouchDeviceForOS::Signal(int nEventFd)
{
    if (nEventFd < 0)
        return;
    const uint64_t one = 1;
    ssize_t n;
    do {
        n = ::write(nEventFd, &one, sizeof(one));
    } while (n < 0 && errno == EINTR);
}

void CTouchDeviceForOS::Drain(int nEventFd)
{
    if (nEventFd < 0)
        return;
    uint64_t value = 0;
    ssize_t n;
    do {
        n = ::read(nEventFd, &value, sizeof(value));
    } while (n < 0 && errno == EINTR);
}

bool CTouchDeviceForOS::IsLostError(ssize_t nError)
{
    switch (-nError) {
    case EIO:
    case ENODEV:
    case ENXIO:
    case ESHUTDOWN:
    case EPIPE:
    case ECONNRESET:
    case EBADF:
        return true;
    default:
        return false;
    }
}

void CTouchDeviceForOS::MarkLost()
{
    SetStatus(StatusLost);
}

void CTouchDeviceForOS::WakeWaiters()
{
    CTouchDevice::WakeWaiters();
    // A direct read of the download, or a reader that must leave, waits on
    // the command node: break that poll too. (Not on every SetRecvEnable of
    // normal work, which would only wake the reader for nothing.)
    if (m_bUpgrade.load() || !m_bRun.load())
        Signal(m_nCmdWakeFd);
}

int32_t CTouchDeviceForOS::ChangeUpgradeStatus(bool bIsUpgrade)
{
    const int32_t nResult = CTouchDevice::ChangeUpgradeStatus(bIsUpgrade);
    Signal(m_nRawWakeFd); // the raw reader pauses or resumes at once
    return nResult;
}

int32_t CTouchDeviceForOS::ProcessCmdDataTransfer()
{
    uint8_t buf[REPORT_SIZE];
    for (;;) {
        if (!m_bRun.load() || m_bUpgrade.load())
            break;
        const int fd = m_nCmdFd.load();
        if (fd < 0)
            break;
        struct pollfd fds[2] = {{fd, POLLIN, 0}, {m_nCmdWakeFd, POLLIN, 0}};
        const int n = ::poll(fds, m_nCmdWakeFd >= 0 ? 2 : 1, READ_SLICE_MS);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (n == 0)
            continue;
        if (fds[1].revents & POLLIN)
            Drain(m_nCmdWakeFd);
        if (!m_bRun.load() || m_bUpgrade.load())
            break; // a report that is pending stays for the direct reads
        bool bLost = false;
        if (fds[0].revents & POLLIN) {
            const ssize_t nRead = m_pBackend->ReadReport(fd, buf, sizeof(buf));
            if (nRead > 0) {
                if (m_cmdIds.test(buf[0])) {
                    TouchData data;
                    std::memset(&data, 0, sizeof(data));
                    data.length = static_cast<uint32_t>(nRead);
                    std::memcpy(data.report, buf, static_cast<size_t>(nRead));
                    PushReport(data);
                }
            } else if (nRead < 0 && nRead != -EAGAIN && nRead != -EINTR) {
                bLost = true;
            }
        } else if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) {
            bLost = true;
        }
        if (bLost) {
            MarkLost();
            qDebug().noquote() << "ProcessCmdDataTransfer" << ":ERROR_DEVICE_NOT_CONNECTED CMD Thread end";
            return -1;
        }
    }
    qDebug().noquote() << "ProcessCmdDataTransfer" << ": CMD Thread end";
    return 0;
}

int32_t CTouchDeviceForOS::ProcessRawDataTransfer()
{
    TouchData data;
    std::memset(&data, 0, sizeof(data));
    for (;;) {
        if (!m_bRun.load())
            return 0;
        const int fd = m_nRawFd.load();
        if (fd < 0)
            return 0;
        if (m_bUpgrade.load()) {
            // Paused: no read, only the flags (woken when they change).
            struct pollfd wake = {m_nRawWakeFd, POLLIN, 0};
            if (m_nRawWakeFd >= 0 && ::poll(&wake, 1, READ_SLICE_MS) > 0)
                Drain(m_nRawWakeFd);
            else if (m_nRawWakeFd < 0)
                CStationClock::Sleep(READ_SLICE_MS);
            continue;
        }
        struct pollfd fds[2] = {{fd, POLLIN, 0}, {m_nRawWakeFd, POLLIN, 0}};
        const int n = ::poll(fds, m_nRawWakeFd >= 0 ? 2 : 1, READ_SLICE_MS);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return 0;
        }
        if (n == 0)
            continue;
        if (fds[1].revents & POLLIN)
            Drain(m_nRawWakeFd);
        if (!m_bRun.load())
            return 0;
        if (m_bUpgrade.load())
            continue; // paused meanwhile: what is pending waits for the end of the download
        if (fds[0].revents & POLLIN) {
            const ssize_t nRead = m_pBackend->ReadReport(fd, data.report, sizeof(data.report));
            if (nRead > 0) {
                if (m_rawIds.test(data.report[0])) {
                    data.length = static_cast<uint32_t>(nRead);
                    m_pManage->SendRawDataToAllAppInterface(&m_devInfo, &data);
                }
                continue;
            }
            if (nRead == -EAGAIN || nRead == -EINTR || nRead == 0)
                continue;
        } else if (!(fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))) {
            continue;
        }
        MarkLost();
        return -1;
    }
}

int32_t CTouchDeviceForOS::WriteReport(const uint8_t *buf, int len, int timeout, const char *szCaller)
{
    if (!buf || len <= 0 || len > REPORT_SIZE) {
        qWarning().noquote() << szCaller << ": refused a report of" << len << "bytes";
        return ERROR_CODE_TIMEOUT;
    }
    const int fd = m_nCmdFd.load();
    if (fd < 0)
        return ERROR_CODE_LOST_DEVICE;
    // Every report goes out whole; a shorter buffer is padded with zeros.
    uint8_t report[REPORT_SIZE] = {};
    std::memcpy(report, buf, static_cast<size_t>(len));

    struct pollfd out = {fd, POLLOUT, 0};
    int n;
    do {
        n = ::poll(&out, 1, std::max(timeout, 0));
    } while (n < 0 && errno == EINTR);
    if (n == 0)
        return ERROR_CODE_TIMEOUT;
    const ssize_t nWritten = m_pBackend->WriteReport(fd, report, sizeof(report));
    if (nWritten >= 0)
        return static_cast<int32_t>(std::min<ssize_t>(nWritten, len));
    qDebug().noquote() << szCaller << ": write failed:" << strerror(int(-nWritten));
    if (IsLostError(nWritten)) {
        MarkLost();
        return ERROR_CODE_LOST_DEVICE;
    }
    return ERROR_CODE_TIMEOUT;
}

int32_t CTouchDeviceForOS::SendData(const uint8_t *buf, int len, int timeout)
{
    return WriteReport(buf, len, timeout, "SendData");
}

int32_t CTouchDeviceForOS::SendUpgradeData(const uint8_t *buf, int len, int timeout)
{
    return WriteReport(buf, len, timeout, "SendUpgradeData");
}

int32_t CTouchDeviceForOS::RecvUpgradeData(uint8_t *buf, int len, int timeout)
{
    const qint64 nDeadline = CStationClock::NowMs() + std::max(timeout, 0);
    uint8_t report[REPORT_SIZE];
    for (;;) {
        const int fd = m_nCmdFd.load();
        if (fd < 0 || !m_bRun.load() || m_nStatus.load() != StatusOpen) {
            qDebug().noquote() << "RecvUpgradeData" << ": ERROR_CODE_LOST_DEVICE";
            return ERROR_CODE_LOST_DEVICE;
        }
        if (!m_bRecvEnable.load()) {
            qDebug().noquote() << "RecvUpgradeData" << ": ERROR_CODE_TNTERRUPT";
            return ERROR_CODE_INTERRUPT;
        }
        const qint64 nLeft = std::max<qint64>(nDeadline - CStationClock::NowMs(), 0);
        // The flags are looked at again after every slice: outside the download
        // mode nothing signals the wake-up descriptor, and the command reader
        // may drain it first.
        const int nSlice = int(std::min<qint64>(nLeft, READ_SLICE_MS));
        struct pollfd fds[2] = {{fd, POLLIN, 0}, {m_nCmdWakeFd, POLLIN, 0}};
        const int n = ::poll(fds, m_nCmdWakeFd >= 0 ? 2 : 1, nSlice);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            qDebug().noquote() << "RecvUpgradeData" << ": ERROR_CODE_TIMEOUT";
            return ERROR_CODE_TIMEOUT;
        }
        if (n == 0) {
            if (nSlice < nLeft)
                continue;
            qDebug().noquote() << "RecvUpgradeData" << ": ERROR_CODE_TIMEOUT";
            return ERROR_CODE_TIMEOUT;
        }
        if (fds[1].revents & POLLIN) {
            Drain(m_nCmdWakeFd);
            continue; // the flags are tested at the top
        }
        if (fds[0].revents & POLLIN) {
            const ssize_t nRead = m_pBackend->ReadReport(fd, report, sizeof(report));
            if (nRead > 0) {
                if (!m_cmdIds.test(report[0]))
                    continue; // a report of another collection of the node
                const int nCopy = (buf && len > 0) ? std::min<int>(len, int(nRead)) : 0;
                if (nCopy > 0)
                    std::memcpy(buf, report, static_cast<size_t>(nCopy));
                return nCopy;
            }
            if (nRead == -EAGAIN || nRead == -EINTR || nRead == 0) {
                // Readable but nothing to read: the deadline still holds.
                if (nLeft == 0) {
                    qDebug().noquote() << "RecvUpgradeData" << ": ERROR_CODE_TIMEOUT";
                    return ERROR_CODE_TIMEOUT;
                }
                continue;
            }
        } else if (!(fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))) {
            continue;
        }
        MarkLost();
        qDebug().noquote() << "RecvUpgradeData" << ": ERROR_CODE_LOST_DEVICE";
        return ERROR_CODE_LOST_DEVICE;
    }
}
