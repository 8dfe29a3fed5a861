#pragma once

#include "imainwindow.h"
#include "viewcontract.h"

#include <QJsonObject>
#include <QList>
#include <QMetaMethod>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <type_traits>

class CComPortUart;
class CComPortUsb;
class COperateEnvironment;
class CTaskEvent;
class CTouchBase;
class CWorkThread;
class QTimer;

// The one object through which the user interface does device work.
//
// It lives on the GUI thread and owns a worker thread on which every device
// task runs, one after another. A view posts a task by name; the worker looks
// the name up in the task table and runs the operation on the current device
// object under the device mutex. Results go back to the GUI thread as queued
// signals or as queued calls of the posting view's slots by name. Time-outs and
// runtime errors reach the operator through the main window's error boxes.
//
// It also owns the station's environment record, the serial and USB ports, and
// the current device object: the live device of a plugged frame, or the replay
// of a saved test log; it replaces that object when a frame arrives or a log
// is opened.
//
// What it calls on the views and the main window by name, and the order in
// which the station shuts down, are in viewcontract.h.
class HandleWork : public QObject
{
    Q_OBJECT

public:
    using InfoList = QList<QPair<QString, QString>>;

    // What the current device object is.
    enum class DeviceKind { None, Live, Replay };

    // The classes of a failed result, by its low 16 bits (the operation code
    // in bits 16 to 30 aside): a time-out, or a runtime error. The error rule
    // reports exactly these two to the operator, through the main window.
    enum class ErrorClass { None, Timeout, RuntimeError };
    static constexpr uint32_t ERROR_CLASS_TIMEOUT = 0x0001;
    static constexpr uint32_t ERROR_CLASS_RUNTIME = 0x0003;

    explicit HandleWork(IMainWindow* pMainWindow);
    // Stops the worker first when StopWorker has not run; never waits without
    // bound for a lock a stopped task may still hold.
    ~HandleWork() override;

    // GUI thread. Ends the dispatcher's work before the views go: no task is
    // started any more (later posts are refused), the running task is
    // interrupted and waited for (bounded), and the worker thread ends. No
    // answer reaches a view afterwards. Safe to call more than once.
    void StopWorker();
    bool IsWorkerStopped() const { return m_pWorkThread == nullptr; }

    // Hands the task to the worker thread. False when the same task is running
    // at this moment (the request is dropped) or the hand-over fails. With
    // Qt::BlockingQueuedConnection the call returns after the task has run.
    // mPara is the object the task works for (the posting view) or null.
    bool PostTask(const QString& task, Qt::ConnectionType type = Qt::AutoConnection,
                  QObject* mPara = nullptr);
    // For the task that takes a flag ("SetCheckLedError"); the flag travels by value.
    bool PostTask(const QString& task, Qt::ConnectionType type, bool bFlag);
    // For a task that carries a text, by value: "Start_Upgrade" posted by the
    // upgrade view carries the image the view shows, which the upgrade
    // downloads.
    bool PostTask(const QString& task, Qt::ConnectionType type, QObject* mPara, const QString& strArg);
    // Any other pointer (a caller's bool*, say) would silently become the flag
    // "true": it does not compile.
    template <typename T, typename = std::enable_if_t<!std::is_base_of<QObject, T>::value>>
    bool PostTask(const QString& task, Qt::ConnectionType type, T* pOther) = delete;

    // GUI thread. A caller that uses the device object directly locks the
    // device mutex around the use and asks for the object again each time.
    CComPortUsb* GetUsbPort() const { return m_pUsbPort; }
    CComPortUart* GetUartPort() const { return m_pUartPort; }
    CTouchBase* GetTouchDevice() const { return m_pDevice.load(); }
    QMutex* GetDeviceMutex() { return m_pDeviceMutex; }
    // Any thread, without the device mutex: what the device object is now.
    // Views ask this instead of looking at GetTouchDevice(), whose object the
    // dispatcher may delete at any moment it does not hold the device mutex.
    DeviceKind GetDeviceKind() const { return m_eDeviceKind.load(); }
    // Any thread: changes whenever the device object is replaced and when
    // the frame it stands for comes back; a caller that lets go of the
    // device mutex (for a dialog, say) compares it to learn whether what it
    // read before still stands.
    quint64 GetDeviceGeneration() const { return m_nDeviceGeneration.load(); }
    COperateEnvironment* GetEnvironment() const { return m_pEnvironment; }
    // A copy of the environment list as the worker thread last left it (the
    // record itself is rewritten on the worker thread by every refresh and
    // every opened log).
    InfoList GetEnvironmentList() const;

