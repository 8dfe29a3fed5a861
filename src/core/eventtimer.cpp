#include "eventtimer.h"

#include <QTimerEvent>
#include <QtDebug>

CEventTimer::CEventTimer(WorkThreadCallback callback, void *pArg, QObject *parent)
    : QTimer(parent), m_callback(callback), m_pArg(pArg)
{
}

CEventTimer::~CEventTimer()
{
    qInfo() << "Release CEventTimer...";
}

void CEventTimer::ChangeInterval(int interval)
{
    setInterval(SaneInterval(interval));
}

int CEventTimer::SaneInterval(int interval)
{
    // A period of 0 ms or less would spin the thread.
    return interval < 1 ? 1 : interval;
}

void CEventTimer::timerEvent(QTimerEvent *event)
{
    if (m_callback)
        m_callback(m_pArg);
    emit timeOut();
    QObject::timerEvent(event);
}
