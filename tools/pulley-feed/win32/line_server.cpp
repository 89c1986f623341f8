#include "line_server.h"

// A receiver has nothing to say: more than this in a second is a flood.
constexpr size_t MostLineInputPerSecond = 4096;

bool LineServer::Open(const Endpoint& endpoint, size_t maxClients, std::string& reason)
{
    return OpenTcpServer(server_, endpoint, maxClients, MostLineInputPerSecond,
                         {.Accepted = nullptr, .Received = nullptr, .context = nullptr}, reason);
}

void LineServer::Publish(const Publication& publication, int64_t nowMs)
{
    for (const std::string& line : publication.lines)
        QueueForClients(server_, line, nowMs);
}

std::string LineServer::Status() const
{
    return std::to_string(server_.clients.size()) + " TCP clients";
}
