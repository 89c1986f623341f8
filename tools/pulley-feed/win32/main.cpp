// pulley-feed: takes the count from the running display (or from another
// display's relay line on a serial port) and shares it on the network, as
// UDP datagrams, on a TCP line server and on a live web page, and in a
// survey log of one CSV file a day. docs/integration.md describes them.
//
// Four threads, so that nothing slow holds the lines: the source thread
// polls the display or the serial port every 250 ms; the main thread serves
// the network and makes the lines and rows from each reading; the log and
// the console are written by threads of their own. It runs in a console,
// in the notification area (--tray), or as a service (--service).
#include <winsock2.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "autostart.h"
#include "command_pipe.h"
#include "config_place.h"
#include "cruise_source.h"
#include "running/console_writer.h"
#include "running/feed_logs.h"
#include "settings/feed_options.h"
#include "feed_service.h"
#include "running/feed_state.h"
#include "feed_stop.h"
#include "http_server.h"
#include "line_server.h"
#include "log_files.h"
#include "record/survey_rows.h"
#include "resource.h"
#include "network.h"
#include "running/polls.h"
#include "sources.h"
#include "system_text.h"
#include "tension_source.h"
#include "tray_icon.h"
#include "udp_output.h"

// At the end, the rows still waiting get their last try for this long, and
// the console its last words: within the wait of those that hold the
// process open for the close.
constexpr int LogLastTryMs = 3000;
constexpr int ConsoleLastWordsMs = 1000;
static_assert(LogLastTryMs + ConsoleLastWordsMs < CloseHandlerWaitMs && CloseHandlerWaitMs < SystemCloseGraceMs);
// select() returns at least this often when nothing comes: what is due by
// the clock (a stuck client, a name to look up) is seen to.
constexpr int NetworkWaitMs = 1000;
// The load cell's lines waiting for the feed's thread, at most: a flood
// beyond it loses its oldest lines, said at most once a minute.
constexpr size_t MostTensionLinesWaiting = 4096;
constexpr int64_t TensionDropSayEveryMs = 60000;

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

// Started by a double-click, the feed has a console of its own, which
// closes as it ends: what it said must wait there to be read.
static void HoldOwnConsole()
{
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1)
        return;
    WriteToConsole(nullptr, true, "press a key to close this window");
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    FlushConsoleInputBuffer(input);
    INPUT_RECORD record;
    DWORD read;
    while (ReadConsoleInputW(input, &record, 1, &read) && read == 1 &&
           !(record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown)) {
    }
}

static int64_t SystemUnixMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Ctrl+C, the console's close, a logoff and a shutdown arrive on a thread
// of their own.
static BOOL WINAPI OnConsoleEvent(DWORD event)
{
    RequestFeedStop();
    // Windows ends the process when this returns from a close: wait for the
    // feed to close the log and the sockets first.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        AwaitFeedEnd(CloseHandlerWaitMs);
    return TRUE;
}

// The feed while it runs: each thing opened by Open and closed by Close,
// or by its own destructor on the way out after a failure.
class FeedProgram {
public:
    // The tray, when there is one, shows the status and the alarms raised.
    FeedProgram(const FeedOptions& options, const ConsoleOps& console, TrayIcon* tray);
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
    std::optional<FeedExitCode> OpenTension();
    FeedExitCode Fail(FeedExitCode code, const std::string& why);
    void ShowStatus();
    void NotifyAlarmsRaised();
    static int64_t MonotonicNow(void*);
    static int64_t UtcNow(void* context);
    static bool PauseUnlessStopping(void*, int64_t ms);
    static void PostReading(void* context, const TimedReading& reading);
    void PostTension(std::vector<std::string>&& lines);
    void TakeTensionLines();
    static void Publish(void* context, const std::vector<std::string>& lines, const std::string& json, bool event);
    static void Say(void* context, const std::string& message);
    CommandAnswer Ask(const FeedCommand& command);
    void RunCommands();
    static CommandAnswer RunOnFeed(void* context, const FeedCommand& command);
    static std::string WireLogNow(void* context);
    std::optional<FeedExitCode> OpenRecord(RecordAtStart& record);

