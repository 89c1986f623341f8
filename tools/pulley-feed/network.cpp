#include "network.h"

#include <cstdio>

#include "sources.h"

// A client more than this behind has stopped reading (at one line a second
// that is several minutes of lines): it is dropped, not waited for.
constexpr size_t ClientQueueLimit = 64 * 1024;

// The usual causes in words, as not every system has texts for them.
std::string SocketMessage(int code)
{
    switch (code) {
    case WSAEADDRINUSE: return "the port is in use by another program";
    case WSAEADDRNOTAVAIL: return "no such address on this computer";
    case WSAEACCES: return "access denied (a broadcast address, or a port kept for the system)";
    case WSAENETUNREACH: return "no network to reach it";
    case WSAENETDOWN: return "the network is down";
    default: return SystemMessage(static_cast<DWORD>(code));
    }
}

static bool ParsePort(const std::string& text, u_short& port)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    int value = std::stoi(text);
    if (value < 1 || value > 65535)
        return false;
    port = static_cast<u_short>(value);
    return true;
}

static bool ResolveHost(const std::string& host, in_addr& address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

bool ParseEndpoint(const std::string& text, bool hostOptional, sockaddr_in& address, std::string& reason)
{
    address = sockaddr_in{};
    address.sin_family = AF_INET;
    size_t colon = text.rfind(':');
    std::string host = colon == std::string::npos ? (hostOptional ? "" : text) : text.substr(0, colon);
    std::string port = colon == std::string::npos ? (hostOptional ? text : "") : text.substr(colon + 1);
    u_short number = DefaultFeedPort;
    if ((!port.empty() || hostOptional) && !ParsePort(port, number)) {
        reason = "\"" + text + "\" has no port from 1 to 65535";
        return false;
    }
    address.sin_port = htons(number);
    if (host.empty()) {
        if (!hostOptional) {
            reason = "\"" + text + "\" names no host";
            return false;
        }
        address.sin_addr.s_addr = htonl(INADDR_ANY);
    } else if (!ResolveHost(host, address.sin_addr)) {
        reason = "no address for \"" + host + "\"";
        return false;
    }
    return true;
}

static void TurnOn(SOCKET socket, int level, int option)
{
    BOOL on = TRUE;
    setsockopt(socket, level, option, reinterpret_cast<const char*>(&on), sizeof on);
}

// Sends and receives that would wait return at once instead: the feed
// never waits on one client, receiver or connection.
static bool NeverWait(SOCKET socket)
{
    u_long nonBlocking = 1;
    return ioctlsocket(socket, FIONBIO, &nonBlocking) == 0;
}

bool OpenUdp(UdpOutput& udp, std::string& reason)
{
    udp.socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (udp.socket == INVALID_SOCKET || !NeverWait(udp.socket)) {
        reason = SocketMessage(WSAGetLastError());
        return false;
    }
    TurnOn(udp.socket, SOL_SOCKET, SO_BROADCAST);  // a target such as 192.168.1.255
    return true;
}

void SendDatagrams(UdpOutput& udp, const std::string& line)
{
    for (UdpTarget& target : udp.targets) {
        int result = sendto(udp.socket, line.data(), static_cast<int>(line.size()), 0,
                            reinterpret_cast<const sockaddr*>(&target.address), sizeof target.address);
        if (result == static_cast<int>(line.size())) {
            udp.sent++;
            if (target.failing)
                std::fprintf(stderr, "pulley-feed: datagrams reach %s again\n", target.name.c_str());
            target.failing = false;
            continue;
        }
        udp.failed++;
        if (!target.failing)
            std::fprintf(stderr,
                         "pulley-feed: a datagram to %s could not be sent (%s); trying again with the next line\n",
                         target.name.c_str(), SocketMessage(WSAGetLastError()).c_str());
        target.failing = true;
    }
}

bool OpenTcpServer(TcpServer& server, const sockaddr_in& address, size_t maxClients, std::string& reason)
{
    server.maxClients = maxClients;
    server.listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (server.listener == INVALID_SOCKET) {
        reason = SocketMessage(WSAGetLastError());
        return false;
    }
    // Another program on the port is an error to report, not a port to share.
    TurnOn(server.listener, SOL_SOCKET, SO_EXCLUSIVEADDRUSE);
    if (bind(server.listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        listen(server.listener, SOMAXCONN) != 0 || !NeverWait(server.listener)) {
        reason = SocketMessage(WSAGetLastError());
        closesocket(server.listener);
        server.listener = INVALID_SOCKET;
        return false;
    }
    return true;
}

void QueueLine(TcpServer& server, const std::string& line)
{
    for (TcpClient& client : server.clients)
        client.queued += line;
}

static void AcceptClients(TcpServer& server)
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
        TurnOn(socket, IPPROTO_TCP, TCP_NODELAY);  // lines go out at once, not gathered by Nagle
        server.clients.push_back({.socket = socket, .queued = ""});
    }
}

// False when the client is gone: closed, reset, or too far behind.
static bool ServeClient(TcpClient& client, bool readable, bool writable)
{
    if (readable) {
        char ignored[512];
        int got = recv(client.socket, ignored, sizeof ignored, 0);
        if (got == 0 || (got < 0 && WSAGetLastError() != WSAEWOULDBLOCK))
            return false;
    }
    if (writable && !client.queued.empty()) {
        int sent = send(client.socket, client.queued.data(), static_cast<int>(client.queued.size()), 0);
        if (sent < 0 && WSAGetLastError() != WSAEWOULDBLOCK)
            return false;
        if (sent > 0)
            client.queued.erase(0, static_cast<size_t>(sent));
    }
    return client.queued.size() <= ClientQueueLimit;
}

void ServeClients(TcpServer& server, int waitMs)
{
    fd_set readable, writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_SET(server.listener, &readable);
    for (const TcpClient& client : server.clients) {
        FD_SET(client.socket, &readable);
        if (!client.queued.empty())
            FD_SET(client.socket, &writable);
    }
    timeval timeout{waitMs / 1000, (waitMs % 1000) * 1000};
    if (select(0, &readable, &writable, nullptr, &timeout) <= 0)
        return;
    if (FD_ISSET(server.listener, &readable))
        AcceptClients(server);
    for (size_t i = 0; i < server.clients.size();) {
        TcpClient& client = server.clients[i];
        if (ServeClient(client, FD_ISSET(client.socket, &readable), FD_ISSET(client.socket, &writable))) {
            i++;
            continue;
        }
        closesocket(client.socket);
        server.dropped++;
        server.clients.erase(server.clients.begin() + static_cast<long>(i));
    }
}
