// The answering machine of the modal boxes and dialogs, against Qt's own
// static dialogs as the station opens them, and dialogs of the station's
// kind (a form with buttons that open further dialogs).

#include "modalboxanswerer.h"
#include "testenvironment.h"

#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

Q_DECLARE_METATYPE(CModalBoxAnswerer::EKind)

namespace {
// A set-up dialog: a name field, a check box, a "Browse..." button that asks
// for a folder and an "Apply" button that confirms with a box.
class CFormDialog : public QDialog
{
public:
    CFormDialog()
    {
        setObjectName("formDialog");
        setWindowTitle("Set up");
        auto* pLayout = new QVBoxLayout(this);
        pName = new QLineEdit(this);
        pCheck = new QCheckBox("Automatic", this);
        pCheck->setObjectName("automaticCheckBox");
        auto* pBrowse = new QPushButton("Browse...", this);
        pBrowse->setObjectName("browsePushButton");
        auto* pApply = new QPushButton("Apply", this);
        pApply->setObjectName("applyPushButton");
        for (QWidget* pWidget : {static_cast<QWidget*>(pName), static_cast<QWidget*>(pCheck),
                                 static_cast<QWidget*>(pBrowse), static_cast<QWidget*>(pApply)})
            pLayout->addWidget(pWidget);
        connect(pBrowse, &QPushButton::clicked, this,
                [this] { folder = QFileDialog::getExistingDirectory(this, "Folder", QDir::tempPath()); });
        connect(pApply, &QPushButton::clicked, this, [this] {
            applied = QMessageBox::question(this, "Apply", "Apply the settings?") == QMessageBox::Yes;
        });
    }
    QLineEdit* pName;
    QCheckBox* pCheck;
    QString folder;
    bool applied = false;
};

void WriteFile(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
}
} // namespace

class TestModalBoxAnswerer : public QObject
{
    Q_OBJECT

private slots:
    void messageBoxByButtonText_data();
    void messageBoxByButtonText();
    void inputDialogs();
    void inputDialogCancelled();
    void fileDialogs();
    void fileDialogRefusesAMissingFile();
    void dialogAcceptedOrRejected_data();
    void dialogAcceptedOrRejected();
    void dialogClicksOpenFurtherDialogs();
    void missingButtonIsAProblem();
    void dialogShownTwiceIsAnsweredTwice();
    void dialogThatClosesItselfIsAnsweredAfreshWhenShownAgain();
    void dialogScript();
    void dialogScriptThatDoesNotClose_data();
    void dialogScriptThatDoesNotClose();
};

void TestModalBoxAnswerer::messageBoxByButtonText_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("result");
    QTest::newRow("Yes") << "Yes" << int(QMessageBox::Yes);
    QTest::newRow("No") << "No" << int(QMessageBox::No);
    // No escape button was set: closed without a button.
    QTest::newRow("no answer: closed") << "" << int(QMessageBox::NoButton);
    QTest::newRow("unknown text: closed") << "Maybe" << int(QMessageBox::NoButton);
}

void TestModalBoxAnswerer::messageBoxByButtonText()
{
    QFETCH(QString, answer);
    QFETCH(int, result);
    CModalBoxAnswerer answerer;
    answerer.Answer(answer);
    QCOMPARE(int(QMessageBox::question(nullptr, "Question", "Open it?")), result);
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].kind, CModalBoxAnswerer::EKind::Message);
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("Question"));
    QCOMPARE(answerer.boxes[0].text, QStringLiteral("Open it?"));
    QCOMPARE(answerer.boxes[0].buttons, (QStringList{"Yes", "No"}));
    QCOMPARE(answerer.boxes[0].icon, QStringLiteral("Question"));
}

