// Frames arriving and leaving: emulated frames plugged through the fake OS
// backend into the real USB port of a dispatcher, whose main window records
// what it is told.

#include "customersettings.h"
#include "comportusb.h"
#include "handlework.h"
#include "hardwareinterface.h"
#include "modalboxanswerer.h"
#include "pathview.h"
#include "runlogcapture.h"
#include "shelltestwindow.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "testviewdouble.h"
#include "touchlogfile.h"
#include "waitfor.h"

#include <QtTest>

#include <memory>

namespace {
const QString kNewDevice = QStringLiteral("A new device is discovered, Do you want to open it?");
const QString kBootQuestion = QStringLiteral("Touch In Bootloader, Do you want to open it?");
} // namespace

class TestDeviceArrival : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void applicationVersionDecides_data();
    void applicationVersionDecides();
    void refusedFrameBackWhileItsBoxIsOpen();
    void bootloaderFrame_data();
    void bootloaderFrame();
    void sameFrameKeepsItsObject_data();
    void sameFrameKeepsItsObject();
    void calibrationViewReadsCalibrationData();
    void removalWithFramesLeft();
    void replayAndNewFrame_data();
    void replayAndNewFrame();
    void frameGoneWhileAsking();
    void frameInItsOtherModeWhileAsking();
    void applicationFrameFirstTask_data();
    void applicationFrameFirstTask();
    void unrecognisedModeIsIgnored();
    void bootInformationOfABootloaderFrame();

private:
    // The tasks the dispatcher started, without the environment refreshes.
    QStringList DeviceTasks() const;
    // Plugs and waits for the window to hear of it.
    void PlugAndWait(CStationRig::SFrame& frame, int nStatuses);
    // Leaves a saved log open as the device object (a test run on an
    // emulated frame, filed and reopened); the frame is unplugged after.
    void OpenReplay();

    std::unique_ptr<CRunLogCapture> m_pLog;
    std::unique_ptr<CStationRig> m_pRig;
    CShellTestWindow* m_pWindow = nullptr;  // the rig's
    HandleWork* m_pWork = nullptr;          // the rig's
    std::unique_ptr<CScopedWorkDir> m_pWorkDir;
};

void TestDeviceArrival::init()
{
    CTestEnvironment::RealClock();
    CCustomerSettings::GetInstance()->clear();
    m_pWorkDir = std::make_unique<CScopedWorkDir>();
    m_pLog = std::make_unique<CRunLogCapture>();
    m_pRig = std::make_unique<CStationRig>();
    m_pWork = m_pRig->StartDispatcher();
    m_pWindow = m_pRig->ShellWindow();
}

void TestDeviceArrival::cleanup()
{
    m_pWork = nullptr;
    m_pWindow = nullptr;
    m_pRig.reset();
    m_pLog.reset();
    m_pWorkDir.reset();
}

void TestDeviceArrival::PlugAndWait(CStationRig::SFrame& frame, int nStatuses)
{
    frame.usb->Plug();
    QTRY_COMPARE(m_pWindow->statuses.size(), nStatuses);
}

void TestDeviceArrival::OpenReplay()
{
    CStationRig::SFrame& source = m_pRig->AddFrame();
    PlugAndWait(source, 1);
    QTRY_COMPARE(m_pWindow->deviceInfos.size(), 1);
    QVERIFY(m_pRig->OpenReplay(QDir::current().absoluteFilePath("run_PASS.xml"), m_pRig->FrameCount() - 1));
    QCOMPARE(m_pWindow->statuses.size(), 2);
    QVERIFY(dynamic_cast<CTouchLogfile*>(m_pWork->GetTouchDevice()));
    m_pWindow->Clear();
    m_pLog->Clear();
}

QStringList TestDeviceArrival::DeviceTasks() const
{
    QStringList tasks = m_pLog->Tasks();
    tasks.removeAll(QStringLiteral("InitEnvironmentValid"));
    return tasks;
}

