// The calibration view over the real dispatcher: every calibration message
// through the real slot (the tasks it starts, the log rows, the run-log lines,
// the toast and the deviation question), the buttons as frames arrive and
// leave, a removal while the question is open, the screen of a refused
// start, the tool buttons, the log's menu and the ways out of the view.

#include "caladvancedsettingview.h"
#include "calibratesetupdialog.h"
#include "calviewrig.h"
#include "finetuningcalibrateview.h"
#include "modalboxanswerer.h"
#include "runlogcapture.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "toastdlg.h"
#include "toastrecorder.h"
#include "waitfor.h"

#include <QCursor>
#include <QLabel>
#include <QJsonDocument>
#include <QMenu>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

namespace {
const QString kProduct = QStringLiteral("KT-T65WHSUR-10P");
const QString kValues = QStringLiteral("100-200-7e00-7d00");
const QString kNotApplied =
    QStringLiteral("The frame changed while the question was open; the answer was not applied to it");
const QString kDeviation =
    QStringLiteral("The calibration deviation is too large, do you want to save the current parameters!");

QJsonObject Json(const QString& text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}
} // namespace

class TestCalibrateView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void construction();
    void messages_data();
    void messages();
    void deviceEventsWhileTheQuestionIsOpen();
    void answerForTheFrameAskedAbout_data();
    void answerForTheFrameAskedAbout();
    void buttonsFollowTheFrame();
    void openingReadsTheCalibrationData_data();
    void openingReadsTheCalibrationData();
    void screenShowsWhenTheStartIsRefused();
    void leaving_data();
    void leaving();
    void otherKeysDoNothing();
    void toolButtons();
    void logMenuAtTheCursor();

private:
    // Tasks the dispatcher started since the last Clear, without its own.
    QStringList Tasks() const;
    bool Plug(CEmulatedFrame::Mode mode = CEmulatedFrame::Mode::Application);
    bool Unplug();

    CCalViewRig m_view;
    std::unique_ptr<CRunLogCapture> m_pLog;
};

void TestCalibrateView::initTestCase()
{
    InitStationResources();
}

void TestCalibrateView::init()
{
    CTestEnvironment::FastClock(0.02);
    m_pLog = std::make_unique<CRunLogCapture>();
    m_view.Create();
    CToast::Instance()->Dialog()->hide();
}

void TestCalibrateView::cleanup()
{
    m_view.Destroy();
    m_pLog.reset();
    CToast::Instance()->Dialog()->hide();
    CTestEnvironment::RealClock();
}

QStringList TestCalibrateView::Tasks() const
{
    QStringList tasks = m_pLog->Tasks();
    tasks.removeAll(QStringLiteral("InitEnvironmentValid"));
    tasks.removeAll(QStringLiteral("__settle__"));
    return tasks;
}

bool TestCalibrateView::Plug(CEmulatedFrame::Mode mode)
{
    const int nBefore = m_view.Window()->statuses.size();
    m_view.Frame().frame.SetMode(mode);
    m_view.Frame().usb->Plug();
    if (!StationTest::WaitFor([&] { return m_view.Window()->statuses.size() > nBefore; }))
        return false;
    m_view.rig->Settle();
    return true;
}

bool TestCalibrateView::Unplug()
{
    const int nBefore = m_view.Window()->statuses.size();
    m_view.Frame().usb->Unplug();
    return StationTest::WaitFor([&] { return m_view.Window()->statuses.size() > nBefore; });
}

