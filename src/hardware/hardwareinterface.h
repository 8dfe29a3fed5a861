#pragma once

#include "devicereport.h"
#include "panellayout.h" // panel geometry and layout (panel section below)
#include "touchhardware.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <optional>
#include <type_traits>

class CComPort;
class COperateEnvironment;

// The device class of a plugged touch frame in application mode. Every
// operation of the test model and of the calibration and bootloader work is
// turned into 64-byte request reports written through the port, each answered
// by one or more 64-byte reports read back through the same port.
//
// Commands come in pairs: a raw operation (Send..., Read...) that sends one
// request and runs one reply loop, and a wrapper (Get..., Set..., Cmd..., or a
// test-driver override) that applies the retry rule: up to ten tries while the
// raw operation times out, then 0x80NN0001; any other failure r gives
// 0x80NN0000 | (r & 0xFFFF), NN being the wrapper's family byte. The positive
// results 0x1002 (status "busy"), 0x1003 (another status) and 0x1004 (refusal)
// count as success for every caller that tests for a negative result.
//
// All device operations run on the worker thread under the owner's device
// mutex; the only call from another thread is SetRecvEnable(false), which ends
// a waiting calibration command as a failure (0x80NN0004).
class HardwareInterface : public CTouchHardware
{
public:
    HardwareInterface(COperateEnvironment *pEnv, CComPort *pPort, QString strName, QObject *parent = nullptr);
    ~HardwareInterface() override;

    // Result codes of a raw command (top bit set = failure).
    static constexpr int32_t RESULT_BUSY = 0x1002;     // status 0x82
    static constexpr int32_t RESULT_STATUS = 0x1003;   // any other status
    static constexpr int32_t RESULT_REFUSED = 0x1004;  // refusal report
    static constexpr int32_t ERROR_FINE_TUNE_END = int32_t(0x80000005u);

    // 0x80NN0000 | the low 16 bits of nResult, NN the family byte (replaces
    // any family nResult carries); CommandFamily names the bytes.
    static int32_t FamilyCode(uint8_t nFamily, int32_t nResult);

    // Runs fn, which calls this object's commands, as one operation for the
    // user's abort: SetRecvEnable(false) from now until fn returns ends every
    // calibration-family command fn runs, also one it starts after the abort
    // (worker thread, device mutex held).
    template <typename Fn>
    auto AsOneOperation(Fn fn)
    {
        const COperationScope scope(*this, false);
        return fn();
    }

    // Read time-outs of the protocol, in ms (scaled by CStationClock::Timeout).
    static constexpr int SEND_TIMEOUT_MS = 30;
    static constexpr int READ_TIMEOUT_MS = 10000;
    static constexpr int CAL_READ_TIMEOUT_MS = 80000;
    static constexpr int APP_INFO_TIMEOUT_MS = 200;
    static constexpr int POLL_READY_TIMEOUT_MS = 20;
    static constexpr int CF02_TIMEOUT_MS = 1000;
    static constexpr int RETRY_COUNT = 10;
    static constexpr int READY_POLL_COUNT = 1000;

    // ---- test-driver operations (CTouchHardware / CTouchBase overrides) ----
    int32_t SetDrawing(uint8_t nA, uint8_t nB) override;
    int32_t SetTouchEnable(bool bOn) override;
    int32_t SetSplitScreen(bool bOn) override;
    int32_t SetPenEnable(bool bOn) override;
    int32_t SaveBatchInfo() override;
    uint32_t GetTAgcRangeText(QString &strText) override;
    uint32_t GetRAgcRangeText(QString &strText) override;
    int32_t SetRTAgc(uint16_t nT, uint16_t nR) override;
    int32_t SetRAgc(uint16_t nR) override;
    int32_t SetTAgc(uint16_t nT) override;
    int32_t InitAgcRange() override;
    int32_t ResetAgc() override;
    int32_t WaitDeviceIdle(int nTimeoutMs) override;
    int32_t CheckLedError(bool bOn) override;
    int32_t CompareMcuID(CComPort *pPort) override;
    int32_t CompareMcuIDUpgrade(CComPort *pPort) override;
    int32_t SetReverseMode(bool bReverse) override;
    bool ReInitDeviceInfo() override;
    int32_t InitAgc() override;
    int32_t InitDeviceInfo() override;

