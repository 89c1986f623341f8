// A TCP server for receivers: any number of clients up to a limit, no more
// than half of them from one address, each with a queue of its own, served
// without ever waiting on one. A receiver has little to say: a client that
// shuts down its sending side still gets what is sent to it; one that
// sends more than the server allows in a second, or takes nothing of what
// waits for it for 30 s, is dropped and its place freed, and so is a
// subscriber (a stream) that lets more than 64 KiB wait; an answer is sent
// whole, however large. The line server sends every client every line; the
// web server reads a request from each first, through its handler.
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <string>
#include <vector>

#include "formats/endpoint.h"
#include "network.h"

struct TcpClient {
    SOCKET socket;
    in_addr address;         // where it connects from
    std::string queued;      // bytes it has not taken yet
    int64_t lastTakenMs;     // when it last took bytes, or had none waiting (monotonic)
    bool peerDone;           // it shut down its sending side
    int64_t inputSecondMs;   // the second its input is counted in
    size_t inputThisSecond;
    std::string received;    // what it sent, for the handler
    bool subscribed;         // gets what is sent to all clients
    bool closeWhenSent;      // dropped once its queue is empty
    bool closing;            // its answer is sent and its sending side shut down
    int64_t deadlineMs;      // dropped at this time; -1: none
    bool held;               // its request waits its turn, in received (the handler's to set)
};

// What a server does with a new client and with what its clients send.
// False from Received drops the client.
struct TcpHandler {
    void (*Accepted)(void* context, TcpClient& client, int64_t nowMs);
    bool (*Received)(void* context, TcpClient& client, int64_t nowMs);
    void* context;
};

struct TcpServer {
    SOCKET listener = INVALID_SOCKET;
    size_t maxClients = 0;
    size_t mostInputPerSecond = 0;
    TcpHandler handler{};  // null Received: input is thrown away, every client subscribed at once
    std::vector<TcpClient> clients;
    uint64_t refused = 0, dropped = 0;  // beyond the limits; gone, flooding or stuck (not those closed when done)
};

constexpr int64_t StuckClientMs = 30000;
constexpr size_t StreamQueueLimit = 64 * 1024;

// Listens on the endpoint (every interface when it names no host); false
// with the reason (a port in use, say).
bool OpenTcpServer(TcpServer& server, const Endpoint& endpoint, size_t maxClients, size_t mostInputPerSecond,
                   const TcpHandler& handler, std::string& reason);
// Queues the bytes for every subscribed client.
void QueueForClients(TcpServer& server, const std::string& bytes, int64_t nowMs);
void QueueForClient(TcpClient& client, const std::string& bytes, int64_t nowMs);
// The sockets to watch: the listener, every client that may still send,
// and those with bytes waiting.
void WatchTcpServer(const TcpServer& server, fd_set& readable, fd_set& writable);
// Accepts, sends, reads, and drops those that are gone, flooding, stuck or
// done.
void ServeTcpServer(TcpServer& server, const fd_set& readable, int64_t nowMs);
void CloseTcpServer(TcpServer& server);

// A network output served by a TcpServer: watched and served as one, and
// closed with it.
class TcpOutput : public NetworkOutput {
public:
    ~TcpOutput() override { CloseTcpServer(server_); }
    void Watch(fd_set& readable, fd_set& writable) const override { WatchTcpServer(server_, readable, writable); }
    void Serve(const fd_set& readable, int64_t nowMs) override { ServeTcpServer(server_, readable, nowMs); }

protected:
    TcpServer server_;
};
