// The tension as the feed knows it: the newest good line of the load cell,
// blanked when the source has been silent for 2 s (never its last value
// shown as if it stood), and the lines that were not good, counted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "formats/tension_lines.h"

// A source silent this long has no tension to show.
constexpr int64_t TensionSilentMs = 2000;

struct TensionWatch {
    bool on = false;  // a tension source is read
    TensionFormat format;
    TensionUnit unit = TensionUnit::Lbf;
    std::optional<double> latest = std::nullopt;  // the newest good line's, in the unit
    int64_t latestMs = -1, latestUtcMs = 0;
    uint64_t goodLines = 0, badLines = 0;  // bad: any line not taken, refused ones too
    uint64_t refusedLines = 0;
    std::string refusal = "";  // why the last refused line was refused
};

// A line of the source with its receipt times: what it was; the tension
// taken when Good.
TensionLine TakeTensionLine(TensionWatch& watch, const std::string& line, int64_t monotonicMs, int64_t utcMs);
// The tension to show now: none from a silent source.
std::optional<double> TensionNow(const TensionWatch& watch, int64_t monotonicMs);
