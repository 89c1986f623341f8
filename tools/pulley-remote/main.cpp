// pulley-remote: reads the count or the state of a running Pulley Display,
// or resets the count, for scripts and as the reference for integrators
// (docs/integration.md); and puts marks, acknowledgements, the station and
// the wire book's entries into a running pulley-feed's record.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "shared_constants.h"
#include "system_text.h"
#include "tool_args.h"

enum ExitCode {
    ExitOk = 0,
    ExitUsage = 1,
    ExitNoDisplay = 2,  // no window of class "PULLEY"; no pulley-feed, for its commands
    ExitTimedOut = 3,   // the display (or the feed) did not answer in time (busy or hung)
    ExitRefused = 4,    // the display answered the reset with 0; the feed refused, and said why
    ExitDenied = 5,     // the display runs with higher rights than this program
};

static const char Usage[] =
    "usage: pulley-remote get|metres|status|reset [--wait SECONDS] [--timeout MS]\n"
    "       pulley-remote mark TEXT | ack ID | station ID [--timeout MS]\n"
    "       pulley-remote wire EVENT [METRES] [--id NSF_ID] [--part NUMBER] [--maker NAME]\n"
    "                     [--breaking-load LOAD] [--note TEXT] [--timeout MS]\n"
    "\n"
    "  get      print the display's count (metres, or feet when it shows feet)\n"
    "  metres   print the count in metres, whatever the display shows\n"
    "  status   print the display's status bits, then their names: connected,\n"
    "           feet, test-value (Test Value is open), relay-open, read (has read\n"
    "           the pulley since connecting), link-lost (its warning is up), and\n"
    "           presets=N (presets and resets so far, counting to 255 and on from 0)\n"
    "  reset    reset the pulley's count\n"
    "  mark     put a mark in pulley-feed's record, with the count of the moment\n"
    "  ack      acknowledge pulley-feed's alarm ID (1 to 5)\n"
    "  station  set the station of pulley-feed's record\n"
    "  wire     enter the wire book: install METRES, cut-back METRES, termination,\n"
    "           load-test, lubrication, removal or other\n"
    "           (pulley-feed's commands print the event recorded, as JSON)\n"
    "  --wait SECONDS   wait this long for the display to start (default 0)\n"
    "  --timeout MS     give up when the display does not answer (default 2000,\n"
    "                   at least 1000: the display's slowest tick takes about 560)\n"
    "\n"
    "exit codes: 0 done, 1 usage, 2 no display (or pulley-feed) running, 3 timed\n"
    "out, 4 reset refused (or the feed refused, and why is said), 5 the display\n"
    "runs as administrator and this program not\n";

struct Command {
    const char* name;
    UINT message;
};
static const Command Commands[] = {
    {.name = "get", .message = UM_GETCOUNT},
    {.name = "metres", .message = UM_GETMETRES},
    {.name = "status", .message = UM_GETSTATUS},
    {.name = "reset", .message = UM_RESETCOUNT},
};

static const Command* FindCommand(const char* name)
{
    for (const Command& command : Commands)
        if (std::strcmp(command.name, name) == 0)
            return &command;
    return nullptr;
}

static void PrintStatus(DWORD_PTR bits)
{
    std::printf("%lu", static_cast<unsigned long>(bits & 0xffffffffu));
    const struct {
        DWORD_PTR bit;
        const char* name;
    } names[] = {{PULLEY_STATUS_CONNECTED, "connected"},
                 {PULLEY_STATUS_FEET, "feet"},
                 {PULLEY_STATUS_TEST_VALUE, "test-value"},
                 {PULLEY_STATUS_RELAY_OPEN, "relay-open"},
                 {PULLEY_STATUS_READ, "read"},
                 {PULLEY_STATUS_LINK_LOST, "link-lost"}};
    for (const auto& name : names)
        if (bits & name.bit)
            std::printf(" %s", name.name);
    unsigned long presets = (bits & PULLEY_STATUS_PRESETS_MASK) >> PULLEY_STATUS_PRESETS_SHIFT;
    if (presets != 0)
        std::printf(" presets=%lu", presets);
    std::printf("\n");
}

static HWND FindDisplay(double waitSeconds)
{
    ULONGLONG start = GetTickCount64();
    for (;;) {
        HWND window = FindWindowA(PULLEY_WINDOW_CLASS, nullptr);
        if (window != nullptr || static_cast<double>(GetTickCount64() - start) >= waitSeconds * 1000)
            return window;
        Sleep(100);
    }
}

// The options after the command; false after saying what is wrong.
static bool ParseOptions(int argc, char** argv, double& waitSeconds, long long& timeoutMs)
{
    ToolArgs args("pulley-remote", argc - 1, argv + 1);
    while (args.Next()) {
        bool ok = args.Current() == "--wait"      ? args.Once() && args.Number(0, 86400, waitSeconds)
                  : args.Current() == "--timeout" ? args.Once() && args.WholeNumber(1000, 600000, timeoutMs)
                                                  : args.Unknown();
        if (!ok)
            return false;
    }
    return true;
}

