// The refresh of a run, one tick at a time on a thread of its own as the
// timer runs it: the page shown decides the work, the frame steps on only
// when a page took it, the real-time verdict follows the setting, and what
// the ticks hand to the GUI thread never piles up.

#include "histogrambars.h"
#include "panellooks.h"
#include "runlogcapture.h"
#include "signalhistogramview.h"
#include "stationresources.h"
#include "testviewstation.h"
#include "timerthread.h"
#include "touchsignalqwtchartview.h"

#include <QTabWidget>
#include <QTableWidget>
#include <QThread>
#include <QtTest>

#include <memory>

using namespace PanelLooks;

namespace {
using HistogramBars::Bars;
// Runs on a thread of its own, as the refresh timer does; returns once done.
template <typename Fn>
void OnOtherThread(Fn fn)
{
    std::unique_ptr<QThread> pThread(QThread::create(fn));
    pThread->start();
    pThread->wait();
}

void Tick(VeloraTestView* pView, int nTimes = 1)
{
    OnOtherThread([pView, nTimes] {
        for (int i = 0; i < nTimes; ++i)
            VeloraTestView::RefreshTimer_CB(pView);
    });
}

uint32_t FrameNumber(CTestViewStation& station)
{
    QMutexLocker lock(station.work->GetDeviceMutex());
    return station.work->GetTouchDevice()->GetFrameNumber();
}

// Every cell of the result table: text, tooltip and colour.
QStringList TableOf(VeloraTestView* pView)
{
    QStringList cells;
    const QTableWidget* pTable = Child<QTableWidget>(pView, "testResult");
    for (int r = 0; r < pTable->rowCount(); ++r) {
        for (int c = 0; c < pTable->columnCount(); ++c) {
            const QTableWidgetItem* pItem = pTable->item(r, c);
            cells << (pItem ? pItem->text() + "|" + pItem->toolTip() + "|" + pItem->foreground().color().name()
                            : QStringLiteral("-"));
        }
    }
    return cells;
}

QString Overall(VeloraTestView* pView)
{
    const QTableWidgetItem* pItem = Child<QTableWidget>(pView, "testResult")->item(0, 0);
    return pItem ? pItem->text() : QString();
}
} // namespace

class TestTestRefresh : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void panelPage();
    void histogramPage();
    void noPageTakesTheFrame();
    void withoutSourceNothing();
    void verdictFollowsTheSetting_data();
    void verdictFollowsTheSetting();
    void ticksWhileTheGuiIsBusy();
    void verdictAsTheTableReadsIt();
    void noFrameReadWhileAFirstResultIsBuilt();

private:
    // A station after its first run with the dead emitter, refresh stopped.
    std::unique_ptr<CTestViewStation> RunStation();
};

void TestTestRefresh::initTestCase()
{
    InitStationResources();
    CTestViewStation::WriteParameterTable("********,SupportRealTimeTest:1\n");
}

void TestTestRefresh::init()
{
    Settings()->clear();
    Settings()->SetBool("SupportSNCheck", false);
    Settings()->SetBool("DefaultJumpToDraw", false);
    Settings()->SetBool("DefaultTouchEnable", true);
    Settings()->SetBool("SupportRealTimeTest", true);
}

std::unique_ptr<CTestViewStation> TestTestRefresh::RunStation()
{
    auto pStation = std::make_unique<CTestViewStation>();
    pStation->AddFrame().panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.insert("Bottom:5", 0); });
    if (!pStation->Start())
        return nullptr;
    pStation->OpenView();
    VeloraTestView* pView = pStation->view;
    if (!StationTest::WaitFor([pView] { return !pView->IsTestRunning() && pView->PanelView(); }))
        return nullptr;
    pView->on_startTestButton_clicked(false);
    if (!StationTest::WaitFor([pView] { return !pView->TimerThread()->isRunning(); }))
        return nullptr;
    pStation->rig.Settle();
    CStationRig::Flush();
    return pStation;
}

