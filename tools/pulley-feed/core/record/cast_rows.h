// casts.csv's rows: the cast record, and its table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "record/log_table.h"

// A row of casts.csv, as written. Start and end are stamped in UTC; the
// duration is measured on the monotonic clock, which no clock setting moves.
struct CastRecord {
    int32_t number = 0;
    int64_t startUtcMs = 0;
    std::optional<int64_t> endUtcMs;  // none while the cast is under way
    double durationSeconds = 0;       // to its end, or to its newest reading while under way
    int32_t maxMetres = 0;
    int64_t maxUtcMs = 0;             // when it reached its deepest
    std::optional<int64_t> maxLeftUtcMs;   // when it left it; none while it is there
    double maxRateOut = 0, maxRateIn = 0;  // metres a minute, both 0 or more
    std::string cruise, station;      // as they stood when it started
    // Its most tension from every line of the load cell, in the source's
    // unit; the wire out at that moment and the wire in (the cable's length
    // less that). None without a tension source.
    std::optional<double> maxTension = std::nullopt;
    std::string tensionUnit = "";
    std::optional<int32_t> maxTensionWireOut = std::nullopt;
    std::optional<double> maxTensionWireIn = std::nullopt;
    std::string notes;                // "open" under way, a person's words, tow-yos joined
    bool operator==(const CastRecord&) const = default;
};
// cast,start_utc,end_utc,duration_s,max_wire_out_m,max_utc,max_left_utc,
// max_rate_out_m_per_min,max_rate_in_m_per_min,cruise,station,max_tension,
// tension_unit,max_tension_wire_out_m,max_tension_wire_in_m,notes
extern const LogTable<CastRecord> CastTable;
// The columns earlier releases wrote: the first, without max_left_utc,
// cruise and station; the next, without the tension. Their rows are read
// back by them, and their header is brought up to date.
extern const LogTable<CastRecord> CastTableWithoutCruise, CastTableWithoutTension;
// A row of any of them, read back.
bool ReadCastRow(const std::string& row, CastRecord& cast);

extern const char CastsFileName[];  // casts.csv
// The notes of a cast's open row: the cast log closes a row left so.
extern const char OpenCastNote[];
// The notes of a cast whose tension passed the warning, or the alarm.
extern const char TensionWarningNote[], TensionAlarmNote[];
