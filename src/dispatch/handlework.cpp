#include "handlework.h"

#include "comportuart.h"
#include "comportusb.h"
#include "deviceerror.h"
#include "deviceinfokey.h"
#include "devicemode.h"
#include "hardwareinterface.h"
#include "operateenvironment.h"
#include "stationclock.h"
#include "stationmetatypes.h"
#include "taskevent.h"
#include "testlogerror.h"
#include "touchbase.h"
#include "touchhardware.h"
#include "touchlogfile.h"
#include "touchlogfilexml.h"
#include "touchtestinfotable.h"
#include "workthread.h"

#include <QDebug>
#include <QMessageBox>
#include <QMetaObject>
#include <QMutexLocker>
#include <QStringList>
#include <QTimer>
#include <QWidget>

namespace {
// Application firmware below this protocol version is not supported.
constexpr int32_t kMinimumVersion = 0x7200;
constexpr int kBootDetectIntervalMs = 3000;
// How long closing waits for a running task to return, and at the end for
// the device mutex, in ms.
constexpr int kStopTaskMs = 5000;

bool HoldsRecordedValue(CTouchBase* pReplay)
{
    for (const CAxisSignalInfo& axis : qAsConst(pReplay->GetAxisSignalMap())) {
        for (const CDirSignalInfo& dir : axis.GetDirMap()) {
            for (const CSignalTypeInfo& type : dir.GetTypeMap()) {
                for (const QList<uint32_t>& frame : type.GetTestDataMap()) {
                    if (!frame.isEmpty())
                        return true;
                }
            }
        }
    }
    return false;
}

// The kinds a run over a log read and found nowhere, with the reads that
// found none, as "6 REVERSE, 60 ADC".
QString KindsNotFound(const CTouchBase::SRunCoverage& coverage)
{
    QStringList lstKinds;
    const QMap<QString, uint32_t> mapKinds = coverage.KindsNotFound();
    for (auto it = mapKinds.cbegin(); it != mapKinds.cend(); ++it)
        lstKinds << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
    return lstKinds.join(QStringLiteral(", "));
}

// Why a log that was read and tested is no replay, empty when it is one: a
// test log describes the frame (at least one sensor), holds some recorded
// value, holds a frame of every kind its test reads (the kinds its own
// TEST_TIMES_FOR_UNT makes the test read) at some position the test reaches
// and, where the test reads ADC frames, lets it judge at least one LED
// reading. A well-formed file of another kind reads as an empty log; frames
// numbered, labelled or bounded otherwise than the test reads them would
// give a verdict over nothing. A log short of some frames (a position
// without one adds nothing) is judged on those it holds.
QString ReplayRefusal(CTouchBase* pReplay)
{
    if (pReplay->GetHardwareInfo().GetTotalSensorCount() == 0)
        return QStringLiteral("it holds no hardware description");
    if (!HoldsRecordedValue(pReplay))
        return QStringLiteral("it holds no recorded value");
    const CTouchBase::SRunCoverage& coverage = pReplay->GetRunCoverage();
    if (!coverage.KindsNotFound().isEmpty())
        return QStringLiteral("its test asked for frames it does not hold (%1)").arg(KindsNotFound(coverage));
    // Without ADC frames (TEST_TIMES_FOR_UNT 0) the test judges no reading by design.
    if (pReplay->GetTestTimesForUnt() > 0 && coverage.nLedsJudged == 0)
        return QStringLiteral("its test judged no LED (no reading has a label and a test window)");
    return QString();
}

// A run-log warning for every kind of frame that some directions of a
// replayed log hold and others do not: those are judged on what they hold.
void WarnDirectionsWithoutKind(CTouchBase* pReplay, const QString& strPath)
{
    const QMap<QString, QStringList> mapWithout = pReplay->GetRunCoverage().DirectionsWithoutKind();
    for (auto it = mapWithout.cbegin(); it != mapWithout.cend(); ++it)
        qWarning().noquote() << QStringLiteral("Test log %1: %2 hold no %3 frame its test reads; judged on what they hold")
                                    .arg(strPath, it.value().join(QStringLiteral(", ")), it.key());
}
} // namespace

HandleWork::HandleWork(IMainWindow* pMainWindow)
    : QObject(nullptr), m_pMainWindow(pMainWindow), m_pDeviceMutex(new QMutex)
{
    RegisterStationMetaTypes();
    // Refreshing the environment record loads the per-product table first.
    COperateEnvironment::SetParameterTableHook(
        [] { CTouchTestInfoTable::GetInstance(QStringLiteral("TouchTestInfo")); });

    // Worker thread with the relay that receives the posted tasks.
    m_pWorkThread = new CWorkThread(nullptr, nullptr, nullptr, false);
    m_pTaskEvent = new CTaskEvent(this);
    m_pTaskEvent->moveToThread(m_pWorkThread);
    m_pWorkThread->Start(true);

    m_pEnvironment = new COperateEnvironment();
    TakeEnvironmentSnapshot();
    m_pUartPort = new CComPortUart(QString(), nullptr);
    m_pUsbPort = new CComPortUsb(nullptr);

    m_pBootDetectTimer = new QTimer(this);
    m_pBootDetectTimer->setInterval(CStationClock::Timeout(kBootDetectIntervalMs));

    QWidget* pWindow = m_pMainWindow ? m_pMainWindow->GetWindowWidget() : nullptr;
    connect(m_pBootDetectTimer, SIGNAL(timeout()), this, SLOT(UpgradeDetectTimer_CB()));
    connect(this, SIGNAL(EmitStartDevToBootDetectTimer()), m_pBootDetectTimer, SLOT(start()));
    connect(this, SIGNAL(EmitStopDevToBootDetectTimer()), m_pBootDetectTimer, SLOT(stop()));
    // Queued even when the port announces from this thread (the frames
    // present at its start): the questions and the refusal box an arrival
    // may bring then run in an event of their own, never inside a delivery
    // that the port's other receivers are still waiting for.
    connect(m_pUsbPort, SIGNAL(DeviceInsert(bool)), this, SLOT(InsertUsbDevice(bool)), Qt::QueuedConnection);
    if (pWindow) {
        ConnectToWindow(pWindow, QMetaMethod::fromSignal(&HandleWork::EmitDeviceStatusToUIObject),
                        ViewContract::kInsertUsbDeviceForMainwindow);
        ConnectToWindow(pWindow, QMetaMethod::fromSignal(&HandleWork::UpdateDeviceInfo),
                        ViewContract::kInitDeviceInfoForUI);
    }
    connect(this, SIGNAL(InitEnvironmentPara_Emit()), this, SLOT(InitEnvironmentPara_Slot()));

    PostTask(QStringLiteral("InitEnvironmentValid"));
}

