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
        QTest::addColumn<int>("in");
        QTest::addColumn<int>("out");
        QTest::newRow("real") << 1.0 << 10000 << 10000;
        QTest::newRow("fast") << 0.001 << 10000 << 10;
        QTest::newRow("never below 1 ms") << 0.001 << 5 << 1;
        QTest::newRow("zero stays zero") << 0.001 << 0 << 0;
        QTest::newRow("negative passes") << 0.5 << -1 << -1;
    }
    void timeoutScales()
    {
        QFETCH(double, scale);
        QFETCH(int, in);
        QFETCH(int, out);
        CStationClock::SetTimeoutScale(scale);
        QCOMPARE(CStationClock::Timeout(in), out);
        CStationClock::SetTimeoutScale(1.0);
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
    void nowIsMonotonic()
    {
        qint64 last = CStationClock::NowMs();
        for (int i = 0; i < 1000; ++i) {
            const qint64 now = CStationClock::NowMs();
            QVERIFY(now >= last);
            last = now;
        }
    }
};

STATION_TEST_MAIN_CORE(TestStationClock)
#include "tst_stationclock.moc"
