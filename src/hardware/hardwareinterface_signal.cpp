// HardwareInterface: test preparation (limits the frame reports, labels and
// relations of every light path) and the reading of signal frames into the
// test core's maps.

#include "hardwareinterface.h"

#include "deviceerror.h"
#include "deviceinfokey.h"
#include "signalkind.h"

#include <QDebug>
#include <algorithm>
#include <cmath>

namespace {

// LEDs of one A5 01 chunk.
constexpr int kChunk = 55;
// Read time-out of a signal chunk, in ms.
constexpr int kChunkTimeoutMs = 30;
// Wait for an idle frame before a read, in ms.
constexpr int kIdleTimeoutMs = 30000;

const QString kAbsolute = QStringLiteral("Absolute");
const QString kPercent = QStringLiteral("Percent");

QString Hex(int32_t n)
{
    return QStringLiteral("0x%1").arg(quint32(n), 8, 16, QLatin1Char('0'));
}

// A status result of a limits query: the command is not supported this way.
bool IsStatusResult(int32_t r)
{
    return r > 0xFFF;
}

} // namespace

// Limits of one axis and direction as a frame reports them, in signal units.
struct HardwareInterface::SLimitSet
{
    uint32_t adcHi = 0, adcLo = 0;
    uint32_t untHi = 0, untLo = 0;
    uint32_t agcHi = 0, agcLo = 0;
    uint32_t reverseHi = 255, reverseLo = 0;
    uint32_t problemHi = 0, problemLo = 0;
    uint32_t tolerance = 0;
    QString strUntType = kAbsolute;
};

int32_t HardwareInterface::AxisIndex(const QString &strAxis) const
{
    const int n = m_lstAxisNames.indexOf(strAxis);
    return n < 0 ? CPanelGeometry::AxisX : n;
}

uint8_t HardwareInterface::SignalSelector(const QString &strAxis, const QString &strDir, const QString &strKind)
{
    int n = strAxis == QLatin1String("Y") ? 1 : 0;
    if (strDir == QLatin1String("T1"))
        n += 2;
    else if (strDir == QLatin1String("T0"))
        n += 4;
    if (strKind == QLatin1String("ORG"))
        n += 6;
    else if (strKind == SignalKind::kAgc)
        n += 12;
    return uint8_t(n);
}

SignalFrame HardwareInterface::ShiftFrame(const SignalFrame &frame, int p)
{
    const int n = frame.size();
    SignalFrame out;
    out.reserve(n);
    for (int i = 0; i < n; ++i) {
        const qint64 k = qBound<qint64>(0, qint64(i) + p, n - 1);
        out.append(frame[int(k)]);
    }
    return out;
}

// ---------------------------------------------------------------- limits

void HardwareInterface::PrepareSignalAxes(int nDivide, int nAxisMinimum)
{
    for (int a = 0; a < m_lstAxisNames.size() && a < 2; ++a) {
        if (m_panelGeometry.Total(a) < nAxisMinimum || m_panelGeometry.Total(a) <= 0)
            continue;
        CAxisSignalInfo &axis = GetAxisSignalMap()[m_lstAxisNames[a]];
        const int nMax = m_panelGeometry.MaxSignal(a);
        axis.SetMaxValue(255);
        axis.SetSignalStart(uint32_t(m_panelGeometry.SignalStart(a)));
        axis.SetMaxSignal(uint32_t(nMax));
        if (nDivide != 0)
            axis.SetDivide(QList<uint32_t>{uint32_t(nDivide), uint32_t(std::max(nMax - nDivide, 0))});
    }
}

