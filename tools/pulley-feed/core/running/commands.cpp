// The commands of the running feed, each checked and recorded as an event.
#include "running/commands.h"

#include <cstdio>

#include "formats/reading_json.h"
#include "running/log_writer.h"
#include "tool_args.h"

static CommandAnswer Refused(const std::string& why)
{
    return {false, why};
}

static CommandAnswer Recorded(FeedState& state, EventRow row, int64_t monotonicMs)
{
    return {true, RowJson(EventTable, RecordEvent(state, std::move(row), monotonicMs))};
}

// A text a person typed: one line of UTF-8, not empty, and not too long.
static bool IsMarkText(const std::string& text)
{
    if (text.empty() || text.size() > MostMarkBytes || !IsUtf8(text))
        return false;
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return false;
    return true;
}

static CommandAnswer Mark(FeedState& state, const std::string& text, const std::string& source, int64_t monotonicMs,
                          int64_t utcMs)
{
    if (!IsMarkText(text))
        return Refused("a mark is one line of text, up to " + std::to_string(MostMarkBytes) + " bytes of UTF-8");
    return Recorded(state, {.utcMs = utcMs, .kind = MarkEvent, .source = source, .text = text}, monotonicMs);
}

static CommandAnswer Acknowledge(FeedState& state, const std::string& id, const std::string& source,
                                 int64_t monotonicMs, int64_t utcMs)
{
    long long number = 0;
    AlarmEvent event;
    std::string reason;
    if (!ParseWholeNumber(id.c_str(), number) || number < 1 || number > LastAlarmId)
        return Refused("an alarm's number is 1 to " + std::to_string(LastAlarmId));
    if (!AcknowledgeAlarm(state.alarms, static_cast<int>(number), monotonicMs, event, reason))
        return Refused(reason);
    PublishAgain(state, {event.sentence});
    char words[140];
    std::snprintf(words, sizeof words, "%03d %s", event.id, event.text.c_str());
    return Recorded(state, {.utcMs = utcMs, .kind = AlarmAcknowledgedEvent, .source = source, .text = words},
                    monotonicMs);
}

static CommandAnswer Station(FeedState& state, const std::string& id, const std::string& source, int64_t monotonicMs,
                             int64_t utcMs)
{
    if (!IsCruiseId(id))
        return Refused("a station is up to 40 printable characters, no comma or quote");
    state.station = state.casts.station = id;
    return Recorded(state, {.utcMs = utcMs, .kind = StationEvent, .station = id, .source = source,
                            .text = "station " + id},
                    monotonicMs);
}

static CommandAnswer Cruise(FeedState& state, const std::string& id, int64_t utcMs)
{
    if (!IsCruiseId(id))
        return Refused("a cruise id is up to 40 printable characters, no comma or quote");
    if (state.layout.on && !IsCruiseFolderName(id))
        return Refused("a cruise folder is named by its id: ASCII letters, digits, - _ and ., up to 40");
    ChangeCruise(state, id, utcMs);
    return {true, JsonString(id)};
}

// A breaking load as a person writes it: 10500lbf, 46.7 kN.
static bool ReadLoad(const std::string& text, WireEntry& entry)
{
    size_t unitAt = text.find_first_not_of("0123456789.+- ");
    size_t numberEnd = text.find_last_not_of(' ', unitAt == std::string::npos ? std::string::npos : unitAt - 1);
    double load = 0;
    TensionUnit unit;
    if (unitAt == std::string::npos || numberEnd == std::string::npos ||
        !ParseDecimal(text.substr(0, numberEnd + 1).c_str(), load) || !ParseTensionUnit(text.substr(unitAt), unit))
        return false;
    entry.breakingLoad = load;
    entry.loadUnit = TensionUnitName(unit);
    return true;
}

// wire EVENT [METRES] [--id NSF_ID] [--part NUMBER] [--maker NAME]
//      [--breaking-load LOAD] [--note TEXT]
static CommandAnswer Wire(FeedState& state, const std::vector<std::string>& words, const std::string& source,
                          int64_t monotonicMs, int64_t utcMs)
{
    if (!state.keepsWireBook)
        return Refused("no wire book is kept: the feed keeps it beside its settings file, with a log folder");
    WireEntry entry{.utcMs = utcMs, .event = words.size() > 1 ? words[1] : "", .cruise = state.cruise};
    size_t at = 2;
    double metres = 0;
    if (at < words.size() && words[at].compare(0, 2, "--") != 0) {
        if (!ParseDecimal(words[at].c_str(), metres))
            return Refused("the metres are a number, not \"" + words[at] + "\"");
        entry.metres = metres;
        at++;
    }
    for (; at + 1 < words.size(); at += 2) {
        const std::string& option = words[at];
        if (option == "--breaking-load") {
            if (!ReadLoad(words[at + 1], entry))
                return Refused("the breaking load is a number and its unit, lbf, kgf or kN (10500lbf), not \"" +
                               words[at + 1] + "\"");
            continue;
        }
        std::string* field = option == "--id" ? &entry.nsfId : option == "--part" ? &entry.partNumber
                             : option == "--maker" ? &entry.maker : option == "--note" ? &entry.note : nullptr;
        if (field == nullptr)
            return Refused("a wire entry takes --id, --part, --maker, --breaking-load and --note, not " + option);
        *field = words[at + 1];
    }
    std::string reason;
    if (at != words.size())
        return Refused(words[at] + " wants a value");
    if (!CheckWireEntry(state.wire, entry, reason))
        return Refused(reason);
    state.wire.entries.push_back(entry);
    FollowBreakingLoad(state);
    state.log->Push({"", RowOf(WireBookTable, entry), utcMs, LogLane::WireBook, false});
    std::string text = entry.event;
    if (entry.metres)
        text.append(" ").append(DecimalText(*entry.metres)).append(" m");
    if (!entry.nsfId.empty())
        text.append(" ").append(entry.nsfId);
    if (entry.breakingLoad)
        text.append(", breaking load ").append(DecimalText(*entry.breakingLoad)).append(" ").append(entry.loadUnit);
    if (!entry.note.empty())
        text.append(": ").append(entry.note);
    return Recorded(state, {.utcMs = utcMs, .kind = WireEvent, .source = source, .text = text}, monotonicMs);
}

CommandAnswer RunCommand(FeedState& state, const FeedCommand& command, int64_t monotonicMs, int64_t utcMs)
{
    const std::vector<std::string>& words = command.words;
    const std::string verb = words.empty() ? "" : words[0];
    if (verb == "cruise" && words.size() == 2)
        return Cruise(state, words[1], utcMs);
    if (state.log == nullptr)
        return Refused("the cruise's record is kept in the log folder: give the feed a log folder");
    if (verb == "mark" && words.size() == 2)
        return Mark(state, words[1], command.source, monotonicMs, utcMs);
    if (verb == "ack" && words.size() == 2)
        return Acknowledge(state, words[1], command.source, monotonicMs, utcMs);
    if (verb == "station" && words.size() == 2)
        return Station(state, words[1], command.source, monotonicMs, utcMs);
    if (verb == "wire" && words.size() >= 2)
        return Wire(state, words, command.source, monotonicMs, utcMs);
    return Refused("the feed takes mark TEXT, ack ID, station ID and wire EVENT [METRES] [--id ...] [--note ...]");
}
