// What the display shares with the programs around it: the class name of
// its window and the messages other programs send that window (see
// docs/integration.md), and the two readings that are not counts. The
// display, its resource script, kvarncpi.dll, the simulator and the tools
// all take them from here.
#pragma once

#define PULLEY_WINDOW_CLASS "PULLEY"  // string 109 of the display's resources

// Feet are metres times the pulley maker's factor, not 3.2808: the display's
// feet, and the feed's page's (which the build takes from here).
#define PULLEY_FEET_PER_METRE 3.28

// wParam 0, lParam 0: resets the pulley's count and returns 1; any other
// parameters return 0 and do nothing.
#define UM_RESETCOUNT 1127  // WM_USER + 103
// Returns the current count as a signed 32-bit value, in the display's unit.
#define UM_GETCOUNT 1128  // WM_USER + 104
// Returns the count of the last poll in whole metres, whatever unit is shown
// (9999 before any reading, 2147483647 after a lost link; the typed value
// while Test Value is open).
#define UM_GETMETRES 1129  // WM_USER + 105
// Returns the display's state: the bits below, the others 0.
#define UM_GETSTATUS 1130  // WM_USER + 106
#define PULLEY_STATUS_CONNECTED 0x1
#define PULLEY_STATUS_FEET 0x2        // the display shows feet
#define PULLEY_STATUS_TEST_VALUE 0x4  // Test Value is open
#define PULLEY_STATUS_RELAY_OPEN 0x8
#define PULLEY_STATUS_READ 0x10  // connected, and has read the pulley since (its 9999 is a count)
// The pulley stopped answering and the lost-link warning is up: the count
// queries still answer the count from before, which is no longer current.
#define PULLEY_STATUS_LINK_LOST 0x20
// Bits 8-15: the presets and resets the display has made, counted with the
// first count read after each (so that the count that comes with a new
// number is the count after it), wrapping from 255 to 0.
#define PULLEY_STATUS_PRESETS_SHIFT 8
#define PULLEY_STATUS_PRESETS_MASK 0xFF00

// pulley-feed's hidden window while it sits in the notification area
// (--tray), found by its class: WM_CLOSE, or WM_COMMAND with
// PULLEY_FEED_EXIT, ends the feed as its menu's Exit does.
#define PULLEY_FEED_WINDOW_CLASS "PULLEY_FEED"
#define PULLEY_FEED_EXIT 40001

// pulley-feed's pipe, which pulley-remote's mark, ack, station and wire
// reach however the feed runs (console, tray or service): a request is its
// words with a tab between them, the answer "ok" or "refused", a tab, and
// the event's row as JSON or the reason. UTF-8, at most this many bytes.
#define PULLEY_FEED_PIPE "\\\\.\\pipe\\PulleyFeed"
#define PULLEY_FEED_PIPE_BYTES 4096

#ifndef RC_INVOKED
#include <cstdint>

constexpr int32_t NoReading = 9999;          // held while no reading is current
constexpr int32_t LostReading = 2147483647;  // the device library's "link lost"
#endif
