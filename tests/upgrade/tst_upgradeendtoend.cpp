// The firmware upgrade as the operator runs it: the real main window, its
// dispatcher and the upgrade view, an emulated frame behind the real USB port
// and device layer, and its bootloader taking the image record by record.
// The view's watchdog and the dispatcher's detect timer tick only when a test
// ticks them (upgradestation.h): where a frame stays silent, the test gives
// the ticks that pass in real time (three per 10 s wait for an answer).

#include "devicemode.h"
#include "runlogcapture.h"
#include "stationresources.h"
#include "upgradestation.h"

#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <atomic>
#include <memory>
#include <functional>
#include <QtTest>

namespace {
// The bootloader's own report of itself agrees with what the application
// reports of its bootloader.
const QString kBootLine = QStringLiteral("BootVersion:0x020105 BootCheckSum:0x11223344 ");
const QString kCut = QStringLiteral("The upgrade was cut by the end of the program");
const QString kNoReply = QStringLiteral("No reply for a long time, exit the upgrade");
constexpr int kRecords = 40;

// The rows that carry the counts "(s,f)".
QStringList CountRows(const QStringList& rows)
{
    QStringList out;
    const QRegularExpression counts(QStringLiteral("\\(\\d+,\\d+\\)$"));
    for (const QString& row : rows) {
        if (counts.match(row).hasMatch())
            out << row;
    }
    return out;
}

// Real time, compressed: every wait of 10 s for an answer that ends
// unanswered is three periods of the watchdog. The download is held where it
// gives a wait up (its run-log line, on the worker thread) until the test has
// given those ticks, so they come after every status sent before and before
// the resend's.
class CAnswerWaits
{
public:
    CAnswerWaits() : m_state(std::make_shared<State>())
    {
        m_state->previous = qInstallMessageHandler(&CAnswerWaits::Handler);
        std::atomic_store(&s_state, m_state);
    }
    ~CAnswerWaits()
    {
        qInstallMessageHandler(m_state->previous);
        std::atomic_store(&s_state, std::shared_ptr<State>());
        // A download still held goes on; the state lives as long as the
        // handler running on the worker holds it.
        m_state->bOpen = true;
        m_state->resume.release(1000);
    }
    CAnswerWaits(const CAnswerWaits&) = delete;
    CAnswerWaits& operator=(const CAnswerWaits&) = delete;

    // A wait has ended and the download is held (GUI thread).
    bool Ended() { return m_state->ended.tryAcquire(); }
    void Resume() { m_state->resume.release(); }

private:
    struct State
    {
        QtMessageHandler previous = nullptr;
        QSemaphore ended;
        QSemaphore resume;
        std::atomic<bool> bOpen{false};
    };

    static void Handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
    {
        const std::shared_ptr<State> pState = std::atomic_load(&s_state);
        if (!pState)
            return;
        if (pState->previous)
            pState->previous(type, context, message);
        if (!pState->bOpen && message == QLatin1String("DownloadFirmwareToDevice : ERROR_CODE_TIMEOUT")) {
            pState->ended.release();
            pState->resume.acquire();
        }
    }

    static inline std::shared_ptr<State> s_state;
    std::shared_ptr<State> m_state;
};
} // namespace

Q_DECLARE_METATYPE(CEmulatedBootloader::Failure)

class TestUpgradeEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void wholeUpgrade();
    void continuousUpgrades();
    void cancelStopsAContinuousRun_data();
    void cancelStopsAContinuousRun();
    void nextUpgradeAfterTheWatchdogsEnd_data();
    void nextUpgradeAfterTheWatchdogsEnd();
    void failures_data();
    void failures();
    void unplugDuringTheDownload();
    void recordAnsweredAfterTwoResends();
    void frameLeavesAfterTheJumpAndNeverReturns();
    void badImage_data();
    void badImage();
    void imageOfOtherRecords();
    void frameLeavesBeforeItsJumpAnswerIsRead();
    void cancelWithoutAFrame();
    void cancelEndsWhenTheFrameArrives();
    void completionOnlyFromThisUpgrade_data();
    void completionOnlyFromThisUpgrade();
    void windowGoesDuringADownload();

