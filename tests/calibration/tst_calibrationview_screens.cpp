// The calibration view with the screens it builds, in the station as it runs:
// the real main window, its dispatcher and an emulated frame. The operator
// opens the view from the main panel and starts fine tuning or manual tuning
// from it, or opens "Calibrate SetUp" with its tool button; what the screens
// do reaches the view's log; the reset toast comes over a screen; the view's
// end leaves the screen that is open; the program ends with fine tuning open;
// the main window goes while answers are still on their way.

#include "caladvancedsettingview.h"
#include "calibratesetupdialog.h"
#include "calibrationscreenrig.h"
#include "calworkcustomview.h"
#include "finetuningcalibrateview.h"
#include "mainwindow.h"
#include "stationclock.h"
#include "toast.h"
#include "toastdlg.h"
#include "toastrecorder.h"
#include "veloracalibrateview.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

namespace {
const QString kProduct = QStringLiteral("Product:KT-T65WHSUR-10P");
const QString kFactoryRow = QStringLiteral("100-200-7e00-7d00");
const QByteArray kValidFile = "[CalibrateParameter]\nLX=100\nLY=200\nRX=3000\nRY=4000\n";
// The frame's word that it left fine tuning: the command it answers fails.
const QByteArray kRefusal = QByteArray::fromHex("FCFE830000A212");

enum EMode { kFourPoint = 0, kFineTuning = 1, kManual = 2 };

// The values row of the view's log for LX, LY, RX, RY.
QString ValuesRow(const QList<int>& values)
{
    QStringList parts;
    for (int v : values)
        parts << QString::number(v, 16);
    return parts.join('-');
}

// What the operator sees of a screen with the toast over it: the toast is
// a window of its own, so it is drawn onto the screen's picture where it
// stands.
QImage WithToast(QWidget* pScreen)
{
    QImage image = pScreen->grab().toImage();
    QWidget* pToast = CToast::Instance()->Dialog();
    if (pToast->isVisible()) {
        QPainter painter(&image);
        painter.drawPixmap(pToast->geometry().topLeft() - pScreen->geometry().topLeft(), pToast->grab());
    }
    return image;
}
} // namespace

class TestCalibrationViewScreens : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void opensEachScreen_data();
    void opensEachScreen();
    void setUpButtonShowsTheValuesThenRunsTheDialog();
    void resetToastTakesTheActivation_data();
    void resetToastTakesTheActivation();
    void viewEndLeavesTheActiveScreen_data();
    void viewEndLeavesTheActiveScreen();
    void replugDuringFineTuning_data();
    void replugDuringFineTuning();
    void exitWhileTheFrameIsOut_data();
    void exitWhileTheFrameIsOut();
    void fineTuningOnAFrameThatDoesNotReportItsFormats();
    void programEndWithFineTuningFromTheView_data();
    void programEndWithFineTuningFromTheView();
    void failedSendReachesTheViewOnce();
    void keepingShowsWhetherTheFrameStoredIt_data();
    void keepingShowsWhetherTheFrameStoredIt();
    void saveQuestionForTheFrameTuned_data();
    void saveQuestionForTheFrameTuned();
    void importFailedReadBackInTheViewLog();
    void windowGoesWithAnswersOnTheirWay();

private:
    MainWindow* Window() const { return m_pRig->rig.StationWindow(); }
    VeloraCalibrateView* View() const { return Window()->findChild<VeloraCalibrateView*>(); }
    CFineTuningCalibrateView* FineTuning() const { return Window()->findChild<CFineTuningCalibrateView*>(); }
    CCalAdvancedSettingView* Manual() const { return Window()->findChild<CCalAdvancedSettingView*>(); }
    CalibrateSetUpDialog* SetUp() const { return Window()->findChild<CalibrateSetUpDialog*>(); }
    QDialog* ScreenOf(int nMode) const;
    QStringList LogTexts() const;
    // "Calibrate" in this mode of the view; the screen it showed, exposed,
    // and what the start posted run (but for a four-point step).
    QDialog* Start(int nMode);
    // What changes the frame's values on the screen of that mode: a long
    // press 5 pixels right of and 1 above the left-top dot (LX + 5, LY - 1),
    // or the arrow that moves LX by + 1; the values expected afterwards.
    QList<int> ChangeValues(QDialog* pScreen, int nMode);
    void Click(QWidget* pParent, const char* szName);
    // Plugs the rig's frame back and waits until the station has read it
    // and settled; the record must not hold an earlier reading.
    bool PlugBack();

    std::unique_ptr<CCalibrationScreenRig> m_pRig;
    std::unique_ptr<QTemporaryDir> m_pDir;
};

void TestCalibrationViewScreens::init()
{
    CTestEnvironment::FastClock(0.02);
    CToast::Instance()->Dialog()->hide();
    m_pDir = std::make_unique<QTemporaryDir>();
    m_pRig = std::make_unique<CCalibrationScreenRig>(CCalibrationScreenRig::ELayer::MainWindow,
                                                     CStationRig::SFrameOptions());
    QVERIFY(m_pRig->PlugFrame());
    QVERIFY(StationTest::WaitFor([this] { return View()->findChild<QPushButton*>("Btn_Cal_2")->isEnabled(); }));
    // The operator opens the calibration view from the main panel.
    Window()->findChild<QToolButton*>(QStringLiteral("calToolButton"))->click();
    QVERIFY(View()->isVisible());
    QVERIFY(StationTest::WaitFor([this] { return LogTexts().size() == 2; }));
    QCOMPARE(LogTexts(), (QStringList{kProduct, kFactoryRow}));
    m_pRig->Settle();
    m_pRig->Forget();
}

void TestCalibrationViewScreens::cleanup()
{
    m_pRig.reset();
    m_pDir.reset();
    CToast::Instance()->Dialog()->hide();
    CTestEnvironment::RealClock();
}

QDialog* TestCalibrationViewScreens::ScreenOf(int nMode) const
{
    switch (nMode) {
    case kFourPoint:
        return Window()->findChild<CCalWorkCustomView*>();
    case kFineTuning:
        return FineTuning();
    default:
        return Manual();
    }
}

