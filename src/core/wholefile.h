#pragma once

#include <QByteArray>
#include <QString>

// Writes data as the whole content of the file at strPath, or leaves the
// path as it was: the bytes go to a file beside it (QSaveFile) in one write,
// are flushed and checked, and only then is that file renamed over the path.
// On a failure the partial file is removed, *pError (when given) gets the
// system's reason ("No space left on device", "File too large", ...) and
// false is returned.
bool WriteWholeFile(const QString &strPath, const QByteArray &data, QString *pError);

// Makes the folder strFolder with every missing level above it, or says why
// not: *pError (when given) gets "the folder <level> cannot be made:
// <reason>", with the first level whose making failed and the system's
// reason for that failure ("Permission denied", "Read-only file system",
// "File exists" where a file is in the way...). True when the folder is
// there.
bool MakeFolderPath(const QString &strFolder, QString *pError);
