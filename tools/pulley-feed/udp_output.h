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

#include "endpoint.h"

class ConsoleWriter;
struct HostLookup;

struct UdpTarget {
    Endpoint endpoint;
    bool named;  // a host name, looked up; not a dotted address
    bool known;  // address holds the receiver's address
    sockaddr_in address;
    bool failing;            // its sends fail: said, until one reaches it again
    int64_t failingSinceMs;  // monotonic
    int64_t nextLookupMs;
    bool lookupFailed;  // "no address" said, until one is found
    std::shared_ptr<HostLookup> lookup;  // in flight, or null
};

struct UdpOutput {
    SOCKET socket;
    std::vector<UdpTarget> targets;
    uint64_t sent, failed;
    ConsoleWriter* console;
};

// The socket, and the targets; names are looked up from the first call of
// LookUpReceivers on. False with the reason when no socket can be had.
bool OpenUdp(UdpOutput& udp, const std::vector<Endpoint>& targets, ConsoleWriter& console, std::string& reason);
// Starts the lookups that are due and takes the answers that came.
void LookUpReceivers(UdpOutput& udp, int64_t nowMs);
// Sends the line to every receiver whose address is known. A failure (cable
// out, adapter down) is counted and said once for that receiver, however
// the others fare; sending goes on with the next line.
void SendDatagrams(UdpOutput& udp, const std::string& line, int64_t nowMs);
void CloseUdp(UdpOutput& udp);
