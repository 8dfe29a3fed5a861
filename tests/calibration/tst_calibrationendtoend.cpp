// The calibration of a frame from end to end: the real main window, the real
// dispatcher and the device layer, and an emulated frame on the fake OS
// backend. The operator opens the calibration view, presses "Calibrate" and
// touches the four targets (the frame answers each step after its touch
// delay, or when the test "touches"); the check is accepted, or the deviation
// is too large and the operator keeps or discards the values; the count-down
// ends a step nobody touches; a frame pulled out ends the step at once. With
// screenshots of what the operator sees.

#include "caladvancedsettingview.h"
#include "calibratesetupdialog.h"
#include "calworkcustomview.h"
#include "customersettings.h"
#include "finetuningcalibrateview.h"
#include "handlework.h"
#include "mainwindow.h"
#include "modalboxanswerer.h"
#include "runlogcapture.h"
#include "stationclock.h"
#include "stationresources.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "testviewdouble.h"
#include "toast.h"
#include "toastrecorder.h"
#include "touchbase.h"
#include "toastdlg.h"
#include "veloracalibrateview.h"
#include "waitfor.h"

#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {
const QString kProduct = QStringLiteral("Product:KT-T65WHSUR-10P");
const QString kFactoryValues = QStringLiteral("100-200-7e00-7d00");
// What the frame makes of the four touches.
const quint16 kNewValues[4] = {0x0120, 0x0230, 0x7D00, 0x7C00};
const QString kNewValuesRow = QStringLiteral("120-230-7d00-7c00");

QString Screenshot(const QString& name)
{
    return CTestEnvironment::OutputDir() + QLatin1Char('/') + name;
}

QVector<quint16> Values(const quint16 (&v)[4])
{
    return {v[0], v[1], v[2], v[3]};
}
} // namespace

class TestCalibrationEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void openingShowsTheFrame();
    void fourPoints_data();
    void fourPoints();
    void countDownEndInterruptsTheStep();
    void frameLeavesDuringAStep();
    void replayedLogLeavesNothingToCalibrate_data();
    void replayedLogLeavesNothingToCalibrate();
    void windowGoesAfterEveryScreen();

private:
    // Builds the window with a frame plugged and opens the calibration view.
    void OpenWithFrame();
    QStringList LogTexts() const;
    // The frame's answer to the step it waits in, as if the target was touched.
    void Touch(quint8 nAnswer, quint8 nCheck = 2);

    std::unique_ptr<CScopedWorkDir> m_pWorkDir;
    std::unique_ptr<CStationRig> m_pRig;
    std::unique_ptr<CRunLogCapture> m_pLog;
    CStationRig::SFrame* m_pFrame = nullptr;
    MainWindow* m_pWindow = nullptr;  // the rig's
    VeloraCalibrateView* m_pView = nullptr;
    CCalWorkCustomView* m_pScreen = nullptr;
    HandleWork* m_pWork = nullptr;
};

void TestCalibrationEndToEnd::initTestCase()
{
    InitStationResources();
}

void TestCalibrationEndToEnd::init()
{
    // Real time-outs (the 30-second count-down runs as it does at the
    // station); fixed pauses of the protocol pass at once.
    CStationClock::SetTimeoutScale(1.0);
    CStationClock::SetSleepHook([](int) {});
    CCustomerSettings::GetInstance()->clear();
    m_pWorkDir = std::make_unique<CScopedWorkDir>();
    m_pLog = std::make_unique<CRunLogCapture>();
    m_pRig = std::make_unique<CStationRig>();
    m_pFrame = &m_pRig->AddFrame();
    // The frame takes the values of the four touches when it checks them.
    m_pFrame->frame.AddHandler(0x01, 0x05, [](CEmulatedFrame& frame, const QByteArray&, QList<CEmulatedFrame::Action>*) {
        std::copy(std::begin(kNewValues), std::end(kNewValues), frame.StateRef().cal.value);
        return false;
    });
    CToast::Instance()->Dialog()->hide();
}

