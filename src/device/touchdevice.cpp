#include "touchdevice.h"

#include "settingsbatch.h"
#include "stationclock.h"
#include "vidpidsettings.h"
#include "workthread.h"

#include <QDebug>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <cstring>

namespace {

// The built-in supported pairs, in this order.
const VidPid BUILTIN_VIDPID[] = {
    {0x1FF7, 0x0001}, {0x1FF7, 0x0013}, {0x1FF7, 0xF0FE}, {0x2FE9, 0xFFFF},
    {0x0B8C, 0x5000}, {0x0B8C, 0x5002}, {0x0B8C, 0x5003}, {0x2757, 0xFFFF},
    {0x1870, 0x020A}, {0x04DD, 0x9E90}, {0x04DD, 0x9E91},
};

QMutex &VidPidMutex()
{
    static QMutex mutex;
    return mutex;
}
QList<VidPid> &BuiltinList()
{
    static QList<VidPid> list;
    return list;
}
QList<VidPid> &SettingsList()
{
    static QList<VidPid> list;
    return list;
}

// The settings pairs as a set, for lookups in constant time. Guarded by
// the VID/PID mutex, kept in step with the list.
QSet<quint32> &SettingsSet()
{
    static QSet<quint32> set;
    return set;
}

quint32 Packed(const VidPid &pair)
{
    return (quint32(pair.vid) << 16) | pair.pid;
}

QString KeyOf(const VidPid &pair)
{
    return QString("0x%1").arg(pair.vid, 4, 16, QChar('0')) + QString("-0x%1").arg(pair.pid, 4, 16, QChar('0'));
}

bool ParseHexPart(QString strPart, uint16_t *pValue)
{
    if (strPart.startsWith("0x") || strPart.startsWith("0X"))
        strPart = strPart.mid(2);
    if (strPart.isEmpty())
        return false;
    bool bOk = false;
    const uint value = strPart.toUInt(&bOk, 16);
    if (!bOk || value > 0xFFFF)
        return false;
    *pValue = static_cast<uint16_t>(value);
    return true;
}

// Caller holds the VID/PID mutex.
void LoadSettingsPairsLocked()
{
    QList<VidPid> &list = SettingsList();
    QSet<quint32> &set = SettingsSet();
    list.clear();
    set.clear();
    const QStringList keys = CVidPidSettings::GetInstance()->GetAllKeys();
    for (const QString &strKey : keys) {
        VidPid pair{};
        if (!CTouchDevice::ParseVidPidKey(strKey, &pair)) {
            qWarning().noquote() << "InitSupportedVidPidList" << ": ignored settings key" << strKey;
            continue;
        }
        if (!set.contains(Packed(pair))) {
            set.insert(Packed(pair));
            list.append(pair);
        }
    }
}

} // namespace

CTouchDevice::CTouchDevice(const QString &strPath)
    : m_strPath(strPath),
      m_pQueues(new ReportQueue[REPORT_QUEUE_COUNT])
{
    std::memset(&m_devInfo, 0, sizeof(m_devInfo));
    m_devInfo.hDevice = this;
    m_pCmdThread = new CWorkThread(&CTouchDevice::ProcessCmdThread, this);
    m_pRawThread = new CWorkThread(&CTouchDevice::ProcessRawThread, this);
}

CTouchDevice::~CTouchDevice()
{
    qInfo().noquote() << "Release CTouchDevice...";
    delete m_pCmdThread;
    m_pCmdThread = nullptr;
    delete m_pRawThread;
    m_pRawThread = nullptr;
    delete[] m_pQueues;
}

QString CTouchDevice::GetDevicePath()
{
    return m_strPath;
}

TouchDeviceInfo *CTouchDevice::GetDeviceInfo()
{
    return &m_devInfo;
}

int32_t CTouchDevice::GetDeviceStatus()
{
    return m_nStatus.load();
}

int32_t CTouchDevice::IsSameDevicePath(const QString &strPath)
{
    return strPath == m_strPath ? 0 : -1;
}

int32_t CTouchDevice::ClaimDeviceInterface()
{
    qInfo().noquote() << "ClaimDeviceInterface.";
    int32_t nExpected = StatusReleased;
    if (m_nStatus.compare_exchange_strong(nExpected, StatusOpen))
        WakeWaiters();
    return 0;
}

int32_t CTouchDevice::ReleaseDeviceInterface()
{
    qInfo().noquote() << "ReleaseDeviceInterface.";
    int32_t nExpected = StatusOpen;
    if (m_nStatus.compare_exchange_strong(nExpected, StatusReleased))
        WakeWaiters();
    return 0;
}

