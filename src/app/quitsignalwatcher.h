#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP (the session ends, Ctrl+C in a terminal)
// into an orderly end of the event loop, so that the views, the worker thread
// and the run log close as they do after the exit button. One instance at a
// time; the previous handlers come back when it is destroyed.
class CQuitSignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit CQuitSignalWatcher(QObject* parent = nullptr);
    ~CQuitSignalWatcher() override;

private slots:
    void OnSignal();

private:
    QSocketNotifier* m_pNotifier = nullptr;
};
