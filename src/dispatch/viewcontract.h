#pragma once

#include <QByteArray>
#include <QMetaObject>
#include <Qt>

// The contract between the dispatcher (HandleWork) and the classes above it
// that it reaches by name: every method it calls or connects through a
// QMetaObject signature is listed here, with the class that must declare it,
// the thread it runs on and how it is reached. Every such call and connection
// of the dispatcher takes the signature from this list, and a test checks
// that every class of the tree declares what is listed for it, so a misspelt
// or retyped slot fails a test instead of warning at run time.
//
// Answers to a posting view (the task's argument, "the poster"):
//   The worker thread never calls a view. When the poster is a QObject,
//   PostTask keeps a QPointer to it, taken on the GUI thread. The worker
//   hands each answer, queued, to HandleWork on the GUI thread, which checks
//   the pointer there and calls the slot directly; a poster that is gone only
//   leaves a debug line.
//
// Getters called on the worker thread:
//   GetLogFilePath and GetAgcValue are called while the task runs, on the
//   worker thread, directly. They touch no widget: they
//   hand out a copy, taken under the view's own lock, of values the view
//   keeps on the GUI thread (or read a settings store, which locks itself).
//   StepReplayFrame is called the same way and touches no widget either: it
//   works under the device mutex and queues what the widgets show. All of
//   them rely on the shutdown order below: no task runs once a view is being
//   destroyed. "Start_Upgrade" calls no getter: the upgrade view posts its
//   image with the task.
//
// A failed run:
//   Every "StartTestOnce" that does not reach InitTestUi (a failed test, or no
//   device object: ERROR_CODE_LOST_DEVICE), every "ReTest" that does not reach
//   ShowTestResult (a failed test; ERROR_TEST_NOT_PREPARED when the frame was
//   never prepared; ERROR_CODE_LOST_DEVICE without a device object), every
//   "UpdateTestResult" without a device object and every "OpenTestLog" whose
//   log is not loaded calls TaskFailed(task, code) on its poster, besides any
//   box the main window shows for the code, so a view never stays "testing"
//   or "opening".
//
// One answer per task, in the order posted:
//   The worker runs a poster's tasks one after the other in the order they
//   were posted, and their answers reach the poster in that order. Each of
//   "StartTestOnce", "ReTest", "UpdateTestResult" and "OpenTestLog" that runs
//   answers exactly once (its answer above or TaskFailed), so the test view
//   knows which of its posts an answer belongs to, and drops one whose run
//   has ended meanwhile. Only tasks dropped while the station closes go
//   unanswered.
//
// Shutdown order (MainWindow's destructor; every orderly end goes there):
//   1. HandleWork::StopWorker(): the running task is interrupted and waited
//      for (bounded), the worker thread ends; later posts are refused with a
//      debug line.
//   2. The work views and the set-up dialog are deleted. Their destructors
//      may still call HandleWork (it exists; its posts are refused).
//   3. HandleWork is deleted (ports, device object, environment record).
//   Dialogs parented to the main window itself (the manual calibration
//   screen, the calibration parameter dialog, UpgradeSetDialog,
//   ScanInputDialog) are destroyed with the window, after HandleWork: their
//   destructors must not reach the dispatcher in any way.
namespace ViewContract {

// The thread on which the method runs.
enum class Thread { Gui, Worker };

struct SMethod
{
    // The classes that must declare it (null-terminated list).
    const char* const* ppClasses;
    // The normalised QMetaObject signature (Qt 5 writes "> >").
    const char* szSignature;
    // The result type the dispatcher reads, or nullptr when it reads none.
    const char* szResult;
    Thread eThread;
    // How the dispatcher reaches it on that thread.
    Qt::ConnectionType eConnection;
};

constexpr const char* kTestView[] = {"VeloraTestView", nullptr};
constexpr const char* kPosters[] = {"VeloraTestView", "VeloraCalibrateView", "VeloraUpgradeView", nullptr};
constexpr const char* kMainWindow[] = {"MainWindow", nullptr};
constexpr const char* kFineTuningView[] = {"CFineTuningCalibrateView", nullptr};
constexpr const char* kManualCalView[] = {"CCalAdvancedSettingView", nullptr};

// --- on the poster, GUI thread, called by HandleWork after the worker's answer

// "StartTestOnce" (a first test) and "OpenTestLog" (a log loaded for replay)
// succeeded; the signal-error map of the run.
constexpr SMethod kInitTestUi{kTestView, "InitTestUi(QMap<QString,QString>)", nullptr, Thread::Gui,
                              Qt::DirectConnection};
// "ReTest" succeeded: the signal-error map of a new run (the view files it).
constexpr SMethod kShowTestResult{kTestView, "ShowTestResult(QMap<QString,QString>)", nullptr, Thread::Gui,
                                  Qt::DirectConnection};
// "UpdateTestResult" (the settings changed): the signal-error map of the run
// already shown, with false: the table is rebuilt, nothing is filed again.
constexpr SMethod kShowTestResultAgain{kTestView, "ShowTestResult(QMap<QString,QString>,bool)", nullptr,
                                       Thread::Gui, Qt::DirectConnection};
// "OpenReverse", "CloseReverse": true when the frame took the mode.
constexpr SMethod kShowReverseData{kTestView, "ShowReverseData(bool)", nullptr, Thread::Gui,
                                   Qt::DirectConnection};
// "InitAgcRange": true when the ranges were read.
constexpr SMethod kInitAgcRangeFinished{kTestView, "InitAgcRangeFinished(bool)", nullptr, Thread::Gui,
                                        Qt::DirectConnection};
// "RefreshUi": the view refreshes its panel and histograms.
constexpr SMethod kUpdateRealTimeData{kTestView, "UpdateRealTimeData()", nullptr, Thread::Gui,
                                      Qt::DirectConnection};
// A "StartTestOnce" that did not reach InitTestUi, an "OpenTestLog" whose
// log was not loaded: the task and its code (negative).
constexpr SMethod kTaskFailed{kPosters, "TaskFailed(QString,int32_t)", nullptr, Thread::Gui,
                              Qt::DirectConnection};

// "SendCalDataToDev" posted by the fine-tuning screen: the send's result, 0 or
// a failure code (ERROR_CODE_NULL_DEVICE without a live frame). Answered in
// every case, after the calibration message or UpdateCalibrationData.
constexpr SMethod kCalDataSent{kFineTuningView, "CalDataSent(int)", nullptr, Thread::Gui, Qt::DirectConnection};
// "ExitFineTuningCalibrate" posted by the fine-tuning screen itself (the
// program ends): 0 when the frame has taken back its touch formats, else the
// failure code (ERROR_CODE_NULL_DEVICE without a live frame, or when the
// frame is not the one fine tuning started on); the flag is false when the
// start could not read the formats, so none were given back (the code is
// then the read's failure).
constexpr SMethod kFineTuningExited{kFineTuningView, "FineTuningExited(int,bool)", nullptr, Thread::Gui,
                                    Qt::DirectConnection};
// "READ_CAL_VALUES" posted by the manual calibration screen: the cached
// values LX, LY, RX, RY (no frame command); zeros without a live frame.
constexpr SMethod kCalValuesRead{kManualCalView, "CalValuesRead(int,int,int,int)", nullptr, Thread::Gui,
                                 Qt::DirectConnection};

// --- on the poster, worker thread, while the task runs

// "OpenTestLog": the log to replay.
constexpr SMethod kGetLogFilePath{kTestView, "GetLogFilePath()", "QString", Thread::Worker,
                                  Qt::DirectConnection};
// "SetR&TAgc", "SetTAgc", "SetRAgc": the T-AGC value into the first, the
// R-AGC value into the second.
constexpr SMethod kGetAgcValue{kTestView, "GetAgcValue(uint32_t*,uint32_t*)", nullptr, Thread::Worker,
                               Qt::DirectConnection};
// "UpdateUIPre" (-1) and "UpdateUINext" (+1), only while the device object
// is a log replay: the replay steps one frame and the visible page follows.
// Called without the device mutex (the method takes it); it touches no
// widget: its results reach the widgets queued.
constexpr SMethod kStepReplayFrame{kTestView, "StepReplayFrame(int)", nullptr, Thread::Worker,
                                   Qt::DirectConnection};

// --- on the main window (IMainWindow::GetWindowWidget())

// Connected to HandleWork::EmitDeviceStatusToUIObject(bool), emitted on the
// GUI thread after every arrival and removal.
constexpr SMethod kInsertUsbDeviceForMainwindow{kMainWindow, "InsertUsbDeviceForMainwindow(bool)", nullptr,
                                                Thread::Gui, Qt::AutoConnection};
// Connected to HandleWork::UpdateDeviceInfo(...): the device-information
// list and the environment list; emitted on the worker thread (queued) or
// on the GUI thread (a frame plugged again).
constexpr SMethod kInitDeviceInfoForUI{
    kMainWindow, "InitDeviceInfoForUI(QList<QPair<QString,QString> >,QList<QPair<QString,QString> >)", nullptr,
    Thread::Gui, Qt::AutoConnection};
// Invoked from the worker thread, queued: a result of the error rule (a
// time-out or a runtime error), the outcome of "SaveBatchInfo", or a log
// that cannot be opened.
constexpr SMethod kShowErrorMessage{kMainWindow, "ShowErrorMessage(int32_t,QString)", nullptr, Thread::Gui,
                                    Qt::QueuedConnection};
// Invoked from the worker thread, queued, after a "SaveBatchInfo" whose write
// the frame took but whose read-back does not give the number written: the
// number written, the read-back's result (0: the frame answered) and the
// text the frame reports (empty: none). Only a read-back that gives the
// number written reaches ShowErrorMessage with 0.
constexpr SMethod kShowBatchInfoNotHeld{kMainWindow, "ShowBatchInfoNotHeld(QString,int32_t,QString)", nullptr,
                                        Thread::Gui, Qt::QueuedConnection};

constexpr const SMethod* kAll[] = {
    &kInitTestUi,     &kShowTestResult, &kShowTestResultAgain, &kShowReverseData,    &kInitAgcRangeFinished,
    &kUpdateRealTimeData, &kTaskFailed, &kGetLogFilePath,     &kGetAgcValue, &kStepReplayFrame,
    &kInsertUsbDeviceForMainwindow, &kInitDeviceInfoForUI, &kShowErrorMessage, &kShowBatchInfoNotHeld,
    &kCalDataSent,    &kFineTuningExited, &kCalValuesRead,
};

// The method's name, the signature up to "(".
inline QByteArray Name(const SMethod& method)
{
    const QByteArray signature(method.szSignature);
    return signature.left(signature.indexOf('('));
}

// Index of the method in pMeta (as QMetaObject::indexOfMethod), -1 when the
// class does not declare it with this signature.
inline int IndexOf(const QMetaObject* pMeta, const SMethod& method)
{
    return pMeta->indexOfMethod(QMetaObject::normalizedSignature(method.szSignature).constData());
}

} // namespace ViewContract
