// The CPU cost of one poll tick in the core, without the serial wait: the
// device answers at once with a new count, the window effects and the relay
// write do nothing. Prints nanoseconds per tick for a changing count (the
// count is formatted and a relay line built) and for a steady one.
#include <chrono>
#include <cstdio>
#include <ctime>

#include "state.h"

static int32_t nextReading;
static int32_t ReadChanging(PulleyLink) { return nextReading++; }
static int32_t ReadSteady(PulleyLink) { return 1234; }
static PulleyLink Connect(const char*) { return reinterpret_cast<PulleyLink>(static_cast<uintptr_t>(8)); }
static int Answer(PulleyLink) { return 1; }
static int Preset(PulleyLink, int32_t) { return 1; }
static int Version(PulleyLink, char*, int) { return 1; }
static void Close(PulleyLink) {}
static void Write(RelayPort, const char*, int) {}
static void ClosePort(RelayPort) {}
static void Nothing() {}

static double NanosecondsPerTick(int32_t (*read)(PulleyLink), int ticks)
{
    PulleyDevice device = {
        .Connect = Connect,
        .Identify = Answer,
        .Read = read,
        .Reset = Answer,
        .Preset = Preset,
        .GetVersion = Version,
        .Disconnect = Answer,
        .CloseAsHandle = Close,
    };
    RelayDevice relay = {.Write = Write, .Close = ClosePort};
    WindowEffects window = {
        .StartPollTimer = Nothing,
        .StopPollTimer = Nothing,
        .Refresh = Nothing,
        .Repaint = Nothing,
        .ShowLostLinkWarning = Nothing,
    };
    PulleyState state;
    InitPulleyState(state, &device, &relay, &window);
    ApplyDefaultSettings(state.settings);
    state.settings.relayFormat = TCount;
    BeginConnect(state, "COM1");
    ConfirmConnected(state);
    state.relayPort = reinterpret_cast<RelayPort>(static_cast<uintptr_t>(16));
    std::clock_t start = std::clock();
    for (int i = 0; i < ticks; i++)
        PollTick(state);
    double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
    return seconds * 1e9 / ticks;
}

int main()
{
    const int ticks = 2000000;
    std::printf("changing %.0f\n", NanosecondsPerTick(ReadChanging, ticks));
    std::printf("steady %.0f\n", NanosecondsPerTick(ReadSteady, ticks));
    return 0;
}