QStringList TestCalibrationViewScreens::LogTexts() const
{
    QStringList texts;
    auto* pTable = View()->findChild<QTableWidget*>(QStringLiteral("CalLogTableWidget"));
    for (int r = 0; r < pTable->rowCount(); ++r)
        texts << (pTable->item(r, 1) ? pTable->item(r, 1)->text() : QString());
    return texts;
}

QDialog* TestCalibrationViewScreens::Start(int nMode)
{
    View()->findChild<QComboBox*>(QStringLiteral("combox_CalMode_2"))->setCurrentIndex(nMode);
    QTest::mouseClick(View()->findChild<QPushButton*>(QStringLiteral("Btn_Cal_2")), Qt::LeftButton);
    QDialog* pScreen = ScreenOf(nMode);
    if (!QTest::qWaitForWindowExposed(pScreen))
        qWarning("the screen of mode %d was not exposed", nMode);
    // (A four-point step waits for its touch.)
    if (nMode != kFourPoint)
        m_pRig->Settle();
    return pScreen;
}

QList<int> TestCalibrationViewScreens::ChangeValues(QDialog* pScreen, int nMode)
{
    QList<int> expected = m_pRig->FrameValues();
    if (nMode == kFineTuning) {
        const auto* pFine = static_cast<CFineTuningCalibrateView*>(pScreen);
        const CFineTuningCalibrateView::SGeometry g = CFineTuningCalibrateView::Geometry(pFine->ScreenSize());
        if (!m_pRig->LongPress(pScreen, g.leftTop + QPoint(5, -1)))
            qWarning("the long press adjusted nothing");
        expected[0] += 5;
        expected[1] -= 1;
    } else {
        Click(pScreen, "btn_ltl");
        expected[0] += 1;
    }
    m_pRig->Settle();
    return expected;
}

void TestCalibrationViewScreens::Click(QWidget* pParent, const char* szName)
{
    auto* pButton = pParent->findChild<QAbstractButton*>(QLatin1String(szName));
    if (!pButton) {
        QTest::qFail(qPrintable(QStringLiteral("no button %1").arg(QLatin1String(szName))), __FILE__, __LINE__);
        return;
    }
    QTest::mouseClick(pButton, Qt::LeftButton);
}

bool TestCalibrationViewScreens::PlugBack()
{
    m_pRig->Frame().usb->Plug();
    if (!StationTest::WaitFor([this] { return m_pRig->rig.Record().events.contains("deviceinfo"); }))
        return false;
    m_pRig->Settle();
    return true;
}

// --- opening the screens ---

void TestCalibrationViewScreens::opensEachScreen_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("exitButton");
    QTest::newRow("fine tuning") << int(kFineTuning) << "Btn_Exit";
    QTest::newRow("manual tuning") << int(kManual) << "btn_exit";
}

// The screen of the mode shows full screen, owned by the main window and
// prepared by its start; what it changes and keeps reaches the view's log;
// the next start reuses it, prepared anew.
void TestCalibrationViewScreens::opensEachScreen()
{
    QFETCH(int, mode);
    QFETCH(QString, exitButton);
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) {
        s.settings.usb[0] = 3;
        s.settings.usb[1] = 2;
    });

    QDialog* pScreen = Start(mode);
    QCOMPARE(pScreen->parentWidget(), static_cast<QWidget*>(Window()));
    QVERIFY(pScreen->isVisible() && pScreen->isFullScreen());
    for (int nOther : {kFourPoint, kFineTuning, kManual}) {
        if (nOther != mode)
            QVERIFY(!ScreenOf(nOther)->isVisible());
    }
    if (mode == kFineTuning) {
        // Prepared: both interfaces report as a mouse.
        QCOMPARE(m_pRig->Tasks(), QStringList{"StartFineTuningCalibrate"});
        const CEmulatedFrame::State s = m_pRig->Frame().frame.Snapshot();
        QCOMPARE(s.settings.usb[0], quint8(1));
        QCOMPARE(s.settings.usb[1], quint8(1));
    } else {
        // Prepared: the values asked for and shown.
        QCOMPARE(m_pRig->Tasks(), QStringList{"READ_CAL_VALUES"});
        QCOMPARE(pScreen->findChild<QLineEdit*>("edit_left")->text(), QStringLiteral("0x100"));
        QCOMPARE(pScreen->findChild<QLineEdit*>("edit_bottom")->text(), QStringLiteral("0x7d00"));
    }

    const QList<int> changed = ChangeValues(pScreen, mode);
    QCOMPARE(m_pRig->FrameValues(), changed);
    QVERIFY(CalibrationTest::Activate(pScreen));
    m_pRig->answerer.Answer("Yes");
    Click(pScreen, qPrintable(exitButton));
    m_pRig->Settle();
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    QVERIFY(!pScreen->isVisible());
    QVERIFY(View()->isVisible());
    QCOMPARE(m_pRig->FrameFlash(), changed);
    // The read-back of the kept values is the view's last two rows.
    QVERIFY(StationTest::WaitFor([&] { return LogTexts().mid(LogTexts().size() - 2) == QStringList{kProduct, ValuesRow(changed)}; }));
    const CEmulatedFrame::State s = m_pRig->Frame().frame.Snapshot();
    QCOMPARE(s.settings.usb[0], quint8(3));
    QCOMPARE(s.settings.usb[1], quint8(2));
    if (mode == kFineTuning)
        QVERIFY(View()->grab().save(CTestEnvironment::OutputDir() + "/calibration-view-after-finetuning.png"));

    // Built once: the next start shows the same screen, nothing changed yet.
    m_pRig->Forget();
    QCOMPARE(Start(mode), pScreen);
    QVERIFY(pScreen->isVisible());
    QVERIFY(CalibrationTest::Activate(pScreen));
    Click(pScreen, qPrintable(exitButton));
    m_pRig->Settle();
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    QVERIFY(!pScreen->isVisible());
}

