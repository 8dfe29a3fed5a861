#pragma once

#include <cstdint>

// The firmware a frame runs, as the device layer records it for every frame
// (TouchDeviceInfo::nMode) and the ports report it (CComPort::GetDeviceMode):
// its application, which answers on the command collection, or its
// bootloader, which takes a firmware image on the boot collection. A port
// without a frame reports an error code instead.
constexpr uint32_t DEVICE_MODE_BOOTLOADER = 0;
constexpr uint32_t DEVICE_MODE_APPLICATION = 1;
