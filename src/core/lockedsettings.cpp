#include "lockedsettings.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QThread>
#include <QtDebug>

namespace {
const char kOrganisation[] = "Velora";

// The open batches of this thread, one per store (see CSettingsBatch).
// Trivially destructible, so nothing here goes away before the last use.
struct SBatchState
{
    const CLockedSettings *store;
    int depth;
    bool dirty;
};
constexpr int kMaxBatches = 8;
thread_local SBatchState t_batches[kMaxBatches];
thread_local int t_batchCount = 0;

SBatchState *BatchOf(const CLockedSettings *store)
{
    for (int i = 0; i < t_batchCount; ++i) {
        if (t_batches[i].store == store)
            return &t_batches[i];
    }
    return nullptr;
}

// The same value of the same type: a text "1" and the number 1 differ, so
// writing one over the other is a change.
bool SameValue(const QVariant &a, const QVariant &b)
{
    return a.userType() == b.userType() && a == b;
}

// Why the settings library could not write the file: it only says "access
// error". It needs to open the file for writing (when present) and to make
// its lock file and the new file beside it.
QString WhyNotWritten(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite))
            return QStringLiteral("the file cannot be opened for writing: %1").arg(file.errorString());
    }
    QTemporaryFile probe(info.absolutePath() + QStringLiteral("/.settings-probe-XXXXXX"));
    if (!probe.open())
        return QStringLiteral("its folder %1 cannot be written: %2").arg(info.absolutePath(), probe.errorString());
    return QStringLiteral("the settings library could not write it (full disk?)");
}
} // namespace

CLockedSettings::CLockedSettings(const QString &application)
    : QSettings(QString::fromLatin1(kOrganisation), application)
{
    // QSettings posts itself a write-out request on every change. The stores
    // live for the process; a worker thread that made one first may end and
    // would leave those requests queued for ever.
    if (QCoreApplication *app = QCoreApplication::instance())
        moveToThread(app->thread());

    switch (QSettings::status()) {
    case QSettings::NoError:
        break;
    case QSettings::FormatError: {
        // Half of a damaged file would give half-valid values: keep the file
        // aside for a look and start from the defaults.
        const QString kept = fileName() + QStringLiteral(".damaged");
        QFile::remove(kept);
        QFile::copy(fileName(), kept);
        QSettings::clear();
        QSettings::sync();
        qWarning().noquote() << "Settings file" << fileName() << "is damaged; defaults are used"
                             << "and the old file is kept as" << kept;
        break;
    }
    default:
        qWarning().noquote() << "Settings file" << fileName()
                             << "cannot be read; defaults are used.";
        break;
    }
}

bool CLockedSettings::contains(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    return QSettings::contains(key);
}

bool CLockedSettings::remove(const QString &key)
{
    if (key.isEmpty()) {
        qWarning() << "Settings: an empty key names no setting; nothing is removed.";
        return true;
    }
    QMutexLocker lock(&m_mutex);
    RefreshLocked();
    bool present = QSettings::contains(key);
    if (!present) {
        // The key may name a group of keys ("a" of "a/b").
        QSettings::beginGroup(key);
        present = !QSettings::allKeys().isEmpty();
        QSettings::endGroup();
    }
    if (!present)
        return true;
    NoteChangeLocked();
    QSettings::remove(key);
    return CommitLocked();
}

QVariant CLockedSettings::value(const QString &key, const QVariant &defaultValue) const
{
    QMutexLocker lock(&m_mutex);
    return QSettings::value(key, defaultValue);
}

bool CLockedSettings::setValue(const QString &key, const QVariant &value)
{
    QMutexLocker lock(&m_mutex);
    RefreshLocked();
    return !WriteLocked(key, value) || CommitLocked();
}

QStringList CLockedSettings::allKeys() const
{
    QMutexLocker lock(&m_mutex);
    return QSettings::allKeys();
}

bool CLockedSettings::clear()
{
    QMutexLocker lock(&m_mutex);
    RefreshLocked();
    if (QSettings::allKeys().isEmpty())
        return true;
    NoteChangeLocked();
    QSettings::clear();
    return CommitLocked();
}

void CLockedSettings::sync()
{
    QMutexLocker lock(&m_mutex);
    QSettings::sync();
    if (SBatchState *batch = BatchOf(this))
        batch->dirty = false;
}

bool CLockedSettings::event(QEvent *event)
{
    if (event->type() == QEvent::UpdateRequest) {
        QMutexLocker lock(&m_mutex);
        return QSettings::event(event);
    }
    return QSettings::event(event);
}

