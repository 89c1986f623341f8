// The network addresses the options name, read but not yet looked up.
#pragma once

#include <cstdint>
#include <string>

constexpr uint16_t DefaultFeedPort = 10110;  // the port NMEA routers use
constexpr uint16_t DefaultWebPort = 8110;    // a port no browser refuses

struct Endpoint {
    std::string text;  // as given
    std::string host;  // a name or dotted address; empty: every interface
    uint16_t port;
};

enum class EndpointKind {
    Receiver,  // HOST[:PORT], port 10110 unless given
    Listener,  // [ADDR:]PORT, every interface unless given
    Web,       // [ADDR:]PORT or ADDR alone, port 8110 unless given
};
// False, with the reason, for a text that is not of its kind.
bool ParseEndpoint(const std::string& text, EndpointKind kind, Endpoint& endpoint, std::string& reason);
