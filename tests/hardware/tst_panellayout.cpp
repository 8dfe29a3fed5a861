// Panel geometry and panel layout as pure code: board lists from a parameter
// block, from the LED-count and layout replies and from the board sizes of the
// older versions; the boards, sensors and connectors built from them.

#include "hardwareinfo.h"
#include "panelgeometry.h"
#include "panellayout.h"
#include "testenvironment.h"

#include <QtTest>
#include <cmath>
#include <cstring>

using IntList = QList<int>;

namespace {

void PutS16(QByteArray *p, int i, int v)
{
    (*p)[i] = char(v & 0xFF);
    (*p)[i + 1] = char((v >> 8) & 0xFF);
}

void PutFloat(QByteArray *p, int i, float f)
{
    quint32 u;
    std::memcpy(&u, &f, 4);
    for (int k = 0; k < 4; ++k)
        (*p)[i + k] = char((u >> (8 * k)) & 0xFF);
}

// A parameter block with the given totals and board fields (bottom, top, left, right).
QByteArray Block(int nX, int nY, const IntList &bottom, const IntList &top, const IntList &left,
                 const IntList &right)
{
    QByteArray b(524, '\0');
    PutS16(&b, 52, nX);
    PutS16(&b, 54, nY);
    const int offs[4] = {492, 508, 516, 500}; // bottom, top, left, right
    const IntList *lists[4] = {&bottom, &top, &left, &right};
    for (int s = 0; s < 4; ++s)
        for (int i = 0; i < lists[s]->size() && i < 8; ++i)
            b[offs[s] + i] = char(quint8(lists[s]->at(i)));
    return b;
}

// LED table of a rectangular frame: pitch p, bottom row at y = -d, top row at
// y = (nY-1)p + d, left column at x = -d, right column at x = (nX-1)p + d.
QVector<float> Table(int nX, int nY, float p, float d)
{
    QVector<float> t;
    const float top = float(qMax(nY - 1, 0)) * p + d;
    const float right = float(qMax(nX - 1, 0)) * p + d;
    for (int i = 0; i < nX; ++i)
        t << float(i) * p << -d;
    for (int i = 0; i < nX; ++i)
        t << float(i) * p << top;
    for (int i = 0; i < nY; ++i)
        t << -d << float(i) * p;
    for (int i = 0; i < nY; ++i)
        t << right << float(i) * p;
    return t;
}

IntList BoardCounts(const CHardwareInfo &info, const QString &side)
{
    IntList counts;
    for (const CPcbInfo &pcb : info.GetAxisMap().value(side))
        counts << pcb.GetLedCount();
    return counts;
}

QStringList BoardIds(const CHardwareInfo &info, const QString &side)
{
    QStringList ids;
    for (const CPcbInfo &pcb : info.GetAxisMap().value(side))
        ids << pcb.GetID();
    return ids;
}

// "key=ID" of every connector, in key order.
QStringList Connectors(const CHardwareInfo &info)
{
    QStringList out;
    const auto &map = info.GetConnectorMap();
    for (auto it = map.constBegin(); it != map.constEnd(); ++it)
        out << it.key() + QLatin1Char('=') + it.value().GetID();
    return out;
}

bool Near(double a, double b, double eps = 1e-4)
{
    return std::fabs(a - b) < eps;
}

} // namespace

class TestPanelLayout : public QObject
{
    Q_OBJECT

private slots:
    void boardSpec_data();
    void boardSpec();
    void paramBlockBoards_data();
    void paramBlockBoards();
    void blockFieldsOfTheSides();
    void ledCounts_data();
    void ledCounts();
    void layoutParams_data();
    void layoutParams();
    void geometryRoadVersion44();
    void ledTableBordersAndMoves();
    void ledTableWidePitch();
    void blockRoadPositions();
    void ledTableRefusesBadValues_data();
    void ledTableRefusesBadValues();
    void frames_data();
    void frames();
    void buildRefusesBoardsShortOfTotal();
    void ledIndexText_data();
    void ledIndexText();
};

// ---------------------------------------------------------------- board lists

void TestPanelLayout::boardSpec_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("nX");
    QTest::addColumn<int>("nY");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<IntList>("xBoards");
    QTest::addColumn<IntList>("yBoards");

    QTest::newRow("0x4400: 100 and 130 LEDs by 64") << 0x4410 << 100 << 130 << true << IntList{64, 36}
                                                   << IntList{64, 64, 2};
    QTest::newRow("0x45A0: boards of 56") << 0x45A0 << 112 << 57 << true << IntList{56, 56} << IntList{56, 1};
    QTest::newRow("0x45D0: boards of 48, no X") << 0x45FF << 0 << 48 << true << IntList{} << IntList{48};
    QTest::newRow("0x4600: boards of 56") << 0x46FF << 56 << 200 << true << IntList{56}
                                         << IntList{56, 56, 56, 32};
    QTest::newRow("20 boards fit a list") << 0x4400 << 1280 << 64 << true << IntList() << IntList{64};
    QTest::newRow("21 boards do not") << 0x4600 << 1121 << 56 << false << IntList() << IntList();
}

void TestPanelLayout::boardSpec()
{
    QFETCH(int, version);
    QFETCH(int, nX);
    QFETCH(int, nY);
    QFETCH(bool, ok);
    QFETCH(IntList, xBoards);
    QFETCH(IntList, yBoards);

    int n = 0;
    double mm1 = 0, mm2 = 0;
    QVERIFY(CPanelGeometry::BoardSpec(version, &n, &mm1, &mm2));
    CPanelGeometry g;
    g.nXTotal = nX;
    g.nYTotal = nY;
    QString err;
    QCOMPARE(g.SplitBoards(n, &err), ok);
    if (!ok) {
        QVERIFY(err.contains(QLatin1String("at most 20")));
        return;
    }
    if (nX != 1280) {
        QCOMPARE(g.lstBoards[CPanelGeometry::SideBottom], xBoards);
        QCOMPARE(g.lstBoards[CPanelGeometry::SideTop], xBoards);
    } else {
        QCOMPARE(g.lstBoards[CPanelGeometry::SideBottom].size(), 20);
    }
    QCOMPARE(g.lstBoards[CPanelGeometry::SideLeft], yBoards);
    QCOMPARE(g.lstBoards[CPanelGeometry::SideRight], yBoards);
    QVERIFY2(g.Check(&err), qPrintable(err));

    // Versions outside the four ranges have no built-in board size.
    QVERIFY(!CPanelGeometry::BoardSpec(0x7200, &n, &mm1, &mm2));
    QVERIFY(!CPanelGeometry::BoardSpec(0x4500, &n, &mm1, &mm2));
    QVERIFY(!CPanelGeometry::BoardSpec(0x4700, &n, &mm1, &mm2));
}

