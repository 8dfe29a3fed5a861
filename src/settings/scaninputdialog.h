#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class ScanInputDialog;
}

class QCloseEvent;
class QKeyEvent;

// Takes a product serial number, typed or read by a barcode scanner acting as
// a keyboard, and checks it against the template "SNTEMPLATE" of the customer
// settings, in which "*" stands for any one character. Return or Enter (a
// scanner's last key) closes it, after the check; Escape does not. Built by
// the upgrade view, which keeps the template current.
class ScanInputDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ScanInputDialog(QWidget* parent = nullptr);
    ~ScanInputDialog() override;

    // A fresh entry: empty number and field, result Rejected until the
    // entry is accepted; shows the dialog (modeless).
    void ShowInput();
    // The entered number: the field's text as last changed, or the number
    // last accepted by MatchTemplate.
    QString GetSerialNumber() const;
    // The template check, by 16-bit text units and case-sensitive: same
    // length, and every position equal or "*" in the template. An accepted
    // number becomes the entered one.
    bool MatchTemplate(const QString& strSerialNumber);

public slots:
    // Reads "SNTEMPLATE" again (the flag is not used).
    void UpdateTemplate(bool status);
    void JudgeSeriseNumer_Slot(QString sn);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void LoadTemplate();

    Ui::ScanInputDialog* ui;
    QString m_strTemplate;
    QString m_strSerialNumber;
};