    // ---- device protocol (raw / wrapper pairs) ----
    virtual int32_t ReadDeviceState(uint8_t *pA, uint8_t *pB, uint8_t *pC);
    // Argument order as the callers use it: a, c, b.
    virtual int32_t GetDeviceState(uint8_t *pA, uint8_t *pC, uint8_t *pB);
    virtual int32_t SendAgcValue(uint8_t nMode, uint16_t nT, uint16_t nR);
    virtual int32_t SetAgcValue(uint8_t nMode, uint16_t nT, uint16_t nR);
    // Pause after a reverse-mode command: 6000 ms (switching on) for 0x44xx and
    // 0x45A0-0x45FF, 100 ms for 0x46xx, nothing otherwise. Returns 0.
    virtual int32_t WaitAfterCommand(int nVersion, bool bFlag);
    // 0x46xx frames only: A8 11 then the ready polls; 0 for other versions.
    virtual int32_t SendCmdA811AndWaitReady(int nVersion, bool bFlag);
    virtual int32_t SendCmdA811(bool bFlag);
    virtual int32_t SendDrawingMode(uint8_t nA, uint8_t nB);
    virtual int32_t CmdA811(bool bFlag);
    virtual int32_t SendCheckLedError(bool bOn);
    virtual int32_t SendTouchEnable(bool bOn);
    virtual int32_t SendSplitScreen(bool bOn);
    virtual int32_t SendPenEnable(bool bOn);
    virtual int32_t SendReverseMode(bool bOn);
    virtual int32_t SendCmdA814(bool bFlag);
    virtual int32_t CmdA814(bool bFlag);
    virtual int32_t SendCmdA804(uint16_t nValue);
    virtual int32_t CmdA804(uint16_t nValue);
    virtual int32_t ReadSplitScreen();
    virtual int32_t GetSplitScreen();
    virtual int32_t PollReady();
    virtual int32_t WaitReady();
    virtual int32_t ReadTouchEnable();
    virtual int32_t GetTouchEnable();
    virtual int32_t ReadPenEnable();
    virtual int32_t GetPenEnable();
    virtual int32_t ReadAgcRange();
    virtual int32_t SendInitAgc();
    // A9 00 on device index 1 of pPort; appends the id as hex text.
    virtual int32_t ReadMcuIDText(CComPort *pPort, QString *pText);
    // A9 00 sent as a serial frame with head 0x1FF7 (serial port only), read on device 0.
    virtual int32_t ReadMcuIDTextUpgrade(CComPort *pPort, QString *pText);
    virtual bool IsVersion44Or45(int nVersion);
    virtual bool IsKnownVersion(int nVersion);

    // ---- device information ----
    // The batch text the frame holds as it is given: at most this many
    // characters, each of a code from 1 to 255. WriteBatchInfo cuts a longer
    // text and sends any other character as a 0 byte, which ends the text.
    static constexpr int kBatchInfoChars = 56;
    // The index of the first character of strText the frame cannot hold as
    // given (a character past kBatchInfoChars included); -1 when it holds it all.
    static int FirstUnheldBatchChar(const QString &strText);
    virtual int32_t WriteBatchInfo();
    virtual int32_t ReadBatchInfo();
    virtual int32_t GetBatchInfo();
    // The batch text the frame reports now, the property list left as it is
    // (GetBatchInfo keeps the property when the frame reports none). 0 with
    // the text, empty when the frame reports none (an erased or empty
    // field); a status reply, which tells nothing of the field, gives 0x1002
    // (busy) or 0x1003 (any other, "done" too); a failure is of the
    // GetBatchInfo family. *pText is empty unless the result is 0.
    int32_t ReadBackBatchInfo(QString *pText);
    // Removes the property "BatchInfo": the frame's batch text is not known.
    void ForgetBatchInfo();
    virtual int32_t ReadMaxPoint();
    virtual int32_t GetMaxPoint();
    virtual int32_t ReadProduct();
    virtual int32_t GetProduct();
    virtual int32_t ReadFirmwareInfo(QList<CPropertyItem> &lstInfo);
    virtual int32_t GetFirmwareInfo(QList<CPropertyItem> &lstInfo);
    virtual int32_t ReadAppInfo(QList<CPropertyItem> &lstInfo);
    virtual int32_t GetAppInfo(QList<CPropertyItem> &lstInfo);
    virtual int32_t GetVersionInfo(QList<CPropertyItem> &lstInfo);
    virtual int32_t ReadMcuID();
    virtual int32_t GetMcuID();
    // The frame's id as hex text (A9 00 on device 0, with the retries of
    // GetMcuID), the information list left as it is.
    virtual int32_t QueryMcuID(QString *pText);

