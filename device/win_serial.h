// The pulley's serial port on Windows, for the device library and the
// simulator: opening it raw at the protocol's rate, and the line table the
// protocol's transactions read and write through.
#pragma once

#include <windows.h>

#include "pulley_protocol.h"

// INVALID_HANDLE_VALUE when the port cannot be opened or is no serial port.
HANDLE OpenPulleyPort(const char* name);
bool IsSerialPort(HANDLE port);
extern const SerialLine Win32SerialLine;
