#include "lockedsettings.h"

#include <QFile>
#include <QtDebug>

namespace {
const char kOrganisation[] = "Velora";
}

CLockedSettings::CLockedSettings(const QString &application)
    : QSettings(QString::fromLatin1(kOrganisation), application)
{
    switch (QSettings::status()) {
    case QSettings::NoError:
        break;
    case QSettings::FormatError: {
        // Half of a damaged file would give half-valid values: keep the file
        // aside for a look and start from the defaults.
        const QString kept = fileName() + QStringLiteral(".damaged");
        QFile::remove(kept);
        QFile::copy(fileName(), kept);
        QSettings::clear();
        QSettings::sync();
        qWarning().noquote() << "Settings file" << fileName() << "is damaged; defaults are used"
                             << "and the old file is kept as" << kept;
        break;
    }
    default:
        qWarning().noquote() << "Settings file" << fileName()
                             << "cannot be read; defaults are used.";
        break;
    }
}

bool CLockedSettings::contains(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    return QSettings::contains(key);
}

void CLockedSettings::remove(const QString &key)
{
    QMutexLocker lock(&m_mutex);
    QSettings::remove(key);
    QSettings::sync();
}

QVariant CLockedSettings::value(const QString &key, const QVariant &defaultValue) const
{
    QMutexLocker lock(&m_mutex);
    return QSettings::value(key, defaultValue);
}

void CLockedSettings::setValue(const QString &key, const QVariant &value)
{
    QMutexLocker lock(&m_mutex);
    WriteLocked(key, value);
    QSettings::sync();
}

QStringList CLockedSettings::allKeys() const
{
    QMutexLocker lock(&m_mutex);
    return QSettings::allKeys();
}

void CLockedSettings::clear()
{
    QMutexLocker lock(&m_mutex);
    QSettings::clear();
    QSettings::sync();
}

void CLockedSettings::sync()
{
    QMutexLocker lock(&m_mutex);
    QSettings::sync();
}

QVariant CLockedSettings::ValueOrStore(const QString &key, const QVariant &defaultValue)
{
    QMutexLocker lock(&m_mutex);
    if (!QSettings::contains(key)) {
        WriteLocked(key, defaultValue);
        QSettings::sync();
    }
    return QSettings::value(key, defaultValue);
}

void CLockedSettings::ReplaceAll(const QMap<QString, QVariant> &map)
{
    QMutexLocker lock(&m_mutex);
    QSettings::clear();
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        WriteLocked(it.key(), it.value());
    QSettings::sync();
}

void CLockedSettings::WriteLocked(const QString &key, const QVariant &value)
{
    if (key.isEmpty()) {
        qWarning() << "Settings: a value without a key is not stored.";
        return;
    }
    QSettings::setValue(key, value);
}
