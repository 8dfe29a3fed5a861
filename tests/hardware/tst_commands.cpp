// The command protocol of HardwareInterface against an emulated frame behind a
// port with virtual time: request bytes, read time-outs, reply rules, the retry
// rule and its error families, stale replies, removal, version-dependent waits.

#include "hwcommandrig.h"
#include "testenvironment.h"

#include <QtTest>

namespace {
QByteArray StatusFor(quint8 cmd, quint8 sub, quint8 status)
{
    QByteArray r(64, '\0');
    r[0] = char(0xFC);
    r[1] = char(0xFE);
    r[2] = char(status);
    r[5] = char(cmd);
    r[6] = char(sub);
    return r;
}
} // namespace

class TestCommands : public QObject
{
    Q_OBJECT

private slots:
    void requestBytes_data();
    void requestBytes();
    void readTimeouts_data();
    void readTimeouts();
    void statusRules_data();
    void statusRules();
    void silentFrameGivesFamilyTimeout_data();
    void silentFrameGivesFamilyTimeout();
    void transportLossOnThirdTry();
    void writeFailureIsReturnedWithoutReading();
    void unrelatedReportsAreSkipped();
    void endlessUnrelatedReportsEndAsTimeout();
    void lateReplyAnswersTheRetry();
    void staleReplyIsNotTakenForTheNextCommand();
    void queueIsEmptiedOncePerOperation();
    void unplugInTheMiddleOfACommand();
    void familyCode_data();
    void familyCode();
    void versionRanges_data();
    void versionRanges();
    void reverseModeWaits_data();
    void reverseModeWaits();
    void readyPollsAcceptOnly82();
    void readyPollsExhaust();
    void a811OnlyFor46();
    void noPortGivesNullDevice();
};

// ---------------------------------------------------------------- request bytes

