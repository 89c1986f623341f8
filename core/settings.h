// The settings record: the 96-byte memory image kept in "Tarvesk.ini" beside
// the executable. The layout is the file format, so every offset is fixed.
#pragma once

#include <cstddef>
#include <cstdint>

// The platform's window placement (WINDOWPLACEMENT), field for field.
struct Placement {
    uint32_t length;  // 44, or the window manager refuses the placement
    uint32_t flags;
    uint32_t showCmd;  // 5: shown
    int32_t minPosition[2];
    int32_t maxPosition[2];
    int32_t normalRect[4];  // left, top, right, bottom in workspace pixels
};

constexpr int PortNameSize = 16;  // 15 characters and the NUL

struct SettingsRecord {
    Placement placement;
    char pulleyPort[PortNameSize];
    char relayPort[PortNameSize];
    int32_t relayBaudIndex;  // 0 4800, 1 9600, 2 19200; -1 when the list had no selection
    uint8_t connectAtStartUp;
    uint8_t alwaysVisible;
    uint8_t alignment1[2];  // saved again exactly as loaded
    int32_t relayFormat;    // a RelayFormat
    int32_t reserved;       // zeroed when Select Pulley Port closes
    uint8_t units;          // a Units value
    uint8_t alignment2[3];
};

constexpr int SettingsRecordSize = 96;

static_assert(sizeof(Placement) == 44, "placement is the 44-byte WINDOWPLACEMENT");
static_assert(sizeof(SettingsRecord) == SettingsRecordSize, "the file is 96 bytes");
static_assert(offsetof(SettingsRecord, placement) == 0, "file layout");
static_assert(offsetof(Placement, flags) == 4, "file layout");
static_assert(offsetof(Placement, showCmd) == 8, "file layout");
static_assert(offsetof(Placement, minPosition) == 12, "file layout");
static_assert(offsetof(Placement, maxPosition) == 20, "file layout");
static_assert(offsetof(Placement, normalRect) == 28, "file layout");
static_assert(offsetof(SettingsRecord, pulleyPort) == 44, "file layout");
static_assert(offsetof(SettingsRecord, relayPort) == 60, "file layout");
static_assert(offsetof(SettingsRecord, relayBaudIndex) == 76, "file layout");
static_assert(offsetof(SettingsRecord, connectAtStartUp) == 80, "file layout");
static_assert(offsetof(SettingsRecord, alwaysVisible) == 81, "file layout");
static_assert(offsetof(SettingsRecord, alignment1) == 82, "file layout");
static_assert(offsetof(SettingsRecord, relayFormat) == 84, "file layout");
static_assert(offsetof(SettingsRecord, reserved) == 88, "file layout");
static_assert(offsetof(SettingsRecord, units) == 92, "file layout");
static_assert(offsetof(SettingsRecord, alignment2) == 93, "file layout");

// Read's answer for a file that another program (an indexer, a virus
// scanner) kept open for itself all the while the platform layer tried.
constexpr int SettingsFileHeld = -2;

// The file itself, supplied by the platform layer, which gets its context
// back with each call.
struct SettingsFile {
    // Reads up to size bytes from the start of the file; the number read, or
    // -1 when the file cannot be opened, or SettingsFileHeld.
    int (*Read)(void* context, void* buffer, int size);
    // Replaces the file with exactly these bytes, or leaves the old file as
    // it was and returns false.
    bool (*Replace)(void* context, const void* buffer, int size);
    // Tells the operator the settings of this run are lost.
    void (*ShowSaveFailure)(void* context);
    void* context;
};

// True when the file was opened; false leaves the record all zero and the
// caller applies the defaults. held tells a file that exists but was held
// by another program: the operator's settings are in it, and the defaults
// must not be saved over them.
bool LoadSettings(SettingsRecord& record, const SettingsFile& file, bool* held = nullptr);
void ApplyDefaultSettings(SettingsRecord& record);
bool SaveSettings(const SettingsRecord& record, const SettingsFile& file);
