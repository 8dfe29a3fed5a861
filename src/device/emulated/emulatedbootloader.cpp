#include "emulatedbootloader.h"

#include <mutex>

namespace {
constexpr quint8 kBootOut = 0xFE;
constexpr int kRecordSize = 64;
// The bootloader's own commands: the boot information and the MCU type.
constexpr quint8 kBootInfo = 0x03;
constexpr quint8 kMcuQuery = 0x27;

quint32 U32Le(const QByteArray& r, int i)
{
    quint32 v = 0;
    for (int b = 3; b >= 0; --b)
        v = (v << 8) | quint8(r.at(i + b));
    return v;
}

bool IsHeader(const QByteArray& r)
{
    return r.size() >= 4 && U32Le(r, 0) == 0xFFFFFFFFu;
}
} // namespace

CEmulatedBootloader::CEmulatedBootloader(CEmulatedFrame* pFrame)
    : m_pFrame(pFrame), m_pAlive(std::make_shared<bool>(true))
{
    std::shared_ptr<bool> pAlive = m_pAlive;
    CEmulatedBootloader* pThis = this;
    m_pFrame->AddHandler(
        kMcuQuery, 0x00,
        [pAlive, pThis](CEmulatedFrame& frame, const QByteArray&, QList<CEmulatedFrame::Action>* pActions) {
            return *pAlive && pThis->OnMcuQuery(frame, pActions);
        },
        kBootOut);
    // Every other report is a record of the image, whatever its command
    // byte: an image of other commands than the expected one is refused
    // record by record. The boot information stays with the frame's model.
    m_pFrame->AddFallbackHandler(
        [pAlive, pThis](CEmulatedFrame& frame, const QByteArray& request, QList<CEmulatedFrame::Action>* pActions) {
            if (!*pAlive)
                return false;
            const quint8 nCmd = CEmulatedFrame::Byte(request, 1);
            const quint8 nSub = CEmulatedFrame::Byte(request, 2);
            if ((nCmd == kBootInfo || nCmd == kMcuQuery) && nSub == 0x00)
                return false;
            return pThis->OnRecord(frame, request, pActions);
        },
        kBootOut);
}

CEmulatedBootloader::~CEmulatedBootloader()
{
    // The frame keeps the handlers; from now on they decline.
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    *m_pAlive = false;
}

void CEmulatedBootloader::ExpectImage(const QByteArray& image, quint8 nMcuType)
{
    QList<QByteArray> expected;
    qint64 nPos = 0;
    // Every record moves on; a header moves to its part. A bound keeps a
    // hostile image (part offsets looping back) from running for ever.
    for (int nGuard = 0; nPos < image.size() && nGuard < (1 << 20); ++nGuard) {
        QByteArray record = image.mid(int(nPos), kRecordSize);
        nPos += record.size();
        if (IsHeader(record) && record.size() == kRecordSize) {
            const quint32 nTypeA = U32Le(record, 8);
            const quint32 nTypeB = U32Le(record, 16);
            if (nMcuType == nTypeA)
                nPos = U32Le(record, 12);
            else if (nMcuType == nTypeB)
                nPos = U32Le(record, 20);
            record = image.mid(int(nPos), kRecordSize);
            nPos += record.size();
            if (record.isEmpty())
                break;
        }
        expected.append(CEmulatedFrame::Pad64(record));
    }

    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    m_expected = expected;
    m_received.clear();
    m_problems.clear();
    m_nSendings = 0;
    m_nMcuQueries = 0;
    m_bComplete = false;
    m_pFrame->StateRef().boot.nMcuType = nMcuType;
}

QList<QByteArray> CEmulatedBootloader::ExpectedRecords() const
{
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    return m_expected;
}

void CEmulatedBootloader::FailAtRecord(int nRecord, Failure eFailure, int nTimes)
{
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    m_fails[nRecord] = Fail{eFailure, nTimes};
}

void CEmulatedBootloader::SetMcuAnswer(McuAnswer eAnswer, int nReportsBefore)
{
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    m_eMcuAnswer = eAnswer;
    m_nMcuReportsBefore = nReportsBefore;
}

void CEmulatedBootloader::SetNewFirmware(quint16 nVersion, quint16 nAppChecksum, quint16 nAppVersion)
{
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    m_nNewVersion = nVersion;
    m_nNewChecksum = nAppChecksum;
    m_nNewAppVersion = nAppVersion;
}

void CEmulatedBootloader::SetReturnsToApplication(bool bReturns)
{
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    m_bReturns = bReturns;
}

void CEmulatedBootloader::SetAnswersComplete(bool bAnswers)
{
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    m_bAnswersComplete = bAnswers;
}

void CEmulatedBootloader::SetRecordAnswerDelay(int nDelayMs)
{
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    m_nRecordDelayMs = qMax(0, nDelayMs);
}

void CEmulatedBootloader::SetTakesEveryDownload(bool bEvery)
{
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    m_bTakesEvery = bEvery;
    if (m_bRearmRegistered)
        return;
    m_bRearmRegistered = true;
    // Both handlers only look: the frame's own model answers the jump and
    // the boot information.
    std::shared_ptr<bool> pAlive = m_pAlive;
    CEmulatedBootloader* pThis = this;
    const CEmulatedFrame::Handler rearm = [pAlive, pThis](CEmulatedFrame& frame, const QByteArray&,
                                                          QList<CEmulatedFrame::Action>*) {
        if (*pAlive && pThis->m_bTakesEvery)
            pThis->Rearm(frame);
        return false;
    };
    m_pFrame->AddHandler(0xAA, 0x04, rearm);
    m_pFrame->AddHandler(0x03, 0x00, rearm, kBootOut);
}