void TestCalibrateView::construction()
{
    VeloraCalibrateView* pView = m_view.view;
    QCOMPARE(pView->windowTitle(), QStringLiteral("KESTREL-CUSTOMER 0.0.0.6"));
    QCOMPARE(pView->size(), QSize(1051, 726));
    QVERIFY(pView->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(pView->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(pView->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!m_view.CalButton()->isEnabled());
    QVERIFY(!m_view.ResetButton()->isEnabled());
    QCOMPARE(m_view.Mode()->count(), 3);
    QCOMPARE(m_view.Mode()->itemText(0), QStringLiteral("Four-point calibration"));
    QCOMPARE(m_view.Mode()->itemText(1), QStringLiteral("Fine-tuning calibration"));
    QCOMPARE(m_view.Mode()->itemText(2), QStringLiteral("Manual tuning"));
    QCOMPARE(m_view.Mode()->currentIndex(), 0);
    // The screens and dialogs belong to the main window, not to the view.
    QVERIFY(m_view.Screen());
    QCOMPARE(m_view.Screen()->parentWidget(), m_view.owner.get());
    QVERIFY(m_view.owner->findChild<CalibrateSetUpDialog*>(QString(), Qt::FindDirectChildrenOnly));
    QVERIFY(m_view.owner->findChild<CCalAdvancedSettingView*>(QString(), Qt::FindDirectChildrenOnly));
    QVERIFY(m_view.owner->findChild<CFineTuningCalibrateView*>(QString(), Qt::FindDirectChildrenOnly));
    auto* pTouch = pView->findChild<QToolButton*>(QStringLiteral("touchEnToolButton"));
    auto* pVersion = pView->findChild<QLabel*>(QStringLiteral("ver_label"));
    QVERIFY(pTouch && pVersion);
    QCOMPARE(pVersion->text(), QStringLiteral("KESTREL-CUSTOMER 0.0.0.6"));
    pView->show();
    QVERIFY(!pTouch->isVisible());
    QVERIFY(!pVersion->isVisible());
    // Every tool button shows its picture.
    for (const char* szName : {"drawButton", "signalToolButton", "upgradeToolButton", "lstActionToolButton",
                               "exitToolButton", "touchEnToolButton"}) {
        auto* pButton = pView->findChild<QToolButton*>(QLatin1String(szName));
        QVERIFY2(pButton && !pButton->icon().isNull(), szName);
        QCOMPARE(pButton->iconSize(), QSize(48, 48));
    }
    QCOMPARE(pView->findChild<QToolButton*>(QStringLiteral("signalToolButton"))->shortcut(),
             QKeySequence(Qt::Key_PageUp));
    QCOMPARE(pView->findChild<QToolButton*>(QStringLiteral("upgradeToolButton"))->shortcut(), QKeySequence(Qt::Key_U));
    QCOMPARE(pView->findChild<QToolButton*>(QStringLiteral("exitToolButton"))->shortcut(),
             QKeySequence(Qt::Key_Escape));
}

void TestCalibrateView::messages_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QString>("answer");    // the deviation question: "Yes", "No", "close"
    QTest::addColumn<QStringList>("tasks");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("logged"); // run-log lines of the result codes
    QTest::addColumn<QString>("toast");
    QTest::addColumn<bool>("asks");

    const QStringList none;
    const QString usb = R"({"usb":true,"device":{"Product":"%1","calData":{"LX":"100","LY":"200","RX":"7e00","RY":"7d00"}}})";

    // Steps.
    QTest::newRow("step 1") << R"({"step":1})" << true << "" << QStringList{"STEP_1"} << none << none << "" << false;
    QTest::newRow("step 2") << R"({"step":2})" << true << "" << QStringList{"STEP_2"} << none << none << "" << false;
    QTest::newRow("step 3") << R"({"step":3})" << true << "" << QStringList{"STEP_3"} << none << none << "" << false;
    QTest::newRow("step 4") << R"({"step":4})" << true << "" << QStringList{"STEP_4"} << none << none << "" << false;
    QTest::newRow("step 5") << R"({"step":5})" << false << "" << QStringList{"STEP_CHECK"} << none << none << ""
                            << false;
    QTest::newRow("step 5.0") << R"({"step":5.0})" << true << "" << QStringList{"STEP_CHECK"} << none << none << ""
                              << false;
    // No frame is plugged: nothing is stored, and the view says so (the
    // confirmation of a stored run is in tst_calibrationview_screens).
    QTest::newRow("step 6 accepted") << R"({"step":6})" << true << "" << QStringList{"STEP_END_OK"} << none << none
                                     << "Calibration not saved" << false;
    QTest::newRow("step 7 Yes") << R"({"step":7})" << true << "Yes" << QStringList{"STEP_END_OK"} << none << none
                                << "Calibration not saved" << true;
    QTest::newRow("step 7 No") << R"({"step":7})" << true << "No" << QStringList{"STEP_END_FAIL"} << none << none
                               << "" << true;
    QTest::newRow("step 7 box closed") << R"({"step":7})" << true << "close" << none << none << none << "" << true;
    for (const char* szStep : {"0", "8", "-1", "\"3\"", "2.5", "1099511627776", "-1099511627776", "1e300", "true",
                               "null", "[1]"})
        QTest::newRow(qPrintable(QStringLiteral("step %1").arg(QLatin1String(szStep))))
            << QStringLiteral(R"({"step":%1})").arg(QLatin1String(szStep)) << true << "" << none << none << none
            << "" << false;
    QTest::newRow("step and funcResult") << R"({"funcResult":"802a0000","step":2})" << true << ""
                                         << QStringList{"STEP_2"} << none << none << "" << false;

    // Device data.
    QTest::newRow("usb visible") << usb.arg(kProduct) << true << "" << none
                                 << QStringList{"Product:" + kProduct, kValues} << none << "" << false;
    QTest::newRow("usb hidden") << usb.arg(kProduct) << false << "" << none << none << none << "" << false;
    QTest::newRow("usb false") << R"({"usb":false,"step":1,"Complete":{"LX":"1"}})" << true << "" << none << none
                               << none << "" << false;
    QTest::newRow("usb without Product")
        << R"({"usb":true,"device":{"calData":{"LX":"1","LY":"2","RX":"3","RY":"4"}}})" << true << "" << none
        << QStringList{"Product:", "1-2-3-4"} << none << "" << false;
    QTest::newRow("device not an object") << R"({"usb":true,"device":"KT"})" << true << "" << none
                                          << QStringList{"Product:", "---"} << none << "" << false;
    QTest::newRow("calData numbers and null")
        << R"({"usb":true,"device":{"Product":"P","calData":{"LX":256,"LY":null,"RX":"7e00"}}})" << true << ""
        << none << QStringList{"Product:P", "256--7e00-"} << none << "" << false;
    QTest::newRow("Complete") << R"({"Complete":{"LX":"a","LY":"b","RX":"c","RY":"d"}})" << true << "" << none
                              << QStringList{"a-b-c-d"} << none << "" << false;
    QTest::newRow("Complete hidden") << R"({"Complete":{"LX":"a"}})" << false << "" << none << none << none << ""
                                     << false;
    QTest::newRow("empty object") << "{}" << true << "" << none << none << none << "" << false;
    QTest::newRow("unknown key") << R"({"result":"802a0000"})" << true << "" << none << none << none << "" << false;

    // Results: the exact codes.
    const struct
    {
        const char* szCode;
        const char* szText;
    } kExact[] = {{"80250000", "ERROR_CODE_FAILED_AreaCalibrate!"}, {"80260000", "ERROR_CODE_FAILED_GetCalData!"},
                  {"80270000", "ERROR_CODE_FAILED_SaveAsDefault!"}, {"80280000", "ERROR_CODE_FAILED_ResetCalData!"},
                  {"80290000", "ERROR_CODE_FAILED_SaveToFlash!"}};
    for (const auto& row : kExact)
        QTest::newRow(row.szCode) << QStringLiteral(R"({"funcResult":"%1"})").arg(QLatin1String(row.szCode)) << true
                                  << "" << none << none << QStringList{QLatin1String(row.szText)} << "" << false;
    QTest::newRow("802a0000 resets") << R"({"funcResult":"802a0000"})" << true << "" << QStringList{"RESET_CAL_DATA"}
                                     << none << QStringList{"ERROR_CODE_FAILED_SetCalStep!"} << "" << false;
    QTest::newRow("0") << R"({"funcResult":"0"})" << true << "" << none << none << QStringList{"ERROR_CODE_SUCCESS!"}
                       << "" << false;
    QTest::newRow("0 as a number") << R"({"funcResult":0})" << true << "" << none << none
                                   << QStringList{"ERROR_CODE_SUCCESS!"} << "" << false;
    // The codes the dispatcher really sends: the operation's text and the code.
    QTest::newRow("802a0001 ten time-outs") << R"({"funcResult":"802a0001"})" << true << "" << none << none
                                            << QStringList{"ERROR_CODE_FAILED_SetCalStep! 802a0001"} << "" << false;
    QTest::newRow("802a0004 interrupted") << R"({"funcResult":"802a0004"})" << true << "" << none << none
                                          << QStringList{"ERROR_CODE_FAILED_SetCalStep! 802a0004"} << "" << false;
    QTest::newRow("8025ffff") << R"({"funcResult":"8025ffff"})" << true << "" << none << none
                              << QStringList{"ERROR_CODE_FAILED_AreaCalibrate! 8025ffff"} << "" << false;
    QTest::newRow("80280002") << R"({"funcResult":"80280002"})" << true << "" << none << none
                              << QStringList{"ERROR_CODE_FAILED_ResetCalData! 80280002"} << "" << false;
    // Anything else is ignored.
    for (const char* szText : {"802A0001", "802A0000", "2", "802b0001", "802a001", "0802a0001", "80240001",
                               "80000001", "802a0001 ", "-802a0001", ""})
        QTest::newRow(qPrintable(QStringLiteral("funcResult \"%1\"").arg(QLatin1String(szText))))
            << QStringLiteral(R"({"funcResult":"%1"})").arg(QLatin1String(szText)) << true << "" << none << none
            << none << "" << false;
    QTest::newRow("funcResult 2150236161 as a number") << R"({"funcResult":2150236161})" << true << "" << none
                                                        << none << none << "" << false;
}

void TestCalibrateView::messages()
{
    QFETCH(QString, message);
    QFETCH(bool, visible);
    QFETCH(QString, answer);
    QFETCH(QStringList, tasks);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, logged);
    QFETCH(QString, toast);
    QFETCH(bool, asks);

    const QJsonObject msg = Json(message);
    QVERIFY(message == QLatin1String("{}") || !msg.isEmpty());
    if (visible)
        m_view.Open();
    m_view.rig->Settle();
    m_pLog->Clear();

    // "close": the box goes without a button pressed (as when its window
    // is closed), which answers neither Yes nor No.
    CModalBoxAnswerer answerer;
    answerer.Answer(answer == QLatin1String("close") ? QString() : answer);

    // As the dispatcher sends it.
    CToastRecorder toasts;
    emit m_view.Work()->EmitCalibrateMsg(msg);
    m_view.rig->Settle();

    QCOMPARE(Tasks(), tasks);
    QCOMPARE(m_view.LogTexts(), rows);
    QCOMPARE(m_pLog->Lines(QtInfoMsg).filter(QStringLiteral("ERROR_CODE_")), logged);
    QCOMPARE(toasts.tips, toast.isEmpty() ? QStringList{} : QStringList{toast});
    QCOMPARE(answerer.boxes.size(), asks ? 1 : 0);
    if (asks) {
        const CModalBoxAnswerer::SBox box = answerer.boxes.first();
        QCOMPARE(box.kind, CModalBoxAnswerer::EKind::Message);
        QCOMPARE(box.title, QStringLiteral("Calibration complete"));
        QCOMPARE(box.text, kDeviation);
        QCOMPARE(box.icon, QStringLiteral("Information"));
        QStringList buttons = box.buttons;
        buttons.sort();
        QCOMPARE(buttons, (QStringList{"No", "Yes"}));
    }
    QVERIFY2(answerer.problems.isEmpty(), qPrintable(answerer.problems.join('\n')));
    // The time column holds the local time of each row.
    for (const QString& time : m_view.Column(0))
        QVERIFY2(QDateTime::fromString(time, QStringLiteral("yyyy-MM-dd hh:mm:ss")).isValid(), qPrintable(time));
}

