#pragma once

#include <QThread>
#include <atomic>

// Function run by a worker thread or called on every timer tick.
using WorkThreadCallback = void (*)(void *);

// A thread that runs one plain function with one untyped argument and then,
// when started with bExec, an event loop. Every thread of the station other
// than the GUI thread is one of these.
//
// Destroying the object stops the thread: its event loop is asked to quit and
// the thread is given up to 100 rounds of 10 ms to end; only then is it
// terminated ("Terminate Thread." in the run log) and waited for (2 s); a
// thread that cannot be cancelled even then (blocked on a mutex) stops the
// program with a fatal line in the run log rather than hanging it. A looping
// callback must watch a flag of its owner, cleared before the object goes, so
// that the last resort is never needed.
class CWorkThread : public QThread
{
    Q_OBJECT
public:
    CWorkThread(WorkThreadCallback callback, void *pArg, QObject *parent = nullptr,
                bool bExec = false);
    ~CWorkThread() override;

    // Number of 10 ms rounds the stop sequence waits before it terminates the
    // thread (100 in the product; tests lower it).
    static void SetStopRounds(int nRounds);
    static int StopRounds();

public slots:
    // Stores bExec and starts the thread (nothing happens while it runs).
    void Start(bool bExec);

protected:
    void run() override;

    // The stop sequence; safe to call more than once. Derived classes call it
    // from their own destructor so the thread is gone before their members.
    void StopThread();

    WorkThreadCallback m_callback;
    void *m_pArg;

private:
    std::atomic<bool> m_bExec;
};
