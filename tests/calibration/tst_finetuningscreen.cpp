// The fine-tuning screen over the real dispatcher and an emulated frame: its
// geometry at 1920 x 1080, the long press and the adjustments it makes
// (mouse events and CalWork ticks driven by the test), the send through the
// dispatcher and its answer, and the ways of leaving the screen.

#include "calibrationscreenrig.h"
#include "finetuningcalibrateview.h"
#include "mutexholder.h"
#include "stationclock.h"
#include "stationresources.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QtTest>

namespace {
const QSize kScreen(1920, 1080);

// Pixels of the prompt's blue (the text, anti-aliased) inside rect.
int BluePixels(const QImage& image, const QRect& rect)
{
    int n = 0;
    const QRect area = rect.intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += c.blue() > 150 && c.red() < 100 && c.green() < 100 ? 1 : 0;
        }
    }
    return n;
}
// The colour at p or at one of its eight neighbours (a pen of width 2).
bool ColourNear(const QImage& image, const QPoint& p, const QColor& colour)
{
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            if (image.pixelColor(p + QPoint(dx, dy)) == colour)
                return true;
        }
    }
    return false;
}
} // namespace

class TestFineTuningScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void geometry();
    void squareTest_data();
    void squareTest();
    void adjustment_data();
    void adjustment();
    void picture();

    void longPress_data();
    void longPress();
    void centredPointTogglesTheDot();
    void startSwitchesTheFrameToMouse();
    void busyDeviceSkipsTheTick();
    void noSecondAdjustmentBeforeTheAnswer();
    void failedSendStopsThePress();
    void withoutFrameNothingIsAdjusted();

    void leaving_data();
    void leaving();
    void closedBoxKeepsTheChange();
    void resetClearsTheChange_data();
    void resetClearsTheChange();
    void otherKeysDoNothing();
    void screenshots();

private:
    // A screen whose own 10 ms tick never comes during a test (the test
    // ticks), drawing for 1920 x 1080 into an image of that size.
    void MakeScreen();
    void Press(const QPoint& p) { Mouse(QEvent::MouseButtonPress, p, Qt::LeftButton); }
    void Move(const QPoint& p) { Mouse(QEvent::MouseMove, p, Qt::NoButton); }
    void Release(const QPoint& p) { Mouse(QEvent::MouseButtonRelease, p, Qt::LeftButton); }
    void Mouse(QEvent::Type type, const QPoint& p, Qt::MouseButton button);
    // n paints, each followed by a tick.
    void Tick(int n);
    // Runs "press x y; tick n; move x y; release x y" steps.
    void Run(const QString& script);
    // A long press at the left-top dot that adjusts once: LX +10, LY -1.
    void ChangeValues();
    QList<int> Delta();

    std::unique_ptr<CCalibrationScreenRig> m_pRig;
    std::unique_ptr<CFineTuningCalibrateView> m_pScreen;
    QImage m_image{kScreen, QImage::Format_ARGB32};
};

void TestFineTuningScreen::initTestCase()
{
    InitStationResources();
}

void TestFineTuningScreen::init()
{
    CTestEnvironment::FastClock(0.02);
    m_pRig = std::make_unique<CCalibrationScreenRig>();
    MakeScreen();
}

void TestFineTuningScreen::cleanup()
{
    m_pScreen.reset();
    m_pRig.reset();
    CTestEnvironment::RealClock();
}

void TestFineTuningScreen::MakeScreen()
{
    const double dScale = CStationClock::TimeoutScale();
    CStationClock::SetTimeoutScale(1000);
    m_pScreen = std::make_unique<CFineTuningCalibrateView>(nullptr, m_pRig->Work());
    CStationClock::SetTimeoutScale(dScale);
    m_pScreen->SetScreenSize(kScreen);
    m_pScreen->resize(kScreen);
}

