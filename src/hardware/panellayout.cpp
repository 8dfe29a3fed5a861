#include "panellayout.h"

#include "hardwareinfo.h"
#include "panelgeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Rotation by a multiple of 90 degrees, exact so that a position never picks
// up a rounding residue such as -0.000000.
QPointF Rotate(const QPointF &p, int nDegrees)
{
    switch (((nDegrees % 360) + 360) % 360) {
    case 0:
        return p;
    case 90:
        return QPointF(-p.y(), p.x());
    case 180:
        return QPointF(-p.x(), -p.y());
    case 270:
        return QPointF(p.y(), -p.x());
    default: {
        const double a = nDegrees * M_PI / 180.0;
        return QPointF(p.x() * std::cos(a) - p.y() * std::sin(a), p.x() * std::sin(a) + p.y() * std::cos(a));
    }
    }
}

// One side of the panel as the layout walks it.
struct SSide
{
    int nId;
    const char *pszPrefix; // board and sensor prefix
    const char *pszName; // side name in relation texts
    int nSensorKind;
    int nBoardAngle;
    int nSensorRotation;
    bool bHorizontal; // boards run along x
};

const SSide g_sides[4] = {
    {0, "X:T", "Bottom", 2, 0, 0, true},
    {1, "X:R", "Top", 3, 180, -180, true},
    {2, "Y:R", "Left", 3, 270, 90, false},
    {3, "Y:T", "Right", 2, 90, 270, false},
};

struct SRow
{
    int nFirst; // index of the first float of the row in the table
    int nCount; // LEDs in the row
    bool bAlongX; // the row runs along x (an X row)
};

double Along(const QPointF &p, bool bAlongX)
{
    return bAlongX ? p.x() : p.y();
}

double Across(const QPointF &p, bool bAlongX)
{
    return bAlongX ? p.y() : p.x();
}

} // namespace