private:
    // The frame in application mode, the view open with an image of
    // kRecords records chosen; the rows of the opening are in.
    void Prepare();
    // The same on a station started anew with automatic, continuous
    // upgrades set.
    void PrepareContinuous();
    // Presses "Upgrade".
    void Start();
    // Waits until done() holds, giving the watchdog the ticks of every wait
    // for an answer that the download gives up.
    bool WaitTicking(const std::function<bool()>& done);
    // The rows from "Enter upgrade mode" on.
    QStringList UpgradeRows() const { return m->RowsFrom(m_nStart); }

    std::unique_ptr<CUpgradeStation> m;
    int m_nStart = 0;
};

void TestUpgradeEndToEnd::initTestCase()
{
    InitStationResources();
}

void TestUpgradeEndToEnd::init()
{
    // 10 s reads become 200 ms: far above the emulated frame's answer time.
    CTestEnvironment::FastClock(0.02);
    CCustomerSettings::GetInstance()->clear();
    m = std::make_unique<CUpgradeStation>();
    QVERIFY(m->watchdog);
    QVERIFY(m->detect);
}

void TestUpgradeEndToEnd::cleanup()
{
    m.reset();
    CTestEnvironment::RealClock();
}

void TestUpgradeEndToEnd::Prepare()
{
    QVERIFY(!m->WriteImage(kRecords).isEmpty());
    QVERIFY(m->Open());
    QVERIFY(m->PlugApplicationFrame());
}

void TestUpgradeEndToEnd::PrepareContinuous()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    pSettings->SetInt(QStringLiteral("EnableAutoUpgrade"), 1);
    pSettings->SetInt(QStringLiteral("EnableContinuousUpgrade"), 1);
    m.reset();
    m = std::make_unique<CUpgradeStation>();
    Prepare();
}

void TestUpgradeEndToEnd::Start()
{
    m_nStart = m->Rows().size();
    QVERIFY(m->UpgradeButton()->isEnabled());
    QTest::mouseClick(m->UpgradeButton(), Qt::LeftButton);
}

bool TestUpgradeEndToEnd::WaitTicking(const std::function<bool()>& done)
{
    CAnswerWaits waits;
    return StationTest::WaitFor(
        [&] {
            // The download is held at the end of a wait: the statuses sent
            // before it are taken first, then the ticks of its 10 s.
            while (waits.Ended()) {
                QCoreApplication::sendPostedEvents();
                QCoreApplication::processEvents();
                for (int i = 0; i < 3; ++i)
                    m->TickWatchdog();
                waits.Resume();
            }
            return done();
        },
        30000);
}

void TestUpgradeEndToEnd::wholeUpgrade()
{
    m->boot->SetNewFirmware(0x7305, 0xBEEF);
    Prepare();
    const QString product = QStringLiteral(
        "Product:KT-T65WHSUR-10P Vid:0x2FE9 Pid:0x0013 Version:0x0102-0x0103 CheckSum:0x1A2B-0x3C4D ");
    const QString identity = QStringLiteral("BatchInfo:B2024-11-05 McuID:0123456789ABCDEF00112233 ");
    const QString frameBoot = kBootLine;
    QCOMPARE(m->RowsFrom(1), (QStringList{m->Rows().value(1), product, identity, frameBoot}));
    m->Screenshot("ready");

    QList<int> values;
    QObject::connect(m->Bar(), &QProgressBar::valueChanged, m->view, [this, &values](int nValue) {
        values << nValue;
        if (nValue == kRecords / 2 * 64)
            m->Screenshot("download", false);
    });
    Start();
    QVERIFY(m->WaitForRow("Update completed(1,0)"));
    QVERIFY(m->Settle());

    const QString newProduct = QString(product).replace("CheckSum:0x1A2B", "CheckSum:0xBEEF");
    QCOMPARE(UpgradeRows(),
             (QStringList{"Enter upgrade mode", "Jump to bootloader", "Device is re-enumerating", kBootLine,
                          "Ready to upgrade", "Start the upgrade", "Firmware sent", "Device is re-enumerating",
                          newProduct, identity, frameBoot, "Update completed(1,0)"}));
    // The bar: from 0 through every record's bytes, short of its maximum
    // (five percent above the image) until the completion fills it.
    QList<int> expected;
    for (int i = 1; i <= kRecords; ++i)
        expected << i * 64;
    expected << kRecords * 64 * 21 / 20;
    QCOMPARE(values, expected);
    QCOMPARE(m->Bar()->maximum(), kRecords * 64 * 21 / 20);
    QCOMPARE(m->BarColour(), QStringLiteral("green"));
    QVERIFY(m->ControlsEnabled());
    QVERIFY(!m->watchdog->isActive());
    QVERIFY(m->boot->IsComplete());
    QVERIFY2(m->boot->Problems().isEmpty(), qPrintable(m->boot->Problems().join('\n')));
    m->Screenshot("completed");

    // The file holds the rows, line for line.
    const QString path = m->view->LogFilePath();
    QVERIFY(m->view->close());
    QCOMPARE(CUpgradeStation::ReadFile(path), CUpgradeStation::FileOf(m->TableLines()));
}