void TestPanelLayout::paramBlockBoards_data()
{
    QTest::addColumn<int>("nX");
    QTest::addColumn<int>("nY");
    QTest::addColumn<IntList>("xField");
    QTest::addColumn<IntList>("yField");
    QTest::addColumn<IntList>("xBoards"); // expected, empty with an error
    QTest::addColumn<IntList>("yBoards");
    QTest::addColumn<QString>("error"); // part of the run-log text; empty: accepted

    QTest::newRow("120 in two boards of 60") << 120 << 64 << IntList{60, 60} << IntList{64} << IntList{60, 60}
                                             << IntList{64} << QString();
    QTest::newRow("partly used last board") << 120 << 100 << IntList{64, 64} << IntList{64, 64} << IntList{64, 64}
                                            << IntList{64, 64} << QString();
    QTest::newRow("counts past the total are not read") << 120 << 10 << IntList{64, 64, 64} << IntList{10, 0, 7}
                                                        << IntList{64, 64} << IntList{10} << QString();
    QTest::newRow("board of zero LEDs") << 120 << 10 << IntList{60, 0, 60} << IntList{10} << IntList()
                                        << IntList() << QStringLiteral("has no LEDs");
    QTest::newRow("all-zero field") << 120 << 10 << IntList{} << IntList{10} << IntList() << IntList()
                                    << QStringLiteral("has no LEDs");
    QTest::newRow("boards short of the total") << 120 << 10 << IntList{50, 50} << IntList{10} << IntList()
                                               << IntList() << QStringLiteral("board 3 of the Bottom side has no LEDs (100 of 120 LEDs placed)");
    QTest::newRow("eight full boards") << 2040 << 8 << IntList{255, 255, 255, 255, 255, 255, 255, 255}
                                       << IntList{8} << IntList{255, 255, 255, 255, 255, 255, 255, 255}
                                       << IntList{8} << QString();
    QTest::newRow("more than eight boards needed") << 2041 << 8 << IntList{255, 255, 255, 255, 255, 255, 255, 255}
                                                   << IntList{8} << IntList() << IntList()
                                                   << QStringLiteral("hold 2040 LEDs, the axis has 2041");
    QTest::newRow("no X axis") << 0 << 40 << IntList{} << IntList{40} << IntList{} << IntList{40} << QString();
    QTest::newRow("negative total") << -1 << 40 << IntList{} << IntList{40} << IntList() << IntList()
                                    << QStringLiteral("outside 0..4096");
    QTest::newRow("total above 4096") << 5000 << 40 << IntList{} << IntList{40} << IntList() << IntList()
                                      << QStringLiteral("outside 0..4096");
}

void TestPanelLayout::paramBlockBoards()
{
    QFETCH(int, nX);
    QFETCH(int, nY);
    QFETCH(IntList, xField);
    QFETCH(IntList, yField);
    QFETCH(IntList, xBoards);
    QFETCH(IntList, yBoards);
    QFETCH(QString, error);

    QByteArray block = Block(nX, nY, xField, xField, yField, yField);
    // Offsets: A = (-s16@80, 0, X - s16@96), B = (-s16@86, 0, Y - s16@102).
    PutS16(&block, 80, 3);
    PutS16(&block, 96, nX - 4);
    PutS16(&block, 86, -1);
    PutS16(&block, 102, nY + 2);
    CPanelGeometry g;
    g.nSideCount[0] = 9; // cleared by the block
    QString err;
    const bool ok = g.ReadParamBlock(block, &err);
    QCOMPARE(ok, error.isEmpty());
    if (!ok) {
        QVERIFY2(err.contains(error), qPrintable(err));
        return;
    }
    QCOMPARE(g.nXTotal, nX);
    QCOMPARE(g.nYTotal, nY);
    QCOMPARE(g.nSideCount[0], 0);
    QCOMPARE(g.lstBoards[CPanelGeometry::SideBottom], xBoards);
    QCOMPARE(g.lstBoards[CPanelGeometry::SideTop], xBoards);
    QCOMPARE(g.lstBoards[CPanelGeometry::SideLeft], yBoards);
    QCOMPARE(g.lstBoards[CPanelGeometry::SideRight], yBoards);
    QCOMPARE(g.Offset(CPanelGeometry::AxisX, 0), -3);
    QCOMPARE(g.Offset(CPanelGeometry::AxisX, 1), 0);
    QCOMPARE(g.Offset(CPanelGeometry::AxisX, 2), 4);
    QCOMPARE(g.Offset(CPanelGeometry::AxisY, 0), 1);
    QCOMPARE(g.Offset(CPanelGeometry::AxisY, 2), -2);
    if (nX + nY > 0)
        QVERIFY2(g.Check(&err), qPrintable(err));
}

