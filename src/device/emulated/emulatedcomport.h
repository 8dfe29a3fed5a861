#pragma once

#include "comport.h"
#include "emulatedframe.h"

#include <QByteArray>
#include <QList>
#include <atomic>
#include <functional>
#include <mutex>

// A port (CComPort) with an emulated frame behind it, for fast unit tests of
// the device commands.
//
// Time is virtual: a read that waits for a reply the frame sends after a delay
// advances the port's clock to that moment, and a read that times out advances
// it by its time-out and returns at once. Ten reads of 10 s or 80 s therefore
// take no real time, while late replies, removals and re-plugs still happen in
// the right order relative to the station's waits.
//
// The port behaves as the USB port does for the station: SendData switches
// reception back on; RecvData returns 0x80000001 on a time-out (at once when
// reception is off and nothing is queued), 0x80000004 when reception is off and
// a reply is queued (the reply stays), 0x80000002 once the frame left the bus;
// device index 0 is the frame, any other index is absent.
class CEmulatedComPort : public CComPort
{
    Q_OBJECT
public:
    explicit CEmulatedComPort(CEmulatedFrame *pFrame, QObject *parent = nullptr);
    ~CEmulatedComPort() override;

    bool IsConnected() override;
    int32_t SetRecvEnable(uint8_t enable, int devIndex) override;
    uint32_t GetDeviceMode() override;
    int32_t GetVid() override;
    int32_t GetPid() override;
    int32_t GetVersion() override;
    int32_t SetUpgradeStatus(uint8_t bUpgrade) override;
    int32_t SendData(const uint8_t *buf, int len, int timeout, int devIndex) override;
    int32_t RecvData(uint8_t *buf, int len, int timeout, int devIndex) override;
    int32_t SendAndRecvData(const uint8_t *wbuf, int wlen, uint8_t *rbuf, int rlen, int timeout,
                            int devIndex) override;

    CEmulatedFrame *Frame() const { return m_pFrame; }

    // Virtual clock of the port, in ms.
    qint64 NowMs() const;
    // Lets time pass (carries out removals and arrivals that fall due).
    void AdvanceTime(int nMs);

    // The frame leaves the bus now / comes back in its current mode.
    void Unplug();
    void Plug();

    // Replies waiting in the command queue.
    int QueuedReplies() const;
    // Puts a report into the command queue as if the frame had sent it.
    void QueueReply(const QByteArray &report, int nDelayMs = 0);

    // Every write fails with this code (0: writes work).
    void SetSendError(int32_t nCode);

    // Called (outside the port's lock) after each request was handed to the
    // frame: tests use it to act in the middle of a command.
    void SetSendHook(const std::function<void(const QByteArray &request)> &hook);
    // Called (outside the port's lock) after each report a read returned.
    void SetRecvHook(const std::function<void(const QByteArray &report)> &hook);

    // The time-outs the station passed, per call.
    QList<int> SendTimeouts() const;
    QList<int> RecvTimeouts() const;
    QList<int> RecvDevIndexes() const;
    int SendCount() const;
    int RecvCount() const;
    void ClearCounters();
    bool UpgradeStatus() const;

private:
    struct Pending
    {
        QByteArray report;
        qint64 nReadyAt;
    };
    struct Event
    {
        qint64 nAt;
        bool bAttach;
        CEmulatedFrame::Mode mode;
    };

    void Schedule(const QList<CEmulatedFrame::Action> &actions);
    void ProcessEvents(qint64 nUntil, QList<bool> *pSignals);
    qint64 NextEventAt() const;
    quint8 CommandReplyId() const;
    void Emit(const QList<bool> &signalList);

    CEmulatedFrame *m_pFrame;
    mutable std::recursive_mutex m_mutex;
    qint64 m_nNow = 0;
    QList<Pending> m_queue;
    QList<Event> m_events;
    std::atomic<bool> m_bRecvEnabled{true};
    std::atomic<bool> m_bUpgrade{false};
    int32_t m_nSendError = 0;
    std::function<void(const QByteArray &)> m_sendHook;
    std::function<void(const QByteArray &)> m_recvHook;
    QList<int> m_sendTimeouts;
    QList<int> m_recvTimeouts;
    QList<int> m_recvDevs;
};
