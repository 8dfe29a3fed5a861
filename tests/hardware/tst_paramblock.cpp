// The parameter-block transfer (AC 01) against an emulated frame: packet 0 as
// a header, windows of seven requests, the acceptance rule of each packet, the
// stream cut into block, extension and LED table, and every way a transfer
// can fail.

#include "panelgeometry.h"
#include "paramblockassembler.h"
#include "panelrig.h"
#include "testenvironment.h"

#include <QtTest>
#include <cstring>

namespace {

QVector<float> TableOf(const QByteArray &stream, int nOffset)
{
    QVector<float> t((stream.size() - nOffset) / 4);
    for (int i = 0; i < t.size(); ++i) {
        quint32 u = 0;
        for (int k = 0; k < 4; ++k)
            u |= quint32(quint8(stream[nOffset + 4 * i + k])) << (8 * k);
        std::memcpy(&t[i], &u, 4);
    }
    return t;
}

// Indexes of the packet requests, in the order they were sent.
QList<int> PacketRequests(const CPanelRig &rig)
{
    QList<int> out;
    const QList<QByteArray> requests = rig.frame.RequestsFor(0xAC, 0x01);
    for (const QByteArray &r : requests)
        if (quint8(r[3]) == 2)
            out << int(quint8(r[5]) | quint8(r[6]) << 8);
    return out;
}

QList<int> Range(int a, int b)
{
    QList<int> l;
    for (int i = a; i <= b; ++i)
        l << i;
    return l;
}

} // namespace

class TestParamBlock : public QObject
{
    Q_OBJECT

private slots:
    void transferInWindowsOfSeven();
    void extensionFollowsTheBlock();
    void packetRequestBytes();
    void headerWithTooFewPacketsIsSkipped();
    void transfers_data();
    void transfers();
    void noBlockIsAStatus_data();
    void noBlockIsAStatus();
    void panelRequestsAreCheckedFirst();
    void assemblerCutsAnyChunking_data();
    void assemblerCutsAnyChunking();
};

// 20 X and 12 Y LEDs: 524 + 32 * 16 = 1036 bytes, 20 packets of 52 bytes and
// the header, so N = 21. Windows ask for 1..7, 8..14, 15..21; the transfer
// ends after packet 20, inside the third window.
void TestParamBlock::transferInWindowsOfSeven()
{
    CPanelRig rig;
    rig.panel.Edit([](CEmulatedPanel::Model &m) {
        m.nX = 20;
        m.nY = 12;
        m.boards[0] = m.boards[1] = {10, 10};
        m.boards[2] = m.boards[3] = {12};
    });
    const CEmulatedPanel::Model model = rig.panel.Snapshot();
    QCOMPARE(CEmulatedPanel::PacketCount(model), 21);

    QByteArray block;
    QVector<float> table;
    QCOMPARE(CodeHex(rig.hw.GetParamBlock(&block, &table)), CodeHex(0));
    const QByteArray stream = CEmulatedPanel::ParamStream(model);
    QCOMPARE(block, stream.left(524));
    QCOMPARE(table, TableOf(stream, 524));
    QCOMPARE(table.size(), 32 * 4);
    QCOMPARE(PacketRequests(rig), Range(1, 21));
    // The first request, byte for byte.
    QCOMPARE(rig.Hex(0xAC, 0x01, 12).first(), QStringLiteral("fc ac 01 06 00 00 00 01 00 00 00 01"));
    // Packet 21 was asked for but never came; nothing else was read after 20.
    QCOMPARE(rig.port.QueuedReplies(), 0);
}

void TestParamBlock::extensionFollowsTheBlock()
{
    CPanelRig rig;
    rig.panel.Edit([](CEmulatedPanel::Model &m) { m.bExtension = true; });
    const QByteArray stream = CEmulatedPanel::ParamStream(rig.panel.Snapshot());
    QByteArray block;
    QVector<float> table;
    QCOMPARE(rig.hw.GetParamBlock(&block, &table), 0);
    QCOMPARE(block.size(), 568);
    QCOMPARE(block, stream.left(568));
    QCOMPARE(block.right(44), QByteArray(44, char(0xEE)));
    QCOMPARE(table, TableOf(stream, 568));
}

