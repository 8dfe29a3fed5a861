#pragma once

#include <QObject>
#include <QString>

class HandleWork;

// Relay that lives on the dispatcher's worker thread: a task posted to it is
// run there by HandleWork::ProcessTask.
class CTaskEvent : public QObject
{
    Q_OBJECT

public:
    explicit CTaskEvent(HandleWork* pHandleWork);

public slots:
    // mPara is the object the task works for (usually the posting view) or
    // null; bFlag is the value of the one task that takes a flag.
    void ProcessTask(QString task, QObject* mPara, bool bFlag);
    void ProcessTask(QString task, QObject* mPara);
    void ProcessTask(QString task);

private:
    HandleWork* m_pHandleWork;
};
