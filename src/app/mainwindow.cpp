#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "comportusb.h"
#include "customersettings.h"
#include "devicemode.h"
#include "deviceinfokey.h"
#include "handlework.h"
#include "mainsetupdialog.h"
#include "stationinfo.h"
#include "testlogerror.h"
#include "veloracalibrateview.h"
#include "veloratestview.h"
#include "veloraupgradeview.h"
#include "wrappingitemdelegate.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMap>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <qrencode.h>

namespace {
// Shown in place of a missing batch text (and encoded in its QR code).
const char* const kNoBatchPlaceholder = "?????????????????????????";
constexpr int kQRCodeSize = 300;
constexpr int kNameColumnWidth = 120;

QString StationTitle()
{
    return QString::fromLatin1(StationInfo::kAppName) + QString::fromLatin1(StationInfo::kAppVersion);
}

QString HexCode(int32_t nCode)
{
    return QString::number(uint32_t(nCode), 16);
}

QFont TableEmphasisFont(const QFont& base)
{
    QFont font = base;
    font.setPointSize(15);
    font.setWeight(QFont::Bold); // 75
    return font;
}
} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    m_eWorkType = MAINWORK;
    SetToolButtonsEnabled(false);
    InitNoticeLabel();
    InitWork();
    ui->ver_label->setText(StationTitle());
    ui->ver_label->hide();
    setWindowTitle(StationTitle());
    // The work type is known from here on (a frame arriving now gets its
    // view's first task); the view itself opens after the window is shown.
    ui->controlwidget->setEnabled(m_eWorkType == MAINWORK);
    m_bStartViewPending = m_eWorkType != MAINWORK;
}

MainWindow::~MainWindow()
{
    // The order the views rely on (viewcontract.h): the dispatcher's worker
    // stops first, so no task runs and no answer reaches a view any more;
    // then the views and the set-up dialog go; HandleWork last.
    m_pHandleWork->StopWorker();
    delete m_pTestView;
    m_pTestView = nullptr;
    delete m_pCalibrateView;
    m_pCalibrateView = nullptr;
    delete m_pUpgradeView;
    m_pUpgradeView = nullptr;
    delete m_pSetUpDialog;
    m_pSetUpDialog = nullptr;
    // Stops the worker thread and releases the ports.
    delete m_pHandleWork;
    m_pHandleWork = nullptr;
    delete ui;
}

void MainWindow::InitNoticeLabel()
{
    ui->snWidget->hide();
    ui->snLabel->hide();
    ui->modelLabel->hide();
    ui->appInfoWidget->hide();

    // A name longer than its column (in English "BootCheckSum") wraps inside
    // the word rather than being cut.
    ui->HardwareInfoWidget->setItemDelegate(new CWrappingItemDelegate(ui->HardwareInfoWidget));
    ui->HardwareInfoWidget->setWordWrap(true);
    ui->HardwareInfoWidget->setTextElideMode(Qt::ElideNone);

    auto* pLayout = new QGridLayout(ui->HardwareInfoWidget);
    pLayout->setObjectName(QStringLiteral("tabWidgetGridLayout"));
    pLayout->setSpacing(0);
    pLayout->setContentsMargins(0, 0, 0, 0);

    m_pNoticeLabel = new QLabel(ui->HardwareInfoWidget);
    m_pNoticeLabel->setObjectName(QStringLiteral("noticeLabel"));
    QFont font = m_pNoticeLabel->font();
    font.setPointSize(30);
    m_pNoticeLabel->setFont(font);
    m_pNoticeLabel->setStyleSheet(
        QStringLiteral("color:blue;font-weight:bold;font-style:italic;font-size:100;"));
    m_pNoticeLabel->setTextFormat(Qt::PlainText);
    m_pNoticeLabel->setAlignment(Qt::AlignCenter);
    m_pNoticeLabel->setWordWrap(true);
    m_pNoticeLabel->setMargin(7);
    m_pNoticeLabel->setText(tr("There is no device inserted, Please insert device!"));
    pLayout->addWidget(m_pNoticeLabel, 0, 0);
    m_pNoticeLabel->show();
}

