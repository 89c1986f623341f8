// Request heads read and checked, their routes, answers' heads, the page.
#include "formats/http_request.h"

#include <algorithm>
#include <cstring>

#include "formats/reading_json.h"
#include "tool_args.h"

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
    request.contentLength = 0;
    request.authorization.clear();
    request.idempotencyKey.clear();
    for (size_t start = bytes.find('\n') + 1; start < end;) {
        size_t lineEnd = bytes.find('\n', start);
        std::string field = bytes.substr(start, lineEnd - start);
        start = lineEnd + 1;
        if (!field.empty() && field.back() == '\r')
            field.pop_back();
        size_t colon = field.find(':');
        if (colon == std::string::npos)
            continue;
        std::string name = field.substr(0, colon), value = field.substr(colon + 1);
        for (char& c : name)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        value.erase(0, value.find_first_not_of(" \t"));
        value.erase(value.find_last_not_of(" \t") + 1);
        if (name == "content-length")
            request.contentLength = !value.empty() && value.size() <= 12 &&
                                            value.find_first_not_of("0123456789") == std::string::npos
                                        ? std::stoll(value)
                                        : -1;
        else if (name == "authorization")
            request.authorization = value;
        else if (name == "idempotency-key")
            request.idempotencyKey = value;
    }
    return HeadState::Complete;
}

bool IsHead(const HttpRequest& request)
{
    return request.method == "HEAD";
}

Route RouteOf(const HttpRequest& request, bool writes)
{
    if (writes && request.method == "POST" && request.path == "/marks")
        return Route::Marks;
    if (writes && request.method == "POST" && request.path == "/acks")
        return Route::Acks;
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
    if (request.path == "/wire-log.csv")
        return Route::WireLog;
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

bool TokenMatches(const std::string& authorization, const std::string& token)
{
    const std::string prefix = "Bearer ";
    if (token.empty() || authorization.compare(0, prefix.size(), prefix) != 0)
        return false;
    std::string given = authorization.substr(prefix.size());
    // Every character of the longer is looked at, whatever differs first.
    unsigned difference = given.size() == token.size() ? 0 : 1;
    for (size_t i = 0; i < std::max(given.size(), token.size()); i++)
        difference |= static_cast<unsigned char>(i < given.size() ? given[i] : 0) ^
                      static_cast<unsigned char>(i < token.size() ? token[i] : 0);
    return difference == 0;
}

// A tiny reader of one JSON object of one member, for the writes' bodies.
struct JsonReader {
    const std::string& text;
    size_t at = 0;

    void Space()
    {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
            at++;
    }
    bool Take(char c)
    {
        Space();
        if (at >= text.size() || text[at] != c)
            return false;
        at++;
        return true;
    }
    static void Append(std::string& utf8, unsigned long point)
    {
        if (point < 0x80) {
            utf8 += static_cast<char>(point);
        } else if (point < 0x800) {
            utf8 += static_cast<char>(0xC0 | point >> 6);
            utf8 += static_cast<char>(0x80 | (point & 0x3F));
        } else if (point < 0x10000) {
            utf8 += static_cast<char>(0xE0 | point >> 12);
            utf8 += static_cast<char>(0x80 | (point >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (point & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | point >> 18);
            utf8 += static_cast<char>(0x80 | (point >> 12 & 0x3F));
            utf8 += static_cast<char>(0x80 | (point >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (point & 0x3F));
        }
    }
    bool Hex4(unsigned long& value)
    {
        if (at + 4 > text.size())
            return false;
        value = 0;
        for (int i = 0; i < 4; i++) {
            char c = text[at++];
            int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0)
                return false;
            value = value << 4 | static_cast<unsigned long>(digit);
        }
        return true;
    }
    bool String(std::string& value)
    {
        if (!Take('"'))
            return false;
        value.clear();
        while (at < text.size() && text[at] != '"') {
            char c = text[at++];
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                value += c;
                continue;
            }
            if (at >= text.size())
                return false;
            char escape = text[at++];
            static const char escapes[] = "\"\\/bfnrt", meant[] = "\"\\/\b\f\n\r\t";
            const char* plain = escape == '\0' ? nullptr : std::strchr(escapes, escape);
            if (plain != nullptr) {
                value += meant[plain - escapes];
                continue;
            }
            unsigned long point = 0, low = 0;
            if (escape != 'u' || !Hex4(point))
                return false;
            if (point >= 0xD800 && point <= 0xDBFF) {  // a pair: its low half follows
                if (text.compare(at, 2, "\\u") != 0 || (at += 2, !Hex4(low)) || low < 0xDC00 || low > 0xDFFF)
                    return false;
                point = 0x10000 + ((point - 0xD800) << 10) + (low - 0xDC00);
            } else if (point >= 0xDC00 && point <= 0xDFFF) {
                return false;
            }
            Append(value, point);
        }
        return Take('"');
    }
    // {"name": value} with nothing after it; the value read by its reader.
    template <typename ReadValue>
    bool Object(const char* name, ReadValue readValue)
    {
        std::string key;
        if (!Take('{') || !String(key) || key != name || !Take(':') || !readValue())
            return false;
        if (!Take('}'))
            return false;
        Space();
        return at == text.size();
    }
};

bool ReadMarkBody(const std::string& body, std::string& text)
{
    JsonReader reader{body};
    return reader.Object("text", [&] { return reader.String(text); }) && IsUtf8(text);
}

bool ReadAckBody(const std::string& body, long long& id)
{
    JsonReader reader{body};
    return reader.Object("id", [&] {
        reader.Space();
        size_t start = reader.at;
        while (reader.at < body.size() && body[reader.at] >= '0' && body[reader.at] <= '9' && reader.at - start < 6)
            reader.at++;
        return reader.at > start && ParseWholeNumber(body.substr(start, reader.at - start).c_str(), id);
    });
}

bool ReadCruiseIdAnswer(const std::string& body, std::string& id)
{
    JsonReader reader{body};
    return reader.Object("cruiseID", [&] { return reader.String(id); });
}

bool ParseHttpAddress(const std::string& address, std::string& host, int& port, std::string& path)
{
    const std::string scheme = "http://";
    if (address.compare(0, scheme.size(), scheme) != 0)
        return false;
    size_t slash = address.find('/', scheme.size());
    std::string authority = address.substr(scheme.size(), slash - scheme.size());
    path = slash == std::string::npos ? "/" : address.substr(slash);
    size_t colon = authority.rfind(':');
    long long number = 80;
    host = authority.substr(0, colon);
    if (colon != std::string::npos && !ParseWholeNumber(authority.substr(colon + 1).c_str(), number))
        return false;
    port = static_cast<int>(number);
    return !host.empty() && host.find_first_of(" @") == std::string::npos && number >= 1 && number <= 65535 &&
           IsTarget(path);
}

static const char* ReasonOf(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 413: return "Content Too Large";
    case 429: return "Too Many Requests";
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

std::string FeedPage(const std::string& stationName, const std::string& nonce,
                     const std::vector<std::string>& markButtons)
{
    std::string page = FeedPageHtml, marks = "[";
    for (const std::string& text : markButtons)
        marks.append(marks.size() > 1 ? "," : "").append(JsonString(text));
    ReplaceAll(page, "{{NONCE}}", nonce);
    ReplaceAll(page, "{{MARKS}}", EscapedHtml(marks + "]"));
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
