// kvarncpi.dll: the counting pulley's device library, imported by the display.
#pragma once

#include <windows.h>

#ifdef KVARNCPI_BUILD
#define KVARNCPI_API extern "C" __declspec(dllexport)
#else
#define KVARNCPI_API extern "C" __declspec(dllimport)
#endif

// The link is the serial port's own handle, so CloseHandle ends it too.
// Failure is INVALID_HANDLE_VALUE (-1).
KVARNCPI_API HANDLE __stdcall ConnectPulley(const char* portName);
KVARNCPI_API BOOL __stdcall IdentifyPulley(HANDLE link);
// 2147483647 when the pulley does not answer (the link is lost).
KVARNCPI_API LONG __stdcall ReadPulley(HANDLE link);
KVARNCPI_API BOOL __stdcall ResetPulley(HANDLE link);
KVARNCPI_API BOOL __stdcall PresetPulley(HANDLE link, LONG metres);
KVARNCPI_API BOOL __stdcall GetPulleyVersion(HANDLE link, char* buffer, int size);
KVARNCPI_API BOOL __stdcall DisconnectPulley(HANDLE link);
