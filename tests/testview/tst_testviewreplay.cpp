// Replay of a saved test log in the signal-test view: "Open log file...", the
// log already open, a log that cannot be opened (the source the station kept
// is shown again), a well-formed file that is no test log (refused as one),
// the replay's speed and its stepping frame by frame.

#include "histogrambars.h"
#include "hostilelogs.h"
#include "modalboxanswerer.h"
#include "mutexholder.h"
#include "runlogcapture.h"
#include "signalhistogramview.h"
#include "signalkind.h"
#include "stationresources.h"
#include "testviewlogs.h"
#include "testviewstation.h"
#include "timerthread.h"
#include "touchlogfile.h"
#include "touchsignalqwtchartview.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {
using namespace TestViewLogs;

// The tasks the dispatcher started since the capture began, once it is idle.
QStringList Tasks(CTestViewStation& station, const CRunLogCapture& log)
{
    station.rig.Settle();
    QStringList tasks = log.Tasks();
    tasks.removeAll(QStringLiteral("__settle__"));
    return tasks;
}

// A run of the station's frame filed as a log; its path.
QString SavedRun(CTestViewStation& station)
{
    if (!station.Run("StartTestOnce"))
        return QString();
    return station.view->SaveLogDataAuto(true);
}

// Chooses the log in the view's open dialog.
void OpenLog(CTestViewStation& station, CModalBoxAnswerer& boxes, const QString& path)
{
    boxes.AnswerFile(path);
    ViewAction(station.view, "Open log file...")->trigger();
}

CTouchBase* Device(CTestViewStation& station)
{
    QMutexLocker lock(station.work->GetDeviceMutex());
    return station.work->GetTouchDevice();
}

bool WaitForReplayOf(CTestViewStation& station, const QString& path)
{
    return TestViewLogs::WaitForReplayOf(station.work, path);
}

using Heights = QMap<QString, QList<double>>;

// The device object's latest ADC readings as the histograms draw them, by
// chart key ("X-T0"): four per unit, a zero reading as one unit.
Heights ReadingHeights(CTestViewStation& station)
{
    Heights heights;
    QMutexLocker lock(station.work->GetDeviceMutex());
    CTouchBase* pDevice = station.work->GetTouchDevice();
    if (!pDevice)
        return heights;
    const QMap<QString, CAxisSignalInfo>& axes = pDevice->GetAxisSignalMap();
    for (auto axis = axes.cbegin(); axis != axes.cend(); ++axis) {
        for (const QString& dir : axis.value().GetDirMap().keys()) {
            SignalFrame readings;
            pDevice->GetLatestSignal(axis.key(), dir, SignalKind::kAdc, readings);
            QList<double>& list = heights[axis.key() + QLatin1Char('-') + dir];
            for (uint32_t v : readings)
                list << 4.0 * (v == 0 ? 1 : v);
        }
    }
    return heights;
}

// The file's content, or empty when it cannot be read.
QByteArray Content(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The log without every element of that name (start to end, or empty).
QByteArray Without(QByteArray log, const QString& element)
{
    const QRegularExpression whole(QStringLiteral("<%1\\b[^>]*/>|<%1\\b.*?</%1>").arg(element),
                                   QRegularExpression::DotMatchesEverythingOption);
    return QString::fromUtf8(log).remove(whole).toUtf8();
}

} // namespace

class TestTestViewReplay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void openLogReplaysIt();
    void replayFillsTheHistograms();
    void unreadableLogKeepsTheSource_data();
    void unreadableLogKeepsTheSource();
    void fileThatIsNoTestLog_data();
    void fileThatIsNoTestLog();
    void speed();
    void arrowsWhileRunningOrLive();

private:
    std::unique_ptr<CScopedWorkDir> m_pWorkDir;
};

void TestTestViewReplay::initTestCase()
{
    InitStationResources();
}

void TestTestViewReplay::init()
{
    Settings()->clear();
    Settings()->SetBool("SupportSNCheck", false);
    m_pWorkDir = std::make_unique<CScopedWorkDir>();
}

void TestTestViewReplay::cleanup()
{
    m_pWorkDir.reset();
}

