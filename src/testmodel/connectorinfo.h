#pragma once

#include <QPointF>
#include <QString>
#include <cstdint>

class QXmlStreamReader;
class QXmlStreamWriter;

// One connector between two boards (XML element "connector"). A plain value
// type; the hardware description keys it by a text naming the two boards.
class CConnectorInfo
{
public:
    CConnectorInfo() = default;

    // All setters return 1.
    int32_t SetSize(double dWidth, double dLength, double dHeight); // note the order
    int32_t SetDipLength(double d0, double d1, double d2, double d3);
    // Accepted for the layout's sake; the connector type is not derived from a text.
    int32_t SetType(const QString &strType);
    int32_t SetPos(const QPointF &pos);
    int32_t SetAngle(double dAngle);
    int32_t SetID(const QString &strID);

    QString GetID() const { return m_strID; }
    double GetWidth() const { return m_dWidth; }
    double GetLength() const { return m_dLength; }
    double GetHeight() const { return m_dHeight; }
    double GetAngle() const { return m_dAngle; }
    int32_t GetType() const { return m_nType; }
    QPointF GetPos() const { return m_pos; }
    double GetDipLength(int n) const { return (n >= 0 && n < 4) ? m_dDipLength[n] : 0.0; }
    QString GetPosText() const;
    // The four pin lengths joined by "-": "1.5-2-0-0".
    QString GetDipLengthText() const;

    // Writes <connector ID=nIndex width height length angle dipLength pos>strKey</connector>.
    // Returns true when the writer is in error.
    bool WriteXml(QXmlStreamWriter &writer, int32_t nIndex, const QString &strKey) const;
    // Reads the attributes of the "connector" start element only; the caller
    // reads the element text (the key). Returns true when the reader reports an error.
    bool ReadXml(QXmlStreamReader &reader);

private:
    QString m_strID;
    double m_dDipLength[4] = {0.0, 0.0, 0.0, 0.0};
    double m_dWidth = 0.0;
    double m_dLength = 0.0;
    double m_dHeight = 0.0;
    double m_dAngle = 0.0;
    int32_t m_nType = 3;
    QPointF m_pos;
};
