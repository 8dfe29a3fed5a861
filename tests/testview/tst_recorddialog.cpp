// The record clock: counting, wrapping, the record button, dragging and the
// modal run the test view gives it.

#include "recorddialog.h"
#include "runlogcapture.h"
#include "stationresources.h"
#include "testenvironment.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

namespace {

// The dialog stands over a view: a host window of the view's size.
struct SClock
{
    QWidget host;
    CRecordDialog* pDialog;
    QLabel* pClock;
    QToolButton* pRecord;

    SClock()
        : pDialog(new CRecordDialog(&host))
    {
        host.resize(800, 500);
        pClock = pDialog->findChild<QLabel*>(QStringLiteral("timerLabel"));
        pRecord = pDialog->findChild<QToolButton*>(QStringLiteral("recordButton"));
    }
    const QTimer* ClockTimer() const { return pDialog->ClockTimer(); }
};

void SendMouse(QWidget* pWidget, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, pWidget->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(pWidget, &event);
}

} // namespace

class TestRecordDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void formAndLook();
    void clockCountsTicks();
    void clockWrapsAfterADay();
    void timerTicksEverySecond();
    void recordButtonEndsTheRecording();
    void startClockChecksTheButtonAgain();
    void leftDragKeepsTheGrabbedPoint();
    void otherButtonsDoNotMoveIt();
    void execEndsWhenHidden();
    void screenshot();
};

void TestRecordDialog::initTestCase()
{
    InitStationResources();
}