void MainWindow::InitWork()
{
    m_pHandleWork = new HandleWork(this);

    m_pTestView = new VeloraTestView(this, m_pHandleWork);
    m_pTestView->hide();
    m_pCalibrateView = new VeloraCalibrateView(this, m_pHandleWork);
    m_pCalibrateView->hide();
    m_pUpgradeView = new VeloraUpgradeView(this, m_pHandleWork);
    m_pUpgradeView->hide();
    m_pSetUpDialog = new MainSetUpDialog(this, m_pHandleWork);

    connect(this, &MainWindow::DeviceStatusChange_Emit, m_pTestView, &VeloraTestView::InsertUsbDeviceForTest);
    connect(this, &MainWindow::DeviceStatusChange_Emit, m_pCalibrateView,
            &VeloraCalibrateView::InsertUsbDeviceForCalibrate);
    connect(this, &MainWindow::DeviceStatusChange_Emit, m_pUpgradeView,
            &VeloraUpgradeView::InsertUsbDeviceForUpgrade);
    connect(this, &MainWindow::UpdateChildViewDeviceInfo, m_pTestView,
            &VeloraTestView::UpdateSignalTestDeviceInfo);
    connect(this, &MainWindow::UpdateChildViewDeviceInfo, m_pUpgradeView,
            &VeloraUpgradeView::UpdateUpgradeDeviceInfo);
    connect(ui->drawToolButton, &QToolButton::clicked, m_pTestView, &VeloraTestView::OpenTouchPaintWindow);
    connect(m_pTestView, &VeloraTestView::emitWorkType, this, &MainWindow::ToggleFunction);
    connect(m_pCalibrateView, &VeloraCalibrateView::emitWorkType, this, &MainWindow::ToggleFunction);
    connect(m_pCalibrateView, &VeloraCalibrateView::emitOpenDrawTool, m_pTestView,
            &VeloraTestView::OpenTouchPaintWindow);
    connect(m_pUpgradeView, &VeloraUpgradeView::emitWorkType, this, &MainWindow::ToggleFunction);
    connect(m_pSetUpDialog, &QDialog::finished, this, &MainWindow::MainWindpwSetUpClose_Slot);
    connect(m_pHandleWork, &HandleWork::EmitTouchEnButtonStatus, ui->touchEnToolButton,
            &QAbstractButton::setChecked);
    connect(m_pHandleWork, &HandleWork::EmitTouchEnButtonStatus, m_pTestView,
            &VeloraTestView::SetTouchEnableCheck);
    connect(m_pHandleWork, &HandleWork::EmitTouchEnButtonStatus, m_pUpgradeView,
            &VeloraUpgradeView::SetUpgradeViewTouchEnableCheck);
    connect(m_pHandleWork, &HandleWork::EmitTouchEnButtonStatus, m_pCalibrateView,
            &VeloraCalibrateView::SetCalViewTouchEnableCheck);

    ui->touchEnToolButton->hide();

    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    const QString key = QStringLiteral("DefaultInterface");
    if (pSettings->contains(key)) {
        switch (pSettings->GetInt(key, 0)) {
        case 1:
            m_eWorkType = SIGNALTESTWORK;
            break;
        case 2:
            m_eWorkType = UPGRADEWORK;
            break;
        case 3:
            m_eWorkType = CALIBRATEWORK;
            break;
        default:
            m_eWorkType = MAINWORK;
            break;
        }
    }
}

void MainWindow::SetToolButtonsEnabled(bool bEnable)
{
    if (bEnable) {
        ui->touchEnToolButton->setEnabled(true);
        ui->touchEnToolButton->setChecked(false);
        return;
    }
    ui->snWidget->hide();
    ui->snLabel->hide();
    ui->modelLabel->hide();
    ui->appInfoWidget->hide();
    ui->touchEnToolButton->setEnabled(false);
    ui->touchEnToolButton->setChecked(false);

    // One cell that the notice label fills.
    QTableWidget* pTable = ui->HardwareInfoWidget;
    pTable->clear();
    pTable->clearSpans();
    pTable->setRowCount(1);
    pTable->setColumnCount(1);
    pTable->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    pTable->horizontalHeader()->setStretchLastSection(true);
}

void MainWindow::InsertUsbDeviceForMainwindow(bool value)
{
    // The views handle the change without a nested event loop (a dialog it
    // brings them is queued until this has returned), so the steps below
    // follow the last view's with nothing in between: the frame is shown as
    // what it is now, never as an event that a later one has overtaken.
    emit DeviceStatusChange_Emit(value);
    if (!value) {
        m_pNoticeLabel->setText(tr("There is no device inserted, Please insert device!"));
        m_pNoticeLabel->show();
        SetToolButtonsEnabled(false);
        return;
    }
    switch (m_pHandleWork->GetUsbPort()->GetDeviceMode()) {
    case DEVICE_MODE_APPLICATION:
        m_pNoticeLabel->setText(tr("Touch In App, Now initializing..."));
        SetToolButtonsEnabled(true);
        break;
    case DEVICE_MODE_BOOTLOADER:
        m_pNoticeLabel->setText(tr("Touch In Bootloader, Now initializing..."));
        break;
    default:
        break;
    }
}

