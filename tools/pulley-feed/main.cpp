// pulley-feed: takes the count from the running display (or from another
// display's relay line on a serial port) and shares it on the network, as
// UDP datagrams and on a TCP line server, and in a survey log of one CSV
// file a day. docs/integration.md describes the lines.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "feed.h"
#include "network.h"
#include "sources.h"
#include "survey_log.h"

enum ExitCode {
    ExitEnded = 0,       // Ctrl+C, or the console closed
    ExitUsage = 1,       // a bad argument
    ExitNoDisplay = 2,   // no display runs, and --wait was not given
    ExitPortInUse = 3,   // a TCP port, a UDP socket or the serial port cannot be used
    ExitLogFolder = 4,   // the log folder cannot be written
};

static const char Usage[] =
    "usage: pulley-feed [source] output... [options]\n"
    "\n"
    "source (default: the Pulley Display on this desktop, asked every 250 ms)\n"
    "  --wait                 wait for the display to start\n"
    "  --serial COMn          read relay lines from a serial port instead\n"
    "  --baud N               its rate (default 9600)\n"
    "  --edgetech-unit m|ft   the unit of EdgeTech lines, which carry none (default m)\n"
    "outputs, any of them, at least one\n"
    "  --udp HOST[:PORT]      datagrams to a receiver or a broadcast address, such as\n"
    "                         192.168.1.255 (port 10110 unless given; repeatable)\n"
    "  --tcp [ADDR:]PORT      a line server on all interfaces, or on ADDR only\n"
    "  --max-clients N        TCP clients at most (default 64, up to 1000)\n"
    "  --log FOLDER           a CSV file a UTC day: pulley-YYYY-MM-DD.csv\n"
    "options\n"
    "  --format nmea|display|tcount|edgetech   the network lines (default nmea)\n"
    "  --quiet                no status line\n"
    "  --clock YYYY-MM-DDTHH:MM:SS  start the feed's UTC clock there (for tests)\n"
    "  --help                 this text\n"
    "\n"
    "exit codes: 0 ended by Ctrl+C or the console closing, 1 bad argument,\n"
    "2 no display running, 3 a port or address cannot be used, 4 the log\n"
    "folder cannot be written\n";

struct Options {
    bool wait = false;
    std::string serialPort;
    DWORD baudRate = 9600;
    bool edgeTechFeet = false;
    std::vector<std::string> udpTargets;
    std::string tcpEndpoint;
    size_t maxClients = 64;
    std::string logFolder;
    FeedFormat format = FeedFormat::Nmea;
    bool quiet = false;
    int64_t clockOffsetMs = 0;
};

static int Fail(int code, const std::string& why)
{
    std::fprintf(stderr, "pulley-feed: %s\n", why.c_str());
    return code;
}

static bool ParseNumber(const char* text, long long lowest, long long highest, long long& value)
{
    char* end = nullptr;
    value = std::strtoll(text, &end, 10);
    return end != text && *end == '\0' && value >= lowest && value <= highest;
}

static int64_t SystemUnixMs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    int64_t ticks = (static_cast<int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;  // 100 ns since 1601
    return ticks / 10000 - 11644473600000LL;
}

