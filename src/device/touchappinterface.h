#pragma once

#include "touchdata.h"
#include "touchdeviceinfo.h"

// Called for every raw report of every frame, on that frame's raw reader thread.
using TouchRawDataCallback = void (*)(const TouchDeviceInfo *info, TouchData data, void *context);
// Called on the hot-plug thread when a frame is announced (true) or removed (false).
using TouchHotplugCallback = void (*)(const TouchDeviceInfo *info, bool bPlug, void *context);

// One registration of an application with the device layer. Either callback
// may be empty.
struct TouchAppInterface
{
    TouchRawDataCallback m_funcRawData;
    TouchHotplugCallback m_funcHotplugDevInfo;
    void *m_pContext;
};
