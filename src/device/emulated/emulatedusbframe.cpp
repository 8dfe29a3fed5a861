#include "emulatedusbframe.h"

#include "fakehidbackend.h"
#include "fakehidnode.h"
#include "stationclock.h"

// Shared with the node's output handler, so that a handler still running on
// the node's thread never reaches a destroyed adapter.
struct CEmulatedUsbFrame::Link
{
    std::mutex mutex;
    CEmulatedUsbFrame *pOwner = nullptr;
};

CEmulatedUsbFrame::CEmulatedUsbFrame(CEmulatedFrame *pFrame, std::shared_ptr<CFakeHidBackend> backend)
    : m_pFrame(pFrame), m_backend(std::move(backend)), m_link(std::make_shared<Link>())
{
    m_link->pOwner = this;
    m_pFrame->SetAttached(false);
    m_thread = std::thread([this] { Run(); });
}

CEmulatedUsbFrame::~CEmulatedUsbFrame()
{
    {
        std::lock_guard<std::mutex> lock(m_link->mutex);
        m_link->pOwner = nullptr;
    }
    {
        std::lock_guard<std::mutex> lock(m_schedMutex);
        m_bStop = true;
    }
    m_schedCond.notify_all();
    if (m_thread.joinable())
        m_thread.join();
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
        Schedule(later, nGeneration);
}

void CEmulatedUsbFrame::DeliverInjected()
{
    Schedule(m_pFrame->TakeInjected(), m_nGeneration.load());
}

void CEmulatedUsbFrame::Schedule(const QList<CEmulatedFrame::Action> &actions, int nGeneration)
{
    for (const CEmulatedFrame::Action &a : actions) {
        Task t;
        t.action = a;
        t.nGeneration = nGeneration;
        Post(t, a.delayMs);
        if (a.kind == CEmulatedFrame::Action::Replug) {
            Task back;
            back.action = a;
            back.bAttach = true;
            back.nGeneration = nGeneration;
            Post(back, a.delayMs + qMax(1, a.backAfterMs));
        }
    }
}

void CEmulatedUsbFrame::Post(const Task &task, int nDelayMs)
{
    const auto due = std::chrono::steady_clock::now()
        + std::chrono::milliseconds(nDelayMs > 0 ? CStationClock::Timeout(nDelayMs) : 0);
    {
        std::lock_guard<std::mutex> lock(m_schedMutex);
        m_tasks.emplace(due, task);
    }
    m_schedCond.notify_all();
}

void CEmulatedUsbFrame::Execute(const Task &task)
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

void CEmulatedUsbFrame::Run()
{
    std::unique_lock<std::mutex> lock(m_schedMutex);
    while (!m_bStop) {
        if (m_tasks.empty()) {
            m_schedCond.wait(lock);
            continue;
        }
        const auto due = m_tasks.begin()->first;
        if (std::chrono::steady_clock::now() < due) {
            m_schedCond.wait_until(lock, due);
            continue;
        }
        const Task task = m_tasks.begin()->second;
        m_tasks.erase(m_tasks.begin());
        ++m_nRunning;
        lock.unlock();
        Execute(task);
        lock.lock();
        --m_nRunning;
        m_schedCond.notify_all();
    }
}

bool CEmulatedUsbFrame::WaitIdle(int nTimeoutMs)
{
    std::unique_lock<std::mutex> lock(m_schedMutex);
    return m_schedCond.wait_for(lock, std::chrono::milliseconds(nTimeoutMs),
                                [this] { return m_tasks.empty() && m_nRunning == 0; });
}
