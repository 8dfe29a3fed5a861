#pragma once

#include "deviceerror.h"
#include "devicemode.h"

#include <QObject>
#include <cstdint>

// The transport through which every device command reaches a touch frame.
// Results are 32-bit: a value >= 0 is a success (byte count, flag, id or 0), a
// negative value is one of the ERROR_CODE_* constants of deviceerror.h.
// devIndex selects a frame of the port's own table (0 = the current frame).
class CComPort : public QObject
{
    Q_OBJECT
public:
    explicit CComPort(QObject *parent = nullptr);
    ~CComPort() override;

    virtual bool IsConnected() = 0;
    // 1 enables, 0 disables reception; a waiting RecvData ends early while disabled.
    virtual int32_t SetRecvEnable(uint8_t enable, int devIndex) = 0;
    virtual int32_t ClaimDeviceInterface(int devIndex);
    virtual int32_t ReleaseDeviceInterface(int devIndex);
    // DEVICE_MODE_APPLICATION or DEVICE_MODE_BOOTLOADER (ERROR_CODE_LOST_DEVICE as
    // unsigned when there is no frame).
    virtual uint32_t GetDeviceMode() = 0;
    virtual int32_t GetVid() = 0;
    virtual int32_t GetPid() = 0;
    virtual int32_t GetVersion() = 0;
    virtual int32_t SetUpgradeStatus(uint8_t bUpgrade) = 0;
    virtual int32_t SendData(const uint8_t *buf, int len, int timeout, int devIndex) = 0;
    virtual int32_t RecvData(uint8_t *buf, int len, int timeout, int devIndex) = 0;
    virtual int32_t SendAndRecvData(const uint8_t *wbuf, int wlen, uint8_t *rbuf, int rlen,
                                    int timeout, int devIndex) = 0;

signals:
    // A frame became available (true) or the current frame went away (false).
    void DeviceInsert(bool state);
};
