// The payout rate, and the presets that are no payout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reading.h"

// The payout rate in metres a minute (positive paying out) over the valid
// readings of the last 10 s, by least squares; not known until two exist.
struct RateSample {
    int64_t monotonicMs;
    int32_t metres;
};
struct PayoutRate {
    std::vector<RateSample> samples;  // the last 10 s, oldest first
};
void AddToRate(PayoutRate& rate, int64_t monotonicMs, int32_t metres);
bool RateKnown(const PayoutRate& rate);
double MetresPerMinute(const PayoutRate& rate);
// The rate as the lines, the rows and the JSON give it: one decimal, empty
// while not known.
std::string RateText(const PayoutRate& rate);

// A preset or a reset between two valid readings is no payout, and starts
// the rate afresh. The display says when it made one (its count of presets
// changes with the count after it); a preset it did not make (at the pulley
// itself) or a source that cannot tell (a relay line) shows as a jump of
// more than 10 m between two readings. The display reads the pulley once a
// second, so that is 600 m/min, more than twice the fastest oceanographic
// winches (about 4 m/s hauling in): no payout makes it, even across a
// display tick or two that came late.
constexpr int32_t PresetJumpMetres = 10;
bool IsPreset(const FeedReading& before, const FeedReading& after);
