#pragma once

#include "touchdata.h"
#include "latestvalues.h"
#include "touchintake.h"
#include "worktype.h"

#include <QDialog>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QPair>
#include <QString>
#include <atomic>
#include <functional>
#include <cstdint>

class CComPortUart;
class CComPortUsb;
class COperateEnvironment;
class CRecordDialog;
class CSetUpDialog;
class CTimerThread;
class CTouchBase;
class CTouchHardware;
class CTouchPaintView;
class CTouchPanelView;
class CTouchSignalView;
class HandleWork;
class QAction;
class QLabel;
class QMenu;
class QTableWidget;
class SignalHistogramView;

namespace Ui {
class VeloraTestView;
}

// The signal-test work view. Built once by the main window and kept for the
// whole run; the main window shows it (maximised) for work type 1 and it hands
// the next work type back through emitWorkType when it closes.
//
// It requests all device work from the dispatcher as tasks, with itself as
// the task's argument, and reads the current device object only under the
// dispatcher's device mutex (taken before its own panel or histogram mutex,
// never across a dialog or a blocking post), asking for the object again
// each time. What the dispatcher calls on it by name is in viewcontract.h.
//
// Threads: every slot but ProcessTouchData runs on the GUI thread.
// ProcessTouchData runs on the reader thread of each attached frame; one
// lock guards the touch intake and the injection it leads to. The refresh
// timer's thread touches no widget: it reads the page shown, the source flag
// and the AGC values from atomics the GUI thread keeps.
class VeloraTestView : public QDialog
{
    Q_OBJECT

public:
    VeloraTestView(QWidget* parent, HandleWork* pHandleWork);
    ~VeloraTestView() override;

    // Called by the main window right after it has shown the view.
    void StartTest();
    // Closes the test run: the refresh stops, the views go, and a run that
    // was open on a live frame switches the frame's LED check off (blocking).
    void StopTest();

    // Called by the dispatcher on its worker thread while a task runs: copies
    // of values kept for it; no widget.
    Q_INVOKABLE void GetAgcValue(uint32_t* pT, uint32_t* pR);
    Q_INVOKABLE QString GetLogFilePath();

    // Back to the presentation without a source: the refresh stops, the
    // views go, the tables are reset and the test run is released.
    void DeInitTestUi();
    // The views go and the tables are reset; the refresh, the buttons and the
    // test run stay as they are.
    void ResetTestView();
    void StartRefresh();
    void StopRefresh();
    // One enabled state for the touch, retest and play buttons and "Record
    // Data...", by the device object's kind and the source flag.
    void UpdateSourceButtons();
    void ResetInfoTables();
    void SetButtonsEnabled(bool bEnabled);
    // The device table from the device object's information list.
    void InitDeviceInfoTable();
    // The panel diagram and the histograms of the current device object; false
    // without one (without a source, for the histograms).
    bool InitPanelView();
    bool InitHistogramViews();
    // The serial-number prompt (when "SupportSNCheck" is set). False when
    // the run or the frame changed while it was open: its answer is dropped.
    bool ScanSerialNumber();

    // The feeds of the panel diagram and the histograms.
    // GUI thread: the device object's problem map into the diagram.
    bool UpdatePanelView();
    // Refresh thread: one real-time cycle of the device object into the
    // diagram (queued), and the real-time verdict.
    bool RefreshPanelView();
    // GUI thread: the latest "ADC" readings into the histograms.
    bool UpdateHistogramView();
    // The curve views of the given axes (nothing in the view builds them):
    // the latest readings of every curve, or a real-time reading of every
    // curve followed by the real-time verdict.
    bool UpdateCurveViews(const QMap<QString, CTouchSignalView*>& mapViews);
    bool UpdateCurveViewsRealTime(const QMap<QString, CTouchSignalView*>& mapViews);
    // The interface check of the serial and the second USB interface: the
    // result words below (0 passed, 0x80000001 failed). Not wired.
    bool CheckInterfaceTests();
    uint32_t SerialResultWord() const { return m_nComTestResult; }
    uint32_t SecondUsbResultWord() const { return m_nDUsbTestResult; }

