#include "hardwareinterface.h"

#include "comport.h"
#include "deviceerror.h"
#include "stationclock.h"

#include <QDebug>
#include <algorithm>

namespace {
constexpr uint8_t kStatusDone = CDeviceReport::kStatusDone;
constexpr uint8_t kStatusBusy = CDeviceReport::kStatusBusy;
constexpr uint8_t kStatusOther = CDeviceReport::kStatusOther;

QString Hex32(int32_t nCode)
{
    return QStringLiteral("0x") + QString::number(uint32_t(nCode), 16).toUpper().rightJustified(8, QLatin1Char('0'));
}
} // namespace

CTouchHardware *CTouchHardware::CreateHardwareInterface(COperateEnvironment *pEnv, CComPort *pPort,
                                                       QString strName, QObject *parent)
{
    return new HardwareInterface(pEnv, pPort, strName, parent);
}

HardwareInterface::HardwareInterface(COperateEnvironment *pEnv, CComPort *pPort, QString strName,
                                     QObject *parent)
    : CTouchHardware(pEnv, pPort, strName, parent)
{
    m_lstDirNames << QStringLiteral("T0") << QStringLiteral("T1") << QStringLiteral("T2");
    m_lstAxisNames << QStringLiteral("X") << QStringLiteral("Y");
    TEST_TIMES_FOR_UNT = 10;
}

HardwareInterface::~HardwareInterface() = default;

// ====================================================================== protocol core

std::optional<int32_t> HardwareInterface::StandardStatus(const CDeviceReport &reply, SOpcode op)
{
    if (!reply.IsStatusFor(op))
        return std::nullopt;
    switch (reply.Status()) {
    case kStatusDone:
        return 0;
    case kStatusBusy:
        return RESULT_BUSY;
    default:
        return RESULT_STATUS;
    }
}

std::optional<int32_t> HardwareInterface::Only81Status(const CDeviceReport &reply, SOpcode op)
{
    if (reply.IsStatusFor(op) && reply.Status() == kStatusDone)
        return 0;
    return std::nullopt;
}

int32_t HardwareInterface::FamilyCode(uint8_t nFamily, int32_t nResult)
{
    return int32_t(0x80000000u | (uint32_t(nFamily) << 16) | (uint32_t(nResult) & 0xFFFFu));
}

int32_t HardwareInterface::SendRequest(const CDeviceReport &request, int nDev)
{
    if (!m_pPort)
        return ERROR_CODE_NULL_DEVICE;
    const int32_t r = m_pPort->SendData(request.Data(), CDeviceReport::kSize,
                                        CStationClock::Timeout(SEND_TIMEOUT_MS), nDev);
    if (r < 0)
        qDebug().noquote() << "SendData" << request.ToHex(8) << "failed:" << Hex32(r);
    return r;
}

int32_t HardwareInterface::ReadReport(CDeviceReport *pReply, int nTimeoutMs, int nDev)
{
    if (!m_pPort)
        return ERROR_CODE_NULL_DEVICE;
    pReply->Clear();
    const int32_t r = m_pPort->RecvData(pReply->Data(), CDeviceReport::kSize, CStationClock::Timeout(nTimeoutMs),
                                        nDev);
    return r == 0 ? ERROR_CODE_TIMEOUT : r;
}

HardwareInterface::COperationScope::COperationScope(HardwareInterface &hw, bool bSetsRunFlag) : m_hw(hw)
{
    if (hw.m_nOpDepth++ == 0) {
        hw.m_nOpGeneration = hw.m_nAbortGeneration.load();
        hw.m_bOpSetsRunFlag = false;
    }
    if (bSetsRunFlag && !hw.IsAborted()) {
        hw.m_bRunFlag = true;
        hw.m_bOpSetsRunFlag = true;
    }
}

HardwareInterface::COperationScope::~COperationScope()
{
    --m_hw.m_nOpDepth;
}

bool HardwareInterface::IsAborted() const
{
    if (m_nOpDepth == 0)
        return false;
    // An abort after the operation began; or, for an operation that set the
    // run flag itself, the flag cleared (an abort racing with its start).
    return m_nAbortGeneration.load() != m_nOpGeneration || (m_bOpSetsRunFlag && !m_bRunFlag.load());
}

