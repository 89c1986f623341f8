// The winch watch: each alarm raised and cleared, and its sentence.
#include "watch/alarms.h"

#include <cmath>
#include <cstdio>

#include "formats/sentences.h"
#include "tool_args.h"

void InitAlarmWatch(AlarmWatch& watch, const AlarmLimits& limits)
{
    watch = AlarmWatch{};
    watch.limits = limits;
    watch.lastMovedMs = -1;
}

bool AnyAlarmAsked(const AlarmLimits& limits)
{
    return limits.above || limits.below || limits.rate || limits.lost || limits.reserve || SafeWorkingLoad(limits) > 0;
}

double SafeWorkingLoad(const AlarmLimits& limits)
{
    return limits.breakingLoad > 0 && limits.safetyFactor > 0 ? limits.breakingLoad / limits.safetyFactor : 0;
}

double TensionWarningLevel(const AlarmLimits& limits)
{
    return SafeWorkingLoad(limits) * TensionWarningShare;
}

// Where the watched value stands against its limit: beyond it (raise),
// back past it by more than the hysteresis (clear), or in between (as it
// was).
enum class Side { Beyond, Back, Between };

static Side SideOf(double value, double limit, double hysteresis, bool upward)
{
    double beyond = upward ? value - limit : limit - value;
    if (beyond > 0)
        return Side::Beyond;
    return -beyond > hysteresis ? Side::Back : Side::Between;
}

std::string BuildAlarmSentence(const UtcTime& changed, int id, bool raised, const std::string& text,
                               bool acknowledged)
{
    char fields[40];
    std::snprintf(fields, sizeof fields, "IIALR,%02d%02d%02d.%02d,%03d,%c,%c,", changed.hour, changed.minute,
                  changed.second, changed.millisecond / 10, id, raised ? 'A' : 'V', acknowledged ? 'A' : 'V');
    return NmeaSentence(fields + text);
}

static AlarmEvent EventOf(const AlarmWatch& watch, AlarmId id, bool changed)
{
    const AlarmState& state = watch.states[id];
    return {id, state.raised, changed, state.text,
            BuildAlarmSentence(UtcFromUnixMs(state.changedUtcMs), id, state.raised, state.text, state.acknowledged)};
}

bool AcknowledgeAlarm(AlarmWatch& watch, int id, int64_t monotonicMs, AlarmEvent& event, std::string& reason)
{
    if (id < 1 || id > LastAlarmId || !watch.states[id].raised) {
        reason = "alarm " + std::to_string(id) + " is not standing";
        return false;
    }
    AlarmState& state = watch.states[id];
    if (state.acknowledged) {
        reason = "alarm " + std::to_string(id) + " is acknowledged already";
        return false;
    }
    state.acknowledged = true;
    state.lastSentMs = monotonicMs;
    event = EventOf(watch, static_cast<AlarmId>(id), false);
    return true;
}

// Moves one alarm to where its side says; an event when it changed, or when
// its minute's repeat is due.
static void Judge(AlarmWatch& watch, AlarmId id, Side side, const std::string& text, int64_t utcMs,
                  int64_t monotonicMs, std::vector<AlarmEvent>& events)
{
    AlarmState& state = watch.states[id];
    bool raise = side == Side::Beyond && !state.raised;
    bool clear = side == Side::Back && state.raised;
    if (raise || clear) {
        state.raised = raise;
        state.acknowledged = false;
        state.changedUtcMs = utcMs;
        if (raise)
            state.text = text;
    } else if (!state.raised || monotonicMs - state.lastSentMs < AlarmRepeatMs) {
        return;
    }
    state.lastSentMs = monotonicMs;
    events.push_back(EventOf(watch, id, raise || clear));
}

// The below alarm's side for a valid count: beyond only when armed, back
// once the winch stands still.
static Side BelowSide(AlarmWatch& watch, const TimedReading& timed)
{
    const AlarmLimits& limits = watch.limits;
    int32_t metres = timed.reading.metres;
    if (metres != watch.lastMetres || watch.lastMovedMs < 0) {
        watch.lastMetres = metres;
        watch.lastMovedMs = timed.monotonicMs;
    }
    Side side = SideOf(metres, limits.belowMetres, limits.hysteresis, false);
    if (side == Side::Back)
        watch.belowArmed = true;
    if (timed.monotonicMs - watch.lastMovedMs >= WinchStoppedMs) {
        watch.belowArmed = false;
        if (watch.states[AlarmBelow].raised)
            return Side::Back;
    }
    return side == Side::Beyond && !watch.belowArmed ? Side::Between : side;
}

