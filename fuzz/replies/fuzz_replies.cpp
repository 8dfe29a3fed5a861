// Feeds random replies to the reply handling of every device command of
// HardwareInterface, the panel queries and the test preparation among them.
// The input chooses the frame's version word, the operation and then, read by
// read, what the port returns (one control byte each): a transport code, a
// shapeless report, a report shaped like a data or status reply to the request
// just sent (so the fuzzer reaches the field parsers), or a whole report taken
// from the input. When the input runs out the port times out at once, so every
// operation ends: no crash, no hang, and the time-outs stay bounded by the
// retry rules.
//
// Control byte, low nibble: 0 time-out; 1 transport code (bits 4-5); 3 a whole
// 64-byte report follows; 8-11 a data reply, 12-15 a status reply to the last
// request, with (high nibble + 1) bytes of the input; anything else a report
// of that many bytes of the input. The seeds (fuzz/corpus/fuzz_replies) are
// the conversations of the emulated frame for each reply family, written in
// this form.

#include "comport.h"
#include "deviceerror.h"
#include "hardwareinterface.h"
#include "stationclock.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace {

class CInputPort : public CComPort
{
public:
    CInputPort(const uint8_t *data, size_t size, uint16_t version)
        : m_data(data), m_size(size), m_version(version)
    {
    }

    bool IsConnected() override { return true; }
    int32_t SetRecvEnable(uint8_t enable, int) override
    {
        m_enabled = enable != 0;
        return 0;
    }
    uint32_t GetDeviceMode() override { return 1; }
    int32_t GetVid() override { return 0x2FE9; }
    int32_t GetPid() override { return 0x0013; }
    int32_t GetVersion() override { return m_version; }
    int32_t SetUpgradeStatus(uint8_t) override { return 0; }

    int32_t SendData(const uint8_t *buf, int len, int, int) override
    {
        if (!buf || len <= 0)
            return ERROR_CODE_NULL_DEVICE;
        std::memset(m_request, 0, sizeof(m_request));
        std::memcpy(m_request, buf, size_t(len < 64 ? len : 64));
        m_enabled = true;
        return 64;
    }

    int32_t RecvData(uint8_t *buf, int len, int, int) override
    {
        if (m_pos >= m_size || ++m_reads > 20000)
            return ERROR_CODE_TIMEOUT;
        const uint8_t control = Take();
        switch (control & 0x0F) {
        case 0:
            return ERROR_CODE_TIMEOUT;
        case 1: {
            static const int32_t codes[] = {ERROR_CODE_LOST_DEVICE, ERROR_CODE_NULL_DEVICE, ERROR_CODE_INTERRUPT, 0};
            return codes[(control >> 4) & 3];
        }
        case 3: {
            // A whole report, as a frame sends it.
            uint8_t whole[64] = {};
            for (uint8_t &b : whole)
                b = Take();
            if (!m_enabled)
                return ERROR_CODE_INTERRUPT;
            const int copy = len < 64 ? len : 64;
            if (buf && copy > 0)
                std::memcpy(buf, whole, size_t(copy));
            return copy;
        }
        default:
            break;
        }
        uint8_t report[64] = {};
        const size_t n = (control >> 4) + 1u;  // 1..16 bytes from the input
        const int shape = control & 0x0F;
        int at = 0;
        if (shape >= 8) {
            // Shaped like an answer to the request: id, then a data or a status reply.
            report[0] = m_request[0] == 0xFE ? 0xFD : 0xFC;
            if (shape >= 12) {
                report[1] = 0xFE;
                report[2] = Take();
                report[5] = m_request[1];
                report[6] = m_request[2];
                at = 7;
            } else {
                report[1] = m_request[1];
                report[2] = uint8_t(m_request[2] | 0x80);
                report[3] = Take();
                at = 5;
            }
        }
        for (size_t i = 0; i < n && at < 64; ++i)
            report[at++] = Take();
        if (!m_enabled)
            return ERROR_CODE_INTERRUPT;
        const int copy = len < 64 ? len : 64;
        if (buf && copy > 0)
            std::memcpy(buf, report, size_t(copy));
        // Now and then a short read.
        return (control & 0x80) && shape == 2 ? 1 + (report[4] & 0x3F) : copy;
    }

