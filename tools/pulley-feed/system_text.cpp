#include "system_text.h"

#include <winsock2.h>

std::string SystemMessage(DWORD code)
{
    char text[256] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == '.'))
        text[--length] = '\0';
    if (length == 0)
        return "error " + std::to_string(code);
    return text;
}

std::string SocketMessage(int code)
{
    switch (code) {
    case WSAEADDRINUSE: return "the port is in use by another program";
    case WSAEADDRNOTAVAIL: return "no such address on this computer";
    case WSAEACCES: return "access denied (a broadcast address, or a port kept for the system)";
    case WSAENETUNREACH: return "no network to reach it";
    case WSAEHOSTUNREACH: return "no route to that host";
    case WSAENETDOWN: return "the network is down";
    default: return SystemMessage(static_cast<DWORD>(code));
    }
}