// The set-up button: the dialog shows the frame's values as the station
// holds them at that moment, and runs modally; the view waits for it.
void TestCalibrationViewScreens::setUpButtonShowsTheValuesThenRunsTheDialog()
{
    CalibrateSetUpDialog* pDialog = SetUp();
    QCOMPARE(pDialog->parentWidget(), static_cast<QWidget*>(Window()));
    // Built with the main window, before any frame was plugged.
    QCOMPARE(pDialog->findChild<QLineEdit*>("devCalParameter_LX")->text(), QString());

    struct SSeen
    {
        bool bModal = false;
        QStringList fields;
    };
    QList<SSeen> seen;
    const auto look = [&seen](QDialog* pShown) {
        SSeen s;
        s.bModal = QApplication::activeModalWidget() == pShown;
        for (const char* szName : {"devCalParameter_LX", "devCalParameter_LY", "devCalParameter_RX",
                                   "devCalParameter_RY"})
            s.fields << pShown->findChild<QLineEdit*>(QLatin1String(szName))->text();
        seen << s;
        pShown->reject();
    };
    auto* pButton = View()->findChild<QToolButton*>(QStringLiteral("lstActionToolButton"));
    m_pRig->answerer.ScriptDialog({look});
    QTest::mouseClick(pButton, Qt::LeftButton);
    // The click returned once the dialog was closed.
    QCOMPARE(seen.size(), 1);
    QVERIFY(!pDialog->isVisible());

    // The station's values change while the dialog is closed: the next
    // opening shows them.
    m_pRig->SetCached(0x111, 0x222, 0x7333, 0x7444);
    m_pRig->answerer.ScriptDialog({look});
    QTest::mouseClick(pButton, Qt::LeftButton);
    QCOMPARE(seen.size(), 2);
    QVERIFY(seen[0].bModal && seen[1].bModal);
    QCOMPARE(seen[0].fields, (QStringList{"0x100", "0x200", "0x7e00", "0x7d00"}));
    QCOMPARE(seen[1].fields, (QStringList{"0x111", "0x222", "0x7333", "0x7444"}));
    QVERIFY2(m_pRig->answerer.problems.isEmpty(), qPrintable(m_pRig->answerer.problems.join('\n')));
    QVERIFY(View()->isVisible());
    QVERIFY(m_pRig->Tasks().isEmpty());
}

// --- the reset toast over a screen ---

void TestCalibrationViewScreens::resetToastTakesTheActivation_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("resetButton");
    QTest::addColumn<QString>("exitButton");
    QTest::newRow("fine tuning") << int(kFineTuning) << "Btn_Reset" << "Btn_Exit";
    QTest::newRow("manual tuning") << int(kManual) << "btn_reset" << "btn_exit";
}

// The screen's Reset is confirmed by the view's toast. Offscreen a shown
// window takes the activation, the toast too (a window manager keeps it with
// the screen): the screen is activated again, as the operator's next touch
// does, and Exit then closes it.
void TestCalibrationViewScreens::resetToastTakesTheActivation()
{
    QFETCH(int, mode);
    QFETCH(QString, resetButton);
    QFETCH(QString, exitButton);
    QDialog* pScreen = Start(mode);
    QVERIFY(CalibrationTest::Activate(pScreen));
    m_pRig->Forget();

    // The toast stays while the test looks at it (and for as long as a
    // loaded machine may take).
    CStationClock::SetTimeoutScale(100.0);
    CToastRecorder toasts;
    Click(pScreen, qPrintable(resetButton));
    QVERIFY(StationTest::WaitFor([&] { return CToast::Instance()->Dialog()->isVisible(); }));
    CStationClock::SetTimeoutScale(0.02);
    QCOMPARE(toasts.tips, QStringList{"Reset successful!"});
    QVERIFY(WithToast(pScreen).save(CTestEnvironment::OutputDir() + (mode == kFineTuning
                                                                         ? "/finetuning-reset-toast.png"
                                                                         : "/manual-calibration-reset-toast.png")));
    QVERIFY(StationTest::WaitFor([] { return CToast::Instance()->Dialog()->isActiveWindow(); }));
    QVERIFY(!pScreen->isActiveWindow());
    m_pRig->Settle();
    if (mode == kManual) {
        // Exit while another window is active: the screen stays.
        Click(pScreen, qPrintable(exitButton));
        QVERIFY(pScreen->isVisible());
    }
    CToast::Instance()->Dialog()->hide();

    QVERIFY(CalibrationTest::Activate(pScreen));
    Click(pScreen, qPrintable(exitButton));
    m_pRig->Settle();
    QVERIFY(!pScreen->isVisible());
    // Reset asks nothing on leaving.
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    QStringList expected{"RESET_CAL_DATA"};
    if (mode == kFineTuning)
        expected << "ExitFineTuningCalibrate";
    QStringList tasks = m_pRig->Tasks();
    tasks.removeAll("READ_CAL_VALUES");
    QCOMPARE(tasks, expected);
    QCOMPARE(m_pRig->FrameValues(), CalibrationTest::FactoryValues());
}

// --- the view's end ---

void TestCalibrationViewScreens::viewEndLeavesTheActiveScreen_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("warnings");  // about the screens' values and the frame, in order
    QTest::addColumn<quint8>("touchFormat");    // of the first interface afterwards

    QTest::newRow("four-point") << int(kFourPoint) << QStringList{} << quint8(3);
    QTest::newRow("fine tuning") << int(kFineTuning)
                                 << QStringList{"CloseFineTuningCal : the station closes; the frame stays in the "
                                                "mouse format",
                                                "CloseFineTuningCal : the calibration values changed by fine tuning "
                                                "are neither stored nor reset"}
                                 << quint8(1);
    QTest::newRow("manual tuning") << int(kManual)
                                   << QStringList{"ExitWithSavePrompt : the station closes; the calibration values "
                                                  "changed by hand are neither stored nor reset"}
                                   << quint8(3);
}

