#include "veloratestview.h"
#include "ui_veloratestview.h"

#include "comportusb.h"
#include "customersettings.h"
#include "deviceinfokey.h"
#include "handlework.h"
#include "hardwareinterface.h"
#include "plaintext.h"
#include "recorddialog.h"
#include "screenshot.h"
#include "setupdialog.h"
#include "stationinfo.h"
#include "tablerowfitter.h"
#include "timerthread.h"
#include "touchbase.h"
#include "touchhardware.h"
#include "touchpaintview.h"
#include "veloratestview_p.h"
#include "wrappingitemdelegate.h"

#include <QAction>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMutexLocker>
#include <QScreen>
#include <QSignalBlocker>
#include <QTableWidget>

using VeloraTestViewPrivate::Settings;
using VeloraTestViewPrivate::TableItem;

namespace {
QString StationTitle()
{
    return QString::fromLatin1(StationInfo::kAppName) + QString::fromLatin1(StationInfo::kAppVersion);
}

QFont BoldFont(QFont font)
{
    font.setWeight(QFont::Bold); // 75
    return font;
}

// The text with a break opportunity between any two characters, for a label
// that wraps a name without spaces in a narrow column.
QString BreakableAnywhere(const QString& text)
{
    QString out;
    out.reserve(text.size() * 2);
    for (const QChar c : text) {
        if (!out.isEmpty())
            out += QChar(0x200B); // zero width space
        out += c;
    }
    return out;
}
} // namespace

VeloraTestView::VeloraTestView(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent), ui(new Ui::VeloraTestView), m_pHandleWork(pHandleWork)
{
    // 1. The form, then the window of a dialog with all three buttons.
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);

    // 2. What the dispatcher holds for the view.
    if (m_pHandleWork) {
        m_pEnvironment = m_pHandleWork->GetEnvironment();
        m_pUsbPort = m_pHandleWork->GetUsbPort();
        m_pUartPort = m_pHandleWork->GetUartPort();
    }

    // 3. to 7.
    m_pSetUpDialog = new CSetUpDialog(m_pUartPort, nullptr);
    m_pTimerThread = new CTimerThread(&VeloraTestView::RefreshTimer_CB, this, nullptr);
    m_pRecordDialog = new CRecordDialog(this);
    m_pRecordDialog->hide();
    connect(m_pRecordDialog, &CRecordDialog::emitExitRecord, this, &VeloraTestView::ExitRecordWork);
    m_dFontScale = 1.0;
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (!screens.isEmpty())
        m_dFontScale = screens.first()->logicalDotsPerInch() / 96.0 < 1.1 ? 0.5 : 1.0;
    m_pTouchPaintView = new CTouchPaintView(this);
    m_pTouchPaintView->setWindowFlags(Qt::Window);
    m_pTouchPaintView->hide();

    // 8.
    RestoreCurrentTab();
    InitNoticeLabel();
    InitActionMenu();
    InitReplayMark();
    UpdateSourceButtons();
    ResetInfoTables();

    // 9. The frames' raw reports come on their reader threads, directly.
    connect(this, &VeloraTestView::ShowTouchTestResult, m_pTouchPaintView, &CTouchPaintView::ShowTouchTestResult);
    connect(m_pTouchPaintView, &CTouchPaintView::exit, this, &VeloraTestView::TouchPaintClose);
    if (m_pUsbPort)
        connect(m_pUsbPort, &CComPortUsb::SendTouchData, this, &VeloraTestView::ProcessTouchData,
                Qt::DirectConnection);
    if (m_pHandleWork)
        connect(this, &VeloraTestView::emitSignalTestStatus, m_pHandleWork, &HandleWork::UpdateSignalTestStatus);
    connect(ui->touchTabWidget, &QTabWidget::currentChanged, this, &VeloraTestView::SelectTab);

    // 10. The signal page is not offered.
    ui->signalButton->hide();
    ui->touchTabWidget->removeTab(0);

    // 11.
    ui->ver_label->setText(StationTitle());
    ui->ver_label->hide();
    m_strSourceTitle = StationTitle();
    setWindowTitle(m_strSourceTitle);

    // The side column is narrow: its texts wrap, in a word where they must,
    // and are never cut.
    for (QTableWidget* pTable : {ui->FirmwareInfo, ui->testResult}) {
        pTable->setItemDelegate(new CWrappingItemDelegate(pTable));
        new CTableRowFitter(pTable);
        pTable->setWordWrap(true);
        pTable->setTextElideMode(Qt::ElideNone);
        pTable->viewport()->installEventFilter(this);
    }
    NotePage();
    // The injector's screen, kept for the reader threads.
    NoteScreenSize();
    auto watchScreen = [this](QScreen* pScreen) {
        if (pScreen)
            connect(pScreen, &QScreen::geometryChanged, this, &VeloraTestView::NoteScreenSize, Qt::UniqueConnection);
        NoteScreenSize();
    };
    watchScreen(QGuiApplication::primaryScreen());
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, watchScreen);
}

