// Calibration, fine-tuning, touch-format and bootloader commands of
// HardwareInterface.
#include "hardwareinterface.h"

#include "comport.h"
#include "deviceerror.h"
#include "deviceinfokey.h"

#include <QDebug>

namespace {
std::optional<int32_t> DataOnly(const CDeviceReport &r, SOpcode op)
{
    if (r.IsData(op))
        return 0;
    return std::nullopt;
}
} // namespace

// ====================================================================== run flag

void HardwareInterface::SetRecvEnable(bool bEnable)
{
    if (!bEnable)
        ++m_nAbortGeneration;
    m_bRunFlag = bEnable;
    if (m_pPort)
        m_pPort->SetRecvEnable(bEnable ? 1 : 0, 0);
}

// ====================================================================== calibration values

uint16_t HardwareInterface::CalWire(int32_t nValue)
{
    return uint16_t(qBound<int32_t>(0, nValue, 0xFFFF));
}

CDeviceReport HardwareInterface::CornerBlockRequest() const
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kCalCorners, 0);
    q.Set(5, 0x01);
    const uint16_t lx = CalWire(m_nCalLX), ly = CalWire(m_nCalLY);
    const uint16_t rx = CalWire(m_nCalRX), ry = CalWire(m_nCalRY);
    const uint16_t points[8] = {lx, ly, rx, ly, rx, ry, lx, ry};
    for (int i = 0; i < 8; ++i)
        q.SetU16Be(6 + 2 * i, points[i]);
    return q;
}

int32_t HardwareInterface::ReadCalData()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kCalData, 0);
    return RunCalCommand(q, CAL_READ_TIMEOUT_MS, [this](const CDeviceReport &r) -> std::optional<int32_t> {
        if (!r.IsData(Opcode::kCalData))
            return std::nullopt;
        m_nCalLX = r.U16Be(6);
        m_nCalLY = r.U16Be(8);
        m_nCalRX = r.U16Be(14);
        m_nCalRY = r.U16Be(16);
        return 0;
    });
}

int32_t HardwareInterface::GetCalData()
{
    // The only calibration-family wrapper that leaves the run flag as it is.
    return RunCalWithRetry(CommandFamily::kGetCalData, [&] { return ReadCalData(); }, "GetCalData");
}

int32_t HardwareInterface::SendSaveCalAsDefault()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kCalSaveAsDefault, 0);
    return RunCalCommand(q, CAL_READ_TIMEOUT_MS,
                         [](const CDeviceReport &r) { return Only81Status(r, Opcode::kCalSaveAsDefault); });
}

int32_t HardwareInterface::SaveCalAsDefault()
{
    const COperationScope scope = BeginCalibrationCommand();
    return RunCalWithRetry(CommandFamily::kSaveCalAsDefault, [&] { return SendSaveCalAsDefault(); }, "SaveCalAsDefault");
}

int32_t HardwareInterface::SendResetCalData()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kCalReset, 0);
    return RunCalCommand(q, CAL_READ_TIMEOUT_MS,
                         [](const CDeviceReport &r) { return Only81Status(r, Opcode::kCalReset); });
}

int32_t HardwareInterface::ResetCalData()
{
    const COperationScope scope = BeginCalibrationCommand();
    return RunCalWithRetry(CommandFamily::kResetCalData, [&] { return SendResetCalData(); }, "ResetCalData");
}

int32_t HardwareInterface::SendSaveCalToFlash()
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kCalSaveToFlash, 1);
    q.Set(5, 0x01);
    return RunCalCommand(q, CAL_READ_TIMEOUT_MS, [](const CDeviceReport &r) { return DataOnly(r, Opcode::kCalSaveToFlash); });
}

int32_t HardwareInterface::SaveCalToFlash()
{
    const COperationScope scope = BeginCalibrationCommand();
    return RunCalWithRetry(CommandFamily::kSaveCalToFlash, [&] { return SendSaveCalToFlash(); }, "SaveCalToFlash");
}

// ====================================================================== four-point steps

