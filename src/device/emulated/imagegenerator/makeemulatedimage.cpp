// Makes the firmware image of the station's emulated frame at build time:
//   makeemulatedimage <image.bin> <bytes.inc>
// writes the image, and the same bytes as the initialiser of a C array
// (emulatedframeimage.cpp embeds them), so that the file an operator chooses
// and what the emulated bootloader expects cannot differ.

#include "emulatedfirmwarerecords.h"
#include "wholefile.h"

#include <QByteArray>
#include <QString>

#include <cstdio>

namespace {
// 16 KiB: the progress bar is seen to move, and a download takes seconds.
constexpr int kRecords = 256;
// Another step than the tests' images, so that one of those is refused.
constexpr int kStep = 29;
constexpr int kBytesPerLine = 16;

bool Write(const char* szPath, const QByteArray& bytes)
{
    QString strError;
    if (!WriteWholeFile(QString::fromLocal8Bit(szPath), bytes, &strError)) {
        std::fprintf(stderr, "makeemulatedimage: cannot write %s: %s\n", szPath, qPrintable(strError));
        return false;
    }
    return true;
}

QByteArray Initialiser(const QByteArray& image)
{
    QByteArray text = "// Made by makeemulatedimage; do not edit.\n";
    for (int i = 0; i < image.size(); ++i) {
        text += QByteArray("0x") + QByteArray::number(quint8(image.at(i)), 16).rightJustified(2, '0').toUpper() + ',';
        text += (i % kBytesPerLine == kBytesPerLine - 1) ? '\n' : ' ';
    }
    if (!text.endsWith('\n'))
        text += '\n';
    return text;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: makeemulatedimage <image.bin> <bytes.inc>\n");
        return 2;
    }
    const QByteArray image = EmulatedFirmware::Records(kRecords, kStep);
    return Write(argv[1], image) && Write(argv[2], Initialiser(image)) ? 0 : 1;
}