void TestCommands::requestBytes_data()
{
    QTest::addColumn<HwOp>("op");
    QTest::addColumn<QStringList>("requests");  // hex prefixes; the rest of each report is 0

    auto row = [](const char *name, HwOp op, QStringList req) { QTest::newRow(name) << op << req; };
    row("drawing open", [](HardwareInterface &h) { return h.SetDrawing(1, 0); }, {"fca2200200 0101"});
    row("drawing close", [](HardwareInterface &h) { return h.SetDrawing(0, 1); }, {"fca2200200 0000"});
    row("drawing agc", [](HardwareInterface &h) { return h.SetDrawing(0, 0); }, {"fca2200200 0001"});
    row("reverse on", [](HardwareInterface &h) { return h.SetReverseMode(true); }, {"fca8080100 00"});
    row("reverse off", [](HardwareInterface &h) { return h.SetReverseMode(false); }, {"fca8080100 01"});
    row("agc range", [](HardwareInterface &h) { return h.InitAgcRange(); }, {"fca8150000"});
    row("RT agc", [](HardwareInterface &h) { return h.SetRTAgc(0x1234, 0x0056); }, {"fca8130500 03 3412 5600"});
    row("T agc", [](HardwareInterface &h) { return h.SetTAgc(7); }, {"fca8130500 01 0700 0000"});
    row("R agc", [](HardwareInterface &h) { return h.SetRAgc(9); }, {"fca8130500 02 0000 0900"});
    row("reset agc", [](HardwareInterface &h) { return h.ResetAgc(); }, {"fca8130500 00 0000 0000"});
    row("A8 04", [](HardwareInterface &h) { return h.CmdA804(0x0102); }, {"fca8040300 01 00000000 0201"});
    row("A8 14", [](HardwareInterface &h) { return h.CmdA814(true); }, {"fca8140100 01"});
    row("A8 11 set", [](HardwareInterface &h) { return h.CmdA811(true); }, {"fca8110000 01ffff"});
    row("A8 11 clear", [](HardwareInterface &h) { return h.CmdA811(false); }, {"fca8110000 00ffff"});
    row("device state", [](HardwareInterface &h) {
        uint8_t a = 0, b = 4, c = 1;
        return h.GetDeviceState(&a, &c, &b);
    }, {"fcb2080300 000401"});
    row("product", [](HardwareInterface &h) { return h.GetProduct(); }, {"fca3010000"});
    row("firmware", [](HardwareInterface &h) {
        QList<CPropertyItem> l;
        return h.GetFirmwareInfo(l);
    }, {"fca3050000"});
    row("app info", [](HardwareInterface &h) {
        QList<CPropertyItem> l;
        return h.GetAppInfo(l);
    }, {"fca3000000"});
    row("mcu id", [](HardwareInterface &h) { return h.GetMcuID(); }, {"fca9000000"});
    row("batch read", [](HardwareInterface &h) { return h.GetBatchInfo(); }, {"fca9050000"});
    row("batch write", [](HardwareInterface &h) {
        h.SetProperty(QStringLiteral("BatchInfo"), QStringLiteral("AB"));
        return h.SaveBatchInfo();
    }, {"fca9060300 414200"});
    row("batch write empty", [](HardwareInterface &h) { return h.SaveBatchInfo(); }, {"fca9060100 00"});
    row("batch write wide char", [](HardwareInterface &h) {
        h.SetProperty(QStringLiteral("BatchInfo"), QString::fromUtf8("A\xe2\x82\xac" "\xc3\xa9"));
        return h.SaveBatchInfo();
    }, {"fca9060400 4100e900"});
    row("max point", [](HardwareInterface &h) { return h.GetMaxPoint(); }, {"fc08000000"});
    row("touch format set", [](HardwareInterface &h) { return h.SetTouchFormat(1, 2); }, {"fc30000200 0102"});
    row("touch format get", [](HardwareInterface &h) { return h.GetTouchFormat(); }, {"fc30040000"});
    row("cal data", [](HardwareInterface &h) { return h.GetCalData(); }, {"fca1040000"});
    row("save default", [](HardwareInterface &h) { return h.SaveCalAsDefault(); }, {"fca1050000"});
    row("reset cal", [](HardwareInterface &h) { return h.ResetCalData(); }, {"fca1060000"});
    row("save flash", [](HardwareInterface &h) { return h.SaveCalToFlash(); }, {"fca1030100 01"});
    row("cal format get", [](HardwareInterface &h) { return h.GetCalFormat(); }, {"fc30110000"});
    row("cal format set", [](HardwareInterface &h) { return h.SetCalFormat(); }, {"fc30020000 01"});
    row("A1 01", [](HardwareInterface &h) { return h.CmdA101(); }, {"fca1010000"});
    row("01 08", [](HardwareInterface &h) { return h.Cmd0108(); }, {"fc01080000"});
    row("CF 02 then 01 08", [](HardwareInterface &h) { return h.CmdCF02(); },
        {"fccf020000 020305fc0108", "fc01080000"});
    row("exit fine tuning", [](HardwareInterface &h) { return h.ExitFineTuning(1); }, {"fca2120100 01"});
    row("fine tune read", [](HardwareInterface &h) { return h.ReadFineTuneParams(); }, {"fca2010000"});
    row("01 FF", [](HardwareInterface &h) { return h.SendCmd01FF(); }, {"fc01ff0000"});
    row("jump", [](HardwareInterface &h) { return h.JumpToBoot(); }, {"fcaa040000"});
    row("step 3", [](HardwareInterface &h) {
        int n = 0;
        return h.DoCalStep(3, &n, 30000);
    }, {"fc01030000"});
    row("step out of range", [](HardwareInterface &h) {
        int n = 0;
        return h.DoCalStep(9, &n, 30000);
    }, {"fc01000000"});
    row("touch on (read first)", [](HardwareInterface &h) { return h.SetTouchEnable(true); },
        {"fc30070200", "fc30080200 0102"});
    row("touch off (read first)", [](HardwareInterface &h) { return h.SetTouchEnable(false); },
        {"fc30070200", "fc30080200 0000"});
    row("pen on", [](HardwareInterface &h) { return h.SetPenEnable(true); }, {"fc300e0200", "fc301d0200 0101"});
    row("split on", [](HardwareInterface &h) { return h.SetSplitScreen(true); }, {"fc30230000", "fc30220100 01"});
    row("split off", [](HardwareInterface &h) { return h.SetSplitScreen(false); }, {"fc30230000", "fc30220100 00"});
}

void TestCommands::requestBytes()
{
    QFETCH(HwOp, op);
    QFETCH(QStringList, requests);
    CCommandRig rig;
    rig.hw.SetCheckLedError(true);
    QCOMPARE(CodeHex(op(rig.hw)), CodeHex(0));
    QStringList expected;
    for (const QString &hex : requests)
        expected << CCommandRig::Hex(CCommandRig::Report(hex.toLatin1().replace(' ', "").constData()));
    QCOMPARE(rig.RequestHex(), expected);
    QVERIFY2(rig.frame.Violations().isEmpty(), qPrintable(rig.frame.Violations().join('\n')));
}

// ---------------------------------------------------------------- time-outs

