// The pages of a run after "StartTestOnce" on the emulated frame: the panel
// diagram and the histograms the view builds from the device object, the
// feeds that colour and fill them (after a run, on every refresh with its
// real-time verdict, and for "RefreshUi"), the resets that take them down,
// and the interface results and curve feeds that nothing wires. A picture of
// the dead-emitter diagram goes to the test-output folder.

#include "histogrambars.h"
#include "modalboxanswerer.h"
#include "panellooks.h"
#include "plotcurve.h"
#include "runlogcapture.h"
#include "signalhistogramview.h"
#include "stationresources.h"
#include "testviewstation.h"
#include "timerthread.h"
#include "touchpaintview.h"
#include "touchsignalqwtchartview.h"
#include "touchsignalview.h"

#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QToolButton>
#include <QTableWidget>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace PanelLooks;

namespace {
using HistogramBars::Bars;
// Runs on a thread of its own, as the refresh timer does.
template <typename Fn>
auto OnOtherThread(Fn fn)
{
    decltype(fn()) result{};
    std::unique_ptr<QThread> pThread(QThread::create([&] { result = fn(); }));
    pThread->start();
    pThread->wait();
    return result;
}

QString SensorLook(CTouchPanelView* pPanel, const QString& id)
{
    return LooksOf(*pPanel).value(QStringLiteral("sensor ") + id);
}

QStringList TableRows(QTableWidget* pTable)
{
    QStringList rows;
    for (int r = 0; r < pTable->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < pTable->columnCount(); ++c)
            cells << (pTable->item(r, c) ? pTable->item(r, c)->text() : QString());
        rows << cells.join(" | ");
    }
    return rows;
}
} // namespace

class TestTestViewFeeds : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void withoutViewsTheFeedsDoNothing();
    void deadEmitterDiagram();
    void histogramsOfARun();
    void silentFrameLeavesTheCharts();
    void refreshFollowsTheFrame_data();
    void refreshFollowsTheFrame();
    void refreshUiOnTheGuiThread();
    void resets();
    void interfaceResults();
    void curveFeeds();

private:
    // A station with one frame (sensor Bottom:5 dark when bDeadEmitter)
    // after its first test; the view's pages built when bViews.
    std::unique_ptr<CTestViewStation> TestedStation(bool bDeadEmitter, bool bViews);
};

void TestTestViewFeeds::initTestCase()
{
    InitStationResources();
    // Every product supports the real-time verdict (read once per process).
    CTestViewStation::WriteParameterTable("********,SupportRealTimeTest:1\n");
}

void TestTestViewFeeds::init()
{
    Settings()->clear();
    // Opening the view starts a run: no prompt, no draw test after it.
    Settings()->SetBool("SupportSNCheck", false);
    Settings()->SetBool("DefaultJumpToDraw", false);
    Settings()->SetBool("SupportRealTimeTest", true);
}

std::unique_ptr<CTestViewStation> TestTestViewFeeds::TestedStation(bool bDeadEmitter, bool bViews)
{
    auto pStation = std::make_unique<CTestViewStation>();
    CStationRig::SFrame& frame = pStation->AddFrame();
    if (bDeadEmitter)
        frame.panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.insert("Bottom:5", 0); });
    // Opening the view runs the first test, which builds the pages.
    if (!pStation->StartOpen())
        return nullptr;
    VeloraTestView* pView = pStation->view;
    pView->on_startTestButton_clicked(false);
    if (!StationTest::WaitFor([pView] { return !pView->TimerThread()->isRunning(); }))
        return nullptr;
    CStationRig::Flush();
    if (!bViews)
        pView->ResetTestView();
    else if (!pView->InitPanelView() || !pView->InitHistogramViews())
        return nullptr;
    return pStation;
}

void TestTestViewFeeds::withoutViewsTheFeedsDoNothing()
{
    {
        // No device object: nothing to feed.
        CTestViewStation station;
        QVERIFY(station.Start());
        QVERIFY(!station.view->InitPanelView());
        QVERIFY(!station.view->InitHistogramViews());
        QVERIFY(!station.view->UpdatePanelView());
        QVERIFY(!station.view->UpdateHistogramView());
        QVERIFY(station.view->UpdateRealTimeData());
    }
    auto pStation = TestedStation(true, false);
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    CRunLogCapture log;
    const int nDrains = pView->DrainsPosted();
    QVERIFY(!pView->UpdatePanelView());
    QVERIFY(!OnOtherThread([pView] { return pView->RefreshPanelView(); }));
    // The histogram feed has no view to fill, and says it ran.
    QVERIFY(pView->UpdateHistogramView());
    CStationRig::Flush();
    // Nothing was handed to the GUI thread.
    QCOMPARE(pView->DrainsPosted(), nDrains);
    QVERIFY(!log.Contains("by name failed"));
}

