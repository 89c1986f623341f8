#include "serial_port.h"

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

bool SerialPortPath(const char* name, char (&path)[SerialPathSize])
{
    // An empty saved name (nothing chosen yet) or a stray short name would
    // open whatever device happens to answer to it.
    if (name == nullptr || strnlen(name, SerialPathSize) < 4)
        return false;
    long number = PortNumber(name + 3);
    // "COM10" is no device to CreateFileA; "\\.\COM10" in the device namespace is.
    if (number > 9)
        std::snprintf(path, sizeof path, "\\\\.\\COM%ld", number);
    else if (std::snprintf(path, sizeof path, "%s", name) >= static_cast<int>(sizeof path))
        return false;  // cut short, it would name another device
    return true;
}

DCB SerialLineState(DWORD baudRate)
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = baudRate;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;  // the pulley's line driver is powered from DTR
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    return dcb;
}

// Closes what was opened and says which step failed, with the error the
// system gave (read before the close, which may change it).
static HANDLE Failed(HANDLE port, const char* step, DWORD error, SerialPortFailure* failure)
{
    if (port != INVALID_HANDLE_VALUE)
        CloseHandle(port);
    if (failure != nullptr)
        *failure = {step, error};
    return INVALID_HANDLE_VALUE;
}

HANDLE OpenSerialPort(const char* name, DWORD baudRate, const COMMTIMEOUTS& timeouts, SerialPortFailure* failure)
{
    char path[SerialPathSize];
    if (!SerialPortPath(name, path))
        return Failed(INVALID_HANDLE_VALUE, "name", 0, failure);
    HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return Failed(port, "open", GetLastError(), failure);
    // A device that takes no serial settings is no serial port: the relay
    // would send its lines at some unknown rate while reported open, and the
    // pulley would never understand the requests.
    DCB dcb = SerialLineState(baudRate);
    if (!SetCommState(port, &dcb))
        return Failed(port, "SetCommState", GetLastError(), failure);
    COMMTIMEOUTS wanted = timeouts;
    if (!SetCommTimeouts(port, &wanted))
        return Failed(port, "SetCommTimeouts", GetLastError(), failure);
    DWORD errors = 0;
    if (!ClearCommError(port, &errors, nullptr))
        return Failed(port, "ClearCommError", GetLastError(), failure);
    if (!PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR))
        return Failed(port, "purge", GetLastError(), failure);
    return port;
}