void TestDeviceArrival::applicationVersionDecides_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("refusal");
    // The run log's Warning of a refused frame (its vendor and product pair
    // in upper-case hex as the rest of the log prints them, and the version
    // as the box shows it).
    QTest::addColumn<QString>("logLine");

    QTest::newRow("0x71ff refused")
        << 0x71FF << "0x71ff This series of touch boxes do not support!"
        << "InsertUsbDevice : frame VID 0x2FE9 PID 0x0013 refused, version 0x71ff - This series of touch boxes do not support!";
    QTest::newRow("0x0100 refused")
        << 0x0100 << "0x100 This series of touch boxes do not support!"
        << "InsertUsbDevice : frame VID 0x2FE9 PID 0x0013 refused, version 0x100 - This series of touch boxes do not support!";
    QTest::newRow("0x7200 accepted") << 0x7200 << "" << "";
    QTest::newRow("0x8001 accepted") << 0x8001 << "" << "";
}

void TestDeviceArrival::applicationVersionDecides()
{
    QFETCH(int, version);
    QFETCH(QString, refusal);
    QFETCH(QString, logLine);

    CModalBoxAnswerer answerer;
    CStationRig::SFrame& frame = m_pRig->AddFrame(quint16(version));
    frame.usb->Plug();

    if (!refusal.isEmpty()) {
        QTRY_COMPARE(answerer.boxes.size(), 1);
        QCOMPARE(answerer.boxes[0].title, QStringLiteral("Warning"));
        QCOMPARE(answerer.boxes[0].text, refusal);
        QCOMPARE(answerer.boxes[0].buttons, QStringList{"OK"});
        QCOMPARE(m_pLog->Lines(QtWarningMsg).filter("This series of touch boxes"), QStringList{logLine});
        QTest::qWait(50);
        // Nothing else: no status, no device object, no task, no reception.
        QVERIFY(m_pWindow->statuses.isEmpty());
        QVERIFY(!m_pWork->GetTouchDevice());
        QVERIFY(!m_pLog->Tasks().contains("InitDeviceInfo"));
        return;
    }

    QTRY_COMPARE(m_pWindow->statuses, QList<bool>{true});
    QVERIFY(dynamic_cast<HardwareInterface*>(m_pWork->GetTouchDevice()));
    QCOMPARE(m_pLog->Count("InsertUsbDevice : APP 设备"), 1);
    QTRY_COMPARE(m_pWindow->deviceInfos.size(), 1);
    QCOMPARE(answerer.boxes.size(), 0);
    QCOMPARE(m_pLog->Tasks().count("InitDeviceInfo"), 1);

    // The device's information first, the station's environment second.
    const auto& info = m_pWindow->deviceInfos[0];
    QStringList names;
    for (const auto& pair : info.lstDevInfo)
        names << pair.first;
    QVERIFY2(names.contains("Product") && names.contains("CheckSum") && names.contains("BatchInfo"),
             qPrintable(names.join(',')));
    QCOMPARE(info.lstAppInfo.size(), 4);
    QCOMPARE(info.lstAppInfo[0].first, QStringLiteral("Environment"));
    QCOMPARE(info.lstAppInfo[1], qMakePair(QStringLiteral("App Version"), QStringLiteral("0.0.0.6")));
}

void TestDeviceArrival::refusedFrameBackWhileItsBoxIsOpen()
{
    // The operator has not answered the refusal yet; the frame is pulled and
    // plugged again (twice). One box says it: each return is only logged.
    CModalBoxAnswerer answerer;
    CStationRig::SFrame& frame = m_pRig->AddFrame(quint16(0x7100));
    const QString refusal = QStringLiteral("This series of touch boxes do not support!");
    bool bReturnsLogged = false;
    QList<CModalBoxAnswerer::SBox> nested;
    answerer.OnShown([&](const CModalBoxAnswerer::SBox&) {
        if (answerer.boxes.size() != 1)
            return;
        // A box of its own loop would be answered (and counted) by this one.
        CModalBoxAnswerer inner;
        for (int i = 0; i < 2; ++i) {
            frame.usb->Unplug();
            frame.usb->Plug();
            const int nWanted = i + 2;
            StationTest::WaitFor([&] { return m_pLog->Lines(QtWarningMsg).filter(refusal).size() >= nWanted; },
                                 10000);
        }
        bReturnsLogged = m_pLog->Lines(QtWarningMsg).filter(refusal).size() == 3;
        nested = inner.boxes;
    });
    frame.usb->Plug();
    QTRY_COMPARE(answerer.boxes.size(), 1);
    QVERIFY(bReturnsLogged);
    QCOMPARE(nested.size(), 0);
    QCOMPARE(answerer.boxes.size(), 1);
    // Never attached: only its departures are told.
    QVERIFY(!m_pWindow->statuses.contains(true));
    QVERIFY(!m_pWork->GetTouchDevice());

    // Answered: the next return of the frame is told again.
    frame.usb->Unplug();
    frame.usb->Plug();
    QTRY_COMPARE(answerer.boxes.size(), 2);
    QCOMPARE(answerer.boxes[1].text, answerer.boxes[0].text);
}

