#include "finetuningcalibrateview.h"

#include "calframecheck.h"
#include "comportusb.h"
#include "handlework.h"
#include "hardwareinterface.h"
#include "stationclock.h"
#include "toast.h"
#include "ui_finetuningcalibrateview.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QMutexLocker>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <cstdlib>

namespace {
// A long press adjusts once the counter is above this (40 still ticks).
constexpr int kLongPressCount = 799;
constexpr int kStillStep = 20;
// A move of more than this many pixels from the anchor starts a new count.
constexpr int kStillPixels = 3;
constexpr int kCalTickMs = 10;
// How long the program end waits for the frame to leave fine tuning.
constexpr int kExitWaitMs = 2000;

QPen DashedPen(const QColor& colour, int nWidth)
{
    QPen pen(colour);
    pen.setWidth(nWidth);
    pen.setCapStyle(Qt::SquareCap);
    pen.setJoinStyle(Qt::BevelJoin);
    // Dashes and gaps of two pen widths.
    pen.setDashPattern(QVector<qreal>(10, 2));
    return pen;
}
} // namespace

CFineTuningCalibrateView::SGeometry CFineTuningCalibrateView::Geometry(const QSize& screen)
{
    const int w = screen.width();
    const int h = screen.height();
    SGeometry g;
    g.leftTop = QPoint(w / 8, h / 8);
    g.rightBottom = QPoint((w * 7) / 8, (h * 7) / 8);
    g.nHitHalf = h / 16;
    g.nSquare = h / 8;
    return g;
}

bool CFineTuningCalibrateView::InSquare(const QPoint& point, const QPoint& dot, int nHitHalf)
{
    return dot.x() - nHitHalf < point.x() && point.x() < dot.x() + nHitHalf && dot.y() - nHitHalf < point.y() &&
           point.y() < dot.y() + nHitHalf;
}

QPoint CFineTuningCalibrateView::Adjustment(const QPoint& offset)
{
    const auto step = [](int d) {
        const int nSize = std::abs(d) <= kStillPixels ? 1 : std::abs(d);
        return d >= 0 ? nSize : -nSize;
    };
    return QPoint(step(offset.x()), step(offset.y()));
}

QRect CFineTuningCalibrateView::PromptRect(const QSize& screen, bool bLeftTop, const QSize& text)
{
    const int w = screen.width();
    const int h = screen.height();
    if (bLeftTop)
        return QRect(w / 8 + h / 16 + 10, h / 8 + h / 16 + 10 - text.height(), text.width(), text.height());
    return QRect((w * 7) / 8 - h / 16 - 10 - text.width(), (h * 7) / 8 - h / 16 - 10 - text.height(), text.width(),
                 text.height());
}

QLine CFineTuningCalibrateView::LeaderLine(const QSize& screen, bool bLeftTop)
{
    const int w = screen.width();
    const int h = screen.height();
    if (bLeftTop)
        return QLine(w / 8, h / 8, w / 8 + h / 16 + 10, h / 8 + h / 16 + 10);
    return QLine((w * 7) / 8 - h / 16 - 10, (h * 7) / 8 - h / 16 - 10, (w * 7) / 8, (h * 7) / 8);
}

CFineTuningCalibrateView::CFineTuningCalibrateView(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent), ui(new Ui::FineTuningDialog), m_pHandleWork(pHandleWork)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_AcceptTouchEvents);
    if (const QScreen* pScreen = QGuiApplication::primaryScreen())
        SetScreenSize(pScreen->geometry().size());

    m_pCalTimer = new QTimer();
    m_pCalTimer->setInterval(CStationClock::Timeout(kCalTickMs));

    if (pHandleWork) {
        connect(this, &CFineTuningCalibrateView::emitInterruptCurrentRecvWork, pHandleWork,
                &HandleWork::ExitCurrentWork);
    }
    connect(ui->Btn_Exit, &QPushButton::clicked, this, &CFineTuningCalibrateView::CloseFineTuningCal);
    connect(ui->Btn_Reset, &QPushButton::clicked, this, &CFineTuningCalibrateView::Btn_Reset_Response);
    if (pHandleWork) {
        connect(this, &CFineTuningCalibrateView::StartCalibrate, pHandleWork, &HandleWork::StartFineTuningCalibrate);
        connect(this, &CFineTuningCalibrateView::ExitCalibrate, pHandleWork, &HandleWork::ExitFineTuningCalibrate);
    }
    connect(m_pCalTimer, &QTimer::timeout, this, &CFineTuningCalibrateView::CalWork);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &CFineTuningCalibrateView::LeaveAtProgramEnd);
}

