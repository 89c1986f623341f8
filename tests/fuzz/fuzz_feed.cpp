// What pulley-feed reads from outside: relay lines through the serial
// reader, request heads from browsers, and its command line and settings
// file (times, endpoints, numbers). Nothing may
// crash, and what is accepted must mean what it says. Run it with
// -close_fd_mask=3: every refused command line says why.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "count_text.h"
#include "formats/endpoint.h"
#include "formats/relay_lines.h"
#include "reading/utc_time.h"
#include "settings/config_file.h"
#include "settings/feed_options.h"
#include "formats/http_request.h"

static void ReadAsRelayLines(const std::string& input)
{
    for (bool feet : {false, true}) {
        RelayLineReader reader{.edgeTechFeet = feet, .partial = "", .lastWasEdgeTech = false};
        FeedReading latest{FeedStatus::NoData, 0};
        // In two pieces, as a serial line delivers them.
        ReadRelayBytes(reader, input.data(), input.size() / 2, latest);
        ReadRelayBytes(reader, input.data() + input.size() / 2, input.size() - input.size() / 2, latest);
        if (reader.partial.size() > 64 || (latest.status != FeedStatus::Valid && latest.status != FeedStatus::NoData &&
                                           latest.status != FeedStatus::NotConnected))
            std::abort();
    }
}

static void CheckAccepted(const FeedOptions& options);

static void ReadAsCommandLine(const std::string& input)
{
    std::vector<std::string> words{"pulley-feed"};
    size_t start = 0;
    for (size_t end; words.size() < 32 && (end = input.find('\n', start)) != std::string::npos; start = end + 1)
        words.push_back(input.substr(start, end - start));
    words.push_back(input.substr(start));
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    FeedOptions options;
    if (!ParseFeedOptions(static_cast<int>(argv.size()), argv.data(), options))
        CheckAccepted(options);
}

// The same read from a settings file, line by line.
static void ReadAsSettingsFile(const std::string& input)
{
    std::vector<ToolArg> args;
    std::string error;
    FeedOptions options;
    ConsoleOps silent{.Write = [](void*, bool, const std::string&) {}, .context = nullptr};
    if (ReadConfigText(input, "pulley-feed.ini", args, error) && !ParseFeedOptions(args, options, silent))
        CheckAccepted(options);
}

// Options accepted to run with mean what they say.
static void CheckAccepted(const FeedOptions& options)
{
    if ((options.udpTargets.empty() && !options.lineServer && options.webEndpoints.empty() &&
         options.logFolder.empty()) ||
        options.baudRate < 110 || options.maxClients < 1 || options.maxClients > 1000)
        std::abort();
    for (const Endpoint& target : options.udpTargets)
        if (target.port == 0 || target.host.empty() || target.text.find(target.host) != 0)
            std::abort();
}

// A request head: whatever the browser, or anyone, sends.
static void ReadAsRequest(const std::string& input)
{
    HttpRequest request;
    HeadState state = ReadRequestHead(input, request);
    if (state == HeadState::Complete &&
        (request.headBytes > input.size() || request.headBytes > MostRequestHeadBytes || request.path.empty() ||
         request.path[0] != '/' || request.method.empty()))
        std::abort();
    if (state == HeadState::Incomplete && input.size() >= MostRequestHeadBytes)
        std::abort();
}

// A time that is accepted comes back the same when written out and read again.
static void ReadAsTime(const std::string& input)
{
    int64_t ms = 0, again = 0;
    if (!ParseIsoTime(input.c_str(), ms))
        return;
    std::string text = IsoTimeText(UtcFromUnixMs(ms));
    text.pop_back();  // the Z
    if (!ParseIsoTime(text.c_str(), again) || again != ms)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    ReadAsRelayLines(input);
    ReadAsCommandLine(input);
    ReadAsSettingsFile(input);
    ReadAsTime(input);
    ReadAsRequest(input);
    if (size >= 4) {  // a feet count turned back into metres shows those feet again
        int32_t feet, metres;
        std::memcpy(&feet, data, 4);
        if (MetresFromFeet(feet, metres) && MetresToFeet(metres) != feet)
            std::abort();
    }
    return 0;
}
