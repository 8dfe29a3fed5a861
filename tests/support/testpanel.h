#pragma once

#include "touchbase.h"

#include <QList>
#include <QString>

// The shape of a hand-built test panel. Emitters sit on Bottom (ID 0) and
// Right (ID 3), receivers on Top (ID 1) and Left (ID 2). Axis "X" runs
// Bottom -> Top, axis "Y" Right -> Left; each offset gives one direction
// ("T0", "T1", ... in list order) in which LED i joins emitter i to receiver
// i + offset (clamped to the receiver side).
struct TestPanelShape
{
    QList<int> lstBottom; // sensors per board, in board order
    QList<int> lstTop;
    QList<int> lstLeft;
    QList<int> lstRight;
    QList<int> lstOffsets = {0};
    QList<uint32_t> lstDivideX; // zone ends of axis X (inclusive)
    QList<uint32_t> lstDivideY;
};

// Builds test panels into a test core: the hardware description (sides,
// boards, sensors, every light path as a relation) and the signal records of
// both axes (LED count, zones, labels "T<board>:<n>-R<board>:<n>", relations
// "Bottom:<e>-Top:<r>", and one window per zone for every kind).
class CTestPanel
{
public:
    // Windows of every zone of every direction.
    static constexpr uint32_t kAdcLo = 50;
    static constexpr uint32_t kAdcHi = 200;
    static constexpr uint32_t kProblemLo = 0;
    static constexpr uint32_t kProblemHi = 20; // ADC at or below: dark
    static constexpr uint32_t kAgcLo = 10;
    static constexpr uint32_t kAgcHi = 100;
    static constexpr uint32_t kUntHi = 30;
    // Healthy readings.
    static constexpr uint32_t kAdcOk = 100;
    static constexpr uint32_t kAgcOk = 50;

    static void Build(CTouchBase &touch, const TestPanelShape &shape);
    // The side-wide sensor number of a relation end for the given side layout
    // as a label part, e.g. "T1:2" for sensor 5 with boards {3, 3}.
    static QString LabelPart(const QChar &cPrefix, const QList<int> &lstBoards, int nSensor);
    static SignalFrame Uniform(uint32_t nCount, uint32_t nValue);
    // kAdcOk for "ADC" and "REVERSE", kAgcOk for "AGC", 0 otherwise.
    static uint32_t HealthyValue(const QString &strKind);
    // Direction name of offset index n: "T0", "T1", ...
    static QString DirName(int n) { return QStringLiteral("T%1").arg(n); }
};
