// Where the feed takes its readings from, as a table: the display or a
// relay line on Windows, a script in the tests.
#pragma once

#include <cstdint>

#include "reading/reading.h"

struct FeedSource {
    // False when the source has no reading for this poll (the display moved
    // on while it was asked): the next poll asks again.
    bool (*Poll)(void* context, int64_t monotonicMs, FeedReading& reading);
    void* context;
};
