// Test Value (Alt+T): while open, the count query answers the value typed
// here instead of the pulley's count, so client programs can be tried
// without moving the cable. Everything else keeps working on the real count.
#include "app.h"
#include "dialogs.h"
#include "resource.h"

struct TestValueDialog {
    PulleyState* state;
};

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

static BOOL OnInitDialog(HWND dialog, TestValueDialog* data)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
    SetDlgItemInt(dialog, IDC_TESTVALUE, 0, FALSE);
    CheckRadioButton(dialog, IDC_TESTPLUS, IDC_TESTMINUS, IDC_TESTPLUS);
    data->state->testSource = TestSource{.Value = TypedTestValue, .context = dialog};
    data->state->testMode = true;
    return TRUE;
}

static void OnDestroy(TestValueDialog* data)
{
    data->state->testMode = false;
    data->state->testSource = TestSource{};
}

static INT_PTR CALLBACK TestValueDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    TestValueDialog* data = reinterpret_cast<TestValueDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, reinterpret_cast<TestValueDialog*>(lParam));
    case WM_COMMAND:
        // There is no OK: Enter in the field (command 1) does nothing.
        if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, 0);
        return TRUE;
    case WM_DESTROY:
        OnDestroy(data);
        return TRUE;
    default:
        return FALSE;
    }
}

void RunTestValueDialog(HWND owner, PulleyState& state)
{
    TestValueDialog data{&state};
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_TESTVALUE), owner, TestValueDialogProc,
                    reinterpret_cast<LPARAM>(&data));
}
