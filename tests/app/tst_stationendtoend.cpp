// The main window with frames plugged through the fake OS backend and the
// real USB port: the notice, the frame's identity and QR code, the batch-save
// re-read, and a screenshot for review.

#include "comportusb.h"
#include "customersettings.h"
#include "emulatedframe.h"
#include "handlework.h"
#include "mainwindow.h"
#include "modalboxanswerer.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "touchbase.h"

#include <QLabel>
#include <QMutexLocker>
#include <QSignalSpy>
#include <QTableWidget>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {
template <typename T>
T* Child(QWidget* pParent, const char* szName)
{
    return pParent->findChild<T*>(QLatin1String(szName));
}

QStringList Column(QTableWidget* pTable, int nColumn)
{
    QStringList texts;
    for (int r = 0; r < pTable->rowCount(); ++r)
        texts << (pTable->item(r, nColumn) ? pTable->item(r, nColumn)->text() : QString());
    return texts;
}
} // namespace

class TestStationEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void applicationFrameShowsItsIdentity();
    void bootloaderFrameKeepsTouchButtonDisabled();
    void batchSavedReadsTheFrameAgain();
    void batchNotHeldAsWritten_data();
    void batchNotHeldAsWritten();
    void batchSavedButFrameGone();
    void touchButtonSwitchesTheFrame();

private:
    // The notice text each time the window hears of a frame.
    QStringList NoticesOnStatus();

    std::unique_ptr<CStationRig> m_pRig;
    MainWindow* m_pWindow = nullptr;  // the rig's
    std::unique_ptr<CScopedWorkDir> m_pWorkDir;
    QStringList m_notices;
};

void TestStationEndToEnd::init()
{
    CTestEnvironment::RealClock();
    CCustomerSettings::GetInstance()->clear();
    m_pWorkDir = std::make_unique<CScopedWorkDir>();
    m_pRig = std::make_unique<CStationRig>();
    m_pWindow = m_pRig->StartMainWindow();
    QVERIFY(QTest::qWaitForWindowExposed(m_pWindow));
    // Connected after the window's own slot: sees the notice it has just set.
    m_notices.clear();
    QLabel* pNotice = Child<QLabel>(m_pWindow, "noticeLabel");
    connect(m_pWindow->GetHandleWork(), &HandleWork::EmitDeviceStatusToUIObject, this,
            [this, pNotice] { m_notices << pNotice->text(); });
}

void TestStationEndToEnd::cleanup()
{
    m_pWindow = nullptr;
    m_pRig.reset();
    m_pWorkDir.reset();
}

void TestStationEndToEnd::applicationFrameShowsItsIdentity()
{
    CStationRig::SFrame& frame = m_pRig->AddFrame();
    frame.usb->Plug();
    auto* pSn = Child<QLabel>(m_pWindow, "snLabel");
    QTRY_COMPARE(pSn->text(), QStringLiteral("B2024-11-05"));
    QCOMPARE(m_notices, QStringList{"Touch In App, Now initializing..."});

    QVERIFY(!Child<QLabel>(m_pWindow, "noticeLabel")->isVisible());
    auto* pModel = Child<QLabel>(m_pWindow, "modelLabel");
    QVERIFY(pModel->isVisible());
    QCOMPARE(pModel->text(), QStringLiteral("KT-T65WHSUR-10P"));
    QVERIFY(!pSn->font().strikeOut());
    QCOMPARE(Child<QLabel>(m_pWindow, "showSNLabel")->pixmap(Qt::ReturnByValue).toImage(),
             MainWindow::MakeQRCodePixmap("B2024-11-05", 300, 300).toImage());

    auto* pDevice = Child<QTableWidget>(m_pWindow, "HardwareInfoWidget");
    const QStringList names = Column(pDevice, 0);
    QCOMPARE(names.first(), QStringLiteral("App Information"));
    QVERIFY2(names.contains("McuID") && names.contains("Product id") && names.contains("CheckSum"),
             qPrintable(names.join(',')));
    const QStringList values = Column(pDevice, 1);
    QVERIFY2(values.contains("0123456789ABCDEF00112233"), qPrintable(values.join(',')));
    auto* pApp = Child<QTableWidget>(m_pWindow, "appInfoWidget");
    QVERIFY(pApp->isVisible());
    QCOMPARE(Column(pApp, 0), (QStringList{"Runtimes Information", "Environment", "App Version", "IPAddr", "MacAddr"}));

    // The touch button is enabled (and still hidden) while a frame is in.
    auto* pTouch = Child<QToolButton>(m_pWindow, "touchEnToolButton");
    QVERIFY(pTouch->isEnabled());
    QVERIFY(!pTouch->isVisible());

    // For the reviewer: the main window with a frame plugged.
    QTest::qWait(20);
    const QString path = CTestEnvironment::OutputDir() + "/mainwindow-frame-plugged.png";
    QVERIFY(m_pWindow->grab().save(path));
    qInfo().noquote() << "Screenshot:" << path;

    frame.usb->Unplug();
    QTRY_COMPARE(m_notices.size(), 2);
    QCOMPARE(m_notices.last(), QStringLiteral("There is no device inserted, Please insert device!"));
    QVERIFY(Child<QLabel>(m_pWindow, "noticeLabel")->isVisible());
    QVERIFY(!pModel->isVisible());
    QVERIFY(!pTouch->isEnabled());
    QVERIFY(m_pWindow->grab().save(CTestEnvironment::OutputDir() + "/mainwindow-no-frame.png"));
}

