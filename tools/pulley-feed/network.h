// The thread that serves the network: the UDP receivers and the TCP line
// server, and a socket of its own on 127.0.0.1 through which the other
// threads wake it (a new reading, Ctrl+C) while it waits in select().
#pragma once

#include <winsock2.h>

#include <string>

#include "tcp_server.h"
#include "udp_output.h"

struct FeedNetwork {
    SOCKET wake;
    sockaddr_in wakeAddress;
    UdpOutput udp;      // socket INVALID_SOCKET when not asked for
    TcpServer lines;    // listener INVALID_SOCKET when not asked for
};

bool OpenWakeSocket(FeedNetwork& network, std::string& reason);
// From any thread: ServeNetwork returns at once.
void WakeNetwork(const FeedNetwork& network);
// Serves the sockets for up to waitMs, returning early when woken.
void ServeNetwork(FeedNetwork& network, int waitMs);
void SendToNetwork(FeedNetwork& network, const std::string& line, int64_t nowMs);
void CloseNetwork(FeedNetwork& network);
