#include "taskevent.h"

#include "handlework.h"

CTaskEvent::CTaskEvent(HandleWork* pHandleWork)
    : QObject(nullptr), m_pHandleWork(pHandleWork)
{
}

void CTaskEvent::ProcessTask(QString task, QObject* mPara, QPointer<QObject> poster, bool bFlag, QString strArg,
                             quint64 nStopsAtPost)
{
    m_pHandleWork->ProcessTask(task, mPara, poster, bFlag, strArg, nStopsAtPost);
}
