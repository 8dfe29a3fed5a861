#pragma once

#include "texttablesettings.h"

// Product name to firmware checksum (application "FirmwareCheck").
class CFirmwareCheckSettings : public CTextTableSettings
{
public:
    static CFirmwareCheckSettings *GetInstance();
    static QString ApplicationName();

private:
    CFirmwareCheckSettings();
};
