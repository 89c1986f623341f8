// The count on a web page, served on the feed's loop: the page, a stream of
// its readings as Server-Sent Events, the reading as JSON, and the trend
// and the casts the page charts. Read-only: nothing a browser sends changes
// anything. A day's history is megabytes: such an answer is built at most
// once a second (those asking the same in that second share it), and each
// address has one being sent at a time, four in all; a request beyond
// that waits its turn.
#pragma once

#include <winsock2.h>

#include <string>
#include <vector>

#include "formats/endpoint.h"
#include "running/feed_state.h"
#include "formats/http_request.h"
#include "tcp_server.h"

class HttpServer : public TcpOutput {
public:
    // Listens on the endpoint; false with the reason. The history and the
    // casts are the feed's, read on the same thread.
    bool Open(const Endpoint& endpoint, size_t maxClients, const std::string& stationName, const FeedState& feed,
              std::string& reason);

    // Serves the clients, and the requests held for their turn.
    void Serve(const fd_set& readable, int64_t nowMs) override;
    // The newest reading, and, when it is an event, an event to every stream.
    void Publish(const Publication& publication, int64_t nowMs) override;
    std::string Status() const override;

private:
    // A history answer built in the last second, for the same question.
    struct BuiltHistory {
        HistoryQuery query;
        int64_t builtMs;
        std::string body;
    };

    static void OnAccepted(void* context, TcpClient& client, int64_t nowMs);
    static bool OnReceived(void* context, TcpClient& client, int64_t nowMs);
    void StartEvents(TcpClient& client, bool headOnly, int64_t nowMs);
    void AnswerRequest(TcpClient& client, const HttpRequest& request, int64_t nowMs);
    const std::string* HistoryBody(const TcpClient& client, const HistoryQuery& query, int64_t nowMs);
    size_t LargeAnswersSending(const in_addr* from) const;

    std::string stationName_;
    const FeedState* feed_ = nullptr;
    std::string latestJson_;  // the newest reading, for count.json and new streams
    std::vector<BuiltHistory> histories_;
    int64_t largeBuiltMs_ = -1;  // when the last large history was built
};
