// The automatic continuation of upgrades and the reply watchdog, in the real
// main window over the real dispatcher. The frame stays attached in its
// application (it takes every jump to its bootloader and stays), so every
// upgrade the view starts reaches the dispatcher, while the statuses and the
// device information that end an upgrade are given by the test. The
// watchdog ticks only when the test ticks it.

#include "runlogcapture.h"
#include "stationresources.h"
#include "upgradestation.h"

#include <QtTest>

class TestUpgradeContinuation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void continuationAndWatchdog_data();
    void continuationAndWatchdog();

private:
    std::unique_ptr<CUpgradeStation> m;
};

void TestUpgradeContinuation::initTestCase()
{
    InitStationResources();
}

void TestUpgradeContinuation::init()
{
    CTestEnvironment::FastClock(0.02);
    CCustomerSettings::GetInstance()->clear();
}

void TestUpgradeContinuation::cleanup()
{
    m.reset();
    CTestEnvironment::RealClock();
}

void TestUpgradeContinuation::continuationAndWatchdog_data()
{
    // Stored before the view is built: "EnableAutoUpgrade",
    // "EnableContinuousUpgrade", "AutoUpgradeCount" (text as given).
    QTest::addColumn<QStringList>("settings");
    // Steps separated by ";":
    //   start     the operator presses "Upgrade"
    //   complete  the frame leaves, as the dispatcher announced, and comes
    //             back with its device information in application mode (it
    //             completes a running upgrade, or is a frame's report while
    //             the view is idle)
    //   ready, progress, log, error
    //             the dispatcher's "UpgradeReady", "ProgressUpdate",
    //             "UpdateLog", "UpdateError"
    //   tick      a period of the watchdog (when it runs)
    //   hide      the view is hidden
    //   count=N   the settings dialog stores "AutoUpgradeCount" N and
    //             confirms
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("starts");           // "Enter upgrade mode" rows
    QTest::addColumn<QStringList>("endings");  // rows with the counts, in order
    QTest::addColumn<bool>("upgrading");       // at the end

    const QStringList limited1{"1", "0", "1"};
    const QStringList limited3{"1", "0", "3"};
    const QStringList continuous{"1", "1", "1"};

    // The seven cases of the continuation and the watchdog.
    QTest::newRow("limited, count 1: nothing after the first")
        << limited1 << "start;complete;complete" << 1 << QStringList{"Update completed(1,0)"} << false;
    QTest::newRow("limited, count 3: two more, then a report starts nothing")
        << limited3 << "start;complete;complete;complete;complete" << 3
        << QStringList{"Update completed(1,0)", "Update completed(2,0)", "Update completed(3,0)"} << false;
    QTest::newRow("on, but never started by hand") << continuous << "complete;complete" << 0 << QStringList{}
                                                    << false;
    QTest::newRow("continuous: three completions, the fourth starting")
        << continuous << "start;complete;complete;complete" << 4
        << QStringList{"Update completed(1,0)", "Update completed(2,0)", "Update completed(3,0)"} << true;
    QTest::newRow("a status every period keeps the watchdog quiet")
        << limited1 << "start;ready;tick;progress;tick;progress;tick;progress;tick;progress;tick;progress;tick;"
                       "progress;tick;progress;tick;tick;tick;tick;progress;tick;progress;tick"
        << 1 << QStringList{} << true;
    QTest::newRow("UpdateLog is no status: the sixth tick ends it")
        << limited1 << "start;ready;tick;log;tick;log;tick;log;tick;log;tick;log;tick" << 1
        << QStringList{"No reply for a long time, exit the upgrade(0,1)"} << false;
    QTest::newRow("no status after UpgradeReady: the sixth tick ends it")
        << limited1 << "start;ready;tick;tick;tick;tick;tick;tick" << 1
        << QStringList{"No reply for a long time, exit the upgrade(0,1)"} << false;
    QTest::newRow("hidden at the completion: no continuation")
        << continuous << "start;hide;complete" << 1 << QStringList{"Update completed(1,0)"} << false;

    // Around them.
    QTest::newRow("off") << QStringList{"0", "1", "5"} << "start;complete;complete" << 1
                         << QStringList{"Update completed(1,0)"} << false;
    QTest::newRow("continuous mode 7 is limited") << QStringList{"1", "7", "2"} << "start;complete;complete" << 2
                                                  << QStringList{"Update completed(1,0)", "Update completed(2,0)"}
                                                  << false;
    QTest::newRow("count -3") << QStringList{"1", "0", "-3"} << "start;complete;complete" << 1
                              << QStringList{"Update completed(1,0)"} << false;
    QTest::newRow("count as text") << QStringList{"1", "0", "three"} << "start;complete" << 1
                                   << QStringList{"Update completed(1,0)"} << false;
    QTest::newRow("count at the bottom of int") << QStringList{"1", "0", "-2147483648"} << "start;complete;complete"
                                                << 1 << QStringList{"Update completed(1,0)"} << false;
    QTest::newRow("a failure ends the run; a report while idle goes on")
        << continuous << "start;complete;error;complete" << 3
        << QStringList{"Update completed(1,0)", "Transfer timeout(1,1)"} << true;
    QTest::newRow("the settings reload the count")
        << limited1 << "start;complete;complete;count=3;complete;complete;complete" << 3
        << QStringList{"Update completed(1,0)", "Update completed(2,0)", "Update completed(3,0)"} << false;
    QTest::newRow("the watchdog's end is a failure: no continuation")
        << continuous << "start;ready;tick;tick;tick;tick;tick;tick" << 1
        << QStringList{"No reply for a long time, exit the upgrade(0,1)"} << false;
}

