#pragma once

#include "worktype.h"

#include <QDialog>
#include <QString>
#include <cstdint>

class HandleWork;

// The calibration work view (a placeholder until the calibration views are
// built): it opens from the main window and hands the main panel back when it
// closes. It declares what the dispatcher calls on it by name
// (viewcontract.h).
class VeloraCalibrateView : public QDialog
{
    Q_OBJECT

public:
    VeloraCalibrateView(QWidget* parent, HandleWork* pHandleWork);

    // Called by the main window before it shows the view.
    void InitCalibrateView();

signals:
    void emitWorkType(eWorkType type);
    void emitOpenDrawTool();

public slots:
    void InsertUsbDeviceForCalibrate(bool value);
    void SetCalViewTouchEnableCheck(bool value);
    // A task it posted did not reach its answer (GUI thread).
    void TaskFailed(QString task, int32_t errorCode);
};
