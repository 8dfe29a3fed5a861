#pragma once

#include <cstdint>

// Frames of the serial line. A touch frame exchanges the same 64-byte reports
// over a serial line as over USB, each wrapped in a frame that marks its start,
// length and checksum:
//
//   1F F7 <body: L + 5 bytes, body[3] = L> <sum>   sum = 1F + F7 + body, mod 256
//   2F E9 <n> <body: n bytes>               <sum>   sum = body, mod 256
//   1D D8 <body: L bytes, body[1..2] = L + 1, little-endian> <sum>
//                                                   sum = 1D + D8 + body, mod 256
//   79, 7F                                          one byte, a frame by itself
//
// 1D D8 frames are only received. The parser takes the bytes as they come off
// the line (a frame may be split over any number of reads, a read may hold
// several frames and garbage in between); a frame whose length does not fit the
// body buffer or whose checksum is wrong is dropped with a message on standard
// output, and the parser picks up again at the next byte that starts a frame.

constexpr uint16_t PACKET_HEAD_1DD8 = 0x1DD8;
constexpr uint16_t PACKET_HEAD_1FF7 = 0x1FF7;
constexpr uint16_t PACKET_HEAD_2FE9 = 0x2FE9;
constexpr uint16_t PACKET_HEAD_79 = 0x79;
constexpr uint16_t PACKET_HEAD_7F = 0x7F;

constexpr int32_t PACKET_STATE_IDLE = 0;   // waiting for a first head byte
constexpr int32_t PACKET_STATE_HEAD = 1;   // first head byte seen, second expected
constexpr int32_t PACKET_STATE_LENGTH = 2; // 2F E9 only: length byte expected
constexpr int32_t PACKET_STATE_BODY = 3;   // body and checksum bytes expected
constexpr int32_t PACKET_STATE_DONE = 4;   // a whole frame lies in the body buffer
constexpr int32_t PACKET_STATE_ERROR = 5;  // the frame was refused

// Size of the body buffer: the longest body a frame may carry.
constexpr int PACKET_BODY_SIZE = 64;
// Longest body a 1D D8 length word may announce on the wire.
constexpr int PACKET_1DD8_MAX_LENGTH = 128;

// State of one parser. Zero-initialise it (state idle) before the first call.
// When the state is PACKET_STATE_DONE, body[0 .. expectedLength - 1] is the
// frame's body and head its head value.
struct PacketContext
{
    uint8_t body[PACKET_BODY_SIZE];
    int32_t expectedLength; // body bytes before the checksum byte
    int32_t count;          // body bytes stored so far
    uint16_t head;          // head value of the current frame
    int32_t state;          // PACKET_STATE_*
};

// Sum of len bytes as unsigned values (0 for len 0 or no data). Checksums use
// its low 8 bits.
uint32_t CalcByteSum(const uint8_t *data, uint32_t len);

// Feeds bytes into the parser and stops right after a byte that completes a
// frame. Returns the number of bytes taken: all of len when no frame completed,
// 0 when len < 1. When ctx->state is PACKET_STATE_DONE afterwards, the frame is
// in the context; call again with the remaining bytes.
int PacketParse(PacketContext *ctx, const uint8_t *data, int len);

// Drops a frame that was begun but never finished (the line fell silent in the
// middle of it) with a message, and returns the parser to idle. Returns whether
// a partial frame was dropped.
bool PacketReset(PacketContext *ctx);

// Writes one frame of head (0x2FE9, 0x1FF7, 0x79 or 0x7F) for n source bytes
// into frame and returns its length; 0 when nothing can be sent (unknown head,
// a 1F F7 report whose byte 3 announces more than src or frame hold).
//   0x79/0x7F: the first min(n, capacity) source bytes, unchanged.
//   0x1FF7:    src is a command report: bytes 0 to src[3] + 4 are framed.
//   0x2FE9:    min(n, capacity - 4, 255) bytes are framed.
int PacketBuild(uint8_t *frame, int capacity, const uint8_t *src, int n, uint32_t head);

// Where the parser's error messages go. The default writes them to standard
// output; a program or test may take them instead (nullptr restores the default).
using PacketErrorSink = void (*)(const char *text);
void PacketSetErrorSink(PacketErrorSink sink);
