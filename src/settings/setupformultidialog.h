#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QSpinBox;

// The settings of the draw-test window: background grid (shown or not, and
// its cell size), line width and whether the right button opens the menu.
// exec() loads the four keys from the customer settings, runs the dialog and,
// when the operator confirms with "OK", writes them back before it returns 1;
// "Cancel" or closing returns 0 and writes nothing.
class CSetUpForMultiDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CSetUpForMultiDialog(QWidget* parent);

public slots:
    int exec() override;

private:
    bool LoadSettings();
    void SaveSettings();

    QGroupBox* m_pGridGroup = nullptr;
    QSpinBox* m_pGridSpin = nullptr;
    QGroupBox* m_pLineGroup = nullptr;
    QSpinBox* m_pLineSpin = nullptr;
    QCheckBox* m_pRightButton = nullptr;
};
