// The winch watch: alarms with their hysteresis and sentences, casts and
// their log on a disk that a feed may leave in the middle of a cast.
#include <gtest/gtest.h>

#include <map>

#include "watch/alarms.h"
#include "record/cast_log.h"
#include "settings/feed_options.h"
#include "fake_disk.h"

static const int64_t Start = UnixMsFromUtc({2026, 12, 9, 10, 0, 0, 0});

// A reading n seconds into the run.
static TimedReading At(double seconds, int32_t metres, FeedStatus status = FeedStatus::Valid)
{
    int64_t ms = static_cast<int64_t>(seconds * 1000);
    return {{status, metres}, ms, Start + ms};
}

static std::string Changes(AlarmWatch& watch, std::initializer_list<TimedReading> readings, PayoutRate rate = {})
{
    std::string said;
    for (const TimedReading& reading : readings)
        for (const AlarmEvent& event : WatchAlarms(watch, reading, rate))
            said += std::to_string(event.id) + (event.raised ? "A" : "V") + (event.changed ? " " : "+ ");
    return said;
}

TEST(WinchAlarms, HysteresisRepeatsAndTheSentence)
{
    AlarmLimits limits{};
    limits.above = limits.below = limits.lost = true;
    limits.aboveMetres = 100;
    limits.belowMetres = 5;
    limits.lostSeconds = 10;
    limits.hysteresis = 1;
    AlarmWatch watch;
    InitAlarmWatch(watch, limits);
    // Dithering a metre round the limit raises one alarm; it clears only
    // more than the hysteresis back.
    EXPECT_EQ(Changes(watch, {At(0, 99), At(1, 100), At(2, 101), At(3, 100), At(4, 99), At(5, 101), At(6, 100)}),
              "1A ");
    EXPECT_EQ(Changes(watch, {At(7, 98)}), "1V ");
    // Not valid: nothing raised, nothing cleared, until the lost alarm's time is up.
    EXPECT_EQ(Changes(watch, {At(8, 500, FeedStatus::TestValue), At(9, 0, FeedStatus::LostLink), At(17.5, 0, FeedStatus::LostLink)}),
              "4A ");
    EXPECT_EQ(Changes(watch, {At(18, 3)}), "2A 4V ");
    EXPECT_EQ(Changes(watch, {At(77, 4), At(78, 3)}), "2A+ ") << "once a minute while it stands";
    AlarmWatch started;  // during an outage: counted from the feed's start
    InitAlarmWatch(started, limits);
    EXPECT_EQ(Changes(started, {At(100, 0, FeedStatus::NoDisplay), At(109, 0, FeedStatus::NoDisplay),
                                At(110, 0, FeedStatus::NoDisplay)}),
              "4A ");

    std::string sentence = BuildAlarmSentence(UtcFromUnixMs(Start + 2000), AlarmAbove, true, "CABLE OUT ABOVE 100 M");
    EXPECT_EQ(sentence.substr(0, sentence.size() - 5), "$IIALR,100002.00,001,A,V,CABLE OUT ABOVE 100 M");
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "*%02X\r\n", NmeaChecksum(sentence.substr(1, sentence.size() - 6)));
    EXPECT_EQ(sentence.substr(sentence.size() - 5), checksum);
    EXPECT_LE(sentence.size(), 82u);
}

// The below alarm over whole casts, deck to deck: nothing on deck at the
// start, raised as the package comes up past the limit, cleared once the
// winch has stood at the surface for 10 s, and not again until the next
// cast comes up.
TEST(WinchAlarms, BelowWarnsOfAPackageComingHomeNotOfOneAtHome)
{
    AlarmLimits limits{};
    limits.below = true;
    limits.belowMetres = 5;
    limits.hysteresis = 1;
    AlarmWatch watch;
    InitAlarmWatch(watch, limits);
    std::string said;
    double second = 0;
    auto run = [&](int32_t from, int32_t to, double seconds) {  // a reading a second, from one count to another
        for (double s = 0; s < seconds; s++, second++) {
            int32_t metres = from + static_cast<int32_t>((to - from) * s / seconds);
            for (const AlarmEvent& event : WatchAlarms(watch, At(second, metres), {}))
                said += std::to_string(static_cast<int>(second)) + ":" + std::to_string(metres) +
                        (event.raised ? "A" : "V") + (event.changed ? " " : "+ ");
        }
    };
    run(0, 0, 100);   // on deck from the feed's start
    run(0, 100, 100);
    run(100, 0, 100);
    run(0, 0, 200);   // at the surface again, for minutes
    run(0, 50, 50);
    run(50, 3, 47);   // the next package stopped 3 m out
    run(3, 3, 100);
    EXPECT_EQ(said, "296:4A 310:0V 596:4A 607:3V ");
}

