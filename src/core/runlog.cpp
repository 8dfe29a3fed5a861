#include "runlog.h"

#include "localclock.h"
#include "wholefile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMutex>
#include <QTextCodec>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

// OpenFailed and WriteFailed send the lines to stderr: the file could not be
// opened, or a line could not be written to it (a full disk).
enum class ELogState { NotInstalled, Open, OpenFailed, WriteFailed, Closed };

// Lines go to the file unbuffered, one write per line, in the local 8-bit
// encoding. No text stream: it holds on to Qt's locale codec, which is
// deleted while the process exits, and lines are still logged then.
struct SRunLog
{
    QMutex mutex;
    QFile file;
    ELogState state = ELogState::NotInstalled;
};

// Allocated once and never destroyed: threads that log while the process
// exits must not meet a destroyed file.
SRunLog &Log()
{
    static SRunLog *log = new SRunLog;
    return *log;
}

// Whether the local 8-bit encoding is UTF-8, taken when the handler is
// installed. Lines are then encoded without a codec object (Qt deletes its
// codecs and its locale while the process exits, and lines are still logged
// then, from destructors of long-lived objects).
std::atomic<bool> g_utf8Locale{true};

QByteArray Local8Bit(const QString &text)
{
    return g_utf8Locale.load() ? text.toUtf8() : text.toLocal8Bit();
}

QString FromLocal8Bit(const char *text)
{
    return g_utf8Locale.load() ? QString::fromUtf8(text) : QString::fromLocal8Bit(text);
}

// "hh:mm:ss:zzz" of the local time, without the locale machinery.
QByteArray TimeText()
{
    const QTime now = CLocalClock::Now().time();
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d:%03d", now.hour(), now.minute(), now.second(),
                  now.msec());
    return QByteArray(text);
}

void WriteToStderr(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

// Said once on stderr, before the lines that follow there. Written directly:
// a message logged from inside the handler would be dropped.
void SayWhyStderr(const QString &path, const QString &reason)
{
    WriteToStderr("The run log " + Local8Bit(path) + " cannot be written, the lines follow on stderr - "
                  + Local8Bit(reason) + '\n');
}

// A message raised while this thread writes a line (Qt warning about the
// file, say) must not re-enter the non-recursive mutex.
thread_local bool t_inHandler = false;

const char *LevelText(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return "Debug";
    case QtWarningMsg:
        return "Warning";
    case QtCriticalMsg:
        return "Critical";
    case QtFatalMsg:
        return "Fatal";
    default:
        return "Info";
    }
}

bool IsIdentChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'
        || c == '~';
}

// Position of the word "operator" in head (operator<<, operator QString), or -1.
int OperatorPos(const QByteArray &head)
{
    // A plain array: no static object that exit would destroy before the
    // last lines are logged.
    static const char kw[] = "operator";
    constexpr int kwSize = int(sizeof kw) - 1;
    for (int pos = head.lastIndexOf(kw); pos >= 0; pos = pos > 0 ? head.lastIndexOf(kw, pos - 1) : -1) {
        const int after = pos + kwSize;
        const bool startOk = pos == 0 || !IsIdentChar(head.at(pos - 1));
        const bool endOk = after >= head.size() || !IsIdentChar(head.at(after));
        if (startOk && endOk)
            return pos;
    }
    return -1;
}

} // namespace

QString LogFunctionName(const char *signature)
{
    if (!signature)
        return QString();
    QByteArray s(signature);

    // Template notes and lambda bodies: keep the enclosing function.
    for (const char *cut : {" [with ", "::<lambda", "::(anonymous class)", "::<unnamed"}) {
        const int at = s.indexOf(cut);
        if (at >= 0)
            s.truncate(at);
    }
    s = s.trimmed();

    // The parameter list is the last balanced "(...)".
    QByteArray head = s;
    const int close = s.lastIndexOf(')');
    if (close >= 0) {
        int depth = 0;
        for (int i = close; i >= 0; --i) {
            if (s.at(i) == ')') {
                ++depth;
            } else if (s.at(i) == '(' && --depth == 0) {
                head = s.left(i).trimmed();
                break;
            }
        }
    }

    const int op = OperatorPos(head);
    if (op >= 0)
        return QString::fromLatin1(head.mid(op));

    // Explicit template arguments of the name itself.
    if (head.endsWith('>')) {
        int depth = 0;
        for (int i = head.size() - 1; i >= 0; --i) {
            if (head.at(i) == '>') {
                ++depth;
            } else if (head.at(i) == '<' && --depth == 0) {
                head.truncate(i);
                break;
            }
        }
    }

    int begin = head.size();
    while (begin > 0 && IsIdentChar(head.at(begin - 1)))
        --begin;
    return QString::fromLatin1(head.mid(begin));
}

