#include "sockets.h"

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

bool NeverWait(SOCKET socket)
{
    u_long nonBlocking = 1;
    return ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}