void TestCalibrationEndToEnd::cleanup()
{
    m_pView = nullptr;
    m_pScreen = nullptr;
    m_pWork = nullptr;
    m_pWindow = nullptr;
    m_pFrame = nullptr;
    m_pRig.reset(); // the window first, then the frame
    m_pLog.reset();
    m_pWorkDir.reset();
    CToast::Instance()->Dialog()->hide();
    CStationClock::SetSleepHook(nullptr);
    CTestEnvironment::RealClock();
}

QStringList TestCalibrationEndToEnd::LogTexts() const
{
    QStringList texts;
    auto* pTable = m_pView->findChild<QTableWidget*>(QStringLiteral("CalLogTableWidget"));
    for (int r = 0; r < pTable->rowCount(); ++r)
        texts << (pTable->item(r, 1) ? pTable->item(r, 1)->text() : QString());
    return texts;
}

void TestCalibrationEndToEnd::OpenWithFrame()
{
    m_pWindow = m_pRig->StartMainWindow();
    m_pWork = m_pRig->Work();
    m_pView = m_pWindow->findChild<VeloraCalibrateView*>();
    m_pScreen = m_pWindow->findChild<CCalWorkCustomView*>();
    QVERIFY(m_pView && m_pScreen);

    m_pFrame->usb->Plug();
    QVERIFY(StationTest::WaitFor([this] { return m_pWork->GetDeviceKind() == HandleWork::DeviceKind::Live; }));
    m_pRig->Settle(); // the frame's first task ran
    QVERIFY(StationTest::WaitFor([this] { return m_pView->findChild<QPushButton*>("Btn_Cal_2")->isEnabled(); }));

    // The operator opens the calibration view from the main panel.
    m_pWindow->findChild<QToolButton*>(QStringLiteral("calToolButton"))->click();
    QVERIFY(m_pView->isVisible());
    QVERIFY(StationTest::WaitFor([this] { return LogTexts().size() == 2; }));
}

void TestCalibrationEndToEnd::Touch(quint8 nAnswer, quint8 nCheck)
{
    QByteArray reply = m_pFrame->frame.DataReply(0x01, nAnswer);
    if (nAnswer == 0xFF)
        reply[3] = char(nCheck);
    m_pFrame->frame.Inject(reply);
    m_pFrame->usb->DeliverInjected();
}

void TestCalibrationEndToEnd::openingShowsTheFrame()
{
    OpenWithFrame();
    QCOMPARE(LogTexts(), (QStringList{kProduct, kFactoryValues}));
    QVERIFY(m_pLog->Tasks().contains(QStringLiteral("InitDeviceCalData")));
    QVERIFY(m_pView->findChild<QPushButton*>("Btn_Reset_2")->isEnabled());
    const QString path = Screenshot(QStringLiteral("calibration-view-opened.png"));
    QVERIFY(m_pView->grab().save(path));
}

void TestCalibrationEndToEnd::fourPoints_data()
{
    QTest::addColumn<int>("check");      // the frame's verdict: 3 deviation too large
    QTest::addColumn<QString>("answer"); // to the deviation question
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QString>("toast");

    QTest::newRow("check accepted") << 2 << "" << true << "Calibration complete";
    QTest::newRow("deviation too large, kept") << 3 << "Yes" << true << "";
    QTest::newRow("deviation too large, discarded") << 3 << "No" << false << "Reset successful!";
}

