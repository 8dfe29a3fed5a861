#include "handlework.h"

#include "comportuart.h"
#include "comportusb.h"
#include "devicemode.h"
#include "hardwareinterface.h"
#include "operateenvironment.h"
#include "stationclock.h"
#include "stationmetatypes.h"
#include "taskevent.h"
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
#include <QTimer>
#include <QWidget>

namespace {
// Application firmware below this protocol version is not supported.
constexpr int32_t kMinimumVersion = 0x7200;
constexpr int kBootDetectIntervalMs = 3000;
// How long closing waits for a running task to return.
constexpr qint64 kStopTaskMs = 5000;
// Result of a row that needs a live frame when there is none.
constexpr int32_t kDeviceLost = int32_t(0x80000002u);

// The type name of the signal-error map in the views' slot signatures.
const char* const kErrorMapType = "QMap<QString,QString>";
} // namespace

HandleWork::HandleWork(IMainWindow* pMainWindow)
    : QObject(nullptr), m_pMainWindow(pMainWindow)
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
    connect(m_pUsbPort, SIGNAL(DeviceInsert(bool)), this, SLOT(InsertUsbDevice(bool)));
    if (pWindow) {
        connect(this, SIGNAL(EmitDeviceStatusToUIObject(bool)), pWindow,
                SLOT(InsertUsbDeviceForMainwindow(bool)));
        connect(this,
                SIGNAL(UpdateDeviceInfo(QList<QPair<QString, QString>>, QList<QPair<QString, QString>>)),
                pWindow,
                SLOT(InitDeviceInfoForUI(QList<QPair<QString, QString>>, QList<QPair<QString, QString>>)));
    }
    connect(this, SIGNAL(InitEnvironmentPara_Emit()), this, SLOT(InitEnvironmentPara_Slot()));

    PostTask(QStringLiteral("InitEnvironmentValid"));
}

HandleWork::~HandleWork()
{
    disconnect(m_pUsbPort, SIGNAL(DeviceInsert(bool)), this, SLOT(InsertUsbDevice(bool)));

    StopRunningTask();
    delete m_pWorkThread;
    m_pWorkThread = nullptr;
    delete m_pTaskEvent;
    m_pTaskEvent = nullptr;

    // The device object sends through the USB port: it goes first.
    {
        QMutexLocker lock(&m_deviceMutex);
        SetDevice(nullptr);
    }
    delete m_pEnvironment;
    delete m_pUartPort;
    delete m_pUsbPort;
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
    for (;;) {
        if (m_pUsbPort->GetDevCount() > 0)
            m_pUsbPort->SetRecvEnable(0, 0);
        if (m_nTasksRunning.load() == 0)
            break;
        if (CStationClock::NowMs() - nStart > kStopTaskMs) {
            qWarning() << "HandleWork: a task is still running after" << kStopTaskMs << "ms.";
            break;
        }
        CStationClock::Sleep(1);
    }
}

bool HandleWork::IsReportedError(int32_t nResult)
{
    return nResult < 0 && (uint32_t(nResult) & 0x8000FFFDu) == 0x80000001u;
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

bool HandleWork::Post(const QString& task, Qt::ConnectionType type, QObject* mPara, bool bFlag)
{
    if (m_bClosing)
        return false;
    QMutex* pTaskMutex = TaskMutex(task);
    // The task's mutex is held while the task runs: only test it.
    if (!pTaskMutex->tryLock())
        return false;
    pTaskMutex->unlock();
    return QMetaObject::invokeMethod(m_pTaskEvent, "ProcessTask", type, Q_ARG(QString, task),
                                     Q_ARG(QObject*, mPara), Q_ARG(bool, bFlag));
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
        {"SendCalDataToDev", &HandleWork::RunSendCalDataToDev},
        {"SendFileCalibrateParameterToDev", &HandleWork::RunSendFileCalParam},
    };
    for (const STaskRow& row : kRows) {
        if (task == QLatin1String(row.szTask))
            return &row;
    }
    return nullptr;
}

