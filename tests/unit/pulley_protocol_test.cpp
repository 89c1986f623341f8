#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

#include "pulley_protocol.h"
#include "sim_pulley.h"

static std::vector<Frame> FeedAll(FrameReader& reader, const std::vector<uint8_t>& bytes)
{
    std::vector<Frame> frames;
    Frame frame;
    for (uint8_t byte : bytes)
        if (FeedFrameReader(reader, byte, frame))
            frames.push_back(frame);
    return frames;
}

static std::vector<uint8_t> Encode(uint8_t sequence, uint8_t command, std::vector<uint8_t> payload)
{
    Frame frame{};
    frame.sequence = sequence;
    frame.command = command;
    frame.length = static_cast<uint8_t>(payload.size());
    std::copy(payload.begin(), payload.end(), frame.payload);
    uint8_t bytes[MaxFrameSize];
    int size = EncodeFrame(frame, bytes);
    return std::vector<uint8_t>(bytes, bytes + size);
}

TEST(Codec, KnownChecksumAndFrameLayout)
{
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(FrameChecksum(check, 9), 0x29B1);  // the CRC-16/CCITT-FALSE check value
    std::vector<uint8_t> read = Encode(7, CommandRead, {});
    ASSERT_EQ(read.size(), 7u);
    EXPECT_EQ(read[0], FrameStart);
    EXPECT_EQ(read[1], 7);
    EXPECT_EQ(read[2], 'R');
    EXPECT_EQ(read[3], 0);
    EXPECT_EQ(read[4], 0xFF);
}

TEST(Codec, Int32RoundTripsLittleEndian)
{
    uint8_t bytes[4];
    for (int32_t value : {0, 1, -1, 12, INT32_MIN, INT32_MAX, 0x12345678}) {
        PutInt32(bytes, value);
        EXPECT_EQ(GetInt32(bytes), value);
    }
    PutInt32(bytes, 0x12345678);
    EXPECT_EQ(bytes[0], 0x78);
    EXPECT_EQ(bytes[3], 0x12);
}

TEST(Codec, FramesSurviveNoiseAroundThem)
{
    std::vector<uint8_t> stream = {0x00, 0xA5, 0xA5, 0x13, 0xFF};  // includes false start bytes
    std::vector<uint8_t> first = Encode(1, 'r', {12, 0, 0, 0});
    std::vector<uint8_t> second = Encode(2, 'v', {'a', 'b'});
    stream.insert(stream.end(), first.begin(), first.end());
    stream.insert(stream.end(), {0xA5, 0x01, 0x02, 0xFF, 0x00});  // a start byte with an impossible length
    stream.insert(stream.end(), second.begin(), second.end());
    FrameReader reader{};
    std::vector<Frame> frames = FeedAll(reader, stream);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(GetInt32(frames[0].payload), 12);
    EXPECT_EQ(frames[1].command, 'v');
    EXPECT_EQ(frames[1].length, 2);
}

TEST(Codec, EveryBitFlipIsRejectedAndTheNextFrameStillRead)
{
    std::vector<uint8_t> good = Encode(9, 'r', {0x39, 0x30, 0, 0});
    for (size_t i = 0; i < good.size(); i++) {
        for (int bit = 0; bit < 8; bit++) {
            std::vector<uint8_t> stream = good;
            stream[i] ^= static_cast<uint8_t>(1 << bit);
            stream.insert(stream.end(), good.begin(), good.end());
            FrameReader reader{};
            std::vector<Frame> frames = FeedAll(reader, stream);
            ASSERT_EQ(frames.size(), 1u) << "byte " << i << " bit " << bit;
            EXPECT_EQ(GetInt32(frames[0].payload), 0x3039);
        }
    }
}

TEST(Codec, CutFrameFollowedByWholeFrame)
{
    std::vector<uint8_t> good = Encode(3, 'r', {1, 2, 3, 4});
    std::vector<uint8_t> stream(good.begin(), good.begin() + 6);
    stream.insert(stream.end(), good.begin(), good.end());
    FrameReader reader{};
    std::vector<Frame> frames = FeedAll(reader, stream);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(GetInt32(frames[0].payload), 0x04030201);
}

// A scripted line: how the "pulley" answers each request, and a clock that
// moves one millisecond per pause.
typedef std::function<std::vector<uint8_t>(uint8_t sequence)> Answer;

static Answer Reply(uint8_t command, std::vector<uint8_t> payload)
{
    return [=](uint8_t sequence) { return Encode(sequence, command, payload); };
}
static Answer Bytes(std::vector<uint8_t> bytes)
{
    return [=](uint8_t) { return bytes; };
}

struct ScriptedLine {
    std::deque<Answer> answers;  // one per request; none left: silence
    std::vector<uint8_t> pending;
    std::vector<std::vector<uint8_t>> written;
    uint32_t now = 0;
    bool gone = false;
};
static ScriptedLine* scripted;

static bool ScriptWrite(void*, const uint8_t* bytes, int length)
{
    if (scripted->gone)
        return false;
    scripted->written.emplace_back(bytes, bytes + length);
    if (scripted->answers.empty())
        return true;
    std::vector<uint8_t> answer = scripted->answers.front()(bytes[1]);
    scripted->answers.pop_front();
    scripted->pending.insert(scripted->pending.end(), answer.begin(), answer.end());
    return true;
}
static int ScriptRead(void*, uint8_t* buffer, int size)
{
    if (scripted->gone)
        return -1;
    int count = std::min(size, static_cast<int>(scripted->pending.size()));
    std::copy(scripted->pending.begin(), scripted->pending.begin() + count, buffer);
    scripted->pending.erase(scripted->pending.begin(), scripted->pending.begin() + count);
    return count;
}
static void ScriptDiscard(void*)
{
    scripted->pending.clear();
}
static uint32_t ScriptNow()
{
    return scripted->now;
}
static void ScriptPause()
{
    scripted->now++;
}
static const SerialLine Scripted = {
    .Write = ScriptWrite,
    .ReadAvailable = ScriptRead,
    .DiscardInput = ScriptDiscard,
    .NowMs = ScriptNow,
    .Pause = ScriptPause,
};

