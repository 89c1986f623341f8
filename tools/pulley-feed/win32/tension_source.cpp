// The load cell's lines, from a serial port or datagrams.
#include "tension_source.h"

#include "feed_stop.h"
#include "sockets.h"
#include "sources.h"

// A serial port with nothing to read is looked at again this soon: lines
// come 20 a second.
constexpr DWORD SerialLookMs = 10;
// A datagram holds at most this much: a few lines.
constexpr int MostDatagramBytes = 2048;

bool TensionSource::OpenPort(std::string& reason)
{
    serial_ = OpenLinePort(port_, baudRate_, reason);
    return serial_ != INVALID_HANDLE_VALUE;
}

bool TensionSource::Open(const std::string& port, DWORD baudRate, int udpPort,
                         std::function<void(std::vector<std::string>&&)> take,
                         std::function<void(const std::string&)> say, std::string& reason)
{
    port_ = port;
    baudRate_ = baudRate;
    take_ = std::move(take);
    say_ = std::move(say);
    if (!port.empty()) {
        if (!OpenPort(reason))
            return false;
        thread_ = std::thread([this] { ReadPort(); });
        return true;
    }
    socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(udpPort));
    address.sin_addr.s_addr = htonl(INADDR_ANY);  // the monitor sends to this PC, or to the LAN's broadcast
    if (socket_ == INVALID_SOCKET ||
        bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == SOCKET_ERROR) {
        reason = "UDP port " + std::to_string(udpPort) + ": " + SocketMessage(WSAGetLastError());
        return false;
    }
    thread_ = std::thread([this] { ReadDatagrams(); });
    return true;
}

void TensionSource::ReadPort()
{
    char buffer[4096];
    while (!FeedStopAsked()) {
        DWORD errors = 0, received = 0;
        if (serial_ == INVALID_HANDLE_VALUE) {
            std::string reason;
            if (!PauseUnlessFeedStops(static_cast<DWORD>(SerialReopenMs)) || !OpenPort(reason))
                continue;
            say_(port_ + " is open again: the tension is read");
            reader_ = {};
        }
        if (!ClearCommError(serial_, &errors, nullptr) || !ReadFile(serial_, buffer, sizeof buffer, &received, nullptr)) {
            say_(port_ + " failed (" + SystemMessage(GetLastError()) +
                 "): no tension until it is back; it is opened again every 2 s");
            CloseHandle(serial_);
            serial_ = INVALID_HANDLE_VALUE;
            continue;
        }
        std::vector<std::string> lines;
        ReadTensionBytes(reader_, buffer, received, lines);
        if (!lines.empty())
            take_(std::move(lines));
        if (received == 0)
            PauseUnlessFeedStops(SerialLookMs);
    }
}

void TensionSource::ReadDatagrams()
{
    char buffer[MostDatagramBytes];
    while (!FeedStopAsked()) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_, &readable);
        timeval wait{0, 200000};  // to see the stop
        if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
            continue;
        int received = recv(socket_, buffer, sizeof buffer, 0);
        if (received <= 0)
            continue;  // a datagram too long for a few lines is no monitor's: dropped
        std::vector<std::string> lines;
        ReadTensionBytes(reader_, buffer, static_cast<size_t>(received), lines);
        ReadTensionBytes(reader_, "\n", 1, lines);  // a datagram ends its last line
        if (!lines.empty())
            take_(std::move(lines));
    }
}

void TensionSource::Close()
{
    if (thread_.joinable())
        thread_.join();
    if (serial_ != INVALID_HANDLE_VALUE)
        CloseHandle(serial_);
    if (socket_ != INVALID_SOCKET)
        closesocket(socket_);
    serial_ = INVALID_HANDLE_VALUE;
    socket_ = INVALID_SOCKET;
}