void TestCommands::readTimeouts_data()
{
    QTest::addColumn<HwOp>("op");
    QTest::addColumn<int>("timeout");
    QTest::newRow("product 10 s") << HwOp([](HardwareInterface &h) { return h.GetProduct(); }) << 10000;
    QTest::newRow("app info 200 ms") << HwOp([](HardwareInterface &h) {
        QList<CPropertyItem> l;
        return h.GetAppInfo(l);
    }) << 200;
    QTest::newRow("ready poll 20 ms") << HwOp([](HardwareInterface &h) { return h.PollReady(); }) << 20;
    QTest::newRow("A1 01 80 s") << HwOp([](HardwareInterface &h) { return h.CmdA101(); }) << 80000;
    QTest::newRow("A1 04 80 s") << HwOp([](HardwareInterface &h) { return h.GetCalData(); }) << 80000;
    QTest::newRow("A1 03 80 s") << HwOp([](HardwareInterface &h) { return h.SaveCalToFlash(); }) << 80000;
    QTest::newRow("A1 05 80 s") << HwOp([](HardwareInterface &h) { return h.SaveCalAsDefault(); }) << 80000;
    QTest::newRow("A1 06 80 s") << HwOp([](HardwareInterface &h) { return h.ResetCalData(); }) << 80000;
    QTest::newRow("A1 02 10 s") << HwOp([](HardwareInterface &h) { return h.SendCalDataReport(); }) << 10000;
    QTest::newRow("CF 02 1 s") << HwOp([](HardwareInterface &h) { return h.SendCmdCF02(); }) << 1000;
    QTest::newRow("step caller's") << HwOp([](HardwareInterface &h) {
        int n = 0;
        return h.SendCalStep(1, &n, 12345);
    }) << 12345;
    QTest::newRow("boot info 10 s") << HwOp([](HardwareInterface &h) { return h.ReadBootInfo(); }) << 10000;
}

void TestCommands::readTimeouts()
{
    QFETCH(HwOp, op);
    QFETCH(int, timeout);
    CCommandRig rig;
    rig.frame.SetFault(0xA3, 0x01, CEmulatedFrame::Silent());  // only the product read is silent
    op(rig.hw);
    const QList<int> reads = rig.port.RecvTimeouts();
    QVERIFY(!reads.isEmpty());
    QCOMPARE(reads.last(), timeout);
    for (int t : rig.port.SendTimeouts())
        QCOMPARE(t, 30);
}

// ---------------------------------------------------------------- reply rules

void TestCommands::statusRules_data()
{
    QTest::addColumn<HwOp>("op");
    QTest::addColumn<quint8>("cmd");
    QTest::addColumn<quint8>("sub");
    QTest::addColumn<int>("status");  // 0xFF: refusal
    QTest::addColumn<int32_t>("result");

    const HwOp a804 = [](HardwareInterface &h) { return h.CmdA804(5); };
    const HwOp drawing = [](HardwareInterface &h) { return h.SetDrawing(1, 0); };
    const HwOp saveDefault = [](HardwareInterface &h) { return h.SaveCalAsDefault(); };
    const HwOp product = [](HardwareInterface &h) { return h.GetProduct(); };
    const HwOp state = [](HardwareInterface &h) {
        uint8_t a = 0, b = 4, c = 1;
        return h.GetDeviceState(&a, &c, &b);
    };
    const HwOp jump = [](HardwareInterface &h) { return h.JumpToBoot(); };
    const HwOp batch = [](HardwareInterface &h) { return h.GetBatchInfo(); };

    QTest::newRow("standard 81") << a804 << quint8(0xA8) << quint8(0x04) << 0x81 << int32_t(0);
    QTest::newRow("standard 82 busy") << a804 << quint8(0xA8) << quint8(0x04) << 0x82 << int32_t(0x1002);
    QTest::newRow("standard 83") << a804 << quint8(0xA8) << quint8(0x04) << 0x83 << int32_t(0x1003);
    QTest::newRow("standard 84") << a804 << quint8(0xA8) << quint8(0x04) << 0x84 << int32_t(0x1003);
    QTest::newRow("standard refusal skipped") << a804 << quint8(0xA8) << quint8(0x04) << 0xFF
                                              << int32_t(0x80180001u);
    QTest::newRow("81-only 81") << drawing << quint8(0xA2) << quint8(0x20) << 0x81 << int32_t(0);
    QTest::newRow("81-only 82 skipped") << drawing << quint8(0xA2) << quint8(0x20) << 0x82 << int32_t(0x80010001u);
    QTest::newRow("81-only 83 skipped") << drawing << quint8(0xA2) << quint8(0x20) << 0x83 << int32_t(0x80010001u);
    QTest::newRow("calibration 81") << saveDefault << quint8(0xA1) << quint8(0x05) << 0x81 << int32_t(0);
    QTest::newRow("calibration 82 skipped") << saveDefault << quint8(0xA1) << quint8(0x05) << 0x82
                                            << int32_t(0x80270001u);
    QTest::newRow("calibration 83 skipped") << saveDefault << quint8(0xA1) << quint8(0x05) << 0x83
                                            << int32_t(0x80270001u);
    QTest::newRow("data-only status skipped") << product << quint8(0xA3) << quint8(0x01) << 0x81
                                              << int32_t(0x800B0001u);
    QTest::newRow("data or standard 82") << batch << quint8(0xA9) << quint8(0x05) << 0x82 << int32_t(0x1002);
    QTest::newRow("state refusal") << state << quint8(0xB2) << quint8(0x08) << 0xFF << int32_t(0x1004);
    QTest::newRow("state 83") << state << quint8(0xB2) << quint8(0x08) << 0x83 << int32_t(0x1003);
    QTest::newRow("jump 84") << jump << quint8(0xAA) << quint8(0x04) << 0x84 << int32_t(0);
    QTest::newRow("jump 81") << jump << quint8(0xAA) << quint8(0x04) << 0x81 << int32_t(0);
    QTest::newRow("jump 82") << jump << quint8(0xAA) << quint8(0x04) << 0x82 << int32_t(0x1002);
}

