#include "http_server.h"

#include <cstdio>
#include <random>

#include "http_request.h"

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

static void StartEvents(HttpServer& server, TcpClient& client, bool headOnly, int64_t nowMs)
{
    std::string head = ResponseHead(200, "text/event-stream", -1, !headOnly);
    if (headOnly) {
        QueueForClient(client, head, nowMs);
        client.closeWhenSent = true;
        client.deadlineMs = -1;
        return;
    }
    std::string start = "retry: " + std::to_string(EventRetryMs) + "\n\n";
    if (!server.latestJson.empty())  // the current reading at once, not at the next change
        start += "data: " + server.latestJson + "\n\n";
    QueueForClient(client, head + start, nowMs);
    client.subscribed = true;
    client.deadlineMs = -1;
}

static void AnswerRequest(HttpServer& server, TcpClient& client, const HttpRequest& request, int64_t nowMs)
{
    bool headOnly = IsHead(request);
    switch (RouteOf(request)) {
    case Route::Page: {
        std::string nonce = Nonce();
        Answer(client, 200, "text/html; charset=utf-8", FeedPage(server.stationName, nonce), headOnly, nowMs,
               "Content-Security-Policy: " + PagePolicy(nonce) + "\r\nReferrer-Policy: no-referrer\r\n");
        break;
    }
    case Route::Events:
        StartEvents(server, client, headOnly, nowMs);
        break;
    case Route::Count:
        if (server.latestJson.empty())
            Answer(client, 503, "text/plain", "no reading yet\n", headOnly, nowMs, "Retry-After: 1\r\n");
        else
            Answer(client, 200, "application/json", server.latestJson + "\n", headOnly, nowMs);
        break;
    case Route::NotFound:
        Answer(client, 404, "text/plain", "not found: this feed serves /, /events and /count.json\n", headOnly, nowMs);
        break;
    case Route::MethodNotAllowed:
        Answer(client, 405, "text/plain", "read only: GET and HEAD\n", false, nowMs, "Allow: GET, HEAD\r\n");
        break;
    }
}

static bool OnReceived(void* context, TcpClient& client, int64_t nowMs)
{
    HttpServer& server = *static_cast<HttpServer*>(context);
    if (client.received.empty()) {  // just accepted
        client.deadlineMs = nowMs + RequestHeadMs;
        return true;
    }
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
        AnswerRequest(server, client, request, nowMs);
        break;
    }
    client.received.clear();
    return true;
}

bool OpenHttpServer(HttpServer& server, const sockaddr_in& address, size_t maxClients, const std::string& stationName,
                    std::string& reason)
{
    server.stationName = stationName;
    server.latestJson.clear();
    return OpenTcpServer(server.tcp, address, maxClients, MostWebInputPerSecond,
                         {.Received = OnReceived, .context = &server}, reason);
}

void PublishToHttp(HttpServer& server, const std::string& json, bool due, int64_t nowMs)
{
    server.latestJson = json;
    if (due)
        QueueForClients(server.tcp, "data: " + json + "\n\n", nowMs);
}

void CloseHttpServer(HttpServer& server)
{
    CloseTcpServer(server.tcp);
}