void TestRecordDialog::formAndLook()
{
    SClock clock;
    CRecordDialog* pDialog = clock.pDialog;
    QCOMPARE(pDialog->objectName(), QStringLiteral("CRecordDialog"));
    QCOMPARE(pDialog->size(), QSize(337, 99));
    QCOMPARE(pDialog->styleSheet(), QStringLiteral("background:black"));
    QCOMPARE(pDialog->windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(pDialog->windowFlags(), Qt::WindowFlags(Qt::FramelessWindowHint));
    auto* pOpacity = qobject_cast<QGraphicsOpacityEffect*>(pDialog->graphicsEffect());
    QVERIFY(pOpacity);
    QCOMPARE(pOpacity->opacity(), 0.7);

    auto* pCaption = pDialog->findChild<QLabel*>(QStringLiteral("label"));
    QVERIFY(pCaption);
    QCOMPARE(pCaption->text(), QString::fromUtf8("\xe6\xad\xa3\xe5\x9c\xa8\xe5\xbd\x95\xe5\x88\xb6\xe6\x95\xb0\xe6\x8d\xae"));
    QCOMPARE(pCaption->styleSheet(), QStringLiteral("color:blue"));
    QCOMPARE(clock.pClock->text(), QStringLiteral("00:00:00"));
    QCOMPARE(clock.pClock->font().pointSize(), 20);
    QVERIFY(clock.pClock->font().bold());
    QCOMPARE(clock.pClock->frameShape(), QFrame::Box);
    QCOMPARE(clock.pClock->lineWidth(), 2);
    QCOMPARE(clock.pClock->alignment(), Qt::AlignCenter);
    QVERIFY(clock.pClock->testAttribute(Qt::WA_TranslucentBackground));

    QVERIFY(clock.pRecord->isCheckable());
    QVERIFY(clock.pRecord->isChecked());
    QCOMPARE(clock.pRecord->iconSize(), QSize(40, 40));
    // Stop picture while recording, record picture once it has ended; both
    // 48 x 48 keys.
    const struct
    {
        QIcon::State state;
        const char* szImage;
    } images[] = {{QIcon::On, "Record_On"}, {QIcon::Off, "Record_Off"}};
    for (const auto& image : images) {
        const QImage expected(QStringLiteral(":/Image/Image-UI/%1.png").arg(QLatin1String(image.szImage)));
        QCOMPARE(expected.size(), QSize(48, 48));
        const QImage shown = clock.pRecord->icon().pixmap(QSize(48, 48), QIcon::Normal, image.state).toImage();
        // The pixmap holds premultiplied pixels; turned back to straight alpha a
        // half-transparent pixel can differ by one on some CPUs, so both are
        // compared premultiplied.
        QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                 expected.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }

    const QTimer* pTimer = clock.ClockTimer();
    QVERIFY(pTimer);
    QVERIFY(!pTimer->parent());
    QVERIFY(!pTimer->isActive());
    QVERIFY(!pDialog->isVisible());
}

void TestRecordDialog::clockCountsTicks()
{
    SClock clock;
    CRunLogCapture log;
    clock.pDialog->StartClock();
    QCOMPARE(clock.pClock->text(), QStringLiteral("00:00:00"));
    QVERIFY(clock.ClockTimer()->isActive());
    // Starting does not show it: the caller runs exec next.
    QVERIFY(!clock.pDialog->isVisible());

    for (int i = 0; i < 3; ++i)
        clock.pDialog->UpdateTime();
    QCOMPARE(clock.pClock->text(), QStringLiteral("00:00:03"));
    QCOMPARE(log.Lines(QtDebugMsg),
             (QStringList{"UpdateTime :  \"00:00:01\"", "UpdateTime :  \"00:00:02\"", "UpdateTime :  \"00:00:03\""}));

    // A new recording counts from zero again.
    clock.pDialog->StartClock();
    QCOMPARE(clock.pClock->text(), QStringLiteral("00:00:00"));
    clock.pDialog->UpdateTime();
    QCOMPARE(clock.pClock->text(), QStringLiteral("00:00:01"));
}

void TestRecordDialog::clockWrapsAfterADay()
{
    SClock clock;
    CRunLogCapture log; // keeps the 86,400 debug lines out of the test output
    clock.pDialog->StartClock();
    for (int i = 0; i < 86399; ++i)
        clock.pDialog->UpdateTime();
    QCOMPARE(clock.pClock->text(), QStringLiteral("23:59:59"));
    clock.pDialog->UpdateTime();
    QCOMPARE(clock.pClock->text(), QStringLiteral("00:00:00"));
    clock.pDialog->UpdateTime();
    QCOMPARE(clock.pClock->text(), QStringLiteral("00:00:01"));
}

void TestRecordDialog::timerTicksEverySecond()
{
    SClock clock;
    auto* pTimer = const_cast<QTimer*>(clock.ClockTimer());
    QCOMPARE(pTimer->interval(), 1000);
    QCOMPARE(pTimer->isSingleShot(), false);
    CRunLogCapture log;
    clock.pDialog->StartClock();
    // Its timeout is what advances the clock.
    QVERIFY(QMetaObject::invokeMethod(pTimer, "timeout"));
    QCOMPARE(clock.pClock->text(), QStringLiteral("00:00:01"));
    clock.pDialog->StopClock();
    QVERIFY(!pTimer->isActive());
}

void TestRecordDialog::recordButtonEndsTheRecording()
{
    SClock clock;
    clock.host.show();
    CRunLogCapture log;
    clock.pDialog->StartClock();
    clock.pDialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(&clock.host));
    clock.pDialog->UpdateTime();
    clock.pDialog->UpdateTime();

    QSignalSpy exits(clock.pDialog, &CRecordDialog::emitExitRecord);
    QTest::mouseClick(clock.pRecord, Qt::LeftButton);
    QCOMPARE(exits.count(), 1);
    QVERIFY(!clock.pRecord->isChecked());
    QVERIFY(!clock.ClockTimer()->isActive());
    // The clock keeps the last time shown; hiding is the test view's part.
    QCOMPARE(clock.pClock->text(), QStringLiteral("00:00:02"));
    QVERIFY(clock.pDialog->isVisible());

    // Checking it again ends nothing.
    QTest::mouseClick(clock.pRecord, Qt::LeftButton);
    QVERIFY(clock.pRecord->isChecked());
    QCOMPARE(exits.count(), 1);
}

void TestRecordDialog::startClockChecksTheButtonAgain()
{
    SClock clock;
    clock.host.show();
    clock.pDialog->StartClock();
    clock.pDialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(&clock.host));
    QTest::mouseClick(clock.pRecord, Qt::LeftButton);
    QVERIFY(!clock.pRecord->isChecked());
    clock.pDialog->StopClock();
    QVERIFY(!clock.pDialog->isVisible());

    // The next recording opens with the stop picture, and one click ends it.
    clock.pDialog->StartClock();
    QVERIFY(clock.pRecord->isChecked());
    clock.pDialog->show();
    QSignalSpy exits(clock.pDialog, &CRecordDialog::emitExitRecord);
    QTest::mouseClick(clock.pRecord, Qt::LeftButton);
    QCOMPARE(exits.count(), 1);
}