    // True while the task runs on the worker thread (a post of it would be
    // refused); a queued task that has not started yet does not count.
    bool IsTaskRunning(const QString& task);

    // The task runner; runs on the worker thread only (called by CTaskEvent).
    // mPara is the poster for the direct getters; poster, taken on the GUI
    // thread when the task was posted, is checked there before an answer.
    // nStopsAtPost: the stops of the waiting calibration work counted when
    // the task was posted (StopsCountedFor).
    void ProcessTask(const QString& task, QObject* mPara, const QPointer<QObject>& poster, bool bFlag,
                     const QString& strArg, quint64 nStopsAtPost);

    static ErrorClass ClassifyError(int32_t nResult);
    // The error rule: a time-out or a runtime error is shown to the operator.
    static bool IsReportedError(int32_t nResult) { return ClassifyError(nResult) != ErrorClass::None; }

signals:
    // The device object's information list first, the station's environment
    // list second.
    void UpdateDeviceInfo(QList<QPair<QString, QString>> lstDevInfo,
                          QList<QPair<QString, QString>> lstAppInfo);
    // Sent with UpdateDeviceInfo when the list is what a frame reported (a
    // live device object's), never for a replayed log's identity.
    void EmitFrameInfoRead(QList<QPair<QString, QString>> lstDevInfo);
    void InitEnvironmentPara_Emit();
    void EmitUpgradeStatus(QString status, QString log, double nProgress);
    void EmitUpgradeStatus(QString status, QString log);
    void EmitUpgradeStatus(QString status);
    void EmitDeviceEnumerateState(bool value);
    void UpdateCalStep(int step);
    void UpdateCalibrationData();
    void emitResetCallBack(bool);
    void EmitCalibrateMsg(QJsonObject msg);
    // Whether the frame stored a calibration, once for each keeping of one:
    // "STEP_END_OK" (the end of a four-point run), or "GET_CAL_DATA" ending
    // the keeping of the tuning screens ("SET_CAL_FMT", "SAVE_TO_FLASH",
    // "SAVE_AS_DEFAULT", "GET_CAL_DATA"). result is 0, or the first failing
    // code of the format write, the flash save, the default save and the
    // read-back (ERROR_CODE_NULL_DEVICE without a live frame).
    void EmitCalibrationSaved(QString task, int result);
    void EmitSaveCalibrateFileParamToDev(bool);
    void EmitDrawTooButtonStatus(bool status);
    // True when the frame's touch output is now off.
    void EmitTouchEnButtonStatus(bool status);
    void EmitSignalTestButtonStatus(bool status);
    void EmitUpgradeButtonStatus(bool status);
    void EmitCalibrateButtonStatus(bool status);
    void EmitDeviceStatusToUIObject(bool status);
    // A frame was taken for the upgrade the upgrade view asked for: on the
    // GUI thread when an arrival posts "Start_Upgrade" for it (before that
    // arrival's EmitDeviceStatusToUIObject(true)), and on the worker thread
    // when "Start_Upgrade" starts the upgrade on an attached frame. An
    // arrival that is declined, refused or handled otherwise does not emit it.
    void EmitUpgradeFrameTaken();
    // The worker has taken a "Start_Upgrade" of the upgrade view (worker
    // thread, queued to the view): every upgrade status after it is of that
    // upgrade, every one before it of an earlier one.
    void EmitUpgradeStartTaken();
    void EmitStartDevToBootDetectTimer();
    void EmitStopDevToBootDetectTimer();
    // Fine tuning was left while its frame could not take back the touch
    // formats it had before: they are kept for that frame's return
    // (EmitTouchFormatsOwed), and given back when it arrived again
    // (EmitTouchFormatsGivenBack).
    void EmitTouchFormatsOwed();
    void EmitTouchFormatsGivenBack();
    // Fine tuning started on a frame that did not report its touch formats:
    // none are kept, and its exit gives none back.
    void EmitTouchFormatsUnread();

public slots:
    // A frame was plugged in (true) or pulled out (false).
    void InsertUsbDevice(bool value);
    void InitEnvironmentPara_Slot();
    void UpdateSignalTestStatus(bool value);

private:
    struct STaskContext
    {
        const QString& task;
        QObject* mPara;                  // for the direct getters (worker thread)
        const QPointer<QObject>& poster; // checked on the GUI thread only
        bool bFlag;
        quint64 nStopsAtStart;           // m_nWorkStops when the task (or its four-point run) was posted
        const QString& strArg;
    };
    using TaskRun = int32_t (HandleWork::*)(const STaskContext&);
    struct STaskRow
    {
        const char* szTask;
        TaskRun pRun;
    };
    static const STaskRow* FindTaskRow(const QString& task);

