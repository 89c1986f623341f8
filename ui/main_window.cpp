// The main window: the count in large digits, the menu, the poll timer, the
// remote messages and shut-down. One small function per message.
#include <windows.h>
#include <winsock2.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app.h"
#include "dialogs.h"
#include "resource.h"
#include "settings_file.h"

int ShowStringBox(HWND owner, UINT stringId, const char* title, UINT flags)
{
    char message[100];
    LoadStringA(g_instance, stringId, message, sizeof message);
    return MessageBoxA(owner, message, title, flags);
}

void ApplyAlwaysVisible(HWND window)
{
    SetWindowPos(window, g_state.settings.alwaysVisible ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE);
}

static void ShowCountInTitle(HWND window)
{
    char title[32];
    std::snprintf(title, sizeof title, "Pulley: %s", CurrentDisplayText(g_state).text);
    SetWindowTextA(window, title);
}

// The five effects the core asks of the window.

static void StartPollTimer()
{
    SetTimer(g_mainWindow, PollTimerId, PollPeriodMs, nullptr);
}

static void StopPollTimer()
{
    KillTimer(g_mainWindow, PollTimerId);
}

static void Repaint()
{
    RECT client;
    GetClientRect(g_mainWindow, &client);
    InvalidateRect(g_mainWindow, &client, FALSE);
    UpdateWindow(g_mainWindow);
}

static void Refresh()
{
    if (IsIconic(g_mainWindow))
        ShowCountInTitle(g_mainWindow);
    else
        Repaint();
}

static void ShowLostLinkWarning()
{
    ShowStringBox(g_mainWindow, IDS_CONNECTIONLOST, g_caption, MB_SYSTEMMODAL | MB_ICONWARNING);
}

const WindowEffects MainWindowEffects = {
    .StartPollTimer = StartPollTimer,
    .StopPollTimer = StopPollTimer,
    .Refresh = Refresh,
    .Repaint = Repaint,
    .ShowLostLinkWarning = ShowLostLinkWarning,
};

// Messages

static LRESULT OnCreate(HWND window)
{
    g_mainWindow = window;
    g_state.relayPort = nullptr;
    return 0;
}

static LRESULT OnDestroy(HWND window)
{
    Shutdown(g_state);
    WSACleanup();
    GetWindowPlacement(window, reinterpret_cast<WINDOWPLACEMENT*>(&g_state.settings.placement));
    SetSettingsBoxOwner(window);
    if (!g_keepSettingsFile)
        SaveSettings(g_state.settings, Win32SettingsFile);
    HMENU menu = GetMenu(window);
    SetMenu(window, nullptr);
    DestroyMenu(menu);
    PostQuitMessage(0);
    return 0;
}

static LRESULT OnSize(HWND window, WPARAM kind)
{
    if (kind == SIZE_RESTORED || kind == SIZE_MAXIMIZED)
        SetWindowTextA(window, g_caption);
    else if (kind == SIZE_MINIMIZED)
        ShowCountInTitle(window);
    return 0;
}

// The digits fill the client area: the font is as tall as the area allows
// and as wide as 6 characters (metres) or 8 (feet) allow, the length of the
// usual texts, so the digits keep their size while the count changes. A
// longer text (10,000 m and beyond) gets a narrower font instead of losing
// its sign and unit at the window's edges.
static LRESULT OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    DisplayText text = CurrentDisplayText(g_state);
    RECT client;
    GetClientRect(window, &client);
    int characters = std::max(ShowsFeet(g_state) ? 8 : 6, static_cast<int>(std::strlen(text.text)));
    HFONT font = CreateFontA(client.bottom - 10, (client.right - 20) / characters, 0, 0, FW_NORMAL, FALSE, FALSE,
                             FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             FIXED_PITCH, nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    SetTextColor(dc, g_state.count < 0 ? RGB(200, 0, 0) : RGB(0, 0, 0));
    DrawTextA(dc, text.text, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, previous);
    DeleteObject(font);
    EndPaint(window, &paint);
    return 0;
}

static LRESULT OnGetMinMaxInfo(MINMAXINFO* limits)
{
    limits->ptMinTrackSize.x = 150;
    limits->ptMinTrackSize.y = 120;
    return 0;
}

static LRESULT OnSysKeyDown(HWND window, WPARAM key, LPARAM flags)
{
    if (key != 'T')
        return DefWindowProcA(window, WM_SYSKEYDOWN, key, flags);
    RunTestValueDialog(window, g_state);
    return 0;
}

