// The serial-number entry dialog built on its own: entries typed as a
// scanner types them, checked against the template when the dialog closes
// (Return, the title bar), the two warnings, and hostile templates and
// entries.

#include "customersettings.h"
#include "modalboxanswerer.h"
#include "scaninputdialog.h"
#include "stationresources.h"
#include "testenvironment.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QWindow>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {
const QString kEmptyWarning = QStringLiteral("The product serial number is empty, please enter the product serial number");
const QString kMismatch = QStringLiteral("Product serial numbers do not match");

QLineEdit* Input(ScanInputDialog* pDialog)
{
    return pDialog->findChild<QLineEdit*>(QStringLiteral("snInput_lineEdit"));
}

QLineEdit* TemplateField(ScanInputDialog* pDialog)
{
    return pDialog->findChild<QLineEdit*>(QStringLiteral("snTemplate_lineEdit"));
}

// The title bar's close button: the window system asks the window to close.
void TitleBarClose(QWidget* pWidget)
{
    QCloseEvent event;
    QCoreApplication::sendEvent(pWidget->windowHandle(), &event);
}

// Non-BMP characters: U+1F600 and U+10400, two 16-bit units each.
const QString kFace = QString::fromUtf8("\xF0\x9F\x98\x80");
const QString kDeseret = QString::fromUtf8("\xF0\x90\x90\x80");
} // namespace

class TestScanInputDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void form();
    void entryAgainstTemplate_data();
    void entryAgainstTemplate();
    void emptyEntryWarnsAndCloses();
    void escapeDoesNotClose();
    void titleBarCloseRunsTheCheck_data();
    void titleBarCloseRunsTheCheck();
    void modalRunGivesTheResult();
    void matchTemplateStoresAnAcceptedNumber();
    void updateTemplateRereadsTheStore();
    void scannerBurst();
    void controlCharactersInTheEntry();

private:
    // A dialog over the template, opened for a fresh entry.
    ScanInputDialog* OpenWith(const QString& strTemplate);

    std::unique_ptr<ScanInputDialog> m_pDialog;
    std::unique_ptr<CModalBoxAnswerer> m_pAnswerer;
};

void TestScanInputDialog::initTestCase()
{
    InitStationResources();
}

void TestScanInputDialog::init()
{
    CCustomerSettings::GetInstance()->clear();
    m_pAnswerer = std::make_unique<CModalBoxAnswerer>();
}

void TestScanInputDialog::cleanup()
{
    m_pDialog.reset();
    m_pAnswerer.reset();
}

ScanInputDialog* TestScanInputDialog::OpenWith(const QString& strTemplate)
{
    CCustomerSettings::GetInstance()->SetString(QStringLiteral("SNTEMPLATE"), strTemplate);
    m_pDialog = std::make_unique<ScanInputDialog>();
    m_pDialog->ShowInput();
    if (!QTest::qWaitForWindowExposed(m_pDialog.get()))
        qWarning("The dialog was not exposed.");
    return m_pDialog.get();
}