void HardwareInterface::AppendLimits(int nAxis, int nDir, const SLimitSet &l, int nDivide, double dFactor)
{
    CAxisSignalInfo &axis = GetAxisSignalMap()[m_lstAxisNames.value(nAxis)];
    const QString strDir = m_lstDirNames.value(nDir);
    const int nZones = nDivide != 0 ? 3 : 1;
    for (int z = 0; z < nZones; ++z) {
        uint32_t nAdcLo = l.adcLo;
        // The edge zones of the straight direction may sit lower by the threshold factor.
        if (nZones == 3 && z != 1 && nDir == 1)
            nAdcLo = uint32_t(std::trunc(double(l.adcLo) * dFactor));
        axis.AddTestStandard(strDir, SignalKind::kAdc, nAdcLo, l.adcHi);
        axis.AddTestStandard(strDir, SignalKind::kUnt, l.untLo, l.untHi);
        axis.AddTestStandard(strDir, SignalKind::kAgc, l.agcLo, l.agcHi);
        axis.AddTestStandard(strDir, SignalKind::kReverse, l.reverseLo, l.reverseHi);
        axis.AddProblemStandard(strDir, SignalKind::kAdc, l.problemLo, l.problemHi);
    }
    axis.SetMaxTolerantSignalCount(strDir, l.tolerance);
    axis.SetStandardType(strDir, SignalKind::kAdc, kAbsolute);
    axis.SetStandardType(strDir, SignalKind::kAgc, kAbsolute);
    axis.SetStandardType(strDir, SignalKind::kUnt, l.strUntType);
    axis.SetStandardType(strDir, SignalKind::kReverse, kAbsolute);
    axis.SetBaseShow(strDir, SignalKind::kAdc, SignalKind::kAdc, SignalKind::kAdc);
    axis.SetBaseShow(strDir, SignalKind::kAgc, SignalKind::kAgc, SignalKind::kAgc);
    axis.SetBaseShow(strDir, SignalKind::kUnt, SignalKind::kAdc, SignalKind::kUnt);
    axis.SetBaseShow(strDir, SignalKind::kReverse, SignalKind::kReverse, SignalKind::kAdc);
}

int32_t HardwareInterface::ReadSignalA816(int nAxis, int nDir, int nDivide, double dFactor)
{
    CDeviceReport request = CDeviceReport::Request(Opcode::kSignalA816, 2);
    request.Set(5, uint8_t(nDir));
    request.Set(6, uint8_t(1 - nAxis));
    return RunCommand(request, READ_TIMEOUT_MS, [&](const CDeviceReport &r) -> std::optional<int32_t> {
        if (r.IsStatusFor(Opcode::kSignalA816)) {
            // 0x81: done, but nothing reported for this direction.
            if (r.Status() == CDeviceReport::kStatusDone)
                return 0;
            return r.Status() == CDeviceReport::kStatusBusy ? RESULT_BUSY : RESULT_STATUS;
        }
        if (!r.IsData(Opcode::kSignalA816) || r.At(5) != request.At(5) || r.At(6) != request.At(6))
            return std::nullopt;
        SLimitSet l;
        l.adcHi = r.U16Le(11) >> 2;
        l.adcLo = r.U16Le(13) >> 2;
        l.untHi = r.U16Le(19) >> 2;
        l.untLo = r.U16Le(21) >> 2;
        l.strUntType = r.At(23) == 0 ? kAbsolute : kPercent;
        l.reverseHi = r.U16Le(29) >> 2;
        l.reverseLo = r.U16Le(31) >> 2;
        l.problemHi = r.U16Le(33) >> 2;
        l.problemLo = r.U16Le(35) >> 2;
        l.agcHi = r.U16Le(37) >> 2;
        l.agcLo = r.U16Le(39) >> 2;
        l.tolerance = r.At(45);
        AppendLimits(nAxis, nDir, l, nDivide, dFactor);
        return 0;
    });
}

int32_t HardwareInterface::GetSignalA816(int nAxis, int nDir, int nDivide, double dFactor)
{
    return RunWithRetry(CommandFamily::kGetSignalA816, [&] { return ReadSignalA816(nAxis, nDir, nDivide, dFactor); }, "GetSignalA816");
}

int32_t HardwareInterface::GetSignalA816WithThreshold()
{
    int nDivide = 0;
    double dFactor = 1.0;
    int32_t r = GetSignalThreshold(&nDivide, &dFactor);
    if (r < 0)
        return r;
    PrepareSignalAxes(nDivide, 1);
    for (int a = 0; a < 2 && a < m_lstAxisNames.size(); ++a) {
        if (m_panelGeometry.Total(a) <= 0)
            continue;
        for (int d = 0; d < 3; ++d) {
            r = GetSignalA816(a, d, nDivide, dFactor);
            if (uint32_t(r) > 0xFFF)
                return r;
        }
    }
    return r;
}

