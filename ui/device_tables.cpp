// The core calls the device library and the relay port through plain
// function tables; these adapt the imported stdcall operations to them.
#include "app.h"
#include "kvarncpi.h"

static PulleyLink Connect(const char* portName)
{
    return ConnectPulley(portName);
}
static int Identify(PulleyLink link)
{
    return IdentifyPulley(link);
}
static int32_t Read(PulleyLink link)
{
    return ReadPulley(link);
}
static int Reset(PulleyLink link)
{
    return ResetPulley(link);
}
static int Preset(PulleyLink link, int32_t metres)
{
    return PresetPulley(link, metres);
}
static int GetVersion(PulleyLink link, char* buffer, int size)
{
    return GetPulleyVersion(link, buffer, size);
}
static int DisconnectLink(PulleyLink link)
{
    return DisconnectPulley(link);
}
// The link is the port's handle: closing it as one ends the link.
static void CloseAsHandle(PulleyLink link)
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
};

// The result is not examined: a line the relay port could not take is lost,
// and the next count goes out as usual.
static void WriteRelay(RelayPort port, const char* bytes, int length)
{
    DWORD written = 0;
    WriteFile(port, bytes, static_cast<DWORD>(length), &written, nullptr);
}

static void CloseRelay(RelayPort port)
{
    CloseHandle(port);
}

const RelayDevice Win32RelayDevice = {.Write = WriteRelay, .Close = CloseRelay};
