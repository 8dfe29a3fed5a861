// Test preparation and signal reading against an emulated frame: the limits
// the frame reports (A8 16, A8 06, the parameter block) with their zones, the
// fallbacks, the labels and relations of every light path, the failures that
// must stop a test, the geometry road of the older versions with its waits,
// and the reads of REVERSE, AGC and ADC frames into the test core's maps.

#include "panelrig.h"
#include "testenvironment.h"

#include <QtTest>

using RangeList = QList<SignalRange>;
Q_DECLARE_METATYPE(SignalRange)
using Frame = QList<uint32_t>;

namespace {

RangeList R(std::initializer_list<SignalRange> l)
{
    return RangeList(l);
}

// A small frame with a parameter block: X 12 LEDs (boards 6 + 6), Y 8 (4 + 4).
void SmallFrame(CPanelRig &rig)
{
    rig.panel.Edit([](CEmulatedPanel::Model &m) {
        for (int a = 0; a < 2; ++a)
            for (int d = 0; d < 3; ++d) {
                CEmulatedPanel::Limits &l = m.limits[a][d];
                l.adcHi = 250;
                l.adcLo = 101;
                l.adcProblemHi = 30;
                l.adcProblemLo = 2;
                l.untHi = 40;
                l.untLo = 1;
                l.reverseHi = 240;
                l.reverseLo = 5;
                l.agcHi = 220;
                l.agcLo = 20;
                l.tolerance = quint8(a * 3 + d);
            }
    });
}

// (first, count) of the A5 01 chunk requests with selector sel.
QList<QPair<int, int>> Chunks(const CPanelRig &rig, int sel)
{
    QList<QPair<int, int>> out;
    const QList<QByteArray> requests = rig.frame.RequestsFor(0xA5, 0x01);
    for (const QByteArray &r : requests)
        if (quint8(r[5]) == sel)
            out << qMakePair(int(quint8(r[6]) | quint8(r[7]) << 8), int(quint8(r[8]) | quint8(r[9]) << 8));
    return out;
}

// The command bytes [1..2] of every request, in order, as "a816" etc.
QStringList Commands(const CPanelRig &rig)
{
    QStringList out;
    const QList<QByteArray> requests = rig.frame.Requests();
    for (const QByteArray &r : requests)
        out << QString::fromLatin1(r.mid(1, 2).toHex());
    return out;
}

} // namespace

class TestSignalRead : public QObject
{
    Q_OBJECT

private slots:
    void limitsFromA816_data();
    void limitsFromA816();
    void limitFallbacks_data();
    void limitFallbacks();
    void preparationFailures_data();
    void preparationFailures();
    void anAxisWithoutLedsIsSkipped_data();
    void anAxisWithoutLedsIsSkipped();
    void geometryRoad_data();
    void geometryRoad();
    void relationsAndLabels();
    void labelsOfSidesSplitDifferently();
    void reverseFrameIsSpreadOverTheDirections();
    void reverseSkipsAnAxisWithoutSignals();
    void chunksOfFiftyFive_data();
    void chunksOfFiftyFive();
    void selectors();
    void readAxisSignalKeepsItsWindows();
    void unplugInTheMiddleOfTheReads();
    void foreignChunkRepliesAreSkipped();
    void foreignLimitRepliesAreSkipped_data();
    void foreignLimitRepliesAreSkipped();
    void statusRepliesOfThePanelQueries();
};

// ---------------------------------------------------------------- limits

void TestSignalRead::limitsFromA816_data()
{
    QTest::addColumn<int>("nX");
    QTest::addColumn<int>("divide");
    QTest::addColumn<int>("percent");
    QTest::addColumn<QList<uint32_t>>("divideList");
    QTest::addColumn<RangeList>("adcT1");
    QTest::addColumn<RangeList>("adcT0");

    QTest::newRow("divide 0: one range") << 12 << 0 << 80 << QList<uint32_t>() << R({{101, 250}})
                                         << R({{101, 250}});
    // Divide 10 on 100 LEDs: zones end at 10 and 90; the T1 edge zones take
    // the lower limit times the factor (101 * 0.8 = 80.8 -> 80).
    QTest::newRow("divide 10, factor 0.8 from 80") << 100 << 10 << 80 << QList<uint32_t>{10, 90}
                                                   << R({{80, 250}, {101, 250}, {80, 250}})
                                                   << R({{101, 250}, {101, 250}, {101, 250}});
    QTest::newRow("divide 10, factor 0.8 from 20") << 100 << 10 << 20 << QList<uint32_t>{10, 90}
                                                   << R({{80, 250}, {101, 250}, {80, 250}})
                                                   << R({{101, 250}, {101, 250}, {101, 250}});
    QTest::newRow("factor 0.51 from 51") << 100 << 4 << 51 << QList<uint32_t>{4, 96}
                                         << R({{51, 250}, {101, 250}, {51, 250}})
                                         << R({{101, 250}, {101, 250}, {101, 250}});
}

