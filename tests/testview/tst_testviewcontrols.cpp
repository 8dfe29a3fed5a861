// The controls of the signal-test view over the emulated frame, as the
// operator uses them: the buttons that hand over to the other views, Escape,
// play/stop, touch output, retest, "Set...", "Modify SN code...", the AGC
// controls and the return from the draw test. What reaches the frame is read
// from the tasks the dispatcher ran and from the frame itself.

#include "modalboxanswerer.h"
#include "runlogcapture.h"
#include "stationresources.h"
#include "testviewstation.h"
#include "timerthread.h"
#include "touchpaintview.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

namespace {
QAction* MenuAction(VeloraTestView* pView, const QString& text)
{
    for (QAction* pAction : pView->ActionMenu()->actions()) {
        if (pAction->text() == text)
            return pAction;
    }
    return nullptr;
}

// The tasks the dispatcher started since the capture began, once the
// dispatcher is idle.
QStringList Tasks(CTestViewStation& station, const CRunLogCapture& log)
{
    station.rig.Settle();
    QStringList tasks = log.Tasks();
    tasks.removeAll(QStringLiteral("__settle__"));
    return tasks;
}

bool TimerRunning(VeloraTestView* pView)
{
    return pView->TimerThread()->isRunning();
}

// The refresh the first run started, stopped as by the play button.
void StopRunRefresh(VeloraTestView* pView)
{
    auto* pPlay = Child<QToolButton>(pView, "startTestButton");
    if (pPlay->isChecked())
        pPlay->click();
    StationTest::WaitFor([pView] { return !TimerRunning(pView); });
}
} // namespace

class TestTestViewControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void buttonsHandOverTheWork_data();
    void buttonsHandOverTheWork();
    void playStop();
    void touchOutput();
    void retest_data();
    void retest();
    void setUp_data();
    void setUp();
    void modifySerialNumber_data();
    void modifySerialNumber();
    void agcControls();
    void agcRangesWithoutRoom_data();
    void agcRangesWithoutRoom();
    void agcInitAndReverse_data();
    void agcInitAndReverse();
    void comLostError();
    void drawWindowClosed_data();
    void drawWindowClosed();
};

void TestTestViewControls::initTestCase()
{
    InitStationResources();
}

void TestTestViewControls::init()
{
    Settings()->clear();
    // Opening the view starts a run: no prompt, no draw test after it.
    Settings()->SetBool("SupportSNCheck", false);
    Settings()->SetBool("DefaultJumpToDraw", false);
}

void TestTestViewControls::buttonsHandOverTheWork_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("workType");
    QTest::newRow("calibration") << "calButton" << int(CALIBRATEWORK);
    QTest::newRow("upgrade") << "upgradeButton" << int(UPGRADEWORK);
    QTest::newRow("exit") << "exitTestButton" << int(MAINWORK);
    // Escape is the exit button's shortcut; while that button is off the
    // view's own key handling closes it the same way.
    QTest::newRow("Escape") << "Escape" << int(MAINWORK);
    QTest::newRow("Escape, exit button off") << "Escape, exit off" << int(MAINWORK);
}

void TestTestViewControls::buttonsHandOverTheWork()
{
    QFETCH(QString, control);
    QFETCH(int, workType);

    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    pView->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), pView);
    QSignalSpy handedOver(pView, &VeloraTestView::emitWorkType);
    QSignalSpy status(pView, &VeloraTestView::emitSignalTestStatus);

    if (control.startsWith("Escape")) {
        if (control.endsWith("exit off"))
            Child<QWidget>(pView, "exitTestButton")->setEnabled(false);
        QTest::keyClick(pView, Qt::Key_Escape);
    } else {
        Child<QToolButton>(pView, qPrintable(control))->click();
    }
    QTRY_COMPARE(handedOver.count(), 1);
    QCOMPARE(handedOver.at(0).at(0).value<eWorkType>(), eWorkType(workType));
    QCOMPARE(int(station.window->GetWorkType()), workType);
    QVERIFY(!pView->isVisible());
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toBool(), false);

    // The next close (from the window frame) returns to the main panel.
    station.window->ToggleFunction(SIGNALTESTWORK);
    // Opening it again starts a run; it closes once the run has its result.
    QVERIFY(StationTest::WaitFor([pView] { return !pView->IsTestRunning(); }));
    QVERIFY(pView->close());
    QCOMPARE(handedOver.count(), 2);
    QCOMPARE(handedOver.at(1).at(0).value<eWorkType>(), MAINWORK);
}