    const FeedOptions& options_;
    int64_t clockOffsetMs_;  // from the wall clock to the feed's UTC clock (--clock)
    ConsoleWriter console_;
    TrayIcon* tray_;
    std::set<int> alarmsNotified_;
    DisplaySource display_;
    SerialSource serial_;
    FeedSource source_{};
    FeedNetwork network_;
    FeedLogs logs_;
    LogFileNames logNames_;  // the files the logs opened at start
    FeedState state_{};
    std::mutex mailboxLock_;  // readings from the source thread, and commands, for the main thread
    std::deque<TimedReading> mailbox_;
    struct AskedCommand {
        FeedCommand command;
        std::promise<CommandAnswer> answer;
    };
    std::deque<std::shared_ptr<AskedCommand>> commands_;
    struct TensionLineCame {
        std::string line;
        int64_t monotonicMs, utcMs;
    };
    std::deque<TensionLineCame> tensionLines_;  // in the mailbox too
    uint64_t tensionLinesDropped_ = 0;          // since said
    int64_t tensionDropSaidMs_ = -TensionDropSayEveryMs;
    TensionSource tension_;
    CommandPipe pipe_;
    CruiseSource cruiseSource_;
};

// A command waits this long for the feed's thread to answer it.
constexpr int CommandAnswerMs = 5000;

FeedProgram::FeedProgram(const FeedOptions& options, const ConsoleOps& console, TrayIcon* tray)
    : options_(options), clockOffsetMs_(options.clockGiven ? options.clockStartMs - SystemUnixMs() : 0),
      console_(console), tray_(tray)
{
}

