#pragma once

#include <QKeySequence>
#include <QObject>

class CEmulatedStationFrame;
class CQuitSignalWatcher;

// In a run with an emulated frame: pulls the frame out and plugs it back in
// while the station runs, so that an operator or a script can try what a
// frame's leaving and return do (a wait for a frame, a question about a new
// device, a frame leaving during a run).
//
// The key ToggleKey() does it from every window of the station: the main
// panel is disabled while a work view is open and the work views are windows
// of their own, so the key is taken for the whole application before any
// window sees it. A watcher given to WatchSignals makes SIGUSR1 pull and
// SIGUSR2 plug. Each change is written to the run log.
class CEmulatedPlugControl : public QObject
{
    Q_OBJECT

public:
    // The frame must outlive this object.
    explicit CEmulatedPlugControl(CEmulatedStationFrame* pFrame, QObject* parent = nullptr);
    ~CEmulatedPlugControl() override;

    static QKeySequence ToggleKey();

    // SIGUSR1 and SIGUSR2 reach this object from now on (and no longer end
    // the program).
    void WatchSignals(CQuitSignalWatcher* pWatcher);

    // The frame leaves the bus, or comes back; nothing happens when it is
    // already so (said in the run log). how names what asked for it.
    void Pull(const QString& how);
    void Plug(const QString& how);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    void OnSignal(int nSignal);

    CEmulatedStationFrame* m_pFrame;
};