    // One frame on (nStep > 0) or back (< 0) and the visible page refreshed
    // for it; a step no page took is taken back. Takes the device mutex
    // itself (never call it holding that) and touches no widget: the refresh
    // tick runs it with +1, the dispatcher with -1 or +1 for a paused replay.
    Q_INVOKABLE void StepReplayFrame(int nStep);

    // The refresh tick and its page work (refresh thread).
    static void RefreshTimer_CB(void* pView);
    bool RefreshCurrentTab();
    bool RefreshHistogramView();

    // State the tests and the run flow read.
    bool IsSourcePresent() const { return m_bSourcePresent.load(); }
    bool IsTestRunning() const { return m_bTestRunning; }
    bool IsRefreshRunning() const { return m_bRefreshRunning; }
    bool IsTouchEnabled() const { return m_bTouchEnabled; }
    int RefreshInterval() const { return m_nInterval; }
    double FontScale() const { return m_dFontScale; }
    QString ScannedSerialNumber() const { return m_strScannedSN; }
    // The page the refresh works for: the panel tab, the histogram tab or
    // neither (kept on the GUI thread).
    enum class EPage { Other, Panel, Histogram };
    EPage VisiblePage() const { return m_eVisiblePage.load(); }
    CTouchPanelView* PanelView() const { return m_pPanelView; }
    QMap<QString, SignalHistogramView*> HistogramViews() const { return m_mapHistogramViews; }
    CTouchPaintView* TouchPaintView() const { return m_pTouchPaintView; }
    CTimerThread* TimerThread() const { return m_pTimerThread; }
    QMenu* ActionMenu() const { return m_pActionMenu; }
    QLabel* NoticeLabel() const { return m_pNoticeLabel; }
    // Tests only: the log a replay opens, as the open dialog would choose it.
    void SetLogFilePathForTest(const QString& path);
    // The refresh's hand-over to the GUI thread: the values waiting now, and
    // the most that waited at once (per key at most one) since the reset.
    int WaitingValues() const;
    int MostWaitingValues() const;
    void ResetWaitingValues();
    // How many times the refresh asked the GUI thread to take its values.
    int DrainsPosted() const { return m_nDrainsPosted.load(); }

signals:
    void ShowTouchTestResult(bool bPass);
    void emitWorkType(eWorkType type);
    void emitSignalTestStatus(bool value);

public slots:
    void InsertUsbDeviceForTest(bool value);
    void ProcessTouchData(TouchData data);
    void TouchPaintClose();
    void OpenTouchPaintWindow();
    void UpdateSignalTestDeviceInfo(QList<QPair<QString, QString>> lstResult);
    void SetTouchEnableCheck(bool value);

    void on_exitTestButton_clicked();
    void on_startTestButton_clicked(bool checked);
    void on_drawButton_clicked();
    void on_signalButton_clicked();
    void on_rectButton_clicked();
    void on_histogramButton_clicked();
    void on_retestTestButton_clicked();
    void on_touchEnTestButton_clicked(bool checked);
    void on_calButton_clicked();
    void on_upgradeButton_clicked();
    void on_rAgcSpinBox_valueChanged(int arg1);
    void on_tAgcSpinBox_valueChanged(int arg1);

