#pragma once

#include "simulatortouch.h"
#include "touchpoint.h"

#include <QList>
#include <QMutex>
#include <QVector>
#include <memory>

// A touch injector that keeps every injection instead of touching the
// desktop. Install() puts one behind TouchSDK (and so behind every USB port)
// until Uninstall(); injections arrive on the frame's reader threads.
class CRecordingTouchInjector : public CSimulatorTouch
{
public:
    struct SInjection
    {
        QVector<TouchPoint> points;
        int nScreenWidth = 0;
        int nScreenHeight = 0;
    };

    static std::shared_ptr<CRecordingTouchInjector> Install();
    // The operating system's injector again.
    static void Uninstall();

    int InjectTouch(const TouchPoint *points, int count, int screenWidth, int screenHeight) override;

    // Every injection so far, in order.
    QList<SInjection> Injections() const;
    int Count() const;
    // Every point of every injection, in order.
    QVector<TouchPoint> Points() const;
    void Clear();
    // What InjectTouch returns (0 unless set).
    void SetResult(int nResult);

private:
    mutable QMutex m_mutex;
    QList<SInjection> m_injections;
    int m_nResult = 0;
};
