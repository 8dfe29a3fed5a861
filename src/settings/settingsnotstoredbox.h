#pragma once

#include <QCoreApplication>
#include <QStringList>

class QWidget;

// Tells the operator that what a dialog saved did not reach the settings
// file (the store has kept what the file holds): one warning box, titled as
// the dialog, naming each file that could not be written.
class CSettingsNotStoredBox
{
    Q_DECLARE_TR_FUNCTIONS(CSettingsNotStoredBox)

public:
    static void Show(QWidget *pParent, const QStringList &files);
};
