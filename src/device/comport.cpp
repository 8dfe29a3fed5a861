#include "comport.h"

#include "touchdata.h"

CComPort::CComPort(QObject *parent)
    : QObject(parent)
{
    RegisterTouchDataMetaType();
}

CComPort::~CComPort() = default;

int32_t CComPort::ClaimDeviceInterface(int devIndex)
{
    Q_UNUSED(devIndex);
    return 0;
}

int32_t CComPort::ReleaseDeviceInterface(int devIndex)
{
    Q_UNUSED(devIndex);
    return 0;
}
