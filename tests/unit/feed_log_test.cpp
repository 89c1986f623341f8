// The survey log on a disk that fails on purpose, and the feed's loop on a
// clock that steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

#include "running/console_writer.h"
#include "fake_disk.h"
#include "record/cast_log.h"
#include "running/feed_logs.h"
#include "running/feed_state.h"
#include "record/survey_rows.h"
#include "running/polls.h"
#include "running/log_writer.h"

static const std::string Day = "pulley-2026-12-08.csv";
static const std::string Header = "utc,metres,status,rate_m_per_min,wire_left_m,note\r\n";

TEST(SurveyLogOnAFailingDisk, EveryRowOnceAndWhole)
{
    FakeDisk disk;
    disk.files["log\\" + Day] = Header + "2026-12-08T10:00:00.000Z,5,valid,0.0,,\r\n2026-12-08T10:00:01.0";  // a power cut
    RowLog log;
    std::string reason;
    ASSERT_TRUE(OpenSurveyLog(log, disk.ops, "log", Day, reason));
    EXPECT_EQ(disk.Text(Day), Header + "2026-12-08T10:00:00.000Z,5,valid,0.0,,\r\n") << "the torn row is cut off";

    disk.shortWriteBytes = 7;
    EXPECT_FALSE(WriteLogRow(log, Day, "row one\r\n", reason));
    disk.failFlush = true;
    EXPECT_FALSE(WriteLogRow(log, Day, "row one\r\n", reason));
    EXPECT_EQ(reason, "the fake disk said no");
    disk.failTruncate = true;  // a short write that cannot even be cut back: cut when the file is opened again
    disk.shortWriteBytes = 3;
    EXPECT_FALSE(WriteLogRow(log, Day, "row one\r\n", reason));
    disk.failTruncate = false;
    EXPECT_TRUE(WriteLogRow(log, Day, "row one\r\n", reason));
    EXPECT_TRUE(WriteLogRow(log, Day, "row two\r\n", reason));
    EXPECT_EQ(disk.Text(Day), Header + "2026-12-08T10:00:00.000Z,5,valid,0.0,,\r\nrow one\r\nrow two\r\n");

    disk.folders.clear();  // the stick pulled and put back empty
    disk.files.clear();
    EXPECT_TRUE(WriteLogRow(log, "pulley-2026-12-09.csv", "next day\r\n", reason));
    EXPECT_EQ(disk.Text("pulley-2026-12-09.csv"), Header + "next day\r\n");
    CloseRowLog(log);
}