void TestCalibrationEndToEnd::fourPoints()
{
    QFETCH(int, check);
    QFETCH(QString, answer);
    QFETCH(bool, stored);
    QFETCH(QString, toast);

    // The operator touches a target a moment after it appears.
    m_pFrame->frame.Edit([check](CEmulatedFrame::State& s) {
        s.cal.nCheckResult = quint8(check);
        s.cal.nTouchDelayMs = check == 2 ? -1 : 20;
    });
    OpenWithFrame();
    const CEmulatedFrame::State before = m_pFrame->frame.Snapshot();
    QVERIFY(!before.cal.bEnded);
    CToastRecorder toasts;
    CModalBoxAnswerer answerer;
    answerer.Answer(answer);
    answerer.OnShown([](const CModalBoxAnswerer::SBox&) {
        QVERIFY(QApplication::activeModalWidget()->grab().save(Screenshot("calibration-deviation-question.png")));
    });
    m_pFrame->frame.ClearRequests();
    m_pLog->Clear();

    QTest::mouseClick(m_pView->findChild<QPushButton*>("Btn_Cal_2"), Qt::LeftButton);
    QVERIFY(m_pScreen->isVisible());
    QVERIFY(m_pScreen->IsCountingDown());

    if (check == 2) {
        // Touched by the test, target after target, with a picture of each.
        for (quint8 n = 0; n <= 4; ++n) {
            QVERIFY(StationTest::WaitFor([this, n] { return m_pFrame->frame.RequestsFor(0x01, n).size() == 1; }));
            if (n > 0) {
                QCOMPARE(m_pScreen->CalStep(), int(n));
                m_pScreen->grab();
                const QString path = Screenshot(QStringLiteral("calibration-fourpoint-target%1.png").arg(n));
                QVERIFY(m_pScreen->grab().save(path));
            }
            QVERIFY(m_pScreen->isVisible());
            Touch(quint8(n + 1));
        }
        QVERIFY(StationTest::WaitFor([this] { return m_pFrame->frame.RequestsFor(0x01, 0x05).size() == 1; }));
        Touch(0xFF, 2);
    }

    // The end: the values row that the dispatcher sends after the last task.
    const QString lastRow = stored ? kNewValuesRow : kFactoryValues;
    QVERIFY2(StationTest::WaitFor([&] { return LogTexts().size() == 4 && LogTexts().last() == lastRow; }),
             qPrintable(LogTexts().join(',')));
    QVERIFY(StationTest::WaitFor([this] {
        return !m_pWork->IsTaskRunning("STEP_END_OK") && !m_pWork->IsTaskRunning("STEP_END_FAIL");
    }));
    QCOMPARE(LogTexts(), (QStringList{kProduct, kFactoryValues, kProduct, lastRow}));
    // The screen closed itself after the fourth point; its count-down goes on.
    QVERIFY(!m_pScreen->isVisible());
    QVERIFY(m_pScreen->IsCountingDown());

    QStringList steps;
    for (const QString& task : m_pLog->Tasks()) {
        if (task.startsWith(QLatin1String("STEP_")) || task == QLatin1String("RESET_CAL_DATA"))
            steps << task;
    }
    const QString end = stored ? QStringLiteral("STEP_END_OK") : QStringLiteral("STEP_END_FAIL");
    QCOMPARE(steps, (QStringList{"STEP_BEGIN", "STEP_1", "STEP_2", "STEP_3", "STEP_4", "STEP_CHECK", end}));
    QCOMPARE(answerer.boxes.size(), check == 3 ? 1 : 0);
    if (check == 3)
        QCOMPARE(answerer.boxes.first().title, QStringLiteral("Calibration complete"));

    // The end of the calibration is only written: the frame takes it a
    // moment later.
    QVERIFY(StationTest::WaitFor([this] { return m_pFrame->frame.Snapshot().cal.bEnded; }));
    const CEmulatedFrame::State after = m_pFrame->frame.Snapshot();
    if (stored) {
        // In the frame's flash and as its default.
        QCOMPARE(Values(after.cal.flash), Values(kNewValues));
        QCOMPARE(Values(after.cal.defaults), Values(kNewValues));
        QCOMPARE(Values(after.cal.value), Values(kNewValues));
    } else {
        QCOMPARE(Values(after.cal.value), Values(before.cal.factory));
        QCOMPARE(Values(after.cal.flash), Values(before.cal.flash));
    }
    QCOMPARE(toasts.tips, toast.isEmpty() ? QStringList{} : QStringList{toast});
    if (check == 2)
        QVERIFY(CToast::Instance()->Dialog()->grab().save(Screenshot("calibration-toast.png")));
    QVERIFY(m_pLog->Lines(QtInfoMsg).filter("ERROR_CODE_FAILED").isEmpty());
    QVERIFY(m_pFrame->frame.Violations().isEmpty());
    if (check == 2)
        QVERIFY(m_pView->grab().save(Screenshot("calibration-view-after-run.png")));
}

