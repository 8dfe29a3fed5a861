#include "screenshot.h"

#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QSaveFile>
#include <QtDebug>

namespace {
const char* const kFolder = "Pictures";

std::function<QDateTime()>& TimeSource()
{
    static std::function<QDateTime()> fnNow;
    return fnNow;
}
} // namespace

QDateTime CScreenshot::LocalNow()
{
    const std::function<QDateTime()>& fnNow = TimeSource();
    return fnNow ? fnNow() : QDateTime::currentDateTime();
}

void CScreenshot::SetLocalTimeSource(std::function<QDateTime()> fnNow)
{
    TimeSource() = std::move(fnNow);
}

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

    const QString strPath = work.absoluteFilePath(RelativePath(LocalNow()));
    if (pixmap.isNull()) {
        qWarning().noquote() << "Screenshot not saved:" << strPath << ": the picture is empty";
        return QString();
    }
    QSaveFile file(strPath);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning().noquote() << "Screenshot not saved:" << strPath << ":" << file.errorString();
        return QString();
    }
    if (!pixmap.save(&file, "JPG")) {
        file.cancelWriting();
        qWarning().noquote() << "Screenshot not saved:" << strPath << ": the JPG encoder failed";
        return QString();
    }
    if (!file.commit()) {
        qWarning().noquote() << "Screenshot not saved:" << strPath << ":" << file.errorString();
        return QString();
    }
    return strPath;
}
