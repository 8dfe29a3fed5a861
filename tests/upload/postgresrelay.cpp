#include "postgresrelay.h"

#include <QByteArray>

#include <algorithm>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The protocol's start-up requests that another start-up message follows.
constexpr quint32 kSslRequest = 80877103;
constexpr quint32 kGssRequest = 80877104;

quint32 BigEndian32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return (quint32(u[0]) << 24) | (quint32(u[1]) << 16) | (quint32(u[2]) << 8) | quint32(u[3]);
}

bool WriteAll(int nFd, const char *pData, size_t nSize)
{
    for (size_t nDone = 0; nDone < nSize;) {
        // A client that went away is no signal to this process.
        const ssize_t nWritten = ::send(nFd, pData + nDone, nSize - nDone, MSG_NOSIGNAL);
        if (nWritten <= 0)
            return false;
        nDone += size_t(nWritten);
    }
    return true;
}

// Whether a simple query ('Q') or a parse ('P') message of the client is a
// COMMIT.
bool IsCommit(char cType, const char *pBody, size_t nBody)
{
    QByteArray text;
    if (cType == 'Q') {
        text = QByteArray(pBody, int(qstrnlen(pBody, uint(nBody))));
    } else if (cType == 'P') {
        const size_t nName = qstrnlen(pBody, uint(nBody));
        if (nName + 1 >= nBody)
            return false;
        text = QByteArray(pBody + nName + 1, int(qstrnlen(pBody + nName + 1, uint(nBody - nName - 1))));
    } else {
        return false;
    }
    text = text.trimmed().toUpper();
    if (text.endsWith(';'))
        text.chop(1);
    return text.trimmed() == "COMMIT";
}

} // namespace

CPostgresRelay::CPostgresRelay(int nTargetPort)
    : m_nTargetPort(nTargetPort)
{
    m_nListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t nLength = sizeof(address);
    if (m_nListen < 0 || ::bind(m_nListen, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0
        || ::listen(m_nListen, 8) != 0
        || ::getsockname(m_nListen, reinterpret_cast<sockaddr *>(&address), &nLength) != 0
        || ::pipe2(m_wake, O_CLOEXEC) != 0)
        return;
    m_nPort = ntohs(address.sin_port);
    m_thread = std::thread([this] { Loop(); });
}

CPostgresRelay::~CPostgresRelay()
{
    m_bStop = true;
    Wake();
    if (m_thread.joinable())
        m_thread.join();
    for (SPair &pair : m_pairs)
        Close(pair);
    for (int nFd : {m_nListen, m_wake[0], m_wake[1]}) {
        if (nFd >= 0)
            ::close(nFd);
    }
}

void CPostgresRelay::Silence(int nMs)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nSilenceMs = nMs;
        m_bSilenceAsked = true;
    }
    Wake();
}

void CPostgresRelay::OnCommit(int nCommit, ECommit action, int nHoldMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_actions.insert(nCommit, SAction{action, nHoldMs});
}

void CPostgresRelay::Release()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bReleaseAsked = true;
    }
    Wake();
}

void CPostgresRelay::Wake()
{
    if (m_wake[1] >= 0)
        (void)!::write(m_wake[1], "x", 1);
}

