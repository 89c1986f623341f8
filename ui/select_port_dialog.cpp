// Select Pulley Port: pick a serial port, open a link on it and wait up to
// five seconds for the pulley to identify itself.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

#include "dialogs.h"
#include "message_box.h"
#include "resource.h"

constexpr UINT_PTR IdentifyTimerId = 1;
constexpr UINT IdentifyPeriodMs = 1000;

struct SelectPortDialog {
    PulleyState* state;  // in and out while open, see RunSelectPortDialog
    bool identifying;    // a connection attempt is running
};

static void ShowProgress(int attempts, void* dialog)
{
    SendDlgItemMessageA(static_cast<HWND>(dialog), IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(attempts), 0);
}

static BOOL OnInitDialog(HWND dialog, const SelectPortDialog& data)
{
    const SettingsRecord& settings = data.state->settings;
    CheckDlgButton(dialog, IDC_CONNECTATSTARTUP, settings.connectAtStartUp ? BST_CHECKED : BST_UNCHECKED);
    int savedIndex;
    int ports = AddSerialPortsToList(dialog, IDC_PORTLIST, settings.pulleyPort, savedIndex);
    if (ports == 0) {
        ShowMessage(dialog, IDS_NOSERIALPORTS, IDS_TITLECONNECT, MB_OK);
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

static void OnConnect(HWND dialog, SelectPortDialog& data)
{
    if (data.identifying)
        return;  // one attempt at a time: a second would leave the first link open
    PulleyState& state = *data.state;
    char name[ConnectNameSize];
    // With no entry selected, the name of the last attempt in this run.
    if (!GetSelectedListText(dialog, IDC_PORTLIST, name, sizeof name))
        std::snprintf(name, sizeof name, "%s", state.connectName);
    if (!BeginConnect(state, name)) {
        ShowMessage(dialog, IDS_CANNOTUSEPORT, IDS_TITLEERROR, MB_ICONWARNING);
        return;
    }
    SetDlgItemTextA(dialog, IDC_STATUSLINE, "Connecting...");
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    data.identifying = true;
    SetTimer(dialog, IdentifyTimerId, IdentifyPeriodMs, nullptr);
}

static BOOL OnTimer(HWND dialog, SelectPortDialog& data)
{
    if (!data.identifying)
        return TRUE;
    switch (IdentifyTick(*data.state, ShowProgress, dialog)) {
    case Identified:
        KillTimer(dialog, IdentifyTimerId);
        data.identifying = false;
        EndDialog(dialog, 1);
        break;
    case GaveUp:
        KillTimer(dialog, IdentifyTimerId);
        data.identifying = false;
        SetDlgItemTextA(dialog, IDC_STATUSLINE, "Connection failed!");
        ShowMessage(dialog, IDS_NOPULLEY, IDS_TITLEERROR, MB_ICONWARNING);
        EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
        break;
    case Waiting:
        break;
    }
    return TRUE;
}

static void OnCancel(HWND dialog, SelectPortDialog& data)
{
    if (data.identifying) {
        KillTimer(dialog, IdentifyTimerId);
        data.identifying = false;
        CancelConnect(*data.state);
    }
    EndDialog(dialog, 0);
}

static BOOL OnCommand(HWND dialog, WORD command, WORD notification, SelectPortDialog& data)
{
    if (command == IDC_PORTLIST && notification == CBN_SELCHANGE)
        SaveSelectedPort(dialog, *data.state);
    else if (command == IDOK)
        OnConnect(dialog, data);
    else if (command == IDCANCEL)
        OnCancel(dialog, data);
    return TRUE;
}

static BOOL OnDestroy(HWND dialog, PulleyState& state)
{
    state.settings.connectAtStartUp = IsDlgButtonChecked(dialog, IDC_CONNECTATSTARTUP) == BST_CHECKED;
    state.settings.reserved = 0;
    return TRUE;
}

static INT_PTR CALLBACK SelectPortDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    SelectPortDialog* data = DialogData<SelectPortDialog>(dialog, message, lParam);
    switch (data != nullptr ? message : 0) {
    case WM_INITDIALOG: return OnInitDialog(dialog, *data);
    case WM_COMMAND: return OnCommand(dialog, LOWORD(wParam), HIWORD(wParam), *data);
    case WM_TIMER: return OnTimer(dialog, *data);
    case WM_DESTROY: return OnDestroy(dialog, *data->state);
    default: return FALSE;
    }
}

INT_PTR RunSelectPortDialog(HWND owner, PulleyState& state)
{
    SelectPortDialog data{.state = &state, .identifying = false};
    return RunDialog(owner, IDD_SELECTPORT, SelectPortDialogProc, &data);
}