    void setUpResponse();
    void prtSrcResponse();
    void recordResponse();
    void ExitRecordWork();
    void openLogResponse();
    void modifySnResponse();
    void initAgcResponse();
    void setAgcResponse(bool bChecked);
    void openReverseResponse(bool bChecked);
    // "InitAgcRange" is over: the AGC controls with the frame's ranges.
    void InitAgcRangeFinished(bool bSuccess);
    void speedUpResponse();
    void speedDownResponse();
    void preFrameResponse();
    void nextFrameResponse();
    void ChangeUsbDevice(QAction* action);
    QString SaveLogDataAuto(bool result);
    QString SaveLogDataAuto();
    QString SaveLogDataManul();
    void ShowComLostError();
    // "OpenReverse" or "CloseReverse" is over; nothing to show.
    void ShowReverseData(bool bReverse);
    bool UploadTestData(QString logPath, QString result);
    void InitTestUi(QMap<QString, QString> mapTestResult);
    bool ShowTestResult(QMap<QString, QString> mapTestResult, bool bRealTime = true);
    bool RedoInitTestUI(QMap<QString, QString> mapTestResult);
    bool ShowInterfaceTestResult(QMap<QString, QString> mapTestResult);
    void SelectTab(int index);

    // "RefreshUi": the panel diagram and the histograms (GUI thread).
    bool UpdateRealTimeData();
    // A task of this view that did not reach its answer.
    void TaskFailed(QString task, int32_t errorCode);

    // Accepting or rejecting the view closes it as any other close does: the
    // close rule applies, and the main window gets its work type back.
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Keeps the first column of both tables a third of their width, and
    // their rows fitting, as they resize (they are filled while the view may
    // be hidden, at another width).
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    // The curve views fed from the frame read now (and the real-time verdict
    // given), or from the latest readings it gave.
    bool FeedCurveViews(const QMap<QString, CTouchSignalView*>& mapViews, bool bReadFrame);
    void RestoreCurrentTab();
    void InitNoticeLabel();
    void InitActionMenu();
    // The mark beside the result table that names the replayed log.
    void InitReplayMark();
    // While a replayed log is the source, the title and the mark name the
    // log whose result was shown last; otherwise the title is the station's
    // and the mark is hidden. Reads no device object (no device mutex).
    void UpdateSourceMark();
    void UpdateAgcRanges();
    // Posts a task with this view as its argument; false when it was refused.
    bool Post(const QString& task, Qt::ConnectionType type = Qt::AutoConnection);
    // The dispatcher's device object: the caller holds the device mutex.
    CTouchBase* Device() const;
    bool HasDevice() const;
    QMutex* DeviceMutex() const;
    // Deletes the panel view and the histogram views (under their mutexes).
    void RemoveViews();
    void FillDeviceTable(const QList<QPair<QString, QString>>& lstDevice, bool bContextMenu);
    void ResetTable(QTableWidget* pTable, const QString& text);
    // A two-column table's columns (the first a third of the width) and its
    // rows' heights, for their wrapped texts (by the table's CTableRowFitter:
    // rows out of sight are measured while the event loop turns).
    void FitTable(QTableWidget* pTable, int nFirstStretched);
    // The first LED row of the result table as last built.
    int m_nFirstLedRow = 0;
    void ExitActiveDrawWindow();
    // The real-time verdict of the device object (device mutex held).
    void RealTimeVerdict(CTouchBase* pDevice);
    void NotePage();
    void NoteScreenSize();
    // A call by name whose failure only a warning tells.
    static void WarnIfNotInvoked(bool bInvoked, const char* szWhat);
    // Writes the device's log at strPath (its folder made first); the reason
    // when it could not, else empty. The caller holds the device mutex.
    static QString WriteLog(CTouchHardware* pDevice, const QString& strPath);
    // "Data/<Product>/<CheckSum>/<time>_<McuID>_<BatchInfo>", relative to the
    // working folder, without suffix: the name a recording is saved under
    // (the caller holds the device mutex).
    static QString ProposedLogPath(CTouchHardware* pDevice);
    // A log that was not written: a Critical line now, the operator's box
    // once the caller has returned.
    void ReportSaveFailure(const QString& strPath, const QString& strReason);
    // A test log taken out of the device object: its XML as it was then and
    // the name a manual save proposes for it (ProposedLogPath). What comes
    // later (another frame, the same frame read again, a replay) changes
    // nothing of it.
    struct STakenLog
    {
        bool bTaken = false;
        QByteArray xml;
        QString strProposed;
    };
    // The live device object's log now, under the device mutex; with
    // bEndRecording its recording stops first. Not taken without a live
    // device object.
    STakenLog TakeLog(bool bEndRecording);
    // Asks where the taken log goes and writes it there. A write that fails
    // says why in a box and asks again, until the log is written or the
    // operator cancels: the path written, or empty.
    QString SaveTakenLog(const STakenLog& log);
    // Writes xml at strPath (its folder made first): the reason when it
    // could not, else empty.
    static QString WriteTakenLog(const QByteArray& xml, const QString& strPath);
    // Runs fn from the event loop once the device event being handled has
    // reached every receiver and its sender's own steps have run: a dialog a
    // frame's departure or arrival brings opens only then, and acts on the
    // state as it is when it ends.
    void AfterDelivery(const char* szWhat, std::function<void()> fn);
    // The path of a save that succeeded (logged), or empty after a failure
    // (reported).
    QString SaveOutcome(const char* szWho, const QString& strPath, const QString& strReason);
    // The program ends while recording: saved without a dialog.
    void SaveRecordingAtEnd();
    // The recorded frame left while another stays: the recording ends as
    // the clock's button ends it and is filed as at the program's end,
    // before the frame that stays replaces or re-reads the device object.
    void EndRecordingOfLeftFrame();
    // "OpenTestLog" failed: the source the dispatcher kept is shown again.
    void RestoreAfterFailedOpen();
    // The views of a first result, the result shown and filed (InitTestUi
    // without asking whose answer it is).
    void ShowFirstResult(const QMap<QString, QString>& mapTestResult);
    bool ShowResultNow(const QMap<QString, QString>& mapTestResult, bool bRealTime);

