#include "caladvancedsettingview.h"

#include "calframecheck.h"
#include "handlework.h"
#include "stationclock.h"
#include "toast.h"
#include "ui_caladvancedsettingview.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QTouchEvent>

namespace {
constexpr int kRepaintMs = 60;
// How soon a refused read of the values is asked again.
constexpr int kReadRetryMs = 20;
} // namespace

QString CCalAdvancedSettingView::ValueText(int32_t nValue)
{
    // The sign after the prefix: QString::number writes a negative number
    // in base 16 as its 64-bit two's complement.
    const QString digits = QString::number(qAbs(qint64(nValue)), 16);
    return QStringLiteral("0x") + (nValue < 0 ? QStringLiteral("-") + digits : digits);
}

QList<QRect> CCalAdvancedSettingView::Zones(const QSize& screen)
{
    const int w = screen.width();
    const int h = screen.height();
    return {
        QRect(0, h / 4, h / 8 + 20, h / 2),
        QRect(w / 2 - h / 4, 0, h / 2, h / 8 + 20),
        QRect(w - h / 8, h / 4, h / 8 + 20, h / 2),
        QRect(w / 2 - h / 4, h - h / 8, h / 2, h / 8 + 20),
    };
}

QRect CCalAdvancedSettingView::DotRect(const QPointF& touch)
{
    // Truncated toward zero, as the frame's first touch at (0, 0) shows.
    return QRect(int(touch.x() - 2.0), int(touch.y() - 2.0), 4, 4);
}

CCalAdvancedSettingView::CCalAdvancedSettingView(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent), ui(new Ui::CalDialog), m_pHandleWork(pHandleWork)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_AcceptTouchEvents);
    if (const QScreen* pScreen = QGuiApplication::primaryScreen())
        SetScreenSize(pScreen->geometry().size());

    m_pRepaintTimer = new QTimer();
    m_pRepaintTimer->setInterval(CStationClock::Timeout(kRepaintMs));
    connect(m_pRepaintTimer, &QTimer::timeout, this, QOverload<>::of(&QWidget::update));
    m_pReadRetryTimer = new QTimer(this);
    m_pReadRetryTimer->setSingleShot(true);
    connect(m_pReadRetryTimer, &QTimer::timeout, this, &CCalAdvancedSettingView::ReadValues);

    connect(ui->btn_ltl, &QPushButton::clicked, this, &CCalAdvancedSettingView::Btn_LtL_Response);
    connect(ui->btn_ltr, &QPushButton::clicked, this, &CCalAdvancedSettingView::Btn_LtR_Response);
    connect(ui->btn_rtr, &QPushButton::clicked, this, &CCalAdvancedSettingView::Btn_RtR_Response);
    connect(ui->btn_rtl, &QPushButton::clicked, this, &CCalAdvancedSettingView::Btn_RtL_Response);
    connect(ui->btn_btb, &QPushButton::clicked, this, &CCalAdvancedSettingView::Btn_BtB_Response);
    connect(ui->btn_btt, &QPushButton::clicked, this, &CCalAdvancedSettingView::Btn_BtT_Response);
    connect(ui->btn_ttt, &QPushButton::clicked, this, &CCalAdvancedSettingView::Btn_TtT_Response);
    connect(ui->btn_ttb, &QPushButton::clicked, this, &CCalAdvancedSettingView::Btn_TtB_Response);
    connect(ui->btn_reset, &QPushButton::clicked, this, &CCalAdvancedSettingView::Btn_Reset_Response);
    connect(ui->btn_exit, &QPushButton::clicked, this, &CCalAdvancedSettingView::Btn_Exit_Response);
    if (pHandleWork) {
        connect(pHandleWork, &HandleWork::UpdateCalibrationData, this, &CCalAdvancedSettingView::ResetCalibrationData);
        connect(this, &CCalAdvancedSettingView::CloseThisView, pHandleWork, &HandleWork::ExitCurrentWork);
    }
    connect(qApp, &QCoreApplication::aboutToQuit, this, &CCalAdvancedSettingView::LeaveAtProgramEnd);
}

CCalAdvancedSettingView::~CCalAdvancedSettingView()
{
    // Destroyed with the main window, after the dispatcher: nothing here
    // reaches it.
    if (m_bChanged)
        qWarning().noquote() << "~CCalAdvancedSettingView : the calibration values changed by hand are neither "
                                "stored nor reset";
    delete m_pRepaintTimer;
    delete ui;
}