int32_t HardwareInterface::RunCommandLoop(const CDeviceReport &request, int nTimeoutMs, HandlerFn fn,
                                          void *pHandler, bool bCalibration, int nDev,
                                          bool bFineTuneEndOnA212)
{
    const COperationScope scope(*this, false);
    int32_t r = SendRequest(request, nDev);
    if (r < 0)
        return r;
    if (m_bFineTuneEndQueued) {
        // The frame left fine tuning before this command started.
        m_bFineTuneEndQueued = false;
        if (bCalibration && bFineTuneEndOnA212)
            return ERROR_FINE_TUNE_END;
    }
    CDeviceReport reply;
    for (int nSkipped = 0;; ++nSkipped) {
        if (nSkipped >= MAX_SKIPPED_REPORTS) {
            qWarning().noquote() << "Command" << request.ToHex(3) << ": the frame sent" << nSkipped
                                 << "reports that answer nothing; giving up as a time-out";
            return ERROR_CODE_TIMEOUT;
        }
        r = ReadReport(&reply, nTimeoutMs, nDev);
        if (r < 0) {
            // A wait that SetRecvEnable(false) broke is the user's abort, not a silent frame.
            if (bCalibration && r == ERROR_CODE_TIMEOUT && IsAborted())
                return ERROR_CODE_INTERRUPT;
            return r;
        }
        if (const std::optional<int32_t> result = fn(pHandler, reply))
            return *result;
        if (bCalibration) {
            if (bFineTuneEndOnA212 && reply.IsStatusFor(Opcode::kExitFineTuning) && reply.Status() == kStatusOther)
                return ERROR_FINE_TUNE_END;
            if (IsAborted())
                return ERROR_CODE_INTERRUPT;
        }
    }
}

int32_t HardwareInterface::RetryLoop(uint8_t nFamily, RawFn fn, void *pRaw, const char *pszName, int nTries,
                                     bool bCalibration)
{
    const COperationScope scope(*this, false);
    FlushStaleReplies();
    if (!bCalibration)
        m_bFineTuneEndQueued = false;  // a plain command skips it
    int32_t r = ERROR_CODE_TIMEOUT;
    for (int i = 0; i < nTries; ++i) {
        if (bCalibration && IsAborted()) {
            r = ERROR_CODE_INTERRUPT;
            break;
        }
        r = fn(pRaw);
        if (r != ERROR_CODE_TIMEOUT)
            break;
    }
    m_bFineTuneEndQueued = false;
    if (r >= 0)
        return r;
    const int32_t code = r == ERROR_CODE_TIMEOUT ? FamilyTimeout(nFamily) : FamilyCode(nFamily, r);
    if (r == ERROR_CODE_INTERRUPT)
        qInfo().noquote() << (pszName ? pszName : "Command") << "ended by the user:" << Hex32(code);
    else
        qWarning().noquote() << (pszName ? pszName : "Command") << "failed:" << Hex32(code);
    return code;
}

int HardwareInterface::FlushStaleReplies()
{
    if (!m_pPort)
        return 0;
    int nDropped = 0;
    bool bReenabled = false;
    CDeviceReport stale;
    while (nDropped < MAX_FLUSHED_REPORTS) {
        stale.Clear();
        const int32_t r = m_pPort->RecvData(stale.Data(), CDeviceReport::kSize, 0, 0);
        if (r > 0) {
            ++nDropped;
            if (stale.IsStatusFor(Opcode::kExitFineTuning) && stale.Status() == kStatusOther)
                m_bFineTuneEndQueued = true;
            else
                qDebug().noquote() << "Dropped a stale reply" << stale.ToHex(8);
            continue;
        }
        if (r == ERROR_CODE_INTERRUPT && !bReenabled) {
            // Reception was switched off with a reply still queued (an aborted
            // wait); the next write switches it on anyway, so do it first.
            m_pPort->SetRecvEnable(1, 0);
            bReenabled = true;
            continue;
        }
        break;
    }
    return nDropped;
}

int32_t HardwareInterface::PortVersion()
{
    return m_pPort ? m_pPort->GetVersion() : ERROR_CODE_NULL_DEVICE;
}


// ====================================================================== versions and waits

bool HardwareInterface::IsVersion44Or45(int nVersion)
{
    return (nVersion >= 0x4400 && nVersion <= 0x44FF) || (nVersion >= 0x45A0 && nVersion <= 0x45FF);
}