int32_t HardwareInterface::ReadSignalA806(int nAxis, int nDir, int nDivide, double dFactor)
{
    CDeviceReport request = CDeviceReport::Request(Opcode::kSignalA806, 2);
    request.Set(5, uint8_t(nDir));
    request.Set(6, uint8_t(1 - nAxis));
    const int nOffset = m_panelGeometry.Offset(nAxis, nDir);
    const int nMax = m_panelGeometry.MaxSignal(nAxis);
    const uint16_t nFirst = uint16_t(std::max(0, nOffset));
    const uint16_t nLast = uint16_t(std::min(nMax - 1 + nOffset, nMax - 1));
    return RunCommand(request, READ_TIMEOUT_MS, [&](const CDeviceReport &r) -> std::optional<int32_t> {
        if (!r.IsData(Opcode::kSignalA806) || r.U16Le(5) != nFirst || r.U16Le(7) != nLast)
            return std::nullopt;
        SLimitSet l;
        l.adcHi = r.U16Le(9) >> 2;
        l.adcLo = r.U16Le(11) >> 2;
        l.untHi = uint32_t(r.At(13)) >> 2;
        l.untLo = 0;
        l.problemHi = r.U16Le(19) >> 2;
        l.problemLo = r.U16Le(21) >> 2;
        l.agcHi = r.U16Le(23) >> 2;
        l.agcLo = r.U16Le(25) >> 2;
        AppendLimits(nAxis, nDir, l, nDivide, dFactor);
        return 0;
    });
}

int32_t HardwareInterface::GetSignalA806(int nAxis, int nDir, int nDivide, double dFactor)
{
    return RunWithRetry(CommandFamily::kGetSignalA806, [&] { return ReadSignalA806(nAxis, nDir, nDivide, dFactor); }, "GetSignalA806");
}

int32_t HardwareInterface::GetSignalA806WithThreshold()
{
    int nDivide = 0;
    double dFactor = 1.0;
    int32_t r = GetSignalThreshold(&nDivide, &dFactor);
    if (r < 0)
        return r;
    PrepareSignalAxes(nDivide, 1);
    for (int a = 0; a < 2 && a < m_lstAxisNames.size(); ++a) {
        if (m_panelGeometry.Total(a) <= 0)
            continue;
        for (int d = 0; d < 3; ++d) {
            r = GetSignalA806(a, d, nDivide, dFactor);
            if (r < 0)
                return r;
        }
    }
    return r;
}

int32_t HardwareInterface::ConvertSignal(const QByteArray &block)
{
    if (block.size() < CPanelGeometry::ParamBlockSize)
        return ERROR_CODE_NULL_DEVICE;
    int nDivide = 0;
    double dFactor = 1.0;
    const int32_t r = GetSignalThreshold(&nDivide, &dFactor);
    if (r < 0)
        return r;
    PrepareSignalAxes(nDivide, 1);
    const uint8_t *p = reinterpret_cast<const uint8_t *>(block.constData());
    // Signed 16-bit words as the block stores them; a negative limit is no limit a frame can mean.
    auto word = [p](int nOffset, int nDivisor) -> uint32_t {
        const int v = int16_t(uint16_t(p[nOffset] | (p[nOffset + 1] << 8))) / nDivisor;
        if (v < 0) {
            qWarning() << "Parameter block: negative limit" << v << "at offset" << nOffset << "read as 0";
            return 0;
        }
        return uint32_t(v);
    };
    for (int a = 0; a < 2 && a < m_lstAxisNames.size(); ++a) {
        if (m_panelGeometry.Total(a) < 1)
            continue;
        for (int d = 0; d < 3; ++d) {
            SLimitSet l;
            l.adcHi = word(104 + 2 * d, 1);
            l.adcLo = word(110 + 2 * d, 1);
            l.untHi = word(128, 1);
            l.untLo = 0;
            l.problemHi = word(130, 1);
            l.problemLo = word(132, 1);
            l.agcHi = word(134, 4);
            l.agcLo = word(136, 4);
            AppendLimits(a, d, l, nDivide, dFactor);
        }
    }
    return 0;
}

