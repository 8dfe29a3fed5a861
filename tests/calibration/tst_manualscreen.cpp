// The manual calibration screen over the real dispatcher and an emulated
// frame: its zones and value texts at 1920 x 1080, the values it shows (read
// by the dispatcher, never on the GUI thread), the arrows and what they move
// on the frame, the ways of leaving with and without changes, and the touch
// dot.

#include "caladvancedsettingview.h"
#include "calibrationscreenrig.h"
#include "mutexholder.h"
#include "stationresources.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTouchDevice>
#include <QTouchEvent>
#include <QtTest>

using TouchList = QList<QPair<int, QPoint>>;  // state, position

namespace {
QStringList WithoutReads(QStringList tasks)
{
    tasks.removeAll(QStringLiteral("READ_CAL_VALUES"));
    return tasks;
}
} // namespace

class TestManualScreen : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void zones();
    void valueText_data();
    void valueText();
    void dotRect_data();
    void dotRect();

    void showsTheFramesValues();
    void withoutFrameShowsZeros();
    void arrows_data();
    void arrows();
    void refusedArrowStillCounts();
    void refusedReadIsAskedAgain();
    void exitDropsTheReadAskedAgain();
    void exitWithoutChange();
    void exitAfterChange_data();
    void exitAfterChange();
    void resetAloneAsksNothing();
    void escapeEndsTheWaitBeforeItAsks();
    void exitWhileAnotherWindowIsActive();
    void windowSystemClose();
    void touchDot_data();
    void touchDot();
    void touchPressesTheButtons_data();
    void touchPressesTheButtons();
    void screenshot();

private:
    void Open();
    QString Box(const char* szName) const;
    QStringList Boxes() const;
    void Click(const char* szButton);
    bool DotAt(const QPoint& p);

    std::unique_ptr<CCalibrationScreenRig> m_pRig;
    std::unique_ptr<CCalAdvancedSettingView> m_pScreen;
    QTouchDevice* m_pTouch = nullptr;
};

void TestManualScreen::initTestCase()
{
    InitStationResources();
    m_pTouch = QTest::createTouchDevice(QTouchDevice::TouchScreen);
}

void TestManualScreen::init()
{
    CTestEnvironment::FastClock(0.02);
    m_pRig = std::make_unique<CCalibrationScreenRig>();
    m_pScreen = std::make_unique<CCalAdvancedSettingView>(nullptr, m_pRig->Work());
}

void TestManualScreen::cleanup()
{
    m_pScreen.reset();
    m_pRig.reset();
    CTestEnvironment::RealClock();
}

void TestManualScreen::Open()
{
    m_pScreen->InitSettingView();
    m_pScreen->showFullScreen();
    QVERIFY(QTest::qWaitForWindowExposed(m_pScreen.get()));
    QVERIFY(CalibrationTest::Activate(m_pScreen.get()));
    m_pRig->Settle();
    m_pRig->Forget();
}

QString TestManualScreen::Box(const char* szName) const
{
    return m_pScreen->findChild<QLineEdit*>(QLatin1String(szName))->text();
}

QStringList TestManualScreen::Boxes() const
{
    return {Box("edit_left"), Box("edit_top"), Box("edit_right"), Box("edit_bottom")};
}

void TestManualScreen::Click(const char* szButton)
{
    QTest::mouseClick(m_pScreen->findChild<QPushButton*>(QLatin1String(szButton)), Qt::LeftButton);
}

bool TestManualScreen::DotAt(const QPoint& p)
{
    const QImage image = m_pScreen->grab().toImage();
    return image.pixelColor(p) == QColor(0, 0, 255);
}

// --- geometry and texts ---

void TestManualScreen::zones()
{
    const QList<QRect> zones = CCalAdvancedSettingView::Zones(QSize(1920, 1080));
    QCOMPARE(zones, (QList<QRect>{QRect(0, 270, 155, 540), QRect(690, 0, 540, 155), QRect(1785, 270, 155, 540),
                                  QRect(690, 945, 540, 155)}));
}

void TestManualScreen::valueText_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "0x0";
    QTest::newRow("3000") << 3000 << "0xbb8";
    QTest::newRow("65535") << 65535 << "0xffff";
    QTest::newRow("-1") << -1 << "0x-1";
}

