#include "feed_lines.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "count_text.h"

const char* StatusWord(FeedStatus status)
{
    switch (status) {
    case FeedStatus::Valid: return "valid";
    case FeedStatus::NotYetRead: return "no-reading";
    case FeedStatus::LostLink: return "lost-link";
    case FeedStatus::NotConnected: return "not-connected";
    case FeedStatus::NoDisplay: return "no-display";
    case FeedStatus::NoData: return "no-data";
    case FeedStatus::NoPort: return "no-port";
    case FeedStatus::TestValue: return "test-value";
    }
    return "?";
}

UtcTime UtcFromUnixMs(int64_t unixMs)
{
    using namespace std::chrono;
    sys_time<milliseconds> time{milliseconds{unixMs}};
    sys_days day = floor<days>(time);
    year_month_day date{day};
    hh_mm_ss<milliseconds> clock{time - day};
    return {static_cast<int>(date.year()),         static_cast<int>(static_cast<unsigned>(date.month())),
            static_cast<int>(static_cast<unsigned>(date.day())), static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()), static_cast<int>(clock.seconds().count()),
            static_cast<int>(clock.subseconds().count())};
}

int64_t UnixMsFromUtc(const UtcTime& time)
{
    using namespace std::chrono;
    sys_days day{year{time.year} / time.month / time.day};
    return (day + hours{time.hour} + minutes{time.minute} + seconds{time.second} + milliseconds{time.millisecond})
        .time_since_epoch()
        .count();
}

// A field of exactly this many digits at text, as a number.
static bool Digits(const char* text, int count, int& value)
{
    value = 0;
    for (int i = 0; i < count; i++) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

bool ParseIsoTime(const char* text, int64_t& unixMs)
{
    UtcTime time{};
    if (std::strlen(text) < 19 || !Digits(text, 4, time.year) || text[4] != '-' ||
        !Digits(text + 5, 2, time.month) || text[7] != '-' || !Digits(text + 8, 2, time.day) || text[10] != 'T' ||
        !Digits(text + 11, 2, time.hour) || text[13] != ':' || !Digits(text + 14, 2, time.minute) ||
        text[16] != ':' || !Digits(text + 17, 2, time.second))
        return false;
    const char* rest = text + 19;
    if (*rest == '.') {
        size_t places = std::strspn(rest + 1, "0123456789");
        if (places < 1 || places > 3 || !Digits(rest + 1, static_cast<int>(places), time.millisecond))
            return false;
        for (size_t i = places; i < 3; i++)
            time.millisecond *= 10;
        rest += 1 + places;
    }
    using namespace std::chrono;
    year_month_day date{year{time.year}, month{static_cast<unsigned>(time.month)}, day{static_cast<unsigned>(time.day)}};
    if (*rest != '\0' || !date.ok() || time.hour > 23 || time.minute > 59 || time.second > 59)
        return false;
    unixMs = UnixMsFromUtc(time);
    return true;
}

std::string IsoTimeText(const UtcTime& time)
{
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", time.year, time.month, time.day,
                  time.hour, time.minute, time.second, time.millisecond);
    return text;
}

constexpr int64_t RateWindowMs = 10000;

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
    return rate.samples.size() >= 2 && rate.samples.back().monotonicMs > rate.samples.front().monotonicMs;
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
    else if (name == "xdr")
        format = FeedFormat::Xdr;
    else
        return false;
    return true;
}

const char DefaultXdrName[] = "WINDLASS#0";

bool IsNmeaText(const std::string& text)
{
    for (char c : text)
        if (c < ' ' || c > '}' || c == '$' || c == '*' || c == ',' || c == '!' || c == '\\' || c == '^')
            return false;
    return true;
}

std::string NmeaSentence(const std::string& body)
{
    char end[8];
    std::snprintf(end, sizeof end, "*%02X\r\n", NmeaChecksum(body));
    return "$" + body + end;
}

uint8_t NmeaChecksum(const std::string& body)
{
    uint8_t sum = 0;
    for (char c : body)
        sum ^= static_cast<uint8_t>(c);
    return sum;
}

bool HasCount(const FeedReading& reading)
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
    return NmeaSentence(body.append(",").append(RateText(rate)).append(reading.status == FeedStatus::Valid ? ",A" : ",V"));
}

