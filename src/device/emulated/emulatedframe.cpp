#include "emulatedframe.h"

#include <QStringList>
#include <algorithm>

namespace {
constexpr quint8 kApp = 0xFC;
constexpr quint8 kBootOut = 0xFE;
constexpr quint8 kBootIn = 0xFD;
constexpr quint8 kStatus = 0xFE;
constexpr quint8 kDone = 0x81;
constexpr quint8 kBusy = 0x82;
constexpr quint8 kOther = 0x83;
constexpr quint8 kJumping = 0x84;
constexpr quint8 kRaw = 0xFB;
constexpr quint8 kTouch = 0x02;
constexpr int kTouchReportSize = 62;
} // namespace

CEmulatedFrame::CEmulatedFrame() = default;
CEmulatedFrame::~CEmulatedFrame() = default;

// ---------------------------------------------------------------- helpers

QByteArray CEmulatedFrame::Pad64(const QByteArray &bytes)
{
    QByteArray r = bytes.left(64);
    if (r.size() < 64)
        r.append(QByteArray(64 - r.size(), '\0'));
    return r;
}

void CEmulatedFrame::PutU16Le(QByteArray *p, int i, quint16 v)
{
    if (i >= 0 && i + 1 < p->size()) {
        (*p)[i] = char(v & 0xFF);
        (*p)[i + 1] = char(v >> 8);
    }
}

void CEmulatedFrame::PutU16Be(QByteArray *p, int i, quint16 v)
{
    if (i >= 0 && i + 1 < p->size()) {
        (*p)[i] = char(v >> 8);
        (*p)[i + 1] = char(v & 0xFF);
    }
}

void CEmulatedFrame::PutU32Le(QByteArray *p, int i, quint32 v)
{
    for (int k = 0; k < 4; ++k)
        if (i + k >= 0 && i + k < p->size())
            (*p)[i + k] = char((v >> (8 * k)) & 0xFF);
}

quint8 CEmulatedFrame::Byte(const QByteArray &r, int i)
{
    return (i >= 0 && i < r.size()) ? quint8(r.at(i)) : 0;
}

quint16 CEmulatedFrame::GetU16Le(const QByteArray &r, int i)
{
    return quint16(Byte(r, i) | (Byte(r, i + 1) << 8));
}

quint16 CEmulatedFrame::GetU16Be(const QByteArray &r, int i)
{
    return quint16((Byte(r, i) << 8) | Byte(r, i + 1));
}

QByteArray CEmulatedFrame::DataReply(quint8 nCmd, quint8 nReplySub) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    QByteArray r(64, '\0');
    r[0] = char(m_state.mode == Mode::Application ? kApp : kBootIn);
    r[1] = char(nCmd);
    r[2] = char(nReplySub);
    return r;
}

QByteArray CEmulatedFrame::StatusReplyFor(quint8 nCmd, quint8 nSub, quint8 nStatus) const
{
    QByteArray r = DataReply(kStatus, nStatus);
    r[5] = char(nCmd);
    r[6] = char(nSub);
    return r;
}

void CEmulatedFrame::Reply(QList<Action> *pA, const QByteArray &report, int nDelayMs) const
{
    Action a;
    a.kind = Action::Reply;
    a.report = Pad64(report);
    a.delayMs = nDelayMs;
    pA->append(a);
}

void CEmulatedFrame::ReplyStatus(QList<Action> *pA, const QByteArray &q, quint8 nStatus) const
{
    Reply(pA, StatusReplyFor(Byte(q, 1), Byte(q, 2), nStatus));
}

QByteArray CEmulatedFrame::Garbage() const
{
    // A report that answers nothing: byte 1 is no command of the protocol and
    // no status or refusal marker; the rest is noise.
    QByteArray r = DataReply(0x5A, 0);
    for (int i = 2; i < 64; ++i) {
        m_nGarbageSeed ^= m_nGarbageSeed << 13;
        m_nGarbageSeed ^= m_nGarbageSeed >> 17;
        m_nGarbageSeed ^= m_nGarbageSeed << 5;
        r[i] = char(m_nGarbageSeed & 0xFF);
    }
    return r;
}

void CEmulatedFrame::Violation(const QString &text)
{
    m_violations.append(text);
}

// ---------------------------------------------------------------- state

CEmulatedFrame::State CEmulatedFrame::Snapshot() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_state;
}

CEmulatedFrame::Mode CEmulatedFrame::CurrentMode() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_state.mode;
}