HandleWork::~HandleWork()
{
    StopWorker();

    // The device object sends through the USB port: it goes first. A task
    // that did not end within the stop bound (its thread was terminated) may
    // still hold the device mutex: then the object and the mutex are left as
    // they are rather than waited for.
    const int nWaitMs = CStationClock::Timeout(kStopTaskMs);
    if (m_pDeviceMutex->tryLock(nWaitMs)) {
        SetDevice(nullptr);
        m_pDeviceMutex->unlock();
        delete m_pDeviceMutex;
    } else {
        qWarning().noquote() << "~HandleWork : the device mutex is still held after" << nWaitMs
                             << "ms; the device object is left in place.";
    }
    m_pDeviceMutex = nullptr;
    delete m_pEnvironment;
    delete m_pUartPort;
    delete m_pUsbPort;
}

void HandleWork::StopWorker()
{
    if (!m_pWorkThread)
        return;
    // No task starts any more, and no arrival is handled.
    m_bClosing = true;
    qInfo().noquote() << "StopWorker : stopping the worker thread.";
    disconnect(m_pUsbPort, SIGNAL(DeviceInsert(bool)), this, SLOT(InsertUsbDevice(bool)));
    m_pBootDetectTimer->stop();
    StopRunningTask();
    delete m_pWorkThread;
    m_pWorkThread = nullptr;
    delete m_pTaskEvent;
    m_pTaskEvent = nullptr;
    qInfo().noquote() << "StopWorker : the worker thread has stopped.";
    WarnOfOwedTouchFormats();
}

void HandleWork::StopRunningTask()
{
    // No task starts any more; the one that runs is ended: a wait for the
    // frame returns at once while reception is off, and a calibration step
    // also watches the device object's run flag. Every retry of a command
    // switches reception on again, so it is switched off until the task has
    // returned. The worker thread then stops within its bounds and is never
    // terminated while a task holds the device.
    m_bClosing = true;
    m_bRecvEnabled = false;
    InterruptDeviceWait();
    const qint64 nStart = CStationClock::NowMs();
    const int nBoundMs = CStationClock::Timeout(kStopTaskMs);
    for (;;) {
        if (m_pUsbPort->GetDevCount() > 0)
            m_pUsbPort->SetRecvEnable(0, 0);
        if (m_nTasksRunning.load() == 0)
            break;
        if (CStationClock::NowMs() - nStart > nBoundMs) {
            qWarning() << "HandleWork: a task is still running after" << nBoundMs << "ms.";
            break;
        }
        CStationClock::Sleep(1);
    }
}

HandleWork::ErrorClass HandleWork::ClassifyError(int32_t nResult)
{
    if (nResult >= 0)
        return ErrorClass::None;
    switch (uint32_t(nResult) & 0xFFFFu) {
    case ERROR_CLASS_TIMEOUT:
        return ErrorClass::Timeout;
    case ERROR_CLASS_RUNTIME:
        return ErrorClass::RuntimeError;
    default:
        return ErrorClass::None;
    }
}

// ---------------------------------------------------------------------------
// Posting

bool HandleWork::PostTask(const QString& task, Qt::ConnectionType type, QObject* mPara)
{
    return Post(task, type, mPara, false);
}

bool HandleWork::PostTask(const QString& task, Qt::ConnectionType type, bool bFlag)
{
    return Post(task, type, nullptr, bFlag);
}

bool HandleWork::PostTask(const QString& task, Qt::ConnectionType type, QObject* mPara, const QString& strArg)
{
    return Post(task, type, mPara, false, strArg);
}

QMutex* HandleWork::TaskMutex(const QString& task)
{
    QMutexLocker lock(&m_taskMapMutex);
    std::unique_ptr<QMutex>& pMutex = m_mapTaskMutex[task];
    if (!pMutex)
        pMutex = std::make_unique<QMutex>();
    // Entries are never removed, so the pointer stays valid.
    return pMutex.get();
}

bool HandleWork::IsTaskRunning(const QString& task)
{
    QMutex* pTaskMutex = TaskMutex(task);
    if (!pTaskMutex->tryLock())
        return true;
    pTaskMutex->unlock();
    return false;
}

bool HandleWork::Post(const QString& task, Qt::ConnectionType type, QObject* mPara, bool bFlag,
                      const QString& strArg)
{
    if (m_bClosing || !m_pTaskEvent) {
        qDebug().noquote() << "PostTask" << ":task = " + task << "refused, the station is closing";
        return false;
    }
    QMutex* pTaskMutex = TaskMutex(task);
    // The task's mutex is held while the task runs: only test it.
    if (!pTaskMutex->tryLock())
        return false;
    pTaskMutex->unlock();
    return Queue(task, type, mPara, bFlag, strArg);
}

