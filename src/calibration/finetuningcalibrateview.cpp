#include "finetuningcalibrateview.h"

CFineTuningCalibrateView::CFineTuningCalibrateView(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent)
{
    Q_UNUSED(pHandleWork);
}

void CFineTuningCalibrateView::StartFineTuningCal()
{
}

void CFineTuningCalibrateView::CloseFineTuningCal()
{
}
