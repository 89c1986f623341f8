#include "network.h"

#include "sockets.h"

FeedNetwork::~FeedNetwork()
{
    outputs.clear();
    if (wake != INVALID_SOCKET)
        closesocket(wake);
}

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
    for (const auto& output : network.outputs)
        output->Watch(readable, writable);
    timeval timeout{waitMs / 1000, (waitMs % 1000) * 1000};
    if (select(0, &readable, &writable, nullptr, &timeout) <= 0) {
        FD_ZERO(&readable);  // nothing came; what is due by the clock still is
        FD_ZERO(&writable);
    }
    int64_t nowMs = static_cast<int64_t>(GetTickCount64());
    char drained[64];
    while (FD_ISSET(network.wake, &readable) && recv(network.wake, drained, sizeof drained, 0) > 0) {
    }
    for (const auto& output : network.outputs)
        output->Serve(readable, nowMs);
}

void PublishToNetwork(FeedNetwork& network, const Publication& publication, int64_t nowMs)
{
    for (const auto& output : network.outputs)
        output->Publish(publication, nowMs);
}

std::string NetworkStatus(const FeedNetwork& network)
{
    std::string status;
    for (const auto& output : network.outputs) {
        if (!status.empty())
            status.append(", ");
        status.append(output->Status());
    }
    return status;
}
