// Test core: property list, frame numbers and the order of a test run with
// its AGC re-initialisation policy.

#include "faketouch.h"
#include "testenvironment.h"
#include "testpanel.h"

#include <QtTest>

namespace {

const QString kX0 = QStringLiteral("X-T0");

// A small panel: X has 6 LEDs (Bottom 3+3 -> Top 3+3), Y has 2 (Right -> Left).
void BuildSmallPanel(CFakeTouch &touch)
{
    TestPanelShape shape;
    shape.lstBottom = {3, 3};
    shape.lstTop = {3, 3};
    shape.lstLeft = {2};
    shape.lstRight = {2};
    CTestPanel::Build(touch, shape);
}

// ADC reads whose call index is listed carry one LED of X (LED 4) far above its window.
void BreakAdcReads(CFakeTouch &touch, const QList<int> &lstBad)
{
    touch.SetFrameSource([&touch, lstBad](const QString &strKind, int nCall, const QString &strKey) {
        const uint32_t nCount = touch.GetAxisSignalMap().value(strKey.left(1)).GetMaxSignal();
        SignalFrame frame = CTestPanel::Uniform(nCount, CTestPanel::HealthyValue(strKind));
        if (strKind == QLatin1String("ADC") && lstBad.contains(nCall) && strKey == kX0)
            frame[4] = 300;
        return frame;
    });
}

} // namespace

class TestTouchBase : public QObject
{
    Q_OBJECT

private slots:
    void constructorValues();
    void properties();
    void frameNumbers();
    void healthyRun();
    void policy_data();
    void policy();
    void noAdcFrames();
    void toleratedWeakSignalGoesOn();
    void deviceFailure_data();
    void deviceFailure();
};

void TestTouchBase::constructorValues()
{
    CFakeTouch touch;
    QCOMPARE(touch.GetTestTimesForUnt(), 10);
    QCOMPARE(touch.GetMaxTolerantWeakSignalEachLed(), 0u);
    QCOMPARE(touch.GetMaxTolerantWeakSignalTotal(), 0u);
    QCOMPARE(touch.GetInitAgcWhileRetest(), 0);
    QCOMPARE(touch.GetFrameNumber(), 0u);
    QCOMPARE(touch.GetRecordBase(), 0u);
    QCOMPARE(touch.GetName(), QStringLiteral("fake"));
    QCOMPARE(touch.GetType(), 1);
    QVERIFY(!touch.IsReverseMode());
    QVERIFY(!touch.IsSupportRealTimeTest());
    QCOMPARE(touch.GetEnableTestUart(), 0);
    QCOMPARE(touch.GetEnableTestDoubleUsb(), 0);
    QCOMPARE(touch.GetInterfaceTestResult(), qMakePair(QString(), QString()));

    QCOMPARE(touch.SetReverseMode(true), 0);
    QVERIFY(touch.IsReverseMode());
    touch.SetInterfaceTestResult(qMakePair(QStringLiteral("UART"), QStringLiteral("PASS")));
    QCOMPARE(touch.GetInterfaceTestResult(), qMakePair(QStringLiteral("UART"), QStringLiteral("PASS")));
    touch.ClearInterfaceTestResult();
    QCOMPARE(touch.GetInterfaceTestResult(), qMakePair(QString(), QString()));
    touch.GetSignalErrors().insert(QStringLiteral("k"), QStringLiteral("v"));
    QCOMPARE(touch.ResetSignalErrors(), 0);
    QVERIFY(touch.GetSignalErrors().isEmpty());
}

void TestTouchBase::properties()
{
    CFakeTouch touch;
    QCOMPARE(touch.GetProperty(QStringLiteral("McuID")), QString());
    QCOMPARE(touch.SetProperty(QStringLiteral("McuID"), QStringLiteral("A1")), false);
    QCOMPARE(touch.SetProperty(QStringLiteral("McuID"), QStringLiteral("B2")), true);
    QCOMPARE(touch.GetProperty(QStringLiteral("McuID")), QStringLiteral("B2"));
    QCOMPARE(touch.GetProperty(QStringLiteral("mcuid")), QString());

    // With a key twice, look-ups and replacement take the first.
    touch.GetPropertyList().append(qMakePair(QStringLiteral("Product"), QStringLiteral("P1")));
    touch.GetPropertyList().append(qMakePair(QStringLiteral("Product"), QStringLiteral("P2")));
    QCOMPARE(touch.GetProperty(QStringLiteral("Product")), QStringLiteral("P1"));
    QCOMPARE(touch.SetProperty(QStringLiteral("Product"), QStringLiteral("P3")), true);
    QCOMPARE(touch.GetPropertyList(),
             (QList<CPropertyItem>{qMakePair(QStringLiteral("McuID"), QStringLiteral("B2")),
                                   qMakePair(QStringLiteral("Product"), QStringLiteral("P3")),
                                   qMakePair(QStringLiteral("Product"), QStringLiteral("P2"))}));
}

