// The station with an emulated frame instead of the USB bus, in this process:
// the command line that asks for it, the verdict the hardware layer gives
// each profile's frame (with the sample parameter table), and the start that
// "--emulated-frame" makes (StartEmulatedFrame, then MainWindow) with what
// the main panel shows, with a screenshot per profile; a replayed log's
// identity is no read of the frame.

#include "comportusb.h"
#include "customersettings.h"
#include "emulatedbootloader.h"
#include "emulatedframe.h"
#include "emulatedframeimage.h"
#include "emulatedprofile.h"
#include "emulatedstationframe.h"
#include "handlework.h"
#include "hardwareinterface.h"
#include "mainwindow.h"
#include "modalboxanswerer.h"
#include "qmain.h"
#include "runlogcapture.h"
#include "stationclock.h"
#include "stationresources.h"
#include "testenvironment.h"
#include "testfirmwareimage.h"
#include "touchbase.h"
#include "touchtestinfotable.h"
#include "unwritablepath.h"
#include "veloracalibrateview.h"
#include "veloratestview.h"
#include "veloraupgradeview.h"
#include "waitfor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {
const char* const kMcuId = "0123456789ABCDEF00112233";
const char* const kProduct = "KT-T65WHSUR-10P";
const char* const kBatch = "B2024-11-05";

QStringList Column(QTableWidget* pTable, int nColumn)
{
    QStringList texts;
    for (int r = 0; r < pTable->rowCount(); ++r)
        texts << (pTable->item(r, nColumn) ? pTable->item(r, nColumn)->text() : QString());
    return texts;
}

QString Hex(int32_t n)
{
    return QStringLiteral("0x%1").arg(uint32_t(n), 8, 16, QLatin1Char('0'));
}
// Shows the main window over the emulated frame and opens its upgrade view
// once the frame is attached; null, with the test failed, where it cannot.
VeloraUpgradeView* OpenUpgradeView(MainWindow& window)
{
    window.resize(1129, 748);
    window.show();
    auto* pView = window.findChild<VeloraUpgradeView*>();
    auto* pOpen = window.findChild<QToolButton*>(QStringLiteral("upgradeToolButton"));
    const char* szProblem = nullptr;
    if (!QTest::qWaitForWindowExposed(&window))
        szProblem = "the main window is not shown";
    else if (!pView || !pOpen)
        szProblem = "the main window has no upgrade view or no button for it";
    else if (!StationTest::WaitFor([&] { return window.GetHandleWork()->GetUsbPort()->GetDevCount() == 1; }))
        szProblem = "the emulated frame is not attached";
    else if (!StationTest::WaitFor([&] { return pOpen->isEnabled(); }))
        szProblem = "the upgrade button is not enabled";
    if (!szProblem) {
        pOpen->click();
        if (!pView->isVisible())
            szProblem = "the upgrade view is not shown";
    }
    if (szProblem) {
        QTest::qFail(szProblem, __FILE__, __LINE__);
        return nullptr;
    }
    return pView;
}
} // namespace

class TestEmulatedFrame : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void commandLine_data();
    void commandLine();
    void profileVerdicts_data();
    void profileVerdicts();
    void startShowsTheFrame_data();
    void startShowsTheFrame();
    void replayedLogIsNoReadOfTheFrame();
    void imageFileIsTheEmbeddedImage();
    void upgradesWithTheProvidedImage_data();
    void upgradesWithTheProvidedImage();
    void upgradesWithTheChosenImageTheStoreRefused();
    void aBootloaderThatDoesNotStartEndsTheUpgrade();
    void fourPointTargetsWaitForTheOperator();
};

void TestEmulatedFrame::initTestCase()
{
    InitStationResources();
    // The table is read once per process, from the working folder of the
    // first request: the sample the station is started with.
    QVERIFY(QFile::copy(QStringLiteral(STATION_SAMPLE_TABLE),
                        QDir::current().filePath(QStringLiteral("TouchTestInfo-V0001.csv"))));
    const CTouchTestInfoTable* pTable = CTouchTestInfoTable::GetInstance(QStringLiteral("TouchTestInfo"));
    const QMap<QString, QString> row = pTable->GetInfo(QStringLiteral("KT-T65WHSUR"), QStringLiteral("0x1A2B-0x3C4D"));
    QCOMPARE(row.value(QStringLiteral("X-T1-ADC")), QStringLiteral("90-255-0-30"));
    QCOMPARE(row.value(QStringLiteral("MaxTolerantWeakSignalTotal")), QStringLiteral("0"));
    // Any other product gets the defaults only.
    QVERIFY(!pTable->GetInfo(QStringLiteral("OTHER"), QString()).contains(QStringLiteral("X-T1-ADC")));
}