void TestCommands::statusRules()
{
    QFETCH(HwOp, op);
    QFETCH(quint8, cmd);
    QFETCH(quint8, sub);
    QFETCH(int, status);
    QFETCH(int32_t, result);
    CCommandRig rig;
    rig.frame.SetFault(cmd, sub, status == 0xFF ? CEmulatedFrame::Refusal() : CEmulatedFrame::StatusReply(quint8(status)));
    QCOMPARE(CodeHex(op(rig.hw)), CodeHex(result));
    // A success is one request; a skipped answer is ten.
    QCOMPARE(rig.CountRequests(cmd, sub), result < 0 ? 10 : 1);
}

// ---------------------------------------------------------------- retry rule

void TestCommands::silentFrameGivesFamilyTimeout_data()
{
    // Every wrapper of the command table: a frame that never answers the
    // command gives ten requests, each read with the command's own time-out,
    // then 0x80NN0001 with the wrapper's family byte.
    QTest::addColumn<HwOp>("op");
    QTest::addColumn<quint8>("cmd");
    QTest::addColumn<quint8>("sub");
    QTest::addColumn<int32_t>("result");
    QTest::addColumn<int>("requests");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<bool>("boot");

    auto row = [](const char *name, HwOp op, quint8 cmd, quint8 sub, uint32_t result, int timeout = 10000,
                  bool boot = false) {
        QTest::newRow(name) << op << cmd << sub << int32_t(result) << 10 << timeout << boot;
    };
    row("drawing (01)", [](HardwareInterface &h) { return h.SetDrawing(1, 0); }, 0xA2, 0x20, 0x80010001u);
    row("touch send (02)", [](HardwareInterface &h) { return h.SetTouchEnable(true); }, 0x30, 0x08, 0x80020001u);
    row("reverse (03)", [](HardwareInterface &h) { return h.SetReverseMode(true); }, 0xA8, 0x08, 0x80030001u);
    row("init agc (04)", [](HardwareInterface &h) { return h.InitAgc(); }, 0xA2, 0x09, 0x80040001u);
    row("max point (0A)", [](HardwareInterface &h) { return h.GetMaxPoint(); }, 0x08, 0x00, 0x800A0001u);
    row("product (0B)", [](HardwareInterface &h) { return h.GetProduct(); }, 0xA3, 0x01, 0x800B0001u);
    row("firmware (0C)", [](HardwareInterface &h) {
        QList<CPropertyItem> l;
        return h.GetFirmwareInfo(l);
    }, 0xA3, 0x05, 0x800C0001u);
    row("app info (0D)", [](HardwareInterface &h) {
        QList<CPropertyItem> l;
        return h.GetAppInfo(l);
    }, 0xA3, 0x00, 0x800D0001u, 200);
    row("mcu id (0E)", [](HardwareInterface &h) { return h.GetMcuID(); }, 0xA9, 0x00, 0x800E0001u);
    row("A8 11 (12)", [](HardwareInterface &h) { return h.CmdA811(true); }, 0xA8, 0x11, 0x80120001u);
    row("batch read (13)", [](HardwareInterface &h) { return h.GetBatchInfo(); }, 0xA9, 0x05, 0x80130001u);
    row("touch read (15)", [](HardwareInterface &h) { return h.SetTouchEnable(true); }, 0x30, 0x07, 0x80150001u);
    row("touch format set (16)", [](HardwareInterface &h) { return h.SetTouchFormat(1, 1); }, 0x30, 0x00,
        0x80160001u);
    row("A8 14 (17)", [](HardwareInterface &h) { return h.CmdA814(true); }, 0xA8, 0x14, 0x80170001u);
    row("A8 04 (18)", [](HardwareInterface &h) { return h.CmdA804(1); }, 0xA8, 0x04, 0x80180001u);
    row("pen send (19)", [](HardwareInterface &h) { return h.SetPenEnable(true); }, 0x30, 0x1D, 0x80190001u);
    row("pen read (1A)", [](HardwareInterface &h) { return h.SetPenEnable(false); }, 0x30, 0x0E, 0x801A0001u);
    row("led check (1B)", [](HardwareInterface &h) {
        h.SetCheckLedError(true);
        return h.CheckLedError(true);
    }, 0xA8, 0x17, 0x801B0001u);
    row("agc range (1C)", [](HardwareInterface &h) { return h.InitAgcRange(); }, 0xA8, 0x15, 0x801C0001u);
    row("device state (1D)", [](HardwareInterface &h) {
        uint8_t a = 0, b = 4, c = 1;
        return h.GetDeviceState(&a, &c, &b);
    }, 0xB2, 0x08, 0x801D0001u);
    row("batch write (1F)", [](HardwareInterface &h) { return h.SaveBatchInfo(); }, 0xA9, 0x06, 0x801F0001u);
    row("agc value (20)", [](HardwareInterface &h) { return h.SetRAgc(1); }, 0xA8, 0x13, 0x80200001u);
    row("split read (21)", [](HardwareInterface &h) { return h.SetSplitScreen(true); }, 0x30, 0x23, 0x80210001u);
    row("split send (22)", [](HardwareInterface &h) { return h.SetSplitScreen(true); }, 0x30, 0x22, 0x80220001u);
    row("boot info (23)", [](HardwareInterface &h) { return h.GetBootInfo(); }, 0x03, 0x00, 0x80230001u, 10000,
        true);
    row("jump (24)", [](HardwareInterface &h) { return h.JumpToBoot(); }, 0xAA, 0x04, 0x80240001u);
    row("A1 01 (25)", [](HardwareInterface &h) { return h.CmdA101(); }, 0xA1, 0x01, 0x80250001u, 80000);
    row("touch format get (25)", [](HardwareInterface &h) { return h.GetTouchFormat(); }, 0x30, 0x04,
        0x80250001u);
    row("edge move (25)", [](HardwareInterface &h) { return h.MoveCalEdge(0, true); }, 0xA1, 0x02, 0x80250001u);
    row("cal data (26)", [](HardwareInterface &h) { return h.GetCalData(); }, 0xA1, 0x04, 0x80260001u, 80000);
    row("save default (27)", [](HardwareInterface &h) { return h.SaveCalAsDefault(); }, 0xA1, 0x05, 0x80270001u,
        80000);
    row("reset cal (28)", [](HardwareInterface &h) { return h.ResetCalData(); }, 0xA1, 0x06, 0x80280001u, 80000);
    row("save flash (29)", [](HardwareInterface &h) { return h.SaveCalToFlash(); }, 0xA1, 0x03, 0x80290001u,
        80000);
    row("cal step (2A)", [](HardwareInterface &h) {
        int n = 0;
        return h.DoCalStep(1, &n, 30000);
    }, 0x01, 0x01, 0x802A0001u, 30000);
    row("cal format get (2B)", [](HardwareInterface &h) { return h.GetCalFormat(); }, 0x30, 0x11, 0x802B0001u);
    row("cal format set (2C)", [](HardwareInterface &h) { return h.SetCalFormat(); }, 0x30, 0x02, 0x802C0001u);
    row("CF 02 (2E)", [](HardwareInterface &h) { return h.CmdCF02(); }, 0xCF, 0x02, 0x802E0001u, 1000);
    row("01 08 (2F)", [](HardwareInterface &h) { return h.Cmd0108(); }, 0x01, 0x08, 0x802F0001u);
    row("CF 02 then 01 08 (2F)", [](HardwareInterface &h) { return h.CmdCF02(); }, 0x01, 0x08, 0x802F0001u);
    row("exit fine tuning (30)", [](HardwareInterface &h) { return h.ExitFineTuning(1); }, 0xA2, 0x12,
        0x80300001u);
    row("fine tune write (31)", [](HardwareInterface &h) { return h.WriteFineTuneParams(false); }, 0xA2, 0x00,
        0x80310001u);
    row("fine tune read (32)", [](HardwareInterface &h) { return h.ReadFineTuneParams(); }, 0xA2, 0x01,
        0x80320001u);
    row("cal data to device (33)", [](HardwareInterface &h) { return h.SendCalDataToDev(); }, 0xA1, 0x02,
        0x80330001u);
    row("cal param (34)", [](HardwareInterface &h) { return h.SendCalParam(); }, 0xA1, 0x02, 0x80340001u);
}

