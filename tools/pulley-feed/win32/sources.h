// Where pulley-feed takes the count from: the display on this desktop,
// asked by window messages, or another display's relay lines on a serial
// port. Each is polled from the feed's source thread through a FeedSource.
#pragma once

#include <windows.h>

#include <string>

#include "platform/feed_source.h"
#include "formats/relay_lines.h"

class ConsoleWriter;

struct DisplaySource {
    HWND window = nullptr;  // null until a display answers
    bool denied = false;    // said that the display runs with higher rights
    ConsoleWriter* console = nullptr;
};
bool DisplayRunning();
FeedSource DisplayFeedSource(DisplaySource& source);

// The display sends its K-VARN and T count lines only when the count
// changes: the last one stays true until another comes or the port fails.
// EdgeTech's line comes every second, so after this long without one the
// reading is no longer trusted.
constexpr int64_t EdgeTechStaleMs = 3000;
constexpr int64_t SerialReopenMs = 2000;

struct SerialSource {
    std::string name;
    DWORD baudRate = 9600;
    int64_t staleAfterMs = -1;  // -1: by the line's format, as above
    RelayLineReader reader{};
    ConsoleWriter* console = nullptr;
    HANDLE port = INVALID_HANDLE_VALUE;
    FeedReading last{FeedStatus::NoData, 0};
    bool lineSeen = false;
    int64_t lastLineMs = 0;
    int64_t reopenAtMs = 0;  // while the port is lost
};
// Opens a port the feed reads lines from (a read returns what has come):
// INVALID_HANDLE_VALUE, with the system's reason, when it cannot be used.
HANDLE OpenLinePort(const std::string& name, DWORD baudRate, std::string& reason);
// Opens the port: false with the system's reason when it cannot be used.
bool OpenSerialSource(SerialSource& source, std::string& reason);
FeedSource SerialFeedSource(SerialSource& source);
void CloseSerialSource(SerialSource& source);
