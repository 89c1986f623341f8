// The payout rate by least squares, and the jumps that are presets.
#include "reading/payout_rate.h"

#include <cmath>
#include <cstdio>

void AddToRate(PayoutRate& rate, int64_t monotonicMs, int32_t metres)
{
    rate.samples.push_back({monotonicMs, metres});
    size_t old = 0;
    while (old < rate.samples.size() && rate.samples[old].monotonicMs <= monotonicMs - RateWindowMs)
        old++;
    rate.samples.erase(rate.samples.begin(), rate.samples.begin() + static_cast<long>(old));
}

bool RateKnown(const PayoutRate& rate)
{
    return !rate.samples.empty() && rate.samples.back().monotonicMs - rate.samples.front().monotonicMs >= RateKnownSpanMs;
}

// The least-squares slope of metres over time, about the first sample so
// that the sums stay small.
double MetresPerMinute(const PayoutRate& rate)
{
    if (!RateKnown(rate))
        return 0;
    const RateSample& origin = rate.samples.front();
    double n = 0, sumT = 0, sumM = 0, sumTT = 0, sumTM = 0;
    for (const RateSample& sample : rate.samples) {
        double t = static_cast<double>(sample.monotonicMs - origin.monotonicMs) / 60000.0;
        double m = static_cast<double>(sample.metres) - origin.metres;
        n++;
        sumT += t;
        sumM += m;
        sumTT += t * t;
        sumTM += t * m;
    }
    return (n * sumTM - sumT * sumM) / (n * sumTT - sumT * sumT);
}

bool IsPreset(const FeedReading& before, const FeedReading& after)
{
    if (before.status != FeedStatus::Valid || after.status != FeedStatus::Valid)
        return false;
    bool counted = before.presets >= 0 && after.presets >= 0 && before.presets != after.presets;
    int64_t moved = static_cast<int64_t>(after.metres) - before.metres;
    return counted || moved > PresetJumpMetres || moved < -PresetJumpMetres;
}

std::string RateText(const PayoutRate& rate)
{
    return RateKnown(rate) ? RateText(MetresPerMinute(rate)) : "";
}

std::string RateText(double metresPerMinute)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::fabs(metresPerMinute) < 0.05 ? 0.0 : metresPerMinute);
    return text;
}
