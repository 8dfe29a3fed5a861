#include "vidpidsettings.h"

CVidPidSettings::CVidPidSettings()
    : CLockedSettings(ApplicationName(), {kMaxFileBytes, kMaxPairs})
{
}

CVidPidSettings *CVidPidSettings::GetInstance()
{
    static CVidPidSettings *instance = new CVidPidSettings;
    return instance;
}

QString CVidPidSettings::ApplicationName()
{
    return QStringLiteral("VID_PID_SUPPORT");
}

QString CVidPidSettings::MakeKey(quint16 vid, quint16 pid)
{
    return QStringLiteral("0x%1-0x%2")
        .arg(vid, 4, 16, QLatin1Char('0'))
        .arg(pid, 4, 16, QLatin1Char('0'));
}

QStringList CVidPidSettings::GetAllKeys() const
{
    return allKeys();
}

int CVidPidSettings::SetValue(const QString &key)
{
    return setValue(key, key) ? 0 : -1;
}

int CVidPidSettings::RemoveKey(const QString &key)
{
    return remove(key) ? 0 : -1;
}
