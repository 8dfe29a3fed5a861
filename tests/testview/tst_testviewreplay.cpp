// Replay of a saved test log in the signal-test view: "Open log file...", the
// log already open, a log that cannot be opened (the source the station kept
// is shown again), a well-formed file that is no test log or holds nothing
// its test reads and judges (refused as one), the interface results and the
// name of the log shown, the replay's speed and its stepping frame by frame.

#include "emulatedprofile.h"
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
#include <QTableWidget>
#include <QTranslator>
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

// Chooses the log in the view's open dialog (in the language installed).
void OpenLog(CTestViewStation& station, CModalBoxAnswerer& boxes, const QString& path)
{
    boxes.AnswerFile(path);
    QAction* pOpen = ViewAction(station.view, QCoreApplication::translate("VeloraTestView", "Open log file..."));
    QVERIFY(pOpen);
    pOpen->trigger();
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

QString ResultCell(VeloraTestView* pView, int nRow, int nColumn)
{
    const QTableWidgetItem* pItem = Child<QTableWidget>(pView, "testResult")->item(nRow, nColumn);
    return pItem ? pItem->text() : QString();
}

// The log with one more recorded frame after the last, every LED of it lit
// well inside the test range (200), in every axis and direction: as a
// recording that went on after the fault had gone.
QByteArray WithHealthyFrameAtTheEnd(const QByteArray& log)
{
    static const QRegularExpression adc(QStringLiteral("(<type name=\"ADC\"[^>]*>.*?)(</test_data>)"),
                                        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression frame(QStringLiteral("<data ID=\"([0-9]+)\"[^>]*>([^<]*)</data>"));
    const QString text = QString::fromUtf8(log);
    QString out;
    int nDone = 0;
    for (auto it = adc.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch type = it.next();
        int nLast = -1;
        int nValues = 0;
        for (auto f = frame.globalMatch(type.captured(1)); f.hasNext();) {
            const QRegularExpressionMatch data = f.next();
            nLast = qMax(nLast, data.captured(1).toInt());
            nValues = data.captured(2).split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
        }
        QStringList lit;
        for (int i = 0; i < nValues; ++i)
            lit << QStringLiteral("200");
        out += text.mid(nDone, type.capturedEnd(1) - nDone);
        out += QStringLiteral("<data ID=\"%1\">%2</data>").arg(nLast + 1).arg(lit.join(QLatin1Char(' ')));
        nDone = type.capturedEnd(1);
    }
    return (out + text.mid(nDone)).toUtf8();
}

// Where the recorded frames of one kind of one axis and direction stand in
// the log: from the start of its "type" element to its end; {-1, -1} when the
// log has none.
QPair<int, int> KindElement(const QByteArray& log, const QByteArray& axis, const QByteArray& dir, const QByteArray& kind)
{
    const int nAxis = log.indexOf("name=\"" + axis + "\" maxSignal=");
    const int nDir = nAxis < 0 ? -1 : log.indexOf("<dir ID=\"", nAxis);
    const int nNamed = nDir < 0 ? -1 : log.indexOf("name=\"" + dir + "\"", nDir);
    const int nType = nNamed < 0 ? -1 : log.indexOf("<type name=\"" + kind + "\"", nNamed);
    const int nEnd = nType < 0 ? -1 : log.indexOf("</type>", nType);
    return nEnd < 0 ? qMakePair(-1, -1) : qMakePair(nType, nEnd + int(strlen("</type>")));
}

// The log with one reading of X-T0's ADC frame 2 written as text: the first
// reading of a lit LED, or of a dark one (0).
QByteArray WithReadingAs(const QByteArray& log, bool bDark, const QByteArray& text)
{
    const QPair<int, int> type = KindElement(log, "X", "T0", "ADC");
    const int nData = type.first < 0 ? -1 : log.indexOf("<data ID=\"2\"", type.first);
    const int nText = nData < 0 ? -1 : log.indexOf('>', nData) + 1;
    const int nTextEnd = nText <= 0 ? -1 : log.indexOf('<', nText);
    if (nTextEnd < 0 || nTextEnd > type.second)
        return log;
    QList<QByteArray> values = log.mid(nText, nTextEnd - nText).split(' ');
    for (QByteArray& value : values) {
        if ((value == "0") == bDark) {
            value = text;
            return log.left(nText) + values.join(' ') + log.mid(nTextEnd);
        }
    }
    return log;
}

// The verdict the table shows: the overall line, then the "Signal Test"
// row's verdict and its tool tip.
QStringList ShownVerdict(VeloraTestView* pView)
{
    const auto* pTable = Child<QTableWidget>(pView, "testResult");
    QStringList shown{ResultCell(pView, 0, 0)};
    for (int nRow = 1; nRow < pTable->rowCount(); ++nRow) {
        if (ResultCell(pView, nRow, 0) == QLatin1String("Signal Test"))
            shown << ResultCell(pView, nRow, 1) << pTable->item(nRow, 1)->toolTip();
    }
    return shown;
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
    void replayedVerdictIsShownAgain_data();
    void replayedVerdictIsShownAgain();
    void interfaceResultsBelongToTheLogShown_data();
    void interfaceResultsBelongToTheLogShown();
    void replayIsNamedOnTheView_data();
    void replayIsNamedOnTheView();
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
    // The logs first; every file (a recording saved without a suffix) second.
    QCOMPARE(boxes.boxes[0].text, QStringLiteral("*.xml;;All files (*)"));
    QCOMPARE(boxes.boxes[0].selectedFilter, QStringLiteral("*.xml"));
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
    // (healthy, or with the dead emitter of "dead-emitter": NG2) filed and
    // then changed ("run without <element>", ...); a pattern of the run-log
    // reason of the refusal, or empty when the log replays; for a replay the
    // verdict the run log reads.
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("verdict");
    QTest::addColumn<QString>("warning"); // of a replay: a pattern of a run-log warning, or empty for none

    const QString noHardware = QStringLiteral("it holds no hardware description");
    const QString notHeld = QStringLiteral("its test asked for frames it does not hold \\(%1\\)");
    const QString noLed = QStringLiteral("its test judged no LED \\(no reading has a label and a test window\\)");
    QTest::newRow("another root") << "healthy" << "<nothing/>" << noHardware << QString() << QString();
    QTest::newRow("touch_device empty") << "healthy" << "<touch_device/>" << noHardware << QString() << QString();
    QTest::newRow("hardware without frames") << "healthy" << "run without test_data" << "it holds no recorded value"
                                             << QString() << QString();
    QTest::newRow("frames without hardware") << "healthy" << "run without hardware_info" << noHardware << QString() << QString();
    QTest::newRow("no device_info, replayed") << "healthy" << "run without device_info" << QString() << "PASS PASS" << QString();
    // Frame 0 is a recorded value; the AGC and ADC frames after it are not there.
    QTest::newRow("one frame numbered 0") << "healthy" << "run with frame 0 only" << notHeld.arg("60 ADC, 6 AGC")
                                          << QString() << QString();

    // The frames of a run its test does not find or cannot judge: a kind of
    // frame it reads held at no position it reaches, or no LED it can judge.
    // (An NG2 run stops at its first failing ADC frame: a test that judges
    // less reads on, past the frames the log holds, and finds its frames
    // again after the wrap to position 0: it is refused for the LEDs it
    // cannot judge, where it once was for the frames it did not find.)
    QTest::newRow("NG2, replayed") << "dead-emitter" << "run" << QString() << "NG NG2" << QString();
    QTest::newRow("NG2, frames renumbered") << "dead-emitter" << "run renumbered" << notHeld.arg("60 ADC, 6 AGC, 6 REVERSE")
                                            << QString() << QString();
    QTest::newRow("NG2, ADC frames taken out") << "dead-emitter" << "run without ADC frames" << notHeld.arg("60 ADC")
                                               << QString() << QString();
    QTest::newRow("NG2, no labels") << "dead-emitter" << "run without signal_labels" << noLed << QString() << QString();

    // A log short of some frames is judged on those it holds: a position
    // without a frame adds nothing, and after the wrap from the last
    // position to 0 the frames held count again in the ADC window. The
    // healthy run's test asked for ten ADC frames (positions 2 to 11) and the
    // log holds 2 to 4: six readings of them, all lit, pass. A direction
    // without the AGC frame the others have is named and judged on its ADC
    // frames: the dark emitter still fails.
    QTest::newRow("short log, replayed") << "healthy" << "run with ADC frames 2 to 4 only" << QString() << "PASS PASS"
                                         << QString();
    QTest::newRow("two AGC frames short, replayed")
        << "healthy" << "run without the AGC frames of X-T1 and Y-T2" << QString() << "PASS PASS"
        << "X-T1, Y-T2 hold no AGC frame its test reads; judged on what they hold";
    QTest::newRow("NG2, two AGC frames short, replayed")
        << "dead-emitter" << "run without the AGC frames of X-T1 and Y-T2" << QString() << "NG NG2"
        << "X-T1, Y-T2 hold no AGC frame its test reads; judged on what they hold";

    // A reading that is no unsigned decimal number is no reading the test
    // can judge (read as 0 it was a dark LED the log does not record): the
    // log is refused, the reading named.
    const QString noNumber = QStringLiteral("X-T0 ADC frame 2, position %1: \"%2\" is no unsigned decimal number");
    QTest::newRow("NG2, a lit reading abc") << "dead-emitter" << "run with a lit X-T0 reading as abc"
                                           << noNumber.arg("0", "abc") << QString() << QString();
    QTest::newRow("NG2, a lit reading -5") << "dead-emitter" << "run with a lit X-T0 reading as -5"
                                          << noNumber.arg("0", "-5") << QString() << QString();
    QTest::newRow("NG2, a lit reading 4294967296") << "dead-emitter" << "run with a lit X-T0 reading as 4294967296"
                                                  << noNumber.arg("0", "4294967296") << QString() << QString();
    QTest::newRow("NG2, a dark reading abc") << "dead-emitter" << "run with a dark X-T0 reading as abc"
                                            << noNumber.arg("[0-9]+", "abc") << QString() << QString();
    // Readings beyond maxSignal may be refused by the bounds before the test runs.
    QTest::newRow("no LED on any axis") << "healthy" << "run with maxSignal 0" << noLed + "|.+" << QString() << QString();
    QTest::newRow("no labels") << "healthy" << "run without signal_labels" << noLed << QString() << QString();
    QTest::newRow("no test windows") << "healthy" << "run without test_standard" << noLed << QString() << QString();
    // No ADC frame by its own count: the test reads REVERSE and AGC only and
    // judges no reading, which such a log is meant for.
    QTest::newRow("NG2, TEST_TIMES_FOR_UNT 0, replayed") << "dead-emitter" << "run with no ADC frame by design"
                                                         << QString() << "PASS PASS" << QString();
}

// A well-formed XML file that is no test log (or holds nothing to replay, or
// nothing its test reads and judges) is refused as a log that cannot be
// read: the box, a run-log warning with the reason, and the frame the
// station kept is tested again. A log without its device information, the
// station's own NG2 log and a log without ADC frames by its own count replay.
void TestTestViewReplay::fileThatIsNoTestLog()
{
    QFETCH(QString, profile);
    QFETCH(QString, shape);
    QFETCH(QString, reason);
    QFETCH(QString, verdict);
    QFETCH(QString, warning);

    Settings()->SetBool("DefaultJumpToDraw", false);
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    QVERIFY(CEmulatedProfile::Apply(profile, &frame.frame, &frame.panel));
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    const bool bHealthy = profile == "healthy";
    const QString run = pView->SaveLogDataAuto(bHealthy);
    QVERIFY(!run.isEmpty());
    const QByteArray filed = Content(run);
    QVERIFY(filed.contains("<hardware_info") && filed.contains("<test_data") && filed.contains("<device_info"));
    QVERIFY(filed.contains("TEST_TIMES_FOR_UNT=\"10\""));

    // The ADC type's recorded frames taken out.
    auto withoutAdcFrames = [](const QByteArray& log) {
        static const QRegularExpression adcData(QStringLiteral("(<type name=\"ADC\"[^>]*>(?:(?!</type>).)*?)<test_data>.*?</test_data>"),
                                                QRegularExpression::DotMatchesEverythingOption);
        return QString::fromUtf8(log).replace(adcData, QStringLiteral("\\1")).toUtf8();
    };
    QByteArray content;
    if (shape == "run") {
        content = filed;
    } else if (shape == "run with frame 0 only") {
        // Every recorded frame but those numbered 0 taken out.
        content = QString::fromUtf8(filed)
                      .remove(QRegularExpression(QStringLiteral("<data ID=\"[1-9][0-9]*\"[^>]*>[^<]*</data>")))
                      .toUtf8();
        QVERIFY(content.contains("<data ID=\"0\""));
        QVERIFY(!content.contains("<data ID=\"1\""));
    } else if (shape == "run renumbered") {
        // Every frame n as n + 1000.
        static const QRegularExpression id(QStringLiteral("<data ID=\"([0-9]+)\""));
        QString text = QString::fromUtf8(filed);
        QString out;
        int nDone = 0;
        for (auto it = id.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            out += text.mid(nDone, m.capturedStart() - nDone)
                   + QStringLiteral("<data ID=\"%1\"").arg(m.captured(1).toInt() + 1000);
            nDone = m.capturedEnd();
        }
        content = (out + text.mid(nDone)).toUtf8();
        QVERIFY(content.contains("<data ID=\"1000\"") && !content.contains("<data ID=\"0\""));
    } else if (shape == "run without ADC frames") {
        content = withoutAdcFrames(filed);
        QVERIFY(content.contains("<type name=\"AGC\"") && content.size() < filed.size());
    } else if (shape == "run with maxSignal 0") {
        content = QString::fromUtf8(filed)
                      .replace(QRegularExpression(QStringLiteral("maxSignal=\"[0-9]+\"")), QStringLiteral("maxSignal=\"0\""))
                      .toUtf8();
    } else if (shape == "run with ADC frames 2 to 4 only") {
        // The frames numbered 5 and on taken out (the run's REVERSE frame is
        // 0, its AGC frame 1, its ADC frames 2 to 11).
        content = QString::fromUtf8(filed)
                      .remove(QRegularExpression(QStringLiteral("<data ID=\"([5-9]|[1-9][0-9]+)\"[^>]*>[^<]*</data>")))
                      .toUtf8();
        QVERIFY(content.contains("<data ID=\"4\"") && !content.contains("<data ID=\"5\""));
        QVERIFY(filed.contains("<data ID=\"11\"") && !filed.contains("<data ID=\"12\""));
    } else if (shape == "run without the AGC frames of X-T1 and Y-T2") {
        content = filed;
        for (const auto& where : {qMakePair(QByteArray("Y"), QByteArray("T2")), qMakePair(QByteArray("X"), QByteArray("T1"))}) {
            const QPair<int, int> type = KindElement(content, where.first, where.second, "AGC");
            QVERIFY(type.first >= 0);
            const QByteArray agc = content.mid(type.first, type.second - type.first);
            QCOMPARE(agc.count("<data "), 1);
            content.replace(type.first, agc.size(), Without(agc, "test_data"));
        }
        QCOMPARE(content.count("<type name=\"AGC\""), 6);
    } else if (shape.startsWith("run with a lit X-T0 reading as ") || shape.startsWith("run with a dark X-T0 reading as ")) {
        content = WithReadingAs(filed, shape.contains("dark"), shape.section(' ', -1).toUtf8());
    } else if (shape == "run with no ADC frame by design") {
        content = withoutAdcFrames(filed).replace("TEST_TIMES_FOR_UNT=\"10\"", "TEST_TIMES_FOR_UNT=\"0\"");
    } else if (shape.startsWith("run without ")) {
        content = Without(filed, shape.mid(int(strlen("run without "))));
    } else {
        content = "<?xml version=\"1.0\"?>\n" + shape.toUtf8() + "\n";
    }
    QVERIFY(shape == "run" || content != filed);
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
        QCOMPARE(log.Lines().filter("ShowTestResult :"), QStringList{"ShowTestResult : " + verdict});
        QVERIFY(!pView->NoticeLabel()->isVisibleTo(pView));
        QVERIFY(pView->PanelView());
        QCOMPARE(boxes.boxes.size(), 1);
        QVERIFY(!log.Contains("refused"));
        const QStringList judged = log.Lines(QtWarningMsg).filter("judged on what they hold");
        if (warning.isEmpty()) {
            QVERIFY2(judged.isEmpty(), qPrintable(judged.join('\n')));
        } else {
            QCOMPARE(judged, QStringList{QStringLiteral("Test log %1: %2").arg(path, warning)});
        }
        return;
    }
    QVERIFY(StationTest::WaitFor([&] { return boxes.boxes.size() == 2; }));
    QCOMPARE(boxes.boxes[1].title, QStringLiteral("Error!"));
    QCOMPARE(boxes.boxes[1].text, QStringLiteral("The test log cannot be opened, The error code is 0x81140001."));
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("the current source is shown again"); }));
    const QRegularExpression refused(QStringLiteral("^Test log %1 refused: (%2)$")
                                         .arg(QRegularExpression::escape(path), reason));
    QVERIFY2(!log.Lines(QtWarningMsg).filter(refused).isEmpty(), qPrintable(log.Lines(QtWarningMsg).join('\n')));
    station.rig.Settle();
    QCOMPARE(Device(station), pLive);
    QCOMPARE(station.work->GetDeviceKind(), HandleWork::DeviceKind::Live);
    // Never shown as a result of its own: the one result is the frame's,
    // tested again.
    const QString frameWords = bHealthy ? QStringLiteral("ShowTestResult : PASS PASS") : QStringLiteral("ShowTestResult : NG NG2");
    QVERIFY(StationTest::WaitFor([&] { return log.Contains(frameWords); }));
    QCOMPARE(log.Count("ShowTestResult :"), 1);
    QVERIFY(Tasks(station, log).contains("StartTestOnce"));
}

