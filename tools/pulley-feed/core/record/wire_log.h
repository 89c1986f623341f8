// The wire log a technician hands in at the end of a cruise, in the layout
// open winch loggers write as the UNOLS wire pool format: a head naming the
// wire and the winch, then a row a cast (the cable length as it stood, the
// most wire out) and a row a wire book entry, oldest first. Tension is
// left empty until the feed has a tension source. For spreadsheets: fields
// quoted where they need it, times as yyyy-mm-dd hh:mm:ss UTC.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/cast_rows.h"
#include "record/wire_book.h"

struct WireLogHead {
    std::string ship, winch, winchModel, winchMaker, winchSerial;  // the wire's come from the book
};

// The casts and the book's entries from sinceUtcMs on.
std::string BuildWireLog(const WireLogHead& head, const std::vector<CastRecord>& casts, const WireBook& book,
                         int64_t sinceUtcMs);
// The wire log's description, as a cruise folder's docs/ has it.
std::string WireLogDescription(const std::string& kind);
