// The source polled on its rhythm, on its own thread.
#include "running/polls.h"

#include "reading/schedule.h"

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