CFineTuningCalibrateView::~CFineTuningCalibrateView()
{
    // The dispatcher may be gone already: nothing here reaches it.
    if (m_bRunning)
        qWarning().noquote() << "~CFineTuningCalibrateView : fine tuning was not left; the frame stays in the mouse "
                                "format";
    if (m_bCalModified)
        qWarning().noquote() << "~CFineTuningCalibrateView : the calibration values changed by fine tuning are "
                                "neither stored nor reset";
    delete m_pCalTimer;
    delete ui;
}

void CFineTuningCalibrateView::SetScreenSize(const QSize& size)
{
    QMutexLocker lock(&m_mutex);
    m_nScreenWidth = size.width();
    m_nScreenHeight = size.height();
}

bool CFineTuningCalibrateView::StationClosing() const
{
    return m_bProgramEnd || !m_pHandleWork || m_pHandleWork->IsWorkerStopped();
}

void CFineTuningCalibrateView::StartFineTuningCal()
{
    {
        QMutexLocker lock(&m_mutex);
        m_bLeftTopDot = true;
        m_bCalModified = false;
        m_ptCurrent = QPoint(0, 0);
        m_ptAnchor = QPoint(-1, -1);
        m_nLongPressCount = 0;
        ++m_nPress;
    }
    m_bRunning = true;
    m_bExitAnswered = false;
    // The dispatcher switches the frame's interfaces to the mouse format.
    emit StartCalibrate();
    m_pCalTimer->start();
}

void CFineTuningCalibrateView::Btn_Reset_Response()
{
    if (m_pHandleWork)
        m_pHandleWork->PostTask(QStringLiteral("RESET_CAL_DATA"));
    m_bCalModified = false;
}

void CFineTuningCalibrateView::CloseFineTuningCal()
{
    const bool bClosing = StationClosing();
    if (bClosing && m_bRunning)
        qWarning().noquote() << "CloseFineTuningCal : the station closes; the frame stays in the mouse format";
    // Before the question: the save or reset tasks run after the frame got
    // its touch formats back.
    emit ExitCalibrate(m_bCalModified);
    m_pCalTimer->stop();
    m_bRunning = false;

    if (m_bCalModified && bClosing) {
        qWarning().noquote() << "CloseFineTuningCal : the calibration values changed by fine tuning are neither "
                                "stored nor reset";
        m_bCalModified = false;
    } else if (m_bCalModified) {
        // The answer is for the frame that was tuned: noted before the
        // question's own event loop.
        const CCalFrameCheck frame(m_pHandleWork);
        const QMessageBox::StandardButton answer =
            QMessageBox::information(this, tr("Calibration is complete"), tr("Do you want to save the current parameters!"),
                                     QMessageBox::Yes | QMessageBox::No);
        const bool bAnswered = answer == QMessageBox::Yes || answer == QMessageBox::No;
        if (bAnswered
            && !frame.StillTheFrame("CloseFineTuningCal", "save question",
                                    answer == QMessageBox::Yes ? "keep the values" : "reset them")) {
            // The values tuned went with the frame that left.
            CToast::Instance()->ShowTip(2, CCalFrameCheck::NotAppliedText());
            m_bCalModified = false;
        } else if (answer == QMessageBox::Yes) {
            for (const char* szTask : {"SET_CAL_FMT", "SAVE_TO_FLASH", "SAVE_AS_DEFAULT", "GET_CAL_DATA"})
                m_pHandleWork->PostTask(QString::fromLatin1(szTask));
            m_bCalModified = false;
        } else if (answer == QMessageBox::No) {
            m_pHandleWork->PostTask(QStringLiteral("RESET_CAL_DATA"));
            m_bCalModified = false;
        }
        // Closed without an answer: nothing is posted, the flag stays.
    }
    {
        QMutexLocker lock(&m_mutex);
        m_nLongPressCount = 0;
    }
    CloseScreen();
}