void CEmulatedFrame::SetMode(Mode mode)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_state.mode = mode;
}

bool CEmulatedFrame::IsAttached() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_state.bAttached;
}

void CEmulatedFrame::SetAttached(bool bAttached)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_state.bAttached = bAttached;
}

quint16 CEmulatedFrame::Vid() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_state.id.nVid;
}

quint16 CEmulatedFrame::Pid() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_state.mode == Mode::Application ? m_state.id.nAppPid : m_state.id.nBootPid;
}

quint16 CEmulatedFrame::Release() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_state.mode == Mode::Application ? m_state.id.nVersion : m_state.id.nBootRelease;
}

QByteArray CEmulatedFrame::ReportDescriptor() const
{
    return ReportDescriptor(CurrentMode());
}

QByteArray CEmulatedFrame::ReportDescriptor(Mode mode)
{
    // Vendor-defined collections; every report is 64 bytes with its id.
    struct Item
    {
        quint8 id;
        bool bInput;
        quint8 count;  // data bytes after the id
    };
    auto collection = [](quint8 usage, std::initializer_list<Item> items) {
        QByteArray d = QByteArray::fromHex("0600FF");  // Usage Page (vendor 0xFF00)
        d += char(0x09);
        d += char(usage);                              // Usage
        d += QByteArray::fromHex("A101");              // Collection (Application)
        d += QByteArray::fromHex("150026FF007508");    // Logical 0..255, Report Size 8
        for (const Item &item : items) {
            d += char(0x85);
            d += char(item.id);                        // Report ID
            d += char(0x95);
            d += char(item.count);                     // Report Count
            d += char(0x09);
            d += char(usage);                          // Usage
            d += QByteArray::fromHex(item.bInput ? "8102" : "9102");  // Input / Output (Data, Var, Abs)
        }
        d += char(0xC0);                               // End Collection
        return d;
    };
    if (mode == Mode::Bootloader)
        return collection(0x01, {{kBootIn, true, 63}, {kBootOut, false, 63}});
    // The raw collection: 0xFB both ways (the device layer tells the raw
    // collection by that pair), and the multi-touch records 0x02, 62 bytes.
    return collection(0x01, {{kApp, true, 63}, {kApp, false, 63}})
        + collection(0x02, {{kRaw, true, 63}, {kRaw, false, 63}, {kTouch, true, kTouchReportSize - 1}});
}

// ---------------------------------------------------------------- faults and handlers

void CEmulatedFrame::SetFault(quint8 nCmd, quint8 nSub, const Fault &fault, quint8 nId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    FaultState fs;
    fs.fault = fault;
    m_faults[Key{nId, nCmd, nSub}] = fs;
}

void CEmulatedFrame::ClearFault(quint8 nCmd, quint8 nSub, quint8 nId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_faults.erase(Key{nId, nCmd, nSub});
}

void CEmulatedFrame::ClearFaults()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_faults.clear();
}

CEmulatedFrame::Fault CEmulatedFrame::Silent(int nTimes)
{
    Fault f;
    f.kind = Fault::Silent;
    f.nTimes = nTimes;
    return f;
}

CEmulatedFrame::Fault CEmulatedFrame::Late(int nDelayMs, int nTimes)
{
    Fault f;
    f.kind = Fault::Late;
    f.delayMs = nDelayMs;
    f.nTimes = nTimes;
    return f;
}

CEmulatedFrame::Fault CEmulatedFrame::StatusReply(quint8 nStatus, int nTimes)
{
    Fault f;
    f.kind = Fault::Status;
    f.status = nStatus;
    f.nTimes = nTimes;
    return f;
}

CEmulatedFrame::Fault CEmulatedFrame::Refusal(int nTimes)
{
    Fault f;
    f.kind = Fault::Refuse;
    f.nTimes = nTimes;
    return f;
}

CEmulatedFrame::Fault CEmulatedFrame::GarbageReply(bool bThenAnswer, int nTimes)
{
    Fault f;
    f.kind = Fault::Garbage;
    f.bThenAnswer = bThenAnswer;
    f.nTimes = nTimes;
    return f;
}

CEmulatedFrame::Fault CEmulatedFrame::UnplugOnCommand()
{
    Fault f;
    f.kind = Fault::Unplug;
    f.nTimes = 1;
    return f;
}

