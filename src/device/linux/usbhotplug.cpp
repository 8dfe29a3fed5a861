#include "usbhotplug.h"

#include "touchdevice.h"
#include "touchmanageforos.h"

#include <QDebug>

CUsbHotplug::CUsbHotplug(CTouchManageForOS *pManage, QObject *parent)
    : QObject(parent),
      m_pManage(pManage)
{
}

void CUsbHotplug::DeviceChangeCbk()
{
    ++m_nBegun;
    // A frame whose object found it gone (a read or write said so) while the
    // system still lists it: the object is announced gone now, and the
    // listing below makes a new one, announced as an arrival.
    QList<QString> lost;
    const QMap<QString, CTouchDevice *> map = m_pManage->GetDeviceMap();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.value()->GetDeviceStatus() == CTouchDevice::StatusLost)
            lost.append(it.key());
    }
    if (!lost.isEmpty()) {
        qInfo().noquote() << "DeviceChangeCbk" << ":" << lost.size() << "frame(s) found gone by their reader or writer";
        m_pManage->UpdateDeviceMap(lost);
    }

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
