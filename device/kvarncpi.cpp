// The device library. It keeps nothing per link: the link is the port handle
// and everything else lives in the call, so a link closed with CloseHandle
// leaves nothing behind, and a stale or reused handle value is refused by
// the serial-port check instead of being trusted.
#define KVARNCPI_BUILD
#include "kvarncpi.h"

#include <cstring>

#include "pulley_protocol.h"
#include "shared_constants.h"
#include "win_serial.h"

static bool Ask(HANDLE link, uint8_t command, const uint8_t* payload, int payloadLength, int replyLength,
                Frame& reply, int attempts = TransactionAttempts)
{
    return IsSerialPort(link) &&
           Transact(Win32SerialLine, link, command, payload, payloadLength, replyLength, attempts, reply);
}

HANDLE __stdcall ConnectPulley(const char* portName)
{
    return OpenPulleyPort(portName);
}

BOOL __stdcall IdentifyPulley(HANDLE link)
{
    Frame reply;
    // One request per call: the display asks again each second, five times,
    // and each of its ticks is one try at the pulley.
    return Ask(link, CommandIdentify, nullptr, 0, IdentifyReplySize, reply, 1) &&
           std::memcmp(reply.payload, IdentifyReply, IdentifyReplySize) == 0;
}

LONG __stdcall ReadPulley(HANDLE link)
{
    Frame reply;
    if (!Ask(link, CommandRead, nullptr, 0, CountSize, reply))
        return LostReading;
    return GetInt32(reply.payload);
}

BOOL __stdcall ResetPulley(HANDLE link)
{
    Frame reply;
    return Ask(link, CommandReset, nullptr, 0, 0, reply);
}

BOOL __stdcall PresetPulley(HANDLE link, LONG metres)
{
    uint8_t payload[CountSize];
    PutInt32(payload, metres);
    Frame reply;
    return Ask(link, CommandPreset, payload, CountSize, 0, reply);
}

BOOL __stdcall GetPulleyVersion(HANDLE link, char* buffer, int size)
{
    if (buffer == nullptr || size <= 0)
        return FALSE;
    buffer[0] = '\0';
    Frame reply;
    if (!Ask(link, CommandVersion, nullptr, 0, AnyLength, reply))
        return FALSE;
    int length = reply.length < size - 1 ? reply.length : size - 1;
    std::memcpy(buffer, reply.payload, static_cast<size_t>(length));
    buffer[length] = '\0';
    return TRUE;
}

BOOL __stdcall DisconnectPulley(HANDLE link)
{
    return IsSerialPort(link) && CloseHandle(link);
}
