// What the signal-test view files of a run: the automatic save of a live
// frame's log under "Data", saves that fail and are never passed off as
// saved, the record of a saved run handed to the upload, and the recording of
// a live frame with its manual save (the dialog's button, the menu, the
// program's end, a frame that comes back while the save dialog is open), the
// recorded frame leaving while another stays, a run started while the last
// unplug's save dialog is open, the whole station after a frame came back
// during that dialog, and a save that fails and is asked again.

#include "filemodesenforced.h"
#include "filesizelimit.h"
#include "modalboxanswerer.h"
#include "recorddialog.h"
#include "runlogcapture.h"
#include "stationresources.h"
#include "testrecord.h"
#include "testviewlogs.h"
#include "testviewstation.h"
#include "timerthread.h"
#include "touchhardware.h"
#include "touchlogfilexml.h"
#include "uploadservice.h"
#include "uploadtestdata.h"
#include "unwritablepath.h"
#include "veloraupgradeview.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTableWidget>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QToolButton>
#include <QtTest>

#include <memory>

#include <sys/stat.h>

namespace {
using namespace TestViewLogs;

using InfoList = QList<QPair<QString, QString>>;

const QDateTime kSaveTime(QDate(2026, 12, 5), QTime(14, 3, 7, 250));
const QString kSaveStamp = QStringLiteral("20261205_14-03-07_250");

QString Property(CTestViewStation& station, const QString& name)
{
    return TestViewLogs::Property(station.work, name);
}

// Where the automatic save files the live frame's log now, from its
// properties and the fixed time.
QString ExpectedLogPath(CTestViewStation& station, const QString& suffix)
{
    return QDir::currentPath() + "/Data/" + Property(station, "Product") + '/' + Property(station, "CheckSum") + '/'
           + kSaveStamp + '_' + Property(station, "McuID") + '_' + Property(station, "BatchInfo") + suffix;
}

// One refresh cycle of the live frame into the recording, as the refresh
// tick runs it on the panel page.
void RefreshCycle(CTestViewStation& station)
{
    {
        QMutexLocker lock(station.work->GetDeviceMutex());
        station.work->GetTouchDevice()->NextFrame();
    }
    station.view->RefreshPanelView();
}

bool IsRecording(CTestViewStation& station)
{
    QMutexLocker lock(station.work->GetDeviceMutex());
    CTouchBase* pDevice = station.work->GetTouchDevice();
    return pDevice && pDevice->IsRecording();
}
// A save that failed, as the operator learns of it: one Critical line naming
// the log, then, once the saving caller has returned, one warning box.
void CheckFailedSaveReported(const CRunLogCapture& log, const CModalBoxAnswerer& boxes, const QString& expected)
{
    const QStringList critical = log.Lines(QtCriticalMsg);
    QCOMPARE(critical.size(), 1);
    QVERIFY2(critical[0].contains(expected), qPrintable(critical[0]));
    QVERIFY(StationTest::WaitFor([&] { return boxes.boxes.size() == 1; }));
    QCOMPARE(boxes.boxes[0].title, QStringLiteral("Error!"));
    QCOMPARE(boxes.boxes[0].text, QStringLiteral("The test log cannot be saved to %1.").arg(expected));
    QCOMPARE(boxes.boxes[0].icon, QStringLiteral("Warning"));
}
} // namespace

class TestTestViewLogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void autoSaveFilesTheRun_data();
    void autoSaveFilesTheRun();
    void failedSaveIsNoSavedLog_data();
    void failedSaveIsNoSavedLog();
    void failedSaveOfAShownResult();
    void recordFields_data();
    void recordFields();
    void handOverOfASavedRun();
    void recordingSavedOnce_data();
    void recordingSavedOnce();
    void recordingAtProgramEnd();
    void frameBackDuringSaveDialog();
    void recordedFrameLeaves_data();
    void recordedFrameLeaves();
    void newRunDuringTheLastUnplugsDialog();
    void frameBackWhileTheRecordingIsSaved_data();
    void frameBackWhileTheRecordingIsSaved();
    void recordingSaveThatFailsAsksAgain();

private:
    // A station with the view's live frame: product "X1", batch "S9".
    std::unique_ptr<CTestViewStation> StartStation();

    std::unique_ptr<CScopedWorkDir> m_pWorkDir;
    CRecordingUpload m_upload;
};

void TestTestViewLogs::initTestCase()
{
    InitStationResources();
}

void TestTestViewLogs::init()
{
    Settings()->clear();
    Settings()->SetBool("SupportSNCheck", false);
    m_pWorkDir = std::make_unique<CScopedWorkDir>();
    m_upload.records.clear();
    CUploadTestData::SetServiceForTest(&m_upload);
    CTestEnvironment::FixLocalTime(kSaveTime);
}

void TestTestViewLogs::cleanup()
{
    CUploadTestData::SetServiceForTest(nullptr);
    CTestEnvironment::RealClock();
    m_pWorkDir.reset();
}

std::unique_ptr<CTestViewStation> TestTestViewLogs::StartStation()
{
    auto pStation = std::make_unique<CTestViewStation>();
    pStation->AddFrame().frame.Edit([](CEmulatedFrame::State& s) {
        s.info.product = "X1";
        s.info.batch = "S9";
    });
    if (!pStation->Start())
        return nullptr;
    pStation->view->UpdateSourceButtons();
    return pStation;
}

