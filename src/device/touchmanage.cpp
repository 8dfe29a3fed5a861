#include "touchmanage.h"

#include "touchdevice.h"
#include "touchmanageforos.h"
#include "workthread.h"

#include <QDebug>
#include <QTimer>
#include <cstring>

namespace {
QMutex g_instanceMutex;
CTouchManage *g_pInstance = nullptr;
} // namespace

CTouchManage::CTouchManage()
{
    m_pHotplugThread = new CWorkThread(&CTouchManage::HotPlugThreadBody, this);
    m_pTimer = new QTimer();
    m_pTimer->setInterval(2000);
}

CTouchManage::~CTouchManage()
{
    qInfo().noquote() << "Release CTouchManage...";
    if (m_pTimer) {
        m_pTimer->stop();
        delete m_pTimer;
        m_pTimer = nullptr;
    }
    ReleaseAllDevices();
    delete m_pHotplugThread;
    m_pHotplugThread = nullptr;
    // The registration records belong to their registrants.
}

CTouchManage *CTouchManage::GetInstance()
{
    QMutexLocker locker(&g_instanceMutex);
    if (!g_pInstance)
        g_pInstance = new CTouchManageForOS();
    return g_pInstance;
}

CTouchManage *CTouchManage::PeekInstance()
{
    QMutexLocker locker(&g_instanceMutex);
    return g_pInstance;
}

void CTouchManage::DeleteInstance()
{
    CTouchManage *pManage = nullptr;
    {
        QMutexLocker locker(&g_instanceMutex);
        pManage = g_pInstance;
        g_pInstance = nullptr;
    }
    delete pManage;
}

void CTouchManage::HotPlugThreadBody(void *pManage)
{
    static_cast<CTouchManage *>(pManage)->CheckHotPlugThread();
}

void CTouchManage::CheckHotPlugThread()
{
}

int32_t CTouchManage::ReleaseAllDevices()
{
    QList<CTouchDevice *> devices;
    {
        QMutexLocker locker(&m_mutex);
        devices = m_mapDevice.values();
        m_mapDevice.clear();
    }
    for (CTouchDevice *pDevice : qAsConst(devices))
        delete pDevice;
    return 0;
}

int32_t CTouchManage::GetDeviceCount()
{
    QMutexLocker locker(&m_mutex);
    int32_t nCount = 0;
    for (CTouchDevice *pDevice : qAsConst(m_mapDevice)) {
        if (pDevice->GetDeviceStatus() >= CTouchDevice::StatusOpen)
            ++nCount;
    }
    return nCount;
}

void CTouchManage::NotifyHotplug(const QList<TouchAppInterface *> &interfaces, const TouchDeviceInfo *info,
                                 bool bPlug)
{
    qDebug().noquote() << "SendDeviceChangedToAllAppInterface" << ": device vid = "
                       << QString::number(info->nVid, 16) << " pid = " << QString::number(info->nPid, 16)
                       << " bPlug = " << (bPlug ? "true" : "false");
    for (TouchAppInterface *pInterface : interfaces) {
        if (!pInterface->m_funcHotplugDevInfo)
            continue;
        qDebug().noquote() << "SendDeviceChangedToAllAppInterface" << ": m_funcHotplugDevInfo = " << "true";
        pInterface->m_funcHotplugDevInfo(info, bPlug, pInterface->m_pContext);
    }
}

int32_t CTouchManage::SendDeviceChangedToAllAppInterface(const TouchDeviceInfo *info, bool bPlug)
{
    if (!info)
        return 0;
    QReadLocker callbackLocker(&m_callbackLock);
    QList<TouchAppInterface *> interfaces;
    {
        QMutexLocker locker(&m_mutex);
        interfaces = m_lstAppInterface;
    }
    NotifyHotplug(interfaces, info, bPlug);
    return 0;
}

void CTouchManage::AnnounceDevice(CTouchDevice *pDevice)
{
    QReadLocker callbackLocker(&m_callbackLock);
    QList<TouchAppInterface *> interfaces;
    {
        QMutexLocker locker(&m_mutex);
        // Its command reader runs already: a frame it found gone stays lost.
        int32_t nReleased = CTouchDevice::StatusReleased;
        pDevice->m_nStatus.compare_exchange_strong(nReleased, CTouchDevice::StatusOpen);
        interfaces = m_lstAppInterface;
    }
    pDevice->WakeWaiters();
    NotifyHotplug(interfaces, pDevice->GetDeviceInfo(), true);
}

