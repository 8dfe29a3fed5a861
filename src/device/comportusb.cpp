#include "comportusb.h"

#include "touchsdk.h"

#include <QDebug>
#include <QMetaObject>
#include <cstring>

namespace {
const char CORTEX_A8[] = "Cortex-A8";

bool IsCortexA8(const TouchDeviceInfo &info)
{
    return std::strncmp(info.szProduct, CORTEX_A8, sizeof(info.szProduct)) == 0;
}
} // namespace

CComPortUsb::CComPortUsb(QObject *parent)
    : CComPort(parent),
      m_pTouchSDK(new TouchSDK())
{
    qRegisterMetaType<QList<QString>>("QList<QString>");
    std::memset(m_devTable, 0, sizeof(m_devTable));
    {
        // A frame announced while we register waits for the table to be ready.
        QMutexLocker ioLocker(&m_ioMutex);
        QMutexLocker claimLocker(&m_claimMutex);
        static_assert(sizeof(m_devTable) / sizeof(m_devTable[0]) == MAX_DEVICES, "table of 16");
        TouchDeviceInfo table[MAX_DEVICES];
        const int32_t nCount = m_pTouchSDK->RegisterAppInterface(table, MAX_DEVICES, &CComPortUsb::OnTouchData,
                                                                 &CComPortUsb::HotplugCb, this);
        QMutexLocker tableLocker(&m_tableMutex);
        m_nDevCount = std::min<int32_t>(std::max<int32_t>(nCount, 0), MAX_DEVICES);
        std::memcpy(m_devTable, table, sizeof(TouchDeviceInfo) * size_t(m_nDevCount));
        int i = 0;
        while (i < m_nDevCount) {
            if (IsCortexA8(m_devTable[i])) {
                m_devTable[i] = m_devTable[m_nDevCount - 1];
                --m_nDevCount;
            } else {
                ++i;
            }
        }
    }
    // Frames that were attached before this port registered are announced
    // from the event loop, once the owner has connected to DeviceInsert.
    if (GetDevCount() > 0) {
        QMetaObject::invokeMethod(
            this,
            [this]() {
                if (GetDevCount() > 0)
                    emit DeviceInsert(true);
            },
            Qt::QueuedConnection);
    }
}

CComPortUsb::~CComPortUsb()
{
    qInfo().noquote() << "Release CComPortUsb...";
    {
        QMutexLocker ioLocker(&m_ioMutex);
        QMutexLocker claimLocker(&m_claimMutex);
        QMutexLocker tableLocker(&m_tableMutex);
        for (int i = 0; i < m_nDevCount; ++i)
            m_pTouchSDK->ReleaseDeviceInterface(&m_devTable[i]);
        // The device objects go below: a late call from another thread finds
        // an empty table, not their records.
        m_nDevCount = 0;
        std::memset(m_devTable, 0, sizeof(m_devTable));
        m_lstWaiting.clear();
    }
    // Unregisters (waiting for a callback under way) and, as the last user,
    // deletes the device manager with every device object.
    delete m_pTouchSDK;
    m_pTouchSDK = nullptr;
}

bool CComPortUsb::HandleOfLocked(int devIndex, TouchDeviceInfo *pHandle) const
{
    if (devIndex < 0 || devIndex >= m_nDevCount)
        return false;
    pHandle->hDevice = m_devTable[devIndex].hDevice;
    return true;
}

QList<QString> CComPortUsb::NamesLocked() const
{
    QList<QString> names;
    for (int i = 0; i < m_nDevCount; ++i)
        names.append(QString::fromLatin1(m_devTable[i].szDevName,
                                         int(strnlen(m_devTable[i].szDevName, sizeof(m_devTable[i].szDevName)))));
    return names;
}

bool CComPortUsb::IsConnected()
{
    return GetDevCount() > 0;
}

int CComPortUsb::GetDevCount()
{
    QMutexLocker tableLocker(&m_tableMutex);
    return m_nDevCount;
}

QList<QString> CComPortUsb::GetDeviceNameList()
{
    QMutexLocker tableLocker(&m_tableMutex);
    return NamesLocked();
}

int32_t CComPortUsb::SetRecvEnable(uint8_t enable, int devIndex)
{
    // The table lock only: a receive holding the I/O mutex must be breakable.
    QMutexLocker tableLocker(&m_tableMutex);
    TouchDeviceInfo handle{};
    if (!HandleOfLocked(devIndex, &handle))
        return ERROR_CODE_LOST_DEVICE;
    return m_pTouchSDK->SetRecvEnable(&handle, enable);
}

int32_t CComPortUsb::ClaimDeviceInterface(int devIndex)
{
    QMutexLocker claimLocker(&m_claimMutex);
    TouchDeviceInfo handle{};
    {
        QMutexLocker tableLocker(&m_tableMutex);
        if (!HandleOfLocked(devIndex, &handle))
            return ERROR_CODE_LOST_DEVICE;
    }
    return m_pTouchSDK->ClaimDeviceInterface(&handle);
}