void TestFineTuningScreen::Mouse(QEvent::Type type, const QPoint& p, Qt::MouseButton button)
{
    QMouseEvent event(type, p, button, type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(m_pScreen.get(), &event);
}

void TestFineTuningScreen::Tick(int n)
{
    for (int i = 0; i < n; ++i) {
        m_image.fill(Qt::white);
        m_pScreen->render(&m_image);
        m_pScreen->CalWork();
    }
}

void TestFineTuningScreen::Run(const QString& script)
{
    for (const QString& step : script.split(';', Qt::SkipEmptyParts)) {
        const QStringList parts = step.simplified().split(' ');
        const QString verb = parts.value(0);
        if (verb == "tick") {
            Tick(parts.value(1).toInt());
            continue;
        }
        const QPoint p(parts.value(1).toInt(), parts.value(2).toInt());
        if (verb == "press")
            Press(p);
        else if (verb == "move")
            Move(p);
        else if (verb == "release")
            Release(p);
        else
            QFAIL(qPrintable("unknown step " + step));
    }
}

void TestFineTuningScreen::ChangeValues()
{
    Run("press 250 133; tick 41");
}

QList<int> TestFineTuningScreen::Delta()
{
    const QList<int> now = m_pRig->Cached();
    const QList<int> factory = CalibrationTest::FactoryValues();
    QList<int> delta;
    for (int i = 0; i < now.size(); ++i)
        delta << now[i] - factory[i];
    return delta;
}

// --- geometry (1920 x 1080) ---

void TestFineTuningScreen::geometry()
{
    const CFineTuningCalibrateView::SGeometry g = CFineTuningCalibrateView::Geometry(kScreen);
    QCOMPARE(g.leftTop, QPoint(240, 135));
    QCOMPARE(g.rightBottom, QPoint(1680, 945));
    QCOMPARE(g.nHitHalf, 67);
    QCOMPARE(g.nSquare, 135);

    // The prompt starts at x = 317 with its lower edge at y = 211; the
    // leader line joins the dot to that corner.
    const QRect left = CFineTuningCalibrateView::PromptRect(kScreen, true, QSize(300, 30));
    QCOMPARE(left.left(), 317);
    QCOMPARE(left.bottom(), 211);
    QCOMPARE(CFineTuningCalibrateView::LeaderLine(kScreen, true), QLine(240, 135, 317, 212));
    const QRect right = CFineTuningCalibrateView::PromptRect(kScreen, false, QSize(300, 30));
    QCOMPARE(right.right(), 1680 - 67 - 10 - 1);
    QCOMPARE(right.bottom(), 945 - 67 - 10 - 1);
    QCOMPARE(CFineTuningCalibrateView::LeaderLine(kScreen, false), QLine(1603, 868, 1680, 945));
}

void TestFineTuningScreen::squareTest_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QPoint>("dot");
    QTest::addColumn<bool>("inside");
    const QPoint d1(240, 135), d2(1680, 945);
    QTest::newRow("centre") << d1 << d1 << true;
    QTest::newRow("r - 1 right") << QPoint(306, 135) << d1 << true;
    QTest::newRow("r right") << QPoint(307, 135) << d1 << false;
    QTest::newRow("r left") << QPoint(173, 135) << d1 << false;
    QTest::newRow("r up") << QPoint(240, 68) << d1 << false;
    QTest::newRow("r down") << QPoint(240, 202) << d1 << false;
    QTest::newRow("corner inside") << QPoint(1680 - 66, 945 + 66) << d2 << true;
    QTest::newRow("negative") << QPoint(-5, -5) << d1 << false;
    QTest::newRow("outside the screen") << QPoint(5000, 3000) << d2 << false;
    QTest::newRow("other dot") << d2 << d1 << false;
}

void TestFineTuningScreen::squareTest()
{
    QFETCH(QPoint, point);
    QFETCH(QPoint, dot);
    QFETCH(bool, inside);
    QCOMPARE(CFineTuningCalibrateView::InSquare(point, dot, 67), inside);
}

void TestFineTuningScreen::adjustment_data()
{
    QTest::addColumn<QPoint>("offset");
    QTest::addColumn<QPoint>("change");
    QTest::newRow("(0, 2)") << QPoint(0, 2) << QPoint(1, 1);
    QTest::newRow("(-2, 5)") << QPoint(-2, 5) << QPoint(-1, 5);
    QTest::newRow("(-4, -4)") << QPoint(-4, -4) << QPoint(-4, -4);
    QTest::newRow("(10, -2)") << QPoint(10, -2) << QPoint(10, -1);
    QTest::newRow("(3, -3)") << QPoint(3, -3) << QPoint(1, -1);
    QTest::newRow("(0, 0)") << QPoint(0, 0) << QPoint(1, 1);
}

void TestFineTuningScreen::adjustment()
{
    QFETCH(QPoint, offset);
    QFETCH(QPoint, change);
    QCOMPARE(CFineTuningCalibrateView::Adjustment(offset), change);
}