void TestTestViewFeeds::deadEmitterDiagram()
{
    auto pStation = TestedStation(true, true);
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    CTouchPanelView* pPanel = pView->PanelView();
    QVERIFY(pPanel);
    QCOMPARE(pPanel->parentWidget()->objectName(), QStringLiteral("pannelTab"));
    QVERIFY(pPanel->UpdateTouchPanel(ProblemMap()));
    const Looks sound = LooksOf(*pPanel);

    const ProblemMap problems = pStation->Problems();
    QCOMPARE(problems.value("SENSOR_ERROR"), QList<QString>{"Bottom:5"});
    QVERIFY(pView->UpdatePanelView());
    QCOMPARE(SensorLook(pPanel, "Bottom:5"), Name(Qt::red) + "+label");
    const QList<QString> dark = problems.value("LIGHT_ERROR");
    QCOMPARE(dark.size(), 3);
    for (const QString& path : dark) {
        QVERIFY(path.split('-').contains("Bottom:5"));
        QCOMPARE(LooksOf(*pPanel).value("light " + path), Name(Qt::red));
    }
    // Everything else of the frame looks as before, but the weak receivers.
    Looks changed = LooksOf(*pPanel);
    for (auto it = sound.cbegin(); it != sound.cend(); ++it) {
        if (changed.value(it.key()) == it.value())
            changed.remove(it.key());
    }
    QCOMPARE(changed.size(), 1 + 3 + 3);

    // As the first result shows it: the notice gone.
    pView->NoticeLabel()->hide();
    QVERIFY(pStation->Screenshot("testview-dead-emitter-1115x741.png", QSize(1115, 741)));
    QVERIFY(pStation->Screenshot("testview-dead-emitter-1920x1080.png", QSize(1920, 1080)));
}

void TestTestViewFeeds::histogramsOfARun()
{
    auto pStation = TestedStation(true, true);
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    const QMap<QString, SignalHistogramView*> views = pView->HistogramViews();
    QCOMPARE(views.keys(), (QList<QString>{"X", "Y"}));
    for (SignalHistogramView* pHistogram : views)
        QCOMPARE(pHistogram->parentWidget()->objectName(), QStringLiteral("HistogramTab"));
    const QMap<QString, int> empty{{"X-T0", 0}, {"X-T1", 0}, {"X-T2", 0}, {"Y-T0", 0}, {"Y-T1", 0}, {"Y-T2", 0}};
    QCOMPARE(Bars(views), empty);

    QVERIFY(pView->UpdateHistogramView());
    const QMap<QString, int> full{{"X-T0", 12}, {"X-T1", 12}, {"X-T2", 12}, {"Y-T0", 8}, {"Y-T1", 8}, {"Y-T2", 8}};
    QCOMPARE(Bars(views), full);

    pView->NoticeLabel()->hide();
    Child<QTabWidget>(pView, "touchTabWidget")->setCurrentIndex(1);
    QVERIFY(pStation->Screenshot("testview-histograms-1115x741.png", QSize(1115, 741)));

    // The refresh's readings reach the axis view that holds the key.
    pView->HistogramViews().value("X")->UpdateHistogramData("X-T1", QList<uint32_t>{1, 2, 3});
    QCOMPARE(Bars(pView->HistogramViews()).value("X-T1"), 3);
    QVERIFY(OnOtherThread([pView] { return pView->RefreshHistogramView(); }));
    CStationRig::Flush();
    QCOMPARE(Bars(pView->HistogramViews()), full);
}

// The frame answers no signal chunk: its test fails (the operator is told),
// the axes are known but hold no "ADC" reading, and the feed leaves the
// charts as they are.
void TestTestViewFeeds::silentFrameLeavesTheCharts()
{
    CTestViewStation station;
    CStationRig::SFrame& frame = station.AddFrame();
    QVERIFY(station.Start());
    CTestEnvironment::FastClock(0.001);
    frame.frame.SetFault(0xA5, 0x01, CEmulatedFrame::Silent());
    CModalBoxAnswerer boxes;
    boxes.Answer("Cancel");
    CRunLogCapture log;
    QVERIFY(station.Run("StartTestOnce"));
    QVERIFY(StationTest::WaitFor([&] { return log.Contains("TaskFailed"); }));
    QVERIFY(StationTest::WaitFor([&] { return !boxes.boxes.isEmpty(); }));
    CTestEnvironment::RealClock();
    QVERIFY(!log.Contains("InitTestUi"));

    VeloraTestView* pView = station.view;
    QVERIFY(pView->InitHistogramViews());
    {
        QMutexLocker lock(station.work->GetDeviceMutex());
        CTouchBase* pDevice = station.work->GetTouchDevice();
        QVERIFY(!pDevice->GetAxisSignalMap().isEmpty());
        for (auto it = pDevice->GetAxisSignalMap().cbegin(); it != pDevice->GetAxisSignalMap().cend(); ++it) {
            for (const QString& dir : it.value().GetDirMap().keys()) {
                SignalFrame reading;
                QCOMPARE(pDevice->GetLatestSignal(it.key(), dir, "ADC", reading), 0);
            }
        }
    }
    const QMap<QString, int> before = Bars(pView->HistogramViews());
    QVERIFY(!before.isEmpty());
    QVERIFY(pView->UpdateHistogramView());
    QCOMPARE(Bars(pView->HistogramViews()), before);
}

