#pragma once

#include "emulatedfirmwarerecords.h"

#include <QByteArray>

namespace StationTest {

// A firmware image that the emulated bootloader takes record by record:
// nRecords records of 64 bytes, each starting FE 01 (none of them a part
// header), the rest filled from the record's number. Not the image of the
// station's emulated frame (emulatedframeimage.h).
inline QByteArray FirmwareImage(int nRecords = 8)
{
    return EmulatedFirmware::Records(nRecords, 13);
}

} // namespace StationTest