void TestTestViewReplay::openLogReplaysIt()
{
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    VeloraTestView* pView = station.view;
    const QString path = SavedRun(station);
    QVERIFY(!path.isEmpty());

    CModalBoxAnswerer boxes;
    CRunLogCapture log;
    OpenLog(station, boxes, path);
    // What the operator sees while the log is read.
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].kind, CModalBoxAnswerer::EKind::File);
    QCOMPARE(boxes.boxes[0].title, QStringLiteral("Open file..."));
    QCOMPARE(boxes.boxes[0].text, QStringLiteral("*.xml"));
    QCOMPARE(boxes.boxes[0].fileMode, QStringLiteral("ExistingFile"));
    QCOMPARE(pView->NoticeLabel()->text(), QStringLiteral("Now opening and analysising the log file..."));
    QCOMPARE(pView->RefreshInterval(), 40);
    QVERIFY(pView->IsSourcePresent());
    QVERIFY(pView->IsRefreshRunning());
    QCOMPARE(pView->GetLogFilePath(), path);
    QVERIFY(WaitForReplayOf(station, path));
    QCOMPARE(Tasks(station, log), QStringList{"OpenTestLog"});

    // The same log again: drawn again, not read again.
    CTouchBase* pReplay = Device(station);
    log.Clear();
    OpenLog(station, boxes, path);
    QVERIFY(Tasks(station, log).isEmpty());
    QVERIFY(log.Contains("DeInitTestUi..."));
    QCOMPARE(Device(station), pReplay);
    QCOMPARE(boxes.boxes.size(), 2);

    // Cancelled: nothing changes.
    boxes.CancelFile();
    log.Clear();
    ViewAction(pView, "Open log file...")->trigger();
    QVERIFY(Tasks(station, log).isEmpty());
    QCOMPARE(pView->GetLogFilePath(), path);
    QCOMPARE(Device(station), pReplay);
}

// The histograms of an opened log show its readings, not the live frame's:
// the frame had a dead emitter when the log was filed and is healthy when
// the log is opened.
void TestTestViewReplay::replayFillsTheHistograms()
{
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    frame.panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.insert("Bottom:5", 0); });
    Settings()->SetBool("DefaultJumpToDraw", false);
    // Open, as the operator has it when choosing a log.
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    const QString path = SavedRun(station);
    QVERIFY(!path.isEmpty());
    const Heights filed = ReadingHeights(station);
    QCOMPARE(filed.keys(), (QList<QString>{"X-T0", "X-T1", "X-T2", "Y-T0", "Y-T1", "Y-T2"}));
    QCOMPARE(filed.value("X-T1").size(), 12);
    QCOMPARE(filed.value("Y-T1").size(), 8);
    // The dead emitter is in the log: a zero reading on X, none on Y.
    QVERIFY(filed.value("X-T1").contains(4.0));
    QVERIFY(!filed.value("Y-T1").contains(4.0));
    frame.panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.clear(); });

    CModalBoxAnswerer boxes;
    OpenLog(station, boxes, path);
    QVERIFY(WaitForReplayOf(station, path));
    QVERIFY(StationTest::WaitFor([&] { return pView->HistogramViews().size() == 2; }));
    pView->StopRefresh();
    QVERIFY(StationTest::WaitFor([&] { return !pView->TimerThread()->isRunning(); }));
    station.rig.Settle();
    CStationRig::Flush();
    QCOMPARE(ReadingHeights(station), filed);
    QCOMPARE(HistogramBars::Heights(pView->HistogramViews()), filed);
}

void TestTestViewReplay::unreadableLogKeepsTheSource_data()
{
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QByteArray>("content"); // empty: the file is gone when it is read
    QTest::addColumn<qint64>("code");

    const QByteArray malformed("<touch_device><app_info></touch");
    const QByteArray beyond = HostileLog::WithFrame(HostileLog::Values(2), 1 << 20);
    QTest::newRow("live frame, missing") << "live" << QByteArray() << qint64(0x81140000);
    QTest::newRow("live frame, malformed") << "live" << malformed << qint64(0x81140001);
    QTest::newRow("replay, malformed") << "replay" << malformed << qint64(0x81140001);
    QTest::newRow("replay, beyond the limits") << "replay" << beyond << qint64(0x81140001);
    QTest::newRow("nothing, missing") << "nothing" << QByteArray() << qint64(0x81140000);
    QTest::newRow("nothing, malformed") << "nothing" << malformed << qint64(0x81140001);
}

