#include "veloraupgradeview.h"
#include "ui_veloraupgradeview.h"

#include "comportusb.h"
#include "customersettings.h"
#include "deviceinfokey.h"
#include "devicemode.h"
#include "handlework.h"
#include "localclock.h"
#include "scaninputdialog.h"
#include "settingsnotstoredbox.h"
#include "stationclock.h"
#include "stationinfo.h"
#include "touchbase.h"
#include "upgradesetdialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QDebug>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMutex>
#include <QTimer>
#include <QUrl>

#include <climits>
#include <cmath>

namespace {
const char* const kBarBlue =
    "QProgressBar{border: 1px solid rgb(16, 135, 209);background-color: #FFFFFF;border-radius: 6px; }"
    "QProgressBar::chunk:enabled {background-color: #3300FF;border-radius: 6px; }";
const char* const kBarRed =
    "QProgressBar{border: 1px solid rgb(16, 135, 209);background-color: #FF3300;border-radius: 6px; }"
    "QProgressBar::chunk:enabled {background-color: #FF3300;border-radius: 6px; }";
const char* const kBarGreen =
    "QProgressBar{border: 1px solid rgb(16, 135, 209);background-color: #FFFFFF;border-radius: 6px; }"
    "QProgressBar::chunk:enabled {background-color: #33FF00;border-radius: 6px; }";

// The reply watchdog's period, and the silent ticks in a row it allows.
constexpr int kWatchdogIntervalMs = 3000;
constexpr int kWatchdogSilentTicks = 4;
// Product ids of bootloaders lie above this one.
constexpr int32_t kLastApplicationPid = 0xEFFF;

const char* const kKeyFilePath = "UpgradeFilePath";
const char* const kKeyAutoUpgrade = "EnableAutoUpgrade";
const char* const kKeyContinuous = "EnableContinuousUpgrade";
const char* const kKeyAutoCount = "AutoUpgradeCount";

QString Key(const char* szKey)
{
    return QString::fromLatin1(szKey);
}

QString RowTime(const QDateTime& t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

const char* YesNo(bool b)
{
    return b ? "true" : "false";
}
} // namespace

VeloraUpgradeView::VeloraUpgradeView(QWidget* parent, HandleWork* handleWork)
    : QDialog(parent), ui(new Ui::VeloraUpgradeView), m_pHandleWork(handleWork)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint
                   | Qt::WindowCloseButtonHint);
    setAcceptDrops(true);

    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    m_bAutoUpgrade = pSettings->GetInt(Key(kKeyAutoUpgrade), 0) == 1;
    m_nContinuousUpgrade = pSettings->GetInt(Key(kKeyContinuous), 0);
    m_nAutoUpgradeCount = pSettings->GetInt(Key(kKeyAutoCount), 1);

    m_pUpgradeSetDialog = new UpgradeSetDialog(parent);
    m_pScanInputDialog = new ScanInputDialog(parent);

    // Scaled like the dispatcher's own waits, so that a test's fast clock
    // keeps their ratio.
    m_pUpgradeTimer = new QTimer(this);
    m_pUpgradeTimer->setInterval(CStationClock::Timeout(kWatchdogIntervalMs));

    InitLogMenu();
    InitLogTable();

    m_strUpgradeFile = pSettings->GetString(Key(kKeyFilePath), QString());

    connect(m_pUpgradeTimer, &QTimer::timeout, this, &VeloraUpgradeView::UpgradeTimer_CB);
    connect(m_pHandleWork->GetUsbPort(), &CComPort::DeviceInsert, this, &VeloraUpgradeView::UpdateDeviceStatus);
    connect(m_pHandleWork, QOverload<QString, QString, double>::of(&HandleWork::EmitUpgradeStatus), this,
            QOverload<QString, QString, double>::of(&VeloraUpgradeView::UpdateUpgradeStatus));
    connect(m_pHandleWork, &HandleWork::EmitDeviceEnumerateState, this, &VeloraUpgradeView::ChangeReEnumerateState);
    connect(m_pHandleWork, &HandleWork::EmitUpgradeFrameTaken, this, &VeloraUpgradeView::UpgradeFrameTaken);
    connect(m_pHandleWork, &HandleWork::EmitUpgradeStartTaken, this, &VeloraUpgradeView::UpgradeStartTaken);
    connect(ui->infoTableWidget, &QWidget::customContextMenuRequested, this,
            &VeloraUpgradeView::on_tableViewCustomContextMenuRequested);
    connect(this, &VeloraUpgradeView::EmitUpdateLog, this, &VeloraUpgradeView::UpdateUpgradeLog);
    connect(m_pUpgradeSetDialog, &UpgradeSetDialog::EmitUpdateUpgardeSetting, this,
            &VeloraUpgradeView::UpdateSettingParameter);
    connect(m_pUpgradeSetDialog, &UpgradeSetDialog::EmitUpdateUpgardeSetting, m_pScanInputDialog,
            &ScanInputDialog::UpdateTemplate);

    // Neither button is ever shown, so neither shortcut (F1, S) reaches them.
    ui->touchEnToolButton->hide();
    ui->touchEnToolButton->setEnabled(false);
    ui->lstActionToolButton->hide();
    const QString title = QString::fromLatin1(StationInfo::kAppName) + QString::fromLatin1(StationInfo::kAppVersion);
    ui->ver_label->setText(title);
    ui->ver_label->hide();
    setWindowTitle(title);
}