void CFineTuningCalibrateView::CloseScreen()
{
    const bool bWasLeaving = m_bLeaving;
    m_bLeaving = true;
    close();
    m_bLeaving = bWasLeaving;
}

void CFineTuningCalibrateView::closeEvent(QCloseEvent* event)
{
    // A close by the window system takes the same road as Exit.
    if (!m_bLeaving && m_bRunning) {
        m_bLeaving = true;
        CloseFineTuningCal();
        m_bLeaving = false;
    }
    event->accept();
}

void CFineTuningCalibrateView::LeaveAtProgramEnd()
{
    m_bProgramEnd = true;
    if (!m_bRunning)
        return;
    m_bRunning = false;
    m_pCalTimer->stop();
    if (m_bCalModified) {
        qWarning().noquote() << "LeaveAtProgramEnd : the calibration values changed by fine tuning are neither "
                                "stored nor reset";
        m_bCalModified = false;
    }
    // The worker still runs: the frame gets its touch formats back, waited
    // for a bounded time.
    m_bExitAnswered = false;
    m_bExitFormatsRead = true;
    if (m_pHandleWork && m_pHandleWork->PostTask(QStringLiteral("ExitFineTuningCalibrate"), Qt::AutoConnection, this)) {
        QEventLoop loop;
        QTimer timeout;
        timeout.setSingleShot(true);
        connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
        timeout.start(CStationClock::Timeout(kExitWaitMs));
        m_pExitLoop = &loop;
        if (!m_bExitAnswered)
            loop.exec();
        m_pExitLoop = nullptr;
    }
    if (!m_bExitAnswered) {
        qWarning().noquote() << "LeaveAtProgramEnd : the frame did not leave fine tuning; it stays in the mouse format";
    } else if (!m_bExitFormatsRead) {
        qWarning().noquote() << "LeaveAtProgramEnd : the frame's touch formats were not read when fine tuning"
                             << "started, none were given back"
                             << QStringLiteral("(0x%1);").arg(uint32_t(m_nExitResult), 0, 16)
                             << "it stays in the mouse format";
    } else if (m_nExitResult != 0) {
        qWarning().noquote() << "LeaveAtProgramEnd : the frame did not take back its touch formats,"
                             << QStringLiteral("0x%1;").arg(uint32_t(m_nExitResult), 0, 16)
                             << "it stays in the mouse format";
    }
    {
        QMutexLocker lock(&m_mutex);
        m_nLongPressCount = 0;
    }
    CloseScreen();
}

void CFineTuningCalibrateView::FineTuningExited(int result, bool bFormatsRead)
{
    m_bExitAnswered = true;
    m_nExitResult = result;
    m_bExitFormatsRead = bFormatsRead;
    if (m_pExitLoop)
        m_pExitLoop->quit();
}

void CFineTuningCalibrateView::CalDataSent(int result)
{
    m_bSendPending = false;
    if (result < 0) {
        qWarning().noquote() << "CalDataSent : the frame did not take the calibration values,"
                             << QStringLiteral("0x%1;").arg(uint32_t(result), 0, 16)
                             << "no further adjustment in this press";
        QMutexLocker lock(&m_mutex);
        m_nStoppedPress = m_nSendPress;
    }
}

void CFineTuningCalibrateView::BeginPress(const QPoint& pos)
{
    QMutexLocker lock(&m_mutex);
    m_ptCurrent = pos;
    m_ptAnchor = pos;
    m_nLongPressCount = 0;
    ++m_nPress;
}

void CFineTuningCalibrateView::mousePressEvent(QMouseEvent* event)
{
    BeginPress(event->pos());
    update();
}

