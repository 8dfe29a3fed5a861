// VeloraTestView: the feeds of the diagram, histograms and curves, and the refresh.
#include "veloratestview.h"

#include "handlework.h"
#include "signalhistogramview.h"
#include "signalkind.h"
#include "touchbase.h"
#include "touchpanelview.h"
#include "touchsignalview.h"
#include "veloratestview_p.h"

#include <QDebug>
#include <QMutexLocker>
#include <QThread>

using VeloraTestViewPrivate::Settings;

namespace {
const char* const kProblemMapType = "QMap<QString, QList<QString>>";
} // namespace

// ---------------------------------------------------------------------------
// Feeds of the panel diagram and the histograms

bool VeloraTestView::UpdatePanelView()
{
    if (!m_pHandleWork)
        return false;
    QMutexLocker deviceLock(DeviceMutex());
    QMutexLocker lock(&m_panelMutex);
    CTouchBase* pDevice = Device();
    if (!pDevice || !m_pPanelView)
        return false;
    ProblemMap mapProblems;
    uint32_t nFrameNumber = 0;
    if (pDevice->GetErrors(mapProblems, &nFrameNumber) >= 0) {
        // The diagram does not read the frame number.
        uint32_t* pNoFrame = nullptr;
        WarnIfNotInvoked(QMetaObject::invokeMethod(m_pPanelView, "UpdateTouchPanel", Qt::AutoConnection,
                                                   QGenericArgument(kProblemMapType, &mapProblems),
                                                   Q_ARG(uint32_t*, pNoFrame)),
                         "UpdateTouchPanel");
    }
    return true;
}

bool VeloraTestView::RefreshPanelView()
{
    if (!m_pHandleWork)
        return false;
    QMutexLocker deviceLock(DeviceMutex());
    QMutexLocker lock(&m_panelMutex);
    CTouchBase* pDevice = Device();
    if (!pDevice || !m_pPanelView)
        return false;
    ProblemMap mapProblems;
    uint32_t nFrameNumber = 0;
    if (pDevice->AnalyseRealTimeSignal(mapProblems, &nFrameNumber) >= 0)
        PutDiagram(mapProblems);
    RealTimeVerdict(pDevice);
    return true;
}

void VeloraTestView::RealTimeVerdict(CTouchBase* pDevice)
{
    if (!Settings()->GetBool(QStringLiteral("SupportRealTimeTest"), true) || !pDevice->IsSupportRealTimeTest()
        || !m_bSourcePresent.load())
        return;
    pDevice->ResetSignalErrors();
    pDevice->AnalyseAdc();
    // Handed over, never shown here: the result display takes the device
    // mutex, which the caller holds.
    PutVerdict(pDevice, pDevice->GetSignalErrors());
}

bool VeloraTestView::UpdateHistogramView()
{
    if (!m_pHandleWork)
        return false;
    QMutexLocker deviceLock(DeviceMutex());
    CTouchBase* pDevice = Device();
    if (!pDevice)
        return false;
    QMutexLocker lock(&m_histogramMutex);
    ForEachHistogramKey(pDevice, [pDevice](const QString& axis, const QString& dir, SignalHistogramView* pView) {
        SignalFrame lstSignal;
        if (pDevice->GetLatestSignal(axis, dir, SignalKind::kAdc, lstSignal) > 0)
            pView->UpdateHistogramData(axis + QLatin1Char('-') + dir, lstSignal);
    });
    for (auto it = m_mapHistogramViews.cbegin(); it != m_mapHistogramViews.cend(); ++it) {
        WarnIfNotInvoked(QMetaObject::invokeMethod(it.value(), "update", Qt::AutoConnection), "update");
    }
    return true;
}

void VeloraTestView::ForEachHistogramKey(
    CTouchBase* pDevice, const std::function<void(const QString&, const QString&, SignalHistogramView*)>& fn)
{
    const QMap<QString, CAxisSignalInfo>& mapAxes = pDevice->GetAxisSignalMap();
    for (auto it = m_mapHistogramViews.cbegin(); it != m_mapHistogramViews.cend(); ++it) {
        const auto axis = mapAxes.constFind(it.key());
        // The views are built from the same object's axes; one that is not
        // there (any more) is left as it is.
        if (axis == mapAxes.cend())
            continue;
        for (const QString& dir : axis.value().GetDirMap().keys())
            fn(it.key(), dir, it.value());
    }
}

bool VeloraTestView::UpdateRealTimeData()
{
    UpdatePanelView();
    UpdateHistogramView();
    return true;
}

bool VeloraTestView::UpdateCurveViews(const QMap<QString, CTouchSignalView*>& mapViews)
{
    return FeedCurveViews(mapViews, false);
}

bool VeloraTestView::UpdateCurveViewsRealTime(const QMap<QString, CTouchSignalView*>& mapViews)
{
    return FeedCurveViews(mapViews, true);
}

bool VeloraTestView::FeedCurveViews(const QMap<QString, CTouchSignalView*>& mapViews, bool bReadFrame)
{
    if (!m_pHandleWork)
        return false;
    QMutexLocker deviceLock(DeviceMutex());
    CTouchBase* pDevice = Device();
    if (!pDevice)
        return false;
    for (auto it = mapViews.cbegin(); it != mapViews.cend(); ++it) {
        if (!it.value())
            continue;
        for (const auto& key : it.value()->GetCurveKeys()) {
            SignalFrame lstSignal;
            // Read from the frame now, or the latest readings it gave.
            const int32_t nRead = bReadFrame ? pDevice->ReadAxisSignal(it.key(), key.first, key.second, lstSignal)
                                             : pDevice->GetLatestSignal(it.key(), key.first, key.second, lstSignal);
            if (nRead > 0)
                it.value()->UpdateCurveSignal(key.first, key.second, lstSignal);
        }
        WarnIfNotInvoked(QMetaObject::invokeMethod(it.value(), "replot", Qt::AutoConnection), "replot");
    }
    if (bReadFrame)
        RealTimeVerdict(pDevice);
    return true;
}

