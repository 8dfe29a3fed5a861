// The test settings dialog: its form and tabs, the default test behaviour,
// the supported vendor/product list (handed to the real device layer, which
// then accepts or refuses frames plugged through the fake OS backend) and
// the firmware and serial-number check lists with their stores.

#include "comportusb.h"
#include "customersettings.h"
#include "fakehidbackend.h"
#include "firmwarechecksettings.h"
#include "handlework.h"
#include "modalboxanswerer.h"
#include "settingstesthelpers.h"
#include "setupdialog.h"
#include "snchecksumsettings.h"
#include "stationresources.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "touchdevice.h"
#include "touchsdk.h"
#include "vidpidsettings.h"
#include "waitfor.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QtTest>

#include <memory>

using namespace SettingsTest;

namespace {
// The built-in pairs as the list shows them, top to bottom.
const QStringList kBuiltinRows = {
    "0x04DD-0x9E91", "0x04DD-0x9E90", "0x1870-0x020A", "0x2757-0xFFFF", "0x0B8C-0x5003", "0x0B8C-0x5002",
    "0x0B8C-0x5000", "0x2FE9-0xFFFF", "0x1FF7-0xF0FE", "0x1FF7-0x0013", "0x1FF7-0x0001",
};
const char* const kFlagKeys[] = {"DefaultTouchEnable", "DefaultJumpToDraw", "SupportRealTimeTest",
                                 "SupportSNCheck", "FirmwareCheckEnable", "SNChecksumCheckEnable"};

// "0eef-0001" -> the pair.
VidPid PairOf(const QString& text)
{
    const QStringList halves = text.split('-');
    return VidPid{uint16_t(halves.at(0).toUInt(nullptr, 16)), uint16_t(halves.at(1).toUInt(nullptr, 16))};
}

// The user list of the device layer and its store set to these pairs.
void SetUserPairs(const QStringList& pairs)
{
    TouchSDK::SetSettingsVidPidList({});
    QList<VidPid> list;
    for (const QString& text : pairs)
        list << PairOf(text);
    TouchSDK::SetSettingsVidPidList(list);
}

QStringList VidPidStore()
{
    QStringList entries;
    CVidPidSettings* pStore = CVidPidSettings::GetInstance();
    for (const QString& key : pStore->GetAllKeys())
        entries << key + QLatin1Char('=') + pStore->value(key).toString();
    entries.sort();
    return entries;
}

QStringList Rows(const QListWidget* pList)
{
    QStringList rows;
    for (int i = 0; i < pList->count(); ++i)
        rows << pList->item(i)->text();
    return rows;
}

QListWidgetItem* RowOf(QListWidget* pList, const QString& text)
{
    const auto found = pList->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.first();
}

// A check store as "key=value", in key order.
QStringList Entries(CTextTableSettings* pStore)
{
    QStringList entries;
    const QMap<QString, QString> map = pStore->ReadAll();
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        entries << it.key() + QLatin1Char('=') + it.value();
    return entries;
}

void SetEntries(CTextTableSettings* pStore, const QStringList& entries)
{
    QMap<QString, QString> map;
    for (const QString& entry : entries)
        map.insert(entry.section('=', 0, 0), entry.section('=', 1));
    pStore->WriteAll(map);
}

QPushButton* Button(QWidget* pDialog, QDialogButtonBox::StandardButton which)
{
    return Child<QDialogButtonBox>(pDialog, "buttonBox")->button(which);
}

// The widgets of one check-list tab.
struct SMember
{
    QString name;
    int nTab;
    const char* szGroup;
    const char* szList;
    const char* szKey;
    const char* szCheckSum;
    const char* szAdd;
    const char* szRemove;
    const char* szAddSlot;
    const char* szFlag;
    CTextTableSettings* (*store)();
};
const SMember kMembers[] = {
    {"firmware", 2, "firmwareCheckGroupBox", "firmwareCheckListWidget", "productLineEdit", "checkSumLineEdit",
     "addProductChecksumPushButton", "removeProductChecksumPushButton", "on_addProductChecksumPushButton_clicked",
     "FirmwareCheckEnable", [] { return static_cast<CTextTableSettings*>(CFirmwareCheckSettings::GetInstance()); }},
    {"sn", 3, "snChecksumCheckGroupBox", "snChechsumCheckListWidget", "snLineEdit", "snCheckSumLineEdit",
     "addSnChecksumPushButton", "removeSnChecksumPushButton", "on_addSnChecksumPushButton_clicked",
     "SNChecksumCheckEnable", [] { return static_cast<CTextTableSettings*>(CSNChecksumSettings::GetInstance()); }},
};
const SMember& Member(const QString& name)
{
    return name == QLatin1String("sn") ? kMembers[1] : kMembers[0];
}

void TypeInto(QLineEdit* pEdit, const QString& text)
{
    pEdit->setFocus(Qt::OtherFocusReason);
    pEdit->end(false);
    QTest::keyClicks(pEdit, text);
}

// Hexadecimal digits into the vendor/product field, from its first digit.
void TypeDigits(QLineEdit* pEdit, const QString& digits)
{
    pEdit->setFocus(Qt::OtherFocusReason);
    pEdit->setCursorPosition(2);
    QTest::keyClicks(pEdit, digits);
}

// On the "Device Support" tab: adds the typed pair, removes the row.
void AddAndRemovePair(QDialog* pDialog, const QString& digits, const QString& row)
{
    Child<QTabWidget>(pDialog, "setTabWidget")->setCurrentIndex(1);
    TypeDigits(Child<QLineEdit>(pDialog, "vidPidLineEdit"), digits);
    Child<QPushButton>(pDialog, "addVidPidPushButton")->click();
    auto* pList = Child<QListWidget>(pDialog, "vidPidListWidget");
    pList->setCurrentItem(RowOf(pList, row));
    Child<QPushButton>(pDialog, "removeVidPidPushButton")->click();
}
} // namespace

class TestSetUpDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void form();
    void freshStore_data();
    void freshStore();
    void cancelForgetsACheckedBox();
    void okWithoutChangesRewritesTheFlagsAndBothStores();
    void currentTabSurvivesAClose();
    void focusFollowsTheOperator();

    void deviceList_data();
    void deviceList();
    void deviceListRowsLeftByCancel();
    void deviceLayerAcceptsTheSavedPairs();

    void checkLists_data();
    void checkLists();
    void checkListRowsLeftByCancel();

private:
    // Runs the dialog modally (its exec) with the script; false when the
    // script did not close it, or another box or dialog opened.
    static bool Run(CSetUpDialog& dialog, const std::function<void(QDialog*)>& script, int* pResult = nullptr);
};

void TestSetUpDialog::initTestCase()
{
    InitStationResources();
    // The device layer's built-in list, as the USB port loads it.
    CTouchDevice::InitSupportedVidPidList();
}

void TestSetUpDialog::init()
{
    CCustomerSettings::GetInstance()->clear();
    CFirmwareCheckSettings::GetInstance()->WriteAll({});
    CSNChecksumSettings::GetInstance()->WriteAll({});
    CVidPidSettings::GetInstance()->clear();
    CTouchDevice::InitSupportedVidPidList();
}

bool TestSetUpDialog::Run(CSetUpDialog& dialog, const std::function<void(QDialog*)>& script, int* pResult)
{
    CModalBoxAnswerer answerer;
    answerer.ScriptDialog({script});
    const int nResult = dialog.exec();
    if (pResult)
        *pResult = nResult;
    if (!answerer.problems.isEmpty())
        qWarning().noquote() << answerer.problems.join(QLatin1Char('\n'));
    return answerer.problems.isEmpty() && answerer.boxes.size() == 1
        && answerer.boxes.first().className == QLatin1String("CSetUpDialog");
}

