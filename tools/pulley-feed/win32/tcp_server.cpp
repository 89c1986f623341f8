#include "tcp_server.h"

#include <ws2tcpip.h>

#include <algorithm>

#include "sockets.h"

// Little is kept in the system's buffers for a client, so that one that
// stops taking its lines is seen soon by the queue that waits here.
constexpr int ClientSendBufferBytes = 2 * 1024;

static void SetOption(SOCKET socket, int level, int option, int value)
{
    setsockopt(socket, level, option, reinterpret_cast<const char*>(&value), sizeof value);
}

bool OpenTcpServer(TcpServer& server, const Endpoint& endpoint, size_t maxClients, size_t mostInputPerSecond,
                   const TcpHandler& handler, std::string& reason)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(endpoint.port);
    if (!endpoint.host.empty() && inet_pton(AF_INET, endpoint.host.c_str(), &address.sin_addr) != 1) {
        reason = endpoint.host + " is not an address of this computer";
        return false;
    }
    server = TcpServer{.listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP),
                       .maxClients = maxClients,
                       .mostInputPerSecond = mostInputPerSecond,
                       .handler = handler,
                       .clients = {},
                       .refused = 0,
                       .dropped = 0};
    if (server.listener == INVALID_SOCKET) {
        reason = SocketMessage(WSAGetLastError());
        return false;
    }
    // Another program on the port is an error to report, not a port to share.
    SetOption(server.listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, TRUE);
    if (bind(server.listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(server.listener, SOMAXCONN) != 0 || !NeverWait(server.listener)) {
        reason = SocketMessage(WSAGetLastError());
        CloseTcpServer(server);
        return false;
    }
    return true;
}

void QueueForClient(TcpClient& client, const std::string& bytes, int64_t nowMs)
{
    if (client.queued.empty())
        client.lastTakenMs = nowMs;  // the wait for it starts now
    client.queued += bytes;
}

void QueueForClients(TcpServer& server, const std::string& bytes, int64_t nowMs)
{
    for (TcpClient& client : server.clients)
        if (client.subscribed)
            QueueForClient(client, bytes, nowMs);
}

void WatchTcpServer(const TcpServer& server, fd_set& readable, fd_set& writable)
{
    FD_SET(server.listener, &readable);
    for (const TcpClient& client : server.clients) {
        if (!client.peerDone)
            FD_SET(client.socket, &readable);
        if (!client.queued.empty())
            FD_SET(client.socket, &writable);
    }
}

static size_t ClientsFrom(const TcpServer& server, in_addr address)
{
    size_t count = 0;
    for (const TcpClient& client : server.clients)
        count += client.address.s_addr == address.s_addr;
    return count;
}

// No one address holds more than half the places, so that a host that
// reconnects without end (a tablet's browser gone wrong) leaves the others
// theirs; a server of one place gives it to whoever comes.
static void AcceptClients(TcpServer& server, int64_t nowMs)
{
    size_t mostFromOneAddress = std::max<size_t>(1, server.maxClients / 2);
    for (;;) {
        sockaddr_in peer{};
        int peerLength = sizeof peer;
        SOCKET socket = accept(server.listener, reinterpret_cast<sockaddr*>(&peer), &peerLength);
        if (socket == INVALID_SOCKET)
            return;
        if (server.clients.size() >= server.maxClients || ClientsFrom(server, peer.sin_addr) >= mostFromOneAddress) {
            closesocket(socket);
            server.refused++;
            continue;
        }
        NeverWait(socket);
        SetOption(socket, IPPROTO_TCP, TCP_NODELAY, TRUE);  // lines go out at once, not gathered by Nagle
        SetOption(socket, SOL_SOCKET, SO_SNDBUF, ClientSendBufferBytes);
        server.clients.push_back({.socket = socket,
                                  .address = peer.sin_addr,
                                  .queued = "",
                                  .lastTakenMs = nowMs,
                                  .peerDone = false,
                                  .inputSecondMs = nowMs,
                                  .inputThisSecond = 0,
                                  .received = "",
                                  .subscribed = server.handler.Received == nullptr,
                                  .closeWhenSent = false,
                                  .closing = false,
                                  .deadlineMs = -1,
                                  .held = false});
        if (server.handler.Accepted != nullptr)
            server.handler.Accepted(server.handler.context, server.clients.back(), nowMs);
    }
}

