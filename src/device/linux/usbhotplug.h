#pragma once

#include <QObject>
#include <atomic>

class CTouchManageForOS;

// Lives on the manager's hot-plug thread and runs one enumeration pass per
// trigger (a udev event or the periodic timer); all triggers are queued to
// it, so passes never overlap.
class CUsbHotplug : public QObject
{
    Q_OBJECT
public:
    explicit CUsbHotplug(CTouchManageForOS *pManage, QObject *parent = nullptr);

    // Passes run so far (diagnostics and tests).
    int PassCount() const { return m_nPasses.load(); }

public slots:
    void DeviceChangeCbk();

signals:
    // Emitted on the hot-plug thread after every pass.
    void PassDone();

private:
    CTouchManageForOS *m_pManage;
    std::atomic<int> m_nPasses{0};
};