void TestTestViewReplay::unreadableLogKeepsTheSource()
{
    QFETCH(QString, kept);
    QFETCH(QByteArray, content);
    QFETCH(qint64, code);

    CTestViewStation station;
    if (kept != "nothing")
        station.AddFrame();
    QVERIFY(station.Start());
    VeloraTestView* pView = station.view;
    CModalBoxAnswerer boxes;
    QString replayPath;
    if (kept == "replay") {
        replayPath = SavedRun(station);
        QVERIFY(!replayPath.isEmpty());
        OpenLog(station, boxes, replayPath);
        QVERIFY(WaitForReplayOf(station, replayPath));
        station.rig.Settle();
    }
    CTouchBase* pKept = Device(station);
    const HandleWork::DeviceKind kind = station.work->GetDeviceKind();

    const QString bad = QDir::current().absoluteFilePath("bad_NG.xml");
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content.isEmpty() ? QByteArray("<touch_device/>") : content);
    file.close();
    boxes.boxes.clear();
    CRunLogCapture log;
    {
        // A missing log: chosen while it was there, gone when the worker
        // reads it (the worker waits behind a task until then).
        std::unique_ptr<CMutexHolder> pHold;
        if (content.isEmpty()) {
            pHold = std::make_unique<CMutexHolder>(station.work->GetDeviceMutex());
            QVERIFY(station.work->PostTask("InitAgc"));
        }
        OpenLog(station, boxes, bad);
        if (content.isEmpty())
            QVERIFY(QFile::remove(bad));
    }
    QVERIFY(StationTest::WaitFor([&] { return boxes.boxes.size() == 2; }));
    QCOMPARE(boxes.boxes[1].title, QStringLiteral("Error!"));
    QVERIFY2(boxes.boxes[1].text.contains(QString::number(code, 16)), qPrintable(boxes.boxes[1].text));
    station.rig.Settle();
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("the current source is shown again"); }));

    // The station kept its object, and the view shows it again.
    QCOMPARE(Device(station), pKept);
    QCOMPARE(station.work->GetDeviceKind(), kind);
    if (kept == "live") {
        // A new run, as a plug of the frame starts one.
        QVERIFY(pView->IsSourcePresent());
        QVERIFY(Tasks(station, log).contains("StartTestOnce"));
    } else if (kept == "replay") {
        // The replay drawn again, its path the one to open again.
        QVERIFY(pView->IsSourcePresent());
        QCOMPARE(pView->GetLogFilePath(), replayPath);
        // Drawn from the object kept, not read again.
        QCOMPARE(Tasks(station, log).count("OpenTestLog"), 1);
        QVERIFY(!pView->NoticeLabel()->isVisibleTo(pView));
        QVERIFY(pView->PanelView());
    } else {
        QVERIFY(!pView->IsSourcePresent());
        QCOMPARE(pView->NoticeLabel()->text(), QStringLiteral("There is no device inserted, Please insert device!"));
        QVERIFY(pView->NoticeLabel()->isVisibleTo(pView));
    }
}

void TestTestViewReplay::fileThatIsNoTestLog_data()
{
    // What the file holds: a fixed text, or a run of the station's frame
    // filed and then cut ("run without <element>"); the run-log reason of
    // the refusal, or empty when the log replays.
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QString>("reason");

    const QString noHardware = QStringLiteral("it holds no hardware description");
    QTest::newRow("another root") << "<nothing/>" << noHardware;
    QTest::newRow("touch_device empty") << "<touch_device/>" << noHardware;
    QTest::newRow("hardware without frames") << "run without test_data" << "it holds no recorded value";
    QTest::newRow("frames without hardware") << "run without hardware_info" << noHardware;
    QTest::newRow("no device_info, replayed") << "run without device_info" << QString();
    QTest::newRow("one frame numbered 0, replayed") << "run with frame 0 only" << QString();
}

