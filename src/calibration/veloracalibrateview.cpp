#include "veloracalibrateview.h"
#include "ui_veloracalibrateview.h"

#include "caladvancedsettingview.h"
#include "calframecheck.h"
#include "calibratesetupdialog.h"
#include "calworkcustomview.h"
#include "deviceinfokey.h"
#include "finetuningcalibrateview.h"
#include "handlework.h"
#include "localclock.h"
#include "stationinfo.h"
#include "toast.h"
#include "wholefile.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDebug>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QJsonValue>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QTableWidget>
#include <QTextStream>
#include <QVariant>

#include <cmath>

namespace {
// A "funcResult" the view knows: the code, its run-log text, and whether the
// frame's calibration data is reset after it.
struct SResultRow
{
    uint32_t nCode;
    const char* szText;
    bool bReset;
};
constexpr SResultRow kResultRows[] = {
    {0x80250000u, "ERROR_CODE_FAILED_AreaCalibrate!", false},
    {0x80260000u, "ERROR_CODE_FAILED_GetCalData!", false},
    {0x80270000u, "ERROR_CODE_FAILED_SaveAsDefault!", false},
    {0x80280000u, "ERROR_CODE_FAILED_ResetCalData!", false},
    {0x80290000u, "ERROR_CODE_FAILED_SaveToFlash!", false},
    {0x802A0000u, "ERROR_CODE_FAILED_SetCalStep!", true},
    {0u, "ERROR_CODE_SUCCESS!", false},
};

const SResultRow* ExactResultRow(const QString& text)
{
    for (const SResultRow& row : kResultRows) {
        if (text == QString::number(row.nCode, 16))
            return &row;
    }
    return nullptr;
}

// The failure row of a code the dispatcher really sends: the same operation
// in the top 16 bits, a reason (a time-out, a lost device, an interruption)
// in the low 16 bits. Only the form the dispatcher writes counts: eight
// lower-case hexadecimal digits.
const SResultRow* FamilyResultRow(const QString& text)
{
    if (text.size() != 8)
        return nullptr;
    for (const QChar c : text) {
        const bool bDigit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const bool bLetter = c >= QLatin1Char('a') && c <= QLatin1Char('f');
        if (!bDigit && !bLetter)
            return nullptr;
    }
    const uint32_t nCode = text.toUInt(nullptr, 16);
    if ((nCode & 0x80000000u) == 0 || (nCode & 0xFFFFu) == 0)
        return nullptr;
    for (const SResultRow& row : kResultRows) {
        if (row.nCode != 0 && (row.nCode >> 16) == (nCode >> 16))
            return &row;
    }
    return nullptr;
}

const char* const kCalKeys[] = {"LX", "LY", "RX", "RY"};
} // namespace

