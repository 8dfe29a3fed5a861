#pragma once

#include <QDialog>

namespace Ui {
class CSetUpForMultiDialog;
}

// The draw-test window's settings: grid shown and its spacing, line width,
// and whether the right mouse button acts ("ShowGrid", "GridWidth",
// "LineWidth", "EnableRightButton" in the customer settings). Every run
// loads the controls from the store; only OK writes them back.
class CSetUpForMultiDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CSetUpForMultiDialog(QWidget* parent);
    ~CSetUpForMultiDialog() override;

    // Fills the controls from the store (a missing key is stored with its
    // default; a value outside the spin box's range shows clamped). True.
    bool LoadSettings();

public slots:
    // Loads the settings, then runs the dialog modally.
    int exec() override;

private slots:
    void on_buttonBox_accepted();

private:
    Ui::CSetUpForMultiDialog* ui;
};
