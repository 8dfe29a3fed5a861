#pragma once

#include <cstdint>

// One contact to inject. Records follow each other 32 bytes apart.
struct TouchPoint
{
    int32_t id;       // contact id
    int32_t state;    // 1 down, 2 move, 3 up; anything else is skipped
    int32_t x;        // 0..32767 across the screen
    int32_t y;        // 0..32767 down the screen
    int32_t width;    // same units as x
    int32_t height;   // same units as y
    int32_t pressure;
    int32_t reserved;
};
static_assert(sizeof(TouchPoint) == 32, "TouchPoint records are 32 bytes apart");