int32_t HardwareInterface::SendCalStep(int nStep, int *pResult, int nTimeoutMs)
{
    const uint8_t nSent = (nStep >= 0 && nStep <= 5) ? uint8_t(nStep) : 0;
    const CDeviceReport q = CDeviceReport::Request(Opcode::kCalCommand, nSent, 0);
    return RunCalCommand(q, nTimeoutMs, [pResult](const CDeviceReport &r) -> std::optional<int32_t> {
        if (r.Command() != Opcode::kCalCommand)
            return std::nullopt;
        const uint8_t nTarget = r.At(2);
        if (pResult) {
            if (nTarget >= 1 && nTarget <= 5)
                *pResult = nTarget;
            else if (nTarget == 0xFF) // the check's verdict: [3] = 3 deviation too large
                *pResult = r.At(3) == 3 ? CAL_CHECK_DEVIATION_TOO_LARGE : CAL_CHECK_ACCEPTED;
        }
        return 0;
    });
}

int32_t HardwareInterface::DoCalStep(int nStep, int *pResult, int nTimeoutMs)
{
    const COperationScope scope = BeginCalibrationCommand();
    if (m_pPort)
        m_pPort->SetRecvEnable(1, 0);
    return RunCalWithRetry(CommandFamily::kDoCalStep, [&] { return SendCalStep(nStep, pResult, nTimeoutMs); }, "DoCalStep");
}

// ====================================================================== corner points

int32_t HardwareInterface::SendCalDataReport()
{
    return RunCalCommand(CornerBlockRequest(), READ_TIMEOUT_MS,
                         [](const CDeviceReport &r) { return DataOnly(r, Opcode::kCalCorners); });
}

int32_t HardwareInterface::SendCalEdge(int nEdge, bool bDir)
{
    auto step = [](int32_t &nValue, int nDelta) { nValue = qBound<int32_t>(0, nValue + nDelta, 0xFFFF); };
    switch (nEdge) {
    case 0:
        step(m_nCalLX, bDir ? 1 : -1);
        break;
    case 1:
        step(m_nCalRX, bDir ? -1 : 1);
        break;
    case 2:
        step(m_nCalLY, bDir ? 1 : -1);
        break;
    case 3:
        step(m_nCalRY, bDir ? -1 : 1);
        break;
    default:
        break;
    }
    return SendCalDataReport();
}

int32_t HardwareInterface::MoveCalEdge(int nEdge, bool bDir)
{
    const COperationScope scope = BeginCalibrationCommand();
    const int32_t r = CmdA101();
    if (r != 0)
        return r;
    // The edge moves once; a retry after a time-out only sends the values again.
    bool bMoved = false;
    return RunCalWithRetry(
        CommandFamily::kMoveCalEdge,
        [&] {
            if (bMoved)
                return SendCalDataReport();
            bMoved = true;
            return SendCalEdge(nEdge, bDir);
        },
        "MoveCalEdge");
}

int32_t HardwareInterface::SendCalParam()
{
    const COperationScope scope = BeginCalibrationCommand();
    const int32_t r = CmdA101();
    if (r != 0)
        return r;
    return RunCalWithRetry(CommandFamily::kSendCalParam, [&] { return SendCalDataReport(); }, "SendCalParam");
}

int32_t HardwareInterface::SendCalDataToDev()
{
    const COperationScope scope = BeginCalibrationCommand();
    const int32_t r = CmdA101();
    if (r != 0)
        return r;
    return RunCalWithRetry(CommandFamily::kSendCalDataToDev, [&] { return SendCalDataReport(); }, "SendCalDataToDev");
}

int32_t HardwareInterface::SendCmdA101()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kCalPrepare, 0);
    return RunCalCommand(q, CAL_READ_TIMEOUT_MS, [](const CDeviceReport &r) { return DataOnly(r, Opcode::kCalPrepare); });
}

int32_t HardwareInterface::CmdA101()
{
    const COperationScope scope = BeginCalibrationCommand();
    return RunCalWithRetry(CommandFamily::kCmdA101, [&] { return SendCmdA101(); }, "CmdA101");
}

// ====================================================================== calibration format

int32_t HardwareInterface::ReadCalFormat()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kCalFormatRead, 0);
    return RunCalCommand(q, READ_TIMEOUT_MS, [this](const CDeviceReport &r) -> std::optional<int32_t> {
        if (!r.IsData(Opcode::kCalFormatRead))
            return std::nullopt;
        m_nCalFormat = r.At(8) != 0 ? 1 : 0;
        return 0;
    });
}

