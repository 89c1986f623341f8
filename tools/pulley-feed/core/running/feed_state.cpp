// What each reading makes: its lines, its rows, its alarms and casts, its
// events, its JSON.
#include "running/feed_state.h"

#include <cstdio>
#include <limits>

#include "formats/reading_json.h"
#include "record/survey_rows.h"
#include "record/tension_rows.h"
#include "running/feed_logs.h"
#include "running/log_writer.h"

// GCC 12 at -O3 takes the strings deep in a new FeedState for unset as it
// replaces the old one: a false alarm of -Wmaybe-uninitialized, here alone.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
void InitFeedState(FeedState& state, const FeedOptions& options, const FeedOutputs& outputs, LogWriter* log,
                   const RecordAtStart& record)
{
    state = FeedState{};  // and then each field the options and the record set
    state.format = options.format;
    state.xdrName = options.xdrName;
    state.stationName = options.stationName;
    state.outputs = outputs;
    state.log = log;
    state.lines.intervalMs = LineIntervalMs;
    state.rows.intervalMs = LogIntervalMs;
    state.wireLength = options.alarms.wireLength;
    state.breakingLoad = options.alarms.breakingLoad;
    state.watchAlarms = AnyAlarmAsked(options.alarms);
    state.trackCasts = options.casts && log != nullptr;
    state.listedCasts = record.listed;
    state.limits = {.above = options.alarms.above,
                    .below = options.alarms.below,
                    .reserve = options.alarms.reserve,
                    .aboveMetres = options.alarms.aboveMetres,
                    .belowMetres = options.alarms.belowMetres,
                    .reserveMetres = options.alarms.wireLength - options.alarms.reserveMetres};
    state.cruise = options.cruise;
    state.station = options.station.empty() ? record.lastStation : options.station;
    state.wire = record.wireBook.value_or(WireBook{});
    state.keepsWireBook = record.wireBook.has_value() && log != nullptr;
    state.layout = options.layout;
    state.head = WireLogHeadOf(options);
    state.version = record.version;
    state.files = record.files;
    state.logFolder = options.logFolder;
    state.cruiseStartMs = record.cruiseStartMs;
    state.openPeriodMs = -1;
    state.tension.on = ReadsTension(options);
    state.tension.format = options.tensionFormat;
    state.tension.unit = options.tensionUnit;
    InitAlarmWatch(state.alarms, options.alarms);
    InitCastTracker(state.casts, options.castStartMetres, options.castMergeSeconds, record.lastCastNumber);
    state.casts.cruise = state.cruise;
    state.casts.station = state.station;
    if (state.tension.on)
        state.casts.tensionUnit = TensionUnitName(state.tension.unit);
    FollowBreakingLoad(state);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// A file of the cruise's folder, relative to the log folder.
static std::string CruiseFileOf(const FeedState& state, const char* kind)
{
    return CruiseFile(state.layout, state.cruise, kind, state.cruiseStartMs);
}

std::string CastsFileOf(const FeedState& state)
{
    return state.layout.on ? CruiseFileOf(state, CastFiles) : CastsFileName;
}

static std::string EventsFileOf(const FeedState& state)
{
    return state.layout.on ? CruiseFileOf(state, EventFiles) : EventsFileName;
}

// The cruise's wire log written whole, from the casts written before it:
// again at each period's close, so that it goes ashore as it stands.
static void WriteWireLog(FeedState& state, const CruiseAt& cruise, int64_t utcMs)
{
    std::string casts = FilePath(state.logFolder, CruiseFile(state.layout, cruise.id, CastFiles, cruise.startMs));
    state.log->Push({CruiseFile(state.layout, cruise.id, WireLogFiles, cruise.startMs), "", utcMs, LogLane::WholeFile,
                     false, [files = state.files, casts, head = state.head, book = state.wire] {
                         std::vector<CastRecord> written;
                         std::string reason;
                         ReadCasts(*files, casts, written, reason);  // none read: the book's entries alone
                         return BuildWireLog(head, written, book, 0);
                     }});
}

// A cruise's folder with no open period: closed.
constexpr int64_t NoPeriodOpen = std::numeric_limits<int64_t>::max();

// MD5SUMS of a cruise's folder, made again of every file but those still
// written: named (relative to the log folder), or of the open period on.
static void Summed(FeedState& state, const CruiseAt& cruise, const std::vector<std::string>& open,
                   int64_t openPeriodMs)
{
    std::string folder = PulleyFolder(cruise.id), names;
    for (const std::string& path : open)
        if (path.compare(0, folder.size() + 1, folder + "\\") == 0)
            names += path.substr(folder.size() + 1) + "\n";
    state.log->Push({folder, names, openPeriodMs, LogLane::Manifest, false});
}

// The cruise's folder summed but for the open count file, its casts,
// events and wire log, and the file of a cast under way.
static void SummedOpen(FeedState& state)
{
    std::vector<std::string> open = {CruiseFileOf(state, CastFiles), CruiseFileOf(state, EventFiles),
                                     CruiseFileOf(state, WireLogFiles)};
    if (!state.castCruise.id.empty())
        open.push_back(CruiseFile(state.layout, state.castCruise.id, CastFiles, state.castCruise.startMs));
    Summed(state, {state.cruise, state.cruiseStartMs}, open, state.openPeriodMs);
}

// A reading of a new period opens its count file (its first row is
// written, so that a feed started again knows the period before is
// closed); the folder is then summed again, with the wire log as it stands.
static bool OpensPeriod(FeedState& state, int64_t utcMs)
{
    int64_t period = PeriodStartMs(state.layout, utcMs);
    if (!state.layout.on || state.log == nullptr || period <= state.openPeriodMs)
        return false;
    state.openPeriodMs = period;
    return true;
}

// The count file a survey row goes in: its day's (flat), or the open
// period's; a row of a period closed already (the clock set back) goes in
// the open one, with a note.
static std::string SurveyFileOf(FeedState& state, const TimedReading& timed, std::string& note)
{
    if (!state.layout.on)
        return LogFileName(UtcFromUnixMs(timed.utcMs));
    if (PeriodStartMs(state.layout, timed.utcMs) < state.openPeriodMs)
        note += std::string(note.empty() ? "" : "; ") + "the clock went back: its " +
                (state.layout.hourly ? "hour" : "day") + "'s file is closed";
    return CruiseFile(state.layout, state.cruise, CountFiles, state.openPeriodMs);
}

// The cruise's folder opened, its count file of that period open: its
// descriptions and wire log written, the files closed before summed.
static void OpenCruiseFolder(FeedState& state, int64_t periodMs)
{
    state.openPeriodMs = periodMs;
    for (const auto& [path, text] : CruiseDocs(state.layout, state.stationName, state.version,
                                               state.tension.on ? TensionUnitName(state.tension.unit) : ""))
        state.log->Push({FilePath(PulleyFolder(state.cruise), path), text, periodMs, LogLane::WholeFile, false});
    WriteWireLog(state, {state.cruise, state.cruiseStartMs}, periodMs);
    SummedOpen(state);
}

void StartCruiseFolder(FeedState& state, int64_t periodMs)
{
    if (!state.layout.on || state.log == nullptr)
        return;
    for (const std::string& id : UnclosedCruises(*state.files, state.logFolder, state.cruise)) {
        state.outputs.Say(state.outputs.context, "the cruise folder " + id + " was left open (the cruise changed while "
                                                 "the feed was stopped): its manifest is made whole");
        Summed(state, {id, 0}, {}, NoPeriodOpen);
    }
    OpenCruiseFolder(state, periodMs);
}

void ChangeCruise(FeedState& state, const std::string& cruise, int64_t utcMs)
{
    if (state.layout.on && cruise != state.cruise && state.log != nullptr) {
        // The old folder closed: whole, but for a cast under way, which ends in it.
        CruiseAt old{state.cruise, state.cruiseStartMs};
        WriteWireLog(state, old, utcMs);
        Summed(state, old, {state.castCruise.id == old.id ? CruiseFileOf(state, CastFiles) : ""}, NoPeriodOpen);
        LogFileNames names = LogFilesAtStart(*state.files, state.logFolder, cruise, state.layout, utcMs);
        state.cruise = cruise;
        state.cruiseStartMs = names.cruiseStartMs;
        if (!state.casts.active)
            state.casts.lastNumber = 0;  // the new cruise's casts number from 1
        OpenCruiseFolder(state, names.periodMs);
    }
    state.cruise = state.casts.cruise = cruise;
}

std::optional<double> WireLength(const FeedState& state, int64_t utcMs)
{
    if (InstalledWire(state.wire) != nullptr)
        return WireLengthAt(state.wire, utcMs);
    if (state.wireLength > 0)
        return state.wireLength;
    return std::nullopt;
}

void FollowBreakingLoad(FeedState& state)
{
    std::optional<double> book = BreakingLoadIn(state.wire, state.tension.unit);
    if (book && state.breakingLoad > 0 && *book != state.breakingLoad && !state.loadConflictSaid) {
        state.loadConflictSaid = true;
        state.outputs.Say(state.outputs.context, "the wire book gives the breaking load as " + DecimalText(*book) +
                                                     " " + TensionUnitName(state.tension.unit) + ", breaking-load " +
                                                     DecimalText(state.breakingLoad) + ": the book's is used");
    }
    AlarmLimits& limits = state.alarms.limits;
    limits.breakingLoad = book.value_or(state.breakingLoad);
    if (limits.safetyFactor > 0 && limits.breakingLoad == 0)
        state.outputs.Say(state.outputs.context, "the safe working load is not watched: the wire on the drum has "
                                                 "no breaking load (pulley-remote wire install METRES "
                                                 "--breaking-load 10500lbf gives it)");
    state.watchAlarms = state.watchAlarms || AnyAlarmAsked(limits);  // a raised alarm still clears
    state.limits.tensionWarning = TensionWarningLevel(limits);
    state.limits.tensionAlarm = SafeWorkingLoad(limits);
    if (state.tension.on) {
        state.casts.warningTension = state.limits.tensionWarning;
        state.casts.alarmTension = state.limits.tensionAlarm;
    }
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
        state.log->Push({EventsFileOf(state), RowOf(EventTable, row), row.utcMs, LogLane::Events, false});
    return row;
}

// A cast stays in the file of the cruise it started in: a cruise closed
// under it gets its wire log and its sums again as the cast ends.
static void PushCastRows(FeedState& state, const std::vector<CastRow>& rows, int64_t utcMs)
{
    for (const CastRow& row : rows) {
        if (state.layout.on && state.castCruise.id.empty())
            state.castCruise = {state.cruise, state.cruiseStartMs};
        std::string file = state.layout.on ? CruiseFile(state.layout, state.castCruise.id, CastFiles,
                                                        state.castCruise.startMs)
                                           : CastsFileName;
        state.log->Push({file, RowOf(CastTable, row.record), utcMs, LogLane::Casts, row.open});
        if (row.open)
            continue;
        ListCast(state.listedCasts, row.record);
        if (state.layout.on && state.castCruise.id != state.cruise) {
            WriteWireLog(state, state.castCruise, utcMs);
            Summed(state, state.castCruise, {}, NoPeriodOpen);
        }
        state.castCruise = {};
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

// A row of the survey log, in the file of its own day or period.
static void PushSurveyRow(FeedState& state, const TimedReading& timed, std::optional<double> wireLeft,
                          std::string note)
{
    std::string file = SurveyFileOf(state, timed, note);
    state.log->Push({file, RowOf(SurveyTable, SurveyRowOf(timed.utcMs, timed.reading, state.rate, wireLeft, note)),
                     timed.utcMs, LogLane::Days, false});
}

// The tension for the JSON: the newest good line's, none from a silent source.
static std::optional<TensionJson> TensionJsonOf(const FeedState& state)
{
    const TensionWatch& watch = state.tension;
    if (!watch.on)
        return std::nullopt;
    std::optional<double> now = TensionNow(watch, std::max(state.latest.monotonicMs, watch.latestMs));
    return TensionJson{.value = OptionalDecimalField.Write(now),
                       .unit = TensionUnitName(watch.unit),
                       .newtons = now ? TenthsField.Write(NewtonsOf(*now, watch.unit)) : "",
                       .utcMs = watch.latest ? std::optional<int64_t>(watch.latestUtcMs) : std::nullopt,
                       .badLines = watch.badLines};
}

// The latest reading as JSON, with what the watch and the record add.
static std::string LatestJson(FeedState& state, std::optional<double> wireLeft)
{
    std::optional<WireState> wire;
    if (state.keepsWireBook) {
        const WireEntry* installed = InstalledWire(state.wire);
        wire = WireState{OptionalDecimalField.Write(WireLengthAt(state.wire, state.latest.utcMs)),
                         LoadTestDue(state.wire),
                         installed ? OptionalDecimalField.Write(installed->breakingLoad) : "",
                         installed ? installed->loadUnit : ""};
    }
    return BuildReadingJson({.time = UtcFromUnixMs(state.latest.utcMs),
                             .reading = state.latest.reading,
                             .rate = RateText(state.rate),
                             .wireLeft = OptionalDecimalField.Write(wireLeft),
                             .alarms = RaisedAlarms(state.alarms),
                             .cast = state.trackCasts ? CastUnderWayOf(state.casts) : std::nullopt,
                             .station = state.stationName,
                             .cruise = state.cruise,
                             .cruiseStation = state.station,
                             .wire = wire,
                             .tension = TensionJsonOf(state)});
}

// The alarms' sentences into the lines; each change said, noted in the
// survey log beside the count of the moment, and recorded as an event.
// Whether any changed.
static bool NoteAlarms(FeedState& state, const std::vector<AlarmEvent>& alarms, std::vector<std::string>& lines,
                       std::optional<double> wireLeft, int64_t utcMs, int64_t monotonicMs)
{
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
        if (state.log != nullptr && state.tookReading)
            PushSurveyRow(state, state.latest, wireLeft, said);
        char words[140];
        std::snprintf(words, sizeof words, "%03d %s", alarm.id, alarm.text.c_str());
        RecordEvent(state,
                    {.utcMs = utcMs, .kind = alarm.raised ? AlarmRaisedEvent : AlarmClearedEvent, .source = "local",
                     .text = words},
                    monotonicMs);
    }
    return changed;
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
    bool newPeriod = OpensPeriod(state, timed.utcMs);
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
    std::optional<double> tension = TensionNow(state.tension, timed.monotonicMs);
    if (due && tension)
        lines.push_back(BuildTensionSentence(NewtonsOf(*tension, state.tension.unit)));
    std::vector<AlarmEvent> alarms;
    if (state.watchAlarms) {
        alarms = WatchAlarms(state.alarms, timed, state.rate);
        std::vector<AlarmEvent> tensionAlarms = WatchTension(state.alarms, tension, timed.utcMs, timed.monotonicMs);
        alarms.insert(alarms.end(), tensionAlarms.begin(), tensionAlarms.end());
    }
    bool changed = NoteAlarms(state, alarms, lines, wireLeft, timed.utcMs, timed.monotonicMs);
    state.casts.cableLength = WireLength(state, timed.utcMs).value_or(0);
    if (state.trackCasts) {
        int previous = state.casts.active ? state.casts.cast.number : 0;
        std::vector<CastRow> rows = TrackCast(state.casts, timed, state.rate);
        PushCastRows(state, rows, timed.utcMs);
        RecordCasts(state, rows, previous, timed.monotonicMs);
    }
    state.outputs.Publish(state.outputs.context, lines, LatestJson(state, wireLeft), due || changed);
    if (state.log != nullptr && (LineDue(state.rows, timed.monotonicMs, reading) || !presetNote.empty() || newPeriod))
        PushSurveyRow(state, timed, wireLeft, presetNote);
    if (newPeriod) {
        WriteWireLog(state, {state.cruise, state.cruiseStartMs}, timed.utcMs);
        SummedOpen(state);
    }
}

// The file a line of the load cell goes in: its day's, or its period's (the
// open one, should the clock have gone back).
static std::string TensionFileOf(const FeedState& state, int64_t utcMs)
{
    if (!state.layout.on)
        return TensionFileName(UtcFromUnixMs(utcMs));
    return CruiseFile(state.layout, state.cruise, TensionFiles,
                      std::max(PeriodStartMs(state.layout, utcMs), state.openPeriodMs));
}

void TakeTension(FeedState& state, const std::string& line, int64_t monotonicMs, int64_t utcMs)
{
    TensionWatch& watch = state.tension;
    TensionLine kind = TakeTensionLine(watch, line, monotonicMs, utcMs);
    if (kind == TensionLine::Refused && watch.refusedLines == 1)
        state.outputs.Say(state.outputs.context, "the tension's lines are refused: " + watch.refusal);
    if (kind != TensionLine::Good)
        return;
    double tension = *watch.latest;
    if (state.log != nullptr) {
        std::string text;
        for (char c : line)
            if (static_cast<unsigned char>(c) >= ' ' && c != '\x7f')
                text += c;
        state.log->Push({TensionFileOf(state, utcMs),
                         RowOf(TensionTable, {utcMs, tension, TensionUnitName(watch.unit), text}), utcMs,
                         LogLane::Tension, false});
    }
    state.history.AddTension(utcMs, tension);
    if (state.trackCasts)
        TrackTension(state.casts, tension, monotonicMs);
    std::vector<std::string> lines;
    if (state.watchAlarms &&
        NoteAlarms(state, WatchTension(state.alarms, tension, utcMs, monotonicMs), lines,
                   state.tookReading ? WireLeft(state, state.latest) : std::nullopt, utcMs, monotonicMs))
        state.outputs.Publish(state.outputs.context, lines, LatestJson(state, std::nullopt), true);
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