void TestRecordDialog::leftDragKeepsTheGrabbedPoint()
{
    SClock clock;
    clock.host.show();
    clock.pDialog->show();
    clock.pDialog->move(100, 120);
    QVERIFY(QTest::qWaitForWindowExposed(&clock.host));
    CRecordDialog* pDialog = clock.pDialog;

    const QPoint grabbed(12, 9); // in the dialog
    const QPoint grabbedInHost = pDialog->pos() + grabbed;
    SendMouse(pDialog, QEvent::MouseButtonPress, grabbed, Qt::LeftButton, Qt::LeftButton);
    // The pointer moves by the offsets; the event carries it in the dialog's
    // own pixels at the time.
    const QPoint moves[] = {QPoint(30, 20), QPoint(-45, 5), QPoint(3, -60)};
    QPoint pointer = grabbedInHost;
    for (const QPoint& delta : moves) {
        pointer += delta;
        SendMouse(pDialog, QEvent::MouseMove, pointer - pDialog->pos(), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(pDialog->pos() + grabbed, pointer);
    }
    SendMouse(pDialog, QEvent::MouseButtonRelease, pointer - pDialog->pos(), Qt::LeftButton, Qt::NoButton);
    QCOMPARE(pDialog->pos(), QPoint(100, 120) + QPoint(30, 20) + QPoint(-45, 5) + QPoint(3, -60));

    // A move without the left button held leaves it.
    const QPoint rest = pDialog->pos();
    SendMouse(pDialog, QEvent::MouseMove, QPoint(80, 40), Qt::NoButton, Qt::NoButton);
    QCOMPARE(pDialog->pos(), rest);
}

void TestRecordDialog::otherButtonsDoNotMoveIt()
{
    SClock clock;
    clock.host.show();
    clock.pDialog->show();
    clock.pDialog->move(100, 120);
    CRecordDialog* pDialog = clock.pDialog;
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        SendMouse(pDialog, QEvent::MouseButtonPress, QPoint(40, 30), button, button);
        SendMouse(pDialog, QEvent::MouseMove, QPoint(90, 70), Qt::NoButton, button);
        SendMouse(pDialog, QEvent::MouseButtonRelease, QPoint(90, 70), button, Qt::NoButton);
        QCOMPARE(pDialog->pos(), QPoint(100, 120));
    }
    // A right press does not move the anchor of the next left drag either.
    SendMouse(pDialog, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton, Qt::LeftButton);
    SendMouse(pDialog, QEvent::MouseButtonPress, QPoint(50, 50), Qt::RightButton, Qt::LeftButton | Qt::RightButton);
    SendMouse(pDialog, QEvent::MouseMove, QPoint(20, 10), Qt::NoButton, Qt::LeftButton | Qt::RightButton);
    QCOMPARE(pDialog->pos(), QPoint(110, 120));
}

void TestRecordDialog::execEndsWhenHidden()
{
    SClock clock;
    clock.host.show();
    CRunLogCapture log;
    clock.pDialog->StartClock();
    // The test view hides the dialog after emitExitRecord, or StopClock does.
    QObject::connect(clock.pDialog, &CRecordDialog::emitExitRecord, clock.pDialog, &QWidget::hide);
    bool bShownModal = false;
    QTimer::singleShot(0, clock.pDialog, [&] {
        bShownModal = clock.pDialog->isVisible() && clock.pDialog->testAttribute(Qt::WA_ShowModal);
        clock.pRecord->click();
    });
    clock.pDialog->exec();
    QVERIFY(bShownModal);
    QVERIFY(!clock.pDialog->isVisible());

    clock.pDialog->StartClock();
    QTimer::singleShot(0, clock.pDialog, [&] { clock.pDialog->StopClock(); });
    clock.pDialog->exec();
    QVERIFY(!clock.pDialog->isVisible());
    QVERIFY(!clock.ClockTimer()->isActive());
}

void TestRecordDialog::screenshot()
{
    // Alone on a grey background, as it stands over the view.
    QWidget host;
    host.setStyleSheet(QStringLiteral("background:#d0d0d0"));
    host.resize(380, 140);
    auto* pDialog = new CRecordDialog(&host);
    pDialog->move(20, 20);
    CRunLogCapture log;
    pDialog->StartClock();
    for (int i = 0; i < 83; ++i)
        pDialog->UpdateTime();
    host.show();
    pDialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    QVERIFY(host.grab().save(CTestEnvironment::OutputDir() + QStringLiteral("/testview_recorddialog.png")));
}

STATION_TEST_MAIN(TestRecordDialog)
#include "tst_recorddialog.moc"
