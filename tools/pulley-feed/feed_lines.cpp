#include "feed.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "count_text.h"
#include "shared_constants.h"

const char* StatusWord(FeedStatus status)
{
    switch (status) {
    case FeedStatus::Valid: return "valid";
    case FeedStatus::NoReading: return "no-reading";
    case FeedStatus::LostLink: return "lost-link";
    case FeedStatus::NotConnected: return "not-connected";
    case FeedStatus::NoDisplay: return "no-display";
    case FeedStatus::NoData: return "no-data";
    case FeedStatus::TestValue: return "test-value";
    }
    return "?";
}

// The display polls once a second; a 9999 seen later than this after
// connecting is a reading.
constexpr double FirstPollSeconds = 1.5;

FeedReading ReadingFromDisplay(int32_t metres, uint32_t status, double secondsConnected)
{
    if (status & PULLEY_STATUS_TEST_VALUE)
        return {FeedStatus::TestValue, metres};
    if (metres == LostReading)
        return {FeedStatus::LostLink, 0};
    if (!(status & PULLEY_STATUS_CONNECTED))
        return {FeedStatus::NotConnected, 0};
    if (metres == NoReading && secondsConnected < FirstPollSeconds)
        return {FeedStatus::NoReading, 0};
    return {FeedStatus::Valid, metres};
}

