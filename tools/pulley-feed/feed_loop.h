// The feed's rhythm: the source polled every 250 ms of the monotonic clock,
// each reading stamped with the wall clock, and what each reading makes:
// the lines due to the network (the reading's own, and the winch watch's
// alarm sentences), the reading for the page, the rows due for the survey
// log and the cast log. Portable, reaching the world through tables, so
// that tests can give it a clock that steps.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "alarms.h"
#include "casts.h"
#include "feed_lines.h"
#include "feed_options.h"

class LogWriter;

struct FeedClock {
    int64_t (*MonotonicMs)(void* context);  // never steps: schedules, rates and timeouts
    int64_t (*UtcMs)(void* context);        // the wall clock: stamps lines and rows, nothing else
    // Waits ms, or less when the feed is stopping: then false.
    bool (*Pause)(void* context, int64_t ms);
    void* context;
};

struct FeedSource {
    // False when the source has no reading for this poll (the display moved
    // on while it was asked): the next poll asks again.
    bool (*Poll)(void* context, int64_t monotonicMs, FeedReading& reading);
    void* context;
};

// Polls the source every FeedPollPeriodMs of the monotonic clock, handing
// each reading to take, until the clock says the feed is stopping. A poll
// that comes late (a slow display) is followed by the next at once, then
// the rhythm resumes; none is made up for.
void RunPolls(const FeedSource& source, const FeedClock& clock, void (*take)(void* context, const TimedReading&),
              void* takeContext);

struct FeedOutputs {
    // Every reading as JSON, and the lines due now (each a datagram of its
    // own); event: whether the page's streams get this reading.
    void (*Publish)(void* context, const std::vector<std::string>& lines, const std::string& json, bool event);
    void (*Say)(void* context, const std::string& message);  // on the console
    void* context;
};

constexpr int64_t LineIntervalMs = 1000;  // a line at least once a second
constexpr int64_t LogIntervalMs = 60000;  // a log row at least once a minute

struct FeedLoop {
    FeedFormat format;
    std::string xdrName;
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
};
// lastCastNumber: the cast log's last, to number on from.
void InitFeedLoop(FeedLoop& loop, const FeedOptions& options, const FeedOutputs& outputs, LogWriter* log,
                  int lastCastNumber);
void TakeReading(FeedLoop& loop, const TimedReading& reading);
// At the feed's stop: an open cast's row, as it stands.
void EndFeedLoop(FeedLoop& loop);
