#include "lockedsettings.h"

#include "initext.h"
#include "wholefile.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QThread>
#include <QtDebug>

#include <sys/stat.h>

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

// The store's file where the settings library keeps it for the user:
// "<config>/Velora/<application>.conf", <config> being XDG_CONFIG_HOME or
// ~/.config (a QSettings::setPath of the process is not followed: set
// XDG_CONFIG_HOME to move the stores).
QString StorePath(const QString &application)
{
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QLatin1Char('/') + QLatin1String(kOrganisation) + QLatin1Char('/') + application
        + QStringLiteral(".conf");
}

// A key as the settings library keeps it: no empty levels ("/a//b/" is "a/b").
QString NormalKey(const QString &key)
{
    return key.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1Char('/'));
}

// The types the settings library writes as their plain text.
bool IsPlainText(const QVariant &v)
{
    switch (v.userType()) {
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

// The same value as the file stores it: the bool true and the text "true",
// the number 5 and the text "5" are written alike; other types (byte arrays,
// lists, variants) must agree in type and value.
bool SameAsStored(const QVariant &a, const QVariant &b)
{
    if (IsPlainText(a) && IsPlainText(b))
        return a.toString() == b.toString();
    return a.userType() == b.userType() && a == b;
}

bool SameContent(const QMap<QString, QVariant> &a, const QMap<QString, QVariant> &b)
{
    if (a.size() != b.size())
        return false;
    for (auto ia = a.cbegin(), ib = b.cbegin(); ia != a.cend(); ++ia, ++ib) {
        if (ia.key() != ib.key() || !SameAsStored(ia.value(), ib.value()))
            return false;
    }
    return true;
}

// Parses the text of a settings file (see CIniText): false (with *pError)
// when no copy could be made; *pbDamaged when the text is not a sound
// settings file.
bool ParseText(const QByteArray &data, QMap<QString, QVariant> *pMap, bool *pbDamaged, QString *pError)
{
    QSettings::Status status = QSettings::NoError;
    if (!CIniText::Parse(data, pMap, &status, pError))
        return false;
    *pbDamaged = status != QSettings::NoError;
    return true;
}

// Why the file cannot be written, as far as permissions tell: the file must
// open for writing when present (a file that is not the operator's is not
// replaced behind its owner's back, though its folder would allow it), and
// its folder take the new file that replaces it. Empty when both hold.
QString WriteRefusal(const QString &path)
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
    return QString();
}

// Why a write failed: permissions first, else the reason the write met.
QString WhyNotWritten(const QString &path, const QString &writeError)
{
    const QString refusal = WriteRefusal(path);
    return refusal.isEmpty() ? writeError : refusal;
}
} // namespace

bool CLockedSettings::SStamp::operator==(const SStamp &other) const
{
    return bExists == other.bExists && nDevice == other.nDevice && nInode == other.nInode && nSize == other.nSize
        && nModified == other.nModified && nChanged == other.nChanged;
}

