// The count on a web page, served on the feed's loop: the page, a stream of
// its readings as Server-Sent Events, the reading as JSON, and the trend
// and the casts the page charts. Read-only:
// nothing a browser sends changes anything.
#pragma once

#include <winsock2.h>

#include <string>

#include "endpoint.h"
#include "feed_state.h"
#include "http_request.h"
#include "tcp_server.h"

class HttpServer : public TcpOutput {
public:
    // Listens on the endpoint; false with the reason. The history and the
    // casts are the feed's, read on the same thread.
    bool Open(const Endpoint& endpoint, size_t maxClients, const std::string& stationName, const FeedState& feed,
              std::string& reason);

    // The newest reading, and, when it is an event, an event to every stream.
    void Publish(const Publication& publication, int64_t nowMs) override;
    std::string Status() const override;

private:
    static void OnAccepted(void* context, TcpClient& client, int64_t nowMs);
    static bool OnReceived(void* context, TcpClient& client, int64_t nowMs);
    void StartEvents(TcpClient& client, bool headOnly, int64_t nowMs);
    void AnswerRequest(TcpClient& client, const HttpRequest& request, int64_t nowMs);

    std::string stationName_;
    const FeedState* feed_ = nullptr;
    std::string latestJson_;  // the newest reading, for count.json and new streams
};
