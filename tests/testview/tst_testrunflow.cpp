// A signal-test run on the emulated frame, as the operator meets it: the view
// open when a frame is plugged (or the frame there when it opens), the
// serial-number prompt, the tasks the run posts, the first result with its
// pages and refresh, plug events during a run and during the prompt, a run
// on a replayed log, the close rule, the screenshot, a first test that
// fails, a frame swapped while the upload of a result asks the operator, a
// frame plugged while the open dialog is up, and a frame swapped while a
// dialog, a box or a prompt of the view is open or a retest is under way,
// and an arrival handled by every part of the station before its prompt.

#include "modalboxanswerer.h"
#include "mutexholder.h"
#include "runlogcapture.h"
#include "stationresources.h"
#include "testviewlogs.h"
#include "testviewstation.h"
#include "timerthread.h"
#include "touchpaintview.h"
#include "uploadservice.h"
#include "uploadtestdata.h"
#include "veloraupgradeview.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSemaphore>
#include <QSet>
#include <QSignalSpy>
#include <QTableWidget>
#include <QThread>
#include <QToolButton>
#include <QtTest>

namespace {
const char* const kRunButtons[] = {"upgradeButton",     "exitTestButton",   "calButton",      "drawButton",
                                   "touchEnTestButton", "retestTestButton", "startTestButton"};

// How many of the seven buttons of a run are enabled.
int EnabledRunButtons(VeloraTestView* pView)
{
    int n = 0;
    for (const char* szName : kRunButtons) {
        n += Child<QToolButton>(pView, szName)->isEnabled() ? 1 : 0;
    }
    return n;
}

QString ResultCell(VeloraTestView* pView, int nRow, int nColumn)
{
    const QTableWidgetItem* pItem = Child<QTableWidget>(pView, "testResult")->item(nRow, nColumn);
    return pItem ? pItem->text() : QString();
}

// The tasks the dispatcher started since the capture began, once it is idle.
QStringList Tasks(CTestViewStation& station, const CRunLogCapture& log)
{
    station.rig.Settle();
    QStringList tasks = log.Tasks();
    tasks.removeAll(QStringLiteral("__settle__"));
    return tasks;
}

QAction* MenuAction(VeloraTestView* pView, const QString& text)
{
    for (QAction* pAction : pView->ActionMenu()->actions()) {
        if (pAction->text() == text)
            return pAction;
    }
    return nullptr;
}

// Keeps the dispatcher's worker busy without the device mutex: "SetRAgc"
// posted with the gate asks it for the AGC values, and it answers only once
// the gate is opened (with the values the frame was given, so that the frame
// is left as it was). Tasks posted meanwhile wait behind it.
class CWorkerGate : public QObject
{
    Q_OBJECT
public:
    ~CWorkerGate() override { Open(); }
    // True once the worker waits at the gate.
    bool Close(HandleWork* pWork)
    {
        return Post(pWork, QStringLiteral("SetRAgc")) && StationTest::WaitFor([this] { return IsWaiting(); });
    }
    // Puts the gate in the worker's queue (the task "SetRAgc", or "SetTAgc"
    // for a second gate behind a first one): closed once the worker gets there.
    bool Post(HandleWork* pWork, const QString& task)
    {
        return pWork->PostTask(task, Qt::AutoConnection, this);
    }
    bool IsWaiting() const { return m_bWaiting.load(); }
    void Open()
    {
        if (m_bWaiting.exchange(false))
            m_open.release();
    }
    Q_INVOKABLE void GetAgcValue(uint32_t* pT, uint32_t* pR)
    {
        m_bWaiting = true;
        m_open.acquire();
        *pT = 0;
        *pR = 0;
    }

private:
    std::atomic<bool> m_bWaiting{false};
    QSemaphore m_open;
};

// The upload as a database that is away makes it: the first record asks
// Retry or Cancel in a box of its own; every record is counted.
class CAskingUpload : public CUploadService
{
public:
    int nRecords = 0;
    bool UploadTestData(const CTestRecord&) override
    {
        if (++nRecords == 1)
            QMessageBox::warning(nullptr, QStringLiteral("Upload"), QStringLiteral("The database cannot be reached."),
                                 QMessageBox::Retry | QMessageBox::Cancel);
        return true;
    }
};

// The results the view has shown and filed ("ShowTestResult : PASS PASS").
QStringList Results(const CRunLogCapture& log)
{
    static const QRegularExpression shown(QStringLiteral("^ShowTestResult : (PASS|NG) "));
    return log.Lines().filter(shown);
}

// The logs filed under "Data" in the working folder, by absolute path.
QSet<QString> FiledLogs()
{
    QSet<QString> filed;
    for (QDirIterator it("Data", QStringList{"*.xml"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
        filed.insert(QDir::current().absoluteFilePath(it.next()));
    return filed;
}

// The first result of a run is in: the flag is clear and the table filled.
bool WaitForResult(VeloraTestView* pView)
{
    return StationTest::WaitFor(
        [pView] { return !pView->IsTestRunning() && ResultCell(pView, 0, 0) != QLatin1String("Unknown..."); });
}
} // namespace

class TestTestRunFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void plugWithTheViewOpen_data();
    void plugWithTheViewOpen();
    void startsThatChangeNothing();
    void bootloaderFrame();
    void framesLeaving();
    void hiddenViewOnlyFollowsTheFlag();
    void modifiedSerialNumberRetests();
    void serialNumberTheFrameCannotHold_data();
    void serialNumberTheFrameCannotHold();
    void serialNumberForAFrameThatLeft();
    void plugEventDuringThePrompt_data();
    void plugEventDuringThePrompt();
    void arrivalWholeBeforeItsPrompt();
    void replayOfASavedLog_data();
    void replayOfASavedLog();
    void closeRule();
    void printScreen_data();
    void printScreen();
    void failedFirstTest_data();
    void failedFirstTest();
    void drawWindowAndTeardown();
    void swapWhileTheUploadAsks();
    void plugDuringTheOpenDialog();
    void swapDuringANestedLoop_data();
    void swapDuringANestedLoop();
};

void TestTestRunFlow::initTestCase()
{
    InitStationResources();
    CTestViewStation::WriteParameterTable("********,SupportRealTimeTest:1\n");
}

void TestTestRunFlow::init()
{
    Settings()->clear();
    Settings()->SetBool("SupportSNCheck", false);
    Settings()->SetBool("DefaultJumpToDraw", false);
    Settings()->SetBool("DefaultTouchEnable", true);
    Settings()->SetBool("FirmwareCheckEnable", false);
    Settings()->SetBool("SNChecksumCheckEnable", false);
    Settings()->SetBool("SupportRealTimeTest", true);
}

void TestTestRunFlow::plugWithTheViewOpen_data()
{
    QTest::addColumn<bool>("touchEnable");
    QTest::newRow("touch on") << true;
    QTest::newRow("touch off") << false;
}

// The view is open without a frame; the frame arrives: the prompt, the touch
// task and the test, the buttons off and the notice while it runs; its
// result builds the pages and starts the refresh.
void TestTestRunFlow::plugWithTheViewOpen()
{
    QFETCH(bool, touchEnable);
    Settings()->SetBool("SupportSNCheck", true);
    Settings()->SetBool("DisableDrawWhenFail", true);
    Settings()->SetBool("DefaultTouchEnable", touchEnable);

    CTestViewStation station;
    QVERIFY(station.Start());
    station.OpenView();
    VeloraTestView* pView = station.view;
    QCOMPARE(pView->NoticeLabel()->text(), QStringLiteral("There is no device inserted, Please insert device!"));

    CModalBoxAnswerer boxes;
    boxes.AnswerInput("SN-0042");
    CRunLogCapture log;
    QSignalSpy status(pView, &VeloraTestView::emitSignalTestStatus);
    // The test waits for the device mutex: the run is seen before its result.
    std::unique_ptr<CMutexHolder> pHold;
    boxes.OnShown([&](const CModalBoxAnswerer::SBox&) {
        if (!pHold)
            pHold = std::make_unique<CMutexHolder>(station.work->GetDeviceMutex());
    });
    station.AddFrame().usb->Plug();
    QVERIFY(StationTest::WaitFor([&] { return pView->IsTestRunning(); }));
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).title, QStringLiteral("Scan serial number..."));
    QCOMPARE(boxes.boxes.at(0).text, QStringLiteral("Please scan or input product serial number."));
    QCOMPARE(pView->ScannedSerialNumber(), QStringLiteral("SN-0042"));
    QCOMPARE(EnabledRunButtons(pView), 0);
    QVERIFY(pView->NoticeLabel()->isVisible());
    QCOMPARE(pView->NoticeLabel()->text(), QStringLiteral("A Device is discovered, Now initializing and testing..."));
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toBool(), true);
    QVERIFY(!pView->TimerThread()->isRunning());
    pHold.reset();

    QVERIFY(WaitForResult(pView));
    const QStringList tasks = Tasks(station, log);
    const int nTouch = tasks.indexOf(touchEnable ? "EnableTouch" : "DisableTouch");
    QVERIFY2(nTouch >= 0 && tasks.indexOf("StartTestOnce") == nTouch + 1, qPrintable(tasks.join(",")));
    QVERIFY(!tasks.contains(touchEnable ? "DisableTouch" : "EnableTouch"));
    QCOMPARE(pView->IsTouchEnabled(), touchEnable);

    QVERIFY(!pView->NoticeLabel()->isVisible());
    QVERIFY(pView->PanelView());
    QCOMPARE(pView->HistogramViews().keys(), (QList<QString>{"X", "Y"}));
    QVERIFY(pView->TimerThread()->isRunning());
    QCOMPARE(pView->TimerThread()->Interval(), 10);
    QVERIFY(pView->IsRefreshRunning());
    // The frame's batch information is not the number scanned: the signal
    // test passes, the serial-number check does not, and the draw test is off.
    QCOMPARE(EnabledRunButtons(pView), 6);
    QVERIFY(!Child<QToolButton>(pView, "drawButton")->isEnabled());
    QCOMPARE(ResultCell(pView, 0, 0), QStringLiteral("NG"));
    QVERIFY(log.Contains("ShowTestResult : NG PASS"));
}