void HandleWork::ProcessTask(const QString& task, QObject* mPara, bool bFlag)
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
    if (m_bClosing)
        return; // the station closes: tasks still queued are dropped

    int32_t nRet = 0;
    if (const STaskRow* pRow = FindTaskRow(task)) {
        const STaskContext ctx{task, mPara, bFlag};
        nRet = (this->*pRow->pRun)(ctx);
    }

    if (IsReportedError(nRet))
        InvokeErrorBox(nRet, task);
}

void HandleWork::InvokeErrorBox(int32_t nResult, const QString& task)
{
    QWidget* pWindow = m_pMainWindow ? m_pMainWindow->GetWindowWidget() : nullptr;
    if (!pWindow)
        return;
    QMetaObject::invokeMethod(pWindow, "ShowErrorMessage", Qt::AutoConnection,
                              Q_ARG(int32_t, nResult), Q_ARG(QString, task));
}

void HandleWork::InvokeOnView(QObject* pView, const char* szSlot, const QString& task,
                              QGenericArgument arg)
{
    if (!pView) {
        qWarning().noquote() << "ProcessTask" << ":task = " + task << "has no view to call" << szSlot;
        return;
    }
    // Queued to the view's thread: the worker never waits for the user interface.
    if (!QMetaObject::invokeMethod(pView, szSlot, Qt::AutoConnection, arg))
        qWarning().noquote() << "ProcessTask" << ":task = " + task << "- the view"
                             << pView->metaObject()->className() << "has no slot" << szSlot;
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
}

HandleWork::DeviceKind HandleWork::KindOf(CTouchBase* pDevice)
{
    if (!pDevice)
        return DeviceKind::None;
    if (dynamic_cast<CTouchHardware*>(pDevice))
        return DeviceKind::Live;
    if (dynamic_cast<CTouchLogfile*>(pDevice))
        return DeviceKind::Replay;
    return DeviceKind::Other;
}

void HandleWork::SetDevice(CTouchBase* pDevice)
{
    // Caller holds the device mutex; the pointer lock keeps the old object
    // alive for an interruption that runs without the device mutex.
    QMutexLocker pointerLock(&m_devicePointerMutex);
    CTouchBase* pOld = m_pDevice.exchange(pDevice);
    m_eDeviceKind = KindOf(pDevice);
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
    QMutexLocker lock(&m_deviceMutex);
    CTouchBase* pDevice = m_pDevice;
    if (!pDevice)
        return 0;
    const int32_t nRet = pDevice->InitDeviceInfo();
    if (nRet >= 0)
        EmitDeviceInformation(pDevice);
    return nRet;
}

int32_t HandleWork::RunGetBootVersion(const STaskContext&)
{
    QMutexLocker lock(&m_deviceMutex);
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
    QMutexLocker lock(&m_deviceMutex);
    CTouchBase* pDevice = m_pDevice;
    if (!pDevice)
        return 0;
    int32_t nRet;
    if (m_bSameDevice && m_bTestedOnce) {
        nRet = pDevice->ReTest(1);
    } else {
        nRet = pDevice->StartTest(1);
        m_bTestedOnce = true;
    }
    if (nRet >= 0) {
        const QMap<QString, QString> errors = pDevice->GetSignalErrors();
        InvokeOnView(ctx.mPara, "InitTestUi", ctx.task, QGenericArgument(kErrorMapType, &errors));
    }
    return nRet;
}

int32_t HandleWork::RunReTest(const STaskContext& ctx)
{
    QMutexLocker lock(&m_deviceMutex);
    CTouchBase* pDevice = m_pDevice;
    if (!pDevice)
        return 0;
    const int32_t nRet = pDevice->ReTest(1);
    if (nRet >= 0) {
        const QMap<QString, QString> errors = pDevice->GetSignalErrors();
        InvokeOnView(ctx.mPara, "ShowTestResult", ctx.task, QGenericArgument(kErrorMapType, &errors));
    }
    return nRet;
}

