// Start-up: the settings, the main window, and the message loop.
#include <windows.h>
#include <commctrl.h>
#include <winsock2.h>

#include "app.h"
#include "resource.h"
#include "settings_file.h"

PulleyState g_state;
HINSTANCE g_instance;
HWND g_mainWindow;
char g_caption[100];
bool g_keepSettingsFile;

// Started at start-up and released at shut-down as the display always has,
// with its "Winsock error" box, although it opens no socket: the network is
// the business of the programs beside it (pulley-feed), not of the display.
static void StartSocketLibrary()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        MessageBoxA(nullptr, "Winsock error", "Pulley", MB_OK);
}

static void RegisterProgressBar()
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
}

static int RunMessageLoop()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    char className[100] = "";
    LoadStringA(instance, IDS_CAPTION, g_caption, sizeof g_caption);
    LoadStringA(instance, IDS_CLASSNAME, className, sizeof className);
    g_instance = instance;
    // Without its name (string 109) the class cannot be registered either.
    if (!RegisterMainWindowClass(className))
        return 0;
    InitPulleyState(g_state, &KvarnPulleyDevice, &Win32RelayDevice, &MainWindowEffects);
    if (!LoadSettings(g_state.settings, Win32SettingsFile, &g_keepSettingsFile))
        ApplyDefaultSettings(g_state.settings);

    HWND window = CreateMainWindow(className);
    if (window == nullptr)
        return 0;
    // A placement whose length is not 44 (an empty settings file) is refused
    // here, and the window keeps the geometry it was created with.
    static_assert(sizeof(WINDOWPLACEMENT) == sizeof(Placement), "the settings hold a WINDOWPLACEMENT");
    SetWindowPlacement(window, reinterpret_cast<const WINDOWPLACEMENT*>(&g_state.settings.placement));
    ApplyAlwaysVisible(window);
    SetMenu(window, LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MAINMENU)));
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    StartSocketLibrary();
    RegisterProgressBar();
    return RunMessageLoop();
}