void TestParamBlock::packetRequestBytes()
{
    CPanelRig rig;
    rig.panel.Edit([](CEmulatedPanel::Model &m) {
        // 300 LEDs a side: 524 + 600 * 16 bytes, in packets of 40 bytes: 254 packets and the header.
        m.nX = m.nY = 300;
        m.boards[0] = m.boards[1] = m.boards[2] = m.boards[3] = {150, 150};
        m.nPacketData = 40;
    });
    QByteArray block;
    QVector<float> table;
    QCOMPARE(rig.hw.GetParamBlock(&block, &table), 0);
    QCOMPARE(table.size(), 600 * 4);
    const QStringList hex = rig.Hex(0xAC, 0x01, 8);
    // [5..6] index little-endian, [7] the low byte of their sum.
    QCOMPARE(hex[1], QStringLiteral("fc ac 01 02 00 01 00 01"));
    QVERIFY(hex.contains(QStringLiteral("fc ac 01 02 00 ff 00 ff")));
    QVERIFY(hex.contains(QStringLiteral("fc ac 01 02 00 00 01 01")));
    QVERIFY(hex.contains(QStringLiteral("fc ac 01 02 00 fe 00 fe")));
    // Windows of seven up to the window holding packet 255.
    QCOMPARE(PacketRequests(rig), Range(1, 259));
}

// A header announcing fewer than two packets is skipped; the next header counts.
void TestParamBlock::headerWithTooFewPacketsIsSkipped()
{
    CPanelRig rig;
    rig.frame.AddHandler(0xAC, 0x01, [](CEmulatedFrame &frame, const QByteArray &q, QList<CEmulatedFrame::Action> *pA) {
        if (CEmulatedFrame::Byte(q, 3) != 6)
            return false;
        QByteArray r(64, '\0');
        r[0] = char(0xFC);
        r[1] = char(0xAC);
        r[2] = char(0x81);
        r[3] = char(19); // L = 3 + 16 data bytes
        r[20] = char(1); // N = 1
        quint8 sum = 0;
        for (int i = 5; i < 24; ++i)
            sum = quint8(sum + quint8(r[i]));
        r[24] = char(sum);
        CEmulatedFrame::Action a;
        a.report = r;
        pA->append(a);
        Q_UNUSED(frame);
        return false; // the panel's own answer follows
    });
    QByteArray block;
    QVector<float> table;
    QCOMPARE(rig.hw.GetParamBlock(&block, &table), 0);
    QCOMPARE(block.size(), 524);
}

void TestParamBlock::transfers_data()
{
    QTest::addColumn<QString>("quirk");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("transfers");

    // Packets 1 and 2 come back swapped: 2 is skipped (it is not the next),
    // 1 is taken, and 2 never comes again, so the read times out and the
    // whole transfer is asked for again.
    QTest::newRow("out of order once, then in order") << "swap" << 1 << 0 << 2;
    QTest::newRow("always out of order") << "swap" << 100 << int(0x80050001) << 10;
    // A packet status above 1 ends the attempt with a time-out.
    QTest::newRow("status 2 in packet 3 once") << "status" << 1 << 0 << 2;
    QTest::newRow("status 2 in every transfer") << "status" << 100 << int(0x80050001) << 10;
    // A corrupted copy (checksum) or a stale copy (index) before the packet is skipped.
    QTest::newRow("bad checksum before packet 2") << "checksum" << 2 << 0 << 1;
    QTest::newRow("stale packet before packet 9") << "stale" << 9 << 0 << 1;
    // A frame that announces fewer packets than the stream needs.
    QTest::newRow("stream ends before the table") << "short" << 10 << int(0x80050001) << 10;
    // Length in the other byte order: no packet passes its checksum.
    QTest::newRow("big-endian length") << "bigendian" << 0 << int(0x80050001) << 10;
    // More packets than a transfer may have.
    QTest::newRow("65536 packets announced") << "short" << 65536 << int(0x80050003) << 1;
    QTest::newRow("65535 packets announced") << "short" << 65535 << 0 << 1;
    // Totals a frame cannot have: refused before the table is sized.
    QTest::newRow("X total 5000") << "total" << 5000 << int(0x80050003) << 1;
    QTest::newRow("X total -3") << "total" << -3 << int(0x80050003) << 1;
    // A frame that does not answer at all, and one that leaves.
    QTest::newRow("silence") << "silent" << 0 << int(0x80050001) << 0;
    QTest::newRow("unplugged during the windows") << "unplug" << 0 << int(0x80050002) << 1;
}

