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
};
// lastCastNumber: the cast log's last, to number on from; listed: the
// casts it listed when it was opened.
void InitFeedState(FeedState& state, const FeedOptions& options, const FeedOutputs& outputs, LogWriter* log,
                   int lastCastNumber, const CastList& listed = {});
void TakeReading(FeedState& state, const TimedReading& reading);
// At the feed's stop: an open cast's row, as it stands.
void EndFeedState(FeedState& state);
