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
};

// Reads the head at the start of bytes: the request line and the header
// lines, ended by an empty line. Only the request line matters to the
// feed; header lines must merely be lines. Incomplete until the empty line
// comes, TooLarge beyond MostRequestHeadBytes.
HeadState ReadRequestHead(const std::string& bytes, HttpRequest& request);

enum class Route { Page, Events, Count, History, Casts, NotFound, MethodNotAllowed };
Route RouteOf(const HttpRequest& request);
bool IsHead(const HttpRequest& request);  // HEAD: the head of the answer only
// A query's parts, split at each &: "seconds=60&step=1" is two.
std::vector<std::string> SplitQuery(const std::string& query);

// The head of an answer, with Content-Length when length >= 0. Every
// answer but the event stream closes the connection after it.
std::string ResponseHead(int status, const char* contentType, long long length, bool staysOpen = false,
                         const std::string& extraHeaders = "");

// The page, built into the program from page.html: the station's name in
// it (as text, whatever it holds), and the nonce that its one script and
// its one style carry, which the Content-Security-Policy allows and nothing
// else.
extern const char FeedPageHtml[];
std::string FeedPage(const std::string& stationName, const std::string& nonce);
std::string PagePolicy(const std::string& nonce);