void TestSetUpDialog::form()
{
    CSetUpDialog dialog(nullptr);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Setup Dialog"));
    QCOMPARE(dialog.size(), QSize(570, 450));
    QVERIFY(QFile::exists(":/Image/setUp.png"));
    QVERIFY(!QIcon(":/Image/setUp.png").pixmap(32, 32).isNull());
    QVERIFY(!dialog.windowIcon().isNull());
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(Button(&dialog, QDialogButtonBox::Ok)->text(), QStringLiteral("OK"));
    QCOMPARE(Button(&dialog, QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));

    auto* pTabs = Child<QTabWidget>(&dialog, "setTabWidget");
    QCOMPARE(pTabs->currentIndex(), 0);
    const QStringList titles = {"Default Configuration", "Device Support", "Firmware Check", "SN Check"};
    const QStringList names = {"defaultConfigTab", "deviceSupportTab", "firmwareCheckTab", "tab"};
    QCOMPARE(pTabs->count(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(pTabs->tabText(i), titles.at(i));
        QCOMPARE(pTabs->widget(i)->objectName(), names.at(i));
    }
    QCOMPARE(Child<QCheckBox>(&dialog, "DefaultTouchEnableCheckBox")->text(),
             QStringLiteral("Default touch enable when open device"));
    QCOMPARE(Child<QCheckBox>(&dialog, "DefaultCheckSNCheckBox")->text(),
             QStringLiteral("Default support serial number check"));
    QCOMPARE(Child<QGroupBox>(&dialog, "deviceSupportGroupBox")->title(),
             QStringLiteral("Add vid-pid to support(Pid 0xFFFF represents 0x0001~0xFFFF)..."));
    QCOMPARE(Child<QLabel>(&dialog, "snLabel")->text(), QStringLiteral("SN Number"));

    // Device Support: a fixed-width font, an icon view, the mask.
    auto* pVidPidList = Child<QListWidget>(&dialog, "vidPidListWidget");
    auto* pVidPidEdit = Child<QLineEdit>(&dialog, "vidPidLineEdit");
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    QCOMPARE(pVidPidList->font().family(), fixed.family());
    QCOMPARE(pVidPidEdit->font().family(), fixed.family());
    QCOMPARE(pVidPidList->viewMode(), QListView::IconMode);
    QCOMPARE(pVidPidList->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(pVidPidEdit->inputMask(), QStringLiteral("\\0\\xHHHH-\\0\\xHHHH"));
    QCOMPARE(pVidPidEdit->text(), QStringLiteral("0x-0x"));
    QCOMPARE(pVidPidEdit->maxLength(), 13);
    QVERIFY(!Child<QPushButton>(&dialog, "addVidPidPushButton")->isDefault());

    // Check lists: checkable groups, the case-sensitive checksum validator.
    for (const SMember& member : kMembers) {
        QVERIFY(Child<QGroupBox>(&dialog, member.szGroup)->isCheckable());
        auto* pValidator = qobject_cast<const QRegularExpressionValidator*>(
            Child<QLineEdit>(&dialog, member.szCheckSum)->validator());
        QVERIFY(pValidator);
        QCOMPARE(pValidator->regularExpression().pattern(), QStringLiteral("0x[A-F0-9]{4}-0x[A-F0-9]{4}"));
        QVERIFY(!Child<QLineEdit>(&dialog, member.szKey)->validator());
    }

    // For the reviewer: every tab, with a few entries.
    SetUserPairs({"0eef-0001", "0abc-ffff"});
    SetEntries(CFirmwareCheckSettings::GetInstance(), {"KT-T65WHSUR-10P=0x1A2B-0x3C4D", "KT-T43=0x1A2B"});
    SetEntries(CSNChecksumSettings::GetInstance(), {"B2024-11-05=0x3C4D", "B2024-11-06=0x3C4E-0x0001"});
    CCustomerSettings::GetInstance()->SetBool("FirmwareCheckEnable", true);
    QVERIFY(Run(dialog, [&](QDialog* pDialog) {
        static const char* const kShots[] = {"setupdialog-default-configuration", "setupdialog-device-support",
                                             "setupdialog-firmware-check", "setupdialog-sn-check"};
        for (int i = 0; i < 4; ++i) {
            pTabs->setCurrentIndex(i);
            QVERIFY(Screenshot(pDialog, kShots[i]));
        }
        QTest::keyClick(pDialog, Qt::Key_Escape);
    }));
}

void TestSetUpDialog::freshStore_data()
{
    QTest::addColumn<bool>("asTheTestView");
    QTest::newRow("without a port") << false;
    QTest::newRow("as the test view builds it") << true;
}

void TestSetUpDialog::freshStore()
{
    QFETCH(bool, asTheTestView);

    std::unique_ptr<CStationRig> pRig;
    std::unique_ptr<CSetUpDialog> pDialog;
    if (asTheTestView) {
        pRig = std::make_unique<CStationRig>();
        HandleWork* pWork = pRig->StartDispatcher(MAINWORK);
        CCustomerSettings::GetInstance()->clear();
        pDialog = std::make_unique<CSetUpDialog>(pWork->GetUartPort(), nullptr);
    } else {
        pDialog = std::make_unique<CSetUpDialog>(nullptr);
    }
    QVERIFY(!pDialog->parentWidget());

    // The constructor loaded every tab: the six keys are stored.
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    QStringList stored;
    for (const char* szKey : kFlagKeys)
        stored << QString::fromLatin1(szKey) + "=" + pSettings->value(szKey).toString();
    QCOMPARE(stored, (QStringList{"DefaultTouchEnable=true", "DefaultJumpToDraw=false", "SupportRealTimeTest=false",
                                  "SupportSNCheck=false", "FirmwareCheckEnable=false", "SNChecksumCheckEnable=false"}));
    QVERIFY(Child<QCheckBox>(pDialog.get(), "DefaultTouchEnableCheckBox")->isChecked());
    for (const char* szBox : {"DefaultJumpToDrawCheckBox", "DefaultRealTestCheckBox", "DefaultCheckSNCheckBox"})
        QVERIFY2(!Child<QCheckBox>(pDialog.get(), szBox)->isChecked(), szBox);
    for (const SMember& member : kMembers) {
        QVERIFY(!Child<QGroupBox>(pDialog.get(), member.szGroup)->isChecked());
        QCOMPARE(Child<QListWidget>(pDialog.get(), member.szList)->count(), 0);
        QVERIFY(!Child<QPushButton>(pDialog.get(), member.szAdd)->isEnabled());
        QVERIFY(!Child<QPushButton>(pDialog.get(), member.szRemove)->isEnabled());
    }
    QCOMPARE(Rows(Child<QListWidget>(pDialog.get(), "vidPidListWidget")), kBuiltinRows);
    pDialog.reset();
    pRig.reset();
}

void TestSetUpDialog::cancelForgetsACheckedBox()
{
    CSetUpDialog dialog(nullptr);
    int nResult = -1;
    QVERIFY(Run(
        dialog,
        [](QDialog* pDialog) {
            Child<QCheckBox>(pDialog, "DefaultJumpToDrawCheckBox")->setChecked(true);
            Child<QGroupBox>(pDialog, "firmwareCheckGroupBox")->setChecked(true);
            Button(pDialog, QDialogButtonBox::Cancel)->click();
        },
        &nResult));
    QCOMPARE(nResult, int(QDialog::Rejected));
    QCOMPARE(CCustomerSettings::GetInstance()->value("DefaultJumpToDraw").toString(), QStringLiteral("false"));
    QCOMPARE(CCustomerSettings::GetInstance()->value("FirmwareCheckEnable").toString(), QStringLiteral("false"));

    bool bJump = true;
    bool bFirmware = true;
    QVERIFY(Run(dialog, [&](QDialog* pDialog) {
        bJump = Child<QCheckBox>(pDialog, "DefaultJumpToDrawCheckBox")->isChecked();
        bFirmware = Child<QGroupBox>(pDialog, "firmwareCheckGroupBox")->isChecked();
        QTest::keyClick(pDialog, Qt::Key_Escape);
    }));
    QVERIFY(!bJump);
    QVERIFY(!bFirmware);
}

void TestSetUpDialog::okWithoutChangesRewritesTheFlagsAndBothStores()
{
    SetUserPairs({"0eef-0001"});
    // A key of the same pair in another spelling, and one that does not
    // parse (skipped with a Warning): the device layer keeps both.
    CVidPidSettings::GetInstance()->setValue("EEF-1", "EEF-1");
    CVidPidSettings::GetInstance()->setValue("0xzz-0x1", "0xzz-0x1");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("ignored settings key \"?0xzz-0x1"));
    CTouchDevice::InitSupportedVidPidList();
    SetEntries(CFirmwareCheckSettings::GetInstance(), {"P1=0x0001"});
    SetEntries(CSNChecksumSettings::GetInstance(), {"S1=0x0002"});
    CSetUpDialog dialog(nullptr);
    QCOMPARE(Rows(Child<QListWidget>(&dialog, "vidPidListWidget")), QStringList{"0x0EEF-0x0001"} + kBuiltinRows);
    const QStringList vidPidBefore = VidPidStore();
    QFile vidPidFile(CVidPidSettings::GetInstance()->fileName());
    QVERIFY(vidPidFile.open(QIODevice::ReadOnly));
    const QByteArray vidPidBytes = vidPidFile.readAll();
    vidPidFile.close();

    int nResult = -1;
    QVERIFY(Run(
        dialog,
        [](QDialog* pDialog) {
            // Others change the stores while the dialog is open.
            CCustomerSettings::GetInstance()->SetBool("DefaultTouchEnable", false);
            CCustomerSettings::GetInstance()->SetBool("SupportSNCheck", true);
            CCustomerSettings::GetInstance()->SetBool("SNChecksumCheckEnable", true);
            SetEntries(CFirmwareCheckSettings::GetInstance(), {"P1=0x0001", "P9=0x0009"});
            SetEntries(CSNChecksumSettings::GetInstance(), {});
            Button(pDialog, QDialogButtonBox::Ok)->click();
        },
        &nResult));
    QCOMPARE(nResult, int(QDialog::Accepted));
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    QCOMPARE(pSettings->value("DefaultTouchEnable").toString(), QStringLiteral("true"));
    QCOMPARE(pSettings->value("SupportSNCheck").toString(), QStringLiteral("false"));
    QCOMPARE(pSettings->value("SNChecksumCheckEnable").toString(), QStringLiteral("false"));
    QCOMPARE(Entries(CFirmwareCheckSettings::GetInstance()), QStringList{"P1=0x0001"});
    QCOMPARE(Entries(CSNChecksumSettings::GetInstance()), QStringList{"S1=0x0002"});
    // The device list went to the device layer, which had nothing to change.
    QCOMPARE(TouchSDK::GetSettingsVidPidList(), (QList<VidPid>{{0x0EEF, 0x0001}}));
    QCOMPARE(VidPidStore(), vidPidBefore);
    QVERIFY(vidPidFile.open(QIODevice::ReadOnly));
    QCOMPARE(vidPidFile.readAll(), vidPidBytes);
}

void TestSetUpDialog::currentTabSurvivesAClose()
{
    CSetUpDialog dialog(nullptr);
    auto* pTabs = Child<QTabWidget>(&dialog, "setTabWidget");
    QVERIFY(Run(dialog, [&](QDialog* pDialog) {
        pTabs->setCurrentIndex(2);
        Button(pDialog, QDialogButtonBox::Ok)->click();
    }));
    int nTab = -1;
    QVERIFY(Run(dialog, [&](QDialog* pDialog) {
        nTab = pTabs->currentIndex();
        pDialog->close();
    }));
    QCOMPARE(nTab, 2);
}

void TestSetUpDialog::focusFollowsTheOperator()
{
    SetUserPairs({"0eef-0001"});
    CSetUpDialog dialog(nullptr);
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto* pTabs = Child<QTabWidget>(&dialog, "setTabWidget");

    // The eighth digit leaves the operator on Add; Add returns to the field.
    pTabs->setCurrentIndex(1);
    auto* pEdit = Child<QLineEdit>(&dialog, "vidPidLineEdit");
    auto* pAdd = Child<QPushButton>(&dialog, "addVidPidPushButton");
    TypeDigits(pEdit, "1234567");
    QCOMPARE(QApplication::focusWidget(), pEdit);
    QTest::keyClicks(pEdit, "8");
    QCOMPARE(QApplication::focusWidget(), pAdd);
    QTest::keyClick(pAdd, Qt::Key_Space);
    QCOMPARE(QApplication::focusWidget(), pEdit);
    QCOMPARE(pEdit->text(), QStringLiteral("0x-0x"));
    // Selecting a row leaves the operator on Remove.
    auto* pList = Child<QListWidget>(&dialog, "vidPidListWidget");
    pList->setCurrentItem(RowOf(pList, "0x0EEF-0x0001"));
    QCOMPARE(QApplication::focusWidget(), Child<QPushButton>(&dialog, "removeVidPidPushButton"));

    for (const SMember& member : kMembers) {
        pTabs->setCurrentIndex(member.nTab);
        Child<QGroupBox>(&dialog, member.szGroup)->setChecked(true);
        auto* pKey = Child<QLineEdit>(&dialog, member.szKey);
        TypeInto(pKey, "P1");
        TypeInto(Child<QLineEdit>(&dialog, member.szCheckSum), "0x0001");
        Child<QPushButton>(&dialog, member.szAdd)->click();
        QCOMPARE(QApplication::focusWidget(), pKey);
        auto* pCheckList = Child<QListWidget>(&dialog, member.szList);
        pCheckList->setCurrentItem(pCheckList->item(0));
        QCOMPARE(QApplication::focusWidget(), Child<QPushButton>(&dialog, member.szRemove));
    }
    dialog.reject();
}

void TestSetUpDialog::deviceList_data()
{
    QTest::addColumn<QStringList>("user");       // user pairs before ("vvvv-pppp")
    QTest::addColumn<QStringList>("steps");      // type:<digits>, Add, AddSlot, select:<row>, Remove
    QTest::addColumn<QStringList>("rows");       // the rows above the built-in ones, top first
    QTest::addColumn<QString>("buttons");        // "add:on remove:off" after the steps
    QTest::addColumn<QString>("edit");           // the line edit's text after the steps
    QTest::addColumn<QStringList>("storedAfter"); // the store after OK

    const QStringList none;
    QTest::newRow("empty user list: only the built-in pairs, greyed, the last on top")
        << none << none << none << "add:off remove:off" << "0x-0x" << none;
    QTest::newRow("user pairs above the built-in ones, the last at the very top")
        << QStringList{"0eef-0001", "0abc-ffff"} << none << QStringList{"0x0ABC-0xFFFF", "0x0EEF-0x0001"}
        << "add:off remove:off" << "0x-0x" << QStringList{"0x0abc-0xffff=0x0abc-0xffff", "0x0eef-0x0001=0x0eef-0x0001"};
    // (Built-in rows are never handed back: OK drops the redundant user key.)
    QTest::newRow("a pair in both lists shows once, as a built-in row")
        << QStringList{"1ff7-0013"} << none << none << "add:off remove:off" << "0x-0x" << none;
    QTest::newRow("typed ab0c 0001 and Add: upper case at the top, the field cleared")
        << none << QStringList{"type:ab0c0001", "Add"} << QStringList{"0XAB0C-0X0001"} << "add:off remove:off"
        << "0x-0x" << QStringList{"0xab0c-0x0001=0xab0c-0x0001"};
    QTest::newRow("a pair already listed, in the other case of letters, is refused")
        << QStringList{"ab0c-0001"} << QStringList{"type:AB0C0001", "Add"} << QStringList{"0xAB0C-0x0001"}
        << "add:on remove:off" << "0xAB0C-0x0001" << QStringList{"0xab0c-0x0001=0xab0c-0x0001"};
    QTest::newRow("after Add the next pair may begin with 0")
        << none << QStringList{"type:ab0c0001", "Add", "keys:0eef0002", "Add"}
        << QStringList{"0X0EEF-0X0002", "0XAB0C-0X0001"} << "add:off remove:off" << "0x-0x"
        << QStringList{"0x0eef-0x0002=0x0eef-0x0002", "0xab0c-0x0001=0xab0c-0x0001"};
    QTest::newRow("a pair added twice is listed once")
        << none << QStringList{"type:0eef0002", "Add", "type:0EEF0002", "Add"} << QStringList{"0X0EEF-0X0002"}
        << "add:on remove:off" << "0x0EEF-0x0002" << QStringList{"0x0eef-0x0002=0x0eef-0x0002"};
    QTest::newRow("a built-in pair is refused")
        << none << QStringList{"type:1ff70001", "Add"} << none << "add:on remove:off" << "0x1ff7-0x0001" << none;
    QTest::newRow("a partial id leaves Add disabled, and its slot refuses it")
        << none << QStringList{"type:ab0c00", "Add", "AddSlot"} << none << "add:off remove:off" << "0xab0c-0x00"
        << none;
    QTest::newRow("not hexadecimal: the mask takes no such digit")
        << none << QStringList{"type:0g0z1k2q3m4n"} << none << "add:off remove:off" << "0x0012-0x34" << none;
    QTest::newRow("product 0xFFFF is stored like any other")
        << none << QStringList{"type:0eefffff", "Add"} << QStringList{"0X0EEF-0XFFFF"} << "add:off remove:off"
        << "0x-0x" << QStringList{"0x0eef-0xffff=0x0eef-0xffff"};
    QTest::newRow("removing a user row removes its key at OK")
        << QStringList{"0eef-0001", "1234-5678"} << QStringList{"select:0x0EEF-0x0001", "Remove"}
        << QStringList{"0x1234-0x5678"} << "add:off remove:on" << "0x-0x"
        << QStringList{"0x1234-0x5678=0x1234-0x5678"};
    QTest::newRow("a built-in row cannot be selected or removed")
        << none << QStringList{"select:0x04DD-0x9E91", "Remove"} << none << "add:off remove:off" << "0x-0x" << none;
}

void TestSetUpDialog::deviceList()
{
    QFETCH(QStringList, user);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, rows);
    QFETCH(QString, buttons);
    QFETCH(QString, edit);
    QFETCH(QStringList, storedAfter);

    SetUserPairs(user);
    CSetUpDialog dialog(nullptr);
    dialog.show();
    Child<QTabWidget>(&dialog, "setTabWidget")->setCurrentIndex(1);
    auto* pList = Child<QListWidget>(&dialog, "vidPidListWidget");
    auto* pEdit = Child<QLineEdit>(&dialog, "vidPidLineEdit");
    auto* pAdd = Child<QPushButton>(&dialog, "addVidPidPushButton");
    auto* pRemove = Child<QPushButton>(&dialog, "removeVidPidPushButton");
    for (const QString& step : qAsConst(steps)) {
        if (step.startsWith("type:")) {
            TypeDigits(pEdit, step.mid(5));
        } else if (step.startsWith("keys:")) {
            QTest::keyClicks(pEdit, step.mid(5));
        } else if (step == "Add") {
            pAdd->click();
        } else if (step == "AddSlot") {
            QVERIFY(QMetaObject::invokeMethod(&dialog, "on_addVidPidPushButton_clicked"));
        } else if (step.startsWith("select:")) {
            QListWidgetItem* pItem = RowOf(pList, step.mid(7));
            QVERIFY(pItem);
            pList->setCurrentItem(pItem);
        } else if (step == "Remove") {
            pRemove->click();
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
    }

    QCOMPARE(Rows(pList), rows + kBuiltinRows);
    for (int i = rows.size(); i < pList->count(); ++i)
        QCOMPARE(pList->item(i)->flags(), Qt::NoItemFlags);
    for (int i = 0; i < rows.size(); ++i)
        QVERIFY(pList->item(i)->flags() & Qt::ItemIsSelectable);
    QCOMPARE(QStringLiteral("add:%1 remove:%2")
                 .arg(pAdd->isEnabled() ? "on" : "off", pRemove->isEnabled() ? "on" : "off"),
             buttons);
    QCOMPARE(pEdit->text(), edit);

    // Nothing reaches the store before OK.
    QStringList storedBefore;
    for (const QString& pair : user)
        storedBefore << QStringLiteral("0x%1-0x%2=0x%1-0x%2").arg(pair.section('-', 0, 0), pair.section('-', 1));
    storedBefore.sort();
    QCOMPARE(VidPidStore(), storedBefore);
    Button(&dialog, QDialogButtonBox::Ok)->click();
    QCOMPARE(VidPidStore(), storedAfter);
    // The settings file itself holds the lower-case key with itself as value.
    QFile file(CVidPidSettings::GetInstance()->fileName());
    if (!storedAfter.isEmpty())
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString& entry : qAsConst(storedAfter))
        QVERIFY2(lines.contains(entry), qPrintable(entry));
}

