#include "calframecheck.h"

#include "comportusb.h"
#include "devicemode.h"
#include "handlework.h"

#include <QCoreApplication>
#include <QDebug>

CCalFrameCheck::CCalFrameCheck(const HandleWork* pHandleWork) : m_pHandleWork(pHandleWork)
{
    if (m_pHandleWork)
        m_nDevice = m_pHandleWork->GetDeviceGeneration();
    m_bAttached = IsLiveApplicationFrame(m_pHandleWork);
}

bool CCalFrameCheck::IsLiveApplicationFrame(const HandleWork* pHandleWork)
{
    if (!pHandleWork)
        return false;
    CComPortUsb* pPort = pHandleWork->GetUsbPort();
    // The kind, not the object: the dispatcher may replace the object at
    // any moment it does not hold the device mutex.
    return pPort && pPort->GetDevCount() > 0 && pHandleWork->GetDeviceKind() == HandleWork::DeviceKind::Live
        && pPort->GetDeviceMode() == DEVICE_MODE_APPLICATION;
}

QString CCalFrameCheck::WhatChanged() const
{
    if (!m_pHandleWork)
        return QString();
    const bool bAttached = IsLiveApplicationFrame(m_pHandleWork);
    if (m_pHandleWork->GetDeviceGeneration() == m_nDevice && (bAttached || !m_bAttached))
        return QString();
    return bAttached ? QStringLiteral("another frame arrived") : QStringLiteral("the frame left");
}

bool CCalFrameCheck::StillTheFrame(const char* szWho, const char* szQuestion, const char* szAnswer) const
{
    const QString changed = WhatChanged();
    if (changed.isEmpty())
        return true;
    qInfo().noquote() << szWho << QStringLiteral(": %1 during the %2; the answer (%3) is not sent")
                                      .arg(changed, QLatin1String(szQuestion), QLatin1String(szAnswer));
    return false;
}

QString CCalFrameCheck::NotAppliedText()
{
    return QCoreApplication::translate(
        "CCalFrameCheck", "The frame changed while the question was open; the answer was not applied to it");
}