    bool Post(const QString& task, Qt::ConnectionType type, QObject* mPara, bool bFlag,
              const QString& strArg = QString());
    // Hands the task over without looking whether it runs (a task of the
    // dispatcher's own that may be queued twice).
    bool Queue(const QString& task, Qt::ConnectionType type, QObject* mPara, bool bFlag,
               const QString& strArg = QString());
    void StopRunningTask();
    // The stops a task is posted with: a step of the four-point run carries
    // the count of its run's "STEP_BEGIN", any other task the count now.
    quint64 StopsCountedFor(const QString& task);
    // Clears the live device object's run flag and turns its reception off,
    // which ends a wait for the frame; safe against a concurrent replacement.
    void InterruptDeviceWait();
    QMutex* TaskMutex(const QString& task);

    // --- task rows (worker thread) ---
    int32_t RunInitDeviceInfo(const STaskContext& ctx);
    int32_t RunGetBootVersion(const STaskContext& ctx);
    int32_t RunStartTestOnce(const STaskContext& ctx);
    int32_t RunReTest(const STaskContext& ctx);
    int32_t RunOpenTestLog(const STaskContext& ctx);
    int32_t RunRefreshUi(const STaskContext& ctx);
    int32_t RunTouchEnable(const STaskContext& ctx);
    int32_t RunSetCheckLedError(const STaskContext& ctx);
    int32_t RunCheckLedError(const STaskContext& ctx);
    int32_t RunInitAgc(const STaskContext& ctx);
    int32_t RunUpdateTestResult(const STaskContext& ctx);
    int32_t RunStepReplay(const STaskContext& ctx);
    int32_t RunReverse(const STaskContext& ctx);
    int32_t RunDrawing(const STaskContext& ctx);
    int32_t RunSaveBatchInfo(const STaskContext& ctx);
    int32_t RunPen(const STaskContext& ctx);
    int32_t RunSplitScreen(const STaskContext& ctx);
    int32_t RunInitAgcRange(const STaskContext& ctx);
    int32_t RunSetAgc(const STaskContext& ctx);
    int32_t RunResetAgc(const STaskContext& ctx);
    int32_t RunInitEnvironmentValid(const STaskContext& ctx);

    // Helpers of the rows.
    void EmitDeviceInformation(CTouchBase* pDevice);
    void TakeEnvironmentSnapshot();
    void InvokeErrorBox(int32_t nResult, const QString& task);
    // Calls a method of the main window's contract on it (queued), for task.
    template <typename... Args>
    void InvokeOnMainWindow(const ViewContract::SMethod& method, const QString& task, Args... args);
    // Worker thread: hands an answer to the poster over to the GUI thread,
    // where DeliverToPoster checks that the poster still exists.
    template <typename... Args>
    void AnswerPoster(const STaskContext& ctx, const ViewContract::SMethod& method, Args... args);
    void ReportTaskFailed(const STaskContext& ctx, int32_t nCode);
    using PosterCall = std::function<bool(QObject*, const QMetaMethod&)>;
    void DeliverToPoster(const QPointer<QObject>& poster, const QString& task, const ViewContract::SMethod& method,
                         const PosterCall& call);
    // Worker thread: a getter of the poster (see viewcontract.h).
    bool CallGetter(const STaskContext& ctx, const ViewContract::SMethod& method, QGenericReturnArgument ret,
                    QGenericArgument arg0 = QGenericArgument(), QGenericArgument arg1 = QGenericArgument());
    void ConnectToWindow(QWidget* pWindow, const QMetaMethod& signal, const ViewContract::SMethod& slot);

    // --- arrival and removal (GUI thread) ---
    void OnDeviceRemoved();
    void OnBootloaderArrived();
    void OnApplicationArrived();
    // Asks the operator whether a frame that arrived should replace the open
    // log replay. True only for Yes while the frame (in nMode) is still there.
    bool AskToReplaceReplay(const QString& text, uint32_t nMode, bool* pbStillThere);
    // After a question whose frame has gone: a frame that arrived while the
    // question was open (its arrival was left to the question) is handled now.
    void HandleDeferredArrival();
    bool IsFrameStillThere(uint32_t nMode) const;
    void ReplaceDeviceObject();
    void PostFirstTaskForWorkType(eWorkType type);
    void SetDevice(CTouchBase* pDevice);
    static DeviceKind KindOf(CTouchBase* pDevice);