bool HardwareInterface::IsKnownVersion(int nVersion)
{
    return IsVersion44Or45(nVersion) || (nVersion >= 0x4600 && nVersion <= 0x46FF);
}

int32_t HardwareInterface::WaitAfterCommand(int nVersion, bool bFlag)
{
    if (IsVersion44Or45(nVersion)) {
        if (bFlag)
            CStationClock::Sleep(6000);
    } else if (nVersion >= 0x4600 && nVersion <= 0x46FF) {
        CStationClock::Sleep(100);
    }
    return 0;
}

int32_t HardwareInterface::SendCmdA811AndWaitReady(int nVersion, bool bFlag)
{
    if (nVersion < 0x4600 || nVersion > 0x46FF)
        return 0;
    int32_t r = CmdA811(bFlag);
    if (r < 0)
        return r;
    r = WaitReady();
    return r > 0 ? 0 : r;
}

int32_t HardwareInterface::SendCmdA811(bool bFlag)
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kCmdA811, 0);
    q.Set(5, bFlag ? 1 : 0);
    q.Set(6, 0xFF);
    q.Set(7, 0xFF);
    return RunCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return Only81Status(r, Opcode::kCmdA811); });
}

int32_t HardwareInterface::CmdA811(bool bFlag)
{
    return RunWithRetry(CommandFamily::kCmdA811, [&] { return SendCmdA811(bFlag); }, "CmdA811");
}

int32_t HardwareInterface::PollReady()
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kSignalFrame, 2);
    q.Set(5, 0xFF);
    // The frame answers the poll with status 0x82 once it is ready.
    return RunCommand(q, POLL_READY_TIMEOUT_MS, [](const CDeviceReport &r) -> std::optional<int32_t> {
        if (r.IsStatusFor(Opcode::kSignalFrame) && r.Status() == kStatusBusy)
            return RESULT_BUSY;
        return std::nullopt;
    });
}

int32_t HardwareInterface::WaitReady()
{
    return RunWithRetry(CommandFamily::kWaitReady, [&] { return PollReady(); }, "WaitReady", READY_POLL_COUNT);
}

// ====================================================================== device settings

int32_t HardwareInterface::SendDrawingMode(uint8_t nA, uint8_t nB)
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kDrawingMode, 2);
    q.Set(5, nA);
    q.Set(6, uint8_t(nB ^ 1));
    return RunCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return Only81Status(r, Opcode::kDrawingMode); });
}

int32_t HardwareInterface::SetDrawing(uint8_t nA, uint8_t nB)
{
    return RunWithRetry(CommandFamily::kSetDrawing, [&] { return SendDrawingMode(nA, nB); }, "SetDrawing");
}

int32_t HardwareInterface::ReadTouchEnable()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kTouchEnableRead, 2);
    return RunCommand(q, READ_TIMEOUT_MS, [this](const CDeviceReport &r) -> std::optional<int32_t> {
        if (r.IsData(Opcode::kTouchEnableRead)) {
            m_nTouchEnable[0] = r.At(5);
            m_nTouchEnable[1] = r.At(6);
            m_bTouchEnableRead = true;
            return 0;
        }
        return StandardStatus(r, Opcode::kTouchEnableRead);
    });
}

int32_t HardwareInterface::GetTouchEnable()
{
    return RunWithRetry(CommandFamily::kGetTouchEnable, [&] { return ReadTouchEnable(); }, "GetTouchEnable");
}

int32_t HardwareInterface::SendTouchEnable(bool bOn)
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kTouchEnable, 2);
    if (bOn) {
        // A frame that was off when it was first read reported zeros; switching
        // on must not send those back, so the device class defaults stand in.
        const bool bNone = m_nTouchEnable[0] == 0 && m_nTouchEnable[1] == 0;
        q.Set(5, bNone ? 1 : m_nTouchEnable[0]);
        q.Set(6, bNone ? 2 : m_nTouchEnable[1]);
    }
    return RunCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return StandardStatus(r, Opcode::kTouchEnable); });
}