int CPostgresRelay::ConnectTarget() const
{
    const int nFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(quint16(m_nTargetPort));
    if (nFd >= 0 && ::connect(nFd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0)
        return nFd;
    if (nFd >= 0)
        ::close(nFd);
    return -1;
}

void CPostgresRelay::Close(SPair &pair)
{
    for (int *pFd : {&pair.nClient, &pair.nServer}) {
        if (*pFd >= 0)
            ::close(*pFd);
        *pFd = -1;
    }
}

void CPostgresRelay::EndHold(SPair &pair)
{
    if (!pair.bHeld && !pair.bSwallowed && !pair.bDelayed)
        return;
    const bool bSwallowed = pair.bSwallowed;
    if (pair.bDelayed) {
        pair.bDelayed = false;
        // A server that went meanwhile never gets it; a client that went
        // leaves nothing more to carry.
        if (pair.nServer < 0 || !WriteAll(pair.nServer, pair.delayed.data(), pair.delayed.size())
            || pair.nClient < 0)
            Close(pair);
        pair.delayed.clear();
    }
    pair.bHeld = false;
    pair.bSwallowed = false;
    --m_nHeld;
    // A swallowed COMMIT's client learns nothing but the end.
    if (bSwallowed)
        Close(pair);
}

bool CPostgresRelay::FromServer(SPair &pair)
{
    char buffer[16384];
    const ssize_t nRead = ::read(pair.nServer, buffer, sizeof(buffer));
    if (nRead <= 0)
        return false;
    if (pair.bAwaitingSsl) {
        pair.bAwaitingSsl = false;
        if (buffer[0] == 'S' || buffer[0] == 'G')
            pair.bOpaque = true;
    }
    return WriteAll(pair.nClient, buffer, size_t(nRead));
}

bool CPostgresRelay::FromClient(SPair &pair)
{
    char buffer[16384];
    const ssize_t nRead = ::read(pair.nClient, buffer, sizeof(buffer));
    if (nRead <= 0)
        return false;
    if (pair.bOpaque)
        return WriteAll(pair.nServer, buffer, size_t(nRead));
    if (pair.bDelayed) {
        pair.delayed.insert(pair.delayed.end(), buffer, buffer + nRead);
        return true;
    }
    pair.pending.insert(pair.pending.end(), buffer, buffer + nRead);
    return PassMessages(pair);
}

bool CPostgresRelay::PassMessages(SPair &pair)
{
    size_t nAt = 0;
    bool bOk = true;
    while (bOk && !pair.bSwallowed) {
        const size_t nLeft = pair.pending.size() - nAt;
        const char *p = pair.pending.data() + nAt;
        if (pair.bOpaque) {
            bOk = WriteAll(pair.nServer, p, nLeft);
            nAt = pair.pending.size();
            break;
        }
        if (pair.bStartup) {
            if (nLeft < 8)
                break;
            const quint32 nLength = BigEndian32(p);
            if (nLength < 8 || nLeft < nLength)
                break;
            const quint32 nCode = BigEndian32(p + 4);
            if (nCode == kSslRequest || nCode == kGssRequest)
                pair.bAwaitingSsl = true;
            else
                pair.bStartup = false;
            bOk = WriteAll(pair.nServer, p, nLength);
            nAt += nLength;
            continue;
        }
        if (nLeft < 5)
            break;
        const quint32 nLength = BigEndian32(p + 1);
        if (nLength < 4 || nLeft < size_t(nLength) + 1)
            break;
        const size_t nTotal = size_t(nLength) + 1;
        bool bDrop = false;
        if (IsCommit(p[0], p + 5, nLength - 4)) {
            const int nCommit = ++m_nCommits;
            SAction action;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                action = m_actions.value(nCommit);
            }
            if (action.action == ECommit::Swallow) {
                // The server sees its client go: the transaction ends there.
                ::close(pair.nServer);
                pair.nServer = -1;
                pair.bSwallowed = true;
                pair.nHoldMs = action.nHoldMs;
                pair.heldFor.start();
                ++m_nHeld;
                nAt = pair.pending.size();
                break;
            }
            if (action.action == ECommit::Delay) {
                // This and all that follows wait for the end of the hold.
                pair.bDelayed = true;
                pair.nHoldMs = action.nHoldMs;
                pair.heldFor.start();
                ++m_nHeld;
                pair.delayed.assign(p, static_cast<const char *>(pair.pending.data() + pair.pending.size()));
                nAt = pair.pending.size();
                break;
            }
            bDrop = action.action == ECommit::Drop;
            if (action.action == ECommit::HoldAnswer) {
                pair.bHeld = true;
                pair.nHoldMs = action.nHoldMs;
                pair.heldFor.start();
                ++m_nHeld;
            }
        }
        bOk = WriteAll(pair.nServer, p, nTotal);
        nAt += nTotal;
        if (bOk && bDrop) {
            // The server's answer then finds no client: the pair ends.
            ::shutdown(pair.nClient, SHUT_RDWR);
            nAt = pair.pending.size();
            break;
        }
    }
    pair.pending.erase(pair.pending.begin(), pair.pending.begin() + long(std::min(nAt, pair.pending.size())));
    return bOk;
}

