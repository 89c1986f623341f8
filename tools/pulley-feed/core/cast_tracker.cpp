#include "cast_tracker.h"

#include <algorithm>
#include <cstdio>

#include "row_shapes.h"
#include "tool_args.h"

const char OpenCastNote[] = "open";

static std::string Iso(int64_t utcMs)
{
    return IsoTimeText(UtcFromUnixMs(utcMs));
}

std::string BuildCastRow(const Cast& cast, int64_t endUtcMs, int64_t endMs, bool open, const std::string& notes)
{
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%.1f,%ld,", static_cast<double>(endMs - cast.startMs) / 1000,
                  static_cast<long>(cast.maxMetres));
    char rates[48];
    std::snprintf(rates, sizeof rates, ",%.1f,%.1f,", cast.maxRateOut, cast.maxRateIn);
    return std::to_string(cast.number) + "," + Iso(cast.startUtcMs) + "," + (open ? "" : Iso(endUtcMs)) + "," +
           numbers + Iso(cast.maxUtcMs) + rates + notes + "\r\n";
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
    rows.push_back({BuildCastRow(tracker.cast, tracker.belowSinceUtcMs, tracker.belowSinceMs, false,
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
                    .maxRateOut = 0, .maxRateIn = 0, .merged = 0};
        rows.push_back({BuildCastRow(cast, timed.utcMs, now, true, OpenCastNote), true});
        return rows;
    }
    cast.lastUtcMs = timed.utcMs;
    cast.lastMs = now;
    if (metres > cast.maxMetres) {
        cast.maxMetres = metres;
        cast.maxUtcMs = timed.utcMs;
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
        rows.push_back({BuildCastRow(cast, cast.lastUtcMs, cast.lastMs, true, OpenCastNote), true});
    }
    return rows;
}

bool OpenCastRow(const CastTracker& tracker, CastRow& row)
{
    if (!tracker.active)
        return false;
    row = {BuildCastRow(tracker.cast, tracker.cast.lastUtcMs, tracker.cast.lastMs, true, OpenCastNote), true};
    return true;
}

std::optional<CastUnderWay> CastUnderWayOf(const CastTracker& tracker)
{
    if (!tracker.active)
        return std::nullopt;
    return CastUnderWay{tracker.cast.number, tracker.cast.startUtcMs, tracker.cast.maxMetres};
}

void ListCast(CastList& list, const std::vector<std::string>& fields)
{
    list.closed.push_back(fields);
    if (list.closed.size() > MostCastsListed)
        list.closed.pop_front();
}

// A cast's row in JSON: its columns by the header's names, numbers as
// numbers, an empty end as null.
static std::string CastRowJson(const std::vector<std::string>& fields)
{
    static const char* const names[] = {"cast",         "start_utc", "end_utc", "duration_s", "max_wire_out_m",
                                        "max_utc",      "max_rate_out_m_per_min", "max_rate_in_m_per_min", "notes"};
    std::string json = "{";
    for (size_t i = 0; i < 9 && i < fields.size(); i++) {
        double number = 0;
        std::string value = fields[i];
        if (i == 8)  // the notes take what is left, commas and all
            for (size_t more = 9; more < fields.size(); more++)
                value += "," + fields[more];
        bool numeric = i == 0 || i == 3 || i == 4 || i == 6 || i == 7;
        json.append(i == 0 ? "\"" : ",\"").append(names[i]).append("\":");
        if (numeric && ParseDecimal(value.c_str(), number))
            json.append(DecimalText(number));
        else if (value.empty() && i == 2)
            json.append("null");
        else
            json.append(JsonString(value));
    }
    return json + "}";
}

std::string CastsJson(const CastList& list, const CastTracker& tracker)
{
    std::string json = "[";
    for (const std::vector<std::string>& fields : list.closed)
        json.append(json.size() > 1 ? "," : "").append(CastRowJson(fields));
    CastRow open;
    if (OpenCastRow(tracker, open))
        json.append(json.size() > 1 ? "," : "").append(CastRowJson(SplitFields(open.text.substr(0, open.text.size() - 2))));
    return json + "]";
}
