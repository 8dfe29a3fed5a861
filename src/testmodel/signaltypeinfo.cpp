#include "signaltypeinfo.h"

#include <QLocale>
#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

int32_t SetRange(QList<SignalRange> &lstRanges, uint32_t nLo, uint32_t nHi, int32_t nIndex)
{
    if (nIndex < 0) {
        for (SignalRange &range : lstRanges) {
            range.lo = nLo;
            range.hi = nHi;
        }
        return 1;
    }
    if (nIndex >= lstRanges.size())
        return 0;
    lstRanges[nIndex].lo = nLo;
    lstRanges[nIndex].hi = nHi;
    return 1;
}

void WriteRanges(QXmlStreamWriter &writer, const QString &strElement, const QList<SignalRange> &lstRanges)
{
    writer.writeStartElement(strElement);
    for (const SignalRange &range : lstRanges)
        writer.writeTextElement(QStringLiteral("standard"), CSignalTypeInfo::RangeText(range));
    writer.writeEndElement();
}

} // namespace

int32_t CSignalTypeInfo::SetStandardType(const QString &strType)
{
    m_strStandardType = strType;
    return 1;
}

int32_t CSignalTypeInfo::SetBaseShow(const QString &strBase, const QString &strShow)
{
    m_strBase = strBase;
    m_strShow = strShow;
    return 1;
}

int32_t CSignalTypeInfo::AddTestStandard(uint32_t nLo, uint32_t nHi)
{
    m_lstTestStandards.append(SignalRange{nLo, nHi});
    return 1;
}

int32_t CSignalTypeInfo::AddProblemStandard(uint32_t nLo, uint32_t nHi)
{
    m_lstProblemStandards.append(SignalRange{nLo, nHi});
    return 1;
}

int32_t CSignalTypeInfo::SetTestStandard(uint32_t nLo, uint32_t nHi, int32_t nIndex)
{
    return SetRange(m_lstTestStandards, nLo, nHi, nIndex);
}

int32_t CSignalTypeInfo::SetProblemStandard(uint32_t nLo, uint32_t nHi, int32_t nIndex)
{
    return SetRange(m_lstProblemStandards, nLo, nHi, nIndex);
}

int32_t CSignalTypeInfo::AddTestData(const QList<uint32_t> &lstValues, uint32_t nFrame)
{
    m_mapTestData.insert(nFrame, lstValues);
    m_mapTestTimes.insert(nFrame, QDateTime::currentDateTime());
    return 1;
}

int32_t CSignalTypeInfo::GetTestData(QList<uint32_t> &lstOut, uint32_t nFrame) const
{
    auto it = m_mapTestData.constFind(nFrame);
    if (it == m_mapTestData.cend())
        return 0;
    lstOut = *it;
    return lstOut.size();
}

uint32_t CSignalTypeInfo::GetRecordCount() const
{
    return m_mapTestData.isEmpty() ? 0 : m_mapTestData.lastKey();
}

int32_t CSignalTypeInfo::ClearTestData()
{
    m_mapTestData.clear();
    m_mapTestTimes.clear();
    return 1;
}

QString CSignalTypeInfo::RangeText(const SignalRange &range)
{
    // Unsigned, so that limits above the signed range print as they are.
    return QString::asprintf("%04u-%04u", range.lo, range.hi);
}

