#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QVector>
#include <QtGlobal>
#include <functional>
#include <map>
#include <mutex>
#include <tuple>

// A touch frame in software, for tests and benchmarks. It is written from the
// frame's side of the protocol: it takes the 64-byte reports the station
// writes and answers with the reports a frame sends back, in application mode
// (report id 0xFC both ways) or in bootloader mode (0xFE out, 0xFD in).
//
// The model knows nothing about transports: OnOutput() returns a list of
// actions (replies, possibly late, and unplug/re-plug events) which an adapter
// carries out: CEmulatedComPort for fast unit tests behind a port, or the
// emulated HID node behind the fake OS backend, so that the real device layer
// carries the reports.
//
// The panel commands (geometry, limits, signal frames) are answered by
// CEmulatedPanel (emulatedpanel.h), which registers its handlers with
// AddHandler(); the ready poll A5 01 FF stays here.
//
// Every command can be switched to a failure mode (CEmulatedFrame::Fault):
// silence, a late reply, a status reply, a refusal, a garbage reply, leaving
// the bus in the middle of the command, custom replies.
//
// Thread safety: every public member function locks the frame. Tests reach
// the state through Edit() (locked) or Snapshot().
class CEmulatedFrame
{
public:
    enum class Mode { Application, Bootloader };

    struct Action
    {
        enum Kind {
            Reply,   // send `report` after `delayMs`
            Unplug,  // leave the bus (after `delayMs`); the port reports the device lost
            Replug,  // leave the bus after `delayMs`, come back in `mode` `backAfterMs` later
        };
        Kind kind = Reply;
        QByteArray report;  // 64 bytes for Reply
        int delayMs = 0;
        Mode mode = Mode::Application;  // for Replug
        int backAfterMs = 0;            // for Replug
    };

    struct Fault
    {
        enum Kind {
            None,
            Silent,   // no reply at all (the station times out)
            Late,     // the normal reply, delayed by delayMs
            Status,   // a status reply with `status` for this command instead of the answer
            Refuse,   // a refusal report ([1] = 0xFF)
            Garbage,  // a report that answers nothing; followed by the real answer when bThenAnswer
            Unplug,   // the frame leaves the bus when it receives the command, no reply
            Custom,   // the reports in `replies` (each padded to 64 bytes, delayed by delayMs) instead of the answer
        };
        Kind kind = None;
        quint8 status = 0x83;
        int delayMs = 0;
        bool bThenAnswer = false;
        QList<QByteArray> replies;
        int nSkip = 0;    // requests of this command answered normally before the fault applies
        int nTimes = -1;  // number of requests the fault applies to; -1 = every one after nSkip
    };

    struct Identity
    {
        quint16 nVid = 0x2FE9;
        quint16 nAppPid = 0x0013;
        quint16 nBootPid = 0xFF00;
        quint16 nVersion = 0x7201;      // USB release number in application mode
        quint16 nBootRelease = 0x0100;  // USB release number in bootloader mode
        QByteArray manufacturer = "Kestrel Touch";
        QByteArray product = "IR Touch Frame";
        QByteArray serial = "EMU000001";
    };

    struct FirmwareSet
    {
        quint16 nAppChecksum = 0;
        quint16 nAppVersion = 0;
        quint16 nBootVersion = 0;
        quint8 nBootSuffix = 0;
        quint32 nBootChecksum = 0;
    };

    struct Info
    {
        QByteArray product = "KT-T65WHSUR-10P";  // A3 01
        FirmwareSet first{0x1A2B, 0x0102, 0x0201, 0x05, 0x11223344};
        FirmwareSet second{0x3C4D, 0x0103, 0x0201, 0x07, 0x11223344};
        quint16 nShortChecksum = 0x1A2B;  // A3 80
        quint16 nShortVersion = 0x0102;
        QByteArray mcuId = QByteArray::fromHex("0123456789ABCDEF00112233");
        QByteArray batch = "B2024-11-05";  // A9 85; empty with bBatchErased gives FF bytes
        bool bBatchErased = false;
        quint8 nMaxPoint = 10;
    };

