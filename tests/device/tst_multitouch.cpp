// Touch injection: the multi-touch protocol B events made from the contacts
// a frame reports, and the injector without /dev/uinput (the axes the
// injector declares are checked on the mocked kernel, tst_uinputinjector).

#include "multitouchstate.h"
#include "recordingtouchinjector.h"
#include "runlogcapture.h"
#include "simulatortouchforos.h"
#include "testenvironment.h"
#include "touchsdk.h"

#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <linux/input.h>

namespace {
TouchPoint Point(int id, int state, int x, int y, int w = 100, int h = 50, int pressure = 30)
{
    return TouchPoint{id, state, x, y, w, h, pressure, 0};
}

// Value of the last event with this type and code in events, or -2 when absent.
int LastValue(const QVector<InjectEvent> &events, uint16_t type, uint16_t code)
{
    for (int i = events.size() - 1; i >= 0; --i) {
        if (events[i].type == type && events[i].code == code)
            return events[i].value;
    }
    return -2;
}

// An injector that holds each call until it is let go.
class CHoldingInjector : public CSimulatorTouch
{
public:
    ~CHoldingInjector() override { bDestroyed = true; }
    int InjectTouch(const TouchPoint *, int count, int, int) override
    {
        bInside = true;
        while (!bRelease.load())
            QThread::usleep(100);
        return count;
    }
    std::atomic<bool> bInside{false};
    std::atomic<bool> bRelease{false};
    static std::atomic<bool> bDestroyed;
};
std::atomic<bool> CHoldingInjector::bDestroyed{false};

int CountOf(const QVector<InjectEvent> &events, uint16_t type, uint16_t code, int value)
{
    int n = 0;
    for (const InjectEvent &e : events)
        n += (e.type == type && e.code == code && e.value == value) ? 1 : 0;
    return n;
}
} // namespace

class TestMultiTouch : public QObject
{
    Q_OBJECT

private slots:
    void downMoveUp()
    {
        CMultiTouchState state;
        TouchPoint down = Point(7, 1, 1000, 2000);
        const QVector<InjectEvent> first = state.Apply(&down, 1);
        const QVector<InjectEvent> expectFirst = {
            {EV_ABS, ABS_MT_SLOT, 0},           {EV_ABS, ABS_MT_TRACKING_ID, 0},
            {EV_ABS, ABS_MT_POSITION_X, 1000},  {EV_ABS, ABS_MT_POSITION_Y, 2000},
            {EV_ABS, ABS_MT_TOUCH_MAJOR, 100},  {EV_ABS, ABS_MT_TOUCH_MINOR, 50},
            {EV_ABS, ABS_MT_PRESSURE, 30},      {EV_ABS, ABS_X, 1000},
            {EV_ABS, ABS_Y, 2000},              {EV_KEY, BTN_TOUCH, 1},
            {EV_SYN, SYN_REPORT, 0},
        };
        QCOMPARE(first, expectFirst);
        TouchPoint move = Point(7, 2, 1100, 2100);
        const QVector<InjectEvent> second = state.Apply(&move, 1);
        QCOMPARE(LastValue(second, EV_ABS, ABS_MT_POSITION_X), 1100);
        QCOMPARE(LastValue(second, EV_ABS, ABS_MT_TRACKING_ID), -2); // same contact, no new id
        QCOMPARE(LastValue(second, EV_KEY, BTN_TOUCH), -2);
        QCOMPARE(second.last(), (InjectEvent{EV_SYN, SYN_REPORT, 0}));
        TouchPoint up = Point(7, 3, 0, 0);
        const QVector<InjectEvent> third = state.Apply(&up, 1);
        QCOMPARE(third, (QVector<InjectEvent>{{EV_ABS, ABS_MT_SLOT, 0},
                                              {EV_ABS, ABS_MT_TRACKING_ID, -1},
                                              {EV_KEY, BTN_TOUCH, 0},
                                              {EV_SYN, SYN_REPORT, 0}}));
        QCOMPARE(state.ActiveCount(), 0);
        // A new touch gets a new tracking id.
        const QVector<InjectEvent> again = state.Apply(&down, 1);
        QCOMPARE(LastValue(again, EV_ABS, ABS_MT_TRACKING_ID), 1);
    }