// The deviation question runs its own event loop: a frame that leaves and a
// device message meanwhile reach the view; the answer is for the frame that
// left, so nothing is sent, and both logs say so.
void TestCalibrateView::deviceEventsWhileTheQuestionIsOpen()
{
    m_view.Open();
    QVERIFY(Plug());
    QVERIFY(m_view.CalButton()->isEnabled());
    // With the view open the arrival read the calibration data.
    QTRY_COMPARE(m_view.LogTexts(), (QStringList{"Product:" + kProduct, kValues}));
    m_pLog->Clear();

    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Yes"));
    bool bInside = false;
    answerer.OnShown([&](const CModalBoxAnswerer::SBox&) {
        bInside = true;
        emit m_view.Work()->EmitCalibrateMsg(
            Json(R"({"usb":true,"device":{"Product":"P2","calData":{"LX":"1","LY":"2","RX":"3","RY":"4"}}})"));
        m_view.Frame().usb->Unplug();
        QVERIFY(StationTest::WaitFor([this] { return !m_view.CalButton()->isEnabled(); }));
    });
    emit m_view.Work()->EmitCalibrateMsg(Json(R"({"step":7})"));
    QVERIFY(bInside);
    QCOMPARE(m_view.LogTexts(), (QStringList{"Product:" + kProduct, kValues, "Product:P2", "1-2-3-4",
                                             "Device is disconnected", kNotApplied}));
    QVERIFY(!m_view.CalButton()->isEnabled());
    QVERIFY(!m_view.ResetButton()->isEnabled());
    m_view.rig->Settle();
    QCOMPARE(Tasks(), QStringList{});
    QCOMPARE(m_pLog->Lines(QtInfoMsg).filter("PromtCalFailFunc : the frame left during the deviation question").size(),
             1);
}

