#pragma once

#include <QDialog>

class HandleWork;

// The calibration parameter dialog, reduced for now to what the calibration
// view calls: a plain dialog.
class CalibrateSetUpDialog : public QDialog
{
    Q_OBJECT

public:
    CalibrateSetUpDialog(QWidget* parent, HandleWork* pHandleWork);

    // Reloads the values it shows; called before each modal run.
    void UpdateDevCalParameter();
};