    IMainWindow* m_pMainWindow;
    COperateEnvironment* m_pEnvironment = nullptr;
    mutable QMutex m_environmentMutex;
    InfoList m_lstEnvironment;

    QMutex m_taskMapMutex;
    std::map<QString, std::unique_ptr<QMutex>> m_mapTaskMutex;

    // On the heap: when a stopped task still holds it at the end, it is left
    // locked rather than destroyed.
    QMutex* m_pDeviceMutex = nullptr;
    // Held while the device object is replaced and while it is interrupted
    // from another thread without the device mutex (a leaf lock).
    QMutex m_devicePointerMutex;
    CComPortUsb* m_pUsbPort = nullptr;
    CComPortUart* m_pUartPort = nullptr;
    // Written under the device mutex; atomic so that the GUI thread can read
    // the pointer and its kind without waiting for a running task.
    std::atomic<CTouchBase*> m_pDevice{nullptr};
    std::atomic<DeviceKind> m_eDeviceKind{DeviceKind::None};
    std::atomic<quint64> m_nDeviceGeneration{0};

    CTaskEvent* m_pTaskEvent = nullptr;
    CWorkThread* m_pWorkThread = nullptr;
    QTimer* m_pBootDetectTimer = nullptr;

    std::atomic<bool> m_bSameDevice{false};
    std::atomic<bool> m_bTestedOnce{false};
    std::atomic<bool> m_bUpgradeRequested{false};
    std::atomic<bool> m_bSignalTest{false};
    std::atomic<bool> m_bRecvEnabled{false};

    // The station closes: no task is posted or started any more.
    std::atomic<bool> m_bClosing{false};
    std::atomic<int> m_nTasksRunning{0};

    // An arrival question is open (its nested event loop may deliver more
    // arrivals; the open one re-checks the frame when the answer comes).
    bool m_bAsking = false;
    // An arrival came while the question was open.
    bool m_bArrivalDeferred = false;
    // A refused frame's box is open (its nested loop may see the frame again).
    bool m_bRefusalShown = false;

    // ==== Calibration driver and firmware download ====
    // (bodies in handlework_calibration.cpp and handlework_upgrade.cpp)
public:
    // Calibration values of the live frame; 0 while there is none. They wait
    // for the device mutex.
    int32_t GetCalLX();
    int32_t GetCalLY();
    int32_t GetCalRX();
    int32_t GetCalRY();
    // Time-out of one wait of a calibration step, in ms (30000 at the start).
    int GetCalStepTimeout() const { return m_nCalStepTimeout.load(); }
    // Interval of the bootloader-detect timer (GUI thread).
    void SetBootDetectInterval(int nMs);
    // The jumps to its bootloader one upgrade sends a frame that answers
    // each and comes back in its application: at the last one's return the
    // upgrade fails ("Jump bootloader returns exception"), its request is
    // withdrawn, and no further jump is sent. The count starts again with
    // each "Start_Upgrade" of the view and at each upgrade's end.
    static constexpr int kMaxBootJumpsPerUpgrade = 3;

public slots:
    // Seconds of the target screen's count-down: above 9 they become the
    // step time-out, anything else gives 10 s.
    void ChangeCalStepTimeout(int timeOut);
    // Ends a calibration step that waits for the frame (GUI thread, without
    // the device mutex).
    void ExitCurrentWork();
    void StartFineTuningCalibrate();
    void ExitFineTuningCalibrate(bool bIsCalibrate);
    // One tick of the bootloader-detect timer: the fifth tick in a row
    // without activity gives the jump up.
    void UpgradeDetectTimer_CB();

private:
    int32_t RunInitDeviceCalData(const STaskContext& ctx);
    int32_t RunCalStep(const STaskContext& ctx);
    int32_t RunCalEndOk(const STaskContext& ctx);
    int32_t RunCalEndFail(const STaskContext& ctx);
    int32_t RunResetCalData(const STaskContext& ctx);
    int32_t RunCalSave(const STaskContext& ctx);
    int32_t RunGetCalData(const STaskContext& ctx);
    int32_t RunMoveCalEdge(const STaskContext& ctx);
    int32_t RunCalFormat(const STaskContext& ctx);
    int32_t RunStartFineTuning(const STaskContext& ctx);
    int32_t RunExitFineTuning(const STaskContext& ctx);
    int32_t RunGiveBackTouchFormats(const STaskContext& ctx);
    int32_t RunSendCalDataToDev(const STaskContext& ctx);
    int32_t RunSendFileCalParam(const STaskContext& ctx);
    int32_t RunReadCalValues(const STaskContext& ctx);
    int32_t RunStartUpgrade(const STaskContext& ctx);
    int32_t RunStopUpgrade(const STaskContext& ctx);