int32_t CComPortUsb::ReleaseDeviceInterface(int devIndex)
{
    QMutexLocker claimLocker(&m_claimMutex);
    TouchDeviceInfo handle{};
    {
        QMutexLocker tableLocker(&m_tableMutex);
        if (!HandleOfLocked(devIndex, &handle))
            return ERROR_CODE_LOST_DEVICE;
    }
    return m_pTouchSDK->ReleaseDeviceInterface(&handle);
}

uint32_t CComPortUsb::GetDeviceMode()
{
    QMutexLocker tableLocker(&m_tableMutex);
    return m_nDevCount > 0 ? m_devTable[0].nMode : uint32_t(ERROR_CODE_LOST_DEVICE);
}

int32_t CComPortUsb::GetVid()
{
    QMutexLocker tableLocker(&m_tableMutex);
    return m_nDevCount > 0 ? int32_t(m_devTable[0].nVid) : ERROR_CODE_LOST_DEVICE;
}

int32_t CComPortUsb::GetPid()
{
    QMutexLocker tableLocker(&m_tableMutex);
    return m_nDevCount > 0 ? int32_t(m_devTable[0].nPid) : ERROR_CODE_LOST_DEVICE;
}

int32_t CComPortUsb::GetVersion()
{
    QMutexLocker tableLocker(&m_tableMutex);
    return m_nDevCount > 0 ? int32_t(m_devTable[0].nVersion) : ERROR_CODE_LOST_DEVICE;
}

bool CComPortUsb::IsBootloaderPid()
{
    QMutexLocker tableLocker(&m_tableMutex);
    return m_nDevCount > 0 && m_devTable[0].nPid >= 0xFF00 && m_devTable[0].nPid <= 0xFFFD;
}

int32_t CComPortUsb::SetUpgradeStatus(uint8_t bUpgrade)
{
    // The switch waits (up to 5 s) for the command reader to stop: under the
    // I/O mutex, for which a removal waits, so the device object stays; not
    // under the table lock, which every other caller needs at once.
    QMutexLocker ioLocker(&m_ioMutex);
    TouchDeviceInfo handle{};
    {
        QMutexLocker tableLocker(&m_tableMutex);
        if (!HandleOfLocked(0, &handle))
            return 0;
    }
    m_pTouchSDK->SetUpgradeStatus(&handle, bUpgrade);
    return 0;
}

int32_t CComPortUsb::SendData(const uint8_t *buf, int len, int timeout, int devIndex)
{
    QMutexLocker ioLocker(&m_ioMutex);
    TouchDeviceInfo handle{};
    {
        QMutexLocker tableLocker(&m_tableMutex);
        if (!HandleOfLocked(devIndex, &handle))
            return ERROR_CODE_LOST_DEVICE;
    }
    SetRecvEnable(1, 0);
    // The device cannot go while the I/O mutex is held: its removal waits for it.
    return m_pTouchSDK->SendData(&handle, buf, len, timeout);
}

int32_t CComPortUsb::SendUpgradeData(const uint8_t *buf, int len, int timeout, int devIndex)
{
    QMutexLocker ioLocker(&m_ioMutex);
    TouchDeviceInfo handle{};
    {
        QMutexLocker tableLocker(&m_tableMutex);
        if (!HandleOfLocked(devIndex, &handle))
            return ERROR_CODE_LOST_DEVICE;
    }
    SetRecvEnable(1, 0);
    return m_pTouchSDK->SendUpgradeData(&handle, buf, len, timeout);
}

int32_t CComPortUsb::RecvData(uint8_t *buf, int len, int timeout, int devIndex)
{
    QMutexLocker ioLocker(&m_ioMutex);
    TouchDeviceInfo handle{};
    {
        QMutexLocker tableLocker(&m_tableMutex);
        if (!HandleOfLocked(devIndex, &handle))
            return ERROR_CODE_LOST_DEVICE;
    }
    return m_pTouchSDK->RecvData(&handle, buf, len, timeout);
}

int32_t CComPortUsb::RecvUpgradeData(uint8_t *buf, int len, int timeout, int devIndex)
{
    QMutexLocker ioLocker(&m_ioMutex);
    TouchDeviceInfo handle{};
    {
        QMutexLocker tableLocker(&m_tableMutex);
        if (!HandleOfLocked(devIndex, &handle))
            return ERROR_CODE_LOST_DEVICE;
    }
    return m_pTouchSDK->RecvUpgradeData(&handle, buf, len, timeout);
}

int32_t CComPortUsb::SendAndRecvData(const uint8_t *wbuf, int wlen, uint8_t *rbuf, int rlen, int timeout,
                                     int devIndex)
{
    QMutexLocker ioLocker(&m_ioMutex);
    TouchDeviceInfo handle{};
    {
        QMutexLocker tableLocker(&m_tableMutex);
        if (!HandleOfLocked(devIndex, &handle))
            return ERROR_CODE_LOST_DEVICE;
    }
    return m_pTouchSDK->SendAndRecvData(&handle, wbuf, wlen, rbuf, rlen, timeout);
}

