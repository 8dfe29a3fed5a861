#include "emulatedplugcontrol.h"

#include "emulatedstationframe.h"
#include "quitsignalwatcher.h"

#include <QCoreApplication>
#include <QDebug>
#include <QKeyEvent>

#include <csignal>

namespace {
const char* const kMark = "[emulated frame]";
constexpr int kToggleKey = Qt::Key_F12;
constexpr Qt::KeyboardModifiers kToggleModifiers = Qt::ControlModifier | Qt::ShiftModifier;

bool IsToggleKey(const QKeyEvent* pKey)
{
    // The keypad and group-switch bits do not matter.
    const Qt::KeyboardModifiers modifiers =
        pKey->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    return pKey->key() == kToggleKey && modifiers == kToggleModifiers;
}
} // namespace

CEmulatedPlugControl::CEmulatedPlugControl(CEmulatedStationFrame* pFrame, QObject* parent)
    : QObject(parent), m_pFrame(pFrame)
{
    QCoreApplication::instance()->installEventFilter(this);
}

CEmulatedPlugControl::~CEmulatedPlugControl()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

QKeySequence CEmulatedPlugControl::ToggleKey()
{
    return QKeySequence(int(kToggleModifiers) | kToggleKey);
}

void CEmulatedPlugControl::WatchSignals(CQuitSignalWatcher* pWatcher)
{
    if (!pWatcher->WatchSignal(SIGUSR1) || !pWatcher->WatchSignal(SIGUSR2)) {
        qWarning().noquote() << kMark << "SIGUSR1 and SIGUSR2 cannot be watched; the key"
                             << ToggleKey().toString() << "still pulls and plugs the frame";
    }
    connect(pWatcher, &CQuitSignalWatcher::SignalReceived, this, &CEmulatedPlugControl::OnSignal);
}

void CEmulatedPlugControl::Pull(const QString& how)
{
    if (!m_pFrame->IsPlugged()) {
        qInfo().noquote() << kMark << "Already pulled out (" + how + ")";
        return;
    }
    qInfo().noquote() << kMark << "Pulled out (" + how + ")";
    m_pFrame->Unplug();
}

void CEmulatedPlugControl::Plug(const QString& how)
{
    if (m_pFrame->IsPlugged()) {
        qInfo().noquote() << kMark << "Already plugged in (" + how + ")";
        return;
    }
    qInfo().noquote() << kMark << "Plugged in again (" + how + ")";
    m_pFrame->Plug();
}

void CEmulatedPlugControl::OnSignal(int nSignal)
{
    if (nSignal == SIGUSR1)
        Pull(QStringLiteral("SIGUSR1"));
    else if (nSignal == SIGUSR2)
        Plug(QStringLiteral("SIGUSR2"));
}

bool CEmulatedPlugControl::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    const QEvent::Type type = pEvent->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return QObject::eventFilter(pWatched, pEvent);
    auto* pKey = static_cast<QKeyEvent*>(pEvent);
    if (!IsToggleKey(pKey))
        return QObject::eventFilter(pWatched, pEvent);
    // Taken before any shortcut of a window: the key press follows.
    if (type == QEvent::ShortcutOverride) {
        pEvent->accept();
        return true;
    }
    // A key press travels up from the focus widget to its window: it is
    // taken at its first receiver. A held key does not toggle again.
    if (!pKey->isAutoRepeat()) {
        const QString how = ToggleKey().toString();
        if (m_pFrame->IsPlugged())
            Pull(how);
        else
            Plug(how);
    }
    return true;
}
