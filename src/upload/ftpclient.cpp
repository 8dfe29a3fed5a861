#include "ftpclient.h"

#include "stationclock.h"
#include "workthread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <QtDebug>

#include <curl/curl.h>

#include <algorithm>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <set>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bounds of one transfer: the connection (with the greeting and the login),
// each reply of the server, and a transfer that stops moving.
constexpr int kConnectTimeoutMs = 5000;
constexpr int kReplyTimeoutMs = 15000;
constexpr int kStallTimeoutMs = 15000;
// The least rate at which a log is taken to reach the server. libcurl hands
// a log of a few dozen KiB to the socket at once and then waits for the
// server's final reply while the server may still be reading it from a slow
// link: that wait needs the time the log takes at this rate on top of the
// reply bound. libcurl has one bound for every reply of a transfer, so the
// other replies of the transfer get the longer bound too.
constexpr qint64 kLeastRateBytesPerSecond = 1024;
// The name a log has on the server until the whole of it is there. Not
// ".xml": whoever looks for logs there passes it over, and the next upload
// of the same log writes over one that a killed station left.
const char *const kPartSuffix = ".part";
// How long Shutdown waits for the worker (it is woken at once).
constexpr int kStopWaitMs = 5000;
// Longest sleep of the transfer loop between two looks at its sockets.
// libcurl (7.88) sets no timer while it opens the passive data connection,
// so a longer sleep would hold each such transfer for the whole of it.
constexpr int kPollMs = 10;

