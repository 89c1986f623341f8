// The page, its events and JSON, and the writes a token allows.
#include "http_server.h"

#include <ws2tcpip.h>

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

// The address a client connects from, as the record names it.
static std::string AddressOf(const TcpClient& client)
{
    char text[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &client.address, text, sizeof text);
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

// A write: refused unless it carries the token, fits the gate, and its body
// is a mark or an acknowledgement; else made, and answered 201 with the
// event's row. A key answered in the last 10 minutes gets the same answer,
// and no second row.
void HttpServer::AnswerWrite(TcpClient& client, const HttpRequest& request, Route route, int64_t nowMs)
{
    GateAnswer answer;
    std::string body = client.received.substr(request.headBytes, static_cast<size_t>(request.contentLength));
    std::string text;
    long long id = 0;
    if (request.contentLength < 0 || request.contentLength > MostBodyBytes)
        answer = {413, "a write's body is at most 1 KiB\n"};
    else if (!TokenMatches(request.authorization, writes_.token))
        answer = {401, "a write carries the feed's write token: Authorization: Bearer TOKEN\n"};
    else if (gate_.Replay(request.idempotencyKey, nowMs, answer))
        ;
    else if (!gate_.Admit(AddressOf(client), nowMs))
        answer = {429, "at most 10 writes a minute from one address\n"};
    else if (route == Route::Marks && (!ReadMarkBody(body, text) || text.empty() || text.size() > MostMarkBytes))
        answer = {400, "a mark is {\"text\": \"...\"}, up to 200 bytes of UTF-8\n"};
    else if (route == Route::Acks && !ReadAckBody(body, id))
        answer = {400, "an acknowledgement is {\"id\": N}, N an alarm's number\n"};
    else {
        FeedCommand command{{route == Route::Marks ? "mark" : "ack", route == Route::Marks ? text : std::to_string(id)},
                            AddressOf(client)};
        CommandAnswer done = requests_.Run(requests_.context, command);
        answer = done.done ? GateAnswer{201, done.text + "\n"} : GateAnswer{409, done.text + "\n"};
        gate_.Remember(request.idempotencyKey, nowMs, answer);
    }
    if (answer.status >= 400)
        gate_.Refused(answer.status);
    Answer(client, answer.status, answer.status == 201 ? "application/json" : "text/plain", answer.body, false, nowMs,
           answer.status == 401 ? "WWW-Authenticate: Bearer\r\n" : answer.status == 429 ? "Retry-After: 60\r\n" : "");
}

void HttpServer::AnswerRequest(TcpClient& client, const HttpRequest& request, int64_t nowMs)
{
    bool headOnly = IsHead(request);
    Route route = RouteOf(request, !writes_.token.empty());
    switch (route) {
    case Route::Page: {
        std::string nonce = Nonce();
        Answer(client, 200, "text/html; charset=utf-8", FeedPage(stationName_, nonce, writes_.markButtons), headOnly,
               nowMs, "Content-Security-Policy: " + PagePolicy(nonce) + "\r\nReferrer-Policy: no-referrer\r\n");
        break;
    }
    case Route::Marks:
    case Route::Acks:
        AnswerWrite(client, request, route, nowMs);
        break;
    case Route::WireLog:
        Answer(client, 200, "text/csv; charset=utf-8", requests_.WireLog(requests_.context), headOnly, nowMs,
               "Content-Disposition: attachment; filename=\"wire-log.csv\"\r\n");
        break;
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
               "not found: this feed serves /, /events, /count.json, /history.json, /casts.json and "
               "/wire-log.csv\n",
               headOnly, nowMs);
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
    std::string refusals = gate_.SayRefusals(nowMs);
    if (!refusals.empty())
        requests_.Say(requests_.context, refusals);
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
        // A write's body, when it is small enough to wait for, comes first.
        if (request.contentLength > 0 && request.contentLength <= MostBodyBytes &&
            client.received.size() < request.headBytes + static_cast<size_t>(request.contentLength))
            return true;
        server.AnswerRequest(client, request, nowMs);
        break;
    }
    if (!client.held)
        client.received.clear();
    return true;
}

bool HttpServer::Open(const Endpoint& endpoint, size_t maxClients, const std::string& stationName,
                      const FeedState& feed, const WebWrites& writes, const WebRequests& requests, std::string& reason)
{
    stationName_ = stationName;
    feed_ = &feed;
    writes_ = writes;
    requests_ = requests;
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