void TestUpgradeEndToEnd::continuousUpgrades()
{
    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    PrepareContinuous();
    // The bootloader takes the image anew for every download.
    const QByteArray image =
        CUpgradeStation::ReadFile(pSettings->GetString(QStringLiteral("UpgradeFilePath"), QString()));
    QObject::connect(m->work, QOverload<QString, QString, double>::of(&HandleWork::EmitUpgradeStatus), m->view,
                     [this, image](QString status, QString, double) {
                         if (status == QLatin1String("UpgradeFinished"))
                             m->boot->ExpectImage(image, m->frame->Snapshot().boot.nMcuType);
                     });
    Start();
    QVERIFY(m->WaitForRow("Update completed(3,0)", 60000));
    QCOMPARE(CountRows(UpgradeRows()),
             (QStringList{"Update completed(1,0)", "Update completed(2,0)", "Update completed(3,0)"}));
    // The fourth is starting, without the operator.
    const QStringList rows = UpgradeRows();
    QCOMPARE(rows.count("Enter upgrade mode"), 4);
    QCOMPARE(rows.value(rows.indexOf("Update completed(3,0)") + 1), QStringLiteral("Enter upgrade mode"));
    QVERIFY(!m->ControlsEnabled());
    QVERIFY(m->frame->RequestsFor(0xAA, 0x04).size() >= 3);
}

void TestUpgradeEndToEnd::cancelStopsAContinuousRun_data()
{
    // When the operator presses "Cancel upgrade" in the first upgrade of a
    // run: before the frame has left, or while the image goes out.
    QTest::addColumn<QString>("when");
    QTest::newRow("at the start") << "start";
    QTest::newRow("during the download") << "UpgradeReady";
}

void TestUpgradeEndToEnd::cancelStopsAContinuousRun()
{
    QFETCH(QString, when);

    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    PrepareContinuous();
    // The operator's cancel, from the table's context menu: it is offered
    // (the run can be stopped), and pressing it stops the run.
    bool bOffered = false;
    auto cancel = [this, &bOffered] {
        bOffered = m->CancelAction()->isEnabled();
        m->CancelAction()->trigger();
    };
    QMetaObject::Connection atReady;
    if (when == QLatin1String("UpgradeReady")) {
        // Connected after the view: it has taken the status.
        atReady = QObject::connect(m->work, QOverload<QString, QString, double>::of(&HandleWork::EmitUpgradeStatus),
                                   m->view, [&](QString status, QString, double) {
                                       if (status == QLatin1String("UpgradeReady") && !bOffered) {
                                           cancel();
                                           m->Screenshot("continuous-stopped", false);
                                       }
                                   });
    }
    Start();
    if (when == QLatin1String("start"))
        cancel();
    QVERIFY(m->WaitForRow("Update completed(1,0)"));
    QVERIFY(m->Settle());
    QObject::disconnect(atReady);
    QVERIFY(bOffered);
    const QString stopped = QStringLiteral("Automatic upgrading stopped, the running upgrade goes on to its end");
    // The upgrade went on to its end; nothing started after it.
    const QStringList rows = UpgradeRows();
    QCOMPARE(rows.count(stopped), 1);
    QVERIFY2(!rows.contains("Upgrade canceled"), qPrintable(rows.join('|')));
    QCOMPARE(rows.count("Enter upgrade mode"), 1);
    QCOMPARE(CountRows(rows), QStringList{"Update completed(1,0)"});
    QCOMPARE(rows.last(), QStringLiteral("Update completed(1,0)"));
    QCOMPARE(m->frame->RequestsFor(0xAA, 0x04).size(), 1);
    QVERIFY(m->boot->IsComplete());
    QCOMPARE(m->BarColour(), QStringLiteral("green"));
    QVERIFY(m->ControlsEnabled());
    QVERIFY(!m->CancelAction()->isEnabled());
    m->Screenshot("continuous-ended");
    // Idle: the view closes.
    QVERIFY(m->view->close());
    QVERIFY(!m->view->isVisible());

    // The next start by hand runs, and arms the run again: its completion
    // starts the next upgrade at once. (The bootloader takes the image anew
    // for every download.)
    const QByteArray image =
        CUpgradeStation::ReadFile(pSettings->GetString(QStringLiteral("UpgradeFilePath"), QString()));
    m->boot->ExpectImage(image, m->frame->Snapshot().boot.nMcuType);
    QObject::connect(m->work, QOverload<QString, QString, double>::of(&HandleWork::EmitUpgradeStatus), m->view,
                     [this, image](QString status, QString, double) {
                         if (status == QLatin1String("UpgradeFinished"))
                             m->boot->ExpectImage(image, m->frame->Snapshot().boot.nMcuType);
                     });
    QVERIFY(m->Open());
    Start();
    QVERIFY(m->WaitForRow("Update completed(1,0)"));
    QVERIFY(StationTest::WaitFor([this] { return UpgradeRows().count("Enter upgrade mode") == 2; }));
    QVERIFY(m->CancelAction()->isEnabled());
    m->CancelAction()->trigger();
    QVERIFY(m->WaitForRow("Update completed(2,0)"));
    QVERIFY(m->Settle());
    QCOMPARE(UpgradeRows().count("Enter upgrade mode"), 2);
    QCOMPARE(UpgradeRows().count(stopped), 1);
    QVERIFY(m->ControlsEnabled());
    QVERIFY(m->view->close());
}