// Nobody touches the target: when the count-down has shown 0 for a second,
// the waiting step is interrupted and the frame's calibration reset.
void TestCalibrationEndToEnd::countDownEndInterruptsTheStep()
{
    m_pFrame->frame.Edit([](CEmulatedFrame::State& s) { s.cal.nTouchDelayMs = -1; });
    OpenWithFrame();
    CModalBoxAnswerer answerer;
    CToastRecorder toasts;
    m_pLog->Clear();
    QVERIFY(!m_pFrame->frame.Snapshot().cal.bEnded);
    QTest::mouseClick(m_pView->findChild<QPushButton*>("Btn_Cal_2"), Qt::LeftButton);
    QVERIFY(StationTest::WaitFor([this] { return m_pFrame->frame.RequestsFor(0x01, 0x00).size() == 1; }));
    QVERIFY(m_pWork->IsTaskRunning(QStringLiteral("STEP_BEGIN")));

    for (int i = 0; i < 31; ++i)
        m_pScreen->UpdateCalCountDownTime();
    QVERIFY(!m_pScreen->IsCountingDown());
    const QString logged = QStringLiteral("ERROR_CODE_FAILED_SetCalStep! 802a0004");
    QVERIFY(StationTest::WaitFor([&] { return m_pLog->Contains(logged); }));
    QCOMPARE(LogTexts(), (QStringList{kProduct, kFactoryValues, kProduct, kFactoryValues}));
    QCOMPARE(toasts.tips, QStringList{"Reset successful!"});
    // One step request: interrupted, not timed out and tried again.
    QCOMPARE(m_pFrame->frame.RequestsFor(0x01, 0x00).size(), 1);
    QVERIFY(StationTest::WaitFor([this] { return m_pFrame->frame.Snapshot().cal.bEnded; }));
    QVERIFY(answerer.boxes.isEmpty());
    // The stop does not reset the frame a second time.
    QCOMPARE(m_pLog->Tasks().count(QStringLiteral("RESET_CAL_DATA")), 0);
}

// The frame is pulled out while a step waits for it: the step ends at once
// (well before its 30-second time-out), the view says so and the buttons go.
void TestCalibrationEndToEnd::frameLeavesDuringAStep()
{
    m_pFrame->frame.Edit([](CEmulatedFrame::State& s) { s.cal.nTouchDelayMs = -1; });
    OpenWithFrame();
    CModalBoxAnswerer answerer;
    QTest::mouseClick(m_pView->findChild<QPushButton*>("Btn_Cal_2"), Qt::LeftButton);
    QVERIFY(StationTest::WaitFor([this] { return m_pFrame->frame.RequestsFor(0x01, 0x00).size() == 1; }));

    m_pFrame->usb->Unplug();
    // Far below the step's own time-out: only the removal can end it.
    QVERIFY(StationTest::WaitFor([this] { return !m_pWork->IsTaskRunning(QStringLiteral("STEP_BEGIN")); }, 15000));
    QVERIFY(StationTest::WaitFor([this] { return LogTexts().contains(QStringLiteral("Device is disconnected")); }));
    QVERIFY(StationTest::WaitFor([this] { return m_pLog->Contains(QStringLiteral("ERROR_CODE_FAILED_SetCalStep! 802a")); }));
    QVERIFY(!m_pView->findChild<QPushButton*>("Btn_Cal_2")->isEnabled());
    QVERIFY(!m_pView->findChild<QPushButton*>("Btn_Reset_2")->isEnabled());
    // The view stays open; the operator leaves the screen with Escape.
    QVERIFY(m_pView->isVisible());
    m_pScreen->StopCalWork();
    QVERIFY(m_pView->grab().save(Screenshot("calibration-view-frame-left.png")));
}

void TestCalibrationEndToEnd::replayedLogLeavesNothingToCalibrate_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("Calibrate") << "Btn_Cal_2";
    QTest::newRow("Reset") << "Btn_Reset_2";
}

