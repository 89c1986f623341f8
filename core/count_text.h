// The texts made from the count: what the window paints and titles, the
// metre/feet conversions and the lines written to the relay port.
#pragma once

#include <cstdint>

#include "shared_constants.h"

enum Units : uint8_t { Metres = 0, Feet = 1 };

enum RelayFormat : int32_t {
    DisplayLine = 0,     // "K-VARN" in the Relay Count dialog
    TCount = 1,          // "T count"
    TCountEdgeTech = 2,  // "T count (EdgeTech)"
    NotUsed = 3,
};

constexpr double FeetPerMetre = PULLEY_FEET_PER_METRE;

constexpr int DisplayTextSize = 14;  // at most 13 characters and the NUL
constexpr int RelayLineSize = 17;    // "1:" + 13 characters + CR LF

struct DisplayText {
    char text[DisplayTextSize];
};

struct RelayLine {
    char bytes[RelayLineSize];
    int length;  // 0: this format sends no line
};

int32_t MetresToFeet(int32_t metres);
int32_t FeetToMetres(int32_t feet);

// Only a units byte of 1 means feet here; the rest of the program treats any
// nonzero byte as feet, but that byte only comes from a hand-edited file.
DisplayText FormatCount(int32_t count, uint8_t units, bool connected);

RelayLine BuildRelayMessage(int32_t format, const char* text);