bool HandleWork::Queue(const QString& task, Qt::ConnectionType type, QObject* mPara, bool bFlag,
                       const QString& strArg)
{
    if (m_bClosing || !m_pTaskEvent)
        return false;
    // Taken here, on the GUI thread, where the poster lives and where every
    // answer checks it.
    const QPointer<QObject> poster(mPara);
    // Counted as it is posted: a stop sent while the task still waits in
    // the queue is a stop of this task.
    const quint64 nStops = StopsCountedFor(task);
    return QMetaObject::invokeMethod(m_pTaskEvent, "ProcessTask", type, Q_ARG(QString, task),
                                     Q_ARG(QObject*, mPara), Q_ARG(QPointer<QObject>, poster),
                                     Q_ARG(bool, bFlag), Q_ARG(QString, strArg), Q_ARG(quint64, nStops));
}

// ---------------------------------------------------------------------------
// Running

const HandleWork::STaskRow* HandleWork::FindTaskRow(const QString& task)
{
    // Compared in this order; the first row that matches runs.
    static const STaskRow kRows[] = {
        {"InitDeviceInfo", &HandleWork::RunInitDeviceInfo},
        {"GetBootVersion", &HandleWork::RunGetBootVersion},
        {"StartTestOnce", &HandleWork::RunStartTestOnce},
        {"ReTest", &HandleWork::RunReTest},
        {"OpenTestLog", &HandleWork::RunOpenTestLog},
        {"RefreshUi", &HandleWork::RunRefreshUi},
        {"DisableTouch", &HandleWork::RunTouchEnable},
        {"EnableTouch", &HandleWork::RunTouchEnable},
        {"SetCheckLedError", &HandleWork::RunSetCheckLedError},
        {"CheckLedErrorOn", &HandleWork::RunCheckLedError},
        {"CheckLedErrorOff", &HandleWork::RunCheckLedError},
        {"InitAgc", &HandleWork::RunInitAgc},
        {"UpdateTestResult", &HandleWork::RunUpdateTestResult},
        {"UpdateUIPre", &HandleWork::RunStepReplay},
        {"UpdateUINext", &HandleWork::RunStepReplay},
        {"OpenReverse", &HandleWork::RunReverse},
        {"CloseReverse", &HandleWork::RunReverse},
        {"OpenDrawing", &HandleWork::RunDrawing},
        {"CloseDrawing", &HandleWork::RunDrawing},
        {"SaveBatchInfo", &HandleWork::RunSaveBatchInfo},
        {"DisablePen", &HandleWork::RunPen},
        {"EnablePen", &HandleWork::RunPen},
        {"EnSplitScreen", &HandleWork::RunSplitScreen},
        {"DisSplitScreen", &HandleWork::RunSplitScreen},
        {"InitAgcRange", &HandleWork::RunInitAgcRange},
        {"SetR&TAgc", &HandleWork::RunSetAgc},
        {"SetTAgc", &HandleWork::RunSetAgc},
        {"SetRAgc", &HandleWork::RunSetAgc},
        {"ResetAgc", &HandleWork::RunResetAgc},
        {"InitEnvironmentValid", &HandleWork::RunInitEnvironmentValid},
        // Firmware download and calibration (handlework_upgrade.cpp, handlework_calibration.cpp).
        {"Start_Upgrade", &HandleWork::RunStartUpgrade},
        {"Stop_Upgrade", &HandleWork::RunStopUpgrade},
        {"InitDeviceCalData", &HandleWork::RunInitDeviceCalData},
        {"STEP_BEGIN", &HandleWork::RunCalStep},
        {"STEP_1", &HandleWork::RunCalStep},
        {"STEP_2", &HandleWork::RunCalStep},
        {"STEP_3", &HandleWork::RunCalStep},
        {"STEP_4", &HandleWork::RunCalStep},
        {"STEP_CHECK", &HandleWork::RunCalStep},
        {"STEP_END_OK", &HandleWork::RunCalEndOk},
        {"STEP_END_FAIL", &HandleWork::RunCalEndFail},
        {"SAVE_TO_FLASH", &HandleWork::RunCalSave},
        {"SAVE_AS_DEFAULT", &HandleWork::RunCalSave},
        {"RESET_CAL_DATA", &HandleWork::RunResetCalData},
        {"GET_CAL_DATA", &HandleWork::RunGetCalData},
        {"CAL_LTL", &HandleWork::RunMoveCalEdge},
        {"CAL_LTR", &HandleWork::RunMoveCalEdge},
        {"CAL_RTL", &HandleWork::RunMoveCalEdge},
        {"CAL_RTR", &HandleWork::RunMoveCalEdge},
        {"CAL_TTT", &HandleWork::RunMoveCalEdge},
        {"CAL_TTB", &HandleWork::RunMoveCalEdge},
        {"CAL_BTB", &HandleWork::RunMoveCalEdge},
        {"CAL_BTT", &HandleWork::RunMoveCalEdge},
        {"GET_CAL_FMT", &HandleWork::RunCalFormat},
        {"SET_CAL_FMT", &HandleWork::RunCalFormat},
        {"StartFineTuningCalibrate", &HandleWork::RunStartFineTuning},
        {"ExitFineTuningCalibrate", &HandleWork::RunExitFineTuning},
        {"GiveBackTouchFormats", &HandleWork::RunGiveBackTouchFormats},
        {"SendCalDataToDev", &HandleWork::RunSendCalDataToDev},
        {"SendFileCalibrateParameterToDev", &HandleWork::RunSendFileCalParam},
        {"READ_CAL_VALUES", &HandleWork::RunReadCalValues},
    };
    for (const STaskRow& row : kRows) {
        if (task == QLatin1String(row.szTask))
            return &row;
    }
    return nullptr;
}

