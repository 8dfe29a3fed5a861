#include "fakehidnode.h"

#include <QElapsedTimer>
#include <algorithm>
#include <QVector>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr int MAX_REPORT = 4096;
constexpr int MAX_KEPT_OUTPUTS = 4096;

void SetNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}
} // namespace

CFakeHidNode::CFakeHidNode(const HidNodeInfo &info)
    : m_info(info)
{
    m_nWakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    m_thread = std::thread(&CFakeHidNode::Run, this);
}

CFakeHidNode::~CFakeHidNode()
{
    Unplug();
    m_bStop = true;
    Wake();
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : qAsConst(m_closedFarFds))
        ::close(fd);
    for (const End &end : qAsConst(m_ends))
        ::close(end.nFarFd);
    if (m_nWakeFd >= 0)
        ::close(m_nWakeFd);
}

void CFakeHidNode::Wake()
{
    const uint64_t one = 1;
    if (m_nWakeFd >= 0) {
        ssize_t n = ::write(m_nWakeFd, &one, sizeof(one));
        Q_UNUSED(n);
    }
}

void CFakeHidNode::SetOutputHandler(OutputHandler handler)
{
    QList<QByteArray> pending;
    {
        QMutexLocker locker(&m_mutex);
        m_handler = std::move(handler);
        if (m_handler) {
            pending = m_pending;
            m_pending.clear();
        }
    }
    // Reports written before the handler was set are handed over now, in order.
    OutputHandler h;
    {
        QMutexLocker locker(&m_mutex);
        h = m_handler;
    }
    if (h) {
        for (const QByteArray &report : qAsConst(pending))
            h(*this, report);
    }
}

bool CFakeHidNode::WaitOutput(QByteArray *pReport, int nTimeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    QMutexLocker locker(&m_mutex);
    while (m_pending.isEmpty()) {
        const qint64 nLeft = nTimeoutMs - timer.elapsed();
        if (nLeft <= 0)
            return false;
        m_outputCond.wait(&m_mutex, static_cast<unsigned long>(nLeft));
    }
    *pReport = m_pending.takeFirst();
    return true;
}

QList<QByteArray> CFakeHidNode::Outputs() const
{
    QMutexLocker locker(&m_mutex);
    return m_outputs;
}

int CFakeHidNode::UntakenOutputs() const
{
    // Taken first, started second: 0 then means that every write begun
    // before the second read had been taken by the first.
    const int nTaken = m_nWritesTaken.load();
    const int nStarted = m_nWritesStarted.load();
    return std::max(nStarted - nTaken, 0);
}

void CFakeHidNode::CountWrite(bool bSent)
{
    if (bSent)
        ++m_nWritesStarted;
    else
        --m_nWritesStarted;
}

void CFakeHidNode::ClearOutputs()
{
    QMutexLocker locker(&m_mutex);
    m_outputs.clear();
    m_pending.clear();
}

int CFakeHidNode::SendInput(const QByteArray &report)
{
    if (report.isEmpty() || report.size() > MAX_REPORT)
        return 0;
    QMutexLocker locker(&m_mutex);
    int nReached = 0;
    for (const End &end : qAsConst(m_ends)) {
        const ssize_t n = ::send(end.nFarFd, report.constData(), size_t(report.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n == report.size())
            ++nReached;
    }
    return nReached;
}

int CFakeHidNode::OpenCount() const
{
    QMutexLocker locker(&m_mutex);
    return m_ends.size();
}

void CFakeHidNode::SetWriteError(int nErrno)
{
    m_nWriteError = nErrno;
}

void CFakeHidNode::SetReadError(int nErrno)
{
    m_nReadError = nErrno;
}

void CFakeHidNode::SetWritesBlock(bool bBlock)
{
    QMutexLocker locker(&m_mutex);
    m_bWritesBlock = bBlock;
    m_passCond.wakeAll();
}

void CFakeHidNode::SetReadsBlock(bool bBlock)
{
    QMutexLocker locker(&m_mutex);
    m_bReadsBlock = bBlock;
    m_passCond.wakeAll();
}

int CFakeHidNode::BlockedWrites() const
{
    QMutexLocker locker(&m_mutex);
    return m_nBlockedWrites;
}

int CFakeHidNode::BlockedReads() const
{
    QMutexLocker locker(&m_mutex);
    return m_nBlockedReads;
}

bool CFakeHidNode::Pass(const bool &bBlock, int &nBlocked)
{
    QMutexLocker locker(&m_mutex);
    if (bBlock && m_bPresent.load()) {
        ++nBlocked;
        while (bBlock && m_bPresent.load())
            m_passCond.wait(&m_mutex);
        --nBlocked;
    }
    return m_bPresent.load();
}

bool CFakeHidNode::PassWrite()
{
    return Pass(m_bWritesBlock, m_nBlockedWrites);
}

bool CFakeHidNode::PassRead()
{
    return Pass(m_bReadsBlock, m_nBlockedReads);
}

int CFakeHidNode::Open()
{
    if (!m_bPresent.load())
        return -ENOENT;
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0)
        return -errno;
    SetNonBlocking(sv[0]);
    SetNonBlocking(sv[1]);
    {
        QMutexLocker locker(&m_mutex);
        if (!m_bPresent.load()) {
            ::close(sv[0]);
            ::close(sv[1]);
            return -ENOENT;
        }
        m_ends.append({sv[0], sv[1]});
    }
    Wake();
    return sv[0];
}