void TestDeviceArrival::bootloaderFrame_data()
{
    QTest::addColumn<int>("workType");
    QTest::addColumn<bool>("upgradeRequested");
    QTest::addColumn<bool>("startUpgrade");
    QTest::addColumn<QString>("logLine");

    QTest::newRow("upgrade view, upgrade requested") << int(UPGRADEWORK) << true << true << "";
    QTest::newRow("upgrade view, nothing requested") << int(UPGRADEWORK) << false << false
                                                     << "InsertUsbDevice :Boot m_bIsUpgrade =  false";
    QTest::newRow("main panel, upgrade requested") << int(MAINWORK) << true << false
                                                   << "InsertUsbDevice : is not in UPGRADEWORK";
    QTest::newRow("test view") << int(SIGNALTESTWORK) << false << false << "InsertUsbDevice : is not in UPGRADEWORK";
}

void TestDeviceArrival::bootloaderFrame()
{
    QFETCH(int, workType);
    QFETCH(bool, upgradeRequested);
    QFETCH(bool, startUpgrade);
    QFETCH(QString, logLine);

    CPathView upgradeView(QStringLiteral("no-such-image.bin"));
    if (upgradeRequested) {
        // With no frame attached this only stores the image and the request.
        QVERIFY(m_pWork->PostTask("Start_Upgrade", Qt::BlockingQueuedConnection, &upgradeView, upgradeView.Path()));
        m_pLog->Clear();
    }
    m_pWindow->SetWorkType(eWorkType(workType));
    CStationRig::SFrame& frame = m_pRig->AddFrame(0x7201, 0x0013, CEmulatedFrame::Mode::Bootloader);
    PlugAndWait(frame, 1);

    QCOMPARE(m_pWindow->statuses, QList<bool>{true});
    QVERIFY(dynamic_cast<HardwareInterface*>(m_pWork->GetTouchDevice()));
    QCOMPARE(m_pLog->Count("InsertUsbDevice : BOOT 设备, ver = 256"), 1);
    if (startUpgrade)
        QTRY_VERIFY(m_pLog->Tasks().contains("Start_Upgrade"));
    QTest::qWait(50);
    const QStringList tasks = m_pLog->Tasks();
    QCOMPARE(tasks.contains("Start_Upgrade"), startUpgrade);
    QVERIFY(!tasks.contains("InitDeviceInfo"));
    QVERIFY(m_pWindow->deviceInfos.isEmpty() || startUpgrade);
    if (!logLine.isEmpty())
        QVERIFY2(m_pLog->Lines().contains(logLine), qPrintable(m_pLog->Lines().join('\n')));
}

void TestDeviceArrival::sameFrameKeepsItsObject_data()
{
    QTest::addColumn<bool>("newFirmware");
    QTest::newRow("same frame") << false;
    QTest::newRow("other checksum") << true;
}

void TestDeviceArrival::sameFrameKeepsItsObject()
{
    QFETCH(bool, newFirmware);

    m_pWindow->SetWorkType(SIGNALTESTWORK);
    CStationRig::SFrame& frame = m_pRig->AddFrame();
    PlugAndWait(frame, 1);
    QTRY_COMPARE(m_pWindow->deviceInfos.size(), 1);
    CTouchBase* pFirst = m_pWork->GetTouchDevice();

    frame.usb->Unplug();
    QTRY_COMPARE(m_pWindow->statuses, (QList<bool>{true, false}));
    QCOMPARE(m_pLog->Count("InsertUsbDevice : 设备移除"), 1);
    // The object stays until something replaces it.
    QCOMPARE(m_pWork->GetTouchDevice(), pFirst);

    if (newFirmware) {
        frame.frame.Edit([](CEmulatedFrame::State& s) {
            s.info.first.nAppChecksum = 0x5A5A;
            s.info.second.nAppChecksum = 0x5A5A;
            s.info.nShortChecksum = 0x5A5A;
        });
    }
    m_pLog->Clear();
    PlugAndWait(frame, 3);
    QTRY_COMPARE(m_pWindow->deviceInfos.size(), 2);
    if (!newFirmware) {
        // Read again at once on arrival; no task, same object.
        QCOMPARE(m_pWork->GetTouchDevice(), pFirst);
        QTest::qWait(20);
        QVERIFY(!m_pLog->Tasks().contains("InitDeviceInfo"));
    } else {
        QVERIFY(m_pWork->GetTouchDevice() != pFirst);
        QCOMPARE(m_pLog->Tasks().count("InitDeviceInfo"), 1);
    }
}

