#pragma once

#include "workthread.h"

#include <QTimer>

// A timer that calls one plain function on every tick and then emits
// timeOut(). QTimer's own timeout() is never emitted by this class.
class CEventTimer : public QTimer
{
    Q_OBJECT
public:
    CEventTimer(WorkThreadCallback callback, void *pArg, QObject *parent = nullptr);
    ~CEventTimer() override;

    // Periods below 1 ms are raised to 1 ms.
    static int SaneInterval(int interval);

signals:
    void timeOut();

public slots:
    void ChangeInterval(int interval);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    WorkThreadCallback m_callback;
    void *m_pArg;
};
