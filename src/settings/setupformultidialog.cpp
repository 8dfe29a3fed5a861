#include "setupformultidialog.h"
#include "ui_setupformultidialog.h"

#include "customersettings.h"
#include "settingsbatch.h"
#include "settingsnotstoredbox.h"

#include <QPushButton>

namespace {
const char* const kShowGrid = "ShowGrid";
const char* const kGridWidth = "GridWidth";
const char* const kLineWidth = "LineWidth";
const char* const kEnableRightButton = "EnableRightButton";
} // namespace

CSetUpForMultiDialog::CSetUpForMultiDialog(QWidget* parent)
    : QDialog(parent), ui(new Ui::CSetUpForMultiDialog)
{
    ui->setupUi(this);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
}

CSetUpForMultiDialog::~CSetUpForMultiDialog()
{
    delete ui;
}

int CSetUpForMultiDialog::exec()
{
    LoadSettings();
    return QDialog::exec();
}

bool CSetUpForMultiDialog::LoadSettings()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    const CSettingsBatch batch(pSettings);
    ui->gridWidthGroupBox->setChecked(pSettings->GetBool(QLatin1String(kShowGrid), true));
    ui->gridWidthSpinBox->setValue(pSettings->GetInt(QLatin1String(kGridWidth), 20));
    ui->lineWidthSpinBox->setValue(pSettings->GetInt(QLatin1String(kLineWidth), 3));
    ui->enableRightButtonCheckBox->setChecked(pSettings->GetBool(QLatin1String(kEnableRightButton), false));
    return true;
}

void CSetUpForMultiDialog::on_buttonBox_accepted()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    CSettingsBatch batch(pSettings);
    pSettings->SetBool(QLatin1String(kShowGrid), ui->gridWidthGroupBox->isChecked());
    pSettings->SetInt(QLatin1String(kGridWidth), ui->gridWidthSpinBox->value());
    pSettings->SetInt(QLatin1String(kLineWidth), ui->lineWidthSpinBox->value());
    pSettings->SetBool(QLatin1String(kEnableRightButton), ui->enableRightButtonCheckBox->isChecked());
    if (batch.Commit())
        return;
    CSettingsNotStoredBox::Show(this, {pSettings->fileName()});
    LoadSettings();
}