void InitCurlOnce()
{
    static std::once_flag once;
    // Never cleaned up: the library's globals live as long as the process.
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool ValidPort(int nPort)
{
    return nPort >= 1 && nPort <= 65535;
}

// The bound of each server reply of the transfer of nSize bytes, in whole
// seconds (libcurl's unit), rounded up.
long ReplyTimeoutSeconds(qint64 nSize)
{
    const qint64 nMs = kReplyTimeoutMs + std::max<qint64>(0, nSize) * 1000 / kLeastRateBytesPerSecond;
    const qint64 nScaled = CStationClock::Timeout(int(std::min<qint64>(nMs, std::numeric_limits<int>::max())));
    return long(std::max<qint64>(1, (nScaled + 999) / 1000));
}

bool HasLineBreakOrNul(const QString &str)
{
    return str.contains(QLatin1Char('\r')) || str.contains(QLatin1Char('\n')) || str.contains(QChar(0));
}

QString SystemReason(int nErrno)
{
    return QString::fromLocal8Bit(std::strerror(nErrno));
}

// A descriptor closed when it goes out of scope.
class CFd
{
public:
    explicit CFd(int fd = -1) : m_fd(fd) {}
    ~CFd() { Reset(); }
    CFd(const CFd &) = delete;
    CFd &operator=(const CFd &) = delete;
    int Get() const { return m_fd; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// Whether the entry strName of the folder dir is a link (not followed).
bool IsLinkAt(int dir, const QByteArray &strName)
{
    struct stat st{};
    return ::fstatat(dir, strName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

CFtpClient::EResult Classify(CURLcode code)
{
    switch (code) {
    case CURLE_OK:
        return CFtpClient::EResult::Done;
    case CURLE_URL_MALFORMAT:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_ACCEPT_TIMEOUT:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
        return CFtpClient::EResult::Unreachable;
    case CURLE_LOGIN_DENIED:
        return CFtpClient::EResult::LoginRefused;
    case CURLE_QUOTE_ERROR:
        return CFtpClient::EResult::RenameRefused;
    case CURLE_ABORTED_BY_CALLBACK:
        return CFtpClient::EResult::Stopped;
    default:
        return CFtpClient::EResult::Refused;
    }
}

} // namespace

// One upload waiting or running: its id, path and, once its transfer has
// started, the local file.
struct CFtpClient::SJob
{
    int nId = 0;
    QString strPath;
    // It may be on the server already (sent before, its settling not
    // known): the server is asked for the size of its final name first.
    bool bMayBeThere = false;
    std::unique_ptr<QFile> file;
};

// The transfer thread: takes one transfer at a time, runs it with libcurl and
// posts the outcome to the client's thread. Connections stay in the multi
// handle's cache from one transfer to the next.
struct CFtpClient::SWorker
{
    struct STransfer
    {
        int nId = 0;
        QByteArray url;      // of the temporary name
        QByteArray finalUrl; // of the log's own name
        bool bMayBeThere = false;
        QByteArray name;     // the file name the log takes once it is whole
        QByteArray partName; // the temporary name
        QByteArray user;
        QByteArray password;
        QFile *pFile = nullptr; // owned by the client's current job
        qint64 nSize = 0;
    };

    explicit SWorker(CFtpClient *pClient)
        : m_pClient(pClient)
    {
        InitCurlOnce();
        m_multi = curl_multi_init();
        m_thread = std::make_unique<CWorkThread>(&SWorker::Run, this);
        m_thread->Start(false);
    }

    ~SWorker()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bStop = true;
        }
        m_cv.notify_all();
        curl_multi_wakeup(m_multi);
        m_thread->wait(QDeadlineTimer(kStopWaitMs));
        m_thread.reset();
        // Closing a kept connection says QUIT and waits for the answer; a
        // server that hangs would hold the program's end for the whole reply
        // time-out. Shut the sockets first: the QUIT then fails at once.
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (curl_socket_t socket : m_sockets)
                ::shutdown(socket, SHUT_RDWR);
        }
        curl_multi_cleanup(m_multi);
    }

    void Post(STransfer transfer)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_next = std::move(transfer);
            m_bHasWork = true;
        }
        m_cv.notify_all();
    }

    static void Run(void *pArg) { static_cast<SWorker *>(pArg)->Loop(); }

    static size_t Read(char *pBuffer, size_t nSize, size_t nCount, void *pArg)
    {
        const qint64 n = static_cast<QFile *>(pArg)->read(pBuffer, qint64(nSize * nCount));
        return n < 0 ? size_t(CURL_READFUNC_ABORT) : size_t(n);
    }

    static curl_socket_t OpenSocket(void *pArg, curlsocktype, curl_sockaddr *pAddress)
    {
        const curl_socket_t socket = ::socket(pAddress->family, pAddress->socktype | SOCK_CLOEXEC, pAddress->protocol);
        if (socket != CURL_SOCKET_BAD) {
            auto *pWorker = static_cast<SWorker *>(pArg);
            std::lock_guard<std::mutex> lock(pWorker->m_mutex);
            pWorker->m_sockets.insert(socket);
        }
        return socket;
    }

    static int CloseSocket(void *pArg, curl_socket_t socket)
    {
        auto *pWorker = static_cast<SWorker *>(pArg);
        {
            std::lock_guard<std::mutex> lock(pWorker->m_mutex);
            pWorker->m_sockets.erase(socket);
        }
        return ::close(socket);
    }

    bool StopAsked()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_bStop;
    }

    // Called by libcurl during the transfer, also at least once a second
    // while it waits, without returning, for the final reply and the answers
    // to the rename: a stop ends those waits too.
    static int Progress(void *pArg, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        return static_cast<SWorker *>(pArg)->StopAsked() ? 1 : 0;
    }

    void Loop()
    {
        CURL *easy = curl_easy_init();
        for (;;) {
            STransfer transfer;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_cv.wait(lock, [this] { return m_bStop || m_bHasWork; });
                if (m_bStop)
                    break;
                transfer = std::move(m_next);
                m_bHasWork = false;
            }
            QString strMessage;
            const EResult result = Transfer(easy, transfer, &strMessage);
            CFtpClient *pClient = m_pClient;
            const int nId = transfer.nId;
            QMetaObject::invokeMethod(
                pClient, [pClient, nId, result, strMessage] { pClient->OnTransferDone(nId, result, strMessage); },
                Qt::QueuedConnection);
        }
        curl_easy_cleanup(easy);
    }

    // The options every exchange of a transfer has: the account, the bounds
    // (each reply nReplyS seconds), the stop and the sockets.
    void SetCommon(CURL *easy, const STransfer &transfer, const QByteArray &url, long nReplyS, char *pError)
    {
        curl_easy_reset(easy);
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "ftp");
        curl_easy_setopt(easy, CURLOPT_URL, url.constData());
        curl_easy_setopt(easy, CURLOPT_USERNAME, transfer.user.constData());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, transfer.password.constData());
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, long(CStationClock::Timeout(kConnectTimeoutMs)));
        curl_easy_setopt(easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, nReplyS);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &SWorker::Progress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, pError);
        curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &SWorker::OpenSocket);
        curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, this);
        curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, &SWorker::CloseSocket);
        curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, this);
    }

    // Runs the exchange set up on easy to its end, or until a stop.
    CURLcode Perform(CURL *easy)
    {
        curl_multi_add_handle(m_multi, easy);
        bool bStopped = false;
        for (;;) {
            int nRunning = 0;
            curl_multi_perform(m_multi, &nRunning);
            if (nRunning == 0)
                break;
            if (StopAsked()) {
                bStopped = true;
                break;
            }
            curl_multi_poll(m_multi, nullptr, 0, kPollMs, nullptr);
        }
        CURLcode code = bStopped ? CURLE_ABORTED_BY_CALLBACK : CURLE_OK;
        int nLeft = 0;
        while (CURLMsg *pMsg = curl_multi_info_read(m_multi, &nLeft)) {
            if (pMsg->msg == CURLMSG_DONE && pMsg->easy_handle == easy && !bStopped)
                code = pMsg->data.result;
        }
        curl_multi_remove_handle(m_multi, easy);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
        return code;
    }

    static QString Message(CURLcode code, const char *szError)
    {
        const QString strDetail = QString::fromUtf8(szError).trimmed();
        return strDetail.isEmpty() ? QString::fromUtf8(curl_easy_strerror(code)) : strDetail;
    }

    // Asks the server the size of the log's own name (SIZE). Present: the
    // same size as the local log; Done: anything else (no such file, another
    // size, a server without SIZE or that refuses it): it is sent. A server
    // that cannot be reached, a refused login or a stop end the transfer.
    EResult Probe(CURL *easy, const STransfer &transfer, QString *pMessage)
    {
        char szError[CURL_ERROR_SIZE] = {};
        SetCommon(easy, transfer, transfer.finalUrl, ReplyTimeoutSeconds(0), szError);
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
        const CURLcode code = Perform(easy);
        if (code == CURLE_OK) {
            // -1 when the server gave no size.
            curl_off_t nLength = -1;
            if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &nLength) != CURLE_OK)
                nLength = -1;
            return nLength >= 0 && qint64(nLength) == transfer.nSize ? EResult::Present : EResult::Done;
        }
        const EResult result = Classify(code);
        if (result == EResult::Unreachable || result == EResult::LoginRefused || result == EResult::Stopped) {
            *pMessage = Message(code, szError);
            return result;
        }
        return EResult::Done;
    }

    EResult Transfer(CURL *easy, const STransfer &transfer, QString *pMessage)
    {
        if (transfer.bMayBeThere) {
            const EResult probed = Probe(easy, transfer, pMessage);
            if (probed != EResult::Done)
                return probed;
        }
        char szError[CURL_ERROR_SIZE] = {};
        SetCommon(easy, transfer, transfer.url, ReplyTimeoutSeconds(transfer.nSize), szError);
        curl_easy_setopt(easy, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, &SWorker::Read);
        curl_easy_setopt(easy, CURLOPT_READDATA, transfer.pFile);
        curl_easy_setopt(easy, CURLOPT_INFILESIZE_LARGE, curl_off_t(transfer.nSize));
        // Once the server has taken the whole file under the temporary name
        // (a transfer cut short never gets here), it takes the log's name,
        // in the folder of the transfer. The delete, whose failure is
        // ignored ("*"), serves servers that rename onto a free name only.
        curl_slist *pRename = nullptr;
        pRename = curl_slist_append(pRename, QByteArray("*DELE " + transfer.name).constData());
        pRename = curl_slist_append(pRename, QByteArray("RNFR " + transfer.partName).constData());
        pRename = curl_slist_append(pRename, QByteArray("RNTO " + transfer.name).constData());
        curl_easy_setopt(easy, CURLOPT_POSTQUOTE, pRename);
        // Make each missing folder and change into it, whatever the server
        // answered to the make (another station may have made it meanwhile).
        curl_easy_setopt(easy, CURLOPT_FTP_CREATE_MISSING_DIRS, long(CURLFTP_CREATE_DIR_RETRY));
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                         long(std::max(1, CStationClock::Timeout(kStallTimeoutMs) / 1000)));

        const CURLcode code = Perform(easy);
        curl_easy_setopt(easy, CURLOPT_POSTQUOTE, nullptr);
        curl_slist_free_all(pRename);
        if (code != CURLE_OK) {
            *pMessage = Message(code, szError);
            if (code == CURLE_QUOTE_ERROR)
                *pMessage = QStringLiteral("the server refused to rename %1 to %2 (CURLE_QUOTE_ERROR: %3)")
                                .arg(QString::fromUtf8(transfer.partName), QString::fromUtf8(transfer.name),
                                     *pMessage);
        }
        return Classify(code);
    }

    CFtpClient *m_pClient;
    CURLM *m_multi = nullptr;
    std::unique_ptr<CWorkThread> m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    STransfer m_next;
    bool m_bHasWork = false;
    bool m_bStop = false;
    std::set<curl_socket_t> m_sockets; // open sockets of the transfers and the kept connections
};