TEST(WinchAlarms, RateAndTheDrumReserve)
{
    AlarmLimits limits{};
    limits.rate = limits.reserve = true;
    limits.ratePerMinute = 60;
    limits.reserveMetres = 50;
    limits.wireLength = 1000;
    limits.hysteresis = 5;
    AlarmWatch watch;
    InitAlarmWatch(watch, limits);
    PayoutRate hauling;  // 2 m/s in: 120 m/min
    AddToRate(hauling, 0, 908);
    AddToRate(hauling, 5000, 898);
    EXPECT_EQ(Changes(watch, {At(1, 898)}, hauling), "3A ");
    PayoutRate slower;  // 57 m/min: within the hysteresis of 60
    AddToRate(slower, 0, 0);
    AddToRate(slower, 60000, 57);
    EXPECT_EQ(Changes(watch, {At(2, 951)}, slower), "5A ") << "49 m left";
    EXPECT_EQ(Changes(watch, {At(3, 945)}), "") << "55 m left, the rate not known: both stand";
    EXPECT_EQ(Changes(watch, {At(4, 944)}), "5V ");
    EXPECT_EQ(AlarmsJson(RaisedAlarms(watch)),
              "[{\"id\":3,\"text\":\"WINCH FASTER THAN 60 M/MIN\",\"acknowledged\":false}]");
}

// Limits in the alarms' words as the operator typed them, in sentences of
// 82 characters at most; a limit with more digits than that is refused.
TEST(WinchAlarms, LimitsAsTyped)
{
    std::vector<std::string> args = {"pulley-feed", "--log", "x", "--alarm-below", "1000000", "--alarm-above",
                                      "1234.5678", "--alarm-rate", "0.1", "--wire-length", "1000000",
                                      "--drum-reserve", "0.0000000000000000001"};
    auto parse = [&args](FeedOptions& options) {
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        return ParseFeedOptions(static_cast<int>(argv.size()), argv.data(), options);
    };
    FeedOptions refused;
    EXPECT_EQ(parse(refused), ExitUsage) << "21 characters";
    args.back() = "999999.0000000001";
    FeedOptions options;
    ASSERT_EQ(parse(options), std::nullopt);
    AlarmWatch watch;
    InitAlarmWatch(watch, options.alarms);
    PayoutRate rate;
    AddToRate(rate, 0, 1296);
    AddToRate(rate, 5000, 1301);
    WatchAlarms(watch, At(0, 1000002), rate);  // out beyond the below limit, then back under it
    WatchAlarms(watch, At(1, 1301), rate);
    EXPECT_EQ(AlarmsJson(RaisedAlarms(watch)),
              "[{\"id\":1,\"text\":\"CABLE OUT ABOVE 1234.5678 M\",\"acknowledged\":false},"
              "{\"id\":2,\"text\":\"CABLE OUT BELOW 1000000 M\",\"acknowledged\":false},"
              "{\"id\":3,\"text\":\"WINCH FASTER THAN 0.1 M/MIN\",\"acknowledged\":false},"
              "{\"id\":5,\"text\":\"LESS THAN 999999.0000000001 M LEFT ON THE DRUM\",\"acknowledged\":false}]");
    EXPECT_LE(BuildAlarmSentence(UtcFromUnixMs(Start), AlarmReserve, true, watch.states[AlarmReserve].text).size(), 82u);
}