TEST(SurveyLogOnAFailingDisk, RowsWaitAreDroppedWithAWordAndCountedAtExit)
{
    FakeDisk disk;
    RowLog log;
    std::string reason;
    ASSERT_TRUE(OpenSurveyLog(log, disk.ops, "log", Day, reason));
    std::vector<std::string> said;
    std::mutex saidLock;
    auto report = [&](const std::string& text) {
        std::lock_guard<std::mutex> hold(saidLock);
        said.push_back(text);
    };
    auto rowAt = [](int second) {
        return LogRow{Day, "2026-12-08T10:00:0" + std::to_string(second) + ".000Z,1,valid,,,\r\n",
                       UnixMsFromUtc({2026, 12, 8, 10, 0, second, 0}), LogLane::Days, false};
    };
    auto saidCount = [&] {
        std::lock_guard<std::mutex> hold(saidLock);
        return said.size();
    };
    {
        // Room for two rows while the disk refuses the first: of the four
        // after it, the oldest two go.
        disk.failAll = true;
        LogWriter writer(log, nullptr, report, 2 * (sizeof(LogRow) + Day.size() + rowAt(0).text.size()));
        writer.Push(rowAt(0));
        for (int wait = 0; wait < 300 && saidCount() == 0; wait++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (int second = 1; second < 5; second++)
            writer.Push(rowAt(second));
        disk.failAll = false;
        bool ended;
        EXPECT_EQ(writer.Finish(3000, ended), 0u);
        EXPECT_TRUE(ended);
    }
    // The row in hand when the disk failed is written first, then the word
    // for the two dropped after it, then the rest: the file stays in time order.
    EXPECT_EQ(disk.Text(Day), Header + rowAt(0).text +
                                  "2026-12-08T10:00:01.000Z,,dropped,,,2 rows from 2026-12-08T10:00:01.000Z to "
                                  "2026-12-08T10:00:02.000Z could not be written\r\n" +
                                  rowAt(3).text + rowAt(4).text);
    ASSERT_EQ(said.size(), 2u);
    EXPECT_NE(said[0].find("cannot be written (the fake disk said no)"), std::string::npos);
    EXPECT_EQ(said[1], "the log is written again");

    // At exit the rows still waiting get one last try; those the disk refuses are counted.
    ASSERT_TRUE(OpenSurveyLog(log, disk.ops, "log", Day, reason));
    LogWriter writer(log, nullptr, report);
    disk.failAll = true;
    for (int second = 5; second < 9; second++)
        writer.Push(rowAt(second));
    bool ended;
    EXPECT_EQ(writer.Finish(3000, ended), 4u);
}

// casts.csv held by a spreadsheet, then the share dropped and back: each
// file's rows wait for that file alone, and both end whole.
TEST(SurveyLogOnAFailingDisk, OneDeadFileHoldsUpOnlyItsOwnRows)
{
    FakeDisk disk;
    std::vector<std::string> said;
    std::mutex saidLock;
    auto waitFor = [](auto done) {
        for (int wait = 0; wait < 500 && !done(); wait++)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return done();
    };
    auto row = [](int second) {
        return LogRow{Day, "2026-12-08T10:00:0" + std::to_string(second) + ".000Z,1,valid,,,\r\n",
                      UnixMsFromUtc({2026, 12, 8, 10, 0, second, 0}), LogLane::Days, false};
    };
    auto castRow = [](const char* end, const char* notes) {
        return LogRow{"", std::string("1,2026-12-08T10:00:00.000Z,") + end + ",9.0,5,2026-12-08T10:00:00.000Z,0.0,0.0," +
                              notes + "\r\n",
                      0, LogLane::Casts, *end == '\0'};
    };
    std::string rows, failure;
    {
        FeedLogs logs;
        ASSERT_TRUE(logs.Open(disk.ops, "log", true, {Day}, [&](const std::string& text) {
            std::lock_guard<std::mutex> hold(saidLock);
            said.push_back(text);
        }, failure));
        LogWriter& writer = *logs.Writer();
        disk.Refuse("casts.csv", true);
        writer.Push(castRow("", "open"));
        for (int second = 0; second < 5; second++) {
            writer.Push(row(second));
            rows += row(second).text;
        }
        EXPECT_TRUE(waitFor([&] { return disk.Text(Day) == Header + rows; })) << "the day's rows do not wait";
        EXPECT_EQ(disk.Text("casts.csv"), HeaderOf(CastTable));
        disk.Refuse("casts.csv", false);
        disk.KillHandles();
        disk.failAll = true;
        for (int second = 5; second < 9; second++) {
            writer.Push(row(second));
            rows += row(second).text;
        }
        writer.Push(castRow("2026-12-08T10:00:09.000Z", ""));
        EXPECT_TRUE(waitFor([&] {
            std::lock_guard<std::mutex> hold(saidLock);
            return said.size() >= 2;
        }));
        disk.failAll = false;
        EXPECT_TRUE(waitFor([&] { return disk.Text(Day) == Header + rows; }));
        bool ended;
        EXPECT_EQ(logs.Close(3000, ended), 0u);
    }
    EXPECT_EQ(disk.Text(Day), Header + rows);
    EXPECT_EQ(disk.Text("casts.csv"), HeaderOf(CastTable) + castRow("2026-12-08T10:00:09.000Z", "").text);
    std::sort(said.begin(), said.end());
    ASSERT_EQ(said.size(), 4u) << "each said once";
    EXPECT_EQ(said[0], "casts.csv in log cannot be written (the fake disk said no); its rows wait and are tried again "
                       "every second");
    EXPECT_EQ(said[1], "casts.csv is written again");
    EXPECT_EQ(said[3], "the log is written again");
}

// A write cut short without an error is a full disk, not a success.
TEST(SurveyLogOnAFailingDisk, AShortWriteIsAFullDisk)
{
    FakeDisk disk;
    RowLog log;
    std::string reason;
    ASSERT_TRUE(OpenSurveyLog(log, disk.ops, "log", Day, reason));
    disk.shortWriteBytes = 3;
    EXPECT_FALSE(WriteLogRow(log, Day, "row one\r\n", reason));
    EXPECT_EQ(reason, "the disk is full: 3 of 9 bytes written");
}

// A clock whose pauses pass at once, and whose wall clock steps.
struct SteppingClock {
    int64_t monotonic = 0, utcOffset = 0;
    int64_t stepAt, step, stopAt;
    static SteppingClock& Of(void* context) { return *static_cast<SteppingClock*>(context); }
    static int64_t Monotonic(void* context) { return Of(context).monotonic; }
    static int64_t Utc(void* context) { return Of(context).monotonic + Of(context).utcOffset; }
    static bool Pause(void* context, int64_t ms)
    {
        SteppingClock& clock = Of(context);
        int64_t before = clock.monotonic;
        clock.monotonic += ms + 1;  // every poll a millisecond late, as on a real machine
        if (before < clock.stepAt && clock.monotonic >= clock.stepAt)
            clock.utcOffset += clock.step;
        return clock.monotonic < clock.stopAt;
    }
};

struct Sent {
    std::vector<std::pair<int64_t, std::string>> lines;
    FeedState* loop;
    static void Lines(void* context, const std::vector<std::string>& lines, const std::string&, bool)
    {
        Sent& sent = *static_cast<Sent*>(context);
        for (const std::string& line : lines)
            sent.lines.push_back({sent.loop->latest.monotonicMs, line});
    }
    static void Say(void*, const std::string&) {}
    void Start(FeedState& feedLoop, LogWriter* writer, const FeedOptions& options = {})
    {
        loop = &feedLoop;
        InitFeedState(feedLoop, options, {.Publish = Lines, .Say = Say, .context = this}, writer);
    }
    static void Take(void* context, const TimedReading& reading) { TakeReading(*static_cast<Sent*>(context)->loop, reading); }
};

static bool SteadyCable(void*, int64_t monotonicMs, FeedReading& reading)
{
    reading = {FeedStatus::Valid, monotonicMs < 20000 ? 120 : 121};
    return true;
}

TEST(FeedStateClock, StepsOfTheWallClockStopNothing)
{
    for (int64_t step : {-3600000LL, 3600000LL}) {
        FakeDisk disk;
        RowLog log;
        std::string reason;
        int64_t start = UnixMsFromUtc({2026, 12, 9, 0, 30, 0, 0});
        ASSERT_TRUE(OpenSurveyLog(log, disk.ops, "log", "pulley-2026-12-09.csv", reason));
        LogWriter writer(log, nullptr, [](const std::string&) {});
        FeedState loop;
        Sent sent;
        sent.Start(loop, &writer);
        SteppingClock clock{.monotonic = 0, .utcOffset = start, .stepAt = 5000, .step = step, .stopAt = 30000};
        RunPolls({.Poll = SteadyCable, .context = nullptr},
                 {.MonotonicMs = SteppingClock::Monotonic, .UtcMs = SteppingClock::Utc, .Pause = SteppingClock::Pause,
                  .context = &clock},
                 Sent::Take, &sent);
        bool ended;
        ASSERT_EQ(writer.Finish(3000, ended), 0u);

        // A line every second of the whole run, the steady ones carrying a rate of 0.0.
        ASSERT_GE(sent.lines.size(), 29u) << step;
        for (size_t i = 1; i < sent.lines.size(); i++)
            EXPECT_LE(sent.lines[i].first - sent.lines[i - 1].first, 1100) << step << " at " << i;
        EXPECT_NE(sent.lines[12].second.find(",120,0.0,A*"), std::string::npos) << sent.lines[12].second;
        EXPECT_NE(sent.lines[12].second.find(step < 0 ? "$PKVNC,233" : "$PKVNC,013"), std::string::npos);
        // Rows: the first ones in the start's day, the stepped ones in their own.
        std::string stepped = step < 0 ? "pulley-2026-12-08.csv" : "pulley-2026-12-09.csv";
        EXPECT_EQ(disk.Text("pulley-2026-12-09.csv").substr(Header.size(), 24), "2026-12-09T00:30:00.000Z");
        EXPECT_NE(disk.Text(stepped).find(step < 0 ? "2026-12-08T23:30:20.001Z,121" : "2026-12-09T01:30:20.001Z,121"),
                  std::string::npos)
            << "the change to 121 m, 20 s into the run";
    }
}

static void BlockedConsole(void* context, bool, const std::string&)
{
    FakeDisk& disk = FakeDisk::Of(context);
    std::unique_lock<std::mutex> hold(disk.lock);
    disk.unblocked.wait(hold, [&] { return !disk.blocked; });
}

// Standard output piped to a program that stopped reading: the warnings on
// standard error still get out.
TEST(FeedConsole, AStandardOutputNobodyReadsHoldsNoWarning)
{
    struct Console {
        std::mutex lock;
        std::condition_variable changed;
        bool outputHeld = true;
        std::vector<std::string> errors;
        static void Write(void* context, bool message, const std::string& text)
        {
            Console& console = *static_cast<Console*>(context);
            std::unique_lock<std::mutex> hold(console.lock);
            if (message)
                console.errors.push_back(text);
            else
                console.changed.wait(hold, [&] { return !console.outputHeld; });
            console.changed.notify_all();
        }
    } held;
    ConsoleWriter console({.Write = Console::Write, .context = &held});
    console.Status("display: valid 120 m");
    console.Message("the log in D:\\survey cannot be written");
    {
        std::unique_lock<std::mutex> hold(held.lock);
        EXPECT_TRUE(held.changed.wait_for(hold, std::chrono::seconds(3), [&] { return !held.errors.empty(); }));
        held.outputHeld = false;
        held.changed.notify_all();
    }
    EXPECT_TRUE(console.Finish(3000));
}

TEST(FeedStateClock, AHeldDiskOrConsoleHoldsNoLine)
{
    FakeDisk disk;
    RowLog log;
    std::string reason;
    ASSERT_TRUE(OpenSurveyLog(log, disk.ops, "log", Day, reason));
    disk.Block(true);
    // Held for 3 s at most: a loop that waited for the disk fails, not hangs.
    std::thread release([&disk] {
        std::unique_lock<std::mutex> hold(disk.lock);
        disk.unblocked.wait_for(hold, std::chrono::seconds(3), [&disk] { return !disk.blocked; });
        disk.blocked = false;
        disk.unblocked.notify_all();
    });
    {
        LogWriter writer(log, nullptr, [](const std::string&) {});
        ConsoleWriter console({.Write = BlockedConsole, .context = &disk});
        FeedState loop;
        Sent sent;
        sent.Start(loop, &writer);
        auto longest = std::chrono::steady_clock::duration::zero();
        for (int i = 0; i < 200; i++) {  // a change of count every reading: a line and a row each
            auto before = std::chrono::steady_clock::now();
            TakeReading(loop, {{FeedStatus::Valid, i}, i * 250LL, 1796733296789 + i * 250LL});
            console.Status("status " + std::to_string(i));
            console.Message("message " + std::to_string(i));
            longest = std::max(longest, std::chrono::steady_clock::now() - before);
        }
        EXPECT_EQ(sent.lines.size(), 200u);
        EXPECT_LT(longest, std::chrono::milliseconds(100));
        disk.Block(false);
        bool ended;
        EXPECT_EQ(writer.Finish(3000, ended), 0u);
        EXPECT_TRUE(console.Finish(3000));
    }
    release.join();
    std::string text = disk.Text(Day);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 201);
}