void TestManualScreen::valueText()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(CCalAdvancedSettingView::ValueText(value), text);
    // What the screen shows for it.
    m_pScreen->CalValuesRead(value, 0, 0, 0);
    QCOMPARE(Box("edit_left"), text);
}

void TestManualScreen::dotRect_data()
{
    QTest::addColumn<QPointF>("touch");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("before the first touch") << QPointF(0, 0) << QRect(-2, -2, 4, 4);
    QTest::newRow("fractions truncate") << QPointF(10.7, 5.2) << QRect(8, 3, 4, 4);
    QTest::newRow("toward zero") << QPointF(1.5, -0.5) << QRect(0, -2, 4, 4);
}

void TestManualScreen::dotRect()
{
    QFETCH(QPointF, touch);
    QFETCH(QRect, rect);
    QCOMPARE(CCalAdvancedSettingView::DotRect(touch), rect);
}

// --- values ---

void TestManualScreen::showsTheFramesValues()
{
    QVERIFY(m_pRig->PlugFrame());
    m_pScreen->InitSettingView();
    // Asked of the dispatcher; the boxes keep their text until it answers.
    QCOMPARE(Boxes(), (QStringList{"0xffff", "0xffff", "0xffff", "0xffff"}));
    m_pRig->Settle();
    QCOMPARE(m_pRig->Tasks(), QStringList{"READ_CAL_VALUES"});
    // Left LX, top LY, right RX, bottom RY; no command to the frame.
    QCOMPARE(Boxes(), (QStringList{"0x100", "0x200", "0x7e00", "0x7d00"}));
    QVERIFY(m_pRig->Frame().AppCommands().isEmpty());
    // Tool tips and the style sheets that name no image of the station.
    auto* pLtl = m_pScreen->findChild<QPushButton*>("btn_ltl");
    QCOMPARE(pLtl->toolTip(), QStringLiteral("The left area is to the right, adjust to the left"));
    QCOMPARE(pLtl->styleSheet(), QStringLiteral("border-image:url(:/image/icon/button/toleft.png)"));
    QVERIFY(!pLtl->icon().isNull());
}

void TestManualScreen::withoutFrameShowsZeros()
{
    Open();
    QCOMPARE(Boxes(), (QStringList{"0x0", "0x0", "0x0", "0x0"}));
    // The arrows post tasks the dispatcher leaves alone.
    Click("btn_ltl");
    m_pRig->Settle();
    QCOMPARE(m_pRig->Tasks(), QStringList{"CAL_LTL"});
    QVERIFY(m_pRig->rig.Record().events.isEmpty());
}

void TestManualScreen::arrows_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("task");
    QTest::addColumn<int>("value");  // 0 LX, 1 LY, 2 RX, 3 RY
    QTest::addColumn<int>("delta");
    QTest::newRow("btn_ltl") << "btn_ltl" << "CAL_LTL" << 0 << +1;
    QTest::newRow("btn_ltr") << "btn_ltr" << "CAL_LTR" << 0 << -1;
    QTest::newRow("btn_rtl") << "btn_rtl" << "CAL_RTL" << 2 << +1;
    QTest::newRow("btn_rtr") << "btn_rtr" << "CAL_RTR" << 2 << -1;
    QTest::newRow("btn_ttt") << "btn_ttt" << "CAL_TTT" << 1 << +1;
    QTest::newRow("btn_ttb") << "btn_ttb" << "CAL_TTB" << 1 << -1;
    QTest::newRow("btn_btb") << "btn_btb" << "CAL_BTB" << 3 << -1;
    QTest::newRow("btn_btt") << "btn_btt" << "CAL_BTT" << 3 << +1;
}

