#include "fakecomport.h"

#include "stationclock.h"

#include <algorithm>
#include <cstring>

CFakeComPort::CFakeComPort(QObject *parent)
    : CComPort(parent)
{
}

CFakeComPort::~CFakeComPort() = default;

void CFakeComPort::SetResponder(Responder responder)
{
    QMutexLocker locker(&m_mutex);
    m_responder = std::move(responder);
}

void CFakeComPort::AddReply(uint8_t cmd, uint8_t sub, const QList<QByteArray> &replies)
{
    QMutexLocker locker(&m_mutex);
    m_replies[uint16_t(cmd << 8 | sub)] = replies;
}

void CFakeComPort::QueueReply(const QByteArray &report)
{
    QMutexLocker locker(&m_mutex);
    m_queue.append(report);
    m_cond.wakeAll();
}

void CFakeComPort::QueueRecvResult(int32_t nCode)
{
    QMutexLocker locker(&m_mutex);
    m_recvResults.append(nCode);
    m_cond.wakeAll();
}

void CFakeComPort::SetSendResult(int32_t nCode)
{
    QMutexLocker locker(&m_mutex);
    m_nSendResult = nCode;
}

void CFakeComPort::SetRecvWaits(bool bWait)
{
    QMutexLocker locker(&m_mutex);
    m_bRecvWaits = bWait;
}

void CFakeComPort::SetConnected(bool bConnected)
{
    QMutexLocker locker(&m_mutex);
    m_bConnected = bConnected;
    m_cond.wakeAll();
}

void CFakeComPort::SetDeviceMode(uint32_t nMode)
{
    QMutexLocker locker(&m_mutex);
    m_nMode = nMode;
}

void CFakeComPort::SetVid(int32_t nVid)
{
    QMutexLocker locker(&m_mutex);
    m_nVid = nVid;
}

void CFakeComPort::SetPid(int32_t nPid)
{
    QMutexLocker locker(&m_mutex);
    m_nPid = nPid;
}

void CFakeComPort::SetVersion(int32_t nVersion)
{
    QMutexLocker locker(&m_mutex);
    m_nVersion = nVersion;
}

QList<QByteArray> CFakeComPort::Requests() const
{
    QMutexLocker locker(&m_mutex);
    return m_requests;
}

void CFakeComPort::ClearRequests()
{
    QMutexLocker locker(&m_mutex);
    m_requests.clear();
}

int CFakeComPort::PendingReplies() const
{
    QMutexLocker locker(&m_mutex);
    return m_queue.size();
}

bool CFakeComPort::RecvEnabled() const
{
    QMutexLocker locker(&m_mutex);
    return m_bRecvEnable;
}

int CFakeComPort::UpgradeStatus() const
{
    QMutexLocker locker(&m_mutex);
    return m_nUpgrade;
}

int CFakeComPort::ClaimCount() const
{
    QMutexLocker locker(&m_mutex);
    return m_nClaims;
}

bool CFakeComPort::IsConnected()
{
    QMutexLocker locker(&m_mutex);
    return m_bConnected;
}

int32_t CFakeComPort::SetRecvEnable(uint8_t enable, int devIndex)
{
    Q_UNUSED(devIndex);
    QMutexLocker locker(&m_mutex);
    if (!m_bConnected)
        return ERROR_CODE_LOST_DEVICE;
    m_bRecvEnable = enable != 0;
    m_cond.wakeAll();
    return 0;
}

int32_t CFakeComPort::ClaimDeviceInterface(int devIndex)
{
    Q_UNUSED(devIndex);
    QMutexLocker locker(&m_mutex);
    ++m_nClaims;
    return 0;
}

int32_t CFakeComPort::ReleaseDeviceInterface(int devIndex)
{
    Q_UNUSED(devIndex);
    QMutexLocker locker(&m_mutex);
    --m_nClaims;
    return 0;
}

uint32_t CFakeComPort::GetDeviceMode()
{
    QMutexLocker locker(&m_mutex);
    return m_bConnected ? m_nMode : uint32_t(ERROR_CODE_LOST_DEVICE);
}

int32_t CFakeComPort::GetVid()
{
    QMutexLocker locker(&m_mutex);
    return m_bConnected ? m_nVid : ERROR_CODE_LOST_DEVICE;
}

int32_t CFakeComPort::GetPid()
{
    QMutexLocker locker(&m_mutex);
    return m_bConnected ? m_nPid : ERROR_CODE_LOST_DEVICE;
}

int32_t CFakeComPort::GetVersion()
{
    QMutexLocker locker(&m_mutex);
    return m_bConnected ? m_nVersion : ERROR_CODE_LOST_DEVICE;
}

int32_t CFakeComPort::SetUpgradeStatus(uint8_t bUpgrade)
{
    QMutexLocker locker(&m_mutex);
    m_nUpgrade = bUpgrade;
    return 0;
}

int32_t CFakeComPort::SendData(const uint8_t *buf, int len, int timeout, int devIndex)
{
    Q_UNUSED(timeout);
    Q_UNUSED(devIndex);
    QList<QByteArray> replies;
    Responder responder;
    QByteArray request;
    {
        QMutexLocker locker(&m_mutex);
        if (!m_bConnected)
            return ERROR_CODE_LOST_DEVICE;
        m_bRecvEnable = true;
        if (m_nSendResult != 0)
            return m_nSendResult;
        if (!buf || len <= 0)
            return ERROR_CODE_TIMEOUT;
        request = QByteArray(reinterpret_cast<const char *>(buf), len);
        m_requests.append(request);
        const auto it = len >= 3 ? m_replies.constFind(uint16_t(buf[1] << 8 | buf[2])) : m_replies.constEnd();
        if (it != m_replies.constEnd())
            replies = it.value();
        else
            responder = m_responder;
    }
    if (responder)
        replies = responder(request);
    QMutexLocker locker(&m_mutex);
    m_queue.append(replies);
    m_cond.wakeAll();
    return len;
}

int32_t CFakeComPort::RecvData(uint8_t *buf, int len, int timeout, int devIndex)
{
    Q_UNUSED(devIndex);
    const qint64 nDeadline = CStationClock::NowMs() + std::max(timeout, 0);
    QMutexLocker locker(&m_mutex);
    for (;;) {
        if (!m_bConnected)
            return ERROR_CODE_LOST_DEVICE;
        if (!m_recvResults.isEmpty())
            return m_recvResults.takeFirst();
        if (!m_bRecvEnable)
            return m_queue.isEmpty() ? ERROR_CODE_TIMEOUT : ERROR_CODE_INTERRUPT;
        if (!m_queue.isEmpty())
            break;
        const qint64 nLeft = nDeadline - CStationClock::NowMs();
        if (!m_bRecvWaits || nLeft <= 0)
            return ERROR_CODE_TIMEOUT;
        m_cond.wait(&m_mutex, static_cast<unsigned long>(nLeft));
    }
    const QByteArray reply = m_queue.takeFirst();
    const int nCopy = buf ? std::min(std::max(len, 0), reply.size()) : 0;
    if (nCopy > 0)
        std::memcpy(buf, reply.constData(), size_t(nCopy));
    return nCopy;
}

int32_t CFakeComPort::SendAndRecvData(const uint8_t *wbuf, int wlen, uint8_t *rbuf, int rlen, int timeout,
                                      int devIndex)
{
    const int32_t nSent = SendData(wbuf, wlen, 30, devIndex);
    if (nSent < 0)
        return nSent;
    return RecvData(rbuf, rlen, timeout, devIndex);
}
