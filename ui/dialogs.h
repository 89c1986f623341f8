// The dialogs, one file each; each opens modally, owned by the main window.
// Each one's data says what it reads and what it hands back.
#pragma once

#include <windows.h>

#include "state.h"

// Select Pulley Port: 1 when a pulley was identified, 0 when cancelled or
// there are no ports. It works on the state while it is open: the saved
// port, Connect at Start Up, and the link it opens and identifies.
INT_PTR RunSelectPortDialog(HWND owner, PulleyState& state);

struct SetCountDialog {
    int32_t reading;  // in: the pulley's count in metres, read as the dialog opens
    bool feet;        // in: the unit the operator works in
    int32_t metres;   // out, on OK: the count to preset, in metres
};
// True on OK with a value within the unit's range.
bool RunSetCountDialog(HWND owner, SetCountDialog& data);

struct RelayCountDialog {
    PulleyState* state;           // in and out while open: its Connect and Disconnect open and close the relay
                                  // port through the core
    int32_t format;               // in: the saved format; out: the one checked when it closed
    char port[PortNameSize];      // in: the saved port; out: the one chosen
    int32_t baudIndex;            // in: the saved rate; out: the one chosen (-1: none)
};
void RunRelayCountDialog(HWND owner, RelayCountDialog& data);

void RunAboutDialog(HWND owner, PulleyState& state);

// Test Value: while it is open, the count query answers the typed value.
void RunTestValueDialog(HWND owner, PulleyState& state);

// Opens dialog template id modally and hands it data, which its procedure
// finds again with DialogData. Returns what the dialog ended with.
INT_PTR RunDialog(HWND owner, int id, DLGPROC procedure, void* data);

// The data RunDialog handed to the dialog, kept when WM_INITDIALOG brings
// it; null for the few messages that come before (WM_SETFONT), which the
// procedures leave to the system.
template <typename Data>
Data* DialogData(HWND dialog, UINT message, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    return reinterpret_cast<Data*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

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