void TestSetUpDialog::deviceListRowsLeftByCancel()
{
    SetUserPairs({"0eef-0001"});
    CSetUpDialog dialog(nullptr);
    auto* pList = Child<QListWidget>(&dialog, "vidPidListWidget");
    QVERIFY(Run(dialog, [&](QDialog* pDialog) {
        AddAndRemovePair(pDialog, "12345678", "0x0EEF-0x0001");
        Button(pDialog, QDialogButtonBox::Cancel)->click();
    }));
    QCOMPARE(VidPidStore(), QStringList{"0x0eef-0x0001=0x0eef-0x0001"});

    // The added row stays; the removed one, still stored, comes back on top.
    QStringList rows;
    QVERIFY(Run(dialog, [&](QDialog* pDialog) {
        rows = Rows(pList);
        Button(pDialog, QDialogButtonBox::Ok)->click();
    }));
    QCOMPARE(rows, QStringList({"0x0EEF-0x0001", "0X1234-0X5678"}) + kBuiltinRows);
    QCOMPARE(VidPidStore(), (QStringList{"0x0eef-0x0001=0x0eef-0x0001", "0x1234-0x5678=0x1234-0x5678"}));
    QCOMPARE(TouchSDK::GetSettingsVidPidList(), (QList<VidPid>{{0x0EEF, 0x0001}, {0x1234, 0x5678}}));
}

