// The main road of a run from the plug to the replay: the real main window
// over an emulated frame, the serial-number prompt, the test, the verdict,
// the log filed under "Data" and the one record handed to the upload; that
// log opened again gives the same verdict, rows and diagram. Then what a
// settings change and a retest file, and the recording that the last unplug
// ends. Screenshots go to the test-output folder.

#include "emulatedprofile.h"
#include "modalboxanswerer.h"
#include "panellooks.h"
#include "recorddialog.h"
#include "runlogcapture.h"
#include "stationresources.h"
#include "testrecord.h"
#include "testviewlogs.h"
#include "testviewstation.h"
#include "timerthread.h"
#include "touchlogfile.h"
#include "uploadservice.h"
#include "uploadtestdata.h"

#include <QAction>
#include <QDirIterator>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {
using namespace TestViewLogs;

const QDateTime kRunTime(QDate(2026, 12, 5), QTime(14, 3, 7, 250));

QString Property(CTestViewStation& station, const QString& name)
{
    return TestViewLogs::Property(station.work, name);
}

// Every log filed under "Data".
QStringList FiledLogs()
{
    QStringList logs;
    QDirIterator it(QStringLiteral("Data"), {QStringLiteral("*.xml")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        logs << QFileInfo(it.next()).absoluteFilePath();
    logs.sort();
    return logs;
}

// The result table by row: "overall" for the first, then name: verdict (or
// LED: readings).
QMap<QString, QString> ResultRows(VeloraTestView* pView)
{
    auto* pTable = Child<QTableWidget>(pView, "testResult");
    QMap<QString, QString> rows;
    for (int r = 0; r < pTable->rowCount(); ++r) {
        const QTableWidgetItem* pName = pTable->item(r, 0);
        const QTableWidgetItem* pValue = pTable->item(r, 1);
        if (r == 0)
            rows.insert(QStringLiteral("overall"), pName ? pName->text() : QString());
        else if (pName)
            rows.insert(pName->text(), pValue ? pValue->text() : QString());
    }
    return rows;
}

// The refresh stopped and everything it handed over shown.
void Pause(CTestViewStation& station)
{
    station.view->StopRefresh();
    QVERIFY(StationTest::WaitFor([&] { return !station.view->TimerThread()->isRunning(); }));
    station.rig.Settle();
    CStationRig::Flush();
}

bool WaitForReplayOf(CTestViewStation& station, const QString& path)
{
    return TestViewLogs::WaitForReplayOf(station.work, path);
}

uint32_t FrameNumber(CTestViewStation& station)
{
    return TestViewLogs::FrameNumber(station.work);
}
} // namespace

class TestTestViewEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void mainRoad_data();
    void mainRoad();
    void emptyScan_data();
    void emptyScan();
    void settingsAndRetest();
    void pausedReplaySteps();
    void lastUnplugEndsARecording();

private:
    std::unique_ptr<CScopedWorkDir> m_pWorkDir;
    CRecordingUpload m_upload;
};

void TestTestViewEndToEnd::initTestCase()
{
    InitStationResources();
}

void TestTestViewEndToEnd::init()
{
    Settings()->clear();
    Settings()->SetBool("DefaultJumpToDraw", false);
    m_pWorkDir = std::make_unique<CScopedWorkDir>();
    m_upload.records.clear();
    CUploadTestData::SetServiceForTest(&m_upload);
    CTestEnvironment::FixLocalTime(kRunTime);
}

void TestTestViewEndToEnd::cleanup()
{
    CUploadTestData::SetServiceForTest(nullptr);
    CTestEnvironment::RealClock();
    m_pWorkDir.reset();
}

void TestTestViewEndToEnd::mainRoad_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("verdict");
    QTest::newRow("healthy") << "healthy" << "_PASS.xml" << "PASS";
    QTest::newRow("dead emitter") << "dead-emitter" << "_NG.xml" << "NG2";
}