void TestUpgradeEndToEnd::nextUpgradeAfterTheWatchdogsEnd_data()
{
    // Whether the frame restarting after its image left the bus before the
    // watchdog ended the wait for it, or only after.
    QTest::addColumn<bool>("leftFirst");
    QTest::addColumn<QString>("leaving");  // the row of its leaving
    QTest::newRow("the frame is away") << true << "Device is re-enumerating";
    QTest::newRow("the frame has not left yet") << false << "Device is disconnected";
}

void TestUpgradeEndToEnd::nextUpgradeAfterTheWatchdogsEnd()
{
    // The image is in, but the frame is slow to come back: the watchdog ends
    // the upgrade. When the frame arrives in its application, the automatic
    // continuation sends it through its bootloader once more, and that
    // download goes through from its first record.
    QFETCH(bool, leftFirst);
    QFETCH(QString, leaving);

    CCustomerSettings* pSettings = CCustomerSettings::GetInstance();
    pSettings->SetInt(QStringLiteral("EnableAutoUpgrade"), 1);
    pSettings->SetInt(QStringLiteral("EnableContinuousUpgrade"), 0);
    pSettings->SetInt(QStringLiteral("AutoUpgradeCount"), 2);
    m.reset();
    m = std::make_unique<CUpgradeStation>();
    Prepare();
    // The frame takes the image and stays where it is until the test moves it.
    m->boot->SetReturnsToApplication(false);
    Start();
    QVERIFY(WaitTicking([this] { return m->Rows().contains("Firmware sent"); }));
    QVERIFY(StationTest::WaitFor([this] { return !m->work->IsTaskRunning("Start_Upgrade"); }));
    QVERIFY(m->Settle());
    QVERIFY(m->boot->IsComplete());

    if (leftFirst) {
        m->usb->Unplug();
        QVERIFY(m->WaitForRow(leaving));
    }
    // Five quiet periods are waited out; the sixth ends the upgrade.
    for (int i = 0; i < 5; ++i)
        m->TickWatchdog();
    QVERIFY(!m->ControlsEnabled());
    m->TickWatchdog();
    QVERIFY(m->ControlsEnabled());
    QCOMPARE(m->Rows().last(), kNoReply + "(0,1)");
    if (!leftFirst) {
        m->usb->Unplug();
        QVERIFY(m->WaitForRow(leaving));
    }

    // The bootloader is ready for the image again; the frame restarts in its
    // application with the new firmware.
    QVERIFY(!m->WriteImage(kRecords).isEmpty());
    m->boot->SetReturnsToApplication(true);
    m->frame->SetMode(CEmulatedFrame::Mode::Application);
    m->usb->Plug();
    // Until the second upgrade has ended, however it ends.
    QVERIFY(WaitTicking([this] { return CountRows(UpgradeRows()).size() >= 2; }));
    QVERIFY(m->Settle());

    const QStringList rows = UpgradeRows();
    QCOMPARE(CountRows(rows), (QStringList{kNoReply + "(0,1)", "Update completed(1,1)"}));
    QCOMPARE(rows.count("Enter upgrade mode"), 2);
    QCOMPARE(rows.count("Start the upgrade"), 2);
    QVERIFY(m->boot->IsComplete());
    QCOMPARE(m->boot->Received(), m->boot->ExpectedRecords());
    QVERIFY2(m->boot->Problems().isEmpty(), qPrintable(m->boot->Problems().join('\n')));
    QCOMPARE(m->BarColour(), QStringLiteral("green"));
    QVERIFY(m->ControlsEnabled());
    QVERIFY(!m->watchdog->isActive());
}