void TestTestViewControls::playStop()
{
    {
        // Without a device object the button does nothing, and says so.
        CTestViewStation station;
        QVERIFY(station.StartOpen());
        auto* pPlay = Child<QToolButton>(station.view, "startTestButton");
        pPlay->setEnabled(true);
        pPlay->click();
        QVERIFY(!pPlay->isChecked());
        QVERIFY(!TimerRunning(station.view));
        QVERIFY(!station.view->IsRefreshRunning());
    }

    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    auto* pPlay = Child<QToolButton>(pView, "startTestButton");
    pPlay->setEnabled(true);
    // The run's refresh is stopped first.
    StopRunRefresh(pView);
    CRunLogCapture log;
    int nDrains = pView->DrainsPosted();
    pPlay->click();
    QVERIFY(pPlay->isChecked());
    QVERIFY(pView->IsRefreshRunning());
    QVERIFY(StationTest::WaitFor([&] { return pView->DrainsPosted() > nDrains; }));
    QCOMPARE(pView->TimerThread()->Interval(), 10);

    // Stop and play again at once: the timer runs again.
    pPlay->click();
    pPlay->click();
    QVERIFY(pPlay->isChecked());
    nDrains = pView->DrainsPosted();
    QVERIFY(StationTest::WaitFor([&] { return pView->DrainsPosted() > nDrains; }));
    QVERIFY(TimerRunning(pView));

    pPlay->click();
    QVERIFY(!pView->IsRefreshRunning());
    QVERIFY(StationTest::WaitFor([&] { return !TimerRunning(pView); }));
}

void TestTestViewControls::touchOutput()
{
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    auto* pTouch = Child<QToolButton>(pView, "touchEnTestButton");
    pTouch->setEnabled(true);

    CRunLogCapture log;
    pTouch->click();
    QCOMPARE(Tasks(station, log), QStringList{"DisableTouch"});
    QVERIFY(!pView->IsTouchEnabled());
    // The dispatcher's answer keeps the button checked: touch output is off.
    QVERIFY(pTouch->isChecked());
    QVERIFY(!station.rig.Frame().frame.RequestsFor(0x30, 0x08).isEmpty());

    log.Clear();
    pTouch->click();
    QCOMPARE(Tasks(station, log), QStringList{"EnableTouch"});
    QVERIFY(pView->IsTouchEnabled());
    QVERIFY(!pTouch->isChecked());
}

void TestTestViewControls::retest_data()
{
    QTest::addColumn<bool>("recording");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("posted");
    QTest::newRow("not recording: no question") << false << "" << true;
    QTest::newRow("recording, No") << true << "No" << false;
    QTest::newRow("recording, Yes") << true << "Yes" << true;
}

void TestTestViewControls::retest()
{
    QFETCH(bool, recording);
    QFETCH(QString, answer);
    QFETCH(bool, posted);

    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    MenuAction(pView, "Record Data...")->setChecked(recording);
    auto* pRetest = Child<QToolButton>(pView, "retestTestButton");
    pRetest->setEnabled(true);

    CModalBoxAnswerer boxes;
    boxes.Answer(answer);
    CRunLogCapture log;
    pRetest->click();
    QCOMPARE(Tasks(station, log).contains("ReTest"), posted);
    QCOMPARE(boxes.boxes.size(), recording ? 1 : 0);
    if (recording) {
        QCOMPARE(boxes.boxes[0].title, QStringLiteral("Warning"));
        QCOMPARE(boxes.boxes[0].text,
                 QStringLiteral("Retesting will clear the data recorded, Do you want to continue?"));
        QCOMPARE(boxes.boxes[0].buttons, (QStringList{"Yes", "No"}));
    }
    MenuAction(pView, "Record Data...")->setChecked(false);
}