// A second start while a run is open, a start without a source, and a start
// without the prompt.
void TestTestRunFlow::startsThatChangeNothing()
{
    {
        // No frame: torn down, nothing posted.
        CTestViewStation station;
        QVERIFY(station.Start());
        CRunLogCapture log;
        station.OpenView();
        QVERIFY(Tasks(station, log).isEmpty());
        QVERIFY(log.Contains("DeInitTestUi..."));
        QCOMPARE(ResultCell(station.view, 0, 0), QStringLiteral("Unknown..."));
    }

    Settings()->SetBool("SupportSNCheck", true);
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    CModalBoxAnswerer boxes;
    boxes.AnswerInput("FIRST");
    station.OpenView();
    VeloraTestView* pView = station.view;
    QVERIFY(WaitForResult(pView));
    station.rig.Settle();

    // The run is open: a second start is refused and changes nothing.
    CRunLogCapture log;
    const QString before = ResultCell(pView, 0, 0);
    pView->StartTest();
    QVERIFY(log.Contains("StartTest : test mutex is fail"));
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(ResultCell(pView, 0, 0), before);
    QVERIFY(pView->PanelView());
    QVERIFY(Tasks(station, log).isEmpty());

    // Closed and opened again without the prompt: the earlier number stays.
    QVERIFY(pView->close());
    Settings()->SetBool("SupportSNCheck", false);
    station.OpenView();
    QVERIFY(WaitForResult(pView));
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(pView->ScannedSerialNumber(), QStringLiteral("FIRST"));
}

// A frame in its bootloader: the notice, and no test.
void TestTestRunFlow::bootloaderFrame()
{
    CTestViewStation station;
    QVERIFY(station.Start());
    station.OpenView();
    CRunLogCapture log;
    CStationRig::SFrameOptions options;
    options.mode = CEmulatedFrame::Mode::Bootloader;
    station.AddFrame(options).usb->Plug();
    QVERIFY(StationTest::WaitFor(
        [&] { return station.view->NoticeLabel()->text() == "Touch In Bootloader,Please upgrade the firmware..."; }));
    QVERIFY(station.view->NoticeLabel()->isVisible());
    const QStringList tasks = Tasks(station, log);
    QVERIFY(!tasks.contains("StartTestOnce"));
    QVERIFY(!tasks.contains("EnableTouch"));
    QVERIFY(!station.view->IsTestRunning());
    QVERIFY(!station.view->TimerThread()->isRunning());
    QVERIFY(station.Screenshot("testrun-bootloader-1115x741.png", QSize(1115, 741)));
}

