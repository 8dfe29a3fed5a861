// The upgrade view in the real main window over the real dispatcher: its
// form, the firmware choice (stored path, browse, drops), start and cancel,
// the dispatcher's statuses through the real slot, frames arriving and
// leaving, the device-information lines, leaving the view and the settings
// it reloads. Statuses the dispatcher would send during a download are
// emitted by the test on the dispatcher's own signal; the frame, when one is
// attached, is the emulated one behind the real USB port.

#include "modalboxanswerer.h"
#include "mutexholder.h"
#include "runlogcapture.h"
#include "stationresources.h"
#include "touchbase.h"
#include "upgradestation.h"

#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QSignalSpy>
#include <QUrl>
#include <QtTest>

#include <cmath>
#include <limits>

namespace {
const QString kChooseFirmware = QStringLiteral("Please choose a correct Firmware ......");
const QString kNoFirmware = QStringLiteral("No firmware selected, please select a valid file");
const QString kRefusal = QStringLiteral("Upgrade in progress, can't respond to exit!");
// Records of an image that a test downloads whole.
constexpr int kUpgradeRecords = 40;
const char* const kToolStyle =
    "QToolButton{border:none} QToolTip{border:1px solid rgb(118, 118, 118); background-color: #ffffff; "
    "color:#484848; font-size:12px;}";

// The test view as the dispatcher sees it: it runs a test and opens a log.
class CLogPoster : public QObject
{
    Q_OBJECT
public:
    QString strLogPath;
    int nLoaded = 0;
    Q_INVOKABLE QString GetLogFilePath() { return strLogPath; }

public slots:
    void InitTestUi(QMap<QString, QString>) { ++nLoaded; }
};

void Drop(QWidget* pView, QMimeData* pData)
{
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, pData, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pView, &enter);
    QDropEvent drop(QPoint(10, 10), Qt::CopyAction, pData, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(pView, &drop);
}

QList<QPair<QString, QString>> Pairs(const QStringList& flat)
{
    QList<QPair<QString, QString>> out;
    for (int i = 0; i + 1 < flat.size(); i += 2)
        out << qMakePair(flat[i], flat[i + 1]);
    return out;
}
} // namespace

class TestUpgradeView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void form();
    void openingJudgesTheStoredPath_data();
    void openingJudgesTheStoredPath();
    void openingShowsTheAttachedFrame();
    void openingWithATestLogOpen();
    void browse();
    void drops_data();
    void drops();
    void dropWhileUpgrading();
    void scripts_data();
    void scripts();
    void lateErrorOfTheEndedUpgradeIsNotTheNextOnes();
    void completionAndCounts();
    void noCompletionAboveTheApplicationIds();
    void refusedStartEndsAsACancel();
    void arrivalsWhileATestLogIsOpen_data();
    void arrivalsWhileATestLogIsOpen();
    void deviceInformationLines_data();
    void deviceInformationLines();
    void leaving_data();
    void leaving();
    void settingsChangeReloadsTheKeys_data();
    void settingsChangeReloadsTheKeys();

private:
    // Clicks "Upgrade" and lets the dispatcher take the task.
    void Start();
    // An upgrade started with a frame that takes the jump and stays (its
    // information is the test's), whose announced departure follows.
    void StartAndLeave();
    // A saved test log of the frame is open (the device object replays it)
    // and the frame has left.
    void OpenTestLogReplay();
    int Posts(const QString& task) const { return m_log->Lines().count(QStringLiteral("ProcessTask :task = ") + task); }

    std::unique_ptr<CUpgradeStation> m;
    std::unique_ptr<CRunLogCapture> m_log;
};

void TestUpgradeView::initTestCase()
{
    InitStationResources();
}

void TestUpgradeView::init()
{
    CTestEnvironment::FastClock(0.02);
    CCustomerSettings::GetInstance()->clear();
    m_log = std::make_unique<CRunLogCapture>();
    m = std::make_unique<CUpgradeStation>();
    QVERIFY(m->watchdog);
    QVERIFY(m->detect);
}

void TestUpgradeView::cleanup()
{
    m.reset();
    m_log.reset();
    CTestEnvironment::RealClock();
}

void TestUpgradeView::Start()
{
    QVERIFY(m->UpgradeButton()->isEnabled());
    QTest::mouseClick(m->UpgradeButton(), Qt::LeftButton);
    QVERIFY(m->Settle());
}

void TestUpgradeView::StartAndLeave()
{
    m->WriteImage(4);
    m->StallJump();
    QVERIFY(m->Open());
    QVERIFY(m->PlugApplicationFrame());
    Start();
    emit m->work->EmitDeviceEnumerateState(true);
    m->view->InsertUsbDeviceForUpgrade(false);
}

