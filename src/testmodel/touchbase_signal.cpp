// LED-level analysis of the test core: per-LED windows, weak-signal
// tolerances, fluctuation (UNT) frames, the sliding windows of the real-time
// test and the dark / weak LEDs of the problem map.

#include "touchbase.h"

#include "signalkind.h"

#include <QHash>
#include <QtGlobal>

namespace {

const QString kLightError = QStringLiteral("LIGHT_ERROR");
const QString kLightWeak = QStringLiteral("LIGHT_WEAK");

inline QString SignalKey(const QString &strAxis, const QString &strDir)
{
    return strAxis + QLatin1Char('-') + strDir;
}

inline bool OutOfRange(uint32_t v, const SignalRange &range)
{
    return v > range.hi || v < range.lo;
}

const QList<SignalRange> &EmptyRanges()
{
    static const QList<SignalRange> lst;
    return lst;
}

// Windows of (dir, kind) without creating the kind.
const QList<SignalRange> &TestRanges(const CDirSignalInfo &dir, const QString &strKind)
{
    const CSignalTypeInfo *pType = dir.FindType(strKind);
    return pType ? pType->GetTestStandards() : EmptyRanges();
}

const QList<SignalRange> &ProblemRanges(const CDirSignalInfo &dir, const QString &strKind)
{
    const CSignalTypeInfo *pType = dir.FindType(strKind);
    return pType ? pType->GetProblemStandards() : EmptyRanges();
}

// Newest frame under strKey, nullptr when the key has none.
const SignalFrame *NewestFrame(const SignalMap &map, const QString &strKey)
{
    auto it = map.constFind(strKey);
    if (it == map.cend() || it->isEmpty())
        return nullptr;
    return &it->last();
}

} // namespace

int32_t CTouchBase::CheckWeakSignalLimit(SignalErrorMap &mapErrors)
{
    if (static_cast<uint64_t>(mapErrors.size()) > MaxTolerantWeakSignalTotal)
        return -1;

    QHash<QString, uint32_t> mapLedCount;
    QHash<QString, uint32_t> mapDirCount;
    for (auto it = mapErrors.cbegin(); it != mapErrors.cend(); ++it) {
        const QString &strKey = it.key();
        const QString strAxis = strKey.left(strKey.indexOf(QLatin1Char('-')));
        const QString strAxisDir = strKey.left(strKey.indexOf(QLatin1Char(':')));
        QString strLabel = strKey.mid(strKey.lastIndexOf(QLatin1Char('[')) + 1);
        strLabel.remove(QLatin1Char(']'));
        const QString strEmitter = strLabel.left(strLabel.indexOf(QLatin1Char('-')));
        const QString strReceiver = strLabel.mid(strLabel.lastIndexOf(QLatin1Char('-')) + 1);

        if (++mapLedCount[strAxis + QLatin1Char(':') + strEmitter] > MaxTolerantWeakSignalEachLed)
            return -2;
        if (++mapLedCount[strAxis + QLatin1Char(':') + strReceiver] > MaxTolerantWeakSignalEachLed)
            return -2;

        uint32_t nDirLimit = 0;
        const QString strDir = strAxisDir.mid(strAxisDir.lastIndexOf(QLatin1Char('-')) + 1);
        auto itAxis = m_mapAxisSignal.constFind(strAxis);
        if (itAxis != m_mapAxisSignal.cend()) {
            if (const CDirSignalInfo *pDir = itAxis->FindDir(strDir))
                nDirLimit = pDir->GetMaxTolerantSignalCount();
        }
        if (++mapDirCount[strAxisDir] > nDirLimit)
            return -2;
    }
    mapErrors.clear();
    return 0;
}

int32_t CTouchBase::AnalyseFrame(const QString &strAxis, const QString &strDir, const QString &strKind,
                                 const SignalFrame &frame, SignalErrorMap &mapErrors)
{
    auto itAxis = m_mapAxisSignal.constFind(strAxis);
    if (itAxis == m_mapAxisSignal.cend())
        return 0;
    const CDirSignalInfo *pDir = itAxis->FindDir(strDir);
    if (!pDir)
        return 0;
    const QList<SignalRange> &lstRanges = TestRanges(*pDir, strKind);
    if (lstRanges.isEmpty())
        return 0;
    const QList<QString> &lstLabels = pDir->GetSignalLabels();
    const uint32_t nValues = static_cast<uint32_t>(frame.size());
    const uint32_t nLabels = static_cast<uint32_t>(lstLabels.size());
    const uint32_t nRanges = static_cast<uint32_t>(lstRanges.size());

    // A frame or label list shorter than the axis leaves the LEDs it does not
    // cover unjudged, so the walk ends with it (the zones of the LEDs before
    // stay the same); a window list shorter than the zones leaves those zones out.
    const uint32_t nLeds = qMin(itAxis->GetMaxSignal(), qMin(nValues, nLabels));
    uint64_t nJudged = 0;
    WalkSegments(nLeds, itAxis->GetDivide(), [&](uint32_t i, uint32_t s) {
        if (s >= nRanges)
            return;
        ++nJudged;
        const uint32_t v = frame.at(static_cast<int>(i));
        if (!OutOfRange(v, lstRanges.at(static_cast<int>(s))))
            return;
        const QString strKey = SignalKey(strAxis, strDir) + QStringLiteral(":[") + lstLabels.at(static_cast<int>(i))
            + QLatin1Char(']');
        auto it = mapErrors.find(strKey);
        if (it == mapErrors.end()) {
            // The first finding carries four times the reading.
            mapErrors.insert(strKey, strKind + QLatin1Char(':') + QString::number(4ull * v));
        } else if (!it->contains(strKind)) {
            *it += QLatin1Char('/') + strKind + QLatin1Char(':') + QString::number(v);
        }
    });
    if (m_bCountingRun)
        m_runCoverage.nLedsJudged += nJudged;
    return 0;
}

