// The trend: one point a second (the last reading of that second) for the
// last 24 hours, in memory, read back from the day files at start so that a
// restart loses none of it, and served as /history.json. A point lives in
// the slot of its second of the day, so the history stays in the order of
// UTC whatever order readings come in, and a clock set back writes over
// the seconds it repeats. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/log_file_ops.h"
#include "reading/payout_rate.h"
#include "reading/reading.h"

constexpr int64_t HistorySeconds = 86400;

struct HistoryPoint {
    int64_t second = -1;  // UTC seconds since 1970; -1: none yet
    bool valid = false;   // a valid count; else metres and rate mean nothing
    int32_t metres = 0;
    float rate = 0;       // metres a minute
    bool rateKnown = false;
};

// The most tension of a second, from every line of the load cell in it.
struct TensionSecond {
    int64_t second = -1;
    float most = 0;
};

// 86,400 points of 24 bytes: about 2 MiB, whatever runs through it; and,
// with a load cell, a second's most tension each (about 1 MiB more).
class History {
public:
    History();
    void Put(int64_t second, bool valid, int32_t metres, bool rateKnown, double rate);
    void Add(int64_t utcMs, const FeedReading& reading, const PayoutRate& rate);
    void AddTension(int64_t utcMs, double tension);
    // The point of that second, or null when there is none.
    const HistoryPoint* At(int64_t second) const;
    const TensionSecond* TensionAt(int64_t second) const;
    bool HasTension() const { return !tension_.empty(); }
    int64_t Newest() const { return newest_; }  // -1 while empty

private:
    std::vector<HistoryPoint> slots_;
    std::vector<TensionSecond> tension_;  // made with the first line of a load cell
    int64_t newest_ = -1;
};

// Reads back the day files of the 24 hours before nowMs. Each row holds
// until the next, for at most a minute and a little more: the log writes a
// row on every change and one a minute on a steady cable, so a longer
// silence is a feed that was not running. Torn rows and rows that are not
// ours are passed over. The rows read.
size_t FillHistoryFromLog(History& history, const LogFileOps& files, const std::string& folder, int64_t nowMs);
// The same from the files named (paths), oldest first: a cruise folder's.
size_t FillHistoryFromFiles(History& history, const LogFileOps& files, const std::vector<std::string>& paths,
                            int64_t nowMs);

// /history.json?seconds=N&step=S: N from 1 to 86,400 (600 unless given),
// S from 1 to 3,600 (1 unless given); false for anything else.
struct HistoryQuery {
    int64_t seconds = 600;
    int64_t step = 1;
};
bool ParseHistoryQuery(const std::string& query, HistoryQuery& parsed);

// The limits the page draws, in metres of wire out, and the tension's in
// its unit (0: not watched); none when not asked.
struct ChartLimits {
    bool above = false, below = false, reserve = false;
    double aboveMetres = 0, belowMetres = 0, reserveMetres = 0;  // reserve: the count at which it is reached
    double tensionWarning = 0, tensionAlarm = 0;
};

// {"step_s":S,"points":[[unix_ms,metres,rate],...],"limits":{...}}: the N
// seconds up to the newest, oldest first, metres and rate null where the
// count was not valid (or nothing was read). With S > 1 each step of S
// seconds (counted from midnight UTC) gives its last valid count and, where
// the count went lower or higher within the step, those extremes too, each
// at its own second, so that a peak is drawn where it was at any step; a
// step that ends without a valid count ends with a null point, so that the
// gap shows. With a load cell, "tension":[[unix_ms,most],...]: each step's
// most tension at its second, null for a step without a line.
std::string HistoryJson(const History& history, const HistoryQuery& query, const ChartLimits& limits);