// A feed on a fake disk that watches the rate (100 m/min) and logs casts.
struct WatchedFeed {
    FeedLogs logs;
    FeedState loop;
    Sent sent;
    explicit WatchedFeed(FakeDisk& disk)
    {
        FeedOptions options;
        options.alarms.rate = true;
        options.alarms.ratePerMinute = 100;
        options.casts = true;
        std::string failure;
        EXPECT_TRUE(logs.Open(disk.ops, "log", true, {Day}, [](const std::string&) {}, failure)) << failure;
        sent.Start(loop, logs.Writer(), options);
    }
};

// A reset at the surface and a preset, as the display reports them (its
// count of presets changes) and as a relay line shows them (a jump): no
// rate in the lines, the log or the casts, no rate alarm, and a note.
TEST(FeedStatePresets, APresetOrResetIsNoPayout)
{
    for (bool displayCounts : {true, false}) {
        FakeDisk disk;
        std::vector<std::string> said;
        {
            WatchedFeed feed(disk);
            FeedLogs& logs = feed.logs;
            FeedState& loop = feed.loop;
            Sent& sent = feed.sent;
            int64_t ms = 0;
            auto take = [&](int32_t metres, int presets) {
                ms += 250;
                TakeReading(loop, {{FeedStatus::Valid, metres, displayCounts ? presets : -1}, ms,
                                   UnixMsFromUtc({2026, 12, 8, 10, 0, 0, 0}) + ms});
            };
            // Paying out 1 m a second to 502 m, a reset to 0, then a preset to
            // 10,033 m and another, smaller than any jump, to 500 m.
            for (int32_t metres = 490; metres <= 502; metres++)
                for (int i = 0; i < 4; i++)
                    take(metres, 7);
            for (int i = 0; i < 24; i++)
                take(0, 8);
            for (int i = 0; i < 24; i++)
                take(10033, 9);
            take(10033 - 5, displayCounts ? 10 : 9);
            EndFeedState(loop);
            for (const auto& line : sent.lines)
                if (line.second.find("IIALR") != std::string::npos)
                    said.push_back(line.second);
            // After each preset: no rate until it is known again, 5 s on.
            std::vector<std::string> afterPresets;
            for (const auto& line : sent.lines)
                if (line.second.find(",0,") != std::string::npos || line.second.find(",10033,") != std::string::npos)
                    afterPresets.push_back(line.second.substr(17, line.second.size() - 22));
            EXPECT_EQ(afterPresets, std::vector<std::string>({"0,,A", "0,,A", "0,,A", "0,,A", "0,,A", "0,0.0,A",
                                                              "10033,,A", "10033,,A", "10033,,A", "10033,,A",
                                                              "10033,,A", "10033,0.0,A"}));
            bool ended;
            ASSERT_EQ(logs.Close(3000, ended), 0u);
        }
        EXPECT_EQ(said, std::vector<std::string>()) << "no rate alarm";
        std::string rows = disk.Text(Day);
        EXPECT_NE(rows.find(",0,valid,,,preset: 502 m to 0 m\r\n"), std::string::npos) << rows;
        EXPECT_NE(rows.find(",10033,valid,,,preset: 0 m to 10033 m\r\n"), std::string::npos) << rows;
        EXPECT_EQ(rows.find("preset: 10033 m to 10028 m") != std::string::npos, displayCounts)
            << "a preset of 5 m only the display can tell";
        for (size_t at = rows.find(",valid,"); at != std::string::npos; at = rows.find(",valid,", at + 1))
            EXPECT_LE(std::fabs(std::atof(rows.c_str() + at + 7)), 80.0) << "no rate of a jump: " << rows;
        // The cast from 490 m to the reset: its fastest is the payout's 60 m/min.
        std::string cast = disk.Text("casts.csv");
        EXPECT_NE(cast.find(",502,2026-12-08T10:00:12.250Z,2026-12-08T10:00:13.250Z,60.3,0.0,,,,,,,\r\n"),
                  std::string::npos)
            << cast;
    }
}

