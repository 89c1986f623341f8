// When a line or a row is due: on a change, and at least every interval.
#include "reading/schedule.h"

bool LineDue(Schedule& schedule, int64_t nowMs, const FeedReading& reading)
{
    bool changed = reading.status != schedule.last.status || reading.metres != schedule.last.metres;
    // Each poll comes a millisecond or two late, each by its own amount: the
    // poll that comes just short of the interval ends it, or a steady line
    // would wait for the next poll and come a quarter second late.
    int64_t steadyForMs = schedule.intervalMs - FeedPollPeriodMs / 2;
    if (schedule.sent && !changed && nowMs - schedule.lastMs < steadyForMs)
        return false;
    schedule.sent = true;
    schedule.lastMs = nowMs;
    schedule.last = reading;
    return true;
}