int32_t HardwareInterface::GetCalFormat()
{
    const COperationScope scope = BeginCalibrationCommand();
    return RunCalWithRetry(CommandFamily::kGetCalFormat, [&] { return ReadCalFormat(); }, "GetCalFormat");
}

int32_t HardwareInterface::SendCalFormat()
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kCalFormat, 0);
    q.Set(5, m_nCalFormat != 0 ? 1 : 0);
    return RunCalCommand(
        q, READ_TIMEOUT_MS,
        [](const CDeviceReport &r) -> std::optional<int32_t> {
            if (!r.IsStatusFor(Opcode::kCalFormat))
                return std::nullopt;
            if (r.Status() == CDeviceReport::kStatusDone)
                return 0;
            if (r.Status() == CDeviceReport::kStatusOther)
                return ERROR_FINE_TUNE_END;
            return std::nullopt;
        },
        false);
}

int32_t HardwareInterface::SetCalFormat()
{
    const COperationScope scope = BeginCalibrationCommand();
    return RunCalWithRetry(CommandFamily::kSetCalFormat, [&] { return SendCalFormat(); }, "SetCalFormat");
}

// ====================================================================== other calibration commands

int32_t HardwareInterface::SendCmdCF02()
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kCmdCF02, 0);
    // The payload names the request that follows (FC 01 08).
    const uint8_t payload[6] = {0x02, 0x03, 0x05, CDeviceReport::kAppCommand, Opcode::kCmd0108.nCmd,
                                Opcode::kCmd0108.nSub};
    for (int i = 0; i < 6; ++i)
        q.Set(5 + i, payload[i]);
    return RunCalCommand(q, CF02_TIMEOUT_MS, [](const CDeviceReport &r) { return DataOnly(r, Opcode::kCmdCF02); });
}

int32_t HardwareInterface::CmdCF02()
{
    const COperationScope scope = BeginCalibrationCommand();
    const int32_t r = RunCalWithRetry(CommandFamily::kCmdCF02, [&] { return SendCmdCF02(); }, "CmdCF02");
    if (r != 0)
        return r;
    // The CF 82 answer is followed by 01 08, whose result (with its own code) is returned.
    return Cmd0108();
}

int32_t HardwareInterface::SendCmd0108()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kCmd0108, 0);
    return RunCalCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return DataOnly(r, Opcode::kCmd0108); });
}

int32_t HardwareInterface::Cmd0108()
{
    const COperationScope scope = BeginCalibrationCommand();
    return RunCalWithRetry(CommandFamily::kCmd0108, [&] { return SendCmd0108(); }, "Cmd0108");
}

int32_t HardwareInterface::SendCmd01FF()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kCalEnd, 0);
    const int32_t r = SendRequest(q);
    return r < 0 ? r : 0;
}

// ====================================================================== fine tuning

int32_t HardwareInterface::SendExitFineTuning(uint8_t nArg)
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kExitFineTuning, 1);
    q.Set(5, nArg);
    return RunCalCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return Only81Status(r, Opcode::kExitFineTuning); });
}

int32_t HardwareInterface::ExitFineTuning(uint8_t nArg)
{
    const COperationScope scope = BeginCalibrationCommand();
    return RunCalWithRetry(CommandFamily::kExitFineTuning, [&] { return SendExitFineTuning(nArg); }, "ExitFineTuning");
}

int32_t HardwareInterface::SendFineTuneParams(bool bWithValues)
{
    CDeviceReport q;
    q.Fill(0xFF, 4);
    q.Set(0, CDeviceReport::kAppCommand);
    q.Set(1, Opcode::kFineTuneWrite.nCmd);
    q.Set(2, Opcode::kFineTuneWrite.nSub);
    q.Set(3, 0x08);
    q.Set(4, 0x00);
    q.Set(6, 0x00);
    if (bWithValues) {
        q.Set(5, uint8_t(m_nFineTune[0]));
        q.Set(6, 0x01);
        q.SetU16Le(7, uint16_t(m_nFineTune[2]));
        for (int i = 3; i <= 6; ++i)
            q.Set(6 + i, uint8_t(m_nFineTune[i]));
    }
    return RunCalCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return Only81Status(r, Opcode::kFineTuneWrite); });
}

int32_t HardwareInterface::WriteFineTuneParams(bool bWithValues)
{
    const COperationScope scope = BeginCalibrationCommand();
    return RunCalWithRetry(CommandFamily::kWriteFineTuneParams, [&] { return SendFineTuneParams(bWithValues); }, "WriteFineTuneParams");
}