VeloraTestView::~VeloraTestView()
{
    // No raw report reaches the view any more, and none is still being taken
    // in: the readers run until the port goes, after the views.
    if (m_pUsbPort)
        disconnect(m_pUsbPort, &CComPortUsb::SendTouchData, this, &VeloraTestView::ProcessTouchData);
    {
        QMutexLocker lock(&m_intakeMutex);
        m_bIntakeClosed = true;
    }
    StopRefresh();
    qInfo().noquote() << "Save Log Data Manul...";
    if (m_pRecordAction->isChecked())
        SaveRecordingAtEnd();
    CCustomerSettings* pSettings = Settings();
    pSettings->SetBool(QStringLiteral("TouchPannelChecked"), ui->rectButton->isChecked());
    pSettings->SetBool(QStringLiteral("TouchSignalChecked"), ui->signalButton->isChecked());
    pSettings->SetBool(QStringLiteral("TouchHistogramChecked"), ui->histogramButton->isChecked());
    delete m_pSetUpDialog;
    m_pSetUpDialog = nullptr;
    delete m_pTimerThread;
    m_pTimerThread = nullptr;
    delete m_pTouchPaintView;
    m_pTouchPaintView = nullptr;
    RemoveViews();
    // A run still open when the station ends.
    m_testMutex.tryLock();
    m_testMutex.unlock();
    delete ui;
}

// ---------------------------------------------------------------------------
// Construction helpers

void VeloraTestView::RestoreCurrentTab()
{
    CCustomerSettings* pSettings = Settings();
    if (pSettings->GetBool(QStringLiteral("TouchPannelChecked"), true)) {
        ui->rectButton->setChecked(true);
        ui->touchTabWidget->setCurrentWidget(ui->pannelTab);
    } else if (pSettings->GetBool(QStringLiteral("TouchHistogramChecked"), true)) {
        ui->histogramButton->setChecked(true);
        ui->touchTabWidget->setCurrentWidget(ui->HistogramTab);
    }
}

void VeloraTestView::InitNoticeLabel()
{
    auto* pLayout = new QGridLayout(ui->touchTabWidget);
    pLayout->setObjectName(QStringLiteral("tabWidgetGridLayout"));
    pLayout->setSpacing(0);
    pLayout->setContentsMargins(0, 0, 0, 0);

    m_pNoticeLabel = new QLabel();
    m_pNoticeLabel->setObjectName(QStringLiteral("noticeLabel"));
    QFont font(QStringLiteral("italic"));
    font.setPointSize(30);
    font.setWeight(50);
    m_pNoticeLabel->setFont(font);
    m_pNoticeLabel->setAttribute(Qt::WA_TranslucentBackground);
    m_pNoticeLabel->setStyleSheet(QStringLiteral("color:blue;font-weight:bold;font-style:italic;font-size:100;"));
    m_pNoticeLabel->setTextFormat(Qt::PlainText);
    m_pNoticeLabel->setAlignment(Qt::AlignCenter);
    m_pNoticeLabel->setWordWrap(true);
    m_pNoticeLabel->setMargin(7);
    m_pNoticeLabel->setText(tr("There is no device inserted, Please insert device!"));
    // Added as a page, then laid over the whole tab widget, which takes it
    // out of the page stack again: it lies over both pages.
    ui->touchTabWidget->addTab(m_pNoticeLabel, QString());
    pLayout->addWidget(m_pNoticeLabel, 0, 0, 1, 1);
    m_pNoticeLabel->show();
}