// Of two frames the current one leaves: a teardown, then a run on the
// other. The last one leaves: the run ends without the LED task.
void TestTestRunFlow::framesLeaving()
{
    CTestViewStation station;
    station.AddFrame();
    CStationRig::SFrameOptions second;
    second.serial = "second";
    station.AddFrame(second);
    QVERIFY(station.Start());
    station.OpenView();
    VeloraTestView* pView = station.view;
    QVERIFY(WaitForResult(pView));
    station.rig.Settle();

    CRunLogCapture log;
    QSignalSpy status(pView, &VeloraTestView::emitSignalTestStatus);
    const QString current = station.work->GetUsbPort()->GetDeviceNameList().value(0);
    const int nCurrent = current.contains("second") ? 1 : 0;
    station.rig.Frame(nCurrent).usb->Unplug();
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("InsertUsbDeviceForTest : Count = 1 run DeInitTestUi"); }));
    QVERIFY(StationTest::WaitFor([&] { return log.Count("ShowTestResult : PASS PASS") == 1; }));
    QVERIFY(WaitForResult(pView));
    QVERIFY(Tasks(station, log).contains("StartTestOnce"));
    QVERIFY(pView->TimerThread()->isRunning());

    log.Clear();
    station.rig.Frame(1 - nCurrent).usb->Unplug();
    QVERIFY(StationTest::WaitFor([&] { return status.count() > 0 && !status.last().at(0).toBool(); }));
    QVERIFY(!pView->IsSourcePresent());
    QVERIFY(StationTest::WaitFor([&] { return !pView->TimerThread()->isRunning(); }));
    QCOMPARE(ResultCell(pView, 0, 0), QStringLiteral("Unknown..."));
    QCOMPARE(pView->NoticeLabel()->text(), QStringLiteral("There is no device inserted, Please insert device!"));
    QVERIFY(!Tasks(station, log).contains("CheckLedErrorOff"));
    QVERIFY(!pView->IsTestRunning());
    // The run is closed: closing posts nothing either.
    QVERIFY(pView->close());
    QVERIFY(!Tasks(station, log).contains("CheckLedErrorOff"));
}

void TestTestRunFlow::hiddenViewOnlyFollowsTheFlag()
{
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    QVERIFY(station.Start());
    VeloraTestView* pView = station.view;
    QVERIFY(!pView->isVisible());
    CRunLogCapture log;
    frame.usb->Unplug();
    QVERIFY(StationTest::WaitFor([&] { return !pView->IsSourcePresent(); }));
    frame.usb->Plug();
    QVERIFY(StationTest::WaitFor([&] { return pView->IsSourcePresent(); }));
    const QStringList tasks = Tasks(station, log);
    QVERIFY(!tasks.contains("StartTestOnce"));
    QVERIFY(!log.Contains("DeInitTestUi..."));
}

// "Modify SN code..." confirmed: the number is written to the frame, the
// window tells the operator and the frame is tested anew against it.
void TestTestRunFlow::modifiedSerialNumberRetests()
{
    Settings()->SetBool("SupportSNCheck", true);
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    CModalBoxAnswerer boxes;
    boxes.AnswerInput("OLD-NUMBER");
    station.OpenView();
    VeloraTestView* pView = station.view;
    QVERIFY(WaitForResult(pView));
    QCOMPARE(ResultCell(pView, 0, 0), QStringLiteral("NG"));
    station.rig.Settle();

    CRunLogCapture log;
    boxes.AnswerInput("NEW-NUMBER");
    boxes.Answer("Yes");
    boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        if (box.title == "Success!")
            boxes.Answer("OK");
        if (box.title == "Scan serial number...")
            boxes.AnswerInput("NEW-NUMBER");
    });
    MenuAction(pView, "Modify SN code...")->trigger();
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("DeInitTestUi..."); }));
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("ShowTestResult : PASS PASS"); }));
    QVERIFY(Tasks(station, log).contains("SaveBatchInfo"));
    bool bSuccess = false;
    for (const auto& box : boxes.boxes)
        bSuccess = bSuccess || box.title == "Success!";
    QVERIFY(bSuccess);
    QCOMPARE(ResultCell(pView, 0, 0), QStringLiteral("PASS"));
}

void TestTestRunFlow::serialNumberTheFrameCannotHold_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("refusal"); // empty: the frame takes it

    const QString kCannot = QStringLiteral("The serial number cannot be written: ");
    QTest::newRow("a character beyond 255 inside") << QStringLiteral("SN-文-7")
                                                   << kCannot + "the frame cannot hold the character \"文\".";
    QTest::newRow("a character beyond 255 first") << QStringLiteral("文1")
                                                  << kCannot + "the frame cannot hold the character \"文\".";
    QTest::newRow("beyond the 16-bit codes") << QStringLiteral("SN-\U0001F600")
                                             << kCannot + QStringLiteral("the frame cannot hold the character \"\U0001F600\".");
    QTest::newRow("61 characters") << QString(61, QLatin1Char('7'))
                                   << kCannot + "the frame holds at most 56 characters, this one has 61.";
    QTest::newRow("57 characters") << QString(57, QLatin1Char('7'))
                                   << kCannot + "the frame holds at most 56 characters, this one has 57.";
    // Codes 128 to 255 are one byte each; 56 characters fill the field.
    QTest::newRow("codes up to 255") << QStringLiteral("SN-\u00e9\u00ff-7") << QString();
    QTest::newRow("56 characters") << QString(56, QLatin1Char('5')) << QString();
}

// "Modify SN code...": a number the frame cannot hold as typed is refused,
// with the reason, before anything is sent, and the prompt comes again with
// it; one the frame holds is written, read back and the frame read anew.
void TestTestRunFlow::serialNumberTheFrameCannotHold()
{
    QFETCH(QString, number);
    QFETCH(QString, refusal);

    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    QVERIFY(WaitForResult(pView));
    station.rig.Settle();

    CRunLogCapture log;
    CModalBoxAnswerer boxes;
    boxes.AnswerInput(number);
    boxes.Answer("Yes");
    boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        // The prompt offered again is cancelled.
        if (box.title == "Warning")
            boxes.CancelInput();
        if (box.title == "Success!")
            boxes.Answer("OK");
    });
    MenuAction(pView, "Modify SN code...")->trigger();
    if (refusal.isEmpty()) {
        QVERIFY(StationTest::WaitFor([&] {
            for (const auto& box : boxes.boxes)
                if (box.title == "Success!")
                    return true;
            return false;
        }));
        QVERIFY(StationTest::WaitFor([&] { return TestViewLogs::Property(station.work, "BatchInfo") == number; }));
        station.rig.Settle();
        QCOMPARE(frame.frame.Snapshot().info.batch, number.toLatin1());
        QCOMPARE(boxes.boxes.size(), 3);
        QCOMPARE(boxes.boxes[2].text, QStringLiteral("Modify serial number success and will retest the product..."));
        return;
    }
    QVERIFY(StationTest::WaitFor([&] { return !QApplication::activeModalWidget(); }));
    QCOMPARE(boxes.boxes.size(), 3);
    QCOMPARE(boxes.boxes[0].title, QStringLiteral("Input serial number..."));
    QCOMPARE(boxes.boxes[1].title, QStringLiteral("Warning"));
    QCOMPARE(boxes.boxes[1].text, refusal);
    QCOMPARE(boxes.boxes[1].icon, QStringLiteral("Warning"));
    QCOMPARE(boxes.boxes[2].title, QStringLiteral("Input serial number..."));
    QCOMPARE(boxes.boxes[2].value, number);
    // Nothing sent, nothing changed.
    QVERIFY(!Tasks(station, log).contains("SaveBatchInfo"));
    QVERIFY(!frame.AppCommands().contains("A9 06"));
    QCOMPARE(frame.frame.Snapshot().info.batch, QByteArray("B2024-11-05"));
    QCOMPARE(TestViewLogs::Property(station.work, "BatchInfo"), QStringLiteral("B2024-11-05"));
}