bool CPanelLayout::FromLedTable(const CPanelGeometry &geometry, const QVector<float> &table, QString *pError)
{
    const int nX = geometry.nXTotal;
    const int nY = geometry.nYTotal;
    const int nFloats = (nX + nY) * 4;
    if (nX < 0 || nY < 0 || table.size() != nFloats) {
        if (pError)
            *pError = QStringLiteral("LED table: %1 values for %2 + %3 LEDs").arg(table.size()).arg(nX).arg(nY);
        return false;
    }
    for (int i = 0; i < nFloats; ++i) {
        if (!std::isfinite(table[i]) || std::fabs(table[i]) > MaxCoordinate) {
            if (pError)
                *pError = QStringLiteral("LED table: value %1 of LED %2 is not a usable position")
                              .arg(double(table[i]))
                              .arg(i / 2);
            return false;
        }
    }
    vecPoints.resize(nX * 2 + nY * 2);
    for (int i = 0; i < vecPoints.size(); ++i)
        vecPoints[i] = QPointF(double(table[2 * i]), double(table[2 * i + 1]));

    // Rows in point order: bottom, top, left, right.
    const SRow rows[4] = {{0, nX, true}, {nX, nX, true}, {2 * nX, nY, false}, {2 * nX + nY, nY, false}};

    double dPitch = std::numeric_limits<double>::max();
    double dSpread = 0.0;
    for (const SRow &row : rows) {
        if (row.nCount <= 0)
            continue;
        double dLo = Across(vecPoints[row.nFirst], row.bAlongX);
        double dHi = dLo;
        for (int i = 0; i < row.nCount; ++i) {
            const QPointF &p = vecPoints[row.nFirst + i];
            dLo = std::min(dLo, Across(p, row.bAlongX));
            dHi = std::max(dHi, Across(p, row.bAlongX));
            if (i > 0)
                dPitch = std::min(dPitch,
                    std::fabs(Along(p, row.bAlongX) - Along(vecPoints[row.nFirst + i - 1], row.bAlongX)));
        }
        dSpread = std::max(dSpread, dHi - dLo);
    }

    double dHalf;
    double dDepthMargin;
    if (dPitch > 5.2) {
        dLedSize = 5.2;
        dDepthMargin = 11.28;
        dHalf = 2.6;
    } else {
        dLedSize = dPitch;
        dDepthMargin = 1.4 * dPitch + 4.0;
        dHalf = 0.5 * dPitch;
    }
    dBoardWidth = std::max(dSpread + dDepthMargin, 16.5);
    const double c = dHalf + 2.0;

    auto rowMin = [this](const SRow &row, bool bX) {
        double d = std::numeric_limits<double>::max();
        for (int i = 0; i < row.nCount; ++i)
            d = std::min(d, bX ? vecPoints[row.nFirst + i].x() : vecPoints[row.nFirst + i].y());
        return d;
    };
    auto rowMax = [this](const SRow &row, bool bX) {
        double d = std::numeric_limits<double>::lowest();
        for (int i = 0; i < row.nCount; ++i)
            d = std::max(d, bX ? vecPoints[row.nFirst + i].x() : vecPoints[row.nFirst + i].y());
        return d;
    };
    auto shift = [this](const SRow &row, bool bX, double dDelta) {
        if (dDelta == 0.0)
            return;
        for (int i = 0; i < row.nCount; ++i) {
            QPointF &p = vecPoints[row.nFirst + i];
            if (bX)
                p.rx() += dDelta;
            else
                p.ry() += dDelta;
        }
    };

    if (nX > 0 && nY > 0) {
        const SRow &bottomRow = rows[0], &topRow = rows[1], &leftRow = rows[2], &rightRow = rows[3];
        const double dBottomLine = std::min(vecPoints[leftRow.nFirst].y(), vecPoints[rightRow.nFirst].y()) - c;
        const double dTopLine = std::max(vecPoints[leftRow.nFirst + nY - 1].y(), vecPoints[rightRow.nFirst + nY - 1].y()) + c;
        const double dLeftLine = std::min(vecPoints[bottomRow.nFirst].x(), vecPoints[topRow.nFirst].x()) - c;
        const double dRightLine = std::max(vecPoints[bottomRow.nFirst + nX - 1].x(), vecPoints[topRow.nFirst + nX - 1].x()) + c;

        const double dBottomInner = rowMax(bottomRow, false) + c;
        const double dTopInner = rowMin(topRow, false) - c;
        const double dLeftInner = rowMax(leftRow, true) + c;
        const double dRightInner = rowMin(rightRow, true) - c;

        dBottom = std::min(dBottomLine, dBottomInner);
        dTop = std::max(dTopLine, dTopInner);
        dLeft = std::min(dLeftLine, dLeftInner);
        dRight = std::max(dRightLine, dRightInner);

        shift(bottomRow, false, std::min(0.0, dBottomLine - dBottomInner));
        shift(topRow, false, std::max(0.0, dTopLine - dTopInner));
        shift(leftRow, true, std::min(0.0, dLeftLine - dLeftInner));
        shift(rightRow, true, std::max(0.0, dRightLine - dRightInner));
    } else if (nX > 0) {
        // No Y boards: the bottom and top lines follow the X rows themselves,
        // the side lines the first and last LEDs of the rows.
        const SRow &bottomRow = rows[0], &topRow = rows[1];
        dBottom = rowMax(bottomRow, false) + c;
        dTop = rowMin(topRow, false) - c;
        dLeft = std::min(vecPoints[bottomRow.nFirst].x(), vecPoints[topRow.nFirst].x()) - c;
        dRight = std::max(vecPoints[bottomRow.nFirst + nX - 1].x(), vecPoints[topRow.nFirst + nX - 1].x()) + c;
    } else if (nY > 0) {
        const SRow &leftRow = rows[2], &rightRow = rows[3];
        dLeft = rowMax(leftRow, true) + c;
        dRight = rowMin(rightRow, true) - c;
        dBottom = std::min(vecPoints[leftRow.nFirst].y(), vecPoints[rightRow.nFirst].y()) - c;
        dTop = std::max(vecPoints[leftRow.nFirst + nY - 1].y(), vecPoints[rightRow.nFirst + nY - 1].y()) + c;
    } else {
        dBottom = dTop = dLeft = dRight = 0.0;
    }
    return true;
}

