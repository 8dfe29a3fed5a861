#pragma once

#include <QDialog>

namespace Ui {
class UpgradeSetDialog;
}

class QCloseEvent;

// The settings of automatic upgrading: whether every newly plugged frame is
// upgraded by itself, whether that goes on without end or stops after a set
// number of upgrades, and that number ("EnableAutoUpgrade",
// "EnableContinuousUpgrade", "AutoUpgradeCount" of the customer settings).
// Built once by the upgrade view; OK stores the three settings and tells the
// view, Cancel shows the stored state again. It is not reloaded when opened:
// it shows what it was left with.
class UpgradeSetDialog : public QDialog
{
    Q_OBJECT

public:
    explicit UpgradeSetDialog(QWidget* parent = nullptr);
    ~UpgradeSetDialog() override;

    void InitView();
    // Store to widgets and fields; an absent key gets its default stored.
    void LoadUpgradeSetting();
    // Enabled states from the fields (always called with true).
    void UpdateWidgetsEnable(bool bEnable);

signals:
    // OK stored the settings (always true).
    void EmitUpdateUpgardeSetting(bool status);

public slots:
    void on_EnableAutoUpgrade_checkBox_clicked(bool bIsCheck);
    void on_ContinuousUpgrade_radioButton_clicked(bool bIsCheck);
    void on_limitUpgrade_radioButton_clicked(bool bIsCheck);
    void okBtn_clicked();
    void cancelBtn_clicked();
    // The count is taken only by OK.
    void AutoUpgradeCountChange_slot(int value);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Checks the continuous button for 1, the limited one for 0, and
    // neither for any other mode.
    void ShowMode(int nMode);
    // The stored mode, read again, into the mode buttons and the field (an
    // absent key is stored as 0, limited); returns it.
    int ReloadMode();

    Ui::UpgradeSetDialog* ui;
    bool m_bEnableAutoUpgrade = false;
    int m_nEnableContinuousUpgrade = 0;
    int m_nAutoUpgradeCount = 1;
};