void TestDeviceArrival::calibrationViewReadsCalibrationData()
{
    m_pWindow->SetWorkType(CALIBRATEWORK);
    CStationRig::SFrame& frame = m_pRig->AddFrame();
    PlugAndWait(frame, 1);
    QTRY_VERIFY(m_pLog->Tasks().contains("InitDeviceCalData"));
    CTouchBase* pFirst = m_pWork->GetTouchDevice();
    QVERIFY(dynamic_cast<HardwareInterface*>(pFirst));

    // Again, with a live object: replaced, and read again.
    frame.usb->Unplug();
    QTRY_COMPARE(m_pWindow->statuses.size(), 2);
    m_pLog->Clear();
    PlugAndWait(frame, 3);
    QTRY_VERIFY(m_pLog->Tasks().contains("InitDeviceCalData"));
    QVERIFY(m_pWork->GetTouchDevice() != pFirst);
    QVERIFY(!m_pLog->Tasks().contains("InitDeviceInfo"));
}

void TestDeviceArrival::removalWithFramesLeft()
{
    CStationRig::SFrame& first = m_pRig->AddFrame(0x7201, 0x0013);
    CStationRig::SFrame& second = m_pRig->AddFrame(0x7201, 0x0021);
    PlugAndWait(first, 1);
    second.usb->Plug();
    QTRY_COMPARE(m_pWork->GetUsbPort()->GetDevCount(), 2);
    QTest::qWait(50);
    const int nBefore = m_pWindow->statuses.size();

    first.usb->Unplug();
    QTRY_COMPARE(m_pWork->GetUsbPort()->GetDevCount(), 1);
    QTRY_VERIFY(m_pWindow->statuses.size() > nBefore);
    QVERIFY(m_pWindow->statuses.mid(nBefore).contains(false));
    // A frame is left: no "device removed".
    QTest::qWait(50);
    QCOMPARE(m_pLog->Count("InsertUsbDevice : 设备移除"), 0);

    second.usb->Unplug();
    QTRY_COMPARE(m_pLog->Count("InsertUsbDevice : 设备移除"), 1);
    QCOMPARE(m_pWindow->statuses.last(), false);
}

void TestDeviceArrival::replayAndNewFrame_data()
{
    QTest::addColumn<bool>("bootloader");
    QTest::addColumn<QString>("answer");

    QTest::newRow("application frame, No") << false << "No";
    QTest::newRow("application frame, Yes") << false << "Yes";
    QTest::newRow("bootloader frame, No") << true << "No";
    QTest::newRow("bootloader frame, Yes") << true << "Yes";
}

void TestDeviceArrival::replayAndNewFrame()
{
    QFETCH(bool, bootloader);
    QFETCH(QString, answer);

    OpenReplay();
    CTouchBase* pReplay = m_pWork->GetTouchDevice();

    CModalBoxAnswerer answerer;
    answerer.Answer(answer);
    CStationRig::SFrame& frame = m_pRig->AddFrame(0x7201, 0x0013,
                                          bootloader ? CEmulatedFrame::Mode::Bootloader
                                                     : CEmulatedFrame::Mode::Application);
    PlugAndWait(frame, 1);
    QCOMPARE(m_pWindow->statuses, QList<bool>{true});
    QCOMPARE(answerer.boxes.size(), 1);
    QCOMPARE(answerer.boxes[0].title, QStringLiteral("New device"));
    QCOMPARE(answerer.boxes[0].text, bootloader ? kBootQuestion : kNewDevice);
    QCOMPARE(answerer.boxes[0].icon, QStringLiteral("Information"));

    QTest::qWait(50);
    const QStringList tasks = m_pLog->Tasks();
    if (answer == "No") {
        QCOMPARE(m_pWork->GetTouchDevice(), pReplay);
        QVERIFY(!tasks.contains("InitDeviceInfo"));
        QVERIFY(!tasks.contains("InitEnvironmentValid"));
        QCOMPARE(m_pLog->Count("InsertUsbDevice : current device is TouchFile"), bootloader ? 0 : 1);
        return;
    }
    QVERIFY(dynamic_cast<HardwareInterface*>(m_pWork->GetTouchDevice()));
    // The station's own environment comes back before the frame is read.
    QTRY_VERIFY(m_pLog->Tasks().contains("InitEnvironmentValid"));
    if (!bootloader) {
        QTRY_COMPARE(m_pWindow->deviceInfos.size(), 1);
        const QStringList ran = m_pLog->Tasks();
        QVERIFY2(ran.indexOf("InitEnvironmentValid") < ran.indexOf("InitDeviceInfo"), qPrintable(ran.join(',')));
    }
}