void TestCalibrateView::answerForTheFrameAskedAbout_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("during");   // what happens while the question is open
    QTest::addColumn<QStringList>("tasks"); // the step ends sent
    QTest::addColumn<QString>("changed");  // the run log's word for it, "" when applied

    QTest::newRow("Yes, same frame") << "Yes" << "" << QStringList{"STEP_END_OK"} << "";
    QTest::newRow("No, same frame") << "No" << "" << QStringList{"STEP_END_FAIL"} << "";
    QTest::newRow("Yes, frame pulled and plugged back") << "Yes" << "replug" << QStringList{}
                                                        << "another frame arrived";
    QTest::newRow("No, frame pulled and plugged back") << "No" << "replug" << QStringList{}
                                                       << "another frame arrived";
    QTest::newRow("No, frame pulled") << "No" << "pull" << QStringList{} << "the frame left";
}

// The answer to the deviation question is for the frame whose check was too
// large: a frame plugged while the question was open (the same one plugged
// again has restarted and left its calibration mode) gets no step end.
void TestCalibrateView::answerForTheFrameAskedAbout()
{
    QFETCH(QString, answer);
    QFETCH(QString, during);
    QFETCH(QStringList, tasks);
    QFETCH(QString, changed);

    m_view.Open();
    QVERIFY(Plug());
    QTRY_COMPARE(m_view.LogTexts(), (QStringList{"Product:" + kProduct, kValues}));
    m_pLog->Clear();

    CModalBoxAnswerer answerer;
    answerer.Answer(answer);
    answerer.OnShown([&](const CModalBoxAnswerer::SBox&) {
        if (during.isEmpty())
            return;
        QVERIFY(Unplug());
        if (during == QLatin1String("replug"))
            QVERIFY(Plug());
    });
    emit m_view.Work()->EmitCalibrateMsg(Json(R"({"step":7})"));
    m_view.rig->Settle();
    QCOMPARE(answerer.boxes.size(), 1);
    QStringList ends = Tasks().filter(QStringLiteral("STEP_END"));
    QCOMPARE(ends, tasks);
    const QStringList dropped = m_pLog->Lines(QtInfoMsg).filter(QStringLiteral("PromtCalFailFunc :"));
    QCOMPARE(m_view.LogTexts().filter(kNotApplied).size(), changed.isEmpty() ? 0 : 1);
    if (changed.isEmpty()) {
        QVERIFY(dropped.isEmpty());
        return;
    }
    QCOMPARE(dropped.size(), 1);
    QVERIFY2(dropped.first().contains(changed + QStringLiteral(" during the deviation question")),
             qPrintable(dropped.first()));
    // The frame there now works as any other: a reset reaches it.
    if (during == QLatin1String("replug")) {
        QVERIFY(m_view.ResetButton()->isEnabled());
        QTest::mouseClick(m_view.ResetButton(), Qt::LeftButton);
        m_view.rig->Settle();
        QVERIFY(Tasks().contains(QStringLiteral("RESET_CAL_DATA")));
    }
    const QString tag = QString(QTest::currentDataTag()).toLower().replace(QRegularExpression("[^a-z]+"), "-");
    QVERIFY(m_view.view->grab().save(CTestEnvironment::OutputDir() + "/calibration-view-answer-not-applied-" + tag
                                     + ".png"));
}

