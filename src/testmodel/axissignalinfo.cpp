#include "axissignalinfo.h"

#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

int32_t CAxisSignalInfo::SetDivide(const QList<uint32_t> &lstDivide)
{
    m_lstDivide = lstDivide;
    return 1;
}

QString CAxisSignalInfo::GetDivideText() const
{
    QString strText;
    for (int i = 0; i < m_lstDivide.size(); ++i) {
        if (i > 0)
            strText += QLatin1Char('-');
        strText += QString::number(m_lstDivide.at(i));
    }
    return strText;
}

const CDirSignalInfo *CAxisSignalInfo::FindDir(const QString &strDir) const
{
    auto it = m_mapDirs.constFind(strDir);
    return it == m_mapDirs.cend() ? nullptr : &it.value();
}

int32_t CAxisSignalInfo::ClearTestData()
{
    for (CDirSignalInfo &dir : m_mapDirs)
        dir.ClearTestData();
    return 1;
}

uint32_t CAxisSignalInfo::GetRecordCount() const
{
    uint32_t nCount = 0;
    for (const CDirSignalInfo &dir : m_mapDirs)
        nCount = qMax(nCount, dir.GetRecordCount());
    return nCount;
}

int32_t CAxisSignalInfo::SetMaxTolerantSignalCount(const QString &strDir, uint32_t nCount)
{
    return m_mapDirs[strDir].SetMaxTolerantSignalCount(nCount);
}

uint32_t CAxisSignalInfo::GetMaxTolerantSignalCount(const QString &strDir)
{
    return m_mapDirs[strDir].GetMaxTolerantSignalCount();
}

int32_t CAxisSignalInfo::AddSignalRelation(const QString &strDir, const QString &strRelation)
{
    return m_mapDirs[strDir].AddSignalRelation(strRelation);
}

int32_t CAxisSignalInfo::AddSignalLabel(const QString &strDir, const QString &strLabel)
{
    return m_mapDirs[strDir].AddSignalLabel(strLabel);
}

QList<QString> CAxisSignalInfo::GetSignalRelations(const QString &strDir)
{
    return m_mapDirs[strDir].GetSignalRelations();
}

QList<QString> CAxisSignalInfo::GetSignalLabels(const QString &strDir)
{
    return m_mapDirs[strDir].GetSignalLabels();
}

int32_t CAxisSignalInfo::SetTestStandard(const QString &strDir, const QString &strKind, uint32_t nLo, uint32_t nHi,
                                         int32_t nIndex)
{
    auto it = m_mapDirs.find(strDir);
    if (it == m_mapDirs.end())
        return 0;
    return it->SetTestStandard(strKind, nLo, nHi, nIndex);
}

int32_t CAxisSignalInfo::AddTestStandard(const QString &strDir, const QString &strKind, uint32_t nLo, uint32_t nHi)
{
    return m_mapDirs[strDir].AddTestStandard(strKind, nLo, nHi);
}

int32_t CAxisSignalInfo::SetProblemStandard(const QString &strDir, const QString &strKind, uint32_t nLo, uint32_t nHi,
                                            int32_t nIndex)
{
    auto it = m_mapDirs.find(strDir);
    if (it == m_mapDirs.end())
        return 0;
    return it->SetProblemStandard(strKind, nLo, nHi, nIndex);
}

int32_t CAxisSignalInfo::AddProblemStandard(const QString &strDir, const QString &strKind, uint32_t nLo, uint32_t nHi)
{
    return m_mapDirs[strDir].AddProblemStandard(strKind, nLo, nHi);
}

int32_t CAxisSignalInfo::SetStandardType(const QString &strDir, const QString &strKind, const QString &strType)
{
    return m_mapDirs[strDir].SetStandardType(strKind, strType);
}

QList<SignalRange> CAxisSignalInfo::GetTestStandards(const QString &strDir, const QString &strKind)
{
    return m_mapDirs[strDir].GetTestStandards(strKind);
}

QList<SignalRange> CAxisSignalInfo::GetProblemStandards(const QString &strDir, const QString &strKind)
{
    return m_mapDirs[strDir].GetProblemStandards(strKind);
}

int32_t CAxisSignalInfo::SetBaseShow(const QString &strDir, const QString &strKind, const QString &strBase,
                                     const QString &strShow)
{
    return m_mapDirs[strDir].SetBaseShow(strKind, strBase, strShow);
}

QString CAxisSignalInfo::GetShow(const QString &strDir, const QString &strKind)
{
    return m_mapDirs[strDir].GetShow(strKind);
}

QString CAxisSignalInfo::GetBase(const QString &strDir, const QString &strKind)
{
    return m_mapDirs[strDir].GetBase(strKind);
}

QString CAxisSignalInfo::GetStandardType(const QString &strDir, const QString &strKind)
{
    return m_mapDirs[strDir].GetStandardType(strKind);
}

int32_t CAxisSignalInfo::AddTestData(const QString &strDir, const QString &strKind, const QList<uint32_t> &lstValues,
                                     uint32_t nFrame)
{
    return m_mapDirs[strDir].AddTestData(strKind, lstValues, nFrame);
}

int32_t CAxisSignalInfo::GetTestData(const QString &strDir, const QString &strKind, QList<uint32_t> &lstOut,
                                     uint32_t nFrame)
{
    return m_mapDirs[strDir].GetTestData(strKind, lstOut, nFrame);
}

bool CAxisSignalInfo::WriteDirs(QXmlStreamWriter &writer) const
{
    int32_t i = 0;
    for (auto it = m_mapDirs.cbegin(); it != m_mapDirs.cend(); ++it)
        it->WriteXml(writer, it.key(), i++);
    return writer.hasError();
}

bool CAxisSignalInfo::ReadXml(QXmlStreamReader &reader)
{
    const QXmlStreamAttributes attrs = reader.attributes();
    if (attrs.hasAttribute(QLatin1String("maxSignal")))
        m_nMaxSignal = attrs.value(QLatin1String("maxSignal")).toUInt();
    if (attrs.hasAttribute(QLatin1String("maxValue")))
        m_nMaxValue = attrs.value(QLatin1String("maxValue")).toUInt();
    if (attrs.hasAttribute(QLatin1String("signalStart")))
        m_nSignalStart = attrs.value(QLatin1String("signalStart")).toUInt();
    if (attrs.hasAttribute(QLatin1String("divide"))) {
        const QString strDivide = attrs.value(QLatin1String("divide")).toString();
        if (!strDivide.isEmpty()) {
            // Every part read before the list is replaced: a zone end that is
            // no number is noted and leaves the list as it was.
            QList<uint32_t> lstDivide;
            const QVector<QStringRef> parts = strDivide.splitRef(QLatin1Char('-'));
            for (const QStringRef &part : parts) {
                uint32_t nEnd = 0;
                if (!CUnreadableNumber::ReadUnsigned(part, &nEnd)) {
                    m_unreadable.Note(QStringLiteral("divide, part %1").arg(lstDivide.size()), part);
                    break;
                }
                lstDivide.append(nEnd);
            }
            if (lstDivide.size() == parts.size())
                m_lstDivide = lstDivide;
        }
    }

    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("dir")) {
            const QXmlStreamAttributes dirAttrs = reader.attributes();
            if (dirAttrs.hasAttribute(QLatin1String("name")))
                m_mapDirs[dirAttrs.value(QLatin1String("name")).toString()].ReadXml(reader);
            else
                reader.skipCurrentElement();
        } else {
            reader.skipCurrentElement();
        }
    }
    return reader.hasError();
}
