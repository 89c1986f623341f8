// The life of the link to the pulley and the once-a-second poll, over the one
// process-wide PulleyState. The device library, the relay port and the main
// window are reached only through the tables below, so all of this runs
// without any windowing services.
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
// handle, as the program calls them.
struct PulleyDevice {
    PulleyLink (*Connect)(const char* portName);
    int (*Identify)(PulleyLink link);
    int32_t (*Read)(PulleyLink link);
    int (*Reset)(PulleyLink link);
    int (*Preset)(PulleyLink link, int32_t metres);
    int (*GetVersion)(PulleyLink link, char* buffer, int size);
    int (*Disconnect)(PulleyLink link);
    void (*CloseAsHandle)(PulleyLink link);
};

struct RelayDevice {
    void (*Write)(RelayPort port, const char* bytes, int length);
    void (*Close)(RelayPort port);
};

// What the main window does for the core; each returns when done.
struct WindowEffects {
    void (*StartPollTimer)();
    void (*StopPollTimer)();
    void (*Refresh)();  // retitle when minimised, repaint otherwise
    void (*Repaint)();  // repaint, minimised or not
    void (*ShowLostLinkWarning)();
};

// Supplies the value the count query answers while test mode is on.
struct TestSource {
    int32_t (*Value)(void* context);
    void* context;
};

struct PulleyState {
    const PulleyDevice* device;
    const RelayDevice* relay;
    const WindowEffects* window;

    PulleyLink link;  // kept, even when -1, until Disconnect or a lost link
    bool connected;
    int32_t count;
    RelayPort relayPort;
    int identifyAttempts;
    char connectName[ConnectNameSize];
    bool testMode;
    TestSource testSource;
    SettingsRecord settings;
};

enum IdentifyResult { Identified, Waiting, GaveUp };

void InitPulleyState(PulleyState& state, const PulleyDevice* device, const RelayDevice* relay,
                     const WindowEffects* window);

bool BeginConnect(PulleyState& state, const char* portName);
IdentifyResult IdentifyTick(PulleyState& state, void (*progress)(int attempts, void* context),
                            void* context);
void CancelConnect(PulleyState& state);
void ConfirmConnected(PulleyState& state);
void PollTick(PulleyState& state);
void Disconnect(PulleyState& state);
void ResetCount(PulleyState& state);
void PresetCount(PulleyState& state, int32_t metres);
int32_t ReadCountNow(PulleyState& state);
bool ReadFirmwareVersion(PulleyState& state, char* buffer, int size);
int32_t QueryCount(const PulleyState& state);
int32_t QueryMetres(const PulleyState& state);
uint32_t QueryStatus(const PulleyState& state);  // PULLEY_STATUS_ bits
void Shutdown(PulleyState& state);

DisplayText CurrentDisplayText(const PulleyState& state);
bool ShowsFeet(const PulleyState& state);
