#include "modalboxanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

CModalBoxAnswerer::CModalBoxAnswerer(QObject* parent)
    : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &CModalBoxAnswerer::Poll);
    m_timer.start(5);
}

void CModalBoxAnswerer::Poll()
{
    auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!pBox || !pBox->isVisible() || pBox->property("answered").toBool())
        return;
    pBox->setProperty("answered", true);

    SBox box;
    box.title = pBox->windowTitle();
    box.text = pBox->text();
    switch (pBox->icon()) {
    case QMessageBox::Warning:
        box.icon = QStringLiteral("Warning");
        break;
    case QMessageBox::Information:
        box.icon = QStringLiteral("Information");
        break;
    case QMessageBox::Question:
        box.icon = QStringLiteral("Question");
        break;
    case QMessageBox::Critical:
        box.icon = QStringLiteral("Critical");
        break;
    default:
        box.icon = QStringLiteral("NoIcon");
        break;
    }
    QAbstractButton* pChosen = nullptr;
    const auto buttons = pBox->buttons();
    for (QAbstractButton* pButton : buttons) {
        const QString text = pButton->text().remove(QLatin1Char('&'));
        box.buttons.append(text);
        if (!m_strAnswer.isEmpty() && text == m_strAnswer)
            pChosen = pButton;
    }
    boxes.append(box);
    if (m_onShown)
        m_onShown(box);
    if (!pChosen)
        pChosen = pBox->escapeButton() ? pBox->escapeButton() : static_cast<QAbstractButton*>(pBox->defaultButton());
    if (pChosen)
        pChosen->click();
    else
        pBox->reject();
}