    // What was current before a nested event loop (a dialog, a box, a
    // prompt): the run, the device object and the source flag.
    struct SCurrent
    {
        quint64 nRun = 0;
        quint64 nDevice = 0;
        bool bSource = false;
    };
    SCurrent Current() const;
    // What changed since before was noted: nothing, the run, the frame
    // (another device object, or the source came or went), or both.
    enum class EChange { None, Run, Frame, RunAndFrame };
    EChange ChangeSince(const SCurrent& before) const;
    // After a nested event loop: whether the run and the frame noted before
    // it still are current. Where they are not, a plug event, an unplug or
    // another run came during the loop: a line says so for szWho, and what
    // the caller was doing for the run it noted is dropped.
    bool StillCurrent(const SCurrent& before, const char* szWho, const char* szLoop) const;
    // "Modify SN code...": why the frame cannot hold the number as typed
    // (empty when it can), and the box that says a number was not written
    // because the frame or the run changed since before, or no frame is
    // attached.
    static QString WhyFrameCannotHold(const QString& number);
    void TellSerialNumberNotWritten(const QString& number, const SCurrent& before);
    // A run is open (the test mutex held) on a live frame.
    bool IsLiveRunOpen();
    // Ends the run on a live frame as the last unplug does: its LED check
    // off, the tables reset and the dispatcher told.
    void EndLiveRun();

    // The tasks posted whose answer (or TaskFailed) is still to come, oldest
    // first, each with the run it was posted in. The worker runs the tasks
    // and hands their answers over in the order they were posted, one
    // answer per task, so the first entry of a task is the one its next
    // answer belongs to.
    struct SAnswerDue
    {
        QString task;
        quint64 nRun = 0;
    };
    QList<SAnswerDue> m_answersDue;
    // Posts a task that answers the view; its answer is awaited.
    bool PostForAnswer(const QString& task);
    // An answer has come for one of the tasks: false when it belongs to a
    // run that is no longer open (it is dropped, with a line). A call that no
    // post awaits (the view's own, a test's) is taken as it comes.
    bool IsAnswerOfOpenRun(const char* szAnswer, const QStringList& tasks);