void TestSignalRead::limitsFromA816()
{
    QFETCH(int, nX);
    QFETCH(int, divide);
    QFETCH(int, percent);
    QFETCH(QList<uint32_t>, divideList);
    QFETCH(RangeList, adcT1);
    QFETCH(RangeList, adcT0);

    CPanelRig rig;
    SmallFrame(rig);
    rig.panel.Edit([&](CEmulatedPanel::Model &m) {
        m.nX = nX;
        m.boards[0] = m.boards[1] = nX == 100 ? QVector<int>{64, 36} : QVector<int>{6, 6};
        m.nDivide = quint8(divide);
        m.nPercent = quint8(percent);
        m.limits[0][1].untType = 1;
    });
    QCOMPARE(CodeHex(rig.hw.InitTestConfig()), CodeHex(0));

    CAxisSignalInfo &x = rig.hw.GetAxisSignalMap()[QStringLiteral("X")];
    QCOMPARE(x.GetMaxSignal(), uint32_t(nX));
    QCOMPARE(x.GetMaxValue(), 255u);
    QCOMPARE(x.GetSignalStart(), 0u);
    QCOMPARE(x.GetDivide(), divideList);
    const int zones = divide ? 3 : 1;
    QCOMPARE(x.GetTestStandards("T1", "ADC"), adcT1);
    QCOMPARE(x.GetTestStandards("T0", "ADC"), adcT0);
    QCOMPARE(x.GetTestStandards("T2", "ADC"), adcT0);
    for (const char *dir : {"T0", "T1", "T2"}) {
        QCOMPARE(x.GetProblemStandards(dir, "ADC"), RangeList(zones == 3 ? R({{2, 30}, {2, 30}, {2, 30}}) : R({{2, 30}})));
        QCOMPARE(x.GetTestStandards(dir, "UNT").size(), zones);
        QCOMPARE(x.GetTestStandards(dir, "UNT").first(), (SignalRange{1, 40}));
        QCOMPARE(x.GetTestStandards(dir, "AGC").first(), (SignalRange{20, 220}));
        QCOMPARE(x.GetTestStandards(dir, "REVERSE").last(), (SignalRange{5, 240}));
        QCOMPARE(x.GetStandardType(dir, "ADC"), QStringLiteral("Absolute"));
        QCOMPARE(x.GetStandardType(dir, "AGC"), QStringLiteral("Absolute"));
        QCOMPARE(x.GetStandardType(dir, "REVERSE"), QStringLiteral("Absolute"));
        QCOMPARE(x.GetBase(dir, "UNT"), QStringLiteral("ADC"));
        QCOMPARE(x.GetShow(dir, "UNT"), QStringLiteral("UNT"));
        QCOMPARE(x.GetBase(dir, "REVERSE"), QStringLiteral("REVERSE"));
        QCOMPARE(x.GetShow(dir, "REVERSE"), QStringLiteral("ADC"));
        QCOMPARE(x.GetShow(dir, "ADC"), QStringLiteral("ADC"));
        QCOMPARE(x.GetShow(dir, "AGC"), QStringLiteral("AGC"));
    }
    // Byte 23 of A8 96: 1 on X/T1 only.
    QCOMPARE(x.GetStandardType("T1", "UNT"), QStringLiteral("Percent"));
    QCOMPARE(x.GetStandardType("T0", "UNT"), QStringLiteral("Absolute"));
    QCOMPARE(x.GetMaxTolerantSignalCount("T2"), 2u);
    QCOMPARE(rig.hw.GetAxisSignalMap()[QStringLiteral("Y")].GetMaxTolerantSignalCount("T1"), 4u);
    // A8 16 asked for X d0..2 then Y d0..2, [6] = 1 - axis index.
    QCOMPARE(rig.Hex(0xA8, 0x16, 7),
             (QStringList{"fc a8 16 02 00 00 01", "fc a8 16 02 00 01 01", "fc a8 16 02 00 02 01",
                          "fc a8 16 02 00 00 00", "fc a8 16 02 00 01 00", "fc a8 16 02 00 02 00"}));
}

void TestSignalRead::limitFallbacks_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("block");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("dataFirst"); // directions answered with data before the status
    QTest::addColumn<QString>("source"); // "block" or "a806"

    QTest::newRow("block road, status 0x83: limits from the block") << 0x7201 << true << 0x83 << 0 << "block";
    QTest::newRow("block road, status 0x82") << 0x7201 << true << 0x82 << 0 << "block";
    QTest::newRow("block road, status after two directions") << 0x7201 << true << 0x83 << 2 << "block";
    QTest::newRow("geometry road, status 0x83: A8 06") << 0x4410 << false << 0x83 << 0 << "a806";
    QTest::newRow("geometry road, status after four directions") << 0x4610 << false << 0x83 << 4 << "a806";
}

// The fallback replaces whatever a partly answered A8 16 had set: each list
// holds the one range of its zone, never a second copy.
void TestSignalRead::limitFallbacks()
{
    QFETCH(int, version);
    QFETCH(bool, block);
    QFETCH(int, status);
    QFETCH(int, dataFirst);
    QFETCH(QString, source);

    CPanelRig rig{quint16(version)};
    SmallFrame(rig);
    rig.panel.Edit([&](CEmulatedPanel::Model &m) {
        m.bParamBlock = block;
        m.bA816 = false;
        m.nA816Status = quint8(status);
        m.nA816StatusAfter = dataFirst;
        // Block words: ADC per direction 240/100, 241/101, 242/102; the A8 06
        // replies carry the limits of the model.
        for (int d = 0; d < 3; ++d) {
            m.limits[0][d].adcHi = quint16(240 + d);
            m.limits[0][d].adcLo = quint16(100 + d);
        }
        m.limits[0][1].untHi = 33;
        m.limits[0][1].adcProblemHi = 25;
        m.limits[0][1].adcProblemLo = 1;
        m.limits[0][1].agcHi = 201;
        m.limits[0][1].agcLo = 11;
    });
    QCOMPARE(CodeHex(rig.hw.InitTestConfig()), CodeHex(0));
    QCOMPARE(rig.Count(0xA8, 0x06), source == QLatin1String("a806") ? 6 : 0);
    QCOMPARE(rig.Count(0xA8, 0x05), 2);

    for (const QString &axisName : {QStringLiteral("X"), QStringLiteral("Y")}) {
        CAxisSignalInfo &axis = rig.hw.GetAxisSignalMap()[axisName];
        const int a = axisName == QLatin1String("X") ? 0 : 1;
        for (int d = 0; d < 3; ++d) {
            const QString dir = QStringLiteral("T%1").arg(d);
            // The block holds one set for both axes (that of X); A8 06 answers per axis.
            const CEmulatedPanel::Limits l = rig.panel.Snapshot().limits[source == QLatin1String("block") ? 0 : a][d];
            QCOMPARE(axis.GetTestStandards(dir, "ADC"), R({{l.adcLo, l.adcHi}}));
            if (source == QLatin1String("block")) {
                QCOMPARE(axis.GetTestStandards(dir, "UNT"), R({{0, 33}}));
                QCOMPARE(axis.GetProblemStandards(dir, "ADC"), R({{1, 25}}));
                QCOMPARE(axis.GetTestStandards(dir, "AGC"), R({{11, 201}}));
            } else {
                QCOMPARE(axis.GetTestStandards(dir, "UNT"), R({{0, uint32_t(l.untHi)}}));
                QCOMPARE(axis.GetProblemStandards(dir, "ADC"), R({{l.adcProblemLo, l.adcProblemHi}}));
                QCOMPARE(axis.GetTestStandards(dir, "AGC"), R({{l.agcLo, l.agcHi}}));
            }
            QCOMPARE(axis.GetTestStandards(dir, "REVERSE"), R({{0, 255}}));
            QCOMPARE(axis.GetMaxTolerantSignalCount(dir), 0u);
            QCOMPARE(axis.GetStandardType(dir, "UNT"), QStringLiteral("Absolute"));
        }
    }
}