void TestEmulatedFrame::init()
{
    // Real time-outs; fixed pauses of the protocol pass at once.
    CStationClock::SetTimeoutScale(1.0);
    CStationClock::SetSleepHook([](int) {});
    CCustomerSettings::GetInstance()->clear();
}

void TestEmulatedFrame::cleanup()
{
    CStationClock::SetSleepHook(nullptr);
    CTestEnvironment::RealClock();
}

void TestEmulatedFrame::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("emulated");
    QTest::addColumn<QString>("profile"); // or a text the refusal contains

    QTest::newRow("none") << QStringList{} << true << false << QString();
    QTest::newRow("Qt's own only") << QStringList{"-platform", "offscreen"} << true << false << QString();
    QTest::newRow("default profile") << QStringList{"--emulated-frame"} << true << true << "healthy";
    QTest::newRow("named profile") << QStringList{"--emulated-frame=deformed"} << true << true << "deformed";
    QTest::newRow("among Qt's own") << QStringList{"-platform", "offscreen", "--emulated-frame=bootloader"} << true
                                    << true << "bootloader";
    QTest::newRow("the last one counts")
        << QStringList{"--emulated-frame=weak", "--emulated-frame=old-firmware"} << true << true << "old-firmware";
    QTest::newRow("unknown profile") << QStringList{"--emulated-frame=cracked"} << false << false
                                     << "Unknown profile of an emulated frame: \"cracked\"";
    QTest::newRow("empty profile") << QStringList{"--emulated-frame="} << false << false
                                   << "Unknown profile of an emulated frame: \"\"";
    QTest::newRow("case counts") << QStringList{"--emulated-frame=Healthy"} << false << false
                                 << "\"Healthy\"";
    QTest::newRow("profile without equals sign") << QStringList{"--emulated-frame", "weak"} << false << false
                                                 << "--emulated-frame=weak";
    QTest::newRow("misspelt option") << QStringList{"--emulated-frames"} << false << false
                                     << "Unknown option \"--emulated-frames\"";
}

void TestEmulatedFrame::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, accepted);
    QFETCH(bool, emulated);
    QFETCH(QString, profile);

    StationOptions options;
    options.bEmulatedFrame = !emulated; // must be overwritten
    QString strError;
    QCOMPARE(ParseStationOptions(arguments, &options, &strError), accepted);
    if (accepted) {
        QVERIFY2(strError.isEmpty(), qPrintable(strError));
        QCOMPARE(options.bEmulatedFrame, emulated);
        QCOMPARE(options.strProfile, profile);
    } else {
        QVERIFY2(strError.contains(profile), qPrintable(strError));
        // Every refusal names what would have been understood.
        QVERIFY2(strError.endsWith(QStringLiteral("Known profiles: healthy, dead-emitter, broken-connector, weak, "
                                                  "deformed, old-firmware, bootloader, no-batch, jump-fails.")),
                 qPrintable(strError));
    }
}

// What the station's test of each profile's frame comes to, through the real
// device layer, the USB port and the hardware interface, with the sample
// table applied. An empty code: the station does not test such a frame.
void TestEmulatedFrame::profileVerdicts_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<uint>("mode"); // 1 application, 0 bootloader
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("code");

    QTest::newRow("healthy") << "healthy" << 1u << 0x7201 << "PASS";
    QTest::newRow("dead-emitter") << "dead-emitter" << 1u << 0x7201 << "NG2";
    QTest::newRow("broken-connector") << "broken-connector" << 1u << 0x7201 << "NG1";
    QTest::newRow("weak") << "weak" << 1u << 0x7201 << "NG3";
    QTest::newRow("deformed") << "deformed" << 1u << 0x7201 << "NG4";
    // Below 0x7200 an application frame is refused on arrival.
    QTest::newRow("old-firmware") << "old-firmware" << 1u << 0x7100 << QString();
    QTest::newRow("bootloader") << "bootloader" << 0u << 0x0100 << QString();
    QTest::newRow("no-batch") << "no-batch" << 1u << 0x7201 << "PASS";
    QTest::newRow("jump-fails") << "jump-fails" << 1u << 0x7201 << "PASS";
}