void TestCommands::silentFrameGivesFamilyTimeout()
{
    QFETCH(HwOp, op);
    QFETCH(quint8, cmd);
    QFETCH(quint8, sub);
    QFETCH(int32_t, result);
    QFETCH(int, requests);
    QFETCH(int, timeout);
    QFETCH(bool, boot);
    CCommandRig rig;
    const quint8 id = boot ? 0xFE : 0xFC;
    if (boot)
        rig.frame.SetMode(CEmulatedFrame::Mode::Bootloader);
    rig.frame.SetFault(cmd, sub, CEmulatedFrame::Silent(), id);
    QCOMPARE(CodeHex(op(rig.hw)), CodeHex(result));
    QCOMPARE(rig.CountRequests(cmd, sub, id), requests);
    // The last ten reads are the silent command's, each with its own time-out
    // (reads of time-out 0 empty the queue when an operation starts).
    QList<int> reads;
    for (int t : rig.port.RecvTimeouts())
        if (t != 0)
            reads << t;
    QVERIFY(reads.size() >= requests);
    QCOMPARE(reads.mid(reads.size() - requests), QList<int>() << QVector<int>(requests, timeout).toList());
    for (int t : rig.port.SendTimeouts())
        QCOMPARE(t, 30);
}

void TestCommands::transportLossOnThirdTry()
{
    CCommandRig rig;
    rig.frame.SetFault(0x30, 0x08, CEmulatedFrame::Silent());
    int n = 0;
    rig.port.SetSendHook([&](const QByteArray &q) {
        if (quint8(q.at(1)) == 0x30 && quint8(q.at(2)) == 0x08 && ++n == 3)
            rig.port.Unplug();
    });
    QCOMPARE(CodeHex(rig.hw.SetTouchEnable(true)), CodeHex(int32_t(0x80020002u)));
    QCOMPARE(rig.CountRequests(0x30, 0x08), 3);
}

