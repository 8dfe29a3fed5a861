#pragma once

#include <QMutex>
#include <QSettings>
#include <QStringList>

class QEvent;

// A settings store in the user's native settings (organisation "Velora")
// that may be used from the GUI thread and worker threads at once: every
// access goes through one mutex per store, and every call that changes the
// store has put the change on disk when it returns (one sync per call; a
// CSettingsBatch lets one thread gather several calls into one sync).
// Writing the value a key already holds, removing an absent key or clearing
// an empty store changes nothing and touches no file.
// The QSettings functions that callers use are redeclared here with the lock;
// call the store's own functions, never QSettings ones through a base pointer.
class CLockedSettings : public QSettings
{
public:
    explicit CLockedSettings(const QString &application);

    bool contains(const QString &key) const;
    // An empty key names nothing and removes nothing (QSettings would clear
    // the whole store).
    void remove(const QString &key);
    QVariant value(const QString &key, const QVariant &defaultValue = QVariant()) const;
    void setValue(const QString &key, const QVariant &value);
    QStringList allKeys() const;
    void clear();
    void sync();

protected:
    // QSettings' own deferred write-out runs on the store's thread: under the lock.
    bool event(QEvent *event) override;

    // Stores the value under the key unless the key is present; returns the
    // stored value. Holds the lock for the whole read-and-write.
    QVariant ValueOrStore(const QString &key, const QVariant &defaultValue);
    // Replaces the whole content with the map, in one locked step.
    void ReplaceAll(const QMap<QString, QVariant> &map);

    mutable QMutex m_mutex;

private:
    friend class CSettingsBatch;

    // Stores the value unless the store holds exactly this value; true when
    // something changed.
    bool WriteLocked(const QString &key, const QVariant &value);
    // Takes in what another writer put in the file since the last look (a
    // stat when nothing changed). Not inside a batch of this thread, whose
    // writes are still in memory.
    void RefreshLocked();
    // Puts the changes on disk now, or at the end of this thread's batch.
    void CommitLocked();
    void BeginBatch();
    void EndBatch();
};
