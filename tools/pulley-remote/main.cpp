// pulley-remote: reads the count or the state of a running Pulley Display,
// or resets the count, for scripts and as the reference for integrators
// (docs/integration.md).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "shared_constants.h"
#include "system_text.h"
#include "tool_args.h"

enum ExitCode {
    ExitOk = 0,
    ExitUsage = 1,
    ExitNoDisplay = 2,  // no window of class "PULLEY"
    ExitTimedOut = 3,   // the display did not answer in time (busy or hung)
    ExitRefused = 4,    // the display answered the reset with 0
    ExitDenied = 5,     // the display runs with higher rights than this program
};

static const char Usage[] =
    "usage: pulley-remote get|metres|status|reset [--wait SECONDS] [--timeout MS]\n"
    "\n"
    "  get      print the display's count (metres, or feet when it shows feet)\n"
    "  metres   print the count in metres, whatever the display shows\n"
    "  status   print the display's status bits, then their names: connected,\n"
    "           feet, test-value (Test Value is open), relay-open, read (has read\n"
    "           the pulley since connecting), link-lost (its warning is up), and\n"
    "           presets=N (presets and resets so far, counting to 255 and on from 0)\n"
    "  reset    reset the pulley's count\n"
    "  --wait SECONDS   wait this long for the display to start (default 0)\n"
    "  --timeout MS     give up when the display does not answer (default 2000,\n"
    "                   at least 1000: the display's slowest tick takes about 560)\n"
    "\n"
    "exit codes: 0 done, 1 usage, 2 no display running, 3 timed out,\n"
    "4 reset refused, 5 the display runs as administrator and this program not\n";

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

int main(int argc, char** argv)
{
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
