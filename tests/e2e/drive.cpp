// pulley-drive: works the display's window and dialogs from outside, as an
// operator would, for the end-to-end tests. One action per run; prints what
// it reads. Exit code 0 when done, 1 when the window or control is missing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "resource.h"
#include "shared_constants.h"

static HWND MainWindow()
{
    return FindWindowA(PULLEY_WINDOW_CLASS, nullptr);
}

// A window of the display by its class and title (any title: nullptr).
// Waits up to 5 s.
static HWND FindShown(const char* className, const char* title)
{
    for (int tries = 0; tries < 100; tries++) {
        HWND found = FindWindowA(className, title);
        if (found != nullptr)
            return found;
        Sleep(50);
    }
    return nullptr;
}

// main: the main window; feed: pulley-feed's in the notification area;
// menu: the menu that is open; otherwise a dialog or message box by its
// title.
static HWND Target(const std::string& title)
{
    if (title == "main")
        return MainWindow();
    if (title == "feed")
        return FindShown(PULLEY_FEED_WINDOW_CLASS, nullptr);
    if (title == "menu")
        return FindShown("#32768", nullptr);
    return FindShown("#32770", title.c_str());
}

static std::string TextOf(HWND window)
{
    char text[512] = "";
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

static int Fail(const char* what)
{
    std::fprintf(stderr, "pulley-drive: %s\n", what);
    return 1;
}

// Waits for the display, switches it to feet (so that its settings change),
// chooses Exit, and kills it that many microseconds later: a power cut
// during its shut-down. Prints how long the shut-down had run by then, or
// how long it took when it ended first.
static int KillDuringExit(long microseconds)
{
    HWND window = nullptr;
    for (int tries = 0; tries < 400 && window == nullptr; tries++, Sleep(50))
        window = MainWindow();
    DWORD id = 0;
    if (window == nullptr || GetWindowThreadProcessId(window, &id) == 0)
        return Fail("no display window");
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (process == nullptr)
        return Fail("cannot open the display's process");
    SendMessageA(window, WM_COMMAND, IDM_FEET, 0);
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    long long elapsed = 0;
    while (elapsed < microseconds && WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        QueryPerformanceCounter(&now);
        elapsed = (now.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart;
    }
    bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(process, 9);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
    std::printf("%s %lld\n", ended ? "ended" : "killed", elapsed);
    return 0;
}

// Starts a console program in a console of its own, as the operator starts
// it, and that many milliseconds later presses Ctrl+C in that console.
// Prints the program's exit code, or "running" when it has not ended 10 s
// later (it is then killed). Closing the console window is no other test
// under Wine: its console sends the program a Ctrl+C and then ends it.
static int PressCtrlC(long milliseconds, std::string commandLine)
{
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION program{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                        &startup, &program))
        return Fail("cannot start the program");
    Sleep(static_cast<DWORD>(milliseconds));
    FreeConsole();
    if (!AttachConsole(program.dwProcessId))
        return Fail("cannot attach to the program's console");
    SetConsoleCtrlHandler(nullptr, TRUE);  // the Ctrl+C is for the program, not for us
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    DWORD code = 0;
    bool ended = WaitForSingleObject(program.hProcess, 10000) == WAIT_OBJECT_0;
    if (ended)
        GetExitCodeProcess(program.hProcess, &code);
    else
        TerminateProcess(program.hProcess, 9);
    CloseHandle(program.hThread);
    CloseHandle(program.hProcess);
    if (ended)
        std::printf("%lu\n", code);
    else
        std::printf("running\n");
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return Fail("usage: pulley-drive ACTION ...");
    std::string action = argv[1];
    auto arg = [&](int i) { return i < argc ? std::string(argv[i]) : std::string(); };
    auto number = [&](int i) { return std::strtol(arg(i).c_str(), nullptr, 0); };

    if (action == "hung") {  // hung SECONDS: a window of the display's class that answers nothing
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = PULLEY_WINDOW_CLASS;
        RegisterClassA(&windowClass);
        CreateWindowA(PULLEY_WINDOW_CLASS, "hung", WS_OVERLAPPED, 0, 0, 200, 100, nullptr, nullptr, windowClass.hInstance,
                      nullptr);
        Sleep(static_cast<DWORD>(number(2) * 1000));
        return 0;
    }
    if (action == "wait-main") {  // wait-main SECONDS
        for (long waited = 0; waited <= number(2) * 1000; waited += 50) {
            if (MainWindow() != nullptr)
                return 0;
            Sleep(50);
        }
        return Fail("no display window");
    }
    if (action == "kill-during-exit") {  // kill-during-exit MICROSECONDS: see KillDuringExit
        return KillDuringExit(number(2));
    }
    if (action == "ctrl-c") {  // ctrl-c MILLISECONDS COMMAND-LINE: see PressCtrlC
        return PressCtrlC(number(2), arg(3));
    }
    if (action == "gone") {  // gone TITLE: 0 when no such dialog exists now
        return FindWindowA("#32770", arg(2).c_str()) == nullptr ? 0 : 1;
    }
    if (action == "dialogs") {  // dialogs TITLE: how many dialogs have this title
        int found = 0;
        for (HWND dialog = nullptr; (dialog = FindWindowExA(nullptr, dialog, "#32770", arg(2).c_str())) != nullptr;)
            found++;
        std::printf("%d\n", found);
        return 0;
    }
    if (action == "hold-file") {  // hold-file PATH MILLISECONDS: open it for ourselves alone
        HANDLE file = CreateFileA(arg(2).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return Fail("cannot open the file");
        std::printf("held\n");
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(number(3)));
        CloseHandle(file);
        return 0;
    }
    HWND window = Target(arg(2));
    if (window == nullptr)
        return Fail(("no window " + arg(2)).c_str());

    if (action == "command") {  // command main|TITLE ID: as a menu item or button
        PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(number(3)), 0);
    } else if (action == "click") {  // click TITLE ID
        HWND control = GetDlgItem(window, static_cast<int>(number(3)));
        if (control == nullptr)
            return Fail("no such control");
        PostMessageA(control, BM_CLICK, 0, 0);
    } else if (action == "title") {  // title main|TITLE
        std::printf("%s\n", TextOf(window).c_str());
    } else if (action == "text") {  // text TITLE ID (65535: a message box's text)
        std::printf("%s\n", TextOf(GetDlgItem(window, static_cast<int>(number(3)))).c_str());
    } else if (action == "set-text") {  // set-text TITLE ID TEXT
        SendMessageA(GetDlgItem(window, static_cast<int>(number(3))), WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(arg(4).c_str()));
    } else if (action == "checked") {  // checked TITLE ID
        std::printf("%ld\n", static_cast<long>(IsDlgButtonChecked(window, static_cast<int>(number(3)))));
    } else if (action == "enabled") {  // enabled TITLE ID
        std::printf("%d\n", IsWindowEnabled(GetDlgItem(window, static_cast<int>(number(3)))) ? 1 : 0);
    } else if (action == "list") {  // list TITLE ID: the entries, the selected one marked with *
        HWND list = GetDlgItem(window, static_cast<int>(number(3)));
        LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
        LRESULT selected = SendMessageA(list, CB_GETCURSEL, 0, 0);
        for (LRESULT i = 0; i < count; i++) {
            // Asked in UTF-16: Wine hands the ANSI form across processes cut short.
            wchar_t entry[256] = L"";
            SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
            std::printf("%s%ls\n", i == selected ? "*" : "", entry);
        }
    } else if (action == "select") {  // select TITLE ID TEXT: as the operator picks from the list
        HWND list = GetDlgItem(window, static_cast<int>(number(3)));
        LRESULT index = SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(arg(4).c_str()));
        if (index == CB_ERR)
            return Fail("no such entry");
        SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(list));
    } else if (action == "send" || action == "timed-send") {
        // send main MESSAGE WPARAM LPARAM: prints the signed result;
        // timed-send: and the milliseconds the window took to answer
        DWORD_PTR result = 0;
        ULONGLONG started = GetTickCount64();
        if (!SendMessageTimeoutA(window, static_cast<UINT>(number(3)), static_cast<WPARAM>(number(4)),
                                 static_cast<LPARAM>(number(5)), SMTO_ABORTIFHUNG, 3000, &result))
            return Fail("no answer");
        std::printf("%ld", static_cast<long>(static_cast<int32_t>(result)));
        if (action == "timed-send")
            std::printf(" %llu", GetTickCount64() - started);
        std::printf("\n");
    } else if (action == "show") {  // show main SW_CODE
        ShowWindow(window, static_cast<int>(number(3)));
    } else if (action == "move") {  // move main X Y WIDTH HEIGHT
        MoveWindow(window, static_cast<int>(number(3)), static_cast<int>(number(4)), static_cast<int>(number(5)),
                   static_cast<int>(number(6)), TRUE);
    } else if (action == "client") {  // client main: the client area on the screen, x y width height
        RECT client;
        GetClientRect(window, &client);
        POINT origin{0, 0};
        ClientToScreen(window, &origin);
        std::printf("%ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
    } else if (action == "rect") {  // rect main: the window on the screen, left top right bottom
        RECT rect;
        GetWindowRect(window, &rect);
        std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right, rect.bottom);
    } else if (action == "topmost") {  // topmost main
        std::printf("%d\n", (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
    } else if (action == "key") {  // key main|TITLE VK [alt]: a key press
        bool alt = arg(4) == "alt";
        UINT down = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
        PostMessageA(window, down, static_cast<WPARAM>(number(3)), alt ? 0x20000001 : 1);
    } else if (action == "close") {  // close main|TITLE
        PostMessageA(window, WM_CLOSE, 0, 0);
    } else {
        return Fail("unknown action");
    }
    return 0;
}
