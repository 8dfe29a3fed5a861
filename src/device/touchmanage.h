#pragma once

#include "touchappinterface.h"
#include "touchdata.h"
#include "touchdeviceinfo.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QReadWriteLock>
#include <QString>
#include <atomic>
#include <cstdint>

class CTouchDevice;
class CWorkThread;
class QTimer;

// The process-wide registry of attached frames: one device object per
// physical frame, keyed by its USB device; the registered application
// interfaces; and the fan-out of plug, unplug and raw-report events to them.
// CTouchManageForOS adds the enumeration and the hot-plug machinery.
//
// The map and the interface list are guarded by one mutex that is never held
// while a callback runs. Announcing a frame and registering an interface are
// atomic with respect to each other, so a frame announced while an
// application registers is seen exactly once: in the registration's list or
// through the callback. Callbacks run under a read lock that removing an
// interface takes for writing, so no callback runs into a removed one.
class CTouchManage
{
public:
    CTouchManage();
    virtual ~CTouchManage();

    CTouchManage(const CTouchManage &) = delete;
    CTouchManage &operator=(const CTouchManage &) = delete;

    virtual int32_t ReleaseAllDevices();
    virtual int32_t GetDeviceCount();
    virtual int32_t SendDeviceChangedToAllAppInterface(const TouchDeviceInfo *info, bool bPlug);
    virtual int32_t SendRawDataToAllAppInterface(const TouchDeviceInfo *info, const TouchData *data);
    virtual int32_t AddAppInterface(TouchAppInterface *pInterface);
    virtual int32_t GetDeviceList(TouchDeviceInfo *out, int max);
    virtual QList<TouchAppInterface *> GetAppInterfaceList();
    virtual QMap<QString, CTouchDevice *> GetDeviceMap();
    virtual int32_t EnumDevices(QList<QString> &keys) = 0;
    virtual int32_t UpdateDeviceMap(QList<QString> &lostKeys);
    virtual void CheckHotPlugThread();

    // The single manager, created on first use.
    static CTouchManage *GetInstance();
    // The manager if one exists; never creates one.
    static CTouchManage *PeekInstance();
    // Deletes the manager (with every device object) if one exists.
    static void DeleteInstance();

    // Appends the interface and copies the announced frames into table, as
    // one step against announcements. Returns the number of records copied.
    int32_t RegisterAppInterface(TouchAppInterface *pInterface, TouchDeviceInfo *table, int max);
    // Removes the interface; returns once no callback of it is running.
    // Returns the number of interfaces left.
    int32_t RemoveAppInterface(TouchAppInterface *pInterface);
    // Marks the device open and reports it to every interface with bPlug true.
    void AnnounceDevice(CTouchDevice *pDevice);

protected:
    static void HotPlugThreadBody(void *pManage);
    // Reports info to the interfaces of the snapshot (caller holds m_callbackLock for reading).
    void NotifyHotplug(const QList<TouchAppInterface *> &interfaces, const TouchDeviceInfo *info, bool bPlug);
    // The map without the device objects whose key is lostKey; caller does the rest.
    CTouchDevice *TakeDevice(const QString &strKey);
    CTouchDevice *FindDevice(const QString &strKey);
    void InsertDevice(const QString &strKey, CTouchDevice *pDevice);

    QList<TouchAppInterface *> m_lstAppInterface;
    QMap<QString, CTouchDevice *> m_mapDevice;
    std::atomic<bool> m_bRun{true};
    CWorkThread *m_pHotplugThread = nullptr;
    QTimer *m_pTimer = nullptr;

    QMutex m_mutex;               // the map and the interface list
    QReadWriteLock m_callbackLock; // read: a callback runs; write: an interface goes
};