VeloraCalibrateView::VeloraCalibrateView(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent), ui(new Ui::VeloraCalibrateView)
{
    ui->setupUi(this);
    m_nLogRows = 0;
    m_bDeviceReady = false;
    m_eNextWorkType = MAINWORK;
    setWindowFlags(Qt::Dialog | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint
                   | Qt::WindowCloseButtonHint);

    InitCalLogTable();
    InitCalLogMenu();

    // The screens belong to the main window, like the view.
    m_pHandleWork = pHandleWork;
    QWidget* pOwner = parentWidget();
    m_pSetUpDialog = new CalibrateSetUpDialog(pOwner, m_pHandleWork);
    m_pAdvancedView = new CCalAdvancedSettingView(pOwner, m_pHandleWork);
    m_pFineTuningView = new CFineTuningCalibrateView(pOwner, m_pHandleWork);
    m_pCalWorkView = new CCalWorkCustomView(pOwner, m_pHandleWork);

    connect(ui->Btn_Cal_2, &QPushButton::clicked, this, &VeloraCalibrateView::Calibrate);
    connect(ui->Btn_Reset_2, &QPushButton::clicked, this, &VeloraCalibrateView::ResetFunC);
    connect(this, &VeloraCalibrateView::emitCalFail, this, &VeloraCalibrateView::PromtCalFailFunc);
    connect(this, &VeloraCalibrateView::emitCalOk, this, &VeloraCalibrateView::PromtCalOkFunc);
    connect(this, &VeloraCalibrateView::emitExitCalibrate, this, &VeloraCalibrateView::ExitCalibrateFunc);
    if (m_pHandleWork)
        connect(m_pHandleWork, &HandleWork::emitResetCallBack, this, &VeloraCalibrateView::ResetCallBack);
    connect(m_pFineTuningView, &CFineTuningCalibrateView::EmitCalibrateMsg, this,
            &VeloraCalibrateView::CalibrateCallBackSlot);
    if (m_pHandleWork) {
        connect(m_pHandleWork, &HandleWork::EmitCalibrateMsg, this, &VeloraCalibrateView::CalibrateCallBackSlot);
        connect(m_pHandleWork, &HandleWork::EmitCalibrationSaved, this, &VeloraCalibrateView::CalibrationSaved);
        connect(m_pHandleWork, &HandleWork::EmitTouchFormatsOwed, this, &VeloraCalibrateView::TouchFormatsOwed);
        connect(m_pHandleWork, &HandleWork::EmitTouchFormatsGivenBack, this,
                &VeloraCalibrateView::TouchFormatsGivenBack);
        connect(m_pHandleWork, &HandleWork::EmitTouchFormatsUnread, this, &VeloraCalibrateView::TouchFormatsUnread);
    }
    connect(ui->CalLogTableWidget, &QWidget::customContextMenuRequested, this,
            &VeloraCalibrateView::on_CalTableViewCustomContextMenuRequested);

    SetWorkButtonsEnabled(false);

    const QString title = QString::fromLatin1(StationInfo::kAppName) + QString::fromLatin1(StationInfo::kAppVersion);
    ui->ver_label->setText(title);
    ui->touchEnToolButton->hide();
    ui->ver_label->hide();
    setWindowTitle(title);
}

VeloraCalibrateView::~VeloraCalibrateView()
{
    ExitCalibrateFunc();
    delete ui;
}

// ---------------------------------------------------------------------------
// Opening, device state, starting

bool VeloraCalibrateView::IsLiveApplicationFrame() const
{
    return CCalFrameCheck::IsLiveApplicationFrame(m_pHandleWork);
}

void VeloraCalibrateView::SetWorkButtonsEnabled(bool bEnable)
{
    ui->Btn_Cal_2->setEnabled(bEnable);
    ui->Btn_Reset_2->setEnabled(bEnable);
}

bool VeloraCalibrateView::Post(const char* szTask)
{
    // A refusal (the same task still running, or the station closing) is
    // not retried.
    return m_pHandleWork && m_pHandleWork->PostTask(QString::fromLatin1(szTask), Qt::AutoConnection, nullptr);
}

void VeloraCalibrateView::InitCalibrateView()
{
    if (m_bDeviceReady && IsLiveApplicationFrame())
        Post("InitDeviceCalData");
}

void VeloraCalibrateView::InsertUsbDeviceForCalibrate(bool value)
{
    m_bDeviceReady = value;
    if (!value) {
        if (isVisible())
            AppendCalLog(tr("Device is disconnected"));
        SetWorkButtonsEnabled(false);
        return;
    }
    if (IsLiveApplicationFrame())
        SetWorkButtonsEnabled(true);
}

void VeloraCalibrateView::SetCalViewTouchEnableCheck(bool value)
{
    ui->touchEnToolButton->setChecked(value);
}

void VeloraCalibrateView::Calibrate()
{
    // A saved test log opened while the frame stays plugged replaces the
    // frame's object without a device event: nothing to calibrate then.
    if (!IsLiveApplicationFrame()) {
        qInfo().noquote() << "Calibrate : no live frame in its application, nothing started";
        SetWorkButtonsEnabled(false);
        return;
    }
    switch (ui->combox_CalMode_2->currentIndex()) {
    case 0:
        StartFourPointCalibrate();
        break;
    case 1:
        if (m_pFineTuningView) {
            m_pFineTuningView->StartFineTuningCal();
            m_pFineTuningView->showFullScreen();
        }
        break;
    case 2:
        if (m_pAdvancedView) {
            m_pAdvancedView->InitSettingView();
            m_pAdvancedView->showFullScreen();
        }
        break;
    default:
        break;
    }
}

