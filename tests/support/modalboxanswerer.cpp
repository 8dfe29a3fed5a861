#include "modalboxanswerer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaEnum>
#include <QPointer>
#include <QPushButton>

namespace {
// Set on a dialog from the moment it is answered until it is hidden: the
// number of this showing, so that the steps of an earlier showing never act
// on a later one.
const char kAnswered[] = "modalBoxAnswered";

QString ButtonText(const QAbstractButton* pButton)
{
    return pButton->text().remove(QLatin1Char('&'));
}

QString IconName(QMessageBox::Icon icon)
{
    switch (icon) {
    case QMessageBox::Warning:
        return QStringLiteral("Warning");
    case QMessageBox::Information:
        return QStringLiteral("Information");
    case QMessageBox::Question:
        return QStringLiteral("Question");
    case QMessageBox::Critical:
        return QStringLiteral("Critical");
    default:
        return QStringLiteral("NoIcon");
    }
}
} // namespace

CModalBoxAnswerer::CModalBoxAnswerer(QObject* parent)
    : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &CModalBoxAnswerer::Poll);
    m_timer.start(5);
}

void CModalBoxAnswerer::AnswerInput(const QString& text)
{
    m_bInput = true;
    m_strInput = text;
}

void CModalBoxAnswerer::CancelInput()
{
    m_bInput = false;
    m_strInput.clear();
}

void CModalBoxAnswerer::AnswerFile(const QString& path)
{
    m_bFile = true;
    m_strFile = path;
}

void CModalBoxAnswerer::CancelFile()
{
    m_bFile = false;
    m_strFile.clear();
}

void CModalBoxAnswerer::AnswerDialog(bool bAccept, const QStringList& clicks, std::function<void(QDialog*)> fill)
{
    m_bScript = false;
    m_script.clear();
    m_bAccept = bAccept;
    m_clicks = clicks;
    m_fill = std::move(fill);
}

void CModalBoxAnswerer::ScriptDialog(QList<Step> steps)
{
    m_bScript = true;
    m_script = std::move(steps);
    m_bAccept = false;
    m_clicks.clear();
    m_fill = nullptr;
}

bool CModalBoxAnswerer::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    // Closed: the steps still due are not run; shown again later, it is a
    // new question.
    if (pEvent->type() == QEvent::Hide) {
        const QVariant showing = pWatched->property(kAnswered);
        pWatched->setProperty(kAnswered, QVariant());
        if (showing.isValid())
            EndRun(showing.toInt());
    }
    return QObject::eventFilter(pWatched, pEvent);
}

void CModalBoxAnswerer::Poll()
{
    auto* pDialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!pDialog || !pDialog->isVisible() || pDialog->property(kAnswered).isValid())
        return;
    pDialog->setProperty(kAnswered, ++m_nShowings);
    pDialog->installEventFilter(this);

    SBox box;
    box.className = QString::fromLatin1(pDialog->metaObject()->className());
    box.title = pDialog->windowTitle();
    if (auto* pBox = qobject_cast<QMessageBox*>(pDialog))
        AnswerMessage(pBox);
    else if (auto* pInput = qobject_cast<QInputDialog*>(pDialog))
        AnswerInputDialog(pInput, box);
    else if (auto* pFile = qobject_cast<QFileDialog*>(pDialog))
        AnswerFileDialog(pFile, box);
    else
        AnswerOtherDialog(pDialog, box);
}

void CModalBoxAnswerer::Shown(const SBox& box)
{
    boxes.append(box);
    if (m_onShown)
        m_onShown(box);
}

void CModalBoxAnswerer::AnswerMessage(QMessageBox* pBox)
{
    SBox box;
    box.kind = EKind::Message;
    box.className = QString::fromLatin1(pBox->metaObject()->className());
    box.title = pBox->windowTitle();
    box.text = pBox->text();
    box.icon = IconName(pBox->icon());
    QAbstractButton* pChosen = nullptr;
    const auto buttons = pBox->buttons();
    for (QAbstractButton* pButton : buttons) {
        const QString text = ButtonText(pButton);
        box.buttons.append(text);
        if (!m_strAnswer.isEmpty() && text == m_strAnswer)
            pChosen = pButton;
    }
    Shown(box);
    if (!pChosen)
        pChosen = pBox->escapeButton() ? pBox->escapeButton() : static_cast<QAbstractButton*>(pBox->defaultButton());
    if (pChosen)
        pChosen->click();
    else
        pBox->reject();
}

void CModalBoxAnswerer::AnswerInputDialog(QInputDialog* pDialog, SBox box)
{
    box.kind = EKind::Input;
    box.text = pDialog->labelText();
    switch (pDialog->inputMode()) {
    case QInputDialog::IntInput:
        box.value = QString::number(pDialog->intValue());
        break;
    case QInputDialog::DoubleInput:
        box.value = QString::number(pDialog->doubleValue());
        break;
    default:
        box.value = pDialog->textValue();
        break;
    }
    Shown(box);
    const bool bAnswer = m_bInput;
    const QString text = m_strInput;
    RunSteps(pDialog, {[this, bAnswer, text](QDialog* pShown) {
                  auto* pInput = static_cast<QInputDialog*>(pShown);
                  if (!bAnswer) {
                      pInput->reject();
                      return;
                  }
                  bool bTaken = true;
                  switch (pInput->inputMode()) {
                  case QInputDialog::IntInput: {
                      const int n = text.toInt(&bTaken);
                      pInput->setIntValue(n);
                      bTaken = bTaken && pInput->intValue() == n;
                      break;
                  }
                  case QInputDialog::DoubleInput: {
                      const double d = text.toDouble(&bTaken);
                      pInput->setDoubleValue(d);
                      bTaken = bTaken && pInput->doubleValue() == d;
                      break;
                  }
                  default:
                      pInput->setTextValue(text);
                      bTaken = pInput->textValue() == text;
                      break;
                  }
                  if (!bTaken)
                      problems << QStringLiteral("input dialog did not take \"%1\"").arg(text);
                  pInput->accept();
              }});
}