// A number typed for a frame that left while the prompt was open is not
// written, and the operator is told why.
void TestTestRunFlow::serialNumberForAFrameThatLeft()
{
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    QVERIFY(WaitForResult(pView));
    station.rig.Settle();

    CRunLogCapture log;
    CModalBoxAnswerer boxes;
    boxes.AnswerInput("NEW-NUMBER");
    boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        if (box.title != "Input serial number...")
            return;
        frame.usb->Unplug();
        QVERIFY(StationTest::WaitFor([&] { return !pView->IsSourcePresent(); }));
    });
    MenuAction(pView, "Modify SN code...")->trigger();
    QVERIFY(StationTest::WaitFor([&] { return !QApplication::activeModalWidget(); }));
    QCOMPARE(boxes.boxes.size(), 2);
    QCOMPARE(boxes.boxes[1].title, QStringLiteral("Warning"));
    QCOMPARE(boxes.boxes[1].text,
             QStringLiteral("The serial number \"NEW-NUMBER\" was not written: no frame is attached."));
    QVERIFY(!Tasks(station, log).contains("SaveBatchInfo"));
    QCOMPARE(frame.frame.Snapshot().info.batch, QByteArray("B2024-11-05"));
}

void TestTestRunFlow::plugEventDuringThePrompt_data()
{
    QTest::addColumn<bool>("secondPlug");
    QTest::newRow("the frame leaves") << false;
    QTest::newRow("the frame leaves and comes back") << true;
}

// The prompt runs an event loop: a plug event there ends the run (or starts
// another); the start that opened the prompt then posts nothing.
void TestTestRunFlow::plugEventDuringThePrompt()
{
    QFETCH(bool, secondPlug);
    Settings()->SetBool("SupportSNCheck", true);
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    QVERIFY(station.Start());

    CModalBoxAnswerer boxes;
    CRunLogCapture log;
    int nPrompts = 0;
    boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        if (box.title != "Scan serial number...")
            return;
        ++nPrompts;
        if (nPrompts == 1) {
            frame.usb->Unplug();
            StationTest::WaitFor([&] { return !station.view->IsSourcePresent(); });
            if (secondPlug) {
                // The run it starts asks nothing (a prompt in the prompt
                // would wait for this one).
                Settings()->SetBool("SupportSNCheck", false);
                frame.usb->Plug();
                StationTest::WaitFor([&] { return station.view->IsTestRunning(); });
            }
        }
        boxes.AnswerInput("N");
    });
    station.OpenView();
    VeloraTestView* pView = station.view;
    QVERIFY(StationTest::WaitFor([&] { return nPrompts >= 1 && !QApplication::activeModalWidget(); }));
    station.rig.Settle();
    if (secondPlug) {
        QVERIFY(WaitForResult(pView));
        QCOMPARE(Tasks(station, log).count("StartTestOnce"), 1);
        QCOMPARE(log.Count("ShowTestResult :"), 1);
    } else {
        QVERIFY(!Tasks(station, log).contains("StartTestOnce"));
        QVERIFY(!Tasks(station, log).contains("EnableTouch"));
        QVERIFY(!pView->IsTestRunning());
        QCOMPARE(EnabledRunButtons(pView), 7 - 3);
    }
    QVERIFY(log.Contains("ScanSerialNumber : the run and the frame changed during the serial number prompt"));
}

// A frame plugged with the view open: the arrival reaches the upgrade view
// and the main window before the run's prompt opens. The frame leaves while
// the prompt is open: afterwards every part holds it as gone, none acts on
// the arrival the prompt came from.
void TestTestRunFlow::arrivalWholeBeforeItsPrompt()
{
    Settings()->SetBool("SupportSNCheck", true);
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    CModalBoxAnswerer boxes;
    boxes.AnswerInput("N");
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    QVERIFY(WaitForResult(pView));
    auto* pUpgradeView = station.window->findChild<VeloraUpgradeView*>();
    QVERIFY(pUpgradeView);
    auto* pUpgradeTouch = Child<QToolButton>(pUpgradeView, "touchEnToolButton");
    auto* pWindowTouch = Child<QToolButton>(station.window, "touchEnToolButton");
    auto* pNotice = Child<QLabel>(station.window, "noticeLabel");
    frame.usb->Unplug();
    QVERIFY(StationTest::WaitFor([&] { return !pView->IsSourcePresent() && pNotice->isVisible(); }));
    station.rig.Settle();

    CRunLogCapture log;
    bool bWholeBeforePrompt = false;
    bool bLeft = false;
    boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        if (box.title != "Scan serial number..." || bLeft)
            return;
        bWholeBeforePrompt = pUpgradeTouch->isEnabledTo(pUpgradeView) && pWindowTouch->isEnabledTo(pWindowTouch->parentWidget());
        frame.usb->Unplug();
        bLeft = StationTest::WaitFor([&] { return !pView->IsSourcePresent() && pNotice->isVisible(); });
    });
    frame.usb->Plug();
    QVERIFY(StationTest::WaitFor([&] { return bLeft && !QApplication::activeModalWidget(); }));
    station.rig.Settle();
    CStationRig::Flush();
    QVERIFY(bWholeBeforePrompt);

    QCOMPARE(pNotice->text(), QStringLiteral("There is no device inserted, Please insert device!"));
    QVERIFY(pNotice->isVisible());
    QVERIFY(!pWindowTouch->isEnabledTo(pWindowTouch->parentWidget()));
    QVERIFY(!pUpgradeTouch->isEnabledTo(pUpgradeView));
    const QStringList upgradeEvents = log.Lines().filter("InsertUsbDeviceForUpgrade : value =");
    QVERIFY2(!upgradeEvents.isEmpty() && upgradeEvents.last().endsWith("false"), qPrintable(upgradeEvents.join('\n')));
    QVERIFY(!pView->IsSourcePresent());
    QVERIFY(!pView->IsTestRunning());
    QVERIFY(!Tasks(station, log).contains("StartTestOnce"));
    QVERIFY(log.Contains("ScanSerialNumber : the run and the frame changed during the serial number prompt"));
}

