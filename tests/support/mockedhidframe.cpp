// umockdev's (and through it GLib's) headers come before every Qt header:
// Qt's "signals" keyword would break them.
#include <umockdev.h>

#include "mockedhidframe.h"

#include "fakehidbackend.h"
#include "mockedkernel.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/stat.h>

// ---------------------------------------------------------------- the hidraw model

struct CMockedHidFrame::Node
{
    // Fixed when the arrival is made.
    QString strDevNode;
    QString strUsbPath, strInterfacePath, strHidPath, strHidrawPath;
    int nDevNum = 0;
    UMockdevIoctlBase *pHandler = nullptr;

    // The frame behind the node; cleared when the arrival ends. Called on
    // umockdev's thread for every report the station writes.
    std::mutex outputMutex;
    std::function<void(Node &, const QByteArray &)> output;

    struct Opener
    {
        QList<QByteArray> queue;
        UMockdevIoctlClient *pPending = nullptr; // a held read
        GSource *pHold = nullptr;               // its end
        quint64 nHoldId = 0;
        // A report went to the reader, which has not read again since: it
        // may not have taken it in yet.
        bool bHandedOver = false;
    };
    std::mutex mutex;
    std::map<UMockdevIoctlClient *, Opener> openers;
    // Every connection to the node's model (a refused open connects too) and
    // those that read or wrote: the descriptors the station really opened.
    // umockdev says that one was closed by its "connected" property only.
    QList<UMockdevIoctlClient *> clients;
    QList<UMockdevIoctlClient *> used;
    bool bGone = false;
    int nWrites = 0;
    std::atomic<int> *pWriteError = nullptr; // the frame's, while it lives
    quint64 nNextHoldId = 1;

    ~Node()
    {
        for (auto &entry : openers) {
            if (entry.second.pPending)
                g_object_unref(entry.second.pPending);
        }
        for (UMockdevIoctlClient *pClient : qAsConst(clients))
            g_object_unref(pClient);
    }

    static bool IsOpen(UMockdevIoctlClient *pClient)
    {
        return umockdev_ioctl_client_get_connected(pClient);
    }

    // The opener of a client that reads or writes (caller holds the mutex).
    Opener &Use(UMockdevIoctlClient *pClient)
    {
        if (!used.contains(pClient))
            used.append(pClient);
        return openers[pClient];
    }

    // Drops the openers whose descriptor was closed (caller holds the mutex);
    // returns the sources of their held reads.
    QList<GSource *> ForgetClosed()
    {
        QList<GSource *> ended;
        for (auto it = openers.begin(); it != openers.end();) {
            if (IsOpen(it->first)) {
                ++it;
                continue;
            }
            if (it->second.pPending) {
                g_object_unref(it->second.pPending);
                ended.append(it->second.pHold);
            }
            it = openers.erase(it);
        }
        return ended;
    }

    static void CompleteRead(UMockdevIoctlClient *pClient, const QByteArray &report)
    {
        UMockdevIoctlData *pArg = umockdev_ioctl_client_get_arg(pClient);
        const int n = qMin(pArg->data_len, report.size());
        if (n > 0)
            std::memcpy(pArg->data, report.constData(), size_t(n));
        umockdev_ioctl_client_complete(pClient, n, 0);
    }

    // Ends a held read with a result; the caller holds the mutex and destroys
    // the returned source once it has let go of it.
    static GSource *EndHold(Opener &op, long nResult, int nErrno, const QByteArray *pReport)
    {
        if (IsOpen(op.pPending)) { // else closed meanwhile: nobody waits for the answer
            if (pReport) {
                CompleteRead(op.pPending, *pReport);
                op.bHandedOver = true;
            } else
                umockdev_ioctl_client_complete(op.pPending, nResult, nErrno);
        }
        g_object_unref(op.pPending);
        op.pPending = nullptr;
        GSource *pHold = op.pHold;
        op.pHold = nullptr;
        return pHold;
    }

    static void DropSources(const QList<GSource *> &sources)
    {
        for (GSource *pSource : sources) {
            if (pSource) {
                g_source_destroy(pSource);
                g_source_unref(pSource);
            }
        }
    }

