#include "connector.h"

#include "diagramvalue.h"

#include <QBrush>
#include <QColor>
#include <QPen>
#include <QTransform>

using DiagramValue::Scaled;

CConnector::CConnector(const CConnectorInfo *info, double scale, QGraphicsItem *parent)
    : QGraphicsPolygonItem(parent), m_dScale(DiagramValue::Finite(scale)), m_info(info ? *info : CConnectorInfo())
{
    setPos(Scaled(m_info.GetPos(), m_dScale));
    setRotation(DiagramValue::Finite(m_info.GetAngle()));
    setBrush(QBrush(QColor(QStringLiteral("black")), Qt::SolidPattern));
    setPen(QPen(QBrush(QColor::fromRgba(0xFFFFD700), Qt::SolidPattern), 0, Qt::SolidLine, Qt::SquareCap,
                Qt::BevelJoin));
    setToolTip(m_info.GetID());
    setZValue(1);

    const double d[4] = {Scaled(m_info.GetDipLength(0), m_dScale), Scaled(m_info.GetDipLength(1), m_dScale),
                         Scaled(m_info.GetDipLength(2), m_dScale), Scaled(m_info.GetDipLength(3), m_dScale)};
    setPolygon(Outline(m_info.GetType(), Scaled(m_info.GetLength(), m_dScale), Scaled(m_info.GetWidth(), m_dScale), d)
                   .toFillPolygon(QTransform()));
}

QPainterPath CConnector::Outline(int32_t nPins, double L, double W, const double d[4])
{
    const int n = qBound(0, nPins, kMaxPins) + 1;
    QPainterPath path;
    path.moveTo(-L / 2.0, -W / 2.0);
    // Left side, downwards.
    for (int k = 1; k < n; ++k) {
        const double y = -W / 2.0 + k * W / n;
        path.lineTo(-L / 2.0, y);
        path.lineTo(-L / 2.0 - d[0], y);
        path.lineTo(-L / 2.0, y);
    }
    path.lineTo(-L / 2.0, W / 2.0);
    // Lower side, to the right.
    for (int k = 1; k < n; ++k) {
        const double x = -L / 2.0 + k * L / n;
        path.lineTo(x, W / 2.0);
        path.lineTo(x, W / 2.0 + d[2]);
        path.lineTo(x, W / 2.0);
    }
    path.lineTo(L / 2.0, W / 2.0);
    // Right side, upwards.
    for (int k = 1; k < n; ++k) {
        const double y = W / 2.0 - k * W / n;
        path.lineTo(L / 2.0, y);
        path.lineTo(L / 2.0 + d[1], y);
        path.lineTo(L / 2.0, y);
    }
    path.lineTo(L / 2.0, -W / 2.0);
    // Upper side, to the left.
    for (int k = 1; k < n; ++k) {
        const double x = L / 2.0 - k * L / n;
        path.lineTo(x, -W / 2.0);
        path.lineTo(x, -W / 2.0 - d[3]);
        path.lineTo(x, -W / 2.0);
    }
    path.lineTo(-L / 2.0, -W / 2.0);
    return path;
}

bool CConnector::SetState(const QString &state)
{
    Qt::GlobalColor color = Qt::black;
    if (state == QLatin1String("CONNECTOR_ERROR"))
        color = Qt::red;
    else if (state == QLatin1String("CONNECTOR_ERROR_PRO1"))
        color = Qt::yellow;
    else if (state == QLatin1String("CONNECTOR_ERROR_PRO2"))
        color = Qt::blue;
    setBrush(QBrush(color, Qt::SolidPattern));
    return true;
}