void TestSignalRead::preparationFailures_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("log"); // part of the run-log line

    // A block that cannot be read fails the test; it never passes untested.
    QTest::newRow("parameter block silent") << 0x7201 << "blocksilent" << int(0x80050001)
                                            << "the parameter block could not be read";
    QTest::newRow("parameter block unplugged") << 0x7201 << "blockunplug" << int(0x80050002)
                                               << "the parameter block could not be read";
    QTest::newRow("no block and no built-in board size") << 0x7201 << "noblock" << int(0x80000003)
                                                         << "no parameter block and no built-in board size";
    QTest::newRow("boards short of the total") << 0x7201 << "shortboards" << int(0x80050003)
                                               << "(11 of 12 LEDs placed)";
    QTest::newRow("board of zero LEDs") << 0x7201 << "zeroboard" << int(0x80050003) << "has no LEDs";
    QTest::newRow("no LEDs at all") << 0x7201 << "noleds" << int(0x80050003) << "no LEDs on either axis";
    QTest::newRow("LED table with NaN") << 0x7201 << "nan" << int(0x80050003) << "not a usable position";
    // Status 0x81 to A8 16: done, but no limits; nothing could be judged.
    QTest::newRow("A8 16 answers 0x81 everywhere") << 0x7201 << "a816done" << int(0x80140003)
                                                   << "X-T0 has 0 ADC test ranges for 1 zones";
    QTest::newRow("A8 16 answers 0x81 for Y") << 0x7201 << "a816doneY" << int(0x80140003)
                                              << "Y-T0 has 0 ADC test ranges";
    QTest::newRow("A5 00 silent") << 0x4410 << "ledcounts" << int(0x80060001) << "";
    QTest::newRow("LED counts past 4096") << 0x4410 << "hugecounts" << int(0x80060003) << "LED counts refused";
    QTest::newRow("more than 20 boards") << 0x4410 << "manyboards" << int(0x80060003) << "at most 20";
    QTest::newRow("A8 06 silent") << 0x45A0 << "a806silent" << int(0x80090001) << "";
    QTest::newRow("threshold silent") << 0x7201 << "threshold" << int(0x80080001) << "";
    QTest::newRow("device information fails") << 0x7201 << "info" << int(0x800B0001) << "";
}

void TestSignalRead::preparationFailures()
{
    QFETCH(int, version);
    QFETCH(QString, fault);
    QFETCH(int, result);
    QFETCH(QString, log);

    CPanelRig rig{quint16(version)};
    SmallFrame(rig);
    rig.panel.Edit([&](CEmulatedPanel::Model &m) {
        m.bParamBlock = version == 0x7201 && fault != QLatin1String("noblock");
        if (fault == QLatin1String("shortboards"))
            m.boards[1] = {6, 5};
        if (fault == QLatin1String("zeroboard"))
            m.boards[2] = {0, 4, 4};
        if (fault == QLatin1String("noleds")) {
            m.nX = m.nY = 0;
            m.boards[0] = m.boards[1] = m.boards[2] = m.boards[3] = {};
        }
        if (fault == QLatin1String("hugecounts"))
            m.sides[0] = 5000;
        if (fault == QLatin1String("manyboards"))
            m.nY = 1300;
        if (fault.startsWith(QLatin1String("a816done"))) {
            m.bA816 = false;
            m.nA816Status = 0x81;
            m.nA816StatusAfter = fault == QLatin1String("a816doneY") ? 3 : 0;
        }
        if (fault == QLatin1String("a806silent")) {
            m.bA816 = false;
        }
    });
    if (fault == QLatin1String("nan")) {
        // Corrupt the first float of the LED table (stream offset 524).
        rig.frame.AddHandler(0xAC, 0x01, [](CEmulatedFrame &, const QByteArray &q, QList<CEmulatedFrame::Action> *pA) {
            if (CEmulatedFrame::Byte(q, 3) != 2 || CEmulatedFrame::GetU16Le(q, 5) != 11)
                return false;
            // 524 = 10 * 52 + 4: packet 11 carries the table from its byte 4.
            QByteArray r(64, '\0');
            const char head[] = {char(0xFC), char(0xAC), char(0x81), 55, 0, 0, 11, 0};
            r.replace(0, 8, QByteArray(head, 8));
            r[8 + 4 + 3] = char(0x7F);
            r[8 + 4 + 2] = char(0xC0); // 0x7FC00000: NaN
            quint8 sum = 0;
            for (int i = 5; i < 60; ++i)
                sum = quint8(sum + quint8(r[i]));
            r[60] = char(sum);
            CEmulatedFrame::Action a;
            a.report = r;
            pA->append(a);
            return true;
        });
    }
    if (fault == QLatin1String("blocksilent"))
        rig.frame.SetFault(0xAC, 0x01, CEmulatedFrame::Silent());
    if (fault == QLatin1String("blockunplug"))
        rig.frame.SetFault(0xAC, 0x01, CEmulatedFrame::UnplugOnCommand());
    if (fault == QLatin1String("ledcounts"))
        rig.frame.SetFault(0xA5, 0x00, CEmulatedFrame::Silent());
    if (fault == QLatin1String("a806silent"))
        rig.frame.SetFault(0xA8, 0x06, CEmulatedFrame::Silent());
    if (fault == QLatin1String("threshold"))
        rig.frame.SetFault(0xA8, 0x05, CEmulatedFrame::Silent());
    if (fault == QLatin1String("info"))
        rig.frame.SetFault(0xA3, 0x01, CEmulatedFrame::Silent());

    // Before any preparation a retest tests nothing (and sends nothing).
    QCOMPARE(CodeHex(rig.hw.ReTest(0)), CodeHex(ERROR_TEST_NOT_PREPARED));
    QCOMPARE(rig.frame.RequestCount(), 0);

    if (!log.isEmpty())
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QRegularExpression::escape(log)));
    // The first test run ends with the failure: no test, nothing recorded.
    QCOMPARE(CodeHex(rig.hw.StartTest(0)), CodeHex(result));
    for (const QByteArray &r : rig.frame.RequestsFor(0xA5, 0x01))
        QCOMPARE(quint8(r[5]), quint8(0xFF)); // no signal frame was read
    QCOMPARE(rig.Count(0xA8, 0x08), 0);
    QVERIFY(rig.hw.GetSignalErrors().isEmpty());

    // Nor after a failed one: never a PASS with nothing tested.
    rig.frame.ClearFaults();
    const int nRequests = rig.frame.RequestCount();
    QCOMPARE(CodeHex(rig.hw.ReTest(0)), CodeHex(ERROR_TEST_NOT_PREPARED));
    QCOMPARE(rig.frame.RequestCount(), nRequests);
    QVERIFY(rig.hw.GetSignalErrors().isEmpty());
}

