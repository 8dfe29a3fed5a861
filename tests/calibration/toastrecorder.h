#pragma once

#include "toast.h"
#include "toastdlg.h"

#include <QEvent>
#include <QObject>
#include <QStringList>

// Every tip the toast shows while the recorder lives, in order. (A tip shows
// for two seconds only: a slow machine may find it hidden again by the time
// a test looks at it.)
class CToastRecorder : public QObject
{
public:
    CToastRecorder() { CToast::Instance()->Dialog()->installEventFilter(this); }
    ~CToastRecorder() override { CToast::Instance()->Dialog()->removeEventFilter(this); }
    QStringList tips;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            tips << CToast::Instance()->Dialog()->Tip();
        return false;
    }
};
