// The relay port: the serial port to which every new count goes out as a
// line for other equipment. Only ever written to.
#pragma once

#include <windows.h>

constexpr DWORD RelayBaudRates[] = {4800, 9600, 19200, 38400, 57600};
constexpr int RelayBaudChoices = 3;  // the Relay Count dialog offers the first three

// Writes get a bound: the poll tick writes on the window's thread, and a port
// whose driver blocks (an unplugged USB adapter, a stuck line) would freeze
// the window for good. A line of 17 bytes costs 36 ms at 4800 baud.
constexpr COMMTIMEOUTS RelayTimeouts = {
    .ReadIntervalTimeout = 20,
    .ReadTotalTimeoutMultiplier = 100,
    .ReadTotalTimeoutConstant = 0,
    .WriteTotalTimeoutMultiplier = 3,
    .WriteTotalTimeoutConstant = 300,
};

// The rate of a baud index, or 0 for one the dialog does not offer.
DWORD RelayBaudRate(int baudIndex);

// INVALID_HANDLE_VALUE when the port cannot be opened or configured.
HANDLE OpenRelayPort(const char* name, int baudIndex);
