#include "setupdialog.h"
#include "ui_setupdialog.h"

#include "customersettings.h"
#include "firmwarechecksettings.h"
#include "settingsbatch.h"
#include "settingsnotstoredbox.h"
#include "snchecksumsettings.h"
#include "touchsdk.h"
#include "vidpidsettings.h"

#include <QFontDatabase>
#include <QIcon>
#include <QListWidgetItem>
#include <QMap>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QSet>
#include <QStringList>

namespace {

// The flags of the "Default Configuration" tab, with the defaults this
// dialog reads them with.
struct SFlag
{
    const char* szKey;
    QCheckBox* Ui::CSetUpDialog::*pBox;
    bool bDefault;
};
const SFlag kFlags[] = {
    {"DefaultTouchEnable", &Ui::CSetUpDialog::DefaultTouchEnableCheckBox, true},
    {"DefaultJumpToDraw", &Ui::CSetUpDialog::DefaultJumpToDrawCheckBox, false},
    {"SupportRealTimeTest", &Ui::CSetUpDialog::DefaultRealTestCheckBox, false},
    {"SupportSNCheck", &Ui::CSetUpDialog::DefaultCheckSNCheckBox, false},
};

// The frame's firmware checksum as the device information carries it:
// "0xHHHH" or "0xHHHH-0xHHHH", upper-case digits.
const char* const kCheckSumPattern = "0x[A-F0-9]{4}-0x[A-F0-9]{4}";
// "0x" + four digits + "-0x" + four digits.
constexpr int kVidPidTextLength = 13;
const QChar kKeySeparator = QLatin1Char(':');

QString HexDigits(uint16_t nValue)
{
    return QStringLiteral("%1").arg(nValue, 4, 16, QLatin1Char('0')).toUpper();
}

// "0xAB0C-0x0001" for (0xAB0C, 0x0001).
QString VidPidRowText(const VidPid& pair)
{
    return QLatin1String("0x") + HexDigits(pair.vid) + QLatin1String("-0x") + HexDigits(pair.pid);
}

// One half of a row text: hexadecimal, "0x" or "0X" in front allowed.
bool ParseHexHalf(QString text, uint16_t* pValue)
{
    if (text.startsWith(QLatin1String("0x")) || text.startsWith(QLatin1String("0X")))
        text = text.mid(2);
    bool bOk = false;
    const uint nValue = text.toUInt(&bOk, 16);
    if (!bOk)
        return false;
    *pValue = uint16_t(nValue & 0xFFFF);
    return true;
}

QStringList RowTexts(const QListWidget* pList)
{
    QStringList texts;
    texts.reserve(pList->count());
    for (int i = 0; i < pList->count(); ++i)
        texts << pList->item(i)->text();
    return texts;
}

// The rows shown, as the merges compare them: whole texts ignoring case.
QSet<QString> FoldedTexts(const QListWidget* pList)
{
    QSet<QString> set;
    set.reserve(pList->count());
    for (int i = 0; i < pList->count(); ++i)
        set.insert(pList->item(i)->text().toCaseFolded());
    return set;
}

// Every beginning of a row that a ":" follows, ignoring case: a key is
// listed when the set holds it (the row begins with the key and ":").
void AddKeyPrefixes(const QString& row, QSet<QString>* pSet)
{
    for (int i = row.indexOf(kKeySeparator); i >= 0; i = row.indexOf(kKeySeparator, i + 1))
        pSet->insert(row.left(i).toCaseFolded());
}

// Puts the new rows at the top, each above the one before it (as inserting
// them one by one at row 0 would), in one insertion.
void InsertAtTop(QListWidget* pList, const QStringList& rowsInOrder)
{
    if (rowsInOrder.isEmpty())
        return;
    QStringList reversed;
    reversed.reserve(rowsInOrder.size());
    for (auto it = rowsInOrder.crbegin(); it != rowsInOrder.crend(); ++it)
        reversed << *it;
    pList->insertItems(0, reversed);
}

} // namespace

