#include "wholefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <cerrno>

#include <sys/stat.h>

namespace {

// The reason of a failed write: errno as it was right after the call (a
// short write sets no error text on the file), else the file's own text.
QString Reason(int nErrno, const QSaveFile &file)
{
    if (nErrno != 0)
        return qt_error_string(nErrno);
    const QString strText = file.errorString();
    return strText.isEmpty() ? QStringLiteral("the file cannot be written") : strText;
}

} // namespace

bool WriteWholeFile(const QString &strPath, const QByteArray &data, QString *pError)
{
    QString strError;
    QSaveFile file(strPath);
    if (!file.open(QIODevice::WriteOnly)) {
        strError = file.errorString();
    } else {
        // commit() flushes the write buffer itself but ignores a failure of
        // that flush (the file would be renamed into place short or empty):
        // the flush is done and checked here, before the commit.
        errno = 0;
        const qint64 nWritten = file.write(data);
        int nErrno = errno;
        if (nWritten != data.size()) {
            strError = Reason(nErrno, file);
        } else {
            errno = 0;
            const bool bFlushed = file.flush();
            nErrno = errno;
            if (!bFlushed)
                strError = Reason(nErrno, file);
            else if (file.error() != QFileDevice::NoError)
                strError = Reason(0, file);
        }
        if (strError.isEmpty()) {
            if (!file.commit())
                strError = Reason(0, file);
        } else {
            file.cancelWriting();
        }
    }
    if (pError)
        *pError = strError;
    return strError.isEmpty();
}

bool MakeFolderPath(const QString &strFolder, QString *pError)
{
    const QString strPath = QDir::cleanPath(QDir::current().absoluteFilePath(strFolder));
    // The levels from the top down: "/a", "/a/b", ... (QDir::mkpath sets no
    // errno the caller could rely on, and does not say which level failed).
    QStringList levels;
    for (QString strLevel = strPath;;) {
        levels.prepend(strLevel);
        const QString strUp = QFileInfo(strLevel).path();
        if (strUp == strLevel)
            break;
        strLevel = strUp;
    }
    for (const QString &strLevel : qAsConst(levels)) {
        if (QFileInfo(strLevel).isDir())
            continue;
        if (::mkdir(QFile::encodeName(strLevel).constData(), 0777) == 0)
            continue;
        const int nErrno = errno;
        // Made meanwhile by another thread or process.
        if (nErrno == EEXIST && QFileInfo(strLevel).isDir())
            continue;
        if (pError)
            *pError = QStringLiteral("the folder %1 cannot be made: %2").arg(strLevel, qt_error_string(nErrno));
        return false;
    }
    if (pError)
        pError->clear();
    return true;
}
