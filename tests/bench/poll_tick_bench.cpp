// The CPU cost of one poll tick in the core, without the serial wait: the
// device answers at once with a new count, the window effects and the relay
// write do nothing. Prints nanoseconds per tick for a changing count (the
// count is formatted and a relay line built) and for a steady one.
#include <chrono>
#include <cstdio>
#include <ctime>

#include "state.h"

// The changing count lives in the context the core hands back.
static int32_t ReadChanging(void* context, PulleyLink) { return (*static_cast<int32_t*>(context))++; }
static int32_t ReadSteady(void*, PulleyLink) { return 1234; }
static PulleyLink Connect(void*, const char*) { return reinterpret_cast<PulleyLink>(static_cast<uintptr_t>(8)); }
static int Answer(void*, PulleyLink) { return 1; }
static int Preset(void*, PulleyLink, int32_t) { return 1; }
static int Version(void*, PulleyLink, char*, int) { return 1; }
static void Close(void*, PulleyLink) {}
static RelayPort Open(void*, const char*, int32_t) { return reinterpret_cast<RelayPort>(static_cast<uintptr_t>(16)); }
static void Write(void*, RelayPort, const char*, int) {}
static void ClosePort(void*, RelayPort) {}
static void Nothing(void*) {}

static double NanosecondsPerTick(int32_t (*read)(void*, PulleyLink), int ticks)
{
    int32_t nextReading = 0;
    PulleyDevice device = {
        .Connect = Connect,
        .Identify = Answer,
        .Read = read,
        .Reset = Answer,
        .Preset = Preset,
        .GetVersion = Version,
        .Disconnect = Answer,
        .CloseAsHandle = Close,
        .context = &nextReading,
    };
    RelayDevice relay = {.Open = Open, .Write = Write, .Close = ClosePort, .context = nullptr};
    WindowEffects window = {
        .StartPollTimer = Nothing,
        .StopPollTimer = Nothing,
        .Refresh = Nothing,
        .Repaint = Nothing,
        .ShowLostLinkWarning = Nothing,
        .context = nullptr,
    };
    PulleyState state;
    InitPulleyState(state, device, relay, window);
    ApplyDefaultSettings(state.settings);
    state.settings.relayFormat = TCount;
    BeginConnect(state, "COM1");
    ConfirmConnected(state);
    OpenRelay(state, "COM2", 1);
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