CSetUpDialog::CSetUpDialog(CComPortUart* port, QWidget* parent)
    : QDialog(parent), ui(new Ui::CSetUpDialog), m_pComPort(port)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("OK"));
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setText(tr("Cancel"));

    const QFont fixedFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    ui->vidPidListWidget->setFont(fixedFont);
    ui->vidPidLineEdit->setFont(fixedFont);

    const QRegularExpression checkSum{QString::fromLatin1(kCheckSumPattern)};
    ui->checkSumLineEdit->setValidator(new QRegularExpressionValidator(checkSum, this));
    ui->snCheckSumLineEdit->setValidator(new QRegularExpressionValidator(checkSum, this));

    setWindowIcon(QIcon(QStringLiteral(":/Image/setUp.png")));
    InitSetUpView();
}

CSetUpDialog::~CSetUpDialog()
{
    delete ui;
}

int CSetUpDialog::exec()
{
    InitSetUpView();
    return QDialog::exec();
}

bool CSetUpDialog::InitSetUpView()
{
    // The reads with defaults of a fresh store go to disk together.
    const CSettingsBatch batch(CCustomerSettings::GetInstance());
    InitDefaultConfig();
    InitVidPidList();
    InitFirmwareCheckList();
    InitSnChecksumList();
    return true;
}

void CSetUpDialog::on_buttonBox_accepted()
{
    QStringList unstored;
    {
        // The flags go to disk together; each check store is replaced in one step.
        CSettingsBatch batch(CCustomerSettings::GetInstance());
        SaveDefaultConfig();
        if (!SaveVidPidList())
            unstored << CVidPidSettings::GetInstance()->fileName();
        if (!SaveFirmwareCheckList())
            unstored << FirmwareList().pStore->fileName();
        if (!SaveSnChecksumList())
            unstored << SnList().pStore->fileName();
        if (!batch.Commit())
            unstored.prepend(CCustomerSettings::GetInstance()->fileName());
    }
    if (unstored.isEmpty())
        return;
    CSettingsNotStoredBox::Show(this, unstored);
    // The tabs show what the files hold again: rows that were not stored go.
    ui->vidPidListWidget->clear();
    ui->firmwareCheckListWidget->clear();
    ui->snChechsumCheckListWidget->clear();
    InitSetUpView();
}

// ---------------------------------------------------------------------------
// Default Configuration

bool CSetUpDialog::InitDefaultConfig()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    for (const SFlag& flag : kFlags)
        (ui->*flag.pBox)->setChecked(pSettings->GetBool(QLatin1String(flag.szKey), flag.bDefault));
    return true;
}

bool CSetUpDialog::SaveDefaultConfig()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    bool bStored = true;
    for (const SFlag& flag : kFlags)
        bStored = pSettings->SetBool(QLatin1String(flag.szKey), (ui->*flag.pBox)->isChecked()) && bStored;
    return bStored;
}

// ---------------------------------------------------------------------------
// Device Support

bool CSetUpDialog::InitVidPidList()
{
    QListWidget* pList = ui->vidPidListWidget;
    ui->addVidPidPushButton->setEnabled(ui->vidPidLineEdit->text().size() == kVidPidTextLength);
    ui->removeVidPidPushButton->setEnabled(!pList->selectedItems().isEmpty());

    // Copies taken under the device layer's lock.
    const QList<VidPid> builtin = TouchSDK::GetBuiltinVidPidList();
    const QList<VidPid> user = TouchSDK::GetSettingsVidPidList();

    QSet<QString> shown = FoldedTexts(pList);
    QStringList newBuiltin;
    for (const VidPid& pair : builtin) {
        const QString text = VidPidRowText(pair);
        const QString folded = text.toCaseFolded();
        if (!shown.contains(folded)) {
            shown.insert(folded);
            newBuiltin << text;
        }
    }
    InsertAtTop(pList, newBuiltin);
    // Built-in rows can be neither selected nor removed.
    for (int i = 0; i < newBuiltin.size(); ++i)
        pList->item(i)->setFlags(Qt::NoItemFlags);

    QStringList newUser;
    for (const VidPid& pair : user) {
        const QString text = VidPidRowText(pair);
        const QString folded = text.toCaseFolded();
        if (!shown.contains(folded)) {
            shown.insert(folded);
            newUser << text;
        }
    }
    InsertAtTop(pList, newUser);
    return true;
}

