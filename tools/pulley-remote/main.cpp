// pulley-remote: reads or resets the count of a running Pulley Display, for
// scripts and as the reference for integrators (docs/integration.md).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "shared_constants.h"

enum ExitCode {
    ExitOk = 0,
    ExitUsage = 1,
    ExitNoDisplay = 2,  // no window of class "PULLEY"
    ExitTimedOut = 3,   // the display did not answer in time (busy or hung)
    ExitRefused = 4,    // the display answered the reset with 0
};

static const char Usage[] =
    "usage: pulley-remote get|reset [--wait SECONDS] [--timeout MS]\n"
    "\n"
    "  get      print the display's count (metres, or feet when it shows feet)\n"
    "  reset    reset the pulley's count\n"
    "  --wait SECONDS   wait this long for the display to start (default 0)\n"
    "  --timeout MS     give up when the display does not answer (default 2000)\n"
    "\n"
    "exit codes: 0 done, 1 usage, 2 no display running, 3 timed out,\n"
    "4 reset refused\n";

static HWND FindDisplay(double waitSeconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        HWND window = FindWindowA(PULLEY_WINDOW_CLASS, nullptr);
        if (window != nullptr || GetTickCount() - start >= waitSeconds * 1000)
            return window;
        Sleep(100);
    }
}

int main(int argc, char** argv)
{
    if (argc < 2 || (std::strcmp(argv[1], "get") != 0 && std::strcmp(argv[1], "reset") != 0)) {
        std::fputs(Usage, argc > 1 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
        return argc > 1 && std::strcmp(argv[1], "--help") == 0 ? ExitOk : ExitUsage;
    }
    bool reset = std::strcmp(argv[1], "reset") == 0;
    double waitSeconds = 0;
    UINT timeoutMs = 2000;
    for (int i = 2; i < argc; i++) {
        if (std::strcmp(argv[i], "--wait") == 0 && i + 1 < argc)
            waitSeconds = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc)
            timeoutMs = static_cast<UINT>(std::atoi(argv[++i]));
        else {
            std::fputs(Usage, stderr);
            return ExitUsage;
        }
    }
    HWND display = FindDisplay(waitSeconds);
    if (display == nullptr) {
        std::fputs("pulley-remote: no Pulley Display is running\n", stderr);
        return ExitNoDisplay;
    }
    // SendMessageTimeout, not SendMessage: a display stuck in a long call
    // must not hang its caller too.
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(display, reset ? UM_RESETCOUNT : UM_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                             timeoutMs, &result)) {
        std::fputs("pulley-remote: the display did not answer in time\n", stderr);
        return ExitTimedOut;
    }
    if (reset)
        return result == 1 ? ExitOk : ExitRefused;
    // The count travels in the low 32 bits of the result, signed.
    std::printf("%ld\n", static_cast<long>(static_cast<int32_t>(result)));
    return ExitOk;
}