void TestTestViewControls::setUp_data()
{
    QTest::addColumn<bool>("frame");
    QTest::addColumn<bool>("snCheck");
    QTest::addColumn<QString>("task");
    QTest::addColumn<bool>("prompt");
    QTest::newRow("source present") << true << true << "UpdateTestResult" << false;
    QTest::newRow("no source, serial number checked") << false << true << "" << true;
    QTest::newRow("no source, serial number not checked") << false << false << "" << false;
}

void TestTestViewControls::setUp()
{
    QFETCH(bool, frame);
    QFETCH(bool, snCheck);
    QFETCH(QString, task);
    QFETCH(bool, prompt);

    CTestViewStation station;
    if (frame)
        station.AddFrame();
    QVERIFY(station.StartOpen());
    Settings()->SetBool("SupportSNCheck", snCheck);

    CModalBoxAnswerer boxes;
    boxes.AnswerDialog(false);
    boxes.AnswerInput(QStringLiteral("SN-0042"));
    CRunLogCapture log;
    MenuAction(station.view, "Set...")->trigger();
    const QStringList tasks = Tasks(station, log);
    QCOMPARE(tasks, task.isEmpty() ? QStringList() : QStringList{task});

    QCOMPARE(boxes.boxes.value(0).className, QStringLiteral("CSetUpDialog"));
    QCOMPARE(boxes.boxes.size(), prompt ? 2 : 1);
    if (prompt) {
        QCOMPARE(boxes.boxes[1].kind, CModalBoxAnswerer::EKind::Input);
        QCOMPARE(boxes.boxes[1].title, QStringLiteral("Scan serial number..."));
        QCOMPARE(boxes.boxes[1].text, QStringLiteral("Please scan or input product serial number."));
        QCOMPARE(station.view->ScannedSerialNumber(), QStringLiteral("SN-0042"));
    } else {
        QVERIFY(station.view->ScannedSerialNumber().isEmpty());
    }
}

void TestTestViewControls::modifySerialNumber_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<QString>("confirm");
    QTest::addColumn<bool>("written");
    QTest::addColumn<bool>("refused");  // as more than the frame holds, before the question
    QTest::newRow("cancelled") << "" << true << "" << false << false;
    QTest::newRow("empty") << "" << false << "" << false << false;
    QTest::newRow("blanks only") << "   " << false << "" << false << false;
    QTest::newRow("No") << "SN-0042" << false << "No" << false << false;
    QTest::newRow("Yes") << "SN-0042" << false << "Yes" << true << false;
    QTest::newRow("markup stays text") << "<b>SN</b>&amp;" << false << "Yes" << true << false;
    // The frame would keep its first 56 characters only: refused, nothing sent.
    QTest::newRow("very long") << QString(2000, QLatin1Char('7')) << false << "Yes" << false << true;
}