void TestModalBoxAnswerer::inputDialogs()
{
    CModalBoxAnswerer answerer;
    bool bOk = false;

    answerer.AnswerInput("SN-0042");
    QCOMPARE(QInputDialog::getText(nullptr, "Serial number", "Scan the code:", QLineEdit::Normal, "SN-", &bOk),
             QStringLiteral("SN-0042"));
    QVERIFY(bOk);
    QCOMPARE(answerer.boxes.last().kind, CModalBoxAnswerer::EKind::Input);
    QCOMPARE(answerer.boxes.last().title, QStringLiteral("Serial number"));
    QCOMPARE(answerer.boxes.last().text, QStringLiteral("Scan the code:"));
    QCOMPARE(answerer.boxes.last().value, QStringLiteral("SN-"));

    answerer.AnswerInput("42");
    QCOMPARE(QInputDialog::getInt(nullptr, "Count", "Upgrades:", 1, 0, 100, 1, &bOk), 42);
    QVERIFY(bOk);
    QCOMPARE(answerer.boxes.last().value, QStringLiteral("1"));

    answerer.AnswerInput("Second");
    QCOMPARE(QInputDialog::getItem(nullptr, "Item", "Choose:", {"First", "Second"}, 0, false, &bOk),
             QStringLiteral("Second"));
    QVERIFY(bOk);
    QVERIFY2(answerer.problems.isEmpty(), qPrintable(answerer.problems.join('\n')));

    // Out of range or not offered: the dialog keeps its value, and says so.
    answerer.AnswerInput("500");
    QCOMPARE(QInputDialog::getInt(nullptr, "Count", "Upgrades:", 1, 0, 100, 1, &bOk), 100);
    answerer.AnswerInput("Third");
    QCOMPARE(QInputDialog::getItem(nullptr, "Item", "Choose:", {"First", "Second"}, 0, false, &bOk),
             QStringLiteral("First"));
    QCOMPARE(answerer.problems, (QStringList{"input dialog did not take \"500\"",
                                             "input dialog did not take \"Third\""}));
    QCOMPARE(answerer.boxes.size(), 5);
}

void TestModalBoxAnswerer::inputDialogCancelled()
{
    CModalBoxAnswerer answerer;
    bool bOk = true;
    QVERIFY(QInputDialog::getText(nullptr, "Name", "Name:", QLineEdit::Normal, "x", &bOk).isEmpty());
    QVERIFY(!bOk);
    answerer.AnswerInput("given");
    answerer.CancelInput();
    bOk = true;
    QVERIFY(QInputDialog::getText(nullptr, "Name", "Name:", QLineEdit::Normal, "x", &bOk).isEmpty());
    QVERIFY(!bOk);
    QCOMPARE(answerer.boxes.size(), 2);
}

void TestModalBoxAnswerer::fileDialogs()
{
    QTemporaryDir dir;
    const QString image = dir.filePath("image.bin");
    WriteFile(image);
    QVERIFY(QDir(dir.path()).mkdir("logs"));
    CModalBoxAnswerer answerer;

    // Opening an existing file.
    answerer.AnswerFile(image);
    QCOMPARE(QFileDialog::getOpenFileName(nullptr, "Firmware", dir.path(), "Firmware (*.bin);;All (*)"), image);
    QCOMPARE(answerer.boxes.last().kind, CModalBoxAnswerer::EKind::File);
    QCOMPARE(answerer.boxes.last().title, QStringLiteral("Firmware"));
    QCOMPARE(answerer.boxes.last().text, QStringLiteral("Firmware (*.bin);;All (*)"));
    QCOMPARE(answerer.boxes.last().value, QDir(dir.path()).absolutePath());
    QCOMPARE(answerer.boxes.last().fileMode, QStringLiteral("ExistingFile"));

    // Saving under a new name, a relative answer taken from the current folder.
    CScopedWorkDir work;
    answerer.AnswerFile("record.txt");
    QCOMPARE(QFileDialog::getSaveFileName(nullptr, "Save", dir.path()), QDir(work.Path()).absoluteFilePath("record.txt"));

    // Saving through a regular file: the path is typed in whole (never a
    // name in the folder the dialog happens to show).
    answerer.AnswerFile(image + "/record.txt");
    QCOMPARE(QFileDialog::getSaveFileName(nullptr, "Save", dir.path()), image + "/record.txt");

    // A folder.
    answerer.AnswerFile(dir.filePath("logs"));
    QCOMPARE(QFileDialog::getExistingDirectory(nullptr, "Folder", dir.path()), dir.filePath("logs"));
    QCOMPARE(answerer.boxes.last().fileMode, QStringLiteral("DirectoryOnly"));
    answerer.AnswerFile(dir.filePath("logs"));
    QCOMPARE(QFileDialog::getExistingDirectory(nullptr, "Folder", dir.path(), QFileDialog::Options()),
             dir.filePath("logs"));
    QCOMPARE(answerer.boxes.last().fileMode, QStringLiteral("Directory"));

    // Cancelled.
    answerer.CancelFile();
    QVERIFY(QFileDialog::getOpenFileName(nullptr, "Firmware", dir.path()).isEmpty());
    QVERIFY2(answerer.problems.isEmpty(), qPrintable(answerer.problems.join('\n')));
    QCOMPARE(answerer.boxes.size(), 6);
}