// The main window goes while a screen of the view is the active window (no
// event loop ends first): the view leaves that screen without a question,
// after the dispatcher's worker has stopped. The four-point and fine-tuning
// screens go with the view; the manual screen and the parameter dialog with
// the main window, after the dispatcher.
void TestCalibrationViewScreens::viewEndLeavesTheActiveScreen()
{
    QFETCH(int, mode);
    QFETCH(QStringList, warnings);
    QFETCH(quint8, touchFormat);
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) {
        s.settings.usb[0] = 3;
        s.cal.nTouchDelayMs = -1;  // a four-point step waits for its touch
    });
    if (mode == kFourPoint) {
        // The step waits until the worker stops.
        CStationClock::SetTimeoutScale(100.0);
    }
    QDialog* pScreen = Start(mode);
    if (mode != kFourPoint)
        ChangeValues(pScreen, mode);
    else
        QVERIFY(StationTest::WaitFor([this] { return m_pRig->Work()->IsTaskRunning("STEP_BEGIN"); }));
    QVERIFY(CalibrationTest::Activate(pScreen));
    m_pRig->Forget();

    QStringList gone;
    const auto watch = [&gone](QObject* pObject, const QString& name) {
        QObject::connect(pObject, &QObject::destroyed, [&gone, name] { gone << name; });
    };
    watch(View(), "view");
    watch(m_pRig->Work(), "dispatcher");
    watch(Window()->findChild<CCalWorkCustomView*>(), "four-point");
    watch(FineTuning(), "fine tuning");
    watch(Manual(), "manual");
    watch(SetUp(), "set-up");

    m_pRig->rig.CloseMainWindow();
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    QCOMPARE(gone.size(), 6);
    QVERIFY(gone.indexOf("four-point") < gone.indexOf("view"));
    QVERIFY(gone.indexOf("fine tuning") < gone.indexOf("view"));
    QVERIFY(gone.indexOf("view") < gone.indexOf("dispatcher"));
    QVERIFY(gone.indexOf("dispatcher") < gone.indexOf("manual"));
    QVERIFY(gone.indexOf("dispatcher") < gone.indexOf("set-up"));

    const QStringList said = m_pRig->log.Lines(QtWarningMsg).filter(
        QRegularExpression("calibration values|mouse format"));
    QCOMPARE(said, warnings);
    QCOMPARE(m_pRig->Frame().frame.Snapshot().settings.usb[0], touchFormat);
    QVERIFY(m_pRig->log.Contains(QStringLiteral("StopWorker : the worker thread has stopped.")));
    QCOMPARE(m_pRig->log.Count(QStringLiteral("Terminate Thread.")), 0);
}

// --- a frame plugged again during fine tuning ---

void TestCalibrationViewScreens::replugDuringFineTuning_data()
{
    QTest::addColumn<QString>("frame");  // what comes back
    QTest::addColumn<bool>("restored");
    QTest::newRow("the same frame") << "same" << true;
    QTest::newRow("another frame") << "other" << false;
    QTest::newRow("a frame whose id cannot be read") << "unread" << false;
}

// The frame leaves and comes back while fine tuning is open: its new device
// object reads the mouse formats fine tuning set. Exit gives the frame the
// formats it had before fine tuning; another frame (another McuID, or none
// read) keeps what it has, with a warning.
void TestCalibrationViewScreens::replugDuringFineTuning()
{
    QFETCH(QString, frame);
    QFETCH(bool, restored);
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) {
        s.settings.usb[0] = 3;
        s.settings.usb[1] = 2;
    });
    QDialog* pScreen = Start(kFineTuning);
    QCOMPARE(m_pRig->Frame().frame.Snapshot().settings.usb[0], quint8(1));

    const quint64 nBefore = m_pRig->Work()->GetDeviceGeneration();
    m_pRig->Frame().usb->Unplug();
    QVERIFY(StationTest::WaitFor([this] { return LogTexts().contains("Device is disconnected"); }));
    if (frame == QLatin1String("other"))
        m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) { s.info.mcuId = QByteArray::fromHex("FEDCBA98"); });
    m_pRig->rig.ClearRecord();
    QVERIFY(PlugBack());
    QVERIFY(m_pRig->Work()->GetDeviceGeneration() != nBefore);
    if (frame == QLatin1String("unread"))
        m_pRig->Frame().frame.SetFault(0xA9, 0x00, CEmulatedFrame::Silent());
    m_pRig->Forget();

    Click(pScreen, "Btn_Exit");
    m_pRig->Settle();
    QVERIFY(!pScreen->isVisible());
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    QCOMPARE(m_pRig->Tasks(), QStringList{"ExitFineTuningCalibrate"});
    const CEmulatedFrame::State s = m_pRig->Frame().frame.Snapshot();
    QCOMPARE(s.settings.usb[0], quint8(restored ? 3 : 1));
    QCOMPARE(s.settings.usb[1], quint8(restored ? 2 : 1));
    const QStringList warnings = m_pRig->log.Lines(QtWarningMsg).filter("not the one fine tuning started on");
    QCOMPARE(warnings.size(), restored ? 0 : 1);
    if (!restored) {
        QVERIFY2(warnings.first().contains("0123456789ABCDEF00112233"), qPrintable(warnings.first()));
        QVERIFY2(warnings.first().contains(frame == QLatin1String("other") ? "FEDCBA98 now" : "unread now"),
                 qPrintable(warnings.first()));
    }

    // The formats wait for the frame of the start. The next fine tuning on
    // it (its McuID readable again) gives them back at its own exit; on
    // another frame it ends the wait, and that frame keeps its own.
    m_pRig->Frame().frame.ClearFaults();
    m_pRig->Forget();
    QVERIFY(View()->findChild<QPushButton*>("Btn_Cal_2")->isEnabled());
    QVERIFY(View()->isVisible());
    QCOMPARE(Start(kFineTuning), pScreen);
    QVERIFY(pScreen->isVisible());
    const bool bOther = frame == QLatin1String("other");
    QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("a new fine tuning starts").size(), bOther ? 1 : 0);
    Click(pScreen, "Btn_Exit");
    m_pRig->Settle();
    QCOMPARE(m_pRig->Frame().frame.Snapshot().settings.usb[0], quint8(bOther ? 1 : 3));
    QCOMPARE(m_pRig->Frame().frame.Snapshot().settings.usb[1], quint8(bOther ? 1 : 2));
    QVERIFY(m_pRig->log.Lines(QtWarningMsg).filter("not the one fine tuning started on").isEmpty());
}

