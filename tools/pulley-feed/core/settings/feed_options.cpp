// pulley-feed's options read and checked, and its usage.
#include "settings/feed_options.h"

#include <algorithm>

#include "formats/endpoint.h"
#include "record/log_table.h"
#include "tool_args.h"

const char FeedUsage[] =
    "usage: pulley-feed [source] output... [options]\n"
    "\n"
    "source (default: the Pulley Display on this desktop, asked every 250 ms)\n"
    "  --wait                 wait for the display to start\n"
    "  --serial COMn          read relay lines from a serial port instead\n"
    "  --baud N               its rate (default 9600)\n"
    "  --edgetech-unit m|ft   the unit of EdgeTech lines, which carry none (default m)\n"
    "  --stale-after S        a relay line is no longer trusted after S seconds\n"
    "                         (default: 3 for EdgeTech lines, which come every second;\n"
    "                         never for K-VARN and T count lines, sent on a change)\n"
    "outputs, any of them, at least one\n"
    "  --udp HOST[:PORT]      datagrams to a receiver or a broadcast address, such as\n"
    "                         192.168.1.255 (port 10110 unless given; repeatable)\n"
    "  --tcp [ADDR:]PORT      a line server on all interfaces, or on ADDR only\n"
    "  --http [ADDR:]PORT     a live web page of the count, /events and /count.json\n"
    "                         (port 8110 when ADDR is given alone; repeatable)\n"
    "  --name TEXT            the station's name on the page (default Winch)\n"
    "  --max-clients N        clients at most on each server (default 64, up to 1000)\n"
    "  --log FOLDER           a CSV file a UTC day: pulley-YYYY-MM-DD.csv\n"
    "winch watch\n"
    "  --alarm-above M        an alarm while more than M metres are out\n"
    "  --alarm-below M        an alarm while less than M metres are out\n"
    "  --alarm-rate M_PER_MIN an alarm while paying out or hauling in faster\n"
    "  --alarm-lost S         an alarm after S seconds without a valid count\n"
    "  --alarm-hysteresis M   how far back past its limit a count must come to clear\n"
    "                         its alarm (default 1; also metres a minute for the rate)\n"
    "  --wire-length M        the wire on the drum at a count of 0: the wire left\n"
    "  --drum-reserve M       an alarm while less than M metres are left on the drum\n"
    "  --casts                a row a cast in casts.csv in the log folder\n"
    "  --cast-start M         a cast starts past M metres, ends back at M or below\n"
    "                         (default 10; 0: a reset to 0 ends it)\n"
    "  --cast-merge S         dips to the start shorter than S seconds stay in the\n"
    "                         cast (tow-yos; default 0)\n"
    "tension (the winch's load cell, beside the count)\n"
    "  --tension COMn|udp:PORT  read its monitor's lines from a serial port or as\n"
    "                         datagrams on a UDP port\n"
    "  --tension-baud N       the serial port's rate (default 9600)\n"
    "  --tension-format F     lci90i[:FIELD,...] (default lci90i:name,tension,speed,\n"
    "                         payout), wnc, wir or xdr[:NAME] (force in newtons)\n"
    "  --tension-unit lbf|kgf|kN  what the lines carry (default lbf; kN for xdr)\n"
    "  --breaking-load T      the wire's breaking load, in that unit (an install\n"
    "                         in the wire book that gives one comes first), and\n"
    "  --safety-factor F      its factor: an alarm (ALR 007) over T / F, a warning\n"
    "                         (ALR 006) over 80% of that\n"
    "the cruise's record (events.csv in the log folder)\n"
    "  --cruise ID            the cruise, on every cast and event\n"
    "  --cruise-from URL      ask OpenVDM for the cruise id every minute\n"
    "                         (http://HOST/api/warehouse/getCruiseID)\n"
    "  --station ID           the station at start (pulley-remote station changes it)\n"
    "  --mark-buttons A,B,C   the page's mark buttons, on a screen given the token\n"
    "  --ship, --winch-model, --winch-maker, --winch-serial TEXT  for the wire log\n"
    "  --wire-log FILE        write the wire log (casts and the wire book) and end\n"
    "  --layout flat|cruise   the log folder as it is, or a folder a cruise\n"
    "                         (LOG\\CRUISE\\pulley: raw, docs, MD5SUMS; default flat)\n"
    "  --rotate daily|hourly  the cruise layout's count files (default daily)\n"
    "  --device-model, --device-location NAME  in its names (a-z, 0-9)\n"
    "  --since YYYY-MM-DD     the wire log from that day on\n"
    "  write-token = TEXT     (settings file only) marks and acknowledgements from\n"
    "                         the LAN with this bearer token; without it, read only\n"
    "options\n"
    "  --format nmea|display|tcount|edgetech|xdr   the network lines (default nmea)\n"
    "  --xdr-name NAME        the transducer's name in XDR lines (default WINDLASS#0)\n"
    "  --quiet                no status line\n"
    "  --clock YYYY-MM-DDTHH:MM:SS  start the feed's UTC clock there (for tests)\n"
    "  --tray                 an icon in the notification area instead of a console\n"
    "settings (the options above, one a line: udp = 192.168.1.255)\n"
    "  --config FILE          the settings file (default: pulley-feed.ini beside\n"
    "                         pulley-feed.exe, when there is one); the command line\n"
    "                         wins over it, option by option\n"
    "  --print-config         what is in force, and where each value came from\n"
    "  --autostart [on|off]   start at logon in the notification area with the\n"
    "                         settings file, or stop doing so; alone: say which\n"
    "  --service install|remove  a Windows service, PulleyFeed, that reads a relay\n"
    "                         line (serial in the settings file) from start-up\n"
    "  --help                 this text\n"
    "\n"
    "alarms go out as NMEA ALR sentences on UDP and TCP whatever the format.\n"
    "\n"
    "exit codes: 0 ended by Ctrl+C or the console closing, 1 bad argument,\n"
    "2 no display running, 3 a port or address cannot be used, 4 the log\n"
    "folder cannot be written\n";

