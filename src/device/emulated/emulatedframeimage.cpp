#include "emulatedframeimage.h"

namespace {
const unsigned char kImage[] = {
#include "emulatedframeimage.inc"
};
} // namespace

QByteArray CEmulatedFrameImage::Data()
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(kImage), int(sizeof kImage));
}

QString CEmulatedFrameImage::FileName()
{
    return QStringLiteral("emulated-frame.bin");
}