    Ui::VeloraTestView* ui;
    HandleWork* m_pHandleWork;
    std::atomic<bool> m_bSourcePresent{false};
    // Set while the GUI thread builds a first or final result from the
    // device object, until its event loop turns again: the refresh ticks
    // meanwhile read no frame, so the result is built from the run's own
    // frame and the GUI thread never waits behind back-to-back frame reads.
    std::atomic<bool> m_bRefreshHeld{false};
    void HoldRefreshForThisTurn();
    COperateEnvironment* m_pEnvironment = nullptr;
    CComPortUart* m_pUartPort = nullptr;
    QMap<QString, SignalHistogramView*> m_mapHistogramViews;
    QMutex m_histogramMutex;
    CTouchPanelView* m_pPanelView = nullptr;
    QMutex m_panelMutex;
    CTouchPaintView* m_pTouchPaintView = nullptr;
    CSetUpDialog* m_pSetUpDialog = nullptr;
    QLabel* m_pNoticeLabel = nullptr;
    QLabel* m_pReplayMark = nullptr;
    // The log whose result the table shows, empty for a frame's.
    QString m_strShownReplay;
    QString m_strSourceTitle;
    CComPortUsb* m_pUsbPort = nullptr;
    QMutex m_testMutex;
    CTimerThread* m_pTimerThread = nullptr;
    int m_nInterval = 10;
    std::atomic<uint32_t> m_nTAgc{0};
    std::atomic<uint32_t> m_nRAgc{0};
    CRecordDialog* m_pRecordDialog = nullptr;
    QMenu* m_pActionMenu = nullptr;
    QAction* m_pSetUpAction = nullptr;
    QAction* m_pPrtSrcAction = nullptr;
    QAction* m_pOpenLogAction = nullptr;
    QAction* m_pRecordAction = nullptr;
    QAction* m_pModifySnAction = nullptr;
    QAction* m_pSpeedUpAction = nullptr;
    QAction* m_pSpeedDownAction = nullptr;
    QAction* m_pNextFrameAction = nullptr;
    QAction* m_pPreFrameAction = nullptr;
    QString m_strScannedSN;
    mutable QMutex m_logPathMutex; // the path is read by the worker
    QString m_strLogFilePath;
    int m_nPassCount = 0;
    int m_nInterfaceTestCount = 0;
    uint32_t m_nComTestResult = 0;
    uint32_t m_nDUsbTestResult = 0;
    double m_dFontScale = 1.0;
    bool m_bTouchEnabled = true;
    bool m_bRefreshRunning = false;
    bool m_bTestRunning = false;
    int m_nNextWorkType = MAINWORK;

