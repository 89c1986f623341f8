// Opening a serial port, one way for the pulley's port and the relay port:
// they differ only in their rate and timeouts.
#pragma once

#include <windows.h>

constexpr int SerialPathSize = 20;

// The path to open for a port name: COM1 to COM9 as they are, \\.\COMn from
// COM10 up. False for a name too short to carry a number after "COM", or too
// long to be a port's.
bool SerialPortPath(const char* name, char (&path)[SerialPathSize]);

// The line at this rate: 8 data bits, no parity, one stop bit, no flow
// control, DTR and RTS raised.
DCB SerialLineState(DWORD baudRate);

// Reads return at once with whatever has arrived (the reader keeps its own
// deadlines); writes of a few bytes get a bound, so a stuck line cannot
// freeze the program that writes.
constexpr COMMTIMEOUTS ReadAtOnceTimeouts = {
    .ReadIntervalTimeout = MAXDWORD,
    .ReadTotalTimeoutMultiplier = 0,
    .ReadTotalTimeoutConstant = 0,
    .WriteTotalTimeoutMultiplier = 2,
    .WriteTotalTimeoutConstant = 50,
};

// Which step of opening a port failed, and the system's error code then
// (0 for a name refused before the system was asked).
struct SerialPortFailure {
    const char* step;  // "name", "open", "SetCommState", "SetCommTimeouts", "ClearCommError" or "purge"
    DWORD error;
};

// Opens the port for reading and writing, sets the line and the timeouts,
// and clears its errors and whatever waits in its buffers.
// INVALID_HANDLE_VALUE when it cannot be opened or refuses any of that,
// with the step that failed in failure when one is given.
HANDLE OpenSerialPort(const char* name, DWORD baudRate, const COMMTIMEOUTS& timeouts,
                      SerialPortFailure* failure = nullptr);
