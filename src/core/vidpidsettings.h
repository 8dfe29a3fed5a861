#pragma once

#include "lockedsettings.h"

#include <QtGlobal>

// Extra vendor/product id pairs accepted as touch frames (application
// "VID_PID_SUPPORT"): one key per pair, "0x" + vid + "-0x" + pid in four
// lower-case hex digits each, stored with itself as value.
class CVidPidSettings : public CLockedSettings
{
public:
    // The list holds at most this many pairs; its file at most this many
    // bytes (4,096 keys of 28 bytes, with room for hand-written ones). A
    // file over either bound is held back (see CLockedSettings).
    static constexpr int kMaxPairs = 4096;
    static constexpr qint64 kMaxFileBytes = 256 * 1024;

    static CVidPidSettings *GetInstance();
    static QString ApplicationName();

    // "0x0eef-0x0001" for (0x0EEF, 0x0001).
    static QString MakeKey(quint16 vid, quint16 pid);

    QStringList GetAllKeys() const;
    // 0, or -1 when the change could not be written (the store keeps what
    // the file holds; see CLockedSettings).
    int SetValue(const QString &key);
    int RemoveKey(const QString &key);

private:
    CVidPidSettings();
};