void TestEmulatedFrame::profileVerdicts()
{
    QFETCH(QString, profile);
    QFETCH(uint, mode);
    QFETCH(int, version);
    QFETCH(QString, code);

    QVERIFY(CEmulatedProfile::IsKnown(profile));
    std::unique_ptr<CEmulatedStationFrame> pFrame = CEmulatedStationFrame::Create(profile);
    QVERIFY(pFrame);
    QVERIFY(pFrame->IsPlugged());
    CComPortUsb port;
    QVERIFY(StationTest::WaitFor([&] { return port.GetDevCount() == 1; }));
    QCOMPARE(port.GetDeviceMode(), mode);
    QCOMPARE(port.GetVersion(), version);
    if (code.isEmpty())
        return;

    HardwareInterface hw(nullptr, &port, QStringLiteral("emulated"));
    QCOMPARE(Hex(hw.StartTest(0)), Hex(0));
    // The product's row of the sample table replaced the frame's own limits.
    QCOMPARE(hw.GetAxisSignalMap()[QStringLiteral("Y")].GetTestStandards("T2", "ADC"),
             (QList<SignalRange>{{90, 255}}));
    QString strCode = QStringLiteral("PASS"), strMessage;
    hw.GetTestResultCode(strCode, strMessage);
    QCOMPARE(strCode, code);
    QCOMPARE(hw.GetSignalErrors().isEmpty(), code == QLatin1String("PASS"));
}

void TestEmulatedFrame::startShowsTheFrame_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<QString>("shows"); // "identity", "refusal" or "bootloader"

    QTest::newRow("healthy") << "healthy" << "identity";
    QTest::newRow("dead-emitter") << "dead-emitter" << "identity";
    QTest::newRow("old-firmware") << "old-firmware" << "refusal";
    QTest::newRow("bootloader") << "bootloader" << "bootloader";
    QTest::newRow("no-batch") << "no-batch" << "identity";
    QTest::newRow("jump-fails") << "jump-fails" << "identity";
}

