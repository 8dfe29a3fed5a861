// The draw-test settings dialog: its form, the four keys loaded with their
// defaults, OK against Cancel and Escape, and stored values out of range.

#include "customersettings.h"
#include "modalboxanswerer.h"
#include "settingstesthelpers.h"
#include "setupformultidialog.h"
#include "stationresources.h"
#include "testenvironment.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

using namespace SettingsTest;

namespace {
// The controls as "grid:on 20 line:3 right:off".
QString Controls(QWidget* pDialog)
{
    return QStringLiteral("grid:%1 %2 line:%3 right:%4")
        .arg(Child<QGroupBox>(pDialog, "gridWidthGroupBox")->isChecked() ? "on" : "off")
        .arg(Child<QSpinBox>(pDialog, "gridWidthSpinBox")->value())
        .arg(Child<QSpinBox>(pDialog, "lineWidthSpinBox")->value())
        .arg(Child<QCheckBox>(pDialog, "enableRightButtonCheckBox")->isChecked() ? "on" : "off");
}

// The four keys as stored: "ShowGrid=true GridWidth=20 ..." ("-" when absent).
QString Stored()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    QStringList parts;
    for (const char* szKey : {"ShowGrid", "GridWidth", "LineWidth", "EnableRightButton"}) {
        const QString key = QLatin1String(szKey);
        parts << key + QLatin1Char('=') + (pSettings->contains(key) ? pSettings->value(key).toString() : "-");
    }
    return parts.join(QLatin1Char(' '));
}

void Store(bool bGrid, const QString& grid, const QString& line, bool bRight)
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    pSettings->SetBool("ShowGrid", bGrid);
    pSettings->SetString("GridWidth", grid);
    pSettings->SetString("LineWidth", line);
    pSettings->SetBool("EnableRightButton", bRight);
}

QPushButton* Button(QWidget* pDialog, QDialogButtonBox::StandardButton which)
{
    return Child<QDialogButtonBox>(pDialog, "buttonBox")->button(which);
}
} // namespace

class TestSetUpForMultiDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { InitStationResources(); }
    void init() { CCustomerSettings::GetInstance()->clear(); }

    void form();
    void absentKeysShowTheDefaultsAndAreStored();
    void okWritesCancelAndEscapeDoNot_data();
    void okWritesCancelAndEscapeDoNot();
    void uncheckedGridStillStoresItsWidth();
    void valuesOutOfRangeShowClamped_data();
    void valuesOutOfRangeShowClamped();

private:
    // Runs the dialog (its own exec) with the script; the controls as the
    // opening left them.
    static QString Run(CSetUpForMultiDialog& dialog, const std::function<void(QDialog*)>& script,
                       int* pResult = nullptr);
};

QString TestSetUpForMultiDialog::Run(CSetUpForMultiDialog& dialog, const std::function<void(QDialog*)>& script,
                                     int* pResult)
{
    QString controls;
    CModalBoxAnswerer answerer;
    answerer.ScriptDialog({[&](QDialog* pDialog) {
        controls = Controls(pDialog);
        script(pDialog);
    }});
    const int nResult = dialog.exec();
    if (pResult)
        *pResult = nResult;
    if (!answerer.problems.isEmpty())
        return answerer.problems.join(QLatin1Char('\n'));
    if (answerer.boxes.size() != 1 || answerer.boxes.first().className != QLatin1String("CSetUpForMultiDialog"))
        return QStringLiteral("<the dialog was not opened alone>");
    return controls;
}