    struct Settings
    {
        quint8 touch[2] = {1, 2};
        quint8 pen[2] = {1, 1};
        quint8 split = 1;
        quint8 drawing[2] = {0, 0};
        bool bReverse = false;
        bool bLedCheck = false;
        int nAgcInits = 0;  // A2 09 received
        bool bAgcValueSupported = true;  // A8 13; else status 0x83
        quint8 nAgcMode = 0;
        quint16 nTAgc = 0, nRAgc = 0;
        quint16 nA804Value = 0;
        quint16 tAgc[4] = {10, 200, 10, 200};  // X min, X max, Y min, Y max
        quint8 rAgc[2] = {0, 255};             // min, max
        quint8 usb[2] = {3, 3};
        quint8 state[3] = {0, 4, 1};          // B2 88 a, b, c when idle
        QList<QVector<quint8>> busyStates;    // answered (in order) before `state`
        bool bBusyChanging = false;           // busy for ever, with a new state in every answer
        int nReadyAfterPolls = 0;             // A5 01 FF polls left unanswered after A8 11
        int nPollsSinceA811 = 0;
        quint8 a811Flag = 0;
        quint8 a814Flag = 0;
    };

    struct Calibration
    {
        quint16 value[4] = {0x0100, 0x0200, 0x7E00, 0x7D00};  // LX, LY, RX, RY
        quint16 factory[4] = {0x0100, 0x0200, 0x7E00, 0x7D00};
        quint16 flash[4] = {0x0100, 0x0200, 0x7E00, 0x7D00};
        quint16 defaults[4] = {0x0100, 0x0200, 0x7E00, 0x7D00};
        quint8 format = 1;  // 30 91 [8]
        bool bPrepared = false;  // A1 01 seen
        int nTouchDelayMs = 0;   // time until the operator "touches" a target; -1 never
        quint8 nCheckResult = 2; // 01 FF [3]: 3 = deviation too large, anything else accepted
        int nLastStep = -1;
        int fineTune[7] = {5, 0, 0x0123, 1, 2, 3, 4};  // FT0..FT6; FT2 is 16 bits
        bool bFineTuning = false;
        bool bEnded = false;  // 01 FF seen
    };

    struct Boot
    {
        // The bootloader the application reports (Info::first): version
        // 0x0201 with suffix 05 and checksum 0x11223344, as FD 03 carries them.
        quint8 version[3] = {0x01, 0x02, 0x05};  // bytes [2], [3], [4] of FD 03
        quint16 nChecksumLow = 0x3344;            // [5..6]
        quint16 nChecksumHigh = 0x1122;           // [7..8]
        quint8 nMcuType = 0x21;
        bool bMcuTypeUnknown = false;  // answer FE 27 with FD 02 07
        int nJumpDelayMs = 20;         // from the AA 04 answer until it leaves the bus
        int nBootArrivalMs = 50;       // from leaving the bus until it is back in bootloader mode
        bool bNeverReturns = false;    // leaves the bus on AA 04 and never comes back
        bool bBootFailsToStart = false;  // answers AA 04, leaves, and comes back in its application
        int nRecordsToComplete = 0;    // FD 05 after this many records (0: only FD 04)
        int nRecords = 0;              // records received
        int nFailAtRecord = -1;        // 1-based record answered with `failReply` (empty: silence)
        QByteArray failReply;
        int nReturnDelayMs = 20;       // from FD 05 until it leaves the bus
        int nAppArrivalMs = 50;        // from leaving the bus until it is back in application mode
        quint16 nNewVersion = 0;       // release number after a completed download (0: unchanged)
        QList<QByteArray> records;     // the records received, in order (the last MAX_KEPT_BOOT_RECORDS)
    };

    struct State
    {
        Mode mode = Mode::Application;
        bool bAttached = true;
        Identity id;
        Info info;
        Settings settings;
        Calibration cal;
        Boot boot;
    };