// A saved test log opened in the test view while the frame stays plugged
// replaces the frame's object without a device event.
void TestCalibrationEndToEnd::replayedLogLeavesNothingToCalibrate()
{
    QFETCH(QString, button);

    OpenWithFrame();
    CTestViewDouble testView;
    QVERIFY(m_pRig->Run("StartTestOnce", &testView));
    QVERIFY(StationTest::WaitFor([&] { return testView.nInitTestUi == 1; }));
    testView.strLogPath = QDir::current().absoluteFilePath("run_PASS.xml");
    {
        QMutexLocker lock(m_pWork->GetDeviceMutex());
        QCOMPARE(m_pWork->GetTouchDevice()->SaveXml(testView.strLogPath), 0);
    }
    QVERIFY(m_pRig->Run("OpenTestLog", &testView));
    QVERIFY(StationTest::WaitFor([&] { return testView.nInitTestUi == 2; }));
    QCOMPARE(m_pWork->GetDeviceKind(), HandleWork::DeviceKind::Replay);
    auto* pButton = m_pView->findChild<QPushButton*>(button);
    QVERIFY(pButton->isEnabled());
    m_pFrame->frame.ClearRequests();
    m_pLog->Clear();

    QTest::mouseClick(pButton, Qt::LeftButton);
    m_pRig->Settle();
    QCOMPARE(m_pLog->Tasks().filter(QRegularExpression("^(STEP_|RESET_CAL_DATA)")), QStringList{});
    QVERIFY(!m_pScreen->isVisible());
    QVERIFY(!m_pView->findChild<QPushButton*>("Btn_Cal_2")->isEnabled());
    QVERIFY(!m_pView->findChild<QPushButton*>("Btn_Reset_2")->isEnabled());
    QVERIFY(m_pFrame->frame.RequestsFor(0x01, 0x00).isEmpty());
    QVERIFY(m_pFrame->frame.RequestsFor(0xA1, 0x06).isEmpty());
}

// The station ends after every screen of the view was shown once.
void TestCalibrationEndToEnd::windowGoesAfterEveryScreen()
{
    OpenWithFrame();
    auto* pMode = m_pView->findChild<QComboBox*>("combox_CalMode_2");
    auto* pCalibrate = m_pView->findChild<QPushButton*>("Btn_Cal_2");
    QPointer<QDialog> pFineTuning = m_pWindow->findChild<CFineTuningCalibrateView*>();
    QPointer<QDialog> pManual = m_pWindow->findChild<CCalAdvancedSettingView*>();
    QPointer<QDialog> pSetUp = m_pWindow->findChild<CalibrateSetUpDialog*>();
    QPointer<QDialog> pScreen = m_pScreen;
    QVERIFY(pFineTuning && pManual && pSetUp);

    // Nobody touches the targets: the first step waits for the frame until
    // the station ends (the tasks of the other screens queue behind it).
    m_pFrame->frame.Edit([](CEmulatedFrame::State& s) { s.cal.nTouchDelayMs = -1; });
    for (int nMode = 0; nMode < 3; ++nMode) {
        pMode->setCurrentIndex(nMode);
        QTest::mouseClick(pCalibrate, Qt::LeftButton);
    }
    QVERIFY(pScreen->isVisible() && pFineTuning->isVisible() && pManual->isVisible());
    // The parameter dialog, run modally and closed.
    {
        CModalBoxAnswerer answerer;
        answerer.AnswerDialog(false);
        QTest::mouseClick(m_pView->findChild<QToolButton*>("lstActionToolButton"), Qt::LeftButton);
        QVERIFY(!answerer.boxes.isEmpty());
        QCOMPARE(answerer.boxes.first().className, QStringLiteral("CalibrateSetUpDialog"));
    }
    emit m_pWork->emitResetCallBack(true);
    QVERIFY(CToast::Instance()->Dialog()->isVisible());

    // A step still waits for the frame when the station ends (a second start
    // is refused while it runs).
    pMode->setCurrentIndex(0);
    QTest::mouseClick(pCalibrate, Qt::LeftButton);
    QVERIFY(StationTest::WaitFor([this] { return m_pWork->IsTaskRunning(QStringLiteral("STEP_BEGIN")); }));

    m_pView = nullptr;
    m_pScreen = nullptr;
    m_pWork = nullptr;
    m_pWindow = nullptr;
    m_pRig->CloseMainWindow();
    QVERIFY(!pScreen && !pFineTuning && !pManual && !pSetUp);
    QVERIFY(m_pLog->Contains(QStringLiteral("StopWorker : the worker thread has stopped.")));
    QCOMPARE(m_pLog->Count(QStringLiteral("Terminate Thread.")), 0);
}

STATION_TEST_MAIN(TestCalibrationEndToEnd)
#include "tst_calibrationendtoend.moc"
