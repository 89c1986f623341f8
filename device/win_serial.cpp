#include "win_serial.h"

#include <cstdio>
#include <cstring>

// Opens COM1 to COM9 and COM10 up alike: the plain name "COM10" is not a
// device to CreateFileA, only "\\.\COM10" in the device namespace is.
HANDLE OpenPulleyPort(const char* name)
{
    if (name == nullptr || name[0] == '\0' || std::strlen(name) > 200)
        return INVALID_HANDLE_VALUE;
    char path[MAX_PATH];
    if (std::strncmp(name, "\\\\", 2) == 0)
        std::snprintf(path, sizeof path, "%s", name);
    else
        std::snprintf(path, sizeof path, "\\\\.\\%s", name);
    HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE)
        return port;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = PulleyBaudRate;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;  // the pulley's line driver is powered from DTR
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    // Reads return at once with what has arrived; the protocol keeps its own
    // deadlines. Writes of a few bytes get a bound, so a stuck line cannot
    // freeze the window that calls us.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 2, 50};
    if (!SetCommState(port, &dcb) || !SetCommTimeouts(port, &timeouts)) {
        CloseHandle(port);
        return INVALID_HANDLE_VALUE;
    }
    PurgeComm(port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    return port;
}

// Also refuses a handle value that was closed and reused for something else,
// so no request is ever written into a stranger's file.
bool IsSerialPort(HANDLE port)
{
    if (port == nullptr || port == INVALID_HANDLE_VALUE)
        return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return GetCommState(port, &dcb) != 0;
}

static bool WritePort(void* port, const uint8_t* bytes, int length)
{
    DWORD written = 0;
    return WriteFile(port, bytes, static_cast<DWORD>(length), &written, nullptr) &&
           written == static_cast<DWORD>(length);
}

static int ReadPortAvailable(void* port, uint8_t* buffer, int size)
{
    DWORD received = 0;
    if (!ReadFile(port, buffer, static_cast<DWORD>(size), &received, nullptr))
        return -1;
    return static_cast<int>(received);
}

static void DiscardPortInput(void* port)
{
    PurgeComm(port, PURGE_RXCLEAR);
}

static uint32_t TickNow()
{
    return GetTickCount();
}

static void PauseBriefly()
{
    Sleep(1);
}

const SerialLine Win32SerialLine = {
    .Write = WritePort,
    .ReadAvailable = ReadPortAvailable,
    .DiscardInput = DiscardPortInput,
    .NowMs = TickNow,
    .Pause = PauseBriefly,
};