bool CSetUpDialog::SaveVidPidList()
{
    QList<VidPid> pairs;
    const QListWidget* pList = ui->vidPidListWidget;
    for (int i = 0; i < pList->count(); ++i) {
        const QListWidgetItem* pItem = pList->item(i);
        if (pItem->flags() == Qt::NoItemFlags)
            continue;
        const QStringList halves = pItem->text().split(QLatin1Char('-'), Qt::KeepEmptyParts);
        VidPid pair{};
        if (!ParseHexHalf(halves.first(), &pair.vid) || !ParseHexHalf(halves.last(), &pair.pid))
            continue;
        pairs << pair;
    }
    return TouchSDK::SetSettingsVidPidList(pairs) == 0;
}

void CSetUpDialog::on_vidPidLineEdit_textChanged(QString arg1)
{
    const bool bComplete = arg1.size() == kVidPidTextLength;
    ui->addVidPidPushButton->setEnabled(bComplete);
    if (bComplete)
        ui->addVidPidPushButton->setFocus(Qt::OtherFocusReason);
}

void CSetUpDialog::on_addVidPidPushButton_clicked()
{
    const QString text = ui->vidPidLineEdit->text();
    if (text.size() != kVidPidTextLength)
        return;
    const QStringList rows = RowTexts(ui->vidPidListWidget);
    for (const QString& row : rows) {
        if (row.compare(text, Qt::CaseInsensitive) == 0)
            return;
    }
    ui->vidPidListWidget->insertItem(0, text.toUpper());
    ui->vidPidLineEdit->setFocus(Qt::OtherFocusReason);
    ui->vidPidLineEdit->clear();
    // On the first digit, so that a pair beginning with 0 is typed as it reads.
    ui->vidPidLineEdit->setCursorPosition(2);
}

void CSetUpDialog::on_vidPidListWidget_itemSelectionChanged()
{
    FollowSelection(ui->vidPidListWidget, ui->removeVidPidPushButton);
}

void CSetUpDialog::on_removeVidPidPushButton_clicked()
{
    RemoveSelected(ui->vidPidListWidget);
}

// ---------------------------------------------------------------------------
// Firmware Check and SN Check

CSetUpDialog::SCheckList CSetUpDialog::FirmwareList() const
{
    return {ui->firmwareCheckGroupBox,
            ui->firmwareCheckListWidget,
            ui->productLineEdit,
            ui->checkSumLineEdit,
            ui->addProductChecksumPushButton,
            ui->removeProductChecksumPushButton,
            QStringLiteral("FirmwareCheckEnable"),
            CFirmwareCheckSettings::GetInstance()};
}

CSetUpDialog::SCheckList CSetUpDialog::SnList() const
{
    return {ui->snChecksumCheckGroupBox,
            ui->snChechsumCheckListWidget,
            ui->snLineEdit,
            ui->snCheckSumLineEdit,
            ui->addSnChecksumPushButton,
            ui->removeSnChecksumPushButton,
            QStringLiteral("SNChecksumCheckEnable"),
            CSNChecksumSettings::GetInstance()};
}

bool CSetUpDialog::InitFirmwareCheckList()
{
    InitCheckList(FirmwareList());
    return true;
}

bool CSetUpDialog::SaveFirmwareCheckList()
{
    return SaveCheckList(FirmwareList());
}

bool CSetUpDialog::InitSnChecksumList()
{
    InitCheckList(SnList());
    return true;
}

bool CSetUpDialog::SaveSnChecksumList()
{
    return SaveCheckList(SnList());
}

