#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "count_text.h"
#include "formats/display_reading.h"
#include "formats/endpoint.h"
#include "formats/http_request.h"
#include "record/survey_rows.h"
#include "reading/payout_rate.h"
#include "formats/reading_json.h"
#include "formats/relay_lines.h"
#include "reading/schedule.h"
#include "formats/sentences.h"
#include "shared_constants.h"
#include "tool_args.h"

static const UtcTime Noon = {2026, 12, 8, 12, 34, 56, 789};

static PayoutRate RateOf(std::initializer_list<RateSample> samples)
{
    PayoutRate rate;
    for (const RateSample& sample : samples)
        AddToRate(rate, sample.monotonicMs, sample.metres);
    return rate;
}

TEST(FeedSentence, ChecksumAndFields)
{
    // Two sentences whose checksums are published with the NMEA standard's examples.
    EXPECT_EQ(NmeaChecksum("GPGLL,4916.45,N,12311.12,W,225444,A,"), 0x1D);
    EXPECT_EQ(NmeaChecksum("GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"), 0x47);

    PayoutRate paying = RateOf({{0, 100}, {10000 - 1, 107}});  // 7 m in 10 s: 42 m/min
    std::string valid = BuildSentence(Noon, {FeedStatus::Valid, 107}, paying);
    EXPECT_EQ(valid.substr(0, valid.size() - 5), "$PKVNC,123456.78,107,42.0,A");
    char checksum[3];
    std::snprintf(checksum, sizeof checksum, "%02X", NmeaChecksum(valid.substr(1, valid.size() - 6)));
    EXPECT_EQ(valid.substr(valid.size() - 5), std::string("*") + checksum + "\r\n");

    // Not valid: no count and no rate where none is known, and V.
    std::string lost = BuildSentence(Noon, {FeedStatus::LostLink, 0}, PayoutRate{});
    EXPECT_EQ(lost.substr(0, lost.size() - 5), "$PKVNC,123456.78,,,V");
    std::string test = BuildSentence(Noon, {FeedStatus::TestValue, -250}, PayoutRate{});
    EXPECT_EQ(test.substr(0, test.size() - 5), "$PKVNC,123456.78,-250,,V");
    EXPECT_LE(BuildSentence(Noon, {FeedStatus::Valid, INT32_MIN}, RateOf({{0, INT32_MIN}, {5000, INT32_MAX}})).size(),
              82u);
}

TEST(FeedSentence, RelayFormatsAreTheDisplaysLinesInMetres)
{
    EXPECT_EQ(BuildFeedLine(FeedFormat::Display, Noon, {FeedStatus::Valid, 12}, {}), "+0012m\r");
    EXPECT_EQ(BuildFeedLine(FeedFormat::TCount, Noon, {FeedStatus::Valid, -10033}, {}), "1:-10033m\r\n");
    EXPECT_EQ(BuildFeedLine(FeedFormat::EdgeTech, Noon, {FeedStatus::Valid, 12}, {}), "1:+0012\r\n");
    EXPECT_EQ(BuildFeedLine(FeedFormat::Display, Noon, {FeedStatus::NoDisplay, 0}, {}), "-----m\r");
}

TEST(FeedRate, LeastSquaresOverTenSeconds)
{
    EXPECT_FALSE(RateKnown(RateOf({{0, 5}})));
    EXPECT_DOUBLE_EQ(MetresPerMinute(RateOf({{0, 5}, {1000, 5}, {2000, 5}})), 0.0);
    EXPECT_NEAR(MetresPerMinute(RateOf({{0, 10}, {1000, 9}, {2000, 8}, {3000, 7}, {4000, 6}, {5000, 5}})), -60.0, 1e-9);  // hauling in
    EXPECT_FALSE(RateKnown(RateOf({{0, 10}, {4999, 5}}))) << "not over less than 5 s";
    // Samples older than 10 s drop out: only the last steady ones count.
    PayoutRate rate = RateOf({{0, 0}, {5000, 50}, {10000, 100}, {15000, 100}, {20000, 100}});
    EXPECT_EQ(rate.samples.size(), 2u);
    EXPECT_DOUBLE_EQ(MetresPerMinute(rate), 0.0);
}

