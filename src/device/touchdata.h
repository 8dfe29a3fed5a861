#pragma once

#include <QMetaType>
#include <cstdint>

// One report as read from a frame: the number of bytes read (at most 64)
// followed by the report itself; byte 0 is the report id.
struct TouchData
{
    uint32_t length;
    uint8_t report[64];
};
static_assert(sizeof(TouchData) == 68, "TouchData is a 68-byte record");

Q_DECLARE_METATYPE(TouchData)

// Registers TouchData with the signal system under its own name so that it can
// travel in queued signals. Safe to call any number of times.
void RegisterTouchDataMetaType();
