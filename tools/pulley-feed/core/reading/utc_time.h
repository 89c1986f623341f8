// The wall clock's time in UTC, which stamps the lines and rows: the
// fields of a time, and its ISO 8601 text.
#pragma once

#include <cstdint>
#include <string>

// UTC time of day and date, to the millisecond.
struct UtcTime {
    int year, month, day, hour, minute, second, millisecond;
};
UtcTime UtcFromUnixMs(int64_t unixMs);
int64_t UnixMsFromUtc(const UtcTime& time);
// YYYY-MM-DDTHH:MM:SS[.mmm], every field its full width and the date one
// that exists.
bool ParseIsoTime(const char* text, int64_t& unixMs);
std::string IsoTimeText(const UtcTime& time);  // 2026-12-08T12:34:56.789Z
