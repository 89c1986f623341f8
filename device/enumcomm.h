// enumcomm.dll: lists the machine's serial ports for the display's dialogs.
#pragma once

#include <windows.h>

#ifdef ENUMCOMM_BUILD
#define ENUMCOMM_API extern "C" __declspec(dllexport)
#else
#define ENUMCOMM_API extern "C" __declspec(dllimport)
#endif

ENUMCOMM_API HANDLE __stdcall BeginEnumeratePorts(void);
// Writes the next name, at most 15 characters and the NUL, into name; FALSE
// when no ports remain. The third argument is reserved and must be 0.
ENUMCOMM_API BOOL __stdcall EnumeratePortsNext(HANDLE enumeration, char* name, int reserved);
ENUMCOMM_API BOOL __stdcall EndEnumeratePorts(HANDLE enumeration);
