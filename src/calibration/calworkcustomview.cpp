#include "calworkcustomview.h"

#include "handlework.h"
#include "stationclock.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMutexLocker>
#include <QPainter>
#include <QScreen>
#include <QTimer>

#include <cmath>

namespace {
constexpr int kFrames = 4;

QPen TargetPen(const QColor& colour)
{
    QPen pen(colour, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    return pen;
}
} // namespace

CCalWorkCustomView::CCalWorkCustomView(QWidget* parent, HandleWork* pHandleWork)
    : QDialog(parent), m_pHandleWork(pHandleWork)
{
    setWindowFlag(Qt::FramelessWindowHint, true);
    m_nCountDown = kCountDownSeconds;
    m_nCalStep = 0;
    m_nAnimFrame = -1;
    // The size of the primary screen now; the screen always draws for it.
    QSize screen(800, 600);
    if (QScreen* pScreen = QGuiApplication::primaryScreen())
        screen = pScreen->geometry().size();
    SetScreenSize(screen);

    m_pCountDownTimer = new QTimer;
    m_pRepaintTimer = new QTimer;
    connect(m_pRepaintTimer, &QTimer::timeout, this, QOverload<>::of(&QWidget::update));
    connect(m_pCountDownTimer, &QTimer::timeout, this, &CCalWorkCustomView::UpdateCalCountDownTime);
    if (m_pHandleWork) {
        connect(m_pHandleWork, &HandleWork::UpdateCalStep, this, &CCalWorkCustomView::UpdateCalStepDrawing);
        connect(this, &CCalWorkCustomView::emitInterruptCurrentRecvWork, m_pHandleWork,
                &HandleWork::ExitCurrentWork);
        connect(this, &CCalWorkCustomView::UpdateCountDown, m_pHandleWork, &HandleWork::ChangeCalStepTimeout);
        connect(this, &CCalWorkCustomView::CloseThisView, m_pHandleWork, &HandleWork::ExitCurrentWork);
    }
}

CCalWorkCustomView::~CCalWorkCustomView()
{
    delete m_pCountDownTimer;
    delete m_pRepaintTimer;
}

void CCalWorkCustomView::SetScreenSize(const QSize& size)
{
    m_nScreenWidth = size.width();
    m_nScreenHeight = size.height();
    m_nInnerRingOffset = m_nScreenWidth / 60;
    m_nRingSpacing = m_nScreenWidth / 180;
}

void CCalWorkCustomView::SetScreenSizeForTest(const QSize& size)
{
    SetScreenSize(size);
}

bool CCalWorkCustomView::IsCountingDown() const
{
    return m_pCountDownTimer->isActive();
}

bool CCalWorkCustomView::IsRepainting() const
{
    return m_pRepaintTimer->isActive();
}

void CCalWorkCustomView::StartCalCountDown()
{
    m_nCountDown = kCountDownSeconds;
    m_nCalStep = 0;
    m_nAnimFrame = -1;
    m_pCountDownTimer->start(CStationClock::Timeout(kCountDownTickMs));
    m_pRepaintTimer->start(CStationClock::Timeout(kRepaintMs));
    emit UpdateCountDown(kCountDownSeconds);
}

void CCalWorkCustomView::StopCalWork()
{
    m_pCountDownTimer->stop();
    m_pRepaintTimer->stop();
    if (m_nCalStep != 5)
        emit emitInterruptCurrentRecvWork();
    // A screen that lost the activation (to a message box, say) stays up
    // with its last picture until it is activated and left, or started again.
    if (isActiveWindow())
        close();
}

void CCalWorkCustomView::UpdateCalCountDownTime()
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_nCountDown != 0) {
            --m_nCountDown;
            emit UpdateCountDown(m_nCountDown);
            return;
        }
    }
    // The 0 has been shown for a second. (Outside the lock: nothing the stop
    // does may paint this screen while the lock is held.)
    StopCalWork();
}

void CCalWorkCustomView::UpdateCalStepDrawing(int step)
{
    m_nCalStep = step;
    if (step == 5)
        close();
}

void CCalWorkCustomView::keyPressEvent(QKeyEvent* event)
{
    // Every key is consumed: Escape ends the calibration, the others do
    // nothing (Enter does not close the screen).
    if (event->key() == Qt::Key_Escape)
        StopCalWork();
    event->accept();
}

QPoint CCalWorkCustomView::TargetOf(const QSize& screen, int nStep)
{
    const int w = screen.width();
    const int h = screen.height();
    switch (nStep) {
    case 0:
    case 1:
        return QPoint(w / 8, h / 8);
    case 2:
        return QPoint((w * 7) / 8, h / 8);
    case 3:
        return QPoint((w * 7) / 8, (h * 7) / 8);
    case 4:
        return QPoint(w / 8, (h * 7) / 8);
    default:
        return QPoint(0, 0);
    }
}

CCalWorkCustomView::SPicture CCalWorkCustomView::PictureOf(const QSize& screen, int nStep, int nAnimFrame)
{
    const int w = screen.width();
    const int nOuter = w / 20;
    const int nInner = w / 20 - 2 * (w / 60);
    const int nSpacing = w / 180;

    SPicture picture;
    picture.nCrossHalfLength = nOuter;
    if (nAnimFrame == -1) {
        // The first paint after a start: the first target, whatever the step.
        picture.bDraws = true;
        picture.target = QPoint(w / 8, screen.height() / 8);
        picture.rings = {nOuter, nInner};
        picture.nNextFrame = 1;
        return picture;
    }
    if (nAnimFrame < 1 || nAnimFrame > kFrames) {
        picture.nNextFrame = nAnimFrame;
        return picture;
    }
    picture.bDraws = true;
    picture.target = TargetOf(screen, nStep);
    for (int i = 0; i <= nAnimFrame; ++i) {
        const int nShrink = (nAnimFrame - i) * nSpacing;
        picture.rings << nOuter - nShrink << nInner - nShrink;
    }
    picture.bCountDown = true;
    picture.countDownAt = QPoint(w / 2, screen.height() / 2);
    picture.nNextFrame = nAnimFrame % kFrames + 1;
    return picture;
}

void CCalWorkCustomView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QMutexLocker lock(&m_mutex);
    const SPicture picture = PictureOf(ScreenSize(), m_nCalStep, m_nAnimFrame);
    if (!picture.bDraws)
        return;

    const QPoint p = picture.target;
    const int l = picture.nCrossHalfLength;
    // The cross, with a red dot of 5 x 5 pixels in its middle.
    painter.setPen(TargetPen(QColor(0, 0, 255)));
    painter.drawLine(p.x() - l, p.y(), p.x() + l, p.y());
    painter.drawLine(p.x(), p.y() - l, p.x(), p.y() + l);
    painter.setPen(TargetPen(QColor(255, 0, 0)));
    painter.setBrush(QBrush(QColor(255, 0, 0), Qt::SolidPattern));
    painter.drawEllipse(QRect(int(std::trunc(p.x() - 2.5)), int(std::trunc(p.y() - 2.5)), 5, 5));
    // The rings are not filled.
    painter.setBrush(QBrush(Qt::transparent));

    for (int d : picture.rings) {
        painter.setPen(TargetPen(QColor(0, 0, 255)));
        painter.drawEllipse(p.x() - d / 2, p.y() - d / 2, d, d);
    }
    if (picture.bCountDown) {
        QFont font(QStringLiteral("Arial"), 50, QFont::Bold, true);
        painter.setFont(font);
        painter.drawText(picture.countDownAt, QString::number(m_nCountDown));
    }
    m_nAnimFrame = picture.nNextFrame;
}
