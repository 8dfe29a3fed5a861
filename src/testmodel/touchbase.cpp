#include "touchbase.h"

#include "signalkind.h"

#include <algorithm>

CTouchBase::CTouchBase(COperateEnvironment *pEnv, QString strName, QObject *parent)
    : QObject(parent)
    , m_pEnv(pEnv)
    , m_strName(std::move(strName))
{
}

CTouchBase::~CTouchBase() = default;

QMap<QString, CAxisSignalInfo> &CTouchBase::GetAxisSignalMap()
{
    return m_mapAxisSignal;
}

QList<CPropertyItem> &CTouchBase::GetPropertyList()
{
    return m_lstProperty;
}

bool CTouchBase::SetProperty(const QString &strKey, const QString &strValue)
{
    for (CPropertyItem &item : m_lstProperty) {
        if (item.first == strKey) {
            item.second = strValue;
            return true;
        }
    }
    m_lstProperty.append(CPropertyItem(strKey, strValue));
    return false;
}

QString CTouchBase::GetProperty(const QString &strKey)
{
    for (const CPropertyItem &item : qAsConst(m_lstProperty)) {
        if (item.first == strKey)
            return item.second;
    }
    return QString();
}

CHardwareInfo &CTouchBase::GetHardwareInfo()
{
    return m_hardwareInfo;
}

uint32_t CTouchBase::PrevFrame()
{
    if (m_nFrameNumber > 0)
        --m_nFrameNumber;
    return m_nFrameNumber;
}

int32_t CTouchBase::SetReverseMode(bool bReverse)
{
    m_bReverseMode = bReverse;
    return 0;
}

bool CTouchBase::IsReverseMode()
{
    return m_bReverseMode;
}

uint32_t CTouchBase::NextFrame()
{
    return ++m_nFrameNumber;
}

QString CTouchBase::GetName()
{
    return m_strName;
}

int32_t CTouchBase::GetType()
{
    return m_nType;
}

void CTouchBase::SetInterfaceTestResult(const QPair<QString, QString> &result)
{
    m_strInterfaceTestName = result.first;
    m_strInterfaceTestResult = result.second;
}

QPair<QString, QString> CTouchBase::GetInterfaceTestResult()
{
    return qMakePair(m_strInterfaceTestName, m_strInterfaceTestResult);
}

void CTouchBase::ClearInterfaceTestResult()
{
    m_strInterfaceTestName.clear();
    m_strInterfaceTestResult.clear();
}

SignalErrorMap &CTouchBase::GetSignalErrors()
{
    return m_mapSignalError;
}

int32_t CTouchBase::ResetSignalErrors()
{
    m_mapSignalError.clear();
    return 0;
}

bool CTouchBase::IsSupportRealTimeTest()
{
    return SupportRealTimeTest;
}

int32_t CTouchBase::GetEnableTestUart()
{
    return bEnableTestUart;
}

int32_t CTouchBase::GetEnableTestDoubleUsb()
{
    return bEnableTestDoubleUsb;
}

const SignalMap *CTouchBase::GetSignalMap(const QString &strKind) const
{
    if (strKind == SignalKind::kReverse)
        return &m_mapReverseSignal;
    if (strKind == SignalKind::kAdc)
        return &m_mapAdcSignal;
    if (strKind == SignalKind::kAgc)
        return &m_mapAgcSignal;
    if (strKind == SignalKind::kUnt)
        return &m_mapUntSignal;
    return nullptr;
}

