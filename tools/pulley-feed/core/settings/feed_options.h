// pulley-feed's command line. Portable, so that it is fuzzed with the rest
// of what the feed reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "watch/alarms.h"
#include "formats/endpoint.h"
#include "console_ops.h"
#include "formats/sentences.h"
#include "formats/tension_lines.h"
#include "record/cruise_folder.h"
#include "record/wire_log.h"
#include "tool_args.h"

enum FeedExitCode {
    ExitEnded = 0,       // Ctrl+C, or the console closed
    ExitUsage = 1,       // a bad argument
    ExitNoDisplay = 2,   // no display runs, and --wait was not given
    ExitCannotOpen = 3,  // a TCP port, a UDP socket, the serial port or the network cannot be used
    ExitLogFolder = 4,   // the log folder cannot be written
};

extern const char FeedUsage[];

struct FeedOptions {
    bool wait = false;
    std::string serialPort;
    long long baudRate = 9600;
    bool edgeTechFeet = false;
    double staleAfterSeconds = -1;  // -1: by the relay line's format
    // Read once, here: the outputs open what was read.
    std::vector<Endpoint> udpTargets;
    std::optional<Endpoint> lineServer;  // --tcp
    std::vector<Endpoint> webEndpoints;
    std::string stationName = "Winch";
    long long maxClients = 64;
    std::string logFolder;
    FeedFormat format = FeedFormat::Nmea;
    std::string xdrName = DefaultXdrName;
    AlarmLimits alarms = {.above = false, .below = false, .rate = false, .lost = false, .reserve = false,
                          .aboveMetres = 0, .belowMetres = 0, .ratePerMinute = 0, .lostSeconds = 0,
                          .reserveMetres = 0, .hysteresis = 1, .wireLength = 0, .breakingLoad = 0,
                          .safetyFactor = 0, .tensionUnit = TensionUnit::Lbf};
    // The load cell: its lines on a serial port (COMn, at its baud) or as
    // datagrams on a UDP port (udp:PORT), their format, and the unit they
    // carry; breaking-load and safety-factor are in alarms.
    std::string tensionPort;
    long long tensionBaud = 9600;
    long long tensionUdpPort = 0;  // udp:PORT; 0: a serial port
    TensionFormat tensionFormat;
    TensionUnit tensionUnit = TensionUnit::Lbf;
    bool casts = false;
    double castStartMetres = 10;
    double castMergeSeconds = 0;
    // The cruise's record.
    std::string cruise, station;  // as set at start; the station changes as the feed runs
    std::string cruiseFrom;       // OpenVDM's address: the cruise id asked of it every minute
    std::string writeToken;       // marks and acknowledgements from the LAN; empty: read only
    std::vector<std::string> markButtons;  // the page's, given the token
    std::string ship, winchModel, winchMaker, winchSerial;  // for the wire log's head
    std::string wireBook;         // the wire book's file: beside the settings file (the edge's choice)
    std::string wireLog;          // --wire-log FILE: write the wire log there, and end
    int64_t wireLogSinceMs = 0;   // --since
    CruiseLayout layout;          // layout = cruise, rotate, device-model, device-location
    bool quiet = false;
    bool clockGiven = false;
    int64_t clockStartMs = 0;  // --clock: the UTC time to start at
    bool help = false;
    // Ways to run and to be started, taken from the command line only.
    std::string configFile;     // --config: the settings file instead of the one beside the program
    bool printConfig = false;   // say what is in force, and where each value came from
    std::string autostart;      // --autostart: "on", "off", or "ask" to say which
    bool tray = false;          // an icon in the notification area instead of a console
    std::string service;        // --service: "install", "remove", or "run" (as the service)
};

// None when the options are good and the feed is to run (or to do what
// --autostart or --service ask); otherwise the exit code to end with at
// once, after saying why on the console (or, for --help and
// --print-config, after printing the usage or the settings there).
std::optional<FeedExitCode> ParseFeedOptions(std::vector<ToolArg> args, FeedOptions& options,
                                             const ConsoleOps& console);
std::optional<FeedExitCode> ParseFeedOptions(int argc, char** argv, FeedOptions& options);

// What belongs on the command line alone: how the feed runs, and the test
// clock. A settings file that names one is refused.
bool OnlyOnTheCommandLine(const std::string& option);
// The wire log's head, from the settings: the ship and the winch.
WireLogHead WireLogHeadOf(const FeedOptions& options);
// Whether a tension source is read.
bool ReadsTension(const FeedOptions& options);
// A cruise or station id: as a Name field holds it, at most 40 characters.
bool IsCruiseId(const std::string& text);
// The most marks buttons a page shows, and the longest text of one.
constexpr size_t MostMarkButtons = 8, MostMarkButtonCharacters = 40;

// Says how a command ended: on standard output when it did what was asked,
// else as a message; the code.
FeedExitCode SayEnded(const ConsoleOps& console, FeedExitCode code, const std::string& text);