class Transaction : public ::testing::Test {
protected:
    ScriptedLine line;
    void SetUp() override { scripted = &line; }
    bool Read(int32_t& count)
    {
        Frame reply;
        if (!Transact(Scripted, nullptr, CommandRead, nullptr, 0, 4, TransactionAttempts, reply))
            return false;
        count = GetInt32(reply.payload);
        return true;
    }
};

TEST_F(Transaction, AnsweredAtOnceInEighteenBytes)
{
    line.answers = {Reply('r', {12, 0, 0, 0})};
    int32_t count = 0;
    ASSERT_TRUE(Read(count));
    EXPECT_EQ(count, 12);
    ASSERT_EQ(line.written.size(), 1u);
    EXPECT_EQ(line.written[0].size(), 7u);  // and eleven bytes back
}

TEST_F(Transaction, SilentPulleyGivesUpAfterItsAttemptsWithinTheBound)
{
    int32_t count = 0;
    EXPECT_FALSE(Read(count));
    EXPECT_EQ(line.written.size(), static_cast<size_t>(TransactionAttempts));
    EXPECT_LE(line.now, 250u);
}

// GetTickCount wraps to 0 every 49.7 days; a deadline across the wrap must
// neither end at once nor never.
TEST_F(Transaction, DeadlinesHoldAcrossTheTickCountWrap)
{
    for (uint32_t start : {0xFFFFFFFFu - 100, 0xFFFFFFFFu - 30, 0xFFFFFFFFu}) {
        line = ScriptedLine{};
        line.now = start;
        int32_t count = 0;
        EXPECT_FALSE(Read(count));
        EXPECT_EQ(line.written.size(), static_cast<size_t>(TransactionAttempts));
        EXPECT_EQ(line.now - start, static_cast<uint32_t>(TransactionAttempts * AttemptTimeoutMs)) << start;
        line.now = start;
        Answer silence = [](uint8_t) { return std::vector<uint8_t>{}; };
        line.answers = {silence, Reply('r', {7, 0, 0, 0})};  // silent once, then answers
        ASSERT_TRUE(Read(count)) << start;
        EXPECT_EQ(count, 7);
    }
}

TEST_F(Transaction, OneCorruptReplyIsRetriedNotTakenAsACount)
{
    line.answers = {[](uint8_t sequence) {
                        std::vector<uint8_t> bytes = Encode(sequence, 'r', {99, 0, 0, 0});
                        bytes[6] ^= 0x01;
                        return bytes;
                    },
                    Reply('r', {12, 0, 0, 0})};
    int32_t count = 0;
    ASSERT_TRUE(Read(count));
    EXPECT_EQ(count, 12);
    EXPECT_EQ(line.written.size(), 2u);
}

TEST_F(Transaction, LateReplyToAnEarlierRequestIsNotTaken)
{
    line.answers = {[](uint8_t sequence) {
        std::vector<uint8_t> bytes = Encode(static_cast<uint8_t>(sequence - 1), 'r', {77, 0, 0, 0});
        std::vector<uint8_t> real = Encode(sequence, 'r', {5, 0, 0, 0});
        bytes.insert(bytes.end(), real.begin(), real.end());
        return bytes;
    }};
    int32_t count = 0;
    ASSERT_TRUE(Read(count));
    EXPECT_EQ(count, 5);
}

TEST_F(Transaction, WrongReplyCommandOrLengthIsNotAnAnswer)
{
    line.answers = {Reply('v', {12, 0, 0, 0}), Reply('r', {12, 0}), Reply(ReplyError, {ErrorUnknownCommand})};
    int32_t count = 0;
    EXPECT_FALSE(Read(count));
}

TEST_F(Transaction, VanishedPortFailsAtOnce)
{
    line.gone = true;
    int32_t count = 0;
    EXPECT_FALSE(Read(count));
    EXPECT_EQ(line.now, 0u);
}

TEST_F(Transaction, EndlessNoiseStillEndsWithinTheBound)
{
    for (int i = 0; i < TransactionAttempts; i++)
        line.answers.push_back(Bytes(std::vector<uint8_t>(5000, 0xA5)));
    int32_t count = 0;
    EXPECT_FALSE(Read(count));
    EXPECT_LE(line.now, 250u);
}

TEST_F(Transaction, PresetReachesTheSimulatedPulley)
{
    SimPulley pulley;
    pulley.position = 42;
    line.answers = {[&](uint8_t) {
        // The simulator decodes the request the library wrote and answers it.
        FrameReader reader{};
        Frame request{}, reply{};
        for (uint8_t byte : line.written.back())
            FeedFrameReader(reader, byte, request);
        std::string event;
        EXPECT_TRUE(AnswerRequest(pulley, request, reply, event));
        EXPECT_EQ(event, "preset -29");
        uint8_t bytes[MaxFrameSize];
        return std::vector<uint8_t>(bytes, bytes + EncodeFrame(reply, bytes));
    }};
    uint8_t payload[4];
    PutInt32(payload, -29);
    Frame ack;
    EXPECT_TRUE(Transact(Scripted, nullptr, CommandPreset, payload, 4, 0, TransactionAttempts, ack));
    EXPECT_EQ(SimCount(pulley), -29);
}
