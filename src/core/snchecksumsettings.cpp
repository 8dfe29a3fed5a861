#include "snchecksumsettings.h"

CSNChecksumSettings::CSNChecksumSettings()
    : CTextTableSettings(ApplicationName())
{
}

CSNChecksumSettings *CSNChecksumSettings::GetInstance()
{
    static CSNChecksumSettings *instance = new CSNChecksumSettings;
    return instance;
}

QString CSNChecksumSettings::ApplicationName()
{
    return QStringLiteral("SNChecksumCheck");
}
