#pragma once

#include "touchappinterface.h"
#include "deviceerror.h"
#include "touchdata.h"
#include "touchdeviceinfo.h"
#include "touchpoint.h"
#include "vidpid.h"

#include <QList>
#include <cstdint>
#include <memory>

class CSimulatorTouch;

// The narrow interface to the touch-device layer: registration of callbacks,
// per-device operations addressed by a device-information record (its
// hDevice names the device object), the touch injector and the supported
// VID/PID lists.
//
// The USB port owns one instance and registers through it; deleting that
// instance unregisters and, when it was the last registration, deletes the
// device manager with every device object. Instances that never registered
// (e.g. for the VID/PID lists) leave the device layer alone.
class TouchSDK
{
public:
    TouchSDK();
    ~TouchSDK();

    TouchSDK(const TouchSDK &) = delete;
    TouchSDK &operator=(const TouchSDK &) = delete;

    static uint32_t GetVersion();

    int32_t RegisterAppInterface(TouchDeviceInfo *table, int max, TouchRawDataCallback funcRawData,
                                 TouchHotplugCallback funcHotplug, void *pContext);
    int32_t GetDeviceCount();

    int32_t SendData(const TouchDeviceInfo *handle, const uint8_t *buf, int len, int timeout);
    int32_t SendUpgradeData(const TouchDeviceInfo *handle, const uint8_t *buf, int len, int timeout);
    int32_t RecvData(const TouchDeviceInfo *handle, uint8_t *buf, int len, int timeout);
    int32_t RecvUpgradeData(const TouchDeviceInfo *handle, uint8_t *buf, int len, int timeout);
    int32_t SendAndRecvData(const TouchDeviceInfo *handle, const uint8_t *wbuf, int wlen, uint8_t *rbuf,
                            int rlen, int timeout);
    int32_t SetRecvEnable(const TouchDeviceInfo *handle, uint8_t enable);
    int32_t SetUpgradeStatus(const TouchDeviceInfo *handle, uint8_t bUpgrade);
    int32_t ClaimDeviceInterface(const TouchDeviceInfo *handle);
    int32_t ReleaseDeviceInterface(const TouchDeviceInfo *handle);

    // The injector that replays a frame's contacts to the desktop: the
    // operating system's, or the one a test put in its place.
    static CSimulatorTouch *GetSimulatorTouch();
    static int32_t InjectTouch(const TouchPoint *points, int count, int screenWidth, int screenHeight);
    // Tests only: injections go to pInjector (kept alive until it is
    // replaced, also by a call in flight) instead of the operating system;
    // nullptr restores the operating system's injector. Production never
    // calls it.
    static void SetSimulatorTouchForTest(std::shared_ptr<CSimulatorTouch> pInjector);

    // Stores the user list (CVidPidSettings) and uses it from then on: 0;
    // -1 when the store could not be written, and the list in use is then
    // the one the store holds; -1 with nothing changed for a list of more
    // than CVidPidSettings::kMaxPairs pairs. Repeated pairs count once.
    static int32_t SetSettingsVidPidList(const QList<VidPid> &list);
    static QList<VidPid> GetBuiltinVidPidList();
    static QList<VidPid> GetSettingsVidPidList();

    // The send time-out of SendAndRecvData.
    static constexpr int SEND_TIMEOUT_MS = 30;

private:
    QList<TouchAppInterface *> m_lstInterfaces; // this instance's registrations
};
