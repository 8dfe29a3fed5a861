#include "upgradesetdialog.h"
#include "ui_upgradesetdialog.h"

#include "customersettings.h"
#include "settingsbatch.h"
#include "settingsnotstoredbox.h"

#include <QCloseEvent>
#include <QDebug>
#include <QIcon>
#include <QPushButton>

namespace {
const QString kEnableAutoUpgrade = QStringLiteral("EnableAutoUpgrade");
const QString kEnableContinuousUpgrade = QStringLiteral("EnableContinuousUpgrade");
const QString kAutoUpgradeCount = QStringLiteral("AutoUpgradeCount");
} // namespace

UpgradeSetDialog::UpgradeSetDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::UpgradeSetDialog)
{
    ui->setupUi(this);
    QPushButton* pOk = ui->buttonBox->button(QDialogButtonBox::Ok);
    QPushButton* pCancel = ui->buttonBox->button(QDialogButtonBox::Cancel);
    pOk->setText(tr("OK"));
    pCancel->setText(tr("Cancel"));
    connect(pOk, &QPushButton::clicked, this, &UpgradeSetDialog::okBtn_clicked);
    connect(pCancel, &QPushButton::clicked, this, &UpgradeSetDialog::cancelBtn_clicked);
    setWindowFlags((windowFlags() & ~Qt::WindowContextHelpButtonHint) | Qt::WindowStaysOnTopHint);
    setWindowTitle(tr("Upgrade SetUp"));
    setWindowIcon(QIcon(QStringLiteral(":/Image/Image-UI/setUp-E.png")));
    InitView();
}

UpgradeSetDialog::~UpgradeSetDialog()
{
    delete ui;
}

void UpgradeSetDialog::InitView()
{
    LoadUpgradeSetting();
    UpdateWidgetsEnable(true);
    connect(ui->AutoUpgradeCount_spinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &UpgradeSetDialog::AutoUpgradeCountChange_slot);
}

void UpgradeSetDialog::LoadUpgradeSetting()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    // The defaults of absent keys reach the disk in one write.
    CSettingsBatch batch(pSettings);

    if (pSettings->contains(kEnableAutoUpgrade)) {
        m_bEnableAutoUpgrade = pSettings->GetInt(kEnableAutoUpgrade, 0) == 1;
    } else {
        pSettings->SetInt(kEnableAutoUpgrade, 0);
        m_bEnableAutoUpgrade = false;
    }
    ui->EnableAutoUpgrade_checkBox->setChecked(m_bEnableAutoUpgrade);

    ui->limitUpgrade_radioButton->setEnabled(m_bEnableAutoUpgrade);
    ui->ContinuousUpgrade_radioButton->setEnabled(m_bEnableAutoUpgrade);

    const int nMode = ReloadMode();
    if (m_bEnableAutoUpgrade)
        ui->AutoUpgradeCount_spinBox->setEnabled(nMode == 0);

    if (pSettings->contains(kAutoUpgradeCount)) {
        // The spin box shows the nearest value of its range; the field keeps
        // the stored number.
        m_nAutoUpgradeCount = pSettings->GetInt(kAutoUpgradeCount, 1);
        ui->AutoUpgradeCount_spinBox->setValue(m_nAutoUpgradeCount);
    } else {
        ui->AutoUpgradeCount_spinBox->setValue(1);
        pSettings->SetInt(kAutoUpgradeCount, 1);
        m_nAutoUpgradeCount = 1;
    }
}

void UpgradeSetDialog::UpdateWidgetsEnable(bool bEnable)
{
    // The dialog always passes true: the states follow the fields alone.
    Q_UNUSED(bEnable);
    ui->EnableAutoUpgrade_checkBox->setEnabled(true);
    ui->limitUpgrade_radioButton->setEnabled(m_bEnableAutoUpgrade);
    ui->ContinuousUpgrade_radioButton->setEnabled(m_bEnableAutoUpgrade);
    ui->AutoUpgradeCount_spinBox->setEnabled(m_bEnableAutoUpgrade && m_nEnableContinuousUpgrade == 0);
}

