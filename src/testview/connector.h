#pragma once

#include "connectorinfo.h"

#include <QGraphicsPolygonItem>
#include <QPainterPath>
#include <QString>

// One connector between two boards in the panel diagram: a black rectangle
// with a gold outline and, on each of its four sides, as many pins as its
// type says, splitting the side evenly. It lies above boards and light paths.
class CConnector : public QGraphicsPolygonItem
{
public:
    CConnector(const CConnectorInfo *info, double scale, QGraphicsItem *parent = nullptr);

    // "CONNECTOR_ERROR" red, "CONNECTOR_ERROR_PRO1" yellow,
    // "CONNECTOR_ERROR_PRO2" blue, any other text black. Returns true.
    bool SetState(const QString &state);

    const CConnectorInfo &Info() const { return m_info; }

    // The outline: the rectangle (-L/2, -W/2, L, W) with nPins pins on each
    // side, each a stroke out and back; the pin lengths go left d[0],
    // lower d[2], right d[1], upper d[3].
    static QPainterPath Outline(int32_t nPins, double L, double W, const double d[4]);

    // Pins per side a connector draws at most; the record's type is 3.
    static constexpr int32_t kMaxPins = 64;

private:
    double m_dScale;
    CConnectorInfo m_info;
};