void HandleWork::ProcessTask(const QString& task, QObject* mPara, const QPointer<QObject>& poster, bool bFlag,
                             const QString& strArg, quint64 nStopsAtPost)
{
    qDebug().noquote() << "ProcessTask" << ":task = " + task;
    QMutexLocker taskLock(TaskMutex(task));
    // Counted before the closing flag is read: closing sets the flag before it
    // reads the count, so one of the two always sees the other.
    struct SRunning
    {
        std::atomic<int>& n;
        explicit SRunning(std::atomic<int>& count) : n(count) { ++n; }
        ~SRunning() { --n; }
    } running(m_nTasksRunning);
    if (m_bClosing) {
        // The station closes: tasks still queued are dropped.
        qDebug().noquote() << "ProcessTask" << ":task = " + task << "dropped, the station is closing";
        return;
    }

    int32_t nRet = 0;
    if (const STaskRow* pRow = FindTaskRow(task)) {
        const STaskContext ctx{task, mPara, poster, bFlag, nStopsAtPost, strArg};
        nRet = (this->*pRow->pRun)(ctx);
    }

    if (IsReportedError(nRet))
        InvokeErrorBox(nRet, task);
}

void HandleWork::ConnectToWindow(QWidget* pWindow, const QMetaMethod& signal, const ViewContract::SMethod& slot)
{
    const int nIndex = ViewContract::IndexOf(pWindow->metaObject(), slot);
    if (nIndex < 0) {
        qWarning().noquote() << "HandleWork : the main window" << pWindow->metaObject()->className() << "has no"
                             << slot.szSignature;
        return;
    }
    connect(this, signal, pWindow, pWindow->metaObject()->method(nIndex), slot.eConnection);
}

void HandleWork::InvokeErrorBox(int32_t nResult, const QString& task)
{
    InvokeOnMainWindow(ViewContract::kShowErrorMessage, task, Q_ARG(int32_t, nResult), Q_ARG(QString, task));
}

template <typename... Args>
void HandleWork::InvokeOnMainWindow(const ViewContract::SMethod& method, const QString& task, Args... args)
{
    QWidget* pWindow = m_pMainWindow ? m_pMainWindow->GetWindowWidget() : nullptr;
    if (!pWindow)
        return;
    const int nIndex = ViewContract::IndexOf(pWindow->metaObject(), method);
    if (nIndex < 0) {
        qWarning().noquote() << "ProcessTask" << ":task = " + task << "- the main window has no"
                             << method.szSignature;
        return;
    }
    pWindow->metaObject()->method(nIndex).invoke(pWindow, method.eConnection, args...);
}

template <typename... Args>
void HandleWork::AnswerPoster(const STaskContext& ctx, const ViewContract::SMethod& method, Args... args)
{
    if (!ctx.mPara) {
        qWarning().noquote() << "ProcessTask" << ":task = " + ctx.task << "has no view to call"
                             << ViewContract::Name(method);
        return;
    }
    // The worker never calls a view: the answer goes, queued, to this
    // object's thread, which checks the poster and calls it there.
    const QPointer<QObject> poster = ctx.poster;
    const QString task = ctx.task;
    const ViewContract::SMethod* pMethod = &method;
    QMetaObject::invokeMethod(
        this,
        [this, poster, task, pMethod, args...]() mutable {
            DeliverToPoster(poster, task, *pMethod, [&](QObject* pView, const QMetaMethod& slot) {
                return slot.invoke(pView, Qt::DirectConnection,
                                   QGenericArgument(QMetaType::typeName(qMetaTypeId<Args>()), &args)...);
            });
        },
        Qt::QueuedConnection);
}

// The answers of the calibration rows (handlework_calibration.cpp).
template void HandleWork::AnswerPoster<>(const STaskContext&, const ViewContract::SMethod&);
template void HandleWork::AnswerPoster<int>(const STaskContext&, const ViewContract::SMethod&, int);
template void HandleWork::AnswerPoster<int, bool>(const STaskContext&, const ViewContract::SMethod&, int, bool);
template void HandleWork::AnswerPoster<int, int, int, int>(const STaskContext&, const ViewContract::SMethod&, int,
                                                           int, int, int);

void HandleWork::DeliverToPoster(const QPointer<QObject>& poster, const QString& task,
                                 const ViewContract::SMethod& method, const PosterCall& call)
{
    if (!poster) {
        qDebug().noquote() << "ProcessTask" << ":task = " + task << "- the view is gone, its"
                           << ViewContract::Name(method) << "is dropped";
        return;
    }
    const int nIndex = ViewContract::IndexOf(poster->metaObject(), method);
    if (nIndex < 0 || !call(poster.data(), poster->metaObject()->method(nIndex)))
        qWarning().noquote() << "ProcessTask" << ":task = " + task << "- the view"
                             << poster->metaObject()->className() << "has no" << method.szSignature;
}

void HandleWork::ReportTaskFailed(const STaskContext& ctx, int32_t nCode)
{
    qInfo().noquote() << "ProcessTask" << ":task = " + ctx.task
                      << QStringLiteral("failed, nRet = 0x%1").arg(uint32_t(nCode), 0, 16);
    AnswerPoster(ctx, ViewContract::kTaskFailed, ctx.task, nCode);
}

bool HandleWork::CallGetter(const STaskContext& ctx, const ViewContract::SMethod& method,
                            QGenericReturnArgument ret, QGenericArgument arg0, QGenericArgument arg1)
{
    // Called on this thread while the task runs: the views keep these values
    // for the worker, and the shutdown order keeps the poster alive meanwhile.
    QObject* pView = ctx.mPara;
    const int nIndex = pView ? ViewContract::IndexOf(pView->metaObject(), method) : -1;
    if (nIndex < 0 || !pView->metaObject()->method(nIndex).invoke(pView, Qt::DirectConnection, ret, arg0, arg1)) {
        qWarning().noquote() << "ProcessTask" << ":task = " + ctx.task << "- no view answers" << method.szSignature;
        return false;
    }
    return true;
}

