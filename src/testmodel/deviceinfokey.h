#pragma once

#include <QLatin1String>

// Names of the device-information list (the test core's property list): what
// the frame says about itself, shown by the main window and the work views,
// written to the test log and used to name the log's folder and file.
namespace DeviceInfoKey {
constexpr QLatin1String kProduct("Product");
constexpr QLatin1String kVid("Vid");
constexpr QLatin1String kPid("Pid");
constexpr QLatin1String kVersion("Version");
constexpr QLatin1String kCheckSum("CheckSum");
constexpr QLatin1String kBootVersion("BootVersion");
constexpr QLatin1String kBootCheckSum("BootCheckSum");
constexpr QLatin1String kMcuID("McuID");
constexpr QLatin1String kBatchInfo("BatchInfo");
constexpr QLatin1String kMaxPoint("MaxPoint");
} // namespace DeviceInfoKey
