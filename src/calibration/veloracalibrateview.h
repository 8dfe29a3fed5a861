#pragma once

#include "worktype.h"

#include <QDialog>

class HandleWork;

// The calibration work view (a placeholder until the calibration views are
// built): it opens from the main window and hands the main panel back when it
// closes.
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
};
