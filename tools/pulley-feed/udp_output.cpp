#include "udp_output.h"

#include <ws2tcpip.h>

#include <mutex>
#include <thread>

#include "console_writer.h"
#include "sockets.h"

constexpr int64_t LookUpAgainMs = 30000;     // a name with no address yet
constexpr int64_t FailingBeforeLookupMs = 60000;  // sends to a known address that fail

struct HostLookup {
    std::mutex lock;
    bool done = false;
    bool found = false;
    in_addr address{};
};

static bool Resolve(const std::string& host, bool numericOnly, in_addr& address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_flags = numericOnly ? AI_NUMERICHOST : 0;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

// The thread holds the lookup too, so it may outlive the feed's interest in
// it, or the feed itself, which does not wait for a name server at exit.
static std::shared_ptr<HostLookup> StartLookup(const std::string& host)
{
    auto lookup = std::make_shared<HostLookup>();
    std::thread([lookup, host] {
        in_addr address{};
        bool found = Resolve(host, false, address);
        std::lock_guard<std::mutex> hold(lookup->lock);
        lookup->found = found;
        lookup->address = address;
        lookup->done = true;
    }).detach();
    return lookup;
}

bool OpenUdp(UdpOutput& udp, const std::vector<Endpoint>& targets, ConsoleWriter& console, std::string& reason)
{
    udp = UdpOutput{.socket = INVALID_SOCKET, .targets = {}, .sent = 0, .failed = 0, .console = &console};
    for (const Endpoint& endpoint : targets) {
        UdpTarget target{.endpoint = endpoint, .named = false, .known = false, .address = {}, .failing = false,
                         .failingSinceMs = 0, .nextLookupMs = 0, .lookupFailed = false, .lookup = nullptr};
        target.address.sin_family = AF_INET;
        target.address.sin_port = htons(target.endpoint.port);
        target.known = Resolve(target.endpoint.host, true, target.address.sin_addr);  // a dotted address
        target.named = !target.known;
        udp.targets.push_back(target);
    }
    udp.socket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (udp.socket == INVALID_SOCKET || !NeverWait(udp.socket)) {
        reason = "no UDP socket: " + SocketMessage(WSAGetLastError());
        return false;
    }
    BOOL on = TRUE;  // a target such as 192.168.1.255
    setsockopt(udp.socket, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
    return true;
}

static void TakeLookup(UdpOutput& udp, UdpTarget& target, int64_t nowMs)
{
    bool found;
    in_addr address;
    {
        std::lock_guard<std::mutex> hold(target.lookup->lock);
        if (!target.lookup->done)
            return;
        found = target.lookup->found;
        address = target.lookup->address;
    }
    target.lookup = nullptr;
    if (found) {
        target.address.sin_addr = address;
        if (target.lookupFailed)
            udp.console->Message("datagrams go to " + target.endpoint.text + " at " + inet_ntoa(address));
        target.known = true;
        target.lookupFailed = false;
        target.failingSinceMs = nowMs;  // a minute more before the next lookup
        return;
    }
    if (target.known) {  // the old address stays until a lookup finds another
        target.failingSinceMs = nowMs;
        return;
    }
    if (!target.lookupFailed)
        udp.console->Message("no address for " + target.endpoint.host + "; looking again every 30 s");
    target.lookupFailed = true;
    target.nextLookupMs = nowMs + LookUpAgainMs;
}

void LookUpReceivers(UdpOutput& udp, int64_t nowMs)
{
    for (UdpTarget& target : udp.targets) {
        if (target.lookup != nullptr) {
            TakeLookup(udp, target, nowMs);
            continue;
        }
        bool due = !target.known ? nowMs >= target.nextLookupMs
                                 : target.failing && nowMs - target.failingSinceMs >= FailingBeforeLookupMs;
        if (target.named && due)
            target.lookup = StartLookup(target.endpoint.host);
    }
}

void SendDatagrams(UdpOutput& udp, const std::string& line, int64_t nowMs)
{
    for (UdpTarget& target : udp.targets) {
        if (!target.known)
            continue;
        int result = sendto(udp.socket, line.data(), static_cast<int>(line.size()), 0,
                            reinterpret_cast<const sockaddr*>(&target.address), sizeof target.address);
        if (result == static_cast<int>(line.size())) {
            udp.sent++;
            if (target.failing)
                udp.console->Message("datagrams reach " + target.endpoint.text + " again");
            target.failing = false;
            continue;
        }
        udp.failed++;
        if (!target.failing) {
            udp.console->Message("a datagram to " + target.endpoint.text + " could not be sent (" +
                                 SocketMessage(WSAGetLastError()) + "); trying again with the next line");
            target.failingSinceMs = nowMs;
        }
        target.failing = true;
    }
}

void CloseUdp(UdpOutput& udp)
{
    if (udp.socket != INVALID_SOCKET)
        closesocket(udp.socket);
    udp.socket = INVALID_SOCKET;
}
