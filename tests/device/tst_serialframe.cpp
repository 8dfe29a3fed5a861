// The frames of the serial line: checksum, builder, parser (byte streams split
// anywhere, merged frames, garbage, hostile lengths) and the error messages.

#include "serialframe.h"
#include "testenvironment.h"

#include <QRandomGenerator>
#include <QTemporaryFile>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

namespace {

QStringList g_messages;

void CaptureMessage(const char *text)
{
    g_messages << QString::fromLatin1(text);
}

QByteArray Hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// A 1D D8 frame as a frame sends it (the builder never writes one).
QByteArray Frame1DD8(QByteArray body)
{
    const int word = body.size() + 1;
    body[1] = char(word & 0xFF);
    body[2] = char(word >> 8);
    QByteArray frame = Hex("1D D8") + body;
    frame.append(char(CalcByteSum(reinterpret_cast<const uint8_t *>(frame.constData()),
                                  uint32_t(frame.size()))));
    return frame;
}

QByteArray Build(uint32_t head, const QByteArray &src, int capacity = 70)
{
    QByteArray frame(capacity, '\0');
    const int n = PacketBuild(reinterpret_cast<uint8_t *>(frame.data()), capacity,
                              reinterpret_cast<const uint8_t *>(src.constData()), src.size(), head);
    return frame.left(n);
}

// A command report of 64 bytes whose byte 3 announces `length` data bytes.
QByteArray Report(int length, char id = char(0xFC))
{
    QByteArray report(64, '\0');
    report[0] = id;
    report[1] = char(0xA3);
    report[3] = char(length);
    for (int i = 4; i < 64; ++i)
        report[i] = char(i * 7);
    return report;
}

// "head:body" in hex, the form the tables use for a parsed frame.
QString Describe(const PacketContext &ctx)
{
    return QString::number(ctx.head, 16).toUpper().rightJustified(2, '0') + ':'
           + QByteArray(reinterpret_cast<const char *>(ctx.body), ctx.expectedLength).toHex().toUpper();
}

struct ParseResult
{
    QStringList frames;
    QStringList messages;
};

// Feeds the stream in pieces that end at the given cut positions, the way a
// serial port delivers it, and collects every completed frame.
ParseResult Feed(const QByteArray &stream, QList<int> cuts)
{
    PacketContext ctx{};
    ParseResult result;
    g_messages.clear();
    cuts << stream.size();
    int from = 0;
    for (int cut : qAsConst(cuts)) {
        const auto *data = reinterpret_cast<const uint8_t *>(stream.constData()) + from;
        int left = cut - from;
        while (left > 0) {
            const int taken = PacketParse(&ctx, data, left);
            if (taken < 1 || taken > left)
                return {{QStringLiteral("bad return %1 of %2").arg(taken).arg(left)}, {}};
            if (ctx.count < 0 || ctx.count > PACKET_BODY_SIZE)
                return {{QStringLiteral("count %1 out of range").arg(ctx.count)}, {}};
            if (ctx.state == PACKET_STATE_DONE)
                result.frames << Describe(ctx);
            data += taken;
            left -= taken;
        }
        from = cut;
    }
    result.messages = g_messages;
    return result;
}

} // namespace