void VeloraTestView::InitActionMenu()
{
    auto action = [this](const QString& icon, const QString& text) {
        return icon.isEmpty() ? new QAction(text, this) : new QAction(QIcon(icon), text, this);
    };
    m_pSetUpAction = action(QStringLiteral(":/Image/Image-UI/setUp.png"), tr("Set..."));
    m_pSetUpAction->setShortcuts(QKeySequence::InsertParagraphSeparator);
    connect(m_pSetUpAction, &QAction::triggered, this, &VeloraTestView::setUpResponse);

    m_pPrtSrcAction = action(QStringLiteral(":/Image/Image-UI/PrtScreen.png"), tr("Print screen..."));
    m_pPrtSrcAction->setShortcut(QKeySequence::Print);
    connect(m_pPrtSrcAction, &QAction::triggered, this, &VeloraTestView::prtSrcResponse);

    m_pOpenLogAction = action(QStringLiteral(":/Image/Image-UI/OpenLog.png"), tr("Open log file..."));
    m_pOpenLogAction->setShortcut(QKeySequence::Open);
    connect(m_pOpenLogAction, &QAction::triggered, this, &VeloraTestView::openLogResponse);

    QIcon recordIcon;
    recordIcon.addFile(QStringLiteral(":/Image/Image-UI/Record_Off.png"), QSize(), QIcon::Normal, QIcon::Off);
    recordIcon.addFile(QStringLiteral(":/Image/Image-UI/Record_On.png"), QSize(), QIcon::Normal, QIcon::On);
    m_pRecordAction = new QAction(recordIcon, tr("Record Data..."), this);
    m_pRecordAction->setCheckable(true);
    m_pRecordAction->setShortcut(QKeySequence(QCoreApplication::translate("MainWindow", "Ctrl+R")));
    // Only the operator's trigger records: unchecking from code runs nothing.
    connect(m_pRecordAction, &QAction::triggered, this, &VeloraTestView::recordResponse);

    m_pModifySnAction = action(QString(), tr("Modify SN code..."));
    m_pModifySnAction->setShortcut(QKeySequence(QCoreApplication::translate("MainWindow", "Ctrl+M")));
    connect(m_pModifySnAction, &QAction::triggered, this, &VeloraTestView::modifySnResponse);

    // On the view: the replay speed and stepping.
    m_pSpeedUpAction = action(QString(), tr("Speed Up..."));
    m_pSpeedUpAction->setShortcut(QKeySequence(QCoreApplication::translate("MainWindow", "Up")));
    connect(m_pSpeedUpAction, &QAction::triggered, this, &VeloraTestView::speedUpResponse);
    m_pSpeedDownAction = action(QString(), tr("Speed Down..."));
    m_pSpeedDownAction->setShortcut(QKeySequence(QCoreApplication::translate("MainWindow", "Down")));
    connect(m_pSpeedDownAction, &QAction::triggered, this, &VeloraTestView::speedDownResponse);
    m_pNextFrameAction = action(QString(), tr("Next Frame..."));
    m_pNextFrameAction->setShortcut(QKeySequence(Qt::Key_Right));
    m_pNextFrameAction->setShortcutContext(Qt::ApplicationShortcut);
    connect(m_pNextFrameAction, &QAction::triggered, this, &VeloraTestView::nextFrameResponse);
    m_pPreFrameAction = action(QString(), tr("Pre Frame..."));
    m_pPreFrameAction->setShortcut(QKeySequence(Qt::Key_Left));
    m_pPreFrameAction->setShortcutContext(Qt::ApplicationShortcut);
    connect(m_pPreFrameAction, &QAction::triggered, this, &VeloraTestView::preFrameResponse);
    addAction(m_pSpeedUpAction);
    addAction(m_pSpeedDownAction);
    addAction(m_pNextFrameAction);
    addAction(m_pPreFrameAction);

    m_pActionMenu = new QMenu(this);
    m_pActionMenu->setStyleSheet(QStringLiteral("QMenu::item:selected {background-color: #2dabf9;}"));
    m_pActionMenu->addAction(m_pModifySnAction);
    m_pActionMenu->addSeparator();
    m_pActionMenu->addAction(m_pOpenLogAction);
    m_pActionMenu->addSeparator();
    m_pActionMenu->addAction(m_pPrtSrcAction);
    m_pActionMenu->addAction(m_pRecordAction);
    m_pActionMenu->addSeparator();
    m_pActionMenu->addAction(m_pSetUpAction);
    ui->testActionToolButton->setMenu(m_pActionMenu);
}

void VeloraTestView::InitReplayMark()
{
    // Above the result table, not a row of it: a replay's rows are its own.
    m_pReplayMark = new QLabel(ui->splitter);
    m_pReplayMark->setObjectName(QStringLiteral("replayMarkLabel"));
    m_pReplayMark->setTextFormat(Qt::PlainText);
    m_pReplayMark->setWordWrap(true);
    m_pReplayMark->setAlignment(Qt::AlignCenter);
    m_pReplayMark->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Maximum);
    m_pReplayMark->setStyleSheet(QStringLiteral(
        "QLabel{background-color:#fff4ce;color:#8a4b00;font-weight:bold;border:2px solid #e0a800;padding:4px;}"));
    ui->splitter->insertWidget(ui->splitter->indexOf(ui->testResult), m_pReplayMark);
    ui->splitter->setCollapsible(ui->splitter->indexOf(m_pReplayMark), false);
    m_pReplayMark->hide();
}

// ---------------------------------------------------------------------------
// Small helpers

bool VeloraTestView::Post(const QString& task, Qt::ConnectionType type)
{
    return m_pHandleWork && m_pHandleWork->PostTask(task, type, this);
}

CTouchBase* VeloraTestView::Device() const
{
    return m_pHandleWork ? m_pHandleWork->GetTouchDevice() : nullptr;
}