CEmulatedFrame::Fault CEmulatedFrame::CustomReplies(const QList<QByteArray> &replies, int nTimes)
{
    Fault f;
    f.kind = Fault::Custom;
    f.replies = replies;
    f.nTimes = nTimes;
    return f;
}

void CEmulatedFrame::AddHandler(quint8 nCmd, quint8 nSub, const Handler &handler, quint8 nId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_handlers.prepend(qMakePair(Key{nId, nCmd, nSub}, handler));
}

void CEmulatedFrame::AddFallbackHandler(const Handler &handler, quint8 nId)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_fallbackHandlers.prepend(qMakePair(nId, handler));
}

QList<QByteArray> CEmulatedFrame::Requests() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_requests;
}

int CEmulatedFrame::RequestCount() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_nRequestCount;
}

void CEmulatedFrame::KeepRecent(QList<QByteArray> &list, const QByteArray &report, int nMax)
{
    list.append(report);
    while (list.size() > nMax)
        list.removeFirst();
}

QList<QByteArray> CEmulatedFrame::RequestsFor(quint8 nCmd, quint8 nSub, quint8 nId) const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    QList<QByteArray> out;
    for (const QByteArray &r : m_requests)
        if (Byte(r, 0) == nId && Byte(r, 1) == nCmd && Byte(r, 2) == nSub)
            out.append(r);
    return out;
}

void CEmulatedFrame::ClearRequests()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_requests.clear();
    m_nRequestCount = 0;
}

QStringList CEmulatedFrame::Violations() const
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_violations;
}

void CEmulatedFrame::Inject(const QByteArray &report, int nDelayMs)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Action a;
    a.kind = Action::Reply;
    a.report = Pad64(report);
    a.delayMs = nDelayMs;
    m_injected.append(a);
}

void CEmulatedFrame::InjectUnpadded(const QByteArray &report, int nDelayMs)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    Action a;
    a.kind = Action::Reply;
    a.report = report.left(64);
    a.delayMs = nDelayMs;
    m_injected.append(a);
}

QByteArray CEmulatedFrame::TouchReport(const QList<Contact> &contacts, quint8 nCount, bool bWide)
{
    // Wide records (with width and height) fill a report of 62 bytes, six of
    // them; narrow ones a report of 64 bytes, ten of them. The count byte is
    // the last byte of the report.
    const int nSize = bWide ? kTouchReportSize : 64;
    const int nRecord = bWide ? kWideRecord : kNarrowRecord;
    QByteArray r(nSize, '\0');
    r[0] = char(kTouch);
    int nAt = 1;
    for (const Contact &c : contacts) {
        if (nAt + nRecord > nSize - 1)
            break;
        r[nAt] = char(c.nStatus);
        r[nAt + 1] = char(c.nId);
        PutU16Le(&r, nAt + 2, c.nX);
        PutU16Le(&r, nAt + 4, c.nY);
        if (bWide) {
            PutU16Le(&r, nAt + 6, c.nWidth);
            PutU16Le(&r, nAt + 8, c.nHeight);
        }
        nAt += nRecord;
    }
    r[nSize - 1] = char(nCount);
    return r;
}

QList<QByteArray> CEmulatedFrame::TouchReports(const QList<Contact> &contacts, bool bWide)
{
    const int nPerReport = RecordsPerReport(bWide);
    QList<QByteArray> reports;
    for (int i = 0; i == 0 || i < contacts.size(); i += nPerReport)
        reports << TouchReport(contacts.mid(i, nPerReport), i == 0 ? quint8(contacts.size()) : 0, bWide);
    return reports;
}

int CEmulatedFrame::RecordsPerReport(bool bWide)
{
    return bWide ? (kTouchReportSize - 2) / kWideRecord : (64 - 2) / kNarrowRecord;
}

QByteArray CEmulatedFrame::TouchTestVerdictReport(bool bPass)
{
    QByteArray r = QByteArray::fromHex("FBFC010001");
    r.append(char(0));
    r.append(char(bPass ? 0 : 1));
    return Pad64(r);
}

void CEmulatedFrame::InjectTouches(const QList<Contact> &contacts, bool bWide)
{
    for (const QByteArray &report : TouchReports(contacts, bWide))
        InjectUnpadded(report);
}

QList<CEmulatedFrame::Action> CEmulatedFrame::TakeInjected()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    QList<Action> out;
    out.swap(m_injected);
    return out;
}

void CEmulatedFrame::InjectFineTuneEnd()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    m_state.cal.bFineTuning = false;
    Inject(StatusReplyFor(0xA2, 0x12, kOther));
}

