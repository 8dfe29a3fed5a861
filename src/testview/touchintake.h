#pragma once

#include "touchdata.h"
#include "touchpoint.h"

#include <cstdint>

// Turns the raw reports of a frame into the contacts to inject and the
// frame's own touch-test verdict.
//
// Report 0x02 carries contact records from byte 1 and the frame's contact
// count in its last byte: 10-byte records (status, id, x, y, width, height,
// little-endian words) in a report of 62 bytes, 6-byte records (status, id,
// x, y) in a report of any other length. A non-zero count starts a new frame
// of up to 32 contacts, 0 continues the current one; a frame can be spread
// over several reports. Status 7 is a move; status 4 puts a contact down, or
// lifts it when it is down already; any other status ends the frame there.
// Every report that leaves the frame complete hands it over (again, when
// the report brought nothing new).
//
// Report 0xFB FC 01 00 01 is the frame's touch-test verdict: byte 6 is 1
// for a failed test.
//
// No byte at or past the report's length is read (beyond its id): a length
// above 64 counts as 64. Not thread-safe: the owner feeds it under one lock.
class CTouchIntake
{
public:
    static constexpr int kMaxPoints = 32;
    static constexpr int kIdCount = 256;
    static constexpr uint8_t kTouchReportId = 0x02;
    static constexpr uint8_t kRawReportId = 0xFB;
    static constexpr uint32_t kWideReportLength = 62;
    static constexpr int kWideRecord = 10;
    static constexpr int kNarrowRecord = 6;

    // Point states handed to the injector.
    enum EState { StateNone = 0, StateDown = 1, StateMove = 2, StateUp = 3 };
    enum class EVerdict { None, Pass, Fail };

    struct SOutput
    {
        // A complete frame: pPoints[0 .. nCount) are to be injected.
        bool bInject = false;
        const TouchPoint* pPoints = nullptr;
        int nCount = 0;
        EVerdict eVerdict = EVerdict::None;
    };

    CTouchIntake();

    // One report in. The points stay valid until the next call.
    SOutput Feed(const TouchData& data);

    // Forgets the frame in progress and the state of every contact id (a new
    // frame on the bus starts with every contact up).
    void Reset();

    // State of the contact id after the last report it appeared in (0 at
    // first), and the frame in progress.
    int LastState(int nId) const { return m_lastState[nId & 0xFF]; }
    int PointCount() const { return m_nPointCount; }
    int NextIndex() const { return m_nNextIndex; }

private:
    void TakeRecords(const uint8_t* pReport, int nLength);

    TouchPoint m_points[kMaxPoints];
    int m_nNextIndex = 0;
    int m_nPointCount = 0;
    uint8_t m_lastState[kIdCount];
};