// ---------------------------------------------------------------------------
// The refresh (its thread) and the hand-over to the GUI thread

void VeloraTestView::RefreshTimer_CB(void* pArg)
{
    auto* pView = static_cast<VeloraTestView*>(pArg);
    if (!pView || !pView->m_bSourcePresent.load() || !pView->m_pHandleWork || pView->m_bRefreshHeld.load()
        || pView->m_bFilingHeld.load())
        return;
    // One frame on and the visible page for it (taken back when no page took it).
    pView->StepReplayFrame(1);
}

bool VeloraTestView::RefreshCurrentTab()
{
    switch (m_eVisiblePage.load()) {
    case EPage::Panel:
        return RefreshPanelView();
    case EPage::Histogram:
        return RefreshHistogramView();
    case EPage::Other:
        break;
    }
    return false;
}

bool VeloraTestView::RefreshHistogramView()
{
    if (!m_pHandleWork)
        return false;
    QMutexLocker deviceLock(DeviceMutex());
    CTouchBase* pDevice = Device();
    if (!pDevice)
        return false;
    bool bPosted = false;
    {
        QMutexLocker lock(&m_histogramMutex);
        ForEachHistogramKey(pDevice, [&](const QString& axis, const QString& dir, SignalHistogramView*) {
            SignalFrame lstSignal;
            if (pDevice->ReadAxisSignal(axis, dir, SignalKind::kAdc, lstSignal) > 0)
                bPosted = m_histogramBox.Put(axis + QLatin1Char('-') + dir, SHistogramReading{axis, lstSignal})
                          || bPosted;
        });
    }
    if (bPosted)
        PostDrain(&VeloraTestView::DrainHistograms);
    RealTimeVerdict(pDevice);
    return true;
}

void VeloraTestView::PutVerdict(CTouchBase* pDevice, const QMap<QString, QString>& mapErrors)
{
    if (m_verdictBox.Put(QString(), SVerdict{mapErrors, ReadDeviceFacts(pDevice, mapErrors)}))
        PostDrain(&VeloraTestView::DrainVerdict);
}

void VeloraTestView::PutDiagram(const QMap<QString, QList<QString>>& mapProblems)
{
    if (m_diagramBox.Put(QString(), mapProblems))
        PostDrain(&VeloraTestView::DrainDiagram);
}

void VeloraTestView::PostDrain(void (VeloraTestView::*pDrain)())
{
    ++m_nDrainsPosted;
    QMetaObject::invokeMethod(this, [this, pDrain] { (this->*pDrain)(); }, Qt::QueuedConnection);
}

void VeloraTestView::DrainVerdict()
{
    const auto values = m_verdictBox.TakeAll();
    if (values.isEmpty())
        return;
    // A test of a plugged frame is under way: its own result comes next.
    if (m_bTestRunning && HasDevice() && m_pHandleWork->GetDeviceKind() == HandleWork::DeviceKind::Live) {
        qDebug().noquote() << "ShowTestResult" << ": a real-time result during a test is dropped";
        return;
    }
    const SVerdict& verdict = values.first();
    // What the refresh read still stands while the device object is the
    // same; otherwise the table reads the object that is there now.
    if (m_pHandleWork && verdict.device.nGeneration == m_pHandleWork->GetDeviceGeneration()) {
        if (isVisible())
            ShowTestResultOf(verdict.errors, false, verdict.device);
        return;
    }
    ShowResultNow(verdict.errors, false);
}

void VeloraTestView::DrainDiagram()
{
    const auto values = m_diagramBox.TakeAll();
    if (values.isEmpty())
        return;
    // Only this (the GUI) thread replaces the diagram; it takes the panel
    // mutex then for the refresh thread's sake. Read here without it, so a
    // drain never waits for a refresh still analysing the frame.
    Q_ASSERT(QThread::currentThread() == thread());
    if (m_pPanelView)
        m_pPanelView->UpdateTouchPanel(values.first(), nullptr);
}

void VeloraTestView::DrainHistograms()
{
    const auto values = m_histogramBox.TakeAll();
    // As for the diagram: the views are replaced on this thread only.
    Q_ASSERT(QThread::currentThread() == thread());
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (SignalHistogramView* pView = m_mapHistogramViews.value(it.value().axis))
            pView->UpdateHistogramData(it.key(), it.value().values);
    }
}

int VeloraTestView::WaitingValues() const
{
    return m_verdictBox.Waiting() + m_diagramBox.Waiting() + m_histogramBox.Waiting();
}

int VeloraTestView::MostWaitingValues() const
{
    return m_verdictBox.MostWaiting() + m_diagramBox.MostWaiting() + m_histogramBox.MostWaiting();
}

void VeloraTestView::ResetWaitingValues()
{
    m_verdictBox.ResetMostWaiting();
    m_diagramBox.ResetMostWaiting();
    m_histogramBox.ResetMostWaiting();
}
