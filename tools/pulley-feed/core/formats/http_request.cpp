// Request heads read and checked, their routes, answers' heads, the page.
#include "formats/http_request.h"

#include <cstring>

// A token's characters (the method), as HTTP defines them.
static bool IsToken(const std::string& text)
{
    return !text.empty() &&
           std::strspn(text.c_str(), "!#$%&'*+-.^_`|~0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ") ==
               text.size();
}

// Printable ASCII but the space: what a request target may hold.
static bool IsTarget(const std::string& text)
{
    if (text.empty() || text[0] != '/')
        return false;
    for (char c : text)
        if (c <= ' ' || c >= 127)
            return false;
    return true;
}

// Where the head ends: after its first empty line. A line ends with CR LF
// or, as some tools send it, LF alone, so the empty line is LF or CR LF
// after a line's LF. npos until it has come.
static size_t HeadEnd(const std::string& bytes)
{
    for (size_t lf = bytes.find('\n'); lf != std::string::npos; lf = bytes.find('\n', lf + 1)) {
        if (bytes.compare(lf + 1, 1, "\n") == 0)
            return lf + 2;
        if (bytes.compare(lf + 1, 2, "\r\n") == 0)
            return lf + 3;
    }
    return std::string::npos;
}

HeadState ReadRequestHead(const std::string& bytes, HttpRequest& request)
{
    size_t end = HeadEnd(bytes);
    if (end == std::string::npos)
        return bytes.size() >= MostRequestHeadBytes ? HeadState::TooLarge : HeadState::Incomplete;
    if (end > MostRequestHeadBytes)
        return HeadState::TooLarge;
    if (bytes.find('\0') < end)
        return HeadState::Malformed;
    std::string line = bytes.substr(0, bytes.find('\n'));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    size_t first = line.find(' '), second = line.rfind(' ');
    if (first == std::string::npos || second == first)
        return HeadState::Malformed;
    std::string target = line.substr(first + 1, second - first - 1);
    std::string version = line.substr(second + 1);
    request.method = line.substr(0, first);
    if (!IsToken(request.method) || !IsTarget(target) || (version != "HTTP/1.0" && version != "HTTP/1.1"))
        return HeadState::Malformed;
    size_t question = target.find('?');
    request.path = target.substr(0, question);
    request.query = question == std::string::npos ? "" : target.substr(question + 1);
    request.headBytes = end;
    return HeadState::Complete;
}

bool IsHead(const HttpRequest& request)
{
    return request.method == "HEAD";
}

Route RouteOf(const HttpRequest& request)
{
    if (request.method != "GET" && !IsHead(request))
        return Route::MethodNotAllowed;
    if (request.path == "/")
        return Route::Page;
    if (request.path == "/events")
        return Route::Events;
    if (request.path == "/count.json")
        return Route::Count;
    if (request.path == "/history.json")
        return Route::History;
    if (request.path == "/casts.json")
        return Route::Casts;
    return Route::NotFound;
}

std::vector<std::string> SplitQuery(const std::string& query)
{
    std::vector<std::string> parts;
    for (size_t start = 0; start < query.size();) {
        size_t end = query.find('&', start);
        if (end == std::string::npos)
            end = query.size();
        parts.push_back(query.substr(start, end - start));
        start = end + 1;
        if (end + 1 == query.size())
            parts.push_back("");  // a part left empty at the end
    }
    return parts;
}

static const char* ReasonOf(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return "Error";
    }
}

std::string ResponseHead(int status, const char* contentType, long long length, bool staysOpen,
                         const std::string& extraHeaders)
{
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + ReasonOf(status) + "\r\n";
    head += std::string("Content-Type: ") + contentType + "\r\n";
    if (length >= 0)
        head += "Content-Length: " + std::to_string(length) + "\r\n";
    head += "Cache-Control: no-store\r\nX-Content-Type-Options: nosniff\r\n";
    head += staysOpen ? "" : "Connection: close\r\n";
    return head + extraHeaders + "\r\n";
}

static std::string EscapedHtml(const std::string& text)
{
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c; break;
        }
    }
    return escaped;
}

static void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string FeedPage(const std::string& stationName, const std::string& nonce)
{
    std::string page = FeedPageHtml;
    ReplaceAll(page, "{{NONCE}}", nonce);
    ReplaceAll(page, "{{NAME}}", EscapedHtml(stationName));
    return page;
}

// The page's own script and style, its events and its JSON: nothing from
// elsewhere, no frames, no forms.
std::string PagePolicy(const std::string& nonce)
{
    return "default-src 'none'; script-src 'nonce-" + nonce + "'; style-src 'nonce-" + nonce +
           "'; connect-src 'self'; img-src data:; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";
}
