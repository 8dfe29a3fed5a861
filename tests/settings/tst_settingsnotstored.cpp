// A settings file the operator cannot write (copied in by root, a read-only
// folder): each settings dialog's save shows one box saying that the setting
// was not stored, and the dialog goes on showing what the file holds, now
// and at its next opening.

#include "customersettings.h"
#include "firmwarechecksettings.h"
#include "handlework.h"
#include "mainsetupdialog.h"
#include "modalboxanswerer.h"
#include "runlogcapture.h"
#include "settingstesthelpers.h"
#include "setupdialog.h"
#include "setupformultidialog.h"
#include "snchecksumsettings.h"
#include "stationresources.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "touchdevice.h"
#include "unwritablepath.h"
#include "vidpidsettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QtTest>

using namespace SettingsTest;

namespace {
const QString kNotStored = QStringLiteral("The setting was not stored: the settings file cannot be written.");

QByteArray FileText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList Rows(QListWidget* pList)
{
    QStringList rows;
    for (int i = 0; i < pList->count(); ++i)
        rows << pList->item(i)->text();
    return rows;
}

// The message boxes the operator saw, "icon|title|text".
QStringList MessageBoxes(const CModalBoxAnswerer& answerer)
{
    QStringList boxes;
    for (const CModalBoxAnswerer::SBox& box : answerer.boxes) {
        if (box.kind == CModalBoxAnswerer::EKind::Message)
            boxes << box.icon + QLatin1Char('|') + box.title + QLatin1Char('|') + box.text;
    }
    return boxes;
}

// Keeps a picture of each message box while it is open.
void ShootBoxes(CModalBoxAnswerer& answerer, const QString& name)
{
    answerer.OnShown([name](const CModalBoxAnswerer::SBox& box) {
        if (box.kind != CModalBoxAnswerer::EKind::Message)
            return;
        if (QWidget* pBox = QApplication::activeModalWidget())
            Screenshot(pBox, name);
    });
}
} // namespace

class TestSettingsNotStored : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        InitStationResources();
        CTouchDevice::InitSupportedVidPidList();
    }
    void init()
    {
        CCustomerSettings::GetInstance()->clear();
        CFirmwareCheckSettings::GetInstance()->WriteAll({});
        CSNChecksumSettings::GetInstance()->WriteAll({});
        CVidPidSettings::GetInstance()->clear();
        CTouchDevice::InitSupportedVidPidList();
    }

    void mainSettingsDefaultInterface();
    void testSettingsFlagsAndLists();
    void drawTestSettings();
};