    // A report from the frame: to every open, at once to a held read.
    void Deliver(const QByteArray &report)
    {
        QList<GSource *> ended;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (bGone)
                return;
            ended = ForgetClosed();
            for (auto &entry : openers) {
                Opener &op = entry.second;
                if (op.pPending)
                    ended.append(EndHold(op, 0, 0, &report));
                else if (op.queue.size() < QUEUE_LIMIT)
                    op.queue.append(report);
            }
        }
        DropSources(ended);
    }

    // The device is gone: as hidraw, a read still takes what was queued
    // before, then held and later reads end with EIO; writes fail with
    // ENODEV.
    void Fail()
    {
        QList<GSource *> ended;
        {
            std::lock_guard<std::mutex> lock(mutex);
            bGone = true;
            for (auto &entry : openers) {
                if (entry.second.pPending)
                    ended.append(EndHold(entry.second, -1, EIO, nullptr));
            }
        }
        DropSources(ended);
    }
};

namespace {

using NodePtr = std::shared_ptr<CMockedHidFrame::Node>;

NodePtr &NodeOf(gpointer data)
{
    return *static_cast<NodePtr *>(data);
}

void FreeNodeRef(gpointer data, GClosure *)
{
    delete static_cast<NodePtr *>(data);
}

struct HoldRef
{
    NodePtr node;
    UMockdevIoctlClient *pClient;
    quint64 nId;
};

gboolean OnHoldEnd(gpointer data)
{
    auto *pRef = static_cast<HoldRef *>(data);
    CMockedHidFrame::Node &node = *pRef->node;
    GSource *pHold = nullptr;
    {
        std::lock_guard<std::mutex> lock(node.mutex);
        const auto it = node.openers.find(pRef->pClient);
        if (it != node.openers.end() && it->second.pPending && it->second.nHoldId == pRef->nId)
            pHold = CMockedHidFrame::Node::EndHold(it->second, -1, node.bGone ? EIO : EAGAIN, nullptr);
    }
    if (pHold)
        g_source_unref(pHold); // this source: the context keeps it until the callback returns
    return G_SOURCE_REMOVE;
}

void OnConnected(UMockdevIoctlBase *, UMockdevIoctlClient *pClient, gpointer data)
{
    CMockedHidFrame::Node &node = *NodeOf(data);
    std::lock_guard<std::mutex> lock(node.mutex);
    node.clients.append(static_cast<UMockdevIoctlClient *>(g_object_ref(pClient)));
}

gboolean OnRead(UMockdevIoctlBase *, UMockdevIoctlClient *pClient, gpointer data)
{
    const NodePtr &pNode = NodeOf(data);
    CMockedHidFrame::Node &node = *pNode;
    std::lock_guard<std::mutex> lock(node.mutex);
    if (node.bGone) {
        const auto it = node.openers.find(pClient);
        if (it != node.openers.end() && !it->second.queue.isEmpty())
            CMockedHidFrame::Node::CompleteRead(pClient, it->second.queue.takeFirst());
        else
            umockdev_ioctl_client_complete(pClient, -1, EIO);
        return TRUE;
    }
    CMockedHidFrame::Node::Opener &op = node.Use(pClient);
    op.bHandedOver = false; // reading again: what it got before is taken
    if (!op.queue.isEmpty()) {
        CMockedHidFrame::Node::CompleteRead(pClient, op.queue.takeFirst());
        op.bHandedOver = true;
        return TRUE;
    }
    if (op.pPending) { // one call per descriptor at a time: cannot happen
        umockdev_ioctl_client_complete(pClient, -1, EAGAIN);
        return TRUE;
    }
    // Nothing to read: hold the read a little instead of spinning the reader.
    op.pPending = static_cast<UMockdevIoctlClient *>(g_object_ref(pClient));
    op.nHoldId = node.nNextHoldId++;
    GSource *pSource = g_timeout_source_new(CMockedHidFrame::HOLD_MS);
    g_source_set_callback(pSource, OnHoldEnd, new HoldRef{pNode, pClient, op.nHoldId},
                          [](gpointer p) { delete static_cast<HoldRef *>(p); });
    op.pHold = pSource;
    g_source_attach(pSource, g_main_context_get_thread_default());
    return TRUE;
}

gboolean OnWrite(UMockdevIoctlBase *, UMockdevIoctlClient *pClient, gpointer data)
{
    CMockedHidFrame::Node &node = *NodeOf(data);
    UMockdevIoctlData *pArg = umockdev_ioctl_client_get_arg(pClient);
    const QByteArray report(reinterpret_cast<const char *>(pArg->data), pArg->data_len);
    {
        std::lock_guard<std::mutex> lock(node.mutex);
        if (node.bGone) {
            umockdev_ioctl_client_complete(pClient, -1, ENODEV);
            return TRUE;
        }
        if (const int nError = node.pWriteError ? node.pWriteError->load() : 0) {
            node.Use(pClient);
            umockdev_ioctl_client_complete(pClient, -1, nError);
            return TRUE;
        }
        node.Use(pClient);
        ++node.nWrites;
    }
    {
        // Held while the frame answers, so that an ending arrival waits for it.
        std::lock_guard<std::mutex> lock(node.outputMutex);
        if (node.output)
            node.output(node, report);
    }
    umockdev_ioctl_client_complete(pClient, report.size(), 0);
    return TRUE;
}

void Connect(UMockdevIoctlBase *pHandler, const char *szSignal, GCallback callback, const NodePtr &node)
{
    g_signal_connect_data(pHandler, szSignal, callback, new NodePtr(node), FreeNodeRef, GConnectFlags(0));
}

QByteArray Line(const char *szKey, const QString &value)
{
    return QByteArray(szKey) + value.toUtf8() + '\n';
}

} // namespace

