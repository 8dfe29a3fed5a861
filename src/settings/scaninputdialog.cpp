#include "scaninputdialog.h"
#include "ui_scaninputdialog.h"

#include "customersettings.h"

#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QMessageBox>

namespace {
const QChar kAnyCharacter = QLatin1Char('*');
}

ScanInputDialog::ScanInputDialog(QWidget* parent)
    : QDialog(parent, Qt::WindowFlags())
    , ui(new Ui::ScanInputDialog)
{
    ui->setupUi(this);
    setWindowFlags((windowFlags() & ~Qt::WindowContextHelpButtonHint) | Qt::WindowStaysOnTopHint);
    setWindowTitle(tr("Product Serise ID Input"));
    setWindowIcon(QIcon(QStringLiteral(":/Image/Image-UI/setUp-E.png")));
    // The template is only shown.
    ui->snTemplate_lineEdit->setEnabled(false);
    LoadTemplate();
    // A scanner's keystrokes reach the field directly, never through an
    // input method.
    ui->snInput_lineEdit->setAttribute(Qt::WA_InputMethodEnabled, false);
    connect(ui->snInput_lineEdit, &QLineEdit::textChanged, this, &ScanInputDialog::JudgeSeriseNumer_Slot);
}

ScanInputDialog::~ScanInputDialog()
{
    delete ui;
}

void ScanInputDialog::LoadTemplate()
{
    m_strTemplate = CCustomerSettings::GetInstance()->GetString(QStringLiteral("SNTEMPLATE"), QStringLiteral("*"));
    ui->snTemplate_lineEdit->setText(m_strTemplate);
}

void ScanInputDialog::UpdateTemplate(bool status)
{
    Q_UNUSED(status);
    LoadTemplate();
}

void ScanInputDialog::JudgeSeriseNumer_Slot(QString sn)
{
    m_strSerialNumber = sn;
}

void ScanInputDialog::ShowInput()
{
    // A fresh entry: an earlier accepted one must not answer for it.
    m_strSerialNumber.clear();
    ui->snInput_lineEdit->clear();
    setResult(QDialog::Rejected);
    show();
}

QString ScanInputDialog::GetSerialNumber() const
{
    return m_strSerialNumber;
}

bool ScanInputDialog::MatchTemplate(const QString& strSerialNumber)
{
    if (strSerialNumber.isEmpty() || strSerialNumber.size() != m_strTemplate.size())
        return false;
    for (int i = 0; i < m_strTemplate.size(); ++i) {
        const QChar t = m_strTemplate.at(i);
        if (t != strSerialNumber.at(i) && t != kAnyCharacter)
            return false;
    }
    m_strSerialNumber = strSerialNumber;
    return true;
}

void ScanInputDialog::keyPressEvent(QKeyEvent* event)
{
    // The field keeps the keys it edits with; it passes Return and Enter on.
    // Every other key that reaches the dialog is dropped, Escape too.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        close();
}

void ScanInputDialog::closeEvent(QCloseEvent* event)
{
    // A hidden dialog holds no entry to check (a close request while it is
    // not shown closes it quietly).
    if (!isVisible()) {
        event->accept();
        return;
    }
    if (m_strSerialNumber.isEmpty()) {
        // Warned, and closed all the same, without accepting.
        QMessageBox::warning(this, tr("Warning"),
                             tr("The product serial number is empty, please enter the product serial number"),
                             QMessageBox::Ok);
        return;
    }
    // The close goes ahead in every case; only a match sets the result.
    if (m_strTemplate == QString(kAnyCharacter) || MatchTemplate(m_strSerialNumber))
        accept();
    else
        QMessageBox::warning(this, tr("Warning"), tr("Product serial numbers do not match"), QMessageBox::Ok);
}