void TestTestViewControls::modifySerialNumber()
{
    QFETCH(QString, typed);
    QFETCH(bool, cancelled);
    QFETCH(QString, confirm);
    QFETCH(bool, written);
    QFETCH(bool, refused);

    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    const QByteArray batchBefore = station.rig.Frame().frame.Snapshot().info.batch;

    CModalBoxAnswerer boxes;
    if (cancelled)
        boxes.CancelInput();
    else
        boxes.AnswerInput(typed);
    boxes.Answer(confirm);
    Qt::TextFormat questionFormat = Qt::AutoText;
    boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        if (box.title == QLatin1String("Check serial number again..."))
            questionFormat = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())->textFormat();
        // The dispatcher's answer after the write.
        if (box.title == QLatin1String("Success!"))
            boxes.Answer(QStringLiteral("OK"));
        // A refusal: the prompt offered again is cancelled.
        if (box.title == QLatin1String("Warning"))
            boxes.CancelInput();
    });
    CRunLogCapture log;
    MenuAction(pView, "Modify SN code...")->trigger();
    const QStringList tasks = Tasks(station, log);

    QCOMPARE(boxes.boxes.value(0).kind, CModalBoxAnswerer::EKind::Input);
    QCOMPARE(boxes.boxes.value(0).title, QStringLiteral("Input serial number..."));
    QCOMPARE(boxes.boxes.value(0).text, QStringLiteral("Please input correct serial number..."));
    const bool bAsked = !confirm.isEmpty() && !refused;
    if (refused) {
        QCOMPARE(boxes.boxes.size(), 3);
        QCOMPARE(boxes.boxes.value(1).title, QStringLiteral("Warning"));
        QCOMPARE(boxes.boxes.value(1).text,
                 QStringLiteral("The serial number cannot be written: the frame holds at most 56 characters, this "
                                "one has %1.")
                     .arg(typed.size()));
        QCOMPARE(boxes.boxes.value(2).title, QStringLiteral("Input serial number..."));
        QCOMPARE(boxes.boxes.value(2).value, typed);
    } else if (bAsked) {
        QCOMPARE(boxes.boxes.value(1).title, QStringLiteral("Check serial number again..."));
        QCOMPARE(boxes.boxes.value(1).text, QStringLiteral("Is the serial number \"") + typed + "\" correct?");
        QCOMPARE(boxes.boxes.value(1).icon, QStringLiteral("Warning"));
        QCOMPARE(questionFormat, Qt::PlainText);
    } else {
        QCOMPARE(boxes.boxes.size(), 1);
    }
    QCOMPARE(tasks.contains("SaveBatchInfo"), written);
    QCOMPARE(log.Contains(QStringLiteral("modifySnResponse: ") + typed), written);
    if (!written) {
        QCOMPARE(station.rig.Frame().frame.Snapshot().info.batch, batchBefore);
        return;
    }
    // The frame now carries the serial number as its batch information
    // (as much of it as the frame takes), and the operator was told.
    QVERIFY(StationTest::WaitFor([&] {
        return boxes.boxes.size() == 3 && boxes.boxes[2].title == QLatin1String("Success!");
    }));
    QCOMPARE(QString::fromLatin1(station.rig.Frame().frame.Snapshot().info.batch), typed.left(56));
    station.rig.Settle();
}

// "InitAgcRange" through the menu slot: the controls show the frame's ranges
// and the first values go to the frame; every change of a spin box goes to
// the frame on its own.
void TestTestViewControls::agcControls()
{
    CTestViewStation station;
    station.AddFrame().frame.Edit([](CEmulatedFrame::State& s) {
        const quint16 tAgc[4] = {10, 200, 12, 180};
        std::copy(tAgc, tAgc + 4, s.settings.tAgc);
        s.settings.rAgc[0] = 3;
        s.settings.rAgc[1] = 99;
    });
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    auto* pWidget = Child<QWidget>(pView, "agcSetWidget");
    auto* pT = Child<QSpinBox>(pView, "tAgcSpinBox");
    auto* pR = Child<QSpinBox>(pView, "rAgcSpinBox");
    QVERIFY(!pWidget->isVisible());

    CRunLogCapture log;
    pView->setAgcResponse(true);
    QTRY_VERIFY(pWidget->isVisible());
    QCOMPARE(Tasks(station, log), (QStringList{"InitAgcRange", "SetR&TAgc"}));
    QCOMPARE(Child<QLabel>(pView, "tAgcLabel")->text(), QStringLiteral("TAgc(X:10-200_Y:12-180):"));
    QCOMPARE(Child<QLabel>(pView, "rAgcLabel")->text(), QStringLiteral("RAgc(3-99):"));
    QCOMPARE(Child<QLabel>(pView, "tAgcLabel")->textFormat(), Qt::PlainText);
    QCOMPARE(pT->minimum(), 10);
    QCOMPARE(pT->maximum(), 200);
    QCOMPARE(pR->minimum(), 3);
    QCOMPARE(pR->maximum(), 99);
    QVERIFY(pT->isEnabled() && pR->isEnabled());
    auto agc = [&station] {
        const CEmulatedFrame::State s = station.rig.Frame().frame.Snapshot();
        return QStringLiteral("%1:%2:%3").arg(s.settings.nAgcMode).arg(s.settings.nTAgc).arg(s.settings.nRAgc);
    };
    QCOMPARE(agc(), QStringLiteral("3:10:3"));
    uint32_t nT = 0;
    uint32_t nR = 0;
    pView->GetAgcValue(&nT, &nR);
    QCOMPARE(nT, 10u);
    QCOMPARE(nR, 3u);

    log.Clear();
    pT->setValue(77);
    QCOMPARE(Tasks(station, log), QStringList{"SetTAgc"});
    QCOMPARE(agc(), QStringLiteral("1:77:0"));
    log.Clear();
    pR->setValue(50);
    QCOMPARE(Tasks(station, log), QStringList{"SetRAgc"});
    QCOMPARE(agc(), QStringLiteral("2:0:50"));
    pView->GetAgcValue(&nT, &nR);
    QCOMPARE(nT, 77u);
    QCOMPARE(nR, 50u);

    // Off: the controls go and the frame's AGC is reset.
    log.Clear();
    pView->setAgcResponse(false);
    QVERIFY(!pWidget->isVisible());
    QCOMPARE(Tasks(station, log), QStringList{"ResetAgc"});
    QCOMPARE(agc(), QStringLiteral("0:0:0"));

    // A failed read hides them.
    pWidget->show();
    pView->InitAgcRangeFinished(false);
    QVERIFY(!pWidget->isVisible());
}

