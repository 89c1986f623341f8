// The count on a web page, served on the feed's loop: the page, a stream of
// its readings as Server-Sent Events, the reading as JSON, the trend and
// the casts the page charts, and the wire log. Read-only unless the
// settings give a write token: then marks and acknowledgements come as
// POSTs that carry it, bounded by the write gate; without it nothing a
// browser sends changes anything. A day's history is megabytes: such an answer is built at most
// once a second (those asking the same in that second share it), and each
// address has one being sent at a time, four in all; a request beyond
// that waits its turn.
#pragma once

#include <winsock2.h>

#include <string>
#include <vector>

#include "formats/endpoint.h"
#include "formats/http_request.h"
#include "running/commands.h"
#include "running/feed_state.h"
#include "running/write_gate.h"
#include "tcp_server.h"

// What the server asks of the feed, on the feed's own thread.
struct WebRequests {
    CommandAnswer (*Run)(void* context, const FeedCommand& command);  // a write
    std::string (*WireLog)(void* context);                            // /wire-log.csv
    void (*Say)(void* context, const std::string& message);          // the refusals, once a minute
    void* context;
};

// The writes the settings allow: none without a token.
struct WebWrites {
    std::string token;
    std::vector<std::string> markButtons;
};

class HttpServer : public TcpOutput {
public:
    // Listens on the endpoint; false with the reason. The history and the
    // casts are the feed's, read on the same thread.
    bool Open(const Endpoint& endpoint, size_t maxClients, const std::string& stationName, const FeedState& feed,
              const WebWrites& writes, const WebRequests& requests, std::string& reason);

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
    void AnswerWrite(TcpClient& client, const HttpRequest& request, Route route, int64_t nowMs);
    const std::string* HistoryBody(const TcpClient& client, const HistoryQuery& query, int64_t nowMs);
    size_t LargeAnswersSending(const in_addr* from) const;

    std::string stationName_;
    const FeedState* feed_ = nullptr;
    std::string latestJson_;  // the newest reading, for count.json and new streams
    WebWrites writes_;
    WebRequests requests_{};
    WriteGate gate_;
    std::vector<BuiltHistory> histories_;
    int64_t largeBuiltMs_ = -1;  // when the last large history was built
};