void TestManualScreen::arrows()
{
    QFETCH(QString, button);
    QFETCH(QString, task);
    QFETCH(int, value);
    QFETCH(int, delta);

    QVERIFY(m_pRig->PlugFrame());
    Open();
    Click(qPrintable(button));
    m_pRig->Settle();
    // The move, then the read its answer asks for.
    QCOMPARE(m_pRig->Tasks(), (QStringList{task, "READ_CAL_VALUES"}));
    QList<int> expected = CalibrationTest::FactoryValues();
    expected[value] += delta;
    QCOMPARE(m_pRig->FrameValues(), expected);
    QCOMPARE(Boxes(), (QStringList{CCalAdvancedSettingView::ValueText(expected[0]),
                                   CCalAdvancedSettingView::ValueText(expected[1]),
                                   CCalAdvancedSettingView::ValueText(expected[2]),
                                   CCalAdvancedSettingView::ValueText(expected[3])}));
    // Changed: leaving asks.
    m_pRig->answerer.Answer("No");
    m_pScreen->ExitWithSavePrompt();
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    m_pRig->Settle();
}

void TestManualScreen::refusedArrowStillCounts()
{
    QVERIFY(m_pRig->PlugFrame());
    Open();
    {
        // The same edge move runs (it waits for the device): the arrow's
        // post is refused, the change still counts.
        CMutexHolder holder(m_pRig->Work()->GetDeviceMutex());
        QVERIFY(m_pRig->Work()->PostTask("CAL_LTL"));
        QVERIFY(StationTest::WaitFor([this] { return m_pRig->Work()->IsTaskRunning("CAL_LTL"); }));
        Click("btn_ltl");
    }
    m_pRig->Settle();
    QCOMPARE(WithoutReads(m_pRig->Tasks()), QStringList{"CAL_LTL"});
    m_pRig->answerer.Answer("Yes");
    m_pScreen->ExitWithSavePrompt();
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
}

// The values change while another read runs (the main window keeps a
// manual screen of its own, which reads too) and waits for the device: the
// screen's read is refused, and asked again once the other has ended, so the
// boxes end on the values the station holds.
void TestManualScreen::refusedReadIsAskedAgain()
{
    QVERIFY(m_pRig->PlugFrame());
    Open();
    QCOMPARE(Boxes(), (QStringList{"0x100", "0x200", "0x7e00", "0x7d00"}));
    m_pRig->SetCached(0x101, 0x202, 0x7e03, 0x7d04);
    CCalAdvancedSettingView other(nullptr, m_pRig->Work());
    {
        CMutexHolder holder(m_pRig->Work()->GetDeviceMutex());
        QVERIFY(m_pRig->Work()->PostTask("READ_CAL_VALUES", Qt::AutoConnection, &other));
        QVERIFY(StationTest::WaitFor([this] { return m_pRig->Work()->IsTaskRunning("READ_CAL_VALUES"); }));
        m_pScreen->ResetCalibrationData();
        QVERIFY(m_pRig->log.Contains("a read of the calibration values is already running"));
    }
    QTRY_COMPARE(Boxes(), (QStringList{"0x101", "0x202", "0x7e03", "0x7d04"}));
    m_pRig->Settle();
    QCOMPARE(m_pRig->Tasks(), (QStringList{"READ_CAL_VALUES", "READ_CAL_VALUES"}));
    QCOMPARE(other.findChild<QLineEdit*>("edit_left")->text(), QStringLiteral("0x101"));
}

// A read refused just before the operator leaves is not asked again by the
// screen that has gone.
void TestManualScreen::exitDropsTheReadAskedAgain()
{
    QVERIFY(m_pRig->PlugFrame());
    Open();
    QTimer* pRetry = nullptr;
    for (QTimer* pTimer : m_pScreen->findChildren<QTimer*>()) {
        if (pTimer->isSingleShot())
            pRetry = pTimer;
    }
    QVERIFY(pRetry);
    CCalAdvancedSettingView other(nullptr, m_pRig->Work());
    {
        CMutexHolder holder(m_pRig->Work()->GetDeviceMutex());
        QVERIFY(m_pRig->Work()->PostTask("READ_CAL_VALUES", Qt::AutoConnection, &other));
        QVERIFY(StationTest::WaitFor([this] { return m_pRig->Work()->IsTaskRunning("READ_CAL_VALUES"); }));
        m_pScreen->ResetCalibrationData();
        QVERIFY(pRetry->isActive());
        Click("btn_exit");
        QVERIFY(!m_pScreen->isVisible());
        QVERIFY(!pRetry->isActive());
    }
    m_pRig->Settle();
    QCOMPARE(m_pRig->Tasks(), QStringList{"READ_CAL_VALUES"});
}

