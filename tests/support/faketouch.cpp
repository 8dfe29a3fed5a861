#include "faketouch.h"

#include "testpanel.h"

CFakeTouch::CFakeTouch(QObject *parent)
    : CTouchBase(nullptr, QStringLiteral("fake"), parent)
{
    m_nType = 1;
    m_fnSource = [this](const QString &strKind, int, const QString &strKey) {
        const QString strAxis = strKey.section(QLatin1Char('-'), 0, 0);
        const uint32_t nCount = m_mapAxisSignal.value(strAxis).GetMaxSignal();
        return CTestPanel::Uniform(nCount, CTestPanel::HealthyValue(strKind));
    };
}

void CFakeTouch::SetCannedProblems(const ProblemMap &mapProblems)
{
    m_bCanned = true;
    m_mapCanned = mapProblems;
}

SignalMap &CFakeTouch::Signals(const QString &strKind)
{
    if (strKind == QLatin1String("REVERSE"))
        return m_mapReverseSignal;
    if (strKind == QLatin1String("AGC"))
        return m_mapAgcSignal;
    if (strKind == QLatin1String("UNT"))
        return m_mapUntSignal;
    return m_mapAdcSignal;
}

int32_t CFakeTouch::CalcUntSignal(SignalMap &mapAdc, SignalMap &mapUnt)
{
    m_lstCalls.append(QStringLiteral("CalcUntSignal"));
    return CTouchBase::CalcUntSignal(mapAdc, mapUnt);
}

int32_t CFakeTouch::GetErrors(ProblemMap &mapProblems, uint32_t *pFrameNumber)
{
    if (!m_bCanned)
        return CTouchBase::GetErrors(mapProblems, pFrameNumber);
    mapProblems = m_mapCanned;
    if (pFrameNumber)
        *pFrameNumber = m_nFrameNumber;
    return 0;
}

int32_t CFakeTouch::ReadAxisSignal(const QString &strAxis, const QString &strDir, const QString &strKind,
                                   SignalFrame &lstOut, uint32_t *pFrameNumber)
{
    return GetLatestSignal(strAxis, strDir, strKind, lstOut, pFrameNumber);
}

int32_t CFakeTouch::RecordSignal(const QString &strKind, const SignalMap &mapSignal, uint32_t nFrameNumber)
{
    m_lstCalls.append(QStringLiteral("Record:%1:%2").arg(strKind).arg(nFrameNumber));
    for (auto itAxis = m_mapAxisSignal.begin(); itAxis != m_mapAxisSignal.end(); ++itAxis) {
        const QStringList lstDirs = itAxis->GetDirMap().keys();
        for (const QString &strDir : lstDirs) {
            const QList<SignalFrame> lstFrames = mapSignal.value(itAxis.key() + QLatin1Char('-') + strDir);
            if (!lstFrames.isEmpty())
                itAxis->AddTestData(strDir, strKind, lstFrames.last(), nFrameNumber);
        }
    }
    return 0;
}

int32_t CFakeTouch::ClearSignalData()
{
    m_lstCalls.append(QStringLiteral("ClearSignalData"));
    m_nFrameNumber = 0;
    m_mapReverseSignal.clear();
    m_mapAdcSignal.clear();
    m_mapAgcSignal.clear();
    m_mapUntSignal.clear();
    m_mapSignalError.clear();
    for (CAxisSignalInfo &axis : m_mapAxisSignal)
        axis.ClearTestData();
    return 0;
}

int32_t CFakeTouch::ReadSignal(const QString &strKind, SignalMap &mapSignal)
{
    m_lstCalls.append(strKind);
    const int nCall = m_mapReads.value(strKind);
    m_mapReads[strKind] = nCall + 1;
    const int32_t nFail = m_mapFailures.value(qMakePair(strKind, nCall), 0);
    if (nFail < 0)
        return nFail;
    for (auto itAxis = m_mapAxisSignal.cbegin(); itAxis != m_mapAxisSignal.cend(); ++itAxis) {
        for (auto itDir = itAxis->GetDirMap().cbegin(); itDir != itAxis->GetDirMap().cend(); ++itDir) {
            const QString strKey = itAxis.key() + QLatin1Char('-') + itDir.key();
            mapSignal[strKey].append(m_fnSource(strKind, nCall, strKey));
        }
    }
    return 0;
}

int32_t CFakeTouch::ReadReverseSignal(SignalMap &mapSignal)
{
    return ReadSignal(QStringLiteral("REVERSE"), mapSignal);
}

int32_t CFakeTouch::InitAgc()
{
    m_lstCalls.append(QStringLiteral("InitAgc"));
    return m_nInitAgcResult;
}
