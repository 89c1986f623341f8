// pulley-probe: calls the device library directly, as the display does, for
// the integration tests: pulley-probe PORT OPERATION... where an operation
// is identify, read, reset, preset=N, version, wait=MS, disconnect or close.
// Prints one line per operation with its result and how long it took.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kvarncpi.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: pulley-probe PORT OPERATION...\n", stderr);
        return 2;
    }
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    HANDLE link = ConnectPulley(argv[1]);
    std::printf("connect %s\n", link == INVALID_HANDLE_VALUE ? "-1" : "ok");
    for (int i = 2; i < argc; i++) {
        const char* operation = argv[i];
        char result[64] = "";
        QueryPerformanceCounter(&start);
        if (std::strcmp(operation, "identify") == 0) {
            std::snprintf(result, sizeof result, "%d", IdentifyPulley(link) ? 1 : 0);
        } else if (std::strcmp(operation, "read") == 0) {
            std::snprintf(result, sizeof result, "%ld", static_cast<long>(ReadPulley(link)));
        } else if (std::strcmp(operation, "reset") == 0) {
            std::snprintf(result, sizeof result, "%d", ResetPulley(link) ? 1 : 0);
        } else if (std::strncmp(operation, "preset=", 7) == 0) {
            std::snprintf(result, sizeof result, "%d", PresetPulley(link, std::atol(operation + 7)) ? 1 : 0);
        } else if (std::strcmp(operation, "version") == 0) {
            char version[40];
            GetPulleyVersion(link, version, sizeof version);
            std::snprintf(result, sizeof result, "%s", version);
        } else if (std::strncmp(operation, "wait=", 5) == 0) {
            Sleep(static_cast<DWORD>(std::atol(operation + 5)));
        } else if (std::strcmp(operation, "disconnect") == 0) {
            std::snprintf(result, sizeof result, "%d", DisconnectPulley(link) ? 1 : 0);
        } else if (std::strcmp(operation, "close") == 0) {
            std::snprintf(result, sizeof result, "%d", CloseHandle(link) ? 1 : 0);
        } else {
            std::fprintf(stderr, "unknown operation %s\n", operation);
            return 2;
        }
        QueryPerformanceCounter(&end);
        double ms = static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
        std::printf("%s %s %.1f\n", operation, result, ms);
        std::fflush(stdout);
    }
    return 0;
}
