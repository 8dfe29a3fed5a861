#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

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

class QFile;

// Appends data to the open file whole, or leaves the file as it was: a write
// the disk does not take in full is cut back to the size the file had, and
// *pError (when given) gets the system's reason (a short write sets none: the
// rest is written again to learn it), with a note where the cut-back failed
// too. Open the file unbuffered, so that the bytes reach the system here.
bool AppendWhole(QFile &file, const QByteArray &data, QString *pError);

// What a bounded read of a file found.
enum class EFileRead {
    Read,       // the whole content is in *pData
    Missing,    // there is no file at the path
    TooLarge,   // the file is larger than the bound: nothing of it was read
    Unreadable  // not a plain file, or it cannot be opened or read
};

// Looks at the file at strPath before anything reads it whole: Read when it
// is a plain file of at most nMaxBytes (or absent: Missing), TooLarge when it
// is larger, Unreadable when it is something else (a folder, a FIFO that
// would block its reader, a device). *pError (when given) gets a sentence
// naming the file and, for TooLarge, the bound ("... is 104857600 bytes,
// more than the 1048576 bytes such a file may have").
EFileRead CheckFileSize(const QString &strPath, qint64 nMaxBytes, QString *pError);

// Reads the whole file at strPath into *pData, never more than nMaxBytes: the
// size is looked at first (CheckFileSize), and a file that grows past the
// bound while it is read is TooLarge too. *pData is left empty on every
// outcome but Read; *pError (when given) says why in a sentence that names
// the file.
EFileRead ReadWholeFile(const QString &strPath, qint64 nMaxBytes, QByteArray *pData, QString *pError);
