#pragma once

#include "lockedsettings.h"

#include <QMap>

// A free table of key text to value text, read and written whole by the
// check lists of the test view and the setup dialog.
// The changing calls return 0, or -1 when the change could not be written
// (the store keeps what the file holds; see CLockedSettings).
class CTextTableSettings : public CLockedSettings
{
public:
    int SetValue(const QString &key, const QString &value);
    int RemoveKey(const QString &key);
    // Every key with its value as text; empty for an empty store.
    QMap<QString, QString> ReadAll() const;
    // The store afterwards holds exactly the map.
    int WriteAll(const QMap<QString, QString> &map);

protected:
    explicit CTextTableSettings(const QString &application);
};
