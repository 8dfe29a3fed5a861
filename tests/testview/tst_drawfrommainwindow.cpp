// The draw test as the operator opens it: F3 in the main window shows it
// full screen over the station, Escape hides it again.

#include "customersettings.h"
#include "fakehidbackend.h"
#include "mainwindow.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "touchpaintview.h"

#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

class TestDrawFromMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void f3OpensAndEscapeCloses();

private:
    std::shared_ptr<CFakeHidBackend> m_backend;
    QTouchDevice* m_pTouch = nullptr;
};

void TestDrawFromMainWindow::initTestCase()
{
    InitStationResources();
    m_backend = CFakeHidBackend::Install();
    m_pTouch = QTest::createTouchDevice();
    CCustomerSettings::GetInstance()->clear();
}

void TestDrawFromMainWindow::cleanupTestCase()
{
    m_backend.reset();
    CFakeHidBackend::Uninstall();
}

void TestDrawFromMainWindow::f3OpensAndEscapeCloses()
{
    MainWindow window;
    window.show();
    auto* pDraw = window.findChild<CTouchPaintView*>();
    QVERIFY(pDraw);
    QVERIFY(pDraw->isWindow());
    QVERIFY(!pDraw->isVisible());
    QSignalSpy exits(pDraw, &CTouchPaintView::exit);

    for (int round = 0; round < 2; ++round) {
        // Keys go to the window the application holds active.
        window.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &window);
        QTest::keyClick(&window, Qt::Key_F3);
        QTRY_VERIFY(pDraw->isVisible());
        QVERIFY(pDraw->isFullScreen());
        // The full-screen geometry comes with the window system's answer.
        QTRY_COMPARE(pDraw->geometry(), pDraw->screen()->geometry());
        QTRY_COMPARE(QApplication::activeWindow(), pDraw);

        QTest::touchEvent(pDraw, m_pTouch).press(1, QPoint(100, 100), pDraw);
        QTest::touchEvent(pDraw, m_pTouch).release(1, QPoint(200, 100), pDraw);
        QVERIFY(pDraw->scene()->items().size() > 1);

        QTest::keyClick(pDraw, Qt::Key_Escape);
        QVERIFY(!pDraw->isVisible());
        QCOMPARE(exits.count(), round + 1);
        // The station stays open under it.
        QVERIFY(window.isVisible());
    }
}

STATION_TEST_MAIN(TestDrawFromMainWindow)
#include "tst_drawfrommainwindow.moc"
