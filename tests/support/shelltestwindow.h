#pragma once

#include "imainwindow.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>
#include <cstdint>

// A main window for dispatcher tests: it records what the dispatcher tells
// it (device status, device information, error reports) and answers the work
// type the test sets.
class CShellTestWindow : public QWidget, public IMainWindow
{
    Q_OBJECT

public:
    using InfoList = QList<QPair<QString, QString>>;

    struct SDeviceInfo
    {
        InfoList lstDevInfo;
        InfoList lstAppInfo;
    };
    struct SError
    {
        int32_t nCode;
        QString task;
    };
    struct SBatchNotHeld
    {
        QString written;
        int32_t nReadBack;
        QString held;
    };

    eWorkType GetWorkType() const override { return m_eWorkType; }
    QWidget* GetWindowWidget() override { return this; }
    void SetWorkType(eWorkType type) { m_eWorkType = type; }

    QList<bool> statuses;
    QList<SDeviceInfo> deviceInfos;
    QList<SError> errors;
    QList<SBatchNotHeld> batchesNotHeld;

    void Clear();

public slots:
    void InsertUsbDeviceForMainwindow(bool value);
    void InitDeviceInfoForUI(QList<QPair<QString, QString>> lstDevInfo,
                             QList<QPair<QString, QString>> lstAppInfo);
    void ShowErrorMessage(int32_t errorCode, QString task);
    void ShowBatchInfoNotHeld(QString strWritten, int32_t nReadBack, QString strHeld);

private:
    eWorkType m_eWorkType = MAINWORK;
};
