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

#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "console_writer.h"
#include "feed_logs.h"
#include "feed_options.h"
#include "feed_state.h"
#include "http_server.h"
#include "line_server.h"
#include "log_files.h"
#include "log_rows.h"
#include "network.h"
#include "polls.h"
#include "sources.h"
#include "system_text.h"
#include "udp_output.h"

// Windows ends a process this long after its console's close, a logoff or
// a shutdown, whatever its handler still does.
constexpr DWORD SystemCloseGraceMs = 5000;
// At the end, the rows still waiting get their last try for this long, and
// the console its last words.
constexpr int LogLastTryMs = 3000;
constexpr int ConsoleLastWordsMs = 1000;
// The handler holds the process while the feed closes: the two above fit
// in it, and it in the system's grace.
constexpr DWORD CloseHandlerWaitMs = 4500;
static_assert(LogLastTryMs + ConsoleLastWordsMs < CloseHandlerWaitMs && CloseHandlerWaitMs < SystemCloseGraceMs);
// select() returns at least this often when nothing comes: what is due by
// the clock (a stuck client, a name to look up) is seen to.
constexpr int NetworkWaitMs = 1000;

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

static const ConsoleOps StandardConsole = {.Write = WriteToConsole, .context = nullptr};

static FeedExitCode Fail(FeedExitCode code, const std::string& why)
{
    WriteToConsole(nullptr, true, why);
    return code;
}

static int64_t SystemUnixMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Ctrl+C, the console's close, a logoff and a shutdown arrive on a thread
// of their own, with nothing but these.
static struct {
    HANDLE stopping = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // set: the feed stops
    HANDLE ended = CreateEventA(nullptr, TRUE, FALSE, nullptr);     // set: what it opened is closed
    const FeedNetwork* network = nullptr;                            // woken, to see the stop at once
} stop;

static BOOL WINAPI OnConsoleEvent(DWORD event)
{
    SetEvent(stop.stopping);
    if (stop.network != nullptr)
        WakeNetwork(*stop.network);
    // Windows ends the process when this returns from a close: wait for the
    // feed to close the log and the sockets first.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        WaitForSingleObject(stop.ended, CloseHandlerWaitMs);
    return TRUE;
}

// The feed while it runs: each thing opened by Open and closed by Close,
// or by its own destructor on the way out after a failure.
class FeedProgram {
public:
    explicit FeedProgram(const FeedOptions& options);
    ~FeedProgram();
    // None when all opened; else the exit code, after saying why.
    std::optional<FeedExitCode> Open();
    void Run();
    // Closes what Open opened, all or part: the logs get their last try,
    // and what they could not write is said. False when a thread is still
    // held by the disk or the console: the process must then end without
    // waiting for it.
    bool Close();

private:
    std::optional<FeedExitCode> OpenOutputs();
    std::optional<FeedExitCode> OpenSource();
    void ShowStatus();
    static int64_t MonotonicNow(void*);
    static int64_t UtcNow(void* context);
    static bool PauseUnlessStopping(void*, int64_t ms);
    static void PostReading(void* context, const TimedReading& reading);
    static void Publish(void* context, const std::vector<std::string>& lines, const std::string& json, bool event);
    static void Say(void* context, const std::string& message);

    const FeedOptions& options_;
    int64_t clockOffsetMs_;  // from the wall clock to the feed's UTC clock (--clock)
    ConsoleWriter console_{StandardConsole};
    DisplaySource display_;
    SerialSource serial_;
    FeedSource source_{};
    FeedNetwork network_;
    FeedLogs logs_;
    FeedState state_{};
    std::mutex mailboxLock_;  // readings from the source thread, for the main thread
    std::deque<TimedReading> mailbox_;
};

FeedProgram::FeedProgram(const FeedOptions& options)
    : options_(options), clockOffsetMs_(options.clockGiven ? options.clockStartMs - SystemUnixMs() : 0)
{
}

FeedProgram::~FeedProgram()
{
    CloseSerialSource(serial_);
}