int32_t CTouchDevice::ChangeUpgradeStatus(bool bIsUpgrade)
{
    m_bUpgrade = bIsUpgrade;
    qDebug().noquote() << "ChangeUpgradeStatus" << ": bIsUpgrade = " << (bIsUpgrade ? "true" : "false");
    if (!bIsUpgrade) {
        m_pCmdThread->Start(false);
    } else if (m_pCmdThread->isRunning()) {
        qInfo().noquote() << "ChangeUpgradeStatus" << ": Terminate CMD Thread...";
        m_pCmdThread->quit();
        WakeWaiters(); // the reader sees the upgrade flag at once
        m_pCmdThread->wait(5000);
    }
    WakeWaiters();
    qDebug().noquote() << "ChangeUpgradeStatus" << ": end";
    return 0;
}

int32_t CTouchDevice::RecvData(uint8_t *buf, int len, int timeout)
{
    const uint8_t nId = m_nCmdReportId.load();
    ReportQueue &queue = m_pQueues[nId < REPORT_QUEUE_COUNT ? nId : 0];
    auto queueEmpty = [&queue]() {
        QMutexLocker locker(&queue.mutex);
        return queue.list.isEmpty();
    };

    // Wait until a report is queued, the time is up, the device is no longer
    // open, or reception is switched off. Every one of these wakes the
    // condition, so the wait ends as soon as it happens.
    const qint64 nDeadline = CStationClock::NowMs() + std::max(timeout, 0);
    {
        QMutexLocker wakeLocker(&m_wakeMutex);
        for (;;) {
            if (m_nStatus.load() != StatusOpen || !m_bRun.load() || !m_bRecvEnable.load())
                break;
            if (!queueEmpty())
                break;
            const qint64 nLeft = nDeadline - CStationClock::NowMs();
            if (nLeft <= 0)
                break;
            m_wakeCond.wait(&m_wakeMutex, static_cast<unsigned long>(nLeft));
        }
    }

    // A reply that arrived before the frame went is still delivered (a frame
    // may acknowledge a command and leave the bus at once); a released
    // device answers nothing.
    const int32_t nStatus = m_nStatus.load();
    const bool bGone = nStatus == StatusLost || !m_bRun.load();
    if ((nStatus != StatusOpen && !bGone) || (bGone && queueEmpty())) {
        qDebug().noquote() << "RecvData" << ": ERROR_CODE_LOST_DEVICE";
        return ERROR_CODE_LOST_DEVICE;
    }
    if (queueEmpty()) {
        // A zero time-out only asks whether a report is queued (commands use
        // it to drop stale replies before they start): not worth a line.
        if (timeout > 0)
            qDebug().noquote() << "RecvData" << ": ERROR_CODE_TIMEOUT";
        return ERROR_CODE_TIMEOUT;
    }
    if (!m_bRecvEnable.load()) {
        qDebug().noquote() << "RecvData" << ": ERROR_CODE_TNTERRUPT";
        return ERROR_CODE_INTERRUPT;
    }
    QMutexLocker locker(&queue.mutex);
    if (queue.list.isEmpty()) { // only this caller takes reports; cannot happen
        qDebug().noquote() << "RecvData" << ": ERROR_CODE_TIMEOUT";
        return ERROR_CODE_TIMEOUT;
    }
    const TouchData data = queue.list.takeFirst();
    const int nLength = static_cast<int>(std::min<uint32_t>(data.length, sizeof(data.report)));
    const int nCopy = (buf && len > 0) ? std::min(len, nLength) : 0;
    if (nCopy > 0)
        std::memcpy(buf, data.report, static_cast<size_t>(nCopy));
    return nCopy;
}

void CTouchDevice::SetRecvEnable(bool bEnable)
{
    m_bRecvEnable = bEnable;
    if (!bEnable)
        ++m_nRecvOffCount;
    WakeWaiters();
}

void CTouchDevice::ProcessCmdThread(void *pDevice)
{
    auto *pThis = static_cast<CTouchDevice *>(pDevice);
    qInfo().noquote() << "ProcessCmdThread Start.";
    pThis->ProcessCmdDataTransfer();
    qInfo().noquote() << "ProcessCmdThread Over.";
}

void CTouchDevice::ProcessRawThread(void *pDevice)
{
    auto *pThis = static_cast<CTouchDevice *>(pDevice);
    qInfo().noquote() << "ProcessRawThread Start.";
    pThis->ProcessRawDataTransfer();
    qInfo().noquote() << "ProcessRawThread Over.";
}

int CTouchDevice::QueuedReportCount(uint8_t nReportId)
{
    if (nReportId >= REPORT_QUEUE_COUNT)
        return 0;
    QMutexLocker locker(&m_pQueues[nReportId].mutex);
    return m_pQueues[nReportId].list.size();
}