void TestTouchBase::frameNumbers()
{
    CFakeTouch touch;
    QCOMPARE(touch.PrevFrame(), 0u);
    QCOMPARE(touch.GetFrameNumber(), 0u);
    QCOMPARE(touch.NextFrame(), 1u);
    QCOMPARE(touch.NextFrame(), 2u);
    QCOMPARE(touch.PrevFrame(), 1u);
    QCOMPARE(touch.PrevFrame(), 0u);
    QCOMPARE(touch.PrevFrame(), 0u);
}

void TestTouchBase::healthyRun()
{
    CFakeTouch touch;
    BuildSmallPanel(touch);
    touch.SetFrameNumber(40);
    QCOMPARE(touch.RunTest(), 0);

    QStringList lstExpected{QStringLiteral("ClearSignalData"), QStringLiteral("REVERSE"), QStringLiteral("Record:REVERSE:0"),
                            QStringLiteral("AGC"), QStringLiteral("Record:AGC:1")};
    for (int f = 2; f <= 11; ++f)
        lstExpected << QStringLiteral("ADC") << QStringLiteral("Record:ADC:%1").arg(f);
    lstExpected << QStringLiteral("CalcUntSignal");
    QCOMPARE(touch.Calls(), lstExpected);
    QCOMPARE(touch.GetRecordBase(), 11u);
    QVERIFY(touch.GetSignalErrors().isEmpty());
    for (const QString &strKey : {kX0, QStringLiteral("Y-T0")}) {
        QCOMPARE(touch.Signals(QStringLiteral("REVERSE")).value(strKey).size(), 1);
        QCOMPARE(touch.Signals(QStringLiteral("AGC")).value(strKey).size(), 1);
        QCOMPARE(touch.Signals(QStringLiteral("ADC")).value(strKey).size(), 10);
        QCOMPARE(touch.Signals(QStringLiteral("UNT")).value(strKey).size(), 1);
    }
    // Steady readings fluctuate by nothing.
    QCOMPARE(touch.Signals(QStringLiteral("UNT")).value(kX0).at(0), CTestPanel::Uniform(6, 0));
    QCOMPARE(touch.GetAxisSignalMap()[QStringLiteral("X")].GetRecordCount(), 11u);
}

void TestTouchBase::policy_data()
{
    QTest::addColumn<int>("policy");
    QTest::addColumn<QList<int>>("badAdcReads"); // call indices of ADC reads with an LED out of limits
    QTest::addColumn<int>("initAgc");
    QTest::addColumn<int>("reverseReads");
    QTest::addColumn<int>("adcReads");
    QTest::addColumn<int>("untCalcs");
    QTest::addColumn<int>("errors"); // keys left in the signal-error map
    QTest::addColumn<uint>("recordBase");

    QTest::newRow("0 healthy: one pass") << 0 << QList<int>{} << 0 << 1 << 10 << 1 << 0 << 11u;
    QTest::newRow("0 errors at 3rd ADC: re-init and second pass")
        << 0 << QList<int>{2} << 1 << 2 << 13 << 1 << 0 << 11u;
    QTest::newRow("0 errors in both passes") << 0 << QList<int>{2, 5} << 1 << 2 << 6 << 0 << 1 << 4u;
    QTest::newRow("0 errors at last ADC") << 0 << QList<int>{9} << 1 << 2 << 20 << 1 << 0 << 11u;
    QTest::newRow("0 errors at first ADC") << 0 << QList<int>{0} << 1 << 2 << 11 << 1 << 0 << 11u;
    QTest::newRow("7 acts as 0") << 7 << QList<int>{2} << 1 << 2 << 13 << 1 << 0 << 11u;
    QTest::newRow("-1 healthy") << -1 << QList<int>{} << 0 << 1 << 10 << 1 << 0 << 11u;
    QTest::newRow("-1 errors stay, no second pass") << -1 << QList<int>{2} << 0 << 1 << 3 << 0 << 1 << 4u;
    QTest::newRow("1 healthy: re-init first, one pass") << 1 << QList<int>{} << 1 << 1 << 10 << 1 << 0 << 11u;
    QTest::newRow("1 errors: one pass whatever it finds") << 1 << QList<int>{2} << 1 << 1 << 3 << 0 << 1 << 4u;
}

void TestTouchBase::policy()
{
    QFETCH(int, policy);
    QFETCH(QList<int>, badAdcReads);
    QFETCH(int, initAgc);
    QFETCH(int, reverseReads);
    QFETCH(int, adcReads);
    QFETCH(int, untCalcs);
    QFETCH(int, errors);
    QFETCH(uint, recordBase);

    CFakeTouch touch;
    BuildSmallPanel(touch);
    BreakAdcReads(touch, badAdcReads);
    touch.SetInitAgcWhileRetest(policy);
    QCOMPARE(touch.RunTest(), 0);
    QCOMPARE(touch.CallCount(QStringLiteral("InitAgc")), initAgc);
    QCOMPARE(touch.ReadCount(QStringLiteral("REVERSE")), reverseReads);
    QCOMPARE(touch.ReadCount(QStringLiteral("AGC")), reverseReads);
    QCOMPARE(touch.ReadCount(QStringLiteral("ADC")), adcReads);
    QCOMPARE(touch.CallCount(QStringLiteral("CalcUntSignal")), untCalcs);
    QCOMPARE(touch.GetSignalErrors().size(), errors);
    QCOMPARE(touch.GetRecordBase(), recordBase);
    if (errors)
        QCOMPARE(touch.GetSignalErrors().value(QStringLiteral("X-T0:[T1:1-R1:1]")), QStringLiteral("ADC:1200"));

    // A re-initialisation starts the frame numbers again: the pass after it
    // records REVERSE under 0.
    if (initAgc) {
        const QStringList lstCalls = touch.Calls();
        const int nInit = lstCalls.indexOf(QStringLiteral("InitAgc"));
        QCOMPARE(lstCalls.mid(nInit + 1, 2), QStringList({QStringLiteral("REVERSE"), QStringLiteral("Record:REVERSE:0")}));
        QCOMPARE(lstCalls.at(nInit - 1), QStringLiteral("ClearSignalData"));
    }
}