void TestScanInputDialog::form()
{
    // Built over an empty store: the template "*" is stored and shown.
    ScanInputDialog dialog;
    QCOMPARE(CCustomerSettings::GetInstance()->value("SNTEMPLATE").toString(), QString("*"));
    QCOMPARE(TemplateField(&dialog)->text(), QString("*"));
    QVERIFY(!TemplateField(&dialog)->isEnabled());
    QVERIFY(Input(&dialog)->isEnabled());
    QVERIFY(!Input(&dialog)->testAttribute(Qt::WA_InputMethodEnabled));
    QCOMPARE(dialog.windowTitle(), QString("Product Serise ID Input"));
    QVERIFY(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QVERIFY(!dialog.windowIcon().isNull());
    QCOMPARE(dialog.findChild<QLabel*>("label")->text(), QString("SN Template"));
    QCOMPARE(dialog.findChild<QLabel*>("label_2")->text(), QString("SN Input "));
    QVERIFY(!dialog.isVisible());
    // Asked to close while it is not shown: nothing to check, no box.
    QVERIFY(dialog.close());
    QVERIFY(m_pAnswerer->boxes.isEmpty());
}

void TestScanInputDialog::entryAgainstTemplate_data()
{
    QTest::addColumn<QString>("strTemplate");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("* takes one character") << "*" << "7" << true;
    QTest::newRow("* takes any length") << "*" << "KT-2024-000017-LONG" << true;
    QTest::newRow("AB**-12: ABxy-12") << "AB**-12" << "ABxy-12" << true;
    QTest::newRow("AB**-12: AB*9-12") << "AB**-12" << "AB*9-12" << true;
    QTest::newRow("AB**-12: other case") << "AB**-12" << "ab12-12" << false;
    QTest::newRow("AB**-12: longer") << "AB**-12" << "ABxy-123" << false;
    QTest::newRow("AB**-12: shorter") << "AB**-12" << "ABxy-1" << false;
    QTest::newRow("A: A") << "A" << "A" << true;
    QTest::newRow("A: B") << "A" << "B" << false;
    QTest::newRow("A: AA") << "A" << "AA" << false;
    QTest::newRow("A: *") << "A" << "*" << false;
    // An empty template matches nothing that has a character.
    QTest::newRow("empty template") << QString("") << "A" << false;
    // Compared as 16-bit units: a character outside the Basic Multilingual
    // Plane is two of them.
    QTest::newRow("non-BMP: same") << "A" + kFace << "A" + kFace << true;
    QTest::newRow("non-BMP: ** takes it") << "A**" << "A" + kFace << true;
    QTest::newRow("non-BMP: * does not") << "A*" << "A" + kFace << false;
    QTest::newRow("non-BMP: other character") << "A" + kFace << "A" + kDeseret << false;
}

void TestScanInputDialog::entryAgainstTemplate()
{
    QFETCH(QString, strTemplate);
    QFETCH(QString, entry);
    QFETCH(bool, accepted);

    ScanInputDialog* pDialog = OpenWith(strTemplate);
    QCOMPARE(TemplateField(pDialog)->text(), strTemplate);
    QSignalSpy accepts(pDialog, &QDialog::accepted);
    // Typed when it can be typed, else put in as a paste would.
    if (std::all_of(entry.cbegin(), entry.cend(), [](QChar c) { return c.unicode() < 0x80; }))
        QTest::keyClicks(Input(pDialog), entry);
    else
        Input(pDialog)->setText(entry);
    QCOMPARE(pDialog->GetSerialNumber(), entry);
    QTest::keyClick(Input(pDialog), Qt::Key_Return);

    QVERIFY(!pDialog->isVisible());
    QCOMPARE(accepts.count(), accepted ? 1 : 0);
    QCOMPARE(pDialog->result(), accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
    if (accepted) {
        QVERIFY(m_pAnswerer->boxes.isEmpty());
    } else {
        QCOMPARE(m_pAnswerer->boxes.size(), 1);
        QCOMPARE(m_pAnswerer->boxes[0].title, QString("Warning"));
        QCOMPARE(m_pAnswerer->boxes[0].text, kMismatch);
        QCOMPARE(m_pAnswerer->boxes[0].icon, QString("Warning"));
        QCOMPARE(m_pAnswerer->boxes[0].buttons, QStringList{"OK"});
    }
    // The refused entry is still what the dialog hands out.
    QCOMPARE(pDialog->GetSerialNumber(), entry);
}

void TestScanInputDialog::emptyEntryWarnsAndCloses()
{
    for (const QString& strTemplate : {QString("*"), QString("AB**-12"), QString("")}) {
        m_pAnswerer->boxes.clear();
        ScanInputDialog* pDialog = OpenWith(strTemplate);
        QSignalSpy accepts(pDialog, &QDialog::accepted);
        // Typed and erased again: empty all the same.
        QTest::keyClicks(Input(pDialog), "AB");
        QTest::keyClick(Input(pDialog), Qt::Key_Backspace);
        QTest::keyClick(Input(pDialog), Qt::Key_Backspace);
        QTest::keyClick(Input(pDialog), Qt::Key_Enter, Qt::KeypadModifier);

        QVERIFY2(!pDialog->isVisible(), qPrintable(strTemplate));
        QCOMPARE(accepts.count(), 0);
        QCOMPARE(m_pAnswerer->boxes.size(), 1);
        QCOMPARE(m_pAnswerer->boxes[0].title, QString("Warning"));
        QCOMPARE(m_pAnswerer->boxes[0].text, kEmptyWarning);
        QCOMPARE(m_pAnswerer->boxes[0].buttons, QStringList{"OK"});
    }
}

void TestScanInputDialog::escapeDoesNotClose()
{
    ScanInputDialog* pDialog = OpenWith("*");
    QTest::keyClicks(Input(pDialog), "SN1");
    // In the field and on the dialog itself; other keys on the dialog are
    // dropped too.
    QTest::keyClick(Input(pDialog), Qt::Key_Escape);
    QTest::keyClick(pDialog, Qt::Key_Escape);
    QTest::keyClick(pDialog, Qt::Key_F4, Qt::AltModifier);
    QTest::keyClick(pDialog, Qt::Key_Space);
    QVERIFY(pDialog->isVisible());
    QCOMPARE(Input(pDialog)->text(), QString("SN1"));
    QVERIFY(m_pAnswerer->boxes.isEmpty());
    // Return on the dialog itself closes it as in the field.
    QTest::keyClick(pDialog, Qt::Key_Return);
    QVERIFY(!pDialog->isVisible());
    QCOMPARE(pDialog->result(), int(QDialog::Accepted));
}

void TestScanInputDialog::titleBarCloseRunsTheCheck_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("warning");

    QTest::newRow("match") << "ABxy-12" << true << QString();
    QTest::newRow("mismatch") << "ABxy-13" << false << kMismatch;
    QTest::newRow("empty") << "" << false << kEmptyWarning;
}

void TestScanInputDialog::titleBarCloseRunsTheCheck()
{
    QFETCH(QString, entry);
    QFETCH(bool, accepted);
    QFETCH(QString, warning);

    ScanInputDialog* pDialog = OpenWith("AB**-12");
    QSignalSpy accepts(pDialog, &QDialog::accepted);
    QTest::keyClicks(Input(pDialog), entry);
    TitleBarClose(pDialog);
    QVERIFY(!pDialog->isVisible());
    QCOMPARE(accepts.count(), accepted ? 1 : 0);
    QStringList texts;
    for (const CModalBoxAnswerer::SBox& box : qAsConst(m_pAnswerer->boxes))
        texts << box.text;
    QCOMPARE(texts, warning.isEmpty() ? QStringList() : QStringList{warning});
}

void TestScanInputDialog::modalRunGivesTheResult()
{
    // Run modally, as an owner would: Accepted after a match, Rejected after
    // a refused entry (the warning answered) and after an empty one.
    CCustomerSettings::GetInstance()->SetString("SNTEMPLATE", "SN-**");
    ScanInputDialog dialog;
    const QList<QPair<QString, int>> runs = {
        {"SN-01", QDialog::Accepted}, {"SN-001", QDialog::Rejected}, {"", QDialog::Rejected}};
    for (const auto& run : runs) {
        const QString entry = run.first;
        m_pAnswerer->AnswerDialog(false, {}, [entry](QDialog* pShown) {
            auto* pInput = pShown->findChild<QLineEdit*>("snInput_lineEdit");
            pInput->clear();
            QTest::keyClicks(pInput, entry);
            QTest::keyClick(pInput, Qt::Key_Return);
        });
        QCOMPARE(dialog.exec(), run.second);
    }
    QCOMPARE(m_pAnswerer->boxes.size(), 3 + 2);  // three runs, two warnings
    QVERIFY(m_pAnswerer->problems.isEmpty());
}

void TestScanInputDialog::matchTemplateStoresAnAcceptedNumber()
{
    ScanInputDialog* pDialog = OpenWith("AB**-12");
    QTest::keyClicks(Input(pDialog), "typed");
    QVERIFY(!pDialog->MatchTemplate("ABxy-13"));
    QCOMPARE(pDialog->GetSerialNumber(), QString("typed"));
    QVERIFY(!pDialog->MatchTemplate(QString()));
    QCOMPARE(pDialog->GetSerialNumber(), QString("typed"));
    QVERIFY(pDialog->MatchTemplate("ABxy-12"));
    QCOMPARE(pDialog->GetSerialNumber(), QString("ABxy-12"));
    // The field is left alone; its next edit is the entry again.
    QCOMPARE(Input(pDialog)->text(), QString("typed"));
    QTest::keyClick(Input(pDialog), Qt::Key_Backspace);
    QCOMPARE(pDialog->GetSerialNumber(), QString("type"));
    // A fresh entry forgets it all.
    pDialog->ShowInput();
    QCOMPARE(pDialog->GetSerialNumber(), QString());
    QCOMPARE(Input(pDialog)->text(), QString());
}

void TestScanInputDialog::updateTemplateRereadsTheStore()
{
    ScanInputDialog* pDialog = OpenWith("AB**-12");
    CCustomerSettings::GetInstance()->SetString("SNTEMPLATE", "Q*");
    // The store alone changes nothing.
    QCOMPARE(TemplateField(pDialog)->text(), QString("AB**-12"));
    QVERIFY(pDialog->MatchTemplate("ABcd-12"));
    pDialog->UpdateTemplate(false);
    QCOMPARE(TemplateField(pDialog)->text(), QString("Q*"));
    QVERIFY(pDialog->MatchTemplate("Q7"));
    QVERIFY(!pDialog->MatchTemplate("ABcd-12"));
    // A template removed meanwhile comes back as "*", stored again.
    CCustomerSettings::GetInstance()->remove("SNTEMPLATE");
    pDialog->UpdateTemplate(true);
    QCOMPARE(TemplateField(pDialog)->text(), QString("*"));
    QCOMPARE(CCustomerSettings::GetInstance()->value("SNTEMPLATE").toString(), QString("*"));
}

void TestScanInputDialog::scannerBurst()
{
    // 10 000 characters in one burst, then the scanner's Return: checked
    // against a template as long, with wildcards in it.
    QString strTemplate;
    QString entry;
    for (int i = 0; i < 10000; ++i) {
        const QChar c = QLatin1Char(char('A' + i % 26));
        strTemplate += (i % 97 == 0) ? QChar('*') : c;
        entry += (i % 97 == 0) ? QChar('0' + i % 10) : c;
    }
    ScanInputDialog* pDialog = OpenWith(strTemplate);
    QTest::keyClicks(Input(pDialog), entry);
    QCOMPARE(Input(pDialog)->text().size(), 10000);
    QTest::keyClick(Input(pDialog), Qt::Key_Return);
    QVERIFY(!pDialog->isVisible());
    QCOMPARE(pDialog->result(), int(QDialog::Accepted));
    QVERIFY(m_pAnswerer->boxes.isEmpty());

    // One unit off in the middle: refused. (Put in at once: each keystroke
    // lays the whole line out again, so one typed burst is enough.)
    entry[5001] = QLatin1Char('#');
    pDialog->ShowInput();
    // A fresh entry: the accepted one before it does not count.
    QCOMPARE(pDialog->result(), int(QDialog::Rejected));
    Input(pDialog)->setText(entry);
    QTest::keyClick(Input(pDialog), Qt::Key_Return);
    QVERIFY(!pDialog->isVisible());
    QCOMPARE(pDialog->result(), int(QDialog::Rejected));
    QCOMPARE(m_pAnswerer->boxes.size(), 1);
    QCOMPARE(m_pAnswerer->boxes[0].text, kMismatch);
}

void TestScanInputDialog::controlCharactersInTheEntry()
{
    // Typed control keys (Tab, Escape, Backspace, Delete) do what the field
    // does with them and never close the dialog; only Return does.
    ScanInputDialog* pDialog = OpenWith("AB**-12");
    QTest::keyClicks(Input(pDialog), QString("AB\t\x1b" "xy-12"));
    QVERIFY(pDialog->isVisible());
    QCOMPARE(Input(pDialog)->text(), QString("ABxy-12"));
    QTest::keyClick(Input(pDialog), Qt::Key_Return);
    QCOMPARE(pDialog->result(), int(QDialog::Accepted));

    // Control characters put into the field (a paste): compared like any
    // other unit, so the template refuses them unless "*" stands there.
    m_pAnswerer->boxes.clear();
    pDialog->ShowInput();
    QCOMPARE(pDialog->result(), int(QDialog::Rejected));
    Input(pDialog)->setText(QString("AB\x01\x7f-12"));
    QTest::keyClick(Input(pDialog), Qt::Key_Return);
    QCOMPARE(pDialog->result(), int(QDialog::Accepted));

    pDialog->ShowInput();
    QCOMPARE(pDialog->result(), int(QDialog::Rejected));
    Input(pDialog)->setText(QString("A\x01\x01\x7f-12"));
    QTest::keyClick(Input(pDialog), Qt::Key_Return);
    QCOMPARE(pDialog->result(), int(QDialog::Rejected));
    QCOMPARE(m_pAnswerer->boxes.size(), 1);
    QCOMPARE(m_pAnswerer->boxes[0].text, kMismatch);
}

STATION_TEST_MAIN(TestScanInputDialog)
#include "tst_scaninputdialog.moc"
