// The end of the station while a task waits for a silent frame: the main
// window goes with a task running on the worker thread and another queued
// behind it. Before, the views went first and the running task answered a
// deleted view (a segmentation fault); a queued task could call a getter on
// one. Now the worker stops first, then the views go, then the dispatcher.

#include "customersettings.h"
#include "handlework.h"
#include "mainwindow.h"
#include "runlogcapture.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "veloracalibrateview.h"
#include "veloratestview.h"
#include "veloraupgradeview.h"
#include "waitfor.h"

#include <QtTest>

#include <memory>

class TestShutdown : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowGoesWhileATaskWaits_data();
    void windowGoesWhileATaskWaits();

private:
    std::unique_ptr<CStationRig> m_pRig;
    std::unique_ptr<CScopedWorkDir> m_pWorkDir;
};

void TestShutdown::init()
{
    // Real waits: the frame's silence must outlast the test by far.
    CTestEnvironment::RealClock();
    CCustomerSettings::GetInstance()->clear();
    m_pWorkDir = std::make_unique<CScopedWorkDir>();
    m_pRig = std::make_unique<CStationRig>();
}

void TestShutdown::cleanup()
{
    m_pRig.reset();
    m_pWorkDir.reset();
}

void TestShutdown::windowGoesWhileATaskWaits_data()
{
    QTest::addColumn<QString>("queued");    // posted behind the waiting task; empty: none
    QTest::addColumn<QString>("posterView"); // the view the queued task carries
    QTest::addColumn<QString>("request");   // what the frame must never see, "cmd sub"

    // The waiting task itself answers its view (ShowReverseData) when it ends.
    QTest::newRow("a view's answer") << "" << "" << "";
    // Tasks whose first act is a getter on their view, on the worker thread.
    QTest::newRow("GetLogFilePath") << "OpenTestLog" << "VeloraTestView" << "";
    QTest::newRow("GetAgcValue") << "SetR&TAgc" << "VeloraTestView" << "A8 04";
    // "Start_Upgrade" calls no getter: it carries its image.
    QTest::newRow("Start_Upgrade") << "Start_Upgrade" << "VeloraUpgradeView" << "AA 04";
}

void TestShutdown::windowGoesWhileATaskWaits()
{
    QFETCH(QString, queued);
    QFETCH(QString, posterView);
    QFETCH(QString, request);

    CStationRig::SFrame& frame = m_pRig->AddFrame();
    // The frame never answers the reverse-mode command.
    frame.frame.SetFault(0xA8, 0x08, CEmulatedFrame::Silent());
    CRunLogCapture log;
    auto* pWindow = new MainWindow;
    pWindow->show();
    HandleWork* pWork = pWindow->GetHandleWork();
    frame.usb->Plug();
    QVERIFY(StationTest::WaitFor([pWork] { return pWork->GetDeviceKind() == HandleWork::DeviceKind::Live; }));
    QVERIFY(pWork->PostTask("Sync", Qt::BlockingQueuedConnection)); // the frame's first task has run
    const QString image = QDir::current().absoluteFilePath("image.bin");

    auto* pTestView = pWindow->findChild<VeloraTestView*>();
    QVERIFY(pWork->PostTask("OpenReverse", Qt::AutoConnection, pTestView));
    QVERIFY(StationTest::WaitFor([pWork] { return pWork->IsTaskRunning("OpenReverse"); }));
    if (!queued.isEmpty()) {
        QObject* pPoster = posterView == "VeloraUpgradeView" ? static_cast<QObject*>(pWindow->findChild<VeloraUpgradeView*>())
                                                             : pTestView;
        QVERIFY(pWork->PostTask(queued, Qt::AutoConnection, pPoster, image));
    }
    frame.frame.ClearRequests();

    // What each view and the dispatcher find when they go.
    QStringList order;
    bool bWorkerStoppedForEveryView = true;
    const QList<QObject*> views{pTestView, pWindow->findChild<VeloraCalibrateView*>(),
                                pWindow->findChild<VeloraUpgradeView*>()};
    for (QObject* pView : views) {
        connect(pView, &QObject::destroyed, this, [&order, &bWorkerStoppedForEveryView, pWork, pView] {
            order << QStringLiteral("view");
            bWorkerStoppedForEveryView = bWorkerStoppedForEveryView && pWork->IsWorkerStopped();
        }, Qt::DirectConnection);
    }
    connect(pWork, &QObject::destroyed, this, [&order] { order << QStringLiteral("dispatcher"); },
            Qt::DirectConnection);

    QElapsedTimer timer;
    timer.start();
    delete pWindow;

    QVERIFY(bWorkerStoppedForEveryView);
    QCOMPARE(order, (QStringList{"view", "view", "view", "dispatcher"}));
    // The waiting task was ended, not waited for, and not killed.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(log.Count("Terminate Thread."), 0);
    QVERIFY(log.Contains("StopWorker : the worker thread has stopped."));
    // The queued task never ran: its getter was not called, the frame saw
    // nothing of it.
    if (!queued.isEmpty()) {
        const QStringList lines = log.Lines();
        const QString started = QStringLiteral("ProcessTask :task = ") + queued;
        QCOMPARE(lines.count(started), lines.count(started + " dropped, the station is closing"));
        QVERIFY(log.Lines(QtWarningMsg).filter("no view answers").isEmpty());
    }
    if (!request.isEmpty()) {
        const QStringList parts = request.split(' ');
        QCOMPARE(frame.frame.RequestsFor(quint8(parts[0].toUInt(nullptr, 16)), quint8(parts[1].toUInt(nullptr, 16))).size(), 0);
    }
}

STATION_TEST_MAIN(TestShutdown)
#include "tst_shutdown.moc"