void TestCommands::writeFailureIsReturnedWithoutReading()
{
    CCommandRig rig;
    rig.port.SetSendError(int32_t(0x80000001u));
    QCOMPARE(CodeHex(rig.hw.GetProduct()), CodeHex(int32_t(0x800B0001u)));  // a write time-out is retried
    rig.port.ClearCounters();
    rig.port.SetSendError(int32_t(0x80000002u));
    QCOMPARE(CodeHex(rig.hw.GetProduct()), CodeHex(int32_t(0x800B0002u)));
    QCOMPARE(rig.port.SendCount(), 1);
    QCOMPARE(rig.port.RecvTimeouts(), QList<int>{0});  // only the emptying of the queue
}

void TestCommands::unrelatedReportsAreSkipped()
{
    CCommandRig rig;
    QByteArray product = CCommandRig::Report("fca3810500 4142434445");
    rig.frame.SetFault(0xA3, 0x01,
                       CEmulatedFrame::CustomReplies({StatusFor(0xA3, 0x05, 0x81),    // status for another command
                                                      CCommandRig::Report("fca3850500 5a5a"),  // other sub-command
                                                      CCommandRig::Report("fca9810200 0102"),
                                                      product}));
    QCOMPARE(rig.hw.GetProduct(), 0);
    QCOMPARE(rig.hw.GetProperty(QStringLiteral("Product")), QStringLiteral("ABCDE"));
    QCOMPARE(rig.CountRequests(0xA3, 0x01), 1);

    // A garbage report before the answer is skipped too.
    rig.frame.SetFault(0xA9, 0x00, CEmulatedFrame::GarbageReply(true));
    QCOMPARE(rig.hw.GetMcuID(), 0);
    QCOMPARE(rig.CountRequests(0xA9, 0x00), 1);
}

// A frame that never stops sending reports that answer nothing, ahead of
// its answer (which comes a little later): each try gives up after 1000 of
// them as a time-out, and the retries end the command. The flood stops only
// after far more reports than ten tries may read, so that a reader without
// the bound would reach the answer and pass.
void TestCommands::endlessUnrelatedReportsEndAsTimeout()
{
    CCommandRig rig;
    const int kFloodEnds = 50000;
    int nFlooded = 0;
    rig.frame.SetFault(0xA3, 0x01, CEmulatedFrame::Late(5000));
    rig.port.QueueReply(StatusFor(0xA3, 0x05, 0x81));
    rig.port.SetRecvHook([&](const QByteArray &) {
        if (++nFlooded < kFloodEnds)
            rig.port.QueueReply(StatusFor(0xA3, 0x05, 0x81));
    });
    QCOMPARE(CodeHex(rig.hw.GetProduct()), CodeHex(int32_t(0x800B0001u)));
    QCOMPARE(rig.CountRequests(0xA3, 0x01), HardwareInterface::RETRY_COUNT);
    // The stale report found at the start is dropped, then 1000 a try.
    QVERIFY2(nFlooded <= 1 + 256 + HardwareInterface::RETRY_COUNT * 1000, qPrintable(QString::number(nFlooded)));
    QVERIFY(nFlooded >= HardwareInterface::RETRY_COUNT * 1000);
}