// An endpoint option's value.
static bool ReadEndpoint(ToolArgs& args, EndpointKind kind, Endpoint& endpoint)
{
    std::string text, reason;
    if (!args.Text(text))
        return false;
    return ParseEndpoint(text, kind, endpoint, reason) || args.Refuse(args.Current() + " " + reason);
}

// An endpoint option given as often as there are endpoints.
static bool AddEndpoint(ToolArgs& args, EndpointKind kind, std::vector<Endpoint>& endpoints)
{
    Endpoint endpoint;
    if (!ReadEndpoint(args, kind, endpoint))
        return false;
    endpoints.push_back(endpoint);
    return true;
}

// Lengths and rates: any a winch can have, and limits that are not
// negative.
constexpr double MostMetres = 1000000;

// A limit that an alarm's words carry: as many digits as a sentence holds.
static bool ReadLimit(ToolArgs& args, double lowest, double highest, bool& asked, double& limit)
{
    if (!args.Number(lowest, highest, limit))
        return false;
    if (DecimalText(limit).size() > MostLimitCharacters)
        return args.Refuse(args.Current() + " has more digits than an alarm sentence holds (" +
                           std::to_string(MostLimitCharacters) + " characters at most)");
    asked = true;
    return true;
}

static bool ReadWatchOption(ToolArgs& args, AlarmLimits& alarms)
{
    const std::string& option = args.Current();
    if (!args.Once())
        return false;
    if (option == "--alarm-above")
        return ReadLimit(args, -MostMetres, MostMetres, alarms.above, alarms.aboveMetres);
    if (option == "--alarm-below")
        return ReadLimit(args, -MostMetres, MostMetres, alarms.below, alarms.belowMetres);
    if (option == "--alarm-rate")
        return ReadLimit(args, 0, MostMetres, alarms.rate, alarms.ratePerMinute);
    if (option == "--alarm-lost")
        return ReadLimit(args, 1, 86400, alarms.lost, alarms.lostSeconds);
    if (option == "--alarm-hysteresis")
        return args.Number(0, MostMetres, alarms.hysteresis);
    if (option == "--wire-length")
        return args.Number(1, MostMetres, alarms.wireLength);
    if (option == "--drum-reserve")
        return ReadLimit(args, 0, MostMetres, alarms.reserve, alarms.reserveMetres);
    return args.Unknown();
}