void TestUpgradeEndToEnd::failures_data()
{
    QTest::addColumn<int>("record");
    QTest::addColumn<CEmulatedBootloader::Failure>("failure");
    QTest::addColumn<int>("times");
    QTest::addColumn<bool>("answersComplete");
    QTest::addColumn<QStringList>("lastRows");  // the rows that end the upgrade

    using F = CEmulatedBootloader::Failure;
    QTest::newRow("NACK") << 3 << F::Nack << 1 << true << QStringList{"Start the upgrade", "Upgrade error Nack(0,1)"};
    QTest::newRow("packet error") << 3 << F::PacketError << 1 << true
                                  << QStringList{"Start the upgrade", "Upgrade error Packet(0,1)"};
    // Sent six times, 10 s each: the download gives up, the watchdog stays
    // quiet (every resend is a status).
    QTest::newRow("a silent record") << 3 << F::Silence << 6 << true
                                     << QStringList{"Start the upgrade", "Transfer timeout(0,1)"};
    // Every record taken, but the bootloader never says it is complete: the
    // frame does not leave, and only the watchdog ends the wait.
    QTest::newRow("no complete answer") << 0 << F::None << 0 << false
                                        << QStringList{"Start the upgrade", "Read data finsih", kNoReply + "(0,1)"};
}

void TestUpgradeEndToEnd::failures()
{
    QFETCH(int, record);
    QFETCH(CEmulatedBootloader::Failure, failure);
    QFETCH(int, times);
    QFETCH(bool, answersComplete);
    QFETCH(QStringList, lastRows);

    Prepare();
    if (record > 0)
        m->boot->FailAtRecord(record, failure, times);
    m->boot->SetAnswersComplete(answersComplete);
    Start();
    if (!answersComplete) {
        QVERIFY(m->WaitForRow("Read data finsih"));
        QVERIFY(m->Settle());
        // Five quiet periods are waited out; the sixth ends it.
        for (int i = 0; i < 5; ++i)
            m->TickWatchdog();
        QVERIFY(!m->ControlsEnabled());
        m->TickWatchdog();
    }
    QVERIFY(WaitTicking([this] { return m->ControlsEnabled(); }));
    QVERIFY(m->Settle());

    const QStringList rows = UpgradeRows();
    QCOMPARE(rows.mid(rows.size() - lastRows.size()), lastRows);
    QCOMPARE(CountRows(rows).size(), 1);
    if (answersComplete)
        QVERIFY(!rows.filter(kNoReply).size());
    QCOMPARE(m->BarColour(), QStringLiteral("red"));
    QCOMPARE(m->Bar()->value(), m->Bar()->maximum());
    QVERIFY(!m->watchdog->isActive());
    // The frame waits in its bootloader.
    QCOMPARE(m->frame->CurrentMode(), CEmulatedFrame::Mode::Bootloader);
    if (failure == CEmulatedBootloader::Failure::Nack)
        m->Screenshot("failed");
}

void TestUpgradeEndToEnd::unplugDuringTheDownload()
{
    Prepare();
    m->boot->FailAtRecord(4, CEmulatedBootloader::Failure::Unplug);
    Start();
    QVERIFY(StationTest::WaitFor([this] { return m->ControlsEnabled(); }, 30000));
    QVERIFY(StationTest::WaitFor([this] { return !m->work->IsTaskRunning("Start_Upgrade"); }, 30000));
    QVERIFY(m->Settle());
    // The view sees the frame lost; the download may end with its own
    // "Device is disconnected" first or after, or silently: one failure.
    const QStringList rows = UpgradeRows();
    QVERIFY2(rows.contains("Device is disconnected") || rows.contains("Device is disconnected(0,1)"),
             qPrintable(rows.join('|')));
    const QStringList counted = CountRows(rows);
    QVERIFY2(!counted.isEmpty(), qPrintable(rows.join('|')));
    for (const QString& row : counted)
        QVERIFY2(row.endsWith(QLatin1String("(0,1)")), qPrintable(rows.join('|')));
    QCOMPARE(m->BarColour(), QStringLiteral("red"));
    QVERIFY(!m->watchdog->isActive());
}