    // The run: every teardown and every start counts it on, so that code
    // after a nested event loop, and an answer to a task, see whether the
    // run they belong to is still open (StillCurrent, IsAnswerOfOpenRun).
    quint64 m_nRunNumber = 0;
    // A teardown closes the draw window: its closing then restarts nothing.
    bool m_bTearingDown = false;
    // The result table as last built: an equal result is not built again.
    struct SResultContent
    {
        QMap<QString, QPair<QString, QString>> rows; // name: verdict, detail
        QMap<QString, QString> leds;
        bool bOverallPass = false;
        double dFontScale = 1.0;
        bool operator==(const SResultContent& other) const
        {
            return bOverallPass == other.bOverallPass && dFontScale == other.dFontScale && rows == other.rows
                   && leds == other.leds;
        }
    };
    SResultContent m_shownResult;
    bool m_bResultShown = false;
    // What the refresh thread hands to the GUI thread: the latest real-time
    // verdict, diagram and histogram readings, each drained once.
    struct SHistogramReading
    {
        QString axis;
        QList<uint32_t> values;
    };
    // What the result table reads of the device object, read under the
    // device mutex: the verdict of the signal test (for a failing result),
    // the device class, its properties and a replay's interface result.
    struct SDeviceFacts
    {
        bool bPresent = false;
        quint64 nGeneration = 0;
        QPair<QString, QString> signal;
        bool bLive = false;
        QString batch, product, checksum;
        int nType = 0;
        QPair<QString, QString> interfaceResult;
        QString replayName; // the log's path, type 2 only
    };
    // pDevice may be null (then nothing is present); the caller holds the
    // device mutex.
    SDeviceFacts ReadDeviceFacts(CTouchBase* pDevice, const QMap<QString, QString>& mapTestResult) const;
    bool ShowTestResultOf(const QMap<QString, QString>& mapTestResult, bool bRealTime, const SDeviceFacts& facts);
    // A real-time verdict with what the refresh read of the device object
    // along with it, so that showing it does not wait for the device mutex.
    struct SVerdict
    {
        QMap<QString, QString> errors;
        SDeviceFacts device;
    };
    CLatestValues<SVerdict> m_verdictBox;
    CLatestValues<QMap<QString, QList<QString>>> m_diagramBox;
    CLatestValues<SHistogramReading> m_histogramBox;
    std::atomic<int> m_nDrainsPosted{0};
    // Asks the GUI thread, queued, to take what waits in a box.
    void PostDrain(void (VeloraTestView::*pDrain)());
    // The caller holds the device mutex.
    void PutVerdict(CTouchBase* pDevice, const QMap<QString, QString>& mapErrors);
    void PutDiagram(const QMap<QString, QList<QString>>& mapProblems);
    void DrainVerdict();
    void DrainDiagram();
    void DrainHistograms();
    // Every axis with a histogram view and every direction the device object
    // holds for it (the caller holds the device and histogram mutexes).
    void ForEachHistogramKey(CTouchBase* pDevice,
                             const std::function<void(const QString&, const QString&, SignalHistogramView*)>& fn);
    // Step one of a start: a flag, an object, a frame in application mode.
    bool IsSourceUsable() const;
    void BuildResultTable(const SResultContent& content);
    // The LED rows of a result: the first ones set as the table is built,
    // the others a slice at a time while the event loop turns (a frame whose
    // every LED fails has thousands). A table built or reset anew ends the
    // slices of the last one.
    void SetLedRows(int nCount);
    void SetLedRowSlice(quint64 nBuild);
    // Runs fn in a later turn of the event loop.
    void OnNextTurn(const std::function<void()>& fn);
    quint64 m_nResultBuild = 0;
    QMap<QString, QString> m_ledRowsToSet;
    QMap<QString, QString>::const_iterator m_itNextLedRow;
    int m_nNextLedRow = 0;
    // The filing of a final result, a turn of the event loop each after its
    // table is shown: the pages refreshed from its frame, then its log saved
    // and handed over and the run ended. The refresh reads no frame until
    // the log is saved, so table, pages and log are of one frame; a filing
    // is dropped when its run or frame changed, or a later final result came.
    struct SFiling
    {
        SCurrent before;
        quint64 nFiling = 0;
        bool bSignalPass = false;
        QString signalVerdict;
        bool bDrawDisabled = false;
    };
    void FileResult(const SFiling& filing, int nStep);
    void EndFiling();
    void EndResult(bool bDrawDisabled);
    quint64 m_nFiling = 0;
    std::atomic<bool> m_bFilingHeld{false};

    std::atomic<EPage> m_eVisiblePage{EPage::Other};
    // The touch intake: fed on the frames' reader threads, one at a time.
    QMutex m_intakeMutex;
    CTouchIntake m_intake;
    bool m_bIntakeClosed = false; // under m_intakeMutex
    // The desktop's size for the injector, kept by the GUI thread.
    std::atomic<int> m_nScreenWidth{0};
    std::atomic<int> m_nScreenHeight{0};
};
