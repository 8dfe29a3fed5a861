#include "taskevent.h"

#include "handlework.h"

CTaskEvent::CTaskEvent(HandleWork* pHandleWork)
    : QObject(nullptr), m_pHandleWork(pHandleWork)
{
}

void CTaskEvent::ProcessTask(QString task, QObject* mPara, bool bFlag)
{
    m_pHandleWork->ProcessTask(task, mPara, bFlag);
}

void CTaskEvent::ProcessTask(QString task, QObject* mPara)
{
    m_pHandleWork->ProcessTask(task, mPara, false);
}

void CTaskEvent::ProcessTask(QString task)
{
    m_pHandleWork->ProcessTask(task, nullptr, false);
}