// Each side reads its own field of the block, written here byte by byte: the
// lists X emitter (492), X receiver (508), Y emitter (516), Y receiver (500)
// serve the bottom, top, left and right sides in that order.
void TestPanelLayout::blockFieldsOfTheSides()
{
    QByteArray block(524, '\0');
    PutS16(&block, 52, 40);
    PutS16(&block, 54, 40);
    const struct
    {
        int offset;
        IntList counts;
    } fields[4] = {{492, {20, 20}}, {500, {40}}, {508, {30, 10}}, {516, {10, 30}}};
    for (const auto &f : fields)
        for (int i = 0; i < f.counts.size(); ++i)
            block[f.offset + i] = char(f.counts[i]);
    CPanelGeometry g;
    QString err;
    QVERIFY2(g.ReadParamBlock(block, &err), qPrintable(err));
    QCOMPARE(g.lstBoards[CPanelGeometry::SideBottom], (IntList{20, 20}));
    QCOMPARE(g.lstBoards[CPanelGeometry::SideTop], (IntList{30, 10}));
    QCOMPARE(g.lstBoards[CPanelGeometry::SideLeft], (IntList{10, 30}));
    QCOMPARE(g.lstBoards[CPanelGeometry::SideRight], (IntList{40}));

    CPanelLayout layout;
    QVERIFY2(layout.FromLedTable(g, Table(40, 40, 5.0f, 6.6f), &err), qPrintable(err));
    CHardwareInfo info;
    QVERIFY2(layout.Build(g, &info, &err), qPrintable(err));
    QCOMPARE(BoardIds(info, QStringLiteral("Left")), (QStringList{"Y:R1", "Y:R2"}));
    QCOMPARE(BoardCounts(info, QStringLiteral("Left")), (IntList{10, 30}));
    QCOMPARE(BoardIds(info, QStringLiteral("Right")), (QStringList{"Y:T1"}));
    QCOMPARE(Connectors(info), (QStringList{"Bottom:0-Bottom:1=X:T1-X:T2", "Bottom:0-Left:0=X:T1-Y:R1",
                                            "Bottom:1-Right:0=X:T2-Y:T1", "Left:0-Left:1=Y:R1-Y:R2",
                                            "Left:1-Top:0=Y:R2-X:R1", "Top:0-Top:1=X:R1-X:R2"}));
}

void TestPanelLayout::ledCounts_data()
{
    QTest::addColumn<int>("xMain");
    QTest::addColumn<int>("yMain");
    QTest::addColumn<IntList>("sides");
    QTest::addColumn<int>("g");
    QTest::addColumn<int>("h");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<IntList>("rangeA");
    QTest::addColumn<IntList>("rangeB");
    QTest::addColumn<IntList>("signal"); // start X, count X, start Y, count Y

    QTest::newRow("96 x 72, g 4, h 3") << 96 << 72 << IntList{0, 0, 0, 0} << 4 << 3 << true
                                       << IntList{-18, 0, 18} << IntList{-32, 0, 32} << IntList{0, 96, 0, 72};
    QTest::newRow("integer division truncates") << 100 << 70 << IntList{0, 0, 0, 0} << 3 << 7 << true
                                                << IntList{-23, 0, 23} << IntList{-14, 0, 14}
                                                << IntList{0, 100, 0, 70};
    QTest::newRow("zero divisors") << 96 << 72 << IntList{0, 0, 0, 0} << 0 << 0 << true << IntList{0, 0, 0}
                                   << IntList{0, 0, 0} << IntList{0, 96, 0, 72};
    QTest::newRow("no Y: A from g + 256 h") << 96 << 0 << IntList{0, 0, 0, 0} << 5 << 1 << true
                                            << IntList{-261, 0, 261} << IntList{7, 7, 7} << IntList{0, 96, 0, 0};
    QTest::newRow("no X: B from g + 256 h") << 0 << 72 << IntList{0, 0, 0, 0} << 4 << 0 << true
                                            << IntList{7, 7, 7} << IntList{-4, 0, 4} << IntList{0, 0, 0, 72};
    QTest::newRow("no LEDs: ranges untouched") << 0 << 0 << IntList{0, 0, 0, 0} << 4 << 4 << true
                                               << IntList{7, 7, 7} << IntList{7, 7, 7} << IntList{0, 0, 0, 0};
    // Sides 1 and 2 belong to X, sides 3 and 4 to Y; 1 and 3 lie in front.
    QTest::newRow("side counts") << 90 << 60 << IntList{2, 4, 1, 3} << 0 << 0 << true << IntList{0, 0, 0}
                                 << IntList{0, 0, 0} << IntList{2, 90, 1, 60};
    QTest::newRow("totals above 4096") << 65535 << 10 << IntList{0, 0, 0, 0} << 1 << 1 << false << IntList()
                                       << IntList() << IntList();
}

void TestPanelLayout::ledCounts()
{
    QFETCH(int, xMain);
    QFETCH(int, yMain);
    QFETCH(IntList, sides);
    QFETCH(int, g);
    QFETCH(int, h);
    QFETCH(bool, ok);
    QFETCH(IntList, rangeA);
    QFETCH(IntList, rangeB);
    QFETCH(IntList, signal);

    quint8 r[64] = {0xFC, 0xA5, 0x80};
    r[6] = quint8(xMain);
    r[7] = quint8(xMain >> 8);
    r[8] = quint8(yMain);
    r[9] = quint8(yMain >> 8);
    for (int i = 0; i < 4; ++i) {
        r[54 + 2 * i] = quint8(sides[i]);
        r[55 + 2 * i] = quint8(sides[i] >> 8);
    }
    r[62] = quint8(g);
    r[63] = quint8(h);
    CPanelGeometry geo;
    for (int i = 0; i < 3; ++i)
        geo.nRangeA[i] = geo.nRangeB[i] = 7;
    QString err;
    QCOMPARE(geo.ReadLedCounts(r, &err), ok);
    if (!ok) {
        QCOMPARE(geo.nXTotal, 0);
        return;
    }
    QCOMPARE((IntList{geo.nRangeA[0], geo.nRangeA[1], geo.nRangeA[2]}), rangeA);
    QCOMPARE((IntList{geo.nRangeB[0], geo.nRangeB[1], geo.nRangeB[2]}), rangeB);
    QCOMPARE(geo.nXTotal, xMain + sides[0] + sides[1]);
    QCOMPARE(geo.nYTotal, yMain + sides[2] + sides[3]);
    QCOMPARE(geo.SignalStart(CPanelGeometry::AxisX), signal[0]);
    QCOMPARE(geo.MaxSignal(CPanelGeometry::AxisX), signal[1]);
    QCOMPARE(geo.SignalStart(CPanelGeometry::AxisY), signal[2]);
    QCOMPARE(geo.MaxSignal(CPanelGeometry::AxisY), signal[3]);
}