void TestTestViewLogs::autoSaveFilesTheRun_data()
{
    QTest::addColumn<int>("verdict"); // 1 pass, 0 fail, -1 the save without argument
    QTest::addColumn<QString>("suffix");
    QTest::newRow("pass") << 1 << "_PASS.xml";
    QTest::newRow("fail") << 0 << "_NG.xml";
    QTest::newRow("no argument") << -1 << "_PASS.xml";
}

void TestTestViewLogs::autoSaveFilesTheRun()
{
    QFETCH(int, verdict);
    QFETCH(QString, suffix);

    auto pStation = StartStation();
    QVERIFY(pStation);
    QCOMPARE(Property(*pStation, "Product"), QStringLiteral("X1"));
    QCOMPARE(Property(*pStation, "BatchInfo"), QStringLiteral("S9"));

    CModalBoxAnswerer boxes;
    const QString path = verdict < 0 ? pStation->view->SaveLogDataAuto() : pStation->view->SaveLogDataAuto(verdict == 1);
    QCOMPARE(path, ExpectedLogPath(*pStation, suffix));
    QVERIFY(path.startsWith(QDir::currentPath() + "/Data/X1/"));
    // A complete log: it opens as a replay of the frame.
    std::unique_ptr<CTouchLogfileXML> pReplay(CTouchLogfileXML::Create(nullptr, path));
    QVERIFY(pReplay);
    QCOMPARE(pReplay->StartTest(1), 0);
    QCOMPARE(pReplay->GetProperty("BatchInfo"), QStringLiteral("S9"));
    QCoreApplication::processEvents();
    QVERIFY(boxes.boxes.isEmpty());
}

void TestTestViewLogs::failedSaveIsNoSavedLog_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("Data is a file") << "Data";
    QTest::newRow("a folder at the log's name") << "log";
    QTest::newRow("a disk that takes none of it") << "full disk";
    // The working folder takes no new entry: the reason is the system's, for
    // the first folder that could not be made.
    QTest::newRow("a folder it cannot write") << "read-only";
}

