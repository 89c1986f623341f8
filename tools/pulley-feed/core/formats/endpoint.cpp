// Addresses as the options name them: host, port, or both.
#include "formats/endpoint.h"

#include <cstring>

static bool ParsePort(const std::string& text, uint16_t& port)
{
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    int value = std::stoi(text);
    if (value < 1 || value > 65535)
        return false;
    port = static_cast<uint16_t>(value);
    return true;
}

// Letters, digits, dots, hyphens and underscores: a host name or an IPv4
// address, nothing a lookup would have to guess at.
static bool PlainHost(const std::string& host)
{
    return !host.empty() && host.size() <= 253 &&
           std::strspn(host.c_str(), "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_") ==
               host.size();
}

bool ParseEndpoint(const std::string& text, EndpointKind kind, Endpoint& endpoint, std::string& reason)
{
    size_t colon = text.find(':');
    bool digitsAlone = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    // Without a colon the text is the host, or for a listener the port
    // (and for the web either, told apart by its digits).
    bool portAlone = colon == std::string::npos && (kind == EndpointKind::Listener || (kind == EndpointKind::Web && digitsAlone));
    std::string host = colon != std::string::npos ? text.substr(0, colon) : portAlone ? "" : text;
    std::string port = colon != std::string::npos ? text.substr(colon + 1) : portAlone ? text : "";
    endpoint = Endpoint{.text = text, .host = host, .port = kind == EndpointKind::Web ? DefaultWebPort : DefaultFeedPort};
    if ((colon != std::string::npos || portAlone) && !ParsePort(port, endpoint.port)) {
        reason = "\"" + text + "\" has no port from 1 to 65535";
        return false;
    }
    if (!portAlone && !PlainHost(host)) {
        reason = "\"" + text + "\" names no host";
        return false;
    }
    // Digits alone would be taken for an address (10110 is 0.0.39.126): a
    // receiver given its port without its host.
    if (!portAlone && host.find_first_not_of("0123456789") == std::string::npos) {
        reason = "\"" + text + "\" names no host: give the receiver's address, and its port after a colon if not " +
                 std::to_string(DefaultFeedPort) + " (such as 192.168.1.255:" + host + ")";
        return false;
    }
    return true;
}