bool ReadsTension(const FeedOptions& options)
{
    return !options.tensionPort.empty() || options.tensionUdpPort > 0;
}

static bool ReadTensionOption(ToolArgs& args, FeedOptions& options)
{
    const std::string& option = args.Current();
    std::string text, reason;
    if (!args.Once())
        return false;
    if (option == "--tension") {
        if (!args.Text(text))
            return false;
        if (text.compare(0, 4, "udp:") != 0) {
            options.tensionPort = text;
            return true;
        }
        return (ParseWholeNumber(text.c_str() + 4, options.tensionUdpPort) && options.tensionUdpPort >= 1 &&
                options.tensionUdpPort <= 65535) ||
               args.Refuse("--tension is COMn or udp:PORT (a port from 1 to 65535), not \"" + text + "\"");
    }
    if (option == "--tension-baud")
        return args.WholeNumber(110, 921600, options.tensionBaud);
    if (option == "--tension-format")
        return args.Text(text) && (ParseTensionFormat(text, options.tensionFormat, reason) || args.Refuse(reason));
    if (option == "--tension-unit")
        return args.Text(text) && (ParseTensionUnit(text, options.tensionUnit) ||
                                   args.Refuse("--tension-unit is lbf, kgf or kN, not \"" + text + "\""));
    if (option == "--breaking-load")
        return args.Number(0.001, 1e9, options.alarms.breakingLoad);
    if (option == "--safety-factor")
        return args.Number(1, 100, options.alarms.safetyFactor);
    return args.Unknown();
}

// What says how to run the feed, rather than what it does.
static bool IsRunOption(const std::string& option)
{
    return option == "--config" || option == "--print-config" || option == "--autostart" || option == "--service" ||
           option == "--help";
}

bool OnlyOnTheCommandLine(const std::string& option)
{
    return IsRunOption(option) || option == "--clock";
}

WireLogHead WireLogHeadOf(const FeedOptions& options)
{
    return {.ship = options.ship, .winch = options.stationName, .winchModel = options.winchModel,
            .winchMaker = options.winchMaker, .winchSerial = options.winchSerial};
}

bool IsCruiseId(const std::string& text)
{
    return !text.empty() && text.size() <= 40 && text.front() != ' ' && text.back() != ' ' && IsFieldName(text);
}

// An id of the cruise's record.
static bool ReadCruiseId(ToolArgs& args, std::string& id)
{
    return args.Once() && args.Text(id) &&
           (IsCruiseId(id) ||
            args.Refuse(args.Current() + " takes up to 40 printable characters, no comma or quote, not \"" + id + "\""));
}

// A name for the wire log's head.
static bool ReadHeadName(ToolArgs& args, std::string& name)
{
    return args.Once() && args.Text(name) &&
           (IsFieldName(name) || args.Refuse(args.Current() + " takes up to 64 printable characters, no comma or quote"));
}