// ---------------------------------------------------------------- the frame

CMockedHidFrame::CMockedHidFrame(CMockedKernel *pKernel, CEmulatedFrame *pFrame)
    : m_pKernel(pKernel),
      m_pFrame(pFrame),
      m_nPort(pKernel->NextUsbPort()),
      m_queue([this](const CEmulatedActionQueue::Task &task) { Execute(task); })
{
    m_pFrame->SetAttached(false);
}

CMockedHidFrame::~CMockedHidFrame()
{
    m_queue.Stop();
    std::lock_guard<std::mutex> plug(m_plugMutex);
    Detach();
    for (const std::shared_ptr<Node> &node : qAsConst(m_allNodes)) {
        {
            std::lock_guard<std::mutex> lock(node->mutex);
            node->pWriteError = nullptr;
        }
        m_pKernel->DetachIoctl(node->strDevNode);
        g_object_unref(node->pHandler);
    }
}

QByteArray CMockedHidFrame::DefaultDescriptor(CEmulatedFrame::Mode mode)
{
    // The collections the station's frames declare: application commands
    // in and out on 0xFC; raw data in and out on 0xFB with the multi-touch
    // records 0x02; bootloader commands in on 0xFD, out on 0xFE.
    return mode == CEmulatedFrame::Mode::Application ? CFakeHidBackend::AppDescriptor()
                                                     : CFakeHidBackend::BootDescriptor();
}

void CMockedHidFrame::SetDescriptor(CEmulatedFrame::Mode mode, const QByteArray &descriptor)
{
    std::lock_guard<std::mutex> plug(m_plugMutex);
    (mode == CEmulatedFrame::Mode::Application ? m_appDescriptor : m_bootDescriptor) = descriptor;
}

void CMockedHidFrame::SetOpensRefused(bool bRefused)
{
    m_bOpensRefused = bRefused;
    const QString devNode = DevNode();
    if (!devNode.isEmpty())
        ::chmod(QFile::encodeName(m_pKernel->NodeFile(devNode)).constData(), bRefused ? 0 : 0666);
}

void CMockedHidFrame::Plug()
{
    std::lock_guard<std::mutex> plug(m_plugMutex);
    Attach(m_pFrame->CurrentMode());
}

void CMockedHidFrame::Unplug()
{
    std::lock_guard<std::mutex> plug(m_plugMutex);
    Detach();
}

void CMockedHidFrame::Vanish()
{
    if (std::shared_ptr<Node> node = CurrentNode())
        node->Fail();
}

bool CMockedHidFrame::IsPlugged() const
{
    return CurrentNode() != nullptr;
}

std::shared_ptr<CMockedHidFrame::Node> CMockedHidFrame::CurrentNode() const
{
    std::lock_guard<std::mutex> lock(m_nodeMutex);
    return m_node;
}

QString CMockedHidFrame::DevNode() const
{
    const std::shared_ptr<Node> node = CurrentNode();
    return node ? node->strDevNode : QString();
}

QString CMockedHidFrame::HidrawSysPath() const
{
    const std::shared_ptr<Node> node = CurrentNode();
    return node ? node->strHidrawPath : QString();
}

int CMockedHidFrame::UsbDevNum() const
{
    const std::shared_ptr<Node> node = CurrentNode();
    return node ? node->nDevNum : 0;
}