TEST(FeedLineParser, EachFormatInEachUnit)
{
    FeedReading reading{};
    auto parsed = [&](const std::string& line, bool edgeTechFeet = false) {
        reading = {};
        return ParseRelayLine(line, edgeTechFeet, reading) && reading.status == FeedStatus::Valid ? reading.metres
                                                                                                  : -99999;
    };
    EXPECT_EQ(parsed("+0012m"), 12);
    EXPECT_EQ(parsed("+00039ft"), 12);
    EXPECT_EQ(parsed("1:-0005m"), -5);
    EXPECT_EQ(parsed("1:+10033m"), 10033);
    EXPECT_EQ(parsed("1:-00016ft"), -5);  // -5 m shows -16 ft
    EXPECT_EQ(parsed("1:+0012"), 12);
    EXPECT_EQ(parsed("1:+00039", true), 12);
    EXPECT_EQ(parsed("1:+00082", true), 25);
    ASSERT_TRUE(ParseRelayLine("------ft", false, reading));
    EXPECT_EQ(reading.status, FeedStatus::NotConnected);
    ASSERT_TRUE(ParseRelayLine("1:-----", false, reading));
    EXPECT_EQ(reading.status, FeedStatus::NotConnected);
    for (const char* noise : {"", "m", "1:", "+12x", "12m", "+99999999999m", "1:+00040ft", "garbage"})
        EXPECT_FALSE(ParseRelayLine(noise, false, reading)) << noise;  // 40 ft is no count's feet
}

// Every relay line the display builds, in each format and unit, is read
// back by the feed's serial reader to the count it was built from (or
// refused, for a count whose feet text stands for every count beyond the
// feet range).
TEST(FeedLineParser, ReadsBackEveryLineTheDisplayBuilds)
{
    std::vector<int32_t> counts = {INT32_MIN, -654720001, -654720000, -10033, -9999, -1, 0, 1, 9999, 10000, 10033,
                                   654720000, 654720001, INT32_MAX};
    for (int32_t count = -200000; count <= 200000; count += 13)
        counts.push_back(count);
    int readBack = 0;
    for (int32_t format : {DisplayLine, TCount, TCountEdgeTech}) {
        for (uint8_t units : {Metres, Feet}) {
            for (int32_t count : counts) {
                RelayLine line = BuildRelayMessage(format, FormatCount(count, units, true).text);
                RelayLineReader reader{.edgeTechFeet = units == Feet, .partial = "", .lastWasEdgeTech = false};
                FeedReading reading{FeedStatus::NoData, 0};
                bool read = ReadRelayBytes(reader, line.bytes, static_cast<size_t>(line.length), reading);
                bool saturated = units == Feet && MetresToFeet(count) == INT32_MIN;
                ASSERT_EQ(read && reading.status == FeedStatus::Valid, !saturated) << format << " " << line.bytes;
                if (read) {
                    ASSERT_EQ(reading.metres, count) << format << " " << line.bytes;
                }
                readBack += read;
            }
        }
    }
    EXPECT_GT(readBack, 6 * 30000);
}

TEST(FeedLineParser, OnlyTheDisplaysOwnDashesAndNoSaturatedFeet)
{
    FeedReading reading{};
    for (const char* dashes : {"-----m", "------ft", "1:-----m", "1:------ft", "1:-----", "1:------"}) {
        reading = {};
        EXPECT_TRUE(ParseRelayLine(dashes, false, reading) && reading.status == FeedStatus::NotConnected) << dashes;
    }
    // -2147483648 ft is what the display shows for every count beyond the feet range.
    for (const char* refused : {"-m", "1:-", "1:--------------------------------------------------------------",
                                "------m", "-----ft", "1:----", "-2147483648ft", "1:-2147483648ft"})
        EXPECT_FALSE(ParseRelayLine(refused, false, reading)) << refused;
    EXPECT_FALSE(ParseRelayLine("1:-2147483648", true, reading));
    EXPECT_TRUE(ParseRelayLine("1:-2147483648", false, reading));  // in metres it is a count
}

