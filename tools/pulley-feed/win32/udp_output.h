// Datagrams to UDP receivers, unicast or broadcast. A receiver named by a
// host name is looked up on a thread of its own, so a slow or absent name
// server never holds the lines: a name that has no address yet is tried
// again every 30 s, and a name whose sends have failed for a minute is
// looked up again (a logger PC given a new address).
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/endpoint.h"
#include "network.h"

class ConsoleWriter;
struct HostLookup;

struct UdpTarget {
    Endpoint endpoint;
    bool named;  // a host name, looked up; not a dotted address
    bool known;  // address holds the receiver's address
    sockaddr_in address;
    bool failing;        // its sends fail: said, until one reaches it again
    int64_t lookUpAtMs;  // the next look-up of its name, when due (monotonic)
    bool lookupFailed;   // "no address" said, until one is found
    std::shared_ptr<HostLookup> lookup;  // in flight, or null
};

// Every line as a datagram to every receiver whose address is known. A
// failure (cable out, adapter down) is counted and said once for that
// receiver, however the others fare; sending goes on with the next line.
class UdpOutput : public NetworkOutput {
public:
    UdpOutput(const std::vector<Endpoint>& targets, ConsoleWriter& console);
    ~UdpOutput() override;
    // False with the reason when no socket can be had.
    bool Open(std::string& reason);

    void Watch(fd_set&, fd_set&) const override {}
    // Starts the lookups that are due and takes the answers that came.
    void Serve(const fd_set& readable, int64_t nowMs) override;
    void Publish(const Publication& publication, int64_t nowMs) override;
    std::string Status() const override;

private:
    void Send(const std::string& line, int64_t nowMs);
    void TakeLookup(UdpTarget& target, int64_t nowMs);

    SOCKET socket_ = INVALID_SOCKET;
    std::vector<UdpTarget> targets_;
    uint64_t sent_ = 0, failed_ = 0;
    ConsoleWriter& console_;
};
