// Relay Count: opens and closes the relay port and chooses its baud rate and
// line format. The port stays open after the dialog closes.
#include <initializer_list>

#include "app.h"
#include "dialogs.h"
#include "relay_port.h"
#include "resource.h"

struct RelayCountDialog {
    PulleyState* state;
};

static void EnableConnectButtons(HWND dialog, const PulleyState& state)
{
    bool open = state.relayPort != nullptr;
    EnableWindow(GetDlgItem(dialog, IDC_RELAYCONNECT), !open);
    EnableWindow(GetDlgItem(dialog, IDC_RELAYDISCONNECT), open);
}

static BOOL OnInitDialog(HWND dialog, RelayCountDialog* data)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
    PulleyState& state = *data->state;
    EnableConnectButtons(dialog, state);
    int32_t format = state.settings.relayFormat;
    if (format >= DisplayLine && format <= NotUsed)
        CheckRadioButton(dialog, IDC_FORMATKVARN, IDC_FORMATNOTUSED, IDC_FORMATKVARN + format);
    int unused;
    if (AddSerialPortsToList(dialog, IDC_RELAYPORT, nullptr, unused) > 0) {
        LRESULT saved = SendDlgItemMessageA(dialog, IDC_RELAYPORT, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>(state.settings.relayPort));
        if (saved != CB_ERR)
            SendDlgItemMessageA(dialog, IDC_RELAYPORT, CB_SETCURSEL, static_cast<WPARAM>(saved), 0);
    }
    for (const char* rate : {"4800 baud", "9600 baud", "19200 baud"})
        SendDlgItemMessageA(dialog, IDC_RELAYBAUD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(rate));
    // A baud index outside the list (a hand-made file) leaves no selection.
    SendDlgItemMessageA(dialog, IDC_RELAYBAUD, CB_SETCURSEL, static_cast<WPARAM>(state.settings.relayBaudIndex), 0);
    return TRUE;
}

static void SaveChoices(HWND dialog, PulleyState& state)
{
    GetSelectedListText(dialog, IDC_RELAYPORT, state.settings.relayPort, PortNameSize);
    state.settings.relayBaudIndex =
        static_cast<int32_t>(SendDlgItemMessageA(dialog, IDC_RELAYBAUD, CB_GETCURSEL, 0, 0));
}

static void OnConnect(HWND dialog, PulleyState& state)
{
    if (state.relayPort != nullptr)
        return;
    SaveChoices(dialog, state);
    HANDLE port = OpenRelayPort(state.settings.relayPort, state.settings.relayBaudIndex);
    if (port == INVALID_HANDLE_VALUE)
        MessageBoxA(dialog, "This port may be in use by another application", "Port not available", MB_OK);
    else
        state.relayPort = port;
    EnableConnectButtons(dialog, state);
}

static void OnDisconnect(HWND dialog, PulleyState& state)
{
    if (state.relayPort != nullptr)
        state.relay->Close(state.relayPort);
    state.relayPort = nullptr;
    EnableConnectButtons(dialog, state);
}

// The chosen format takes effect now, when the dialog closes.
static void OnDestroy(HWND dialog, PulleyState& state)
{
    SaveChoices(dialog, state);
    for (int format = DisplayLine; format <= NotUsed; format++) {
        if (IsDlgButtonChecked(dialog, IDC_FORMATKVARN + format) == BST_CHECKED) {
            state.settings.relayFormat = format;
            break;
        }
    }
}

static INT_PTR CALLBACK RelayCountDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    RelayCountDialog* data = reinterpret_cast<RelayCountDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, reinterpret_cast<RelayCountDialog*>(lParam));
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_RELAYCONNECT)
            OnConnect(dialog, *data->state);
        else if (LOWORD(wParam) == IDC_RELAYDISCONNECT)
            OnDisconnect(dialog, *data->state);
        else if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:
        OnDestroy(dialog, *data->state);
        return TRUE;
    default:
        return FALSE;
    }
}

void RunRelayCountDialog(HWND owner, PulleyState& state)
{
    RelayCountDialog data{&state};
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_RELAYCOUNT), owner, RelayCountDialogProc,
                    reinterpret_cast<LPARAM>(&data));
}