    // A handler for one command: fill *pActions and return true, or return false
    // to let the next handler (or the built-in one) take the request.
    using Handler = std::function<bool(CEmulatedFrame &frame, const QByteArray &request,
                                       QList<Action> *pActions)>;

    CEmulatedFrame();
    ~CEmulatedFrame();
    CEmulatedFrame(const CEmulatedFrame &) = delete;
    CEmulatedFrame &operator=(const CEmulatedFrame &) = delete;

    // The frame's answer to one output report of the station.
    QList<Action> OnOutput(const QByteArray &report);

    // State access.
    template <typename F>
    void Edit(F &&f)
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        f(m_state);
    }
    State Snapshot() const;
    // Direct access for handlers, which run with the frame locked.
    State &StateRef() { return m_state; }
    std::recursive_mutex &Mutex() const { return m_mutex; }

    Mode CurrentMode() const;
    void SetMode(Mode mode);
    bool IsAttached() const;
    void SetAttached(bool bAttached);
    quint16 Vid() const;
    quint16 Pid() const;          // of the current mode
    quint16 Release() const;      // of the current mode
    QByteArray ReportDescriptor() const;  // of the current mode
    static QByteArray ReportDescriptor(Mode mode);

    // Failure modes, per command (bootloader commands: id 0xFE).
    void SetFault(quint8 nCmd, quint8 nSub, const Fault &fault, quint8 nId = 0xFC);
    void ClearFault(quint8 nCmd, quint8 nSub, quint8 nId = 0xFC);
    void ClearFaults();
    static Fault Silent(int nTimes = -1);
    static Fault Late(int nDelayMs, int nTimes = -1);
    static Fault StatusReply(quint8 nStatus, int nTimes = -1);
    static Fault Refusal(int nTimes = -1);
    static Fault GarbageReply(bool bThenAnswer, int nTimes = -1);
    static Fault UnplugOnCommand();
    static Fault CustomReplies(const QList<QByteArray> &replies, int nTimes = -1);

    // Extra handlers (tried newest first, before the built-in ones).
    void AddHandler(quint8 nCmd, quint8 nSub, const Handler &handler, quint8 nId = 0xFC);
    // A handler for every request of report id nId that no handler of its
    // own command took (tried newest first, after those, before the
    // built-in ones).
    void AddFallbackHandler(const Handler &handler, quint8 nId);

    // How many of the reports received the frame keeps (the recent ones):
    // a frame that runs for a shift, as the station's emulated one does,
    // would otherwise keep every command of it.
    static constexpr int MAX_KEPT_REQUESTS = 8192;
    // Records of a firmware image kept in the boot state (`records`): the
    // recent ones, a whole image of 512 kB.
    static constexpr int MAX_KEPT_BOOT_RECORDS = 8192;
    // Appends the report, dropping the oldest beyond nMax.
    static void KeepRecent(QList<QByteArray> &list, const QByteArray &report, int nMax);

    // Reports received, in order (every output report, both modes), the
    // last MAX_KEPT_REQUESTS of them.
    QList<QByteArray> Requests() const;
    // Every report received since the start or ClearRequests, kept or not.
    int RequestCount() const;
    // Requests whose bytes 0..2 are id, cmd, sub.
    QList<QByteArray> RequestsFor(quint8 nCmd, quint8 nSub, quint8 nId = 0xFC) const;
    void ClearRequests();
    // Protocol violations seen (byte 4 not 0, unknown commands, inconsistent corner blocks...).
    QStringList Violations() const;

    // Helpers to build the frame's reports (reply id of the current mode).
    QByteArray DataReply(quint8 nCmd, quint8 nReplySub) const;
    QByteArray StatusReplyFor(quint8 nCmd, quint8 nSub, quint8 nStatus) const;
    static QByteArray Pad64(const QByteArray &bytes);
    static void PutU16Le(QByteArray *p, int i, quint16 v);
    static void PutU16Be(QByteArray *p, int i, quint16 v);
    static void PutU32Le(QByteArray *p, int i, quint32 v);
    static quint16 GetU16Le(const QByteArray &r, int i);
    static quint16 GetU16Be(const QByteArray &r, int i);
    static quint8 Byte(const QByteArray &r, int i);

    // Unsolicited reports that an adapter picks up (fine-tuning end and the
    // like), padded to 64 bytes.
    void Inject(const QByteArray &report, int nDelayMs = 0);
    // The same, sent at the length it has (at most 64 bytes): a raw report
    // shorter than a command report.
    void InjectUnpadded(const QByteArray &report, int nDelayMs = 0);

    // --- raw reports: the contacts a frame reports and its touch-test verdict ---
    // One contact of a multi-touch report: status 4 (contact down or lifted)
    // or 7 (moved); positions and sizes 0..32767.
    struct Contact
    {
        Contact() = default;
        Contact(quint8 status, quint8 id, quint16 x = 0, quint16 y = 0, quint16 width = 0, quint16 height = 0)
            : nStatus(status), nId(id), nX(x), nY(y), nWidth(width), nHeight(height)
        {
        }
        quint8 nStatus = 4;
        quint8 nId = 0;
        quint16 nX = 0, nY = 0;
        quint16 nWidth = 0, nHeight = 0;
    };
    static constexpr int kWideRecord = 10;   // status, id, x, y, width, height
    static constexpr int kNarrowRecord = 6;  // status, id, x, y
    // One multi-touch report (id 0x02): the records from byte 1 (as many as
    // fit before the count byte), nCount in the last byte. Wide records go out
    // in a report of 62 bytes, narrow ones in one of 64.
    static QByteArray TouchReport(const QList<Contact> &contacts, quint8 nCount, bool bWide = true);
    // One frame of contacts split over as many reports as it needs: the first
    // carries the frame's count, every later one 0. No contact: one report
    // with count 0.
    static QList<QByteArray> TouchReports(const QList<Contact> &contacts, bool bWide = true);
    static int RecordsPerReport(bool bWide);
    // The frame's own touch-test verdict: FB FC 01 00 01, byte 6 is 1 for a
    // failed test and 0 for a passed one.
    static QByteArray TouchTestVerdictReport(bool bPass);
    // Queues the reports of one frame of contacts (InjectUnpadded).
    void InjectTouches(const QList<Contact> &contacts, bool bWide = true);
    QList<Action> TakeInjected();
    void InjectFineTuneEnd();

