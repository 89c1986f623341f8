// The display's relay lines read back from a serial line.
#include "formats/relay_lines.h"

#include "count_text.h"

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
