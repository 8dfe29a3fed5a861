#include "shelltestwindow.h"

void CShellTestWindow::Clear()
{
    statuses.clear();
    deviceInfos.clear();
    errors.clear();
    batchesNotHeld.clear();
}

void CShellTestWindow::InsertUsbDeviceForMainwindow(bool value)
{
    statuses.append(value);
}

void CShellTestWindow::InitDeviceInfoForUI(QList<QPair<QString, QString>> lstDevInfo,
                                           QList<QPair<QString, QString>> lstAppInfo)
{
    deviceInfos.append({lstDevInfo, lstAppInfo});
}

void CShellTestWindow::ShowErrorMessage(int32_t errorCode, QString task)
{
    errors.append({errorCode, task});
}

void CShellTestWindow::ShowBatchInfoNotHeld(QString strWritten, int32_t nReadBack, QString strHeld)
{
    batchesNotHeld.append({strWritten, nReadBack, strHeld});
}
