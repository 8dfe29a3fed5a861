// Feeds arbitrary bytes to the serial frame parser, cut into pieces chosen by
// the input, and checks what must hold whatever arrives on the line:
//  - every call takes between 1 and all of the bytes it is given and the
//    context stays within its buffer;
//  - a completed frame carries a body that fits the buffer and a valid checksum;
//  - the frames found do not depend on how the stream is cut up.
// It also drives the builder with input-chosen capacities behind guard bytes.

#include "serialframe.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Quiet(const char *) {}

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

struct Frame
{
    uint16_t head;
    std::vector<uint8_t> body;
    bool operator==(const Frame &other) const { return head == other.head && body == other.body; }
};

void CheckFrame(const PacketContext &ctx)
{
    Check(ctx.expectedLength >= 0 && ctx.expectedLength <= PACKET_BODY_SIZE);
    switch (ctx.head) {
    case PACKET_HEAD_1FF7:
        Check(ctx.expectedLength == ctx.body[3] + 5);
        break;
    case PACKET_HEAD_1DD8:
        Check(ctx.expectedLength == ctx.body[2] * 256 + ctx.body[1] - 1);
        Check(ctx.expectedLength >= 3);
        break;
    case PACKET_HEAD_2FE9:
        break;
    case PACKET_HEAD_79:
    case PACKET_HEAD_7F:
        Check(ctx.expectedLength == 1 && ctx.body[0] == ctx.head);
        break;
    default:
        Check(false);
    }
}

// Parses the stream in pieces of the given sizes (cycled); no sizes: in one piece.
std::vector<Frame> Parse(const uint8_t *data, size_t size, const uint8_t *cuts, size_t nCuts)
{
    std::vector<Frame> frames;
    PacketContext ctx{};
    size_t pos = 0;
    size_t cut = 0;
    while (pos < size) {
        size_t piece = size - pos;
        if (nCuts > 0) {
            piece = 1 + cuts[cut++ % nCuts] % 32;
            if (piece > size - pos)
                piece = size - pos;
        }
        const uint8_t *p = data + pos;
        int left = int(piece);
        while (left > 0) {
            const int taken = PacketParse(&ctx, p, left);
            Check(taken >= 1 && taken <= left);
            Check(ctx.count >= 0 && ctx.count <= PACKET_BODY_SIZE);
            if (ctx.state == PACKET_STATE_DONE) {
                CheckFrame(ctx);
                frames.push_back({ctx.head, std::vector<uint8_t>(ctx.body, ctx.body + ctx.expectedLength)});
                // What was received can be sent back out in its own kind.
                if (ctx.head == PACKET_HEAD_2FE9) {
                    uint8_t out[PACKET_BODY_SIZE + 4];
                    const int n = PacketBuild(out, sizeof(out), ctx.body, ctx.expectedLength, PACKET_HEAD_2FE9);
                    Check(n == ctx.expectedLength + 4);
                    PacketContext again{};
                    Check(PacketParse(&again, out, n) == n && again.state == PACKET_STATE_DONE);
                    Check(std::memcmp(again.body, ctx.body, size_t(ctx.expectedLength)) == 0);
                }
            }
            p += taken;
            left -= taken;
        }
        pos += piece;
    }
    return frames;
}

void FuzzBuild(const uint8_t *data, size_t size)
{
    if (size < 3)
        return;
    static const uint32_t heads[] = {PACKET_HEAD_1FF7, PACKET_HEAD_2FE9, PACKET_HEAD_79,
                                     PACKET_HEAD_7F, PACKET_HEAD_1DD8, 0x1234};
    const uint32_t head = heads[data[0] % 6];
    const int capacity = data[1] * 2 - 8; // also negative and small ones
    const uint8_t *src = data + 2;
    const int n = int(size - 2);
    const int room = capacity > 0 ? capacity : 0;
    std::vector<uint8_t> buffer(size_t(room) + 32, 0xEE);
    const int written = PacketBuild(buffer.data() + 16, capacity, src, n, head);
    Check(written >= 0 && written <= room);
    for (int i = 0; i < 16; ++i)
        Check(buffer[size_t(i)] == 0xEE && buffer[size_t(room + 16 + i)] == 0xEE);
    if (written > 0 && (head == PACKET_HEAD_1FF7 || head == PACKET_HEAD_2FE9)) {
        // A built frame whose body fits the parser's buffer comes back unchanged.
        const int bodyOffset = head == PACKET_HEAD_2FE9 ? 3 : 2;
        const int bodyLength = written - bodyOffset - 1;
        if (bodyLength <= PACKET_BODY_SIZE) {
            PacketContext ctx{};
            Check(PacketParse(&ctx, buffer.data() + 16, written) == written);
            Check(ctx.state == PACKET_STATE_DONE && ctx.head == head && ctx.expectedLength == bodyLength);
            Check(std::memcmp(ctx.body, buffer.data() + 16 + bodyOffset, size_t(bodyLength)) == 0);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    PacketSetErrorSink(Quiet);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte says how many of the following bytes choose the cuts.
    const size_t nCuts = data[0] % 8 < size - 1 ? data[0] % 8 : size - 1;
    const uint8_t *cuts = data + 1;
    const uint8_t *stream = data + 1 + nCuts;
    const size_t length = size - 1 - nCuts;

    const std::vector<Frame> whole = Parse(stream, length, nullptr, 0);
    const std::vector<Frame> pieces = Parse(stream, length, cuts, nCuts);
    static const uint8_t one = 0;
    const std::vector<Frame> bytes = Parse(stream, length, &one, 1);
    Check(whole == pieces);
    Check(whole == bytes);

    FuzzBuild(data, size);
    return 0;
}
