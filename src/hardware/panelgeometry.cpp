#include "panelgeometry.h"

#include <cmath>
#include <cstring>

namespace {

qint16 S16At(const quint8 *p, int nOffset)
{
    return qint16(quint16(p[nOffset]) | quint16(p[nOffset + 1]) << 8);
}

quint16 U16At(const quint8 *p, int nOffset)
{
    return quint16(quint16(p[nOffset]) | quint16(p[nOffset + 1]) << 8);
}

float FloatAt(const quint8 *p, int nOffset)
{
    const quint32 u = quint32(p[nOffset]) | quint32(p[nOffset + 1]) << 8 | quint32(p[nOffset + 2]) << 16
        | quint32(p[nOffset + 3]) << 24;
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

// Total / divisor truncated toward zero; false (nothing to set) when the
// divisor is zero or not a finite number. The quotient is kept within the
// range of a 16-bit offset, which already lies far beyond any LED count.
bool DivideTotal(int nTotal, float fDivisor, int *pOut)
{
    if (!std::isfinite(fDivisor) || fDivisor == 0.0f)
        return false;
    double d = std::trunc(double(nTotal) / double(fDivisor));
    if (d > 32767.0)
        d = 32767.0;
    if (d < -32767.0)
        d = -32767.0;
    *pOut = int(d);
    return true;
}

} // namespace

CPanelGeometry::CPanelGeometry() = default;

void CPanelGeometry::Clear()
{
    *this = CPanelGeometry();
}

const char *CPanelGeometry::SideName(int nSide)
{
    switch (nSide) {
    case SideBottom:
        return "Bottom";
    case SideTop:
        return "Top";
    case SideLeft:
        return "Left";
    case SideRight:
        return "Right";
    default:
        return "";
    }
}

int CPanelGeometry::Offset(int nAxis, int nDir) const
{
    if (nDir < 0 || nDir > 2)
        return 0;
    return nAxis == AxisX ? nRangeA[nDir] : nRangeB[nDir];
}

// The X total is the main count plus side counts 1 and 2, the Y total the main
// count plus side counts 3 and 4: sides 1 and 3 lie in front of the signal
// positions of their axis, sides 2 and 4 behind them. The LEDs in front and
// behind are always taken from the two counts that make up the axis's own
// total. Pairing side 1 with side 3 for X (and 2 with 4 for Y) would subtract
// LEDs of one axis from the other: X would read side LEDs as signal
// positions, Y would lose signal positions, and a short axis could even end
// up with a negative count of them.
int CPanelGeometry::SignalStart(int nAxis) const
{
    return nAxis == AxisX ? nSideCount[0] : nSideCount[2];
}

int CPanelGeometry::SignalEnd(int nAxis) const
{
    return nAxis == AxisX ? nSideCount[1] : nSideCount[3];
}

int CPanelGeometry::MaxSignal(int nAxis) const
{
    const int n = Total(nAxis) - SignalStart(nAxis) - SignalEnd(nAxis);
    return n > 0 ? n : 0;
}

bool CPanelGeometry::TakeBlockBoards(const QByteArray &block, int nOffset, int nTotal, int nSide, QString *pError)
{
    const quint8 *p = reinterpret_cast<const quint8 *>(block.constData());
    QList<int> &lst = lstBoards[nSide];
    lst.clear();
    int nSum = 0;
    for (int i = 0; i < MaxBoardsPerBlockList && nSum < nTotal; ++i) {
        const int nCount = p[nOffset + i];
        if (nCount == 0) {
            if (pError)
                *pError = QStringLiteral("parameter block: board %1 of the %2 side has no LEDs (%3 of %4 LEDs placed)")
                              .arg(i + 1)
                              .arg(QLatin1String(SideName(nSide)))
                              .arg(nSum)
                              .arg(nTotal);
            return false;
        }
        lst.append(nCount);
        nSum += nCount;
    }
    if (nSum < nTotal) {
        if (pError)
            *pError = QStringLiteral("parameter block: the boards of the %1 side hold %2 LEDs, the axis has %3")
                          .arg(QLatin1String(SideName(nSide)))
                          .arg(nSum)
                          .arg(nTotal);
        return false;
    }
    return true;
}

bool CPanelGeometry::ReadParamBlock(const QByteArray &block, QString *pError)
{
    if (block.size() < ParamBlockSize) {
        if (pError)
            *pError = QStringLiteral("parameter block: %1 bytes, %2 expected").arg(block.size()).arg(ParamBlockSize);
        return false;
    }
    const quint8 *p = reinterpret_cast<const quint8 *>(block.constData());
    Clear();
    const int nX = S16At(p, OffXTotal);
    const int nY = S16At(p, OffYTotal);
    if (nX < 0 || nX > MaxLedsPerAxis || nY < 0 || nY > MaxLedsPerAxis) {
        if (pError)
            *pError = QStringLiteral("parameter block: LED totals X %1, Y %2 outside 0..%3")
                          .arg(nX)
                          .arg(nY)
                          .arg(MaxLedsPerAxis);
        return false;
    }
    nXTotal = nX;
    nYTotal = nY;
    nRangeA[0] = -S16At(p, OffRangeALow);
    nRangeA[1] = 0;
    nRangeA[2] = nXTotal - S16At(p, OffRangeAHigh);
    nRangeB[0] = -S16At(p, OffRangeBLow);
    nRangeB[1] = 0;
    nRangeB[2] = nYTotal - S16At(p, OffRangeBHigh);

    return TakeBlockBoards(block, OffBoardsBottom, nXTotal, SideBottom, pError)
        && TakeBlockBoards(block, OffBoardsTop, nXTotal, SideTop, pError)
        && TakeBlockBoards(block, OffBoardsLeft, nYTotal, SideLeft, pError)
        && TakeBlockBoards(block, OffBoardsRight, nYTotal, SideRight, pError);
}

bool CPanelGeometry::ReadLedCounts(const quint8 *p, QString *pError)
{
    const int nXMain = U16At(p, 6);
    const int nYMain = U16At(p, 8);
    int nSides[4];
    for (int i = 0; i < 4; ++i)
        nSides[i] = U16At(p, 54 + 2 * i);
    const int nX = nXMain + nSides[0] + nSides[1];
    const int nY = nYMain + nSides[2] + nSides[3];
    if (nX > MaxLedsPerAxis || nY > MaxLedsPerAxis) {
        if (pError)
            *pError = QStringLiteral("LED counts: X %1, Y %2 above %3").arg(nX).arg(nY).arg(MaxLedsPerAxis);
        return false;
    }
    for (int i = 0; i < 4; ++i)
        nSideCount[i] = nSides[i];
    nXTotal = nX;
    nYTotal = nY;

    const int g = p[62];
    const int h = p[63];
    if (nXTotal == 0 && nYTotal == 0)
        return true;
    if (nYTotal == 0) {
        const int n = g + 256 * h;
        nRangeA[0] = -n;
        nRangeA[1] = 0;
        nRangeA[2] = n;
    } else if (nXTotal == 0) {
        const int n = g + 256 * h;
        nRangeB[0] = -n;
        nRangeB[1] = 0;
        nRangeB[2] = n;
    } else {
        const int a = g ? nYTotal / g : 0;
        const int b = h ? nXTotal / h : 0;
        nRangeA[0] = -a;
        nRangeA[1] = 0;
        nRangeA[2] = a;
        nRangeB[0] = -b;
        nRangeB[1] = 0;
        nRangeB[2] = b;
    }
    return true;
}

bool CPanelGeometry::ReadLayoutParams(const quint8 *p)
{
    int nOff[4];
    if (p[3] == 0x18) {
        nOff[0] = 5;
        nOff[1] = 13;
        nOff[2] = 17;
        nOff[3] = 25;
    } else if (p[3] == 0x28) {
        nOff[0] = 5;
        nOff[1] = 21;
        nOff[2] = 25;
        nOff[3] = 41;
    } else {
        return false;
    }
    int v;
    if (DivideTotal(nYTotal, FloatAt(p, nOff[0]), &v))
        nRangeA[0] = v;
    if (DivideTotal(nYTotal, FloatAt(p, nOff[1]), &v))
        nRangeA[2] = v;
    if (DivideTotal(nXTotal, FloatAt(p, nOff[2]), &v))
        nRangeB[0] = v;
    if (DivideTotal(nXTotal, FloatAt(p, nOff[3]), &v))
        nRangeB[2] = v;
    return true;
}

bool CPanelGeometry::SplitBoards(int nLedsPerBoard, QString *pError)
{
    if (nLedsPerBoard <= 0) {
        if (pError)
            *pError = QStringLiteral("board split: %1 LEDs per board").arg(nLedsPerBoard);
        return false;
    }
    for (int nSide = 0; nSide < SideCount; ++nSide) {
        const int nTotal = (nSide == SideBottom || nSide == SideTop) ? nXTotal : nYTotal;
        const int nBoards = (nTotal + nLedsPerBoard - 1) / nLedsPerBoard;
        if (nBoards > MaxBoardsPerList) {
            if (pError)
                *pError = QStringLiteral("board split: %1 LEDs need %2 boards of %3, at most %4 fit a list")
                              .arg(nTotal)
                              .arg(nBoards)
                              .arg(nLedsPerBoard)
                              .arg(MaxBoardsPerList);
            return false;
        }
        QList<int> &lst = lstBoards[nSide];
        lst.clear();
        for (int nLeft = nTotal; nLeft > 0; nLeft -= nLedsPerBoard)
            lst.append(qMin(nLeft, nLedsPerBoard));
    }
    return true;
}

bool CPanelGeometry::Check(QString *pError) const
{
    if (nXTotal < 0 || nXTotal > MaxLedsPerAxis || nYTotal < 0 || nYTotal > MaxLedsPerAxis) {
        if (pError)
            *pError = QStringLiteral("LED totals X %1, Y %2 outside 0..%3").arg(nXTotal).arg(nYTotal).arg(MaxLedsPerAxis);
        return false;
    }
    if (nXTotal == 0 && nYTotal == 0) {
        if (pError)
            *pError = QStringLiteral("the frame reports no LEDs on either axis");
        return false;
    }
    for (int nSide = 0; nSide < SideCount; ++nSide) {
        const int nTotal = (nSide == SideBottom || nSide == SideTop) ? nXTotal : nYTotal;
        const QList<int> &lst = lstBoards[nSide];
        if (lst.size() > MaxBoardsPerList) {
            if (pError)
                *pError = QStringLiteral("the %1 side has %2 boards, at most %3")
                              .arg(QLatin1String(SideName(nSide)))
                              .arg(lst.size())
                              .arg(MaxBoardsPerList);
            return false;
        }
        int nSum = 0;
        for (int i = 0; i < lst.size() && nSum < nTotal; ++i) {
            if (lst[i] <= 0) {
                if (pError)
                    *pError = QStringLiteral("board %1 of the %2 side has %3 LEDs")
                                  .arg(i + 1)
                                  .arg(QLatin1String(SideName(nSide)))
                                  .arg(lst[i]);
                return false;
            }
            nSum += lst[i];
        }
        if (nSum < nTotal) {
            if (pError)
                *pError = QStringLiteral("the boards of the %1 side hold %2 LEDs, the axis has %3")
                              .arg(QLatin1String(SideName(nSide)))
                              .arg(nSum)
                              .arg(nTotal);
            return false;
        }
    }
    for (int nAxis = AxisX; nAxis <= AxisY; ++nAxis) {
        if (Total(nAxis) > 0 && Total(nAxis) - SignalStart(nAxis) - SignalEnd(nAxis) <= 0) {
            if (pError)
                *pError = QStringLiteral("axis %1: %2 LEDs leave no signal position after %3 in front and %4 behind")
                              .arg(nAxis == AxisX ? QLatin1Char('X') : QLatin1Char('Y'))
                              .arg(Total(nAxis))
                              .arg(SignalStart(nAxis))
                              .arg(SignalEnd(nAxis));
            return false;
        }
    }
    return true;
}

bool CPanelGeometry::BoardSpec(int nVersion, int *pLedsPerBoard, double *pMm1, double *pMm2)
{
    int n;
    double mm1, mm2;
    if (nVersion >= 0x4400 && nVersion <= 0x44FF) {
        n = 64;
        mm1 = 6.35;
        mm2 = 19.15;
    } else if (nVersion >= 0x45A0 && nVersion <= 0x45CF) {
        n = 56;
        mm1 = 8.5;
        mm2 = 18.5;
    } else if (nVersion >= 0x45D0 && nVersion <= 0x45FF) {
        n = 48;
        mm1 = 10.0;
        mm2 = 14.8;
    } else if (nVersion >= 0x4600 && nVersion <= 0x46FF) {
        n = 56;
        mm1 = 7.35;
        mm2 = 19.15;
    } else {
        return false;
    }
    if (pLedsPerBoard)
        *pLedsPerBoard = n;
    if (pMm1)
        *pMm1 = mm1;
    if (pMm2)
        *pMm2 = mm2;
    return true;
}
