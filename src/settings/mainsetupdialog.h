#pragma once

#include <QDialog>
#include <QtGlobal>
#include <cstdint>

class HandleWork;
class HardwareInterface;
class QCloseEvent;
class QRadioButton;

namespace Ui {
class MainSetUpDialog;
}

// The main window's set-up dialog: the view the station opens at start
// ("DefaultInterface": 0 main panel, 1 signal test, 2 upgrade, 3 calibration)
// and the touch format the plugged frame reports on each of its USB
// interfaces (1 mouse, 2 single touch, 3 multi-touch; held by the frame).
//
// Built once by the main window and opened modally any number of times; the
// radios keep their state between openings. Each opening reads the default
// interface from the store and both formats from the frame; Save writes the
// default interface and sends both formats, and closes only when the frame
// took them (a box says why not, the dialog showing what the frame holds);
// Reset restores what this opening found (the store at once); Exit saves when
// nothing changed, else asks.
//
// The frame is used directly from the GUI thread, under the dispatcher's
// device mutex, which is never held across a message box or the modal loop.
// Codes reach the frame only when this opening read them from the frame that
// is current now (no frame arrived since), or the operator chose them.
class MainSetUpDialog : public QDialog
{
    Q_OBJECT

public:
    MainSetUpDialog(QWidget* parent, HandleWork* pHandleWork);
    ~MainSetUpDialog() override;

    // Loads the choices (the frame's formats when it can be reached), then
    // runs the dialog modally and returns the result of exec().
    int InitSetUpView();

protected:
    // A close request (the title bar's button) closes without saving.
    void closeEvent(QCloseEvent* event) override;

private slots:
    void on_miButton_clicked(bool bcheck);
    void on_siButton_clicked(bool bcheck);
    void on_uiButton_clicked(bool bcheck);
    void on_ciButton_clicked(bool bcheck);
    void on_setEnSingleTouch_usb1_clicked(bool bcheck);
    void on_setEnMouseTouch_usb1_clicked(bool bcheck);
    void on_setEnMultiTouch_usb1_clicked(bool bcheck);
    void on_setEnSingleTouch_usb2_clicked(bool bcheck);
    void on_setEnMouseTouch_usb2_clicked(bool bcheck);
    void on_setEnMultiTouch_usb2_clicked(bool bcheck);
    void okBtn_clicked();
    void noBtn_clicked();
    void cancelBtn_clicked();

private:
    enum class FrameRead { Unreachable, Failed, Read };

    // Opening step 2: the stored default interface and its radio.
    void LoadDefaultInterface();
    // Opening steps 3 to 7 up to the read, under the device mutex.
    FrameRead ReadFrameFormats();
    // What became of the formats at Save: the opening offered none (no
    // frame could be reached), or they were sent and taken; else they were
    // not applied: the device busy, the frame refused them (*pCode), another
    // frame came since the last read, the read failed on this frame, or no
    // frame is attached now.
    enum class FormatsSent { NotOffered, Sent, Busy, Refused, OtherFrame, NotRead, Gone };
    // Sends both formats (Save step 2), under the device mutex; records in
    // the device object only formats the frame took.
    FormatsSent SendFormats(int32_t* pCode);
    // Closes only when the formats were applied or none were offered; else
    // tells the operator why and stays open with what the frame holds.
    void SaveAndClose();
    // Stores the chosen default interface; when the file cannot be written,
    // tells the operator and shows the stored choice again (false).
    bool StoreDefaultInterface();
    void CheckInterfaceRadio(int nValue);
    void CheckUsb1Radio(uint8_t nCode);
    void CheckUsb2Radio(uint8_t nCode);
    // Checks the radio of a touch format code (1 mouse, 2 single, 3 multi).
    static void CheckFormatRadio(uint8_t nCode, QRadioButton* pMouse, QRadioButton* pSingle, QRadioButton* pMulti);
    // A format radio was clicked: when it is now checked, the operator chose nCode.
    static void ChooseFormat(bool bcheck, uint8_t nCode, uint8_t* pFormat, bool* pbChosen);
    void SetUsbGroupsEnabled(bool bUsb1, bool bUsb2);

    Ui::MainSetUpDialog* ui;
    HandleWork* m_pHandleWork;
    int m_nDefaultInterface = 0;
    int m_nSavedDefaultInterface = 0;
    bool m_bUsb2Enable = false;
    uint8_t m_nUsb1Format = 0;
    uint8_t m_nUsb2Format = 0;
    uint8_t m_nUsb1FormatRead = 0;
    uint8_t m_nUsb2FormatRead = 0;

    // This opening read both codes, from the frame of this device generation
    // (HandleWork::GetDeviceGeneration; after a failed read, the generation
    // of the frame it was tried on). The generation, not the object's
    // address: an object built for another frame may land where the old one
    // was, and a frame that comes back keeps its object though the station
    // cannot tell it from another frame of the same firmware.
    bool m_bFormatsRead = false;
    quint64 m_nReadGeneration = 0;
    // The operator clicked a format radio of that interface since the
    // opening (and no Reset came after).
    bool m_bUsb1Chosen = false;
    bool m_bUsb2Chosen = false;
};