void TestStationEndToEnd::bootloaderFrameKeepsTouchButtonDisabled()
{
    CStationRig::SFrame& frame = m_pRig->AddFrame(0x7201, 0x0013, CEmulatedFrame::Mode::Bootloader);
    frame.usb->Plug();
    QTRY_COMPARE(m_notices.size(), 1);
    QCOMPARE(m_notices[0], QStringLiteral("Touch In Bootloader, Now initializing..."));
    QVERIFY(Child<QLabel>(m_pWindow, "noticeLabel")->isVisible());
    QVERIFY(!Child<QToolButton>(m_pWindow, "touchEnToolButton")->isEnabled());
}

void TestStationEndToEnd::batchSavedReadsTheFrameAgain()
{
    CStationRig::SFrame& frame = m_pRig->AddFrame();
    frame.usb->Plug();
    auto* pSn = Child<QLabel>(m_pWindow, "snLabel");
    QTRY_COMPARE(pSn->text(), QStringLiteral("B2024-11-05"));

    // The test view changes the batch text and posts the save.
    {
        QMutexLocker lock(m_pWindow->GetHandleWork()->GetDeviceMutex());
        m_pWindow->GetHandleWork()->GetTouchDevice()->SetProperty("BatchInfo", "B2025-01-31");
    }
    CModalBoxAnswerer answerer;
    QSignalSpy status(m_pWindow, &MainWindow::DeviceStatusChange_Emit);
    QVERIFY(m_pWindow->GetHandleWork()->PostTask("SaveBatchInfo"));
    QTRY_COMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("Success!"));
    QCOMPARE(answerer.boxes[0].text, QStringLiteral("Modify serial number success and will retest the product..."));
    QCOMPARE(answerer.boxes[0].icon, QStringLiteral("Information"));
    // As if unplugged and plugged again: the frame is read anew.
    QTRY_COMPARE(status.count(), 2);
    QCOMPARE(status.at(0).at(0).toBool(), false);
    QCOMPARE(status.at(1).at(0).toBool(), true);
    QTRY_COMPARE(pSn->text(), QStringLiteral("B2025-01-31"));
    QCOMPARE(frame.frame.Snapshot().info.batch, QByteArray("B2025-01-31"));
}

void TestStationEndToEnd::batchNotHeldAsWritten_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<bool>("readBackFails");
    QTest::addColumn<QByteArray>("held");  // what the frame holds after the write
    QTest::addColumn<QString>("text");     // of the box
    QTest::addColumn<QString>("shown");    // the serial number the window shows then

    const QString long61 = QString(56, QLatin1Char('5')) + QStringLiteral("67890");
    QTest::newRow("SN-文-7") << QStringLiteral("SN-文-7") << false << QByteArray("SN-")
                            << QStringLiteral("The serial number \"SN-文-7\" was not written as typed: the frame holds "
                                              "\"SN-\".")
                            << "SN-";
    QTest::newRow("文1") << QStringLiteral("文1") << false << QByteArray()
                        << QStringLiteral("The serial number \"文1\" was not written: the frame holds no serial number.")
                        << "?????????????????????????";
    QTest::newRow("61 characters") << long61 << false << QString(56, QLatin1Char('5')).toLatin1()
                                   << "The serial number \"" + long61 + "\" was not written as typed: the frame holds \""
                                          + QString(56, QLatin1Char('5')) + "\"."
                                   << QString(56, QLatin1Char('5'));
    QTest::newRow("read-back answered by a status") << QStringLiteral("B2025-01-31") << true << QByteArray("B2025-01-31")
                                                    << QStringLiteral("The serial number \"B2025-01-31\" was sent, but the "
                                                                      "frame did not tell what it holds (error code "
                                                                      "0x1003): whether it was written is unknown.")
                                                    << "B2025-01-31";
}

