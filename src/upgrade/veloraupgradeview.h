#pragma once

#include "worktype.h"

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>
#include <cstdint>

class HandleWork;

// The firmware-upgrade work view (a placeholder until the upgrade view is
// built): it opens from the main window and hands the main panel back when it
// closes. It declares what the dispatcher calls on it by name
// (viewcontract.h).
class VeloraUpgradeView : public QDialog
{
    Q_OBJECT

public:
    VeloraUpgradeView(QWidget* parent, HandleWork* pHandleWork);

    // Called by the main window before it shows the view.
    void InitUpgradeView();

    // Called by the dispatcher on its worker thread for "Start_Upgrade": the
    // stored "UpgradeFilePath" (the settings store locks itself); no widget.
    Q_INVOKABLE QString GetUpgradeFilePath();

signals:
    void emitWorkType(eWorkType type);

public slots:
    void InsertUsbDeviceForUpgrade(bool value);
    void UpdateUpgradeDeviceInfo(QList<QPair<QString, QString>> lstDevInfo);
    void SetUpgradeViewTouchEnableCheck(bool value);
    // A task it posted did not reach its answer (GUI thread).
    void TaskFailed(QString task, int32_t errorCode);
};
