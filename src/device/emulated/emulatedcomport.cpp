#include "emulatedcomport.h"

#include "deviceerror.h"

#include <algorithm>
#include <cstring>

CEmulatedComPort::CEmulatedComPort(CEmulatedFrame *pFrame, QObject *parent)
    : CComPort(parent), m_pFrame(pFrame)
{
}

CEmulatedComPort::~CEmulatedComPort() = default;

quint8 CEmulatedComPort::CommandReplyId() const
{
    return m_pFrame->CurrentMode() == CEmulatedFrame::Mode::Application ? 0xFC : 0xFD;
}

void CEmulatedComPort::Emit(const QList<bool> &signalList)
{
    for (bool b : signalList)
        emit DeviceInsert(b);
}

qint64 CEmulatedComPort::NextEventAt() const
{
    qint64 at = -1;
    for (const Event &e : m_events)
        if (at < 0 || e.nAt < at)
            at = e.nAt;
    return at;
}

void CEmulatedComPort::ProcessEvents(qint64 nUntil, QList<bool> *pSignals)
{
    for (;;) {
        auto it = std::min_element(m_events.begin(), m_events.end(),
                                   [](const Event &a, const Event &b) { return a.nAt < b.nAt; });
        if (it == m_events.end() || it->nAt > nUntil)
            return;
        const Event e = *it;
        m_events.erase(it);
        m_nNow = qMax(m_nNow, e.nAt);
        if (e.bAttach) {
            if (!m_pFrame->IsAttached()) {
                m_pFrame->SetMode(e.mode);
                m_pFrame->SetAttached(true);
                m_bRecvEnabled = true;
                pSignals->append(true);
            }
        } else if (m_pFrame->IsAttached()) {
            // A removed device takes its queues with it.
            m_pFrame->SetAttached(false);
            m_queue.clear();
            pSignals->append(false);
        }
    }
}

void CEmulatedComPort::Schedule(const QList<CEmulatedFrame::Action> &actions)
{
    const quint8 id = CommandReplyId();
    for (const CEmulatedFrame::Action &a : actions) {
        switch (a.kind) {
        case CEmulatedFrame::Action::Reply: {
            // Reports of another id land in a queue that no command reads.
            if (a.report.isEmpty() || quint8(a.report.at(0)) != id)
                break;
            Pending p{a.report, m_nNow + qMax(0, a.delayMs)};
            auto pos = std::upper_bound(m_queue.begin(), m_queue.end(), p,
                                        [](const Pending &x, const Pending &y) {
                                            return x.nReadyAt < y.nReadyAt;
                                        });
            m_queue.insert(pos, p);
            break;
        }
        case CEmulatedFrame::Action::Unplug:
            m_events.append(Event{m_nNow + qMax(0, a.delayMs), false, a.mode});
            break;
        case CEmulatedFrame::Action::Replug:
            m_events.append(Event{m_nNow + qMax(0, a.delayMs), false, a.mode});
            m_events.append(Event{m_nNow + qMax(0, a.delayMs) + qMax(1, a.backAfterMs), true, a.mode});
            break;
        }
    }
}

bool CEmulatedComPort::IsConnected()
{
    return m_pFrame->IsAttached();
}

int32_t CEmulatedComPort::SetRecvEnable(uint8_t enable, int devIndex)
{
    // No lock: the GUI thread calls this to break a wait.
    if (devIndex != 0)
        return ERROR_CODE_LOST_DEVICE;
    m_bRecvEnabled = enable != 0;
    return 0;
}

uint32_t CEmulatedComPort::GetDeviceMode()
{
    if (!m_pFrame->IsAttached())
        return uint32_t(ERROR_CODE_LOST_DEVICE);
    return m_pFrame->CurrentMode() == CEmulatedFrame::Mode::Application ? 1u : 0u;
}

int32_t CEmulatedComPort::GetVid()
{
    return m_pFrame->IsAttached() ? int32_t(m_pFrame->Vid()) : ERROR_CODE_LOST_DEVICE;
}

int32_t CEmulatedComPort::GetPid()
{
    return m_pFrame->IsAttached() ? int32_t(m_pFrame->Pid()) : ERROR_CODE_LOST_DEVICE;
}

int32_t CEmulatedComPort::GetVersion()
{
    return m_pFrame->IsAttached() ? int32_t(m_pFrame->Release()) : ERROR_CODE_LOST_DEVICE;
}

int32_t CEmulatedComPort::SetUpgradeStatus(uint8_t bUpgrade)
{
    m_bUpgrade = bUpgrade != 0;
    return 0;
}