int32_t HardwareInterface::CheckTestRanges()
{
    for (int a = 0; a < 2 && a < m_lstAxisNames.size(); ++a) {
        if (m_panelGeometry.Total(a) <= 0)
            continue;
        const QString &strAxis = m_lstAxisNames[a];
        const auto it = GetAxisSignalMap().constFind(strAxis);
        const int nZones = it == GetAxisSignalMap().constEnd() ? 1 : it->GetDivide().size() + 1;
        for (const QString &strDir : qAsConst(m_lstDirNames)) {
            const CDirSignalInfo *pDir = it == GetAxisSignalMap().constEnd() ? nullptr : it->FindDir(strDir);
            const CSignalTypeInfo *pKind = pDir ? pDir->FindType(SignalKind::kAdc) : nullptr;
            const int nRanges = pKind ? pKind->GetTestStandards().size() : 0;
            if (nRanges < nZones) {
                qCritical().noquote() << QStringLiteral(
                                             "Test preparation: %1-%2 has %3 ADC test ranges for %4 zones; the frame "
                                             "reported no limits for it, so it could not be tested")
                                             .arg(strAxis, strDir)
                                             .arg(nRanges)
                                             .arg(nZones);
                return FamilyCode(CommandFamily::kGetSignalA816, ERROR_CODE_NULL_DEVICE);
            }
        }
    }
    return 0;
}

// ---------------------------------------------------------------- labels and relations

int32_t HardwareInterface::MapSensorSides()
{
    CHardwareInfo &info = GetHardwareInfo();
    for (auto it = GetAxisSignalMap().begin(); it != GetAxisSignalMap().end(); ++it) {
        const int nAxis = AxisIndex(it.key());
        const QString strA = QLatin1String(nAxis == CPanelGeometry::AxisX ? "Bottom" : "Right");
        const QString strB = QLatin1String(nAxis == CPanelGeometry::AxisX ? "Top" : "Left");
        CAxisSignalInfo &axis = it.value();
        const int nDirs = axis.GetDirMap().size();
        const int nMax = int(axis.GetMaxSignal());
        const int s = int(axis.GetSignalStart());
        if (nMax <= 0)
            continue;

        // Every path names two of the axis's sensors s .. s + nMax - 1: their
        // side texts and the board-and-position texts are made once per side.
        QVector<QString> vecSideA(nMax), vecSideB(nMax), vecPlaceA(nMax), vecPlaceB(nMax);
        for (int n = 0; n < nMax; ++n) {
            vecSideA[n] = strA + QLatin1Char(':') + QString::number(s + n);
            vecSideB[n] = strB + QLatin1Char(':') + QString::number(s + n);
            vecPlaceA[n] = LedIndexText(strA, QString(), s + n, -1);
            vecPlaceB[n] = LedIndexText(QString(), strB, -1, s + n);
        }
        for (int d = 0; d < nDirs && d < m_lstDirNames.size(); ++d) {
            const QString &strDir = m_lstDirNames[d];
            CDirSignalInfo &dir = axis.GetDirMap()[strDir];
            dir.GetSignalLabels().reserve(dir.GetSignalLabels().size() + nMax);
            dir.GetSignalRelations().reserve(dir.GetSignalRelations().size() + nMax);
            const int nOffset = m_panelGeometry.Offset(nAxis, d);
            for (int i = 0; i < nMax; ++i) {
                // k and r as offsets from the start s: the receiver is s + k, or s itself for k < 1.
                const int k = std::min(nOffset + i, nMax - 1);
                const int r = k >= 1 ? k : 0;
                const QString strRelation = vecSideA[i] + QLatin1Char('-') + vecSideB[r];
                info.ParseRelation(strRelation);
                dir.AddSignalLabel(vecPlaceA[i] + vecPlaceB[r]);
                dir.AddSignalRelation(strRelation);
            }
        }
    }
    return 0;
}

// ---------------------------------------------------------------- preparation

