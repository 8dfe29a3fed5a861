#pragma once

#include "worktype.h"

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>
#include <cstdint>

class HandleWork;
class ScanInputDialog;
class UpgradeSetDialog;

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
    // The set-up button (hidden for the life of the view): runs the upgrade
    // settings dialog; its result is not looked at.
    void on_lstActionToolButton_clicked();
    // The upgrade settings dialog stored its settings: reload them.
    void UpdateSettingParameter(bool status);

private:
    bool m_bAutoUpgrade = false;
    int m_nContinuousUpgrade = 0;
    int m_nAutoUpgradeCount = 1;
    // Both children of the view's parent; the view never shows the
    // serial-number dialog, it keeps its template current.
    UpgradeSetDialog* m_pUpgradeSetDialog = nullptr;
    ScanInputDialog* m_pScanInputDialog = nullptr;
};