void TestSetUpDialog::deviceLayerAcceptsTheSavedPairs()
{
    CTestEnvironment::FastClock();
    SetUserPairs({"0eef-0001"});
    std::shared_ptr<CFakeHidBackend> backend = CFakeHidBackend::Install();
    {
        CComPortUsb port;
        CSetUpDialog dialog(nullptr);
        QVERIFY(Run(dialog, [&](QDialog* pDialog) {
            AddAndRemovePair(pDialog, "1d6b0104", "0x0EEF-0x0001");
            Button(pDialog, QDialogButtonBox::Ok)->click();
        }));

        // The removed pair first, the added one after: once the added frame
        // is in, the removed one has been looked at and refused.
        backend->AddFrame(0x0EEF, 0x0001, 0x7201);
        backend->AddFrame(0x1D6B, 0x0104, 0x7201);
        QVERIFY(StationTest::WaitFor([&port] { return port.GetDevCount() >= 1; }));
        QCOMPARE(port.GetDevCount(), 1);
        QCOMPARE(port.GetVid(), 0x1D6B);
        QCOMPARE(port.GetPid(), 0x0104);
    }
    backend.reset();
    CFakeHidBackend::Uninstall();
    CTestEnvironment::RealClock();
}

void TestSetUpDialog::checkLists_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QStringList>("stored");      // "key=value" before
    QTest::addColumn<bool>("flag");               // enable flag before
    QTest::addColumn<QStringList>("steps");       // key:<text>, sum:<typed>, Add, AddSlot, select:<row>, Remove, uncheck, reopen
    QTest::addColumn<QStringList>("rows");        // the list after the steps, top first
    QTest::addColumn<QString>("state");           // "group:on add:off remove:off" after the steps
    QTest::addColumn<QStringList>("storedAfter"); // the store after OK
    QTest::addColumn<bool>("flagAfter");

    struct SRow
    {
        const char* szName;
        QStringList stored;
        bool bFlag;
        QStringList steps;
        QStringList rows;
        const char* szState;
        QStringList storedAfter;
        bool bFlagAfter;
    };
    const QStringList none;
    const SRow rowsTable[] = {
        {"empty store, flag false", none, false, none, none, "group:off add:off remove:off", none, false},
        {"first load in descending key order", {"B=0x0002", "a=0x0001", "C=0x0003"}, true, none,
         {"a:0x0001", "C:0x0003", "B:0x0002"}, "group:on add:off remove:off", {"B=0x0002", "C=0x0003", "a=0x0001"},
         true},
        {"ABC refused while abc: is listed", {"abc=0x0001-0xFFFF"}, true, {"key:ABC", "sum:0x0002", "Add"},
         {"abc:0x0001-0xFFFF"}, "group:on add:on remove:off", {"abc=0x0001-0xFFFF"}, true},
        {"AB accepted while only ABC: is listed", {"ABC=0x0001"}, true, {"key:AB", "sum:0x0002", "Add"},
         {"AB:0x0002", "ABC:0x0001"}, "group:on add:off remove:off", {"AB=0x0002", "ABC=0x0001"}, true},
        {"lower-case digits and X are not taken; the full form is", none, true,
         {"key:P1", "sum:0Xab0x0001-0xFFFF", "Add"}, {"P1:0x0001-0xFFFF"}, "group:on add:off remove:off",
         {"P1=0x0001-0xFFFF"}, true},
        {"0xFFFF is taken", none, true, {"key:P2", "sum:0xFFFF", "Add"}, {"P2:0xFFFF"},
         "group:on add:off remove:off", {"P2=0xFFFF"}, true},
        {"0x12 is listed and stored as typed", none, true, {"key:P3", "sum:0x12", "Add"}, {"P3:0x12"},
         "group:on add:off remove:off", {"P3=0x12"}, true},
        {"a key holding a colon is refused", none, true, {"key:A:B", "sum:0x0001", "Add"}, none,
         "group:on add:on remove:off", none, true},
        {"an empty field refuses Add, also through its slot", none, true, {"key:P4", "AddSlot"}, none,
         "group:on add:off remove:off", none, true},
        {"an unchecked group stores false and still the list", {"P=0x0001"}, true, {"uncheck"}, {"P:0x0001"},
         "group:off add:off remove:off", {"P=0x0001"}, false},
        {"OK replaces the whole store", {"P=0x0001", "Q=0x0002"}, false, {"select:P:0x0001", "Remove"},
         {"Q:0x0002"}, "group:off add:off remove:on", {"Q=0x0002"}, false},
        {"rows are kept on reload; a removed stored row comes back on top", {"P=0x0001"}, true,
         {"key:N", "sum:0x0009", "Add", "select:P:0x0001", "Remove", "reopen"}, {"P:0x0001", "N:0x0009"},
         "group:on add:off remove:on", {"N=0x0009", "P=0x0001"}, true},
        {"keys with / and \\: kept; a leading or doubled / is folded by the store", none, true,
         {"key:A/B", "sum:0x0001", "Add", "key:C\\D", "sum:0x0002", "Add", "key:/E", "sum:0x0003", "Add",
          "key:F//G", "sum:0x0004", "Add"},
         {"F//G:0x0004", "/E:0x0003", "C\\D:0x0002", "A/B:0x0001"}, "group:on add:off remove:off",
         {"A/B=0x0001", "C\\D=0x0002", "E=0x0003", "F/G=0x0004"}, true},
    };
    for (const SMember& member : kMembers) {
        for (const SRow& row : rowsTable) {
            QTest::newRow(qPrintable(member.name + ": " + row.szName))
                << member.name << row.stored << row.bFlag << row.steps << row.rows << QString(row.szState)
                << row.storedAfter << row.bFlagAfter;
        }
    }
}

