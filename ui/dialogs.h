// The dialogs, one file each; each opens modally, owned by the main window.
#pragma once

#include <windows.h>

#include "state.h"

// 1 when a pulley was identified, 0 when cancelled or there are no ports.
INT_PTR RunSelectPortDialog(HWND owner, PulleyState& state);
void RunSetCountDialog(HWND owner, PulleyState& state);
void RunRelayCountDialog(HWND owner, PulleyState& state);
void RunAboutDialog(HWND owner, PulleyState& state);
void RunTestValueDialog(HWND owner, PulleyState& state);

// Appends the machine's serial ports to a dialog's list, in the order the
// enumeration gives them; the number added. exactIndex receives the position
// of the first name equal to exact (letter case counts), or -1.
int AddSerialPortsToList(HWND dialog, int listId, const char* exact, int& exactIndex);

// The selected entry's text of a dialog's list; false, with buffer
// untouched, when nothing is selected or the text would not fit.
bool GetSelectedListText(HWND dialog, int listId, char* buffer, int size);

// The digits of an edit field as a whole number of any length, saturating at
// ceiling, so a number of any size is seen as too large and never wraps.
unsigned long long ReadDigitsField(HWND dialog, int id, unsigned long long ceiling);
unsigned long long SaturatingDigits(const char* text, unsigned long long ceiling);
