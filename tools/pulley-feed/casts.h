// The cast log: casts.csv in the log folder, one row a cast, as the wire
// logs ships keep. A cast starts when the count rises past the start depth
// and ends when it falls back below it; dips shorter than the merge time
// (tow-yos) stay in one cast. The open cast's row is the file's last and is
// written again as the cast goes on, so a feed stopped, or a power cut,
// leaves it there as open; the next start closes it as incomplete and
// numbers on. Portable, through the survey log's file operations.
#pragma once

#include <cstdint>
#include <string>

#include "feed_lines.h"
#include "survey_log.h"

extern const char CastHeader[];

// Its times are stamped in UTC; its duration is measured on the monotonic
// clock, which no clock setting moves.
struct Cast {
    int number;
    int64_t startUtcMs, startMs;
    int64_t lastUtcMs, lastMs;  // the newest reading in it
    int32_t maxMetres;
    int64_t maxUtcMs;
    double maxRateOut, maxRateIn;  // metres a minute, both 0 or more
    int merged;                    // dips below the start joined into it
};
// cast,start_utc,end_utc,duration_s,max_wire_out_m,max_utc,
// max_rate_out_m_per_min,max_rate_in_m_per_min,notes. An open cast has no
// end yet; its duration runs to its newest reading.
std::string BuildCastRow(const Cast& cast, int64_t endUtcMs, int64_t endMs, bool open, const std::string& notes);

struct CastTracker {
    double startMetres;
    int64_t mergeMs;
    int lastNumber;    // of the casts written before
    bool active;
    Cast cast;
    int64_t belowSinceMs;     // monotonic, while under the start; -1 above it
    int64_t belowSinceUtcMs;  // the cast's end, unless it rises again in time
    int64_t writtenMs;        // when the open row was last written (monotonic)
};

// A row for the cast log: the open cast's (which replaces the open one
// before it) or a closed cast's.
struct CastRow {
    std::string text;
    bool open;
};

constexpr int64_t OpenCastRewriteMs = 10000;

void InitCastTracker(CastTracker& tracker, double startMetres, double mergeSeconds, int lastNumber);
// The rows the reading makes: a cast opened, its open row written again
// (every 10 s while it changes), or a cast closed.
std::vector<CastRow> TrackCast(CastTracker& tracker, const TimedReading& timed, const PayoutRate& rate);
// The open cast's row as it stands, for the feed's stop; none when no cast is open.
bool OpenCastRow(const CastTracker& tracker, CastRow& row);
// The current cast for the page: {"number":..,"start_utc":..,"max_m":..}, or null.
std::string CurrentCastJson(const CastTracker& tracker);

struct CastLog {
    const LogFileOps* files;
    std::string folder, path;
    LogFile file;          // null after a failure it could not be cut back from: opened again
    int64_t length;        // whole rows
    int64_t openRowAt;     // where the open cast's row starts; -1 when none
};
// Opens (or starts) casts.csv in the folder. People open it in a spreadsheet
// and type notes: their rows stay, and the casts are numbered on from the
// highest number in it. An open cast left by a feed that stopped is closed
// as incomplete.
bool OpenCastLog(CastLog& log, const LogFileOps& files, const std::string& folder, int& lastNumber,
                 std::string& reason);
// Writes the row in place of the open one, if any, and onto the disk; the
// file is opened again first if it had to be closed (a stick or a share
// gone and back). False, with the reason, leaves the file as it was.
bool WriteCastRow(CastLog& log, const CastRow& row, std::string& reason);
void CloseCastLog(CastLog& log);
