#include "touchsdk.h"

#include "simulatortouch.h"
#include "simulatortouchforos.h"
#include "touchdevice.h"
#include "touchmanage.h"

#include <QDebug>

#include <mutex>

namespace {
// The injector a test set (none in production).
std::mutex g_injectorMutex;
std::shared_ptr<CSimulatorTouch> g_pTestInjector;

std::shared_ptr<CSimulatorTouch> TestInjector()
{
    std::lock_guard<std::mutex> lock(g_injectorMutex);
    return g_pTestInjector;
}
} // namespace

TouchSDK::TouchSDK()
{
    CTouchDevice::InitSupportedVidPidList();
}

TouchSDK::~TouchSDK()
{
    qInfo().noquote() << "Release TouchSDK...";
    if (m_lstInterfaces.isEmpty())
        return;
    CTouchManage *pManage = CTouchManage::PeekInstance();
    int32_t nLeft = 0;
    for (TouchAppInterface *pInterface : qAsConst(m_lstInterfaces)) {
        // Returns once no callback of the record runs; none starts afterwards.
        if (pManage)
            nLeft = pManage->RemoveAppInterface(pInterface);
        delete pInterface;
    }
    m_lstInterfaces.clear();
    if (pManage && nLeft == 0)
        CTouchManage::DeleteInstance();
}

uint32_t TouchSDK::GetVersion()
{
    return 0x3000601;
}

int32_t TouchSDK::RegisterAppInterface(TouchDeviceInfo *table, int max, TouchRawDataCallback funcRawData,
                                       TouchHotplugCallback funcHotplug, void *pContext)
{
    CTouchManage *pManage = CTouchManage::GetInstance();
    auto *pInterface = new TouchAppInterface{funcRawData, funcHotplug, pContext};
    m_lstInterfaces.append(pInterface);
    return pManage->RegisterAppInterface(pInterface, table, max);
}

int32_t TouchSDK::GetDeviceCount()
{
    CTouchManage *pManage = CTouchManage::PeekInstance();
    return pManage ? pManage->GetDeviceCount() : 0;
}

namespace {
CTouchDevice *DeviceOf(const TouchDeviceInfo *handle)
{
    return handle ? handle->hDevice : nullptr;
}
} // namespace

int32_t TouchSDK::SendData(const TouchDeviceInfo *handle, const uint8_t *buf, int len, int timeout)
{
    CTouchDevice *pDevice = DeviceOf(handle);
    return pDevice ? pDevice->SendData(buf, len, timeout) : ERROR_CODE_NULL_DEVICE;
}

int32_t TouchSDK::SendUpgradeData(const TouchDeviceInfo *handle, const uint8_t *buf, int len, int timeout)
{
    CTouchDevice *pDevice = DeviceOf(handle);
    return pDevice ? pDevice->SendUpgradeData(buf, len, timeout) : ERROR_CODE_NULL_DEVICE;
}

int32_t TouchSDK::RecvData(const TouchDeviceInfo *handle, uint8_t *buf, int len, int timeout)
{
    CTouchDevice *pDevice = DeviceOf(handle);
    return pDevice ? pDevice->RecvData(buf, len, timeout) : ERROR_CODE_NULL_DEVICE;
}

int32_t TouchSDK::RecvUpgradeData(const TouchDeviceInfo *handle, uint8_t *buf, int len, int timeout)
{
    CTouchDevice *pDevice = DeviceOf(handle);
    return pDevice ? pDevice->RecvUpgradeData(buf, len, timeout) : ERROR_CODE_NULL_DEVICE;
}

int32_t TouchSDK::SendAndRecvData(const TouchDeviceInfo *handle, const uint8_t *wbuf, int wlen, uint8_t *rbuf,
                                  int rlen, int timeout)
{
    CTouchDevice *pDevice = DeviceOf(handle);
    if (!pDevice)
        return ERROR_CODE_NULL_DEVICE;
    const int32_t nSent = pDevice->SendData(wbuf, wlen, SEND_TIMEOUT_MS);
    if (nSent < 0)
        return nSent;
    return pDevice->RecvData(rbuf, rlen, timeout);
}

int32_t TouchSDK::SetRecvEnable(const TouchDeviceInfo *handle, uint8_t enable)
{
    CTouchDevice *pDevice = DeviceOf(handle);
    if (!pDevice)
        return ERROR_CODE_NULL_DEVICE;
    pDevice->SetRecvEnable(enable != 0);
    return 0;
}

int32_t TouchSDK::SetUpgradeStatus(const TouchDeviceInfo *handle, uint8_t bUpgrade)
{
    CTouchDevice *pDevice = DeviceOf(handle);
    if (pDevice)
        pDevice->ChangeUpgradeStatus(bUpgrade != 0);
    return 0;
}

int32_t TouchSDK::ClaimDeviceInterface(const TouchDeviceInfo *handle)
{
    CTouchDevice *pDevice = DeviceOf(handle);
    return pDevice ? pDevice->ClaimDeviceInterface() : 0;
}

int32_t TouchSDK::ReleaseDeviceInterface(const TouchDeviceInfo *handle)
{
    CTouchDevice *pDevice = DeviceOf(handle);
    return pDevice ? pDevice->ReleaseDeviceInterface() : 0;
}

CSimulatorTouch *TouchSDK::GetSimulatorTouch()
{
    if (CSimulatorTouch *pInjector = TestInjector().get())
        return pInjector;
    return CSimulatorTouchForOS::GetInstance();
}

int32_t TouchSDK::InjectTouch(const TouchPoint *points, int count, int screenWidth, int screenHeight)
{
    // Held for the call: a test may replace its injector meanwhile.
    if (const std::shared_ptr<CSimulatorTouch> pInjector = TestInjector())
        return pInjector->InjectTouch(points, count, screenWidth, screenHeight);
    return CSimulatorTouchForOS::GetInstance()->InjectTouch(points, count, screenWidth, screenHeight);
}

void TouchSDK::SetSimulatorTouchForTest(std::shared_ptr<CSimulatorTouch> pInjector)
{
    std::lock_guard<std::mutex> lock(g_injectorMutex);
    g_pTestInjector = std::move(pInjector);
}

int32_t TouchSDK::SetSettingsVidPidList(const QList<VidPid> &list)
{
    return CTouchDevice::SetSettingsVidPidList(list);
}

QList<VidPid> TouchSDK::GetBuiltinVidPidList()
{
    return CTouchDevice::GetBuiltinVidPidList();
}

QList<VidPid> TouchSDK::GetSettingsVidPidList()
{
    return CTouchDevice::GetSettingsVidPidList();
}