void CPanelLayout::FromBoardSpec(const CPanelGeometry &geometry, double dPitch, double dMinDepth)
{
    const int nX = std::max(0, geometry.nXTotal);
    const int nY = std::max(0, geometry.nYTotal);
    double dHalf;
    double dLow;
    if (dPitch > 5.2) {
        dLedSize = 5.2;
        dBoardWidth = 11.28;
        dHalf = 2.6;
        dLow = -4.6;
    } else {
        dLedSize = dPitch;
        dBoardWidth = 1.4 * dPitch + 4.0;
        dHalf = 0.5 * dPitch;
        dLow = -0.5 * dPitch - 2.0;
    }
    if (dMinDepth > dBoardWidth)
        dBoardWidth = dMinDepth;

    double dYEnd = (nY - 1) * dPitch + dHalf + 2.0;
    const double dXEnd = nX > 0 ? (nX - 1) * dPitch + dHalf + 2.0 : dYEnd;
    if (nY == 0)
        dYEnd = dXEnd;

    // The table is built in the frame's own float precision.
    auto f = [](double d) { return double(float(d)); };
    vecPoints.clear();
    vecPoints.reserve(2 * nX + 2 * nY);
    for (int i = 0; i < nX; ++i)
        vecPoints.append(QPointF(f(i * dPitch), f(dLow - 2.0 - dHalf)));
    for (int i = 0; i < nX; ++i)
        vecPoints.append(QPointF(f(i * dPitch), f(dYEnd + 2.0 + dHalf)));
    for (int i = 0; i < nY; ++i)
        vecPoints.append(QPointF(f(dLow - 2.0 - dHalf), f(i * dPitch)));
    for (int i = 0; i < nY; ++i)
        vecPoints.append(QPointF(f(dXEnd + 2.0 + dHalf), f(i * dPitch)));

    dBottom = dLow;
    dTop = dYEnd;
    dLeft = dLow;
    dRight = dXEnd;
}