void TestEmulatedFrame::startShowsTheFrame()
{
    QFETCH(QString, profile);
    QFETCH(QString, shows);

    CRunLogCapture log;
    CModalBoxAnswerer boxes;
    std::unique_ptr<CEmulatedStationFrame> pFrame = StartEmulatedFrame(profile);
    QVERIFY(pFrame);
    QCOMPARE(pFrame->Profile(), profile);
    // The run log says which frame this is.
    const QStringList lines = log.Lines();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0), QStringLiteral("[emulated frame] Profile \"%1\": %2.")
                              .arg(profile, CEmulatedProfile::Summary(profile)));
    QVERIFY2(lines.at(1).startsWith(QLatin1String("[emulated frame] Plugged in: VID 0x2FE9")), qPrintable(lines.at(1)));
    QVERIFY2(lines.at(1).contains(kMcuId) && lines.at(1).contains(kProduct), qPrintable(lines.at(1)));

    {
        MainWindow window;
        MarkEmulatedWindow(&window);
        MarkEmulatedWindow(&window); // once is enough
        QCOMPARE(window.windowTitle(), QStringLiteral("KESTREL-CUSTOMER 0.0.0.6 [emulated frame]"));
        // So do the work views, once each, also after one takes another
        // title (the test view names the log it replays).
        auto* pTestView = window.findChild<VeloraTestView*>();
        const QList<QWidget*> views{pTestView, window.findChild<VeloraCalibrateView*>(),
                                    window.findChild<VeloraUpgradeView*>()};
        for (QWidget* pView : views) {
            QVERIFY(pView);
            QCOMPARE(pView->windowTitle(), QStringLiteral("KESTREL-CUSTOMER 0.0.0.6 [emulated frame]"));
        }
        pTestView->setWindowTitle(QStringLiteral("KESTREL-CUSTOMER 0.0.0.6 - Test log: run.xml"));
        QCOMPARE(pTestView->windowTitle(), QStringLiteral("KESTREL-CUSTOMER 0.0.0.6 - Test log: run.xml [emulated frame]"));
        window.resize(1129, 748);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        auto* pNotice = window.findChild<QLabel*>(QStringLiteral("noticeLabel"));
        auto* pTable = window.findChild<QTableWidget*>(QStringLiteral("HardwareInfoWidget"));
        auto* pSn = window.findChild<QLabel*>(QStringLiteral("snLabel"));
        auto* pModel = window.findChild<QLabel*>(QStringLiteral("modelLabel"));
        QVERIFY(pNotice && pTable && pSn && pModel);

        if (shows == QLatin1String("identity")) {
            QVERIFY2(StationTest::WaitFor([&] { return Column(pTable, 1).contains(kMcuId); }),
                     qPrintable(Column(pTable, 1).join(',')));
            QCOMPARE(pModel->text(), QString::fromLatin1(kProduct));
            // A frame without batch information shows none of its own.
            QCOMPARE(pSn->text(), profile == QLatin1String("no-batch") ? QStringLiteral("?????????????????????????")
                                                                       : QString::fromLatin1(kBatch));
            QVERIFY(!pNotice->isVisible());
            const QStringList names = Column(pTable, 0);
            QVERIFY2(names.contains("Product id") && names.contains("CheckSum"), qPrintable(names.join(',')));
            QVERIFY(Column(pTable, 1).contains(QStringLiteral("0x1A2B-0x3C4D")));
            // What the station read reaches the run log as well.
            QVERIFY(StationTest::WaitFor([&] { return log.Contains(QStringLiteral("[emulated frame] The station read:")); }));
            QVERIFY(log.Contains(QStringLiteral("McuID %1").arg(QLatin1String(kMcuId))));
        } else if (shows == QLatin1String("refusal")) {
            QVERIFY(StationTest::WaitFor([&] { return !boxes.boxes.isEmpty(); }));
            QCOMPARE(boxes.boxes.first().title, QStringLiteral("Warning"));
            QCOMPARE(boxes.boxes.first().text, QStringLiteral("0x7100 This series of touch boxes do not support!"));
            QCOMPARE(pNotice->text(), QStringLiteral("There is no device inserted, Please insert device!"));
            QVERIFY(pTable->rowCount() <= 1);
        } else {
            QVERIFY(StationTest::WaitFor(
                [&] { return pNotice->text() == QLatin1String("Touch In Bootloader, Now initializing..."); }));
            QVERIFY(pNotice->isVisible());
            QVERIFY(!pModel->isVisible());
        }
        QVERIFY(boxes.boxes.size() == (shows == QLatin1String("refusal") ? 1 : 0));

        const QString strPath = CTestEnvironment::OutputDir() + QStringLiteral("/emulated-station-%1.png").arg(profile);
        QVERIFY(window.grab().save(strPath));
        qInfo().noquote() << "Screenshot:" << strPath;
    }
    // The window (and its device layer) goes before the frame.
    pFrame.reset();
}

// The run log's "The station read:" line is for what the frame reported: a
// log replayed meanwhile shows its own identity in the window, but the line
// never names it.
void TestEmulatedFrame::replayedLogIsNoReadOfTheFrame()
{
    const QString kRead = QStringLiteral("[emulated frame] The station read:");
    CRunLogCapture log;
    std::unique_ptr<CEmulatedStationFrame> pFrame = StartEmulatedFrame(QStringLiteral("healthy"));
    QVERIFY(pFrame);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("replayed.xml"));
    {
        MainWindow window;
        MarkEmulatedWindow(&window);
        HandleWork* pWork = window.GetHandleWork();
        auto* pTestView = window.findChild<VeloraTestView*>();
        QVERIFY(pTestView);
        QVERIFY(StationTest::WaitFor([&] { return log.Count(kRead) == 1; }));
        QVERIFY(log.Contains(QStringLiteral("BatchInfo %1").arg(QLatin1String(kBatch))));
        // A test of the frame, filed under another batch.
        {
            QMutexLocker lock(pWork->GetDeviceMutex());
            CTouchBase* pDevice = pWork->GetTouchDevice();
            QVERIFY(pDevice);
            QCOMPARE(pDevice->StartTest(1), 0);
            pDevice->SetProperty(QStringLiteral("BatchInfo"), QStringLiteral("REPLAYED-BATCH"));
            QCOMPARE(pDevice->SaveXml(path), 0);
            pDevice->SetProperty(QStringLiteral("BatchInfo"), QString::fromLatin1(kBatch));
        }
        pTestView->SetLogFilePathForTest(path);
        QVERIFY(pWork->PostTask(QStringLiteral("OpenTestLog"), Qt::AutoConnection, pTestView));
        // The window shows the log's identity...
        auto* pSn = window.findChild<QLabel*>(QStringLiteral("snLabel"));
        QVERIFY(StationTest::WaitFor([&] {
            return pWork->GetDeviceKind() == HandleWork::DeviceKind::Replay
                   && pSn->text() == QLatin1String("REPLAYED-BATCH");
        }));
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        // ...and the run log has no read of it.
        QCOMPARE(log.Count(kRead), 1);
        QVERIFY(log.Lines().filter(kRead).filter("REPLAYED").isEmpty());
    }
    pFrame.reset();
}

