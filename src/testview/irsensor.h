#pragma once

#include "sensorinfo.h"

#include <QGraphicsPolygonItem>
#include <QPainterPath>
#include <QRectF>
#include <QString>

class CGraphicsTextItem;

// One infrared sensor of a board in the panel diagram, a child item of its
// board: the transmitter symbol (a body with a semicircular end and two pins)
// for the even kinds, the receiver symbol (the same with two strokes crossing
// in the body) for the odd kinds, nothing for a kind outside 0..7. Its label,
// the sensor's ID, shows only while the sensor is at fault. The label is made
// the first time it is asked for: a text item costs more to build than the
// rest of the diagram together, and most sensors never show theirs.
class CIRSensor : public QGraphicsPolygonItem
{
public:
    CIRSensor(const CSensorInfo *info, double scale, QGraphicsItem *parent = nullptr);

    // "SENSOR_ERROR": red, label shown exactly when bShowLabel;
    // "SENSOR_WEEK": yellow, the same; any other text: unfilled, label hidden.
    // Returns true.
    bool SetState(const QString &state, bool bShowLabel);

    QRectF boundingRect() const override;
    // The whole bounding rectangle is hit-sensitive.
    QPainterPath shape() const override;

    // The label, made now if it was not yet (hidden, a child of the sensor).
    CGraphicsTextItem *Label();
    bool LabelShown() const;
    // The side of the sensor its label lies on, on screen (right of it or
    // left, below it or above; CGraphicsTextItem::SetSide), now or when made.
    void SetLabelSide(bool bRight, bool bDown);
    const CSensorInfo &Info() const { return m_info; }

    // The outline of a sensor of the kind, in item coordinates (empty for a
    // kind outside 0..7); w, l and c are the scaled width, length and vCenter.
    static QPainterPath Outline(int32_t nType, double w, double l, double c, double p);

private:
    void ShowLabel(bool bShow);

    CGraphicsTextItem *m_pLabel = nullptr;
    CSensorInfo m_info;
    double m_dScale;
    QRectF m_rcBounds;
    bool m_bLabelRight = true;
    bool m_bLabelDown = true;
};