class TestSerialFrame : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        PacketSetErrorSink(CaptureMessage);
        g_messages.clear();
    }
    void cleanup() { PacketSetErrorSink(nullptr); }

    void checksum_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<uint>("sum");
        QTest::newRow("empty") << QByteArray() << 0u;
        QTest::newRow("keep-alive") << Hex("FE 08 00") << 0x106u;
        QTest::newRow("64 x FF does not wrap") << QByteArray(64, char(0xFF)) << 64u * 255u;
    }
    void checksum()
    {
        QFETCH(QByteArray, data);
        QFETCH(uint, sum);
        QCOMPARE(CalcByteSum(reinterpret_cast<const uint8_t *>(data.constData()), uint32_t(data.size())),
                 uint32_t(sum));
        QCOMPARE(CalcByteSum(nullptr, 5), 0u);
    }

    void build_data()
    {
        QTest::addColumn<uint>("head");
        QTest::addColumn<QByteArray>("src");
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QByteArray>("frame");

        QTest::newRow("keep-alive") << 0x2FE9u << Hex("FE 08 00") << 70 << Hex("2F E9 03 FE 08 00 06");
        QTest::newRow("2FE9 empty body") << 0x2FE9u << QByteArray() << 70 << Hex("2F E9 00 00");
        QTest::newRow("2FE9 cut to capacity") << 0x2FE9u << Hex("01 02 03 04 05") << 7 << Hex("2F E9 03 01 02 03 06");
        QTest::newRow("2FE9 no room for head") << 0x2FE9u << Hex("01") << 3 << QByteArray();
        QTest::newRow("1FF7 report") << 0x1FF7u << Hex("FC 01 80 02 AA BB 00 77 77") << 70
                                     << Hex("1F F7 FC 01 80 02 AA BB 00 FA");
        QTest::newRow("1FF7 report shorter than announced") << 0x1FF7u << Report(10).left(14) << 70 << QByteArray();
        QTest::newRow("1FF7 announces more than a report") << 0x1FF7u << Report(60) << 70 << QByteArray();
        QTest::newRow("1FF7 frame does not fit") << 0x1FF7u << Report(10) << 17 << QByteArray();
        QTest::newRow("1FF7 fits exactly") << 0x1FF7u << Report(10).left(15) << 18
                                           << Build(0x1FF7u, Report(10), 70);
        QTest::newRow("1FF7 no length byte") << 0x1FF7u << Hex("FC 01 80") << 70 << QByteArray();
        QTest::newRow("79 alone") << 0x79u << Hex("79 AA") << 1 << Hex("79");
        QTest::newRow("7F copied") << 0x7Fu << Hex("7F") << 70 << Hex("7F");
        QTest::newRow("1DD8 is never sent") << 0x1DD8u << Hex("FC 04 00 01") << 70 << QByteArray();
        QTest::newRow("unknown head") << 0x1234u << Hex("FC 04 00 01") << 70 << QByteArray();
    }
    void build()
    {
        QFETCH(uint, head);
        QFETCH(QByteArray, src);
        QFETCH(int, capacity);
        QFETCH(QByteArray, frame);
        // The frame buffer is guarded on both sides so that a write past it shows.
        QByteArray buffer(capacity + 16, char(0xEE));
        const int n = PacketBuild(reinterpret_cast<uint8_t *>(buffer.data()) + 8, capacity,
                                  reinterpret_cast<const uint8_t *>(src.constData()), src.size(), head);
        QCOMPARE(buffer.mid(8, qMax(n, 0)).toHex(' '), frame.toHex(' '));
        QCOMPARE(n, frame.size());
        QCOMPARE(buffer.left(8), QByteArray(8, char(0xEE)));
        QCOMPARE(buffer.right(8), QByteArray(8, char(0xEE)));
    }

    void buildLongBodyKeepsLengthByteTrue()
    {
        const QByteArray frame = Build(0x2FE9u, QByteArray(300, char(1)), 400);
        QCOMPARE(frame.size(), 255 + 4);
        QCOMPARE(quint8(frame[2]), quint8(255));
        QCOMPARE(quint8(frame.back()), quint8(255));
        QCOMPARE(PacketBuild(nullptr, 70, nullptr, 0, 0x2FE9u), 0);
        uint8_t out[8];
        QCOMPARE(PacketBuild(out, 8, nullptr, 3, 0x2FE9u), 0);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("parsed");

        for (int length : {0, 10, 59}) {
            const QByteArray report = Report(length);
            QTest::addRow("1FF7 L=%d", length)
                << Build(0x1FF7u, report) << "1FF7:" + QString::fromLatin1(report.left(length + 5).toHex().toUpper());
        }
        for (int n : {0, 1, 3, 64}) {
            const QByteArray body = Report(0).left(n);
            QTest::addRow("2FE9 n=%d", n) << Build(0x2FE9u, body) << "2FE9:" + QString::fromLatin1(body.toHex().toUpper());
        }
        for (int n : {3, 20, 64}) {
            const QByteArray frame = Frame1DD8(Report(0).left(n));
            QTest::addRow("1DD8 L=%d", n) << frame << "1DD8:" + QString::fromLatin1(frame.mid(2, n).toHex().toUpper());
        }
        QTest::newRow("79") << Hex("79") << QStringLiteral("79:79");
        QTest::newRow("7F") << Hex("7F") << QStringLiteral("7F:7F");
    }
    void roundTrip()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QString, parsed);
        PacketContext ctx{};
        QCOMPARE(PacketParse(&ctx, reinterpret_cast<const uint8_t *>(frame.constData()), frame.size()),
                 frame.size());
        QCOMPARE(ctx.state, PACKET_STATE_DONE);
        QCOMPARE(Describe(ctx), parsed);
        QVERIFY(g_messages.isEmpty());
    }

    // Each stream gives the same frames and messages however it is cut up.
    void stream_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<QStringList>("messages");

        const QByteArray keepAlive = Hex("2F E9 03 FE 08 00 06");
        const QByteArray reply = Build(0x1FF7u, Hex("FC A3 80 02 11 22 00"));
        const QString keepAliveFrame = "2FE9:FE0800";
        const QString replyFrame = "1FF7:FCA38002112200";

        QTest::newRow("several frames in one read")
            << keepAlive + reply + Hex("79") + keepAlive
            << QStringList{keepAliveFrame, replyFrame, "79:79", keepAliveFrame} << QStringList();
        QTest::newRow("garbage before, between and after")
            << Hex("00 11 F7 E9 D8") + reply + Hex("AB CD") + keepAlive + Hex("55")
            << QStringList{replyFrame, keepAliveFrame} << QStringList();
        QTest::newRow("empty 2FE9 frame") << Hex("2F E9 00 00") << QStringList{"2FE9:"} << QStringList();
        QTest::newRow("1F then a wrong second byte is not a head")
            << Hex("1F 79 79") << QStringList{"79:79"} << QStringList();
        QTest::newRow("head bytes inside a body are data")
            << Build(0x2FE9u, Hex("1F F7 2F E9 79")) << QStringList{"2FE9:1FF72FE979"} << QStringList();

        QTest::newRow("2FE9 bad checksum, next frame taken")
            << Hex("2F E9 03 FE 08 00 07") + keepAlive << QStringList{keepAliveFrame}
            << QStringList{"PACKET_HEAD_2FE9 CRC Error: 0x07 != 0x06\r\n"};
        QTest::newRow("1FF7 bad checksum")
            << Hex("1F F7 FC 01 80 02 AA BB 00 FB") + reply << QStringList{replyFrame}
            << QStringList{"PACKET_HEAD_1FF7 CRC Error: 0xFB != 0xFA\r\n"};
        QByteArray bad1DD8 = Frame1DD8(Hex("FC 00 00 01 02"));
        bad1DD8[bad1DD8.size() - 1] = char(bad1DD8.back() + 1);
        QTest::newRow("1DD8 bad checksum")
            << bad1DD8 + keepAlive << QStringList{keepAliveFrame}
            << QStringList{QString::asprintf("PACKET_HEAD_1DD8 CRC Error: 0x%02X != 0x%02X\r\n",
                                             quint8(bad1DD8.back()), quint8(bad1DD8.back() - 1))};
        QTest::newRow("truncated frame eats the start of the next")
            << Hex("2F E9 05 01 02") + keepAlive + keepAlive << QStringList{keepAliveFrame}
            << QStringList{"PACKET_HEAD_2FE9 CRC Error: 0xFE != 0x1E\r\n"};

        QTest::newRow("1FF7 length beyond the buffer")
            << Hex("1F F7 FC 01 80 3C") + reply << QStringList{replyFrame}
            << QStringList{"PACKET_HEAD_1FF7 Packet Length Error: 65 > 64\r\n"};
        QTest::newRow("1FF7 largest length")
            << Hex("1F F7 FC 01 80 FF") + reply << QStringList{replyFrame}
            << QStringList{"PACKET_HEAD_1FF7 Packet Length Error: 260 > 64\r\n"};
        QTest::newRow("2FE9 length beyond the buffer")
            << Hex("2F E9 41") + keepAlive << QStringList{keepAliveFrame}
            << QStringList{"PACKET_HEAD_2FE9 Packet Length Error: 65 > 64\r\n"};
        QTest::newRow("2FE9 largest length")
            << Hex("2F E9 FF") + keepAlive << QStringList{keepAliveFrame}
            << QStringList{"PACKET_HEAD_2FE9 Packet Length Error: 255 > 64\r\n"};
        QTest::newRow("1DD8 length word 0")
            << Hex("1D D8 FC 00 00") + keepAlive << QStringList{keepAliveFrame}
            << QStringList{"PACKET_HEAD_1DD8 Packet Length Error: -1 < 3\r\n"};
        QTest::newRow("1DD8 length word 2")
            << Hex("1D D8 FC 02 00") + keepAlive << QStringList{keepAliveFrame}
            << QStringList{"PACKET_HEAD_1DD8 Packet Length Error: 1 < 3\r\n"};
        QTest::newRow("1DD8 length 65 beyond the buffer")
            << Hex("1D D8 FC 42 00") + keepAlive << QStringList{keepAliveFrame}
            << QStringList{"PACKET_HEAD_1DD8 Packet Length Error: 65 > 64\r\n"};
        QTest::newRow("1DD8 length 129 beyond the protocol")
            << Hex("1D D8 FC 82 00") + keepAlive << QStringList{keepAliveFrame}
            << QStringList{"PACKET_HEAD_1DD8 Packet Length Error: 129 > 128\r\n"};
        QTest::newRow("1DD8 largest length word")
            << Hex("1D D8 FC FF FF") + keepAlive << QStringList{keepAliveFrame}
            << QStringList{"PACKET_HEAD_1DD8 Packet Length Error: 65534 > 128\r\n"};
    }
    void stream()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QStringList, frames);
        QFETCH(QStringList, messages);

        const ParseResult whole = Feed(stream, {});
        QCOMPARE(whole.frames, frames);
        QCOMPARE(whole.messages, messages);

        QList<int> everyByte;
        for (int i = 1; i < stream.size(); ++i)
            everyByte << i;
        const ParseResult byByte = Feed(stream, everyByte);
        QCOMPARE(byByte.frames, frames);
        QCOMPARE(byByte.messages, messages);

        for (int cut = 1; cut < stream.size(); ++cut) {
            const ParseResult split = Feed(stream, {cut});
            QVERIFY2(split.frames == frames && split.messages == messages,
                     qPrintable(QStringLiteral("cut at %1").arg(cut)));
        }
    }

    void parseReturnsAfterTheCompletingByte()
    {
        PacketContext ctx{};
        const QByteArray data = Hex("79 2F E9 00 00 11");
        const auto *p = reinterpret_cast<const uint8_t *>(data.constData());
        QCOMPARE(PacketParse(&ctx, p, data.size()), 1);
        QCOMPARE(ctx.state, PACKET_STATE_DONE);
        QCOMPARE(PacketParse(&ctx, p + 1, data.size() - 1), 4);
        QCOMPARE(ctx.state, PACKET_STATE_DONE);
        QCOMPARE(ctx.expectedLength, 0);
        QCOMPARE(PacketParse(&ctx, p + 5, 1), 1);
        QCOMPARE(ctx.state, PACKET_STATE_ERROR);

        // A frame split over two calls: the first takes all it is given.
        const QByteArray frame = Hex("2F E9 03 FE 08 00 06");
        const auto *f = reinterpret_cast<const uint8_t *>(frame.constData());
        QCOMPARE(PacketParse(&ctx, f, 4), 4);
        QCOMPARE(ctx.state, PACKET_STATE_BODY);
        QCOMPARE(PacketParse(&ctx, f + 4, 3), 3);
        QCOMPARE(ctx.state, PACKET_STATE_DONE);

        QCOMPARE(PacketParse(&ctx, f, 0), 0);
        QCOMPARE(PacketParse(&ctx, f, -3), 0);
        QCOMPARE(PacketParse(&ctx, nullptr, 3), 0);
        QCOMPARE(PacketParse(nullptr, f, 3), 0);
    }

    // A context left in any state, even a damaged one, never makes the parser
    // write or read outside its buffer.
    void damagedContext_data()
    {
        QTest::addColumn<int>("head");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("expected");
        for (int head : {0x1FF7, 0x1DD8, 0x2FE9}) {
            QTest::addRow("%04X count past the buffer", head) << head << 3 << 1000 << 2000;
            QTest::addRow("%04X negative count", head) << head << 3 << -5 << 10;
            QTest::addRow("%04X expected past the buffer", head) << head << 3 << 10 << 5000;
            QTest::addRow("%04X negative expected", head) << head << 3 << 10 << -7;
        }
        QTest::newRow("unknown state") << 0x2FE9 << 77 << 0 << 0;
    }
    void damagedContext()
    {
        QFETCH(int, head);
        QFETCH(int, state);
        QFETCH(int, count);
        QFETCH(int, expected);
        PacketContext ctx{};
        ctx.head = uint16_t(head);
        ctx.state = state;
        ctx.count = count;
        ctx.expectedLength = expected;
        const QByteArray data(300, char(0x11));
        const int taken = PacketParse(&ctx, reinterpret_cast<const uint8_t *>(data.constData()), data.size());
        QVERIFY(taken >= 1 && taken <= data.size());
        QVERIFY(ctx.state != PACKET_STATE_DONE);
    }

    void resetDropsAPartialFrame()
    {
        PacketContext ctx{};
        const QByteArray part = Hex("2F E9 05 01 02");
        PacketParse(&ctx, reinterpret_cast<const uint8_t *>(part.constData()), part.size());
        QVERIFY(PacketReset(&ctx));
        QCOMPARE(ctx.state, PACKET_STATE_IDLE);
        QCOMPARE(g_messages, QStringList{"PACKET_HEAD_2FE9 Packet Truncated: 2 body bytes\r\n"});

        const QByteArray keepAlive = Hex("2F E9 03 FE 08 00 06");
        QCOMPARE(PacketParse(&ctx, reinterpret_cast<const uint8_t *>(keepAlive.constData()), keepAlive.size()),
                 keepAlive.size());
        QCOMPARE(Describe(ctx), QStringLiteral("2FE9:FE0800"));
        QVERIFY(!PacketReset(&ctx)); // a finished frame is not a partial one
        QCOMPARE(g_messages.size(), 1);
        QVERIFY(!PacketReset(nullptr));
    }

    // Random bytes with valid frames mixed in: every valid frame that is not
    // overlapped by a frame head in the garbage before it is found.
    void randomStreams()
    {
        QRandomGenerator rng(20261210);
        for (int round = 0; round < 200; ++round) {
            QByteArray stream;
            QStringList expected;
            for (int i = 0; i < 8; ++i) {
                QByteArray garbage(int(rng.bounded(12)), '\0');
                for (char &c : garbage) {
                    do {
                        c = char(rng.bounded(256));
                    } while (c == 0x1D || c == 0x1F || c == 0x2F || c == 0x79 || c == 0x7F);
                }
                QByteArray body(int(rng.bounded(65)), '\0');
                for (char &c : body)
                    c = char(rng.bounded(256));
                stream += garbage + Build(0x2FE9u, body);
                expected << "2FE9:" + QString::fromLatin1(body.toHex().toUpper());
            }
            QList<int> cuts;
            for (int at = int(rng.bounded(20)) + 1; at < stream.size(); at += int(rng.bounded(20)) + 1)
                cuts << at;
            const ParseResult result = Feed(stream, cuts);
            QCOMPARE(result.frames, expected);
            QVERIFY(result.messages.isEmpty());
        }
    }

    // Without a sink of its own the parser writes its messages to standard output.
    void messagesGoToStandardOutput()
    {
        PacketSetErrorSink(nullptr);
        QTemporaryFile capture;
        QVERIFY(capture.open());
        std::fflush(stdout);
        const int saved = ::dup(STDOUT_FILENO);
        QVERIFY(saved >= 0);
        QVERIFY(::dup2(capture.handle(), STDOUT_FILENO) >= 0);
        PacketContext ctx{};
        const QByteArray bad = Hex("2F E9 03 FE 08 00 07");
        PacketParse(&ctx, reinterpret_cast<const uint8_t *>(bad.constData()), bad.size());
        std::fflush(stdout);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        capture.seek(0);
        QCOMPARE(capture.readAll(), QByteArray("PACKET_HEAD_2FE9 CRC Error: 0x07 != 0x06\r\n"));
    }
};

STATION_TEST_MAIN_CORE(TestSerialFrame)
#include "tst_serialframe.moc"
