#pragma once

#include "comport.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QWaitCondition>
#include <functional>

// A port without any device layer underneath, for fast unit tests of code
// that only needs a CComPort: every request that is sent gets the replies
// scripted for it, queued for RecvData. With nothing queued RecvData returns
// ERROR_CODE_TIMEOUT at once (or waits up to its time-out with
// SetRecvWaits(true), e.g. to test an interruption from another thread).
// Reception disabled behaves as on the USB port: a queued reply gives
// ERROR_CODE_INTERRUPT and stays queued, none gives ERROR_CODE_TIMEOUT, and
// the next SendData enables reception again. Thread-safe.
class CFakeComPort : public CComPort
{
    Q_OBJECT
public:
    // Replies to one request (may be empty).
    using Responder = std::function<QList<QByteArray>(const QByteArray &request)>;

    explicit CFakeComPort(QObject *parent = nullptr);
    ~CFakeComPort() override;

    // --- script ---
    // Called for every request the scripted replies do not cover.
    void SetResponder(Responder responder);
    // Replies for every request whose bytes 1 and 2 are cmd and sub.
    void AddReply(uint8_t cmd, uint8_t sub, const QList<QByteArray> &replies);
    // A report queued for the next RecvData, whatever is sent.
    void QueueReply(const QByteArray &report);
    // The next RecvData returns this code (before any queued reply).
    void QueueRecvResult(int32_t nCode);
    // Every SendData returns this code (0: normal, the byte count).
    void SetSendResult(int32_t nCode);
    void SetRecvWaits(bool bWait);
    void SetConnected(bool bConnected);
    void SetDeviceMode(uint32_t nMode);
    void SetVid(int32_t nVid);
    void SetPid(int32_t nPid);
    void SetVersion(int32_t nVersion);

    // --- what happened ---
    QList<QByteArray> Requests() const;
    void ClearRequests();
    int PendingReplies() const;
    bool RecvEnabled() const;
    int UpgradeStatus() const;
    int ClaimCount() const;

    // --- CComPort ---
    bool IsConnected() override;
    int32_t SetRecvEnable(uint8_t enable, int devIndex) override;
    int32_t ClaimDeviceInterface(int devIndex) override;
    int32_t ReleaseDeviceInterface(int devIndex) override;
    uint32_t GetDeviceMode() override;
    int32_t GetVid() override;
    int32_t GetPid() override;
    int32_t GetVersion() override;
    int32_t SetUpgradeStatus(uint8_t bUpgrade) override;
    int32_t SendData(const uint8_t *buf, int len, int timeout, int devIndex) override;
    int32_t RecvData(uint8_t *buf, int len, int timeout, int devIndex) override;
    int32_t SendAndRecvData(const uint8_t *wbuf, int wlen, uint8_t *rbuf, int rlen, int timeout,
                            int devIndex) override;

private:
    mutable QMutex m_mutex;
    QWaitCondition m_cond;
    Responder m_responder;
    QMap<uint16_t, QList<QByteArray>> m_replies; // cmd << 8 | sub
    QList<QByteArray> m_queue;
    QList<int32_t> m_recvResults;
    QList<QByteArray> m_requests;
    int32_t m_nSendResult = 0;
    bool m_bRecvWaits = false;
    bool m_bConnected = true;
    bool m_bRecvEnable = true;
    int m_nUpgrade = 0;
    int m_nClaims = 0;
    uint32_t m_nMode = 1;
    int32_t m_nVid = 0x1FF7;
    int32_t m_nPid = 0x0001;
    int32_t m_nVersion = 0x7300;
};