void TestTestViewControls::agcRangesWithoutRoom_data()
{
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::newRow("maximum = minimum") << 40 << 40;
    QTest::newRow("maximum < minimum") << 200 << 10;
}

void TestTestViewControls::agcRangesWithoutRoom()
{
    QFETCH(int, min);
    QFETCH(int, max);
    CTestViewStation station;
    station.AddFrame().frame.Edit([min, max](CEmulatedFrame::State& s) {
        const quint16 tAgc[4] = {quint16(min), quint16(max), quint16(min), quint16(max)};
        std::copy(tAgc, tAgc + 4, s.settings.tAgc);
    });
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    pView->setAgcResponse(true);
    QTRY_VERIFY(Child<QWidget>(pView, "agcSetWidget")->isVisible());
    station.rig.Settle();
    QVERIFY(!Child<QLabel>(pView, "tAgcLabel")->isEnabled());
    QVERIFY(!Child<QSpinBox>(pView, "tAgcSpinBox")->isEnabled());
    // The receiver's range has room.
    QVERIFY(Child<QSpinBox>(pView, "rAgcSpinBox")->isEnabled());
    uint32_t nT = 0;
    pView->GetAgcValue(&nT, nullptr);
    // The value is the range's minimum, as the frame gives it.
    QCOMPARE(nT, uint32_t(min));
}

void TestTestViewControls::agcInitAndReverse_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QString>("task");
    QTest::addColumn<bool>("reverseAfter");
    QTest::newRow("AGC initialised") << "initAgc" << "InitAgc" << false;
    QTest::newRow("reverse on") << "reverse on" << "OpenReverse" << true;
    QTest::newRow("reverse off") << "reverse off" << "CloseReverse" << false;
}

// The AGC initialisation and the reverse mode, as their slots post them: one
// task each, which reaches the frame (the AGC) or the device object (the mode).
void TestTestViewControls::agcInitAndReverse()
{
    QFETCH(QString, call);
    QFETCH(QString, task);
    QFETCH(bool, reverseAfter);

    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    auto reverseMode = [&station] {
        QMutexLocker lock(station.work->GetDeviceMutex());
        CTouchBase* pDevice = station.work->GetTouchDevice();
        return pDevice && pDevice->IsReverseMode();
    };
    if (call == "reverse off") {
        // The mode is on first, so that switching it off shows.
        pView->openReverseResponse(true);
        station.rig.Settle();
        QVERIFY(reverseMode());
    }
    const int nAgcInits = station.rig.Frame().frame.Snapshot().settings.nAgcInits;

    CRunLogCapture log;
    if (call == "initAgc")
        pView->initAgcResponse();
    else
        pView->openReverseResponse(call == "reverse on");
    QCOMPARE(Tasks(station, log), QStringList{task});
    QCOMPARE(reverseMode(), reverseAfter);
    QCOMPARE(station.rig.Frame().frame.Snapshot().settings.nAgcInits - nAgcInits, call == "initAgc" ? 1 : 0);
}

