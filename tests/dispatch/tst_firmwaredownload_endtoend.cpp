// The firmware upgrade from end to end: "Start_Upgrade" posted to the real
// dispatcher sends the emulated frame (behind the real USB port and device
// layer, on the fake OS backend) to its bootloader, finds it again in
// bootloader mode, downloads the image record by record and sees the frame
// come back as an application frame with its new firmware.

#include "deviceerror.h"
#include "handlework.h"
#include "pathview.h"
#include "shelltestwindow.h"
#include "stationrig.h"
#include "testenvironment.h"
#include "waitfor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
constexpr quint8 kMcuType = 0x21;
constexpr quint16 kNewVersion = 0x7305;
constexpr quint16 kNewChecksum = 0xBEEF;

QByteArray Record(quint8 nCmd, int nIndex, int nLen = 64)
{
    QByteArray r(nLen, '\0');
    r[0] = char(0xFE);
    if (nLen > 1)
        r[1] = char(nCmd);
    for (int i = 3; i < nLen; ++i)
        r[i] = char((nIndex * 13 + i) & 0xFF);
    return r;
}

QByteArray Records(int nCount, int nFirst = 0, quint8 nCmd = 0x01)
{
    QByteArray out;
    for (int i = 0; i < nCount; ++i)
        out += Record(nCmd, nFirst + i);
    return out;
}

void PutU32(QByteArray* p, int i, quint32 v)
{
    for (int b = 0; b < 4; ++b)
        (*p)[i + b] = char((v >> (8 * b)) & 0xFF);
}

QByteArray Header(quint32 nTypeA, quint32 nOffsetA, quint32 nTypeB, quint32 nOffsetB)
{
    QByteArray h(64, '\0');
    PutU32(&h, 0, 0xFFFFFFFFu);
    PutU32(&h, 8, nTypeA);
    PutU32(&h, 12, nOffsetA);
    PutU32(&h, 16, nTypeB);
    PutU32(&h, 20, nOffsetB);
    return h;
}

// The bootloader-detect timer of the dispatcher, known by its interval.
QTimer* BootDetectTimer(HandleWork* pWork, int nInterval)
{
    for (QTimer* pTimer : pWork->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly))
        if (pTimer->interval() == nInterval)
            return pTimer;
    return nullptr;
}

QString StatusList(const QList<CStationRig::SUpgrade>& list)
{
    QStringList out;
    for (const auto& u : list)
        out << QStringLiteral("%1|%2|%3").arg(u.status, u.log).arg(u.dProgress);
    return out.join(QLatin1String("\n"));
}
} // namespace

Q_DECLARE_METATYPE(CEmulatedBootloader::Failure)

class TestFirmwareDownload : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void wholeUpgrade_data();
    void wholeUpgrade();
    void endWithoutCompleteAnswer_data();
    void endWithoutCompleteAnswer();
    void recordFailures_data();
    void recordFailures();
    void unplugInTheMiddle();
    void receptionOffEndsTheDownload();
    void mcuTypeQuery_data();
    void mcuTypeQuery();
    void noReturnFromTheBootloader();
    void fifthIdleTickGivesTheJumpUp();
    void bootInformationFails_data();
    void bootInformationFails();
    void badImageIsRefusedBeforeTheJump_data();
    void badImageIsRefusedBeforeTheJump();
    void missingImageKeepsTheRequest();
    void upgradeStatusIsResetAfterAFailure();
    void imageGoneAfterTheJump();
    void stopUpgradeWithoutFrame();

private:
    // The frame plugged in application mode with the upgrade view open.
    bool PlugApplicationFrame();
    QString WriteImage(const QByteArray& image, const QString& name = QStringLiteral("image.bin"));
    // Posts "Start_Upgrade" for the image and waits until the download has
    // ended (a final status) and the dispatcher is idle.
    bool StartUpgrade(const QString& path);
    bool WaitForEnd(int nTimeoutMs = 20000);

    std::unique_ptr<CStationRig> m_pRig;
    std::unique_ptr<QTemporaryDir> m_dir;
    CPathView m_view;
};

void TestFirmwareDownload::init()
{
    // 10 s reads become 200 ms: far above the emulated frame's answer time
    // even on a loaded machine, short enough for the time-out cases.
    CTestEnvironment::FastClock(0.02);
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_pRig = std::make_unique<CStationRig>();
    m_pRig->AddFrame(CStationRig::SFrameOptions::Upgradable());
    m_pRig->StartDispatcher(UPGRADEWORK);
    // The port's first enumeration finds the empty bus.
    m_pRig->Settle();
    m_pRig->Frame().boot->SetNewFirmware(kNewVersion, kNewChecksum);
    // The watchdog only matters where a test says so.
    m_pRig->Work()->SetBootDetectInterval(2000);
}