void UpgradeSetDialog::ShowMode(int nMode)
{
    QRadioButton* pLimited = ui->limitUpgrade_radioButton;
    QRadioButton* pContinuous = ui->ContinuousUpgrade_radioButton;
    if (nMode == 1) {
        pContinuous->setChecked(true);
        pLimited->setChecked(false);
    } else if (nMode == 0) {
        pLimited->setChecked(true);
        pContinuous->setChecked(false);
    } else {
        // The checked button of an auto-exclusive pair refuses to be
        // unchecked: exclusion is off while both are cleared.
        for (QRadioButton* pButton : {pLimited, pContinuous}) {
            pButton->setAutoExclusive(false);
            pButton->setChecked(false);
            pButton->setAutoExclusive(true);
        }
    }
}

int UpgradeSetDialog::ReloadMode()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    if (pSettings->contains(kEnableContinuousUpgrade)) {
        m_nEnableContinuousUpgrade = pSettings->GetInt(kEnableContinuousUpgrade, 0);
    } else {
        pSettings->SetInt(kEnableContinuousUpgrade, 0);
        m_nEnableContinuousUpgrade = 0;
    }
    ShowMode(m_nEnableContinuousUpgrade);
    return m_nEnableContinuousUpgrade;
}

void UpgradeSetDialog::on_EnableAutoUpgrade_checkBox_clicked(bool bIsCheck)
{
    ui->limitUpgrade_radioButton->setEnabled(bIsCheck);
    ui->ContinuousUpgrade_radioButton->setEnabled(bIsCheck);
    // The mode buttons show the stored mode again: an unsaved choice of mode
    // is dropped. Unchecked, the count keeps its enabled state.
    const int nMode = ReloadMode();
    if (bIsCheck)
        ui->AutoUpgradeCount_spinBox->setEnabled(nMode == 0);
}

void UpgradeSetDialog::on_ContinuousUpgrade_radioButton_clicked(bool bIsCheck)
{
    if (!bIsCheck)
        return;
    ui->limitUpgrade_radioButton->setChecked(false);
    ui->AutoUpgradeCount_spinBox->setEnabled(false);
}

void UpgradeSetDialog::on_limitUpgrade_radioButton_clicked(bool bIsCheck)
{
    if (!bIsCheck)
        return;
    ui->ContinuousUpgrade_radioButton->setChecked(false);
    ui->AutoUpgradeCount_spinBox->setEnabled(true);
}

void UpgradeSetDialog::okBtn_clicked()
{
    m_bEnableAutoUpgrade = ui->EnableAutoUpgrade_checkBox->isChecked();
    m_nEnableContinuousUpgrade = ui->ContinuousUpgrade_radioButton->isChecked() ? 1 : 0;
    m_nAutoUpgradeCount = ui->AutoUpgradeCount_spinBox->value();
    qDebug().noquote() << "okBtn_clicked" << ":nAutoUpgradeCount = " + QString::number(m_nAutoUpgradeCount);
    // All three reach the disk together, before anyone is told.
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    CSettingsBatch batch(pSettings);
    pSettings->SetInt(kAutoUpgradeCount, m_nAutoUpgradeCount);
    pSettings->SetInt(kEnableAutoUpgrade, m_bEnableAutoUpgrade ? 1 : 0);
    pSettings->SetInt(kEnableContinuousUpgrade, m_nEnableContinuousUpgrade);
    if (!batch.Commit()) {
        // Nothing changed: the view is not told, and the dialog shows the
        // stored options again.
        CSettingsNotStoredBox::Show(this, {pSettings->fileName()});
        LoadUpgradeSetting();
        UpdateWidgetsEnable(true);
        close();
        return;
    }
    emit EmitUpdateUpgardeSetting(true);
    close();
}

void UpgradeSetDialog::cancelBtn_clicked()
{
    ui->EnableAutoUpgrade_checkBox->setChecked(m_bEnableAutoUpgrade);
    // A stored mode other than 0 or 1 shows as neither button, as loading
    // shows it: a mode clicked before Cancel does not stay on screen for a
    // later OK.
    ShowMode(m_nEnableContinuousUpgrade);
    ui->AutoUpgradeCount_spinBox->setValue(m_nAutoUpgradeCount);
    close();
}

void UpgradeSetDialog::AutoUpgradeCountChange_slot(int value)
{
    Q_UNUSED(value);
}

void UpgradeSetDialog::closeEvent(QCloseEvent* event)
{
    // Check states and count stay as edited; the enabled states follow the
    // stored state again.
    UpdateWidgetsEnable(true);
    QDialog::closeEvent(event);
}
