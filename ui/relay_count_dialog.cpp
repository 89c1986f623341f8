// Relay Count: opens and closes the relay port and chooses its baud rate and
// line format. The port stays open after the dialog closes.
#include <initializer_list>

#include "app.h"
#include "dialogs.h"
#include "relay_port.h"
#include "resource.h"

static void EnableConnectButtons(HWND dialog, const PulleyState& state)
{
    bool open = state.relayPort != nullptr;
    EnableWindow(GetDlgItem(dialog, IDC_RELAYCONNECT), !open);
    EnableWindow(GetDlgItem(dialog, IDC_RELAYDISCONNECT), open);
}

static BOOL OnInitDialog(HWND dialog, const RelayCountDialog& data)
{
    const PulleyState& state = *data.state;
    EnableConnectButtons(dialog, state);
    if (data.format >= DisplayLine && data.format <= NotUsed)
        CheckRadioButton(dialog, IDC_FORMATKVARN, IDC_FORMATNOTUSED, IDC_FORMATKVARN + data.format);
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

static BOOL OnCommand(HWND dialog, WORD command, PulleyState& state)
{
    switch (command) {
    case IDC_RELAYCONNECT: OnConnect(dialog, state); break;
    case IDC_RELAYDISCONNECT: OnDisconnect(dialog, state); break;
    case IDOK:
    case IDCANCEL: EndDialog(dialog, 0); break;
    default: break;
    }
    return TRUE;
}

// The port and the rate as chosen, and the format checked, which the main
// window applies: the format takes effect when the dialog closes.
static BOOL OnDestroy(HWND dialog, RelayCountDialog& data)
{
    SaveChoices(dialog, *data.state);
    for (int format = DisplayLine; format <= NotUsed; format++) {
        if (IsDlgButtonChecked(dialog, IDC_FORMATKVARN + format) == BST_CHECKED) {
            data.format = format;
            break;
        }
    }
    return TRUE;
}

static INT_PTR CALLBACK RelayCountDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    RelayCountDialog* data = DialogData<RelayCountDialog>(dialog, message, lParam);
    switch (data != nullptr ? message : 0) {
    case WM_INITDIALOG: return OnInitDialog(dialog, *data);
    case WM_COMMAND: return OnCommand(dialog, LOWORD(wParam), *data->state);
    case WM_DESTROY: return OnDestroy(dialog, *data);
    default: return FALSE;
    }
}

void RunRelayCountDialog(HWND owner, RelayCountDialog& data)
{
    RunDialog(owner, IDD_RELAYCOUNT, RelayCountDialogProc, &data);
}
