#pragma once

#include "worktype.h"

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>

class HandleWork;

// The firmware-upgrade work view (a placeholder until the upgrade view is
// built): it opens from the main window and hands the main panel back when it
// closes.
class VeloraUpgradeView : public QDialog
{
    Q_OBJECT

public:
    VeloraUpgradeView(QWidget* parent, HandleWork* pHandleWork);

    // Called by the main window before it shows the view.
    void InitUpgradeView();

signals:
    void emitWorkType(eWorkType type);

public slots:
    void InsertUsbDeviceForUpgrade(bool value);
    void UpdateUpgradeDeviceInfo(QList<QPair<QString, QString>> lstDevInfo);
    void SetUpgradeViewTouchEnableCheck(bool value);
};
