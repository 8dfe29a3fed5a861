#pragma once

#include <QObject>
#include <memory>

class CHidBackend;
class QSocketNotifier;

// The system's device-change notification on Linux: the udev monitor's
// descriptor on a QSocketNotifier of the thread that creates the listener.
// Every notification, whatever it concerns, gives one DeviceChangeCbk().
class CUsbListenerForLinux : public QObject
{
    Q_OBJECT
public:
    explicit CUsbListenerForLinux(std::shared_ptr<CHidBackend> backend, QObject *parent = nullptr);
    ~CUsbListenerForLinux() override;

    bool IsMonitoring() const { return m_pNotifier != nullptr; }

signals:
    void DeviceChangeCbk();

private slots:
    void OnActivated();

private:
    std::shared_ptr<CHidBackend> m_pBackend;
    QSocketNotifier *m_pNotifier = nullptr;
};