// The serial port the frame's test needs is lost: the operator is told, then
// the settings open to choose another.
void TestTestViewControls::comLostError()
{
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.StartOpen());

    CModalBoxAnswerer boxes;
    boxes.Answer(QString());
    boxes.AnswerDialog(false);
    CRunLogCapture log;
    station.view->ShowComLostError();
    // The settings were left at once; with the frame as the source the
    // result is shown again.
    QCOMPARE(Tasks(station, log), QStringList{"UpdateTestResult"});

    QCOMPARE(boxes.boxes.size(), 2);
    const CModalBoxAnswerer::SBox& box = boxes.boxes[0];
    QCOMPARE(box.kind, CModalBoxAnswerer::EKind::Message);
    QCOMPARE(box.title, QStringLiteral("Error!"));
    QCOMPARE(box.text,
             QStringLiteral("The uart interface of this device should be tested, but the com is lost, Please config it!"));
    QCOMPARE(box.buttons, QStringList{"OK"});
    QCOMPARE(box.icon, QStringLiteral("Warning"));
    QCOMPARE(boxes.boxes[1].className, QStringLiteral("CSetUpDialog"));
    QVERIFY(boxes.problems.isEmpty());
}

void TestTestViewControls::drawWindowClosed_data()
{
    QTest::addColumn<bool>("frame");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("refresh");
    QTest::newRow("no device object: nothing") << false << true << true;
    QTest::newRow("visible, refresh wanted: it runs again") << true << true << true;
    QTest::newRow("visible, refresh not wanted: it stays off") << true << true << false;
    QTest::newRow("hidden: the refresh is left alone") << true << false << true;
}

void TestTestViewControls::drawWindowClosed()
{
    QFETCH(bool, frame);
    QFETCH(bool, visible);
    QFETCH(bool, refresh);

    CTestViewStation station;
    if (frame)
        station.AddFrame();
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    auto* pPlay = Child<QToolButton>(pView, "startTestButton");
    pPlay->setEnabled(true);
    StopRunRefresh(pView);
    if (refresh)
        pPlay->click();
    QCOMPARE(pView->IsRefreshRunning(), refresh && frame);

    // The draw test takes over: the refresh stops and touch output goes on.
    CRunLogCapture log;
    Child<QToolButton>(pView, "drawButton")->click();
    CTouchPaintView* pDraw = pView->TouchPaintView();
    QVERIFY(pDraw->isVisible());
    QVERIFY(pDraw->isFullScreen());
    QVERIFY(!pPlay->isChecked());
    QCOMPARE(Tasks(station, log), QStringList{"EnableTouch"});
    // A second click only brings it forward.
    Child<QToolButton>(pView, "drawButton")->click();
    QCOMPARE(Tasks(station, log), QStringList{"EnableTouch"});

    // The page is restored from the store when the draw test ends.
    Settings()->SetBool("TouchPannelChecked", false);
    Settings()->SetBool("TouchHistogramChecked", true);
    auto* pTabs = Child<QTabWidget>(pView, "touchTabWidget");
    const QWidget* pPageBefore = pTabs->currentWidget();
    if (!visible)
        pView->hide();
    pDraw->ExitResponse();
    QVERIFY(!pDraw->isVisible());
    if (!frame) {
        QVERIFY(!pPlay->isChecked());
        QCOMPARE(pTabs->currentWidget(), pPageBefore);
        return;
    }
    QCOMPARE(pTabs->currentWidget()->objectName(), QStringLiteral("HistogramTab"));
    if (!visible) {
        QVERIFY(log.Contains("TouchPaintClose :VeloraTestView is inVisible"));
        QVERIFY(!pPlay->isChecked());
        QVERIFY(!TimerRunning(pView));
        return;
    }
    QVERIFY(!log.Contains("is inVisible"));
    QCOMPARE(pPlay->isChecked(), refresh);
    QVERIFY(StationTest::WaitFor([&] { return TimerRunning(pView) == refresh; }));
}

STATION_TEST_MAIN(TestTestViewControls)
#include "tst_testviewcontrols.moc"
