#include "stationclock.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QtTest>

class TestStationClock : public QObject
{
    Q_OBJECT
private slots:
    void timeoutScales_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("floor");
        QTest::addColumn<int>("in");
        QTest::addColumn<int>("out");
        QTest::newRow("real") << 1.0 << 0 << 10000 << 10000;
        QTest::newRow("fast") << 0.001 << 0 << 10000 << 10;
        QTest::newRow("never below 1 ms") << 0.001 << 0 << 5 << 1;
        QTest::newRow("zero stays zero") << 0.001 << 0 << 0 << 0;
        QTest::newRow("negative passes") << 0.5 << 0 << -1 << -1;
        QTest::newRow("fast, above its floor") << 0.02 << 30 << 10000 << 200;
        QTest::newRow("fast, held at its floor") << 0.02 << 30 << 1000 << 30;
        QTest::newRow("a wait shorter than the floor keeps its own") << 0.02 << 30 << 20 << 20;
        QTest::newRow("the floor never lengthens a real wait") << 1.0 << 30 << 20 << 20;
    }
    void timeoutScales()
    {
        QFETCH(double, scale);
        QFETCH(int, floor);
        QFETCH(int, in);
        QFETCH(int, out);
        CStationClock::SetTimeoutScale(scale);
        CStationClock::SetTimeoutFloor(floor);
        const int timeout = CStationClock::Timeout(in);
        CStationClock::SetTimeoutScale(1.0);
        CStationClock::SetTimeoutFloor(0);
        QCOMPARE(timeout, out);
    }
    void sleepHookReplacesTheWait()
    {
        int seen = -1;
        CStationClock::SetSleepHook([&](int ms) { seen = ms; });
        const qint64 t0 = CStationClock::NowMs();
        CStationClock::Sleep(6000);
        QVERIFY(CStationClock::NowMs() - t0 < 1000);
        QCOMPARE(seen, 6000);
        CStationClock::SetSleepHook(nullptr);
    }
    // The station's time is the hook's while one is set, and the clock's
    // again once it is taken off (device waits that use it: tst_touchdevice).
    void timeSourceHookMovesTheStationsTime()
    {
        const qint64 before = CStationClock::NowMs();
        CStationClock::SetTimeSourceHook([]() -> qint64 { return 86400000; });
        QCOMPARE(CStationClock::NowMs(), qint64(86400000));
        CStationClock::SetTimeSourceHook(nullptr);
        const qint64 after = CStationClock::NowMs();
        QVERIFY(after >= before && after < 86400000); // counted from the start of the process
    }
};

STATION_TEST_MAIN_CORE(TestStationClock)
#include "tst_stationclock.moc"