void HandleWork::TakeEnvironmentSnapshot()
{
    // Worker thread (or before it runs): the only writer of the record.
    QMutexLocker lock(&m_environmentMutex);
    m_lstEnvironment = *m_pEnvironment->GetEnvironmentList();
}

HandleWork::InfoList HandleWork::GetEnvironmentList() const
{
    QMutexLocker lock(&m_environmentMutex);
    return m_lstEnvironment;
}

void HandleWork::EmitDeviceInformation(CTouchBase* pDevice)
{
    const InfoList lstDevInfo = pDevice->GetPropertyList();
    emit UpdateDeviceInfo(lstDevInfo, GetEnvironmentList());
    // Told here, where the object is known, not where the list is shown.
    if (KindOf(pDevice) == DeviceKind::Live)
        emit EmitFrameInfoRead(lstDevInfo);
}

HandleWork::DeviceKind HandleWork::KindOf(CTouchBase* pDevice)
{
    if (dynamic_cast<CTouchHardware*>(pDevice))
        return DeviceKind::Live;
    if (dynamic_cast<CTouchLogfile*>(pDevice))
        return DeviceKind::Replay;
    return DeviceKind::None;
}

void HandleWork::SetDevice(CTouchBase* pDevice)
{
    // Caller holds the device mutex; the pointer lock keeps the old object
    // alive for an interruption that runs without the device mutex.
    QMutexLocker pointerLock(&m_devicePointerMutex);
    CTouchBase* pOld = m_pDevice.exchange(pDevice);
    m_eDeviceKind = KindOf(pDevice);
    ++m_nDeviceGeneration;
    delete pOld;
}

void HandleWork::InterruptDeviceWait()
{
    // Without the device mutex, which the waiting task holds.
    QMutexLocker pointerLock(&m_devicePointerMutex);
    if (auto* pDevice = dynamic_cast<HardwareInterface*>(m_pDevice.load()))
        pDevice->SetRecvEnable(false);
}

// --- rows ---------------------------------------------------------------------

int32_t HandleWork::RunInitDeviceInfo(const STaskContext&)
{
    QMutexLocker lock(m_pDeviceMutex);
    CTouchBase* pDevice = m_pDevice;
    if (!pDevice)
        return 0;
    const int32_t nRet = pDevice->InitDeviceInfo();
    if (nRet >= 0) {
        qDebug().noquote() << "InitDeviceInfo : the frame's information is read";
        EmitDeviceInformation(pDevice);
    }
    return nRet;
}

int32_t HandleWork::RunGetBootVersion(const STaskContext&)
{
    QMutexLocker lock(m_pDeviceMutex);
    auto* pDevice = dynamic_cast<HardwareInterface*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    const int32_t nRet = pDevice->GetBootInfo();
    if (nRet >= 0)
        EmitDeviceInformation(pDevice);
    return nRet;
}

int32_t HandleWork::RunStartTestOnce(const STaskContext& ctx)
{
    QMutexLocker lock(m_pDeviceMutex);
    CTouchBase* pDevice = m_pDevice;
    if (!pDevice) {
        // Nothing to test: the view learns it, the error rule stays silent.
        ReportTaskFailed(ctx, ERROR_CODE_LOST_DEVICE);
        return 0;
    }
    int32_t nRet;
    if (m_bSameDevice && m_bTestedOnce) {
        nRet = pDevice->ReTest(1);
    } else {
        nRet = pDevice->StartTest(1);
        m_bTestedOnce = true;
    }
    if (nRet >= 0)
        AnswerPoster(ctx, ViewContract::kInitTestUi, pDevice->GetSignalErrors());
    else
        ReportTaskFailed(ctx, nRet);
    return nRet;
}

int32_t HandleWork::RunReTest(const STaskContext& ctx)
{
    QMutexLocker lock(m_pDeviceMutex);
    CTouchBase* pDevice = m_pDevice;
    if (!pDevice) {
        ReportTaskFailed(ctx, ERROR_CODE_LOST_DEVICE);
        return 0;
    }
    const int32_t nRet = pDevice->ReTest(1);
    if (nRet >= 0)
        AnswerPoster(ctx, ViewContract::kShowTestResult, pDevice->GetSignalErrors());
    else
        ReportTaskFailed(ctx, nRet);
    return nRet;
}

int32_t HandleWork::RunOpenTestLog(const STaskContext& ctx)
{
    // The view keeps the chosen path for this thread.
    QString strPath;
    if (!CallGetter(ctx, ViewContract::kGetLogFilePath, Q_RETURN_ARG(QString, strPath))) {
        ReportTaskFailed(ctx, ERROR_LOG_OPEN);
        return 0;
    }

    // Build and load the replay first: the frame's object is replaced only by
    // a replay that could be read.
    std::unique_ptr<CTouchBase> pReplay(CTouchLogfileXML::Create(m_pEnvironment, strPath, nullptr));
    int32_t nRet = pReplay ? pReplay->StartTest(1) : ERROR_LOG_OPEN;
    if (pReplay && nRet >= 0) {
        const QString strRefusal = ReplayRefusal(pReplay.get());
        if (!strRefusal.isEmpty()) {
            qWarning().noquote() << QStringLiteral("Test log %1 refused: %2").arg(strPath, strRefusal);
            nRet = ERROR_LOG_FORMAT;
        } else {
            WarnDirectionsWithoutKind(pReplay.get(), strPath);
        }
    }
    if (!pReplay || nRet < 0) {
        qWarning().noquote() << "ProcessTask" << ":task = " + ctx.task << "- cannot open the log"
                             << strPath << QStringLiteral(", nRet = 0x%1").arg(uint32_t(nRet), 0, 16);
        pReplay.reset();
        // Reading a log may have put its host data into the environment record;
        // a live frame keeps the station's own.
        if (m_eDeviceKind != DeviceKind::Replay)
            m_pEnvironment->Refresh();
        TakeEnvironmentSnapshot();
        if (!IsReportedError(nRet))
            InvokeErrorBox(nRet, ctx.task);
        ReportTaskFailed(ctx, nRet);
        return nRet;
    }

    // The replay has put its log's host data into the environment record.
    TakeEnvironmentSnapshot();
    QMutexLocker lock(m_pDeviceMutex);
    CTouchBase* pDevice = pReplay.release();
    SetDevice(pDevice);
    EmitDeviceInformation(pDevice);
    AnswerPoster(ctx, ViewContract::kInitTestUi, pDevice->GetSignalErrors());
    return nRet;
}