void TestDeviceArrival::frameGoneWhileAsking()
{
    OpenReplay();
    CTouchBase* pReplay = m_pWork->GetTouchDevice();

    CStationRig::SFrame& frame = m_pRig->AddFrame();
    CModalBoxAnswerer answerer;
    answerer.Answer("Yes");
    HandleWork* pWork = m_pWork;
    answerer.OnShown([&frame, pWork](const CModalBoxAnswerer::SBox&) {
        // The operator takes a while; the frame is pulled out meanwhile.
        frame.usb->Unplug();
        QTRY_COMPARE(pWork->GetUsbPort()->GetDevCount(), 0);
    });
    frame.usb->Plug();
    QTRY_COMPARE(answerer.boxes.size(), 1);
    QTRY_VERIFY(!m_pWindow->statuses.isEmpty());
    QTest::qWait(50);

    // Yes came too late: the replay stays, nothing is read, the window was
    // told of the removal only.
    QCOMPARE(m_pWork->GetTouchDevice(), pReplay);
    QVERIFY(!m_pWindow->statuses.contains(true));
    QVERIFY(!m_pLog->Tasks().contains("InitDeviceInfo"));
}

void TestDeviceArrival::frameInItsOtherModeWhileAsking()
{
    OpenReplay();

    // A frame in its bootloader arrives while the log is open; before the
    // operator answers, it leaves and a frame in application mode comes in.
    CStationRig::SFrame& boot = m_pRig->AddFrame(0x7201, 0x0013, CEmulatedFrame::Mode::Bootloader);
    CStationRig::SFrame& app = m_pRig->AddFrame(0x7201, 0x0021);
    CModalBoxAnswerer answerer;
    answerer.Answer("Yes");
    HandleWork* pWork = m_pWork;
    int nShown = 0;
    answerer.OnShown([&](const CModalBoxAnswerer::SBox&) {
        if (nShown++ > 0)
            return;
        boot.usb->Unplug();
        QTRY_COMPARE(pWork->GetUsbPort()->GetDevCount(), 0);
        app.usb->Plug();
        QTRY_COMPARE(pWork->GetUsbPort()->GetDevCount(), 1);
        QTest::qWait(20); // its arrival reaches the dispatcher while the box is open
    });
    boot.usb->Plug();

    // The frame on the bus is asked about and opened in its turn.
    QTRY_COMPARE(answerer.boxes.size(), 2);
    QCOMPARE(answerer.boxes[0].text, kBootQuestion);
    QCOMPARE(answerer.boxes[1].text, kNewDevice);
    QTRY_COMPARE(m_pWindow->deviceInfos.size(), 1);
    QVERIFY(dynamic_cast<HardwareInterface*>(m_pWork->GetTouchDevice()));
    QCOMPARE(m_pWindow->statuses.last(), true);
    QCOMPARE(DeviceTasks(), QStringList{"InitDeviceInfo"});
}

