// pulley-feed's network outputs: datagrams to UDP receivers (unicast or
// broadcast) and a TCP line server for any number of clients, up to a limit.
// The feed only sends: nothing a client sends is acted on.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>
#include <string>
#include <vector>

constexpr int DefaultFeedPort = 10110;  // the port NMEA routers use

// "HOST[:PORT]" or, with hostOptional, "[ADDR:]PORT"; false for a text that
// is neither, with the reason.
bool ParseEndpoint(const std::string& text, bool hostOptional, sockaddr_in& address, std::string& reason);

struct UdpTarget {
    std::string name;  // as given
    sockaddr_in address;
    bool failing;  // reported, until a datagram reaches it again
};
struct UdpOutput {
    SOCKET socket;
    std::vector<UdpTarget> targets;
    uint64_t sent, failed;
};
bool OpenUdp(UdpOutput& udp, std::string& reason);
// Sends the line to every target. A failure (cable out, adapter down) is
// counted and reported once for that target, however the others fare;
// sending goes on with the next line.
void SendDatagrams(UdpOutput& udp, const std::string& line);

struct TcpClient {
    SOCKET socket;
    std::string queued;  // bytes the client has not taken yet
};
struct TcpServer {
    SOCKET listener;
    size_t maxClients;
    std::vector<TcpClient> clients;
    uint64_t dropped, refused;
};
bool OpenTcpServer(TcpServer& server, const sockaddr_in& address, size_t maxClients, std::string& reason);
void QueueLine(TcpServer& server, const std::string& line);
// Accepts new clients, sends what each can take, reads and throws away what
// they send, and drops those that are gone or stopped reading. Waits at most
// waitMs for any of that.
void ServeClients(TcpServer& server, int waitMs);

std::string SocketMessage(int code);
