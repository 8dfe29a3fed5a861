#pragma once

#include <QMutex>
#include <QSettings>
#include <QStringList>

// A settings store in the user's native settings (organisation "Velora")
// that may be used from the GUI thread and worker threads at once: every
// access goes through one mutex per store, and every write is synced to disk.
// The QSettings functions that callers use are redeclared here with the lock;
// call the store's own functions, never QSettings ones through a base pointer.
class CLockedSettings : public QSettings
{
public:
    explicit CLockedSettings(const QString &application);

    bool contains(const QString &key) const;
    void remove(const QString &key);
    QVariant value(const QString &key, const QVariant &defaultValue = QVariant()) const;
    void setValue(const QString &key, const QVariant &value);
    QStringList allKeys() const;
    void clear();
    void sync();

protected:
    // Stores the value under the key unless the key is present; returns the
    // stored value. Holds the lock for the whole read-and-write.
    QVariant ValueOrStore(const QString &key, const QVariant &defaultValue);
    // Replaces the whole content with the map, in one locked step.
    void ReplaceAll(const QMap<QString, QVariant> &map);

    mutable QMutex m_mutex;

private:
    void WriteLocked(const QString &key, const QVariant &value);
};