void TestPanelLayout::layoutParams_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QList<float>>("floats"); // f1..f4
    QTest::addColumn<bool>("known");
    QTest::addColumn<IntList>("ranges"); // A low, A high, B low, B high

    using F = QList<float>;
    const float nan = std::nanf("");
    // X total 96, Y total 72; ranges start at A (-1, 0, 1), B (-2, 0, 2).
    QTest::newRow("0x18 layout") << 0x18 << F{-4.0f, 4.0f, -8.0f, 6.0f} << true << IntList{-18, 18, -12, 16};
    QTest::newRow("0x28 layout") << 0x28 << F{-3.5f, 7.0f, -5.0f, 5.0f} << true << IntList{-20, 10, -19, 19};
    QTest::newRow("zero keeps the value") << 0x18 << F{0.0f, -0.0f, 8.0f, 0.0f} << true << IntList{-1, 1, 12, 2};
    QTest::newRow("NaN and infinity keep it") << 0x28 << F{nan, INFINITY, -INFINITY, 4.0f} << true
                                              << IntList{-1, 1, -2, 24};
    QTest::newRow("tiny divisor is bounded") << 0x18 << F{1e-30f, 4.0f, -8.0f, 6.0f} << true
                                             << IntList{32767, 18, -12, 16};
    QTest::newRow("other layout byte") << 0x20 << F{-4.0f, 4.0f, -8.0f, 6.0f} << false << IntList{-1, 1, -2, 2};
}

void TestPanelLayout::layoutParams()
{
    QFETCH(int, length);
    QFETCH(QList<float>, floats);
    QFETCH(bool, known);
    QFETCH(IntList, ranges);

    QByteArray r(64, '\0');
    r[1] = char(0xA5);
    r[2] = char(0x87);
    r[3] = char(length);
    const int off18[4] = {5, 13, 17, 25};
    const int off28[4] = {5, 21, 25, 41};
    for (int i = 0; i < 4; ++i)
        PutFloat(&r, length == 0x28 ? off28[i] : off18[i], floats[i]);
    CPanelGeometry g;
    g.nXTotal = 96;
    g.nYTotal = 72;
    g.nRangeA[0] = -1;
    g.nRangeA[2] = 1;
    g.nRangeB[0] = -2;
    g.nRangeB[2] = 2;
    QCOMPARE(g.ReadLayoutParams(reinterpret_cast<const quint8 *>(r.constData())), known);
    QCOMPARE((IntList{g.nRangeA[0], g.nRangeA[2], g.nRangeB[0], g.nRangeB[2]}), ranges);
}

// ---------------------------------------------------------------- layout

// The frame of the version table's first row with 10 X and 8 Y LEDs, worked
// out by hand: pitch 6.35 is above 5.2, so LED size 5.2, half pitch 2.6, low
// line -4.6, depth 11.28 raised to the version's 19.15;
// yEnd = 7 * 6.35 + 2.6 + 2 = 49.05, xEnd = 9 * 6.35 + 4.6 = 61.75.
void TestPanelLayout::geometryRoadVersion44()
{
    CPanelGeometry g;
    g.nXTotal = 10;
    g.nYTotal = 8;
    int n;
    double mm1, mm2;
    QVERIFY(CPanelGeometry::BoardSpec(0x4420, &n, &mm1, &mm2));
    QVERIFY(g.SplitBoards(n, nullptr));
    CPanelLayout layout;
    layout.FromBoardSpec(g, mm1, mm2);
    QVERIFY(Near(layout.dLedSize, 5.2));
    QVERIFY(Near(layout.dBoardWidth, 19.15));
    QVERIFY(Near(layout.dBottom, -4.6));
    QVERIFY(Near(layout.dTop, 49.05));
    QVERIFY(Near(layout.dLeft, -4.6));
    QVERIFY(Near(layout.dRight, 61.75));
    QCOMPARE(layout.vecPoints.size(), 36);
    QVERIFY(Near(layout.vecPoints[0].y(), -9.2));
    QVERIFY(Near(layout.vecPoints[10].y(), 53.65));
    QVERIFY(Near(layout.vecPoints[9].x(), 57.15));
    QVERIFY(Near(layout.vecPoints[20].x(), -9.2));
    QVERIFY(Near(layout.vecPoints[28].x(), 66.35));
    QVERIFY(Near(layout.vecPoints[35].y(), 44.45));

    CHardwareInfo info;
    QString err;
    QVERIFY2(layout.Build(g, &info, &err), qPrintable(err));

    // Open area as the description stores it: (x0, y1, y0, x1) given as
    // (width, height, x, y).
    const QRectF area = info.GetOpenArea();
    QVERIFY(Near(area.width(), -4.6));
    QVERIFY(Near(area.height(), 49.05));
    QVERIFY(Near(area.x(), -4.6));
    QVERIFY(Near(area.y(), 61.75));

    QCOMPARE(info.GetAxisIdMap().value(0), QStringLiteral("Bottom"));
    QCOMPARE(info.GetAxisIdMap().value(1), QStringLiteral("Top"));
    QCOMPARE(info.GetAxisIdMap().value(2), QStringLiteral("Left"));
    QCOMPARE(info.GetAxisIdMap().value(3), QStringLiteral("Right"));

    // One board per side spanning the whole edge; board centres w/2 outside it.
    struct Expect
    {
        const char *side;
        const char *id;
        double x, y, length, angle;
        int kind;
        double sx, sy; // first sensor, relative to the board, in the board's frame
    };
    const Expect expect[4] = {
        {"Bottom", "X:T1", 28.575, -14.175, 66.35, 0, 2, -28.575, 4.975},
        {"Top", "X:R1", 28.575, 58.625, 66.35, 180, 3, 28.575, 4.975},
        {"Left", "Y:R1", -14.175, 22.225, 53.65, 270, 3, 22.225, 4.975},
        {"Right", "Y:T1", 71.325, 22.225, 53.65, 90, 2, -22.225, 4.975},
    };
    for (const Expect &e : expect) {
        const auto boards = info.GetAxisMap().value(QLatin1String(e.side));
        QCOMPARE(boards.size(), 1);
        const CPcbInfo &pcb = boards[0];
        QCOMPARE(pcb.GetID(), QLatin1String(e.id));
        QVERIFY2(Near(pcb.GetPos().x(), e.x) && Near(pcb.GetPos().y(), e.y), e.side);
        QVERIFY2(Near(pcb.GetLength(), e.length), e.side);
        QVERIFY(Near(pcb.GetWidth(), 19.15));
        QVERIFY(Near(pcb.GetHeight(), 1.5));
        QCOMPARE(pcb.GetAngle(), e.angle);
        QCOMPARE(pcb.GetPlacementName(), QStringLiteral("Lying"));
        const CSensorInfo &s = pcb.GetLeds().first();
        QCOMPARE(s.GetID(), QStringLiteral(" 1"));
        QCOMPARE(s.GetType(), e.kind);
        QVERIFY2(Near(s.GetPos().x(), e.sx) && Near(s.GetPos().y(), e.sy),
                 qPrintable(QStringLiteral("%1: %2").arg(QLatin1String(e.side), s.GetPosText())));
        QVERIFY(Near(s.GetWidth(), 5.2));
        QVERIFY(Near(s.GetLength(), 7.28));
        QVERIFY(Near(s.GetHeight(), 4.16));
        QVERIFY(Near(s.GetVCenter(), 2.6));
        // Exact rotations: no "-0.000000" residue.
        for (const CSensorInfo &sensor : pcb.GetLeds())
            QVERIFY2(!sensor.GetPosText().contains(QLatin1String("-0.000000")), qPrintable(sensor.GetPosText()));
    }

    // Corners: no side connector, three corner links.
    QCOMPARE(Connectors(info), (QStringList{QStringLiteral("Bottom:0-Left:0=X:T1-Y:R1"),
                                            QStringLiteral("Bottom:0-Right:0=X:T1-Y:T1"),
                                            QStringLiteral("Left:0-Top:0=Y:R1-X:R1")}));
    const CConnectorInfo c = info.GetConnectorMap().value(QStringLiteral("Bottom:0-Right:0"));
    QVERIFY(Near(c.GetPos().x(), 71.325) && Near(c.GetPos().y(), -14.175));
    QVERIFY(Near(c.GetWidth(), 19.15) && Near(c.GetLength(), 19.15) && Near(c.GetHeight(), 3.0));
    QCOMPARE(c.GetAngle(), 90.0);
    QCOMPARE(c.GetDipLengthText(), QStringLiteral("0-2-2-0"));
}

