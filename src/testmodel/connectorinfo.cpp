#include "connectorinfo.h"

#include "xmlformat.h"

#include <QStringList>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

using XmlFormat::Num;

int32_t CConnectorInfo::SetSize(double dWidth, double dLength, double dHeight)
{
    m_dWidth = dWidth;
    m_dLength = dLength;
    m_dHeight = dHeight;
    return 1;
}

int32_t CConnectorInfo::SetDipLength(double d0, double d1, double d2, double d3)
{
    m_dDipLength[0] = d0;
    m_dDipLength[1] = d1;
    m_dDipLength[2] = d2;
    m_dDipLength[3] = d3;
    return 1;
}

int32_t CConnectorInfo::SetType(const QString &)
{
    // Connectors are built with type 3; no text maps onto another type.
    return 1;
}

int32_t CConnectorInfo::SetPos(const QPointF &pos)
{
    m_pos = pos;
    return 1;
}

int32_t CConnectorInfo::SetAngle(double dAngle)
{
    m_dAngle = dAngle;
    return 1;
}

int32_t CConnectorInfo::SetID(const QString &strID)
{
    m_strID = strID;
    return 1;
}

QString CConnectorInfo::GetPosText() const
{
    return XmlFormat::PosText(m_pos);
}

QString CConnectorInfo::GetDipLengthText() const
{
    return Num(m_dDipLength[0]) + QLatin1Char('-') + Num(m_dDipLength[1]) + QLatin1Char('-')
        + Num(m_dDipLength[2]) + QLatin1Char('-') + Num(m_dDipLength[3]);
}

bool CConnectorInfo::WriteXml(QXmlStreamWriter &writer, int32_t nIndex, const QString &strKey) const
{
    writer.writeStartElement(QStringLiteral("connector"));
    writer.writeAttribute(QStringLiteral("ID"), QString::number(nIndex));
    writer.writeAttribute(QStringLiteral("width"), Num(m_dWidth));
    writer.writeAttribute(QStringLiteral("height"), Num(m_dHeight));
    writer.writeAttribute(QStringLiteral("length"), Num(m_dLength));
    writer.writeAttribute(QStringLiteral("angle"), Num(m_dAngle));
    writer.writeAttribute(QStringLiteral("dipLength"), GetDipLengthText());
    writer.writeAttribute(QStringLiteral("pos"), GetPosText());
    writer.writeCharacters(strKey);
    writer.writeEndElement();
    return writer.hasError();
}

bool CConnectorInfo::ReadXml(QXmlStreamReader &reader)
{
    const QXmlStreamAttributes attrs = reader.attributes();
    if (attrs.hasAttribute(QLatin1String("width")) && attrs.hasAttribute(QLatin1String("height"))
        && attrs.hasAttribute(QLatin1String("length"))) {
        m_dWidth = attrs.value(QLatin1String("width")).toDouble();
        m_dHeight = attrs.value(QLatin1String("height")).toDouble();
        m_dLength = attrs.value(QLatin1String("length")).toDouble();
    }
    if (attrs.hasAttribute(QLatin1String("angle")))
        m_dAngle = attrs.value(QLatin1String("angle")).toDouble();
    if (attrs.hasAttribute(QLatin1String("dipLength"))) {
        const QStringList parts = attrs.value(QLatin1String("dipLength")).toString().split(QLatin1Char('-'));
        for (int n = 0; n < 4; ++n)
            m_dDipLength[n] = (n < parts.size()) ? parts.at(n).toDouble() : 0.0;
    }
    // A "type" attribute is accepted and changes nothing.
    if (attrs.hasAttribute(QLatin1String("pos")))
        m_pos = XmlFormat::ParsePos(attrs.value(QLatin1String("pos")).toString());
    return reader.hasError();
}
