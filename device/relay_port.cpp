#include "relay_port.h"

#include <cctype>
#include <cstdio>
#include <cstring>

// The number after the first three characters ("COM", not examined), read
// the way the C library's atoi reads it, but without overflowing.
static long PortNumber(const char* afterPrefix)
{
    const char* c = afterPrefix;
    while (std::isspace(static_cast<unsigned char>(*c)))
        c++;
    bool negative = *c == '-';
    if (*c == '-' || *c == '+')
        c++;
    long number = 0;
    for (; std::isdigit(static_cast<unsigned char>(*c)); c++)
        if (number < 100000000)
            number = number * 10 + (*c - '0');
    return negative ? -number : number;
}

bool RelayPortPath(const char* name, char (&path)[RelayPathSize])
{
    // An empty saved name (nothing chosen yet) or a stray short name would
    // open whatever device happens to answer to it.
    if (name == nullptr || strnlen(name, RelayPathSize) < 4)
        return false;
    std::snprintf(path, sizeof path, "%s", name);
    long number = PortNumber(name + 3);
    // "COM10" is no device to CreateFileA; "\\.\COM10" in the device namespace is.
    if (number > 9)
        std::snprintf(path, sizeof path, "\\\\.\\COM%ld", number);
    return true;
}

bool FillRelayDcb(int baudIndex, DCB& dcb)
{
    if (baudIndex < 0 || baudIndex >= RelayBaudChoices)
        return false;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = static_cast<DWORD>(RelayBaudRates[baudIndex]);
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    return true;
}

// Writes get a bound: the poll tick writes on the window's thread, and a port
// whose driver blocks (an unplugged USB adapter, a stuck line) would freeze
// the window for good. A line of 17 bytes costs 36 ms at 4800 baud.
COMMTIMEOUTS RelayTimeouts()
{
    return COMMTIMEOUTS{20, 100, 0, 3, 300};
}

HANDLE OpenRelayPort(const char* name, int baudIndex)
{
    char path[RelayPathSize];
    DCB dcb;
    if (!RelayPortPath(name, path) || !FillRelayDcb(baudIndex, dcb))
        return INVALID_HANDLE_VALUE;
    HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return port;
    // A device that takes no serial settings would send the lines at some
    // unknown rate while the dialog reported the port open.
    if (!SetCommState(port, &dcb)) {
        CloseHandle(port);
        return INVALID_HANDLE_VALUE;
    }
    DWORD errors = 0;
    ClearCommError(port, &errors, nullptr);
    COMMTIMEOUTS timeouts = RelayTimeouts();
    SetCommTimeouts(port, &timeouts);
    return port;
}
