#include <gtest/gtest.h>

#include "sim_pulley.h"

static Frame Request(uint8_t command)
{
    Frame frame{};
    frame.command = command;
    frame.sequence = 4;
    return frame;
}

TEST(SimPulley, IdentifiesFromTheNthRequestOrNever)
{
    SimPulley pulley;
    ApplyControl(pulley, "identify-from 3");
    Frame reply;
    std::string event;
    EXPECT_FALSE(AnswerRequest(pulley, Request(CommandIdentify), reply, event));
    EXPECT_FALSE(AnswerRequest(pulley, Request(CommandIdentify), reply, event));
    EXPECT_TRUE(AnswerRequest(pulley, Request(CommandIdentify), reply, event));
    EXPECT_EQ(event, "identify 3 answered");
    EXPECT_EQ(reply.sequence, 4);
    ApplyControl(pulley, "identify-from never");
    for (int i = 0; i < 10; i++)
        EXPECT_FALSE(AnswerRequest(pulley, Request(CommandIdentify), reply, event));
}

TEST(SimPulley, CableMovesAndCountIsWholeMetres)
{
    SimPulley pulley;
    EXPECT_EQ(ApplyControl(pulley, "count 12"), "ok count 12");
    ApplyControl(pulley, "rate -0.5");
    AdvanceCable(pulley, 3);
    EXPECT_EQ(SimCount(pulley), 10);
    AdvanceCable(pulley, 21);
    EXPECT_EQ(SimCount(pulley), 0);
    AdvanceCable(pulley, 0.5);
    EXPECT_EQ(SimCount(pulley), -1);
}

TEST(SimPulley, SilentAnswersNothingAndResetZeroes)
{
    SimPulley pulley;
    pulley.position = 55;
    Frame reply;
    std::string event;
    ApplyControl(pulley, "silent on");
    EXPECT_FALSE(AnswerRequest(pulley, Request(CommandRead), reply, event));
    ApplyControl(pulley, "silent off");
    EXPECT_TRUE(AnswerRequest(pulley, Request(CommandReset), reply, event));
    EXPECT_EQ(SimCount(pulley), 0);
    EXPECT_TRUE(AnswerRequest(pulley, Request(CommandRead), reply, event));
    EXPECT_EQ(GetInt32(reply.payload), 0);
}

TEST(SimPulley, DamagedRepliesNeverDecodeAsTheCount)
{
    SimPulley pulley;
    pulley.position = 1234;
    ApplyControl(pulley, "noise 20");
    ApplyControl(pulley, "corrupt 5");
    uint32_t random = 1;
    int valid = 0;
    for (int i = 0; i < 10; i++) {
        Frame reply, decoded;
        std::string event;
        ASSERT_TRUE(AnswerRequest(pulley, Request(CommandRead), reply, event));
        uint8_t wire[512];
        int size = PrepareReplyBytes(pulley, reply, wire, sizeof wire, random);
        FrameReader reader{};
        for (int j = 0; j < size; j++)
            if (FeedFrameReader(reader, wire[j], decoded)) {
                EXPECT_EQ(GetInt32(decoded.payload), 1234);
                valid++;
            }
    }
    EXPECT_EQ(valid, 5);  // the five corrupted replies are rejected, the rest read through the noise
}

TEST(SimPulley, RejectsBadControlLines)
{
    SimPulley pulley;
    EXPECT_EQ(ApplyControl(pulley, "fly away").rfind("error", 0), 0u);
    EXPECT_EQ(ApplyControl(pulley, "silent maybe").rfind("error", 0), 0u);
    EXPECT_EQ(ApplyControl(pulley, "identify-from 0").rfind("error", 0), 0u);
}