    // ---- bootloader ----
    virtual int32_t ReadBootInfo();
    virtual int32_t GetBootInfo();
    virtual int32_t SendJumpToBoot();
    virtual int32_t JumpToBoot();
    // CRC-32 over 32-bit words, most significant bit first, polynomial 0x04C11DB7,
    // no reflection, no final XOR; count 0 gives nInit.
    virtual uint32_t CalcCrc32(const uint32_t *pWords, uint32_t nCount, uint32_t nInit);

    // ---- calibration ----
    // Stores the run flag and passes it to the port (device index 0). Clearing
    // it from another thread ends a waiting calibration command as a failure.
    virtual void SetRecvEnable(bool bEnable);
    virtual int32_t GetCalData();
    virtual int32_t SaveCalAsDefault();
    virtual int32_t ResetCalData();
    virtual int32_t SaveCalToFlash();
    // Results of the check step (step 5): the frame accepts the calibration,
    // or it reports the deviation from the targets as too large.
    static constexpr int CAL_CHECK_ACCEPTED = 6;
    static constexpr int CAL_CHECK_DEVIATION_TOO_LARGE = 7;
    // Step 0 begin, 1..4 targets, 5 check; *pResult: next target 1..5, or after
    // the check CAL_CHECK_ACCEPTED or CAL_CHECK_DEVIATION_TOO_LARGE (unchanged
    // for any other answer).
    virtual int32_t DoCalStep(int nStep, int *pResult, int nTimeoutMs);
    // Edge 0 left, 1 right, 2 top, 3 bottom; moves the stored value one step and
    // sends the corner points (the value stays moved when the send fails).
    virtual int32_t MoveCalEdge(int nEdge, bool bDir);
    virtual int32_t GetCalFormat();
    virtual int32_t SetCalFormat();
    virtual int32_t CmdA101();
    virtual int32_t CmdCF02();
    virtual int32_t Cmd0108();
    virtual int32_t SendCmd01FF();
    virtual int32_t SendCalParam();
    virtual int32_t SendCalDataReport();
    virtual int32_t ReadFineTuneParams();
    virtual int32_t ExitFineTuning(uint8_t nArg);
    virtual int32_t WriteFineTuneParams(bool bWithValues);
    virtual int32_t SendCalDataToDev();
    virtual int32_t SetTouchFormat(uint8_t nUsb1, uint8_t nUsb2);
    virtual int32_t SendTouchFormat(uint8_t nUsb1, uint8_t nUsb2);
    virtual int32_t GetTouchFormat();
    virtual int32_t ReadTouchFormat();
    virtual int32_t ReadCalData();
    virtual int32_t SendSaveCalAsDefault();
    virtual int32_t SendResetCalData();
    virtual int32_t SendSaveCalToFlash();
    virtual int32_t SendCalStep(int nStep, int *pResult, int nTimeoutMs);
    virtual int32_t SendCalEdge(int nEdge, bool bDir);
    virtual int32_t ReadCalFormat();
    virtual int32_t SendCalFormat();
    virtual int32_t SendCmdA101();
    virtual int32_t SendCmdCF02();
    virtual int32_t SendCmd0108();
    virtual int32_t SendExitFineTuning(uint8_t nArg);
    virtual int32_t SendFineTuneParams(bool bWithValues);
    virtual int32_t ReadFineTuneRaw();
    virtual int32_t GetCalLX();
    virtual int32_t GetCalLY();
    virtual int32_t GetCalRX();
    virtual int32_t GetCalRY();
    virtual int32_t GetCalParam5();
    virtual int32_t GetCalFormatValue();
    virtual int32_t GetFineTune1();
    virtual int32_t GetFineTune0();
    virtual int32_t GetFineTune2();
    virtual int32_t GetFineTune3();
    virtual int32_t GetFineTune4();
    virtual int32_t GetFineTune5();
    virtual int32_t GetFineTune6();
    virtual uint32_t GetUsb1TouchFormat();
    virtual uint32_t GetUsb2TouchFormat();
    // Calibration values are kept within 0..65535, the range they have on the wire.
    virtual void SetCalLX(int32_t nValue);
    virtual void SetCalLY(int32_t nValue);
    virtual void SetCalRX(int32_t nValue);
    virtual void SetCalRY(int32_t nValue);
    virtual void SetCalParam5(int32_t nValue);
    virtual void SetCalFormatValue(int32_t nValue);
    virtual void SetFineTune1(int32_t nValue);
    virtual void SetFineTune0(int32_t nValue);
    virtual void SetFineTune2(int32_t nValue);
    virtual void SetFineTune3(int32_t nValue);
    virtual void SetFineTune4(int32_t nValue);
    virtual void SetFineTune5(int32_t nValue);
    virtual void SetFineTune6(int32_t nValue);
    virtual void SetUsb1TouchFormat(uint32_t nValue);
    virtual void SetUsb2TouchFormat(uint32_t nValue);