void TestTestViewLogs::failedSaveIsNoSavedLog()
{
    QFETCH(QString, obstacle);

    auto pStation = StartStation();
    QVERIFY(pStation);
    const QString expected = ExpectedLogPath(*pStation, "_NG.xml");
    if (obstacle == "Data") {
        QFile file("Data");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("not a folder");
    } else if (obstacle == "log") {
        // The fixed time makes the name known beforehand.
        QVERIFY(QDir().mkpath(expected));
    }

    CModalBoxAnswerer boxes;
    boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        // The box as the operator sees it, over the main window.
        if (box.title == QLatin1String("Error!") && obstacle == "Data") {
            QWidget* pBox = QApplication::activeModalWidget();
            QDir().mkpath(CTestEnvironment::OutputDir());
            pBox->grab().save(CTestEnvironment::OutputDir() + "/testview-failed-save-box.png");
        }
    });
    CRunLogCapture log;
    QString path;
    if (obstacle == "full disk") {
        QVERIFY(QDir().mkpath(QFileInfo(expected).absolutePath()));
        CFileSizeLimit limit(0);
        if (!limit.IsActive())
            QSKIP("cannot limit the file size here");
        path = pStation->view->SaveLogDataAuto(false);
    } else if (obstacle == "read-only") {
        const QByteArray here = QFile::encodeName(QDir::currentPath());
        QVERIFY(::chmod(here.constData(), 0555) == 0);
        const auto writable = qScopeGuard([&] { ::chmod(here.constData(), 0755); });
        CFileModesEnforced modes;
        QVERIFY(modes.IsActive());
        path = pStation->view->SaveLogDataAuto(false);
    } else {
        path = pStation->view->SaveLogDataAuto(false);
    }
    QVERIFY(path.isEmpty());
    // The saving caller has returned before the operator is told.
    QVERIFY(boxes.boxes.isEmpty());
    CheckFailedSaveReported(log, boxes, expected);
    if (QTest::currentTestFailed())
        return;
    if (obstacle == "Data") {
        QVERIFY(QFileInfo("Data").isFile());
    } else if (obstacle == "log") {
        QVERIFY(QFileInfo(expected).isDir());
    } else if (obstacle == "read-only") {
        const QString critical = log.Lines(QtCriticalMsg).value(0);
        QVERIFY2(critical.endsWith(" - the folder " + QDir::currentPath() + "/Data cannot be made: Permission denied"),
                 qPrintable(critical));
        QVERIFY(!QFileInfo::exists("Data"));
    } else {
        // The system's reason, and nothing left in the folder.
        QVERIFY2(log.Lines(QtCriticalMsg).value(0).endsWith(" - File too large"),
                 qPrintable(log.Lines(QtCriticalMsg).value(0)));
        QCOMPARE(QDir(QFileInfo(expected).absolutePath()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // What the result display hands on next: no record of an unwritten log.
    QVERIFY(pStation->view->UploadTestData(path, "NG2"));
    QVERIFY(m_upload.records.isEmpty());
}

// The result of a live run shown while its log cannot be filed ("Data" is a
// file): the verdict is shown and the run ends as ever, the operator is told
// once the display has returned, and no record names the unwritten log.
void TestTestViewLogs::failedSaveOfAShownResult()
{
    Settings()->SetBool("DefaultJumpToDraw", false);
    auto pStation = std::make_unique<CTestViewStation>();
    pStation->AddFrame().frame.Edit([](CEmulatedFrame::State& s) {
        s.info.product = "X1";
        s.info.batch = "S9";
    });
    // The run the view starts when it opens files its log as ever.
    QVERIFY(pStation->StartOpen());
    VeloraTestView* pView = pStation->view;
    QVERIFY(pView->isVisible());
    QCOMPARE(m_upload.records.size(), 1);
    m_upload.records.clear();

    const QString expected = ExpectedLogPath(*pStation, "_PASS.xml");
    QVERIFY(QDir("Data").removeRecursively());
    QFile file("Data");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a folder");
    file.close();

    QMap<QString, QString> errors;
    {
        QMutexLocker lock(pStation->work->GetDeviceMutex());
        errors = pStation->work->GetTouchDevice()->GetSignalErrors();
    }
    QVERIFY(errors.isEmpty());
    CModalBoxAnswerer boxes;
    CRunLogCapture log;
    QVERIFY(pView->ShowTestResult(errors, true));
    // Shown, with no box yet; filed in the turns that follow, and ended.
    QVERIFY(boxes.boxes.isEmpty());
    QVERIFY(log.Contains("ShowTestResult : PASS PASS"));
    // No run is open here: the filing's own failure line is waited for.
    QVERIFY(StationTest::WaitFor([&] { return !log.Lines(QtCriticalMsg).isEmpty() && !pView->IsTestRunning(); }));
    CheckFailedSaveReported(log, boxes, expected);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(QFileInfo("Data").isFile());
    QVERIFY(!QFileInfo::exists(expected));
    pStation->rig.Settle();
    QVERIFY(m_upload.records.isEmpty());
}

void TestTestViewLogs::recordFields_data()
{
    QTest::addColumn<InfoList>("device");
    QTest::addColumn<InfoList>("environment");
    QTest::addColumn<QString>("logPath");
    QTest::addColumn<QString>("workDir");
    // McuId|Product|CheckSum|Batch|SN|AppInfo|HostOS|HostIp|HostMac|Result|LogUrl
    QTest::addColumn<QString>("fields");

    const InfoList device{{"Product", "X1"}, {"Vid", "0x1FF7"}, {"CheckSum", "1A2B"}, {"McuID", "M7"},
                          {"BatchInfo", "S9"}};
    const InfoList environment{{"Environment", "Debian GNU/Linux 12"}, {"App Version", "0.0.0.6"},
                               {"IPAddr", "10.0.0.7"}, {"MacAddr", "00:11:22:33:44:55"}};
    const QString log = "/home/op/station/Data/X1/1A2B/20261205_14-03-07_250_M7_S9_PASS.xml";
    QTest::newRow("every field") << device << environment << log << "/home/op/station"
                                 << "M7|X1|1A2B||S9|0.0.0.6|Debian GNU/Linux 12|10.0.0.7|00:11:22:33:44:55|PASS|"
                                    "/Data/X1/1A2B/20261205_14-03-07_250_M7_S9_PASS.xml";
    QTest::newRow("a name twice: the last") << InfoList{{"McuID", "M1"}, {"McuID", "M2"}, {"BatchInfo", "A"},
                                                          {"BatchInfo", "B"}}
                                            << InfoList{{"IPAddr", "1.1.1.1"}, {"IPAddr", "2.2.2.2"}} << log
                                            << "/home/op/station"
                                            << "M2||||B|||2.2.2.2||NG|/Data/X1/1A2B/20261205_14-03-07_250_M7_S9_PASS.xml";
    QTest::newRow("names missing or not exact") << InfoList{{"product", "x"}, {"McuID ", "M"}, {"Batch", "S"}}
                                                << InfoList{{"App version", "9"}} << log << "/home/op/station"
                                                << "|||||||||NG1|/Data/X1/1A2B/20261205_14-03-07_250_M7_S9_PASS.xml";
    QTest::newRow("outside the working folder") << device << environment << "/mnt/logs/a_PASS.xml"
                                                << "/home/op/station"
                                                << "M7|X1|1A2B||S9|0.0.0.6|Debian GNU/Linux 12|10.0.0.7|"
                                                   "00:11:22:33:44:55|PASS|/mnt/logs/a_PASS.xml";
    QTest::newRow("the folder's name further on stays") << InfoList() << InfoList()
                                                        << "/st/Data/st/a_NG.xml" << "/st"
                                                        << "|||||||||NG3|/Data/st/a_NG.xml";
    QTest::newRow("a folder that only begins the same") << InfoList() << InfoList() << "/home/op/station2/a.xml"
                                                        << "/home/op/station"
                                                        << "|||||||||NG|/home/op/station2/a.xml";
    QTest::newRow("working folder /") << InfoList() << InfoList() << "//Data/X1/1A2B/b_PASS.xml" << "/"
                                      << "|||||||||PASS|/Data/X1/1A2B/b_PASS.xml";
    QTest::newRow("working folder /, single slash") << InfoList() << InfoList() << "/Data/X1/b_PASS.xml" << "/"
                                                    << "|||||||||PASS|/Data/X1/b_PASS.xml";
}

void TestTestViewLogs::recordFields()
{
    QFETCH(InfoList, device);
    QFETCH(InfoList, environment);
    QFETCH(QString, logPath);
    QFETCH(QString, workDir);
    QFETCH(QString, fields);

    const QStringList parts = fields.split('|');
    const CTestRecord record =
        CTestRecord::OfRun(device, environment, logPath, parts[9], workDir, kSaveTime);
    const QStringList got{record.GetMcuId(),   record.GetProduct(), record.GetCheckSum(), record.GetBatch(),
                          record.GetSN(),      record.GetAppInfo(), record.GetHostOS(),   record.GetHostIp(),
                          record.GetHostMac(), record.GetResult(),  record.GetLogUrl()};
    QCOMPARE(got, parts);
    QCOMPARE(record.GetDateTime(), kSaveTime);
}

void TestTestViewLogs::handOverOfASavedRun()
{
    auto pStation = StartStation();
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    const QString path = pView->SaveLogDataAuto(true);
    QVERIFY(!path.isEmpty());

    // The record of the live frame and the station.
    QVERIFY(pView->UploadTestData(path, "PASS"));
    QCOMPARE(m_upload.records.size(), 1);
    const CTestRecord& record = m_upload.records[0];
    QCOMPARE(record.GetProduct(), QStringLiteral("X1"));
    QCOMPARE(record.GetSN(), QStringLiteral("S9"));
    QCOMPARE(record.GetMcuId(), Property(*pStation, "McuID"));
    QCOMPARE(record.GetCheckSum(), Property(*pStation, "CheckSum"));
    QVERIFY(!record.GetMcuId().isEmpty());
    QVERIFY(record.GetBatch().isEmpty());
    const InfoList environment = pStation->work->GetEnvironmentList();
    auto env = [&environment](const char* szName) {
        for (const auto& item : environment) {
            if (item.first == QLatin1String(szName))
                return item.second;
        }
        return QString();
    };
    QCOMPARE(record.GetAppInfo(), env("App Version"));
    QCOMPARE(record.GetAppInfo(), QStringLiteral("0.0.0.6"));
    QCOMPARE(record.GetHostOS(), env("Environment"));
    QCOMPARE(record.GetHostIp(), env("IPAddr"));
    QCOMPARE(record.GetHostMac(), env("MacAddr"));
    QCOMPARE(record.GetResult(), QStringLiteral("PASS"));
    QCOMPARE(record.GetLogUrl(), path.mid(QDir::currentPath().size()));
    QVERIFY(record.GetLogUrl().startsWith("/Data/X1/"));
    QCOMPARE(record.GetDateTime(), kSaveTime);

    // No saved log (a replay, a failed save): nothing.
    QVERIFY(pView->UploadTestData(QString(), "PASS"));
    QCOMPARE(m_upload.records.size(), 1);

    // The station's own upload without "ServerInfo.ini": nothing is made,
    // and the run goes on.
    CUploadTestData::SetServiceForTest(nullptr);
    QVERIFY(pView->UploadTestData(path, "PASS"));
    QVERIFY(!CUploadTestData::GetInstance());
    QVERIFY(!QFileInfo::exists(CUploadTestData::kFileName));
}

void TestTestViewLogs::recordingSavedOnce_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("the dialog's button") << "button";
    QTest::newRow("unchecked from the menu") << "menu";
}

void TestTestViewLogs::recordingSavedOnce()
{
    QFETCH(QString, end);

    auto pStation = StartStation();
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    // A run first: the frame's layout and axes are known.
    QVERIFY(pStation->Run("StartTestOnce"));
    QVERIFY(pView->InitPanelView());
    QAction* pRecord = ViewAction(pView, "Record Data...");
    QVERIFY(pRecord->isEnabled());
    const QString chosen = QDir::current().absoluteFilePath("recording.xml");

    CModalBoxAnswerer boxes;
    boxes.AnswerFile(chosen);
    bool bModal = false;
    bool bClock = false;
    bool bRecording = false;
    auto* pClock = pView->findChild<CRecordDialog*>();
    // The clock lies over the view (a frameless child of it) and runs modal.
    QTimer::singleShot(0, pView, [&] {
        bModal = pClock->testAttribute(Qt::WA_ShowModal);
        bClock = pClock->ClockTimer()->isActive();
        bRecording = IsRecording(*pStation);
        for (int i = 0; i < 3; ++i)
            RefreshCycle(*pStation);
        if (end == "button")
            Child<QToolButton>(pClock, "recordButton")->click();
        else
            pRecord->trigger();
    });
    CRunLogCapture log;
    pRecord->trigger();

    QVERIFY(bModal);
    QVERIFY(bClock);
    QVERIFY(bRecording);
    QVERIFY(boxes.problems.isEmpty());
    QVERIFY(!IsRecording(*pStation));
    QVERIFY(!pRecord->isChecked());
    QVERIFY(!pClock->isVisible());
    QVERIFY(!pClock->ClockTimer()->isActive());
    // One save dialog, with the proposed name, and one file.
    QList<CModalBoxAnswerer::SBox> files;
    for (const auto& box : qAsConst(boxes.boxes)) {
        if (box.kind == CModalBoxAnswerer::EKind::File)
            files << box;
    }
    QCOMPARE(files.size(), 1);
    QCOMPARE(files[0].title, QStringLiteral("Save Log file..."));
    QCOMPARE(files[0].text, QStringLiteral("*.xml"));
    QCOMPARE(log.Count("SaveLogDataManul :"), 1);
    QVERIFY(QFileInfo(chosen).isFile());

    // The recording replays: its frames are the log's records.
    std::unique_ptr<CTouchLogfileXML> pReplay(CTouchLogfileXML::Create(nullptr, chosen));
    QVERIFY(pReplay);
    QCOMPARE(pReplay->StartTest(1), 0);
    QVERIFY2(pReplay->GetLastRecordNumber() >= 3, qPrintable(QString::number(pReplay->GetLastRecordNumber())));
    QCOMPARE(pReplay->GetProperty("BatchInfo"), QStringLiteral("S9"));
}

void TestTestViewLogs::recordingAtProgramEnd()
{
    auto pStation = StartStation();
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    QVERIFY(pStation->Run("StartTestOnce"));
    QVERIFY(pView->InitPanelView());
    QAction* pRecord = ViewAction(pView, "Record Data...");
    const QString expected =
        "Data/X1/" + Property(*pStation, "CheckSum") + '/' + kSaveStamp + '_' + Property(*pStation, "McuID") + "_S9.xml";

    CModalBoxAnswerer boxes;
    // The clock's modal run ends (the program's end leaves every event loop)
    // with the entry still checked.
    QTimer::singleShot(0, pView, [&] {
        RefreshCycle(*pStation);
        pView->findChild<CRecordDialog*>()->reject();
    });
    pRecord->trigger();
    QVERIFY(pRecord->isChecked());
    QVERIFY(IsRecording(*pStation));

    CRunLogCapture log;
    pStation->rig.CloseMainWindow();
    pStation->view = nullptr;
    QVERIFY(QFileInfo(expected).isFile());
    // No dialog held the exit.
    for (const auto& box : qAsConst(boxes.boxes))
        QVERIFY(box.kind != CModalBoxAnswerer::EKind::File);
    const QStringList warnings = log.Lines(QtWarningMsg);
    bool bNamed = false;
    for (const QString& line : warnings)
        bNamed = bNamed || line.contains(QDir::current().absoluteFilePath(expected));
    QVERIFY2(bNamed, qPrintable(warnings.join('\n')));
    QVERIFY(log.Lines(QtCriticalMsg).isEmpty());
    std::unique_ptr<CTouchLogfileXML> pReplay(CTouchLogfileXML::Create(nullptr, expected));
    QVERIFY(pReplay);
    QCOMPARE(pReplay->StartTest(1), 0);
}

// The log is taken out of the device object before the dialog opens: what the
// frame reports once it is back changes nothing of what is saved.
void TestTestViewLogs::frameBackDuringSaveDialog()
{
    auto pStation = StartStation();
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    const QString chosen = QDir::current().absoluteFilePath("late.xml");

    CModalBoxAnswerer boxes;
    boxes.AnswerFile(chosen);
    bool bBack = false;
    boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        if (box.kind != CModalBoxAnswerer::EKind::File || bBack)
            return;
        // The frame leaves and comes back while the operator picks a name.
        const quint64 nBefore = pStation->work->GetDeviceGeneration();
        pStation->rig.Frame().usb->Unplug();
        QVERIFY(pStation->rig.WaitForDevices(0));
        pStation->rig.Frame().usb->Plug();
        bBack = StationTest::WaitFor([&] { return pStation->work->GetDeviceGeneration() != nBefore; });
    });
    CRunLogCapture log;
    QCOMPARE(pView->SaveLogDataManul(), chosen);
    QVERIFY(bBack);
    QCOMPARE(log.Count("SaveLogDataManul :"), 1);
    QVERIFY(log.Lines(QtCriticalMsg).isEmpty());
    std::unique_ptr<CTouchLogfileXML> pReplay(CTouchLogfileXML::Create(nullptr, chosen));
    QVERIFY(pReplay);
    QCOMPARE(pReplay->StartTest(1), 0);
    QCOMPARE(pReplay->GetProperty("BatchInfo"), QStringLiteral("S9"));
    CStationRig::Flush();
    for (const auto& box : qAsConst(boxes.boxes))
        QVERIFY2(box.title != QLatin1String("Error!"), qPrintable(box.text));
}