int32_t HardwareInterface::InitTestConfig()
{
    m_panelGeometry.Clear();
    QByteArray block;
    QVector<float> table;
    int32_t r = GetParamBlock(&block, &table);
    if (r < 0) {
        qCritical().noquote() << "Test preparation: the parameter block could not be read:" << Hex(r);
        return r;
    }
    if (block.isEmpty()) {
        // No parameter block: geometry from the LED-count and layout queries.
        r = InitPanelInfo(PortVersion());
        if (r < 0)
            return r;
        r = GetSignalA816WithThreshold();
        if (r < 0)
            return r;
        if (IsStatusResult(r)) {
            qInfo().noquote() << "Limits: A8 16 answered" << Hex(r) << "- reading them with A8 06";
            for (CAxisSignalInfo &axis : GetAxisSignalMap())
                axis.GetDirMap().clear();
            r = GetSignalA806WithThreshold();
            if (r < 0)
                return r;
        }
    } else {
        r = InitPanelFromParamBlock(block, table);
        if (r < 0)
            return r;
        r = GetSignalA816WithThreshold();
        if (r < 0)
            return r;
        if (IsStatusResult(r)) {
            qInfo().noquote() << "Limits: A8 16 answered" << Hex(r) << "- taking them from the parameter block";
            for (CAxisSignalInfo &axis : GetAxisSignalMap())
                axis.GetDirMap().clear();
            r = ConvertSignal(block);
            if (r < 0)
                return r;
        }
    }
    r = CheckTestRanges();
    if (r < 0)
        return r;
    MapSensorSides();
    r = InitDeviceInfo();
    if (r < 0)
        return r;
    ParseProductModel2(GetProperty(DeviceInfoKey::kProduct));
    LoadTouchTestInfo(GetProperty(DeviceInfoKey::kProduct), GetProperty(DeviceInfoKey::kCheckSum));
    return r;
}

// ---------------------------------------------------------------- signal frames

int32_t HardwareInterface::ReadSignalFrame(uint16_t nFirst, uint16_t nCount, uint8_t nSelector, SignalFrame *pOut)
{
    if (nCount > kChunk)
        return ERROR_CODE_NULL_DEVICE;
    CDeviceReport request = CDeviceReport::Request(Opcode::kSignalFrame, 2);
    request.Set(5, nSelector);
    request.SetU16Le(6, nFirst);
    request.SetU16Le(8, nCount);
    return RunCommand(request, kChunkTimeoutMs, [&](const CDeviceReport &r) -> std::optional<int32_t> {
        if (!r.IsData(Opcode::kSignalFrame) || r.At(5) != nSelector || r.U16Le(6) != nFirst || r.At(8) != nCount)
            return std::nullopt;
        for (int i = 0; i < nCount; ++i)
            pOut->append(r.At(9 + i));
        return 0;
    });
}

int32_t HardwareInterface::GetSignalFrame(uint16_t nFirst, uint16_t nCount, uint8_t nSelector, SignalFrame *pOut)
{
    const int nBefore = pOut->size();
    return RunWithRetry(
        CommandFamily::kGetSignalFrame,
        [&] {
            // A retry starts the chunk afresh.
            while (pOut->size() > nBefore)
                pOut->removeLast();
            return ReadSignalFrame(nFirst, nCount, nSelector, pOut);
        },
        "GetSignalFrame");
}

int32_t HardwareInterface::ReadOrgAgcSignal(const QString &strAxis, const QString &strDir, const QString &strKind,
                                            SignalFrame *pOut)
{
    pOut->clear();
    const auto it = GetAxisSignalMap().constFind(strAxis);
    const uint16_t nTotal = it == GetAxisSignalMap().constEnd() ? 0 : uint16_t(it->GetMaxSignal());
    const uint8_t nSelector = SignalSelector(strAxis, strDir, strKind);
    for (int nFirst = 0; nFirst < nTotal; nFirst += kChunk) {
        const int32_t r = GetSignalFrame(uint16_t(nFirst), uint16_t(std::min(kChunk, nTotal - nFirst)), nSelector, pOut);
        if (r < 0) {
            pOut->clear();
            return r;
        }
    }
    return pOut->size();
}