bool CSignalTypeInfo::WriteXml(QXmlStreamWriter &writer, const QString &strName, int32_t nIndex) const
{
    writer.writeStartElement(QStringLiteral("type"));
    writer.writeAttribute(QStringLiteral("name"), strName);
    writer.writeAttribute(QStringLiteral("ID"), QString::number(nIndex));
    writer.writeAttribute(QStringLiteral("base"), m_strBase);
    writer.writeAttribute(QStringLiteral("show"), m_strShow);
    writer.writeAttribute(QStringLiteral("standardType"), m_strStandardType);

    if (!m_lstProblemStandards.isEmpty())
        WriteRanges(writer, QStringLiteral("test_problem_standard"), m_lstProblemStandards);
    if (!m_lstTestStandards.isEmpty())
        WriteRanges(writer, QStringLiteral("test_standard"), m_lstTestStandards);
    if (!m_mapTestData.isEmpty()) {
        const QLocale c = QLocale::c();
        writer.writeStartElement(QStringLiteral("test_data"));
        for (auto it = m_mapTestData.cbegin(); it != m_mapTestData.cend(); ++it) {
            writer.writeStartElement(QStringLiteral("data"));
            writer.writeAttribute(QStringLiteral("ID"), QString::number(it.key()));
            writer.writeAttribute(QStringLiteral("DateTime"),
                                  c.toString(m_mapTestTimes.value(it.key()), QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")));
            QString strValues;
            strValues.reserve(it->size() * 5);
            for (int i = 0; i < it->size(); ++i) {
                if (i > 0)
                    strValues += QLatin1Char(' ');
                strValues += QString::number(it->at(i));
            }
            writer.writeCharacters(strValues);
            writer.writeEndElement();
        }
        writer.writeEndElement();
    }

    writer.writeEndElement();
    return writer.hasError();
}

bool CSignalTypeInfo::ReadXml(QXmlStreamReader &reader)
{
    const QXmlStreamAttributes attrs = reader.attributes();
    if (attrs.hasAttribute(QLatin1String("base")))
        m_strBase = attrs.value(QLatin1String("base")).toString();
    if (attrs.hasAttribute(QLatin1String("show")))
        m_strShow = attrs.value(QLatin1String("show")).toString();
    if (attrs.hasAttribute(QLatin1String("standardType")))
        m_strStandardType = attrs.value(QLatin1String("standardType")).toString();

    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("test_standard"))
            ReadRanges(reader, m_lstTestStandards, QStringLiteral("test_standard"));
        else if (reader.name() == QLatin1String("test_problem_standard"))
            ReadRanges(reader, m_lstProblemStandards, QStringLiteral("test_problem_standard"));
        else if (reader.name() == QLatin1String("test_data"))
            ReadData(reader);
        else
            reader.skipCurrentElement();
    }
    return reader.hasError();
}

bool CSignalTypeInfo::ReadRanges(QXmlStreamReader &reader, QList<SignalRange> &lstRanges, const QString &strElement)
{
    int nStandard = 0;
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("standard")) {
            const QString strText = reader.readElementText(QXmlStreamReader::IncludeChildElements);
            // Low bound first, high bound last; a text without "-" is both.
            const QVector<QStringRef> parts = strText.splitRef(QLatin1Char('-'));
            SignalRange range{0, 0};
            if (CUnreadableNumber::ReadUnsigned(parts.first(), &range.lo)
                && CUnreadableNumber::ReadUnsigned(parts.last(), &range.hi))
                lstRanges.append(range);
            else
                m_unreadable.Note(QStringLiteral("%1 %2").arg(strElement).arg(nStandard), QStringRef(&strText));
            ++nStandard;
        } else {
            reader.skipCurrentElement();
        }
    }
    return reader.hasError();
}

bool CSignalTypeInfo::ReadData(QXmlStreamReader &reader)
{
    while (reader.readNextStartElement()) {
        if (reader.name() != QLatin1String("data")) {
            reader.skipCurrentElement();
            continue;
        }
        const QXmlStreamAttributes attrs = reader.attributes();
        if (!attrs.hasAttribute(QLatin1String("ID"))) {
            reader.skipCurrentElement();
            continue;
        }
        const QStringRef id = attrs.value(QLatin1String("ID"));
        uint32_t nFrame = 0;
        // An empty number reads as 0 in a frame's values, never as its number.
        if (id.isEmpty() || !CUnreadableNumber::ReadUnsigned(id, &nFrame)) {
            m_unreadable.Note(QStringLiteral("frame number"), id);
            reader.skipCurrentElement();
            continue;
        }
        const QString strText = reader.readElementText(QXmlStreamReader::IncludeChildElements);
        if (reader.hasError())
            break;
        // Every value read before anything is stored: a frame holding a text
        // that is no number is stored as no frame at all.
        const QVector<QStringRef> parts = strText.splitRef(QLatin1Char(' '));
        const int nBefore = m_mapTestData.value(nFrame).size();
        QList<uint32_t> lstRead;
        lstRead.reserve(parts.size());
        for (const QStringRef &part : parts) {
            uint32_t nValue = 0;
            if (!CUnreadableNumber::ReadUnsigned(part, &nValue)) {
                m_unreadable.Note(QStringLiteral("frame %1, position %2").arg(nFrame).arg(nBefore + lstRead.size()),
                                  part);
                break;
            }
            lstRead.append(nValue);
        }
        if (lstRead.size() < parts.size())
            continue;
        m_mapTestData[nFrame] += lstRead;
        m_mapTestTimes.insert(nFrame, QDateTime::currentDateTime());
    }
    return reader.hasError();
}
