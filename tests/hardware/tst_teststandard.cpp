// The per-product limits of the parameter table laid over the limits a frame
// reported: the limit grammar and the keys it applies to.

#include "axissignalinfo.h"
#include "teststandard.h"
#include "testenvironment.h"

#include <QtTest>

using RangeList = QList<SignalRange>;
Q_DECLARE_METATYPE(SignalRange)

namespace {

// X and Y with three directions; every kind of X/T1 and Y/T0 holds three
// zone ranges (edge, middle, edge) as a frame with a divide count gives them.
QMap<QString, CAxisSignalInfo> Axes()
{
    QMap<QString, CAxisSignalInfo> axes;
    for (const char *axis : {"X", "Y"}) {
        CAxisSignalInfo &a = axes[QLatin1String(axis)];
        for (const char *dir : {"T0", "T1", "T2"})
            for (const char *kind : {"ADC", "UNT", "AGC", "REVERSE"}) {
                for (int zone = 0; zone < 3; ++zone)
                    a.AddTestStandard(QLatin1String(dir), QLatin1String(kind), 10 + zone, 200);
                if (QLatin1String(kind) == QLatin1String("ADC"))
                    for (int zone = 0; zone < 3; ++zone)
                        a.AddProblemStandard(QLatin1String(dir), QLatin1String(kind), 0, 30);
                a.SetStandardType(QLatin1String(dir), QLatin1String(kind), QStringLiteral("Absolute"));
            }
    }
    return axes;
}

RangeList Ranges(int n, uint32_t lo, uint32_t hi)
{
    RangeList l;
    for (int i = 0; i < n; ++i)
        l << SignalRange{lo, hi};
    return l;
}

RangeList Zones(uint32_t hi)
{
    return RangeList{{10, hi}, {11, hi}, {12, hi}};
}

} // namespace

class TestTestStandard : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void applyLimitKey_data();
    void applyLimitKey();
    void absentDirection();
};

void TestTestStandard::parse_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("test");
    QTest::addColumn<uint>("lo");
    QTest::addColumn<uint>("hi");
    QTest::addColumn<bool>("problem");
    QTest::addColumn<uint>("plo");
    QTest::addColumn<uint>("phi");
    QTest::addColumn<QString>("type");

    QTest::newRow("lo-hi") << "120-3000" << true << 120u << 3000u << false << 0u << 0u << "";
    QTest::newRow("lo-hi-type") << "0-20-Percent" << true << 0u << 20u << false << 0u << 0u << "Percent";
    QTest::newRow("four parts") << "100-2000-50-80" << true << 100u << 2000u << true << 50u << 80u << "";
    QTest::newRow("five parts") << "100-2000-50-80-Absolute" << true << 100u << 2000u << true << 50u << 80u
                                << "Absolute";
    QTest::newRow("parts after the fifth") << "1-2-3-4-Percent-9-9" << true << 1u << 2u << true << 3u << 4u
                                           << "Percent";
    QTest::newRow("unknown type") << "1-2-percent" << true << 1u << 2u << false << 0u << 0u << "";
    QTest::newRow("three parts, third a number") << "1-2-3" << true << 1u << 2u << false << 0u << 0u << "";
    QTest::newRow("one part") << "17" << false << 0u << 0u << false << 0u << 0u << "";
    QTest::newRow("first pair bad, second good") << "100-x-50-80" << false << 0u << 0u << true << 50u << 80u
                                                 << "";
    QTest::newRow("empty number") << "-20" << false << 0u << 0u << false << 0u << 0u << "";
    QTest::newRow("above 32 bits") << "1-4294967296" << false << 0u << 0u << false << 0u << 0u << "";
    QTest::newRow("largest") << "0-4294967295" << true << 0u << 4294967295u << false << 0u << 0u << "";
}

void TestTestStandard::parse()
{
    QFETCH(QString, value);
    QFETCH(bool, test);
    QFETCH(uint, lo);
    QFETCH(uint, hi);
    QFETCH(bool, problem);
    QFETCH(uint, plo);
    QFETCH(uint, phi);
    QFETCH(QString, type);

    const CTestStandard s = CTestStandard::Parse(value);
    QCOMPARE(s.bTest, test);
    if (test) {
        QCOMPARE(s.nLo, lo);
        QCOMPARE(s.nHi, hi);
    }
    QCOMPARE(s.bProblem, problem);
    if (problem) {
        QCOMPARE(s.nProblemLo, plo);
        QCOMPARE(s.nProblemHi, phi);
    }
    QCOMPARE(s.strType, type);
}

