#pragma once

#include <QDialog>

class HandleWork;

// The manual calibration screen, reduced for now to what the calibration
// view calls: a plain dialog.
class CCalAdvancedSettingView : public QDialog
{
    Q_OBJECT

public:
    CCalAdvancedSettingView(QWidget* parent, HandleWork* pHandleWork);

    // Prepares the screen before it is shown.
    void InitSettingView();
    // Leaves the screen (asking whether to keep the values).
    void ExitWithSavePrompt();
};
