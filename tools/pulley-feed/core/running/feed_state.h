// What each reading makes: the lines due to the network (the reading's
// own, and the winch watch's alarm sentences), the reading for the page,
// the rows due for the survey log and the cast log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "watch/alarms.h"
#include "watch/tension_watch.h"
#include "record/cast_tracker.h"
#include "settings/feed_options.h"
#include "record/history.h"
#include "reading/payout_rate.h"
#include "reading/reading.h"
#include "reading/schedule.h"
#include "formats/sentences.h"
#include "record/cruise_folder.h"
#include "record/events.h"
#include "record/wire_book.h"
#include "record/wire_log.h"

class LogWriter;

struct FeedOutputs {
    // Every reading as JSON, and the lines due now (each a datagram of its
    // own); event: whether the page's streams get this reading.
    void (*Publish)(void* context, const std::vector<std::string>& lines, const std::string& json, bool event);
    void (*Say)(void* context, const std::string& message);  // on the console
    void* context;
};

constexpr int64_t LineIntervalMs = 1000;  // a line at least once a second
constexpr int64_t LogIntervalMs = 60000;  // a log row at least once a minute

// What the feed keeps from one reading to the next, and what each reading
// makes.
struct FeedState {
    FeedFormat format;
    std::string xdrName;
    std::string stationName;
    FeedOutputs outputs;
    LogWriter* log;  // null without a log
    PayoutRate rate;
    Schedule lines, rows;
    TimedReading latest;
    bool tookReading;  // latest holds one
    double wireLength;    // 0: not given
    double breakingLoad;  // the settings', in the tension's unit; 0: not given
    bool watchAlarms, trackCasts;
    AlarmWatch alarms;
    CastTracker casts;
    CastList listedCasts;  // for /casts.json
    History history;       // for /history.json
    ChartLimits limits;    // the lines the chart draws
    // The cruise's record.
    std::string cruise, station;
    WireBook wire;          // the winch's wire book, when one is kept
    bool keepsWireBook;     // its entries go to the log's writer
    bool wireConflictSaid;  // --wire-length and the book disagree: said once
    bool loadConflictSaid;  // --breaking-load and the book disagree: said once
    // The cruise folder (layout = cruise).
    CruiseLayout layout;
    WireLogHead head;
    std::string version;
    const LogFileOps* files;  // the casts read for the wire log at each close
    std::string logFolder;
    int64_t cruiseStartMs;    // its casts and events files' time
    int64_t openPeriodMs;     // the open count file's period (with a log)
    CruiseAt castCruise;      // the cruise the cast under way started in (none between casts)
    TensionWatch tension = {};  // the load cell's, when one is read
};

// What the feed found of the record when it started.
struct RecordAtStart {
    int lastCastNumber = 0;   // the cast log's last, to number on from
    CastList listed = {};     // the casts it listed when it was opened
    std::string lastStation = "";  // the station the events file last set
    std::optional<WireBook> wireBook = std::nullopt;  // the wire book, when one is kept
    const LogFileOps* files = nullptr;  // the logs' (a cruise folder's wire log reads casts)
    int64_t cruiseStartMs = 0;          // when the cruise folder was started
    std::string version = "";           // the software's, for the folder's description
};
void InitFeedState(FeedState& state, const FeedOptions& options, const FeedOutputs& outputs, LogWriter* log,
                   const RecordAtStart& record = {});
void TakeReading(FeedState& state, const TimedReading& reading);
// A line of the load cell, with the times it came: a good one is logged,
// counts for the cast's most tension and is judged against the safe
// working load; any other is counted.
void TakeTension(FeedState& state, const std::string& line, int64_t monotonicMs, int64_t utcMs);
// The latest reading published again, with the lines given (an alarm
// acknowledged), to every stream.
void PublishAgain(FeedState& state, const std::vector<std::string>& lines);
// An event of the cruise's record, stamped with the cruise, the station,
// the cast under way and the reading of the moment, written to events.csv;
// the row.
EventRow RecordEvent(FeedState& state, EventRow row, int64_t monotonicMs);
// The wire on the drum now: the wire book's, else --wire-length; none when neither.
std::optional<double> WireLength(const FeedState& state, int64_t utcMs);
// The safe working load from the wire on the drum: its install's breaking
// load in the book, else breaking-load's. The alarms, the chart's lines and
// the casts' notes follow it as the book changes.
void FollowBreakingLoad(FeedState& state);
// The casts file written now, relative to the log folder: casts.csv, or
// the cruise folder's own.
std::string CastsFileOf(const FeedState& state);
// In a cruise folder's layout, its count file of that period open: its
// descriptions and wire log written, and the files closed before summed;
// the folders of cruises left open by a feed stopped before its cruise
// changed, summed whole.
void StartCruiseFolder(FeedState& state, int64_t periodMs);
// A new cruise id: in a cruise folder's layout, the old folder is closed
// (its manifest made whole) and the new one started.
void ChangeCruise(FeedState& state, const std::string& cruise, int64_t utcMs);
// At the feed's stop: an open cast's row, as it stands.
void EndFeedState(FeedState& state);