VeloraUpgradeView::~VeloraUpgradeView()
{
    // Every orderly end of the program comes here, after the dispatcher's
    // worker has stopped (nothing of the upgrade reaches the view any more).
    LeaveAtProgramEnd();
    m_logFile.Close();
    delete ui;
}

void VeloraUpgradeView::LeaveAtProgramEnd()
{
    if (!m_bIsUpgrading)
        return;
    // Neither a completion nor a failure: the download, or the wait for the
    // frame, was stopped with the program. A frame may be left in its
    // bootloader; the file an engineer reads says so.
    qWarning().noquote() << "LeaveAtProgramEnd : the program ends during an upgrade; the frame may be left in "
                            "its bootloader";
    StopWatchdog();
    bUpgradeContinue = false;
    LogWithCounts(tr("The upgrade was cut by the end of the program"));
    EndUpgrading();
    m_pCancelAction->setEnabled(false);
}

// ---------------------------------------------------------------------------
// Opening

void VeloraUpgradeView::InitUpgradeView()
{
    InitLogTable();
    CreateUpgradeLogFile();
    m_nFailCount = 0;
    m_nSuccessCount = 0;

    m_strUpgradeFile = CCustomerSettings::GetInstance()->GetString(Key(kKeyFilePath), QString());
    if (!m_strUpgradeFile.isEmpty() && m_strUpgradeFile.contains(QLatin1String(".bin"))) {
        ui->upgradePushButton->setEnabled(true);
        ui->browseLineEdit->setText(m_strUpgradeFile);
        if (!ui->browseLineEdit->text().isEmpty())
            AppendLog(ui->browseLineEdit->text());
    } else {
        ui->upgradePushButton->setEnabled(false);
        AppendLog(tr("Please choose a correct Firmware ......"));
    }

    const HandleWork::DeviceKind eKind = m_pHandleWork->GetDeviceKind();
    if (eKind == HandleWork::DeviceKind::None)
        return;
    if (eKind == HandleWork::DeviceKind::Replay) {
        AppendLog(tr("Please plug and unplug the touch box again, the file is currently open"));
        return;
    }
    if (!m_pHandleWork->GetUsbPort()->IsConnected())
        return;
    // The dispatcher replaces the device object only under this mutex; a
    // task holding it now means the lines come with its own answer.
    QMutex* pDeviceMutex = m_pHandleWork->GetDeviceMutex();
    if (!pDeviceMutex->tryLock())
        return;
    QList<CPropertyItem> lstInfo;
    if (CTouchBase* pDevice = m_pHandleWork->GetTouchDevice())
        lstInfo = pDevice->GetPropertyList();
    pDeviceMutex->unlock();

    QString product, identity, boot;
    BuildInfoLines(lstInfo, &product, &identity, &boot);
    for (const QString& line : {product, identity, boot}) {
        if (!line.isEmpty())
            AppendLog(line);
    }
    if (boot.isEmpty())
        ui->touchEnToolButton->setEnabled(true);
}

