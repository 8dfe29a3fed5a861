#pragma once

#include "texttablesettings.h"

// Batch key to firmware checksum (application "SNChecksumCheck").
class CSNChecksumSettings : public CTextTableSettings
{
public:
    static CSNChecksumSettings *GetInstance();
    static QString ApplicationName();

private:
    CSNChecksumSettings();
};