void TestTestViewLogs::recordedFrameLeaves_data()
{
    QTest::addColumn<int>("cycles"); // refresh cycles recorded before the frame leaves
    QTest::newRow("frames recorded") << 3;
    QTest::newRow("nothing recorded yet") << 0;
}

// Two frames attached, the current one recorded, and that one is pulled:
// before the other frame takes its place, the recording ends as at the
// program's end (filed under the recorded frame's name, no dialog) and the
// view ends it as the clock's button does. Nothing recorded, nothing filed.
void TestTestViewLogs::recordedFrameLeaves()
{
    QFETCH(int, cycles);

    CTestViewStation station;
    station.AddFrame().frame.Edit([](CEmulatedFrame::State& s) {
        s.info.product = "X1";
        s.info.batch = "S9";
    });
    CStationRig::SFrameOptions second;
    second.serial = "second";
    station.AddFrame(second).frame.Edit([](CEmulatedFrame::State& s) {
        s.info.product = "X2";
        s.info.batch = "B2";
    });
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    const QString current = station.work->GetUsbPort()->GetDeviceNameList().value(0);
    const int nCurrent = current.contains("second") ? 1 : 0;
    const QString batch = nCurrent == 0 ? "S9" : "B2";
    QCOMPARE(Property(station, "BatchInfo"), batch);
    const QString expected = "Data/" + Property(station, "Product") + '/' + Property(station, "CheckSum") + '/'
                             + kSaveStamp + '_' + Property(station, "McuID") + '_' + batch + ".xml";
    QAction* pRecord = ViewAction(pView, "Record Data...");
    QVERIFY(pRecord->isEnabled());
    auto* pClock = pView->findChild<CRecordDialog*>();

    // The recording holds the refresh cycles of this test alone: the view's
    // own refresh is stopped, and its thread (a tick of which could still be
    // reading a frame) has ended, before the recording starts.
    pView->StopRefresh();
    QVERIFY(pView->TimerThread()->wait(30000));

    CModalBoxAnswerer boxes;
    CRunLogCapture log;
    bool bLeft = false;
    bool bClockLeftUp = false;
    QTimer::singleShot(0, pView, [&] {
        for (int i = 0; i < cycles; ++i)
            RefreshCycle(station);
        station.rig.Frame(nCurrent).usb->Unplug();
        bLeft = StationTest::WaitFor([&] { return log.Contains("InsertUsbDeviceForTest : Count = 1 run DeInitTestUi"); });
        // A clock still up would keep the recording (and this test) going.
        bClockLeftUp = pClock->isVisible();
        if (bClockLeftUp)
            pClock->reject();
    });
    pRecord->trigger();
    QVERIFY(bLeft);
    QVERIFY(!bClockLeftUp);
    // Ended as by the clock's button, without a dialog.
    QVERIFY(!pRecord->isChecked());
    QVERIFY(!pClock->isVisible());
    QVERIFY(!pClock->ClockTimer()->isActive());
    for (const auto& box : qAsConst(boxes.boxes))
        QVERIFY(box.kind != CModalBoxAnswerer::EKind::File);

    // The frame that stays is tested; the recording is not its data.
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("ShowTestResult :"); }));
    QVERIFY(!IsRecording(station));
    station.rig.Settle();
    // Recordings (the runs' own logs end in "_PASS" or "_NG").
    QStringList recordings;
    for (QDirIterator it("Data", QStringList{"*.xml"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        if (!path.endsWith("_PASS.xml") && !path.endsWith("_NG.xml"))
            recordings << path;
    }
    if (cycles == 0) {
        QVERIFY2(recordings.isEmpty(), qPrintable(recordings.join(' ')));
        QCOMPARE(log.Lines(QtWarningMsg).filter("nothing is saved").size(), 1);
        return;
    }
    QCOMPARE(recordings, QStringList{expected});
    QCOMPARE(log.Lines(QtWarningMsg).filter(QDir::current().absoluteFilePath(expected)).size(), 1);
    QVERIFY(log.Lines(QtCriticalMsg).isEmpty());
    std::unique_ptr<CTouchLogfileXML> pReplay(CTouchLogfileXML::Create(nullptr, expected));
    QVERIFY(pReplay);
    QCOMPARE(pReplay->StartTest(1), 0);
    QCOMPARE(pReplay->GetProperty("BatchInfo"), batch);
    QVERIFY2(pReplay->GetLastRecordNumber() >= uint32_t(cycles),
             qPrintable(QString::number(pReplay->GetLastRecordNumber())));
}

// The last frame leaves while it is recorded: the manual save dialog opens,
// and the frame plugged while it is open starts a run, which has its result
// before the dialog is answered. The unplug's handling then changes nothing
// of that run: its views, result, refresh and open run stay, no LED check is
// switched off, and the dispatcher still knows a test is on.
void TestTestViewLogs::newRunDuringTheLastUnplugsDialog()
{
    Settings()->SetBool("DefaultJumpToDraw", false);
    CModalBoxAnswerer boxes;
    boxes.CancelFile();
    auto pStation = StartStation();
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    pStation->OpenView();
    QVERIFY(StationTest::WaitFor([&] { return !pView->IsTestRunning() && pView->PanelView(); }));
    pStation->rig.Settle();
    QAction* pRecord = ViewAction(pView, "Record Data...");
    auto* pTable = Child<QTableWidget>(pView, "testResult");

    bool bRun2 = false;
    boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        if (box.kind != CModalBoxAnswerer::EKind::File || bRun2)
            return;
        pStation->rig.Frame().usb->Plug();
        bRun2 = StationTest::WaitFor([&] {
            return !pView->IsTestRunning() && pView->PanelView() && pTable->item(0, 0)
                   && pTable->item(0, 0)->text() == QLatin1String("PASS");
        });
    });
    QSignalSpy status(pView, &VeloraTestView::emitSignalTestStatus);
    CRunLogCapture log;
    QTimer::singleShot(0, pView, [&] {
        RefreshCycle(*pStation);
        pStation->rig.Frame().usb->Unplug();
    });
    pRecord->trigger();
    // The save dialog opens once the unplug has been handled whole.
    QVERIFY(StationTest::WaitFor([&] { return bRun2; }));
    QVERIFY(StationTest::WaitFor([] { return !QApplication::activeModalWidget(); }));
    pStation->rig.Settle();
    CStationRig::Flush();

    // Run 2 as its result left it.
    QVERIFY(pView->PanelView());
    QCOMPARE(pTable->item(0, 0)->text(), QStringLiteral("PASS"));
    QVERIFY(pView->IsSourcePresent());
    QVERIFY(pView->TimerThread()->isRunning());
    // Run 2's frame keeps its LED check (run 1's frame has left).
    QCOMPARE(log.Tasks().count("CheckLedErrorOff"), 0);
    QVERIFY(!status.isEmpty());
    QCOMPARE(status.last().at(0).toBool(), true);
    // Run 2 is still open: a start is refused.
    pView->StartTest();
    QVERIFY(log.Contains("StartTest : test mutex is fail"));
}