void TestEmulatedFrame::imageFileIsTheEmbeddedImage()
{
    // The file the build put beside the library, for the operator to choose,
    // holds what the frame's bootloader expects.
    QFile file(QStringLiteral(STATION_EMULATED_IMAGE));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    QCOMPARE(QFileInfo(file).fileName(), CEmulatedFrameImage::FileName());
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes, CEmulatedFrameImage::Data());
    QVERIFY(bytes.size() >= 64 * 64);
    QCOMPARE(bytes.size() % 64, 0);
}

void TestEmulatedFrame::upgradesWithTheProvidedImage_data()
{
    QTest::addColumn<QString>("profile");
    QTest::addColumn<bool>("provided");      // the image of emulatedframeimage.h, else a test image
    QTest::addColumn<QStringList>("endings");  // one upgrade per ending, pressed one after the other
    QTest::addColumn<int>("command");  // of every record of a test image

    QTest::newRow("twice in a row") << "healthy" << true
                                    << QStringList{"Update completed(1,0)", "Update completed(2,0)"} << 0x01;
    // The download starts at once; the frame then restarts in its
    // application and is sent through its bootloader for the second.
    QTest::newRow("from the bootloader, twice") << "bootloader" << true
                                                << QStringList{"Update completed(1,0)", "Update completed(2,0)"}
                                                << 0x01;
    QTest::newRow("another sound image") << "healthy" << false << QStringList{"Upgrade error Packet(0,1)"} << 0x01;
    // Its records carry another bootloader command than the frame expects.
    QTest::newRow("a sound image of other records") << "healthy" << false
                                                    << QStringList{"Upgrade error Packet(0,1)"} << 0x02;
}

