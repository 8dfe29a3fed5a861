#include "unreadablenumber.h"

bool CUnreadableNumber::ReadUnsigned(const QStringRef &text, uint32_t *pValue)
{
    // At most ten digits; the value checked against the 32-bit range.
    if (text.size() > 10)
        return false;
    uint64_t n = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
        n = n * 10 + uint64_t(c.unicode() - '0');
    }
    if (n > 0xFFFFFFFFull)
        return false;
    *pValue = uint32_t(n);
    return true;
}

QString CUnreadableNumber::Shown(const QStringRef &text)
{
    // A hostile text is named by its start only.
    constexpr int kShown = 32;
    return text.size() > kShown ? text.left(kShown).toString() + QStringLiteral("...") : text.toString();
}

void CUnreadableNumber::Note(const QString &strWhere, const QStringRef &text)
{
    if (m_strFirst.isEmpty())
        m_strFirst = QStringLiteral("%1: \"%2\"").arg(strWhere, Shown(text));
}