void TestCalibrateView::buttonsFollowTheFrame()
{
    // From the main panel: the dispatcher reads the information, not the
    // calibration data, and the view is hidden.
    m_view.Window()->SetWorkType(MAINWORK);
    QVERIFY(!m_view.CalButton()->isEnabled());

    QVERIFY(Plug());
    QVERIFY(m_view.CalButton()->isEnabled());
    QVERIFY(m_view.ResetButton()->isEnabled());
    QVERIFY(Unplug());
    QVERIFY(!m_view.CalButton()->isEnabled());
    QVERIFY(!m_view.ResetButton()->isEnabled());
    QCOMPARE(m_view.LogTexts(), QStringList{});

    // Opened without a frame: nothing to read.
    m_view.Open();
    m_view.rig->Settle();
    QVERIFY(!Tasks().contains(QStringLiteral("InitDeviceCalData")));
    QVERIFY(Plug());
    QVERIFY(m_view.CalButton()->isEnabled());
    QVERIFY(Unplug());
    QCOMPARE(m_view.LogTexts(), QStringList{"Device is disconnected"});
    QVERIFY(!m_view.CalButton()->isEnabled());
    QVERIFY(!m_view.ResetButton()->isEnabled());

    // A frame in its bootloader leaves them disabled.
    QVERIFY(Plug(CEmulatedFrame::Mode::Bootloader));
    QVERIFY(!m_view.CalButton()->isEnabled());
    QVERIFY(!m_view.ResetButton()->isEnabled());
}