void CSetUpDialog::InitCheckList(const SCheckList& list)
{
    const QMap<QString, QString> stored = list.pStore->ReadAll();
    list.pGroup->setChecked(CCustomerSettings::GetInstance()->GetBool(list.strFlagKey, false));
    UpdateCheckListAdd(list);
    list.pRemove->setEnabled(!list.pList->selectedItems().isEmpty());

    QSet<QString> listed;
    for (int i = 0; i < list.pList->count(); ++i)
        AddKeyPrefixes(list.pList->item(i)->text(), &listed);
    // Ascending key order, each new row above the one before.
    QStringList newRows;
    for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
        if (listed.contains(it.key().toCaseFolded()))
            continue;
        const QString row = it.key() + kKeySeparator + it.value();
        AddKeyPrefixes(row, &listed);
        newRows << row;
    }
    InsertAtTop(list.pList, newRows);
}

bool CSetUpDialog::SaveCheckList(const SCheckList& list)
{
    const bool bFlag = CCustomerSettings::GetInstance()->SetBool(list.strFlagKey, list.pGroup->isChecked());
    QMap<QString, QString> entries;
    for (int i = 0; i < list.pList->count(); ++i) {
        const QStringList parts = list.pList->item(i)->text().split(kKeySeparator, Qt::KeepEmptyParts);
        if (parts.size() == 2)
            entries.insert(parts.first(), parts.last());
    }
    return list.pStore->WriteAll(entries) == 0 && bFlag;
}

void CSetUpDialog::AddCheckListEntry(const SCheckList& list)
{
    const QString key = list.pKey->text();
    const QString checkSum = list.pCheckSum->text();
    if (key.isEmpty() || checkSum.isEmpty())
        return;
    // A key holding ":" could not be told from its checksum when saved.
    if (key.contains(kKeySeparator))
        return;
    const QString prefix = key + kKeySeparator;
    for (int i = 0; i < list.pList->count(); ++i) {
        if (list.pList->item(i)->text().startsWith(prefix, Qt::CaseInsensitive))
            return;
    }
    list.pList->insertItem(0, prefix + checkSum);
    list.pKey->setFocus(Qt::OtherFocusReason);
    list.pCheckSum->clear();
    list.pKey->clear();
}

void CSetUpDialog::UpdateCheckListAdd(const SCheckList& list)
{
    list.pAdd->setEnabled(!list.pKey->text().isEmpty() && !list.pCheckSum->text().isEmpty());
}

void CSetUpDialog::on_addProductChecksumPushButton_clicked()
{
    AddCheckListEntry(FirmwareList());
}

void CSetUpDialog::on_removeProductChecksumPushButton_clicked()
{
    RemoveSelected(ui->firmwareCheckListWidget);
}

void CSetUpDialog::on_productLineEdit_textChanged(QString)
{
    UpdateCheckListAdd(FirmwareList());
}

void CSetUpDialog::on_checkSumLineEdit_textChanged(QString)
{
    UpdateCheckListAdd(FirmwareList());
}

void CSetUpDialog::on_firmwareCheckListWidget_itemSelectionChanged()
{
    FollowSelection(ui->firmwareCheckListWidget, ui->removeProductChecksumPushButton);
}

void CSetUpDialog::on_addSnChecksumPushButton_clicked()
{
    AddCheckListEntry(SnList());
}

void CSetUpDialog::on_removeSnChecksumPushButton_clicked()
{
    RemoveSelected(ui->snChechsumCheckListWidget);
}

void CSetUpDialog::on_snLineEdit_textChanged(QString)
{
    UpdateCheckListAdd(SnList());
}

void CSetUpDialog::on_snCheckSumLineEdit_textChanged(QString)
{
    UpdateCheckListAdd(SnList());
}

void CSetUpDialog::on_snChechsumCheckListWidget_itemSelectionChanged()
{
    FollowSelection(ui->snChechsumCheckListWidget, ui->removeSnChecksumPushButton);
}

// ---------------------------------------------------------------------------
// Shared list rules

void CSetUpDialog::FollowSelection(QListWidget* pList, QPushButton* pRemove)
{
    const bool bSelected = !pList->selectedItems().isEmpty();
    pRemove->setEnabled(bSelected);
    if (bSelected)
        pRemove->setFocus(Qt::OtherFocusReason);
}

void CSetUpDialog::RemoveSelected(QListWidget* pList)
{
    const QList<QListWidgetItem*> selected = pList->selectedItems();
    qDeleteAll(selected);
}