void TestSignalRead::anAxisWithoutLedsIsSkipped_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("nX");
    QTest::addColumn<int>("nY");
    QTest::addColumn<QStringList>("limitRequests"); // A8 16 or A8 06 requests, bytes 0..6
    QTest::addColumn<QStringList>("connectors");

    QTest::newRow("block, X only") << 0x7201 << 12 << 0
                                   << QStringList{"fc a8 16 02 00 00 01", "fc a8 16 02 00 01 01", "fc a8 16 02 00 02 01"}
                                   << QStringList{"Bottom:0-Bottom:1", "Bottom:0-Top:0", "Top:0-Top:1"};
    QTest::newRow("block, Y only") << 0x7201 << 0 << 8
                                   << QStringList{"fc a8 16 02 00 00 00", "fc a8 16 02 00 01 00", "fc a8 16 02 00 02 00"}
                                   << QStringList{"Left:0-Left:1", "Left:0-Right:0", "Right:0-Right:1"};
    // No block: one board of 12 a side, limits from A8 06 after a status to A8 16.
    QTest::newRow("LED counts, X only") << 0x4410 << 12 << 0
                                        << QStringList{"fc a8 06 02 00 00 01", "fc a8 06 02 00 01 01", "fc a8 06 02 00 02 01"}
                                        << QStringList{"Bottom:0-Top:0"};
}

// An axis of no LEDs gets no limits, no relations and no reads; the other
// axis is tested alone and a healthy frame passes.
void TestSignalRead::anAxisWithoutLedsIsSkipped()
{
    QFETCH(int, version);
    QFETCH(int, nX);
    QFETCH(int, nY);
    QFETCH(QStringList, limitRequests);
    QFETCH(QStringList, connectors);

    CPanelRig rig{quint16(version)};
    rig.panel.Edit([&](CEmulatedPanel::Model &m) {
        m.bParamBlock = version >= 0x7200;
        m.bA816 = version >= 0x7200;
        m.nX = nX;
        m.nY = nY;
        if (nX == 0)
            m.boards[0] = m.boards[1] = {};
        if (nY == 0)
            m.boards[2] = m.boards[3] = {};
    });
    QCOMPARE(CodeHex(rig.hw.StartTest(0)), CodeHex(0));
    const QString strAxis = nX > 0 ? QStringLiteral("X") : QStringLiteral("Y");
    QCOMPARE(rig.hw.GetAxisSignalMap().keys(), QList<QString>{strAxis});
    if (version >= 0x7200) {
        QCOMPARE(rig.Hex(0xA8, 0x16, 7), limitRequests);
    } else {
        QCOMPARE(rig.Count(0xA8, 0x16), 1); // answered with a status
        QCOMPARE(rig.Hex(0xA8, 0x06, 7), limitRequests);
    }
    QCOMPARE(rig.hw.GetHardwareInfo().GetConnectorMap().keys(), connectors);
    QCOMPARE(rig.hw.GetHardwareInfo().GetSensorRelations().size(), 3 * qMax(nX, nY));
    // Signal chunks only for the axis with LEDs (odd selectors are Y's).
    for (const QByteArray &r : rig.frame.RequestsFor(0xA5, 0x01))
        if (quint8(r[5]) != 0xFF)
            QCOMPARE(quint8(r[5]) % 2, nX > 0 ? 0 : 1);
    QVERIFY(rig.Count(0xA5, 0x01) > 0);
    QVERIFY(rig.hw.GetSignalErrors().isEmpty());
}

// ---------------------------------------------------------------- geometry road

void TestSignalRead::geometryRoad_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QList<int>>("sleeps");
    QTest::addColumn<int>("a811");
    QTest::addColumn<int>("perBoard");
    QTest::addColumn<int>("noBlockStatus");

    // 0x44xx: switching reverse mode on waits 6000 ms, off nothing.
    QTest::newRow("0x4410") << 0x4410 << QList<int>{6000} << 0 << 64 << 0x83;
    QTest::newRow("0x45C0") << 0x45C0 << QList<int>{6000} << 0 << 56 << 0x82;
    // 0x46xx: A8 11 and the ready polls before the reverse frame, 100 ms after
    // both switches. A status 0x81 to the block request means no block too.
    QTest::newRow("0x4610") << 0x4610 << QList<int>{100, 100} << 1 << 56 << 0x81;
}