void VeloraCalibrateView::StartFourPointCalibrate()
{
    ++m_nFourPointRun;
    // The screen shows even when the step is refused (an earlier one still
    // runs): its count-down ends that one.
    Post("STEP_BEGIN");
    if (!m_pCalWorkView)
        return;
    m_pCalWorkView->StartCalCountDown();
    m_pCalWorkView->showFullScreen();
}

void VeloraCalibrateView::ResetFunC()
{
    if (!IsLiveApplicationFrame()) {
        qInfo().noquote() << "ResetFunC : no live frame in its application, nothing reset";
        SetWorkButtonsEnabled(false);
        return;
    }
    Post("RESET_CAL_DATA");
}

void VeloraCalibrateView::ResetCallBack(bool state)
{
    CToast::Instance()->ShowTip(0, state ? tr("Reset successful!") : tr("Reset failed!"));
}

// ---------------------------------------------------------------------------
// The calibration message

int VeloraCalibrateView::StepOf(const QJsonValue& value)
{
    // Only an integral number in range acts; anything else (text, 2.5, a
    // number far beyond int) is no step.
    if (!value.isDouble())
        return 0;
    const double d = value.toDouble();
    if (!(d >= 1.0 && d <= 7.0) || d != std::floor(d))
        return 0;
    return int(d);
}

void VeloraCalibrateView::CalibrateCallBackSlot(QJsonObject result)
{
    // Only the first key present counts.
    if (result.contains(QStringLiteral("usb"))) {
        if (!result.value(QStringLiteral("usb")).toVariant().toBool())
            return;
        QList<QPair<QString, QString>> list;
        const QJsonObject device = result.value(QStringLiteral("device")).toObject();
        list.append(qMakePair(QString(DeviceInfoKey::kProduct),
                              device.value(DeviceInfoKey::kProduct).toVariant().toString()));
        ParseCalData(device.value(QStringLiteral("calData")).toObject(), &list);
        ShowCalData(list);
        return;
    }
    if (result.contains(QStringLiteral("step"))) {
        switch (StepOf(result.value(QStringLiteral("step")))) {
        case 1:
            Post("STEP_1");
            break;
        case 2:
            Post("STEP_2");
            break;
        case 3:
            Post("STEP_3");
            break;
        case 4:
            Post("STEP_4");
            break;
        case 5:
            Post("STEP_CHECK");
            break;
        case 6:
            emit emitCalOk();
            break;
        case 7:
            emit emitCalFail();
            break;
        default:
            break;
        }
        return;
    }
    if (result.contains(QStringLiteral("Complete"))) {
        QList<QPair<QString, QString>> list;
        ParseCalData(result.value(QStringLiteral("Complete")).toObject(), &list);
        ShowCalData(list);
        return;
    }
    if (result.contains(QStringLiteral("funcResult"))) {
        const QString text = result.value(QStringLiteral("funcResult")).toVariant().toString();
        if (const SResultRow* pRow = ExactResultRow(text)) {
            qInfo().noquote() << pRow->szText;
            if (pRow->bReset)
                Post("RESET_CAL_DATA");
        } else if (const SResultRow* pFamily = FamilyResultRow(text)) {
            // The dispatcher has reset the frame already; the code says why.
            qInfo().noquote() << pFamily->szText << text;
        }
    }
}

void VeloraCalibrateView::ParseCalData(const QJsonObject& calData, QList<QPair<QString, QString>>* pList)
{
    for (const char* szKey : kCalKeys) {
        const QString key = QString::fromLatin1(szKey);
        pList->append(qMakePair(key, calData.value(key).toVariant().toString()));
    }
}

