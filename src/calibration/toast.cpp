#include "toast.h"

#include "stationclock.h"
#include "toastdlg.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QTimerEvent>

#include <mutex>

namespace {
std::mutex s_instanceMutex;
CToast* s_pInstance = nullptr;
} // namespace

CToast* CToast::Instance()
{
    std::lock_guard<std::mutex> lock(s_instanceMutex);
    if (!s_pInstance) {
        s_pInstance = new CToast;
        // Before the application object goes: the window with it, and the
        // hide timer (a timer of a deleted object is killed).
        qAddPostRoutine(&CToast::DestroyInstance);
    }
    return s_pInstance;
}

void CToast::DestroyInstance()
{
    CToast* pToast = nullptr;
    {
        std::lock_guard<std::mutex> lock(s_instanceMutex);
        pToast = s_pInstance;
        s_pInstance = nullptr;
    }
    delete pToast;
}

CToast::CToast()
    : QObject(nullptr)
{
    m_pToastDlg = new CToastDlg;
}

CToast::~CToast()
{
    delete m_pToastDlg;
}

QPoint CToast::TopLeftFor(const QSize& screen)
{
    return QPoint(screen.width() / 2 - 100, screen.height() / 2);
}

QColor CToast::BackgroundOf(int level)
{
    switch (level) {
    case 0:
        return QColor(Qt::lightGray);
    case 1:
        return QColor(0, 0, 255, 200);
    default:
        return QColor(255, 0, 0, 200);
    }
}

void CToast::ShowTip(int level, const QString& text)
{
    QPalette palette = m_pToastDlg->palette();
    palette.setBrush(QPalette::All, QPalette::Window, BackgroundOf(level));
    m_pToastDlg->setPalette(palette);
    m_pToastDlg->SetTip(text);
    // Unchanged flags leave a shown window as it is.
    m_pToastDlg->setWindowFlag(Qt::WindowStaysOnTopHint, true);

    QSize screen;
    if (QScreen* pScreen = QGuiApplication::primaryScreen())
        screen = pScreen->geometry().size();
    m_pToastDlg->move(TopLeftFor(screen));
    m_pToastDlg->show();

    if (m_nTimerId != 0)
        killTimer(m_nTimerId);
    m_nTimerId = startTimer(CStationClock::Timeout(kShowMs), Qt::CoarseTimer);
    emit TipShown(level, text);
}

void CToast::timerEvent(QTimerEvent*)
{
    if (m_nTimerId != 0)
        killTimer(m_nTimerId);
    m_nTimerId = 0;
    m_pToastDlg->accept();
}
