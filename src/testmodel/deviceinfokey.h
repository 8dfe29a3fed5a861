#pragma once

#include "latin1literal.h"

// Names of the device-information list (the test core's property list): what
// the frame says about itself, shown by the main window and the work views,
// written to the test log and used to name the log's folder and file.
namespace DeviceInfoKey {
constexpr QLatin1String kProduct = Latin1Literal("Product");
constexpr QLatin1String kVid = Latin1Literal("Vid");
constexpr QLatin1String kPid = Latin1Literal("Pid");
constexpr QLatin1String kVersion = Latin1Literal("Version");
constexpr QLatin1String kCheckSum = Latin1Literal("CheckSum");
constexpr QLatin1String kBootVersion = Latin1Literal("BootVersion");
constexpr QLatin1String kBootCheckSum = Latin1Literal("BootCheckSum");
constexpr QLatin1String kMcuID = Latin1Literal("McuID");
constexpr QLatin1String kBatchInfo = Latin1Literal("BatchInfo");
constexpr QLatin1String kMaxPoint = Latin1Literal("MaxPoint");
} // namespace DeviceInfoKey
