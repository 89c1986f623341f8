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
        json.append(JsonString(alarm.text)).append("}");
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
    return json + ",\"station\":" + JsonString(reading.station) + "}";
}
