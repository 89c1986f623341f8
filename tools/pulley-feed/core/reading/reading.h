// A reading of the count, and why it is, or is not, one to trust.
// Portable, as everything in this folder.
#pragma once

#include <cstdint>

// Why a count is, or is not, one to trust.
enum class FeedStatus {
    Valid,
    NotYetRead,    // connected, but the display has not read the pulley yet
    LostLink,      // the display lost the link to the pulley
    NotConnected,  // the display is not connected to a pulley
    NoDisplay,     // no display answers (closed or hung)
    NoData,        // the serial line brought no relay line for a while
    NoPort,        // the serial port failed (an adapter pulled) and is being opened again
    TestValue,     // the display's Test Value dialog is open: a typed value
};
const char* StatusWord(FeedStatus status);  // for the log and the console

struct FeedReading {
    FeedStatus status;
    int32_t metres;    // meaningful when Valid or TestValue
    int presets = -1;  // the display's count of presets and resets (0-255); -1: the source cannot tell
};
bool HasCount(const FeedReading& reading);  // Valid or TestValue

// A reading with the two times it was taken at: the monotonic clock, which
// never steps and schedules everything, and the wall clock (UTC), which only
// stamps the lines and rows.
struct TimedReading {
    FeedReading reading;
    int64_t monotonicMs;
    int64_t utcMs;  // since 1970-01-01
};
