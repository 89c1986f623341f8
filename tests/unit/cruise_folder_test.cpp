// The cruise folder: its checksums and names, and a feed across an hour
// and a cruise change on a fake disk, whose manifests list only closed
// files and are never left torn.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "fake_disk.h"
#include "formats/md5.h"
#include "record/cruise_folder.h"
#include "running/feed_logs.h"
#include "running/feed_state.h"

static std::string Md5Of(const std::string& text, size_t split = 0)
{
    Md5 sum;
    sum.Add(text.data(), split);
    sum.Add(text.data() + split, text.size() - split);
    return sum.Hex();
}

TEST(CruiseFolder, ChecksumsAndNames)
{
    EXPECT_EQ(Md5Of(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Of("The quick brown fox jumps over the lazy dog", 7), "9e107d9d372bb6826bd81d3542a419d6");
    std::string million(1000000, 'a');
    for (size_t split : {0, 55, 56, 64, 65537})  // the padding's edges, and a read's
        EXPECT_EQ(Md5Of(million, split), "7707d6ae4e027c70eea2a935c2296f21") << split;

    CruiseLayout layout{.on = true, .hourly = true, .model = "kvarn", .location = "aftdeck"};
    int64_t hour = UnixMsFromUtc({2026, 12, 9, 1, 0, 0, 0}), start = 0;
    EXPECT_EQ(PeriodStartMs(layout, hour + 3599999), hour);
    EXPECT_EQ(RawFile(layout, CountFiles, hour), "raw\\winch_kvarn_aftdeck-20261209T010000Z.csv");
    EXPECT_TRUE(RawFileStart(layout, CountFiles, "winch_kvarn_aftdeck-20261209T010000Z.csv", start) && start == hour);
    for (const char* other : {"winchcasts_kvarn_aftdeck-20261209T010000Z.csv", "winch_kvarn_aftdeck-20261209T250000Z.csv",
                              "winch_kvarn_aftdeck-20261209T010000Z.csv.tmp", ".winch_kvarn_aftdeck-20261209T010000Z.csv"})
        EXPECT_FALSE(RawFileStart(layout, CountFiles, other, start)) << other;
    EXPECT_EQ(TempFor("a\\MD5SUMS"), "a\\.MD5SUMS.tmp");
    for (const char* id : {"AT50-12", "RR2601", "sr_2612.b"})
        EXPECT_TRUE(IsCruiseFolderName(id)) << id;
    for (const char* id : {"", ".AT50", "-AT50", "AT 50", "AT50/12", "\xc3\x84T50", "AT50-12-AT50-12-AT50-12-AT50-12-AT50-12-X"})
        EXPECT_FALSE(IsCruiseFolderName(id)) << id;
    for (const char* part : {"", "Kvarn", "aft-deck", "aft deck"})
        EXPECT_FALSE(IsNamePart(part)) << part;
    // Refused at start, with the reason: what cannot name the folder or its files.
    auto parse = [](std::vector<std::string> args, FeedOptions& options) {
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        return ParseFeedOptions(static_cast<int>(argv.size()), argv.data(), options);
    };
    FeedOptions options;
    for (std::vector<std::string> refused : {std::vector<std::string>{"--cruise", "AT50-12"},
                                             {"--log", "x", "--cruise", "AT 50"},
                                             {"--log", "x", "--cruise", "AT50-12", "--device-model", "Kvarn"},
                                             {"--log", "x", "--cruise", "AT50-12", "--rotate", "weekly"}}) {
        refused.insert(refused.begin(), {"pulley-feed", "--quiet", "--layout", "cruise"});
        EXPECT_EQ(parse(refused, options), ExitUsage) << refused[5];
    }
    ASSERT_EQ(parse({"pulley-feed", "--log", "x", "--layout", "cruise", "--cruise", "AT50-12", "--rotate", "hourly",
                     "--device-location", "aftdeck"}, options), std::nullopt);
    EXPECT_TRUE(options.layout.on && options.layout.hourly && options.layout.location == "aftdeck");
}

// The manifest's lines checked against the disk: each file summed as it is.
static std::vector<std::string> Summed(FakeDisk& disk, const std::string& folder)
{
    std::vector<std::string> paths;
    std::istringstream lines(disk.files[folder + "\\MD5SUMS"]);
    for (std::string line; std::getline(lines, line);) {
        std::string path = line.substr(34), file = folder + "\\" + path;
        std::replace(file.begin(), file.end(), '/', '\\');
        EXPECT_EQ(line.substr(0, 34), Md5Of(disk.files[file]) + "  ") << line;
        paths.push_back(path);
    }
    return paths;
}

TEST(CruiseFolder, ClosedFilesAreSummedAndAManifestIsNeverTorn)
{
    FakeDisk disk;
    FeedOptions options;
    options.casts = true;
    options.cruise = "AT50-12";
    options.logFolder = "log";
    options.layout = {.on = true, .hourly = true, .model = "kvarn", .location = "deck"};
    int64_t start = UnixMsFromUtc({2026, 12, 8, 23, 59, 58, 0});
    LogFileNames names = LogFilesAtStart(disk.ops, "log", options.cruise, options.layout, start);
    EXPECT_EQ(names.survey, "AT50-12\\pulley\\raw\\winch_kvarn_deck-20261208T230000Z.csv");
    FeedLogs logs;
    std::string failure;
    ASSERT_TRUE(logs.Open(disk.ops, "log", true, names, [](const std::string&) {}, failure)) << failure;
    FeedState feed;
    FeedOutputs quiet{.Publish = [](void*, auto&, auto&, bool) {}, .Say = [](void*, auto&) {}, .context = nullptr};
    InitFeedState(feed, options, quiet, logs.Writer(),
                  {.files = &disk.ops, .cruiseStartMs = names.cruiseStartMs, .version = "1.0.0.1"});
    StartCruiseFolder(feed, names.periodMs);
    int64_t ms = 0;
    auto take = [&](int32_t metres) {
        ms += 250;
        TakeReading(feed, {{FeedStatus::Valid, metres}, ms, start + ms});
    };
    for (int32_t metres = 0; metres < 40; metres++)  // a cast begins across midnight
        take(metres);
    ChangeCruise(feed, "AT50-13", start + ms);  // under the cast, which ends in its own cruise
    for (int32_t metres = 40; metres >= 0; metres--)
        take(metres);
    ChangeCruise(feed, "AT50-14", start + ms);
    bool ended;
    ASSERT_EQ(logs.Close(5000, ended), 0u);

    EXPECT_EQ(Summed(disk, "log\\AT50-12\\pulley"),
              (std::vector<std::string>{"docs/winch_device.txt", "docs/winch_format.txt", "docs/winchcasts_format.txt",
                                        "docs/winchevents_format.txt", "docs/winchwirelog_format.txt",
                                        "raw/winch_kvarn_deck-20261208T230000Z.csv",
                                        "raw/winch_kvarn_deck-20261209T000000Z.csv",
                                        "raw/winchcasts_kvarn_deck-20261208T230000Z.csv",
                                        "raw/winchevents_kvarn_deck-20261208T230000Z.csv",
                                        "raw/winchwirelog_kvarn_deck-20261208T230000Z.csv"}));
    EXPECT_NE(disk.Text("AT50-12\\pulley\\raw\\winchcasts_kvarn_deck-20261208T230000Z.csv").find(",40,"),
              std::string::npos) << "the cast ended in the cruise it started in";
    EXPECT_NE(disk.Text("AT50-12\\pulley\\raw\\winchwirelog_kvarn_deck-20261208T230000Z.csv").find("Cast,AT50-12,"),
              std::string::npos);
    EXPECT_EQ(Summed(disk, "log\\AT50-13\\pulley"),
              (std::vector<std::string>{"docs/winch_device.txt", "docs/winch_format.txt", "docs/winchcasts_format.txt",
                                        "docs/winchevents_format.txt", "docs/winchwirelog_format.txt",
                                        "raw/winch_kvarn_deck-20261209T000000Z.csv",
                                        "raw/winchevents_kvarn_deck-20261209T000000Z.csv",
                                        "raw/winchwirelog_kvarn_deck-20261209T000000Z.csv"}));
    EXPECT_EQ(Summed(disk, "log\\AT50-14\\pulley").size(), 5u) << "its descriptions alone: its wire log is open";

    // Started again with another cruise: the folder left open is summed
    // whole, through a rewrite cut short (as by a power cut) that leaves
    // the manifest as it was.
    std::string before = disk.Text("AT50-14\\pulley\\MD5SUMS");
    std::vector<std::string> seen;  // the manifest as the failed rewrite left it
    options.cruise = "AT50-15";
    names = LogFilesAtStart(disk.ops, "log", options.cruise, options.layout, start + ms);
    ASSERT_TRUE(logs.Open(disk.ops, "log", true, names,
                          [&](const std::string& said) {
                              if (said.find("cannot") != std::string::npos)
                                  seen.push_back(disk.Text("AT50-14\\pulley\\MD5SUMS"));
                          },
                          failure));
    InitFeedState(feed, options, quiet, logs.Writer(),
                  {.files = &disk.ops, .cruiseStartMs = names.cruiseStartMs, .version = "1.0.0.1"});
    disk.shortWriteBytes = 20;
    StartCruiseFolder(feed, names.periodMs);
    while (seen.empty())
        std::this_thread::yield();
    // Another file written meanwhile: the retry still takes up the temp.
    logs.Writer()->Push({.dayName = "note.txt", .text = "x", .utcMs = start + ms, .lane = LogLane::WholeFile, .open = false});
    ASSERT_EQ(logs.Close(5000, ended), 0u);
    EXPECT_EQ(seen, std::vector<std::string>{before});
    EXPECT_EQ(Summed(disk, "log\\AT50-14\\pulley").size(), 6u) << "with its wire log";
    EXPECT_EQ(Summed(disk, "log\\AT50-15\\pulley").size(), 5u);
    for (const auto& [path, text] : disk.files)
        EXPECT_EQ(path.find("\\."), std::string::npos) << "a temp left: " << path;
}