bool VeloraTestView::HasDevice() const
{
    return m_pHandleWork && m_pHandleWork->GetDeviceKind() != HandleWork::DeviceKind::None;
}

QMutex* VeloraTestView::DeviceMutex() const
{
    return m_pHandleWork ? m_pHandleWork->GetDeviceMutex() : nullptr;
}

void VeloraTestView::WarnIfNotInvoked(bool bInvoked, const char* szWhat)
{
    if (!bInvoked)
        qWarning().noquote() << "VeloraTestView : the call of" << szWhat << "by name failed";
}

void VeloraTestView::NotePage()
{
    const QWidget* pPage = ui->touchTabWidget->currentWidget();
    m_eVisiblePage = pPage == ui->pannelTab       ? EPage::Panel
                     : pPage == ui->HistogramTab ? EPage::Histogram
                                                 : EPage::Other;
}

void VeloraTestView::NoteScreenSize()
{
    // The desktop's default screen, as right - left + 1 by bottom - top + 1.
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    const QRect geometry = pScreen ? pScreen->geometry() : QRect();
    m_nScreenWidth = geometry.right() - geometry.left() + 1;
    m_nScreenHeight = geometry.bottom() - geometry.top() + 1;
}

// ---------------------------------------------------------------------------
// Getters of the worker thread

void VeloraTestView::GetAgcValue(uint32_t* pT, uint32_t* pR)
{
    if (pT)
        *pT = m_nTAgc.load();
    if (pR)
        *pR = m_nRAgc.load();
}

QString VeloraTestView::GetLogFilePath()
{
    QMutexLocker lock(&m_logPathMutex);
    return m_strLogFilePath;
}

// ---------------------------------------------------------------------------
// Source, buttons, tables

void VeloraTestView::UpdateSourceButtons()
{
    // Without the device mutex: a plug event may come during a long task.
    bool bEnabled = m_bSourcePresent.load();
    switch (m_pHandleWork ? m_pHandleWork->GetDeviceKind() : HandleWork::DeviceKind::None) {
    case HandleWork::DeviceKind::Replay:
        bEnabled = false;
        break;
    case HandleWork::DeviceKind::Live:
        if (m_pUsbPort && m_pUsbPort->GetDeviceMode() == 0)
            bEnabled = false; // a frame in its bootloader
        break;
    case HandleWork::DeviceKind::None:
        break;
    }
    ui->touchEnTestButton->setEnabled(bEnabled);
    ui->retestTestButton->setEnabled(bEnabled);
    ui->startTestButton->setEnabled(bEnabled);
    m_pRecordAction->setEnabled(bEnabled);
    ui->exitTestButton->setEnabled(true);
    UpdateSourceMark();
}

void VeloraTestView::UpdateSourceMark()
{
    const bool bReplay = m_bSourcePresent.load() && !m_strShownReplay.isEmpty() && m_pHandleWork
                         && m_pHandleWork->GetDeviceKind() == HandleWork::DeviceKind::Replay;
    const QString strFile = bReplay ? QFileInfo(m_strShownReplay).fileName() : QString();
    const QString strTitle =
        bReplay ? StationTitle() + QStringLiteral(" - ") + tr("Test log: %1").arg(strFile) : StationTitle();
    // Only a change: the result display passes here on every refresh.
    if (strTitle == m_strSourceTitle && m_pReplayMark->isVisibleTo(this) == bReplay)
        return;
    m_strSourceTitle = strTitle;
    setWindowTitle(strTitle);
    if (bReplay) {
        m_pReplayMark->setText(tr("Test log: %1").arg(BreakableAnywhere(strFile)));
        m_pReplayMark->setToolTip(CPlainText::ToolTip(QDir::toNativeSeparators(m_strShownReplay)));
    } else {
        m_pReplayMark->clear();
        m_pReplayMark->setToolTip(QString());
    }
    m_pReplayMark->setVisible(bReplay);
}

void VeloraTestView::ResetTable(QTableWidget* pTable, const QString& text)
{
    if (pTable == ui->testResult) {
        m_bResultShown = false;
        ++m_nResultBuild; // the LED rows still to come are not this table's
    }
    pTable->clear();
    pTable->clearSpans();
    pTable->setRowCount(1);
    pTable->setColumnCount(1);
    pTable->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    pTable->horizontalHeader()->setStretchLastSection(true);
    QTableWidgetItem* pItem = TableItem(text);
    pItem->setTextAlignment(Qt::AlignCenter);
    pItem->setFont(BoldFont(pTable->font()));
    pTable->setItem(0, 0, pItem);
}

void VeloraTestView::ResetInfoTables()
{
    ResetTable(ui->FirmwareInfo, tr("No Information..."));
    ResetTable(ui->testResult, tr("Unknown..."));
    m_pNoticeLabel->setText(tr("There is no device inserted, Please insert device!"));
    m_pNoticeLabel->show();
    m_bTestRunning = false;
    m_strScannedSN.clear();
}