TEST(FeedArguments, TimesEndpointsAndNumbersAreCheckedStrictly)
{
    int64_t ms = 0;
    EXPECT_TRUE(ParseIsoTime("2024-02-29T23:59:59.5", ms));
    EXPECT_EQ(UtcFromUnixMs(ms).millisecond, 500);
    for (const char* time : {"2026-02-31T00:00:00", "2025-02-29T00:00:00", "0-2-1T3:5:5", "2026-1-01T00:00:00",
                             "-026-01-01T00:00:00", "2026-12-08T24:00:00", "2026-12-08T12:00:00.", "2026-12-08 12:00:00",
                             "2026-12-08T12:00:00.1234", "2026-12-08T12:00:00Z"})
        EXPECT_FALSE(ParseIsoTime(time, ms)) << time;

    Endpoint endpoint;
    std::string reason;
    EXPECT_TRUE(ParseEndpoint("logger.local", EndpointKind::Receiver, endpoint, reason));
    EXPECT_EQ(endpoint.port, 10110);
    EXPECT_TRUE(ParseEndpoint("10111", EndpointKind::Listener, endpoint, reason) && endpoint.host.empty() && endpoint.port == 10111);
    for (const char* text : {"logger:", ":10110", "a b:10110", "host:0", "host:65536", "host:1:2", "10110", "192:10110"})
        EXPECT_FALSE(ParseEndpoint(text, EndpointKind::Receiver, endpoint, reason)) << text;
    EXPECT_FALSE(ParseEndpoint(":10110", EndpointKind::Listener, endpoint, reason));
    EXPECT_TRUE(ParseEndpoint("127.0.0.1", EndpointKind::Web, endpoint, reason) && endpoint.port == 8110);
    EXPECT_TRUE(ParseEndpoint("8080", EndpointKind::Web, endpoint, reason) && endpoint.host.empty());

    long long whole = 0;
    double number = 0;
    for (const char* text : {"", " 5", "0x10", "5x", "+", "99999999999999999999"})
        EXPECT_FALSE(ParseWholeNumber(text, whole)) << text;
    for (const char* text : {"nan", "inf", "-inf", "1e999", "0x1p3", ". 5", ""})
        EXPECT_FALSE(ParseDecimal(text, number)) << text;
    EXPECT_TRUE(ParseDecimal("-2.5e1", number) && number == -25);

    // An unknown option given last is unknown, not short of a value; a value
    // is taken only by an option that wants one, and an option only once.
    const char* argv[] = {"tool", "--wait", "-5", "--log", "a", "--log", "b", "--port", "", "--bogus"};
    ToolArgs args("tool", 10, const_cast<char**>(argv));
    ASSERT_TRUE(args.Next());
    EXPECT_FALSE(args.Number(0, 86400, number));
    ASSERT_TRUE(args.Next() && args.Once());
    EXPECT_TRUE(args.Text(reason) && reason == "a");
    ASSERT_TRUE(args.Next());
    EXPECT_FALSE(args.Once());
    ASSERT_TRUE(args.Next() && args.Next());
    EXPECT_FALSE(args.Text(reason)) << "an empty value";
    ASSERT_TRUE(args.Next() && args.Next() && args.IsOption());
    EXPECT_EQ(args.Current(), "--bogus");
    EXPECT_FALSE(args.Next());
}

TEST(FeedDisplay, StatusAndTheHeldNoReading)
{
    const uint32_t read = PULLEY_STATUS_CONNECTED | PULLEY_STATUS_READ;
    // The warning is up: the display still answers the count from before.
    EXPECT_EQ(ReadingFromDisplay(502, PULLEY_STATUS_CONNECTED | PULLEY_STATUS_LINK_LOST).status, FeedStatus::LostLink);
    EXPECT_EQ(ReadingFromDisplay(502, read | (3u << PULLEY_STATUS_PRESETS_SHIFT)).presets, 3);
    EXPECT_EQ(ReadingFromDisplay(12, read | PULLEY_STATUS_FEET).status, FeedStatus::Valid);
    EXPECT_EQ(ReadingFromDisplay(9999, PULLEY_STATUS_CONNECTED).status, FeedStatus::NotYetRead);
    EXPECT_EQ(ReadingFromDisplay(9999, read).status, FeedStatus::Valid);
    EXPECT_EQ(ReadingFromDisplay(2147483647, 0).status, FeedStatus::LostLink);
    EXPECT_EQ(ReadingFromDisplay(9999, 0).status, FeedStatus::NotConnected);
    EXPECT_EQ(ReadingFromDisplay(-250, read | PULLEY_STATUS_TEST_VALUE).status,
              FeedStatus::TestValue);
}

