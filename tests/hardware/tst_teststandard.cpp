// The per-product limits of the parameter table laid over the limits a frame
// reported: the limit grammar and the keys it applies to.

#include "axissignalinfo.h"
#include "panelrig.h"
#include "teststandard.h"
#include "testenvironment.h"

#include <QFile>
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
    void initTestCase();
    void parse_data();
    void parse();
    void applyLimitKey_data();
    void applyLimitKey();
    void absentDirection();
    void entryOfTheFrame_data();
    void entryOfTheFrame();
};

// The parameter table of this process, read once on first use from the
// working directory (a fresh temporary folder for this test).
void TestTestStandard::initTestCase()
{
    QFile file(QStringLiteral("TouchTestInfo-V0001.csv"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Key,Value\n"
               "********,MaxTolerantWeakSignalTotal:4,Interface:b,X-T1-ADC:90-250\n"
               "Product:AB55,SupportRealTimeTest:1,MaxTolerantWeakSignalEachLed:2,eInitAgcWhileRetest:-1,"
               "bCheckLedError:1,bEnableTestUart:3,bEnableTestDoubleUsb:x,X-T1-ADC:120-3000,X-T1-TOL:3\n"
               "CheckSum:0x0012-0x0034,X-T1-UNT:0-20-Percent,Y-T0-ADC:100-2000-50-80-Absolute,Z-T1-ADC:1-2,"
               "X-ADC:1-2,Interface:h,MaxTolerantWeakSignalTotal:x\n"
               "CheckSum:0x0077,Y-T2-TOL:7,X-T7-AGC:1-2-Percent\n");
}

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

void TestTestStandard::entryOfTheFrame_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<int>("sum1");
    QTest::addColumn<int>("sum2");
    QTest::addColumn<QString>("options"); // total, each LED, AGC policy, real time, LED check, uart, double USB
    QTest::addColumn<int>("interfaceType");
    QTest::addColumn<int>("interfaceDir");
    QTest::addColumn<RangeList>("xT1Adc");
    QTest::addColumn<int>("xT1Tol");

    // Checksums that differ are looked up whole: the checksum row wins whole
    // (the defaults above it included; its own unparsable total gives 0).
    QTest::newRow("checksum row") << "AB55-10P" << 0x12 << 0x34 << "0 0 0 0 0 0 0" << 7 << 1
                                  << RangeList{{90, 250}} << 0;
    // Equal checksums are looked up by one of them; no such row, so the
    // product row of AB55 (the "-10P" removed).
    QTest::newRow("product row") << "AB55-10P" << 0x99 << 0x99 << "4 2 -1 1 1 3 0" << 1 << 1
                                 << RangeList{{120, 3000}} << 3;
    QTest::newRow("defaults") << "CD12-65P" << 0x01 << 0x01 << "4 0 0 0 0 0 0" << 1 << 1 << RangeList{{90, 250}}
                              << 0;
    QTest::newRow("checksum row by one checksum") << "CD12" << 0x77 << 0x77 << "4 0 0 0 0 0 0" << 1 << 1
                                                  << RangeList{{90, 250}} << 0;
}

// The entry of the frame under test is laid over what the frame reported,
// last in the preparation.
void TestTestStandard::entryOfTheFrame()
{
    QFETCH(QString, product);
    QFETCH(int, sum1);
    QFETCH(int, sum2);
    QFETCH(QString, options);
    QFETCH(int, interfaceType);
    QFETCH(int, interfaceDir);
    QFETCH(RangeList, xT1Adc);
    QFETCH(int, xT1Tol);

    CPanelRig rig;
    rig.frame.Edit([&](CEmulatedFrame::State &s) {
        s.info.product = product.toLatin1();
        s.info.first.nAppChecksum = quint16(sum1);
        s.info.second.nAppChecksum = quint16(sum2);
    });
    QCOMPARE(CodeHex(rig.hw.InitTestConfig()), CodeHex(0));
    const QStringList o = options.split(QLatin1Char(' '));
    QCOMPARE(rig.hw.GetMaxTolerantWeakSignalTotal(), o[0].toUInt());
    QCOMPARE(rig.hw.GetMaxTolerantWeakSignalEachLed(), o[1].toUInt());
    QCOMPARE(rig.hw.GetInitAgcWhileRetest(), o[2].toInt());
    QCOMPARE(rig.hw.IsSupportRealTimeTest(), o[3] == QLatin1String("1"));
    QCOMPARE(rig.hw.IsCheckLedError(), o[4] == QLatin1String("1"));
    QCOMPARE(rig.hw.GetEnableTestUart(), o[5].toInt());
    QCOMPARE(rig.hw.GetEnableTestDoubleUsb(), o[6].toInt());
    QCOMPARE(rig.hw.GetHardwareInfo().GetInterfaceType(), interfaceType);
    QCOMPARE(rig.hw.GetHardwareInfo().GetInterfaceDir(), interfaceDir);

    QMap<QString, CAxisSignalInfo> &axes = rig.hw.GetAxisSignalMap();
    CAxisSignalInfo &x = axes[QStringLiteral("X")];
    CAxisSignalInfo &y = axes[QStringLiteral("Y")];
    QCOMPARE(x.GetTestStandards("T1", "ADC"), xT1Adc);
    QCOMPARE(x.GetMaxTolerantSignalCount("T1"), uint32_t(xT1Tol));
    // The frame's own limits where the entry says nothing (the emulated frame
    // reports ADC 100..255, problem 0..30, UNT 0..40).
    QCOMPARE(x.GetTestStandards("T0", "ADC"), (RangeList{{100, 255}}));
    const bool bChecksumRow = QTest::currentDataTag() == QByteArray("checksum row");
    QCOMPARE(x.GetTestStandards("T1", "UNT"), (bChecksumRow ? RangeList{{0, 20}} : RangeList{{0, 40}}));
    QCOMPARE(x.GetStandardType("T1", "UNT"), bChecksumRow ? QStringLiteral("Percent") : QStringLiteral("Absolute"));
    QCOMPARE(y.GetTestStandards("T0", "ADC"), (bChecksumRow ? RangeList{{100, 2000}} : RangeList{{100, 255}}));
    QCOMPARE(y.GetProblemStandards("T0", "ADC"), (bChecksumRow ? RangeList{{50, 80}} : RangeList{{0, 30}}));
    QVERIFY(!axes.contains(QStringLiteral("Z")));
    const bool b77 = sum1 == 0x77;
    QCOMPARE(y.GetMaxTolerantSignalCount("T2"), b77 ? 7u : 0u);
    QCOMPARE(x.GetDirMap().contains(QStringLiteral("T7")), b77);
    if (b77) {
        QCOMPARE(x.GetStandardType("T7", "AGC"), QStringLiteral("Percent"));
        QVERIFY(x.GetTestStandards("T7", "AGC").isEmpty());
    }
}

STATION_TEST_MAIN_CORE(TestTestStandard)
#include "tst_teststandard.moc"