    // ---- product model ----
    // Interface type and direction from the product name (into the hardware
    // description); the result has bit 0x2 set when the frame has a second USB
    // interface, and is 1 when the text cannot be decoded.
    virtual int32_t ParseProductModel(QString strProduct);
    virtual int32_t ParseProductModel2(QString strProduct);
    virtual int32_t DecodeModelLetter(char cLetter);

    // Calibration values, then calibration format, then device information;
    // the first non-zero result is returned (0 without a port).
    int32_t InitDeviceCalData();

    // ---- plain accessors ----
    bool IsRunFlagSet() const { return m_bRunFlag.load(); }
    const uint8_t *TouchEnableBytes() const { return m_nTouchEnable; }
    const uint8_t *PenBytes() const { return m_nPenEnable; }
    uint8_t SplitScreenByte() const { return m_nSplitScreen; }
    bool IsAgcRangeRead() const { return m_bAgcRangeRead; }
    const QStringList &DirectionNames() const { return m_lstDirNames; }
    const QStringList &AxisNames() const { return m_lstAxisNames; }

    // ==== Panel geometry, layout, test standard and signal reading ====
    // (declarations of the panel-geometry, layout, test-standard and
    // signal-reading operations; their bodies live in their own source files)
    int32_t ReadAxisSignal(const QString &strAxis, const QString &strDir, const QString &strKind,
                           SignalFrame &lstOut, uint32_t *pFrameNumber = nullptr) override;
    int32_t RecordSignal(const QString &strKind, const SignalMap &mapSignal, uint32_t nFrameNumber) override;
    int32_t ClearSignalData() override;
    int32_t ReadSignal(const QString &strKind, SignalMap &mapSignal) override;
    int32_t ReadReverseSignal(SignalMap &mapSignal) override;
    // Prepares a first test: panel geometry (parameter block or the LED-count
    // and layout queries), panel layout, the limits the frame reports, LED
    // labels and relations, device information, then the parameter-table
    // entry over the limits. Fails when the frame's geometry cannot be read or
    // is inconsistent, or when an axis and direction is left without limits.
    int32_t InitTestConfig() override;

