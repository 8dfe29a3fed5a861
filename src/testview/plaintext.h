#pragma once

#include <QMessageBox>
#include <QString>

class QLabel;

// Texts that come from a frame, a test log or the operator are shown as they
// stand, never as markup. Qt takes a text that looks like markup ("<b>...")
// for rich text in labels, message boxes and tool tips unless told
// otherwise; these helpers tell it.
class CPlainText
{
public:
    // A tool tip that shows the text literally (tool tips have no text
    // format of their own: the text is escaped into a rich text).
    static QString ToolTip(const QString& text);

    // Sets the text of a label in plain format.
    static void SetLabel(QLabel* pLabel, const QString& text);

    // A modal message box with the text in plain format; returns the button
    // pressed (QMessageBox::NoButton when the box was closed without one,
    // unless it has an escape button).
    static QMessageBox::StandardButton Ask(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                                           const QString& text, QMessageBox::StandardButtons buttons,
                                           QMessageBox::StandardButton defaultButton = QMessageBox::NoButton);
};