void TestFirmwareDownload::cleanup()
{
    m_pRig.reset();
    m_dir.reset();
    CTestEnvironment::RealClock();
}

bool TestFirmwareDownload::PlugApplicationFrame()
{
    m_pRig->Frame().usb->Plug();
    // The arrival in the upgrade view without a pending upgrade reads the
    // device information.
    if (!StationTest::WaitFor([this] { return !m_pRig->Record().deviceInfos.isEmpty(); }))
        return false;
    m_pRig->Settle();
    m_pRig->ClearRecord();
    return true;
}

QString TestFirmwareDownload::WriteImage(const QByteArray& image, const QString& name)
{
    const QString path = m_dir->filePath(name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(image) != image.size())
        return QString();
    return path;
}

bool TestFirmwareDownload::WaitForEnd(int nTimeoutMs)
{
    const bool bEnded = StationTest::WaitFor(
        [this] {
            return m_pRig->Record().HasUpgrade(QStringLiteral("UpgradeFinished"))
                || m_pRig->Record().HasUpgrade(QStringLiteral("UpdateError"));
        },
        nTimeoutMs);
    m_pRig->Settle();
    return bEnded;
}

bool TestFirmwareDownload::StartUpgrade(const QString& path)
{
    m_view.SetPath(path);
    if (!m_pRig->Work()->PostTask(QStringLiteral("Start_Upgrade"), Qt::AutoConnection, &m_view, m_view.Path()))
        return false;
    return WaitForEnd();
}

void TestFirmwareDownload::wholeUpgrade_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<int>("records");   // records the bootloader receives
    QTest::addColumn<qint64>("progress");  // bytes counted at the end

    QTest::newRow("40 records") << Records(40) << 40 << qint64(40 * 64);
    QTest::newRow("64*k+13 bytes") << Records(17) + Record(0x01, 17, 13) << 18 << qint64(17 * 64 + 13);
    QTest::newRow("erase record first") << Record(0x06, 0) + Records(8, 1) << 9 << qint64(9 * 64);
    // Header, part A (the frame's) and part B: A's records, then B's, as the
    // file runs on after the part.
    QTest::newRow("header, part A") << Header(kMcuType, 64, 0x22, 64 + 4 * 64) + Records(4) + Records(3, 10)
                                    << 7 << qint64(8 * 64);
    // Part B is the frame's: the records of part A are skipped.
    QTest::newRow("header, part B") << Header(0x22, 64, kMcuType, 64 + 4 * 64) + Records(4) + Records(3, 10)
                                    << 3 << qint64(4 * 64);
    // Neither part: the download goes on after the header.
    QTest::newRow("header, no part") << Header(0x30, 128, 0x31, 128) + Records(5) << 5 << qint64(6 * 64);
}