void TestCommands::lateReplyAnswersTheRetry()
{
    CCommandRig rig;
    // Every answer comes 15 s late: the first read (10 s) times out, the
    // request is sent again, and the late answer of the first request ends the
    // second wait.
    rig.frame.SetFault(0xA3, 0x01, CEmulatedFrame::Late(15000));
    QCOMPARE(rig.hw.GetProduct(), 0);
    QCOMPARE(rig.CountRequests(0xA3, 0x01), 2);
    QCOMPARE(rig.port.NowMs(), qint64(15000));
    QCOMPARE(rig.port.QueuedReplies(), 1);  // the second answer is still on its way
}

void TestCommands::staleReplyIsNotTakenForTheNextCommand()
{
    CCommandRig rig;
    // A touch-enable answer left over from an aborted command, with old bytes.
    rig.port.QueueReply(CCommandRig::Report("fc30870200 0707"));
    rig.port.QueueReply(StatusFor(0xA8, 0x08, 0x81));
    QCOMPARE(rig.port.QueuedReplies(), 2);
    QCOMPARE(rig.hw.GetTouchEnable(), 0);
    QCOMPARE(int(rig.hw.TouchEnableBytes()[0]), 1);
    QCOMPARE(int(rig.hw.TouchEnableBytes()[1]), 2);
    QCOMPARE(rig.port.QueuedReplies(), 0);

    // Reception switched off with a reply still queued (an aborted wait): the
    // next operation still starts from an empty queue.
    rig.port.QueueReply(CCommandRig::Report("fc30870200 0707"));
    rig.hw.SetRecvEnable(false);
    QCOMPARE(rig.hw.GetTouchEnable(), 0);
    QCOMPARE(int(rig.hw.TouchEnableBytes()[0]), 1);
}

void TestCommands::queueIsEmptiedOncePerOperation()
{
    CCommandRig rig;
    rig.frame.SetFault(0xA9, 0x00, CEmulatedFrame::Silent());
    rig.hw.GetMcuID();
    QList<int> expected{0};
    for (int i = 0; i < 10; ++i)
        expected << 10000;
    QCOMPARE(rig.port.RecvTimeouts(), expected);
}

void TestCommands::unplugInTheMiddleOfACommand()
{
    CCommandRig rig;
    QSignalSpy spy(&rig.port, &CComPort::DeviceInsert);
    rig.frame.SetFault(0xA3, 0x05, CEmulatedFrame::UnplugOnCommand());
    QList<CPropertyItem> list;
    QCOMPARE(CodeHex(rig.hw.GetFirmwareInfo(list)), CodeHex(int32_t(0x800C0002u)));
    QVERIFY(list.isEmpty());
    QCOMPARE(rig.CountRequests(0xA3, 0x05), 1);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), false);
    // Everything after it fails at once with the device-lost code of its family.
    QCOMPARE(CodeHex(rig.hw.GetProduct()), CodeHex(int32_t(0x800B0002u)));
}

// ---------------------------------------------------------------- codes

void TestCommands::familyCode_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<int32_t>("input");
    QTest::addColumn<int32_t>("code");
    QTest::newRow("time-out") << 0x25 << int32_t(0x80000001u) << int32_t(0x80250001u);
    QTest::newRow("lost") << 0x02 << int32_t(0x80000002u) << int32_t(0x80020002u);
    QTest::newRow("no device") << 0x1F << int32_t(0x80000003u) << int32_t(0x801F0003u);
    QTest::newRow("interrupt") << 0x2A << int32_t(0x80000004u) << int32_t(0x802A0004u);
    QTest::newRow("fine-tune end") << 0x2B << int32_t(0x80000005u) << int32_t(0x802B0005u);
    QTest::newRow("replaces a family") << 0x33 << int32_t(0x80250001u) << int32_t(0x80330001u);
}

void TestCommands::familyCode()
{
    QFETCH(int, family);
    QFETCH(int32_t, input);
    QFETCH(int32_t, code);
    QCOMPARE(CodeHex(CProbedHardware::FamilyCode(uint8_t(family), input)), CodeHex(code));
}

// ---------------------------------------------------------------- versions

void TestCommands::versionRanges_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("is4445");
    QTest::addColumn<bool>("known");
    QTest::newRow("43FF") << 0x43FF << false << false;
    QTest::newRow("4400") << 0x4400 << true << true;
    QTest::newRow("44FF") << 0x44FF << true << true;
    QTest::newRow("4500") << 0x4500 << false << false;
    QTest::newRow("459F") << 0x459F << false << false;
    QTest::newRow("45A0") << 0x45A0 << true << true;
    QTest::newRow("45CF") << 0x45CF << true << true;
    QTest::newRow("45D0") << 0x45D0 << true << true;
    QTest::newRow("45FF") << 0x45FF << true << true;
    QTest::newRow("4600") << 0x4600 << false << true;
    QTest::newRow("46FF") << 0x46FF << false << true;
    QTest::newRow("4700") << 0x4700 << false << false;
    QTest::newRow("7200") << 0x7200 << false << false;
    QTest::newRow("lost") << int(0x80000002u) << false << false;
}

