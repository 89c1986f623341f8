// OpenVDM asked for the cruise id every minute.
#include "cruise_source.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "feed_stop.h"
#include "formats/http_request.h"
#include "sockets.h"

constexpr int HttpWaitMs = 5000;
constexpr size_t MostAnswerBytes = 64 * 1024;

// Waits for the socket to be ready to read (or write); false after the wait.
static bool Ready(SOCKET socket, bool toWrite)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(socket, &set);
    timeval wait{HttpWaitMs / 1000, 0};
    return select(0, toWrite ? nullptr : &set, toWrite ? &set : nullptr, nullptr, &wait) == 1;
}

bool HttpGet(const std::string& address, std::string& body, std::string& reason)
{
    std::string host, path;
    int port = 80;
    addrinfo hints{}, *found = nullptr;
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    if (!ParseHttpAddress(address, host, port, path) ||
        getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
        reason = "no address for " + host;
        return false;
    }
    SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    bool connected = socket != INVALID_SOCKET && NeverWait(socket) &&
                     (connect(socket, found->ai_addr, static_cast<int>(found->ai_addrlen)) == 0 ||
                      WSAGetLastError() == WSAEWOULDBLOCK) &&
                     Ready(socket, true);
    freeaddrinfo(found);
    std::string request = "GET " + path + " HTTP/1.0\r\nHost: " + host + "\r\nAccept: application/json\r\n\r\n";
    std::string answer;
    if (connected && send(socket, request.data(), static_cast<int>(request.size()), 0) == static_cast<int>(request.size())) {
        char chunk[4096];
        int got;
        while (answer.size() < MostAnswerBytes && Ready(socket, false) && (got = recv(socket, chunk, sizeof chunk, 0)) > 0)
            answer.append(chunk, static_cast<size_t>(got));
    }
    if (socket != INVALID_SOCKET)
        closesocket(socket);
    size_t blank = answer.find("\r\n\r\n");
    if (answer.compare(0, 9, "HTTP/1.1 ") != 0 && answer.compare(0, 9, "HTTP/1.0 ") != 0) {
        reason = connected ? "no answer" : "no connection";
        return false;
    }
    if (answer.compare(9, 3, "200") != 0 || blank == std::string::npos) {
        reason = "it answered " + answer.substr(9, answer.find('\r') - 9);
        return false;
    }
    body = answer.substr(blank + 4);
    return true;
}

void CruiseSource::Open(const std::string& address, std::function<CommandAnswer(const FeedCommand&)> ask,
                        std::function<void(const std::string&)> say)
{
    address_ = address;
    ask_ = std::move(ask);
    say_ = std::move(say);
    thread_ = std::thread([this] { Run(); });
}

void CruiseSource::Run()
{
    bool failing = false;
    std::string last;
    do {
        std::string body, reason, id;
        if (HttpGet(address_, body, reason) && !ReadCruiseIdAnswer(body, id))
            reason = "its answer holds no cruiseID";
        if (id.empty()) {
            if (!failing)
                say_("OpenVDM at " + address_ + " gives no cruise id (" + reason + "): the cruise stays " +
                     (last.empty() ? "as set" : last));
            failing = true;
            continue;
        }
        if (failing)
            say_("OpenVDM gives the cruise id again: " + id);
        failing = false;
        if (id != last) {
            CommandAnswer answer = ask_({{"cruise", id}, "openvdm"});
            if (!answer.done)
                say_("OpenVDM's cruise id is refused: " + answer.text);
            last = id;
        }
    } while (PauseUnlessFeedStops(CruiseAskEveryMs));
}

void CruiseSource::Close()
{
    if (thread_.joinable())
        thread_.join();
}
