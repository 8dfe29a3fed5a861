#include "quitsignalwatcher.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_fds[2] = {-1, -1};
const int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int kQuitCount = 3;
// The quit signals first, then those asked for.
constexpr int kMaxWatched = 8;
struct SWatched
{
    int nSignal;
    struct sigaction previous;
};
SWatched g_watched[kMaxWatched];
int g_nWatched = 0;

void OnUnixSignal(int nSignal)
{
    const unsigned char byte = static_cast<unsigned char>(nSignal);
    // Only async-signal-safe calls here.
    const ssize_t nWritten = ::write(g_fds[0], &byte, 1);
    (void)nWritten;
}

bool Install(int nSignal)
{
    if (g_nWatched >= kMaxWatched)
        return false;
    struct sigaction action = {};
    action.sa_handler = OnUnixSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    SWatched& watched = g_watched[g_nWatched];
    if (::sigaction(nSignal, &action, &watched.previous) != 0)
        return false;
    watched.nSignal = nSignal;
    ++g_nWatched;
    return true;
}

bool IsQuitSignal(int nSignal)
{
    for (int nQuit : kQuitSignals) {
        if (nQuit == nSignal)
            return true;
    }
    return false;
}
} // namespace

CQuitSignalWatcher::CQuitSignalWatcher(QObject* parent)
    : QObject(parent)
{
    if (g_fds[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_fds) != 0) {
        qWarning() << "Quit signals: cannot watch SIGTERM/SIGINT/SIGHUP.";
        return;
    }
    ::fcntl(g_fds[0], F_SETFL, ::fcntl(g_fds[0], F_GETFL) | O_NONBLOCK);
    m_pNotifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &CQuitSignalWatcher::OnSignal);

    g_nWatched = 0;
    for (int i = 0; i < kQuitCount; ++i)
        Install(kQuitSignals[i]);
}

CQuitSignalWatcher::~CQuitSignalWatcher()
{
    if (!m_pNotifier)
        return;
    for (int i = g_nWatched - 1; i >= 0; --i)
        ::sigaction(g_watched[i].nSignal, &g_watched[i].previous, nullptr);
    g_nWatched = 0;
    delete m_pNotifier;
    m_pNotifier = nullptr;
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}

bool CQuitSignalWatcher::WatchSignal(int nSignal)
{
    // A signal's number travels as one byte through the socket.
    if (!m_pNotifier || IsQuitSignal(nSignal) || nSignal <= 0 || nSignal > 255)
        return false;
    for (int i = 0; i < g_nWatched; ++i) {
        if (g_watched[i].nSignal == nSignal)
            return true;
    }
    if (!Install(nSignal)) {
        qWarning().noquote() << QStringLiteral("Signals: cannot watch signal %1.").arg(nSignal);
        return false;
    }
    return true;
}

void CQuitSignalWatcher::OnSignal()
{
    unsigned char byte = 0;
    if (::read(g_fds[1], &byte, 1) != 1)
        return;
    const int nSignal = int(byte);
    if (!IsQuitSignal(nSignal)) {
        emit SignalReceived(nSignal);
        return;
    }
    qInfo().noquote() << QStringLiteral("Signal %1 received, the station closes.").arg(nSignal);
    QCoreApplication::exit(0);
}
