#pragma once

#include "hidbackend.h"
#include "touchcollection.h"
#include "touchmanage.h"

#include <QString>
#include <memory>

class CUsbHotplug;
class CUsbListenerForLinux;

// The device manager on Linux: finds the touch frames among the hidraw nodes,
// groups the nodes of one frame by their USB device (bus and device number,
// so a frame that re-enumerates, e.g. into its bootloader, is a removal and a
// new arrival), and repeats this on every udev event and every 2000 ms.
class CTouchManageForOS : public CTouchManage
{
public:
    CTouchManageForOS();
    ~CTouchManageForOS() override;

    int32_t EnumDevices(QList<QString> &keys) override;
    void CheckHotPlugThread() override;

    // Opens a collection of the frame with this key, creating its device
    // object when the key is new. Returns 0.
    int32_t AddDevice(const HidNodeInfo &node, const TouchCollection &collection, const QString &strKey);

    // The key of a node's frame: its USB device, as a decimal number.
    static QString DeviceKey(const HidNodeInfo &node);

    CUsbHotplug *Hotplug() const { return m_pUsbHotplug; }
    CHidBackend *Backend() const { return m_pBackend.get(); }

private:
    std::shared_ptr<CHidBackend> m_pBackend;
    CUsbHotplug *m_pUsbHotplug = nullptr;
    CUsbListenerForLinux *m_pListener = nullptr;
};