// A frame without a parameter block: LED counts, layout values, boards of the
// version's size; the waits of the version go through the station clock (the
// rig records them instead of sleeping).
void TestSignalRead::geometryRoad()
{
    QFETCH(int, version);
    QFETCH(QList<int>, sleeps);
    QFETCH(int, a811);
    QFETCH(int, perBoard);
    QFETCH(int, noBlockStatus);

    CPanelRig rig{quint16(version)};
    SmallFrame(rig);
    rig.panel.Edit([&](CEmulatedPanel::Model &m) {
        m.bParamBlock = false;
        m.nNoBlockStatus = quint8(noBlockStatus);
        m.nX = 70;
        m.nY = 100;
        m.offsets[0][0] = -3;
        m.offsets[0][2] = 4;
        m.offsets[1][0] = -2;
        m.offsets[1][2] = 2;
    });
    QCOMPARE(CodeHex(rig.hw.InitTestConfig()), CodeHex(0));
    const CPanelGeometry &g = rig.hw.PanelGeometry();
    QCOMPARE(g.nXTotal, 70);
    QCOMPARE(g.nYTotal, 100);
    QCOMPARE(g.Offset(0, 0), -3);
    QCOMPARE(g.Offset(0, 2), 4);
    QCOMPARE(g.Offset(1, 0), -2);
    QCOMPARE(g.Offset(1, 2), 2);
    QCOMPARE(g.lstBoards[0], (QList<int>{perBoard, 70 - perBoard}));
    QCOMPARE(g.lstBoards[2], (QList<int>{perBoard, 100 - perBoard}));
    QCOMPARE(rig.hw.GetHardwareInfo().GetAxisMap().value("Left").size(), 2);
    QCOMPARE(rig.Count(0xA5, 0x00), 1);
    QCOMPARE(rig.Count(0xA5, 0x07), 1);
    QVERIFY(rig.sleeps.isEmpty());

    SignalMap map;
    QCOMPARE(CodeHex(rig.hw.ReadReverseSignal(map)), CodeHex(0));
    QCOMPARE(rig.sleeps, sleeps);
    QCOMPARE(rig.Count(0xA8, 0x11), a811);
    QCOMPARE(map.size(), 6);
    // 0x44xx and 0x45xx read chunk by chunk, the others all requests first.
    QCOMPARE(Chunks(rig, 2), (QList<QPair<int, int>>{{0, 55}, {55, 15}}));
}

// ---------------------------------------------------------------- labels and relations

// Offset +3 on T2 of an X axis of 10 signal positions starting at 2: LED 8
// joins emitter 2 + 8 = 10 and receiver 2 + min(3 + 8, 9) = 11.
void TestSignalRead::relationsAndLabels()
{
    CPanelRig rig(0x4410);
    SmallFrame(rig);
    rig.panel.Edit([](CEmulatedPanel::Model &m) {
        m.bParamBlock = false;
        m.nX = 12;
        m.sides[0] = 2; // X: 2 in front, none behind
        m.nY = 9;
        m.sides[2] = 1; // Y: 1 in front
        m.offsets[0][0] = -1;
        m.offsets[0][2] = 3;
        m.offsets[1][0] = -2;
        m.offsets[1][2] = 0;
    });
    QCOMPARE(CodeHex(rig.hw.InitTestConfig()), CodeHex(0));
    CAxisSignalInfo &x = rig.hw.GetAxisSignalMap()[QStringLiteral("X")];
    QCOMPARE(x.GetMaxSignal(), 10u);
    QCOMPARE(x.GetSignalStart(), 2u);
    const QList<QString> relT2 = x.GetSignalRelations("T2");
    QCOMPARE(relT2.size(), 10);
    QCOMPARE(relT2[8], QStringLiteral("Bottom:10-Top:11"));
    QCOMPARE(relT2[0], QStringLiteral("Bottom:2-Top:5"));
    QCOMPARE(relT2[9], QStringLiteral("Bottom:11-Top:11"));
    // T0, offset -1: LED 0 has k = -1, so the receiver is the start itself; LED 1 has k = 0, the same.
    const QList<QString> relT0 = x.GetSignalRelations("T0");
    QCOMPARE(relT0[0], QStringLiteral("Bottom:2-Top:2"));
    QCOMPARE(relT0[1], QStringLiteral("Bottom:3-Top:2"));
    QCOMPARE(relT0[2], QStringLiteral("Bottom:4-Top:3"));
    // Labels: board and position on one board of 12 LEDs.
    QCOMPARE(x.GetSignalLabels("T2")[8], QStringLiteral("T1:11-R1:12"));
    QCOMPARE(x.GetSignalLabels("T0")[0], QStringLiteral("T1:3-R1:3"));
    // Y pairs the right side (emitters) with the left (receivers).
    CAxisSignalInfo &y = rig.hw.GetAxisSignalMap()[QStringLiteral("Y")];
    QCOMPARE(y.GetMaxSignal(), 8u);
    QCOMPARE(y.GetSignalRelations("T0")[3], QStringLiteral("Right:4-Left:2"));
    QCOMPARE(y.GetSignalRelations("T1")[7], QStringLiteral("Right:8-Left:8"));
    // Each relation also names its two sensors in the panel description.
    const CHardwareInfo &info = rig.hw.GetHardwareInfo();
    QCOMPARE(info.GetSensorRelations().size(), 3 * 10 + 3 * 8);
    const CSensorInfo &bottom10 = info.GetAxisMap().value("Bottom")[0].GetLeds()[10];
    QVERIFY(bottom10.GetRelations().contains(QStringLiteral("Bottom:10-Top:11")));
    QCOMPARE(bottom10.GetRelations().size(), 3);
    const CSensorInfo &top2 = info.GetAxisMap().value("Top")[0].GetLeds()[2];
    // T0 paths 0 and 1 and T1 path 0 end at Top:2.
    QCOMPARE(top2.GetRelations(), (QList<QString>{"Bottom:2-Top:2", "Bottom:3-Top:2", "Bottom:2-Top:2"}));
}

// A block frame whose two Y sides are split differently: right (emitters)
// one board of 8 from the field at 500, left (receivers) 4 + 4 from the field
// at 516. Path 5 of Y/T1 joins Right:5 (board 1, position 6) and Left:5
// (board 2, position 2); path 2 of Y/T2 (offset +1) ends at Left:3 (board 1,
// position 4).
void TestSignalRead::labelsOfSidesSplitDifferently()
{
    CPanelRig rig;
    SmallFrame(rig);
    rig.panel.Edit([](CEmulatedPanel::Model &m) {
        m.boards[CEmulatedPanel::Left] = {4, 4};
        m.boards[CEmulatedPanel::Right] = {8};
    });
    QCOMPARE(CodeHex(rig.hw.InitTestConfig()), CodeHex(0));
    const QByteArray block = CEmulatedPanel::ParamStream(rig.panel.Snapshot()).left(524);
    QCOMPARE(QByteArray(block.constData() + 500, 8).toHex(), QByteArray("0800000000000000"));
    QCOMPARE(QByteArray(block.constData() + 516, 8).toHex(), QByteArray("0404000000000000"));
    const CHardwareInfo &info = rig.hw.GetHardwareInfo();
    QCOMPARE(info.GetAxisMap().value("Left").size(), 2);
    QCOMPARE(info.GetAxisMap().value("Right").size(), 1);
    CAxisSignalInfo &y = rig.hw.GetAxisSignalMap()[QStringLiteral("Y")];
    QCOMPARE(y.GetSignalLabels("T1")[5], QStringLiteral("T1:6-R2:2"));
    QCOMPARE(y.GetSignalRelations("T1")[5], QStringLiteral("Right:5-Left:5"));
    QCOMPARE(y.GetSignalLabels("T2")[2], QStringLiteral("T1:3-R1:4"));
}

