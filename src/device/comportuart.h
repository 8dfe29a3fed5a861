#pragma once

#include "comport.h"
#include "serialframe.h"
#include "touchdata.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QSerialPort>
#include <QString>
#include <QWaitCondition>
#include <atomic>

class CWorkThread;
class QThread;

// One touch frame on one serial line: the port of CComPort over QSerialPort,
// each report wrapped in a serial frame (serialframe.h).
//
// The line parameters live in the customer settings ("Parity", "StopBit",
// "FlowControl", "BaudRate", "DataBit", "PortName"). A port constructed with an
// empty name only reads (and creates) these keys: it opens nothing and runs no
// poll thread. Open() opens the line and starts the poll thread.
//
// Threads. While the line is open, the QSerialPort belongs to the poll thread
// and is touched by no other thread: the poll thread reads the line, parses and
// queues the replies, keeps the link alive and writes the frames that other
// threads hand it by queued calls (SendData waits for its own write). It waits
// in slices of 200 ms and leaves within one slice when the port is closed or
// destroyed; then it closes the line and hands the QSerialPort back.
//
// Link. A frame whose first body byte is 0xFC (application) or 0xFD
// (bootloader) sets up the link: DeviceInsert(true), the device mode, and the
// framing of outgoing reports (1F F7 or 2F E9, whichever the frame used). A
// change between 0xFC and 0xFD is signalled as DeviceInsert(false) followed by
// DeviceInsert(true). After 200 ms without data the port sends the keep-alive
// FE 08 00 (2F E9); after 1000 ms it drops the link (DeviceInsert(false)).
// DeviceInsert is emitted on the poll thread.
class CComPortUart : public CComPort
{
    Q_OBJECT
public:
    // Opens portName when it is not empty. Call Open() and destroy the port on
    // the thread that created it.
    explicit CComPortUart(const QString &portName, QObject *parent = nullptr);
    ~CComPortUart() override;

    bool IsConnected() override;
    int32_t SetRecvEnable(uint8_t enable, int devIndex) override;
    int32_t ClaimDeviceInterface(int devIndex) override;
    int32_t ReleaseDeviceInterface(int devIndex) override;
    // 1 application firmware, 0 bootloader; ERROR_CODE_LOST_DEVICE (as
    // unsigned) until a link frame has been received.
    uint32_t GetDeviceMode() override;
    int32_t GetVid() override;
    int32_t GetPid() override;
    int32_t GetVersion() override;
    int32_t SetUpgradeStatus(uint8_t bUpgrade) override;
    // Frames the report with the framing of the link and writes it; returns the
    // number of frame bytes written or an error code. Empties the reply queue
    // of the link first, so that only replies to this report are read.
    int32_t SendData(const uint8_t *buf, int len, int timeout, int devIndex) override;
    // The next reply whose report id is the link byte, at most len bytes of it.
    int32_t RecvData(uint8_t *buf, int len, int timeout, int devIndex) override;
    int32_t SendAndRecvData(const uint8_t *wbuf, int wlen, uint8_t *rbuf, int rlen, int timeout,
                            int devIndex) override;

    // Link tracking for a frame received with the given head and first body
    // byte. Returns 1.
    virtual int32_t OnLinkState(uint32_t head, uint8_t linkByte);
    // SendData with the given framing (0x1FF7, 0x2FE9, 0x79 or 0x7F).
    virtual int32_t SendFrame(const uint8_t *buf, int len, int timeout, int devIndex, uint32_t head);

    // 0 when the line is open, -1 when it could not be opened.
    int Open();
    // The poll thread's function; port is the CComPortUart.
    static void PollLoop(void *port);
    // Keep-alive and link time-out; called by the poll thread once per slice.
    void CheckLink();

    // Line parameters as the texts of the settings store. Getters read the
    // serial port's current settings; setters parse a text into the value that
    // the next Open() applies and return whether the text was recognised.
    QString GetParity() const;
    bool SetParity(const QString &text);
    QString GetStopBits() const;
    bool SetStopBits(const QString &text);
    QString GetFlowControl() const;
    bool SetFlowControl(const QString &text);
    QString GetDataBits() const;
    bool SetDataBits(const QString &text);
    QString GetBaudRate() const;
    bool SetBaudRate(const QString &text);
    QString GetPortName() const;
    bool SetPortName(const QString &text);

signals:
    void openUartFinished(int32_t nRet);
    void writeDataFinished(int32_t nRet);

public slots:
    // Reads what the line holds and queues every complete reply. Runs on the
    // thread that owns the line (the poll thread while it is open).
    int MsgRecvDataEvent();
    // Writes the bytes on the line; the count written, -1, or
    // ERROR_CODE_LOST_DEVICE when the line is closed. Safe from any thread.
    int32_t writeData(QByteArray byteArray, int32_t nTimeOut);
    int32_t writeData(QByteArray byteArray);

private slots:
    void OnLineError(QSerialPort::SerialPortError error);

private:
    int32_t SendFramed(const uint8_t *buf, int len, int timeout, uint32_t head, bool bClearReplies);
    int32_t WriteFrame(const QByteArray &frame, int timeout);
    void HandleReceived(const uint8_t *data, int len);
    void QueueReply(const TouchData &record);
    void RunPoll();
    void StopPolling();
    void CloseLine();
    void DropLink();
    void ApplyLineSettings();
    bool OnLineThread() const;

    QSerialPort m_serialPort;
    int m_nBaudRate;
    QString m_strPortName;
    int m_nParity;
    int m_nStopBits;
    int m_nDataBits;
    int m_nFlowControl;
    std::atomic<int32_t> m_nLastWriteResult;
    CWorkThread *m_pPollThread;
    std::atomic<bool> m_bRunning;

    QMap<uint8_t, QList<TouchData>> m_replyQueues;
    QMutex m_queueMutex;
    QWaitCondition m_replyArrived;   // a reply was queued, or the line or interface went
    QList<uint8_t> m_overflowReported;

    std::atomic<uint32_t> m_nFrameHead;
    std::atomic<uint32_t> m_nDeviceMode;
    std::atomic<bool> m_bConnected;
    std::atomic<qint64> m_nLastRecvMs;  // monotonic (CStationClock)
    std::atomic<uint8_t> m_nLinkByte;
    std::atomic<int32_t> m_nInterfaceState; // 1 open and claimed, 0 released, -1 open failed
    QMutex m_linkMutex;                     // serialises link changes and their signals

    // Line ownership: m_bLineOpen changes only under m_lineMutex, and writes
    // are handed to the poll thread only while it is set.
    QMutex m_lineMutex;
    std::atomic<bool> m_bLineOpen;
    QThread *m_pOwnerThread;

    // Receiving, on the poll thread only.
    PacketContext m_parser;
    uint8_t m_recvBuffer[1000];
    qint64 m_nLastByteMs;
    bool m_bClosePending; // a removed line is about to be closed
};