int32_t CEmulatedComPort::SendData(const uint8_t *buf, int len, int timeout, int devIndex)
{
    QList<bool> signalList;
    QByteArray request;
    std::function<void(const QByteArray &)> hook;
    int32_t result = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_sendTimeouts.append(timeout);
        ProcessEvents(m_nNow, &signalList);
        if (devIndex != 0 || !m_pFrame->IsAttached()) {
            result = ERROR_CODE_LOST_DEVICE;
        } else if (!buf || len <= 0) {
            result = ERROR_CODE_NULL_DEVICE;
        } else if (m_nSendError != 0) {
            result = m_nSendError;
        } else {
            m_bRecvEnabled = true;  // as the USB port does before every write
            request = QByteArray(reinterpret_cast<const char *>(buf), qMin(len, 64));
            Schedule(m_pFrame->OnOutput(request));
            Schedule(m_pFrame->TakeInjected());
            result = 64;
            hook = m_sendHook;
        }
    }
    Emit(signalList);
    if (hook)
        hook(request);
    return result;
}

int32_t CEmulatedComPort::RecvData(uint8_t *buf, int len, int timeout, int devIndex)
{
    QList<bool> signalList;
    int32_t result = ERROR_CODE_TIMEOUT;
    QByteArray delivered;
    std::function<void(const QByteArray &)> hook;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_recvTimeouts.append(timeout);
        m_recvDevs.append(devIndex);
        ProcessEvents(m_nNow, &signalList);
        Schedule(m_pFrame->TakeInjected());
        if (devIndex != 0 || !m_pFrame->IsAttached()) {
            result = ERROR_CODE_LOST_DEVICE;
        } else if (!m_bRecvEnabled) {
            const bool bQueued = !m_queue.isEmpty() && m_queue.first().nReadyAt <= m_nNow;
            result = bQueued ? ERROR_CODE_INTERRUPT : ERROR_CODE_TIMEOUT;
        } else {
            const qint64 deadline = m_nNow + qMax(0, timeout);
            const bool bReply = !m_queue.isEmpty() && m_queue.first().nReadyAt <= deadline;
            const qint64 until = bReply ? qMax(m_nNow, m_queue.first().nReadyAt) : deadline;
            ProcessEvents(until, &signalList);
            if (!m_pFrame->IsAttached()) {
                result = ERROR_CODE_LOST_DEVICE;
            } else if (bReply && !m_queue.isEmpty()) {
                m_nNow = until;
                const Pending p = m_queue.takeFirst();
                const int n = qBound(0, len, p.report.size());
                if (buf && n > 0)
                    std::memcpy(buf, p.report.constData(), size_t(n));
                result = n;
                delivered = p.report;
                hook = m_recvHook;
            } else {
                m_nNow = deadline;
                result = ERROR_CODE_TIMEOUT;
            }
        }
    }
    Emit(signalList);
    if (hook)
        hook(delivered);
    return result;
}

int32_t CEmulatedComPort::SendAndRecvData(const uint8_t *wbuf, int wlen, uint8_t *rbuf, int rlen,
                                          int timeout, int devIndex)
{
    const int32_t r = SendData(wbuf, wlen, 30, devIndex);
    if (r < 0)
        return r;
    return RecvData(rbuf, rlen, timeout, devIndex);
}

qint64 CEmulatedComPort::NowMs() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_nNow;
}

void CEmulatedComPort::AdvanceTime(int nMs)
{
    QList<bool> signalList;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        const qint64 until = m_nNow + qMax(0, nMs);
        ProcessEvents(until, &signalList);
        m_nNow = until;
    }
    Emit(signalList);
}

void CEmulatedComPort::Unplug()
{
    QList<bool> signalList;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_events.append(Event{m_nNow, false, m_pFrame->CurrentMode()});
        ProcessEvents(m_nNow, &signalList);
    }
    Emit(signalList);
}

void CEmulatedComPort::Plug()
{
    QList<bool> signalList;
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        m_events.append(Event{m_nNow, true, m_pFrame->CurrentMode()});
        ProcessEvents(m_nNow, &signalList);
    }
    Emit(signalList);
}

int CEmulatedComPort::QueuedReplies() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_queue.size();
}

void CEmulatedComPort::QueueReply(const QByteArray &report, int nDelayMs)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    CEmulatedFrame::Action a;
    a.report = CEmulatedFrame::Pad64(report);
    a.delayMs = nDelayMs;
    Schedule({a});
}

void CEmulatedComPort::SetSendError(int32_t nCode)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_nSendError = nCode;
}

void CEmulatedComPort::SetSendHook(const std::function<void(const QByteArray &)> &hook)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_sendHook = hook;
}

void CEmulatedComPort::SetRecvHook(const std::function<void(const QByteArray &)> &hook)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_recvHook = hook;
}

QList<int> CEmulatedComPort::SendTimeouts() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_sendTimeouts;
}

QList<int> CEmulatedComPort::RecvTimeouts() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_recvTimeouts;
}

QList<int> CEmulatedComPort::RecvDevIndexes() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_recvDevs;
}

int CEmulatedComPort::SendCount() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_sendTimeouts.size();
}

int CEmulatedComPort::RecvCount() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_recvTimeouts.size();
}

void CEmulatedComPort::ClearCounters()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_sendTimeouts.clear();
    m_recvTimeouts.clear();
    m_recvDevs.clear();
}

bool CEmulatedComPort::UpgradeStatus() const
{
    return m_bUpgrade;
}
