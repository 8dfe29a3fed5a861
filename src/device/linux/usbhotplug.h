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

    // Passes ended so far, and passes begun so far (diagnostics and tests).
    int PassCount() const { return m_nPasses.load(); }
    int PassesBegun() const { return m_nBegun.load(); }

public slots:
    void DeviceChangeCbk();

signals:
    // Emitted on the hot-plug thread after every pass.
    void PassDone();

private:
    CTouchManageForOS *m_pManage;
    std::atomic<int> m_nPasses{0};
    std::atomic<int> m_nBegun{0};
};
