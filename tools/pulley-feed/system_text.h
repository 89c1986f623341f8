// The system's words for its error codes, for messages a person must act on.
#pragma once

#include <windows.h>

#include <string>

std::string SystemMessage(DWORD code);
// The usual socket failures in words, as not every system (Wine) has texts
// for them; the system's text for the others.
std::string SocketMessage(int code);
