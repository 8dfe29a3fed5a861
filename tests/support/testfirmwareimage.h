#pragma once

#include <QByteArray>

namespace StationTest {

// A firmware image that the emulated bootloader takes record by record:
// nRecords records of 64 bytes, each starting FE 01 (none of them a part
// header), the rest filled from the record's number.
inline QByteArray FirmwareImage(int nRecords = 8)
{
    QByteArray image;
    for (int n = 0; n < nRecords; ++n) {
        QByteArray record(64, '\0');
        record[0] = char(0xFE);
        record[1] = char(0x01);
        for (int i = 3; i < 64; ++i)
            record[i] = char((n * 13 + i) & 0xFF);
        image += record;
    }
    return image;
}

} // namespace StationTest
