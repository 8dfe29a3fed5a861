#pragma once

#include "comport.h"
#include "touchdata.h"
#include "touchdeviceinfo.h"
#include "touchpoint.h"

#include <QList>
#include <QMutex>
#include <QString>

class TouchSDK;

// The port to touch frames attached by USB. Keeps a table of the attached
// frames (record 0 is the current frame), turns the device layer's plug and
// unplug callbacks into DeviceInsert and its raw reports into SendTouchData,
// and forwards every operation to the device of a table record.
//
// Locks, always taken in this order: the I/O mutex (sends and receives, and
// changes of the table), the claim mutex (claim and release, and changes of
// the table), and a short table lock that every reader of the table takes and
// that keeps the record's device object alive while a call uses it. The table
// lock is never held across a wait, so SetRecvEnable from another thread
// breaks a receive that holds the I/O mutex at once. A call that waits on a
// device object (a send, a receive, the switch into or out of the download
// mode) holds the I/O mutex instead, for which a removal waits.
//
// A frame that arrives while the table is full waits, in order of arrival,
// for a place to free.
class CComPortUsb : public CComPort
{
    Q_OBJECT
public:
    explicit CComPortUsb(QObject *parent = nullptr);
    ~CComPortUsb() override;

    static constexpr int MAX_DEVICES = 16;

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

    // True when the current frame's product id lies from 0xFF00 to 0xFFFD
    // (false without a frame).
    virtual bool IsBootloaderPid();
    virtual int32_t SendUpgradeData(const uint8_t *buf, int len, int timeout, int devIndex);
    virtual int32_t RecvUpgradeData(uint8_t *buf, int len, int timeout, int devIndex);
    virtual int32_t InjectTouch(const TouchPoint *points, int count, int screenWidth, int screenHeight);
    // Makes the frame of that device name the current frame; returns 0.
    virtual int32_t SelectDevice(const QString &name);

    int GetDevCount();
    QList<QString> GetDeviceNameList();

signals:
    // One raw report of any attached frame, emitted on that frame's raw reader thread.
    void SendTouchData(TouchData data);
    // The device names of all attached frames in table order, after every hot-plug callback.
    void DeviceListChanged(QList<QString> lstDev);

private:
    static void OnTouchData(const TouchDeviceInfo *info, TouchData data, void *context);
    static void HotplugCb(const TouchDeviceInfo *info, bool bAttached, void *pThis);

    // The handle of record devIndex (only hDevice is set), or false when the
    // index is outside the table. Caller holds the table lock.
    bool HandleOfLocked(int devIndex, TouchDeviceInfo *pHandle) const;
    QList<QString> NamesLocked() const;

    TouchSDK *m_pTouchSDK;
    QMutex m_ioMutex;
    QMutex m_claimMutex;
    TouchDeviceInfo m_devTable[MAX_DEVICES];
    int m_nDevCount = 0;
    QList<TouchDeviceInfo> m_lstWaiting; // arrived while the table was full
    mutable QMutex m_tableMutex;
};