void TestEmulatedFrame::upgradesWithTheProvidedImage()
{
    QFETCH(QString, profile);
    QFETCH(bool, provided);
    QFETCH(QStringList, endings);
    QFETCH(int, command);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    {
        QFile file(path);
        QByteArray image = provided ? CEmulatedFrameImage::Data() : StationTest::FirmwareImage(8);
        for (int i = 1; !provided && i < image.size(); i += 64)
            image[i] = char(command);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(image), qint64(image.size()));
    }
    CCustomerSettings::GetInstance()->SetString(QStringLiteral("UpgradeFilePath"), path);

    CModalBoxAnswerer boxes;
    std::unique_ptr<CEmulatedStationFrame> pFrame = StartEmulatedFrame(profile);
    QVERIFY(pFrame);
    {
        MainWindow window;
        VeloraUpgradeView* pView = OpenUpgradeView(window);
        QVERIFY(pView);
        auto* pUpgrade = pView->findChild<QPushButton*>(QStringLiteral("upgradePushButton"));
        auto* pBar = pView->findChild<QProgressBar*>(QStringLiteral("upgradeProgressBar"));
        auto* pTable = pView->findChild<QTableWidget*>(QStringLiteral("infoTableWidget"));
        QVERIFY(pUpgrade && pBar && pTable);

        for (const QString& ending : endings) {
            QVERIFY(StationTest::WaitFor([&] { return pUpgrade->isEnabled(); }));
            QTest::mouseClick(pUpgrade, Qt::LeftButton);
            QVERIFY2(StationTest::WaitFor([&] { return Column(pTable, 1).contains(ending); }, 60000),
                     qPrintable(Column(pTable, 1).join('\n')));
        }
        QVERIFY(StationTest::WaitFor([&] { return pUpgrade->isEnabled(); }));
        const QStringList rows = Column(pTable, 1);
        const bool bCompleted = endings.last().startsWith(QLatin1String("Update completed"));
        QCOMPARE(rows.count("Enter upgrade mode"), endings.size());
        QCOMPARE(rows.filter(QRegularExpression(QStringLiteral("\\(\\d+,\\d+\\)$"))), endings);
        QVERIFY(pBar->styleSheet().contains(bCompleted ? QLatin1String("chunk:enabled {background-color: #33FF00")
                                                       : QLatin1String("chunk:enabled {background-color: #FF3300")));
        // Back in its application with the image, or waiting in its
        // bootloader after the refusal.
        QCOMPARE(pFrame->Frame()->CurrentMode(),
                 bCompleted ? CEmulatedFrame::Mode::Application : CEmulatedFrame::Mode::Bootloader);
        QCOMPARE(pFrame->Bootloader()->IsComplete(), bCompleted);
        // Every completed upgrade is seen to have taken: the frame reports
        // the version and checksum the README names for the provided image.
        const QString taken = QStringLiteral("Version:0xCFE4-0x0103 CheckSum:0x6080-0x3C4D ");
        QCOMPARE(rows.filter(taken).size(), bCompleted ? endings.size() : 0);
        QVERIFY(boxes.boxes.isEmpty());

        const QString image = provided ? QStringLiteral("provided")
                                       : command == 0x01 ? QStringLiteral("other") : QStringLiteral("other-records");
        const QString strShot = CTestEnvironment::OutputDir()
            + QStringLiteral("/emulated-station-upgrade-%1-%2.png").arg(profile, image);
        QVERIFY(pView->grab().save(strShot));
        qInfo().noquote() << "Screenshot:" << strShot;
        QVERIFY(pView->close());
    }
    pFrame.reset();
}

void TestEmulatedFrame::upgradesWithTheChosenImageTheStoreRefused()
{
    // The settings file holds an earlier image the frame refuses, and the
    // station cannot write that file: the image chosen in the view is the
    // one downloaded all the same, and the operator hears that the choice
    // was not stored.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("A")) && QDir(dir.path()).mkpath(QStringLiteral("B")));
    const QString oldPath = dir.filePath(QStringLiteral("A/old.bin"));
    const QString newPath = dir.filePath(QStringLiteral("B/new.bin"));
    for (const auto& file : {qMakePair(oldPath, StationTest::FirmwareImage(8)),
                             qMakePair(newPath, CEmulatedFrameImage::Data())}) {
        QFile f(file.first);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(file.second), qint64(file.second.size()));
    }
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    QVERIFY(pSettings->SetString(QStringLiteral("UpgradeFilePath"), oldPath));
    CUnwritablePath unwritable(pSettings->fileName());
    if (!unwritable.IsActive())
        QSKIP("the settings file cannot be made unwritable here");

    CRunLogCapture log;
    CModalBoxAnswerer boxes;
    std::unique_ptr<CEmulatedStationFrame> pFrame = StartEmulatedFrame(QStringLiteral("healthy"));
    QVERIFY(pFrame);
    {
        MainWindow window;
        VeloraUpgradeView* pView = OpenUpgradeView(window);
        QVERIFY(pView);
        auto* pUpgrade = pView->findChild<QPushButton*>(QStringLiteral("upgradePushButton"));
        auto* pBrowse = pView->findChild<QPushButton*>(QStringLiteral("browsePushButton"));
        auto* pTable = pView->findChild<QTableWidget*>(QStringLiteral("infoTableWidget"));
        QVERIFY(pUpgrade && pBrowse && pTable);
        QCOMPARE(pView->GetFirmwarePathText(), oldPath);

        boxes.AnswerFile(newPath);
        QTest::mouseClick(pBrowse, Qt::LeftButton);
        QCOMPARE(boxes.boxes.size(), 2);
        QCOMPARE(boxes.boxes[0].kind, CModalBoxAnswerer::EKind::File);
        QCOMPARE(boxes.boxes[1].kind, CModalBoxAnswerer::EKind::Message);
        QCOMPARE(boxes.boxes[1].icon, QStringLiteral("Warning"));
        QVERIFY2(boxes.boxes[1].text.startsWith(QLatin1String("The setting was not stored")),
                 qPrintable(boxes.boxes[1].text));
        QVERIFY2(boxes.boxes[1].text.contains(pSettings->fileName()), qPrintable(boxes.boxes[1].text));
        QCOMPARE(pView->GetFirmwarePathText(), newPath);

        for (const QString& ending : {QStringLiteral("Update completed(1,0)"), QStringLiteral("Update completed(2,0)")}) {
            QVERIFY(StationTest::WaitFor([&] { return pUpgrade->isEnabled(); }));
            QTest::mouseClick(pUpgrade, Qt::LeftButton);
            QVERIFY2(StationTest::WaitFor([&] { return Column(pTable, 1).contains(ending); }, 60000),
                     qPrintable(Column(pTable, 1).join('\n')));
        }
        QVERIFY(StationTest::WaitFor([&] { return pUpgrade->isEnabled(); }));
        // Both upgrades took the chosen image: the frame reports its version.
        const QStringList rows = Column(pTable, 1);
        QCOMPARE(rows.filter(QStringLiteral("Version:0xCFE4-0x0103 CheckSum:0x6080-0x3C4D ")).size(), 2);
        QVERIFY(pFrame->Bootloader()->IsComplete());
        QCOMPARE(log.Lines().filter(QStringLiteral("Start_Upgrade, firmware")),
                 (QStringList{QStringLiteral("ProcessTask : Start_Upgrade, firmware ") + newPath,
                              QStringLiteral("ProcessTask : Start_Upgrade, firmware ") + newPath}));
        QCOMPARE(pView->GetFirmwarePathText(), newPath);
        QCOMPARE(boxes.boxes.size(), 2);
        QVERIFY(pView->close());
    }
    pFrame.reset();
    // The file still holds what it held.
    unwritable.Restore();
    QCOMPARE(pSettings->GetString(QStringLiteral("UpgradeFilePath"), QString()), oldPath);
}