// A small LED table worked out by hand (pitch 4, so no widening):
// bottom row (0,-1) (4,-1) (8,-1.5), top row y = 10, left column x = -3 and
// right column x = 11 at y = 0 and 4. c = half pitch + 2 = 4.
// Lines from the other axis: bottom 0 - 4 = -4, top 4 + 4 = 8, left -4, right 12.
// Inner lines of the rows: bottom -1 + 4 = 3, top 10 - 4 = 6, left -3 + 4 = 1,
// right 11 - 4 = 7; the borders are the outer of each pair and the rows move
// by -7, +2, -5 and +5.
void TestPanelLayout::ledTableBordersAndMoves()
{
    CPanelGeometry g;
    g.nXTotal = 3;
    g.nYTotal = 2;
    const QVector<float> table{0, -1, 4, -1, 8, -1.5f, 0, 10, 4, 10, 8, 10, -3, 0, -3, 4, 11, 0, 11, 4};
    CPanelLayout layout;
    QString err;
    QVERIFY2(layout.FromLedTable(g, table, &err), qPrintable(err));
    QVERIFY(Near(layout.dLedSize, 4.0));
    QVERIFY(Near(layout.dBoardWidth, 16.5)); // 0.5 spread + 9.6 raised to 16.5
    QVERIFY(Near(layout.dBottom, -4));
    QVERIFY(Near(layout.dTop, 8));
    QVERIFY(Near(layout.dLeft, -4));
    QVERIFY(Near(layout.dRight, 12));
    const QVector<QPointF> &p = layout.vecPoints;
    QVERIFY(Near(p[0].y(), -8) && Near(p[2].y(), -8.5) && Near(p[2].x(), 8));
    QVERIFY(Near(p[3].y(), 12));
    QVERIFY(Near(p[6].x(), -8) && Near(p[6].y(), 0));
    QVERIFY(Near(p[8].x(), 16) && Near(p[9].y(), 4));
}

// Pitch above 5.2 takes the fixed LED size and depth margin; the spread of a
// row adds to the depth.
void TestPanelLayout::ledTableWidePitch()
{
    CPanelGeometry g;
    g.nXTotal = 4;
    g.nYTotal = 3;
    QVector<float> table = Table(4, 3, 7.0f, 8.0f);
    table[1] = -14.0f; // bottom LED 0 lies 6 mm lower than the rest of its row
    CPanelLayout layout;
    QVERIFY(layout.FromLedTable(g, table, nullptr));
    QVERIFY(Near(layout.dLedSize, 5.2));
    QVERIFY(Near(layout.dBoardWidth, 6.0 + 11.28));
    // c = 2.6 + 2 = 4.6: bottom line min(0, 0) - 4.6, top line 14 + 4.6.
    QVERIFY(Near(layout.dBottom, -4.6));
    QVERIFY(Near(layout.dTop, 18.6));
    QVERIFY(Near(layout.dLeft, -4.6));
    QVERIFY(Near(layout.dRight, 25.6));
    // Every LED lies at least c outside its line.
    for (int i = 0; i < 4; ++i) {
        QVERIFY(layout.vecPoints[i].y() <= layout.dBottom - 4.6 + 1e-6);
        QVERIFY(layout.vecPoints[4 + i].y() >= layout.dTop + 4.6 - 1e-6);
    }
}

