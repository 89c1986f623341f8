// The winch watch's alarms: cable out beyond a length or back near home,
// a payout or haul-in too fast, no valid count for too long, and too little
// wire left on the drum. Each is raised and cleared with hysteresis, so a
// count dithering round a limit raises one alarm, not many, and each change
// goes out as the standard NMEA 0183 alarm sentence (ALR), again once a
// minute while it stands. Portable, for the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reading/payout_rate.h"
#include "reading/reading.h"
#include "formats/reading_json.h"
#include "formats/tension_lines.h"
#include "reading/utc_time.h"

enum AlarmId {
    AlarmAbove = 1,    // more cable out than the limit
    AlarmBelow = 2,    // less cable out than the limit: near home, or the drum end
    AlarmRate = 3,     // paying out or hauling in faster than the limit
    AlarmLost = 4,     // no valid count for the time given, since the last or since the feed started
    AlarmReserve = 5,  // less wire left on the drum than the reserve
    AlarmTensionWarning = 6,  // tension over the warning's share of the safe working load
    AlarmTension = 7,         // tension over the safe working load: breaking load / safety factor
    LastAlarmId = AlarmTension,
};

// The warning stands at this share of the safe working load: a wire held at
// 80 % of it is one swell's snap load (commonly a fifth of the static load
// again, as the ship heaves) from the limit, so the operator is warned while
// slowing the winch still keeps the wire within it.
constexpr double TensionWarningShare = 0.8;
// A tension alarm clears once the tension is this share of its level below it.
constexpr double TensionHysteresisShare = 0.05;

// The limits asked for; a limit not asked for is not set.
struct AlarmLimits {
    bool above, below, rate, lost, reserve;
    double aboveMetres, belowMetres, ratePerMinute, lostSeconds, reserveMetres;
    double hysteresis;   // metres (and metres a minute for the rate)
    double wireLength;   // metres on the drum at 0; 0 when not given
    // The safe working load, breakingLoad / safetyFactor, in the tension
    // source's unit (tensionUnit); 0: not watched.
    double breakingLoad, safetyFactor;
    TensionUnit tensionUnit;
};
// The safe working load, and the warning's level; 0 when not watched.
double SafeWorkingLoad(const AlarmLimits& limits);
double TensionWarningLevel(const AlarmLimits& limits);

struct AlarmState {
    bool raised;
    bool acknowledged;      // while raised; cleared with it
    int64_t changedUtcMs;   // the condition's last change, as the sentence reports it
    int64_t lastSentMs;     // monotonic
    std::string text;
};

struct AlarmWatch {
    AlarmLimits limits;
    AlarmState states[LastAlarmId + 1];  // by id; 0 unused
    bool started;
    int64_t lastValidMs;  // monotonic: the last valid count, or the feed's first reading
    // The below alarm warns of a package coming home, not of one at home:
    // it is armed once the count has been above its limit (and the
    // hysteresis), and a winch stopped below the limit clears and disarms it.
    bool belowArmed;
    int32_t lastMetres;  // the last valid count, and since when it has stood
    int64_t lastMovedMs;
};

// A count that has not changed for this long is a winch stopped.
constexpr int64_t WinchStoppedMs = 10000;

// A sentence due now: a change (raised or cleared), or the minute's repeat.
struct AlarmEvent {
    AlarmId id;
    bool raised;
    bool changed;  // false: a repeat
    std::string text;
    std::string sentence;  // $IIALR,...*hh CR LF
};

constexpr int64_t AlarmRepeatMs = 60000;

// A limit goes into its alarm's words as the operator gave it (DecimalText).
// An alarm sentence holds at most 82 characters, which leaves room for a
// limit of this many.
constexpr size_t MostLimitCharacters = 20;

void InitAlarmWatch(AlarmWatch& watch, const AlarmLimits& limits);
bool AnyAlarmAsked(const AlarmLimits& limits);
// Judges the reading against the limits: the changes, and the repeats due.
// No alarm but the lost one is raised or cleared while the count is not
// valid; a raised one stands until a valid count clears it (the below
// alarm also once the winch has stopped below its limit).
std::vector<AlarmEvent> WatchAlarms(AlarmWatch& watch, const TimedReading& timed, const PayoutRate& rate);
// Judges the tension against the safe working load (none: a silent source,
// which keeps the alarms as they stand): the changes, and the repeats due.
std::vector<AlarmEvent> WatchTension(AlarmWatch& watch, std::optional<double> tension, int64_t utcMs,
                                     int64_t monotonicMs);
// $IIALR,hhmmss.ss,nnn,A|V,A|V,text*hh: the time of the condition's
// change, the alarm's number, A while it stands and V once cleared, A once
// acknowledged (until it clears), and its words.
std::string BuildAlarmSentence(const UtcTime& changed, int id, bool raised, const std::string& text,
                               bool acknowledged = false);
// Acknowledges a standing alarm: its sentence, to go out at once; false
// with the reason for an alarm that is not standing, or acknowledged already.
bool AcknowledgeAlarm(AlarmWatch& watch, int id, int64_t monotonicMs, AlarmEvent& event, std::string& reason);
// The alarms standing, for the page.
std::vector<RaisedAlarm> RaisedAlarms(const AlarmWatch& watch);
