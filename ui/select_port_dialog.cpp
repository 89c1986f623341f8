// Select Pulley Port: pick a serial port, open a link on it and wait up to
// five seconds for the pulley to identify itself.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "app.h"
#include "dialogs.h"
#include "resource.h"

constexpr UINT_PTR IdentifyTimerId = 1;
constexpr UINT IdentifyPeriodMs = 1000;

struct SelectPortDialog {
    PulleyState* state;
    bool identifying;
};

static void ShowProgress(int attempts, void* dialog)
{
    SendDlgItemMessageA(static_cast<HWND>(dialog), IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(attempts), 0);
}

static BOOL OnInitDialog(HWND dialog, SelectPortDialog* data)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
    SettingsRecord& settings = data->state->settings;
    CheckDlgButton(dialog, IDC_CONNECTATSTARTUP, settings.connectAtStartUp ? BST_CHECKED : BST_UNCHECKED);
    int savedIndex;
    int ports = AddSerialPortsToList(dialog, IDC_PORTLIST, settings.pulleyPort, savedIndex);
    if (ports == 0) {
        MessageBoxA(dialog, "There are no serial ports on the system", "Connect", MB_OK);
        EndDialog(dialog, 0);
        return TRUE;
    }
    // With a single port there is nothing to choose; otherwise the saved
    // port, if it is still there.
    int selected = ports == 1 ? 0 : savedIndex;
    if (selected >= 0)
        SendDlgItemMessageA(dialog, IDC_PORTLIST, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, IdentifyAttempts));
    if (settings.connectAtStartUp)
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    return TRUE;
}

static void SaveSelectedPort(HWND dialog, PulleyState& state)
{
    GetSelectedListText(dialog, IDC_PORTLIST, state.settings.pulleyPort, PortNameSize);
}

static void OnConnect(HWND dialog, SelectPortDialog* data)
{
    if (data->identifying)
        return;  // one attempt at a time: a second would leave the first link open
    PulleyState& state = *data->state;
    char name[ConnectNameSize];
    // With no entry selected, the name of the last attempt in this run.
    if (!GetSelectedListText(dialog, IDC_PORTLIST, name, sizeof name))
        std::strcpy(name, state.connectName);
    if (!BeginConnect(state, name)) {
        ShowStringBox(dialog, IDS_CANNOTUSEPORT, "Error", MB_ICONWARNING);
        return;
    }
    SetDlgItemTextA(dialog, IDC_STATUSLINE, "Connecting...");
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    data->identifying = true;
    SetTimer(dialog, IdentifyTimerId, IdentifyPeriodMs, nullptr);
}

static void OnTimer(HWND dialog, SelectPortDialog* data)
{
    if (!data->identifying)
        return;
    switch (IdentifyTick(*data->state, ShowProgress, dialog)) {
    case Identified:
        KillTimer(dialog, IdentifyTimerId);
        data->identifying = false;
        EndDialog(dialog, 1);
        break;
    case GaveUp:
        KillTimer(dialog, IdentifyTimerId);
        data->identifying = false;
        SetDlgItemTextA(dialog, IDC_STATUSLINE, "Connection failed!");
        ShowStringBox(dialog, IDS_NOPULLEY, "Error", MB_ICONWARNING);
        EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
        break;
    case Waiting:
        break;
    }
}

static void OnCancel(HWND dialog, SelectPortDialog* data)
{
    if (data->identifying) {
        KillTimer(dialog, IdentifyTimerId);
        data->identifying = false;
        CancelConnect(*data->state);
    }
    EndDialog(dialog, 0);
}

static void OnDestroy(HWND dialog, SelectPortDialog* data)
{
    data->state->settings.connectAtStartUp = IsDlgButtonChecked(dialog, IDC_CONNECTATSTARTUP) == BST_CHECKED;
    data->state->settings.reserved = 0;
}

static INT_PTR CALLBACK SelectPortDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    SelectPortDialog* data = reinterpret_cast<SelectPortDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, reinterpret_cast<SelectPortDialog*>(lParam));
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_PORTLIST && HIWORD(wParam) == CBN_SELCHANGE)
            SaveSelectedPort(dialog, *data->state);
        else if (LOWORD(wParam) == IDOK)
            OnConnect(dialog, data);
        else if (LOWORD(wParam) == IDCANCEL)
            OnCancel(dialog, data);
        return TRUE;
    case WM_TIMER:
        OnTimer(dialog, data);
        return TRUE;
    case WM_DESTROY:
        OnDestroy(dialog, data);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR RunSelectPortDialog(HWND owner, PulleyState& state)
{
    SelectPortDialog data{&state, false};
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_SELECTPORT), owner, SelectPortDialogProc,
                           reinterpret_cast<LPARAM>(&data));
}
