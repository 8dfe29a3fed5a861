#pragma once

// Helpers of the settings dialogs' tests: screenshots and named children.

#include "testenvironment.h"

#include <QDebug>
#include <QDir>
#include <QObject>
#include <QString>
#include <QWidget>

namespace SettingsTest {

// Saves a picture of the widget under $STATION_TEST_OUT/settings/.
inline bool Screenshot(QWidget* pWidget, const QString& name)
{
    const QString dir = CTestEnvironment::OutputDir() + QStringLiteral("/settings");
    QDir().mkpath(dir);
    const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
    const bool bSaved = pWidget->grab().save(path);
    if (bSaved)
        qInfo().noquote() << "Screenshot:" << path;
    return bSaved;
}

template <typename T>
T* Child(QObject* pParent, const char* szName)
{
    return pParent->findChild<T*>(QLatin1String(szName));
}

} // namespace SettingsTest