void TestCalibrationViewScreens::exitWhileTheFrameIsOut_data()
{
    QTest::addColumn<QString>("road");
    QTest::newRow("it returns to the view") << "view";
    QTest::newRow("it returns after the view was left") << "left";
    QTest::newRow("another frame comes first") << "other";
    QTest::newRow("it never returns") << "never";
    QTest::newRow("no McuID read at the start") << "unread";
}

// Fine tuning is left while its frame is out: the frame cannot take back the
// formats it had, so they are kept and given back when that frame (its
// McuID) arrives again, whatever the station does then. Another frame keeps
// its own; a frame that never returns is named at the program's end; a
// start that read no McuID cannot know the frame again.
void TestCalibrationViewScreens::exitWhileTheFrameIsOut()
{
    QFETCH(QString, road);
    const QString kOwedRow = QStringLiteral("The touch formats will be given back when the frame returns");
    const QString kBackRow = QStringLiteral("The frame has its touch formats back");
    const QByteArray mcuId = m_pRig->Frame().frame.Snapshot().info.mcuId;
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) {
        s.settings.usb[0] = 3;
        s.settings.usb[1] = 2;
    });
    if (road == QLatin1String("unread"))
        m_pRig->Frame().frame.SetFault(0xA9, 0x00, CEmulatedFrame::Silent());
    QDialog* pScreen = Start(kFineTuning);
    QCOMPARE(m_pRig->Frame().frame.Snapshot().settings.usb[0], quint8(1));
    m_pRig->Frame().frame.ClearFaults();

    m_pRig->Frame().usb->Unplug();
    QVERIFY(StationTest::WaitFor([this] { return LogTexts().contains("Device is disconnected"); }));
    m_pRig->Forget();
    Click(pScreen, "Btn_Exit");
    m_pRig->Settle();
    QVERIFY(!pScreen->isVisible());
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    QCOMPARE(m_pRig->Tasks(), QStringList{"ExitFineTuningCalibrate"});
    QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("did not take back its touch formats").size(), 1);
    if (road == QLatin1String("unread")) {
        QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("no McuID was read when fine tuning started").size(), 1);
        QVERIFY(!LogTexts().contains(kOwedRow));
    } else {
        QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("are kept for the frame with McuID").size(), 1);
        QCOMPARE(LogTexts().filter(kOwedRow).size(), 1);
    }
    QVERIFY(View()->grab().save(CTestEnvironment::OutputDir() + "/calibration-view-formats-kept-" + road + ".png"));

    if (road == QLatin1String("never")) {
        m_pRig->rig.CloseMainWindow();
        QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("did not return; its touch formats 3/2 were never given back")
                     .size(),
                 1);
        return;
    }
    if (road != QLatin1String("view") && road != QLatin1String("unread")) {
        // The operator leaves the calibration view for the main panel.
        Click(View(), "exitToolButton");
        QVERIFY(StationTest::WaitFor([this] { return !View()->isVisible(); }));
    }
    if (road == QLatin1String("other")) {
        // Another frame, with formats of its own, comes and goes.
        m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) {
            s.info.mcuId = QByteArray::fromHex("FEDCBA98");
            s.settings.usb[0] = 2;
            s.settings.usb[1] = 4;
        });
        m_pRig->Forget();
        QVERIFY(PlugBack());
        QCOMPARE(m_pRig->Frame().frame.Snapshot().settings.usb[0], quint8(2));
        QCOMPARE(m_pRig->Frame().frame.Snapshot().settings.usb[1], quint8(4));
        QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("keeps its own touch formats").size(), 1);
        m_pRig->Frame().usb->Unplug();
        QVERIFY(StationTest::WaitFor([this] { return !View()->findChild<QPushButton*>("Btn_Cal_2")->isEnabled(); }));
        // Then the frame of the fine tuning, still in the mouse format.
        m_pRig->Frame().frame.Edit([mcuId](CEmulatedFrame::State& s) {
            s.info.mcuId = mcuId;
            s.settings.usb[0] = 1;
            s.settings.usb[1] = 1;
        });
    }

    m_pRig->Forget();
    QVERIFY(PlugBack());
    const CEmulatedFrame::State s = m_pRig->Frame().frame.Snapshot();
    const bool bBack = road != QLatin1String("unread");
    QCOMPARE(s.settings.usb[0], quint8(bBack ? 3 : 1));
    QCOMPARE(s.settings.usb[1], quint8(bBack ? 2 : 1));
    QCOMPARE(m_pRig->Tasks().count("GiveBackTouchFormats"), bBack ? 1 : 0);
    QCOMPARE(m_pRig->log.Lines(QtInfoMsg).filter("has its touch formats 3/2 back").size(), bBack ? 1 : 0);
    if (View()->isVisible()) {
        QCOMPARE(LogTexts().filter(kBackRow).size(), bBack ? 1 : 0);
        QVERIFY(View()->grab().save(CTestEnvironment::OutputDir() + "/calibration-view-formats-back-" + road + ".png"));
    }
    QVERIFY(m_pRig->answerer.boxes.isEmpty());

    // Given back once: the next arrival posts nothing more, and the end of
    // the program has nothing to say.
    m_pRig->Frame().usb->Unplug();
    QVERIFY(StationTest::WaitFor([this] { return !View()->findChild<QPushButton*>("Btn_Cal_2")->isEnabled(); }));
    m_pRig->Forget();
    QVERIFY(PlugBack());
    QCOMPARE(m_pRig->Tasks().count("GiveBackTouchFormats"), 0);
    m_pRig->rig.CloseMainWindow();
    QVERIFY(m_pRig->log.Lines(QtWarningMsg).filter("were never given back").isEmpty());
}