int32_t CTouchBase::AnalyseSignal(const QString &strKind, const SignalMap &mapSignal, SignalErrorMap &mapErrors)
{
    for (auto itAxis = m_mapAxisSignal.cbegin(); itAxis != m_mapAxisSignal.cend(); ++itAxis) {
        const QMap<QString, CDirSignalInfo> &mapDirs = itAxis->GetDirMap();
        for (auto itDir = mapDirs.cbegin(); itDir != mapDirs.cend(); ++itDir) {
            if (const SignalFrame *pFrame = NewestFrame(mapSignal, SignalKey(itAxis.key(), itDir.key())))
                AnalyseFrame(itAxis.key(), itDir.key(), strKind, *pFrame, mapErrors);
        }
    }
    return 0;
}

int32_t CTouchBase::AnalyseAdc()
{
    AnalyseSignal(SignalKind::kAdc, m_mapAdcSignal, m_mapSignalError);
    CheckWeakSignalLimit(m_mapSignalError);
    return 0;
}

int32_t CTouchBase::GetLatestSignal(const QString &strAxis, const QString &strDir, const QString &strKind,
                                    SignalFrame &lstOut, uint32_t *pFrameNumber)
{
    const SignalMap *pMap = nullptr;
    if (strKind == SignalKind::kUnt)
        pMap = &m_mapUntSignal;
    else if (strKind == SignalKind::kAgc)
        pMap = &m_mapAgcSignal;
    else if (strKind == SignalKind::kAdc)
        pMap = m_bReverseMode ? &m_mapReverseSignal : &m_mapAdcSignal;

    if (pMap) {
        if (const SignalFrame *pFrame = NewestFrame(*pMap, SignalKey(strAxis, strDir)))
            lstOut = *pFrame;
    }
    if (pFrameNumber)
        *pFrameNumber = m_nFrameNumber;
    return lstOut.size();
}

int32_t CTouchBase::CalcFluctuation(const QString &strStandardType, const QList<SignalFrame> &lstFrames,
                                    SignalFrame &lstOut, uint32_t nCount)
{
    if (lstFrames.isEmpty() || nCount == 0)
        return lstOut.size();
    if (nCount > kMaxSignalCount) {
        qWarning("Fluctuation asked for %u LEDs; only the first %u are computed", nCount, kMaxSignalCount);
        nCount = kMaxSignalCount;
    }

    const bool bAbsolute = (strStandardType == QLatin1String("Absolute"));
    const uint32_t nFirst = static_cast<uint32_t>(lstFrames.first().size());
    lstOut.reserve(lstOut.size() + static_cast<int>(nCount));
    for (uint32_t i = 0; i < nCount; ++i) {
        if (i >= nFirst) {
            lstOut.append(0);
            continue;
        }
        uint32_t nMax = 0;
        uint32_t nMin = UINT32_MAX;
        for (const SignalFrame &frame : lstFrames) {
            if (static_cast<uint32_t>(frame.size()) <= i)
                continue;
            const uint32_t v = frame.at(static_cast<int>(i));
            nMax = qMax(nMax, v);
            nMin = qMin(nMin, v);
        }
        if (bAbsolute)
            lstOut.append(nMax - nMin);
        else if (nMax == 0)
            lstOut.append(0);
        else // a percentage of the maximum, never above 100
            lstOut.append(static_cast<uint32_t>(static_cast<uint64_t>(nMax - nMin) * 100u / nMax));
    }
    return lstOut.size();
}

int32_t CTouchBase::CalcUntSignal(SignalMap &mapAdc, SignalMap &mapUnt)
{
    for (auto itAxis = m_mapAxisSignal.cbegin(); itAxis != m_mapAxisSignal.cend(); ++itAxis) {
        const QMap<QString, CDirSignalInfo> &mapDirs = itAxis->GetDirMap();
        for (auto itDir = mapDirs.cbegin(); itDir != mapDirs.cend(); ++itDir) {
            const QString strKey = SignalKey(itAxis.key(), itDir.key());
            const QList<SignalFrame> &lstFrames = mapAdc[strKey];
            const CSignalTypeInfo *pUnt = itDir->FindType(SignalKind::kUnt);
            const QString strType = pUnt ? pUnt->GetStandardType() : QString();
            SignalFrame lstUnt;
            if (CalcFluctuation(strType, lstFrames, lstUnt, itAxis->GetMaxSignal()) > 0)
                mapUnt[strKey].append(lstUnt);
        }
    }
    return mapUnt.size();
}