static bool ReadRecordOption(ToolArgs& args, FeedOptions& options)
{
    const std::string& option = args.Current();
    std::string text;
    if (option == "--cruise")
        return ReadCruiseId(args, options.cruise);
    if (option == "--station")
        return ReadCruiseId(args, options.station);
    if (option == "--cruise-from")
        return args.Once() && args.Text(options.cruiseFrom) &&
               (options.cruiseFrom.rfind("http://", 0) == 0 ||
                args.Refuse("--cruise-from takes an http:// address, such as "
                            "http://openvdm/api/warehouse/getCruiseID"));
    if (option == "--write-token") {
        if (args.Origin().empty())
            return args.Refuse("write-token belongs in the settings file, where the list of processes does not show it");
        return args.Once() && args.Text(options.writeToken) &&
               ((options.writeToken.size() >= 12 && options.writeToken.size() <= 128 &&
                 options.writeToken.find_first_of(" \t\"") == std::string::npos) ||
                args.Refuse("write-token takes 12 to 128 characters, no spaces or quotes"));
    }
    if (option == "--mark-buttons") {
        if (!args.Once() || !args.Text(text))
            return false;
        for (const std::string& field : SplitFields(text)) {
            size_t first = field.find_first_not_of(' '), last = field.find_last_not_of(' ');
            std::string button = first == std::string::npos ? "" : field.substr(first, last - first + 1);
            if (button.empty() || button.size() > MostMarkButtonCharacters || !IsFieldName(button))
                return args.Refuse("--mark-buttons takes texts of up to 40 characters, a comma between them");
            options.markButtons.push_back(button);
        }
        return options.markButtons.size() <= MostMarkButtons ||
               args.Refuse("--mark-buttons takes at most " + std::to_string(MostMarkButtons) + " buttons");
    }
    if (option == "--ship")
        return ReadHeadName(args, options.ship);
    if (option == "--winch-model")
        return ReadHeadName(args, options.winchModel);
    if (option == "--winch-maker")
        return ReadHeadName(args, options.winchMaker);
    if (option == "--winch-serial")
        return ReadHeadName(args, options.winchSerial);
    if (option == "--wire-log")
        return args.Once() && args.Text(options.wireLog);
    if (option == "--layout") {
        if (!args.Once() || !args.Text(text))
            return false;
        options.layout.on = text == "cruise";
        return text == "cruise" || text == "flat" || args.Refuse("--layout is flat or cruise");
    }
    if (option == "--rotate") {
        if (!args.Once() || !args.Text(text))
            return false;
        options.layout.hourly = text == "hourly";
        return text == "hourly" || text == "daily" || args.Refuse("--rotate is daily or hourly");
    }
    if (option == "--device-model" || option == "--device-location") {
        std::string& part = option == "--device-model" ? options.layout.model : options.layout.location;
        return args.Once() && args.Text(part) &&
               (IsNamePart(part) ||
                args.Refuse(option + " names a part of the files' names: lower-case letters and digits, up to 32"));
    }
    if (option == "--since") {
        if (!args.Once() || !args.Text(text))
            return false;
        return ParseIsoTime((text + "T00:00:00").c_str(), options.wireLogSinceMs) ||
               args.Refuse("--since takes a day, YYYY-MM-DD, not " + text);
    }
    return args.Unknown();
}

FeedExitCode SayEnded(const ConsoleOps& console, FeedExitCode code, const std::string& text)
{
    if (code == ExitEnded)
        console.Write(console.context, false, "pulley-feed: " + text + "\n");
    else
        console.Write(console.context, true, text);
    return code;
}

static bool ReadRunOption(ToolArgs& args, FeedOptions& options)
{
    const std::string& option = args.Current();
    if (option == "--help")
        return options.help = true;
    if (!args.Once())
        return false;
    if (option == "--config")
        return args.Text(options.configFile);
    if (option == "--print-config") {
        options.printConfig = true;
        return true;
    }
    if (option == "--autostart") {
        options.autostart = args.OptionalWord({"on", "off"});
        if (options.autostart.empty())
            options.autostart = "ask";
        return true;
    }
    if (!args.Text(options.service))
        return false;
    return options.service == "install" || options.service == "remove" || options.service == "run" ||
           args.Refuse("--service is install or remove");
}