static LRESULT OnInitMenu(HMENU menu)
{
    UINT whenConnected = g_state.connected ? MF_ENABLED : MF_GRAYED;
    EnableMenuItem(menu, IDM_CONNECT, MF_BYCOMMAND | (g_state.connected ? MF_GRAYED : MF_ENABLED));
    EnableMenuItem(menu, IDM_DISCONNECT, MF_BYCOMMAND | whenConnected);
    EnableMenuItem(menu, IDM_SETCOUNT, MF_BYCOMMAND | whenConnected);
    EnableMenuItem(menu, IDM_RESETCOUNT, MF_BYCOMMAND | whenConnected);
    CheckMenuRadioItem(menu, IDM_METRES, IDM_FEET, ShowsFeet(g_state) ? IDM_FEET : IDM_METRES, MF_BYCOMMAND);
    CheckMenuItem(menu, IDM_ALWAYSVISIBLE,
                  MF_BYCOMMAND | (g_state.settings.alwaysVisible ? MF_CHECKED : MF_UNCHECKED));
    return 0;
}

static void ChooseUnits(uint8_t units)
{
    g_state.settings.units = units;
    Repaint();
}

static void ToggleAlwaysVisible(HWND window)
{
    g_state.settings.alwaysVisible ^= 1;
    ApplyAlwaysVisible(window);
}

static void ConnectByDialog(HWND window)
{
    if (RunSelectPortDialog(window, g_state))
        ConfirmConnected(g_state);
}

static void SetCountByDialog(HWND window)
{
    SetCountDialog data{.reading = ReadCountNow(g_state), .feet = ShowsFeet(g_state), .metres = 0};
    // The link may have been lost while the dialog was open: then there is
    // no pulley to preset.
    if (RunSetCountDialog(window, data) && g_state.connected)
        PresetCount(g_state, data.metres);
}

static void RelayByDialog(HWND window)
{
    RelayCountDialog data{.state = &g_state, .format = g_state.settings.relayFormat};
    RunRelayCountDialog(window, data);
    g_state.settings.relayFormat = data.format;
}

// The menu grays what does not apply, and cannot be used while a dialog is
// open; these guards keep a command that arrives anyway (sent by another
// program, say) from acting out of turn, or from opening a second dialog
// over the first, on the same state.
static LRESULT OnCommand(HWND window, WORD command)
{
    bool dialogOpen = !IsWindowEnabled(window);  // a modal dialog disables its owner
    switch (command) {
    case IDM_CONNECT: if (!g_state.connected && !dialogOpen) ConnectByDialog(window); break;
    case IDM_DISCONNECT: if (g_state.connected) Disconnect(g_state); break;
    case IDM_SETCOUNT: if (g_state.connected && !dialogOpen) SetCountByDialog(window); break;
    case IDM_RESETCOUNT: if (g_state.connected) ResetCount(g_state); break;
    case IDM_RELAYCOUNT: if (!dialogOpen) RelayByDialog(window); break;
    case IDM_METRES: ChooseUnits(Metres); break;
    case IDM_FEET: ChooseUnits(Feet); break;
    case IDM_ALWAYSVISIBLE: ToggleAlwaysVisible(window); break;
    case IDM_ABOUT: if (!dialogOpen) RunAboutDialog(window, g_state); break;
    case IDM_EXIT: DestroyWindow(window); break;
    default: break;
    }
    return 0;
}

static LRESULT OnTimer(WPARAM timer)
{
    if (timer == PollTimerId)
        PollTick(g_state);
    return 0;
}

static LRESULT OnResetCountMessage(WPARAM wParam, LPARAM lParam)
{
    if (wParam != 0 || lParam != 0)
        return 0;
    ResetCount(g_state);
    return 1;
}

static LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: return OnCreate(window);
    case WM_DESTROY: return OnDestroy(window);
    case WM_SIZE: return OnSize(window, wParam);
    case WM_PAINT: return OnPaint(window);
    case WM_GETMINMAXINFO: return OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
    case WM_SYSKEYDOWN: return OnSysKeyDown(window, wParam, lParam);
    case WM_INITMENU: return OnInitMenu(reinterpret_cast<HMENU>(wParam));
    case WM_COMMAND: return OnCommand(window, LOWORD(wParam));
    case WM_TIMER: return OnTimer(wParam);
    case UM_RESETCOUNT: return OnResetCountMessage(wParam, lParam);
    case UM_GETCOUNT: return static_cast<LRESULT>(QueryCount(g_state));
    case UM_GETMETRES: return static_cast<LRESULT>(QueryMetres(g_state));
    case UM_GETSTATUS: return static_cast<LRESULT>(QueryStatus(g_state));
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool RegisterMainWindowClass(const char* className)
{
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = g_instance;
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    // Only the small icon is the class's own, as it always was: the title
    // bar shows it, and where Windows wants a large one it takes its default.
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageA(g_instance, MAKEINTRESOURCEA(IDI_PULLEY), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    return RegisterClassExA(&windowClass) != 0;
}

HWND CreateMainWindow(const char* className)
{
    return CreateWindowExA(0, className, g_caption, WS_OVERLAPPEDWINDOW, 100, 100, 300, 100, nullptr, nullptr,
                           g_instance, nullptr);
}
