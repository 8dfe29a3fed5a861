// Feeds arbitrary raw reports, with arbitrary device-given lengths, to the
// touch intake and checks what must hold whatever a frame sends:
//  - a frame handed out has 0 to 32 points, each with an id 0..255, a state
//    1, 2 or 3, positions and sizes 0..65535, and no pressure;
//  - the frame in progress never counts past 32 points;
//  - nothing at or past a report's length (beyond its id) changes the
//    outcome: a second intake fed the same reports with other bytes there
//    hands out the same frames and verdicts.
// Input: records of one length byte (254 resets both intakes, 255 stands for
// 0xFFFFFFFF, anything else is the length itself) and up to 64 report bytes.

#include "touchintake.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void CheckPoints(const CTouchIntake::SOutput &out)
{
    if (!out.bInject)
        return;
    Check(out.nCount >= 0 && out.nCount <= CTouchIntake::kMaxPoints);
    Check(out.nCount == 0 || out.pPoints != nullptr);
    for (int i = 0; i < out.nCount; ++i) {
        const TouchPoint &p = out.pPoints[i];
        Check(p.id >= 0 && p.id <= 255);
        Check(p.state >= CTouchIntake::StateDown && p.state <= CTouchIntake::StateUp);
        Check(p.x >= 0 && p.x <= 0xFFFF && p.y >= 0 && p.y <= 0xFFFF);
        Check(p.width >= 0 && p.width <= 0xFFFF && p.height >= 0 && p.height <= 0xFFFF);
        Check(p.pressure == 0 && p.reserved == 0);
    }
}

bool SameOutput(const CTouchIntake::SOutput &a, const CTouchIntake::SOutput &b)
{
    if (a.bInject != b.bInject || a.eVerdict != b.eVerdict || a.nCount != b.nCount)
        return false;
    return !a.bInject || a.nCount == 0 || std::memcmp(a.pPoints, b.pPoints, sizeof(TouchPoint) * size_t(a.nCount)) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    CTouchIntake clean;
    CTouchIntake dirty;
    size_t at = 0;
    unsigned nRound = 0;
    while (at < size) {
        const uint8_t nSelector = data[at++];
        if (nSelector == 254) {
            clean.Reset();
            dirty.Reset();
            continue;
        }
        TouchData a;
        std::memset(&a, 0, sizeof(a));
        a.length = nSelector == 255 ? 0xFFFFFFFFu : nSelector;
        const size_t nTake = size - at < sizeof(a.report) ? size - at : sizeof(a.report);
        std::memcpy(a.report, data + at, nTake);
        at += nTake;

        // The same report with other bytes past its length.
        TouchData b = a;
        const uint32_t nLength = a.length < sizeof(a.report) ? a.length : uint32_t(sizeof(a.report));
        for (uint32_t i = nLength > 0 ? nLength : 1; i < sizeof(b.report); ++i)
            b.report[i] = uint8_t(0x5A ^ (i * 31) ^ nRound);
        ++nRound;

        const CTouchIntake::SOutput outA = clean.Feed(a);
        const CTouchIntake::SOutput outB = dirty.Feed(b);
        CheckPoints(outA);
        Check(SameOutput(outA, outB));
        Check(clean.PointCount() >= 0 && clean.PointCount() <= CTouchIntake::kMaxPoints);
        Check(clean.NextIndex() >= 0 && clean.NextIndex() <= clean.PointCount());
    }
    return 0;
}