void TestFineTuningScreen::picture()
{
    // Drawn for 1920 x 1080: the dots red, the squares blue, the guides
    // green, the prompt beside the active (left-top) dot.
    Tick(1);
    QCOMPARE(m_image.pixelColor(240, 135), QColor(255, 0, 0));
    QCOMPARE(m_image.pixelColor(1680, 945), QColor(255, 0, 0));
    QVERIFY(ColourNear(m_image, QPoint(173 + 60, 68), QColor(0, 0, 255)));
    QVERIFY(ColourNear(m_image, QPoint(1613, 878 + 60), QColor(0, 0, 255)));
    bool bGreen = false;
    for (int x = 0; x < 12; ++x)
        bGreen = bGreen || m_image.pixelColor(x, 135) == QColor(0, 255, 0);
    QVERIFY(bGreen);
    const QRect left = CFineTuningCalibrateView::PromptRect(kScreen, true, QSize(400, 40));
    const QRect right = CFineTuningCalibrateView::PromptRect(kScreen, false, QSize(400, 40));
    QVERIFY(BluePixels(m_image, left) > 100);
    QCOMPARE(BluePixels(m_image, right), 0);
}

// --- long press ---

void TestFineTuningScreen::longPress_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QList<int>>("delta");  // of LX, LY, RX, RY

    const QList<int> none{0, 0, 0, 0};
    QTest::newRow("780 does not trigger") << "press 250 133; tick 40" << none;
    QTest::newRow("800 does") << "press 250 133; tick 41" << QList<int>{10, -1, 0, 0};
    QTest::newRow("(0, 2)") << "press 240 137; tick 41" << QList<int>{1, 1, 0, 0};
    QTest::newRow("(-2, 5)") << "press 238 140; tick 41" << QList<int>{-1, 5, 0, 0};
    QTest::newRow("(-4, -4)") << "press 236 131; tick 41" << QList<int>{-4, -4, 0, 0};
    QTest::newRow("right-bottom dot") << "press 1690 940; tick 41" << QList<int>{0, 0, 10, -5};
    QTest::newRow("r - 1 from the centre") << "press 306 135; tick 41" << QList<int>{66, 1, 0, 0};
    QTest::newRow("exactly r from the centre") << "press 307 135; tick 41" << none;
    QTest::newRow("negative position") << "press -5 -5; tick 41" << none;
    QTest::newRow("outside the screen") << "press 5000 3000; tick 41" << none;
    QTest::newRow("leaving both squares keeps counter and anchor")
        << "press 250 133; tick 20; move 900 500; tick 10; move 251 134; tick 21" << QList<int>{11, -1, 0, 0};
    // The tick after the move makes it the anchor; 40 more reach 800.
    QTest::newRow("a move above 3 pixels restarts") << "press 250 133; tick 30; move 254 133; tick 41" << none;
    QTest::newRow("and counts again from there")
        << "press 250 133; tick 30; move 254 133; tick 42" << QList<int>{14, -1, 0, 0};
    QTest::newRow("a move within 3 pixels goes on")
        << "press 250 133; tick 30; move 253 136; tick 11" << QList<int>{13, 1, 0, 0};
    QTest::newRow("a release restarts") << "press 250 133; tick 30; release 250 133; tick 40" << none;
    QTest::newRow("exactly centred") << "press 240 135; tick 45" << none;
}

void TestFineTuningScreen::longPress()
{
    QFETCH(QString, script);
    QFETCH(QList<int>, delta);

    QVERIFY(m_pRig->PlugFrame());
    m_pScreen->StartFineTuningCal();
    m_pRig->Settle();
    m_pRig->Forget();

    Run(script);
    QCOMPARE(Delta(), delta);
    m_pRig->Settle();
    const bool bAdjusted = delta != QList<int>{0, 0, 0, 0};
    // The values went to the frame through the dispatcher.
    QCOMPARE(m_pRig->Tasks(), bAdjusted ? QStringList{"SendCalDataToDev"} : QStringList{});
    if (bAdjusted) {
        QCOMPARE(m_pRig->FrameValues(), m_pRig->Cached());
        QCOMPARE(m_pRig->rig.Record().events, QStringList{"caldata"});
    }
}