// A pulley-feed command: its words sent to the feed's pipe, its answer
// printed. The words, UTF-8, have a tab between them.
static int AskFeed(const std::vector<std::string>& words, long long timeoutMs)
{
    std::string request;
    for (const std::string& word : words) {
        if (word.find('\t') != std::string::npos) {
            std::fputs("pulley-remote: a word holds a tab\n", stderr);
            return ExitUsage;
        }
        request.append(request.empty() ? "" : "\t").append(word);
    }
    std::wstring pipeName = Utf16(PULLEY_FEED_PIPE);
    HANDLE pipe = INVALID_HANDLE_VALUE;
    ULONGLONG start = GetTickCount64();
    while ((pipe = CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr)) == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            std::fputs("pulley-remote: no pulley-feed is running\n", stderr);
            return ExitNoDisplay;
        }
        if (error != ERROR_PIPE_BUSY || GetTickCount64() - start >= static_cast<ULONGLONG>(timeoutMs)) {
            std::fprintf(stderr, "pulley-remote: pulley-feed did not answer in time (%s)\n", SystemMessage(error).c_str());
            return ExitTimedOut;
        }
        WaitNamedPipeW(pipeName.c_str(), 100);
    }
    DWORD mode = PIPE_READMODE_MESSAGE, done = 0;
    SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
    OVERLAPPED io{};
    io.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    char reply[PULLEY_FEED_PIPE_BYTES + 1] = "";
    bool wrote = (WriteFile(pipe, request.data(), static_cast<DWORD>(request.size()), nullptr, &io) ||
                  GetLastError() == ERROR_IO_PENDING) &&
                 GetOverlappedResult(pipe, &io, &done, TRUE);
    ResetEvent(io.hEvent);
    bool read = wrote && (ReadFile(pipe, reply, PULLEY_FEED_PIPE_BYTES, nullptr, &io) || GetLastError() == ERROR_IO_PENDING);
    bool answered = read && WaitForSingleObject(io.hEvent, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0 &&
                    GetOverlappedResult(pipe, &io, &done, FALSE);
    if (read && !answered)
        CancelIo(pipe);
    CloseHandle(io.hEvent);
    CloseHandle(pipe);
    if (!answered) {
        std::fputs("pulley-remote: pulley-feed did not answer in time\n", stderr);
        return ExitTimedOut;
    }
    std::string answer(reply, done);
    size_t tab = answer.find('\t');
    if (tab == std::string::npos || answer.compare(0, tab, "ok") != 0) {
        std::fprintf(stderr, "pulley-remote: pulley-feed refused: %s\n",
                     tab == std::string::npos ? answer.c_str() : answer.substr(tab + 1).c_str());
        return ExitRefused;
    }
    std::printf("%s\n", answer.substr(tab + 1).c_str());
    return ExitOk;
}

static bool IsFeedCommand(const std::string& name)
{
    return name == "mark" || name == "ack" || name == "station" || name == "wire";
}

// pulley-feed's commands: their words, less --timeout MS.
static int RunFeedCommand(const std::vector<std::string>& args)
{
    std::vector<std::string> words;
    long long timeoutMs = 2000;
    for (size_t i = 0; i < args.size(); i++) {
        if (args[i] != "--timeout") {
            words.push_back(args[i]);
            continue;
        }
        if (i + 1 >= args.size() || !ParseWholeNumber(args[i + 1].c_str(), timeoutMs) || timeoutMs < 1000 ||
            timeoutMs > 600000) {
            std::fputs("pulley-remote: --timeout wants a whole number from 1000 to 600000 (--help lists the options)\n",
                       stderr);
            return ExitUsage;
        }
        i++;
    }
    bool enough = words[0] == "wire" ? words.size() >= 2 : words.size() == 2;
    if (!enough || words[1].empty()) {
        std::fputs(Usage, stderr);
        return ExitUsage;
    }
    return AskFeed(words, timeoutMs);
}

// The command line as UTF-16, so that a mark reaches the record as typed.
int wmain(int argc, wchar_t** wideArgv)
{
    std::vector<std::string> args;
    for (int i = 0; i < argc; i++)
        args.push_back(Utf8(wideArgv[i]));
    if (argc > 1 && IsFeedCommand(args[1]))
        return RunFeedCommand(std::vector<std::string>(args.begin() + 1, args.end()));
    std::vector<char*> pointers;
    for (std::string& arg : args)
        pointers.push_back(arg.data());
    char** argv = pointers.data();
    const Command* command = argc > 1 ? FindCommand(argv[1]) : nullptr;
    if (command == nullptr) {
        bool help = argc > 1 && std::strcmp(argv[1], "--help") == 0;
        std::fputs(Usage, help ? stdout : stderr);
        return help ? ExitOk : ExitUsage;
    }
    double waitSeconds = 0;
    long long timeoutMs = 2000;
    if (!ParseOptions(argc, argv, waitSeconds, timeoutMs))
        return ExitUsage;
    HWND display = FindDisplay(waitSeconds);
    if (display == nullptr) {
        std::fputs("pulley-remote: no Pulley Display is running\n", stderr);
        return ExitNoDisplay;
    }
    // SendMessageTimeout, not SendMessage: a display stuck in a long call
    // must not hang its caller too.
    DWORD_PTR result = 0;
    SetLastError(0);
    if (!SendMessageTimeoutA(display, command->message, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                             static_cast<UINT>(timeoutMs), &result)) {
        // A display started as administrator takes no messages from a
        // program that is not.
        DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED) {
            std::fputs("pulley-remote: the display runs with higher rights (as administrator) and refuses to "
                       "answer; run pulley-remote the same way\n",
                       stderr);
            return ExitDenied;
        }
        // A hung display is no error to the system: it is a time that ran out.
        std::fprintf(stderr, "pulley-remote: the display did not answer in time%s%s\n",
                     error == 0 || error == ERROR_TIMEOUT ? "" : ": ",
                     error == 0 || error == ERROR_TIMEOUT ? "" : SystemMessage(error).c_str());
        return ExitTimedOut;
    }
    if (command->message == UM_RESETCOUNT)
        return result == 1 ? ExitOk : ExitRefused;
    if (command->message == UM_GETSTATUS)
        PrintStatus(result);
    else  // a count travels in the low 32 bits of the result, signed
        std::printf("%ld\n", static_cast<long>(static_cast<int32_t>(result)));
    return ExitOk;
}
