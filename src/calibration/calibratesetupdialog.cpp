#include "calibratesetupdialog.h"

CalibrateSetUpDialog::CalibrateSetUpDialog(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent)
{
    Q_UNUSED(pHandleWork);
}

void CalibrateSetUpDialog::UpdateDevCalParameter()
{
}