// A well-formed XML file that is no test log (or holds nothing to replay)
// is refused as a log that cannot be read: the box, a run-log warning with
// the reason, and the frame the station kept is tested again. A log without
// its device information, or with one frame numbered 0, still replays.
void TestTestViewReplay::fileThatIsNoTestLog()
{
    QFETCH(QString, shape);
    QFETCH(QString, reason);

    Settings()->SetBool("DefaultJumpToDraw", false);
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    const QString run = pView->SaveLogDataAuto(true);
    QVERIFY(!run.isEmpty());
    const QByteArray filed = Content(run);
    QVERIFY(filed.contains("<hardware_info") && filed.contains("<test_data") && filed.contains("<device_info"));

    QByteArray content;
    if (shape == "run with frame 0 only") {
        // Every recorded frame but those numbered 0 taken out.
        content = QString::fromUtf8(filed)
                      .remove(QRegularExpression(QStringLiteral("<data ID=\"[1-9][0-9]*\"[^>]*>[^<]*</data>")))
                      .toUtf8();
        QVERIFY(content.contains("<data ID=\"0\""));
        QVERIFY(!content.contains("<data ID=\"1\""));
    } else if (shape.startsWith("run without ")) {
        content = Without(filed, shape.mid(int(strlen("run without "))));
    } else {
        content = "<?xml version=\"1.0\"?>\n" + shape.toUtf8() + "\n";
    }
    const QString path = QDir::current().absoluteFilePath("shape_PASS.xml");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    CTouchBase* pLive = Device(station);
    CModalBoxAnswerer boxes;
    CRunLogCapture log;
    OpenLog(station, boxes, path);
    if (reason.isEmpty()) {
        QVERIFY(WaitForReplayOf(station, path));
        QVERIFY(StationTest::WaitFor([&] { return log.Contains("ShowTestResult :"); }));
        QVERIFY(!pView->NoticeLabel()->isVisibleTo(pView));
        QVERIFY(pView->PanelView());
        QCOMPARE(boxes.boxes.size(), 1);
        QVERIFY(!log.Contains("refused"));
        return;
    }
    QVERIFY(StationTest::WaitFor([&] { return boxes.boxes.size() == 2; }));
    QCOMPARE(boxes.boxes[1].title, QStringLiteral("Error!"));
    QCOMPARE(boxes.boxes[1].text, QStringLiteral("The test log cannot be opened, The error code is 0x81140001."));
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("the current source is shown again"); }));
    QVERIFY(log.Lines(QtWarningMsg).contains(QStringLiteral("Test log %1 refused: %2").arg(path, reason)));
    station.rig.Settle();
    QCOMPARE(Device(station), pLive);
    QCOMPARE(station.work->GetDeviceKind(), HandleWork::DeviceKind::Live);
    // Never shown as a result of its own: the one result is the frame's,
    // tested again.
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("ShowTestResult : PASS PASS"); }));
    QCOMPARE(log.Count("ShowTestResult :"), 1);
    QVERIFY(Tasks(station, log).contains("StartTestOnce"));
}

void TestTestViewReplay::speed()
{
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    VeloraTestView* pView = station.view;
    const QString path = SavedRun(station);
    QVERIFY(!path.isEmpty());
    CModalBoxAnswerer boxes;
    OpenLog(station, boxes, path);
    QVERIFY(WaitForReplayOf(station, path));
    QCOMPARE(pView->RefreshInterval(), 40);
    pView->StartRefresh();
    QAction* pUp = ViewAction(pView, "Speed Up...");
    QAction* pDown = ViewAction(pView, "Speed Down...");

    // Three times faster from 40 is 10, and 10 stays 10.
    for (int i = 0; i < 3; ++i)
        pUp->trigger();
    QCOMPARE(pView->RefreshInterval(), 10);
    pUp->trigger();
    QCOMPARE(pView->RefreshInterval(), 10);
    // The running timer takes each value.
    QCOMPARE(pView->TimerThread()->Interval(), 10);
    // 1000 stays 1000.
    for (int i = 0; i < 99; ++i)
        pDown->trigger();
    QCOMPARE(pView->RefreshInterval(), 1000);
    pDown->trigger();
    QCOMPARE(pView->RefreshInterval(), 1000);
    QCOMPARE(pView->TimerThread()->Interval(), 1000);
    pView->StopRefresh();
}

void TestTestViewReplay::arrowsWhileRunningOrLive()
{
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    VeloraTestView* pView = station.view;
    QVERIFY(station.Run("StartTestOnce"));
    pView->StopRefresh();
    QVERIFY(StationTest::WaitFor([&] { return !pView->TimerThread()->isRunning(); }));

    // A live frame, paused: the rows run and ask the frame nothing.
    CRunLogCapture log;
    station.rig.Frame().frame.ClearRequests();
    ViewAction(pView, "Next Frame...")->trigger();
    ViewAction(pView, "Pre Frame...")->trigger();
    QCOMPARE(Tasks(station, log), (QStringList{"UpdateUINext", "UpdateUIPre"}));
    QCOMPARE(station.rig.Frame().frame.RequestCount(), 0);

    // Running: nothing is posted.
    pView->StartRefresh();
    QVERIFY(StationTest::WaitFor([&] { return pView->TimerThread()->isRunning(); }));
    log.Clear();
    ViewAction(pView, "Next Frame...")->trigger();
    ViewAction(pView, "Pre Frame...")->trigger();
    QVERIFY(!Tasks(station, log).contains("UpdateUINext"));
    QVERIFY(!Tasks(station, log).contains("UpdateUIPre"));
    pView->StopRefresh();
}

STATION_TEST_MAIN(TestTestViewReplay)
#include "tst_testviewreplay.moc"
