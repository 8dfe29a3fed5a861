#include "customersettings.h"

CCustomerSettings::CCustomerSettings()
    : CLockedSettings(ApplicationName())
{
}

CCustomerSettings *CCustomerSettings::GetInstance()
{
    // Created on first use, thread-safe, and kept until the process ends.
    static CCustomerSettings *instance = new CCustomerSettings;
    return instance;
}

QString CCustomerSettings::ApplicationName()
{
    return QStringLiteral("KESTREL-CUSTOMER ");
}

bool CCustomerSettings::SetBool(const QString &key, bool value)
{
    return setValue(key, value);
}

bool CCustomerSettings::SetInt(const QString &key, int value)
{
    return setValue(key, value);
}

bool CCustomerSettings::SetString(const QString &key, const QString &value)
{
    return setValue(key, value);
}

bool CCustomerSettings::GetBool(const QString &key, bool defaultValue)
{
    const QVariant v = ValueOrStore(key, defaultValue);
    switch (v.userType()) {
    case QMetaType::Bool:
        return v.toBool();
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return v.toLongLong() != 0;
    default:
        break;
    }
    const QString text = v.toString().trimmed();
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    bool isNumber = false;
    const qlonglong number = text.toLongLong(&isNumber);
    return isNumber && number != 0;
}

int CCustomerSettings::GetInt(const QString &key, int defaultValue)
{
    return ValueOrStore(key, defaultValue).toInt();
}

QString CCustomerSettings::GetString(const QString &key, const QString &defaultValue)
{
    return ValueOrStore(key, defaultValue).toString();
}