void TestTestViewEndToEnd::mainRoad()
{
    QFETCH(QString, profile);
    QFETCH(QString, suffix);
    QFETCH(QString, verdict);

    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    QVERIFY(CEmulatedProfile::Apply(profile, &frame.frame, &frame.panel));
    frame.frame.Edit([](CEmulatedFrame::State& s) {
        s.info.product = "X1";
        s.info.batch = "S9";
    });
    Settings()->SetBool("SupportSNCheck", true);
    CModalBoxAnswerer boxes;
    boxes.AnswerInput(QStringLiteral("S9"));

    // Plug, open, prompt, test.
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    QCOMPARE(boxes.boxes.value(0).title, QStringLiteral("Scan serial number..."));
    Pause(station);
    const QMap<QString, QString> live = ResultRows(pView);
    QCOMPARE(live.value("overall"), verdict == "PASS" ? QStringLiteral("PASS") : QStringLiteral("NG"));
    QCOMPARE(live.value("Signal Test"), verdict);
    QCOMPARE(live.value("SN Check"), QStringLiteral("PASS"));
    QVERIFY(pView->PanelView());
    const Looks liveLooks = PanelLooks::LooksOf(*pView->PanelView());

    // Filed under "Data" and handed over once.
    const QString expected = QDir::currentPath() + "/Data/X1/" + Property(station, "CheckSum") + "/20261205_14-03-07_250_"
                             + Property(station, "McuID") + "_S9" + suffix;
    QCOMPARE(FiledLogs(), QStringList{expected});
    QCOMPARE(m_upload.records.size(), 1);
    QCOMPARE(m_upload.records[0].GetResult(), verdict);
    QCOMPARE(m_upload.records[0].GetLogUrl(), expected.mid(QDir::currentPath().size()));
    QCOMPARE(m_upload.records[0].GetSN(), QStringLiteral("S9"));
    if (verdict != "PASS")
        QVERIFY(station.Screenshot("testview-live-ng.png", QSize(1280, 800)));

    // Replayed: the same verdict, rows and diagram; nothing filed again.
    boxes.AnswerFile(expected);
    ViewAction(pView, "Open log file...")->trigger();
    QVERIFY(WaitForReplayOf(station, expected));
    QVERIFY(StationTest::WaitFor([&] { return !pView->NoticeLabel()->isVisible(); }));
    QCOMPARE(pView->RefreshInterval(), 40);
    Pause(station);
    QMap<QString, QString> replay = ResultRows(pView);
    QMap<QString, QString> liveWithoutSn = live;
    liveWithoutSn.remove("SN Check");
    QCOMPARE(replay, liveWithoutSn);
    QCOMPARE(PanelLooks::LooksOf(*pView->PanelView()), liveLooks);
    QCOMPARE(FiledLogs(), QStringList{expected});
    QCOMPARE(m_upload.records.size(), 1);
    if (verdict != "PASS")
        QVERIFY(station.Screenshot("testview-replayed-ng.png", QSize(1280, 800)));
}

void TestTestViewEndToEnd::emptyScan_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("batchShown"); // in the filed log's name
    QTest::newRow("frame with batch information") << "healthy" << "B2024-11-05";
    QTest::newRow("frame without batch information") << "no-batch" << "UnknownBatchInfo";
}

// The serial-number prompt cancelled: nothing was compared, so "SN Check"
// and the overall line are NG whatever the frame reports, also when it
// reports no batch information at all. The log keeps its name by the signal
// test and the upload its signal verdict.
void TestTestViewEndToEnd::emptyScan()
{
    QFETCH(QString, profile);
    QFETCH(QString, batchShown);

    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    QVERIFY(CEmulatedProfile::Apply(profile, &frame.frame, &frame.panel));
    frame.frame.Edit([](CEmulatedFrame::State& s) { s.info.product = "X1"; });
    Settings()->SetBool("SupportSNCheck", true);
    CModalBoxAnswerer boxes;
    boxes.CancelInput();

    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    QCOMPARE(boxes.boxes.value(0).title, QStringLiteral("Scan serial number..."));
    QCOMPARE(pView->ScannedSerialNumber(), QString());
    Pause(station);
    const QMap<QString, QString> rows = ResultRows(pView);
    QCOMPARE(rows.value("Signal Test"), QStringLiteral("PASS"));
    QCOMPARE(rows.value("SN Check"), QStringLiteral("NG"));
    QCOMPARE(rows.value("overall"), QStringLiteral("NG"));
    auto* pTable = Child<QTableWidget>(pView, "testResult");
    QCOMPARE(pTable->item(0, 0)->foreground().color(), QColor(Qt::red));

    const QString expected = QDir::currentPath() + "/Data/X1/" + Property(station, "CheckSum") + "/20261205_14-03-07_250_"
                             + Property(station, "McuID") + "_" + batchShown + "_PASS.xml";
    QCOMPARE(FiledLogs(), QStringList{expected});
    QCOMPARE(m_upload.records.size(), 1);
    QCOMPARE(m_upload.records[0].GetResult(), QStringLiteral("PASS"));
    if (profile == QLatin1String("no-batch"))
        QVERIFY(station.Screenshot("testview-empty-scan-no-batch.png", QSize(1280, 800)));
}

void TestTestViewEndToEnd::settingsAndRetest()
{
    CTestViewStation station;
    station.AddFrame().frame.Edit([](CEmulatedFrame::State& s) { s.info.batch = "S9"; });
    Settings()->SetBool("SupportSNCheck", false);
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    Pause(station);
    QCOMPARE(m_upload.records.size(), 1);
    QCOMPARE(FiledLogs().size(), 1);
    QVERIFY(!ResultRows(pView).contains("SN Check"));

    // "Set..." with the serial-number check now on: the table has the row,
    // nothing is filed or handed over again.
    CModalBoxAnswerer boxes;
    boxes.AnswerDialog(false, {}, [](QDialog*) { Settings()->SetBool("SupportSNCheck", true); });
    CRunLogCapture log;
    ViewAction(pView, "Set...")->trigger();
    station.rig.Settle();
    QVERIFY(StationTest::WaitFor([&] { return ResultRows(pView).contains("SN Check"); }));
    QVERIFY(log.Tasks().contains("UpdateTestResult"));
    QCOMPARE(m_upload.records.size(), 1);
    QCOMPARE(FiledLogs().size(), 1);

    // A retest is a new run: filed and handed over, once.
    CTestEnvironment::FixLocalTime(kRunTime.addSecs(60));
    auto* pRetest = Child<QToolButton>(pView, "retestTestButton");
    QVERIFY(pRetest->isEnabled());
    pRetest->click();
    QVERIFY(StationTest::WaitFor([&] { return m_upload.records.size() == 2; }));
    station.rig.Settle();
    CStationRig::Flush();
    QCOMPARE(m_upload.records.size(), 2);
    const QStringList logs = FiledLogs();
    QCOMPARE(logs.size(), 2);
    QVERIFY(logs[1].contains("20261205_14-04-07_250_"));
    QCOMPARE(m_upload.records[1].GetLogUrl(), logs[1].mid(QDir::currentPath().size()));
}

