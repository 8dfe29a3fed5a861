#include "firmwarechecksettings.h"

CFirmwareCheckSettings::CFirmwareCheckSettings()
    : CTextTableSettings(ApplicationName())
{
}

CFirmwareCheckSettings *CFirmwareCheckSettings::GetInstance()
{
    static CFirmwareCheckSettings *instance = new CFirmwareCheckSettings;
    return instance;
}

QString CFirmwareCheckSettings::ApplicationName()
{
    return QStringLiteral("FirmwareCheck");
}