bool VeloraUpgradeView::IsUpgradeButtonDisabled()
{
    return !ui->upgradePushButton->isEnabled();
}

QString VeloraUpgradeView::GetFirmwarePathText()
{
    return ui->browseLineEdit->text();
}

// ---------------------------------------------------------------------------
// Choosing the firmware

void VeloraUpgradeView::AcceptFirmware(const QString& path)
{
    // The choice is the view's own: the next upgrade takes it with its
    // task, whether or not the settings file keeps it for the next opening.
    ui->browseLineEdit->setText(path);
    m_strUpgradeFile = path;
    // A running upgrade keeps its controls: the image chosen now is for the
    // next upgrade, which its ending enables.
    if (!m_bIsUpgrading)
        ui->upgradePushButton->setEnabled(true);
    AppendLog(path);
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    // Last: the view is whole before the box's loop runs.
    if (!pSettings->SetString(Key(kKeyFilePath), path))
        CSettingsNotStoredBox::Show(this, {pSettings->fileName()});
}

void VeloraUpgradeView::on_browsePushButton_clicked()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("Open file..."), m_strUpgradeFile, tr("*.bin"));
    if (path.isEmpty()) {
        AppendLog(tr("Please select a valid file!"));
        return;
    }
    AcceptFirmware(path);
}

void VeloraUpgradeView::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void VeloraUpgradeView::dragMoveEvent(QDragMoveEvent*)
{
}

void VeloraUpgradeView::dropEvent(QDropEvent* event)
{
    const QMimeData* pData = event->mimeData();
    if (!pData->hasUrls())
        return;
    // Of several files only the first counts; a URL that names no local file
    // gives an empty path, which is refused like any other name.
    const QList<QUrl> urls = pData->urls();
    const QString path = urls.isEmpty() ? QString() : urls.first().toLocalFile();
    if (path.split(QLatin1Char('.')).last() == QLatin1String("bin"))
        AcceptFirmware(path);
    else
        AppendLog(tr("No firmware selected, please select a valid file"));
}

void VeloraUpgradeView::ClearUpgradeFile_event()
{
    m_strUpgradeFile.clear();
    ui->browseLineEdit->clear();
    ui->upgradePushButton->setEnabled(false);
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    if (!pSettings->remove(Key(kKeyFilePath)))
        CSettingsNotStoredBox::Show(this, {pSettings->fileName()});
}

// ---------------------------------------------------------------------------
// Start, cancel and the statuses

void VeloraUpgradeView::PostTask(const QString& task)
{
    m_pHandleWork->PostTask(task);
}

void VeloraUpgradeView::on_upgradePushButton_clicked()
{
    SetBarColour(BarColour::Blue);
    ui->upgradeProgressBar->setValue(0);
    for (QWidget* pWidget : {static_cast<QWidget*>(ui->upgradePushButton), static_cast<QWidget*>(ui->browsePushButton),
                             static_cast<QWidget*>(ui->exitToolButton), static_cast<QWidget*>(ui->calToolButton),
                             static_cast<QWidget*>(ui->signalToolButton),
                             static_cast<QWidget*>(ui->touchEnToolButton)})
        pWidget->setEnabled(false);
    // An upgrade can be cancelled only while it waits for a frame (and a
    // run of automatic upgrades stopped while one runs: UpdateCancelAction).
    m_bFrameTaken = m_bDeviceConnected && m_pHandleWork->GetDeviceKind() == HandleWork::DeviceKind::Live;
    m_pCancelAction->setEnabled(!m_bFrameTaken);
    m_bFrameLeft = false;
    m_bReEnumerating = false;
    m_bStartTaken = false;
    AppendLog(tr("Enter upgrade mode"));
    if (!m_pHandleWork->PostTask(QStringLiteral("Start_Upgrade"), Qt::AutoConnection, this, m_strUpgradeFile)) {
        // The dispatcher still runs the last upgrade's task (a download the
        // watchdog gave up on): nothing was started, so nothing is waited for.
        qWarning().noquote() << "on_upgradePushButton_clicked"
                             << ": Start_Upgrade was refused, an upgrade task is still running";
        CancelUpgrade();
        return;
    }
    m_bIsUpgrading = true;
    m_bUpgradeStarted = true;
    UpdateCancelAction();
}

