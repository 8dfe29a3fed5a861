#pragma once

#include "sensorinfo.h"

#include <QList>
#include <QPointF>
#include <QString>
#include <cstdint>

class QXmlStreamReader;
class QXmlStreamWriter;

// One circuit board of a side (XML element "pcb") with its sensors in board
// order. A plain value type.
class CPcbInfo
{
public:
    CPcbInfo() = default;

    // All setters return 1.
    int32_t SetSize(double dWidth, double dLength, double dHeight); // note the order
    int32_t SetAngle(double dAngle);
    int32_t SetPos(const QPointF &pos);
    int32_t SetPlacement(int32_t nPlacement);
    // "Standing" -> 0, "Lying" -> 1; any other text leaves it unchanged.
    int32_t SetPlacementByName(const QString &strPlacement);
    int32_t SetID(const QString &strID);
    int32_t SetLeds(const QList<CSensorInfo> &lstLeds);

    QString GetID() const { return m_strID; }
    double GetWidth() const { return m_dWidth; }
    double GetLength() const { return m_dLength; }
    double GetHeight() const { return m_dHeight; }
    double GetAngle() const { return m_dAngle; }
    QPointF GetPos() const { return m_pos; }
    int32_t GetPlacement() const { return m_nPlacement; }
    QString GetPosText() const;
    // 0 -> "Standing", 1 -> "Lying", other -> "".
    QString GetPlacementName() const;
    QList<CSensorInfo> &GetLeds() { return m_lstLeds; }
    const QList<CSensorInfo> &GetLeds() const { return m_lstLeds; }
    int32_t GetLedCount() const { return m_lstLeds.size(); }
    // n must lie in 0 .. GetLedCount()-1.
    QList<QString> &GetSensorRelations(int32_t n);
    int32_t AddSensorRelation(int32_t n, const QString &strRelation);

    // Writes <pcb ID=nIndex width height length angle type pos> with its leds.
    // Returns true when the writer is in error.
    bool WriteXml(QXmlStreamWriter &writer, int32_t nIndex) const;
    // Reader on the "pcb" start element; appends one sensor per "led" child.
    // Returns true when the reader reports an error.
    bool ReadXml(QXmlStreamReader &reader);

private:
    QString m_strID;
    double m_dWidth = 0.0;
    double m_dHeight = 0.0;
    double m_dLength = 0.0;
    double m_dAngle = 0.0;
    QPointF m_pos;
    int32_t m_nPlacement = 0;
    QList<CSensorInfo> m_lstLeds;
};