    void twoContactsUseTwoSlots()
    {
        CMultiTouchState state;
        TouchPoint points[] = {Point(1, 1, 10, 10), Point(0, 0, 5, 5), Point(2, 1, 20, 20)};
        const QVector<InjectEvent> events = state.Apply(points, 3);
        QCOMPARE(state.ActiveCount(), 2); // the state-0 point between them is skipped
        QCOMPARE(CountOf(events, EV_ABS, ABS_MT_SLOT, 0), 1);
        QCOMPARE(CountOf(events, EV_ABS, ABS_MT_SLOT, 1), 1);
        QCOMPARE(CountOf(events, EV_SYN, SYN_REPORT, 0), 1);
        TouchPoint lift = Point(1, 3, 0, 0);
        const QVector<InjectEvent> lifted = state.Apply(&lift, 1);
        QCOMPARE(CountOf(lifted, EV_ABS, ABS_MT_TRACKING_ID, -1), 1);
        QCOMPARE(LastValue(lifted, EV_KEY, BTN_TOUCH), -2); // contact 2 still down
        QCOMPARE(state.ActiveCount(), 1);
    }

    void onlyTheFirst32PointsCount()
    {
        CMultiTouchState state;
        QVector<TouchPoint> points;
        for (int i = 0; i < 40; ++i)
            points.append(Point(i, 1, i * 100, i * 100));
        const QVector<InjectEvent> events = state.Apply(points.constData(), points.size());
        QCOMPARE(state.ActiveCount(), 32);
        QCOMPARE(CountOf(events, EV_ABS, ABS_MT_POSITION_X, 3100), 1);
        QCOMPARE(CountOf(events, EV_ABS, ABS_MT_POSITION_X, 3200), 0);
    }

    void tolerantOfOddSequences()
    {
        CMultiTouchState state;
        TouchPoint moveUnknown = Point(5, 2, 10, 10);  // a move first: a touch
        QCOMPARE(LastValue(state.Apply(&moveUnknown, 1), EV_ABS, ABS_MT_TRACKING_ID), 0);
        TouchPoint downAgain = Point(5, 1, 20, 20);    // a touch of a known contact: a move
        QCOMPARE(LastValue(state.Apply(&downAgain, 1), EV_ABS, ABS_MT_TRACKING_ID), -2);
        TouchPoint upUnknown = Point(9, 3, 0, 0);      // a lift of an unknown contact: nothing
        QVERIFY(state.Apply(&upUnknown, 1).isEmpty());
        QVERIFY(state.Apply(nullptr, 5).isEmpty());
        QVERIFY(state.Apply(&upUnknown, -3).isEmpty());
        TouchPoint wild = Point(6, 1, -50, 99999, -1, 70000, 100000);
        const QVector<InjectEvent> events = state.Apply(&wild, 1);
        QCOMPARE(LastValue(events, EV_ABS, ABS_MT_POSITION_X), 0);
        QCOMPARE(LastValue(events, EV_ABS, ABS_MT_POSITION_Y), 32767);
        QCOMPARE(LastValue(events, EV_ABS, ABS_MT_TOUCH_MAJOR), 32767);
        QCOMPARE(LastValue(events, EV_ABS, ABS_MT_TOUCH_MINOR), 0);
        QCOMPARE(LastValue(events, EV_ABS, ABS_MT_PRESSURE), 255);
    }

    // Contacts still down when injection stops are lifted.
    void releaseAllLiftsEveryContact()
    {
        CMultiTouchState state;
        TouchPoint points[] = {Point(1, 1, 10, 10), Point(2, 1, 20, 20), Point(3, 1, 30, 30)};
        state.Apply(points, 3);
        const QVector<InjectEvent> events = state.ReleaseAll();
        QCOMPARE(CountOf(events, EV_ABS, ABS_MT_TRACKING_ID, -1), 3);
        QCOMPARE(LastValue(events, EV_KEY, BTN_TOUCH), 0);
        QCOMPARE(events.last(), (InjectEvent{EV_SYN, SYN_REPORT, 0}));
        QCOMPARE(state.ActiveCount(), 0);
        QVERIFY(state.ReleaseAll().isEmpty());
    }