void VeloraUpgradeView::CancelUpgrade()
{
    bUpgradeContinue = false;
    StopWatchdog();
    EndUpgrading();
    m_pCancelAction->setEnabled(false);
    EnableControls(false);
    AppendLog(tr("Upgrade canceled"));
    PostTask(QStringLiteral("Stop_Upgrade"));
}

void VeloraUpgradeView::StopUpgrade_event()
{
    // (A disabled action still emits triggered when it is triggered in code.)
    if (!m_bIsUpgrading || !m_pCancelAction->isEnabled()) {
        qDebug().noquote() << "StopUpgrade_event" << ": the upgrade no longer waits for a frame, no cancel";
        return;
    }
    // Only while the upgrade waits for a frame does a cancel end it. Once
    // the dispatcher has taken one, the upgrade is on its way, and a cancel
    // would only strand the frame in its bootloader: then it stops the run
    // of automatic upgrades instead, and this upgrade goes on to its end.
    if (!m_bFrameTaken) {
        // The operator stopped: a run of automatic upgrades ends with it,
        // and a frame plugged in now is not upgraded by itself.
        m_bUpgradeStarted = false;
        CancelUpgrade();
        return;
    }
    if (IsContinuationArmed())
        StopContinuation();
    UpdateCancelAction();
}

void VeloraUpgradeView::StopContinuation()
{
    m_bUpgradeStarted = false;
    qInfo().noquote() << "StopUpgrade_event" << ": automatic upgrading stopped, the running upgrade goes on";
    AppendLog(tr("Automatic upgrading stopped, the running upgrade goes on to its end"));
}

bool VeloraUpgradeView::IsContinuationArmed() const
{
    // As the continuation rule will judge this upgrade's completion: in
    // limited mode it counts down first.
    if (!m_bUpgradeStarted || !m_bAutoUpgrade)
        return false;
    return m_nContinuousUpgrade == 1 || m_nAutoUpgradeCount > 1;
}

void VeloraUpgradeView::UpdateCancelAction()
{
    m_pCancelAction->setEnabled(m_bIsUpgrading && (!m_bFrameTaken || IsContinuationArmed()));
}

void VeloraUpgradeView::UpgradeStartTaken()
{
    if (m_bIsUpgrading)
        m_bStartTaken = true;
}

void VeloraUpgradeView::UpgradeFrameTaken()
{
    if (!m_bIsUpgrading)
        return;
    m_bFrameTaken = true;
    UpdateCancelAction();
}

void VeloraUpgradeView::UpdateUpgradeStatus(QString status, QString log, double nProgress)
{
    if (status == QLatin1String("UpgradeReady")) {
        bUpgradeContinue = true;
        StartWatchdog();
        SetBarColour(BarColour::Blue);
        // Five percent above the image: the bar stays short of full while
        // data goes out, and the ending fills it.
        ui->upgradeProgressBar->setMaximum(BarValue(nProgress + nProgress / 20.0));
        AppendLog(log);
    } else if (status == QLatin1String("ProgressUpdate")) {
        bUpgradeContinue = true;
        if (ui->upgradeProgressBar->value() != ui->upgradeProgressBar->maximum())
            ui->upgradeProgressBar->setValue(BarValue(nProgress));
        // Data goes to the frame: the upgrade has one.
        if (m_bIsUpgrading && m_bStartTaken)
            m_bFrameTaken = true;
        UpdateCancelAction();
    } else if (status == QLatin1String("UpgradeFinished")) {
        bUpgradeContinue = true;
        AppendLog(log);
    } else if (status == QLatin1String("UpdateError")) {
        if (!m_bIsUpgrading || !m_bStartTaken) {
            // Late: the watchdog, a lost frame or a cancel has ended the
            // upgrade it is of, which has its row with the counts already;
            // or it is of the upgrade before the one just started, whose
            // start the dispatcher has not taken yet. Its reason is shown,
            // and nothing is counted.
            if (!m_bIsUpgrading) {
                bUpgradeContinue = false;
                StopWatchdog();
            }
            qInfo().noquote() << "UpdateUpgradeStatus : a late error of an upgrade that has ended:" << log;
            AppendLog(log);
            return;
        }
        bUpgradeContinue = false;
        StopWatchdog();
        FailUpgrade();
        m_pCancelAction->setEnabled(false);
        EnableControls(true);
        LogWithCounts(log);
        PostTask(QStringLiteral("Stop_Upgrade"));
        EndUpgrading();
    } else if (status == QLatin1String("UpdateLog")) {
        AppendLog(log);
    }
}