bool CPanelLayout::Build(const CPanelGeometry &geometry, CHardwareInfo *pInfo, QString *pError) const
{
    if (!pInfo)
        return false;
    if (!geometry.Check(pError))
        return false;
    const int nX = geometry.nXTotal;
    const int nY = geometry.nYTotal;
    if (vecPoints.size() != 2 * nX + 2 * nY) {
        if (pError)
            *pError = QStringLiteral("panel layout: %1 LED positions for %2 + %3 LEDs").arg(vecPoints.size()).arg(nX).arg(nY);
        return false;
    }

    const double s = dLedSize;
    const double w = dBoardWidth;
    pInfo->SetOpenArea(dLeft, dTop, dBottom, dRight);

    const int nFirstPoint[4] = {0, nX, 2 * nX, 2 * nX + nY};
    const double dFixed[4] = {dBottom - w / 2, dTop + w / 2, dLeft - w / 2, dRight + w / 2};
    int nBoardCount[4] = {0, 0, 0, 0};

    for (const SSide &side : g_sides) {
        const int n = side.bHorizontal ? nX : nY;
        if (n <= 0)
            continue;
        const QList<int> &lstCounts = geometry.lstBoards[side.nId];
        const QString strPrefix = QLatin1String(side.pszPrefix);
        const QString strName = QLatin1String(side.pszName);
        const double dSideStart = side.bHorizontal ? dLeft : dBottom;
        const double dSideEnd = side.bHorizontal ? dRight : dTop;
        const QPointF *pts = vecPoints.constData() + nFirstPoint[side.nId];

        QList<CPcbInfo> lstPcb;
        double dStart = dSideStart;
        int c = 0;
        // Check() guarantees the counts cover the side; the bound on b keeps
        // the walk inside the list whatever it holds.
        for (int b = 0; b < lstCounts.size() && c < n; ++b) {
            const int nCount = lstCounts[b];
            c += nCount;
            const int nFirst = c - nCount;
            const int nLast = std::min(c, n) - 1;
            const bool bLast = c >= n;
            const double dEnd = bLast ? dSideEnd : (Along(pts[c - 1], side.bHorizontal) + Along(pts[c], side.bHorizontal)) / 2.0;
            const double dMid = (dStart + dEnd) / 2.0;
            const QPointF centre = side.bHorizontal ? QPointF(dMid, dFixed[side.nId]) : QPointF(dFixed[side.nId], dMid);

            CPcbInfo pcb;
            pcb.SetSize(w, dEnd - dStart, 1.5);
            pcb.SetPos(centre);
            pcb.SetPlacement(1);
            pcb.SetAngle(side.nBoardAngle);
            pcb.SetID(strPrefix + QString::number(b + 1));

            if (!bLast) {
                CConnectorInfo con;
                con.SetSize(0.75 * w, 0.375 * w, 3.0);
                con.SetDipLength(2, 2, 0, 0);
                con.SetAngle(side.nBoardAngle);
                con.SetType(QStringLiteral("Lying"));
                con.SetPos(side.bHorizontal ? QPointF(dEnd, dFixed[side.nId]) : QPointF(dFixed[side.nId], dEnd));
                con.SetID(strPrefix + QString::number(b + 1) + QLatin1Char('-') + strPrefix + QString::number(b + 2));
                pInfo->AddConnector(strName + QLatin1Char(':') + QString::number(b) + QLatin1Char('-') + strName
                        + QLatin1Char(':') + QString::number(b + 1),
                    con);
            }

            QList<CSensorInfo> lstSensors;
            for (int k = nFirst; k <= nLast; ++k) {
                CSensorInfo sensor;
                sensor.SetVCenter(0.5 * s);
                sensor.SetSize(s, 1.4 * s, 0.8 * s);
                sensor.SetAngle(0);
                sensor.SetType(side.nSensorKind);
                sensor.SetPos(Rotate(pts[k] - centre, side.nSensorRotation));
                sensor.SetID(QLatin1Char(' ') + QString::number(k - nFirst + 1));
                lstSensors.append(sensor);
            }
            pcb.SetLeds(lstSensors);
            lstPcb.append(pcb);
            dStart = dEnd;
        }
        nBoardCount[side.nId] = lstPcb.size();
        pInfo->SetAxis(side.nId, strName, lstPcb);
    }

    auto corner = [&](const QString &strId, const QString &strKey, const QPointF &pos, double dWidth, double dLength,
                      double d0, double d1, double d2, double d3, int nAngle) {
        CConnectorInfo con;
        con.SetSize(dWidth, dLength, 3.0);
        con.SetDipLength(d0, d1, d2, d3);
        con.SetAngle(nAngle);
        con.SetType(QStringLiteral("Lying"));
        con.SetPos(pos);
        con.SetID(strId);
        pInfo->AddConnector(strKey, con);
    };

    if (nX > 0 && nY > 0) {
        const int nBottom = nBoardCount[0];
        const int nLeftBoards = nBoardCount[2];
        corner(QStringLiteral("X:T1-Y:R1"), QStringLiteral("Bottom:0-Left:0"), QPointF(dLeft - w / 2, dBottom - w / 2), w,
            w, 0, 2, 2, 0, 0);
        corner(QStringLiteral("X:T%1-Y:T1").arg(nBottom), QStringLiteral("Bottom:%1-Right:0").arg(nBottom - 1),
            QPointF(dRight + w / 2, dBottom - w / 2), w, w, 0, 2, 2, 0, 90);
        corner(QStringLiteral("Y:R%1-X:R1").arg(nLeftBoards), QStringLiteral("Left:%1-Top:0").arg(nLeftBoards - 1),
            QPointF(dLeft - w / 2, dTop + w / 2), w, w, 0, 2, 2, 0, 270);
    } else if (nY > 0) {
        const double d = ((dRight - dLeft) - w) / 2;
        corner(QStringLiteral("Y:T1-Y:R1"), QStringLiteral("Left:0-Right:0"), QPointF((dLeft + dRight) / 2, w / 2),
            dRight - dLeft, w, d, d, 0, 0, 0);
    } else if (nX > 0) {
        const double d = ((dTop - dBottom) - w) / 2;
        corner(QStringLiteral("X:T1-X:R1"), QStringLiteral("Bottom:0-Top:0"), QPointF(w / 2, (dBottom + dTop) / 2), w, w,
            0, 0, d, d, 0);
    }
    return true;
}

QString CPanelLayout::LedIndexText(const CHardwareInfo &info, const QString &strEmitterSide,
    const QString &strReceiverSide, int i, int j)
{
    // Board number (from 1) and position (from 1) of LED n of a side; empty
    // when n lies beyond its boards.
    auto place = [&info](const QString &strSide, int n) -> QString {
        if (n < 0)
            return QString();
        const auto it = info.GetAxisMap().constFind(strSide);
        if (it == info.GetAxisMap().constEnd())
            return QString();
        int nBoard = 0;
        for (const CPcbInfo &pcb : it.value()) {
            ++nBoard;
            if (n < pcb.GetLedCount())
                return QString::number(nBoard) + QLatin1Char(':') + QString::number(n + 1);
            n -= pcb.GetLedCount();
        }
        return QString();
    };
    QString strText;
    const QString strEmitter = place(strEmitterSide, i);
    if (!strEmitter.isEmpty())
        strText += QLatin1Char('T') + strEmitter;
    const QString strReceiver = place(strReceiverSide, j);
    if (!strReceiver.isEmpty())
        strText += QLatin1String("-R") + strReceiver;
    return strText;
}
