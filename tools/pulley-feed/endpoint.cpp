#include "endpoint.h"

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

bool ParseEndpoint(const std::string& text, bool hostOptional, Endpoint& endpoint, std::string& reason)
{
    size_t colon = text.find(':');
    bool hasPort = colon != std::string::npos || hostOptional;
    std::string host = colon != std::string::npos ? text.substr(0, colon) : hostOptional ? "" : text;
    std::string port = colon != std::string::npos ? text.substr(colon + 1) : hostOptional ? text : "";
    endpoint = Endpoint{.host = host, .port = DefaultFeedPort};
    if (hasPort && !ParsePort(port, endpoint.port)) {
        reason = "\"" + text + "\" has no port from 1 to 65535";
        return false;
    }
    if ((colon != std::string::npos || !hostOptional) && !PlainHost(host)) {
        reason = "\"" + text + "\" names no host";
        return false;
    }
    return true;
}