    // Raw signal frame (A5 01): nCount (at most 55) values of selector nSelector
    // from LED nFirst, appended to *pOut. Family 0x0F.
    virtual int32_t ReadSignalFrame(uint16_t nFirst, uint16_t nCount, uint8_t nSelector, SignalFrame *pOut);
    virtual int32_t GetSignalFrame(uint16_t nFirst, uint16_t nCount, uint8_t nSelector, SignalFrame *pOut);
    // One frame of (axis, dir, kind) chunk by chunk, each through GetSignalFrame.
    virtual int32_t ReadOrgAgcSignal(const QString &strAxis, const QString &strDir, const QString &strKind,
                                     SignalFrame *pOut);
    // One frame of (axis, dir, kind): every chunk request first, then the replies.
    virtual int32_t ReadOrgAgcSignalDirect(const QString &strAxis, const QString &strDir, const QString &strKind,
                                           SignalFrame *pOut);
    virtual int32_t GetOrgAgcSignal(const QString &strAxis, const QString &strDir, const QString &strKind,
                                    SignalFrame *pOut);
    // ReadOrgAgcSignal for 0x4400-0x44FF and 0x45A0-0x45FF, GetOrgAgcSignal for
    // every other version. Returns the number of values read.
    virtual int32_t ReadSignalByVersion(const QString &strAxis, const QString &strDir, const QString &strKind,
                                        SignalFrame *pOut);
    // Built-in board size and the two mm constants of a version; 0x80000003 for others.
    virtual int32_t GetBoardSpec(int nVersion, int *pLedsPerBoard, double *pMm1, double *pMm2);
    // Board lists of both axes from a fixed board size.
    virtual int32_t SplitBoards(int nVersion, int nLedsPerBoard);
    // Signal threshold (A8 05): divide count and factor. Family 0x08.
    virtual int32_t ReadSignalThreshold(int *pValue, double *pRatio);
    virtual int32_t GetSignalThreshold(int *pValue, double *pRatio);
    // LED counts (A5 00), family 0x06; layout values (A5 07), family 0x07.
    virtual int32_t ReadLedCounts();
    virtual int32_t GetLedCounts();
    virtual int32_t ReadLayoutParams();
    virtual int32_t GetLayoutParams();
    // Boards, sensors and connectors of the hardware description from the LED
    // size, board width, the open area (bottom, top, left, right) and the LED
    // points (bottom, top, left, right side).
    virtual int32_t BuildPanelLayout(double dLedSize, double dBoardWidth, double dBottom, double dTop, double dLeft,
                                     double dRight, const QVector<QPointF> &vecPoints);
    // Parameter block transfer (AC 01), family 0x05. A frame without a block
    // answers with a status: the result is that status (0, 0x1002 or 0x1003)
    // and *pBlock stays empty.
    virtual int32_t ReadParamBlock(QByteArray *pBlock, QVector<float> *pTable);
    virtual int32_t GetParamBlock(QByteArray *pBlock, QVector<float> *pTable);
    // Geometry of a frame without a parameter block (versions 0x44xx to 0x46xx).
    virtual int32_t InitPanelInfo(int nVersion);
    virtual int32_t InitPanelFromParamBlock(const QByteArray &block, const QVector<float> &table);
    // Lays the parameter-table entry of the frame over the test options and limits.
    virtual int32_t LoadTouchTestInfo(QString strProduct, QString strCheckSum);
    // Limits from the parameter block, for frames that do not answer A8 16.
    virtual int32_t ConvertSignal(const QByteArray &block);
    // Limits of one axis and direction (A8 06, family 0x09; A8 16, family 0x14).
    virtual int32_t ReadSignalA806(int nAxis, int nDir, int nDivide, double dFactor);
    virtual int32_t GetSignalA806(int nAxis, int nDir, int nDivide, double dFactor);
    virtual int32_t GetSignalA806WithThreshold();
    virtual int32_t ReadSignalA816(int nAxis, int nDir, int nDivide, double dFactor);
    virtual int32_t GetSignalA816(int nAxis, int nDir, int nDivide, double dFactor);
    virtual int32_t GetSignalA816WithThreshold();
    // Relation texts and labels of every light path.
    virtual int32_t MapSensorSides();
    // "T<board>:<n>-R<board>:<n>" of emitter i and receiver j.
    virtual QString LedIndexText(QString strEmitterAxis, QString strReceiverAxis, int i, int j);