int CMockedHidFrame::OpenCount() const
{
    const std::shared_ptr<Node> node = CurrentNode();
    if (!node)
        return 0;
    std::lock_guard<std::mutex> lock(node->mutex);
    return int(std::count_if(node->used.cbegin(), node->used.cend(), &Node::IsOpen));
}

int CMockedHidFrame::OpensSoFar() const
{
    const std::shared_ptr<Node> node = CurrentNode();
    if (!node)
        return 0;
    std::lock_guard<std::mutex> lock(node->mutex);
    return node->used.size();
}

int CMockedHidFrame::WriteCount() const
{
    const std::shared_ptr<Node> node = CurrentNode();
    if (!node)
        return 0;
    std::lock_guard<std::mutex> lock(node->mutex);
    return node->nWrites;
}

int CMockedHidFrame::UnreadReports() const
{
    const std::shared_ptr<Node> node = CurrentNode();
    if (!node)
        return 0;
    std::lock_guard<std::mutex> lock(node->mutex);
    int nUnread = 0;
    for (const auto &entry : node->openers) {
        if (Node::IsOpen(entry.first))
            nUnread += entry.second.queue.size() + (entry.second.bHandedOver ? 1 : 0);
    }
    return nUnread;
}

void CMockedHidFrame::SendInput(const QByteArray &report)
{
    if (std::shared_ptr<Node> node = CurrentNode())
        node->Deliver(CEmulatedFrame::Pad64(report));
}

void CMockedHidFrame::DeliverInjected()
{
    m_queue.Schedule(m_pFrame->TakeInjected(), m_nGeneration.load());
}

bool CMockedHidFrame::WaitIdle(int nTimeoutMs)
{
    return m_queue.WaitIdle(nTimeoutMs);
}

void CMockedHidFrame::Announce(const char *szAction)
{
    const QString sysPath = HidrawSysPath();
    if (!sysPath.isEmpty())
        m_pKernel->Uevent(sysPath, szAction);
}

void CMockedHidFrame::Attach(CEmulatedFrame::Mode mode)
{
    Detach();
    m_pFrame->SetMode(mode);
    const CEmulatedFrame::State s = m_pFrame->Snapshot();
    const bool bApp = mode == CEmulatedFrame::Mode::Application;
    const quint16 nVid = s.id.nVid;
    const quint16 nPid = bApp ? s.id.nAppPid : s.id.nBootPid;
    const quint16 nRelease = bApp ? s.id.nVersion : s.id.nBootRelease;
    QByteArray descriptor = bApp ? m_appDescriptor : m_bootDescriptor;
    if (descriptor.isNull())
        descriptor = DefaultDescriptor(mode);

    auto node = std::make_shared<Node>();
    node->pWriteError = &m_nWriteError;
    const int nMinor = m_pKernel->NextHidrawMinor();
    const int nSequence = m_pKernel->NextHidSequence();
    node->nDevNum = m_pKernel->NextUsbDevNum();
    node->strDevNode = QStringLiteral("/dev/hidraw%1").arg(nMinor);
    const QString usb = QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/1-%1").arg(m_nPort);
    const QString usbInterface = usb + QStringLiteral("/1-%1:1.0").arg(m_nPort);
    const QString hidName = QString::asprintf("0003:%04X:%04X.%04X", nVid, nPid, nSequence);
    const QString hid = usbInterface + "/" + hidName;
    const QString hidraw = hid + QStringLiteral("/hidraw/hidraw%1").arg(nMinor);
    node->strUsbPath = "/sys" + usb;
    node->strInterfacePath = "/sys" + usbInterface;
    node->strHidPath = "/sys" + hid;
    node->strHidrawPath = "/sys" + hidraw;

    QByteArray text;
    text += Line("P: ", usb);
    text += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n";
    text += Line("A: idVendor=", QString::asprintf("%04x", nVid));
    text += Line("A: idProduct=", QString::asprintf("%04x", nPid));
    text += Line("A: busnum=", QString::number(UsbBusNum()));
    text += Line("A: devnum=", QString::number(node->nDevNum));
    text += Line("A: bcdDevice=", QString::asprintf("%04x", nRelease));
    text += Line("A: manufacturer=", QString::fromUtf8(s.id.manufacturer));
    text += Line("A: product=", QString::fromUtf8(s.id.product));
    text += Line("A: serial=", QString::fromUtf8(s.id.serial));
    text += '\n';
    text += Line("P: ", usbInterface);
    text += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=00\n\n";
    text += Line("P: ", hid);
    text += "E: SUBSYSTEM=hid\n";
    text += Line("E: HID_ID=", QString::asprintf("0003:%08X:%08X", nVid, nPid));
    text += Line("E: HID_NAME=", QString::fromUtf8(s.id.manufacturer + ' ' + s.id.product));
    text += "H: report_descriptor=" + descriptor.toHex().toUpper() + '\n';
    text += '\n';
    text += Line("P: ", hidraw);
    text += "E: SUBSYSTEM=hidraw\n";
    text += Line("E: DEVNAME=", node->strDevNode);
    text += Line("A: dev=", QStringLiteral("243:%1").arg(nMinor));
    text += Line("L: device=../../../", hidName);
    text += Line("N: ", QStringLiteral("hidraw%1=00").arg(nMinor));

    // The model is in place before the node exists, so no open can miss it.
    node->pHandler = umockdev_ioctl_base_new();
    Connect(node->pHandler, "client-connected", G_CALLBACK(OnConnected), node);
    Connect(node->pHandler, "handle-read", G_CALLBACK(OnRead), node);
    Connect(node->pHandler, "handle-write", G_CALLBACK(OnWrite), node);
    node->output = [this](Node &n, const QByteArray &report) { OnOutput(n, report); };
    m_allNodes.append(node);
    m_pKernel->AttachIoctl(node->strDevNode, node->pHandler);
    {
        std::lock_guard<std::mutex> lock(m_nodeMutex);
        m_node = node;
    }
    ++m_nGeneration;
    ++m_nArrivals;
    m_pFrame->SetAttached(true);
    QString error;
    if (!m_pKernel->AddDevices(text, &error))
        qWarning("the mocked frame's devices were refused: %s", qPrintable(error));
    if (m_bOpensRefused)
        ::chmod(QFile::encodeName(m_pKernel->NodeFile(node->strDevNode)).constData(), 0);
}