    // Calibration helpers; the caller holds the device mutex.
    class HardwareInterface* LiveHardware() const;
    QJsonObject BuildCalibrateMsg(class HardwareInterface* pDevice);
    void EmitCalibrateResult(int32_t nResult);
    void ResetCalibration(class HardwareInterface* pDevice);
    int32_t CalValue(int32_t (HardwareInterface::*pGetter)());

    // GUI thread, at an arrival: posts "Start_Upgrade" for the upgrade the
    // view asked for, and tells the view the frame was taken.
    void PostRequestedUpgrade();
    // Upgrade sequence (worker thread, device mutex held).
    int UpgradeTask();
    // Whether a failed jump to the bootloader failed because the frame left
    // the bus during it (it took the jump and restarted).
    bool LeftDuringTheJump(int32_t nResult) const;
    int DownloadFirmwareToDevice();
    void EmitUpgradeState(const QString& status, const QString& log, double dProgress);
    void StartBootDetectTimer();
    void StopBootDetectTimer(const char* szWhy);

    std::atomic<int> m_nCalStepTimeout{30000};
    // Stops of the waiting calibration work (ExitCurrentWork) so far: a
    // step task posted before one that had not yet reached the frame ends
    // as interrupted instead of waiting.
    std::atomic<quint64> m_nWorkStops{0};
    // m_nWorkStops when the last "STEP_BEGIN" was posted: a stop since then
    // ends every step of that four-point run, also one still queued or one
    // the view posts for an answer that came before the stop.
    std::atomic<quint64> m_nStopsAtCalRun{0};
    // Worker thread: what "StartFineTuningCalibrate" found, given back by
    // "ExitFineTuningCalibrate" on whichever object the frame has by then
    // (a frame plugged again during fine tuning gets a new one).
    // What a start of fine tuning found of the frame's touch formats: no
    // start ran since the last exit (the exit gives the object's own), the
    // frame did not report them (nothing is kept, the exit gives nothing
    // back), or they are kept here.
    enum class EFormatsKept { NoStart, NotRead, Kept };
    struct SFineTuneStart
    {
        EFormatsKept eKept = EFormatsKept::NoStart;
        int32_t nReadResult = 0;  // NotRead: the read's failure
        uint8_t nUsb1 = 0;
        uint8_t nUsb2 = 0;
        QString strMcuId;     // empty: not read
        quint64 nGeneration = 0;
    };
    SFineTuneStart m_fineTuneStart;
    // The formats of a fine tuning whose exit could not give them back,
    // kept for the frame with that McuID until it arrives again, a new fine
    // tuning starts, or the program ends. Written by the worker under the
    // device mutex; the flag is read by the arrival after it took that
    // mutex, so an exit that runs meanwhile is never missed.
    SFineTuneStart m_formatsOwed;
    QMutex m_formatsOwedMutex;  // a leaf lock around m_formatsOwed
    std::atomic<bool> m_bFormatsOwed{false};
    // Worker thread, device mutex held.
    void OweTouchFormats(const SFineTuneStart& start);
    SFineTuneStart TakeOwedTouchFormats();
    // GUI thread: at an arrival whose frame now has a live object.
    void PostGiveBackIfOwed();
    // GUI thread, at the program's end.
    void WarnOfOwedTouchFormats();
    static QString FormatsText(const SFineTuneStart& formats);
    // Worker thread: a keeping of the tuning screens runs ("SET_CAL_FMT" up
    // to "GET_CAL_DATA"), and its first failure.
    bool m_bCalKeeping = false;
    int32_t m_nCalKeepResult = 0;
    void NoteCalKeepResult(int32_t nResult);
    // Set by every upgrade step and a successful jump, cleared by every tick.
    std::atomic<bool> m_bBootJumpActivity{false};
    // The detect timer was started and not stopped since (the timer itself
    // lives on the GUI thread).
    std::atomic<bool> m_bBootDetectRunning{false};
    int m_nBootDetectTicks = 0;  // GUI thread
    QString m_strFirmwarePath;   // worker thread
    // Jumps to the bootloader the frame answered in this upgrade (worker thread).
    int m_nBootJumps = 0;
    // ==== end of the calibration and download section ====
};
