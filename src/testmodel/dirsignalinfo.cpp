#include "dirsignalinfo.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

const CSignalTypeInfo *CDirSignalInfo::FindType(const QString &strKind) const
{
    auto it = m_mapTypes.constFind(strKind);
    return it == m_mapTypes.cend() ? nullptr : &it.value();
}

int32_t CDirSignalInfo::AddSignalRelation(const QString &strRelation)
{
    m_lstRelations.append(strRelation);
    return 1;
}

int32_t CDirSignalInfo::AddSignalLabel(const QString &strLabel)
{
    m_lstLabels.append(strLabel);
    return 1;
}

int32_t CDirSignalInfo::SetMaxTolerantSignalCount(uint32_t nCount)
{
    m_nMaxTolerantSignalCount = nCount;
    return 1;
}

QList<QString> CDirSignalInfo::GetShownTypes() const
{
    QList<QString> lstShown;
    for (auto it = m_mapTypes.cbegin(); it != m_mapTypes.cend(); ++it) {
        if (it->GetShow() == it.key())
            lstShown.append(it.key());
    }
    return lstShown;
}

uint32_t CDirSignalInfo::GetRecordCount() const
{
    uint32_t nCount = 0;
    for (const CSignalTypeInfo &type : m_mapTypes)
        nCount = qMax(nCount, type.GetRecordCount());
    return nCount;
}

int32_t CDirSignalInfo::ClearTestData()
{
    for (CSignalTypeInfo &type : m_mapTypes)
        type.ClearTestData();
    return 1;
}

int32_t CDirSignalInfo::SetTestStandard(const QString &strKind, uint32_t nLo, uint32_t nHi, int32_t nIndex)
{
    return m_mapTypes[strKind].SetTestStandard(nLo, nHi, nIndex);
}

int32_t CDirSignalInfo::AddTestStandard(const QString &strKind, uint32_t nLo, uint32_t nHi)
{
    return m_mapTypes[strKind].AddTestStandard(nLo, nHi);
}

int32_t CDirSignalInfo::SetProblemStandard(const QString &strKind, uint32_t nLo, uint32_t nHi, int32_t nIndex)
{
    return m_mapTypes[strKind].SetProblemStandard(nLo, nHi, nIndex);
}

int32_t CDirSignalInfo::AddProblemStandard(const QString &strKind, uint32_t nLo, uint32_t nHi)
{
    return m_mapTypes[strKind].AddProblemStandard(nLo, nHi);
}

int32_t CDirSignalInfo::SetStandardType(const QString &strKind, const QString &strType)
{
    return m_mapTypes[strKind].SetStandardType(strType);
}

QList<SignalRange> &CDirSignalInfo::GetTestStandards(const QString &strKind)
{
    return m_mapTypes[strKind].GetTestStandards();
}

QList<SignalRange> &CDirSignalInfo::GetProblemStandards(const QString &strKind)
{
    return m_mapTypes[strKind].GetProblemStandards();
}

QString CDirSignalInfo::GetStandardType(const QString &strKind)
{
    return m_mapTypes[strKind].GetStandardType();
}

int32_t CDirSignalInfo::SetBaseShow(const QString &strKind, const QString &strBase, const QString &strShow)
{
    return m_mapTypes[strKind].SetBaseShow(strBase, strShow);
}

QString CDirSignalInfo::GetShow(const QString &strKind)
{
    return m_mapTypes[strKind].GetShow();
}

QString CDirSignalInfo::GetBase(const QString &strKind)
{
    return m_mapTypes[strKind].GetBase();
}

int32_t CDirSignalInfo::AddTestData(const QString &strKind, const QList<uint32_t> &lstValues, uint32_t nFrame)
{
    return m_mapTypes[strKind].AddTestData(lstValues, nFrame);
}

int32_t CDirSignalInfo::GetTestData(const QString &strKind, QList<uint32_t> &lstOut, uint32_t nFrame)
{
    return m_mapTypes[strKind].GetTestData(lstOut, nFrame);
}

bool CDirSignalInfo::WriteXml(QXmlStreamWriter &writer, const QString &strName, int32_t nIndex) const
{
    writer.writeStartElement(QStringLiteral("dir"));
    writer.writeAttribute(QStringLiteral("ID"), QString::number(nIndex));
    writer.writeAttribute(QStringLiteral("name"), strName);
    writer.writeAttribute(QStringLiteral("MaxTolerantSignalCount"), QString::number(m_nMaxTolerantSignalCount));
    WriteTypes(writer);
    writer.writeEndElement();
    return writer.hasError();
}

bool CDirSignalInfo::WriteTypes(QXmlStreamWriter &writer) const
{
    int32_t j = 0;
    for (auto it = m_mapTypes.cbegin(); it != m_mapTypes.cend(); ++it)
        it->WriteXml(writer, it.key(), j++);

    if (!m_lstLabels.isEmpty()) {
        writer.writeStartElement(QStringLiteral("signal_labels"));
        const int nCount = qMin(m_lstLabels.size(), m_lstRelations.size());
        for (int k = 0; k < nCount; ++k) {
            writer.writeStartElement(QStringLiteral("label"));
            writer.writeAttribute(QStringLiteral("relation"), m_lstRelations.at(k));
            writer.writeCharacters(m_lstLabels.at(k));
            writer.writeEndElement();
        }
        writer.writeEndElement();
    }
    return writer.hasError();
}

bool CDirSignalInfo::ReadXml(QXmlStreamReader &reader)
{
    const QXmlStreamAttributes attrs = reader.attributes();
    if (attrs.hasAttribute(QLatin1String("MaxTolerantSignalCount"))) {
        // Digits only: a limit that is no number is noted, never a limit of 0.
        const QStringRef count = attrs.value(QLatin1String("MaxTolerantSignalCount"));
        if (count.isEmpty() || !CUnreadableNumber::ReadUnsigned(count, &m_nMaxTolerantSignalCount))
            m_unreadable.Note(QStringLiteral("MaxTolerantSignalCount"), count);
    }

    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("type")) {
            const QXmlStreamAttributes typeAttrs = reader.attributes();
            if (typeAttrs.hasAttribute(QLatin1String("name")))
                m_mapTypes[typeAttrs.value(QLatin1String("name")).toString()].ReadXml(reader);
            else
                reader.skipCurrentElement();
        } else if (reader.name() == QLatin1String("signal_labels")) {
            ReadSignalLabels(reader);
        } else {
            reader.skipCurrentElement();
        }
    }
    return reader.hasError();
}

bool CDirSignalInfo::ReadSignalLabels(QXmlStreamReader &reader)
{
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("label")) {
            const QXmlStreamAttributes attrs = reader.attributes();
            if (attrs.hasAttribute(QLatin1String("relation")))
                m_lstRelations.append(attrs.value(QLatin1String("relation")).toString());
            m_lstLabels.append(reader.readElementText(QXmlStreamReader::IncludeChildElements));
        } else {
            reader.skipCurrentElement();
        }
    }
    return reader.hasError();
}