    const CPanelGeometry &PanelGeometry() const { return m_panelGeometry; }

protected:
    // Shifted copy of a frame: by p > 0 the values move p places towards the
    // front and the last value fills the end; by p < 0 the other way.
    static SignalFrame ShiftFrame(const SignalFrame &frame, int p);
    // Selector of the A5 01 query for an axis, direction and kind.
    static uint8_t SignalSelector(const QString &strAxis, const QString &strDir, const QString &strKind);
    // maxValue, signalStart, maxSignal and divide of every axis with LEDs.
    void PrepareSignalAxes(int nDivide, int nAxisMinimum);
    // Appends the ranges of one axis and direction, zone by zone.
    struct SLimitSet;
    void AppendLimits(int nAxis, int nDir, const SLimitSet &limits, int nDivide, double dFactor);
    // Every axis with LEDs has ADC test ranges for every zone of every direction.
    int32_t CheckTestRanges();
    int32_t AxisIndex(const QString &strAxis) const;

    CPanelGeometry m_panelGeometry;
    // ==== end of the panel section ====

protected:
    // ---- command protocol, shared by every command of this class ----

    // Status reply for op under the standard rule: 0x81 -> 0, 0x82 ->
    // 0x1002, any other -> 0x1003; nullopt for any other report.
    static std::optional<int32_t> StandardStatus(const CDeviceReport &reply, SOpcode op);
    // Status 0x81 for op -> 0; nullopt for anything else (skipped).
    static std::optional<int32_t> Only81Status(const CDeviceReport &reply, SOpcode op);

    static int32_t FamilyTimeout(uint8_t nFamily) { return FamilyCode(nFamily, 1); }

    // One write of a request (30 ms, device nDev). Negative = failure.
    int32_t SendRequest(const CDeviceReport &request, int nDev = 0);
    // One read (zeroed report first); a result of 0 becomes 0x80000001.
    int32_t ReadReport(CDeviceReport *pReply, int nTimeoutMs, int nDev = 0);

    // Raw command: send the request, then read until the handler accepts a
    // report. The handler returns std::optional<int32_t>: nullopt skips the
    // report and the loop reads on (each read restarts the time-out); a value
    // ends the command with it. A frame that keeps sending reports the command
    // does not accept ends the loop after MAX_SKIPPED_REPORTS with a time-out.
    template <typename Handler>
    int32_t RunCommand(const CDeviceReport &request, int nTimeoutMs, Handler &&handler, int nDev = 0)
    {
        return RunCommandLoop(request, nTimeoutMs, &CallHandler<Handler>, &handler, false, nDev);
    }
    // The same under the calibration-family rules: a status 0x83 for A2 12
    // (the frame left fine tuning) ends it with 0x80000005 unless
    // bFineTuneEndOnA212 is false, and a user abort (SetRecvEnable(false)
    // during the command) ends it with 0x80000004.
    template <typename Handler>
    int32_t RunCalCommand(const CDeviceReport &request, int nTimeoutMs, Handler &&handler,
                          bool bFineTuneEndOnA212 = true)
    {
        return RunCommandLoop(request, nTimeoutMs, &CallHandler<Handler>, &handler, true, 0,
                              bFineTuneEndOnA212);
    }

    // Retry wrapper: empties stale replies from the queue once, then calls
    // raw() up to nTries times while it returns 0x80000001.
    template <typename Raw>
    int32_t RunWithRetry(uint8_t nFamily, Raw &&raw, const char *pszName = nullptr, int nTries = RETRY_COUNT)
    {
        return RetryLoop(nFamily, &CallRaw<Raw>, &raw, pszName, nTries, false);
    }
    // Calibration-family wrapper: also stops retrying once the run flag is clear.
    template <typename Raw>
    int32_t RunCalWithRetry(uint8_t nFamily, Raw &&raw, const char *pszName = nullptr)
    {
        return RetryLoop(nFamily, &CallRaw<Raw>, &raw, pszName, RETRY_COUNT, true);
    }

    // Reads and drops every reply already waiting in the command queue. The
    // retry wrappers call it once when an operation starts. A fine-tuning end
    // (status 0x83 for A2 12) among them is not a reply: it is kept for the
    // first calibration-family command of the operation, which ends with it
    // once its request is out, as if it had read it.
    int FlushStaleReplies();