// ---------------------------------------------------------------- reverse

void TestSignalRead::reverseFrameIsSpreadOverTheDirections()
{
    CPanelRig rig;
    SmallFrame(rig);
    rig.panel.Edit([](CEmulatedPanel::Model &m) {
        m.nX = 4;
        m.boards[0] = m.boards[1] = {4};
        m.offsets[0][0] = -2;
        m.offsets[0][2] = 2;
        m.reverseLevels[0] = {5, 6, 7, 8};
    });
    QCOMPARE(CodeHex(rig.hw.InitTestConfig()), CodeHex(0));
    rig.frame.ClearRequests();
    SignalMap map;
    QCOMPARE(rig.hw.ReadReverseSignal(map), 0);
    QCOMPARE(map.value("X-T1"), (QList<Frame>{{5, 6, 7, 8}}));
    QCOMPARE(map.value("X-T0"), (QList<Frame>{{5, 5, 5, 6}}));
    QCOMPARE(map.value("X-T2"), (QList<Frame>{{7, 8, 8, 8}}));
    QCOMPARE(map.value("Y-T1").first().size(), 8);
    // Reverse mode on, the straight frames of X (2) and Y (3), reverse mode off.
    QCOMPARE(Commands(rig), (QStringList{"a808", "a501", "a501", "a808"}));
    const QList<QByteArray> a808 = rig.frame.RequestsFor(0xA8, 0x08);
    QCOMPARE(quint8(a808[0][5]), quint8(0));
    QCOMPARE(quint8(a808[1][5]), quint8(1));
    QCOMPARE(Chunks(rig, 2).size(), 1);
    QCOMPARE(Chunks(rig, 3).size(), 1);
    QVERIFY(!rig.hw.IsReverseMode());

    // Shifts past the frame's length fill it with the end value.
    QCOMPARE(CPanelProbe::ShiftFrame({5, 6, 7, 8}, 9), (Frame{8, 8, 8, 8}));
    QCOMPARE(CPanelProbe::ShiftFrame({5, 6, 7, 8}, -9), (Frame{5, 5, 5, 5}));
    QCOMPARE(CPanelProbe::ShiftFrame({5, 6, 7, 8}, 0), (Frame{5, 6, 7, 8}));
    QCOMPARE(CPanelProbe::ShiftFrame({}, 3), Frame());
}

void TestSignalRead::reverseSkipsAnAxisWithoutSignals()
{
    CPanelRig rig;
    SmallFrame(rig);
    QCOMPARE(rig.hw.InitTestConfig(), 0);
    rig.hw.GetAxisSignalMap()[QStringLiteral("Y")].SetMaxSignal(0);
    rig.frame.ClearRequests();
    SignalMap map;
    QCOMPARE(rig.hw.ReadReverseSignal(map), 0);
    QCOMPARE(map.keys(), (QList<QString>{"X-T0", "X-T1", "X-T2"}));
    QCOMPARE(Chunks(rig, 3).size(), 0);

    // A failed read still switches reverse mode off and reports the read.
    rig.frame.ClearRequests();
    rig.frame.SetFault(0xA5, 0x01, CEmulatedFrame::Silent());
    map.clear();
    QCOMPARE(CodeHex(rig.hw.ReadReverseSignal(map)), CodeHex(0x80100001));
    QVERIFY(map.isEmpty());
    QCOMPARE(rig.Count(0xA8, 0x08), 2);
    QVERIFY(!rig.hw.IsReverseMode());
}

// ---------------------------------------------------------------- chunks

void TestSignalRead::chunksOfFiftyFive_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("allFirst");
    QTest::newRow("0x7201: every request, then the replies") << 0x7201 << true;
    QTest::newRow("0x4410: chunk by chunk") << 0x4410 << false;
}

// A 120-LED axis is read in chunks of 55, 55 and 10.
void TestSignalRead::chunksOfFiftyFive()
{
    QFETCH(int, version);
    QFETCH(bool, allFirst);
    CPanelRig rig{quint16(version)};
    SmallFrame(rig);
    rig.panel.Edit([](CEmulatedPanel::Model &m) {
        m.nX = 120;
        m.boards[0] = m.boards[1] = {64, 56};
    });
    QCOMPARE(CodeHex(rig.hw.InitTestConfig()), CodeHex(0));
    QList<int> recvAtSend;
    rig.port.SetSendHook([&](const QByteArray &r) {
        if (quint8(r[1]) == 0xA5)
            recvAtSend << rig.port.RecvCount();
    });
    rig.frame.ClearRequests();
    Frame frame{99};
    QCOMPARE(rig.hw.ReadSignalByVersion("X", "T0", "AGC", &frame), 120);
    Frame expected;
    for (quint8 v : CEmulatedPanel::Levels(rig.panel.Snapshot(), 0, 0, QStringLiteral("AGC")))
        expected << v;
    QCOMPARE(frame, expected);
    QCOMPARE(Chunks(rig, 16), (QList<QPair<int, int>>{{0, 55}, {55, 55}, {110, 10}}));
    QCOMPARE(rig.Hex(0xA5, 0x01, 10).first(), QStringLiteral("fc a5 01 02 00 10 00 00 37 00"));
    QCOMPARE(recvAtSend.size(), 3);
    if (allFirst)
        QCOMPARE(recvAtSend[2], recvAtSend[0]);
    else
        QVERIFY(recvAtSend[2] > recvAtSend[1]);
    // Every chunk read waits 30 ms.
    const QList<int> timeouts = rig.port.RecvTimeouts();
    QCOMPARE(timeouts.last(), 30);
}