QWidget* MainWindow::ViewOf(eWorkType type) const
{
    switch (type) {
    case SIGNALTESTWORK:
        return m_pTestView;
    case CALIBRATEWORK:
        return m_pCalibrateView;
    case UPGRADEWORK:
        return m_pUpgradeView;
    default:
        return nullptr;
    }
}

void MainWindow::OpenStartView()
{
    if (!m_bStartViewPending)
        return; // a view was opened meanwhile
    ToggleFunction(m_eWorkType);
    if (QWidget* pView = ViewOf(m_eWorkType)) {
        pView->raise();
        pView->activateWindow();
    }
}

void MainWindow::ToggleFunction(eWorkType type)
{
    m_bStartViewPending = false;
    // Stored first: a view that asks the operator something while it opens
    // runs an event loop, and a frame arriving meanwhile must see the view.
    m_eWorkType = type;
    switch (type) {
    case SIGNALTESTWORK:
        ui->controlwidget->setEnabled(false);
        m_pTestView->showMaximized();
        m_pTestView->StartTest();
        break;
    case CALIBRATEWORK:
        ui->controlwidget->setEnabled(false);
        m_pCalibrateView->InitCalibrateView();
        m_pCalibrateView->show();
        break;
    case UPGRADEWORK:
        ui->controlwidget->setEnabled(false);
        m_pUpgradeView->InitUpgradeView();
        m_pUpgradeView->show();
        break;
    default:
        ui->controlwidget->setEnabled(true);
        break;
    }
}

void MainWindow::MainWindpwSetUpClose_Slot()
{
    ui->lstActionToolButton->setChecked(false);
}

void MainWindow::on_lstActionToolButton_clicked(bool)
{
    m_pSetUpDialog->InitSetUpView();
}

void MainWindow::on_touchEnToolButton_clicked(bool bIsCheck)
{
    m_pHandleWork->PostTask(bIsCheck ? QStringLiteral("DisableTouch") : QStringLiteral("EnableTouch"));
}

void MainWindow::on_upgradeToolButton_clicked(bool)
{
    ToggleFunction(UPGRADEWORK);
}

void MainWindow::on_signalToolButton_clicked(bool)
{
    ToggleFunction(SIGNALTESTWORK);
}

void MainWindow::on_calToolButton_clicked(bool)
{
    ToggleFunction(CALIBRATEWORK);
}

void MainWindow::on_exitToolButton_clicked(bool)
{
    QCoreApplication::exit(0);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && m_eWorkType == MAINWORK) {
        // Leave through the event loop, so that the views, the worker thread
        // and the run log are closed in order.
        QCoreApplication::exit(0);
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (m_eWorkType == MAINWORK) {
        event->accept();
        return;
    }
    QMessageBox::warning(this, tr("Warning"), tr("Please close other subtasks"), QMessageBox::Ok);
    event->ignore();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // From the event loop: after the window is on screen, and after whatever
    // the caller of show() does next.
    if (m_bStartViewPending)
        QTimer::singleShot(0, this, &MainWindow::OpenStartView);
}