void TestUpgradeEndToEnd::recordAnsweredAfterTwoResends()
{
    Prepare();
    m->boot->FailAtRecord(5, CEmulatedBootloader::Failure::Silence, 2);
    Start();
    QVERIFY(WaitTicking([this] { return m->Rows().contains("Update completed(1,0)"); }));
    QVERIFY(m->Settle());
    QCOMPARE(CountRows(UpgradeRows()), QStringList{"Update completed(1,0)"});
    QCOMPARE(m->boot->Sendings(), kRecords + 2);
    QCOMPARE(m->BarColour(), QStringLiteral("green"));
}

void TestUpgradeEndToEnd::frameLeavesAfterTheJumpAndNeverReturns()
{
    // The frame answers the jump, leaves one period later by the test's
    // hand, and never comes back: the dispatcher's detect timer ends the
    // upgrade before the view's watchdog, which started later.
    m->StallJump();
    Prepare();
    Start();
    QVERIFY(m->WaitForRow("Jump to bootloader"));
    QVERIFY(m->Settle());
    QVERIFY(m->detect->isActive());
    m->TickDetect();
    m->TickWatchdog();
    QVERIFY(!m->watchdog->isActive());
    m->usb->Unplug();
    QVERIFY(m->WaitForRow("Device is re-enumerating"));
    QVERIFY(m->watchdog->isActive());
    for (int i = 0; i < 4; ++i) {
        m->TickDetect();
        m->TickWatchdog();
        QVERIFY(!m->ControlsEnabled());
    }
    m->TickDetect();
    QVERIFY(m->Settle());
    QCOMPARE(UpgradeRows(), (QStringList{"Enter upgrade mode", "Jump to bootloader", "Device is re-enumerating",
                                         "Jump bootloader returns exception(0,1)"}));
    QVERIFY(!m->watchdog->isActive());
    QVERIFY(!m->detect->isActive());
    // The watchdog's own end would have come one tick later: nothing more.
    m->TickWatchdog();
    QCOMPARE(CountRows(UpgradeRows()).size(), 1);
    QCOMPARE(m->BarColour(), QStringLiteral("red"));
}

void TestUpgradeEndToEnd::badImage_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("row");
    QTest::newRow("missing") << "missing" << "Firmware path error(0,1)";
    QTest::newRow("not an image") << "malformed" << "Firmware read error(0,1)";
    QTest::newRow("a folder x.bin") << "folder" << "Firmware cannot be opened(0,1)";
}

void TestUpgradeEndToEnd::badImage()
{
    QFETCH(QString, kind);
    QFETCH(QString, row);

    Prepare();
    const QString path = QDir(m->WorkDir()).absoluteFilePath("x.bin");
    if (kind == QLatin1String("malformed")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(100, 'Z'));
    } else if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    }
    m->Choose(path);
    Start();
    QVERIFY(StationTest::WaitFor([this] { return m->ControlsEnabled(); }));
    QVERIFY(m->Settle());
    QCOMPARE(UpgradeRows(), (QStringList{"Enter upgrade mode", row}));
    QCOMPARE(m->BarColour(), QStringLiteral("red"));
    // The frame was never sent to its bootloader.
    QVERIFY(m->frame->RequestsFor(0xAA, 0x04).isEmpty());
    QCOMPARE(m->frame->CurrentMode(), CEmulatedFrame::Mode::Application);

    // The failure withdrew the upgrade: the frame plugged again is read, not
    // upgraded.
    m->usb->Unplug();
    QVERIFY(m->WaitForRow("Device is disconnected"));
    QVERIFY(m->PlugApplicationFrame());
    QVERIFY(UpgradeRows().filter("Enter upgrade mode").size() == 1);
    QVERIFY(m->frame->RequestsFor(0xAA, 0x04).isEmpty());
}