CFtpClient::CFtpClient(const QString &strHost, int nPort, const QString &strUser, const QString &strPassword,
                       QObject *parent)
    : QObject(parent), m_strHost(strHost), m_nPort(nPort), m_strUser(strUser), m_strPassword(strPassword)
{
    // Nothing is connected here: the first transfer connects. Files still
    // pending when the program quits are named in the run log.
    if (QCoreApplication *pApp = QCoreApplication::instance())
        connect(pApp, &QCoreApplication::aboutToQuit, this, [this] { Shutdown(); });
}

CFtpClient::~CFtpClient()
{
    Shutdown();
}

bool CFtpClient::IsIdle() const
{
    return !m_current && m_queue.empty() && !m_bAsking;
}

bool CFtpClient::IsSafeRelativePath(const QString &strRelativePath, QString *pReason)
{
    auto refuse = [pReason](const char *szWhy) {
        if (pReason)
            *pReason = QString::fromLatin1(szWhy);
        return false;
    };
    if (!strRelativePath.startsWith(QLatin1Char('/')))
        return refuse("it does not begin with \"/\"");
    if (strRelativePath.contains(QLatin1Char('\\')))
        return refuse("it holds a backslash");
    if (HasLineBreakOrNul(strRelativePath))
        return refuse("it holds a line break or NUL");
    const QStringList parts = strRelativePath.mid(1).split(QLatin1Char('/'));
    for (const QString &strPart : parts) {
        if (strPart.isEmpty())
            return refuse("it has an empty part");
        if (strPart == QLatin1String(".") || strPart == QLatin1String(".."))
            return refuse("it has a \".\" or \"..\" part");
    }
    return true;
}

