#include "veloratestview.h"
#include "ui_veloratestview.h"

#include "comportusb.h"
#include "customersettings.h"
#include "deviceinfokey.h"
#include "devicemode.h"
#include "firmwarechecksettings.h"
#include "handlework.h"
#include "localclock.h"
#include "plaintext.h"
#include "recorddialog.h"
#include "screenshot.h"
#include "setupdialog.h"
#include "signalhistogramview.h"
#include "signalkind.h"
#include "snchecksumsettings.h"
#include "stationclock.h"
#include "stationinfo.h"
#include "tablerowfitter.h"
#include "testrecord.h"
#include "timerthread.h"
#include "touchbase.h"
#include "touchhardware.h"
#include "touchlogfile.h"
#include "touchpaintview.h"
#include "touchpanelview.h"
#include "touchsignalview.h"
#include "uploadservice.h"
#include "wholefile.h"
#include "wrappingitemdelegate.h"

#include <QAction>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
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
#include <QRegularExpression>
#include <QScreen>
#include <QSignalBlocker>
#include <QTableWidget>

namespace {
const char* const kProblemMapType = "QMap<QString, QList<QString>>";
constexpr uint32_t kInterfaceFailed = 0x80000001;
// Bits of the hardware record's interface type.
constexpr int32_t kInterfaceSecondUsb = 0x04;
constexpr int32_t kInterfaceSerial = 0x10;

CCustomerSettings* Settings()
{
    return CCustomerSettings::GetInstance();
}

QString StationTitle()
{
    return QString::fromLatin1(StationInfo::kAppName) + QString::fromLatin1(StationInfo::kAppVersion);
}

QFont BoldFont(QFont font)
{
    font.setWeight(QFont::Bold); // 75
    return font;
}

// The code and message of a failing "Signal Test" (left as they are when
// the test core names no fault): a replay's as its run gave them, however far
// it has stepped since; a live frame's from its current readings. The caller
// holds the device mutex.
void SignalVerdictOf(CTouchBase* pDevice, QString& strCode, QString& strMessage)
{
    if (auto* pReplay = dynamic_cast<CTouchLogfile*>(pDevice)) {
        QString strKeptCode;
        QString strKeptMessage;
        if (pReplay->GetRunVerdict(strKeptCode, strKeptMessage)) {
            if (!strKeptCode.isEmpty()) {
                strCode = strKeptCode;
                strMessage = strKeptMessage;
            }
            return;
        }
    }
    pDevice->GetTestResultCode(strCode, strMessage);
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

QTableWidgetItem* TableItem(const QString& text)
{
    auto* pItem = new QTableWidgetItem(text);
    pItem->setFlags(pItem->flags() & ~Qt::ItemIsEditable);
    return pItem;
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
    if (pTable == ui->testResult)
        m_bResultShown = false;
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
// Resets and the views of a run

void VeloraTestView::RemoveViews()
{
    {
        QMutexLocker lock(&m_panelMutex);
        if (m_pPanelView) {
            ui->touchPannelVerticalLayout->removeWidget(m_pPanelView);
            delete m_pPanelView;
            m_pPanelView = nullptr;
        }
    }
    QMutexLocker lock(&m_histogramMutex);
    for (SignalHistogramView* pView : qAsConst(m_mapHistogramViews)) {
        ui->touchHistogramVerticalLayout->removeWidget(pView);
        delete pView;
    }
    m_mapHistogramViews.clear();
}

void VeloraTestView::ExitActiveDrawWindow()
{
    // Only teardowns close it: its closing restarts no refresh.
    if (!m_pTouchPaintView->isActiveWindow())
        return;
    m_bTearingDown = true;
    m_pTouchPaintView->ExitResponse();
    m_bTearingDown = false;
}

void VeloraTestView::DeInitTestUi()
{
    qInfo().noquote() << "DeInitTestUi...";
    ++m_nRunNumber;
    m_bRefreshRunning = false;
    ExitActiveDrawWindow();
    StopRefresh();
    RemoveViews();
    ui->drawButton->setEnabled(true);
    UpdateSourceButtons();
    ResetInfoTables();
    // Released whether or not a run held it (only this thread takes it).
    m_testMutex.tryLock();
    m_testMutex.unlock();
}

void VeloraTestView::ResetTestView()
{
    RemoveViews();
    ResetTable(ui->FirmwareInfo, tr("No Information..."));
    ResetTable(ui->testResult, tr("Unknown..."));
    m_pNoticeLabel->setText(tr("There is no device inserted, Please insert device!"));
    m_pNoticeLabel->show();
    ExitActiveDrawWindow();
    ui->drawButton->setEnabled(true);
    UpdateSourceMark();
}

bool VeloraTestView::InitPanelView()
{
    if (!m_pHandleWork)
        return false;
    QMutexLocker deviceLock(DeviceMutex());
    CTouchBase* pDevice = Device();
    if (!pDevice)
        return false;
    QMutexLocker lock(&m_panelMutex);
    if (m_pPanelView) {
        ui->touchPannelVerticalLayout->removeWidget(m_pPanelView);
        delete m_pPanelView;
    }
    // The diagram copies what it needs of the record.
    m_pPanelView = new CTouchPanelView(&pDevice->GetHardwareInfo(), this);
    ui->touchPannelVerticalLayout->addWidget(m_pPanelView);
    return true;
}

bool VeloraTestView::InitHistogramViews()
{
    if (!m_bSourcePresent.load() || !m_pHandleWork)
        return false;
    QMutexLocker deviceLock(DeviceMutex());
    CTouchBase* pDevice = Device();
    if (!pDevice)
        return false;
    QMutexLocker lock(&m_histogramMutex);
    for (SignalHistogramView* pView : qAsConst(m_mapHistogramViews)) {
        ui->touchHistogramVerticalLayout->removeWidget(pView);
        delete pView;
    }
    m_mapHistogramViews.clear();
    QMap<QString, CAxisSignalInfo>& mapAxes = pDevice->GetAxisSignalMap();
    for (auto it = mapAxes.begin(); it != mapAxes.end(); ++it) {
        // The view reads the record only while it builds its charts.
        auto* pView = new SignalHistogramView(this, &it.value(), it.key());
        // Its charts squeeze rather than push the view past a small screen.
        pView->setMinimumSize(1, 1);
        m_mapHistogramViews.insert(it.key(), pView);
        ui->touchHistogramVerticalLayout->addWidget(pView);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Plug events and raw reports

void VeloraTestView::InsertUsbDeviceForTest(bool value)
{
    qDebug().noquote() << "InsertUsbDeviceForTest" << ": value = " + QString::fromLatin1(value ? "true" : "false");
    if (m_pHandleWork && m_pHandleWork->GetDeviceKind() == HandleWork::DeviceKind::Live)
        m_bSourcePresent = value;
    if (!value && m_pUsbPort && m_pUsbPort->GetDevCount() == 0) {
        // The last frame has gone: the next one starts with every contact up.
        QMutexLocker lock(&m_intakeMutex);
        m_intake.Reset();
    }
    if (!isVisible())
        return;
    const HandleWork::DeviceKind kind = m_pHandleWork ? m_pHandleWork->GetDeviceKind() : HandleWork::DeviceKind::None;
    if (value) {
        if (kind == HandleWork::DeviceKind::None) {
            qDebug().noquote() << "InsertUsbDeviceForTest" << ": device is null";
            return;
        }
        if (m_pUsbPort && m_pUsbPort->GetDeviceMode() == 1) {
            qDebug().noquote() << "InsertUsbDeviceForTest" << ": StartTest";
            DeInitTestUi();
            StartTest();
            return;
        }
        if (kind == HandleWork::DeviceKind::Replay)
            return;
        DeInitTestUi();
        m_pNoticeLabel->setText(tr("Touch In Bootloader,Please upgrade the firmware..."));
        m_pNoticeLabel->show();
        return;
    }
    const int nCount = m_pUsbPort ? int(m_pUsbPort->GetDevCount()) : 0;
    if (nCount > 0 && kind == HandleWork::DeviceKind::Live) {
        qDebug().noquote() << "InsertUsbDeviceForTest" << ": Count = " + QString::number(nCount) + " run DeInitTestUi";
        // The port tells a removal only when the current frame left: what
        // is being recorded is that frame's, and the device object still
        // holds it until the frame that stays arrives.
        if (m_pRecordAction->isChecked())
            EndRecordingOfLeftFrame();
        DeInitTestUi();
        return;
    }
    if (kind != HandleWork::DeviceKind::Live)
        return;
    // A running recording ends and is saved first (once). Its save dialog
    // runs an event loop, in which a frame can arrive and open the next run:
    // that run is not this handling's to end.
    const SCurrent before = Current();
    if (m_pRecordAction->isChecked())
        ExitRecordWork();
    if (!StillCurrent(before, "InsertUsbDeviceForTest", "save dialog of the recording"))
        return;
    EndLiveRun();
}

void VeloraTestView::EndLiveRun()
{
    StopTest();
    UpdateSourceButtons();
    ResetInfoTables();
    emit emitSignalTestStatus(false);
}

bool VeloraTestView::IsLiveRunOpen()
{
    if (!m_pHandleWork || m_pHandleWork->GetDeviceKind() != HandleWork::DeviceKind::Live)
        return false;
    // Only this thread takes the test mutex: a lock taken here was free.
    if (!m_testMutex.tryLock())
        return true;
    m_testMutex.unlock();
    return false;
}

VeloraTestView::SCurrent VeloraTestView::Current() const
{
    SCurrent current;
    current.nRun = m_nRunNumber;
    current.nDevice = m_pHandleWork ? m_pHandleWork->GetDeviceGeneration() : 0;
    current.bSource = m_bSourcePresent.load();
    return current;
}

bool VeloraTestView::StillCurrent(const SCurrent& before, const char* szWho, const char* szLoop) const
{
    const SCurrent now = Current();
    const bool bRun = now.nRun == before.nRun;
    const bool bFrame = now.nDevice == before.nDevice && now.bSource == before.bSource;
    if (bRun && bFrame)
        return true;
    const char* szWhat = !bRun && !bFrame ? "the run and the frame changed" : !bRun ? "the run changed"
                                                                                   : "the frame changed";
    qInfo().noquote() << szWho << QStringLiteral(": %1 during the %2, what it was for is dropped")
                                      .arg(QLatin1String(szWhat), QLatin1String(szLoop));
    return false;
}

bool VeloraTestView::PostForAnswer(const QString& task)
{
    if (!Post(task))
        return false;
    // No answer is delivered before this returns: answers come through the
    // event loop.
    m_answersDue.append(SAnswerDue{task, m_nRunNumber});
    return true;
}

bool VeloraTestView::IsAnswerOfOpenRun(const char* szAnswer, const QStringList& tasks)
{
    for (auto it = m_answersDue.begin(); it != m_answersDue.end(); ++it) {
        if (!tasks.contains(it->task))
            continue;
        const SAnswerDue due = *it;
        m_answersDue.erase(it);
        if (due.nRun == m_nRunNumber)
            return true;
        qInfo().noquote() << szAnswer
                          << QStringLiteral(": the answer to %1 belongs to a run that is no longer open, it is dropped")
                                 .arg(due.task);
        return false;
    }
    return true;
}

void VeloraTestView::ProcessTouchData(TouchData data)
{
    // Any frame's reader thread; one report at a time across them all.
    QMutexLocker lock(&m_intakeMutex);
    if (m_bIntakeClosed)
        return;
    const CTouchIntake::SOutput out = m_intake.Feed(data);
    if (out.bInject && m_pUsbPort)
        m_pUsbPort->InjectTouch(out.pPoints, out.nCount, m_nScreenWidth.load(), m_nScreenHeight.load());
    if (out.eVerdict != CTouchIntake::EVerdict::None)
        emit ShowTouchTestResult(out.eVerdict == CTouchIntake::EVerdict::Pass);
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
    // while either prompt is open never gets it.
    const SCurrent before = Current();
    const QString answer = QInputDialog::getText(nullptr, tr("Input serial number..."),
                                                 tr("Please input correct serial number..."), QLineEdit::Normal,
                                                 QString(), nullptr, flags);
    if (!StillCurrent(before, "modifySnResponse", "serial number input"))
        return;
    // Nothing typed, or only blanks: no serial number to write.
    if (answer.trimmed().isEmpty())
        return;
    const QString question = tr("Is the serial number \"") + answer + tr("\" correct?");
    const int nAnswer = CPlainText::Ask(this, QMessageBox::Warning, QStringLiteral("Check serial number again..."),
                                        question, QMessageBox::Yes | QMessageBox::No);
    if (!StillCurrent(before, "modifySnResponse", "serial number question") || nAnswer != QMessageBox::Yes)
        return;
    qDebug().noquote() << QStringLiteral("modifySnResponse") + QStringLiteral(": ") + answer;
    {
        // The device object may have changed while the dialogs were open.
        QMutexLocker lock(DeviceMutex());
        CTouchBase* pDevice = Device();
        if (!pDevice) {
            qDebug().noquote() << "modifySnResponse" << ": no device, the serial number is not written";
            return;
        }
        pDevice->SetProperty(DeviceInfoKey::kBatchInfo, answer);
    }
    Post(QStringLiteral("SaveBatchInfo"));
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

// ---------------------------------------------------------------------------
// Feeds of the panel diagram and the histograms

bool VeloraTestView::UpdatePanelView()
{
    if (!m_pHandleWork)
        return false;
    QMutexLocker deviceLock(DeviceMutex());
    QMutexLocker lock(&m_panelMutex);
    CTouchBase* pDevice = Device();
    if (!pDevice || !m_pPanelView)
        return false;
    ProblemMap mapProblems;
    uint32_t nFrameNumber = 0;
    if (pDevice->GetErrors(mapProblems, &nFrameNumber) >= 0) {
        // The diagram does not read the frame number.
        uint32_t* pNoFrame = nullptr;
        WarnIfNotInvoked(QMetaObject::invokeMethod(m_pPanelView, "UpdateTouchPanel", Qt::AutoConnection,
                                                   QGenericArgument(kProblemMapType, &mapProblems),
                                                   Q_ARG(uint32_t*, pNoFrame)),
                         "UpdateTouchPanel");
    }
    return true;
}

bool VeloraTestView::RefreshPanelView()
{
    if (!m_pHandleWork)
        return false;
    QMutexLocker deviceLock(DeviceMutex());
    QMutexLocker lock(&m_panelMutex);
    CTouchBase* pDevice = Device();
    if (!pDevice || !m_pPanelView)
        return false;
    ProblemMap mapProblems;
    uint32_t nFrameNumber = 0;
    if (pDevice->AnalyseRealTimeSignal(mapProblems, &nFrameNumber) >= 0)
        PutDiagram(mapProblems);
    RealTimeVerdict(pDevice);
    return true;
}

void VeloraTestView::RealTimeVerdict(CTouchBase* pDevice)
{
    if (!Settings()->GetBool(QStringLiteral("SupportRealTimeTest"), true) || !pDevice->IsSupportRealTimeTest()
        || !m_bSourcePresent.load())
        return;
    pDevice->ResetSignalErrors();
    pDevice->AnalyseAdc();
    // Handed over, never shown here: the result display takes the device
    // mutex, which the caller holds.
    PutVerdict(pDevice, pDevice->GetSignalErrors());
}

bool VeloraTestView::UpdateHistogramView()
{
    if (!m_pHandleWork)
        return false;
    QMutexLocker deviceLock(DeviceMutex());
    CTouchBase* pDevice = Device();
    if (!pDevice)
        return false;
    QMutexLocker lock(&m_histogramMutex);
    ForEachHistogramKey(pDevice, [pDevice](const QString& axis, const QString& dir, SignalHistogramView* pView) {
        SignalFrame lstSignal;
        if (pDevice->GetLatestSignal(axis, dir, SignalKind::kAdc, lstSignal) > 0)
            pView->UpdateHistogramData(axis + QLatin1Char('-') + dir, lstSignal);
    });
    for (auto it = m_mapHistogramViews.cbegin(); it != m_mapHistogramViews.cend(); ++it) {
        WarnIfNotInvoked(QMetaObject::invokeMethod(it.value(), "update", Qt::AutoConnection), "update");
    }
    return true;
}

void VeloraTestView::ForEachHistogramKey(
    CTouchBase* pDevice, const std::function<void(const QString&, const QString&, SignalHistogramView*)>& fn)
{
    const QMap<QString, CAxisSignalInfo>& mapAxes = pDevice->GetAxisSignalMap();
    for (auto it = m_mapHistogramViews.cbegin(); it != m_mapHistogramViews.cend(); ++it) {
        const auto axis = mapAxes.constFind(it.key());
        // The views are built from the same object's axes; one that is not
        // there (any more) is left as it is.
        if (axis == mapAxes.cend())
            continue;
        for (const QString& dir : axis.value().GetDirMap().keys())
            fn(it.key(), dir, it.value());
    }
}

bool VeloraTestView::UpdateRealTimeData()
{
    UpdatePanelView();
    UpdateHistogramView();
    return true;
}

bool VeloraTestView::UpdateCurveViews(const QMap<QString, CTouchSignalView*>& mapViews)
{
    return FeedCurveViews(mapViews, false);
}

bool VeloraTestView::UpdateCurveViewsRealTime(const QMap<QString, CTouchSignalView*>& mapViews)
{
    return FeedCurveViews(mapViews, true);
}

bool VeloraTestView::FeedCurveViews(const QMap<QString, CTouchSignalView*>& mapViews, bool bReadFrame)
{
    if (!m_pHandleWork)
        return false;
    QMutexLocker deviceLock(DeviceMutex());
    CTouchBase* pDevice = Device();
    if (!pDevice)
        return false;
    for (auto it = mapViews.cbegin(); it != mapViews.cend(); ++it) {
        if (!it.value())
            continue;
        for (const auto& key : it.value()->GetCurveKeys()) {
            SignalFrame lstSignal;
            // Read from the frame now, or the latest readings it gave.
            const int32_t nRead = bReadFrame ? pDevice->ReadAxisSignal(it.key(), key.first, key.second, lstSignal)
                                             : pDevice->GetLatestSignal(it.key(), key.first, key.second, lstSignal);
            if (nRead > 0)
                it.value()->UpdateCurveSignal(key.first, key.second, lstSignal);
        }
        WarnIfNotInvoked(QMetaObject::invokeMethod(it.value(), "replot", Qt::AutoConnection), "replot");
    }
    if (bReadFrame)
        RealTimeVerdict(pDevice);
    return true;
}

// ---------------------------------------------------------------------------
// Interface tests (not wired)

bool VeloraTestView::CheckInterfaceTests()
{
    if (!m_pHandleWork)
        return false;
    bool bSerial = false;
    bool bSecondUsb = false;
    QPair<QString, QString> stored;
    {
        QMutexLocker lock(DeviceMutex());
        CTouchBase* pDevice = Device();
        if (!pDevice)
            return false;
        const int32_t nInterfaces = pDevice->GetHardwareInfo().GetInterfaceType();
        bSerial = pDevice->GetEnableTestUart() && Settings()->GetBool(QStringLiteral("ComTestEn"), true)
                  && (nInterfaces & kInterfaceSerial);
        bSecondUsb = pDevice->GetEnableTestDoubleUsb() && Settings()->GetBool(QStringLiteral("D-UsbTestEn"), true)
                     && (nInterfaces & kInterfaceSecondUsb);
        stored = pDevice->GetInterfaceTestResult();
    }
    // An interface under test passes when the device object's interface
    // result names it with "PASS".
    auto judge = [&stored](bool bTested, const char* szName) -> uint32_t {
        if (!bTested)
            return 0;
        return stored.first == QLatin1String(szName) && stored.second == QLatin1String("PASS") ? 0 : kInterfaceFailed;
    };
    if (bSerial)
        Post(QStringLiteral("ComTestEn"));
    m_nComTestResult = judge(bSerial, "Com Test");
    if (bSecondUsb)
        Post(QStringLiteral("D-UsbTestEn"));
    m_nDUsbTestResult = judge(bSecondUsb, "D-Usb Test");
    return true;
}

bool VeloraTestView::ShowInterfaceTestResult(QMap<QString, QString> mapTestResult)
{
    if (!m_pHandleWork)
        return false;
    QString strCode;
    QString strMessage;
    bool bSerial = false;
    bool bSecondUsb = false;
    bool bLive = false;
    {
        QMutexLocker lock(DeviceMutex());
        CTouchBase* pDevice = Device();
        if (!pDevice)
            return false;
        SignalVerdictOf(pDevice, strCode, strMessage);
        const int32_t nInterfaces = pDevice->GetHardwareInfo().GetInterfaceType();
        bSecondUsb = pDevice->GetEnableTestDoubleUsb() && Settings()->GetBool(QStringLiteral("D-UsbTestEn"), true)
                     && (nInterfaces & kInterfaceSecondUsb);
        bSerial = pDevice->GetEnableTestUart() && Settings()->GetBool(QStringLiteral("ComTestEn"), true)
                  && (nInterfaces & kInterfaceSerial);
        bLive = dynamic_cast<CTouchHardware*>(pDevice) != nullptr;
    }

    struct SRow
    {
        QString name;
        bool bPass;
        QString verdict;
    };
    QList<SRow> rows;
    const bool bSignalPass = mapTestResult.isEmpty() && strCode.isEmpty();
    rows << SRow{QStringLiteral("Signal Test"), bSignalPass,
                 bSignalPass ? QStringLiteral("PASS") : strCode.isEmpty() ? QStringLiteral("NG") : strCode};
    if (bSecondUsb)
        rows << SRow{QStringLiteral("D-Usb Test"), m_nDUsbTestResult == 0,
                     m_nDUsbTestResult == 0 ? QStringLiteral("PASS") : QStringLiteral("NG")};
    if (bSerial)
        rows << SRow{QStringLiteral("Com Test"), m_nComTestResult == 0,
                     m_nComTestResult == 0 ? QStringLiteral("PASS") : QStringLiteral("NG")};

    QTableWidget* pTable = ui->testResult;
    pTable->clear();
    pTable->clearSpans();
    pTable->setRowCount(0);
    pTable->setColumnCount(2);
    pTable->setColumnWidth(0, pTable->width() / 3);
    auto scaled = [this](QFont font, double dFactor) {
        font.setPointSizeF(font.pointSizeF() * dFactor * m_dFontScale);
        font.setWeight(QFont::Bold);
        return font;
    };
    auto colour = [](bool bPass) { return bPass ? QColor(Qt::darkGreen) : QColor(Qt::red); };
    bool bAllPass = true;
    for (const SRow& row : qAsConst(rows)) {
        bAllPass = bAllPass && row.bPass;
        const int nRow = pTable->rowCount();
        pTable->insertRow(nRow);
        QTableWidgetItem* pName = TableItem(row.name);
        pName->setTextAlignment(Qt::AlignCenter);
        pName->setFont(scaled(pName->font(), 1.5));
        pName->setForeground(colour(row.bPass));
        pName->setToolTip(CPlainText::ToolTip(row.name));
        QTableWidgetItem* pVerdict = TableItem(row.verdict);
        pVerdict->setTextAlignment(Qt::AlignCenter);
        pVerdict->setFont(scaled(pVerdict->font(), 4));
        pVerdict->setForeground(Qt::white);
        pVerdict->setBackground(colour(row.bPass));
        pTable->setItem(nRow, 0, pName);
        pTable->setItem(nRow, 1, pVerdict);
    }
    const int nLast = pTable->rowCount();
    pTable->insertRow(nLast);
    QTableWidgetItem* pOverall = TableItem(bAllPass ? QStringLiteral("PASS") : QStringLiteral("NG"));
    pOverall->setTextAlignment(Qt::AlignCenter);
    pOverall->setFont(scaled(pOverall->font(), 4));
    pOverall->setForeground(Qt::white);
    pOverall->setBackground(colour(bAllPass));
    pTable->setItem(nLast, 0, pOverall);
    pTable->setSpan(nLast, 0, 1, 2);
    m_nFirstLedRow = pTable->rowCount(); // no LED rows here

    SetButtonsEnabled(true);
    if (bAllPass && bLive && Settings()->GetBool(QStringLiteral("DefaultJumpToDraw"), true))
        on_drawButton_clicked();
    return true;
}

// ---------------------------------------------------------------------------
// The run

bool VeloraTestView::IsSourceUsable() const
{
    return m_bSourcePresent.load() && HasDevice() && m_pUsbPort && m_pUsbPort->GetDevCount() > 0
           && m_pUsbPort->GetDeviceMode() == 1;
}

void VeloraTestView::StartTest()
{
    // 1.
    if (!IsSourceUsable()) {
        DeInitTestUi();
        return;
    }
    // 2.
    if (!m_testMutex.tryLock()) {
        qDebug().noquote() << "StartTest" << ": test mutex is fail";
        return;
    }
    ++m_nRunNumber;
    // 3.
    ResetTestView();
    // No real-time verdict of an earlier run reaches this one.
    m_verdictBox.Clear();
    m_diagramBox.Clear();
    m_histogramBox.Clear();

    // 4. A replay.
    if (m_pHandleWork->GetDeviceKind() == HandleWork::DeviceKind::Replay) {
        if (GetLogFilePath().isEmpty())
            return;
        m_pNoticeLabel->setText(tr("Now opening and analysising the log file..."));
        m_bRefreshRunning = true;
        m_nInterval = 40;
        PostForAnswer(QStringLiteral("OpenTestLog"));
        return;
    }
    if (m_pHandleWork->GetDeviceKind() != HandleWork::DeviceKind::Live)
        return;

    // 5. A plugged frame. The prompt runs an event loop, in which a plug
    // event may end this run or start another one: it goes on only while its
    // run and its frame are still current.
    if (!ScanSerialNumber())
        return;
    m_bTestRunning = true;
    SetButtonsEnabled(false);
    // The ports again (the reader threads read the USB port's pointer: it
    // is written only when it changes, which it does not while they run).
    if (m_pUsbPort != m_pHandleWork->GetUsbPort())
        m_pUsbPort = m_pHandleWork->GetUsbPort();
    m_pUartPort = m_pHandleWork->GetUartPort();
    emit emitSignalTestStatus(true);
    m_bTouchEnabled = Settings()->GetBool(QStringLiteral("DefaultTouchEnable"), true);
    Post(m_bTouchEnabled ? QStringLiteral("EnableTouch") : QStringLiteral("DisableTouch"));
    PostForAnswer(QStringLiteral("StartTestOnce"));
    m_pNoticeLabel->setText(tr("A Device is discovered, Now initializing and testing..."));
    m_pNoticeLabel->show();
    m_bRefreshRunning = true;
    m_nInterval = 10;
    m_nInterfaceTestCount = 0;
    m_nPassCount = 0;
    // A replayed log's interface results do not judge a live frame.
    m_nComTestResult = 0;
    m_nDUsbTestResult = 0;
}

void VeloraTestView::ChangeUsbDevice(QAction* action)
{
    if (!action || !m_pUsbPort)
        return;
    const QString name = action->text();
    const QStringList names = m_pUsbPort->GetDeviceNameList();
    if (names.isEmpty() || names.first() == name || !names.contains(name))
        return;
    InsertUsbDeviceForTest(false);
    m_pUsbPort->SelectDevice(name);
    if (m_pUsbPort->GetDevCount() > 0)
        InsertUsbDeviceForTest(true);
}

void VeloraTestView::InitTestUi(QMap<QString, QString> mapTestResult)
{
    if (!IsAnswerOfOpenRun("InitTestUi", {QStringLiteral("StartTestOnce"), QStringLiteral("OpenTestLog")}))
        return;
    ShowFirstResult(mapTestResult);
}

void VeloraTestView::HoldRefreshForThisTurn()
{
    // Released by the next turn of whichever event loop runs (a box's own
    // included), so a box the result asks no refresh waits for.
    if (!m_bRefreshHeld.exchange(true))
        QMetaObject::invokeMethod(this, [this] { m_bRefreshHeld = false; }, Qt::QueuedConnection);
}

void VeloraTestView::ShowFirstResult(const QMap<QString, QString>& mapTestResult)
{
    HoldRefreshForThisTurn();
    m_pNoticeLabel->hide();
    UpdateSourceButtons();
    InitDeviceInfoTable();
    StartRefresh();
    InitPanelView();
    InitHistogramViews();
    ShowResultNow(mapTestResult, true);
}

bool VeloraTestView::RedoInitTestUI(QMap<QString, QString> mapTestResult)
{
    HoldRefreshForThisTurn();
    InitDeviceInfoTable();
    InitPanelView();
    InitHistogramViews();
    m_pNoticeLabel->hide();
    StartRefresh();
    ShowResultNow(mapTestResult, true);
    return true;
}

void VeloraTestView::TaskFailed(QString task, int32_t errorCode)
{
    qDebug().noquote() << "TaskFailed" << ": " + task << QStringLiteral("0x%1").arg(uint32_t(errorCode), 8, 16, QLatin1Char('0'));
    if (!IsAnswerOfOpenRun("TaskFailed", {task}))
        return;
    // A log that could not be opened: the source the dispatcher kept.
    if (task == QLatin1String("OpenTestLog")) {
        RestoreAfterFailedOpen();
        return;
    }
    // Only a test that is still waiting for its first result: the operator
    // gets the view back, the run stays open (closing switches the frame's
    // LED check off) and nothing refreshes.
    if (!m_bTestRunning)
        return;
    SetButtonsEnabled(true);
    UpdateSourceButtons();
    m_bTestRunning = false;
    ResetTable(ui->testResult, tr("Unknown..."));
    m_pNoticeLabel->setText(tr("Unknown..."));
    m_pNoticeLabel->show();
}

void VeloraTestView::prtSrcResponse()
{
    CScreenshot::Save(grab(rect()));
}

// ---------------------------------------------------------------------------
// The result table

bool VeloraTestView::ShowTestResult(QMap<QString, QString> mapTestResult, bool bRealTime)
{
    // The answer to "ReTest" (a new run of the frame, filed) or to
    // "UpdateTestResult" (the table again).
    if (!IsAnswerOfOpenRun("ShowTestResult", {bRealTime ? QStringLiteral("ReTest") : QStringLiteral("UpdateTestResult")}))
        return false;
    return ShowResultNow(mapTestResult, bRealTime);
}

bool VeloraTestView::ShowResultNow(const QMap<QString, QString>& mapTestResult, bool bRealTime)
{
    // 1.
    if (!isVisible())
        return false;
    // A final result: its table, diagram, histograms and log from one frame.
    if (bRealTime)
        HoldRefreshForThisTurn();
    SDeviceFacts facts;
    {
        QMutexLocker lock(DeviceMutex());
        facts = ReadDeviceFacts(Device(), mapTestResult);
    }
    return ShowTestResultOf(mapTestResult, bRealTime, facts);
}

VeloraTestView::SDeviceFacts VeloraTestView::ReadDeviceFacts(CTouchBase* pDevice,
                                                             const QMap<QString, QString>& mapTestResult) const
{
    SDeviceFacts facts;
    if (!pDevice)
        return facts;
    facts.bPresent = true;
    facts.nGeneration = m_pHandleWork ? m_pHandleWork->GetDeviceGeneration() : 0;
    facts.signal = qMakePair(QStringLiteral("PASS"), QStringLiteral("PASS"));
    if (!mapTestResult.isEmpty()) {
        facts.signal = qMakePair(QStringLiteral("NG"), QStringLiteral("NG"));
        SignalVerdictOf(pDevice, facts.signal.first, facts.signal.second);
    }
    facts.bLive = dynamic_cast<CTouchHardware*>(pDevice) != nullptr;
    if (facts.bLive) {
        facts.batch = pDevice->GetProperty(DeviceInfoKey::kBatchInfo);
        facts.checksum = pDevice->GetProperty(DeviceInfoKey::kCheckSum);
        facts.product = pDevice->GetProperty(DeviceInfoKey::kProduct);
    }
    facts.nType = pDevice->GetType();
    if (facts.nType == 2) {
        facts.interfaceResult = pDevice->GetInterfaceTestResult();
        facts.replayName = pDevice->GetName();
    }
    return facts;
}

bool VeloraTestView::ShowTestResultOf(const QMap<QString, QString>& mapTestResult, bool bRealTime,
                                      const SDeviceFacts& facts)
{
    QTableWidget* pTable = ui->testResult;

    SResultContent content;
    content.leds = mapTestResult;
    content.dFontScale = m_dFontScale;
    bool bSignalPass = true;
    const bool bLive = facts.bLive;
    QString signalVerdict;
    {
        // 3.
        if (!facts.bPresent || !m_bSourcePresent.load()) {
            ResetTable(pTable, tr("Unknown..."));
            return false;
        }
        m_strShownReplay = facts.nType == 2 ? facts.replayName : QString();
        UpdateSourceMark();
        // 4.
        QPair<QString, QString> signal = facts.signal;
        if (!mapTestResult.isEmpty()) {
            bSignalPass = false;
            if (!signal.second.isEmpty())
                signal.second += tr(" And you can check the detail problem in the Touch Frame page!");
        }
        content.rows.insert(QStringLiteral("Signal Test"), signal);
        signalVerdict = signal.first;
        content.bOverallPass = bSignalPass;
        auto check = [&content](const QString& row, bool bPass, const QString& detail) {
            content.rows.insert(row, bPass ? qMakePair(QStringLiteral("PASS"), QStringLiteral("PASS"))
                                           : qMakePair(QStringLiteral("NG"), detail));
            if (!bPass)
                content.bOverallPass = false;
        };

        // 5. to 7., a plugged frame only.
        if (bLive) {
            CCustomerSettings* pSettings = Settings();
            const QString& batch = facts.batch;
            const QString& checksum = facts.checksum;
            if (pSettings->GetBool(QStringLiteral("SupportSNCheck"), true))
                check(QStringLiteral("SN Check"), batch == m_strScannedSN,
                      tr("The correct serial number is %1.").arg(m_strScannedSN));
            if (pSettings->GetBool(QStringLiteral("FirmwareCheckEnable"), false)) {
                const QMap<QString, QString> list = CFirmwareCheckSettings::GetInstance()->ReadAll();
                QString product = facts.product;
                static const QRegularExpression kSize(QStringLiteral("-[0-9]+P"));
                product.remove(kSize);
                const QString expected = list.value(product);
                check(QStringLiteral("Firmware Check"), expected == checksum,
                      tr("The correct checksum is %1.").arg(expected));
            }
            if (pSettings->GetBool(QStringLiteral("SNChecksumCheckEnable"), false)) {
                const QMap<QString, QString> list = CSNChecksumSettings::GetInstance()->ReadAll();
                const int nDollar = batch.indexOf(QLatin1Char('$'));
                const QString key = nDollar >= 0 ? batch.left(nDollar) : batch.left(13);
                const QString expected = list.value(key);
                check(QStringLiteral("Batch Check"), expected == checksum,
                      tr("The correct checksum is %1.").arg(expected));
            }
        }

        // 8. The interface result a replayed log holds: the codes are the
        // shown log's own, passed where it holds no row of its own.
        if (facts.nType == 2) {
            m_nComTestResult = 0;
            m_nDUsbTestResult = 0;
            const QPair<QString, QString>& stored = facts.interfaceResult;
            if (!stored.first.isEmpty()) {
                content.rows.insert(stored.first, qMakePair(stored.second, stored.second));
                const uint32_t nCode = stored.second == QLatin1String("PASS") ? 0 : kInterfaceFailed;
                if (stored.first == QLatin1String("Com Test"))
                    m_nComTestResult = nCode;
                else if (stored.first == QLatin1String("D-Usb Test"))
                    m_nDUsbTestResult = nCode;
            }
        }
    }
    const bool bShowPass =
        content.bOverallPass && mapTestResult.isEmpty() && m_nComTestResult == 0 && m_nDUsbTestResult == 0;

    // 2., 9. to 11.: only a result that differs from the one shown is built.
    SResultContent shown = content;
    shown.bOverallPass = bShowPass;
    if (!m_bResultShown || !(shown == m_shownResult)) {
        BuildResultTable(shown);
        m_shownResult = shown;
        m_bResultShown = true;
    } else {
        FitTable(pTable, m_nFirstLedRow);
    }

    // 12. The draw test.
    bool bDrawDisabled = false;
    if (!content.bOverallPass) {
        bDrawDisabled = Settings()->GetBool(QStringLiteral("DisableDrawWhenFail"), true);
    } else if (m_nPassCount == 0 || m_nPassCount == 1) {
        ++m_nPassCount;
        if (m_nPassCount == 1 && bLive && Settings()->GetBool(QStringLiteral("DefaultJumpToDraw"), true))
            on_drawButton_clicked();
    }

    // 13. A final result. The upload may ask the operator in a box of its
    // own, whose event loop can end this run and start the next one: then
    // nothing of step 14 belongs to the run that is open now.
    if (bRealTime) {
        qInfo().noquote() << "ShowTestResult" << ": " + QLatin1String(bShowPass ? "PASS" : "NG") + QLatin1Char(' ')
                                                     + signalVerdict;
        const SCurrent before = Current();
        UpdatePanelView();
        UpdateHistogramView();
        const QString path = SaveLogDataAuto(bSignalPass);
        UploadTestData(path, signalVerdict);
        if (!StillCurrent(before, "ShowTestResult", "upload"))
            return true;
    }

    // 14. The tool buttons of the source, the draw button as step 12 left it.
    SetButtonsEnabled(true);
    UpdateSourceButtons();
    ui->drawButton->setEnabled(!bDrawDisabled);
    m_bTestRunning = false;
    return true;
}

void VeloraTestView::BuildResultTable(const SResultContent& content)
{
    QTableWidget* pTable = ui->testResult;
    pTable->setUpdatesEnabled(false);
    pTable->clear();
    pTable->clearSpans();
    pTable->setRowCount(0);
    pTable->setColumnCount(2);
    pTable->setColumnWidth(0, pTable->width() / 3);
    pTable->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    pTable->horizontalHeader()->setStretchLastSection(true);
    pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);

    const double dDefault = QTableWidgetItem().font().pointSizeF();
    auto sized = [&](double dFactor, bool bItalic) {
        QFont font = QTableWidgetItem().font();
        font.setPointSizeF(dFactor * dDefault * m_dFontScale);
        font.setBold(true);
        font.setItalic(bItalic);
        return font;
    };
    const QFont nameFont = sized(1.5, false);
    const QFont verdictFont = sized(4.0, false);
    auto colour = [](const QString& verdict) {
        return verdict == QLatin1String("PASS") ? QColor(Qt::darkGreen) : QColor(Qt::red);
    };

    // Row 0 is the overall line, then the checks, then the LEDs.
    pTable->setRowCount(1 + content.rows.size() + content.leds.size());
    int nRow = 1;
    for (auto it = content.rows.cbegin(); it != content.rows.cend(); ++it, ++nRow) {
        const QColor rowColour = colour(it.value().first);
        QTableWidgetItem* pName = TableItem(it.key());
        pName->setFont(nameFont);
        pName->setTextAlignment(Qt::AlignCenter);
        pName->setForeground(rowColour);
        pName->setToolTip(CPlainText::ToolTip(it.key()));
        QTableWidgetItem* pVerdict = TableItem(it.value().first);
        pVerdict->setFont(verdictFont);
        pVerdict->setTextAlignment(Qt::AlignCenter);
        pVerdict->setForeground(rowColour);
        pVerdict->setToolTip(CPlainText::ToolTip(it.value().second));
        pTable->setItem(nRow, 0, pName);
        pTable->setItem(nRow, 1, pVerdict);
    }
    for (auto it = content.leds.cbegin(); it != content.leds.cend(); ++it, ++nRow) {
        QTableWidgetItem* pKey = TableItem(it.key());
        pKey->setForeground(QColor(Qt::red));
        pKey->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        pKey->setToolTip(CPlainText::ToolTip(it.key()));
        QTableWidgetItem* pValue = TableItem(it.value());
        pValue->setForeground(QColor(Qt::red));
        pValue->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        pValue->setToolTip(CPlainText::ToolTip(it.value()));
        pTable->setItem(nRow, 0, pKey);
        pTable->setItem(nRow, 1, pValue);
    }

    const QString overall = content.bOverallPass ? QStringLiteral("PASS") : QStringLiteral("NG");
    QTableWidgetItem* pOverall = TableItem(overall);
    QFont overallFont = QTableWidgetItem().font();
    overallFont.setPointSize(int(6.0 * dDefault * m_dFontScale));
    overallFont.setBold(true);
    overallFont.setItalic(true);
    pOverall->setFont(overallFont);
    pOverall->setTextAlignment(Qt::AlignCenter);
    pOverall->setForeground(colour(overall));
    pOverall->setToolTip(CPlainText::ToolTip(overall));
    pTable->setItem(0, 0, pOverall);
    pTable->setSpan(0, 0, 1, 2);
    // The rows sized to their texts, the LED rows stretched below the checks.
    m_nFirstLedRow = 1 + content.rows.size();
    FitTable(pTable, m_nFirstLedRow);
    pTable->setUpdatesEnabled(true);
}

// ---------------------------------------------------------------------------
// The refresh (its thread) and the hand-over to the GUI thread

void VeloraTestView::RefreshTimer_CB(void* pArg)
{
    auto* pView = static_cast<VeloraTestView*>(pArg);
    if (!pView || !pView->m_bSourcePresent.load() || !pView->m_pHandleWork || pView->m_bRefreshHeld.load())
        return;
    // One frame on and the visible page for it (taken back when no page took it).
    pView->StepReplayFrame(1);
}

bool VeloraTestView::RefreshCurrentTab()
{
    switch (m_eVisiblePage.load()) {
    case EPage::Panel:
        return RefreshPanelView();
    case EPage::Histogram:
        return RefreshHistogramView();
    case EPage::Other:
        break;
    }
    return false;
}

bool VeloraTestView::RefreshHistogramView()
{
    if (!m_pHandleWork)
        return false;
    QMutexLocker deviceLock(DeviceMutex());
    CTouchBase* pDevice = Device();
    if (!pDevice)
        return false;
    bool bPosted = false;
    {
        QMutexLocker lock(&m_histogramMutex);
        ForEachHistogramKey(pDevice, [&](const QString& axis, const QString& dir, SignalHistogramView*) {
            SignalFrame lstSignal;
            if (pDevice->ReadAxisSignal(axis, dir, SignalKind::kAdc, lstSignal) > 0)
                bPosted = m_histogramBox.Put(axis + QLatin1Char('-') + dir, SHistogramReading{axis, lstSignal})
                          || bPosted;
        });
    }
    if (bPosted)
        PostDrain(&VeloraTestView::DrainHistograms);
    RealTimeVerdict(pDevice);
    return true;
}

void VeloraTestView::PutVerdict(CTouchBase* pDevice, const QMap<QString, QString>& mapErrors)
{
    if (m_verdictBox.Put(QString(), SVerdict{mapErrors, ReadDeviceFacts(pDevice, mapErrors)}))
        PostDrain(&VeloraTestView::DrainVerdict);
}

void VeloraTestView::PutDiagram(const QMap<QString, QList<QString>>& mapProblems)
{
    if (m_diagramBox.Put(QString(), mapProblems))
        PostDrain(&VeloraTestView::DrainDiagram);
}

void VeloraTestView::PostDrain(void (VeloraTestView::*pDrain)())
{
    ++m_nDrainsPosted;
    QMetaObject::invokeMethod(this, [this, pDrain] { (this->*pDrain)(); }, Qt::QueuedConnection);
}

void VeloraTestView::DrainVerdict()
{
    const auto values = m_verdictBox.TakeAll();
    if (values.isEmpty())
        return;
    // A test of a plugged frame is under way: its own result comes next.
    if (m_bTestRunning && HasDevice() && m_pHandleWork->GetDeviceKind() == HandleWork::DeviceKind::Live) {
        qDebug().noquote() << "ShowTestResult" << ": a real-time result during a test is dropped";
        return;
    }
    const SVerdict& verdict = values.first();
    // What the refresh read still stands while the device object is the
    // same; otherwise the table reads the object that is there now.
    if (m_pHandleWork && verdict.device.nGeneration == m_pHandleWork->GetDeviceGeneration()) {
        if (isVisible())
            ShowTestResultOf(verdict.errors, false, verdict.device);
        return;
    }
    ShowResultNow(verdict.errors, false);
}

void VeloraTestView::DrainDiagram()
{
    const auto values = m_diagramBox.TakeAll();
    if (values.isEmpty())
        return;
    // Only this (the GUI) thread replaces the diagram; it takes the panel
    // mutex then for the refresh thread's sake. Read here without it, so a
    // drain never waits for a refresh still analysing the frame.
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_pPanelView)
        m_pPanelView->UpdateTouchPanel(values.first(), nullptr);
}

void VeloraTestView::DrainHistograms()
{
    const auto values = m_histogramBox.TakeAll();
    // As for the diagram: the views are replaced on this thread only.
    Q_ASSERT(QThread::currentThread() == thread());
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (SignalHistogramView* pView = m_mapHistogramViews.value(it.value().axis))
            pView->UpdateHistogramData(it.key(), it.value().values);
    }
}

int VeloraTestView::WaitingValues() const
{
    return m_verdictBox.Waiting() + m_diagramBox.Waiting() + m_histogramBox.Waiting();
}

int VeloraTestView::MostWaitingValues() const
{
    return m_verdictBox.MostWaiting() + m_diagramBox.MostWaiting() + m_histogramBox.MostWaiting();
}

void VeloraTestView::ResetWaitingValues()
{
    m_verdictBox.ResetMostWaiting();
    m_diagramBox.ResetMostWaiting();
    m_histogramBox.ResetMostWaiting();
}

void VeloraTestView::SetLogFilePathForTest(const QString& path)
{
    QMutexLocker lock(&m_logPathMutex);
    m_strLogFilePath = path;
}

// ---------------------------------------------------------------------------
// Test logs: saving, replay and recording

namespace {
// How long the view's destructor waits for the device mutex before it gives
// a recording up (the worker has stopped by then; only a refresh or a stuck
// reader could still hold it).
constexpr int kEndSaveWaitMs = 2000;
} // namespace

void VeloraTestView::recordResponse()
{
    // Connected through triggered(): only the operator's own check or uncheck
    // lands here, never an uncheck from code.
    const bool bChecked = m_pRecordAction->isChecked();
    qDebug().noquote() << "recordResponse" << (bChecked ? ": checked" : ": unchecked");
    {
        QMutexLocker lock(DeviceMutex());
        auto* pDevice = dynamic_cast<CTouchHardware*>(Device());
        if (!pDevice) {
            // Nothing live to record: the entry does not stay on either.
            const QSignalBlocker blocker(m_pRecordAction);
            m_pRecordAction->setChecked(false);
            return;
        }
        if (bChecked)
            pDevice->StartRecord();
        else
            pDevice->StopRecord();
    }
    if (bChecked) {
        qInfo().noquote() << "Record Data : recording started";
        m_pRecordDialog->StartClock();
        // Runs until the dialog's stop button, the menu entry or the last
        // unplug hides it; each of those saves, nothing is left to do here.
        m_pRecordDialog->exec();
        return;
    }
    m_pRecordDialog->StopClock();
    SaveLogDataManul();
}

void VeloraTestView::ExitRecordWork()
{
    {
        QMutexLocker lock(DeviceMutex());
        auto* pDevice = dynamic_cast<CTouchHardware*>(Device());
        if (!pDevice)
            return;
        pDevice->StopRecord();
    }
    m_pRecordDialog->StopClock();
    m_pRecordAction->setChecked(false);
    SaveLogDataManul();
}

void VeloraTestView::SaveRecordingAtEnd()
{
    // The program ends: no dialog holds the exit, and what was recorded is
    // kept under the name the manual save proposes.
    m_pRecordAction->setChecked(false);
    m_pRecordDialog->StopClock();
    QMutex* pMutex = DeviceMutex();
    if (!pMutex)
        return;
    const int nWaitMs = CStationClock::Timeout(kEndSaveWaitMs);
    if (!pMutex->tryLock(nWaitMs)) {
        qCritical().noquote() << "Save Log Data Manul : the device is still busy after" << nWaitMs
                              << "ms, the recording is not saved";
        return;
    }
    QString strPath;
    QString strReason;
    if (auto* pDevice = dynamic_cast<CTouchHardware*>(Device())) {
        pDevice->StopRecord();
        strPath = ProposedLogPath(pDevice) + QStringLiteral(".xml");
        strReason = WriteLog(pDevice, strPath);
    }
    pMutex->unlock();
    if (strPath.isEmpty())
        return;
    if (strReason.isEmpty())
        qWarning().noquote() << "Save Log Data Manul : the recording was saved to" << QDir(strPath).absolutePath();
    else
        qCritical().noquote() << "Save Log Data Manul : the recording cannot be saved to"
                              << QDir(strPath).absolutePath() << "-" << strReason;
}

void VeloraTestView::EndRecordingOfLeftFrame()
{
    m_pRecordAction->setChecked(false);
    m_pRecordDialog->StopClock(); // hidden: the clock's exec returns
    QString strPath;
    QString strReason;
    bool bRecorded = false;
    {
        QMutexLocker lock(DeviceMutex());
        auto* pDevice = dynamic_cast<CTouchHardware*>(Device());
        if (!pDevice)
            return;
        pDevice->StopRecord();
        bRecorded = pDevice->GetRecordedFrameCount() > 0;
        if (bRecorded) {
            strPath = ProposedLogPath(pDevice) + QStringLiteral(".xml");
            strReason = WriteLog(pDevice, strPath);
        }
    }
    if (!bRecorded) {
        qWarning().noquote() << "Record Data : the recorded frame left before a frame was recorded, nothing is saved";
        return;
    }
    const QString strAbsolute = QDir(strPath).absolutePath();
    if (strReason.isEmpty())
        qWarning().noquote() << "Record Data : the recorded frame left, the recording was saved to" << strAbsolute;
    else
        ReportSaveFailure(strAbsolute, strReason);
}

QString VeloraTestView::WriteLog(CTouchHardware* pDevice, const QString& strPath)
{
    // The caller holds the device mutex.
    QString strFolderError;
    if (!MakeFolderPath(QFileInfo(strPath).absolutePath(), &strFolderError))
        return strFolderError;
    if (pDevice->SaveXml(strPath) < 0) {
        const QString strError = pDevice->LastSaveError();
        return strError.isEmpty() ? QStringLiteral("the file cannot be written") : strError;
    }
    return QString();
}

QString VeloraTestView::ProposedLogPath(CTouchHardware* pDevice)
{
    return QStringLiteral("Data/") + pDevice->GetLogDir() + QLatin1Char('/') + pDevice->GetLogFileName();
}

QString VeloraTestView::SaveOutcome(const char* szWho, const QString& strPath, const QString& strReason)
{
    if (!strReason.isEmpty()) {
        ReportSaveFailure(strPath, strReason);
        return QString();
    }
    qInfo().noquote() << szWho << ":" << strPath;
    return strPath;
}

void VeloraTestView::ReportSaveFailure(const QString& strPath, const QString& strReason)
{
    qCritical().noquote() << "The test log cannot be saved to" << strPath << "-" << strReason;
    // After the saving caller has returned and let go of every lock: a box
    // shown inside the result display or the unplug handling would run their
    // refreshes and plug events in its own event loop.
    QMetaObject::invokeMethod(
        this,
        [this, strPath] {
            QMessageBox::warning(this, QStringLiteral("Error!"), tr("The test log cannot be saved to %1.").arg(strPath),
                                 QMessageBox::Ok);
        },
        Qt::QueuedConnection);
}

QString VeloraTestView::SaveLogDataAuto(bool result)
{
    if (!m_pHandleWork)
        return QString();
    QString strPath;
    QString strReason;
    {
        QMutexLocker lock(DeviceMutex());
        auto* pDevice = dynamic_cast<CTouchHardware*>(Device());
        if (!pDevice || pDevice->GetType() != 1)
            return QString();
        const QString strFolder = QDir::currentPath() + QStringLiteral("/Data/") + pDevice->GetLogDir();
        strPath = strFolder + QLatin1Char('/') + pDevice->GetLogFileName()
                  + (result ? QStringLiteral("_PASS") : QStringLiteral("_NG")) + QStringLiteral(".xml");
        strReason = WriteLog(pDevice, strPath);
    }
    return SaveOutcome("SaveLogDataAuto", strPath, strReason);
}

QString VeloraTestView::SaveLogDataAuto()
{
    return SaveLogDataAuto(true);
}

QString VeloraTestView::SaveLogDataManul()
{
    if (!m_pHandleWork)
        return QString();
    QString strProposed;
    SCurrent before;
    {
        QMutexLocker lock(DeviceMutex());
        auto* pDevice = dynamic_cast<CTouchHardware*>(Device());
        if (!pDevice)
            return QString();
        strProposed = ProposedLogPath(pDevice);
        before = Current();
    }
    // The proposed folder is the one the automatic save files under.
    QDir().mkpath(QFileInfo(strProposed).path());

    // The dialog runs without the device mutex: the refresh and the worker go on.
    const QString strPath = QFileDialog::getSaveFileName(this, tr("Save Log file..."), strProposed, tr("*.xml"));
    if (strPath.isEmpty())
        return QString();

    QString strReason;
    const bool bCurrent = StillCurrent(before, "SaveLogDataManul", "save dialog");
    {
        QMutexLocker lock(DeviceMutex());
        auto* pDevice = dynamic_cast<CTouchHardware*>(Device());
        if (!pDevice || !bCurrent) {
            // Another frame (or the same one again) came while the dialog was
            // open: what it holds now is not what was recorded.
            qWarning().noquote() << "SaveLogDataManul : the device changed while the dialog was open, nothing is saved to"
                                 << strPath;
            strReason = QStringLiteral("the device changed while the dialog was open");
        } else {
            strReason = WriteLog(pDevice, strPath);
        }
    }
    return SaveOutcome("SaveLogDataManul", strPath, strReason);
}

void VeloraTestView::openLogResponse()
{
    const SCurrent before = Current();
    // "*.xml" first, the one chosen; a recording saved without a suffix is
    // listed under the second.
    const QString strPath = QFileDialog::getOpenFileName(this, tr("Open file..."), QString(),
                                                         tr("*.xml") + QStringLiteral(";;") + tr("All files (*)"));
    if (strPath.isEmpty())
        return;
    // The chosen log wins. A run open on a live frame (one that began while
    // the dialog was open, say) ends as the last unplug ends one before the
    // log replaces its frame; its late answers are then dropped.
    const bool bCurrent = StillCurrent(before, "openLogResponse", "open dialog");
    if (IsLiveRunOpen()) {
        qInfo().noquote() << "openLogResponse"
                          << QStringLiteral(": the run on the frame%1 ends, the log %2 is opened")
                                 .arg(bCurrent ? QString() : QStringLiteral(" plugged during the open dialog"), strPath);
        EndLiveRun();
    }
    {
        QMutexLocker lock(&m_logPathMutex);
        m_strLogFilePath = strPath;
    }

    // The log that is open already: drawn again, not read again.
    bool bOpen = false;
    QMap<QString, QString> mapErrors;
    if (m_pHandleWork && m_pHandleWork->GetDeviceKind() == HandleWork::DeviceKind::Replay) {
        QMutexLocker lock(DeviceMutex());
        CTouchBase* pDevice = Device();
        if (pDevice && pDevice->GetType() == 2 && pDevice->GetName() == strPath) {
            bOpen = true;
            mapErrors = pDevice->GetSignalErrors();
        }
    }
    if (bOpen) {
        DeInitTestUi();
        ShowFirstResult(mapErrors);
        return;
    }

    if (HasDevice())
        DeInitTestUi();
    m_pNoticeLabel->setText(tr("Now opening and analysising the log file..."));
    m_pNoticeLabel->show();
    m_bRefreshRunning = true;
    m_nInterval = 40;
    m_bSourcePresent = true;
    if (!PostForAnswer(QStringLiteral("OpenTestLog")))
        qDebug().noquote() << "openLogResponse" << ": OpenTestLog is running, the request is dropped";
}

void VeloraTestView::RestoreAfterFailedOpen()
{
    // The dispatcher kept the object it had; the view was torn down for the
    // log that could not be read, and now shows that object again.
    qInfo().noquote() << "openLogResponse" << ": the log cannot be opened, the current source is shown again";
    const HandleWork::DeviceKind kind =
        m_pHandleWork ? m_pHandleWork->GetDeviceKind() : HandleWork::DeviceKind::None;
    if (kind == HandleWork::DeviceKind::Live && m_pUsbPort && m_pUsbPort->GetDevCount() > 0
        && m_pUsbPort->GetDeviceMode() == DEVICE_MODE_APPLICATION) {
        // As a plug of the frame would.
        m_bSourcePresent = true;
        StartTest();
        return;
    }
    if (kind == HandleWork::DeviceKind::Replay) {
        QMap<QString, QString> mapErrors;
        bool bReplay = false;
        {
            QMutexLocker lock(DeviceMutex());
            if (CTouchBase* pDevice = Device()) {
                bReplay = true;
                mapErrors = pDevice->GetSignalErrors();
                QMutexLocker pathLock(&m_logPathMutex);
                m_strLogFilePath = pDevice->GetName();
            }
        }
        if (bReplay) {
            m_bSourcePresent = true;
            ShowFirstResult(mapErrors);
            return;
        }
    }
    m_bSourcePresent = false;
    UpdateSourceButtons();
    ResetInfoTables();
}

void VeloraTestView::speedUpResponse()
{
    m_nInterval = qMax(m_nInterval - 10, 10);
    m_pTimerThread->SetInterval(m_nInterval);
}

void VeloraTestView::speedDownResponse()
{
    m_nInterval = qMin(m_nInterval + 10, 1000);
    m_pTimerThread->SetInterval(m_nInterval);
}

void VeloraTestView::preFrameResponse()
{
    // Paused only; the dispatcher steps nothing but a replay.
    if (!m_pTimerThread->isRunning())
        Post(QStringLiteral("UpdateUIPre"));
}

void VeloraTestView::nextFrameResponse()
{
    if (!m_pTimerThread->isRunning())
        Post(QStringLiteral("UpdateUINext"));
}

void VeloraTestView::StepReplayFrame(int nStep)
{
    // The refresh tick's thread or the worker; no widget is touched here.
    if (!m_pHandleWork || nStep == 0)
        return;
    auto step = [this](int n) {
        QMutexLocker lock(DeviceMutex());
        CTouchBase* pDevice = Device();
        if (!pDevice)
            return false;
        for (; n > 0; --n)
            pDevice->NextFrame();
        for (; n < 0; ++n)
            pDevice->PrevFrame();
        return true;
    };
    if (!step(nStep))
        return;
    // The page takes its own locks; a step no page took is taken back.
    if (!RefreshCurrentTab())
        step(-nStep);
}

bool VeloraTestView::UploadTestData(QString logPath, QString result)
{
    // Only a log that was written is handed on: a replay and a failed save
    // have no path, and a row must never name a file that does not exist.
    if (logPath.isEmpty()) {
        qDebug().noquote() << "UploadTestData" << ": no saved log, nothing is handed over";
        return true;
    }
    QList<QPair<QString, QString>> lstDevice;
    {
        QMutexLocker lock(DeviceMutex());
        if (CTouchBase* pDevice = Device())
            lstDevice = pDevice->GetPropertyList();
    }
    const QList<QPair<QString, QString>> lstEnvironment =
        m_pHandleWork ? m_pHandleWork->GetEnvironmentList() : QList<QPair<QString, QString>>();
    const CTestRecord record =
        CTestRecord::OfRun(lstDevice, lstEnvironment, logPath, result, QDir::currentPath(), CLocalClock::Now());
    qInfo().noquote() << "UploadTestData" << ":" << result << record.GetLogUrl();
    CUploadService::Instance()->UploadTestData(record);
    return true;
}
