// What the feed's sockets share: the usual failures in words, as not every
// system (Wine) has texts for them, and sockets that never wait.
#pragma once

#include <winsock2.h>

#include <string>

#include "system_text.h"

std::string SocketMessage(int code);
// Sends and receives that would wait return at once instead: the feed never
// waits on one client, receiver or connection. False when refused.
bool NeverWait(SOCKET socket);
