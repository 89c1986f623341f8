// The feed's two clocks and its pause, as a table: tests give it a clock
// that steps.
#pragma once

#include <cstdint>

struct FeedClock {
    int64_t (*MonotonicMs)(void* context);  // never steps: schedules, rates and timeouts
    int64_t (*UtcMs)(void* context);        // the wall clock: stamps lines and rows, nothing else
    // Waits ms, or less when the feed is stopping: then false.
    bool (*Pause)(void* context, int64_t ms);
    void* context;
};
