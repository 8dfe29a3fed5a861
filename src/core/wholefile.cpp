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

bool AppendWhole(QFile &file, const QByteArray &data, QString *pError)
{
    const qint64 nBefore = file.size();
    errno = 0;
    qint64 nWritten = file.write(data);
    int nErrno = errno;
    if (nWritten >= 0 && nWritten < data.size()) {
        errno = 0;
        const qint64 nRest = file.write(data.constData() + nWritten, data.size() - nWritten);
        nErrno = errno;
        nWritten = nRest < 0 ? -1 : nWritten + nRest;
    }
    if (nWritten == data.size()) {
        if (pError)
            pError->clear();
        return true;
    }
    QString strError = nErrno != 0 ? qt_error_string(nErrno) : file.errorString();
    if (file.size() != nBefore && !file.resize(nBefore))
        strError += QStringLiteral("; the part written stays: ") + file.errorString();
    if (pError)
        *pError = strError;
    return false;
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

EFileRead CheckFileSize(const QString &strPath, qint64 nMaxBytes, QString *pError)
{
    QString strError;
    EFileRead result = EFileRead::Read;
    struct stat st {};
    if (::stat(QFile::encodeName(strPath).constData(), &st) != 0) {
        const int nErrno = errno;
        if (nErrno == ENOENT || nErrno == ENOTDIR) {
            result = EFileRead::Missing;
            strError = QStringLiteral("%1 does not exist").arg(strPath);
        } else {
            result = EFileRead::Unreadable;
            strError = QStringLiteral("%1 cannot be read: %2").arg(strPath, qt_error_string(nErrno));
        }
    } else if (!S_ISREG(st.st_mode)) {
        result = EFileRead::Unreadable;
        strError = QStringLiteral("%1 is not a plain file").arg(strPath);
    } else if (qint64(st.st_size) > nMaxBytes) {
        result = EFileRead::TooLarge;
        strError = QStringLiteral("%1 is %2 bytes, more than the %3 bytes such a file may have")
                       .arg(strPath)
                       .arg(qint64(st.st_size))
                       .arg(nMaxBytes);
    }
    if (pError)
        *pError = strError;
    return result;
}

EFileRead ReadWholeFile(const QString &strPath, qint64 nMaxBytes, QByteArray *pData, QString *pError)
{
    QByteArray data;
    QString strError;
    EFileRead result = CheckFileSize(strPath, nMaxBytes, &strError);
    if (result == EFileRead::Read) {
        QFile file(strPath);
        if (!file.open(QIODevice::ReadOnly)) {
            result = EFileRead::Unreadable;
            strError = QStringLiteral("%1 cannot be read: %2").arg(strPath, file.errorString());
        } else {
            // In pieces: read() with the bound would reserve all of it.
            data.reserve(int(qMin(file.size(), nMaxBytes)));
            for (;;) {
                const QByteArray chunk = file.read(qMin<qint64>(1 << 20, nMaxBytes + 1 - data.size()));
                if (chunk.isEmpty())
                    break;
                data += chunk;
                if (data.size() > nMaxBytes)
                    break;
            }
            if (file.error() != QFileDevice::NoError) {
                result = EFileRead::Unreadable;
                strError = QStringLiteral("%1 cannot be read: %2").arg(strPath, file.errorString());
            } else if (data.size() > nMaxBytes) {
                result = EFileRead::TooLarge;
                strError = QStringLiteral("%1 is more than the %2 bytes such a file may have")
                               .arg(strPath)
                               .arg(nMaxBytes);
            }
        }
    }
    if (result != EFileRead::Read)
        data.clear();
    if (pData)
        *pData = data;
    if (pError)
        *pError = strError;
    return result;
}
