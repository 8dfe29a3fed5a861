#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

class QDialog;
class QFileDialog;
class QInputDialog;
class QMessageBox;

// Answers the modal boxes and dialogs that code under test opens: each one
// that becomes the active modal widget is recorded and answered.
//
//   message box    the button whose text Answer() names; else the escape
//                  button the code set, or the default button; else it is
//                  closed without a button (as by the window's close);
//   input dialog   the text AnswerInput() gives (written as the dialog's
//                  text, integer or number), accepted; else cancelled;
//   file dialog    the path AnswerFile() gives, accepted; else cancelled
//                  (Qt's own dialog: offscreen there is no native one);
//   other dialog   the buttons AnswerDialog() names are clicked, then the
//                  dialog is accepted or rejected (rejected when unset);
//                  or the steps ScriptDialog() gives run, which close it.
//
// A message box is answered at once; every other dialog from a zero-time
// timer, one step after the other, so that a modal dialog a step opens is
// answered in turn. A dialog shown again after it was closed is answered
// again.
class CModalBoxAnswerer : public QObject
{
    Q_OBJECT

public:
    enum class EKind { Message, Input, File, Dialog };

    struct SBox
    {
        EKind kind = EKind::Message;
        QString className;  // of the dialog, e.g. "MainSetUpDialog"
        QString title;
        // Message box: its text; input dialog: its label; file dialog: the
        // name filters, ";;" between them.
        QString text;
        QStringList buttons;  // message box: its buttons' texts
        QString icon;  // message box: "Warning", "Information", "Question", "Critical", "NoIcon"
        // Input dialog: the text it offered; file dialog: the folder it showed.
        QString value;
        // File dialog: what it picks, named as QFileDialog::FileMode names
        // it ("ExistingFile", "AnyFile", "ExistingFiles", "Directory", or
        // "DirectoryOnly" for a folder dialog that lists no files).
        QString fileMode;
        // File dialog: the name filter chosen when it opened.
        QString selectedFilter;
    };

    explicit CModalBoxAnswerer(QObject* parent = nullptr);

    // The text of the button to press in the next message boxes (empty: escape).
    void Answer(const QString& buttonText) { m_strAnswer = buttonText; }
    // Input dialogs: accepted with this text, or cancelled.
    void AnswerInput(const QString& text);
    void CancelInput();
    // File dialogs: accepted with this path (a file, or a folder for a
    // folder dialog; typed in whole when its folder is none), or cancelled. A dialog that does not take the path
    // (a file that must exist and does not, an overwrite not confirmed) is
    // cancelled and the path recorded in problems.
    void AnswerFile(const QString& path);
    void CancelFile();
    // Other dialogs: first clicks the buttons named (object name or text, in
    // order), then accepts or rejects the dialog when it is still open.
    // fill, when given, runs before the clicks with the dialog (to set its
    // fields, say).
    void AnswerDialog(bool bAccept, const QStringList& clicks = QStringList(),
                      std::function<void(QDialog*)> fill = nullptr);
    // Other dialogs, as the operator works them: the steps run with the
    // dialog one after the other, each from a zero-time timer (a box or
    // dialog a step opens is answered in its own loop), and close it
    // themselves. A dialog closed before the last step ran, or still open
    // after it (then rejected), is recorded in problems. It replaces the
    // answer AnswerDialog() gave, and AnswerDialog() replaces it.
    using Step = std::function<void(QDialog*)>;
    void ScriptDialog(QList<Step> steps);

    // Runs while a box or dialog is open, before it is answered (a message
    // box is answered right after it returns; set the next answer here).
    void OnShown(std::function<void(const SBox&)> fn) { m_onShown = std::move(fn); }

    QList<SBox> boxes;
    // What could not be done as asked (a button not found, a path refused).
    QStringList problems;

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private slots:
    void Poll();

private:
    void AnswerMessage(QMessageBox* pBox);
    void AnswerInputDialog(QInputDialog* pDialog, SBox box);
    void AnswerFileDialog(QFileDialog* pDialog, SBox box);
    void AnswerOtherDialog(QDialog* pDialog, SBox box);
    void Shown(const SBox& box);
    // Runs the steps one after the other, each from a zero-time timer, while
    // pDialog lives and this showing of it lasts; closedEarly, when given,
    // gets the number of steps left when it was closed (told at once) or
    // deleted before them.
    void RunSteps(QDialog* pDialog, QList<Step> steps, std::function<void(int)> closedEarly = nullptr);
    void NextStep(QDialog* pDialog, int nShowing, QList<Step> steps);
    void EndRun(int nShowing);

    QTimer m_timer;
    int m_nShowings = 0;
    // The steps under way, by showing: how many are left, and who is told
    // when the showing ends first.
    struct SRun
    {
        int nLeft = 0;
        std::function<void(int)> closedEarly;
    };
    QHash<int, SRun> m_runs;
    QString m_strAnswer;
    bool m_bInput = false;
    QString m_strInput;
    bool m_bFile = false;
    QString m_strFile;
    bool m_bAccept = false;
    QStringList m_clicks;
    std::function<void(QDialog*)> m_fill;
    bool m_bScript = false;
    QList<Step> m_script;
    std::function<void(const SBox&)> m_onShown;
};
