#pragma once

#include "upgradelogfile.h"
#include "worktype.h"

#include <QDialog>
#include <QList>
#include <QPair>
#include <QString>
#include <cstdint>

namespace Ui {
class VeloraUpgradeView;
}

class HandleWork;
class QAction;
class ScanInputDialog;
class UpgradeSetDialog;
class QMenu;
class QTimer;

// The firmware-upgrade work view. The operator chooses a "*.bin" image by
// browsing or by dropping it on the window, starts the upgrade and follows
// the frame through its bootloader and back: the dispatcher's statuses move
// the progress bar and add rows to the log table (and to the upgrade log file
// of this opening), and the view itself judges the upgrade complete when the
// frame's device information arrives in application mode.
//
// Around every upgrade run a reply watchdog (five silent periods of 3 s end
// the upgrade) and, when the settings ask for it, the automatic continuation:
// after an upgrade started by hand, every completion starts the next one on
// the frame still attached, continuously or a set number of times.
//
// The view does no device work itself: it posts "Start_Upgrade" (with itself
// and the image it shows) and "Stop_Upgrade" to the dispatcher. The image
// chosen holds while the view stays open, also when the settings file could
// not keep it (the operator is told so). GUI thread.
class VeloraUpgradeView : public QDialog
{
    Q_OBJECT

public:
    VeloraUpgradeView(QWidget* parent, HandleWork* handleWork);
    ~VeloraUpgradeView() override;

    // Called by the main window before it shows the view: a new log file,
    // the counts at 0, the stored image and the attached frame's information.
    void InitUpgradeView();

    // The image the next upgrade downloads: the one chosen in this view, or
    // the stored "UpgradeFilePath" as the view found it when it opened.
    QString GetUpgradeFilePath() const { return m_strUpgradeFile; }

    virtual bool IsUpgradeButtonDisabled();
    virtual QString GetFirmwarePathText();

    // The log table and file.
    int InitLogTable();
    void InitLogMenu();
    int AppendLog(QString message);
    void CreateUpgradeLogFile();
    // The path of this opening's log file (empty before the first opening).
    QString LogFilePath() const { return m_logFile.Path(); }

    // The watchdog's end of a silent upgrade.
    void UpgradeTimeout();
    // The watchdog's period: 3 s on the station clock, taken when the view
    // is built. A test that runs its frame on a shortened clock gives the
    // watchdog a period of its own here, one that a loaded machine cannot
    // outlast while an upgrade is on its way. A running watchdog starts its
    // period again.
    void SetWatchdogInterval(int nMs);

    // The log table's context menu, at the mouse cursor.
    void on_tableViewCustomContextMenuRequested(const QPoint& pos);

signals:
    void SendACtlSignal(QString strCtlSignal, QString arg);
    void SendACtlSignal(QString strCtlSignal);
    void EmitUpdateLog(QList<QPair<QString, QString>> lstResult);
    void emitWorkType(eWorkType type);

public slots:
    virtual void UpdateUpgradeStatus(QString status, QString log, double nProgress);
    void UpdateUpgradeStatus(QString status, QString log);
    void UpdateUpgradeStatus(QString status);
    void UpdateUpgradeLog(QList<QPair<QString, QString>> lstResult);
    void UpdateUpgradeDeviceInfo(QList<QPair<QString, QString>> lstResult);
    void InsertUsbDeviceForUpgrade(bool value);
    void SetUpgradeViewTouchEnableCheck(bool value);
    void ChangeReEnumerateState(bool value);
    void on_lstActionToolButton_clicked();
    void on_touchEnToolButton_clicked(bool bIsCheck);
    void on_browsePushButton_clicked();
    void on_upgradePushButton_clicked();
    void on_exitToolButton_clicked(bool bIsCheck);
    void on_calToolButton_clicked(bool bIsCheck);
    void on_signalToolButton_clicked(bool bIsCheck);
    void ClearLogAction_event();
    void ClearUpgradeFile_event();
    void StopUpgrade_event();
    void UpdateDeviceStatus(bool status);
    void UpdateSettingParameter(bool status);
    void UpgradeTimer_CB();
    // The dispatcher took an arriving frame for the upgrade this view asked
    // for: the wait for a frame is over (GUI thread).
    void UpgradeFrameTaken();
    // The dispatcher took this view's latest "Start_Upgrade" (GUI thread).
    void UpgradeStartTaken();
    // A task it posted did not reach its answer (GUI thread); the upgrade
    // tasks answer through their statuses instead.
    void TaskFailed(QString task, int32_t errorCode);