void TestParamBlock::transfers()
{
    QFETCH(QString, quirk);
    QFETCH(int, count);
    QFETCH(int, result);
    QFETCH(int, transfers);

    CPanelRig rig;
    rig.panel.Edit([&](CEmulatedPanel::Model &m) {
        if (quirk == QLatin1String("swap"))
            m.nSwapFirstWindow = count;
        else if (quirk == QLatin1String("status")) {
            m.nStatusPacket = 3;
            m.nStatusTimes = count;
        } else if (quirk == QLatin1String("checksum"))
            m.nBadChecksumPacket = count;
        else if (quirk == QLatin1String("stale"))
            m.nStalePacket = count;
        else if (quirk == QLatin1String("short"))
            m.nAnnouncedPackets = count;
        else if (quirk == QLatin1String("bigendian"))
            m.bLittleEndianLength = false;
        else if (quirk == QLatin1String("total"))
            m.nX = count;
    });
    if (quirk == QLatin1String("silent"))
        rig.frame.SetFault(0xAC, 0x01, CEmulatedFrame::Silent());
    if (quirk == QLatin1String("unplug")) {
        rig.frame.SetFault(0xAC, 0x01, [] {
            CEmulatedFrame::Fault f = CEmulatedFrame::UnplugOnCommand();
            f.nSkip = 5; // the first request and four packet requests go through
            return f;
        }());
    }
    QByteArray block;
    QVector<float> table;
    const int32_t r = rig.hw.GetParamBlock(&block, &table);
    QCOMPARE(CodeHex(r), CodeHex(result));
    QCOMPARE(rig.panel.Snapshot().nTransfers, transfers);
    if (result == 0) {
        const QByteArray stream = CEmulatedPanel::ParamStream(rig.panel.Snapshot());
        QCOMPARE(block, stream.left(524));
        QCOMPARE(table, TableOf(stream, 524));
    } else {
        QVERIFY(block.isEmpty());
        QVERIFY(table.isEmpty());
    }
}

void TestParamBlock::noBlockIsAStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("result");
    QTest::newRow("0x83") << 0x83 << 0x1003;
    QTest::newRow("0x82") << 0x82 << 0x1002;
    QTest::newRow("0x81") << 0x81 << 0;
}

void TestParamBlock::noBlockIsAStatus()
{
    QFETCH(int, status);
    QFETCH(int, result);
    CPanelRig rig;
    rig.panel.Edit([&](CEmulatedPanel::Model &m) {
        m.bParamBlock = false;
        m.nNoBlockStatus = quint8(status);
    });
    QByteArray block("x");
    QVector<float> table{1.0f};
    QCOMPARE(rig.hw.GetParamBlock(&block, &table), result);
    QVERIFY(block.isEmpty());
    QVERIFY(table.isEmpty());
    QCOMPARE(rig.Count(0xAC, 0x01), 1);
}

// The frame checks every request before its panel answers it, so that the
// panel tests' "no violation" can fail: a byte 4 that is not 0, and a command
// of the panel's family that the protocol does not have.
void TestParamBlock::panelRequestsAreCheckedFirst()
{
    CPanelRig rig;
    rig.bViolationsExpected = true;
    QByteArray request = CEmulatedFrame::Pad64(QByteArray::fromHex("fcac01060000000100000001"));
    request[4] = char(1);
    QCOMPARE(rig.port.SendData(reinterpret_cast<const uint8_t *>(request.constData()), 64, 30, 0), 64);
    uint8_t reply[64] = {};
    QCOMPARE(rig.port.RecvData(reply, 64, 1000, 0), 64); // the panel still answers
    QCOMPARE(reply[1], uint8_t(0xAC));
    const QByteArray unknown = CEmulatedFrame::Pad64(QByteArray::fromHex("fca509"));
    QCOMPARE(rig.port.SendData(reinterpret_cast<const uint8_t *>(unknown.constData()), 64, 30, 0), 64);
    QCOMPARE(rig.frame.Violations(), (QStringList{"byte 4 of ac 01 is not 0", "unknown command a5 09"}));
}

void TestParamBlock::assemblerCutsAnyChunking_data()
{
    QTest::addColumn<int>("chunk");
    QTest::addColumn<bool>("extension");
    QTest::newRow("1 byte") << 1 << false;
    QTest::newRow("55 bytes") << 55 << false;
    QTest::newRow("52 bytes, extension") << 52 << true;
    QTest::newRow("the whole stream at once, extension") << 100000 << true;
}

void TestParamBlock::assemblerCutsAnyChunking()
{
    QFETCH(int, chunk);
    QFETCH(bool, extension);
    CEmulatedPanel::Model m;
    m.bExtension = extension;
    const QByteArray stream = CEmulatedPanel::ParamStream(m) + QByteArray(100, char(0x77)); // padding after the table
    CParamBlockAssembler a;
    int nAt = 0;
    CParamBlockAssembler::EState state = CParamBlockAssembler::Collecting;
    while (state == CParamBlockAssembler::Collecting && nAt < stream.size()) {
        const int n = qMin(chunk, stream.size() - nAt);
        state = a.AddData(reinterpret_cast<const quint8 *>(stream.constData()) + nAt, n);
        nAt += n;
    }
    const int nHeader = extension ? 568 : 524;
    QCOMPARE(state, CParamBlockAssembler::Complete);
    QCOMPARE(a.ExpectedSize(), nHeader + (m.nX + m.nY) * 16);
    QCOMPARE(a.Block(), stream.left(nHeader));
    QCOMPARE(a.Table(), TableOf(stream.left(a.ExpectedSize()), nHeader));
}

STATION_TEST_MAIN_CORE(TestParamBlock)
#include "tst_paramblock.moc"