static bool ReadOption(ToolArgs& args, FeedOptions& options)
{
    const std::string& option = args.Current();
    std::string text;
    if (IsRunOption(option))
        return ReadRunOption(args, options);
    if (option == "--tray") {
        options.tray = true;
        return true;
    }
    if (option == "--wait" || option == "--quiet") {
        bool& flag = option == "--wait" ? options.wait : options.quiet;
        flag = true;
        return true;
    }
    if (option == "--serial")
        return args.Once() && args.Text(options.serialPort);
    if (option == "--baud")
        return args.Once() && args.WholeNumber(110, 921600, options.baudRate);
    if (option == "--stale-after")
        return args.Once() && args.Number(0.25, 86400, options.staleAfterSeconds);
    if (option == "--edgetech-unit") {
        if (!args.Once() || !args.Text(text))
            return false;
        if (text != "m" && text != "ft")
            return args.Refuse("--edgetech-unit is m or ft");
        options.edgeTechFeet = text == "ft";
        return true;
    }
    if (option == "--udp")
        return AddEndpoint(args, EndpointKind::Receiver, options.udpTargets);
    if (option == "--tcp")
        return args.Once() && ReadEndpoint(args, EndpointKind::Listener, options.lineServer.emplace());
    if (option == "--http")
        return AddEndpoint(args, EndpointKind::Web, options.webEndpoints);
    if (option == "--name")
        return args.Once() && args.Text(options.stationName);
    if (option == "--max-clients")
        return args.Once() && args.WholeNumber(1, 1000, options.maxClients);
    if (option == "--log")
        return args.Once() && args.Text(options.logFolder);
    if (option == "--format")
        return args.Once() && args.Text(text) &&
               (ParseFeedFormat(text, options.format) ||
                args.Refuse("--format is nmea, display, tcount, edgetech or xdr"));
    if (option == "--xdr-name")
        return args.Once() && args.Text(options.xdrName) &&
               ((IsNmeaText(options.xdrName) && options.xdrName.size() <= 40) ||
                args.Refuse("--xdr-name takes up to 40 characters, none of $ * , ! \\ ^ ~"));
    if (option == "--casts") {
        options.casts = true;
        return true;
    }
    if (option == "--cast-start")
        return args.Once() && args.Number(0, 100000, options.castStartMetres);
    if (option == "--cast-merge")
        return args.Once() && args.Number(0, 86400, options.castMergeSeconds);
    if (option.compare(0, 8, "--alarm-") == 0 || option == "--wire-length" || option == "--drum-reserve")
        return ReadWatchOption(args, options.alarms);
    if (option.compare(0, 9, "--tension") == 0 || option == "--breaking-load" || option == "--safety-factor")
        return ReadTensionOption(args, options);
    if (option == "--cruise" || option == "--station" || option == "--cruise-from" || option == "--write-token" ||
        option == "--mark-buttons" || option == "--ship" || option.compare(0, 8, "--winch-") == 0 ||
        option == "--wire-log" || option == "--since" || option == "--layout" || option == "--rotate" ||
        option == "--device-model" || option == "--device-location")
        return ReadRecordOption(args, options);
    if (option == "--clock") {
        if (!args.Once() || !args.Text(text))
            return false;
        options.clockGiven = ParseIsoTime(text.c_str(), options.clockStartMs);
        return options.clockGiven || args.Refuse("--clock wants a time YYYY-MM-DDTHH:MM:SS that exists, not " + text);
    }
    return args.Unknown();
}