void TestFirmwareDownload::wholeUpgrade()
{
    QFETCH(QByteArray, image);
    QFETCH(int, records);
    QFETCH(qint64, progress);

    QVERIFY(PlugApplicationFrame());
    m_pRig->Frame().boot->ExpectImage(image, kMcuType);
    QCOMPARE(m_pRig->Frame().boot->ExpectedRecords().size(), records);
    QVERIFY(StartUpgrade(WriteImage(image)));

    const QList<CStationRig::SUpgrade>& u = m_pRig->Record().upgrades;
    const QString all = StatusList(u);
    QVERIFY2(u.size() == 4 + records + 1, qPrintable(all));
    QCOMPARE(u[0].status, QString("UpdateLog"));
    QCOMPARE(u[0].log, QString("Jump to bootloader"));
    QCOMPARE(u[1].status, QString("UpdateLog"));
    QCOMPARE(u[1].log, QString("BootVersion:0x020105 BootCheckSum:0x11223344 "));
    QCOMPARE(u[2].log, QString("Ready to upgrade"));
    QCOMPARE(u[3].status, QString("UpgradeReady"));
    QCOMPARE(u[3].log, QString("Start the upgrade"));
    QCOMPARE(u[3].dProgress, double(image.size()));
    double dLast = 0;
    for (int i = 0; i < records; ++i) {
        const CStationRig::SUpgrade& p = u[4 + i];
        QCOMPARE(p.status, QString("ProgressUpdate"));
        QVERIFY(p.log.isEmpty());
        QVERIFY2(p.dProgress > dLast, qPrintable(all));
        dLast = p.dProgress;
    }
    QCOMPARE(qint64(dLast), progress);
    QCOMPARE(u.last().status, QString("UpgradeFinished"));
    QCOMPARE(u.last().log, QString("Firmware sent"));
    QCOMPARE(u.last().dProgress, double(image.size()));

    // Every record as the image holds it, the short last one padded.
    QCOMPARE(m_pRig->Frame().boot->Received(), m_pRig->Frame().boot->ExpectedRecords());
    QVERIFY2(m_pRig->Frame().boot->Problems().isEmpty(), qPrintable(m_pRig->Frame().boot->Problems().join("\n")));
    const bool bHeader = image.startsWith(QByteArray(4, char(0xFF)));
    QCOMPARE(m_pRig->Frame().boot->McuQueries(), bHeader ? 1 : 0);
    // The view is told twice that the frame will enumerate again.
    QCOMPARE(m_pRig->Record().events.count("enumerate:true"), 2);

    // The frame comes back with its new firmware, and the request is done:
    // the arrival reads the device information, it does not upgrade again.
    QVERIFY(StationTest::WaitFor([this] {
        return m_pRig->Record().events.lastIndexOf("deviceinfo") > m_pRig->Record().events.indexOf("upgrade:UpgradeFinished");
    }));
    m_pRig->Settle();
    QCOMPARE(m_pRig->Work()->GetUsbPort()->GetVersion(), int(kNewVersion));
    QString checksum;
    for (const auto& item : m_pRig->Record().deviceInfos.last())
        if (item.first == QLatin1String("CheckSum"))
            checksum = item.second;
    QVERIFY2(checksum.contains("BEEF", Qt::CaseInsensitive), qPrintable(checksum));
    QCOMPARE(m_pRig->Frame().frame.RequestsFor(0xAA, 0x04).size(), 1);
}

void TestFirmwareDownload::endWithoutCompleteAnswer_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("log");
    QTest::addColumn<double>("progress");
    // Every byte of the file sent and the last record taken: done.
    QTest::newRow("whole records") << Records(5) << "UpgradeFinished" << "Read data finsih" << 5 * 64.0;
    QTest::newRow("64*k+13 bytes") << Records(5) + Record(0x01, 5, 13) << "UpgradeFinished" << "Read data finsih"
                                   << 5 * 64.0 + 13;
    QTest::newRow("header, part A") << Header(kMcuType, 64, 0x22, 192) + Records(4) << "UpgradeFinished"
                                    << "Read data finsih" << 5 * 64.0;
    // Part B skipped part A's bytes: the count cannot reach the size, and
    // only the bootloader's FD 05 could have ended it well.
    QTest::newRow("header, part B") << Header(0x22, 64, kMcuType, 192) + Records(4) << "UpdateError"
                                    << "Firmware read error" << 3 * 64.0;
}

void TestFirmwareDownload::endWithoutCompleteAnswer()
{
    QFETCH(QByteArray, image);
    QFETCH(QString, status);
    QFETCH(QString, log);
    QFETCH(double, progress);

    QVERIFY(PlugApplicationFrame());
    m_pRig->Frame().boot->ExpectImage(image, kMcuType);
    m_pRig->Frame().boot->SetAnswersComplete(false);
    QVERIFY(StartUpgrade(WriteImage(image)));
    const CStationRig::SUpgrade& last = m_pRig->Record().upgrades.last();
    QVERIFY2(last.status == status && last.log == log, qPrintable(StatusList(m_pRig->Record().upgrades)));
    QCOMPARE(last.dProgress, progress);
    QCOMPARE(m_pRig->Frame().boot->Received(), m_pRig->Frame().boot->ExpectedRecords());
    // Without FD 05 the view is told only of the first enumeration.
    QCOMPARE(m_pRig->Record().events.count("enumerate:true"), 1);
}