void TestSetUpForMultiDialog::form()
{
    QWidget parent;
    CSetUpForMultiDialog dialog(&parent);
    QCOMPARE(dialog.parentWidget(), &parent);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(dialog.size(), QSize(400, 300));
    auto* pGrid = Child<QGroupBox>(&dialog, "gridWidthGroupBox");
    QCOMPARE(pGrid->title(), QStringLiteral("Grid Width"));
    QVERIFY(pGrid->isCheckable());
    QCOMPARE(Child<QGroupBox>(&dialog, "lineWidthGroupBox")->title(), QStringLiteral("Line Width"));
    QVERIFY(!Child<QGroupBox>(&dialog, "lineWidthGroupBox")->isCheckable());
    auto* pGridSpin = Child<QSpinBox>(&dialog, "gridWidthSpinBox");
    auto* pLineSpin = Child<QSpinBox>(&dialog, "lineWidthSpinBox");
    QCOMPARE(pGridSpin->minimum(), 1);
    QCOMPARE(pGridSpin->maximum(), 99);
    QCOMPARE(pLineSpin->minimum(), 1);
    QCOMPARE(pLineSpin->maximum(), 99);
    QCOMPARE(Child<QCheckBox>(&dialog, "enableRightButtonCheckBox")->text(), QStringLiteral("Enable Right Button"));
    QCOMPARE(Button(&dialog, QDialogButtonBox::Ok)->text(), QStringLiteral("OK"));
    QCOMPARE(Button(&dialog, QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
    // The form's own values before any loading; the constructor reads nothing.
    QCOMPARE(Controls(&dialog), QStringLiteral("grid:on 20 line:3 right:off"));
    QCOMPARE(Stored(), QStringLiteral("ShowGrid=- GridWidth=- LineWidth=- EnableRightButton=-"));

    Store(false, "35", "7", true);
    QCOMPARE(Run(dialog, [](QDialog* pDialog) {
                 QVERIFY(Screenshot(pDialog, "setupformultidialog"));
                 QTest::keyClick(pDialog, Qt::Key_Escape);
             }),
             QStringLiteral("grid:off 35 line:7 right:on"));
}

void TestSetUpForMultiDialog::absentKeysShowTheDefaultsAndAreStored()
{
    CSetUpForMultiDialog dialog(nullptr);
    // The form's values differ from the defaults, so the loading shows.
    Child<QGroupBox>(&dialog, "gridWidthGroupBox")->setChecked(false);
    Child<QSpinBox>(&dialog, "gridWidthSpinBox")->setValue(50);
    Child<QSpinBox>(&dialog, "lineWidthSpinBox")->setValue(9);
    Child<QCheckBox>(&dialog, "enableRightButtonCheckBox")->setChecked(true);

    int nResult = -1;
    QCOMPARE(Run(dialog, [](QDialog* pDialog) { Button(pDialog, QDialogButtonBox::Cancel)->click(); }, &nResult),
             QStringLiteral("grid:on 20 line:3 right:off"));
    QCOMPARE(nResult, int(QDialog::Rejected));
    QCOMPARE(Stored(), QStringLiteral("ShowGrid=true GridWidth=20 LineWidth=3 EnableRightButton=false"));
}

void TestSetUpForMultiDialog::okWritesCancelAndEscapeDoNot_data()
{
    QTest::addColumn<QString>("close");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("stored");

    QTest::newRow("OK") << "OK" << int(QDialog::Accepted)
                        << "ShowGrid=true GridWidth=64 LineWidth=12 EnableRightButton=false";
    QTest::newRow("Cancel") << "Cancel" << int(QDialog::Rejected)
                            << "ShowGrid=false GridWidth=35 LineWidth=7 EnableRightButton=true";
    QTest::newRow("Escape") << "Escape" << int(QDialog::Rejected)
                            << "ShowGrid=false GridWidth=35 LineWidth=7 EnableRightButton=true";
}

void TestSetUpForMultiDialog::okWritesCancelAndEscapeDoNot()
{
    QFETCH(QString, close);
    QFETCH(int, result);
    QFETCH(QString, stored);

    Store(false, "35", "7", true);
    CSetUpForMultiDialog dialog(nullptr);
    int nResult = -1;
    const QString opening = Run(
        dialog,
        [&](QDialog* pDialog) {
            Child<QGroupBox>(pDialog, "gridWidthGroupBox")->setChecked(true);
            Child<QSpinBox>(pDialog, "gridWidthSpinBox")->setValue(64);
            Child<QSpinBox>(pDialog, "lineWidthSpinBox")->setValue(12);
            Child<QCheckBox>(pDialog, "enableRightButtonCheckBox")->setChecked(false);
            if (close == QLatin1String("Escape"))
                QTest::keyClick(pDialog, Qt::Key_Escape);
            else
                Button(pDialog, close == QLatin1String("OK") ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)
                    ->click();
        },
        &nResult);
    QCOMPARE(opening, QStringLiteral("grid:off 35 line:7 right:on"));
    QCOMPARE(nResult, result);
    QCOMPARE(Stored(), stored);

    // The next opening shows what is stored, whatever the last run left.
    const QString expected = close == QLatin1String("OK") ? QStringLiteral("grid:on 64 line:12 right:off")
                                                          : QStringLiteral("grid:off 35 line:7 right:on");
    QCOMPARE(Run(dialog, [](QDialog* pDialog) { QTest::keyClick(pDialog, Qt::Key_Escape); }), expected);
}

void TestSetUpForMultiDialog::uncheckedGridStillStoresItsWidth()
{
    Store(true, "20", "3", false);
    CSetUpForMultiDialog dialog(nullptr);
    bool bSpinEnabled = true;
    QCOMPARE(Run(dialog,
                 [&](QDialog* pDialog) {
                     Child<QSpinBox>(pDialog, "gridWidthSpinBox")->setValue(45);
                     Child<QGroupBox>(pDialog, "gridWidthGroupBox")->setChecked(false);
                     bSpinEnabled = Child<QSpinBox>(pDialog, "gridWidthSpinBox")->isEnabled();
                     Button(pDialog, QDialogButtonBox::Ok)->click();
                 }),
             QStringLiteral("grid:on 20 line:3 right:off"));
    QVERIFY(!bSpinEnabled);
    QCOMPARE(Stored(), QStringLiteral("ShowGrid=false GridWidth=45 LineWidth=3 EnableRightButton=false"));
}

void TestSetUpForMultiDialog::valuesOutOfRangeShowClamped_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("shown");

    QTest::newRow("0 and 500") << "0" << "500" << "grid:on 1 line:99 right:off";
    QTest::newRow("500 and 0") << "500" << "0" << "grid:on 99 line:1 right:off";
    QTest::newRow("negative") << "-4" << "-1" << "grid:on 1 line:1 right:off";
    QTest::newRow("not numbers") << "wide" << "" << "grid:on 1 line:1 right:off";
}

void TestSetUpForMultiDialog::valuesOutOfRangeShowClamped()
{
    QFETCH(QString, grid);
    QFETCH(QString, line);
    QFETCH(QString, shown);

    Store(true, grid, line, false);
    const QString before = Stored();
    CSetUpForMultiDialog dialog(nullptr);
    QCOMPARE(Run(dialog, [](QDialog* pDialog) { QTest::keyClick(pDialog, Qt::Key_Escape); }), shown);
    // Shown, not stored, until OK writes what is shown.
    QCOMPARE(Stored(), before);
    QCOMPARE(Run(dialog, [](QDialog* pDialog) { Button(pDialog, QDialogButtonBox::Ok)->click(); }), shown);
    const QStringList parts = shown.split(QLatin1Char(' '));
    QCOMPARE(CCustomerSettings::GetInstance()->value("GridWidth").toString(), parts.at(1));
    QCOMPARE(CCustomerSettings::GetInstance()->value("LineWidth").toString(), parts.at(2).mid(5));
}

STATION_TEST_MAIN(TestSetUpForMultiDialog)
#include "tst_setupformultidialog.moc"