// Returns -1 when all is well, or the exit code after saying why.
static int ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; i++) {
        std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        long long number = 0;
        bool takesValue = option != "--wait" && option != "--quiet" && option != "--help";
        if (takesValue && value == nullptr)
            return Fail(ExitUsage, option + " wants a value (--help lists the options)");
        if (takesValue)
            i++;
        if (option == "--help") {
            std::fputs(Usage, stdout);
            return ExitEnded;
        } else if (option == "--wait") {
            options.wait = true;
        } else if (option == "--quiet") {
            options.quiet = true;
        } else if (option == "--serial") {
            options.serialPort = value;
        } else if (option == "--baud") {
            if (!ParseNumber(value, 110, 921600, number))
                return Fail(ExitUsage, std::string("no baud rate: ") + value);
            options.baudRate = static_cast<DWORD>(number);
        } else if (option == "--edgetech-unit") {
            if (std::strcmp(value, "m") != 0 && std::strcmp(value, "ft") != 0)
                return Fail(ExitUsage, "--edgetech-unit is m or ft");
            options.edgeTechFeet = std::strcmp(value, "ft") == 0;
        } else if (option == "--udp") {
            options.udpTargets.push_back(value);
        } else if (option == "--tcp") {
            options.tcpEndpoint = value;
        } else if (option == "--max-clients") {
            if (!ParseNumber(value, 1, 1000, number))
                return Fail(ExitUsage, "--max-clients is from 1 to 1000");
            options.maxClients = static_cast<size_t>(number);
        } else if (option == "--log") {
            options.logFolder = value;
        } else if (option == "--format") {
            if (!ParseFeedFormat(value, options.format))
                return Fail(ExitUsage, "--format is nmea, display, tcount or edgetech");
        } else if (option == "--clock") {
            int64_t start;
            if (!ParseIsoTime(value, start))
                return Fail(ExitUsage, std::string("no time YYYY-MM-DDTHH:MM:SS: ") + value);
            options.clockOffsetMs = start - SystemUnixMs();
        } else {
            return Fail(ExitUsage, "unknown option " + option + " (--help lists the options)");
        }
    }
    if (options.udpTargets.empty() && options.tcpEndpoint.empty() && options.logFolder.empty())
        return Fail(ExitUsage, "no output: give --udp, --tcp or --log (--help lists the options)");
    return -1;
}

// Set by Ctrl+C or the console closing, which arrive on a thread of their
// own; the loop ends, closes everything, and says it has.
static std::atomic<bool> stopping{false};
static HANDLE stopped;

static BOOL WINAPI OnConsoleEvent(DWORD event)
{
    stopping = true;
    // Windows ends the process when this returns from a close: wait for the
    // loop to close the log and the sockets first.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(stopped, 4000);
    return TRUE;
}

struct Feed {
    Options options;
    DisplaySource display;
    SerialSource serial;
    UdpOutput udp;
    TcpServer tcp;
    SurveyLog log;
    PayoutRate rate;
    Schedule lines, logLines;
    FeedReading reading;
};

static int64_t Now(const Feed& feed)
{
    return SystemUnixMs() + feed.options.clockOffsetMs;
}

static int OpenOutputs(Feed& feed)
{
    std::string reason;
    sockaddr_in address;
    for (const std::string& target : feed.options.udpTargets) {
        if (!ParseEndpoint(target, false, address, reason))
            return Fail(ExitUsage, "--udp " + reason);
        feed.udp.targets.push_back({.name = target, .address = address, .failing = false});
    }
    if (!feed.udp.targets.empty() && !OpenUdp(feed.udp, reason))
        return Fail(ExitPortInUse, "no UDP socket: " + reason);
    if (!feed.options.tcpEndpoint.empty()) {
        if (!ParseEndpoint(feed.options.tcpEndpoint, true, address, reason))
            return Fail(ExitUsage, "--tcp " + reason);
        if (!OpenTcpServer(feed.tcp, address, feed.options.maxClients, reason))
            return Fail(ExitPortInUse, "cannot serve TCP on " + feed.options.tcpEndpoint + ": " + reason);
    }
    if (!feed.options.logFolder.empty() &&
        !OpenSurveyLog(feed.log, feed.options.logFolder, UtcFromUnixMs(Now(feed)), reason))
        return Fail(ExitLogFolder, "cannot write the log in " + feed.options.logFolder + ": " + reason);
    return -1;
}

static int OpenSource(Feed& feed)
{
    if (!feed.options.serialPort.empty()) {
        std::string reason;
        if (!OpenSerialSource(feed.serial, feed.options.serialPort.c_str(), feed.options.baudRate,
                              feed.options.edgeTechFeet, reason))
            return Fail(ExitPortInUse, "cannot read " + feed.options.serialPort + ": " + reason);
        return -1;
    }
    if (!feed.options.wait && !DisplayRunning())
        return Fail(ExitNoDisplay, "no Pulley Display is running (--wait waits for one)");
    return -1;
}

