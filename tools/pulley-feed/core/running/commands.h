// What people ask of the running feed, from the winch PC (pulley-remote,
// through the feed's pipe) or from a page on the LAN given the write
// token: a mark, an alarm acknowledged, the station, a wire book entry,
// and the cruise id OpenVDM gives. Each is checked, becomes an event of the
// cruise's record, and is answered with that event's row as JSON, or
// refused with the reason and nothing written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "running/feed_state.h"

// The longest text of a mark, in bytes of UTF-8.
constexpr size_t MostMarkBytes = 200;

struct FeedCommand {
    // mark TEXT | ack ID | station ID | cruise ID |
    // wire EVENT [METRES] [--id NSF_ID] [--part NUMBER] [--maker NAME]
    //      [--breaking-load LOAD] [--note TEXT]
    std::vector<std::string> words;
    std::string source;  // "pulley-remote", an address on the LAN, "openvdm"
};

struct CommandAnswer {
    bool done;
    std::string text;  // done: the event's row as JSON; else why not
};

CommandAnswer RunCommand(FeedState& state, const FeedCommand& command, int64_t monotonicMs, int64_t utcMs);