void TestTestViewReplay::replayedVerdictIsShownAgain_data()
{
    QTest::addColumn<QString>("profile"); // of the emulated frame, or "dead board"
    QTest::addColumn<QString>("code");
    QTest::newRow("PASS") << "healthy" << "PASS";
    QTest::newRow("NG1") << "broken-connector" << "NG1";
    QTest::newRow("NG2") << "dead-emitter" << "NG2";
    QTest::newRow("NG3") << "weak" << "NG3";
    QTest::newRow("NG4") << "deformed" << "NG4";
    QTest::newRow("NG5") << "dead board" << "NG5";
}

// A replayed log keeps the verdict its test gave, however far the replay
// has stepped: drawn again by choosing the same file, by the restore after
// a refused open of another file, and by "Set..." ("UpdateTestResult"), the
// "Signal Test" row and the run-log words are those of the first showing.
void TestTestViewReplay::replayedVerdictIsShownAgain()
{
    QFETCH(QString, profile);
    QFETCH(QString, code);

    Settings()->SetBool("DefaultJumpToDraw", false);
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    if (profile == "dead board")
        frame.panel.Edit([](CEmulatedPanel::Model& m) { CEmulatedPanel::SetBoardAdc(&m, CEmulatedPanel::Top, 0, 0); });
    else
        QVERIFY(CEmulatedProfile::Apply(profile, &frame.frame, &frame.panel));
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    // Filed, then a healthy frame added after the test's frames.
    const QString filed = pView->SaveLogDataAuto(code == "PASS");
    QVERIFY(!filed.isEmpty());
    const QString path = QDir::current().absoluteFilePath("stepped.xml");
    QFile stepped(path);
    QVERIFY(stepped.open(QIODevice::WriteOnly));
    stepped.write(WithHealthyFrameAtTheEnd(Content(filed)));
    stepped.close();
    frame.usb->Unplug();
    QVERIFY(StationTest::WaitFor([&] { return !pView->IsSourcePresent(); }));

    CModalBoxAnswerer boxes;
    boxes.AnswerDialog(false); // "Set..."
    CRunLogCapture log;
    const QString words = QStringLiteral("ShowTestResult : %1 %2").arg(code == "PASS" ? "PASS" : "NG", code);
    OpenLog(station, boxes, path);
    QVERIFY(WaitForReplayOf(station, path));
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("ShowTestResult :"); }));
    QCOMPARE(log.Lines().filter("ShowTestResult :"), QStringList{words});
    const QStringList first = ShownVerdict(pView);
    QCOMPARE(first.mid(0, 2), (QStringList{code == "PASS" ? "PASS" : "NG", code}));

    // Paused, then stepped as its refresh steps it, up to the healthy frame:
    // the newest readings pass the light check now.
    auto step = [&] {
        pView->StopRefresh();
        QVERIFY(StationTest::WaitFor([&] { return !pView->TimerThread()->isRunning(); }));
        uint32_t nLast = 0;
        {
            QMutexLocker lock(station.work->GetDeviceMutex());
            nLast = dynamic_cast<CTouchLogfile*>(station.work->GetTouchDevice())->GetLastRecordNumber();
        }
        for (uint32_t i = 0; i <= nLast && FrameNumber(station.work) != nLast; ++i)
            pView->StepReplayFrame(1);
        QCOMPARE(FrameNumber(station.work), nLast);
        // What the test core's light check makes of the newest readings now:
        // no fault, so no code.
        QString strCode;
        QString strMessage;
        {
            QMutexLocker lock(station.work->GetDeviceMutex());
            station.work->GetTouchDevice()->GetTestResultCode(strCode, strMessage);
        }
        QVERIFY2(strCode.isEmpty(), qPrintable(strCode));
        CStationRig::Flush();
        log.Clear();
    };
    // Once the redraw is through (the dispatcher idle, its answer delivered).
    auto shownAgain = [&](const char* szHow, bool bLogged) {
        QVERIFY2(StationTest::WaitFor([&] { return !bLogged || log.Contains("ShowTestResult :"); }), szHow);
        station.rig.Settle();
        CStationRig::Flush();
        QVERIFY2(ShownVerdict(pView) == first, qPrintable(QString::fromLatin1(szHow) + ": " + ShownVerdict(pView).join(" | ")));
        QCOMPARE(log.Lines().filter("ShowTestResult :"), bLogged ? QStringList{words} : QStringList());
    };

    step();
    QVERIFY(!QTest::currentTestFailed());
    OpenLog(station, boxes, path);
    shownAgain("the same file again", true);

    step();
    QVERIFY(!QTest::currentTestFailed());
    const QString bad = QDir::current().absoluteFilePath("bad_NG.xml");
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<touch_device><app_info></touch");
    file.close();
    OpenLog(station, boxes, bad);
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("the current source is shown again"); }));
    shownAgain("restored after a refused log", true);

    step();
    QVERIFY(!QTest::currentTestFailed());
    ViewAction(pView, "Set...")->trigger();
    QVERIFY(StationTest::WaitFor([&] { return log.Tasks().contains("UpdateTestResult"); }));
    shownAgain("\"Set...\"", false);
}