void TestUpgradeEndToEnd::frameLeavesBeforeItsJumpAnswerIsRead()
{
    // The frame restarts in its bootloader the moment it takes the jump:
    // the station never reads an answer (as when a loaded station reads it
    // only after the frame has gone). Its departure and its return in
    // bootloader mode carry the upgrade on.
    Prepare();
    m->frame->AddHandler(0xAA, 0x04, [](CEmulatedFrame&, const QByteArray&, QList<CEmulatedFrame::Action>* pActions) {
        CEmulatedFrame::Action leave;
        leave.kind = CEmulatedFrame::Action::Replug;
        leave.mode = CEmulatedFrame::Mode::Bootloader;
        leave.backAfterMs = 50;
        pActions->append(leave);
        return true;
    });
    Start();
    QVERIFY2(m->WaitForRow("Update completed(1,0)"), qPrintable(UpgradeRows().join('|')));
    const QStringList rows = UpgradeRows();
    QCOMPARE(rows.mid(0, 3), (QStringList{"Enter upgrade mode", "Jump to bootloader", "Device is re-enumerating"}));
    QCOMPARE(CountRows(rows), QStringList{"Update completed(1,0)"});
    QVERIFY(m->boot->IsComplete());
    QCOMPARE(m->frame->RequestsFor(0xAA, 0x04).size(), 1);
}

void TestUpgradeEndToEnd::imageOfOtherRecords()
{
    // A sound image, but its records carry another command than those the
    // frame's bootloader expects: the first one is refused.
    Prepare();
    QByteArray foreign = EmulatedFirmware::Records(kRecords, 7);
    for (int i = 1; i < foreign.size(); i += 64)
        foreign[i] = char(0x02);
    const QString path = QDir(m->WorkDir()).absoluteFilePath("foreign.bin");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(foreign), qint64(foreign.size()));
    f.close();
    m->Choose(path);
    Start();
    QVERIFY(StationTest::WaitFor([this] { return m->ControlsEnabled(); }));
    QVERIFY(m->Settle());
    QCOMPARE(UpgradeRows(), (QStringList{"Enter upgrade mode", "Jump to bootloader", "Device is re-enumerating",
                                         kBootLine, "Ready to upgrade", "Start the upgrade",
                                         "Upgrade error Packet(0,1)"}));
    QCOMPARE(m->BarColour(), QStringLiteral("red"));
    QCOMPARE(m->boot->Sendings(), 1);
    QVERIFY(m->boot->Received().isEmpty());
    QCOMPARE(m->frame->CurrentMode(), CEmulatedFrame::Mode::Bootloader);
}

void TestUpgradeEndToEnd::cancelWithoutAFrame()
{
    QVERIFY(!m->WriteImage(kRecords).isEmpty());
    QVERIFY(m->Open());
    Start();
    QVERIFY(m->Settle());
    QVERIFY(m->CancelAction()->isEnabled());
    m->CancelAction()->trigger();
    QVERIFY(m->Settle());
    QCOMPARE(UpgradeRows(), (QStringList{"Enter upgrade mode", "Upgrade canceled"}));

    // Automatic upgrading off: a frame plugged now is only read.
    QVERIFY(m->PlugApplicationFrame());
    QCOMPARE(UpgradeRows().size(), 2 + 3);
    QVERIFY(UpgradeRows().filter("Jump to bootloader").isEmpty());
    QVERIFY(m->frame->RequestsFor(0xAA, 0x04).isEmpty());
    QVERIFY(m->ControlsEnabled());
}

void TestUpgradeEndToEnd::cancelEndsWhenTheFrameArrives()
{
    // The upgrade waits for a frame and can be cancelled; the frame's
    // arrival ends the wait (the dispatcher has its upgrade queued), and
    // from then on nothing cancels it, not even the action triggered in code.
    QVERIFY(!m->WriteImage(kRecords).isEmpty());
    QVERIFY(m->Open());
    Start();
    QVERIFY(m->Settle());
    QVERIFY(m->CancelAction()->isEnabled());
    // Connected after the view: when it counts, the view has the arrival.
    QSignalSpy arrivals(m->window.get(), &MainWindow::DeviceStatusChange_Emit);
    m->usb->Plug();
    QVERIFY(StationTest::WaitFor([&arrivals] { return !arrivals.isEmpty(); }));
    QCOMPARE(arrivals.first().first().toBool(), true);
    QVERIFY(!m->CancelAction()->isEnabled());
    m->CancelAction()->trigger();
    QVERIFY(m->WaitForRow("Update completed(1,0)"));
    QVERIFY(m->Settle());
    const QStringList rows = UpgradeRows();
    QVERIFY2(!rows.contains("Upgrade canceled"), qPrintable(rows.join('|')));
    QCOMPARE(CountRows(rows), QStringList{"Update completed(1,0)"});
    QVERIFY(m->boot->IsComplete());
    QCOMPARE(m->frame->CurrentMode(), CEmulatedFrame::Mode::Application);
    QVERIFY(!m->CancelAction()->isEnabled());
    QVERIFY(m->ControlsEnabled());
}