void VeloraTestView::SetButtonsEnabled(bool bEnabled)
{
    for (QWidget* pButton : {static_cast<QWidget*>(ui->upgradeButton), static_cast<QWidget*>(ui->exitTestButton),
                             static_cast<QWidget*>(ui->calButton), static_cast<QWidget*>(ui->drawButton),
                             static_cast<QWidget*>(ui->touchEnTestButton),
                             static_cast<QWidget*>(ui->retestTestButton),
                             static_cast<QWidget*>(ui->startTestButton)})
        pButton->setEnabled(bEnabled);
}

void VeloraTestView::StartRefresh()
{
    m_pTimerThread->StartTimer(m_nInterval, Qt::CoarseTimer);
    ui->startTestButton->setChecked(true);
}

void VeloraTestView::StopRefresh()
{
    m_pTimerThread->StopTimer();
    ui->startTestButton->setChecked(false);
}

void VeloraTestView::UpdateSignalTestDeviceInfo(QList<QPair<QString, QString>> lstResult)
{
    if (!HasDevice())
        return;
    FillDeviceTable(lstResult, false);
}

void VeloraTestView::InitDeviceInfoTable()
{
    QList<QPair<QString, QString>> lstDevice;
    {
        QMutexLocker lock(DeviceMutex());
        CTouchBase* pDevice = Device();
        if (!pDevice)
            return;
        lstDevice = pDevice->GetPropertyList();
    }
    FillDeviceTable(lstDevice, true);
}

void VeloraTestView::FillDeviceTable(const QList<QPair<QString, QString>>& lstDevice, bool bContextMenu)
{
    const QList<QPair<QString, QString>> lstEnvironment =
        m_pHandleWork ? m_pHandleWork->GetEnvironmentList() : QList<QPair<QString, QString>>();
    QTableWidget* pTable = ui->FirmwareInfo;
    pTable->clear();
    pTable->clearSpans();
    pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pTable->setColumnCount(2);
    pTable->setRowCount(lstDevice.size() + lstEnvironment.size() + 2);
    pTable->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    pTable->horizontalHeader()->setStretchLastSection(true);
    pTable->horizontalHeader()->hide();
    pTable->verticalHeader()->hide();
    if (bContextMenu)
        pTable->setContextMenuPolicy(Qt::CustomContextMenu);

    int nRow = 0;
    auto heading = [&](const QString& text) {
        QTableWidgetItem* pItem = TableItem(text);
        pItem->setTextAlignment(Qt::AlignCenter);
        pItem->setFont(BoldFont(pTable->font()));
        pTable->setItem(nRow, 0, pItem);
        pTable->setSpan(nRow, 0, 1, 2);
        ++nRow;
    };
    // Names and values come from the frame or a log: shown as they stand.
    auto pairRow = [&](const QPair<QString, QString>& pair) {
        const QString name = pair.first + QLatin1Char(':');
        QTableWidgetItem* pName = TableItem(name);
        pName->setToolTip(CPlainText::ToolTip(name));
        QTableWidgetItem* pValue = TableItem(pair.second);
        pValue->setToolTip(CPlainText::ToolTip(pair.second));
        pTable->setItem(nRow, 0, pName);
        pTable->setItem(nRow, 1, pValue);
        ++nRow;
    };
    if (!lstDevice.isEmpty()) {
        heading(tr("Device Information:"));
        for (const auto& pair : lstDevice)
            pairRow(pair);
    }
    if (!lstEnvironment.isEmpty()) {
        heading(tr("Runtimes Information:"));
        for (const auto& pair : lstEnvironment)
            pairRow(pair);
    }
    // The names a third of the width, the values the rest: what is longer
    // wraps rather than widening its column past the table.
    FitTable(pTable, 0);
}

void VeloraTestView::FitTable(QTableWidget* pTable, int nFirstStretched)
{
    if (CTableRowFitter* pFitter = CTableRowFitter::Of(pTable))
        pFitter->Fit(nFirstStretched);
}

// ---------------------------------------------------------------------------
// Draw window and pages

void VeloraTestView::TouchPaintClose()
{
    if (!HasDevice())
        return;
    if (m_bTearingDown) {
        // A teardown closed it: the refresh stays as the teardown left it.
    } else if (isVisible()) {
        if (m_bRefreshRunning)
            StartRefresh();
        else
            StopRefresh();
    } else {
        qDebug().noquote() << "TouchPaintClose" << ":VeloraTestView is inVisible";
    }
    RestoreCurrentTab();
}

void VeloraTestView::OpenTouchPaintWindow()
{
    m_pTouchPaintView->showFullScreen();
}