    int32_t SendAndRecvData(const uint8_t *wbuf, int wlen, uint8_t *rbuf, int rlen, int timeout, int dev) override
    {
        const int32_t r = SendData(wbuf, wlen, timeout, dev);
        return r < 0 ? r : RecvData(rbuf, rlen, timeout, dev);
    }

private:
    uint8_t Take() { return m_pos < m_size ? m_data[m_pos++] : 0; }

    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
    int m_reads = 0;
    uint16_t m_version;
    bool m_enabled = true;
    uint8_t m_request[64] = {};
};

class CFuzzHardware : public HardwareInterface
{
public:
    using HardwareInterface::HardwareInterface;
    void SetDriverRunningFlag(bool b) { m_bDriverRunning = b; }
    int PortVersionForFuzz() { return PortVersion(); }
};

using Op = std::function<void(CFuzzHardware &, CComPort &)>;

const std::vector<Op> &Ops()
{
    static const std::vector<Op> ops = {
        [](CFuzzHardware &h, CComPort &) { h.GetProduct(); },
        [](CFuzzHardware &h, CComPort &) {
            QList<CPropertyItem> l;
            h.GetFirmwareInfo(l);
        },
        [](CFuzzHardware &h, CComPort &) {
            QList<CPropertyItem> l;
            h.GetAppInfo(l);
        },
        [](CFuzzHardware &h, CComPort &) { h.GetMcuID(); },
        [](CFuzzHardware &h, CComPort &) { h.GetBatchInfo(); },
        [](CFuzzHardware &h, CComPort &) {
            h.GetBatchInfo();
            h.SaveBatchInfo();
        },
        [](CFuzzHardware &h, CComPort &) { h.GetMaxPoint(); },
        [](CFuzzHardware &h, CComPort &) { h.InitDeviceInfo(); },
        [](CFuzzHardware &h, CComPort &) {
            h.InitDeviceInfo();
            h.ReInitDeviceInfo();
        },
        [](CFuzzHardware &h, CComPort &) {
            h.SetTouchEnable(true);
            h.SetTouchEnable(false);
        },
        [](CFuzzHardware &h, CComPort &) { h.SetPenEnable(true); },
        [](CFuzzHardware &h, CComPort &) { h.SetSplitScreen(true); },
        [](CFuzzHardware &h, CComPort &) { h.SetDrawing(1, 0); },
        [](CFuzzHardware &h, CComPort &) {
            h.SetReverseMode(true);
            h.SetReverseMode(false);
        },
        [](CFuzzHardware &h, CComPort &) {
            h.SetCheckLedError(true);
            h.SetDriverRunningFlag(true);
            h.CheckLedError(true);
        },
        [](CFuzzHardware &h, CComPort &) { h.InitAgc(); },
        [](CFuzzHardware &h, CComPort &) {
            h.InitAgcRange();
            QString t;
            h.GetTAgcRangeText(t);
            h.GetRAgcRangeText(t);
        },
        [](CFuzzHardware &h, CComPort &) { h.SetRTAgc(100, 50); },
        [](CFuzzHardware &h, CComPort &) { h.SetTAgc(100); },
        [](CFuzzHardware &h, CComPort &) { h.SetRAgc(50); },
        [](CFuzzHardware &h, CComPort &) { h.ResetAgc(); },
        [](CFuzzHardware &h, CComPort &) { h.CmdA814(true); },
        [](CFuzzHardware &h, CComPort &) { h.SendCmdA811AndWaitReady(0x4620, true); },
        [](CFuzzHardware &h, CComPort &) {
            uint8_t a = 0, b = 4, c = 1;
            h.GetDeviceState(&a, &c, &b);
        },
        [](CFuzzHardware &h, CComPort &) {
            h.SetDriverRunningFlag(true);
            h.WaitDeviceIdle(30000);
        },
        [](CFuzzHardware &h, CComPort &) {
            h.GetTouchFormat();
            h.SetTouchFormat(uint8_t(h.GetUsb1TouchFormat()), uint8_t(h.GetUsb2TouchFormat()));
        },
        [](CFuzzHardware &h, CComPort &) { h.InitDeviceCalData(); },
        [](CFuzzHardware &h, CComPort &) {
            h.SaveCalAsDefault();
            h.ResetCalData();
            h.SaveCalToFlash();
        },
        [](CFuzzHardware &h, CComPort &) {
            int next = 0;
            for (int step = 0; step <= 5; ++step)
                h.DoCalStep(step, &next, 30000);
        },
        [](CFuzzHardware &h, CComPort &) {
            h.GetCalData();
            for (int edge = 0; edge < 4; ++edge)
                h.MoveCalEdge(edge, edge & 1);
        },
        [](CFuzzHardware &h, CComPort &) {
            h.GetCalFormat();
            h.SetCalFormat();
        },
        [](CFuzzHardware &h, CComPort &) { h.CmdCF02(); },
        [](CFuzzHardware &h, CComPort &) {
            h.SendCalParam();
            h.SendCalDataToDev();
            h.SendCmd01FF();
        },
        [](CFuzzHardware &h, CComPort &) {
            h.ReadFineTuneParams();
            h.WriteFineTuneParams(h.GetFineTune1() == 1);
            h.ExitFineTuning(1);
        },
        [](CFuzzHardware &h, CComPort &) {
            h.GetBootInfo();
            h.GetBootInfo();
        },
        [](CFuzzHardware &h, CComPort &) { h.JumpToBoot(); },
        [](CFuzzHardware &h, CComPort &p) {
            h.CompareMcuID(&p);
            h.CompareMcuIDUpgrade(&p);
        },
        [](CFuzzHardware &h, CComPort &) {
            h.InitDeviceInfo();
            h.ParseProductModel(h.GetProperty(QStringLiteral("Product")));
        },
        // Panel geometry and the signal reads.
        [](CFuzzHardware &h, CComPort &) {
            QByteArray block;
            QVector<float> table;
            if (h.GetParamBlock(&block, &table) >= 0 && !block.isEmpty())
                h.InitPanelFromParamBlock(block, table);
        },
        [](CFuzzHardware &h, CComPort &) { h.InitPanelInfo(h.PortVersionForFuzz()); },
        [](CFuzzHardware &h, CComPort &) { h.GetLedCounts(); },
        [](CFuzzHardware &h, CComPort &) { h.GetLayoutParams(); },
        [](CFuzzHardware &h, CComPort &) {
            int nValue = 0;
            double dRatio = 0;
            h.GetSignalThreshold(&nValue, &dRatio);
        },
        [](CFuzzHardware &h, CComPort &) {
            SignalFrame frame;
            h.GetSignalFrame(0, 55, 0x01, &frame);
        },
        [](CFuzzHardware &h, CComPort &) { h.GetSignalA806(1, 0, 0, 0.8); },
        [](CFuzzHardware &h, CComPort &) { h.GetSignalA816(1, 0, 0, 0.8); },
        // The preparation of a first test, then the test and a retest.
        [](CFuzzHardware &h, CComPort &) { h.InitTestConfig(); },
        [](CFuzzHardware &h, CComPort &) {
            if (h.StartTest(0) >= 0)
                h.ReTest(0);
        },
        [](CFuzzHardware &h, CComPort &) {
            if (h.InitTestConfig() < 0)
                return;
            SignalMap map;
            h.ReadReverseSignal(map);
            h.ReadSignal(QStringLiteral("AGC"), map);
            h.ReadSignal(QStringLiteral("ADC"), map);
        },
    };
    return ops;
}

void Silent(QtMsgType, const QMessageLogContext &, const QString &) {}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    static QTemporaryDir dir;  // the parameter table is looked up in the working directory
    QDir::setCurrent(dir.path());
    qInstallMessageHandler(Silent);
    CStationClock::SetSleepHook([](int) {});      // the prescribed pauses pass at once
    CStationClock::SetTimeoutScale(0.001);         // the idle wait's 30 s become 30 ms
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    static const uint16_t versions[] = {0x7201, 0x4410, 0x45B0, 0x4620, 0x4500, 0x0000};
    const uint16_t version = versions[data[0] % (sizeof(versions) / sizeof(versions[0]))];
    const std::vector<Op> &ops = Ops();
    const Op &op = ops[data[1] % ops.size()];
    CInputPort port(data + 2, size - 2, version);
    CFuzzHardware hw(nullptr, &port, QStringLiteral("fuzz"));
    op(hw, port);
    return 0;
}