void CFakeHidNode::CloseStationEnd(int fd)
{
    {
        QMutexLocker locker(&m_mutex);
        for (int i = 0; i < m_ends.size(); ++i) {
            if (m_ends[i].nStationFd == fd) {
                m_closedFarFds.append(m_ends[i].nFarFd); // closed by the node thread
                m_ends.removeAt(i);
                break;
            }
        }
    }
    ::close(fd);
    Wake();
}

void CFakeHidNode::Unplug()
{
    {
        QMutexLocker locker(&m_mutex);
        m_bPresent = false;
        for (const End &end : qAsConst(m_ends)) {
            // The station's end sees the hang-up now; the descriptor itself is
            // closed by the node thread, which may still be polling it.
            ::shutdown(end.nFarFd, SHUT_RDWR);
            m_closedFarFds.append(end.nFarFd);
        }
        m_ends.clear();
        m_outputCond.wakeAll();
        m_passCond.wakeAll(); // blocked calls fail as on a removal
    }
    Wake();
}

void CFakeHidNode::Run()
{
    QVector<char> buf(MAX_REPORT);
    while (!m_bStop.load()) {
        QVector<struct pollfd> fds;
        fds.append({m_nWakeFd, POLLIN, 0});
        {
            QMutexLocker locker(&m_mutex);
            for (int fd : qAsConst(m_closedFarFds))
                ::close(fd);
            m_closedFarFds.clear();
            for (const End &end : qAsConst(m_ends))
                fds.append({end.nFarFd, POLLIN, 0});
        }
        const int n = ::poll(fds.data(), nfds_t(fds.size()), -1);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[0].revents & POLLIN) {
            uint64_t value;
            ssize_t r = ::read(m_nWakeFd, &value, sizeof(value));
            Q_UNUSED(r);
        }
        for (int i = 1; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            const int nFar = fds[i].fd;
            bool bGone = false;
            if (fds[i].revents & POLLIN) {
                const ssize_t nRead = ::recv(nFar, buf.data(), size_t(buf.size()), MSG_DONTWAIT);
                if (nRead > 0) {
                    const QByteArray report(buf.constData(), int(nRead));
                    OutputHandler handler;
                    {
                        QMutexLocker locker(&m_mutex);
                        m_outputs.append(report);
                        if (m_outputs.size() > MAX_KEPT_OUTPUTS)
                            m_outputs.removeFirst(); // long runs keep the recent ones
                        handler = m_handler;
                        if (!handler) {
                            m_pending.append(report);
                            m_outputCond.wakeAll();
                        }
                    }
                    if (handler)
                        handler(*this, report);
                    ++m_nWritesTaken;
                    continue;
                }
                bGone = nRead == 0 || (errno != EAGAIN && errno != EINTR);
            } else {
                bGone = (fds[i].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
            }
            if (bGone) {
                // The station closed its end: forget this descriptor.
                QMutexLocker locker(&m_mutex);
                for (int k = 0; k < m_ends.size(); ++k) {
                    if (m_ends[k].nFarFd == nFar) {
                        m_closedFarFds.append(nFar);
                        m_ends.removeAt(k);
                        break;
                    }
                }
            }
        }
    }
}