void TestDeviceArrival::applicationFrameFirstTask_data()
{
    QTest::addColumn<int>("workType");
    QTest::addColumn<bool>("upgradeRequested");
    QTest::addColumn<bool>("liveObject"); // the frame was in before: its object is still there
    QTest::addColumn<QString>("task");    // the first task, empty for none
    QTest::addColumn<bool>("sameObject");

    QTest::newRow("main panel") << int(MAINWORK) << false << false << "InitDeviceInfo" << false;
    QTest::newRow("test view") << int(SIGNALTESTWORK) << false << false << "InitDeviceInfo" << false;
    QTest::newRow("calibration view") << int(CALIBRATEWORK) << false << false << "InitDeviceCalData" << false;
    QTest::newRow("upgrade view, requested") << int(UPGRADEWORK) << true << false << "Start_Upgrade" << false;
    QTest::newRow("upgrade view, nothing requested") << int(UPGRADEWORK) << false << false << "InitDeviceInfo"
                                                     << false;
    QTest::newRow("main panel, same frame again") << int(MAINWORK) << false << true << "" << true;
    QTest::newRow("calibration view, frame again") << int(CALIBRATEWORK) << false << true << "InitDeviceCalData"
                                                   << false;
    QTest::newRow("upgrade view, requested, frame again") << int(UPGRADEWORK) << true << true << "Start_Upgrade"
                                                          << false;
    QTest::newRow("upgrade view, nothing requested, frame again") << int(UPGRADEWORK) << false << true
                                                                  << "InitDeviceInfo" << false;
}

void TestDeviceArrival::applicationFrameFirstTask()
{
    QFETCH(int, workType);
    QFETCH(bool, upgradeRequested);
    QFETCH(bool, liveObject);
    QFETCH(QString, task);
    QFETCH(bool, sameObject);

    CStationRig::SFrame& frame = m_pRig->AddFrame();
    int nStatuses = 0;
    if (liveObject) {
        PlugAndWait(frame, 1);
        QTRY_COMPARE(m_pWindow->deviceInfos.size(), 1);
        frame.usb->Unplug();
        QTRY_COMPARE(m_pWindow->statuses.size(), 2);
        nStatuses = 2;
    }
    CTouchBase* pBefore = m_pWork->GetTouchDevice();
    CPathView upgradeView(QStringLiteral("no-such-image.bin"));
    if (upgradeRequested) // no frame attached: only the request is stored
        QVERIFY(m_pWork->PostTask("Start_Upgrade", Qt::BlockingQueuedConnection, &upgradeView, upgradeView.Path()));
    m_pWindow->SetWorkType(eWorkType(workType));
    m_pLog->Clear();
    const int nInfos = m_pWindow->deviceInfos.size();

    PlugAndWait(frame, nStatuses + 1);
    QCOMPARE(m_pWindow->statuses.last(), true);
    if (!task.isEmpty())
        QTRY_VERIFY(!DeviceTasks().isEmpty());
    QTest::qWait(50);
    QCOMPARE(DeviceTasks(), task.isEmpty() ? QStringList() : QStringList{task});
    QVERIFY(dynamic_cast<HardwareInterface*>(m_pWork->GetTouchDevice()));
    QCOMPARE(m_pWork->GetTouchDevice() == pBefore, sameObject);
    if (sameObject) // read again on the spot, no task
        QCOMPARE(m_pWindow->deviceInfos.size(), nInfos + 1);
}

void TestDeviceArrival::unrecognisedModeIsIgnored()
{
    // The port's notice came after the frame had gone again: no mode.
    QTRY_VERIFY(m_pLog->Tasks().contains("InitEnvironmentValid"));
    m_pLog->Clear();
    m_pWork->InsertUsbDevice(true);
    QTest::qWait(20);
    QVERIFY(m_pLog->Lines().contains("InsertUsbDevice : 未知设备"));
    QVERIFY(m_pWindow->statuses.isEmpty());
    QVERIFY(!m_pWork->GetTouchDevice());
    QVERIFY(m_pLog->Tasks().isEmpty());
}

void TestDeviceArrival::bootInformationOfABootloaderFrame()
{
    CStationRig::SFrame& frame = m_pRig->AddFrame(0x7201, 0x0013, CEmulatedFrame::Mode::Bootloader);
    PlugAndWait(frame, 1);
    QVERIFY(m_pWork->PostTask("GetBootVersion", Qt::BlockingQueuedConnection));
    QTRY_COMPARE(m_pWindow->deviceInfos.size(), 1);
    QStringList names;
    for (const auto& pair : m_pWindow->deviceInfos[0].lstDevInfo)
        names << pair.first;
    QVERIFY2(names.contains("BootVersion") && names.contains("BootCheckSum"), qPrintable(names.join(',')));
    QCOMPARE(m_pWindow->deviceInfos[0].lstAppInfo.size(), 4);
    QVERIFY(m_pWindow->errors.isEmpty());
}

STATION_TEST_MAIN(TestDeviceArrival)
#include "tst_devicearrival.moc"
