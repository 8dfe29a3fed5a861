#include "hardwareinfo.h"

#include "xmlformat.h"

#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <limits>

using XmlFormat::Num;

int32_t CHardwareInfo::SetInterfaceType(int32_t nType)
{
    m_nInterfaceType = nType;
    return 0;
}

int32_t CHardwareInfo::SetInterfaceDir(int32_t nDir)
{
    m_nInterfaceDir = nDir;
    return 0;
}

int32_t CHardwareInfo::SetOpenArea(double dWidth, double dHeight, double dX, double dY)
{
    m_rcOpenArea = QRectF(dX, dY, dWidth, dHeight);
    return 1;
}

int32_t CHardwareInfo::AddConnector(const QString &strKey, const CConnectorInfo &connector)
{
    m_mapConnectors.insert(strKey, connector);
    return 1;
}

int32_t CHardwareInfo::SetAxis(uint32_t nID, const QString &strName, const PcbList &lstBoards)
{
    m_mapBoards.insert(strName, lstBoards);
    m_mapAxisNames.insert(nID, strName);
    return 1;
}

namespace {

// One end of a relation, "<axis>:<n>" with exactly one colon: false when it
// has another shape. *pbNumber tells whether n is an unsigned decimal number
// (*pn then holds it, capped to the int32 range: beyond every side anyway).
bool SplitRelationEnd(const QStringRef &end, QStringRef *pAxis, int32_t *pn, bool *pbNumber)
{
    const int nColon = end.indexOf(QLatin1Char(':'));
    if (nColon < 0 || end.indexOf(QLatin1Char(':'), nColon + 1) >= 0)
        return false;
    *pAxis = end.left(nColon);
    const QStringRef number = end.mid(nColon + 1);
    uint32_t n = 0;
    *pbNumber = !number.isEmpty() && CUnreadableNumber::ReadUnsigned(number, &n);
    *pn = int32_t(qMin<uint32_t>(n, uint32_t(std::numeric_limits<int32_t>::max())));
    return true;
}

} // namespace

int32_t CHardwareInfo::ParseRelation(const QString &strRelation)
{
    // "<axis>:<n>-<axis>:<m>" with exactly one dash, read in place: a record
    // may hold hundreds of thousands of these.
    const int nDash = strRelation.indexOf(QLatin1Char('-'));
    if (nDash >= 0 && strRelation.indexOf(QLatin1Char('-'), nDash + 1) < 0) {
        const QStringRef endA = strRelation.leftRef(nDash);
        const QStringRef endB = strRelation.midRef(nDash + 1);
        QStringRef axisA, axisB;
        int32_t a = 0, b = 0;
        bool bNumberA = false, bNumberB = false;
        if (SplitRelationEnd(endA, &axisA, &a, &bNumberA) && SplitRelationEnd(endB, &axisB, &b, &bNumberB)) {
            if (!bNumberA || !bNumberB) {
                // The sensor is not known: the light path goes to no sensor.
                m_unreadable.Note(QStringLiteral("relation %1").arg(m_lstSensorRelations.size()),
                                  bNumberA ? endB : endA);
            } else {
                // The axis names are looked up over the relation's own
                // characters, not copied: AddRelation only finds the axis and
                // keeps nothing of its name.
                QString strAxis;
                strAxis.setRawData(axisA.unicode(), axisA.size());
                AddRelation(strAxis, a, strRelation);
                strAxis.setRawData(axisB.unicode(), axisB.size());
                AddRelation(strAxis, b, strRelation);
            }
        }
    }
    m_lstSensorRelations.append(strRelation);
    return 1;
}

int32_t CHardwareInfo::AddRelation(const QString &strAxis, int32_t n, const QString &strRelation)
{
    auto it = m_mapBoards.find(strAxis);
    if (it == m_mapBoards.end() || n < 0)
        return 0;
    for (CPcbInfo &pcb : *it) {
        const int32_t nCount = pcb.GetLedCount();
        if (n < nCount) {
            pcb.AddSensorRelation(n, strRelation);
            return 1;
        }
        n -= nCount;
    }
    return 0;
}

uint32_t CHardwareInfo::GetSensorCount(const QString &strAxis) const
{
    auto it = m_mapBoards.constFind(strAxis);
    if (it == m_mapBoards.cend())
        return 0;
    uint32_t nCount = 0;
    for (const CPcbInfo &pcb : *it)
        nCount += static_cast<uint32_t>(pcb.GetLedCount());
    return nCount;
}

uint32_t CHardwareInfo::GetPcbSensorCount(const QString &strAxis, int32_t n) const
{
    auto it = m_mapBoards.constFind(strAxis);
    if (it == m_mapBoards.cend() || n < 0 || n >= it->size())
        return 0;
    return static_cast<uint32_t>(it->at(n).GetLedCount());
}

uint32_t CHardwareInfo::GetTotalSensorCount() const
{
    uint32_t nCount = 0;
    for (auto it = m_mapBoards.cbegin(); it != m_mapBoards.cend(); ++it)
        nCount += GetSensorCount(it.key());
    return nCount;
}

