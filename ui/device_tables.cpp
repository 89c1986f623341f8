// The core calls the device library and the relay port through tables of
// operations; these adapt the imported stdcall operations and the relay
// port's Windows calls to them. Neither needs a context.
#include "app.h"
#include "kvarncpi.h"
#include "relay_port.h"

static PulleyLink Connect(void*, const char* portName)
{
    return ConnectPulley(portName);
}
static int Identify(void*, PulleyLink link)
{
    return IdentifyPulley(link);
}
static int32_t Read(void*, PulleyLink link)
{
    return ReadPulley(link);
}
static int Reset(void*, PulleyLink link)
{
    return ResetPulley(link);
}
static int Preset(void*, PulleyLink link, int32_t metres)
{
    return PresetPulley(link, metres);
}
static int GetVersion(void*, PulleyLink link, char* buffer, int size)
{
    return GetPulleyVersion(link, buffer, size);
}
static int DisconnectLink(void*, PulleyLink link)
{
    return DisconnectPulley(link);
}
// The link is the port's handle: closing it as one ends the link.
static void CloseAsHandle(void*, PulleyLink link)
{
    CloseHandle(link);
}

const PulleyDevice KvarnPulleyDevice = {
    .Connect = Connect,
    .Identify = Identify,
    .Read = Read,
    .Reset = Reset,
    .Preset = Preset,
    .GetVersion = GetVersion,
    .Disconnect = DisconnectLink,
    .CloseAsHandle = CloseAsHandle,
    .context = nullptr,
};

static RelayPort OpenRelayAt(void*, const char* portName, int32_t baudIndex)
{
    HANDLE port = OpenRelayPort(portName, baudIndex);
    return port == INVALID_HANDLE_VALUE ? nullptr : port;
}

// The result is not examined: a line the relay port could not take is lost,
// and the next count goes out as usual.
static void WriteRelay(void*, RelayPort port, const char* bytes, int length)
{
    DWORD written = 0;
    WriteFile(port, bytes, static_cast<DWORD>(length), &written, nullptr);
}

static void CloseRelayPort(void*, RelayPort port)
{
    CloseHandle(port);
}

const RelayDevice Win32RelayDevice = {
    .Open = OpenRelayAt,
    .Write = WriteRelay,
    .Close = CloseRelayPort,
    .context = nullptr,
};
