// The raw reports of a frame through the real device layer and USB port into
// the signal-test view, and from there to the touch injector (recorded here)
// and the draw window: contacts with their sizes at the desktop's size, the
// frame's verdict stamped on the drawing, a replugged frame starting afresh,
// two frames feeding at once, and a view destroyed while reports flow.

#include "recordingtouchinjector.h"
#include "runlogcapture.h"
#include "stationresources.h"
#include "testviewstation.h"
#include "touchpaintview.h"

#include <QGraphicsLineItem>
#include <QScreen>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <thread>

namespace {
using Contact = CEmulatedFrame::Contact;

using C = CEmulatedFrame::Contact;

QString Points(const QVector<TouchPoint>& points)
{
    QStringList out;
    for (const TouchPoint& p : points)
        out << QStringLiteral("%1/%2@%3,%4 %5x%6").arg(p.id).arg(p.state).arg(p.x).arg(p.y).arg(p.width).arg(p.height);
    return out.join(' ');
}

// Sends the frame's queued reports and waits for nInjections injections in all.
bool Deliver(CStationRig::SFrame& frame, const CRecordingTouchInjector& injector, int nInjections)
{
    frame.usb->DeliverInjected();
    return StationTest::WaitFor([&] { return injector.Count() >= nInjections; });
}

// The strokes of the verdict: lines drawn in the colour, twice the line width.
int StampLines(CTouchPaintView* pDraw, const QColor& colour)
{
    int n = 0;
    for (QGraphicsItem* pItem : pDraw->scene()->items()) {
        auto* pLine = qgraphicsitem_cast<QGraphicsLineItem*>(pItem);
        if (pLine && pLine->pen().color() == colour && pLine->pen().widthF() == 2.0 * pDraw->LineWidth())
            ++n;
    }
    return n;
}
} // namespace

class TestTestViewIntake : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void contactsReachTheInjector();
    void verdictStampsTheDrawWindow();
    void replugStartsWithDown();
    void twoFeedingThreads();
    void destroyedWhileReportsFlow();
};

void TestTestViewIntake::initTestCase()
{
    InitStationResources();
}

void TestTestViewIntake::cleanup()
{
    CRecordingTouchInjector::Uninstall();
}

void TestTestViewIntake::contactsReachTheInjector()
{
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    auto injector = station.rig.RecordTouches();
    QVERIFY(station.Start());

    // Eight contacts over two reports of 62 bytes: one injection.
    QList<Contact> contacts;
    for (int i = 0; i < 8; ++i)
        contacts << C(4, quint8(i + 1), quint16(1000 * i), quint16(32767 - 1000 * i), quint16(100 + i), quint16(200 + i));
    QCOMPARE(CEmulatedFrame::TouchReports(contacts).size(), 2);
    QCOMPARE(CEmulatedFrame::TouchReports(contacts).at(0).size(), 62);
    frame.frame.InjectTouches(contacts);
    QVERIFY(Deliver(frame, *injector, 1));
    QList<CRecordingTouchInjector::SInjection> injections = injector->Injections();
    QCOMPARE(injections.size(), 1);
    QCOMPARE(injections[0].nScreenWidth, 800);
    QCOMPARE(injections[0].nScreenHeight, 600);
    QCOMPARE(injections[0].nScreenWidth, QGuiApplication::primaryScreen()->geometry().width());
    QCOMPARE(Points(injections[0].points),
             QStringLiteral("1/1@0,32767 100x200 2/1@1000,31767 101x201 3/1@2000,30767 102x202 "
                            "4/1@3000,29767 103x203 5/1@4000,28767 104x204 6/1@5000,27767 105x205 "
                            "7/1@6000,26767 106x206 8/1@7000,25767 107x207"));
    for (const TouchPoint& p : injections[0].points)
        QCOMPARE(p.pressure, 0);

    // A frame of 6-byte records (a report of 64): lifted, without sizes.
    frame.frame.InjectTouches({C(4, 1, 11, 22, 33, 44), C(7, 9, 5, 6, 7, 8)}, false);
    QVERIFY(Deliver(frame, *injector, 2));
    QCOMPARE(Points(injector->Injections().at(1).points), QStringLiteral("1/3@11,22 0x0 9/2@5,6 0x0"));
}

void TestTestViewIntake::verdictStampsTheDrawWindow()
{
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    QVERIFY(station.Start());
    station.view->OpenTouchPaintWindow();
    CTouchPaintView* pDraw = station.view->TouchPaintView();
    QVERIFY(QTest::qWaitForWindowExposed(pDraw));

    frame.frame.InjectUnpadded(CEmulatedFrame::TouchTestVerdictReport(true));
    frame.usb->DeliverInjected();
    QVERIFY(StationTest::WaitFor([&] { return StampLines(pDraw, Qt::darkGreen) == 2; }));
    QCOMPARE(StampLines(pDraw, Qt::red), 0);

    frame.frame.InjectUnpadded(CEmulatedFrame::TouchTestVerdictReport(false));
    frame.usb->DeliverInjected();
    QVERIFY(StationTest::WaitFor([&] { return StampLines(pDraw, Qt::red) == 2; }));
    // Drawn over the tick, which stays.
    QCOMPARE(StampLines(pDraw, Qt::darkGreen), 2);
    QDir().mkpath(CTestEnvironment::OutputDir());
    QVERIFY(pDraw->grab().save(CTestEnvironment::OutputDir() + "/testview-draw-verdicts.png"));
    pDraw->ExitResponse();
}

