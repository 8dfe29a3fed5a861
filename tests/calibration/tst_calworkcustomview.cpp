// The four-point target screen: where the targets are and what each paint
// draws (as pure functions of the screen size, at 1920 x 1080, and as painted
// on the real 800 x 600 offscreen screen), the 30-second count-down that
// feeds the dispatcher's step time-out and interrupts the waiting step at its
// end, the close at step 5, and the keys.

#include "calworkcustomview.h"
#include "handlework.h"
#include "stationclock.h"
#include "stationresources.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "waitfor.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {
const QSize kFullHd(1920, 1080);

bool IsBlue(const QImage& image, const QPoint& p)
{
    const QColor c = image.pixelColor(p);
    return c.blue() > 200 && c.red() < 60 && c.green() < 60;
}

// Blue pixels in a rectangle of the picture.
int BlueIn(const QImage& image, const QRect& rect)
{
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            n += IsBlue(image, QPoint(x, y)) ? 1 : 0;
    return n;
}
} // namespace

class TestCalWorkCustomView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void targets_data();
    void targets();
    void pictures_data();
    void pictures();
    void paintsOnTheScreen();
    void paintsForAFullHdScreen();
    void countDown_data();
    void countDown();
    void stepFiveClosesAndKeepsCounting();
    void inactiveScreenStaysUpAtTheEnd();
    void keys_data();
    void keys();
    void restartResetsEverything();
    void countDownRunsOnTheStationClock();

private:
    std::unique_ptr<CStationRig> m_pRig;
    HandleWork* m_pWork = nullptr;  // the rig's
    std::unique_ptr<QWidget> m_pOwner;
    CCalWorkCustomView* m_pScreen = nullptr;
};

void TestCalWorkCustomView::initTestCase()
{
    InitStationResources();
}

void TestCalWorkCustomView::init()
{
    // The tests call the tick slots themselves: the timers' own ticks come
    // every 1000 s here, never during a test.
    CTestEnvironment::RealClock();
    CStationClock::SetTimeoutScale(1000.0);
    // The real dispatcher without a frame: it takes the count-down as its step
    // time-out and the interruption.
    m_pRig = std::make_unique<CStationRig>();
    m_pWork = m_pRig->StartDispatcher(CALIBRATEWORK);
    m_pRig->Settle();
    m_pOwner = std::make_unique<QWidget>();
    m_pScreen = new CCalWorkCustomView(m_pOwner.get(), m_pWork);
}

void TestCalWorkCustomView::cleanup()
{
    delete m_pScreen;
    m_pScreen = nullptr;
    m_pOwner.reset();
    m_pWork = nullptr;
    m_pRig.reset();
    CTestEnvironment::RealClock();
}

void TestCalWorkCustomView::targets_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<QPoint>("target");
    QTest::newRow("0 top left") << 0 << QPoint(240, 135);
    QTest::newRow("1 top left") << 1 << QPoint(240, 135);
    QTest::newRow("2 top right") << 2 << QPoint(1680, 135);
    QTest::newRow("3 bottom right") << 3 << QPoint(1680, 945);
    QTest::newRow("4 bottom left") << 4 << QPoint(240, 945);
    // Outside 0 to 4: the corner of the screen itself.
    QTest::newRow("5") << 5 << QPoint(0, 0);
    QTest::newRow("-1") << -1 << QPoint(0, 0);
    QTest::newRow("7") << 7 << QPoint(0, 0);
    QTest::newRow("INT_MIN") << INT_MIN << QPoint(0, 0);
}

void TestCalWorkCustomView::targets()
{
    QFETCH(int, step);
    QFETCH(QPoint, target);
    QCOMPARE(CCalWorkCustomView::TargetOf(kFullHd, step), target);
    const CCalWorkCustomView::SPicture picture = CCalWorkCustomView::PictureOf(kFullHd, step, 2);
    QCOMPARE(picture.target, target);
    QCOMPARE(picture.nCrossHalfLength, 96);
}

