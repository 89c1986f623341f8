// Where pulley-feed takes the count from: the display on this desktop,
// asked by window messages, or relay lines on a serial line.
#pragma once

#include <windows.h>

#include <string>

#include "feed.h"

struct DisplaySource {
    HWND window;             // null until a display answers
    int64_t connectedSince;  // when the display was first seen connected; -1 when not
};
// Asks the display for the metres and its status, finding it first when
// needed; NoDisplay when none answers within a few hundred milliseconds.
FeedReading PollDisplay(DisplaySource& source, int64_t nowMs);
bool DisplayRunning();

struct SerialSource {
    HANDLE port;
    bool edgeTechFeet;
    std::string partial;  // the bytes of a line not yet ended
    FeedReading last;
    int64_t lastLineMs;
};
// False, with the system's reason, when the port cannot be used.
bool OpenSerialSource(SerialSource& source, const char* name, DWORD baudRate, bool edgeTechFeet,
                      std::string& reason);
// The last relay line's reading; NoData when no line came for 3 s.
FeedReading PollSerial(SerialSource& source, int64_t nowMs);

// The system's text for an error code, for messages a person must act on.
std::string SystemMessage(DWORD code);