void TestFirmwareDownload::recordFailures_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<int>("record");  // negative: this record and the next
    QTest::addColumn<CEmulatedBootloader::Failure>("failure");
    QTest::addColumn<int>("times");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("log");
    QTest::addColumn<double>("progress");
    QTest::addColumn<int>("sendings");
    // The "ProgressUpdate" of every sending, as "record*sendings" of 64-byte
    // records: each carries the bytes sent up to its record, a resend the
    // same count again.
    QTest::addColumn<QString>("progressUpdates");

    using F = CEmulatedBootloader::Failure;
    const QByteArray image = Records(6);
    QTest::newRow("packet error") << image << 3 << F::PacketError << 1 << "UpdateError"
                                  << "Upgrade error Packet" << 3 * 64.0 << 3 << "1 2 3";
    QTest::newRow("NACK") << image << 3 << F::Nack << 1 << "UpdateError" << "Upgrade error Nack" << 3 * 64.0 << 3
                          << "1 2 3";
    QTest::newRow("silence on a record") << image << 3 << F::Silence << 6 << "UpdateError" << "Transfer timeout"
                                         << 3 * 64.0 << 2 + 6 << "1 2 3*6";
    QTest::newRow("silence on an FE 06 record") << Record(0x06, 0) + Records(5, 1) << 1 << F::Silence << 3
                                                << "UpdateError" << "Transfer timeout" << 64.0 << 3 << "1*3";
    // Answered after resends: the attempts start again for the next record
    // (records 3 and 4 together go unanswered six times).
    QTest::newRow("silence three times on two records") << image << -3 << F::Silence << 3 << "UpgradeFinished"
                                                        << "Firmware sent" << 6 * 64.0 << 6 + 3 + 3
                                                        << "1 2 3*4 4*4 5 6";
}

void TestFirmwareDownload::recordFailures()
{
    QFETCH(QByteArray, image);
    QFETCH(int, record);
    QFETCH(CEmulatedBootloader::Failure, failure);
    QFETCH(int, times);
    QFETCH(QString, status);
    QFETCH(QString, log);
    QFETCH(double, progress);
    QFETCH(int, sendings);
    QFETCH(QString, progressUpdates);

    QList<double> expected;
    for (const QString& part : progressUpdates.split(' ')) {
        const QStringList recordTimes = part.split('*');
        const int nTimes = recordTimes.size() > 1 ? recordTimes[1].toInt() : 1;
        for (int i = 0; i < nTimes; ++i)
            expected << recordTimes[0].toInt() * 64.0;
    }

    QVERIFY(PlugApplicationFrame());
    m_pRig->Frame().boot->ExpectImage(image, kMcuType);
    if (record > 0) {
        m_pRig->Frame().boot->FailAtRecord(record, failure, times);
    } else {
        m_pRig->Frame().boot->FailAtRecord(-record, failure, times);
        m_pRig->Frame().boot->FailAtRecord(-record + 1, failure, times);
    }
    QVERIFY(StartUpgrade(WriteImage(image)));

    const CStationRig::SUpgrade& last = m_pRig->Record().upgrades.last();
    QVERIFY2(last.status == status && last.log == log, qPrintable(StatusList(m_pRig->Record().upgrades)));
    QCOMPARE(last.dProgress, progress);
    QCOMPARE(m_pRig->Frame().boot->Sendings(), sendings);
    QList<double> sent;
    for (const CStationRig::SUpgrade& u : m_pRig->Record().upgrades) {
        if (u.status == QLatin1String("ProgressUpdate"))
            sent << u.dProgress;
    }
    QCOMPARE(sent.size(), sendings);
    QCOMPARE(sent, expected);
    // One final status.
    QVERIFY2(m_pRig->Record().events.count("upgrade:UpdateError") + m_pRig->Record().events.count("upgrade:UpgradeFinished") == 1,
             qPrintable(StatusList(m_pRig->Record().upgrades)));
    QVERIFY(!m_pRig->Work()->IsTaskRunning("Start_Upgrade"));
}

void TestFirmwareDownload::unplugInTheMiddle()
{
    const QByteArray image = Records(8);
    QVERIFY(PlugApplicationFrame());
    m_pRig->Frame().boot->ExpectImage(image, kMcuType);
    m_pRig->Frame().boot->FailAtRecord(4, CEmulatedBootloader::Failure::Unplug);
    m_view.SetPath(WriteImage(image));
    QVERIFY(m_pRig->Work()->PostTask(QStringLiteral("Start_Upgrade"), Qt::AutoConnection, &m_view, m_view.Path()));

    // The download ends at once: with "Device is disconnected" when the port
    // reports the loss first, without a status when the removal is seen first.
    QVERIFY(StationTest::WaitFor([this] { return m_pRig->Frame().boot->Sendings() >= 4 && !m_pRig->Frame().usb->IsPlugged(); }));
    QVERIFY(StationTest::WaitFor([this] { return !m_pRig->Work()->IsTaskRunning("Start_Upgrade"); }, 30000));
    m_pRig->Settle();
    QVERIFY(!m_pRig->Record().HasUpgrade("UpgradeFinished"));
    const CStationRig::SUpgrade& last = m_pRig->Record().upgrades.last();
    if (last.status == QLatin1String("UpdateError")) {
        QCOMPARE(last.log, QString("Device is disconnected"));
        QCOMPARE(last.dProgress, 4 * 64.0);
    } else {
        QCOMPARE(last.status, QString("ProgressUpdate"));
    }
    QVERIFY(StationTest::WaitFor([this] { return m_pRig->Work()->GetUsbPort()->GetDevCount() == 0; }));
}