void TestSetUpDialog::checkLists()
{
    QFETCH(QString, member);
    QFETCH(QStringList, stored);
    QFETCH(bool, flag);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, rows);
    QFETCH(QString, state);
    QFETCH(QStringList, storedAfter);
    QFETCH(bool, flagAfter);

    const SMember& m = Member(member);
    CTextTableSettings* pStore = m.store();
    SetEntries(pStore, stored);
    CCustomerSettings::GetInstance()->SetBool(m.szFlag, flag);
    // The other member keeps what it has.
    const SMember& other = Member(member == QLatin1String("sn") ? "firmware" : "sn");
    SetEntries(other.store(), {"other=0x0001"});

    CSetUpDialog dialog(nullptr);
    dialog.show();
    Child<QTabWidget>(&dialog, "setTabWidget")->setCurrentIndex(m.nTab);
    auto* pGroup = Child<QGroupBox>(&dialog, m.szGroup);
    auto* pList = Child<QListWidget>(&dialog, m.szList);
    auto* pKey = Child<QLineEdit>(&dialog, m.szKey);
    auto* pSum = Child<QLineEdit>(&dialog, m.szCheckSum);
    auto* pAdd = Child<QPushButton>(&dialog, m.szAdd);
    auto* pRemove = Child<QPushButton>(&dialog, m.szRemove);
    for (const QString& step : qAsConst(steps)) {
        if (step.startsWith("key:")) {
            pKey->clear();
            TypeInto(pKey, step.mid(4));
        } else if (step.startsWith("sum:")) {
            pSum->clear();
            TypeInto(pSum, step.mid(4));
        } else if (step == "Add") {
            pAdd->click();
        } else if (step == "AddSlot") {
            QVERIFY(QMetaObject::invokeMethod(&dialog, m.szAddSlot));
        } else if (step.startsWith("select:")) {
            QListWidgetItem* pItem = RowOf(pList, step.mid(7));
            QVERIFY(pItem);
            pList->setCurrentItem(pItem);
        } else if (step == "Remove") {
            pRemove->click();
        } else if (step == "uncheck") {
            pGroup->setChecked(false);
        } else if (step == "reopen") {
            Button(&dialog, QDialogButtonBox::Cancel)->click();
            QVERIFY(dialog.InitSetUpView());
            dialog.show();
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
    }

    QCOMPARE(Rows(pList), rows);
    QCOMPARE(QStringLiteral("group:%1 add:%2 remove:%3")
                 .arg(pGroup->isChecked() ? "on" : "off", pAdd->isEnabled() ? "on" : "off",
                      pRemove->isEnabled() ? "on" : "off"),
             state);
    // Nothing reaches the store before OK.
    stored.sort();
    QCOMPARE(Entries(pStore), stored);
    Button(&dialog, QDialogButtonBox::Ok)->click();
    QCOMPARE(Entries(pStore), storedAfter);
    QCOMPARE(CCustomerSettings::GetInstance()->value(m.szFlag).toBool(), flagAfter);
    QCOMPARE(Entries(other.store()), QStringList{"other=0x0001"});
    // A key is found by its own text.
    for (const QString& entry : qAsConst(storedAfter))
        QCOMPARE(pStore->value(entry.section('=', 0, 0)).toString(), entry.section('=', 1));
}

