// The TCP line server: every line to every client; what clients send is
// read and thrown away, so nothing on the network can reset or preset the
// count.
#pragma once

#include <string>

#include "formats/endpoint.h"
#include "tcp_server.h"

class LineServer : public TcpOutput {
public:
    // Listens on the endpoint; false with the reason.
    bool Open(const Endpoint& endpoint, size_t maxClients, std::string& reason);

    void Publish(const Publication& publication, int64_t nowMs) override;
    std::string Status() const override;
};