// The number the frame was sent (here one that bypassed the test view's
// refusal) is read back from the frame: a frame that holds something else,
// or does not say what it holds, never gives "success"; the box says what
// it holds, and the window then shows what the frame reports.
void TestStationEndToEnd::batchNotHeldAsWritten()
{
    QFETCH(QString, number);
    QFETCH(bool, readBackFails);
    QFETCH(QByteArray, held);
    QFETCH(QString, text);
    QFETCH(QString, shown);

    CStationRig::SFrame& frame = m_pRig->AddFrame();
    frame.usb->Plug();
    auto* pSn = Child<QLabel>(m_pWindow, "snLabel");
    QTRY_COMPARE(pSn->text(), QStringLiteral("B2024-11-05"));
    {
        QMutexLocker lock(m_pWindow->GetHandleWork()->GetDeviceMutex());
        m_pWindow->GetHandleWork()->GetTouchDevice()->SetProperty("BatchInfo", number);
    }
    if (readBackFails) {
        // The read after the write only: the window's own read then works.
        CEmulatedFrame::Fault fault;
        fault.kind = CEmulatedFrame::Fault::Status;
        fault.status = 0x81;
        fault.nTimes = 1;
        frame.frame.SetFault(0xA9, 0x05, fault);
    }
    CModalBoxAnswerer answerer;
    QSignalSpy status(m_pWindow, &MainWindow::DeviceStatusChange_Emit);
    QVERIFY(m_pWindow->GetHandleWork()->PostTask("SaveBatchInfo"));
    QTRY_COMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("Error!"));
    QCOMPARE(answerer.boxes[0].text, text);
    QCOMPARE(answerer.boxes[0].icon, QStringLiteral("Warning"));
    QCOMPARE(frame.frame.Snapshot().info.batch, held);
    // Read anew: the window shows what the frame reports, not the number typed.
    QTRY_COMPARE(status.count(), 2);
    QTRY_COMPARE(pSn->text(), shown);
    QCOMPARE(answerer.boxes.size(), 1);
}

void TestStationEndToEnd::batchSavedButFrameGone()
{
    CModalBoxAnswerer answerer;
    QSignalSpy status(m_pWindow, &MainWindow::DeviceStatusChange_Emit);
    m_pWindow->ShowErrorMessage(0, QStringLiteral("SaveBatchInfo"));
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toBool(), false);
    QCOMPARE(Child<QLabel>(m_pWindow, "noticeLabel")->text(),
             QStringLiteral("There is no device inserted, Please insert device!"));
}

void TestStationEndToEnd::touchButtonSwitchesTheFrame()
{
    CStationRig::SFrame& frame = m_pRig->AddFrame();
    frame.usb->Plug();
    QTRY_COMPARE(Child<QLabel>(m_pWindow, "snLabel")->text(), QStringLiteral("B2024-11-05"));
    auto* pTouch = Child<QToolButton>(m_pWindow, "touchEnToolButton");
    QVERIFY(pTouch->isEnabled());
    auto touch = [&frame] {
        const auto s = frame.frame.Snapshot();
        return QStringLiteral("%1,%2").arg(s.settings.touch[0]).arg(s.settings.touch[1]);
    };

    // Checked: "DisableTouch"; the dispatcher's answer keeps the button checked.
    pTouch->click();
    QTRY_COMPARE(touch(), QStringLiteral("0,0"));
    QTest::qWait(20);
    QVERIFY(pTouch->isChecked());
    // Unchecked: "EnableTouch"; the frame's own values come back.
    pTouch->click();
    QTRY_COMPARE(touch(), QStringLiteral("1,2"));
    QTest::qWait(20);
    QVERIFY(!pTouch->isChecked());

    // A failed "EnableTouch" leaves touch output off: the button is checked again.
    pTouch->click();
    QTRY_COMPARE(touch(), QStringLiteral("0,0"));
    CTestEnvironment::FastClock(0.001);
    frame.frame.SetFault(0x30, 0x08, CEmulatedFrame::Silent());
    CModalBoxAnswerer answerer;
    answerer.Answer(QStringLiteral("Cancel"));
    pTouch->click();
    QVERIFY(!pTouch->isChecked());
    QTRY_VERIFY(pTouch->isChecked());
    QTRY_COMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].text, QStringLiteral("The task \"EnableTouch\" timeout, The error code is 0x80020001."
                                                     " Please select what you want!"));
    CTestEnvironment::RealClock();
}

STATION_TEST_MAIN(TestStationEndToEnd)
#include "tst_stationendtoend.moc"
