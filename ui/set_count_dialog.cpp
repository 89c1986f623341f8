// Set Count: shows the pulley's count as a magnitude and a sign in the chosen
// unit and presets the pulley to what the operator types.
#include "app.h"
#include "dialogs.h"
#include "resource.h"

constexpr unsigned long long MetresLimit = 9999;
constexpr unsigned long long FeetLimit = 32000;

struct SetCountDialog {
    PulleyState* state;
};

static BOOL OnInitDialog(HWND dialog, SetCountDialog* data)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
    PulleyState& state = *data->state;
    int32_t reading = ReadCountNow(state);
    bool feet = ShowsFeet(state);
    int64_t shown = feet ? MetresToFeet(reading) : reading;
    SetDlgItemInt(dialog, IDC_PRESETVALUE, static_cast<UINT>(shown < 0 ? -shown : shown), FALSE);
    CheckRadioButton(dialog, IDC_PRESETPLUS, IDC_PRESETMINUS, shown < 0 ? IDC_PRESETMINUS : IDC_PRESETPLUS);
    if (feet)
        SetDlgItemTextA(dialog, IDC_PRESETUNIT, "ft");
    return TRUE;
}

static void OnOk(HWND dialog, SetCountDialog* data)
{
    PulleyState& state = *data->state;
    bool feet = ShowsFeet(state);
    unsigned long long limit = feet ? FeetLimit : MetresLimit;
    // Read with a ceiling above the limit, so ten or more digits are refused
    // like any other number too large, instead of wrapping into range.
    unsigned long long magnitude = ReadDigitsField(dialog, IDC_PRESETVALUE, limit + 1);
    if (magnitude > limit) {
        ShowStringBox(dialog, feet ? IDS_PRESETRANGEFEET : IDS_PRESETRANGEMETRES, g_caption, MB_ICONWARNING);
        EndDialog(dialog, 0);
        return;
    }
    // The link was lost while the dialog was open: there is no pulley to preset.
    if (!state.connected) {
        EndDialog(dialog, 0);
        return;
    }
    int32_t value = static_cast<int32_t>(magnitude);
    if (IsDlgButtonChecked(dialog, IDC_PRESETPLUS) != BST_CHECKED)
        value = -value;
    PresetCount(state, feet ? FeetToMetres(value) : value);
    EndDialog(dialog, 1);
}

static INT_PTR CALLBACK SetCountDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    SetCountDialog* data = reinterpret_cast<SetCountDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, reinterpret_cast<SetCountDialog*>(lParam));
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            OnOk(dialog, data);
        else if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

void RunSetCountDialog(HWND owner, PulleyState& state)
{
    SetCountDialog data{&state};
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_SETCOUNT), owner, SetCountDialogProc,
                    reinterpret_cast<LPARAM>(&data));
}