// A log saved from the plugged frame with a failed serial interface is
// replayed through the view; frames plugged meanwhile are asked about.
void TestTestRunFlow::replayOfASavedLog_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("overall");
    QTest::addColumn<uint>("serialWord");
    QTest::addColumn<bool>("replug");
    QTest::newRow("Com Test NG, then frames plugged") << "Com Test" << "NG" << "NG" << 0x80000001u << true;
    QTest::newRow("Com Test garbage") << "Com Test" << "garbage" << "NG" << 0x80000001u << false;
    QTest::newRow("Com Test PASS") << "Com Test" << "PASS" << "PASS" << 0u << false;
    QTest::newRow("D-Usb Test NG") << "D-Usb Test" << "NG" << "NG" << 0u << false;
    QTest::newRow("no name") << "" << "NG" << "PASS" << 0u << false;
}

void TestTestRunFlow::replayOfASavedLog()
{
    QFETCH(QString, name);
    QFETCH(QString, result);
    QFETCH(QString, overall);
    QFETCH(uint, serialWord);
    QFETCH(bool, replug);
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    station.OpenView();
    VeloraTestView* pView = station.view;
    QVERIFY(WaitForResult(pView));
    station.rig.Settle();
    const QString path = QDir::current().absoluteFilePath("replayed.xml");
    {
        QMutexLocker lock(station.work->GetDeviceMutex());
        CTouchBase* pDevice = station.work->GetTouchDevice();
        pDevice->SetInterfaceTestResult(qMakePair(name, result));
        QCOMPARE(pDevice->SaveXml(path), 0);
        pDevice->ClearInterfaceTestResult();
    }

    CRunLogCapture log;
    pView->SetLogFilePathForTest(path);
    QVERIFY(station.work->PostTask("OpenTestLog", Qt::AutoConnection, pView));
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("ShowTestResult : " + overall + " PASS"); }));
    QCOMPARE(station.work->GetDeviceKind(), HandleWork::DeviceKind::Replay);
    QTableWidget* pTable = Child<QTableWidget>(pView, "testResult");
    QCOMPARE(ResultCell(pView, 0, 0), overall);
    QStringList rows;
    for (int r = 1; r < pTable->rowCount(); ++r)
        rows << ResultCell(pView, r, 0) + "=" + ResultCell(pView, r, 1);
    QStringList expected{"Signal Test=PASS"};
    if (!name.isEmpty())
        expected.prepend(name + "=" + result);
    QCOMPARE(rows, expected);
    if (!name.isEmpty())
        QCOMPARE(pTable->item(1, 1)->foreground().color(), result == "PASS" ? QColor(Qt::darkGreen) : QColor(Qt::red));
    QCOMPARE(pView->SerialResultWord(), uint32_t(serialWord));
    QCOMPARE(pView->SecondUsbResultWord(), uint32_t(name == "D-Usb Test" ? 0x80000001u : 0u));
    for (const char* szName : {"touchEnTestButton", "retestTestButton", "startTestButton"})
        QVERIFY2(!Child<QToolButton>(pView, szName)->isEnabled(), szName);
    if (!replug)
        return;

    // Plugged again in its bootloader, not opened: the replay stays.
    CModalBoxAnswerer boxes;
    boxes.Answer("No");
    station.rig.Frame().usb->Unplug();
    QVERIFY(station.rig.WaitForDevices(0));
    station.rig.Frame().frame.SetMode(CEmulatedFrame::Mode::Bootloader);
    station.rig.Frame().usb->Plug();
    QVERIFY(StationTest::WaitFor([&] { return !boxes.boxes.isEmpty(); }));
    station.rig.Settle();
    CStationRig::Flush();
    QCOMPARE(station.work->GetDeviceKind(), HandleWork::DeviceKind::Replay);
    QCOMPARE(ResultCell(pView, 1, 0), QStringLiteral("Com Test"));

    // In its application: opened, and its run passes.
    log.Clear();
    boxes.Answer("Yes");
    station.rig.Frame().usb->Unplug();
    QVERIFY(station.rig.WaitForDevices(0));
    station.rig.Frame().frame.SetMode(CEmulatedFrame::Mode::Application);
    station.rig.Frame().usb->Plug();
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("ShowTestResult : PASS PASS"); }));
    QCOMPARE(station.work->GetDeviceKind(), HandleWork::DeviceKind::Live);
    QCOMPARE(pView->SerialResultWord(), 0u);
}

// Escape and closing during a test are refused with the warning; after the
// run closing switches the LED check off and hands the work type back.
void TestTestRunFlow::closeRule()
{
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    CModalBoxAnswerer boxes;
    boxes.Answer("OK");
    std::unique_ptr<CMutexHolder> pHold = std::make_unique<CMutexHolder>(station.work->GetDeviceMutex());
    station.OpenView();
    VeloraTestView* pView = station.view;
    QVERIFY(pView->IsTestRunning());
    QTest::keyClick(pView, Qt::Key_Escape);
    QVERIFY(!pView->close());
    QVERIFY(pView->isVisible());
    QCOMPARE(boxes.boxes.size(), 2);
    for (const auto& box : boxes.boxes) {
        QCOMPARE(box.title, QStringLiteral("Warning"));
        QCOMPARE(box.text, QStringLiteral("A test operation is in progress, please wait for the test to complete!"));
    }
    pHold.reset();
    QVERIFY(WaitForResult(pView));
    station.rig.Settle();

    CRunLogCapture log;
    QSignalSpy handedOver(pView, &VeloraTestView::emitWorkType);
    Child<QToolButton>(pView, "exitTestButton")->click();
    QVERIFY(!pView->isVisible());
    // Blocking: the task has run when the click returns.
    QVERIFY(log.Tasks().contains("CheckLedErrorOff"));
    QCOMPARE(handedOver.count(), 1);
    QCOMPARE(handedOver.at(0).at(0).value<eWorkType>(), MAINWORK);
    QCOMPARE(station.window->GetWorkType(), MAINWORK);
}

void TestTestRunFlow::printScreen_data()
{
    QTest::addColumn<bool>("folderIsAFile");
    QTest::newRow("saved") << false;
    QTest::newRow("Pictures a file") << true;
}

void TestTestRunFlow::printScreen()
{
    QFETCH(bool, folderIsAFile);
    CScopedWorkDir work;
    CTestViewStation station;
    QVERIFY(station.Start());
    station.OpenView();
    if (folderIsAFile) {
        QFile file("Pictures");
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    CTestEnvironment::FixLocalTime(QDateTime(QDate(2024, 3, 15), QTime(14, 5, 9, 123)));
    CRunLogCapture log;
    MenuAction(station.view, "Print screen...")->trigger();
    CTestEnvironment::RealClock();
    const QString path = "Pictures/20240315_14-05-09_123.jpg";
    if (folderIsAFile) {
        QVERIFY(!QFileInfo(path).exists());
        QCOMPARE(log.Lines(QtWarningMsg).filter("Screenshot not saved").size(), 1);
        return;
    }
    QImage image(path, "JPG");
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), station.view->size());
    QVERIFY(log.Lines(QtWarningMsg).isEmpty());
}