void TestManualScreen::exitWithoutChange()
{
    QVERIFY(m_pRig->PlugFrame());
    Open();
    Click("btn_exit");
    m_pRig->Settle();
    QVERIFY(!m_pScreen->isVisible());
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    QVERIFY(m_pRig->Tasks().isEmpty());
}

void TestManualScreen::exitAfterChange_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("tasks");
    QTest::addColumn<bool>("stored");
    QTest::newRow("Yes") << "Yes" << QStringList{"SET_CAL_FMT", "SAVE_TO_FLASH", "SAVE_AS_DEFAULT", "GET_CAL_DATA"}
                         << true;
    QTest::newRow("No") << "No" << QStringList{"RESET_CAL_DATA"} << false;
    // The flag is cleared whatever the answer.
    QTest::newRow("closed") << "" << QStringList{} << false;
}

void TestManualScreen::exitAfterChange()
{
    QFETCH(QString, answer);
    QFETCH(QStringList, tasks);
    QFETCH(bool, stored);

    QVERIFY(m_pRig->PlugFrame());
    Open();
    Click("btn_btt");
    m_pRig->Settle();
    m_pRig->Forget();
    m_pRig->answerer.Answer(answer);
    Click("btn_exit");
    m_pRig->Settle();
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    const CModalBoxAnswerer::SBox box = m_pRig->answerer.boxes[0];
    QCOMPARE(box.title, QStringLiteral("Calibration is complete"));
    QCOMPARE(box.text,
             QStringLiteral("The calibration parameters have been modified, do you want to save the current parameters!"));
    QCOMPARE(box.buttons, (QStringList{"Yes", "No"}));
    QCOMPARE(WithoutReads(m_pRig->Tasks()), tasks);
    QVERIFY(!m_pScreen->isVisible());
    QList<int> moved = CalibrationTest::FactoryValues();
    moved[3] += 1;
    if (stored)
        QCOMPARE(m_pRig->FrameFlash(), moved);
    else if (answer == "No")
        QCOMPARE(m_pRig->FrameValues(), CalibrationTest::FactoryValues());

    // Asked once: the next opening starts unchanged.
    Open();
    Click("btn_exit");
    QCOMPARE(m_pRig->answerer.boxes.size(), 0);
}

void TestManualScreen::resetAloneAsksNothing()
{
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) { s.cal.value[0] = 0x123; });
    QVERIFY(m_pRig->PlugFrame());
    Open();
    QCOMPARE(Box("edit_left"), QStringLiteral("0x123"));
    Click("btn_reset");
    m_pRig->Settle();
    QCOMPARE(m_pRig->Tasks(), (QStringList{"RESET_CAL_DATA", "READ_CAL_VALUES"}));
    QCOMPARE(Box("edit_left"), QStringLiteral("0x100"));
    Click("btn_exit");
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    QVERIFY(!m_pScreen->isVisible());
}

void TestManualScreen::escapeEndsTheWaitBeforeItAsks()
{
    QVERIFY(m_pRig->PlugFrame());
    Open();
    // The frame does not answer the edge move: its task waits.
    m_pRig->Frame().frame.SetFault(0xA1, 0x02, CEmulatedFrame::Silent());
    Click("btn_ltl");
    QVERIFY(StationTest::WaitFor([this] { return m_pRig->Work()->IsTaskRunning("CAL_LTL"); }));

    QStringList order;
    connect(m_pScreen.get(), &CCalAdvancedSettingView::CloseThisView, this, [&order] { order << "CloseThisView"; });
    m_pRig->answerer.OnShown([&order](const CModalBoxAnswerer::SBox&) { order << "box"; });
    m_pRig->answerer.Answer("Yes");
    m_pRig->Frame().frame.ClearFaults();
    m_pRig->rig.ClearRecord();
    QTest::keyClick(m_pScreen.get(), Qt::Key_Escape);
    m_pRig->Settle();
    // The waiting move was ended first; the save tasks were not cut short.
    QCOMPARE(order, (QStringList{"CloseThisView", "box"}));
    QCOMPARE(WithoutReads(m_pRig->Tasks()),
             (QStringList{"CAL_LTL", "SET_CAL_FMT", "SAVE_TO_FLASH", "SAVE_AS_DEFAULT", "GET_CAL_DATA"}));
    QVERIFY(m_pRig->rig.Record().events.contains(R"(msg:{"funcResult":"0"})"));
    QVERIFY(!m_pRig->rig.Record().events.join(' ').contains("8029"));
    QVERIFY(!m_pScreen->isVisible());
}

