#include "network.h"

#include "sockets.h"

bool OpenWakeSocket(FeedNetwork& network, std::string& reason)
{
    network.wake = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    network.wakeAddress = sockaddr_in{};
    network.wakeAddress.sin_family = AF_INET;
    network.wakeAddress.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof network.wakeAddress;
    if (network.wake == INVALID_SOCKET ||
        bind(network.wake, reinterpret_cast<const sockaddr*>(&network.wakeAddress), length) != 0 ||
        getsockname(network.wake, reinterpret_cast<sockaddr*>(&network.wakeAddress), &length) != 0 ||
        !NeverWait(network.wake)) {
        reason = SocketMessage(WSAGetLastError());
        return false;
    }
    return true;
}

void WakeNetwork(const FeedNetwork& network)
{
    sendto(network.wake, "!", 1, 0, reinterpret_cast<const sockaddr*>(&network.wakeAddress),
           sizeof network.wakeAddress);
}

void ServeNetwork(FeedNetwork& network, int waitMs)
{
    fd_set readable, writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_SET(network.wake, &readable);
    if (network.lines.listener != INVALID_SOCKET)
        WatchTcpServer(network.lines, readable, writable);
    for (const auto& web : network.webs)
        WatchTcpServer(web->tcp, readable, writable);
    timeval timeout{waitMs / 1000, (waitMs % 1000) * 1000};
    if (select(0, &readable, &writable, nullptr, &timeout) <= 0) {
        FD_ZERO(&readable);  // nothing came; stuck clients are still looked for
        FD_ZERO(&writable);
    }
    int64_t nowMs = static_cast<int64_t>(GetTickCount64());
    char drained[64];
    while (FD_ISSET(network.wake, &readable) && recv(network.wake, drained, sizeof drained, 0) > 0) {
    }
    if (network.lines.listener != INVALID_SOCKET)
        ServeTcpServer(network.lines, readable, nowMs);
    for (const auto& web : network.webs)
        ServeTcpServer(web->tcp, readable, nowMs);
    if (network.udp.socket != INVALID_SOCKET)
        LookUpReceivers(network.udp, nowMs);
}

void PublishToNetwork(FeedNetwork& network, const std::vector<std::string>& lines, const std::string& json, bool event,
                      int64_t nowMs)
{
    for (const auto& web : network.webs)
        PublishToHttp(*web, json, event, nowMs);
    for (const std::string& line : lines) {
        if (network.udp.socket != INVALID_SOCKET)
            SendDatagrams(network.udp, line, nowMs);
        if (network.lines.listener != INVALID_SOCKET)
            QueueForClients(network.lines, line, nowMs);
    }
}

void CloseNetwork(FeedNetwork& network)
{
    for (const auto& web : network.webs)
        CloseHttpServer(*web);
    CloseTcpServer(network.lines);
    CloseUdp(network.udp);
    if (network.wake != INVALID_SOCKET)
        closesocket(network.wake);
    network.wake = INVALID_SOCKET;
}