void TestTestRunFlow::failedFirstTest_data()
{
    QTest::addColumn<QString>("failure");
    QTest::newRow("time-out, box cancelled") << "timeout";
    QTest::newRow("failure told without a box") << "silent";
    // The frame answers every signal chunk with a status reply. A chunk takes
    // only its data reply: the status is passed over like any other report,
    // and the read ends as a time-out, with the error rule's box.
    QTest::newRow("status reply to the signal read, box cancelled") << "status";
}

// The first test does not reach its result: the view is the operator's
// again, the run stays open (closing switches the LED check off), nothing
// refreshes. After a teardown the same call-back changes nothing.
void TestTestRunFlow::failedFirstTest()
{
    QFETCH(QString, failure);
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    QVERIFY(station.Start());
    CModalBoxAnswerer boxes;
    boxes.Answer("Cancel");
    CRunLogCapture log;
    VeloraTestView* pView = station.view;
    std::unique_ptr<CMutexHolder> pHold;
    if (failure == "timeout") {
        CTestEnvironment::FastClock(0.001);
        frame.frame.SetFault(0xA5, 0x01, CEmulatedFrame::Silent());
    } else if (failure == "status") {
        // Signal chunks only: the ready poll (A5 01 FF) is answered as ever.
        frame.frame.AddHandler(
            0xA5, 0x01, [](CEmulatedFrame& f, const QByteArray& q, QList<CEmulatedFrame::Action>* pA) {
                if (CEmulatedFrame::Byte(q, 5) == 0xFF)
                    return false;
                CEmulatedFrame::Action reply;
                reply.report = CEmulatedFrame::Pad64(f.StatusReplyFor(0xA5, 0x01, 0x83));
                pA->append(reply);
                return true;
            });
    } else {
        // The test waits while the view is told of a failure with no box of
        // its own, as the dispatcher tells it for a run without a device
        // object (which never meets a testing view in the station).
        pHold = std::make_unique<CMutexHolder>(station.work->GetDeviceMutex());
    }
    station.OpenView();
    if (pHold) {
        QVERIFY(pView->IsTestRunning());
        pView->TaskFailed("StartTestOnce", int32_t(0x80000002));
    }
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("TaskFailed"); }));
    if (failure != "silent") {
        QVERIFY(StationTest::WaitFor([&] { return !boxes.boxes.isEmpty(); }));
        QVERIFY2(boxes.boxes[0].text.startsWith("The task \"StartTestOnce\" timeout"),
                 qPrintable(boxes.boxes[0].text));
    }
    if (failure == "status") {
        // The test did reach the signal read, and failed there.
        QVERIFY(log.Contains("ProcessTask :task = StartTestOnce failed"));
        bool bChunkAsked = false;
        for (const QByteArray& request : frame.frame.RequestsFor(0xA5, 0x01))
            bChunkAsked = bChunkAsked || CEmulatedFrame::Byte(request, 5) != 0xFF;
        QVERIFY(bChunkAsked);
    }
    CTestEnvironment::RealClock();
    QVERIFY(!pView->IsTestRunning());
    QCOMPARE(EnabledRunButtons(pView), 7);
    QCOMPARE(ResultCell(pView, 0, 0), QStringLiteral("Unknown..."));
    QCOMPARE(pView->NoticeLabel()->text(), QStringLiteral("Unknown..."));
    QVERIFY(pView->NoticeLabel()->isVisible());
    QVERIFY(!pView->TimerThread()->isRunning());
    QVERIFY(!log.Contains("InitTestUi"));
    QCOMPARE(boxes.boxes.size(), failure == "silent" ? 0 : 1);
    QVERIFY(station.Screenshot("testrun-failed-first-test-" + failure + ".png", QSize(1115, 741)));
    pHold.reset();
    station.rig.Settle();
    CStationRig::Flush();
    log.Clear();
    QVERIFY(pView->close());
    QVERIFY(log.Tasks().contains("CheckLedErrorOff"));
    station.window->ToggleFunction(MAINWORK);

    // After a teardown the call-back finds no test and changes nothing.
    pView->DeInitTestUi();
    const int nEnabled = EnabledRunButtons(pView);
    pView->TaskFailed("StartTestOnce", int32_t(0x80000002));
    QCOMPARE(EnabledRunButtons(pView), nEnabled);
    QCOMPARE(pView->NoticeLabel()->text(), QStringLiteral("There is no device inserted, Please insert device!"));
}

// The draw window closed by a teardown restarts no refresh; closed by the
// operator it restarts the refresh of a run. A real-time result queued just
// before a new test is dropped.
void TestTestRunFlow::drawWindowAndTeardown()
{
    Settings()->SetBool("DefaultJumpToDraw", true);
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    station.OpenView();
    VeloraTestView* pView = station.view;
    CTouchPaintView* pDraw = pView->TouchPaintView();
    QVERIFY(StationTest::WaitFor([&] { return pDraw->isVisible(); }));
    QVERIFY(WaitForResult(pView));
    QVERIFY(StationTest::WaitFor([&] { return !pView->TimerThread()->isRunning(); }));

    // The operator closes it: the refresh of the run comes back.
    pDraw->ExitResponse();
    QVERIFY(pView->TimerThread()->isRunning());

    // Opened again and active, then a teardown: no refresh.
    Child<QToolButton>(pView, "drawButton")->click();
    QVERIFY(QTest::qWaitForWindowExposed(pDraw));
    pDraw->activateWindow();
    QApplication::setActiveWindow(pDraw);
    QVERIFY(StationTest::WaitFor([&] { return pDraw->isActiveWindow(); }));
    pView->DeInitTestUi();
    QVERIFY(!pDraw->isVisible());
    QVERIFY(!pView->IsRefreshRunning());
    QVERIFY(StationTest::WaitFor([&] { return !pView->TimerThread()->isRunning(); }));
    pView->TouchPaintClose();
    QVERIFY(!pView->TimerThread()->isRunning());

    // A real-time verdict of the frame's failing reading that reaches the
    // GUI thread while a new test waits for its first result is dropped.
    CWorkerGate gate;
    QVERIFY(gate.Close(station.work));
    CRunLogCapture log;
    pView->StartTest();
    QVERIFY(pView->IsTestRunning());
    station.rig.Frame().panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.insert("Bottom:5", 0); });
    QVERIFY(pView->RefreshHistogramView());
    QVERIFY(pView->WaitingValues() > 0);
    station.rig.Frame().panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.clear(); });
    CStationRig::Flush();
    QCOMPARE(pView->WaitingValues(), 0);
    QVERIFY(pView->IsTestRunning());
    QCOMPARE(ResultCell(pView, 0, 0), QStringLiteral("Unknown..."));
    QVERIFY(log.Contains("ShowTestResult : a real-time result during a test is dropped"));
    gate.Open();
    QVERIFY(WaitForResult(pView));
    QCOMPARE(ResultCell(pView, 0, 0), QStringLiteral("PASS"));
    QCOMPARE(log.Count("ShowTestResult : PASS PASS"), 1);
}

