#pragma once

// The station program's name (with its trailing blank) and version, which
// make the window title and the run log's first line, and the id under which
// only one instance runs.
namespace StationInfo {
constexpr const char* kAppName = "KESTREL-CUSTOMER ";
constexpr const char* kAppVersion = "0.0.0.6";
constexpr const char* kAppGuid = "{0BEA53ED-18B6-791F-26DD-459E0E5CEB44}";
} // namespace StationInfo
