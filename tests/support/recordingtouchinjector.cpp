#include "recordingtouchinjector.h"

#include "touchsdk.h"

std::shared_ptr<CRecordingTouchInjector> CRecordingTouchInjector::Install()
{
    auto pInjector = std::make_shared<CRecordingTouchInjector>();
    TouchSDK::SetSimulatorTouchForTest(pInjector);
    return pInjector;
}

void CRecordingTouchInjector::Uninstall()
{
    TouchSDK::SetSimulatorTouchForTest(nullptr);
}

int CRecordingTouchInjector::InjectTouch(const TouchPoint *points, int count, int screenWidth, int screenHeight)
{
    SInjection injection;
    if (points && count > 0)
        injection.points = QVector<TouchPoint>(points, points + count);
    injection.nScreenWidth = screenWidth;
    injection.nScreenHeight = screenHeight;
    QMutexLocker lock(&m_mutex);
    m_injections.append(injection);
    return m_nResult;
}

QList<CRecordingTouchInjector::SInjection> CRecordingTouchInjector::Injections() const
{
    QMutexLocker lock(&m_mutex);
    return m_injections;
}

int CRecordingTouchInjector::Count() const
{
    QMutexLocker lock(&m_mutex);
    return m_injections.size();
}

QVector<TouchPoint> CRecordingTouchInjector::Points() const
{
    QMutexLocker lock(&m_mutex);
    QVector<TouchPoint> points;
    for (const SInjection &injection : m_injections)
        points += injection.points;
    return points;
}

void CRecordingTouchInjector::Clear()
{
    QMutexLocker lock(&m_mutex);
    m_injections.clear();
}

void CRecordingTouchInjector::SetResult(int nResult)
{
    QMutexLocker lock(&m_mutex);
    m_nResult = nResult;
}