void TestCalibrateView::openingReadsTheCalibrationData_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<bool>("reads");
    QTest::newRow("no frame") << "none" << false;
    QTest::newRow("application") << "application" << true;
    QTest::newRow("bootloader") << "bootloader" << false;
    QTest::newRow("application, unplugged") << "unplugged" << false;
}

void TestCalibrateView::openingReadsTheCalibrationData()
{
    QFETCH(QString, frame);
    QFETCH(bool, reads);

    m_view.Window()->SetWorkType(MAINWORK);
    if (frame != QLatin1String("none"))
        QVERIFY(Plug(frame == QLatin1String("bootloader") ? CEmulatedFrame::Mode::Bootloader
                                                          : CEmulatedFrame::Mode::Application));
    if (frame == QLatin1String("unplugged"))
        QVERIFY(Unplug());
    m_view.rig->Settle();
    m_pLog->Clear();

    m_view.Open();
    m_view.rig->Settle();
    QCOMPARE(Tasks(), reads ? QStringList{"InitDeviceCalData"} : QStringList{});
    if (reads)
        QTRY_COMPARE(m_view.LogTexts(), (QStringList{"Product:" + kProduct, kValues}));
}

// Four-point mode shows the screen even when the step is refused because an
// earlier one still waits for the frame.
void TestCalibrateView::screenShowsWhenTheStartIsRefused()
{
    CTestEnvironment::RealClock();
    m_view.Open();
    QVERIFY(Plug());
    m_view.Frame().frame.Edit([](CEmulatedFrame::State& s) { s.cal.nTouchDelayMs = -1; });
    m_pLog->Clear();

    CCalWorkCustomView* pScreen = m_view.Screen();
    QTest::mouseClick(m_view.CalButton(), Qt::LeftButton);
    QVERIFY(pScreen->isVisible());
    // The step waits for the frame once its request is out (before that, a
    // stop ends it without one).
    QVERIFY(StationTest::WaitFor([this] { return m_view.Frame().frame.RequestsFor(0x01, 0x00).size() == 1; }));
    QVERIFY(m_view.Work()->IsTaskRunning(QStringLiteral("STEP_BEGIN")));
    for (int i = 0; i < 3; ++i)
        pScreen->UpdateCalCountDownTime();
    pScreen->close();

    m_view.view->activateWindow();
    QTest::mouseClick(m_view.CalButton(), Qt::LeftButton);
    QVERIFY(pScreen->isVisible());
    QCOMPARE(pScreen->CountDown(), 30);
    QVERIFY(pScreen->IsCountingDown());

    // The screen's stop (Escape, or the end of its count-down) ends the
    // waiting step; the second start was dropped, not queued.
    pScreen->StopCalWork();
    QVERIFY(StationTest::WaitFor([this] { return !m_view.Work()->IsTaskRunning(QStringLiteral("STEP_BEGIN")); }));
    m_view.rig->Settle();
    QCOMPARE(Tasks().count(QStringLiteral("STEP_BEGIN")), 1);
    QCOMPARE(m_view.Frame().frame.RequestsFor(0x01, 0x00).size(), 1);
}

