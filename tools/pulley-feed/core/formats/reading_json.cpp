// The reading as JSON, every text through one escaping rule.
#include "formats/reading_json.h"

#include <cstdio>

#include "count_text.h"

std::string JsonString(const std::string& text)
{
    std::string json = "\"";
    for (char c : text) {
        switch (c) {
        case '"': json += "\\\""; break;
        case '\\': json += "\\\\"; break;
        case '\n': json += "\\n"; break;
        case '\r': json += "\\r"; break;
        case '\t': json += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20 || c == '<' || c == '>' || c == '&') {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                json += escaped;
            } else {
                json += c;
            }
        }
    }
    return json + "\"";
}

std::string AlarmsJson(const std::vector<RaisedAlarm>& alarms)
{
    std::string json = "[";
    for (const RaisedAlarm& alarm : alarms) {
        if (json.size() > 1)
            json += ",";
        json.append("{\"id\":").append(std::to_string(alarm.id)).append(",\"text\":");
        json.append(JsonString(alarm.text)).append(",\"acknowledged\":").append(alarm.acknowledged ? "true" : "false");
        json.append("}");
    }
    return json + "]";
}

static std::string CastJson(const std::optional<CastUnderWay>& cast)
{
    if (!cast)
        return "null";
    return "{\"number\":" + std::to_string(cast->number) +
           ",\"start_utc\":" + JsonString(IsoTimeText(UtcFromUnixMs(cast->startUtcMs))) +
           ",\"max_m\":" + std::to_string(cast->maxMetres) + "}";
}

static std::string NumberOrNull(const std::string& number)
{
    return number.empty() ? "null" : number;
}

static std::string StringOrNull(const std::string& text)
{
    return text.empty() ? "null" : JsonString(text);
}

static std::string WireJson(const std::optional<WireState>& wire)
{
    if (!wire)
        return "null";
    return "{\"length_m\":" + NumberOrNull(wire->length) +
           ",\"load_test_due\":" + (wire->loadTestDue ? "true" : "false") +
           ",\"breaking_load\":" + NumberOrNull(wire->breakingLoad) +
           ",\"load_unit\":" + StringOrNull(wire->loadUnit) + "}";
}

static std::string TensionJsonText(const std::optional<TensionJson>& tension)
{
    if (!tension)
        return "null";
    return "{\"value\":" + NumberOrNull(tension->value) + ",\"unit\":" + JsonString(tension->unit) +
           ",\"newtons\":" + NumberOrNull(tension->newtons) + ",\"utc\":" +
           (tension->utcMs ? JsonString(IsoTimeText(UtcFromUnixMs(*tension->utcMs))) : "null") +
           ",\"valid\":" + (tension->value.empty() ? "false" : "true") +
           ",\"bad_lines\":" + std::to_string(tension->badLines) + "}";
}

bool IsUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t more = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xE ? 2 : (c >> 3) == 0x1E ? 3 : 4;
        if (more == 4 || (more == 1 && c < 0xC2) || i + more >= text.size() + (more == 0))
            return false;
        unsigned long point = more == 0 ? c : c & (0x3F >> more);
        for (size_t k = 1; k <= more; k++) {
            unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            point = point << 6 | (next & 0x3F);
        }
        // Not a shorter form, a surrogate, or beyond Unicode.
        if ((more == 2 && point < 0x800) || (more == 3 && (point < 0x10000 || point > 0x10FFFF)) ||
            (point >= 0xD800 && point <= 0xDFFF))
            return false;
        i += more + 1;
    }
    return true;
}

std::string BuildReadingJson(const ReadingJson& reading)
{
    const FeedReading& count = reading.reading;
    bool has = HasCount(count);
    std::string json = "{\"metres\":" + (has ? std::to_string(count.metres) : "null");
    json += ",\"feet\":" + (has ? std::to_string(MetresToFeet(count.metres)) : "null");
    json += ",\"text_m\":" + JsonString(FormatCount(count.metres, Metres, has).text);
    json += ",\"text_ft\":" + JsonString(FormatCount(count.metres, Feet, has).text);
    json += std::string(",\"valid\":") + (count.status == FeedStatus::Valid ? "true" : "false");
    json += ",\"status\":" + JsonString(StatusWord(count.status));
    json += ",\"rate_m_per_min\":" + NumberOrNull(reading.rate);
    json += ",\"utc\":" + JsonString(IsoTimeText(reading.time));
    json += ",\"wire_left_m\":" + NumberOrNull(reading.wireLeft);
    json += ",\"alarms\":" + AlarmsJson(reading.alarms);
    json += ",\"cast\":" + CastJson(reading.cast);
    json += ",\"cruise\":{\"id\":" + StringOrNull(reading.cruise) + ",\"station\":" + StringOrNull(reading.cruiseStation) + "}";
    json += ",\"wire\":" + WireJson(reading.wire);
    json += ",\"tension\":" + TensionJsonText(reading.tension);
    return json + ",\"station\":" + JsonString(reading.station) + "}";
}
