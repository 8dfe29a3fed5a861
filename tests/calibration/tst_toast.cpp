// The toast: its colours, its place on the primary screen, the two seconds
// it shows (a second tip restarts them), the label that hides it, and the
// window flags that keep it from taking the focus. (That the focus really
// stays is checked in a real X server: toastfocus_x11.cpp.)

#include "stationclock.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "toast.h"
#include "toastdlg.h"
#include "toastrecorder.h"

#include <QAbstractEventDispatcher>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QtTest>

namespace {
// The hide timers the toast has running: (id, interval, type).
QList<QAbstractEventDispatcher::TimerInfo> Timers()
{
    return QAbstractEventDispatcher::instance()->registeredTimers(CToast::Instance());
}
} // namespace

class TestToast : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void backgroundPerLevel_data();
    void backgroundPerLevel();
    void cornerOnTheScreen_data();
    void cornerOnTheScreen();
    void showsAtTheCornerOfTheRealScreen();
    void secondTipRestartsTheTwoSeconds();
    void everyTipIsRecorded();
    void timerHidesIt();
    void releaseOnTheCloseLabelHidesIt_data();
    void releaseOnTheCloseLabelHidesIt();
    void neverAsksForTheFocus();
    void oneInstance();
};

void TestToast::initTestCase()
{
    InitStationResources();
    CTestEnvironment::RealClock();
}

void TestToast::init()
{
    CToast::Instance()->Dialog()->hide();
}

void TestToast::backgroundPerLevel_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("0 grey") << 0 << QColor(Qt::lightGray);
    QTest::newRow("1 blue") << 1 << QColor(0, 0, 255, 200);
    QTest::newRow("5 red") << 5 << QColor(255, 0, 0, 200);
    QTest::newRow("-1 red") << -1 << QColor(255, 0, 0, 200);
}

void TestToast::backgroundPerLevel()
{
    QFETCH(int, level);
    QFETCH(QColor, colour);

    CToast* pToast = CToast::Instance();
    pToast->ShowTip(level, QStringLiteral("level %1").arg(level));
    CToastDlg* pDialog = pToast->Dialog();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        QCOMPARE(pDialog->palette().color(group, QPalette::Window), colour);
    QCOMPARE(pDialog->Tip(), QStringLiteral("level %1").arg(level));
    QCOMPARE(pDialog->TipLabel()->alignment(), Qt::AlignCenter);
    QVERIFY(pDialog->isVisible());

    // What the operator sees: the text on the level's colour.
    QVERIFY(QTest::qWaitForWindowExposed(pDialog));
    const QImage image = pDialog->grab().toImage();
    const QString path = CTestEnvironment::OutputDir() + QStringLiteral("/calibration-toast-level%1.png").arg(level);
    QVERIFY(image.save(path));
}

void TestToast::cornerOnTheScreen_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<QPoint>("corner");
    QTest::newRow("1920 x 1080") << QSize(1920, 1080) << QPoint(860, 540);
    QTest::newRow("800 x 600") << QSize(800, 600) << QPoint(300, 300);
    // Odd sizes round toward zero.
    QTest::newRow("1367 x 769") << QSize(1367, 769) << QPoint(583, 384);
    QTest::newRow("tiny") << QSize(100, 50) << QPoint(-50, 25);
}

void TestToast::cornerOnTheScreen()
{
    QFETCH(QSize, screen);
    QFETCH(QPoint, corner);
    QCOMPARE(CToast::TopLeftFor(screen), corner);
}

void TestToast::showsAtTheCornerOfTheRealScreen()
{
    // The offscreen screen is 800 x 600.
    QCOMPARE(QGuiApplication::primaryScreen()->geometry().size(), QSize(800, 600));
    CToast::Instance()->ShowTip(0, QStringLiteral("Calibration complete"));
    QCOMPARE(CToast::Instance()->Dialog()->pos(), QPoint(300, 300));
}

void TestToast::secondTipRestartsTheTwoSeconds()
{
    CToast* pToast = CToast::Instance();
    pToast->ShowTip(0, QStringLiteral("first"));
    const QList<QAbstractEventDispatcher::TimerInfo> first = Timers();
    QCOMPARE(first.size(), 1);
    QCOMPARE(first.at(0).interval, 2000);
    QCOMPARE(first.at(0).timerType, Qt::CoarseTimer);

    // The second call's timer is told apart from the first by its
    // interval: the station clock runs twice as fast from here.
    CStationClock::SetTimeoutScale(0.5);
    pToast->ShowTip(1, QStringLiteral("second"));
    CTestEnvironment::RealClock();
    // The text and the colour change at once; the first timer is gone and
    // one of the full two seconds runs from the second call.
    QCOMPARE(pToast->Dialog()->Tip(), QStringLiteral("second"));
    QCOMPARE(pToast->Dialog()->palette().color(QPalette::Window), QColor(0, 0, 255, 200));
    const QList<QAbstractEventDispatcher::TimerInfo> second = Timers();
    QCOMPARE(second.size(), 1);
    QCOMPARE(second.at(0).interval, 1000);
    QCOMPARE(second.at(0).timerType, Qt::CoarseTimer);
    QVERIFY(pToast->Dialog()->isVisible());
}

