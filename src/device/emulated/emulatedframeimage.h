#pragma once

#include <QByteArray>
#include <QString>

// The firmware image that the station's emulated frame (emulatedstationframe.h)
// takes. The build makes it (imagegenerator/makeemulatedimage.cpp): once as
// the file FileName() beside this library, which scripts/run.sh puts in the
// emulated station's folder for the operator to choose in the upgrade view,
// and once embedded here, which the frame's bootloader expects. Any other
// image is refused record by record.
class CEmulatedFrameImage
{
public:
    static QByteArray Data();
    static QString FileName();
};
