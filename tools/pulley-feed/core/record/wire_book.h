// The winch's wire book: a file kept beside the settings file across
// cruises, a row an entry: the wire installed (its NSF id, part number,
// maker, length and assigned breaking load), cut back, terminated, load
// tested, lubricated or removed. The wire on the drum follows it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "formats/tension_lines.h"
#include "platform/log_file_ops.h"
#include "record/log_table.h"

struct WireEntry {
    int64_t utcMs = 0;
    std::string event = "";                      // one of WireEvents
    std::optional<double> metres = std::nullopt;  // install: its length; cut-back: the length cut
    std::string nsfId = "", partNumber = "", maker = "";  // the wire's, given with its install
    std::optional<double> breakingLoad = std::nullopt;    // the wire's assigned one, with its install
    std::string loadUnit = "";                            // the breaking load's: lbf, kgf or kN
    std::string cruise = "";                     // when it was entered
    std::string note = "";
    bool operator==(const WireEntry&) const = default;
};
// utc,event,metres,nsf_id,part_number,maker,breaking_load,load_unit,cruise,note
extern const LogTable<WireEntry> WireBookTable;
extern const char WireBookFileName[];
// install, cut-back, termination, load-test, lubrication, removal, other
extern const std::vector<std::string> WireEvents;

struct WireBook {
    std::vector<WireEntry> entries;  // in the file's order
};

// The book's entries from its file; a missing file is an empty book. A
// line that is no entry (the header, a note a person typed) is passed over.
bool ReadWireBook(const LogFileOps& files, const std::string& path, WireBook& book, std::string& reason);
// Whether the entry may follow the book, or why not: an unknown event,
// metres missing where the event takes them or given where it does not, a
// length that is not more than 0, a cut-back longer than the wire, an id
// that is no name, a breaking load but with an install or without its unit.
bool CheckWireEntry(const WireBook& book, const WireEntry& entry, std::string& reason);
// The wire on the drum after the entries up to atUtcMs: the last install's
// length less the cut-backs since; none before an install, or after a removal.
std::optional<double> WireLengthAt(const WireBook& book, int64_t atUtcMs);
// The last install still on the drum; null when none.
const WireEntry* InstalledWire(const WireBook& book);
// The breaking load of the wire on the drum, in the unit; none when its
// install gave none.
std::optional<double> BreakingLoadIn(const WireBook& book, TensionUnit unit);
// A termination with no load test after it.
bool LoadTestDue(const WireBook& book);