QVariant CLockedSettings::ValueOrStore(const QString &key, const QVariant &defaultValue)
{
    QMutexLocker lock(&m_mutex);
    if (!QSettings::contains(key)) {
        RefreshLocked();
        if (!QSettings::contains(key) && WriteLocked(key, defaultValue) && !BatchOf(this))
            WriteOutLocked(EOnFailure::Keep);
    }
    return QSettings::value(key, defaultValue);
}

bool CLockedSettings::ReplaceAll(const QMap<QString, QVariant> &map)
{
    QMutexLocker lock(&m_mutex);
    RefreshLocked();
    QMap<QString, QVariant> wanted;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.key().isEmpty())
            qWarning() << "Settings: a value without a key is not stored.";
        else
            wanted.insert(it.key(), it.value());
    }
    const QStringList keys = QSettings::allKeys();
    bool same = keys.size() == wanted.size();
    for (int i = 0; same && i < keys.size(); ++i) {
        const auto it = wanted.constFind(keys.at(i));
        same = it != wanted.cend() && SameValue(QSettings::value(keys.at(i)), it.value());
    }
    if (same)
        return true;
    NoteChangeLocked();
    QSettings::clear();
    for (auto it = wanted.cbegin(); it != wanted.cend(); ++it)
        QSettings::setValue(it.key(), it.value());
    return CommitLocked();
}

bool CLockedSettings::WriteLocked(const QString &key, const QVariant &value)
{
    if (key.isEmpty()) {
        qWarning() << "Settings: a value without a key is not stored.";
        return false;
    }
    if (QSettings::contains(key) && SameValue(QSettings::value(key), value))
        return false;
    NoteChangeLocked();
    QSettings::setValue(key, value);
    return true;
}

void CLockedSettings::RefreshLocked()
{
    if (!BatchOf(this))
        QSettings::sync();
}

void CLockedSettings::NoteChangeLocked()
{
    if (m_bChanged)
        return;
    m_before.clear();
    const QStringList keys = QSettings::allKeys();
    for (const QString &key : keys)
        m_before.insert(key, QSettings::value(key));
    m_bChanged = true;
}

bool CLockedSettings::CommitLocked()
{
    if (SBatchState *batch = BatchOf(this)) {
        batch->dirty = true;
        return true;
    }
    return WriteOutLocked(EOnFailure::TakeBack);
}

bool CLockedSettings::WriteOutLocked(EOnFailure onFailure)
{
    // QSettings keeps the first error it met for the object's life, so its
    // status() cannot tell this write from an earlier one. A second object on
    // the same file shares the library's one copy of its content (the
    // library keeps one per file and process): its sync writes that copy,
    // and its status is this write's alone.
    QSettings writer(fileName(), QSettings::NativeFormat);
    writer.sync();
    const bool bWritten = writer.status() == QSettings::NoError;
    if (!bWritten) {
        qWarning().noquote() << "Settings file" << fileName() << "cannot be written:"
                             << WhyNotWritten(fileName())
                                    + (onFailure == EOnFailure::Keep
                                           ? QStringLiteral("; a default is used unstored.")
                                           : QStringLiteral("; the change is not stored."));
    }
    // Back to the content as it was before the change, which is what the
    // file holds. The library keeps the values put back as changes of its
    // own to write, and writes them when the file can be written again.
    if (!bWritten && onFailure == EOnFailure::TakeBack && m_bChanged) {
        const QStringList keys = QSettings::allKeys();
        for (const QString &key : keys) {
            if (!m_before.contains(key))
                QSettings::remove(key);
        }
        for (auto it = m_before.cbegin(); it != m_before.cend(); ++it) {
            if (!QSettings::contains(it.key()) || !SameValue(QSettings::value(it.key()), it.value()))
                QSettings::setValue(it.key(), it.value());
        }
    }
    m_before.clear();
    m_bChanged = false;
    return bWritten;
}

void CLockedSettings::BeginBatch()
{
    if (SBatchState *batch = BatchOf(this)) {
        ++batch->depth;
        return;
    }
    if (t_batchCount == kMaxBatches)
        return; // more stores at once than anyone uses: those write through
    t_batches[t_batchCount++] = {this, 1, false};
}

bool CLockedSettings::EndBatch()
{
    SBatchState *batch = BatchOf(this);
    if (!batch || --batch->depth > 0)
        return true;
    const bool dirty = batch->dirty;
    *batch = t_batches[--t_batchCount];
    if (!dirty)
        return true;
    QMutexLocker lock(&m_mutex);
    return WriteOutLocked(EOnFailure::TakeBack);
}