void TestSignalRead::selectors()
{
    const struct
    {
        const char *axis, *dir, *kind;
        int sel;
    } cases[] = {
        {"X", "T2", "ADC", 0},     {"Y", "T2", "ADC", 1},      {"X", "T1", "ADC", 2},  {"Y", "T1", "ADC", 3},
        {"X", "T0", "ADC", 4},     {"Y", "T0", "ADC", 5},      {"X", "T2", "ORG", 6},  {"Y", "T0", "ORG", 11},
        {"X", "T2", "AGC", 12},    {"Y", "T1", "AGC", 15},     {"Y", "T0", "AGC", 17}, {"X", "T1", "REVERSE", 2},
        {"Y", "T1", "REVERSE", 3}, {"X", "T9", "ADC", 0},
    };
    for (const auto &c : cases)
        QCOMPARE(int(CPanelProbe::SignalSelector(c.axis, c.dir, c.kind)), c.sel);
}

// ---------------------------------------------------------------- maps

void TestSignalRead::readAxisSignalKeepsItsWindows()
{
    CPanelRig rig;
    SmallFrame(rig);
    QCOMPARE(rig.hw.InitTestConfig(), 0);
    rig.hw.SetTestTimes(3);
    rig.hw.SetFrameNumber(7);
    rig.hw.SetRecording(true);
    Frame out{1, 2};
    uint32_t nFrame = 0;
    // UNT before any ADC frame: an empty result, kept like any other (one per key).
    QCOMPARE(rig.hw.ReadAxisSignal("Y", "T1", "UNT", out), 0);
    QVERIFY(out.isEmpty());
    QCOMPARE(rig.hw.UntMap().value("Y-T1"), (QList<Frame>{Frame()}));
    QCOMPARE(rig.hw.ReadAxisSignal("Y", "T1", "UNT", out), 0);
    QCOMPARE(rig.hw.UntMap().value("Y-T1").size(), 1);
    // ADC keeps a window of TEST_TIMES_FOR_UNT frames.
    for (int i = 0; i < 4; ++i) {
        rig.panel.Edit([i](CEmulatedPanel::Model &m) { m.nAdc = quint8(200 + i); });
        out.clear();
        QCOMPARE(rig.hw.ReadAxisSignal("X", "T1", "ADC", out, &nFrame), 12);
    }
    QCOMPARE(nFrame, 7u);
    QCOMPARE(rig.hw.AdcMap().value("X-T1").size(), 3);
    QCOMPARE(rig.hw.AdcMap().value("X-T1").first().first(), 201u);
    // UNT from the ADC window, Absolute: 203 - 201.
    out.clear();
    QCOMPARE(rig.hw.ReadAxisSignal("X", "T1", "UNT", out), 12);
    QCOMPARE(out.first(), 2u);
    QCOMPARE(rig.hw.UntMap().value("X-T1").size(), 1);
    out.clear();
    QCOMPARE(rig.hw.ReadAxisSignal("X", "T1", "UNT", out), 12);
    QCOMPARE(rig.hw.UntMap().value("X-T1").size(), 1);
    // AGC keeps one frame.
    for (int i = 0; i < 2; ++i) {
        out.clear();
        QCOMPARE(rig.hw.ReadAxisSignal("Y", "T0", "AGC", out), 8);
    }
    QCOMPARE(rig.hw.AgcMap().value("Y-T0").size(), 1);
    QCOMPARE(rig.hw.AgcMap().value("Y-T0").first().first(), 128u);
    // In reverse mode an ADC read is a REVERSE read, recorded as such.
    rig.hw.SetReverseFlag(true);
    out.clear();
    QCOMPARE(rig.hw.ReadAxisSignal("X", "T1", "ADC", out), 12);
    QCOMPARE(rig.hw.ReverseMap().value("X-T1").size(), 1);
    QCOMPARE(rig.hw.AdcMap().value("X-T1").size(), 3);
    Frame stored;
    CAxisSignalInfo &x = rig.hw.GetAxisSignalMap()[QStringLiteral("X")];
    QCOMPARE(x.GetTestData("T1", "REVERSE", stored, 7), 12);
    QCOMPARE(x.GetTestData("T1", "ADC", stored, 7), 12);
    QCOMPARE(stored.first(), 203u);
    QCOMPARE(rig.hw.GetAxisSignalMap()[QStringLiteral("Y")].GetTestData("T0", "AGC", stored, 7), 8);
    // Any other kind reads nothing.
    const int nRequests = rig.frame.RequestCount();
    QCOMPARE(rig.hw.ReadAxisSignal("X", "T1", "ORG", out, &nFrame), 0);
    QCOMPARE(rig.frame.RequestCount(), nRequests);

    // RecordSignal stores the newest frame of every key; ClearSignalData empties all.
    SignalMap map;
    map["X-T0"] = {{1, 2}, {3, 4}};
    map["Y-T2"] = {};
    QCOMPARE(rig.hw.RecordSignal("AGC", map, 9), 0);
    QCOMPARE(x.GetTestData("T0", "AGC", stored, 9), 2);
    QCOMPARE(stored, (Frame{3, 4}));
    QCOMPARE(rig.hw.GetAxisSignalMap()[QStringLiteral("Y")].GetTestData("T2", "AGC", stored, 9), 0);
    rig.hw.GetSignalErrors().insert("k", "v");
    QCOMPARE(rig.hw.ClearSignalData(), 0);
    QCOMPARE(rig.hw.GetFrameNumber(), 0u);
    QVERIFY(rig.hw.AdcMap().isEmpty() && rig.hw.AgcMap().isEmpty() && rig.hw.UntMap().isEmpty());
    QVERIFY(rig.hw.ReverseMap().isEmpty() && rig.hw.GetSignalErrors().isEmpty());
    QCOMPARE(x.GetRecordCount(), 0u);
    QCOMPARE(x.GetTestStandards("T1", "ADC").size(), 1);
}