int32_t CTouchBase::TrimFrames(SignalMap &mapSignal, int32_t n)
{
    for (auto itAxis = m_mapAxisSignal.cbegin(); itAxis != m_mapAxisSignal.cend(); ++itAxis) {
        const QMap<QString, CDirSignalInfo> &mapDirs = itAxis->GetDirMap();
        for (auto itDir = mapDirs.cbegin(); itDir != mapDirs.cend(); ++itDir) {
            QList<SignalFrame> &lstFrames = mapSignal[SignalKey(itAxis.key(), itDir.key())];
            // Never remove from an empty list, whatever n is.
            if (!lstFrames.isEmpty() && lstFrames.size() >= n)
                lstFrames.removeFirst();
        }
    }
    return 0;
}

int32_t CTouchBase::CheckLightThreshold(ProblemMap &mapProblems, const QString &strAxis, const QString &strDir)
{
    auto itAxis = m_mapAxisSignal.constFind(strAxis);
    if (itAxis == m_mapAxisSignal.cend())
        return 0;
    const CDirSignalInfo *pDir = itAxis->FindDir(strDir);
    if (!pDir)
        return 0;

    const QString strKey = SignalKey(strAxis, strDir);
    const SignalFrame *pAdc = NewestFrame(m_mapAdcSignal, strKey);
    const SignalFrame *pAgc = NewestFrame(m_mapAgcSignal, strKey);
    if (!pAdc && !pAgc)
        return 0;

    const QList<SignalRange> &lstProblem = ProblemRanges(*pDir, SignalKind::kAdc);
    const QList<SignalRange> &lstAdc = TestRanges(*pDir, SignalKind::kAdc);
    const QList<SignalRange> &lstAgc = TestRanges(*pDir, SignalKind::kAgc);
    const QList<QString> &lstRelations = pDir->GetSignalRelations();
    const int nAdc = pAdc ? pAdc->size() : 0;
    const int nAgc = pAgc ? pAgc->size() : 0;

    // An LED without a relation text cannot be named: the walk ends with the list.
    const uint32_t nLeds = qMin(itAxis->GetMaxSignal(), static_cast<uint32_t>(lstRelations.size()));
    WalkSegments(nLeds, itAxis->GetDivide(), [&](uint32_t nLed, uint32_t nSeg) {
        const int i = static_cast<int>(nLed);
        const uint32_t s = nSeg;
        // Each check needs its reading and its window; one that lacks either is left out.
        if (i < nAdc) {
            const uint32_t a = pAdc->at(i);
            if (s < static_cast<uint32_t>(lstProblem.size()) && a <= lstProblem.at(static_cast<int>(s)).hi) {
                mapProblems[kLightError].append(lstRelations.at(i));
                return;
            }
            if (s < static_cast<uint32_t>(lstAdc.size()) && OutOfRange(a, lstAdc.at(static_cast<int>(s)))) {
                mapProblems[kLightWeak].append(lstRelations.at(i));
                return;
            }
        }
        if (i < nAgc && s < static_cast<uint32_t>(lstAgc.size()) && OutOfRange(pAgc->at(i), lstAgc.at(static_cast<int>(s))))
            mapProblems[kLightWeak].append(lstRelations.at(i));
    });
    return 0;
}

int32_t CTouchBase::CheckAllLightThresholds(ProblemMap &mapProblems)
{
    for (auto itAxis = m_mapAxisSignal.cbegin(); itAxis != m_mapAxisSignal.cend(); ++itAxis) {
        const QMap<QString, CDirSignalInfo> &mapDirs = itAxis->GetDirMap();
        for (auto itDir = mapDirs.cbegin(); itDir != mapDirs.cend(); ++itDir)
            CheckLightThreshold(mapProblems, itAxis.key(), itDir.key());
    }
    return 0;
}

int32_t CTouchBase::AnalyseRealTimeSignal(ProblemMap &mapProblems, uint32_t *pFrameNumber)
{
    int32_t r = ReadSignal(SignalKind::kAdc, m_mapAdcSignal);
    if (r < 0)
        return r;
    TrimFrames(m_mapAdcSignal, TEST_TIMES_FOR_UNT);
    r = ReadSignal(SignalKind::kAgc, m_mapAgcSignal);
    if (r < 0)
        return r;
    TrimFrames(m_mapAgcSignal, 1);
    r = CalcUntSignal(m_mapAdcSignal, m_mapUntSignal);
    if (r < 0)
        return r;
    TrimFrames(m_mapUntSignal, 1);
    if (m_bRecording) {
        RecordSignal(SignalKind::kAdc, m_mapAdcSignal, m_nFrameNumber);
        RecordSignal(SignalKind::kAgc, m_mapAgcSignal, m_nFrameNumber);
        ++m_nRecordedFrames;
    }
    return GetErrors(mapProblems, pFrameNumber);
}