    // Every way out goes through close(), which an upgrade refuses.
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    enum class BarColour { Blue, Red, Green };
    void SetBarColour(BarColour colour);
    // The bar's value and maximum, from a progress in bytes (clamped to the
    // range of int; NaN as 0).
    static int BarValue(double dValue);
    void FillBar();
    // The operating controls of the ready view (upgrade, browse, the three
    // leaving buttons) and the touch button.
    void EnableControls(bool bTouchButton);
    void StopWatchdog();
    void StartWatchdog();
    // An accepted image: field, store, member, Upgrade enabled, a row.
    void AcceptFirmware(const QString& path);
    // The row of an ending: text and the counts "(s,f)".
    void LogWithCounts(const QString& text);
    // A failure while an upgrade runs: red and full bar, one failure counted.
    void FailUpgrade();
    // The ending of a cancel (also of a start the dispatcher refused).
    void CancelUpgrade();
    // Whether this upgrade's completion would start the next one by itself.
    bool IsContinuationArmed() const;
    // "Cancel upgrade" while a frame is taken and the continuation armed:
    // no further upgrade starts, the running one goes on to its end.
    void StopContinuation();
    // "Cancel upgrade" is offered while the upgrade waits for a frame, and
    // while a run of automatic upgrades can still be stopped.
    void UpdateCancelAction();
    // The program ends: a running upgrade gets its last row.
    void LeaveAtProgramEnd();
    // Every ending: no upgrade runs, and nothing of it is waited for.
    void EndUpgrading();
    void AddRefusalRow();
    // The row's line to the log file; a line the file does not take adds
    // the row that says so (to the table only).
    void WriteLogLine(const QString& stamp, const QString& message);
    void InsertRow(const QString& stamp, const QString& message, const QFont* pFont, const QColor* pColour);
    // Three lines from the device-information list: product, identity, boot.
    static void BuildInfoLines(const QList<QPair<QString, QString>>& lstInfo, QString* pProduct,
                               QString* pIdentity, QString* pBoot);
    void ApplyContinuationRule();
    void PostTask(const QString& task);

    Ui::VeloraUpgradeView* ui;
    HandleWork* m_pHandleWork;
    // Both parented to the main window (the view's parent), which outlives
    // the dispatcher; neither uses it.
    UpgradeSetDialog* m_pUpgradeSetDialog = nullptr;
    ScanInputDialog* m_pScanInputDialog = nullptr;
    QMenu* m_pLogMenu = nullptr;
    QAction* m_pCancelAction = nullptr;
    QTimer* m_pUpgradeTimer = nullptr;
    bool bUpgradeContinue = false;
    // Watchdog ticks in a row that found no status.
    int count = 0;
    int m_nLogRow = 0;
    CUpgradeLogFile m_logFile;
    bool m_bDeviceConnected = false;
    bool m_bAutoUpgrade = false;
    int m_nContinuousUpgrade = 0;
    int m_nAutoUpgradeCount = 1;
    bool m_bIsUpgrading = false;
    bool m_bReEnumerating = false;
    // This upgrade has sent the frame away (its announced departure was
    // seen): only the frame coming back after that completes it.
    bool m_bFrameLeft = false;
    // The dispatcher has a frame for this upgrade (it was attached at the
    // start, or the dispatcher said it took one): the wait for a frame, the
    // only time a cancel can end the upgrade, is over.
    bool m_bFrameTaken = false;
    bool m_bUpgradeStarted = false;
    // The dispatcher has taken the start of the running upgrade: a status
    // that comes before is of the upgrade that ended before it.
    bool m_bStartTaken = false;
    QString m_strUpgradeFile;
    eWorkType m_eExitWorkType = MAINWORK;
    int m_nSuccessCount = 0;
    int m_nFailCount = 0;
};