void TestFineTuningScreen::centredPointTogglesTheDot()
{
    QVERIFY(m_pRig->PlugFrame());
    m_pScreen->StartFineTuningCal();
    const QRect left = CFineTuningCalibrateView::PromptRect(kScreen, true, QSize(400, 40));
    const QRect right = CFineTuningCalibrateView::PromptRect(kScreen, false, QSize(400, 40));

    Run("press 240 135; tick 40");
    Tick(1);  // paints with the dot still left-top, then toggles
    Tick(1);  // the picture of the toggled dot
    QCOMPARE(BluePixels(m_image, left), 0);
    QVERIFY(BluePixels(m_image, right) > 100);
    // The next tick sets the dot from the position again, and toggles it.
    Tick(2);
    QVERIFY(BluePixels(m_image, right) > 100);
    QCOMPARE(Delta(), (QList<int>{0, 0, 0, 0}));

    // The operator moves to the right-bottom dot: it stays the active one.
    Run("press 1700 950; tick 1");
    Tick(1);
    QVERIFY(BluePixels(m_image, right) > 100);
}

void TestFineTuningScreen::startSwitchesTheFrameToMouse()
{
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) {
        s.settings.usb[0] = 3;
        s.settings.usb[1] = 2;
    });
    QVERIFY(m_pRig->PlugFrame());
    m_pScreen->StartFineTuningCal();
    m_pRig->Settle();
    QCOMPARE(m_pRig->Tasks(), QStringList{"StartFineTuningCalibrate"});
    CEmulatedFrame::State s = m_pRig->Frame().frame.Snapshot();
    QCOMPARE(s.settings.usb[0], quint8(1));
    QCOMPARE(s.settings.usb[1], quint8(1));

    m_pScreen->CloseFineTuningCal();
    m_pRig->Settle();
    s = m_pRig->Frame().frame.Snapshot();
    QCOMPARE(s.settings.usb[0], quint8(3));
    QCOMPARE(s.settings.usb[1], quint8(2));
}

void TestFineTuningScreen::busyDeviceSkipsTheTick()
{
    QVERIFY(m_pRig->PlugFrame());
    m_pScreen->StartFineTuningCal();
    m_pRig->Settle();
    m_pRig->Forget();
    {
        // A task holds the device: every tick is skipped, none waits.
        CMutexHolder holder(m_pRig->Work()->GetDeviceMutex());
        Run("press 250 133; tick 45");
    }
    QCOMPARE(Delta(), (QList<int>{0, 0, 0, 0}));
    // The counter stayed above 799: the next tick adjusts at once.
    Tick(1);
    QCOMPARE(Delta(), (QList<int>{10, -1, 0, 0}));
    m_pRig->Settle();
    QCOMPARE(m_pRig->Tasks(), QStringList{"SendCalDataToDev"});
}

void TestFineTuningScreen::noSecondAdjustmentBeforeTheAnswer()
{
    QVERIFY(m_pRig->PlugFrame());
    m_pScreen->StartFineTuningCal();
    m_pRig->Settle();
    m_pRig->Forget();

    ChangeValues();
    QCOMPARE(Delta(), (QList<int>{10, -1, 0, 0}));
    // The send is posted, not answered yet: no further adjustment.
    Tick(5);
    QCOMPARE(Delta(), (QList<int>{10, -1, 0, 0}));
    // Answered: the press adjusts again.
    m_pRig->Settle();
    Tick(1);
    QCOMPARE(Delta(), (QList<int>{20, -2, 0, 0}));
    m_pRig->Settle();
    QCOMPARE(m_pRig->Tasks(), (QStringList{"SendCalDataToDev", "SendCalDataToDev"}));
    QCOMPARE(m_pRig->FrameValues(), m_pRig->Cached());
}

void TestFineTuningScreen::failedSendStopsThePress()
{
    QVERIFY(m_pRig->PlugFrame());
    m_pScreen->StartFineTuningCal();
    m_pRig->Settle();
    // The frame refuses the values (the end of fine tuning, 0x80330005).
    m_pRig->Frame().frame.SetFault(0xA1, 0x02, CEmulatedFrame::CustomReplies({QByteArray::fromHex("FCFE830000A212")}));
    m_pRig->Forget();

    ChangeValues();
    m_pRig->Settle();
    QCOMPARE(m_pRig->rig.Record().events, QStringList{R"(msg:{"funcResult":"80330005"})"});
    QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("CalDataSent").size(), 1);
    // This press adjusts no more.
    Tick(10);
    m_pRig->Settle();
    QCOMPARE(Delta(), (QList<int>{10, -1, 0, 0}));
    QCOMPARE(m_pRig->Tasks(), QStringList{"SendCalDataToDev"});

    // A new press does.
    m_pRig->Frame().frame.ClearFaults();
    Run("release 250 133; press 250 133; tick 41");
    m_pRig->Settle();
    QCOMPARE(Delta(), (QList<int>{20, -2, 0, 0}));
    QCOMPARE(m_pRig->FrameValues(), m_pRig->Cached());
}