void TestUpgradeEndToEnd::completionOnlyFromThisUpgrade_data()
{
    // Only the frame that comes back after this upgrade sent it away
    // completes it.
    QTest::addColumn<bool>("inBootloader");  // the frame starts in its bootloader
    QTest::newRow("a report read before the start arrives after it") << false;
    QTest::newRow("a frame starting in its bootloader") << true;
}

void TestUpgradeEndToEnd::completionOnlyFromThisUpgrade()
{
    QFETCH(bool, inBootloader);

    const QString product = QStringLiteral(
        "Product:KT-T65WHSUR-10P Vid:0x2FE9 Pid:0x0013 Version:0x0102-0x0103 CheckSum:0x1A2B-0x3C4D ");
    const QString identity = QStringLiteral("BatchInfo:B2024-11-05 McuID:0123456789ABCDEF00112233 ");
    const QString frameBoot = QStringLiteral("BootVersion:0x020105 BootCheckSum:0x11223344 ");
    QVERIFY(!m->WriteImage(kRecords).isEmpty());
    QVERIFY(m->Open());
    QStringList expected{"Enter upgrade mode"};
    if (inBootloader) {
        m->frame->SetMode(CEmulatedFrame::Mode::Bootloader);
        m->usb->Plug();
        QVERIFY(StationTest::WaitFor([this] {
            return m->work->GetUsbPort()->GetDevCount() == 1
                && m->work->GetUsbPort()->GetDeviceMode() == DEVICE_MODE_BOOTLOADER;
        }));
        QVERIFY(m->Settle());
        Start();
    } else {
        // The arrival's information read is slow: its first answer goes
        // missing, and the read asks again after its wait. The operator
        // presses "Upgrade" meanwhile.
        m->frame->SetFault(0xA9, 0x05, CEmulatedFrame::Silent(1));
        const int nInfos = m->nDeviceInfos;
        m->usb->Plug();
        QVERIFY(StationTest::WaitFor([this] { return !m->frame->RequestsFor(0xA9, 0x05).isEmpty(); }));
        Start();
        QCOMPARE(m->nDeviceInfos, nInfos);
        QVERIFY(StationTest::WaitFor([this, nInfos] { return m->nDeviceInfos > nInfos; }));
        expected << product << identity << frameBoot << "Jump to bootloader" << "Device is re-enumerating";
    }
    expected << kBootLine << "Ready to upgrade" << "Start the upgrade" << "Firmware sent" << "Device is re-enumerating"
             << product << identity << frameBoot << "Update completed(1,0)";

    QVERIFY2(m->WaitForRow("Update completed(1,0)"), qPrintable(UpgradeRows().join('|')));
    QVERIFY(m->Settle());
    QCOMPARE(UpgradeRows(), expected);
    QVERIFY(m->boot->IsComplete());
    QCOMPARE(m->frame->CurrentMode(), CEmulatedFrame::Mode::Application);
    QCOMPARE(m->BarColour(), QStringLiteral("green"));
    QVERIFY(m->ControlsEnabled());
}

void TestUpgradeEndToEnd::windowGoesDuringADownload()
{
    // The station ends while a record waits for its answer.
    Prepare();
    m->boot->FailAtRecord(10, CEmulatedBootloader::Failure::Silence, 6);
    CRunLogCapture log;
    Start();
    QVERIFY(StationTest::WaitFor([this] { return m->boot->Sendings() >= 10; }));
    QVERIFY(m->WaitForRow("Start the upgrade"));
    const QString path = m->view->LogFilePath();
    const QStringList lines = m->TableLines();
    m->window.reset();
    QVERIFY(log.Contains("StopWorker : the worker thread has stopped."));
    QCOMPARE(log.Count("Terminate Thread."), 0);
    // Every row of the opening is in its file, and a last one says that the
    // upgrade did not end by itself.
    const QStringList fileLines = QString::fromUtf8(CUpgradeStation::ReadFile(path)).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(fileLines.mid(0, lines.size()), lines);
    QCOMPARE(fileLines.size(), lines.size() + 1);
    QVERIFY2(fileLines.last().endsWith(QLatin1Char(' ') + kCut + QStringLiteral("(0,0)")), qPrintable(fileLines.last()));
    QCOMPARE(log.Lines(QtWarningMsg).filter("the program ends during an upgrade").size(), 1);
}

STATION_TEST_MAIN(TestUpgradeEndToEnd)
#include "tst_upgradeendtoend.moc"
