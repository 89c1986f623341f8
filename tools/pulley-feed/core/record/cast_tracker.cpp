// Casts from the readings: started, merged, written again while open, closed.
#include "record/cast_tracker.h"

#include <algorithm>

CastRecord CastRecordOf(const Cast& cast, int64_t endUtcMs, int64_t endMs, bool open, const std::string& notes)
{
    return {.number = cast.number,
            .startUtcMs = cast.startUtcMs,
            .endUtcMs = open ? std::nullopt : std::optional<int64_t>(endUtcMs),
            .durationSeconds = static_cast<double>(endMs - cast.startMs) / 1000,
            .maxMetres = cast.maxMetres,
            .maxUtcMs = cast.maxUtcMs,
            .maxLeftUtcMs = cast.maxLeftUtcMs,
            .maxRateOut = cast.maxRateOut,
            .maxRateIn = cast.maxRateIn,
            .cruise = cast.cruise,
            .station = cast.station,
            .notes = notes};
}

void InitCastTracker(CastTracker& tracker, double startMetres, double mergeSeconds, int lastNumber)
{
    tracker = CastTracker{};
    tracker.startMetres = startMetres;
    tracker.mergeMs = static_cast<int64_t>(mergeSeconds * 1000);
    tracker.lastNumber = lastNumber;
    tracker.belowSinceMs = -1;
}

static std::string ClosedNote(const Cast& cast)
{
    return cast.merged == 0 ? "" : "tow-yo: " + std::to_string(cast.merged + 1) + " casts joined";
}

// Closes the cast at the time it fell below the start, if it has stayed
// there for the merge time.
static void CloseIfDone(CastTracker& tracker, int64_t nowMs, std::vector<CastRow>& rows)
{
    if (!tracker.active || tracker.belowSinceMs < 0 || nowMs - tracker.belowSinceMs < tracker.mergeMs)
        return;
    rows.push_back({CastRecordOf(tracker.cast, tracker.belowSinceUtcMs, tracker.belowSinceMs, false,
                                 ClosedNote(tracker.cast)),
                    false});
    tracker.active = false;
}

std::vector<CastRow> TrackCast(CastTracker& tracker, const TimedReading& timed, const PayoutRate& rate)
{
    std::vector<CastRow> rows;
    int64_t now = timed.monotonicMs;
    if (timed.reading.status != FeedStatus::Valid) {
        CloseIfDone(tracker, now, rows);
        return rows;
    }
    int32_t metres = timed.reading.metres;
    Cast& cast = tracker.cast;
    if (!tracker.active) {
        if (metres <= tracker.startMetres)
            return rows;
        tracker.active = true;
        tracker.belowSinceMs = -1;
        tracker.writtenMs = now;
        cast = Cast{.number = ++tracker.lastNumber, .startUtcMs = timed.utcMs, .startMs = now,
                    .lastUtcMs = timed.utcMs, .lastMs = now, .maxMetres = metres, .maxUtcMs = timed.utcMs,
                    .maxLeftUtcMs = std::nullopt, .maxRateOut = 0, .maxRateIn = 0, .merged = 0,
                    .cruise = tracker.cruise, .station = tracker.station};
        rows.push_back({CastRecordOf(cast, timed.utcMs, now, true, OpenCastNote), true});
        return rows;
    }
    cast.lastUtcMs = timed.utcMs;
    cast.lastMs = now;
    if (metres > cast.maxMetres) {
        cast.maxMetres = metres;
        cast.maxUtcMs = timed.utcMs;
        cast.maxLeftUtcMs.reset();
    } else if (metres < cast.maxMetres && !cast.maxLeftUtcMs) {
        cast.maxLeftUtcMs = timed.utcMs;
    }
    if (RateKnown(rate)) {
        double perMinute = MetresPerMinute(rate);
        cast.maxRateOut = std::max(cast.maxRateOut, perMinute);
        cast.maxRateIn = std::max(cast.maxRateIn, -perMinute);
    }
    // Back at the start or under it: a start of 0 m is ended by a reset to 0.
    if (metres <= tracker.startMetres && tracker.belowSinceMs < 0) {
        tracker.belowSinceMs = now;
        tracker.belowSinceUtcMs = timed.utcMs;
    } else if (metres > tracker.startMetres && tracker.belowSinceMs >= 0) {
        tracker.belowSinceMs = -1;  // back down within the merge time: the same cast
        cast.merged++;
    }
    CloseIfDone(tracker, now, rows);
    if (tracker.active && now - tracker.writtenMs >= OpenCastRewriteMs) {
        tracker.writtenMs = now;
        rows.push_back({CastRecordOf(cast, cast.lastUtcMs, cast.lastMs, true, OpenCastNote), true});
    }
    return rows;
}

bool OpenCastRow(const CastTracker& tracker, CastRow& row)
{
    if (!tracker.active)
        return false;
    row = {CastRecordOf(tracker.cast, tracker.cast.lastUtcMs, tracker.cast.lastMs, true, OpenCastNote), true};
    return true;
}

std::optional<CastUnderWay> CastUnderWayOf(const CastTracker& tracker)
{
    if (!tracker.active)
        return std::nullopt;
    return CastUnderWay{tracker.cast.number, tracker.cast.startUtcMs, tracker.cast.maxMetres};
}

void ListCast(CastList& list, const CastRecord& cast)
{
    list.closed.push_back(cast);
    if (list.closed.size() > MostCastsListed)
        list.closed.pop_front();
}

std::string CastsJson(const CastList& list, const CastTracker& tracker)
{
    std::string json = "[";
    for (const CastRecord& cast : list.closed)
        json.append(json.size() > 1 ? "," : "").append(RowJson(CastTable, cast));
    CastRow open;
    if (OpenCastRow(tracker, open))
        json.append(json.size() > 1 ? "," : "").append(RowJson(CastTable, open.record));
    return json + "]";
}