std::string BuildReadingJson(const UtcTime& time, const FeedReading& reading, const PayoutRate& rate,
                             const std::string& moreFields)
{
    bool has = HasCount(reading);
    std::string rateText = RateText(rate);
    std::string json = "{\"metres\":" + (has ? std::to_string(reading.metres) : "null");
    json += ",\"feet\":" + (has ? std::to_string(MetresToFeet(reading.metres)) : "null");
    json += ",\"text_m\":\"" + std::string(FormatCount(reading.metres, Metres, has).text) + "\"";
    json += ",\"text_ft\":\"" + std::string(FormatCount(reading.metres, Feet, has).text) + "\"";
    json += std::string(",\"valid\":") + (reading.status == FeedStatus::Valid ? "true" : "false");
    json += ",\"status\":\"" + std::string(StatusWord(reading.status)) + "\"";
    json += ",\"rate_m_per_min\":" + (rateText.empty() ? "null" : rateText);
    json += ",\"utc\":\"" + IsoTimeText(time) + "\"";
    return json + (moreFields.empty() ? "" : ",") + moreFields + "}";
}

std::string BuildFeedLine(FeedFormat format, const UtcTime& time, const FeedReading& reading,
                          const PayoutRate& rate, const std::string& xdrName)
{
    if (format == FeedFormat::Nmea)
        return BuildSentence(time, reading, rate);
    if (format == FeedFormat::Xdr)
        return NmeaSentence("IIXDR,D," +
                        (reading.status == FeedStatus::Valid ? std::to_string(reading.metres) : std::string()) +
                        ",M," + xdrName);
    RelayFormat relay = format == FeedFormat::Display ? DisplayLine
                        : format == FeedFormat::TCount ? TCount
                                                       : TCountEdgeTech;
    RelayLine line = BuildRelayMessage(relay, FormatCount(reading.metres, Metres, HasCount(reading)).text);
    return std::string(line.bytes, static_cast<size_t>(line.length));
}

bool MetresFromFeet(int32_t feet, int32_t& metres)
{
    // The display shows -2147483648 ft for every count beyond the feet
    // range: it stands for no one count.
    if (feet == INT32_MIN)
        return false;
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

// The EdgeTech line: "1:" and the number alone, with no unit.
static bool IsEdgeTechLine(const std::string& line)
{
    return line.compare(0, 2, "1:") == 0 && !EndsWith(line, "m") && !EndsWith(line, "ft");
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
    // The display's dashes, as it shows them: five before "m", six before
    // "ft", and either on an EdgeTech line, which has no unit.
    if (!text.empty() && text.find_first_not_of('-') == std::string::npos) {
        bool edgeTech = IsEdgeTechLine(line);
        size_t dashes = text.size();
        if (!(dashes == 5 && (edgeTech || !feet)) && !(dashes == 6 && (edgeTech || feet)))
            return false;
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

bool ReadRelayBytes(RelayLineReader& reader, const char* bytes, size_t count, FeedReading& latest)
{
    bool found = false;
    for (size_t i = 0; i < count; i++) {
        char c = bytes[i];
        if (c != '\r' && c != '\n') {
            if (reader.partial.size() < 64)  // no relay line is longer; noise is cut
                reader.partial += c;
            continue;
        }
        FeedReading reading;
        if (!reader.partial.empty() && ParseRelayLine(reader.partial, reader.edgeTechFeet, reading)) {
            latest = reading;
            found = true;
            reader.lastWasEdgeTech = IsEdgeTechLine(reader.partial);
        }
        reader.partial.clear();
    }
    return found;
}

std::string LogFileName(const UtcTime& time)
{
    char name[32];
    std::snprintf(name, sizeof name, "pulley-%04d-%02d-%02d.csv", time.year, time.month, time.day);
    return name;
}

const char LogHeader[] = "utc,metres,status,rate_m_per_min,wire_left_m,note\r\n";

std::string BuildLogLine(const UtcTime& time, const FeedReading& reading, const PayoutRate& rate,
                         const std::string& wireLeft, const std::string& note)
{
    std::string line = IsoTimeText(time) + ",";
    if (HasCount(reading))
        line.append(std::to_string(reading.metres));
    return line + "," + StatusWord(reading.status) + "," + RateText(rate) + "," + wireLeft + "," + note + "\r\n";
}

std::string BuildDroppedRow(int64_t firstUtcMs, int64_t lastUtcMs, uint64_t rows)
{
    std::string first = IsoTimeText(UtcFromUnixMs(firstUtcMs));
    return first + ",,dropped,,," + std::to_string(rows) + " rows from " + first + " to " +
           IsoTimeText(UtcFromUnixMs(lastUtcMs)) + " could not be written\r\n";
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
