#include "settingsnotstoredbox.h"

#include <QMessageBox>
#include <QWidget>

void CSettingsNotStoredBox::Show(QWidget *pParent, const QStringList &files)
{
    const QString title = pParent ? pParent->windowTitle() : QString();
    QStringList lines{tr("The setting was not stored: the settings file cannot be written.")};
    lines << files;
    QMessageBox::warning(pParent, title, lines.join(QLatin1Char('\n')), QMessageBox::Ok);
}