int32_t HardwareInterface::SetEnableWithReadOnce(uint8_t nFamily, bool bOn, bool *pRead,
                                                 int32_t (HardwareInterface::*get)(),
                                                 int32_t (HardwareInterface::*send)(bool), const char *pszName)
{
    if (!*pRead) {
        const int32_t r = (this->*get)();
        if (r < 0)
            return r;
    }
    return RunWithRetry(nFamily, [&] { return (this->*send)(bOn); }, pszName);
}

int32_t HardwareInterface::SetTouchEnable(bool bOn)
{
    return SetEnableWithReadOnce(CommandFamily::kSetTouchEnable, bOn, &m_bTouchEnableRead, &HardwareInterface::GetTouchEnable,
                                 &HardwareInterface::SendTouchEnable, "SetTouchEnable");
}

int32_t HardwareInterface::ReadPenEnable()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kPenEnableRead, 2);
    return RunCommand(q, READ_TIMEOUT_MS, [this](const CDeviceReport &r) -> std::optional<int32_t> {
        if (r.IsData(Opcode::kPenEnableRead)) {
            m_nPenEnable[0] = r.At(5);
            m_nPenEnable[1] = r.At(6);
            m_bPenEnableRead = true;
            return 0;
        }
        return StandardStatus(r, Opcode::kPenEnableRead);
    });
}

int32_t HardwareInterface::GetPenEnable()
{
    return RunWithRetry(CommandFamily::kGetPenEnable, [&] { return ReadPenEnable(); }, "GetPenEnable");
}

int32_t HardwareInterface::SendPenEnable(bool bOn)
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kPenEnable, 2);
    if (bOn) {
        const bool bNone = m_nPenEnable[0] == 0 && m_nPenEnable[1] == 0;
        q.Set(5, bNone ? 1 : m_nPenEnable[0]);
        q.Set(6, bNone ? 1 : m_nPenEnable[1]);
    }
    return RunCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return StandardStatus(r, Opcode::kPenEnable); });
}

int32_t HardwareInterface::SetPenEnable(bool bOn)
{
    return SetEnableWithReadOnce(CommandFamily::kSetPenEnable, bOn, &m_bPenEnableRead, &HardwareInterface::GetPenEnable,
                                 &HardwareInterface::SendPenEnable, "SetPenEnable");
}

int32_t HardwareInterface::ReadSplitScreen()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kSplitScreenRead, 0);
    return RunCommand(q, READ_TIMEOUT_MS, [this](const CDeviceReport &r) -> std::optional<int32_t> {
        if (r.IsData(Opcode::kSplitScreenRead)) {
            m_nSplitScreen = r.At(5);
            m_bSplitScreenRead = true;
            return 0;
        }
        return StandardStatus(r, Opcode::kSplitScreenRead);
    });
}

int32_t HardwareInterface::GetSplitScreen()
{
    return RunWithRetry(CommandFamily::kGetSplitScreen, [&] { return ReadSplitScreen(); }, "GetSplitScreen");
}

int32_t HardwareInterface::SendSplitScreen(bool bOn)
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kSplitScreen, 1);
    if (bOn)
        q.Set(5, m_nSplitScreen == 0 ? 1 : m_nSplitScreen);
    return RunCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return StandardStatus(r, Opcode::kSplitScreen); });
}

int32_t HardwareInterface::SetSplitScreen(bool bOn)
{
    return SetEnableWithReadOnce(CommandFamily::kSetSplitScreen, bOn, &m_bSplitScreenRead, &HardwareInterface::GetSplitScreen,
                                 &HardwareInterface::SendSplitScreen, "SetSplitScreen");
}

int32_t HardwareInterface::SendReverseMode(bool bOn)
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kReverseMode, 1);
    q.Set(5, bOn ? 0 : 1);
    return RunCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return Only81Status(r, Opcode::kReverseMode); });
}

int32_t HardwareInterface::SetReverseMode(bool bReverse)
{
    const int32_t r = RunWithRetry(CommandFamily::kSetReverseMode, [&] { return SendReverseMode(bReverse); }, "SetReverseMode");
    if (r < 0)
        return r;
    m_bReverseMode = bReverse;
    WaitAfterCommand(PortVersion(), bReverse);
    return 0;
}

int32_t HardwareInterface::SendCheckLedError(bool bOn)
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kCheckLedError, 1);
    q.Set(5, bOn ? 1 : 0);
    return RunCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return StandardStatus(r, Opcode::kCheckLedError); });
}

