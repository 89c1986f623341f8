// A TCP server for receivers: any number of clients up to a limit, each
// with a queue of its own, served without ever waiting on one. A receiver
// has nothing to say: a client that shuts down its sending side still gets
// its lines; one that sends more than a few KiB a second, or takes nothing
// of what waits for it for 30 s, is dropped and its place freed.
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <string>
#include <vector>

struct TcpClient {
    SOCKET socket;
    std::string queued;      // bytes it has not taken yet
    int64_t lastTakenMs;     // when it last took bytes, or had none waiting (monotonic)
    bool peerDone;           // it shut down its sending side
    int64_t inputSecondMs;   // the second its input is counted in
    size_t inputThisSecond;
};

struct TcpServer {
    SOCKET listener;
    size_t maxClients;
    std::vector<TcpClient> clients;
    uint64_t refused, dropped;  // beyond the limit; gone, flooding or stuck
};

constexpr int64_t StuckClientMs = 30000;
constexpr size_t MostInputPerSecond = 4096;
constexpr size_t ClientQueueLimit = 64 * 1024;

// Listens on the address; false with the reason (a port in use, say).
bool OpenTcpServer(TcpServer& server, const sockaddr_in& address, size_t maxClients, std::string& reason);
void QueueForClients(TcpServer& server, const std::string& bytes, int64_t nowMs);
// The sockets to watch: the listener, every client that may still send,
// and those with bytes waiting.
void WatchTcpServer(const TcpServer& server, fd_set& readable, fd_set& writable);
// Accepts, sends, reads and throws away, and drops those that are gone,
// flooding or stuck.
void ServeTcpServer(TcpServer& server, const fd_set& readable, const fd_set& writable, int64_t nowMs);
void CloseTcpServer(TcpServer& server);
