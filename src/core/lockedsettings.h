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
//
// A change that cannot be written (a file or folder without write permission,
// a full disk) is told: a Warning in the run log naming the file and the
// reason, false from the call, and the store takes the change back, so that
// it goes on showing what the file holds. Inside a batch the outcome is known
// only at its end (CSettingsBatch::Commit).
class CLockedSettings : public QSettings
{
public:
    explicit CLockedSettings(const QString &application);

    bool contains(const QString &key) const;
    // The changing calls return false when their change could not be
    // written (and was taken back); true when it is on disk, when nothing
    // had to change, or inside a batch of this thread.
    // An empty key names nothing and removes nothing (QSettings would clear
    // the whole store).
    bool remove(const QString &key);
    QVariant value(const QString &key, const QVariant &defaultValue = QVariant()) const;
    bool setValue(const QString &key, const QVariant &value);
    QStringList allKeys() const;
    bool clear();
    void sync();

protected:
    // QSettings' own deferred write-out runs on the store's thread: under the lock.
    bool event(QEvent *event) override;

    // Stores the value under the key unless the key is present; returns the
    // stored value. Holds the lock for the whole read-and-write. A default
    // that cannot be written is still kept in memory for the rest of the run
    // (every reader gets the same value, and the failure is told once per
    // key); it reaches the file with the next write that succeeds.
    QVariant ValueOrStore(const QString &key, const QVariant &defaultValue);
    // Replaces the whole content with the map, in one locked step; false when
    // it could not be written.
    bool ReplaceAll(const QMap<QString, QVariant> &map);

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
    // Keeps the content as it stands, once per round of changes, so that a
    // round that cannot be written can be taken back. Called before each
    // change.
    void NoteChangeLocked();
    // Puts the changes on disk now (false when they could not be written),
    // or at the end of this thread's batch (true).
    bool CommitLocked();
    // Writes every change since the last write; on failure warns and, unless
    // told to keep them, takes them back.
    enum class EOnFailure { TakeBack, Keep };
    bool WriteOutLocked(EOnFailure onFailure);
    void BeginBatch();
    // False when the outermost batch's changes could not be written.
    bool EndBatch();

    // The content before the first change since the last write.
    QMap<QString, QVariant> m_before;
    bool m_bChanged = false;
};
