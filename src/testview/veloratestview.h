#pragma once

#include "worktype.h"

#include <QDialog>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QPair>
#include <QString>
#include <cstdint>

class CTouchPaintView;
class HandleWork;

// The signal-test work view (a placeholder until the test workbench is
// built): it opens from the main window and hands the main panel back when
// it closes. It declares what the dispatcher calls on it by name
// (viewcontract.h); the answers do nothing yet.
class VeloraTestView : public QDialog
{
    Q_OBJECT

public:
    VeloraTestView(QWidget* parent, HandleWork* pHandleWork);

    // Called by the main window right after it has shown the view.
    void StartTest();

    // Called by the dispatcher on its worker thread while a task runs: copies
    // of values kept for it, taken under the view's own lock; no widget.
    Q_INVOKABLE QString GetLogFilePath();
    Q_INVOKABLE void GetAgcValue(uint32_t* pT, uint32_t* pR);

signals:
    void emitWorkType(eWorkType type);

public slots:
    void InsertUsbDeviceForTest(bool value);
    void UpdateSignalTestDeviceInfo(QList<QPair<QString, QString>> lstDevInfo);
    void OpenTouchPaintWindow();
    void SetTouchEnableCheck(bool value);

    // Answers of the dispatcher (GUI thread).
    void InitTestUi(QMap<QString, QString> mapTestResult);
    bool ShowTestResult(QMap<QString, QString> mapTestResult);
    void ShowReverseData(bool bReverse);
    void InitAgcRangeFinished(bool bSuccess);
    bool UpdateRealTimeData();
    void TaskFailed(QString task, int32_t errorCode);

private:
    QMutex m_valueMutex; // guards the values below, read by the worker
    QString m_strLogFilePath;
    uint32_t m_nTAgc = 0;
    uint32_t m_nRAgc = 0;
    CTouchPaintView* m_pTouchPaintView = nullptr;
};
