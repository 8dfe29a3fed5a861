#pragma once

#include "toast.h"

#include <QList>
#include <QMetaObject>
#include <QStringList>

// Every tip the toast shows while the recorder lives, in order, with its
// level: each ShowTip counts, also one that replaces a tip still shown. (A
// tip shows for two seconds only: a slow machine may find it hidden again by
// the time a test looks at it.)
class CToastRecorder
{
public:
    CToastRecorder()
    {
        m_connection = QObject::connect(CToast::Instance(), &CToast::TipShown, [this](int level, const QString& text) {
            tips << text;
            levels << level;
        });
    }
    ~CToastRecorder() { QObject::disconnect(m_connection); }
    CToastRecorder(const CToastRecorder&) = delete;
    CToastRecorder& operator=(const CToastRecorder&) = delete;

    QStringList tips;
    QList<int> levels;

private:
    QMetaObject::Connection m_connection;
};