void TestFirmwareDownload::receptionOffEndsTheDownload()
{
    // Reception of the frame turned off while the bootloader is silent: every
    // further read returns at once, so the download must end, not spin.
    const QByteArray image = Records(8);
    QVERIFY(PlugApplicationFrame());
    // Real waits (10 s per answer): only the switch-off can end the download
    // while this test looks; a time-out would send the record again.
    CTestEnvironment::FastClock(1.0);
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) {
        s.boot.nJumpDelayMs = 40;
        s.boot.nBootArrivalMs = 20;
    });
    m_pRig->Frame().boot->ExpectImage(image, kMcuType);
    m_pRig->Frame().boot->FailAtRecord(3, CEmulatedBootloader::Failure::Silence, 6);
    m_view.SetPath(WriteImage(image));
    QVERIFY(m_pRig->Work()->PostTask(QStringLiteral("Start_Upgrade"), Qt::AutoConnection, &m_view, m_view.Path()));
    QVERIFY(StationTest::WaitFor([this] { return m_pRig->Frame().boot->Sendings() >= 3; }));

    m_pRig->Work()->GetUsbPort()->SetRecvEnable(0, 0);
    QVERIFY(StationTest::WaitFor([this] { return !m_pRig->Work()->IsTaskRunning("Start_Upgrade"); }, 60000));
    m_pRig->Settle();
    QVERIFY(!m_pRig->Record().HasUpgrade("UpgradeFinished"));
    QVERIFY(!m_pRig->Record().HasUpgrade("UpdateError"));
    QCOMPARE(m_pRig->Frame().boot->Sendings(), 3);
}

void TestFirmwareDownload::mcuTypeQuery_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("before");  // unrelated reports before the answer
    QTest::addColumn<bool>("ok");
    QTest::newRow("answer at once") << int(CEmulatedBootloader::McuAnswer::Type) << 0 << true;
    QTest::newRow("answer after three other reports") << int(CEmulatedBootloader::McuAnswer::Type) << 3 << true;
    QTest::newRow("cannot tell (FD 02 07)") << int(CEmulatedBootloader::McuAnswer::Unknown) << 0 << false;
    // At most 100 reports are read for the answer.
    QTest::newRow("answer as the 100th report") << int(CEmulatedBootloader::McuAnswer::Type) << 99 << true;
    QTest::newRow("answer after 100 other reports") << int(CEmulatedBootloader::McuAnswer::Type) << 100 << false;
}

void TestFirmwareDownload::mcuTypeQuery()
{
    QFETCH(int, answer);
    QFETCH(int, before);
    QFETCH(bool, ok);

    // The answer arrives while the upgrade status is on: only the direct
    // read of the download sees it.
    const QByteArray image = Header(0x22, 64, kMcuType, 192) + Records(2) + Records(3, 5);
    QVERIFY(PlugApplicationFrame());
    m_pRig->Frame().boot->ExpectImage(image, kMcuType);
    m_pRig->Frame().boot->SetMcuAnswer(CEmulatedBootloader::McuAnswer(answer), before);
    QVERIFY(StartUpgrade(WriteImage(image)));

    QCOMPARE(m_pRig->Frame().boot->McuQueries(), 1);
    const CStationRig::SUpgrade& last = m_pRig->Record().upgrades.last();
    if (ok) {
        QCOMPARE(last.log, QString("Firmware sent"));
        QCOMPARE(m_pRig->Frame().boot->Received(), m_pRig->Frame().boot->ExpectedRecords());
    } else {
        QCOMPARE(last.status, QString("UpdateError"));
        QCOMPARE(last.log, QString("Getting MCU type error"));
        QCOMPARE(last.dProgress, 0.0);
        QCOMPARE(m_pRig->Frame().boot->Sendings(), 0);
        QCOMPARE(m_pRig->Frame().frame.CurrentMode(), CEmulatedFrame::Mode::Bootloader);
    }
}

