// The network addresses the options name, read but not yet looked up.
#pragma once

#include <cstdint>
#include <string>

constexpr uint16_t DefaultFeedPort = 10110;  // the port NMEA routers use

struct Endpoint {
    std::string host;  // a name or dotted address; empty: every interface
    uint16_t port;
};

// "HOST[:PORT]" (port 10110 unless given) or, with hostOptional,
// "[ADDR:]PORT"; false, with the reason, for anything else.
bool ParseEndpoint(const std::string& text, bool hostOptional, Endpoint& endpoint, std::string& reason);
