#include "sensorinfo.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "xmlformat.h"

using XmlFormat::Num;

namespace {

const char *const kTypeNames[8] = {"DIP_T_L", "DIP_R_L", "SMT_T_L", "SMT_R_L",
                                   "DIP_T_S", "DIP_R_S", "SMT_T_S", "SMT_R_S"};

} // namespace

int32_t CSensorInfo::SetSize(double dWidth, double dLength, double dHeight)
{
    m_dWidth = dWidth;
    m_dLength = dLength;
    m_dHeight = dHeight;
    return 1;
}

int32_t CSensorInfo::SetVCenter(double dVCenter)
{
    m_dVCenter = dVCenter;
    return 1;
}

int32_t CSensorInfo::SetAngle(double dAngle)
{
    m_dAngle = dAngle;
    return 1;
}

int32_t CSensorInfo::SetType(int32_t nType)
{
    m_nType = nType;
    return 1;
}

int32_t CSensorInfo::SetTypeByName(const QString &strType)
{
    const int32_t nType = TypeFromName(strType);
    if (nType >= 0)
        m_nType = nType;
    return 1;
}

int32_t CSensorInfo::SetPos(const QPointF &pos)
{
    m_pos = pos;
    return 1;
}

int32_t CSensorInfo::SetID(const QString &strID)
{
    m_strID = strID;
    return 1;
}

int32_t CSensorInfo::AddRelation(const QString &strRelation)
{
    m_lstRelations.append(strRelation);
    return 1;
}

QString CSensorInfo::GetTypeName() const
{
    return TypeName(m_nType);
}

QString CSensorInfo::GetPosText() const
{
    return XmlFormat::PosText(m_pos);
}

QString CSensorInfo::TypeName(int32_t nType)
{
    if (nType < 0 || nType > 7)
        return QString();
    return QString::fromLatin1(kTypeNames[nType]);
}

int32_t CSensorInfo::TypeFromName(const QString &strType)
{
    for (int32_t n = 0; n < 8; ++n) {
        if (strType == QLatin1String(kTypeNames[n]))
            return n;
    }
    return -1;
}

bool CSensorInfo::WriteXml(QXmlStreamWriter &writer, int32_t nIndex) const
{
    writer.writeStartElement(QStringLiteral("led"));
    writer.writeAttribute(QStringLiteral("ID"), QString::number(nIndex));
    writer.writeAttribute(QStringLiteral("width"), Num(m_dWidth));
    writer.writeAttribute(QStringLiteral("height"), Num(m_dHeight));
    writer.writeAttribute(QStringLiteral("length"), Num(m_dLength));
    writer.writeAttribute(QStringLiteral("vCenter"), Num(m_dVCenter));
    writer.writeAttribute(QStringLiteral("angle"), Num(m_dAngle));
    writer.writeAttribute(QStringLiteral("type"), GetTypeName());
    writer.writeAttribute(QStringLiteral("pos"), GetPosText());
    writer.writeEndElement();
    return writer.hasError();
}

bool CSensorInfo::ReadXml(QXmlStreamReader &reader)
{
    const QXmlStreamAttributes attrs = reader.attributes();
    if (attrs.hasAttribute(QLatin1String("ID"))) {
        // The written index, counted from 1 and led by a blank: index 0 reads as " 1".
        const qint64 nIndex = attrs.value(QLatin1String("ID")).toInt();
        m_strID = QLatin1Char(' ') + QString::number(nIndex + 1);
    }
    if (attrs.hasAttribute(QLatin1String("width")) && attrs.hasAttribute(QLatin1String("height"))
        && attrs.hasAttribute(QLatin1String("length"))) {
        m_dWidth = attrs.value(QLatin1String("width")).toDouble();
        m_dHeight = attrs.value(QLatin1String("height")).toDouble();
        m_dLength = attrs.value(QLatin1String("length")).toDouble();
    }
    if (attrs.hasAttribute(QLatin1String("angle")))
        m_dAngle = attrs.value(QLatin1String("angle")).toDouble();
    if (attrs.hasAttribute(QLatin1String("vCenter")))
        m_dVCenter = attrs.value(QLatin1String("vCenter")).toDouble();
    if (attrs.hasAttribute(QLatin1String("type")))
        SetTypeByName(attrs.value(QLatin1String("type")).toString());
    if (attrs.hasAttribute(QLatin1String("pos")))
        m_pos = XmlFormat::ParsePos(attrs.value(QLatin1String("pos")).toString());

    while (reader.readNextStartElement())
        reader.skipCurrentElement();
    return reader.hasError();
}