void TestSetUpDialog::checkListRowsLeftByCancel()
{
    SetEntries(CFirmwareCheckSettings::GetInstance(), {"P=0x0001"});
    CSetUpDialog dialog(nullptr);
    auto* pList = Child<QListWidget>(&dialog, "firmwareCheckListWidget");
    QVERIFY(Run(dialog, [&](QDialog* pDialog) {
        Child<QTabWidget>(pDialog, "setTabWidget")->setCurrentIndex(2);
        Child<QGroupBox>(pDialog, "firmwareCheckGroupBox")->setChecked(true);
        TypeInto(Child<QLineEdit>(pDialog, "productLineEdit"), "N");
        TypeInto(Child<QLineEdit>(pDialog, "checkSumLineEdit"), "0x0009");
        Child<QPushButton>(pDialog, "addProductChecksumPushButton")->click();
        QTest::keyClick(pDialog, Qt::Key_Escape);
    }));
    QCOMPARE(Entries(CFirmwareCheckSettings::GetInstance()), QStringList{"P=0x0001"});
    QStringList rows;
    QVERIFY(Run(dialog, [&](QDialog* pDialog) {
        rows = Rows(pList);
        Button(pDialog, QDialogButtonBox::Ok)->click();
    }));
    QCOMPARE(rows, (QStringList{"N:0x0009", "P:0x0001"}));
    QCOMPARE(Entries(CFirmwareCheckSettings::GetInstance()), (QStringList{"N=0x0009", "P=0x0001"}));
}

STATION_TEST_MAIN(TestSetUpDialog)
#include "tst_setupdialog.moc"
