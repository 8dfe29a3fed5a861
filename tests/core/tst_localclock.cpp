#include "localclock.h"
#include "testenvironment.h"

#include <QCoreApplication>
#include <QThread>
#include <QtTest>
#include <atomic>

class TestLocalClock : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        CLocalClock::SetSource(nullptr);
    }

    void realLocalTimeByDefault()
    {
        const QDateTime before = QDateTime::currentDateTime();
        const QDateTime now = CLocalClock::Now();
        const QDateTime after = QDateTime::currentDateTime();
        QVERIFY(before <= now && now <= after);
        QCOMPARE(now.timeSpec(), Qt::LocalTime);
    }

    void fixedUntilReset()
    {
        const QDateTime fixed(QDate(2024, 12, 31), QTime(23, 59, 59, 999));
        CLocalClock::SetFixed(fixed);
        QCOMPARE(CLocalClock::Now(), fixed);
        QCOMPARE(CLocalClock::Now(), fixed);
        CLocalClock::SetSource(nullptr);
        QVERIFY(qAbs(CLocalClock::Now().secsTo(QDateTime::currentDateTime())) < 60);
    }

    void sourceIsAskedEveryTime()
    {
        const QDateTime start(QDate(2024, 3, 7), QTime(9, 5, 4, 7));
        int nCalls = 0;
        CLocalClock::SetSource([&] { return start.addMSecs(nCalls++); });
        QCOMPARE(CLocalClock::Now(), start);
        QCOMPARE(CLocalClock::Now(), start.addMSecs(1));
        QCOMPARE(nCalls, 2);
    }

    // Readers on other threads see either the source or the real clock,
    // whatever the test changes meanwhile (and a replaced source stays alive
    // for a call in flight).
    void readersWhileTheSourceChanges()
    {
        const QDateTime fixed(QDate(2001, 2, 3), QTime(4, 5, 6));
        std::atomic<bool> bStop{false};
        std::atomic<int> nOdd{0};
        QList<QThread *> readers;
        for (int i = 0; i < 4; ++i) {
            readers << QThread::create([&] {
                while (!bStop.load()) {
                    const QDateTime now = CLocalClock::Now();
                    if (now != fixed && now.date().year() < 2020)
                        ++nOdd;
                }
            });
            readers.last()->start();
        }
        for (int i = 0; i < 2000; ++i) {
            if (i % 2)
                CLocalClock::SetFixed(fixed);
            else
                CLocalClock::SetSource(nullptr);
        }
        bStop = true;
        for (QThread *pThread : readers) {
            QVERIFY(pThread->wait(10000));
            delete pThread;
        }
        QCOMPARE(nOdd.load(), 0);
    }

    // The test environment's switch, as the other tests use it.
    void testEnvironmentFixesAndRestores()
    {
        const QDateTime fixed(QDate(2024, 3, 7), QTime(9, 5, 4, 7));
        CTestEnvironment::FixLocalTime(fixed);
        QCOMPARE(CLocalClock::Now(), fixed);
        CTestEnvironment::RealClock();
        QVERIFY(CLocalClock::Now() != fixed);
    }
};

STATION_TEST_MAIN_CORE(TestLocalClock)
#include "tst_localclock.moc"
