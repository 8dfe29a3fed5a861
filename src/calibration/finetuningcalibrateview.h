#pragma once

#include <QDialog>
#include <QJsonObject>

class HandleWork;

// The fine-tuning calibration screen, reduced for now to what the
// calibration view calls and connects: a plain dialog.
class CFineTuningCalibrateView : public QDialog
{
    Q_OBJECT

public:
    CFineTuningCalibrateView(QWidget* parent, HandleWork* pHandleWork);

    // Starts fine tuning before the screen is shown.
    void StartFineTuningCal();
    // Ends fine tuning and closes the screen.
    void CloseFineTuningCal();

signals:
    // A calibration message for the calibration view (result form).
    void EmitCalibrateMsg(QJsonObject msg);
};