void TestTestViewLogs::frameBackWhileTheRecordingIsSaved_data()
{
    QTest::addColumn<QString>("open"); // what runs its event loop when the frame is pulled
    QTest::addColumn<bool>("another"); // another frame is plugged in its place
    QTest::newRow("the record clock, the frame back") << "clock" << false;
    QTest::newRow("the record clock, another frame") << "clock" << true;
    QTest::newRow("the retest question, the frame back") << "retest" << false;
    QTest::newRow("Open log file..., the frame back") << "open" << false;
}

// A recorded frame is pulled (the last one): the recording ends and its save
// dialog opens; the frame (or another one) is plugged while that dialog is
// open, and its run has its result before the dialog is answered. Every part
// of the station then holds the frame as attached: the main window shows its
// tables and enables its tools, the upgrade view its touch button, the test
// view runs; and the recording is saved whole at the chosen path, with what
// was recorded before the pull and nothing of the frame plugged since.
void TestTestViewLogs::frameBackWhileTheRecordingIsSaved()
{
    QFETCH(QString, open);
    QFETCH(bool, another);
    Settings()->SetBool("DefaultJumpToDraw", false);
    auto pStation = StartStation();
    QVERIFY(pStation);
    CTestViewStation& station = *pStation;
    VeloraTestView* pView = station.view;
    station.OpenView();
    QVERIFY(StationTest::WaitFor([&] { return !pView->IsTestRunning() && pView->PanelView(); }));
    station.rig.Settle();
    CStationRig::SFrameOptions second;
    second.serial = "second";
    station.rig.AddFrame(second).frame.Edit([](CEmulatedFrame::State& s) {
        s.info.product = "X2";
        s.info.batch = "B2";
    });
    CStationRig::SFrame& back = station.rig.Frame(another ? 1 : 0);
    QAction* pRecord = ViewAction(pView, "Record Data...");
    auto* pClock = pView->findChild<CRecordDialog*>();
    auto* pTable = Child<QTableWidget>(pView, "testResult");
    auto* pUpgradeView = station.window->findChild<VeloraUpgradeView*>();
    QVERIFY(pUpgradeView);
    auto* pUpgradeTouch = Child<QToolButton>(pUpgradeView, "touchEnToolButton");
    auto* pWindowTouch = Child<QToolButton>(station.window, "touchEnToolButton");
    auto* pNotice = Child<QLabel>(station.window, "noticeLabel");
    auto* pWindowTable = Child<QTableWidget>(station.window, "HardwareInfoWidget");
    // Only the cycles below are recorded.
    pView->StopRefresh();
    QVERIFY(pView->TimerThread()->wait(30000));
    const QString chosen = QDir::current().absoluteFilePath("recording.xml");
    const QString backBatch = another ? "B2" : "S9";

    CModalBoxAnswerer boxes;
    boxes.AnswerFile(chosen);
    boxes.Answer("Yes");
    CRunLogCapture log;
    bool bRunAgain = false;
    bool bWholeBeforeDialog = false;
    boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        if (box.title == QLatin1String("Open file...")) {
            boxes.CancelFile();
            return;
        }
        if (box.title != QLatin1String("Save Log file...") || bRunAgain)
            return;
        boxes.AnswerFile(chosen);
        // The pull reached every part of the station before the dialog.
        bWholeBeforeDialog = !pUpgradeTouch->isEnabledTo(pUpgradeView) && !pWindowTouch->isEnabledTo(pWindowTouch->parentWidget())
                             && pNotice->isVisible()
                             && pNotice->text() == QLatin1String("There is no device inserted, Please insert device!");
        back.usb->Plug();
        bRunAgain = StationTest::WaitFor([&] {
            return !pView->IsTestRunning() && pView->PanelView() && pTable->item(0, 0)
                   && pTable->item(0, 0)->text() == QLatin1String("PASS") && Property(station, "BatchInfo") == backBatch;
        }, 60000);
    });
    // The pull, from the event loop of the question or dialog opened next
    // (the first thing it delivers); it returns once the recording is saved.
    auto pullInTheNextLoop = [&] {
        QMetaObject::invokeMethod(
            pView,
            [&] {
                station.rig.Frame(0).usb->Unplug();
                QVERIFY(StationTest::WaitFor([&] { return QFileInfo::exists(chosen) && bRunAgain; }, 60000));
            },
            Qt::QueuedConnection);
    };
    QSignalSpy status(pView, &VeloraTestView::emitSignalTestStatus);
    QTimer::singleShot(0, pView, [&] {
        for (int i = 0; i < 3; ++i)
            RefreshCycle(station);
        if (open == "clock")
            station.rig.Frame(0).usb->Unplug();
        else
            pClock->reject(); // the clock goes, the recording goes on
    });
    pRecord->trigger();
    if (open == "retest") {
        QVERIFY(pRecord->isChecked());
        pullInTheNextLoop();
        Child<QToolButton>(pView, "retestTestButton")->click();
        QVERIFY(log.Contains("on_retestTestButton_clicked : the run and the frame changed during the retest question"));
    } else if (open == "open") {
        pullInTheNextLoop();
        ViewAction(pView, "Open log file...")->trigger();
        QCOMPARE(station.work->GetDeviceKind(), HandleWork::DeviceKind::Live);
    }
    QVERIFY(StationTest::WaitFor([&] { return QFileInfo::exists(chosen) && bRunAgain; }, 60000));
    station.rig.Settle();
    CStationRig::Flush();
    QVERIFY2(boxes.problems.isEmpty(), qPrintable(boxes.problems.join('\n')));
    QVERIFY(bWholeBeforeDialog);

    // The main window: the frame's tables, its tools enabled.
    QVERIFY(!pNotice->isVisible());
    QVERIFY(pWindowTouch->isEnabledTo(pWindowTouch->parentWidget()));
    QStringList shown;
    for (int r = 0; r < pWindowTable->rowCount(); ++r)
        shown << (pWindowTable->item(r, 1) ? pWindowTable->item(r, 1)->text() : QString());
    QVERIFY2(shown.contains(Property(station, "McuID")), qPrintable(shown.join(',')));
    // The upgrade view holds the frame as attached.
    QVERIFY(pUpgradeTouch->isEnabledTo(pUpgradeView));
    const QStringList upgradeEvents = log.Lines().filter("InsertUsbDeviceForUpgrade : value =");
    QVERIFY2(!upgradeEvents.isEmpty() && upgradeEvents.last().endsWith("true"), qPrintable(upgradeEvents.join('\n')));
    // The test view runs on the frame: its result, its views, its refresh,
    // and the run is open.
    QCOMPARE(pTable->item(0, 0)->text(), QStringLiteral("PASS"));
    QVERIFY(pView->PanelView());
    QVERIFY(pView->IsSourcePresent());
    QVERIFY(pView->TimerThread()->isRunning());
    QVERIFY(!status.isEmpty());
    QCOMPARE(status.last().at(0).toBool(), true);
    pView->StartTest();
    QVERIFY(log.Contains("StartTest : test mutex is fail"));
    for (const auto& box : qAsConst(boxes.boxes))
        QVERIFY2(box.title != QLatin1String("Error!"), qPrintable(box.text));
    QDir().mkpath(CTestEnvironment::OutputDir());
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression("[^A-Za-z]+"), "-");
    QVERIFY(station.window->grab().save(CTestEnvironment::OutputDir() + "/frame-back-during-save-" + tag + ".png"));

    // The recording, whole: the recorded frame's, with its cycles.
    QCOMPARE(log.Count("SaveLogDataManul :"), 1);
    std::unique_ptr<CTouchLogfileXML> pReplay(CTouchLogfileXML::Create(nullptr, chosen));
    QVERIFY(pReplay);
    QCOMPARE(pReplay->StartTest(1), 0);
    QCOMPARE(pReplay->GetProperty("BatchInfo"), QStringLiteral("S9"));
    QCOMPARE(pReplay->GetProperty("Product"), QStringLiteral("X1"));
    QVERIFY2(pReplay->GetLastRecordNumber() >= 3, qPrintable(QString::number(pReplay->GetLastRecordNumber())));
}

