#include "udp_output.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <mutex>
#include <thread>

#include "running/console_writer.h"
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

UdpOutput::UdpOutput(const std::vector<Endpoint>& targets, ConsoleWriter& console) : console_(console)
{
    for (const Endpoint& endpoint : targets) {
        UdpTarget target{.endpoint = endpoint, .named = false, .known = false, .address = {}, .failing = false,
                         .lookUpAtMs = 0, .lookupFailed = false, .lookup = nullptr};
        target.address.sin_family = AF_INET;
        target.address.sin_port = htons(target.endpoint.port);
        target.known = Resolve(target.endpoint.host, true, target.address.sin_addr);  // a dotted address
        target.named = !target.known;
        targets_.push_back(target);
    }
}

UdpOutput::~UdpOutput()
{
    if (socket_ != INVALID_SOCKET)
        closesocket(socket_);
}

bool UdpOutput::Open(std::string& reason)
{
    socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (socket_ == INVALID_SOCKET || !NeverWait(socket_)) {
        reason = "no UDP socket: " + SocketMessage(WSAGetLastError());
        return false;
    }
    BOOL on = TRUE;  // a target such as 192.168.1.255
    setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on);
    return true;
}

void UdpOutput::TakeLookup(UdpTarget& target, int64_t nowMs)
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
            console_.Message("datagrams go to " + target.endpoint.text + " at " + inet_ntoa(address));
        target.known = true;
        target.lookupFailed = false;
        target.lookUpAtMs = nowMs + FailingBeforeLookupMs;
        return;
    }
    if (target.known) {  // the old address stays until a lookup finds another
        target.lookUpAtMs = nowMs + FailingBeforeLookupMs;
        return;
    }
    if (!target.lookupFailed)
        console_.Message("no address for " + target.endpoint.host + "; looking again every 30 s");
    target.lookupFailed = true;
    target.lookUpAtMs = nowMs + LookUpAgainMs;
}

void UdpOutput::Serve(const fd_set&, int64_t nowMs)
{
    for (UdpTarget& target : targets_) {
        if (target.lookup != nullptr) {
            TakeLookup(target, nowMs);
            continue;
        }
        // A name with no address yet, or one whose sends have failed for a
        // while (a logger PC given a new address).
        bool due = nowMs >= target.lookUpAtMs && (!target.known || target.failing);
        if (target.named && due)
            target.lookup = StartLookup(target.endpoint.host);
    }
}

void UdpOutput::Publish(const Publication& publication, int64_t nowMs)
{
    for (const std::string& line : publication.lines)
        Send(line, nowMs);
}

void UdpOutput::Send(const std::string& line, int64_t nowMs)
{
    for (UdpTarget& target : targets_) {
        if (!target.known)
            continue;
        int result = sendto(socket_, line.data(), static_cast<int>(line.size()), 0,
                            reinterpret_cast<const sockaddr*>(&target.address), sizeof target.address);
        if (result == static_cast<int>(line.size())) {
            sent_++;
            if (target.failing)
                console_.Message("datagrams reach " + target.endpoint.text + " again");
            target.failing = false;
            continue;
        }
        failed_++;
        if (!target.failing) {
            console_.Message("a datagram to " + target.endpoint.text + " could not be sent (" +
                             SocketMessage(WSAGetLastError()) + "); trying again with the next line");
            target.lookUpAtMs = std::max(target.lookUpAtMs, nowMs + FailingBeforeLookupMs);
        }
        target.failing = true;
    }
}

std::string UdpOutput::Status() const
{
    return std::to_string(sent_) + " datagrams";
}