// The panel page: the diagram follows the frame's reading of this tick, and
// one real-time verdict comes with it.
void TestTestRefresh::panelPage()
{
    auto pStation = RunStation();
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    pView->on_rectButton_clicked();
    QCOMPARE(pView->VisiblePage(), VeloraTestView::EPage::Panel);
    QCOMPARE(LooksOf(*pView->PanelView()).value("sensor Bottom:5"), Name(Qt::red) + "+label");
    QCOMPARE(Overall(pView), QStringLiteral("NG"));

    // The emitter works again.
    pStation->rig.Frame().panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.clear(); });
    const uint32_t nFrame = FrameNumber(*pStation);
    const int nDrains = pView->DrainsPosted();
    Tick(pView);
    QCOMPARE(FrameNumber(*pStation), nFrame + 1);
    QCOMPARE(pView->DrainsPosted(), nDrains + 2);
    CStationRig::Flush();
    QVERIFY(LooksOf(*pView->PanelView()).value("sensor Bottom:5") != Name(Qt::red) + "+label");
    QCOMPARE(Overall(pView), QStringLiteral("PASS"));
}

// The histogram page: one reading per axis and direction, and one verdict.
void TestTestRefresh::histogramPage()
{
    auto pStation = RunStation();
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    pView->on_histogramButton_clicked();
    QCOMPARE(pView->VisiblePage(), VeloraTestView::EPage::Histogram);
    // Emptied, so that the tick's readings show.
    for (SignalHistogramView* pHistogram : pView->HistogramViews()) {
        for (const QString& key : pHistogram->Charts().keys())
            pHistogram->UpdateHistogramData(key, {});
    }
    const uint32_t nFrame = FrameNumber(*pStation);
    pView->ResetWaitingValues();
    Tick(pView);
    QCOMPARE(FrameNumber(*pStation), nFrame + 1);
    QCOMPARE(pView->WaitingValues(), 6 + 1);
    CStationRig::Flush();
    QCOMPARE(pView->WaitingValues(), 0);
    const QMap<QString, int> full{{"X-T0", 12}, {"X-T1", 12}, {"X-T2", 12}, {"Y-T0", 8}, {"Y-T1", 8}, {"Y-T2", 8}};
    QCOMPARE(Bars(pView->HistogramViews()), full);
    QCOMPARE(Overall(pView), QStringLiteral("NG"));
}

// No page that refreshes, or no views: the frame goes forward and back.
void TestTestRefresh::noPageTakesTheFrame()
{
    auto pStation = RunStation();
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    pView->on_rectButton_clicked();
    pView->DeInitTestUi();
    // The source stays: the views are gone.
    QVERIFY(pView->IsSourcePresent());
    const uint32_t nFrame = FrameNumber(*pStation);
    const int nDrains = pView->DrainsPosted();
    Tick(pView, 3);
    QCOMPARE(FrameNumber(*pStation), nFrame);
    QCOMPARE(pView->DrainsPosted(), nDrains);
}

void TestTestRefresh::withoutSourceNothing()
{
    auto pStation = RunStation();
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    pView->on_histogramButton_clicked();
    QVERIFY(pView->close());
    pStation->rig.Frame().usb->Unplug();
    QVERIFY(StationTest::WaitFor([pView] { return !pView->IsSourcePresent(); }));
    const uint32_t nFrame = FrameNumber(*pStation);
    const int nDrains = pView->DrainsPosted();
    Tick(pView);
    QCOMPARE(FrameNumber(*pStation), nFrame);
    QCOMPARE(pView->DrainsPosted(), nDrains);
}

void TestTestRefresh::verdictFollowsTheSetting_data()
{
    QTest::addColumn<bool>("realTime");
    QTest::newRow("real-time verdict on") << true;
    QTest::newRow("off") << false;
}

void TestTestRefresh::verdictFollowsTheSetting()
{
    QFETCH(bool, realTime);
    auto pStation = RunStation();
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    pView->on_rectButton_clicked();
    pStation->rig.Frame().panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.clear(); });
    // Read at every tick.
    Settings()->SetBool("SupportRealTimeTest", realTime);
    pView->ResetWaitingValues();
    Tick(pView);
    QCOMPARE(pView->WaitingValues(), realTime ? 2 : 1);
    CStationRig::Flush();
    QCOMPARE(Overall(pView), QString(realTime ? "PASS" : "NG"));
}