// One pass of reads. A pass stops early as soon as the signal-error map holds
// entries that the weak-signal check did not tolerate.
int32_t CTouchBase::RunPass()
{
    int32_t r = ReadReverseSignal(m_mapReverseSignal);
    if (r < 0)
        return r;
    RecordSignal(SignalKind::kReverse, m_mapReverseSignal, m_nFrameNumber);
    if (HasErrors())
        return 1;

    NextFrame();
    r = ReadSignal(SignalKind::kAgc, m_mapAgcSignal);
    if (r < 0)
        return r;
    RecordSignal(SignalKind::kAgc, m_mapAgcSignal, m_nFrameNumber);

    if (TEST_TIMES_FOR_UNT > 0) {
        if (HasErrors())
            return 1;
        for (int32_t i = 0;;) {
            NextFrame();
            r = ReadSignal(SignalKind::kAdc, m_mapAdcSignal);
            if (r < 0)
                return r;
            RecordSignal(SignalKind::kAdc, m_mapAdcSignal, m_nFrameNumber);
            AnalyseSignal(SignalKind::kAdc, m_mapAdcSignal, m_mapSignalError);
            CheckWeakSignalLimit(m_mapSignalError);
            ++i;
            if (i == TEST_TIMES_FOR_UNT)
                break;
            if (HasErrors())
                return 1;
        }
    }

    if (HasErrors())
        return 1;
    r = CalcUntSignal(m_mapAdcSignal, m_mapUntSignal);
    if (r < 0)
        return r;
    return 0;
}

uint32_t CTouchBase::SRunCoverage::FramesNotFound() const
{
    uint32_t n = 0;
    for (uint32_t nKind : mapFramesNotFound)
        n += nKind;
    return n;
}

QMap<QString, uint32_t> CTouchBase::SRunCoverage::KindsNotFound() const
{
    QMap<QString, uint32_t> mapKinds;
    for (auto it = mapFramesNotFound.cbegin(); it != mapFramesNotFound.cend(); ++it) {
        const QMap<QString, uint32_t> mapFound = mapFramesFound.value(it.key());
        const bool bFound = std::any_of(mapFound.cbegin(), mapFound.cend(), [](uint32_t n) { return n > 0; });
        if (!bFound)
            mapKinds.insert(it.key(), it.value());
    }
    return mapKinds;
}

QMap<QString, QStringList> CTouchBase::SRunCoverage::DirectionsWithoutKind() const
{
    QMap<QString, QStringList> mapWithout;
    for (auto itKind = mapFramesFound.cbegin(); itKind != mapFramesFound.cend(); ++itKind) {
        QStringList lstWithout;
        bool bFound = false;
        for (auto itDir = itKind->cbegin(); itDir != itKind->cend(); ++itDir) {
            if (itDir.value() > 0)
                bFound = true;
            else
                lstWithout << itDir.key();
        }
        if (bFound && !lstWithout.isEmpty())
            mapWithout.insert(itKind.key(), lstWithout);
    }
    return mapWithout;
}

void CTouchBase::NoteFrameRead(const QString &strKind, const QString &strKey, bool bFound)
{
    if (!m_bCountingRun)
        return;
    uint32_t &nFound = m_runCoverage.mapFramesFound[strKind][strKey];
    if (bFound)
        ++nFound;
    else
        ++m_runCoverage.mapFramesNotFound[strKind];
}

int32_t CTouchBase::RunTest()
{
    // The coverage counts this run's reads and judgements only, whichever
    // way it ends.
    m_runCoverage = SRunCoverage();
    m_bCountingRun = true;
    struct SEndCount
    {
        bool &bCounting;
        ~SEndCount() { bCounting = false; }
    } endCount{m_bCountingRun};

    ClearSignalData();
    m_mapSignalError.clear();

    bool bReinit = (eInitAgcWhileRetest == 1);
    if (!bReinit) {
        const int32_t r = RunPass();
        if (r < 0)
            return r;
        bReinit = (eInitAgcWhileRetest != -1) && HasErrors();
    }

    if (bReinit) {
        ClearSignalData();
        m_nFrameNumber = 0;
        const int32_t r = InitAgc();
        if (r < 0)
            return r;
        m_mapSignalError.clear();
        m_mapReverseSignal.clear();
        m_mapAdcSignal.clear();
        m_mapAgcSignal.clear();
        m_mapUntSignal.clear();

        const int32_t r2 = RunPass();
        if (r2 < 0)
            return r2;
    }

    m_nRecordBase = m_nFrameNumber;
    return 0;
}