private:
    struct Key
    {
        quint8 id, cmd, sub;
        bool operator<(const Key &o) const
        {
            return std::tie(id, cmd, sub) < std::tie(o.id, o.cmd, o.sub);
        }
    };
    struct FaultState
    {
        Fault fault;
        int nSeen = 0;
    };

    QList<Action> Answer(const QByteArray &request);  // handlers and built-ins
    bool ApplyFault(const QByteArray &request, const Key &key, QList<Action> *pActions);
    void App(const QByteArray &q, QList<Action> *pA);
    void BootCommand(const QByteArray &q, QList<Action> *pA);
    void Reply(QList<Action> *pA, const QByteArray &report, int nDelayMs = 0) const;
    void ReplyStatus(QList<Action> *pA, const QByteArray &q, quint8 nStatus) const;
    QByteArray CornerBlock(quint8 nCmd, quint8 nSub) const;
    QByteArray Garbage() const;
    void Violation(const QString &text);
    // The checks every application request gets before anything answers it:
    // byte 4 is 0 and the command is one of the protocol's.
    void CheckAppRequest(const QByteArray &q);
    static bool IsKnownAppRequest(quint8 nCmd, quint8 nSub);

    mutable std::recursive_mutex m_mutex;
    State m_state;
    std::map<Key, FaultState> m_faults;
    QList<QPair<Key, Handler>> m_handlers;  // newest first
    QList<QPair<quint8, Handler>> m_fallbackHandlers;  // by report id, newest first
    QList<QByteArray> m_requests;
    int m_nRequestCount = 0;
    QStringList m_violations;
    QList<Action> m_injected;
    mutable quint32 m_nGarbageSeed = 0x2545F491;
};
