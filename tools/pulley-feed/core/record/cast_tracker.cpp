// Casts from the readings: started, merged, written again while open, closed.
#include "record/cast_tracker.h"

#include <algorithm>
#include <cstdlib>

CastRecord CastRecordOf(const CastTracker& tracker, int64_t endUtcMs, int64_t endMs, bool open,
                        const std::string& notes)
{
    const Cast& cast = tracker.cast;
    std::optional<double> wireIn;
    if (cast.maxTensionWireOut && tracker.cableLength > 0)
        wireIn = tracker.cableLength - *cast.maxTensionWireOut;
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
            .maxTension = cast.maxTension,
            .tensionUnit = tracker.tensionUnit,
            .maxTensionWireOut = cast.maxTensionWireOut,
            .maxTensionWireIn = wireIn,
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
    std::string merged = cast.merged == 0 ? "" : "tow-yo: " + std::to_string(cast.merged + 1) + " casts joined";
    const char* tension = cast.tensionReached == 2 ? TensionAlarmNote
                          : cast.tensionReached == 1 ? TensionWarningNote : "";
    return merged + (merged.empty() || !*tension ? "" : "; ") + tension;
}

// Closes the cast at the time it fell below the start, if it has stayed
// there for the merge time.
static void CloseIfDone(CastTracker& tracker, int64_t nowMs, std::vector<CastRow>& rows)
{
    if (!tracker.active || tracker.belowSinceMs < 0 || nowMs - tracker.belowSinceMs < tracker.mergeMs)
        return;
    rows.push_back({CastRecordOf(tracker, tracker.belowSinceUtcMs, tracker.belowSinceMs, false,
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
    tracker.lastCountMs = now;
    tracker.lastCountMetres = metres;
    if (tracker.active && cast.maxTension && std::llabs(now - cast.maxTensionMs) < cast.maxTensionGapMs) {
        cast.maxTensionWireOut = metres;  // read nearer the most tension than the count before
        cast.maxTensionGapMs = std::llabs(now - cast.maxTensionMs);
    }
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
        rows.push_back({CastRecordOf(tracker, timed.utcMs, now, true, OpenCastNote), true});
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
        rows.push_back({CastRecordOf(tracker, cast.lastUtcMs, cast.lastMs, true, OpenCastNote), true});
    }
    return rows;
}

void TrackTension(CastTracker& tracker, double tension, int64_t monotonicMs)
{
    Cast& cast = tracker.cast;
    if (!tracker.active)
        return;
    if (tracker.alarmTension > 0 && tension >= tracker.alarmTension)
        cast.tensionReached = 2;
    else if (tracker.warningTension > 0 && tension >= tracker.warningTension)
        cast.tensionReached = std::max(cast.tensionReached, 1);
    if (cast.maxTension && tension <= *cast.maxTension)
        return;
    cast.maxTension = tension;
    cast.maxTensionMs = monotonicMs;
    cast.maxTensionWireOut = tracker.lastCountMetres;  // the newest count (valid: the cast is under way)
    cast.maxTensionGapMs = std::llabs(monotonicMs - tracker.lastCountMs);
}

bool OpenCastRow(const CastTracker& tracker, CastRow& row)
{
    if (!tracker.active)
        return false;
    row = {CastRecordOf(tracker, tracker.cast.lastUtcMs, tracker.cast.lastMs, true, OpenCastNote), true};
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
