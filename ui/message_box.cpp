#include "message_box.h"

// The strings are the program's own, whoever shows the box (the settings
// file's code too).
int ShowMessage(HWND owner, UINT textId, UINT titleId, UINT kind)
{
    char text[200] = "", title[100] = "";
    HINSTANCE program = GetModuleHandleA(nullptr);
    LoadStringA(program, textId, text, sizeof text);
    LoadStringA(program, titleId, title, sizeof title);
    return MessageBoxA(owner, text, title, kind);
}
