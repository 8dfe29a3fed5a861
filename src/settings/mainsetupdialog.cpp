#include "mainsetupdialog.h"
#include "ui_mainsetupdialog.h"

#include "comportusb.h"
#include "customersettings.h"
#include "handlework.h"
#include "hardwareinterface.h"
#include "settingsnotstoredbox.h"
#include "touchbase.h"

#include <QCloseEvent>
#include <QDebug>
#include <QIcon>
#include <QMessageBox>
#include <QMutex>
#include <QPushButton>

namespace {
const char* const kDefaultInterfaceKey = "DefaultInterface";
// How long the dialog waits for a running device task before it gives up.
constexpr int kDeviceWaitMs = 500;
// Device object type of a replayed test log.
constexpr int32_t kReplayType = 2;
// Interface mask bit of the frame's second USB interface.
constexpr int32_t kSecondInterface = 2;

QString Hex(int32_t nCode)
{
    return QStringLiteral("0x%1").arg(uint32_t(nCode), 8, 16, QLatin1Char('0'));
}

// The device mutex, taken without waiting longer than kDeviceWaitMs.
class CDeviceHold
{
public:
    explicit CDeviceHold(QMutex* pMutex) : m_pMutex(pMutex), m_bHeld(pMutex->tryLock(kDeviceWaitMs)) {}
    ~CDeviceHold() { Release(); }
    CDeviceHold(const CDeviceHold&) = delete;
    CDeviceHold& operator=(const CDeviceHold&) = delete;

    bool IsHeld() const { return m_bHeld; }
    void Release()
    {
        if (m_bHeld)
            m_pMutex->unlock();
        m_bHeld = false;
    }

private:
    QMutex* m_pMutex;
    bool m_bHeld;
};
} // namespace

MainSetUpDialog::MainSetUpDialog(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent), ui(new Ui::MainSetUpDialog), m_pHandleWork(pHandleWork)
{
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/Image/Image-UI/setUp-E.png")));

    QPushButton* pSave = ui->buttonBox->button(QDialogButtonBox::Ok);
    QPushButton* pReset = ui->buttonBox->button(QDialogButtonBox::No);
    QPushButton* pExit = ui->buttonBox->button(QDialogButtonBox::Cancel);
    pSave->setText(tr("Save"));
    pReset->setText(tr("Reset"));
    pExit->setText(tr("Exit"));
    connect(pSave, &QPushButton::clicked, this, &MainSetUpDialog::okBtn_clicked);
    connect(pReset, &QPushButton::clicked, this, &MainSetUpDialog::noBtn_clicked);
    connect(pExit, &QPushButton::clicked, this, &MainSetUpDialog::cancelBtn_clicked);

    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    m_bUsb2Enable = false;
}

MainSetUpDialog::~MainSetUpDialog()
{
    delete ui;
}

void MainSetUpDialog::closeEvent(QCloseEvent* event)
{
    // Closing is accepted and saves nothing.
    event->accept();
}

int MainSetUpDialog::InitSetUpView()
{
    m_bUsb2Enable = false;
    m_bFormatsRead = false;
    m_nReadGeneration = 0;
    m_bUsb1Chosen = false;
    m_bUsb2Chosen = false;

    LoadDefaultInterface();

    // The warning comes after the device mutex is released: a frame that
    // arrives while it is open is handled in its event loop under that mutex.
    if (ReadFrameFormats() == FrameRead::Failed) {
        QMessageBox::warning(this, tr("Set Up"), tr("Failed to get the touch box hair point format..."),
                             QMessageBox::Ok);
    }
    return exec();
}

void MainSetUpDialog::LoadDefaultInterface()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    const QString key = QLatin1String(kDefaultInterfaceKey);
    if (!pSettings->contains(key)) {
        pSettings->SetInt(key, 0);
        ui->miButton->setChecked(true);
        m_nDefaultInterface = 0;
        m_nSavedDefaultInterface = 0;
        return;
    }
    const int nValue = pSettings->GetInt(key, 0);
    CheckInterfaceRadio(nValue);
    m_nDefaultInterface = nValue;
    m_nSavedDefaultInterface = nValue;
}

