#include "irsensor.h"

#include "diagramvalue.h"
#include "graphicstextitem.h"

#include <QBrush>
#include <QPen>
#include <QTransform>
#include <QVector>

using DiagramValue::Scaled;

CIRSensor::CIRSensor(const CSensorInfo *info, double scale, QGraphicsItem *parent)
    : QGraphicsPolygonItem(parent), m_info(info ? *info : CSensorInfo()), m_dScale(DiagramValue::Finite(scale))
{
    // The position is relative to the board's centre; the sensor turns with
    // its board, so the record's own angle and height play no part.
    setPos(Scaled(m_info.GetPos(), m_dScale));
    setPen(QPen(QBrush(Qt::black), 0, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    setToolTip(m_info.GetID());

    const double w = Scaled(m_info.GetWidth(), m_dScale);
    const double l = Scaled(m_info.GetLength(), m_dScale);
    const double c = Scaled(m_info.GetVCenter(), m_dScale);
    const double p = Scaled(2.0, m_dScale);
    setPolygon(OutlinePolygon(m_info.GetType(), w, l, c, p));
    // From the pin tips down to the lowest point of the semicircular end.
    m_rcBounds = QRectF(-w / 2.0, c - l - p, w, l + p).normalized();
}

CGraphicsTextItem *CIRSensor::Label()
{
    if (!m_pLabel) {
        m_pLabel = new CGraphicsTextItem(m_info.GetID(), this);
        m_pLabel->SetTextColor(Qt::red);
        m_pLabel->setVisible(false);
        // The label reads upright on screen whatever the board's turn and
        // the view's orientation: it has no turn or mirror of its own.
        m_pLabel->SetSide(m_bLabelRight, m_bLabelDown);
    }
    return m_pLabel;
}

void CIRSensor::SetLabelSide(bool bRight, bool bDown)
{
    m_bLabelRight = bRight;
    m_bLabelDown = bDown;
    if (m_pLabel)
        m_pLabel->SetSide(bRight, bDown);
}

bool CIRSensor::LabelShown() const
{
    return m_pLabel && m_pLabel->isVisible();
}

void CIRSensor::ShowLabel(bool bShow)
{
    if (bShow)
        Label()->setVisible(true);
    else if (m_pLabel)
        m_pLabel->setVisible(false);
}

QPolygonF CIRSensor::OutlinePolygon(int32_t nType, double w, double l, double c, double p)
{
    // The sensors of a frame come in one or two sizes: the polygon of each
    // is made once and shared (a frame may hold thousands of sensors, and a
    // path's fill polygon costs more than the rest of a sensor).
    struct SShape
    {
        int32_t nType;
        double w, l, c, p;
        QPolygonF polygon;
    };
    thread_local QVector<SShape> vecShapes;
    for (const SShape &shape : qAsConst(vecShapes)) {
        if (shape.nType == nType && shape.w == w && shape.l == l && shape.c == c && shape.p == p)
            return shape.polygon;
    }
    const QPolygonF polygon = Outline(nType, w, l, c, p).toFillPolygon(QTransform());
    if (vecShapes.size() >= 64)
        vecShapes.removeFirst();
    vecShapes.append({nType, w, l, c, p, polygon});
    return polygon;
}

QPainterPath CIRSensor::Outline(int32_t nType, double w, double l, double c, double p)
{
    QPainterPath path;
    if (nType < 0 || nType > 7)
        return path;

    const QRectF rcDome(-w / 2.0, c - w, w, w);
    path.moveTo(w / 2.0, c - w / 2.0);
    if (nType % 2 == 0) {
        path.arcTo(rcDome, 0.0, -180.0);
    } else {
        // The receiver: two strokes from the end's arc to the opposite top
        // corners, there and back, so they cross inside the body.
        path.arcTo(rcDome, 0.0, -45.0);
        const QPointF ptRight = path.currentPosition();
        path.lineTo(-w / 2.0, c - l);
        path.lineTo(ptRight);
        path.arcTo(rcDome, -45.0, -90.0);
        const QPointF ptLeft = path.currentPosition();
        path.lineTo(w / 2.0, c - l);
        path.lineTo(ptLeft);
        path.arcTo(rcDome, -135.0, -45.0);
    }
    path.lineTo(-w / 2.0, c - l);
    path.lineTo(-w / 4.0, c - l);
    path.lineTo(-w / 4.0, c - l - p);
    path.lineTo(-w / 4.0, c - l);
    path.lineTo(w / 4.0, c - l);
    path.lineTo(w / 4.0, c - l - p);
    path.lineTo(w / 4.0, c - l);
    path.lineTo(w / 2.0, c - l);
    path.lineTo(w / 2.0, c - w / 2.0);
    return path;
}

void CIRSensor::PlaceLabel(bool bShow, const QPointF &ptOffset)
{
    if (!m_bLabelWanted) {
        ShowLabel(false);
        return;
    }
    if (bShow)
        Label()->SetOffset(ptOffset);
    ShowLabel(bShow);
}

bool CIRSensor::SetState(const QString &state, bool bShowLabel)
{
    const bool bWasWanted = m_bLabelWanted;
    if (state == QLatin1String("SENSOR_ERROR")) {
        setBrush(QBrush(Qt::red, Qt::SolidPattern));
        m_nFaultLevel = 2;
        m_bLabelWanted = bShowLabel;
    } else if (state == QLatin1String("SENSOR_WEEK")) {
        setBrush(QBrush(Qt::yellow, Qt::SolidPattern));
        m_nFaultLevel = 1;
        m_bLabelWanted = bShowLabel;
    } else {
        setBrush(QBrush(Qt::transparent, Qt::SolidPattern));
        m_nFaultLevel = 0;
        m_bLabelWanted = false;
    }
    // A label still asked for keeps the place (or the absence) the diagram
    // gave it; one the diagram lays out shows when it is placed.
    if (m_bLabelWanted != bWasWanted && !(m_bLabelWanted && m_bLabelLaidOut))
        ShowLabel(m_bLabelWanted);
    return true;
}

QRectF CIRSensor::boundingRect() const
{
    return m_rcBounds;
}

QPainterPath CIRSensor::shape() const
{
    QPainterPath path;
    path.addRect(m_rcBounds);
    return path;
}