void VeloraUpgradeView::UpdateUpgradeStatus(QString status, QString log)
{
    UpdateUpgradeStatus(status, log, 0);
}

void VeloraUpgradeView::UpdateUpgradeStatus(QString status)
{
    UpdateUpgradeStatus(status, QString(), 0);
}

void VeloraUpgradeView::ChangeReEnumerateState(bool value)
{
    // An announcement after the upgrade's ending (the download's FD 05 or the
    // jump's, late) is about no upgrade of this view.
    m_bReEnumerating = value && m_bIsUpgrading;
    // Only a frame the dispatcher took is sent away to restart.
    if (m_bReEnumerating) {
        m_bFrameTaken = true;
        UpdateCancelAction();
    }
}

void VeloraUpgradeView::EndUpgrading()
{
    m_bIsUpgrading = false;
    m_bFrameLeft = false;
    m_bFrameTaken = false;
    // An announcement this upgrade did not take is not the next one's.
    m_bReEnumerating = false;
}

void VeloraUpgradeView::FailUpgrade()
{
    SetBarColour(BarColour::Red);
    FillBar();
    ++m_nFailCount;
}

void VeloraUpgradeView::LogWithCounts(const QString& text)
{
    AppendLog(text + QStringLiteral("(%1,%2)").arg(m_nSuccessCount).arg(m_nFailCount));
}

// ---------------------------------------------------------------------------
// Frames coming and going

void VeloraUpgradeView::UpdateDeviceStatus(bool status)
{
    m_bDeviceConnected = status;
}

void VeloraUpgradeView::InsertUsbDeviceForUpgrade(bool value)
{
    m_bDeviceConnected = value;
    qDebug().noquote() << "InsertUsbDeviceForUpgrade" << ": value = " << YesNo(value);
    if (value) {
        // An arrival alone does not end the wait for a frame: the
        // dispatcher may have declined it (a test log stays open) or refused
        // it. It says when it takes one (UpgradeFrameTaken).
        if (m_pHandleWork->GetDeviceKind() == HandleWork::DeviceKind::Live
            && m_pHandleWork->GetUsbPort()->GetDeviceMode() != DEVICE_MODE_BOOTLOADER)
            ui->touchEnToolButton->setEnabled(true);
        return;
    }

    ui->touchEnToolButton->setEnabled(false);
    if (!m_bIsUpgrading) {
        bUpgradeContinue = false;
        StopWatchdog();
        AppendLog(tr("Device is disconnected"));
        return;
    }
    if (m_bReEnumerating) {
        // Announced by the dispatcher: the frame restarts in its bootloader,
        // or back in its application.
        m_bReEnumerating = false;
        m_bFrameLeft = true;
        bUpgradeContinue = true;
        AppendLog(tr("Device is re-enumerating"));
        StartWatchdog();
        return;
    }
    AppendLog(tr("Device is disconnected"));
    // A frame the dispatcher never took for this upgrade (declined, refused
    // for its firmware) leaves: nothing was sent to it, so no upgrade failed,
    // and the wait for a frame goes on.
    if (!m_bFrameTaken)
        return;
    // The frame was lost.
    FailUpgrade();
    LogWithCounts(tr("Upgrade unsuccessful"));
    m_pCancelAction->setEnabled(false);
    EnableControls(true);
    EndUpgrading();
    StopWatchdog();
    bUpgradeContinue = false;
    PostTask(QStringLiteral("Stop_Upgrade"));
}

void VeloraUpgradeView::BuildInfoLines(const QList<QPair<QString, QString>>& lstInfo, QString* pProduct,
                                       QString* pIdentity, QString* pBoot)
{
    using namespace DeviceInfoKey;
    for (const auto& pair : lstInfo) {
        const QString& name = pair.first;
        QString* pLine = nullptr;
        if (name == kProduct || name == kVersion || name == kCheckSum || name == kVid || name == kPid)
            pLine = pProduct;
        else if (name == kMcuID || name == kBatchInfo)
            pLine = pIdentity;
        else if (name == kBootVersion || name == kBootCheckSum)
            pLine = pBoot;
        if (pLine)
            *pLine += name + QLatin1Char(':') + pair.second + QLatin1Char(' ');
    }
}