// The display answers in turn; it polls the pulley between any two questions.
TEST(FeedDisplay, OneReadingIsOneMoment)
{
    struct Script {
        std::vector<uint32_t> answers;
        size_t next = 0;
        static bool Ask(void* context, unsigned message, uint32_t& answer)
        {
            Script& script = *static_cast<Script*>(context);
            if (script.next >= script.answers.size())
                return false;
            answer = script.answers[script.next++];
            EXPECT_EQ(message, script.next % 3 == 2 ? unsigned{UM_GETMETRES} : unsigned{UM_GETSTATUS});
            return true;
        }
    };
    const uint32_t connected = PULLEY_STATUS_CONNECTED, read = PULLEY_STATUS_CONNECTED | PULLEY_STATUS_READ;
    const uint32_t preset = read | (1u << PULLEY_STATUS_PRESETS_SHIFT);
    // The first reading came between the questions: the held 9999 is no count.
    Script script{{connected, 9999, read, read, 9999, read, read, 502, preset, preset, 0, preset}};
    DisplayAsker asker{.Ask = Script::Ask, .context = &script};
    FeedReading reading{};
    EXPECT_EQ(AskDisplayReading(asker, reading), DisplayAnswer::MovedOn);
    ASSERT_EQ(AskDisplayReading(asker, reading), DisplayAnswer::Reading);
    EXPECT_EQ(std::make_tuple(reading.status, reading.metres), std::make_tuple(FeedStatus::Valid, 9999)) << "a real 9999 m";
    EXPECT_EQ(AskDisplayReading(asker, reading), DisplayAnswer::MovedOn) << "502 m, before the preset counted";
    ASSERT_EQ(AskDisplayReading(asker, reading), DisplayAnswer::Reading);
    EXPECT_EQ(std::make_tuple(reading.metres, reading.presets), std::make_tuple(0, 1));
    EXPECT_EQ(AskDisplayReading(asker, reading), DisplayAnswer::NoAnswer);
}