void CFineTuningCalibrateView::mouseMoveEvent(QMouseEvent* event)
{
    {
        QMutexLocker lock(&m_mutex);
        m_ptCurrent = event->pos();
    }
    update();
}

void CFineTuningCalibrateView::mouseReleaseEvent(QMouseEvent* event)
{
    {
        QMutexLocker lock(&m_mutex);
        m_ptCurrent = event->pos();
        m_nLongPressCount = 0;
        ++m_nPress;
    }
    update();
}

void CFineTuningCalibrateView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        CloseFineTuningCal();
    // Every other key is consumed: the dialog's own key handling never runs.
    event->accept();
}

void CFineTuningCalibrateView::CalWork()
{
    // Nothing to do unless a paint (following a pointer event) came since
    // the last tick: an untouched screen costs this test.
    if (!m_bPainted)
        return;
    QMutexLocker lock(&m_mutex);
    const SGeometry g = Geometry(QSize(m_nScreenWidth, m_nScreenHeight));
    if (InSquare(m_ptCurrent, g.leftTop, g.nHitHalf)) {
        m_bLeftTopDot = true;
    } else if (InSquare(m_ptCurrent, g.rightBottom, g.nHitHalf)) {
        m_bLeftTopDot = false;
    } else {
        // Outside both squares: counter and anchor keep their values.
        m_bPainted = false;
        return;
    }

    if (m_nLongPressCount > kLongPressCount) {
        const QPoint dot = m_bLeftTopDot ? g.leftTop : g.rightBottom;
        if (m_ptCurrent == dot) {
            // Exactly on the dot: the other dot becomes the active one.
            m_bLeftTopDot = !m_bLeftTopDot;
        } else if (!AdjustOnce()) {
            // Tried again at the next tick.
            return;
        }
    } else if (std::abs(m_ptAnchor.x() - m_ptCurrent.x()) <= kStillPixels &&
               std::abs(m_ptAnchor.y() - m_ptCurrent.y()) <= kStillPixels) {
        m_nLongPressCount += kStillStep;
    } else {
        m_nLongPressCount = 0;
        m_ptAnchor = m_ptCurrent;
    }
    m_bPainted = false;
}

bool CFineTuningCalibrateView::AdjustOnce()
{
    if (m_nStoppedPress == m_nPress)
        return true;
    // The dispatcher keeps the live device object (and its values) after the
    // frame has left: no frame on the bus, nothing to adjust either.
    CComPortUsb* pPort = m_pHandleWork ? m_pHandleWork->GetUsbPort() : nullptr;
    if (!m_pHandleWork || m_pHandleWork->GetDeviceKind() != HandleWork::DeviceKind::Live || !pPort ||
        pPort->GetDevCount() <= 0) {
        if (m_nNoFrameLoggedPress != m_nPress) {
            qInfo().noquote() << "CalWork : no frame is plugged; nothing is adjusted";
            m_nNoFrameLoggedPress = m_nPress;
        }
        return true;
    }
    if (m_bSendPending)
        return false;

    // Never waited for: a task may hold the device for minutes.
    QMutex* pDeviceMutex = m_pHandleWork->GetDeviceMutex();
    if (!pDeviceMutex->tryLock())
        return false;
    auto* pDevice = dynamic_cast<HardwareInterface*>(m_pHandleWork->GetTouchDevice());
    const SGeometry g = Geometry(QSize(m_nScreenWidth, m_nScreenHeight));
    const double dHalf = 0.5 * g.nSquare;
    const auto within = [&](const QPoint& dot) {
        return std::abs(m_ptCurrent.x() - dot.x()) < dHalf && std::abs(m_ptCurrent.y() - dot.y()) < dHalf;
    };
    bool bAdjusted = false;
    if (pDevice && within(g.leftTop)) {
        AdjustPair(pDevice, true, m_ptCurrent - g.leftTop);
        bAdjusted = true;
    } else if (pDevice && within(g.rightBottom)) {
        AdjustPair(pDevice, false, m_ptCurrent - g.rightBottom);
        bAdjusted = true;
    }
    pDeviceMutex->unlock();
    if (!bAdjusted)
        return true;

    m_bCalModified = true;
    if (m_pHandleWork->PostTask(QStringLiteral("SendCalDataToDev"), Qt::AutoConnection, this)) {
        m_bSendPending = true;
        m_nSendPress = m_nPress;
    } else {
        qWarning().noquote() << "CalWork : the send of the calibration values was refused; the next adjustment "
                                "sends them";
    }
    return true;
}

