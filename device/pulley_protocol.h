// The serial protocol between the display's device library and the pulley:
// framing, the checksum, the commands, and one request/reply transaction
// with its timeouts and retries. Portable; the serial line is reached through
// the small table below. docs/pulley-protocol.md describes it for people.
#pragma once

#include <cstdint>

constexpr uint8_t FrameStart = 0xA5;
constexpr int MaxPayload = 32;
// start, sequence, command, length, length inverted, CRC high, CRC low
constexpr int FrameOverhead = 7;
constexpr int FrameHeaderSize = 5;
constexpr int MaxFrameSize = FrameOverhead + MaxPayload;

enum PulleyCommand : uint8_t {
    CommandIdentify = 'I',
    CommandRead = 'R',
    CommandReset = 'Z',
    CommandPreset = 'P',
    CommandVersion = 'V',
};
// A reply carries the request's command in lower case and its sequence number.
constexpr uint8_t ReplyTo(uint8_t command) { return static_cast<uint8_t>(command | 0x20); }
constexpr uint8_t ReplyError = '!';  // payload: one ProtocolError byte

enum ProtocolError : uint8_t { ErrorUnknownCommand = 1, ErrorBadLength = 2 };

// A counting pulley answers identification with these four bytes.
constexpr char IdentifyReply[] = {'K', 'P', 'U', 'L'};
constexpr int IdentifyReplySize = sizeof IdentifyReply;
constexpr int CountSize = 4;  // a count in a payload: signed 32 bits, little-endian

constexpr int PulleyBaudRate = 19200;
constexpr int AttemptTimeoutMs = 70;
constexpr int TransactionAttempts = 3;
constexpr int AnyLength = -1;

struct Frame {
    uint8_t sequence;
    uint8_t command;
    uint8_t length;
    uint8_t payload[MaxPayload];
};

uint16_t FrameChecksum(const uint8_t* bytes, int length);  // CRC-16/CCITT-FALSE
int EncodeFrame(const Frame& frame, uint8_t* out);         // bytes written, at most MaxFrameSize

// Collects bytes from the line and hands out each valid frame. Noise before a
// frame, a bad length or a bad checksum drops one byte and the search for the
// next start byte goes on from there, so a damaged frame costs only itself.
// The length travels twice (as is and inverted), so a damaged length is seen
// at once instead of swallowing the frames after it while it waits.
struct FrameReader {
    uint8_t buffer[MaxFrameSize];
    int used;
};
bool FeedFrameReader(FrameReader& reader, uint8_t byte, Frame& frame);

void PutInt32(uint8_t* out, int32_t value);  // little-endian
int32_t GetInt32(const uint8_t* in);

// The pulley's serial port as the transaction needs it.
struct SerialLine {
    bool (*Write)(void* port, const uint8_t* bytes, int length);
    // Bytes already received, without waiting: 0 when none, -1 when the port
    // is gone.
    int (*ReadAvailable)(void* port, uint8_t* buffer, int size);
    void (*DiscardInput)(void* port);
    uint32_t (*NowMs)();
    void (*Pause)();  // about a millisecond
};

// Sends the request and waits for its reply: the reply command, the same
// sequence number and exactly replyLength payload bytes (any number for
// AnyLength). Tries up to
// attempts times, AttemptTimeoutMs each, so a silent pulley costs at most
// about 210 ms. False when no such reply came or the port is gone.
bool Transact(const SerialLine& line, void* port, uint8_t command, const uint8_t* payload,
              int payloadLength, int replyLength, int attempts, Frame& reply);