MainSetUpDialog::FrameRead MainSetUpDialog::ReadFrameFormats()
{
    CDeviceHold hold(m_pHandleWork->GetDeviceMutex());
    if (!hold.IsHeld()) {
        qWarning().noquote() << "MainSetUpDialog : the device is busy, its touch formats are not read";
        SetUsbGroupsEnabled(false, false);
        return FrameRead::Unreachable;
    }

    CComPortUsb* pPort = m_pHandleWork->GetUsbPort();
    CTouchBase* pDevice = m_pHandleWork->GetTouchDevice();
    if (!pPort || !pPort->IsConnected() || !pDevice || pDevice->GetType() == kReplayType
        || pPort->GetDeviceMode() == 0) {
        SetUsbGroupsEnabled(false, false);
        return FrameRead::Unreachable;
    }
    auto* pHardware = dynamic_cast<HardwareInterface*>(pDevice);
    if (!pHardware) {
        SetUsbGroupsEnabled(false, false);
        return FrameRead::Unreachable;
    }

    const int32_t nMask = pHardware->ParseProductModel(pHardware->GetProperty(QStringLiteral("Product")));
    const bool bUsb2 = (nMask & kSecondInterface) != 0;
    SetUsbGroupsEnabled(true, bUsb2);
    m_bUsb2Enable = bUsb2;

    const int32_t nRet = pHardware->GetTouchFormat();
    if (nRet < 0) {
        qWarning().noquote() << "MainSetUpDialog : GetTouchFormat failed, the error code is" << Hex(nRet);
        m_nReadGeneration = m_pHandleWork->GetDeviceGeneration();
        return FrameRead::Failed;
    }
    const auto nUsb1 = uint8_t(pHardware->GetUsb1TouchFormat() & 0xFF);
    const auto nUsb2 = uint8_t(pHardware->GetUsb2TouchFormat() & 0xFF);
    // Under the hold: the dispatcher changes it only under the device mutex.
    const quint64 nGeneration = m_pHandleWork->GetDeviceGeneration();
    hold.Release();

    m_nUsb1Format = m_nUsb1FormatRead = nUsb1;
    m_nUsb2Format = m_nUsb2FormatRead = nUsb2;
    // The radios show what the frame holds: nothing is chosen any more.
    m_bUsb1Chosen = false;
    m_bUsb2Chosen = false;
    m_bFormatsRead = true;
    m_nReadGeneration = nGeneration;
    CheckUsb1Radio(nUsb1);
    if (bUsb2)
        CheckUsb2Radio(nUsb2);
    return FrameRead::Read;
}

MainSetUpDialog::FormatsSent MainSetUpDialog::SendFormats(int32_t* pCode)
{
    // Groups left disabled by the opening: no formats were offered.
    if (!ui->frameUsb1->isEnabled())
        return FormatsSent::NotOffered;
    CDeviceHold hold(m_pHandleWork->GetDeviceMutex());
    if (!hold.IsHeld()) {
        qWarning().noquote() << "MainSetUpDialog : the device is busy, the touch formats were not sent";
        return FormatsSent::Busy;
    }
    CTouchBase* pDevice = m_pHandleWork->GetTouchDevice();
    auto* pHardware = dynamic_cast<HardwareInterface*>(pDevice);
    CComPortUsb* pPort = m_pHandleWork->GetUsbPort();
    if (!pHardware || !pPort || !pPort->IsConnected()) {
        qWarning().noquote() << "MainSetUpDialog : no frame is attached, the touch formats were not sent";
        return FormatsSent::Gone;
    }
    const bool bSameFrame = m_pHandleWork->GetDeviceGeneration() == m_nReadGeneration;
    const bool bReadFromThisFrame = m_bFormatsRead && bSameFrame;
    if (!(bReadFromThisFrame || m_bUsb1Chosen) || !(bReadFromThisFrame || m_bUsb2Chosen)) {
        qWarning().noquote() << "MainSetUpDialog : the touch formats were not read from this frame, they were not sent";
        return bSameFrame ? FormatsSent::NotRead : FormatsSent::OtherFrame;
    }
    const int32_t nRet = pHardware->SetTouchFormat(m_nUsb1Format, m_nUsb2Format);
    if (nRet < 0) {
        // The frame keeps what it had: nothing of the refused codes is recorded.
        qWarning().noquote() << "MainSetUpDialog : SetTouchFormat failed, the error code is" << Hex(nRet);
        *pCode = nRet;
        return FormatsSent::Refused;
    }
    pHardware->SetUsb1TouchFormat(m_nUsb1Format);
    if (m_bUsb2Enable)
        pHardware->SetUsb2TouchFormat(m_nUsb2Format);
    return FormatsSent::Sent;
}