void TestUpgradeView::form()
{
    VeloraUpgradeView* v = m->view;
    QCOMPARE(v->windowTitle(), QStringLiteral("KESTREL-CUSTOMER 0.0.0.6"));
    QCOMPARE(v->size(), QSize(1187, 644));
    QVERIFY(v->acceptDrops());
    QVERIFY(v->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(v->windowFlags() & Qt::WindowMaximizeButtonHint);
    // The watchdog's 3 s go through the station clock.
    QCOMPARE(m->nWatchdogInterval, CStationClock::Timeout(3000));
    QVERIFY(!m->watchdog->isSingleShot());

    auto* pLabel = m->Child<QLabel>("ver_label");
    QCOMPARE(pLabel->text(), QStringLiteral("KESTREL-CUSTOMER 0.0.0.6"));
    QCOMPARE(m->Bar()->maximum(), 100);
    QVERIFY(!m->Bar()->isTextVisible());
    QVERIFY(!m->Child<QLineEdit>("browseLineEdit")->isEnabled());
    QCOMPARE(m->BrowseButton()->text(), QStringLiteral("Browse"));
    QCOMPARE(m->UpgradeButton()->text(), QStringLiteral("Upgrade"));
    QCOMPARE(m->Table()->columnCount(), 2);
    QCOMPARE(m->Table()->contextMenuPolicy(), Qt::CustomContextMenu);
    QVERIFY(m->CancelAction());
    QVERIFY(!m->CancelAction()->isEnabled());

    struct SButton
    {
        const char* szName;
        const char* szToolTip;
        const char* szShortcut;
        const char* szIcon;
    };
    const SButton buttons[] = {
        {"touchEnToolButton", "Enable/Disable Touch(F1)", "F1", ":/Image/Image-UI/enTouch-E.png"},
        {"signalToolButton", "Signal(PgUp)", "PgUp", ":/Image/Image-UI/curvPressed-E.png"},
        {"calToolButton", "Calibration(C)", "C", ":/Image/Image-UI/Cal-E.png"},
        {"lstActionToolButton", "SetUp(S)", "S", ":/Image/Image-UI/setUp-E.png"},
        {"exitToolButton", "Exit(Esc)", "Esc", ":/Image/Image-UI/exit-E.png"},
    };
    auto* pColumn = m->Child<QWidget>("controlwidget");
    for (const SButton& b : buttons) {
        auto* pButton = pColumn->findChild<QToolButton*>(QLatin1String(b.szName));
        QVERIFY2(pButton, b.szName);
        QCOMPARE(pButton->toolTip(), QString::fromLatin1(b.szToolTip));
        QCOMPARE(pButton->shortcut(), QKeySequence(QString::fromLatin1(b.szShortcut)));
        QCOMPARE(pButton->iconSize(), QSize(48, 48));
        const QImage expected = QIcon(QString::fromLatin1(b.szIcon)).pixmap(48, 48).toImage();
        QVERIFY2(!expected.isNull(), b.szIcon);
        QCOMPARE(pButton->icon().pixmap(48, 48, QIcon::Normal, QIcon::Off).toImage(), expected);
    }
    QCOMPARE(pColumn->findChild<QToolButton*>("exitToolButton")->styleSheet(), QString::fromLatin1(kToolStyle));
    // The touch and set-up buttons are never shown, and F1 and S reach nothing.
    QVERIFY(m->Open());
    QVERIFY(v->isVisible());
    auto* pTouch = pColumn->findChild<QToolButton*>("touchEnToolButton");
    auto* pSetUp = pColumn->findChild<QToolButton*>("lstActionToolButton");
    QVERIFY(!pTouch->isVisible());
    QVERIFY(!pSetUp->isVisible());
    QVERIFY(!pLabel->isVisible());
    QSignalSpy touchClicks(pTouch, &QToolButton::clicked);
    QSignalSpy setUpClicks(pSetUp, &QToolButton::clicked);
    pTouch->setEnabled(true);
    QTest::keyClick(v, Qt::Key_F1);
    QTest::keyClick(v, Qt::Key_S);
    QTest::qWait(150);  // longer than a shortcut's animated click
    QCOMPARE(touchClicks.count(), 0);
    QCOMPARE(setUpClicks.count(), 0);
    QVERIFY(v->isVisible());
}

void TestUpgradeView::openingJudgesTheStoredPath_data()
{
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("nothing stored") << false << "" << false;
    QTest::newRow("empty") << true << "" << false;
    QTest::newRow("an image") << true << "/fw/image.bin" << true;
    // The test is whether ".bin" stands anywhere in the path.
    QTest::newRow("a.bin.txt") << true << "/fw/a.bin.txt" << true;
    QTest::newRow("A.BIN") << true << "/fw/A.BIN" << false;
}

void TestUpgradeView::openingJudgesTheStoredPath()
{
    QFETCH(bool, stored);
    QFETCH(QString, path);
    QFETCH(bool, enabled);

    if (stored)
        CCustomerSettings::GetInstance()->SetString(QStringLiteral("UpgradeFilePath"), path);
    QVERIFY(m->Open());
    const QStringList rows = m->Rows();
    QCOMPARE(rows.size(), 2);
    QVERIFY2(rows[0].startsWith(QLatin1String("Generate log file:")), qPrintable(rows[0]));
    QCOMPARE(rows[1], enabled ? path : kChooseFirmware);
    QCOMPARE(m->UpgradeButton()->isEnabled(), enabled);
    QCOMPARE(m->view->IsUpgradeButtonDisabled(), !enabled);
    QCOMPARE(m->view->GetFirmwarePathText(), enabled ? path : QString());
    // The next upgrade takes the stored image as the view found it, whatever
    // the view made of it.
    QCOMPARE(m->view->GetUpgradeFilePath(), path);
}

void TestUpgradeView::openingShowsTheAttachedFrame()
{
    const QString product = QStringLiteral(
        "Product:KT-T65WHSUR-10P Vid:0x2FE9 Pid:0x0013 Version:0x0102-0x0103 CheckSum:0x1A2B-0x3C4D ");
    const QString identity = QStringLiteral("BatchInfo:B2024-11-05 McuID:0123456789ABCDEF00112233 ");
    const QString boot = QStringLiteral("BootVersion:0x020105 BootCheckSum:0x11223344 ");
    m->WriteImage(2);
    QVERIFY(m->PlugApplicationFrame());  // on the main panel: the view is closed
    QVERIFY(m->Open());
    QCOMPARE(m->RowsFrom(1), (QStringList{m->Rows().value(1), product, identity, boot}));
    m->view->close();

    // A task holds the device: the lines are skipped, not waited for.
    {
        CMutexHolder holder(m->work->GetDeviceMutex());
        QVERIFY(m->Open());
    }
    QCOMPARE(m->Rows().size(), 2);
    QVERIFY(m->view->isVisible());
}

void TestUpgradeView::OpenTestLogReplay()
{
    QVERIFY(m->PlugApplicationFrame());
    CLogPoster poster;
    QVERIFY(m->work->PostTask("StartTestOnce", Qt::BlockingQueuedConnection, &poster));
    QVERIFY(StationTest::WaitFor([&poster] { return poster.nLoaded == 1; }));
    poster.strLogPath = QDir(m->WorkDir()).absoluteFilePath("run_PASS.xml");
    {
        QMutexLocker lock(m->work->GetDeviceMutex());
        QCOMPARE(m->work->GetTouchDevice()->SaveXml(poster.strLogPath), 0);
    }
    m->usb->Unplug();
    QVERIFY(StationTest::WaitFor([this] { return m->work->GetUsbPort()->GetDevCount() == 0; }));
    QVERIFY(m->work->PostTask("OpenTestLog", Qt::BlockingQueuedConnection, &poster));
    QVERIFY(StationTest::WaitFor([&poster] { return poster.nLoaded == 2; }));
    QCOMPARE(m->work->GetDeviceKind(), HandleWork::DeviceKind::Replay);
}

void TestUpgradeView::openingWithATestLogOpen()
{
    // A saved test log is replayed as the device object: the view asks for
    // the frame to be plugged again and reads nothing of the replay.
    OpenTestLogReplay();
    if (QTest::currentTestFailed())
        return;
    QVERIFY(m->Open());
    QCOMPARE(m->RowsFrom(1), (QStringList{kChooseFirmware,
                                          "Please plug and unplug the touch box again, the file is currently open"}));
}

void TestUpgradeView::browse()
{
    const QString stored = m->WriteImage(2);
    const QString chosen = m->WriteImage(3, false, QStringLiteral("chosen.bin"));
    QVERIFY(m->Open());
    {
        CModalBoxAnswerer answer;
        answer.AnswerFile(chosen);
        QTest::mouseClick(m->BrowseButton(), Qt::LeftButton);
        QCOMPARE(answer.boxes.size(), 1);
        QCOMPARE(answer.boxes[0].kind, CModalBoxAnswerer::EKind::File);
        QCOMPARE(answer.boxes[0].title, QStringLiteral("Open file..."));
        QCOMPARE(answer.boxes[0].value, QFileInfo(stored).absolutePath());
        QCOMPARE(answer.boxes[0].text, QStringLiteral("*.bin"));
        QCOMPARE(answer.boxes[0].fileMode, QStringLiteral("ExistingFile"));
        QVERIFY2(answer.problems.isEmpty(), qPrintable(answer.problems.join('\n')));
    }
    QCOMPARE(m->Rows().last(), chosen);
    QCOMPARE(m->view->GetFirmwarePathText(), chosen);
    QCOMPARE(m->view->GetUpgradeFilePath(), chosen);
    QVERIFY(m->UpgradeButton()->isEnabled());

    // Cancelled: a row, and the choice stays.
    {
        CModalBoxAnswerer answer;
        answer.CancelFile();
        QTest::mouseClick(m->BrowseButton(), Qt::LeftButton);
        QCOMPARE(answer.boxes.size(), 1);
    }
    QCOMPARE(m->Rows().last(), QStringLiteral("Please select a valid file!"));
    QCOMPARE(m->view->GetUpgradeFilePath(), chosen);
    QVERIFY(m->UpgradeButton()->isEnabled());
}

void TestUpgradeView::drops_data()
{
    QTest::addColumn<QStringList>("urls");   // as text; "folder:" a folder of the test
    QTest::addColumn<QString>("accepted");  // the path taken, or empty

    QTest::newRow("image.BIN") << QStringList{"file:///fw/image.BIN"} << "";
    QTest::newRow("fw.old/image.bin") << QStringList{"file:///fw.old/image.bin"} << "/fw.old/image.bin";
    QTest::newRow("a.b.bin") << QStringList{"file:///fw/a.b.bin"} << "/fw/a.b.bin";
    QTest::newRow("no dot") << QStringList{"file:///fw/image"} << "";
    QTest::newRow("dot in the folder only") << QStringList{"file:///fw.bin/image"} << "";
    QTest::newRow("first of several counts") << QStringList{"file:///fw/b.bin", "file:///fw/a.txt"} << "/fw/b.bin";
    QTest::newRow("first of several refused") << QStringList{"file:///fw/a.txt", "file:///fw/b.bin"} << "";
    QTest::newRow("not a file") << QStringList{"https://example.com/fw/image.bin"} << "";
    QTest::newRow("no URL at all") << QStringList{} << "";
    // A folder named like an image passes here; the dispatcher refuses it
    // when the upgrade starts ("Firmware cannot be opened").
    QTest::newRow("a folder x.bin") << QStringList{"folder:x.bin"} << "folder:x.bin";
}

void TestUpgradeView::drops()
{
    QFETCH(QStringList, urls);
    QFETCH(QString, accepted);

    const QString folder = QDir(m->WorkDir()).absoluteFilePath("x.bin");
    QVERIFY(QDir().mkpath(folder));
    auto resolve = [&folder](QString s) { return s.replace(QLatin1String("folder:x.bin"), folder); };
    accepted = resolve(accepted);

    QVERIFY(m->Open());
    const int nRows = m->Rows().size();
    QMimeData data;
    QList<QUrl> list;
    for (const QString& u : urls)
        list << (u.startsWith(QLatin1String("folder:")) ? QUrl::fromLocalFile(resolve(u)) : QUrl(u));
    data.setUrls(list);

    // Data with URLs is taken; the drop itself judges the name.
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m->view, &enter);
    QVERIFY(enter.isAccepted());
    Drop(m->view, &data);

    QCOMPARE(m->Rows().size(), nRows + 1);
    QCOMPARE(m->Rows().last(), accepted.isEmpty() ? kNoFirmware : accepted);
    QCOMPARE(m->view->GetUpgradeFilePath(), accepted);
    QCOMPARE(m->UpgradeButton()->isEnabled(), !accepted.isEmpty());

    // Text without URLs is not taken at all.
    QMimeData text;
    text.setText(QStringLiteral("/fw/image.bin"));
    QDragEnterEvent textEnter(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    textEnter.setAccepted(true);
    QApplication::sendEvent(m->view, &textEnter);
    QVERIFY(!textEnter.isAccepted());
    Drop(m->view, &text);
    QCOMPARE(m->Rows().size(), nRows + 1);
}

void TestUpgradeView::dropWhileUpgrading()
{
    m->WriteImage(2);
    QVERIFY(m->Open());
    Start();
    QVERIFY(!m->ControlsEnabled());
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/fw/next.bin")});
    Drop(m->view, &data);
    // Taken for the next upgrade; this one keeps its controls.
    QCOMPARE(m->Rows().last(), QStringLiteral("/fw/next.bin"));
    QCOMPARE(m->view->GetUpgradeFilePath(), QStringLiteral("/fw/next.bin"));
    QCOMPARE(m->view->GetFirmwarePathText(), QStringLiteral("/fw/next.bin"));
    QVERIFY(!m->UpgradeButton()->isEnabled());
    // A refused drop changes nothing either.
    QMimeData other;
    other.setUrls({QUrl::fromLocalFile("/fw/next.txt")});
    Drop(m->view, &other);
    QCOMPARE(m->Rows().last(), kNoFirmware);
    QVERIFY(!m->UpgradeButton()->isEnabled());

    m->CancelAction()->trigger();
    QVERIFY(m->ControlsEnabled());
}

void TestUpgradeView::scripts_data()
{
    // One script per row, steps separated by ";":
    //   start                 the operator presses "Upgrade" (no frame: the
    //                         dispatcher keeps the upgrade pending)
    //   S|log|progress        the dispatcher's status (progress: a number,
    //                         "nan", "inf")
    //   taken                 the dispatcher says it took a frame for it
    //   announce              the dispatcher announces the frame will leave
    //   remove                the frame leaves (as the main window says)
    //   tick                  a period of the watchdog (when it runs)
    //   cancel                "Cancel upgrade"
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("rows");  // rows after "Enter upgrade mode"
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<bool>("watchdog");  // running at the end
    QTest::addColumn<bool>("ready");     // the operating controls enabled
    QTest::addColumn<int>("stops");      // "Stop_Upgrade" posted

    const int nMax = std::numeric_limits<int>::max();
    QTest::newRow("started, waiting") << "start" << QStringList{} << 100 << 0 << "blue" << false << false << 0;
    QTest::newRow("ready 65536, progress 65536")
        << "start;UpgradeReady|Start the upgrade|65536;ProgressUpdate||65536" << QStringList{"Start the upgrade"}
        << 68812 << 65536 << "blue" << true << false << 0;
    QTest::newRow("empty image") << "start;UpgradeReady|Start the upgrade|0;ProgressUpdate||64"
                                 << QStringList{"Start the upgrade"} << 0 << 0 << "blue" << true << false << 0;
    QTest::newRow("size 3e9") << "start;UpgradeReady||3e9;ProgressUpdate||3e9" << QStringList{""} << nMax << nMax
                              << "blue" << true << false << 0;
    QTest::newRow("size -1") << "start;UpgradeReady||-1;ProgressUpdate||-1" << QStringList{""} << 0 << 0 << "blue"
                             << true << false << 0;
    QTest::newRow("size NaN") << "start;UpgradeReady||nan;ProgressUpdate||nan" << QStringList{""} << 0 << 0
                              << "blue" << true << false << 0;
    QTest::newRow("size infinite") << "start;UpgradeReady||inf" << QStringList{""} << nMax << 0 << "blue" << true
                                   << false << 0;
    QTest::newRow("progress NaN, -1, 3e9") << "start;UpgradeReady||640;ProgressUpdate||64;ProgressUpdate||nan"
                                           << QStringList{""} << 672 << 0 << "blue" << true << false << 0;
    QTest::newRow("progress -1") << "start;UpgradeReady||640;ProgressUpdate||128;ProgressUpdate||-1"
                                 << QStringList{""} << 672 << 0 << "blue" << true << false << 0;
    // Beyond the maximum the bar keeps its value.
    QTest::newRow("progress 3e9") << "start;UpgradeReady||640;ProgressUpdate||128;ProgressUpdate||3e9"
                                  << QStringList{""} << 672 << 128 << "blue" << true << false << 0;
    QTest::newRow("unknown and lower-case statuses")
        << "start;UpgradeReady|Start the upgrade|640;upgradeready|x|6400;updateerror|y|0;Progress||64;"
           "UPDATELOG|z|0;|w|0"
        << QStringList{"Start the upgrade"} << 672 << 0 << "blue" << true << false << 0;
    QTest::newRow("logs and the finish") << "start;UpdateLog|Jump to bootloader|0;UpgradeFinished|Firmware sent|640"
                                         << QStringList{"Jump to bootloader", "Firmware sent"} << 100 << 0 << "blue"
                                         << false << false << 0;
    QTest::newRow("error while upgrading")
        << "start;UpgradeReady|Start the upgrade|640;ProgressUpdate||192;UpdateError|Upgrade error Nack|192"
        << QStringList{"Start the upgrade", "Upgrade error Nack(0,1)"} << 672 << 672 << "red" << false << true << 1;
    QTest::newRow("errors of two upgrades")
        << "start;UpdateError|Firmware path error|0;start;UpdateError|Transfer timeout|0"
        << QStringList{"Firmware path error(0,1)", "Enter upgrade mode", "Transfer timeout(0,2)"} << 100 << 100
        << "red" << false << true << 2;
    // Frames leaving.
    QTest::newRow("removal while idle") << "remove" << QStringList{"Device is disconnected"} << 100 << 0 << ""
                                        << false << true << 0;
    // A frame the dispatcher never took leaves: nothing was sent to it, the
    // upgrade still waits for a frame.
    QTest::newRow("removal of a frame never taken")
        << "start;remove" << QStringList{"Device is disconnected"} << 100 << 0 << "blue" << false << false << 0;
    QTest::newRow("removal while upgrading, unannounced")
        << "start;taken;remove" << QStringList{"Device is disconnected", "Upgrade unsuccessful(0,1)"} << 100 << 100
        << "red" << false << true << 1;
    QTest::newRow("announced removal") << "start;announce;remove" << QStringList{"Device is re-enumerating"} << 100
                                       << 0 << "blue" << true << false << 0;
    QTest::newRow("announced, then a second removal")
        << "start;announce;remove;remove"
        << QStringList{"Device is re-enumerating", "Device is disconnected", "Upgrade unsuccessful(0,1)"} << 100
        << 100 << "red" << false << true << 1;
    // The reply watchdog.
    QTest::newRow("five silent ticks are not yet an expiry")
        << "start;UpgradeReady||640;tick;tick;tick;tick;tick" << QStringList{""} << 672 << 0 << "blue" << true
        << false << 0;
    QTest::newRow("the sixth tick after the last status ends it")
        << "start;UpgradeReady||640;tick;tick;tick;tick;tick;tick"
        << QStringList{"", "No reply for a long time, exit the upgrade(0,1)"} << 672 << 672 << "red" << false << true
        << 1;
    QTest::newRow("UpdateLog does not feed the watchdog")
        << "start;UpgradeReady||640;tick;UpdateLog|a|0;tick;UpdateLog|b|0;tick;tick;tick;UpdateLog|c|0;tick"
        << QStringList{"", "a", "b", "c", "No reply for a long time, exit the upgrade(0,1)"} << 672 << 672 << "red"
        << false << true << 1;
    QTest::newRow("the first tick clears an old count")
        << "start;UpgradeReady||640;tick;tick;tick;tick;cancel;start;announce;remove;tick;tick;tick;tick;tick"
        << QStringList{"", "Upgrade canceled", "Enter upgrade mode", "Device is re-enumerating"} << 672 << 0
        << "blue" << true << false << 1;
    // A late error after the ending is logged with its reason, neither
    // counted again nor given counts: each upgrade has one row with counts.
    QTest::newRow("late error after the watchdog")
        << "start;UpgradeReady||640;tick;tick;tick;tick;tick;tick;UpdateError|Jump bootloader returns exception|0"
        << QStringList{"", "No reply for a long time, exit the upgrade(0,1)", "Jump bootloader returns exception"}
        << 672 << 672 << "red" << false << true << 1;
    QTest::newRow("late error after a lost frame")
        << "start;taken;remove;UpdateError|Device is disconnected|0"
        << QStringList{"Device is disconnected", "Upgrade unsuccessful(0,1)", "Device is disconnected"} << 100
        << 100 << "red" << false << true << 1;
    QTest::newRow("late error after a cancel") << "start;cancel;UpdateError|Getting MCU type error|0"
                                               << QStringList{"Upgrade canceled", "Getting MCU type error"}
                                               << 100 << 0 << "blue" << false << true << 1;
    // A download that started anyway (its task was queued before the
    // cancel's) feeds the watchdog, whose end then counts nothing.
    QTest::newRow("late download after a cancel")
        << "start;cancel;UpgradeReady|Start the upgrade|640;tick;tick;tick;tick;tick;tick"
        << QStringList{"Upgrade canceled", "Start the upgrade"} << 672 << 0 << "blue" << false << true << 1;
    // An announcement the ended upgrade did not take is not the next one's:
    // that upgrade's frame lost without a word fails it.
    QTest::newRow("announced, then an error; the next upgrade loses its frame")
        << "start;announce;UpdateError|Jump bootloader returns exception|0;start;taken;remove"
        << QStringList{"Jump bootloader returns exception(0,1)", "Enter upgrade mode", "Device is disconnected",
                       "Upgrade unsuccessful(0,2)"}
        << 100 << 100 << "red" << false << true << 2;
    QTest::newRow("announced, then the watchdog; the next upgrade loses its frame")
        << "start;UpgradeReady||640;announce;tick;tick;tick;tick;tick;tick;start;taken;remove"
        << QStringList{"", "No reply for a long time, exit the upgrade(0,1)", "Enter upgrade mode",
                       "Device is disconnected", "Upgrade unsuccessful(0,2)"}
        << 672 << 672 << "red" << false << true << 2;
    QTest::newRow("announced after the ending; the next upgrade loses its frame")
        << "start;UpdateError|Transfer timeout|0;announce;start;taken;remove"
        << QStringList{"Transfer timeout(0,1)", "Enter upgrade mode", "Device is disconnected",
                       "Upgrade unsuccessful(0,2)"}
        << 100 << 100 << "red" << false << true << 2;
    // Cancel: the bar and the counts stay.
    QTest::newRow("cancel") << "start;cancel" << QStringList{"Upgrade canceled"} << 100 << 0 << "blue" << false
                            << true << 1;
}

void TestUpgradeView::scripts()
{
    QFETCH(QString, script);
    QFETCH(QStringList, rows);
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(QString, colour);
    QFETCH(bool, watchdog);
    QFETCH(bool, ready);
    QFETCH(int, stops);

    m->WriteImage(10);
    QVERIFY(m->Open());
    const int nOpening = m->Rows().size();
    int nFirst = -1;
    for (const QString& step : script.split(';')) {
        if (step == QLatin1String("start")) {
            Start();
            if (nFirst < 0)
                nFirst = m->Rows().size();
        } else if (step == QLatin1String("taken")) {
            emit m->work->EmitUpgradeFrameTaken();
        } else if (step == QLatin1String("announce")) {
            emit m->work->EmitDeviceEnumerateState(true);
        } else if (step == QLatin1String("remove")) {
            m->view->InsertUsbDeviceForUpgrade(false);
        } else if (step == QLatin1String("tick")) {
            m->TickWatchdog();
        } else if (step == QLatin1String("cancel")) {
            QVERIFY(m->CancelAction()->isEnabled());
            m->CancelAction()->trigger();
        } else {
            const QStringList parts = step.split('|');
            QCOMPARE(parts.size(), 3);
            double dProgress = parts[2].toDouble();
            if (parts[2] == QLatin1String("nan"))
                dProgress = std::nan("");
            else if (parts[2] == QLatin1String("inf"))
                dProgress = std::numeric_limits<double>::infinity();
            m->Emit(parts[0], parts[1], dProgress);
        }
    }
    QVERIFY(m->Settle());
    if (nFirst < 0)
        nFirst = nOpening;
    QCOMPARE(m->RowsFrom(nFirst), rows);
    if (script.startsWith(QLatin1String("start")))
        QCOMPARE(m->Rows().value(nFirst - 1), QStringLiteral("Enter upgrade mode"));
    QCOMPARE(m->Bar()->maximum(), maximum);
    QCOMPARE(m->Bar()->value(), value);
    QCOMPARE(m->BarColour(), colour);
    QCOMPARE(m->watchdog->isActive(), watchdog);
    QCOMPARE(m->ControlsEnabled(), ready);
    QCOMPARE(Posts("Stop_Upgrade"), stops);
    // The view can be left exactly when it is ready.
    QCOMPARE(m->view->close(), ready);
}

void TestUpgradeView::lateErrorOfTheEndedUpgradeIsNotTheNextOnes()
{
    // The frame is lost during an upgrade: the view's removal ends it first.
    m->WriteImage(10);
    QVERIFY(m->Open());
    Start();
    emit m->work->EmitUpgradeFrameTaken();
    m->view->InsertUsbDeviceForUpgrade(false);
    QCOMPARE(m->Rows().last(), QStringLiteral("Upgrade unsuccessful(0,1)"));
    {
        // The dispatcher is still busy when the operator starts the next
        // upgrade; the download's own word on the lost frame comes after the
        // click, before the dispatcher has taken the new start.
        CMutexHolder holder(m->work->GetDeviceMutex());
        QVERIFY(m->work->PostTask(QStringLiteral("InitDeviceInfo")));
        QVERIFY(StationTest::WaitFor([this] { return m->work->IsTaskRunning(QStringLiteral("InitDeviceInfo")); }));
        const int nRows = m->Rows().size();
        QTest::mouseClick(m->UpgradeButton(), Qt::LeftButton);
        m->Emit("UpdateError", QStringLiteral("Device is disconnected"), 0);
        QCOMPARE(m->RowsFrom(nRows), (QStringList{"Enter upgrade mode", "Device is disconnected"}));
        // The next upgrade goes on.
        QVERIFY(!m->ControlsEnabled());
        QCOMPARE(m->BarColour(), QStringLiteral("blue"));
    }
    QVERIFY(m->Settle());
    QVERIFY(!m->ControlsEnabled());
    // Its own error is its outcome, counted once.
    m->Emit("UpdateError", QStringLiteral("Transfer timeout"), 0);
    QCOMPARE(m->Rows().last(), QStringLiteral("Transfer timeout(0,2)"));
    QVERIFY(m->ControlsEnabled());
    QCOMPARE(m->Rows().filter(QRegularExpression(QStringLiteral("\\(\\d+,\\d+\\)$"))),
             (QStringList{"Upgrade unsuccessful(0,1)", "Transfer timeout(0,2)"}));
}

void TestUpgradeView::completionAndCounts()
{
    // The frame takes the jump and stays in its application: the statuses
    // and the device information that follow are the test's.
    m->WriteImage(4);
    m->StallJump();
    QVERIFY(m->Open());
    QVERIFY(m->PlugApplicationFrame());
    const QList<QPair<QString, QString>> info = Pairs({"Product", "P1", "Pid", "0x0013"});

    Start();
    // With a frame attached the upgrade cannot be cancelled.
    QVERIFY(!m->CancelAction()->isEnabled());
    QCOMPARE(m->Rows().last(), QStringLiteral("Jump to bootloader"));
    // Information the frame gave before it left for this upgrade (a read the
    // dispatcher had begun before the start) is shown, and completes nothing.
    emit m->window->UpdateChildViewDeviceInfo(info);
    QCOMPARE(m->RowsFrom(m->Rows().size() - 3),
             (QStringList{"Jump to bootloader", "Product:P1 Pid:0x0013 ", ""}));
    QVERIFY(!m->ControlsEnabled());
    QCOMPARE(m->BarColour(), QStringLiteral("blue"));
    emit m->work->EmitDeviceEnumerateState(true);
    m->view->InsertUsbDeviceForUpgrade(false);
    m->Emit("UpgradeReady", "Start the upgrade", 640);
    m->Emit("ProgressUpdate", QString(), 640);
    emit m->window->UpdateChildViewDeviceInfo(info);
    QCOMPARE(m->RowsFrom(m->Rows().size() - 3),
             (QStringList{"Product:P1 Pid:0x0013 ", "", "Update completed(1,0)"}));
    QCOMPARE(m->BarColour(), QStringLiteral("green"));
    QCOMPARE(m->Bar()->value(), m->Bar()->maximum());
    QCOMPARE(m->Bar()->maximum(), 672);
    QVERIFY(m->ControlsEnabled());
    QVERIFY(!m->watchdog->isActive());

    // The next failure shows both counts.
    Start();
    m->Emit("UpdateError", "Transfer timeout", 128);
    QCOMPARE(m->Rows().last(), QStringLiteral("Transfer timeout(1,1)"));

    // Device information while idle: no completion, no count.
    emit m->window->UpdateChildViewDeviceInfo(info);
    QCOMPARE(m->Rows().last(), QStringLiteral(""));
    QCOMPARE(m->Rows().filter("Update completed").size(), 1);

    // A new opening counts from 0.
    QVERIFY(m->view->close());
    QVERIFY(m->Open());
    Start();
    m->Emit("UpdateError", "Transfer timeout", 128);
    QCOMPARE(m->Rows().last(), QStringLiteral("Transfer timeout(0,1)"));
}

void TestUpgradeView::noCompletionAboveTheApplicationIds()
{
    // A frame reporting in application mode with a bootloader's product id.
    m->frame->Edit([](CEmulatedFrame::State& s) { s.id.nAppPid = 0xF001; });
    StartAndLeave();
    if (QTest::currentTestFailed())
        return;
    const int nRows = m->Rows().size();
    emit m->window->UpdateChildViewDeviceInfo(Pairs({"Product", "P1"}));
    QCOMPARE(m->RowsFrom(nRows), (QStringList{"Product:P1 ", ""}));
    QVERIFY(!m->ControlsEnabled());
    // The product id in base 32.
    QVERIFY(m_log->Contains("UpdateUpgradeDeviceInfo :DevType =  1  productID =  1s01"));
}

void TestUpgradeView::refusedStartEndsAsACancel()
{
    // The dispatcher still runs the "Start_Upgrade" of an upgrade the
    // watchdog gave up on (here: it waits for the device).
    m->WriteImage(4);
    QVERIFY(m->Open());
    auto pHolder = std::make_unique<CMutexHolder>(m->work->GetDeviceMutex());
    QTest::mouseClick(m->UpgradeButton(), Qt::LeftButton);
    QVERIFY(StationTest::WaitFor([this] { return m->work->IsTaskRunning("Start_Upgrade"); }));
    m->Emit("UpgradeReady", "Start the upgrade", 640);
    for (int i = 0; i < 6; ++i)
        m->TickWatchdog();
    QCOMPARE(m->Rows().last(), QStringLiteral("No reply for a long time, exit the upgrade(0,1)"));

    const int nRows = m->Rows().size();
    m_log->Clear();
    QTest::mouseClick(m->UpgradeButton(), Qt::LeftButton);
    QCOMPARE(m->RowsFrom(nRows), (QStringList{"Enter upgrade mode", "Upgrade canceled"}));
    QCOMPARE(m_log->Lines(QtWarningMsg).filter("Start_Upgrade was refused").size(), 1);
    QVERIFY(m->ControlsEnabled());
    QVERIFY(!m->CancelAction()->isEnabled());
    // Nothing runs, so the view can be left.
    QVERIFY(m->view->close());
    pHolder.reset();
    QVERIFY(m->Settle());
}

void TestUpgradeView::arrivalsWhileATestLogIsOpen_data()
{
    // A test log is open, the operator opens the view and presses "Upgrade"
    // (no frame is attached: the upgrade waits for one and can be
    // cancelled); then a frame arrives. Only an arrival the dispatcher takes
    // for the upgrade ends the wait.
    QTest::addColumn<QString>("frame");   // "application", "bootloader", "old firmware"
    QTest::addColumn<QString>("answer");  // to "... Do you want to open it?"
    QTest::addColumn<QString>("question");
    const QString app = QStringLiteral("A new device is discovered, Do you want to open it?");
    const QString boot = QStringLiteral("Touch In Bootloader, Do you want to open it?");
    QTest::newRow("a new device, No") << "application" << "No" << app;
    QTest::newRow("in its bootloader, No") << "bootloader" << "No" << boot;
    QTest::newRow("a new device, Yes") << "application" << "Yes" << app;
    QTest::newRow("in its bootloader, Yes") << "bootloader" << "Yes" << boot;
    // Refused before any question: no status, nothing taken.
    QTest::newRow("refused for its firmware") << "old firmware" << "" << "";
}

void TestUpgradeView::arrivalsWhileATestLogIsOpen()
{
    QFETCH(QString, frame);
    QFETCH(QString, answer);
    QFETCH(QString, question);

    OpenTestLogReplay();
    if (QTest::currentTestFailed())
        return;
    m->WriteImage(kUpgradeRecords);
    QVERIFY(m->Open());
    const int nStart = m->Rows().size();
    Start();
    QVERIFY(m->CancelAction()->isEnabled());

    CModalBoxAnswerer boxes;
    boxes.Answer(answer);
    if (frame == QLatin1String("bootloader"))
        m->frame->SetMode(CEmulatedFrame::Mode::Bootloader);
    else if (frame == QLatin1String("old firmware"))
        m->frame->Edit([](CEmulatedFrame::State& s) { s.id.nVersion = 0x7100; });
    // Connected after the main window and the view: when it counts, the
    // view has the arrival, or would have had it.
    QSignalSpy arrivals(m->window.get(), &MainWindow::DeviceStatusChange_Emit);
    m->usb->Plug();
    QVERIFY(StationTest::WaitFor([&] { return !boxes.boxes.isEmpty(); }));
    QVERIFY(m->Settle());
    QCOMPARE(boxes.boxes.size(), 1);
    if (question.isEmpty()) {
        QVERIFY2(boxes.boxes.first().text.endsWith("This series of touch boxes do not support!"),
                 qPrintable(boxes.boxes.first().text));
        QVERIFY(arrivals.isEmpty());
    } else {
        QCOMPARE(boxes.boxes.first().text, question);
        QVERIFY(StationTest::WaitFor([&arrivals] { return !arrivals.isEmpty(); }));
        QCOMPARE(arrivals.first().first().toBool(), true);
    }

    if (answer == QLatin1String("Yes")) {
        // Taken: from now on the upgrade runs to its end.
        QVERIFY(!m->CancelAction()->isEnabled());
        QVERIFY(m->WaitForRow("Update completed(1,0)"));
        QVERIFY(m->Settle());
        QVERIFY(m->boot->IsComplete());
        QCOMPARE(m->frame->CurrentMode(), CEmulatedFrame::Mode::Application);
        QVERIFY(!m->CancelAction()->isEnabled());
        QVERIFY(m->ControlsEnabled());
        m->Screenshot(QStringLiteral("testlog-%1-yes").arg(frame));
        QVERIFY(m->view->close());
        return;
    }

    // Declined or refused: the replay stays, the upgrade still waits for a
    // frame, and the operator can end the wait.
    QCOMPARE(m->work->GetDeviceKind(), HandleWork::DeviceKind::Replay);
    QVERIFY(!m->ControlsEnabled());
    QVERIFY(m->CancelAction()->isEnabled());
    m->Screenshot(QStringLiteral("testlog-%1-waits").arg(QString(frame).replace(' ', '-')));
    // The frame that was not taken leaves again: nothing was sent to it, so
    // no upgrade failed; the wait goes on.
    m->usb->Unplug();
    QVERIFY(StationTest::WaitFor([&] { return m->RowsFrom(nStart).size() >= 2; }));
    QVERIFY(m->Settle());
    QCOMPARE(m->RowsFrom(nStart), (QStringList{"Enter upgrade mode", "Device is disconnected"}));
    QVERIFY(m->CancelAction()->isEnabled());
    QVERIFY(!m->ControlsEnabled());
    m->CancelAction()->trigger();
    QVERIFY(m->Settle());
    QCOMPARE(m->RowsFrom(nStart), (QStringList{"Enter upgrade mode", "Device is disconnected", "Upgrade canceled"}));
    QVERIFY(m->ControlsEnabled());
    QVERIFY(!m->CancelAction()->isEnabled());
    QVERIFY(m->frame->RequestsFor(0xAA, 0x04).isEmpty());
    m->Screenshot(QStringLiteral("testlog-%1-canceled").arg(QString(frame).replace(' ', '-')));
    QVERIFY(m->view->close());
    QVERIFY(!m->view->isVisible());
    QCOMPARE(m->work->GetDeviceKind(), HandleWork::DeviceKind::Replay);
}

void TestUpgradeView::deviceInformationLines_data()
{
    QTest::addColumn<QStringList>("pairs");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<bool>("touchEnabled");

    QTest::newRow("product and version") << QStringList{"Product", "XY100", "Version", "1.2"}
                                         << QStringList{"Product:XY100 Version:1.2 ", ""} << true;
    QTest::newRow("every name, in list order")
        << QStringList{"BootCheckSum", "0x1", "McuID", "M", "Pid", "0x13", "Product", "P", "CheckSum", "0xC",
                       "BatchInfo", "B", "Vid", "0x2FE9", "Version", "V", "BootVersion", "0x2"}
        << QStringList{"Pid:0x13 Product:P CheckSum:0xC Vid:0x2FE9 Version:V ", "McuID:M BatchInfo:B ",
                       "BootCheckSum:0x1 BootVersion:0x2 "}
        << false;
    QTest::newRow("an empty list") << QStringList{} << QStringList{"", ""} << true;
    QTest::newRow("unknown and misspelt names")
        << QStringList{"MaxPoint", "10", "product", "p", "Product ", "x", "", "y"} << QStringList{"", ""} << true;
    QTest::newRow("empty values and duplicates")
        << QStringList{"Product", "", "Product", "P", "McuID", "", "BootVersion", ""}
        << QStringList{"Product: Product:P ", "McuID: ", "BootVersion: "} << false;
    QStringList many;
    QString manyLine;
    for (int i = 0; i < 1000; ++i) {
        many << "Version" << QString::number(i);
        manyLine += QStringLiteral("Version:%1 ").arg(i);
    }
    QTest::newRow("1000 pairs") << many << QStringList{manyLine, ""} << true;
}

void TestUpgradeView::deviceInformationLines()
{
    QFETCH(QStringList, pairs);
    QFETCH(QStringList, rows);
    QFETCH(bool, touchEnabled);

    m->WriteImage(2);
    QVERIFY(m->Open());
    auto* pTouch = m->Child<QToolButton>("touchEnToolButton");
    QVERIFY(!pTouch->isEnabled());
    const int nRows = m->Rows().size();
    emit m->window->UpdateChildViewDeviceInfo(Pairs(pairs));
    QCOMPARE(m->RowsFrom(nRows), rows);
    QCOMPARE(pTouch->isEnabled(), touchEnabled);
    QVERIFY(!pTouch->isVisible());

    // Without a firmware path the view says so.
    m->view->ClearUpgradeFile_event();
    QVERIFY(!m->UpgradeButton()->isEnabled());
    QCOMPARE(m->view->GetFirmwarePathText(), QString());
    QVERIFY(!CCustomerSettings::GetInstance()->contains(QStringLiteral("UpgradeFilePath")));
    QVERIFY(m->view->close());
    QVERIFY(m->Open());  // takes the path from the store again
    const int nAfter = m->Rows().size();
    emit m->window->UpdateChildViewDeviceInfo(Pairs(pairs));
    QCOMPARE(m->RowsFrom(nAfter), rows + QStringList{kNoFirmware});
}

void TestUpgradeView::leaving_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("upgrading");
    QTest::addColumn<int>("workType");  // emitted; -1: none, the view stays

    QTest::newRow("exit button") << "exitToolButton" << false << 0;
    QTest::newRow("signal button") << "signalToolButton" << false << 1;
    QTest::newRow("calibration button") << "calToolButton" << false << 2;
    QTest::newRow("Escape") << "Escape" << false << 0;
    QTest::newRow("close button") << "close" << false << 0;
    // A dialog's own way out goes through the same close.
    QTest::newRow("reject") << "reject" << false << 0;
    QTest::newRow("reject while upgrading") << "reject" << true << -1;
    QTest::newRow("Escape while upgrading") << "Escape" << true << -1;
    QTest::newRow("close button while upgrading") << "close" << true << -1;
}

