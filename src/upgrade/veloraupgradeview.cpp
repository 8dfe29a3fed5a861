#include "veloraupgradeview.h"

#include "customersettings.h"

#include <QLabel>
#include <QVBoxLayout>

VeloraUpgradeView::VeloraUpgradeView(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent)
{
    Q_UNUSED(pHandleWork);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(new QLabel(tr("The firmware upgrade is not available in this build."), this));
    connect(this, &QDialog::finished, this, [this] { emit emitWorkType(MAINWORK); });
}

void VeloraUpgradeView::InitUpgradeView()
{
}

void VeloraUpgradeView::InsertUsbDeviceForUpgrade(bool)
{
}

void VeloraUpgradeView::UpdateUpgradeDeviceInfo(QList<QPair<QString, QString>>)
{
}

void VeloraUpgradeView::SetUpgradeViewTouchEnableCheck(bool)
{
}

QString VeloraUpgradeView::GetUpgradeFilePath()
{
    return CCustomerSettings::GetInstance()->GetString(QStringLiteral("UpgradeFilePath"), QString());
}

void VeloraUpgradeView::TaskFailed(QString, int32_t)
{
}
