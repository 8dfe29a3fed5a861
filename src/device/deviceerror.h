#pragma once

#include <cstdint>

// Transport error codes shared by every port and by the touch-device layer.
// A result with the top bit set is a failure; device operations above the
// port add their operation code in bits 16 to 23.
constexpr int32_t ERROR_CODE_TIMEOUT = int32_t(0x80000001u);     // no reply / write not done in time
constexpr int32_t ERROR_CODE_LOST_DEVICE = int32_t(0x80000002u); // unplugged, released, no such index, port closed
constexpr int32_t ERROR_CODE_NULL_DEVICE = int32_t(0x80000003u); // the record names no device object
constexpr int32_t ERROR_CODE_INTERRUPT = int32_t(0x80000004u);   // reception disabled while a reply waits

// True for every value with the top bit set.
constexpr bool IsPortError(int32_t nResult)
{
    return nResult < 0;
}