// The frame does not answer the read of its touch formats when fine tuning
// starts: the view's log says that they will not be given back, and the exit
// leaves the frame in the mouse format instead of sending formats it never
// reported.
void TestCalibrationViewScreens::fineTuningOnAFrameThatDoesNotReportItsFormats()
{
    const QString kUnreadRow = QStringLiteral("The frame's touch formats could not be read; they will not be given back");
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) {
        s.settings.usb[0] = 3;
        s.settings.usb[1] = 2;
    });
    m_pRig->Frame().frame.SetFault(0x30, 0x04, CEmulatedFrame::Refusal());
    QDialog* pScreen = Start(kFineTuning);
    QCOMPARE(m_pRig->Frame().frame.Snapshot().settings.usb[0], quint8(1));
    QVERIFY(StationTest::WaitFor([&] { return LogTexts().contains(kUnreadRow); }));

    Click(pScreen, "Btn_Exit");
    m_pRig->Settle();
    QVERIFY(!pScreen->isVisible());
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    const CEmulatedFrame::State s = m_pRig->Frame().frame.Snapshot();
    QCOMPARE(s.settings.usb[0], quint8(1));
    QCOMPARE(s.settings.usb[1], quint8(1));
    QCOMPARE(LogTexts().filter(kUnreadRow).size(), 1);
    QVERIFY(!LogTexts().contains("The frame has its touch formats back"));
    QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("touch formats could not be read").size(), 1);
    QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("no touch formats are given back").size(), 1);
    QVERIFY(View()->grab().save(CTestEnvironment::OutputDir() + "/calibration-view-formats-unread.png"));
}

// --- the program's end ---

void TestCalibrationViewScreens::programEndWithFineTuningFromTheView_data()
{
    QTest::addColumn<QString>("frame");
    QTest::newRow("frame answers") << "answers";
    QTest::newRow("frame refuses the formats") << "refuses";
    QTest::newRow("frame silent") << "silent";
    // The start could not read the frame's formats: none are given back.
    QTest::newRow("formats not read at the start") << "unread";
}

// The event loop ends (Exit, a signal) with fine tuning open from the view:
// while the worker still runs, the frame gets its touch formats back without
// a question, waited for a bounded time; then the main window goes.
void TestCalibrationViewScreens::programEndWithFineTuningFromTheView()
{
    QFETCH(QString, frame);
    const bool bRestored = frame == QLatin1String("answers");
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) {
        s.settings.usb[0] = 3;
        s.settings.usb[1] = 2;
    });
    if (frame == QLatin1String("unread"))
        m_pRig->Frame().frame.SetFault(0x30, 0x04, CEmulatedFrame::Refusal());
    QPointer<QDialog> pScreen = Start(kFineTuning);
    const QList<int> changed = ChangeValues(pScreen, kFineTuning);
    if (frame == QLatin1String("silent"))
        m_pRig->Frame().frame.SetFault(0x30, 0x00, CEmulatedFrame::Silent());
    else if (frame == QLatin1String("refuses"))
        m_pRig->Frame().frame.SetFault(0x30, 0x00, CEmulatedFrame::CustomReplies({kRefusal}));
    // The answer ends the wait long before its bound; a silent frame does
    // not answer and the bound (40 ms) ends it.
    if (frame != QLatin1String("silent"))
        CStationClock::SetTimeoutScale(100.0);
    m_pRig->Forget();

    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    qApp->exec();
    QVERIFY(m_pRig->log.Tasks().contains("ExitFineTuningCalibrate"));
    QVERIFY(!pScreen->isVisible());
    const QStringList mouse = m_pRig->log.Lines(QtWarningMsg).filter("it stays in the mouse format");
    QCOMPARE(mouse.size(), bRestored ? 0 : 1);
    if (!bRestored) {
        QCOMPARE(mouse.first().contains("did not take back its touch formats"), frame == QLatin1String("refuses"));
        QCOMPARE(mouse.first().contains("were not read when fine tuning started, none were given back"),
                 frame == QLatin1String("unread"));
    }
    // Formats that were never read were not refused either.
    QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("did not take back").size(),
             frame == QLatin1String("refuses") ? 2 : 0);
    if (bRestored) {
        const CEmulatedFrame::State s = m_pRig->Frame().frame.Snapshot();
        QCOMPARE(s.settings.usb[0], quint8(3));
        QCOMPARE(s.settings.usb[1], quint8(2));
    }

    m_pRig->rig.CloseMainWindow();
    QVERIFY(!pScreen);
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    // Said once, by the program's end, not again by the view's.
    QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("neither stored nor reset").size(), 1);
    QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("it stays in the mouse format").size(), bRestored ? 0 : 1);
    QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("the frame stays in the mouse format").size(), 0);
    QCOMPARE(m_pRig->log.Tasks().count("ExitFineTuningCalibrate"), 1);
    // Neither stored nor reset.
    QCOMPARE(m_pRig->FrameFlash(), CalibrationTest::FactoryValues());
    QCOMPARE(m_pRig->FrameValues(), changed);
    const CEmulatedFrame::State s = m_pRig->Frame().frame.Snapshot();
    QCOMPARE(s.settings.usb[0], quint8(bRestored ? 3 : 1));
    QCOMPARE(s.settings.usb[1], quint8(bRestored ? 2 : 1));
    QVERIFY(m_pRig->log.Contains(QStringLiteral("StopWorker : the worker thread has stopped.")));
}

// --- what the view's log shows ---

