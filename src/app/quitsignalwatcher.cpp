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
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
struct sigaction g_previous[3];

void OnUnixSignal(int nSignal)
{
    const unsigned char byte = static_cast<unsigned char>(nSignal);
    // Only async-signal-safe calls here.
    const ssize_t nWritten = ::write(g_fds[0], &byte, 1);
    (void)nWritten;
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

    struct sigaction action = {};
    action.sa_handler = OnUnixSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
}

CQuitSignalWatcher::~CQuitSignalWatcher()
{
    if (!m_pNotifier)
        return;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete m_pNotifier;
    m_pNotifier = nullptr;
    ::close(g_fds[0]);
    ::close(g_fds[1]);
    g_fds[0] = g_fds[1] = -1;
}

void CQuitSignalWatcher::OnSignal()
{
    unsigned char byte = 0;
    if (::read(g_fds[1], &byte, 1) != 1)
        return;
    qInfo().noquote() << QStringLiteral("Signal %1 received, the station closes.").arg(int(byte));
    QCoreApplication::exit(0);
}
