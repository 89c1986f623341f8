// The system's words for its error codes, for messages a person must act
// on, and the conversions between the system's UTF-16 and the UTF-8 the
// tools keep their text in.
#pragma once

#include <windows.h>

#include <string>

// FormatMessage's text in UTF-8, without its full stop; "error N" when it
// has none.
std::string SystemMessage(DWORD code);

std::string Utf8(const std::wstring& text);
std::wstring Utf16(const std::string& utf8);