static void ShowStatus(const Feed& feed)
{
    char count[24] = "";
    if (feed.reading.status == FeedStatus::Valid || feed.reading.status == FeedStatus::TestValue)
        std::snprintf(count, sizeof count, " %ld m", static_cast<long>(feed.reading.metres));
    std::printf("\r%s%s: %s%s, %zu TCP clients, %llu datagrams%s%s    ",
                feed.options.serialPort.empty() ? "display" : feed.options.serialPort.c_str(),
                feed.options.serialPort.empty() && feed.options.wait && feed.reading.status == FeedStatus::NoDisplay
                    ? " (waiting)"
                    : "",
                StatusWord(feed.reading.status), count, feed.tcp.clients.size(),
                static_cast<unsigned long long>(feed.udp.sent), feed.log.fileName.empty() ? "" : ", log ",
                feed.log.fileName.c_str());
    std::fflush(stdout);
}

constexpr int64_t LineIntervalMs = 1000;    // a line at least once a second
constexpr int64_t LogIntervalMs = 60000;    // a log line at least once a minute

// One poll: the reading, the rate, the lines due, and the status line.
static void Tick(Feed& feed, int64_t now)
{
    feed.reading = feed.options.serialPort.empty() ? PollDisplay(feed.display, now) : PollSerial(feed.serial, now);
    if (feed.reading.status == FeedStatus::Valid)
        AddToRate(feed.rate, now, feed.reading.metres);
    else
        feed.rate.samples.clear();
    UtcTime time = UtcFromUnixMs(now);
    if (LineDue(feed.lines, now, feed.reading)) {
        std::string line = BuildFeedLine(feed.options.format, time, feed.reading, feed.rate);
        if (!feed.udp.targets.empty())
            SendDatagrams(feed.udp, line);
        if (feed.tcp.listener != INVALID_SOCKET)
            QueueLine(feed.tcp, line);
    }
    if (!feed.options.logFolder.empty()) {
        if (LineDue(feed.logLines, now, feed.reading))
            WriteLogLine(feed.log, time, BuildLogLine(time, feed.reading, feed.rate));
        else
            RetryLogLines(feed.log);
    }
    if (!feed.options.quiet)
        ShowStatus(feed);
}

static void Run(Feed& feed)
{
    int64_t nextTick = Now(feed);
    while (!stopping) {
        int64_t now = Now(feed);
        if (now >= nextTick) {
            Tick(feed, now);
            nextTick += FeedPollPeriodMs;
            if (nextTick <= now)  // the clock jumped, or a display was slow
                nextTick = now + FeedPollPeriodMs;
        }
        int waitMs = static_cast<int>(nextTick - Now(feed));
        if (waitMs < 0)
            waitMs = 0;
        if (feed.tcp.listener != INVALID_SOCKET)
            ServeClients(feed.tcp, waitMs);
        else
            Sleep(static_cast<DWORD>(waitMs));
    }
}

static void Close(Feed& feed)
{
    for (const TcpClient& client : feed.tcp.clients)
        closesocket(client.socket);
    if (feed.tcp.listener != INVALID_SOCKET)
        closesocket(feed.tcp.listener);
    if (feed.udp.socket != INVALID_SOCKET)
        closesocket(feed.udp.socket);
    if (!feed.options.serialPort.empty() && feed.serial.port != INVALID_HANDLE_VALUE)
        CloseHandle(feed.serial.port);
    if (!feed.options.logFolder.empty())
        CloseSurveyLog(feed.log);
}

int main(int argc, char** argv)
{
    Feed feed{};
    feed.display = DisplaySource{.window = nullptr, .connectedSince = -1};
    feed.serial.port = INVALID_HANDLE_VALUE;
    feed.udp.socket = INVALID_SOCKET;
    feed.tcp.listener = INVALID_SOCKET;
    feed.lines = Schedule{.intervalMs = LineIntervalMs, .sent = false, .lastMs = 0, .last = {}};
    feed.logLines = Schedule{.intervalMs = LogIntervalMs, .sent = false, .lastMs = 0, .last = {}};
    int code = ParseOptions(argc, argv, feed.options);
    if (code >= 0)
        return code;
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0)
        return Fail(ExitPortInUse, "the socket library did not start");
    code = OpenOutputs(feed);
    if (code < 0)
        code = OpenSource(feed);
    if (code < 0) {
        stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
        Run(feed);
        code = ExitEnded;
    }
    Close(feed);
    WSACleanup();
    if (!feed.options.quiet)
        std::printf("\n");
    if (stopped != nullptr)
        SetEvent(stopped);
    return code;
}