// A client after each step: kept; closed when done with, as it should be;
// or dropped: gone, flooding, stuck, or refused by the handler.
enum class ClientFate { Keep, Done, Drop };

// What the client sends goes to the handler, or is thrown away.
static ClientFate ReadClient(TcpServer& server, TcpClient& client, int64_t nowMs)
{
    char bytes[1024];
    int got = recv(client.socket, bytes, sizeof bytes, 0);
    if (got == 0) {  // it shut down its sending side; it may still receive, unless answered
        client.peerDone = true;
        return client.closing ? ClientFate::Done : ClientFate::Keep;
    }
    if (got < 0)
        return WSAGetLastError() == WSAEWOULDBLOCK ? ClientFate::Keep : ClientFate::Drop;
    if (nowMs - client.inputSecondMs >= 1000) {
        client.inputSecondMs = nowMs;
        client.inputThisSecond = 0;
    }
    client.inputThisSecond += static_cast<size_t>(got);
    if (client.inputThisSecond > server.mostInputPerSecond)
        return ClientFate::Drop;
    if (server.handler.Received == nullptr || client.closing)
        return ClientFate::Keep;
    client.received.append(bytes, static_cast<size_t>(got));
    return server.handler.Received(server.handler.context, client, nowMs) ? ClientFate::Keep : ClientFate::Drop;
}

// A client whose answer is all sent gets the end of it (its sending side
// shut down), and is closed once it closes too, or after a few seconds: a
// socket closed with input unread may reset the connection, and with it
// the end of the answer.
constexpr int64_t ClosingMs = 5000;

static ClientFate WriteClient(TcpClient& client, int64_t nowMs)
{
    int sent = send(client.socket, client.queued.data(), static_cast<int>(client.queued.size()), 0);
    if (sent < 0 && WSAGetLastError() != WSAEWOULDBLOCK)
        return ClientFate::Drop;
    if (sent > 0) {
        client.queued.erase(0, static_cast<size_t>(sent));
        client.lastTakenMs = nowMs;
    }
    if (client.queued.empty() && client.closeWhenSent && !client.closing) {
        shutdown(client.socket, SD_SEND);
        client.closing = true;
        client.deadlineMs = nowMs + ClosingMs;
    }
    return client.closing && client.peerDone ? ClientFate::Done : ClientFate::Keep;
}

// A client that has taken nothing for too long is dropped, and a stream
// that falls behind; one whose time is up is done with once answered, and
// dropped before (a head that never came whole).
static ClientFate ByTheClock(const TcpClient& client, int64_t nowMs)
{
    if (client.deadlineMs >= 0 && nowMs >= client.deadlineMs)
        return client.closing ? ClientFate::Done : ClientFate::Drop;
    bool stuck = !client.queued.empty() && (nowMs - client.lastTakenMs >= StuckClientMs ||
                                            (client.subscribed && client.queued.size() > StreamQueueLimit));
    return stuck ? ClientFate::Drop : ClientFate::Keep;
}

// Sends are tried whenever bytes wait, not only when select() saw room: an
// answer made from what was just read goes out at once, and a send with no
// room returns at once.
void ServeTcpServer(TcpServer& server, const fd_set& readable, int64_t nowMs)
{
    if (FD_ISSET(server.listener, &readable))
        AcceptClients(server, nowMs);
    for (size_t i = 0; i < server.clients.size();) {
        TcpClient& client = server.clients[i];
        ClientFate fate = FD_ISSET(client.socket, &readable) ? ReadClient(server, client, nowMs) : ClientFate::Keep;
        bool wantsToSend = !client.queued.empty() || (client.closeWhenSent && !client.closing);
        if (fate == ClientFate::Keep && wantsToSend)
            fate = WriteClient(client, nowMs);
        if (fate == ClientFate::Keep)
            fate = ByTheClock(client, nowMs);
        if (fate == ClientFate::Keep) {
            i++;
            continue;
        }
        closesocket(client.socket);
        server.dropped += fate == ClientFate::Drop;
        server.clients.erase(server.clients.begin() + static_cast<long>(i));
    }
}

void CloseTcpServer(TcpServer& server)
{
    for (const TcpClient& client : server.clients)
        closesocket(client.socket);
    server.clients.clear();
    if (server.listener != INVALID_SOCKET)
        closesocket(server.listener);
    server.listener = INVALID_SOCKET;
}