void TestManualScreen::exitWhileAnotherWindowIsActive()
{
    QVERIFY(m_pRig->PlugFrame());
    Open();
    Click("btn_rtl");
    m_pRig->Settle();
    QWidget other;
    other.resize(200, 100);
    other.show();
    QVERIFY(CalibrationTest::Activate(&other));

    m_pRig->answerer.Answer("No");
    Click("btn_exit");
    m_pRig->Settle();
    // Answered, the change forgotten, but the screen stays.
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    QVERIFY(m_pScreen->isVisible());
    QVERIFY(!m_pScreen->ExitWithSavePrompt());
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    QVERIFY(m_pScreen->isVisible());
}

void TestManualScreen::windowSystemClose()
{
    QVERIFY(m_pRig->PlugFrame());
    Open();
    Click("btn_ttt");
    m_pRig->Settle();
    m_pRig->Forget();
    m_pRig->answerer.Answer("No");
    QCloseEvent event;
    QApplication::sendEvent(m_pScreen->windowHandle(), &event);
    m_pRig->Settle();
    QVERIFY(!m_pScreen->isVisible());
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    QCOMPARE(WithoutReads(m_pRig->Tasks()), QStringList{"RESET_CAL_DATA"});
    QCOMPARE(m_pRig->FrameValues(), CalibrationTest::FactoryValues());
}

void TestManualScreen::touchDot_data()
{
    // After a first finger went down at (200, 120).
    QTest::addColumn<int>("type");
    QTest::addColumn<TouchList>("points");
    QTest::addColumn<QPoint>("dot");  // (-1, -1): outside the window
    const QPoint start(200, 120);
    QTest::newRow("moved") << int(QEvent::TouchUpdate) << TouchList{{Qt::TouchPointMoved, {310, 210}}}
                           << QPoint(310, 210);
    QTest::newRow("released") << int(QEvent::TouchEnd) << TouchList{{Qt::TouchPointReleased, {320, 220}}}
                              << QPoint(320, 220);
    QTest::newRow("only stationary") << int(QEvent::TouchUpdate)
                                     << TouchList{{Qt::TouchPointStationary, {330, 230}}} << start;
    QTest::newRow("a second finger") << int(QEvent::TouchUpdate)
                                     << TouchList{{Qt::TouchPointStationary, {200, 120}},
                                                  {Qt::TouchPointPressed, {300, 200}}}
                                     << QPoint(300, 200);
    QTest::newRow("several fingers: the last that moved")
        << int(QEvent::TouchUpdate)
        << TouchList{{Qt::TouchPointMoved, {340, 240}},
                     {Qt::TouchPointPressed, {500, 400}},
                     {Qt::TouchPointStationary, {600, 450}}}
        << QPoint(500, 400);
    QTest::newRow("outside the window") << int(QEvent::TouchUpdate) << TouchList{{Qt::TouchPointMoved, {-50, 4000}}}
                                        << QPoint(-1, -1);
}

void TestManualScreen::touchDot()
{
    QFETCH(int, type);
    QFETCH(TouchList, points);
    QFETCH(QPoint, dot);

    Open();
    const QPoint start(200, 120);
    const auto send = [this](QEvent::Type eventType, const TouchList& touch) {
        QList<QTouchEvent::TouchPoint> touchPoints;
        Qt::TouchPointStates states;
        for (int i = 0; i < touch.size(); ++i) {
            QTouchEvent::TouchPoint point(i);
            point.setState(Qt::TouchPointState(touch[i].first));
            point.setPos(touch[i].second);
            point.setScreenPos(m_pScreen->mapToGlobal(touch[i].second));
            touchPoints << point;
            states |= point.state();
        }
        QTouchEvent event(eventType, m_pTouch, Qt::NoModifier, states, touchPoints);
        QApplication::sendEvent(m_pScreen.get(), &event);
    };
    send(QEvent::TouchBegin, TouchList{{Qt::TouchPointPressed, start}});
    QVERIFY(DotAt(start));

    send(QEvent::Type(type), points);
    if (dot.x() >= 0) {
        QVERIFY(DotAt(dot));
        if (dot != start)
            QVERIFY(!DotAt(start));
    } else {
        QVERIFY(!DotAt(start));
    }
    // Mouse clicks on the background draw nothing.
    QTest::mouseClick(m_pScreen.get(), Qt::LeftButton, Qt::NoModifier, QPoint(250, 300));
    QVERIFY(!DotAt(QPoint(250, 300)));
}

