// The display's message boxes. Their words and titles are strings of the
// program's string table, as operators and their manuals know them; a box
// is named by those ids and its kind (the MB_ flags).
#pragma once

#include <windows.h>

int ShowMessage(HWND owner, UINT textId, UINT titleId, UINT kind);
