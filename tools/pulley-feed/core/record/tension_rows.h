// The tension files' rows: every good line of the load cell, as it came,
// with the time it came, in a file a UTC day (or a cruise folder's period)
// beside the count's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "reading/utc_time.h"
#include "record/log_table.h"

struct TensionRow {
    int64_t utcMs = 0;                // when the line came
    std::optional<double> tension;    // in the unit
    std::string unit;                 // lbf, kgf or kN
    std::string line;                 // the line, its control bytes left out
    bool operator==(const TensionRow&) const = default;
};
// utc,tension,unit,line
extern const LogTable<TensionRow> TensionTable;

// tension-YYYY-MM-DD.csv
std::string TensionFileName(const UtcTime& day);
