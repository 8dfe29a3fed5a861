#include "veloraupgradeview.h"

#include "customersettings.h"
#include "scaninputdialog.h"
#include "upgradesetdialog.h"

#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

VeloraUpgradeView::VeloraUpgradeView(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent)
{
    Q_UNUSED(pHandleWork);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addWidget(new QLabel(tr("The firmware upgrade is not available in this build."), this));
    // The set-up button of the form, hidden for the life of the view.
    auto* pSetUpButton = new QToolButton(this);
    pSetUpButton->setObjectName(QStringLiteral("lstActionToolButton"));
    pSetUpButton->hide();
    pLayout->addWidget(pSetUpButton);
    QMetaObject::connectSlotsByName(this);

    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    m_bAutoUpgrade = pSettings->GetInt(QStringLiteral("EnableAutoUpgrade"), 0) == 1;
    m_nContinuousUpgrade = pSettings->GetInt(QStringLiteral("EnableContinuousUpgrade"), 0);
    m_nAutoUpgradeCount = pSettings->GetInt(QStringLiteral("AutoUpgradeCount"), 1);

    m_pUpgradeSetDialog = new UpgradeSetDialog(parent);
    m_pScanInputDialog = new ScanInputDialog(parent);

    connect(m_pUpgradeSetDialog, &UpgradeSetDialog::EmitUpdateUpgardeSetting, this,
            &VeloraUpgradeView::UpdateSettingParameter);
    connect(m_pUpgradeSetDialog, &UpgradeSetDialog::EmitUpdateUpgardeSetting, m_pScanInputDialog,
            &ScanInputDialog::UpdateTemplate);
    connect(this, &QDialog::finished, this, [this] { emit emitWorkType(MAINWORK); });
}

void VeloraUpgradeView::on_lstActionToolButton_clicked()
{
    m_pUpgradeSetDialog->exec();
}

void VeloraUpgradeView::UpdateSettingParameter(bool status)
{
    Q_UNUSED(status);
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    m_bAutoUpgrade = pSettings->GetInt(QStringLiteral("EnableAutoUpgrade"), 1) == 1;
    m_nContinuousUpgrade = pSettings->GetInt(QStringLiteral("EnableContinuousUpgrade"), 0);
    m_nAutoUpgradeCount = pSettings->GetInt(QStringLiteral("AutoUpgradeCount"), 1);
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