void TestModalBoxAnswerer::fileDialogRefusesAMissingFile()
{
    QTemporaryDir dir;
    CModalBoxAnswerer answerer;
    answerer.AnswerFile(dir.filePath("missing.bin"));
    QVERIFY(QFileDialog::getOpenFileName(nullptr, "Firmware", dir.path()).isEmpty());
    // Qt's own complaint was answered on the way, and the dialog cancelled.
    QCOMPARE(answerer.boxes.size(), 2);
    QCOMPARE(answerer.boxes[1].kind, CModalBoxAnswerer::EKind::Message);
    QVERIFY2(answerer.boxes[1].text.contains("missing.bin"), qPrintable(answerer.boxes[1].text));
    QCOMPARE(answerer.problems, QStringList{"file dialog did not take \"" + dir.filePath("missing.bin") + "\""});
}

void TestModalBoxAnswerer::dialogAcceptedOrRejected_data()
{
    QTest::addColumn<bool>("set");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<int>("result");
    QTest::newRow("accepted") << true << true << int(QDialog::Accepted);
    QTest::newRow("rejected") << true << false << int(QDialog::Rejected);
    QTest::newRow("no answer: rejected") << false << false << int(QDialog::Rejected);
}

void TestModalBoxAnswerer::dialogAcceptedOrRejected()
{
    QFETCH(bool, set);
    QFETCH(bool, accept);
    QFETCH(int, result);
    CModalBoxAnswerer answerer;
    if (set)
        answerer.AnswerDialog(accept);
    CFormDialog dialog;
    QCOMPARE(dialog.exec(), result);
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].kind, CModalBoxAnswerer::EKind::Dialog);
    QCOMPARE(answerer.boxes[0].className, QStringLiteral("QDialog"));
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("Set up"));
}

void TestModalBoxAnswerer::dialogClicksOpenFurtherDialogs()
{
    QTemporaryDir dir;
    CModalBoxAnswerer answerer;
    answerer.AnswerFile(dir.path());
    answerer.Answer("Yes");
    answerer.AnswerDialog(true, {"automaticCheckBox", "Browse...", "applyPushButton"},
                          [](QDialog* pDialog) { pDialog->findChild<QLineEdit*>()->setText("Station 7"); });
    CFormDialog dialog;
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.pName->text(), QStringLiteral("Station 7"));
    QVERIFY(dialog.pCheck->isChecked());
    QCOMPARE(dialog.folder, QDir(dir.path()).absolutePath());
    QVERIFY(dialog.applied);
    QCOMPARE(answerer.boxes.size(), 3);
    QCOMPARE(answerer.boxes[1].kind, CModalBoxAnswerer::EKind::File);
    QCOMPARE(answerer.boxes[2].text, QStringLiteral("Apply the settings?"));
    QVERIFY(answerer.problems.isEmpty());
}

void TestModalBoxAnswerer::missingButtonIsAProblem()
{
    CModalBoxAnswerer answerer;
    answerer.AnswerDialog(true, {"noSuchButton"});
    CFormDialog dialog;
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(answerer.problems, QStringList{"no button \"noSuchButton\" in QDialog"});
}

void TestModalBoxAnswerer::dialogShownTwiceIsAnsweredTwice()
{
    CModalBoxAnswerer answerer;
    answerer.AnswerDialog(true);
    CFormDialog dialog;
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    answerer.AnswerDialog(false);
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(answerer.boxes.size(), 2);
}

