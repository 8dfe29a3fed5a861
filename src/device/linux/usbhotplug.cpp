#include "usbhotplug.h"

#include "touchmanageforos.h"

#include <QDebug>

CUsbHotplug::CUsbHotplug(CTouchManageForOS *pManage, QObject *parent)
    : QObject(parent),
      m_pManage(pManage)
{
}

void CUsbHotplug::DeviceChangeCbk()
{
    QList<QString> keys = m_pManage->GetDeviceMap().keys();
    const int32_t nResult = m_pManage->EnumDevices(keys);
    if (nResult == 0) {
        m_pManage->UpdateDeviceMap(keys);
    } else {
        // Nothing can be concluded from a pass that could not see the
        // devices: the frames of the map stay until a pass sees them gone.
        qWarning().noquote() << "DeviceChangeCbk" << ": enumeration failed (" << nResult
                             << "), no frame reported removed";
    }
    ++m_nPasses;
    emit PassDone();
}
