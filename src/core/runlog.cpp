#include "runlog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>

namespace {

enum class ELogState { NotInstalled, Open, OpenFailed, Closed };

struct SRunLog
{
    QMutex mutex;
    QFile file;
    QTextStream stream;
    ELogState state = ELogState::NotInstalled;
};

// Allocated once and never destroyed: threads that log while the process
// exits must not meet a destroyed file.
SRunLog &Log()
{
    static SRunLog *log = new SRunLog;
    return *log;
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
    static const QByteArray kw("operator");
    for (int pos = head.lastIndexOf(kw); pos >= 0; pos = pos > 0 ? head.lastIndexOf(kw, pos - 1) : -1) {
        const int after = pos + kw.size();
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
    const QString name = safePrefix
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss-zzz"))
        + QStringLiteral(".txt");
    QDir().mkpath(folder);

    SRunLog &log = Log();
    {
        QMutexLocker lock(&log.mutex);
        if (log.file.isOpen()) {
            log.stream.flush();
            log.file.close();
        }
        log.file.setFileName(folder + name);
        const bool opened = log.file.open(QIODevice::WriteOnly | QIODevice::Append);
        log.stream.setDevice(opened ? &log.file : nullptr);
        log.state = opened ? ELogState::Open : ELogState::OpenFailed;
    }
    qInstallMessageHandler(LogMessageHandler);
    return 0;
}

int CloseLogFile()
{
    SRunLog &log = Log();
    QMutexLocker lock(&log.mutex);
    if (log.file.isOpen()) {
        log.stream.flush();
        log.file.close();
    }
    log.stream.setDevice(nullptr);
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

    const QString where = QString::fromLocal8Bit(context.file ? context.file : "")
        + QLatin1Char('\\') + LogFunctionName(context.function) + QLatin1Char(':')
        + QString::number(context.line);

    bool written = false;
    SRunLog &log = Log();
    {
        QMutexLocker lock(&log.mutex);
        if (log.state == ELogState::Open || log.state == ELogState::OpenFailed) {
            const QString line = QLatin1Char('[')
                + QTime::currentTime().toString(QStringLiteral("hh:mm:ss:zzz"))
                + QStringLiteral("][") + QLatin1String(LevelText(type)) + QStringLiteral("](")
                + where + QStringLiteral(")-") + message;
            if (log.state == ELogState::Open) {
                log.stream << line << '\n';
                log.stream.flush();
            } else {
                // The file could not be opened: keep the trace on stderr.
                std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
                std::fflush(stderr);
            }
            written = true;
        }
    }

    if (fatal) {
        // The reason of the stop is the one line that must not be lost.
        if (!written) {
            std::fprintf(stderr, "[Fatal](%s)-%s\n", where.toLocal8Bit().constData(),
                         message.toLocal8Bit().constData());
            std::fflush(stderr);
        }
        std::abort();
    }
    t_inHandler = false;
}
