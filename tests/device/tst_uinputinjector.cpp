// The touch injector on a recorded /dev/uinput of a mocked kernel: the
// device it declares, and the events it writes, read back the way an input
// stack reads the multi-touch protocol (slots, tracking ids, SYN_REPORT).

#include "mockedkernel.h"
#include "mockeduinput.h"
#include "runlogcapture.h"
#include "simulatortouchforos.h"
#include "testenvironment.h"
#include "waitfor.h"

#include <QtTest>
#include <cerrno>
#include <linux/input.h>
#include <linux/uinput.h>
#include <map>
#include <memory>

namespace {

// What an input stack knows after each SYN_REPORT: the contacts down, by
// tracking id, and the touch key.
struct Frame
{
    std::map<int, QPoint> contacts;
    bool bTouch = false;
    bool operator==(const Frame &o) const { return contacts == o.contacts && bTouch == o.bTouch; }
};

struct Decoded
{
    QList<Frame> frames;
    QStringList problems;   // what a reader of the protocol would reject
    bool bTrailing = false; // events after the last SYN_REPORT
};

Decoded Decode(const QList<CMockedUinput::Event> &events)
{
    Decoded out;
    struct Slot
    {
        int nTracking = -1;
        QPoint pos;
    };
    std::map<int, Slot> bySlot;
    int nSlot = 0;
    bool bTouch = false;
    QList<int> usedIds;
    for (const CMockedUinput::Event &ev : events) {
        out.bTrailing = true;
        if (ev.type == EV_ABS && ev.code == ABS_MT_SLOT) {
            if (ev.value < 0 || ev.value > 31)
                out.problems << QStringLiteral("slot %1 out of range").arg(ev.value);
            nSlot = ev.value;
        } else if (ev.type == EV_ABS && ev.code == ABS_MT_TRACKING_ID) {
            if (ev.value >= 0 && usedIds.contains(ev.value))
                out.problems << QStringLiteral("tracking id %1 used twice").arg(ev.value);
            if (ev.value < 0 && bySlot[nSlot].nTracking < 0)
                out.problems << QStringLiteral("lift of empty slot %1").arg(nSlot);
            if (ev.value >= 0)
                usedIds << ev.value;
            bySlot[nSlot].nTracking = ev.value;
        } else if (ev.type == EV_ABS && ev.code == ABS_MT_POSITION_X) {
            bySlot[nSlot].pos.setX(ev.value);
        } else if (ev.type == EV_ABS && ev.code == ABS_MT_POSITION_Y) {
            bySlot[nSlot].pos.setY(ev.value);
        } else if (ev.type == EV_KEY && ev.code == BTN_TOUCH) {
            bTouch = ev.value != 0;
        } else if (ev.type == EV_SYN && ev.code == SYN_REPORT) {
            Frame frame;
            for (const auto &entry : bySlot) {
                if (entry.second.nTracking >= 0)
                    frame.contacts[entry.second.nTracking] = entry.second.pos;
            }
            frame.bTouch = bTouch;
            if (frame.bTouch != !frame.contacts.empty())
                out.problems << QStringLiteral("BTN_TOUCH %1 with %2 contacts").arg(bTouch).arg(frame.contacts.size());
            out.frames << frame;
            out.bTrailing = false;
        }
    }
    return out;
}

// The positions of the contacts of a frame, in tracking-id order.
QList<QPoint> Positions(const Frame &frame)
{
    QList<QPoint> points;
    for (const auto &entry : frame.contacts)
        points << entry.second;
    return points;
}

TouchPoint Point(int id, int state, int x, int y)
{
    return TouchPoint{id, state, x, y, 200, 100, 60, 0};
}

} // namespace

class TestUinputInjector : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<CMockedUinput> m_pUinput;

