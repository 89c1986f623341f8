// About: the program's own file version and the pulley's firmware version.
#include <cstdio>
#include <vector>

#include "app.h"
#include "dialogs.h"
#include "resource.h"

struct AboutDialog {
    PulleyState* state;
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

static BOOL OnInitDialog(HWND dialog, AboutDialog* data)
{
    char text[40];
    if (ProgramVersionText(text, sizeof text))
        SetDlgItemTextA(dialog, IDC_SOFTWAREVERSION, text);
    // Cleared first, so a pulley that reports nothing shows nothing rather
    // than the software version left in the buffer.
    if (ReadFirmwareVersion(*data->state, text, sizeof text))
        SetDlgItemTextA(dialog, IDC_FIRMWAREVERSION, text);
    else
        SetDlgItemTextA(dialog, IDC_FIRMWAREVERSION, "NOT CONNECTED");
    return TRUE;
}

static INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, reinterpret_cast<AboutDialog*>(lParam));
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

void RunAboutDialog(HWND owner, PulleyState& state)
{
    AboutDialog data{&state};
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_ABOUT), owner, AboutDialogProc, reinterpret_cast<LPARAM>(&data));
}
