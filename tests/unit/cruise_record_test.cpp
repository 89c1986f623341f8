// The cruise's record: what an event carries of its moment, the wire
// book's refusals and the wire on the drum, the LAN's bodies and its gate.
#include <gtest/gtest.h>

#include "formats/http_request.h"
#include "record/events.h"
#include "record/wire_book.h"
#include "running/write_gate.h"

TEST(CruiseRecord, AnEventCarriesOnlyACountOfItsMoment)
{
    PayoutRate rate;
    AddToRate(rate, 0, 240);
    AddToRate(rate, 5000, 245);
    TimedReading valid{{FeedStatus::Valid, 245}, 5000, 0}, lost{{FeedStatus::LostLink, 245}, 5000, 0};
    EventRow row;
    StampReading(row, &valid, rate, 7000);
    EXPECT_EQ(std::make_tuple(row.metres, row.rate, row.status), std::make_tuple(std::optional<int32_t>(245),
                                                                                 std::optional<double>(60), "valid"));
    StampReading(row, &valid, rate, 7001);
    EXPECT_EQ(std::make_tuple(row.metres, row.status), std::make_tuple(std::optional<int32_t>(), "stale"));
    StampReading(row, &lost, rate, 5000);
    EXPECT_EQ(std::make_tuple(row.metres, row.status), std::make_tuple(std::optional<int32_t>(), "lost-link"));
}

TEST(CruiseRecord, TheWireBookRefusesWhatCannotBeAndFollowsTheWire)
{
    WireBook book;
    const char* refusals[][3] = {{"splice", "", "no wire book entry"},
                                 {"cut-back", "50", "no wire is installed"},
                                 {"install", "", "takes the metres"},
                                 {"install", "-5", "more than 0"},
                                 {"termination", "10", "takes no metres"}};
    std::string reason;
    for (const auto& [event, metres, why] : refusals) {
        WireEntry entry{.utcMs = 1000, .event = event};
        if (*metres)
            entry.metres = std::atof(metres);
        EXPECT_FALSE(CheckWireEntry(book, entry, reason)) << event;
        EXPECT_NE(reason.find(why), std::string::npos) << reason;
    }
    book.entries = {{.utcMs = 1000, .event = "install", .metres = 3000}, {.utcMs = 2000, .event = "termination"}};
    EXPECT_FALSE(CheckWireEntry(book, {.utcMs = 3000, .event = "cut-back", .metres = 3000}, reason));
    EXPECT_NE(reason.find("no shorter than the wire (3000 m on the drum)"), std::string::npos) << reason;
    book.entries.push_back({.utcMs = 3000, .event = "cut-back", .metres = 50});
    EXPECT_EQ(WireLengthAt(book, 2999), 3000);
    EXPECT_EQ(WireLengthAt(book, 3000), 2950);
    EXPECT_TRUE(LoadTestDue(book));
    book.entries.push_back({.utcMs = 4000, .event = "load-test"});
    EXPECT_FALSE(LoadTestDue(book));
}

TEST(CruiseRecord, TheLansBodiesAndItsGate)
{
    std::string text;
    long long id = 0;
    EXPECT_TRUE(ReadMarkBody(" {\"text\" : \"at bottom \\u00e4 \\ud83d\\ude00\\n\"} ", text));
    EXPECT_EQ(text, "at bottom \xc3\xa4 \xf0\x9f\x98\x80\n");
    for (const char* refused : {"{\"text\":\"\\ud83d\"}", "{\"text\":\"x\",\"y\":1}", "{\"txt\":\"x\"}",
                                "{\"text\":\"\xff\"}", "[\"text\"]", "{\"text\":\"x\"} x"})
        EXPECT_FALSE(ReadMarkBody(refused, text)) << refused;
    EXPECT_TRUE(ReadAckBody("{\"id\": 3}", id) && id == 3);
    EXPECT_FALSE(ReadAckBody("{\"id\": -3}", id));
    EXPECT_TRUE(TokenMatches("Bearer winch-deck-7f3a9c21", "winch-deck-7f3a9c21"));
    for (const char* wrong : {"Bearer winch-deck-7f3a9c2", "Bearer winch-deck-7f3a9c211", "winch-deck-7f3a9c21", ""})
        EXPECT_FALSE(TokenMatches(wrong, "winch-deck-7f3a9c21")) << wrong;

    WriteGate gate;
    GateAnswer answer{201, "row"}, again;
    for (int i = 0; i < 10; i++)
        EXPECT_TRUE(gate.Admit("10.0.0.5", i * 1000));
    EXPECT_FALSE(gate.Admit("10.0.0.5", 10000)) << "the eleventh in a minute";
    EXPECT_TRUE(gate.Admit("10.0.0.6", 10000)) << "another address";
    EXPECT_TRUE(gate.Admit("10.0.0.5", 60000)) << "a minute on";
    gate.Remember("key-1", 0, answer);
    EXPECT_TRUE(gate.Replay("key-1", IdempotencyMs - 1, again) && again.body == "row");
    EXPECT_FALSE(gate.Replay("key-1", IdempotencyMs, again));
    gate.Refused(401);
    gate.Refused(401);
    EXPECT_EQ(gate.SayRefusals(WriteWindowMs), "LAN writes refused in the last minute: 401 x2");
    EXPECT_EQ(gate.SayRefusals(WriteWindowMs + 1), "");
}