// The tests' recorder sees every tip, also one that replaces a tip still
// up (the window is not shown again for it), and one after the window hid.
void TestToast::everyTipIsRecorded()
{
    CStationClock::SetTimeoutScale(1000.0);
    CToastRecorder recorder;
    CToast* pToast = CToast::Instance();
    pToast->ShowTip(0, QStringLiteral("Reset successful!"));
    QVERIFY(pToast->Dialog()->isVisible());
    pToast->ShowTip(2, QStringLiteral("Reset failed!"));
    pToast->Dialog()->hide();
    pToast->ShowTip(1, QStringLiteral("Calibration complete"));
    CTestEnvironment::RealClock();
    QCOMPARE(recorder.tips, (QStringList{"Reset successful!", "Reset failed!", "Calibration complete"}));
    QCOMPARE(recorder.levels, (QList<int>{0, 2, 1}));
}

void TestToast::timerHidesIt()
{
    // The station clock scales the two seconds like every other wait.
    CTestEnvironment::FastClock(0.01);
    CToast* pToast = CToast::Instance();
    pToast->ShowTip(0, QStringLiteral("Reset successful!"));
    QCOMPARE(Timers().size(), 1);
    QCOMPARE(Timers().at(0).interval, 20);
    QVERIFY(QTest::qWaitFor([pToast] { return !pToast->Dialog()->isVisible(); }));
    QVERIFY(Timers().isEmpty());
    CTestEnvironment::RealClock();
}

void TestToast::releaseOnTheCloseLabelHidesIt_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("hides");
    QTest::newRow("close label") << "closeLabel" << true;
    QTest::newRow("tip label") << "tipLabel" << false;
}

void TestToast::releaseOnTheCloseLabelHidesIt()
{
    QFETCH(QString, label);
    QFETCH(bool, hides);

    // The tip stays far longer than the test takes, however slow the machine.
    CStationClock::SetTimeoutScale(1000.0);
    CToast* pToast = CToast::Instance();
    pToast->ShowTip(0, QStringLiteral("Calibration complete"));
    CTestEnvironment::RealClock();
    QVERIFY(QTest::qWaitForWindowExposed(pToast->Dialog()));
    auto* pLabel = pToast->Dialog()->findChild<QLabel*>(label);
    QVERIFY(pLabel);
    int nReleases = 0;
    // The label itself still gets the release.
    struct CCounter : QObject
    {
        int* pCount;
        explicit CCounter(int* p) : pCount(p) {}
        bool eventFilter(QObject*, QEvent* e) override
        {
            if (e->type() == QEvent::MouseButtonRelease)
                ++*pCount;
            return false;
        }
    } counter(&nReleases);
    pLabel->installEventFilter(&counter);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(0, 0), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(0, 0), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(pLabel, &press);
    QApplication::sendEvent(pLabel, &release);
    pLabel->removeEventFilter(&counter);
    QCOMPARE(nReleases, 1);
    QCOMPARE(pToast->Dialog()->isVisible(), !hides);
    // The hide timer keeps running either way.
    QCOMPARE(Timers().size(), 1);
}

void TestToast::neverAsksForTheFocus()
{
    CToastDlg* pDialog = CToast::Instance()->Dialog();
    QVERIFY(pDialog->testAttribute(Qt::WA_ShowWithoutActivating));
    QVERIFY(pDialog->windowFlags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(pDialog->windowType(), Qt::Dialog);
    CToast::Instance()->ShowTip(0, QStringLiteral("on top"));
    QVERIFY(pDialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(pDialog->isVisible());
    // A second tip while it is up leaves the window as it is (a change of
    // flags would hide and re-create it).
    const WId id = pDialog->winId();
    CToast::Instance()->ShowTip(0, QStringLiteral("again"));
    QCOMPARE(pDialog->winId(), id);
    QVERIFY(pDialog->isVisible());
}

void TestToast::oneInstance()
{
    QCOMPARE(CToast::Instance(), CToast::Instance());
    QVERIFY(!CToast::Instance()->parent());
    QVERIFY(!CToast::Instance()->Dialog()->parent());
}

STATION_TEST_MAIN(TestToast)
#include "tst_toast.moc"