int32_t CTouchManage::SendRawDataToAllAppInterface(const TouchDeviceInfo *info, const TouchData *data)
{
    if (!info || !data)
        return 0;
    QReadLocker callbackLocker(&m_callbackLock);
    QList<TouchAppInterface *> interfaces;
    {
        QMutexLocker locker(&m_mutex);
        interfaces = m_lstAppInterface;
    }
    for (TouchAppInterface *pInterface : qAsConst(interfaces)) {
        if (pInterface->m_funcRawData)
            pInterface->m_funcRawData(info, *data, pInterface->m_pContext);
    }
    return 0;
}

int32_t CTouchManage::AddAppInterface(TouchAppInterface *pInterface)
{
    QMutexLocker locker(&m_mutex);
    m_lstAppInterface.append(pInterface);
    return m_lstAppInterface.size();
}

int32_t CTouchManage::RegisterAppInterface(TouchAppInterface *pInterface, TouchDeviceInfo *table, int max)
{
    QMutexLocker locker(&m_mutex);
    m_lstAppInterface.append(pInterface);
    int32_t nCount = 0;
    for (CTouchDevice *pDevice : qAsConst(m_mapDevice)) {
        if (nCount >= max || !table)
            break;
        if (pDevice->GetDeviceStatus() < CTouchDevice::StatusOpen)
            continue;
        std::memcpy(&table[nCount], pDevice->GetDeviceInfo(), sizeof(TouchDeviceInfo));
        ++nCount;
    }
    return nCount;
}

int32_t CTouchManage::RemoveAppInterface(TouchAppInterface *pInterface)
{
    QWriteLocker callbackLocker(&m_callbackLock);
    QMutexLocker locker(&m_mutex);
    m_lstAppInterface.removeAll(pInterface);
    return m_lstAppInterface.size();
}

int32_t CTouchManage::GetDeviceList(TouchDeviceInfo *out, int max)
{
    QMutexLocker locker(&m_mutex);
    int32_t nCount = 0;
    for (CTouchDevice *pDevice : qAsConst(m_mapDevice)) {
        if (nCount >= max || !out)
            break;
        // A frame whose command collection is not open yet is skipped, so it
        // does not hide the frames after it.
        if (pDevice->GetDeviceStatus() < CTouchDevice::StatusOpen)
            continue;
        std::memcpy(&out[nCount], pDevice->GetDeviceInfo(), sizeof(TouchDeviceInfo));
        ++nCount;
    }
    return nCount;
}

QList<TouchAppInterface *> CTouchManage::GetAppInterfaceList()
{
    QMutexLocker locker(&m_mutex);
    return m_lstAppInterface;
}

QMap<QString, CTouchDevice *> CTouchManage::GetDeviceMap()
{
    QMutexLocker locker(&m_mutex);
    return m_mapDevice;
}

int32_t CTouchManage::UpdateDeviceMap(QList<QString> &lostKeys)
{
    for (const QString &strKey : qAsConst(lostKeys)) {
        CTouchDevice *pDevice = nullptr;
        {
            QReadLocker callbackLocker(&m_callbackLock);
            QList<TouchAppInterface *> interfaces;
            {
                QMutexLocker locker(&m_mutex);
                pDevice = m_mapDevice.take(strKey);
                interfaces = m_lstAppInterface;
            }
            if (!pDevice)
                continue;
            // The frame is gone: a wait on it ends now with "device lost",
            // so the port's callback below need not wait for it.
            pDevice->SetStatus(CTouchDevice::StatusLost);
            // Reported while the object still exists; deleted only afterwards.
            NotifyHotplug(interfaces, pDevice->GetDeviceInfo(), false);
        }
        delete pDevice;
    }
    return 0;
}

CTouchDevice *CTouchManage::TakeDevice(const QString &strKey)
{
    QMutexLocker locker(&m_mutex);
    return m_mapDevice.take(strKey);
}

CTouchDevice *CTouchManage::FindDevice(const QString &strKey)
{
    QMutexLocker locker(&m_mutex);
    return m_mapDevice.value(strKey, nullptr);
}

void CTouchManage::InsertDevice(const QString &strKey, CTouchDevice *pDevice)
{
    QMutexLocker locker(&m_mutex);
    m_mapDevice.insert(strKey, pDevice);
}