void TestCommands::versionRanges()
{
    QFETCH(int, version);
    QFETCH(bool, is4445);
    QFETCH(bool, known);
    CCommandRig rig;
    QCOMPARE(rig.hw.IsVersion44Or45(version), is4445);
    QCOMPARE(rig.hw.IsKnownVersion(version), known);
}

void TestCommands::reverseModeWaits_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QList<int>>("sleeps");
    QTest::newRow("44xx on") << 0x4400 << true << QList<int>{6000};
    QTest::newRow("44xx off") << 0x44FF << false << QList<int>{};
    QTest::newRow("45A0 on") << 0x45A0 << true << QList<int>{6000};
    QTest::newRow("459F on") << 0x459F << true << QList<int>{};
    QTest::newRow("46xx on") << 0x46FF << true << QList<int>{100};
    QTest::newRow("46xx off") << 0x4600 << false << QList<int>{100};
    QTest::newRow("7201 on") << 0x7201 << true << QList<int>{};
}

void TestCommands::reverseModeWaits()
{
    QFETCH(int, version);
    QFETCH(bool, on);
    QFETCH(QList<int>, sleeps);
    CCommandRig rig;
    rig.frame.Edit([&](CEmulatedFrame::State &s) { s.id.nVersion = quint16(version); });
    QCOMPARE(rig.hw.SetReverseMode(on), 0);
    QCOMPARE(rig.sleeps, sleeps);
    QCOMPARE(rig.hw.IsReverseMode(), on);
    QCOMPARE(rig.frame.Snapshot().settings.bReverse, on);
}

void TestCommands::readyPollsAcceptOnly82()
{
    CCommandRig rig;
    rig.frame.Edit([](CEmulatedFrame::State &s) {
        s.id.nVersion = 0x4620;
        s.settings.nReadyAfterPolls = 4;  // four polls go unanswered
    });
    QCOMPARE(rig.hw.SendCmdA811AndWaitReady(0x4620, true), 0);
    QCOMPARE(rig.CountRequests(0xA8, 0x11), 1);
    QCOMPARE(rig.CountRequests(0xA5, 0x01), 5);
    QCOMPARE(rig.frame.RequestsFor(0xA5, 0x01).first().left(6), QByteArray::fromHex("fca5010200ff"));

    // A poll answered with "done" (0x81) is not "ready".
    CCommandRig rig2;
    rig2.frame.SetFault(0xA5, 0x01, CEmulatedFrame::StatusReply(0x81, 3));
    QCOMPARE(rig2.hw.WaitReady(), 0x1002);
    QCOMPARE(rig2.CountRequests(0xA5, 0x01), 4);
}

void TestCommands::readyPollsExhaust()
{
    CCommandRig rig;
    rig.frame.Edit([](CEmulatedFrame::State &s) { s.settings.nReadyAfterPolls = 100000; });
    QCOMPARE(CodeHex(rig.hw.WaitReady()), CodeHex(int32_t(0x80110001u)));
    QCOMPARE(rig.CountRequests(0xA5, 0x01), 1000);
    QCOMPARE(rig.port.NowMs(), qint64(1000 * 20));
}

void TestCommands::a811OnlyFor46()
{
    CCommandRig rig;
    QCOMPARE(rig.hw.SendCmdA811AndWaitReady(0x7201, true), 0);
    QCOMPARE(rig.hw.SendCmdA811AndWaitReady(0x4455, true), 0);
    QCOMPARE(rig.frame.RequestCount(), 0);
    rig.frame.SetFault(0xA8, 0x11, CEmulatedFrame::Silent());
    QCOMPARE(CodeHex(rig.hw.SendCmdA811AndWaitReady(0x4600, false)), CodeHex(int32_t(0x80120001u)));
    QCOMPARE(rig.CountRequests(0xA5, 0x01), 0);
}

void TestCommands::noPortGivesNullDevice()
{
    CProbedHardware hw(nullptr, nullptr, QStringLiteral("none"));
    QCOMPARE(CodeHex(hw.GetProduct()), CodeHex(int32_t(0x800B0003u)));
    QCOMPARE(hw.InitDeviceCalData(), 0);
    hw.SetRecvEnable(false);  // no port: nothing to pass it to
}

STATION_TEST_MAIN_CORE(TestCommands)
#include "tst_commands.moc"
