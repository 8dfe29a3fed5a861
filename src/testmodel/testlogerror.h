#pragma once

#include <cstdint>

// Result codes of the test log (top bit set: failure).
// The log file cannot be opened for reading.
constexpr int32_t ERROR_LOG_OPEN = static_cast<int32_t>(0x81140000u);
// The log is not well-formed XML, or it carries counts beyond what a frame can have.
constexpr int32_t ERROR_LOG_FORMAT = static_cast<int32_t>(0x81140001u);
// The log could not be written completely (folder missing or read-only, disk
// full); any earlier file at that path is left as it was.
constexpr int32_t ERROR_LOG_SAVE = static_cast<int32_t>(0x81140002u);

// True for every result code of the test log above (its own family, whatever
// the low bits say: ERROR_LOG_FORMAT's low bits look like a time-out's).
constexpr bool IsTestLogError(int32_t nResult)
{
    return (static_cast<uint32_t>(nResult) & 0xFFFF0000u) == (static_cast<uint32_t>(ERROR_LOG_OPEN) & 0xFFFF0000u);
}
