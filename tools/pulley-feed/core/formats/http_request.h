// The little HTTP the feed's page needs: a request head read and checked,
// the route it asks for, and the head of the answer. Portable, so that the
// parser is fuzzed with the feed's other readers.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

constexpr size_t MostRequestHeadBytes = 8 * 1024;

enum class HeadState { Incomplete, Complete, TooLarge, Malformed };

struct HttpRequest {
    std::string method;
    std::string path;   // the target without its query
    std::string query;  // after '?', without it
    size_t headBytes;   // the head's length, its blank line included
    // The header fields a write needs; the others are merely lines.
    long long contentLength = 0;  // -1: a length that is no number
    std::string authorization, idempotencyKey;
};

// Reads the head at the start of bytes: the request line and the header
// lines, ended by an empty line. Incomplete until the empty line comes,
// TooLarge beyond MostRequestHeadBytes.
HeadState ReadRequestHead(const std::string& bytes, HttpRequest& request);

// Marks and acknowledgements from a page on the LAN, taken only with a
// write token (writes true); without one, every POST is refused.
enum class Route { Page, Events, Count, History, Casts, WireLog, Marks, Acks, NotFound, MethodNotAllowed };
Route RouteOf(const HttpRequest& request, bool writes = false);
// A write's body is small: a larger one is refused unread.
constexpr long long MostBodyBytes = 1024;
// Whether the request's Authorization is "Bearer TOKEN" for this token,
// compared in a time that does not depend on where they differ.
bool TokenMatches(const std::string& authorization, const std::string& token);
// The bodies of the writes, JSON: {"text": "..."} and {"id": N}. False for
// anything else (another member, a text that is no UTF-8 once unescaped).
bool ReadMarkBody(const std::string& body, std::string& text);
bool ReadAckBody(const std::string& body, long long& id);
// OpenVDM's answer to api/warehouse/getCruiseID: {"cruiseID": "..."}.
bool ReadCruiseIdAnswer(const std::string& body, std::string& id);
// An http:// address: its host, port (80 unless given) and path (with its
// query); false for anything else.
bool ParseHttpAddress(const std::string& address, std::string& host, int& port, std::string& path);
bool IsHead(const HttpRequest& request);  // HEAD: the head of the answer only
// A query's parts, split at each &: "seconds=60&step=1" is two.
std::vector<std::string> SplitQuery(const std::string& query);

// The head of an answer, with Content-Length when length >= 0. Every
// answer but the event stream closes the connection after it.
std::string ResponseHead(int status, const char* contentType, long long length, bool staysOpen = false,
                         const std::string& extraHeaders = "");

// The page, built into the program from page.html: the station's name in
// it (as text, whatever it holds), the mark buttons' texts (shown on a
// screen given the write token), and the nonce that its one script and
// its one style carry, which the Content-Security-Policy allows and nothing
// else.
extern const char FeedPageHtml[];
std::string FeedPage(const std::string& stationName, const std::string& nonce,
                     const std::vector<std::string>& markButtons = {});
std::string PagePolicy(const std::string& nonce);
