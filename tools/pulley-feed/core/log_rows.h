// The survey log's rows: one CSV file a UTC day.
#pragma once

#include <cstdint>
#include <string>

#include "payout_rate.h"
#include "reading.h"
#include "utc_time.h"

// The survey log: one CSV file a UTC day.
std::string LogFileName(const UtcTime& time);  // pulley-YYYY-MM-DD.csv
extern const char LogHeader[];
// utc,metres,status,rate_m_per_min,wire_left_m,note: the wire left empty
// when not known, the note empty but for alarms and dropped rows.
std::string BuildLogLine(const UtcTime& time, const FeedReading& reading, const PayoutRate& rate,
                         const std::string& wireLeft = "", const std::string& note = "");
// The row that stands for rows the log could not keep: when, and how many.
std::string BuildDroppedRow(int64_t firstUtcMs, int64_t lastUtcMs, uint64_t rows);
