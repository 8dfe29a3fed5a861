#pragma once

#include <QVector>
#include <cstdint>

// Roles of a frame's HID collections, told apart by their report ids.
enum TouchCollectionKind {
    ColUnknown = -1,
    ColAppCmd = 0,  // input 0xFC, output 0xFC: application commands
    ColAppRaw = 1,  // input 0xFB, output 0xFB: raw data
    ColBootCmd = 2, // input 0xFD, output 0xFE: bootloader commands
};

// One classified collection of a hidraw node: its role and the report ids it
// declares. On Linux one node carries every collection of a USB interface, so
// whoever reads for a role keeps only the input ids of that role.
struct TouchCollection
{
    int nKind = ColUnknown;
    QVector<uint8_t> inputIds;
    QVector<uint8_t> outputIds;
};
