#include "setupformultidialog.h"

#include "customersettings.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
const char* const kShowGrid = "ShowGrid";
const char* const kGridWidth = "GridWidth";
const char* const kLineWidth = "LineWidth";
const char* const kEnableRightButton = "EnableRightButton";
} // namespace

CSetUpForMultiDialog::CSetUpForMultiDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CSetUpForMultiDialog"));
    resize(400, 300);
    setWindowTitle(tr("Dialog"));

    m_pGridGroup = new QGroupBox(tr("Grid Width"), this);
    m_pGridGroup->setObjectName(QStringLiteral("gridWidthGroupBox"));
    m_pGridGroup->setCheckable(true);
    m_pGridSpin = new QSpinBox(m_pGridGroup);
    m_pGridSpin->setObjectName(QStringLiteral("gridWidthSpinBox"));
    m_pGridSpin->setRange(1, 99);
    m_pGridSpin->setValue(20);
    (new QVBoxLayout(m_pGridGroup))->addWidget(m_pGridSpin);

    m_pLineGroup = new QGroupBox(tr("Line Width"), this);
    m_pLineGroup->setObjectName(QStringLiteral("lineWidthGroupBox"));
    m_pLineSpin = new QSpinBox(m_pLineGroup);
    m_pLineSpin->setObjectName(QStringLiteral("lineWidthSpinBox"));
    m_pLineSpin->setRange(1, 99);
    m_pLineSpin->setValue(3);
    (new QVBoxLayout(m_pLineGroup))->addWidget(m_pLineSpin);

    m_pRightButton = new QCheckBox(tr("Enable Right Button"), this);
    m_pRightButton->setObjectName(QStringLiteral("enableRightButtonCheckBox"));

    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, Qt::Horizontal, this);
    pButtons->setObjectName(QStringLiteral("buttonBox"));
    pButtons->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    pButtons->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* pGroups = new QHBoxLayout;
    pGroups->addWidget(m_pGridGroup);
    pGroups->addWidget(m_pLineGroup);
    auto* pLayout = new QVBoxLayout(this);
    pLayout->addLayout(pGroups);
    pLayout->addWidget(m_pRightButton);
    pLayout->addWidget(pButtons);
}

int CSetUpForMultiDialog::exec()
{
    LoadSettings();
    const int nResult = QDialog::exec();
    if (nResult == QDialog::Accepted)
        SaveSettings();
    return nResult;
}

bool CSetUpForMultiDialog::LoadSettings()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    m_pGridGroup->setChecked(pSettings->GetBool(kShowGrid, true));
    m_pGridSpin->setValue(pSettings->GetInt(kGridWidth, 20));
    m_pLineSpin->setValue(pSettings->GetInt(kLineWidth, 3));
    m_pRightButton->setChecked(pSettings->GetBool(kEnableRightButton, false));
    return true;
}

void CSetUpForMultiDialog::SaveSettings()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    pSettings->SetBool(kShowGrid, m_pGridGroup->isChecked());
    pSettings->SetInt(kGridWidth, m_pGridSpin->value());
    pSettings->SetInt(kLineWidth, m_pLineSpin->value());
    pSettings->SetBool(kEnableRightButton, m_pRightButton->isChecked());
}
