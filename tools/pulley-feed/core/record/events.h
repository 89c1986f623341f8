// events.csv: the cruise's record of what happened at the winch, a row an
// event, appended and never rewritten: marks, stations, alarms raised,
// cleared and acknowledged, casts started and ended, the wire book's
// entries; each with the count of that moment when there was one to trust.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/log_file_ops.h"
#include "reading/payout_rate.h"
#include "reading/reading.h"
#include "record/log_table.h"

struct EventRow {
    int64_t utcMs = 0;
    std::string kind = "";           // one of the kinds below
    std::string cruise = "", station = "";     // as they stood
    std::optional<int32_t> cast = std::nullopt;    // the cast under way, or the one started or ended
    std::optional<int32_t> metres = std::nullopt;  // the count of the moment: valid, and at most 2 s old
    std::optional<double> rate = std::nullopt;
    std::string status = "";         // the reading's status, or "stale" when older than 2 s
    std::string source = "";         // "local", "pulley-remote", or the address of a page on the LAN
    std::string text = "";
    bool operator==(const EventRow&) const = default;
};
// utc,kind,cruise,station,cast,metres,rate_m_per_min,status,source,text
extern const LogTable<EventRow> EventTable;
extern const char EventsFileName[];

extern const char MarkEvent[], StationEvent[], AlarmRaisedEvent[], AlarmClearedEvent[], AlarmAcknowledgedEvent[],
    CastStartEvent[], CastEndEvent[], WireEvent[];

// A count older than this is no count of the moment.
constexpr int64_t EventReadingMostMs = 2000;
// The reading's part of an event at monotonic nowMs: the count and rate
// only when the reading is valid and at most 2 s old; the status says why
// when not.
void StampReading(EventRow& row, const TimedReading* latest, const PayoutRate& rate, int64_t nowMs);

// The station last set in an events file (its path), for a feed started
// again; empty when none (or no file).
std::string LastStation(const LogFileOps& files, const std::string& path);
