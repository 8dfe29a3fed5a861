#pragma once

#include "worktype.h"

class QWidget;

// What the dispatcher needs of the main window, so that the dispatcher library
// never depends on the program that sits on top of it.
//
// The widget returned by GetWindowWidget() parents the dispatcher's message
// boxes and must offer the slots that viewcontract.h lists for "MainWindow",
// which the dispatcher connects and calls by name.
class IMainWindow
{
public:
    virtual ~IMainWindow() = default;

    // The work view that is open.
    virtual eWorkType GetWorkType() const = 0;

    virtual QWidget* GetWindowWidget() = 0;
};
