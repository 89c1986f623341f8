#include "feed_state.h"

#include <cstdio>

#include "log_rows.h"
#include "log_writer.h"
#include "reading_json.h"
#include "row_shapes.h"

void InitFeedState(FeedState& state, const FeedOptions& options, const FeedOutputs& outputs, LogWriter* log,
                   int lastCastNumber, const CastList& listed)
{
    state = FeedState{.format = options.format,
                      .xdrName = options.xdrName,
                      .stationName = options.stationName,
                      .outputs = outputs,
                      .log = log,
                      .rate = {},
                      .lines = {.intervalMs = LineIntervalMs, .sent = false, .lastMs = 0, .last = {}},
                      .rows = {.intervalMs = LogIntervalMs, .sent = false, .lastMs = 0, .last = {}},
                      .latest = {},
                      .tookReading = false,
                      .wireLength = options.alarms.wireLength,
                      .watchAlarms = AnyAlarmAsked(options.alarms),
                      .trackCasts = options.casts && log != nullptr,
                      .alarms = {},
                      .casts = {},
                      .listedCasts = listed,
                      .history = {},
                      .limits = {.above = options.alarms.above,
                                 .below = options.alarms.below,
                                 .reserve = options.alarms.reserve,
                                 .aboveMetres = options.alarms.aboveMetres,
                                 .belowMetres = options.alarms.belowMetres,
                                 .reserveMetres = options.alarms.wireLength - options.alarms.reserveMetres}};
    InitAlarmWatch(state.alarms, options.alarms);
    InitCastTracker(state.casts, options.castStartMetres, options.castMergeSeconds, lastCastNumber);
}

// The wire left on the drum, as a number's text; empty when not known.
static std::string WireLeft(const FeedState& state, const FeedReading& reading)
{
    if (state.wireLength <= 0 || !HasCount(reading))
        return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", state.wireLength - reading.metres);
    return text;
}

static void PushCastRows(FeedState& state, const std::vector<CastRow>& rows, int64_t utcMs)
{
    for (const CastRow& row : rows) {
        state.log->Push({"", row.text, utcMs, true, row.open});
        if (!row.open)
            ListCast(state.listedCasts, SplitFields(row.text.substr(0, row.text.size() - 2)));
    }
}

void TakeReading(FeedState& state, const TimedReading& timed)
{
    const FeedReading& reading = timed.reading;
    std::string presetNote;
    if (state.tookReading && IsPreset(state.latest.reading, reading)) {
        presetNote = "preset: " + std::to_string(state.latest.reading.metres) + " m to " +
                     std::to_string(reading.metres) + " m";
        state.rate.samples.clear();  // the jump is no payout
        state.outputs.Say(state.outputs.context, presetNote);
    }
    state.latest = timed;
    state.tookReading = true;
    if (reading.status == FeedStatus::Valid)
        AddToRate(state.rate, timed.monotonicMs, reading.metres);
    else
        state.rate.samples.clear();
    state.history.Add(timed.utcMs, reading, state.rate);
    UtcTime time = UtcFromUnixMs(timed.utcMs);
    std::string wireLeft = WireLeft(state, reading);
    std::vector<std::string> lines;
    bool due = LineDue(state.lines, timed.monotonicMs, reading);
    if (due)
        lines.push_back(BuildFeedLine(state.format, time, reading, state.rate, state.xdrName));
    std::vector<AlarmEvent> alarms;
    if (state.watchAlarms)
        alarms = WatchAlarms(state.alarms, timed, state.rate);
    bool changed = false;
    for (const AlarmEvent& alarm : alarms) {
        lines.push_back(alarm.sentence);
        if (!alarm.changed)
            continue;
        changed = true;
        char said[160];
        std::snprintf(said, sizeof said, "alarm %03d %s: %s", alarm.id, alarm.raised ? "raised" : "cleared",
                      alarm.text.c_str());
        state.outputs.Say(state.outputs.context, said);
        if (state.log != nullptr)
            state.log->Push({LogFileName(time), BuildLogLine(time, reading, state.rate, wireLeft, said), timed.utcMs,
                             false, false});
    }
    if (state.trackCasts)
        PushCastRows(state, TrackCast(state.casts, timed, state.rate), timed.utcMs);
    ReadingJson json{.time = time,
                     .reading = reading,
                     .rate = RateText(state.rate),
                     .wireLeft = wireLeft,
                     .alarms = RaisedAlarms(state.alarms),
                     .cast = state.trackCasts ? CastUnderWayOf(state.casts) : std::nullopt,
                     .station = state.stationName};
    state.outputs.Publish(state.outputs.context, lines, BuildReadingJson(json), due || changed);
    if (state.log != nullptr && (LineDue(state.rows, timed.monotonicMs, reading) || !presetNote.empty()))
        state.log->Push({LogFileName(time), BuildLogLine(time, reading, state.rate, wireLeft, presetNote), timed.utcMs,
                         false, false});
}

void EndFeedState(FeedState& state)
{
    CastRow row;
    if (state.trackCasts && OpenCastRow(state.casts, row))
        PushCastRows(state, {row}, state.latest.utcMs);
}
