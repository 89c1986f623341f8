#include "state.h"

#include <cstring>

void InitPulleyState(PulleyState& state, const PulleyDevice& device, const RelayDevice& relay,
                     const WindowEffects& window)
{
    state = PulleyState{};
    state.device = device;
    state.relay = relay;
    state.window = window;
    state.count = NoReading;
}

// A link worth handing to the library: not none, not ConnectPulley's -1.
// Links that were closed are set to none, so they never reach it either.
static bool HasLiveLink(const PulleyState& state)
{
    return state.link != nullptr && state.link != InvalidLink();
}

static void ForgetLink(PulleyState& state)
{
    state.link = nullptr;
    state.connected = false;
    state.readSinceConnecting = false;
    state.presetAsked = false;
}

// The operator cancelled Select Pulley Port while the pulley was being
// identified: the port would otherwise stay open, and busy, until exit.
void CancelConnect(PulleyState& state)
{
    if (state.connected || !HasLiveLink(state))
        return;
    state.device.Disconnect(state.device.context, state.link);
    ForgetLink(state);
}

// An attempt begun while another's link is still open (a second Select
// Pulley Port, opened by another program's command) would leave that port
// open, and busy, until exit: it is closed first.
bool BeginConnect(PulleyState& state, const char* portName)
{
    CancelConnect(state);
    std::strncpy(state.connectName, portName, ConnectNameSize - 1);
    state.connectName[ConnectNameSize - 1] = '\0';
    state.link = state.device.Connect(state.device.context, state.connectName);
    if (state.link == InvalidLink())
        return false;
    state.identifyAttempts = 0;
    return true;
}

IdentifyResult IdentifyTick(PulleyState& state, void (*progress)(int attempts, void* context),
                            void* context)
{
    state.identifyAttempts++;
    progress(state.identifyAttempts, context);
    if (state.device.Identify(state.device.context, state.link))
        return Identified;
    if (state.identifyAttempts < IdentifyAttempts)
        return Waiting;
    state.device.Disconnect(state.device.context, state.link);
    ForgetLink(state);
    return GaveUp;
}

void ConfirmConnected(PulleyState& state)
{
    state.connected = true;
    state.readSinceConnecting = false;
    state.window.StartPollTimer(state.window.context);
}

static void RelayCount(PulleyState& state)
{
    if (state.relayPort == nullptr)
        return;
    RelayLine line = BuildRelayMessage(state.settings.relayFormat, CurrentDisplayText(state).text);
    if (line.length > 0)
        state.relay.Write(state.relay.context, state.relayPort, line.bytes, line.length);
}

void PollTick(PulleyState& state)
{
    if (!state.connected)
        return;  // a tick that was already queued when polling stopped
    int32_t reading = state.device.Read(state.device.context, state.link);
    state.readSinceConnecting = reading != LostReading;
    // Counted with the count that follows the preset, so that a program
    // asking for both never pairs the new number with the count before.
    if (state.presetAsked && reading != LostReading) {
        state.presetAsked = false;
        state.presetsRead++;
    }
    if (reading == LostReading) {
        state.window.StopPollTimer(state.window.context);
        state.lostLinkWarning = true;
        state.window.ShowLostLinkWarning(state.window.context);
        state.lostLinkWarning = false;
        if (!state.connected)
            return;  // the window was closed while the warning was up
        state.device.CloseAsHandle(state.device.context, state.link);
        ForgetLink(state);
    } else if (reading == state.count &&
               !(state.relayPort != nullptr && state.settings.relayFormat == TCountEdgeTech)) {
        return;  // EdgeTech equipment wants a line every second, changed or not
    }
    state.count = reading;
    state.window.Refresh(state.window.context);
    RelayCount(state);
}

void Disconnect(PulleyState& state)
{
    state.window.StopPollTimer(state.window.context);
    if (HasLiveLink(state))
        state.device.CloseAsHandle(state.device.context, state.link);
    ForgetLink(state);
    state.count = NoReading;
    state.window.Repaint(state.window.context);
}

bool OpenRelay(PulleyState& state, const char* portName, int32_t baudIndex)
{
    if (state.relayPort == nullptr)
        state.relayPort = state.relay.Open(state.relay.context, portName, baudIndex);
    return state.relayPort != nullptr;
}

void CloseRelay(PulleyState& state)
{
    if (state.relayPort != nullptr)
        state.relay.Close(state.relay.context, state.relayPort);
    state.relayPort = nullptr;
}

// The pulley's answer to a reset or a preset is not examined: the next poll
// that reads a different count shows what it did.
void ResetCount(PulleyState& state)
{
    if (!HasLiveLink(state))
        return;
    state.device.Reset(state.device.context, state.link);
    state.presetAsked = true;
}

void PresetCount(PulleyState& state, int32_t metres)
{
    if (!HasLiveLink(state))
        return;
    state.device.Preset(state.device.context, state.link, metres);
    state.presetAsked = true;
}

int32_t ReadCountNow(PulleyState& state)
{
    return HasLiveLink(state) ? state.device.Read(state.device.context, state.link) : LostReading;
}

bool ReadFirmwareVersion(PulleyState& state, char* buffer, int size)
{
    if (!state.connected || size <= 0)
        return false;
    buffer[0] = '\0';
    state.device.GetVersion(state.device.context, state.link, buffer, size);
    buffer[size - 1] = '\0';
    return true;
}

int32_t QueryCount(const PulleyState& state)
{
    if (state.testMode)
        return state.testSource.Value(state.testSource.context);
    return ShowsFeet(state) ? MetresToFeet(state.count) : state.count;
}

int32_t QueryMetres(const PulleyState& state)
{
    return state.testMode ? state.testSource.Value(state.testSource.context) : state.count;
}

uint32_t QueryStatus(const PulleyState& state)
{
    return (state.connected ? PULLEY_STATUS_CONNECTED : 0u) | (ShowsFeet(state) ? PULLEY_STATUS_FEET : 0u) |
           (state.testMode ? PULLEY_STATUS_TEST_VALUE : 0u) | (state.relayPort != nullptr ? PULLEY_STATUS_RELAY_OPEN : 0u) |
           (state.connected && state.readSinceConnecting ? PULLEY_STATUS_READ : 0u) |
           (state.lostLinkWarning ? PULLEY_STATUS_LINK_LOST : 0u) |
           (static_cast<uint32_t>(state.presetsRead) << PULLEY_STATUS_PRESETS_SHIFT);
}

void Shutdown(PulleyState& state)
{
    if (state.connected) {
        state.device.Disconnect(state.device.context, state.link);
        state.window.StopPollTimer(state.window.context);
        ForgetLink(state);
    }
    CloseRelay(state);
}

DisplayText CurrentDisplayText(const PulleyState& state)
{
    return FormatCount(state.count, state.settings.units, state.connected);
}

bool ShowsFeet(const PulleyState& state)
{
    return state.settings.units != Metres;
}