// The upload's box runs an event loop inside the result display of run 1:
// the frame unplugged and plugged there ends run 1 and starts run 2. Once the
// box is answered, run 1's display ends without touching run 2, which stays
// under test (buttons off, the view kept open) until its own result.
void TestTestRunFlow::swapWhileTheUploadAsks()
{
    CAskingUpload upload;
    CUploadTestData::SetServiceForTest(&upload);
    struct SUnset
    {
        ~SUnset() { CUploadTestData::SetServiceForTest(nullptr); }
    } unset;
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    QVERIFY(station.Start());
    VeloraTestView* pView = station.view;

    CWorkerGate gate;
    CModalBoxAnswerer boxes;
    boxes.Answer("Cancel");
    bool bSwapped = false;
    boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        if (box.title != "Upload" || bSwapped)
            return;
        frame.usb->Unplug();
        if (!StationTest::WaitFor([&] { return !pView->IsSourcePresent(); }) || !gate.Close(station.work))
            return;
        frame.usb->Plug();
        bSwapped = StationTest::WaitFor([&] { return pView->IsTestRunning(); });
    });
    CRunLogCapture log;
    station.OpenView();
    QVERIFY(StationTest::WaitFor([&] { return bSwapped && !QApplication::activeModalWidget(); }));
    CStationRig::Flush();

    // Run 2 waits for its test, held behind the gate.
    QVERIFY(pView->IsTestRunning());
    QCOMPARE(EnabledRunButtons(pView), 0);
    QCOMPARE(ResultCell(pView, 0, 0), QStringLiteral("Unknown..."));
    QVERIFY(!pView->close());
    QVERIFY(pView->isVisible());
    gate.Open();
    QVERIFY(WaitForResult(pView));
    QCOMPARE(log.Count("ShowTestResult : PASS PASS"), 2);
    QCOMPARE(upload.nRecords, 2);
    QCOMPARE(EnabledRunButtons(pView), 7);
}

// The open dialog runs an event loop: the frame plugged there starts a run,
// whose test waits until the dialog has closed. The log chosen wins: that run
// ends as the last unplug ends one (the frame's LED check off, the dispatcher
// told it is over), its late first result is dropped, and the one result
// shown and filed is the replay's.
void TestTestRunFlow::plugDuringTheOpenDialog()
{
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    // The log holds a dead emitter; the frame is healthy when it comes back.
    frame.panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.insert("Bottom:5", 0); });
    QVERIFY(station.Start());
    VeloraTestView* pView = station.view;
    const QSet<QString> filedBefore = FiledLogs();
    QVERIFY(station.Run("StartTestOnce"));
    const QString path = pView->SaveLogDataAuto(false);
    QVERIFY(!path.isEmpty());
    frame.panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.remove("Bottom:5"); });
    frame.usb->Unplug();
    QVERIFY(station.rig.WaitForDevices(0));
    station.OpenView();
    station.rig.Settle();
    QVERIFY(!pView->IsSourcePresent());

    CWorkerGate gate;
    CModalBoxAnswerer boxes;
    boxes.AnswerFile(path);
    bool bPlugged = false;
    QSignalSpy status(pView, &VeloraTestView::emitSignalTestStatus);
    boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        if (box.kind != CModalBoxAnswerer::EKind::File || bPlugged)
            return;
        auto* pDialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!pDialog || !gate.Close(station.work))
            return;
        QObject::connect(pDialog, &QDialog::finished, pView, [&gate] { gate.Open(); });
        frame.usb->Plug();
        bPlugged = StationTest::WaitFor([&] { return pView->IsTestRunning(); });
    });
    CRunLogCapture log;
    TestViewLogs::ViewAction(pView, "Open log file...")->trigger();
    QVERIFY(bPlugged);
    QVERIFY(TestViewLogs::WaitForReplayOf(station.work, path));
    QVERIFY(StationTest::WaitFor([&] { return !Results(log).isEmpty(); }));
    station.rig.Settle();
    CStationRig::Flush();

    QCOMPARE(Results(log), QStringList{"ShowTestResult : NG NG2"});
    QCOMPARE(ResultCell(pView, 0, 0), QStringLiteral("NG"));
    QCOMPARE(station.work->GetDeviceKind(), HandleWork::DeviceKind::Replay);
    QVERIFY(log.Contains("openLogResponse : the run on the frame plugged during the open dialog ends"));
    QVERIFY(log.Contains("InitTestUi : the answer to StartTestOnce belongs to a run that is no longer open"));
    // Ended as the last unplug ends a run.
    const QStringList tasks = Tasks(station, log);
    QVERIFY2(tasks.contains("CheckLedErrorOff") && tasks.indexOf("CheckLedErrorOff") < tasks.indexOf("OpenTestLog"),
             qPrintable(tasks.join(",")));
    QCOMPARE(status.count(), 2);
    QCOMPARE(status.at(0).at(0).toBool(), true);
    QCOMPARE(status.at(1).at(0).toBool(), false);
    // The dropped run filed no log of its own.
    QCOMPARE(FiledLogs() - filedBefore, QSet<QString>{path});
    QVERIFY(!pView->IsTestRunning());
}

void TestTestRunFlow::swapDuringANestedLoop_data()
{
    QTest::addColumn<QString>("loop");
    QTest::newRow("Modify SN, the number's prompt") << "modify-input";
    QTest::newRow("Modify SN, the question") << "modify-question";
    QTest::newRow("the retest question") << "retest-question";
    QTest::newRow("Set...") << "set-up";
    QTest::newRow("the serial-number prompt after Set...") << "set-up-prompt";
    QTest::newRow("a retest under way") << "retest-answer";
}

