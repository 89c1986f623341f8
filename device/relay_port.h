// The relay port: the serial port to which every new count goes out as a
// line for other equipment. Only ever written to.
#pragma once

#include <windows.h>

constexpr int RelayBaudRates[] = {4800, 9600, 19200, 38400, 57600};
constexpr int RelayBaudChoices = 3;  // the Relay Count dialog offers the first three
constexpr int RelayPathSize = 20;

// The path to open for a port name: COM1 to COM9 as they are, \\.\COMn from
// COM10 up. False for a name too short to carry a number after "COM".
bool RelayPortPath(const char* name, char (&path)[RelayPathSize]);
// 8 data bits, no parity, one stop bit, no flow control, DTR and RTS raised.
// False for a baud index the dialog does not offer.
bool FillRelayDcb(int baudIndex, DCB& dcb);
COMMTIMEOUTS RelayTimeouts();

// INVALID_HANDLE_VALUE when the port cannot be opened or configured.
HANDLE OpenRelayPort(const char* name, int baudIndex);
