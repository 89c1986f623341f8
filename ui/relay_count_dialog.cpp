// Relay Count: opens and closes the relay port (through the core, which
// owns it) and chooses its baud rate and line format, which it hands back.
// The port stays open after the dialog closes.
#include <initializer_list>

#include "dialogs.h"
#include "message_box.h"
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
                                            reinterpret_cast<LPARAM>(data.port));
        if (saved != CB_ERR)
            SendDlgItemMessageA(dialog, IDC_RELAYPORT, CB_SETCURSEL, static_cast<WPARAM>(saved), 0);
    }
    for (const char* rate : {"4800 baud", "9600 baud", "19200 baud"})
        SendDlgItemMessageA(dialog, IDC_RELAYBAUD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(rate));
    // A baud index outside the list (a hand-made file) leaves no selection.
    SendDlgItemMessageA(dialog, IDC_RELAYBAUD, CB_SETCURSEL, static_cast<WPARAM>(data.baudIndex), 0);
    return TRUE;
}

static void SaveChoices(HWND dialog, RelayCountDialog& data)
{
    GetSelectedListText(dialog, IDC_RELAYPORT, data.port, PortNameSize);
    data.baudIndex = static_cast<int32_t>(SendDlgItemMessageA(dialog, IDC_RELAYBAUD, CB_GETCURSEL, 0, 0));
}

static void OnConnect(HWND dialog, RelayCountDialog& data)
{
    if (data.state->relayPort != nullptr)
        return;
    SaveChoices(dialog, data);
    if (!OpenRelay(*data.state, data.port, data.baudIndex))
        ShowMessage(dialog, IDS_PORTINUSE, IDS_TITLEPORTNOTAVAILABLE, MB_OK);
    EnableConnectButtons(dialog, *data.state);
}

static void OnDisconnect(HWND dialog, RelayCountDialog& data)
{
    CloseRelay(*data.state);
    EnableConnectButtons(dialog, *data.state);
}

static BOOL OnCommand(HWND dialog, WORD command, RelayCountDialog& data)
{
    switch (command) {
    case IDC_RELAYCONNECT: OnConnect(dialog, data); break;
    case IDC_RELAYDISCONNECT: OnDisconnect(dialog, data); break;
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
    SaveChoices(dialog, data);
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
    case WM_COMMAND: return OnCommand(dialog, LOWORD(wParam), *data);
    case WM_DESTROY: return OnDestroy(dialog, *data);
    default: return FALSE;
    }
}

void RunRelayCountDialog(HWND owner, RelayCountDialog& data)
{
    RunDialog(owner, IDD_RELAYCOUNT, RelayCountDialogProc, &data);
}
