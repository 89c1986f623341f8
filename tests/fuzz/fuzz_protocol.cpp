// Any bytes on the line: the frame reader never reads or writes out of
// bounds, every frame it hands out has a valid checksum and length, and the
// simulated pulley answers whatever it is sent without misbehaving.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pulley_protocol.h"
#include "sim_pulley.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FrameReader reader{};
    SimPulley pulley;
    uint32_t random = 7;
    for (size_t i = 0; i < size; i++) {
        Frame frame;
        if (!FeedFrameReader(reader, data[i], frame))
            continue;
        if (frame.length > MaxPayload)
            std::abort();
        uint8_t encoded[MaxFrameSize];
        int encodedSize = EncodeFrame(frame, encoded);
        if (encodedSize != FrameOverhead + frame.length)
            std::abort();
        Frame reply;
        std::string event;
        if (AnswerRequest(pulley, frame, reply, event)) {
            uint8_t wire[512];
            if (PrepareReplyBytes(pulley, reply, wire, sizeof wire, random) > static_cast<int>(sizeof wire))
                std::abort();
        }
    }
    if (reader.used < 0 || reader.used > MaxFrameSize)
        std::abort();
    return 0;
}
