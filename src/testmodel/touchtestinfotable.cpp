#include "touchtestinfotable.h"

#include "deviceinfokey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QTextCodec>
#include <QVector>
#include <QtDebug>

#include <algorithm>

namespace {

// Upper bound on the row entries a file may create. Each product or checksum
// row carries a copy of the defaults standing above it, so a file of many
// default and product lines grows quadratically; a real table stays far below.
constexpr qint64 kMaxRowEntries = 500000;

const QString kDefaultMarker = QStringLiteral("********");

} // namespace

CTouchTestInfoTable *CTouchTestInfoTable::GetInstance(const QString &strName)
{
    // Built once, on the first call, thread-safely; lives until the process ends.
    static CTouchTestInfoTable s_table(strName);
    return &s_table;
}

CTouchTestInfoTable::CTouchTestInfoTable(const QString &strName)
{
    const QString strPath = FindLatestFile(strName);
    if (strPath.isEmpty()) {
        qInfo().noquote() << "Parameter table: no file" << strName + "-Vxxxx.csv"
                          << "in" << QDir::currentPath() << "- every product keeps its own limits";
        return;
    }
    Load(strPath);
    qInfo().noquote() << "Parameter table:" << strPath << "-" << m_mapProduct.size() << "product rows,"
                      << m_mapCheckSum.size() << "checksum rows," << m_mapDefault.size() << "default keys";
}

CTouchTestInfoTable::Row CTouchTestInfoTable::GetInfo(const QString &strProduct, const QString &strCheckSum) const
{
    auto it = m_mapCheckSum.constFind(strCheckSum);
    if (it != m_mapCheckSum.constEnd())
        return it.value();
    it = m_mapProduct.constFind(strProduct);
    if (it != m_mapProduct.constEnd())
        return it.value();
    return m_mapDefault;
}

QString CTouchTestInfoTable::ProductKey(const QString &strProduct)
{
    static const QRegularExpression re(QStringLiteral("-[0-9]+P"));
    QString str = strProduct;
    str.remove(re);
    return str;
}

QString CTouchTestInfoTable::CheckSumKey(const QString &strCheckSum)
{
    const QStringList lst = strCheckSum.split(QLatin1Char('-'));
    if (lst.first() == lst.last())
        return lst.first();
    return strCheckSum;
}

QString CTouchTestInfoTable::FindLatestFile(const QString &strName)
{
    const QRegularExpression re(QLatin1Char('^') + QRegularExpression::escape(strName)
                                    + QStringLiteral("-V[0-9A-F]{4}\\.csv$"),
                                QRegularExpression::CaseInsensitiveOption);
    // Plain files only; hidden files are not listed without QDir::Hidden.
    const QFileInfoList lstInfo = QDir::current().entryInfoList(QDir::Files, QDir::NoSort);
    QStringList lstNames;
    for (const QFileInfo &fi : lstInfo) {
        if (re.match(fi.fileName()).hasMatch())
            lstNames << fi.fileName();
    }
    if (lstNames.isEmpty())
        return QString();
    // Plain code-unit order: with upper-case hex digits the last one is the
    // highest version.
    std::sort(lstNames.begin(), lstNames.end());
    return QDir::current().absoluteFilePath(lstNames.last());
}

void CTouchTestInfoTable::Load(const QString &strPath)
{
    if (strPath.isEmpty())
        return;
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning().noquote() << "Parameter table: cannot open" << strPath << "-" << file.errorString();
        return;
    }
    if (file.size() > kMaxFileSize) {
        qCritical().noquote() << "Parameter table:" << strPath << "is" << file.size()
                              << "bytes, more than a table can be; not read";
        return;
    }
    // Read what the file holds, in pieces (read() with the limit would
    // reserve all of it); a file that grows past the limit is refused below.
    QByteArray data;
    data.reserve(int(qMin(file.size(), kMaxFileSize)));
    while (data.size() <= kMaxFileSize) {
        const QByteArray chunk = file.read(1 << 20);
        if (chunk.isEmpty())
            break;
        data += chunk;
    }
    file.close();
    if (data.size() > kMaxFileSize) {
        qCritical().noquote() << "Parameter table:" << strPath << "is too large; not read";
        return;
    }
    LoadData(data, strPath);
}

void CTouchTestInfoTable::LoadData(const QByteArray &data, const QString &strOrigin)
{
    if (data.size() > kMaxFileSize) {
        qCritical().noquote() << "Parameter table:" << strOrigin << "is too large; not read";
        return;
    }
    // The local 8-bit code page unless a byte-order mark names a Unicode form.
    QTextCodec *pCodec = QTextCodec::codecForUtfText(data, QTextCodec::codecForLocale());
    QString strText = pCodec->toUnicode(data);
    if (strText.startsWith(QChar(0xFEFF)))
        strText.remove(0, 1);
    // The rule stays (the station's own code page), but a table written in
    // another one (GBK on a UTF-8 station, say) must not silently match no
    // product: what the code page could not read is said.
    if (strText.contains(QChar(QChar::ReplacementCharacter)))
        qWarning().noquote() << "Parameter table:" << strOrigin << "holds text that the code page"
                             << QString::fromLatin1(pCodec->name()) << "cannot read (shown as \uFFFD);"
                             << "products or checksums written so will not match";

    const QVector<QStringRef> lstLines = strText.splitRef(QLatin1Char('\n'));
    qint64 nEntries = 0;
    int nLine = 0;
    for (QStringRef line : lstLines) {
        ++nLine;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        // Guard against a file that would build huge rows (see kMaxRowEntries).
        // Only lines with a comma build a row; each copies the defaults.
        const int nCommas = line.count(QLatin1Char(','));
        if (nCommas > 0)
            nEntries += m_mapDefault.size() + nCommas;
        if (nEntries > kMaxRowEntries) {
            qCritical().noquote() << "Parameter table:" << strOrigin << "holds more entries than a table can;"
                                  << "reading stopped at line" << nLine;
            return;
        }
        ParseLine(line.toString());
    }
}

void CTouchTestInfoTable::ParseLine(const QString &strLine)
{
    const QStringList lstFields = strLine.split(QLatin1Char(','));
    if (lstFields.size() < 2)
        return;

    Row row = m_mapDefault;
    for (int i = 1; i < lstFields.size(); ++i) {
        const QStringList lstPair = lstFields.at(i).split(QLatin1Char(':'));
        if (lstPair.size() == 2)
            row.insert(lstPair.at(0), lstPair.at(1));
    }

    const QString &strFirst = lstFields.first();
    if (strFirst == kDefaultMarker) {
        m_mapDefault = row;
        return;
    }
    const QStringList lstSel = strFirst.split(QLatin1Char(':'));
    if (lstSel.size() != 2)
        return;
    if (lstSel.at(0) == DeviceInfoKey::kCheckSum)
        m_mapCheckSum.insert(lstSel.at(1), row);
    else if (lstSel.at(0) == DeviceInfoKey::kProduct)
        m_mapProduct.insert(lstSel.at(1), row);
}
