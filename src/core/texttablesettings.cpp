#include "texttablesettings.h"

CTextTableSettings::CTextTableSettings(const QString &application)
    : CLockedSettings(application)
{
}

int CTextTableSettings::SetValue(const QString &key, const QString &value)
{
    return setValue(key, value) ? 0 : -1;
}

int CTextTableSettings::RemoveKey(const QString &key)
{
    return remove(key) ? 0 : -1;
}

QMap<QString, QString> CTextTableSettings::ReadAll() const
{
    QMutexLocker lock(&m_mutex);
    QMap<QString, QString> map;
    const QMap<QString, QVariant> content = ContentLocked();
    for (auto it = content.cbegin(); it != content.cend(); ++it)
        map.insert(it.key(), it.value().toString());
    return map;
}

int CTextTableSettings::WriteAll(const QMap<QString, QString> &map)
{
    QMap<QString, QVariant> values;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        values.insert(it.key(), it.value());
    return ReplaceAll(values) ? 0 : -1;
}