CLockedSettings::SStamp CLockedSettings::StampOf(const QString &path)
{
    SStamp stamp;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return stamp;
    stamp.bExists = true;
    stamp.nDevice = quint64(st.st_dev);
    stamp.nInode = quint64(st.st_ino);
    stamp.nSize = qint64(st.st_size);
    stamp.nModified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.nChanged = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

CLockedSettings::CLockedSettings(const QString &application, SBounds bounds)
    // The base is bound to no file: it never reads nor writes one.
    : QSettings(QString(), QSettings::IniFormat),
      m_strPath(StorePath(application)),
      m_bounds(bounds)
{
    // The stores live for the process; a worker thread that made one first
    // may end and would leave events for it queued for ever.
    if (QCoreApplication *app = QCoreApplication::instance())
        moveToThread(app->thread());

    QMutexLocker lock(&m_mutex);
    LoadLocked();
}

QString CLockedSettings::fileName() const
{
    return m_strPath;
}

bool CLockedSettings::IsHeldBack() const
{
    QMutexLocker lock(&m_mutex);
    return !m_strHeldBack.isEmpty();
}

bool CLockedSettings::contains(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    return ContainsLocked(NormalKey(key));
}

bool CLockedSettings::remove(const QString &key)
{
    const QString normal = NormalKey(key);
    if (normal.isEmpty()) {
        qWarning() << "Settings: an empty key names no setting; nothing is removed.";
        return true;
    }
    QMutexLocker lock(&m_mutex);
    LoadLocked();
    // The key may name a group of keys ("a" of "a/b").
    const QString group = normal + QLatin1Char('/');
    // The keys shown that the key names, from each map where they can be
    // (a group's keys sort right after its name and the names it begins).
    QSet<QString> named;
    auto collect = [&](const QMap<QString, QVariant> &map) {
        for (auto it = map.lowerBound(normal); it != map.cend() && it.key().startsWith(normal); ++it) {
            if (it.key() == normal || it.key().startsWith(group))
                named.insert(it.key());
        }
    };
    if (!m_strHeldBack.isEmpty()) {
        collect(m_memory);
    } else {
        if (!m_bCleared)
            collect(m_file);
        collect(m_set);
        collect(m_unstored);
    }
    QStringList gone;
    for (const QString &k : qAsConst(named)) {
        if (ContainsLocked(k))
            gone << k;
    }
    if (gone.isEmpty())
        return true;
    if (!m_strHeldBack.isEmpty()) {
        m_bChanged = true;
        return CommitLocked();
    }
    m_bChanged = true;
    for (const QString &k : qAsConst(gone)) {
        m_set.remove(k);
        m_unstored.remove(k);
        if (!m_bCleared && m_file.contains(k))
            m_removed.insert(k);
    }
    return CommitLocked();
}

QVariant CLockedSettings::value(const QString &key, const QVariant &defaultValue) const
{
    QMutexLocker lock(&m_mutex);
    return ValueLocked(NormalKey(key), defaultValue);
}

QVariant CLockedSettings::ValueLocked(const QString &key, const QVariant &defaultValue) const
{
    if (!m_strHeldBack.isEmpty())
        return m_memory.value(key, defaultValue);
    const auto set = m_set.constFind(key);
    if (set != m_set.cend())
        return set.value();
    if (!m_bCleared && !m_removed.contains(key)) {
        const auto file = m_file.constFind(key);
        if (file != m_file.cend())
            return file.value();
    }
    return m_unstored.value(key, defaultValue);
}

bool CLockedSettings::setValue(const QString &key, const QVariant &value)
{
    QMutexLocker lock(&m_mutex);
    LoadLocked();
    return !WriteLocked(NormalKey(key), value) || CommitLocked();
}

QStringList CLockedSettings::allKeys() const
{
    QMutexLocker lock(&m_mutex);
    return ContentLocked().keys();
}

bool CLockedSettings::clear()
{
    return ReplaceAll({});
}

void CLockedSettings::sync()
{
    QMutexLocker lock(&m_mutex);
    LoadLocked();
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
    const QString normal = NormalKey(key);
    QMutexLocker lock(&m_mutex);
    if (normal.isEmpty()) {
        qWarning() << "Settings: a value without a key is not stored.";
        return defaultValue;
    }
    if (!m_strHeldBack.isEmpty()) {
        // Kept in memory only: the file is not written this run.
        if (!m_memory.contains(normal))
            m_memory.insert(normal, defaultValue);
        return m_memory.value(normal);
    }
    if (!ContainsLocked(normal)) {
        LoadLocked();
        if (!m_strHeldBack.isEmpty()) {
            if (!m_memory.contains(normal))
                m_memory.insert(normal, defaultValue);
        } else if (!ContainsLocked(normal)) {
            m_unstored.insert(normal, defaultValue);
            CommitLocked();
        }
    }
    return ValueLocked(normal, defaultValue);
}

bool CLockedSettings::ReplaceAll(const QMap<QString, QVariant> &map)
{
    QMutexLocker lock(&m_mutex);
    LoadLocked();
    QMap<QString, QVariant> wanted;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        const QString key = NormalKey(it.key());
        if (key.isEmpty())
            qWarning() << "Settings: a value without a key is not stored.";
        else
            wanted.insert(key, it.value());
    }
    if (SameContent(ContentLocked(), wanted))
        return true;
    m_bChanged = true;
    if (m_strHeldBack.isEmpty()) {
        m_bCleared = true;
        m_removed.clear();
        m_unstored.clear();
        m_set = wanted;
    }
    return CommitLocked();
}

