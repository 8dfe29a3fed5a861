#pragma once

#include <QDialog>

class QLabel;

// The small frameless window of the toast: the tip's text, and beside it a
// label that hides the window when a mouse button is released on it. It
// never takes the keyboard focus when shown.
class CToastDlg : public QDialog
{
    Q_OBJECT

public:
    CToastDlg();
    ~CToastDlg() override;

    // Shows text centred in the tip label.
    void SetTip(const QString& text);
    QString Tip() const;

    QLabel* TipLabel() const { return m_pTipLabel; }
    QLabel* CloseLabel() const { return m_pCloseLabel; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_pTipLabel = nullptr;
    QLabel* m_pCloseLabel = nullptr;
};
