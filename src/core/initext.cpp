#include "initext.h"

#include "wholefile.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <limits>

namespace {
QString ScratchFolder()
{
    return QDir::tempPath() + QStringLiteral("/kestrel-settings-XXXXXX");
}
} // namespace

bool CIniText::Parse(const QByteArray &data, QMap<QString, QVariant> *pMap, QSettings::Status *pStatus,
                     QString *pError)
{
    pMap->clear();
    *pStatus = QSettings::NoError;
    if (data.isEmpty())
        return true;
    QTemporaryDir dir(ScratchFolder());
    if (!dir.isValid()) {
        *pError = QStringLiteral("no temporary folder for reading it: %1").arg(dir.errorString());
        return false;
    }
    const QString path = dir.filePath(QStringLiteral("read.conf"));
    QString strError;
    if (!WriteWholeFile(path, data, &strError)) {
        *pError = QStringLiteral("no temporary copy for reading it: %1").arg(strError);
        return false;
    }
    const QSettings reader(path, QSettings::IniFormat);
    if (reader.status() == QSettings::AccessError) {
        *pError = QStringLiteral("its temporary copy cannot be read");
        return false;
    }
    *pStatus = reader.status();
    if (*pStatus != QSettings::NoError)
        return true;
    const QStringList keys = reader.allKeys();
    for (const QString &key : keys)
        pMap->insert(key, reader.value(key));
    return true;
}

bool CIniText::Make(const QMap<QString, QVariant> &map, QByteArray *pData, QString *pError)
{
    pData->clear();
    if (map.isEmpty())
        return true;
    QTemporaryDir dir(ScratchFolder());
    if (!dir.isValid()) {
        *pError = QStringLiteral("no temporary folder for making its text: %1").arg(dir.errorString());
        return false;
    }
    const QString path = dir.filePath(QStringLiteral("write.conf"));
    {
        QSettings writer(path, QSettings::IniFormat);
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            writer.setValue(it.key(), it.value());
        writer.sync();
        if (writer.status() != QSettings::NoError) {
            // Nothing may stay pending for that copy either.
            writer.clear();
            *pError = QStringLiteral("its text cannot be made in %1 (full disk?)").arg(dir.path());
            return false;
        }
    }
    QString strError;
    if (ReadWholeFile(path, std::numeric_limits<int>::max() / 2, pData, &strError) != EFileRead::Read) {
        *pError = QStringLiteral("its text cannot be made: %1").arg(strError);
        return false;
    }
    return true;
}
