// Start-up: the application object, the settings, the main window, and the
// message loop.
#include <windows.h>
#include <commctrl.h>
#include <winsock2.h>

#include "app.h"
#include "message_box.h"
#include "resource.h"
#include "settings_file.h"

// Started at start-up and released at shut-down as the display always has,
// with its "Winsock error" box, although it opens no socket: the network is
// the business of the programs beside it (pulley-feed), not of the display.
static void StartSocketLibrary()
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        ShowMessage(nullptr, IDS_WINSOCKERROR, IDS_TITLEPULLEY, MB_OK);
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
    // Lives until the message loop has ended, after the main window's end;
    // the window holds it.
    DisplayApp app{};
    app.instance = instance;
    char className[100] = "";
    LoadStringA(instance, IDS_CAPTION, app.caption, sizeof app.caption);
    LoadStringA(instance, IDS_CLASSNAME, className, sizeof className);
    // Without its name (string 109) the class cannot be registered either.
    if (!RegisterMainWindowClass(instance, className))
        return 0;
    InitPulleyState(app.state, KvarnPulleyDevice, Win32RelayDevice, MainWindowEffects(app));
    if (!LoadSettings(app.state.settings, SettingsBesideProgram(nullptr), &app.keepSettingsFile))
        ApplyDefaultSettings(app.state.settings);

    HWND window = CreateMainWindow(app, className);
    if (window == nullptr)
        return 0;
    // A placement whose length is not 44 (an empty settings file) is refused
    // here, and the window keeps the geometry it was created with.
    static_assert(sizeof(WINDOWPLACEMENT) == sizeof(Placement), "the settings hold a WINDOWPLACEMENT");
    SetWindowPlacement(window, reinterpret_cast<const WINDOWPLACEMENT*>(&app.state.settings.placement));
    ApplyAlwaysVisible(app);
    SetMenu(window, LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MAINMENU)));
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    StartSocketLibrary();
    RegisterProgressBar();
    return RunMessageLoop();
}
