// The refresh of a run for a product whose parameter table does not allow
// the real-time verdict (the table is read once per process): the diagram
// still follows the frame, no verdict is handed over.

#include "stationresources.h"
#include "testviewstation.h"
#include "timerthread.h"

#include <QThread>
#include <QtTest>

#include <memory>

class TestTestRefreshProduct : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void noVerdictForTheProduct();
};

void TestTestRefreshProduct::initTestCase()
{
    InitStationResources();
    CTestViewStation::WriteParameterTable("********,SupportRealTimeTest:0\n");
}

void TestTestRefreshProduct::noVerdictForTheProduct()
{
    Settings()->clear();
    Settings()->SetBool("SupportSNCheck", false);
    Settings()->SetBool("DefaultJumpToDraw", false);
    Settings()->SetBool("DefaultTouchEnable", true);
    // The station's setting allows it; the product's table does not.
    Settings()->SetBool("SupportRealTimeTest", true);
    CTestViewStation station;
    station.AddFrame();
    QVERIFY(station.Start());
    station.OpenView();
    VeloraTestView* pView = station.view;
    QVERIFY(StationTest::WaitFor([pView] { return !pView->IsTestRunning() && pView->PanelView(); }));
    pView->on_startTestButton_clicked(false);
    QVERIFY(StationTest::WaitFor([pView] { return !pView->TimerThread()->isRunning(); }));
    CStationRig::Flush();

    pView->on_rectButton_clicked();
    pView->ResetWaitingValues();
    std::unique_ptr<QThread> pTick(QThread::create([pView] { VeloraTestView::RefreshTimer_CB(pView); }));
    pTick->start();
    pTick->wait();
    // The diagram only.
    QCOMPARE(pView->WaitingValues(), 1);
    CStationRig::Flush();
    QCOMPARE(pView->WaitingValues(), 0);
}

STATION_TEST_MAIN(TestTestRefreshProduct)
#include "tst_testrefreshproduct.moc"