void TestTestViewEndToEnd::pausedReplaySteps()
{
    CTestViewStation station;
    station.AddFrame();
    Settings()->SetBool("SupportSNCheck", false);
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    Pause(station);
    const QString path = FiledLogs().value(0);
    QVERIFY(!path.isEmpty());

    CModalBoxAnswerer boxes;
    boxes.AnswerFile(path);
    ViewAction(pView, "Open log file...")->trigger();
    QVERIFY(WaitForReplayOf(station, path));
    QVERIFY(StationTest::WaitFor([&] { return !pView->NoticeLabel()->isVisible(); }));
    Pause(station);
    uint32_t nLast = 0;
    {
        QMutexLocker lock(station.work->GetDeviceMutex());
        nLast = static_cast<CTouchLogfile*>(station.work->GetTouchDevice())->GetLastRecordNumber();
    }
    QVERIFY(nLast > 0);
    const uint32_t nPeriod = nLast + 1;

    // On the panel page each step is drawn.
    Child<QToolButton>(pView, "rectButton")->click();
    QAction* pNext = ViewAction(pView, "Next Frame...");
    QAction* pPre = ViewAction(pView, "Pre Frame...");
    CRunLogCapture log;
    for (int i = 0; i < 3; ++i) {
        const uint32_t nBefore = FrameNumber(station);
        const int nDrains = pView->DrainsPosted();
        pNext->trigger();
        station.rig.Settle();
        QCOMPARE(FrameNumber(station), (nBefore + 1) % nPeriod);
        QVERIFY(pView->DrainsPosted() > nDrains);
    }
    const uint32_t nHere = FrameNumber(station);
    pPre->trigger();
    station.rig.Settle();
    QCOMPARE(FrameNumber(station), (nHere + nPeriod - 1) % nPeriod);
    CStationRig::Flush();
    QVERIFY(station.Screenshot("testview-replay-paused-step.png", QSize(1280, 800)));

    // Both ends wrap.
    for (uint32_t i = FrameNumber(station); i < nLast; ++i) {
        pNext->trigger();
        station.rig.Settle();
    }
    QCOMPARE(FrameNumber(station), nLast);
    pNext->trigger();
    station.rig.Settle();
    QCOMPARE(FrameNumber(station), 0u);
    pPre->trigger();
    station.rig.Settle();
    QCOMPARE(FrameNumber(station), nLast);

    QVERIFY(log.Lines(QtWarningMsg).filter("has no").isEmpty());
}

void TestTestViewEndToEnd::lastUnplugEndsARecording()
{
    CTestViewStation station;
    station.AddFrame();
    Settings()->SetBool("SupportSNCheck", false);
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    const QString chosen = QDir::current().absoluteFilePath("unplugged.xml");
    QAction* pRecord = ViewAction(pView, "Record Data...");
    QVERIFY(pRecord->isEnabled());

    CModalBoxAnswerer boxes;
    boxes.AnswerFile(chosen);
    auto* pClock = pView->findChild<CRecordDialog*>();
    bool bShown = false;
    // While the clock runs over the view: a few refreshes are recorded, then
    // the frame is pulled.
    QTimer::singleShot(0, pView, [&] {
        bShown = pClock->isVisible() && pClock->testAttribute(Qt::WA_ShowModal);
        StationTest::WaitFor([&] { return FrameNumber(station) > 3; });
        QVERIFY(station.Screenshot("testview-record-dialog.png", QSize(1280, 800)));
        station.rig.Frame().usb->Unplug();
    });
    CRunLogCapture log;
    pRecord->trigger();
    QVERIFY(bShown);
    QVERIFY(StationTest::WaitFor([&] { return !pRecord->isChecked() && log.Contains("SaveLogDataManul :"); }));
    station.rig.Settle();
    CStationRig::Flush();
    QCOMPARE(log.Count("SaveLogDataManul :"), 1);
    QVERIFY(QFileInfo(chosen).isFile());
    QVERIFY(!pClock->isVisible());
    {
        QMutexLocker lock(station.work->GetDeviceMutex());
        QVERIFY(!station.work->GetTouchDevice()->IsRecording());
    }
}

STATION_TEST_MAIN(TestTestViewEndToEnd)
#include "tst_testviewendtoend.moc"