void VeloraUpgradeView::UpdateUpgradeDeviceInfo(QList<QPair<QString, QString>> lstResult)
{
    QString product, identity, boot;
    BuildInfoLines(lstResult, &product, &identity, &boot);
    AppendLog(product);
    AppendLog(identity);
    if (!boot.isEmpty())
        AppendLog(boot);
    else
        ui->touchEnToolButton->setEnabled(true);

    if (!m_bIsUpgrading) {
        if (m_strUpgradeFile.isEmpty())
            AppendLog(tr("No firmware selected, please select a valid file"));
        else
            ApplyContinuationRule();
        return;
    }

    if (!m_bFrameLeft) {
        // A report of the frame as it was before this upgrade sent it away
        // (a read the dispatcher had begun before the start).
        qDebug().noquote() << "UpdateUpgradeDeviceInfo" << ": the frame has not left for this upgrade yet";
        return;
    }
    CComPortUsb* pPort = m_pHandleWork->GetUsbPort();
    const uint32_t nMode = pPort->GetDeviceMode();
    const int32_t nPid = pPort->GetPid();
    if (nMode != DEVICE_MODE_APPLICATION || nPid < 0 || nPid > kLastApplicationPid) {
        qDebug().noquote() << "UpdateUpgradeDeviceInfo" << ":DevType = " << nMode << " productID = "
                           << QString::number(nPid, 32);
        return;
    }
    // Back in its application after the download: done.
    SetBarColour(BarColour::Green);
    FillBar();
    ++m_nSuccessCount;
    LogWithCounts(tr("Update completed"));
    bUpgradeContinue = false;
    StopWatchdog();
    m_pCancelAction->setEnabled(false);
    EnableControls(true);
    EndUpgrading();
    ApplyContinuationRule();
}

// ---------------------------------------------------------------------------
// Automatic continuation and the reply watchdog

void VeloraUpgradeView::ApplyContinuationRule()
{
    if (!m_bUpgradeStarted || !m_bAutoUpgrade || !isVisible())
        return;
    if (m_nContinuousUpgrade == 1) {
        on_upgradePushButton_clicked();
        return;
    }
    // The count only goes down until the settings load it again.
    if (m_nAutoUpgradeCount > INT_MIN)
        --m_nAutoUpgradeCount;
    if (m_nAutoUpgradeCount > 0)
        on_upgradePushButton_clicked();
}

void VeloraUpgradeView::SetWatchdogInterval(int nMs)
{
    m_pUpgradeTimer->setInterval(nMs);
}

void VeloraUpgradeView::StartWatchdog()
{
    if (!m_pUpgradeTimer->isActive())
        m_pUpgradeTimer->start();
}

void VeloraUpgradeView::StopWatchdog()
{
    if (m_pUpgradeTimer->isActive())
        m_pUpgradeTimer->stop();
}

void VeloraUpgradeView::UpgradeTimer_CB()
{
    qDebug().noquote() << "UpgradeTimer_CB" << ": bUpgradeContinue = " << YesNo(bUpgradeContinue)
                       << " count = " << count;
    if (bUpgradeContinue) {
        count = 0;
    } else if (++count > kWatchdogSilentTicks) {
        UpgradeTimeout();
        count = 0;
    }
    bUpgradeContinue = false;
}

void VeloraUpgradeView::UpgradeTimeout()
{
    bUpgradeContinue = false;
    StopWatchdog();
    if (!m_bIsUpgrading) {
        // A status after the upgrade's ending started the watchdog again;
        // that upgrade has been counted already.
        qDebug().noquote() << "UpgradeTimeout" << ": no upgrade runs, nothing to end";
        return;
    }
    FailUpgrade();
    EndUpgrading();
    m_pCancelAction->setEnabled(false);
    EnableControls(false);
    LogWithCounts(tr("No reply for a long time, exit the upgrade"));
    PostTask(QStringLiteral("Stop_Upgrade"));
}

