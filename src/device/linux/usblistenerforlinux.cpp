#include "usblistenerforlinux.h"

#include "hidbackend.h"

#include <QSocketNotifier>

CUsbListenerForLinux::CUsbListenerForLinux(std::shared_ptr<CHidBackend> backend, QObject *parent)
    : QObject(parent),
      m_pBackend(std::move(backend))
{
    const int fd = m_pBackend->MonitorFd();
    if (fd >= 0) {
        m_pNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(m_pNotifier, &QSocketNotifier::activated, this, &CUsbListenerForLinux::OnActivated);
    }
}

CUsbListenerForLinux::~CUsbListenerForLinux() = default;

void CUsbListenerForLinux::OnActivated()
{
    if (m_pBackend->DrainMonitor() > 0)
        emit DeviceChangeCbk();
}