void TestTestViewFeeds::refreshFollowsTheFrame_data()
{
    QTest::addColumn<bool>("realTime");
    QTest::newRow("with the real-time verdict") << true;
    QTest::newRow("without") << false;
}

// One refresh on the timer's thread: the diagram follows the frame's real
// reading, and the real-time verdict follows the setting. A read that fails
// leaves the diagram as it was.
void TestTestViewFeeds::refreshFollowsTheFrame()
{
    QFETCH(bool, realTime);
    auto pStation = TestedStation(true, true);
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    CTouchPanelView* pPanel = pView->PanelView();
    QVERIFY(pView->UpdatePanelView());
    QCOMPARE(SensorLook(pPanel, "Bottom:5"), Name(Qt::red) + "+label");
    Settings()->SetBool("SupportRealTimeTest", realTime);

    // The emitter works again.
    pStation->rig.Frame().panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.clear(); });
    CRunLogCapture log;
    const int nDrains = pView->DrainsPosted();
    QVERIFY(OnOtherThread([pView] { return pView->RefreshPanelView(); }));
    // The diagram, and the verdict when it is wanted.
    QCOMPARE(pView->DrainsPosted(), nDrains + (realTime ? 2 : 1));
    QVERIFY(StationTest::WaitFor([&] { return SensorLook(pPanel, "Bottom:5") != Name(Qt::red) + "+label"; }));
    CStationRig::Flush();
    QVERIFY(!log.Contains("by name failed"));

    // It fails again, but the frame stops answering: the diagram stays.
    pStation->rig.Frame().panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.insert("Bottom:5", 0); });
    CTestEnvironment::FastClock(0.001);
    pStation->rig.Frame().frame.SetFault(0xA5, 0x01, CEmulatedFrame::Silent());
    const Looks healed = LooksOf(*pPanel);
    QVERIFY(OnOtherThread([pView] { return pView->RefreshPanelView(); }));
    CTestEnvironment::RealClock();
    CStationRig::Flush();
    QCOMPARE(LooksOf(*pPanel), healed);
}

// "RefreshUi" reaches the view on the GUI thread: the diagram and the
// histograms get the device object's results.
void TestTestViewFeeds::refreshUiOnTheGuiThread()
{
    auto pStation = TestedStation(true, true);
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    QVERIFY(SensorLook(pView->PanelView(), "Bottom:5") != Name(Qt::red) + "+label");
    QVERIFY(pStation->Run("RefreshUi"));
    QCOMPARE(SensorLook(pView->PanelView(), "Bottom:5"), Name(Qt::red) + "+label");
    QCOMPARE(Bars(pView->HistogramViews()).value("X-T0"), 12);
}

void TestTestViewFeeds::resets()
{
    auto pStation = TestedStation(false, true);
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    pView->InitDeviceInfoTable();
    pView->StartRefresh();
    QVERIFY(pView->PanelView());
    QVERIFY(StationTest::WaitFor([&] { return pView->TimerThread()->isRunning(); }));
    auto* pDevice = Child<QTableWidget>(pView, "FirmwareInfo");
    auto* pResult = Child<QTableWidget>(pView, "testResult");
    pView->NoticeLabel()->hide();
    pResult->setRowCount(3);

    pView->ResetTestView();
    QVERIFY(!pView->PanelView());
    QVERIFY(pView->HistogramViews().isEmpty());
    QVERIFY(Child<QWidget>(pView, "pannelTab")->findChildren<CTouchPanelView*>().isEmpty());
    QVERIFY(Child<QWidget>(pView, "HistogramTab")->findChildren<SignalHistogramView*>().isEmpty());
    QCOMPARE(TableRows(pDevice), QStringList{"No Information..."});
    QCOMPARE(TableRows(pResult), QStringList{"Unknown..."});
    QVERIFY(pView->NoticeLabel()->isVisible());
    QVERIFY(pView->TimerThread()->isRunning());
    QVERIFY(Child<QToolButton>(pView, "startTestButton")->isChecked());

    // The whole reset also stops the refresh and sets the buttons for the source.
    QVERIFY(pView->InitPanelView());
    pView->SetButtonsEnabled(false);
    pView->DeInitTestUi();
    QVERIFY(!pView->PanelView());
    QVERIFY(StationTest::WaitFor([&] { return !pView->TimerThread()->isRunning(); }));
    QVERIFY(!Child<QToolButton>(pView, "startTestButton")->isChecked());
    QVERIFY(Child<QWidget>(pView, "startTestButton")->isEnabled());
    QVERIFY(Child<QWidget>(pView, "drawButton")->isEnabled());
}