int64_t FeedProgram::MonotonicNow(void*)
{
    return static_cast<int64_t>(GetTickCount64());
}

int64_t FeedProgram::UtcNow(void* context)
{
    return SystemUnixMs() + static_cast<FeedProgram*>(context)->clockOffsetMs_;
}

bool FeedProgram::PauseUnlessStopping(void*, int64_t ms)
{
    return WaitForSingleObject(stop.stopping, static_cast<DWORD>(ms > 0 ? ms : 0)) == WAIT_TIMEOUT;
}

void FeedProgram::PostReading(void* context, const TimedReading& reading)
{
    FeedProgram& program = *static_cast<FeedProgram*>(context);
    {
        std::lock_guard<std::mutex> hold(program.mailboxLock_);
        program.mailbox_.push_back(reading);
    }
    WakeNetwork(program.network_);
}

void FeedProgram::Publish(void* context, const std::vector<std::string>& lines, const std::string& json, bool event)
{
    FeedProgram& program = *static_cast<FeedProgram*>(context);
    PublishToNetwork(program.network_, {lines, json, event}, program.state_.latest.monotonicMs);
}

void FeedProgram::Say(void* context, const std::string& message)
{
    static_cast<FeedProgram*>(context)->console_.Message(message);
}

std::optional<FeedExitCode> FeedProgram::OpenOutputs()
{
    std::string reason;
    if (!OpenWakeSocket(network_, reason))
        return Fail(ExitCannotOpen, "no socket on 127.0.0.1: " + reason);
    size_t maxClients = static_cast<size_t>(options_.maxClients);
    if (!options_.udpTargets.empty()) {
        auto udp = std::make_unique<UdpOutput>(options_.udpTargets, console_);
        if (!udp->Open(reason))
            return Fail(ExitCannotOpen, reason);
        network_.outputs.push_back(std::move(udp));
    }
    if (options_.lineServer) {
        auto lines = std::make_unique<LineServer>();
        if (!lines->Open(*options_.lineServer, maxClients, reason))
            return Fail(ExitCannotOpen, "cannot serve TCP on " + options_.lineServer->text + ": " + reason);
        network_.outputs.push_back(std::move(lines));
    }
    for (const Endpoint& endpoint : options_.webEndpoints) {
        auto web = std::make_unique<HttpServer>();
        if (!web->Open(endpoint, maxClients, options_.stationName, state_, reason))
            return Fail(ExitCannotOpen, "cannot serve the web page on " + endpoint.text + ": " + reason);
        network_.outputs.push_back(std::move(web));
    }
    if (!options_.logFolder.empty() &&
        !logs_.Open(Win32LogFiles, options_.logFolder, options_.casts, LogFileName(UtcFromUnixMs(UtcNow(this))),
                    [this](const std::string& text) { console_.Message(text); }, reason))
        return Fail(ExitLogFolder, reason);
    return std::nullopt;
}

// The source, chosen once.
std::optional<FeedExitCode> FeedProgram::OpenSource()
{
    if (options_.serialPort.empty()) {
        if (!options_.wait && !DisplayRunning())
            return Fail(ExitNoDisplay, "no Pulley Display is running (--wait waits for one)");
        display_ = DisplaySource{.console = &console_};
        source_ = DisplayFeedSource(display_);
        return std::nullopt;
    }
    serial_ = SerialSource{.name = options_.serialPort,
                           .baudRate = static_cast<DWORD>(options_.baudRate),
                           .staleAfterMs = static_cast<int64_t>(options_.staleAfterSeconds * 1000),
                           .reader = {.edgeTechFeet = options_.edgeTechFeet},
                           .console = &console_};
    std::string reason;
    if (!OpenSerialSource(serial_, reason))
        return Fail(ExitCannotOpen, "cannot read " + options_.serialPort + ": " + reason);
    source_ = SerialFeedSource(serial_);
    return std::nullopt;
}

