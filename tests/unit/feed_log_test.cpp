// The survey log on a disk that fails on purpose, and the feed's loop on a
// clock that steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "console_writer.h"
#include "fake_disk.h"
#include "feed_loop.h"
#include "log_writer.h"

static const std::string Day = "pulley-2026-12-08.csv";
static const std::string Header = "utc,metres,status,rate_m_per_min,wire_left_m,note\r\n";

TEST(SurveyLogOnAFailingDisk, EveryRowOnceAndWhole)
{
    FakeDisk disk;
    disk.files["log\\" + Day] = Header + "2026-12-08T10:00:00.000Z,5,valid,0.0,,\r\n2026-12-08T10:00:01.0";  // a power cut
    SurveyLog log;
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
    CloseSurveyLog(log);
}

TEST(SurveyLogOnAFailingDisk, RowsWaitAreDroppedWithAWordAndCountedAtExit)
{
    FakeDisk disk;
    SurveyLog log;
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
                       UnixMsFromUtc({2026, 12, 8, 10, 0, second, 0}), false, false};
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
    FeedLoop* loop;
    static void Lines(void* context, const std::vector<std::string>& lines, const std::string&, bool)
    {
        Sent& sent = *static_cast<Sent*>(context);
        for (const std::string& line : lines)
            sent.lines.push_back({sent.loop->latest.monotonicMs, line});
    }
    static void Say(void*, const std::string&) {}
    void Start(FeedLoop& feedLoop, LogWriter* writer, const FeedOptions& options = {})
    {
        loop = &feedLoop;
        InitFeedLoop(feedLoop, options, {.Publish = Lines, .Say = Say, .context = this}, writer, 0);
    }
    static void Take(void* context, const TimedReading& reading) { TakeReading(*static_cast<Sent*>(context)->loop, reading); }
};

static FeedReading SteadyCable(void*, int64_t monotonicMs)
{
    return {FeedStatus::Valid, monotonicMs < 20000 ? 120 : 121};
}

TEST(FeedLoopClock, StepsOfTheWallClockStopNothing)
{
    for (int64_t step : {-3600000LL, 3600000LL}) {
        FakeDisk disk;
        SurveyLog log;
        std::string reason;
        int64_t start = UnixMsFromUtc({2026, 12, 9, 0, 30, 0, 0});
        ASSERT_TRUE(OpenSurveyLog(log, disk.ops, "log", "pulley-2026-12-09.csv", reason));
        LogWriter writer(log, nullptr, [](const std::string&) {});
        FeedLoop loop;
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

TEST(FeedLoopClock, AHeldDiskOrConsoleHoldsNoLine)
{
    FakeDisk disk;
    SurveyLog log;
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
        FeedLoop loop;
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