void CModalBoxAnswerer::AnswerFileDialog(QFileDialog* pDialog, SBox box)
{
    box.kind = EKind::File;
    box.text = pDialog->nameFilters().join(QStringLiteral(";;"));
    box.value = pDialog->directory().absolutePath();
    box.fileMode = QString::fromLatin1(QMetaEnum::fromType<QFileDialog::FileMode>().valueToKey(pDialog->fileMode()));
    box.selectedFilter = pDialog->selectedNameFilter();
    Shown(box);
    const bool bAnswer = m_bFile;
    const QString path = m_strFile;
    RunSteps(pDialog, {[this, bAnswer, path](QDialog* pShown) {
                  auto* pFile = static_cast<QFileDialog*>(pShown);
                  if (!bAnswer) {
                      pFile->reject();
                      return;
                  }
                  // Qt's own dialog takes the path as if typed: its folder
                  // becomes the current one and its name the typed name.
                  // (selectFile leaves the name field alone while it has the
                  // focus, which offscreen it always has.)
                  // A path whose folder is no folder (it runs through a
                  // regular file, say) is typed in whole, as an operator
                  // would: the dialog cannot show its folder.
                  const QFileInfo info(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
                  const bool bFolder = QFileInfo(info.absolutePath()).isDir();
                  if (bFolder)
                      pFile->setDirectory(info.absolutePath());
                  if (auto* pName = pFile->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                      pName->setText(bFolder ? info.fileName() : info.absoluteFilePath());
                  else
                      pFile->selectFile(info.absoluteFilePath());
                  // A refusal may open a box of its own, answered meanwhile.
                  pShown->accept();
                  if (pFile->isVisible()) {
                      problems << QStringLiteral("file dialog did not take \"%1\"").arg(path);
                      pFile->reject();
                  }
              }});
}

void CModalBoxAnswerer::AnswerOtherDialog(QDialog* pDialog, SBox box)
{
    box.kind = EKind::Dialog;
    Shown(box);
    if (m_bScript) {
        const QString name = box.className;
        QList<Step> steps = m_script;
        steps << [this, name](QDialog* pShown) {
            problems << QStringLiteral("%1 left open by its script").arg(name);
            pShown->reject();
        };
        // The last step above only runs when the script left the dialog open.
        const int nSteps = m_script.size();
        RunSteps(pDialog, steps, [this, name, nSteps](int nLeft) {
            if (nLeft > 1)
                problems << QStringLiteral("%1 closed after step %2 of %3 of its script")
                                .arg(name)
                                .arg(nSteps - nLeft + 1)
                                .arg(nSteps);
        });
        return;
    }
    QList<Step> steps;
    if (m_fill)
        steps << m_fill;
    for (const QString& name : qAsConst(m_clicks)) {
        steps << [this, name](QDialog* pShown) {
            const auto buttons = pShown->findChildren<QAbstractButton*>();
            for (QAbstractButton* pButton : buttons) {
                if (pButton->objectName() == name || ButtonText(pButton) == name) {
                    pButton->click();
                    return;
                }
            }
            problems << QStringLiteral("no button \"%1\" in %2").arg(name, pShown->metaObject()->className());
        };
    }
    const bool bAccept = m_bAccept;
    steps << [bAccept](QDialog* pShown) {
        if (bAccept)
            pShown->accept();
        else
            pShown->reject();
    };
    RunSteps(pDialog, steps);
}

void CModalBoxAnswerer::RunSteps(QDialog* pDialog, QList<Step> steps, std::function<void(int)> closedEarly)
{
    const int nShowing = pDialog->property(kAnswered).toInt();
    m_runs.insert(nShowing, SRun{int(steps.size()), std::move(closedEarly)});
    NextStep(pDialog, nShowing, std::move(steps));
}

void CModalBoxAnswerer::NextStep(QDialog* pDialog, int nShowing, QList<Step> steps)
{
    if (steps.isEmpty()) {
        m_runs.remove(nShowing);
        return;
    }
    const QPointer<QDialog> guard(pDialog);
    QTimer::singleShot(0, this, [this, guard, nShowing, steps]() mutable {
        // The showing ended (hidden: eventFilter ended its run; shown again
        // since, it is another showing with an answer of its own).
        if (!m_runs.contains(nShowing))
            return;
        if (!guard || !guard->isVisible() || guard->property(kAnswered).toInt() != nShowing) {
            EndRun(nShowing);
            return;
        }
        const Step step = steps.takeFirst();
        m_runs[nShowing].nLeft = steps.size();
        step(guard.data());
        if (!m_runs.contains(nShowing))
            return;
        if (!guard) {
            EndRun(nShowing);
            return;
        }
        NextStep(guard.data(), nShowing, steps);
    });
}

void CModalBoxAnswerer::EndRun(int nShowing)
{
    const SRun run = m_runs.take(nShowing);
    if (run.nLeft > 0 && run.closedEarly)
        run.closedEarly(run.nLeft);
}