void CTouchDevice::PushReport(const TouchData &data)
{
    const uint8_t nId = data.report[0];
    if (nId >= REPORT_QUEUE_COUNT) {
        qDebug().noquote() << "PushReport" << ": report id 0xff has no queue, dropped";
        return;
    }
    ReportQueue &queue = m_pQueues[nId];
    {
        QMutexLocker locker(&queue.mutex);
        if (queue.list.size() >= MAX_QUEUED_REPORTS) {
            queue.list.removeFirst();
            if (!queue.bOverflowLogged) {
                queue.bOverflowLogged = true;
                qWarning().noquote() << "PushReport" << ": queue of report id" << QString::number(nId, 16)
                                     << "full, oldest reports dropped";
            }
        } else if (queue.list.size() < MAX_QUEUED_REPORTS / 2) {
            queue.bOverflowLogged = false;
        }
        queue.list.append(data);
    }
    QMutexLocker wakeLocker(&m_wakeMutex);
    m_wakeCond.wakeAll();
}

void CTouchDevice::WakeWaiters()
{
    QMutexLocker wakeLocker(&m_wakeMutex);
    m_wakeCond.wakeAll();
}

void CTouchDevice::SetStatus(int32_t nStatus)
{
    m_nStatus = nStatus;
    WakeWaiters();
}

// ---- supported vendor/product ids ----

void CTouchDevice::InitSupportedVidPidList()
{
    QMutexLocker locker(&VidPidMutex());
    QList<VidPid> &builtin = BuiltinList();
    if (builtin.isEmpty()) {
        for (const VidPid &pair : BUILTIN_VIDPID)
            builtin.append(pair);
    }
    LoadSettingsPairsLocked();
}

bool CTouchDevice::IsSupportedVidPid(uint16_t nVid, uint16_t nPid)
{
    QMutexLocker locker(&VidPidMutex());
    const VidPid exact{nVid, nPid};
    const VidPid any{nVid, VIDPID_ANY_PRODUCT};
    const QList<VidPid> &builtin = BuiltinList();
    const QSet<quint32> &settings = SettingsSet();
    if (builtin.contains(exact) || settings.contains(Packed(exact)))
        return true;
    return builtin.contains(any) || settings.contains(Packed(any));
}

int32_t CTouchDevice::SetSettingsVidPidList(const QList<VidPid> &list)
{
    QSet<quint32> wanted;
    wanted.reserve(list.size());
    QList<VidPid> unique;
    for (const VidPid &pair : list) {
        if (!wanted.contains(Packed(pair))) {
            wanted.insert(Packed(pair));
            unique.append(pair);
        }
    }
    CVidPidSettings *pStore = CVidPidSettings::GetInstance();
    if (unique.size() > CVidPidSettings::kMaxPairs) {
        qWarning().noquote() << "SetSettingsVidPidList : the list of" << unique.size()
                             << "pairs is not stored in" << pStore->fileName() << "- it may hold at most"
                             << CVidPidSettings::kMaxPairs << "pairs.";
        return -1;
    }
    QMutexLocker locker(&VidPidMutex());
    const QSet<quint32> &current = SettingsSet();
    bool bStored = true;
    {
        // One write for the whole list.
        CSettingsBatch batch(pStore);
        for (const VidPid &pair : qAsConst(SettingsList())) {
            if (!wanted.contains(Packed(pair)))
                pStore->RemoveKey(KeyOf(pair));
        }
        for (const VidPid &pair : qAsConst(unique)) {
            if (!current.contains(Packed(pair)))
                pStore->SetValue(KeyOf(pair));
        }
        bStored = batch.Commit();
    }
    if (!bStored) {
        // What could not be stored is not accepted either: the list is the
        // store's, as at the next start.
        LoadSettingsPairsLocked();
        return -1;
    }
    SettingsList() = unique;
    SettingsSet() = wanted;
    return 0;
}

QList<VidPid> CTouchDevice::GetBuiltinVidPidList()
{
    QMutexLocker locker(&VidPidMutex());
    return BuiltinList();
}

QList<VidPid> CTouchDevice::GetSettingsVidPidList()
{
    QMutexLocker locker(&VidPidMutex());
    return SettingsList();
}

bool CTouchDevice::ParseVidPidKey(const QString &strKey, VidPid *pPair)
{
    const QStringList parts = strKey.split('-', Qt::KeepEmptyParts);
    if (parts.size() != 2)
        return false;
    VidPid pair{};
    if (!ParseHexPart(parts.first(), &pair.vid) || !ParseHexPart(parts.last(), &pair.pid))
        return false;
    *pPair = pair;
    return true;
}
