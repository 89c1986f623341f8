// The payout rate, and the presets that are no payout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reading/reading.h"

// The payout rate in metres a minute (positive paying out) over the valid
// readings of the last 10 s, by least squares. The count is a staircase:
// whole metres, read from the pulley once a second and asked for four
// times a second, so a rate over a short span is mostly where the steps
// fell (a metre between the first two readings is 240 m/min). The rate is
// known once its readings span 5 s, and within 16 m/min of the winch's
// then, 11 m/min once they span the whole window (a metre in 5 s is
// 12 m/min; over 3 s simulated winches read up to 35 m/min off). Until it
// is known it is empty, and no alarm or cast maximum uses it.
struct RateSample {
    int64_t monotonicMs;
    int32_t metres;
};
struct PayoutRate {
    std::vector<RateSample> samples;  // the last 10 s, oldest first
};
constexpr int64_t RateWindowMs = 10000;
constexpr int64_t RateKnownSpanMs = 5000;
void AddToRate(PayoutRate& rate, int64_t monotonicMs, int32_t metres);
bool RateKnown(const PayoutRate& rate);
double MetresPerMinute(const PayoutRate& rate);
// The rate as the lines, the rows and the JSON give it: one decimal, empty
// while not known; a rate that rounds to zero is 0.0 ("-0.0" would read as
// hauling in).
std::string RateText(const PayoutRate& rate);
std::string RateText(double metresPerMinute);

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