// A winch paying out at a steady speed, as the feed sees it: the pulley
// counts whole metres, the display reads it once a second (each tick late
// or early by up to 0.1 s), and the feed asks four times a second, each
// poll late by up to 0.3 s. Deterministic, from its seed.
struct Staircase {
    double metresPerSecond, startMetres, tickPhase;
    uint32_t seed;
    static double Fraction(uint32_t bits) { return (bits >> 8) / double(1u << 24); }
    double Tick(int64_t k) const  // the display's kth read of the pulley
    {
        uint32_t salt = static_cast<uint32_t>(tickPhase * 1e6);
        return tickPhase + static_cast<double>(k) + Fraction((static_cast<uint32_t>(k) + salt) * 2654435761u) * 0.2 - 0.1;
    }
    // The time and the count of the poll due at the time, in ms and metres.
    std::pair<int64_t, int32_t> Poll(double seconds)
    {
        seed = seed * 1664525u + 1013904223u;
        double at = seconds + Fraction(seed) * 0.3;
        int64_t k = static_cast<int64_t>(std::floor(at - tickPhase)) + 1;
        while (Tick(k) > at)
            k--;
        return {static_cast<int64_t>(at * 1000), static_cast<int32_t>(std::floor(startMetres + metresPerSecond * Tick(k)))};
    }
};

