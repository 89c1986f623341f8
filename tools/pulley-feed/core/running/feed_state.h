// What each reading makes: the lines due to the network (the reading's
// own, and the winch watch's alarm sentences), the reading for the page,
// the rows due for the survey log and the cast log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "watch/alarms.h"
#include "record/cast_tracker.h"
#include "settings/feed_options.h"
#include "record/history.h"
#include "reading/payout_rate.h"
#include "reading/reading.h"
#include "reading/schedule.h"
#include "formats/sentences.h"
#include "record/events.h"
#include "record/wire_book.h"

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
    double wireLength;  // 0: not given
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
};

// What the feed found of the record when it started.
struct RecordAtStart {
    int lastCastNumber = 0;   // the cast log's last, to number on from
    CastList listed = {};     // the casts it listed when it was opened
    std::string lastStation;  // the station events.csv last set
    std::optional<WireBook> wireBook = std::nullopt;  // the wire book, when one is kept
};
void InitFeedState(FeedState& state, const FeedOptions& options, const FeedOutputs& outputs, LogWriter* log,
                   const RecordAtStart& record = {});
void TakeReading(FeedState& state, const TimedReading& reading);
// The latest reading published again, with the lines given (an alarm
// acknowledged), to every stream.
void PublishAgain(FeedState& state, const std::vector<std::string>& lines);
// An event of the cruise's record, stamped with the cruise, the station,
// the cast under way and the reading of the moment, written to events.csv;
// the row.
EventRow RecordEvent(FeedState& state, EventRow row, int64_t monotonicMs);
// The wire on the drum now: the wire book's, else --wire-length; none when neither.
std::optional<double> WireLength(const FeedState& state, int64_t utcMs);
// At the feed's stop: an open cast's row, as it stands.
void EndFeedState(FeedState& state);