void VeloraUpgradeView::UpdateSettingParameter(bool status)
{
    ui->browsePushButton->setEnabled(status);
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    m_bAutoUpgrade = pSettings->GetInt(Key(kKeyAutoUpgrade), 1) == 1;
    m_nContinuousUpgrade = pSettings->GetInt(Key(kKeyContinuous), 0);
    m_nAutoUpgradeCount = pSettings->GetInt(Key(kKeyAutoCount), 1);
    // A run that could be stopped may have become one that cannot, or the
    // other way round.
    if (m_bIsUpgrading)
        UpdateCancelAction();
}

// ---------------------------------------------------------------------------
// The bar and the controls

void VeloraUpgradeView::SetBarColour(BarColour colour)
{
    const char* szStyle = colour == BarColour::Blue ? kBarBlue : colour == BarColour::Red ? kBarRed : kBarGreen;
    ui->upgradeProgressBar->setStyleSheet(QString::fromLatin1(szStyle));
}

int VeloraUpgradeView::BarValue(double dValue)
{
    // Converting a double outside the range of int is undefined.
    if (!(dValue > 0))  // NaN too
        return 0;
    if (dValue >= double(INT_MAX))
        return INT_MAX;
    return int(dValue);
}

void VeloraUpgradeView::FillBar()
{
    ui->upgradeProgressBar->setValue(ui->upgradeProgressBar->maximum());
}

void VeloraUpgradeView::EnableControls(bool bTouchButton)
{
    for (QWidget* pWidget : {static_cast<QWidget*>(ui->upgradePushButton), static_cast<QWidget*>(ui->browsePushButton),
                             static_cast<QWidget*>(ui->exitToolButton), static_cast<QWidget*>(ui->signalToolButton),
                             static_cast<QWidget*>(ui->calToolButton)})
        pWidget->setEnabled(true);
    if (bTouchButton)
        ui->touchEnToolButton->setEnabled(true);
}

void VeloraUpgradeView::SetUpgradeViewTouchEnableCheck(bool value)
{
    ui->touchEnToolButton->setChecked(value);
}

void VeloraUpgradeView::on_touchEnToolButton_clicked(bool bIsCheck)
{
    PostTask(bIsCheck ? QStringLiteral("DisableTouch") : QStringLiteral("EnableTouch"));
}

void VeloraUpgradeView::on_lstActionToolButton_clicked()
{
    // Its button is hidden for the view's whole life; the result is not used.
    m_pUpgradeSetDialog->exec();
}

void VeloraUpgradeView::TaskFailed(QString task, int32_t errorCode)
{
    qDebug().noquote() << "TaskFailed" << ":task = " + task << "code" << QString::number(uint32_t(errorCode), 16);
}

// ---------------------------------------------------------------------------
// Leaving

void VeloraUpgradeView::on_exitToolButton_clicked(bool)
{
    m_eExitWorkType = MAINWORK;
    close();
}

void VeloraUpgradeView::on_calToolButton_clicked(bool)
{
    m_eExitWorkType = CALIBRATEWORK;
    close();
}

void VeloraUpgradeView::on_signalToolButton_clicked(bool)
{
    m_eExitWorkType = SIGNALTESTWORK;
    close();
}

void VeloraUpgradeView::reject()
{
    close();
}

void VeloraUpgradeView::keyPressEvent(QKeyEvent* event)
{
    // Only Escape; every other key stops here.
    if (event->key() != Qt::Key_Escape)
        return;
    if (m_bIsUpgrading) {
        AddRefusalRow();
        return;
    }
    m_eExitWorkType = MAINWORK;
    close();
}

void VeloraUpgradeView::closeEvent(QCloseEvent* event)
{
    if (m_bIsUpgrading) {
        AddRefusalRow();
        event->ignore();
        return;
    }
    emit emitWorkType(m_eExitWorkType);
    m_eExitWorkType = MAINWORK;
    m_bUpgradeStarted = false;
    bUpgradeContinue = false;
    // Rows added while the view is closed go to the table only.
    m_logFile.Close();
    event->accept();
}

// ---------------------------------------------------------------------------
// The log table and file

