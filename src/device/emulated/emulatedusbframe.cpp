#include "emulatedusbframe.h"

#include "fakehidbackend.h"
#include "fakehidnode.h"

// Shared with the node's output handler, so that a handler still running on
// the node's thread never reaches a destroyed adapter.
struct CEmulatedUsbFrame::Link
{
    std::mutex mutex;
    CEmulatedUsbFrame *pOwner = nullptr;
};

CEmulatedUsbFrame::CEmulatedUsbFrame(CEmulatedFrame *pFrame, std::shared_ptr<CFakeHidBackend> backend)
    : m_pFrame(pFrame),
      m_backend(std::move(backend)),
      m_link(std::make_shared<Link>()),
      m_queue([this](const CEmulatedActionQueue::Task &task) { Execute(task); })
{
    m_link->pOwner = this;
    m_pFrame->SetAttached(false);
}

CEmulatedUsbFrame::~CEmulatedUsbFrame()
{
    {
        std::lock_guard<std::mutex> lock(m_link->mutex);
        m_link->pOwner = nullptr;
    }
    m_queue.Stop();
    Detach();
}

void CEmulatedUsbFrame::Plug()
{
    Attach(m_pFrame->CurrentMode());
}

void CEmulatedUsbFrame::Unplug()
{
    Detach();
}

bool CEmulatedUsbFrame::IsPlugged() const
{
    std::lock_guard<std::mutex> lock(m_nodeMutex);
    return m_node != nullptr;
}

std::shared_ptr<CFakeHidNode> CEmulatedUsbFrame::Node() const
{
    std::lock_guard<std::mutex> lock(m_nodeMutex);
    return m_node;
}

void CEmulatedUsbFrame::Attach(CEmulatedFrame::Mode mode)
{
    Detach();
    m_pFrame->SetMode(mode);
    const CEmulatedFrame::State s = m_pFrame->Snapshot();
    const bool bApp = mode == CEmulatedFrame::Mode::Application;
    HidNodeInfo info = m_backend->FrameInfo(s.id.nVid, bApp ? s.id.nAppPid : s.id.nBootPid,
                                            bApp ? s.id.nVersion : s.id.nBootRelease,
                                            bApp ? CFakeHidBackend::AppMode : CFakeHidBackend::BootMode,
                                            s.id.product);
    info.baManufacturer = s.id.manufacturer;
    info.baSerial = s.id.serial;
    info.baReportDescriptor = CEmulatedFrame::ReportDescriptor(mode);

    // The node exists before it is announced, so no report can miss the handler.
    std::shared_ptr<CFakeHidNode> node = m_backend->AddNode(info, false);
    std::shared_ptr<Link> link = m_link;
    node->SetOutputHandler([link](CFakeHidNode &n, const QByteArray &report) {
        std::lock_guard<std::mutex> lock(link->mutex);
        if (link->pOwner)
            link->pOwner->OnOutput(n, report);
    });
    {
        std::lock_guard<std::mutex> lock(m_nodeMutex);
        m_node = node;
    }
    ++m_nGeneration;
    ++m_nArrivals;
    m_pFrame->SetAttached(true);
    m_backend->InjectEvent();
}

void CEmulatedUsbFrame::Detach()
{
    std::shared_ptr<CFakeHidNode> node;
    {
        std::lock_guard<std::mutex> lock(m_nodeMutex);
        node.swap(m_node);
    }
    if (!node)
        return;
    ++m_nGeneration;
    m_pFrame->SetAttached(false);
    node->SetOutputHandler(nullptr);
    m_backend->RemoveNode(node);
}

void CEmulatedUsbFrame::OnOutput(CFakeHidNode &node, const QByteArray &report)
{
    const int nGeneration = m_nGeneration.load();
    QList<CEmulatedFrame::Action> actions = m_pFrame->OnOutput(report);
    actions += m_pFrame->TakeInjected();
    QList<CEmulatedFrame::Action> later;
    for (const CEmulatedFrame::Action &a : qAsConst(actions)) {
        if (a.kind == CEmulatedFrame::Action::Reply && a.delayMs <= 0 && later.isEmpty())
            node.SendInput(a.report);  // at once, from the node's thread
        else
            later.append(a);
    }
    if (!later.isEmpty())
        m_queue.Schedule(later, nGeneration);
}

void CEmulatedUsbFrame::DeliverInjected()
{
    m_queue.Schedule(m_pFrame->TakeInjected(), m_nGeneration.load());
}

void CEmulatedUsbFrame::Execute(const CEmulatedActionQueue::Task &task)
{
    const CEmulatedFrame::Action &a = task.action;
    if (task.bAttach) {
        // Coming back belongs to the leave that preceded it (one generation later).
        if (m_nGeneration.load() == task.nGeneration + 1 && !IsPlugged())
            Attach(a.mode);
        return;
    }
    if (m_nGeneration.load() != task.nGeneration)
        return;  // meant for a node that is gone
    switch (a.kind) {
    case CEmulatedFrame::Action::Reply:
        if (std::shared_ptr<CFakeHidNode> node = Node())
            node->SendInput(a.report);
        break;
    case CEmulatedFrame::Action::Unplug:
    case CEmulatedFrame::Action::Replug:
        Detach();
        break;
    }
}

bool CEmulatedUsbFrame::WaitIdle(int nTimeoutMs)
{
    return m_queue.WaitIdle(nTimeoutMs);
}
