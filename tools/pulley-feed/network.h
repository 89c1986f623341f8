// The thread that serves the network: the UDP receivers, the TCP line
// server and the web servers, and a socket of its own on 127.0.0.1 through
// which the other threads wake it (a new reading, Ctrl+C) while it waits in
// select().
#pragma once

#include <winsock2.h>

#include <memory>
#include <string>
#include <vector>

#include "http_server.h"
#include "tcp_server.h"
#include "udp_output.h"

struct FeedNetwork {
    SOCKET wake;
    sockaddr_in wakeAddress;
    UdpOutput udp;      // socket INVALID_SOCKET when not asked for
    TcpServer lines;    // listener INVALID_SOCKET when not asked for
    std::vector<std::unique_ptr<HttpServer>> webs;  // each its handler's context: it stays put
};

bool OpenWakeSocket(FeedNetwork& network, std::string& reason);
// From any thread: ServeNetwork returns at once.
void WakeNetwork(const FeedNetwork& network);
// Serves the sockets for up to waitMs, returning early when woken.
void ServeNetwork(FeedNetwork& network, int waitMs);
// Every reading goes to the web servers, for those who ask, and to their
// streams when it is an event; each line due to every output.
void PublishToNetwork(FeedNetwork& network, const std::vector<std::string>& lines, const std::string& json, bool event,
                      int64_t nowMs);
void CloseNetwork(FeedNetwork& network);