void TestFirmwareDownload::noReturnFromTheBootloader()
{
    const QByteArray image = Records(4);
    QVERIFY(PlugApplicationFrame());
    m_pRig->Frame().boot->ExpectImage(image, kMcuType);
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) { s.boot.bNeverReturns = true; });
    m_pRig->Work()->SetBootDetectInterval(20);
    QVERIFY(StartUpgrade(WriteImage(image)));

    // The jump went out, the frame left and never came back: the fifth tick
    // in a row without activity gives the jump up.
    const QList<CStationRig::SUpgrade>& u = m_pRig->Record().upgrades;
    QCOMPARE(u.size(), 2);
    QCOMPARE(u[0].log, QString("Jump to bootloader"));
    QCOMPARE(u[1].status, QString("UpdateError"));
    QCOMPARE(u[1].log, QString("Jump bootloader returns exception"));
    QCOMPARE(u[1].dProgress, 0.0);
    QCOMPARE(m_pRig->Record().events.count("enumerate:true"), 1);
    QVERIFY(!m_pRig->Frame().usb->IsPlugged());
    // The timer stopped with the report.
    QTimer* pTimer = BootDetectTimer(m_pRig->Work(), 20);
    QVERIFY(pTimer);
    QVERIFY(!pTimer->isActive());
}

void TestFirmwareDownload::fifthIdleTickGivesTheJumpUp()
{
    // The ticks are given by hand; the timer itself would not fire for an hour.
    const int nHour = 3600 * 1000;
    const QByteArray image = Records(4);
    QVERIFY(PlugApplicationFrame());
    m_pRig->Frame().boot->ExpectImage(image, kMcuType);
    m_pRig->Frame().frame.Edit([](CEmulatedFrame::State& s) { s.boot.bNeverReturns = true; });
    m_pRig->Work()->SetBootDetectInterval(nHour);
    m_view.SetPath(WriteImage(image));
    QVERIFY(m_pRig->Work()->PostTask(QStringLiteral("Start_Upgrade"), Qt::AutoConnection, &m_view, m_view.Path()));
    QVERIFY(StationTest::WaitFor([this] { return m_pRig->Record().events.contains("enumerate:true"); }));
    m_pRig->Settle();
    QTimer* pTimer = BootDetectTimer(m_pRig->Work(), nHour);
    QVERIFY(pTimer);
    QVERIFY(pTimer->isActive());
    const QList<CStationRig::SUpgrade>& u = m_pRig->Record().upgrades;
    QCOMPARE(u.size(), 1);
    QCOMPARE(u[0].log, QString("Jump to bootloader"));

    // The first tick finds the jump's activity; four idle ticks pass quietly.
    for (int i = 0; i < 5; ++i) {
        m_pRig->Work()->UpgradeDetectTimer_CB();
        m_pRig->Flush();
        QVERIFY2(u.size() == 1, qPrintable(QStringLiteral("tick %1: %2").arg(i + 1).arg(StatusList(u))));
        QVERIFY(pTimer->isActive());
    }
    // The fifth idle tick gives the jump up and stops the timer.
    m_pRig->Work()->UpgradeDetectTimer_CB();
    m_pRig->Flush();
    QCOMPARE(u.size(), 2);
    QCOMPARE(u[1].status, QString("UpdateError"));
    QCOMPARE(u[1].log, QString("Jump bootloader returns exception"));
    QCOMPARE(u[1].dProgress, 0.0);
    QVERIFY(!pTimer->isActive());
}

void TestFirmwareDownload::bootInformationFails_data()
{
    QTest::addColumn<int>("fault");  // status byte, or 0: the frame leaves
    QTest::addColumn<QString>("log");
    // A status instead of the information: the result in base 32.
    QTest::newRow("status 0x83") << 0x83 << "Failed to obtain bootloader information:403";
    QTest::newRow("status 0x82") << 0x82 << "Failed to obtain bootloader information:402";
    QTest::newRow("frame gone") << 0 << "Failed to obtain bootloader information";
}

void TestFirmwareDownload::bootInformationFails()
{
    QFETCH(int, fault);
    QFETCH(QString, log);

    const QByteArray image = Records(4);
    QVERIFY(PlugApplicationFrame());
    m_pRig->Frame().boot->ExpectImage(image, kMcuType);
    m_pRig->Frame().frame.SetFault(0x03, 0x00,
                          fault ? CEmulatedFrame::StatusReply(quint8(fault)) : CEmulatedFrame::UnplugOnCommand(),
                          0xFE);
    QVERIFY(StartUpgrade(WriteImage(image)));
    QCOMPARE(m_pRig->Record().upgrades.size(), 2);
    QCOMPARE(m_pRig->Record().upgrades[0].log, QString("Jump to bootloader"));
    QCOMPARE(m_pRig->Record().upgrades[1].status, QString("UpdateError"));
    QCOMPARE(m_pRig->Record().upgrades[1].log, log);
    QCOMPARE(m_pRig->Frame().boot->Sendings(), 0);
}