// The rate is empty until its readings span 5 s, and then right within
// 16 m/min (11 once its window is full), at any speed a winch runs.
TEST(FeedRate, AStaircaseReadFourTimesASecond)
{
    double worstEarly = 0, worstFull = 0;
    for (double perMinute : {0.0, 6.0, 15.0, 30.0, 60.0, 90.0, 120.0, 150.0, -60.0})
        for (uint32_t trial = 1; trial <= 40; trial++) {
            Staircase winch{perMinute / 60, 100 + trial * 0.37, trial * 0.023, trial};
            PayoutRate rate;
            int64_t first = -1;
            for (int poll = 0; poll < 120; poll++) {
                auto [ms, metres] = winch.Poll(poll * 0.25);
                AddToRate(rate, ms, metres);
                if (first < 0)
                    first = ms;
                if (ms - first < RateKnownSpanMs) {
                    ASSERT_EQ(RateText(rate), "") << perMinute << " m/min after " << ms - first << " ms";
                    continue;
                }
                ASSERT_TRUE(RateKnown(rate));
                double error = std::fabs(MetresPerMinute(rate) - perMinute);
                double& worst = ms - first >= RateWindowMs ? worstFull : worstEarly;
                worst = std::max(worst, error);
            }
        }
    EXPECT_LE(worstEarly, 16.0);
    EXPECT_LE(worstFull, 11.0);
    std::printf("the rate's worst error: %.1f m/min from 5 s, %.1f with the window full\n", worstEarly, worstFull);
}