void VeloraTestView::SetTouchEnableCheck(bool value)
{
    ui->touchEnTestButton->setChecked(value);
}

void VeloraTestView::SelectTab(int index)
{
    NotePage();
    if (index == 0) {
        ui->rectButton->setChecked(true);
        Settings()->SetBool(QStringLiteral("TouchPannelChecked"), ui->rectButton->isChecked());
    } else if (index == 1) {
        ui->histogramButton->setChecked(true);
        Settings()->SetBool(QStringLiteral("TouchHistogramChecked"), ui->histogramButton->isChecked());
    }
}

// ---------------------------------------------------------------------------
// Buttons

void VeloraTestView::on_exitTestButton_clicked()
{
    m_nNextWorkType = MAINWORK;
    close();
}

void VeloraTestView::on_calButton_clicked()
{
    m_nNextWorkType = CALIBRATEWORK;
    close();
}

void VeloraTestView::on_upgradeButton_clicked()
{
    m_nNextWorkType = UPGRADEWORK;
    close();
}

void VeloraTestView::on_startTestButton_clicked(bool checked)
{
    if (!HasDevice()) {
        // Nothing to refresh: the button keeps showing the timer's state.
        ui->startTestButton->setChecked(!checked);
        return;
    }
    if (checked)
        m_pTimerThread->StartTimer(m_nInterval, Qt::CoarseTimer);
    else
        m_pTimerThread->StopTimer();
    m_bRefreshRunning = checked;
}

void VeloraTestView::on_drawButton_clicked()
{
    if (m_pTouchPaintView->isVisible()) {
        m_pTouchPaintView->activateWindow();
        m_pTouchPaintView->setFocus();
        return;
    }
    StopRefresh();
    Post(QStringLiteral("EnableTouch"));
    m_pTouchPaintView->showFullScreen();
}

void VeloraTestView::on_signalButton_clicked()
{
    ui->touchTabWidget->setCurrentWidget(ui->signalTab);
    Settings()->SetBool(QStringLiteral("TouchSignalChecked"), ui->signalButton->isChecked());
}

void VeloraTestView::on_rectButton_clicked()
{
    ui->touchTabWidget->setCurrentWidget(ui->pannelTab);
    Settings()->SetBool(QStringLiteral("TouchPannelChecked"), ui->rectButton->isChecked());
}

void VeloraTestView::on_histogramButton_clicked()
{
    ui->touchTabWidget->setCurrentWidget(ui->HistogramTab);
    Settings()->SetBool(QStringLiteral("TouchHistogramChecked"), ui->histogramButton->isChecked());
}

void VeloraTestView::on_retestTestButton_clicked()
{
    if (m_pRecordAction->isChecked()) {
        const SCurrent before = Current();
        const int nAnswer = QMessageBox::warning(
            this, tr("Warning"), tr("Retesting will clear the data recorded, Do you want to continue?"),
            QMessageBox::Yes | QMessageBox::No);
        if (!StillCurrent(before, "on_retestTestButton_clicked", "retest question") || nAnswer != QMessageBox::Yes)
            return;
    }
    PostForAnswer(QStringLiteral("ReTest"));
}

void VeloraTestView::on_touchEnTestButton_clicked(bool checked)
{
    Post(checked ? QStringLiteral("DisableTouch") : QStringLiteral("EnableTouch"));
    m_bTouchEnabled = !checked;
}

// ---------------------------------------------------------------------------
// AGC

void VeloraTestView::on_tAgcSpinBox_valueChanged(int arg1)
{
    m_nTAgc = uint32_t(arg1);
    Post(QStringLiteral("SetTAgc"));
}

void VeloraTestView::on_rAgcSpinBox_valueChanged(int arg1)
{
    m_nRAgc = uint32_t(arg1);
    Post(QStringLiteral("SetRAgc"));
}

void VeloraTestView::InitAgcRangeFinished(bool bSuccess)
{
    ui->agcSetWidget->setVisible(bSuccess);
    if (!bSuccess)
        return;
    UpdateAgcRanges();
    m_nTAgc = uint32_t(ui->tAgcSpinBox->value());
    m_nRAgc = uint32_t(ui->rAgcSpinBox->value());
    Post(QStringLiteral("SetR&TAgc"));
}

