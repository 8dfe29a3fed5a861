#pragma once

#include <QObject>
#include <QPointer>
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
    // null, for the getters the task calls on this thread; poster is the same
    // object as taken on the GUI thread at posting, which only the GUI thread
    // checks. bFlag is the value of the one task that takes a flag, strArg
    // the text of a task that carries one ("Start_Upgrade": its image).
    // nStopsAtPost: the stops of the calibration work counted at posting.
    void ProcessTask(QString task, QObject* mPara, QPointer<QObject> poster, bool bFlag, QString strArg,
                     quint64 nStopsAtPost);

private:
    HandleWork* m_pHandleWork;
};
