// About: the program's own file version and the pulley's firmware version.
#include <cstdio>
#include <vector>

#include "dialogs.h"
#include "resource.h"

// What About shows.
struct AboutDialog {
    char softwareVersion[40];  // empty when the executable's version cannot be read
    char firmwareVersion[40];  // the pulley's, or "NOT CONNECTED"
};

// The file version from the executable's own version resource. The path
// comes from the module, not the command line, which holds a quoted path
// only when the shell started the program.
static bool ProgramVersionText(char* buffer, size_t size)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    DWORD unused = 0;
    DWORD infoSize = GetFileVersionInfoSizeA(path, &unused);
    if (infoSize == 0)
        return false;
    std::vector<char> info(infoSize);
    if (!GetFileVersionInfoA(path, 0, infoSize, info.data()))
        return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) || fixed == nullptr ||
        fixedSize < sizeof *fixed)
        return false;
    std::snprintf(buffer, size, "%i.%i.%i.%i", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                  HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    return true;
}

static BOOL OnInitDialog(HWND dialog, const AboutDialog& data)
{
    SetDlgItemTextA(dialog, IDC_SOFTWAREVERSION, data.softwareVersion);
    SetDlgItemTextA(dialog, IDC_FIRMWAREVERSION, data.firmwareVersion);
    return TRUE;
}

static BOOL OnCommand(HWND dialog, WORD command)
{
    if (command == IDOK || command == IDCANCEL)
        EndDialog(dialog, 0);
    return TRUE;
}

// About keeps nothing: its texts are shown as it opens.
static INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: return OnInitDialog(dialog, *reinterpret_cast<const AboutDialog*>(lParam));
    case WM_COMMAND: return OnCommand(dialog, LOWORD(wParam));
    default: return FALSE;
    }
}

void RunAboutDialog(HWND owner, PulleyState& state)
{
    AboutDialog data{};
    // When it fails the field stays empty, and About opens all the same.
    ProgramVersionText(data.softwareVersion, sizeof data.softwareVersion);
    // Cleared first, so a pulley that reports nothing shows nothing rather
    // than the software version.
    if (!ReadFirmwareVersion(state, data.firmwareVersion, sizeof data.firmwareVersion))
        std::snprintf(data.firmwareVersion, sizeof data.firmwareVersion, "NOT CONNECTED");
    RunDialog(owner, IDD_ABOUT, AboutDialogProc, &data);
}
