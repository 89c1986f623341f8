// What the display shares with the programs around it: the class name of
// its window and the messages other programs send that window (see
// docs/integration.md), and the two readings that are not counts. The
// display, its resource script, kvarncpi.dll, the simulator and the tools
// all take them from here.
#pragma once

#define PULLEY_WINDOW_CLASS "PULLEY"  // string 109 of the display's resources

// wParam 0, lParam 0: resets the pulley's count and returns 1; any other
// parameters return 0 and do nothing.
#define UM_RESETCOUNT 1127  // WM_USER + 103
// Returns the current count as a signed 32-bit value, in the display's unit.
#define UM_GETCOUNT 1128  // WM_USER + 104

#ifndef RC_INVOKED
#include <cstdint>

constexpr int32_t NoReading = 9999;          // held while no reading is current
constexpr int32_t LostReading = 2147483647;  // the device library's "link lost"
#endif