    // Version word of the current frame (negative when the port has none).
    int32_t PortVersion();
    // One device operation as the user's abort sees it. The outermost scope
    // on the worker thread notes how many aborts (SetRecvEnable(false)) there
    // had been; any later one aborts every calibration-family command inside
    // it, also one that lands before the first request or between the steps
    // of a composite command. A scope that sets the run flag never sets it
    // again once the operation was aborted.
    class COperationScope
    {
    public:
        COperationScope(HardwareInterface &hw, bool bSetsRunFlag);
        ~COperationScope();
        COperationScope(const COperationScope &) = delete;
        COperationScope &operator=(const COperationScope &) = delete;

    private:
        HardwareInterface &m_hw;
    };
    // Starts (or joins) an operation and sets the run flag, as every
    // calibration-family wrapper but GetCalData does.
    [[nodiscard]] COperationScope BeginCalibrationCommand() { return COperationScope(*this, true); }
    // The user ended the running operation (always false outside one).
    bool IsAborted() const;

    static constexpr int MAX_SKIPPED_REPORTS = 1000;
    static constexpr int MAX_FLUSHED_REPORTS = 256;

    // Calibration value as it goes on the wire.
    static uint16_t CalWire(int32_t nValue);
    CDeviceReport CornerBlockRequest() const;

    // ---- what the commands learnt of the frame (AGC ranges, touch and pen
    // switches, split screen), and the state of the running operation ----
    QStringList m_lstDirNames;
    QStringList m_lstAxisNames;
    uint16_t m_nTAgcRange[4] = {0, 0, 255, 255};  // X min, Y min, X max, Y max
    uint8_t m_nRAgcRange[4] = {0, 0, 0, 0};       // X min, Y min, X max, Y max
    bool m_bAgcRangeRead = false;
    uint8_t m_nTouchEnable[2] = {1, 2};
    bool m_bTouchEnableRead = false;
    uint8_t m_nPenEnable[2] = {1, 1};
    bool m_bPenEnableRead = false;
    uint8_t m_nSplitScreen = 1;
    bool m_bSplitScreenRead = false;
    std::atomic<bool> m_bRunFlag{false};
    std::atomic<uint32_t> m_nAbortGeneration{0};  // SetRecvEnable(false) calls so far
    // The running operation (worker thread only).
    int m_nOpDepth = 0;
    uint32_t m_nOpGeneration = 0;
    bool m_bOpSetsRunFlag = false;
    bool m_bFineTuneEndQueued = false;  // seen by FlushStaleReplies, not yet reported

private:
    using HandlerFn = std::optional<int32_t> (*)(void *, const CDeviceReport &);
    using RawFn = int32_t (*)(void *);
    template <typename Handler>
    static std::optional<int32_t> CallHandler(void *p, const CDeviceReport &r)
    {
        return (*static_cast<std::remove_reference_t<Handler> *>(p))(r);
    }
    template <typename Raw>
    static int32_t CallRaw(void *p)
    {
        return (*static_cast<std::remove_reference_t<Raw> *>(p))();
    }
    int32_t RunCommandLoop(const CDeviceReport &request, int nTimeoutMs, HandlerFn fn, void *pHandler,
                           bool bCalibration, int nDev, bool bFineTuneEndOnA212 = true);
    int32_t RetryLoop(uint8_t nFamily, RawFn fn, void *pRaw, const char *pszName, int nTries,
                      bool bCalibration);
    // One A9 00 on device 0: the id as hex text in *pText.
    int32_t ReadMcuIDOnce(QString *pText);
    int32_t ReadMcuIDReply(CComPort *pPort, int nDev, QString *pText);
    void AppendMcuIdText(const CDeviceReport &reply, QString *pText) const;
    int32_t SetEnableWithReadOnce(uint8_t nFamily, bool bOn, bool *pRead, int32_t (HardwareInterface::*get)(),
                                  int32_t (HardwareInterface::*send)(bool), const char *pszName);
};
