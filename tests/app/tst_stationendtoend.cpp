// The main window with frames plugged through the fake OS backend and the
// real USB port: the notice, the frame's identity and QR code, the batch-save
// re-read, and a screenshot for review.

#include "comportusb.h"
#include "customersettings.h"
#include "handlework.h"
#include "mainwindow.h"
#include "modalboxanswerer.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "touchbase.h"

#include <QLabel>
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
