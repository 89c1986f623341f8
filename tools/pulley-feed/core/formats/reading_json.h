// The reading as JSON, for the page and other programs: built here alone,
// from one struct, and every text in it through one escaping rule.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reading/reading.h"
#include "reading/utc_time.h"

struct RaisedAlarm {
    int id;
    std::string text;
    bool acknowledged = false;
};

struct CastUnderWay {
    int number;
    int64_t startUtcMs;
    int32_t maxMetres;
};

// The wire on the drum, as the wire book has it.
struct WireState {
    std::string length;  // a number's text; empty when no wire is installed
    bool loadTestDue;    // a termination with no load test since
    std::string breakingLoad = "", loadUnit = "";  // its install's, as the book has them; empty when none
};

// The same values as the reading's sentence, and what the winch watch and
// the cruise's record add.
// The tension, as the load cell's newest good line has it.
struct TensionJson {
    std::string value, unit, newtons;  // numbers' texts; empty from a silent source
    std::optional<int64_t> utcMs;      // when the newest good line came; none before the first
    uint64_t badLines;
};

struct ReadingJson {
    UtcTime time;
    FeedReading reading;
    std::string rate = "";      // as the sentence gives it: empty while not known
    std::string wireLeft = "";  // a number's text; empty when not known
    std::vector<RaisedAlarm> alarms = {};
    std::optional<CastUnderWay> cast = std::nullopt;
    std::string station = "";  // --name, as typed (the name it has had from the first release)
    std::string cruise = "", cruiseStation = "";  // the cruise's record; empty when not set
    std::optional<WireState> wire = std::nullopt;  // none without a wire book
    std::optional<TensionJson> tension = std::nullopt;  // none without a tension source
};

// {"metres":..,"feet":..,"text_m":..,"text_ft":..,"valid":..,"status":..,
// "rate_m_per_min":..,"utc":..,"wire_left_m":..,"alarms":[..],"cast":..,
// "cruise":{"id":..,"station":..},"wire":{"length_m":..,"load_test_due":..,"breaking_load":..,"load_unit":..}|null,
// "tension":{"value":..,"unit":..,"newtons":..,"utc":..,"valid":..,"bad_lines":..}|null,
// "station":..}: metres, feet (the display's feet) and the display's texts
// in both units, null and dashes when there is no count; station is the
// feed's name, the cruise's station is cruise.station.
std::string BuildReadingJson(const ReadingJson& reading);
// [{"id":..,"text":..,"acknowledged":..},...]
std::string AlarmsJson(const std::vector<RaisedAlarm>& alarms);
// Whether the text is UTF-8 throughout.
bool IsUtf8(const std::string& text);
// A JSON string of any UTF-8 text: quotes, backslashes and control
// characters escaped, and <, > and & too, so that it is safe where a page
// takes it in as well.
std::string JsonString(const std::string& text);
