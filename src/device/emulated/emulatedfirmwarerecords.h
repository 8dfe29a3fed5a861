#pragma once

#include <QByteArray>

namespace EmulatedFirmware {

// A firmware image of nRecords records of 64 bytes, as the emulated
// bootloader takes them: each starts FE 01 00 (none of them a part header),
// byte i (from 3 on) of record n is n * nStep + i, modulo 256. Images of
// different steps differ from their second record on.
inline QByteArray Records(int nRecords, int nStep)
{
    constexpr int kRecordSize = 64;
    QByteArray image;
    image.reserve(nRecords > 0 ? nRecords * kRecordSize : 0);
    for (int n = 0; n < nRecords; ++n) {
        QByteArray record(kRecordSize, '\0');
        record[0] = char(0xFE);
        record[1] = char(0x01);
        for (int i = 3; i < kRecordSize; ++i)
            record[i] = char((n * nStep + i) & 0xFF);
        image += record;
    }
    return image;
}

} // namespace EmulatedFirmware