// The frame refuses the values of an adjustment: the dispatcher reports the
// code (once; the screen itself reports nothing), the view has no row for it
// and resets nothing, the run log names it. After the operator keeps the
// values, the view's log shows what the frame really holds.
void TestCalibrationViewScreens::failedSendReachesTheViewOnce()
{
    QDialog* pScreen = Start(kFineTuning);
    QSignalSpy fromScreen(FineTuning(), &CFineTuningCalibrateView::EmitCalibrateMsg);
    m_pRig->Frame().frame.SetFault(0xA1, 0x02, CEmulatedFrame::CustomReplies({kRefusal}));
    m_pRig->Forget();

    const CFineTuningCalibrateView::SGeometry g = CFineTuningCalibrateView::Geometry(FineTuning()->ScreenSize());
    QVERIFY(m_pRig->LongPress(pScreen, g.leftTop + QPoint(5, -1)));
    m_pRig->Settle();
    QCOMPARE(m_pRig->rig.Record().events.filter("funcResult"), QStringList{R"(msg:{"funcResult":"80330005"})"});
    QCOMPARE(fromScreen.size(), 0);
    QCOMPARE(m_pRig->log.Lines(QtWarningMsg).filter("CalDataSent").filter("0x80330005").size(), 1);
    QCOMPARE(m_pRig->Tasks().filter(QRegularExpression("^(SendCalDataToDev|RESET_CAL_DATA)$")),
             QStringList{"SendCalDataToDev"});
    QVERIFY(m_pRig->log.Lines(QtInfoMsg).filter("ERROR_CODE_").isEmpty());
    QCOMPARE(LogTexts(), (QStringList{kProduct, kFactoryRow}));
    QCOMPARE(m_pRig->FrameValues(), CalibrationTest::FactoryValues());

    m_pRig->Frame().frame.ClearFaults();
    m_pRig->answerer.Answer("Yes");
    Click(pScreen, "Btn_Exit");
    m_pRig->Settle();
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    QVERIFY(StationTest::WaitFor([this] { return LogTexts().size() == 4; }));
    QCOMPARE(LogTexts().mid(2), (QStringList{kProduct, ValuesRow(m_pRig->FrameFlash())}));
    QCOMPARE(m_pRig->Cached(), m_pRig->FrameValues());
}

void TestCalibrationViewScreens::keepingShowsWhetherTheFrameStoredIt_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("refused");  // the frame refuses the flash save
    QTest::addColumn<QStringList>("tips");
    QTest::addColumn<QList<int>>("levels");
    const QStringList notSaved{"Calibration not saved"};
    QTest::newRow("four-point, stored") << int(kFourPoint) << false << QStringList{"Calibration complete"}
                                        << QList<int>{0};
    QTest::newRow("four-point, not stored") << int(kFourPoint) << true << notSaved << QList<int>{2};
    // The tuning screens say nothing on success.
    QTest::newRow("fine tuning, stored") << int(kFineTuning) << false << QStringList{} << QList<int>{};
    QTest::newRow("fine tuning, not stored") << int(kFineTuning) << true << notSaved << QList<int>{2};
    QTest::newRow("manual tuning, stored") << int(kManual) << false << QStringList{} << QList<int>{};
    QTest::newRow("manual tuning, not stored") << int(kManual) << true << notSaved << QList<int>{2};
}

// The three ways of keeping a calibration: the end of an accepted four-point
// run, and Yes on leaving either tuning screen after a change. The frame
// refuses to store it in its flash: no "Calibration complete", the failure
// in red and one warning with the code; the frame's values are left as they
// are (no reset).
void TestCalibrationViewScreens::keepingShowsWhetherTheFrameStoredIt()
{
    QFETCH(int, mode);
    QFETCH(bool, refused);
    QFETCH(QStringList, tips);
    QFETCH(QList<int>, levels);
    if (refused)
        m_pRig->Frame().frame.SetFault(0xA1, 0x03, CEmulatedFrame::CustomReplies({kRefusal}));
    // The tips stay up far longer than the test takes.
    CStationClock::SetTimeoutScale(100.0);
    CToastRecorder toasts;
    const int nRows = LogTexts().size();

    QDialog* pScreen = Start(mode);
    QList<int> expected;
    if (mode == kFourPoint) {
        // The frame goes through the targets by itself (touched at once).
        QVERIFY(StationTest::WaitFor([this] { return m_pRig->Frame().frame.Snapshot().cal.bEnded; }));
        expected = m_pRig->FrameValues();
    } else {
        expected = ChangeValues(pScreen, mode);
        QVERIFY(CalibrationTest::Activate(pScreen));
        m_pRig->answerer.Answer("Yes");
        Click(pScreen, mode == kFineTuning ? "Btn_Exit" : "btn_exit");
        QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    }
    // The read-back after the keeping is the view's last two rows; what
    // the view says of the keeping comes before it.
    QVERIFY2(StationTest::WaitFor([&] {
        return LogTexts().size() >= nRows + 2 && LogTexts().last() == ValuesRow(expected);
    }), qPrintable(LogTexts().join(", ") + " / " + m_pRig->Tasks().join(", ")));
    m_pRig->Settle();
    CStationClock::SetTimeoutScale(0.02);
    QCOMPARE(toasts.tips, tips);
    QCOMPARE(toasts.levels, levels);
    const QStringList warnings = m_pRig->log.Lines(QtWarningMsg).filter("did not store the calibration");
    QCOMPARE(warnings.size(), refused ? 1 : 0);
    if (refused) {
        QVERIFY2(warnings.first().contains(" 0x8029"), qPrintable(warnings.first()));
        QVERIFY(WithToast(View()).save(CTestEnvironment::OutputDir() + "/calibration-not-saved-toast.png"));
    }
    QCOMPARE(m_pRig->FrameValues(), expected);
    QCOMPARE(m_pRig->FrameFlash(), refused ? CalibrationTest::FactoryValues() : expected);
    QVERIFY(!m_pRig->Tasks().contains("RESET_CAL_DATA"));
    QVERIFY(!pScreen->isVisible());
}

void TestCalibrationViewScreens::saveQuestionForTheFrameTuned_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("answer");
    QTest::newRow("fine tuning, Yes") << int(kFineTuning) << "Yes";
    QTest::newRow("fine tuning, No") << int(kFineTuning) << "No";
    QTest::newRow("manual tuning, Yes") << int(kManual) << "Yes";
    QTest::newRow("manual tuning, No") << int(kManual) << "No";
}

