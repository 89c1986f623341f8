// Test Value (Alt+T): while open, the count query answers the value typed
// here instead of the pulley's count, so client programs can be tried
// without moving the cable. Everything else keeps working on the real count.
#include "dialogs.h"
#include "resource.h"

// Read at each query. The field has no length limit, so a typed number
// beyond the 32-bit range is held at its edge.
static int32_t TypedTestValue(void* context)
{
    HWND dialog = static_cast<HWND>(context);
    unsigned long long magnitude = ReadDigitsField(dialog, IDC_TESTVALUE, 2147483648ull);
    if (IsDlgButtonChecked(dialog, IDC_TESTPLUS) == BST_CHECKED)
        return static_cast<int32_t>(magnitude > 2147483647ull ? 2147483647ull : magnitude);
    return static_cast<int32_t>(-static_cast<long long>(magnitude));
}

static BOOL OnInitDialog(HWND dialog, PulleyState& state)
{
    SetDlgItemInt(dialog, IDC_TESTVALUE, 0, FALSE);
    CheckRadioButton(dialog, IDC_TESTPLUS, IDC_TESTMINUS, IDC_TESTPLUS);
    state.testSource = TestSource{.Value = TypedTestValue, .context = dialog};
    state.testMode = true;
    return TRUE;
}

// There is no OK: Enter in the field (command 1) does nothing.
static BOOL OnCommand(HWND dialog, WORD command)
{
    if (command == IDCANCEL)
        EndDialog(dialog, 0);
    return TRUE;
}

static BOOL OnDestroy(PulleyState& state)
{
    state.testMode = false;
    state.testSource = TestSource{};
    return TRUE;
}

static INT_PTR CALLBACK TestValueDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    PulleyState* state = DialogData<PulleyState>(dialog, message, lParam);
    switch (state != nullptr ? message : 0) {
    case WM_INITDIALOG: return OnInitDialog(dialog, *state);
    case WM_COMMAND: return OnCommand(dialog, LOWORD(wParam));
    case WM_DESTROY: return OnDestroy(*state);
    default: return FALSE;
    }
}

void RunTestValueDialog(HWND owner, PulleyState& state)
{
    RunDialog(owner, IDD_TESTVALUE, TestValueDialogProc, &state);
}