void TestTestStandard::applyLimitKey_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("used");
    QTest::addColumn<QString>("axis");
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<RangeList>("tests");
    QTest::addColumn<RangeList>("problems");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("tolerance");

    QTest::newRow("X-T1-ADC 120-3000: every test zone, problems kept")
        << "X-T1-ADC" << "120-3000" << true << "X" << "T1" << "ADC" << Ranges(3, 120, 3000) << Ranges(3, 0, 30)
        << "Absolute" << 0;
    QTest::newRow("X-T1-UNT 0-20-Percent") << "X-T1-UNT" << "0-20-Percent" << true << "X" << "T1" << "UNT"
                                           << Ranges(3, 0, 20) << RangeList() << "Percent" << 0;
    QTest::newRow("Y-T0-ADC with both ranges and a type")
        << "Y-T0-ADC" << "100-2000-50-80-Absolute" << true << "Y" << "T0" << "ADC" << Ranges(3, 100, 2000)
        << Ranges(3, 50, 80) << "Absolute" << 0;
    QTest::newRow("X-T1-TOL 3") << "X-T1-TOL" << "3" << true << "X" << "T1" << "ADC" << Zones(200)
                                << Ranges(3, 0, 30) << "Absolute" << 3;
    QTest::newRow("TOL takes the first part") << "Y-T2-TOL" << "5-9" << true << "Y" << "T2" << "ADC" << Zones(200)
                                              << Ranges(3, 0, 30) << "Absolute" << 5;
    QTest::newRow("TOL not a number") << "Y-T2-TOL" << "x" << true << "Y" << "T2" << "ADC" << Zones(200)
                                      << Ranges(3, 0, 30) << "Absolute" << 0;
    QTest::newRow("value that does not parse") << "X-T1-ADC" << "100-x" << true << "X" << "T1" << "ADC"
                                               << Zones(200) << Ranges(3, 0, 30) << "Absolute" << 0;
    QTest::newRow("no axis Z") << "Z-T1-ADC" << "1-2" << false << "X" << "T1" << "ADC" << Zones(200)
                               << Ranges(3, 0, 30) << "Absolute" << 0;
    QTest::newRow("two parts") << "X-ADC" << "1-2" << false << "X" << "T1" << "ADC" << Zones(200)
                               << Ranges(3, 0, 30) << "Absolute" << 0;
    QTest::newRow("four parts") << "X-T1-ADC-1" << "1-2" << false << "X" << "T1" << "ADC" << Zones(200)
                                << Ranges(3, 0, 30) << "Absolute" << 0;
    QTest::newRow("axis names are case-sensitive") << "x-T1-ADC" << "1-2" << false << "X" << "T1" << "ADC"
                                                   << Zones(200) << Ranges(3, 0, 30) << "Absolute" << 0;
}

void TestTestStandard::applyLimitKey()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(bool, used);
    QFETCH(QString, axis);
    QFETCH(QString, dir);
    QFETCH(QString, kind);
    QFETCH(RangeList, tests);
    QFETCH(RangeList, problems);
    QFETCH(QString, type);
    QFETCH(int, tolerance);

    QMap<QString, CAxisSignalInfo> axes = Axes();
    QCOMPARE(CTestStandard::ApplyLimitKey(axes, key, value), used);
    QCOMPARE(axes.size(), 2);
    CAxisSignalInfo &a = axes[axis];
    QCOMPARE(a.GetTestStandards(dir, kind), tests);
    QCOMPARE(a.GetProblemStandards(dir, kind), problems);
    QCOMPARE(a.GetStandardType(dir, kind), type);
    QCOMPARE(int(a.GetMaxTolerantSignalCount(dir)), tolerance);
    // Nothing else changed.
    QCOMPARE(axes[QStringLiteral("X")].GetTestStandards(QStringLiteral("T0"), QStringLiteral("ADC")), Zones(200));
}

// A direction the frame did not report gets no ranges from the table, while
// a type or a tolerance is kept.
void TestTestStandard::absentDirection()
{
    QMap<QString, CAxisSignalInfo> axes = Axes();
    QVERIFY(CTestStandard::ApplyLimitKey(axes, QStringLiteral("X-T7-ADC"), QStringLiteral("1-2-3-4")));
    QVERIFY(!axes[QStringLiteral("X")].GetDirMap().contains(QStringLiteral("T7")));
    QVERIFY(CTestStandard::ApplyLimitKey(axes, QStringLiteral("X-T7-ADC"), QStringLiteral("1-2-Percent")));
    QCOMPARE(axes[QStringLiteral("X")].GetStandardType(QStringLiteral("T7"), QStringLiteral("ADC")),
             QStringLiteral("Percent"));
    QVERIFY(axes[QStringLiteral("X")].GetTestStandards(QStringLiteral("T7"), QStringLiteral("ADC")).isEmpty());
    QVERIFY(CTestStandard::ApplyLimitKey(axes, QStringLiteral("Y-T8-TOL"), QStringLiteral("4")));
    QCOMPARE(axes[QStringLiteral("Y")].GetMaxTolerantSignalCount(QStringLiteral("T8")), 4u);
}

STATION_TEST_MAIN_CORE(TestTestStandard)
#include "tst_teststandard.moc"
