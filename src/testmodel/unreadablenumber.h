#pragma once

#include <QString>
#include <QStringRef>
#include <cstdint>

// The first number of a record's XML that is no number of its kind, named
// where it stands, as "frame 2, position 0: \"abc\"". A record keeps one; a
// log whose records noted one is refused (CTestLogLimits::CheckModel), for a
// number read as 0 would be a value the log does not hold.
class CUnreadableNumber
{
public:
    // An unsigned decimal number of at most 32 bits, digits only; an empty
    // text is 0. False for anything else (a sign, a space, a letter, an
    // overflow), *pValue then untouched.
    static bool ReadUnsigned(const QStringRef &text, uint32_t *pValue);

    // Keeps the first text noted; later ones are dropped. A long text is
    // named by its start.
    void Note(const QString &strWhere, const QStringRef &text);
    // A text as a note names it: its start only when it is long.
    static QString Shown(const QStringRef &text);
    // Empty when nothing was noted.
    const QString &Text() const { return m_strFirst; }

private:
    QString m_strFirst;
};