void TestTestViewReplay::interfaceResultsBelongToTheLogShown_data()
{
    QTest::addColumn<QString>("road");
    QTest::newRow("opened") << "opened";
    QTest::newRow("chosen again") << "chosen again";
    QTest::newRow("shown again after a refusal") << "refused";
    QTest::newRow("re-opened with the view (Esc, PgUp)") << "view";
    QTest::newRow("\"Set...\"") << "set";
}

// The interface result of a replayed log counts for that log only: after a
// log whose stored "Com Test" is NG, a log without an interface row shows its
// own PASS on every road that shows it, and the NG log shows its NG again.
void TestTestViewReplay::interfaceResultsBelongToTheLogShown()
{
    QFETCH(QString, road);

    Settings()->SetBool("DefaultJumpToDraw", false);
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.StartOpen());
    VeloraTestView* pView = station.view;
    const QString healthy = pView->SaveLogDataAuto(true);
    QVERIFY(!healthy.isEmpty());
    const QByteArray filed = Content(healthy);
    QVERIFY(!filed.contains("<interface_test"));
    const QString comNg = QDir::current().absoluteFilePath("com_NG.xml");
    {
        QFile file(comNg);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray withRow = filed;
        withRow.replace("</device_info>",
                        "</device_info><interface_test><result name=\"Com Test\">NG</result></interface_test>");
        QVERIFY(withRow != filed);
        file.write(withRow);
    }
    const QString bad = QDir::current().absoluteFilePath("bad_NG.xml");
    {
        QFile file(bad);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<touch_device><app_info></touch");
    }

    CModalBoxAnswerer boxes;
    boxes.AnswerDialog(false); // "Set..."
    CRunLogCapture log;
    // The table once the road's redraw is through: the overall line, then
    // every check row with its verdict.
    auto shown = [&] {
        station.rig.Settle();
        CStationRig::Flush();
        const auto* pTable = Child<QTableWidget>(pView, "testResult");
        QStringList rows{ResultCell(pView, 0, 0)};
        for (int nRow = 1; nRow < pTable->rowCount(); ++nRow)
            rows << ResultCell(pView, nRow, 0) + " " + ResultCell(pView, nRow, 1);
        return rows;
    };
    const QStringList ngShown{"NG", "Com Test NG", "Signal Test PASS"};
    const QStringList passShown{"PASS", "Signal Test PASS"};
    auto open = [&](const QString& path, const QString& words) {
        log.Clear();
        OpenLog(station, boxes, path);
        QVERIFY(WaitForReplayOf(station, path));
        QVERIFY(StationTest::WaitFor([&] { return log.Contains("ShowTestResult :"); }));
        QCOMPARE(log.Lines().filter("ShowTestResult :"), QStringList{words});
    };
    // The log that is open shown again by the road.
    auto again = [&](const QString& path) {
        log.Clear();
        if (road == "chosen again") {
            OpenLog(station, boxes, path);
        } else if (road == "refused") {
            OpenLog(station, boxes, bad);
            QVERIFY(StationTest::WaitFor([&] { return log.Contains("the current source is shown again"); }));
        } else if (road == "view") {
            QTest::keyClick(pView, Qt::Key_Escape);
            QVERIFY(StationTest::WaitFor([&] { return !pView->isVisible(); }));
            station.OpenView();
            QVERIFY(WaitForReplayOf(station, path));
        } else if (road == "set") {
            ViewAction(pView, "Set...")->trigger();
            QVERIFY(StationTest::WaitFor([&] { return log.Tasks().contains("UpdateTestResult"); }));
        }
        if (road != "set")
            QVERIFY(StationTest::WaitFor([&] { return log.Contains("ShowTestResult :"); }));
    };

    open(comNg, "ShowTestResult : NG PASS");
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(shown(), ngShown);
    open(healthy, "ShowTestResult : PASS PASS");
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(shown(), passShown);
    if (road == "opened")
        return;
    again(healthy);
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(DeviceName(station.work), healthy);
    QCOMPARE(shown(), passShown);
    QVERIFY2(!log.Contains("ShowTestResult : NG"), qPrintable(log.Lines().join('\n')));

    // The NG log on the same road keeps its own NG.
    open(comNg, "ShowTestResult : NG PASS");
    QVERIFY(!QTest::currentTestFailed());
    again(comNg);
    QVERIFY(!QTest::currentTestFailed());
    QCOMPARE(shown(), ngShown);
}

