#include "feed_loop.h"

#include "log_writer.h"

void RunPolls(const FeedSource& source, const FeedClock& clock, void (*take)(void* context, const TimedReading&),
              void* takeContext)
{
    int64_t next = clock.MonotonicMs(clock.context);
    do {
        int64_t now = clock.MonotonicMs(clock.context);
        if (now >= next) {
            FeedReading reading = source.Poll(source.context, now);
            take(takeContext, {reading, now, clock.UtcMs(clock.context)});
            next += FeedPollPeriodMs;
            if (next <= now)
                next = now + FeedPollPeriodMs;
        }
    } while (clock.Pause(clock.context, next - clock.MonotonicMs(clock.context)));
}

void InitFeedLoop(FeedLoop& loop, FeedFormat format, const FeedOutputs& outputs, LogWriter* log)
{
    loop = FeedLoop{.format = format,
                    .outputs = outputs,
                    .log = log,
                    .rate = {},
                    .lines = {.intervalMs = LineIntervalMs, .sent = false, .lastMs = 0, .last = {}},
                    .rows = {.intervalMs = LogIntervalMs, .sent = false, .lastMs = 0, .last = {}},
                    .latest = {}};
}

void TakeReading(FeedLoop& loop, const TimedReading& timed)
{
    loop.latest = timed;
    const FeedReading& reading = timed.reading;
    if (reading.status == FeedStatus::Valid)
        AddToRate(loop.rate, timed.monotonicMs, reading.metres);
    else
        loop.rate.samples.clear();
    UtcTime time = UtcFromUnixMs(timed.utcMs);
    std::string line;
    if (LineDue(loop.lines, timed.monotonicMs, reading))
        line = BuildFeedLine(loop.format, time, reading, loop.rate);
    loop.outputs.Publish(loop.outputs.context, line, BuildReadingJson(time, reading, loop.rate));
    if (loop.log != nullptr && LineDue(loop.rows, timed.monotonicMs, reading))
        loop.log->Push({LogFileName(time), BuildLogLine(time, reading, loop.rate), timed.utcMs});
}
