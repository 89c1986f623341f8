// The feed's network outputs, all of one shape, as kplex has them: each is
// opened by its maker, watched, served and given every reading by the
// network thread, asked for its part of the status line, and closed when
// destroyed. They stand in one list, with a socket of the network thread's
// own on 127.0.0.1 through which the other threads wake it (a new reading,
// Ctrl+C) while it waits in select().
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What a reading gives the outputs: the lines due now (each a datagram or a
// line of its own) and the reading as JSON; event: whether the page's
// streams get it.
struct Publication {
    const std::vector<std::string>& lines;
    const std::string& json;
    bool event;
};

class NetworkOutput {
public:
    virtual ~NetworkOutput() = default;
    // The sockets select() is to watch.
    virtual void Watch(fd_set& readable, fd_set& writable) const = 0;
    // What select() found; and what is due by the clock, whatever it found.
    virtual void Serve(const fd_set& readable, int64_t nowMs) = 0;
    virtual void Publish(const Publication& publication, int64_t nowMs) = 0;
    // Its part of the status line: "3 TCP clients".
    virtual std::string Status() const = 0;
};

struct FeedNetwork {
    FeedNetwork() = default;
    FeedNetwork(const FeedNetwork&) = delete;
    FeedNetwork& operator=(const FeedNetwork&) = delete;
    ~FeedNetwork();

    SOCKET wake = INVALID_SOCKET;
    sockaddr_in wakeAddress{};
    std::vector<std::unique_ptr<NetworkOutput>> outputs;
};

bool OpenWakeSocket(FeedNetwork& network, std::string& reason);
// From any thread: ServeNetwork returns at once.
void WakeNetwork(const FeedNetwork& network);
// Serves the outputs for up to waitMs, returning early when woken.
void ServeNetwork(FeedNetwork& network, int waitMs);
void PublishToNetwork(FeedNetwork& network, const Publication& publication, int64_t nowMs);
// The outputs' parts of the status line, ", " between them.
std::string NetworkStatus(const FeedNetwork& network);