void MainWindow::ShowErrorMessage(int32_t errorCode, QString task)
{
    const HandleWork::ErrorClass eClass = HandleWork::ClassifyError(errorCode);
    // A test log that cannot be read (its own codes are no time-outs, whatever
    // their low bits say) is reported as such.
    if (task == QLatin1String("OpenTestLog") && errorCode < 0
        && (IsTestLogError(errorCode) || eClass == HandleWork::ErrorClass::None)) {
        QMessageBox::warning(this, tr("Error!"),
                             tr("The test log cannot be opened, The error code is 0x%1.").arg(HexCode(errorCode)),
                             QMessageBox::Ok);
        return;
    }
    if (eClass == HandleWork::ErrorClass::Timeout) {
        QMessageBox box(QMessageBox::Warning, tr("Error!"),
                        tr("The task \"") + task
                            + tr("\" timeout, The error code is 0x%1.").arg(HexCode(errorCode))
                            + tr(" Please select what you want!"),
                        QMessageBox::NoButton, this);
        box.layout()->setSizeConstraint(QLayout::SetFixedSize);
        box.addButton(QMessageBox::Retry);
        QPushButton* pExit = box.addButton(tr("Exit"), QMessageBox::DestructiveRole);
        box.addButton(tr("Cancel"), QMessageBox::RejectRole);
        box.exec();
        if (box.clickedButton() == pExit)
            QCoreApplication::exit(0);
        return;
    }
    if (eClass == HandleWork::ErrorClass::RuntimeError) {
        QMessageBox::warning(this, tr("Error!"),
                             tr("The task \"") + task
                                 + tr("\" failed because of a runtime error, The error code is 0x%1.")
                                       .arg(HexCode(errorCode))
                                 + tr(" The applicaiton will exit!"),
                             QMessageBox::Ok);
        QCoreApplication::exit(0);
        return;
    }
    if (task == QLatin1String("SaveBatchInfo")) {
        if (errorCode != 0) {
            QMessageBox::warning(this, tr("Error!"),
                                 tr("The device dosn't support the function \"Modify SN code...\"..."),
                                 QMessageBox::Ok);
            return;
        }
        // The frame's read-back gave the number written.
        QMessageBox::information(this, tr("Success!"),
                                 tr("Modify serial number success and will retest the product..."),
                                 QMessageBox::Ok);
        ReadFrameAgain();
        return;
    }
}

void MainWindow::ShowBatchInfoNotHeld(QString strWritten, int32_t nReadBack, QString strHeld)
{
    QString text;
    if (nReadBack != 0)
        text = tr("The serial number \"%1\" was sent, but the frame did not tell what it holds (error code "
                  "0x%2): whether it was written is unknown.")
                   .arg(strWritten, HexCode(nReadBack));
    else if (strHeld.isEmpty())
        text = tr("The serial number \"%1\" was not written: the frame holds no serial number.").arg(strWritten);
    else
        text = tr("The serial number \"%1\" was not written as typed: the frame holds \"%2\".")
                   .arg(strWritten, strHeld);
    QMessageBox::warning(this, tr("Error!"), text, QMessageBox::Ok);
    // The frame holds something else now (or may): the station shows and
    // tests what it reports, not the number typed.
    ReadFrameAgain();
}

void MainWindow::ReadFrameAgain()
{
    m_pHandleWork->InsertUsbDevice(false);
    if (m_pHandleWork->GetUsbPort()->GetDevCount() > 0)
        m_pHandleWork->InsertUsbDevice(true);
}

// ---------------------------------------------------------------------------
// Device-information panel

void MainWindow::ResetInfoTable(QTableWidget* pTable)
{
    pTable->clear();
    pTable->clearSpans();
    pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    pTable->setRowCount(0);
    pTable->setColumnCount(2);
    pTable->verticalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    pTable->horizontalHeader()->setStretchLastSection(true);
    pTable->setColumnWidth(0, kNameColumnWidth);
}

void MainWindow::AddHeadingRow(QTableWidget* pTable, int nRow, const QString& text)
{
    if (pTable->rowCount() <= nRow)
        pTable->insertRow(nRow);
    auto* pItem = new QTableWidgetItem(text);
    pItem->setFlags(pItem->flags() & ~Qt::ItemIsEditable);
    pItem->setTextAlignment(Qt::AlignCenter);
    pItem->setFont(TableEmphasisFont(pTable->font()));
    pTable->setItem(nRow, 0, pItem);
    pTable->setSpan(nRow, 0, 1, 2);
}

void MainWindow::AddValueRow(QTableWidget* pTable, int nRow, const QString& name, const QString& value)
{
    if (pTable->rowCount() <= nRow)
        pTable->insertRow(nRow);
    auto* pName = new QTableWidgetItem(name);
    pName->setFlags(pName->flags() & ~Qt::ItemIsEditable);
    pTable->setItem(nRow, 0, pName);

    auto* pValue = new QTableWidgetItem(value);
    pValue->setFlags(pValue->flags() & ~Qt::ItemIsEditable);
    pValue->setTextAlignment(Qt::AlignCenter);
    pValue->setFont(TableEmphasisFont(pTable->font()));
    pValue->setForeground(QColor(255, 153, 0));
    pValue->setToolTip(value);
    pTable->setItem(nRow, 1, pValue);
}

