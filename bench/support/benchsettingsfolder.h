#pragma once

// Keeps a benchmark's settings stores in a folder of its own, so that the
// user's settings are never touched: the stores keep their files under
// XDG_CONFIG_HOME, and a QSettings of the benchmark itself follows
// QSettings' own paths. Call before the first store is used.

#include <QFile>
#include <QSettings>
#include <QString>

inline void UseSettingsFolder(const QString &strFolder)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(strFolder));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, strFolder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, strFolder);
}
