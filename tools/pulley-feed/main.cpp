// pulley-feed: takes the count from the running display (or from another
// display's relay line on a serial port) and shares it on the network, as
// UDP datagrams, on a TCP line server and on a live web page, and in a
// survey log of one CSV file a day. docs/integration.md describes them.
//
// Four threads, so that nothing slow holds the lines: the source thread
// polls the display or the serial port every 250 ms; the main thread serves
// the network and makes the lines and rows from each reading; the log and
// the console are written by threads of their own.
#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "console_writer.h"
#include "feed_options.h"
#include "feed_loop.h"
#include "log_files.h"
#include "log_writer.h"
#include "network.h"
#include "sources.h"
#include "system_text.h"

// The text is UTF-8: a console is written in UTF-16, whatever its code
// page; a pipe or a file gets the UTF-8.
static void WriteToConsole(void*, bool message, const std::string& text)
{
    std::string line = message ? "pulley-feed: " + text + "\n" : text;
    HANDLE output = GetStdHandle(message ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode, written;
    if (GetConsoleMode(output, &mode)) {
        std::wstring wide = Utf16(line);
        WriteConsoleW(output, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
}

static int Fail(int code, const std::string& why)
{
    WriteToConsole(nullptr, true, why);
    return code;
}

static int64_t SystemUnixMs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    int64_t ticks = (static_cast<int64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;  // 100 ns since 1601
    return ticks / 10000 - 11644473600000LL;
}

// Readings from the source thread, for the main thread.
struct ReadingMailbox {
    std::mutex lock;
    std::deque<TimedReading> readings;
};

struct FeedProgram {
    FeedOptions options;
    int64_t clockOffsetMs;  // from the wall clock to the feed's UTC clock (--clock)
    HANDLE stopping;  // set by Ctrl+C or the console closing
    DisplaySource display;
    SerialSource serial;
    FeedSource source;
    FeedNetwork network;
    SurveyLog log;
    CastLog casts;
    int lastCastNumber;
    LogWriter* logWriter;
    ConsoleWriter* console;
    FeedLoop loop;
    ReadingMailbox mailbox;
};

// Ctrl+C and the console's close arrive on a thread of their own.
static FeedProgram* running;
static HANDLE ended;

static BOOL WINAPI OnConsoleEvent(DWORD event)
{
    SetEvent(running->stopping);
    WakeNetwork(running->network);
    // Windows ends the process when this returns from a close: wait for the
    // feed to close the log and the sockets first.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(ended, 4500);
    return TRUE;
}

static int64_t MonotonicNow(void*)
{
    return static_cast<int64_t>(GetTickCount64());
}

static int64_t UtcNow(void* context)
{
    return SystemUnixMs() + static_cast<FeedProgram*>(context)->clockOffsetMs;
}

static bool PauseUnlessStopping(void* context, int64_t ms)
{
    HANDLE stopping = static_cast<FeedProgram*>(context)->stopping;
    return WaitForSingleObject(stopping, static_cast<DWORD>(ms > 0 ? ms : 0)) == WAIT_TIMEOUT;
}

static void PostReading(void* context, const TimedReading& reading)
{
    FeedProgram& program = *static_cast<FeedProgram*>(context);
    {
        std::lock_guard<std::mutex> hold(program.mailbox.lock);
        program.mailbox.readings.push_back(reading);
    }
    WakeNetwork(program.network);
}

static void Publish(void* context, const std::vector<std::string>& lines, const std::string& json, bool event)
{
    FeedProgram& program = *static_cast<FeedProgram*>(context);
    PublishToNetwork(program.network, lines, json, event, program.loop.latest.monotonicMs);
}

static void Say(void* context, const std::string& message)
{
    static_cast<FeedProgram*>(context)->console->Message(message);
}

static const ConsoleOps StandardConsole = {.Write = WriteToConsole, .context = nullptr};

// A receiver has nothing to say: more than this in a second is a flood.
constexpr size_t MostLineInputPerSecond = 4096;

// The address to listen on: every interface, or one of this computer's.
static bool ListenAddress(const Endpoint& endpoint, sockaddr_in& address, std::string& reason)
{
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    if (endpoint.host.empty() || inet_pton(AF_INET, endpoint.host.c_str(), &address.sin_addr) == 1)
        return true;
    reason = endpoint.host + " is not an address of this computer";
    return false;
}

static int OpenOutputs(FeedProgram& program)
{
    const FeedOptions& options = program.options;
    std::string reason;
    if (!OpenWakeSocket(program.network, reason))
        return Fail(ExitPortInUse, "no socket on 127.0.0.1: " + reason);
    if (!options.udpTargets.empty() && !OpenUdp(program.network.udp, options.udpTargets, *program.console, reason))
        return Fail(ExitPortInUse, reason);
    sockaddr_in address;
    for (const Endpoint& tcp : options.tcpEndpoints)
        if (!ListenAddress(tcp, address, reason) ||
            !OpenTcpServer(program.network.lines, address, static_cast<size_t>(options.maxClients),
                           MostLineInputPerSecond, {.Received = nullptr, .context = nullptr}, reason))
            return Fail(ExitPortInUse, "cannot serve TCP on " + tcp.text + ": " + reason);
    for (const Endpoint& web : options.webEndpoints) {
        program.network.webs.push_back(std::make_unique<HttpServer>());
        if (!ListenAddress(web, address, reason) ||
            !OpenHttpServer(*program.network.webs.back(), address, static_cast<size_t>(options.maxClients),
                            options.stationName, reason))
            return Fail(ExitPortInUse, "cannot serve the web page on " + web.text + ": " + reason);
    }
    if (!options.logFolder.empty() &&
        !OpenSurveyLog(program.log, Win32LogFiles, options.logFolder,
                       LogFileName(UtcFromUnixMs(UtcNow(&program))), reason))
        return Fail(ExitLogFolder, "cannot write the log in " + options.logFolder + ": " + reason);
    if (options.casts && !OpenCastLog(program.casts, Win32LogFiles, options.logFolder, program.lastCastNumber, reason))
        return Fail(ExitLogFolder, "cannot write casts.csv in " + options.logFolder + ": " + reason);
    return -1;
}

// The source, chosen once.
static int OpenSource(FeedProgram& program)
{
    const FeedOptions& options = program.options;
    if (options.serialPort.empty()) {
        if (!options.wait && !DisplayRunning())
            return Fail(ExitNoDisplay, "no Pulley Display is running (--wait waits for one)");
        program.source = DisplayFeedSource(program.display);
        return -1;
    }
    std::string reason;
    if (!OpenSerialSource(program.serial, reason))
        return Fail(ExitPortInUse, "cannot read " + options.serialPort + ": " + reason);
    program.source = SerialFeedSource(program.serial);
    return -1;
}

static void ShowStatus(FeedProgram& program)
{
    const FeedOptions& options = program.options;
    const FeedReading& reading = program.loop.latest.reading;
    char count[24] = "";
    if (HasCount(reading))
        std::snprintf(count, sizeof count, " %ld m", static_cast<long>(reading.metres));
    char line[200];
    size_t webClients = 0;
    for (const auto& web : program.network.webs)
        webClients += web->tcp.clients.size();
    std::snprintf(line, sizeof line, "\r%s%s: %s%s, %zu TCP clients, %zu web, %llu datagrams%s%s    ",
                  options.serialPort.empty() ? "display" : options.serialPort.c_str(),
                  options.serialPort.empty() && options.wait && reading.status == FeedStatus::NoDisplay ? " (waiting)"
                                                                                                       : "",
                  StatusWord(reading.status), count, program.network.lines.clients.size(), webClients,
                  static_cast<unsigned long long>(program.network.udp.sent),
                  options.logFolder.empty() ? "" : ", log ",
                  options.logFolder.empty() ? "" : LogFileName(UtcFromUnixMs(program.loop.latest.utcMs)).c_str());
    program.console->Status(line);
}

static void Run(FeedProgram& program)
{
    FeedClock clock{.MonotonicMs = MonotonicNow, .UtcMs = UtcNow, .Pause = PauseUnlessStopping, .context = &program};
    std::thread polls(RunPolls, program.source, clock, PostReading, &program);
    while (WaitForSingleObject(program.stopping, 0) == WAIT_TIMEOUT) {
        ServeNetwork(program.network, 1000);
        std::deque<TimedReading> readings;
        {
            std::lock_guard<std::mutex> hold(program.mailbox.lock);
            readings.swap(program.mailbox.readings);
        }
        for (const TimedReading& reading : readings) {
            TakeReading(program.loop, reading);
            if (!program.options.quiet)
                ShowStatus(program);
        }
    }
    polls.join();
}

// Ends what Run began: the log gets its last try, and what it could not
// write is said. False when a thread is still held by the disk or the
// console: the process must then end without waiting for it.
static bool Close(FeedProgram& program)
{
    bool logEnded = true;
    EndFeedLoop(program.loop);
    if (program.logWriter != nullptr) {
        uint64_t unwritten = program.logWriter->Finish(3000, logEnded);
        if (unwritten > 0)
            program.console->Message(std::to_string(unwritten) + " rows could not be written to the log in " +
                                     program.options.logFolder);
    }
    CloseNetwork(program.network);
    CloseSerialSource(program.serial);
    if (!program.options.quiet)
        program.console->Status("\n");
    return program.console->Finish(1000) && logEnded;
}

// The command line as UTF-16, so that a station's name or a folder in any
// script reaches the page and the disk as typed, whatever the code page.
int wmain(int argc, wchar_t** wideArgv)
{
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; i++)
        arguments.push_back(Utf8(wideArgv[i]));
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    static FeedProgram program;
    program.network.wake = INVALID_SOCKET;
    program.network.udp.socket = INVALID_SOCKET;
    program.network.lines.listener = INVALID_SOCKET;
    program.serial.port = INVALID_HANDLE_VALUE;
    int code = ParseFeedOptions(argc, argv.data(), program.options);
    if (code >= 0)
        return code;
    const FeedOptions& options = program.options;
    program.clockOffsetMs = options.clockGiven ? options.clockStartMs - SystemUnixMs() : 0;
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0)
        return Fail(ExitPortInUse, "the socket library did not start");
    ConsoleWriter console(StandardConsole);
    program.console = &console;
    program.stopping = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    program.display = DisplaySource{.window = nullptr, .denied = false, .console = &console};
    program.serial = SerialSource{.name = options.serialPort,
                                  .baudRate = static_cast<DWORD>(options.baudRate),
                                  .staleAfterMs = static_cast<int64_t>(options.staleAfterSeconds * 1000),
                                  .port = INVALID_HANDLE_VALUE,
                                  .reader = {.edgeTechFeet = options.edgeTechFeet, .partial = "", .lastWasEdgeTech = false},
                                  .last = {FeedStatus::NoData, 0},
                                  .lineSeen = false,
                                  .lastLineMs = 0,
                                  .reopenAtMs = 0,
                                  .console = &console};
    code = OpenOutputs(program);
    if (code < 0)
        code = OpenSource(program);
    bool closedInTime = true;
    if (code < 0) {
        LogWriter* log = nullptr;
        if (!options.logFolder.empty())
            log = new LogWriter(program.log, options.casts ? &program.casts : nullptr,
                                [&console](const std::string& text) { console.Message(text); });
        program.logWriter = log;
        InitFeedLoop(program.loop, options, {.Publish = Publish, .Say = Say, .context = &program}, log,
                     program.lastCastNumber);
        running = &program;
        SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
        Run(program);
        code = ExitEnded;
        closedInTime = Close(program);
        if (closedInTime)
            delete log;
    } else {
        CloseNetwork(program.network);
        console.Finish(1000);
    }
    WSACleanup();
    SetEvent(ended);
    // A thread still held by a hung disk or console holds the writer it
    // belongs to: end here, before anything is destroyed under it.
    if (!closedInTime)
        ExitProcess(static_cast<UINT>(code));
    return code;
}