FeedExitCode FeedProgram::Fail(FeedExitCode code, const std::string& why)
{
    console_.Message(why);
    return code;
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
    return PauseUnlessFeedStops(static_cast<DWORD>(ms > 0 ? ms : 0));
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

// The lines wait for the next reading's wake (four a second): 20 wakes a
// second more would cost the feed more than the lines themselves.
void FeedProgram::PostTension(std::vector<std::string>&& lines)
{
    int64_t monotonicMs = MonotonicNow(nullptr), utcMs = UtcNow(this);
    std::lock_guard<std::mutex> hold(mailboxLock_);
    for (std::string& line : lines)
        tensionLines_.push_back({std::move(line), monotonicMs, utcMs});
    for (; tensionLines_.size() > MostTensionLinesWaiting; tensionLinesDropped_++)
        tensionLines_.pop_front();
}

void FeedProgram::TakeTensionLines()
{
    std::deque<TensionLineCame> lines;
    uint64_t dropped = 0;
    {
        std::lock_guard<std::mutex> hold(mailboxLock_);
        lines.swap(tensionLines_);
        if (MonotonicNow(nullptr) - tensionDropSaidMs_ >= TensionDropSayEveryMs)
            dropped = std::exchange(tensionLinesDropped_, 0);
    }
    for (const TensionLineCame& came : lines)
        TakeTension(state_, came.line, came.monotonicMs, came.utcMs);
    if (dropped > 0) {
        tensionDropSaidMs_ = MonotonicNow(nullptr);
        console_.Message("the load cell sent more lines than the feed could take: " + std::to_string(dropped) +
                         " were dropped");
    }
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

// From the pipe's and OpenVDM's threads: run on the feed's thread, answered.
CommandAnswer FeedProgram::Ask(const FeedCommand& command)
{
    auto asked = std::make_shared<AskedCommand>(AskedCommand{command, {}});
    std::future<CommandAnswer> answer = asked->answer.get_future();
    {
        std::lock_guard<std::mutex> hold(mailboxLock_);
        commands_.push_back(asked);
    }
    WakeNetwork(network_);
    if (answer.wait_for(std::chrono::milliseconds(CommandAnswerMs)) != std::future_status::ready)
        return {false, "the feed did not answer in time"};
    return answer.get();
}

void FeedProgram::RunCommands()
{
    std::deque<std::shared_ptr<AskedCommand>> asked;
    {
        std::lock_guard<std::mutex> hold(mailboxLock_);
        asked.swap(commands_);
    }
    for (const auto& command : asked)
        command->answer.set_value(RunOnFeed(this, command->command));
}

CommandAnswer FeedProgram::RunOnFeed(void* context, const FeedCommand& command)
{
    FeedProgram& program = *static_cast<FeedProgram*>(context);
    return RunCommand(program.state_, command, MonotonicNow(nullptr), UtcNow(context));
}

// The wire log as it stands: every cast in the cruise's casts, and the book.
std::string FeedProgram::WireLogNow(void* context)
{
    FeedProgram& program = *static_cast<FeedProgram*>(context);
    std::vector<CastRecord> casts;
    std::string reason;
    if (!ReadCasts(Win32LogFiles, FilePath(program.options_.logFolder, CastsFileOf(program.state_)), casts, reason))
        program.console_.Message("the wire log reads casts.csv: " + reason);
    return BuildWireLog(WireLogHeadOf(program.options_), casts, program.state_.wire, 0);
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
        if (!web->Open(endpoint, maxClients, options_.stationName, state_,
                       {.token = options_.writeToken, .markButtons = options_.markButtons},
                       {.Run = RunOnFeed, .WireLog = WireLogNow, .Say = Say, .context = this}, reason))
            return Fail(ExitCannotOpen, "cannot serve the web page on " + endpoint.text + ": " + reason);
        network_.outputs.push_back(std::move(web));
    }
    if (options_.logFolder.empty())
        return std::nullopt;
    logNames_ = LogFilesAtStart(Win32LogFiles, options_.logFolder, options_.cruise, options_.layout, UtcNow(this),
                                ReadsTension(options_));
    if (!logs_.Open(Win32LogFiles, options_.logFolder, options_.casts, logNames_,
                    [this](const std::string& text) { console_.Message(text); }, reason, FolderOfFile(options_.wireBook)))
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
        return OpenTension();
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
    return OpenTension();
}

// The load cell's monitor, when one is read.
std::optional<FeedExitCode> FeedProgram::OpenTension()
{
    std::string reason;
    if (ReadsTension(options_) &&
        !tension_.Open(options_.tensionPort, static_cast<DWORD>(options_.tensionBaud),
                       static_cast<int>(options_.tensionUdpPort),
                       [this](std::vector<std::string>&& lines) { PostTension(std::move(lines)); },
                       [this](const std::string& text) { console_.Message(text); }, reason))
        return Fail(ExitCannotOpen, "cannot read the tension: " + reason);
    return std::nullopt;
}

std::optional<FeedExitCode> FeedProgram::Open()
{
    RecordAtStart record;
    std::optional<FeedExitCode> failed = OpenOutputs();
    if (!failed)
        failed = OpenSource();
    if (!failed)
        failed = OpenRecord(record);
    if (failed)
        return failed;
    InitFeedState(state_, options_, {.Publish = Publish, .Say = Say, .context = this}, logs_.Writer(), record);
    StartCruiseFolder(state_, logNames_.periodMs);
    if (!options_.station.empty() && options_.station != record.lastStation && !options_.logFolder.empty())
        RunOnFeed(this, {{"station", options_.station}, "local"});
    std::string reason;
    if (!pipe_.Open([this](const FeedCommand& command) { return Ask(command); }, reason))
        console_.Message("pulley-remote cannot reach this feed: " + reason);
    if (!options_.cruiseFrom.empty())
        cruiseSource_.Open(options_.cruiseFrom, [this](const FeedCommand& command) { return Ask(command); },
                           [this](const std::string& text) { console_.Message(text); });
    if (!options_.logFolder.empty()) {  // the trend of the last 24 hours, as the log has it
        int64_t started = MonotonicNow(nullptr), now = UtcNow(this);
        size_t rows = options_.layout.on
                          ? FillHistoryFromFiles(state_.history, Win32LogFiles,
                                                 CountFilesSince(Win32LogFiles,
                                                                 FilePath(options_.logFolder, PulleyFolder(state_.cruise)),
                                                                 options_.layout, now - HistorySeconds * 1000),
                                                 now)
                          : FillHistoryFromLog(state_.history, Win32LogFiles, options_.logFolder, now);
        if (rows > 0)
            console_.Message("the trend: " + std::to_string(rows) + " rows of the last 24 hours read back in " +
                             std::to_string(MonotonicNow(nullptr) - started) + " ms");
    }
    WatchNetworkForStop(&network_);
    return std::nullopt;
}

// What the log folder holds of the cruise's record: the casts to number on
// from, the station last set, and the wire book.
std::optional<FeedExitCode> FeedProgram::OpenRecord(RecordAtStart& record)
{
    record.lastCastNumber = logs_.LastCastNumber();
    record.listed = logs_.ListedCasts();
    if (options_.logFolder.empty())
        return std::nullopt;
    record.lastStation = LastStation(Win32LogFiles, FilePath(options_.logFolder, logNames_.events));
    record.files = &Win32LogFiles;
    record.cruiseStartMs = logNames_.cruiseStartMs;
    record.version = PULLEY_VERSION_TEXT;
    WireBook book;
    std::string reason;
    if (!ReadWireBook(Win32LogFiles, options_.wireBook, book, reason))
        return Fail(ExitLogFolder, "cannot read the wire book " + options_.wireBook + ": " + reason);
    record.wireBook = book;
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
    std::string logFile = options_.layout.on ? CruiseFile(options_.layout, state_.cruise, CountFiles,
                                                          PeriodStartMs(options_.layout, state_.latest.utcMs))
                                             : LogFileName(UtcFromUnixMs(state_.latest.utcMs));
    for (const std::string& part : {NetworkStatus(network_), options_.logFolder.empty() ? std::string() : "log " + logFile})
        if (!part.empty())
            line.append(", ").append(part);
    if (tray_ != nullptr)
        tray_->SetStatus(line.substr(1));
    else
        console_.Status(line.append("    "));
}

// Each alarm once as it is raised: the icon's notification.
void FeedProgram::NotifyAlarmsRaised()
{
    std::set<int> standing;
    for (const RaisedAlarm& alarm : RaisedAlarms(state_.alarms)) {
        standing.insert(alarm.id);
        if (alarmsNotified_.count(alarm.id) == 0)
            tray_->Notify(options_.stationName, alarm.text);
    }
    alarmsNotified_.swap(standing);
}

void FeedProgram::Run()
{
    FeedClock clock{.MonotonicMs = MonotonicNow, .UtcMs = UtcNow, .Pause = PauseUnlessStopping, .context = this};
    std::thread polls(RunPolls, source_, clock, PostReading, this);
    while (!FeedStopAsked()) {
        ServeNetwork(network_, NetworkWaitMs);
        std::deque<TimedReading> readings;
        {
            std::lock_guard<std::mutex> hold(mailboxLock_);
            readings.swap(mailbox_);
        }
        TakeTensionLines();
        for (const TimedReading& reading : readings) {
            TakeReading(state_, reading);
            if (!options_.quiet || tray_ != nullptr)
                ShowStatus();
            if (tray_ != nullptr)
                NotifyAlarmsRaised();
        }
        RunCommands();
    }
    polls.join();
}

bool FeedProgram::Close()
{
    RunCommands();  // those asked as the feed stopped: answered, so that no one waits
    pipe_.Close();
    cruiseSource_.Close();
    tension_.Close();
    RunCommands();
    EndFeedState(state_);
    bool logEnded = true;
    uint64_t unwritten = logs_.Close(LogLastTryMs, logEnded);
    if (unwritten > 0)
        console_.Message(std::to_string(unwritten) + " rows could not be written to the log in " + options_.logFolder);
    WatchNetworkForStop(nullptr);
    network_.outputs.clear();
    CloseSerialSource(serial_);
    if (!options_.quiet && tray_ == nullptr)
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

// The feed from its options to its end: the exit code.
static FeedExitCode RunFeed(const FeedOptions& options, const ConsoleOps& console, TrayIcon* tray)
{
    SocketLibrary sockets;
    if (!sockets.started)
        return SayEnded(console, ExitCannotOpen, "the socket library did not start");
    auto program = std::make_unique<FeedProgram>(options, console, tray);
    std::optional<FeedExitCode> failed = program->Open();
    if (!failed)
        program->Run();
    bool closedInTime = program->Close();
    FeedEnded();
    FeedExitCode code = failed.value_or(ExitEnded);
    // A thread still held by a hung disk or console holds what it belongs
    // to: end here, before anything is destroyed under it.
    if (!closedInTime)
        ExitProcess(code);
    return code;
}

// In the notification area: no console; what would have been said there
// is kept for the icon's Status..., and a failure to start is shown.
static FeedExitCode RunInTray(const FeedOptions& options)
{
    FreeConsole();
    TrayIcon tray(options);
    std::string reason;
    if (!tray.Open(reason)) {
        MessageBoxW(nullptr, Utf16("pulley-feed cannot show its icon: " + reason).c_str(), L"pulley-feed",
                    MB_OK | MB_ICONERROR);
        return ExitCannotOpen;
    }
    FeedExitCode code = RunFeed(options, tray.Messages(), &tray);
    if (code != ExitEnded)
        tray.ShowFailure();
    tray.Close();
    return code;
}

// The wire log, written to the file --wire-log names, from the log folder's
// casts (casts.csv, or the cruise folder's) and the wire book.
static FeedExitCode WriteWireLog(const FeedOptions& options)
{
    WireBook book;
    std::vector<CastRecord> casts;
    std::string reason;
    LogFileNames names =
        LogFilesAtStart(Win32LogFiles, options.logFolder, options.cruise, options.layout, SystemUnixMs());
    if (!ReadWireBook(Win32LogFiles, options.wireBook, book, reason) ||
        !ReadCasts(Win32LogFiles, FilePath(options.logFolder, names.casts), casts, reason))
        return SayEnded(StandardConsole, ExitLogFolder, "cannot read the cruise's record: " + reason);
    std::string log = BuildWireLog(WireLogHeadOf(options), casts, book, options.wireLogSinceMs);
    HANDLE file = CreateFileW(Utf16(options.wireLog).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool wrote = file != INVALID_HANDLE_VALUE &&
                 WriteFile(file, log.data(), static_cast<DWORD>(log.size()), &written, nullptr) && written == log.size();
    DWORD error = GetLastError();
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!wrote)
        return SayEnded(StandardConsole, ExitLogFolder, "cannot write " + options.wireLog + ": " + SystemMessage(error));
    return SayEnded(StandardConsole, ExitEnded,
                    "the wire log is in " + options.wireLog + ": " + std::to_string(casts.size()) + " casts, " +
                        std::to_string(book.entries.size()) + " wire book entries");
}

// What the settings ask: to run, or to set up how the feed is started.
static FeedExitCode Dispatch(const FeedOptions& options, const ConfigPlace& config)
{
    if (!options.wireLog.empty())
        return WriteWireLog(options);
    if (!options.autostart.empty())
        return Autostart(options.autostart, config, StandardConsole);
    if (options.service == "install")
        return InstallFeedService(config, StandardConsole);
    if (options.service == "remove")
        return RemoveFeedService(StandardConsole);
    if (options.service == "run")
        return RunFeedService([&options](const ConsoleOps& messages) { return RunFeed(options, messages, nullptr); },
                              options.logFolder, StandardConsole);
    if (options.tray)
        return RunInTray(options);
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    return RunFeed(options, StandardConsole, nullptr);
}

// Undoing what was set up needs no settings, nor settings that read: a
// mistake in the file must not keep a service or a start at logon.
static std::optional<FeedExitCode> Undo(const std::vector<ToolArg>& commandLine)
{
    std::vector<std::string> words;
    for (size_t i = 0; i < commandLine.size(); i++)
        if (commandLine[i].text == "--config")
            i++;  // the file is not read
        else
            words.push_back(commandLine[i].text);
    if (words == std::vector<std::string>{"--service", "remove"})
        return RemoveFeedService(StandardConsole);
    if (words == std::vector<std::string>{"--autostart", "off"} || words == std::vector<std::string>{"--autostart"})
        return Autostart(words.size() == 1 ? "ask" : "off", ConfigPlace{}, StandardConsole);
    return std::nullopt;
}

// What the service manager starts: a service has no console, so what it
// would say goes where a service's messages go, with its exit code.
static bool StartedAsService(const std::vector<ToolArg>& commandLine)
{
    for (size_t i = 0; i + 1 < commandLine.size(); i++)
        if (commandLine[i].text == "--service" && commandLine[i + 1].text == "run")
            return true;
    return false;
}

// The folder a service's messages go to: the log folder the settings name,
// else the settings file's.
static std::string MessagesFolder(const std::vector<ToolArg>& args, const ConfigPlace& config)
{
    std::string folder;
    for (size_t i = 0; i + 1 < args.size(); i++)
        if (args[i].text == "--log")
            folder = args[i + 1].text;
    if (folder.empty() && !config.file.empty())
        folder = Utf8(config.file.substr(0, config.file.find_last_of(L"\\/")));
    return folder;
}

// What a service would have said, kept to be said as the service.
static void KeepSaid(void* context, bool, const std::string& text)
{
    std::string& said = *static_cast<std::string*>(context);
    said += (said.empty() ? "" : "; ") + text;
}

// The command line as UTF-16, so that a station's name or a folder in any
// script reaches the page and the disk as typed, whatever the code page.
int wmain(int argc, wchar_t** wideArgv)
{
    std::vector<ToolArg> commandLine;
    for (int i = 1; i < argc; i++)
        commandLine.push_back({.text = Utf8(wideArgv[i]), .origin = ""});
    std::optional<FeedExitCode> code = Undo(commandLine);
    if (code)
        return *code;
    bool service = StartedAsService(commandLine);
    std::string said;
    ConsoleOps console = service ? ConsoleOps{.Write = KeepSaid, .context = &said} : StandardConsole;
    ConfigPlace config;
    std::string reason;
    std::vector<ToolArg> args;
    if (!ReadConfigPlace(commandLine, config, args, reason)) {
        console.Write(console.context, true, reason);
        code = ExitUsage;
    }
    FeedOptions options;
    if (!code)
        code = ParseFeedOptions(args, options, console);
    options.wireBook = WireBookPath(config);
    if (code && service)  // the settings failed: the service starts to say so, and stops
        return RunFeedService([&](const ConsoleOps& messages) { return SayEnded(messages, *code, said); },
                              MessagesFolder(args, config), StandardConsole);
    if (!code)
        code = Dispatch(options, config);
    if (*code != ExitEnded && !options.tray && !service)
        HoldOwnConsole();
    return *code;
}
