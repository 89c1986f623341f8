// The feed's rhythm: the source polled every 250 ms of the monotonic
// clock, each reading stamped with the wall clock.
#pragma once

#include "platform/feed_clock.h"
#include "platform/feed_source.h"

// Polls the source every FeedPollPeriodMs of the monotonic clock, handing
// each reading to take, until the clock says the feed is stopping. A poll
// that comes late (a slow display) is followed by the next at once, then
// the rhythm resumes; none is made up for.
void RunPolls(const FeedSource& source, const FeedClock& clock, void (*take)(void* context, const TimedReading&),
              void* takeContext);
