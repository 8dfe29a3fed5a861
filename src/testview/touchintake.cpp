#include "touchintake.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr uint32_t kReportSize = sizeof(TouchData::report);
constexpr uint8_t kStatusContact = 4; // down, or up when down already
constexpr uint8_t kStatusMove = 7;
// Bytes 1..4 of the verdict report; byte 6 carries the verdict.
constexpr uint8_t kVerdictHead[] = {0xFC, 0x01, 0x00, 0x01};
constexpr int kVerdictByte = 6;

int32_t Word(const uint8_t* p)
{
    return int32_t(p[0]) | (int32_t(p[1]) << 8);
}
} // namespace

CTouchIntake::CTouchIntake()
{
    Reset();
}

void CTouchIntake::Reset()
{
    std::memset(m_points, 0, sizeof(m_points));
    std::memset(m_lastState, 0, sizeof(m_lastState));
    m_nNextIndex = 0;
    m_nPointCount = 0;
}

CTouchIntake::SOutput CTouchIntake::Feed(const TouchData& data)
{
    SOutput out;
    // The length comes from the device: never past the report.
    const int nLength = int(std::min<uint32_t>(data.length, kReportSize));
    const uint8_t* pReport = data.report;

    if (pReport[0] == kTouchReportId) {
        // The count byte follows at least the report id: a report of one byte
        // (or none) has no count and continues the frame.
        const int nCount = nLength >= 2 ? pReport[nLength - 1] : 0;
        if (nCount != 0) {
            m_nPointCount = std::min(nCount, kMaxPoints);
            m_nNextIndex = 0;
        }
        TakeRecords(pReport, nLength);
        if (m_nNextIndex >= m_nPointCount) {
            out.bInject = true;
            out.pPoints = m_points;
            out.nCount = m_nPointCount;
        }
        return out;
    }

    if (pReport[0] == kRawReportId && nLength > kVerdictByte
        && std::memcmp(pReport + 1, kVerdictHead, sizeof(kVerdictHead)) == 0)
        out.eVerdict = pReport[kVerdictByte] != 1 ? EVerdict::Pass : EVerdict::Fail;
    return out;
}

void CTouchIntake::TakeRecords(const uint8_t* pReport, int nLength)
{
    const int nRecord = uint32_t(nLength) == kWideReportLength ? kWideRecord : kNarrowRecord;
    // Records end before the count byte.
    for (int nAt = 1; m_nNextIndex < m_nPointCount && nAt + nRecord <= nLength - 1; nAt += nRecord) {
        const uint8_t* pRecord = pReport + nAt;
        const uint8_t nId = pRecord[1];
        int nState;
        if (pRecord[0] == kStatusMove) {
            nState = StateMove;
        } else if (pRecord[0] == kStatusContact) {
            const int nLast = m_lastState[nId];
            nState = nLast == StateDown || nLast == StateMove ? StateUp : StateDown;
        } else {
            // Any other status ends the frame here.
            m_nPointCount = m_nNextIndex;
            return;
        }
        TouchPoint& point = m_points[m_nNextIndex];
        std::memset(&point, 0, sizeof(point));
        point.id = nId;
        point.state = nState;
        point.x = Word(pRecord + 2);
        point.y = Word(pRecord + 4);
        if (nRecord == kWideRecord) {
            point.width = Word(pRecord + 6);
            point.height = Word(pRecord + 8);
        }
        m_lastState[nId] = uint8_t(nState);
        ++m_nNextIndex;
    }
}