// ---------------------------------------------------------------- dispatch

QList<CEmulatedFrame::Action> CEmulatedFrame::OnOutput(const QByteArray &rawReport)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    const QByteArray report = Pad64(rawReport);
    KeepRecent(m_requests, report, MAX_KEPT_REQUESTS);
    ++m_nRequestCount;
    QList<Action> actions;
    if (!m_state.bAttached) {
        Violation(QStringLiteral("report written while detached"));
        return actions;
    }
    const quint8 id = Byte(report, 0);
    const bool bApp = m_state.mode == Mode::Application;
    if ((bApp && id != kApp) || (!bApp && id != kBootOut)) {
        // The collection of the other mode does not exist on the bus.
        Violation(QStringLiteral("report id %1 in %2 mode")
                      .arg(id, 2, 16, QLatin1Char('0'))
                      .arg(bApp ? "application" : "bootloader"));
        return actions;
    }
    const Key key{id, Byte(report, 1), Byte(report, 2)};
    // Every request is checked before anything answers it (a fault, an
    // installed handler or the frame itself).
    if (id == kApp)
        CheckAppRequest(report);
    if (ApplyFault(report, key, &actions))
        return actions;
    return Answer(report);
}

bool CEmulatedFrame::IsKnownAppRequest(quint8 nCmd, quint8 nSub)
{
    static const quint16 kKnown[] = {
        // device information and settings
        0xA301, 0xA305, 0xA300, 0xA900, 0xA905, 0xA906, 0x0800, 0x3007, 0x3008, 0x300E, 0x301D, 0x3023, 0x3022,
        0xA220, 0xA808, 0xA817, 0xA209, 0xA811, 0xA814, 0xA813, 0xA804, 0xA815, 0xB208, 0x3004, 0x3000,
        // calibration and fine tuning, the jump to the bootloader
        0xA101, 0xA102, 0xA104, 0xA105, 0xA106, 0xA103, 0x3011, 0x3002, 0xCF02, 0xA201, 0xA200, 0xA212, 0xAA04,
        // panel geometry, limits and signals (answered by a panel, the ready poll by the frame)
        0xAC01, 0xA500, 0xA507, 0xA805, 0xA816, 0xA806, 0xA501,
    };
    if (nCmd == 0x01)
        return true; // the calibration steps, 01 08 and 01 FF
    const quint16 op = quint16((nCmd << 8) | nSub);
    for (const quint16 known : kKnown) {
        if (known == op)
            return true;
    }
    return false;
}

void CEmulatedFrame::CheckAppRequest(const QByteArray &q)
{
    const quint8 cmd = Byte(q, 1);
    const quint8 sub = Byte(q, 2);
    if (Byte(q, 4) != 0)
        Violation(QStringLiteral("byte 4 of %1 %2 is not 0").arg(cmd, 2, 16, QLatin1Char('0')).arg(sub, 2, 16, QLatin1Char('0')));
    if (!IsKnownAppRequest(cmd, sub))
        Violation(QStringLiteral("unknown command %1 %2")
                      .arg(cmd, 2, 16, QLatin1Char('0'))
                      .arg(sub, 2, 16, QLatin1Char('0')));
}

bool CEmulatedFrame::ApplyFault(const QByteArray &request, const Key &key, QList<Action> *pA)
{
    auto it = m_faults.find(key);
    if (it == m_faults.end())
        return false;
    FaultState &fs = it->second;
    const int n = fs.nSeen++;
    if (n < fs.fault.nSkip)
        return false;
    if (fs.fault.nTimes >= 0 && n >= fs.fault.nSkip + fs.fault.nTimes)
        return false;
    const Fault &f = fs.fault;
    switch (f.kind) {
    case Fault::None:
        return false;
    case Fault::Silent:
        return true;
    case Fault::Late: {
        QList<Action> normal = Answer(request);
        for (Action &a : normal)
            a.delayMs += f.delayMs;
        pA->append(normal);
        return true;
    }
    case Fault::Status:
        ReplyStatus(pA, request, f.status);
        return true;
    case Fault::Refuse:
        Reply(pA, DataReply(0xFF, 0));
        return true;
    case Fault::Garbage:
        Reply(pA, Garbage());
        if (f.bThenAnswer)
            pA->append(Answer(request));
        return true;
    case Fault::Unplug: {
        Action a;
        a.kind = Action::Unplug;
        pA->append(a);
        return true;
    }
    case Fault::Custom:
        for (const QByteArray &r : f.replies)
            Reply(pA, r, f.delayMs);
        return true;
    }
    return false;
}

