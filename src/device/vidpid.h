#pragma once

#include <cstdint>

// One supported USB vendor/product pair; product 0xFFFF stands for every
// product of the vendor.
struct VidPid
{
    uint16_t vid;
    uint16_t pid;

    bool operator==(const VidPid &other) const { return vid == other.vid && pid == other.pid; }
    bool operator!=(const VidPid &other) const { return !(*this == other); }
};

constexpr uint16_t VIDPID_ANY_PRODUCT = 0xFFFF;
