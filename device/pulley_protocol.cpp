#include "pulley_protocol.h"

#include <cstring>

uint16_t FrameChecksum(const uint8_t* bytes, int length)
{
    uint16_t crc = 0xFFFF;
    for (int i = 0; i < length; i++) {
        crc ^= static_cast<uint16_t>(bytes[i] << 8);
        for (int bit = 0; bit < 8; bit++)
            crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

int EncodeFrame(const Frame& frame, uint8_t* out)
{
    int length = frame.length <= MaxPayload ? frame.length : MaxPayload;
    out[0] = FrameStart;
    out[1] = frame.sequence;
    out[2] = frame.command;
    out[3] = static_cast<uint8_t>(length);
    out[4] = static_cast<uint8_t>(~length);
    std::memcpy(out + FrameHeaderSize, frame.payload, static_cast<size_t>(length));
    uint16_t crc = FrameChecksum(out + 1, FrameHeaderSize - 1 + length);
    out[FrameHeaderSize + length] = static_cast<uint8_t>(crc >> 8);
    out[FrameHeaderSize + 1 + length] = static_cast<uint8_t>(crc);
    return FrameOverhead + length;
}

static void DropFirstByte(FrameReader& reader)
{
    reader.used--;
    std::memmove(reader.buffer, reader.buffer + 1, static_cast<size_t>(reader.used));
}

// Drops bytes until the buffer starts with something that may still become a
// frame. True when a whole valid frame stands at the start.
static bool FindFrame(FrameReader& reader)
{
    for (;;) {
        if (reader.used == 0)
            return false;
        if (reader.buffer[0] != FrameStart) {
            DropFirstByte(reader);
            continue;
        }
        if (reader.used < FrameHeaderSize)
            return false;
        int length = reader.buffer[3];
        if (length > MaxPayload || reader.buffer[4] != static_cast<uint8_t>(~length)) {
            DropFirstByte(reader);
            continue;
        }
        if (reader.used < FrameOverhead + length)
            return false;
        uint16_t crc = FrameChecksum(reader.buffer + 1, FrameHeaderSize - 1 + length);
        if (reader.buffer[FrameHeaderSize + length] == static_cast<uint8_t>(crc >> 8) &&
            reader.buffer[FrameHeaderSize + 1 + length] == static_cast<uint8_t>(crc))
            return true;
        DropFirstByte(reader);
    }
}

bool FeedFrameReader(FrameReader& reader, uint8_t byte, Frame& frame)
{
    if (reader.used >= MaxFrameSize)
        reader.used = 0;  // cannot happen after FindFrame; a reader left uninitialised heals
    reader.buffer[reader.used++] = byte;
    if (!FindFrame(reader))
        return false;
    frame.sequence = reader.buffer[1];
    frame.command = reader.buffer[2];
    frame.length = reader.buffer[3];
    std::memcpy(frame.payload, reader.buffer + FrameHeaderSize, frame.length);
    int size = FrameOverhead + frame.length;
    reader.used -= size;
    std::memmove(reader.buffer, reader.buffer + size, static_cast<size_t>(reader.used));
    return true;
}

void PutInt32(uint8_t* out, int32_t value)
{
    uint32_t bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; i++)
        out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

int32_t GetInt32(const uint8_t* in)
{
    uint32_t bits = 0;
    for (int i = 0; i < 4; i++)
        bits |= static_cast<uint32_t>(in[i]) << (8 * i);
    return static_cast<int32_t>(bits);
}

// One sequence number for the whole process, not per link: a reply that
// arrives late, after its request was given up and sent again, then carries
// an old number and is not taken for the new one.
static uint8_t nextSequence;

enum AttemptResult { AttemptAnswered, AttemptTimedOut, AttemptPortGone };

static AttemptResult WaitForReply(const SerialLine& line, void* port, const Frame& request,
                                  int replyLength, Frame& reply)
{
    FrameReader reader{};
    uint32_t start = line.NowMs();
    for (;;) {
        uint8_t bytes[64];
        int received = line.ReadAvailable(port, bytes, sizeof bytes);
        if (received < 0)
            return AttemptPortGone;
        for (int i = 0; i < received; i++) {
            if (FeedFrameReader(reader, bytes[i], reply) && reply.sequence == request.sequence &&
                reply.command == ReplyTo(request.command) &&
                (replyLength == AnyLength || reply.length == replyLength))
                return AttemptAnswered;
        }
        if (line.NowMs() - start >= static_cast<uint32_t>(AttemptTimeoutMs))
            return AttemptTimedOut;
        if (received == 0)
            line.Pause();
    }
}

bool Transact(const SerialLine& line, void* port, uint8_t command, const uint8_t* payload,
              int payloadLength, int replyLength, int attempts, Frame& reply)
{
    if (payloadLength < 0 || payloadLength > MaxPayload)
        return false;
    Frame request{};
    request.command = command;
    request.length = static_cast<uint8_t>(payloadLength);
    if (payloadLength > 0)
        std::memcpy(request.payload, payload, static_cast<size_t>(payloadLength));
    for (int attempt = 0; attempt < attempts; attempt++) {
        request.sequence = nextSequence++;
        uint8_t bytes[MaxFrameSize];
        int size = EncodeFrame(request, bytes);
        line.DiscardInput(port);  // whatever is waiting answers an older request, or is noise
        if (!line.Write(port, bytes, size))
            return false;
        switch (WaitForReply(line, port, request, replyLength, reply)) {
        case AttemptAnswered:
            return true;
        case AttemptPortGone:
            return false;
        case AttemptTimedOut:
            break;
        }
    }
    return false;
}
