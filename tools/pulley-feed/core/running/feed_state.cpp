// What each reading makes: its lines, its rows, its alarms and casts, its JSON.
#include "running/feed_state.h"

#include <cstdio>

#include "formats/reading_json.h"
#include "record/survey_rows.h"
#include "running/log_writer.h"

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

// The wire left on the drum; none when not known.
static std::optional<double> WireLeft(const FeedState& state, const FeedReading& reading)
{
    if (state.wireLength <= 0 || !HasCount(reading))
        return std::nullopt;
    return state.wireLength - reading.metres;
}

static void PushCastRows(FeedState& state, const std::vector<CastRow>& rows, int64_t utcMs)
{
    for (const CastRow& row : rows) {
        state.log->Push({"", RowOf(CastTable, row.record), utcMs, true, row.open});
        if (!row.open)
            ListCast(state.listedCasts, row.record);
    }
}

// A row of the survey log, in the file of its own day.
static void PushSurveyRow(FeedState& state, const TimedReading& timed, std::optional<double> wireLeft,
                          const std::string& note)
{
    state.log->Push({LogFileName(UtcFromUnixMs(timed.utcMs)),
                     RowOf(SurveyTable, SurveyRowOf(timed.utcMs, timed.reading, state.rate, wireLeft, note)),
                     timed.utcMs, false, false});
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
    std::optional<double> wireLeft = WireLeft(state, reading);
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
            PushSurveyRow(state, timed, wireLeft, said);
    }
    if (state.trackCasts)
        PushCastRows(state, TrackCast(state.casts, timed, state.rate), timed.utcMs);
    ReadingJson json{.time = time,
                     .reading = reading,
                     .rate = RateText(state.rate),
                     .wireLeft = OptionalDecimalField.Write(wireLeft),
                     .alarms = RaisedAlarms(state.alarms),
                     .cast = state.trackCasts ? CastUnderWayOf(state.casts) : std::nullopt,
                     .station = state.stationName};
    state.outputs.Publish(state.outputs.context, lines, BuildReadingJson(json), due || changed);
    if (state.log != nullptr && (LineDue(state.rows, timed.monotonicMs, reading) || !presetNote.empty()))
        PushSurveyRow(state, timed, wireLeft, presetNote);
}

void EndFeedState(FeedState& state)
{
    CastRow row;
    if (state.trackCasts && OpenCastRow(state.casts, row))
        PushCastRows(state, {row}, state.latest.utcMs);
}