// The frame leaves in the middle of the AGC reads: the read fails with the
// device-lost code of its family and nothing of the partial read reaches the map.
void TestSignalRead::unplugInTheMiddleOfTheReads()
{
    CPanelRig rig;
    SmallFrame(rig);
    QCOMPARE(rig.hw.InitTestConfig(), 0);
    rig.panel.Edit([](CEmulatedPanel::Model &m) {
        m.nChunkRequests = 0;
        m.nUnplugAfterChunks = 4; // X T0, T1, T2 and Y T0 come back, Y T1 does not
    });
    SignalMap map;
    map["X-T0"] = {{1}};
    QCOMPARE(CodeHex(rig.hw.ReadSignal("AGC", map)), CodeHex(0x80100002));
    QCOMPARE(map.keys(), (QList<QString>{"X-T0"}));
    QCOMPARE(map.value("X-T0").size(), 1);
}

// Replies for another chunk or selector are skipped while a frame is read.
void TestSignalRead::foreignChunkRepliesAreSkipped()
{
    CPanelRig rig;
    SmallFrame(rig);
    QCOMPARE(rig.hw.InitTestConfig(), 0);
    rig.frame.AddHandler(0xA5, 0x01, [](CEmulatedFrame &frame, const QByteArray &q, QList<CEmulatedFrame::Action> *pA) {
        if (CEmulatedFrame::Byte(q, 5) == 0xFF)
            return false;
        // Wrong count, wrong selector, wrong first index: three foreign replies first.
        for (int k = 0; k < 3; ++k) {
            QByteArray r = frame.DataReply(0xA5, 0x81);
            r[5] = char(CEmulatedFrame::Byte(q, 5) + (k == 1 ? 1 : 0));
            r[6] = char(k == 2 ? 9 : 0);
            r[8] = char(k == 0 ? 3 : CEmulatedFrame::Byte(q, 8));
            CEmulatedFrame::Action a;
            a.report = r;
            pA->append(a);
        }
        return false;
    });
    Frame frame;
    QCOMPARE(rig.hw.ReadSignalByVersion("X", "T1", "ADC", &frame), 12);
    QCOMPARE(frame, Frame::fromVector(QVector<uint32_t>(12, 200)));
}

void TestSignalRead::foreignLimitRepliesAreSkipped_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("decoy"); // what differs in the reply that comes first

    QTest::newRow("A8 96 of another direction") << 0x7201 << "direction";
    QTest::newRow("A8 96 of another axis") << 0x7201 << "axis";
    QTest::newRow("A8 86 of another LED window") << 0x4410 << "window";
}

// Before each genuine limits reply the frame sends one for another
// direction, axis or LED window, with other limits: it is skipped, and the
// limits are the genuine ones.
void TestSignalRead::foreignLimitRepliesAreSkipped()
{
    QFETCH(int, version);
    QFETCH(QString, decoy);

    CPanelRig rig{quint16(version)};
    SmallFrame(rig);
    rig.panel.Edit([&](CEmulatedPanel::Model &m) {
        m.bParamBlock = version == 0x7201;
        m.bA816 = version == 0x7201;
    });
    const bool bA816 = version == 0x7201;
    rig.frame.AddHandler(0xA8, bA816 ? 0x16 : 0x06,
                         [&](CEmulatedFrame &frame, const QByteArray &q, QList<CEmulatedFrame::Action> *pA) {
                             QByteArray r = frame.DataReply(0xA8, bA816 ? 0x96 : 0x86);
                             if (bA816) {
                                 r[5] = char(CEmulatedFrame::Byte(q, 5) ^ (decoy == QLatin1String("direction") ? 1 : 0));
                                 r[6] = char(CEmulatedFrame::Byte(q, 6) ^ (decoy == QLatin1String("axis") ? 1 : 0));
                                 CEmulatedFrame::PutU16Le(&r, 11, 4 * 7); // ADC 3..7
                                 CEmulatedFrame::PutU16Le(&r, 13, 4 * 3);
                             } else {
                                 CEmulatedFrame::PutU16Le(&r, 5, 7); // a window no direction has
                                 CEmulatedFrame::PutU16Le(&r, 7, 9);
                                 CEmulatedFrame::PutU16Le(&r, 9, 4 * 7);
                                 CEmulatedFrame::PutU16Le(&r, 11, 4 * 3);
                             }
                             CEmulatedFrame::Action a;
                             a.report = r;
                             pA->append(a);
                             return false; // the panel answers as well
                         });
    QCOMPARE(CodeHex(rig.hw.InitTestConfig()), CodeHex(0));
    for (int a = 0; a < 2; ++a) {
        CAxisSignalInfo &axis = rig.hw.GetAxisSignalMap()[a ? QStringLiteral("Y") : QStringLiteral("X")];
        for (int d = 0; d < 3; ++d) {
            const CEmulatedPanel::Limits l = rig.panel.Snapshot().limits[a][d];
            const RangeList ranges = axis.GetTestStandards(QStringLiteral("T%1").arg(d), "ADC");
            QVERIFY(!ranges.isEmpty());
            QCOMPARE(ranges.first(), (SignalRange{l.adcLo, l.adcHi}));
        }
    }
}

// A status answers A5 07 (0x83: the frame has no layout values) and A8 05
// (the standard rule): the query ends with the status's result at once, not
// with a time-out after its retries.
void TestSignalRead::statusRepliesOfThePanelQueries()
{
    CPanelRig rig{0x4410};
    rig.frame.SetFault(0xA5, 0x07, CEmulatedFrame::StatusReply(0x83));
    QCOMPARE(CodeHex(rig.hw.GetLayoutParams()), CodeHex(HardwareInterface::RESULT_STATUS));
    QCOMPARE(rig.Count(0xA5, 0x07), 1);

    const struct
    {
        quint8 nStatus;
        int32_t nResult;
    } cases[] = {{0x81, 0}, {0x82, HardwareInterface::RESULT_BUSY}, {0x83, HardwareInterface::RESULT_STATUS}};
    for (const auto &c : cases) {
        CPanelRig threshold;
        threshold.frame.SetFault(0xA8, 0x05, CEmulatedFrame::StatusReply(c.nStatus));
        int nDivide = -7;
        double dRatio = -7;
        QCOMPARE(CodeHex(threshold.hw.GetSignalThreshold(&nDivide, &dRatio)), CodeHex(c.nResult));
        QCOMPARE(threshold.Count(0xA8, 0x05), 1);
        QCOMPARE(nDivide, -7); // no values from a status
        QCOMPARE(dRatio, -7.0);
    }
}

STATION_TEST_MAIN_CORE(TestSignalRead)
#include "tst_signalread.moc"
