#pragma once

#include <QDialog>
#include <QString>

class CComPortUart;
class CTextTableSettings;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace Ui {
class CSetUpDialog;
}

// The signal test's settings, four tabs in one modal window:
//   "Default Configuration"  four flags of the customer settings;
//   "Device Support"         the supported vendor/product pairs: the device
//                            layer's built-in pairs (greyed, fixed) and the
//                            user's pairs, which OK hands to the device layer;
//   "Firmware Check"         product name -> expected firmware checksum;
//   "SN Check"               serial-number text -> expected checksum.
// Each check list has its enable flag (the group box's check state) and a
// store of its own, which OK replaces as a whole.
//
// Every opening loads every tab: the flags are set from the stores, while the
// lists merge (a stored entry not shown yet is added at the top; rows shown
// stay, so an edit left by Cancel is still there at the next opening).
// Nothing is written before OK. Refused input (incomplete, already listed, a
// check-list key holding ":") does nothing and shows nothing.
class CSetUpDialog : public QDialog
{
    Q_OBJECT

public:
    // The serial port is kept for the caller; no operation of the dialog uses it.
    explicit CSetUpDialog(CComPortUart* port, QWidget* parent = nullptr);
    ~CSetUpDialog() override;

    // Loads every tab (the constructor does it once already). True.
    // The Save functions return false when their store could not be
    // written (inside OK's batch the flags' outcome is known at its end).
    bool InitSetUpView();
    bool InitDefaultConfig();
    bool SaveDefaultConfig();
    bool InitVidPidList();
    bool SaveVidPidList();
    bool InitFirmwareCheckList();
    bool SaveFirmwareCheckList();
    bool InitSnChecksumList();
    bool SaveSnChecksumList();

public slots:
    // Loads every tab, then runs the dialog modally (Accepted after OK).
    int exec() override;

private slots:
    void on_buttonBox_accepted();
    void on_addVidPidPushButton_clicked();
    void on_removeVidPidPushButton_clicked();
    void on_vidPidListWidget_itemSelectionChanged();
    void on_vidPidLineEdit_textChanged(QString arg1);
    void on_addProductChecksumPushButton_clicked();
    void on_removeProductChecksumPushButton_clicked();
    void on_productLineEdit_textChanged(QString arg1);
    void on_checkSumLineEdit_textChanged(QString arg1);
    void on_firmwareCheckListWidget_itemSelectionChanged();
    void on_addSnChecksumPushButton_clicked();
    void on_removeSnChecksumPushButton_clicked();
    void on_snLineEdit_textChanged(QString arg1);
    void on_snCheckSumLineEdit_textChanged(QString arg1);
    void on_snChechsumCheckListWidget_itemSelectionChanged();

private:
    // One check-list tab: its widgets, its enable flag and its store.
    struct SCheckList
    {
        QGroupBox* pGroup;
        QListWidget* pList;
        QLineEdit* pKey;
        QLineEdit* pCheckSum;
        QPushButton* pAdd;
        QPushButton* pRemove;
        QString strFlagKey;
        CTextTableSettings* pStore;
    };
    SCheckList FirmwareList() const;
    SCheckList SnList() const;
    static void InitCheckList(const SCheckList& list);
    // False when the list or its flag could not be stored.
    static bool SaveCheckList(const SCheckList& list);
    static void AddCheckListEntry(const SCheckList& list);
    static void UpdateCheckListAdd(const SCheckList& list);

    // The shared list rules: Remove follows the selection (and takes the
    // focus), and removes every selected row.
    static void FollowSelection(QListWidget* pList, QPushButton* pRemove);
    static void RemoveSelected(QListWidget* pList);

    Ui::CSetUpDialog* ui;
    [[maybe_unused]] CComPortUart* m_pComPort;
};
