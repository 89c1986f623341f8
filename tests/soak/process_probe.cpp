// pulley-process-probe: looks at the running display from outside, for the
// soak run.
//
//   figures        one line: handles, GDI objects, fonts among them, USER
//                  objects, private bytes and working set of the display's
//                  process. Wine answers the handles and GDI objects with 0,
//                  so they are counted another way (below); it answers the
//                  USER objects and the private bytes with 0 too, and the
//                  soak run measures memory from Linux.
//   ask HZ         asks the display for its count HZ times a second until
//                  killed; prints "asked N failed M" every 10 s
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "shared_constants.h"

// ntdll's queries, looked up rather than imported, so that like every
// program of ours the probe imports only the documented system libraries.
template <typename Function>
static Function NtdllFunction(const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

// The handles the process holds, counted in the system's list of every
// handle: Wine answers GetProcessHandleCount with 0, but keeps that list.
static DWORD HandlesInSystemList(DWORD processId)
{
    struct Entry {
        ULONG ownerProcessId;
        BYTE objectType, flags;
        USHORT handle;
        PVOID object;
        ULONG access;
    };
    struct List {
        ULONG count;
        Entry entries[1];
    };
    typedef LONG(WINAPI * QuerySystem)(ULONG what, PVOID buffer, ULONG size, PULONG needed);
    auto query = NtdllFunction<QuerySystem>("NtQuerySystemInformation");
    const ULONG SystemHandleInformation = 16;
    const LONG InfoLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    LONG status;
    while ((status = query(SystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed)) ==
           InfoLengthMismatch)
        buffer.resize(buffer.size() * 2);
    if (status != 0)
        return 0;
    const List* list = reinterpret_cast<const List*>(buffer.data());
    DWORD count = 0;
    for (ULONG i = 0; i < list->count; i++)
        count += list->entries[i].ownerProcessId == processId;
    return count;
}

struct GdiCount {
    DWORD objects;
    DWORD fonts;  // the only kind the display creates itself
};

// The GDI objects the process holds, counted in its GDI handle table, which
// the process environment block points to: Wine answers GetGuiResources
// with 0. The 64-bit layout: the table's address at 0xF8 in the block,
// 65,536 entries of 24 bytes, an entry in use when its type is not 0, a
// font's type 0x0A.
static GdiCount GdiObjectsInHandleTable(HANDLE process)
{
    struct Entry {
        UINT64 object;
        ULONG owner;
        USHORT unique;
        UCHAR type, flags;
        UINT64 user;
    };
    static_assert(sizeof(Entry) == 24, "a GDI handle table entry");
    typedef LONG(WINAPI * QueryProcess)(HANDLE process, PROCESSINFOCLASS what, PVOID buffer, ULONG size,
                                        PULONG needed);
    auto query = NtdllFunction<QueryProcess>("NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION basic{};
    ULONG size = 0;
    UINT64 table = 0;
    SIZE_T read = 0;
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, &size) != 0 ||
        !ReadProcessMemory(process, reinterpret_cast<const char*>(basic.PebBaseAddress) + 0xF8, &table, sizeof table,
                           &read) ||
        table == 0)
        return {};
    std::vector<Entry> entries(65536);
    if (!ReadProcessMemory(process, reinterpret_cast<const void*>(table), entries.data(),
                           entries.size() * sizeof(Entry), &read))
        return {};
    GdiCount count{};
    for (const Entry& entry : entries) {
        count.objects += entry.type != 0;
        count.fonts += entry.type == 0x0A;
    }
    return count;
}

static int Figures()
{
    HWND window = FindWindowA(PULLEY_WINDOW_CLASS, nullptr);
    DWORD id = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &id) == 0) {
        std::fputs("pulley-process-probe: no display\n", stderr);
        return 1;
    }
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    if (process == nullptr) {
        std::fprintf(stderr, "pulley-process-probe: cannot open the display's process (%lu)\n", GetLastError());
        return 1;
    }
    DWORD handles = 0;
    if (!GetProcessHandleCount(process, &handles) || handles == 0)
        handles = HandlesInSystemList(id);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    GdiCount gdi = GdiObjectsInHandleTable(process);
    if (gdi.objects == 0)  // the table could not be read: Windows' own count, fonts not told apart
        gdi.objects = GetGuiResources(process, GR_GDIOBJECTS);
    DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    std::printf("%lu %lu %lu %lu %llu %llu\n", handles, gdi.objects, gdi.fonts, user,
                static_cast<unsigned long long>(memory.PrivateUsage),
                static_cast<unsigned long long>(memory.WorkingSetSize));
    CloseHandle(process);
    return 0;
}

static int Ask(int hz)
{
    unsigned long asked = 0, failed = 0;
    DWORD lastReport = GetTickCount();
    for (;;) {
        HWND window = FindWindowA(PULLEY_WINDOW_CLASS, nullptr);
        DWORD_PTR answer = 0;
        asked++;
        if (window == nullptr ||
            !SendMessageTimeoutA(window, UM_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000, &answer))
            failed++;
        if (GetTickCount() - lastReport >= 10000) {
            std::printf("asked %lu failed %lu\n", asked, failed);
            std::fflush(stdout);
            lastReport = GetTickCount();
        }
        Sleep(static_cast<DWORD>(1000 / hz));
    }
}

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "figures") == 0)
        return Figures();
    if (argc == 3 && std::strcmp(argv[1], "ask") == 0 && std::atoi(argv[2]) > 0)
        return Ask(std::atoi(argv[2]));
    std::fputs("usage: pulley-process-probe figures | ask HZ\n", stderr);
    return 1;
}
