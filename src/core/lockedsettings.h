#pragma once

#include <QMap>
#include <QMutex>
#include <QSet>
#include <QSettings>
#include <QStringList>

class QEvent;

// A settings store in the user's native settings (organisation "Velora",
// one INI file per application) that may be used from the GUI thread and
// worker threads at once: every access goes through one mutex per store, and
// every call that changes the store has put the change on disk when it
// returns (one write per call; a CSettingsBatch lets one thread gather
// several calls into one write).
// Writing the value a key already holds (compared as the file stores it: a
// bool true over the text "true" is the same), removing an absent key or
// clearing an empty store changes nothing and touches no file.
// The QSettings functions that callers use are redeclared here with the lock;
// call the store's own functions, never QSettings ones through a base pointer.
//
// The store reads and writes its file itself: the settings library would read
// a file of any size, and keeps the changes of a write that failed pending in
// the one copy of a file's content that every QSettings of the process shares
// (a later write of anything would write them). Here the file is looked at
// for its size before it is read, parsed apart from that shared copy, and
// written whole (WriteWholeFile) with only the store's own changes over what
// the file holds at that moment.
//
// A change that cannot be written (a file or folder without write permission,
// a full disk) is told: a Warning in the run log naming the file and the
// reason, false from the call, and the store takes the change back, so that
// it goes on showing what the file holds. Inside a batch the outcome is known
// only at its end (CSettingsBatch::Commit).
//
// A file that is larger than its bound, holds more keys than its bound, is no
// plain file, cannot be read, or is damaged and cannot be copied aside, is
// held back: a Warning names it and why, it is neither read nor written again
// until the next start, the store runs on values kept in memory (the defaults
// of absent keys are kept there, not written) and every save returns false.
// A damaged file that could be copied aside (to "<file>.damaged", the copy
// read back and compared) is replaced by an empty one: defaults are used.
class CLockedSettings : public QSettings
{
public:
    // How large a store's file may be, and how many keys it may hold (0: no
    // bound on the keys).
    struct SBounds
    {
        qint64 nMaxBytes;
        int nMaxKeys;
    };
    static constexpr qint64 kDefaultMaxBytes = 1024 * 1024;

    explicit CLockedSettings(const QString &application, SBounds bounds = {kDefaultMaxBytes, 0});

    // The store's file (the QSettings base is not bound to it).
    QString fileName() const;
    // True when the file is held back for the rest of the run (see above).
    bool IsHeldBack() const;

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
    // Takes in what another writer put in the file since the last look (a
    // stat when nothing changed; the size is looked at before any read).
    void sync();

protected:
    // QSettings' own deferred write-out runs on the store's thread: under the lock.
    bool event(QEvent *event) override;

    // Stores the value under the key unless the key is present; returns the
    // stored value. Holds the lock for the whole read-and-write. A default
    // that cannot be written is still kept in memory for the rest of the run
    // (every reader gets the same value, and the failure is told once per
    // key); it reaches the file with the next write that succeeds, unless
    // the file has the key by then.
    QVariant ValueOrStore(const QString &key, const QVariant &defaultValue);
    // Replaces the whole content with the map, in one locked step; false when
    // it could not be written.
    bool ReplaceAll(const QMap<QString, QVariant> &map);
    // Every key with its value as the store shows it. Caller holds the lock.
    QMap<QString, QVariant> ContentLocked() const;

    mutable QMutex m_mutex;

private:
    friend class CSettingsBatch;

    // Stores the value unless the store holds this value; true when
    // something changed.
    bool WriteLocked(const QString &key, const QVariant &value);
    bool ContainsLocked(const QString &key) const;
    QVariant ValueLocked(const QString &key, const QVariant &defaultValue) const;
    // Reads the file again when it changed since the last look (its size
    // first). False when what it holds is not known: it cannot be read now,
    // or it is held back.
    bool LoadLocked();
    // Sets a damaged file aside and replaces it by an empty one, or holds it
    // back when no sound copy can be made.
    void SetDamagedAsideLocked(const QByteArray &data);
    // Holds the file back for the rest of the run: why names the file.
    void HoldBackLocked(const QString &why);
    // Puts the changes on disk now (false when they could not be written),
    // or at the end of this thread's batch (true).
    bool CommitLocked();
    // Writes this round's changes over what the file holds now; on failure
    // warns and takes them back. Nothing stays pending either way.
    bool WriteOutLocked();
    void DropRoundLocked();
    void BeginBatch();
    // False when the outermost batch's changes could not be written.
    bool EndBatch();

    // The file's identity when it was last read or written.
    struct SStamp
    {
        bool bExists = false;
        quint64 nDevice = 0;
        quint64 nInode = 0;
        qint64 nSize = 0;
        qint64 nModified = 0; // nanoseconds
        qint64 nChanged = 0;  // nanoseconds
        bool operator==(const SStamp &other) const;
    };
    static SStamp StampOf(const QString &path);

    const QString m_strPath;
    const SBounds m_bounds;

    // What the file holds, as last read or written.
    QMap<QString, QVariant> m_file;
    SStamp m_stamp;
    bool m_bLoaded = false;

    // The changes of this round (since the last write).
    QMap<QString, QVariant> m_set;
    QSet<QString> m_removed;
    bool m_bCleared = false;
    bool m_bChanged = false;

    // Defaults of absent keys that could not be written yet.
    QMap<QString, QVariant> m_unstored;

    // Held back: why (empty when not), and the content kept in memory.
    QString m_strHeldBack;
    QMap<QString, QVariant> m_memory;
};