// The frame is pulled and plugged back while the question on leaving a
// tuning screen is open: the values tuned went with the frame (it restarted),
// so neither the keeping nor the reset reaches the frame there now; the
// operator is told, and the run log says what changed.
void TestCalibrationViewScreens::saveQuestionForTheFrameTuned()
{
    QFETCH(int, mode);
    QFETCH(QString, answer);
    CStationClock::SetTimeoutScale(100.0);
    CToastRecorder toasts;

    QDialog* pScreen = Start(mode);
    ChangeValues(pScreen, mode);
    QVERIFY(CalibrationTest::Activate(pScreen));
    m_pRig->answerer.Answer(answer);
    int nTasksBefore = -1;
    m_pRig->answerer.OnShown([this, &nTasksBefore](const CModalBoxAnswerer::SBox&) {
        m_pRig->Frame().usb->Unplug();
        QVERIFY(StationTest::WaitFor(
            [this] { return !View()->findChild<QPushButton*>(QStringLiteral("Btn_Cal_2"))->isEnabled(); }));
        m_pRig->rig.ClearRecord();
        QVERIFY(PlugBack());
        nTasksBefore = m_pRig->Tasks().size();
    });
    Click(pScreen, mode == kFineTuning ? "Btn_Exit" : "btn_exit");
    QCOMPARE(m_pRig->answerer.boxes.size(), 1);
    QVERIFY(nTasksBefore >= 0);
    m_pRig->Settle();
    CStationClock::SetTimeoutScale(0.02);

    const QStringList after = m_pRig->Tasks().mid(nTasksBefore);
    for (const char* szTask : {"SET_CAL_FMT", "SAVE_TO_FLASH", "SAVE_AS_DEFAULT", "GET_CAL_DATA", "RESET_CAL_DATA"})
        QVERIFY2(!after.contains(QLatin1String(szTask)), qPrintable(after.join(", ")));
    QCOMPARE(m_pRig->FrameFlash(), CalibrationTest::FactoryValues());
    QCOMPARE(toasts.tips,
             QStringList{"The frame changed while the question was open; the answer was not applied to it"});
    QCOMPARE(m_pRig->log.Lines(QtInfoMsg).filter("another frame arrived during the save question").size(), 1);
    QVERIFY(!pScreen->isVisible());
    QVERIFY(WithToast(View()).save(CTestEnvironment::OutputDir() + "/calibration-save-answer-not-applied.png"));
}

// An import the frame does not store: "Import failed", then the values read
// back from the frame appear in the view's log.
void TestCalibrationViewScreens::importFailedReadBackInTheViewLog()
{
    m_pRig->Frame().frame.SetFault(0xA1, 0x03, CEmulatedFrame::CustomReplies({kRefusal}));
    m_pRig->answerer.AnswerFile(CalibrationTest::WriteFile(m_pDir->filePath("param.ini"), kValidFile));
    m_pRig->answerer.Answer("OK");
    m_pRig->answerer.AnswerDialog(false, {"browseCalParameterFile_Btn", "importCalParameter_Btn"});
    QTest::mouseClick(View()->findChild<QToolButton*>(QStringLiteral("lstActionToolButton")), Qt::LeftButton);
    QVERIFY(StationTest::WaitFor([this] {
        for (const CModalBoxAnswerer::SBox& box : m_pRig->answerer.boxes) {
            if (box.text == QLatin1String("Import failed"))
                return true;
        }
        return false;
    }));
    m_pRig->Settle();
    QCOMPARE(m_pRig->Tasks(), (QStringList{"SendFileCalibrateParameterToDev", "InitDeviceCalData"}));
    // The values the import sent, then those read back: not in the frame's
    // flash.
    QVERIFY(StationTest::WaitFor([this] { return LogTexts().size() == 6; }));
    QCOMPARE(m_pRig->FrameFlash(), CalibrationTest::FactoryValues());
    QCOMPARE(m_pRig->Cached(), m_pRig->FrameValues());
    QCOMPARE(LogTexts(), (QStringList{kProduct, kFactoryRow, kProduct, "64-c8-bb8-fa0", kProduct,
                                      ValuesRow(m_pRig->FrameValues())}));
    QVERIFY2(m_pRig->answerer.problems.isEmpty(), qPrintable(m_pRig->answerer.problems.join('\n')));
    QVERIFY(View()->grab().save(CTestEnvironment::OutputDir() + "/calibration-view-import-failed.png"));
}

// --- teardown ---

// The station ends with every screen of the view shown, values changed on
// both tuning screens, a send of fine tuning waiting for a frame that does
// not answer and a read of the manual screen queued behind it: nothing is
// asked, nothing reaches a screen or the dispatcher after it went.
void TestCalibrationViewScreens::windowGoesWithAnswersOnTheirWay()
{
    // A four-point run the frame goes through by itself (touched at once).
    QPointer<QDialog> pFour = Start(kFourPoint);
    QVERIFY(StationTest::WaitFor([this] { return m_pRig->Frame().frame.Snapshot().cal.bEnded; }));
    m_pRig->Settle();
    QPointer<QDialog> pManual = Start(kManual);
    ChangeValues(pManual, kManual);
    QPointer<QDialog> pSetUp = SetUp();
    m_pRig->answerer.AnswerDialog(false);
    QTest::mouseClick(View()->findChild<QToolButton*>(QStringLiteral("lstActionToolButton")), Qt::LeftButton);
    QPointer<QDialog> pFine = Start(kFineTuning);
    emit m_pRig->Work()->emitResetCallBack(true);

    // The send waits until the worker stops.
    CStationClock::SetTimeoutScale(100.0);
    m_pRig->Frame().frame.SetFault(0xA1, 0x02, CEmulatedFrame::Silent());
    const CFineTuningCalibrateView::SGeometry g = CFineTuningCalibrateView::Geometry(FineTuning()->ScreenSize());
    QVERIFY(m_pRig->LongPress(pFine, g.rightBottom + QPoint(-6, 4),
                              [this] { return m_pRig->Work()->IsTaskRunning("SendCalDataToDev"); }));
    Manual()->ResetCalibrationData();

    m_pRig->answerer.boxes.clear();
    m_pRig->rig.CloseMainWindow();
    QVERIFY(!pFour && !pManual && !pSetUp && !pFine);
    CStationRig::Flush();
    QVERIFY(m_pRig->answerer.boxes.isEmpty());
    QVERIFY(m_pRig->log.Contains(QStringLiteral("StopWorker : the worker thread has stopped.")));
    QCOMPARE(m_pRig->log.Count(QStringLiteral("Terminate Thread.")), 0);
}

STATION_TEST_MAIN(TestCalibrationViewScreens)
#include "tst_calibrationview_screens.moc"
