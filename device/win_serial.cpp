#include "win_serial.h"

#include "serial_port.h"

// The protocol keeps its own deadlines, and the window that calls us must
// not freeze on a stuck line.
HANDLE OpenPulleyPort(const char* name)
{
    return OpenSerialPort(name, PulleyBaudRate, ReadAtOnceTimeouts);
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