void TestCalWorkCustomView::pictures_data()
{
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("frame");
    QTest::addColumn<bool>("draws");
    QTest::addColumn<QPoint>("target");
    QTest::addColumn<QVector<int>>("rings");
    QTest::addColumn<bool>("number");
    QTest::addColumn<int>("next");

    // The first paint after a start: the first target with one pair of
    // rings and no number, whatever step has arrived already.
    QTest::newRow("first paint") << 3 << -1 << true << QPoint(240, 135) << QVector<int>{96, 32} << false << 1;
    // Two to five pairs, growing inward; the inner ring of frame 4 is -8.
    QTest::newRow("frame 1") << 1 << 1 << true << QPoint(240, 135) << QVector<int>{86, 22, 96, 32} << true << 2;
    QTest::newRow("frame 2") << 2 << 2 << true << QPoint(1680, 135) << QVector<int>{76, 12, 86, 22, 96, 32} << true
                             << 3;
    QTest::newRow("frame 3") << 3 << 3 << true << QPoint(1680, 945)
                             << QVector<int>{66, 2, 76, 12, 86, 22, 96, 32} << true << 4;
    QTest::newRow("frame 4") << 4 << 4 << true << QPoint(240, 945)
                             << QVector<int>{56, -8, 66, 2, 76, 12, 86, 22, 96, 32} << true << 1;
    QTest::newRow("frame 4 outside the steps") << 9 << 4 << true << QPoint(0, 0)
                                               << QVector<int>{56, -8, 66, 2, 76, 12, 86, 22, 96, 32} << true << 1;
    // Any other frame draws nothing.
    QTest::newRow("frame 0") << 1 << 0 << false << QPoint() << QVector<int>{} << false << 0;
    QTest::newRow("frame 5") << 1 << 5 << false << QPoint() << QVector<int>{} << false << 5;
}

void TestCalWorkCustomView::pictures()
{
    QFETCH(int, step);
    QFETCH(int, frame);
    QFETCH(bool, draws);
    QFETCH(QPoint, target);
    QFETCH(QVector<int>, rings);
    QFETCH(bool, number);
    QFETCH(int, next);

    const CCalWorkCustomView::SPicture picture = CCalWorkCustomView::PictureOf(kFullHd, step, frame);
    QCOMPARE(picture.bDraws, draws);
    QCOMPARE(picture.nNextFrame, next);
    if (!draws)
        return;
    QCOMPARE(picture.target, target);
    QCOMPARE(picture.nCrossHalfLength, 96);
    QCOMPARE(picture.rings, rings);
    QCOMPARE(picture.bCountDown, number);
    if (number)
        QCOMPARE(picture.countDownAt, QPoint(960, 540));
}

// The screen as painted on the offscreen screen (800 x 600): the first paint
// at the top-left target without a number, then the count-down in the middle
// and the target of the step; the frame goes round in four paints.
void TestCalWorkCustomView::paintsOnTheScreen()
{
    QCOMPARE(m_pScreen->ScreenSize(), QSize(800, 600));
    m_pScreen->StartCalCountDown();
    m_pScreen->showFullScreen();
    QVERIFY(QTest::qWaitForWindowExposed(m_pScreen));
    // The screen may have painted once on its own since it was shown.
    m_pScreen->StartCalCountDown();
    m_pScreen->UpdateCalStepDrawing(3);
    const QRect number(400, 230, 150, 75);

    QImage image = m_pScreen->grab().toImage();
    QCOMPARE(m_pScreen->AnimFrame(), 1);
    QVERIFY(IsBlue(image, QPoint(100 + 20, 75)));   // cross at the top-left target
    QCOMPARE(BlueIn(image, number), 0);              // no number yet
    QCOMPARE(BlueIn(image, QRect(640, 430, 60, 60)), 0);

    QList<int> frames;
    for (int i = 0; i < 4; ++i) {
        image = m_pScreen->grab().toImage();
        frames << m_pScreen->AnimFrame();
        // The bottom-right target (700, 525) with its number.
        QVERIFY(IsBlue(image, QPoint(700 + 20, 525)));
        QVERIFY(IsBlue(image, QPoint(700, 525 - 20)));
        QVERIFY(BlueIn(image, number) > 50);
        QCOMPARE(BlueIn(image, QRect(80, 55, 40, 40)), 0);
    }
    QCOMPARE(frames, (QList<int>{2, 3, 4, 1}));
    const QString path = CTestEnvironment::OutputDir() + QStringLiteral("/calibration-fourpoint-offscreen-step3.png");
    QVERIFY(image.save(path));
}

