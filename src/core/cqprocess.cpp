#include "cqprocess.h"

#include <QDir>
#include <QFile>
#include <QtDebug>

namespace {

QByteArray ReadProcFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.read(4096);
}

// The file name of a program path, Windows paths (Wine) included.
QString FileNameOf(const QString &path)
{
    const int cut = qMax(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\')));
    return path.mid(cut + 1);
}

} // namespace

CQProcess::CQProcess(QObject *parent)
    : QObject(parent), m_bListed(false)
{
}

void CQProcess::StartTaskList(const QString &exeName)
{
    m_listing.clear();
    m_bListed = false;
    if (exeName.isEmpty())
        return;
    QString bare = exeName;
    if (bare.endsWith(QLatin1String(".exe")))
        bare.chop(4);

    const QDir proc(QStringLiteral("/proc"));
    if (!proc.exists())
        return;
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : entries) {
        bool isPid = false;
        pid.toUInt(&isPid);
        if (!isPid)
            continue;
        const QString base = proc.path() + QLatin1Char('/') + pid;
        // comm holds at most 15 characters; the first argument has the whole name.
        const QString comm = QString::fromLocal8Bit(ReadProcFile(base + QStringLiteral("/comm"))).trimmed();
        const QByteArray cmdline = ReadProcFile(base + QStringLiteral("/cmdline"));
        const QString argv0 = FileNameOf(QString::fromLocal8Bit(cmdline.left(cmdline.indexOf('\0'))));
        for (const QString &name : {comm, argv0}) {
            if (!name.isEmpty() && (name == exeName || name == bare)) {
                m_listing << name;
                break;
            }
        }
    }
    m_bListed = true;
}

bool CQProcess::CheckProcessRunning(const QString &exeName)
{
    qInfo() << "CheckProcessRunning" << ":In";
    if (!m_bListed) {
        qInfo() << "CheckProcessRunning" << ":Time Out End";
        return false;
    }
    qInfo() << "CheckProcessRunning" << ":Match End";
    QString bare = exeName;
    if (bare.endsWith(QLatin1String(".exe")))
        bare.chop(4);
    for (const QString &name : m_listing) {
        if (!name.isEmpty() && (name == exeName || name == bare))
            return true;
    }
    return false;
}