void TestUpgradeView::leaving()
{
    QFETCH(QString, how);
    QFETCH(bool, upgrading);
    QFETCH(int, workType);

    qRegisterMetaType<eWorkType>();
    m->WriteImage(2);
    QVERIFY(m->Open());
    if (upgrading)
        Start();
    QSignalSpy spy(m->view, &VeloraUpgradeView::emitWorkType);
    const int nRows = m->Rows().size();
    if (how == QLatin1String("Escape")) {
        QTest::keyClick(m->view, Qt::Key_Escape);
        // The exit button's shortcut clicks it animated, later.
        if (workType < 0)
            QTRY_VERIFY(m->Rows().size() > nRows);
        else
            QTRY_COMPARE(spy.count(), 1);
    } else if (how == QLatin1String("close")) {
        m->view->close();
    } else if (how == QLatin1String("reject")) {
        m->view->reject();
    } else {
        QTest::mouseClick(m->Child<QToolButton>(qPrintable(how)), Qt::LeftButton);
    }

    if (workType < 0) {
        QVERIFY(m->view->isVisible());
        QCOMPARE(spy.count(), 0);
        QCOMPARE(m->RowsFrom(nRows), QStringList{kRefusal});
        QTableWidgetItem* pItem = m->Table()->item(m->Rows().size() - 1, 1);
        QCOMPARE(pItem->font().pointSize(), 15);
        QVERIFY(pItem->font().bold());
        QCOMPARE(pItem->foreground().color(), QColor(Qt::red));
        QCOMPARE(pItem->toolTip(), kRefusal);
        QCOMPARE(m->window->GetWorkType(), UPGRADEWORK);
        return;
    }
    QVERIFY(!m->view->isVisible());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(int(spy[0][0].value<eWorkType>()), workType);
    QCOMPARE(int(m->window->GetWorkType()), workType);
    QCOMPARE(m->Rows().size(), nRows);
}

