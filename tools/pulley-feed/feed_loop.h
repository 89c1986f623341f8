// The feed's rhythm: the source polled every 250 ms of the monotonic clock,
// each reading stamped with the wall clock, and what each reading makes: a
// line to the network when one is due, a row for the survey log when one is
// due. Portable, reaching the world through tables, so that tests can give
// it a clock that steps.
#pragma once

#include <cstdint>
#include <string>

#include "feed_lines.h"

class LogWriter;

struct FeedClock {
    int64_t (*MonotonicMs)(void* context);  // never steps: schedules, rates and timeouts
    int64_t (*UtcMs)(void* context);        // the wall clock: stamps lines and rows, nothing else
    // Waits ms, or less when the feed is stopping: then false.
    bool (*Pause)(void* context, int64_t ms);
    void* context;
};

struct FeedSource {
    FeedReading (*Poll)(void* context, int64_t monotonicMs);
    void* context;
};

// Polls the source every FeedPollPeriodMs of the monotonic clock, handing
// each reading to take, until the clock says the feed is stopping. A poll
// that comes late (a slow display) is followed by the next at once, then
// the rhythm resumes; none is made up for.
void RunPolls(const FeedSource& source, const FeedClock& clock, void (*take)(void* context, const TimedReading&),
              void* takeContext);

struct FeedOutputs {
    // Every reading as JSON, with its line when one is due (empty when not).
    void (*Publish)(void* context, const std::string& line, const std::string& json);
    void* context;
};

constexpr int64_t LineIntervalMs = 1000;  // a line at least once a second
constexpr int64_t LogIntervalMs = 60000;  // a log row at least once a minute

struct FeedLoop {
    FeedFormat format;
    FeedOutputs outputs;
    LogWriter* log;  // null without a log
    PayoutRate rate;
    Schedule lines, rows;
    TimedReading latest;
};
void InitFeedLoop(FeedLoop& loop, FeedFormat format, const FeedOutputs& outputs, LogWriter* log);
// The reading, with its line when one is due, and its row when one is due.
void TakeReading(FeedLoop& loop, const TimedReading& reading);
