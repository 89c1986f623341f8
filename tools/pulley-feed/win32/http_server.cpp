#include "http_server.h"

#include <cstdio>
#include <random>

// A request head must be whole within this time, or the connection closes:
// a client that opens connections and sends nothing holds no place for long.
constexpr int64_t RequestHeadMs = 5000;
// A head of up to 8 KiB at once, and then next to nothing.
constexpr size_t MostWebInputPerSecond = 16 * 1024;
// How long a browser waits before it reconnects a stream that ended.
constexpr int EventRetryMs = 2000;

// A fresh nonce for each page: only the script and style that carry it run.
static std::string Nonce()
{
    static std::random_device entropy;
    char text[33];
    std::snprintf(text, sizeof text, "%08x%08x%08x%08x", entropy(), entropy(), entropy(), entropy());
    return text;
}

static void Answer(TcpClient& client, int status, const char* type, const std::string& body, bool headOnly,
                   int64_t nowMs, const std::string& extraHeaders = "")
{
    QueueForClient(client,
                   ResponseHead(status, type, static_cast<long long>(body.size()), false, extraHeaders) +
                       (headOnly ? "" : body),
                   nowMs);
    client.closeWhenSent = true;
    client.deadlineMs = -1;
}

void HttpServer::StartEvents(TcpClient& client, bool headOnly, int64_t nowMs)
{
    std::string head = ResponseHead(200, "text/event-stream", -1, !headOnly);
    if (headOnly) {
        QueueForClient(client, head, nowMs);
        client.closeWhenSent = true;
        client.deadlineMs = -1;
        return;
    }
    std::string start = "retry: " + std::to_string(EventRetryMs) + "\n\n";
    if (!latestJson_.empty())  // the current reading at once, not at the next change
        start += "data: " + latestJson_ + "\n\n";
    QueueForClient(client, head + start, nowMs);
    client.subscribed = true;
    client.deadlineMs = -1;
}

void HttpServer::AnswerRequest(TcpClient& client, const HttpRequest& request, int64_t nowMs)
{
    bool headOnly = IsHead(request);
    switch (RouteOf(request)) {
    case Route::Page: {
        std::string nonce = Nonce();
        Answer(client, 200, "text/html; charset=utf-8", FeedPage(stationName_, nonce), headOnly, nowMs,
               "Content-Security-Policy: " + PagePolicy(nonce) + "\r\nReferrer-Policy: no-referrer\r\n");
        break;
    }
    case Route::Events:
        StartEvents(client, headOnly, nowMs);
        break;
    case Route::Count:
        if (latestJson_.empty())
            Answer(client, 503, "text/plain", "no reading yet\n", headOnly, nowMs, "Retry-After: 1\r\n");
        else
            Answer(client, 200, "application/json", latestJson_ + "\n", headOnly, nowMs);
        break;
    case Route::History: {
        HistoryQuery query;
        if (!ParseHistoryQuery(request.query, query)) {
            Answer(client, 400, "text/plain", "history.json takes seconds=1..86400 and step=1..3600\n", headOnly, nowMs);
        } else if (const std::string* body = HistoryBody(client, query, nowMs)) {
            Answer(client, 200, "application/json", *body, headOnly, nowMs);
        } else {
            client.held = true;  // its turn comes when a large answer is sent, or in the next second
            client.deadlineMs = -1;
        }
        break;
    }
    case Route::Casts:
        Answer(client, 200, "application/json",
               (feed_->trackCasts ? CastsJson(feed_->listedCasts, feed_->casts) : std::string("[]")) + "\n", headOnly,
               nowMs);
        break;
    case Route::NotFound:
        Answer(client, 404, "text/plain",
               "not found: this feed serves /, /events, /count.json, /history.json and /casts.json\n", headOnly, nowMs);
        break;
    case Route::MethodNotAllowed:
        Answer(client, 405, "text/plain", "read only: GET and HEAD\n", false, nowMs, "Allow: GET, HEAD\r\n");
        break;
    }
}

// An answer whose body is larger than a stream may let wait.
static bool SendingLarge(const TcpClient& client)
{
    return client.closeWhenSent && client.queued.size() > StreamQueueLimit;
}

size_t HttpServer::LargeAnswersSending(const in_addr* from) const
{
    size_t count = 0;
    for (const TcpClient& client : server_.clients)
        count += SendingLarge(client) && (from == nullptr || client.address.s_addr == from->s_addr);
    return count;
}

// A history of more points than this is a large answer (points are about
// 25 bytes each).
constexpr int64_t LargeHistoryPoints = 2000;
constexpr int64_t HistoryBuiltForMs = 1000;
constexpr size_t MostLargeAnswersSending = 4;

const std::string* HttpServer::HistoryBody(const TcpClient& client, const HistoryQuery& query, int64_t nowMs)
{
    bool large = query.seconds / query.step > LargeHistoryPoints;
    if (large && (LargeAnswersSending(&client.address) > 0 || LargeAnswersSending(nullptr) >= MostLargeAnswersSending))
        return nullptr;
    std::erase_if(histories_, [nowMs](const BuiltHistory& built) { return nowMs - built.builtMs >= HistoryBuiltForMs; });
    for (const BuiltHistory& built : histories_)
        if (built.query.seconds == query.seconds && built.query.step == query.step)
            return &built.body;
    if (large && largeBuiltMs_ >= 0 && nowMs - largeBuiltMs_ < HistoryBuiltForMs)
        return nullptr;
    if (large)
        largeBuiltMs_ = nowMs;
    histories_.push_back({query, nowMs, HistoryJson(feed_->history, query, feed_->limits) + "\n"});
    return &histories_.back().body;
}

void HttpServer::Serve(const fd_set& readable, int64_t nowMs)
{
    TcpOutput::Serve(readable, nowMs);
    for (TcpClient& client : server_.clients)
        if (client.held) {
            client.held = false;
            OnReceived(this, client, nowMs);
        }
}

void HttpServer::OnAccepted(void*, TcpClient& client, int64_t nowMs)
{
    client.deadlineMs = nowMs + RequestHeadMs;
}

bool HttpServer::OnReceived(void* context, TcpClient& client, int64_t nowMs)
{
    HttpServer& server = *static_cast<HttpServer*>(context);
    if (client.subscribed || client.closeWhenSent) {  // answered: what follows is not read
        client.received.clear();
        return true;
    }
    HttpRequest request;
    switch (ReadRequestHead(client.received, request)) {
    case HeadState::Incomplete:
        return true;
    case HeadState::TooLarge:
        Answer(client, 431, "text/plain", "the request head is larger than 8 KiB\n", false, nowMs);
        break;
    case HeadState::Malformed:
        Answer(client, 400, "text/plain", "not an HTTP request\n", false, nowMs);
        break;
    case HeadState::Complete:
        server.AnswerRequest(client, request, nowMs);
        break;
    }
    if (!client.held)
        client.received.clear();
    return true;
}

bool HttpServer::Open(const Endpoint& endpoint, size_t maxClients, const std::string& stationName,
                      const FeedState& feed, std::string& reason)
{
    stationName_ = stationName;
    feed_ = &feed;
    return OpenTcpServer(server_, endpoint, maxClients, MostWebInputPerSecond,
                         {.Accepted = OnAccepted, .Received = OnReceived, .context = this}, reason);
}

void HttpServer::Publish(const Publication& publication, int64_t nowMs)
{
    latestJson_ = publication.json;
    if (publication.event)
        QueueForClients(server_, "data: " + publication.json + "\n\n", nowMs);
}

std::string HttpServer::Status() const
{
    return std::to_string(server_.clients.size()) + " web";
}