// Days since 1970-01-01 and back (the proleptic Gregorian calendar).
static int64_t DaysFromCivil(int64_t year, int month, int day)
{
    year -= month <= 2;
    int64_t era = (year >= 0 ? year : year - 399) / 400;
    int64_t yearOfEra = year - era * 400;
    int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

UtcTime UtcFromUnixMs(int64_t unixMs)
{
    int64_t days = unixMs / 86400000 - (unixMs % 86400000 < 0);
    int64_t msOfDay = unixMs - days * 86400000;
    int64_t z = days + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t dayOfEra = z - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    UtcTime time;
    time.day = static_cast<int>(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    time.month = static_cast<int>(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    time.year = static_cast<int>(yearOfEra + era * 400 + (time.month <= 2));
    time.hour = static_cast<int>(msOfDay / 3600000);
    time.minute = static_cast<int>(msOfDay / 60000 % 60);
    time.second = static_cast<int>(msOfDay / 1000 % 60);
    time.millisecond = static_cast<int>(msOfDay % 1000);
    return time;
}

int64_t UnixMsFromUtc(const UtcTime& time)
{
    return DaysFromCivil(time.year, time.month, time.day) * 86400000 + time.hour * 3600000LL +
           time.minute * 60000LL + time.second * 1000LL + time.millisecond;
}

bool ParseIsoTime(const char* text, int64_t& unixMs)
{
    UtcTime time{};
    int used = 0;
    if (std::sscanf(text, "%4d-%2d-%2dT%2d:%2d:%2d%n", &time.year, &time.month, &time.day, &time.hour,
                    &time.minute, &time.second, &used) != 6)
        return false;
    if (text[used] == '.') {
        int fraction = 0;
        if (std::sscanf(text + used, ".%3d%n", &time.millisecond, &fraction) != 1)
            return false;
        used += fraction;
    }
    if (text[used] != '\0')
        return false;
    if (time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 || time.hour > 23 || time.minute > 59 ||
        time.second > 59)
        return false;
    unixMs = UnixMsFromUtc(time);
    return true;
}

constexpr int64_t RateWindowMs = 10000;

void AddToRate(PayoutRate& rate, int64_t unixMs, int32_t metres)
{
    rate.samples.push_back({unixMs, metres});
    size_t old = 0;
    while (old < rate.samples.size() && rate.samples[old].unixMs <= unixMs - RateWindowMs)
        old++;
    rate.samples.erase(rate.samples.begin(), rate.samples.begin() + static_cast<long>(old));
}

bool RateKnown(const PayoutRate& rate)
{
    return rate.samples.size() >= 2 && rate.samples.back().unixMs > rate.samples.front().unixMs;
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
        double t = static_cast<double>(sample.unixMs - origin.unixMs) / 60000.0;
        double m = static_cast<double>(sample.metres) - origin.metres;
        n++;
        sumT += t;
        sumM += m;
        sumTT += t * t;
        sumTM += t * m;
    }
    return (n * sumTM - sumT * sumM) / (n * sumTT - sumT * sumT);
}

bool ParseFeedFormat(const std::string& name, FeedFormat& format)
{
    if (name == "nmea")
        format = FeedFormat::Nmea;
    else if (name == "display")
        format = FeedFormat::Display;
    else if (name == "tcount")
        format = FeedFormat::TCount;
    else if (name == "edgetech")
        format = FeedFormat::EdgeTech;
    else
        return false;
    return true;
}

uint8_t NmeaChecksum(const std::string& body)
{
    uint8_t sum = 0;
    for (char c : body)
        sum ^= static_cast<uint8_t>(c);
    return sum;
}

static bool HasCount(const FeedReading& reading)
{
    return reading.status == FeedStatus::Valid || reading.status == FeedStatus::TestValue;
}

// "-0.0" would read as hauling in; a rate that rounds to zero is 0.0.
static std::string RateText(const PayoutRate& rate)
{
    if (!RateKnown(rate))
        return "";
    double value = MetresPerMinute(rate);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", std::fabs(value) < 0.05 ? 0.0 : value);
    return text;
}

std::string BuildSentence(const UtcTime& time, const FeedReading& reading, const PayoutRate& rate)
{
    char fields[96];
    std::snprintf(fields, sizeof fields, "PKVNC,%02d%02d%02d.%02d,", time.hour, time.minute, time.second,
                  time.millisecond / 10);
    std::string body = fields;
    if (HasCount(reading))
        body.append(std::to_string(reading.metres));
    body.append(",").append(RateText(rate)).append(reading.status == FeedStatus::Valid ? ",A" : ",V");
    char end[8];
    std::snprintf(end, sizeof end, "*%02X\r\n", NmeaChecksum(body));
    return std::string("$").append(body).append(end);
}

std::string BuildFeedLine(FeedFormat format, const UtcTime& time, const FeedReading& reading,
                          const PayoutRate& rate)
{
    if (format == FeedFormat::Nmea)
        return BuildSentence(time, reading, rate);
    RelayFormat relay = format == FeedFormat::Display ? DisplayLine
                        : format == FeedFormat::TCount ? TCount
                                                       : TCountEdgeTech;
    RelayLine line = BuildRelayMessage(relay, FormatCount(reading.metres, Metres, HasCount(reading)).text);
    return std::string(line.bytes, static_cast<size_t>(line.length));
}

bool MetresFromFeet(int32_t feet, int32_t& metres)
{
    int64_t estimate = static_cast<int64_t>(feet / FeetPerMetre);
    for (int64_t candidate = estimate - 1; candidate <= estimate + 1; candidate++) {
        if (candidate < INT32_MIN || candidate > INT32_MAX)
            continue;
        if (MetresToFeet(static_cast<int32_t>(candidate)) == feet) {
            metres = static_cast<int32_t>(candidate);
            return true;
        }
    }
    return false;
}

// A signed whole number of at most ten digits that fits 32 bits.
static bool ParseCount(const std::string& text, int32_t& value)
{
    if (text.size() < 2 || text.size() > 11 || (text[0] != '+' && text[0] != '-'))
        return false;
    int64_t magnitude = 0;
    for (size_t i = 1; i < text.size(); i++) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        magnitude = magnitude * 10 + (text[i] - '0');
    }
    int64_t signedValue = text[0] == '-' ? -magnitude : magnitude;
    if (signedValue < INT32_MIN || signedValue > INT32_MAX)
        return false;
    value = static_cast<int32_t>(signedValue);
    return true;
}

static bool EndsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool ParseRelayLine(const std::string& line, bool edgeTechFeet, FeedReading& reading)
{
    bool tLine = line.compare(0, 2, "1:") == 0;
    std::string text = tLine ? line.substr(2) : line;
    bool feet;
    if (EndsWith(text, "ft")) {
        feet = true;
        text.resize(text.size() - 2);
    } else if (EndsWith(text, "m")) {
        feet = false;
        text.resize(text.size() - 1);
    } else if (tLine) {
        feet = edgeTechFeet;  // the EdgeTech line: the number alone
    } else {
        return false;
    }
    if (!text.empty() && text.find_first_not_of('-') == std::string::npos) {
        reading = {FeedStatus::NotConnected, 0};
        return true;
    }
    int32_t number;
    if (!ParseCount(text, number))
        return false;
    int32_t metres = number;
    if (feet && !MetresFromFeet(number, metres))
        return false;
    reading = {FeedStatus::Valid, metres};
    return true;
}

std::string LogFileName(const UtcTime& time)
{
    char name[32];
    std::snprintf(name, sizeof name, "pulley-%04d-%02d-%02d.csv", time.year, time.month, time.day);
    return name;
}

const char LogHeader[] = "utc,metres,status,rate_m_per_min\r\n";

std::string BuildLogLine(const UtcTime& time, const FeedReading& reading, const PayoutRate& rate)
{
    char stamp[40];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ,", time.year, time.month, time.day,
                  time.hour, time.minute, time.second, time.millisecond);
    std::string line = stamp;
    if (HasCount(reading))
        line.append(std::to_string(reading.metres));
    return line.append(",").append(StatusWord(reading.status)).append(",").append(RateText(rate)).append("\r\n");
}

bool LineDue(Schedule& schedule, int64_t nowMs, const FeedReading& reading)
{
    bool changed = reading.status != schedule.last.status || reading.metres != schedule.last.metres;
    // Each poll comes a millisecond or two late, each by its own amount: the
    // poll that comes just short of the interval ends it, or a steady line
    // would wait for the next poll and come a quarter second late.
    int64_t steadyForMs = schedule.intervalMs - FeedPollPeriodMs / 2;
    if (schedule.sent && !changed && nowMs - schedule.lastMs < steadyForMs)
        return false;
    schedule.sent = true;
    schedule.lastMs = nowMs;
    schedule.last = reading;
    return true;
}