// Runs the counts a second apart through a tracker into the cast log; the
// casts.csv it leaves, without its header.
static std::string Casts(FakeDisk& disk, std::initializer_list<int32_t> counts, double start, double merge,
                         bool stopsInTheMiddle = false)
{
    CastLog log;
    int last = 0;
    std::string reason;
    EXPECT_TRUE(OpenCastLog(log, disk.ops, "log", last, reason));
    CastTracker tracker;
    InitCastTracker(tracker, start, merge, last);
    PayoutRate rate;
    double second = 0;
    for (int32_t count : counts) {
        TimedReading reading = At(second++, count);
        AddToRate(rate, reading.monotonicMs, count);
        for (const CastRow& row : TrackCast(tracker, reading, rate))
            EXPECT_TRUE(WriteCastRow(log, "", RowOf(CastTable, row.record), row.open, reason));
    }
    EXPECT_EQ(tracker.active, stopsInTheMiddle);
    CloseCastLog(log);
    std::string text = disk.Text("casts.csv");
    return text.substr(text.find('\n') + 1);
}

// Each row's cast number, start, end, maximum and its time (seconds of the
// minute), and notes.
static std::vector<std::string> Summary(const std::string& rows)
{
    auto second = [](int64_t utcMs) { return IsoTimeText(UtcFromUnixMs(utcMs)).substr(17, 2); };
    std::vector<std::string> summary;
    for (size_t start = 0, end; (end = rows.find("\r\n", start)) != std::string::npos; start = end + 2) {
        CastRecord cast;
        EXPECT_TRUE(ReadCastRow(rows.substr(start, end - start), cast)) << rows.substr(start, end - start);
        summary.push_back(std::to_string(cast.number) + " " + second(cast.startUtcMs) + "-" +
                          (cast.endUtcMs ? second(*cast.endUtcMs) : "") + " max " + std::to_string(cast.maxMetres) +
                          " at " + second(cast.maxUtcMs) + (cast.notes.empty() ? "" : " " + cast.notes));
    }
    return summary;
}

using Rows = std::vector<std::string>;

TEST(WinchCasts, CastsDipsTowYosAndAFeedStoppedInTheMiddle)
{
    // 0 -> 250 -> 0, then 0 -> 120 with a dip of a second to 20 -> 0, a
    // reading a second.
    auto counts = {0, 100, 250, 100, 0, 0, 0, 0, 0, 60, 120, 20, 120, 60, 0, 0, 0};
    FakeDisk plain, split, merged;
    EXPECT_EQ(Summary(Casts(plain, counts, 10, 0)), Rows({"1 01-04 max 250 at 02", "2 09-14 max 120 at 10"}));
    EXPECT_EQ(Summary(Casts(split, counts, 25, 0)),
              Rows({"1 01-04 max 250 at 02", "2 09-11 max 120 at 10", "3 12-14 max 120 at 12"}));
    EXPECT_EQ(Summary(Casts(merged, counts, 25, 2)),
              Rows({"1 01-04 max 250 at 02", "2 09-14 max 120 at 10 tow-yo: 2 casts joined"}));

    // Started at 0 m, a cast ends with the reset to 0 at the surface.
    FakeDisk fromZero;
    EXPECT_EQ(Summary(Casts(fromZero, {0, 50, 120, 0, 0, 30, 0}, 0, 0)),
              Rows({"1 01-03 max 120 at 02", "2 05-06 max 30 at 05"}));

    // A feed stopped in the middle of a cast leaves it open; the next start
    // closes it as incomplete at its last reading and numbers on.
    FakeDisk stopped;
    EXPECT_EQ(Summary(Casts(stopped, {0, 300, 310}, 10, 0, true)), Rows({"1 01- max 300 at 01 open"}));
    EXPECT_EQ(Summary(Casts(stopped, {0, 40, 0}, 10, 0)),
              Rows({"1 01-01 max 300 at 01 incomplete: the feed stopped during the cast", "2 01-02 max 40 at 01"}));
}

