#include "lockedsettings.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
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

void CLockedSettings::remove(const QString &key)
{
    if (key.isEmpty()) {
        qWarning() << "Settings: an empty key names no setting; nothing is removed.";
        return;
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
        return;
    QSettings::remove(key);
    CommitLocked();
}

QVariant CLockedSettings::value(const QString &key, const QVariant &defaultValue) const
{
    QMutexLocker lock(&m_mutex);
    return QSettings::value(key, defaultValue);
}

void CLockedSettings::setValue(const QString &key, const QVariant &value)
{
    QMutexLocker lock(&m_mutex);
    RefreshLocked();
    if (WriteLocked(key, value))
        CommitLocked();
}

QStringList CLockedSettings::allKeys() const
{
    QMutexLocker lock(&m_mutex);
    return QSettings::allKeys();
}

void CLockedSettings::clear()
{
    QMutexLocker lock(&m_mutex);
    RefreshLocked();
    if (QSettings::allKeys().isEmpty())
        return;
    QSettings::clear();
    CommitLocked();
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
        if (!QSettings::contains(key) && WriteLocked(key, defaultValue))
            CommitLocked();
    }
    return QSettings::value(key, defaultValue);
}

void CLockedSettings::ReplaceAll(const QMap<QString, QVariant> &map)
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
        return;
    QSettings::clear();
    for (auto it = wanted.cbegin(); it != wanted.cend(); ++it)
        QSettings::setValue(it.key(), it.value());
    CommitLocked();
}

bool CLockedSettings::WriteLocked(const QString &key, const QVariant &value)
{
    if (key.isEmpty()) {
        qWarning() << "Settings: a value without a key is not stored.";
        return false;
    }
    if (QSettings::contains(key) && SameValue(QSettings::value(key), value))
        return false;
    QSettings::setValue(key, value);
    return true;
}

void CLockedSettings::RefreshLocked()
{
    if (!BatchOf(this))
        QSettings::sync();
}

void CLockedSettings::CommitLocked()
{
    if (SBatchState *batch = BatchOf(this)) {
        batch->dirty = true;
        return;
    }
    QSettings::sync();
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

void CLockedSettings::EndBatch()
{
    SBatchState *batch = BatchOf(this);
    if (!batch || --batch->depth > 0)
        return;
    const bool dirty = batch->dirty;
    *batch = t_batches[--t_batchCount];
    if (dirty) {
        QMutexLocker lock(&m_mutex);
        QSettings::sync();
    }
}