void CPostgresRelay::Loop()
{
    QElapsedTimer silentFor;
    int nSilenceMs = 0;
    while (!m_bStop) {
        bool bRelease = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            nSilenceMs = m_nSilenceMs;
            if (m_bSilenceAsked) {
                m_bSilenceAsked = false;
                for (SPair &pair : m_pairs)
                    pair.bSilent = true;
                silentFor.start();
            }
            bRelease = m_bReleaseAsked;
            m_bReleaseAsked = false;
        }
        for (SPair &pair : m_pairs) {
            if ((pair.bHeld || pair.bSwallowed || pair.bDelayed)
                && (bRelease || pair.heldFor.elapsed() > pair.nHoldMs))
                EndHold(pair);
        }
        // The bound of the silence: the silent connections are closed.
        if (silentFor.isValid() && silentFor.elapsed() > nSilenceMs) {
            for (SPair &pair : m_pairs) {
                if (pair.bSilent)
                    Close(pair);
            }
            silentFor.invalidate();
        }
        for (auto it = m_pairs.begin(); it != m_pairs.end();) {
            // A delayed COMMIT outlives its client until the hold ends.
            if (it->nClient < 0 && !(it->bDelayed && it->nServer >= 0)) {
                Close(*it);
                if (it->bHeld || it->bSwallowed || it->bDelayed)
                    --m_nHeld;
                it = m_pairs.erase(it);
            } else {
                ++it;
            }
        }

        std::vector<pollfd> fds{{m_nListen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        std::vector<size_t> owners{0, 0};
        for (size_t i = 0; i < m_pairs.size(); ++i) {
            const SPair &pair = m_pairs[i];
            if (pair.bSilent || pair.bSwallowed)
                continue;
            if (pair.nClient >= 0) {
                fds.push_back({pair.nClient, POLLIN, 0});
                owners.push_back(i);
            }
            // A server that ends a delayed pair's session is seen at once.
            if (!pair.bHeld && pair.nServer >= 0 && (pair.nClient >= 0 || pair.bDelayed)) {
                fds.push_back({pair.nServer, POLLIN, 0});
                owners.push_back(i);
            }
        }
        if (::poll(fds.data(), fds.size(), 20) <= 0)
            continue;
        if (fds[1].revents) {
            char drain[64];
            (void)!::read(m_wake[0], drain, sizeof(drain));
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            SPair &pair = m_pairs[owners[i]];
            if (pair.nClient < 0 && !pair.bDelayed)
                continue;
            const bool bFromClient = pair.nClient >= 0 && fds[i].fd == pair.nClient;
            if (!bFromClient && fds[i].fd != pair.nServer)
                continue;
            if (bFromClient ? FromClient(pair) : FromServer(pair))
                continue;
            if (bFromClient && pair.bDelayed) {
                // The client went; its delayed bytes still go.
                ::close(pair.nClient);
                pair.nClient = -1;
            } else {
                Close(pair);
            }
        }
        if (fds[0].revents & POLLIN) {
            const int nClient = ::accept4(m_nListen, nullptr, nullptr, SOCK_CLOEXEC);
            const int nServer = nClient >= 0 ? ConnectTarget() : -1;
            if (nServer >= 0) {
                SPair pair;
                pair.nClient = nClient;
                pair.nServer = nServer;
                m_pairs.push_back(std::move(pair));
            } else if (nClient >= 0) {
                ::close(nClient);
            }
        }
    }
}