// "Upgrade interface" chosen and saved, the file root's: the box, and the
// dialog opens again on the main panel, as the file has it.
void TestSettingsNotStored::mainSettingsDefaultInterface()
{
    CStationRig rig;
    HandleWork* pWork = rig.StartDispatcher(MAINWORK);
    rig.Settle();
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    QVERIFY(pSettings->SetInt("DefaultInterface", 0));
    const QString path = pSettings->fileName();
    const QByteArray before = FileText(path);
    MainSetUpDialog dialog(nullptr, pWork);

    CUnwritablePath unwritable(path);
    QVERIFY(unwritable.IsActive());
    CRunLogCapture log;
    CModalBoxAnswerer answerer;
    ShootBoxes(answerer, "main-settings-not-stored");
    bool bUpgradeChecked = false;
    answerer.ScriptDialog({[](QDialog* pDialog) { Child<QRadioButton>(pDialog, "uiButton")->click(); },
                           [&](QDialog* pDialog) {
                               bUpgradeChecked = Child<QRadioButton>(pDialog, "uiButton")->isChecked();
                               Child<QDialogButtonBox>(pDialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
                           }});
    dialog.InitSetUpView();
    QVERIFY2(answerer.problems.isEmpty(), qPrintable(answerer.problems.join('\n')));
    QVERIFY(bUpgradeChecked);
    QCOMPARE(MessageBoxes(answerer), QStringList{"Warning|" + dialog.windowTitle() + '|' + kNotStored + '\n' + path});
    QCOMPARE(log.Lines(QtWarningMsg).filter(path).size(), 1);
    QCOMPARE(FileText(path), before);
    QCOMPARE(pSettings->GetInt("DefaultInterface", -1), 0);
    QVERIFY(Child<QRadioButton>(&dialog, "miButton")->isChecked());

    // Opened again: the main panel, as stored.
    bool bMainChecked = false;
    answerer.ScriptDialog({[&](QDialog* pDialog) {
        bMainChecked = Child<QRadioButton>(pDialog, "miButton")->isChecked();
        Child<QDialogButtonBox>(pDialog, "buttonBox")->button(QDialogButtonBox::Cancel)->click();
    }});
    dialog.InitSetUpView();
    QVERIFY(bMainChecked);
}

// The flags and a check-list row saved in a folder that cannot be written:
// one box naming the files whose content changed, and the dialog shows the
// stored flags and lists (the row typed in is gone).
void TestSettingsNotStored::testSettingsFlagsAndLists()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    QVERIFY(pSettings->SetBool("DefaultJumpToDraw", false));
    QCOMPARE(CFirmwareCheckSettings::GetInstance()->WriteAll({{"P1", "0x1111"}}), 0);
    const QString customer = pSettings->fileName();
    const QString firmware = CFirmwareCheckSettings::GetInstance()->fileName();
    // The dialog stores the defaults of the flags absent so far as it loads.
    CSetUpDialog dialog(nullptr);
    const QByteArray customerBefore = FileText(customer);
    const QByteArray firmwareBefore = FileText(firmware);

    CUnwritablePath unwritable(QFileInfo(customer).absolutePath());
    QVERIFY(unwritable.IsActive());
    CRunLogCapture log;
    CModalBoxAnswerer answerer;
    ShootBoxes(answerer, "test-settings-not-stored");
    answerer.ScriptDialog({[](QDialog* pDialog) {
        Child<QCheckBox>(pDialog, "DefaultJumpToDrawCheckBox")->setChecked(true);
        Child<QLineEdit>(pDialog, "productLineEdit")->setText("P2");
        Child<QLineEdit>(pDialog, "checkSumLineEdit")->setText("0x2222");
        Child<QPushButton>(pDialog, "addProductChecksumPushButton")->click();
        Child<QDialogButtonBox>(pDialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    }});
    dialog.exec();
    QVERIFY2(answerer.problems.isEmpty(), qPrintable(answerer.problems.join('\n')));
    QCOMPARE(MessageBoxes(answerer),
             QStringList{"Warning|Setup Dialog|" + kNotStored + '\n' + customer + '\n' + firmware});
    QCOMPARE(log.Lines(QtWarningMsg).filter("not stored").size(), 2);
    QCOMPARE(FileText(customer), customerBefore);
    QCOMPARE(FileText(firmware), firmwareBefore);
    QCOMPARE(pSettings->GetBool("DefaultJumpToDraw", true), false);
    QCOMPARE(CFirmwareCheckSettings::GetInstance()->ReadAll(), (QMap<QString, QString>{{"P1", "0x1111"}}));
    QVERIFY(!Child<QCheckBox>(&dialog, "DefaultJumpToDrawCheckBox")->isChecked());
    QCOMPARE(Rows(Child<QListWidget>(&dialog, "firmwareCheckListWidget")), QStringList{"P1:0x1111"});

    // Writable again: the same save is stored and tells nothing.
    unwritable.Restore();
    answerer.boxes.clear();
    answerer.ScriptDialog({[](QDialog* pDialog) {
        Child<QCheckBox>(pDialog, "DefaultJumpToDrawCheckBox")->setChecked(true);
        Child<QDialogButtonBox>(pDialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    }});
    dialog.exec();
    QVERIFY(MessageBoxes(answerer).isEmpty());
    QCOMPARE(pSettings->GetBool("DefaultJumpToDraw", false), true);
    QVERIFY(FileText(customer).contains("DefaultJumpToDraw=true"));
}

void TestSettingsNotStored::drawTestSettings()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    QVERIFY(pSettings->SetInt("GridWidth", 20));
    const QString path = pSettings->fileName();
    CSetUpForMultiDialog dialog(nullptr);
    dialog.setWindowTitle("Draw Settings");
    CUnwritablePath unwritable(path);
    QVERIFY(unwritable.IsActive());
    CModalBoxAnswerer answerer;
    int nShown = -1;
    answerer.ScriptDialog({[](QDialog* pDialog) {
                               Child<QSpinBox>(pDialog, "gridWidthSpinBox")->setValue(35);
                               Child<QDialogButtonBox>(pDialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
                           }});
    dialog.exec();
    nShown = Child<QSpinBox>(&dialog, "gridWidthSpinBox")->value();
    QVERIFY2(answerer.problems.isEmpty(), qPrintable(answerer.problems.join('\n')));
    QCOMPARE(MessageBoxes(answerer), QStringList{"Warning|Draw Settings|" + kNotStored + '\n' + path});
    QCOMPARE(pSettings->GetInt("GridWidth", 0), 20);
    QCOMPARE(nShown, 20);
}

STATION_TEST_MAIN(TestSettingsNotStored)
#include "tst_settingsnotstored.moc"