// A 128 x 80 frame from its parameter block, worked out by hand: LEDs 5 mm
// apart, X rows at y = -6.6 and 79 * 5 + 6.6 = 401.6, Y rows at x = -6.6 and
// 127 * 5 + 6.6 = 641.6. Pitch 5 is not above 5.2: LED size 5, depth
// 1.4 * 5 + 4 = 11 raised to 16.5, c = 2.5 + 2 = 4.5. Lines from the other
// axis: bottom 0 - 4.5, top 395 + 4.5, left -4.5, right 635 + 4.5; the rows'
// inner lines (-2.1, 397.1, -2.1, 637.1) lie inside, so every row moves
// outward by 2.4 (X rows to y = -9 and 404, Y rows to x = -9 and 644).
// Boards 64 + 64 and 40 + 40 split at the midpoints 317.5 and 197.5; boards
// and connectors sit w/2 = 8.25 outside the open area.
void TestPanelLayout::blockRoadPositions()
{
    CPanelGeometry g;
    QString err;
    QVERIFY(g.ReadParamBlock(Block(128, 80, {64, 64}, {64, 64}, {40, 40}, {40, 40}), &err));
    CPanelLayout layout;
    QVERIFY2(layout.FromLedTable(g, Table(128, 80, 5.0f, 6.6f), &err), qPrintable(err));
    CHardwareInfo info;
    QVERIFY2(layout.Build(g, &info, &err), qPrintable(err));

    const QRectF area = info.GetOpenArea(); // (x0, y1, y0, x1) as (width, height, x, y)
    QVERIFY(Near(area.width(), -4.5) && Near(area.height(), 399.5) && Near(area.x(), -4.5) && Near(area.y(), 639.5));

    const struct
    {
        const char *side;
        int board;
        double x, y, length;
        double sx, sy; // first sensor of the board, in the board's frame
    } boards[] = {
        {"Bottom", 0, 156.5, -12.75, 322.0, -156.5, 3.75},
        {"Top", 1, 478.5, 407.75, 322.0, 158.5, 3.75},
        {"Left", 1, -12.75, 298.5, 202.0, 98.5, 3.75},
        {"Right", 0, 647.75, 96.5, 202.0, -96.5, 3.75},
    };
    for (const auto &b : boards) {
        const CPcbInfo &pcb = info.GetAxisMap().value(QLatin1String(b.side)).at(b.board);
        const QString what = QStringLiteral("%1 %2: %3").arg(QLatin1String(b.side)).arg(b.board).arg(pcb.GetPosText());
        QVERIFY2(Near(pcb.GetPos().x(), b.x) && Near(pcb.GetPos().y(), b.y), qPrintable(what));
        QVERIFY2(Near(pcb.GetLength(), b.length), qPrintable(what));
        QVERIFY(Near(pcb.GetWidth(), 16.5) && Near(pcb.GetHeight(), 1.5));
        const CSensorInfo &sensor = pcb.GetLeds().first();
        QVERIFY2(Near(sensor.GetPos().x(), b.sx) && Near(sensor.GetPos().y(), b.sy), qPrintable(sensor.GetPosText()));
        QVERIFY(Near(sensor.GetWidth(), 5.0) && Near(sensor.GetLength(), 7.0) && Near(sensor.GetHeight(), 4.0));
        QVERIFY(Near(sensor.GetVCenter(), 2.5));
    }

    const struct
    {
        const char *key;
        double x, y, width, length, angle;
        const char *dips;
    } connectors[] = {
        {"Bottom:0-Bottom:1", 317.5, -12.75, 12.375, 6.1875, 0, "2-2-0-0"},
        {"Top:0-Top:1", 317.5, 407.75, 12.375, 6.1875, 180, "2-2-0-0"},
        {"Left:0-Left:1", -12.75, 197.5, 12.375, 6.1875, 270, "2-2-0-0"},
        {"Right:0-Right:1", 647.75, 197.5, 12.375, 6.1875, 90, "2-2-0-0"},
        {"Bottom:0-Left:0", -12.75, -12.75, 16.5, 16.5, 0, "0-2-2-0"},
        {"Bottom:1-Right:0", 647.75, -12.75, 16.5, 16.5, 90, "0-2-2-0"},
        {"Left:1-Top:0", -12.75, 407.75, 16.5, 16.5, 270, "0-2-2-0"},
    };
    QCOMPARE(info.GetConnectorMap().size(), 7);
    for (const auto &c : connectors) {
        QVERIFY2(info.GetConnectorMap().contains(QLatin1String(c.key)), c.key);
        const CConnectorInfo con = info.GetConnectorMap().value(QLatin1String(c.key));
        QVERIFY2(Near(con.GetPos().x(), c.x) && Near(con.GetPos().y(), c.y), qPrintable(con.GetPosText()));
        QVERIFY2(Near(con.GetWidth(), c.width) && Near(con.GetLength(), c.length), c.key);
        QVERIFY(Near(con.GetHeight(), 3.0));
        QCOMPARE(con.GetAngle(), c.angle);
        QCOMPARE(con.GetDipLengthText(), QLatin1String(c.dips));
    }
}

void TestPanelLayout::ledTableRefusesBadValues_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<float>("value");
    QTest::addColumn<int>("size");
    QTest::newRow("NaN") << 5 << std::nanf("") << 20;
    QTest::newRow("infinity") << 0 << float(INFINITY) << 20;
    QTest::newRow("far away") << 3 << 3.0e7f << 20;
    QTest::newRow("table too short") << -1 << 0.0f << 18;
}

void TestPanelLayout::ledTableRefusesBadValues()
{
    QFETCH(int, index);
    QFETCH(float, value);
    QFETCH(int, size);
    CPanelGeometry g;
    g.nXTotal = 3;
    g.nYTotal = 2;
    QVector<float> table = Table(3, 2, 5.0f, 6.0f);
    table.resize(size);
    if (index >= 0)
        table[index] = value;
    CPanelLayout layout;
    QString err;
    QVERIFY(!layout.FromLedTable(g, table, &err));
    QVERIFY(err.startsWith(QLatin1String("LED table:")));
}