void TestCalibrateView::leaving_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("type");
    QTest::newRow("window's close button") << "close" << int(MAINWORK);
    QTest::newRow("rejected as a dialog") << "reject" << int(MAINWORK);
    QTest::newRow("signal button") << "signalToolButton" << int(SIGNALTESTWORK);
    QTest::newRow("upgrade button") << "upgradeToolButton" << int(UPGRADEWORK);
    QTest::newRow("exit button") << "exitToolButton" << int(MAINWORK);
    QTest::newRow("Escape") << "Escape" << int(MAINWORK);
    QTest::newRow("signal key") << "PgUp" << int(SIGNALTESTWORK);
    QTest::newRow("upgrade key") << "U" << int(UPGRADEWORK);
}

void TestCalibrateView::leaving()
{
    QFETCH(QString, how);
    QFETCH(int, type);

    VeloraCalibrateView* pView = m_view.view;
    QSignalSpy types(pView, &VeloraCalibrateView::emitWorkType);
    m_view.Open();
    pView->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(pView));
    emit m_view.Work()->EmitCalibrateMsg(Json(R"({"Complete":{"LX":"1","LY":"2","RX":"3","RY":"4"}})"));
    QCOMPARE(m_view.LogTexts().size(), 1);

    if (how == QLatin1String("close"))
        pView->close();
    else if (how == QLatin1String("reject"))
        pView->reject();
    else if (how == QLatin1String("Escape"))
        QTest::keyClick(pView, Qt::Key_Escape);
    else if (how == QLatin1String("PgUp"))
        QTest::keyClick(pView, Qt::Key_PageUp);
    else if (how == QLatin1String("U"))
        QTest::keyClick(pView, Qt::Key_U);
    else
        QTest::mouseClick(pView->findChild<QToolButton*>(how), Qt::LeftButton);

    // A key that is a tool button's shortcut clicks it a moment later.
    QVERIFY(StationTest::WaitFor([pView] { return !pView->isVisible(); }));
    QCOMPARE(types.size(), 1);
    QCOMPARE(types.first().at(0).value<eWorkType>(), eWorkType(type));
    // The next close hands the main panel back unless told otherwise, and
    // every opening starts with an empty log.
    m_view.Open();
    QCOMPARE(m_view.LogTexts(), QStringList{});
    QCOMPARE(m_view.Log()->rowCount(), 0);
    pView->close();
    QCOMPARE(types.size(), 2);
    QCOMPARE(types.last().at(0).value<eWorkType>(), MAINWORK);
}

