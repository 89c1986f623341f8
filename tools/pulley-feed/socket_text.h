// The usual socket failures in words, as not every system (Wine) has texts
// for them; the system's text for the others.
#pragma once

#include <string>

#include "system_text.h"

std::string SocketMessage(int code);
