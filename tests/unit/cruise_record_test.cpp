// The cruise's record: what an event carries of its moment, the wire
// book's refusals, the wire on the drum and the safe working load its
// breaking load sets, the LAN's bodies and its gate.
#include <gtest/gtest.h>

#include <algorithm>

#include "fake_disk.h"
#include "formats/http_request.h"
#include "formats/sentences.h"
#include "record/events.h"
#include "record/wire_book.h"
#include "running/commands.h"
#include "running/feed_logs.h"
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

TEST(CruiseRecord, TheWiresBreakingLoadSetsTheSafeWorkingLoad)
{
    FakeDisk disk;
    FeedLogs logs;
    std::string failure;
    ASSERT_TRUE(logs.Open(disk.ops, "log", true, {.survey = "pulley.csv", .tension = "tension.csv"},
                          [](const std::string&) {}, failure, "log"))
        << failure;
    FeedOptions options;
    options.tensionUdpPort = 10111;
    options.tensionUnit = options.alarms.tensionUnit = TensionUnit::KiloNewtons;
    ASSERT_TRUE(ParseTensionFormat("wnc", options.tensionFormat, failure));
    options.alarms.safetyFactor = 5;  // the breaking load from the book alone
    std::vector<std::string> said;
    FeedState feed;
    InitFeedState(feed, options,
                  {.Publish = [](void*, auto&, auto&, bool) {},
                   .Say = [](void* context, const std::string& text) {
                       static_cast<std::vector<std::string>*>(context)->push_back(text);
                   },
                   .context = &said},
                  logs.Writer(), {.wireBook = WireBook{{{.utcMs = 1000, .event = "install", .metres = 3000}}}});
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("not watched"), std::string::npos) << said[0];
    auto wire = [&feed](std::vector<std::string> words) {
        words.insert(words.begin(), "wire");
        return RunCommand(feed, {words, "pulley-remote"}, 5000, 5000);
    };
    auto tension = [&feed](const char* kiloNewtons) {
        std::string line = NmeaSentence(std::string("WIWNC,1,") + kiloNewtons + ",0,0");
        TakeTension(feed, line.substr(0, line.size() - 2), 6000, 6000);
        return RaisedAlarms(feed.alarms).size();
    };
    EXPECT_EQ(tension("60"), 0u) << "nothing watched";
    for (std::vector<std::string> refused : {std::vector<std::string>{"termination", "--breaking-load", "100kN"},
                                             {"install", "100", "--breaking-load", "100"},
                                             {"install", "100", "--breaking-load", "100 N"}})
        EXPECT_FALSE(wire(refused).done) << refused[2];
    CommandAnswer installed = wire({"install", "6000", "--breaking-load", "10500 lbf"});
    ASSERT_TRUE(installed.done) << installed.text;
    EXPECT_NE(installed.text.find("breaking load 10500 lbf"), std::string::npos) << installed.text;
    double safe = 10500 * 4.4482216152605 / 1000 / 5;  // 9.34 kN
    EXPECT_NEAR(feed.limits.tensionAlarm, safe, 1e-9);
    EXPECT_NEAR(feed.casts.alarmTension, safe, 1e-9);
    EXPECT_EQ(tension("9.5"), 2u) << "over the safe working load, and its warning";
    EXPECT_TRUE(wire({"removal"}).done);
    EXPECT_EQ(tension("9.5"), 0u) << "no wire, no safe working load: the alarms clear";
    EXPECT_EQ(std::count_if(said.begin(), said.end(),
                            [](const std::string& text) { return text.find("not watched") != std::string::npos; }),
              2);

    // The settings' own breaking load gives way to the book's, and says so.
    options.alarms.breakingLoad = 50;
    said.clear();
    FeedOutputs outputs = feed.outputs;
    InitFeedState(feed, options, outputs, logs.Writer(), {.wireBook = feed.wire});
    EXPECT_TRUE(wire({"install", "6000", "--breaking-load", "10500lbf"}).done);
    EXPECT_NEAR(feed.limits.tensionAlarm, safe, 1e-9);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("breaking-load 50: the book's is used"), std::string::npos) << said[0];
    bool ended;
    EXPECT_EQ(logs.Close(5000, ended), 0u);
    EXPECT_NE(disk.Text("wire-book.csv").find(",6000,,,,10500,lbf,"), std::string::npos) << "its columns";
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
