#include "veloracalibrateview.h"

#include <QLabel>
#include <QVBoxLayout>

VeloraCalibrateView::VeloraCalibrateView(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent)
{
    Q_UNUSED(pHandleWork);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(new QLabel(tr("Calibration is not available in this build."), this));
    connect(this, &QDialog::finished, this, [this] { emit emitWorkType(MAINWORK); });
}

void VeloraCalibrateView::InitCalibrateView()
{
}

void VeloraCalibrateView::InsertUsbDeviceForCalibrate(bool)
{
}

void VeloraCalibrateView::SetCalViewTouchEnableCheck(bool)
{
}

void VeloraCalibrateView::TaskFailed(QString, int32_t)
{
}