void MainSetUpDialog::SaveAndClose()
{
    StoreDefaultInterface();
    int32_t nCode = 0;
    const FormatsSent sent = SendFormats(&nCode);
    if (sent == FormatsSent::Sent || sent == FormatsSent::NotOffered) {
        close();
        return;
    }

    // The dialog stays open with what the frame holds: read again where
    // something changed since the last read (a busy device cannot be read;
    // a read that failed on this frame is not waited for again).
    QString shown;
    if (sent == FormatsSent::Busy) {
        shown = tr("Try Save again.");
    } else if (sent != FormatsSent::NotRead) {
        m_bFormatsRead = false;
        const FrameRead read = ReadFrameFormats();
        if (read == FrameRead::Read)
            shown = tr("The dialog shows the formats the touch box holds.");
        else if (read == FrameRead::Failed)
            shown = tr("The formats the touch box holds could not be read.");
        else if (sent != FormatsSent::Gone)
            shown = tr("No touch box can be reached now.");
    }
    QString what;
    switch (sent) {
    case FormatsSent::Busy:
        what = tr("The touch formats were not sent: the device is busy.");
        break;
    case FormatsSent::Refused:
        what = tr("The touch box did not take the touch formats (error code %1).").arg(Hex(nCode));
        break;
    case FormatsSent::OtherFrame:
        what = tr("The touch formats were not sent: a touch box was plugged in meanwhile.");
        break;
    case FormatsSent::NotRead:
        what = tr("The touch formats were not sent: they could not be read from this touch box.");
        break;
    default:
        what = tr("The touch formats were not sent: no touch box is attached.");
        break;
    }
    // Nothing is done after the box: the next Save looks at the frame again.
    QMessageBox::warning(this, tr("Set Up"), shown.isEmpty() ? what : what + QLatin1Char('\n') + shown,
                         QMessageBox::Ok);
}

bool MainSetUpDialog::StoreDefaultInterface()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    const QString key = QLatin1String(kDefaultInterfaceKey);
    if (pSettings->SetInt(key, m_nDefaultInterface))
        return true;
    CSettingsNotStoredBox::Show(this, {pSettings->fileName()});
    // The choice shown is the one the file holds.
    m_nDefaultInterface = m_nSavedDefaultInterface = pSettings->GetInt(key, 0);
    CheckInterfaceRadio(m_nDefaultInterface);
    return false;
}

void MainSetUpDialog::CheckInterfaceRadio(int nValue)
{
    QRadioButton* const radios[] = {ui->miButton, ui->siButton, ui->uiButton, ui->ciButton};
    // Another value checks none: the group keeps what it showed.
    if (nValue >= 0 && nValue <= 3)
        radios[nValue]->setChecked(true);
}

void MainSetUpDialog::CheckUsb1Radio(uint8_t nCode)
{
    CheckFormatRadio(nCode, ui->setEnMouseTouch_usb1, ui->setEnSingleTouch_usb1, ui->setEnMultiTouch_usb1);
}

void MainSetUpDialog::CheckUsb2Radio(uint8_t nCode)
{
    CheckFormatRadio(nCode, ui->setEnMouseTouch_usb2, ui->setEnSingleTouch_usb2, ui->setEnMultiTouch_usb2);
}

