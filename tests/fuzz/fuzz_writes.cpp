// What the cruise's record takes from people: the LAN's POST bodies and
// heads with their token, OpenVDM's answer, the wire book as a person may
// have edited it, and the feed's commands. Whatever comes, each is read or
// refused whole: a mark read back is UTF-8 and survives being written as
// JSON; a refused command writes nothing; the wire on the drum is never
// less than nothing; a cruise id names no folder but a cruise's own.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fake_disk.h"
#include "formats/http_request.h"
#include "formats/reading_json.h"
#include "running/commands.h"
#include "running/feed_logs.h"

static void ReadBodies(const std::string& input)
{
    std::string text, again, id;
    long long number = 0;
    if (ReadMarkBody(input, text) && (!IsUtf8(text) || !ReadMarkBody("{\"text\":" + JsonString(text) + "}", again) ||
                                      again != text))
        std::abort();
    if (ReadAckBody(input, number) && number < 0)
        std::abort();
    ReadCruiseIdAnswer(input, id);
    if (TokenMatches("Bearer " + input, "winch-deck-7f3a9c21") != (input == "winch-deck-7f3a9c21"))
        std::abort();
    HttpRequest request;
    if (ReadRequestHead(input, request) == HeadState::Complete && request.headBytes > input.size())
        std::abort();
}

// The book, and a command made of the input's words (a tab between them)
// on a feed that keeps it.
static void RunOnRecord(const std::string& input)
{
    FakeDisk disk;
    disk.folders.insert("settings");
    disk.files["settings\\" + std::string(WireBookFileName)] = input;
    WireBook book;
    std::string reason;
    if (!ReadWireBook(disk.ops, "settings\\" + std::string(WireBookFileName), book, reason))
        std::abort();
    for (const WireEntry& entry : book.entries) {
        std::optional<double> length = WireLengthAt(book, entry.utcMs);
        (void)length;
    }
    FeedOptions options;  // a cruise folder's layout, which names folders by the cruise id
    options.cruise = "AT50-12";
    options.logFolder = "log";
    options.layout.on = true;
    LogFileNames names = LogFilesAtStart(disk.ops, "log", options.cruise, options.layout, 1796733296789);
    FeedLogs logs;
    if (!logs.Open(disk.ops, "log", true, names, [](const std::string&) {}, reason, "settings"))
        std::abort();
    FeedState state;
    InitFeedState(state, options, {.Publish = [](void*, const std::vector<std::string>&, const std::string&, bool) {},
                                   .Say = [](void*, const std::string&) {}, .context = nullptr},
                  logs.Writer(), {.wireBook = book, .files = &disk.ops, .cruiseStartMs = names.cruiseStartMs});
    StartCruiseFolder(state, names.periodMs);
    FeedCommand command{{}, "fuzz"};
    for (size_t start = 0;;) {
        size_t tab = input.find('\t', start);
        command.words.push_back(input.substr(start, tab - start));
        if (tab == std::string::npos)
            break;
        start = tab + 1;
    }
    size_t entries = state.wire.entries.size();
    CommandAnswer answer = RunCommand(state, command, 1000, 1796733296789);
    if (!answer.done && state.wire.entries.size() != entries)
        std::abort();
    std::optional<double> length = WireLengthAt(state.wire, 1796733296789);
    if (length && *length <= 0 && InstalledWire(state.wire) != nullptr && command.words[0] == "wire" && answer.done)
        std::abort();
    bool ended;
    logs.Close(3000, ended);
    for (const auto& [path, text] : disk.files) {  // only in a cruise's own folder
        size_t cruiseEnd = path.find('\\', 4);
        if (path.compare(0, 4, "log\\") == 0 && cruiseEnd != std::string::npos &&
            (!IsCruiseFolderName(path.substr(4, cruiseEnd - 4)) || path.compare(cruiseEnd, 8, "\\pulley\\") != 0))
            std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    ReadBodies(input);
    // A feed is made for a command, or a book, only: it costs a thread and
    // the day's trend.
    for (const char* start : {"mark\t", "ack\t", "station\t", "wire\t", "cruise\t", "utc,"})
        if (input.rfind(start, 0) == 0)
            RunOnRecord(input);
    return 0;
}