void TestTestViewReplay::replayIsNamedOnTheView_data()
{
    QTest::addColumn<QString>("language");
    QTest::newRow("English") << "en";
    QTest::newRow("Chinese") << "zh";
}

// While a replayed log is the source, the title names its file after the
// station's name and a mark beside the result table (not a row of it) says
// the same; a frame plugged in takes both away. Here a PASS log is replayed
// with a frame plugged in that has a dead emitter (NG2), also after the view
// was closed and opened again.
void TestTestViewReplay::replayIsNamedOnTheView()
{
    QFETCH(QString, language);

    std::unique_ptr<QTranslator> pTranslator;
    if (language == "zh") {
        pTranslator = std::make_unique<QTranslator>();
        QVERIFY(pTranslator->load(QStringLiteral(":/Language/CorvaneFactoryApp_zh.qm")));
        QCoreApplication::installTranslator(pTranslator.get());
    }
    struct SRemove
    {
        QTranslator* p;
        ~SRemove()
        {
            if (p)
                QCoreApplication::removeTranslator(p);
        }
    } remove{pTranslator.get()};
    const QString station = QStringLiteral("KESTREL-CUSTOMER 0.0.0.6");
    const QString named = language == "zh" ? QStringLiteral("测试日志：%1") : QStringLiteral("Test log: %1");

    Settings()->SetBool("DefaultJumpToDraw", false);
    CTestViewStation rig;
    CStationRig::SFrame& frame = rig.AddFrame();
    QVERIFY(rig.StartOpen());
    VeloraTestView* pView = rig.view;
    auto* pMark = Child<QLabel>(pView, "replayMarkLabel");
    QVERIFY(pMark);
    QCOMPARE(pView->windowTitle(), station);
    QVERIFY(!pMark->isVisibleTo(pView));
    const QString path = pView->SaveLogDataAuto(true);
    QVERIFY(!path.isEmpty());
    const QString file = QFileInfo(path).fileName();

    // The frame gets its dead emitter and is plugged in again.
    CRunLogCapture log;
    frame.panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.insert("Bottom:5", 0); });
    frame.usb->Unplug();
    QVERIFY(StationTest::WaitFor([&] { return !pView->IsSourcePresent(); }));
    frame.usb->Plug();
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("ShowTestResult : NG NG2"); }, 60000));
    rig.rig.Settle();

    auto marked = [&](const char* szWhen) {
        CStationRig::Flush();
        QVERIFY2(pView->windowTitle() == station + " - " + named.arg(file), qPrintable(szWhen + (": " + pView->windowTitle())));
        QVERIFY2(pMark->isVisibleTo(pView), szWhen);
        QCOMPARE(pMark->text().remove(QChar(0x200B)), named.arg(file));
        QCOMPARE(ShownToolTip(pMark->toolTip()), QDir::toNativeSeparators(path));
        // The replay's own rows only.
        QCOMPARE(ShownVerdict(pView).mid(0, 2), (QStringList{"PASS", "PASS"}));
        QCOMPARE(Child<QTableWidget>(pView, "testResult")->rowCount(), 2);
        // Beside the table, above it, in the side column.
        const QRect table = Child<QTableWidget>(pView, "testResult")->geometry();
        QVERIFY2(pMark->geometry().bottom() <= table.top() && pMark->height() > 0, szWhen);
    };
    CModalBoxAnswerer boxes;
    OpenLog(rig, boxes, path);
    QVERIFY(WaitForReplayOf(rig, path));
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("ShowTestResult : PASS PASS"); }));
    rig.rig.Settle();
    marked("opened");
    QVERIFY(!QTest::currentTestFailed());
    QVERIFY(rig.Screenshot(QStringLiteral("testview_replay_marked_%1.png").arg(language), QSize(1600, 1000)));

    // Closed and opened again (Esc, PgUp): the log is still the source.
    log.Clear();
    QTest::keyClick(pView, Qt::Key_Escape);
    QVERIFY(StationTest::WaitFor([&] { return !pView->isVisible(); }));
    rig.OpenView();
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("ShowTestResult : PASS PASS"); }));
    rig.rig.Settle();
    marked("opened again");
    QVERIFY(!QTest::currentTestFailed());

    // The frame plugged in again is the source: the station's title, no mark.
    // (Its leaving alone leaves the log the source.)
    log.Clear();
    frame.usb->Unplug();
    QVERIFY(StationTest::WaitFor([&] { return rig.work->GetUsbPort()->GetDevCount() == 0; }));
    rig.rig.Settle();
    CStationRig::Flush();
    marked("the frame left");
    QVERIFY(!QTest::currentTestFailed());
    frame.usb->Plug();
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("ShowTestResult : NG NG2"); }, 60000));
    rig.rig.Settle();
    CStationRig::Flush();
    QCOMPARE(pView->windowTitle(), station);
    QVERIFY(!pMark->isVisibleTo(pView));
    QVERIFY(rig.Screenshot(QStringLiteral("testview_replay_replugged_%1.png").arg(language), QSize(1600, 1000)));
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