void TestFirmwareDownload::badImageIsRefusedBeforeTheJump_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QString>("log");
    QTest::newRow("missing file") << "missing" << QByteArray() << "Firmware path error";
    QTest::newRow("no path") << "nopath" << QByteArray() << "Firmware path error";
    QTest::newRow("a folder") << "folder" << QByteArray() << "Firmware cannot be opened";
    QTest::newRow("empty file") << "file" << QByteArray() << "Firmware read error";
    QTest::newRow("not a record") << "file" << Records(3) + QByteArray(64, 'Z') << "Firmware read error";
    QTest::newRow("header cut short") << "file" << Records(3) + Header(1, 0, 2, 0).left(20) << "Firmware read error";
    QTest::newRow("part outside the file") << "file" << Header(kMcuType, 0x10000, 2, 64) + Records(2)
                                           << "Firmware read error";
    QTest::newRow("part before its header") << "file" << Records(2) + Header(kMcuType, 0, 2, 192) + Records(2)
                                            << "Firmware read error";
}

void TestFirmwareDownload::badImageIsRefusedBeforeTheJump()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, image);
    QFETCH(QString, log);

    QString path;
    if (kind == "missing")
        path = m_dir->filePath("none.bin");
    else if (kind == "folder")
        path = m_dir->path();
    else if (kind == "file")
        path = WriteImage(image);
    QVERIFY(PlugApplicationFrame());
    QVERIFY(StartUpgrade(path));

    QCOMPARE(m_pRig->Record().upgrades.size(), 1);
    QCOMPARE(m_pRig->Record().upgrades[0].status, QString("UpdateError"));
    QCOMPARE(m_pRig->Record().upgrades[0].log, log);
    QCOMPARE(m_pRig->Record().upgrades[0].dProgress, 0.0);
    // The frame was never asked to jump and runs its application.
    QVERIFY(m_pRig->Frame().frame.RequestsFor(0xAA, 0x04).isEmpty());
    QCOMPARE(m_pRig->Frame().frame.CurrentMode(), CEmulatedFrame::Mode::Application);
    QCOMPARE(m_pRig->Work()->GetUsbPort()->GetDeviceMode(), DEVICE_MODE_APPLICATION);
    QVERIFY(!m_pRig->Record().events.contains("enumerate:true"));
}

