// The display's relay lines read back from a serial line, in any of its
// three formats.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "reading/reading.h"

// A relay line read back from a serial line, in any of the display's three
// formats. An EdgeTech line carries no unit: edgeTechFeet says which it is.
// False for a line that is none of them.
bool ParseRelayLine(const std::string& line, bool edgeTechFeet, FeedReading& reading);
// The metres count whose feet text is this number (the display's feet are
// the metres times 3.28, truncated); false when no single count gives it.
bool MetresFromFeet(int32_t feet, int32_t& metres);

// Relay lines taken from a serial line as its bytes come.
struct RelayLineReader {
    bool edgeTechFeet = false;
    std::string partial = "";     // the bytes of a line not yet ended
    bool lastWasEdgeTech = false;  // EdgeTech's line comes every second; the others only on a change
};
// True when a whole relay line was among the bytes; latest is the last one's reading.
bool ReadRelayBytes(RelayLineReader& reader, const char* bytes, size_t count, FeedReading& latest);
