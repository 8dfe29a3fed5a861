#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (the session ends, Ctrl+C in a terminal)
// into an orderly end of the event loop, so that the views, the worker thread
// and the run log close as they do after the exit button. Further signals
// are watched only when asked for (WatchSignal): each of them is then handed
// to the event loop as SignalReceived instead of ending the program, and a
// signal nobody asked for keeps its default action. One instance at a time;
// the previous handlers come back when it is destroyed.
class CQuitSignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit CQuitSignalWatcher(QObject* parent = nullptr);
    ~CQuitSignalWatcher() override;

    // From now on nSignal (SIGUSR1, say) emits SignalReceived on this
    // object's thread. False when it cannot be watched (no watcher runs,
    // it is a quit signal, or the table of extra signals is full).
    bool WatchSignal(int nSignal);

signals:
    void SignalReceived(int nSignal);

private slots:
    void OnSignal();

private:
    QSocketNotifier* m_pNotifier = nullptr;
};