// The recorded frame is pulled and the first path chosen cannot take the
// recording: the box says why, the dialog opens again, and the next path
// gets the whole recording.
void TestTestViewLogs::recordingSaveThatFailsAsksAgain()
{
    Settings()->SetBool("DefaultJumpToDraw", false);
    auto pStation = StartStation();
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    pStation->OpenView();
    QVERIFY(StationTest::WaitFor([&] { return !pView->IsTestRunning() && pView->PanelView(); }));
    pStation->rig.Settle();
    QVERIFY(QDir().mkpath("locked"));
    auto pLocked = std::make_unique<CUnwritablePath>(QDir::current().absoluteFilePath("locked"));
    if (!pLocked->IsActive())
        QSKIP("cannot take the write permission off a folder here");
    const QString refused = QDir::current().absoluteFilePath("locked/recording.xml");
    const QString chosen = QDir::current().absoluteFilePath("recording.xml");

    CModalBoxAnswerer boxes;
    boxes.AnswerFile(refused);
    QStringList proposed;
    boxes.OnShown([&](const CModalBoxAnswerer::SBox& box) {
        if (box.kind == CModalBoxAnswerer::EKind::File)
            proposed << box.value;
        if (box.title == QLatin1String("Error!")) {
            pLocked.reset();
            boxes.AnswerFile(chosen);
        }
    });
    CRunLogCapture log;
    QTimer::singleShot(0, pView, [&] {
        for (int i = 0; i < 3; ++i)
            RefreshCycle(*pStation);
        pStation->rig.Frame().usb->Unplug();
    });
    ViewAction(pView, "Record Data...")->trigger();
    QVERIFY(StationTest::WaitFor([&] { return QFileInfo::exists(chosen); }));
    QVERIFY2(boxes.problems.isEmpty(), qPrintable(boxes.problems.join('\n')));

    // Two dialogs, the box between them with the reason.
    QStringList kinds;
    for (const auto& box : qAsConst(boxes.boxes))
        kinds << (box.kind == CModalBoxAnswerer::EKind::File ? box.title : box.title + ": " + box.text);
    QCOMPARE(kinds.size(), 3);
    QCOMPARE(kinds[0], QStringLiteral("Save Log file..."));
    QCOMPARE(kinds[2], QStringLiteral("Save Log file..."));
    // The second dialog shows the folder of the path that failed.
    QCOMPARE(proposed.value(1), QDir::current().absoluteFilePath("locked"));
    const QStringList critical = log.Lines(QtCriticalMsg);
    QCOMPARE(critical.size(), 1);
    const QString prefix = "The test log cannot be saved to " + refused + " - ";
    QVERIFY2(critical[0].startsWith(prefix), qPrintable(critical[0]));
    const QString reason = critical[0].mid(prefix.size());
    QVERIFY(!reason.isEmpty());
    QCOMPARE(boxes.boxes[1].text, QStringLiteral("The test log cannot be saved to %1.\n%2\nPlease choose another path.")
                                      .arg(refused, reason));
    QCOMPARE(boxes.boxes[1].icon, QStringLiteral("Warning"));
    QVERIFY(!QFileInfo::exists(refused));
    std::unique_ptr<CTouchLogfileXML> pReplay(CTouchLogfileXML::Create(nullptr, chosen));
    QVERIFY(pReplay);
    QCOMPARE(pReplay->StartTest(1), 0);
    QCOMPARE(pReplay->GetProperty("BatchInfo"), QStringLiteral("S9"));
    QVERIFY(pReplay->GetLastRecordNumber() >= 3);
}

STATION_TEST_MAIN(TestTestViewLogs)
#include "tst_testviewlogs.moc"
