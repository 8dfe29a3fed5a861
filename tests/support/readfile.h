#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace StationTest {

// The whole content of a file; empty when it cannot be opened.
inline QByteArray ReadFile(const QString &strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace StationTest