void CEmulatedBootloader::Rearm(CEmulatedFrame& frame)
{
    m_received.clear();
    m_bComplete = false;
    CEmulatedFrame::State& s = frame.StateRef();
    s.boot.records.clear();
    s.boot.nRecords = 0;
}

QList<QByteArray> CEmulatedBootloader::Received() const
{
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    return m_received;
}

int CEmulatedBootloader::Sendings() const
{
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    return m_nSendings;
}

int CEmulatedBootloader::McuQueries() const
{
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    return m_nMcuQueries;
}

bool CEmulatedBootloader::IsComplete() const
{
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    return m_bComplete;
}

QStringList CEmulatedBootloader::Problems() const
{
    std::lock_guard<std::recursive_mutex> lock(m_pFrame->Mutex());
    return m_problems;
}

void CEmulatedBootloader::Reply(CEmulatedFrame& frame, QList<CEmulatedFrame::Action>* pActions,
                                const QByteArray& report) const
{
    Reply(frame, pActions, 0, report);
}

void CEmulatedBootloader::Reply(CEmulatedFrame& frame, QList<CEmulatedFrame::Action>* pActions, int nDelayMs,
                                const QByteArray& report) const
{
    Q_UNUSED(frame);
    CEmulatedFrame::Action a;
    a.kind = CEmulatedFrame::Action::Reply;
    a.report = CEmulatedFrame::Pad64(report);
    a.delayMs = nDelayMs;
    pActions->append(a);
}

bool CEmulatedBootloader::OnMcuQuery(CEmulatedFrame& frame, QList<CEmulatedFrame::Action>* pActions)
{
    ++m_nMcuQueries;
    // Reports that answer nothing may come first.
    for (int i = 0; i < m_nMcuReportsBefore; ++i)
        Reply(frame, pActions, frame.DataReply(0x10, quint8(i)));
    switch (m_eMcuAnswer) {
    case McuAnswer::Type:
        Reply(frame, pActions, frame.DataReply(0x27, frame.StateRef().boot.nMcuType));
        break;
    case McuAnswer::Unknown:
        Reply(frame, pActions, frame.DataReply(0x02, 0x07));
        break;
    case McuAnswer::Silent:
        break;
    }
    return true;
}

bool CEmulatedBootloader::OnRecord(CEmulatedFrame& frame, const QByteArray& request,
                                   QList<CEmulatedFrame::Action>* pActions)
{
    if (m_expected.isEmpty())
        return false;  // no image expected: the frame's own model takes it
    ++m_nSendings;
    const int nNumber = m_received.size() + 1;
    auto it = m_fails.find(nNumber);
    if (it != m_fails.end() && it->nLeft > 0) {
        --it->nLeft;
        switch (it->eFailure) {
        case Failure::None:
            break;
        case Failure::PacketError:
            Reply(frame, pActions, m_nRecordDelayMs, frame.DataReply(0x02, 0x02));
            return true;
        case Failure::Nack:
            Reply(frame, pActions, m_nRecordDelayMs, frame.DataReply(0x02, 0x03));
            return true;
        case Failure::Silence:
            return true;
        case Failure::Unplug: {
            CEmulatedFrame::Action a;
            a.kind = CEmulatedFrame::Action::Unplug;
            pActions->append(a);
            return true;
        }
        }
    }
    if (m_bComplete || nNumber > m_expected.size() || request != m_expected.at(nNumber - 1)) {
        m_problems << QStringLiteral("record %1 is not the expected one: %2")
                          .arg(nNumber)
                          .arg(QString::fromLatin1(request.left(8).toHex(' ')));
        Reply(frame, pActions, m_nRecordDelayMs, frame.DataReply(0x02, 0x02));
        return true;
    }
    m_received.append(request);
    CEmulatedFrame::State& s = frame.StateRef();
    CEmulatedFrame::KeepRecent(s.boot.records, request, CEmulatedFrame::MAX_KEPT_BOOT_RECORDS);
    s.boot.nRecords = m_received.size();
    if (m_received.size() < m_expected.size()) {
        Reply(frame, pActions, m_nRecordDelayMs, frame.DataReply(0x04, 0x00));
        return true;
    }

    // The image is complete: the new firmware runs after the restart.
    m_bComplete = true;
    if (!m_bAnswersComplete) {
        Reply(frame, pActions, m_nRecordDelayMs, frame.DataReply(0x04, 0x00));
        return true;
    }
    Reply(frame, pActions, m_nRecordDelayMs, frame.DataReply(0x05, 0x00));
    if (m_nNewVersion)
        s.id.nVersion = m_nNewVersion;
    if (m_nNewChecksum) {
        s.info.first.nAppChecksum = m_nNewChecksum;
        s.info.nShortChecksum = m_nNewChecksum;
    }
    if (m_nNewAppVersion) {
        s.info.first.nAppVersion = m_nNewAppVersion;
        s.info.nShortVersion = m_nNewAppVersion;
    }
    if (m_bReturns) {
        CEmulatedFrame::Action a;
        a.kind = CEmulatedFrame::Action::Replug;
        a.mode = CEmulatedFrame::Mode::Application;
        a.delayMs = m_nRecordDelayMs + s.boot.nReturnDelayMs;
        a.backAfterMs = s.boot.nAppArrivalMs;
        pActions->append(a);
    }
    return true;
}
