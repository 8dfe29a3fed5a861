#include "touchmanageforos.h"

#include "touchdeviceforos.h"
#include "usbhotplug.h"
#include "usblistenerforlinux.h"
#include "workthread.h"

#include <QDebug>
#include <QTimer>

CTouchManageForOS::CTouchManageForOS()
    : m_pBackend(CHidBackend::Create())
{
    m_pUsbHotplug = new CUsbHotplug(this);
    m_pUsbHotplug->moveToThread(m_pHotplugThread);
    m_pListener = new CUsbListenerForLinux(m_pBackend);
    QObject::connect(m_pListener, &CUsbListenerForLinux::DeviceChangeCbk, m_pUsbHotplug,
                     &CUsbHotplug::DeviceChangeCbk);
    QObject::connect(m_pTimer, &QTimer::timeout, m_pUsbHotplug, &CUsbHotplug::DeviceChangeCbk);
    // The first pass is queued from the creating thread's event loop, i.e.
    // after the application has finished building and connecting the objects
    // that receive the arrivals: a frame attached at start cannot be
    // announced before anyone listens.
    CUsbListenerForLinux *pListener = m_pListener;
    QTimer::singleShot(0, m_pListener, [pListener]() { emit pListener->DeviceChangeCbk(); });
    m_pHotplugThread->Start(true);
    m_pTimer->start(2000);
}

CTouchManageForOS::~CTouchManageForOS()
{
    qInfo().noquote() << "Release CTouchManageForOS...";
    m_pHotplugThread->quit();
    m_bRun = false;
    for (int i = 0; i < 100; ++i) {
        if (!m_pHotplugThread->isRunning())
            break;
        m_pHotplugThread->wait(10);
    }
    if (m_pHotplugThread->isRunning()) {
        qInfo().noquote() << "Terminate Device check Thread...";
        m_pHotplugThread->terminate();
        m_pHotplugThread->wait(2000);
    }
    QObject::disconnect(m_pListener, nullptr, m_pUsbHotplug, nullptr);
    delete m_pListener;
    m_pListener = nullptr;
    delete m_pUsbHotplug;
    m_pUsbHotplug = nullptr;
}

void CTouchManageForOS::CheckHotPlugThread()
{
    qInfo().noquote() << "Start CheckHotPlugThread event loop...";
}

QString CTouchManageForOS::DeviceKey(const HidNodeInfo &node)
{
    return QString::number(qint64(node.nBusNum) * 1000 + node.nDevNum);
}

int32_t CTouchManageForOS::EnumDevices(QList<QString> &keys)
{
    QList<HidNodeInfo> nodes;
    if (!m_pBackend->EnumerateNodes(&nodes))
        return -2;
    for (const HidNodeInfo &node : qAsConst(nodes)) {
        if (!m_bRun.load())
            break;
        if (!node.bUsb)
            continue; // not on a USB device (Bluetooth, I2C, virtual)
        const QString strKey = DeviceKey(node);
        // The frame is present whether or not its node classifies this time.
        keys.removeAll(strKey);
        const QList<TouchCollection> collections = CTouchDeviceForOS::CheckIdentifiableDevice(node);
        for (const TouchCollection &collection : collections)
            AddDevice(node, collection, strKey);
    }
    return 0;
}

int32_t CTouchManageForOS::AddDevice(const HidNodeInfo &node, const TouchCollection &collection,
                                     const QString &strKey)
{
    auto *pDevice = static_cast<CTouchDeviceForOS *>(FindDevice(strKey));
    if (!pDevice) {
        qDebug().noquote() << "AddDevice" << ": new CTouchDeviceForOS";
        pDevice = new CTouchDeviceForOS(m_pBackend, this);
        // In the map before it can be announced, so a registration that
        // lists the map sees it or its announcement, never neither.
        InsertDevice(strKey, pDevice);
    }
    pDevice->AppendDevicePath(node, collection);
    return 0;
}