int InstallLogHandler(const QString &prefix)
{
    const QString folder = QDir::currentPath() + QStringLiteral("/Log/");
    QString safePrefix = prefix;
    safePrefix.replace(QLatin1Char('/'), QLatin1Char('_'));
    // The C locale: the system's may write its own digits (Arabic-Indic ones, say).
    const QString name = safePrefix
        + QLocale::c().toString(CLocalClock::Now(), QStringLiteral("yyyyMMdd-hhmmss-zzz"))
        + QStringLiteral(".txt");
    // When the folder cannot be made the open fails too, and the folder's
    // reason is the one that tells (the open would say "No such file or
    // directory" on a read-only disk).
    QString folderError;
    const bool folderMade = MakeFolderPath(folder, &folderError);

    QTextCodec *codec = QTextCodec::codecForLocale();
    g_utf8Locale.store(codec && codec->mibEnum() == 106);

    SRunLog &log = Log();
    {
        QMutexLocker lock(&log.mutex);
        if (log.file.isOpen())
            log.file.close();
        log.file.setFileName(folder + name);
        const bool opened = log.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
        log.state = opened ? ELogState::Open : ELogState::OpenFailed;
        if (!opened)
            SayWhyStderr(log.file.fileName(), folderMade ? log.file.errorString() : folderError);
    }
    qInstallMessageHandler(LogMessageHandler);
    return 0;
}

int CloseLogFile()
{
    SRunLog &log = Log();
    QMutexLocker lock(&log.mutex);
    if (log.file.isOpen())
        log.file.close();
    log.state = ELogState::Closed;
    return 0;
}

QString RunLogFilePath()
{
    SRunLog &log = Log();
    QMutexLocker lock(&log.mutex);
    return log.state == ELogState::Open ? log.file.fileName() : QString();
}

void LogMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool fatal = type == QtFatalMsg;
    if (t_inHandler) {
        if (fatal)
            std::abort();
        return;
    }
    t_inHandler = true;

    const QString where = FromLocal8Bit(context.file ? context.file : "")
        + QLatin1Char('\\') + LogFunctionName(context.function) + QLatin1Char(':')
        + QString::number(context.line);

    bool written = false;
    SRunLog &log = Log();
    {
        QMutexLocker lock(&log.mutex);
        if (log.state == ELogState::Open || log.state == ELogState::OpenFailed
            || log.state == ELogState::WriteFailed) {
            QByteArray line = '[' + TimeText() + "][" + LevelText(type) + "](" + Local8Bit(where)
                + ")-" + Local8Bit(message) + '\n';
            if (log.state == ELogState::Open) {
                // Unbuffered: the line is in the file when write returns. A
                // short write (the disk took part of the line) sets no error
                // text on the file: errno, read at once, tells why.
                errno = 0;
                const qint64 n = log.file.write(line);
                const int nErrno = errno;
                if (n != line.size()) {
                    SayWhyStderr(log.file.fileName(),
                                 nErrno != 0 ? qt_error_string(nErrno) : log.file.errorString());
                    log.file.close();
                    log.state = ELogState::WriteFailed;
                }
            }
            // The file is not there or took no more: keep the trace on stderr.
            if (log.state != ELogState::Open)
                WriteToStderr(line);
            written = true;
        }
    }

    if (fatal) {
        // The reason of the stop is the one line that must not be lost.
        if (!written) {
            std::fprintf(stderr, "[Fatal](%s)-%s\n", Local8Bit(where).constData(),
                         Local8Bit(message).constData());
            std::fflush(stderr);
        }
        std::abort();
    }
    t_inHandler = false;
}