// The interface result table and check, by direct calls (nothing wires them).
void TestTestViewFeeds::interfaceResults()
{
    {
        auto pStation = TestedStation(false, false);
        QVERIFY(pStation);
        VeloraTestView* pView = pStation->view;
        // The frame has neither interface under test: nothing is posted and
        // both results pass.
        CRunLogCapture log;
        QVERIFY(pView->CheckInterfaceTests());
        pStation->rig.Settle();
        QVERIFY(!log.Tasks().contains("ComTestEn") && !log.Tasks().contains("D-UsbTestEn"));
        QCOMPARE(pView->SerialResultWord(), 0u);
        QCOMPARE(pView->SecondUsbResultWord(), 0u);

        // A passing frame: its rows and, with "DefaultJumpToDraw", the draw test.
        Settings()->SetBool("DefaultJumpToDraw", true);
        pView->SetButtonsEnabled(false);
        QVERIFY(pView->ShowInterfaceTestResult({}));
        QCOMPARE(TableRows(Child<QTableWidget>(pView, "testResult")), (QStringList{"Signal Test | PASS", "PASS | "}));
        QVERIFY(Child<QWidget>(pView, "calButton")->isEnabled());
        QVERIFY(pView->TouchPaintView()->isVisible());
        pView->TouchPaintView()->ExitResponse();
    }
    auto pStation = TestedStation(true, false);
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    QMap<QString, QString> errors;
    {
        QMutexLocker lock(pStation->work->GetDeviceMutex());
        errors = pStation->work->GetTouchDevice()->GetSignalErrors();
    }
    QVERIFY(!errors.isEmpty());
    QVERIFY(pView->ShowInterfaceTestResult(errors));
    auto* pTable = Child<QTableWidget>(pView, "testResult");
    QCOMPARE(TableRows(pTable), (QStringList{"Signal Test | NG2", "NG | "}));
    QCOMPARE(pTable->columnSpan(1, 0), 2);
    QCOMPARE(pTable->item(1, 0)->background().color(), QColor(Qt::red));
    QVERIFY(!pView->TouchPaintView()->isVisible());
}

// The curve views of the axes (built here: nothing in the view builds them)
// get the latest readings, or fresh ones with the real-time verdict.
void TestTestViewFeeds::curveFeeds()
{
    auto pStation = TestedStation(false, false);
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    QMap<QString, CTouchSignalView*> curves;
    std::vector<std::unique_ptr<CTouchSignalView>> owned;
    {
        QMutexLocker lock(pStation->work->GetDeviceMutex());
        QMap<QString, CAxisSignalInfo>& axes = pStation->work->GetTouchDevice()->GetAxisSignalMap();
        for (auto it = axes.cbegin(); it != axes.cend(); ++it) {
            owned.push_back(std::make_unique<CTouchSignalView>(&it.value()));
            curves.insert(it.key(), owned.back().get());
        }
    }
    auto samples = [&curves] {
        QMap<QString, int> out;
        for (auto it = curves.cbegin(); it != curves.cend(); ++it)
            for (auto c = it.value()->Curves().cbegin(); c != it.value()->Curves().cend(); ++c)
                out.insert(it.key() + " " + c.key(), int(c.value()->dataSize()));
        return out;
    };
    QVERIFY(!samples().isEmpty());
    QVERIFY(pView->UpdateCurveViews(curves));
    const QMap<QString, int> fed = samples();
    int nAdc = 0;
    for (auto it = fed.cbegin(); it != fed.cend(); ++it) {
        if (it.key().endsWith("_ADC")) {
            QCOMPARE(it.value(), it.key().startsWith("X") ? 12 : 8);
            ++nAdc;
        }
    }
    QCOMPARE(nAdc, 6);

    CRunLogCapture log;
    const int nDrains = pView->DrainsPosted();
    QVERIFY(pView->UpdateCurveViewsRealTime(curves));
    QCOMPARE(pView->DrainsPosted(), nDrains + 1);
    CStationRig::Flush();
    QVERIFY(!log.Contains("by name failed"));
}

STATION_TEST_MAIN(TestTestViewFeeds)
#include "tst_testviewfeeds.moc"
