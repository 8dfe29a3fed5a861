#pragma once

#include <QDialog>

class HandleWork;

// The set-up dialog of the main window (a placeholder until the settings
// dialogs are built). Its finished(int) signal tells the main window that it
// closed.
class MainSetUpDialog : public QDialog
{
    Q_OBJECT

public:
    MainSetUpDialog(QWidget* parent, HandleWork* pHandleWork);

    // Loads the choices and runs the dialog modally.
    void InitSetUpView();
};