void TestModalBoxAnswerer::dialogThatClosesItselfIsAnsweredAfreshWhenShownAgain()
{
    // A click closes the dialog, which is run again at once: the rest of the
    // first answer (its final reject) must not reach the second showing.
    CModalBoxAnswerer answerer;
    CFormDialog dialog;
    connect(dialog.pCheck, &QCheckBox::clicked, &dialog, &QDialog::accept);
    answerer.AnswerDialog(false, {"automaticCheckBox"});
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(answerer.boxes.size(), 3);
    QVERIFY(answerer.problems.isEmpty());
}

void TestModalBoxAnswerer::dialogScript()
{
    CModalBoxAnswerer answerer;
    answerer.Answer("Yes");
    CFormDialog dialog;
    QStringList ran;
    bool bAnsweredBetween = false;
    answerer.ScriptDialog({
        [&](QDialog* pDialog) {
            ran << "fill";
            QCOMPARE(pDialog, static_cast<QDialog*>(&dialog));
            QTest::keyClicks(dialog.pName, "Station 7");
        },
        [&](QDialog*) {
            ran << "apply";
            dialog.findChild<QPushButton*>("applyPushButton")->click();
        },
        [&](QDialog* pDialog) {
            // The box the step before opened was answered in its own loop.
            ran << "close";
            bAnsweredBetween = dialog.applied && answerer.boxes.size() == 2;
            pDialog->accept();
        },
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(ran, (QStringList{"fill", "apply", "close"}));
    QVERIFY(bAnsweredBetween);
    QCOMPARE(dialog.pName->text(), QStringLiteral("Station 7"));
    QCOMPARE(answerer.boxes.size(), 2);
    QCOMPARE(answerer.boxes[0].kind, CModalBoxAnswerer::EKind::Dialog);
    QCOMPARE(answerer.boxes[1].kind, CModalBoxAnswerer::EKind::Message);
    QVERIFY2(answerer.problems.isEmpty(), qPrintable(answerer.problems.join('\n')));

    // Shown again: the script runs again; AnswerDialog then replaces it.
    ran.clear();
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(ran, (QStringList{"fill", "apply", "close"}));
    answerer.AnswerDialog(false);
    ran.clear();
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(ran.isEmpty());
    QVERIFY2(answerer.problems.isEmpty(), qPrintable(answerer.problems.join('\n')));
}

void TestModalBoxAnswerer::dialogScriptThatDoesNotClose_data()
{
    QTest::addColumn<int>("closeAt");  // the step that accepts (0: none)
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("ran");
    QTest::addColumn<QStringList>("problems");
    QTest::newRow("left open: rejected")
        << 0 << int(QDialog::Rejected) << QStringList{"1", "2", "3"} << QStringList{"QDialog left open by its script"};
    QTest::newRow("closed early: the rest does not run")
        << 1 << int(QDialog::Accepted) << QStringList{"1"}
        << QStringList{"QDialog closed after step 1 of 3 of its script"};
    QTest::newRow("closed by the last step") << 3 << int(QDialog::Accepted) << QStringList{"1", "2", "3"}
                                             << QStringList();
}

void TestModalBoxAnswerer::dialogScriptThatDoesNotClose()
{
    QFETCH(int, closeAt);
    QFETCH(int, result);
    QFETCH(QStringList, ran);
    QFETCH(QStringList, problems);
    CModalBoxAnswerer answerer;
    QStringList steps;
    QList<CModalBoxAnswerer::Step> script;
    for (int i = 1; i <= 3; ++i) {
        script << [&steps, i, closeAt](QDialog* pDialog) {
            steps << QString::number(i);
            if (i == closeAt)
                pDialog->accept();
        };
    }
    answerer.ScriptDialog(script);
    CFormDialog dialog;
    QCOMPARE(dialog.exec(), result);
    // An early close is told as the dialog closes.
    QCOMPARE(answerer.problems, problems);
    QCOMPARE(steps, ran);
    QCOMPARE(answerer.boxes.size(), 1);
}

STATION_TEST_MAIN(TestModalBoxAnswerer)
#include "tst_modalboxanswerer.moc"
