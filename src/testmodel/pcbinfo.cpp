#include "pcbinfo.h"

#include "xmlformat.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

using XmlFormat::Num;

int32_t CPcbInfo::SetSize(double dWidth, double dLength, double dHeight)
{
    m_dWidth = dWidth;
    m_dLength = dLength;
    m_dHeight = dHeight;
    return 1;
}

int32_t CPcbInfo::SetAngle(double dAngle)
{
    m_dAngle = dAngle;
    return 1;
}

int32_t CPcbInfo::SetPos(const QPointF &pos)
{
    m_pos = pos;
    return 1;
}

int32_t CPcbInfo::SetPlacement(int32_t nPlacement)
{
    m_nPlacement = nPlacement;
    return 1;
}

int32_t CPcbInfo::SetPlacementByName(const QString &strPlacement)
{
    if (strPlacement == QLatin1String("Standing"))
        m_nPlacement = 0;
    else if (strPlacement == QLatin1String("Lying"))
        m_nPlacement = 1;
    return 1;
}

int32_t CPcbInfo::SetID(const QString &strID)
{
    m_strID = strID;
    return 1;
}

int32_t CPcbInfo::SetLeds(const QList<CSensorInfo> &lstLeds)
{
    m_lstLeds = lstLeds;
    return 1;
}

QString CPcbInfo::GetPosText() const
{
    return XmlFormat::PosText(m_pos);
}

QString CPcbInfo::GetPlacementName() const
{
    switch (m_nPlacement) {
    case 0:
        return QStringLiteral("Standing");
    case 1:
        return QStringLiteral("Lying");
    default:
        return QString();
    }
}

QList<QString> &CPcbInfo::GetSensorRelations(int32_t n)
{
    Q_ASSERT(n >= 0 && n < m_lstLeds.size());
    return m_lstLeds[n].GetRelations();
}

int32_t CPcbInfo::AddSensorRelation(int32_t n, const QString &strRelation)
{
    Q_ASSERT(n >= 0 && n < m_lstLeds.size());
    return m_lstLeds[n].AddRelation(strRelation);
}

bool CPcbInfo::WriteXml(QXmlStreamWriter &writer, int32_t nIndex) const
{
    writer.writeStartElement(QStringLiteral("pcb"));
    writer.writeAttribute(QStringLiteral("ID"), QString::number(nIndex));
    writer.writeAttribute(QStringLiteral("width"), Num(m_dWidth));
    writer.writeAttribute(QStringLiteral("height"), Num(m_dHeight));
    writer.writeAttribute(QStringLiteral("length"), Num(m_dLength));
    writer.writeAttribute(QStringLiteral("angle"), Num(m_dAngle));
    writer.writeAttribute(QStringLiteral("type"), GetPlacementName());
    writer.writeAttribute(QStringLiteral("pos"), GetPosText());
    int32_t k = 0;
    for (const CSensorInfo &led : m_lstLeds)
        led.WriteXml(writer, k++);
    writer.writeEndElement();
    return writer.hasError();
}

bool CPcbInfo::ReadXml(QXmlStreamReader &reader)
{
    const QXmlStreamAttributes attrs = reader.attributes();
    if (attrs.hasAttribute(QLatin1String("width")) && attrs.hasAttribute(QLatin1String("height"))
        && attrs.hasAttribute(QLatin1String("length"))) {
        m_dWidth = attrs.value(QLatin1String("width")).toDouble();
        m_dHeight = attrs.value(QLatin1String("height")).toDouble();
        m_dLength = attrs.value(QLatin1String("length")).toDouble();
    }
    if (attrs.hasAttribute(QLatin1String("pos")))
        m_pos = XmlFormat::ParsePos(attrs.value(QLatin1String("pos")).toString());
    if (attrs.hasAttribute(QLatin1String("type")))
        SetPlacementByName(attrs.value(QLatin1String("type")).toString());
    if (attrs.hasAttribute(QLatin1String("angle")))
        m_dAngle = attrs.value(QLatin1String("angle")).toDouble();

    while (reader.readNextStartElement()) {
        if (reader.name() == QLatin1String("led")) {
            m_lstLeds.append(CSensorInfo());
            m_lstLeds.last().ReadXml(reader);
        } else {
            reader.skipCurrentElement();
        }
    }
    return reader.hasError();
}