// The tension's options together: a unit the format fixes, and the safe
// working load's two halves, only with a source to watch.
static bool CheckTension(ToolArgs& args, FeedOptions& options)
{
    TensionUnit fixed;
    bool unitGiven = false;
    for (const GivenOption& given : args.Given())
        unitGiven = unitGiven || given.option == "--tension-unit";
    if (FixedTensionUnit(options.tensionFormat, fixed)) {
        if (unitGiven && options.tensionUnit != fixed)
            return args.Refuse("XDR lines carry newtons, shown in kN: leave out --tension-unit, or give kN");
        options.tensionUnit = fixed;
    }
    options.alarms.tensionUnit = options.tensionUnit;
    bool load = options.alarms.breakingLoad > 0, factor = options.alarms.safetyFactor > 0;
    if ((load || factor) && !ReadsTension(options))
        return args.Refuse("--breaking-load and --safety-factor watch the tension: give --tension too");
    if (load && !factor)
        return args.Refuse("the safe working load is --breaking-load / --safety-factor: give the factor too, as "
                           "the ship's rules set it for this wire and this work");
    if (factor && !load && options.logFolder.empty())
        return args.Refuse("the safe working load is the breaking load / --safety-factor: give --breaking-load, or a "
                           "log folder, to keep the wire book whose install gives it");
    return true;
}

// The settings in force, in the file's own words, each with its origin.
static void PrintConfig(const ToolArgs& args, const ConsoleOps& console)
{
    std::string printed = "# pulley-feed runs with these; everything else as --help gives\n";
    for (const GivenOption& given : args.Given()) {
        if (given.option == "--print-config")
            continue;
        std::string value = given.option == "--write-token" ? "(not shown)" : given.value;
        std::string line = given.option.substr(2) + (value.empty() ? "" : " = " + value);
        line.resize(std::max<size_t>(line.size(), 40), ' ');
        printed += line + " # " + (given.origin.empty() ? "command line" : given.origin) + "\n";
    }
    console.Write(console.context, false, printed);
}

std::optional<FeedExitCode> ParseFeedOptions(int argc, char** argv, FeedOptions& options)
{
    return ParseFeedOptions(CommandLineArgs(argc, argv), options, StandardStreams("pulley-feed"));
}

std::optional<FeedExitCode> ParseFeedOptions(std::vector<ToolArg> arguments, FeedOptions& options,
                                             const ConsoleOps& console)
{
    ToolArgs args(console, std::move(arguments));
    while (args.Next()) {
        if (!ReadOption(args, options))
            return ExitUsage;
        if (options.help) {
            console.Write(console.context, false, FeedUsage);
            return ExitEnded;
        }
    }
    if (options.layout.on && (options.logFolder.empty() || !IsCruiseFolderName(options.cruise))) {
        args.Refuse("layout = cruise names its folder by the cruise, and the folder's files by it: give log, and "
                    "cruise = ID of ASCII letters, digits, - _ and . (OpenVDM's id replaces it as it changes)");
        return ExitUsage;
    }
    if (!options.wireLog.empty() && options.logFolder.empty()) {
        args.Refuse("--wire-log reads casts.csv in the log folder: give --log too");
        return ExitUsage;
    }
    if (options.udpTargets.empty() && !options.lineServer && options.webEndpoints.empty() &&
        options.logFolder.empty()) {
        args.Refuse("no output: give --udp, --tcp, --http or --log");
        return ExitUsage;
    }
    if (options.casts && options.logFolder.empty()) {
        args.Refuse("--casts writes casts.csv in the log folder: give --log too");
        return ExitUsage;
    }
    if (options.alarms.reserve && options.alarms.wireLength == 0) {
        args.Refuse("--drum-reserve needs --wire-length");
        return ExitUsage;
    }
    if (!CheckTension(args, options))
        return ExitUsage;
    if (options.serialPort.empty() && (options.service == "install" || options.service == "run")) {
        args.Refuse("a service runs in a session of its own and cannot see the display's window: a service "
                    "reads a relay line (give serial = COMn in the settings file)");
        return ExitUsage;
    }
    if (options.printConfig) {
        PrintConfig(args, console);
        return ExitEnded;
    }
    return std::nullopt;
}