int32_t HandleWork::RunOpenTestLog(const STaskContext& ctx)
{
    // The view keeps the chosen path; it answers on this thread, by name.
    QString strPath;
    if (!ctx.mPara
        || !QMetaObject::invokeMethod(ctx.mPara, "GetLogFilePath", Qt::DirectConnection,
                                      Q_RETURN_ARG(QString, strPath))) {
        qWarning().noquote() << "ProcessTask" << ":task = " + ctx.task << "- no view to ask for the log path";
        return 0;
    }

    // Build and load the replay first: the frame's object is replaced only by
    // a replay that could be read.
    std::unique_ptr<CTouchBase> pReplay(CTouchLogfileXML::Create(m_pEnvironment, strPath, nullptr));
    int32_t nRet = pReplay ? pReplay->StartTest(1) : kDeviceLost;
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
        return nRet;
    }

    // The replay has put its log's host data into the environment record.
    TakeEnvironmentSnapshot();
    QMutexLocker lock(&m_deviceMutex);
    CTouchBase* pDevice = pReplay.release();
    SetDevice(pDevice);
    EmitDeviceInformation(pDevice);
    const QMap<QString, QString> errors = pDevice->GetSignalErrors();
    InvokeOnView(ctx.mPara, "InitTestUi", ctx.task, QGenericArgument(kErrorMapType, &errors));
    return nRet;
}

int32_t HandleWork::RunRefreshUi(const STaskContext& ctx)
{
    // The refresh touches widgets: it runs on the view's own thread.
    InvokeOnView(ctx.mPara, "UpdateRealTimeData", ctx.task);
    return 0;
}

int32_t HandleWork::RunTouchEnable(const STaskContext& ctx)
{
    const bool bDisable = ctx.task == QLatin1String("DisableTouch");
    QMutexLocker lock(&m_deviceMutex);
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
    QMutexLocker lock(&m_deviceMutex);
    if (auto* pDevice = dynamic_cast<CTouchHardware*>(m_pDevice.load()))
        pDevice->SetCheckLedError(ctx.bFlag);
    return 0; // not recorded
}

int32_t HandleWork::RunCheckLedError(const STaskContext& ctx)
{
    QMutexLocker lock(&m_deviceMutex);
    auto* pDevice = dynamic_cast<CTouchHardware*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    return pDevice->CheckLedError(ctx.task == QLatin1String("CheckLedErrorOn"));
}

int32_t HandleWork::RunInitAgc(const STaskContext&)
{
    QMutexLocker lock(&m_deviceMutex);
    auto* pDevice = dynamic_cast<CTouchHardware*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    return pDevice->InitAgc();
}

int32_t HandleWork::RunUpdateTestResult(const STaskContext& ctx)
{
    QMutexLocker lock(&m_deviceMutex);
    CTouchBase* pDevice = m_pDevice;
    if (!pDevice)
        return 0;
    const QMap<QString, QString> errors = pDevice->GetSignalErrors();
    InvokeOnView(ctx.mPara, "ShowTestResult", ctx.task, QGenericArgument(kErrorMapType, &errors));
    return 0;
}

int32_t HandleWork::RunReverse(const STaskContext& ctx)
{
    QMutexLocker lock(&m_deviceMutex);
    CTouchBase* pDevice = m_pDevice;
    if (!pDevice)
        return 0;
    const int32_t nRet = pDevice->SetReverseMode(ctx.task == QLatin1String("OpenReverse"));
    const bool bOk = nRet >= 0;
    InvokeOnView(ctx.mPara, "ShowReverseData", ctx.task, Q_ARG(bool, bOk));
    return nRet;
}

