#include "screenshot.h"

#include "localclock.h"
#include "wholefile.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QtDebug>

namespace {
const char* const kFolder = "Pictures";
} // namespace

QString CScreenshot::RelativePath(const QDateTime& time)
{
    return QLatin1String(kFolder) + QLatin1Char('/') + time.toString(QStringLiteral("yyyyMMdd_hh-mm-ss_zzz"))
           + QStringLiteral(".jpg");
}

QString CScreenshot::Save(const QPixmap& pixmap)
{
    const QDir work = QDir::current();
    const QString strFolder = work.absoluteFilePath(QLatin1String(kFolder));
    const QFileInfo folder(strFolder);
    if (folder.exists() && !folder.isDir()) {
        qWarning().noquote() << "Screenshot not saved:" << strFolder << "exists and is not a folder";
        return QString();
    }
    if (!folder.exists() && !work.mkpath(QLatin1String(kFolder))) {
        const QString strReason = QFileInfo(work.absolutePath()).isWritable()
                                      ? QStringLiteral("the folder cannot be created")
                                      : QStringLiteral("the working folder is not writable");
        qWarning().noquote() << "Screenshot not saved: cannot create" << strFolder << ":" << strReason;
        return QString();
    }

    const QString strPath = work.absoluteFilePath(RelativePath(CLocalClock::Now()));
    if (pixmap.isNull()) {
        qWarning().noquote() << "Screenshot not saved:" << strPath << ": the picture is empty";
        return QString();
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!pixmap.save(&buffer, "JPG")) {
        qWarning().noquote() << "Screenshot not saved:" << strPath << ": the JPG encoder failed";
        return QString();
    }
    QString strError;
    if (!WriteWholeFile(strPath, data, &strError)) {
        qWarning().noquote() << "Screenshot not saved:" << strPath << ":" << strError;
        return QString();
    }
    return strPath;
}
