#pragma once

#include "deviceerror.h"
#include "devicemode.h"
#include "touchdata.h"
#include "touchdeviceinfo.h"
#include "vidpid.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QWaitCondition>
#include <atomic>
#include <cstdint>

class CWorkThread;

// One attached touch frame: its identity record, state, reader threads and
// one queue of incoming reports per report id. The platform half (opening
// the frame's HID collections, the reader loops, writes and direct reads) is
// CTouchDeviceForOS. Objects are created and deleted by the device manager
// and reached through TouchSDK only.
class CTouchDevice
{
public:
    explicit CTouchDevice(const QString &strPath);
    virtual ~CTouchDevice();

    CTouchDevice(const CTouchDevice &) = delete;
    CTouchDevice &operator=(const CTouchDevice &) = delete;

    enum Status { StatusLost = -1, StatusReleased = 0, StatusOpen = 1 };

    virtual QString GetDevicePath();
    virtual TouchDeviceInfo *GetDeviceInfo();
    virtual int32_t GetDeviceStatus();
    virtual int32_t IsSameDevicePath(const QString &strPath);
    virtual int32_t ClaimDeviceInterface();
    virtual int32_t ReleaseDeviceInterface();
    virtual int32_t ChangeUpgradeStatus(bool bIsUpgrade);
    virtual int32_t SendUpgradeData(const uint8_t *buf, int len, int timeout) = 0;
    virtual int32_t RecvUpgradeData(uint8_t *buf, int len, int timeout) = 0;
    virtual int32_t SendData(const uint8_t *buf, int len, int timeout) = 0;
    // Next report of the current command report id, waiting up to timeout ms.
    virtual int32_t RecvData(uint8_t *buf, int len, int timeout);
    virtual int32_t ProcessCmdDataTransfer() = 0;
    virtual int32_t ProcessRawDataTransfer() = 0;
    virtual void SetRecvEnable(bool bEnable);

    // Bodies of the two reader threads; the argument is the device.
    static void ProcessCmdThread(void *pDevice);
    static void ProcessRawThread(void *pDevice);

    // Supported vendor/product ids (product 0xFFFF = any product of the vendor).
    static void InitSupportedVidPidList();
    static bool IsSupportedVidPid(uint16_t nVid, uint16_t nPid);
    // Stores the user list (CVidPidSettings) and uses it from then on: 0;
    // -1 when the store could not be written, and the list in use is then
    // the one the store holds; -1 with nothing changed for a list of more
    // than CVidPidSettings::kMaxPairs pairs. Repeated pairs count once.
    static int32_t SetSettingsVidPidList(const QList<VidPid> &list);
    static QList<VidPid> GetBuiltinVidPidList();
    static QList<VidPid> GetSettingsVidPidList();
    // Parses one stored key ("0x1ff7-0x0001"); false when it is not a pair.
    static bool ParseVidPidKey(const QString &strKey, VidPid *pPair);

    // Reports kept per report id before the oldest are dropped.
    static constexpr int MAX_QUEUED_REPORTS = 256;
    // Reports waiting in the queue of one report id (tests and diagnostics).
    int QueuedReportCount(uint8_t nReportId);

protected:
    friend class CTouchManage;

    // Appends a report to the queue of its id (byte 0) and wakes a waiting
    // RecvData. Reports of id 0xFF have no queue and are dropped.
    void PushReport(const TouchData &data);
    // Wakes every wait of this device so that it looks at its state again.
    virtual void WakeWaiters();
    void SetStatus(int32_t nStatus);

    QString m_strPath;
    TouchDeviceInfo m_devInfo;
    std::atomic<int32_t> m_nStatus{StatusReleased};
    CWorkThread *m_pCmdThread = nullptr;
    CWorkThread *m_pRawThread = nullptr;
    std::atomic<bool> m_bRun{true};
    std::atomic<bool> m_bRecvEnable{true};
    // SetRecvEnable(false) calls so far: a wait ends when this changes.
    std::atomic<uint32_t> m_nRecvOffCount{0};

    static constexpr int REPORT_QUEUE_COUNT = 255; // ids 0..254
    struct ReportQueue
    {
        QMutex mutex;
        QList<TouchData> list;
        bool bOverflowLogged = false;
    };
    ReportQueue *m_pQueues;

    std::atomic<uint8_t> m_nCmdReportId{0xFC};
    std::atomic<uint8_t> m_nRawReportId{0xFB};
    std::atomic<uint32_t> m_nMode{DEVICE_MODE_APPLICATION};
    std::atomic<bool> m_bUpgrade{false};

    // A waiting RecvData sleeps on this condition; pushes, state changes and
    // SetRecvEnable wake it.
    QMutex m_wakeMutex;
    QWaitCondition m_wakeCond;
};