void TestUpgradeView::settingsChangeReloadsTheKeys_data()
{
    // The three keys as a settings change finds them ("" removed), and
    // whether a completion after a start by hand then starts the next
    // upgrade. The view is built with the opposite behaviour, so only the
    // reload can give the row's.
    QTest::addColumn<QString>("autoUpgrade");
    QTest::addColumn<QString>("continuous");
    QTest::addColumn<QString>("count");
    QTest::addColumn<bool>("continues");

    QTest::newRow("continuous") << "1" << "1" << "1" << true;
    QTest::newRow("limited to two") << "1" << "0" << "2" << true;
    QTest::newRow("limited to one") << "1" << "0" << "1" << false;
    QTest::newRow("limited to none") << "1" << "7" << "0" << false;
    QTest::newRow("automatic upgrading off") << "0" << "1" << "5" << false;
    // A settings change reads the first key with the default 1, the
    // construction with 0; the count's default is 1.
    QTest::newRow("automatic upgrading removed, continuous") << "" << "1" << "" << true;
    QTest::newRow("count removed, limited") << "1" << "0" << "" << false;
}

void TestUpgradeView::settingsChangeReloadsTheKeys()
{
    QFETCH(QString, autoUpgrade);
    QFETCH(QString, continuous);
    QFETCH(QString, count);
    QFETCH(bool, continues);

    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    if (!continues) {
        pSettings->SetInt(QStringLiteral("EnableAutoUpgrade"), 1);
        pSettings->SetInt(QStringLiteral("EnableContinuousUpgrade"), 1);
        m.reset();
        m = std::make_unique<CUpgradeStation>();
    }
    const QList<QPair<const char*, QString>> keys = {
        {"EnableAutoUpgrade", autoUpgrade}, {"EnableContinuousUpgrade", continuous}, {"AutoUpgradeCount", count}};
    for (const auto& key : keys) {
        if (key.second.isEmpty())
            pSettings->remove(QLatin1String(key.first));
        else
            pSettings->SetInt(QLatin1String(key.first), key.second.toInt());
    }
    m->view->UpdateSettingParameter(true);
    QVERIFY(m->BrowseButton()->isEnabled());

    // The frame takes the jump and stays: its leaving and its information
    // are the test's.
    StartAndLeave();
    if (QTest::currentTestFailed())
        return;
    emit m->window->UpdateChildViewDeviceInfo(Pairs({"Product", "P1", "Pid", "0x0013"}));
    const QStringList rows = m->Rows();
    const int nCompleted = rows.indexOf(QStringLiteral("Update completed(1,0)"));
    QVERIFY2(nCompleted > 0, qPrintable(rows.join('|')));
    QCOMPARE(rows.mid(nCompleted + 1), continues ? QStringList{"Enter upgrade mode"} : QStringList{});
    QCOMPARE(m->ControlsEnabled(), !continues);

    // The argument enables browsing, or not.
    m->view->UpdateSettingParameter(false);
    QVERIFY(!m->BrowseButton()->isEnabled());
}

STATION_TEST_MAIN(TestUpgradeView)
#include "tst_upgradeview.moc"
