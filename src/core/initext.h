#pragma once

#include <QByteArray>
#include <QMap>
#include <QSettings>
#include <QString>
#include <QVariant>

// The text of an INI file read and made by the settings library, on a
// scratch copy of its own in a temporary folder: a QSettings on the file's
// own path would share the process's one copy of that file's content (the
// changes of a write that failed stay pending there, and a second reader of
// an unchanged file gets the first one's parse back without its status).
class CIniText
{
public:
    // Parses data into *pMap (keys as the library names them, "Group/Key").
    // *pStatus gets the library's word on the text: NoError, or FormatError
    // for a text that is not a sound INI file (then *pMap stays empty). False,
    // with *pError, when no scratch copy could be made or read.
    static bool Parse(const QByteArray &data, QMap<QString, QVariant> *pMap, QSettings::Status *pStatus,
                      QString *pError);
    // The text of an INI file holding the map, as the library writes it.
    // False, with *pError, when it could not be made.
    static bool Make(const QMap<QString, QVariant> &map, QByteArray *pData, QString *pError);
};
