#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <cstdint>

class QXmlStreamReader;
class QXmlStreamWriter;

// One infrared emitter or receiver on a board (XML element "led").
// A plain value type; its index in the board's list is its number on the board.
class CSensorInfo
{
public:
    CSensorInfo() = default;

    // All setters return 1.
    int32_t SetSize(double dWidth, double dLength, double dHeight); // note the order
    int32_t SetVCenter(double dVCenter);
    int32_t SetAngle(double dAngle);
    int32_t SetType(int32_t nType);
    // One of the kind names ("DIP_T_L" .. "SMT_R_S") sets that kind; any other
    // text leaves the kind as it is.
    int32_t SetTypeByName(const QString &strType);
    int32_t SetPos(const QPointF &pos);
    int32_t SetID(const QString &strID);
    // Appends a relation text that names this sensor.
    int32_t AddRelation(const QString &strRelation);

    QString GetID() const { return m_strID; }
    double GetWidth() const { return m_dWidth; }
    double GetHeight() const { return m_dHeight; }
    double GetLength() const { return m_dLength; }
    double GetVCenter() const { return m_dVCenter; }
    double GetAngle() const { return m_dAngle; }
    int32_t GetType() const { return m_nType; }
    QPointF GetPos() const { return m_pos; }
    QList<QString> &GetRelations() { return m_lstRelations; }
    const QList<QString> &GetRelations() const { return m_lstRelations; }
    // The kind name, empty for a kind outside 0..7.
    QString GetTypeName() const;
    // "(%f, %f)" of the position: (12.500000, 3.000000).
    QString GetPosText() const;

    // Writes <led ID=nIndex width height length vCenter angle type pos/>.
    // Returns true when the writer is in error.
    bool WriteXml(QXmlStreamWriter &writer, int32_t nIndex) const;
    // Reader on the "led" start element; consumes up to its end element.
    // Returns true when the reader reports an error.
    bool ReadXml(QXmlStreamReader &reader);

    // Kind table: 0 "DIP_T_L" .. 7 "SMT_R_S". TypeFromName gives -1 for an
    // unknown text.
    static QString TypeName(int32_t nType);
    static int32_t TypeFromName(const QString &strType);

private:
    QString m_strID;
    double m_dWidth = 5.2;
    double m_dHeight = 4.16;
    double m_dLength = 7.28;
    double m_dVCenter = 2.6;
    double m_dAngle = 0.0;
    QPointF m_pos;
    int32_t m_nType = 0;
    QList<QString> m_lstRelations;
};