int32_t HardwareInterface::ReadOrgAgcSignalDirect(const QString &strAxis, const QString &strDir,
                                                  const QString &strKind, SignalFrame *pOut)
{
    pOut->clear();
    const auto it = GetAxisSignalMap().constFind(strAxis);
    const int nTotal = it == GetAxisSignalMap().constEnd() ? 0 : uint16_t(it->GetMaxSignal());
    const uint8_t nSelector = SignalSelector(strAxis, strDir, strKind);
    for (int nFirst = 0; nFirst < nTotal; nFirst += kChunk) {
        CDeviceReport request = CDeviceReport::Request(Opcode::kSignalFrame, 2);
        request.Set(5, nSelector);
        request.SetU16Le(6, uint16_t(nFirst));
        request.SetU16Le(8, uint16_t(std::min(kChunk, nTotal - nFirst)));
        const int32_t r = SendRequest(request);
        if (r < 0)
            return r;
    }
    pOut->reserve(nTotal);
    int nSkipped = 0;
    for (int nFirst = 0; nFirst < nTotal;) {
        const int nCount = std::min(kChunk, nTotal - nFirst);
        CDeviceReport reply;
        const int32_t r = ReadReport(&reply, kChunkTimeoutMs);
        if (r < 0) {
            pOut->clear();
            return r;
        }
        if (!reply.IsData(Opcode::kSignalFrame) || reply.At(5) != nSelector || reply.U16Le(6) != nFirst
            || reply.At(8) != nCount) {
            if (++nSkipped > MAX_SKIPPED_REPORTS) {
                pOut->clear();
                return ERROR_CODE_TIMEOUT;
            }
            continue;
        }
        for (int i = 0; i < nCount; ++i)
            pOut->append(reply.At(9 + i));
        nFirst += nCount;
    }
    return pOut->size();
}

int32_t HardwareInterface::GetOrgAgcSignal(const QString &strAxis, const QString &strDir, const QString &strKind,
                                           SignalFrame *pOut)
{
    return RunWithRetry(
        CommandFamily::kGetOrgAgcSignal, [&] { return ReadOrgAgcSignalDirect(strAxis, strDir, strKind, pOut); }, "GetOrgAgcSignal");
}

int32_t HardwareInterface::ReadSignalByVersion(const QString &strAxis, const QString &strDir, const QString &strKind,
                                               SignalFrame *pOut)
{
    if (IsVersion44Or45(PortVersion()))
        return ReadOrgAgcSignal(strAxis, strDir, strKind, pOut);
    return GetOrgAgcSignal(strAxis, strDir, strKind, pOut);
}

// ---------------------------------------------------------------- test core reads

int32_t HardwareInterface::ReadSignal(const QString &strKind, SignalMap &mapSignal)
{
    int32_t r = WaitDeviceIdle(kIdleTimeoutMs);
    if (r < 0)
        return r;
    SignalMap mapLocal;
    for (auto it = GetAxisSignalMap().constBegin(); it != GetAxisSignalMap().constEnd(); ++it) {
        for (auto dir = it->GetDirMap().constBegin(); dir != it->GetDirMap().constEnd(); ++dir) {
            SignalFrame frame;
            r = ReadSignalByVersion(it.key(), dir.key(), strKind, &frame);
            if (r < 0)
                return r;
            mapLocal[it.key() + QLatin1Char('-') + dir.key()].append(frame);
        }
    }
    for (auto it = mapLocal.constBegin(); it != mapLocal.constEnd(); ++it)
        mapSignal[it.key()].append(it.value());
    return mapSignal.size();
}