void VeloraCalibrateView::ShowCalData(const QList<QPair<QString, QString>>& list)
{
    if (!isVisible())
        return;
    QString product;
    bool bProduct = false;
    QString values[4];
    for (const QPair<QString, QString>& item : list) {
        if (item.first == DeviceInfoKey::kProduct) {
            product = QString(DeviceInfoKey::kProduct) + QLatin1Char(':') + item.second;
            bProduct = true;
            continue;
        }
        for (int i = 0; i < 4; ++i) {
            if (item.first == QLatin1String(kCalKeys[i]))
                values[i] = item.second;
        }
    }
    if (bProduct)
        AppendCalLog(product);
    AppendCalLog(values[0] + QLatin1Char('-') + values[1] + QLatin1Char('-') + values[2] + QLatin1Char('-')
                 + values[3]);
}

// ---------------------------------------------------------------------------
// End of a four-point run

void VeloraCalibrateView::PromtCalOkFunc()
{
    // Confirmed once the frame has stored it (CalibrationSaved).
    m_bConfirmSaved = Post("STEP_END_OK");
}

void VeloraCalibrateView::PromtCalFailFunc()
{
    // The question runs its own event loop: the run and the frame it is for
    // are noted first, and the answer goes only to that frame.
    const quint64 nRun = m_nFourPointRun;
    const CCalFrameCheck frame(m_pHandleWork);
    const int nAnswer = QMessageBox::information(
        this, tr("Calibration complete"),
        tr("The calibration deviation is too large, do you want to save the current parameters!"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    if (nAnswer != QMessageBox::Yes && nAnswer != QMessageBox::No)
        return;
    const char* szAnswer = nAnswer == QMessageBox::Yes ? "keep the parameters" : "discard them";
    bool bStill = frame.StillTheFrame("PromtCalFailFunc", "deviation question", szAnswer);
    if (bStill && nRun != m_nFourPointRun) {
        qInfo().noquote() << "PromtCalFailFunc : another four-point run began during the deviation question; the"
                          << QStringLiteral("answer (%1) is not sent").arg(QLatin1String(szAnswer));
        bStill = false;
    }
    if (!bStill) {
        if (isVisible())
            AppendCalLog(CCalFrameCheck::NotAppliedText());
        return;
    }
    if (nAnswer == QMessageBox::Yes) {
        // Kept without a confirmation; a failure still shows.
        if (Post("STEP_END_OK"))
            m_bConfirmSaved = false;
    } else {
        Post("STEP_END_FAIL");
    }
}

void VeloraCalibrateView::CalibrationSaved(QString task, int result)
{
    const bool bFourPoint = task == QLatin1String("STEP_END_OK");
    const bool bConfirm = bFourPoint && m_bConfirmSaved;
    if (bFourPoint)
        m_bConfirmSaved = false;
    if (result != 0) {
        // The frame's calibration is left as it is.
        qWarning().noquote() << "CalibrationSaved : the frame did not store the calibration (" + task + "),"
                             << QStringLiteral("0x%1").arg(uint32_t(result), 0, 16);
        CToast::Instance()->ShowTip(2, tr("Calibration not saved"));
        return;
    }
    if (bConfirm)
        CToast::Instance()->ShowTip(0, tr("Calibration complete"));
}

void VeloraCalibrateView::TouchFormatsOwed()
{
    if (isVisible())
        AppendCalLog(tr("The touch formats will be given back when the frame returns"));
}

void VeloraCalibrateView::TouchFormatsGivenBack()
{
    if (isVisible())
        AppendCalLog(tr("The frame has its touch formats back"));
}

void VeloraCalibrateView::TouchFormatsUnread()
{
    if (isVisible())
        AppendCalLog(tr("The frame's touch formats could not be read; they will not be given back"));
}

// ---------------------------------------------------------------------------
// Tool buttons

void VeloraCalibrateView::on_lstActionToolButton_clicked()
{
    if (!m_pSetUpDialog)
        return;
    m_pSetUpDialog->UpdateDevCalParameter();
    m_pSetUpDialog->exec();
}

void VeloraCalibrateView::on_touchEnToolButton_clicked(bool bIsCheck)
{
    Post(bIsCheck ? "DisableTouch" : "EnableTouch");
}

void VeloraCalibrateView::on_upgradeToolButton_clicked(bool)
{
    m_eNextWorkType = UPGRADEWORK;
    close();
}

void VeloraCalibrateView::on_signalToolButton_clicked(bool)
{
    m_eNextWorkType = SIGNALTESTWORK;
    close();
}

void VeloraCalibrateView::on_exitToolButton_clicked(bool)
{
    m_eNextWorkType = MAINWORK;
    close();
}

void VeloraCalibrateView::on_drawButton_clicked()
{
    emit emitOpenDrawTool();
}

void VeloraCalibrateView::TaskFailed(QString task, int32_t errorCode)
{
    qDebug().noquote() << "TaskFailed :" << task << QString::number(uint32_t(errorCode), 16);
}

// ---------------------------------------------------------------------------
// Leaving

void VeloraCalibrateView::keyPressEvent(QKeyEvent* event)
{
    // Other keys are dropped: Enter does not press a button of the view.
    if (event->key() == Qt::Key_Escape) {
        m_eNextWorkType = MAINWORK;
        close();
    }
}

void VeloraCalibrateView::closeEvent(QCloseEvent* event)
{
    emit emitWorkType(m_eNextWorkType);
    m_eNextWorkType = MAINWORK;
    // The log is lost on every close.
    ui->CalLogTableWidget->clear();
    m_nLogRows = 0;
    InitCalLogTable();
    event->accept();
}

void VeloraCalibrateView::done(int result)
{
    // QDialog would only hide the view, leaving the main panel disabled.
    setResult(result);
    close();
}

void VeloraCalibrateView::ExitCalibrateFunc()
{
    if (m_pCalWorkView) {
        if (m_pCalWorkView->isActiveWindow())
            m_pCalWorkView->StopCalWork();
        delete m_pCalWorkView.data();
        m_pCalWorkView = nullptr;
    }
    if (m_pAdvancedView && m_pAdvancedView->isActiveWindow())
        m_pAdvancedView->ExitWithSavePrompt();
    if (m_pFineTuningView) {
        if (m_pFineTuningView->isActiveWindow())
            m_pFineTuningView->CloseFineTuningCal();
        delete m_pFineTuningView.data();
        m_pFineTuningView = nullptr;
    }
}

// ---------------------------------------------------------------------------
// The calibration log

void VeloraCalibrateView::InitCalLogTable()
{
    m_nLogRows = 0;
    QTableWidget* pTable = ui->CalLogTableWidget;
    pTable->clear();
    pTable->setContextMenuPolicy(Qt::CustomContextMenu);
    pTable->setColumnCount(2);
    pTable->setRowCount(0);
    pTable->verticalHeader()->setVisible(false);
    pTable->horizontalHeader()->setVisible(false);
    pTable->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pTable->verticalHeader()->setStretchLastSection(false);
    // A message that wraps (a long path) takes the rows it needs.
    pTable->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    pTable->horizontalHeader()->setStretchLastSection(true);
    pTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void VeloraCalibrateView::InitCalLogMenu()
{
    m_pLogMenu = new QMenu(this);
    m_pLogMenu->setStyleSheet(QStringLiteral("QMenu::item:selected {background-color: #2dabf9;}"));
    m_pClearLogAction = new QAction(tr("Delete Record"), m_pLogMenu);
    m_pClearLogAction->setAutoRepeat(true);
    connect(m_pClearLogAction, &QAction::triggered, this, &VeloraCalibrateView::ClearCalLogAction_event);
    m_pLogMenu->addAction(m_pClearLogAction);
    m_pSaveLogAction = new QAction(tr("Record keeping"), m_pLogMenu);
    connect(m_pSaveLogAction, &QAction::triggered, this, &VeloraCalibrateView::SaveCalLogAction_event);
    m_pLogMenu->addAction(m_pSaveLogAction);
}

void VeloraCalibrateView::AppendCalLog(const QString& text)
{
    QTableWidget* pTable = ui->CalLogTableWidget;
    if (m_nLogRows >= pTable->rowCount())
        pTable->insertRow(m_nLogRows);
    auto* pText = new QTableWidgetItem(text);
    pText->setTextAlignment(Qt::AlignCenter);
    auto* pTime = new QTableWidgetItem(CLocalClock::Now().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    pTable->setItem(m_nLogRows, 0, pTime);
    pTable->setItem(m_nLogRows, 1, pText);
    ++m_nLogRows;
    pText->setToolTip(text);
    pTable->scrollToBottom();
}

void VeloraCalibrateView::on_CalTableViewCustomContextMenuRequested(QPoint)
{
    m_pLogMenu->exec(QCursor::pos());
}

void VeloraCalibrateView::ClearCalLogAction_event()
{
    ui->CalLogTableWidget->clear();
    m_nLogRows = 0;
    InitCalLogTable();
    AppendCalLog(tr("Delete Record"));
}

void VeloraCalibrateView::SaveCalLogAction_event()
{
    // Named by the moment of the request, before the operator picks a folder.
    const QString name = CLocalClock::Now().toString(QStringLiteral("yyyy-MM-dd-hh-mm-ss-zzz"))
        + QStringLiteral("-CVCalibrate.txt");
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr("Save Calibrate Log file"), QCoreApplication::applicationDirPath(), QFileDialog::ShowDirsOnly);
    if (folder.isEmpty()) {
        AppendCalLog(tr("Cancel saving log"));
        return;
    }
    const QString path = folder + QLatin1Char('/') + name;

    // A log: a file of the same name (a save in the same millisecond) grows.
    // A save that fails takes back what it wrote: a file it made is removed,
    // one it found is cut back to the size it had.
    QFile file(path);
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered;
    const bool bMade = file.open(mode | QIODevice::NewOnly);
    if (!bMade && !file.open(mode)) {
        qWarning().noquote() << "SaveCalLogAction_event : cannot create the calibration log" << path << ":"
                             << file.errorString();
        AppendCalLog(tr("Failed to generate log file:") + path);
        return;
    }
    const qint64 nEarlierBytes = bMade ? 0 : file.size();
    AppendCalLog(tr("Generate log file:") + path);

    // The locale's encoding, as every text file of the station.
    QByteArray lines;
    {
        QTextStream out(&lines, QIODevice::WriteOnly);
        const QTableWidget* pTable = ui->CalLogTableWidget;
        auto cellText = [pTable](int nRow, int nColumn) {
            const QTableWidgetItem* pItem = pTable->item(nRow, nColumn);
            return pItem ? pItem->text() : QString();
        };
        for (int nRow = 0; nRow < m_nLogRows; ++nRow)
            out << cellText(nRow, 0) << '#' << cellText(nRow, 1) << '\n';
    }

    QString reason;
    const bool bWritten = AppendWhole(file, lines, &reason);
    file.close();
    if (bWritten && file.error() != QFileDevice::NoError)
        reason = file.errorString();
    if (reason.isEmpty())
        return;

    // What the failed save left, as the file now is.
    QString takenBack;
    if (bMade) {
        takenBack = file.remove() ? QStringLiteral("the file it made is removed")
                                  : QStringLiteral("the file it made cannot be removed: ") + file.errorString();
    } else if (QFileInfo(path).size() == nEarlierBytes) {
        takenBack = QStringLiteral("the file is cut back to its earlier %1 bytes").arg(nEarlierBytes);
    } else {
        takenBack = QStringLiteral("the file is not cut back to its earlier %1 bytes").arg(nEarlierBytes);
    }
    qWarning().noquote() << "SaveCalLogAction_event : cannot write the calibration log" << path << ":" << reason
                         << "-" << takenBack;
    AppendCalLog(tr("Failed to generate log file:") + path);
}