CFtpClient::ELocal CFtpClient::OpenLocal(const QString &strRelativePath, std::unique_ptr<QFile> *pFile,
                                         QString *pReason) const
{
    QString strReason;
    if (!IsSafeRelativePath(strRelativePath, &strReason)) {
        qWarning() << "FTP upload refused for" << strRelativePath << ":" << strReason;
        return ELocal::Refused;
    }
    auto refuse = [&strRelativePath](const QString &strWhy) {
        qWarning().noquote() << "FTP upload refused for" << strRelativePath << ":" << strWhy;
        return ELocal::Refused;
    };
    // Level by level from the working folder, following no link: a link
    // anywhere below it (Data/ itself too) is refused, and what is sent is
    // what this descriptor reads, never a file opened again by its name.
    CFd fd(::open(QFile::encodeName(QDir::currentPath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() < 0) {
        *pReason = SystemReason(errno);
        return ELocal::Unopenable;
    }
    const QStringList parts = strRelativePath.mid(1).split(QLatin1Char('/'));
    QString strLevel;
    for (int i = 0; i < parts.size(); ++i) {
        const bool bLast = i == parts.size() - 1;
        const QByteArray name = QFile::encodeName(parts.at(i));
        strLevel += QLatin1Char('/') + parts.at(i);
        // The log itself without waiting (a FIFO would wait for a writer).
        const int nFlags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | (bLast ? O_NONBLOCK | O_NOCTTY : O_DIRECTORY);
        const int next = ::openat(fd.Get(), name.constData(), nFlags);
        if (next < 0) {
            const int nErrno = errno;
            if (nErrno == ELOOP || (nErrno == ENOTDIR && IsLinkAt(fd.Get(), name)))
                return refuse(QStringLiteral("%1 is a link, and no link below the working folder is followed")
                                  .arg(strLevel));
            if (nErrno == ENOENT || nErrno == ENOTDIR)
                return ELocal::Gone;
            *pReason = SystemReason(nErrno);
            return ELocal::Unopenable;
        }
        fd.Reset(next);
    }
    // Only a plain file: a folder, a FIFO or a device is no log.
    struct stat st{};
    if (::fstat(fd.Get(), &st) != 0) {
        *pReason = SystemReason(errno);
        return ELocal::Unopenable;
    }
    if (!S_ISREG(st.st_mode))
        return refuse(QStringLiteral("not a plain file"));
    const int nFlags = ::fcntl(fd.Get(), F_GETFL);
    if (nFlags >= 0)
        ::fcntl(fd.Get(), F_SETFL, nFlags & ~O_NONBLOCK);
    if (pFile) {
        auto file = std::make_unique<QFile>();
        if (!file->open(fd.Get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
            *pReason = file->errorString();
            return ELocal::Unopenable;
        }
        fd.Release();
        *pFile = std::move(file);
    }
    return ELocal::Ok;
}

CFtpClient::ELocal CFtpClient::Enqueue(const QString &strRelativePath, bool bResend, bool bMayBeThere)
{
    // Only a check: the file is opened again when its transfer starts, so
    // that waiting uploads hold no descriptors however many there are.
    QString strReason;
    const ELocal local = OpenLocal(strRelativePath, nullptr, &strReason);
    if (local == ELocal::Gone) {
        if (bResend)
            qWarning() << "FTP upload dropped:" << strRelativePath << "no longer exists on the station";
        else
            qWarning() << "FTP upload: no file" << QDir::currentPath() + strRelativePath << "to send";
    }
    if (local == ELocal::Unopenable) {
        qWarning() << "FTP upload: cannot open" << QDir::currentPath() + strRelativePath << ":" << strReason
                   << (bResend ? "- still pending:" : "- not sent:") << strRelativePath;
        emit UploadFailed(strRelativePath, strReason);
        return local;
    }
    if (local != ELocal::Ok) {
        emit UploadDropped(strRelativePath);
        return local;
    }
    auto job = std::make_unique<SJob>();
    job->nId = ++m_nLastId;
    job->strPath = strRelativePath;
    job->bMayBeThere = bMayBeThere;
    m_mapPending.insert(job->nId, strRelativePath);
    m_queue.push_back(std::move(job));
    StartNext();
    return ELocal::Ok;
}

QString CFtpClient::UploadFile(const QString &strRelativePath)
{
    Enqueue(strRelativePath, false, false);
    return QStringLiteral("ftp://") + m_strHost + strRelativePath;
}

QString CFtpClient::UploadOwedFile(const QString &strRelativePath)
{
    Enqueue(strRelativePath, false, true);
    return QStringLiteral("ftp://") + m_strHost + strRelativePath;
}

bool CFtpClient::OpenForTransfer(SJob &job)
{
    QString strReason;
    const ELocal local = OpenLocal(job.strPath, &job.file, &strReason);
    if (local == ELocal::Ok)
        return true;
    if (local == ELocal::Unopenable) {
        // It may open next time (a descriptor shortage, its mode): it stays
        // pending for the next re-send, and the uploads behind it go on.
        qWarning() << "FTP upload: cannot open" << QDir::currentPath() + job.strPath << ":" << strReason
                   << "- still pending:" << job.strPath;
        emit UploadFailed(job.strPath, strReason);
        return false;
    }
    if (local == ELocal::Gone)
        qWarning() << "FTP upload dropped:" << job.strPath << "no longer exists on the station";
    m_mapPending.remove(job.nId);
    emit UploadDropped(job.strPath);
    return false;
}

void CFtpClient::StartNext()
{
    if (m_bShutdown || m_bAsking || m_current)
        return;
    while (!m_current && !m_queue.empty()) {
        std::unique_ptr<SJob> job = std::move(m_queue.front());
        m_queue.pop_front();
        if (OpenForTransfer(*job))
            m_current = std::move(job);
    }
    if (!m_current)
        return;
    const int nId = m_current->nId;

    auto failLater = [this, nId](EResult result, const QString &strMessage) {
        QMetaObject::invokeMethod(
            this, [this, nId, result, strMessage] { OnTransferDone(nId, result, strMessage); },
            Qt::QueuedConnection);
    };
    QUrl host;
    host.setHost(m_strHost, QUrl::StrictMode);
    if (m_strHost.isEmpty()) {
        failLater(EResult::Unreachable, QStringLiteral("no FTP host (FtpServer/Url is empty)"));
        return;
    }
    if (!host.isValid() || host.host().isEmpty()) {
        failLater(EResult::Unreachable, QStringLiteral("\"%1\" is not a host name").arg(m_strHost));
        return;
    }
    if (!ValidPort(m_nPort)) {
        failLater(EResult::Unreachable, QStringLiteral("FTP port %1 is not a port (1 to 65535)").arg(m_nPort));
        return;
    }
    if (HasLineBreakOrNul(m_strUser) || HasLineBreakOrNul(m_strPassword)) {
        failLater(EResult::LoginRefused, QStringLiteral("the FTP user or password holds a line break or NUL"));
        return;
    }

    // ftp://host:port/%2F/Data/A/log.xml.part: from the server's root
    // ("%2F"), then folder by folder, to the temporary name.
    QByteArray hostPart = host.host(QUrl::FullyEncoded).toUtf8();
    if (hostPart.contains(':'))
        hostPart = '[' + hostPart + ']';
    QByteArray url = "ftp://" + hostPart + ':' + QByteArray::number(m_nPort) + "/%2F";
    const QStringList parts = m_current->strPath.mid(1).split(QLatin1Char('/'));
    for (const QString &strPart : parts.mid(0, parts.size() - 1))
        url += '/' + QUrl::toPercentEncoding(strPart);
    const QByteArray name = parts.last().toUtf8();
    const QByteArray partName = name + kPartSuffix;
    const QByteArray finalUrl = url + '/' + QUrl::toPercentEncoding(parts.last());
    url += '/' + QUrl::toPercentEncoding(QString::fromUtf8(partName));

    if (!m_worker)
        m_worker = std::make_unique<SWorker>(this);
    SWorker::STransfer transfer;
    transfer.nId = nId;
    transfer.url = url;
    transfer.finalUrl = finalUrl;
    transfer.bMayBeThere = m_current->bMayBeThere;
    transfer.name = name;
    transfer.partName = partName;
    transfer.user = m_strUser.toUtf8();
    transfer.password = m_strPassword.toUtf8();
    transfer.pFile = m_current->file.get();
    transfer.nSize = m_current->file->size();
    m_worker->Post(std::move(transfer));
}

void CFtpClient::OnTransferDone(int nId, EResult result, const QString &strMessage)
{
    if (m_bShutdown)
        return;
    m_lastResult = result;
    m_strLastMessage = strMessage;
    FtpCommandFinished(nId, result != EResult::Done && result != EResult::Present);
}

void CFtpClient::FtpCommandFinished(int commandId, bool error)
{
    if (!m_current || m_current->nId != commandId)
        return;
    const std::unique_ptr<SJob> job = std::move(m_current);
    if (!error) {
        m_mapPending.remove(commandId);
        if (m_lastResult == EResult::Present)
            qInfo().noquote() << QStringLiteral("FTP upload: %1 is on the server already, of the same size (%2 "
                                                "bytes); it is not sent again")
                                     .arg(job->strPath)
                                     .arg(job->file ? job->file->size() : -1);
        else
            qInfo() << "FTP upload done:" << job->strPath;
        emit UploadDelivered(job->strPath);
        ReuploadPending();
        StartNext();
        return;
    }
    if (m_lastResult != EResult::Stopped)
        emit UploadFailed(job->strPath, m_strLastMessage);
    switch (m_lastResult) {
    case EResult::Unreachable:
        // Everything queued behind would fail the same way: one box for all.
        qWarning() << "FTP server unreachable:" << m_strLastMessage << "- still pending:" << job->strPath;
        m_queue.clear();
        AskRetry();
        break;
    case EResult::LoginRefused:
        qWarning() << "FTP login refused:" << m_strLastMessage << "- still pending:" << job->strPath;
        m_queue.clear();
        StartNext();
        break;
    case EResult::RenameRefused:
        // The whole log is on the server under its temporary name, which
        // the next upload of it writes over.
    case EResult::Refused:
    case EResult::Done:
    case EResult::Present:
        qWarning() << "FTP upload of" << job->strPath << "failed:" << m_strLastMessage << "- still pending";
        StartNext();
        break;
    case EResult::Stopped:
        break;
    }
}

void CFtpClient::ReuploadPending()
{
    QSet<int> active;
    for (const auto &job : m_queue)
        active.insert(job->nId);
    if (m_current)
        active.insert(m_current->nId);
    const QList<int> ids = m_mapPending.keys();
    for (int nId : ids) {
        if (active.contains(nId) || !m_mapPending.contains(nId))
            continue;
        // Under a new id; a file that exists but does not open now keeps
        // its old one.
        if (Enqueue(m_mapPending.value(nId), true, true) != ELocal::Unopenable)
            m_mapPending.remove(nId);
    }
}

void CFtpClient::AskRetry()
{
    m_bAsking = true;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Error!"),
                    tr("Connect to the FTP server error, please check the internet and retry or contact the IT "
                       "department..."),
                    QMessageBox::Retry | QMessageBox::Cancel, nullptr);
    const int nAnswer = box.exec();
    m_bAsking = false;
    if (m_bShutdown)
        return;
    if (nAnswer == QMessageBox::Retry)
        ReuploadPending();
    StartNext();
}

void CFtpClient::Shutdown()
{
    if (m_bShutdown)
        return;
    m_bShutdown = true;
    for (const QString &strPath : qAsConst(m_mapPending))
        qWarning() << "FTP upload not done:" << strPath;
    m_worker.reset();
    m_current.reset();
    m_queue.clear();
}