std::optional<FeedExitCode> FeedProgram::Open()
{
    std::optional<FeedExitCode> failed = OpenOutputs();
    if (!failed)
        failed = OpenSource();
    if (failed)
        return failed;
    InitFeedState(state_, options_, {.Publish = Publish, .Say = Say, .context = this}, logs_.Writer(),
                  logs_.LastCastNumber(), logs_.ListedCasts());
    if (!options_.logFolder.empty()) {  // the trend of the last 24 hours, as the log has it
        int64_t started = MonotonicNow(nullptr);
        size_t rows = FillHistoryFromLog(state_.history, Win32LogFiles, options_.logFolder, UtcNow(this));
        if (rows > 0)
            console_.Message("the trend: " + std::to_string(rows) + " rows of the last 24 hours read back in " +
                             std::to_string(MonotonicNow(nullptr) - started) + " ms");
    }
    stop.network = &network_;
    return std::nullopt;
}

void FeedProgram::ShowStatus()
{
    const FeedReading& reading = state_.latest.reading;
    bool display = options_.serialPort.empty();
    std::string line = "\r";
    line.append(display ? "display" : options_.serialPort);
    if (display && options_.wait && reading.status == FeedStatus::NoDisplay)
        line.append(" (waiting)");
    line.append(": ").append(StatusWord(reading.status));
    if (HasCount(reading))
        line.append(" ").append(std::to_string(reading.metres)).append(" m");
    for (const std::string& part : {NetworkStatus(network_), options_.logFolder.empty() ? std::string()
                                                            : "log " + LogFileName(UtcFromUnixMs(state_.latest.utcMs))})
        if (!part.empty())
            line.append(", ").append(part);
    console_.Status(line.append("    "));
}

void FeedProgram::Run()
{
    FeedClock clock{.MonotonicMs = MonotonicNow, .UtcMs = UtcNow, .Pause = PauseUnlessStopping, .context = this};
    std::thread polls(RunPolls, source_, clock, PostReading, this);
    while (WaitForSingleObject(stop.stopping, 0) == WAIT_TIMEOUT) {
        ServeNetwork(network_, NetworkWaitMs);
        std::deque<TimedReading> readings;
        {
            std::lock_guard<std::mutex> hold(mailboxLock_);
            readings.swap(mailbox_);
        }
        for (const TimedReading& reading : readings) {
            TakeReading(state_, reading);
            if (!options_.quiet)
                ShowStatus();
        }
    }
    polls.join();
}

bool FeedProgram::Close()
{
    EndFeedState(state_);
    bool logEnded = true;
    uint64_t unwritten = logs_.Close(LogLastTryMs, logEnded);
    if (unwritten > 0)
        console_.Message(std::to_string(unwritten) + " rows could not be written to the log in " + options_.logFolder);
    stop.network = nullptr;
    network_.outputs.clear();
    CloseSerialSource(serial_);
    if (!options_.quiet)
        console_.Status("\n");
    return console_.Finish(ConsoleLastWordsMs) && logEnded;
}

// The socket library, started and released by its one owner.
struct SocketLibrary {
    bool started;
    SocketLibrary()
    {
        WSADATA winsock;
        started = WSAStartup(MAKEWORD(2, 2), &winsock) == 0;
    }
    ~SocketLibrary()
    {
        if (started)
            WSACleanup();
    }
};

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
    FeedOptions options;
    if (std::optional<FeedExitCode> code = ParseFeedOptions(argc, argv.data(), options))
        return *code;
    SocketLibrary sockets;
    if (!sockets.started)
        return Fail(ExitCannotOpen, "the socket library did not start");
    auto program = std::make_unique<FeedProgram>(options);
    std::optional<FeedExitCode> failed = program->Open();
    if (!failed) {
        SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
        program->Run();
    }
    bool closedInTime = program->Close();
    SetEvent(stop.ended);
    FeedExitCode code = failed.value_or(ExitEnded);
    // A thread still held by a hung disk or console holds what it belongs
    // to: end here, before anything is destroyed under it.
    if (!closedInTime)
        ExitProcess(code);
    return code;
}