int32_t HandleWork::RunRefreshUi(const STaskContext& ctx)
{
    // The refresh touches widgets: it runs on the view's own thread.
    AnswerPoster(ctx, ViewContract::kUpdateRealTimeData);
    return 0;
}

int32_t HandleWork::RunTouchEnable(const STaskContext& ctx)
{
    const bool bDisable = ctx.task == QLatin1String("DisableTouch");
    QMutexLocker lock(m_pDeviceMutex);
    auto* pDevice = dynamic_cast<CTouchHardware*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    const int32_t nRet = pDevice->SetTouchEnable(!bDisable);
    // True when touch output is now off.
    emit EmitTouchEnButtonStatus(bDisable ? nRet >= 0 : nRet < 0);
    return nRet;
}

int32_t HandleWork::RunSetCheckLedError(const STaskContext& ctx)
{
    QMutexLocker lock(m_pDeviceMutex);
    if (auto* pDevice = dynamic_cast<CTouchHardware*>(m_pDevice.load()))
        pDevice->SetCheckLedError(ctx.bFlag);
    return 0; // not recorded
}

int32_t HandleWork::RunCheckLedError(const STaskContext& ctx)
{
    QMutexLocker lock(m_pDeviceMutex);
    auto* pDevice = dynamic_cast<CTouchHardware*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    return pDevice->CheckLedError(ctx.task == QLatin1String("CheckLedErrorOn"));
}

int32_t HandleWork::RunInitAgc(const STaskContext&)
{
    QMutexLocker lock(m_pDeviceMutex);
    auto* pDevice = dynamic_cast<CTouchHardware*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    return pDevice->InitAgc();
}

int32_t HandleWork::RunUpdateTestResult(const STaskContext& ctx)
{
    QMutexLocker lock(m_pDeviceMutex);
    CTouchBase* pDevice = m_pDevice;
    if (!pDevice) {
        ReportTaskFailed(ctx, ERROR_CODE_LOST_DEVICE);
        return 0;
    }
    // The run already shown and filed: the table only.
    AnswerPoster(ctx, ViewContract::kShowTestResultAgain, pDevice->GetSignalErrors(), false);
    return 0;
}

int32_t HandleWork::RunStepReplay(const STaskContext& ctx)
{
    // A replay only: the arrows work application-wide, and an arrow meant for
    // another window must never make a live frame read its signals.
    if (m_eDeviceKind != DeviceKind::Replay)
        return 0;
    const int nStep = ctx.task == QLatin1String("UpdateUIPre") ? -1 : 1;
    // Without the device mutex: the view takes it itself.
    CallGetter(ctx, ViewContract::kStepReplayFrame, QGenericReturnArgument(), Q_ARG(int, nStep));
    return 0;
}

int32_t HandleWork::RunReverse(const STaskContext& ctx)
{
    QMutexLocker lock(m_pDeviceMutex);
    CTouchBase* pDevice = m_pDevice;
    if (!pDevice)
        return 0;
    const int32_t nRet = pDevice->SetReverseMode(ctx.task == QLatin1String("OpenReverse"));
    AnswerPoster(ctx, ViewContract::kShowReverseData, nRet >= 0);
    return nRet;
}

int32_t HandleWork::RunDrawing(const STaskContext& ctx)
{
    QMutexLocker lock(m_pDeviceMutex);
    auto* pDevice = dynamic_cast<CTouchHardware*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    if (ctx.task == QLatin1String("OpenDrawing"))
        return pDevice->SetDrawing(1, 0);
    return pDevice->SetDrawing(0, 1);
}

int32_t HandleWork::RunSaveBatchInfo(const STaskContext& ctx)
{
    int32_t nRet;
    QString strWritten;
    QString strHeld;
    int32_t nReadBack = 0;
    {
        QMutexLocker lock(m_pDeviceMutex);
        auto* pDevice = dynamic_cast<HardwareInterface*>(m_pDevice.load());
        // Without a live frame nothing was written: never report success.
        if (pDevice) {
            strWritten = pDevice->GetProperty(DeviceInfoKey::kBatchInfo);
            nRet = pDevice->SaveBatchInfo();
            // The frame's status says it took the request, not what it holds:
            // its own answer is read back (the property is no proof, it
            // holds the number typed).
            if (nRet == 0) {
                nReadBack = pDevice->ReadBackBatchInfo(&strHeld);
            } else {
                // The property holds the number typed, which the frame did
                // not take: a retest would check and file the run under it.
                // What the frame holds is not known now.
                pDevice->ForgetBatchInfo();
            }
        } else {
            nRet = ERROR_CODE_LOST_DEVICE;
        }
    }
    qDebug().noquote() << "ProcessTask" << ": nRet = " + QString::number(nRet);
    if (nRet == 0 && (nReadBack != 0 || strHeld != strWritten)) {
        qWarning().noquote() << "ProcessTask" << ":task = " + ctx.task << "- the frame was sent" << strWritten
                             << (nReadBack != 0 ? QStringLiteral("but its batch information could not be read back, "
                                                                 "code 0x%1")
                                                      .arg(uint32_t(nReadBack), 8, 16, QLatin1Char('0'))
                                                : QStringLiteral("but holds \"%1\"").arg(strHeld));
        InvokeOnMainWindow(ViewContract::kShowBatchInfoNotHeld, ctx.task, Q_ARG(QString, strWritten),
                           Q_ARG(int32_t, nReadBack), Q_ARG(QString, strHeld));
        return nRet;
    }
    // The operator always learns the outcome: success (the frame holds the
    // number), refusal (a status or an error the error rule does not
    // report), or the error box of the rule.
    if (!IsReportedError(nRet))
        InvokeErrorBox(nRet, ctx.task);
    return nRet;
}