void TestUpgradeContinuation::continuationAndWatchdog()
{
    QFETCH(QStringList, settings);
    QFETCH(QString, script);
    QFETCH(int, starts);
    QFETCH(QStringList, endings);
    QFETCH(bool, upgrading);

    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    pSettings->SetString(QStringLiteral("EnableAutoUpgrade"), settings[0]);
    pSettings->SetString(QStringLiteral("EnableContinuousUpgrade"), settings[1]);
    pSettings->SetString(QStringLiteral("AutoUpgradeCount"), settings[2]);
    m = std::make_unique<CUpgradeStation>();
    QVERIFY(m->watchdog);
    m->WriteImage(4);
    m->StallJump();
    QVERIFY(m->Open());
    QVERIFY(m->PlugApplicationFrame());
    const int nFirst = m->Rows().size();
    const QList<QPair<QString, QString>> info{{"Product", "P1"}, {"Pid", "0x0013"}};

    for (const QString& step : script.split(';')) {
        if (step == QLatin1String("start")) {
            QVERIFY(m->UpgradeButton()->isEnabled());
            QTest::mouseClick(m->UpgradeButton(), Qt::LeftButton);
        } else if (step == QLatin1String("complete")) {
            emit m->work->EmitDeviceEnumerateState(true);
            m->view->InsertUsbDeviceForUpgrade(false);
            m->view->InsertUsbDeviceForUpgrade(true);
            emit m->window->UpdateChildViewDeviceInfo(info);
        } else if (step == QLatin1String("ready")) {
            m->Emit("UpgradeReady", "Start the upgrade", 640);
        } else if (step == QLatin1String("progress")) {
            m->Emit("ProgressUpdate", QString(), 64);
        } else if (step == QLatin1String("log")) {
            m->Emit("UpdateLog", "Ready to upgrade", 0);
        } else if (step == QLatin1String("error")) {
            m->Emit("UpdateError", "Transfer timeout", 64);
        } else if (step == QLatin1String("tick")) {
            m->TickWatchdog();
        } else if (step == QLatin1String("hide")) {
            m->view->hide();
        } else if (step.startsWith(QLatin1String("count="))) {
            pSettings->SetString(QStringLiteral("AutoUpgradeCount"), step.mid(6));
            m->view->UpdateSettingParameter(true);
        } else {
            QFAIL(qPrintable("unknown step " + step));
        }
        // Whatever the view started has reached the dispatcher.
        QVERIFY(m->Settle());
    }

    const QStringList rows = m->RowsFrom(nFirst);
    QCOMPARE(rows.count(QStringLiteral("Enter upgrade mode")), starts);
    // Every start the dispatcher took sent the frame to its bootloader.
    QCOMPARE(rows.count(QStringLiteral("Jump to bootloader")), starts);
    QStringList counted;
    const QRegularExpression counts(QStringLiteral("\\(\\d+,\\d+\\)$"));
    for (const QString& row : rows) {
        if (counts.match(row).hasMatch())
            counted << row;
    }
    QCOMPARE(counted, endings);
    QCOMPARE(!m->ControlsEnabled(), upgrading);
    // The watchdog runs only while an upgrade waits for a status.
    if (!upgrading)
        QVERIFY(!m->watchdog->isActive());
}

STATION_TEST_MAIN(TestUpgradeContinuation)
#include "tst_upgradecontinuation.moc"