// Frames of several sizes and versions, from both roads: the boards, their
// LED counts, the connectors, and what holds for every frame (board lengths
// add up to the side, sensors restart at " 1", LEDs outside the open area).
void TestPanelLayout::frames_data()
{
    QTest::addColumn<int>("version"); // 0: from a parameter block
    QTest::addColumn<int>("nX");
    QTest::addColumn<int>("nY");
    QTest::addColumn<IntList>("bottom");
    QTest::addColumn<IntList>("top");
    QTest::addColumn<IntList>("left");
    QTest::addColumn<IntList>("right");
    QTest::addColumn<QStringList>("connectors");
    QTest::addColumn<IntList>("topField"); // board field of the top side when it differs

    QTest::newRow("block 128 x 80, boards 64+64 and 40+40")
        << 0 << 128 << 80 << IntList{64, 64} << IntList{64, 64} << IntList{40, 40} << IntList{40, 40}
        << QStringList{"Bottom:0-Bottom:1=X:T1-X:T2", "Bottom:0-Left:0=X:T1-Y:R1", "Bottom:1-Right:0=X:T2-Y:T1",
                       "Left:0-Left:1=Y:R1-Y:R2", "Left:1-Top:0=Y:R2-X:R1", "Right:0-Right:1=Y:T1-Y:T2",
                       "Top:0-Top:1=X:R1-X:R2"} << IntList();
    QTest::newRow("block 120 x 90, every side its own split")
        << 0 << 120 << 90 << IntList{64, 56} << IntList{60, 60} << IntList{30, 30, 30} << IntList{45, 45}
        << QStringList{"Bottom:0-Bottom:1=X:T1-X:T2", "Bottom:0-Left:0=X:T1-Y:R1", "Bottom:1-Right:0=X:T2-Y:T1",
                       "Left:0-Left:1=Y:R1-Y:R2", "Left:1-Left:2=Y:R2-Y:R3", "Left:2-Top:0=Y:R3-X:R1",
                       "Right:0-Right:1=Y:T1-Y:T2", "Top:0-Top:1=X:R1-X:R2"}
        << IntList{60, 64}; // the last top board is partly used
    QTest::newRow("block 128 x 0: only X")
        << 0 << 128 << 0 << IntList{64, 64} << IntList{64, 64} << IntList{} << IntList{}
        << QStringList{"Bottom:0-Bottom:1=X:T1-X:T2", "Bottom:0-Top:0=X:T1-X:R1", "Top:0-Top:1=X:R1-X:R2"} << IntList();
    QTest::newRow("block 0 x 40: only Y, one board a side")
        << 0 << 0 << 40 << IntList{} << IntList{} << IntList{40} << IntList{40}
        << QStringList{"Left:0-Right:0=Y:T1-Y:R1"} << IntList();
    QTest::newRow("block 600 x 340, eight boards")
        << 0 << 600 << 340 << IntList{75, 75, 75, 75, 75, 75, 75, 75} << IntList{75, 75, 75, 75, 75, 75, 75, 75}
        << IntList{85, 85, 85, 85} << IntList{85, 85, 85, 85} << QStringList() << IntList();
    QTest::newRow("0x45A0 100 x 60") << 0x45A5 << 100 << 60 << IntList{56, 44} << IntList{56, 44}
                                     << IntList{56, 4} << IntList{56, 4}
                                     << QStringList{"Bottom:0-Bottom:1=X:T1-X:T2", "Bottom:0-Left:0=X:T1-Y:R1",
                                                    "Bottom:1-Right:0=X:T2-Y:T1", "Left:0-Left:1=Y:R1-Y:R2",
                                                    "Left:1-Top:0=Y:R2-X:R1", "Right:0-Right:1=Y:T1-Y:T2",
                                                    "Top:0-Top:1=X:R1-X:R2"} << IntList();
    QTest::newRow("0x45D0 48 x 0") << 0x45D0 << 48 << 0 << IntList{48} << IntList{48} << IntList{} << IntList{}
                                   << QStringList{"Bottom:0-Top:0=X:T1-X:R1"} << IntList();
    QTest::newRow("0x4600 130 x 56") << 0x4600 << 130 << 56 << IntList{56, 56, 18} << IntList{56, 56, 18}
                                     << IntList{56} << IntList{56}
                                     << QStringList{"Bottom:0-Bottom:1=X:T1-X:T2", "Bottom:0-Left:0=X:T1-Y:R1",
                                                    "Bottom:1-Bottom:2=X:T2-X:T3", "Bottom:2-Right:0=X:T3-Y:T1",
                                                    "Left:0-Top:0=Y:R1-X:R1", "Top:0-Top:1=X:R1-X:R2",
                                                    "Top:1-Top:2=X:R2-X:R3"} << IntList();
}

