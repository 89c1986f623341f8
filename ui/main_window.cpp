// The main window: the count in large digits, the menu, the poll timer, the
// remote messages and shut-down. One small function per message, each given
// the application object the window holds.
#include <windows.h>
#include <winsock2.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app.h"
#include "dialogs.h"
#include "message_box.h"
#include "resource.h"
#include "settings_file.h"

void ApplyAlwaysVisible(const DisplayApp& app)
{
    SetWindowPos(app.window, app.state.settings.alwaysVisible ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

static void ShowCountInTitle(const DisplayApp& app)
{
    char title[32];
    std::snprintf(title, sizeof title, "Pulley: %s", CurrentDisplayText(app.state).text);
    SetWindowTextA(app.window, title);
}

// The five effects the core asks of the window; their context is the app.

static DisplayApp& App(void* context)
{
    return *static_cast<DisplayApp*>(context);
}

static void StartPollTimer(void* context)
{
    SetTimer(App(context).window, PollTimerId, PollPeriodMs, nullptr);
}

static void StopPollTimer(void* context)
{
    KillTimer(App(context).window, PollTimerId);
}

static void Repaint(void* context)
{
    HWND window = App(context).window;
    RECT client;
    GetClientRect(window, &client);
    InvalidateRect(window, &client, FALSE);
    UpdateWindow(window);
}

static void Refresh(void* context)
{
    if (IsIconic(App(context).window))
        ShowCountInTitle(App(context));
    else
        Repaint(context);
}

static void ShowLostLinkWarning(void* context)
{
    ShowMessage(App(context).window, IDS_CONNECTIONLOST, IDS_CAPTION, MB_SYSTEMMODAL | MB_ICONWARNING);
}

WindowEffects MainWindowEffects(DisplayApp& app)
{
    return {.StartPollTimer = StartPollTimer,
            .StopPollTimer = StopPollTimer,
            .Refresh = Refresh,
            .Repaint = Repaint,
            .ShowLostLinkWarning = ShowLostLinkWarning,
            .context = &app};
}

// Messages

static LRESULT OnDestroy(DisplayApp& app)
{
    PulleyState& state = app.state;
    Shutdown(state);
    WSACleanup();
    GetWindowPlacement(app.window, reinterpret_cast<WINDOWPLACEMENT*>(&state.settings.placement));
    if (!app.keepSettingsFile)
        SaveSettings(state.settings, SettingsBesideProgram(&app.window));
    HMENU menu = GetMenu(app.window);
    SetMenu(app.window, nullptr);
    DestroyMenu(menu);
    PostQuitMessage(0);
    return 0;
}

static LRESULT OnSize(DisplayApp& app, WPARAM kind)
{
    if (kind == SIZE_RESTORED || kind == SIZE_MAXIMIZED)
        SetWindowTextA(app.window, app.caption);
    else if (kind == SIZE_MINIMIZED)
        ShowCountInTitle(app);
    return 0;
}

// The digits fill the client area: the font is as tall as the area allows
// and as wide as 6 characters (metres) or 8 (feet) allow, the length of the
// usual texts, so the digits keep their size while the count changes. A
// longer text (10,000 m and beyond) gets a narrower font instead of losing
// its sign and unit at the window's edges.
static LRESULT OnPaint(const DisplayApp& app)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(app.window, &paint);
    DisplayText text = CurrentDisplayText(app.state);
    RECT client;
    GetClientRect(app.window, &client);
    int characters = std::max(ShowsFeet(app.state) ? 8 : 6, static_cast<int>(std::strlen(text.text)));
    HFONT font = CreateFontA(client.bottom - 10, (client.right - 20) / characters, 0, 0, FW_NORMAL, FALSE, FALSE,
                             FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             FIXED_PITCH, nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    SetTextColor(dc, app.state.count < 0 ? RGB(200, 0, 0) : RGB(0, 0, 0));
    DrawTextA(dc, text.text, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, previous);
    DeleteObject(font);
    EndPaint(app.window, &paint);
    return 0;
}

static LRESULT OnGetMinMaxInfo(MINMAXINFO* limits)
{
    limits->ptMinTrackSize.x = 150;
    limits->ptMinTrackSize.y = 120;
    return 0;
}

static LRESULT OnSysKeyDown(DisplayApp& app, WPARAM key, LPARAM flags)
{
    if (key != 'T')
        return DefWindowProcA(app.window, WM_SYSKEYDOWN, key, flags);
    RunTestValueDialog(app.window, app.state);
    return 0;
}

static LRESULT OnInitMenu(const DisplayApp& app, HMENU menu)
{
    const PulleyState& state = app.state;
    UINT whenConnected = state.connected ? MF_ENABLED : MF_GRAYED;
    EnableMenuItem(menu, IDM_CONNECT, MF_BYCOMMAND | (state.connected ? MF_GRAYED : MF_ENABLED));
    EnableMenuItem(menu, IDM_DISCONNECT, MF_BYCOMMAND | whenConnected);
    EnableMenuItem(menu, IDM_SETCOUNT, MF_BYCOMMAND | whenConnected);
    EnableMenuItem(menu, IDM_RESETCOUNT, MF_BYCOMMAND | whenConnected);
    CheckMenuRadioItem(menu, IDM_METRES, IDM_FEET, ShowsFeet(state) ? IDM_FEET : IDM_METRES, MF_BYCOMMAND);
    CheckMenuItem(menu, IDM_ALWAYSVISIBLE, MF_BYCOMMAND | (state.settings.alwaysVisible ? MF_CHECKED : MF_UNCHECKED));
    return 0;
}

static void ChooseUnits(DisplayApp& app, uint8_t units)
{
    app.state.settings.units = units;
    Repaint(&app);
}

static void ToggleAlwaysVisible(DisplayApp& app)
{
    app.state.settings.alwaysVisible ^= 1;
    ApplyAlwaysVisible(app);
}

static void ConnectByDialog(DisplayApp& app)
{
    if (RunSelectPortDialog(app.window, app.state))
        ConfirmConnected(app.state);
}

static void SetCountByDialog(DisplayApp& app)
{
    SetCountDialog data{.reading = ReadCountNow(app.state), .feet = ShowsFeet(app.state), .metres = 0};
    // The link may have been lost while the dialog was open: then there is
    // no pulley to preset.
    if (RunSetCountDialog(app.window, data) && app.state.connected)
        PresetCount(app.state, data.metres);
}

// The dialog opens and closes the port through the core as its buttons are
// pressed; what it hands back when it closes is applied here.
static void RelayByDialog(DisplayApp& app)
{
    SettingsRecord& settings = app.state.settings;
    RelayCountDialog data{.state = &app.state, .format = settings.relayFormat, .port = {},
                          .baudIndex = settings.relayBaudIndex};
    std::memcpy(data.port, settings.relayPort, sizeof data.port);
    RunRelayCountDialog(app.window, data);
    settings.relayFormat = data.format;
    std::memcpy(settings.relayPort, data.port, sizeof settings.relayPort);
    settings.relayBaudIndex = data.baudIndex;
}

// The menu grays what does not apply, and cannot be used while a dialog is
// open; these guards keep a command that arrives anyway (sent by another
// program, say) from acting out of turn, or from opening a second dialog
// over the first, on the same state.
static LRESULT OnCommand(DisplayApp& app, WORD command)
{
    bool connected = app.state.connected;
    bool dialogOpen = !IsWindowEnabled(app.window);  // a modal dialog disables its owner
    switch (command) {
    case IDM_CONNECT: if (!connected && !dialogOpen) ConnectByDialog(app); break;
    case IDM_DISCONNECT: if (connected) Disconnect(app.state); break;
    case IDM_SETCOUNT: if (connected && !dialogOpen) SetCountByDialog(app); break;
    case IDM_RESETCOUNT: if (connected) ResetCount(app.state); break;
    case IDM_RELAYCOUNT: if (!dialogOpen) RelayByDialog(app); break;
    case IDM_METRES: ChooseUnits(app, Metres); break;
    case IDM_FEET: ChooseUnits(app, Feet); break;
    case IDM_ALWAYSVISIBLE: ToggleAlwaysVisible(app); break;
    case IDM_ABOUT: if (!dialogOpen) RunAboutDialog(app.window, app.state); break;
    case IDM_EXIT: DestroyWindow(app.window); break;
    default: break;
    }
    return 0;
}

static LRESULT OnTimer(DisplayApp& app, WPARAM timer)
{
    if (timer == PollTimerId)
        PollTick(app.state);
    return 0;
}

static LRESULT OnResetCountMessage(DisplayApp& app, WPARAM wParam, LPARAM lParam)
{
    if (wParam != 0 || lParam != 0)
        return 0;
    ResetCount(app.state);
    return 1;
}

// The app comes with the window's creation and stays on the window; the
// few messages before it (WM_GETMINMAXINFO) need none.
static DisplayApp* AppOf(HWND window, UINT message, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* app = static_cast<DisplayApp*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        app->window = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(app));
    }
    return reinterpret_cast<DisplayApp*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

static LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_GETMINMAXINFO)
        return OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
    DisplayApp* app = AppOf(window, message, lParam);
    if (app == nullptr)
        return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY: return OnDestroy(*app);
    case WM_SIZE: return OnSize(*app, wParam);
    case WM_PAINT: return OnPaint(*app);
    case WM_SYSKEYDOWN: return OnSysKeyDown(*app, wParam, lParam);
    case WM_INITMENU: return OnInitMenu(*app, reinterpret_cast<HMENU>(wParam));
    case WM_COMMAND: return OnCommand(*app, LOWORD(wParam));
    case WM_TIMER: return OnTimer(*app, wParam);
    case UM_RESETCOUNT: return OnResetCountMessage(*app, wParam, lParam);
    case UM_GETCOUNT: return static_cast<LRESULT>(QueryCount(app->state));
    case UM_GETMETRES: return static_cast<LRESULT>(QueryMetres(app->state));
    case UM_GETSTATUS: return static_cast<LRESULT>(QueryStatus(app->state));
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool RegisterMainWindowClass(HINSTANCE instance, const char* className)
{
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    // Only the small icon is the class's own, as it always was: the title
    // bar shows it, and where Windows wants a large one it takes its default.
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_PULLEY), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    return RegisterClassExA(&windowClass) != 0;
}

HWND CreateMainWindow(DisplayApp& app, const char* className)
{
    return CreateWindowExA(0, className, app.caption, WS_OVERLAPPEDWINDOW, 100, 100, 300, 100, nullptr, nullptr,
                           app.instance, &app);
}
