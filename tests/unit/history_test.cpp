// The trend: a point a second for a day, read back from the day files, and
// served a step at a time without losing a peak.
#include <gtest/gtest.h>

#include "fake_disk.h"
#include "record/history.h"
#include "record/survey_rows.h"
#include "reading/utc_time.h"

static const int64_t Midnight = UnixMsFromUtc({2026, 12, 9, 0, 0, 0, 0}) / 1000;

static PayoutRate Steady(int32_t metres)
{
    PayoutRate rate;
    AddToRate(rate, 0, metres);
    AddToRate(rate, RateKnownSpanMs, metres);
    return rate;
}

TEST(History, OneLastPointASecondForADayWithNulls)
{
    History history;
    // Four readings a second: the last of each second stays.
    for (int quarter = 0; quarter < 4 * 90000; quarter++) {
        int64_t ms = (Midnight - 3600) * 1000 + quarter * 250;
        FeedStatus status = quarter / 4 % 100 == 98 ? FeedStatus::LostLink : FeedStatus::Valid;
        history.Add(ms, {status, quarter}, Steady(quarter));
    }
    int64_t newest = Midnight - 3600 + 89999;
    EXPECT_EQ(history.Newest(), newest);
    ASSERT_NE(history.At(newest), nullptr);
    EXPECT_EQ(history.At(newest)->metres, 4 * 89999 + 3);
    EXPECT_EQ(history.At(newest - 86400), nullptr) << "a day ago is written over";
    HistoryQuery query{.seconds = 3, .step = 1};
    ASSERT_TRUE(ParseHistoryQuery("seconds=3", query));
    std::string json = HistoryJson(history, query, {});
    EXPECT_EQ(json.substr(0, json.find("],\"limits\"") + 1),
              "{\"step_s\":1,\"points\":[[" + std::to_string(newest - 2) + "000,359991,0.0],[" +
                  std::to_string(newest - 1) + "000,null,null],[" + std::to_string(newest) + "000,359999,0.0]]");
    for (const char* bad : {"seconds=0", "seconds=86401", "step=3601", "seconds=60&seconds=60", "minutes=1",
                            "seconds=1e3", "seconds=60&", "step=-1", "seconds=+600", "seconds=0600", "step=01"})
        EXPECT_FALSE(ParseHistoryQuery(bad, query)) << bad;
    EXPECT_TRUE(ParseHistoryQuery("step=60&seconds=86400", query));
    EXPECT_TRUE(ParseHistoryQuery("", query) && query.seconds == 600 && query.step == 1);
}

TEST(History, AStepKeepsItsPeakAndEndsAGap)
{
    History history;
    // A minute rising to a one-second peak of 500 m and back, then a
    // minute with no valid count.
    for (int second = 0; second < 120; second++) {
        bool valid = second < 60;
        int32_t metres = second == 30 ? 500 : 100 + second;
        history.Add((Midnight + second) * 1000, {valid ? FeedStatus::Valid : FeedStatus::NoDisplay, metres},
                    Steady(metres));
        if (valid)  // the load cell's lines, 20 a second, with a 50 ms spike at 12.5 s
            for (int line = 0; line < 20; line++)
                history.AddTension((Midnight + second) * 1000 + line * 50, second == 12 && line == 10 ? 2839 : 1200);
    }
    HistoryQuery query{.seconds = 120, .step = 60};
    std::string json = HistoryJson(history, query, {.above = true, .aboveMetres = 450.5, .tensionAlarm = 2500});
    std::string at = std::to_string(Midnight);
    EXPECT_EQ(json, "{\"step_s\":60,\"points\":[[" + at + "000,100,0.0],[" + std::to_string(Midnight + 30) +
                        "000,500,0.0],[" + std::to_string(Midnight + 59) + "000,159,0.0],[" +
                        std::to_string(Midnight + 119) + "000,null,null]],\"tension\":[[" +
                        std::to_string(Midnight + 12) + "000,2839],[" + std::to_string(Midnight + 60) +
                        "000,null]],\"limits\":{\"above_m\":450.5,\"below_m\":null,\"reserve_m\":null,"
                        "\"tension_warning\":null,\"tension_alarm\":2500}}");
}

TEST(History, ReadBackFromTheDayFiles)
{
    FakeDisk disk;
    const std::string header = HeaderOf(SurveyTable);
    // Yesterday's file ends with a row a power cut tore; today's has a
    // clock set back a minute, and a steady cable logged once a minute.
    disk.files["log\\pulley-2026-12-08.csv"] = header + "2026-12-08T23:59:58.000Z,10,valid,6.0,,\r\n2026-12-08T23:59:5";
    disk.files["log\\pulley-2026-12-09.csv"] = header +
                                               "2026-12-09T00:00:10.250Z,12,valid,,,preset: 10 m to 12 m\r\n"
                                               "2026-12-09T00:01:10.250Z,12,valid,0.0,,\r\n"
                                               "2026-12-09T00:00:30.000Z,,lost-link,,,\r\n"
                                               "2026-12-09T00:00:40.000Z,13,valid,0.0,,\r\n";
    disk.files["log\\other.csv"] = "time;depth\r\n2026-12-09T00:00:00;99\r\n";
    History history;
    EXPECT_EQ(FillHistoryFromLog(history, disk.ops, "log", (Midnight + 100) * 1000), 5u);
    auto metres = [&](int64_t second) {
        const HistoryPoint* point = history.At(Midnight + second);
        return point == nullptr ? -1 : point->valid ? point->metres : -2;
    };
    EXPECT_EQ(metres(-2), 10);
    EXPECT_EQ(metres(9), 10) << "held until the next row";
    EXPECT_EQ(metres(10), 12);
    EXPECT_FALSE(history.At(Midnight + 10)->rateKnown) << "no rate on a preset's row";
    EXPECT_EQ(metres(35), -2) << "the clock set back: its own rows again";
    EXPECT_EQ(metres(45), 13);
    EXPECT_EQ(metres(100), 13) << "held for a minute and a little more";
    EXPECT_EQ(metres(-100), -1);
}
