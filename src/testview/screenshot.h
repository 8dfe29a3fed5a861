#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

class QPixmap;

// Screenshots of the station's windows: JPG files in the folder "Pictures" of
// the working folder, named by the local time ("yyyyMMdd_hh-mm-ss_zzz.jpg").
class CScreenshot
{
public:
    // Writes the pixmap (creating "Pictures" when it is missing) as one whole
    // file (WriteWholeFile), so a failed write leaves no file; returns the
    // file's absolute path. On failure returns an empty path and writes a
    // Warning with the path and the reason to the run log (no message box).
    static QString Save(const QPixmap& pixmap);

    // "Pictures/" + the file name for the given time (the station's local
    // time names each screenshot), relative to the
    // working folder.
    static QString RelativePath(const QDateTime& time);
};