// Keys other than Escape and the tool keys are dropped: Enter does not press
// "Calibrate".
void TestCalibrateView::otherKeysDoNothing()
{
    VeloraCalibrateView* pView = m_view.view;
    QSignalSpy types(pView, &VeloraCalibrateView::emitWorkType);
    m_view.Open();
    QVERIFY(Plug());
    QVERIFY(m_view.CalButton()->isEnabled());
    m_view.rig->Settle();
    m_pLog->Clear();
    pView->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(pView));
    m_view.Log()->setFocus();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_A, Qt::Key_F5})
        QTest::keyClick(pView, key);
    m_view.rig->Settle();
    QVERIFY(pView->isVisible());
    QCOMPARE(types.size(), 0);
    QCOMPARE(Tasks(), QStringList{});
    QVERIFY(!m_view.Screen()->isVisible());
}

void TestCalibrateView::toolButtons()
{
    VeloraCalibrateView* pView = m_view.view;
    m_view.Open();
    QSignalSpy draws(pView, &VeloraCalibrateView::emitOpenDrawTool);
    QTest::mouseClick(pView->findChild<QToolButton*>(QStringLiteral("drawButton")), Qt::LeftButton);
    QCOMPARE(draws.size(), 1);

    // The hidden touch button: its check state follows the dispatcher.
    auto* pTouch = pView->findChild<QToolButton*>(QStringLiteral("touchEnToolButton"));
    emit m_view.Work()->EmitTouchEnButtonStatus(true);
    QVERIFY(!pTouch->isChecked()); // the main window connects it, not the view
    pView->SetCalViewTouchEnableCheck(true);
    QVERIFY(pTouch->isChecked());
    pView->SetCalViewTouchEnableCheck(false);
    QVERIFY(!pTouch->isChecked());
    m_view.rig->Settle();
    m_pLog->Clear();
    pView->on_touchEnToolButton_clicked(true);
    pView->on_touchEnToolButton_clicked(false);
    m_view.rig->Settle();
    QCOMPARE(Tasks(), (QStringList{"DisableTouch", "EnableTouch"}));

    // The set-up button runs the calibration parameter dialog modally.
    CModalBoxAnswerer answerer;
    answerer.AnswerDialog(false);
    QTest::mouseClick(pView->findChild<QToolButton*>(QStringLiteral("lstActionToolButton")), Qt::LeftButton);
    QStringList dialogs; // the message boxes a dialog may open are answered too
    for (const CModalBoxAnswerer::SBox& box : qAsConst(answerer.boxes)) {
        if (box.kind == CModalBoxAnswerer::EKind::Dialog)
            dialogs << box.className;
    }
    QCOMPARE(dialogs, QStringList{"CalibrateSetUpDialog"});
    QVERIFY(pView->isVisible());
}

void TestCalibrateView::logMenuAtTheCursor()
{
    VeloraCalibrateView* pView = m_view.view;
    m_view.Open();
    emit m_view.Work()->EmitCalibrateMsg(Json(R"({"Complete":{"LX":"1","LY":"2","RX":"3","RY":"4"}})"));
    QCursor::setPos(QPoint(250, 180));

    QPoint menuAt;
    QStringList actions;
    bool bAutoRepeat = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* pMenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!pMenu || !pMenu->isVisible())
            return;
        menuAt = pMenu->pos();
        for (QAction* pAction : pMenu->actions())
            actions << pAction->text();
        bAutoRepeat = pMenu->actions().value(0) && pMenu->actions().value(0)->autoRepeat();
        // "Delete Record".
        pMenu->actions().value(0)->trigger();
        pMenu->close();
    });
    poll.start(5);
    // A right click on the table asks for the menu somewhere else: it opens
    // at the cursor.
    emit m_view.Log()->customContextMenuRequested(QPoint(3, 3));
    poll.stop();
    QCOMPARE(menuAt, QPoint(250, 180));
    QCOMPARE(actions, (QStringList{"Delete Record", "Record keeping"}));
    QVERIFY(bAutoRepeat);
    QCOMPARE(m_view.LogTexts(), QStringList{"Delete Record"});
    QVERIFY(pView->isVisible());
}

STATION_TEST_MAIN(TestCalibrateView)
#include "tst_calibrateview.moc"