// Frame A's run is open; frame B takes its place while a dialog, box or
// prompt of the view runs its event loop (or while a retest of A waits for
// the worker). What A's run was doing there is dropped: no number written to
// B, no retest or table of A's, no answer meant for A's run taken by B's.
// B's run goes on to its own one result.
void TestTestRunFlow::swapDuringANestedLoop()
{
    QFETCH(QString, loop);
    Settings()->SetBool("SupportSNCheck", loop == "set-up-prompt");
    CTestViewStation station;
    CStationRig::SFrame& frameA = station.AddFrame();
    frameA.frame.Edit([](CEmulatedFrame::State& s) { s.info.batch = "A-BATCH"; });
    CModalBoxAnswerer boxes;
    boxes.AnswerInput("A-BATCH");
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    QVERIFY(WaitForResult(pView));
    QCOMPARE(ResultCell(pView, 0, 0), QStringLiteral("PASS"));
    CStationRig::SFrameOptions second;
    second.serial = "second";
    CStationRig::SFrame& frameB = station.rig.AddFrame(second);
    frameB.frame.Edit([](CEmulatedFrame::State& s) { s.info.batch = "B-BATCH"; });

    QSignalSpy status(pView, &VeloraTestView::emitSignalTestStatus);
    auto runsBegun = [&status] {
        int n = 0;
        for (const QList<QVariant>& args : status)
            n += args.at(0).toBool() ? 1 : 0;
        return n;
    };
    // A leaves (its run ends), B comes (its run begins).
    bool bSwapped = false;
    auto swap = [&] {
        if (bSwapped)
            return;
        frameA.usb->Unplug();
        if (!StationTest::WaitFor([&] { return !pView->IsSourcePresent(); }))
            return;
        frameB.usb->Plug();
        bSwapped = StationTest::WaitFor([&] { return runsBegun() == 1; });
    };
    CWorkerGate gate;
    CWorkerGate gateB;
    CRunLogCapture log;
    boxes.Answer("Yes");
    if (loop == "modify-input" || loop == "modify-question") {
        boxes.AnswerInput("NEW-NUMBER");
        const QString title = loop == "modify-input" ? "Input serial number..." : "Check serial number again...";
        boxes.OnShown([&, title](const CModalBoxAnswerer::SBox& box) {
            if (box.title == title)
                swap();
        });
        TestViewLogs::ViewAction(pView, "Modify SN code...")->trigger();
    } else if (loop == "retest-question") {
        // Recording (the record clock is left out): the retest asks first.
        // The recording is over by the time A leaves (no save dialog in the
        // box: none would be answered while the box is being answered).
        QAction* pRecord = TestViewLogs::ViewAction(pView, "Record Data...");
        {
            const QSignalBlocker blocker(pRecord);
            pRecord->setChecked(true);
        }
        boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
            if (box.text != "Retesting will clear the data recorded, Do you want to continue?")
                return;
            {
                const QSignalBlocker blocker(pRecord);
                pRecord->setChecked(false);
            }
            swap();
        });
        Child<QToolButton>(pView, "retestTestButton")->click();
    } else if (loop == "set-up") {
        boxes.ScriptDialog({[&](QDialog*) { swap(); }, [](QDialog* pDialog) { pDialog->reject(); }});
        TestViewLogs::ViewAction(pView, "Set...")->trigger();
    } else if (loop == "set-up-prompt") {
        // Without a source "Set..." asks for the next frame's number; B comes
        // during that prompt and asks for its own (answered "B-BATCH").
        frameA.usb->Unplug();
        QVERIFY(StationTest::WaitFor([&] { return !pView->IsSourcePresent(); }));
        station.rig.Settle();
        // B is plugged from the prompt's own event loop, where B's prompt
        // can be answered in turn; the first prompt is answered meanwhile.
        boxes.AnswerDialog(false);
        int nPrompts = 0;
        boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
            if (box.title != "Scan serial number...")
                return;
            if (++nPrompts > 1) {
                boxes.AnswerInput("B-BATCH");
                return;
            }
            boxes.AnswerInput("STALE");
            QTimer::singleShot(0, pView, [&] {
                frameB.usb->Plug();
                bSwapped = StationTest::WaitFor([&] { return runsBegun() == 1; });
            });
        });
        TestViewLogs::ViewAction(pView, "Set...")->trigger();
    } else {
        // A's retest waits for the worker while A goes and B comes; a second
        // gate holds B's test back until A's retest has been answered.
        QVERIFY(gate.Close(station.work));
        Child<QToolButton>(pView, "retestTestButton")->click();
        QVERIFY(gateB.Post(station.work, "SetTAgc"));
        swap();
        QVERIFY(bSwapped);
        gate.Open();
        QVERIFY(StationTest::WaitFor([&] { return gateB.IsWaiting(); }));
        CStationRig::Flush();
        QVERIFY(log.Contains("the answer to ReTest belongs to a run that is no longer open"));
        // B's run is still waiting for its test, untouched.
        QVERIFY(pView->IsTestRunning());
        QCOMPARE(EnabledRunButtons(pView), 0);
        QCOMPARE(ResultCell(pView, 0, 0), QStringLiteral("Unknown..."));
        gateB.Open();
    }
    QVERIFY(bSwapped);
    QVERIFY(StationTest::WaitFor([&] { return !QApplication::activeModalWidget(); }));
    QVERIFY(StationTest::WaitFor([&] { return !Results(log).isEmpty() && !pView->IsTestRunning(); }));
    station.rig.Settle();
    CStationRig::Flush();

    // B's own result, once; nothing of A's run done after the swap.
    QCOMPARE(Results(log).size(), 1);
    QCOMPARE(ResultCell(pView, 0, 0), QStringLiteral("PASS"));
    QCOMPARE(TestViewLogs::Property(station.work, "BatchInfo"), QStringLiteral("B-BATCH"));
    QCOMPARE(frameB.frame.Snapshot().info.batch, QByteArray("B-BATCH"));
    const QStringList tasks = Tasks(station, log);
    QVERIFY2(!tasks.contains("SaveBatchInfo"), qPrintable(tasks.join(",")));
    QVERIFY2(!tasks.contains("UpdateTestResult"), qPrintable(tasks.join(",")));
    QCOMPARE(tasks.count("ReTest"), loop == "retest-answer" ? 1 : 0);
    // The number typed for A is not written, and the operator is told why.
    if (loop == "modify-input" || loop == "modify-question") {
        QStringList told;
        for (const CModalBoxAnswerer::SBox& box : boxes.boxes)
            if (box.text.startsWith(QLatin1String("The serial number \"NEW-NUMBER\"")))
                told << box.text;
        QCOMPARE(told, QStringList{"The serial number \"NEW-NUMBER\" was not written: the frame changed while it "
                                   "was entered."});
    }
    if (loop == "set-up-prompt")
        QCOMPARE(pView->ScannedSerialNumber(), QStringLiteral("B-BATCH"));
    QCOMPARE(runsBegun(), 1);
}

STATION_TEST_MAIN(TestTestRunFlow)
#include "tst_testrunflow.moc"
