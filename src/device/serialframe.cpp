#include "serialframe.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

void PrintToStdout(const char *text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

std::atomic<PacketErrorSink> g_errorSink{nullptr};

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void Report(const char *format, ...)
{
    char text[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    const PacketErrorSink sink = g_errorSink.load();
    (sink ? sink : PrintToStdout)(text);
}

// Low byte of the sum of the first n body bytes plus the given head bytes.
// n is always within the body buffer here.
uint8_t BodyChecksum(const PacketContext *ctx, int32_t n, uint32_t headSum)
{
    return static_cast<uint8_t>((CalcByteSum(ctx->body, static_cast<uint32_t>(n)) + headSum) & 0xFF);
}

bool BodyLengthFits(int32_t n)
{
    return n >= 0 && n <= PACKET_BODY_SIZE;
}

void PacketHeadByte(PacketContext *ctx, uint8_t b)
{
    ctx->count = 0;
    switch (b) {
    case 0x1D:
        ctx->head = PACKET_HEAD_1DD8;
        ctx->state = PACKET_STATE_HEAD;
        break;
    case 0x1F:
        ctx->head = PACKET_HEAD_1FF7;
        ctx->state = PACKET_STATE_HEAD;
        break;
    case 0x2F:
        ctx->head = PACKET_HEAD_2FE9;
        ctx->state = PACKET_STATE_HEAD;
        break;
    case 0x79:
    case 0x7F:
        ctx->body[0] = b;
        ctx->count = 1;
        ctx->head = b;
        ctx->expectedLength = 1;
        ctx->state = PACKET_STATE_DONE;
        break;
    default:
        ctx->state = PACKET_STATE_ERROR;
        break;
    }
}

// Stores one body byte; refuses the frame instead of writing past the buffer.
void StoreBodyByte(PacketContext *ctx, uint8_t b, const char *name)
{
    if (ctx->count < 0 || ctx->count >= PACKET_BODY_SIZE) {
        Report("%s Packet Length Error: %d > %d\r\n", name, ctx->count + 1, PACKET_BODY_SIZE);
        ctx->state = PACKET_STATE_ERROR;
        return;
    }
    ctx->body[ctx->count++] = b;
}

void Body1FF7(PacketContext *ctx, uint8_t b)
{
    if (ctx->count > 3 && ctx->count >= ctx->expectedLength) {
        if (!BodyLengthFits(ctx->expectedLength)) {
            ctx->state = PACKET_STATE_ERROR;
            return;
        }
        const uint8_t sum = BodyChecksum(ctx, ctx->expectedLength, 0x1F + 0xF7);
        if (b == sum) {
            ctx->state = PACKET_STATE_DONE;
        } else {
            Report("PACKET_HEAD_1FF7 CRC Error: 0x%02X != 0x%02X\r\n", b, sum);
            ctx->state = PACKET_STATE_ERROR;
        }
        return;
    }
    StoreBodyByte(ctx, b, "PACKET_HEAD_1FF7");
    if (ctx->state == PACKET_STATE_BODY && ctx->count == 4) {
        ctx->expectedLength = ctx->body[3] + 5;
        // A report body longer than the buffer cannot be taken in.
        if (ctx->expectedLength > PACKET_BODY_SIZE) {
            Report("PACKET_HEAD_1FF7 Packet Length Error: %d > %d\r\n", ctx->expectedLength,
                   PACKET_BODY_SIZE);
            ctx->state = PACKET_STATE_ERROR;
        }
    }
}

void Body1DD8(PacketContext *ctx, uint8_t b)
{
    if (ctx->count > 2 && ctx->count >= ctx->expectedLength) {
        if (!BodyLengthFits(ctx->expectedLength)) {
            ctx->state = PACKET_STATE_ERROR;
            return;
        }
        const uint8_t sum = BodyChecksum(ctx, ctx->expectedLength, 0x1D + 0xD8);
        if (b == sum) {
            ctx->state = PACKET_STATE_DONE;
        } else {
            Report("PACKET_HEAD_1DD8 CRC Error: 0x%02X != 0x%02X\r\n", b, sum);
            ctx->state = PACKET_STATE_ERROR;
        }
        return;
    }
    StoreBodyByte(ctx, b, "PACKET_HEAD_1DD8");
    if (ctx->state == PACKET_STATE_BODY && ctx->count == 3) {
        const int32_t length = ctx->body[2] * 256 + ctx->body[1] - 1;
        ctx->expectedLength = length;
        if (length > PACKET_1DD8_MAX_LENGTH) {
            Report("PACKET_HEAD_1DD8 Packet Length Error: %d > %d\r\n", length, PACKET_1DD8_MAX_LENGTH);
            ctx->state = PACKET_STATE_ERROR;
        } else if (length > PACKET_BODY_SIZE) {
            Report("PACKET_HEAD_1DD8 Packet Length Error: %d > %d\r\n", length, PACKET_BODY_SIZE);
            ctx->state = PACKET_STATE_ERROR;
        } else if (length < 3) {
            // The length word lies inside the body, so a body is at least 3 bytes.
            Report("PACKET_HEAD_1DD8 Packet Length Error: %d < %d\r\n", length, 3);
            ctx->state = PACKET_STATE_ERROR;
        }
    }
}

void Body2FE9(PacketContext *ctx, uint8_t b)
{
    if (ctx->count < ctx->expectedLength) {
        StoreBodyByte(ctx, b, "PACKET_HEAD_2FE9");
        return;
    }
    if (!BodyLengthFits(ctx->expectedLength)) {
        ctx->state = PACKET_STATE_ERROR;
        return;
    }
    const uint8_t sum = BodyChecksum(ctx, ctx->expectedLength, 0);
    if (b == sum) {
        ctx->state = PACKET_STATE_DONE;
    } else {
        Report("PACKET_HEAD_2FE9 CRC Error: 0x%02X != 0x%02X\r\n", b, sum);
        ctx->state = PACKET_STATE_ERROR;
    }
}

void PacketBodyByte(PacketContext *ctx, uint8_t b)
{
    switch (ctx->head) {
    case PACKET_HEAD_1FF7:
        Body1FF7(ctx, b);
        break;
    case PACKET_HEAD_1DD8:
        Body1DD8(ctx, b);
        break;
    case PACKET_HEAD_2FE9:
        Body2FE9(ctx, b);
        break;
    default:
        break;
    }
}

void PacketLengthByte(PacketContext *ctx, uint8_t b)
{
    if (b > PACKET_BODY_SIZE) {
        Report("PACKET_HEAD_2FE9 Packet Length Error: %d > %d\r\n", b, PACKET_BODY_SIZE);
        ctx->state = PACKET_STATE_ERROR;
        return;
    }
    ctx->expectedLength = b;
    ctx->state = PACKET_STATE_BODY;
}

} // namespace

uint32_t CalcByteSum(const uint8_t *data, uint32_t len)
{
    if (!data)
        return 0;
    uint32_t sum = 0;
    for (uint32_t i = 0; i < len; ++i)
        sum += data[i];
    return sum;
}

int PacketParse(PacketContext *ctx, const uint8_t *data, int len)
{
    if (!ctx || !data || len < 1)
        return 0;
    for (int i = 0; i < len; ++i) {
        const uint8_t b = data[i];
        switch (ctx->state) {
        case PACKET_STATE_IDLE:
            PacketHeadByte(ctx, b);
            break;
        case PACKET_STATE_HEAD:
            if (b == (ctx->head & 0xFF)) {
                if (ctx->head == PACKET_HEAD_1FF7 || ctx->head == PACKET_HEAD_1DD8)
                    ctx->state = PACKET_STATE_BODY;
                else if (ctx->head == PACKET_HEAD_2FE9)
                    ctx->state = PACKET_STATE_LENGTH;
                else
                    ctx->state = PACKET_STATE_ERROR;
            } else {
                ctx->state = PACKET_STATE_ERROR;
            }
            continue; // never completes a frame
        case PACKET_STATE_LENGTH:
            PacketLengthByte(ctx, b);
            continue;
        case PACKET_STATE_BODY:
            PacketBodyByte(ctx, b);
            break;
        case PACKET_STATE_DONE:
        case PACKET_STATE_ERROR:
            ctx->state = PACKET_STATE_IDLE;
            PacketHeadByte(ctx, b);
            break;
        default:
            continue; // unknown state: the byte is skipped
        }
        if (ctx->state == PACKET_STATE_DONE)
            return i + 1;
    }
    return len;
}

bool PacketReset(PacketContext *ctx)
{
    if (!ctx)
        return false;
    const bool partial = ctx->state == PACKET_STATE_HEAD || ctx->state == PACKET_STATE_LENGTH
                         || ctx->state == PACKET_STATE_BODY;
    if (partial)
        Report("PACKET_HEAD_%04X Packet Truncated: %d body bytes\r\n", ctx->head, ctx->count);
    ctx->state = PACKET_STATE_IDLE;
    ctx->count = 0;
    return partial;
}

int PacketBuild(uint8_t *frame, int capacity, const uint8_t *src, int n, uint32_t head)
{
    if (!frame || capacity <= 0 || n < 0 || (!src && n > 0))
        return 0;
    switch (head) {
    case PACKET_HEAD_79:
    case PACKET_HEAD_7F: {
        const int m = n < capacity ? n : capacity;
        if (m > 0)
            std::memcpy(frame, src, static_cast<size_t>(m));
        return m;
    }
    case PACKET_HEAD_1FF7: {
        if (n < 4)
            return 0;
        const int length = src[3];
        // The report announces length + 5 body bytes; it must hold them and
        // the frame must hold them with head and checksum.
        if (length + 5 > n || length + 8 > capacity)
            return 0;
        frame[0] = 0x1F;
        frame[1] = 0xF7;
        std::memcpy(frame + 2, src, static_cast<size_t>(length + 5));
        frame[length + 7] = static_cast<uint8_t>(CalcByteSum(frame, static_cast<uint32_t>(length + 7)) & 0xFF);
        return length + 8;
    }
    case PACKET_HEAD_2FE9: {
        if (capacity < 4)
            return 0;
        int m = n < capacity - 4 ? n : capacity - 4;
        if (m > 255)
            m = 255; // what the length byte can announce
        frame[0] = 0x2F;
        frame[1] = 0xE9;
        frame[2] = static_cast<uint8_t>(m);
        if (m > 0)
            std::memcpy(frame + 3, src, static_cast<size_t>(m));
        frame[m + 3] = static_cast<uint8_t>(CalcByteSum(src, static_cast<uint32_t>(m)) & 0xFF);
        return m + 4;
    }
    default:
        return 0;
    }
}

void PacketSetErrorSink(PacketErrorSink sink)
{
    g_errorSink.store(sink);
}