QMap<QString, QVariant> CLockedSettings::ContentLocked() const
{
    if (!m_strHeldBack.isEmpty())
        return m_memory;
    QMap<QString, QVariant> content;
    if (!m_bCleared)
        content = m_file;
    for (const QString &key : m_removed)
        content.remove(key);
    for (auto it = m_set.cbegin(); it != m_set.cend(); ++it)
        content.insert(it.key(), it.value());
    for (auto it = m_unstored.cbegin(); it != m_unstored.cend(); ++it) {
        if (!content.contains(it.key()))
            content.insert(it.key(), it.value());
    }
    return content;
}

bool CLockedSettings::ContainsLocked(const QString &key) const
{
    if (!m_strHeldBack.isEmpty())
        return m_memory.contains(key);
    return m_set.contains(key) || (!m_bCleared && !m_removed.contains(key) && m_file.contains(key))
        || m_unstored.contains(key);
}

bool CLockedSettings::WriteLocked(const QString &key, const QVariant &value)
{
    if (key.isEmpty()) {
        qWarning() << "Settings: a value without a key is not stored.";
        return false;
    }
    if (!m_strHeldBack.isEmpty()) {
        if (m_memory.contains(key) && SameAsStored(m_memory.value(key), value))
            return false;
        m_bChanged = true;
        return true;
    }
    if (ContainsLocked(key) && SameAsStored(ValueLocked(key, QVariant()), value))
        return false;
    m_bChanged = true;
    m_set.insert(key, value);
    m_unstored.remove(key);
    return true;
}

bool CLockedSettings::LoadLocked()
{
    if (!m_strHeldBack.isEmpty())
        return false;
    const SStamp now = StampOf(m_strPath);
    if (m_bLoaded && now == m_stamp)
        return true;
    QByteArray data;
    QString strError;
    switch (ReadWholeFile(m_strPath, m_bounds.nMaxBytes, &data, &strError)) {
    case EFileRead::Missing:
        m_file.clear();
        m_stamp = now;
        m_bLoaded = true;
        return true;
    case EFileRead::TooLarge:
    case EFileRead::Unreadable:
        HoldBackLocked(strError);
        return false;
    case EFileRead::Read:
        break;
    }
    QMap<QString, QVariant> map;
    bool bDamaged = false;
    if (!ParseText(data, &map, &bDamaged, &strError)) {
        // Known again at the next look; nothing is written meanwhile.
        qWarning().noquote() << "Settings file" << m_strPath << "cannot be read now:" << strError;
        return false;
    }
    if (bDamaged) {
        SetDamagedAsideLocked(data);
        return m_strHeldBack.isEmpty();
    }
    if (m_bounds.nMaxKeys > 0 && map.size() > m_bounds.nMaxKeys) {
        HoldBackLocked(QStringLiteral("%1 holds %2 keys, more than the %3 such a file may have")
                           .arg(m_strPath)
                           .arg(map.size())
                           .arg(m_bounds.nMaxKeys));
        return false;
    }
    m_file = map;
    m_stamp = now;
    m_bLoaded = true;
    return true;
}

void CLockedSettings::SetDamagedAsideLocked(const QByteArray &data)
{
    // Half of a damaged file would give half-valid values: defaults are
    // used, and the file is kept aside for a look. It is replaced only once
    // its copy is there whole.
    const QString kept = m_strPath + QStringLiteral(".damaged");
    QString strError;
    QByteArray copy;
    if (!WriteWholeFile(kept, data, &strError)) {
        // strError says why
    } else if (ReadWholeFile(kept, m_bounds.nMaxBytes, &copy, &strError) != EFileRead::Read) {
        // strError says why
    } else if (copy != data) {
        strError = QStringLiteral("%1 does not hold what was copied").arg(kept);
    }
    if (!strError.isEmpty()) {
        HoldBackLocked(QStringLiteral("%1 is damaged and cannot be copied aside to %2 (%3); it is left as it is")
                           .arg(m_strPath, kept, strError));
        return;
    }
    m_file.clear();
    m_bLoaded = true;
    if (WriteWholeFile(m_strPath, QByteArray(), &strError)) {
        m_stamp = StampOf(m_strPath);
        qWarning().noquote() << "Settings file" << m_strPath << "is damaged; defaults are used"
                             << "and the old file is kept as" << kept;
    } else {
        // Not read again: the copy is there, and the next write replaces it.
        m_stamp = StampOf(m_strPath);
        qWarning().noquote() << "Settings file" << m_strPath << "is damaged; defaults are used"
                             << "and the old file is kept as" << kept << "- it cannot be replaced yet:"
                             << WhyNotWritten(m_strPath, strError);
    }
}