// The same screen drawn for a 1920 x 1080 primary screen.
void TestCalWorkCustomView::paintsForAFullHdScreen()
{
    m_pScreen->SetScreenSizeForTest(kFullHd);
    m_pScreen->resize(kFullHd);
    m_pScreen->StartCalCountDown();
    m_pScreen->UpdateCalStepDrawing(2);
    QImage image(kFullHd, QImage::Format_ARGB32);
    image.fill(Qt::white);
    m_pScreen->render(&image); // the first paint: the top-left target
    QVERIFY(IsBlue(image, QPoint(240 + 90, 135)));
    m_pScreen->render(&image);
    m_pScreen->render(&image);
    m_pScreen->render(&image); // frame 3: four pairs
    image.fill(Qt::white);
    m_pScreen->render(&image); // frame 4: five pairs, the inner one of -8
    QCOMPARE(m_pScreen->AnimFrame(), 1);
    QVERIFY(IsBlue(image, QPoint(1680 + 90, 135)));
    QVERIFY(IsBlue(image, QPoint(1680, 135 - 90)));
    QVERIFY(IsBlue(image, QPoint(1680 - 48, 135))); // outermost ring, diameter 96
    QCOMPARE(BlueIn(image, QRect(200, 100, 80, 80)), 0);
    QVERIFY(BlueIn(image, QRect(960, 470, 150, 75)) > 100); // the number
    QVERIFY(image.save(CTestEnvironment::OutputDir() + QStringLiteral("/calibration-fourpoint-1920x1080-step2.png")));
}

void TestCalWorkCustomView::countDown_data()
{
    QTest::addColumn<bool>("active");
    QTest::newRow("active screen") << true;
    QTest::newRow("screen not active") << false;
}

void TestCalWorkCustomView::countDown()
{
    QFETCH(bool, active);

    QSignalSpy counts(m_pScreen, &CCalWorkCustomView::UpdateCountDown);
    QSignalSpy interrupts(m_pScreen, &CCalWorkCustomView::emitInterruptCurrentRecvWork);
    HandleWork* pWork = m_pWork;
    pWork->ChangeCalStepTimeout(1000);

    m_pScreen->StartCalCountDown();
    m_pScreen->showFullScreen();
    QVERIFY(QTest::qWaitForWindowExposed(m_pScreen));
    QWidget other;
    if (active) {
        m_pScreen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_pScreen));
    } else {
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
    }
    QCOMPARE(counts.size(), 1);
    QCOMPARE(counts.takeFirst().at(0).toInt(), 30);
    QCOMPARE(pWork->GetCalStepTimeout(), 30000);
    QVERIFY(m_pScreen->IsCountingDown());
    QVERIFY(m_pScreen->IsRepainting());

    // 29 ... 0, one a tick; below 10 s the step waits 10 s.
    for (int nExpected = 29; nExpected >= 0; --nExpected) {
        m_pScreen->UpdateCalCountDownTime();
        QCOMPARE(counts.size(), 1);
        QCOMPARE(counts.takeFirst().at(0).toInt(), nExpected);
        QCOMPARE(m_pScreen->CountDown(), nExpected);
        QCOMPARE(pWork->GetCalStepTimeout(), qMax(nExpected, 10) * 1000);
    }
    QCOMPARE(interrupts.size(), 0);
    QVERIFY(m_pScreen->IsCountingDown());

    // The 31st tick stops the work: no further count, the waiting step is
    // interrupted; only an active screen closes itself.
    m_pScreen->UpdateCalCountDownTime();
    QCOMPARE(counts.size(), 0);
    QCOMPARE(interrupts.size(), 1);
    QVERIFY(!m_pScreen->IsCountingDown());
    QVERIFY(!m_pScreen->IsRepainting());
    QCOMPARE(m_pScreen->isVisible(), !active);
}

void TestCalWorkCustomView::stepFiveClosesAndKeepsCounting()
{
    QSignalSpy counts(m_pScreen, &CCalWorkCustomView::UpdateCountDown);
    QSignalSpy interrupts(m_pScreen, &CCalWorkCustomView::emitInterruptCurrentRecvWork);
    m_pScreen->StartCalCountDown();
    m_pScreen->showFullScreen();
    QVERIFY(QTest::qWaitForWindowExposed(m_pScreen));
    for (int i = 0; i < 5; ++i)
        m_pScreen->UpdateCalCountDownTime();

    // The dispatcher's step 5: the four points are done.
    emit m_pWork->UpdateCalStep(5);
    QVERIFY(!m_pScreen->isVisible());
    QCOMPARE(m_pScreen->CalStep(), 5);
    // The count-down goes on feeding the check step's time-out.
    QVERIFY(m_pScreen->IsCountingDown());
    counts.clear();
    for (int i = 0; i < 25; ++i)
        m_pScreen->UpdateCalCountDownTime();
    QCOMPARE(counts.size(), 25);
    QCOMPARE(m_pWork->GetCalStepTimeout(), 10000);
    m_pScreen->UpdateCalCountDownTime();
    // The end stops the timers without interrupting the check.
    QVERIFY(!m_pScreen->IsCountingDown());
    QCOMPARE(interrupts.size(), 0);
    QVERIFY(!m_pScreen->isVisible());
}