void TestEmulatedFrame::aBootloaderThatDoesNotStartEndsTheUpgrade()
{
    // The frame answers every jump to its bootloader and comes back in its
    // application: the upgrade fails after the bound of jumps, with its
    // counts, and the frame is not sent away again.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("image.bin"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(CEmulatedFrameImage::Data()), qint64(CEmulatedFrameImage::Data().size()));
    }
    CCustomerSettings::GetInstance()->SetString(QStringLiteral("UpgradeFilePath"), path);

    CRunLogCapture log;
    CModalBoxAnswerer boxes;
    std::unique_ptr<CEmulatedStationFrame> pFrame = StartEmulatedFrame(QStringLiteral("jump-fails"));
    QVERIFY(pFrame);
    {
        MainWindow window;
        HandleWork* pWork = window.GetHandleWork();
        VeloraUpgradeView* pView = OpenUpgradeView(window);
        QVERIFY(pView);
        auto* pUpgrade = pView->findChild<QPushButton*>(QStringLiteral("upgradePushButton"));
        auto* pTable = pView->findChild<QTableWidget*>(QStringLiteral("infoTableWidget"));
        QVERIFY(pUpgrade && pTable);

        auto jumps = [&] { return pFrame->Frame()->RequestsFor(0xAA, 0x04).size(); };
        QVERIFY(StationTest::WaitFor([&] { return pUpgrade->isEnabled(); }));
        QTest::mouseClick(pUpgrade, Qt::LeftButton);
        QVERIFY(StationTest::WaitFor([&] { return jumps() >= 1; }));
        // Within the bootloader-detect report's own time after the first jump.
        const QString failure = QStringLiteral("Jump bootloader returns exception(0,1)");
        QVERIFY2(StationTest::WaitFor([&] { return Column(pTable, 1).contains(failure); }, 40000),
                 qPrintable(Column(pTable, 1).join('\n')));
        QVERIFY(StationTest::WaitFor([&] { return pUpgrade->isEnabled(); }));
        // The frame is back and the dispatcher idle: nothing more is on its way.
        QVERIFY(StationTest::WaitFor([&] {
            return pWork->GetUsbPort()->GetDevCount() == 1
                && pFrame->Frame()->CurrentMode() == CEmulatedFrame::Mode::Application;
        }));
        QVERIFY(pWork->PostTask(QStringLiteral("Sync"), Qt::BlockingQueuedConnection));
        QCOMPARE(jumps(), HandleWork::kMaxBootJumpsPerUpgrade);
        QStringList rows = Column(pTable, 1);
        QCOMPARE(rows.filter(QRegularExpression(QStringLiteral("\\(\\d+,\\d+\\)$"))), QStringList{failure});
        QCOMPARE(rows.count(QStringLiteral("Jump to bootloader")), HandleWork::kMaxBootJumpsPerUpgrade);

        // The request went with the failure: the frame plugged again is read,
        // not sent to its bootloader.
        const int nInfoRows = rows.filter(QStringLiteral("Product:")).size();
        pFrame->Unplug();
        QVERIFY(StationTest::WaitFor([&] { return pWork->GetUsbPort()->GetDevCount() == 0; }));
        pFrame->Plug();
        QVERIFY(StationTest::WaitFor([&] { return Column(pTable, 1).filter(QStringLiteral("Product:")).size() > nInfoRows; }));
        QVERIFY(pWork->PostTask(QStringLiteral("Sync"), Qt::BlockingQueuedConnection));
        QCOMPARE(jumps(), HandleWork::kMaxBootJumpsPerUpgrade);
        QVERIFY(boxes.boxes.isEmpty());

        // A new start counts its jumps afresh.
        QTest::mouseClick(pUpgrade, Qt::LeftButton);
        const QString second = QStringLiteral("Jump bootloader returns exception(0,2)");
        QVERIFY2(StationTest::WaitFor([&] { return Column(pTable, 1).contains(second); }, 40000),
                 qPrintable(Column(pTable, 1).join('\n')));
        QVERIFY(StationTest::WaitFor([&] { return pUpgrade->isEnabled(); }));
        QVERIFY(StationTest::WaitFor([&] { return pWork->GetUsbPort()->GetDevCount() == 1; }));
        QVERIFY(pWork->PostTask(QStringLiteral("Sync"), Qt::BlockingQueuedConnection));
        QCOMPARE(jumps(), 2 * HandleWork::kMaxBootJumpsPerUpgrade);

        const QString strShot = CTestEnvironment::OutputDir() + QStringLiteral("/emulated-station-upgrade-jump-fails.png");
        QVERIFY(pView->grab().save(strShot));
        qInfo().noquote() << "Screenshot:" << strShot;
        QVERIFY(pView->close());
    }
    pFrame.reset();
}