void CLockedSettings::HoldBackLocked(const QString &why)
{
    if (!m_strHeldBack.isEmpty())
        return;
    // What the store showed stays in use (nothing at the start: defaults).
    m_memory = m_bLoaded ? m_file : QMap<QString, QVariant>();
    for (auto it = m_unstored.cbegin(); it != m_unstored.cend(); ++it) {
        if (!m_memory.contains(it.key()))
            m_memory.insert(it.key(), it.value());
    }
    DropRoundLocked();
    m_unstored.clear();
    m_strHeldBack = why;
    qWarning().noquote() << "Settings file" << m_strPath << "is not used:" << why
                         << "- it is neither read nor written again until the station starts again,"
                         << "and the settings in use are kept in memory only.";
}

bool CLockedSettings::CommitLocked()
{
    if (SBatchState *batch = BatchOf(this)) {
        batch->dirty = true;
        return true;
    }
    return WriteOutLocked();
}

bool CLockedSettings::WriteOutLocked()
{
    const bool bChanged = m_bChanged;
    QString strError;
    QByteArray data;
    QMap<QString, QVariant> content;
    if (!m_strHeldBack.isEmpty()) {
        strError = QStringLiteral("it is not written this run (%1)").arg(m_strHeldBack);
    } else if (!LoadLocked()) {
        // What the file holds is not known: nothing is written over it.
        strError = m_strHeldBack.isEmpty()
            ? QStringLiteral("what it holds cannot be read now")
            : QStringLiteral("it is not written this run (%1)").arg(m_strHeldBack);
    } else {
        // This round's changes (and defaults still unstored) over what the
        // file holds now.
        content = ContentLocked();
        if (SameContent(content, m_file)) {
            DropRoundLocked();
            m_unstored.clear();
            return true;
        }
        if (m_bounds.nMaxKeys > 0 && content.size() > m_bounds.nMaxKeys) {
            strError = QStringLiteral("it would hold %1 keys, more than the %2 such a file may have")
                           .arg(content.size())
                           .arg(m_bounds.nMaxKeys);
        } else if (!CIniText::Make(content, &data, &strError)) {
            // strError says why
        } else if (data.size() > m_bounds.nMaxBytes) {
            strError = QStringLiteral("it would be %1 bytes, more than the %2 bytes such a file may have")
                           .arg(data.size())
                           .arg(m_bounds.nMaxBytes);
        } else if (!MakeFolderPath(QFileInfo(m_strPath).absolutePath(), &strError)) {
            // strError says why
        } else if (!(strError = WriteRefusal(m_strPath)).isEmpty()) {
            // strError says why
        } else if (!WriteWholeFile(m_strPath, data, &strError)) {
            strError = WhyNotWritten(m_strPath, strError);
        } else {
            m_file = content;
            m_stamp = StampOf(m_strPath);
            DropRoundLocked();
            m_unstored.clear();
            return true;
        }
    }
    qWarning().noquote() << "Settings file" << m_strPath << "cannot be written:"
                         << strError
                                + (bChanged ? QStringLiteral("; the change is not stored.")
                                            : QStringLiteral("; a default is used unstored."));
    // Back to what the file holds; defaults of absent keys stay in memory.
    DropRoundLocked();
    return false;
}

void CLockedSettings::DropRoundLocked()
{
    m_set.clear();
    m_removed.clear();
    m_bCleared = false;
    m_bChanged = false;
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
    return WriteOutLocked();
}
