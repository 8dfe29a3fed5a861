#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

class CTouchBase;

// Sane bounds on what a test log may carry. A frame has at most a few thousand
// LEDs per axis and a recording a few thousand frames; a log beyond these
// bounds is corrupt or hand-made and is refused before it can exhaust memory
// or stall the replay.
//
// The result table (a row per failing LED), the histograms (a chart per
// direction, a bar per LED), the signal curves (a curve per direction) and
// the panel diagram (an item per board, sensor, connector and light path) of
// a log are built on the GUI thread, so the bounds on what they show keep the
// largest log they admit shown within half a second: each stays at least
// four times what a large frame needs (two axes, three directions an axis,
// 600 + 340 LEDs: 2,820 LEDs and light paths a frame, 1,880 sensors, 24
// boards and 23 connectors), well short of where the GUI would stall for
// seconds.
class CTestLogLimits
{
public:
    static constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024;
    // maxSignal, signalStart, divide entries and values per recorded frame:
    // as many as the axis of a frame can report (4096).
    static constexpr uint32_t kMaxLeds = 4096;
    static constexpr uint32_t kMaxValueCeiling = 0xFFFFFF;
    static constexpr uint32_t kMaxFrameNumber = 1000000;
    static constexpr int32_t kMaxTestTimes = 10000;
    // Axes and directions of the test section as read (a name read twice is
    // one axis or direction): every direction costs a chart and a curve,
    // whether or not its axis has LEDs.
    static constexpr int kMaxTestAxes = 8;
    static constexpr int kMaxTestDirs = 24;
    // LEDs judged per frame over all axes and directions (maxSignal times the
    // number of directions, summed), and that times TEST_TIMES_FOR_UNT: the
    // work of one replayed run. A recorded frame holds at most its axis's
    // maxSignal values (one per LED, as the station writes it), so this
    // bounds the bars and points a frame shows too.
    static constexpr qint64 kMaxLedsPerFrame = 12288;
    static constexpr qint64 kMaxRunWork = 50000000;
    // Totals over the whole document, counted on the elements before they are
    // read ("axis" names the sides of the hardware section too).
    static constexpr int kMaxAxes = 256;
    static constexpr int kMaxDirs = 4096;
    static constexpr int kMaxKinds = 16384;
    static constexpr int kMaxFrames = 200000;
    static constexpr qint64 kMaxValues = 16 * 1024 * 1024;
    static constexpr int kMaxStandards = 100000;
    static constexpr int kMaxLabels = 1000000;
    static constexpr int kMaxBoards = 128;
    static constexpr int kMaxSensors = 8192;
    static constexpr int kMaxRelations = 12288;
    static constexpr int kMaxConnectors = 128;
    static constexpr int kMaxInfoItems = 10000;
    static constexpr int kMaxDepth = 256;
    // Longest attribute value (divide excepted) and element text (data excepted).
    static constexpr int kMaxAttributeChars = 4096;
    static constexpr int kMaxTextChars = 65536;
    // A value as a log writes it: up to ten digits and its separator. Bounds
    // the text of a recorded frame (everything below its "data" element) and
    // a divide list, by what they can mean.
    static constexpr int kMaxValueChars = 11;
    static constexpr qint64 kMaxDataChars = qint64(kMaxLeds) * kMaxValueChars;
    static constexpr qint64 kMaxDivideChars = qint64(kMaxLeds) * kMaxValueChars;
    // Attributes of one element (the log's own have at most eight): checked
    // on the bytes before any XML parse, whose duplicate check is quadratic.
    static constexpr int kMaxAttributes = 64;
    // The longest tag those bounds admit (every attribute at its longest,
    // the divide list at its own), checked on the bytes too: an attribute
    // far beyond its bound is refused before a parser holds it.
    static constexpr qint64 kMaxTagBytes = kMaxDivideChars + qint64(kMaxAttributes) * (kMaxAttributeChars + 256);
    // Elements of the whole document, counted on the bytes before any XML
    // parse: well above the largest log the other bounds admit.
    static constexpr qint64 kMaxElements = 2000000;

    // One axis in one direction stays within what a frame may judge.
    static_assert(kMaxLeds <= kMaxLedsPerFrame, "an axis's LEDs exceed the LEDs of a frame");
    static_assert(kMaxTestAxes <= kMaxAxes && kMaxTestDirs <= kMaxDirs, "the element counts refuse a sound log");

    // The element bound in force: kMaxElements, or what a test set (a bound
    // only a large file breaks, lowered so that a test can show it); 0 restores it.
    static qint64 MaxElements();
    static void SetMaxElementsForTests(qint64 nMax);

    // The scan of the raw bytes that runs before any XML parse: attributes
    // per element and the number of elements. Returns false with the reason
    // when a bound is broken.
    static bool ScanBytes(const QByteArray &data, QString *pstrReason);

    // Scans the raw document before it is read (ScanBytes first): element
    // counts, values per recorded frame, text and attribute lengths. A document that is not
    // well-formed is left to the reader, which reports it. Returns false with
    // the reason when a bound is broken.
    static bool ScanDocument(const QByteArray &data, QString *pstrReason);

    // Checks what was read into the test core: axes and directions, LED
    // counts, zones, recorded values, frame numbers, windows, zone ends,
    // weak-signal limits, side IDs and relation sensor numbers that are no
    // number, frame numbers, frame lengths (at most the axis's maxSignal),
    // TEST_TIMES_FOR_UNT and the work of a replayed run. Returns false with
    // the reason when a bound is broken.
    static bool CheckModel(CTouchBase &touch, QString *pstrReason);
};