void MainSetUpDialog::CheckFormatRadio(uint8_t nCode, QRadioButton* pMouse, QRadioButton* pSingle,
                                       QRadioButton* pMulti)
{
    QRadioButton* const radios[] = {pMouse, pSingle, pMulti};
    // Another code checks none: the group keeps what it showed.
    if (nCode >= 1 && nCode <= 3)
        radios[nCode - 1]->setChecked(true);
}

void MainSetUpDialog::ChooseFormat(bool bcheck, uint8_t nCode, uint8_t* pFormat, bool* pbChosen)
{
    if (bcheck) {
        *pFormat = nCode;
        *pbChosen = true;
    }
}

void MainSetUpDialog::SetUsbGroupsEnabled(bool bUsb1, bool bUsb2)
{
    ui->frameUsb1->setEnabled(bUsb1);
    ui->frameUsb2->setEnabled(bUsb2);
}

void MainSetUpDialog::on_miButton_clicked(bool)
{
    m_nDefaultInterface = 0;
}

void MainSetUpDialog::on_siButton_clicked(bool)
{
    m_nDefaultInterface = 1;
}

void MainSetUpDialog::on_uiButton_clicked(bool)
{
    m_nDefaultInterface = 2;
}

void MainSetUpDialog::on_ciButton_clicked(bool)
{
    m_nDefaultInterface = 3;
}

void MainSetUpDialog::on_setEnSingleTouch_usb1_clicked(bool bcheck)
{
    ChooseFormat(bcheck, 2, &m_nUsb1Format, &m_bUsb1Chosen);
}

void MainSetUpDialog::on_setEnMouseTouch_usb1_clicked(bool bcheck)
{
    ChooseFormat(bcheck, 1, &m_nUsb1Format, &m_bUsb1Chosen);
}

void MainSetUpDialog::on_setEnMultiTouch_usb1_clicked(bool bcheck)
{
    ChooseFormat(bcheck, 3, &m_nUsb1Format, &m_bUsb1Chosen);
}

void MainSetUpDialog::on_setEnSingleTouch_usb2_clicked(bool bcheck)
{
    ChooseFormat(bcheck, 2, &m_nUsb2Format, &m_bUsb2Chosen);
}

void MainSetUpDialog::on_setEnMouseTouch_usb2_clicked(bool bcheck)
{
    ChooseFormat(bcheck, 1, &m_nUsb2Format, &m_bUsb2Chosen);
}

void MainSetUpDialog::on_setEnMultiTouch_usb2_clicked(bool bcheck)
{
    ChooseFormat(bcheck, 3, &m_nUsb2Format, &m_bUsb2Chosen);
}

void MainSetUpDialog::okBtn_clicked()
{
    SaveAndClose();
}

void MainSetUpDialog::noBtn_clicked()
{
    m_nDefaultInterface = m_nSavedDefaultInterface;
    CheckInterfaceRadio(m_nDefaultInterface);
    StoreDefaultInterface();

    m_nUsb1Format = m_nUsb1FormatRead;
    m_nUsb2Format = m_nUsb2FormatRead;
    // Back to what this opening read: a code chosen since is no longer
    // the operator's.
    m_bUsb1Chosen = false;
    m_bUsb2Chosen = false;
    CheckUsb1Radio(m_nUsb1Format);
    CheckUsb2Radio(m_nUsb2Format);
}

void MainSetUpDialog::cancelBtn_clicked()
{
    const bool bChanged = m_nUsb2Format != m_nUsb2FormatRead || m_nUsb1Format != m_nUsb1FormatRead
        || m_nDefaultInterface != m_nSavedDefaultInterface;
    if (!bChanged) {
        SaveAndClose();
        return;
    }
    QMessageBox box(QMessageBox::Question, tr("Set Up"),
                    tr("The parameter has been modified, are you sure not to save it?"),
                    QMessageBox::Yes | QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(tr("Save"));
    box.button(QMessageBox::No)->setText(tr("Cancel"));
    if (box.exec() == QMessageBox::Yes)
        SaveAndClose();
}