void TestManualScreen::touchPressesTheButtons_data()
{
    QTest::addColumn<QString>("button");  // empty: the background
    QTest::addColumn<QStringList>("tasks");
    QTest::addColumn<bool>("closes");
    QTest::newRow("arrow") << "btn_ltl" << QStringList{"CAL_LTL", "READ_CAL_VALUES"} << false;
    QTest::newRow("Reset") << "btn_reset" << QStringList{"RESET_CAL_DATA", "READ_CAL_VALUES"} << false;
    // Nothing changed: no question.
    QTest::newRow("Exit") << "btn_exit" << QStringList{} << true;
    QTest::newRow("background") << "" << QStringList{} << false;
}

// A finger on a button presses it, once, as a click does; the touch still
// moves the dot. A finger on the background only moves the dot: no mouse
// press reaches the screen. The touches come through the window system, as
// the frame's do.
void TestManualScreen::touchPressesTheButtons()
{
    QFETCH(QString, button);
    QFETCH(QStringList, tasks);
    QFETCH(bool, closes);

    QVERIFY(m_pRig->PlugFrame());
    Open();
    auto* pButton = button.isEmpty() ? nullptr : m_pScreen->findChild<QPushButton*>(button);
    QVERIFY(button.isEmpty() || pButton);
    const QPoint at = pButton ? pButton->mapTo(m_pScreen.get(), pButton->rect().center()) : QPoint(250, 300);
    QCOMPARE(m_pScreen->childAt(at), static_cast<QWidget*>(pButton));
    std::unique_ptr<QSignalSpy> pClicks(pButton ? new QSignalSpy(pButton, &QAbstractButton::clicked) : nullptr);
    int nMousePresses = 0;
    struct CPressCounter : QObject
    {
        int* pCount;
        explicit CPressCounter(int* p) : pCount(p) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::MouseButtonPress)
                ++*pCount;
            return false;
        }
    } counter(&nMousePresses);
    m_pScreen->installEventFilter(&counter);

    QTest::touchEvent(m_pScreen.get(), m_pTouch).press(0, at, m_pScreen.get());
    QTest::touchEvent(m_pScreen.get(), m_pTouch).release(0, at, m_pScreen.get());
    m_pRig->Settle();
    m_pScreen->removeEventFilter(&counter);

    if (pClicks)
        QCOMPARE(pClicks->size(), 1);
    else
        QCOMPARE(nMousePresses, 0);
    QCOMPARE(m_pRig->Tasks(), tasks);
    QCOMPARE(m_pScreen->isVisible(), !closes);
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    if (!closes) {
        // The dot is where the finger was (drawn under a button, so looked
        // for on the background beside it).
        if (!pButton)
            QVERIFY(DotAt(at));
        m_pRig->answerer.Answer("No");
        m_pScreen->ExitWithSavePrompt();
        m_pRig->Settle();
    }
}

void TestManualScreen::screenshot()
{
    QVERIFY(m_pRig->PlugFrame());
    Open();
    Click("btn_ltl");
    m_pRig->Settle();
    QTest::touchEvent(m_pScreen.get(), m_pTouch).press(0, QPoint(60, 300), m_pScreen.get());
    QVERIFY(CalibrationTest::SaveScreenshot(m_pScreen.get(), "manual-calibration-values.png"));
    m_pRig->answerer.Answer("No");
    m_pScreen->ExitWithSavePrompt();
    m_pRig->Settle();
}

STATION_TEST_MAIN(TestManualScreen)
#include "tst_manualscreen.moc"
