#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// What the station knows about a frame's geometry before a test: LED totals
// per axis, the LEDs in front of and behind the signal positions (side counts),
// the slant offsets of the three scanning directions, and how the LEDs of each
// side are split into circuit boards.
//
// Everything here is plain arithmetic on the frame's replies. Every number a
// frame sends is checked before anything is sized from it; a value outside the
// bounds below makes the reader return false with a text for the run log.
class CPanelGeometry
{
public:
    // Sides in the order the panel description numbers them.
    enum ESide { SideBottom = 0, SideTop = 1, SideLeft = 2, SideRight = 3, SideCount = 4 };
    enum EAxis { AxisX = 0, AxisY = 1 };

    static constexpr int MaxLedsPerAxis = 4096;
    static constexpr int MaxBoardsPerList = 20;
    static constexpr int MaxBoardsPerBlockList = 8;
    static constexpr int ParamBlockSize = 524;
    static constexpr int ParamBlockExtSize = 44;
    static constexpr quint32 ParamBlockNoExtMarker = 0x10000000u;

    // Offsets inside the parameter block.
    static constexpr int OffMarker = 12;
    static constexpr int OffXTotal = 52;
    static constexpr int OffYTotal = 54;
    static constexpr int OffRangeALow = 80;
    static constexpr int OffRangeBLow = 86;
    static constexpr int OffRangeAHigh = 96;
    static constexpr int OffRangeBHigh = 102;
    // Board fields of the block, eight counts each. The block's lists run
    // X emitter (492), X receiver (508), Y emitter (516), Y receiver (500),
    // and the panel takes them in that order for the bottom, top, left and
    // right sides: the left side gets the field at 516, the right side the
    // one at 500. Frames whose two Y sides share one split read the same
    // either way.
    static constexpr int OffBoardsBottom = 492;
    static constexpr int OffBoardsRight = 500;
    static constexpr int OffBoardsTop = 508;
    static constexpr int OffBoardsLeft = 516;

    CPanelGeometry();

    void Clear();

    int nXTotal = 0;
    int nYTotal = 0;
    // Side counts 1 to 4 as the LED-count query reports them (index 0 = side 1).
    int nSideCount[4] = {0, 0, 0, 0};
    // Range A (axis X) and range B (axis Y): low, middle, high, i.e. the offset
    // of the slanted direction T0, of T1 and of T2.
    int nRangeA[3] = {0, 0, 0};
    int nRangeB[3] = {0, 0, 0};
    // LED counts of the boards of each side, in order along the side.
    QList<int> lstBoards[SideCount];

    int Total(int nAxis) const { return nAxis == AxisX ? nXTotal : nYTotal; }
    // Offset of direction index nDir (0 T0, 1 T1, 2 T2) of an axis.
    int Offset(int nAxis, int nDir) const;
    // LED positions in front of the first signal position, behind the last one,
    // and the number of signal positions of an axis.
    int SignalStart(int nAxis) const;
    int SignalEnd(int nAxis) const;
    int MaxSignal(int nAxis) const;

    // Block fields of the parameter block (nBlock at least ParamBlockSize bytes):
    // totals, ranges and board lists; side counts cleared.
    bool ReadParamBlock(const QByteArray &block, QString *pError);

    // A5 80 reply (64 bytes): totals, side counts and ranges.
    bool ReadLedCounts(const quint8 *pReply, QString *pError);

    // A5 87 reply (64 bytes): ranges from the layout values. Returns false when
    // [3] selects no known layout (nothing changed).
    bool ReadLayoutParams(const quint8 *pReply);

    // Board lists of both axes from a fixed board size.
    bool SplitBoards(int nLedsPerBoard, QString *pError);

    // The board lists cover their side's LEDs with no empty board and no more
    // boards than a list holds; every count is within its bounds.
    bool Check(QString *pError) const;

    static const char *SideName(int nSide);

    // Built-in board sizes of the frames without a parameter block.
    // Returns false for other versions.
    static bool BoardSpec(int nVersion, int *pLedsPerBoard, double *pMm1, double *pMm2);

private:
    bool TakeBlockBoards(const QByteArray &block, int nOffset, int nTotal, int nSide, QString *pError);
};
