// Feeds arbitrary bytes to the firmware image check. An image that passes
// must be sendable as the download sends it, whatever MCU type the frame
// reports: every record that goes out starts with 0xFE, and the walk through
// the records ends within the image.

#include "firmwareimage.h"

#include <QByteArray>
#include <cstdint>
#include <cstdlib>

namespace {
void Walk(CFirmwareImage& image, quint32 nMcuType)
{
    image.Seek(0);
    quint8 record[CFirmwareImage::RECORD_SIZE];
    const qint64 nMaxRecords = image.Size() + 1;  // each step moves forward
    for (qint64 n = 0;; ++n) {
        if (n > nMaxRecords)
            abort();  // the walk does not end
        int nRead = image.ReadRecord(record);
        if (nRead <= 0)
            return;
        if (CFirmwareImage::IsPartHeader(record, nRead)) {
            if (nRead != CFirmwareImage::RECORD_SIZE)
                abort();  // a short header passed the check
            const qint64 nHeaderEnd = image.Pos();
            const qint64 nPart = CFirmwareImage::PartOffset(CFirmwareImage::ParseHeader(record), nMcuType);
            if (nPart >= 0) {
                if (nPart < nHeaderEnd || !image.Seek(nPart))
                    abort();  // a part before its header or outside the file
            }
            nRead = image.ReadRecord(record);
            if (nRead <= 0)
                abort();  // an empty record would be sent
        }
        if (record[0] != CFirmwareImage::RECORD_ID)
            abort();  // a record that is no boot-collection report
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 1 << 20)
        return 0;
    CFirmwareImage image;
    const QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    if (image.LoadData(bytes) != CFirmwareImage::Status::Ok)
        return 0;
    // The types the image names, and one it does not.
    quint32 types[5] = {0, 0, 0, 0, 0xDEADBEEF};
    int nTypes = 1;
    for (qint64 i = 0; i + 64 <= image.Size() && nTypes < 5; i += 64) {
        const auto* p = reinterpret_cast<const quint8*>(bytes.constData() + i);
        if (CFirmwareImage::IsPartHeader(p, 64)) {
            const CFirmwareImage::PartHeader h = CFirmwareImage::ParseHeader(p);
            types[nTypes++] = h.nTypeA;
            if (nTypes < 5)
                types[nTypes++] = h.nTypeB;
        }
    }
    for (quint32 t : types)
        Walk(image, t);
    return 0;
}
