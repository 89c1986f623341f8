// The system's words for its error codes, for messages a person must act on.
#pragma once

#include <windows.h>

#include <string>

// FormatMessage's text, without its full stop; "error N" when it has none.
std::string SystemMessage(DWORD code);