void CCalAdvancedSettingView::SetScreenSize(const QSize& size)
{
    m_nScreenWidth = size.width();
    m_nScreenHeight = size.height();
}

bool CCalAdvancedSettingView::StationClosing() const
{
    return m_bProgramEnd || !m_pHandleWork || m_pHandleWork->IsWorkerStopped();
}

void CCalAdvancedSettingView::InitSettingView()
{
    // The boxes keep their text until the dispatcher answers.
    ReadValues();
    m_bChanged = false;

    struct SArrow
    {
        QPushButton* pButton;
        QString tip;
        const char* szImage;
    };
    const SArrow arrows[] = {
        {ui->btn_ltl, tr("The left area is to the right, adjust to the left"), "toleft"},
        {ui->btn_ltr, tr("Left area to the left, adjust to the right"), "toright"},
        {ui->btn_rtl, tr("The right area is to the right, adjust to the left"), "toleft"},
        {ui->btn_rtr, tr("The right area is to the left, adjust to the right"), "toright"},
        {ui->btn_ttt, tr("The upper area is down, adjust up"), "totop"},
        {ui->btn_ttb, tr("The upper area is upward, adjust downward"), "tobottom"},
        {ui->btn_btb, tr("The lower area is on the upper side, adjust downward"), "tobottom"},
        {ui->btn_btt, tr("The lower area is down, adjust up"), "totop"},
    };
    for (const SArrow& arrow : arrows)
        arrow.pButton->setToolTip(arrow.tip);
    // These name no image the station holds: the buttons keep their icons.
    for (const SArrow& arrow : arrows)
        arrow.pButton->setStyleSheet(
            QStringLiteral("border-image:url(:/image/icon/button/%1.png)").arg(QLatin1String(arrow.szImage)));
    m_pRepaintTimer->start();
}

void CCalAdvancedSettingView::ReadValues()
{
    if (StationClosing())
        return;
    if (m_pHandleWork->PostTask(QStringLiteral("READ_CAL_VALUES"), Qt::AutoConnection, this))
        return;
    // Another read runs (the other manual screen's, say) and answers its own
    // poster only: this one is asked again once that has ended, so the boxes
    // end on what the station holds.
    qDebug().noquote() << "CCalAdvancedSettingView : a read of the calibration values is already running; asked "
                          "again in a moment";
    if (!m_pReadRetryTimer->isActive())
        m_pReadRetryTimer->start(CStationClock::Timeout(kReadRetryMs));
}

void CCalAdvancedSettingView::ResetCalibrationData()
{
    ReadValues();
}

void CCalAdvancedSettingView::CalValuesRead(int lx, int ly, int rx, int ry)
{
    m_nLX = lx;
    m_nLY = ly;
    m_nRX = rx;
    m_nRY = ry;
    ShowValues();
}

void CCalAdvancedSettingView::ShowValues()
{
    ui->edit_left->setText(ValueText(m_nLX));
    ui->edit_right->setText(ValueText(m_nRX));
    ui->edit_top->setText(ValueText(m_nLY));
    ui->edit_bottom->setText(ValueText(m_nRY));
}

void CCalAdvancedSettingView::PostArrow(const char* szTask)
{
    if (m_pHandleWork)
        m_pHandleWork->PostTask(QString::fromLatin1(szTask));
    // Also when the dispatcher refused it: the operator pressed it.
    m_bChanged = true;
}

void CCalAdvancedSettingView::Btn_LtL_Response()
{
    PostArrow("CAL_LTL");
}

void CCalAdvancedSettingView::Btn_LtR_Response()
{
    PostArrow("CAL_LTR");
}

void CCalAdvancedSettingView::Btn_RtL_Response()
{
    PostArrow("CAL_RTL");
}

void CCalAdvancedSettingView::Btn_RtR_Response()
{
    PostArrow("CAL_RTR");
}

void CCalAdvancedSettingView::Btn_TtT_Response()
{
    PostArrow("CAL_TTT");
}

void CCalAdvancedSettingView::Btn_TtB_Response()
{
    PostArrow("CAL_TTB");
}

void CCalAdvancedSettingView::Btn_BtB_Response()
{
    PostArrow("CAL_BTB");
}

void CCalAdvancedSettingView::Btn_BtT_Response()
{
    PostArrow("CAL_BTT");
}

void CCalAdvancedSettingView::Btn_Reset_Response()
{
    if (m_pHandleWork)
        m_pHandleWork->PostTask(QStringLiteral("RESET_CAL_DATA"));
}

void CCalAdvancedSettingView::Btn_Exit_Response()
{
    ExitWithSavePrompt();
}

