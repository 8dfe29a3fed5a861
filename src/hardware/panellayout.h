#pragma once

#include "panelgeometry.h"

#include <QPointF>
#include <QString>
#include <QVector>

class CHardwareInfo;

// Builds the panel description of a frame (boards, sensors, connectors and the
// open area) from its geometry and the positions of its LEDs.
//
// The LED points are in the order the frame's LED table uses: the bottom side
// (X emitters, left to right), the top side (X receivers), the left side
// (Y receivers, bottom to top) and the right side (Y emitters); positions in
// millimetres. The two ways a frame describes itself both end here:
// FromLedTable() takes the positions the frame reports in its parameter block,
// FromBoardSpec() lays out a regular panel from the board size of its version.
class CPanelLayout
{
public:
    // LED size s and board width (depth) w in millimetres.
    double dLedSize = 0.0;
    double dBoardWidth = 0.0;
    // Edges of the open area: bottom y, top y, left x, right x.
    double dBottom = 0.0;
    double dTop = 0.0;
    double dLeft = 0.0;
    double dRight = 0.0;
    QVector<QPointF> vecPoints;

    // The frame's LED table: (X total + Y total) * 4 floats as
    // X first row, X second row, Y first row, Y second row, (x, y) per LED.
    // Measures pitch and depth, sets the borders and moves the rows outward
    // where they would lie inside the open area. Returns false (with a text
    // for the run log) for a table of the wrong size or with non-finite values.
    bool FromLedTable(const CPanelGeometry &geometry, const QVector<float> &table, QString *pError);

    // A regular panel of the given pitch (mm between LEDs) and board depth.
    void FromBoardSpec(const CPanelGeometry &geometry, double dPitch, double dMinDepth);

    // Fills the description: open area, the four sides with their boards and
    // sensors, the connectors along each side and at the corners. The board
    // lists of the geometry must cover their sides (CPanelGeometry::Check);
    // returns false without touching the description otherwise.
    bool Build(const CPanelGeometry &geometry, CHardwareInfo *pInfo, QString *pError) const;

    // Board-and-position name of a light path: "T<board>:<n>" of emitter i on
    // the emitter side, then "-R<board>:<n>" of receiver j on the receiver side
    // (boards and positions from 1); a part whose index lies beyond the side's
    // boards is left out. Boards of 64: i = 70, j = 3 give "T2:7-R1:4".
    static QString LedIndexText(const CHardwareInfo &info, const QString &strEmitterSide,
        const QString &strReceiverSide, int i, int j);

    // Largest LED-table value accepted from a frame, in mm.
    static constexpr double MaxCoordinate = 1.0e6;
};