// casts.csv is the survey's: a person's rows in it are kept, whatever their
// line ends; the casts are numbered on from the highest number in it; only
// what a power cut tore off one of ours is cut.
TEST(WinchCasts, APersonsRowsAreKeptAndNumberingGoesOnFromTheHighest)
{
    auto row = [](int number, const std::string& notes) {
        return std::to_string(number) +
               ",2026-12-08T10:00:00.000Z,2026-12-08T10:10:00.000Z,600.0,250,2026-12-08T10:05:00.000Z,60.0,55.0," +
               notes;
    };
    // Rows the first release wrote, under its header: the header takes the
    // new columns, the rows stay.
    std::string kept = row(4, "") + "\r\n" + row(5, "") + "\r\n# checked by J.S.\r\n" + row(3, "CTD fine, bottle 4 leaked");
    for (const std::string& torn : {std::string(), std::string("\r\n6,2026-12-08T1")}) {
        FakeDisk disk;
        disk.files["log\\casts.csv"] = HeaderOf(CastTableWithoutCruise) + kept + torn;
        CastLog log;
        int last = 0;
        std::string reason;
        ASSERT_TRUE(OpenCastLog(log, disk.ops, "log", last, reason));
        CloseCastLog(log);
        EXPECT_EQ(last, 5);
        EXPECT_EQ(disk.Text("casts.csv"), HeaderOf(CastTable) + kept + "\r\n") << "torn: " << torn;
    }
    // An open row a stopped feed left, and a person's row after it.
    FakeDisk disk;
    std::string open = "7,2026-12-08T10:00:00.000Z,,65.5,120,2026-12-08T10:01:00.000Z,50.0,0.0,open\r\n";
    disk.files["log\\casts.csv"] = HeaderOf(CastTableWithoutCruise) + open + "winch serviced\r\n";
    CastLog log;
    int last = 0;
    std::string reason;
    ASSERT_TRUE(OpenCastLog(log, disk.ops, "log", last, reason));
    CloseCastLog(log);
    EXPECT_EQ(disk.Text("casts.csv"), HeaderOf(CastTable) +
                                          "7,2026-12-08T10:00:00.000Z,2026-12-08T10:01:05.500Z,65.5,120,"
                                          "2026-12-08T10:01:00.000Z,,50.0,0.0,,,,,,,incomplete: the feed stopped during "
                                          "the cast\r\nwinch serviced\r\n");
}

// What a spreadsheet or a hand leaves in casts.csv: rows saved in a
// locale of semicolons and decimal commas still count for the numbering;
// a number typed beyond it is said and passed over; a number alone at the
// end is a person's; an open row with a person's whole row after it is
// still closed.
TEST(WinchCasts, RowsFromSpreadsheetsAndHandsAreNumberedAndKept)
{
    std::string semicolons = "12;2026-12-08T10:00:00.000Z;2026-12-08T10:10:00.000Z;600,0;250;"
                             "2026-12-08T10:05:00.000Z;60,0;55,0;bottle 4\r\n";
    std::string open = "7,2026-12-08T10:00:00.000Z,,65.5,120,2026-12-08T10:01:00.000Z,50.0,0.0,open\r\n";
    std::string typed = "2147483647,2026-12-08T11:00:00.000Z,2026-12-08T11:10:00.000Z,600.0,90,"
                        "2026-12-08T11:05:00.000Z,30.0,30.0,typed by hand\r\n";
    FakeDisk disk;
    disk.files["log\\casts.csv"] = HeaderOf(CastTableWithoutCruise) + semicolons + open + typed + "42";
    CastLog log;
    int last = 0;
    std::string reason;
    ASSERT_TRUE(OpenCastLog(log, disk.ops, "log", last, reason));
    CloseCastLog(log);
    EXPECT_EQ(last, 12);
    EXPECT_EQ(log.notice, "casts.csv holds cast 2147483647, beyond the numbering (up to 1000000): the next cast is "
                          "numbered 13");
    EXPECT_EQ(disk.Text("casts.csv"), HeaderOf(CastTable) + semicolons +
                                          "7,2026-12-08T10:00:00.000Z,2026-12-08T10:01:05.500Z,65.5,120,"
                                          "2026-12-08T10:01:00.000Z,,50.0,0.0,,,,,,,incomplete: the feed stopped during "
                                          "the cast\r\n" + typed + "42\r\n");
}

// A cast's duration on the monotonic clock: the wall clock set back an hour
// during the cast changes its stamps, not how long it took.
TEST(WinchCasts, DurationsOnTheSteadyClock)
{
    CastTracker tracker;
    InitCastTracker(tracker, 10, 0, 0);
    PayoutRate rate;
    std::vector<CastRow> rows;
    for (int second = 0; second <= 20; second++) {
        TimedReading reading = At(second, second < 15 ? 100 : 0);
        if (second >= 5)
            reading.utcMs -= 3600000;
        for (const CastRow& row : TrackCast(tracker, reading, rate))
            rows.push_back(row);
    }
    ASSERT_FALSE(rows.empty());
    EXPECT_NE(RowOf(CastTable, rows.back().record).find(",15.0,100,"), std::string::npos);
}