void CFineTuningCalibrateView::AdjustPair(HardwareInterface* pDevice, bool bLeftPair, const QPoint& offset)
{
    // The caller holds the device mutex: the object's own getters and
    // setters, never the dispatcher's (they lock the same mutex).
    const QPoint delta = Adjustment(offset);
    if (bLeftPair) {
        pDevice->SetCalLX(pDevice->GetCalLX() + delta.x());
        pDevice->SetCalLY(pDevice->GetCalLY() + delta.y());
    } else {
        pDevice->SetCalRX(pDevice->GetCalRX() + delta.x());
        pDevice->SetCalRY(pDevice->GetCalRY() + delta.y());
    }
    qDebug().noquote() << "CalWork :" << (bLeftPair ? "LX, LY" : "RX, RY") << "moved by" << delta.x() << delta.y();
}

void CFineTuningCalibrateView::paintEvent(QPaintEvent*)
{
    QMutexLocker lock(&m_mutex);
    QPainter painter(this);
    DrawPicture(&painter);
    m_bPainted = true;
}

void CFineTuningCalibrateView::DrawPicture(QPainter* p)
{
    const QSize screen(m_nScreenWidth, m_nScreenHeight);
    const int w = m_nScreenWidth;
    const int h = m_nScreenHeight;

    // Guide lines through the dots.
    p->setPen(DashedPen(QColor(0, 255, 0), 3));
    p->drawLine(0, h / 8, w, h / 8);
    p->drawLine(0, (h * 7) / 8, w, (h * 7) / 8);
    p->drawLine(w / 8, 0, w / 8, h);
    p->drawLine((w * 7) / 8, 0, (w * 7) / 8, h);

    // The squares around the dots.
    QPen square(QColor(0, 0, 255));
    square.setWidth(2);
    p->setPen(square);
    p->setBrush(Qt::NoBrush);
    p->drawRect(w / 8 - h / 16, h / 8 - h / 16, h / 8, h / 8);
    p->drawRect((w * 7) / 8 - h / 16, (h * 7) / 8 - h / 16, h / 8, h / 8);

    // The prompt beside the active dot.
    QFont font(QStringLiteral("楷体"));
    font.setPointSize(20);
    font.setWeight(75);
    font.setItalic(true);
    font.setUnderline(true);
    p->setFont(font);
    QPen prompt(QColor(0, 0, 255));
    prompt.setWidth(1);
    p->setPen(prompt);
    const QString text = tr("Please long press the dot to calibrate");
    const QFontMetrics metrics(font);
    const QSize textSize(metrics.horizontalAdvance(text), metrics.height());
    // The slant of the italic reaches beyond the measured width: not clipped.
    const int nFlags = (m_bLeftTopDot ? (Qt::AlignLeft | Qt::AlignHCenter | Qt::AlignVCenter)
                                      : (Qt::AlignRight | Qt::AlignHCenter | Qt::AlignVCenter)) |
                       Qt::TextDontClip;
    p->drawText(PromptRect(screen, m_bLeftTopDot, textSize), nFlags, text);

    p->setPen(DashedPen(QColor(0, 0, 255), 2));
    p->drawLine(LeaderLine(screen, m_bLeftTopDot));

    // The dots: 5 x 5 squares.
    QPen dot(QColor(255, 0, 0));
    dot.setWidth(5);
    dot.setCapStyle(Qt::SquareCap);
    p->setPen(dot);
    const SGeometry g = Geometry(screen);
    p->drawPoint(g.leftTop);
    p->drawPoint(g.rightBottom);
}