int32_t HandleWork::RunPen(const STaskContext& ctx)
{
    QMutexLocker lock(m_pDeviceMutex);
    auto* pDevice = dynamic_cast<CTouchHardware*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    return pDevice->SetPenEnable(ctx.task == QLatin1String("EnablePen"));
}

int32_t HandleWork::RunSplitScreen(const STaskContext& ctx)
{
    QMutexLocker lock(m_pDeviceMutex);
    auto* pDevice = dynamic_cast<CTouchHardware*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    return pDevice->SetSplitScreen(ctx.task == QLatin1String("EnSplitScreen"));
}

int32_t HandleWork::RunInitAgcRange(const STaskContext& ctx)
{
    QMutexLocker lock(m_pDeviceMutex);
    auto* pDevice = dynamic_cast<CTouchHardware*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    const int32_t nRet = pDevice->InitAgcRange();
    AnswerPoster(ctx, ViewContract::kInitAgcRangeFinished, nRet >= 0);
    return nRet;
}

int32_t HandleWork::RunSetAgc(const STaskContext& ctx)
{
    // The view answers with its two spin-box values, T first, on this thread.
    uint32_t nT = 0;
    uint32_t nR = 0;
    if (!CallGetter(ctx, ViewContract::kGetAgcValue, QGenericReturnArgument(), Q_ARG(uint32_t*, &nT),
                    Q_ARG(uint32_t*, &nR)))
        return 0;
    QMutexLocker lock(m_pDeviceMutex);
    auto* pDevice = dynamic_cast<HardwareInterface*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    if (ctx.task == QLatin1String("SetR&TAgc"))
        return pDevice->SetRTAgc(uint16_t(nT), uint16_t(nR));
    if (ctx.task == QLatin1String("SetTAgc"))
        return pDevice->SetTAgc(uint16_t(nT));
    return pDevice->SetRAgc(uint16_t(nR));
}

int32_t HandleWork::RunResetAgc(const STaskContext&)
{
    QMutexLocker lock(m_pDeviceMutex);
    auto* pDevice = dynamic_cast<HardwareInterface*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    return pDevice->ResetAgc();
}

int32_t HandleWork::RunInitEnvironmentValid(const STaskContext&)
{
    m_pEnvironment->Refresh();
    CTouchTestInfoTable::GetInstance(QStringLiteral("TouchTestInfo"));
    TakeEnvironmentSnapshot();
    return 0;
}

// ---------------------------------------------------------------------------
// Slots

void HandleWork::InitEnvironmentPara_Slot()
{
    // The record is only ever written on the worker thread.
    PostTask(QStringLiteral("InitEnvironmentValid"));
}

void HandleWork::UpdateSignalTestStatus(bool value)
{
    m_bSignalTest = value;
}

// ---------------------------------------------------------------------------
// Arrival and removal of a frame (GUI thread)

void HandleWork::InsertUsbDevice(bool value)
{
    if (!value) {
        OnDeviceRemoved();
        return;
    }
    if (m_bAsking) {
        // A question about an earlier arrival is open; it looks at the frame
        // again once it is answered.
        qInfo().noquote() << "InsertUsbDevice" << ": a question about a new device is open, later arrival left to it";
        m_bArrivalDeferred = true;
        return;
    }
    const uint32_t nMode = m_pUsbPort->GetDeviceMode();
    if (nMode == DEVICE_MODE_APPLICATION) {
        OnApplicationArrived();
    } else if (nMode == DEVICE_MODE_BOOTLOADER) {
        OnBootloaderArrived();
    } else {
        qDebug().noquote() << "InsertUsbDevice" << ": 未知设备";
    }
}

void HandleWork::OnDeviceRemoved()
{
    m_pUsbPort->SetRecvEnable(0, 0);
    m_bRecvEnabled = false;
    emit EmitDeviceStatusToUIObject(false);
    if (m_pUsbPort->GetDevCount() > 0)
        return;
    qInfo().noquote() << "InsertUsbDevice" << ": 设备移除";
    m_bSameDevice = false;
}

bool HandleWork::IsFrameStillThere(uint32_t nMode) const
{
    return m_pUsbPort->GetDevCount() > 0 && m_pUsbPort->GetDeviceMode() == nMode;
}

