// Set Count: shows the pulley's count as a magnitude and a sign in the chosen
// unit and hands back, on OK, the count the operator typed, in metres.
#include "dialogs.h"
#include "message_box.h"
#include "resource.h"

constexpr unsigned long long MetresLimit = 9999;
constexpr unsigned long long FeetLimit = 32000;

static BOOL OnInitDialog(HWND dialog, const SetCountDialog& data)
{
    int64_t shown = data.feet ? MetresToFeet(data.reading) : data.reading;
    SetDlgItemInt(dialog, IDC_PRESETVALUE, static_cast<UINT>(shown < 0 ? -shown : shown), FALSE);
    CheckRadioButton(dialog, IDC_PRESETPLUS, IDC_PRESETMINUS, shown < 0 ? IDC_PRESETMINUS : IDC_PRESETPLUS);
    if (data.feet)
        SetDlgItemTextA(dialog, IDC_PRESETUNIT, "ft");
    return TRUE;
}

static void OnOk(HWND dialog, SetCountDialog& data)
{
    unsigned long long limit = data.feet ? FeetLimit : MetresLimit;
    // Read with a ceiling above the limit, so ten or more digits are refused
    // like any other number too large, instead of wrapping into range.
    unsigned long long magnitude = ReadDigitsField(dialog, IDC_PRESETVALUE, limit + 1);
    if (magnitude > limit) {
        ShowMessage(dialog, data.feet ? IDS_PRESETRANGEFEET : IDS_PRESETRANGEMETRES, IDS_CAPTION, MB_ICONWARNING);
        EndDialog(dialog, FALSE);
        return;
    }
    int32_t value = static_cast<int32_t>(magnitude);
    if (IsDlgButtonChecked(dialog, IDC_PRESETPLUS) != BST_CHECKED)
        value = -value;
    data.metres = data.feet ? FeetToMetres(value) : value;
    EndDialog(dialog, TRUE);
}

static BOOL OnCommand(HWND dialog, WORD command, SetCountDialog& data)
{
    if (command == IDOK)
        OnOk(dialog, data);
    else if (command == IDCANCEL)
        EndDialog(dialog, FALSE);
    return TRUE;
}

static INT_PTR CALLBACK SetCountDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    SetCountDialog* data = DialogData<SetCountDialog>(dialog, message, lParam);
    switch (data != nullptr ? message : 0) {
    case WM_INITDIALOG: return OnInitDialog(dialog, *data);
    case WM_COMMAND: return OnCommand(dialog, LOWORD(wParam), *data);
    default: return FALSE;
    }
}

bool RunSetCountDialog(HWND owner, SetCountDialog& data)
{
    return RunDialog(owner, IDD_SETCOUNT, SetCountDialogProc, &data) == TRUE;
}