private slots:
    void init()
    {
        CTestEnvironment::RealClock();
        m_pUinput = std::make_unique<CMockedUinput>(CMockedKernel::Current());
    }
    void cleanup() { m_pUinput.reset(); }

    void declaresADirectTouchDevice()
    {
        {
            CSimulatorTouchForOS injector;
            QVERIFY(injector.IsAvailable());
            const CMockedUinput::Declaration d = m_pUinput->Declared();
            QCOMPARE(d.name, QStringLiteral("Station touch injector"));
            QCOMPARE(int(d.nBusType), BUS_VIRTUAL);
            for (int ev : {EV_SYN, EV_KEY, EV_ABS})
                QVERIFY2(d.evBits.contains(ev), qPrintable(QString::number(ev)));
            QVERIFY(d.keyBits.contains(BTN_TOUCH));
            QVERIFY(d.propBits.contains(INPUT_PROP_DIRECT));
            // The frame's coordinates, 0..32767 on both axes, single and multi-touch.
            for (int code : {ABS_X, ABS_Y, ABS_MT_POSITION_X, ABS_MT_POSITION_Y}) {
                QVERIFY2(d.absBits.contains(code) && d.axes.contains(code), qPrintable(QString::number(code)));
                QCOMPARE(d.axes[code].nMin, 0);
                QCOMPARE(d.axes[code].nMax, 32767);
                QVERIFY(d.axes[code].nResolution > 0);
            }
            // 32 slots, each with its own tracking id.
            QVERIFY(d.absBits.contains(ABS_MT_SLOT) && d.absBits.contains(ABS_MT_TRACKING_ID));
            QCOMPARE(d.axes[ABS_MT_SLOT].nMin, 0);
            QCOMPARE(d.axes[ABS_MT_SLOT].nMax, 31);
            QVERIFY(d.axes[ABS_MT_TRACKING_ID].nMax > 31);
            for (int code : d.absBits)
                QVERIFY2(d.axes.contains(code), qPrintable(QStringLiteral("axis %1 has no range").arg(code)));
            QVERIFY(d.bCreated);
            QVERIFY(!d.bDestroyed);
            QVERIFY(d.unknownRequests.isEmpty());
            QCOMPARE(m_pUinput->OpenCount(), 1);
        }
        QVERIFY(m_pUinput->Declared().bDestroyed);
        QVERIFY(StationTest::WaitFor([this]() { return m_pUinput->OpenCount() == 0; }));
    }

    // Touch down, a move, a second contact, and lifts: after every injection
    // one SYN_REPORT, and the contacts an input stack would see.
    void contactsReachTheInputStack()
    {
        CSimulatorTouchForOS injector;
        QVERIFY(injector.IsAvailable());
        const QList<QVector<TouchPoint>> steps = {
            {Point(7, 1, 100, 200)},                          // down
            {Point(7, 2, 32767, 0)},                          // move to the far edge
            {Point(7, 2, 32767, 0), Point(9, 1, 16000, 8000)}, // a second contact
            {Point(7, 3, 32767, 0), Point(9, 2, 16100, 8100)}, // the first lifts
            {Point(9, 3, 16100, 8100)},                       // the last lifts
        };
        const QList<QList<QPoint>> expected = {
            {QPoint(100, 200)},
            {QPoint(32767, 0)},
            {QPoint(32767, 0), QPoint(16000, 8000)},
            {QPoint(16100, 8100)},
            {},
        };
        for (const QVector<TouchPoint> &step : steps)
            QCOMPARE(injector.InjectTouch(step.constData(), step.size(), 1920, 1080), 0);

        const Decoded decoded = Decode(m_pUinput->Events());
        QVERIFY2(decoded.problems.isEmpty(), qPrintable(decoded.problems.join('\n')));
        QVERIFY(!decoded.bTrailing);
        QCOMPARE(decoded.frames.size(), steps.size());
        for (int i = 0; i < steps.size(); ++i) {
            QCOMPARE(Positions(decoded.frames[i]), expected[i]);
            QCOMPARE(decoded.frames[i].bTouch, !expected[i].isEmpty());
        }
        // The contact that stayed down kept its tracking id.
        QCOMPARE(decoded.frames[2].contacts.begin()->first, decoded.frames[1].contacts.begin()->first);
    }

    // A frame that stops reporting leaves no contact stuck on the desktop.
    void contactStillDownIsLiftedAfterASecond()
    {
        CSimulatorTouchForOS injector;
        const TouchPoint down = Point(3, 1, 5000, 6000);
        injector.InjectTouch(&down, 1, 1920, 1080);
        QCOMPARE(Decode(m_pUinput->Events()).frames.size(), 1);
        QVERIFY(StationTest::WaitFor([this]() { return Decode(m_pUinput->Events()).frames.size() == 2; }));
        const Decoded decoded = Decode(m_pUinput->Events());
        QVERIFY2(decoded.problems.isEmpty(), qPrintable(decoded.problems.join('\n')));
        QVERIFY(decoded.frames[1].contacts.empty());
        QVERIFY(!decoded.frames[1].bTouch);
    }

    // A kernel that refuses the device: nothing is injected, the run log
    // says why once, and the station goes on.
    void refusedDeviceMeansNoInjection()
    {
        m_pUinput->FailRequest(UI_DEV_CREATE, EINVAL);
        CRunLogCapture log;
        CSimulatorTouchForOS injector;
        QVERIFY(!injector.IsAvailable());
        const TouchPoint down = Point(1, 1, 10, 10);
        QCOMPARE(injector.InjectTouch(&down, 1, 1920, 1080), 0);
        QVERIFY(m_pUinput->Events().isEmpty());
        QCOMPARE(log.Count("CSimulatorTouchForOS : touch injection unavailable ("), 1);
        QVERIFY(StationTest::WaitFor([this]() { return m_pUinput->OpenCount() == 0; }));
    }
};

STATION_MOCKED_KERNEL_TEST_MAIN(TestUinputInjector)
#include "tst_uinputinjector.moc"