int32_t HardwareInterface::ReadFineTuneRaw()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kFineTuneRead, 0);
    return RunCalCommand(q, READ_TIMEOUT_MS, [this](const CDeviceReport &r) -> std::optional<int32_t> {
        if (!r.IsData(Opcode::kFineTuneRead))
            return std::nullopt;
        m_nFineTune[0] = r.At(5);
        m_nFineTune[1] = r.At(6);
        m_nFineTune[2] = r.U16Le(7);
        for (int i = 3; i <= 6; ++i)
            m_nFineTune[i] = r.At(6 + i);
        return 0;
    });
}

int32_t HardwareInterface::ReadFineTuneParams()
{
    const COperationScope scope = BeginCalibrationCommand();
    return RunCalWithRetry(CommandFamily::kReadFineTuneParams, [&] { return ReadFineTuneRaw(); }, "ReadFineTuneParams");
}

// ====================================================================== touch formats

int32_t HardwareInterface::SendTouchFormat(uint8_t nUsb1, uint8_t nUsb2)
{
    CDeviceReport q = CDeviceReport::Request(Opcode::kTouchFormat, 2);
    q.Set(5, nUsb1);
    q.Set(6, nUsb2);
    return RunCalCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) { return Only81Status(r, Opcode::kTouchFormat); });
}

int32_t HardwareInterface::SetTouchFormat(uint8_t nUsb1, uint8_t nUsb2)
{
    const COperationScope scope = BeginCalibrationCommand();
    return RunCalWithRetry(CommandFamily::kSetTouchFormat, [&] { return SendTouchFormat(nUsb1, nUsb2); }, "SetTouchFormat");
}

int32_t HardwareInterface::ReadTouchFormat()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kTouchFormatRead, 0);
    return RunCalCommand(q, READ_TIMEOUT_MS, [this](const CDeviceReport &r) -> std::optional<int32_t> {
        if (!r.IsData(Opcode::kTouchFormatRead))
            return std::nullopt;
        m_nUsb1TouchFormat = r.At(5);
        m_nUsb2TouchFormat = r.At(6);
        return 0;
    });
}

int32_t HardwareInterface::GetTouchFormat()
{
    const COperationScope scope = BeginCalibrationCommand();
    return RunCalWithRetry(CommandFamily::kGetTouchFormat, [&] { return ReadTouchFormat(); }, "GetTouchFormat");
}

// ====================================================================== accessors

int32_t HardwareInterface::GetCalLX() { return m_nCalLX; }
int32_t HardwareInterface::GetCalLY() { return m_nCalLY; }
int32_t HardwareInterface::GetCalRX() { return m_nCalRX; }
int32_t HardwareInterface::GetCalRY() { return m_nCalRY; }
int32_t HardwareInterface::GetCalParam5() { return m_nCalParam5; }
int32_t HardwareInterface::GetCalFormatValue() { return m_nCalFormat; }
int32_t HardwareInterface::GetFineTune0() { return m_nFineTune[0]; }
int32_t HardwareInterface::GetFineTune1() { return m_nFineTune[1]; }
int32_t HardwareInterface::GetFineTune2() { return m_nFineTune[2]; }
int32_t HardwareInterface::GetFineTune3() { return m_nFineTune[3]; }
int32_t HardwareInterface::GetFineTune4() { return m_nFineTune[4]; }
int32_t HardwareInterface::GetFineTune5() { return m_nFineTune[5]; }
int32_t HardwareInterface::GetFineTune6() { return m_nFineTune[6]; }
uint32_t HardwareInterface::GetUsb1TouchFormat() { return uint32_t(m_nUsb1TouchFormat); }
uint32_t HardwareInterface::GetUsb2TouchFormat() { return uint32_t(m_nUsb2TouchFormat); }

