// The window messages other programs send the display's window (class
// "PULLEY"). Integrators: see docs/integration.md.
#pragma once

#define PULLEY_WINDOW_CLASS "PULLEY"
// wParam 0, lParam 0: resets the pulley's count and returns 1; any other
// parameters return 0 and do nothing.
#define UM_RESETCOUNT 1127  // WM_USER + 103
// Returns the current count as a signed 32-bit value, in the display's unit.
#define UM_GETCOUNT 1128  // WM_USER + 104