// A contact still down when its frame left is put down afresh when the frame
// is back, not lifted.
void TestTestViewIntake::replugStartsWithDown()
{
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    auto injector = station.rig.RecordTouches();
    QVERIFY(station.Start());

    frame.frame.InjectTouches({C(4, 5)});
    QVERIFY(Deliver(frame, *injector, 1));
    QCOMPARE(Points(injector->Injections().last().points), QStringLiteral("5/1@0,0 0x0"));

    frame.usb->Unplug();
    QVERIFY(station.rig.WaitForDevices(0));
    QVERIFY(StationTest::WaitFor([&] { return !station.view->IsSourcePresent(); }));
    frame.usb->Plug();
    QVERIFY(station.rig.WaitForDevices(1));
    QVERIFY(StationTest::WaitFor([&] { return station.view->IsSourcePresent(); }));
    station.rig.Settle();

    frame.frame.InjectTouches({C(4, 5)});
    QVERIFY(Deliver(frame, *injector, 2));
    QCOMPARE(Points(injector->Injections().last().points), QStringLiteral("5/1@0,0 0x0"));
    // On the same bus the next report of the contact lifts it.
    frame.frame.InjectTouches({C(4, 5)});
    QVERIFY(Deliver(frame, *injector, 3));
    QCOMPARE(Points(injector->Injections().last().points), QStringLiteral("5/3@0,0 0x0"));
}

// Each attached frame feeds the view on its own reader thread: frames of two
// threads never mix.
void TestTestViewIntake::twoFeedingThreads()
{
    CTestViewStation station;
    auto injector = station.rig.RecordTouches();
    QVERIFY(station.Start());
    VeloraTestView* pView = station.view;

    constexpr int kReports = 3000;
    auto feed = [pView](quint8 nFirstId) {
        QList<Contact> contacts;
        for (int i = 0; i < 6; ++i)
            contacts << C(i % 2 ? 7 : 4, quint8(nFirstId + i), quint16(nFirstId), quint16(i));
        const QByteArray report = CEmulatedFrame::TouchReport(contacts, 6);
        TouchData data;
        data.length = uint32_t(report.size());
        std::memcpy(data.report, report.constData(), size_t(report.size()));
        for (int n = 0; n < kReports; ++n)
            pView->ProcessTouchData(data);
    };
    std::thread first(feed, quint8(10));
    std::thread second(feed, quint8(100));
    first.join();
    second.join();

    const QList<CRecordingTouchInjector::SInjection> injections = injector->Injections();
    QCOMPARE(injections.size(), 2 * kReports);
    int nFirst = 0;
    for (const CRecordingTouchInjector::SInjection& injection : injections) {
        QCOMPARE(injection.points.size(), 6);
        const int nBase = injection.points[0].id;
        QVERIFY(nBase == 10 || nBase == 100);
        nFirst += nBase == 10 ? 1 : 0;
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(injection.points[i].id, nBase + i);
            QCOMPARE(injection.points[i].x, nBase);
            QCOMPARE(injection.points[i].y, i);
        }
    }
    QCOMPARE(nFirst, kReports);
}

// The station ends while a frame still reports: the view stops taking
// reports before it goes, and its destructor posts no task.
void TestTestViewIntake::destroyedWhileReportsFlow()
{
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    auto injector = station.rig.RecordTouches();
    // Opening the view starts a run: no prompt, no draw test after it.
    Settings()->SetBool("SupportSNCheck", false);
    Settings()->SetBool("DefaultJumpToDraw", false);
    QVERIFY(station.StartOpen());
    for (int i = 0; i < 150; ++i)
        frame.frame.InjectTouches({C(4, quint8(i), quint16(i), quint16(i), 1, 1)});
    frame.usb->DeliverInjected();
    QVERIFY(StationTest::WaitFor([&] { return injector->Count() > 0; }));

    CRunLogCapture log;
    station.rig.CloseMainWindow();
    const int nAfter = injector->Count();
    QVERIFY(frame.usb->WaitIdle(10000));
    QCOMPARE(injector->Count(), nAfter);
    QVERIFY(log.Contains("Save Log Data Manul..."));
    for (const QString& line : log.Lines())
        QVERIFY2(!line.contains("refused, the station is closing"), qPrintable(line));
}

STATION_TEST_MAIN(TestTestViewIntake)
#include "tst_testviewintake.moc"
