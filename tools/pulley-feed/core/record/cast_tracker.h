// Casts, as the wire logs ships keep: a cast starts when the count rises
// past the start depth and ends when it falls back to it or below; dips shorter
// than the merge time (tow-yos) stay in one cast. Each makes rows for the
// cast log (cast_log.h): its open row, written again as it goes on, and its
// closed row.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "formats/reading_json.h"
#include "reading/payout_rate.h"
#include "reading/reading.h"
#include "record/cast_rows.h"

// Its times are stamped in UTC; its duration is measured on the monotonic
// clock, which no clock setting moves.
struct Cast {
    int number;
    int64_t startUtcMs, startMs;
    int64_t lastUtcMs, lastMs;  // the newest reading in it
    int32_t maxMetres;
    int64_t maxUtcMs;                     // when it reached its deepest
    std::optional<int64_t> maxLeftUtcMs;  // when it left it
    double maxRateOut, maxRateIn;  // metres a minute, both 0 or more
    int merged;                    // dips below the start joined into it
    std::string cruise = "", station = "";
    // Its most tension (the source's unit), when it came (monotonic), and
    // the count read nearest that moment, and how far from it.
    std::optional<double> maxTension = std::nullopt;
    int64_t maxTensionMs = 0;
    std::optional<int32_t> maxTensionWireOut = std::nullopt;
    int64_t maxTensionGapMs = 0;
    int tensionReached = 0;  // 1: the warning's level, 2: the alarm's
};

struct CastTracker {
    std::string cruise, station;  // for the next cast to start
    double startMetres;
    int64_t mergeMs;
    int lastNumber;    // of the casts written before
    bool active;
    Cast cast{};
    int64_t belowSinceMs;     // monotonic, while under the start; -1 above it
    int64_t belowSinceUtcMs;  // the cast's end, unless it rises again in time
    int64_t writtenMs;        // when the open row was last written (monotonic)
    // The load cell's, when there is one: its unit, the warning's and the
    // alarm's levels (0: none), the wire on the drum for the wire in (0:
    // not known), and the newest valid count (-1: none yet).
    std::string tensionUnit = "";
    double warningTension = 0, alarmTension = 0;
    double cableLength = 0;
    int64_t lastCountMs = -1;
    int32_t lastCountMetres = 0;
};

// The cast under way's record, ended then or, open, with no end yet and
// its duration run to its newest reading.
CastRecord CastRecordOf(const CastTracker& tracker, int64_t endUtcMs, int64_t endMs, bool open,
                        const std::string& notes);

// A row for the cast log: the open cast's (which replaces the open one
// before it) or a closed cast's.
struct CastRow {
    CastRecord record;
    bool open;
};

constexpr int64_t OpenCastRewriteMs = 10000;

void InitCastTracker(CastTracker& tracker, double startMetres, double mergeSeconds, int lastNumber);
// The rows the reading makes: a cast opened, its open row written again
// (every 10 s while it changes), or a cast closed.
std::vector<CastRow> TrackCast(CastTracker& tracker, const TimedReading& timed, const PayoutRate& rate);
// A line of the load cell, taken for the cast under way: its most tension,
// with the count read nearest in time (the next reading's, when nearer).
void TrackTension(CastTracker& tracker, double tension, int64_t monotonicMs);
// The open cast's row as it stands, for the feed's stop; none when no cast is open.
bool OpenCastRow(const CastTracker& tracker, CastRow& row);
// The casts the page lists: the last 50 closed.
constexpr size_t MostCastsListed = 50;
struct CastList {
    std::deque<CastRecord> closed;
};
void ListCast(CastList& list, const CastRecord& cast);
// [{"cast":12,"start_utc":"...","end_utc":"..."|null,...},...], each row by
// its table, oldest first, the cast under way last (its end null).
std::string CastsJson(const CastList& list, const CastTracker& tracker);

// The cast under way, for the page; none between casts.
std::optional<CastUnderWay> CastUnderWayOf(const CastTracker& tracker);
