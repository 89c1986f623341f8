// The count on a web page, served on the feed's loop: the page, a stream of
// its readings as Server-Sent Events, and the reading as JSON. Read-only:
// nothing a browser sends changes anything.
#pragma once

#include <winsock2.h>

#include <string>

#include "tcp_server.h"

struct HttpServer {
    TcpServer tcp;
    std::string stationName;
    std::string latestJson;  // the newest reading, for count.json and new streams
};

// Listens on the address; false with the reason.
bool OpenHttpServer(HttpServer& server, const sockaddr_in& address, size_t maxClients, const std::string& stationName,
                    std::string& reason);
// The newest reading, and, when it is due, an event to every stream.
void PublishToHttp(HttpServer& server, const std::string& json, bool due, int64_t nowMs);
void CloseHttpServer(HttpServer& server);
