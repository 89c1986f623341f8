// The day files' rows: the survey row, and its table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "reading/payout_rate.h"
#include "reading/reading.h"
#include "reading/utc_time.h"
#include "record/log_table.h"

// One CSV file a UTC day: pulley-YYYY-MM-DD.csv.
std::string LogFileName(const UtcTime& time);

// A row of the survey log: a reading, or a word of the log itself.
struct SurveyRow {
    int64_t utcMs = 0;
    std::optional<int32_t> metres;     // none when the count is not to be had
    std::string status;                // the reading's status word (StatusWord), or "dropped"
    std::optional<double> rate;        // metres a minute; none while not known
    std::optional<double> wireLeft;    // metres; none when not known
    std::string note;                  // alarms, presets, dropped rows
    bool operator==(const SurveyRow&) const = default;
};
// utc,metres,status,rate_m_per_min,wire_left_m,note
extern const LogTable<SurveyRow> SurveyTable;

// The row of a reading, with its rate and the wire left (when known).
SurveyRow SurveyRowOf(int64_t utcMs, const FeedReading& reading, const PayoutRate& rate,
                      std::optional<double> wireLeft = std::nullopt, const std::string& note = "");
// The row that stands for rows the log could not keep: when, and how many.
SurveyRow DroppedRow(int64_t firstUtcMs, int64_t lastUtcMs, uint64_t rows);
// "dropped": the status of that row.
extern const char DroppedStatus[];