void CMockedHidFrame::Detach()
{
    std::shared_ptr<Node> node;
    {
        std::lock_guard<std::mutex> lock(m_nodeMutex);
        node.swap(m_node);
    }
    if (!node)
        return;
    ++m_nGeneration;
    m_pFrame->SetAttached(false);
    {
        std::lock_guard<std::mutex> lock(node->outputMutex);
        node->output = nullptr;
    }
    node->Fail();
    // As in the kernel, the node leaves the hidraw listing before its
    // "remove" event goes out: the station's look at the bus on that event
    // must not find it still there. The event needs the node's folder, which
    // goes after it.
    m_pKernel->Unlist(node->strHidrawPath);
    m_pKernel->Uevent(node->strHidrawPath, "remove");
    m_pKernel->RemoveDevice(node->strHidrawPath);
    m_pKernel->RemoveDevice(node->strHidPath);
    m_pKernel->RemoveDevice(node->strInterfacePath);
    m_pKernel->RemoveDevice(node->strUsbPath);
}

void CMockedHidFrame::OnOutput(Node &node, const QByteArray &report)
{
    const int nGeneration = m_nGeneration.load();
    QList<CEmulatedFrame::Action> actions = m_pFrame->OnOutput(report);
    actions += m_pFrame->TakeInjected();
    QList<CEmulatedFrame::Action> later;
    for (const CEmulatedFrame::Action &a : qAsConst(actions)) {
        if (a.kind == CEmulatedFrame::Action::Reply && a.delayMs <= 0 && later.isEmpty())
            node.Deliver(a.report); // at once, before the write returns
        else
            later.append(a);
    }
    if (!later.isEmpty())
        m_queue.Schedule(later, nGeneration);
}

void CMockedHidFrame::Execute(const CEmulatedActionQueue::Task &task)
{
    const CEmulatedFrame::Action &a = task.action;
    std::lock_guard<std::mutex> plug(m_plugMutex);
    if (task.bAttach) {
        // Coming back belongs to the leave just before it (one generation later).
        if (m_nGeneration.load() == task.nGeneration + 1 && !IsPlugged())
            Attach(a.mode);
        return;
    }
    if (m_nGeneration.load() != task.nGeneration)
        return; // meant for an arrival that is over
    if (a.kind == CEmulatedFrame::Action::Reply) {
        if (std::shared_ptr<Node> node = CurrentNode())
            node->Deliver(a.report);
    } else {
        Detach();
    }
}