std::vector<AlarmEvent> WatchAlarms(AlarmWatch& watch, const TimedReading& timed, const PayoutRate& rate)
{
    const AlarmLimits& limits = watch.limits;
    std::vector<AlarmEvent> events;
    bool valid = timed.reading.status == FeedStatus::Valid;
    // A feed started during an outage counts the time without a count from its start.
    if (valid || !watch.started)
        watch.lastValidMs = timed.monotonicMs;
    watch.started = true;
    double metres = timed.reading.metres;
    // Not valid: the others keep their state; only their repeats go out.
    auto judge = [&](bool asked, AlarmId id, double value, double limit, bool upward, const std::string& text) {
        if (asked)
            Judge(watch, id, valid ? SideOf(value, limit, limits.hysteresis, upward) : Side::Between, text, timed.utcMs,
                  timed.monotonicMs, events);
    };
    judge(limits.above, AlarmAbove, metres, limits.aboveMetres, true,
          "CABLE OUT ABOVE " + DecimalText(limits.aboveMetres) + " M");
    if (limits.below)
        Judge(watch, AlarmBelow, valid ? BelowSide(watch, timed) : Side::Between,
              "CABLE OUT BELOW " + DecimalText(limits.belowMetres) + " M", timed.utcMs, timed.monotonicMs, events);
    bool rateKnown = valid && RateKnown(rate);
    if (limits.rate)
        Judge(watch, AlarmRate,
              rateKnown ? SideOf(std::fabs(MetresPerMinute(rate)), limits.ratePerMinute, limits.hysteresis, true)
                        : Side::Between,
              "WINCH FASTER THAN " + DecimalText(limits.ratePerMinute) + " M/MIN", timed.utcMs, timed.monotonicMs,
              events);
    if (limits.lost) {
        bool lost = static_cast<double>(timed.monotonicMs - watch.lastValidMs) >= limits.lostSeconds * 1000;
        Judge(watch, AlarmLost, lost ? Side::Beyond : valid ? Side::Back : Side::Between,
              "NO VALID COUNT FOR " + DecimalText(limits.lostSeconds) + " S", timed.utcMs, timed.monotonicMs, events);
    }
    judge(limits.reserve, AlarmReserve, limits.wireLength - metres, limits.reserveMetres, false,
          "LESS THAN " + DecimalText(limits.reserveMetres) + " M LEFT ON THE DRUM");
    return events;
}

// A level in the words of an alarm: whole units, or tenths below 100.
static std::string LevelText(double level, TensionUnit unit)
{
    char text[48];
    std::snprintf(text, sizeof text, level < 100 ? "%.1f %s" : "%.0f %s", level, TensionUnitName(unit));
    std::string upper = text;
    for (char& c : upper)
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    return upper;
}

std::vector<AlarmEvent> WatchTension(AlarmWatch& watch, std::optional<double> tension, int64_t utcMs,
                                     int64_t monotonicMs)
{
    const AlarmLimits& limits = watch.limits;
    std::vector<AlarmEvent> events;
    double safe = SafeWorkingLoad(limits), warning = TensionWarningLevel(limits);
    if (safe <= 0) {  // not watched, or no longer (the wire removed): a raised alarm clears
        for (AlarmId id : {AlarmTensionWarning, AlarmTension})
            Judge(watch, id, Side::Back, "", utcMs, monotonicMs, events);
        return events;
    }
    auto side = [&tension](double level) {
        return tension ? SideOf(*tension, level, level * TensionHysteresisShare, true) : Side::Between;
    };
    Judge(watch, AlarmTensionWarning, side(warning),
          "TENSION ABOVE " + LevelText(warning, limits.tensionUnit) + ": " +
              std::to_string(static_cast<int>(TensionWarningShare * 100)) + "% OF SWL",
          utcMs, monotonicMs, events);
    Judge(watch, AlarmTension, side(safe), "TENSION ABOVE SAFE WORKING LOAD " + LevelText(safe, limits.tensionUnit),
          utcMs, monotonicMs, events);
    return events;
}

std::vector<RaisedAlarm> RaisedAlarms(const AlarmWatch& watch)
{
    std::vector<RaisedAlarm> raised;
    for (int id = 1; id <= LastAlarmId; id++)
        if (watch.states[id].raised)
            raised.push_back({id, watch.states[id].text, watch.states[id].acknowledged});
    return raised;
}