int32_t HardwareInterface::ReadReverseSignal(SignalMap &mapSignal)
{
    int32_t r = SendCmdA811AndWaitReady(PortVersion(), true);
    if (r < 0)
        return r;
    r = SetReverseMode(true);
    if (r < 0)
        return r;
    const QString strStraight = m_lstDirNames.value(1);
    int32_t nFailure = 0;
    for (auto it = GetAxisSignalMap().constBegin(); it != GetAxisSignalMap().constEnd(); ++it) {
        if (it->GetMaxSignal() == 0)
            continue;
        SignalFrame frame;
        r = ReadSignalByVersion(it.key(), strStraight, SignalKind::kReverse, &frame);
        if (r < 0) {
            nFailure = r;
            break;
        }
        const int nAxis = AxisIndex(it.key());
        mapSignal[it.key() + QLatin1Char('-') + strStraight].append(frame);
        mapSignal[it.key() + QLatin1Char('-') + m_lstDirNames.value(0)].append(
            ShiftFrame(frame, m_panelGeometry.Offset(nAxis, 0)));
        mapSignal[it.key() + QLatin1Char('-') + m_lstDirNames.value(2)].append(
            ShiftFrame(frame, m_panelGeometry.Offset(nAxis, 2)));
    }
    r = SetReverseMode(false);
    return nFailure < 0 ? nFailure : r;
}

int32_t HardwareInterface::ReadAxisSignal(const QString &strAxis, const QString &strDir, const QString &strKind,
                                          SignalFrame &lstOut, uint32_t *pFrameNumber)
{
    const QString strKey = strAxis + QLatin1Char('-') + strDir;
    auto keepOne = [&](SignalMap &map) {
        QList<SignalFrame> &lst = map[strKey];
        if (!lst.isEmpty())
            lst.removeFirst();
        lst.append(lstOut);
    };
    auto record = [&](const QString &strType) {
        if (m_bRecording)
            GetAxisSignalMap()[strAxis].AddTestData(strDir, strType, lstOut, m_nFrameNumber);
    };

    int32_t r = 0;
    if (strKind == SignalKind::kUnt) {
        lstOut.clear();
        CAxisSignalInfo &axis = GetAxisSignalMap()[strAxis];
        r = CalcFluctuation(axis.GetStandardType(strDir, SignalKind::kUnt), m_mapAdcSignal.value(strKey), lstOut,
                            axis.GetMaxSignal());
        // Even an empty result (no ADC frame yet) takes the place of the last one.
        if (r >= 0)
            keepOne(m_mapUntSignal);
    } else if (strKind == SignalKind::kAgc) {
        r = ReadSignalByVersion(strAxis, strDir, SignalKind::kAgc, &lstOut);
        if (r >= 0) {
            keepOne(m_mapAgcSignal);
            record(SignalKind::kAgc);
        }
    } else if (strKind == SignalKind::kAdc) {
        // In reverse mode the frame sends REVERSE levels for an ADC query.
        const QString strType = m_bReverseMode ? SignalKind::kReverse : SignalKind::kAdc;
        r = ReadSignalByVersion(strAxis, strDir, strType, &lstOut);
        if (r >= 0) {
            if (m_bReverseMode) {
                keepOne(m_mapReverseSignal);
            } else {
                QList<SignalFrame> &lst = m_mapAdcSignal[strKey];
                if (lst.size() >= TEST_TIMES_FOR_UNT && !lst.isEmpty())
                    lst.removeFirst();
                lst.append(lstOut);
            }
            record(strType);
        }
    }
    if (pFrameNumber)
        *pFrameNumber = m_nFrameNumber;
    return r;
}

int32_t HardwareInterface::RecordSignal(const QString &strKind, const SignalMap &mapSignal, uint32_t nFrameNumber)
{
    for (auto it = mapSignal.constBegin(); it != mapSignal.constEnd(); ++it) {
        if (it.value().isEmpty())
            continue;
        const QString strAxis = it.key().section(QLatin1Char('-'), 0, 0);
        const QString strDir = it.key().section(QLatin1Char('-'), -1);
        GetAxisSignalMap()[strAxis].AddTestData(strDir, strKind, it.value().last(), nFrameNumber);
    }
    return 0;
}

int32_t HardwareInterface::ClearSignalData()
{
    for (CAxisSignalInfo &axis : GetAxisSignalMap())
        axis.ClearTestData();
    m_nFrameNumber = 0;
    m_mapSignalError.clear();
    m_mapReverseSignal.clear();
    m_mapAdcSignal.clear();
    m_mapAgcSignal.clear();
    m_mapUntSignal.clear();
    return 0;
}