bool CCalAdvancedSettingView::ExitWithSavePrompt()
{
    // Whether the operator left from this screen: asked before the question,
    // whose box takes the activation while it is open.
    const bool bActive = isActiveWindow();
    m_pRepaintTimer->stop();
    // A read asked again is for the boxes of the screen that goes now.
    m_pReadRetryTimer->stop();
    if (m_bChanged) {
        if (StationClosing()) {
            qWarning().noquote() << "ExitWithSavePrompt : the station closes; the calibration values changed by "
                                    "hand are neither stored nor reset";
        } else {
            // The answer is for the frame whose values were moved: noted
            // before the question's own event loop.
            const CCalFrameCheck frame(m_pHandleWork);
            const QMessageBox::StandardButton answer = QMessageBox::information(
                this, tr("Calibration is complete"),
                tr("The calibration parameters have been modified, do you want to save the current parameters!"),
                QMessageBox::Yes | QMessageBox::No);
            const bool bAnswered = answer == QMessageBox::Yes || answer == QMessageBox::No;
            if (bAnswered
                && !frame.StillTheFrame("ExitWithSavePrompt", "save question",
                                        answer == QMessageBox::Yes ? "keep the values" : "reset them")) {
                CToast::Instance()->ShowTip(2, CCalFrameCheck::NotAppliedText());
            } else if (answer == QMessageBox::Yes) {
                for (const char* szTask : {"SET_CAL_FMT", "SAVE_TO_FLASH", "SAVE_AS_DEFAULT", "GET_CAL_DATA"})
                    m_pHandleWork->PostTask(QString::fromLatin1(szTask));
            } else if (answer == QMessageBox::No) {
                m_pHandleWork->PostTask(QStringLiteral("RESET_CAL_DATA"));
            }
        }
        m_bChanged = false;
    }
    if (!bActive)
        return false;
    const bool bWasLeaving = m_bLeaving;
    m_bLeaving = true;
    const bool bClosed = close();
    m_bLeaving = bWasLeaving;
    return bClosed;
}

void CCalAdvancedSettingView::closeEvent(QCloseEvent* event)
{
    // A close by the window system takes the same road as Exit.
    if (!m_bLeaving) {
        m_bLeaving = true;
        ExitWithSavePrompt();
        m_bLeaving = false;
    }
    event->accept();
}

void CCalAdvancedSettingView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() != Qt::Key_Escape)
        return;
    // First the wait for the frame is ended (an edge move on a frame that
    // does not answer), then the save or reset tasks are posted, which must
    // not be cut short.
    emit CloseThisView();
    ExitWithSavePrompt();
}

bool CCalAdvancedSettingView::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd: {
        const auto* pTouch = static_cast<QTouchEvent*>(event);
        bool bOnButton = false;
        for (const QTouchEvent::TouchPoint& point : pTouch->touchPoints()) {
            if (point.state() == Qt::TouchPointStationary)
                continue;
            m_dTouchX = point.pos().x();
            m_dTouchY = point.pos().y();
            update();
            if (event->type() == QEvent::TouchBegin && IsOnButton(point.pos()))
                bOnButton = true;
        }
        if (bOnButton) {
            // Left unhandled, so that the window system turns the touch into
            // a click of the button under the finger (the frame stays in its
            // touch format on this screen); the rest of this touch then does
            // not come here.
            event->ignore();
            return false;
        }
        event->accept();
        return true;
    }
    default:
        return QDialog::event(event);
    }
}

bool CCalAdvancedSettingView::IsOnButton(const QPointF& pos) const
{
    for (QWidget* pChild = childAt(pos.toPoint()); pChild && pChild != this; pChild = pChild->parentWidget()) {
        if (qobject_cast<QAbstractButton*>(pChild))
            return true;
    }
    return false;
}

void CCalAdvancedSettingView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(QPen(QBrush(QColor(0, 0, 255)), 5.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(DotRect(QPointF(m_dTouchX, m_dTouchY)));
    for (const QRect& zone : Zones(QSize(m_nScreenWidth, m_nScreenHeight)))
        painter.drawRect(zone);
}

void CCalAdvancedSettingView::LeaveAtProgramEnd()
{
    m_bProgramEnd = true;
    m_pRepaintTimer->stop();
    m_pReadRetryTimer->stop();
    if (m_bChanged) {
        qWarning().noquote() << "LeaveAtProgramEnd : the calibration values changed by hand are neither stored "
                                "nor reset";
        m_bChanged = false;
    }
}
