// The key that pulls the emulated frame out and plugs it back in, in a run
// with an emulated frame: it reaches the station from the main panel and from
// each work view (the main panel is disabled while one is open, and the views
// are windows of their own), and the station sees the frame leave and return.

#include "comportusb.h"
#include "emulatedplugcontrol.h"
#include "emulatedstationframe.h"
#include "handlework.h"
#include "mainwindow.h"
#include "modalboxanswerer.h"
#include "qmain.h"
#include "runlogcapture.h"
#include "stationclock.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "veloracalibrateview.h"
#include "veloraupgradeview.h"
#include "waitfor.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QToolButton>
#include <QWindow>
#include <QtTest>

#include <memory>

class TestEmulatedPlugControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keyPullsAndPlugsFromEveryWindow_data();
    void keyPullsAndPlugsFromEveryWindow();
};

void TestEmulatedPlugControl::initTestCase()
{
    InitStationResources();
    QVERIFY(QFile::copy(QStringLiteral(STATION_SAMPLE_TABLE),
                        QDir::current().filePath(QStringLiteral("TouchTestInfo-V0001.csv"))));
    CStationClock::SetSleepHook([](int) {});
}

void TestEmulatedPlugControl::keyPullsAndPlugsFromEveryWindow_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("main panel") << "main";
    QTest::newRow("calibration view") << "calibration";
    QTest::newRow("upgrade view") << "upgrade";
}

void TestEmulatedPlugControl::keyPullsAndPlugsFromEveryWindow()
{
    QFETCH(QString, window);
    QCOMPARE(CEmulatedPlugControl::ToggleKey().toString(), QStringLiteral("Ctrl+Shift+F12"));

    CRunLogCapture log;
    CModalBoxAnswerer boxes;
    std::unique_ptr<CEmulatedStationFrame> pFrame = StartEmulatedFrame(QStringLiteral("healthy"));
    QVERIFY(pFrame);
    {
        MainWindow mainWindow;
        CEmulatedPlugControl control(pFrame.get());
        mainWindow.show();
        QVERIFY(QTest::qWaitForWindowExposed(&mainWindow));
        HandleWork* pWork = mainWindow.GetHandleWork();
        QVERIFY(StationTest::WaitFor([&] { return log.Contains(QStringLiteral("InitDeviceInfo : the frame's information is read")); }));

        QWidget* pTarget = &mainWindow;
        if (window != QLatin1String("main")) {
            const char* szButton = window == QLatin1String("calibration") ? "calToolButton" : "upgradeToolButton";
            mainWindow.findChild<QToolButton*>(QLatin1String(szButton))->click();
            if (window == QLatin1String("calibration"))
                pTarget = mainWindow.findChild<VeloraCalibrateView*>();
            else
                pTarget = mainWindow.findChild<VeloraUpgradeView*>();
            QVERIFY(pTarget && pTarget->isWindow());
            QVERIFY(QTest::qWaitForWindowExposed(pTarget));
            QVERIFY(!mainWindow.findChild<QWidget*>(QStringLiteral("controlwidget"))->isEnabled());
        }
        pTarget->activateWindow();
        QSignalSpy status(pWork, &HandleWork::EmitDeviceStatusToUIObject);
        log.Clear();

        // Another key, or F12 alone, does nothing of the kind.
        QTest::keyClick(pTarget->windowHandle(), Qt::Key_F12);
        QTest::keyClick(pTarget->windowHandle(), Qt::Key_F11, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(pFrame->IsPlugged());

        QTest::keyClick(pTarget->windowHandle(), Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(!pFrame->IsPlugged());
        QVERIFY(StationTest::WaitFor([&] { return !status.isEmpty(); }));
        QCOMPARE(status.takeFirst().at(0).toBool(), false);
        QCOMPARE(log.Lines().filter(QStringLiteral("[emulated frame] Pulled out (Ctrl+Shift+F12)")).size(), 1);
        QVERIFY(StationTest::WaitFor([&] { return pWork->GetUsbPort()->GetDevCount() == 0; }));
        QCoreApplication::processEvents();
        QVERIFY(pTarget->grab().save(CTestEnvironment::OutputDir()
                                     + QStringLiteral("/emulated-pulled-from-%1.png").arg(window)));

        QTest::keyClick(pTarget->windowHandle(), Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(pFrame->IsPlugged());
        QVERIFY(StationTest::WaitFor([&] { return !status.isEmpty(); }));
        QCOMPARE(status.takeFirst().at(0).toBool(), true);
        QCOMPARE(log.Lines().filter(QStringLiteral("[emulated frame] Plugged in again (Ctrl+Shift+F12)")).size(), 1);
        QVERIFY(boxes.boxes.isEmpty());
    }
    pFrame.reset();
}

STATION_TEST_MAIN(TestEmulatedPlugControl)
#include "tst_emulatedplugcontrol.moc"