void VeloraTestView::UpdateAgcRanges()
{
    QString tText;
    QString rText;
    uint32_t nTRange = 0;
    uint32_t nRRange = 0;
    {
        QMutexLocker lock(DeviceMutex());
        auto* pDevice = dynamic_cast<CTouchHardware*>(Device());
        if (!pDevice)
            return;
        nTRange = pDevice->GetTAgcRangeText(tText);
        nRRange = pDevice->GetRAgcRangeText(rText);
    }
    // Minimum in the low 16 bits, maximum in the high 16 bits. Setting the
    // range is no choice of the operator's: "SetR&TAgc" follows with both.
    auto apply = [](QLabel* pLabel, QSpinBox* pSpinBox, std::atomic<uint32_t>* pValue, const QString& text,
                    uint32_t nRange) {
        const int nMin = int(nRange & 0xFFFFu);
        const int nMax = int(nRange >> 16);
        CPlainText::SetLabel(pLabel, text + QLatin1Char(':'));
        {
            const QSignalBlocker blocker(pSpinBox);
            pSpinBox->setRange(nMin, nMax);
            pSpinBox->setValue(nMin);
        }
        *pValue = uint32_t(nMin);
        const bool bEnabled = nMax > nMin;
        pLabel->setEnabled(bEnabled);
        pSpinBox->setEnabled(bEnabled);
    };
    apply(ui->tAgcLabel, ui->tAgcSpinBox, &m_nTAgc, tText, nTRange);
    apply(ui->rAgcLabel, ui->rAgcSpinBox, &m_nRAgc, rText, nRRange);
}

void VeloraTestView::initAgcResponse()
{
    Post(QStringLiteral("InitAgc"));
}

void VeloraTestView::setAgcResponse(bool bChecked)
{
    if (bChecked) {
        Post(QStringLiteral("InitAgcRange"));
        return;
    }
    ui->agcSetWidget->hide();
    Post(QStringLiteral("ResetAgc"));
}

void VeloraTestView::openReverseResponse(bool bChecked)
{
    Post(bChecked ? QStringLiteral("OpenReverse") : QStringLiteral("CloseReverse"));
}

void VeloraTestView::ShowReverseData(bool)
{
}

// ---------------------------------------------------------------------------
// Menu and dialogs

void VeloraTestView::setUpResponse()
{
    // A run that began or ended while the settings were open judges, and
    // asks for its number, by the new settings itself.
    const SCurrent before = Current();
    m_pSetUpDialog->exec();
    if (!StillCurrent(before, "setUpResponse", "set-up dialog"))
        return;
    if (m_bSourcePresent.load())
        PostForAnswer(QStringLiteral("UpdateTestResult"));
    else if (Settings()->GetBool(QStringLiteral("SupportSNCheck"), true))
        ScanSerialNumber();
}

bool VeloraTestView::ScanSerialNumber()
{
    if (!Settings()->GetBool(QStringLiteral("SupportSNCheck"), true))
        return true;
    // Cancelled: the empty text. A run that began meanwhile asked for its
    // own number: this answer is not its.
    const SCurrent before = Current();
    const QString answer = QInputDialog::getText(nullptr, tr("Scan serial number..."),
                                                 tr("Please scan or input product serial number."),
                                                 QLineEdit::Normal, QString());
    if (!StillCurrent(before, "ScanSerialNumber", "serial number prompt"))
        return false;
    m_strScannedSN = answer;
    return true;
}

void VeloraTestView::modifySnResponse()
{
    const Qt::WindowFlags flags =
        windowFlags() & ~(Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint);
    // The number is meant for the frame current now: a frame swapped in
    // while either prompt is open never gets it, and the operator is told.
    const SCurrent before = Current();
    QString answer;
    // A number the frame cannot hold as typed is refused before anything is
    // sent, and asked for again.
    for (;;) {
        answer = QInputDialog::getText(nullptr, tr("Input serial number..."), tr("Please input correct serial number..."),
                                       QLineEdit::Normal, answer, nullptr, flags);
        if (!StillCurrent(before, "modifySnResponse", "serial number input")) {
            TellSerialNumberNotWritten(answer, before);
            return;
        }
        // Nothing typed, or only blanks: no serial number to write.
        if (answer.trimmed().isEmpty())
            return;
        const QString why = WhyFrameCannotHold(answer);
        if (why.isEmpty())
            break;
        qInfo().noquote() << "modifySnResponse" << ": the serial number" << answer << "is refused:" << why;
        QMessageBox::warning(this, tr("Warning"), why, QMessageBox::Ok);
        if (!StillCurrent(before, "modifySnResponse", "refusal box"))
            return;
    }
    const QString question = tr("Is the serial number \"") + answer + tr("\" correct?");
    const int nAnswer = CPlainText::Ask(this, QMessageBox::Warning, QStringLiteral("Check serial number again..."),
                                        question, QMessageBox::Yes | QMessageBox::No);
    const bool bStill = StillCurrent(before, "modifySnResponse", "serial number question");
    if (nAnswer != QMessageBox::Yes)
        return;
    if (!bStill) {
        TellSerialNumberNotWritten(answer, before);
        return;
    }
    qDebug().noquote() << QStringLiteral("modifySnResponse") + QStringLiteral(": ") + answer;
    {
        // The device object may have changed while the dialogs were open.
        QMutexLocker lock(DeviceMutex());
        CTouchBase* pDevice = Device();
        if (!pDevice) {
            qDebug().noquote() << "modifySnResponse" << ": no device, the serial number is not written";
            lock.unlock();
            TellSerialNumberNotWritten(answer, before);
            return;
        }
        pDevice->SetProperty(DeviceInfoKey::kBatchInfo, answer);
    }
    Post(QStringLiteral("SaveBatchInfo"));
}

