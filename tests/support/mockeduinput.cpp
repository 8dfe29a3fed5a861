// umockdev's (and through it GLib's) headers come before every Qt header:
// Qt's "signals" keyword would break them.
#include <umockdev.h>

#include "mockeduinput.h"

#include "mockedkernel.h"

#include <cerrno>
#include <cstring>
#include <linux/uinput.h>

struct CMockedUinput::State
{
    mutable std::mutex mutex;
    Declaration declared;
    QList<Event> events;
    QList<UMockdevIoctlClient *> clients; // closed ones say so by their "connected" property
    unsigned long nFailRequest = 0;
    int nFailErrno = 0;
    UMockdevIoctlBase *pHandler = nullptr;
};

namespace {

using StatePtr = std::shared_ptr<CMockedUinput::State>;

CMockedUinput::State &StateOf(gpointer data)
{
    return **static_cast<StatePtr *>(data);
}

void FreeStateRef(gpointer data, GClosure *)
{
    delete static_cast<StatePtr *>(data);
}

unsigned long ValueArg(UMockdevIoctlClient *pClient)
{
    UMockdevIoctlData *pArg = umockdev_ioctl_client_get_arg(pClient);
    unsigned long value = 0;
    std::memcpy(&value, pArg->data, size_t(qMin<int>(pArg->data_len, int(sizeof(value)))));
    return value;
}

// The structure the argument points to, or false.
template <typename T>
bool PointedArg(UMockdevIoctlClient *pClient, T *pValue)
{
    GError *pError = nullptr;
    UMockdevIoctlData *pData =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(pClient), 0, sizeof(T), &pError);
    if (!pData) {
        if (pError)
            g_error_free(pError);
        return false;
    }
    std::memcpy(pValue, pData->data, sizeof(T));
    return true;
}

gboolean OnIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *pClient, gpointer data)
{
    CMockedUinput::State &state = StateOf(data);
    const unsigned long request = umockdev_ioctl_client_get_request(pClient);
    std::lock_guard<std::mutex> lock(state.mutex);
    CMockedUinput::Declaration &d = state.declared;
    long nResult = 0;
    int nErrno = 0;
    if (state.nFailErrno != 0 && request == state.nFailRequest) {
        nErrno = state.nFailErrno;
        state.nFailErrno = 0;
        umockdev_ioctl_client_complete(pClient, -1, nErrno);
        return TRUE;
    }
    switch (request) {
    case UI_SET_EVBIT:
        d.evBits.append(int(ValueArg(pClient)));
        break;
    case UI_SET_KEYBIT:
        d.keyBits.append(int(ValueArg(pClient)));
        break;
    case UI_SET_ABSBIT:
        d.absBits.append(int(ValueArg(pClient)));
        break;
    case UI_SET_PROPBIT:
        d.propBits.append(int(ValueArg(pClient)));
        break;
    case UI_DEV_SETUP: {
        struct uinput_setup setup;
        if (!PointedArg(pClient, &setup)) {
            nResult = -1;
            nErrno = EFAULT;
            break;
        }
        d.name = QString::fromUtf8(setup.name, int(strnlen(setup.name, sizeof(setup.name))));
        d.nBusType = setup.id.bustype;
        break;
    }
    case UI_ABS_SETUP: {
        struct uinput_abs_setup abs;
        if (!PointedArg(pClient, &abs)) {
            nResult = -1;
            nErrno = EFAULT;
            break;
        }
        CMockedUinput::Axis axis;
        axis.nMin = abs.absinfo.minimum;
        axis.nMax = abs.absinfo.maximum;
        axis.nResolution = abs.absinfo.resolution;
        d.axes.insert(abs.code, axis);
        break;
    }
    case UI_DEV_CREATE:
        d.bCreated = true;
        break;
    case UI_DEV_DESTROY:
        d.bDestroyed = true;
        break;
    default:
        d.unknownRequests.append(request);
        nResult = -1;
        nErrno = ENOTTY;
        break;
    }
    umockdev_ioctl_client_complete(pClient, nResult, nErrno);
    return TRUE;
}