int32_t CComPortUsb::InjectTouch(const TouchPoint *points, int count, int screenWidth, int screenHeight)
{
    return TouchSDK::InjectTouch(points, count, screenWidth, screenHeight);
}

int32_t CComPortUsb::SelectDevice(const QString &name)
{
    QMutexLocker tableLocker(&m_tableMutex);
    if (m_nDevCount < 2)
        return 0;
    for (int i = 1; i < m_nDevCount; ++i) {
        const QString strName = QString::fromLatin1(
            m_devTable[i].szDevName, int(strnlen(m_devTable[i].szDevName, sizeof(m_devTable[i].szDevName))));
        if (strName == name) {
            std::swap(m_devTable[0], m_devTable[i]);
            break;
        }
    }
    return 0;
}

void CComPortUsb::OnTouchData(const TouchDeviceInfo *info, TouchData data, void *context)
{
    Q_UNUSED(info);
    emit static_cast<CComPortUsb *>(context)->SendTouchData(data);
}

void CComPortUsb::HotplugCb(const TouchDeviceInfo *info, bool bAttached, void *pThis)
{
    auto *pPort = static_cast<CComPortUsb *>(pThis);
    if (!info || !pPort)
        return;
    qDebug().noquote() << "HotplugCb" << ": bAttached = " << (bAttached ? "true" : "false") << " vid = "
                       << QString::number(info->nVid, 16) << " pid = " << QString::number(info->nPid, 16);
    QMutexLocker ioLocker(&pPort->m_ioMutex);
    QMutexLocker claimLocker(&pPort->m_claimMutex);
    const QString strProduct =
        QString::fromUtf8(info->szProduct, int(strnlen(info->szProduct, sizeof(info->szProduct))));
    qDebug().noquote() << "HotplugCb" << ": ProductString = " << strProduct;

    bool bInsert = false;      // DeviceInsert(true) for a first frame
    bool bCurrentLeft = false; // DeviceInsert(false), the current frame left
    bool bNewCurrent = false;  // then DeviceInsert(true) for the frame that took its place
    QList<QString> names;
    {
        QMutexLocker tableLocker(&pPort->m_tableMutex);
        if (bAttached && !IsCortexA8(*info)) {
            if (pPort->m_nDevCount >= MAX_DEVICES) {
                qWarning().noquote() << "HotplugCb" << ": device table full (" << MAX_DEVICES
                                     << "frames), the frame waits for a free place:" << info->szDevName;
                pPort->m_lstWaiting.append(*info);
            } else {
                pPort->m_devTable[pPort->m_nDevCount] = *info;
                ++pPort->m_nDevCount;
                if (pPort->m_nDevCount == 1) {
                    qDebug().noquote() << "HotplugCb" << ": 1111-DeviceInsert(true)";
                    bInsert = true;
                } else {
                    qDebug().noquote() << "HotplugCb" << ": pThis->m_nDevCount = " << pPort->m_nDevCount;
                }
            }
        } else {
            qDebug().noquote() << "HotplugCb" << ": 22222";
            int nFound = -1;
            for (int i = 0; i < pPort->m_nDevCount; ++i) {
                if (pPort->m_devTable[i].hDevice == info->hDevice) {
                    nFound = i;
                    break;
                }
            }
            if (nFound >= 0) {
                qDebug().noquote() << "HotplugCb" << ": 22222-aa";
                --pPort->m_nDevCount;
                pPort->m_devTable[nFound] = pPort->m_devTable[pPort->m_nDevCount];
                std::memset(&pPort->m_devTable[pPort->m_nDevCount], 0, sizeof(TouchDeviceInfo));
                // The place is free for the frame that waited longest.
                if (!pPort->m_lstWaiting.isEmpty()) {
                    const TouchDeviceInfo waiting = pPort->m_lstWaiting.takeFirst();
                    qInfo().noquote() << "HotplugCb" << ": the waiting frame takes the free place:"
                                      << waiting.szDevName;
                    pPort->m_devTable[pPort->m_nDevCount] = waiting;
                    ++pPort->m_nDevCount;
                }
                if (nFound == 0) {
                    qDebug().noquote() << "HotplugCb" << ": 22222-bb";
                    bCurrentLeft = true;
                    if (pPort->m_nDevCount > 0) {
                        qDebug().noquote() << "HotplugCb" << ": 22222-cc";
                        bNewCurrent = true;
                    }
                }
            } else {
                for (int i = 0; i < pPort->m_lstWaiting.size(); ++i) {
                    if (pPort->m_lstWaiting[i].hDevice == info->hDevice) {
                        pPort->m_lstWaiting.removeAt(i);
                        break;
                    }
                }
            }
        }
        names = pPort->NamesLocked();
    }
    if (bInsert)
        emit pPort->DeviceInsert(true);
    if (bCurrentLeft) {
        emit pPort->DeviceInsert(false);
        if (bNewCurrent)
            emit pPort->DeviceInsert(true);
    }
    emit pPort->DeviceListChanged(names);
}