bool CHardwareInfo::WriteXml(QXmlStreamWriter &writer) const
{
    if (m_lstSensorRelations.size() + m_mapBoards.size() + m_mapConnectors.size() <= 0)
        return writer.hasError();

    writer.writeStartElement(QStringLiteral("hardware_info"));
    writer.writeAttribute(QStringLiteral("interfaceType"), QString::number(m_nInterfaceType));
    writer.writeAttribute(QStringLiteral("interfaceDir"), QString::number(m_nInterfaceDir));
    writer.writeAttribute(QStringLiteral("openArea"),
                          Num(m_rcOpenArea.height()) + QLatin1Char(':') + Num(m_rcOpenArea.width())
                              + QLatin1Char(':') + Num(m_rcOpenArea.y()) + QLatin1Char(':')
                              + Num(m_rcOpenArea.x()));

    for (auto it = m_mapAxisNames.cbegin(); it != m_mapAxisNames.cend(); ++it) {
        writer.writeStartElement(QStringLiteral("axis"));
        writer.writeAttribute(QStringLiteral("ID"), QString::number(it.key()));
        writer.writeAttribute(QStringLiteral("name"), it.value());
        auto itBoards = m_mapBoards.constFind(it.value());
        if (itBoards != m_mapBoards.cend()) {
            int32_t j = 0;
            for (const CPcbInfo &pcb : *itBoards)
                pcb.WriteXml(writer, j++);
        }
        writer.writeEndElement();
    }

    if (!m_lstSensorRelations.isEmpty() || !m_mapConnectors.isEmpty()) {
        writer.writeStartElement(QStringLiteral("logic_info"));
        if (!m_lstSensorRelations.isEmpty()) {
            writer.writeStartElement(QStringLiteral("sensor_relation"));
            for (int i = 0; i < m_lstSensorRelations.size(); ++i) {
                writer.writeStartElement(QStringLiteral("relation"));
                writer.writeAttribute(QStringLiteral("ID"), QString::number(i));
                writer.writeCharacters(m_lstSensorRelations.at(i));
                writer.writeEndElement();
            }
            writer.writeEndElement();
        }
        if (!m_mapConnectors.isEmpty()) {
            writer.writeStartElement(QStringLiteral("pcb_relation"));
            int32_t i = 0;
            for (auto it = m_mapConnectors.cbegin(); it != m_mapConnectors.cend(); ++it)
                it.value().WriteXml(writer, i++, it.key());
            writer.writeEndElement();
        }
        writer.writeEndElement();
    }

    writer.writeEndElement();
    return writer.hasError();
}

bool CHardwareInfo::ReadXml(QXmlStreamReader &reader)
{
    const QXmlStreamAttributes attrs = reader.attributes();
    if (attrs.hasAttribute(QLatin1String("interfaceType")))
        m_nInterfaceType = attrs.value(QLatin1String("interfaceType")).toInt();
    if (attrs.hasAttribute(QLatin1String("interfaceDir")))
        m_nInterfaceDir = attrs.value(QLatin1String("interfaceDir")).toInt();
    if (attrs.hasAttribute(QLatin1String("openArea"))) {
        const QStringList parts = attrs.value(QLatin1String("openArea")).toString().split(QLatin1Char(':'));
        if (parts.size() >= 4) {
            const double dHeight = parts.at(0).toDouble();
            const double dWidth = parts.at(1).toDouble();
            const double dY = parts.at(2).toDouble();
            const double dX = parts.at(3).toDouble();
            m_rcOpenArea = QRectF(dX, dY, dWidth, dHeight);
        }
    }

    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("axis"))
            ReadAxis(reader);
        else if (reader.name() == QLatin1String("logic_info"))
            ReadLogic(reader);
        else
            reader.skipCurrentElement();
    }
    return reader.hasError();
}

bool CHardwareInfo::ReadAxis(QXmlStreamReader &reader)
{
    const QXmlStreamAttributes attrs = reader.attributes();
    if (!attrs.hasAttribute(QLatin1String("name")) || !attrs.hasAttribute(QLatin1String("ID"))) {
        // An axis without its name or ID adds nothing, not even its boards.
        reader.skipCurrentElement();
        return reader.hasError();
    }
    const QString strName = attrs.value(QLatin1String("name")).toString();
    const QStringRef id = attrs.value(QLatin1String("ID"));
    uint32_t nID = 0;
    if (id.isEmpty() || !CUnreadableNumber::ReadUnsigned(id, &nID)) {
        // Read as 0, the side would take the place of side 0 in the fault
        // analysis: an ID that is no number adds nothing, as a missing one.
        m_unreadable.Note(QStringLiteral("axis \"%1\" ID").arg(CUnreadableNumber::Shown(QStringRef(&strName))),
                          id);
        reader.skipCurrentElement();
        return reader.hasError();
    }
    m_mapAxisNames.insert(nID, strName);
    PcbList &lstBoards = m_mapBoards[strName];
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("pcb")) {
            lstBoards.append(CPcbInfo());
            lstBoards.last().ReadXml(reader);
        } else {
            reader.skipCurrentElement();
        }
    }
    return reader.hasError();
}

bool CHardwareInfo::ReadLogic(QXmlStreamReader &reader)
{
    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("sensor_relation")) {
            while (reader.readNextStartElement()) {
                if (reader.name() == QLatin1String("relation"))
                    ParseRelation(reader.readElementText(QXmlStreamReader::IncludeChildElements));
                else
                    reader.skipCurrentElement();
            }
        } else if (reader.name() == QLatin1String("pcb_relation")) {
            while (reader.readNextStartElement()) {
                if (reader.name() == QLatin1String("connector")) {
                    CConnectorInfo connector;
                    connector.ReadXml(reader);
                    const QString strKey = reader.readElementText(QXmlStreamReader::IncludeChildElements);
                    m_mapConnectors.insert(strKey, connector);
                } else {
                    reader.skipCurrentElement();
                }
            }
        } else {
            reader.skipCurrentElement();
        }
    }
    return reader.hasError();
}