void TestCalWorkCustomView::inactiveScreenStaysUpAtTheEnd()
{
    // A box of the main window took the activation: at the end the screen
    // stays with its last picture and its timers stopped, until Escape.
    QSignalSpy interrupts(m_pScreen, &CCalWorkCustomView::emitInterruptCurrentRecvWork);
    m_pScreen->StartCalCountDown();
    m_pScreen->showFullScreen();
    QVERIFY(QTest::qWaitForWindowExposed(m_pScreen));
    QWidget box;
    box.show();
    box.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&box));
    for (int i = 0; i < 31; ++i)
        m_pScreen->UpdateCalCountDownTime();
    QVERIFY(m_pScreen->isVisible());
    QVERIFY(!m_pScreen->IsCountingDown());
    QCOMPARE(interrupts.size(), 1);

    box.hide();
    m_pScreen->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_pScreen));
    QTest::keyClick(m_pScreen, Qt::Key_Escape);
    QVERIFY(!m_pScreen->isVisible());
    QCOMPARE(interrupts.size(), 2);
}

void TestCalWorkCustomView::keys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("stops");
    QTest::newRow("Escape") << int(Qt::Key_Escape) << true;
    QTest::newRow("Return") << int(Qt::Key_Return) << false;
    QTest::newRow("Enter") << int(Qt::Key_Enter) << false;
    QTest::newRow("Space") << int(Qt::Key_Space) << false;
    QTest::newRow("A") << int(Qt::Key_A) << false;
    QTest::newRow("F4") << int(Qt::Key_F4) << false;
}

void TestCalWorkCustomView::keys()
{
    QFETCH(int, key);
    QFETCH(bool, stops);

    QSignalSpy interrupts(m_pScreen, &CCalWorkCustomView::emitInterruptCurrentRecvWork);
    QSignalSpy rejected(m_pScreen, &QDialog::rejected);
    m_pScreen->StartCalCountDown();
    m_pScreen->showFullScreen();
    m_pScreen->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_pScreen));

    QTest::keyClick(m_pScreen, Qt::Key(key));
    QCOMPARE(m_pScreen->isVisible(), !stops);
    QCOMPARE(m_pScreen->IsCountingDown(), !stops);
    QCOMPARE(interrupts.size(), stops ? 1 : 0);
    QCOMPARE(m_pScreen->CountDown(), 30);
    if (!stops)
        QCOMPARE(rejected.size(), 0);
}

void TestCalWorkCustomView::restartResetsEverything()
{
    QSignalSpy counts(m_pScreen, &CCalWorkCustomView::UpdateCountDown);
    m_pScreen->StartCalCountDown();
    m_pScreen->showFullScreen();
    QVERIFY(QTest::qWaitForWindowExposed(m_pScreen));
    for (int i = 0; i < 12; ++i)
        m_pScreen->UpdateCalCountDownTime();
    m_pScreen->UpdateCalStepDrawing(3);
    m_pScreen->grab();
    m_pScreen->UpdateCalStepDrawing(5);
    QVERIFY(!m_pScreen->isVisible());
    for (int i = 0; i < 19; ++i)
        m_pScreen->UpdateCalCountDownTime();
    QVERIFY(!m_pScreen->IsCountingDown());

    counts.clear();
    m_pScreen->StartCalCountDown();
    QCOMPARE(m_pScreen->CountDown(), 30);
    QCOMPARE(m_pScreen->CalStep(), 0);
    QCOMPARE(m_pScreen->AnimFrame(), -1);
    QVERIFY(m_pScreen->IsCountingDown());
    QVERIFY(m_pScreen->IsRepainting());
    QCOMPARE(counts.size(), 1);
    QCOMPARE(m_pWork->GetCalStepTimeout(), 30000);
}

// The timers themselves, on a fast station clock: the count-down runs to its
// end and interrupts the step; the screen repaints meanwhile.
void TestCalWorkCustomView::countDownRunsOnTheStationClock()
{
    CTestEnvironment::FastClock(0.001);
    QSignalSpy counts(m_pScreen, &CCalWorkCustomView::UpdateCountDown);
    QSignalSpy interrupts(m_pScreen, &CCalWorkCustomView::emitInterruptCurrentRecvWork);
    m_pScreen->StartCalCountDown();
    m_pScreen->showFullScreen();
    QVERIFY(StationTest::WaitFor([this] { return !m_pScreen->IsCountingDown(); }));
    QCOMPARE(counts.size(), 31);
    QCOMPARE(counts.last().at(0).toInt(), 0);
    QCOMPARE(interrupts.size(), 1);
    QVERIFY(m_pScreen->AnimFrame() != -1);
}

STATION_TEST_MAIN(TestCalWorkCustomView)
#include "tst_calworkcustomview.moc"