void TestFirmwareDownload::missingImageKeepsTheRequest()
{
    // A missing file keeps the upgrade pending: the next arrival tries again
    // (and refuses again without a jump); a malformed file ends the request.
    QVERIFY(PlugApplicationFrame());
    QVERIFY(StartUpgrade(m_dir->filePath("later.bin")));
    QCOMPARE(m_pRig->Record().upgrades.last().log, QString("Firmware path error"));

    m_pRig->ClearRecord();
    m_pRig->Frame().usb->Unplug();
    m_pRig->Frame().usb->Plug();
    QVERIFY(WaitForEnd());
    QCOMPARE(m_pRig->Record().upgrades.size(), 1);
    QCOMPARE(m_pRig->Record().upgrades[0].log, QString("Firmware path error"));

    // Now the file exists but is no image: refused, and the request ends.
    QFile f(m_dir->filePath("later.bin"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("not an image");
    f.close();
    m_pRig->ClearRecord();
    m_pRig->Frame().usb->Unplug();
    m_pRig->Frame().usb->Plug();
    QVERIFY(WaitForEnd());
    QCOMPARE(m_pRig->Record().upgrades.last().log, QString("Firmware read error"));

    m_pRig->ClearRecord();
    m_pRig->Frame().usb->Unplug();
    m_pRig->Frame().usb->Plug();
    QVERIFY(StationTest::WaitFor([this] { return !m_pRig->Record().deviceInfos.isEmpty(); }));
    m_pRig->Settle();
    QVERIFY(m_pRig->Record().upgrades.isEmpty());
    QVERIFY(m_pRig->Frame().frame.RequestsFor(0xAA, 0x04).isEmpty());
}

void TestFirmwareDownload::upgradeStatusIsResetAfterAFailure()
{
    // After a failed download the frame stays in its bootloader; the frame's
    // command reader runs again, so a plain command is answered.
    const QByteArray image = Records(6);
    QVERIFY(PlugApplicationFrame());
    m_pRig->Frame().boot->ExpectImage(image, kMcuType);
    m_pRig->Frame().boot->FailAtRecord(2, CEmulatedBootloader::Failure::Nack);
    QVERIFY(StartUpgrade(WriteImage(image)));
    QCOMPARE(m_pRig->Record().upgrades.last().log, QString("Upgrade error Nack"));
    QCOMPARE(m_pRig->Frame().frame.CurrentMode(), CEmulatedFrame::Mode::Bootloader);

    m_pRig->ClearRecord();
    QVERIFY(m_pRig->Run("GetBootVersion"));
    QCOMPARE(m_pRig->Record().deviceInfos.size(), 1);
    QCOMPARE(m_pRig->Frame().frame.RequestsFor(0x03, 0x00, 0xFE).size(), 1);
    QVERIFY(m_pRig->ShellWindow()->errors.isEmpty());
}

void TestFirmwareDownload::imageGoneAfterTheJump()
{
    // The image is removed while the frame restarts in its bootloader: the
    // download fails with the path error, the request stays pending, and the
    // frame's readers run normally again (upgrade status off).
    const QByteArray image = Records(4);
    const QString path = WriteImage(image);
    QVERIFY(PlugApplicationFrame());
    m_pRig->Frame().boot->ExpectImage(image, kMcuType);
    auto pRemoved = std::make_shared<bool>(false);
    m_pRig->Frame().frame.AddHandler(
        0x03, 0x00,
        [path, pRemoved](CEmulatedFrame&, const QByteArray&, QList<CEmulatedFrame::Action>*) {
            if (!*pRemoved)
                *pRemoved = QFile::remove(path);
            return false;  // the frame's own answer follows
        },
        0xFE);
    QVERIFY(StartUpgrade(path));
    QStringList logs;
    for (const auto& u : m_pRig->Record().upgrades)
        logs << u.log;
    QCOMPARE(logs, (QStringList{"Jump to bootloader", "BootVersion:0x020105 BootCheckSum:0x11223344 ",
                                "Ready to upgrade", "Firmware path error"}));
    QCOMPARE(m_pRig->Record().upgrades.last().dProgress, 0.0);
    QCOMPARE(m_pRig->Frame().boot->Sendings(), 0);

    m_pRig->ClearRecord();
    QVERIFY(m_pRig->Run("GetBootVersion"));
    QCOMPARE(m_pRig->Record().deviceInfos.size(), 1);
    QVERIFY(m_pRig->ShellWindow()->errors.isEmpty());

    // Still requested: with the image back, the next "Start_Upgrade" of the
    // arrival (no view) downloads it.
    QVERIFY(!WriteImage(image).isEmpty());
    m_pRig->ClearRecord();
    QVERIFY(m_pRig->Run("Start_Upgrade"));
    QVERIFY(WaitForEnd());
    QCOMPARE(m_pRig->Record().upgrades.last().log, QString("Firmware sent"));
    QCOMPARE(m_pRig->Frame().boot->Received(), m_pRig->Frame().boot->ExpectedRecords());
}

void TestFirmwareDownload::stopUpgradeWithoutFrame()
{
    // Without a frame "Start_Upgrade" only keeps the request; "Stop_Upgrade"
    // drops it, so the frame that arrives later is not upgraded.
    m_view.SetPath(WriteImage(Records(2)));
    QVERIFY(m_pRig->Run("Start_Upgrade", &m_view, m_view.Path()));
    QVERIFY(m_pRig->Record().upgrades.isEmpty());
    QVERIFY(m_pRig->Run("Stop_Upgrade"));
    m_pRig->Frame().usb->Plug();
    QVERIFY(StationTest::WaitFor([this] { return !m_pRig->Record().deviceInfos.isEmpty(); }));
    m_pRig->Settle();
    QVERIFY(m_pRig->Record().upgrades.isEmpty());
    // A late "Start_Upgrade" of an arrival (no view) finds nothing requested.
    QVERIFY(m_pRig->Run("Start_Upgrade"));
    QVERIFY(m_pRig->Record().upgrades.isEmpty());
    QVERIFY(m_pRig->Frame().frame.RequestsFor(0xAA, 0x04).isEmpty());
    QCOMPARE(m_pRig->Frame().frame.CurrentMode(), CEmulatedFrame::Mode::Application);
}

STATION_TEST_MAIN(TestFirmwareDownload)
#include "tst_firmwaredownload_endtoend.moc"
