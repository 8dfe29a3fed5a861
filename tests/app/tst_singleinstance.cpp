// The single-instance guard in one process: the running instance is served by
// this thread's event loop, later starts send from other threads.

#include "singleinstance.h"
#include "stationclock.h"
#include "testenvironment.h"

#include <QLocalSocket>
#include <QSignalSpy>
#include <QUuid>
#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {
QString FreshId()
{
    return QStringLiteral("KESTREL-TEST ") + QUuid::createUuid().toString();
}

// SendMessage from a later start, run on its own thread while this thread's
// event loop serves the running instance.
class CSender
{
public:
    CSender(const QString& strId, const QByteArray& message, int nTimeoutMs)
        : m_thread([this, strId, message, nTimeoutMs] {
              CSingleInstance later(strId);
              m_bOtherRunning = later.IsRunning();
              m_bDelivered = later.SendMessage(message, nTimeoutMs);
              m_bDone = true;
          })
    {
    }
    ~CSender() { m_thread.join(); }

    bool Done() const { return m_bDone; }
    bool Delivered() const { return m_bDelivered; }
    bool OtherRunning() const { return m_bOtherRunning; }

private:
    std::atomic<bool> m_bDone{false};
    std::atomic<bool> m_bDelivered{false};
    std::atomic<bool> m_bOtherRunning{false};
    std::thread m_thread;
};
} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void laterStartDeliversItsMessage_data();
    void laterStartDeliversItsMessage();
    void hostileFramesAreDropped();
    void noAnswerIsNotDelivered();
    void windowIsRaisedOnMessage();
};

void TestSingleInstance::laterStartDeliversItsMessage_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("activate");
    QTest::newRow("binary") << QByteArray("\x00\x06\xff", 3);
}

void TestSingleInstance::laterStartDeliversItsMessage()
{
    QFETCH(QByteArray, message);
    const QString id = FreshId();
    CSingleInstance first(id);
    QVERIFY(!first.IsRunning());
    QVERIFY(!first.IsRunning()); // decided once
    QSignalSpy received(&first, &CSingleInstance::MessageReceived);

    CSender later(id, message, 5000);
    QTRY_VERIFY(later.Done());
    QVERIFY(later.OtherRunning());
    QVERIFY(later.Delivered());
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0).toByteArray(), message);
}

void TestSingleInstance::hostileFramesAreDropped()
{
    const QString id = FreshId();
    CSingleInstance first(id);
    QVERIFY(!first.IsRunning());
    QSignalSpy received(&first, &CSingleInstance::MessageReceived);

    // A length far beyond any message: the connection is dropped.
    QLocalSocket huge;
    huge.connectToServer(first.ServerPath());
    QVERIFY(huge.waitForConnected(1000));
    huge.write(QByteArray::fromHex("7fffffff") + QByteArray(16, 'x'));
    huge.flush();
    QTRY_COMPARE(huge.state(), QLocalSocket::UnconnectedState);

    // Half a frame, then gone.
    {
        QLocalSocket half;
        half.connectToServer(first.ServerPath());
        QVERIFY(half.waitForConnected(1000));
        half.write(QByteArray::fromHex("00000010") + "abc");
        half.flush();
        QTest::qWait(20);
    }
    QTest::qWait(20);
    QCOMPARE(received.count(), 0);

    // The running instance still serves a proper message.
    CSender later(id, "ok", 5000);
    QTRY_VERIFY(later.Done());
    QVERIFY(later.Delivered());
    QCOMPARE(received.count(), 1);
}

void TestSingleInstance::noAnswerIsNotDelivered()
{
    const QString id = FreshId();
    CSingleInstance first(id);
    QVERIFY(!first.IsRunning());

    // Nobody serves this thread's event loop while the later start waits:
    // it connects, but never gets an answer.
    CTestEnvironment::FastClock(0.01); // 5000 ms -> 50 ms
    CSingleInstance later(id);
    QVERIFY(later.IsRunning());
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!later.SendMessage(QByteArray(), 5000));
    QVERIFY(timer.elapsed() < 2000);
    CTestEnvironment::RealClock();

    // Nobody at all: the lock is free and nothing listens.
    CSingleInstance alone(FreshId());
    CTestEnvironment::FastClock(0.01);
    QVERIFY(!alone.SendMessage(QByteArray(), 5000));
    CTestEnvironment::RealClock();
}

void TestSingleInstance::windowIsRaisedOnMessage()
{
    const QString id = FreshId();
    CSingleInstance first(id);
    QVERIFY(!first.IsRunning());
    QWidget window;
    window.showMinimized();
    first.SetActivationWindow(&window, true);

    CSender later(id, QByteArray(), 5000);
    QTRY_VERIFY(later.Done());
    QVERIFY(later.Delivered());
    QTRY_VERIFY(window.isVisible());
    QVERIFY(!(window.windowState() & Qt::WindowMinimized));
}

STATION_TEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