void HardwareInterface::SetCalLX(int32_t nValue) { m_nCalLX = CalWire(nValue); }
void HardwareInterface::SetCalLY(int32_t nValue) { m_nCalLY = CalWire(nValue); }
void HardwareInterface::SetCalRX(int32_t nValue) { m_nCalRX = CalWire(nValue); }
void HardwareInterface::SetCalRY(int32_t nValue) { m_nCalRY = CalWire(nValue); }
void HardwareInterface::SetCalParam5(int32_t nValue) { m_nCalParam5 = nValue; }
void HardwareInterface::SetCalFormatValue(int32_t nValue) { m_nCalFormat = nValue != 0 ? 1 : 0; }
void HardwareInterface::SetFineTune0(int32_t nValue) { m_nFineTune[0] = nValue; }
void HardwareInterface::SetFineTune1(int32_t nValue) { m_nFineTune[1] = nValue; }
void HardwareInterface::SetFineTune2(int32_t nValue) { m_nFineTune[2] = nValue; }
void HardwareInterface::SetFineTune3(int32_t nValue) { m_nFineTune[3] = nValue; }
void HardwareInterface::SetFineTune4(int32_t nValue) { m_nFineTune[4] = nValue; }
void HardwareInterface::SetFineTune5(int32_t nValue) { m_nFineTune[5] = nValue; }
void HardwareInterface::SetFineTune6(int32_t nValue) { m_nFineTune[6] = nValue; }
void HardwareInterface::SetUsb1TouchFormat(uint32_t nValue) { m_nUsb1TouchFormat = int32_t(nValue); }
void HardwareInterface::SetUsb2TouchFormat(uint32_t nValue) { m_nUsb2TouchFormat = int32_t(nValue); }

int32_t HardwareInterface::InitDeviceCalData()
{
    if (!m_pPort)
        return 0;
    int32_t r = GetCalData();
    if (r != 0)
        return r;
    r = GetCalFormat();
    if (r != 0)
        return r;
    return InitDeviceInfo();
}

// ====================================================================== bootloader

int32_t HardwareInterface::ReadBootInfo()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kBootInfo, 0, CDeviceReport::kBootCommand);
    return RunCommand(q, READ_TIMEOUT_MS, [this](const CDeviceReport &r) -> std::optional<int32_t> {
        if (r.Id() == CDeviceReport::kBootReply && r.Command() == Opcode::kBootInfo.nCmd) {
            for (const CPropertyItem &item : qAsConst(m_lstProperty))
                if (item.first == DeviceInfoKey::kBootVersion)
                    return 0;
            auto hex = [](uint32_t v, int n) {
                return QStringLiteral("%1").arg(v, n, 16, QLatin1Char('0')).toUpper();
            };
            m_lstProperty.append(CPropertyItem(DeviceInfoKey::kBootVersion,
                                               QStringLiteral("0x") + hex(r.At(3), 2) + hex(r.At(2), 2)
                                                   + hex(r.At(4), 2)));
            m_lstProperty.append(CPropertyItem(DeviceInfoKey::kBootCheckSum,
                                               QStringLiteral("0x") + hex(r.U16Le(7), 4) + hex(r.U16Le(5), 4)));
            return 0;
        }
        return StandardStatus(r, Opcode::kBootInfo);
    });
}

int32_t HardwareInterface::GetBootInfo()
{
    return RunWithRetry(CommandFamily::kGetBootInfo, [&] { return ReadBootInfo(); }, "GetBootInfo");
}

int32_t HardwareInterface::SendJumpToBoot()
{
    const CDeviceReport q = CDeviceReport::Request(Opcode::kJumpToBoot, 0);
    return RunCommand(q, READ_TIMEOUT_MS, [](const CDeviceReport &r) -> std::optional<int32_t> {
        // The frame acknowledges the jump with status 0x84, whatever command it names.
        if (r.IsStatus() && r.Status() == CDeviceReport::kStatusBoot)
            return 0;
        return StandardStatus(r, Opcode::kJumpToBoot);
    });
}

int32_t HardwareInterface::JumpToBoot()
{
    return RunWithRetry(CommandFamily::kJumpToBoot, [&] { return SendJumpToBoot(); }, "JumpToBoot");
}

uint32_t HardwareInterface::CalcCrc32(const uint32_t *pWords, uint32_t nCount, uint32_t nInit)
{
    uint32_t crc = nInit;
    if (!pWords)
        return crc;
    for (uint32_t i = 0; i < nCount; ++i) {
        uint32_t word = pWords[i];
        for (int bit = 0; bit < 32; ++bit) {
            if ((crc ^ word) & 0x80000000u)
                crc = (crc << 1) ^ 0x04C11DB7u;
            else
                crc <<= 1;
            word <<= 1;
        }
    }
    return crc;
}
