#include "tcp_server.h"

#include "system_text.h"

// Little is kept in the system's buffers for a client, so that one that
// stops taking its lines is seen soon by the queue that waits here.
constexpr int ClientSendBufferBytes = 2 * 1024;

static void SetOption(SOCKET socket, int level, int option, int value)
{
    setsockopt(socket, level, option, reinterpret_cast<const char*>(&value), sizeof value);
}

// Sends and receives that would wait return at once instead.
static bool NeverWait(SOCKET socket)
{
    u_long nonBlocking = 1;
    return ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}

bool OpenTcpServer(TcpServer& server, const sockaddr_in& address, size_t maxClients, std::string& reason)
{
    server = TcpServer{.listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP), .maxClients = maxClients,
                       .clients = {}, .refused = 0, .dropped = 0};
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

void QueueForClients(TcpServer& server, const std::string& bytes, int64_t nowMs)
{
    for (TcpClient& client : server.clients) {
        if (client.queued.empty())
            client.lastTakenMs = nowMs;  // the wait for it starts now
        client.queued += bytes;
    }
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

static void AcceptClients(TcpServer& server, int64_t nowMs)
{
    for (;;) {
        SOCKET socket = accept(server.listener, nullptr, nullptr);
        if (socket == INVALID_SOCKET)
            return;
        if (server.clients.size() >= server.maxClients) {
            closesocket(socket);
            server.refused++;
            continue;
        }
        NeverWait(socket);
        SetOption(socket, IPPROTO_TCP, TCP_NODELAY, TRUE);  // lines go out at once, not gathered by Nagle
        SetOption(socket, SOL_SOCKET, SO_SNDBUF, ClientSendBufferBytes);
        server.clients.push_back({.socket = socket, .queued = "", .lastTakenMs = nowMs, .peerDone = false,
                                  .inputSecondMs = nowMs, .inputThisSecond = 0});
    }
}

// What the client sends is read and thrown away; false when it is gone or
// floods.
static bool ReadClient(TcpClient& client, int64_t nowMs)
{
    char ignored[1024];
    int got = recv(client.socket, ignored, sizeof ignored, 0);
    if (got == 0) {  // it shut down its sending side; it may still receive
        client.peerDone = true;
        return true;
    }
    if (got < 0)
        return WSAGetLastError() == WSAEWOULDBLOCK;
    if (nowMs - client.inputSecondMs >= 1000) {
        client.inputSecondMs = nowMs;
        client.inputThisSecond = 0;
    }
    client.inputThisSecond += static_cast<size_t>(got);
    return client.inputThisSecond <= MostInputPerSecond;
}

// False when the client is gone or has taken nothing for too long.
static bool WriteClient(TcpClient& client, int64_t nowMs)
{
    int sent = send(client.socket, client.queued.data(), static_cast<int>(client.queued.size()), 0);
    if (sent < 0 && WSAGetLastError() != WSAEWOULDBLOCK)
        return false;
    if (sent > 0) {
        client.queued.erase(0, static_cast<size_t>(sent));
        client.lastTakenMs = nowMs;
    }
    return true;
}

static bool Healthy(const TcpClient& client, int64_t nowMs)
{
    return client.queued.empty() ||
           (nowMs - client.lastTakenMs < StuckClientMs && client.queued.size() <= ClientQueueLimit);
}

void ServeTcpServer(TcpServer& server, const fd_set& readable, const fd_set& writable, int64_t nowMs)
{
    if (FD_ISSET(server.listener, &readable))
        AcceptClients(server, nowMs);
    for (size_t i = 0; i < server.clients.size();) {
        TcpClient& client = server.clients[i];
        bool keep = (!FD_ISSET(client.socket, &readable) || ReadClient(client, nowMs)) &&
                    (!FD_ISSET(client.socket, &writable) || WriteClient(client, nowMs)) && Healthy(client, nowMs);
        if (keep) {
            i++;
            continue;
        }
        closesocket(client.socket);
        server.dropped++;
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
