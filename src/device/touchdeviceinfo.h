#pragma once

#include <cstdint>

class CTouchDevice;

constexpr int TOUCH_DEVICE_STRING_SIZE = 260;

// Identity of one attached frame, filled by the device layer and copied by
// value into every consumer's table. hDevice is the handle through which the
// device-layer interface addresses the frame.
struct TouchDeviceInfo
{
    CTouchDevice *hDevice;
    uint16_t nVid;
    uint16_t nPid;
    uint16_t nVersion;   // USB release number: the frame's protocol version word
    uint32_t nMode;      // DEVICE_MODE_APPLICATION or DEVICE_MODE_BOOTLOADER (devicemode.h)
    char szManufacturer[TOUCH_DEVICE_STRING_SIZE];
    char szProduct[TOUCH_DEVICE_STRING_SIZE];
    char szSerialNumber[TOUCH_DEVICE_STRING_SIZE];
    char szDevName[TOUCH_DEVICE_STRING_SIZE]; // "USB\VID_%04X&PID_%04X&REV_%04X"
};
