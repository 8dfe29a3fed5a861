#include "commitwitness.h"

#include <QList>
#include <QSet>
#include <QUrl>

#include <limits>

namespace {

const char *const kPrefix = "pg:";

// A decimal without sign, blanks or leading '+', from nMin to nMax.
bool ReadNumber(const QByteArray &text, qint64 nMin, qint64 nMax, qint64 *pValue)
{
    if (text.isEmpty() || text.size() > 19)
        return false;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    bool bOk = false;
    const qint64 nValue = text.toLongLong(&bOk);
    if (!bOk || nValue < nMin || nValue > nMax)
        return false;
    *pValue = nValue;
    return true;
}

} // namespace

bool CCommitWitness::SameServer(const CCommitWitness &other) const
{
    return strSystemId == other.strSystemId && strHost == other.strHost && nPort == other.nPort
           && strDatabase == other.strDatabase;
}

QString CCommitWitness::ServerText() const
{
    return QStringLiteral("cluster %1, %2:%3/%4")
        .arg(strSystemId.isEmpty() ? QStringLiteral("unnamed") : strSystemId, strHost)
        .arg(nPort)
        .arg(strDatabase);
}

bool CCommitWitness::IsField(const QByteArray &field)
{
    return field.startsWith(kPrefix);
}

QByteArray CCommitWitness::ToField() const
{
    const QList<QPair<const char *, QByteArray>> pairs{
        {"sysid", strSystemId.toUtf8()},          {"host", strHost.toUtf8()},
        {"port", QByteArray::number(nPort)},      {"db", strDatabase.toUtf8()},
        {"txid", QByteArray::number(nTxid)},      {"pid", QByteArray::number(nPid)},
        {"start", QByteArray::number(nSessionStartUs)}};
    QByteArray field(kPrefix);
    for (int i = 0; i < pairs.size(); ++i) {
        if (i > 0)
            field += ';';
        field += pairs.at(i).first;
        field += '=';
        field += QUrl::toPercentEncoding(QString::fromUtf8(pairs.at(i).second));
    }
    return field;
}

bool CCommitWitness::FromField(const QByteArray &field, CCommitWitness *pWitness, QString *pWhy)
{
    auto fail = [pWhy](const QString &strWhy) {
        *pWhy = strWhy;
        return false;
    };
    if (field.size() > kMaxFieldBytes)
        return fail(QStringLiteral("its transaction field is longer than %1 bytes").arg(kMaxFieldBytes));
    if (!IsField(field))
        return fail(QStringLiteral("its transaction field does not begin with \"%1\"").arg(QLatin1String(kPrefix)));
    CCommitWitness witness;
    QSet<QByteArray> seen;
    const QList<QByteArray> pairs = field.mid(int(qstrlen(kPrefix))).split(';');
    for (const QByteArray &pair : pairs) {
        const int nEq = pair.indexOf('=');
        const QByteArray key = nEq < 0 ? pair : pair.left(nEq);
        if (nEq < 0 || seen.contains(key))
            return fail(QStringLiteral("its transaction field holds \"%1\" twice or without a value")
                            .arg(QString::fromLatin1(key.left(20))));
        seen.insert(key);
        const QByteArray raw = pair.mid(nEq + 1);
        const QString strValue = QUrl::fromPercentEncoding(raw);
        qint64 nValue = 0;
        bool bOk = true;
        if (key == "sysid") {
            // A 64-bit number the server shows as a signed bigint.
            const QByteArray digits = raw.startsWith('-') ? raw.mid(1) : raw;
            bOk = raw.isEmpty() || ReadNumber(digits, 0, std::numeric_limits<qint64>::max(), &nValue);
            witness.strSystemId = strValue;
        } else if (key == "host") {
            bOk = strValue.size() <= 255 && !strValue.contains(QLatin1Char('\n'));
            witness.strHost = strValue;
        } else if (key == "port") {
            bOk = ReadNumber(raw, 1, 65535, &nValue);
            witness.nPort = int(nValue);
        } else if (key == "db") {
            bOk = !strValue.isEmpty() && strValue.toUtf8().size() <= 63;
            witness.strDatabase = strValue;
        } else if (key == "txid") {
            bOk = ReadNumber(raw, 1, std::numeric_limits<qint64>::max(), &witness.nTxid);
        } else if (key == "pid") {
            bOk = ReadNumber(raw, 1, std::numeric_limits<qint32>::max(), &witness.nPid);
        } else if (key == "start") {
            bOk = ReadNumber(raw, 1, std::numeric_limits<qint64>::max(), &witness.nSessionStartUs);
        } else {
            return fail(QStringLiteral("its transaction field holds an unknown key \"%1\"")
                            .arg(QString::fromLatin1(key.left(20))));
        }
        if (!bOk)
            return fail(QStringLiteral("its transaction field's \"%1\" is out of range").arg(QString::fromLatin1(key)));
    }
    if (seen.size() != 7)
        return fail(QStringLiteral("its transaction field lacks a key"));
    *pWitness = witness;
    return true;
}
