#include "feed_loop.h"

#include <cstdio>

#include "log_writer.h"

void RunPolls(const FeedSource& source, const FeedClock& clock, void (*take)(void* context, const TimedReading&),
              void* takeContext)
{
    int64_t next = clock.MonotonicMs(clock.context);
    do {
        int64_t now = clock.MonotonicMs(clock.context);
        if (now >= next) {
            FeedReading reading;
            if (source.Poll(source.context, now, reading))
                take(takeContext, {reading, now, clock.UtcMs(clock.context)});
            next += FeedPollPeriodMs;
            if (next <= now)
                next = now + FeedPollPeriodMs;
        }
    } while (clock.Pause(clock.context, next - clock.MonotonicMs(clock.context)));
}

void InitFeedLoop(FeedLoop& loop, const FeedOptions& options, const FeedOutputs& outputs, LogWriter* log,
                  int lastCastNumber)
{
    loop = FeedLoop{.format = options.format,
                    .xdrName = options.xdrName,
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
                    .casts = {}};
    InitAlarmWatch(loop.alarms, options.alarms);
    InitCastTracker(loop.casts, options.castStartMetres, options.castMergeSeconds, lastCastNumber);
}

// The wire left on the drum, as a number's text; empty when not known.
static std::string WireLeft(const FeedLoop& loop, const FeedReading& reading)
{
    if (loop.wireLength <= 0 || !HasCount(reading))
        return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", loop.wireLength - reading.metres);
    return text;
}

static void PushCastRows(FeedLoop& loop, const std::vector<CastRow>& rows, int64_t utcMs)
{
    for (const CastRow& row : rows)
        loop.log->Push({"", row.text, utcMs, true, row.open});
}

void TakeReading(FeedLoop& loop, const TimedReading& timed)
{
    const FeedReading& reading = timed.reading;
    std::string presetNote;
    if (loop.tookReading && IsPreset(loop.latest.reading, reading)) {
        presetNote = "preset: " + std::to_string(loop.latest.reading.metres) + " m to " +
                     std::to_string(reading.metres) + " m";
        loop.rate.samples.clear();  // the jump is no payout
        loop.outputs.Say(loop.outputs.context, presetNote);
    }
    loop.latest = timed;
    loop.tookReading = true;
    if (reading.status == FeedStatus::Valid)
        AddToRate(loop.rate, timed.monotonicMs, reading.metres);
    else
        loop.rate.samples.clear();
    UtcTime time = UtcFromUnixMs(timed.utcMs);
    std::string wireLeft = WireLeft(loop, reading);
    std::vector<std::string> lines;
    bool due = LineDue(loop.lines, timed.monotonicMs, reading);
    if (due)
        lines.push_back(BuildFeedLine(loop.format, time, reading, loop.rate, loop.xdrName));
    std::vector<AlarmEvent> alarms;
    if (loop.watchAlarms)
        alarms = WatchAlarms(loop.alarms, timed, loop.rate);
    bool changed = false;
    for (const AlarmEvent& alarm : alarms) {
        lines.push_back(alarm.sentence);
        if (!alarm.changed)
            continue;
        changed = true;
        char said[160];
        std::snprintf(said, sizeof said, "alarm %03d %s: %s", alarm.id, alarm.raised ? "raised" : "cleared",
                      alarm.text.c_str());
        loop.outputs.Say(loop.outputs.context, said);
        if (loop.log != nullptr)
            loop.log->Push({LogFileName(time), BuildLogLine(time, reading, loop.rate, wireLeft, said), timed.utcMs,
                            false, false});
    }
    if (loop.trackCasts)
        PushCastRows(loop, TrackCast(loop.casts, timed, loop.rate), timed.utcMs);
    std::string more = "\"wire_left_m\":" + (wireLeft.empty() ? "null" : wireLeft) +
                       ",\"alarms\":" + RaisedAlarmsJson(loop.alarms) +
                       ",\"cast\":" + (loop.trackCasts ? CurrentCastJson(loop.casts) : "null");
    loop.outputs.Publish(loop.outputs.context, lines, BuildReadingJson(time, reading, loop.rate, more), due || changed);
    if (loop.log != nullptr && (LineDue(loop.rows, timed.monotonicMs, reading) || !presetNote.empty()))
        loop.log->Push({LogFileName(time), BuildLogLine(time, reading, loop.rate, wireLeft, presetNote), timed.utcMs,
                        false, false});
}

void EndFeedLoop(FeedLoop& loop)
{
    CastRow row;
    if (loop.trackCasts && OpenCastRow(loop.casts, row))
        PushCastRows(loop, {row}, loop.latest.utcMs);
}
