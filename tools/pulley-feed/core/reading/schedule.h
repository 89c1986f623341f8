// When a line or a row is due.
#pragma once

#include <cstdint>

#include "reading/reading.h"

// The feed asks its source for the reading this often.
constexpr int FeedPollPeriodMs = 250;

// When lines are due: on every new reading or status, and at least every
// interval while nothing changes. Times are the monotonic clock's.
struct Schedule {
    int64_t intervalMs;
    bool sent;
    int64_t lastMs;
    FeedReading last;
};
// True when a line is due now; it then counts as sent.
bool LineDue(Schedule& schedule, int64_t nowMs, const FeedReading& reading);