void TestEmulatedFrame::fourPointTargetsWaitForTheOperator()
{
    // The station's frame answers each step of a four-point calibration
    // when its "operator" has touched the target, about a second after the
    // step asked for it, so that each target is seen; the six answers stay
    // well inside the screen's 30 s count-down and 10 s step time-out. A
    // frame of the tests' rigs answers at once.
    std::unique_ptr<CEmulatedStationFrame> pStation = CEmulatedStationFrame::Create(QStringLiteral("healthy"));
    QVERIFY(pStation);
    CEmulatedFrame rigFrame;
    auto answerDelay = [](CEmulatedFrame* pFrame, int nStep) {
        QByteArray request(64, '\0');
        request[0] = char(0xFC);
        request[1] = char(0x01);
        request[2] = char(nStep);
        for (const CEmulatedFrame::Action& action : pFrame->OnOutput(request)) {
            if (action.kind == CEmulatedFrame::Action::Reply)
                return action.delayMs;
        }
        return -1;
    };
    for (int nStep = 0; nStep <= 5; ++nStep) {
        const int nDelay = answerDelay(pStation->Frame(), nStep);
        QVERIFY2(nDelay >= 700 && nDelay <= 1500, qPrintable(QString::number(nDelay)));
        QCOMPARE(answerDelay(&rigFrame, nStep), 0);
    }
    QVERIFY2(pStation->Frame()->Violations().isEmpty(), qPrintable(pStation->Frame()->Violations().join('\n')));
}

STATION_TEST_MAIN(TestEmulatedFrame)
#include "tst_emulatedframe.moc"
