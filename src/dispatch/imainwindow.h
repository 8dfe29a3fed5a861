#pragma once

#include "worktype.h"

class QWidget;

// What the dispatcher needs of the main window, so that the dispatcher library
// never depends on the program that sits on top of it.
//
// The widget returned by GetWindowWidget() parents the dispatcher's message
// boxes and must offer these slots, which the dispatcher connects and calls by
// name:
//   InsertUsbDeviceForMainwindow(bool)
//   InitDeviceInfoForUI(QList<QPair<QString,QString>> lstDevInfo,
//                       QList<QPair<QString,QString>> lstAppInfo)
//   ShowErrorMessage(int32_t errorCode, QString task)
class IMainWindow
{
public:
    virtual ~IMainWindow() = default;

    // The work view that is open.
    virtual eWorkType GetWorkType() const = 0;

    virtual QWidget* GetWindowWidget() = 0;
};