int32_t HardwareInterface::CheckLedError(bool bOn)
{
    if (!bCheckLedError)
        return 0;
    const int32_t r = WaitDeviceIdle(30000);
    if (r < 0)
        return r;
    return RunWithRetry(CommandFamily::kCheckLedError, [&] { return SendCheckLedError(bOn); }, "CheckLedError");
}

int32_t HardwareInterface::SendInitAgc()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kInitAgc, 0);
    return RunCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return Only81Status(r, Opcode::kInitAgc); });
}

int32_t HardwareInterface::InitAgc()
{
    int32_t r = WaitDeviceIdle(30000);
    if (r < 0)
        return r;
    r = RunWithRetry(CommandFamily::kInitAgc, [&] { return SendInitAgc(); }, "InitAgc");
    if (r < 0)
        return r;
    r = SetDrawing(0, 0);
    if (r < 0)
        return r;
    return SendCmdA811AndWaitReady(PortVersion(), true);
}

int32_t HardwareInterface::ReadAgcRange()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kAgcRange, 0);
    return RunCommand(q, READ_TIMEOUT_MS, [this](const CDeviceReport &r) -> std::optional<int32_t> {
        if (r.IsData(Opcode::kAgcRange)) {
            m_nTAgcRange[0] = r.U16Le(5);   // X min
            m_nTAgcRange[2] = r.U16Le(7);   // X max
            m_nTAgcRange[1] = r.U16Le(9);   // Y min
            m_nTAgcRange[3] = r.U16Le(11);  // Y max
            m_nRAgcRange[0] = m_nRAgcRange[1] = r.At(13);
            m_nRAgcRange[2] = m_nRAgcRange[3] = r.At(14);
            return 0;
        }
        return StandardStatus(r, Opcode::kAgcRange);
    });
}

int32_t HardwareInterface::InitAgcRange()
{
    if (m_bAgcRangeRead)
        return 0;
    const int32_t r = RunWithRetry(CommandFamily::kInitAgcRange, [&] { return ReadAgcRange(); }, "InitAgcRange");
    if (r >= 0)
        m_bAgcRangeRead = true;
    return r;
}

int32_t HardwareInterface::SendAgcValue(uint8_t nMode, uint16_t nT, uint16_t nR)
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kAgcValue, 5);
    q.Set(5, nMode);
    q.SetU16Le(6, nT);
    q.SetU16Le(8, nR);
    return RunCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return StandardStatus(r, Opcode::kAgcValue); });
}

int32_t HardwareInterface::SetAgcValue(uint8_t nMode, uint16_t nT, uint16_t nR)
{
    return RunWithRetry(CommandFamily::kSetAgcValue, [&] { return SendAgcValue(nMode, nT, nR); }, "SetAgcValue");
}

int32_t HardwareInterface::SendCmdA804(uint16_t nValue)
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kCmdA804, 3);
    q.Set(5, 1);
    q.SetU16Le(10, nValue);
    return RunCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return StandardStatus(r, Opcode::kCmdA804); });
}

int32_t HardwareInterface::CmdA804(uint16_t nValue)
{
    return RunWithRetry(CommandFamily::kCmdA804, [&] { return SendCmdA804(nValue); }, "CmdA804");
}

int32_t HardwareInterface::SendCmdA814(bool bFlag)
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kCmdA814, 1);
    q.Set(5, bFlag ? 1 : 0);
    return RunCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return Only81Status(r, Opcode::kCmdA814); });
}

int32_t HardwareInterface::CmdA814(bool bFlag)
{
    return RunWithRetry(CommandFamily::kCmdA814, [&] { return SendCmdA814(bFlag); }, "CmdA814");
}

int32_t HardwareInterface::SetRTAgc(uint16_t nT, uint16_t nR)
{
    const int32_t r = SetAgcValue(3, nT, nR);
    return r == RESULT_STATUS ? CmdA804(nT) : r;
}

int32_t HardwareInterface::SetTAgc(uint16_t nT)
{
    const int32_t r = SetAgcValue(1, nT, 0);
    return r == RESULT_STATUS ? CmdA804(nT) : r;
}

int32_t HardwareInterface::SetRAgc(uint16_t nR)
{
    return SetAgcValue(2, 0, nR);
}

