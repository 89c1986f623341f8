#include "casts.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

const char CastHeader[] =
    "cast,start_utc,end_utc,duration_s,max_wire_out_m,max_utc,max_rate_out_m_per_min,max_rate_in_m_per_min,"
    "notes\r\n";

static const char OpenNote[] = "open";
static const char IncompleteNote[] = "incomplete: the feed stopped during the cast";

static std::string Iso(int64_t utcMs)
{
    return IsoTimeText(UtcFromUnixMs(utcMs));
}

std::string BuildCastRow(const Cast& cast, int64_t endUtcMs, bool open, const std::string& notes)
{
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%.1f,%ld,", static_cast<double>(endUtcMs - cast.startUtcMs) / 1000,
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
    rows.push_back({BuildCastRow(tracker.cast, tracker.belowSinceUtcMs, false, ClosedNote(tracker.cast)), false});
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
        cast = Cast{.number = ++tracker.lastNumber, .startUtcMs = timed.utcMs, .lastUtcMs = timed.utcMs,
                    .maxMetres = metres, .maxUtcMs = timed.utcMs, .maxRateOut = 0, .maxRateIn = 0, .merged = 0};
        rows.push_back({BuildCastRow(cast, timed.utcMs, true, OpenNote), true});
        return rows;
    }
    cast.lastUtcMs = timed.utcMs;
    if (metres > cast.maxMetres) {
        cast.maxMetres = metres;
        cast.maxUtcMs = timed.utcMs;
    }
    if (RateKnown(rate)) {
        double perMinute = MetresPerMinute(rate);
        cast.maxRateOut = std::max(cast.maxRateOut, perMinute);
        cast.maxRateIn = std::max(cast.maxRateIn, -perMinute);
    }
    if (metres < tracker.startMetres && tracker.belowSinceMs < 0) {
        tracker.belowSinceMs = now;
        tracker.belowSinceUtcMs = timed.utcMs;
    } else if (metres > tracker.startMetres && tracker.belowSinceMs >= 0) {
        tracker.belowSinceMs = -1;  // back down within the merge time: the same cast
        cast.merged++;
    }
    CloseIfDone(tracker, now, rows);
    if (tracker.active && now - tracker.writtenMs >= OpenCastRewriteMs) {
        tracker.writtenMs = now;
        rows.push_back({BuildCastRow(cast, cast.lastUtcMs, true, OpenNote), true});
    }
    return rows;
}

bool OpenCastRow(const CastTracker& tracker, CastRow& row)
{
    if (!tracker.active)
        return false;
    row = {BuildCastRow(tracker.cast, tracker.cast.lastUtcMs, true, OpenNote), true};
    return true;
}

std::string CurrentCastJson(const CastTracker& tracker)
{
    if (!tracker.active)
        return "null";
    return "{\"number\":" + std::to_string(tracker.cast.number) + ",\"start_utc\":\"" +
           Iso(tracker.cast.startUtcMs) + "\",\"max_m\":" + std::to_string(tracker.cast.maxMetres) + "}";
}

static std::vector<std::string> Fields(const std::string& row)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t comma; (comma = row.find(',', start)) != std::string::npos; start = comma + 1)
        fields.push_back(row.substr(start, comma - start));
    fields.push_back(row.substr(start));
    return fields;
}

// The open cast a stopped feed left, closed: its end the last reading it
// had, its duration as written.
static bool CloseLeftOpen(std::vector<std::string>& fields, std::string& row)
{
    int64_t startMs = 0;
    std::string start = fields[1];
    if (start.empty() || start.back() != 'Z')
        return false;
    start.pop_back();
    if (!ParseIsoTime(start.c_str(), startMs))
        return false;
    fields[2] = Iso(startMs + static_cast<int64_t>(std::atof(fields[3].c_str()) * 1000));
    fields[8] = IncompleteNote;
    row.clear();
    for (const std::string& field : fields)
        row += (row.empty() ? "" : ",") + field;
    row += "\r\n";
    return true;
}

bool OpenCastLog(CastLog& log, const LogFileOps& files, const std::string& folder, int& lastNumber,
                 std::string& reason)
{
    log = CastLog{.files = &files, .path = folder + "\\casts.csv", .file = nullptr, .length = 0, .openRowAt = -1};
    lastNumber = 0;
    log.file = files.Open(files.context, log.path);
    int64_t size = 0;
    if (log.file == nullptr || !files.Size(files.context, log.file, size) ||
        !CutTornRow(files, log.file, size, log.length)) {
        reason = files.LastError(files.context);
        CloseCastLog(log);
        return false;
    }
    bool cutBack;
    if (log.length == 0) {
        if (WriteWholeAt(files, log.file, 0, CastHeader, reason, cutBack)) {
            log.length = static_cast<int64_t>(sizeof CastHeader - 1);
            return true;
        }
        CloseCastLog(log);
        return false;
    }
    // The last row: the cast numbered last, perhaps left open.
    int64_t start = std::max<int64_t>(0, log.length - 4096);
    std::string tail(static_cast<size_t>(log.length - start), '\0');
    if (files.ReadAt(files.context, log.file, start, tail.data(), log.length - start) != log.length - start) {
        reason = files.LastError(files.context);
        CloseCastLog(log);
        return false;
    }
    std::string rows = tail.substr(0, tail.find_last_not_of("\r\n") + 1);
    size_t rowStart = rows.rfind('\n');
    rowStart = rowStart == std::string::npos ? 0 : rowStart + 1;
    std::string row = rows.substr(rowStart);
    std::vector<std::string> fields = Fields(row);
    lastNumber = std::atoi(fields[0].c_str());
    if (fields.size() == 9 && fields[8] == OpenNote && CloseLeftOpen(fields, row)) {
        int64_t at = start + static_cast<int64_t>(rowStart);
        if (!files.Truncate(files.context, log.file, at) || !WriteWholeAt(files, log.file, at, row, reason, cutBack)) {
            CloseCastLog(log);
            return false;
        }
        log.length = at + static_cast<int64_t>(row.size());
    }
    return true;
}

bool WriteCastRow(CastLog& log, const CastRow& row, std::string& reason)
{
    const LogFileOps& files = *log.files;
    // A new open row replaces the old one; cut first (that row, or what a
    // failed write left), so that a power cut in between loses that row at
    // most.
    int64_t at = log.openRowAt >= 0 ? log.openRowAt : log.length;
    bool cutBack = true;
    if (!files.Truncate(files.context, log.file, at)) {
        reason = files.LastError(files.context);
        return false;
    }
    log.length = at;
    log.openRowAt = -1;
    if (!WriteWholeAt(files, log.file, at, row.text, reason, cutBack))
        return false;
    log.length = at + static_cast<int64_t>(row.text.size());
    log.openRowAt = row.open ? at : -1;
    return true;
}

void CloseCastLog(CastLog& log)
{
    if (log.file != nullptr)
        log.files->Close(log.files->context, log.file);
    log.file = nullptr;
}