QList<CEmulatedFrame::Action> CEmulatedFrame::Answer(const QByteArray &q)
{
    QList<Action> actions;
    const Key key{Byte(q, 0), Byte(q, 1), Byte(q, 2)};
    for (const auto &h : qAsConst(m_handlers)) {
        if (h.first.id == key.id && h.first.cmd == key.cmd && h.first.sub == key.sub
            && h.second(*this, q, &actions))
            return actions;
    }
    for (const auto &h : qAsConst(m_fallbackHandlers)) {
        if (h.first == key.id && h.second(*this, q, &actions))
            return actions;
    }
    if (key.id == kApp)
        App(q, &actions);
    else
        BootCommand(q, &actions);
    return actions;
}

QByteArray CEmulatedFrame::CornerBlock(quint8 nCmd, quint8 nSub) const
{
    const quint16 *v = m_state.cal.value;
    QByteArray r = DataReply(nCmd, nSub);
    r[3] = char(0x11);
    r[5] = char(0x01);
    const quint16 points[8] = {v[0], v[1], v[2], v[1], v[2], v[3], v[0], v[3]};
    for (int i = 0; i < 8; ++i)
        PutU16Be(&r, 6 + 2 * i, points[i]);
    return r;
}

void CEmulatedFrame::App(const QByteArray &q, QList<Action> *pA)
{
    State &s = m_state;
    const quint8 cmd = Byte(q, 1);
    const quint8 sub = Byte(q, 2);
    const quint16 op = quint16((cmd << 8) | sub);
    switch (op) {
    // ---- device information
    case 0xA301: {
        QByteArray r = DataReply(0xA3, 0x81);
        const QByteArray name = s.info.product.left(59);
        r[3] = char(name.size());
        r.replace(5, name.size(), name);
        Reply(pA, r);
        return;
    }
    case 0xA305: {
        QByteArray r = DataReply(0xA3, 0x85);
        r[3] = char(30);
        const FirmwareSet &a = s.info.first;
        const FirmwareSet &b = s.info.second;
        PutU16Le(&r, 5, a.nAppChecksum);
        PutU16Le(&r, 9, a.nAppVersion);
        PutU16Le(&r, 11, a.nBootVersion);
        r[13] = char(a.nBootSuffix);
        PutU32Le(&r, 14, a.nBootChecksum);
        PutU16Le(&r, 18, s.id.nVid);
        PutU16Le(&r, 20, s.id.nAppPid);
        PutU16Le(&r, 22, b.nAppChecksum);
        PutU16Le(&r, 26, b.nAppVersion);
        PutU16Le(&r, 28, b.nBootVersion);
        r[30] = char(b.nBootSuffix);
        PutU32Le(&r, 31, b.nBootChecksum);
        Reply(pA, r);
        return;
    }
    case 0xA300: {
        QByteArray r = DataReply(0xA3, 0x80);
        r[3] = char(19);
        PutU16Le(&r, 8, s.info.nShortChecksum);
        PutU16Le(&r, 18, s.id.nVid);
        PutU16Le(&r, 20, s.id.nAppPid);
        PutU16Le(&r, 22, s.info.nShortVersion);
        Reply(pA, r);
        return;
    }
    case 0xA900: {
        QByteArray r = DataReply(0xA9, 0x80);
        const QByteArray id = s.info.mcuId.left(59);
        r[3] = char(id.size());
        r.replace(5, id.size(), id);
        Reply(pA, r);
        return;
    }
    case 0xA905: {
        QByteArray r = DataReply(0xA9, 0x85);
        if (s.info.bBatchErased) {
            r[3] = char(32);
            for (int i = 5; i < 37; ++i)
                r[i] = char(0xFF);
        } else {
            const QByteArray text = s.info.batch.left(58);
            r[3] = char(text.size());
            r.replace(5, text.size(), text);
        }
        Reply(pA, r);
        return;
    }
    case 0xA906: {
        // [3] = characters + 1; the text ends at its 0 byte.
        const int n = qBound(0, int(Byte(q, 3)) - 1, 58);
        QByteArray text = q.mid(5, n);
        const int nul = text.indexOf('\0');
        if (nul >= 0)
            text.truncate(nul);
        if (Byte(q, 5 + n) != 0)
            Violation(QStringLiteral("A9 06 text is not followed by a 0 byte"));
        s.info.batch = text;
        s.info.bBatchErased = false;
        ReplyStatus(pA, q, kDone);
        return;
    }
    case 0x0800: {
        QByteArray r = DataReply(0x08, 0x02);
        r[3] = char(0x01);
        r[5] = char(s.info.nMaxPoint);
        Reply(pA, r);
        return;
    }
    // ---- settings
    case 0x3007: {
        QByteArray r = DataReply(0x30, 0x87);
        r[3] = char(2);
        r[5] = char(s.settings.touch[0]);
        r[6] = char(s.settings.touch[1]);
        Reply(pA, r);
        return;
    }
    case 0x3008:
        s.settings.touch[0] = Byte(q, 5);
        s.settings.touch[1] = Byte(q, 6);
        ReplyStatus(pA, q, kDone);
        return;
    case 0x300E: {
        QByteArray r = DataReply(0x30, 0x8E);
        r[3] = char(2);
        r[5] = char(s.settings.pen[0]);
        r[6] = char(s.settings.pen[1]);
        Reply(pA, r);
        return;
    }
    case 0x301D:
        s.settings.pen[0] = Byte(q, 5);
        s.settings.pen[1] = Byte(q, 6);
        ReplyStatus(pA, q, kDone);
        return;
    case 0x3023: {
        QByteArray r = DataReply(0x30, 0xA3);
        r[3] = char(1);
        r[5] = char(s.settings.split);
        Reply(pA, r);
        return;
    }
    case 0x3022:
        s.settings.split = Byte(q, 5);
        ReplyStatus(pA, q, kDone);
        return;
    case 0xA220:
        s.settings.drawing[0] = Byte(q, 5);
        s.settings.drawing[1] = Byte(q, 6);
        ReplyStatus(pA, q, kDone);
        return;
    case 0xA808:
        s.settings.bReverse = Byte(q, 5) == 0;
        ReplyStatus(pA, q, kDone);
        return;
    case 0xA817:
        s.settings.bLedCheck = Byte(q, 5) != 0;
        ReplyStatus(pA, q, kDone);
        return;
    case 0xA209:
        ++s.settings.nAgcInits;
        ReplyStatus(pA, q, kDone);
        return;
    case 0xA811:
        s.settings.a811Flag = Byte(q, 5);
        s.settings.nPollsSinceA811 = 0;
        if (Byte(q, 6) != 0xFF || Byte(q, 7) != 0xFF)
            Violation(QStringLiteral("A8 11 without FF FF at [6..7]"));
        ReplyStatus(pA, q, kDone);
        return;
    case 0xA501:
        if (Byte(q, 5) == 0xFF) {
            // Ready poll: the frame answers "82" once it is ready, nothing before.
            ++s.settings.nPollsSinceA811;
            if (s.settings.nPollsSinceA811 > s.settings.nReadyAfterPolls)
                ReplyStatus(pA, q, kBusy);
            return;
        }
        Violation(QStringLiteral("A5 01 signal frame without a panel handler"));
        return;
    case 0xA814:
        s.settings.a814Flag = Byte(q, 5);
        ReplyStatus(pA, q, kDone);
        return;
    case 0xA813:
        if (!s.settings.bAgcValueSupported) {
            ReplyStatus(pA, q, kOther);
            return;
        }
        s.settings.nAgcMode = Byte(q, 5);
        s.settings.nTAgc = GetU16Le(q, 6);
        s.settings.nRAgc = GetU16Le(q, 8);
        ReplyStatus(pA, q, kDone);
        return;
    case 0xA804:
        s.settings.nA804Value = GetU16Le(q, 10);
        ReplyStatus(pA, q, kDone);
        return;
    case 0xA815: {
        QByteArray r = DataReply(0xA8, 0x95);
        r[3] = char(10);
        PutU16Le(&r, 5, s.settings.tAgc[0]);
        PutU16Le(&r, 7, s.settings.tAgc[1]);
        PutU16Le(&r, 9, s.settings.tAgc[2]);
        PutU16Le(&r, 11, s.settings.tAgc[3]);
        r[13] = char(s.settings.rAgc[0]);
        r[14] = char(s.settings.rAgc[1]);
        Reply(pA, r);
        return;
    }
    case 0xB208: {
        QByteArray r = DataReply(0xB2, 0x88);
        r[3] = char(3);
        QVector<quint8> st{s.settings.state[0], s.settings.state[1], s.settings.state[2]};
        if (!s.settings.busyStates.isEmpty()) {
            st = s.settings.busyStates.takeFirst();
        } else if (s.settings.bBusyChanging) {
            ++s.settings.state[0];
            st = QVector<quint8>{s.settings.state[0], s.settings.state[1], 0x10};
        }
        for (int i = 0; i < 3 && i < st.size(); ++i)
            r[5 + i] = char(st[i]);
        Reply(pA, r);
        return;
    }
    case 0x3004: {
        QByteArray r = DataReply(0x30, 0x84);
        r[3] = char(2);
        r[5] = char(s.settings.usb[0]);
        r[6] = char(s.settings.usb[1]);
        Reply(pA, r);
        return;
    }
    case 0x3000:
        s.settings.usb[0] = Byte(q, 5);
        s.settings.usb[1] = Byte(q, 6);
        ReplyStatus(pA, q, kDone);
        return;
    // ---- calibration
    case 0xA101:
        s.cal.bPrepared = true;
        Reply(pA, DataReply(0xA1, 0x81));
        return;
    case 0xA102: {
        if (Byte(q, 5) != 0x01)
            Violation(QStringLiteral("A1 02 without 01 at [5]"));
        const quint16 lx = GetU16Be(q, 6), ly = GetU16Be(q, 8), rx = GetU16Be(q, 10);
        const quint16 ry = GetU16Be(q, 16);
        if (GetU16Be(q, 12) != ly || GetU16Be(q, 14) != rx || GetU16Be(q, 18) != lx
            || GetU16Be(q, 20) != ry)
            Violation(QStringLiteral("A1 02 corner points disagree"));
        if (!s.cal.bPrepared)
            Violation(QStringLiteral("A1 02 without A1 01 first"));
        s.cal.value[0] = lx;
        s.cal.value[1] = ly;
        s.cal.value[2] = rx;
        s.cal.value[3] = ry;
        Reply(pA, DataReply(0xA1, 0x82));
        return;
    }
    case 0xA104:
        Reply(pA, CornerBlock(0xA1, 0x84));
        return;
    case 0xA105:
        std::copy(s.cal.value, s.cal.value + 4, s.cal.defaults);
        ReplyStatus(pA, q, kDone);
        return;
    case 0xA106:
        std::copy(s.cal.factory, s.cal.factory + 4, s.cal.value);
        ReplyStatus(pA, q, kDone);
        return;
    case 0xA103:
        if (Byte(q, 5) != 0x01)
            Violation(QStringLiteral("A1 03 without 01 at [5]"));
        std::copy(s.cal.value, s.cal.value + 4, s.cal.flash);
        Reply(pA, DataReply(0xA1, 0x83));
        return;
    case 0x3011: {
        QByteArray r = DataReply(0x30, 0x91);
        r[3] = char(4);
        r[8] = char(s.cal.format);
        Reply(pA, r);
        return;
    }
    case 0x3002:
        s.cal.format = Byte(q, 5);
        ReplyStatus(pA, q, kDone);
        return;
    case 0xCF02:
        if (q.mid(5, 6) != QByteArray::fromHex("020305FC0108"))
            Violation(QStringLiteral("CF 02 payload differs"));
        Reply(pA, DataReply(0xCF, 0x82));
        return;
    case 0x0108:
        Reply(pA, DataReply(0x01, 0x88));
        return;
    case 0x01FF:
        s.cal.bEnded = true;  // end of calibration: write only, never answered
        return;
    case 0xA201: {
        QByteArray r = DataReply(0xA2, 0x81);
        r[3] = char(8);
        r[5] = char(s.cal.fineTune[0]);
        r[6] = char(s.cal.fineTune[1]);
        PutU16Le(&r, 7, quint16(s.cal.fineTune[2]));
        for (int i = 3; i < 7; ++i)
            r[6 + i] = char(s.cal.fineTune[i]);
        Reply(pA, r);
        return;
    }
    case 0xA200:
        if (Byte(q, 3) != 0x08)
            Violation(QStringLiteral("A2 00 with [3] other than 8"));
        if (Byte(q, 6) == 0) {
            // Without values: [5] and [7..12] keep their FF preset.
            for (int i : {5, 7, 8, 9, 10, 11, 12})
                if (Byte(q, i) != 0xFF) {
                    Violation(QStringLiteral("A2 00 without values: byte %1 is not FF").arg(i));
                    break;
                }
        } else if (Byte(q, 6) != 1) {
            Violation(QStringLiteral("A2 00 with [6] neither 0 nor 1"));
        }
        if (Byte(q, 6) == 1) {
            s.cal.fineTune[0] = Byte(q, 5);
            s.cal.fineTune[1] = 1;
            s.cal.fineTune[2] = GetU16Le(q, 7);
            for (int i = 3; i < 7; ++i)
                s.cal.fineTune[i] = Byte(q, 6 + i);
        }
        for (int i = 13; i < 64; ++i)
            if (Byte(q, i) != 0xFF) {
                Violation(QStringLiteral("A2 00 byte %1 is not FF").arg(i));
                break;
            }
        ReplyStatus(pA, q, kDone);
        return;
    case 0xA212:
        s.cal.bFineTuning = Byte(q, 5) == 0;
        ReplyStatus(pA, q, kDone);
        return;
    // ---- bootloader jump
    case 0xAA04: {
        Reply(pA, StatusReplyFor(0xAA, 0x04, kJumping));
        Action a;
        if (s.boot.bNeverReturns) {
            a.kind = Action::Unplug;
        } else {
            a.kind = Action::Replug;
            a.mode = s.boot.bBootFailsToStart ? Mode::Application : Mode::Bootloader;
            a.backAfterMs = s.boot.nBootArrivalMs;
        }
        a.delayMs = s.boot.nJumpDelayMs;
        pA->append(a);
        return;
    }
    default:
        break;
    }
    if (cmd == 0x01) {
        // Calibration step s = 0 (begin), 1..4 (targets), 5 (check): the frame
        // answers when the operator has touched the target.
        if (sub > 5) {
            Violation(QStringLiteral("calibration step %1").arg(sub));
            return;
        }
        s.cal.nLastStep = sub;
        if (s.cal.nTouchDelayMs < 0)
            return;
        QByteArray r = DataReply(0x01, sub == 5 ? 0xFF : quint8(sub + 1));
        if (sub == 5)
            r[3] = char(s.cal.nCheckResult);
        Reply(pA, r, s.cal.nTouchDelayMs);
        return;
    }
    // Unknown commands were reported when they came in (CheckAppRequest); a
    // panel command reaches this point only when no panel is installed.
    if (IsKnownAppRequest(cmd, sub))
        Violation(QStringLiteral("%1 %2 without a panel handler")
                      .arg(cmd, 2, 16, QLatin1Char('0'))
                      .arg(sub, 2, 16, QLatin1Char('0')));
}

