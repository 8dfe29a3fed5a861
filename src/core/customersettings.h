#pragma once

#include "lockedsettings.h"

// The station's preferences and serial port parameters (application
// "KESTREL-CUSTOMER ", with its trailing blank). A typed read of an absent key
// first stores the reader's default, so every read leaves the key present.
class CCustomerSettings : public CLockedSettings
{
public:
    static CCustomerSettings *GetInstance();

    // False when the value could not be written (the store keeps what the
    // file holds); see CLockedSettings.
    bool SetBool(const QString &key, bool value);
    bool SetInt(const QString &key, int value);
    bool SetString(const QString &key, const QString &value);

    // A stored text reads as true only as "true" or a non-zero number.
    bool GetBool(const QString &key, bool defaultValue);
    // A stored text that is not a number reads as 0.
    int GetInt(const QString &key, int defaultValue);
    QString GetString(const QString &key, const QString &defaultValue);

    static QString ApplicationName();

private:
    CCustomerSettings();
};