// Many ticks while the GUI thread does not come round: one value per key
// waits, one drain per box was asked for, and the latest values are shown.
void TestTestRefresh::ticksWhileTheGuiIsBusy()
{
    auto pStation = RunStation();
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    pView->on_histogramButton_clicked();
    pView->ResetWaitingValues();
    const int nDrains = pView->DrainsPosted();
    Tick(pView, 20);
    // The emitter works again for the last ticks.
    pStation->rig.Frame().panel.Edit([](CEmulatedPanel::Model& m) { m.sensorAdc.clear(); });
    Tick(pView, 5);
    QCOMPARE(pView->MostWaitingValues(), 6 + 1);
    QCOMPARE(pView->DrainsPosted(), nDrains + 2);
    CRunLogCapture log;
    CStationRig::Flush();
    QCOMPARE(pView->WaitingValues(), 0);
    QCOMPARE(Overall(pView), QStringLiteral("PASS"));
    QVERIFY(!log.Contains("by name failed"));
}

// A real-time verdict, read along with the tick, shows what the table shows
// when it reads the device object itself: the signal test's code and
// detail, the checks on the frame's properties and the LED rows (an equal
// result is not built again, so any difference would show).
void TestTestRefresh::verdictAsTheTableReadsIt()
{
    auto pStation = RunStation();
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    pView->on_rectButton_clicked();
    Settings()->SetBool("SupportSNCheck", true);
    Settings()->SetBool("FirmwareCheckEnable", true);
    Settings()->SetBool("SNChecksumCheckEnable", true);
    Tick(pView);
    CStationRig::Flush();
    const QStringList shown = TableOf(pView);
    QVERIFY2(shown.size() >= 2 * 6, qPrintable(shown.join('\n'))); // overall, four checks, an LED
    QVERIFY(shown.join('\n').contains("NG2|"));
    QMap<QString, QString> errors;
    {
        QMutexLocker lock(pStation->work->GetDeviceMutex());
        errors = pStation->work->GetTouchDevice()->GetSignalErrors();
    }
    QVERIFY(!errors.isEmpty());
    QVERIFY(pView->ShowTestResult(errors, false));
    QCOMPARE(TableOf(pView), shown);
}

// A first result is built from the run's own frame: until the GUI thread's
// event loop turns again, the refresh it started reads no frame (and the
// GUI thread waits behind no frame read); the next turn, it reads again.
void TestTestRefresh::noFrameReadWhileAFirstResultIsBuilt()
{
    auto pStation = RunStation();
    QVERIFY(pStation);
    VeloraTestView* pView = pStation->view;
    pView->on_rectButton_clicked();
    QMap<QString, QString> errors;
    {
        QMutexLocker lock(pStation->work->GetDeviceMutex());
        errors = pStation->work->GetTouchDevice()->GetSignalErrors();
    }
    QVERIFY(!errors.isEmpty());
    const uint32_t nFrame = FrameNumber(*pStation);
    CRunLogCapture log;
    pView->InitTestUi(errors);
    QVERIFY(pView->TimerThread()->isRunning());
    QCOMPARE(Overall(pView), QStringLiteral("NG"));
    pStation->rig.Frame().frame.ClearRequests();
    Tick(pView, 3);
    QCOMPARE(FrameNumber(*pStation), nFrame);
    QCOMPARE(pStation->rig.Frame().frame.RequestCount(), 0);

    pView->StopRefresh();
    QVERIFY(StationTest::WaitFor([pView] { return !pView->TimerThread()->isRunning(); }));
    // The result is filed in turns of its own; until its log is saved the
    // refresh holds the frame it shows.
    QVERIFY(StationTest::WaitFor([&log] { return log.Count(QStringLiteral("SaveLogDataAuto")) == 1; }));
    const uint32_t nNext = FrameNumber(*pStation);
    Tick(pView);
    QCOMPARE(FrameNumber(*pStation), nNext + 1);
    QVERIFY(pStation->rig.Frame().frame.RequestCount() > 0);
}

STATION_TEST_MAIN(TestTestRefresh)
#include "tst_testrefresh.moc"