int VeloraUpgradeView::InitLogTable()
{
    QTableWidget* pTable = ui->infoTableWidget;
    m_nLogRow = 0;
    pTable->clear();
    pTable->setContextMenuPolicy(Qt::CustomContextMenu);
    pTable->setColumnCount(2);
    pTable->setRowCount(0);
    pTable->verticalHeader()->setVisible(false);
    pTable->horizontalHeader()->setVisible(false);
    pTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pTable->verticalHeader()->setStretchLastSection(false);
    pTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The message column takes the rest. The time column fits its time
    // stamps, which all have one width: it is sized by the first row of the
    // table (InsertRow), not measured again for every row of a shift.
    pTable->horizontalHeader()->setStretchLastSection(true);
    pTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    pTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return 0;
}

void VeloraUpgradeView::InitLogMenu()
{
    m_pLogMenu = new QMenu(this);
    m_pLogMenu->setStyleSheet(QStringLiteral("QMenu::item:selected {background-color: #2dabf9;}"));
    m_pCancelAction = new QAction(tr("Cancel upgrade"), m_pLogMenu);
    connect(m_pCancelAction, &QAction::triggered, this, &VeloraUpgradeView::StopUpgrade_event);
    m_pLogMenu->addAction(m_pCancelAction);
    m_pCancelAction->setEnabled(false);
    m_pLogMenu->hide();
}

void VeloraUpgradeView::on_tableViewCustomContextMenuRequested(const QPoint&)
{
    m_pLogMenu->exec(QCursor::pos());
}

void VeloraUpgradeView::InsertRow(const QString& stamp, const QString& message, const QFont* pFont,
                                  const QColor* pColour)
{
    QTableWidget* pTable = ui->infoTableWidget;
    if (m_nLogRow >= pTable->rowCount())
        pTable->insertRow(m_nLogRow);
    pTable->setItem(m_nLogRow, 0, new QTableWidgetItem(stamp));
    auto* pMessage = new QTableWidgetItem(message);
    if (pFont)
        pMessage->setFont(*pFont);
    if (pColour)
        pMessage->setForeground(*pColour);
    pTable->setItem(m_nLogRow, 1, pMessage);
    if (m_nLogRow == 0)
        pTable->resizeColumnToContents(0);
    ++m_nLogRow;
    pMessage->setToolTip(message);
}

int VeloraUpgradeView::AppendLog(QString message)
{
    // One time for the row and its line.
    const QString stamp = RowTime(CLocalClock::Now());
    InsertRow(stamp, message, nullptr, nullptr);
    WriteLogLine(stamp, message);
    ui->infoTableWidget->scrollToBottom();
    return 0;
}

void VeloraUpgradeView::AddRefusalRow()
{
    const QString message = tr("Upgrade in progress, can't respond to exit!");
    QFont font = ui->infoTableWidget->font();
    font.setPointSize(15);
    font.setWeight(QFont::Bold);
    const QColor red(Qt::red);
    const QString stamp = RowTime(CLocalClock::Now());
    InsertRow(stamp, message, &font, &red);
    // Not scrolled; and while the view is hidden, the table only.
    if (isVisible())
        WriteLogLine(stamp, message);
}

void VeloraUpgradeView::WriteLogLine(const QString& stamp, const QString& message)
{
    if (m_logFile.WriteLine(stamp + QLatin1Char(' ') + message))
        return;
    // Once per file, in the table only: the file takes nothing more.
    InsertRow(stamp, tr("Failed to generate log file:") + m_logFile.Path() + QStringLiteral(": ")
                         + m_logFile.WriteProblem(),
              nullptr, nullptr);
}

void VeloraUpgradeView::UpdateUpgradeLog(QList<QPair<QString, QString>> lstResult)
{
    AppendLog(QString());
    for (const auto& pair : lstResult)
        AppendLog(pair.first + QStringLiteral(": ") + pair.second);
}

void VeloraUpgradeView::ClearLogAction_event()
{
    ui->infoTableWidget->clearContents();
    m_nLogRow = 0;
    InitLogTable();
}

void VeloraUpgradeView::CreateUpgradeLogFile()
{
    if (m_logFile.Create()) {
        AppendLog(tr("Generate log file:") + m_logFile.Path());
        return;
    }
    qWarning().noquote() << "CreateUpgradeLogFile : no upgrade log file can be made," << m_logFile.Problem();
    AppendLog(tr("Failed to generate log file:") + m_logFile.Path());
}
