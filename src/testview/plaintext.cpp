#include "plaintext.h"

#include <QLabel>
#include <QTextDocument>

QString CPlainText::ToolTip(const QString& text)
{
    if (text.isEmpty())
        return text; // no tool tip at all
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
}

void CPlainText::SetLabel(QLabel* pLabel, const QString& text)
{
    pLabel->setTextFormat(Qt::PlainText);
    pLabel->setText(text);
}

QMessageBox::StandardButton CPlainText::Ask(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                            const QString& text, QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, text, buttons, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultButton);
    box.exec();
    // Escape presses the escape button; closing the box otherwise presses none.
    return box.clickedButton() ? box.standardButton(box.clickedButton()) : QMessageBox::NoButton;
}