void TestFineTuningScreen::withoutFrameNothingIsAdjusted()
{
    m_pScreen->StartFineTuningCal();
    Run("press 250 133; tick 50");
    m_pRig->Settle();
    QCOMPARE(m_pRig->log.Count("CalWork : no frame is plugged"), 1);
    Run("release 250 133; press 250 133; tick 45");
    m_pRig->Settle();
    // Once per press; nothing is sent, nothing changed.
    QCOMPARE(m_pRig->log.Count("CalWork : no frame is plugged"), 2);
    QVERIFY(!m_pRig->Tasks().contains("SendCalDataToDev"));

    // Leaving asks nothing.
    m_pScreen->CloseFineTuningCal();
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
}

// --- leaving ---

void TestFineTuningScreen::leaving_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("change");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("tasks");

    const QStringList save{"ExitFineTuningCalibrate", "SET_CAL_FMT", "SAVE_TO_FLASH", "SAVE_AS_DEFAULT",
                           "GET_CAL_DATA"};
    const QStringList reset{"ExitFineTuningCalibrate", "RESET_CAL_DATA"};
    for (const char* szHow : {"exit button", "escape", "window close"}) {
        const QString how = QLatin1String(szHow);
        QTest::newRow(qPrintable(how + ", no change")) << how << false << "" << QStringList{"ExitFineTuningCalibrate"};
        QTest::newRow(qPrintable(how + ", Yes")) << how << true << "Yes" << save;
        QTest::newRow(qPrintable(how + ", No")) << how << true << "No" << reset;
    }
}

void TestFineTuningScreen::leaving()
{
    QFETCH(QString, how);
    QFETCH(bool, change);
    QFETCH(QString, answer);
    QFETCH(QStringList, tasks);

    QVERIFY(m_pRig->PlugFrame());
    m_pScreen->StartFineTuningCal();
    m_pScreen->showFullScreen();
    QVERIFY(QTest::qWaitForWindowExposed(m_pScreen.get()));
    if (change)
        ChangeValues();
    m_pRig->Settle();
    m_pRig->Forget();
    m_pRig->answerer.Answer(answer);

    QSignalSpy exits(m_pScreen.get(), &CFineTuningCalibrateView::ExitCalibrate);
    if (how == "exit button") {
        QTest::mouseClick(m_pScreen->findChild<QPushButton*>("Btn_Exit"), Qt::LeftButton);
    } else if (how == "escape") {
        QTest::keyClick(m_pScreen.get(), Qt::Key_Escape);
    } else {
        QCloseEvent event;
        QApplication::sendEvent(m_pScreen->windowHandle(), &event);
    }
    QVERIFY(!m_pScreen->isVisible());
    m_pRig->Settle();
    QCOMPARE(exits.size(), 1);
    QCOMPARE(exits[0][0].toBool(), change);
    QCOMPARE(m_pRig->Tasks(), tasks);
    if (change) {
        QCOMPARE(m_pRig->answerer.boxes.size(), 1);
        const CModalBoxAnswerer::SBox box = m_pRig->answerer.boxes[0];
        QCOMPARE(box.title, QStringLiteral("Calibration is complete"));
        QCOMPARE(box.text, QStringLiteral("Do you want to save the current parameters!"));
        QCOMPARE(box.buttons, (QStringList{"Yes", "No"}));
        // Yes keeps the adjusted values in the frame's flash; No gives the
        // frame its factory values back.
        if (answer == "Yes")
            QCOMPARE(m_pRig->FrameFlash(), m_pRig->FrameValues());
        else
            QCOMPARE(m_pRig->FrameValues(), CalibrationTest::FactoryValues());
    } else {
        QVERIFY(m_pRig->answerer.boxes.isEmpty());
    }
    // The frame has its touch formats back.
    QCOMPARE(m_pRig->Frame().frame.Snapshot().settings.usb[0], quint8(3));
}

