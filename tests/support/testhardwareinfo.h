#pragma once

#include "hardwareinfo.h"

#include <QList>
#include <QString>

// A small hardware record made by hand for the panel diagram, with the
// corners a real layout never produces:
//   - four sides, three boards on "Bottom" (4, 3 and 2 sensors; the middle
//     one "Standing", the others "Lying"), two on "Top" (2 and 3 sensors),
//     one on "Left" and one on "Right" (4 sensors each);
//   - sensors of every kind 0..7 and one of kind 9 ("Bottom:5");
//   - eight connectors with the pin lengths 1, 2, 3, 4 (d0..d3), one of
//     them, "Left:2-Top:0", naming a board that does not exist;
//   - ten light paths, one of them, "Bottom:3-Top:9", past the end of its side;
//   - the open area (5, 3) .. (195, 117), set as the layout sets it,
//     SetOpenArea(x0, y1, y0, x1), inside the boards;
//   - the interface direction given.
// Boards lie 5 outside the open area, 10 wide; Top is turned by 180°, Left
// by 270° and Right by 90°.
class CTestHardwareInfo
{
public:
    static constexpr double kOpenX0 = 5.0;
    static constexpr double kOpenY0 = 3.0;
    static constexpr double kOpenX1 = 195.0;
    static constexpr double kOpenY1 = 117.0;
    static constexpr double kPins[4] = {1.0, 2.0, 3.0, 4.0};
    static constexpr int kUsbBoardSensors = 4; // sensors of the first "Bottom" board

    static CHardwareInfo Build(int nInterfaceDir = 0);
    // A record at the test-log limits' maxima: kMaxBoards boards (a quarter
    // on each side) holding kMaxSensors sensors of every kind, and
    // kMaxRelations distinct light paths from "Bottom" to "Top", every one
    // naming two sensors.
    static CHardwareInfo AtTheLimits();

    // The connector keys and relation texts that name no item.
    static QString MissingBoardConnector() { return QStringLiteral("Left:2-Top:0"); }
    static QString OutOfRangeRelation() { return QStringLiteral("Bottom:3-Top:9"); }
    // Sensors per side, boards in order.
    static QList<int> SensorCounts(const QString &strSide);
};
