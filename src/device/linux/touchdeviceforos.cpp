#include "touchdeviceforos.h"

#include "hidreportdescriptor.h"
#include "stationclock.h"
#include "touchmanage.h"
#include "workthread.h"

#include <QDebug>
#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <climits>
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
    m_nDirectWakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_nCmdWakeFd < 0 || m_nRawWakeFd < 0 || m_nDirectWakeFd < 0)
        qWarning().noquote() << "CTouchDeviceForOS" << ": no wake-up descriptor, readers stop within"
                             << READ_SLICE_MS << "ms";
    m_pWriteThread = new CWorkThread(&CTouchDeviceForOS::ProcessWriteThread, this);
}

CTouchDeviceForOS::~CTouchDeviceForOS()
{
    qInfo().noquote() << "Release CTouchDeviceForOS...";
    m_bRun = false;
    CWorkThread *const threads[] = {m_pCmdThread, m_pRawThread, m_pWriteThread};
    auto anyRunning = [&threads]() {
        for (CWorkThread *pThread : threads) {
            if (pThread->isRunning())
                return true;
        }
        return false;
    };
    for (int i = 0; i < 100 && anyRunning(); ++i) {
        // Signalled on every round: a wake-up that a direct read took for
        // itself must not leave a reader asleep.
        Signal(m_nCmdWakeFd);
        Signal(m_nRawWakeFd);
        WakeWaiters();
        for (CWorkThread *pThread : threads) {
            if (pThread->isRunning()) {
                pThread->wait(10);
                break;
            }
        }
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
    if (m_pWriteThread->isRunning()) {
        // Only a write that the kernel still holds keeps it (no lock of ours).
        qInfo().noquote() << "~CTouchDeviceForOS" << ": Terminate WRITE Thread...";
        m_pWriteThread->terminate();
        m_pWriteThread->wait(2000);
    }
    delete m_pWriteThread;
    m_pWriteThread = nullptr;
    const int nCmdFd = m_nCmdFd.exchange(-1);
    if (nCmdFd >= 0)
        m_pBackend->CloseNode(nCmdFd);
    const int nRawFd = m_nRawFd.exchange(-1);
    if (nRawFd >= 0)
        m_pBackend->CloseNode(nRawFd);
    for (int nFd : {m_nCmdWakeFd, m_nRawWakeFd, m_nDirectWakeFd}) {
        if (nFd >= 0)
            ::close(nFd);
    }
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
    m_pWriteThread->Start(false);
    m_bCmdReading = true; // from now: the raw reader must not report a hang-up first
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

int CTouchDeviceForOS::PollFor(struct pollfd *pFds, int nWakeFd, int nTimeoutMs)
{
    // With a wake-up descriptor every reason to look at the flags again
    // signals it, so the wait may block; without one it is sliced.
    if (nWakeFd < 0 && (nTimeoutMs < 0 || nTimeoutMs > READ_SLICE_MS))
        nTimeoutMs = READ_SLICE_MS;
    int n;
    do {
        n = ::poll(pFds, nWakeFd >= 0 ? 2 : 1, nTimeoutMs);
    } while (n < 0 && errno == EINTR);
    return n;
}

bool CTouchDeviceForOS::IsHangUp(short nRevents)
{
    return (nRevents & (POLLERR | POLLHUP | POLLNVAL)) != 0;
}

bool CTouchDeviceForOS::HasPending(short nRevents)
{
    // A node whose device has gone still hands over the reports it received
    // before (hidraw answers POLLIN with the hang-up while any are queued,
    // and fails reads with EIO only once they are taken): a frame that
    // acknowledges a command and leaves the bus at once is heard.
    return (nRevents & POLLIN) != 0 && (nRevents & POLLNVAL) == 0;
}

bool CTouchDeviceForOS::IsLostOnRead(ssize_t nError)
{
    // hidraw answers a read with EIO once its device has gone.
    return nError == -EIO || nError == -ENODEV;
}

bool CTouchDeviceForOS::IsLostOnWrite(ssize_t nError)
{
    return nError == -ENODEV || nError == -ESHUTDOWN;
}

bool CTouchDeviceForOS::ReadFailed(const char *szReader, ssize_t nError, int *pnErrors)
{
    if (IsLostOnRead(nError))
        return true;
    if ((*pnErrors)++ == 0)
        qWarning().noquote() << szReader << ": read failed:" << strerror(int(-nError)) << "- reading on";
    return false;
}

void CTouchDeviceForOS::PauseAfterReadError(int nWakeFd)
{
    struct pollfd wake = {nWakeFd, POLLIN, 0};
    if (nWakeFd < 0) {
        CStationClock::Sleep(READ_SLICE_MS);
        return;
    }
    int n;
    do {
        n = ::poll(&wake, 1, READ_SLICE_MS);
    } while (n < 0 && errno == EINTR);
    if (n > 0)
        Drain(nWakeFd);
}

void CTouchDeviceForOS::MarkLost()
{
    SetStatus(StatusLost);
}

void CTouchDeviceForOS::WakeWaiters()
{
    CTouchDevice::WakeWaiters();
    {
        QMutexLocker locker(&m_writeMutex);
        m_writeCond.wakeAll();
    }
    Signal(m_nDirectWakeFd);
    // The command reader only for a download or a stop (not on every
    // SetRecvEnable of normal work, which would only wake it for nothing).
    if (m_bUpgrade.load() || !m_bRun.load())
        Signal(m_nCmdWakeFd);
}

int32_t CTouchDeviceForOS::ChangeUpgradeStatus(bool bIsUpgrade)
{
    if (!bIsUpgrade)
        m_bCmdReading = true; // the command reader starts again
    const int32_t nResult = CTouchDevice::ChangeUpgradeStatus(bIsUpgrade);
    Signal(m_nRawWakeFd); // the raw reader pauses or resumes at once
    return nResult;
}

int32_t CTouchDeviceForOS::ProcessCmdDataTransfer()
{
    uint8_t buf[REPORT_SIZE];
    int nErrors = 0;
    m_bCmdReading = true;
    const auto done = qScopeGuard([this] { m_bCmdReading = false; });
    for (;;) {
        if (!m_bRun.load() || m_bUpgrade.load())
            break;
        const int fd = m_nCmdFd.load();
        if (fd < 0)
            break;
        struct pollfd fds[2] = {{fd, POLLIN, 0}, {m_nCmdWakeFd, POLLIN, 0}};
        const int n = PollFor(fds, m_nCmdWakeFd, -1);
        ++m_nReaderWakeups;
        if (n < 0)
            break;
        if (n == 0)
            continue;
        if (fds[1].revents & POLLIN)
            Drain(m_nCmdWakeFd);
        if (!m_bRun.load() || m_bUpgrade.load())
            break; // a report that is pending stays for the direct reads
        const bool bHangUp = IsHangUp(fds[0].revents);
        bool bLost = bHangUp;
        if (HasPending(fds[0].revents)) {
            const ssize_t nRead = m_pBackend->ReadReport(fd, buf, sizeof(buf));
            bLost = false;
            if (nRead <= 0 && bHangUp) {
                bLost = true; // gone, and nothing of it left to read
            } else if (nRead > 0) {
                if (nErrors > 1)
                    qWarning().noquote() << "ProcessCmdDataTransfer" << ":" << nErrors << "reads failed in a row";
                nErrors = 0;
                if (m_cmdIds.test(buf[0])) {
                    TouchData data;
                    std::memset(&data, 0, sizeof(data));
                    data.length = static_cast<uint32_t>(nRead);
                    std::memcpy(data.report, buf, static_cast<size_t>(nRead));
                    PushReport(data);
                }
            } else if (nRead < 0 && nRead != -EAGAIN && nRead != -EINTR) {
                bLost = ReadFailed("ProcessCmdDataTransfer", nRead, &nErrors);
                if (!bLost && nErrors > 1)
                    PauseAfterReadError(m_nCmdWakeFd);
            }
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
    int nErrors = 0;
    for (;;) {
        if (!m_bRun.load())
            return 0;
        const int fd = m_nRawFd.load();
        if (fd < 0)
            return 0;
        if (m_bUpgrade.load()) {
            // Paused: no read, only the flags (woken when they change).
            struct pollfd wake = {m_nRawWakeFd, POLLIN, 0};
            if (m_nRawWakeFd >= 0) {
                if (::poll(&wake, 1, -1) > 0)
                    Drain(m_nRawWakeFd);
            } else {
                CStationClock::Sleep(READ_SLICE_MS);
            }
            continue;
        }
        struct pollfd fds[2] = {{fd, POLLIN, 0}, {m_nRawWakeFd, POLLIN, 0}};
        const int n = PollFor(fds, m_nRawWakeFd, -1);
        ++m_nReaderWakeups;
        if (n < 0)
            return 0;
        if (n == 0)
            continue;
        if (fds[1].revents & POLLIN)
            Drain(m_nRawWakeFd);
        if (!m_bRun.load())
            return 0;
        if (m_bUpgrade.load())
            continue; // paused meanwhile: what is pending waits for the end of the download
        const bool bHangUp = IsHangUp(fds[0].revents);
        bool bLost = bHangUp;
        if (HasPending(fds[0].revents)) {
            const ssize_t nRead = m_pBackend->ReadReport(fd, data.report, sizeof(data.report));
            if (nRead > 0) {
                if (nErrors > 1)
                    qWarning().noquote() << "ProcessRawDataTransfer" << ":" << nErrors << "reads failed in a row";
                nErrors = 0;
                if (m_rawIds.test(data.report[0])) {
                    data.length = static_cast<uint32_t>(nRead);
                    m_pManage->SendRawDataToAllAppInterface(&m_devInfo, &data);
                }
                continue;
            }
            if (!bHangUp && (nRead == -EAGAIN || nRead == -EINTR || nRead == 0))
                continue;
            bLost = bHangUp || ReadFailed("ProcessRawDataTransfer", nRead, &nErrors);
            if (!bLost && nErrors > 1)
                PauseAfterReadError(m_nRawWakeFd);
        }
        if (bLost) {
            if (!bHangUp || !m_bCmdReading.load())
                MarkLost();
            qDebug().noquote() << "ProcessRawDataTransfer" << ":ERROR_DEVICE_NOT_CONNECTED RAW Thread end";
            return -1;
        }
    }
}

void CTouchDeviceForOS::ProcessWriteThread(void *pDevice)
{
    static_cast<CTouchDeviceForOS *>(pDevice)->ProcessWrites();
}

void CTouchDeviceForOS::ProcessWrites()
{
    uint8_t report[REPORT_SIZE];
    QMutexLocker locker(&m_writeMutex);
    for (;;) {
        while (!m_bWriteQueued && m_bRun.load())
            m_writeCond.wait(&m_writeMutex);
        if (!m_bRun.load())
            break;
        std::memcpy(report, m_writeReport, sizeof(report));
        const quint64 nNumber = m_nWritePosted;
        m_bWriteQueued = false;
        m_bInKernel = true;
        m_nInKernelSince = CStationClock::NowMs();
        locker.unlock();

        const int fd = m_nCmdFd.load();
        const ssize_t nWritten = fd >= 0 ? m_pBackend->WriteReport(fd, report, sizeof(report)) : -ENODEV;

        locker.relock();
        const bool bLost = nWritten < 0 && IsLostOnWrite(nWritten);
        // The frame is gone before the caller hears of the failed write: the
        // status changes under the same hold of the mutex as the result, so
        // whoever the result wakes finds the frame gone, and the caller still
        // reports the failure as its write's own.
        if (bLost)
            m_nStatus = StatusLost;
        m_bInKernel = false;
        m_nWriteDone = nNumber;
        m_nWriteResult = nWritten;
        if (m_nWriteAbandoned == nNumber)
            qWarning().noquote() << "SendData" << ": the write stuck in the kernel ended after"
                                 << CStationClock::NowMs() - m_nInKernelSince << "ms:"
                                 << (nWritten >= 0 ? QStringLiteral("written") : QString::fromLocal8Bit(strerror(int(-nWritten))));
        m_writeCond.wakeAll();
        if (bLost) {
            // Every other waiter on the frame (outside the mutex: the wake-up
            // takes it).
            locker.unlock();
            WakeWaiters();
            locker.relock();
        }
    }
}

int32_t CTouchDeviceForOS::WriteReport(const uint8_t *buf, int len, int timeout, const char *szCaller)
{
    if (!buf || len <= 0 || len > REPORT_SIZE) {
        qWarning().noquote() << szCaller << ": refused a report of" << len << "bytes";
        return ERROR_CODE_TIMEOUT;
    }
    if (m_nCmdFd.load() < 0 || m_nStatus.load() == StatusLost || !m_bRun.load())
        return ERROR_CODE_LOST_DEVICE;

    QMutexLocker sendLocker(&m_sendMutex);
    const qint64 nStart = CStationClock::NowMs();
    const qint64 nDeadline = nStart + std::max(timeout, 0);
    const int nWriteWait = std::max(timeout, MIN_WRITE_WAIT_MS);
    const int32_t nStartStatus = m_nStatus.load();
    const uint32_t nStartRecvOff = m_nRecvOffCount.load();
    // Reception switched off or the interface released (or lost) ends a wait:
    // a write not done then is a time-out, as a reply not come is in RecvData.
    auto interrupted = [&]() -> int32_t {
        if (!m_bRun.load() || m_nStatus.load() == StatusLost || m_nStatus.load() != nStartStatus)
            return ERROR_CODE_LOST_DEVICE;
        if (m_nRecvOffCount.load() != nStartRecvOff)
            return ERROR_CODE_TIMEOUT;
        return 0;
    };

    QMutexLocker locker(&m_writeMutex);
    // An earlier report still in the kernel (or not yet taken up): this one waits for it.
    while (m_bInKernel || m_bWriteQueued) {
        if (const int32_t nCode = interrupted())
            return nCode;
        const qint64 nLeft = std::max<qint64>(nDeadline, m_nInKernelSince + nWriteWait) - CStationClock::NowMs();
        if (nLeft <= 0) {
            qWarning().noquote() << szCaller << ": an earlier write is still in the kernel after"
                                 << CStationClock::NowMs() - m_nInKernelSince << "ms, this one is not sent";
            return ERROR_CODE_TIMEOUT;
        }
        m_writeCond.wait(&m_writeMutex, static_cast<unsigned long>(nLeft));
    }

    // Every report goes out whole; a shorter buffer is padded with zeros.
    std::memset(m_writeReport, 0, sizeof(m_writeReport));
    std::memcpy(m_writeReport, buf, static_cast<size_t>(len));
    const quint64 nNumber = ++m_nWritePosted;
    m_bWriteQueued = true;
    m_writeCond.wakeAll();

    for (;;) {
        if (m_nWriteDone == nNumber) {
            const ssize_t nWritten = m_nWriteResult;
            if (nWritten >= 0)
                return static_cast<int32_t>(std::min<ssize_t>(nWritten, len));
            if (IsLostOnWrite(nWritten)) {
                qDebug().noquote() << szCaller << ": write failed:" << strerror(int(-nWritten));
                return ERROR_CODE_LOST_DEVICE;
            }
            qWarning().noquote() << szCaller << ": write failed:" << strerror(int(-nWritten));
            return ERROR_CODE_TIMEOUT;
        }
        const bool bTaken = !m_bWriteQueued;
        if (const int32_t nCode = interrupted()) {
            if (!bTaken)
                m_bWriteQueued = false; // withdrawn before it was written
            return nCode;
        }
        const qint64 nNow = CStationClock::NowMs();
        const qint64 nLimit = bTaken ? std::max(nDeadline, m_nInKernelSince + nWriteWait)
                                     : nDeadline + WRITER_PICKUP_GRACE_MS;
        if (nNow >= nLimit) {
            if (!bTaken) {
                m_bWriteQueued = false;
                qWarning().noquote() << szCaller << ": the writer did not take the report up in time";
            } else {
                m_nWriteAbandoned = nNumber;
                qWarning().noquote() << szCaller << ": the write is stuck in the kernel, given up after"
                                     << nNow - nStart << "ms";
            }
            return ERROR_CODE_TIMEOUT;
        }
        m_writeCond.wait(&m_writeMutex, static_cast<unsigned long>(nLimit - nNow));
    }
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
    int nErrors = 0;
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
        // Its own wake-up descriptor, signalled on every change of state and
        // reception: the command reader's is left to the command reader.
        struct pollfd fds[2] = {{fd, POLLIN, 0}, {m_nDirectWakeFd, POLLIN, 0}};
        const int nWait = int(std::min<qint64>(nLeft, INT_MAX));
        const int n = PollFor(fds, m_nDirectWakeFd, nWait);
        if (n < 0) {
            qDebug().noquote() << "RecvUpgradeData" << ": ERROR_CODE_TIMEOUT";
            return ERROR_CODE_TIMEOUT;
        }
        if (n == 0) {
            if (CStationClock::NowMs() < nDeadline)
                continue; // a slice without a wake-up descriptor
            qDebug().noquote() << "RecvUpgradeData" << ": ERROR_CODE_TIMEOUT";
            return ERROR_CODE_TIMEOUT;
        }
        if (fds[1].revents & POLLIN) {
            Drain(m_nDirectWakeFd);
            continue; // the flags are tested at the top
        }
        const bool bHangUp = IsHangUp(fds[0].revents);
        bool bLost = bHangUp;
        if (HasPending(fds[0].revents)) {
            const ssize_t nRead = m_pBackend->ReadReport(fd, report, sizeof(report));
            if (nRead > 0) {
                nErrors = 0;
                if (!m_cmdIds.test(report[0]))
                    continue; // a report of another collection of the node
                const int nCopy = (buf && len > 0) ? std::min<int>(len, int(nRead)) : 0;
                if (nCopy > 0)
                    std::memcpy(buf, report, static_cast<size_t>(nCopy));
                return nCopy;
            }
            bLost = bHangUp;
            if (!bLost && nRead < 0 && nRead != -EAGAIN && nRead != -EINTR)
                bLost = ReadFailed("RecvUpgradeData", nRead, &nErrors);
            if (!bLost) {
                // Readable but nothing to read: the deadline still holds.
                if (nLeft == 0) {
                    qDebug().noquote() << "RecvUpgradeData" << ": ERROR_CODE_TIMEOUT";
                    return ERROR_CODE_TIMEOUT;
                }
                if (nErrors > 1)
                    PauseAfterReadError(m_nDirectWakeFd);
                continue;
            }
        }
        if (!bLost)
            continue;
        MarkLost();
        qDebug().noquote() << "RecvUpgradeData" << ": ERROR_CODE_LOST_DEVICE";
        return ERROR_CODE_LOST_DEVICE;
    }
}