void MainWindow::InitDeviceInfoForUI(QList<QPair<QString, QString>> lstDevInfo,
                                     QList<QPair<QString, QString>> lstAppInfo)
{
    emit UpdateChildViewDeviceInfo(lstDevInfo);
    m_pNoticeLabel->hide();

    QTableWidget* pDevTable = ui->HardwareInfoWidget;
    ResetInfoTable(pDevTable);
    ui->appInfoWidget->show();

    // The last pair of each name wins.
    using namespace DeviceInfoKey;
    static const QLatin1String kNames[] = {kProduct, kVid,         kPid,   kVersion,  kCheckSum,
                                           kBootVersion, kBootCheckSum, kMcuID, kBatchInfo};
    QMap<QString, QString> found;
    for (const auto& pair : lstDevInfo) {
        for (const QLatin1String& name : kNames) {
            if (pair.first == name) {
                found.insert(pair.first, pair.second);
                break;
            }
        }
    }
    auto present = [&found](QLatin1String name) { return found.contains(name); };
    auto value = [&found](QLatin1String name) { return found.value(name); };

    int nRow = 0;
    if (!lstDevInfo.isEmpty()) {
        AddHeadingRow(pDevTable, 0, tr("App Information"));
        nRow = 1;
    }

    if (present(kProduct)) {
        ui->modelLabel->setText(value(kProduct));
        ui->modelLabel->show();
    }

    QFont snFont;
    if (present(kBatchInfo)) {
        snFont.setStrikeOut(false);
        ui->snLabel->setFont(snFont);
        ui->snLabel->setText(value(kBatchInfo));
        SetQRCode(value(kBatchInfo));
    } else {
        snFont.setStrikeOut(true);
        ui->snLabel->setFont(snFont);
        ui->snLabel->setText(QString::fromLatin1(kNoBatchPlaceholder));
        SetQRCode(QString::fromLatin1(kNoBatchPlaceholder));
    }

    if (present(kMcuID))
        AddValueRow(pDevTable, nRow++, kMcuID, value(kMcuID));
    if (present(kVid) && present(kPid))
        AddValueRow(pDevTable, nRow++, tr("Product id"), value(kVid) + QLatin1Char('-') + value(kPid));
    if (present(kVersion))
        AddValueRow(pDevTable, nRow++, kVersion, value(kVersion));
    if (present(kCheckSum))
        AddValueRow(pDevTable, nRow++, kCheckSum, value(kCheckSum));
    if (present(kBootVersion)) {
        AddHeadingRow(pDevTable, nRow++, tr("Boot Information"));
        AddValueRow(pDevTable, nRow++, kBootVersion, value(kBootVersion));
    }
    if (present(kBootCheckSum))
        AddValueRow(pDevTable, nRow++, kBootCheckSum, value(kBootCheckSum));

    QTableWidget* pAppTable = ui->appInfoWidget;
    ResetInfoTable(pAppTable);
    if (!lstAppInfo.isEmpty()) {
        AddHeadingRow(pAppTable, 0, tr("Runtimes Information"));
        int nAppRow = 1;
        for (const auto& pair : lstAppInfo)
            AddValueRow(pAppTable, nAppRow++, pair.first, pair.second);
    }
}

void MainWindow::SetQRCode(const QString& text)
{
    if (text.isEmpty())
        return;
    ui->showSNLabel->setPixmap(MakeQRCodePixmap(text, kQRCodeSize, kQRCodeSize));
    ui->snLabel->show();
    ui->snWidget->show();
}

QPixmap MainWindow::MakeQRCodePixmap(const QString& text, int width, int height)
{
    const QByteArray utf8 = text.toUtf8();
    QRcode* pCode = QRcode_encodeString(utf8.constData(), 2, QR_ECLEVEL_Q, QR_MODE_8, 1);
    if (!pCode)
        return QPixmap();
    if (pCode->width < 1 || width < 1 || height < 1) {
        QRcode_free(pCode);
        return QPixmap();
    }

    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const int nModules = pCode->width;
    const double dModuleW = double(width) / nModules;
    const double dModuleH = double(height) / nModules;
    for (int y = 0; y < nModules; ++y) {
        for (int x = 0; x < nModules; ++x) {
            if (pCode->data[y * nModules + x] & 0x01)
                painter.drawRect(QRectF(x * dModuleW, y * dModuleH, dModuleW, dModuleH));
        }
    }
    painter.end();
    QRcode_free(pCode);
    return QPixmap::fromImage(image);
}