int32_t HardwareInterface::ResetAgc()
{
    const int32_t r = SetAgcValue(0, 0, 0);
    return r == RESULT_STATUS ? InitAgc() : r;
}

namespace {
uint32_t RangeText(const QString &strName, uint32_t nXMin, uint32_t nXMax, uint32_t nYMin, uint32_t nYMax,
                   QString &strText)
{
    if (nXMin == nYMin && nXMax == nYMax)
        strText = QStringLiteral("%1(%2-%3)").arg(strName).arg(nXMin).arg(nXMax);
    else
        strText = QStringLiteral("%1(X:%2-%3_Y:%4-%5)").arg(strName).arg(nXMin).arg(nXMax).arg(nYMin).arg(nYMax);
    return (qMin(nXMin, nYMin) & 0xFFFFu) | ((qMax(nXMax, nYMax) & 0xFFFFu) << 16);
}
} // namespace

uint32_t HardwareInterface::GetTAgcRangeText(QString &strText)
{
    return RangeText(QStringLiteral("TAgc"), m_nTAgcRange[0], m_nTAgcRange[2], m_nTAgcRange[1], m_nTAgcRange[3],
                     strText);
}

uint32_t HardwareInterface::GetRAgcRangeText(QString &strText)
{
    return RangeText(QStringLiteral("RAgc"), m_nRAgcRange[0], m_nRAgcRange[2], m_nRAgcRange[1], m_nRAgcRange[3],
                     strText);
}

int32_t HardwareInterface::ReadDeviceState(uint8_t *pA, uint8_t *pB, uint8_t *pC)
{
    uint8_t a = pA ? *pA : 0, b = pB ? *pB : 0, c = pC ? *pC : 0;
    CDeviceReport q = CDeviceReport::Request(Opcode::kDeviceState, 3);
    q.Set(5, a);
    q.Set(6, b);
    q.Set(7, c);
    return RunCommand(q, READ_TIMEOUT_MS, [&](const CDeviceReport &r) -> std::optional<int32_t> {
        if (r.IsData(Opcode::kDeviceState)) {
            if (pA)
                *pA = r.At(5);
            if (pB)
                *pB = r.At(6);
            if (pC)
                *pC = r.At(7);
            return 0;
        }
        if (const std::optional<int32_t> s = StandardStatus(r, Opcode::kDeviceState))
            return s;
        if (r.IsRefusal())
            return RESULT_REFUSED;
        return std::nullopt;
    });
}

int32_t HardwareInterface::GetDeviceState(uint8_t *pA, uint8_t *pC, uint8_t *pB)
{
    return RunWithRetry(CommandFamily::kGetDeviceState, [&] { return ReadDeviceState(pA, pB, pC); }, "GetDeviceState");
}

int32_t HardwareInterface::WaitDeviceIdle(int nTimeoutMs)
{
    if (!m_bDriverRunning)
        return 0;
    static constexpr uint8_t kBusy = 0x10;
    const int32_t nIdleTimeout = FamilyTimeout(CommandFamily::kWaitDeviceIdle);
    const qint64 nStart = CStationClock::NowMs();
    const qint64 nLimit = CStationClock::Timeout(nTimeoutMs);
    uint8_t cur[3] = {0, 4, 1};   // a, b, c
    uint8_t prev[3] = {0, 4, 1};
    for (;;) {
        const int32_t r = GetDeviceState(&cur[0], &cur[2], &cur[1]);
        const qint64 nElapsed = CStationClock::NowMs() - nStart;
        if (r != 0)
            return nElapsed > nLimit ? nIdleTimeout : r;
        if (nElapsed > nLimit) {
            if (cur[0] == prev[0] && cur[1] == prev[1] && cur[2] == prev[2])
                return nIdleTimeout;
            // A frame that stays busy but keeps changing its state would be
            // polled for ever; give up at twice the time-out.
            if (nElapsed > 2 * nLimit) {
                qWarning() << "WaitDeviceIdle: the frame stayed busy for" << nElapsed << "ms";
                return nIdleTimeout;
            }
        }
        if (cur[2] != kBusy)
            break;
        std::copy(cur, cur + 3, prev);
    }
    return GetDeviceState(&cur[0], &cur[2], &cur[1]);
}
