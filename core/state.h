// The life of the link to the pulley and the once-a-second poll, over the
// PulleyState that the display's application object holds. The device
// library, the relay port and the main window are reached only through the
// tables below, so all of this runs without any windowing services.
#pragma once

#include <cstdint>

#include "count_text.h"
#include "settings.h"

// Opaque link from ConnectPulley: the serial port's own handle on Windows.
typedef void* PulleyLink;
// The open relay port's handle; null when none is open.
typedef void* RelayPort;

// ConnectPulley's failure result: all bits set.
inline PulleyLink InvalidLink() { return reinterpret_cast<PulleyLink>(~static_cast<uintptr_t>(0)); }

constexpr int IdentifyAttempts = 5;
constexpr unsigned PollTimerId = 1;
constexpr unsigned PollPeriodMs = 1000;
constexpr int ConnectNameSize = 20;

// The device library's seven operations, and closing a link as a plain
// handle, as the program calls them. Each table is handed the context it
// was filled with, so the core calls back into the object that gave it.
struct PulleyDevice {
    PulleyLink (*Connect)(void* context, const char* portName);
    int (*Identify)(void* context, PulleyLink link);
    int32_t (*Read)(void* context, PulleyLink link);
    int (*Reset)(void* context, PulleyLink link);
    int (*Preset)(void* context, PulleyLink link, int32_t metres);
    int (*GetVersion)(void* context, PulleyLink link, char* buffer, int size);
    int (*Disconnect)(void* context, PulleyLink link);
    void (*CloseAsHandle)(void* context, PulleyLink link);
    void* context;
};

// The relay port: opened, written and closed only through here.
struct RelayDevice {
    RelayPort (*Open)(void* context, const char* portName, int32_t baudIndex);  // null when it cannot be
    void (*Write)(void* context, RelayPort port, const char* bytes, int length);
    void (*Close)(void* context, RelayPort port);
    void* context;
};

// What the main window does for the core; each returns when done.
struct WindowEffects {
    void (*StartPollTimer)(void* context);
    void (*StopPollTimer)(void* context);
    void (*Refresh)(void* context);  // retitle when minimised, repaint otherwise
    void (*Repaint)(void* context);  // repaint, minimised or not
    void (*ShowLostLinkWarning)(void* context);
    void* context;
};

// Supplies the value the count query answers while test mode is on.
struct TestSource {
    int32_t (*Value)(void* context);
    void* context;
};

struct PulleyState {
    PulleyDevice device;
    RelayDevice relay;
    WindowEffects window;

    PulleyLink link;  // kept, even when -1, until Disconnect or a lost link
    bool connected;
    int32_t count;
    bool readSinceConnecting;  // a poll has read the pulley since it was identified
    bool lostLinkWarning;      // the lost-link warning is up; the count is the one from before
    bool presetAsked;          // a preset or reset went to the pulley; the next poll reads its result
    uint8_t presetsRead;       // presets and resets whose result a poll has read; wraps
    RelayPort relayPort;
    int identifyAttempts;
    char connectName[ConnectNameSize];
    bool testMode;
    TestSource testSource;
    SettingsRecord settings;
};

enum IdentifyResult { Identified, Waiting, GaveUp };

void InitPulleyState(PulleyState& state, const PulleyDevice& device, const RelayDevice& relay,
                     const WindowEffects& window);

bool BeginConnect(PulleyState& state, const char* portName);
IdentifyResult IdentifyTick(PulleyState& state, void (*progress)(int attempts, void* context),
                            void* context);
void CancelConnect(PulleyState& state);
void ConfirmConnected(PulleyState& state);
void PollTick(PulleyState& state);
void Disconnect(PulleyState& state);
void ResetCount(PulleyState& state);
// The relay port, opened at the rate of a baud index (false when it cannot
// be) and closed; the only place either happens.
bool OpenRelay(PulleyState& state, const char* portName, int32_t baudIndex);
void CloseRelay(PulleyState& state);
void PresetCount(PulleyState& state, int32_t metres);
int32_t ReadCountNow(PulleyState& state);
bool ReadFirmwareVersion(PulleyState& state, char* buffer, int size);
int32_t QueryCount(const PulleyState& state);
int32_t QueryMetres(const PulleyState& state);
uint32_t QueryStatus(const PulleyState& state);  // PULLEY_STATUS_ bits
void Shutdown(PulleyState& state);

DisplayText CurrentDisplayText(const PulleyState& state);
bool ShowsFeet(const PulleyState& state);