// Every text in the JSON through one escaping rule: a name with quotes,
// backslashes, a script's end and control characters stays one string.
TEST(FeedJson, TextsAreEscaped)
{
    std::string name = "CTD \"A\" \\ </script><b>x</b>\t\x01 \xc3\xa4";
    EXPECT_EQ(JsonString(name), "\"CTD \\\"A\\\" \\\\ \\u003c/script\\u003e\\u003cb\\u003ex\\u003c/b\\u003e\\t\\u0001 \xc3\xa4\"");
    std::string json = BuildReadingJson({.time = Noon, .reading = {FeedStatus::Valid, 25}, .alarms = {{1, name}},
                                         .station = name});
    EXPECT_NE(json.find(",\"alarms\":[{\"id\":1,\"text\":" + JsonString(name) + ",\"acknowledged\":false}],"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(",\"station\":" + JsonString(name) + "}"), std::string::npos) << json;
}

TEST(FeedLog, LinesFilesAndTheClock)
{
    EXPECT_EQ(LogFileName(Noon), "pulley-2026-12-08.csv");
    EXPECT_EQ(RowOf(SurveyTable, SurveyRowOf(UnixMsFromUtc(Noon), {FeedStatus::Valid, 120}, RateOf({{0, 120}, {5000, 120}}))),
              "2026-12-08T12:34:56.789Z,120,valid,0.0,,\r\n");
    EXPECT_EQ(RowOf(SurveyTable, SurveyRowOf(UnixMsFromUtc(Noon), {FeedStatus::NoDisplay, 0}, {})),
              "2026-12-08T12:34:56.789Z,,no-display,,,\r\n");
    int64_t ms = 0;
    ASSERT_TRUE(ParseIsoTime("2026-12-31T23:59:59.500", ms));
    UtcTime after = UtcFromUnixMs(ms + 600);
    EXPECT_EQ(LogFileName(after), "pulley-2027-01-01.csv");
    EXPECT_EQ(UnixMsFromUtc(Noon), 1796733296789);
    EXPECT_FALSE(ParseIsoTime("2026-13-01T00:00:00", ms));
}

TEST(FeedSchedule, OnChangeAndAtLeastEveryInterval)
{
    Schedule schedule{.intervalMs = 1000, .sent = false, .lastMs = 0, .last = {}};
    FeedReading twelve{FeedStatus::Valid, 12};
    EXPECT_TRUE(LineDue(schedule, 0, twelve));
    EXPECT_FALSE(LineDue(schedule, 250, twelve));
    EXPECT_TRUE(LineDue(schedule, 500, {FeedStatus::Valid, 13}));
    EXPECT_TRUE(LineDue(schedule, 750, {FeedStatus::TestValue, 13}));
    EXPECT_FALSE(LineDue(schedule, 1500, {FeedStatus::TestValue, 13}));
    EXPECT_TRUE(LineDue(schedule, 1750, {FeedStatus::TestValue, 13}));
    EXPECT_TRUE(LineDue(schedule, 2749, {FeedStatus::TestValue, 13})) << "a poll a millisecond early";
}

TEST(FeedWeb, RequestHeadsRoutesAndThePage)
{
    HttpRequest request;
    EXPECT_EQ(ReadRequestHead("GET /events HTTP/1.1\r\nHost: ship\r\n", request), HeadState::Incomplete);
    ASSERT_EQ(ReadRequestHead("GET /count.json?x=1 HTTP/1.1\r\nHost: ship\r\n\r\nextra", request), HeadState::Complete);
    EXPECT_EQ(std::tie(request.path, request.query, request.headBytes),
              std::make_tuple(std::string("/count.json"), std::string("x=1"), size_t(44)));
    EXPECT_EQ(RouteOf(request), Route::Count);
    ASSERT_EQ(ReadRequestHead("HEAD / HTTP/1.0\n\n", request), HeadState::Complete);  // LF alone, as some tools send
    EXPECT_TRUE(RouteOf(request) == Route::Page && IsHead(request));
    ASSERT_EQ(ReadRequestHead("GET / HTTP/1.1\r\nHost: ship\n\r\n", request), HeadState::Complete);  // mixed
    EXPECT_EQ(request.headBytes, 29u);
    ASSERT_EQ(ReadRequestHead("POST /events HTTP/1.1\r\n\r\n", request), HeadState::Complete);
    EXPECT_EQ(RouteOf(request), Route::MethodNotAllowed);
    ASSERT_EQ(ReadRequestHead("GET /reset HTTP/1.1\r\n\r\n", request), HeadState::Complete);
    EXPECT_EQ(RouteOf(request), Route::NotFound);
    for (const char* bad : {"GET\r\n\r\n", "GET / HTTP/2.0\r\n\r\n", "GET nothing HTTP/1.1\r\n\r\n", "G(T / HTTP/1.1\r\n\r\n",
                            "GET /\x01 HTTP/1.1\r\n\r\n"})
        EXPECT_EQ(ReadRequestHead(bad, request), HeadState::Malformed) << bad;
    EXPECT_EQ(ReadRequestHead("GET / HTTP/1.1\r\n" + std::string(9000, 'x'), request), HeadState::TooLarge);

    std::string page = FeedPage("<b>CTD & \"winch\"</b>", "n0nce");
    EXPECT_LT(page.size(), 64u * 1024);
    EXPECT_NE(page.find("<title>&lt;b&gt;CTD &amp; &quot;winch&quot;&lt;/b&gt;"), std::string::npos);
    EXPECT_EQ(page.find("{{"), std::string::npos);
    EXPECT_EQ(page.find("://"), std::string::npos) << "nothing fetched from elsewhere";
    EXPECT_NE(PagePolicy("n0nce").find("script-src 'nonce-n0nce'"), std::string::npos);

    EXPECT_EQ(BuildReadingJson({.time = Noon, .reading = {FeedStatus::Valid, 25}, .rate = RateText(RateOf({{0, 20}, {5000, 25}}))}),
              "{\"metres\":25,\"feet\":82,\"text_m\":\"+0025m\",\"text_ft\":\"+00082ft\",\"valid\":true,"
              "\"status\":\"valid\",\"rate_m_per_min\":60.0,\"utc\":\"2026-12-08T12:34:56.789Z\","
              "\"wire_left_m\":null,\"alarms\":[],\"cast\":null,\"cruise\":{\"id\":null,\"station\":null},"
              "\"wire\":null,\"tension\":null,\"station\":\"\"}");
    EXPECT_EQ(BuildReadingJson({.time = Noon, .reading = {FeedStatus::NoDisplay, 0},
                                .tension = TensionJson{"", "lbf", "", UnixMsFromUtc({2026, 12, 8, 12, 34, 50, 0}), 3}}),
              "{\"metres\":null,\"feet\":null,\"text_m\":\"-----m\",\"text_ft\":\"------ft\",\"valid\":false,"
              "\"status\":\"no-display\",\"rate_m_per_min\":null,\"utc\":\"2026-12-08T12:34:56.789Z\","
              "\"wire_left_m\":null,\"alarms\":[],\"cast\":null,\"cruise\":{\"id\":null,\"station\":null},"
              "\"wire\":null,\"tension\":{\"value\":null,\"unit\":\"lbf\",\"newtons\":null,"
              "\"utc\":\"2026-12-08T12:34:50.000Z\",\"valid\":false,\"bad_lines\":3},\"station\":\"\"}");
}