// A feed started mid-cast, a preset while the cable moves, and a stale
// spell: each starts the rate afresh, and until it is known again no line,
// no alarm and no cast maximum has one.
TEST(FeedStatePresets, NoRateAfterAStartAPresetOrAGapUntilItIsKnown)
{
    FakeDisk disk;
    WatchedFeed feed(disk);
    FeedState& loop = feed.loop;
    Sent& sent = feed.sent;
    Staircase winch{1, 300.4, 0.6, 7};  // 60 m/min, started at 300 m
    std::vector<std::pair<double, std::string>> rates;  // the lines' rates, by the time of the reading
    double shift = 0;
    for (int poll = 0; poll < 160; poll++) {
        double seconds = poll * 0.25;
        if (seconds == 15)
            shift = 200;  // preset 200 m further while paying out
        auto [ms, metres] = winch.Poll(seconds);
        bool stale = seconds >= 25 && seconds < 28;
        size_t before = sent.lines.size();
        TakeReading(loop, {{stale ? FeedStatus::NoData : FeedStatus::Valid, metres + static_cast<int32_t>(shift)}, ms,
                           UnixMsFromUtc({2026, 12, 8, 10, 0, 0, 0}) + ms});
        for (size_t i = before; i < sent.lines.size(); i++)
            if (sent.lines[i].second.rfind("$PKVNC,", 0) == 0) {
                std::vector<std::string> fields = SplitFields(sent.lines[i].second);
                rates.push_back({seconds, fields[3]});
            }
    }
    EndFeedState(loop);
    bool ended;
    ASSERT_EQ(feed.logs.Close(3000, ended), 0u);
    for (const auto& [seconds, text] : rates) {
        double since = seconds < 15 ? seconds : seconds < 28 ? seconds - 15 : seconds - 28;
        if (since < 5 || (seconds >= 25 && seconds < 28)) {
            EXPECT_EQ(text, "") << "at " << seconds << " s";
        } else if (since >= 5.5) {
            EXPECT_NEAR(std::atof(text.c_str()), 60, 16) << "at " << seconds << " s";
        }
    }
    for (const auto& line : sent.lines)
        EXPECT_EQ(line.second.find("IIALR"), std::string::npos) << line.second;
    std::string rows = disk.Text("casts.csv");
    CastRecord cast;
    ASSERT_TRUE(ReadCastRow(rows.substr(rows.find('\n') + 1), cast)) << rows;
    EXPECT_NEAR(cast.maxRateOut, 60, 16) << rows;
}