QString VeloraTestView::WhyFrameCannotHold(const QString& number)
{
    const int nAt = HardwareInterface::FirstUnheldBatchChar(number);
    if (nAt < 0)
        return QString();
    if (number.size() > HardwareInterface::kBatchInfoChars)
        return tr("The serial number cannot be written: the frame holds at most %1 characters, this one has %2.")
            .arg(HardwareInterface::kBatchInfoChars)
            .arg(number.size());
    // The whole character, also one beyond the 16-bit codes.
    const int nLength = number.at(nAt).isHighSurrogate() && nAt + 1 < number.size() ? 2 : 1;
    return tr("The serial number cannot be written: the frame cannot hold the character \"%1\".")
        .arg(number.mid(nAt, nLength));
}

void VeloraTestView::TellSerialNumberNotWritten(const QString& number, const SCurrent& before)
{
    // Nothing typed: nothing was meant to be written.
    if (number.trimmed().isEmpty())
        return;
    const bool bAttached = m_pHandleWork && m_pHandleWork->GetDeviceKind() == HandleWork::DeviceKind::Live
                           && Current().bSource;
    const EChange change = ChangeSince(before);
    QString why;
    if (!bAttached)
        why = tr("The serial number \"%1\" was not written: no frame is attached.");
    else if (change == EChange::Frame || change == EChange::RunAndFrame)
        why = tr("The serial number \"%1\" was not written: the frame changed while it was entered.");
    else
        why = tr("The serial number \"%1\" was not written: the run changed while it was entered.");
    QMessageBox::warning(this, tr("Warning"), why.arg(number), QMessageBox::Ok);
}

void VeloraTestView::ShowComLostError()
{
    const SCurrent before = Current();
    QMessageBox::warning(this, tr("Error!"),
                         tr("The uart interface of this device should be tested, but the com is lost, Please config it!"),
                         QMessageBox::Ok);
    if (StillCurrent(before, "ShowComLostError", "box"))
        setUpResponse();
}

void VeloraTestView::prtSrcResponse()
{
    CScreenshot::Save(grab(rect()));
}

// ---------------------------------------------------------------------------
// Keys and closing

void VeloraTestView::keyPressEvent(QKeyEvent* event)
{
    // Only Escape; every other key stops here.
    event->accept();
    if (event->key() != Qt::Key_Escape)
        return;
    if (!m_bTestRunning) {
        m_nNextWorkType = MAINWORK;
        close();
        return;
    }
    QMessageBox::warning(this, tr("Warning"), tr("A test operation is in progress, please wait for the test to complete!"),
                         QMessageBox::Ok);
}

void VeloraTestView::closeEvent(QCloseEvent* event)
{
    if (m_bTestRunning) {
        QMessageBox::warning(this, tr("Warning"),
                             tr("A test operation is in progress, please wait for the test to complete!"),
                             QMessageBox::Ok);
        event->ignore();
        return;
    }
    emit emitSignalTestStatus(false);
    StopTest();
    emit emitWorkType(eWorkType(m_nNextWorkType));
    m_nNextWorkType = MAINWORK;
    event->accept();
}

void VeloraTestView::done(int result)
{
    // QDialog would only hide the view, past the close rule, and leave the
    // main panel disabled.
    setResult(result);
    close();
}

bool VeloraTestView::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    // Each table's first column stays a third of its width, and its rows fit
    // their wrapped texts at the new width (the viewport's size is final
    // when it is resized, with or without a scroll bar beside it).
    if (pEvent->type() == QEvent::Resize) {
        if (pWatched == ui->FirmwareInfo->viewport())
            FitTable(ui->FirmwareInfo, 0);
        else if (pWatched == ui->testResult->viewport())
            FitTable(ui->testResult, m_nFirstLedRow);
    }
    return QDialog::eventFilter(pWatched, pEvent);
}

void VeloraTestView::StopTest()
{
    ++m_nRunNumber;
    m_bRefreshRunning = false;
    StopRefresh();
    ResetTestView();
    // A run open on a live frame: its LED check goes off before the view closes.
    const bool bRunOpen = !m_testMutex.tryLock();
    if (m_bSourcePresent.load() && bRunOpen && m_pHandleWork
        && m_pHandleWork->GetDeviceKind() == HandleWork::DeviceKind::Live)
        Post(QStringLiteral("CheckLedErrorOff"), Qt::BlockingQueuedConnection);
    m_testMutex.unlock();
}