    // Without /dev/uinput touches are dropped quietly: the reason is said
    // once, when the injector is made, not at every touch.
    void injectorWithoutUinputKeepsWorking()
    {
        QTemporaryDir dir;
        const QString missing = dir.path() + "/uinput";
        CRunLogCapture log;
        {
            CSimulatorTouchForOS injector(missing);
            QVERIFY(!injector.IsAvailable());
            TouchPoint point = Point(1, 1, 100, 100);
            for (int i = 0; i < 3; ++i)
                QCOMPARE(injector.InjectTouch(&point, 1, 1920, 1080), 0);
            injector.ReleaseAll();
        }
        QCOMPARE(log.Lines(QtWarningMsg).size(), 1);
        QCOMPARE(log.Count("touch injection unavailable"), 1);
        QVERIFY(log.Lines(QtWarningMsg).first().contains(missing));
    }

    // A test's injector takes the place of the system's behind TouchSDK,
    // and the system's is back once it is removed.
    void testInjectorReplacesTheSystemOne()
    {
        const std::shared_ptr<CRecordingTouchInjector> pRecorder = CRecordingTouchInjector::Install();
        QCOMPARE(TouchSDK::GetSimulatorTouch(), pRecorder.get());
        const TouchPoint points[2] = {Point(1, 1, 100, 200, 300, 400, 50), Point(2, 2, 32767, 0, 1, 2, 3)};
        pRecorder->SetResult(7);
        QCOMPARE(TouchSDK::InjectTouch(points, 2, 800, 600), 7);
        QCOMPARE(TouchSDK::InjectTouch(points, 0, 1920, 1080), 7);

        const QList<CRecordingTouchInjector::SInjection> injections = pRecorder->Injections();
        QCOMPARE(injections.size(), 2);
        QCOMPARE(injections[0].points.size(), 2);
        QVERIFY(std::memcmp(injections[0].points.constData(), points, sizeof points) == 0);
        QCOMPARE(injections[0].nScreenWidth, 800);
        QCOMPARE(injections[0].nScreenHeight, 600);
        QVERIFY(injections[1].points.isEmpty());
        QCOMPARE(injections[1].nScreenWidth, 1920);

        CRecordingTouchInjector::Uninstall();
        QCOMPARE(TouchSDK::GetSimulatorTouch(), static_cast<CSimulatorTouch *>(CSimulatorTouchForOS::GetInstance()));
        QVERIFY(TouchSDK::GetSimulatorTouch() != pRecorder.get());
    }

    // An injector replaced while a reader thread is inside it stays alive
    // until that call returns.
    void replacedInjectorOutlivesACallInFlight()
    {
        auto pHolding = std::make_shared<CHoldingInjector>();
        CHoldingInjector *pRaw = pHolding.get();
        TouchSDK::SetSimulatorTouchForTest(pHolding);
        pHolding.reset();
        std::atomic<int> nResult{-1};
        const TouchPoint point = Point(1, 1, 10, 10);
        QThread *pReader = QThread::create([&] { nResult = TouchSDK::InjectTouch(&point, 1, 800, 600); });
        pReader->start();
        QTRY_VERIFY(pRaw->bInside.load());
        const std::shared_ptr<CRecordingTouchInjector> pRecorder = CRecordingTouchInjector::Install();
        QVERIFY(!CHoldingInjector::bDestroyed.load());
        pRaw->bRelease = true;
        QVERIFY(pReader->wait(10000));
        delete pReader;
        QCOMPARE(nResult.load(), 1);
        QVERIFY(CHoldingInjector::bDestroyed.load());
        QCOMPARE(pRecorder->Count(), 0);
        CRecordingTouchInjector::Uninstall();
    }
};

STATION_TEST_MAIN_CORE(TestMultiTouch)
#include "tst_multitouch.moc"