int32_t HandleWork::RunDrawing(const STaskContext& ctx)
{
    QMutexLocker lock(&m_deviceMutex);
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
    {
        QMutexLocker lock(&m_deviceMutex);
        auto* pDevice = dynamic_cast<HardwareInterface*>(m_pDevice.load());
        // Without a live frame nothing was written: never report success.
        nRet = pDevice ? pDevice->SaveBatchInfo() : kDeviceLost;
    }
    qDebug().noquote() << "ProcessTask" << ": nRet = " + QString::number(nRet);
    // The operator always learns the outcome: success, refusal (a status or an
    // error the error rule does not report), or the error box of the rule.
    if (!IsReportedError(nRet))
        InvokeErrorBox(nRet, ctx.task);
    return nRet;
}

int32_t HandleWork::RunPen(const STaskContext& ctx)
{
    QMutexLocker lock(&m_deviceMutex);
    auto* pDevice = dynamic_cast<CTouchHardware*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    return pDevice->SetPenEnable(ctx.task == QLatin1String("EnablePen"));
}

int32_t HandleWork::RunSplitScreen(const STaskContext& ctx)
{
    QMutexLocker lock(&m_deviceMutex);
    auto* pDevice = dynamic_cast<CTouchHardware*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    return pDevice->SetSplitScreen(ctx.task == QLatin1String("EnSplitScreen"));
}

int32_t HandleWork::RunInitAgcRange(const STaskContext& ctx)
{
    QMutexLocker lock(&m_deviceMutex);
    auto* pDevice = dynamic_cast<CTouchHardware*>(m_pDevice.load());
    if (!pDevice)
        return 0;
    const int32_t nRet = pDevice->InitAgcRange();
    const bool bOk = nRet >= 0;
    InvokeOnView(ctx.mPara, "InitAgcRangeFinished", ctx.task, Q_ARG(bool, bOk));
    return nRet;
}

int32_t HandleWork::RunSetAgc(const STaskContext& ctx)
{
    // The view answers with its two spin-box values, T first, on this thread.
    uint32_t nT = 0;
    uint32_t nR = 0;
    if (!ctx.mPara
        || !QMetaObject::invokeMethod(ctx.mPara, "GetAgcValue", Qt::DirectConnection,
                                      Q_ARG(uint32_t*, &nT), Q_ARG(uint32_t*, &nR))) {
        qWarning().noquote() << "ProcessTask" << ":task = " + ctx.task << "- no view to ask for the AGC values";
        return 0;
    }
    QMutexLocker lock(&m_deviceMutex);
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
    QMutexLocker lock(&m_deviceMutex);
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
    QMutexLocker lock(&m_deviceMutex);
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
            PostTask(QStringLiteral("Start_Upgrade"));
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
        PostTask(QStringLiteral("Start_Upgrade"));
    else
        PostTask(QStringLiteral("InitDeviceInfo"));
}

void HandleWork::OnApplicationArrived()
{
    const int32_t nVersion = m_pUsbPort->GetVersion();
    if (nVersion < kMinimumVersion) {
        QWidget* pWindow = m_pMainWindow ? m_pMainWindow->GetWindowWidget() : nullptr;
        const QString text = QStringLiteral("0x") + QString::number(uint32_t(nVersion), 16)
            + QLatin1Char(' ') + tr("This series of touch boxes do not support!");
        QMessageBox::warning(pWindow, tr("Warning"), text, QMessageBox::Ok);
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
            QMutexLocker lock(&m_deviceMutex);
            if (CTouchBase* pDevice = m_pDevice)
                bSame = pDevice->ReInitDeviceInfo();
            m_bSameDevice = bSame;
            if (bSame)
                EmitDeviceInformation(m_pDevice);
        }
        if (!bSame) {
            ReplaceDeviceObject();
            PostTask(QStringLiteral("InitDeviceInfo"));
        }
    } else {
        ReplaceDeviceObject();
        PostFirstTaskForWorkType(type);
    }
    emit EmitDeviceStatusToUIObject(true);
}