void TestFineTuningScreen::closedBoxKeepsTheChange()
{
    QVERIFY(m_pRig->PlugFrame());
    m_pScreen->StartFineTuningCal();
    ChangeValues();
    m_pRig->Settle();
    m_pRig->Forget();

    // Closed without Yes or No: nothing posted, the change stays.
    m_pRig->answerer.Answer(QString());
    m_pScreen->CloseFineTuningCal();
    m_pRig->Settle();
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    QCOMPARE(m_pRig->Tasks(), QStringList{"ExitFineTuningCalibrate"});
    m_pRig->answerer.Answer("No");
    m_pScreen->CloseFineTuningCal();
    m_pRig->Settle();
    QCOMPARE(m_pRig->answerer.boxes.size(), 2);
    QCOMPARE(m_pRig->Tasks(), (QStringList{"ExitFineTuningCalibrate", "ExitFineTuningCalibrate", "RESET_CAL_DATA"}));
}

void TestFineTuningScreen::resetClearsTheChange_data()
{
    QTest::addColumn<bool>("refused");
    QTest::newRow("reset runs") << false;
    QTest::newRow("reset refused, one is running") << true;
}

void TestFineTuningScreen::resetClearsTheChange()
{
    QFETCH(bool, refused);
    QVERIFY(m_pRig->PlugFrame());
    m_pScreen->StartFineTuningCal();
    ChangeValues();
    m_pRig->Settle();
    m_pRig->Forget();
    {
        std::unique_ptr<CMutexHolder> pHolder;
        if (refused) {
            // A reset waits for the device: the one the button posts is dropped.
            pHolder = std::make_unique<CMutexHolder>(m_pRig->Work()->GetDeviceMutex());
            QVERIFY(m_pRig->Work()->PostTask("RESET_CAL_DATA"));
            QVERIFY(StationTest::WaitFor([this] { return m_pRig->Work()->IsTaskRunning("RESET_CAL_DATA"); }));
        }
        QTest::mouseClick(m_pScreen->findChild<QPushButton*>("Btn_Reset"), Qt::LeftButton);
    }
    m_pRig->Settle();
    QCOMPARE(m_pRig->Tasks(), QStringList{"RESET_CAL_DATA"});
    // The screen stays; leaving asks nothing.
    m_pScreen->CloseFineTuningCal();
    m_pRig->Settle();
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    QCOMPARE(m_pRig->Tasks(), (QStringList{"RESET_CAL_DATA", "ExitFineTuningCalibrate"}));
}

void TestFineTuningScreen::otherKeysDoNothing()
{
    QVERIFY(m_pRig->PlugFrame());
    m_pScreen->StartFineTuningCal();
    m_pScreen->showFullScreen();
    QVERIFY(QTest::qWaitForWindowExposed(m_pScreen.get()));
    m_pRig->Settle();
    m_pRig->Forget();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_A, Qt::Key_F4})
        QTest::keyClick(m_pScreen.get(), key);
    m_pRig->Settle();
    QVERIFY(m_pScreen->isVisible());
    QVERIFY(m_pRig->Tasks().isEmpty());
}

void TestFineTuningScreen::screenshots()
{
    // At the station's own screen size: both dots and their squares in view.
    m_pScreen.reset(new CFineTuningCalibrateView(nullptr, m_pRig->Work()));
    QVERIFY(m_pRig->PlugFrame());
    m_pScreen->StartFineTuningCal();
    m_pScreen->showFullScreen();
    QVERIFY(QTest::qWaitForWindowExposed(m_pScreen.get()));
    QVERIFY(CalibrationTest::SaveScreenshot(m_pScreen.get(), "finetuning-lefttop-active.png"));

    const CFineTuningCalibrateView::SGeometry g = CFineTuningCalibrateView::Geometry(m_pScreen->ScreenSize());
    Press(g.rightBottom + QPoint(4, 2));
    m_pScreen->repaint();
    m_pScreen->CalWork();
    QVERIFY(CalibrationTest::SaveScreenshot(m_pScreen.get(), "finetuning-rightbottom-active.png"));
    m_pScreen->CloseFineTuningCal();
    m_pRig->Settle();
}

STATION_TEST_MAIN(TestFineTuningScreen)
#include "tst_finetuningscreen.moc"