bool HandleWork::AskToReplaceReplay(const QString& text, uint32_t nMode, bool* pbStillThere)
{
    QWidget* pWindow = m_pMainWindow ? m_pMainWindow->GetWindowWidget() : nullptr;
    m_bAsking = true;
    m_bArrivalDeferred = false;
    const int nAnswer = QMessageBox::information(pWindow, tr("New device"), text,
                                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    m_bAsking = false;
    // The box ran its own event loop: the frame may have gone meanwhile.
    *pbStillThere = IsFrameStillThere(nMode);
    if (!*pbStillThere)
        qInfo().noquote() << "InsertUsbDevice" << ": the device left while the question was open";
    return nAnswer == QMessageBox::Yes;
}

void HandleWork::HandleDeferredArrival()
{
    // The frame asked about has left, or came back in its other mode; what is
    // on the bus now arrived while the question was open and was never looked at.
    const bool bDeferred = m_bArrivalDeferred;
    m_bArrivalDeferred = false;
    if (bDeferred && m_pUsbPort->GetDevCount() > 0)
        InsertUsbDevice(true);
}

void HandleWork::ReplaceDeviceObject()
{
    QMutexLocker lock(m_pDeviceMutex);
    SetDevice(CTouchHardware::CreateHardwareInterface(m_pEnvironment, m_pUsbPort, QString(), nullptr));
}

void HandleWork::OnBootloaderArrived()
{
    qInfo().noquote() << "InsertUsbDevice" << ": BOOT 设备, ver = " + QString::number(m_pUsbPort->GetVersion());
    m_pUsbPort->SetRecvEnable(1, 0);
    m_bRecvEnabled = true;

    if (m_eDeviceKind == DeviceKind::Replay) {
        bool bStillThere = false;
        const bool bYes = AskToReplaceReplay(tr("Touch In Bootloader, Do you want to open it?"),
                                             DEVICE_MODE_BOOTLOADER, &bStillThere);
        if (!bStillThere) {
            // The removal has told the window already.
            HandleDeferredArrival();
            return;
        }
        if (!bYes) {
            emit EmitDeviceStatusToUIObject(true);
            return;
        }
        // The replay may have put its log's host data into the environment.
        PostTask(QStringLiteral("InitEnvironmentValid"));
    }

    ReplaceDeviceObject();
    if (m_pMainWindow && m_pMainWindow->GetWorkType() == UPGRADEWORK) {
        if (m_bUpgradeRequested)
            PostRequestedUpgrade();
        else
            qDebug().noquote() << "InsertUsbDevice" << ":Boot m_bIsUpgrade = " << "false";
    } else {
        qDebug().noquote() << "InsertUsbDevice" << ": is not in UPGRADEWORK";
    }
    emit EmitDeviceStatusToUIObject(true);
}

void HandleWork::PostFirstTaskForWorkType(eWorkType type)
{
    if (type == CALIBRATEWORK)
        PostTask(QStringLiteral("InitDeviceCalData"));
    else if (type == UPGRADEWORK && m_bUpgradeRequested)
        PostRequestedUpgrade();
    else
        PostTask(QStringLiteral("InitDeviceInfo"));
}

void HandleWork::OnApplicationArrived()
{
    const int32_t nVersion = m_pUsbPort->GetVersion();
    if (nVersion < kMinimumVersion) {
        QWidget* pWindow = m_pMainWindow ? m_pMainWindow->GetWindowWidget() : nullptr;
        const QString strVersion = QStringLiteral("0x") + QString::number(uint32_t(nVersion), 16);
        const QString text = strVersion + QLatin1Char(' ') + tr("This series of touch boxes do not support!");
        // The box goes when it is answered: the log keeps why the frame was never tested.
        qWarning().noquote() << "InsertUsbDevice"
                             << QStringLiteral(": frame VID 0x%1 PID 0x%2 refused, version %3 - "
                                               "This series of touch boxes do not support!")
                                    .arg(QString::number(uint32_t(m_pUsbPort->GetVid()), 16)
                                             .rightJustified(4, QLatin1Char('0'))
                                             .toUpper())
                                    .arg(QString::number(uint32_t(m_pUsbPort->GetPid()), 16)
                                             .rightJustified(4, QLatin1Char('0'))
                                             .toUpper())
                                    .arg(strVersion);
        if (m_bRefusalShown) {
            // Back while its refusal is still on the screen: one box says it.
            qInfo().noquote() << "InsertUsbDevice" << ": the refusal box is open already";
            return;
        }
        m_bRefusalShown = true;
        QMessageBox::warning(pWindow, tr("Warning"), text, QMessageBox::Ok);
        m_bRefusalShown = false;
        return;
    }
    qInfo().noquote() << "InsertUsbDevice" << ": APP 设备";
    m_pUsbPort->SetRecvEnable(1, 0);
    m_bRecvEnabled = true;

    const eWorkType type = m_pMainWindow ? m_pMainWindow->GetWorkType() : MAINWORK;
    const DeviceKind kind = m_eDeviceKind;

    if (kind == DeviceKind::Replay) {
        bool bStillThere = false;
        const bool bYes = AskToReplaceReplay(tr("A new device is discovered, Do you want to open it?"),
                                             DEVICE_MODE_APPLICATION, &bStillThere);
        if (!bStillThere) {
            HandleDeferredArrival();
            return;
        }
        if (!bYes) {
            qInfo().noquote() << "InsertUsbDevice" << ": current device is TouchFile";
            emit EmitDeviceStatusToUIObject(true);
            return;
        }
        PostTask(QStringLiteral("InitEnvironmentValid"));
    }

    if (kind == DeviceKind::Live && type != CALIBRATEWORK && type != UPGRADEWORK) {
        // Is it the frame we had? Then keep its object and what it knows.
        bool bSame = false;
        {
            QMutexLocker lock(m_pDeviceMutex);
            if (CTouchBase* pDevice = m_pDevice)
                bSame = pDevice->ReInitDeviceInfo();
            m_bSameDevice = bSame;
            if (bSame) {
                // The same object, but a new stretch of the frame's life.
                ++m_nDeviceGeneration;
                EmitDeviceInformation(m_pDevice);
            }
        }
        if (!bSame)
            ReplaceDeviceObject();
        PostGiveBackIfOwed();
        if (!bSame)
            PostTask(QStringLiteral("InitDeviceInfo"));
    } else {
        ReplaceDeviceObject();
        PostGiveBackIfOwed();
        PostFirstTaskForWorkType(type);
    }
    emit EmitDeviceStatusToUIObject(true);
}