void TestPanelLayout::frames()
{
    QFETCH(int, version);
    QFETCH(int, nX);
    QFETCH(int, nY);
    QFETCH(IntList, bottom);
    QFETCH(IntList, top);
    QFETCH(IntList, left);
    QFETCH(IntList, right);
    QFETCH(QStringList, connectors);
    QFETCH(IntList, topField);

    CPanelGeometry g;
    CPanelLayout layout;
    QString err;
    if (version == 0) {
        QVERIFY2(g.ReadParamBlock(Block(nX, nY, bottom, topField.isEmpty() ? top : topField, left, right), &err),
                 qPrintable(err));
        QVERIFY2(layout.FromLedTable(g, Table(nX, nY, 5.0f, 6.6f), &err), qPrintable(err));
    } else {
        int n;
        double mm1, mm2;
        QVERIFY(CPanelGeometry::BoardSpec(version, &n, &mm1, &mm2));
        g.nXTotal = nX;
        g.nYTotal = nY;
        QVERIFY(g.SplitBoards(n, &err));
        layout.FromBoardSpec(g, mm1, mm2);
    }
    CHardwareInfo info;
    QVERIFY2(layout.Build(g, &info, &err), qPrintable(err));

    QCOMPARE(BoardCounts(info, QStringLiteral("Bottom")), bottom);
    QCOMPARE(BoardCounts(info, QStringLiteral("Top")), top);
    QCOMPARE(BoardCounts(info, QStringLiteral("Left")), left);
    QCOMPARE(BoardCounts(info, QStringLiteral("Right")), right);
    QCOMPARE(info.GetAxisMap().contains(QStringLiteral("Bottom")), nX > 0);
    QCOMPARE(info.GetAxisMap().contains(QStringLiteral("Left")), nY > 0);
    QStringList ids;
    for (int b = 0; b < bottom.size(); ++b)
        ids << QStringLiteral("X:T%1").arg(b + 1);
    QCOMPARE(BoardIds(info, QStringLiteral("Bottom")), ids);
    ids.clear();
    for (int b = 0; b < left.size(); ++b)
        ids << QStringLiteral("Y:R%1").arg(b + 1);
    QCOMPARE(BoardIds(info, QStringLiteral("Left")), ids);
    if (!connectors.isEmpty())
        QCOMPARE(Connectors(info), connectors);
    else
        QCOMPARE(info.GetConnectorMap().size(), 7 + 7 + 3 + 3 + 3);

    // Boards tile their side from edge to edge; sensors restart at " 1";
    // every LED lies at least half a pitch + 2 mm outside the open area.
    const double c = (layout.dLedSize > 5.2 ? 2.6 : layout.dLedSize / 2) + 2.0;
    const struct
    {
        const char *name;
        double span;
    } sides[4] = {{"Bottom", layout.dRight - layout.dLeft},
                  {"Top", layout.dRight - layout.dLeft},
                  {"Left", layout.dTop - layout.dBottom},
                  {"Right", layout.dTop - layout.dBottom}};
    for (const auto &side : sides) {
        double sum = 0;
        for (const CPcbInfo &pcb : info.GetAxisMap().value(QLatin1String(side.name))) {
            sum += pcb.GetLength();
            for (int k = 0; k < pcb.GetLedCount(); ++k)
                QCOMPARE(pcb.GetLeds()[k].GetID(), QStringLiteral(" %1").arg(k + 1));
        }
        if (info.GetAxisMap().contains(QLatin1String(side.name)))
            QVERIFY2(Near(sum, side.span), side.name);
    }
    for (int i = 0; i < nX; ++i) {
        QVERIFY(layout.vecPoints[i].y() <= layout.dBottom - c + 1e-4);
        QVERIFY(layout.vecPoints[nX + i].y() >= layout.dTop + c - 1e-4);
    }
    for (int i = 0; i < nY; ++i) {
        QVERIFY(layout.vecPoints[2 * nX + i].x() <= layout.dLeft - c + 1e-4);
        QVERIFY(layout.vecPoints[2 * nX + nY + i].x() >= layout.dRight + c - 1e-4);
    }
    QCOMPARE(int(info.GetTotalSensorCount()), 2 * nX + 2 * nY);
}

// Lists that do not cover their side never reach the layout.
void TestPanelLayout::buildRefusesBoardsShortOfTotal()
{
    CPanelGeometry g;
    g.nXTotal = 100;
    g.nYTotal = 10;
    g.lstBoards[0] = {64};
    g.lstBoards[1] = {64, 36};
    g.lstBoards[2] = {10};
    g.lstBoards[3] = {10};
    CPanelLayout layout;
    layout.FromBoardSpec(g, 6.35, 19.15);
    CHardwareInfo info;
    QString err;
    QVERIFY(!layout.Build(g, &info, &err));
    QVERIFY2(err.contains(QLatin1String("Bottom side hold 64 LEDs, the axis has 100")), qPrintable(err));
    QVERIFY(info.GetAxisMap().isEmpty());
    QVERIFY(info.GetConnectorMap().isEmpty());

    g.lstBoards[0] = {64, 0, 36};
    QVERIFY(!layout.Build(g, &info, &err));
    QVERIFY2(err.contains(QLatin1String("has 0 LEDs")), qPrintable(err));
}

void TestPanelLayout::ledIndexText_data()
{
    QTest::addColumn<int>("i");
    QTest::addColumn<int>("j");
    QTest::addColumn<QString>("text");
    // Bottom boards 64 + 64, Top boards 64 + 64.
    QTest::newRow("second board") << 70 << 3 << QStringLiteral("T2:7-R1:4");
    QTest::newRow("first LEDs") << 0 << 0 << QStringLiteral("T1:1-R1:1");
    QTest::newRow("board ends") << 63 << 64 << QStringLiteral("T1:64-R2:1");
    QTest::newRow("last LEDs") << 127 << 127 << QStringLiteral("T2:64-R2:64");
    QTest::newRow("emitter past the boards") << 128 << 5 << QStringLiteral("-R1:6");
    QTest::newRow("receiver past the boards") << 5 << 200 << QStringLiteral("T1:6");
    QTest::newRow("negative index") << -1 << 5 << QStringLiteral("-R1:6");
}

void TestPanelLayout::ledIndexText()
{
    QFETCH(int, i);
    QFETCH(int, j);
    QFETCH(QString, text);
    CPanelGeometry g;
    QVERIFY(g.ReadParamBlock(Block(128, 0, {64, 64}, {64, 64}, {}, {}), nullptr));
    CPanelLayout layout;
    QVERIFY(layout.FromLedTable(g, Table(128, 0, 5.0f, 6.6f), nullptr));
    CHardwareInfo info;
    QVERIFY(layout.Build(g, &info, nullptr));
    QCOMPARE(CPanelLayout::LedIndexText(info, QStringLiteral("Bottom"), QStringLiteral("Top"), i, j), text);
}

STATION_TEST_MAIN_CORE(TestPanelLayout)
#include "tst_panellayout.moc"
