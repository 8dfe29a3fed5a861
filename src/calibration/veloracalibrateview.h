#pragma once

#include "worktype.h"

#include <QDialog>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <cstdint>

class CCalAdvancedSettingView;
class CCalWorkCustomView;
class CFineTuningCalibrateView;
class CalibrateSetUpDialog;
class HandleWork;
class QAction;
class QJsonValue;
class QMenu;

namespace Ui {
class VeloraCalibrateView;
}

// The calibration work view. The operator picks a procedure (four-point,
// fine tuning, manual tuning) and starts it, resets the frame's calibration,
// reads and saves the calibration log, opens the calibration parameter
// dialog or the draw test, and leaves for another view.
//
// It does no device work itself: it posts tasks to the dispatcher and
// follows what comes back, the calibration message (EmitCalibrateMsg), the
// reset result, whether a calibration was stored, and the device state the
// main window passes on. It owns the
// full-screen calibration screens, built once (with the main window as their
// parent) and shown on demand. Results are confirmed with the toast.
//
// Built once by the main window and kept, hidden when not in use; every
// close hands the next work type to the main window and empties the log.
// GUI thread only.
class VeloraCalibrateView : public QDialog
{
    Q_OBJECT

public:
    VeloraCalibrateView(QWidget* parent, HandleWork* pHandleWork);
    ~VeloraCalibrateView() override;

    // Called by the main window before it shows the view: reads the frame's
    // calibration data when a live frame runs its application.
    void InitCalibrateView();

signals:
    void emitOpenDrawTool();
    void emitCalFail();
    void emitCalOk();
    void emitExitCalibrate();
    void emitWorkType(eWorkType type);
    void emitInterruptCurrentRecvWork();

public slots:
    void SetCalViewTouchEnableCheck(bool value);
    // A frame arrived (true) or left (false).
    void InsertUsbDeviceForCalibrate(bool value);
    // The calibration message of the dispatcher or the fine-tuning screen.
    void CalibrateCallBackSlot(QJsonObject result);
    void ResetFunC();
    void PromtCalFailFunc();
    void PromtCalOkFunc();
    // Stops and releases the calibration screens (the view's end).
    void ExitCalibrateFunc();
    void Calibrate();
    void ResetCallBack(bool state);
    // The dispatcher's word whether the frame stored a calibration (the end
    // of a four-point run, or the keeping of a tuning screen): success is
    // confirmed for the four-point run, a failure is always shown.
    void CalibrationSaved(QString task, int result);
    // Fine tuning was left while its frame could not take its touch formats
    // back; they are given back when it returns (a row each, while the view
    // is shown). Fine tuning started on a frame that did not report its
    // formats: none will be given back (a row too).
    void TouchFormatsOwed();
    void TouchFormatsGivenBack();
    void TouchFormatsUnread();
    void on_lstActionToolButton_clicked();
    void on_touchEnToolButton_clicked(bool bIsCheck);
    void on_upgradeToolButton_clicked(bool bIsCheck);
    void on_signalToolButton_clicked(bool bIsCheck);
    void on_exitToolButton_clicked(bool bIsCheck);
    void on_drawButton_clicked();
    void ClearCalLogAction_event();
    void SaveCalLogAction_event();
    // The dispatcher's report of a failed run of a task posted with this
    // view as its argument; the view posts none such, so nothing comes.
    void TaskFailed(QString task, int32_t errorCode);

public:
    // The log table's context menu, at the mouse cursor. (Not a slot: the
    // form's connection by name would look for a widget of that name.)
    void on_CalTableViewCustomContextMenuRequested(QPoint pos);

    // Accepting or rejecting the view closes it as any other close does, so
    // the main window always gets its work type back.
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void StartFourPointCalibrate();
    static void ParseCalData(const QJsonObject& calData, QList<QPair<QString, QString>>* pList);
    void ShowCalData(const QList<QPair<QString, QString>>& list);
    void AppendCalLog(const QString& text);
    void InitCalLogTable();
    void InitCalLogMenu();
    // A step of the calibration message: 1 to 7, anything else 0.
    static int StepOf(const QJsonValue& value);
    // A live frame in its application is plugged and is the current device.
    bool IsLiveApplicationFrame() const;
    void SetWorkButtonsEnabled(bool bEnable);
    bool Post(const char* szTask);

    Ui::VeloraCalibrateView* ui = nullptr;
    // The screens and the dialog belong to the main window: guarded, so that
    // whichever of them and the view goes first, nothing is deleted twice.
    QPointer<CCalWorkCustomView> m_pCalWorkView;
    QPointer<CCalAdvancedSettingView> m_pAdvancedView;
    QPointer<CFineTuningCalibrateView> m_pFineTuningView;
    QMenu* m_pLogMenu = nullptr;
    QAction* m_pClearLogAction = nullptr;
    QAction* m_pSaveLogAction = nullptr;
    HandleWork* m_pHandleWork = nullptr;
    QPointer<CalibrateSetUpDialog> m_pSetUpDialog;
    bool m_bDeviceReady = false;
    // The end of an accepted four-point run is posted: its success is
    // confirmed with "Calibration complete".
    bool m_bConfirmSaved = false;
    // Four-point runs started: a question of one is answered only while it
    // is the last.
    quint64 m_nFourPointRun = 0;
    int m_nLogRows = 0;
    eWorkType m_eNextWorkType = MAINWORK;
};