void TestTouchBase::noAdcFrames()
{
    CFakeTouch touch;
    BuildSmallPanel(touch);
    touch.SetTestTimesForUnt(0);
    QCOMPARE(touch.RunTest(), 0);
    QCOMPARE(touch.ReadCount(QStringLiteral("ADC")), 0);
    QCOMPARE(touch.CallCount(QStringLiteral("CalcUntSignal")), 1);
    QVERIFY(touch.Signals(QStringLiteral("UNT")).isEmpty());
    QCOMPARE(touch.GetRecordBase(), 1u);

    CFakeTouch negative;
    BuildSmallPanel(negative);
    negative.SetTestTimesForUnt(-5);
    QCOMPARE(negative.RunTest(), 0);
    QCOMPARE(negative.ReadCount(QStringLiteral("ADC")), 0);
    QCOMPARE(negative.GetRecordBase(), 1u);
}

// Out-of-limit LEDs within the tolerances are emptied from the map after each
// frame, so the pass reads on.
void TestTouchBase::toleratedWeakSignalGoesOn()
{
    CFakeTouch touch;
    BuildSmallPanel(touch);
    BreakAdcReads(touch, {2, 6});
    touch.SetTolerances(1, 1);
    touch.GetAxisSignalMap()[QStringLiteral("X")].SetMaxTolerantSignalCount(QStringLiteral("T0"), 1);
    QCOMPARE(touch.RunTest(), 0);
    QCOMPARE(touch.ReadCount(QStringLiteral("ADC")), 10);
    QCOMPARE(touch.CallCount(QStringLiteral("InitAgc")), 0);
    QVERIFY(touch.GetSignalErrors().isEmpty());
    QCOMPARE(touch.GetRecordBase(), 11u);
}

void TestTouchBase::deviceFailure_data()
{
    QTest::addColumn<int>("policy");
    QTest::addColumn<QString>("kind"); // "InitAgc" or a read kind
    QTest::addColumn<int>("call");
    QTest::addColumn<QList<int>>("badAdcReads");
    QTest::addColumn<int>("adcFramesKept"); // frames per key left in the ADC map

    QTest::newRow("REVERSE") << 0 << "REVERSE" << 0 << QList<int>{} << 0;
    QTest::newRow("AGC") << 0 << "AGC" << 0 << QList<int>{} << 0;
    QTest::newRow("5th ADC") << 0 << "ADC" << 4 << QList<int>{} << 4;
    QTest::newRow("InitAgc first") << 1 << "InitAgc" << 0 << QList<int>{} << 0;
    QTest::newRow("InitAgc after errors") << 0 << "InitAgc" << 0 << QList<int>{1} << 0; // cleared before InitAgc
    QTest::newRow("AGC of second pass") << 0 << "AGC" << 1 << QList<int>{1} << 0;
    QTest::newRow("ADC of second pass") << 0 << "ADC" << 4 << QList<int>{1} << 2;
}

// A negative device result ends the run at once with that result; the maps
// keep what was read and the record base stays.
void TestTouchBase::deviceFailure()
{
    QFETCH(int, policy);
    QFETCH(QString, kind);
    QFETCH(int, call);
    QFETCH(QList<int>, badAdcReads);
    QFETCH(int, adcFramesKept);

    const int32_t nCode = static_cast<int32_t>(0x80110001u);
    CFakeTouch touch;
    BuildSmallPanel(touch);
    BreakAdcReads(touch, badAdcReads);
    touch.SetInitAgcWhileRetest(policy);
    touch.SetRecordBase(77);
    if (kind == QLatin1String("InitAgc"))
        touch.FailInitAgc(nCode);
    else
        touch.FailRead(kind, call, nCode);

    QCOMPARE(touch.RunTest(), nCode);
    QCOMPARE(touch.GetRecordBase(), 77u);
    QCOMPARE(touch.Signals(QStringLiteral("ADC")).value(kX0).size(), adcFramesKept);
    QCOMPARE(touch.CallCount(QStringLiteral("CalcUntSignal")), 0);
    const QString strLast = touch.Calls().last();
    QCOMPARE(strLast, kind);
}

STATION_TEST_MAIN_CORE(TestTouchBase)
#include "tst_touchbase.moc"
