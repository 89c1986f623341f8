// Helpers more than one dialog uses: opening, the serial port lists and the
// digit fields.
#include <string>

#include "dialogs.h"
#include "enumcomm.h"

// The templates are in the program's own resources.
INT_PTR RunDialog(HWND owner, int id, DLGPROC procedure, void* data)
{
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), owner, procedure,
                           reinterpret_cast<LPARAM>(data));
}

int AddSerialPortsToList(HWND dialog, int listId, const char* exact, int& exactIndex)
{
    exactIndex = -1;
    int count = 0;
    HANDLE enumeration = BeginEnumeratePorts();
    char name[20];
    while (EnumeratePortsNext(enumeration, name, 0)) {
        name[sizeof name - 1] = '\0';
        LRESULT position = SendDlgItemMessageA(dialog, listId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        if (exactIndex < 0 && exact != nullptr && std::string(name) == exact)
            exactIndex = static_cast<int>(position);
        count++;
    }
    EndEnumeratePorts(enumeration);
    return count;
}

bool GetSelectedListText(HWND dialog, int listId, char* buffer, int size)
{
    LRESULT selected = SendDlgItemMessageA(dialog, listId, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR ||
        SendDlgItemMessageA(dialog, listId, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0) >= size)
        return false;
    SendDlgItemMessageA(dialog, listId, CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(buffer));
    return true;
}

unsigned long long SaturatingDigits(const char* text, unsigned long long ceiling)
{
    unsigned long long value = 0;
    for (const char* c = text; *c; c++) {
        if (*c < '0' || *c > '9')
            continue;  // the field takes digits only; anything pasted around them is passed over
        value = value * 10 + static_cast<unsigned>(*c - '0');
        if (value >= ceiling)
            return ceiling;
    }
    return value;
}

unsigned long long ReadDigitsField(HWND dialog, int id, unsigned long long ceiling)
{
    HWND field = GetDlgItem(dialog, id);
    int length = GetWindowTextLengthA(field);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(field, &text[0], length + 1);
    return SaturatingDigits(text.c_str(), ceiling);
}