gboolean OnWrite(UMockdevIoctlBase *, UMockdevIoctlClient *pClient, gpointer data)
{
    CMockedUinput::State &state = StateOf(data);
    UMockdevIoctlData *pArg = umockdev_ioctl_client_get_arg(pClient);
    std::lock_guard<std::mutex> lock(state.mutex);
    // As the kernel: events only once the device exists, and whole events only.
    if (!state.declared.bCreated || pArg->data_len % int(sizeof(struct input_event)) != 0) {
        umockdev_ioctl_client_complete(pClient, -1, EINVAL);
        return TRUE;
    }
    for (int off = 0; off < pArg->data_len; off += int(sizeof(struct input_event))) {
        struct input_event ev;
        std::memcpy(&ev, pArg->data + off, sizeof(ev));
        state.events.append({ev.type, ev.code, ev.value});
    }
    umockdev_ioctl_client_complete(pClient, pArg->data_len, 0);
    return TRUE;
}

void OnConnected(UMockdevIoctlBase *, UMockdevIoctlClient *pClient, gpointer data)
{
    CMockedUinput::State &state = StateOf(data);
    std::lock_guard<std::mutex> lock(state.mutex);
    state.clients.append(static_cast<UMockdevIoctlClient *>(g_object_ref(pClient)));
}

void Connect(UMockdevIoctlBase *pHandler, const char *szSignal, GCallback callback, const StatePtr &state)
{
    g_signal_connect_data(pHandler, szSignal, callback, new StatePtr(state), FreeStateRef, GConnectFlags(0));
}

} // namespace

CMockedUinput::CMockedUinput(CMockedKernel *pKernel)
    : m_pKernel(pKernel), m_state(std::make_shared<State>())
{
    m_state->pHandler = umockdev_ioctl_base_new();
    Connect(m_state->pHandler, "handle-ioctl", G_CALLBACK(OnIoctl), m_state);
    Connect(m_state->pHandler, "handle-write", G_CALLBACK(OnWrite), m_state);
    Connect(m_state->pHandler, "client-connected", G_CALLBACK(OnConnected), m_state);
    m_pKernel->AttachIoctl(DevNode(), m_state->pHandler);
    QString error;
    if (!m_pKernel->AddDevices("P: /devices/virtual/misc/uinput\n"
                               "E: SUBSYSTEM=misc\n"
                               "E: DEVNAME=/dev/uinput\n"
                               "A: dev=10:223\n"
                               "N: uinput=00\n",
                               &error))
        qWarning("the mocked uinput was refused: %s", qPrintable(error));
}

CMockedUinput::~CMockedUinput()
{
    m_pKernel->RemoveDevice(QStringLiteral("/sys/devices/virtual/misc/uinput"));
    m_pKernel->DetachIoctl(DevNode());
    g_object_unref(m_state->pHandler);
    std::lock_guard<std::mutex> lock(m_state->mutex);
    for (UMockdevIoctlClient *pClient : qAsConst(m_state->clients))
        g_object_unref(pClient);
    m_state->clients.clear();
}

void CMockedUinput::FailRequest(unsigned long nRequest, int nErrno)
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->nFailRequest = nRequest;
    m_state->nFailErrno = nErrno;
}

CMockedUinput::Declaration CMockedUinput::Declared() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->declared;
}

QList<CMockedUinput::Event> CMockedUinput::Events() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->events;
}

void CMockedUinput::ClearEvents()
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    m_state->events.clear();
}

int CMockedUinput::OpenCount() const
{
    std::lock_guard<std::mutex> lock(m_state->mutex);
    int nOpen = 0;
    for (UMockdevIoctlClient *pClient : qAsConst(m_state->clients))
        nOpen += umockdev_ioctl_client_get_connected(pClient) ? 1 : 0;
    return nOpen;
}