void CEmulatedFrame::BootCommand(const QByteArray &q, QList<Action> *pA)
{
    State &s = m_state;
    const quint8 cmd = Byte(q, 1);
    if (cmd == 0x03 && Byte(q, 2) == 0x00) {
        QByteArray r = DataReply(0x03, s.boot.version[0]);
        r[3] = char(s.boot.version[1]);
        r[4] = char(s.boot.version[2]);
        PutU16Le(&r, 5, s.boot.nChecksumLow);
        PutU16Le(&r, 7, s.boot.nChecksumHigh);
        Reply(pA, r);
        return;
    }
    if (cmd == 0x27) {
        if (s.boot.bMcuTypeUnknown) {
            QByteArray r = DataReply(0x02, 0x07);
            Reply(pA, r);
        } else {
            QByteArray r = DataReply(0x27, s.boot.nMcuType);
            Reply(pA, r);
        }
        return;
    }
    // A record of the firmware image.
    ++s.boot.nRecords;
    KeepRecent(s.boot.records, q, MAX_KEPT_BOOT_RECORDS);
    if (s.boot.nRecords == s.boot.nFailAtRecord) {
        if (!s.boot.failReply.isEmpty())
            Reply(pA, s.boot.failReply);
        return;
    }
    if (s.boot.nRecordsToComplete > 0 && s.boot.nRecords >= s.boot.nRecordsToComplete) {
        Reply(pA, DataReply(0x05, 0));
        if (s.boot.nNewVersion)
            s.id.nVersion = s.boot.nNewVersion;
        Action a;
        a.kind = Action::Replug;
        a.mode = Mode::Application;
        a.delayMs = s.boot.nReturnDelayMs;
        a.backAfterMs = s.boot.nAppArrivalMs;
        pA->append(a);
        return;
    }
    Reply(pA, DataReply(0x04, 0));
}
