// What each reading makes: its lines, its rows, its alarms and casts, its
// events, its JSON.
#include "running/feed_state.h"

#include <cstdio>

#include "formats/reading_json.h"
#include "record/survey_rows.h"
#include "running/log_writer.h"

void InitFeedState(FeedState& state, const FeedOptions& options, const FeedOutputs& outputs, LogWriter* log,
                   const RecordAtStart& record)
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
                      .listedCasts = record.listed,
                      .history = {},
                      .limits = {.above = options.alarms.above,
                                 .below = options.alarms.below,
                                 .reserve = options.alarms.reserve,
                                 .aboveMetres = options.alarms.aboveMetres,
                                 .belowMetres = options.alarms.belowMetres,
                                 .reserveMetres = options.alarms.wireLength - options.alarms.reserveMetres},
                      .cruise = options.cruise,
                      .station = options.station.empty() ? record.lastStation : options.station,
                      .wire = record.wireBook.value_or(WireBook{}),
                      .keepsWireBook = record.wireBook.has_value() && log != nullptr,
                      .wireConflictSaid = false};
    InitAlarmWatch(state.alarms, options.alarms);
    InitCastTracker(state.casts, options.castStartMetres, options.castMergeSeconds, record.lastCastNumber);
    state.casts.cruise = state.cruise;
    state.casts.station = state.station;
}

std::optional<double> WireLength(const FeedState& state, int64_t utcMs)
{
    if (InstalledWire(state.wire) != nullptr)
        return WireLengthAt(state.wire, utcMs);
    if (state.wireLength > 0)
        return state.wireLength;
    return std::nullopt;
}

// The wire left on the drum; none when not known. The drum's reserve and
// the chart follow the wire book's length as it changes.
static std::optional<double> WireLeft(FeedState& state, const TimedReading& timed)
{
    std::optional<double> length = WireLength(state, timed.utcMs);
    if (length && state.wireLength > 0 && *length != state.wireLength && !state.wireConflictSaid) {
        state.wireConflictSaid = true;
        state.outputs.Say(state.outputs.context, "the wire book has " + DecimalText(*length) +
                                                     " m on the drum, wire-length " + DecimalText(state.wireLength) +
                                                     ": the book's is used");
    }
    state.alarms.limits.wireLength = length.value_or(0);
    state.limits.reserveMetres = length.value_or(0) - state.alarms.limits.reserveMetres;
    if (!length || !HasCount(timed.reading))
        return std::nullopt;
    return *length - timed.reading.metres;
}

EventRow RecordEvent(FeedState& state, EventRow row, int64_t monotonicMs)
{
    row.cruise = state.cruise;
    if (row.kind != StationEvent)
        row.station = state.station;
    if (!row.cast && state.casts.active)
        row.cast = state.casts.cast.number;
    StampReading(row, state.tookReading ? &state.latest : nullptr, state.rate, monotonicMs);
    if (state.log != nullptr)
        state.log->Push({"", RowOf(EventTable, row), row.utcMs, LogLane::Events, false});
    return row;
}

static void PushCastRows(FeedState& state, const std::vector<CastRow>& rows, int64_t utcMs)
{
    for (const CastRow& row : rows) {
        state.log->Push({"", RowOf(CastTable, row.record), utcMs, LogLane::Casts, row.open});
        if (!row.open)
            ListCast(state.listedCasts, row.record);
    }
}

// Casts ended and started by the reading, as events.
static void RecordCasts(FeedState& state, const std::vector<CastRow>& rows, int previousNumber, int64_t monotonicMs)
{
    for (const CastRow& row : rows)
        if (!row.open)
            RecordEvent(state,
                        {.utcMs = row.record.endUtcMs.value_or(state.latest.utcMs), .kind = CastEndEvent,
                         .cast = row.record.number, .source = "local",
                         .text = "cast " + std::to_string(row.record.number) + " ended, deepest " +
                                 std::to_string(row.record.maxMetres) + " m"},
                        monotonicMs);
    if (state.casts.active && state.casts.cast.number != previousNumber)
        RecordEvent(state,
                    {.utcMs = state.casts.cast.startUtcMs, .kind = CastStartEvent, .cast = state.casts.cast.number,
                     .source = "local", .text = "cast " + std::to_string(state.casts.cast.number) + " started"},
                    monotonicMs);
}

// A row of the survey log, in the file of its own day.
static void PushSurveyRow(FeedState& state, const TimedReading& timed, std::optional<double> wireLeft,
                          const std::string& note)
{
    state.log->Push({LogFileName(UtcFromUnixMs(timed.utcMs)),
                     RowOf(SurveyTable, SurveyRowOf(timed.utcMs, timed.reading, state.rate, wireLeft, note)),
                     timed.utcMs, LogLane::Days, false});
}

// The latest reading as JSON, with what the watch and the record add.
static std::string LatestJson(FeedState& state, std::optional<double> wireLeft)
{
    std::optional<WireState> wire;
    if (state.keepsWireBook)
        wire = WireState{OptionalDecimalField.Write(WireLengthAt(state.wire, state.latest.utcMs)),
                         LoadTestDue(state.wire)};
    return BuildReadingJson({.time = UtcFromUnixMs(state.latest.utcMs),
                             .reading = state.latest.reading,
                             .rate = RateText(state.rate),
                             .wireLeft = OptionalDecimalField.Write(wireLeft),
                             .alarms = RaisedAlarms(state.alarms),
                             .cast = state.trackCasts ? CastUnderWayOf(state.casts) : std::nullopt,
                             .station = state.stationName,
                             .cruise = state.cruise,
                             .cruiseStation = state.station,
                             .wire = wire});
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
    std::optional<double> wireLeft = WireLeft(state, timed);
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
        char words[140];
        std::snprintf(words, sizeof words, "%03d %s", alarm.id, alarm.text.c_str());
        RecordEvent(state,
                    {.utcMs = timed.utcMs, .kind = alarm.raised ? AlarmRaisedEvent : AlarmClearedEvent,
                     .source = "local", .text = words},
                    timed.monotonicMs);
    }
    if (state.trackCasts) {
        int previous = state.casts.active ? state.casts.cast.number : 0;
        std::vector<CastRow> rows = TrackCast(state.casts, timed, state.rate);
        PushCastRows(state, rows, timed.utcMs);
        RecordCasts(state, rows, previous, timed.monotonicMs);
    }
    state.outputs.Publish(state.outputs.context, lines, LatestJson(state, wireLeft), due || changed);
    if (state.log != nullptr && (LineDue(state.rows, timed.monotonicMs, reading) || !presetNote.empty()))
        PushSurveyRow(state, timed, wireLeft, presetNote);
}

void PublishAgain(FeedState& state, const std::vector<std::string>& lines)
{
    std::optional<double> length = WireLength(state, state.latest.utcMs);
    std::optional<double> wireLeft;
    if (length && HasCount(state.latest.reading))
        wireLeft = *length - state.latest.reading.metres;
    state.outputs.Publish(state.outputs.context, lines, LatestJson(state, wireLeft), true);
}

void EndFeedState(FeedState& state)
{
    CastRow row;
    if (state.trackCasts && OpenCastRow(state.casts, row))
        PushCastRows(state, {row}, state.latest.utcMs);
}
