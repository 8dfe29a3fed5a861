#pragma once

#include "sensorinfo.h"

#include <QGraphicsPolygonItem>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QString>

class CGraphicsTextItem;

// One infrared sensor of a board in the panel diagram, a child item of its
// board: the transmitter symbol (a body with a semicircular end and two pins)
// for the even kinds, the receiver symbol (the same with two strokes crossing
// in the body) for the odd kinds, nothing for a kind outside 0..7. Its label,
// the sensor's ID, shows only while the sensor is at fault. The label is made
// the first time it is asked for: a text item costs more to build than the
// rest of the diagram together, and most sensors never show theirs. The
// diagram may move a label asked for away from its neighbours' or, where it
// has no room, leave it out: the sensor's tool tip names it all the same.
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
    // The last state asked for the label (at fault, with bShowLabel).
    bool LabelWanted() const { return m_bLabelWanted; }
    // The diagram lays the label out: SetState then only hides it, and the
    // label is made and shown by PlaceLabel alone (a diagram at fault asks
    // for thousands of labels and has room for a few hundred).
    void SetLabelLaidOut(bool bLaidOut) { m_bLabelLaidOut = bLaidOut; }
    bool LabelRight() const { return m_bLabelRight; }
    bool LabelDown() const { return m_bLabelDown; }
    // A label asked for shown at an offset of pixels on screen from its
    // place (CGraphicsTextItem::SetOffset), or left out; a label not asked
    // for stays hidden.
    void PlaceLabel(bool bShow, const QPointF &ptOffset = QPointF());
    // 0 sound, 1 weak, 2 in error: the state last set.
    int FaultLevel() const { return m_nFaultLevel; }
    // The side of the sensor its label lies on, on screen (right of it or
    // left, below it or above; CGraphicsTextItem::SetSide), now or when made.
    void SetLabelSide(bool bRight, bool bDown);
    const CSensorInfo &Info() const { return m_info; }

    // The outline of a sensor of the kind, in item coordinates (empty for a
    // kind outside 0..7); w, l and c are the scaled width, length and vCenter.
    static QPainterPath Outline(int32_t nType, double w, double l, double c, double p);
    // Its fill polygon (shared between sensors of one size).
    static QPolygonF OutlinePolygon(int32_t nType, double w, double l, double c, double p);

private:
    void ShowLabel(bool bShow);

    CGraphicsTextItem *m_pLabel = nullptr;
    CSensorInfo m_info;
    double m_dScale;
    QRectF m_rcBounds;
    bool m_bLabelRight = true;
    bool m_bLabelDown = true;
    bool m_bLabelWanted = false;
    bool m_bLabelLaidOut = false;
    int m_nFaultLevel = 0;
};
